// The Windows transport, unchanged, over the Win32 stand-in: discovery through the scripted
// SetupAPI device list, and every transfer through the fake driver into the virtual device.
#include "usbdevs_win.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "imagegen.h"
#include "prgdecode.h"
#include "test_support.h"
#include "usbdevs.h"
#include "virtual_clock.h"
#include "win32_standin.h"
#include "zvctl.h"

namespace {

using testing::HasSubstr;

const std::wstring kPath =
    L"\\\\?\\usb#vid_1209&pid_0016&mi_00#7&1a2b3c&0&0000#{65e8773e-8f56-11d0-a3b9-00a0c9223196}"
    L"\\global";
const std::wstring kControlPath =
    L"\\\\?\\usb#vid_1209&pid_0016&mi_00#7&1a2b3c&0&0000#{65e8773e-8f56-11d0-a3b9-00a0c9223196}"
    L"\\zv-16x16";

int count_wide_error_lines(const std::string &text) {
  std::istringstream lines(text);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) count += line.rfind("ERROR : ", 0) == 0;
  return count;
}

class WinTransportTest : public testing::Test {
 protected:
  WinTransportTest() : model(vclock_now_us) {
    win32sim::reset();
    vclock_reset();
    usbdevs_init(&record);
  }
  ~WinTransportTest() override {
    // Nothing may outlive a transfer or a search.
    EXPECT_EQ(win32sim::open_handles(), 0);
    EXPECT_EQ(win32sim::open_class_lists(), 0);
    EXPECT_EQ(win32sim::live_blocks(), 0);
    win32sim::reset();
  }

  bool open() { return usbdevs_open(&record, &dev, 0) == 0; }
  std::wstring path() const { return record.transport.interface_path; }

  zvsim::VirtualDevice model;
  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
};

TEST_F(WinTransportTest, OutBlockCarriesTheTrueLengthAndAtLeastTwentyBytes) {
  win32sim::add_zv16x16(kPath, &model);
  ASSERT_TRUE(open());
  for (uint16_t n : {uint16_t(1), uint16_t(3), uint16_t(4), uint16_t(64)}) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> data(n);
    for (uint16_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_EQ(usbdevs_vendor_out(dev, 0x1D, 0x1234, 0x5678, n, data.data()), 0);
    const win32sim::Request &r = win32sim::requests().back();
    const size_t expected_size = n < 4 ? 20 : 16 + n;
    ASSERT_EQ(r.block.size(), expected_size);
    EXPECT_EQ(r.out_size, 0u);
    const std::vector<uint8_t> header(r.block.begin(), r.block.begin() + 16);
    EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 0, 0, static_cast<uint8_t>(n), 0, 0, 0, 0x17, 0,
                                            0x34, 0x12, 0x78, 0x56, 0, 0x1D}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.block.begin() + 16));
    for (size_t i = 16 + n; i < r.block.size(); ++i) EXPECT_EQ(r.block[i], 0) << "padding " << i;
  }
  EXPECT_EQ(win32sim::opened_paths().back(), kControlPath);
}

TEST_F(WinTransportTest, InBlockAndTheReturnedSizeRule) {
  win32sim::add_zv16x16(kPath, &model);
  ASSERT_TRUE(open());
  uint8_t reply[64];
  ASSERT_EQ(usbdevs_vendor_in(dev, 0x1E, 7, 9, 64, reply), 0);
  const win32sim::Request &r = win32sim::requests().back();
  EXPECT_EQ(r.block, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0,    0, 0, 0x17, 0,
                                           7, 0, 9, 0, 0, 0x1E, 0, 0, 0,    0}));
  EXPECT_EQ(r.out_size, 64u);
  EXPECT_EQ(r.code, 0x00222000u);  // FILE_DEVICE_UNKNOWN, function 0x800, buffered
  EXPECT_EQ(reply[0], 0xA1);       // the device's ready status

  win32sim::faults().returned_override = 63;
  int result = -1;
  std::string out = capture_stdout([&] { result = usbdevs_vendor_in(dev, 0x1E, 0, 0, 64, reply); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);

  const uint8_t byte = 1;
  for (long reported : {1L, 20L, 64L}) {
    win32sim::faults().returned_override = reported;
    out = capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte); });
    EXPECT_EQ(result, 1) << reported;
  }
}

