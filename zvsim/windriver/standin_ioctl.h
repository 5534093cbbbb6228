/* How the stand-in's controller (zv16x16-standin.exe) talks to the stand-in driver, apart from
 * the interface's own control path that programs use. */
#ifndef ZVSIM_WINDRIVER_STANDIN_IOCTL_H
#define ZVSIM_WINDRIVER_STANDIN_IOCTL_H

/* Always there while the driver runs, plugged in or not. */
#define ZV_STANDIN_CONTROL_PATH L"\\\\.\\ZV16x16StandIn"

/* FILE_DEVICE_UNKNOWN, function 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS: no input; the
 * output is a ULONG (vendor request blocks refused as malformed) followed by the device
 * model's state (zvsim::DeviceState). */
#define ZV_STANDIN_IOCTL_STATE 0x00222004

#endif
