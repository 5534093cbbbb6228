// What goes wrong on the way to the virtual ZV-16x16 rather than in it: the link between a
// host (the umockdev bus, the stand-in driver under Wine) and the device model.
#ifndef ZVSIM_BUS_FAULTS_H
#define ZVSIM_BUS_FAULTS_H

namespace zvsim {

// Counts are of vendor transfers since the start.
struct BusFaults {
  long mute_after = -1;         // this many are answered, then none: the device falls silent...
  long mute_for_ms = -1;        // ...for this long, then it answers again (-1: for good)
  long long silent_since = -1;  // when it fell silent, in the host's milliseconds
  int error = 0;                // EPIPE or EPROTO: these transfers fail with it...
  long error_after = 0;         // ...starting after this many...
  long error_count = 0;         // ...for this many

  enum class Fate { kAnswered, kSilent, kFails };
  // What becomes of vendor transfer `number` (counted from 0) at `now_ms` on the host's
  // clock; a failure uses up one of error_count.
  Fate fate(long number, long long now_ms) {
    if (mute_after >= 0 && number >= mute_after) {
      if (silent_since < 0) silent_since = now_ms;
      if (mute_for_ms < 0 || now_ms - silent_since < mute_for_ms) return Fate::kSilent;
    }
    if (error_count > 0 && number >= error_after) {
      --error_count;
      return Fate::kFails;
    }
    return Fate::kAnswered;
  }
};

}  // namespace zvsim

#endif
