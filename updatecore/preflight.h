// The rules that the checks before an update apply, apart from the window that applies
// them in their order (MainWindow::on_button_fwupdate_clicked). No Qt, no device.
#ifndef UPDATECORE_PREFLIGHT_H
#define UPDATECORE_PREFLIGHT_H

#include <cstdint>
#include <string>

// The device runs firmware for the image's product: the same bytes, the same length; no
// trimming, and letter case counts.
bool preflight_products_match(const std::string &device_product, const std::string &image_product);

// The image is newer when its version or its build is higher, each compared on its own: a
// higher build with a lower version counts as newer, equal version and build do not.
bool preflight_image_is_newer(uint16_t image_version, uint16_t image_build, uint16_t device_version,
                              uint16_t device_build);

// The device already runs the image: its checksum over the image's payload length is the
// image header's checksum.
bool preflight_already_installed(uint32_t device_checksum, uint32_t image_checksum);

#endif
