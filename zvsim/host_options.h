// The command line of the virtual ZV-16x16's hosts (zv16x16-virtual on Linux, and its
// Wine counterpart through the stand-in driver): who the virtual interface is, how it behaves
// and what goes wrong, and the program to run beside it.
#ifndef ZVSIM_HOST_OPTIONS_H
#define ZVSIM_HOST_OPTIONS_H

#include <string>
#include <vector>

#include "bus_faults.h"
#include "update_stages.h"
#include "virtual_device.h"

namespace zvsim {

// One interface of several: its firmware's product, version and build (-1: the model's).
struct InterfaceFirmware {
  std::string product;
  int version;
  int build;
};

struct HostOptions {
  std::string product = "ZV-16x16";
  int version = -1;  // -1: the model's own starting firmware
  int build = -1;
  std::string firmware;  // an image file to run instead
  Settings settings;
  Faults faults;
  BusFaults bus;
  StageMoment moment;                      // --fault-at-stage: where the counted faults count from
  long replug_after_ms = -1;               // -1: an unplugged device stays away
  std::vector<InterfaceFirmware> devices;  // --devices: one interface each; empty: one interface
  long plug_after_ms = -1;                 // the last interface appears this late; -1: at once
  bool deny_access = false;          // the node refuses programs that cannot override permissions
  std::vector<std::string> program;  // empty: the host's own default
};

// How a host introduces itself in its usage text.
struct HostUsage {
  const char *name;
  const char *description;  // what it does, in lines after the usage line
  bool access_control;      // it can refuse the program access (--deny-access)
  bool several;             // it can plug in several interfaces (--devices)
  bool late;                // it can plug the last one in late (--plug-after)
};

// Parses argv into `options`; on a usage error prints why and the usage to stderr, and
// returns false. --help prints the usage and exits.
bool parse_host_options(int argc, char **argv, const HostUsage &usage, HostOptions *options);

// Gives the model its firmware, settings and faults; false (with a line) when the firmware
// file cannot be read.
bool apply_host_options(const HostOptions &options, VirtualDevice *model);

}  // namespace zvsim

#endif
