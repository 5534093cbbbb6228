// The main window, its image loading, the file chooser and the licence dialog, driven as a
// user would, with every box answered by the test.
#include "mainwindow.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QResource>
#include <QShortcut>
#include <QTextBrowser>
#include <QtTest>
#include <cstring>

#include "fatal_warnings.h"
#include "gui_support.h"
#include "prgdecode.h"
#include "ui_mainwindow.h"
#include "zv_build_values.h"

namespace {

QString embedded_text() {
  char version[PRGDECODE_VERSION_TEXT_SIZE];
  prgdecode_version_text(ZV_IMAGE_VERSION, version);
  return QString("ZV-16x16 Firmware Updater\n\nTo %1, build %2").arg(version).arg(ZV_IMAGE_BUILD);
}

void save_screenshot(QWidget *widget, const QString &name) {
  QDir().mkpath(SCREENSHOT_DIR);
  QVERIFY(widget->grab().save(QString(SCREENSHOT_DIR "/%1.png").arg(name)));
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    make_warnings_fatal();
    // Qt's own file dialog, which the test can answer, where the platform has a native one.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  }
  void form_matches_the_design();
  void embedded_image_is_shown();
  void label_shows_version_and_build();
  void load_boundaries();
  void failed_load_keeps_label_and_path();
  void chooser_cancel_and_bad_file_fall_back_to_the_embedded_image();
  void chooser_loads_a_good_file();
  void running_update_keeps_window_and_image();
  void progress_follows_the_job();
  void licence_dialog();
  void licence_missing();
};

void TestMainWindow::form_matches_the_design() {
  MainWindow w;
  QCOMPARE(w.objectName(), QString("MainWindow"));
  QCOMPARE(w.windowTitle(), QString("MainWindow"));
  QCOMPARE(w.size(), QSize(320, 240));
  QCOMPARE(w.minimumSize(), QSize(320, 240));
  QCOMPARE(w.maximumSize(), QSize(320, 240));

  struct Expected {
    QWidget *widget;
    const char *name;
    const char *class_name;
    QRect geometry;
  } widgets[] = {
      {w.ui->label, "label", "QLabel", QRect(10, 10, 301, 61)},
      {w.ui->button_fwupdate, "button_fwupdate", "QPushButton", QRect(23, 140, 271, 32)},
      {w.ui->progressBar, "progressBar", "QProgressBar", QRect(60, 90, 221, 41)},
  };
  for (const Expected &e : widgets) {
    QCOMPARE(e.widget->objectName(), QString(e.name));
    QCOMPARE(e.widget->metaObject()->className(), e.class_name);
    QCOMPARE(e.widget->parentWidget(), w.ui->centralWidget);
    QCOMPARE(e.widget->geometry(), e.geometry);
  }
  QCOMPARE(w.centralWidget(), w.ui->centralWidget);
  QCOMPARE(w.ui->centralWidget->objectName(), QString("centralWidget"));
  QCOMPARE(w.ui->label->alignment(), Qt::AlignCenter);
  QCOMPARE(w.ui->button_fwupdate->text(), QString("Firmware Update"));
  QCOMPARE(w.ui->progressBar->value(), 0);
  QCOMPARE(w.menuBar(), w.ui->menuBar);
  QCOMPARE(w.ui->menuBar->objectName(), QString("menuBar"));
  QCOMPARE(w.ui->menuFile->objectName(), QString("menuFile"));
  QCOMPARE(w.ui->menuFile->title(), QString("Help"));
  QCOMPARE(w.ui->menuBar->actions(), QList<QAction *>{w.ui->menuFile->menuAction()});
  QCOMPARE(w.ui->menuFile->actions(), QList<QAction *>{w.ui->actionAbout});
  QCOMPARE(w.ui->actionAbout->objectName(), QString("actionAbout"));
  QCOMPARE(w.ui->actionAbout->text(), QString("About"));
  QCOMPARE(w.ui->actionAbout->parent(), &w);

  // The hidden chooser: one window shortcut, Ctrl+Alt+F.
  const QList<QShortcut *> shortcuts = w.findChildren<QShortcut *>();
  QCOMPARE(shortcuts.size(), 1);
  QCOMPARE(shortcuts[0]->key(), QKeySequence(Qt::CTRL + Qt::ALT + Qt::Key_F));
  QCOMPARE(shortcuts[0]->context(), Qt::WindowShortcut);

  // Slots, in their order.
  const QMetaObject *meta = w.metaObject();
  QStringList slot_names;
  for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
    if (meta->method(i).methodType() == QMetaMethod::Slot)
      slot_names << meta->method(i).methodSignature();
  }
  QCOMPARE(slot_names, QStringList({"on_button_fwupdate_clicked()", "on_timer()", "on_finish()",
                                    "on_actionAbout_triggered()", "on_processtext(QString)",
                                    "on_error(QString)", "select_fw_path()"}));
  QCOMPARE(w.update_state, 0);
  QVERIFY(w.check_version);
  QCOMPARE(w.fw_path, QString(":/res/update.bin"));
}

