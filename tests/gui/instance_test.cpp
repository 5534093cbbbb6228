// The single-instance guard, with real copies of the updater started as separate processes.
#include <QProcess>
#include <QSharedMemory>
#include <QtTest>
#include <csignal>

#include "instanceguard.h"
#include "zv_build_values.h"

namespace {

const QString kApp = UPDATER_PATH;

// Starts a copy of the updater on the offscreen platform.
QProcess *start(const QString &program, QObject *parent) {
  auto *process = new QProcess(parent);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  process->setProcessEnvironment(env);
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process->start(program, QStringList());
  return process;
}

// Waits until a copy named `name` holds its segment (it then runs past the guard).
bool wait_for_segment(const QString &name) {
  QSharedMemory probe(name + "_shmem");
  for (int i = 0; i < 1000; ++i) {
    if (probe.attach(QSharedMemory::ReadOnly)) {
      probe.detach();
      return true;
    }
    QTest::qWait(10);
  }
  return false;
}

// Copies that the tests killed leave their segments behind. Clearing them before a test
// starts keeps the probe above from racing a starting copy's own clean-up.
void clear_segments() {
  for (const char *name : {ZV_UPDATER_NAME, "ZV-16x16_Renamed"}) {
    QSharedMemory stale(QString(name) + "_shmem");
    if (stale.attach()) stale.detach();
  }
}

int exit_code_of_second_copy(const QString &program, QObject *parent) {
  QProcess *second = start(program, parent);
  if (!second->waitForFinished(20000)) return 1000;
  return second->exitStatus() == QProcess::NormalExit ? second->exitCode() : 2000;
}

}  // namespace

class TestInstanceGuard : public QObject {
  Q_OBJECT

 private slots:
  void init() { clear_segments(); }
  void second_copy_exits_while_the_first_runs();
  void copies_under_other_names_do_not_see_each_other();
  void start_after_the_first_was_killed_runs();
  void guard_ends_with_its_owner();
};

void TestInstanceGuard::second_copy_exits_while_the_first_runs() {
  QProcess *first = start(kApp, this);
  QVERIFY(first->waitForStarted());
  QVERIFY(wait_for_segment(ZV_UPDATER_NAME));
  QCOMPARE(exit_code_of_second_copy(kApp, this), 255);  // -1
  QCOMPARE(first->state(), QProcess::Running);
  first->kill();
  first->waitForFinished();
}

void TestInstanceGuard::copies_under_other_names_do_not_see_each_other() {
  const QString renamed = QDir::temp().filePath("ZV-16x16_Renamed");
  QFile::remove(renamed);
  QVERIFY(QFile::copy(kApp, renamed));
  QProcess *first = start(kApp, this);
  QVERIFY(wait_for_segment(ZV_UPDATER_NAME));
  QProcess *other = start(renamed, this);
  QVERIFY(wait_for_segment("ZV-16x16_Renamed"));
  QCOMPARE(other->state(), QProcess::Running);
  other->kill();
  first->kill();
  other->waitForFinished();
  first->waitForFinished();
  QFile::remove(renamed);
}

void TestInstanceGuard::start_after_the_first_was_killed_runs() {
  QProcess *first = start(kApp, this);
  QVERIFY(wait_for_segment(ZV_UPDATER_NAME));
  ::kill(static_cast<pid_t>(first->processId()), SIGKILL);  // no chance to clean up
  QVERIFY(first->waitForFinished());

  // The killed copy's segment is still there. Nothing may touch it before the next copy
  // has decided (a probe attaching and detaching would itself clear it), so the test
  // gives the next copy time to start up and end, which it must not do.
  QProcess *next = start(kApp, this);
  QVERIFY(!next->waitForFinished(2000));
  QCOMPARE(exit_code_of_second_copy(kApp, this), 255);  // and guards in its turn
  next->kill();
  next->waitForFinished();
}

void TestInstanceGuard::guard_ends_with_its_owner() {
  const QString name = "zvtest_guard_" + QString::number(QCoreApplication::applicationPid());
  auto *first = new InstanceGuard(name);
  QVERIFY(!first->another_running());
  {
    InstanceGuard second(name);
    QVERIFY(second.another_running());
  }
  delete first;  // a first copy that exits normally
  InstanceGuard after(name);
  QVERIFY(!after.another_running());
}

QTEST_MAIN(TestInstanceGuard)
#include "instance_test.moc"
