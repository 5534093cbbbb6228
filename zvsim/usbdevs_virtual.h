// The in-process transport: the usbdevs operations call straight into virtual devices, one
// in each of a few slots, as if plugged into so many ports. Places are "virtual:1",
// "virtual:2" and so on, by slot.
#ifndef ZVSIM_USBDEVS_VIRTUAL_H
#define ZVSIM_USBDEVS_VIRTUAL_H

#include "virtual_device.h"

enum { USBDEVS_VIRTUAL_SLOTS = 8 };

// `device` in the first slot and nothing in the others (null: no interface is connected),
// with no place chosen.
void usbdevs_virtual_connect(zvsim::VirtualDevice *device);
// `device` in slot `slot` (0 to USBDEVS_VIRTUAL_SLOTS - 1), null empties it; the other
// slots stay as they are.
void usbdevs_virtual_plug(int slot, zvsim::VirtualDevice *device);
// The connected devices are there, but this user may not open them (until connected again).
void usbdevs_virtual_deny_access(bool deny);

#endif
