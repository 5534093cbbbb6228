// The Windows transport on Windows' own SetupAPI and kernel32 (here Wine's, which knows no
// ZV-16x16), and the facts of the 32-bit platform that the transport relies on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
// SetupAPI needs the types of windows.h first.
#include <setupapi.h>

#include <cstddef>

#include "test_support.h"
#include "usbdevs.h"
#include "usbdevs_win.h"
#include "zvctl.h"

namespace {

TEST(Win32Platform, RecordSizesOfA32BitProcess) {
  EXPECT_EQ(sizeof(void *), 4u);
  EXPECT_EQ(sizeof(wchar_t), 2u);
  EXPECT_EQ(sizeof(long), 4u);
  EXPECT_EQ(sizeof(SP_DEVINFO_DATA), 28u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), 28u);
  // The fixed part of the detail record, which the transport passes as its cbSize.
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), 6u);
  EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath), 4u);
  EXPECT_EQ(sizeof(usbdevs_device().transport.interface_path), 520u);
}

TEST(Win32Platform, IconResourceIsLinked) {
  EXPECT_NE(FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
}

TEST(WinTransportOnWine, NoInterfaceIsFound) {
  wchar_t path[USBDEVS_PATH_UNITS] = L"untouched";
  std::string out = capture_stdout([&] {
    EXPECT_EQ(usbdevs_find_interface(L"zv-16x16", path, USBDEVS_PATH_UNITS, nullptr), 0);
  });
  EXPECT_EQ(std::wstring(path), L"untouched");

  usbdevs_device record;
  usbdevs_init(&record);
  usbdevs_device *dev = nullptr;
  out = capture_stdout([&] { EXPECT_EQ(usbdevs_open(&record, &dev, 0), 1); });
  EXPECT_EQ(dev, nullptr);
  for (uint8_t index = 1; index <= 9; ++index) EXPECT_EQ(usbdevs_open(&record, &dev, index), 1);

  // The request library gives up after its ten indexes.
  zvctl_clear(&record);
  zvctl_reset_search(&record);
  out = capture_stdout([&] { EXPECT_EQ(zvctl_open_next(&record, &dev), 1); });
  EXPECT_EQ(record.next_index, 10);
}

TEST(WinTransportOnWine, OpeningAMissingPathReportsTheLastError) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  const std::string out = capture_stdout(
      [&] { handle = usbdevs_open_channel(L"\\\\?\\usb#vid_1209&pid_0016#none#{x}\\global"); });
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(matches_regex(out,
                            "zvtest.usbdevs_win\\.cpp:[0-9]+:GetLastError\\(\\) = 0x[0-9a-f]+\n"
                            "(.|\r|\n)*ERROR : [0-9]+\n"))
      << out;
}

TEST(WinTransportOnWine, TransfersOfAnUnopenedRecordFail) {
  usbdevs_device record;
  usbdevs_init(&record);
  const uint8_t byte = 1;
  uint8_t reply[64];
  std::string out = capture_stdout([&] {
    EXPECT_EQ(usbdevs_vendor_out(&record, 0x1D, 0, 0, 1, &byte), 1);
    EXPECT_EQ(usbdevs_vendor_in(&record, 0x1E, 0, 0, 64, reply), 1);
    EXPECT_EQ(usbdevs_vendor_out(&record, 0x1D, 0, 0, 0, &byte), 1);
  });
  EXPECT_EQ(count_error_lines(out), 2);  // the failed open of the out transfer, the empty send
}

}  // namespace
