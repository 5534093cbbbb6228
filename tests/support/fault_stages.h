// The moments of an update at which the device can be lost, with the final text that the
// update worker gives for each: the fault matrix that the worker's and the window's tests
// share. The stages are the device's own (zvsim/update_stages.h), with two points inside
// the transfer. A moment is reached when `reached` first holds at the start of a transfer;
// the fault strikes `later` transfers after that.
#ifndef TESTS_SUPPORT_FAULT_STAGES_H
#define TESTS_SUPPORT_FAULT_STAGES_H

#include <cstdint>
#include <vector>

#include "virtual_device.h"

enum class Fault { kUnplug, kMute };

struct FaultStage {
  const char *name;
  bool (*reached)(const zvsim::VirtualDevice &device, uint32_t image_size, uint16_t new_version);
  int later;
  const char *unplugged_text;
  const char *muted_text;
};

// From the first transfer after the confirmation to the verification reads.
const std::vector<FaultStage> &update_fault_stages();

// Arms `fault` to strike when `stage` is reached; from then on the device stays lost.
void arm_fault(zvsim::VirtualDevice *device, const FaultStage &stage, Fault fault,
               uint32_t image_size, uint16_t new_version);

const char *fault_name(Fault fault);

#endif
