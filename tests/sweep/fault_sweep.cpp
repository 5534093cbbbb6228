// fault_sweep [--sample] [--jobs N] [--kind NAME]
//
// Injects one fault at every transfer of a whole update of the embedded image and checks
// what the user is told: the updater runs its checks and its worker against the in-process
// virtual ZV-16x16 on the virtual clock, once for each fault kind (fault_kinds.h) at each
// transfer index (or, for the kinds that do not depend on the moment, for each distinct
// number of the worker's attempts). Each run must
//   - come to what its kind's rule says for the stage and the step (send, poll or answer)
//     that the fault struck: completion where the protocol rides the fault out, and
//     otherwise one of the failure texts the rule allows, with the worker's signals in
//     order, so that the button comes back; "Completed." only with the image in place;
//   - end within the rule's promise, in plain seconds on the virtual clock; a run that goes
//     on past twice its kind's longest promise is cut off (the device is pulled) and counted;
//   - leave a device that, once the fault is cleared, a fresh press brings up to date.
// --sample runs the first and last transfer of every stage and one in 50 otherwise.
// --jobs N shares the runs among N processes. Prints a table by kind and stage; exit status
// 1 on any wrong outcome, stranded device or late run.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "deviceconnection.h"
#include "fault_kinds.h"
#include "press.h"
#include "stdout_redirect.h"
#include "update_stages.h"
#include "update_texts.h"
#include "updatejob.h"
#include "usbdevs_virtual.h"
#include "virtual_clock.h"
#include "virtual_device.h"
#include "zv_build_values.h"
#include "zvctl.h"
#include "zvitems.h"

namespace {

double seconds_of(uint64_t ms) { return static_cast<double>(ms) / 1000.0; }

// A run that goes on this many times its kind's longest promise would never end: the device
// is pulled so that it does, and the run is counted as late.
const double kCutOffFactor = 2;

struct Task {
  size_t kind;
  long at;  // transfer index, or attempts for Timing::kPerAttempts
};

struct RunResult {
  std::string stage;  // where the fault struck: "stage: step", or "attempt N"
  std::string text;   // the first press's last text, newlines escaped
  uint64_t virtual_ms;
  bool succeeded, wrong, stranded, late;
  double seconds;  // host time of the run
};

class Sweep {
 public:
  Sweep()
      : image_(read_image()),
        start_firmware_(zvsim::VirtualDevice(vclock_now_us).firmware()),
        loaded_(new LoadedImage()) {
    std::copy(image_.begin(), image_.end(), loaded_->data);
    loaded_->size = static_cast<uint32_t>(image_.size());
  }

  // The fault-free update: its transfer count, and the stage and step of every transfer.
  bool learn() {
    vclock_reset();
    zvsim::VirtualDevice device(vclock_now_us, start_firmware_);
    device.settings.log_transfers = true;
    usbdevs_virtual_connect(&device);
    DeviceConnection connection;
    device.settings.on_transfer = [&] {
      stages_.push_back(zvsim::stage_name(zvsim::current_stage(device)));
    };
    const PressOutcome outcome = press_update(connection, *loaded_, nullptr);
    for (const zvsim::TransferRecord &r : device.log()) steps_.push_back(step_of(r));
    usbdevs_virtual_connect(nullptr);
    fault_free_ms_ = outcome.virtual_ms;
    return is_success_text(outcome.text) && holds_image(device);
  }

  long transfers() const { return static_cast<long>(stages_.size()); }
  uint64_t fault_free_ms() const { return fault_free_ms_; }

  // "checks 0-8, preparation 9-12, ...": where each stage's transfers lie.
  std::string stage_ranges() const {
    std::string text;
    for (long at = 0; at < transfers(); ++at) {
      if (at > 0 && stages_[at] == stages_[at - 1]) continue;
      long last = at;
      while (last + 1 < transfers() && stages_[last + 1] == stages_[at]) ++last;
      text += (text.empty() ? "" : ", ") + std::string(stages_[at]) + " " + std::to_string(at) +
              "-" + std::to_string(last);
    }
    return text;
  }

