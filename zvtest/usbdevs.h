// The USB transport: five operations on a device record (and one question about the last
// open), the one seam between the control protocol and the platform's way of reaching the
// interface. Exactly one implementation is linked into each program (HACKING.md tells how to
// add one):
//
//   usbdevs_win.cpp      Windows: the interface's own kernel driver, found through SetupAPI
//   usbdevs_libusb.cpp   Linux and macOS: libusb vendor control transfers on endpoint 0
//   usbdevs_virtual.cpp  tests: straight into the in-process virtual device
//
// Rules for every implementation:
// - Results are 0 for success and 1 for failure. Nothing throws and nothing reaches the
//   user; every failure site prints "<source>:<line>:ERROR" on standard output, with the
//   source named as in the shipped Windows build ("zvtest\usbdevs_win.cpp"), and may add
//   one line of detail.
// - No threads of its own; every call blocks its caller and is bounded in time. Calls on
//   one record must not overlap, and the program drives its one record from one thread at a
//   time (the window's thread for the checks, then the update's worker), so an
//   implementation may keep process-wide state for the record it has open.
// - A record is used only through these operations, and its layout is the same everywhere.
#ifndef ZVTEST_USBDEVS_H
#define ZVTEST_USBDEVS_H

#include <cstdint>
#include <cwchar>

enum { USBDEVS_PATH_UNITS = 260 };

// The transport's fixed block, zero-filled by usbdevs_init.
struct usbdevs_transport {
  // Where the opened device is, terminated: the interface path on Windows (UTF-16 there),
  // the device's bus and port path with libusb ("1-4.2"). Empty until usbdevs_open succeeds.
  wchar_t interface_path[USBDEVS_PATH_UNITS];
};

struct usbdevs_device {
  usbdevs_transport transport;
  uint8_t next_index;  // the request library's next device index; usbdevs_init leaves it
};

// Zero-fills the transport block of `dev` (and lets go of whatever the transport held for
// it). Always 0; prints nothing.
int usbdevs_init(usbdevs_device *dev);

// Lets go of the device that `dev` opened, if the transport holds anything for it; the next
// transfer then fails until usbdevs_open succeeds again. The interface path stays. Always 0.
int usbdevs_close(usbdevs_device *dev);

// Looks for the interface. Index 0 only: any other index returns 1 at once, without a
// search and without a line. With two matching interfaces, the one enumerated last wins,
// unless usbdevs_choose named one.
// On success the path is in dev->transport.interface_path, dev is stored through *out (when
// out is given) and the device is reachable until the next usbdevs_close or usbdevs_open.
// "Not found" prints nothing; a device that is found but cannot be opened prints its line
// (and, where the system refused access, says how to grant it).
int usbdevs_open(usbdevs_device *dev, usbdevs_device **out, uint8_t index);

// One interface as usbdevs_list finds it.
enum { USBDEVS_NAME_UNITS = 64, USBDEVS_MAX_PLACES = 16 };
struct usbdevs_place {
  // Where it is, as usbdevs_choose takes it and as interface_path holds it once opened.
  wchar_t path[USBDEVS_PATH_UNITS];
  // The same place, short enough to show and to type: the path itself where it is short
  // ("1-4.2"), the device's instance part of a Windows interface path.
  wchar_t name[USBDEVS_NAME_UNITS];
  // The interface's USB serial string where the transport can read it; empty otherwise.
  wchar_t serial[USBDEVS_NAME_UNITS];
};

// Every matching interface, in enumeration order: fills at most `capacity` entries of
// `places` and returns how many it filled (0 when none is connected). Bounded like the
// other calls; a failure prints its line and lists what could be listed.
int usbdevs_list(usbdevs_place *places, int capacity);

// From now on usbdevs_open (index 0) opens the interface at `path` (a path of usbdevs_list)
// and finds nothing while no interface is there; null or empty brings back the search
// above, the last one enumerated. Copies the path; always 0.
int usbdevs_choose(const wchar_t *path);

// Waits up to `timeout_ms` for an interface to be plugged in, where the platform tells of
// arrivals (libusb's hot-plug): 1 as soon as one arrived, 0 when the time ran out; the time
// spent goes to *waited_ms. Where it does not (Windows, the in-process device), -1 at once,
// having waited nothing: the caller then sleeps and looks again. Prints nothing.
int usbdevs_wait_arrival(unsigned timeout_ms, unsigned *waited_ms);

// 1 when the last usbdevs_open found the interface but the system would not let this user
// open it; 0 otherwise. Prints nothing. A program tells "no access" from "not connected" by
// it; the protocol never asks.
int usbdevs_access_denied();

// One vendor control transfer to the device (bmRequestType 0x40): `length` bytes of `data`
// with bRequest `request`, wValue `value`, wIndex `index`. 0 only when every byte went.
// A length of 0 or no data fails with a line and touches no device.
int usbdevs_vendor_out(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                       uint16_t length, const uint8_t *data);

// One vendor control transfer from the device (bmRequestType 0xC0) into `data`. 0 only when
// exactly `length` bytes came: a shorter reply is a failure.
//
// Both transfers fail, with a line, on a record that is not open, on a device that is gone
// and on a device that does not answer in time; a transport that learns that its device has
// gone (or has stopped answering) fails every later transfer at once, until the next
// usbdevs_open, rather than wait once more for each of the protocol's polls.
int usbdevs_vendor_in(usbdevs_device *dev, uint8_t request, uint16_t value, uint16_t index,
                      uint16_t length, uint8_t *data);

#endif
