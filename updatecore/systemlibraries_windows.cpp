// SetDefaultDllDirectories is in kernel32 from Windows 8, and in Windows 7 with update
// KB2533623; looked up at run time so that a Windows 7 without the update still starts. There,
// SetDllDirectoryW(L"") at least takes the current folder out of the search.
#include <windows.h>

#include "systemlibraries.h"

namespace {

const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);

}  // namespace

void use_system_libraries_only() {
  SetDllDirectoryW(L"");
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(kSearchSystem32);
}
