#include "prgdecode.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zvdiag.h"

namespace {

const char kSource[] = "zvtest\\prgdecode.cpp";

// The substitution under which payload and trailer are stored. Stored byte b unscrambles to
// kPlain[b]. Built from three bijections of a byte (xor, rotate, multiply by an odd number,
// add), so it is a fixed permutation of 0..255 and every plain image can be scrambled.
constexpr std::array<unsigned char, 256> make_plain_table() {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned v = b ^ 0xA5u;
    v = ((v << 3) | (v >> 5)) & 0xFFu;
    v = (v * 0x1Du + 0x3Bu) & 0xFFu;
    table[b] = static_cast<unsigned char>(v);
  }
  return table;
}

constexpr std::array<unsigned char, 256> make_inverse(const std::array<unsigned char, 256> &t) {
  std::array<unsigned char, 256> inverse{};
  for (unsigned b = 0; b < 256; ++b) inverse[t[b]] = static_cast<unsigned char>(b);
  return inverse;
}

constexpr std::array<unsigned char, 256> kPlain = make_plain_table();
constexpr std::array<unsigned char, 256> kScrambled = make_inverse(kPlain);

unsigned be16(const unsigned char *p) { return (unsigned(p[0]) << 8) | p[1]; }

uint32_t be32(const unsigned char *p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

unsigned char *prgdecode_load_file(const char *name, int32_t *length) {
  FILE *file = std::fopen(name, "rb");
  if (file == nullptr) {
    ZV_DIAG(kSource);
    return nullptr;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) {
    ZV_DIAG(kSource);
    std::fclose(file);
    return nullptr;
  }
  const long end = std::ftell(file);
  if (end <= 0 || end > INT32_MAX) {
    ZV_DIAG(kSource);
    std::fclose(file);
    return nullptr;
  }
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    ZV_DIAG(kSource);
    std::fclose(file);
    return nullptr;
  }
  auto *buffer = static_cast<unsigned char *>(std::malloc(static_cast<size_t>(end)));
  if (buffer == nullptr) {
    ZV_DIAG(kSource);
    std::fclose(file);
    return nullptr;
  }
  if (std::fread(buffer, static_cast<size_t>(end), 1, file) != 1) {
    ZV_DIAG(kSource);
    std::fclose(file);
    std::free(buffer);
    return nullptr;
  }
  std::fclose(file);
  if (length != nullptr) *length = static_cast<int32_t>(end);
  return buffer;
}

