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

// Runs "taskkill.exe /f /im ZV-16x16_SettingsPanel.exe" and waits without a time limit until
// it has ended. Its result is not looked at. The taskkill.exe is Windows' own, in the system
// folder, named in full: no search, so that a taskkill.exe beside the program or in the
// current folder (a Downloads folder, a shell's) never runs.
void end_settings_panel(PanelToolOutput output = PanelToolOutput::kForwarded);

// Whether the settings panel runs now, for a program that must not talk to the interface
// beside it and must not end it either. False where there is none.
bool settings_panel_running();

#endif
