// Per-transfer cost of the libusb transport through the virtual interface, against a bare
// libusb_control_transfer loop on the same emulated device, and a bare loop that opens the
// device for every transfer, the way the Windows transport opens its driver. Runs inside
// zv16x16-virtual:
//
//   build/zvsim/umockdev/zv16x16-virtual -- build/tests/bench/usb_bench [PAIRS] [ROUNDS]
//
// Each mode's figure is its median round of PAIRS message exchanges (exchange_rounds.h).
#include <libusb.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "exchange_rounds.h"
#include "usbdevs.h"
#include "usbdevs_ids.h"
#include "zvitems.h"

namespace {

// A sample-rate setting, harmless to repeat, padded to a full message.
const uint8_t kMessage[64] = {ZV_ITEM_FREQUENCY, 4, 0x44, 0xAC, 0, 0, 0, 0};

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

  const std::vector<double> seconds = seconds_per_transfer(
      "usb_bench", {bare_exchange, transport_exchange, opened_exchange}, pairs, rounds);
  usbdevs_close(device);
  libusb_close(bare);
  libusb_exit(context);

  const double base = seconds[0];
  std::printf("USB transfers through the virtual ZV-16x16: %d rounds of %d send+receive pairs\n",
              rounds, pairs);
  std::printf("%-38s %14s %16s\n", "", "per transfer", "vs bare libusb");
  const struct {
    const char *name;
    double seconds;
  } rows[] = {{"bare libusb_control_transfer", base},
              {"transport, handle kept open", seconds[1]},
              {"bare libusb, device opened per transfer", seconds[2]}};
  for (const auto &row : rows) {
    std::printf("%-38s %11.1f us %16.3f\n", row.name, row.seconds * 1e6, row.seconds / base);
  }
  return 0;
}
