#include "consoleupdate.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>

#include "consoleparts.h"
#include "consoleplaces.h"
#include "interfaceplaces.h"
#include "settingspanel.h"
#include "zv_build_values.h"

namespace {

const char kPanelRunning[] =
    "The interface's settings panel is running: close it first (update ends it by itself).";
const char kJsonNeedsYes[] =
    "update --json cannot ask its question: give --yes to update without it.";

// What info found of one interface, before it is written anywhere.
struct InfoReport {
  int status = kExitDone;
  QJsonObject json;  // the command's object for one interface, an entry of it for several
  QString text;      // its lines for standard output
  QString problem;   // why the interface could not be asked, for standard error
};

// `place` names the interface in the object; in the text too where `name_it` holds.
InfoReport read_info(const ConsoleOptions &options, const QString &place, bool name_it) {
  InfoReport r;
  Session s;
  QString problem;
  if (!load(s, options, &problem)) {
    r.status = kExitRefused;
    r.problem = problem;
    r.json = {{"result", result_name(r.status)}, {"reason", problem}};
    return r;
  }
  const UpdateChecks checks = check(s, options);
  // Told whether an update would be offered: answered, whatever the answer.
  const bool told = checks.outcome != CheckOutcome::kNotConnected &&
                    checks.outcome != CheckOutcome::kDeviceUnreadable &&
                    checks.outcome != CheckOutcome::kImageInvalid;
  r.status = told ? kExitDone : exit_status_of(checks.outcome, DeviceConnection::access_denied());
  const QString refusal = refusal_of(checks);
  uint32_t checksum = 0;
  const bool answered =
      has_side(checks.from) && s.device.get_checksum(s.device.get_image_payload_size(), checksum);
  const QString sum = "0x" + QString::number(checksum, 16).toUpper().rightJustified(8, '0');
  r.json = {{"result", result_name(r.status)},
            {"image", side_json(checks.to)},
            {"update_offered", refusal.isEmpty()}};
  if (!place.isEmpty()) r.json["place"] = place;
  if (!refusal.isEmpty()) r.json["reason"] = refusal;
  if (has_side(checks.from)) r.json["device"] = side_json(checks.from);
  if (answered) r.json["device_checksum"] = sum;

  QTextStream out(&r.text);
  if (name_it) out << "Place:           " << place << '\n';
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
  if (!told) r.problem = refusal;
  return r;
}

// Info of the interface the transport finds, or of each of `places` when there are several:
// the status is the first that is not 0.
int info(const ConsoleOptions &options, const ConsoleStreams &io,
         const QList<InterfacePlace> &places) {
  // The panel may be talking to the interface; info must not read beside it, nor end it.
  if (settings_panel_running()) return refuse_command(options, io, kExitBusy, kPanelRunning);
  QList<InfoReport> reports;
  if (places.size() <= 1) {
    reports << read_info(options, places.isEmpty() ? QString() : places[0].name,
                         !options.device.isEmpty());
  } else {
    for (const InterfacePlace &place : places) {
      choose_interface(place);
      reports << read_info(options, place.name, true);
    }
  }
  int status = kExitDone;
  for (const InfoReport &r : reports) {
    if (status == kExitDone) status = r.status;
  }
  if (options.json) {
    QJsonObject object = reports[0].json;
    if (reports.size() > 1) {
      QJsonArray interfaces;
      for (const InfoReport &r : reports) interfaces.append(r.json);
      object = {{"result", result_name(status)}, {"interfaces", interfaces}};
    }
    object["command"] = "info";
    print_json(*io.out, object);
    return status;
  }
  // A load that failed has nothing to tell of any interface.
  if (reports.size() == 1 && reports[0].status == kExitRefused && reports[0].text.isEmpty()) {
    print_line(*io.err, reports[0].problem);
    return status;
  }
  for (int i = 0; i < reports.size(); ++i) {
    *io.out << (i > 0 ? "\n" : "") << reports[i].text;
    io.out->flush();
    if (!reports[i].problem.isEmpty()) print_line(*io.err, reports[i].problem);
  }
  return status;
}

int update(const ConsoleOptions &options, const ConsoleStreams &io,
           const std::function<void(bool)> &updating, const QString &place) {
  QElapsedTimer clock;
  clock.start();
  Session s;
  QStringList texts;
  QString reason;
  QJsonObject report{{"command", "update"}};
  if (!place.isEmpty()) report["place"] = place;
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
  const UpdateChecks checks = check(s, options);
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
  if (!options.yes && !ask(io, confirmation_text(checks.from, checks.to))) {
    print_line(*io.out, "Cancelled.");
    return finish(kExitCancelled);
  }

  // The window's update: the same run, with no window to hold the guard on.
  const bool failed = run_update(s, io, options.json, updating, &texts, &reason);

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
  // A script that wants one object cannot answer a question in the middle of it.
  if (options.command == "update" && options.json && !options.yes)
    return refuse_command(options, streams, kExitUsage, kJsonNeedsYes);
  QList<InterfacePlace> places = wait_for_interfaces(options);
  if (options.command == "list") return list_command(options, streams, places);
  // One interface alone is chosen by its place, so that another one plugged in meanwhile
  // is not taken for it; none leaves the transport's own search, and its words.
  choose_interface(InterfacePlace());
  if (!options.device.isEmpty()) {
    const int chosen = find_interface(places, options.device);
    if (chosen < 0)
      return refuse_command(options, streams, kExitNotFound, unknown_place_text(options, places));
    places = {places[chosen]};
  }
  if (places.size() == 1) choose_interface(places[0]);
  if (options.command == "info") return info(options, streams, places);
  if (options.all) return update_all(options, streams, updating, places);
  if (places.size() > 1)
    return refuse_command(options, streams, kExitSeveral, several_text(places));
  // The place is named where the user named it.
  return update(options, streams, updating, options.device.isEmpty() ? QString() : places[0].name);
}
