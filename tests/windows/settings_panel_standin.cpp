// Stands in for the interface's settings panel: a process whose image name is
// ZV-16x16_SettingsPanel.exe and that runs until something ends it.
#include <windows.h>

int main() {
  Sleep(INFINITE);
  return 0;
}
