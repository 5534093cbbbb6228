// The Windows transport through the stand-in driver under Wine. Runs inside
// zv16x16-virtual-wine:
//
//   zv16x16-virtual-wine -- driver_bench.exe transfers [PAIRS] [ROUNDS]
//     per-transfer cost of the transport against a bare CreateFileW + DeviceIoControl +
//     CloseHandle loop on the same driver, and against that loop with each out block in
//     pages of its own as the transport takes it (exchange_rounds.h).
//   zv16x16-virtual-wine -- driver_bench.exe update
//     the wall time of a whole update as the updater's worker makes it: device information,
//     checksum, settings, the transfer of a full-size image, and the checksum that confirms it.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange_rounds.h"
#include "imagegen.h"
#include "prgdecode.h"
#include "stdout_redirect.h"
#include "usbdevs.h"
#include "usbdevs_win.h"
#include "usbdevs_win_request.h"
#include "zvctl.h"
#include "zvitems.h"

namespace {

// A sample-rate setting, harmless to repeat, padded to a full message.
const uint8_t kMessage[64] = {ZV_ITEM_FREQUENCY, 4, 0x44, 0xAC, 0, 0, 0, 0};

// One request the bare way: open the control path, one DeviceIoControl, close.
bool bare_request(const wchar_t *channel, const void *block, DWORD size, void *reply,
                  DWORD reply_size) {
  HANDLE handle =
      CreateFileW(channel, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(handle, ZV_IOCTL_VENDOR_REQUEST, const_cast<void *>(block),
                                    size, reply, reply_size, &returned, nullptr);
  CloseHandle(handle);
  return done && returned == reply_size;
}

int transfers(usbdevs_device *device, int pairs, int rounds) {
  // The control path, as the transport makes it from the interface path.
  std::wstring channel = device->transport.interface_path;
  channel = channel.substr(0, channel.rfind(L'\\')) + L"\\zv-16x16";
  usbdevs_vendor_request in_block = {};
  in_block.transfer_flags = ZV_VENDOR_DIRECTION_IN;
  in_block.function = ZV_VENDOR_FUNCTION_DEVICE;
  in_block.request = ZV_REQ_RECEIVE;
  usbdevs_vendor_request header = in_block;
  header.transfer_flags = ZV_VENDOR_DIRECTION_OUT;
  header.data_length = sizeof kMessage;
  header.request = ZV_REQ_SEND;
  uint8_t out_block[ZV_VENDOR_REQUEST_HEADER_BYTES + sizeof kMessage];
  std::memcpy(out_block, &header, ZV_VENDOR_REQUEST_HEADER_BYTES);
  std::memcpy(out_block + ZV_VENDOR_REQUEST_HEADER_BYTES, kMessage, sizeof kMessage);
  uint8_t reply[64];
  const Exchange bare = [&] {
    return bare_request(channel.c_str(), out_block, sizeof out_block, nullptr, 0) &&
           bare_request(channel.c_str(), &in_block, sizeof in_block, reply, 64);
  };
  // The bare loop again, with each out block in pages of its own as the transport takes it.
  const Exchange bare_paged = [&] {
    void *block = VirtualAlloc(nullptr, sizeof out_block, MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) return false;
    std::memcpy(block, out_block, sizeof out_block);
    const bool sent = bare_request(channel.c_str(), block, sizeof out_block, nullptr, 0);
    VirtualFree(block, 0, MEM_RELEASE);
    return sent && bare_request(channel.c_str(), &in_block, sizeof in_block, reply, 64);
  };
  const Exchange transport = [&] {
    return usbdevs_vendor_out(device, ZV_REQ_SEND, 0, 0, 64, kMessage) == 0 &&
           usbdevs_vendor_in(device, ZV_REQ_RECEIVE, 0, 0, 64, reply) == 0;
  };
  const std::vector<double> seconds =
      seconds_per_transfer("driver_bench", {bare, bare_paged, transport}, pairs, rounds);
  const double base = seconds[0], ours = seconds[2];
  std::printf("transfers through the stand-in driver: %d rounds of %d send+receive pairs\n", rounds,
              pairs);
  std::printf("bare CreateFileW+DeviceIoControl+CloseHandle %.1f us\n", base * 1e6);
  std::printf("bare, out blocks from VirtualAlloc %.1f us\n", seconds[1] * 1e6);
  std::printf("transport %.1f us\n", ours * 1e6);
  std::printf("ratio %.3f\n", ours / base);
  return 0;
}

int update(usbdevs_device **device) {
  const std::vector<uint8_t> image = imagegen_image("ZV-16x16", 106, 2318, 606204, 1);
  const uint32_t payload = static_cast<uint32_t>(prgdecode_payload_size(image.data()));
  const auto start = std::chrono::steady_clock::now();
  uint8_t name[64];
  uint8_t length = 0;
  uint16_t version = 0, build = 0;
  uint32_t checksum = 0;
  std::atomic<uint32_t> position{0};
  bool done = false;
  {
    StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the transfer's progress lines
    done = zvctl_get_product_name(device, name, 64, &length) == 0 &&
           zvctl_get_version(device, &version) == 0 && zvctl_get_build(device, &build) == 0 &&
           zvctl_get_checksum(device, payload, &checksum) == 0 &&
           zvctl_set_clock_source(device, 1) == 0 && zvctl_set_frequency(device, 44100) == 0 &&
           zvctl_fwup(device, image.data(), static_cast<uint32_t>(image.size()), &position) == 0 &&
           zvctl_get_checksum(device, payload, &checksum) == 0;
  }
  if (!done) {
    std::fprintf(stderr, "driver_bench: the update failed\n");
    return 1;
  }
  std::printf("whole update of a %u-byte image: %.2f s\n", static_cast<unsigned>(image.size()),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  usbdevs_device record{};
  usbdevs_device *device = nullptr;
  zvctl_clear(&record);
  if (zvctl_open_next(&record, &device) != 0) {
    std::fprintf(stderr, "driver_bench: no ZV-16x16; run me inside zv16x16-virtual-wine\n");
    return 1;
  }
  if (mode == "transfers") {
    return transfers(device, argc > 2 ? std::atoi(argv[2]) : 400,
                     argc > 3 ? std::atoi(argv[3]) : 5);
  }
  if (mode == "update") return update(&device);
  std::fprintf(stderr, "usage: driver_bench transfers [PAIRS] [ROUNDS] | update\n");
  return 2;
}
