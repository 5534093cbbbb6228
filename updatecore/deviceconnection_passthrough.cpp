// The pass-throughs for the requests of the control library that the application itself
// does not make, so that the connection offers the whole library.
#include "deviceconnection.h"

bool DeviceConnection::read_debug_text(std::string &out) {
  uint8_t text[64];
  uint8_t length = 0;
  if (!pass(zvctl_read_debug_text, text, 63, &length) || length == 0) return false;
  out.append(reinterpret_cast<const char *>(text), length);
  return true;
}

bool DeviceConnection::get_version2(uint16_t *version) { return pass(zvctl_get_version2, version); }
bool DeviceConnection::get_build2(uint16_t *build) { return pass(zvctl_get_build2, build); }

bool DeviceConnection::get_checksum2(uint32_t count, uint32_t *checksum) {
  return pass(zvctl_get_checksum2, count, checksum);
}

bool DeviceConnection::set_13h(int value) { return pass(zvctl_set_13h, value); }
bool DeviceConnection::set_89h(int value) { return pass(zvctl_set_89h, value); }
bool DeviceConnection::get_18h(uint32_t *value) { return pass(zvctl_get_18h, value); }
bool DeviceConnection::get_c4h(uint32_t *value) { return pass(zvctl_get_c4h, value); }
bool DeviceConnection::get_1ah(uint32_t *value) { return pass(zvctl_get_1ah, value); }
bool DeviceConnection::get_c1h(uint32_t *value) { return pass(zvctl_get_c1h, value); }
bool DeviceConnection::get_1bh(uint8_t *value) { return pass(zvctl_get_1bh, value); }

bool DeviceConnection::get_14h(uint8_t *value) {
  uint8_t answer = 0;
  if (!pass(zvctl_get_14h, &answer)) return false;
  if (value != nullptr) *value = answer != 0 ? 1 : 0;
  return true;
}

bool DeviceConnection::send_a2h() { return pass(zvctl_send_a2h); }

bool DeviceConnection::get_list(zvctl_list_entry *entries, int maximum, uint8_t *count) {
  return pass(zvctl_get_list, entries, maximum, count);
}

bool DeviceConnection::set_pair(int a1, int b1, int a2, int b2) {
  return pass(zvctl_set_pair, a1, b1, a2, b2);
}

bool DeviceConnection::set_block_51h(int a, int b, int p3, int p4, int p5, int p6, int p7) {
  return pass(zvctl_set_block_51h, a, b, p3, p4, p5, p6, p7);
}

bool DeviceConnection::set_block_91h(int a, int b, int p3, int p4, int p5, int p6, int p7, int p8,
                                     int p9) {
  return pass(zvctl_set_block_91h, a, b, p3, p4, p5, p6, p7, p8, p9);
}

bool DeviceConnection::set_81h(int a, int b, int value) { return pass(zvctl_set_81h, a, b, value); }
bool DeviceConnection::set_82h(int a, int b, int value) { return pass(zvctl_set_82h, a, b, value); }
bool DeviceConnection::set_83h(int a, int b, int value) { return pass(zvctl_set_83h, a, b, value); }
bool DeviceConnection::set_84h(int a, int b, int value) { return pass(zvctl_set_84h, a, b, value); }
bool DeviceConnection::set_85h(int a, int b, int value) { return pass(zvctl_set_85h, a, b, value); }

bool DeviceConnection::fwup2(const uint8_t *image, uint32_t total,
                             std::atomic<uint32_t> *progress) {
  return pass(zvctl_fwup2, image, total, progress);
}

bool DeviceConnection::call_request(int32_t value, uint8_t a, uint8_t b, Request request) {
  return request != nullptr && pass(request, value, a, b);
}
