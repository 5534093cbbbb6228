#include "power_windows.h"

#include <windows.h>

bool power_keep_awake(bool awake) {
  const EXECUTION_STATE state = awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
  return SetThreadExecutionState(state) != 0;
}

bool power_block_shutdown(void *window, const wchar_t *reason) {
  return ShutdownBlockReasonCreate(static_cast<HWND>(window), reason) != FALSE;
}

bool power_unblock_shutdown(void *window) {
  return ShutdownBlockReasonDestroy(static_cast<HWND>(window)) != FALSE;
}

namespace {

const wchar_t kSessionWindowClass[] = L"ZV16x16UpdateSessionGuard";

LRESULT CALLBACK session_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // An update cut off halfway can leave the interface unusable: the session waits. Windows
  // shows the block reason beside the program's name meanwhile.
  if (message == WM_QUERYENDSESSION) return FALSE;
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void *power_session_window_create() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = session_window_proc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kSessionWindowClass;
  // A second registration fails with ERROR_CLASS_ALREADY_EXISTS, and the first one serves.
  RegisterClassW(&window_class);
  // Top-level, not message-only: only top-level windows are asked about the session's end.
  return CreateWindowExW(0, kSessionWindowClass, L"ZV-16x16 Firmware Updater", WS_OVERLAPPED, 0, 0,
                         0, 0, nullptr, nullptr, instance, nullptr);
}

void power_session_window_destroy(void *window) {
  if (window != nullptr) DestroyWindow(static_cast<HWND>(window));
}
