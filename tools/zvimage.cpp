// zvimage: make, dump, check and unscramble firmware image files.
//
//   zvimage make OUT --version N --build N [--product NAME] [--date YYYY-MM-DD]
//                    (--size BYTES [--seed N] | --payload FILE)
//   zvimage dump FILE     header fields and the result of the check
//   zvimage check FILE    exit status only (and the diagnostic lines of a bad image)
//   zvimage plain FILE    writes the unscrambled body to FILE.bin
//
// Exit status: 0 success, 1 bad image or failed file operation, 2 bad usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagegen.h"
#include "prgdecode.h"

namespace {

const int kExitBadImage = 1;
const int kExitUsage = 2;

int usage() {
  std::fprintf(stderr,
               "usage: zvimage make OUT --version N --build N [--product NAME]\n"
               "                        [--date YYYY-MM-DD] (--size BYTES [--seed N] | "
               "--payload FILE)\n"
               "       zvimage dump FILE\n"
               "       zvimage check FILE\n"
               "       zvimage plain FILE\n");
  return kExitUsage;
}

bool parse_number(const char *text, unsigned long max, unsigned long *out) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 0);
  if (errno != 0 || *end != '\0' || value > max) return false;
  *out = value;
  return true;
}

bool parse_date(const char *text, imagegen_fields *fields) {
  unsigned year = 0, month = 0, day = 0;
  char rest = 0;
  if (std::sscanf(text, "%u-%u-%u%c", &year, &month, &day, &rest) != 3) return false;
  if (year > 0xFFFF || month < 1 || month > 12 || day < 1 || day > 31) return false;
  fields->year = year;
  fields->month = month;
  fields->day = day;
  return true;
}

bool read_whole_file(const char *name, std::vector<unsigned char> *out) {
  FILE *file = std::fopen(name, "rb");
  if (file == nullptr) return false;
  unsigned char block[65536];
  size_t n = 0;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0)
    out->insert(out->end(), block, block + n);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

int make(int argc, char **argv) {
  if (argc < 1) return usage();
  const char *out_name = argv[0];
  imagegen_fields fields{};
  std::strcpy(fields.product, "ZV-16x16");
  fields.year = 2026;
  fields.month = 1;
  fields.day = 1;
  bool have_version = false, have_build = false, have_size = false;
  unsigned long size = 0, seed = 1;
  const char *payload_name = nullptr;

  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value == nullptr) return usage();
    unsigned long number = 0;
    if (option == "--product") {
      if (std::strlen(value) > PRGDECODE_PRODUCT_SIZE) return usage();
      std::memset(fields.product, 0, sizeof fields.product);
      std::strcpy(fields.product, value);
    } else if (option == "--version") {
      if (!parse_number(value, 0xFFFF, &number)) return usage();
      fields.version = static_cast<unsigned>(number);
      have_version = true;
    } else if (option == "--build") {
      if (!parse_number(value, 0xFFFF, &number)) return usage();
      fields.build = static_cast<unsigned>(number);
      have_build = true;
    } else if (option == "--date") {
      if (!parse_date(value, &fields)) return usage();
    } else if (option == "--size") {
      if (!parse_number(value, 0x7FFFFFFFul, &size) || size < PRGDECODE_FRAME_SIZE) return usage();
      have_size = true;
    } else if (option == "--seed") {
      if (!parse_number(value, 0xFFFFFFFFul, &seed)) return usage();
    } else if (option == "--payload") {
      payload_name = value;
    } else {
      return usage();
    }
  }
  if (!have_version || !have_build || have_size == (payload_name != nullptr)) return usage();

  std::vector<unsigned char> payload;
  if (payload_name != nullptr) {
    if (!read_whole_file(payload_name, &payload)) {
      std::fprintf(stderr, "zvimage: cannot read %s\n", payload_name);
      return kExitBadImage;
    }
  } else {
    payload.resize(size - PRGDECODE_FRAME_SIZE);
    imagegen_pattern(payload.data(), static_cast<uint32_t>(payload.size()),
                     static_cast<uint32_t>(seed));
  }
  const std::vector<unsigned char> image =
      imagegen_build(fields, payload.data(), static_cast<uint32_t>(payload.size()));

  FILE *out = std::fopen(out_name, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "zvimage: cannot create %s\n", out_name);
    return kExitBadImage;
  }
  const bool written = std::fwrite(image.data(), image.size(), 1, out) == 1;
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "zvimage: cannot write %s\n", out_name);
    return kExitBadImage;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return usage();
  const std::string command = argv[1];
  if (command == "make") return make(argc - 2, argv + 2);
  if (argc != 3) return usage();
  if (command == "dump") return prgdecode_dump(argv[2]) == 0 ? 0 : kExitBadImage;
  if (command == "check") return prgdecode_check_file(argv[2]) == 0 ? 0 : kExitBadImage;
  if (command == "plain") return prgdecode_write_plain(argv[2]) == 0 ? 0 : kExitBadImage;
  return usage();
}