int prgdecode_read_header(unsigned char *dst, const char *name) {
  std::memset(dst, 0, PRGDECODE_HEADER_SIZE);
  FILE *file = std::fopen(name, "rb");
  if (file == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (std::fread(dst, PRGDECODE_HEADER_SIZE, 1, file) != 1) {
    ZV_DIAG(kSource);
    std::fclose(file);
    return 1;
  }
  std::fclose(file);
  return 0;
}

int prgdecode_copy_header(unsigned char *dst, const unsigned char *src) {
  if (src != nullptr) std::memcpy(dst, src, PRGDECODE_HEADER_SIZE);
  return PRGDECODE_HEADER_SIZE;
}

int prgdecode_product(const unsigned char *header, char *dst, int capacity) {
  if (capacity <= PRGDECODE_PRODUCT_SIZE) {
    ZV_DIAG(kSource);
    return -1;
  }
  std::memcpy(dst, header + PRGDECODE_OFF_PRODUCT, PRGDECODE_PRODUCT_SIZE);
  dst[PRGDECODE_PRODUCT_SIZE] = '\0';
  return 0;
}

unsigned prgdecode_version(const unsigned char *header) {
  return be16(header + PRGDECODE_OFF_VERSION);
}
unsigned prgdecode_build(const unsigned char *header) { return be16(header + PRGDECODE_OFF_BUILD); }
void prgdecode_version_text(unsigned version, char *text) {
  // Versions are 16 bits wide, so the major part has at most three digits.
  std::snprintf(text, PRGDECODE_VERSION_TEXT_SIZE, "%u.%02u", (version / 100) % 1000,
                version % 100);
}
unsigned prgdecode_year(const unsigned char *header) { return be16(header + PRGDECODE_OFF_YEAR); }
unsigned prgdecode_month(const unsigned char *header) { return header[PRGDECODE_OFF_MONTH]; }
unsigned prgdecode_day(const unsigned char *header) { return header[PRGDECODE_OFF_DAY]; }
uint32_t prgdecode_checksum(const unsigned char *header) {
  return be32(header + PRGDECODE_OFF_CHECKSUM);
}
uint32_t prgdecode_size(const unsigned char *header) { return be32(header + PRGDECODE_OFF_SIZE); }
int32_t prgdecode_payload_size(const unsigned char *header) {
  return static_cast<int32_t>(prgdecode_size(header) - PRGDECODE_FRAME_SIZE);
}

int32_t prgdecode_decode(unsigned char *dst, const unsigned char *src, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = kPlain[src[i]];
  return count;
}

int32_t prgdecode_encode(unsigned char *dst, const unsigned char *src, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = kScrambled[src[i]];
  return count;
}

int prgdecode_check(const unsigned char *image, int32_t length) {
  if (image == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  // The checks go in their order: size 0, a buffer shorter than size, a buffer too short
  // for an image. A buffer that does not even hold the size field is the last of these.
  const bool holds_size = length >= PRGDECODE_OFF_SIZE + 4;
  const uint32_t size = holds_size ? prgdecode_size(image) : 0;
  if (holds_size && size == 0) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (holds_size && static_cast<uint32_t>(length) < size) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (length < PRGDECODE_FRAME_SIZE) {
    ZV_DIAG(kSource);
    std::printf("check size = %ld, fw_size = %ld\n", 0L, static_cast<long>(length));
    return 1;
  }
  // Below 36 the trailer would overlap the header.
  if (size < PRGDECODE_FRAME_SIZE) {
    ZV_DIAG(kSource);
    return 1;
  }

  // Unscramble on the fly: the sum needs each plain byte once, so no working copy is made.
  const uint32_t payload_size = size - PRGDECODE_FRAME_SIZE;
  const unsigned char *payload = image + PRGDECODE_HEADER_SIZE;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < payload_size; ++i) sum += kPlain[payload[i]];

  const uint32_t header_sum = prgdecode_checksum(image);
  if (sum != header_sum) {
    ZV_DIAG(kSource);
    std::printf("check_size = %ld, real sum = %#lx, hdr sum = %#lx\n",
                static_cast<long>(payload_size), static_cast<unsigned long>(sum),
                static_cast<unsigned long>(header_sum));
    return 1;
  }
  unsigned char trailer[PRGDECODE_TRAILER_SIZE];
  prgdecode_decode(trailer, image + size - PRGDECODE_TRAILER_SIZE, PRGDECODE_TRAILER_SIZE);
  const uint32_t trailer_sum = be32(trailer);
  if (trailer_sum != sum) {
    ZV_DIAG(kSource);
    std::printf("check_size = %ld, real sum = %#lx, hdr sum = %#lx\n",
                static_cast<long>(payload_size), static_cast<unsigned long>(trailer_sum),
                static_cast<unsigned long>(header_sum));
    return 1;
  }
  return 0;
}

int prgdecode_check_file(const char *name) {
  int32_t length = 0;
  unsigned char *image = prgdecode_load_file(name, &length);
  if (image == nullptr) return 1;
  const int result = prgdecode_check(image, length);
  std::free(image);
  return result;
}

int prgdecode_write_plain(const char *name) {
  int32_t length = 0;
  unsigned char *image = prgdecode_load_file(name, &length);
  if (image == nullptr) {
    ZV_DIAG(kSource);
    return 1;
  }
  if (length < PRGDECODE_HEADER_SIZE) {
    ZV_DIAG(kSource);
    std::free(image);
    return 1;
  }
  char out_name[512 + 4];
  std::snprintf(out_name, sizeof out_name, "%.511s.bin", name);

  const size_t plain_size = static_cast<size_t>(length - PRGDECODE_HEADER_SIZE);
  // One byte more than needed, so that a header-only file still gets a buffer.
  auto *plain = static_cast<unsigned char *>(std::malloc(plain_size + 1));
  if (plain == nullptr) {
    ZV_DIAG(kSource);
    std::free(image);
    return 1;
  }
  prgdecode_decode(plain, image + PRGDECODE_HEADER_SIZE, static_cast<int32_t>(plain_size));
  std::free(image);

  FILE *out = std::fopen(out_name, "wb");
  if (out == nullptr) {
    ZV_DIAG(kSource);
    std::free(plain);
    return 1;
  }
  const bool written = plain_size == 0 || std::fwrite(plain, plain_size, 1, out) == 1;
  std::free(plain);
  if (std::fclose(out) != 0 || !written) {
    ZV_DIAG(kSource);
    return 1;
  }
  return 0;
}

int prgdecode_dump(const char *name) {
  std::printf("filename: %s\n", name);
  unsigned char header[PRGDECODE_HEADER_SIZE];
  if (prgdecode_read_header(header, name) != 0) {
    ZV_DIAG(kSource);
    return -1;
  }
  char product[PRGDECODE_PRODUCT_SIZE + 1];
  prgdecode_product(header, product, sizeof product);
  std::printf("product: %s\n", product);
  std::printf("version: %u\n", prgdecode_version(header));
  std::printf("build: %u\n", prgdecode_build(header));
  std::printf("date: %u/%u/%u\n", prgdecode_year(header), prgdecode_month(header),
              prgdecode_day(header));
  std::printf("checksum: %#lx\n", static_cast<unsigned long>(prgdecode_checksum(header)));
  std::printf("size: %lu\n", static_cast<unsigned long>(prgdecode_size(header)));
  std::printf("test checksum...\n");
  if (prgdecode_check_file(name) == 0) {
    std::printf("OK\n");
    return 0;
  }
  std::printf("NG\n");
  ZV_DIAG(kSource);
  return -1;
}
