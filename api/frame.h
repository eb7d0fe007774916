// The frame between the exported stubs and the checked entries: table sets,
// the argument-checking prologue, width conversion and the status reporter.
// The generated adapters (api/adapters.cpp) are the only callers of most of
// this; checked entries (namespace vnt::chk) receive a valid environment and
// problem and return a status.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vanto/vanto.h"

namespace vnt {
struct Env;
namespace model {
struct Problem;
}
}  // namespace vnt

namespace vnt::api {

using VntFn = void (*)();

// 3 flavour groups (VNT, VNTS, VNTL) of 8 component tables.
struct ApiTableSet {
  const VntFn* comp[3][8];
};
extern const ApiTableSet kDirectTables;
// The recording set: same slots, each pointing at a wrapper that records
// the call around the direct set's entry (api/recorder.h).
extern const ApiTableSet kRecordingTables;

// Process-wide recording state: both table sets and the nesting counter of
// recorded calls under its own mutex (not per environment).
struct RecordingState {
  const ApiTableSet* recording;
  const ApiTableSet* direct;
  int nesting;
};
RecordingState& recordingState();

// Move an environment to the recording set (side effect of setting the
// recording parameter 1162 while recording is off).  Installed as the
// parameter subsystem's record switch at process start-up.
int switchToRecording(Env& env);
void installRecordSwitch();
// An environment on the recording set is being closed: its database
// connection goes with it.
void recordingEnvClosed(const Env& env);

// Stub support.
VntFn slotFor(const void* envHandle, int flavour, int component, int slot);
void reportMissing(const void* envHandle);
const void* envFromHandlePtr(const void* handlePtr);

// Prologue: environment check (and problem check with redirection).
int enter(const void* envHandle, Env** env, bool accept1804);
int enter(const void* envHandle, const void* lpHandle, Env** env, model::Problem** lp,
          bool accept1804);
// Working environment of a handle, or null (no checks beyond the magic word).
Env* workingEnv(const void* envHandle);
// Validity as the reporter sees it (non-null, parameters present, self pointer).
bool envValid(const Env* env);

// Common status reporter: a negative status was reported already and is made
// positive; a positive one is printed on the error channel.
void report(Env* env, int* status);

// Width conversion for the 32-bit flavours.
inline constexpr long long kUnwritten = LLONG_MIN;

// Store a 64-bit result into a 32-bit out-parameter; values beyond the int
// range are clamped and give 1810.
inline void narrowOut(Env*, long long v, int* out, int* status) {
  if (v > INT_MAX) {
    *out = INT_MAX;
    if (*status == 0) *status = 1810;
  } else if (v < INT_MIN) {
    *out = INT_MIN;
    if (*status == 0) *status = 1810;
  } else {
    *out = static_cast<int>(v);
  }
}
inline int narrowValue(long long v, int* status) {
  int r = 0;
  narrowOut(nullptr, v, &r, status);
  return r;
}

// A 64-bit copy of a 32-bit caller array.
class WideArray {
 public:
  // Output arrays are left uninitialized: a caller's range that the checked
  // entry then rejects never has its claimed length touched.
  WideArray(const int* src, long long len, bool copyIn) : src_(src) {
    if (!src) return;
    if (len <= 0) {
      empty_ = true;
      return;
    }
    buf_.reset(new (std::nothrow) long long[static_cast<size_t>(len)]);
    if (!buf_) {
      failed_ = true;
      return;
    }
    len_ = len;
    if (copyIn)
      for (long long i = 0; i < len; ++i) buf_[i] = src[i];
  }
  bool ok() const { return !failed_; }
  long long* data() {
    if (!src_) return nullptr;
    if (empty_) return &dummy_;
    return buf_.get();
  }
  // Copies the values back, clamped to the int range; true when a value
  // had to be clamped (the operation then answers 1810).
  bool copyBack(int* dst) {
    if (!dst || empty_ || failed_) return false;
    bool clamped = false;
    for (long long i = 0; i < len_; ++i) {
      long long v = buf_[i];
      if (v > INT_MAX || v < INT_MIN) clamped = true;
      dst[i] = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    }
    return clamped;
  }

 private:
  const int* src_;
  std::unique_ptr<long long[]> buf_;
  long long len_ = 0;
  long long dummy_ = 0;
  bool empty_ = false;
  bool failed_ = false;
};

}  // namespace vnt::api

namespace vnt::api {
template <class F>
inline bool present(F* f) {
  return f != nullptr;
}
}  // namespace vnt::api
