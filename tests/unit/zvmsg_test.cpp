#include "zvmsg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "test_support.h"

namespace {

class Message {
 public:
  Message() { zvmsg_attach(&msg, data, ZVMSG_CAPACITY); }
  // Leaves `room` bytes free.
  explicit Message(int room) : Message() {
    msg.position = static_cast<uint8_t>(ZVMSG_CAPACITY - room);
  }
  std::vector<uint8_t> bytes() const { return {data, data + msg.position}; }

  uint8_t data[ZVMSG_CAPACITY] = {};
  zvmsg_buffer msg{};
};

struct AppendCase {
  const char *name;
  int room;
  uint8_t id;
  int type;
  uint8_t length;
  int result;
  int diagnostics;
  int advance;
};

TEST(ZvmsgAppend, FitsOrFailsWithoutMoving) {
  const AppendCase cases[] = {
      {"end marker, 0 bytes left", 0, 0, ZVMSG_END, 0, 0, 0, 0},
      {"end marker, 1 byte left", 1, 0, ZVMSG_END, 0, 0, 0, 0},
      {"end marker, 2 bytes left", 2, 0, ZVMSG_END, 0, 0, 0, 2},
      {"item with id, 1 byte left", 1, 0x31, ZVMSG_MARK, 0, 1, 0, 0},
      {"mark in the last 2 bytes", 2, 0x31, ZVMSG_MARK, 0, 0, 0, 2},
      {"type 0 with id 5", 64, 5, ZVMSG_END, 0, 1, 1, 0},
      {"type 6", 64, 0x31, 6, 0, 1, 1, 0},
      {"u8 with room 2", 2, 0x19, ZVMSG_U8, 0, 1, 1, 0},
      {"u8 with room 3", 3, 0x19, ZVMSG_U8, 0, 0, 0, 3},
      {"u16 with room 3", 3, 0x32, ZVMSG_U16, 0, 1, 1, 0},
      {"u16 with room 4", 4, 0x32, ZVMSG_U16, 0, 0, 0, 4},
      {"u32 with room 5", 5, 0x17, ZVMSG_U32, 0, 1, 1, 0},
      {"u32 with room 6", 6, 0x17, ZVMSG_U32, 0, 0, 0, 6},
      {"61-byte string in a fresh buffer", 64, 0x25, ZVMSG_BYTES, 61, 0, 0, 64},
      {"62-byte string", 64, 0x25, ZVMSG_BYTES, 62, 1, 1, 0},
      {"253-byte string", 64, 0x25, ZVMSG_BYTES, 253, 1, 1, 0},
      {"254-byte string", 64, 0x25, ZVMSG_BYTES, 254, 1, 1, 0},
      {"255-byte string", 64, 0x25, ZVMSG_BYTES, 255, 1, 1, 0},
      {"rest-of-buffer string, room 3", 3, 0x25, ZVMSG_BYTES, 0, 0, 0, 3},
      {"rest-of-buffer string, room 2", 2, 0x25, ZVMSG_BYTES, 0, 1, 1, 0},
  };
  std::vector<uint8_t> source(255, 0x5A);
  for (const AppendCase &c : cases) {
    SCOPED_TRACE(c.name);
    Message m(c.room);
    const uint8_t before = m.msg.position;
    int result = -1;
    const std::string out = capture_stdout([&] {
      result =
          zvmsg_append(&m.msg, c.id, c.type, reinterpret_cast<uintptr_t>(source.data()), c.length);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(count_error_lines(out), c.diagnostics) << out;
    EXPECT_EQ(m.msg.position, before + c.advance);
  }
}

TEST(ZvmsgAppend, FullStringMessageHasNoEndMarker) {
  Message m;
  uint8_t text[61];
  for (int i = 0; i < 61; ++i) text[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(zvmsg_append(&m.msg, 0x25, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(text), 61), 0);
  ASSERT_EQ(zvmsg_append(&m.msg, 0, ZVMSG_END, 0, 0), 0);
  const std::vector<uint8_t> bytes = m.bytes();
  ASSERT_EQ(bytes.size(), 64u);
  EXPECT_EQ(bytes[0], 0x25);
  EXPECT_EQ(bytes[1], ZVMSG_BYTES);
  EXPECT_EQ(bytes[2], 61);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 3, text, 61));
}

TEST(ZvmsgAppend, ZeroLengthStringTakesTheRest) {
  Message m;
  std::vector<uint8_t> source(61, 0x77);
  uint8_t *field = nullptr;
  uint8_t size = 0;
  ASSERT_EQ(zvmsg_reserve(&m.msg, 0x12, ZVMSG_BYTES, 0, &field, &size), 0);
  EXPECT_EQ(size, 61);
  EXPECT_EQ(field, m.data + 3);
  EXPECT_EQ(m.data[2], 61);
  EXPECT_EQ(m.msg.position, 64);

  Message copy;
  ASSERT_EQ(
      zvmsg_append(&copy.msg, 0x12, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(source.data()), 0), 0);
  EXPECT_EQ(copy.data[2], 61);
  EXPECT_EQ(copy.data[63], 0x77);
}

TEST(ZvmsgAppend, ValuesAreLittleEndian) {
  Message m;
  ASSERT_EQ(zvmsg_append(&m.msg, 0x32, ZVMSG_U16, 0x1234, 0), 0);
  ASSERT_EQ(zvmsg_append(&m.msg, 0x17, ZVMSG_U32, 44100, 0), 0);
  ASSERT_EQ(zvmsg_append(&m.msg, 0x19, ZVMSG_U8, 0x1FF, 0), 0);
  ASSERT_EQ(zvmsg_append(&m.msg, 0x31, ZVMSG_MARK, 99, 0), 0);
  ASSERT_EQ(zvmsg_append(&m.msg, 0, ZVMSG_END, 0, 0), 0);
  EXPECT_EQ(m.bytes(), (std::vector<uint8_t>{0x32, 3, 0x34, 0x12, 0x17, 4, 0x44, 0xAC, 0, 0, 0x19,
                                             2, 0xFF, 0x31, 1, 0, 0}));
}

TEST(ZvmsgAppend, ReserveReportsTheValueField) {
  Message m;
  uint8_t *field = reinterpret_cast<uint8_t *>(1);
  uint8_t size = 9;
  ASSERT_EQ(zvmsg_reserve(&m.msg, 0x31, ZVMSG_MARK, 0, &field, &size), 0);
  EXPECT_EQ(field, nullptr);
  EXPECT_EQ(size, 0);
  ASSERT_EQ(zvmsg_reserve(&m.msg, 0x17, ZVMSG_U32, 0, &field, &size), 0);
  EXPECT_EQ(field, m.data + 4);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(zvmsg_reserve(&m.msg, 0x17, ZVMSG_U32, 0, nullptr, nullptr), 0);
  EXPECT_EQ(m.msg.position, 14);
}

TEST(ZvmsgBytesRoom, IsTheLongestStringThatFits) {
  const int rooms[] = {64, 4, 3, 2, 0};
  const int expected[] = {61, 1, 0, 0, 0};
  for (int i = 0; i < 5; ++i) {
    Message m(rooms[i]);
    EXPECT_EQ(zvmsg_bytes_room(&m.msg), expected[i]) << "room " << rooms[i];
  }
}

struct Parsed {
  int id, type;
  uintptr_t value;
  uint8_t size;
};

std::vector<Parsed> parse_all(Message &m) {
  std::vector<Parsed> items;
  Parsed p{};
  while (zvmsg_next(&m.msg, &p.id, &p.type, &p.value, &p.size) == 0) items.push_back(p);
  return items;
}

TEST(ZvmsgNext, ReadsEveryTypeBack) {
  Message m;
  const char text[] = "abc";
  zvmsg_append(&m.msg, 0x31, ZVMSG_MARK, 0, 0);
  zvmsg_append(&m.msg, 0x19, ZVMSG_U8, 7, 0);
  zvmsg_append(&m.msg, 0x32, ZVMSG_U16, 0xBEEF, 0);
  zvmsg_append(&m.msg, 0x28, ZVMSG_U32, 0xDEADBEEF, 0);
  zvmsg_append(&m.msg, 0x34, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(text), 3);
  zvmsg_append(&m.msg, 0, ZVMSG_END, 0, 0);
  zvmsg_rewind(&m.msg);
  const std::vector<Parsed> items = parse_all(m);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].type, ZVMSG_MARK);
  EXPECT_EQ(items[0].value, 0u);
  EXPECT_EQ(items[0].size, 0);
  EXPECT_EQ(items[1].value, 7u);
  EXPECT_EQ(items[2].value, 0xBEEFu);
  EXPECT_EQ(items[2].size, 2);
  EXPECT_EQ(items[3].value, 0xDEADBEEFu);
  EXPECT_EQ(items[4].id, 0x34);
  EXPECT_EQ(items[4].size, 3);
  EXPECT_EQ(reinterpret_cast<const uint8_t *>(items[4].value), m.data + 18);
  // The end marker stays put: asking again still says "no further item".
  const uint8_t at_end = m.msg.position;
  EXPECT_EQ(zvmsg_next(&m.msg, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(m.msg.position, at_end);
}

TEST(ZvmsgNext, ZeroReplyHoldsNoItems) {
  Message m;
  EXPECT_EQ(zvmsg_next(&m.msg, nullptr, nullptr, nullptr, nullptr), 1);
}

TEST(ZvmsgNext, TruncatedLastItemEndsQuietly) {
  struct Case {
    const char *name;
    std::vector<uint8_t> tail;  // placed so that it ends at the buffer's end
  } cases[] = {
      {"string whose length runs past the end", {0x34, 5, 10, 'a', 'b'}},
      {"u32 cut short", {0x28, 4, 1, 2, 3}},
      {"u16 cut short", {0x32, 3, 1}},
      {"u8 without its value", {0x19, 2}},
      {"lone id byte", {0x31}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Message m;
    zvmsg_append(&m.msg, 0x32, ZVMSG_U16, 0x0102, 0);
    const size_t start = ZVMSG_CAPACITY - c.tail.size();
    // Fill the gap with one byte string so the truncated item sits at the end.
    const uint8_t gap = static_cast<uint8_t>(start - m.msg.position - 3);
    std::vector<uint8_t> filler(gap, 'x');
    zvmsg_append(&m.msg, 0x12, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(filler.data()), gap);
    std::memcpy(m.data + start, c.tail.data(), c.tail.size());
    zvmsg_rewind(&m.msg);
    std::vector<Parsed> items;
    const std::string out = capture_stdout([&] { items = parse_all(m); });
    EXPECT_EQ(out, "");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].value, 0x0102u);
  }
}

TEST(ZvmsgNext, UnknownTypeEndsTheParseWithItsValue) {
  Message m;
  zvmsg_append(&m.msg, 0x32, ZVMSG_U16, 5, 0);
  m.data[4] = 0x40;
  m.data[5] = 6;
  zvmsg_rewind(&m.msg);
  std::vector<Parsed> items;
  const std::string out = capture_stdout([&] { items = parse_all(m); });
  EXPECT_EQ(items.size(), 1u);
  EXPECT_THAT(out, testing::StartsWith("zvtest\\zvmsg.cpp:"));
  EXPECT_THAT(out, testing::EndsWith(":ERROR 0x6\n"));
  EXPECT_EQ(count_error_lines(out), 0);  // the value follows the word, on the same line
}

TEST(ZvmsgNext, IdZeroWithAnotherTypeIsAnItem) {
  Message m;
  m.data[0] = 0;
  m.data[1] = ZVMSG_U8;
  m.data[2] = 9;
  Parsed p{};
  ASSERT_EQ(zvmsg_next(&m.msg, &p.id, &p.type, &p.value, &p.size), 0);
  EXPECT_EQ(p.id, 0);
  EXPECT_EQ(p.value, 9u);
}

}  // namespace
