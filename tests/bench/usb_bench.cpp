// Per-transfer cost of the libusb transport through the virtual interface, against a bare
// libusb_control_transfer loop on the same emulated device, and a bare loop that opens the
// device for every transfer, the way the Windows transport opens its driver. Runs inside
// zv16x16-virtual:
//
//   build/zvsim/umockdev/zv16x16-virtual -- build/tests/bench/usb_bench [PAIRS] [ROUNDS]
//
// Each round times PAIRS message exchanges (a 64-byte send and a 64-byte receive, as the
// protocol makes them) in every mode in turn, so that drift of the emulation hits all
// modes alike; the table gives each mode's median round.
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "usbdevs.h"
#include "usbdevs_ids.h"
#include "zvitems.h"

namespace {

// A sample-rate setting, harmless to repeat, padded to a full message.
const uint8_t kMessage[64] = {ZV_ITEM_FREQUENCY, 4, 0x44, 0xAC, 0, 0, 0, 0};

using Exchange = std::function<bool()>;

double time_pairs(const Exchange &exchange, int pairs) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < pairs; ++i) {
    if (!exchange()) {
      std::fprintf(stderr, "usb_bench: a transfer failed\n");
      std::exit(1);
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / (2.0 * pairs);  // seconds per transfer
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  const int pairs = argc > 1 ? std::atoi(argv[1]) : 400;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

  libusb_context *context = nullptr;
  if (libusb_init(&context) != 0) return 1;
  libusb_device_handle *bare =
      libusb_open_device_with_vid_pid(context, ZV_USB_VENDOR_ID, ZV_USB_PRODUCT_ID);
  if (bare == nullptr) {
    std::fprintf(stderr, "usb_bench: no ZV-16x16; run me inside zv16x16-virtual\n");
    return 1;
  }
  uint8_t reply[64];
  uint8_t message[64];
  std::copy(kMessage, kMessage + 64, message);
  const Exchange bare_exchange = [&] {
    return libusb_control_transfer(bare, 0x40, ZV_REQ_SEND, 0, 0, message, 64, 1000) == 64 &&
           libusb_control_transfer(bare, 0xC0, ZV_REQ_RECEIVE, 0, 0, reply, 64, 1000) == 64;
  };

  libusb_device *bare_device = libusb_get_device(bare);
  const auto opened_transfer = [&](uint8_t type, uint8_t request, uint8_t *data) {
    libusb_device_handle *handle = nullptr;
    if (libusb_open(bare_device, &handle) != LIBUSB_SUCCESS) return false;
    const bool moved = libusb_control_transfer(handle, type, request, 0, 0, data, 64, 1000) == 64;
    libusb_close(handle);
    return moved;
  };
  const Exchange opened_exchange = [&] {
    return opened_transfer(0x40, ZV_REQ_SEND, message) &&
           opened_transfer(0xC0, ZV_REQ_RECEIVE, reply);
  };

  usbdevs_device record{};
  usbdevs_device *device = nullptr;
  usbdevs_init(&record);
  if (usbdevs_open(&record, &device, 0) != 0) return 1;
  const Exchange transport_exchange = [&] {
    return usbdevs_vendor_out(device, ZV_REQ_SEND, 0, 0, 64, kMessage) == 0 &&
           usbdevs_vendor_in(device, ZV_REQ_RECEIVE, 0, 0, 64, reply) == 0;
  };

  std::vector<double> bare_s, kept_s, per_transfer_s;
  for (int round = 0; round < rounds; ++round) {
    bare_s.push_back(time_pairs(bare_exchange, pairs));
    kept_s.push_back(time_pairs(transport_exchange, pairs));
    per_transfer_s.push_back(time_pairs(opened_exchange, pairs));
  }
  usbdevs_close(device);
  libusb_close(bare);
  libusb_exit(context);

  const double base = median(bare_s);
  std::printf("USB transfers through the virtual ZV-16x16: %d rounds of %d send+receive pairs\n",
              rounds, pairs);
  std::printf("%-38s %14s %16s\n", "", "per transfer", "vs bare libusb");
  const struct {
    const char *name;
    double seconds;
  } rows[] = {{"bare libusb_control_transfer", base},
              {"transport, handle kept open", median(kept_s)},
              {"bare libusb, device opened per transfer", median(per_transfer_s)}};
  for (const auto &row : rows) {
    std::printf("%-38s %11.1f us %16.3f\n", row.name, row.seconds * 1e6, row.seconds / base);
  }
  return 0;
}
