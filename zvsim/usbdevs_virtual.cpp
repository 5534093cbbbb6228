#include "usbdevs_virtual.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "usbdevs.h"

namespace {

zvsim::VirtualDevice *slots[USBDEVS_VIRTUAL_SLOTS];
// The record whose device went away under it: as every transport does, this one fails
// that record's transfers until it is opened again, even once the device is back.
const usbdevs_device *lost = nullptr;
bool deny_access = false;  // the connected devices are there, but this user may not open them
wchar_t chosen[USBDEVS_PATH_UNITS];  // usbdevs_choose's place; empty: the last one

void write_place(int slot, wchar_t *dst, size_t units) {
  std::swprintf(dst, units, L"virtual:%d", slot + 1);
}

bool present(int slot) { return slots[slot] != nullptr && slots[slot]->plugged(); }

// The slot of the device that `dev` opened, or -1.
int slot_of(const usbdevs_device *dev) {
  for (int slot = 0; slot < USBDEVS_VIRTUAL_SLOTS; ++slot) {
    wchar_t place[USBDEVS_NAME_UNITS];
    write_place(slot, place, USBDEVS_NAME_UNITS);
    if (std::wcscmp(place, dev->transport.interface_path) == 0) return slot;
  }
  return -1;
}

zvsim::VirtualDevice *reachable(const usbdevs_device *dev) {
  if (dev == nullptr || dev == lost) return nullptr;
  const int slot = slot_of(dev);
  return slot < 0 ? nullptr : slots[slot];
}

int judged(const usbdevs_device *dev, const zvsim::VirtualDevice *device, bool ok) {
  if (!ok && !device->plugged()) lost = dev;
  return ok ? 0 : 1;
}

}  // namespace

void usbdevs_virtual_connect(zvsim::VirtualDevice *device) {
  for (zvsim::VirtualDevice *&slot : slots) slot = nullptr;
  slots[0] = device;
  chosen[0] = L'\0';  // a new bench: whatever a program chose last is gone with it
  lost = nullptr;
  deny_access = false;
}

void usbdevs_virtual_plug(int slot, zvsim::VirtualDevice *device) {
  if (slot >= 0 && slot < USBDEVS_VIRTUAL_SLOTS) slots[slot] = device;
}

void usbdevs_virtual_deny_access(bool deny) { deny_access = deny; }

int usbdevs_init(usbdevs_device *dev) {
  if (lost == dev) lost = nullptr;
  std::memset(&dev->transport, 0, sizeof dev->transport);
  return 0;
}

int usbdevs_close(usbdevs_device *) { return 0; }

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0 || deny_access) return 1;
  int found = -1;
  for (int slot = 0; slot < USBDEVS_VIRTUAL_SLOTS; ++slot) {
    wchar_t place[USBDEVS_NAME_UNITS];
    write_place(slot, place, USBDEVS_NAME_UNITS);
    if (present(slot) && (chosen[0] == L'\0' || std::wcscmp(place, chosen) == 0)) found = slot;
  }
  if (found < 0) return 1;
  write_place(found, dev->transport.interface_path, USBDEVS_PATH_UNITS);
  if (lost == dev) lost = nullptr;
  if (out != nullptr) *out = dev;
  return 0;
}

int usbdevs_list(usbdevs_place *places, int capacity) {
  int listed = 0;
  for (int slot = 0; slot < USBDEVS_VIRTUAL_SLOTS && listed < capacity; ++slot) {
    if (!present(slot)) continue;
    usbdevs_place &place = places[listed++];
    std::memset(&place, 0, sizeof place);
    write_place(slot, place.path, USBDEVS_PATH_UNITS);
    write_place(slot, place.name, USBDEVS_NAME_UNITS);
  }
  return listed;
}

// No arrivals are told here: the caller looks again.
int usbdevs_wait_arrival(unsigned, unsigned *waited_ms) {
  *waited_ms = 0;
  return -1;
}

int usbdevs_choose(const wchar_t *path) {
  std::wmemset(chosen, L'\0', USBDEVS_PATH_UNITS);
  if (path != nullptr) std::wcsncpy(chosen, path, USBDEVS_PATH_UNITS - 1);
  return 0;
}

int usbdevs_access_denied() {
  for (int slot = 0; slot < USBDEVS_VIRTUAL_SLOTS; ++slot) {
    if (present(slot) && deny_access) return 1;
  }
  return 0;
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
