// The console updater's commands against the in-process virtual ZV-16x16 on the virtual
// clock: what each command says and on which stream, its exit status, the question answered
// both ways, the refusals in the window's words, a fault mid-transfer, --image, --json as
// one object whatever happens, and the signals an update holds given back as they were.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <csignal>
#include <functional>
#include <memory>

#include "console_run.h"
#include "consoleupdate.h"
#include "imagegen.h"
#include "quitsignals.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zv_build_values.h"
#include "zvitems.h"

namespace {

using Device = zvsim::VirtualDevice;

class ConsoleTest : public testing::Test {
 protected:
  ConsoleTest() {
    vclock_reset();
    device.reset(new Device(vclock_now_us));
    device->settings.log_transfers = true;
    usbdevs_virtual_connect(device.get());
  }
  ~ConsoleTest() override { usbdevs_virtual_connect(nullptr); }

  Said run(const ConsoleOptions &options, QString answer = QString()) {
    return run_command(options, answer);
  }

  // Host-to-device messages that carried the item `id`.
  int sent_items(uint8_t id) const {
    int n = 0;
    for (const auto &message : device->messages(ZV_REQ_SEND))
      n += message.size() > 0 && message[0] == id;
    return n;
  }

  std::unique_ptr<Device> device;
};

const QString kImageLine =
    QString("ZV-16x16, firmware %1, build %2").arg(ZV_IMAGE_VERSION_TEXT).arg(ZV_IMAGE_BUILD);

// An answer is a result, on standard output; an interface that could not be asked is a
// failure, whose reason goes to standard error.
TEST_F(ConsoleTest, InfoTellsBothSidesAndTheOfferWithItsStatus) {
  struct Case {
    const char *why;
    std::function<void(Device &)> setup;
    int status;
    QString update_line;  // the "Update:" line's text; empty: none
    QString err;
  } cases[] = {
      {"an older firmware", [](Device &) {}, kExitDone, "offered", ""},
      {"another product", [](Device &d) { d.install_firmware("ZV-8x8", 105, 2204); }, kExitDone,
       "refused: Product is not matching", ""},
      {"a newer firmware", [](Device &d) { d.install_firmware("ZV-16x16", 107, 2400); }, kExitDone,
       "refused: Cannot downgrade from 1.07 to 1.06", ""},
      {"no interface", [](Device &) { usbdevs_virtual_connect(nullptr); }, kExitNotFound, "",
       "Supported hardware is not connected.\n"},
      {"an interface this user may not open", [](Device &) { usbdevs_virtual_deny_access(true); },
       kExitNoAccess, "", no_access_text() + "\n"},
      {"an interface that withholds its version",
       [](Device &d) { d.faults.info_withheld = {0x32}; }, kExitFailed, "",
       "Cannot get connected hardware version\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    usbdevs_virtual_connect(device.get());
    c.setup(*device);
    const Said r = run(command("info"));
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.out.contains("Built-in image:  " + kImageLine + "\n")) << qPrintable(r.out);
    EXPECT_EQ(r.out.contains("Update:"), !c.update_line.isEmpty()) << qPrintable(r.out);
    if (!c.update_line.isEmpty()) {
      EXPECT_TRUE(r.out.contains("Update:          " + c.update_line + "\n")) << qPrintable(r.out);
    }
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(sent_items(ZV_ITEM_FWUP_SIZE), 0);  // info never starts an update
  }
}

TEST_F(ConsoleTest, InfoReadsTheInterfaceAndItsChecksum) {
  EXPECT_TRUE(run(command("info"))
                  .out.startsWith(
                      "Interface:       ZV-16x16, firmware 1.05, build 2204\nChecksum:        0x"));
  const Said j = run(command("info", false, true));
  EXPECT_EQ(j.out.count('\n'), 1);  // one object, one line
  const QJsonObject o = QJsonDocument::fromJson(j.out.toUtf8()).object();
  EXPECT_EQ(o["device"].toObject()["build"].toString(), "2204");
  EXPECT_TRUE(o["update_offered"].toBool());
  EXPECT_TRUE(o["device_checksum"].toString().startsWith("0x"));
}

TEST_F(ConsoleTest, UpdateRefusesInTheWindowsWordsAndSendsNothing) {
  struct Case {
    const char *why;
    std::function<void(Device &)> setup;
    int status;
    QString text;
  } cases[] = {
      {"no interface", [](Device &) { usbdevs_virtual_connect(nullptr); }, kExitNotFound,
       "Supported hardware is not connected."},
      {"no access", [](Device &) { usbdevs_virtual_deny_access(true); }, kExitNoAccess,
       no_access_text()},
      {"another product", [](Device &d) { d.install_firmware("zv-16x16", 105, 2204); },
       kExitRefused, "Product is not matching"},
      {"an older image", [](Device &d) { d.install_firmware("ZV-16x16", 107, 2400); }, kExitRefused,
       "Cannot downgrade from 1.07 to 1.06"},
      {"no build", [](Device &d) { d.faults.info_withheld = {0x33}; }, kExitFailed,
       "Cannot get connected hardware build"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    usbdevs_virtual_connect(device.get());
    c.setup(*device);
    const Said r = run(command("update", true));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.text + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(sent_items(ZV_ITEM_FWUP_SIZE), 0);
  }
}

TEST_F(ConsoleTest, TheQuestionDecides) {
  struct Case {
    QString answer;
    int status;
    bool updated;
  } cases[] = {{"n\n", kExitCancelled, false},
               {"\n", kExitCancelled, false},
               {"", kExitCancelled, false},  // no terminal to answer: no
               {"yes\n", kExitDone, true},
               {"y\n", kExitDone, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(qPrintable(c.answer));
    device.reset(new Device(vclock_now_us));
    usbdevs_virtual_connect(device.get());
    const Said r = run(command("update"), c.answer);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.out.contains("From:\n  product:ZV-16x16, version:1.05, build:2204\n"))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains("Are you sure? [y/N] ")) << qPrintable(r.out);
    EXPECT_EQ(device->version(), c.updated ? ZV_IMAGE_VERSION : 105);
    EXPECT_EQ(r.out.contains("\nCompleted.\n"), c.updated) << qPrintable(r.out);
  }
}

// The window refuses the image's own version in its words; a script learns it is current.
TEST_F(ConsoleTest, AnInterfaceThatRunsTheImageIsUpToDate) {
  const Said first = run(command("update", true));
  ASSERT_EQ(first.status, kExitDone);
  const Said again = run(command("update", true));
  EXPECT_EQ(again.status, kExitDone);
  EXPECT_EQ(again.out, QString("Cannot downgrade from %1 to %1\n").arg(ZV_IMAGE_VERSION_TEXT));
  EXPECT_EQ(sent_items(ZV_ITEM_FWUP_SIZE), 1);  // the first update's only
}

// What --json reports of an update that completes and of one that an unplug ends.
TEST_F(ConsoleTest, JsonReportsTheUpdate) {
  struct Case {
    long unplug_at_byte;
    int status;
    const char *result, *last_text, *after;  // after: the version read back, "" for none
  } cases[] = {{-1, kExitDone, "done", "Completed.\n", ZV_IMAGE_VERSION_TEXT},
               {200000, kExitFailed, "failed", "Firmware Update Failed", ""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.result);
    device.reset(new Device(vclock_now_us));
    device->faults.unplug_at_byte = c.unplug_at_byte;
    usbdevs_virtual_connect(device.get());
    const Said r = run(command("update", true, true));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.count('\n'), 1);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(o["result"].toString(), c.result);
    EXPECT_EQ(o["before"].toObject()["version"].toString(), "1.05");
    EXPECT_EQ(o["after"].toObject()["version"].toString(), c.after);
    EXPECT_TRUE(o["texts"].toArray().last().toString().startsWith(c.last_text))
        << qPrintable(r.out);
    EXPECT_GT(o["seconds"].toDouble(), 0.0);
    EXPECT_LE(o["seconds"].toDouble(), r.seconds);  // in seconds, not milliseconds
    EXPECT_EQ(r.err, "");
  }
}

