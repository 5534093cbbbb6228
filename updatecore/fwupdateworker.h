// One firmware update from start to end, in a thread of its own: prepares the device,
// checks that its checksum reads are stable, sends the image and verifies the device's
// checksum against the image header, with up to three attempts. It reports through its
// signals only: status texts, at most one failure text, and exactly one finished(), last.
#ifndef UPDATECORE_FWUPDATEWORKER_H
#define UPDATECORE_FWUPDATEWORKER_H

#include <QObject>
#include <QString>

struct UpdateJob;

class FWUpdateWorker : public QObject {
  Q_OBJECT

 public:
  explicit FWUpdateWorker(QObject *parent = nullptr);

  // The window's job; set before the thread starts. The job, its image and the connection's
  // image header must stay unchanged until finished() has been delivered.
  void set_job(UpdateJob *job) { job_ = job; }

 signals:
  void finished();
  void process_text(QString text);
  void error(QString err);

 public slots:
  void process();

 private:
  void fail(const QString &text);

  UpdateJob *job_;
};

#endif
