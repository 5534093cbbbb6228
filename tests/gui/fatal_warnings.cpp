#include "fatal_warnings.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace {

struct Allowed {
  const char *text;
  const char *reason;
};

const Allowed kAllowed[] = {
    {"This plugin does not support propagateSizeHints()",
     "the offscreen platform cannot pass the window's fixed size on to a window system; the "
     "end-to-end test, on the xcb platform, shows the window without it"},
    {"QPixmap::fromWinHICON(), failed to GetIconInfo() (Invalid cursor handle.)",
     "the Windows build's window tests run on Wine's null display, which has no system icons "
     "for the message boxes; the updater under Wine on a real display shows them"},
};

QtMessageHandler qt_test_handler = nullptr;

void handle(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (qt_test_handler != nullptr) qt_test_handler(type, context, message);
  if (type != QtWarningMsg && type != QtCriticalMsg) return;
  for (const Allowed &allowed : kAllowed) {
    if (message == QLatin1String(allowed.text)) return;
  }
  // Said on standard error, which is not buffered: the test log may not reach its file.
  std::fprintf(stderr, "fatal warning: %s\n", qPrintable(message));
  std::abort();
}

}  // namespace

void make_warnings_fatal() { qt_test_handler = qInstallMessageHandler(handle); }
