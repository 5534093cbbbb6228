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
