// Loading a firmware image file (the embedded one, ":/res/update.bin", or another chosen by
// the user) into the record that an update sends, and making it the connection's image.
#ifndef UPDATECORE_IMAGEFILE_H
#define UPDATECORE_IMAGEFILE_H

#include <QString>

#include "deviceconnection.h"
#include "updatejob.h"

// The file's path inside the program: the image it carries.
extern const char kEmbeddedImage[];

struct ImageFile {
  bool loaded;      // the image is in `loaded` and is the connection's image
  QString problem;  // when not loaded: the text to show, or empty where nothing is shown
  QString product;  // when loaded: the image's product, as the label shows it
};

// Reads `path` into `loaded`. A file that cannot be read, or is too large or too short for
// a header, is not loaded and shows nothing; an image whose sums do not hold, or whose
// product cannot be read, is not loaded either and says so ("Checksum Error: %1", "Cannot
// get product name: %1"), though its header stays the connection's.
ImageFile load_image_file(DeviceConnection &device, LoadedImage &loaded, const QString &path);

#endif
