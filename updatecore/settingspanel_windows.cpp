// taskkill.exe through CreateProcess rather than QProcess: QProcess watches its child with a
// thread-pool wait whose callback Wine can still run after QProcess has freed it, which
// crashed the updater on a press now and then.
#include <windows.h>

#include "settingspanel.h"

namespace {

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
  wchar_t command[] = L"taskkill.exe /f /im ZV-16x16_SettingsPanel.exe";
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
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                      &process))
    return;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
