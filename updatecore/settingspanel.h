// The interface's settings panel, a Windows program of the interface's maker, talks to the
// device too: a program here that is about to update the interface ends it first. It exists
// only on Windows; elsewhere there is nothing to end and nothing is run.
#ifndef UPDATECORE_SETTINGSPANEL_H
#define UPDATECORE_SETTINGSPANEL_H

// Where taskkill.exe's own messages go.
enum class PanelToolOutput {
  kForwarded,    // to this program's standard output and standard error
  kDiagnostics,  // both to standard output, with the device libraries' diagnostics
};

// Runs "taskkill.exe /f /im ZV-16x16_SettingsPanel.exe", found through the search path, and
// waits without a time limit until it has ended. Its result is not looked at.
void end_settings_panel(PanelToolOutput output = PanelToolOutput::kForwarded);

#endif
