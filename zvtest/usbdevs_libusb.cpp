// The libusb transport: the five operations as USB vendor control transfers on endpoint 0
// (bmRequestType 0x40 out, 0xC0 in), to the interface found by its vendor and product IDs.
//
// Vendor requests to the device need no claimed interface (usbfs lets them through), so
// nothing is claimed, detached or reconfigured: on a real unit the kernel's audio driver
// keeps its interfaces and the sound keeps working during an update.
//
// An unplug shows first as I/O errors or timeouts and only later as "no device", and the
// protocol's budgets count polls, not seconds: after a timeout or an I/O error the transport
// checks once whether the device is still attached. A device that is gone, or attached but
// no longer answering, fails every later transfer at once until it is opened again.
#include "usbdevs_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>

#include "usbdevs.h"
#include "usbdevs_ids.h"
#include "zvdiag.h"

#ifndef ZV_UDEV_RULE_PATH
#define ZV_UDEV_RULE_PATH "/lib/udev/rules.d/70-zv16x16.rules"
#endif

namespace {

const char kSource[] = "zvtest\\usbdevs_libusb.cpp";

// The device answers every vendor request from its control endpoint at once and reports
// being busy in-band (item 0xA1), so a transfer that has not completed within a second will
// not complete; a second is also twice what USB 2.0 allows a device for the data stage of a
// standard request, and short enough that a silent device fails a request in seconds.
const unsigned kTransferTimeoutMs = USBDEVS_LIBUSB_TIMEOUT_MS;

const uint8_t kVendorOut =
    LIBUSB_ENDPOINT_OUT | LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_RECIPIENT_DEVICE;
const uint8_t kVendorIn = LIBUSB_ENDPOINT_IN | LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_RECIPIENT_DEVICE;
static_assert(kVendorOut == 0x40 && kVendorIn == 0xC0, "vendor requests to the device");

enum { kMaxPortDepth = 7 };  // USB allows at most seven tiers

// What the transport holds for the record it has open. One per process: usbdevs.h lets a
// transport keep state for the one record the program drives.
struct Transport {
  libusb_context *context = nullptr;       // made at the first open, kept for the process
  const usbdevs_device *owner = nullptr;   // the record that opened the device
  libusb_device *device = nullptr;         // referenced while open
  libusb_device_handle *handle = nullptr;  // kept between transfers, unless opening per transfer
  bool unusable = false;  // gone, or attached but silent: transfers fail at once until reopened
  bool access_denied = false;  // the last open found the interface and was refused it
};

Transport state;

void print_libusb_error(int code) { std::printf("libusb: %s\n", libusb_error_name(code)); }

void release() {
  if (state.handle != nullptr) libusb_close(state.handle);
  if (state.device != nullptr) libusb_unref_device(state.device);
  state.handle = nullptr;
  state.device = nullptr;
  state.owner = nullptr;
  state.unusable = false;
}

bool ensure_context() {
  if (state.context != nullptr) return true;
  const int status = libusb_init(&state.context);
  if (status != LIBUSB_SUCCESS) {
    ZV_DIAG(kSource);
    print_libusb_error(status);
    state.context = nullptr;
    return false;
  }
  return true;
}

bool is_interface(libusb_device *device) {
  libusb_device_descriptor descriptor;
  return libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS &&
         descriptor.idVendor == ZV_USB_VENDOR_ID && descriptor.idProduct == ZV_USB_PRODUCT_ID;
}

// The kernel's name for the device's place on the bus: bus, then the port of every tier
// ("1-4.2"). Without port numbers, bus and address ("1:5").
void write_name(libusb_device *device, wchar_t *dst) {
  uint8_t ports[kMaxPortDepth];
  const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
  const unsigned bus = libusb_get_bus_number(device);
  int used = 0;
  if (depth <= 0) {
    used = std::swprintf(dst, USBDEVS_PATH_UNITS, L"%u:%u", bus,
                         static_cast<unsigned>(libusb_get_device_address(device)));
  } else {
    used = std::swprintf(dst, USBDEVS_PATH_UNITS, L"%u", bus);
    for (int i = 0; i < depth && used > 0; ++i) {
      used += std::swprintf(dst + used, USBDEVS_PATH_UNITS - used, i == 0 ? L"-%u" : L".%u",
                            static_cast<unsigned>(ports[i]));
    }
  }
  if (used < 0) dst[0] = L'\0';
}

// The place that usbdevs_choose named; empty: the last interface enumerated.
wchar_t chosen[USBDEVS_PATH_UNITS];

// Whether `device` is the interface that usbdevs_open is to open.
bool is_wanted(libusb_device *device) {
  if (chosen[0] == L'\0') return true;
  wchar_t place[USBDEVS_PATH_UNITS];
  write_name(device, place);
  return std::wcscmp(place, chosen) == 0;
}

// The last wanted interface in enumeration order, referenced; null when none matches.
libusb_device *find_interface() {
  libusb_device **list = nullptr;
  const ssize_t count = libusb_get_device_list(state.context, &list);
  if (count < 0) {
    ZV_DIAG(kSource);
    print_libusb_error(static_cast<int>(count));
    return nullptr;
  }
  libusb_device *found = nullptr;
  for (ssize_t i = 0; i < count; ++i) {
    if (is_interface(list[i]) && is_wanted(list[i])) found = list[i];
  }
  if (found != nullptr) libusb_ref_device(found);
  libusb_free_device_list(list, 1);
  return found;
}

// The serial string, read through a handle of its own; empty where the device has none or
// this user may not open it (the place alone names it then).
void write_serial(libusb_device *device, wchar_t *dst) {
  dst[0] = L'\0';
  libusb_device_descriptor descriptor;
  libusb_device_handle *handle = nullptr;
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
      descriptor.iSerialNumber == 0 || libusb_open(device, &handle) != LIBUSB_SUCCESS) {
    return;
  }
  unsigned char text[USBDEVS_NAME_UNITS];
  const int length =
      libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof text);
  libusb_close(handle);
  for (int i = 0; i < length && i < USBDEVS_NAME_UNITS - 1; ++i) dst[i] = text[i];
  dst[length > 0 ? std::min(length, USBDEVS_NAME_UNITS - 1) : 0] = L'\0';
}