  // First and last transfer of every stage, and one in 50 otherwise.
  bool sampled(long at) const {
    return at % 50 == 0 || at == 0 || at + 1 == transfers() || stages_[at] != stages_[at - 1] ||
           stages_[at] != stages_[at + 1];
  }

  RunResult run(const FaultKind &kind, long at) {
    const auto started = std::chrono::steady_clock::now();
    vclock_reset();
    zvsim::VirtualDevice device(vclock_now_us, start_firmware_);
    usbdevs_virtual_connect(&device);
    DeviceConnection connection;
    const uint64_t cut_off_us = static_cast<uint64_t>(longest_within_s(kind) * kCutOffFactor * 1e6);
    bool cut_off = false;
    device.settings.on_transfer = [&] {
      const long n = device.transfers();
      if (kind.timing == Timing::kAtTransfer && n == at) kind.start(device);
      if (kind.timing == Timing::kAtTransfer && kind.lasts > 0 && n == at + kind.lasts)
        kind.stop(device);
      if (!cut_off && vclock_now_us() > cut_off_us) {
        cut_off = true;
        device.unplug();
      }
    };
    if (kind.timing == Timing::kPerAttempts) kind.start(device);
    long attempts = 0;
    const PressOutcome first = press_update(connection, *loaded_, [&](const QString &text) {
      const bool attempt = text == "Sending and Updating..." || text.startsWith("Retrying...");
      if (attempt && ++attempts == at + 1 && kind.timing == Timing::kPerAttempts) {
        kind.stop(device);
      }
    });
    const bool by_transfer = kind.timing == Timing::kAtTransfer;
    const std::string stage = by_transfer ? stages_[at] : "attempt " + std::to_string(at);
    const std::string step = by_transfer ? steps_[at] : "*";
    const Rule *rule = rule_for(kind, stage, step);
    RunResult result{
        by_transfer ? stage + ": " + step : stage,
        escaped(first.text),
        first.virtual_ms,
        is_success_text(first.text),
        !right(first, device, rule),
        false,
        cut_off || rule == nullptr || static_cast<double>(first.virtual_ms) > rule->within_s * 1000,
        0};

    // The fault is cleared: unplugged for good, the interface is found by nobody until then.
    device.settings.on_transfer = nullptr;
    if (kind.stays_away && !device.plugged()) {
      const PressOutcome away = press_update(connection, *loaded_, nullptr);
      result.wrong = result.wrong || away.text != update_texts::kNotConnected;
    }
    kind.stop(device);
    if (!device.plugged()) device.replug();
    if (!holds_image(device)) {
      const PressOutcome again = press_update(connection, *loaded_, nullptr);
      result.wrong = result.wrong || !again.kept_contract || !is_success_text(again.text) ||
                     !holds_image(device);
    }
    result.stranded = !holds_image(device);
    usbdevs_virtual_connect(nullptr);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
  }

