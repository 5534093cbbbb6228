// Control messages: typed items in a fixed 64-byte buffer.
//
// Each item is an id byte, a type byte and a value whose width the type gives. A message
// ends at an end marker (id 0, type 0), at the end of the buffer, or at an item that would
// run past it. No heap, no state between calls.
#ifndef ZVTEST_ZVMSG_H
#define ZVTEST_ZVMSG_H

#include <cstdint>

enum { ZVMSG_CAPACITY = 64 };

// Item types.
enum {
  ZVMSG_END = 0,    // no value; the id must be 0
  ZVMSG_MARK = 1,   // no value
  ZVMSG_U8 = 2,     // 1 byte
  ZVMSG_U16 = 3,    // 2 bytes, little-endian
  ZVMSG_U32 = 4,    // 4 bytes, little-endian
  ZVMSG_BYTES = 5,  // a length byte n, then n bytes
};

struct zvmsg_buffer {
  uint8_t *data;     // not owned; normally a zero-filled local array of ZVMSG_CAPACITY bytes
  uint8_t capacity;  // usable bytes at data
  uint8_t position;  // writing: bytes built so far; reading: offset of the next item
};

int zvmsg_attach(zvmsg_buffer *msg, uint8_t *data, uint8_t capacity);
int zvmsg_rewind(zvmsg_buffer *msg);
// The longest byte string that still fits (not used by the requests).
int zvmsg_bytes_room(const zvmsg_buffer *msg);

// Appends id, type (and for ZVMSG_BYTES the length byte) and advances over the whole item;
// the caller fills the value field at *field. A length of 0 for ZVMSG_BYTES takes the rest
// of the buffer. With fewer than 2 bytes left an end marker succeeds without writing.
int zvmsg_reserve(zvmsg_buffer *msg, uint8_t id, int type, uint8_t length, uint8_t **field,
                  uint8_t *size);
// Reserves and stores the value: for ZVMSG_BYTES, `value` is the address of the bytes.
int zvmsg_append(zvmsg_buffer *msg, uint8_t id, int type, uintptr_t value, uint8_t length);
// Reads the next item: 0 with the outputs set, or 1 at the end of the message. For
// ZVMSG_BYTES the value is the address of the first string byte inside the buffer.
int zvmsg_next(zvmsg_buffer *msg, int *id, int *type, uintptr_t *value, uint8_t *size);

#endif
