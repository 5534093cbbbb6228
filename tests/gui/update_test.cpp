// The update from the window: the checks after a press of "Firmware Update" and their
// refusals, the confirmation, a whole update with the bar and the label following it, and
// the device lost at each stage. Against the in-process virtual ZV-16x16 on the virtual
// clock, so the worker's pauses and the protocol's polls take no real time.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "fatal_warnings.h"
#include "fault_stages.h"
#include "gui_support.h"
#include "imagegen.h"
#include "mainwindow.h"
#include "prgdecode.h"
#include "ui_mainwindow.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zv_build_values.h"

namespace {

const char kCompleted[] = "Completed.\n\nPlease turn ZV-16x16's power on again.";
const uint32_t kEmbeddedSize = 606240;

// The embedded image's payload under another header: what a device "already updated" runs.
std::vector<uint8_t> embedded_payload_as(uint16_t version, uint16_t build) {
  QFile file(":/res/update.bin");
  file.open(QIODevice::ReadOnly);
  const QByteArray stored = file.readAll();
  const auto *bytes = reinterpret_cast<const uint8_t *>(stored.constData());
  const uint32_t payload = static_cast<uint32_t>(prgdecode_payload_size(bytes));
  std::vector<uint8_t> plain(payload);
  prgdecode_decode(plain.data(), bytes + PRGDECODE_HEADER_SIZE, static_cast<int32_t>(payload));
  imagegen_fields fields{};
  std::strcpy(fields.product, "ZV-16x16");
  fields.version = version;
  fields.build = build;
  return imagegen_build(fields, plain.data(), payload);
}

// Items the host sent, by id, over the whole log.
int sent_items(const zvsim::VirtualDevice &device, int id) {
  int count = 0;
  for (const auto &message : device.messages(ZV_REQ_SEND)) count += message[0] == id;
  return count;
}

void save_screenshot(QWidget *widget, const QString &name) {
  QDir().mkpath(SCREENSHOT_DIR);
  widget->grab().save(QString(SCREENSHOT_DIR "/%1.png").arg(name));
}

}  // namespace

class TestUpdate : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    make_warnings_fatal();
    // Qt's own file dialog, which the test can answer, where the platform has a native one.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  }
  void init();
  void cleanup();
  void refusals_in_the_order_of_the_checks();
  void equal_version_and_build_is_no_update_and_reads_no_checksum();
  void a_lower_version_with_a_higher_build_counts_as_newer();
  void after_the_chooser_an_older_image_reaches_the_confirmation();
  void the_confirmation_defaults_to_cancel();
  void the_confirmation_text_byte_for_byte();
  void a_whole_update_and_a_second_one();
  void device_lost_at_each_stage();

 private:
  void press(MainWindow &w) { QTest::mouseClick(w.ui->button_fwupdate, Qt::LeftButton); }
  bool idle(MainWindow &w) {
    return w.update_state == 0 && w.ui->button_fwupdate->isEnabled() &&
           w.ui->button_fwupdate->text() == "Firmware Update";
  }
  // Presses, confirms and waits until the update has ended.
  bool update(MainWindow &w, ModalPlan *plan) {
    plan->plan(ModalPlan::Ok);
    press(w);
    return w.update_state == 1 && wait_until([&] { return w.update_state == 0; });
  }

  std::unique_ptr<zvsim::VirtualDevice> device;
};

void TestUpdate::init() {
  vclock_reset();
  device.reset(new zvsim::VirtualDevice(vclock_now_us));
  device->settings.log_transfers = true;
  usbdevs_virtual_connect(device.get());
}

void TestUpdate::cleanup() {
  usbdevs_virtual_connect(nullptr);
  device.reset();
}

