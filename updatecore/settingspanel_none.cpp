#include "settingspanel.h"

void end_settings_panel(PanelToolOutput) {}

bool settings_panel_running() { return false; }
