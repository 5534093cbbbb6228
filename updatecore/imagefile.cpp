#include "imagefile.h"

#include <QFile>
#include <string>

const char kEmbeddedImage[] = ":/res/update.bin";

ImageFile load_image_file(DeviceConnection &device, LoadedImage &loaded, const QString &path) {
  ImageFile result{false, QString(), QString()};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return result;
  const qint64 size = file.size();
  if (size > LOADED_IMAGE_CAPACITY) return result;
  if (file.read(reinterpret_cast<char *>(loaded.data), size) != size) return result;
  loaded.size = static_cast<uint32_t>(size);
  if (loaded.size < static_cast<uint32_t>(device.set_image_header(nullptr))) return result;
  device.set_image_header(loaded.data);
  if (!DeviceConnection::check_image(loaded.data, static_cast<int32_t>(loaded.size))) {
    result.problem = QString("Checksum Error: %1").arg(path);
    return result;
  }
  std::string product;
  if (!device.get_image_product(product)) {
    result.problem = QString("Cannot get product name: %1").arg(path);
    return result;
  }
  result.loaded = true;
  result.product = QString::fromUtf8(product.c_str());
  return result;
}
