// One running updater per desktop. The first copy holds a 1-byte shared-memory segment
// named after the application; a later copy finds it and must end. A system semaphore
// serialises the check-and-claim between copies that start at the same moment.
#ifndef UPDATECORE_INSTANCEGUARD_H
#define UPDATECORE_INSTANCEGUARD_H

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

class InstanceGuard {
 public:
  explicit InstanceGuard(const QString &name);
  InstanceGuard(const InstanceGuard &) = delete;
  InstanceGuard &operator=(const InstanceGuard &) = delete;

  // True when another copy already runs.
  bool another_running() const { return another_running_; }

 private:
  // Declared in this order so that the segment goes first and the semaphore after it.
  QSystemSemaphore semaphore_;
  QSharedMemory memory_;
  bool another_running_;
};

#endif
