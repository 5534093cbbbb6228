// The stages of an update as the virtual ZV-16x16 itself tells them apart, at the start of
// each transfer, from what it has been told and has answered: the checks, the preparation
// (from the checks' checksum answer on), the stability reads (from the sample rate's
// setting on), the transfer (from the image's size on), its completion (every byte in) and
// the verification (the image taken over). The hosts strike a fault at a stage
// (--fault-at-stage), and the fault sweep and the tests name where a fault struck by them.
#ifndef ZVSIM_UPDATE_STAGES_H
#define ZVSIM_UPDATE_STAGES_H

#include <string>

#include "bus_faults.h"
#include "virtual_device.h"

namespace zvsim {

enum class UpdateStage {
  kChecks,
  kPreparation,
  kStabilityReads,
  kTransfer,
  kCompletion,
  kVerification
};

// "checks", "preparation", "stability-reads", "transfer", "completion", "verification".
const char *stage_name(UpdateStage stage);

// The stage that a transfer starting now belongs to.
UpdateStage current_stage(const VirtualDevice &device);

// Where counted faults strike: --fault-at-stage NAME[+N].
struct StageMoment {
  bool set = false;
  UpdateStage stage = UpdateStage::kChecks;
  long plus = 0;
  long reached_at = -1;  // the transfer at which the stage began, once it has
  long strikes_at = -1;  // the transfer at which the first counted fault strikes, once known
  // The counted faults as given, held back until the stage begins.
  bool held = false;
  long unplug_after = -1, mute_after = -1, error_after = 0, error_count = 0;
};

// Parses "NAME" or "NAME+N"; false for anything else.
bool parse_stage_moment(const std::string &text, StageMoment *out);

// Called by a host before vendor transfer `number` (counted from 0). Without a stage, the
// counted faults (`faults`' unplug, `bus`' silence and errors) strike where their counts say.
// With one, the first time the device is in its stage they are moved to count from this
// transfer plus the moment's N. Either way `strikes_at` then says where the first strikes.
void follow_stage(StageMoment *moment, const VirtualDevice &device, long number, Faults *faults,
                  BusFaults *bus);

// The host's last line about the fault, for its report: "fault struck at transfer: K", or
// "fault never struck" (its stage never came, or the update ended before it); empty when no
// counted fault was given. `transfers` is how many vendor transfers the host saw.
std::string fault_report_line(const StageMoment &moment, long transfers);

}  // namespace zvsim

#endif