TEST_F(WinTransportTest, NothingToSendIssuesNoRequest) {
  win32sim::add_zv16x16(kPath, &model);
  ASSERT_TRUE(open());
  const uint8_t byte = 0;
  int result = -1;
  std::string out = capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 0, &byte); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(matches_regex(out, "zvtest.usbdevs_win\\.cpp:[0-9]+:ERROR\n")) << out;
  out = capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 5, nullptr); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(win32sim::requests().empty());
  EXPECT_TRUE(win32sim::opened_paths().empty());
}

TEST_F(WinTransportTest, OnlyIndexZeroSearches) {
  win32sim::add_zv16x16(kPath, &model);
  for (uint8_t index = 1; index <= 9; ++index) EXPECT_EQ(usbdevs_open(&record, &dev, index), 1);
  EXPECT_EQ(win32sim::class_lists_built(), 0);
  EXPECT_EQ(dev, nullptr);
  EXPECT_TRUE(open());
  EXPECT_EQ(dev, &record);
  EXPECT_EQ(path(), kPath);
  EXPECT_EQ(win32sim::class_lists_built(), 1);
}

TEST_F(WinTransportTest, ServiceNameMustMatchExactly) {
  const win32sim::Device others[] = {
      {win32sim::kRenderClass, true, L"ZV-16x16", true, {L"\\\\?\\a#1\\x"}},
      {win32sim::kRenderClass, true, L"zv-16x16 ", true, {L"\\\\?\\b#1\\x"}},
      {win32sim::kRenderClass, true, L"zv-16x1", true, {L"\\\\?\\c#1\\x"}},
      {win32sim::kRenderClass, false, L"zv-16x16", true, {L"\\\\?\\d#1\\x"}},  // not present
      {win32sim::kOtherClass, true, L"zv-16x16", true, {L"\\\\?\\e#1\\x"}},    // other class
  };
  for (const auto &d : others) win32sim::add_device(d);
  EXPECT_FALSE(open());
  EXPECT_EQ(path(), L"");
}

