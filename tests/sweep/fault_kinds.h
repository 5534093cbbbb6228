// The faults that the sweep injects into an update, one kind a row: how each starts, how long
// it lasts and how it is cleared so that the device can be updated again. The device model's
// faults are named in zvsim/virtual_device.h; this table says when the sweep sets them.
#ifndef TESTS_SWEEP_FAULT_KINDS_H
#define TESTS_SWEEP_FAULT_KINDS_H

#include <vector>

#include "virtual_device.h"

enum class Timing {
  kAtTransfer,   // starts at one transfer of the update, at every transfer index in turn
  kPerAttempts,  // holds from the start for 1, 2 or 3 of the worker's send attempts
};

struct FaultKind {
  const char *name;
  Timing timing;
  long lasts;  // transfers it lasts, counting the one it starts at; 0: until cleared
  void (*start)(zvsim::VirtualDevice &device);
  void (*stop)(zvsim::VirtualDevice &device);  // ends it; a device unplugged comes back
  bool stays_away;  // the device is away until cleared: a press meanwhile finds nothing
};

const std::vector<FaultKind> &fault_kinds();

#endif
