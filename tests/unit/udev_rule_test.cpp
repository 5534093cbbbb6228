// The udev rule that gives the desktop user the interface, as the build generates it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "usbdevs_ids.h"

namespace {

std::vector<std::string> rule_lines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> rules;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') rules.push_back(line);
  }
  return rules;
}

std::string hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

TEST(UdevRule, SortsBeforeTheSeatRulesThatTurnTheTagIntoAccess) {
  const std::string path = ZV_UDEV_RULE;
  const std::string name = path.substr(path.rfind('/') + 1);
  ASSERT_TRUE(std::regex_match(name, std::regex("[0-9][0-9]-[a-z0-9-]+\\.rules"))) << name;
  EXPECT_LT(std::stoi(name.substr(0, 2)), 73);  // systemd's 73-seat-late.rules
  EXPECT_EQ(std::string(ZV_UDEV_RULES_DIR).rfind("/etc", 0), std::string::npos);
  EXPECT_TRUE(std::regex_match(ZV_UDEV_RULES_DIR, std::regex("/(usr/)?lib/udev/rules\\.d")));
}

TEST(UdevRule, OneRuleNamingTheHeadersIdsAndNothingButTheTag) {
  const std::vector<std::string> rules = rule_lines(ZV_UDEV_RULE);
  ASSERT_EQ(rules.size(), 1u);
  const std::string &rule = rules[0];
  std::smatch ids;
  ASSERT_TRUE(std::regex_search(
      rule, ids,
      std::regex("ATTR\\{idVendor\\}==\"([^\"]*)\", ATTR\\{idProduct\\}==\"([^\"]*)\"")));
  EXPECT_EQ(ids[1], hex4(ZV_USB_VENDOR_ID));
  EXPECT_EQ(ids[2], hex4(ZV_USB_PRODUCT_ID));
  for (const char *match :
       {"SUBSYSTEM==\"usb\"", "ENV{DEVTYPE}==\"usb_device\"", "TAG+=\"uaccess\""})
    EXPECT_NE(rule.find(match), std::string::npos) << match;
  for (const char *absent : {"MODE", "GROUP", "ACTION", "OWNER"})
    EXPECT_EQ(rule.find(absent), std::string::npos) << absent;
}

}  // namespace
