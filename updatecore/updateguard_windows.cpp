// Windows: while the update runs, the window holds a shutdown block reason (so that Windows
// says why it may not shut down yet) and the worker's thread asks the system to stay awake.
// A program without a window has no reason to hold: it keeps the system awake only.
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
};

UpdateGuard::UpdateGuard() = default;
UpdateGuard::~UpdateGuard() { end(); }

void UpdateGuard::begin(uintptr_t window) {
  end();
  if (window == 0) return;
  void *handle = reinterpret_cast<void *>(window);
  if (!power_block_shutdown(handle, kWhy)) return refused(__LINE__);
  hold_.reset(new Hold{handle});
}

void UpdateGuard::end() {
  if (hold_ != nullptr) power_unblock_shutdown(hold_->window);
  hold_.reset();
}

WorkerAwake::WorkerAwake() {
  if (!power_keep_awake(true)) refused(__LINE__);
}

WorkerAwake::~WorkerAwake() { power_keep_awake(false); }
