#include "consoleupdate.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "deviceconnection.h"
#include "imagefile.h"
#include "settingspanel.h"
#include "updatejob.h"
#include "updaterun.h"
#include "zv_build_values.h"

namespace {

const int kBarWidth = 40;

const char kPanelRunning[] =
    "The interface's settings panel is running: close it first (update ends it by itself).";
const char kJsonNeedsYes[] =
    "update --json cannot ask its question: give --yes to update without it.";

QJsonObject side_json(const UpdateSide &side) {
  return {{"product", side.product}, {"version", side.version}, {"build", side.build}};
}

QString side_line(const UpdateSide &side) {
  return QString("%1, firmware %2, build %3").arg(side.product, side.version, side.build);
}

// The interface runs the image's version and build: the window refuses ("Cannot downgrade
// from 1.06 to 1.06"), and a script is told that it is up to date.
bool already_current(const UpdateChecks &checks) {
  return checks.outcome == CheckOutcome::kNotNewer && checks.from.version == checks.to.version &&
         checks.from.build == checks.to.build;
}

// What the checks left of the two sides: the image's side always once the image is valid,
// the device's once it answered.
bool has_side(const UpdateSide &side) { return !side.product.isEmpty() || !side.version.isEmpty(); }

// The window's refusal, except where it would not be true here: an interface that is
// connected but may not be opened is not "not connected".
QString refusal_of(const UpdateChecks &checks) {
  if (checks.outcome == CheckOutcome::kNotConnected && DeviceConnection::access_denied())
    return no_access_text();
  return checks.refusal;
}

const char *result_name(int status) {
  switch (status) {
    case kExitDone:
      return "done";
    case kExitUsage:
      return "usage";
    case kExitRefused:
      return "refused";
    case kExitNotFound:
      return "not-found";
    case kExitNoAccess:
      return "no-access";
    case kExitFailed:
      return "failed";
    case kExitCancelled:
      return "cancelled";
    case kExitBusy:
      return "busy";
    default:
      return "error";
  }
}

void print_json(QTextStream &out, const QJsonObject &object) {
  out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
  out.flush();
}

void print_line(QTextStream &stream, const QString &text) {
  stream << text << '\n';
  stream.flush();
}

// The image and the connection that every command starts from.
struct Session {
  DeviceConnection device;
  std::unique_ptr<LoadedImage> loaded{new LoadedImage()};
  QString path;
  ImageFile image;
};

// Loads the image: the built-in one, or --image FILE. False, with the text, when it is not
// valid.
bool load(Session &s, const ConsoleOptions &options, QString *problem) {
  s.path = options.image.isEmpty() ? QString(kEmbeddedImage) : options.image;
  s.image = load_image_file(s.device, *s.loaded, s.path);
  if (s.image.loaded) return true;
  *problem = s.image.problem.isEmpty() ? QString("Cannot read the image file: %1").arg(s.path)
                                       : s.image.problem;
  return false;
}

int info(const ConsoleOptions &options, const ConsoleStreams &io) {
  // The panel may be talking to the interface; info must not read beside it, nor end it.
  if (settings_panel_running()) return refuse_command(options, io, kExitBusy, kPanelRunning);
  Session s;
  QString problem;
  if (!load(s, options, &problem)) return refuse_command(options, io, kExitRefused, problem);
  // The window's checks, with the version rules of the built-in image.
  const UpdateChecks checks = check_update(s.device, *s.loaded, s.path, options.image.isEmpty());
  // Told whether an update would be offered: answered, whatever the answer.
  const bool told = checks.outcome != CheckOutcome::kNotConnected &&
                    checks.outcome != CheckOutcome::kDeviceUnreadable &&
                    checks.outcome != CheckOutcome::kImageInvalid;
  const int status =
      told ? kExitDone : exit_status_of(checks.outcome, DeviceConnection::access_denied());
  const QString refusal = refusal_of(checks);
  uint32_t checksum = 0;
  const bool answered =
      has_side(checks.from) && s.device.get_checksum(s.device.get_image_payload_size(), checksum);
  const QString sum = "0x" + QString::number(checksum, 16).toUpper().rightJustified(8, '0');
  if (options.json) {
    QJsonObject object{{"command", "info"},
                       {"result", result_name(status)},
                       {"image", side_json(checks.to)},
                       {"update_offered", refusal.isEmpty()}};
    if (!refusal.isEmpty()) object["reason"] = refusal;
    if (has_side(checks.from)) object["device"] = side_json(checks.from);
    if (answered) object["device_checksum"] = sum;
    print_json(*io.out, object);
    return status;
  }
  QTextStream &out = *io.out;
  if (has_side(checks.from)) {
    out << "Interface:       " << side_line(checks.from) << '\n';
    if (answered) {
      out << "Checksum:        " << sum << " (over the image's "
          << s.device.get_image_payload_size() << " bytes)\n";
    }
  }
  out << (options.image.isEmpty() ? "Built-in image:  " : "Image file:      ")
      << side_line(checks.to) << '\n';
  // Whether an update is offered is the answer; why the interface could not be asked is not.
  if (told)
    out << "Update:          " << (refusal.isEmpty() ? "offered" : "refused: " + refusal) << '\n';
  out.flush();
  if (!told) print_line(*io.err, refusal);
  return status;
}

// The progress of a running update: a bar that redraws itself on a terminal, a line every
// tenth otherwise.
class Progress {
 public:
  Progress(QTextStream &out, bool terminal) : out_(out), terminal_(terminal) {}
  void show(uint32_t position, uint32_t total) {
    if (total == 0) return;
    const int percent = static_cast<int>(uint64_t(position) * 100 / total);
    if (terminal_) {
      const int filled = percent * kBarWidth / 100;
      out_ << '\r' << '[' << QString(filled, '#') << QString(kBarWidth - filled, '.') << "] "
           << QString("%1").arg(percent, 3) << " %";
      out_.flush();
      drawn_ = true;
    } else if (percent / 10 > last_tenth_) {
      last_tenth_ = percent / 10;
      out_ << "progress: " << last_tenth_ * 10 << " %\n";
      out_.flush();
    }
  }
  // A text of the update, on `stream`, on a line of its own below the bar.
  void line(QTextStream &stream, const QString &text) {
    if (drawn_) {
      out_ << '\n';
      out_.flush();
    }
    drawn_ = false;
    print_line(stream, text);
  }

