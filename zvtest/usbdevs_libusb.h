// The libusb transport's own controls, beside the five operations of usbdevs.h.
#ifndef ZVTEST_USBDEVS_LIBUSB_H
#define ZVTEST_USBDEVS_LIBUSB_H

// How long one control transfer may take before the transport gives up on it.
enum { USBDEVS_LIBUSB_TIMEOUT_MS = 1000 };

#endif
