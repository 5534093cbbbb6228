// A virtual ZV-16x16 behind the in-process transport, opened through the request library,
// on a freshly reset virtual clock.
#ifndef TESTS_SUPPORT_DEVICE_FIXTURE_H
#define TESTS_SUPPORT_DEVICE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zvctl.h"

class DeviceTest : public testing::Test {
 protected:
  DeviceTest() : device(vclock_now_us) {
    device.settings.log_transfers = true;
    vclock_reset();
    usbdevs_virtual_connect(&device);
    zvctl_clear(&record);
    zvctl_reset_search(&record);
    EXPECT_EQ(zvctl_open_next(&record, &dev), 0);
  }
  ~DeviceTest() override { usbdevs_virtual_connect(nullptr); }

  // The host-to-device messages sent on the primary channel.
  std::vector<std::vector<uint8_t>> sent() const { return device.messages(ZV_REQ_SEND); }

  zvsim::VirtualDevice device;
  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
};

// A 64-byte reply made of the given bytes, zero-padded.
std::vector<uint8_t> reply(std::initializer_list<int> bytes);

#endif
