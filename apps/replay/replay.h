// vanto-replay: the recorded calls of a database, their arguments rebuilt
// and made again through the public interface; every return value and
// output that differs from the recording is reported.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vanto/vanto.h"

namespace vnt::replay {

// One stored value (arg_types: 1 character, 2 integer, 3 double, 4 text,
// 5 null).
struct Value {
  int type = 5;
  long long i = 0;
  double d = 0.0;
  std::string t;
};

// One argument of a call: its rows in index order (a scalar has one).
struct Arg {
  bool present = false;
  bool null = true;  // recorded as a null pointer (or not recorded)
  std::vector<Value> v;
  long long i() const { return v.empty() ? 0 : v[0].type == 3 ? static_cast<long long>(v[0].d) : v[0].i; }
  double d() const { return v.empty() ? 0.0 : v[0].type == 3 ? v[0].d : static_cast<double>(v[0].i); }
  const char* text() const { return null || v.empty() || v[0].type != 4 ? nullptr : v[0].t.c_str(); }
};

struct CallRec {
  long long id = 0;
  std::string name;
  std::map<int, Arg> in, out;
  bool hasReturn = false;
  Value ret;
  bool succeeded = false;  // outputs were recorded (the call succeeded)
  const Arg& input(int k) const;
  const Arg* output(int k) const;
};

// Replay state: handle maps and the differences found.
class Ctx {
 public:
  Ctx(VNTENVptr env, double tolerance) : env_(env), tol_(tolerance) {}

  // Handles: recorded addresses map to the handles this run created.
  void* envHandle(const Arg& a);
  void* handle(const Arg& a);
  void forget(const Arg& a);
  void* userPointer(const Arg& a);
  template <class T>
  T* persistent(const Arg& a) {
    if (a.null) return nullptr;
    auto& slot = persistent_[a.v.empty() ? 0 : a.v[0].i];
    if (!slot) slot = std::make_shared<std::vector<unsigned char>>(64, 0);
    return reinterpret_cast<T*>(slot->data());
  }

  // An input array; n is its length by the call's own arguments (a zero
  // length gives an empty, non-null array).
  template <class T>
  T* inArray(const Arg& a, std::vector<T>& buf, long long n) {
    if (a.null) return nullptr;
    buf.clear();
    if (n > 0)
      for (const Value& x : a.v) buf.push_back(x.type == 3 ? static_cast<T>(x.d) : static_cast<T>(x.i));
    buf.reserve(buf.size() + 1);
    return buf.data();
  }
  char** inTexts(const Arg& a, std::vector<std::string>& s, std::vector<char*>& p, long long n);
  template <class T>
  T* outArray(const Arg& a, std::vector<T>& buf, long long n) {
    if (a.null) return nullptr;
    buf.assign(static_cast<std::size_t>(n > 0 ? n : 0) + 1, T{});
    return buf.data();
  }

  // Comparisons with the recording.
  void checkReturn(const CallRec& r, long long v);
  void checkReturn(const CallRec& r, double v);
  void checkReturnText(const CallRec& r, const char* s);
  void mapReturn(const CallRec& r, void* h);
  void mapOutput(const CallRec& r, int k, void* h);
  void checkValue(const CallRec& r, int k, long long v);
  void checkValue(const CallRec& r, int k, int v) { checkValue(r, k, static_cast<long long>(v)); }
  void checkValue(const CallRec& r, int k, double v);
  void checkValue(const CallRec& r, int k, char v) { checkValue(r, k, static_cast<long long>(static_cast<unsigned char>(v))); }
  void checkText(const CallRec& r, int k, const char* s, long long n);
  void checkArray(const CallRec& r, int k, const int* v, long long n);
  void checkArray(const CallRec& r, int k, const long long* v, long long n);
  void checkArray(const CallRec& r, int k, const double* v, long long n);
  void checkArray(const CallRec& r, int k, const char* v, long long n);
  void checkArray(const CallRec& r, int k, char* const* v, long long n);

  VNTENVptr env() const { return env_; }
  void setEnv(VNTENVptr e) { env_ = e; }
  // Differences of the current call.
  std::vector<std::string> diffs;
  bool compareOutputs = true;  // false for calls whose outputs are clock readings

 private:
  bool sameDouble(double a, double b) const;
  void diff(const CallRec& r, const std::string& what);

  VNTENVptr env_;
  double tol_;
  std::map<long long, void*> handles_;
  std::map<long long, std::shared_ptr<std::vector<unsigned char>>> user_, persistent_;
};

long long nrows(Ctx& c, const void* lp);
long long ncols(Ctx& c, const void* lp);
long long npwl(Ctx& c, const void* lp);
long long nmipstarts(Ctx& c, const void* lp);
long long narcs(Ctx& c, const void* net);
long long nnodes(Ctx& c, const void* net);

void msgfnSink(void* handle, const char* message);

using ReplayFn = void (*)(Ctx& c, const CallRec& r);
struct ReplayEntry {
  const char* name;
  ReplayFn fn;
};
extern const ReplayEntry kReplayTable[];
extern const std::size_t kReplayTableSize;

}  // namespace vnt::replay
