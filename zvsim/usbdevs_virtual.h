// The in-process transport: the usbdevs operations call straight into a virtual device.
#ifndef ZVSIM_USBDEVS_VIRTUAL_H
#define ZVSIM_USBDEVS_VIRTUAL_H

#include "virtual_device.h"

// The device that the transport reaches; null means no interface is connected.
void usbdevs_virtual_connect(zvsim::VirtualDevice *device);
// The connected device is there, but this user may not open it (until connected again).
void usbdevs_virtual_deny_access(bool deny);

#endif
