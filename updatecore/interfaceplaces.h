// The interfaces connected to this computer, each by its place: what a program lists, what
// a user names to choose one, and the choice that the next open of a DeviceConnection
// follows. The window never chooses: it updates the interface that the transport finds by
// itself.
#ifndef UPDATECORE_INTERFACEPLACES_H
#define UPDATECORE_INTERFACEPLACES_H

#include <QList>
#include <QString>

struct InterfacePlace {
  QString path;    // what the transport opens it by
  QString name;    // the short form that users see and type ("1-4.2")
  QString serial;  // its USB serial string, where the transport can read one
};

// Every ZV-16x16 connected now, in the order of their names.
QList<InterfacePlace> connected_interfaces();

// Waits up to `ms` for an interface to be plugged in: until the platform tells of an arrival
// where it does (libusb's hot-plug), otherwise the whole time (zvsleep_ms). Returns the ms
// it spent.
unsigned await_arrival(unsigned ms);

// The place that `wanted` names: its name, its path or its serial (letter case aside, as
// Windows' paths go); -1 when none of `places` is named so.
int find_interface(const QList<InterfacePlace> &places, const QString &wanted);

// Every later open reaches the interface at `place` alone, and none while it is not
// connected; an empty place gives the transport back its own choice.
void choose_interface(const InterfacePlace &place);

// The names of `places` as a list for a sentence: "1-4, 1-5".
QString place_names(const QList<InterfacePlace> &places);

#endif