 private:
  static std::vector<uint8_t> read_image() {
    std::ifstream file(UPDATE_BIN_PATH, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
  }

  static std::string escaped(const QString &text) {
    std::string s = text.toStdString();
    for (size_t i = 0; (i = s.find('\n', i)) != std::string::npos;) s.replace(i, 1, "\\n");
    return s;
  }

  bool holds_image(const zvsim::VirtualDevice &d) const {
    return d.firmware() == image_ && d.version() == ZV_IMAGE_VERSION && d.build() == ZV_IMAGE_BUILD;
  }

  // A send; a read whose reply only says whether the device is busy; or a read that carries
  // what was asked.
  static const char *step_of(const zvsim::TransferRecord &r) {
    if (!r.in) return "send";
    return !r.data.empty() && r.data[0] == ZV_ITEM_READY ? "poll" : "answer";
  }

  // What the rule says, with success only with the image in place, and the button back.
  bool right(const PressOutcome &o, const zvsim::VirtualDevice &d, const Rule *rule) const {
    if (rule == nullptr || !o.kept_contract) return false;
    if (is_success_text(o.text)) return rule->outcome != Outcome::kFails && holds_image(d);
    if (rule->outcome == Outcome::kCompletes) return false;
    for (const char *allowed : rule->texts) {
      if (o.text == allowed) return true;
    }
    return false;
  }

  std::vector<uint8_t> image_;
  std::vector<uint8_t> start_firmware_;  // made once: generating it costs more than a run
  std::unique_ptr<LoadedImage> loaded_;
  std::vector<const char *> stages_;
  std::vector<const char *> steps_;  // of each transfer of the fault-free update
  uint64_t fault_free_ms_ = 0;
};

// What the runs of one kind at one stage came to.
struct StageTotals {
  long runs = 0, completed = 0;
  uint64_t worst_ms = 0;
  std::map<std::string, long> failed_by_text;
};

struct KindTotals {
  long injections = 0, completed = 0, wrong = 0, stranded = 0, past = 0;
  uint64_t worst_ms = 0;
  double seconds = 0;
  std::vector<std::pair<std::string, StageTotals>> stages;  // in the order first seen

