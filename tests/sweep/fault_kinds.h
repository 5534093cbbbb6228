// The faults that the sweep injects into an update, one kind a row: how each starts, how long
// it lasts and how it is cleared so that the device can be updated again, and what the user
// must be told wherever it strikes. The device model's faults are named in
// zvsim/virtual_device.h; this table says when the sweep sets them and what must come of it.
#ifndef TESTS_SWEEP_FAULT_KINDS_H
#define TESTS_SWEEP_FAULT_KINDS_H

#include <string>
#include <vector>

#include "virtual_device.h"

enum class Timing {
  kAtTransfer,   // starts at one transfer of the update, at every transfer index in turn
  kPerAttempts,  // holds from the start for 1 to `attempts` of the worker's send attempts
};

enum class Outcome { kCompletes, kFails, kEither };

// What a run must come to when its fault strikes at `stage` (of the update, as the device
// tells them apart: zvsim/update_stages.h; or "attempt N") and at `step`: the transfer it
// strikes is a "send", a "poll" (a read whose reply says only whether the device is busy) or
// an "answer" (a read whose reply carries what was asked). "*" matches any. The first rule of
// a kind that matches holds.
struct Rule {
  const char *stage;
  const char *step;
  Outcome outcome;
  std::vector<const char *> texts;  // the failure texts allowed where it fails
  // The longest the press may take, on the virtual clock: the promise of the README's
  // "When something goes wrong", in plain seconds.
  double within_s;
};

struct FaultKind {
  const char *name;
  Timing timing;
  long lasts;  // transfers it lasts, counting the one it starts at; 0: until cleared
  void (*start)(zvsim::VirtualDevice &device);
  void (*stop)(zvsim::VirtualDevice &device);  // ends it; a device unplugged comes back
  bool stays_away;  // the device is away until cleared: a press meanwhile finds nothing
  int attempts;     // kPerAttempts: how many distinct runs (1, 2, ... attempts)
  std::vector<Rule> rules;
};

const std::vector<FaultKind> &fault_kinds();

// The rule of `kind` for a fault at `stage` and `step`; null when none matches.
const Rule *rule_for(const FaultKind &kind, const std::string &stage, const std::string &step);

// The longest any rule of `kind` allows.
double longest_within_s(const FaultKind &kind);

#endif
