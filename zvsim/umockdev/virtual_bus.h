// The USB bus that the virtual ZV-16x16 sits on: a umockdev testbed in which the device
// appears, disappears and comes back, with the uevents that tell libusb and udev about it.
// Runs on the host's main loop; the device's ioctls are served on umockdev's own thread.
#ifndef ZVSIM_UMOCKDEV_VIRTUAL_BUS_H
#define ZVSIM_UMOCKDEV_VIRTUAL_BUS_H

#include <umockdev.h>

#include "usbfs_device.h"

namespace zvsim {

class VirtualBus {
 public:
  // `replug_after_ms` below 0: an unplugged device stays away.
  VirtualBus(VirtualDevice *model, UsbfsDevice *usbfs, long replug_after_ms, bool deny_access);
  ~VirtualBus();
  VirtualBus(const VirtualBus &) = delete;
  VirtualBus &operator=(const VirtualBus &) = delete;

  // Publishes the device at the next device number.
  void plug();
  // Takes the device off the bus (from any thread); it comes back after the replug delay.
  void unplug_soon();

 private:
  static gboolean unplug_now(gpointer self);
  static gboolean replug_now(gpointer self);

  VirtualDevice *model_;
  UsbfsDevice *usbfs_;
  long replug_after_ms_;
  bool deny_access_;
  UMockdevTestbed *testbed_;
  UMockdevIoctlBase *handler_;
  UsbPlace place_{0};
  bool present_ = false;
};

}  // namespace zvsim

#endif
