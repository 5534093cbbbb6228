// The firmware transfer: the device paces it with its window (bytes it can take now) and
// its offset (bytes received so far); the host sends chunks that fill the window, always
// from the device's offset, and succeeds only when the device reports the whole image taken.
#include <cstdio>

#include "zvctl_internal.h"
#include "zvdiag.h"
#include "zvsleep.h"

namespace {

const char kSource[] = "zvtest\\zvctl_fwup.cpp";
const uint32_t kUnknown = 0xFFFFFFFFu;
const uint32_t kCompletionWindowDefault = 255;

// What distinguishes the secondary-channel transfer.
struct Variant {
  const zvctl_channel *channel;
  bool print_pos_after_loop;
  int completion_cycles;
  int completion_replies;
  bool pause_between_replies;
  bool completion_needs_offset;
  bool success_when_cycles_run_out;
};

const Variant kPrimary = {/*channel=*/&zvctl_primary,
                          /*print_pos_after_loop=*/true,
                          /*completion_cycles=*/FWUP_COMPLETION_CYCLES,
                          /*completion_replies=*/FWUP_COMPLETION_REPLIES,
                          /*pause_between_replies=*/true,
                          /*completion_needs_offset=*/true,
                          /*success_when_cycles_run_out=*/false};
const Variant kSecondary = {/*channel=*/&zvctl_secondary,
                            /*print_pos_after_loop=*/false,
                            /*completion_cycles=*/FWUP_COMPLETION_CYCLES2,
                            /*completion_replies=*/1,
                            /*pause_between_replies=*/false,
                            /*completion_needs_offset=*/false,
                            /*success_when_cycles_run_out=*/true};

void store_progress(std::atomic<uint32_t> *progress, uint32_t value) {
  if (progress != nullptr) progress->store(value, std::memory_order_relaxed);
}

void print_debug_block(const uint8_t *text, uint8_t size) {
  std::printf("\n\n--debug--\n");
  for (int i = 0; i < size; ++i) std::putchar(text[i]);  // zero bytes included
  std::printf("\n---------\n");
}

// Walks one status reply. Window and offset keep what earlier replies of the cycle said
// unless this reply says otherwise.
void read_status(zvmsg_buffer *msg, uint32_t *window, uint32_t *offset, bool show_debug) {
  zvctl_item item;
  while (zvctl_next_item(msg, &item)) {
    if (item.id == 0) break;
    if (item.id == ZV_ITEM_FWUP_WINDOW) {
      *window = zvctl_item_u32(item);
    } else if (item.id == ZV_ITEM_FWUP_OFFSET) {
      *offset = zvctl_item_u32(item);
    } else if (item.id == ZV_ITEM_DEBUG_TEXT && show_debug && item.type == ZVMSG_BYTES) {
      print_debug_block(reinterpret_cast<const uint8_t *>(item.value), item.size);
    }
  }
}

// What stays the same through one transfer.
struct Transfer {
  usbdevs_device **dev;
  const Variant *variant;
  zvmsg_buffer *msg;
  const uint8_t *image;
  uint32_t total;
  std::atomic<uint32_t> *progress;
};

// Sends one command item, as every message of the transfer goes: after an idle wait.
int command(const Transfer &t, uint8_t id, int type, uintptr_t value, uint8_t length) {
  if (zvctl_command(t.dev, t.variant->channel, t.msg, t.msg->data, id, type, value, length) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  return 0;
}

// Sends image[off ..] in chunks filling `room`; returns the new offset, or kUnknown on failure.
uint32_t burst(const Transfer &t, uint32_t off, uint32_t room) {
  while (off < t.total && room != 0) {
    uint32_t n = t.total - off < room ? t.total - off : room;
    uint8_t id = ZV_ITEM_FWUP_DATA_END;
    if (n > FWUP_CHUNK_MAX) {
      n = FWUP_CHUNK_MAX;
      id = ZV_ITEM_FWUP_DATA;
    }
    if (command(t, id, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(t.image + off),
                static_cast<uint8_t>(n)) != 0) {
      return kUnknown;
    }
    off += n;
    room -= n;
    if (off < t.total) store_progress(t.progress, off);
  }
  return off;
}

// Step 2: sends the image as the device paces it, each burst after a status query that
// reports window and offset. Returns the final position, or kUnknown on failure.
uint32_t send_paced(const Transfer &t) {
  uint32_t pos = 0;
  int stalls = 0;
  while (pos < t.total) {
    std::printf("pos = %d/%d\n", static_cast<int>(pos), static_cast<int>(t.total));
    if (command(t, ZV_ITEM_FWUP_STATUS, ZVMSG_MARK, 0, 0) != 0) return kUnknown;

    uint32_t window = kUnknown, offset = kUnknown;
    const zvctl_poll_status status = zvctl_poll(
        t.dev, t.variant->channel, t.msg, FWUP_STATUS_REPLIES,
        [&](zvmsg_buffer *reply) {
          read_status(reply, &window, &offset, true);
          return window != kUnknown && offset != kUnknown;
        },
        /*pause_after_last=*/false);
    if (status != ZVCTL_ANSWERED) {
      ZV_DIAG(kSource);
      return kUnknown;
    }

    int stalled_at = 0;
    if (window == 0) {
      stalled_at = __LINE__;  // window check: the device takes nothing now
    } else if (offset != pos) {
      std::printf("offset = %u, pos = %u\n", static_cast<unsigned>(offset),
                  static_cast<unsigned>(pos));
      stalled_at = __LINE__;  // offset check: wait for the device to report pos again
    } else {
      pos = burst(t, offset, window);
      if (pos == kUnknown) return kUnknown;
      stalls = 0;
      continue;
    }
    if (++stalls > FWUP_STALL_LIMIT) {
      ZV_DIAG(kSource);
      std::printf("timeout line:%d\n", stalled_at);
      return kUnknown;
    }
    zvsleep_ms(ZVCTL_POLL_SLEEP_MS);
  }
  return pos;
}

// Step 3: the device must report window 0 and the whole image received.
int await_completion(const Transfer &t, uint32_t pos) {
  const Variant &v = *t.variant;
  if (v.print_pos_after_loop) {
    std::printf("pos = %d/%d\n", static_cast<int>(pos), static_cast<int>(t.total));
  }
  for (int cycle = 0; cycle < v.completion_cycles; ++cycle) {
    if (command(t, ZV_ITEM_FWUP_STATUS, ZVMSG_MARK, 0, 0) != 0) return 1;
    for (int reply = 0; reply < v.completion_replies; ++reply) {
      if (v.channel->receive(t.dev, t.msg) != 0) {
        ZV_DIAG(kSource);
        return 1;
      }
      uint32_t window = kCompletionWindowDefault, offset = 0;
      read_status(t.msg, &window, &offset, false);
      if (window == 0 && (!v.completion_needs_offset || offset == t.total)) {
        std::printf("FWUP OK\n");
        store_progress(t.progress, pos);
        return 0;
      }
      if (v.pause_between_replies) zvsleep_ms(FWUP_REPLY_PAUSE_MS);
    }
    zvsleep_ms(FWUP_CYCLE_PAUSE_MS);
  }
  if (v.success_when_cycles_run_out) {
    std::printf("FWUP OK\n");
    store_progress(t.progress, pos);
    return 0;
  }
  ZV_DIAG(kSource);
  return 1;
}

int transfer(usbdevs_device **dev, const Variant &v, const uint8_t *image, uint32_t total,
             std::atomic<uint32_t> *progress) {
  uint8_t data[ZVMSG_CAPACITY] = {};
  zvmsg_buffer msg;
  if (zvmsg_attach(&msg, data, ZVMSG_CAPACITY) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const Transfer t = {dev, &v, &msg, image, total, progress};
  // Step 1: the device learns the image's size, which opens the transfer.
  if (command(t, ZV_ITEM_FWUP_SIZE, ZVMSG_U32, total, 0) != 0) return 1;
  const uint32_t pos = send_paced(t);
  if (pos == kUnknown) return 1;
  return await_completion(t, pos);
}

}  // namespace

int zvctl_fwup(usbdevs_device **dev, const uint8_t *image, uint32_t total,
               std::atomic<uint32_t> *progress) {
  return transfer(dev, kPrimary, image, total, progress);
}

int zvctl_fwup2(usbdevs_device **dev, const uint8_t *image, uint32_t total,
                std::atomic<uint32_t> *progress) {
  return transfer(dev, kSecondary, image, total, progress);
}
