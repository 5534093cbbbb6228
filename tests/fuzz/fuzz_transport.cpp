#include "fuzz_transport.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "stdout_redirect.h"
#include "zvctl.h"

namespace {

struct Input {
  const uint8_t *data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  FuzzWatcher *watcher = nullptr;
} input;

bool used_up() { return input.pos >= input.size; }

}  // namespace

usbdevs_device *fuzz_transport_start(usbdevs_device *record, const uint8_t *data, size_t size,
                                     FuzzWatcher *watcher) {
  input = {data, size, 0, watcher};
  usbdevs_device *dev = nullptr;
  zvctl_clear(record);
  zvctl_reset_search(record);
  zvctl_open_next(record, &dev);
  return dev;
}

void fuzz_quiet_stdout() {
  static StdoutRedirect quiet(StdoutRedirect::kDiscard);  // for the whole run
}

int usbdevs_init(usbdevs_device *dev) {
  std::memset(&dev->transport, 0, sizeof dev->transport);
  return 0;
}

int usbdevs_close(usbdevs_device *) { return 0; }

int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index) {
  if (index != 0) return 1;
  std::wcscpy(dev->transport.interface_path, L"fuzz");
  if (out != nullptr) *out = dev;
  return 0;
}

int usbdevs_access_denied() { return 0; }

int usbdevs_vendor_out(usbdevs_device *, uint8_t request, uint16_t, uint16_t, uint16_t length,
                       const uint8_t *data) {
  if (used_up() || length == 0 || data == nullptr) return 1;
  if (input.watcher != nullptr) input.watcher->sent(request, data, length);
  return 0;
}

int usbdevs_vendor_in(usbdevs_device *, uint8_t request, uint16_t, uint16_t, uint16_t length,
                      uint8_t *data) {
  if (used_up()) return 1;
  const size_t n = input.size - input.pos < length ? input.size - input.pos : length;
  std::memcpy(data, input.data + input.pos, n);
  std::memset(data + n, 0, length - n);
  input.pos += length;
  if (input.watcher != nullptr) input.watcher->replied(request, data, length);
  return 0;
}
