#include <QObject>
#include <csignal>
#include <cstdio>
#include <memory>

#include "interrupts.h"
#include "quitsignals.h"

namespace {
std::unique_ptr<QuitSignals> held;  // the main thread's; its handlers while it lives
}  // namespace

void hold_interrupts(bool hold) {
  if (!hold) return held.reset();
  held.reset(new QuitSignals);
  QObject::connect(held.get(), &QuitSignals::received, [] { std::fputs(kInterruptHeld, stderr); });
}

void survive_closed_readers() { std::signal(SIGPIPE, SIG_IGN); }
