#include "consoleupdate.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <memory>

#include "deviceconnection.h"
#include "fwupdateworker.h"
#include "imagefile.h"
#include "settingspanel.h"
#include "updateguard.h"
#include "updatejob.h"

namespace {

const int kProgressTickMs = 100;  // as the window's progress bar
const int kBarWidth = 40;

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

const char *result_name(int status) {
  switch (status) {
    case kExitDone:
      return "done";
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
    default:
      return "error";
  }
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

void print_json(QTextStream &out, const QJsonObject &object) {
  out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
  out.flush();
}

int info(const ConsoleOptions &options, const ConsoleStreams &io) {
  QTextStream &out = *io.out;
  Session s;
  QString problem;
  if (!load(s, options, &problem)) {
    if (options.json) {
      print_json(out, {{"command", "info"}, {"result", "refused"}, {"reason", problem}});
    } else {
      out << problem << '\n';
    }
    return kExitRefused;
  }
  // The window's checks, with the version rules of the built-in image.
  const UpdateChecks checks = check_update(s.device, *s.loaded, s.path, options.image.isEmpty());
  // Told whether an update would be offered: answered, whatever the answer.
  const bool told = checks.outcome != CheckOutcome::kNotConnected &&
                    checks.outcome != CheckOutcome::kDeviceUnreadable &&
                    checks.outcome != CheckOutcome::kImageInvalid;
  const int status =
      told ? kExitDone : exit_status_of(checks.outcome, DeviceConnection::access_denied());
  uint32_t checksum = 0;
  const bool answered =
      has_side(checks.from) && s.device.get_checksum(s.device.get_image_payload_size(), checksum);
  const QString sum = "0x" + QString::number(checksum, 16).toUpper().rightJustified(8, '0');
  const QString offer =
      checks.refusal.isEmpty() ? QString("offered") : QString("refused: %1").arg(checks.refusal);
  if (options.json) {
    QJsonObject object{{"command", "info"},
                       {"result", result_name(status)},
                       {"image", side_json(checks.to)},
                       {"update_offered", checks.refusal.isEmpty()}};
    if (!checks.refusal.isEmpty()) object["reason"] = checks.refusal;
    if (has_side(checks.from)) object["device"] = side_json(checks.from);
    if (answered) object["device_checksum"] = sum;
    print_json(out, object);
    return status;
  }
  if (has_side(checks.from)) {
    out << "Interface:       " << side_line(checks.from) << '\n';
    if (answered) {
      out << "Checksum:        " << sum << " (over the image's "
          << s.device.get_image_payload_size() << " bytes)\n";
    }
  }
  out << (options.image.isEmpty() ? "Built-in image:  " : "Image file:      ")
      << side_line(checks.to) << '\n';
  out << "Update:          " << offer << '\n';
  out.flush();
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
  void line(const QString &text) {
    if (drawn_) out_ << '\n';
    drawn_ = false;
    out_ << text << '\n';
    out_.flush();
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
  QTextStream &out = *io.out;
  QElapsedTimer clock;
  clock.start();
  Session s;
  QStringList texts;
  QJsonObject report{{"command", "update"}};
  auto finish = [&](int status) {
    if (options.json) {
      report["result"] = result_name(status);
      report["texts"] = QJsonArray::fromStringList(texts);
      report["seconds"] = double(clock.elapsed()) / 1000.0;
      print_json(out, report);
    }
    return status;
  };
  auto say = [&](const QString &text) {
    texts << text;
    if (!options.json) out << text << '\n';
    out.flush();
  };

  // As the window does on every press; what taskkill.exe says goes with the diagnostics, so
  // that standard error stays this program's own.
  end_settings_panel(PanelToolOutput::kDiagnostics);
  QString problem;
  if (!load(s, options, &problem)) {
    say(problem);
    return finish(kExitRefused);
  }
  const UpdateChecks checks = check_update(s.device, *s.loaded, s.path, options.image.isEmpty());
  if (has_side(checks.from)) report["before"] = side_json(checks.from);
  report["image"] = side_json(checks.to);
  if (!checks.refusal.isEmpty()) {
    say(checks.refusal);
    if (checks.outcome == CheckOutcome::kAlreadyInstalled || already_current(checks)) {
      report["after"] = side_json(checks.from);
      return finish(kExitDone);
    }
    return finish(exit_status_of(checks.outcome, DeviceConnection::access_denied()));
  }
  if (!options.yes && !ask(io, checks)) {
    if (!options.json) out << "Cancelled.\n";
    return finish(kExitCancelled);
  }

  // The window's update: the same job, worker, thread and guard.
  UpdateJob job;
  s.loaded->connection = &s.device;
  job.image = s.loaded.get();
  job.position.store(0, std::memory_order_relaxed);
  job.total = s.loaded->size;
  UpdateGuard guard;
  guard.begin(0);
  if (updating) updating(true);

  Progress progress(out, io.terminal && !options.json);
  bool failed = false;
  QEventLoop loop;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!options.json) progress.show(job.position.load(std::memory_order_relaxed), job.total);
  });
  auto *thread = new QThread;
  auto *worker = new FWUpdateWorker;
  worker->set_job(&job);
  worker->moveToThread(thread);
  QObject::connect(worker, &FWUpdateWorker::process_text, &loop, [&](const QString &text) {
    texts << text;
    if (!options.json) progress.line(text);
  });
  QObject::connect(worker, &FWUpdateWorker::error, &loop, [&](const QString &text) {
    failed = true;
    texts << text;
    if (!options.json) progress.line(text);
  });
  QObject::connect(thread, &QThread::started, worker, &FWUpdateWorker::process);
  QObject::connect(worker, &FWUpdateWorker::finished, thread, &QThread::quit);
  QObject::connect(worker, &FWUpdateWorker::finished, worker, &QObject::deleteLater);
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  timer.start(kProgressTickMs);
  thread->start();
  loop.exec();
  thread->wait();
  delete thread;
  timer.stop();
  guard.end();
  if (updating) updating(false);

  // What the interface runs now, read as the checks read it; empty where it does not answer.
  const UpdateSide after = check_update(s.device, *s.loaded, s.path, false).from;
  if (has_side(after)) report["after"] = side_json(after);
  return finish(failed ? kExitFailed : kExitDone);
}

}  // namespace

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

int run_console_command(const ConsoleOptions &options, const ConsoleStreams &streams,
                        const std::function<void(bool)> &updating) {
  if (options.command == "info") return info(options, streams);
  return update(options, streams, updating);
}
