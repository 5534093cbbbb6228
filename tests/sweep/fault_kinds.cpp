#include "fault_kinds.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "update_texts.h"
#include "zvitems.h"
#include "zvmsg.h"

namespace {

using zvsim::VirtualDevice;

const uint32_t kOffsetSetBack = 4096;  // bytes an offset moving backwards falls behind
const uint32_t kChecksumError = 1000;  // far outside the 15 that verification allows
const long kBurst = 12;                // more failed transfers than a send's ten tries

// Replies that no firmware should send, each in place of the next reply on the primary
// channel.
std::vector<uint8_t> unknown_item_type() {
  return {ZV_ITEM_CHECKSUM, ZVMSG_BYTES + 2, 0x12, 0x34, 0x56, 0x78};
}
std::vector<uint8_t> truncated_item() {
  std::vector<uint8_t> reply(ZVMSG_CAPACITY, 0);
  reply[0] = ZV_ITEM_FWUP_WINDOW;  // a string whose length runs past the reply
  reply[1] = ZVMSG_BYTES;
  reply[2] = 200;
  return reply;
}
std::vector<uint8_t> oversize_string() {
  std::vector<uint8_t> reply = {ZV_ITEM_PRODUCT, ZVMSG_BYTES, 61};
  reply.resize(3 + 61, 'Z');  // longer than any product name an image can carry
  return reply;
}

void fail_transfers(VirtualDevice &d, int count) {
  d.faults.fail_in = count;
  d.faults.fail_out = count;
}

void nothing(VirtualDevice &) {}

using namespace update_texts;

// The promises, in seconds from the press (README, "When something goes wrong"). A fault-free
// update takes 2 s on the virtual clock: a second's pause before the transfer, and the
// transfer.
const double kPassing = 5;            // passing errors and malformed replies: ridden out
const double kUnplugged = 70;         // the verification's ten reads give up within 67 s
const double kSilent = 60;            // a device that answers nothing
const double kSilentVerifying = 370;  // ... while the checksum is being verified
const double kStuck = 12;             // a device that takes no more data
const double kMismatch = 35;          // three attempts, each verified
const double kNeverConfirms = 45;

const std::vector<const char *> kBoxes = {kNotConnected, kNoProduct, kNoVersion, kNoBuild,
                                          kNoChecksum};
const std::vector<const char *> kPreparing = {kSetClock, kSetFrequency, kGetChecksum};
const std::vector<const char *> kStability = {kGetChecksum, kSend};
const std::vector<const char *> kSending = {kSend};

// Where a device that is lost ends the update, and with which texts.
std::vector<Rule> lost(double within, double verifying) {
  return {{"checks", "*", Outcome::kFails, kBoxes, within},
          {"preparation", "*", Outcome::kFails, kPreparing, within},
          {"stability-reads", "*", Outcome::kFails, kStability, within},
          {"verification", "*", Outcome::kFails, kSending, verifying},
          {"*", "*", Outcome::kFails, kSending, within}};
}

// A single passing error is ridden out everywhere but where it meets what is not retried: a
// read that carries the device's answer (in the verification, the worker's next read may
// still come).
const std::vector<Rule> kOneError = {
    {"verification", "answer", Outcome::kEither, kSending, kPassing},
    {"checks", "answer", Outcome::kFails, kBoxes, kPassing},
    {"stability-reads", "answer", Outcome::kFails, {kGetChecksum}, kPassing},
    {"*", "answer", Outcome::kFails, kSending, kPassing},
    {"*", "*", Outcome::kCompletes, {}, kPassing}};

// More failures than a send's tries: a send or an answer they strike fails; polls are polled
// again.
const std::vector<Rule> kBurstRules = {
    {"checks", "*", Outcome::kEither, kBoxes, kPassing},
    {"preparation", "*", Outcome::kEither, kPreparing, kPassing},
    {"stability-reads", "*", Outcome::kEither, kStability, kPassing},
    {"*", "*", Outcome::kEither, kSending, kPassing}};

// Window or offset stuck: every transfer of data fails after the stall limit; once the image
// is in, nothing asks for the window again.
const std::vector<Rule> kStalled = {{"completion", "*", Outcome::kCompletes, {}, kPassing},
                                    {"verification", "*", Outcome::kCompletes, {}, kPassing},
                                    {"transfer", "*", Outcome::kEither, kSending, kStuck},
                                    {"*", "*", Outcome::kFails, kSending, kStuck}};

const std::vector<Rule> kRiddenOut = {{"*", "*", Outcome::kCompletes, {}, kPassing}};

// A product name longer than any image's, where the checks read the product: not this product.
const std::vector<Rule> kOversize = {{"checks", "*", Outcome::kEither, {kWrongProduct}, kPassing},
                                     {"*", "*", Outcome::kCompletes, {}, kPassing}};

bool matches(const char *pattern, const std::string &value) {
  return std::strcmp(pattern, "*") == 0 || value == pattern;
}

}  // namespace

