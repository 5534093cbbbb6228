// The kernel's side of the virtual interface: every ioctl that a program makes on the device
// node (libusb's usbfs backend, lsusb) arrives here from umockdev, on umockdev's own thread.
// Control URBs complete at once and wait to be reaped, as the kernel's do; standard
// requests are answered from the descriptors, vendor requests go to the device model.
#ifndef ZVSIM_UMOCKDEV_USBFS_DEVICE_H
#define ZVSIM_UMOCKDEV_USBFS_DEVICE_H

#include <umockdev.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "bus_faults.h"
#include "update_stages.h"
#include "usb_descriptors.h"
#include "virtual_device.h"

namespace zvsim {

class UsbfsDevice {
 public:
  UsbfsDevice(VirtualDevice *model, UsbIdentity identity);
  ~UsbfsDevice();
  UsbfsDevice(const UsbfsDevice &) = delete;
  UsbfsDevice &operator=(const UsbfsDevice &) = delete;

  BusFaults faults;
  // Where the counted faults (the bus's and the model's unplug) strike: at their counts, or
  // from a stage of the update on.
  StageMoment moment;
  // Called on umockdev's thread once the model has unplugged itself.
  std::function<void()> on_unplug;

  // Serves the ioctls of device nodes attached to `handler`.
  void serve(UMockdevIoctlBase *handler);
  // The device node the device has now; a node of an earlier plug answers ENODEV.
  void plug(const std::string &devnode);

  // "fault struck at transfer: K", "fault never struck", or empty without a counted fault.
  std::string fault_line() const { return fault_report_line(moment, vendor_submitted_); }

  // The model may be read or changed from another thread only while this is held.
  std::mutex &model_lock() { return lock_; }

 private:
  struct Urb {
    UMockdevIoctlData *data;  // the program's usbdevfs_urb, with its buffer resolved
    int forced_status;        // a fault decided at submission (-errno), or 0
  };
  struct Client {
    std::deque<Urb> done;  // complete, to be reaped
    std::deque<Urb> held;  // never completes unless discarded
  };

  static gboolean handle_ioctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self);
  static void client_vanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self);

  gboolean handle(UMockdevIoctlClient *client);
  void submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  void reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  void discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  void control_ioctl(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
  bool reachable(UMockdevIoctlClient *client) const;

  // One control request: the bytes moved, or -errno.
  int control(const uint8_t *setup, uint8_t *data);
  int standard(uint8_t type, uint8_t request, uint16_t value, uint8_t *data, uint16_t length);
  int vendor(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t *data,
             uint16_t length);
  void notice_unplug();

  VirtualDevice *model_;
  UsbIdentity identity_;
  std::string devnode_;
  std::map<UMockdevIoctlClient *, Client> clients_;
  long vendor_submitted_ = 0;
  bool unplug_told_ = false;
  std::mutex lock_;
};

}  // namespace zvsim

#endif
