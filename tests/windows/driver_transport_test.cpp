// The Windows transport over the path a Windows user's updater takes: SetupAPI finds the
// render-class interface whose driver service is "zv-16x16", and every transfer opens the
// control path and sends one request block to the driver, here the stand-in driver with the
// virtual ZV-16x16 behind it, under Wine. Each suite runs inside its own zv16x16-virtual-wine,
// started with the options the suite is named after (tests/windows/CMakeLists.txt).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "transport_fixture.h"
#include "usbdevs_win.h"
#include "virtual_device.h"
#include "zv_build_values.h"

namespace {

using testing::EndsWith;
using testing::HasSubstr;
using testing::Not;
using Clock = std::chrono::steady_clock;

std::string narrow(const wchar_t *text) { return std::string(text, text + std::wcslen(text)); }

// zv16x16-virtual-wine with no faults.
using Healthy = Transport;

TEST_F(Healthy, FindsTheInterfaceByItsDriverServiceAtIndexZeroOnly) {
  ASSERT_TRUE(open());
  EXPECT_EQ(dev, &record);
  EXPECT_THAT(narrow(record.transport.interface_path), EndsWith("\\render"));
  usbdevs_device *again = nullptr;
  EXPECT_EQ(zvctl_open_next(&record, &again), 1);  // indexes 1 to 9 find nothing
  EXPECT_EQ(again, nullptr);
}

TEST_F(Healthy, ReadsDeviceInformationAndChecksum) { reads_device_information_and_checksum(); }

TEST_F(Healthy, SetsClockSourceAndSampleRate) { sets_clock_source_and_sample_rate(); }

TEST_F(Healthy, TransfersMoveExactlyTheBytesAskedFor) {
  // The driver returns the fewer bytes the device gave; the stall's block is padded to 20.
  const std::string out = moves_exactly_the_bytes_asked_for(2);
  EXPECT_THAT(out, HasSubstr("GetLastError() = 0x1f"));  // ERROR_GEN_FAILURE: the stall
}

// Blocks the updater never builds, each refused by the driver (the host's report counts
// them) without reaching the device.
TEST_F(Healthy, TheDriverRefusesMalformedRequestBlocks) {
  ASSERT_TRUE(open());
  struct Case {
    const char *what;
    std::vector<uint8_t> block;
    DWORD out_size;
  };
  // flags, data length, function 0x0017, value, index, reserved bits, request, data
  const std::vector<uint8_t> in = {1, 0, 0, 0, 0, 0,    0, 0, 0x17, 0,
                                   0, 0, 0, 0, 0, 0x1E, 0, 0, 0,    0};
  const std::vector<uint8_t> out = {0, 0, 0, 0, 2, 0,    0, 0, 0x17, 0,
                                    0, 0, 0, 0, 0, 0x1D, 7, 7, 0,    0};
  auto with = [](std::vector<uint8_t> block, size_t at, uint8_t byte) {
    block[at] = byte;
    return block;
  };
  const Case cases[] = {
      {"a function other than the vendor request", with(in, 8, 0x16), 64},
      {"reserved bits set", with(in, 14, 1), 64},
      {"direction flags other than 0 or 1", with(in, 0, 3), 64},
      {"an in request that carries data", with(in, 4, 1), 64},
      {"an in request's block longer than 20 bytes",
       [&] {
         auto b = in;
         b.push_back(0);
         return b;
       }(),
       64},
      {"an out request with output room", out, 4},
      {"an out request's data length beyond the block", with(out, 4, 9), 0},
      {"an out request's padding not zero", with(out, 18, 1), 0},
      {"a block shorter than 20 bytes", std::vector<uint8_t>(in.begin(), in.begin() + 16), 64},
  };
  HANDLE channel = usbdevs_open_channel(record.transport.interface_path);
  ASSERT_NE(channel, INVALID_HANDLE_VALUE);
  for (const Case &c : cases) {
    std::vector<uint8_t> block = c.block;
    uint8_t reply[64];
    capture_stdout([&] {
      EXPECT_EQ(usbdevs_ioctl(channel, block.data(), static_cast<DWORD>(block.size()),
                              c.out_size ? reply : nullptr, c.out_size),
                1)
          << c.what;
    });
  }
  // The well-formed blocks the cases were made from go through.
  std::vector<uint8_t> block = in;
  uint8_t reply[64];
  EXPECT_EQ(usbdevs_ioctl(channel, block.data(), 20, reply, 64), 0);
  CloseHandle(channel);
}

TEST_F(Healthy, SendsASmallImageEndToEnd) { sends_a_small_image_end_to_end(); }

// Wine's SetupAPI lists the one interface at the place that an open records; naming it opens
// it, naming a place where nothing is opens nothing.
TEST_F(Healthy, ListsTheInterfaceByItsPlaceAndOpensTheOneNamed) {
  usbdevs_place places[USBDEVS_MAX_PLACES];
  ASSERT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 1);
  ASSERT_TRUE(open());
  const std::wstring path = places[0].path, name = places[0].name;
  EXPECT_EQ(path, record.transport.interface_path);
  EXPECT_FALSE(name.empty());
  EXPECT_NE(path.find(name), std::wstring::npos) << narrow(places[0].name);

