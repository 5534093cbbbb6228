#include "update_stages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace zvsim {

namespace {

const UpdateStage kStages[] = {UpdateStage::kChecks,         UpdateStage::kPreparation,
                               UpdateStage::kStabilityReads, UpdateStage::kTransfer,
                               UpdateStage::kCompletion,     UpdateStage::kVerification};

}  // namespace

const char *stage_name(UpdateStage stage) {
  switch (stage) {
    case UpdateStage::kChecks:
      return "checks";
    case UpdateStage::kPreparation:
      return "preparation";
    case UpdateStage::kStabilityReads:
      return "stability-reads";
    case UpdateStage::kTransfer:
      return "transfer";
    case UpdateStage::kCompletion:
      return "completion";
    case UpdateStage::kVerification:
      return "verification";
  }
  return "?";
}

UpdateStage current_stage(const VirtualDevice &d) {
  if (d.taken_over()) return UpdateStage::kVerification;
  if (d.announced_size() > 0 && d.received() >= d.announced_size()) return UpdateStage::kCompletion;
  if (d.announced_size() > 0) return UpdateStage::kTransfer;
  if (d.frequency_settings() > 0) return UpdateStage::kStabilityReads;
  if (d.checksum_answers() > 0) return UpdateStage::kPreparation;
  return UpdateStage::kChecks;
}

bool parse_stage_moment(const std::string &text, StageMoment *out) {
  const size_t plus = text.find('+');
  const std::string name = text.substr(0, plus);
  long n = 0;
  if (plus != std::string::npos) {
    const std::string digits = text.substr(plus + 1);
    char *end = nullptr;
    errno = 0;
    n = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || errno != 0 || *end != '\0' || n < 0 || digits[0] == '-' ||
        digits[0] == '+') {
      return false;
    }
  }
  for (UpdateStage stage : kStages) {
    if (name != stage_name(stage)) continue;
    out->set = true;
    out->stage = stage;
    out->plus = n;
    out->reached_at = -1;
    return true;
  }
  return false;
}

void follow_stage(StageMoment *moment, const VirtualDevice &device, long number, Faults *faults,
                  BusFaults *bus) {
  if (moment->reached_at >= 0) return;
  if (moment->set && !moment->held) {
    // Until the stage begins, nothing that is counted may strike.
    moment->held = true;
    moment->unplug_after = faults->unplug_after_transfers;
    moment->mute_after = bus->mute_after;
    moment->error_after = bus->error_after;
    moment->error_count = bus->error_count;
    faults->unplug_after_transfers = bus->mute_after = -1;
    bus->error_count = 0;
  }
  if (moment->set && current_stage(device) < moment->stage) return;
  moment->reached_at = number;
  if (moment->set) {
    const long by = number + moment->plus;
    faults->unplug_after_transfers = moment->unplug_after < 0 ? -1 : moment->unplug_after + by;
    bus->mute_after = moment->mute_after < 0 ? -1 : moment->mute_after + by;
    bus->error_after = moment->error_after + by;
    bus->error_count = moment->error_count;
  }
  moment->strikes_at = -1;
  for (long count : {faults->unplug_after_transfers, bus->mute_after,
                     bus->error_count > 0 ? bus->error_after : -1L}) {
    if (count >= 0)
      moment->strikes_at = moment->strikes_at < 0 ? count : std::min(moment->strikes_at, count);
  }
}

std::string fault_report_line(const StageMoment &moment, long transfers) {
  if (moment.reached_at < 0) return moment.set ? "fault never struck" : "";
  if (moment.strikes_at < 0) return "";
  if (transfers <= moment.strikes_at) return "fault never struck";
  return "fault struck at transfer: " + std::to_string(moment.strikes_at);
}

}  // namespace zvsim
