#include "consoleparts.h"

#include <QEventLoop>
#include <QJsonDocument>

#include "updaterun.h"
#include "zv_build_values.h"

namespace {

const int kBarWidth = 40;

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

}  // namespace

bool load(Session &s, const ConsoleOptions &options, QString *problem) {
  s.path = options.image.isEmpty() ? QString(kEmbeddedImage) : options.image;
  s.image = load_image_file(s.device, *s.loaded, s.path);
  if (s.image.loaded) return true;
  *problem = s.image.problem.isEmpty() ? QString("Cannot read the image file: %1").arg(s.path)
                                       : s.image.problem;
  return false;
}

UpdateChecks check(Session &s, const ConsoleOptions &options) {
  return check_update(s.device, *s.loaded, s.path, options.image.isEmpty());
}

QJsonObject side_json(const UpdateSide &side) {
  return {{"product", side.product}, {"version", side.version}, {"build", side.build}};
}

QString side_line(const UpdateSide &side) {
  return QString("%1, firmware %2, build %3").arg(side.product, side.version, side.build);
}

bool has_side(const UpdateSide &side) { return !side.product.isEmpty() || !side.version.isEmpty(); }

bool already_current(const UpdateChecks &checks) {
  return checks.outcome == CheckOutcome::kNotNewer && checks.from.version == checks.to.version &&
         checks.from.build == checks.to.build;
}

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
    case kExitSeveral:
      return "several";
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

bool ask(const ConsoleStreams &io, const QString &question) {
  QTextStream &out = *io.out;
  out << question << " [y/N] ";
  out.flush();
  const QString answer = io.in->readLine().trimmed().toLower();
  return answer == "y" || answer == "yes";
}

bool run_update(Session &s, const ConsoleStreams &io, bool quiet,
                const std::function<void(bool)> &updating, QStringList *texts, QString *reason) {
  Progress progress(*io.out, io.terminal && !quiet);
  bool failed = false;
  UpdateRun run;
  QEventLoop loop;
  QObject::connect(&run, &UpdateRun::progress, [&](quint32 position, quint32 total) {
    if (!quiet) progress.show(position, total);
  });
  QObject::connect(&run, &UpdateRun::process_text, [&](const QString &text) {
    *texts << text;
    if (!quiet) progress.line(*io.out, text);
  });
  QObject::connect(&run, &UpdateRun::error, [&](const QString &text) {
    failed = true;
    *texts << text;
    *reason = text;
    if (!quiet) progress.line(*io.err, text);
  });
  QObject::connect(&run, &UpdateRun::finished, &loop, &QEventLoop::quit);
  if (updating) updating(true);
  run.start(s.device, *s.loaded);
  loop.exec();
  if (updating) updating(false);
  return failed;
}
