// Opening the device and the device-wide requests.
#include "zvctl.h"

#include <cstring>

#include "zvctl_internal.h"
#include "zvdiag.h"
#include "zvsleep.h"

namespace {

const char kSource[] = "zvtest\\zvctl.cpp";

// The simple queries and the checksums: send one item, then poll for the first item with
// the answer id and take its value, whatever its type. Running out of polls prints nothing.
int query_value(usbdevs_device **dev, const zvctl_channel *channel, uint8_t request_id,
                int request_type, uint32_t request_value, int answer_id, int polls, uint32_t *out) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (zvctl_command(dev, channel, &msg, data, request_id, request_type, request_value) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const zvctl_poll_status status = zvctl_poll(dev, channel, &msg, polls, [&](zvmsg_buffer *reply) {
    zvctl_item item;
    while (zvctl_next_item(reply, &item)) {
      if (item.id != answer_id) continue;
      if (out != nullptr) *out = zvctl_item_u32(item);
      return true;
    }
    return false;
  });
  if (status == ZVCTL_READ_FAILED) ZV_DIAG(kSource);
  return status == ZVCTL_ANSWERED ? 0 : 1;
}

int query_mark(usbdevs_device **dev, uint8_t request_id, int answer_id, uint32_t *out) {
  return query_value(dev, &zvctl_primary, request_id, ZVMSG_MARK, 0, answer_id, ZVCTL_REPLY_POLLS,
                     out);
}

int query_mark_u8(usbdevs_device **dev, uint8_t request_id, int answer_id, uint8_t *out) {
  uint32_t value = 0;
  if (query_mark(dev, request_id, answer_id, &value) != 0) return 1;
  if (out != nullptr) *out = static_cast<uint8_t>(value);
  return 0;
}

int setting(usbdevs_device **dev, uint8_t id, int type, uint32_t value) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (zvctl_command(dev, &zvctl_primary, &msg, data, id, type, value) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  return 0;
}

// zvctl_get_version2 and zvctl_get_build2: the device information request on the secondary
// channel, taking the wanted item (of type u16 only, when `u16_only`) as a 16-bit value.
int get_info_u16_2(usbdevs_device **dev, int wanted, bool u16_only, uint16_t *out) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (zvctl_command(dev, &zvctl_secondary, &msg, data, ZV_ITEM_INFO, ZVMSG_MARK, 0) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const zvctl_poll_status status =
      zvctl_poll(dev, &zvctl_secondary, &msg, ZVCTL_REPLY_POLLS, [&](zvmsg_buffer *reply) {
        zvctl_item item;
        while (zvctl_next_item(reply, &item)) {
          if (item.id == ZV_ITEM_DEBUG_TEXT) {
            zvctl_show_debug_item(item);
            continue;
          }
          if (item.id != wanted || (u16_only && item.type != ZVMSG_U16)) continue;
          if (out != nullptr) *out = static_cast<uint16_t>(zvctl_item_u32(item));
          return item.size > 0;
        }
        return false;
      });
  if (status == ZVCTL_ANSWERED) return 0;
  ZV_DIAG(kSource);
  return 1;
}

}  // namespace

int zvctl_clear(usbdevs_device *record) {
  usbdevs_init(record);
  return 0;
}

int zvctl_reset_search(usbdevs_device *record) {
  usbdevs_close(record);
  record->next_index = 0;
  return 0;
}

int zvctl_open_next(usbdevs_device *record, usbdevs_device **device) {
  while (record->next_index <= ZVCTL_MAX_DEVICE_INDEX) {
    const uint8_t index = record->next_index;
    usbdevs_device *opened = nullptr;
    const int status = usbdevs_open(record, &opened, index);
    record->next_index = static_cast<uint8_t>(index + 1);
    if (status == 0) {
      *device = opened;
      return 0;
    }
  }
  return 1;
}

int zvctl_get_checksum(usbdevs_device **dev, uint32_t count, uint32_t *checksum) {
  return query_value(dev, &zvctl_primary, ZV_ITEM_CHECKSUM_REQUEST, ZVMSG_U32, count,
                     ZV_ITEM_CHECKSUM, ZVCTL_CHECKSUM_POLLS, checksum);
}

int zvctl_get_checksum2(usbdevs_device **dev, uint32_t count, uint32_t *checksum) {
  return query_value(dev, &zvctl_secondary, ZV_ITEM_CHECKSUM_REQUEST, ZVMSG_U32, count,
                     ZV_ITEM_CHECKSUM, ZVCTL_CHECKSUM2_POLLS, checksum);
}

