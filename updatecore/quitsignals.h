// SIGINT, SIGTERM and SIGHUP turned into a request to close the window, delivered through the
// event loop (a signal handler may do little more than write to a pipe). The window acts on
// it at once when idle and only after the update's finished() otherwise. Unix only.
#ifndef UPDATECORE_QUITSIGNALS_H
#define UPDATECORE_QUITSIGNALS_H

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  explicit QuitSignals(QObject *parent = nullptr);
  ~QuitSignals() override;

 signals:
  void received(int signal);

 private:
  void drain();
  QSocketNotifier *notifier_;
};

#endif
