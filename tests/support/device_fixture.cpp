#include "device_fixture.h"

std::vector<uint8_t> reply(std::initializer_list<int> bytes) {
  std::vector<uint8_t> out(64, 0);
  size_t i = 0;
  for (int b : bytes) out.at(i++) = static_cast<uint8_t>(b);
  return out;
}
