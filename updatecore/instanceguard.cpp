#include "instanceguard.h"

namespace {

// On Linux and macOS a segment outlives a copy that crashed or was killed, and would then
// keep every later start out until reboot. Attaching and detaching removes a segment that
// nobody else is attached to, and leaves a live copy's segment alone.
void clear_stale_segment(const QString &key) {
#ifndef Q_OS_WIN
  QSharedMemory stale(key);
  if (stale.attach()) stale.detach();
#else
  Q_UNUSED(key);  // Windows removes a segment with its last handle
#endif
}

}  // namespace

InstanceGuard::InstanceGuard(const QString &name)
    : semaphore_(name + "_sem", 1, QSystemSemaphore::Open),
      memory_(name + "_shmem"),
      another_running_(false) {
  semaphore_.acquire();
  clear_stale_segment(memory_.key());
  if (memory_.attach(QSharedMemory::ReadWrite)) {
    another_running_ = true;
  } else {
    memory_.create(1, QSharedMemory::ReadWrite);  // a failure here still lets this copy run
  }
  semaphore_.release(1);
}