void TestMainWindow::embedded_image_is_shown() {
  MainWindow w;
  QCOMPARE(w.ui->label->text(), embedded_text());
  QCOMPARE(w.loaded.size, 606240u);
  QFile embedded(":/res/update.bin");
  QVERIFY(embedded.open(QIODevice::ReadOnly));
  const QByteArray bytes = embedded.readAll();
  QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.loaded.data), int(w.loaded.size)), bytes);
  // Both resources are stored as they are, not compressed.
  for (const char *path : {":/res/update.bin", ":/res/LICENSE.txt"}) {
    QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
  }
  QCOMPARE(QResource(":/res/update.bin").size(), 606240);
  QCOMPARE(QDir(":/res").entryList().size(), 2);
  w.show();
  save_screenshot(&w, "idle_window");
}

void TestMainWindow::label_shows_version_and_build() {
  struct Case {
    unsigned version, build;
    const char *text;
  } cases[] = {{100, 1, "To 1.00, build 1"},
               {5, 17, "To 0.05, build 17"},
               {1234, 0, "To 12.34, build 0"},
               {105, 65535, "To 1.05, build 65535"}};
  MainWindow w;
  for (const Case &c : cases) {
    const QString path = write_image("label.bin", "ZV-16x16", c.version, c.build);
    QVERIFY(w.load_fw(path));
    QCOMPARE(w.ui->label->text(), QString("ZV-16x16 Firmware Updater\n\n") + c.text);
  }
  // A shorter product name ends at its first zero byte; "%" in it stays as it is.
  QVERIFY(w.load_fw(write_image("label.bin", "ZV-8%1", 300, 2)));
  QCOMPARE(w.ui->label->text(), QString("ZV-8%1 Firmware Updater\n\nTo 3.00, build 2"));
}

void TestMainWindow::load_boundaries() {
  MainWindow w;
  ModalPlan boxes({ModalPlan::Ok});
  // The largest image that fits the buffer loads; one byte more is refused without a word.
  QVERIFY(w.load_fw(write_image("max.bin", "ZV-16x16", 200, 3, 1048576)));
  QCOMPARE(w.loaded.size, 1048576u);
  std::vector<unsigned char> too_big(1048577, 0);
  QVERIFY(!w.load_fw(write_bytes("toobig.bin", too_big)));
  QVERIFY(!w.load_fw(write_bytes("empty.bin", {})));
  QVERIFY(!w.load_fw(write_bytes("short.bin", std::vector<unsigned char>(31, 1))));
  QVERIFY(!w.load_fw(temp_path("does-not-exist.bin")));
  QVERIFY(boxes.texts().isEmpty());

  // A well-formed 32-byte header reaches the checksum validation.
  std::vector<unsigned char> header(32, 0);
  std::memcpy(header.data(), "ZV-16x16", 8);
  header[23] = 32;
  const QString path = write_bytes("header.bin", header);
  QVERIFY(!w.load_fw(path));
  QCOMPARE(boxes.titles(), QStringList{"Error"});
  QCOMPARE(boxes.texts(), QStringList{"Checksum Error: " + path});
}

void TestMainWindow::failed_load_keeps_label_and_path() {
  MainWindow w;
  ModalPlan boxes({ModalPlan::Ok});
  std::vector<unsigned char> broken(200, 0x11);
  std::memcpy(broken.data(), "ZV-16x16", 8);
  broken[23] = 200;
  QVERIFY(!w.load_fw(write_bytes("broken.bin", broken)));
  QCOMPARE(w.ui->label->text(), embedded_text());
  QCOMPARE(w.fw_path, QString(":/res/update.bin"));
  QCOMPARE(boxes.texts().size(), 1);
}

void TestMainWindow::chooser_cancel_and_bad_file_fall_back_to_the_embedded_image() {
  MainWindow w;
  QVERIFY(w.load_fw(write_image("other.bin", "ZV-16x16", 300, 1)));
  {
    ModalPlan answer({}, [](QWidget *dialog) {
      if (auto *files = qobject_cast<QFileDialog *>(dialog)) files->reject();
    });
    QMetaObject::invokeMethod(&w, "select_fw_path");
    QVERIFY(answer.texts().isEmpty());
  }
  QVERIFY(!w.check_version);
  QCOMPARE(w.fw_path, QString(":/res/update.bin"));
  QCOMPARE(w.ui->label->text(), embedded_text());

  std::vector<unsigned char> broken(300, 0x22);
  std::memcpy(broken.data(), "ZV-16x16", 8);
  broken[22] = 1;  // size 256
  const QString bad = write_bytes("bad.bin", broken);
  ModalPlan answer({ModalPlan::Ok}, [&bad](QWidget *dialog) {
    if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
      files->selectFile(bad);
      static_cast<QDialog *>(files)->accept();  // as the Open button does
    }
  });
  w.load_fw(write_image("other.bin", "ZV-16x16", 300, 1));
  QMetaObject::invokeMethod(&w, "select_fw_path");
  QCOMPARE(answer.texts(), QStringList{"Checksum Error: " + bad});
  QCOMPARE(w.fw_path, QString(":/res/update.bin"));
  QCOMPARE(w.ui->label->text(), embedded_text());
  QVERIFY(!w.check_version);
}

