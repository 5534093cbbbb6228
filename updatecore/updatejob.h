// The records that an update shares between the window and the worker thread.
#ifndef UPDATECORE_UPDATEJOB_H
#define UPDATECORE_UPDATEJOB_H

#include <atomic>
#include <cstdint>

class DeviceConnection;

enum { LOADED_IMAGE_CAPACITY = 1048576 };

// The current firmware image exactly as stored: header, scrambled payload and trailer.
struct LoadedImage {
  DeviceConnection *connection;  // set when an update starts
  uint8_t data[LOADED_IMAGE_CAPACITY];
  uint32_t size;
};

struct UpdateJob {
  // Bytes sent so far: written by the transfer in the worker thread, read by the window's
  // timer in the GUI thread, hence atomic (a relaxed load and store suffice).
  std::atomic<uint32_t> position;
  uint32_t total;      // the image length, the progress bar's maximum
  LoadedImage *image;  // the window's loaded image
};

#endif