// Whether libusb still lists this very device (a replugged interface is a new device).
bool still_attached(libusb_device *device) {
  libusb_device **list = nullptr;
  const ssize_t count = libusb_get_device_list(state.context, &list);
  if (count < 0) return false;
  bool attached = false;
  for (ssize_t i = 0; i < count; ++i) attached = attached || list[i] == device;
  libusb_free_device_list(list, 1);
  return attached;
}

void explain_access_denied() {
  std::printf(
      "The ZV-16x16 (USB %04x:%04x) was found, but this user may not open it. Install the udev "
      "rule %s, then unplug the interface and plug it in again.\n",
      ZV_USB_VENDOR_ID, ZV_USB_PRODUCT_ID, ZV_UDEV_RULE_PATH);
}

// After a failed transfer: decides whether the device can still be reached at all.
void judge_failure(int code) {
  const bool ask = code == LIBUSB_ERROR_TIMEOUT || code == LIBUSB_ERROR_IO;
  const bool gone = code == LIBUSB_ERROR_NO_DEVICE || (ask && !still_attached(state.device));
  // Attached but silent: waiting once more for each of a thousand polls would hold a
  // request for a quarter of an hour.
  const bool silent = !gone && code == LIBUSB_ERROR_TIMEOUT;
  if (!gone && !silent) return;  // a stall or a passing error: the protocol retries
  state.unusable = true;
  ZV_DIAG(kSource);
  std::printf("the ZV-16x16 %s; transfers fail until it is opened again\n",
              gone ? "is gone" : "does not answer");
}

int control(usbdevs_device *dev, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
            uint8_t *data, uint16_t length) {
  if (dev == nullptr || state.owner != dev || state.device == nullptr || state.unusable) {
    ZV_DIAG(kSource);
    return 1;
  }
  const int moved = libusb_control_transfer(state.handle, type, request, value, index, data, length,
                                            kTransferTimeoutMs);
  if (moved == length) return 0;
  ZV_DIAG(kSource);
  if (moved >= 0) {
    std::printf("libusb: %d of %u bytes\n", moved, static_cast<unsigned>(length));
    return 1;
  }
  print_libusb_error(moved);
  judge_failure(moved);
  return 1;
}

}  // namespace

