// The console updater's commands, apart from main(): `list` names every connected interface;
// `info` tells what an interface runs and whether the built-in image would be offered;
// `update` makes the window's checks in the window's order, asks the window's question on
// the terminal, and runs the window's worker, for one interface or, with --all, for each.
// They write to the streams they are given, so that the tests read what a user would.
#ifndef CONSOLE_CONSOLEUPDATE_H
#define CONSOLE_CONSOLEUPDATE_H

#include <QString>
#include <QTextStream>
#include <functional>

#include "updatechecks.h"

// The program's exit statuses, as --help and the manual page list them.
enum ExitStatus {
  kExitDone = 0,       // updated, or already current; info answered
  kExitUsage = 1,      // the command line was not understood
  kExitRefused = 2,    // a check refused the update: another product, an image that is not
                       // newer, or an image file that is not valid
  kExitNotFound = 3,   // no interface is connected
  kExitNoAccess = 4,   // an interface is connected, but this user may not open it
  kExitFailed = 5,     // the interface did not answer, or the update failed
  kExitCancelled = 6,  // the question was answered no
  kExitBusy = 7,       // the updater's window or another copy is running; for info on
                       // Windows, the interface's settings panel
  kExitSeveral = 8,    // several interfaces are connected and update was not told which
};

struct ConsoleOptions {
  QString command;       // "list", "info" or "update"
  QString image;         // --image FILE; empty: the built-in image
  QString device;        // --device PLACE; empty: whichever is connected
  int wait_seconds = 0;  // --wait SECONDS: how long to wait for an interface to appear
  bool all = false;      // update --all
  bool yes = false;
  bool json = false;
};

// Results (what the interface runs, the question, the update's progress) go to `out`;
// refusals, failures and their reasons to `err`. With --json, `out` holds exactly one JSON
// object, whatever happens, and `err` nothing.
struct ConsoleStreams {
  QTextStream *out;
  QTextStream *err;
  QTextStream *in;  // the answer to the question
  bool terminal;    // `out` is a terminal: a progress bar that redraws itself
};

// Runs the command (Qt's event loop runs while the update does) and returns its exit status.
// `updating` is told true when the update's worker starts and false when it has ended.
int run_console_command(const ConsoleOptions &options, const ConsoleStreams &streams,
                        const std::function<void(bool)> &updating = nullptr);

// Ends a command before it ran: the reason on `err`, or as the one JSON object on `out`.
int refuse_command(const ConsoleOptions &options, const ConsoleStreams &streams, int status,
                   const QString &reason);

// The reason given when an interface is connected but this user may not open it.
QString no_access_text();

// The exit status for checks that ended in `outcome`; `access_denied` tells a connected
// interface that may not be opened from none at all.
int exit_status_of(CheckOutcome outcome, bool access_denied);

#endif
