// The interval [lo, hi] a row's sense, right-hand side and range value
// allow (1e20 stands for infinity; a range value of either sign spans from
// the right-hand side towards it).
#pragma once

#include <utility>

namespace vnt::test {

inline std::pair<double, double> rowInterval(char sense, double rhs, double rng) {
  switch (sense) {
    case 'L': return {-1e20, rhs};
    case 'G': return {rhs, 1e20};
    case 'E': return {rhs, rhs};
    default: return rng >= 0 ? std::make_pair(rhs, rhs + rng) : std::make_pair(rhs + rng, rhs);
  }
}

}  // namespace vnt::test
