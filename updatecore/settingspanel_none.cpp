#include "settingspanel.h"

void end_settings_panel(PanelToolOutput) {}
