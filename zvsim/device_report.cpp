#include "device_report.h"

#include <cstdio>
#include <cstring>

#include "prgdecode.h"

namespace zvsim {

DeviceState device_state(const VirtualDevice &model) {
  DeviceState state{};
  std::strncpy(state.product, model.product().c_str(), sizeof state.product - 1);
  state.version = model.version();
  state.build = model.build();
  state.clock_source = model.clock_source();
  state.frequency = model.frequency();
  state.transfers = static_cast<int32_t>(model.transfers());
  state.received = model.received();
  const std::vector<uint8_t> &image = model.received_image();
  if (!image.empty()) {
    state.image = prgdecode_check(image.data(), static_cast<int32_t>(image.size())) == 0
                      ? ImageVerdict::kVerifies
                      : ImageVerdict::kDoesNotVerify;
  }
  return state;
}

void print_device_report(const DeviceState &state, int exit_code, const char *place,
                         const std::string &fault_line) {
  char version[PRGDECODE_VERSION_TEXT_SIZE];
  prgdecode_version_text(state.version, version);
  const char *verdicts[] = {"none", "verifies", "does not verify"};
  std::fflush(stdout);
  if (place != nullptr) {
    std::printf("== virtual ZV-16x16 at %s, final state\n", place);
  } else {
    std::printf("== virtual ZV-16x16, final state\n");
  }
  std::printf("product: %.*s\n", static_cast<int>(sizeof state.product), state.product);
  std::printf("version: %s\n", version);
  std::printf("build: %u\n", static_cast<unsigned>(state.build));
  std::printf("clock source: %d\n", static_cast<int>(state.clock_source));
  std::printf("sample rate: %u\n", static_cast<unsigned>(state.frequency));
  std::printf("vendor transfers: %ld\n", static_cast<long>(state.transfers));
  std::printf("bytes received: %u\n", static_cast<unsigned>(state.received));
  std::printf("received image: %s\n", verdicts[static_cast<int>(state.image)]);
  if (!fault_line.empty()) std::printf("%s\n", fault_line.c_str());
  std::printf("program exit status: %d\n", exit_code);
  std::fflush(stdout);
}

}  // namespace zvsim
