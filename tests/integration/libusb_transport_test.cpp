// The libusb transport over a real USB stack: libusb's usbfs backend, talking to the virtual
// ZV-16x16 that zv16x16-virtual publishes. Each suite runs inside its own host, started with
// the options the suite is named after (tests/CMakeLists.txt). The protocol's sleeps run on
// the virtual clock; libusb's timeouts and the emulated bus are real.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "transport_fixture.h"
#include "usbdevs_libusb.h"
#include "virtual_device.h"
#include "zv_build_values.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using Clock = std::chrono::steady_clock;

// zv16x16-virtual with no faults.
using Healthy = Transport;

TEST_F(Healthy, FindsTheInterfaceByItsIdsAtIndexZeroOnly) {
  ASSERT_TRUE(open());
  EXPECT_EQ(dev, &record);
  EXPECT_STREQ(record.transport.interface_path, L"1-4");  // bus 1, port 4
  usbdevs_device *again = nullptr;
  EXPECT_EQ(zvctl_open_next(&record, &again), 1);  // indexes 1 to 9 find nothing
  EXPECT_EQ(again, nullptr);
}

TEST_F(Healthy, ReadsDeviceInformationAndChecksum) {
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

TEST_F(Healthy, SetsClockSourceAndSampleRate) {
  // What the device took is in the host's report, which the test's command checks.
  ASSERT_TRUE(open());
  EXPECT_EQ(zvctl_set_clock_source(&dev, 1), 0);
  EXPECT_EQ(zvctl_set_frequency(&dev, 44100), 0);
}

TEST_F(Healthy, TransfersMoveExactlyTheBytesAskedFor) {
  ASSERT_TRUE(open());
  uint8_t reply[128] = {};
  std::string out = capture_stdout([&] {
    // The device answers at most 64 bytes: a longer read comes back short, and fails.
    EXPECT_EQ(usbdevs_vendor_in(dev, ZV_REQ_RECEIVE, 0, 0, 100, reply), 1);
    EXPECT_EQ(usbdevs_vendor_in(dev, ZV_REQ_RECEIVE, 0, 0, 64, reply), 0);
    EXPECT_EQ(usbdevs_vendor_out(dev, ZV_REQ_SEND, 0, 0, 0, reply), 1);  // nothing to send
    EXPECT_EQ(usbdevs_vendor_out(dev, 0x7F, 0, 0, 4, reply), 1);         // refused: a stall
  });
  EXPECT_THAT(out, HasSubstr("libusb: 64 of 100 bytes"));
  EXPECT_THAT(out, HasSubstr("libusb: LIBUSB_ERROR_PIPE"));
  EXPECT_EQ(count_error_lines(out), 3);
  // A stall is the device's answer, not a sign that it has gone.
  uint16_t version = 0;
  EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
}

TEST_F(Healthy, SendsASmallImageEndToEnd) {
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

// zv16x16-virtual --unplug-at-byte 1000 --replug-after 300
using Unplug = Transport;

TEST_F(Unplug, ATransferFailsQuicklyAndAFreshOpenWorksAfterTheReplug) {
  ASSERT_TRUE(open());
  const std::vector<uint8_t> image = image_of(108, 2500, 4000);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(send(image), 1);
  EXPECT_LT(seconds_since(start), 2.0);
  EXPECT_LE(vclock_slept_ms(), 5000u + 50u);  // one idle wait's polls and a send's retries
  EXPECT_GE(progress.load(), 1000u);
  EXPECT_LT(progress.load(), image.size());

  // Gone is gone: later requests fail at once, without another real wait.
  uint16_t version = 0;
  const Clock::time_point later = Clock::now();
  capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 1); });
  EXPECT_LT(seconds_since(later), 0.5);

  // The device leaves the bus a moment after the unplug (until then it can still be opened,
  // and fails its first transfer), and comes back 300 ms later.
  bool gone = false, found = false;
  for (int i = 0; i < 100 && !found; ++i) {
    const bool opened = open();
    gone = gone || !opened;
    found = gone && opened;
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(found);
  EXPECT_STRNE(record.transport.interface_path, L"");
  EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
  EXPECT_EQ(version, ZV_SIM_START_VERSION);  // the broken transfer took nothing over
  EXPECT_EQ(send(image), 0);
}

// zv16x16-virtual --mute-after 0: attached, but no vendor request is ever answered.
using Mute = Transport;

TEST_F(Mute, ARequestFailsAfterOneTimeoutAndTheIdleWaitsPolls) {
  ASSERT_TRUE(open());  // opening sends no vendor request
  uint16_t version = 0;
  const Clock::time_point start = Clock::now();
  std::string out = capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 1); });
  const double waited = seconds_since(start);
  EXPECT_GE(waited, USBDEVS_LIBUSB_TIMEOUT_MS / 1000.0 * 0.9);
  EXPECT_LT(waited, USBDEVS_LIBUSB_TIMEOUT_MS / 1000.0 + 1.0);  // one timeout, not a thousand
  EXPECT_EQ(vclock_slept_ms(), 1000u * ZVCTL_POLL_SLEEP_MS);    // the idle wait's budget
  EXPECT_THAT(out, HasSubstr("LIBUSB_ERROR_TIMEOUT"));
  EXPECT_THAT(out, HasSubstr("does not answer"));

  uint32_t checksum = 0;
  const Clock::time_point later = Clock::now();
  capture_stdout([&] { EXPECT_EQ(zvctl_get_checksum(&dev, 100, &checksum), 1); });
  EXPECT_LT(seconds_since(later), 0.5);
}

// zv16x16-virtual --transfer-error EPROTO --error-after 1 --error-count 2
using TransferErrors = Transport;

TEST_F(TransferErrors, APassingErrorOnAnAttachedDeviceIsLeftToTheProtocolsRetries) {
  ASSERT_TRUE(open());
  uint16_t version = 0;
  // The first transfer is the idle wait's read; the send then fails twice and goes through
  // at its third attempt.
  std::string out = capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 0); });
  EXPECT_EQ(version, ZV_SIM_START_VERSION);
  EXPECT_THAT(out, HasSubstr("LIBUSB_ERROR_IO"));
  EXPECT_THAT(out, Not(HasSubstr("transfers fail until")));
}

// zv16x16-virtual --deny-access: the node refuses the program, as without the udev rule.
using Access = Transport;

TEST_F(Access, ADeniedOpenNamesTheUdevRuleAndNeitherChmodNorRoot) {
  std::string out = capture_stdout([&] { EXPECT_FALSE(open()); });
  EXPECT_THAT(out, HasSubstr("libusb: LIBUSB_ERROR_ACCESS"));
  EXPECT_THAT(out, HasSubstr("rules.d/70-zv16x16.rules"));
  EXPECT_THAT(out, HasSubstr("unplug the interface and plug it in again"));
  for (const char *advice : {"chmod", "root", "sudo"}) EXPECT_THAT(out, Not(HasSubstr(advice)));
  EXPECT_EQ(dev, nullptr);
}

}  // namespace
