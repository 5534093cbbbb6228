#include "virtual_clock.h"

#include <atomic>

#include "zvsleep.h"

namespace {

// Atomic because the application's worker thread sleeps while the GUI thread may read.
std::atomic<uint64_t> now_us{0};
std::atomic<long> sleeps{0};
std::atomic<uint64_t> slept_ms{0};
std::atomic<long> sleeps_by_length[1001];  // 0 .. 1000 ms; longer ones are not counted by length

}  // namespace

uint64_t vclock_now_us() { return now_us.load(std::memory_order_relaxed); }

void vclock_reset() {
  now_us = 0;
  sleeps = 0;
  slept_ms = 0;
  for (auto &count : sleeps_by_length) count = 0;
}

long vclock_sleeps() { return sleeps.load(); }
uint64_t vclock_slept_ms() { return slept_ms.load(); }
long vclock_sleeps_of(unsigned milliseconds) {
  return milliseconds <= 1000 ? sleeps_by_length[milliseconds].load() : 0;
}

void vclock_advance_us(uint64_t microseconds) {
  now_us.fetch_add(microseconds, std::memory_order_relaxed);
}

void zvsleep_ms(unsigned milliseconds) {
  now_us.fetch_add(uint64_t(milliseconds) * 1000, std::memory_order_relaxed);
  sleeps.fetch_add(1, std::memory_order_relaxed);
  slept_ms.fetch_add(milliseconds, std::memory_order_relaxed);
  if (milliseconds <= 1000) sleeps_by_length[milliseconds].fetch_add(1, std::memory_order_relaxed);
}
