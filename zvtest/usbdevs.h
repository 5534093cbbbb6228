// The USB transport: five operations on a device record. Exactly one implementation is
// linked into each program (Windows driver, libusb, or the in-process virtual device).
#ifndef ZVTEST_USBDEVS_H
#define ZVTEST_USBDEVS_H

#include <cstdint>
#include <cwchar>

enum { USBDEVS_PATH_UNITS = 260 };

// The transport's fixed block, zero-filled by usbdevs_init.
struct usbdevs_transport {
  // Where the opened device is: the interface path on Windows (UTF-16 there), a
  // transport-specific name elsewhere. Empty until usbdevs_open succeeds.
  wchar_t interface_path[USBDEVS_PATH_UNITS];
};

struct usbdevs_device {
  usbdevs_transport transport;
  uint8_t next_index;  // the request library's next device index; usbdevs_init leaves it
};

int usbdevs_init(usbdevs_device *dev);
int usbdevs_close(usbdevs_device *dev);
// Index 0 only: finds the interface and, on success, stores dev through *out (when given).
int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index);
// One vendor control transfer, host to device. 0 when the device took it.
int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data);
// One vendor control transfer, device to host. 0 only when exactly `length` bytes came.
int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data);

#endif
