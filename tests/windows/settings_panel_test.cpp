// Ending the interface's settings panel through taskkill.exe, as Wine runs it: every running
// copy ends, and what taskkill.exe says reaches this program's standard output.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "settingspanel.h"

namespace {

HANDLE start_panel() {
  std::wstring command = L"\"" SETTINGS_PANEL_STANDIN L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

TEST(SettingsPanel, EveryRunningCopyEnds) {
  std::vector<HANDLE> panels{start_panel(), start_panel()};
  for (HANDLE panel : panels) {
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(WaitForSingleObject(panel, 0), DWORD(WAIT_TIMEOUT));
  }
  end_settings_panel();
  for (HANDLE panel : panels) {
    EXPECT_EQ(WaitForSingleObject(panel, 10000), DWORD(WAIT_OBJECT_0));
    TerminateProcess(panel, 0);  // one left running would keep the test's output open
    CloseHandle(panel);
  }
}

TEST(SettingsPanel, WhatTaskkillSaysGoesToStandardOutput) {
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"zvp", 0, path), 0u);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const HANDLE own = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  end_settings_panel(PanelToolOutput::kDiagnostics);  // no panel runs: taskkill.exe says so
  SetStdHandle(STD_OUTPUT_HANDLE, own);
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  CloseHandle(file);
  DeleteFileW(path);
  EXPECT_GT(size.QuadPart, 0);
}

}  // namespace
