#include "prepared_update.h"

#include <algorithm>

PreparedUpdate::PreparedUpdate(const uint8_t *image, size_t size, bool with_connection)
    : loaded(new LoadedImage()) {
  std::copy(image, image + size, loaded->data);
  loaded->size = static_cast<uint32_t>(size);
  connection.set_image_header(loaded->data);
  loaded->connection = with_connection ? &connection : nullptr;
  job.position = 0;
  job.total = loaded->size;
  job.image = loaded.get();
}
