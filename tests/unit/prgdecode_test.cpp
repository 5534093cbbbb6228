#include "prgdecode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>

#include "imagegen.h"
#include "test_support.h"

namespace {

using testing::HasSubstr;

// The images of these tests: their header fields, with a payload of the test pattern.
const imagegen_fields kFields = {"ZV-16x16", 105, 42, 2026, 11, 20};

void put_be32(std::vector<unsigned char> &image, size_t at, uint32_t v) {
  image[at] = static_cast<unsigned char>(v >> 24);
  image[at + 1] = static_cast<unsigned char>(v >> 16);
  image[at + 2] = static_cast<unsigned char>(v >> 8);
  image[at + 3] = static_cast<unsigned char>(v);
}

// Every diagnostic line names this module's source path.
const std::regex kDiagLine(R"(zvtest\\prgdecode\.cpp:\d+:ERROR\n)");

struct CheckCase {
  const char *name;
  std::vector<unsigned char> buffer;
  int32_t length;  // the length passed to the check
  int result;
  const char *second;  // the values line after the diagnostic, or "" for none
};

class CheckBoundaries : public testing::TestWithParam<int> {};

std::vector<CheckCase> check_cases() {
  std::vector<CheckCase> cases;
  std::vector<unsigned char> big(64, 0);
  put_be32(big, 20, 35);
  cases.push_back({"length 0", big, 0, 1, "check size = 0, fw_size = 0\n"});
  cases.push_back(
      {"length 23 (size not yet readable)", big, 23, 1, "check size = 0, fw_size = 23\n"});
  cases.push_back({"length 35", big, 35, 1, "check size = 0, fw_size = 35\n"});
  // From 24 bytes on the size field is read, and its checks come first, in their order.
  std::vector<unsigned char> short_buffer(64, 0);
  cases.push_back({"length 30 with size 0", short_buffer, 30, 1, ""});
  put_be32(short_buffer, 20, 31);
  cases.push_back({"length 30 with a larger size", short_buffer, 30, 1, ""});
  put_be32(short_buffer, 20, 30);
  cases.push_back(
      {"length 30 with size 30", short_buffer, 30, 1, "check size = 0, fw_size = 30\n"});
  cases.push_back({"length 24 with size 24",
                   [] {
                     std::vector<unsigned char> b(24, 0);
                     b[23] = 24;
                     return b;
                   }(),
                   24, 1, "check size = 0, fw_size = 24\n"});

  std::vector<unsigned char> empty_payload = imagegen_image(kFields, 0, 7);
  cases.push_back({"36 bytes, no payload", empty_payload, 36, 0, ""});

  std::vector<unsigned char> too_big = imagegen_image(kFields, 100, 7);
  put_be32(too_big, 20, 137);
  cases.push_back({"size above the file", too_big, 136, 1, ""});

  std::vector<unsigned char> zero = imagegen_image(kFields, 100, 7);
  put_be32(zero, 20, 0);
  cases.push_back({"size 0", zero, 136, 1, ""});

  std::vector<unsigned char> small = imagegen_image(kFields, 100, 7);
  put_be32(small, 20, 35);
  cases.push_back({"size below 36 in a longer file", small, 136, 1, ""});
  put_be32(small, 20, 4);
  cases.push_back({"size 4 would put the trailer in the header", small, 136, 1, ""});

  std::vector<unsigned char> extra = imagegen_image(kFields, 100, 7);
  extra.insert(extra.end(), {1, 2, 3, 4, 5});
  cases.push_back({"bytes after size are ignored", extra, 141, 0, ""});
  return cases;
}

TEST(PrgdecodeCheck, LengthAndSizeBoundaries) {
  for (const CheckCase &c : check_cases()) {
    SCOPED_TRACE(c.name);
    int result = -5;
    const std::string out =
        capture_stdout([&] { result = prgdecode_check(c.buffer.data(), c.length); });
    EXPECT_EQ(result, c.result);
    if (c.result == 0) {
      EXPECT_EQ(out, "");
    } else {
      std::smatch m;
      ASSERT_TRUE(std::regex_search(out, m, kDiagLine)) << out;
      EXPECT_EQ(m.position(0), 0);
      EXPECT_EQ(out.substr(static_cast<size_t>(m.length(0))), c.second);
    }
  }
}

TEST(PrgdecodeCheck, NullImageFails) {
  const std::string out = capture_stdout([] { EXPECT_EQ(prgdecode_check(nullptr, 100), 1); });
  EXPECT_EQ(count_error_lines(out), 1);
}

TEST(PrgdecodeCheck, SumMismatchPrintsRealAndHeaderSums) {
  std::vector<unsigned char> image = imagegen_image(kFields, 200, 7);
  const uint32_t sum = prgdecode_checksum(image.data());
  put_be32(image, 16, sum + 1);
  const std::string out = capture_stdout(
      [&] { EXPECT_EQ(prgdecode_check(image.data(), static_cast<int32_t>(image.size())), 1); });
  char expected[128];
  std::snprintf(expected, sizeof expected, "check_size = 200, real sum = %#lx, hdr sum = %#lx\n",
                static_cast<unsigned long>(sum), static_cast<unsigned long>(sum + 1));
  EXPECT_THAT(out, testing::EndsWith(expected));
  EXPECT_EQ(count_error_lines(out), 1);
}

TEST(PrgdecodeCheck, TrailerMismatchPrintsTrailerInPlaceOfRealSum) {
  std::vector<unsigned char> image = imagegen_image(kFields, 50, 7);
  const uint32_t sum = prgdecode_checksum(image.data());
  unsigned char plain_trailer[4] = {0x12, 0x34, 0x56, 0x78};
  prgdecode_encode(image.data() + image.size() - 4, plain_trailer, 4);
  const std::string out = capture_stdout(
      [&] { EXPECT_EQ(prgdecode_check(image.data(), static_cast<int32_t>(image.size())), 1); });
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "check_size = 50, real sum = 0x12345678, hdr sum = %#lx\n",
                static_cast<unsigned long>(sum));
  EXPECT_THAT(out, testing::EndsWith(expected));
}

