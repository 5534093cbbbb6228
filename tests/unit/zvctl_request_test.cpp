#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "device_fixture.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class RequestTest : public DeviceTest {};

TEST_F(RequestTest, OpenNextFindsIndexZeroOnceAfterEachReset) {
  EXPECT_EQ(dev, &record);
  EXPECT_EQ(record.next_index, 1);

  usbdevs_device *out = reinterpret_cast<usbdevs_device *>(0x1234);
  EXPECT_EQ(zvctl_open_next(&record, &out), 1);
  EXPECT_EQ(out, reinterpret_cast<usbdevs_device *>(0x1234));
  EXPECT_EQ(record.next_index, 10);

  zvctl_reset_search(&record);
  EXPECT_EQ(record.next_index, 0);
  EXPECT_EQ(zvctl_open_next(&record, &out), 0);
  EXPECT_EQ(out, &record);

  device.unplug();
  zvctl_reset_search(&record);
  out = nullptr;
  EXPECT_EQ(zvctl_open_next(&record, &out), 1);
  EXPECT_EQ(out, nullptr);
}

TEST_F(RequestTest, ClearLeavesTheSearchIndex) {
  record.next_index = 4;
  zvctl_clear(&record);
  EXPECT_EQ(record.next_index, 4);
  EXPECT_EQ(record.transport.interface_path[0], L'\0');
}

TEST_F(RequestTest, SettingsGoOutAsOneItemAndTheEndMarker) {
  struct Case {
    const char *name;
    int (*request)(usbdevs_device **);
    Bytes wire;
  } cases[] = {
      {"frequency 44100",
       [](usbdevs_device **d) { return zvctl_set_frequency(d, 44100); },
       {0x17, 0x04, 0x44, 0xAC, 0x00, 0x00, 0x00, 0x00}},
      {"clock source 1",
       [](usbdevs_device **d) { return zvctl_set_clock_source(d, 1); },
       {0x19, 0x02, 0x01, 0x00, 0x00}},
      {"clock source sends the low byte",
       [](usbdevs_device **d) { return zvctl_set_clock_source(d, 0x302); },
       {0x19, 0x02, 0x02, 0x00, 0x00}},
      {"13h",
       [](usbdevs_device **d) { return zvctl_set_13h(d, 7); },
       {0x13, 0x02, 0x07, 0x00, 0x00}},
      {"89h",
       [](usbdevs_device **d) { return zvctl_set_89h(d, 0xFE); },
       {0x89, 0x02, 0xFE, 0x00, 0x00}},
      {"A2h", [](usbdevs_device **d) { return zvctl_send_a2h(d); }, {0xA2, 0x01, 0x00, 0x00}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    device.clear_log();
    EXPECT_EQ(c.request(&dev), 0);
    ASSERT_EQ(device.log().size(), 2u);  // one idle poll, one send; no reply is read
    EXPECT_EQ(device.log()[0].request, ZV_REQ_RECEIVE);
    EXPECT_EQ(device.log()[1].request, ZV_REQ_SEND);
    EXPECT_EQ(device.log()[1].data, c.wire);
  }
  EXPECT_EQ(device.frequency(), 44100u);
  EXPECT_EQ(device.clock_source(), 2);
  EXPECT_EQ(device.setting_13h(), 7);
  EXPECT_EQ(device.setting_89h(), 0xFE);
  EXPECT_EQ(device.a2h_commands(), 1);
}

TEST_F(RequestTest, SettingFailsWhenTheDeviceStaysBusyOrTheSendFails) {
  device.faults.busy_polls = 1000;
  int result = -1;
  std::string out = capture_stdout([&] { result = zvctl_set_frequency(&dev, 48000); });
  EXPECT_EQ(result, 1);
  EXPECT_GE(count_error_lines(out), 1);
  EXPECT_TRUE(sent().empty());

  device.faults.fail_out = 10;
  out = capture_stdout([&] { result = zvctl_set_clock_source(&dev, 1); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 11 + 1);  // the send's own, then the request's
}

TEST_F(RequestTest, DeviceInformationFromTheDevice) {
  uint16_t version = 0, build = 0;
  uint8_t name[64];
  std::memset(name, 0xCC, sizeof name);
  uint8_t length = 0;
  EXPECT_EQ(zvctl_get_version(&dev, &version), 0);
  EXPECT_EQ(zvctl_get_build(&dev, &build), 0);
  EXPECT_EQ(zvctl_get_product_name(&dev, name, 64, &length), 0);
  EXPECT_EQ(version, device.version());
  EXPECT_EQ(build, device.build());
  EXPECT_EQ(length, 8);
  EXPECT_EQ(0, std::memcmp(name, "ZV-16x16", 8));
  EXPECT_EQ(name[8], 0xCC);  // not terminated
  EXPECT_EQ(sent().front(), (Bytes{0x31, 0x01, 0x00, 0x00}));

  // The further information items: a 16-bit revision and a serial number string.
  uint8_t revision[2] = {};
  ASSERT_EQ(zvctl_get_info_35h(&dev, revision, 2, &length), 0);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(revision[0] | revision[1] << 8, 3);
  ASSERT_EQ(zvctl_get_info_36h(&dev, name, 64, &length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(name), length), "ZV16-000417");
}

TEST_F(RequestTest, ProductNameIsCopiedAsItComesWithoutTerminator) {
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));  // the idle poll
  device.push_raw_reply(0, reply({0x34, 5, 10, 'Z', 'V', '-', '1', '6', 'x', '1', '6', '-', 'B'}));
  uint8_t name[64];
  std::memset(name, 0xCC, sizeof name);
  uint8_t length = 0;
  EXPECT_EQ(zvctl_get_product_name(&dev, name, 64, &length), 0);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(0, std::memcmp(name, "ZV-16x16-B", 10));
  EXPECT_EQ(name[10], 0xCC);

  // A maximum below the answer clips it.
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x34, 5, 10, 'Z', 'V', '-', '1', '6', 'x', '1', '6', '-', 'B'}));
  std::memset(name, 0xCC, sizeof name);
  EXPECT_EQ(zvctl_get_product_name(&dev, name, 4, &length), 0);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(name[4], 0xCC);
}

