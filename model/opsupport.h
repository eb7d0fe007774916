// Shared checks of the model-building and query operations: index ranges,
// numeric data checks, character checks, and name conversion between the
// API encoding and the internal UTF-8.
#pragma once

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

// Numeric data checks (data checking on): 1225 for NaN, and 1233 (printed)
// for an infinite value when `inf` is set.
int checkValues(Env& env, const double* v, long long n, bool inf);
int checkSenses(Env& env, const char* s, long long n);   // 1215
int checkCtypes(Env& env, const char* t, long long n);   // 3021
int checkBoundTypes(Env& env, const char* t, long long n);  // 1229

// Sparse data: cnt vectors of begin[] into ind/val with nzcnt entries and
// index limit `limit` (1201 for column indices, 1203 for row indices).
// Structural checks always run (they guard memory); value and duplicate
// checks only with data checking on.
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