TEST(PrgdecodeCheck, AnySingleByteChangeOfPayloadOrTrailerFails) {
  const std::vector<unsigned char> image = imagegen_image(kFields, 1000, 99);
  ASSERT_EQ(prgdecode_check(image.data(), static_cast<int32_t>(image.size())), 0);
  for (size_t at = 32; at < image.size(); ++at) {
    std::vector<unsigned char> copy = image;
    copy[at] ^= 0x01;
    int result = 0;
    capture_stdout(
        [&] { result = prgdecode_check(copy.data(), static_cast<int32_t>(copy.size())); });
    ASSERT_EQ(result, 1) << "byte " << at;
  }
}

TEST(PrgdecodeCheck, SumWrapsAtThirtyTwoBits) {
  // 16,843,010 plain bytes of 0xFF sum to 2^32 + 254: the header must hold 254.
  const uint32_t payload_size = 16843010u;
  std::vector<unsigned char> plain(payload_size, 0xFF);
  imagegen_fields fields{};
  const std::vector<unsigned char> image = imagegen_build(fields, plain.data(), payload_size);
  EXPECT_EQ(prgdecode_checksum(image.data()), 254u);
  EXPECT_EQ(prgdecode_check(image.data(), static_cast<int32_t>(image.size())), 0);
}

TEST(PrgdecodeCheck, ImageIsNotModified) {
  const std::vector<unsigned char> image = imagegen_image(kFields, 300, 7);
  std::vector<unsigned char> copy = image;
  EXPECT_EQ(prgdecode_check(copy.data(), static_cast<int32_t>(copy.size())), 0);
  EXPECT_EQ(copy, image);
}

