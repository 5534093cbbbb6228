// The Windows transport's helpers, for its tests. The five transport operations are in
// usbdevs.h.
#ifndef ZVTEST_USBDEVS_WIN_H
#define ZVTEST_USBDEVS_WIN_H

#include <windows.h>

int usbdevs_find_interface(const wchar_t *service, wchar_t *dst, unsigned capacity,
                           errno_t *copy_status);
HANDLE usbdevs_open_channel(const wchar_t *interface_path);
int usbdevs_ioctl(HANDLE handle, void *in, DWORD in_size, void *out, DWORD out_size);
// Prints `code` and the system's text for it, then leaves it as the thread's last error. The
// caller reads the code before it prints anything: a print may change the last error.
void usbdevs_print_error(DWORD code);

#endif
