#include <windows.h>

#include <atomic>
#include <cstdio>

#include "interrupts.h"

namespace {

std::atomic<bool> held{false};

// Called on a thread of its own. Closing the console, logging off and shutting down end the
// program whatever it answers: only the shutdown guard stands in their way.
BOOL WINAPI on_console_event(DWORD event) {
  if (!held || (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)) return FALSE;
  std::fputs(kInterruptHeld, stderr);
  return TRUE;
}

}  // namespace

void hold_interrupts(bool hold) {
  static const bool installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
  (void)installed;
  held = hold;
}

void survive_closed_readers() {}
