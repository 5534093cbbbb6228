#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "device_fixture.h"
#include "test_support.h"

namespace {

class ChannelTest : public DeviceTest {
 protected:
  // A one-item message ready to send.
  void build(uint8_t id) {
    zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
    zvmsg_append(&msg, id, ZVMSG_MARK, 0, 0);
    zvmsg_append(&msg, 0, ZVMSG_END, 0, 0);
  }
  uint8_t data[ZVMSG_CAPACITY] = {};
  zvmsg_buffer msg{};
};

TEST_F(ChannelTest, SendRetriesTenTimesThenGivesUp) {
  build(0xA2);
  device.faults.fail_out = 10;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_send(&dev, &msg); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 11);
  EXPECT_EQ(vclock_sleeps_of(5), 10);
  EXPECT_EQ(vclock_sleeps(), 10);
  EXPECT_EQ(device.transfers_out(), 10);
  EXPECT_EQ(device.a2h_commands(), 0);
}

TEST_F(ChannelTest, SendSucceedsOnALaterAttempt) {
  build(0xA2);
  device.faults.fail_out = 3;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_send(&dev, &msg); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(count_error_lines(out), 3);
  EXPECT_EQ(vclock_sleeps_of(5), 3);
  EXPECT_EQ(device.a2h_commands(), 1);
  EXPECT_EQ(sent().back(), (std::vector<uint8_t>{0xA2, 1, 0, 0}));
}

TEST_F(ChannelTest, MessagesLongerThanTheBufferAreNotSent) {
  build(0xA2);
  int result = -1;
  std::string out = capture_stdout([&] { result = zvctl_send2(&dev, &msg, 65); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(device.transfers(), 0);

  uint8_t big[80] = {};
  zvmsg_attach(&msg, big, 80);
  msg.position = 65;
  out = capture_stdout([&] { result = zvctl_send(&dev, &msg); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.transfers(), 0);
}

TEST_F(ChannelTest, ReceiveReadsAtMostSixtyFourBytes) {
  uint8_t big[80];
  std::memset(big, 0xEE, sizeof big);
  zvmsg_attach(&msg, big, 80);
  msg.position = 10;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_receive(&dev, &msg); });
  EXPECT_EQ(result, 0);  // the clipped length is reported, not a failure
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(msg.position, 0);
  EXPECT_EQ(big[64], 0xEE);
  EXPECT_EQ(big[0], ZV_ITEM_READY);
}

TEST_F(ChannelTest, ReceiveFailureIsNotRetried) {
  zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
  device.faults.fail_in = 1;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_receive(&dev, &msg); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(device.transfers_in(), 1);
}

struct IdleCase {
  const char *name;
  std::vector<std::vector<uint8_t>> replies;  // raw replies before the device's own
  int busy_polls;
  int fail_in;
  int result;
  long receives;
  int diagnostics;
};

TEST_F(ChannelTest, WaitIdlePrimary) {
  const IdleCase cases[] = {
      {"no status item means ready", {reply({0x32, 3, 1, 0})}, 0, 0, 0, 1, 0},
      {"status 1 is ready", {reply({ZV_ITEM_READY, 2, 1})}, 0, 0, 0, 1, 0},
      {"status of another type and non-zero is ready",
       {reply({ZV_ITEM_READY, 3, 0, 1})},
       0,
       0,
       0,
       1,
       0},
      {"busy then ready in the same reply",
       {reply({ZV_ITEM_READY, 2, 0, ZV_ITEM_READY, 2, 1})},
       0,
       0,
       0,
       1,
       0},
      // A byte string gives its first bytes, as for every reader of "any type".
      {"busy sent as a byte string", {reply({ZV_ITEM_READY, 5, 1, 0})}, 0, 0, 0, 2, 0},
      {"ready sent as a byte string", {reply({ZV_ITEM_READY, 5, 2, 1, 0})}, 0, 0, 0, 1, 0},
      {"three busy replies", {}, 3, 0, 0, 4, 0},
      {"busy for ever: 1000 polls", {}, 1000000, 0, 1, 1000, 0},
      {"failed reads count as polls", {}, 0, 2, 0, 3, 4},
      {"failed reads for ever", {}, 0, 5000, 1, 1000, 2000},
  };
  for (const IdleCase &c : cases) {
    SCOPED_TRACE(c.name);
    zvsim::VirtualDevice fresh(vclock_now_us);
    usbdevs_virtual_connect(&fresh);
    vclock_reset();
    for (const auto &r : c.replies) fresh.push_raw_reply(0, r);
    fresh.faults.busy_polls = c.busy_polls;
    fresh.faults.fail_in = c.fail_in;
    int result = -1;
    const std::string out = capture_stdout([&] { result = zvctl_wait_idle(&dev); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(fresh.transfers_in(), c.receives);
    EXPECT_EQ(count_error_lines(out), c.diagnostics);
    EXPECT_EQ(vclock_sleeps_of(5), c.result == 0 ? c.receives - 1 : c.receives);
  }
  usbdevs_virtual_connect(&device);
}

TEST_F(ChannelTest, WaitIdleSecondaryAllowsHundredPollsAndFailsOnAFailedRead) {
  device.faults.busy_polls = 1000000;
  EXPECT_EQ(zvctl_wait_idle2(&dev), 1);
  EXPECT_EQ(device.transfers_in(), 100);

  device.faults.busy_polls = 0;
  device.faults.fail_in = 1;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_wait_idle2(&dev); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 2);
  EXPECT_EQ(device.transfers_in(), 101);

  EXPECT_EQ(zvctl_wait_idle2(&dev), 0);
}

TEST_F(ChannelTest, SecondaryChannelUsesItsOwnRequests) {
  build(0xA2);
  ASSERT_EQ(zvctl_send2(&dev, &msg, msg.position), 0);
  ASSERT_EQ(zvctl_receive2(&dev, &msg), 0);
  ASSERT_EQ(device.log().size(), 2u);
  EXPECT_EQ(device.log()[0].request, ZV_REQ_SEND2);
  EXPECT_EQ(device.log()[0].length, 4);
  EXPECT_EQ(device.log()[1].request, ZV_REQ_RECEIVE2);
  EXPECT_EQ(device.log()[1].length, 64);
}

TEST_F(ChannelTest, UnopenedDeviceCarriesNoTransfer) {
  usbdevs_device *none = nullptr;
  build(0xA2);
  int result = -1;
  capture_stdout([&] { result = zvctl_send(&none, &msg); });
  EXPECT_EQ(result, 1);
  capture_stdout([&] { result = zvctl_wait_idle(&none); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.transfers(), 0);

  usbdevs_device blank{};
  usbdevs_device *unopened = &blank;
  usbdevs_init(unopened);
  capture_stdout([&] { result = zvctl_receive(&unopened, &msg); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.transfers(), 0);
}

}  // namespace
