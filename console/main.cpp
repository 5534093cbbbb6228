// zv16x16-update: the console updater. It shares the window's update core: the same checks
// in the same order, the same question, the same update run (worker, sleep and shutdown
// guard) and the same one-copy guard, so that it never updates beside the window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "consolestream.h"
#include "consoleupdate.h"
#include "instanceguard.h"
#include "interrupts.h"
#include "systemlibraries.h"
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

const char kDescription[] =
    "Tells what firmware a ZV-16x16 runs, and brings it up to date with the built-in image.\n"
    "\n"
    "Commands:\n"
    "  list    every connected interface by its place, with its firmware and whether an\n"
    "          update would be offered\n"
    "  info    the interface's product, firmware version and build and checksum, the image's\n"
    "          version and build, and whether an update would be offered (or why not); with\n"
    "          several interfaces connected, each of them\n"
    "  update  the same checks as the updater's window, its question, and the update\n"
    "\n"
    "Results go to standard output; refusals, failures and their reasons to standard error.\n"
    "With --json, standard output holds one JSON object (UTF-8) whatever happens.\n"
    "\n"
    "Exit statuses:\n"
    "  0  updated, or already up to date; info or list answered\n"
    "  1  the command line was not understood (update --json without --yes among it)\n"
    "  2  refused: another product, an image that is not newer, or an image file that is\n"
    "     not valid\n"
    "  3  no ZV-16x16 is connected (at the place that --device names)\n"
    "  4  a ZV-16x16 is connected, but this user may not open it\n"
    "  5  the interface did not answer, or the update failed\n"
    "  6  cancelled: the question was answered no\n"
    "  7  the updater's window or another copy is running; for info on Windows, the\n"
    "     interface's settings panel\n"
    "  8  several interfaces are connected: update needs --device PLACE or --all\n"
    "With --all, the status of the first interface that was not updated or up to date.";

// The device libraries print their diagnostics on standard output, a line for every chunk of
// an update among them: with --verbose they go to standard error, otherwise nowhere, and
// standard output is the command's own. Returns the descriptor of the original standard
// output, or -1 where it could not be kept apart (then everything shares it).
int divert_diagnostics(bool verbose) {
  std::fflush(stdout);
  const int kept = dup(fileno(stdout));
  if (kept < 0) return -1;
  if (verbose) {
    dup2(fileno(stderr), fileno(stdout));
  } else if (FILE *nowhere = std::fopen(kNowhere, "w")) {
    dup2(fileno(nowhere), fileno(stdout));
    std::fclose(nowhere);
  }
  return kept;
}

}  // namespace

int main(int argc, char *argv[]) {
  use_system_libraries_only();
  survive_closed_readers();
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
                                   "Prints the device libraries' diagnostics on standard error.");
  const QCommandLineOption device(
      "device", "Chooses the interface at PLACE, as list names it (or by its serial).", "PLACE");
  const QCommandLineOption all("all", "update: every connected interface in turn.");
  const QCommandLineOption wait(
      "wait", "Waits up to SECONDS for an interface to appear, rather than end at once.",
      "SECONDS");
  parser.addOptions({yes, json, image, verbose, device, all, wait});
  parser.addPositionalArgument("command", "list, info or update");
  const bool parsed = parser.parse(QCoreApplication::arguments());

  ConsoleOptions options;
  options.json = QCoreApplication::arguments().contains("--json");
  if (parsed) {
    if (parser.isSet("help")) parser.showHelp(kExitDone);
    if (parser.isSet("version")) parser.showVersion();
    const QStringList commands = parser.positionalArguments();
    if (commands.size() == 1) options.command = commands[0];
    options.yes = parser.isSet(yes);
    options.image = parser.value(image);
    options.device = parser.value(device);
    options.all = parser.isSet(all);
  }

  const int results = divert_diagnostics(parsed && parser.isSet(verbose));
  ConsoleStream out_device(results >= 0 ? results : fileno(stdout));
  ConsoleStream err_device(fileno(stderr));
  QTextStream out(&out_device);
  QTextStream err(&err_device);
  QTextStream in(stdin);
  for (QTextStream *stream : {&out, &err}) stream->setCodec("UTF-8");
  const ConsoleStreams streams{&out, &err, &in,
                               isatty(results >= 0 ? results : fileno(stdout)) != 0};

  if (!parsed) return refuse_command(options, streams, kExitUsage, parser.errorText());
  if (options.command != "list" && options.command != "info" && options.command != "update") {
    options.command.clear();
    return refuse_command(options, streams, kExitUsage,
                          "zv16x16-update: give one command, list, info or update (see --help)");
  }
  if (parser.isSet(wait)) {
    bool number = false;
    options.wait_seconds = parser.value(wait).toInt(&number);
    if (!number || options.wait_seconds < 0 || options.wait_seconds > 86400) {
      return refuse_command(options, streams, kExitUsage,
                            "zv16x16-update: --wait takes a number of seconds, 0 to 86400");
    }
  }
  if (options.all && (options.command != "update" || !options.device.isEmpty())) {
    return refuse_command(options, streams, kExitUsage,
                          "zv16x16-update: --all goes with update alone, without --device");
  }
  if (!options.device.isEmpty() && options.command == "list") {
    return refuse_command(options, streams, kExitUsage,
                          "zv16x16-update: list names every interface; --device goes with info "
                          "and update");
  }

  InstanceGuard guard(ZV_UPDATER_NAME);
  if (guard.another_running()) {
    return refuse_command(options, streams, kExitBusy,
                          "The ZV-16x16 Firmware Updater is running: close it first.");
  }
  return run_console_command(options, streams, hold_interrupts);
}
