// Windows: while the update runs, the window holds a shutdown block reason (so that Windows
// says why it may not shut down yet) and the worker's thread asks the system to stay awake.
// A program without a window (the console updater) holds the reason on a hidden window of
// its own, which also answers no when the session is about to end.
#include <cstdio>

#include "power_windows.h"
#include "updateguard.h"

namespace {

const char kSource[] = "updatecore\\updateguard_windows.cpp";
const wchar_t kWhy[] = L"Firmware update in progress";

void refused(int line) {
  std::printf("%s:%d:ERROR no shutdown block reason, the update goes on without one\n", kSource,
              line);
  std::fflush(stdout);
}

}  // namespace

struct UpdateGuard::Hold {
  void *window;
  bool own;      // the hidden window made for a program without one
  bool blocked;  // Windows took the block reason
};

UpdateGuard::UpdateGuard() = default;
UpdateGuard::~UpdateGuard() { end(); }

void UpdateGuard::begin(uintptr_t window) {
  end();
  const bool own = window == 0;
  void *handle = own ? power_session_window_create() : reinterpret_cast<void *>(window);
  if (handle == nullptr) return refused(__LINE__);
  const bool blocked = power_block_shutdown(handle, kWhy);
  if (!blocked) refused(__LINE__);
  // A hidden window still answers no to the session's end without the reason: it stays.
  if (blocked || own) hold_.reset(new Hold{handle, own, blocked});
}

void UpdateGuard::end() {
  if (hold_ == nullptr) return;
  if (hold_->blocked) power_unblock_shutdown(hold_->window);
  if (hold_->own) power_session_window_destroy(hold_->window);
  hold_.reset();
}

WorkerAwake::WorkerAwake() {
  if (!power_keep_awake(true)) refused(__LINE__);
}

WorkerAwake::~WorkerAwake() { power_keep_awake(false); }
