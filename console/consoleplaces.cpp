#include "consoleplaces.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

#include "consoleparts.h"
#include "settingspanel.h"
#include "updateguard.h"

namespace {

const unsigned kRescanMs = 1000;

// One interface of `update --all`, from its checks to its end.
struct Entry {
  InterfacePlace place;
  UpdateSide before, after;
  int status = kExitDone;
  QString result;  // for the table: "updated", "up to date", or what ended it
  QString reason;  // why it was not updated, where it was not
  bool offered = false;
};

QString version_line(const UpdateSide &side) {
  return side.version.isEmpty() ? QString("-") : QString("%1 (%2)").arg(side.version, side.build);
}

// The checks of the interface at `place`, once it is chosen. `s` is loaded already.
UpdateChecks check_place(Session &s, const ConsoleOptions &options, const InterfacePlace &place) {
  choose_interface(place);
  return check(s, options);
}

// What the checks say of an interface as a status, a result and a reason.
void judge(const UpdateChecks &checks, Entry *entry) {
  entry->before = checks.from;
  entry->offered = checks.refusal.isEmpty();
  if (entry->offered) return;
  if (checks.outcome == CheckOutcome::kAlreadyInstalled || already_current(checks)) {
    entry->after = checks.from;
    entry->result = "up to date";
    return;
  }
  entry->status = exit_status_of(checks.outcome, DeviceConnection::access_denied());
  entry->reason = refusal_of(checks);
  entry->result = QString("%1: %2").arg(result_name(entry->status), entry->reason);
}

void print_table(QTextStream &out, const QList<Entry> &entries) {
  int width = 5;
  for (const Entry &e : entries) width = std::max(width, e.place.name.size());
  out << QString("Place").leftJustified(width + 2) << QString("Before").leftJustified(14)
      << QString("After").leftJustified(14) << "Result\n";
  for (const Entry &e : entries) {
    out << e.place.name.leftJustified(width + 2) << version_line(e.before).leftJustified(14)
        << version_line(e.after).leftJustified(14) << e.result << '\n';
  }
  out.flush();
}

QJsonObject entry_json(const Entry &e) {
  QJsonObject object{{"place", e.place.name}, {"result", result_name(e.status)}};
  if (!e.place.serial.isEmpty()) object["serial"] = e.place.serial;
  if (has_side(e.before)) object["before"] = side_json(e.before);
  if (has_side(e.after)) object["after"] = side_json(e.after);
  if (!e.reason.isEmpty()) object["reason"] = e.reason;
  return object;
}

}  // namespace

QList<InterfacePlace> wait_for_interfaces(const ConsoleOptions &options) {
  QList<InterfacePlace> places = connected_interfaces();
  const bool wanted_only = !options.device.isEmpty();
  const unsigned budget = unsigned(options.wait_seconds) * 1000;
  for (unsigned waited = 0; waited < budget;) {
    if (wanted_only ? find_interface(places, options.device) >= 0 : !places.isEmpty()) break;
    // A look every second, and at once when the platform tells of an arrival.
    waited += std::max(await_arrival(std::min(kRescanMs, budget - waited)), 1u);
    places = connected_interfaces();
  }
  return places;
}

int list_command(const ConsoleOptions &options, const ConsoleStreams &io,
                 const QList<InterfacePlace> &places) {
  const int status = places.isEmpty() ? kExitNotFound : kExitDone;
  QJsonArray interfaces;
  QStringList lines;
  int width = 5;
  for (const InterfacePlace &place : places) width = std::max(width, place.name.size());
  for (const InterfacePlace &place : places) {
    Session s;
    QString problem;
    const bool loaded = load(s, options, &problem);
    const UpdateChecks checks = loaded ? check_place(s, options, place) : UpdateChecks();
    const QString refusal = loaded ? refusal_of(checks) : problem;
    QJsonObject object{{"place", place.name}, {"update_offered", refusal.isEmpty()}};
    if (!place.serial.isEmpty()) object["serial"] = place.serial;
    if (has_side(checks.from)) object["device"] = side_json(checks.from);
    if (!refusal.isEmpty()) object["reason"] = refusal;
    interfaces.append(object);
    const QString what = has_side(checks.from) ? side_line(checks.from) : QString("-");
    QString offer = refusal.isEmpty() ? "update offered" : refusal;
    if (already_current(checks) || checks.outcome == CheckOutcome::kAlreadyInstalled)
      offer = "up to date";
    lines << place.name.leftJustified(width + 2) +
                 (place.serial.isEmpty() ? QString() : "serial " + place.serial + "  ") + what +
                 "  " + offer;
  }
  choose_interface(InterfacePlace());
  if (options.json) {
    print_json(*io.out,
               {{"command", "list"}, {"result", result_name(status)}, {"interfaces", interfaces}});
  } else if (places.isEmpty()) {
    print_line(*io.err, "Supported hardware is not connected.");
  } else {
    for (const QString &line : lines) *io.out << line << '\n';
    io.out->flush();
  }
  return status;
}

