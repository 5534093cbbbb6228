#include "usbfs_device.h"

// The usbfs definitions need the ioctl macros first.
#include <sys/ioctl.h>
// clang-format off
#include <linux/usbdevice_fs.h>
// clang-format on
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zvsim {

namespace {

// The bus's own clock, for faults that last a while.
long long host_ms() {
  using namespace std::chrono;
  return static_cast<long long>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum : uint8_t {
  kTypeMask = 0x60,
  kTypeStandard = 0x00,
  kTypeVendor = 0x40,
  kDirectionIn = 0x80,
  kRecipientMask = 0x1F,
};

enum : uint8_t {
  kGetStatus = 0,
  kSetAddress = 5,
  kGetDescriptor = 6,
  kGetConfiguration = 8,
  kSetConfiguration = 9,
  kGetInterface = 10,
  kSetInterface = 11,
};

const int kSetupSize = 8;

uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

int give(const std::vector<uint8_t> &bytes, uint8_t *data, uint16_t length) {
  if (bytes.empty()) return -EPIPE;
  const size_t n = bytes.size() < length ? bytes.size() : length;
  std::memcpy(data, bytes.data(), n);
  return static_cast<int>(n);
}

void complete(UMockdevIoctlClient *client, int result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

}  // namespace

UsbfsDevice::UsbfsDevice(VirtualDevice *model, UsbIdentity identity)
    : model_(model), identity_(std::move(identity)) {}

UsbfsDevice::~UsbfsDevice() {
  for (auto &entry : clients_) {
    for (Urb &urb : entry.second.done) g_object_unref(urb.data);
    for (Urb &urb : entry.second.held) g_object_unref(urb.data);
  }
}

void UsbfsDevice::serve(UMockdevIoctlBase *handler) {
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(handle_ioctl), this);
  g_signal_connect(handler, "client-vanished", G_CALLBACK(client_vanished), this);
}

void UsbfsDevice::plug(const std::string &devnode) {
  std::lock_guard<std::mutex> hold(lock_);
  devnode_ = devnode;
  unplug_told_ = false;
}

gboolean UsbfsDevice::handle_ioctl(UMockdevIoctlBase *, UMockdevIoctlClient *client,
                                   gpointer self) {
  return static_cast<UsbfsDevice *>(self)->handle(client);
}

void UsbfsDevice::client_vanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self) {
  auto *device = static_cast<UsbfsDevice *>(self);
  std::lock_guard<std::mutex> hold(device->lock_);
  auto found = device->clients_.find(client);
  if (found == device->clients_.end()) return;
  for (Urb &urb : found->second.done) g_object_unref(urb.data);
  for (Urb &urb : found->second.held) g_object_unref(urb.data);
  device->clients_.erase(found);
}

bool UsbfsDevice::reachable(UMockdevIoctlClient *client) const {
  return model_->plugged() && devnode_ == umockdev_ioctl_client_get_devnode(client);
}

gboolean UsbfsDevice::handle(UMockdevIoctlClient *client) {
  std::lock_guard<std::mutex> hold(lock_);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
      *reinterpret_cast<guint32 *>(caps->data) =
          USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      g_object_unref(caps);
      complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_SUBMITURB:
      submit(client, arg);
      return TRUE;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      reap(client, arg);
      return TRUE;
    case USBDEVFS_DISCARDURB:
      discard(client, arg);
      return TRUE;
    case USBDEVFS_CONTROL:
      control_ioctl(client, arg);
      return TRUE;
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
      if (reachable(client)) {
        complete(client, 0, 0);
      } else {
        complete(client, -1, ENODEV);
      }
      return TRUE;
    case USBDEVFS_GETDRIVER:  // no kernel driver is bound to the control interface
      complete(client, -1, ENODATA);
      return TRUE;
    default:
      complete(client, -1, ENOTTY);
      return TRUE;
  }
}

void UsbfsDevice::submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (!reachable(client)) {
    complete(client, -1, ENODEV);
    return;
  }
  UMockdevIoctlData *urb_data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto *urb = reinterpret_cast<usbdevfs_urb *>(urb_data->data);
  if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < kSetupSize) {
    g_object_unref(urb_data);
    complete(client, -1, ENOENT);  // the interface has no other endpoints
    return;
  }
  // The buffer becomes a child of urb_data, which keeps it.
  g_object_unref(umockdev_ioctl_data_resolve(urb_data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                             static_cast<gsize>(urb->buffer_length), nullptr));
  const auto *setup = static_cast<const uint8_t *>(urb->buffer);
  Client &queues = clients_[client];
  if ((setup[0] & kTypeMask) != kTypeVendor) {
    queues.done.push_back({urb_data, 0});
    complete(client, 0, 0);
    return;
  }
  const long number = vendor_submitted_++;
  follow_stage(&moment, *model_, number, &model_->faults, &faults);
  switch (faults.fate(number, host_ms())) {
    case BusFaults::Fate::kSilent:
      queues.held.push_back({urb_data, 0});
      break;
    case BusFaults::Fate::kFails:
      queues.done.push_back({urb_data, -faults.error});
      break;
    case BusFaults::Fate::kAnswered:
      queues.done.push_back({urb_data, 0});
      break;
  }
  complete(client, 0, 0);
}

