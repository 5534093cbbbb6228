#include "host_options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zvsim {

namespace {

// The options every host offers; --deny-access only where the host controls access.
const char kOptionsText[] =
    "The device:\n"
    "  --product NAME           product name of its firmware (ZV-16x16)\n"
    "  --version V              firmware version, as 105 or 1.05\n"
    "  --build N                firmware build\n"
    "  --firmware FILE          runs this image file instead\n"
    "  --window N[,N...]        window offered at each status query, in turn (1024)\n"
    "  --busy-ms MS             reports busy this long after every message\n"
    "  --checksum-noise N       each checksum reading adds 0 to N\n"
    "  --checksum-time-ms MS    a checksum answer takes this long\n"
    "  --flash-write-ms MS      writing the received image takes this long\n"
    "Faults:\n"
    "  --unplug-at-byte N       unplugged once N image bytes have arrived\n"
    "  --unplug-after N         unplugged after N vendor transfers\n"
    "  --replug-after MS        plugged in again this long after an unplug\n"
    "  --mute-after N           answers N vendor transfers, then none (0: none at all)...\n"
    "  --mute-for MS            ...for this long, then answers again\n"
    "  --window-stuck-zero      offers window 0 at every status query\n"
    "  --offset-behind BYTES    status replies report the offset this far behind...\n"
    "  --offset-behind-replies N  ...for this many replies (1)\n"
    "  --checksum-error N       adds N to every checksum reading after an update\n"
    "  --never-complete         never takes a received image over\n"
    "  --transfer-error ERRNO   EPIPE or EPROTO for some vendor transfers:\n"
    "  --error-after N          ...after this many (0)...\n"
    "  --error-count N          ...this many of them (1)\n"
    "  --fault-at-stage NAME[+N]  the counts of --unplug-after, --mute-after and\n"
    "                           --error-after start at the first transfer of stage NAME of an\n"
    "                           update, plus N: checks, preparation, stability-reads,\n"
    "                           transfer, completion or verification. The report then says\n"
    "                           at which transfer the fault struck, or that it never did\n";
const char kAccessText[] =
    "  --deny-access            the device node refuses PROGRAM, as without the udev rule\n";
const char kSeveralText[] =
    "Several interfaces:\n"
    "  --devices F[,F...]       one interface for each firmware F, [PRODUCT@]VERSION[:BUILD]\n"
    "                           (ZV-8x8@1.00,1.05,1.06:2318), in this order; the options\n"
    "                           above shape the first, and the others run the firmware\n"
    "                           their F names\n";
const char kLateText[] =
    "  --plug-after SECONDS     the last interface is plugged in this long after PROGRAM starts\n";

void print_usage(const HostUsage &usage, FILE *to) {
  std::fprintf(to, "usage: %s [OPTION...] [-- PROGRAM [ARG...]]\n%s\n%s%s%s%s", usage.name,
               usage.description, kOptionsText, usage.access_control ? kAccessText : "",
               usage.several ? kSeveralText : "", usage.several && usage.late ? kLateText : "");
}

enum Option {
  kProduct = 1000,
  kVersion,
  kBuild,
  kFirmware,
  kWindow,
  kBusy,
  kNoise,
  kChecksumTime,
  kFlashWrite,
  kUnplugAtByte,
  kUnplugAfter,
  kReplugAfter,
  kMuteAfter,
  kMuteFor,
  kStuck,
  kOffsetBehind,
  kOffsetBehindReplies,
  kChecksumError,
  kNeverComplete,
  kTransferError,
  kErrorAfter,
  kErrorCount,
  kDenyAccess,
  kDevices,
  kPlugAfter,
  kFaultAtStage,
  kHelp,
};

const option kOptions[] = {
    {"product", required_argument, nullptr, kProduct},
    {"version", required_argument, nullptr, kVersion},
    {"build", required_argument, nullptr, kBuild},
    {"firmware", required_argument, nullptr, kFirmware},
    {"window", required_argument, nullptr, kWindow},
    {"busy-ms", required_argument, nullptr, kBusy},
    {"checksum-noise", required_argument, nullptr, kNoise},
    {"checksum-time-ms", required_argument, nullptr, kChecksumTime},
    {"flash-write-ms", required_argument, nullptr, kFlashWrite},
    {"unplug-at-byte", required_argument, nullptr, kUnplugAtByte},
    {"unplug-after", required_argument, nullptr, kUnplugAfter},
    {"replug-after", required_argument, nullptr, kReplugAfter},
    {"mute-after", required_argument, nullptr, kMuteAfter},
    {"mute-for", required_argument, nullptr, kMuteFor},
    {"window-stuck-zero", no_argument, nullptr, kStuck},
    {"offset-behind", required_argument, nullptr, kOffsetBehind},
    {"offset-behind-replies", required_argument, nullptr, kOffsetBehindReplies},
    {"checksum-error", required_argument, nullptr, kChecksumError},
    {"never-complete", no_argument, nullptr, kNeverComplete},
    {"transfer-error", required_argument, nullptr, kTransferError},
    {"error-after", required_argument, nullptr, kErrorAfter},
    {"error-count", required_argument, nullptr, kErrorCount},
    {"deny-access", no_argument, nullptr, kDenyAccess},
    {"devices", required_argument, nullptr, kDevices},
    {"plug-after", required_argument, nullptr, kPlugAfter},
    {"fault-at-stage", required_argument, nullptr, kFaultAtStage},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// A whole non-negative decimal number no larger than `limit`.
bool number(const char *text, long limit, long *out) {
  errno = 0;
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0 || value > limit) return false;
  *out = value;
  return true;
}

// 105 or 1.05 (two digits after the point).
bool version_number(const char *text, long *out) {
  const char *point = std::strchr(text, '.');
  if (point == nullptr) return number(text, 65535, out);
  long major = 0, minor = 0;
  const std::string whole(text, point);
  if (std::strlen(point + 1) != 2 || !number(whole.c_str(), 655, &major) ||
      !number(point + 1, 99, &minor) || major * 100 + minor > 65535) {
    return false;
  }
  *out = major * 100 + minor;
  return true;
}

// "a,b,c": the parts between commas (one part without a comma; empty parts kept).
std::vector<std::string> comma_parts(const std::string &list) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
    parts.push_back(list.substr(start, comma - start));
  parts.push_back(list.substr(start));
  return parts;
}

