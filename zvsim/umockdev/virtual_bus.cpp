#include "virtual_bus.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zvsim {

VirtualBus::VirtualBus(VirtualDevice *model, UsbfsDevice *usbfs, long replug_after_ms,
                       bool deny_access)
    : model_(model),
      usbfs_(usbfs),
      replug_after_ms_(replug_after_ms),
      deny_access_(deny_access),
      testbed_(umockdev_testbed_new()),  // also points $UMOCKDEV_DIR at it
      handler_(umockdev_ioctl_base_new()) {
  usbfs_->serve(handler_);
}

VirtualBus::~VirtualBus() {
  g_object_unref(testbed_);  // removes the testbed's directory
  g_object_unref(handler_);
}

void VirtualBus::plug() {
  UsbIdentity identity;
  {
    std::lock_guard<std::mutex> hold(usbfs_->model_lock());
    identity = virtual_identity(model_->version());
  }
  ++place_.devnum;
  GError *error = nullptr;
  // The handler must be in place before the node exists, or the node is not emulated.
  if (!umockdev_testbed_attach_ioctl(testbed_, place_.devnode().c_str(), handler_, &error) ||
      !umockdev_testbed_add_from_string(testbed_, sysfs_record(identity, place_).c_str(), &error)) {
    std::fprintf(stderr, "zv16x16-virtual: cannot publish the device: %s\n", error->message);
    std::exit(1);
  }
  if (deny_access_) {
    // As without the udev rule: nobody but a process that may override permissions.
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    const std::string node = std::string(root) + place_.devnode();
    g_free(root);
    chmod(node.c_str(), 0);
  }
  usbfs_->plug(place_.devnode());
  present_ = true;
  umockdev_testbed_uevent(testbed_, place_.syspath().c_str(), "add");
}

void VirtualBus::unplug_soon() { g_idle_add(unplug_now, this); }

gboolean VirtualBus::unplug_now(gpointer self) {
  auto *bus = static_cast<VirtualBus *>(self);
  if (!bus->present_) return G_SOURCE_REMOVE;
  // The uevent reads the device's record, so it goes out before the record does.
  umockdev_testbed_uevent(bus->testbed_, bus->place_.syspath().c_str(), "remove");
  umockdev_testbed_remove_device(bus->testbed_, bus->place_.syspath().c_str());
  bus->present_ = false;
  if (bus->replug_after_ms_ >= 0) {
    g_timeout_add(static_cast<guint>(bus->replug_after_ms_), replug_now, bus);
  }
  return G_SOURCE_REMOVE;
}

gboolean VirtualBus::replug_now(gpointer self) {
  auto *bus = static_cast<VirtualBus *>(self);
  {
    std::lock_guard<std::mutex> hold(bus->usbfs_->model_lock());
    bus->model_->replug();
  }
  bus->plug();
  return G_SOURCE_REMOVE;
}

}  // namespace zvsim
