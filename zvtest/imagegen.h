// Making firmware images: the writing side of the format that prgdecode reads, for the
// image tool, the virtual device and the tests. The updater never links it.
#ifndef ZVTEST_IMAGEGEN_H
#define ZVTEST_IMAGEGEN_H

#include <cstdint>
#include <vector>

struct imagegen_fields {
  char product[9];  // up to 8 characters; shorter names are zero-padded
  unsigned version;
  unsigned build;
  unsigned year;
  unsigned month;
  unsigned day;
};

// Fills `count` bytes with the deterministic test pattern of `seed` (xorshift32).
void imagegen_pattern(unsigned char *dst, uint32_t count, uint32_t seed);

// A complete stored image: the header with the payload's sum and the total size, the
// scrambled payload, and the scrambled big-endian trailer.
std::vector<unsigned char> imagegen_build(const imagegen_fields &fields,
                                          const unsigned char *plain_payload,
                                          uint32_t payload_size);

// A whole image with these header fields whose payload is the test pattern of `seed`,
// `payload_size` bytes long.
std::vector<unsigned char> imagegen_image(const imagegen_fields &fields, uint32_t payload_size,
                                          uint32_t seed);

// The same for `product` (up to 8 characters), `version` and `build`, dated 2025-06-01.
std::vector<unsigned char> imagegen_image(const char *product, unsigned version, unsigned build,
                                          uint32_t payload_size, uint32_t seed);

// The 32-bit wrapping sum of a plain payload.
uint32_t imagegen_sum(const unsigned char *plain, uint32_t count);

#endif
