// A taskkill.exe planted where Windows would look before its system folder (beside the
// updater, in the current folder): if it ever runs, it leaves "planted-taskkill-ran" beside
// itself, and the tests fail.
#include <windows.h>

#include <string>

int main() {
  wchar_t own[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::wstring mark(own, length);
  mark.erase(mark.find_last_of(L'\\') + 1);
  mark += L"planted-taskkill-ran";
  const HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
