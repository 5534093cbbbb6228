// What the virtual ZV-16x16 tells the USB stack about itself: its device and configuration
// descriptors, its strings, and the sysfs record under which umockdev publishes it.
#ifndef ZVSIM_UMOCKDEV_USB_DESCRIPTORS_H
#define ZVSIM_UMOCKDEV_USB_DESCRIPTORS_H

#include <cstdint>
#include <string>
#include <vector>

namespace zvsim {

struct UsbIdentity {
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t firmware_version;  // major * 100 + minor, shown in bcdDevice as BCD
  std::string manufacturer;
  std::string product;
  std::string serial;
};

// The identity of virtual interface `unit` (0, 1, ...; each has a serial of its own) running
// firmware `version`.
UsbIdentity virtual_identity(uint16_t version, int unit = 0);

std::vector<uint8_t> device_descriptor(const UsbIdentity &identity);
// Configuration 1 with its one vendor-specific control interface.
std::vector<uint8_t> configuration_descriptor();
// String descriptor `index` (0 is the table of languages); empty for an unknown index.
std::vector<uint8_t> string_descriptor(const UsbIdentity &identity, uint8_t index);

// Where the device sits: bus 1, a port of the root hub, under the given device number.
struct UsbPlace {
  int devnum;
  int port = 4;
  std::string syspath() const;  // "/sys/devices/.../usb1/1-<port>"
  std::string devnode() const;  // "/dev/bus/usb/001/<devnum>"
};

// The device's sysfs record in umockdev's text format.
std::string sysfs_record(const UsbIdentity &identity, const UsbPlace &place);

}  // namespace zvsim

#endif
