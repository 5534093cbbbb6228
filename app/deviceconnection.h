// The one object through which the application reaches the ZV-16x16 and asks questions
// about the loaded firmware image. Statuses of the device libraries become booleans here.
#ifndef APP_DEVICECONNECTION_H
#define APP_DEVICECONNECTION_H

#include <cstdint>
#include <string>

#include "prgdecode.h"

class DeviceConnection {
 public:
  DeviceConnection();

  // Image side: a copy of the loaded image's header and the questions answered from it.
  // Returns the header length (32) in every case; null copies nothing.
  int set_image_header(const uint8_t *header);
  static bool check_image(const uint8_t *image, int32_t length);
  bool get_image_product(std::string &out) const;  // appends
  uint16_t get_image_version() const;
  uint16_t get_image_build() const;
  uint32_t get_image_payload_size() const;
  uint32_t get_image_checksum() const;

  // Image files by name (offered by the class; the window loads images itself).
  bool set_image_file(const std::string &name);
  bool check_image_file() const;
  // Sums byte[i] * (i mod 256) over a whole file, wrapping at 32 bits.
  static bool file_weighted_sum(const char *name, int32_t *length, int32_t *sum);

 private:
  uint8_t image_header_[PRGDECODE_HEADER_SIZE];
  std::string image_file_;
};

#endif
