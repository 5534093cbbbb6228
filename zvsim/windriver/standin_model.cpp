// zv16x16-standin-model.dll: the virtual ZV-16x16 behind the stand-in driver. It reads the
// host's command line from the registry when the device is plugged in, and applies the
// faults of the link (a silent device, failing transfers) that on Linux the emulated bus
// applies.
#include "standin_model.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_report.h"
#include "host_options.h"
#include "virtual_device.h"

namespace {

// How long a driver waits for a device that does not answer before failing the request; the
// libusb transport's time-out on Linux is the same.
const std::chrono::milliseconds kSilentDeviceTimeout(1000);

uint64_t real_clock_us() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

struct Standin {
  zvsim::HostOptions options;
  zvsim::VirtualDevice model{real_clock_us};
  long vendor_transfers = 0;
};

std::mutex lock;
std::unique_ptr<Standin> standins[ZV_STANDIN_MAX_UNITS];

// The unit's stand-in, or null; under `lock`.
Standin *unit_standin(int unit) {
  return unit >= 0 && unit < ZV_STANDIN_MAX_UNITS ? standins[unit].get() : nullptr;
}

// The host's arguments, one per string of the REG_MULTI_SZ value.
bool read_arguments(std::vector<std::string> *arguments) {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, ZV_STANDIN_OPTIONS_KEY, ZV_STANDIN_OPTIONS_VALUE,
                   RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
    return bytes == 0;  // no value: the defaults
  }
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, L'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, ZV_STANDIN_OPTIONS_KEY, ZV_STANDIN_OPTIONS_VALUE,
                   RRF_RT_REG_MULTI_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  for (const wchar_t *s = text.data(); *s != L'\0'; s += std::wcslen(s) + 1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string argument(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, &argument[0], size, nullptr, nullptr);
    argument.resize(std::strlen(argument.c_str()));
    arguments->push_back(argument);
  }
  return true;
}

}  // namespace

extern "C" {

int __stdcall standin_model_start(int unit) {
  std::vector<std::string> arguments{"zv16x16-standin"};
  if (!read_arguments(&arguments)) {
    std::fprintf(stderr, "zv16x16-standin: the host's options cannot be read\n");
    return -1;
  }
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  zvsim::HostOptions options;
  const zvsim::HostUsage usage{"zv16x16-standin", "", false, true, false};
  if (!zvsim::parse_host_options(static_cast<int>(arguments.size()), argv.data(), usage,
                                 &options)) {
    return -1;
  }
  const int units = options.devices.empty() ? 1 : static_cast<int>(options.devices.size());
  if (unit < 0 || unit >= units || unit >= ZV_STANDIN_MAX_UNITS) {
    std::fprintf(stderr, "zv16x16-standin: the host's options name no interface %d\n", unit);
    return -1;
  }
  auto fresh = std::make_unique<Standin>();
  if (unit == 0) fresh->options = options;
  if (!options.devices.empty()) {
    fresh->options.product = options.devices[static_cast<size_t>(unit)].product;
    fresh->options.version = options.devices[static_cast<size_t>(unit)].version;
    fresh->options.build = options.devices[static_cast<size_t>(unit)].build;
  }
  if (!zvsim::apply_host_options(fresh->options, &fresh->model)) return -1;
  std::lock_guard<std::mutex> hold(lock);
  standins[unit] = std::move(fresh);
  return 0;
}

int __stdcall standin_model_transfer(int unit, int in, unsigned char request, unsigned short value,
                                     unsigned short index, unsigned char *data,
                                     unsigned short length) {
  std::unique_lock<std::mutex> hold(lock);
  Standin *standin = unit_standin(unit);
  if (!standin) return ZV_STANDIN_FAILED;
  zvsim::follow_stage(&standin->options.moment, standin->model, standin->vendor_transfers,
                      &standin->model.faults, &standin->options.bus);
  switch (standin->options.bus.fate(standin->vendor_transfers++,
                                    static_cast<long long>(real_clock_us() / 1000))) {
    case zvsim::BusFaults::Fate::kSilent:
      hold.unlock();
      std::this_thread::sleep_for(kSilentDeviceTimeout);
      return ZV_STANDIN_SILENT;
    case zvsim::BusFaults::Fate::kFails:
      return ZV_STANDIN_FAILED;
    case zvsim::BusFaults::Fate::kAnswered:
      break;
  }
  const int result = in ? standin->model.control_in(request, value, index, data, length)
                        : standin->model.control_out(request, value, index, data, length);
  return result < 0 ? ZV_STANDIN_FAILED : result;
}

int __stdcall standin_model_plugged(int unit) {
  std::lock_guard<std::mutex> hold(lock);
  const Standin *standin = unit_standin(unit);
  return standin && standin->model.plugged() ? 1 : 0;
}

long __stdcall standin_model_replug_after_ms(int unit) {
  std::lock_guard<std::mutex> hold(lock);
  const Standin *standin = unit_standin(unit);
  return standin ? standin->options.replug_after_ms : -1;
}

void __stdcall standin_model_replug(int unit) {
  std::lock_guard<std::mutex> hold(lock);
  Standin *standin = unit_standin(unit);
  if (standin) standin->model.replug();
}

unsigned __stdcall standin_model_state(int unit, void *out, unsigned size) {
  std::lock_guard<std::mutex> hold(lock);
  const Standin *standin = unit_standin(unit);
  const unsigned whole = sizeof(zvsim::DeviceState) + ZV_STANDIN_FAULT_LINE_BYTES;
  if (!standin || size < whole) return 0;
  const zvsim::DeviceState state = zvsim::device_state(standin->model);
  std::memcpy(out, &state, sizeof state);
  char *line = static_cast<char *>(out) + sizeof state;
  std::memset(line, 0, ZV_STANDIN_FAULT_LINE_BYTES);
  const std::string text =
      zvsim::fault_report_line(standin->options.moment, standin->vendor_transfers);
  std::memcpy(line, text.data(), std::min<size_t>(text.size(), ZV_STANDIN_FAULT_LINE_BYTES - 1));
  return whole;
}

}  // extern "C"
