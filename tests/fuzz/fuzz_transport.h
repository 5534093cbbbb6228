// The transport of the fuzzers: the device's replies come from the fuzzer's input. Every in
// transfer takes the next 64 bytes (the last, shorter piece zero-padded); once the input is
// used up every transfer fails, so that each input ends quickly despite the poll budgets.
// Out transfers succeed until then and are shown to the target's watcher.
#ifndef TESTS_FUZZ_FUZZ_TRANSPORT_H
#define TESTS_FUZZ_FUZZ_TRANSPORT_H

#include <cstddef>
#include <cstdint>

#include "usbdevs.h"

struct FuzzWatcher {
  virtual ~FuzzWatcher() = default;
  virtual void sent(uint8_t request, const uint8_t *data, uint16_t length) = 0;
  virtual void replied(uint8_t request, const uint8_t *reply, uint16_t length) = 0;
};

// Starts a new input, and opens `record` on it; `watcher` may be null.
usbdevs_device *fuzz_transport_start(usbdevs_device *record, const uint8_t *data, size_t size,
                                     FuzzWatcher *watcher);

// Sends the program's standard output (the libraries' diagnostic lines) to /dev/null.
void fuzz_quiet_stdout();

#endif
