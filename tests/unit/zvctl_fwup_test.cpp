#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>

#include "device_fixture.h"
#include "imagegen.h"
#include "prgdecode.h"
#include "test_support.h"

namespace {

using testing::HasSubstr;
using testing::Not;

struct Chunk {
  int id;
  int length;
  bool operator==(const Chunk &o) const { return id == o.id && length == o.length; }
};

std::ostream &operator<<(std::ostream &out, const Chunk &c) {
  return out << "{0x" << std::hex << c.id << std::dec << ", " << c.length << "}";
}

// The images of these tests: their header fields, with a payload of the test pattern.
const imagegen_fields kImage = {"ZV-16x16", 106, 77, 0, 0, 0};

class FwupTest : public DeviceTest {
 protected:
  // The data chunks the host sent, in order.
  std::vector<Chunk> chunks() const {
    std::vector<Chunk> out;
    for (const auto &m : sent()) {
      if (m[0] == ZV_ITEM_FWUP_DATA || m[0] == ZV_ITEM_FWUP_DATA_END) out.push_back({m[0], m[2]});
    }
    return out;
  }

  int run(const std::vector<uint8_t> &image, std::string *out = nullptr,
          int (*fwup)(usbdevs_device **, const uint8_t *, uint32_t,
                      std::atomic<uint32_t> *) = zvctl_fwup) {
    int result = -1;
    const std::string text = capture_stdout(
        [&] { result = fwup(&dev, image.data(), static_cast<uint32_t>(image.size()), &progress); });
    if (out != nullptr) *out = text;
    return result;
  }

  std::atomic<uint32_t> progress{0};
};

TEST_F(FwupTest, ChunksFillTheWindow) {
  struct Case {
    uint32_t window;
    uint32_t image_size;
    std::vector<Chunk> first_burst;
  } cases[] = {
      {200, 1000, {{0x25, 61}, {0x25, 61}, {0x25, 61}, {0x26, 17}}},
      {122, 1000, {{0x25, 61}, {0x26, 61}}},
      {61, 1000, {{0x26, 61}}},
      {62, 1000, {{0x25, 61}, {0x26, 1}}},
      {1, 1000, {{0x26, 1}}},
      {4096, 100, {{0x25, 61}, {0x26, 39}}},  // larger than the image: only the rest goes
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.window);
    zvsim::VirtualDevice fresh(vclock_now_us);
    fresh.settings.log_transfers = true;
    fresh.settings.windows = {c.window};
    usbdevs_virtual_connect(&fresh);
    const std::vector<uint8_t> image = imagegen_image(kImage, c.image_size - 36, 42);
    int result = -1;
    capture_stdout([&] { result = zvctl_fwup(&dev, image.data(), c.image_size, nullptr); });
    ASSERT_EQ(result, 0);
    std::vector<Chunk> sent_chunks;
    for (const auto &m : fresh.messages(ZV_REQ_SEND)) {
      if (m[0] == 0x25 || m[0] == 0x26) sent_chunks.push_back({m[0], m[2]});
    }
    ASSERT_GE(sent_chunks.size(), c.first_burst.size());
    EXPECT_EQ(std::vector<Chunk>(sent_chunks.begin(), sent_chunks.begin() + c.first_burst.size()),
              c.first_burst);
    EXPECT_EQ(sent_chunks.back().id, 0x26);  // the image always ends with an end chunk
    EXPECT_EQ(fresh.firmware(), image);
    EXPECT_EQ(fresh.dropped_chunks(), 0);
  }
  usbdevs_virtual_connect(&device);
}