void TestUpdate::refusals_in_the_order_of_the_checks() {
  using Device = zvsim::VirtualDevice;
  struct Case {
    const char *why;
    std::function<void(Device &, MainWindow &)> setup;
    QString text;
  } cases[] = {
      {"the loaded image no longer validates",
       [](Device &, MainWindow &w) { w.loaded.data[1000] ^= 0xFF; },
       "Checksum Error: :/res/update.bin"},
      {"no interface", [](Device &, MainWindow &) { usbdevs_virtual_connect(nullptr); },
       "Supported hardware is not connected."},
      {"no product name", [](Device &d, MainWindow &) { d.faults.info_withheld = {0x34}; },
       "Cannot get connected hardware product"},
      {"no version", [](Device &d, MainWindow &) { d.faults.info_withheld = {0x32}; },
       "Cannot get connected hardware version"},
      {"no build", [](Device &d, MainWindow &) { d.faults.info_withheld = {0x33}; },
       "Cannot get connected hardware build"},
      {"another product", [](Device &d, MainWindow &) { d.install_firmware("ZV-8x8", 105, 2204); },
       "Product is not matching"},
      {"the product in other letter case",
       [](Device &d, MainWindow &) { d.install_firmware("zv-16x16", 105, 2204); },
       "Product is not matching"},
      {"an older image", [](Device &d, MainWindow &) { d.install_firmware("ZV-16x16", 107, 2400); },
       "Cannot downgrade from 1.07 to 1.06"},
      {"no checksum within its polls",
       [](Device &d, MainWindow &) { d.settings.checksum_time_ms = 31000; },
       "Cannot get hardware checksum"},
      {"the device runs the image's payload already",
       [](Device &d, MainWindow &) { d.install_image(embedded_payload_as(105, 2204)); },
       "Already updated."},
  };
  for (const Case &c : cases) {
    init();
    MainWindow w;
    c.setup(*device, w);
    const QString label = w.ui->label->text();
    {
      ModalPlan boxes({ModalPlan::Ok});
      press(w);
      QCOMPARE(boxes.texts(), QStringList{c.text});
      QCOMPARE(boxes.boxes[0].title, QString("Error"));
      QCOMPARE(boxes.boxes[0].icon, QMessageBox::Warning);
      QCOMPARE(boxes.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY2(idle(w), c.why);
    QCOMPARE(w.ui->label->text(), label);
    // Nothing beyond the queries went to the device.
    for (int id : {ZV_ITEM_CLOCK_SOURCE, ZV_ITEM_FREQUENCY, ZV_ITEM_FWUP_SIZE})
      QCOMPARE(sent_items(*device, id), 0);
    cleanup();
  }
}

void TestUpdate::equal_version_and_build_is_no_update_and_reads_no_checksum() {
  device->install_firmware("ZV-16x16", 106, 2318);
  MainWindow w;
  ModalPlan boxes({ModalPlan::Ok});
  press(w);
  QCOMPARE(boxes.texts(), QStringList{"Cannot downgrade from 1.06 to 1.06"});
  QCOMPARE(sent_items(*device, ZV_ITEM_INFO), 3);  // product, version, build
  QCOMPARE(sent_items(*device, ZV_ITEM_CHECKSUM_REQUEST), 0);
}

void TestUpdate::a_lower_version_with_a_higher_build_counts_as_newer() {
  device->install_firmware("ZV-16x16", 107, 2000);
  MainWindow w;
  ModalPlan boxes({ModalPlan::Cancel});
  press(w);
  QCOMPARE(boxes.titles(), QStringList{"Firmware Update"});
  QCOMPARE(sent_items(*device, ZV_ITEM_CHECKSUM_REQUEST), 1);
  QVERIFY(idle(w));
}

void TestUpdate::after_the_chooser_an_older_image_reaches_the_confirmation() {
  device->install_firmware("ZV-16x16", 107, 2400);
  MainWindow w;
  {
    ModalPlan chooser({}, [](QWidget *dialog) { dialog->close(); });  // cancelled
    QMetaObject::invokeMethod(&w, "select_fw_path");
  }
  QVERIFY(!w.check_version);
  ModalPlan boxes({ModalPlan::Cancel});
  press(w);
  QCOMPARE(boxes.titles(), QStringList{"Firmware Update"});
  QCOMPARE(sent_items(*device, ZV_ITEM_CHECKSUM_REQUEST), 0);  // no version rule, no checksum
}

void TestUpdate::the_confirmation_defaults_to_cancel() {
  for (ModalPlan::Answer answer : {ModalPlan::Enter, ModalPlan::Esc, ModalPlan::Cancel}) {
    init();
    MainWindow w;
    {
      ModalPlan boxes({answer});
      press(w);
      QCOMPARE(boxes.boxes.size(), 1);
      const ModalPlan::Box &box = boxes.boxes[0];
      QCOMPARE(box.title, QString("Firmware Update"));
      QCOMPARE(box.icon, QMessageBox::Question);
      QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
      QCOMPARE(box.default_button, QMessageBox::Cancel);
      QCOMPARE(box.escape_button, QMessageBox::Cancel);
    }
    QVERIFY(idle(w));
    QTest::qWait(20);
    QCOMPARE(sent_items(*device, ZV_ITEM_CLOCK_SOURCE), 0);
    QVERIFY(!w.run.running());
    cleanup();
  }
}

void TestUpdate::the_confirmation_text_byte_for_byte() {
  device->install_firmware("ZV-16x16", 263, 5);
  MainWindow w;
  QVERIFY(w.load_fw(write_image("v300.bin", "ZV-16x16", 300, 7, 4000)));
  ModalPlan boxes({ModalPlan::Cancel});
  boxes.on_box = [](const ModalPlan::Box &) {
    if (QWidget *box = QApplication::activeModalWidget()) save_screenshot(box, "confirmation");
  };
  press(w);
  QCOMPARE(boxes.texts(), QStringList{QString("Fimware Update\n\n"
                                              "From:\n"
                                              "  product:ZV-16x16, version:2.63, build:5\n"
                                              "\n"
                                              "To:\n"
                                              "  product:ZV-16x16, version:3.00, build:7\n"
                                              "\n"
                                              "Are you sure?")});
}

void TestUpdate::a_whole_update_and_a_second_one() {
  // A little real time per transfer, so that the 100 ms timer sees the bar climb. Slept, so
  // that the window's thread gets its turn, then waited out on the clock: on Windows a sleep
  // this short returns at once.
  device->settings.on_transfer = [] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(40);
    std::this_thread::sleep_for(std::chrono::microseconds(40));
    while (std::chrono::steady_clock::now() < until) {
    }
  };
  device->settings.log_transfers = false;
  MainWindow w;
  w.show();
  ModalPlan boxes({ModalPlan::Ok});
  press(w);
  QCOMPARE(w.update_state, 1);
  QVERIFY(!w.ui->button_fwupdate->isEnabled());
  QCOMPARE(w.ui->button_fwupdate->text(), QString("Updating..."));
  QVector<int> values;
  bool shot = false;
  QString text_during;
  QVERIFY(wait_until([&] {
    values << w.ui->progressBar->value();
    if (!shot && values.last() > int(kEmbeddedSize / 3)) {
      shot = true;
      save_screenshot(&w, "update_transfer");
      text_during = w.ui->label->text();
    }
    return w.update_state == 0;
  }));
  QCOMPARE(text_during, QString("Sending and Updating..."));
  QCOMPARE(w.ui->progressBar->maximum(), int(kEmbeddedSize));
  QCOMPARE(w.ui->progressBar->value(), int(kEmbeddedSize));
  QVERIFY(std::is_sorted(values.begin(), values.end()));
  QSet<int> between;
  for (int v : values)
    if (v > 0 && v < int(kEmbeddedSize)) between.insert(v);
  QVERIFY2(between.size() >= 3, "the bar climbs while the image goes out");
  QCOMPARE(w.ui->label->text(), QString(kCompleted));
  QVERIFY(idle(w));
  save_screenshot(&w, "update_completed");
  QCOMPARE(device->version(), ZV_IMAGE_VERSION);
  QCOMPARE(device->build(), ZV_IMAGE_BUILD);
  QCOMPARE(int(device->firmware().size()), int(kEmbeddedSize));

  // A new press runs the whole sequence again, with a new worker.
  device->settings.on_transfer = nullptr;
  device->install_firmware("ZV-16x16", ZV_SIM_START_VERSION, ZV_SIM_START_BUILD);
  QVERIFY(update(w, &boxes));
  QCOMPARE(w.ui->label->text(), QString(kCompleted));
  QCOMPARE(device->version(), ZV_IMAGE_VERSION);
}

void TestUpdate::device_lost_at_each_stage() {
  struct Row {
    const FaultStage *stage;  // null: the checks before the confirmation
    Fault fault;
  };
  std::vector<Row> rows;
  for (Fault fault : {Fault::kUnplug, Fault::kMute}) {
    rows.push_back({nullptr, fault});
    for (const FaultStage &stage : update_fault_stages()) rows.push_back({&stage, fault});
  }
  for (const Row &row : rows) {
    const QString name =
        QString("%1, %2").arg(row.stage ? row.stage->name : "checks").arg(fault_name(row.fault));
    init();
    device->settings.log_transfers = false;
    MainWindow w;
    ModalPlan boxes;
    if (row.stage == nullptr) {
      const FaultStage at_once = {
          "checks", [](const zvsim::VirtualDevice &, uint32_t, uint16_t) { return true; }, 0, "",
          ""};
      arm_fault(device.get(), at_once, row.fault, kEmbeddedSize, ZV_IMAGE_VERSION);
      boxes.plan(ModalPlan::Ok);
      press(w);
      QVERIFY2(boxes.texts() == QStringList{"Cannot get connected hardware product"},
               qPrintable(name));
    } else {
      // Armed when the confirmation shows: everything before it went through.
      boxes.on_box = [&](const ModalPlan::Box &) {
        arm_fault(device.get(), *row.stage, row.fault, kEmbeddedSize, ZV_IMAGE_VERSION);
      };
      QVERIFY2(update(w, &boxes), qPrintable(name));
      const char *text =
          row.fault == Fault::kUnplug ? row.stage->unplugged_text : row.stage->muted_text;
      QVERIFY2(w.ui->label->text() == text, qPrintable(name + ": " + w.ui->label->text()));
    }
    QVERIFY2(idle(w), qPrintable(name));
    const long after = device->transfers();
    QTest::qWait(50);
    QVERIFY2(device->transfers() == after, qPrintable(name + ": a transfer after the end"));

    // The device comes back: a new press works without a restart.
    boxes.on_box = nullptr;
    device->settings.on_transfer = nullptr;
    device->faults.mute = false;
    device->replug();
    device->install_firmware("ZV-16x16", ZV_SIM_START_VERSION, ZV_SIM_START_BUILD);
    QVERIFY2(update(w, &boxes), qPrintable(name + ", again"));
    QVERIFY2(w.ui->label->text() == kCompleted,
             qPrintable(name + ", again: " + w.ui->label->text()));
    cleanup();
  }
}

QTEST_MAIN(TestUpdate)
#include "update_test.moc"