  usbdevs_choose(path.c_str());
  EXPECT_TRUE(open());
  const std::wstring elsewhere = path.substr(0, path.find(name)) + L"9999#{0}\\render";
  usbdevs_choose(elsewhere.c_str());
  EXPECT_FALSE(open());
  usbdevs_choose(nullptr);
  EXPECT_TRUE(open());
}

// zv16x16-virtual-wine --devices 1.00,1.05: two interfaces, each with a model of its own.
using Several = Transport;

TEST_F(Several, EachInterfaceIsListedAtAPlaceOfItsOwnAndAnswersWithItsOwnFirmware) {
  usbdevs_place places[USBDEVS_MAX_PLACES];
  ASSERT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 2);
  EXPECT_NE(std::wstring(places[0].path), std::wstring(places[1].path));
  // The firmware --devices named for the root device each place names.
  for (const usbdevs_place &place : places) {
    if (place.path[0] == L'\0') break;
    const std::wstring name = place.name;
    SCOPED_TRACE(narrow(place.path));
    ASSERT_TRUE(name == L"0000" || name == L"0001");
    usbdevs_choose(place.path);
    ASSERT_TRUE(open());
    EXPECT_EQ(std::wstring(record.transport.interface_path), place.path);
    uint16_t version = 0;
    ASSERT_EQ(zvctl_get_version(&dev, &version), 0);
    EXPECT_EQ(version, name == L"0000" ? 100 : 105);
  }
  usbdevs_choose(nullptr);
}

// zv16x16-virtual-wine --unplug-at-byte 1000 --replug-after 300
using Unplug = Transport;

TEST_F(Unplug, ATransferFailsAndAFreshOpenWorksAfterTheReplug) {
  ASSERT_TRUE(open());
  const std::vector<uint8_t> image = image_of(108, 2500, 4000);
  EXPECT_EQ(send(image), 1);
  EXPECT_GE(progress.load(), 1000u);
  EXPECT_LT(progress.load(), image.size());

  // The interface went with the device (the control path no longer opened: ERROR_FILE_NOT_FOUND),
  // and the transport remembers: it asks the driver nothing more until it is opened again.
  uint16_t version = 0;
  const std::string out = capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 1); });
  EXPECT_THAT(out, Not(HasSubstr("GetLastError")));

  bool found = false;
  const Clock::time_point start = Clock::now();
  while (!found && seconds_since(start) < 5) {
    found = open();
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(found);
  EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
  EXPECT_EQ(version, ZV_SIM_START_VERSION);  // the broken transfer took nothing over
  EXPECT_EQ(send(image), 0);
}

// zv16x16-virtual-wine --mute-after 0: present, but no vendor request is ever answered.
using Mute = Transport;

// The driver's time-out is reported once (ERROR_SEM_TIMEOUT); the transport remembers it.
TEST_F(Mute, ARequestFailsAfterOneOfTheDriversTimeouts) {
  a_silent_device_costs_one_timeout(1.0, "GetLastError() = 0x79");
}

// zv16x16-virtual-wine --transfer-error EPROTO --error-after 1 --error-count 2
using TransferErrors = Transport;

TEST_F(TransferErrors, APassingErrorIsLeftToTheProtocolsRetries) {
  ASSERT_TRUE(open());
  uint16_t version = 0;
  // The first transfer is the idle wait's read; the send then fails twice and goes through
  // at its third attempt.
  const std::string out = capture_stdout([&] { EXPECT_EQ(zvctl_get_version(&dev, &version), 0); });
  EXPECT_EQ(version, ZV_SIM_START_VERSION);
  EXPECT_EQ(count_error_lines(out), 4);  // each failed send: the transport's line and the send's
  EXPECT_THAT(out, HasSubstr("GetLastError() = 0x1f"));  // ERROR_GEN_FAILURE
}

}  // namespace