TEST(PrgdecodeHeader, AccessorsReadBigEndianFields) {
  const unsigned char header[32] = {'Z',  'V',  '-',  '1',  '6', 'x', '1', '6',
                                    0x04, 0xD2,              // version 1234
                                    0x00, 0x07,              // build 7
                                    0x07, 0xEA, 11,   20,    // 2026-11-20
                                    0xDE, 0xAD, 0xBE, 0xEF,  // checksum
                                    0x00, 0x09, 0x40, 0x20,  // size 606240
                                    1,    2,    3,    4,    5,   6,   7,   8};
  EXPECT_EQ(prgdecode_version(header), 1234u);
  EXPECT_EQ(prgdecode_build(header), 7u);
  EXPECT_EQ(prgdecode_year(header), 2026u);
  EXPECT_EQ(prgdecode_month(header), 11u);
  EXPECT_EQ(prgdecode_day(header), 20u);
  EXPECT_EQ(prgdecode_checksum(header), 0xDEADBEEFu);
  EXPECT_EQ(prgdecode_size(header), 606240u);
  EXPECT_EQ(prgdecode_payload_size(header), 606204);
}

TEST(PrgdecodeHeader, ProductNeedsNineBytes) {
  const unsigned char header[32] = {'Z', 'V', '-', '1', '6', 'x', '1', '6', 0xFF};
  char dst[12];
  std::memset(dst, 'x', sizeof dst);
  std::string out = capture_stdout([&] { EXPECT_EQ(prgdecode_product(header, dst, 8), -1); });
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(dst[0], 'x');

  out = capture_stdout([&] { EXPECT_EQ(prgdecode_product(header, dst, 9), 0); });
  EXPECT_EQ(out, "");
  EXPECT_STREQ(dst, "ZV-16x16");
  EXPECT_EQ(dst[9], 'x');  // nothing past the terminator
}

TEST(PrgdecodeHeader, CopyHeaderReturnsLengthAlsoWithoutSource) {
  unsigned char dst[32];
  std::memset(dst, 0xAA, sizeof dst);
  EXPECT_EQ(prgdecode_copy_header(dst, nullptr), 32);
  EXPECT_EQ(dst[0], 0xAA);
  const std::vector<unsigned char> image = imagegen_image(kFields, 10, 7);
  EXPECT_EQ(prgdecode_copy_header(dst, image.data()), 32);
  EXPECT_EQ(std::memcmp(dst, image.data(), 32), 0);
}

TEST(PrgdecodeSubstitution, IsAPermutationOtherThanIdentity) {
  unsigned char all[256], plain[256], back[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(prgdecode_decode(plain, all, 256), 256);
  EXPECT_EQ(std::set<unsigned char>(plain, plain + 256).size(), 256u);
  int fixed_points = 0;
  for (int i = 0; i < 256; ++i) fixed_points += plain[i] == i;
  EXPECT_LT(fixed_points, 256);
  prgdecode_encode(back, plain, 256);
  EXPECT_EQ(std::memcmp(back, all, 256), 0);
  std::memset(plain, 0xAA, sizeof plain);
  EXPECT_EQ(prgdecode_decode(plain, all, 0), 0);
  EXPECT_EQ(prgdecode_decode(plain, all, -3), -3);  // the count, as for any other count
  EXPECT_EQ(std::set<unsigned char>(plain, plain + 256), std::set<unsigned char>{0xAA});
}

TEST(PrgdecodeFiles, LoadFileFailuresAndSuccess) {
  ScratchFile empty("prg_empty");
  empty.write({});
  int32_t length = 77;
  std::string out =
      capture_stdout([&] { EXPECT_EQ(prgdecode_load_file(empty.c_str(), &length), nullptr); });
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_EQ(length, 77);

  out = capture_stdout(
      [&] { EXPECT_EQ(prgdecode_load_file("/nonexistent/zv/image", &length), nullptr); });
  EXPECT_EQ(count_error_lines(out), 1);

  ScratchFile three("prg_three");
  three.write({1, 2, 3});
  unsigned char *bytes = prgdecode_load_file(three.c_str(), &length);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(bytes[2], 3);
  std::free(bytes);
  bytes = prgdecode_load_file(three.c_str(), nullptr);
  EXPECT_NE(bytes, nullptr);
  std::free(bytes);
}

TEST(PrgdecodeFiles, ReadHeaderNeedsThirtyTwoBytes) {
  ScratchFile file("prg_hdr");
  file.write(std::vector<unsigned char>(31, 0x55));
  unsigned char header[32];
  std::memset(header, 0xAA, sizeof header);
  std::string out =
      capture_stdout([&] { EXPECT_EQ(prgdecode_read_header(header, file.c_str()), 1); });
  EXPECT_EQ(count_error_lines(out), 1);
  file.write(imagegen_image(kFields, 4, 7));
  EXPECT_EQ(prgdecode_read_header(header, file.c_str()), 0);
  EXPECT_EQ(prgdecode_size(header), 40u);
  out = capture_stdout([&] { EXPECT_EQ(prgdecode_read_header(header, "/nonexistent/zv"), 1); });
  EXPECT_EQ(header[0], 0);  // zero-filled before the attempt
}

TEST(PrgdecodeFiles, CheckFileLoadsAndChecks) {
  ScratchFile file("prg_checkfile");
  std::vector<unsigned char> image = imagegen_image(kFields, 64, 7);
  file.write(image);
  EXPECT_EQ(prgdecode_check_file(file.c_str()), 0);
  image[40] ^= 0xFF;
  file.write(image);
  capture_stdout([&] { EXPECT_EQ(prgdecode_check_file(file.c_str()), 1); });
  capture_stdout([&] { EXPECT_EQ(prgdecode_check_file("/nonexistent/zv"), 1); });
}

TEST(PrgdecodeFiles, WritePlainUnscramblesEverythingAfterTheHeader) {
  ScratchFile file("prg_plain");
  std::vector<unsigned char> image = imagegen_image(kFields, 100, 3);
  image.push_back(0x10);  // bytes past `size` are unscrambled too
  file.write(image);
  ASSERT_EQ(prgdecode_write_plain(file.c_str()), 0);
  const std::vector<unsigned char> plain = read_file_bytes(file.path() + ".bin");
  ASSERT_EQ(plain.size(), image.size() - 32);
  std::vector<unsigned char> expected(100);
  imagegen_pattern(expected.data(), 100, 3);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), plain.begin()));
  unsigned char last = 0;
  prgdecode_decode(&last, &image.back(), 1);
  EXPECT_EQ(plain.back(), last);
}

