// The update worker against the in-process virtual device, on the virtual clock: the exact
// order of its signals on every path, and where the device is lost at each stage.
#include "fwupdateworker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QMetaMethod>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "deviceconnection.h"
#include "fault_stages.h"
#include "imagegen.h"
#include "prepared_update.h"
#include "test_support.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"

namespace {

using Signals = std::vector<std::string>;

const std::string kCompleted = "text Completed.\n\nPlease turn ZV-16x16's power on again.";
const Signals kDone = {"text Preparing...", "text Sending and Updating...", "text Checking...",
                       kCompleted, "finished"};

std::vector<uint8_t> new_image(uint32_t payload_size = 3000) {
  return imagegen_image("ZV-16x16", 106, 2318, payload_size, 99);
}

struct Outcome {
  Signals seen;
  uint32_t progress;
};

// Loads `image` as the window does, and runs one update in this thread.
Outcome update(zvsim::VirtualDevice *device, const std::vector<uint8_t> &image,
               bool with_connection = true) {
  vclock_reset();
  usbdevs_virtual_connect(device);
  PreparedUpdate prepared(image.data(), image.size(), with_connection);
  FWUpdateWorker worker;
  worker.set_job(&prepared.job);
  Outcome run;
  QObject::connect(&worker, &FWUpdateWorker::process_text,
                   [&](const QString &text) { run.seen.push_back("text " + text.toStdString()); });
  QObject::connect(&worker, &FWUpdateWorker::error,
                   [&](const QString &text) { run.seen.push_back("error " + text.toStdString()); });
  QObject::connect(&worker, &FWUpdateWorker::finished, [&] { run.seen.push_back("finished"); });
  capture_stdout([&] { worker.process(); });
  run.progress = prepared.job.position.load();
  usbdevs_virtual_connect(nullptr);
  return run;
}

Signals failed(std::initializer_list<std::string> texts, const std::string &error) {
  Signals out(texts);
  out.push_back("error " + error);
  out.push_back("finished");
  return out;
}

TEST(Worker, MetaObjectHasItsMethodsInOrder) {
  const QMetaObject &meta = FWUpdateWorker::staticMetaObject;
  EXPECT_STREQ(meta.className(), "FWUpdateWorker");
  std::vector<std::string> methods;
  for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
    const QMetaMethod m = meta.method(i);
    methods.push_back((m.methodType() == QMetaMethod::Signal ? "signal " : "slot ") +
                      m.methodSignature().toStdString());
  }
  EXPECT_EQ(methods, (std::vector<std::string>{"signal finished()", "signal process_text(QString)",
                                               "signal error(QString)", "slot process()"}));
}

