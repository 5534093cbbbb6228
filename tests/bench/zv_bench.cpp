// Speed of the device libraries on the host: image validation, message framing, and a whole
// firmware transfer of the embedded image into the zero-latency virtual device (virtual
// clock, so every figure is host time and nothing sleeps for real).
//
//   build/tests/bench/zv_bench        (scripts/bench gathers it into the benchmark table)
#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

#include "imagegen.h"
#include "prgdecode.h"
#include "stdout_redirect.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zvctl.h"

// Heap allocations are counted while `counting` is set: the transfer must make none. The
// program interposes glibc's allocator, so that malloc and its kin count as well as new
// (libstdc++'s operator new allocates through malloc).
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *p);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void count() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void *malloc(size_t size) {
  count();
  return __libc_malloc(size);
}
void *calloc(size_t n, size_t size) {
  count();
  return __libc_calloc(n, size);
}
void *realloc(void *p, size_t size) {
  count();
  return __libc_realloc(p, size);
}
void *memalign(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void **out, size_t alignment, size_t size) {
  *out = memalign(alignment, size);
  return *out != nullptr ? 0 : ENOMEM;
}
void free(void *p) { __libc_free(p); }
}

namespace {

std::vector<uint8_t> embedded_image() {
  std::ifstream in(UPDATE_BIN_PATH, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An image of 1 MiB, the largest the updater holds.
std::vector<uint8_t> mebibyte_image() {
  return imagegen_image("ZV-16x16", 106, 2318, (1u << 20) - PRGDECODE_FRAME_SIZE, 7);
}

void BM_ImageValidation(benchmark::State &state) {
  const std::vector<uint8_t> image = mebibyte_image();
  for (auto _ : state) {
    benchmark::DoNotOptimize(prgdecode_check(image.data(), static_cast<int32_t>(image.size())));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_ImageValidation);

void BM_FramingChunkMessage(benchmark::State &state) {
  uint8_t chunk[61] = {};
  for (auto _ : state) {
    uint8_t data[ZVMSG_CAPACITY] = {};
    zvmsg_buffer msg;
    zvmsg_attach(&msg, data, ZVMSG_CAPACITY);
    zvmsg_append(&msg, ZV_ITEM_FWUP_DATA, ZVMSG_BYTES, reinterpret_cast<uintptr_t>(chunk), 61);
    zvmsg_append(&msg, 0, ZVMSG_END, 0, 0);
    zvmsg_rewind(&msg);
    int id = 0;
    while (zvmsg_next(&msg, &id, nullptr, nullptr, nullptr) == 0) benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(BM_FramingChunkMessage);

void BM_FirmwareTransfer(benchmark::State &state) {
  const std::vector<uint8_t> image = embedded_image();
  const uint32_t total = static_cast<uint32_t>(image.size());
  zvsim::VirtualDevice device(vclock_now_us);
  device.settings.windows = {static_cast<uint32_t>(state.range(0))};
  usbdevs_virtual_connect(&device);
  usbdevs_device record{};
  usbdevs_device *dev = nullptr;
  zvctl_clear(&record);
  zvctl_reset_search(&record);
  if (zvctl_open_next(&record, &dev) != 0) {
    state.SkipWithError("no virtual device");
    return;
  }
  std::atomic<uint32_t> progress{0};
  double transfers = 0, sleeps = 0, slept_ms = 0, allocated = 0, chunks = 0;
  long failures = 0;
  {
    StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the progress lines
    for (auto _ : state) {
      vclock_reset();
      const long before = device.transfers();
      const long chunks_before = device.chunks();
      allocations = 0;
      counting = true;
      failures += zvctl_fwup(&dev, image.data(), total, &progress) != 0;
      counting = false;
      transfers += static_cast<double>(device.transfers() - before);
      chunks += static_cast<double>(device.chunks() - chunks_before);
      sleeps += static_cast<double>(vclock_sleeps());
      slept_ms += static_cast<double>(vclock_slept_ms());
      allocated += static_cast<double>(allocations.load());
    }
  }
  usbdevs_virtual_connect(nullptr);
  if (failures > 0 || device.firmware() != image) state.SkipWithError("transfer failed");
  const double n = static_cast<double>(state.iterations());
  state.counters["usb_transfers_per_image"] = transfers / n;
  state.counters["sleeps_per_image"] = sleeps / n;
  state.counters["slept_ms_per_image"] = slept_ms / n;
  state.counters["heap_allocations"] = allocated / n;
  state.counters["chunks_per_image"] = chunks / n;
  state.counters["time_per_chunk"] =
      benchmark::Counter(chunks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FirmwareTransfer)->Arg(1024)->Arg(61)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