TEST_F(WinTransportTest, LastMatchingInterfaceWins) {
  win32sim::add_device({win32sim::kRenderClass,
                        true,
                        L"zv-16x16",
                        true,
                        {L"\\\\?\\first#1\\global", L"\\\\?\\first#2\\global"}});
  win32sim::add_device(
      {win32sim::kRenderClass, true, L"usbaudio", true, {L"\\\\?\\other#1\\global"}});
  win32sim::add_device(
      {win32sim::kRenderClass, true, L"zv-16x16", true, {L"\\\\?\\second#1\\wave"}});
  win32sim::add_device(
      {win32sim::kRenderClass, true, L"usbaudio", true, {L"\\\\?\\other#2\\global"}});
  EXPECT_TRUE(open());
  EXPECT_EQ(path(), L"\\\\?\\second#1\\wave");

  wchar_t dst[USBDEVS_PATH_UNITS];
  errno_t status = -1;
  EXPECT_EQ(usbdevs_find_interface(L"zv-16x16", dst, USBDEVS_PATH_UNITS, &status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(usbdevs_find_interface(L"zv-16x16", nullptr, 0, nullptr), 1);  // found, nowhere to copy
  EXPECT_EQ(usbdevs_find_interface(nullptr, dst, USBDEVS_PATH_UNITS, nullptr), 0);
}

// Several interfaces: each listed by its place, named by the instance part of its path (the
// serial where Windows used one), and the one chosen is the one that every transfer reaches.
TEST_F(WinTransportTest, EveryInterfaceIsListedAndTheChosenOneIsOpened) {
  const std::wstring serial_path =
      L"\\\\?\\usb#vid_1209&pid_0016#ZV16A0042#{65e8773e-8f56-11d0-a3b9-00a0c9223196}\\global";
  zvsim::VirtualDevice second(vclock_now_us);
  win32sim::add_zv16x16(kPath, &model);
  win32sim::add_another_zv16x16(serial_path, &second);
  usbdevs_place places[USBDEVS_MAX_PLACES];
  ASSERT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 2);
  EXPECT_EQ(usbdevs_list(places, 1), 1);  // no more than there is room for
  ASSERT_EQ(usbdevs_list(places, USBDEVS_MAX_PLACES), 2);
  struct Expected {
    std::wstring path, name, serial;
  } expected[] = {{kPath, L"7&1a2b3c&0&0000", L""}, {serial_path, L"ZV16A0042", L"ZV16A0042"}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(places[i].path, expected[i].path);
    EXPECT_EQ(places[i].name, expected[i].name);
    EXPECT_EQ(places[i].serial, expected[i].serial);
  }
  const uint8_t byte = 1;
  struct Choice {
    const wchar_t *place;
    bool opens;
    zvsim::VirtualDevice *reached;
  } choices[] = {{kPath.c_str(), true, &model},
                 {serial_path.c_str(), true, &second},
                 {L"\\\\?\\usb#gone\\global", false, nullptr},
                 {nullptr, true, &second}};  // no choice: the last one enumerated, as ever
  for (const Choice &c : choices) {
    usbdevs_choose(c.place);
    const long before_first = model.transfers(), before_second = second.transfers();
    ASSERT_EQ(open(), c.opens);
    if (!c.opens) continue;
    capture_stdout([&] { usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte); });
    EXPECT_EQ(model.transfers() - before_first, c.reached == &model ? 1 : 0);
    EXPECT_EQ(second.transfers() - before_second, c.reached == &second ? 1 : 0);
  }
  usbdevs_choose(nullptr);
}

TEST_F(WinTransportTest, ControlPathReplacesTheLastComponent) {
  win32sim::connect(&model);
  win32sim::add_device({win32sim::kRenderClass, true, L"zv-16x16", true, {L"nobackslash"}});
  HANDLE h = usbdevs_open_channel(L"nobackslash");  // a path without one stays whole
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(win32sim::opened_paths().back(), L"nobackslash\\zv-16x16");
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  capture_stdout([] {
    HANDLE other = usbdevs_open_channel(L"\\\\?\\usb#x\\ref\\global");
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  });
  EXPECT_EQ(win32sim::opened_paths().back(), L"\\\\?\\usb#x\\ref\\zv-16x16");
}

TEST_F(WinTransportTest, EmptyPathMakesEveryTransferFail) {
  win32sim::add_zv16x16(kPath, &model);
  usbdevs_device *unopened = &record;
  const uint8_t byte = 1;
  uint8_t reply[64];
  int out_result = -1, in_result = -1;
  const std::string out = capture_stdout([&] {
    out_result = usbdevs_vendor_out(unopened, 0x1D, 0, 0, 1, &byte);
    in_result = usbdevs_vendor_in(unopened, 0x1E, 0, 0, 64, reply);
  });
  EXPECT_EQ(out_result, 1);
  EXPECT_EQ(in_result, 1);
  EXPECT_TRUE(win32sim::requests().empty());
  EXPECT_EQ(win32sim::opened_paths().front(), L"\\zv-16x16");
  // Each failed open reports the last error with its text, then its own line.
  EXPECT_THAT(out,
              HasSubstr("GetLastError() = 0x2\nThe system cannot find the file specified.\r\n"));
  EXPECT_EQ(count_wide_error_lines(out), 2);
  EXPECT_EQ(count_error_lines(out), 1);  // the out transfer adds one of its own
}

