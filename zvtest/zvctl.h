// The ZV-16x16 request library: opening the device, the channel helpers that move one
// message, and one function per control request.
//
// Every request takes a device reference: the address of the location that holds the
// pointer to the opened device record. Results are 0 for success and 1 for failure; each
// failing step prints one diagnostic line. Requests keep their 64-byte message on the stack.
#ifndef ZVTEST_ZVCTL_H
#define ZVTEST_ZVCTL_H

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

#endif
