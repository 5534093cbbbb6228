// The virtual device's own behaviour, as the host's requests see it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device_fixture.h"
#include "test_support.h"
#include "update_stages.h"
#include "zv_build_values.h"

namespace {

class VirtualDeviceTest : public DeviceTest {};

TEST_F(VirtualDeviceTest, StartsOnTheOlderFirmwareOfTheBuild) {
  EXPECT_EQ(device.product(), "ZV-16x16");
  EXPECT_EQ(device.version(), ZV_SIM_START_VERSION);
  EXPECT_EQ(device.firmware().size(), 606240u);
}

TEST_F(VirtualDeviceTest, BusyAfterEachCommandForTheSetTime) {
  device.settings.busy_after_command_ms = 40;
  ASSERT_EQ(zvctl_set_clock_source(&dev, 1), 0);
  vclock_reset();
  ASSERT_EQ(zvctl_set_frequency(&dev, 44100), 0);
  // The idle wait polled through 40 ms of busy replies before the second command.
  EXPECT_GE(vclock_sleeps_of(5), 7);
  EXPECT_LE(vclock_sleeps_of(5), 9);
}

TEST_F(VirtualDeviceTest, ChecksumReadingsStayWithinTheNoise) {
  device.settings.checksum_noise = 256;
  const uint32_t exact = device.checksum_over(606204);
  uint32_t low = UINT32_MAX, high = 0;
  for (int i = 0; i < 20; ++i) {
    uint32_t sum = 0;
    ASSERT_EQ(zvctl_get_checksum(&dev, 606204, &sum), 0);
    low = std::min(low, sum);
    high = std::max(high, sum);
  }
  EXPECT_GE(low, exact);
  EXPECT_LE(high - low, 256u);
  EXPECT_GT(high, low);  // it does vary
}

TEST_F(VirtualDeviceTest, ProductOfAnotherModel) {
  device.install_firmware("ZV-8x8", 300, 1, 1000);
  uint8_t name[64];
  uint8_t length = 0;
  ASSERT_EQ(zvctl_get_product_name(&dev, name, 64, &length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(name), length), "ZV-8x8");
}

TEST_F(VirtualDeviceTest, UnplugAfterTransfersFailsEveryLaterTransfer) {
  device.faults.unplug_after_transfers = 0;
  int result = -1;
  capture_stdout([&] { result = zvctl_send_a2h(&dev); });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(device.plugged());
  zvctl_reset_search(&record);
  EXPECT_EQ(zvctl_open_next(&record, &dev), 1);
}

TEST_F(VirtualDeviceTest, AnswersThatDoNotFitGoIntoTheNextReply) {
  // Several queries in one message: the answers fill replies in order.
  uint8_t data[64] = {};
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, 64);
  for (int i = 0; i < 12; ++i) zvmsg_append(&msg, ZV_ITEM_QUERY_1AH, ZVMSG_MARK, 0, 0);
  zvmsg_append(&msg, 0, ZVMSG_END, 0, 0);
  ASSERT_EQ(zvctl_send(&dev, &msg), 0);
  int answers = 0, replies = 0;
  while (answers < 12 && replies < 5) {
    ASSERT_EQ(zvctl_receive(&dev, &msg), 0);
    ++replies;
    int id = 0;
    while (zvmsg_next(&msg, &id, nullptr, nullptr, nullptr) == 0)
      answers += id == ZV_ITEM_QUERY_1AH;
  }
  EXPECT_EQ(answers, 12);
  EXPECT_EQ(replies, 2);  // 10 six-byte items fit one reply
}

}  // namespace

// --fault-at-stage: a stage of the update by the device's own name, and a count after it.
TEST(UpdateStages, AMomentIsAStageAndACount) {
  struct Case {
    const char *text;
    bool parses;
    zvsim::UpdateStage stage;
    long plus;
  } cases[] = {{"transfer+10973", true, zvsim::UpdateStage::kTransfer, 10973},
               {"stability-reads", true, zvsim::UpdateStage::kStabilityReads, 0},
               {"verification+0", true, zvsim::UpdateStage::kVerification, 0},
               {"transfer+", false, {}, 0},
               {"transfer+-1", false, {}, 0},
               {"transfer+1x", false, {}, 0},
               {"stability reads", false, {}, 0},
               {"Transfer", false, {}, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    zvsim::StageMoment moment;
    ASSERT_EQ(zvsim::parse_stage_moment(c.text, &moment), c.parses);
    if (!c.parses) continue;
    EXPECT_EQ(moment.stage, c.stage);
    EXPECT_EQ(moment.plus, c.plus);
  }
}
