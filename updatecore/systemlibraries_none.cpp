#include "systemlibraries.h"

// The dynamic linker searches no folder of the program's own unless the program asks it to.
void use_system_libraries_only() {}
