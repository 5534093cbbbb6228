// taskkill.exe through CreateProcess rather than QProcess: QProcess watches its child with a
// thread-pool wait whose callback Wine can still run after QProcess has freed it, which
// crashed the updater on a press now and then.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <string>

#include "settingspanel.h"

namespace {

const wchar_t kPanelImage[] = L"ZV-16x16_SettingsPanel.exe";

// Windows' own taskkill.exe: the system folder's, in full. Given as the program to run,
// CreateProcess searches nothing; given only in the command line, it would look in this
// program's folder and the current folder first. Empty when the folder is not known.
std::wstring system_taskkill() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(folder, length) + L"\\taskkill.exe";
}

// An inheritable copy of one of this program's standard handles, for the child; null where
// this program has none (a window started from the desktop).
class InheritableStdHandle {
 public:
  explicit InheritableStdHandle(DWORD which) {
    const HANDLE own = GetStdHandle(which);
    if (own == nullptr || own == INVALID_HANDLE_VALUE) return;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, own, self, &handle_, 0, TRUE, DUPLICATE_SAME_ACCESS))
      handle_ = nullptr;
  }
  ~InheritableStdHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  InheritableStdHandle(const InheritableStdHandle &) = delete;
  InheritableStdHandle &operator=(const InheritableStdHandle &) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

void end_settings_panel(PanelToolOutput output) {
  // CreateProcessW may write into the command line: it is a buffer of its own.
  std::wstring command = std::wstring(L"taskkill.exe /f /im ") + kPanelImage;
  const std::wstring program = system_taskkill();
  if (program.empty()) return;
  const InheritableStdHandle out(STD_OUTPUT_HANDLE);
  const InheritableStdHandle err(output == PanelToolOutput::kForwarded ? STD_ERROR_HANDLE
                                                                       : STD_OUTPUT_HANDLE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;  // it reads nothing, and must not take a console's answer
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  // A console program started from a window would otherwise open a console window of its
  // own; one started from a console shares it, so that its messages can reach it.
  const DWORD flags = GetConsoleWindow() != nullptr ? 0 : CREATE_NO_WINDOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                      &startup, &process))
    return;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

bool settings_panel_running() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool running = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !running;
       more = Process32NextW(snapshot, &entry)) {
    running = lstrcmpiW(entry.szExeFile, kPanelImage) == 0;  // as taskkill's /im matches
  }
  CloseHandle(snapshot);
  return running;
}