TEST_F(RequestTest, VersionAnswerTypes) {
  struct Case {
    const char *name;
    Bytes answer;
    uint16_t expected;
    int diagnostics;
    long receives;  // after the idle poll
  } cases[] = {
      {"u16", reply({0x32, 3, 0x02, 0x01}), 0x0102, 0, 1},
      {"two-byte string", reply({0x32, 5, 2, 0x34, 0x12}), 0x1234, 0, 1},
      {"u8 is refused and the poll goes on", reply({0x32, 2, 9}), 0, 1, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    zvsim::VirtualDevice fresh(vclock_now_us);
    usbdevs_virtual_connect(&fresh);
    fresh.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
    fresh.push_raw_reply(0, c.answer);
    // Behind the raw replies the device answers with its own version in the next poll.
    uint16_t version = 0;
    int result = -1;
    const std::string out = capture_stdout([&] { result = zvctl_get_version(&dev, &version); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count_error_lines(out), c.diagnostics);
    EXPECT_EQ(version, c.expected != 0 ? c.expected : fresh.version());
    EXPECT_EQ(fresh.transfers_in(), 1 + c.receives);
  }
  usbdevs_virtual_connect(&device);
}

TEST_F(RequestTest, GetInfoNeverWritesMoreThanTheMaximum) {
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x32, 3, 0xAB, 0xCD}));
  uint8_t out[2] = {0x11, 0x22};
  uint8_t length = 0;
  EXPECT_EQ(zvctl_get_info(&dev, out, 1, &length, 0x32), 0);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[1], 0x22);
}

