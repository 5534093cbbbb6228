// An update as the window sets one up, for the tests and the benchmarks that run the worker
// without the window: the image loaded as stored, a connection holding its header, and the
// job that the worker reads. Make it after the virtual device is connected: the connection
// opens the device when it is made.
#ifndef TESTS_SUPPORT_PREPARED_UPDATE_H
#define TESTS_SUPPORT_PREPARED_UPDATE_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "deviceconnection.h"
#include "updatejob.h"

struct PreparedUpdate {
  // Without `with_connection` the image names no connection, as a broken job would.
  PreparedUpdate(const uint8_t *image, size_t size, bool with_connection = true);

  std::unique_ptr<LoadedImage> loaded;  // 1 MiB: on the heap, not the stack
  DeviceConnection connection;
  UpdateJob job;
};

#endif