 private:
  QTextStream &out_;
  bool terminal_;
  bool drawn_ = false;
  int last_tenth_ = 0;
};

bool ask(const ConsoleStreams &io, const UpdateChecks &checks) {
  QTextStream &out = *io.out;
  out << confirmation_text(checks.from, checks.to) << " [y/N] ";
  out.flush();
  const QString answer = io.in->readLine().trimmed().toLower();
  return answer == "y" || answer == "yes";
}

int update(const ConsoleOptions &options, const ConsoleStreams &io,
           const std::function<void(bool)> &updating) {
  // A script that wants one object cannot answer a question in the middle of it.
  if (options.json && !options.yes) return refuse_command(options, io, kExitUsage, kJsonNeedsYes);
  QElapsedTimer clock;
  clock.start();
  Session s;
  QStringList texts;
  QString reason;
  QJsonObject report{{"command", "update"}};
  auto finish = [&](int status) {
    if (options.json) {
      report["result"] = result_name(status);
      report["texts"] = QJsonArray::fromStringList(texts);
      if (!reason.isEmpty()) report["reason"] = reason;
      report["seconds"] = double(clock.elapsed()) / 1000.0;
      print_json(*io.out, report);
    }
    return status;
  };
  // An end before the update: a result (already up to date) or a refusal.
  auto end_with = [&](int status, const QString &text) {
    texts << text;
    if (status != kExitDone) reason = text;
    if (!options.json) print_line(status == kExitDone ? *io.out : *io.err, text);
    return finish(status);
  };

  // As the window does on every press; what taskkill.exe says goes with the diagnostics, so
  // that standard error stays this program's own.
  end_settings_panel(PanelToolOutput::kDiagnostics);
  QString problem;
  if (!load(s, options, &problem)) return end_with(kExitRefused, problem);
  const UpdateChecks checks = check_update(s.device, *s.loaded, s.path, options.image.isEmpty());
  if (has_side(checks.from)) report["before"] = side_json(checks.from);
  report["image"] = side_json(checks.to);
  if (!checks.refusal.isEmpty()) {
    if (checks.outcome == CheckOutcome::kAlreadyInstalled || already_current(checks)) {
      report["after"] = side_json(checks.from);
      return end_with(kExitDone, checks.refusal);
    }
    return end_with(exit_status_of(checks.outcome, DeviceConnection::access_denied()),
                    refusal_of(checks));
  }
  if (!options.yes && !ask(io, checks)) {
    print_line(*io.out, "Cancelled.");
    return finish(kExitCancelled);
  }

  // The window's update: the same run, with no window to hold the guard on.
  Progress progress(*io.out, io.terminal && !options.json);
  bool failed = false;
  UpdateRun run;
  QEventLoop loop;
  QObject::connect(&run, &UpdateRun::progress, [&](quint32 position, quint32 total) {
    if (!options.json) progress.show(position, total);
  });
  QObject::connect(&run, &UpdateRun::process_text, [&](const QString &text) {
    texts << text;
    if (!options.json) progress.line(*io.out, text);
  });
  QObject::connect(&run, &UpdateRun::error, [&](const QString &text) {
    failed = true;
    texts << text;
    reason = text;
    if (!options.json) progress.line(*io.err, text);
  });
  QObject::connect(&run, &UpdateRun::finished, &loop, &QEventLoop::quit);
  if (updating) updating(true);
  run.start(s.device, *s.loaded);
  loop.exec();
  if (updating) updating(false);

  // What the interface runs now, read as the checks read it; empty where it does not answer.
  const UpdateSide after = check_update(s.device, *s.loaded, s.path, false).from;
  if (has_side(after)) report["after"] = side_json(after);
  return finish(failed ? kExitFailed : kExitDone);
}

}  // namespace

