// Linux: a "block" inhibitor lock from systemd-logind over the system D-Bus. logind holds
// the lock for as long as a copy of the descriptor it hands back stays open, so the guard
// keeps it and closes it to release the lock. Sleep is held off by that lock too, so the
// worker has nothing of its own to do.
//
// The call is asynchronous: a slow system bus must not freeze the window. The lock is asked
// for before the worker starts and kept when the answer comes; an answer that comes after
// the guard has ended is dropped, and with it the descriptor, which releases the lock at once.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <cstdio>

#include "updateguard.h"

namespace {

const char kSource[] = "updatecore\\updateguard_logind.cpp";
const char kWhat[] =
    "shutdown:sleep:idle:handle-power-key:handle-suspend-key:handle-hibernate-key:"
    "handle-lid-switch";
const char kWhy[] = "Firmware update in progress";
const int kCallTimeoutMs = 5000;  // after this the answer counts as a refusal

void refused(int line, const QString &why) {
  std::printf("%s:%d:ERROR no inhibitor lock, the update goes on without one: %s\n", kSource, line,
              why.toLocal8Bit().constData());
  std::fflush(stdout);
}

}  // namespace

struct UpdateGuard::Hold {
  QDBusUnixFileDescriptor lock;
  std::unique_ptr<QDBusPendingCallWatcher> awaited;  // logind's answer, until it comes
};

UpdateGuard::UpdateGuard() = default;
UpdateGuard::~UpdateGuard() = default;

void UpdateGuard::begin(uintptr_t) {
  end();
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return refused(__LINE__, bus.lastError().message());
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString(kWhat) << QCoreApplication::applicationName() << QString(kWhy)
       << QString("block");
  hold_.reset(new Hold);
  Hold *hold = hold_.get();
  hold->awaited.reset(new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs)));
  // The watcher lives in the hold: when the guard ends first, no answer reaches it.
  QObject::connect(hold->awaited.get(), &QDBusPendingCallWatcher::finished, [hold] {
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *hold->awaited;
    hold->awaited.release()->deleteLater();  // it is still delivering this signal
    if (reply.isError()) {
      return refused(__LINE__, reply.error().name() + ": " + reply.error().message());
    }
    if (!reply.value().isValid()) return refused(__LINE__, "no descriptor came back");
    hold->lock = reply.value();
  });
}

void UpdateGuard::end() { hold_.reset(); }  // the last copy of the descriptor closes

WorkerAwake::WorkerAwake() = default;
WorkerAwake::~WorkerAwake() = default;
