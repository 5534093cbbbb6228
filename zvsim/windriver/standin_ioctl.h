/* How the stand-in's controller (zv16x16-standin.exe) talks to the stand-in driver, apart from
 * the interface's own control path that programs use. */
#ifndef ZVSIM_WINDRIVER_STANDIN_IOCTL_H
#define ZVSIM_WINDRIVER_STANDIN_IOCTL_H

/* Always there while the driver runs, plugged in or not: the first interface's, and for the
 * others the same name followed by the unit's digit (\\.\ZV16x16StandIn1). */
#define ZV_STANDIN_CONTROL_PATH L"\\\\.\\ZV16x16StandIn"

/* The function after the vendor request's (usbdevs_win_request.h): no input; the output is a
 * ULONG (vendor request blocks refused as malformed) followed by what standin_model_state
 * writes: the device model's state (zvsim::DeviceState) and the fault line. Include
 * <windows.h> or <ddk/wdm.h> first, for CTL_CODE. */
#define ZV_STANDIN_IOCTL_STATE \
  CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)

#endif
