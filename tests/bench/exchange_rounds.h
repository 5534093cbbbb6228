// Timing transports by message exchanges (a send and a receive, as the protocol makes them):
// each round times every mode in turn, so that drift of an emulated device hits all modes
// alike, and each mode's figure is its median round.
#ifndef TESTS_BENCH_EXCHANGE_ROUNDS_H
#define TESTS_BENCH_EXCHANGE_ROUNDS_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using Exchange = std::function<bool()>;  // one send and one receive; false when one failed

// Seconds per transfer of each mode: the median of `rounds` rounds of `pairs` exchanges.
// A failed exchange ends the program with a line that names `who`.
inline std::vector<double> seconds_per_transfer(const char *who, const std::vector<Exchange> &modes,
                                                int pairs, int rounds) {
  std::vector<std::vector<double>> samples(modes.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t mode = 0; mode < modes.size(); ++mode) {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < pairs; ++i) {
        if (!modes[mode]()) {
          std::fprintf(stderr, "%s: a transfer failed\n", who);
          std::exit(1);
        }
      }
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      samples[mode].push_back(elapsed.count() / (2.0 * pairs));
    }
  }
  std::vector<double> medians;
  for (std::vector<double> &s : samples) {
    std::sort(s.begin(), s.end());
    medians.push_back(s[s.size() / 2]);
  }
  return medians;
}

#endif
