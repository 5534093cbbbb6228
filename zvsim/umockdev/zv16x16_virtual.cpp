// zv16x16-virtual: the virtual ZV-16x16 as a real USB device. It publishes the device model
// through umockdev (sysfs record, descriptors, an emulated usbfs node) and runs an unmodified
// program beside it with umockdev's preload, by default the updater; any libusb program
// (lsusb, a test) sees the interface as it would see the hardware. When the program ends it
// reports the device's state and exits with the program's status.
//
//   zv16x16-virtual [OPTION...] [-- PROGRAM [ARG...]]     (--help lists the options)
#include <glib-unix.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device_report.h"
#include "host_options.h"
#include "virtual_bus.h"

#ifndef CAP_DAC_OVERRIDE
#define CAP_DAC_OVERRIDE 1
#define CAP_DAC_READ_SEARCH 2
#endif

namespace {

const char kPreload[] = "libumockdev-preload.so.0";

uint64_t real_clock_us() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

bool preloaded() {
  const char *preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// The host itself runs under the preload too: the uevents it sends are built from the
// testbed's sysfs, which only the preload shows.
int restart_under_preload(char **argv) {
  std::string preload = kPreload;
  const char *earlier = std::getenv("LD_PRELOAD");
  if (earlier != nullptr && *earlier != '\0') preload += std::string(":") + earlier;
  setenv("LD_PRELOAD", preload.c_str(), 1);
  execv("/proc/self/exe", argv);
  std::perror("zv16x16-virtual: cannot restart under umockdev's preload");
  return 1;
}

pid_t start(const std::vector<std::string> &program, bool deny_access) {
  std::vector<char *> argv;
  for (const std::string &arg : program) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (deny_access) {
    // Without these even root is held to the node's permissions, as a desktop user is.
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
  }
  execvp(argv[0], argv.data());
  std::perror(argv[0]);
  _exit(127);
}

struct Run {
  GMainLoop *loop;
  pid_t child;
  int status;
};

void on_child_exit(GPid, gint status, gpointer data) {
  auto *run = static_cast<Run *>(data);
  run->status = status;
  g_main_loop_quit(run->loop);
}

// A signal meant for the pair goes to the program; the host ends when the program does.
gboolean forward(gpointer data) {
  auto *run = static_cast<Run *>(data);
  kill(run->child, SIGTERM);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char **argv) {
  if (!preloaded()) return restart_under_preload(argv);

  zvsim::HostOptions options;
  const zvsim::HostUsage usage{
      "zv16x16-virtual",
      "Publishes a virtual ZV-16x16 (or several) as a USB device (umockdev) and runs PROGRAM\n"
      "beside it, by default the updater. When PROGRAM ends, prints each device's state and\n"
      "exits with PROGRAM's status. Several interfaces sit at ports 1-4, 1-5 and on.\n",
      true, true, true};
  if (!zvsim::parse_host_options(argc, argv, usage, &options)) return 2;
  if (options.program.empty()) options.program.push_back(ZV_UPDATER_PATH);

  // The first interface takes every option; the others only the firmware --devices names.
  const size_t count = options.devices.empty() ? 1 : options.devices.size();
  std::vector<std::unique_ptr<zvsim::VirtualDevice>> models;
  std::vector<std::unique_ptr<zvsim::UsbfsDevice>> nodes;
  zvsim::VirtualBus bus(options.replug_after_ms, options.deny_access);
  for (size_t i = 0; i < count; ++i) {
    models.emplace_back(new zvsim::VirtualDevice(real_clock_us));
    zvsim::HostOptions own = i == 0 ? options : zvsim::HostOptions();
    if (!options.devices.empty()) {
      own.product = options.devices[i].product;
      own.version = options.devices[i].version;
      own.build = options.devices[i].build;
    }
    if (!zvsim::apply_host_options(own, models.back().get())) return 2;
    nodes.emplace_back(new zvsim::UsbfsDevice(
        models.back().get(), zvsim::virtual_identity(models.back()->version(), int(i))));
    if (i == 0) {
      nodes.back()->faults = options.bus;
      nodes.back()->moment = options.moment;
    }
    const int unit = bus.add(models.back().get(), nodes.back().get());
    if (i + 1 == count && options.plug_after_ms >= 0) {
      bus.plug_later(unit, options.plug_after_ms);
    } else {
      bus.plug(unit);
    }
  }

  Run run{g_main_loop_new(nullptr, FALSE), -1, 0};
  run.child = start(options.program, options.deny_access);
  if (run.child < 0) {
    std::perror("zv16x16-virtual: fork");
    return 1;
  }
  g_child_watch_add(run.child, on_child_exit, &run);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) g_unix_signal_add(signal, forward, &run);
  g_main_loop_run(run.loop);
  g_main_loop_unref(run.loop);

  const int exit_code =
      WIFEXITED(run.status) ? WEXITSTATUS(run.status) : 128 + WTERMSIG(run.status);
  for (size_t i = 0; i < count; ++i) {
    std::lock_guard<std::mutex> hold(nodes[i]->model_lock());
    const std::string place = bus.port_name(int(i));
    zvsim::print_device_report(zvsim::device_state(*models[i]), exit_code,
                               count > 1 ? place.c_str() : nullptr, nodes[i]->fault_line());
  }
  return exit_code;
}
