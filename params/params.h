// Parameters: storage in the environment, typed access by number, the
// set/get/info operations with their cross-type rules and side effects,
// parameter sets and the parameter file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "env/env.h"

namespace vnt::params {

struct ParamSet;

// ---------------------------------------------------------------------------
// Environment life cycle.

// Allocate the parameter storage of an environment and set the defaults
// (full reset).  0 or 1001.
int createStore(Env& env);
void destroyStore(Env& env);
// Copy every parameter value (not the fixed list) from one environment to
// another, e.g. into a child environment; then applies the side effects of
// screen output, random seed and API encoding on dst.  0 (1002 without
// parameter storage).
int copyStore(Env& dst, const Env& src);
// Apply the two override environment variables KORA_VANTO_PARAMETER_FILE
// and KORA_VANTO_PARAMETER_STRING (at open); messages go to standard error.
void applyOverrides(Env& env);

// ---------------------------------------------------------------------------
// Fast typed reads by parameter number for the optimizers (no fixed-list
// check).  getInt also reads a long parameter (clamped to the int range) and
// getLong an int parameter; an unknown number or another type gives 0, 0.0
// or "".
int getInt(const Env& env, int id);
long long getLong(const Env& env, int id);
double getDbl(const Env& env, int id);
const char* getStr(const Env& env, int id);  // UTF-8

// Per-code counts of the model-warning limiter (63 slots), or null.
long long* warningCounts(Env& env);

// ---------------------------------------------------------------------------
// Operations with the semantics of the public interface (fixed list, type
// rules, range checks, side effects); strings are UTF-8.  They return 0 or a
// status code and leave the value unchanged on failure.
int setIntParam(Env& env, int id, int value);
int setLongParam(Env& env, int id, long long value);
int setDblParam(Env& env, int id, double value);
int setStrParam(Env& env, int id, const char* utf8);
int getIntParam(const Env& env, int id, int* value);
int getLongParam(const Env& env, int id, long long* value);
int getDblParam(const Env& env, int id, double* value);
int getStrParam(const Env& env, int id, std::string* utf8);
int getParamType(const Env& env, int id, int* type);
// Number of a parameter by its old or hierarchical name (UTF-8): 0, 1013
// (fixed) or 1028 (not a named parameter).
int paramNumber(const Env& env, const char* name, int* id);

// Full reset (VNTsetdefaults): every parameter not on the fixed list to its
// default, then screen output and random seed side effects.  The partial
// reset (tuning trials) leaves 1035, 1039, 1110-1113, 1119, 1124, 1127 and
// 1139 alone.
void resetAll(Env& env);
void resetPartial(Env& env);

// Fixed-parameter list (VNTEfixparam): 0 or 1001.
int fixParam(Env& env, int id);
bool isFixed(const Env& env, int id);

// Changed parameters in id order (not hidden, not fixed, not 1053, not at the
// default).  Stores at most `space` ids (ids may be null), returns the total
// number of changed parameters.
int changedParams(const Env& env, int* ids, int space);

// Parameter display before an optimization: when the parameter-display
// parameter (1163) is non-zero, writes "Version identifier: %s\n" and the
// changed parameters in parameter-file lines to the log channel.  Optimizers
// call it once at their outermost entry (not for nested calls).
void displayChanged(Env& env);

// Registry hook: releases a parameter set still registered at environment
// close (ObjKind::ParamSet).  The set's registry entry is removed too.
void releaseParamSet(Env& env, void* set);

// Switch for the recording parameter (1162): called when 1162 is set to a
// non-zero value; returns 0 or a status (the value is then left unchanged).
// The call recorder installs it; without one the value is just stored.
using RecordSwitch = int (*)(Env& env);
void setRecordSwitch(RecordSwitch fn);
// The call recorder's database path: a fixed buffer of the environment's
// parameter block, empty while no database exists.
inline constexpr int kRecordPathSize = 4096;
char* recordPath(Env& env);

// ---------------------------------------------------------------------------
// Parameter files (UTF-8 text).  Statuses as for the public operations; a
// negative status means the message has been printed already.
int writeParamFile(Env& env, const char* filename);
int readParamFile(Env& env, const char* filename);
int readParamText(Env& env, const char* name, const char* text, long long length);

// Parameters set for a scope and restored, last set first, when the scope
// ends (helper solves that must leave the caller's settings as found).
class ScopedParams {
 public:
  explicit ScopedParams(Env& env) : env_(env) {}
  ScopedParams(const ScopedParams&) = delete;
  ScopedParams& operator=(const ScopedParams&) = delete;
  ~ScopedParams() {
    for (auto it = ints_.rbegin(); it != ints_.rend(); ++it) setLongParam(env_, it->first, it->second);
    for (auto it = dbls_.rbegin(); it != dbls_.rend(); ++it) setDblParam(env_, it->first, it->second);
    for (auto it = strs_.rbegin(); it != strs_.rend(); ++it) setStrParam(env_, it->first, it->second.c_str());
  }
  void setInt(int id, long long v) {
    ints_.emplace_back(id, getLong(env_, id));
    setLongParam(env_, id, v);
  }
  void setDbl(int id, double v) {
    dbls_.emplace_back(id, getDbl(env_, id));
    setDblParam(env_, id, v);
  }
  void setStr(int id, const char* utf8) {
    strs_.emplace_back(id, getStr(env_, id));
    setStrParam(env_, id, utf8);
  }

 private:
  Env& env_;
  std::vector<std::pair<int, long long>> ints_;
  std::vector<std::pair<int, double>> dbls_;
  std::vector<std::pair<int, std::string>> strs_;
};

}  // namespace vnt::params
