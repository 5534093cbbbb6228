#include "quitsignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {

int pipe_ends[2] = {-1, -1};  // the handler writes to [0], the event loop reads [1]
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// What the program's parent left in place (ignored under nohup, say), given back at the end.
struct sigaction before[sizeof kSignals / sizeof kSignals[0]];

void on_signal(int number) {
  const unsigned char byte = static_cast<unsigned char>(number);
  const int saved = errno;
  if (write(pipe_ends[0], &byte, 1) < 0) {
    // Full or gone: the request already waiting is enough.
  }
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent), notifier_(nullptr) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe_ends) != 0) return;
  fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(pipe_ends[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drain);
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    sigaction(kSignals[i], &action, &before[i]);
}

QuitSignals::~QuitSignals() {
  if (notifier_ != nullptr) {
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
      sigaction(kSignals[i], &before[i], nullptr);
  }
  delete notifier_;
  for (int &end : pipe_ends) {
    if (end >= 0) close(end);
    end = -1;
  }
}

void QuitSignals::drain() {
  unsigned char byte = 0;
  if (read(pipe_ends[1], &byte, 1) == 1) emit received(byte);
}