TEST_F(WinTransportTest, DiscoveryFailuresAreReportedAndSkipped) {
  struct Case {
    const char *name;
    void (*arrange)();
    bool found;
    int wide_lines;
  } cases[] = {
      {"no device information list", [] { win32sim::faults().class_list_fails = true; }, false, 1},
      {"service property unreadable",
       [] {
         win32sim::add_device(
             {win32sim::kRenderClass, true, L"zv-16x16", false, {L"\\\\?\\a#1\\g"}});
       },
       false, 1},
      {"detail size 0", [] { win32sim::faults().detail_size_zero = true; }, false, 1},
      {"detail fetch fails", [] { win32sim::faults().detail_fetch_fails = true; }, false, 1},
      {"interface path too long for the record",
       [] {
         win32sim::add_device({win32sim::kRenderClass,
                               true,
                               L"zv-16x16",
                               true,
                               {L"\\\\?\\" + std::wstring(260, L'x') + L"\\global"}});
       },
       false, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    win32sim::reset();
    win32sim::add_device({win32sim::kRenderClass, true, L"usbaudio", true, {L"\\\\?\\audio#1\\g"}});
    c.arrange();
    bool found = true;
    const std::string out = capture_stdout([&] { found = open(); });
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(count_wide_error_lines(out), c.wide_lines) << out;
    EXPECT_EQ(win32sim::open_class_lists(), 0);
  }
  // A good interface after a skipped one is still found.
  win32sim::reset();
  win32sim::add_device({win32sim::kRenderClass,
                        true,
                        L"zv-16x16",
                        true,
                        {L"\\\\?\\" + std::wstring(300, L'y') + L"\\g", L"\\\\?\\ok#1\\g"}});
  capture_stdout([&] { EXPECT_TRUE(open()); });
  EXPECT_EQ(path(), L"\\\\?\\ok#1\\g");
}

TEST_F(WinTransportTest, ControlPathThatWouldNotFitIsRefused) {
  // 256 units fit the record, but not once the reference string becomes "\zv-16x16".
  const std::wstring long_path = L"\\\\?\\" + std::wstring(250, L'z') + L"\\g";
  ASSERT_EQ(long_path.size(), 256u);
  win32sim::add_zv16x16(long_path, &model);
  ASSERT_TRUE(open());
  const uint8_t byte = 1;
  int result = -1;
  const std::string out =
      capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(win32sim::opened_paths().empty());  // never opened under a cut name
  EXPECT_EQ(count_wide_error_lines(out), 1);
}

TEST_F(WinTransportTest, DriverFailures) {
  win32sim::add_zv16x16(kPath, &model);
  ASSERT_TRUE(open());
  const uint8_t byte = 1;
  int result = -1;
  win32sim::faults().virtual_alloc_fails = true;
  std::string out = capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_TRUE(win32sim::requests().empty());

  win32sim::faults().virtual_alloc_fails = false;
  win32sim::faults().ioctl_error = ERROR_GEN_FAILURE;
  out = capture_stdout([&] { result = usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(matches_regex(out,
                            "zvtest.usbdevs_win\\.cpp:[0-9]+:ERROR\n"
                            "zvtest.usbdevs_win\\.cpp:[0-9]+:GetLastError\\(\\) = 0x1f\n"
                            "A device attached to the system is not functioning.\r\n"))
      << out;

  win32sim::faults().ioctl_error = 0;
  model.unplug();
  uint8_t reply[64];
  out = capture_stdout([&] { result = usbdevs_vendor_in(dev, 0x1E, 0, 0, 64, reply); });
  EXPECT_EQ(result, 1);
}

// A driver's word that the device has gone or did not answer fails every later transfer at
// once, without a request, until the device is opened again; a stall or another passing
// error leaves the next transfer to the driver.
TEST_F(WinTransportTest, ADeviceLostStaysLostUntilOpenedAgain) {
  struct Case {
    const char *what;
    DWORD code;  // the request's error; 0: the device is unplugged instead
    bool lost;
  };
  const Case cases[] = {
      {"silent", ERROR_SEM_TIMEOUT, true},
      {"timed out", ERROR_TIMEOUT, true},
      {"not connected", ERROR_DEVICE_NOT_CONNECTED, true},
      {"removed", ERROR_DEVICE_REMOVED, true},
      {"no such device (a handle held across an unplug)", ERROR_FILE_NOT_FOUND, true},
      {"unplugged: the control path no longer opens", 0, true},
      {"stall", ERROR_GEN_FAILURE, false},
      {"bad parameter", ERROR_INVALID_PARAMETER, false},
  };
  win32sim::add_zv16x16(kPath, &model);
  uint8_t reply[64];
  const uint8_t byte = 1;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(open());
    win32sim::faults().ioctl_error = c.code;
    if (c.code == 0) model.unplug();
    std::string out =
        capture_stdout([&] { EXPECT_EQ(usbdevs_vendor_in(dev, 0x1E, 0, 0, 64, reply), 1); });
    EXPECT_EQ(out.find("transfers fail until it is opened again") != std::string::npos, c.lost)
        << out;
    win32sim::faults().ioctl_error = 0;
    if (c.code == 0) model.replug();  // back, but this record has not found it again

    const size_t opens = win32sim::opened_paths().size();
    int in = -1, sent = -1;
    out = capture_stdout([&] {
      in = usbdevs_vendor_in(dev, 0x1E, 0, 0, 64, reply);
      sent = usbdevs_vendor_out(dev, 0x1D, 0, 0, 1, &byte);
    });
    if (c.lost) {
      EXPECT_EQ(in, 1);
      EXPECT_EQ(sent, 1);
      EXPECT_EQ(win32sim::opened_paths().size(), opens);  // the driver was not asked
      EXPECT_EQ(count_error_lines(out), 2) << out;        // one line each, nothing more
      EXPECT_EQ(out.find("GetLastError"), std::string::npos) << out;
    } else {
      EXPECT_EQ(in, 0);
      EXPECT_EQ(sent, 0);
    }
    ASSERT_TRUE(open());
    EXPECT_EQ(usbdevs_vendor_in(dev, 0x1E, 0, 0, 64, reply), 0);
  }
}

TEST_F(WinTransportTest, WholeProtocolOverTheDriver) {
  win32sim::add_zv16x16(kPath, &model);
  zvctl_clear(&record);
  zvctl_reset_search(&record);
  ASSERT_EQ(zvctl_open_next(&record, &dev), 0);

  uint8_t name[64];
  uint8_t length = 0;
  uint16_t version = 0;
  ASSERT_EQ(zvctl_get_product_name(&dev, name, 64, &length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(name), length), "ZV-16x16");
  ASSERT_EQ(zvctl_get_version(&dev, &version), 0);
  EXPECT_EQ(version, model.version());
  ASSERT_EQ(zvctl_set_clock_source(&dev, 1), 0);
  ASSERT_EQ(zvctl_set_frequency(&dev, 44100), 0);
  EXPECT_EQ(model.clock_source(), 1);
  EXPECT_EQ(model.frequency(), 44100u);

  model.settings.windows = {200};
  const std::vector<uint8_t> image = imagegen_image("ZV-16x16", 110, 3, 5000, 11);
  std::atomic<uint32_t> progress{0};
  capture_stdout([&] {
    EXPECT_EQ(zvctl_fwup(&dev, image.data(), static_cast<uint32_t>(image.size()), &progress), 0);
  });
  EXPECT_EQ(model.firmware(), image);
  EXPECT_EQ(progress.load(), image.size());
  ASSERT_EQ(zvctl_get_version(&dev, &version), 0);
  EXPECT_EQ(version, 110);
  uint32_t sum = 0;
  ASSERT_EQ(zvctl_get_checksum(&dev, 5000, &sum), 0);
  EXPECT_EQ(sum, prgdecode_checksum(image.data()));
  // One driver handle per transfer, every one of them closed again.
  EXPECT_EQ(win32sim::opened_paths().size(), win32sim::requests().size());
}

}  // namespace
