// The rules of the checks before an update, from one table.
#include "preflight.h"

#include <gtest/gtest.h>

namespace {

TEST(Preflight, RulesFromOneTable) {
  struct Case {
    const char *why;
    std::string device_product, image_product;
    uint16_t device_version, device_build, image_version, image_build;
    uint32_t device_checksum, image_checksum;
    bool products_match, newer, installed;
  } cases[] = {
      {"newer by version and build", "ZV-16x16", "ZV-16x16", 105, 2204, 106, 2318, 1, 2, true, true,
       false},
      {"equal version and build are not newer", "ZV-16x16", "ZV-16x16", 106, 2318, 106, 2318, 7, 7,
       true, false, true},
      {"a lower version with a higher build is newer", "ZV-16x16", "ZV-16x16", 107, 2000, 106, 2318,
       1, 2, true, true, false},
      {"a higher version with a lower build is newer", "ZV-16x16", "ZV-16x16", 105, 2400, 106, 2318,
       1, 2, true, true, false},
      {"older on both counts", "ZV-16x16", "ZV-16x16", 107, 2400, 106, 2318, 1, 2, true, false,
       false},
      {"compared as unsigned 16-bit numbers", "ZV-16x16", "ZV-16x16", 0x7FFF, 0, 0x8000, 0, 0,
       0xFFFFFFFF, true, true, false},
      {"letter case counts", "zv-16x16", "ZV-16x16", 105, 2204, 106, 2318, 1, 2, false, true,
       false},
      {"a trailing byte counts", std::string("ZV-16x16\0", 9), "ZV-16x16", 105, 2204, 106, 2318, 1,
       2, false, true, false},
      {"a shorter name differs", "ZV-16x1", "ZV-16x16", 105, 2204, 106, 2318, 1, 2, false, true,
       false},
      {"a checksum differing by one is not installed", "ZV-8x8", "ZV-8x8", 0, 0, 0, 0, 100, 101,
       true, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(preflight_products_match(c.device_product, c.image_product), c.products_match);
    EXPECT_EQ(
        preflight_image_is_newer(c.image_version, c.image_build, c.device_version, c.device_build),
        c.newer);
    EXPECT_EQ(preflight_already_installed(c.device_checksum, c.image_checksum), c.installed);
  }
}

}  // namespace