TEST(Worker, SignalsOnEveryPath) {
  const std::string not_equal =
      "Hardware checksum is not equal to firmware.\n\nPlease contact the technical support.";
  struct Case {
    const char *why;
    std::function<void(zvsim::VirtualDevice &)> setup;
    Signals expected;
    long pauses;  // one-second pauses of the worker
    std::function<void(const zvsim::VirtualDevice &)> check;
  } cases[] = {
      {"a match at the first read after the first send", nullptr, kDone, 2,
       [](const zvsim::VirtualDevice &d) { EXPECT_EQ(d.firmware(), new_image()); }},
      {"clock source refused: the sample rate is not touched",
       [](zvsim::VirtualDevice &d) { d.faults.fail_out = ZVCTL_SEND_ATTEMPTS; },
       failed({"text Preparing..."}, "Cannot Set Clocksource"), 0,
       [](const zvsim::VirtualDevice &d) { EXPECT_EQ(d.frequency(), 48000u); }},
      {"sample rate refused",
       [](zvsim::VirtualDevice &d) {
         d.settings.on_transfer = [&d] {
           if (d.clock_source() == 1 && d.frequency() != 44100 && d.faults.fail_out == 0)
             d.faults.fail_out = ZVCTL_SEND_ATTEMPTS;
         };
       },
       failed({"text Preparing..."}, "Cannot Set Frequency"), 0, nullptr},
      {"checksum not answered within its 6000 polls",
       [](zvsim::VirtualDevice &d) { d.settings.checksum_time_ms = 31000; },
       failed({"text Preparing..."}, "Cannot Get Hardware Checksum"), 0, nullptr},
      {"readings 1000, 1100, 1256: a spread of 256 passes",
       [](zvsim::VirtualDevice &d) {
         d.settings.checksum_readings = {1000, 1100, 1256};
       },
       kDone, 2, nullptr},
      {"readings 1000, 1100, 1257: a spread of 257 fails",
       [](zvsim::VirtualDevice &d) {
         d.settings.checksum_readings = {1000, 1100, 1257};
       },
       failed({"text Preparing..."}, "Hardware checksum is not valid."), 0,
       [](const zvsim::VirtualDevice &d) { EXPECT_EQ(d.announced_size(), 0u); }},
      {"readings 5, 0, 300: 0 counts as none yet, so lowest and highest are 300",
       [](zvsim::VirtualDevice &d) {
         d.settings.checksum_readings = {5, 0, 300};
       },
       kDone, 2, nullptr},
      {"15 away from the header's checksum after the send matches",
       [](zvsim::VirtualDevice &d) { d.faults.checksum_error_after_update = 15; }, kDone, 2,
       nullptr},
      {"16 away never matches: three attempts, then the support text",
       [](zvsim::VirtualDevice &d) { d.faults.checksum_error_after_update = 16; },
       failed(
           {"text Preparing...", "text Sending and Updating...", "text Checking...",
            "text Retrying... 1/2", "text Checking...", "text Retrying... 2/2", "text Checking..."},
           not_equal),
       33, nullptr},
      {"a match only after the retry",
       [](zvsim::VirtualDevice &d) {
         d.settings.checksum_readings = {1000, 1000, 1000, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
       },
       {"text Preparing...", "text Sending and Updating...", "text Checking...",
        "text Retrying... 1/2", "text Checking...", kCompleted, "finished"},
       13,
       nullptr},
      {"a send that fails at the first attempt is not retried",
       [](zvsim::VirtualDevice &d) { d.faults.window_stuck_zero = true; },
       failed({"text Preparing...", "text Sending and Updating..."}, "Firmware Update Failed"), 1,
       nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.why);
    zvsim::VirtualDevice device(vclock_now_us);
    if (c.setup) c.setup(device);
    const Outcome run = update(&device, new_image());
    EXPECT_EQ(run.seen, c.expected);
    EXPECT_EQ(vclock_sleeps_of(1000), c.pauses);
    if (c.check) c.check(device);
  }
}

TEST(Worker, NothingToUpdateSendsNothing) {
  for (bool with_connection : {false, true}) {
    zvsim::VirtualDevice device(vclock_now_us);
    const Outcome run =
        update(&device, with_connection ? std::vector<uint8_t>{} : new_image(), with_connection);
    EXPECT_EQ(run.seen, failed({}, "ERROR"));
    EXPECT_EQ(device.transfers(), 0);
  }
}

TEST(Worker, TheProgressCounterEndsAtTheImageSize) {
  zvsim::VirtualDevice device(vclock_now_us);
  device.settings.windows = {200, 0, 61};
  const std::vector<uint8_t> image = new_image(20000);
  const Outcome run = update(&device, image);
  EXPECT_EQ(run.seen, kDone);
  EXPECT_EQ(run.progress, image.size());
}

// The device lost at each stage: one failure text, then finished(), last. The table of
// stage, text and virtual time goes to standard output.
TEST(Worker, DeviceLostAtEachStage) {
  const std::vector<uint8_t> image = new_image(20000);
  const uint32_t size = static_cast<uint32_t>(image.size());
  for (const FaultStage &stage : update_fault_stages()) {
    for (Fault fault : {Fault::kUnplug, Fault::kMute}) {
      SCOPED_TRACE(std::string(stage.name) + ", " + fault_name(fault));
      zvsim::VirtualDevice device(vclock_now_us);
      arm_fault(&device, stage, fault, size, 106);
      const Outcome run = update(&device, image);
      const std::string text = fault == Fault::kUnplug ? stage.unplugged_text : stage.muted_text;
      ASSERT_GE(run.seen.size(), 3u);
      EXPECT_EQ(run.seen.back(), "finished");
      EXPECT_EQ(run.seen[run.seen.size() - 2], "error " + text);
      EXPECT_EQ(std::count(run.seen.begin(), run.seen.end(), "finished"), 1);
      EXPECT_EQ(std::count_if(run.seen.begin(), run.seen.end(),
                              [](const std::string &s) { return s.rfind("error ", 0) == 0; }),
                1);
      EXPECT_EQ(std::count(run.seen.begin(), run.seen.end(), kCompleted), 0);
      std::printf("| %-16s | %-9s | %-28s | %6.1f s | %ld pauses of 1 s, %ld sleeps of 5 ms |\n",
                  stage.name, fault_name(fault), text.c_str(),
                  static_cast<double>(vclock_slept_ms()) / 1000.0, vclock_sleeps_of(1000),
                  vclock_sleeps_of(5));
    }
  }
}

}  // namespace
