// What goes wrong on the way to the virtual ZV-16x16 rather than in it: the link between a
// host (the umockdev bus, the stand-in driver under Wine) and the device model.
#ifndef ZVSIM_BUS_FAULTS_H
#define ZVSIM_BUS_FAULTS_H

namespace zvsim {

// Counts are of vendor transfers since the start.
struct BusFaults {
  long mute_after = -1;  // this many are answered, then none: the device falls silent
  int error = 0;         // EPIPE or EPROTO: these transfers fail with it...
  long error_after = 0;  // ...starting after this many...
  long error_count = 0;  // ...for this many

  enum class Fate { kAnswered, kSilent, kFails };
  // What becomes of vendor transfer `number` (counted from 0); a failure uses up one of
  // error_count.
  Fate fate(long number) {
    if (mute_after >= 0 && number >= mute_after) return Fate::kSilent;
    if (error_count > 0 && number >= error_after) {
      --error_count;
      return Fate::kFails;
    }
    return Fate::kAnswered;
  }
};

}  // namespace zvsim

#endif
