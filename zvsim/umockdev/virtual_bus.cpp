#include "virtual_bus.h"

#include <sys/stat.h>
#include <sys/un.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zvsim {

namespace {

const int kFirstPort = 4;

// umockdev serves each device node on a Unix socket at <testbed>/ioctl/<node>, and the
// preload that the programs run under reaches it at <testbed>/ioctl//dev/bus/usb/001/NNN:
// a path that a socket address holds only up to 107 bytes, cut short without a word
// beyond that, so that the node's ioctls go nowhere. The testbed's own folder takes 16
// bytes below the temporary folder.
const size_t kSocketPathMax = sizeof(sockaddr_un::sun_path) - 1;
const size_t kNodeBelowTestbed = std::strlen("/ioctl//dev/bus/usb/001/001");
const size_t kTestbedBelowTmp = std::strlen("/umockdev.XXXXXX");

// A testbed in the temporary folder, or in /tmp when that folder lies too deep for the
// sockets (a build folder's own, as the tests give each run); the programs keep their own.
UMockdevTestbed *new_testbed() {
  // Read here rather than through GLib, which keeps the first answer it gives.
  const char *set = std::getenv("TMPDIR");
  const std::string tmp = set != nullptr && *set != '\0' ? set : "/tmp";
  const bool too_deep = tmp.size() + kTestbedBelowTmp + kNodeBelowTestbed > kSocketPathMax;
  if (too_deep) setenv("TMPDIR", "/tmp", 1);
  UMockdevTestbed *testbed = umockdev_testbed_new();  // also points $UMOCKDEV_DIR at it
  if (too_deep) setenv("TMPDIR", tmp.c_str(), 1);
  gchar *root = umockdev_testbed_get_root_dir(testbed);
  const size_t reach = std::strlen(root) + kNodeBelowTestbed;
  if (reach > kSocketPathMax) {
    std::fprintf(stderr, "zv16x16-virtual: the folder %s is too deep for umockdev's sockets\n",
                 root);
    std::exit(1);
  }
  g_free(root);
  return testbed;
}

}  // namespace

VirtualBus::VirtualBus(long replug_after_ms, bool deny_access)
    : replug_after_ms_(replug_after_ms), deny_access_(deny_access), testbed_(new_testbed()) {}

VirtualBus::~VirtualBus() {
  g_object_unref(testbed_);  // removes the testbed's directory
  for (auto &unit : units_) g_object_unref(unit->handler);
}

int VirtualBus::add(VirtualDevice *model, UsbfsDevice *usbfs) {
  const int index = static_cast<int>(units_.size());
  UsbPlace place{0, kFirstPort + index};
  units_.emplace_back(new Unit{this, index, model, usbfs, umockdev_ioctl_base_new(), place, false});
  usbfs->serve(units_.back()->handler);
  usbfs->on_unplug = [this, index] { unplug_soon(index); };
  return index;
}

std::string VirtualBus::port_name(int unit) const {
  return "1-" + std::to_string(units_[unit]->place.port);
}

void VirtualBus::plug(int index) {
  Unit &unit = *units_[index];
  UsbIdentity identity;
  {
    std::lock_guard<std::mutex> hold(unit.usbfs->model_lock());
    identity = virtual_identity(unit.model->version(), index);
  }
  unit.place.devnum = ++last_devnum_;
  GError *error = nullptr;
  // The handler must be in place before the node exists, or the node is not emulated.
  if (!umockdev_testbed_attach_ioctl(testbed_, unit.place.devnode().c_str(), unit.handler,
                                     &error) ||
      !umockdev_testbed_add_from_string(testbed_, sysfs_record(identity, unit.place).c_str(),
                                        &error)) {
    std::fprintf(stderr, "zv16x16-virtual: cannot publish the device: %s\n", error->message);
    std::exit(1);
  }
  if (deny_access_) {
    // As without the udev rule: nobody but a process that may override permissions.
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    const std::string node = std::string(root) + unit.place.devnode();
    g_free(root);
    chmod(node.c_str(), 0);
  }
  unit.usbfs->plug(unit.place.devnode());
  unit.present = true;
  umockdev_testbed_uevent(testbed_, unit.place.syspath().c_str(), "add");
}

void VirtualBus::plug_later(int unit, long after_ms) {
  g_timeout_add(static_cast<guint>(after_ms), plug_now, units_[unit].get());
}

void VirtualBus::unplug_soon(int unit) { g_idle_add(unplug_now, units_[unit].get()); }

gboolean VirtualBus::plug_now(gpointer data) {
  auto *unit = static_cast<Unit *>(data);
  unit->bus->plug(unit->index);
  return G_SOURCE_REMOVE;
}

gboolean VirtualBus::unplug_now(gpointer data) {
  auto *unit = static_cast<Unit *>(data);
  VirtualBus *bus = unit->bus;
  if (!unit->present) return G_SOURCE_REMOVE;
  // The uevent reads the device's record, so it goes out before the record does.
  umockdev_testbed_uevent(bus->testbed_, unit->place.syspath().c_str(), "remove");
  umockdev_testbed_remove_device(bus->testbed_, unit->place.syspath().c_str());
  unit->present = false;
  if (bus->replug_after_ms_ >= 0) {
    g_timeout_add(static_cast<guint>(bus->replug_after_ms_), replug_now, unit);
  }
  return G_SOURCE_REMOVE;
}

gboolean VirtualBus::replug_now(gpointer data) {
  auto *unit = static_cast<Unit *>(data);
  {
    std::lock_guard<std::mutex> hold(unit->usbfs->model_lock());
    unit->model->replug();
  }
  unit->bus->plug(unit->index);
  return G_SOURCE_REMOVE;
}

}  // namespace zvsim
