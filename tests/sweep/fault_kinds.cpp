#include "fault_kinds.h"

#include <climits>
#include <cstdint>

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

}  // namespace

const std::vector<FaultKind> &fault_kinds() {
  static const std::vector<FaultKind> kinds = {
      {"unplug, replug", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.unplug(); },
       [](VirtualDevice &d) { d.replug(); }, false},
      {"unplug for good", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.unplug(); },
       [](VirtualDevice &d) { d.replug(); }, true},
      {"mute", Timing::kAtTransfer, 0, [](VirtualDevice &d) { d.faults.mute = true; },
       [](VirtualDevice &d) { d.faults.mute = false; }, false},
      {"one transfer error", Timing::kAtTransfer, 1, [](VirtualDevice &d) { fail_transfers(d, 1); },
       [](VirtualDevice &d) { fail_transfers(d, 0); }, false},
      {"transfer error burst", Timing::kAtTransfer, kBurst,
       [](VirtualDevice &d) { fail_transfers(d, INT_MAX); },
       [](VirtualDevice &d) { fail_transfers(d, 0); }, false},
      {"window stuck at 0", Timing::kAtTransfer, 0,
       [](VirtualDevice &d) { d.faults.window_stuck_zero = true; },
       [](VirtualDevice &d) { d.faults.window_stuck_zero = false; }, false},
      {"offset behind", Timing::kAtTransfer, 0,
       [](VirtualDevice &d) {
         d.faults.offset_behind_replies = INT_MAX;
         d.faults.offset_behind_bytes = kOffsetSetBack;
       },
       [](VirtualDevice &d) { d.faults.offset_behind_replies = 0; }, false},
      {"unknown item type", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, unknown_item_type()); }, nothing, false},
      {"truncated item", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, truncated_item()); }, nothing, false},
      {"oversize string", Timing::kAtTransfer, 1,
       [](VirtualDevice &d) { d.push_raw_reply(0, oversize_string()); }, nothing, false},
      {"wrong checksum after update", Timing::kPerAttempts, 0,
       [](VirtualDevice &d) { d.faults.checksum_error_after_update = kChecksumError; },
       [](VirtualDevice &d) { d.faults.checksum_error_after_update = 0; }, false},
      {"never completes", Timing::kPerAttempts, 0,
       [](VirtualDevice &d) { d.faults.never_complete = true; },
       [](VirtualDevice &d) { d.faults.never_complete = false; }, false},
  };
  return kinds;
}