TEST_F(RequestTest, GetInfoAnsweredInTheThirdReplyIsSentOnce) {
  device.settings.answer_hold_polls = 2;
  uint16_t build = 0;
  EXPECT_EQ(zvctl_get_build(&dev, &build), 0);
  EXPECT_EQ(build, device.build());
  EXPECT_EQ(vclock_sleeps_of(5), 2);
  EXPECT_EQ(vclock_sleeps(), 2);
  EXPECT_EQ(sent().size(), 1u);
  EXPECT_EQ(device.transfers_in(), 1 + 3);
}

TEST_F(RequestTest, EmptyAnswerIsReadAgainUntilTheBudgetIsSpent) {
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  for (int i = 0; i < 3; ++i) device.push_raw_reply(0, reply({0x34, 5, 0}));
  uint8_t name[64];
  uint8_t length = 99;
  EXPECT_EQ(zvctl_get_product_name(&dev, name, 64, &length),
            0);  // the device's own answer comes 4th
  EXPECT_EQ(length, 8);
  EXPECT_EQ(vclock_sleeps_of(5), 3);

  device.faults.mute = true;
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  for (int i = 0; i < 100; ++i) device.push_raw_reply(0, reply({0x34, 5, 0}));
  vclock_reset();
  int result = -1;
  const std::string out =
      capture_stdout([&] { result = zvctl_get_product_name(&dev, name, 64, &length); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(vclock_sleeps_of(5), 100);
}

TEST_F(RequestTest, DebugTextIsPrintedAndTheSameReplyStillAnswers) {
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x12, 5, 4, 'b', 'o', 'o', 't', 0x32, 3, 0x07, 0x01}));
  uint16_t version = 0;
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_get_version(&dev, &version); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(version, 0x0107);
  EXPECT_EQ(out, "\ndbg:boot\n");
}

TEST_F(RequestTest, DebugTextStopsAtAZeroByte) {
  const std::string out = capture_stdout([] {
    const uint8_t text[] = {'a', 'b', 0, 'c'};
    zvctl_print_debug_text(text, 4);
    zvctl_print_debug_text(text, 1);
    zvctl_print_debug_text(text, 0);
  });
  EXPECT_EQ(out, "aba");
}

