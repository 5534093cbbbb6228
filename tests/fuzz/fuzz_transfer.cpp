// Fuzz target: the firmware transfer, zvctl_fwup and zvctl_fwup2, of a small image against
// replies from the input. Compiles in zvmsg and zvctl; stubs the transport
// (fuzz_transport.cpp) and the sleep (the virtual clock).
//
// The first byte chooses the channel, the rest are the device's replies. A watcher reads
// every reply as the device's statement of its window and offset and holds the transfer to
// its rules: every chunk starts where the device said and is at most 61 bytes, a burst stays
// within the window, the progress counter stays below the size until the end, and the primary
// transfer succeeds only after a reply with window 0 and the whole image as offset.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_transport.h"
#include "zvctl_internal.h"

namespace {

const uint32_t kUnknown = 0xFFFFFFFFu;
const uint32_t kSize = 300;
uint8_t image[kSize];

void require(bool condition) {
  if (!condition) std::abort();
}

class Rules : public FuzzWatcher {
 public:
  Rules(bool primary, const std::atomic<uint32_t> *progress)
      : primary_(primary), progress_(progress) {}

  bool completion_seen() const { return completion_seen_; }
  uint32_t sent_bytes() const { return next_; }

  void sent(uint8_t, const uint8_t *data, uint16_t length) override {
    require(progress_->load() < kSize);
    const int id = data[0];
    if (id == ZV_ITEM_FWUP_STATUS) {
      window_ = offset_ = kUnknown;
      replies_ = 0;
      status_open_ = true;
      in_burst_ = false;
      return;
    }
    if (id != ZV_ITEM_FWUP_DATA && id != ZV_ITEM_FWUP_DATA_END) return;
    require(length >= 3);
    const uint8_t n = data[2];
    require(n >= 1 && n <= FWUP_CHUNK_MAX && 3 + n <= length);
    require(id == ZV_ITEM_FWUP_DATA_END || n == FWUP_CHUNK_MAX);
    if (!in_burst_) {
      // A burst starts only where the device said it stands, when it offers a window.
      require(!status_open_ && window_ != kUnknown && window_ != 0 && offset_ == next_);
      in_burst_ = true;
      room_ = window_;
    }
    require(n <= room_ && next_ + n <= kSize);
    require(std::memcmp(data + 3, image + next_, n) == 0);
    room_ -= n;
    next_ += n;
  }

  void replied(uint8_t, const uint8_t *reply, uint16_t) override {
    require(progress_->load() < kSize);
    if (!status_open_) return;  // an idle wait's reply
    uint8_t copy[ZVMSG_CAPACITY];
    std::memcpy(copy, reply, ZVMSG_CAPACITY);
    zvmsg_buffer msg;
    zvmsg_attach(&msg, copy, ZVMSG_CAPACITY);
    if (next_ < kSize) {
      // The transfer's status replies: what one says holds for the rest of the cycle.
      read(&msg, &window_, &offset_);
      if (window_ != kUnknown && offset_ != kUnknown) status_open_ = false;
      return;
    }
    uint32_t window = 255, offset = 0;
    read(&msg, &window, &offset);
    if (window == 0 && offset == kSize) completion_seen_ = true;
    if (++replies_ == (primary_ ? FWUP_COMPLETION_REPLIES : 1)) status_open_ = false;
  }

 private:
  static void read(zvmsg_buffer *msg, uint32_t *window, uint32_t *offset) {
    zvctl_item item;
    while (zvctl_next_item(msg, &item) && item.id != 0) {
      if (item.id == ZV_ITEM_FWUP_WINDOW) *window = zvctl_item_u32(item);
      if (item.id == ZV_ITEM_FWUP_OFFSET) *offset = zvctl_item_u32(item);
    }
  }

  bool primary_;
  const std::atomic<uint32_t> *progress_;
  uint32_t window_ = kUnknown, offset_ = kUnknown, room_ = 0, next_ = 0;
  int replies_ = 0;
  bool status_open_ = false, in_burst_ = false, completion_seen_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_quiet_stdout();
  for (uint32_t i = 0; i < kSize; ++i) image[i] = static_cast<uint8_t>(i * 31 + 7);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const bool primary = (data[0] & 1) == 0;
  std::atomic<uint32_t> progress{0};
  Rules rules(primary, &progress);
  usbdevs_device record;
  usbdevs_device *dev = fuzz_transport_start(&record, data + 1, size - 1, &rules);
  const int result = primary ? zvctl_fwup(&dev, image, kSize, &progress)
                             : zvctl_fwup2(&dev, image, kSize, &progress);
  require(result == 0 || result == 1);
  require(progress.load() <= kSize);
  if (result == 0) {
    require(rules.sent_bytes() == kSize && progress.load() == kSize);
    if (primary) require(rules.completion_seen());
  }
  return 0;
}
