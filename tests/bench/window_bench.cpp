// The window's and the worker's figures against the in-process virtual ZV-16x16:
// - the time from a press of "Firmware Update" to the confirmation box, zero-latency device;
// - the modelled duration of a whole update of the embedded image when every transfer costs
//   a bus latency (125 us, high-speed USB; 1 ms, full speed), on the virtual clock, against
//   its floor: the transfers the update made times the latency, plus the worker's pauses;
// - the worst stall of the window's event loop while an update runs, seen by a probe timer.
// Prints rows of the benchmark table (scripts/bench), which times the console updater
// against the window as processes.
//
//   QT_QPA_PLATFORM=offscreen build/tests/bench/window_bench

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "deviceconnection.h"
#include "fwupdateworker.h"
#include "mainwindow.h"
#include "prepared_update.h"
#include "stdout_redirect.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"

namespace {

// Runs the event loop until `done`, answering each box that appears with `answer`.
void run_until(const std::function<bool()> &done, QMessageBox::StandardButton answer,
               const std::function<void()> &on_box = nullptr) {
  QTimer boxes;
  QObject::connect(&boxes, &QTimer::timeout, [&] {
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
      if (on_box) on_box();
      box->button(answer)->click();
    }
  });
  boxes.start(0);
  while (!done()) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

double press_to_confirmation_ms() {
  zvsim::VirtualDevice device(vclock_now_us);
  usbdevs_virtual_connect(&device);
  MainWindow window;
  window.show();
  std::vector<double> samples;
  for (int i = 0; i < 21; ++i) {
    QElapsedTimer pressed;
    double seen = -1;
    QTimer::singleShot(0, &window, [&] {
      pressed.start();
      QMetaObject::invokeMethod(&window, "on_button_fwupdate_clicked");
    });
    run_until([&] { return seen >= 0; }, QMessageBox::Cancel,
              [&] { seen = static_cast<double>(pressed.nsecsElapsed()) / 1e6; });
    samples.push_back(seen);
  }
  usbdevs_virtual_connect(nullptr);
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

struct Modelled {
  double seconds, floor;
  long transfers;
};

Modelled modelled_update(uint64_t latency_us) {
  QFile file(":/res/update.bin");
  file.open(QIODevice::ReadOnly);
  const QByteArray bytes = file.readAll();

  zvsim::VirtualDevice device(vclock_now_us);
  device.settings.on_transfer = [latency_us] { vclock_advance_us(latency_us); };
  usbdevs_virtual_connect(&device);
  PreparedUpdate prepared(reinterpret_cast<const uint8_t *>(bytes.constData()),
                          static_cast<size_t>(bytes.size()));
  FWUpdateWorker worker;
  worker.set_job(&prepared.job);
  vclock_reset();
  const long before = device.transfers();
  {
    StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the progress lines
    worker.process();
  }
  usbdevs_virtual_connect(nullptr);
  const long transfers = device.transfers() - before;
  const double pauses = static_cast<double>(vclock_sleeps_of(1000));  // one second each
  return {static_cast<double>(vclock_now_us()) / 1e6,
          static_cast<double>(transfers) * static_cast<double>(latency_us) / 1e6 + pauses,
          transfers};
}

double worst_stall_ms() {
  zvsim::VirtualDevice device(vclock_now_us);
  // A little real time per transfer, so that the update lasts as long as a second or two.
  device.settings.on_transfer = [] { std::this_thread::sleep_for(std::chrono::microseconds(40)); };
  usbdevs_virtual_connect(&device);
  MainWindow window;
  window.show();
  QElapsedTimer since;
  double worst = 0;
  bool running = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (running) worst = std::max(worst, static_cast<double>(since.nsecsElapsed()) / 1e6);
    since.restart();
  });
  probe.start(1);
  QTimer::singleShot(0, &window,
                     [&] { QMetaObject::invokeMethod(&window, "on_button_fwupdate_clicked"); });
  // The checks before the confirmation block the window by design; the update does not.
  bool confirmed = false;
  run_until(
      [&] { return confirmed && !window.findChild<QWidget *>("button_fwupdate")->isEnabled(); },
      QMessageBox::Ok, [&] { confirmed = true; });
  running = true;
  since.restart();
  {
    StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the progress lines
    run_until([&] { return window.findChild<QWidget *>("button_fwupdate")->isEnabled(); },
              QMessageBox::Ok);
  }
  usbdevs_virtual_connect(nullptr);
  return worst;
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  std::printf("| press to confirmation box, zero-latency device | %.2f ms (median of 21) | |\n",
              press_to_confirmation_ms());
  for (uint64_t latency : {125, 1000}) {
    const Modelled m = modelled_update(latency);
    std::printf(
        "| modelled update, %llu us per transfer | %.2f s; floor %.2f s (%ld transfers, 2 s of "
        "pauses); %.4f x floor | <= 1.02 x floor: %s |\n",
        static_cast<unsigned long long>(latency), m.seconds, m.floor, m.transfers,
        m.seconds / m.floor, m.seconds <= 1.02 * m.floor ? "met" : "MISSED");
  }
  const double stall = worst_stall_ms();
  std::printf("| worst event-loop stall during an update | %.1f ms | <= 50 ms: %s |\n", stall,
              stall <= 50 ? "met" : "MISSED");
  return 0;
}
