// The image side of the connection: the loaded image's header and the questions that
// prgdecode answers from it.
#include <cstdlib>

#include "deviceconnection.h"

int DeviceConnection::set_image_header(const uint8_t *header) {
  return prgdecode_copy_header(image_header_, header);
}

bool DeviceConnection::check_image(const uint8_t *image, int32_t length) {
  return prgdecode_check(image, length) == 0;
}

bool DeviceConnection::get_image_product(std::string &out) const {
  char name[64];
  if (prgdecode_product(image_header_, name, sizeof name) != 0) return false;
  out.append(name);
  return true;
}

uint16_t DeviceConnection::get_image_version() const {
  return static_cast<uint16_t>(prgdecode_version(image_header_));
}

uint16_t DeviceConnection::get_image_build() const {
  return static_cast<uint16_t>(prgdecode_build(image_header_));
}

uint32_t DeviceConnection::get_image_payload_size() const {
  return static_cast<uint32_t>(prgdecode_payload_size(image_header_));
}

uint32_t DeviceConnection::get_image_checksum() const { return prgdecode_checksum(image_header_); }

bool DeviceConnection::set_image_file(const std::string &name) {
  image_file_ = name;
  if (prgdecode_read_header(image_header_, image_file_.c_str()) != 0) {
    image_file_.clear();
    return false;
  }
  return true;
}

bool DeviceConnection::check_image_file() const {
  if (image_file_.empty()) return false;
  return prgdecode_check_file(image_file_.c_str()) == 0;
}

bool DeviceConnection::file_weighted_sum(const char *name, int32_t *length, int32_t *sum) {
  if (name == nullptr) return false;
  int32_t size = 0;
  unsigned char *bytes = prgdecode_load_file(name, &size);
  if (bytes == nullptr) return false;
  uint32_t total = 0;
  for (int32_t i = 0; i < size; ++i) total += uint32_t(bytes[i]) * uint32_t(i % 256);
  std::free(bytes);
  if (length != nullptr) *length = size;
  if (sum != nullptr) *sum = static_cast<int32_t>(total);
  return true;
}
