// The image tool as a program, and the image it makes for the build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "imagegen.h"
#include "prgdecode.h"
#include "test_support.h"
#include "zv_build_values.h"

namespace {

struct RunResult {
  int status;
  std::string out;
};

RunResult run_tool(const std::string &args) {
  const std::string command = std::string(ZVIMAGE_PATH) + " " + args + " 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  std::string out;
  char block[4096];
  size_t n = 0;
  while ((n = std::fread(block, 1, sizeof block, pipe)) > 0) out.append(block, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ZvimageTool, MakeCheckPlainGivesBackThePayload) {
  ScratchFile payload("tool_payload");
  std::vector<unsigned char> bytes(5000);
  imagegen_pattern(bytes.data(), 5000, 1234);
  payload.write(bytes);
  ScratchFile image("tool_image");

  ASSERT_EQ(run_tool("make " + image.path() +
                     " --product ZV-8 --version 201 --build 9 --date 2025-02-03"
                     " --payload " +
                     payload.path())
                .status,
            0);
  EXPECT_EQ(run_tool("check " + image.path()).status, 0);
  ASSERT_EQ(run_tool("plain " + image.path()).status, 0);
  const std::vector<unsigned char> plain = read_file_bytes(image.path() + ".bin");
  ASSERT_EQ(plain.size(), bytes.size() + 4);  // the plain trailer follows the payload
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), plain.begin()));

  const RunResult dump = run_tool("dump " + image.path());
  EXPECT_EQ(dump.status, 0);
  EXPECT_THAT(dump.out,
              testing::HasSubstr("product: ZV-8\nversion: 201\nbuild: 9\ndate: 2025/2/3\n"));
  EXPECT_THAT(dump.out, testing::EndsWith("OK\n"));
}

TEST(ZvimageTool, GeneratedPayloadIsDeterministic) {
  ScratchFile a("tool_gen_a"), b("tool_gen_b");
  ASSERT_EQ(run_tool("make " + a.path() + " --version 1 --build 2 --size 1000 --seed 5").status, 0);
  ASSERT_EQ(run_tool("make " + b.path() + " --version 1 --build 2 --size 1000 --seed 5").status, 0);
  EXPECT_EQ(a.read(), b.read());
  EXPECT_EQ(a.read().size(), 1000u);
}

TEST(ZvimageTool, ExitStatusSaysUsageOrBadImage) {
  ScratchFile image("tool_bad");
  ASSERT_EQ(run_tool("make " + image.path() + " --version 1 --build 2 --size 100").status, 0);
  std::vector<unsigned char> bytes = image.read();
  bytes[50] ^= 0x40;
  image.write(bytes);
  EXPECT_EQ(run_tool("check " + image.path()).status, 1);
  EXPECT_EQ(run_tool("dump " + image.path()).status, 1);
  EXPECT_EQ(run_tool("check /nonexistent/zv").status, 1);

  const char *bad_usage[] = {
      "",
      "frobnicate x",
      "check",
      "check a b",
      "make x --version 1",                                   // no build, no payload
      "make x --version 1 --build 2",                         // neither size nor payload
      "make x --version 1 --build 2 --size 100 --payload y",  // both
      "make x --version 70000 --build 2 --size 100",          // version beyond 16 bits
      "make x --version 1 --build 2 --size 35",               // smaller than header and trailer
      "make x --version 1 --build 2 --size 100 --product TOOLONGNAME",
      "make x --version 1 --build 2 --size 100 --date 2026-13-01",
      "make x --version 1 --build 2 --size 100 --colour blue",
  };
  for (const char *args : bad_usage) EXPECT_EQ(run_tool(args).status, 2) << args;
}

TEST(EmbeddedImage, IsAValidZv16x16ImageOfTheShippedSize) {
  const std::vector<unsigned char> image = read_file_bytes(UPDATE_BIN_PATH);
  ASSERT_EQ(image.size(), 606240u);
  EXPECT_EQ(prgdecode_check(image.data(), static_cast<int32_t>(image.size())), 0);
  char product[9];
  prgdecode_product(image.data(), product, sizeof product);
  EXPECT_STREQ(product, "ZV-16x16");
  EXPECT_EQ(prgdecode_version(image.data()), unsigned(ZV_IMAGE_VERSION));
  EXPECT_EQ(prgdecode_build(image.data()), unsigned(ZV_IMAGE_BUILD));
  // Newer than the firmware the virtual device starts with.
  EXPECT_GT(ZV_IMAGE_VERSION, ZV_SIM_START_VERSION);
  // A sum far from zero, so that a device reading 0 cannot pass for a verified update.
  EXPECT_GT(prgdecode_checksum(image.data()), 1000000u);

  const RunResult dump = run_tool(UPDATE_BIN_PATH " dump");
  EXPECT_EQ(dump.status, 2);  // arguments in the wrong order are a usage error
  const RunResult good = run_tool(std::string("dump ") + UPDATE_BIN_PATH);
  EXPECT_EQ(good.status, 0);
  EXPECT_THAT(good.out, testing::EndsWith("test checksum...\nOK\n"));
}

}  // namespace
