#include "preflight.h"

bool preflight_products_match(const std::string &device_product, const std::string &image_product) {
  return device_product == image_product;
}

bool preflight_image_is_newer(uint16_t image_version, uint16_t image_build, uint16_t device_version,
                              uint16_t device_build) {
  return image_version > device_version || image_build > device_build;
}

bool preflight_already_installed(uint32_t device_checksum, uint32_t image_checksum) {
  return device_checksum == image_checksum;
}
