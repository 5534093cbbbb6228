// Holds off sleep and shutdown while an update runs: an update cut off halfway can leave the
// interface unusable. Whatever drives the update (the window) begins its guard at the
// confirmation and ends it when the worker's finished() arrives; the worker keeps the system awake
// for the procedure's duration. Each platform has its file: updateguard_logind.cpp (a
// systemd-logind "block" inhibitor), updateguard_windows.cpp (a shutdown block reason and the
// thread's execution state), updateguard_none.cpp (elsewhere: nothing to hold).
#ifndef UPDATECORE_UPDATEGUARD_H
#define UPDATECORE_UPDATEGUARD_H

#include <cstdint>
#include <memory>

class UpdateGuard {
 public:
  UpdateGuard();
  ~UpdateGuard();  // ends a guard that is still held
  UpdateGuard(const UpdateGuard &) = delete;
  UpdateGuard &operator=(const UpdateGuard &) = delete;

  // The thread that owns `window` (the window's native handle, its winId(); 0 for a program
  // without one). Where the system refuses, one diagnostic line goes to standard output and
  // the update goes on without the guard. The system may answer later, while the update
  // runs; an answer after end() is given back at once.
  void begin(uintptr_t window);
  void end();
  bool held() const { return hold_ != nullptr; }  // asked for or held, and not yet ended

 private:
  struct Hold;  // what the platform holds while the guard is on
  std::unique_ptr<Hold> hold_;
};

// The worker's part, for as long as it lives: constructed when the procedure starts, it ends
// on every way out.
class WorkerAwake {
 public:
  WorkerAwake();
  ~WorkerAwake();
  WorkerAwake(const WorkerAwake &) = delete;
  WorkerAwake &operator=(const WorkerAwake &) = delete;
};

#endif
