// Per-transfer cost of the libusb transport through the virtual interface, against a bare
// libusb_control_transfer loop on the same emulated device, and with the device handle kept
// open against opening it for every transfer. Runs inside zv16x16-virtual:
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
#include "usbdevs_libusb.h"
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

  usbdevs_device kept{}, per_transfer{};
  usbdevs_device *device = nullptr;
  const Exchange transport_exchange = [&] {
    return usbdevs_vendor_out(device, ZV_REQ_SEND, 0, 0, 64, kMessage) == 0 &&
           usbdevs_vendor_in(device, ZV_REQ_RECEIVE, 0, 0, 64, reply) == 0;
  };
  // The transport holds one open record at a time, so each mode opens its own in turn.
  const auto use = [&](usbdevs_device *record, bool open_per_transfer) {
    usbdevs_libusb_open_per_transfer(open_per_transfer);
    usbdevs_init(record);
    if (usbdevs_open(record, &device, 0) != 0) std::exit(1);
  };

  std::vector<double> bare_s, kept_s, per_transfer_s;
  for (int round = 0; round < rounds; ++round) {
    bare_s.push_back(time_pairs(bare_exchange, pairs));
    use(&kept, false);
    kept_s.push_back(time_pairs(transport_exchange, pairs));
    use(&per_transfer, true);
    per_transfer_s.push_back(time_pairs(transport_exchange, pairs));
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
              {"transport, device opened per transfer", median(per_transfer_s)}};
  for (const auto &row : rows) {
    std::printf("%-38s %11.1f us %16.3f\n", row.name, row.seconds * 1e6, row.seconds / base);
  }
  return 0;
}
