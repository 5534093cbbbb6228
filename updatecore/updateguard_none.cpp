// Platforms without a way that the updater knows to hold off sleep and shutdown: the guard
// holds nothing, and says so once.
#include <cstdio>

#include "updateguard.h"

struct UpdateGuard::Hold {};

UpdateGuard::UpdateGuard() = default;
UpdateGuard::~UpdateGuard() = default;

void UpdateGuard::begin(uintptr_t) {
  std::printf(
      "updatecore\\updateguard_none.cpp:%d:ERROR sleep and shutdown are not held off here\n",
      __LINE__);
}

void UpdateGuard::end() { hold_.reset(); }

WorkerAwake::WorkerAwake() = default;
WorkerAwake::~WorkerAwake() = default;
