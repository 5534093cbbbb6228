// The libusb transport's own controls, beside the five operations of usbdevs.h.
#ifndef ZVTEST_USBDEVS_LIBUSB_H
#define ZVTEST_USBDEVS_LIBUSB_H

// How long one control transfer may take before the transport gives up on it.
enum { USBDEVS_LIBUSB_TIMEOUT_MS = 1000 };

// By default the device handle stays open from usbdevs_open to usbdevs_close. The benchmark
// switches to opening the device for every transfer, the way the Windows transport opens
// its driver, to compare the two; takes effect at the next usbdevs_open.
void usbdevs_libusb_open_per_transfer(bool enabled);

#endif
