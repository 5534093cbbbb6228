/* What the stand-in driver asks of the device model. The model, zvsim's VirtualDevice with
 * the host's options and the link's faults, is C++ and lives in zv16x16-standin-model.dll:
 * under Wine a driver runs inside winedevice.exe, an ordinary Win32 process, so the .sys
 * itself can stay a plain kernel-mode image that imports ntoskrnl.exe and this DLL, while
 * the DLL uses the C++ runtime. Every function may be called from any thread. */
#ifndef ZVSIM_WINDRIVER_STANDIN_MODEL_H
#define ZVSIM_WINDRIVER_STANDIN_MODEL_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef ZV_STANDIN_MODEL_DLL
#define ZV_STANDIN_MODEL_API __declspec(dllexport)
#else
#define ZV_STANDIN_MODEL_API __declspec(dllimport)
#endif

/* Where the host leaves its command line (REG_MULTI_SZ, one argument per string) for the
 * model to read when the device is plugged in. */
#define ZV_STANDIN_OPTIONS_KEY L"Software\\ZV-16x16 stand-in"
#define ZV_STANDIN_OPTIONS_VALUE L"Options"

/* The interfaces a stand-in can present (as many as the host's --devices names), each with
 * a model of its own; the functions below take the unit's number, from 0. */
#define ZV_STANDIN_MAX_UNITS 8

/* Results of a transfer besides a byte count. */
enum {
  ZV_STANDIN_FAILED = -1, /* refused (a stall), failed on the link, or the device is gone */
  ZV_STANDIN_SILENT = -2  /* nothing answered within the driver's time-out */
};

/* A fresh model for `unit`, as the host's options describe it: the first takes every option,
 * the others only the firmware that --devices names for them. 0, or -1 (with a line on
 * stderr) when the options cannot be read or applied or name no such unit. */
ZV_STANDIN_MODEL_API int __stdcall standin_model_start(int unit);

/* One vendor control transfer: `in` 1 for device-to-host. Returns the bytes moved (0 for an
 * out transfer) or one of the results above. */
ZV_STANDIN_MODEL_API int __stdcall standin_model_transfer(int unit, int in, unsigned char request,
                                                          unsigned short value,
                                                          unsigned short index, unsigned char *data,
                                                          unsigned short length);

/* 0 once the model has unplugged itself (an unplug fault). */
ZV_STANDIN_MODEL_API int __stdcall standin_model_plugged(int unit);
/* How long after an unplug the device comes back, in ms; -1: it stays away. */
ZV_STANDIN_MODEL_API long __stdcall standin_model_replug_after_ms(int unit);
ZV_STANDIN_MODEL_API void __stdcall standin_model_replug(int unit);

/* The host's line about a counted fault ("fault struck at transfer: K"), zero-terminated and
 * zero-filled, after the state. */
#define ZV_STANDIN_FAULT_LINE_BYTES 64

/* Copies the device's state (zvsim::DeviceState) into `out`, then the fault line
 * (ZV_STANDIN_FAULT_LINE_BYTES); returns the bytes written, 0 when `size` is too small. */
ZV_STANDIN_MODEL_API unsigned __stdcall standin_model_state(int unit, void *out, unsigned size);

#ifdef __cplusplus
}
#endif

#endif
