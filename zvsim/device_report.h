// The virtual ZV-16x16's final state as its hosts print it when the program beside it ends,
// so that a script can check an update the same way on every host. The state is a plain
// record: the Wine host reads it from the stand-in driver, across a process boundary.
#ifndef ZVSIM_DEVICE_REPORT_H
#define ZVSIM_DEVICE_REPORT_H

#include <cstdint>
#include <string>
#include <type_traits>

#include "virtual_device.h"

namespace zvsim {

enum class ImageVerdict : int32_t { kNone, kVerifies, kDoesNotVerify };

struct DeviceState {
  char product[16];  // zero-terminated
  uint16_t version;
  uint16_t build;
  int32_t clock_source;
  uint32_t frequency;
  int32_t transfers;
  uint32_t received;
  ImageVerdict image;
};
static_assert(std::is_trivially_copyable<DeviceState>::value, "copied as bytes");

DeviceState device_state(const VirtualDevice &model);

// "== virtual ZV-16x16, final state" ("== virtual ZV-16x16 at 1-5, final state" where a
// place is given, for one of several) and one line per value, ending with the program's
// exit status, on standard output.
// A host's line about a counted fault (update_stages.h) comes before the exit status.
void print_device_report(const DeviceState &state, int exit_code, const char *place = nullptr,
                         const std::string &fault_line = std::string());

}  // namespace zvsim

#endif
