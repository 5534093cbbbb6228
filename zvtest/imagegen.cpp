#include "imagegen.h"

#include <cstring>

#include "prgdecode.h"

namespace {

void put_be16(unsigned char *p, unsigned v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

void put_be32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

}  // namespace

void imagegen_pattern(unsigned char *dst, uint32_t count, uint32_t seed) {
  uint32_t state = seed != 0 ? seed : 0x9E3779B9u;  // xorshift must not start at 0
  for (uint32_t i = 0; i < count; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    dst[i] = static_cast<unsigned char>(state >> 24);
  }
}

uint32_t imagegen_sum(const unsigned char *plain, uint32_t count) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += plain[i];
  return sum;
}

std::vector<unsigned char> imagegen_build(const imagegen_fields &fields,
                                          const unsigned char *plain_payload,
                                          uint32_t payload_size) {
  const uint32_t size = payload_size + PRGDECODE_FRAME_SIZE;
  std::vector<unsigned char> image(size, 0);
  unsigned char *h = image.data();
  std::memcpy(h + PRGDECODE_OFF_PRODUCT, fields.product,
              strnlen(fields.product, PRGDECODE_PRODUCT_SIZE));
  put_be16(h + PRGDECODE_OFF_VERSION, fields.version);
  put_be16(h + PRGDECODE_OFF_BUILD, fields.build);
  put_be16(h + PRGDECODE_OFF_YEAR, fields.year);
  h[PRGDECODE_OFF_MONTH] = static_cast<unsigned char>(fields.month);
  h[PRGDECODE_OFF_DAY] = static_cast<unsigned char>(fields.day);
  const uint32_t sum = imagegen_sum(plain_payload, payload_size);
  put_be32(h + PRGDECODE_OFF_CHECKSUM, sum);
  put_be32(h + PRGDECODE_OFF_SIZE, size);

  prgdecode_encode(h + PRGDECODE_HEADER_SIZE, plain_payload, static_cast<int32_t>(payload_size));
  unsigned char trailer[PRGDECODE_TRAILER_SIZE];
  put_be32(trailer, sum);
  prgdecode_encode(h + size - PRGDECODE_TRAILER_SIZE, trailer, PRGDECODE_TRAILER_SIZE);
  return image;
}

std::vector<unsigned char> imagegen_image(const imagegen_fields &fields, uint32_t payload_size,
                                          uint32_t seed) {
  std::vector<unsigned char> plain(payload_size);
  imagegen_pattern(plain.data(), payload_size, seed);
  return imagegen_build(fields, plain.data(), payload_size);
}

std::vector<unsigned char> imagegen_image(const char *product, unsigned version, unsigned build,
                                          uint32_t payload_size, uint32_t seed) {
  imagegen_fields fields{};
  std::strncpy(fields.product, product, PRGDECODE_PRODUCT_SIZE);
  fields.version = version;
  fields.build = build;
  fields.year = 2025;
  fields.month = 6;
  fields.day = 1;
  return imagegen_image(fields, payload_size, seed);
}
