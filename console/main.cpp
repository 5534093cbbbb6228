// zv16x16-update: the console updater. It shares the window's update core: the same checks
// in the same order, the same question, the same worker, the same sleep and shutdown guard
// and the same one-copy guard, so that it never updates beside the window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "consoleupdate.h"
#include "instanceguard.h"
#include "interrupts.h"
#include "zv_build_values.h"
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
const char kNowhere[] = "NUL";
#else
const char kNowhere[] = "/dev/null";
#endif

// The window's name for its one-copy guard: the console updater takes the same one.
const char kUpdaterName[] = "ZV-16x16_FirmwareUpdater";

const char kDescription[] =
    "Tells what firmware a ZV-16x16 runs, and brings it up to date with the built-in image.\n"
    "\n"
    "Commands:\n"
    "  info    the interface's product, firmware version and build and checksum, the image's\n"
    "          version and build, and whether an update would be offered (or why not)\n"
    "  update  the same checks as the updater's window, its question, and the update\n"
    "\n"
    "Exit statuses:\n"
    "  0  updated, or already up to date; info answered\n"
    "  1  the command line was not understood\n"
    "  2  refused: another product, an image that is not newer, or an image file that is\n"
    "     not valid\n"
    "  3  no ZV-16x16 is connected\n"
    "  4  a ZV-16x16 is connected, but this user may not open it\n"
    "  5  the interface did not answer, or the update failed\n"
    "  6  cancelled: the question was answered no\n"
    "  7  the updater's window or another copy is running";

}  // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(ZV_UPDATER_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(kDescription);
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption yes("yes", "Answers the question yes, for a script.");
  const QCommandLineOption json("json", "Prints one JSON object with the command's result.");
  const QCommandLineOption image(
      "image", "Updates from FILE, with the relaxed checks of the window's own choice of an image.",
      "FILE");
  const QCommandLineOption verbose("verbose",
                                   "Prints the device libraries' diagnostics on standard output.");
  parser.addOptions({yes, json, image, verbose});
  parser.addPositionalArgument("command", "info or update");
  if (!parser.parse(QCoreApplication::arguments())) {
    std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
    return kExitUsage;
  }
  if (parser.isSet("help")) parser.showHelp(kExitDone);
  if (parser.isSet("version")) parser.showVersion();
  const QStringList commands = parser.positionalArguments();
  if (commands.size() != 1 || (commands[0] != "info" && commands[0] != "update")) {
    std::fprintf(stderr, "zv16x16-update: give one command, info or update (see --help)\n");
    return kExitUsage;
  }
  ConsoleOptions options;
  options.command = commands[0];
  options.yes = parser.isSet(yes);
  options.json = parser.isSet(json);
  options.image = parser.value(image);

  // The device libraries print their diagnostics on standard output, a line for every
  // chunk of an update among them. Without --verbose they go nowhere, and what the command
  // says has standard output to itself.
  std::fflush(stdout);
  FILE *results = stdout;
  if (!parser.isSet(verbose)) {
    const int kept = dup(fileno(stdout));
    FILE *nowhere = std::fopen(kNowhere, "w");
    if (kept >= 0 && nowhere != nullptr && (results = fdopen(kept, "w")) != nullptr) {
      dup2(fileno(nowhere), fileno(stdout));
    } else {
      results = stdout;
    }
    if (nowhere != nullptr) std::fclose(nowhere);
  }
  QTextStream out(results);
  QTextStream in(stdin);
  ConsoleStreams streams{&out, &in, isatty(fileno(results)) != 0};

  InstanceGuard guard(kUpdaterName);
  if (guard.another_running()) {
    std::fprintf(stderr, "The ZV-16x16 Firmware Updater is running: close it first.\n");
    return kExitBusy;
  }

  const int status = run_console_command(options, streams, hold_interrupts);
  out.flush();
  return status;
}
