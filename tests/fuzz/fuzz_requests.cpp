// Fuzz target: every reading request against replies from the input. Compiles in zvmsg and
// zvctl; stubs the transport (fuzz_transport.cpp) and the sleep (the virtual clock).
//
// The first byte chooses the request, the rest are the device's 64-byte replies in turn.
// The outputs go into buffers of exactly the size the request is given, so that a write past
// its maximum is caught, and the lengths it reports must stay within that maximum.
#include <cstdint>
#include <cstdlib>

#include "fuzz_transport.h"
#include "zvctl.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

using Request = void (*)(usbdevs_device **dev);

// A request for device information into a destination of `Maximum` bytes.
template <int (*Get)(usbdevs_device **, uint8_t *, int, uint8_t *), int Maximum>
void info(usbdevs_device **dev) {
  uint8_t *dst = static_cast<uint8_t *>(std::malloc(Maximum));  // exact size, for ASan
  uint8_t length = 0xEE;
  if (Get(dev, dst, Maximum, &length) == 0) require(length > 0 && length <= Maximum);
  std::free(dst);
}

template <typename T, int (*Get)(usbdevs_device **, T *)>
void value(usbdevs_device **dev) {
  T out;
  Get(dev, &out);
}

template <int (*Get)(usbdevs_device **, uint32_t, uint32_t *)>
void checksum(usbdevs_device **dev) {
  uint32_t out;
  Get(dev, 606204, &out);
}

void debug_text(usbdevs_device **dev) {
  uint8_t text[63];
  uint8_t length = 0xEE;
  require(zvctl_read_debug_text(dev, text, 63, &length) == 0 || length == 0xEE);
  require(length == 0xEE || length <= 63);
}

void get_info_wanted(usbdevs_device **dev) {
  uint8_t dst[5];
  uint8_t length = 0xEE;
  if (zvctl_get_info(dev, dst, 5, &length, ZV_ITEM_DEBUG_TEXT) == 0) require(length <= 5);
}

void list(usbdevs_device **dev) {
  zvctl_list_entry *entries =
      static_cast<zvctl_list_entry *>(std::malloc(3 * sizeof(zvctl_list_entry)));
  uint8_t count = 0xEE;
  if (zvctl_get_list(dev, entries, 3, &count) == 0) require(count <= 3);
  std::free(entries);
}

void read_value(usbdevs_device **dev) {
  uint16_t out;
  zvctl_read_value(dev, 3, 1, &out);
}

const Request kRequests[] = {
    info<zvctl_get_product_name, 64>,
    info<zvctl_get_product_name, 1>,
    info<zvctl_get_info_35h, 7>,
    info<zvctl_get_info_36h, 64>,
    get_info_wanted,
    value<uint16_t, zvctl_get_version>,
    value<uint16_t, zvctl_get_build>,
    value<uint16_t, zvctl_get_version2>,
    value<uint16_t, zvctl_get_build2>,
    value<uint32_t, zvctl_get_18h>,
    value<uint32_t, zvctl_get_c4h>,
    value<uint32_t, zvctl_get_1ah>,
    value<uint32_t, zvctl_get_c1h>,
    value<uint8_t, zvctl_get_1bh>,
    value<uint8_t, zvctl_get_14h>,
    checksum<zvctl_get_checksum>,
    checksum<zvctl_get_checksum2>,
    debug_text,
    list,
    read_value,
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  usbdevs_device record;
  usbdevs_device *dev = fuzz_transport_start(&record, data + 1, size - 1, nullptr);
  kRequests[data[0] % (sizeof kRequests / sizeof kRequests[0])](&dev);
  return 0;
}
