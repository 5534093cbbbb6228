#include "usb_descriptors.h"

#include <cstdio>

#include "usbdevs_ids.h"

namespace zvsim {

namespace {

enum : uint8_t {
  kDescriptorDevice = 1,
  kDescriptorConfiguration = 2,
  kDescriptorString = 3,
  kDescriptorInterface = 4,
};

enum : uint8_t {
  kStringManufacturer = 1,
  kStringProduct = 2,
  kStringSerial = 3,
  kStringControl = 4
};

const char kControlInterface[] = "ZV-16x16 Control";
const char kRootHub[] = "/devices/pci0000:00/0000:00:14.0/usb1";

void put16(std::vector<uint8_t> &out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// 1.05 is 0x0105: each decimal digit of major and minor in a nibble.
uint16_t bcd_version(uint16_t version) {
  const unsigned major = version / 100 % 100, minor = version % 100;
  return static_cast<uint16_t>((major / 10) << 12 | (major % 10) << 8 | (minor / 10) << 4 |
                               (minor % 10));
}

std::string hex(const std::vector<uint8_t> &bytes) {
  std::string text;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

}  // namespace

UsbIdentity virtual_identity(uint16_t version, int unit) {
  char serial[24];
  std::snprintf(serial, sizeof serial, "ZV16-%06d", 417 + unit);
  return {ZV_USB_VENDOR_ID, ZV_USB_PRODUCT_ID, version, "zv16x16-virtual", "ZV-16x16", serial};
}

std::vector<uint8_t> device_descriptor(const UsbIdentity &identity) {
  std::vector<uint8_t> d = {18, kDescriptorDevice};
  put16(d, 0x0200);                  // USB 2.0
  d.insert(d.end(), {0, 0, 0, 64});  // class per interface; 64-byte control endpoint
  put16(d, identity.vendor_id);
  put16(d, identity.product_id);
  put16(d, bcd_version(identity.firmware_version));
  d.insert(d.end(), {kStringManufacturer, kStringProduct, kStringSerial, 1});
  return d;
}

std::vector<uint8_t> configuration_descriptor() {
  std::vector<uint8_t> c = {9, kDescriptorConfiguration};
  put16(c, 9 + 9);
  c.insert(c.end(), {1, 1, 0, 0xC0, 50});  // one interface, configuration 1, self-powered
  // Interface 0: vendor-specific, no endpoints; everything goes over endpoint 0.
  c.insert(c.end(), {9, kDescriptorInterface, 0, 0, 0, 0xFF, 0, 0, kStringControl});
  return c;
}

std::vector<uint8_t> string_descriptor(const UsbIdentity &identity, uint8_t index) {
  if (index == 0) return {4, kDescriptorString, 0x09, 0x04};  // US English
  const std::string *text = nullptr;
  const std::string control = kControlInterface;
  switch (index) {
    case kStringManufacturer:
      text = &identity.manufacturer;
      break;
    case kStringProduct:
      text = &identity.product;
      break;
    case kStringSerial:
      text = &identity.serial;
      break;
    case kStringControl:
      text = &control;
      break;
    default:
      return {};
  }
  std::vector<uint8_t> s = {static_cast<uint8_t>(2 + 2 * text->size()), kDescriptorString};
  for (char c : *text) put16(s, static_cast<uint8_t>(c));  // ASCII as UTF-16LE
  return s;
}

std::string UsbPlace::syspath() const {
  return std::string("/sys") + kRootHub + "/1-" + std::to_string(port);
}

std::string UsbPlace::devnode() const {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
  return node;
}

std::string sysfs_record(const UsbIdentity &identity, const UsbPlace &place) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "%04x\n%04x\n%04x", identity.vendor_id, identity.product_id,
                bcd_version(identity.firmware_version));
  const std::string vendor(ids, 4), product(ids + 5, 4), bcd(ids + 10, 4);
  const std::string devnum = std::to_string(place.devnum);
  const std::string node = place.devnode().substr(5);  // without "/dev/"
  std::vector<uint8_t> descriptors = device_descriptor(identity);
  const std::vector<uint8_t> configuration = configuration_descriptor();
  descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
  return std::string("P: ") + place.syspath().substr(4) + "\n" + "N: " + node +
         "\n"
         "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
         "E: BUSNUM=001\nE: DEVNUM=" +
         place.devnode().substr(17) +
         "\n"
         "E: DEVNAME=" +
         place.devnode() +
         "\n"
         "E: PRODUCT=" +
         vendor + "/" + product + "/" + bcd +
         "\n"
         "A: idVendor=" +
         vendor + "\\n\nA: idProduct=" + product +
         "\\n\n"
         "A: bcdDevice=" +
         bcd +
         "\\n\n"
         "A: manufacturer=" +
         identity.manufacturer +
         "\\n\n"
         "A: product=" +
         identity.product +
         "\\n\n"
         "A: serial=" +
         identity.serial +
         "\\n\n"
         "A: busnum=1\\n\nA: devnum=" +
         devnum + "\\n\nA: devpath=" + std::to_string(place.port) +
         "\\n\n"
         "A: speed=480\\n\nA: version= 2.00\\n\nA: maxchild=0\\n\n"
         "A: bDeviceClass=00\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n"
         "A: bNumInterfaces= 1\\n\nA: bMaxPacketSize0=64\\n\n"
         "H: descriptors=" +
         hex(descriptors) + "\n";
}

}  // namespace zvsim
