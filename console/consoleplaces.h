// The console's side of several interfaces on one computer: waiting for one to appear,
// `list`, the words for a place that is not there and for a choice not made, and
// `update --all`.
#ifndef CONSOLE_CONSOLEPLACES_H
#define CONSOLE_CONSOLEPLACES_H

#include <QList>
#include <QString>
#include <functional>

#include "consoleupdate.h"
#include "interfaceplaces.h"

// The interfaces connected now; with --wait, rescans once a second until one is there (the
// one --device names, when it names one) or the time is up.
QList<InterfacePlace> wait_for_interfaces(const ConsoleOptions &options);

// `list`: each of `places` with what it runs and whether an update is offered. 3 when
// there is none.
int list_command(const ConsoleOptions &options, const ConsoleStreams &io,
                 const QList<InterfacePlace> &places);

// --device names no interface that is connected.
QString unknown_place_text(const ConsoleOptions &options, const QList<InterfacePlace> &places);
// update was not told which of several interfaces.
QString several_text(const QList<InterfacePlace> &places);

// `update --all`: each of `places` through the window's checks, one question for all of
// them, each update in turn, and a table. 0 only when every interface is updated or up to
// date; otherwise the status of the first that is not.
int update_all(const ConsoleOptions &options, const ConsoleStreams &io,
               const std::function<void(bool)> &updating, const QList<InterfacePlace> &places);

#endif