TEST_F(FwupTest, FullChunkMessageHasNoEndMarker) {
  device.settings.windows = {200};
  const std::vector<uint8_t> image = imagegen_image(kImage, 400, 42);
  ASSERT_EQ(run(image), 0);
  const auto messages = sent();
  // The size command, then the first status query, then 61 bytes of image in 64 bytes.
  EXPECT_EQ(messages[0], (std::vector<uint8_t>{0x21, 4, 0xB4, 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(messages[1], (std::vector<uint8_t>{0x22, 1, 0, 0}));
  ASSERT_EQ(messages[2].size(), 64u);
  EXPECT_EQ(0, std::memcmp(messages[2].data() + 3, image.data(), 61));
  ASSERT_EQ(messages[5].size(), 3u + 17u + 2u);  // 17-byte end chunk and the end marker
}

TEST_F(FwupTest, WholeEmbeddedImageArrivesIntact) {
  const std::vector<uint8_t> image = read_file_bytes(UPDATE_BIN_PATH);
  ASSERT_EQ(image.size(), 606240u);
  device.settings.log_transfers = false;
  device.settings.windows = {1024, 640, 0, 200};
  std::string out;
  ASSERT_EQ(run(image, &out), 0);
  EXPECT_EQ(device.firmware(), image);
  EXPECT_EQ(device.version(), prgdecode_version(image.data()));
  EXPECT_EQ(device.build(), prgdecode_build(image.data()));
  EXPECT_EQ(progress.load(), 606240u);
  EXPECT_THAT(out, testing::EndsWith("pos = 606240/606240\nFWUP OK\n"));
  uint32_t sum = 0;
  ASSERT_EQ(zvctl_get_checksum(&dev, prgdecode_payload_size(image.data()), &sum), 0);
  EXPECT_EQ(sum, prgdecode_checksum(image.data()));
}

TEST_F(FwupTest, EmptyImageCompletesOnWindowZero) {
  std::string out;
  std::vector<uint8_t> nothing;
  ASSERT_EQ(run(nothing, &out), 0);
  EXPECT_EQ(out, "pos = 0/0\nFWUP OK\n");
  EXPECT_EQ(sent().front(), (std::vector<uint8_t>{0x21, 4, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(chunks().empty());
}

TEST_F(FwupTest, ValuesLearntInOneReplyStayForTheCycle) {
  device.settings.status_split_replies = true;
  const std::vector<uint8_t> image = imagegen_image(kImage, 3000, 42);
  ASSERT_EQ(run(image), 0);
  EXPECT_EQ(device.firmware(), image);
  // Each cycle needed a second reply for the offset, after one 5 ms pause.
  EXPECT_GE(vclock_sleeps_of(5), 3);
}

TEST_F(FwupTest, OffsetBehindMakesTheHostWaitForIt) {
  device.settings.windows = {500};
  device.faults.offset_behind_replies = 0;
  const std::vector<uint8_t> image = imagegen_image(kImage, 1000, 42);
  // Behind by 100 for three status replies once the first burst is in.
  device.settings.on_transfer = [this] {
    if (device.received() == 500 && device.faults.offset_behind_bytes == 0) {
      device.faults.offset_behind_bytes = 100;
      device.faults.offset_behind_replies = 3;
    }
  };
  std::string out;
  ASSERT_EQ(run(image, &out), 0);
  EXPECT_EQ(device.firmware(), image);
  std::regex behind("offset = 400, pos = 500\n");
  EXPECT_EQ(
      std::distance(std::sregex_iterator(out.begin(), out.end(), behind), std::sregex_iterator()),
      3);
  EXPECT_EQ(device.dropped_chunks(), 0);  // nothing was sent while the device was behind
}

int timeout_line(const std::string &out) {
  std::smatch m;
  if (!std::regex_search(out, m, std::regex("timeout line:(\\d+)\n"))) return -1;
  return std::stoi(m[1]);
}

TEST_F(FwupTest, StallsFailOnTheTwoThousandAndFirstCycle) {
  const std::vector<uint8_t> image = imagegen_image(kImage, 1000, 42);
  device.settings.log_transfers = false;
  device.faults.window_stuck_zero = true;
  std::string window_out;
  EXPECT_EQ(run(image, &window_out), 1);
  EXPECT_EQ(vclock_sleeps_of(5), 2000);
  EXPECT_EQ(count_error_lines(window_out), 1);
  EXPECT_EQ(progress.load(), 0u);

  zvsim::VirtualDevice behind(vclock_now_us);
  usbdevs_virtual_connect(&behind);
  vclock_reset();
  behind.settings.windows = {500};
  behind.settings.on_transfer = [&behind] {
    if (behind.received() == 500) {
      behind.faults.offset_behind_bytes = 1;
      behind.faults.offset_behind_replies = 1000000;
    }
  };
  std::string offset_out;
  EXPECT_EQ(run(image, &offset_out), 1);
  EXPECT_EQ(vclock_sleeps_of(5), 2000);
  EXPECT_EQ(progress.load(), 500u);  // the last value before the failure stays

  const int window_line = timeout_line(window_out);
  const int offset_line = timeout_line(offset_out);
  EXPECT_GT(window_line, 0);
  EXPECT_GT(offset_line, 0);
  EXPECT_NE(window_line, offset_line);  // each names the check that stalled
  usbdevs_virtual_connect(&device);
}

TEST_F(FwupTest, StatusWithoutBothValuesFailsAfterTenThousandReplies) {
  device.faults.mute = true;
  std::string out;
  EXPECT_EQ(run(imagegen_image(kImage, 100, 42), &out), 1);
  EXPECT_EQ(vclock_sleeps_of(5), 9999);
  EXPECT_EQ(count_error_lines(out), 1);
}

TEST_F(FwupTest, CompletionWaitsForTheDeviceToFinishWriting) {
  device.settings.flash_write_ms = 1500;
  const std::vector<uint8_t> image = imagegen_image(kImage, 500, 42);
  ASSERT_EQ(run(image), 0);
  // First cycle: ten replies 100 ms apart and a 1000 ms pause; the second cycle completes.
  EXPECT_EQ(vclock_sleeps_of(100), 10);
  EXPECT_EQ(vclock_sleeps_of(1000), 1);
}

TEST_F(FwupTest, CompletionRefusesAWrongOffsetAndGivesUpAfterTwentyCycles) {
  struct Case {
    const char *name;
    bool wrong_offset;
    bool never_complete;
  } cases[] = {{"window 0 with another offset", true, false}, {"never completes", false, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    zvsim::VirtualDevice fresh(vclock_now_us);
    fresh.faults.completion_offset_wrong = c.wrong_offset;
    fresh.faults.never_complete = c.never_complete;
    usbdevs_virtual_connect(&fresh);
    vclock_reset();
    const std::vector<uint8_t> image = imagegen_image(kImage, 500, 42);
    std::string out;
    EXPECT_EQ(run(image, &out), 1);
    EXPECT_EQ(vclock_sleeps_of(1000), 20);
    EXPECT_EQ(vclock_sleeps_of(100), 200);
    EXPECT_THAT(out, Not(HasSubstr("FWUP OK")));
    EXPECT_LT(progress.load(), image.size());
    EXPECT_EQ(count_error_lines(out), 1);
  }
  usbdevs_virtual_connect(&device);
}

TEST_F(FwupTest, ProgressRisesAndShowsTheTotalOnlyAfterConfirmation) {
  device.settings.flash_write_ms = 300;
  const std::vector<uint8_t> image = imagegen_image(kImage, 5000, 42);
  const uint32_t total = static_cast<uint32_t>(image.size());
  std::vector<uint32_t> seen;
  device.settings.on_transfer = [&] { seen.push_back(progress.load()); };
  ASSERT_EQ(run(image), 0);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LT(seen.back(), total);
  EXPECT_GT(seen.back(), total - 62);
  EXPECT_EQ(progress.load(), total);
}

TEST_F(FwupTest, DebugTextIsShownOnlyWhileTheImageGoesOut) {
  device.settings.flash_write_ms = 300;
  device.settings.debug_text = std::string("fl\0sh", 5);
  device.settings.debug_text_replies = 1000000;
  std::string out;
  ASSERT_EQ(run(imagegen_image(kImage, 300, 42), &out), 0);
  const std::string block = "\n\n--debug--\nfl" + std::string(1, '\0') + "sh\n---------\n";
  const size_t last_loop_line = out.rfind("pos = 336/336\n");
  ASSERT_NE(last_loop_line, std::string::npos);
  EXPECT_NE(out.find(block), std::string::npos);
  EXPECT_EQ(out.find("--debug--", last_loop_line), std::string::npos);
}

TEST_F(FwupTest, UnplugDuringTheTransferFails) {
  device.faults.unplug_at_byte = 2000;
  device.settings.windows = {500};
  std::string out;
  EXPECT_EQ(run(imagegen_image(kImage, 5000, 42), &out), 1);
  EXPECT_EQ(device.received(), 2000u);
  EXPECT_EQ(progress.load(), 2000u);
  EXPECT_GE(count_error_lines(out), 2);
}

TEST_F(FwupTest, SecondaryChannelTransfer) {
  const std::vector<uint8_t> image = imagegen_image(kImage, 700, 42);
  std::string out;
  ASSERT_EQ(run(image, &out, zvctl_fwup2), 0);
  EXPECT_EQ(device.firmware(), image);
  EXPECT_TRUE(sent().empty());
  EXPECT_FALSE(device.messages(ZV_REQ_SEND2).empty());
  EXPECT_THAT(out, testing::EndsWith("pos = 0/736\nFWUP OK\n"));  // no line after the loop

  // Window 0 alone completes it, and when the cycles run out it still reports success.
  zvsim::VirtualDevice stuck(vclock_now_us);
  stuck.faults.completion_offset_wrong = true;
  usbdevs_virtual_connect(&stuck);
  EXPECT_EQ(run(image, &out, zvctl_fwup2), 0);
  zvsim::VirtualDevice never(vclock_now_us);
  never.faults.never_complete = true;
  usbdevs_virtual_connect(&never);
  vclock_reset();
  EXPECT_EQ(run(image, &out, zvctl_fwup2), 0);
  EXPECT_EQ(vclock_sleeps_of(1000), 10);
  EXPECT_EQ(vclock_sleeps_of(100), 0);
  EXPECT_THAT(out, testing::EndsWith("FWUP OK\n"));
  EXPECT_EQ(progress.load(), image.size());
  usbdevs_virtual_connect(&device);
}

}  // namespace
