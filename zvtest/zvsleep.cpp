#include "zvsleep.h"

#ifdef _WIN32
#include <windows.h>

void zvsleep_ms(unsigned milliseconds) { Sleep(milliseconds); }

#else
#include <cerrno>
#include <ctime>

void zvsleep_ms(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // Sleep the whole time even when a signal interrupts.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
#endif
