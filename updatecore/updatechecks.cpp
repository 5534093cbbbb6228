#include "updatechecks.h"

#include <string>

#include "preflight.h"
#include "prgdecode.h"

namespace {

QString text_of(const std::string &bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()));
}

// A refusal keeps the sides that the checks have read so far.
UpdateChecks refused(UpdateChecks checks, CheckOutcome outcome, const QString &text) {
  checks.refusal = text;
  checks.outcome = outcome;
  return checks;
}

}  // namespace

QString version_text(unsigned version) {
  char text[PRGDECODE_VERSION_TEXT_SIZE];
  prgdecode_version_text(version, text);
  return QString::fromLatin1(text);
}

UpdateChecks check_update(DeviceConnection &device, const LoadedImage &loaded,
                          const QString &fw_path, bool check_version) {
  UpdateChecks checks;
  device.set_image_header(loaded.data);
  if (!DeviceConnection::check_image(loaded.data, static_cast<int32_t>(loaded.size))) {
    return refused(checks, CheckOutcome::kImageInvalid, QString("Checksum Error: %1").arg(fw_path));
  }
  std::string image_product;
  if (!device.get_image_product(image_product)) {
    return refused(checks, CheckOutcome::kImageInvalid,
                   QString("Cannot get product name: %1").arg(fw_path));
  }
  const uint16_t image_version = device.get_image_version();
  const uint16_t image_build = device.get_image_build();
  checks.to = {text_of(image_product), version_text(image_version), QString("%1").arg(image_build)};

  if (!device.open()) {
    return refused(checks, CheckOutcome::kNotConnected, "Supported hardware is not connected.");
  }
  std::string device_product;
  if (!device.get_product_name(device_product)) {
    return refused(checks, CheckOutcome::kDeviceUnreadable,
                   "Cannot get connected hardware product");
  }
  uint16_t device_version = 0, device_build = 0;
  if (!device.get_version(device_version))
    return refused(checks, CheckOutcome::kDeviceUnreadable,
                   "Cannot get connected hardware version");
  if (!device.get_build(device_build))
    return refused(checks, CheckOutcome::kDeviceUnreadable, "Cannot get connected hardware build");
  checks.from = {text_of(device_product), version_text(device_version),
                 QString("%1").arg(device_build)};

  if (!preflight_products_match(device_product, image_product)) {
    return refused(checks, CheckOutcome::kWrongProduct, "Product is not matching");
  }
  if (check_version) {
    if (!preflight_image_is_newer(image_version, image_build, device_version, device_build)) {
      return refused(
          checks, CheckOutcome::kNotNewer,
          QString("Cannot downgrade from %1 to %2").arg(checks.from.version, checks.to.version));
    }
    uint32_t device_checksum = 0;
    if (!device.get_checksum(device.get_image_payload_size(), device_checksum)) {
      return refused(checks, CheckOutcome::kDeviceUnreadable, "Cannot get hardware checksum");
    }
    if (preflight_already_installed(device_checksum, device.get_image_checksum())) {
      return refused(checks, CheckOutcome::kAlreadyInstalled, "Already updated.");
    }
  }
  return checks;
}

QString confirmation_text(const UpdateSide &from, const UpdateSide &to) {
  QString text;
  text.append("Fimware Update\n\n");
  for (const auto &part : {std::make_pair("From:\n", &from), std::make_pair("To:\n", &to)}) {
    text.append(part.first);
    text.append("  product:").append(part.second->product).append(", ");
    text.append("version:").append(part.second->version).append(", ");
    text.append("build:").append(part.second->build).append("\n");
    text.append("\n");
  }
  text.append("Are you sure?");
  return text;
}
