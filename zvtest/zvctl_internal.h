// Pieces shared by the request library's source files; not part of its interface.
#ifndef ZVTEST_ZVCTL_INTERNAL_H
#define ZVTEST_ZVCTL_INTERNAL_H

#include <cstring>

#include "zvctl.h"
#include "zvsleep.h"

// The three helpers of one channel, so that a request is written once for both channels.
struct zvctl_channel {
  int (*wait_idle)(usbdevs_device **dev);
  int (*send)(usbdevs_device **dev, zvmsg_buffer *msg);  // sends bytes 0 .. position - 1
  int (*receive)(usbdevs_device **dev, zvmsg_buffer *msg);
};

extern const zvctl_channel zvctl_primary;
extern const zvctl_channel zvctl_secondary;

// The sending pattern of every request: `add(msg)` composes the items (0, or 1 when they do
// not fit) into a fresh message over `data` (ZVMSG_CAPACITY bytes); the end marker follows,
// then an idle wait and the send. The message stays in `data` for a reply to be read. 1 when
// a step fails; the caller prints the one diagnostic line of the failed request.
template <typename Composer>
int zvctl_compose_and_send(usbdevs_device **dev, const zvctl_channel *channel, zvmsg_buffer *msg,
                           uint8_t *data, Composer add) {
  std::memset(data, 0, ZVMSG_CAPACITY);
  zvmsg_attach(msg, data, ZVMSG_CAPACITY);
  if (add(msg) != 0 || zvmsg_append(msg, 0, ZVMSG_END, 0, 0) != 0) return 1;
  if (channel->wait_idle(dev) != 0) return 1;
  return channel->send(dev, msg);
}

// The pattern with one item. `length` is the byte count of a ZVMSG_BYTES item.
int zvctl_command(usbdevs_device **dev, const zvctl_channel *channel, zvmsg_buffer *msg,
                  uint8_t *data, uint8_t id, int type, uintptr_t value, uint8_t length = 0);

enum zvctl_poll_status { ZVCTL_ANSWERED, ZVCTL_READ_FAILED, ZVCTL_POLLS_SPENT };

// The reading pattern: reads replies on `channel` into `msg` until `answered(msg)` finds the
// answer in one, at most `replies` of them, sleeping ZVCTL_POLL_SLEEP_MS after each reply
// without it (after the last one too, unless `pause_after_last` is false). Prints nothing:
// what a failure means is the caller's to say.
template <typename Answered>
zvctl_poll_status zvctl_poll(usbdevs_device **dev, const zvctl_channel *channel, zvmsg_buffer *msg,
                             int replies, Answered answered, bool pause_after_last = true) {
  for (int reply = 1; reply <= replies; ++reply) {
    if (channel->receive(dev, msg) != 0) return ZVCTL_READ_FAILED;
    if (answered(msg)) return ZVCTL_ANSWERED;
    if (reply < replies || pause_after_last) zvsleep_ms(ZVCTL_POLL_SLEEP_MS);
  }
  return ZVCTL_POLLS_SPENT;
}

// One item of a reply, as zvmsg_next reads it.
struct zvctl_item {
  int id;
  int type;
  uintptr_t value;  // for ZVMSG_BYTES the address of the bytes inside the reply
  uint8_t size;
};

// Reads the next item of a reply; false at the end of the message.
bool zvctl_next_item(zvmsg_buffer *msg, zvctl_item *item);

// An item's value as an unsigned 32-bit number. Byte strings give their first (up to four)
// bytes, little-endian, rather than the address that the parser hands out for them.
uint32_t zvctl_item_u32(const zvctl_item &item);

// Prints a debug-text item as the reading requests do: "\ndbg:", the text, a newline.
void zvctl_show_debug_item(const zvctl_item &item);

#endif
