// ZV-16x16 Firmware Updater: start-up. The window is built first (it loads the embedded
// image), then the single-instance guard decides whether this copy may run.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "instanceguard.h"
#include "mainwindow.h"
#include "systemlibraries.h"
#include "zv_app_id.h"
#include "zv_build_values.h"
#ifndef Q_OS_WIN
#include "quitsignals.h"
#endif

int main(int argc, char *argv[]) {
  use_system_libraries_only();
  // Diagnostics reach a log file or a pipe line by line, not when a buffer fills, so that a
  // saved output keeps its last lines when the program is killed. The Windows C runtime has
  // no line buffering: there each printf goes out by itself.
#ifdef Q_OS_WIN
  std::setvbuf(stdout, nullptr, _IONBF, 0);
#else
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
#endif
  // The window's geometry is fixed, in pixels. At 125 % or 150 % the system's font grows and
  // the label's second line would be cut off; with Qt's high-DPI scaling the whole window
  // scales instead, by the exact factor, and keeps its layout in device-independent pixels.
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  MainWindow window;
  InstanceGuard guard(QCoreApplication::applicationName());
  if (guard.another_running()) return -1;

  QCoreApplication::setApplicationVersion(ZV_UPDATER_VERSION);
  // The desktop entry and the icons are named after the application id.
  QGuiApplication::setDesktopFileName(ZV_APP_ID);
  window.setWindowTitle(QCoreApplication::applicationName());
#ifndef Q_OS_WIN
  // On Windows the executable's icon resource is the window icon already.
  QApplication::setWindowIcon(QIcon(":/icons/zv16x16.ico"));
#endif
#ifndef Q_OS_WIN
  // A signal during an update closes the window only once it has finished.
  QuitSignals quit;
  QObject::connect(&quit, &QuitSignals::received, &window, &MainWindow::request_close);
#endif
  window.show();
  return app.exec();
}
