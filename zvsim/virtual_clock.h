// The virtual clock of the test programs. zvsleep_ms advances it instead of sleeping, so a
// 6000-poll checksum budget runs in microseconds; the virtual device reads it.
#ifndef ZVSIM_VIRTUAL_CLOCK_H
#define ZVSIM_VIRTUAL_CLOCK_H

#include <cstdint>

uint64_t vclock_now_us();
void vclock_reset();
long vclock_sleeps();        // sleeps taken since the last reset
uint64_t vclock_slept_ms();  // their total length
// Counts of sleeps of one length since the last reset (e.g. how many 5 ms sleeps).
long vclock_sleeps_of(unsigned milliseconds);
// Moves the clock on without a sleep: time spent elsewhere, e.g. a transfer's bus latency.
void vclock_advance_us(uint64_t microseconds);

#endif
