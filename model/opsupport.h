// Shared checks of the model-building and query operations: index ranges,
// numeric data checks, character checks, and name conversion between the
// API encoding and the internal UTF-8.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "env/env.h"
#include "model/problem.h"

namespace vnt::model::ops {

inline constexpr int kParamDataCheck = 1056;
inline constexpr int kParamApiEncoding = 1130;

bool dataCheck(const Env& env);

// 1023 when the problem is the fixed problem of another one.
inline int refuseFixed(const Problem& p) { return p.fixedParent ? 1023 : 0; }

// Range (begin, end) against count: 0 when valid (or empty), else prints the
// 1205 / 1206 message with the VNT-flavour name and returns 1200.
int checkRange(Env& env, const char* vntName, int begin, int end, int count);

// Index list against [lo, count): prints `code` (1201 or 1203) with the
// offending index and returns the negated code.
int checkIndices(Env& env, const int* ind, long long cnt, int count, int code, int lo = 0);

// What a numeric argument holds, for the value checks.
enum class Num {
  AnySize,  // bounds, slopes: any magnitude (bounds are stored clamped)
  Finite,   // right-hand sides, offsets, breakpoints: an infinite value is an error
  Coef,     // objective and matrix coefficients: a magnitude at or beyond the
            // infinity bound is an error
};

// Value checks of numeric arguments.  A NaN is refused whatever the
// data-check setting (1225); with data checking on (`dc`), the Finite and
// Coef rules above print 1233 with "\"inf\"" or "\"-inf\"" and return it
// negated.
int checkNumbers(Env& env, const double* v, long long n, Num kind, bool dc);
// Prints 1233 for an infinite (or too large) value and returns it negated.
int reportInfinite(Env& env, double v);
inline int checkNumber(Env& env, double v, Num kind, bool dc) { return checkNumbers(env, &v, 1, kind, dc); }
// Range values: NaN refused always; with data checking on an infinite
// range of a row whose sense is 'R' is 1233.  senseOf(k) gives the sense of
// entry k.
template <class SenseOf>
int checkRanges(Env& env, const double* v, long long n, bool dc, SenseOf&& senseOf) {
  if (!v) return 0;
  for (long long k = 0; k < n; ++k) {
    if (std::isnan(v[k])) return 1225;
    if (dc && std::isinf(v[k]) && senseOf(k) == 'R') return reportInfinite(env, v[k]);
  }
  return 0;
}
int checkSenses(Env& env, const char* s, long long n);   // 1215
int checkCtypes(Env& env, const char* t, long long n);   // 3021
int checkBoundTypes(Env& env, const char* t, long long n);  // 1229

// Sparse data: cnt vectors of begin[] into ind/val with nzcnt entries and
// index limit `limit` (1201 for column indices, 1203 for row indices).
// Structural checks and the NaN check always run; the coefficient and
// duplicate checks only with data checking on.
int checkSparse(Env& env, long long cnt, long long nzcnt, const long long* beg, const int* ind,
                const double* val, int limit, int idxCode, bool dc);

// Name conversion: API encoding -> UTF-8 (1235 when the conversion fails,
// 1236 for control characters) and back.
int nameIn(Env& env, const char* s, std::string& out);
int namesIn(Env& env, char** names, long long n, std::vector<std::string>& out);
std::string nameOut(Env& env, const std::string& s);

// Work accounting of queries.
inline void countWork(Env& env, long long values, int perValue = 2) {
  if (env.counter && values > 0) env.counter->add(static_cast<uint64_t>(values) * perValue);
}

inline double clampBound(double v) {
  if (v >= kInfBound) return kInfBound;
  if (v <= -kInfBound) return -kInfBound;
  return v;
}

// Names begin..end of a table (indexable, giving UTF-8 strings) converted
// and copied one after another into namestore, name[k - begin] pointing at
// each copy.  *surplus_p receives the space left over (negative when the
// store is too small: 1207, or -1207 when only the size was asked for with a
// null store).  The range must be checked by the caller.
template <class Table>
int copyNamesOut(Env& env, const Table& t, int begin, int end, char** name, char* namestore, long long space,
                 long long* surplus_p) {
  std::vector<std::string> conv(end - begin + 1);
  long long need = 0;
  for (int k = begin; k <= end; ++k) {
    conv[k - begin] = nameOut(env, t[k]);
    need += static_cast<long long>(conv[k - begin].size()) + 1;
  }
  *surplus_p = space - need;
  if (need > space) return namestore ? 1207 : -1207;
  long long pos = 0;
  for (int k = begin; k <= end; ++k) {
    const std::string& s = conv[k - begin];
    name[k - begin] = namestore + pos;
    std::memcpy(namestore + pos, s.c_str(), s.size() + 1);
    pos += static_cast<long long>(s.size()) + 1;
  }
  countWork(env, need);
  return 0;
}

// Runs an operation body, turning a failed allocation inside it into 1001.
template <class F>
int guarded(F&& f) {
  try {
    return f();
  } catch (...) {
    return 1001;
  }
}

}  // namespace vnt::model::ops