int zvctl_read_debug_text(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length) {
  uint8_t data[ZVMSG_CAPACITY] = {};
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
  if (zvctl_receive(dev, &msg) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const uint8_t limit = static_cast<uint8_t>(maximum);
  zvctl_item item;
  while (zvctl_next_item(&msg, &item)) {
    if (item.id == 0) break;  // an item with id 0 ends the text reply
    if (item.id != ZV_ITEM_DEBUG_TEXT || item.type != ZVMSG_BYTES) continue;
    const uint8_t size = item.size < limit ? item.size : limit;
    if (dst != nullptr) std::memcpy(dst, reinterpret_cast<const void *>(item.value), size);
    if (length != nullptr) *length = size;
  }
  return 0;
}

int zvctl_set_13h(usbdevs_device **dev, int value) {
  return setting(dev, ZV_ITEM_SET_13H, ZVMSG_U8, static_cast<uint8_t>(value));
}

int zvctl_set_89h(usbdevs_device **dev, int value) {
  return setting(dev, ZV_ITEM_SET_89H, ZVMSG_U8, static_cast<uint8_t>(value));
}

int zvctl_set_frequency(usbdevs_device **dev, uint32_t frequency) {
  return setting(dev, ZV_ITEM_FREQUENCY, ZVMSG_U32, frequency);
}

int zvctl_get_18h(usbdevs_device **dev, uint32_t *value) {
  return query_mark(dev, ZV_ITEM_QUERY_18H, ZV_ITEM_QUERY_18H, value);
}

int zvctl_get_c4h(usbdevs_device **dev, uint32_t *value) {
  return query_mark(dev, ZV_ITEM_QUERY_C4H, ZV_ITEM_QUERY_C4H, value);
}

int zvctl_send_a2h(usbdevs_device **dev) {
  return setting(dev, ZV_ITEM_COMMAND_A2H, ZVMSG_MARK, 0);
}

int zvctl_set_clock_source(usbdevs_device **dev, int source) {
  return setting(dev, ZV_ITEM_CLOCK_SOURCE, ZVMSG_U8, static_cast<uint8_t>(source));
}

int zvctl_get_1ah(usbdevs_device **dev, uint32_t *value) {
  return query_mark(dev, ZV_ITEM_QUERY_1AH, ZV_ITEM_QUERY_1AH, value);
}

int zvctl_get_1bh(usbdevs_device **dev, uint8_t *value) {
  return query_mark_u8(dev, ZV_ITEM_QUERY_1BH, ZV_ITEM_QUERY_1BH, value);
}

int zvctl_get_c1h(usbdevs_device **dev, uint32_t *value) {
  return query_mark(dev, ZV_ITEM_QUERY_C1H, ZV_ITEM_QUERY_C1H, value);
}

int zvctl_get_14h(usbdevs_device **dev, uint8_t *value) {
  return query_mark_u8(dev, ZV_ITEM_QUERY_14H, ZV_ITEM_ANSWER_14H, value);
}

int zvctl_get_info(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length, int wanted) {
  uint8_t data[ZVMSG_CAPACITY];
  zvmsg_buffer msg;
  if (zvctl_command(dev, &zvctl_primary, &msg, data, ZV_ITEM_INFO, ZVMSG_MARK, 0) != 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  const uint8_t limit = static_cast<uint8_t>(maximum);
  const zvctl_poll_status status =
      zvctl_poll(dev, &zvctl_primary, &msg, ZVCTL_REPLY_POLLS, [&](zvmsg_buffer *reply) {
        zvctl_item item;
        while (zvctl_next_item(reply, &item)) {
          if (item.id == ZV_ITEM_DEBUG_TEXT) zvctl_show_debug_item(item);
          if (item.id != wanted) continue;
          const uint8_t size = item.size < limit ? item.size : limit;
          if (item.type == ZVMSG_BYTES) {
            if (dst != nullptr) std::memcpy(dst, reinterpret_cast<const void *>(item.value), size);
          } else if (item.type == ZVMSG_U16) {
            // Never more bytes than the caller's maximum, even for a 16-bit value.
            const uint16_t value = static_cast<uint16_t>(item.value);
            if (dst != nullptr) std::memcpy(dst, &value, size);
          } else {
            ZV_DIAG(kSource);
            return false;
          }
          if (length != nullptr) *length = size;
          return size > 0;  // an empty answer is no answer yet
        }
        return false;
      });
  if (status == ZVCTL_ANSWERED) return 0;
  ZV_DIAG(kSource);
  return 1;
}

int zvctl_get_version(usbdevs_device **dev, uint16_t *version) {
  return zvctl_get_info(dev, reinterpret_cast<uint8_t *>(version), 2, nullptr, ZV_ITEM_VERSION);
}

int zvctl_get_build(usbdevs_device **dev, uint16_t *build) {
  return zvctl_get_info(dev, reinterpret_cast<uint8_t *>(build), 2, nullptr, ZV_ITEM_BUILD);
}

int zvctl_get_product_name(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length) {
  return zvctl_get_info(dev, dst, maximum, length, ZV_ITEM_PRODUCT);
}

int zvctl_get_info_35h(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length) {
  return zvctl_get_info(dev, dst, maximum, length, ZV_ITEM_INFO_35H);
}

int zvctl_get_info_36h(usbdevs_device **dev, uint8_t *dst, int maximum, uint8_t *length) {
  return zvctl_get_info(dev, dst, maximum, length, ZV_ITEM_INFO_36H);
}

int zvctl_get_version2(usbdevs_device **dev, uint16_t *version) {
  return get_info_u16_2(dev, ZV_ITEM_VERSION, true, version);
}

int zvctl_get_build2(usbdevs_device **dev, uint16_t *build) {
  return get_info_u16_2(dev, ZV_ITEM_BUILD, false, build);
}