TEST(PrgdecodeFiles, WritePlainOfShortFiles) {
  ScratchFile file("prg_plain_short");
  file.write(std::vector<unsigned char>(31, 1));
  const std::string out =
      capture_stdout([&] { EXPECT_EQ(prgdecode_write_plain(file.c_str()), 1); });
  EXPECT_EQ(count_error_lines(out), 1);
  EXPECT_FALSE(file_exists(file.path() + ".bin"));

  file.write(std::vector<unsigned char>(32, 1));
  EXPECT_EQ(prgdecode_write_plain(file.c_str()), 0);
  EXPECT_TRUE(file_exists(file.path() + ".bin"));
  EXPECT_TRUE(read_file_bytes(file.path() + ".bin").empty());
}

TEST(PrgdecodeFiles, DumpPrintsHeaderThenVerdict) {
  ScratchFile file("prg_dump");
  std::vector<unsigned char> image = imagegen_image(kFields, 0, 7);
  file.write(image);
  std::string out = capture_stdout([&] { EXPECT_EQ(prgdecode_dump(file.c_str()), 0); });
  EXPECT_EQ(out, "filename: " + file.path() +
                     "\nproduct: ZV-16x16\nversion: 105\nbuild: 42\ndate: 2026/11/20\n"
                     "checksum: 0\nsize: 36\ntest checksum...\nOK\n");

  image[35] ^= 1;  // a trailer byte
  file.write(image);
  out = capture_stdout([&] { EXPECT_EQ(prgdecode_dump(file.c_str()), -1); });
  EXPECT_THAT(out, HasSubstr("test checksum...\n"));
  EXPECT_THAT(out, HasSubstr("\nNG\n"));
  EXPECT_EQ(count_error_lines(out), 2);  // the check's own line and the dump's

  out = capture_stdout([&] { EXPECT_EQ(prgdecode_dump("/nonexistent/zv"), -1); });
  EXPECT_THAT(out, testing::StartsWith("filename: /nonexistent/zv\n"));
  EXPECT_THAT(out, testing::Not(HasSubstr("product:")));
}

}  // namespace