bool windows(const char *text, std::vector<uint32_t> *out) {
  out->clear();
  for (const std::string &part : comma_parts(text)) {
    long value = 0;
    if (!number(part.c_str(), 0xFFFFFFFFL, &value)) return false;
    out->push_back(static_cast<uint32_t>(value));
  }
  return !out->empty();
}

// "ZV-8x8@1.00,1.05,1.06:2318": [PRODUCT@]VERSION[:BUILD], comma apart; the product is
// ZV-16x16 unless named.
bool interface_firmwares(const char *text, std::vector<InterfaceFirmware> *out) {
  out->clear();
  for (const std::string &part : comma_parts(text)) {
    const size_t at = part.find('@');
    const size_t colon = part.find(':');
    InterfaceFirmware firmware{at == std::string::npos ? "ZV-16x16" : part.substr(0, at), 0, -1};
    const size_t version_at = at == std::string::npos ? 0 : at + 1;
    const std::string version_part = part.substr(
        version_at, colon == std::string::npos ? std::string::npos : colon - version_at);
    long version = 0, build = 0;
    if (firmware.product.empty() || firmware.product.size() > 8 ||
        !version_number(version_part.c_str(), &version) ||
        (colon != std::string::npos && !number(part.c_str() + colon + 1, 65535, &build))) {
      return false;
    }
    firmware.version = static_cast<int>(version);
    if (colon != std::string::npos) firmware.build = static_cast<int>(build);
    out->push_back(firmware);
  }
  return out->size() <= 8;
}

bool fail(const HostUsage &usage, const char *what, const char *argument) {
  std::fprintf(stderr, "%s: bad %s: %s\n\n", usage.name, what, argument);
  print_usage(usage, stderr);
  return false;
}

}  // namespace