void UsbfsDevice::reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  Client &queues = clients_[client];
  if (queues.done.empty()) {
    complete(client, -1, EAGAIN);
    return;
  }
  Urb urb = queues.done.front();
  queues.done.pop_front();
  auto *usb = reinterpret_cast<usbdevfs_urb *>(urb.data->data);
  int result = urb.forced_status;
  if (result == 0) {
    auto *buffer = static_cast<uint8_t *>(usb->buffer);  // our copy, written back on reaping
    result = model_->plugged() ? control(buffer, buffer + kSetupSize) : -EPROTO;
  }
  usb->status = result < 0 ? result : 0;
  usb->actual_length = result < 0 ? 0 : result;  // the data stage only
  // The reaping ioctl's argument receives the address of the program's own URB.
  UMockdevIoctlData *reaped = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
  umockdev_ioctl_data_set_ptr(reaped, 0, urb.data);
  g_object_unref(reaped);
  g_object_unref(urb.data);  // the pointer holds it now
  complete(client, 0, 0);
  notice_unplug();
}

// A transfer that timed out: its URB completes now, cancelled, and is reaped as such.
void UsbfsDevice::discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  Client &queues = clients_[client];
  const gulong address = *reinterpret_cast<const gulong *>(arg->data);
  for (auto it = queues.held.begin(); it != queues.held.end(); ++it) {
    if (it->data->client_addr != address) continue;
    queues.done.push_back({it->data, -ENOENT});
    queues.held.erase(it);
    complete(client, 0, 0);
    return;
  }
  complete(client, -1, EINVAL);  // already complete
}

void UsbfsDevice::control_ioctl(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (!reachable(client)) {
    complete(client, -1, ENODEV);
    return;
  }
  UMockdevIoctlData *transfer =
      umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ctrltransfer), nullptr);
  auto *ct = reinterpret_cast<usbdevfs_ctrltransfer *>(transfer->data);
  UMockdevIoctlData *buffer =
      ct->wLength == 0
          ? nullptr
          : umockdev_ioctl_data_resolve(transfer, G_STRUCT_OFFSET(usbdevfs_ctrltransfer, data),
                                        ct->wLength, nullptr);
  const uint8_t setup[kSetupSize] = {ct->bRequestType,
                                     ct->bRequest,
                                     static_cast<uint8_t>(ct->wValue),
                                     static_cast<uint8_t>(ct->wValue >> 8),
                                     static_cast<uint8_t>(ct->wIndex),
                                     static_cast<uint8_t>(ct->wIndex >> 8),
                                     static_cast<uint8_t>(ct->wLength),
                                     static_cast<uint8_t>(ct->wLength >> 8)};
  const int result = control(setup, buffer != nullptr ? buffer->data : nullptr);
  if (buffer != nullptr) g_object_unref(buffer);
  g_object_unref(transfer);
  complete(client, result < 0 ? -1 : result, result < 0 ? -result : 0);
  notice_unplug();
}

int UsbfsDevice::control(const uint8_t *setup, uint8_t *data) {
  const uint8_t type = setup[0], request = setup[1];
  const uint16_t value = le16(setup + 2), index = le16(setup + 4), length = le16(setup + 6);
  switch (type & kTypeMask) {
    case kTypeStandard:
      return standard(type, request, value, data, length);
    case kTypeVendor:
      return vendor(type, request, value, index, data, length);
    default:
      return -EPIPE;  // class requests: there is no class interface
  }
}

int UsbfsDevice::standard(uint8_t type, uint8_t request, uint16_t value, uint8_t *data,
                          uint16_t length) {
  const bool in = (type & kDirectionIn) != 0;
  switch (request) {
    case kGetDescriptor:
      if (!in) return -EPIPE;
      switch (value >> 8) {
        case 1:
          return give(device_descriptor(identity_), data, length);
        case 2:
          return (value & 0xFF) == 0 ? give(configuration_descriptor(), data, length) : -EPIPE;
        case 3:
          return give(string_descriptor(identity_, static_cast<uint8_t>(value)), data, length);
        default:
          return -EPIPE;  // no qualifier, BOS or debug descriptor: a full-featured 2.0 device
      }
    case kGetStatus:
      return in ? give({1, 0}, data, length) : -EPIPE;  // self-powered
    case kGetConfiguration:
      return in ? give({1}, data, length) : -EPIPE;
    case kGetInterface:
      return in ? give({0}, data, length) : -EPIPE;
    case kSetConfiguration:
    case kSetInterface:
    case kSetAddress:
      return in ? -EPIPE : 0;
    default:
      return -EPIPE;
  }
}

int UsbfsDevice::vendor(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                        uint8_t *data, uint16_t length) {
  if ((type & kRecipientMask) != 0) return -EPIPE;  // vendor requests go to the device
  if ((type & kDirectionIn) != 0) {
    const int n = model_->control_in(request, value, index, data, length);
    if (n >= 0) return n;
  } else if (model_->control_out(request, value, index, data, length) == 0) {
    return length;
  }
  // Unplugged in the middle: the transfer dies on the wire, as an I/O error.
  return model_->plugged() ? -EPIPE : -EPROTO;
}

void UsbfsDevice::notice_unplug() {
  if (model_->plugged() || unplug_told_) return;
  unplug_told_ = true;
  if (on_unplug) on_unplug();
}

}  // namespace zvsim