int usbdevs_init(usbdevs_device *dev) {
  if (state.owner == dev) release();
  std::wmemset(dev->transport.interface_path, L'\0', USBDEVS_PATH_UNITS);
  return 0;
}

int usbdevs_close(usbdevs_device *dev) {
  if (state.owner == dev) release();
  return 0;
}

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0) return 1;
  state.access_denied = false;
  if (!ensure_context()) return 1;
  libusb_device *device = find_interface();
  if (device == nullptr) return 1;
  libusb_device_handle *handle = nullptr;
  const int status = libusb_open(device, &handle);
  if (status != LIBUSB_SUCCESS) {
    ZV_DIAG(kSource);
    print_libusb_error(status);
    if (status == LIBUSB_ERROR_ACCESS) {
      explain_access_denied();
      state.access_denied = true;
    }
    libusb_unref_device(device);
    return 1;
  }
  release();  // whatever an earlier open held
  state.owner = dev;
  state.device = device;
  state.handle = handle;
  write_name(device, dev->transport.interface_path);
  if (out != nullptr) *out = dev;
  return 0;
}

int usbdevs_list(usbdevs_place *places, int capacity) {
  if (places == nullptr || capacity <= 0 || !ensure_context()) return 0;
  libusb_device **list = nullptr;
  const ssize_t count = libusb_get_device_list(state.context, &list);
  if (count < 0) {
    ZV_DIAG(kSource);
    print_libusb_error(static_cast<int>(count));
    return 0;
  }
  int listed = 0;
  for (ssize_t i = 0; i < count && listed < capacity; ++i) {
    if (!is_interface(list[i])) continue;
    usbdevs_place &place = places[listed++];
    write_name(list[i], place.path);
    std::wcsncpy(place.name, place.path, USBDEVS_NAME_UNITS - 1);
    place.name[USBDEVS_NAME_UNITS - 1] = L'\0';
    write_serial(list[i], place.serial);
  }
  libusb_free_device_list(list, 1);
  return listed;
}

namespace {

int LIBUSB_CALL on_arrival(libusb_context *, libusb_device *, libusb_hotplug_event, void *arrived) {
  *static_cast<bool *>(arrived) = true;
  return 0;  // stays registered until the wait deregisters it
}

}  // namespace

int usbdevs_wait_arrival(unsigned timeout_ms, unsigned *waited_ms) {
  *waited_ms = 0;
  if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) || !ensure_context()) return -1;
  bool arrived = false;
  libusb_hotplug_callback_handle callback;
  if (libusb_hotplug_register_callback(state.context, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED,
                                       LIBUSB_HOTPLUG_NO_FLAGS, ZV_USB_VENDOR_ID, ZV_USB_PRODUCT_ID,
                                       LIBUSB_HOTPLUG_MATCH_ANY, on_arrival, &arrived,
                                       &callback) != LIBUSB_SUCCESS) {
    return -1;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::milliseconds(timeout_ms);
  for (Clock::time_point now = start; !arrived && now < end; now = Clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - now).count();
    timeval tv{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
    libusb_handle_events_timeout_completed(state.context, &tv, nullptr);
  }
  libusb_hotplug_deregister_callback(state.context, callback);
  *waited_ms = static_cast<unsigned>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  return arrived ? 1 : 0;
}

int usbdevs_choose(const wchar_t *path) {
  std::wmemset(chosen, L'\0', USBDEVS_PATH_UNITS);
  if (path != nullptr) std::wcsncpy(chosen, path, USBDEVS_PATH_UNITS - 1);
  return 0;
}

int usbdevs_access_denied() { return state.access_denied ? 1 : 0; }

int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data) {
  if (length == 0 || data == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  // libusb does not write to the buffer of an out transfer.
  return control(dev, kVendorOut, request, value, index, const_cast<uint8_t *>(data), length);
}

int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data) {
  return control(dev, kVendorIn, request, value, index, data, length);
}