TEST_F(RequestTest, InformationRequestFailures) {
  uint16_t version = 0;
  int result = -1;
  // A read that fails ends the request at once.
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.faults.fail_in = 0;
  device.faults.mute = true;
  std::string out = capture_stdout([&] { result = zvctl_get_version(&dev, &version); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);  // the spent budget
  EXPECT_EQ(vclock_sleeps_of(5), 100);

  device.faults.mute = false;
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  const long before = device.transfers_in();
  device.faults.unplug_after_transfers = device.transfers() + 2;  // idle poll and send pass
  out = capture_stdout([&] { result = zvctl_get_version(&dev, &version); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.transfers_in(), before + 2);
  EXPECT_EQ(count_error_lines(out), 2);  // the receive's line and the request's
}

TEST_F(RequestTest, ChecksumWaitsUpToSixThousandPolls) {
  device.settings.checksum_time_ms = 29000;  // ready within 6000 polls of 5 ms
  uint32_t sum = 0;
  EXPECT_EQ(zvctl_get_checksum(&dev, 1000, &sum), 0);
  EXPECT_EQ(sum, device.checksum_over(1000));
  EXPECT_EQ(sent().back(), (Bytes{0x27, 0x04, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x00}));

  device.faults.mute = true;
  vclock_reset();
  int result = -1;
  const std::string out = capture_stdout([&] { result = zvctl_get_checksum(&dev, 1000, &sum); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "");  // running out of polls prints nothing here
  EXPECT_EQ(vclock_sleeps_of(5), 6000);
}

TEST_F(RequestTest, SimpleQueriesTakeTheFirstAnswerItem) {
  uint32_t v32 = 0;
  uint8_t v8 = 0;
  EXPECT_EQ(zvctl_get_18h(&dev, &v32), 0);
  EXPECT_EQ(v32, 0x00010002u);
  EXPECT_EQ(zvctl_get_c4h(&dev, &v32), 0);
  EXPECT_EQ(v32, 0x0100u);
  EXPECT_EQ(zvctl_get_1ah(&dev, &v32), 0);
  EXPECT_EQ(v32, 48000u);
  EXPECT_EQ(zvctl_get_c1h(&dev, &v32), 0);
  EXPECT_EQ(v32, 0x16u);
  EXPECT_EQ(zvctl_get_1bh(&dev, &v8), 0);
  EXPECT_EQ(v8, 2);
  EXPECT_EQ(zvctl_get_14h(&dev, &v8), 0);
  EXPECT_EQ(v8, 1);
  EXPECT_EQ(zvctl_get_1ah(&dev, nullptr), 0);

  // 14h is answered by 15h: an item 14h in the reply is skipped.
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x14, 2, 0x55, 0x15, 4, 0x07, 0x01, 0, 0}));
  EXPECT_EQ(zvctl_get_14h(&dev, &v8), 0);
  EXPECT_EQ(v8, 0x07);

  // Any type is accepted; the u8 outputs keep the low byte.
  device.push_raw_reply(0, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(0, reply({0x1B, 3, 0x34, 0x12}));
  EXPECT_EQ(zvctl_get_1bh(&dev, &v8), 0);
  EXPECT_EQ(v8, 0x34);
}

TEST_F(RequestTest, ReadDebugTextReadsOneReplyWithoutSending) {
  device.push_raw_reply(0, reply({0x12, 5,   3,   'o', 'n', 'e', 0x12, 5, 5, 'l', 'a',
                                  't',  'e', 'r', 0,   2,   0,   0x12, 5, 1, 'x'}));
  uint8_t text[8] = {};
  uint8_t length = 0;
  EXPECT_EQ(zvctl_read_debug_text(&dev, text, 4, &length), 0);
  EXPECT_EQ(length, 4);  // the later item wins, clipped to the maximum
  EXPECT_EQ(0, std::memcmp(text, "late", 4));
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(device.transfers(), 1);

  length = 77;
  EXPECT_EQ(zvctl_read_debug_text(&dev, text, 8, &length), 0);  // no text: length untouched
  EXPECT_EQ(length, 77);

  device.faults.fail_in = 1;
  int result = -1;
  const std::string out =
      capture_stdout([&] { result = zvctl_read_debug_text(&dev, text, 8, &length); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 2);
}

TEST_F(RequestTest, SecondaryChannelRequests) {
  uint16_t version = 0, build = 0;
  uint32_t sum = 0;
  EXPECT_EQ(zvctl_get_version2(&dev, &version), 0);
  EXPECT_EQ(zvctl_get_build2(&dev, &build), 0);
  EXPECT_EQ(zvctl_get_checksum2(&dev, 500, &sum), 0);
  EXPECT_EQ(version, device.version());
  EXPECT_EQ(build, device.build());
  EXPECT_EQ(sum, device.checksum_over(500));
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(device.messages(ZV_REQ_SEND2).size(), 3u);

  // version2 takes u16 items only; build2 takes any type.
  device.push_raw_reply(1, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(1, reply({0x12, 5, 2, 'h', 'i', 0x32, 4, 9, 0, 0, 0, 0x32, 3, 0x05, 0x01}));
  std::string out = capture_stdout([&] { EXPECT_EQ(zvctl_get_version2(&dev, &version), 0); });
  EXPECT_EQ(version, 0x0105);
  EXPECT_EQ(out, "\ndbg:hi\n");

  device.push_raw_reply(1, reply({ZV_ITEM_READY, 2, 1}));
  device.push_raw_reply(1, reply({0x33, 4, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(zvctl_get_build2(&dev, &build), 0);
  EXPECT_EQ(build, 0x5678);

  device.faults.mute = true;
  vclock_reset();
  int result = -1;
  out = capture_stdout([&] { result = zvctl_get_checksum2(&dev, 500, &sum); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(vclock_sleeps_of(5), 2000);
  out = capture_stdout([&] { result = zvctl_get_version2(&dev, &version); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(count_error_lines(out), 1);
}

}  // namespace
