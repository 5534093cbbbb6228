// The ZV-16x16 request library: opening the device, the channel helpers that move one
// message, and one function per control request.
//
// Every request takes a device reference: the address of the location that holds the
// pointer to the opened device record. Results are 0 for success and 1 for failure; each
// failing step prints one diagnostic line. Requests keep their 64-byte message on the stack.
#ifndef ZVTEST_ZVCTL_H
#define ZVTEST_ZVCTL_H

#include <atomic>
#include <cstdint>

#include "usbdevs.h"
#include "zvitems.h"
#include "zvmsg.h"

// Polling budgets and pauses.
enum {
  ZVCTL_POLL_SLEEP_MS = 5,
  ZVCTL_SEND_ATTEMPTS = 10,
  ZVCTL_IDLE_POLLS = 1000,
  ZVCTL_IDLE2_POLLS = 100,
  ZVCTL_REPLY_POLLS = 100,
  ZVCTL_CHECKSUM_POLLS = 6000,
  ZVCTL_CHECKSUM2_POLLS = 2000,
  ZVCTL_MAX_DEVICE_INDEX = 9,
};

// Library context.
int zvctl_clear(usbdevs_device *record);
int zvctl_reset_search(usbdevs_device *record);
int zvctl_open_next(usbdevs_device *record, usbdevs_device **device);

// Channel helpers.
int zvctl_send(usbdevs_device **dev, zvmsg_buffer *msg);
int zvctl_receive(usbdevs_device **dev, zvmsg_buffer *msg);
int zvctl_wait_idle(usbdevs_device **dev);
int zvctl_send2(usbdevs_device **dev, zvmsg_buffer *msg, int length);
int zvctl_receive2(usbdevs_device **dev, zvmsg_buffer *msg);
int zvctl_wait_idle2(usbdevs_device **dev);

// Writes up to `length` characters of text, stopping early at a zero byte.
void zvctl_print_debug_text(const uint8_t *text, int length);

// Requests. Byte arguments are passed as int; only their low byte is sent.
int zvctl_get_checksum(usbdevs_device **dev, uint32_t count, uint32_t *checksum);
int zvctl_get_checksum2(usbdevs_device **dev, uint32_t count, uint32_t *checksum);
int zvctl_read_debug_text(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length);
int zvctl_set_13h(usbdevs_device **dev, int value);
int zvctl_set_89h(usbdevs_device **dev, int value);
int zvctl_set_frequency(usbdevs_device **dev, uint32_t frequency);
int zvctl_get_18h(usbdevs_device **dev, uint32_t *value);
int zvctl_get_c4h(usbdevs_device **dev, uint32_t *value);
int zvctl_send_a2h(usbdevs_device **dev);
int zvctl_set_clock_source(usbdevs_device **dev, int source);
int zvctl_get_1ah(usbdevs_device **dev, uint32_t *value);
int zvctl_get_1bh(usbdevs_device **dev, uint8_t *value);
int zvctl_get_c1h(usbdevs_device **dev, uint32_t *value);
int zvctl_get_14h(usbdevs_device **dev, uint8_t *value);
int zvctl_get_info(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length, int wanted);
int zvctl_get_version(usbdevs_device **dev, uint16_t *version);
int zvctl_get_build(usbdevs_device **dev, uint16_t *build);
int zvctl_get_product_name(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length);
int zvctl_get_info_35h(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length);
int zvctl_get_info_36h(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length);
int zvctl_get_version2(usbdevs_device **dev, uint16_t *version);
int zvctl_get_build2(usbdevs_device **dev, uint16_t *build);

// Firmware transfer. Sends the image exactly as given, paced by the device's window and
// offset; `progress` (optional) follows the bytes sent and shows `total` only once the
// device has confirmed the whole image. zvctl_fwup2 is the same on the secondary channel.
enum {
  FWUP_CHUNK_MAX = 61,
  FWUP_STATUS_REPLIES = 10000,
  FWUP_STALL_LIMIT = 2000,
  FWUP_COMPLETION_CYCLES = 20,
  FWUP_COMPLETION_REPLIES = 10,
  FWUP_COMPLETION_CYCLES2 = 10,
  FWUP_REPLY_PAUSE_MS = 100,
  FWUP_CYCLE_PAUSE_MS = 1000,
};
int zvctl_fwup(usbdevs_device **dev, const uint8_t *image, uint32_t total,
               std::atomic<uint32_t> *progress);
int zvctl_fwup2(usbdevs_device **dev, const uint8_t *image, uint32_t total,
                std::atomic<uint32_t> *progress);

// Per-target requests: a selector pair (items 0x61, 0x62) addresses one target.
struct zvctl_list_entry {
  uint32_t selector_a;
  uint8_t selector_b;
  uint16_t value;
};

// Composers: append a group of items, or leave the message exactly as it was.
int zvctl_add_read(zvmsg_buffer *msg, int a, int b);
int zvctl_add_pair(zvmsg_buffer *msg, int a1, int b1, int a2, int b2);
int zvctl_add_pair_values(zvmsg_buffer *msg, int a1, int b1, int a2, int b2, int p5, int p6);
int zvctl_add_block_51h(zvmsg_buffer *msg, int a, int b, int p3, int p4, int p5, int p6, int p7);
int zvctl_add_block_91h(zvmsg_buffer *msg, int a, int b, int p3, int p4, int p5, int p6, int p7,
                        int p8, int p9);
int zvctl_add_block_d1h(zvmsg_buffer *msg, int p1, int p2, int p3, int p4);
int zvctl_add_47h_48h(zvmsg_buffer *msg, int p1, int p2);
int zvctl_add_selected_byte(zvmsg_buffer *msg, int a, int b, int id, int value);

int zvctl_read_value(usbdevs_device **dev, uint32_t a, int b, uint16_t *value);
int zvctl_get_list(usbdevs_device **dev, zvctl_list_entry *entries, int maximum, uint8_t *count);
int zvctl_set_pair(usbdevs_device **dev, int a1, int b1, int a2, int b2);
int zvctl_set_block_51h(usbdevs_device **dev, int a, int b, int p3, int p4, int p5, int p6, int p7);
int zvctl_set_block_91h(usbdevs_device **dev, int a, int b, int p3, int p4, int p5, int p6, int p7,
                        int p8, int p9);
int zvctl_set_selected_byte(usbdevs_device **dev, int a, int b, int id, int value);
int zvctl_set_81h(usbdevs_device **dev, int a, int b, int value);
int zvctl_set_82h(usbdevs_device **dev, int a, int b, int value);
int zvctl_set_83h(usbdevs_device **dev, int a, int b, int value);
int zvctl_set_84h(usbdevs_device **dev, int a, int b, int value);
int zvctl_set_85h(usbdevs_device **dev, int a, int b, int value);

#endif