bool parse_host_options(int argc, char **argv, const HostUsage &usage, HostOptions *options) {
  const long kMax = 0x7FFFFFFFL;
  optind = 1;
  for (;;) {
    const int code = getopt_long(argc, argv, "", kOptions, nullptr);
    if (code == -1) break;
    const char *arg = optarg;
    long value = 0;
    // kOptions lists the options in the order of their codes.
    const bool known = code >= kProduct && code < kHelp;
    const bool numeric = known && arg != nullptr && code != kProduct && code != kFirmware &&
                         code != kWindow && code != kVersion && code != kTransferError &&
                         code != kDevices && code != kFaultAtStage;
    if (numeric && !number(arg, kMax, &value))
      return fail(usage, kOptions[code - kProduct].name, arg);
    switch (code) {
      case kProduct:
        if (std::strlen(arg) > 8) return fail(usage, "product (8 characters at most)", arg);
        options->product = arg;
        break;
      case kVersion:
        if (!version_number(arg, &value)) return fail(usage, "version", arg);
        options->version = static_cast<int>(value);
        break;
      case kBuild:
        if (value > 65535) return fail(usage, "build", arg);
        options->build = static_cast<int>(value);
        break;
      case kFirmware:
        options->firmware = arg;
        break;
      case kWindow:
        if (!windows(arg, &options->settings.windows)) return fail(usage, "window", arg);
        break;
      case kBusy:
        options->settings.busy_after_command_ms = static_cast<uint32_t>(value);
        break;
      case kNoise:
        options->settings.checksum_noise = static_cast<uint32_t>(value);
        break;
      case kChecksumTime:
        options->settings.checksum_time_ms = static_cast<uint32_t>(value);
        break;
      case kFlashWrite:
        options->settings.flash_write_ms = static_cast<uint32_t>(value);
        break;
      case kUnplugAtByte:
        options->faults.unplug_at_byte = value;
        break;
      case kUnplugAfter:
        options->faults.unplug_after_transfers = value;
        break;
      case kReplugAfter:
        options->replug_after_ms = value;
        break;
      case kMuteAfter:
        options->bus.mute_after = value;
        break;
      case kMuteFor:
        options->bus.mute_for_ms = value;
        break;
      case kStuck:
        options->faults.window_stuck_zero = true;
        break;
      case kOffsetBehind:
        options->faults.offset_behind_bytes = static_cast<uint32_t>(value);
        if (options->faults.offset_behind_replies == 0) options->faults.offset_behind_replies = 1;
        break;
      case kOffsetBehindReplies:
        options->faults.offset_behind_replies = static_cast<int>(value);
        break;
      case kChecksumError:
        options->faults.checksum_error_after_update = static_cast<uint32_t>(value);
        break;
      case kNeverComplete:
        options->faults.never_complete = true;
        break;
      case kTransferError:
        if (std::strcmp(arg, "EPIPE") == 0) {
          options->bus.error = EPIPE;
        } else if (std::strcmp(arg, "EPROTO") == 0) {
          options->bus.error = EPROTO;
        } else {
          return fail(usage, "transfer error (EPIPE or EPROTO)", arg);
        }
        if (options->bus.error_count == 0) options->bus.error_count = 1;
        break;
      case kErrorAfter:
        options->bus.error_after = value;
        break;
      case kErrorCount:
        options->bus.error_count = value;
        break;
      case kDenyAccess:
        if (!usage.access_control)
          return fail(usage, "option (no access control here)", argv[optind - 1]);
        options->deny_access = true;
        break;
      case kDevices:
        if (!usage.several) return fail(usage, "option (one interface here)", "--devices");
        if (!interface_firmwares(arg, &options->devices))
          return fail(usage, "devices (1 to 8 of [PRODUCT@]VERSION[:BUILD])", arg);
        break;
      case kPlugAfter:
        if (!usage.late)
          return fail(usage, "option (every interface at once here)", "--plug-after");
        if (value > 3600) return fail(usage, "plug-after (seconds, at most 3600)", arg);
        options->plug_after_ms = value * 1000;
        break;
      case kFaultAtStage:
        if (!parse_stage_moment(arg, &options->moment)) return fail(usage, "stage", arg);
        break;
      case kHelp:
        print_usage(usage, stdout);
        std::exit(0);
      default:
        print_usage(usage, stderr);
        return false;
    }
  }
  options->program.assign(argv + optind, argv + argc);
  return true;
}

bool apply_host_options(const HostOptions &options, VirtualDevice *model) {
  if (!options.firmware.empty()) {
    std::ifstream in(options.firmware, std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "virtual ZV-16x16: cannot read %s\n", options.firmware.c_str());
      return false;
    }
    if (image.empty() || image.size() > kMaxImage) {
      std::fprintf(stderr, "virtual ZV-16x16: %s is not a firmware image\n",
                   options.firmware.c_str());
      return false;
    }
    model->install_image(image);
  } else if (options.version >= 0 || options.build >= 0 || options.product != model->product()) {
    const int version = options.version >= 0 ? options.version : model->version();
    const int build = options.build >= 0 ? options.build : model->build();
    model->install_firmware(options.product.c_str(), static_cast<uint16_t>(version),
                            static_cast<uint16_t>(build));
  }
  model->settings = options.settings;
  model->faults = options.faults;
  return true;
}

}  // namespace zvsim
