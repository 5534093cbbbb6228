// Fuzz target: one 64-byte reply, and messages built from fuzzed items. Compiles in zvmsg;
// stubs nothing.
//
// The first 64 bytes (zero-padded) are parsed with zvmsg_next to the end: every item must lie
// inside the buffer. The rest of the input is a run of (id, type, length) triples that go into
// a fresh message through zvmsg_reserve or zvmsg_append: a failure must leave the position
// where it was, a success must advance it by exactly the item, and the message must then
// read back as the very items appended.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_transport.h"
#include "zvmsg.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Item {
  int id, type;
  uintptr_t value;
  uint8_t size;
  std::vector<uint8_t> bytes;
};

int item_length(int type, int size) {
  static const int fixed[] = {2, 2, 3, 4, 6};
  return type == ZVMSG_BYTES ? size + 3 : fixed[type];
}

void parse_reply(const uint8_t *input, size_t size) {
  uint8_t reply[ZVMSG_CAPACITY] = {};
  std::memcpy(reply, input, size < size_t{ZVMSG_CAPACITY} ? size : size_t{ZVMSG_CAPACITY});
  zvmsg_buffer msg;
  zvmsg_attach(&msg, reply, ZVMSG_CAPACITY);
  int id = 0, type = 0;
  uintptr_t value = 0;
  uint8_t item_size = 0;
  for (int before = msg.position; zvmsg_next(&msg, &id, &type, &value, &item_size) == 0;
       before = msg.position) {
    require(type >= ZVMSG_MARK && type <= ZVMSG_BYTES);
    require(msg.position == before + item_length(type, item_size));
    require(msg.position <= msg.capacity);
    if (type == ZVMSG_BYTES) {
      const auto *bytes = reinterpret_cast<const uint8_t *>(value);
      require(bytes == reply + before + 3 && bytes + item_size <= reply + ZVMSG_CAPACITY);
    }
  }
  require(msg.position <= msg.capacity);
}

void build_message(const uint8_t *input, size_t size) {
  uint8_t data[ZVMSG_CAPACITY] = {};
  uint8_t source[255];
  for (int i = 0; i < 255; ++i) source[i] = static_cast<uint8_t>(i * 7 + 1);
  zvmsg_buffer msg;
  zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
  std::vector<Item> appended;
  for (size_t at = 0; at + 3 <= size; at += 3) {
    const uint8_t id = input[at], length = input[at + 2];
    const int type = input[at + 1] % 8;  // 6 and 7 are invalid types
    const bool reserve = (input[at + 1] & 0x80) != 0;
    const uint8_t before = msg.position;
    uint8_t *field = nullptr;
    uint8_t field_size = 0;
    const uintptr_t value = type == ZVMSG_BYTES ? reinterpret_cast<uintptr_t>(source)
                                                : (uintptr_t(input[at]) << 24 | length << 8 | id);
    const int status = reserve ? zvmsg_reserve(&msg, id, type, length, &field, &field_size)
                               : zvmsg_append(&msg, id, type, value, length);
    require(status == 0 || status == 1);
    require(msg.position <= msg.capacity);
    if (status != 0) {
      require(msg.position == before);
      continue;
    }
    if (msg.position == before) {  // an end marker in a full buffer writes nothing
      require(id == 0 && msg.capacity - before < 2);
      break;
    }
    if (reserve) {
      require(field == nullptr || (field >= data && field + field_size <= data + msg.capacity));
      if (field != nullptr) std::memset(field, 0, field_size);  // what the caller would fill
    }
    if (type == ZVMSG_END) break;
    Item item{id, type, 0, 0, {}};
    if (type == ZVMSG_BYTES) {
      item.size = data[before + 2];
      item.bytes.assign(data + before + 3, data + before + 3 + item.size);
      if (!reserve) require(std::equal(item.bytes.begin(), item.bytes.end(), source));
    } else if (!reserve && type != ZVMSG_MARK) {
      const uintptr_t mask = type == ZVMSG_U8 ? 0xFF : type == ZVMSG_U16 ? 0xFFFF : 0xFFFFFFFF;
      item.value = value & mask;
    }
    require(msg.position == before + item_length(type, item.size));
    appended.push_back(item);
  }

  // Read back: the same items in the same order.
  const uint8_t end = msg.position;
  zvmsg_rewind(&msg);
  msg.capacity = end;
  for (const Item &expected : appended) {
    int id = 0, type = 0;
    uintptr_t value = 0;
    uint8_t item_size = 0;
    require(zvmsg_next(&msg, &id, &type, &value, &item_size) == 0);
    require(id == expected.id && type == expected.type);
    if (type == ZVMSG_BYTES) {
      require(item_size == expected.size);
      const auto *read = reinterpret_cast<const uint8_t *>(value);
      require(std::equal(expected.bytes.begin(), expected.bytes.end(), read));
    } else {
      require(value == expected.value);
    }
  }
  require(zvmsg_next(&msg, nullptr, nullptr, nullptr, nullptr) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  parse_reply(data, size);
  if (size > ZVMSG_CAPACITY) build_message(data + ZVMSG_CAPACITY, size - ZVMSG_CAPACITY);
  return 0;
}
