// One update as a program runs it, whatever presents it (the window, the console, the fault
// sweep): the job that the worker and the transfer share, the worker in a thread of its own,
// the progress read every 100 ms, and the sleep and shutdown guard held from the start to the
// end. A program connects to the signals and starts it; the order of the signals is the
// run's, the same for every program:
//   progress() every tick while the worker runs, process_text() and error() in the order the
//   worker sent them, then, as soon as the worker has finished (its thread may still be
//   winding down), progress() with the last count, the guard's end, and finished(). After
//   finished() the run may start again.
#ifndef UPDATECORE_UPDATERUN_H
#define UPDATECORE_UPDATERUN_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>
#include <cstdint>

#include "updateguard.h"
#include "updatejob.h"

class DeviceConnection;
class FWUpdateWorker;

class UpdateRun : public QObject {
  Q_OBJECT

 public:
  explicit UpdateRun(QObject *parent = nullptr);
  // Waits for a worker that still runs: it reads the job, the image and the connection to
  // its end. Emits nothing more.
  ~UpdateRun() override;

  // Sends `loaded` to the interface behind `device` in a new thread. `window` is the native
  // handle of the program's window (its winId()), 0 for a program without one. The image,
  // the connection and their header must stay unchanged until finished(). False, with
  // nothing started, while a run is still going.
  bool start(DeviceConnection &device, LoadedImage &loaded, uintptr_t window = 0);
  // The same run with the worker called in this thread, returning when it has finished, for
  // a caller that needs each text as the worker sends it (the fault sweep changes the device
  // at a given text). No progress ticks and no guard: thousands of runs a second in several
  // threads would each ask the system for a lock. The signals come in the same order, and
  // finished() comes for each finished() of the worker.
  void run_here(DeviceConnection &device, LoadedImage &loaded);
  bool running() const { return busy_ || here_; }
  // The job's counters, as the transfer leaves them.
  uint32_t position() const { return job_.position.load(std::memory_order_relaxed); }
  uint32_t total() const { return job_.total; }
  bool guard_held() const { return guard_.held(); }

 signals:
  void started();
  void progress(quint32 position, quint32 total);
  void process_text(QString text);
  void error(QString text);
  void finished();

 private:
  void begin(DeviceConnection &device, LoadedImage &loaded);
  void connect_texts(FWUpdateWorker *worker);
  void tick();
  void end();

  UpdateJob job_;
  QTimer timer_;
  UpdateGuard guard_;
  QPointer<QThread> thread_;  // the last update's, until it has wound down and gone
  bool busy_ = false;         // start()'s worker has not finished yet
  bool here_ = false;         // run_here() is running the worker

  friend class TestMainWindow;  // sets the counters that the window shows
};

#endif
