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

TEST_F(Healthy, ReadsDeviceInformationAndChecksum) { reads_device_information_and_checksum(); }

TEST_F(Healthy, SetsClockSourceAndSampleRate) { sets_clock_source_and_sample_rate(); }

TEST_F(Healthy, TransfersMoveExactlyTheBytesAskedFor) {
  const std::string out = moves_exactly_the_bytes_asked_for(4);
  EXPECT_THAT(out, HasSubstr("libusb: 64 of 100 bytes"));
  EXPECT_THAT(out, HasSubstr("libusb: LIBUSB_ERROR_PIPE"));
}

TEST_F(Healthy, SendsASmallImageEndToEnd) { sends_a_small_image_end_to_end(); }

// zv16x16-virtual --plug-after 1: libusb's hot-plug tells of the arrival as it happens, and
// a wait with nothing to come runs its time out.
TEST(LatePlug, AnArrivalIsToldAsItHappens) {
  usbdevs_place places[USBDEVS_MAX_PLACES];
  ASSERT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 0);
  unsigned waited = 0;
  ASSERT_EQ(usbdevs_wait_arrival(20000, &waited), 1);
  EXPECT_LT(waited, 20000u);
  EXPECT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 1);
  EXPECT_EQ(usbdevs_wait_arrival(300, &waited), 0);
  EXPECT_GE(waited, 300u);
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
  a_silent_device_costs_one_timeout(USBDEVS_LIBUSB_TIMEOUT_MS / 1000.0, "LIBUSB_ERROR_TIMEOUT");
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
