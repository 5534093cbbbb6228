// The device side of the connection that the application uses: opening the device and the
// requests of the checks before an update and of the update itself.
#include "deviceconnection.h"

#include "updatejob.h"

DeviceConnection::DeviceConnection() : record_{}, device_(nullptr), image_header_{} {
  zvctl_clear(&record_);
  open();
}

bool DeviceConnection::open() {
  device_ = nullptr;
  if (zvctl_reset_search(&record_) != 0) return false;
  return zvctl_open_next(&record_, &device_) == 0;
}

bool DeviceConnection::close() {
  device_ = nullptr;
  return true;
}

bool DeviceConnection::is_open() const { return device_ != nullptr; }

bool DeviceConnection::access_denied() { return usbdevs_access_denied() != 0; }

bool DeviceConnection::get_product_name(std::string &out) {
  const uint8_t kMaximum = 64;
  uint8_t name[kMaximum];
  uint8_t length = 0;
  if (!pass(zvctl_get_product_name, name, int{kMaximum}, &length)) return false;
  out.append(reinterpret_cast<const char *>(name), length < kMaximum ? length : kMaximum);
  return true;
}

bool DeviceConnection::get_version(uint16_t &out) { return pass(zvctl_get_version, &out); }

bool DeviceConnection::get_build(uint16_t &out) { return pass(zvctl_get_build, &out); }

bool DeviceConnection::get_checksum(uint32_t length, uint32_t &out) {
  return pass(zvctl_get_checksum, length, &out);
}

bool DeviceConnection::set_clock_source(uint8_t source) {
  return pass(zvctl_set_clock_source, int{source});
}

bool DeviceConnection::set_frequency(uint32_t hertz) { return pass(zvctl_set_frequency, hertz); }

bool DeviceConnection::update_firmware(const uint8_t *data, uint32_t length, UpdateJob *job) {
  return pass(zvctl_fwup, data, length, job != nullptr ? &job->position : nullptr);
}
