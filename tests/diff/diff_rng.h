// Random stream of one generated case: splitmix64, independent of the
// standard library so that a case id gives the same model everywhere.
#pragma once

#include <cstdint>

namespace vnt::diff {

struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double uni() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0,1)
  int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
  bool chance(double p) { return uni() < p; }
  int nonzeroInt(int k) {
    int v = range(1, k);
    return chance(0.5) ? v : -v;
  }
};

}  // namespace vnt::diff
