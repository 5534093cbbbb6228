// The console with several in-process interfaces, one per slot ("virtual:1" ...): list, the
// choice of one by --device, the refusal to guess, update --all with its table and status,
// an unplug in the middle of --all, and --wait on the virtual clock.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <vector>

#include "console_run.h"
#include "consoleupdate.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "zv_build_values.h"

namespace {

using Device = zvsim::VirtualDevice;

// Each interface: its product and version, or a null product for an empty slot.
struct Slot {
  const char *product;
  uint16_t version, build;
};

class PlacesTest : public testing::Test {
 protected:
  PlacesTest() { vclock_reset(); }
  ~PlacesTest() override { usbdevs_virtual_connect(nullptr); }

  void plug(std::vector<Slot> interfaces_in) {
    usbdevs_virtual_connect(nullptr);
    devices.clear();
    for (size_t i = 0; i < interfaces_in.size(); ++i) {
      devices.emplace_back(new Device(vclock_now_us));
      devices.back()->install_firmware(interfaces_in[i].product, interfaces_in[i].version,
                                       interfaces_in[i].build);
      devices.back()->settings.log_transfers = true;
      usbdevs_virtual_plug(static_cast<int>(i), devices.back().get());
    }
  }

  Said run(const ConsoleOptions &options, QString answer = QString()) {
    return run_command(options, answer);
  }

  std::vector<std::unique_ptr<Device>> devices;
};

QJsonObject parsed(const Said &said) {
  EXPECT_EQ(said.out.count('\n'), 1) << qPrintable(said.out);
  return QJsonDocument::fromJson(said.out.toUtf8()).object();
}

const Slot kOlder{"ZV-16x16", 100, 2000}, kCurrent{"ZV-16x16", ZV_IMAGE_VERSION, ZV_IMAGE_BUILD},
    kOther{"ZV-8x8", 100, 2000};

TEST_F(PlacesTest, ListNamesEveryInterface) {
  struct Case {
    std::vector<Slot> interfaces_in;
    int status;
    const char *lines;  // what each line ends with, in turn, '|' apart
  } cases[] = {
      {{}, kExitNotFound, ""},
      {{kOlder}, kExitDone, "update offered"},
      {{kOlder, kCurrent, kOther}, kExitDone, "update offered|up to date|Product is not matching"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.interfaces_in.size());
    plug(c.interfaces_in);
    const Said text = run(command("list"));
    EXPECT_EQ(text.status, c.status);
    const QStringList ends = QString(c.lines).split('|', Qt::SkipEmptyParts);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), ends.size()) << qPrintable(text.out);
    for (int i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].startsWith(QString("virtual:%1 ").arg(i + 1))) << qPrintable(lines[i]);
      EXPECT_TRUE(lines[i].endsWith(ends[i])) << qPrintable(lines[i]);
    }
    EXPECT_EQ(text.err, c.interfaces_in.empty() ? "Supported hardware is not connected.\n" : "");
    const QJsonObject json = parsed(run(command("list", false, true)));
    EXPECT_EQ(json["interfaces"].toArray().size(), int(c.interfaces_in.size()));
  }
}

// --device reaches its interface alone; without it, update does not guess among several.
TEST_F(PlacesTest, UpdateTakesOnlyTheChosenInterface) {
  plug({kOlder, kOlder, kOlder});
  ConsoleOptions guess = command("update", true);
  const Said refused = run(guess);
  EXPECT_EQ(refused.status, kExitSeveral);
  EXPECT_TRUE(refused.err.contains("(virtual:1, virtual:2, virtual:3)")) << qPrintable(refused.err);

  ConsoleOptions unknown = command("update", true);
  unknown.device = "virtual:9";
  const Said missing = run(unknown);
  EXPECT_EQ(missing.status, kExitNotFound);
  EXPECT_EQ(missing.err,
            "No ZV-16x16 is connected at virtual:9. Connected: virtual:1, virtual:2, virtual:3.\n");
  for (auto &d : devices) EXPECT_EQ(d->transfers(), 0) << "a refusal reached an interface";

  ConsoleOptions chosen = command("update", true);
  chosen.device = "VIRTUAL:2";  // a place as Windows' paths go: letter case aside
  const Said updated = run(chosen);
  EXPECT_EQ(updated.status, kExitDone) << qPrintable(updated.err);
  EXPECT_EQ(devices[1]->version(), ZV_IMAGE_VERSION);
  for (int i : {0, 2}) {
    EXPECT_EQ(devices[i]->version(), 100);
    EXPECT_EQ(devices[i]->transfers(), 0) << "interface " << i + 1 << " was reached";
  }
}

