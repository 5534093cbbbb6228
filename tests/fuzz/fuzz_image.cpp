// Fuzz target: image bytes. Compiles in prgdecode; stubs nothing.
//
// The input is an image file as stored. prgdecode_check runs on the buffer, and the file
// operations (read_header, check_file, dump, write_plain) on a temporary file of the same
// bytes; all must agree with each other, and the plain output must be the unscrambled body.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_transport.h"
#include "prgdecode.h"

namespace {

std::string scratch_path() {
  const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/zv-fuzz-image-" + std::to_string(getpid()) + ".bin";
}

std::vector<uint8_t> read_all(const std::string &path) {
  std::vector<uint8_t> bytes;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    uint8_t block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
      bytes.insert(bytes.end(), block, block + n);
    std::fclose(f);
  }
  return bytes;
}

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz_quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 21)) return 0;  // twice the largest image the updater holds
  const int32_t length = static_cast<int32_t>(size);
  const int valid = prgdecode_check(size > 0 ? data : nullptr, length);
  require(valid == 0 || valid == 1);
  if (valid == 0) {
    // A valid image holds its frame, and its size field lies within the buffer.
    require(size >= PRGDECODE_FRAME_SIZE);
    const uint32_t declared = prgdecode_size(data);
    require(declared >= PRGDECODE_FRAME_SIZE && declared <= size);
    require(prgdecode_payload_size(data) == static_cast<int32_t>(declared) - PRGDECODE_FRAME_SIZE);
  }

  const std::string path = scratch_path();
  const std::string plain = path + ".bin";
  if (FILE *f = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  unsigned char header[PRGDECODE_HEADER_SIZE];
  const int header_read = prgdecode_read_header(header, path.c_str());
  require(header_read == (size >= PRGDECODE_HEADER_SIZE ? 0 : 1));
  if (header_read == 0) require(std::memcmp(header, data, PRGDECODE_HEADER_SIZE) == 0);

  // The file operations see what the buffer check saw; an empty file does not even load.
  require(prgdecode_check_file(path.c_str()) == (size == 0 ? 1 : valid));
  require(prgdecode_dump(path.c_str()) == (size > 0 && valid == 0 && header_read == 0 ? 0 : -1));

  std::remove(plain.c_str());
  const int wrote = prgdecode_write_plain(path.c_str());
  if (wrote == 0) {
    const std::vector<uint8_t> out = read_all(plain);
    require(size >= PRGDECODE_HEADER_SIZE && out.size() == size - PRGDECODE_HEADER_SIZE);
    std::vector<uint8_t> expected(out.size());
    prgdecode_decode(expected.data(), data + PRGDECODE_HEADER_SIZE,
                     static_cast<int32_t>(expected.size()));
    require(out == expected);
  }
  std::remove(plain.c_str());
  std::remove(path.c_str());
  return 0;
}
