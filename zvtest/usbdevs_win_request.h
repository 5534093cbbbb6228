/* The request that the ZV-16x16's kernel driver takes on the interface's control path: one
 * vendor control transfer per DeviceIoControl. Shared by the Windows transport, the Win32
 * stand-in, the stand-in driver for Wine and their tests, in C and C++. CTL_CODE and GUID come
 * from <windows.h>; a driver includes <ddk/wdm.h> first, which has both, and must not get
 * <windows.h> beside it. */
#ifndef ZVTEST_USBDEVS_WIN_REQUEST_H
#define ZVTEST_USBDEVS_WIN_REQUEST_H

#ifndef CTL_CODE
#include <windows.h>
#endif
#include <stddef.h>
#include <stdint.h>

/* FILE_DEVICE_UNKNOWN, function 0x800, buffered, any access: 0x00222000. */
#define ZV_IOCTL_VENDOR_REQUEST \
  CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* The function of a vendor request to the device, the block's only accepted function. */
#define ZV_VENDOR_FUNCTION_DEVICE 0x0017

/* transfer_flags: 1 reads from the device, 0 writes to it. */
#define ZV_VENDOR_DIRECTION_OUT 0
#define ZV_VENDOR_DIRECTION_IN 1

/* The input block, packed and little-endian. Going out, the data follow the 16-byte header
 * (the block is at least 20 bytes, zero-padded); coming in, the block is exactly 20 bytes,
 * data zero, and the reply is the output buffer. */
#pragma pack(push, 1)
typedef struct usbdevs_vendor_request {
  uint32_t transfer_flags;
  uint32_t data_length;
  uint16_t function;
  uint16_t value;
  uint16_t index;
  uint8_t reserved_bits;
  uint8_t request;
  uint8_t data[4];
} usbdevs_vendor_request;
#pragma pack(pop)

#define ZV_VENDOR_REQUEST_HEADER_BYTES 16
#define ZV_VENDOR_REQUEST_MINIMUM_BYTES 20

#ifdef __cplusplus
static_assert(sizeof(usbdevs_vendor_request) == ZV_VENDOR_REQUEST_MINIMUM_BYTES,
              "the driver reads a 20-byte block");
static_assert(offsetof(usbdevs_vendor_request, data) == ZV_VENDOR_REQUEST_HEADER_BYTES,
              "the data follow a 16-byte header");
#else
_Static_assert(sizeof(usbdevs_vendor_request) == ZV_VENDOR_REQUEST_MINIMUM_BYTES,
               "the driver reads a 20-byte block");
#endif

/* The class of the interface the driver registers: KSCATEGORY_RENDER
 * {65E8773E-8F56-11D0-A3B9-00A0C9223196}, spelt out so that no kernel streaming header or GUID
 * library is needed. */
static const GUID zv_render_class = {
    0x65E8773E, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

#endif
