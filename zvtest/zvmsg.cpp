#include "zvmsg.h"

#include <cstring>

#include "zvdiag.h"

namespace {

const char kSource[] = "zvtest\\zvmsg.cpp";

// Total item length (header included) for each fixed-width type.
enum { kItemHeader = 2 };

}  // namespace

int zvmsg_attach(zvmsg_buffer *msg, uint8_t *data, uint8_t capacity) {
  msg->data = data;
  msg->capacity = capacity;
  msg->position = 0;
  return 0;
}

int zvmsg_rewind(zvmsg_buffer *msg) {
  msg->position = 0;
  return 0;
}

int zvmsg_bytes_room(const zvmsg_buffer *msg) {
  const int room = msg->capacity - msg->position;
  return room >= 3 ? room - 3 : 0;
}

int zvmsg_reserve(zvmsg_buffer *msg, uint8_t id, int type, uint8_t length, uint8_t **field,
                  uint8_t *size) {
  const int room = msg->capacity - msg->position;
  if (room < kItemHeader) {
    // Only the end marker is allowed to "fit" a full buffer: the message then simply ends
    // with the buffer.
    return id == 0 ? 0 : 1;
  }
  if (type < ZVMSG_END || type > ZVMSG_BYTES) {
    ZV_DIAG(kSource);
    return 1;
  }
  uint8_t *item = msg->data + msg->position;
  uint8_t *value = nullptr;
  int value_size = 0;
  int advance = kItemHeader;
  switch (type) {
    case ZVMSG_END:
      if (id != 0) {
        ZV_DIAG(kSource);
        return 1;
      }
      break;
    case ZVMSG_MARK:
      break;
    case ZVMSG_U8:
      if (room <= 2) {
        ZV_DIAG(kSource);
        return 1;
      }
      value = item + 2, value_size = 1, advance = 3;
      break;
    case ZVMSG_U16:
      if (room <= 3) {
        ZV_DIAG(kSource);
        return 1;
      }
      value = item + 2, value_size = 2, advance = 4;
      break;
    case ZVMSG_U32:
      if (room <= 5) {
        ZV_DIAG(kSource);
        return 1;
      }
      value = item + 2, value_size = 4, advance = 6;
      break;
    default: {  // ZVMSG_BYTES
      int n = length;
      if (n == 0) {
        if (room < 3) {
          ZV_DIAG(kSource);
          return 1;
        }
        n = room - 3;
      } else if (n + 3 > room) {
        ZV_DIAG(kSource);
        return 1;
      }
      item[2] = static_cast<uint8_t>(n);
      value = item + 3, value_size = n, advance = n + 3;
      break;
    }
  }
  item[0] = id;
  item[1] = static_cast<uint8_t>(type);
  msg->position = static_cast<uint8_t>(msg->position + advance);
  if (field != nullptr) *field = value;
  if (size != nullptr) *size = static_cast<uint8_t>(value_size);
  return 0;
}

int zvmsg_append(zvmsg_buffer *msg, uint8_t id, int type, uintptr_t value, uint8_t length) {
  uint8_t *field = nullptr;
  uint8_t size = 0;
  const int status = zvmsg_reserve(msg, id, type, length, &field, &size);
  if (status != 0) return status;
  if (field == nullptr) return 0;  // end marker or mark, or an end marker in a full buffer
  switch (type) {
    case ZVMSG_U8:
      field[0] = static_cast<uint8_t>(value);
      break;
    case ZVMSG_U16:
    case ZVMSG_U32:
      for (int i = 0; i < size; ++i) field[i] = static_cast<uint8_t>(value >> (8 * i));
      break;
    case ZVMSG_BYTES:
      if (size > 0) std::memmove(field, reinterpret_cast<const void *>(value), size);
      break;
    default:
      break;
  }
  return 0;
}

int zvmsg_next(zvmsg_buffer *msg, int *id, int *type, uintptr_t *value, uint8_t *size) {
  const int room = msg->capacity - msg->position;
  if (room < kItemHeader) return 1;
  const uint8_t *item = msg->data + msg->position;
  const int item_type = item[1];
  if (item_type > ZVMSG_BYTES) {
    std::printf("%s:%d:ERROR %#x\n", kSource, __LINE__, item_type);
    return 1;
  }
  uintptr_t item_value = 0;
  int item_size = 0;
  int length = kItemHeader;
  switch (item_type) {
    case ZVMSG_END:
      return 1;
    case ZVMSG_MARK:
      break;
    case ZVMSG_U8:
      if (room == 2) return 1;
      item_value = item[2], item_size = 1, length = 3;
      break;
    case ZVMSG_U16:
      if (room <= 3) return 1;
      item_value = item[2] + 256u * item[3], item_size = 2, length = 4;
      break;
    case ZVMSG_U32:
      if (room <= 5) return 1;
      item_value = uint32_t(item[2]) | uint32_t(item[3]) << 8 | uint32_t(item[4]) << 16 |
                   uint32_t(item[5]) << 24;
      item_size = 4, length = 6;
      break;
    default: {  // ZVMSG_BYTES
      if (room == 2) return 1;
      const int n = item[2];
      if (room < n + 3) return 1;
      item_value = reinterpret_cast<uintptr_t>(item + 3), item_size = n, length = n + 3;
      break;
    }
  }
  msg->position = static_cast<uint8_t>(msg->position + length);
  if (id != nullptr) *id = item[0];
  if (type != nullptr) *type = item_type;
  if (value != nullptr) *value = item_value;
  if (size != nullptr) *size = static_cast<uint8_t>(item_size);
  return 0;
}
