// What the console tests share: a command line as options, and one run of it with what it
// said on each stream.
#ifndef TESTS_CONSOLE_CONSOLE_RUN_H
#define TESTS_CONSOLE_CONSOLE_RUN_H

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include "consoleupdate.h"

// What one run said, on which stream, and returned.
struct Said {
  int status;
  QString out, err;
  double seconds;  // the run's own duration, measured around it
};

inline ConsoleOptions command(const char *name, bool yes = false, bool json = false) {
  ConsoleOptions options;
  options.command = name;
  options.yes = yes;
  options.json = json;
  return options;
}

// Runs the command as main() would, with `answer` as what the user types.
inline Said run_command(const ConsoleOptions &options, QString answer = QString()) {
  QString out, err;
  QTextStream out_stream(&out), err_stream(&err), in_stream(&answer);
  QElapsedTimer clock;
  clock.start();
  const int status = run_console_command(options, {&out_stream, &err_stream, &in_stream, false});
  return {status, out, err, double(clock.nsecsElapsed()) / 1e9};
}

#endif
