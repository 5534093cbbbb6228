// Pieces shared by the request library's source files; not part of its interface.
#ifndef ZVTEST_ZVCTL_INTERNAL_H
#define ZVTEST_ZVCTL_INTERNAL_H

#include "zvctl.h"

// The three helpers of one channel, so that a request is written once for both channels.
struct zvctl_channel {
  int (*wait_idle)(usbdevs_device **dev);
  int (*send)(usbdevs_device **dev, zvmsg_buffer *msg);  // sends bytes 0 .. position - 1
  int (*receive)(usbdevs_device **dev, zvmsg_buffer *msg);
};

extern const zvctl_channel zvctl_primary;
extern const zvctl_channel zvctl_secondary;

// Builds "item, end marker" in a fresh message over `data` (ZVMSG_CAPACITY bytes), waits
// until the device is idle and sends it; 1 when a step fails. The caller prints the one
// diagnostic line of the failed request.
// `length` is the byte count of a ZVMSG_BYTES item.
int zvctl_command(usbdevs_device **dev, const zvctl_channel *channel, zvmsg_buffer *msg,
                  uint8_t *data, uint8_t id, int type, uintptr_t value, uint8_t length = 0);

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