const std::vector<FaultKind> &fault_kinds() {
  static const std::vector<FaultKind> kinds = {
      {"unplug, replug", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.unplug(); },
       [](VirtualDevice &d) { d.replug(); }, false, 0, lost(kUnplugged, kUnplugged)},
      {"unplug for good", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.unplug(); },
       [](VirtualDevice &d) { d.replug(); }, true, 0, lost(kUnplugged, kUnplugged)},
      {"mute", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.faults.mute = true; },
       [](VirtualDevice &d) { d.faults.mute = false; }, false, 0, lost(kSilent, kSilentVerifying)},
      {"one transfer error", Timing::kAtTransfer, 1, [](VirtualDevice &d) { fail_transfers(d, 1); },
       [](VirtualDevice &d) { fail_transfers(d, 0); }, false, 0, kOneError},
      {"transfer error burst", Timing::kAtTransfer, kBurst,
       [](VirtualDevice &d) { fail_transfers(d, INT_MAX); },
       [](VirtualDevice &d) { fail_transfers(d, 0); }, false, 0, kBurstRules},
      {"window stuck at 0", Timing::kAtTransfer, 0,
       [](VirtualDevice &d) { d.faults.window_stuck_zero = true; },
       [](VirtualDevice &d) { d.faults.window_stuck_zero = false; }, false, 0, kStalled},
      {"offset behind", Timing::kAtTransfer, 0,
       [](VirtualDevice &d) {
         d.faults.offset_behind_replies = INT_MAX;
         d.faults.offset_behind_bytes = kOffsetSetBack;
       },
       [](VirtualDevice &d) { d.faults.offset_behind_replies = 0; }, false, 0, kStalled},
      {"unknown item type", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, unknown_item_type()); }, nothing, false, 0,
       kRiddenOut},
      {"truncated item", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, truncated_item()); }, nothing, false, 0,
       kRiddenOut},
      {"oversize string", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, oversize_string()); }, nothing, false, 0,
       kOversize},
      // Verified wrong twice, the third attempt still verifies; three times, it is reported.
      {"wrong checksum after update",
       Timing::kPerAttempts,
       0,
       [](VirtualDevice &d) { d.faults.checksum_error_after_update = kChecksumError; },
       [](VirtualDevice &d) { d.faults.checksum_error_after_update = 0; },
       false,
       3,
       {{"attempt 3", "*", Outcome::kFails, {kChecksumMismatch}, kMismatch},
        {"*", "*", Outcome::kCompletes, {}, kMismatch}}},
      // A send that fails is not sent again: the first attempt is the only one.
      {"never completes",
       Timing::kPerAttempts,
       0,
       [](VirtualDevice &d) { d.faults.never_complete = true; },
       [](VirtualDevice &d) { d.faults.never_complete = false; },
       false,
       1,
       {{"*", "*", Outcome::kFails, kSending, kNeverConfirms}}},
  };
  return kinds;
}

const Rule *rule_for(const FaultKind &kind, const std::string &stage, const std::string &step) {
  for (const Rule &rule : kind.rules) {
    if (matches(rule.stage, stage) && matches(rule.step, step)) return &rule;
  }
  return nullptr;
}

double longest_within_s(const FaultKind &kind) {
  double longest = 0;
  for (const Rule &rule : kind.rules) longest = std::max(longest, rule.within_s);
  return longest;
}
