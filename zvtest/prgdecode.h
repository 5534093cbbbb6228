// Firmware image files: layout, header fields, validation and the byte substitution.
//
// An image is a 32-byte plain big-endian header (product, version, build, date, checksum,
// size), a payload and a 4-byte trailer. Payload and trailer are stored scrambled; the header
// never is. Every operation is stateless; failures return a status and print one diagnostic
// line on standard output.
#ifndef ZVTEST_PRGDECODE_H
#define ZVTEST_PRGDECODE_H

#include <cstdint>

enum {
  PRGDECODE_HEADER_SIZE = 32,
  PRGDECODE_TRAILER_SIZE = 4,
  PRGDECODE_FRAME_SIZE = PRGDECODE_HEADER_SIZE + PRGDECODE_TRAILER_SIZE,
  PRGDECODE_PRODUCT_SIZE = 8,
};

// Header field offsets.
enum {
  PRGDECODE_OFF_PRODUCT = 0,
  PRGDECODE_OFF_VERSION = 8,
  PRGDECODE_OFF_BUILD = 10,
  PRGDECODE_OFF_YEAR = 12,
  PRGDECODE_OFF_MONTH = 14,
  PRGDECODE_OFF_DAY = 15,
  PRGDECODE_OFF_CHECKSUM = 16,
  PRGDECODE_OFF_SIZE = 20,
};

// Whole file in a new buffer (caller frees with std::free), or null. *length gets its size.
unsigned char *prgdecode_load_file(const char *name, int32_t *length);
// 0 when the first 32 bytes of the file were read into dst (zero-filled first), 1 otherwise.
int prgdecode_read_header(unsigned char *dst, const char *name);
// Copies 32 bytes when src is not null; returns the header length in every case.
int prgdecode_copy_header(unsigned char *dst, const unsigned char *src);
// The 8 product bytes and a terminating zero (needs capacity 9): 0, or -1.
int prgdecode_product(const unsigned char *header, char *dst, int capacity);

unsigned prgdecode_version(const unsigned char *header);
unsigned prgdecode_build(const unsigned char *header);

// A version number as people read it: major, a point, and the minor part as two digits
// (105 reads "1.05", 7 reads "0.07"). The text and its terminator fit in
// PRGDECODE_VERSION_TEXT_SIZE bytes.
enum { PRGDECODE_VERSION_TEXT_SIZE = 8 };
void prgdecode_version_text(unsigned version, char *text);
unsigned prgdecode_year(const unsigned char *header);
unsigned prgdecode_month(const unsigned char *header);
unsigned prgdecode_day(const unsigned char *header);
uint32_t prgdecode_checksum(const unsigned char *header);
uint32_t prgdecode_size(const unsigned char *header);
int32_t prgdecode_payload_size(const unsigned char *header);

// 0 for a valid image of `length` stored bytes, 1 otherwise. The image is not modified.
int prgdecode_check(const unsigned char *image, int32_t length);
int prgdecode_check_file(const char *name);
// Writes the unscrambled bytes from offset 32 to the end of the file to "<name>.bin".
int prgdecode_write_plain(const char *name);
// Prints the header and the result of the check: 0 when valid, -1 otherwise.
int prgdecode_dump(const char *name);

// dst[i] = unscrambled src[i] for i < count; returns count (writing nothing for count <= 0).
int32_t prgdecode_decode(unsigned char *dst, const unsigned char *src, int32_t count);
// The inverse substitution, for tools and the virtual device that make images.
int32_t prgdecode_encode(unsigned char *dst, const unsigned char *src, int32_t count);

#endif
