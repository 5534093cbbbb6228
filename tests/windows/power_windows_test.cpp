// Holding off sleep and shutdown during an update, through Windows' own calls (under Wine).
#include "power_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Power, TheThreadKeepsTheSystemAwakeAndLetsGo) {
  EXPECT_TRUE(power_keep_awake(true));
  // Windows hands back the state before the call: the awake request is in force.
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
            EXECUTION_STATE(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
  EXPECT_TRUE(power_keep_awake(false));
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), EXECUTION_STATE(ES_CONTINUOUS));
}

// Wine answers ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy with stubs that
// refuse; Windows itself grants them. The window then says so and updates anyway.
bool under_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(Power, AWindowHoldsAShutdownBlockReason) {
  HWND window = CreateWindowExW(0, L"STATIC", L"ZV-16x16_FirmwareUpdater", WS_OVERLAPPED, 0, 0, 320,
                                240, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  SetLastError(0);
  const bool blocked = power_block_shutdown(window, L"Firmware update in progress");
  if (under_wine()) {
    EXPECT_FALSE(blocked);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
  } else {
    EXPECT_TRUE(blocked);
    EXPECT_TRUE(power_unblock_shutdown(window));
  }
  DestroyWindow(window);
}

// The console updater's stand-in for a window: hidden, top-level (only those are asked about
// the session's end), and answering no to it until it is destroyed.
TEST(Power, AHiddenWindowRefusesTheSessionsEnd) {
  void *handle = power_session_window_create();
  ASSERT_NE(handle, nullptr);
  HWND window = static_cast<HWND>(handle);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT(FALSE));
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), LRESULT(FALSE));
  power_session_window_destroy(handle);
  EXPECT_FALSE(IsWindow(window));
  void *again = power_session_window_create();  // the class, registered once, serves again
  EXPECT_NE(again, nullptr);
  power_session_window_destroy(again);
}

}  // namespace