// Standard output holds exactly one JSON object whatever the outcome, and standard error
// nothing; a reason says why wherever the command did not succeed.
TEST_F(ConsoleTest, JsonIsOneObjectWhateverHappens) {
  struct Case {
    const char *why;
    ConsoleOptions options;
    std::function<void(Device &)> setup;
    int status;
    const char *result;
    QString reason;  // empty: none
  } cases[] = {
      {"update without --yes cannot ask", command("update", false, true), [](Device &) {},
       kExitUsage, "usage",
       "update --json cannot ask its question: give --yes to update without it."},
      {"update refused", command("update", true, true),
       [](Device &d) { d.install_firmware("ZV-8x8", 105, 2204); }, kExitRefused, "refused",
       "Product is not matching"},
      {"update without access", command("update", true, true),
       [](Device &) { usbdevs_virtual_deny_access(true); }, kExitNoAccess, "no-access",
       no_access_text()},
      {"info without an interface", command("info", false, true),
       [](Device &) { usbdevs_virtual_connect(nullptr); }, kExitNotFound, "not-found",
       "Supported hardware is not connected."},
      {"info answered", command("info", false, true), [](Device &) {}, kExitDone, "done", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    device.reset(new Device(vclock_now_us));
    device->settings.log_transfers = true;
    usbdevs_virtual_connect(device.get());
    c.setup(*device);
    const Said r = run(c.options);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.count('\n'), 1);
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(r.out);
    EXPECT_EQ(o["result"].toString(), c.result);
    EXPECT_EQ(o["reason"].toString(), c.reason);
    EXPECT_EQ(sent_items(ZV_ITEM_FWUP_SIZE), 0);
  }
}

#ifndef _WIN32
// An update holds SIGINT, SIGTERM and SIGHUP, and gives back what the program's parent set,
// not the defaults: under nohup, SIGHUP stays ignored for the read-back after the update.
TEST(Signals, TheHoldGivesBackWhatWasThere) {
  struct sigaction ignore = {}, before = {}, after = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(number);
    ASSERT_EQ(sigaction(number, &ignore, &before), 0);
    { QuitSignals held; }
    ASSERT_EQ(sigaction(number, &before, &after), 0);
    EXPECT_EQ(after.sa_handler, SIG_IGN);
  }
}
#endif

TEST_F(ConsoleTest, AnImageFileHasTheRelaxedChecks) {
  // Older than what the device runs: refused from the built-in image, taken from a file.
  const std::vector<unsigned char> older = imagegen_image("ZV-16x16", 104, 2100, 4096, 7);
  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  file.write(reinterpret_cast<const char *>(older.data()), static_cast<qint64>(older.size()));
  file.close();
  ConsoleOptions options = command("update", true);
  options.image = file.fileName();
  const Said r = run(options);
  EXPECT_EQ(r.status, kExitDone) << qPrintable(r.out);
  EXPECT_EQ(device->version(), 104);
  EXPECT_EQ(device->build(), 2100);

  options.image = file.fileName() + ".missing";
  const Said missing = run(options);
  EXPECT_EQ(missing.status, kExitRefused);
  EXPECT_EQ(missing.err, QString("Cannot read the image file: %1\n").arg(options.image));
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);  // the update's event loop and thread need one
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
