// Where the program's DLLs come from. Windows looks for a DLL that is not one of its known
// DLLs in the program's own folder first, then in the system folders, then in the current
// folder: a DLL of that name left in Downloads beside the portable updater would be loaded
// into it. The DLLs of that kind that the updaters use are delay-loaded (cmake/delayload.cmake),
// so that none is loaded before main() has called this. Elsewhere it does nothing.
#ifndef UPDATECORE_SYSTEMLIBRARIES_H
#define UPDATECORE_SYSTEMLIBRARIES_H

// From here on, DLLs are loaded from the system folder only. First thing in main(), before
// any call into a delay-loaded DLL.
void use_system_libraries_only();

#endif
