// One press of the update button as the window makes it, on the calling thread and the
// virtual clock: the checks before the confirmation and, confirmed, the update run that
// every program drives, its worker called in this thread. What the user would read at the
// end comes back, and whether the run kept its contract with the window (at most one failure
// text, then exactly one finished()).
#ifndef TESTS_SWEEP_PRESS_H
#define TESTS_SWEEP_PRESS_H

#include <QString>
#include <cstdint>
#include <functional>

#include "deviceconnection.h"
#include "updatejob.h"

struct PressOutcome {
  QString text;         // the refusal box's text, or the label's last text
  bool refused;         // a box came before the confirmation; the update never started
  bool kept_contract;   // the button came back: one finished(), last, at most one error()
  uint64_t virtual_ms;  // from the press to its end
};

// `on_text` sees every status text as the worker sends it.
PressOutcome press_update(DeviceConnection &device, LoadedImage &loaded,
                          const std::function<void(const QString &)> &on_text);

// Texts of the end of an update: success, or one the worker or the window shows for a
// failure ("Cannot downgrade from %1 to %2" with any versions).
bool is_success_text(const QString &text);
bool is_failure_text(const QString &text);

#endif