  StageTotals &stage(const std::string &name) {
    for (auto &known : stages) {
      if (known.first == name) return known.second;
    }
    stages.emplace_back(name, StageTotals());
    return stages.back().second;
  }
};

// One line per run, for the parent: kind, succeeded, wrong, stranded, late, virtual ms,
// seconds, stage, text.
void write_result(std::FILE *out, size_t kind, const RunResult &r) {
  std::fprintf(out, "%zu\t%d\t%d\t%d\t%d\t%llu\t%.6f\t%s\t%s\n", kind, r.succeeded, r.wrong,
               r.stranded, r.late, static_cast<unsigned long long>(r.virtual_ms), r.seconds,
               r.stage.c_str(), r.text.c_str());
}

void add_result(const char *line, std::vector<KindTotals> *totals, std::FILE *report) {
  size_t kind = 0;
  int succeeded = 0, wrong = 0, stranded = 0, past = 0;
  unsigned long long ms = 0;
  double seconds = 0;
  int stage_at = 0;
  if (std::sscanf(line, "%zu\t%d\t%d\t%d\t%d\t%llu\t%lf\t%n", &kind, &succeeded, &wrong, &stranded,
                  &past, &ms, &seconds, &stage_at) < 7 ||
      kind >= totals->size()) {
    return;
  }
  std::string rest(line + stage_at);
  if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  const size_t tab = rest.find('\t');
  const std::string stage = rest.substr(0, tab);
  const std::string text = tab == std::string::npos ? std::string() : rest.substr(tab + 1);
  KindTotals &t = (*totals)[kind];
  ++t.injections;
  t.wrong += wrong;
  t.stranded += stranded;
  t.past += past;
  t.worst_ms = std::max<uint64_t>(t.worst_ms, ms);
  t.seconds += seconds;
  StageTotals &at = t.stage(stage);
  ++at.runs;
  at.worst_ms = std::max<uint64_t>(at.worst_ms, ms);
  if (succeeded) {
    ++t.completed;
    ++at.completed;
  } else {
    ++at.failed_by_text[text];
  }
  if (wrong || stranded || past) std::fprintf(report, "  problem: %s", line);
}

}  // namespace

int main(int argc, char **argv) {
  bool sample = false;
  int jobs = 1;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sample") == 0) {
      sample = true;
    } else if (std::strcmp(argv[i], "--jobs") == 0 && i + 1 < argc) {
      jobs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--sample] [--jobs N] [--kind NAME]\n", argv[0]);
      return 2;
    }
  }
  std::FILE *report = stdout;
  const auto started = std::chrono::steady_clock::now();
  Sweep sweep;
  std::vector<Task> tasks;
  {
    StdoutRedirect quiet(StdoutRedirect::kDiscard);  // the libraries' diagnostic lines
    if (!sweep.learn()) {
      quiet.text();
      std::fprintf(stderr, "fault_sweep: the fault-free update does not complete\n");
      return 1;
    }
  }
  const std::vector<FaultKind> &kinds = fault_kinds();
  for (size_t k = 0; k < kinds.size(); ++k) {
    if (!only.empty() && only != kinds[k].name) continue;
    if (kinds[k].timing == Timing::kPerAttempts) {
      for (long attempts = 1; attempts <= kinds[k].attempts; ++attempts)
        tasks.push_back({k, attempts});
      continue;
    }
    for (long at = 0; at < sweep.transfers(); ++at) {
      if (!sample || sweep.sampled(at)) tasks.push_back({k, at});
    }
  }
  std::fprintf(report,
               "fault sweep: %ld transfers in a fault-free update (%.1f s on the virtual clock), "
               "%zu runs on %d processes\n",
               sweep.transfers(), seconds_of(sweep.fault_free_ms()), tasks.size(), jobs);
  std::fprintf(report, "stages by transfer index: %s\n", sweep.stage_ranges().c_str());
  std::fflush(report);

  // Each process writes its lines to a file of its own; the parent reads them all at the end.
  std::vector<std::FILE *> outputs;
  std::vector<pid_t> children;
  for (int j = 0; j < jobs; ++j) {
    std::FILE *out = std::tmpfile();
    outputs.push_back(out);
    const pid_t pid = fork();
    if (pid == 0) {
      {
        StdoutRedirect quiet(StdoutRedirect::kDiscard);
        for (size_t t = j; t < tasks.size(); t += jobs) {
          write_result(out, tasks[t].kind, sweep.run(kinds[tasks[t].kind], tasks[t].at));
        }
      }
      std::exit(0);  // an ordinary exit, so that a leak checker sees the child's runs too
    }
    children.push_back(pid);
  }
  bool crashed = false;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    crashed = crashed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  }
  std::vector<KindTotals> totals(kinds.size());
  char line[1024];
  for (std::FILE *out : outputs) {
    std::rewind(out);
    while (std::fgets(line, sizeof line, out) != nullptr) add_result(line, &totals, report);
    std::fclose(out);
  }

  std::fprintf(report, "\n%-28s %10s %9s %7s %6s %8s %6s %10s %8s\n", "fault kind", "injections",
               "completed", "failed", "wrong", "stranded", "late", "worst (s)", "runs/s");
  long all = 0, bad = 0;
  for (size_t k = 0; k < kinds.size(); ++k) {
    const KindTotals &t = totals[k];
    if (t.injections == 0) continue;
    all += t.injections;
    bad += t.wrong + t.stranded + t.past;
    std::fprintf(report, "%-28s %10ld %9ld %7ld %6ld %8ld %6ld %10.1f %8.0f\n", kinds[k].name,
                 t.injections, t.completed, t.injections - t.completed, t.wrong, t.stranded, t.past,
                 seconds_of(t.worst_ms),
                 t.seconds > 0 ? static_cast<double>(t.injections) / t.seconds : 0.0);
    for (const auto &stage : t.stages) {
      const StageTotals &st = stage.second;
      std::fprintf(report, "    %-22s %6ld runs %6ld completed   worst %6.1f s\n",
                   stage.first.c_str(), st.runs, st.completed, seconds_of(st.worst_ms));
      for (const auto &failed : st.failed_by_text) {
        std::fprintf(report, "        failed with \"%s\": %ld\n", failed.first.c_str(),
                     failed.second);
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(report,
               "\n%ld runs in %.0f s; %ld wrong outcomes, stranded devices or late runs%s\n", all,
               seconds, bad, crashed ? "; a sweep process failed" : "");
  return bad == 0 && !crashed && all == static_cast<long>(tasks.size()) ? 0 : 1;
}