void TestMainWindow::chooser_loads_a_good_file() {
  MainWindow w;
  const QString good = write_image("good.bin", "ZV-16x16", 107, 9);
  ModalPlan answer({}, [&good](QWidget *dialog) {
    if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
      QCOMPARE(files->windowTitle(), QString("Open File"));
      files->selectFile(good);
      static_cast<QDialog *>(files)->accept();  // as the Open button does
    }
  });
  QMetaObject::invokeMethod(&w, "select_fw_path");
  QCOMPARE(w.fw_path, good);
  QCOMPARE(w.ui->label->text(), QString("ZV-16x16 Firmware Updater\n\nTo 1.07, build 9"));
  QVERIFY(!w.check_version);
  QVERIFY(answer.texts().isEmpty());
}

void TestMainWindow::running_update_keeps_window_and_image() {
  MainWindow w;
  w.show();
  w.update_state = 1;
  bool dialog_opened = false;
  ModalPlan answer({ModalPlan::Ok, ModalPlan::Ok}, [&dialog_opened](QWidget *dialog) {
    dialog_opened = true;
    dialog->close();
  });
  QVERIFY(!w.close());
  QVERIFY(w.isVisible());
  QCOMPARE(answer.titles(), QStringList{"Error"});

  const QByteArray before(reinterpret_cast<const char *>(w.loaded.data), int(w.loaded.size));
  QMetaObject::invokeMethod(&w, "select_fw_path");
  QVERIFY(!dialog_opened);
  QCOMPARE(answer.texts().size(), 2);
  QVERIFY(w.check_version);
  QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.loaded.data), int(w.loaded.size)), before);

  w.update_state = 0;
  QVERIFY(w.close());
}

void TestMainWindow::progress_follows_the_job() {
  MainWindow w;
  w.run.job_.total = 606240;
  w.run.job_.position = 1220;
  QMetaObject::invokeMethod(&w, "on_timer");
  QCOMPARE(w.ui->progressBar->maximum(), 606240);
  QCOMPARE(w.ui->progressBar->value(), 1220);
  QMetaObject::invokeMethod(&w, "on_processtext", Q_ARG(QString, "Sending"));
  QCOMPARE(w.ui->label->text(), QString("Sending"));
  QMetaObject::invokeMethod(&w, "on_error", Q_ARG(QString, "Failed"));
  QCOMPARE(w.ui->label->text(), QString("Failed"));
  w.update_state = 1;
  w.ui->button_fwupdate->setEnabled(false);
  w.run.job_.position = 606240;
  QMetaObject::invokeMethod(&w, "on_timer");
  QMetaObject::invokeMethod(&w, "on_finish");
  QCOMPARE(w.update_state, 0);
  QVERIFY(w.ui->button_fwupdate->isEnabled());
  QCOMPARE(w.ui->progressBar->value(), 606240);
  QCOMPARE(w.ui->label->text(), QString("Failed"));
}

void TestMainWindow::licence_dialog() {
  QFile licence(":/res/LICENSE.txt");
  QVERIFY(licence.open(QIODevice::ReadOnly));
  QString expected = QString::fromUtf8(licence.readAll());
  QVERIFY(expected.contains(QChar('\f')));
  expected.remove(QChar('\f'));

  MainWindow w;
  QString shown, title;
  QSize size, minimum, maximum;
  bool modal = false;
  ModalPlan answer({}, [&](QWidget *dialog) {
    title = dialog->windowTitle();
    size = dialog->size();
    minimum = dialog->minimumSize();
    maximum = dialog->maximumSize();
    modal = dialog->isModal();
    auto *browser = dialog->findChild<QTextBrowser *>();
    if (browser != nullptr) shown = browser->toPlainText();
    save_screenshot(dialog, "licence_dialog");
    dialog->close();
  });
  w.ui->actionAbout->trigger();
  QCOMPARE(title, QString("License Information"));
  QCOMPARE(size, QSize(650, 400));
  QCOMPARE(minimum, QSize(650, 400));
  QCOMPARE(maximum, QSize(650, 400));
  QVERIFY(modal);
  QVERIFY(!shown.contains(QChar('\f')));
  QCOMPARE(shown, expected);
}

void TestMainWindow::licence_missing() {
  MainWindow w;
  Q_CLEANUP_RESOURCE(resources);  // as if the licence had gone from the program
  bool dialog_opened = false;
  ModalPlan answer({ModalPlan::Ok}, [&dialog_opened](QWidget *dialog) {
    dialog_opened = true;
    dialog->close();
  });
  w.ui->actionAbout->trigger();
  Q_INIT_RESOURCE(resources);
  QCOMPARE(answer.titles(), QStringList{"File Missing!"});
  QCOMPARE(answer.texts(),
           QStringList{"There is a possibility that the file has been moved or deleted."});
  QVERIFY(!dialog_opened);
}

QTEST_MAIN(TestMainWindow)
#include "mainwindow_test.moc"
