// Parameter storage of one environment (private to params/).
#pragma once

#include "params/table.h"

namespace vnt::params {

// Every parameter has its own slot, indexed by its position in the table;
// string parameters additionally own a 512-byte text field.  Values is a
// plain copyable record, so a snapshot is a copy.
struct Values {
  union Slot {
    int i;
    long long l;
    double d;
  } v[kNumParams];
  char s[kNumStrParams][kStrField];
};

struct Store {
  Values cur;
  // Fixed-parameter list: a growable array of ids (capacity 8, doubling).
  int* fixed = nullptr;
  int fixedCount = 0;
  int fixedCap = 0;
  // Model-warning limiter counts (63 slots, code - 1001).
  long long warnCounts[63] = {};
  // Database path of the call recorder (params.h: recordPath).
  char recordPath[4096] = {};
};

}  // namespace vnt::params
