// Sleep and shutdown held off during an update, and signals that wait for its end. The
// logind cases run under with_fake_logind.sh, whose fake org.freedesktop.login1 logs every
// Inhibit and every release; the no-bus case runs with a system bus that does not exist.
#include <unistd.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include "fatal_warnings.h"
#include "gui_support.h"
#include "mainwindow.h"
#include "quitsignals.h"
#include "stdout_redirect.h"
#include "ui_mainwindow.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"

namespace {

const char kCompleted[] = "Completed.\n\nPlease turn ZV-16x16's power on again.";

QStringList logind_log() {
  QFile file(qgetenv("FAKE_LOGIND_LOG"));
  file.open(QIODevice::ReadOnly);
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

int count(const QStringList &lines, const QString &start) {
  int n = 0;
  for (const QString &line : lines) n += line.startsWith(start);
  return n;
}

}  // namespace

class TestGuard : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { make_warnings_fatal(); }
  void init() {
    vclock_reset();
    device.reset(new zvsim::VirtualDevice(vclock_now_us));
    usbdevs_virtual_connect(device.get());
  }
  void cleanup() {
    usbdevs_virtual_connect(nullptr);
    device.reset();
  }
  void with_logind();
  void without_a_system_bus();
  void a_signal_during_an_update_waits_for_its_end();

 private:
  bool update(MainWindow &w) {
    ModalPlan boxes({ModalPlan::Ok});
    QTest::mouseClick(w.ui->button_fwupdate, Qt::LeftButton);
    guarded_at_start = w.run.guard_held();  // the worker has started, the answer may not have come
    return w.update_state == 1 && wait_until([&] { return w.update_state == 0; });
  }
  bool guarded_at_start = false;
  std::unique_ptr<zvsim::VirtualDevice> device;
};

void TestGuard::with_logind() {
  if (qEnvironmentVariableIsEmpty("FAKE_LOGIND_LOG")) QSKIP("runs under with_fake_logind.sh");
  const QString inhibit =
      "inhibit what=shutdown:sleep:idle:handle-power-key:handle-suspend-key:"
      "handle-hibernate-key:handle-lid-switch who=" +
      QCoreApplication::applicationName() + " why=Firmware update in progress mode=block";
  struct Case {
    const char *name;
    std::function<void(zvsim::VirtualDevice &)> fault;
    QString text;
  } cases[] = {
      {"a whole update", nullptr, kCompleted},
      {"a checksum that never matches",
       [](zvsim::VirtualDevice &d) { d.faults.checksum_error_after_update = 16; },
       "Hardware checksum is not equal to firmware.\n\nPlease contact the technical support."},
      {"the device unplugged in the middle of the transfer",
       [](zvsim::VirtualDevice &d) { d.faults.unplug_at_byte = 300000; }, "Firmware Update Failed"},
  };
  for (const Case &c : cases) {
    init();
    if (c.fault) c.fault(*device);
    const int before = count(logind_log(), "inhibit");
    MainWindow w;
    QVERIFY2(update(w), c.name);
    QVERIFY2(w.ui->label->text() == c.text, c.name);
    QVERIFY2(guarded_at_start, c.name);  // asked for before the worker started
    const QStringList inhibits = logind_log().filter(QRegularExpression("^inhibit "));
    QCOMPARE(inhibits.size(), before + 1);
    QCOMPARE(inhibits.last(), inhibit);
    // Released when finished() arrived: logind sees the last copy of the descriptor close.
    QVERIFY2(wait_until([&] { return count(logind_log(), "released") == before + 1; }, 5000),
             c.name);
    QVERIFY(!w.run.guard_held());
    cleanup();
  }
}

void TestGuard::without_a_system_bus() {
  if (!qEnvironmentVariableIsEmpty("FAKE_LOGIND_LOG")) QSKIP("runs without a system bus");
  MainWindow w;
  StdoutRedirect out(StdoutRedirect::kCapture);
  QVERIFY(update(w));
  const QString text = QString::fromStdString(out.text());
  QCOMPARE(w.ui->label->text(), QString(kCompleted));
  QCOMPARE(text.count("updateguard_logind.cpp"), 1);
  QVERIFY(!w.run.guard_held());
}

void TestGuard::a_signal_during_an_update_waits_for_its_end() {
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    init();
    // A little real time per transfer, so that the update outlasts the signal's delivery.
    device->settings.on_transfer = [] {
      std::this_thread::sleep_for(std::chrono::microseconds(40));
    };
    MainWindow w;
    QuitSignals quit;
    int received = 0;
    bool running_when_received = false;
    connect(&quit, &QuitSignals::received, &w, &MainWindow::request_close);
    connect(&quit, &QuitSignals::received, [&] {
      ++received;
      running_when_received = w.update_state == 1;
    });
    w.show();
    ModalPlan boxes({ModalPlan::Ok});
    QTest::mouseClick(w.ui->button_fwupdate, Qt::LeftButton);
    QCOMPARE(w.update_state, 1);
    raise(number);
    QVERIFY(wait_until([&] { return received == 1; }, 2000));
    QVERIFY(running_when_received);
    QVERIFY(w.isVisible());  // caught, and held back while the update runs
    QVERIFY(wait_until([&] { return w.update_state == 0; }));
    QVERIFY(wait_until([&] { return !w.isVisible(); }, 2000));
    QCOMPARE(w.ui->label->text(), QString(kCompleted));
    cleanup();
  }
  // While idle, a signal closes the window at once.
  MainWindow idle;
  QuitSignals quit;
  connect(&quit, &QuitSignals::received, &idle, &MainWindow::request_close);
  idle.show();
  raise(SIGTERM);
  QVERIFY(wait_until([&] { return !idle.isVisible(); }, 2000));
}

QTEST_MAIN(TestGuard)
#include "guard_test.moc"
