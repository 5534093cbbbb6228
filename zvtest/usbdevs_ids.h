// The ZV-16x16's identity: the one place that names it. The libusb transport finds the
// interface by these USB IDs, the virtual interface presents them, and the build reads this
// file to write the udev rule, the desktop entry, the AppStream metainfo (whose modalias lets
// software centres offer the updater when the interface is plugged in) and the package, so
// that all of them agree.
//
// Placeholder until the product's own IDs are assigned: 1209:0001 is pid.codes' open test
// allocation (https://pid.codes/1209/0001/), meant for private testing, never for a product
// that ships. Keep the #define lines in this form: the build parses them.
#ifndef ZVTEST_USBDEVS_IDS_H
#define ZVTEST_USBDEVS_IDS_H

#define ZV_USB_VENDOR_ID 0x1209
#define ZV_USB_PRODUCT_ID 0x0001

#endif
