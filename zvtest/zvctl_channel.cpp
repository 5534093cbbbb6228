// The channel helpers: one message out, one reply in, and the wait for an idle device.
#include <cstring>

#include "usbdevs.h"
#include "zvctl_internal.h"
#include "zvdiag.h"
#include "zvsleep.h"

namespace {

const char kSource[] = "zvtest\\zvctl_channel.cpp";

// A device pointer that was never filled cannot carry a transfer.
bool transfer_out(usbdevs_device **dev, uint8_t request, const zvmsg_buffer *msg, int length) {
  return *dev != nullptr &&
         usbdevs_vendor_out(*dev, request, 0, 0, static_cast<uint16_t>(length), msg->data) == 0;
}

bool transfer_in(usbdevs_device **dev, uint8_t request, zvmsg_buffer *msg, int length) {
  return *dev != nullptr &&
         usbdevs_vendor_in(*dev, request, 0, 0, static_cast<uint16_t>(length), msg->data) == 0;
}

int send_on(usbdevs_device **dev, uint8_t request, zvmsg_buffer *msg, int length) {
  if (length > ZVMSG_CAPACITY) {
    ZV_DIAG(kSource);
    return 1;
  }
  for (int attempt = 0; attempt < ZVCTL_SEND_ATTEMPTS; ++attempt) {
    if (transfer_out(dev, request, msg, length)) return 0;
    ZV_DIAG(kSource);
    zvsleep_ms(ZVCTL_POLL_SLEEP_MS);
  }
  ZV_DIAG(kSource);
  return 1;
}

int receive_on(usbdevs_device **dev, uint8_t request, zvmsg_buffer *msg) {
  zvmsg_rewind(msg);
  int length = msg->capacity - msg->position;
  if (length > ZVMSG_CAPACITY) {
    ZV_DIAG(kSource);
    length = ZVMSG_CAPACITY;
  }
  if (!transfer_in(dev, request, msg, length)) {
    ZV_DIAG(kSource);
    return 1;
  }
  return 0;
}

enum IdleVerdict { kReady, kBusy };

// Reads one reply's items: ready unless it holds a busy status and no ready one.
IdleVerdict read_idle_reply(zvmsg_buffer *msg) {
  bool busy = false;
  zvctl_item item;
  while (zvctl_next_item(msg, &item)) {
    if (item.id != ZV_ITEM_READY) continue;
    if (zvctl_item_u32(item) != 0) return kReady;
    busy = true;
  }
  return busy ? kBusy : kReady;
}

int send2_whole(usbdevs_device **dev, zvmsg_buffer *msg) {
  return zvctl_send2(dev, msg, msg->position);
}

}  // namespace

const zvctl_channel zvctl_primary = {zvctl_wait_idle, zvctl_send, zvctl_receive};
const zvctl_channel zvctl_secondary = {zvctl_wait_idle2, send2_whole, zvctl_receive2};

int zvctl_send(usbdevs_device **dev, zvmsg_buffer *msg) {
  return send_on(dev, ZV_REQ_SEND, msg, msg->position);
}

int zvctl_send2(usbdevs_device **dev, zvmsg_buffer *msg, int length) {
  return send_on(dev, ZV_REQ_SEND2, msg, length);
}

int zvctl_receive(usbdevs_device **dev, zvmsg_buffer *msg) {
  return receive_on(dev, ZV_REQ_RECEIVE, msg);
}

int zvctl_receive2(usbdevs_device **dev, zvmsg_buffer *msg) {
  return receive_on(dev, ZV_REQ_RECEIVE2, msg);
}

int zvctl_wait_idle(usbdevs_device **dev) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  for (int polls_left = ZVCTL_IDLE_POLLS; polls_left > 0; --polls_left) {
    zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
    if (zvctl_receive(dev, &msg) != 0) {
      // A failed read counts as one more poll of a busy device.
      ZV_DIAG(kSource);
      zvsleep_ms(ZVCTL_POLL_SLEEP_MS);
      continue;
    }
    if (read_idle_reply(&msg) == kReady) return 0;
    zvsleep_ms(ZVCTL_POLL_SLEEP_MS);
  }
  return 1;
}

int zvctl_wait_idle2(usbdevs_device **dev) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
  const zvctl_poll_status status =
      zvctl_poll(dev, &zvctl_secondary, &msg, ZVCTL_IDLE2_POLLS,
                 [](zvmsg_buffer *reply) { return read_idle_reply(reply) == kReady; });
  if (status == ZVCTL_READ_FAILED) ZV_DIAG(kSource);
  return status == ZVCTL_ANSWERED ? 0 : 1;
}

int zvctl_command(usbdevs_device **dev, const zvctl_channel *channel, zvmsg_buffer *msg,
                  uint8_t *data, uint8_t id, int type, uintptr_t value, uint8_t length) {
  return zvctl_compose_and_send(dev, channel, msg, data, [&](zvmsg_buffer *m) {
    return zvmsg_append(m, id, type, value, length);
  });
}

bool zvctl_next_item(zvmsg_buffer *msg, zvctl_item *item) {
  return zvmsg_next(msg, &item->id, &item->type, &item->value, &item->size) == 0;
}

uint32_t zvctl_item_u32(const zvctl_item &item) {
  if (item.type != ZVMSG_BYTES) return static_cast<uint32_t>(item.value);
  const auto *bytes = reinterpret_cast<const uint8_t *>(item.value);
  uint32_t result = 0;
  for (int i = 0; i < item.size && i < 4; ++i) result |= uint32_t(bytes[i]) << (8 * i);
  return result;
}

void zvctl_print_debug_text(const uint8_t *text, int length) {
  for (int i = 0; i < length && text[i] != 0; ++i) std::putchar(text[i]);
}

void zvctl_show_debug_item(const zvctl_item &item) {
  if (item.type != ZVMSG_BYTES) return;  // only a byte string carries text
  std::printf("\ndbg:");
  zvctl_print_debug_text(reinterpret_cast<const uint8_t *>(item.value), item.size);
  std::printf("\n");
}
