// The Windows calls that hold off sleep and shutdown, without Qt, so that the mingw-w64
// build compiles them and runs them under Wine. Each returns true when Windows agreed.
#ifndef UPDATECORE_POWER_WINDOWS_H
#define UPDATECORE_POWER_WINDOWS_H

// The calling thread asks the system to stay awake (ES_CONTINUOUS | ES_SYSTEM_REQUIRED), or
// gives that up again (ES_CONTINUOUS alone).
bool power_keep_awake(bool awake);
// A reason that Windows shows when it is asked to shut down while `window` (an HWND) holds it.
bool power_block_shutdown(void *window, const wchar_t *reason);
bool power_unblock_shutdown(void *window);

// For a program without a window of its own (the console updater): a hidden top-level window
// of the calling thread, which Windows asks before the session ends (shut down, restart, log
// off) and which answers no, so that a block reason can be held on it. The thread must run
// an event loop for the question to be answered. Null when Windows refused one.
void *power_session_window_create();
void power_session_window_destroy(void *window);

#endif
