#include "press.h"

#include <QRegularExpression>

#include "update_texts.h"
#include "updatechecks.h"
#include "updaterun.h"
#include "virtual_clock.h"

namespace {

using namespace update_texts;

const char *const kFailureTexts[] = {kNotConnected,    kNoProduct,   kNoVersion,       kNoBuild,
                                     kWrongProduct,    kNoChecksum,  kError,           kSetClock,
                                     kSetFrequency,    kGetChecksum, kChecksumInvalid, kSend,
                                     kChecksumMismatch};

}  // namespace

bool is_success_text(const QString &text) { return text == kCompleted || text == kAlreadyUpdated; }

bool is_failure_text(const QString &text) {
  for (const char *known : kFailureTexts) {
    if (text == known) return true;
  }
  static const QRegularExpression downgrade(
      "^Cannot downgrade from \\d+\\.\\d\\d to \\d+\\.\\d\\d$");
  return downgrade.match(text).hasMatch();
}

PressOutcome press_update(DeviceConnection &device, LoadedImage &loaded,
                          const std::function<void(const QString &)> &on_text) {
  const uint64_t start_us = vclock_now_us();
  PressOutcome outcome{QString(), false, true, 0};
  const UpdateChecks checks = check_update(device, loaded, "update.bin", true);
  if (!checks.refusal.isEmpty()) {
    outcome.text = checks.refusal;
    outcome.refused = true;
  } else {
    // Confirmed: the window's update, with the worker called in this thread.
    UpdateRun run;
    int errors = 0, finished = 0;
    bool late = false;  // a text after the failure text or after finished()
    auto show = [&](const QString &text) {
      late = late || errors > 0 || finished > 0;
      outcome.text = text;
      if (on_text) on_text(text);
    };
    QObject::connect(&run, &UpdateRun::process_text, show);
    QObject::connect(&run, &UpdateRun::error, [&](const QString &text) {
      show(text);
      ++errors;
    });
    QObject::connect(&run, &UpdateRun::finished, [&] { ++finished; });
    run.run_here(device, loaded);
    outcome.kept_contract = finished == 1 && errors <= 1 && !late;
  }
  outcome.virtual_ms = (vclock_now_us() - start_us) / 1000;
  return outcome;
}
