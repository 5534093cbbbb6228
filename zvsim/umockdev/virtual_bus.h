// The USB bus that the virtual ZV-16x16s sit on: a umockdev testbed in which each device
// appears at a port of its own, disappears and comes back, with the uevents that tell libusb
// and udev about it. Runs on the host's main loop; the devices' ioctls are served on
// umockdev's own thread.
#ifndef ZVSIM_UMOCKDEV_VIRTUAL_BUS_H
#define ZVSIM_UMOCKDEV_VIRTUAL_BUS_H

#include <umockdev.h>

#include <memory>
#include <vector>

#include "usbfs_device.h"

namespace zvsim {

class VirtualBus {
 public:
  // `replug_after_ms` below 0: an unplugged device stays away.
  VirtualBus(long replug_after_ms, bool deny_access);
  ~VirtualBus();
  VirtualBus(const VirtualBus &) = delete;
  VirtualBus &operator=(const VirtualBus &) = delete;

  // Puts `model`, served by `usbfs`, at the next port (4, 5, ...), not yet plugged in; an
  // unplug that the model makes takes it off the bus. Returns its number for the calls below.
  int add(VirtualDevice *model, UsbfsDevice *usbfs);
  // Publishes device `unit` at the next device number, now or `after_ms` from now.
  void plug(int unit);
  void plug_later(int unit, long after_ms);
  // Takes device `unit` off the bus (from any thread); it comes back after the replug delay.
  void unplug_soon(int unit);
  // The kernel's name for the port of device `unit` ("1-4").
  std::string port_name(int unit) const;

 private:
  struct Unit {
    VirtualBus *bus;
    int index;
    VirtualDevice *model;
    UsbfsDevice *usbfs;
    UMockdevIoctlBase *handler;
    UsbPlace place;
    bool present;
  };
  static gboolean unplug_now(gpointer unit);
  static gboolean replug_now(gpointer unit);
  static gboolean plug_now(gpointer unit);

  long replug_after_ms_;
  bool deny_access_;
  UMockdevTestbed *testbed_;
  int last_devnum_ = 0;
  std::vector<std::unique_ptr<Unit>> units_;
};

}  // namespace zvsim

#endif
