// Per-target requests: a selector pair (ZV_ITEM_SELECTOR_A and _B) addresses one target inside
// the device, and the items after it are meant for that target.
#include <cstring>

#include "zvctl_internal.h"
#include "zvdiag.h"
#include "zvsleep.h"

namespace {

const char kSource[] = "zvtest\\zvctl_target.cpp";

struct Part {
  int id;
  int type;
  int value;
};

Part mark(int id) { return {id, ZVMSG_MARK, 0}; }
Part byte(int id, int value) { return {id, ZVMSG_U8, value}; }

// Appends every part, or none: at the first failure the record is put back as it was.
int compose(zvmsg_buffer *msg, const Part *parts, int count) {
  if (msg == nullptr) return 1;
  const zvmsg_buffer saved = *msg;
  for (int i = 0; i < count; ++i) {
    if (zvmsg_append(msg, static_cast<uint8_t>(parts[i].id), parts[i].type,
                     static_cast<uint8_t>(parts[i].value), 0) != 0) {
      ZV_DIAG(kSource);
      *msg = saved;
      return 1;
    }
  }
  return 0;
}

template <size_t N>
int compose(zvmsg_buffer *msg, const Part (&parts)[N]) {
  return compose(msg, parts, static_cast<int>(N));
}

// The sending pattern on the primary channel, with the one diagnostic line of a failure.
template <typename Composer>
int send_composed(usbdevs_device **dev, zvmsg_buffer *msg, uint8_t *data, Composer add) {
  if (zvctl_compose_and_send(dev, &zvctl_primary, msg, data, add) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  return 0;
}

template <typename Composer>
int send_composed(usbdevs_device **dev, Composer add) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  return send_composed(dev, &msg, data, add);
}

}  // namespace

int zvctl_add_read(zvmsg_buffer *msg, int a, int b) {
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a), byte(ZV_ITEM_SELECTOR_B, b),
                        mark(ZV_ITEM_READ_REQUEST)};
  return compose(msg, parts);
}

int zvctl_add_pair(zvmsg_buffer *msg, int a1, int b1, int a2, int b2) {
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a1), byte(ZV_ITEM_SELECTOR_B, b1),
                        mark(ZV_ITEM_PAIR_FIRST),     byte(ZV_ITEM_SELECTOR_A, a2),
                        byte(ZV_ITEM_SELECTOR_B, b2), mark(ZV_ITEM_PAIR_SECOND),
                        mark(ZV_ITEM_PAIR_CLOSE)};
  return compose(msg, parts);
}

int zvctl_add_pair_values(zvmsg_buffer *msg, int a1, int b1, int a2, int b2, int p5, int p6) {
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a1),   byte(ZV_ITEM_SELECTOR_B, b1),
                        mark(ZV_ITEM_PAIR_FIRST),       byte(ZV_ITEM_SELECTOR_A, a2),
                        byte(ZV_ITEM_SELECTOR_B, b2),   mark(ZV_ITEM_PAIR_SECOND),
                        byte(ZV_ITEM_PAIR_VALUE_1, p5), byte(ZV_ITEM_PAIR_VALUE_2, p6),
                        mark(ZV_ITEM_PAIR_VALUES_CLOSE)};
  return compose(msg, parts);
}

int zvctl_add_block_51h(zvmsg_buffer *msg, int a, int b, int p3, int p4, int p5, int p6, int p7) {
  // The third argument goes last, into the block's fifth item (0x55).
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a),     byte(ZV_ITEM_SELECTOR_B, b),
                        byte(ZV_ITEM_BLOCK_51H, p4),     byte(ZV_ITEM_BLOCK_51H + 1, p5),
                        byte(ZV_ITEM_BLOCK_51H + 2, p6), byte(ZV_ITEM_BLOCK_51H + 3, p7),
                        byte(ZV_ITEM_BLOCK_51H + 4, p3)};
  return compose(msg, parts);
}

int zvctl_add_block_91h(zvmsg_buffer *msg, int a, int b, int p3, int p4, int p5, int p6, int p7,
                        int p8, int p9) {
  // The third argument goes last, into the block's seventh item (0x97).
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a),     byte(ZV_ITEM_SELECTOR_B, b),
                        byte(ZV_ITEM_BLOCK_91H, p4),     byte(ZV_ITEM_BLOCK_91H + 1, p5),
                        byte(ZV_ITEM_BLOCK_91H + 2, p6), byte(ZV_ITEM_BLOCK_91H + 3, p7),
                        byte(ZV_ITEM_BLOCK_91H + 4, p8), byte(ZV_ITEM_BLOCK_91H + 5, p9),
                        byte(ZV_ITEM_BLOCK_91H + 6, p3)};
  return compose(msg, parts);
}

int zvctl_add_block_d1h(zvmsg_buffer *msg, int p1, int p2, int p3, int p4) {
  const Part parts[] = {byte(ZV_ITEM_BLOCK_D1H, p1), byte(ZV_ITEM_BLOCK_D1H + 1, p2),
                        byte(ZV_ITEM_BLOCK_D1H + 2, p3), byte(ZV_ITEM_BLOCK_D1H + 3, p4),
                        mark(ZV_ITEM_BLOCK_D1H_CLOSE)};
  return compose(msg, parts);
}

int zvctl_add_47h_48h(zvmsg_buffer *msg, int p1, int p2) {
  const Part parts[] = {byte(ZV_ITEM_47H, p2), byte(ZV_ITEM_48H, p1)};
  return compose(msg, parts);
}

