#include "fault_stages.h"

#include "update_stages.h"
#include "update_texts.h"

namespace {

using update_texts::kSend;
using update_texts::kSetClock;
const char *const kChecksum = update_texts::kGetChecksum;

}  // namespace

namespace {

using Device = zvsim::VirtualDevice;
using Stage = zvsim::UpdateStage;

// The device has come to `stage` of the update (zvsim/update_stages.h).
template <Stage stage>
bool from(const Device &d, uint32_t, uint16_t) {
  return zvsim::current_stage(d) >= stage;
}

}  // namespace

const std::vector<FaultStage> &update_fault_stages() {
  static const std::vector<FaultStage> stages = {
      // A mute device takes settings (they need no reply), then answers no checksum. The
      // worker's first transfer: armed as the worker starts, since the worker's own tests run
      // it without the checks that the device tells the preparation from.
      {"preparation", from<Stage::kChecks>, 0, kSetClock, kChecksum},
      {"stability reads", from<Stage::kStabilityReads>, 0, kChecksum, kChecksum},
      {"transfer at 0%", from<Stage::kTransfer>, 0, kSend, kSend},
      {"transfer at 50%",
       [](const Device &d, uint32_t size, uint16_t) { return d.received() >= size / 2; }, 0, kSend,
       kSend},
      {"transfer at 99%",
       [](const Device &d, uint32_t size, uint16_t) { return d.received() >= size / 100 * 99; }, 0,
       kSend, kSend},
      {"completion", from<Stage::kCompletion>, 0, kSend, kSend},
      // The device takes the image over as it answers the completion query; the reply is read
      // one transfer later, then the verification reads begin. Ten failed reads use up the
      // attempt, and the next attempt's send fails.
      {"verification", from<Stage::kVerification>, 2, kSend, kSend},
  };
  return stages;
}

void arm_fault(zvsim::VirtualDevice *device, const FaultStage &stage, Fault fault,
               uint32_t image_size, uint16_t new_version) {
  long reached_at = -1;
  device->settings.on_transfer = [device, stage, fault, image_size, new_version,
                                  reached_at]() mutable {
    if (!device->plugged() || device->faults.mute) return;
    if (reached_at < 0 && stage.reached(*device, image_size, new_version)) {
      reached_at = device->transfers();
    }
    if (reached_at < 0 || device->transfers() < reached_at + stage.later) return;
    if (fault == Fault::kUnplug) {
      device->unplug();
    } else {
      device->faults.mute = true;
    }
  };
}

const char *fault_name(Fault fault) { return fault == Fault::kUnplug ? "unplugged" : "mute"; }
