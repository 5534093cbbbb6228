// A transport's suite against the virtual ZV-16x16 through a platform's real stack: the
// device record, a fresh open, and a firmware transfer with its progress counter. The
// protocol's sleeps run on the virtual clock; the transport's own waits are real.
#ifndef TESTS_SUPPORT_TRANSPORT_FIXTURE_H
#define TESTS_SUPPORT_TRANSPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "imagegen.h"
#include "test_support.h"
#include "virtual_clock.h"
#include "zvctl.h"

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::vector<uint8_t> image_of(uint16_t version, uint16_t build, uint32_t payload_size) {
  return imagegen_image("ZV-16x16", version, build, payload_size, build);
}

class Transport : public testing::Test {
 protected:
  Transport() {
    vclock_reset();
    zvctl_clear(&record);
  }
  ~Transport() override { zvctl_reset_search(&record); }

  bool open() {
    zvctl_reset_search(&record);
    return zvctl_open_next(&record, &dev) == 0;
  }

  int send(const std::vector<uint8_t> &image) {
    progress = 0;
    int result = 1;
    capture_stdout([&] {
      result = zvctl_fwup(&dev, image.data(), static_cast<uint32_t>(image.size()), &progress);
    });
    return result;
  }

  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
  std::atomic<uint32_t> progress{0};
};

#endif
