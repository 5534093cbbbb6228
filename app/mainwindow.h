// The updater's only window: a status label, the update button, a progress bar and a Help
// menu. It owns the device connection, the loaded image and the records an update uses.
#ifndef APP_MAINWINDOW_H
#define APP_MAINWINDOW_H

#include <QMainWindow>
#include <QString>

#include "deviceconnection.h"
#include "updatejob.h"
#include "updaterun.h"

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget *parent = nullptr);
  ~MainWindow() override;

  // Loads and validates an image file into `loaded` and shows what it holds in the label.
  bool load_fw(const QString &path);

  // A close that the system asks for (a signal): at once when idle, and only once the update's
  // finished() has arrived while one runs; closing is refused meanwhile.
  void request_close();

 protected:
  // A running update needs the window: closing is refused until it has finished.
  void closeEvent(QCloseEvent *event) override;

 private slots:
  void on_button_fwupdate_clicked();
  void on_timer();
  void on_finish();
  void on_actionAbout_triggered();
  void on_processtext(QString text);
  void on_error(QString error);
  void select_fw_path();

 private:
  void warn(const QString &text);
  void start_update();

  Ui::MainWindow *ui;
  DeviceConnection device;
  int32_t update_state;  // 0 idle, 1 an update is running
  bool check_version;    // the downgrade and already-updated rules apply
  QString fw_path;       // the image file loaded or last tried
  LoadedImage loaded;
  // The job, the worker's thread, the progress timer and the guard. Declared after what the
  // worker reads, so that it is destroyed first: its destructor waits for a running worker.
  UpdateRun run;
  bool close_requested = false;  // a signal asked to close during the update

  friend class TestMainWindow;
  friend class TestUpdate;
  friend class TestGuard;
};

#endif