// --all: one question for all, each through the checks, a table, the first status that is
// not 0; an interface unplugged halfway fails alone.
TEST_F(PlacesTest, UpdateAllGoesThroughEachInTurn) {
  struct Case {
    const char *why;
    std::vector<Slot> interfaces_in;
    long unplug_at_byte;  // of the first interface, -1: none
    int status;
    std::vector<const char *> results;
    std::vector<uint16_t> after;
  } cases[] = {
      {"current, older, another product",
       {kCurrent, kOlder, kOther},
       -1,
       kExitRefused,
       {"done", "done", "refused"},
       {ZV_IMAGE_VERSION, ZV_IMAGE_VERSION, 100}},
      {"the first unplugged halfway",
       {kOlder, kOlder},
       100000,
       kExitFailed,
       {"failed", "done"},
       {100, ZV_IMAGE_VERSION}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    plug(c.interfaces_in);
    devices[0]->faults.unplug_at_byte = c.unplug_at_byte;
    ConsoleOptions all = command("update", true, true);
    all.all = true;
    const Said said = run(all);
    EXPECT_EQ(said.status, c.status);
    const QJsonArray rows = parsed(said)["interfaces"].toArray();
    ASSERT_EQ(rows.size(), int(c.interfaces_in.size()));
    for (int i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].toObject()["result"].toString(), c.results[i]) << i;
      EXPECT_EQ(devices[i]->version(), c.after[i]) << i;
    }
  }
  // In text, the question names each interface it would update, and no means none.
  plug({kOlder, kCurrent, kOlder});
  ConsoleOptions ask = command("update");
  ask.all = true;
  const Said no = run(ask, "n\n");
  EXPECT_EQ(no.status, kExitCancelled);
  EXPECT_TRUE(no.out.contains("Update 2 of 3 interfaces?\n  virtual:1: 1.00 (2000) to "))
      << qPrintable(no.out);
  EXPECT_TRUE(
      no.out.contains(QString("virtual:2  %1 (%2)").arg(ZV_IMAGE_VERSION_TEXT).arg(ZV_IMAGE_BUILD)))
      << qPrintable(no.out);
  EXPECT_EQ(devices[0]->version(), 100);
  EXPECT_EQ(devices[2]->version(), 100);
}

// --wait rescans once a second on the clock, meets a late plug, and runs out.
TEST_F(PlacesTest, WaitMeetsALatePlugOrRunsOut) {
  struct Case {
    uint64_t plugged_at_s;
    int wait_s;
    int status;
    uint64_t waited_ms;
  } cases[] = {{3, 10, kExitDone, 3000}, {30, 5, kExitNotFound, 5000}, {0, 0, kExitDone, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.plugged_at_s);
    vclock_reset();
    plug({kOlder});
    devices[0]->settings.plugged_in_at_us = c.plugged_at_s * 1000000;
    ConsoleOptions info = command("info");
    info.wait_seconds = c.wait_s;
    const Said said = run(info);
    EXPECT_EQ(said.status, c.status) << qPrintable(said.err);
    EXPECT_EQ(vclock_sleeps_of(1000) * 1000, long(c.waited_ms));
  }
}

}  // namespace
