#include "usbdevs_virtual.h"

#include <cstring>
#include <cwchar>

#include "usbdevs.h"

namespace {

zvsim::VirtualDevice *connected = nullptr;
const wchar_t kPath[] = L"virtual:zv-16x16";
// The record whose device went away under it: as every transport does, this one fails
// that record's transfers until it is opened again, even once the device is back.
const usbdevs_device *lost = nullptr;
bool deny_access = false;  // the connected device is there, but this user may not open it

zvsim::VirtualDevice *reachable(const usbdevs_device *dev) {
  if (dev == nullptr || dev == lost || dev->transport.interface_path[0] == L'\0') return nullptr;
  return connected;
}

int judged(const usbdevs_device *dev, const zvsim::VirtualDevice *device, bool ok) {
  if (!ok && !device->plugged()) lost = dev;
  return ok ? 0 : 1;
}

}  // namespace

void usbdevs_virtual_connect(zvsim::VirtualDevice *device) {
  connected = device;
  lost = nullptr;
  deny_access = false;
}

void usbdevs_virtual_deny_access(bool deny) { deny_access = deny; }

int usbdevs_init(usbdevs_device *dev) {
  if (lost == dev) lost = nullptr;
  std::memset(&dev->transport, 0, sizeof dev->transport);
  return 0;
}

int usbdevs_close(usbdevs_device *) { return 0; }

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0 || connected == nullptr || !connected->plugged() || deny_access) return 1;
  std::wcsncpy(dev->transport.interface_path, kPath, USBDEVS_PATH_UNITS - 1);
  if (lost == dev) lost = nullptr;
  if (out != nullptr) *out = dev;
  return 0;
}

int usbdevs_access_denied() {
  return connected != nullptr && connected->plugged() && deny_access ? 1 : 0;
}

int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data) {
  zvsim::VirtualDevice *device = reachable(dev);
  if (device == nullptr || length == 0 || data == nullptr) return 1;
  return judged(dev, device, device->control_out(request, value, index, data, length) == 0);
}

int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data) {
  zvsim::VirtualDevice *device = reachable(dev);
  if (device == nullptr) return 1;
  return judged(dev, device, device->control_in(request, value, index, data, length) == length);
}
