// What the console's commands share: the image and connection they start from, how they
// write a side of an update, a result name, a JSON object or a line, the progress of an
// update, and the run of one update.
#ifndef CONSOLE_CONSOLEPARTS_H
#define CONSOLE_CONSOLEPARTS_H

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

#include "consoleupdate.h"
#include "deviceconnection.h"
#include "imagefile.h"
#include "updatechecks.h"

// The image and the connection that every command starts from.
struct Session {
  DeviceConnection device;
  std::unique_ptr<LoadedImage> loaded{new LoadedImage()};
  QString path;
  ImageFile image;
};

// Loads the image: the built-in one, or --image FILE. False, with the text, when it is not
// valid.
bool load(Session &s, const ConsoleOptions &options, QString *problem);

// The window's checks, with the version rules where the image is the built-in one.
UpdateChecks check(Session &s, const ConsoleOptions &options);

QJsonObject side_json(const UpdateSide &side);
QString side_line(const UpdateSide &side);
// What the checks left of a side: the image's always once it is valid, the device's once
// it answered.
bool has_side(const UpdateSide &side);
// The interface runs the image's version and build: the window refuses ("Cannot downgrade
// from 1.06 to 1.06"), and a script is told that it is up to date.
bool already_current(const UpdateChecks &checks);
// The window's refusal, except where it would not be true here: an interface that is
// connected but may not be opened is not "not connected".
QString refusal_of(const UpdateChecks &checks);

const char *result_name(int status);
void print_json(QTextStream &out, const QJsonObject &object);
void print_line(QTextStream &stream, const QString &text);

// Asks `question` on the terminal; true for "y" or "yes".
bool ask(const ConsoleStreams &io, const QString &question);

// One update of the interface behind `s`, as the window runs it, shown on `io` (nothing
// while `quiet`): its texts are added to `texts`, a failure's text is put in `reason`.
// Returns whether it failed.
bool run_update(Session &s, const ConsoleStreams &io, bool quiet,
                const std::function<void(bool)> &updating, QStringList *texts, QString *reason);

#endif