QString unknown_place_text(const ConsoleOptions &options, const QList<InterfacePlace> &places) {
  if (places.isEmpty())
    return QString("No ZV-16x16 is connected at %1: none is connected.").arg(options.device);
  return QString("No ZV-16x16 is connected at %1. Connected: %2.")
      .arg(options.device, place_names(places));
}

QString several_text(const QList<InterfacePlace> &places) {
  return QString(
             "%1 ZV-16x16 are connected (%2): choose one with --device PLACE, or update each "
             "with --all.")
      .arg(places.size())
      .arg(place_names(places));
}

int update_all(const ConsoleOptions &options, const ConsoleStreams &io,
               const std::function<void(bool)> &updating, const QList<InterfacePlace> &places) {
  QElapsedTimer clock;
  clock.start();
  auto finish = [&](int status, const QList<Entry> &entries) {
    if (options.json) {
      QJsonArray interfaces;
      for (const Entry &e : entries) interfaces.append(entry_json(e));
      print_json(*io.out, {{"command", "update"},
                           {"all", true},
                           {"result", result_name(status)},
                           {"interfaces", interfaces},
                           {"seconds", double(clock.elapsed()) / 1000.0}});
    } else if (!entries.isEmpty()) {
      print_table(*io.out, entries);
    }
    return status;
  };
  if (places.isEmpty()) {
    if (!options.json) print_line(*io.err, "Supported hardware is not connected.");
    return finish(kExitNotFound, {});
  }
  end_settings_panel(PanelToolOutput::kDiagnostics);

  // Every interface through the checks first, so that one question covers them all.
  QList<Entry> entries;
  QStringList offered;
  for (const InterfacePlace &place : places) {
    Entry entry;
    entry.place = place;
    Session s;
    QString problem;
    if (!load(s, options, &problem)) return refuse_command(options, io, kExitRefused, problem);
    judge(check_place(s, options, place), &entry);
    if (entry.offered) {
      offered << QString("  %1: %2 to %3")
                     .arg(place.name, version_line(entry.before),
                          version_line(check(s, options).to));
    }
    entries << entry;
  }
  if (!offered.isEmpty() && !options.yes &&
      !ask(io, QString("Update %1 of %2 interfaces?\n%3\nAre you sure?")
                   .arg(offered.size())
                   .arg(entries.size())
                   .arg(offered.join('\n')))) {
    print_line(*io.out, "Cancelled.");
    for (Entry &e : entries) {
      if (!e.offered) continue;
      e.status = kExitCancelled;
      e.result = "cancelled";
    }
    return finish(kExitCancelled, entries);
  }

  // Each in turn, checked again just before: one unplugged since is reported, not updated,
  // and the others go on. Sleep and shutdown stay held off from the first update to the last,
  // not only during each.
  UpdateGuard held_off;
  if (!offered.isEmpty()) held_off.begin(0);
  for (Entry &e : entries) {
    if (!e.offered) continue;
    Session s;
    QString problem;
    load(s, options, &problem);
    const UpdateChecks checks = check_place(s, options, e.place);
    judge(checks, &e);
    if (!e.offered) continue;
    if (!options.json) print_line(*io.out, QString("Updating %1:").arg(e.place.name));
    QStringList texts;
    const bool failed = run_update(s, io, options.json, updating, &texts, &e.reason);
    e.after = check_update(s.device, *s.loaded, s.path, false).from;
    e.status = failed ? kExitFailed : kExitDone;
    e.result = failed ? QString("failed: %1").arg(e.reason) : QString("updated");
  }
  choose_interface(InterfacePlace());

  int status = kExitDone;
  for (const Entry &e : entries) {
    if (status == kExitDone) status = e.status;
  }
  return finish(status, entries);
}