int zvctl_add_selected_byte(zvmsg_buffer *msg, int a, int b, int id, int value) {
  const Part parts[] = {byte(ZV_ITEM_SELECTOR_A, a), byte(ZV_ITEM_SELECTOR_B, b), byte(id, value)};
  return compose(msg, parts);
}

int zvctl_set_pair(usbdevs_device **dev, int a1, int b1, int a2, int b2) {
  return send_composed(dev, [&](zvmsg_buffer *m) { return zvctl_add_pair(m, a1, b1, a2, b2); });
}

int zvctl_set_block_51h(usbdevs_device **dev, int a, int b, int p3, int p4, int p5, int p6,
                        int p7) {
  return send_composed(
      dev, [&](zvmsg_buffer *m) { return zvctl_add_block_51h(m, a, b, p3, p4, p5, p6, p7); });
}

int zvctl_set_block_91h(usbdevs_device **dev, int a, int b, int p3, int p4, int p5, int p6, int p7,
                        int p8, int p9) {
  return send_composed(dev, [&](zvmsg_buffer *m) {
    return zvctl_add_block_91h(m, a, b, p3, p4, p5, p6, p7, p8, p9);
  });
}

int zvctl_set_selected_byte(usbdevs_device **dev, int a, int b, int id, int value) {
  return send_composed(
      dev, [&](zvmsg_buffer *m) { return zvctl_add_selected_byte(m, a, b, id, value); });
}

int zvctl_set_81h(usbdevs_device **dev, int a, int b, int value) {
  return zvctl_set_selected_byte(dev, a, b, ZV_ITEM_TARGET_81H, value);
}
int zvctl_set_82h(usbdevs_device **dev, int a, int b, int value) {
  return zvctl_set_selected_byte(dev, a, b, ZV_ITEM_TARGET_81H + 1, value);
}
int zvctl_set_83h(usbdevs_device **dev, int a, int b, int value) {
  return zvctl_set_selected_byte(dev, a, b, ZV_ITEM_TARGET_81H + 2, value);
}
int zvctl_set_84h(usbdevs_device **dev, int a, int b, int value) {
  return zvctl_set_selected_byte(dev, a, b, ZV_ITEM_TARGET_81H + 3, value);
}
int zvctl_set_85h(usbdevs_device **dev, int a, int b, int value) {
  return zvctl_set_selected_byte(dev, a, b, ZV_ITEM_TARGET_81H + 4, value);
}

int zvctl_read_value(usbdevs_device **dev, uint32_t a, int b, uint16_t *value) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (send_composed(dev, &msg, data, [&](zvmsg_buffer *m) {
        return zvctl_add_read(m, static_cast<int>(a), b);
      }) != 0) {
    return 1;
  }
  // The pair last seen survives from one reply to the next.
  uint32_t current_a = 0;
  uint8_t current_b = 0;
  const uint8_t wanted_b = static_cast<uint8_t>(b);
  const zvctl_poll_status status =
      zvctl_poll(dev, &zvctl_primary, &msg, ZVCTL_REPLY_POLLS, [&](zvmsg_buffer *reply) {
        zvctl_item item;
        while (zvctl_next_item(reply, &item)) {
          const uint32_t v = zvctl_item_u32(item);
          if (item.id == ZV_ITEM_SELECTOR_B) {
            current_b = static_cast<uint8_t>(v);
          } else if (item.id == ZV_ITEM_SELECTOR_A) {
            current_a = v;
          } else if (item.id == ZV_ITEM_READ_ANSWER && current_a == a && current_b == wanted_b) {
            if (value != nullptr) *value = static_cast<uint16_t>(v);
            return true;
          }
        }
        return false;
      });
  if (status == ZVCTL_READ_FAILED) ZV_DIAG(kSource);
  return status == ZVCTL_ANSWERED ? 0 : 1;
}

int zvctl_get_list(usbdevs_device **dev, zvctl_list_entry *entries, int maximum, uint8_t *count) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (zvctl_command(dev, &zvctl_primary, &msg, data, ZV_ITEM_LIST_REQUEST, ZVMSG_MARK, 0) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const int limit = static_cast<uint8_t>(maximum);
  if (limit == 0) {
    if (count != nullptr) *count = 0;
    return 0;
  }
  int collected = 0;
  for (;;) {
    int i = collected;
    // Polls until a reply brings at least one more entry.
    const zvctl_poll_status status =
        zvctl_poll(dev, &zvctl_primary, &msg, ZVCTL_REPLY_POLLS, [&](zvmsg_buffer *reply) {
          zvctl_item item;
          while (zvctl_next_item(reply, &item)) {
            const uint32_t v = zvctl_item_u32(item);
            const bool stored = entries != nullptr && i < limit;
            if (item.id == ZV_ITEM_SELECTOR_B) {
              if (stored) entries[i].selector_b = static_cast<uint8_t>(v);
            } else if (item.id == ZV_ITEM_LIST_VALUE) {
              if (stored) entries[i].value = static_cast<uint16_t>(v);
              ++i;
            } else if (item.id == ZV_ITEM_SELECTOR_A) {
              if (stored) entries[i].selector_a = v;
            }
          }
          return i != collected;
        });
    if (status != ZVCTL_ANSWERED) {
      ZV_DIAG(kSource);
      return 1;
    }
    if (i >= limit) {
      if (count != nullptr) *count = static_cast<uint8_t>(limit);
      return 0;
    }
    collected = i;
  }
}
