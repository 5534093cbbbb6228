#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device_fixture.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class TargetTest : public DeviceTest {};

TEST_F(TargetTest, SendingRequestsOnTheWire) {
  struct Case {
    const char *name;
    std::function<int()> request;
    Bytes wire;
  } cases[] = {
      {"pair (1, 2, 3, 4)",
       [&] { return zvctl_set_pair(&dev, 1, 2, 3, 4); },
       {0x61, 0x02, 0x01, 0x62, 0x02, 0x02, 0x41, 0x01, 0x61, 0x02,
        0x03, 0x62, 0x02, 0x04, 0x42, 0x01, 0x43, 0x01, 0x00, 0x00}},
      {"81h (5, 0, 200)",
       [&] { return zvctl_set_81h(&dev, 5, 0, 200); },
       {0x61, 0x02, 0x05, 0x62, 0x02, 0x00, 0x81, 0x02, 0xC8, 0x00, 0x00}},
      {"85h sends the low byte of A",
       [&] { return zvctl_set_85h(&dev, 0x105, 1, 2); },
       {0x61, 0x02, 0x05, 0x62, 0x02, 0x01, 0x85, 0x02, 0x02, 0x00, 0x00}},
      {"block 51h: the third argument goes last",
       [&] { return zvctl_set_block_51h(&dev, 1, 2, 3, 4, 5, 6, 7); },
       {0x61, 2, 1, 0x62, 2, 2, 0x51, 2, 4, 0x52, 2, 5, 0x53, 2, 6, 0x54, 2, 7, 0x55, 2, 3, 0, 0}},
      {"block 91h: the third argument goes last",
       [&] { return zvctl_set_block_91h(&dev, 1, 2, 3, 4, 5, 6, 7, 8, 9); },
       {0x61, 2, 1, 0x62, 2, 2, 0x91, 2, 4, 0x92, 2, 5, 0x93, 2, 6,
        0x94, 2, 7, 0x95, 2, 8, 0x96, 2, 9, 0x97, 2, 3, 0,    0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    device.clear_log();
    EXPECT_EQ(c.request(), 0);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], c.wire);
    EXPECT_EQ(device.log().size(), 2u);  // an idle poll and the send, no reply read
  }
  int (*const singles[])(usbdevs_device **, int, int, int) = {zvctl_set_81h, zvctl_set_82h,
                                                              zvctl_set_83h, zvctl_set_84h};
  for (int i = 0; i < 4; ++i) {
    device.clear_log();
    ASSERT_EQ(singles[i](&dev, 1, 1, 9), 0);
    EXPECT_EQ(sent()[0][6], 0x81 + i);
  }
}

TEST_F(TargetTest, ComposersWithoutASendingRequest) {
  uint8_t data[64] = {};
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, 64);
  ASSERT_EQ(zvctl_add_47h_48h(&msg, 1, 2), 0);
  ASSERT_EQ(zvctl_add_block_d1h(&msg, 3, 4, 5, 6), 0);
  ASSERT_EQ(zvctl_add_pair_values(&msg, 1, 2, 3, 4, 5, 6), 0);
  EXPECT_EQ(
      Bytes(data, data + msg.position),
      (Bytes{0x47, 2, 2,    0x48, 2, 1,                                            // second first
             0xD1, 2, 3,    0xD2, 2, 4,    0xD3, 2, 5,    0xD4, 2, 6,    0xD5, 1,  // block D1h
             0x61, 2, 1,    0x62, 2, 2,    0x41, 1, 0x61, 2,    3, 0x62, 2,    4,
             0x42, 1, 0x44, 2,    5, 0x45, 2,    6, 0x46, 1}));
}

