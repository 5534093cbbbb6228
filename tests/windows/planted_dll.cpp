// A DLL planted beside a program under the name of a system DLL that is not one of Windows'
// known DLLs: if the program ever loads it, it leaves "planted-<its name>-loaded" beside
// itself, and the tests fail. It then declines to load, so that the program goes on with
// the real one.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t own[MAX_PATH];
  const DWORD length = GetModuleFileNameW(self, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  std::wstring path(own, length);
  const size_t slash = path.find_last_of(L'\\') + 1;
  std::wstring mark = path.substr(0, slash) + L"planted-" + path.substr(slash) + L"-loaded";
  const HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return FALSE;
}