QString no_access_text() {
  return QString(
             "A ZV-16x16 is connected, but this user may not open it. Install the udev rule %1 "
             "(the updater's package does), then unplug the interface and plug it in again.")
      .arg(ZV_UDEV_RULE_INSTALLED);
}

int exit_status_of(CheckOutcome outcome, bool access_denied) {
  switch (outcome) {
    case CheckOutcome::kOffered:
    case CheckOutcome::kAlreadyInstalled:
      return kExitDone;
    case CheckOutcome::kNotConnected:
      return access_denied ? kExitNoAccess : kExitNotFound;
    case CheckOutcome::kDeviceUnreadable:
      return kExitFailed;
    case CheckOutcome::kImageInvalid:
    case CheckOutcome::kWrongProduct:
    case CheckOutcome::kNotNewer:
      return kExitRefused;
  }
  return kExitFailed;
}

int refuse_command(const ConsoleOptions &options, const ConsoleStreams &streams, int status,
                   const QString &reason) {
  if (options.json) {
    QJsonObject object{{"result", result_name(status)}, {"reason", reason}};
    if (!options.command.isEmpty()) object["command"] = options.command;
    print_json(*streams.out, object);
  } else {
    print_line(*streams.err, reason);
  }
  return status;
}

int run_console_command(const ConsoleOptions &options, const ConsoleStreams &streams,
                        const std::function<void(bool)> &updating) {
  if (options.command == "info") return info(options, streams);
  return update(options, streams, updating);
}