TEST_F(TargetTest, ComposerLeavesTheRecordAsItWasWhenTheGroupDoesNotFit) {
  uint8_t data[64] = {};
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, 64);
  // 19 bytes left: six items of the 21-byte block fit, the seventh finds 1 byte.
  msg.position = 45;
  int result = -1;
  std::string out =
      capture_stdout([&] { result = zvctl_add_block_51h(&msg, 1, 2, 3, 4, 5, 6, 7); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(msg.position, 45);
  EXPECT_EQ(msg.data, data);
  EXPECT_EQ(msg.capacity, 64);

  // 20 bytes left: the framing reports the value that does not fit, then the composer.
  msg.position = 44;
  out = capture_stdout([&] { result = zvctl_add_block_51h(&msg, 1, 2, 3, 4, 5, 6, 7); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(matches_regex(
      out, "zvtest.zvmsg\\.cpp:[0-9]+:ERROR\nzvtest.zvctl_target\\.cpp:[0-9]+:ERROR\n"))
      << out;
  EXPECT_EQ(msg.position, 44);

  msg.position = 43;
  EXPECT_EQ(zvctl_add_block_51h(&msg, 1, 2, 3, 4, 5, 6, 7), 0);
  EXPECT_EQ(msg.position, 64);

  const std::string quiet = capture_stdout([] { EXPECT_EQ(zvctl_add_read(nullptr, 1, 2), 1); });
  EXPECT_EQ(quiet, "");
}

TEST_F(TargetTest, ReadValueFromTheDevice) {
  uint16_t value = 0;
  EXPECT_EQ(zvctl_read_value(&dev, 3, 2, &value), 0);
  EXPECT_EQ(value, 320);
  EXPECT_EQ(sent().back(), (Bytes{0x61, 2, 3, 0x62, 2, 2, 0xB1, 1, 0, 0}));
  ASSERT_EQ(zvctl_set_81h(&dev, 3, 2, 77), 0);
  EXPECT_EQ(zvctl_read_value(&dev, 3, 2, &value), 0);
  EXPECT_EQ(value, 77);
}

TEST_F(TargetTest, ReadValueTakesTheAnswerThatFollowsItsOwnPair) {
  device.faults.mute = true;
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x61, 2, 3, 0x62, 2, 2, 0xB2, 3, 0x20, 0x03,  // (3, 2): skipped
                                  0x62, 2, 1}));                                // pair now (3, 1)
  device.push_raw_reply(0, reply({0xB2, 3, 0x36, 0x01}));  // next reply: value for (3, 1)
  uint16_t value = 0;
  EXPECT_EQ(zvctl_read_value(&dev, 3, 1, &value), 0);
  EXPECT_EQ(value, 310);

  // A's full 32 bits are compared.
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x61, 4, 3, 0, 0, 1, 0x62, 2, 1, 0xB2, 3, 1, 0}));
  vclock_reset();
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_read_value(&dev, 3, 1, &value); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "");  // a spent budget prints nothing here
  EXPECT_EQ(vclock_sleeps_of(5), 100);
}

TEST_F(TargetTest, ListStreamsOverSeveralReplies) {
  zvctl_list_entry entries[8] = {};
  uint8_t count = 0;
  EXPECT_EQ(zvctl_get_list(&dev, entries, 4, &count), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(device.transfers_in(), 1 + 2);  // the idle poll, then two replies of two entries
  EXPECT_EQ(entries[0].selector_a, 1u);
  EXPECT_EQ(entries[0].selector_b, 0);
  EXPECT_EQ(entries[0].value, 100);
  EXPECT_EQ(entries[3].selector_a, 3u);
  EXPECT_EQ(entries[3].selector_b, 1);
  EXPECT_EQ(entries[3].value, 310);
  EXPECT_EQ(sent().back(), (Bytes{0x71, 1, 0, 0}));

  const long before = device.transfers_in();
  count = 9;
  EXPECT_EQ(zvctl_get_list(&dev, entries, 0, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(device.transfers_in(), before + 1);  // the idle poll only

  // Five entries asked for and five there: the last reply holds one.
  zvctl_list_entry five[5] = {};
  EXPECT_EQ(zvctl_get_list(&dev, five, 5, &count), 0);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(five[4].value, 320);
}

TEST_F(TargetTest, ListWithoutValueItemsFailsAfterAHundredPolls) {
  device.faults.mute = true;
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  for (int i = 0; i < 100; ++i) device.push_raw_reply(0, reply({0x61, 2, 1, 0x62, 2, 0}));
  zvctl_list_entry entries[4] = {};
  uint8_t count = 7;
  int result = -1;
  const std::string out =
      capture_stdout([&] { result = zvctl_get_list(&dev, entries, 4, &count); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(vclock_sleeps_of(5), 100);
}

}  // namespace
