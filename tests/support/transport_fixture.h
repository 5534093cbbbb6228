// A transport's suite against the virtual ZV-16x16 through a platform's real stack: the
// device record, a fresh open, and a firmware transfer with its progress counter. The
// protocol's sleeps run on the virtual clock; the transport's own waits are real.
#ifndef TESTS_SUPPORT_TRANSPORT_FIXTURE_H
#define TESTS_SUPPORT_TRANSPORT_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "imagegen.h"
#include "test_support.h"
#include "virtual_clock.h"
#include "virtual_device.h"
#include "zv_build_values.h"
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

  // What every transport shows of a healthy device, opened afresh.
  void reads_device_information_and_checksum() {
    ASSERT_TRUE(open());
    uint8_t name[64] = {};
    uint8_t length = 0;
    ASSERT_EQ(zvctl_get_product_name(&dev, name, 64, &length), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(name), length), "ZV-16x16");
    uint16_t version = 0, build = 0;
    EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
    EXPECT_EQ(zvctl_get_build(&dev, &build), 0);
    EXPECT_EQ(version, ZV_SIM_START_VERSION);
    EXPECT_EQ(build, ZV_SIM_START_BUILD);
    // The host's device starts on the same firmware as a fresh model here.
    const zvsim::VirtualDevice reference(vclock_now_us);
    uint32_t checksum = 0;
    EXPECT_EQ(zvctl_get_checksum(&dev, 606204, &checksum), 0);
    EXPECT_EQ(checksum, reference.checksum_over(606204));
  }

  // What the device took is in the host's report, which the test's command checks.
  void sets_clock_source_and_sample_rate() {
    ASSERT_TRUE(open());
    EXPECT_EQ(zvctl_set_clock_source(&dev, 1), 0);
    EXPECT_EQ(zvctl_set_frequency(&dev, 44100), 0);
  }

  // A read longer than the device's 64-byte reply fails, as do an out transfer with nothing
  // to send and one the device refuses (a stall, `stall_bytes` long); a stall is the device's
  // answer, not a sign that it has gone. Returns what the transport printed.
  std::string moves_exactly_the_bytes_asked_for(uint16_t stall_bytes) {
    EXPECT_TRUE(open());
    uint8_t reply[128] = {};
    const std::string out = capture_stdout([&] {
      EXPECT_EQ(usbdevs_vendor_in(dev, ZV_REQ_RECEIVE, 0, 0, 100, reply), 1);
      EXPECT_EQ(usbdevs_vendor_in(dev, ZV_REQ_RECEIVE, 0, 0, 64, reply), 0);
      EXPECT_EQ(usbdevs_vendor_out(dev, ZV_REQ_SEND, 0, 0, 0, reply), 1);
      EXPECT_EQ(usbdevs_vendor_out(dev, 0x7F, 0, 0, stall_bytes, reply), 1);
    });
    EXPECT_EQ(count_error_lines(out), 3);
    uint16_t version = 0;
    EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
    return out;
  }

  void sends_a_small_image_end_to_end() {
    ASSERT_TRUE(open());
    const std::vector<uint8_t> image = image_of(107, 2400, 2000);
    ASSERT_EQ(send(image), 0);
    EXPECT_EQ(progress.load(), image.size());
    uint16_t version = 0, build = 0;
    EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
    EXPECT_EQ(zvctl_get_build(&dev, &build), 0);
    EXPECT_EQ(version, 107);
    EXPECT_EQ(build, 2400);
  }

  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
  std::atomic<uint32_t> progress{0};

  // A device that is attached but has fallen silent costs one time-out (the bus's or the
  // driver's, `timeout_s`), whose report contains `timeout_report`; the rest of the request's
  // idle wait fails at once, and so does the next request.
  void a_silent_device_costs_one_timeout(double timeout_s, const char *timeout_report) {
    ASSERT_TRUE(open());  // opening sends no vendor request
    uint16_t version = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::string out =
        capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 1); });
    const double waited = seconds_since(start);
    EXPECT_GE(waited, timeout_s * 0.9);
    EXPECT_LT(waited, timeout_s + 1.0);                         // one time-out, not a thousand
    EXPECT_EQ(vclock_slept_ms(), 1000u * ZVCTL_POLL_SLEEP_MS);  // the idle wait's polls
    EXPECT_NE(out.find(timeout_report), std::string::npos) << out;
    EXPECT_NE(out.find("does not answer"), std::string::npos) << out;

    uint32_t checksum = 0;
    const auto later = std::chrono::steady_clock::now();
    capture_stdout([&] { EXPECT_EQ(zvctl_get_checksum(&dev, 100, &checksum), 1); });
    EXPECT_LT(seconds_since(later), 0.5);
  }
};

#endif
