// Vendor request codes and item ids of the ZV-16x16 control protocol. Shared by the host's
// request library and the virtual device, so that both sides name the same wire values.
#ifndef ZVTEST_ZVITEMS_H
#define ZVTEST_ZVITEMS_H

// Vendor requests that carry messages (value and index are always 0).
enum {
  ZV_REQ_SEND = 0x1D,      // primary channel, host to device
  ZV_REQ_RECEIVE = 0x1E,   // primary channel, device to host
  ZV_REQ_SEND2 = 0x2D,     // secondary channel, host to device
  ZV_REQ_RECEIVE2 = 0x2E,  // secondary channel, device to host
};

// Item ids.
enum {
  ZV_ITEM_DEBUG_TEXT = 0x12,        // in: bytes of text from the device's firmware
  ZV_ITEM_SET_13H = 0x13,           // out: u8
  ZV_ITEM_QUERY_14H = 0x14,         // out: mark, answered by 0x15
  ZV_ITEM_ANSWER_14H = 0x15,        // in
  ZV_ITEM_FREQUENCY = 0x17,         // out: u32, sample frequency in Hz
  ZV_ITEM_QUERY_18H = 0x18,         // out: mark / in: answer
  ZV_ITEM_CLOCK_SOURCE = 0x19,      // out: u8
  ZV_ITEM_QUERY_1AH = 0x1A,         // out: mark / in: answer
  ZV_ITEM_QUERY_1BH = 0x1B,         // out: mark / in: answer
  ZV_ITEM_FWUP_SIZE = 0x21,         // out: u32, opens a firmware transfer
  ZV_ITEM_FWUP_STATUS = 0x22,       // out: mark, asks for window and offset
  ZV_ITEM_FWUP_WINDOW = 0x23,       // in: bytes the device can take now
  ZV_ITEM_FWUP_OFFSET = 0x24,       // in: image bytes received so far
  ZV_ITEM_FWUP_DATA = 0x25,         // out: a 61-byte chunk, more follow
  ZV_ITEM_FWUP_DATA_END = 0x26,     // out: the chunk that ends a window or the image
  ZV_ITEM_CHECKSUM_REQUEST = 0x27,  // out: u32 byte count
  ZV_ITEM_CHECKSUM = 0x28,          // in: u32
  ZV_ITEM_INFO = 0x31,              // out: mark, device information request
  ZV_ITEM_VERSION = 0x32,           // in: u16
  ZV_ITEM_BUILD = 0x33,             // in: u16
  ZV_ITEM_PRODUCT = 0x34,           // in: bytes, not terminated
  ZV_ITEM_INFO_35H = 0x35,          // in: u16 or bytes
  ZV_ITEM_INFO_36H = 0x36,          // in: u16 or bytes
  ZV_ITEM_SET_89H = 0x89,           // out: u8
  ZV_ITEM_READY = 0xA1,             // in: 0 busy, anything else ready
  ZV_ITEM_COMMAND_A2H = 0xA2,       // out: mark
  ZV_ITEM_QUERY_C1H = 0xC1,         // out: mark / in: answer
  ZV_ITEM_QUERY_C4H = 0xC4,         // out: mark / in: answer
};

// Per-target items: a selector pair addresses one target inside the device, and the items
// after it are meant for that target. Values whose meaning lies in the firmware are named by
// their ids.
enum {
  ZV_ITEM_SELECTOR_A = 0x61,         // out, in: u8
  ZV_ITEM_SELECTOR_B = 0x62,         // out, in: u8
  ZV_ITEM_PAIR_FIRST = 0x41,         // out: mark, the selected target is a pair's first
  ZV_ITEM_PAIR_SECOND = 0x42,        // out: mark, ...its second
  ZV_ITEM_PAIR_CLOSE = 0x43,         // out: mark, ends a pair
  ZV_ITEM_PAIR_VALUE_1 = 0x44,       // out: u8
  ZV_ITEM_PAIR_VALUE_2 = 0x45,       // out: u8
  ZV_ITEM_PAIR_VALUES_CLOSE = 0x46,  // out: mark, ends a pair with values
  ZV_ITEM_47H = 0x47,                // out: u8
  ZV_ITEM_48H = 0x48,                // out: u8
  ZV_ITEM_BLOCK_51H = 0x51,          // out: u8, the first of five, 0x51 to 0x55
  ZV_ITEM_LIST_REQUEST = 0x71,       // out: mark, asks for every target's value
  ZV_ITEM_LIST_VALUE = 0x72,         // in: u16, after the target's selector pair
  ZV_ITEM_TARGET_81H = 0x81,         // out: u8, the first of five single values, 0x81 to 0x85
  ZV_ITEM_BLOCK_91H = 0x91,          // out: u8, the first of seven, 0x91 to 0x97
  ZV_ITEM_READ_REQUEST = 0xB1,       // out: mark, asks for the selected target's value
  ZV_ITEM_READ_ANSWER = 0xB2,        // in: u16, after the target's selector pair
  ZV_ITEM_BLOCK_D1H = 0xD1,          // out: u8, the first of four, 0xD1 to 0xD4...
  ZV_ITEM_BLOCK_D1H_CLOSE = 0xD5,    // out: mark, ...and their end
};

#endif
