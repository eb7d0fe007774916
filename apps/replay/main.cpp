// vanto-replay DATABASE: makes the calls of a recording again, in their
// order, against this library, and reports call by call every return value
// or output that differs (status codes and counts exactly, numbers within a
// relative tolerance); the last line is the verdict.  Exit status 0 when
// nothing differs, 1 when something does, 2 when the database cannot be
// read.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "replay/replay.h"

namespace vnt::replay {

namespace {
const Arg kAbsent{};
}

const Arg& CallRec::input(int k) const {
  auto it = in.find(k);
  return it == in.end() ? kAbsent : it->second;
}

const Arg* CallRec::output(int k) const {
  auto it = out.find(k);
  return it == out.end() ? nullptr : &it->second;
}

void msgfnSink(void*, const char*) {}

long long nrows(Ctx& c, const void* lp) { return VNTgetnumrows(c.env(), static_cast<VNTCLPptr>(lp)); }
long long ncols(Ctx& c, const void* lp) { return VNTgetnumcols(c.env(), static_cast<VNTCLPptr>(lp)); }
long long npwl(Ctx& c, const void* lp) { return VNTgetnumpwl(c.env(), static_cast<VNTCLPptr>(lp)); }
long long nmipstarts(Ctx& c, const void* lp) {
  const int n = VNTgetnummipstarts(c.env(), static_cast<VNTCLPptr>(lp));
  return n > 0 ? n : 0;
}
long long narcs(Ctx& c, const void* net) { return VNTNETgetnumarcs(c.env(), static_cast<VNTCNETptr>(net)); }
long long nnodes(Ctx& c, const void* net) { return VNTNETgetnumnodes(c.env(), static_cast<VNTCNETptr>(net)); }

void* Ctx::envHandle(const Arg& a) {
  if (a.null || a.v.empty()) return nullptr;
  auto it = handles_.find(a.v[0].i);
  if (it != handles_.end()) return it->second;
  // The first environment of the recording is this run's environment.
  handles_[a.v[0].i] = env_;
  return env_;
}

void* Ctx::handle(const Arg& a) {
  if (a.null || a.v.empty()) return nullptr;
  auto it = handles_.find(a.v[0].i);
  return it == handles_.end() ? nullptr : it->second;
}

void Ctx::forget(const Arg& a) {
  if (a.null || a.v.empty()) return;
  auto it = handles_.find(a.v[0].i);
  if (it == handles_.end()) return;
  if (it->second == env_) env_ = nullptr;
  handles_.erase(it);
}

void* Ctx::userPointer(const Arg& a) {
  if (a.null || a.v.empty()) return nullptr;
  auto& slot = user_[a.v[0].i];
  if (!slot) slot = std::make_shared<std::vector<unsigned char>>(64, 0);
  return slot->data();
}

char** Ctx::inTexts(const Arg& a, std::vector<std::string>& s, std::vector<char*>& p, long long n) {
  if (a.null) return nullptr;
  s.clear();
  p.clear();
  if (n > 0) {
    s.reserve(a.v.size());
    for (const Value& x : a.v) s.push_back(x.t);
    for (std::size_t k = 0; k < a.v.size(); ++k) p.push_back(a.v[k].type == 4 ? s[k].data() : nullptr);
  }
  p.reserve(p.size() + 1);
  return p.data();
}

bool Ctx::sameDouble(double a, double b) const {
  if (a == b || (std::isnan(a) && std::isnan(b))) return true;
  return std::fabs(a - b) <= tol_ * std::max({1.0, std::fabs(a), std::fabs(b)});
}

void Ctx::diff(const CallRec&, const std::string& what) { diffs.push_back(what); }

namespace {
std::string show(const Value& v) {
  char buf[64];
  switch (v.type) {
    case 1:
    case 2: snprintf(buf, sizeof buf, "%lld", v.i); return buf;
    case 3: snprintf(buf, sizeof buf, "%.17g", v.d); return buf;
    case 4: return "\"" + v.t + "\"";
    default: return "null";
  }
}
}  // namespace

void Ctx::checkReturn(const CallRec& r, long long v) {
  if (!r.hasReturn) return;
  if (r.ret.type != 2 || r.ret.i != v)
    diff(r, "returned " + std::to_string(v) + ", recorded " + show(r.ret));
}

void Ctx::checkReturn(const CallRec& r, double v) {
  if (!r.hasReturn || !compareOutputs) return;
  if (r.ret.type != 3 || !sameDouble(r.ret.d, v)) {
    char buf[64];
    snprintf(buf, sizeof buf, "%.17g", v);
    diff(r, std::string("returned ") + buf + ", recorded " + show(r.ret));
  }
}

void Ctx::checkReturnText(const CallRec& r, const char* s) {
  if (!r.hasReturn) return;
  const bool recNull = r.ret.type != 4;
  if (recNull != (s == nullptr) || (s && r.ret.t != s))
    diff(r, std::string("returned ") + (s ? "\"" + std::string(s) + "\"" : "null") + ", recorded " + show(r.ret));
}

void Ctx::mapReturn(const CallRec& r, void* h) {
  if (!r.hasReturn) return;
  const bool recNull = r.ret.type != 2;
  if (recNull != (h == nullptr)) {
    diff(r, std::string("returned ") + (h ? "a handle" : "null") + ", recorded " + (recNull ? "null" : "a handle"));
    return;
  }
  if (h) handles_[r.ret.i] = h;
}

void Ctx::mapOutput(const CallRec& r, int k, void* h) {
  const Arg* o = r.output(k);
  if (!o || o->v.empty()) return;
  const bool recNull = o->v[0].type != 2 || o->v[0].i == 0;
  if (recNull != (h == nullptr)) {
    diff(r, "argument " + std::to_string(k) + ": handle " + (h ? "set" : "null") + ", recorded " +
                (recNull ? "null" : "set"));
    return;
  }
  if (h) handles_[o->v[0].i] = h;
}

void Ctx::checkValue(const CallRec& r, int k, long long v) {
  const Arg* o = r.output(k);
  if (!o || o->v.empty() || !compareOutputs) return;
  if (o->v[0].i != v || (o->v[0].type != 1 && o->v[0].type != 2))
    diff(r, "argument " + std::to_string(k) + ": " + std::to_string(v) + ", recorded " + show(o->v[0]));
}

void Ctx::checkValue(const CallRec& r, int k, double v) {
  const Arg* o = r.output(k);
  if (!o || o->v.empty() || !compareOutputs) return;
  if (o->v[0].type != 3 || !sameDouble(o->v[0].d, v)) {
    char buf[64];
    snprintf(buf, sizeof buf, "%.17g", v);
    diff(r, "argument " + std::to_string(k) + ": " + buf + ", recorded " + show(o->v[0]));
  }
}

void Ctx::checkText(const CallRec& r, int k, const char* s, long long n) {
  const Arg* o = r.output(k);
  if (!o || o->v.empty() || !compareOutputs) return;
  const std::string got(s, strnlen(s, static_cast<std::size_t>(n > 0 ? n : 0)));
  if (o->v[0].type != 4 || o->v[0].t != got)
    diff(r, "argument " + std::to_string(k) + ": \"" + got + "\", recorded " + show(o->v[0]));
}

namespace {
// Compares element by element; reports the first few mismatches.
template <class Same, class Show>
void compareElements(const Arg* o, long long n, int k, std::vector<std::string>& diffs, Same same, Show showGot) {
  if (!o) return;
  const long long m = static_cast<long long>(o->v.size());
  const bool emptyRow = m == 1 && o->v[0].type == 2 && n <= 0;
  if (emptyRow) return;
  if (m != n) {
    diffs.push_back("argument " + std::to_string(k) + ": " + std::to_string(n) + " elements, recorded " +
                    std::to_string(m));
    return;
  }
  int shown = 0;
  for (long long q = 0; q < n; ++q)
    if (!same(o->v[static_cast<std::size_t>(q)], q)) {
      if (shown++ < 3)
        diffs.push_back("argument " + std::to_string(k) + "[" + std::to_string(q) + "]: " + showGot(q) +
                        ", recorded " + show(o->v[static_cast<std::size_t>(q)]));
    }
}
}  // namespace

void Ctx::checkArray(const CallRec& r, int k, const int* v, long long n) {
  if (!compareOutputs) return;
  compareElements(r.output(k), n, k, diffs, [&](const Value& x, long long q) { return x.i == v[q]; },
                  [&](long long q) { return std::to_string(v[q]); });
}

void Ctx::checkArray(const CallRec& r, int k, const long long* v, long long n) {
  if (!compareOutputs) return;
  compareElements(r.output(k), n, k, diffs, [&](const Value& x, long long q) { return x.i == v[q]; },
                  [&](long long q) { return std::to_string(v[q]); });
}

void Ctx::checkArray(const CallRec& r, int k, const double* v, long long n) {
  if (!compareOutputs) return;
  compareElements(r.output(k), n, k, diffs,
                  [&](const Value& x, long long q) { return x.type == 3 && sameDouble(x.d, v[q]); },
                  [&](long long q) {
                    char buf[64];
                    snprintf(buf, sizeof buf, "%.17g", v[q]);
                    return std::string(buf);
                  });
}

void Ctx::checkArray(const CallRec& r, int k, const char* v, long long n) {
  if (!compareOutputs) return;
  compareElements(r.output(k), n, k, diffs,
                  [&](const Value& x, long long q) { return x.i == static_cast<unsigned char>(v[q]); },
                  [&](long long q) { return std::to_string(static_cast<unsigned char>(v[q])); });
}

void Ctx::checkArray(const CallRec& r, int k, char* const* v, long long n) {
  if (!compareOutputs) return;
  compareElements(r.output(k), n, k, diffs,
                  [&](const Value& x, long long q) { return v[q] ? x.type == 4 && x.t == v[q] : x.type != 4; },
                  [&](long long q) { return v[q] ? "\"" + std::string(v[q]) + "\"" : std::string("null"); });
}

}  // namespace vnt::replay

namespace {

using vnt::replay::CallRec;
using vnt::replay::Value;

// The value of a row from its value columns (chr < 0: the row has none);
// the first column that is not null tells the type.
Value rowValue(sqlite3_stmt* st, int chr, int dbl, int in, int txt) {
  Value v;
  auto has = [&](int c) { return c >= 0 && sqlite3_column_type(st, c) != SQLITE_NULL; };
  v.type = has(txt) ? 4 : has(dbl) ? 3 : has(in) ? 2 : has(chr) ? 1 : 5;
  v.i = v.type == 1 ? sqlite3_column_int64(st, chr) : sqlite3_column_int64(st, in);
  v.d = sqlite3_column_double(st, dbl);
  if (v.type == 4) v.t = reinterpret_cast<const char*>(sqlite3_column_text(st, txt));
  return v;
}

bool prepare(sqlite3* db, const char* sql, sqlite3_stmt** st, std::string& err) {
  if (sqlite3_prepare_v2(db, sql, -1, st, nullptr) == SQLITE_OK) return true;
  err = sqlite3_errmsg(db);
  return false;
}

bool loadCalls(sqlite3* db, std::vector<CallRec>& calls, std::string& err) {
  sqlite3_stmt* st = nullptr;
  if (!prepare(db, "SELECT c.id, f.name FROM calls c JOIN functions f ON f.id = c.func_id ORDER BY c.id;", &st, err))
    return false;
  std::map<long long, std::size_t> at;
  while (sqlite3_step(st) == SQLITE_ROW) {
    CallRec r;
    r.id = sqlite3_column_int64(st, 0);
    r.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    at[r.id] = calls.size();
    calls.push_back(std::move(r));
  }
  sqlite3_finalize(st);
  if (!prepare(db,
               "SELECT a.call_id, p.number, p.param_type, p.arg_type, a.param_index, a.chr_value, a.dbl_value, "
               "a.int_value, a.txt_value FROM arguments a JOIN parameters p ON p.id = a.param_id ORDER BY "
               "a.call_id, p.id, a.param_index;",
               &st, err))
    return false;
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto it = at.find(sqlite3_column_int64(st, 0));
    if (it == at.end()) continue;
    CallRec& r = calls[it->second];
    const int number = sqlite3_column_int(st, 1);
    const bool output = sqlite3_column_int(st, 2) == 2;
    const int paramArgType = sqlite3_column_int(st, 3);
    vnt::replay::Arg& a = (output ? r.out : r.in)[number];
    if (output) r.succeeded = true;
    a.present = true;
    a.null = paramArgType == 5;
    a.v.push_back(rowValue(st, 5, 6, 7, 8));
  }
  sqlite3_finalize(st);
  if (!prepare(db, "SELECT call_id, dbl_value, int_value, txt_value FROM return_values;", &st, err)) return false;
  while (sqlite3_step(st) == SQLITE_ROW) {
    auto it = at.find(sqlite3_column_int64(st, 0));
    if (it == at.end()) continue;
    CallRec& r = calls[it->second];
    r.hasReturn = true;
    r.ret = rowValue(st, -1, 1, 2, 3);
  }
  sqlite3_finalize(st);
  return true;
}

// Calls whose outputs are readings of the clock.
bool clockReading(const std::string& name) {
  for (const char* n : {"gettime", "getdettime", "getcallbackinfo"}) {
    const std::size_t k = name.size() >= strlen(n) ? name.size() - strlen(n) : 0;
    if (name.compare(k, std::string::npos, n) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  double tol = 1e-9;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "-v")) {
      verbose = true;
    } else if (!strcmp(argv[i], "--tolerance") && i + 1 < argc) {
      tol = strtod(argv[++i], nullptr);
    } else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      printf("Usage: vanto-replay [-v] [--tolerance REL] DATABASE\n"
             "Makes the calls recorded in DATABASE again and reports every return value or\n"
             "output that differs (numbers within the relative tolerance, default 1e-9).\n");
      return 0;
    } else if (!path) {
      path = argv[i];
    } else {
      fprintf(stderr, "vanto-replay: only one database may be given\n");
      return 2;
    }
  }
  if (!path) {
    fprintf(stderr, "Usage: vanto-replay [-v] [--tolerance REL] DATABASE\n");
    return 2;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    fprintf(stderr, "vanto-replay: cannot open '%s': %s\n", path, db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return 2;
  }
  std::vector<CallRec> calls;
  std::string err;
  if (!loadCalls(db, calls, err)) {
    fprintf(stderr, "vanto-replay: '%s' is not a call recording: %s\n", path, err.c_str());
    sqlite3_close(db);
    return 2;
  }
  sqlite3_close(db);

  std::map<std::string, vnt::replay::ReplayFn> table;
  for (std::size_t k = 0; k < vnt::replay::kReplayTableSize; ++k)
    table[vnt::replay::kReplayTable[k].name] = vnt::replay::kReplayTable[k].fn;

  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  if (!env) {
    fprintf(stderr, "vanto-replay: could not open an environment (error %d)\n", st);
    return 2;
  }
  vnt::replay::Ctx ctx(env, tol);
  long long differing = 0;
  for (const CallRec& r : calls) {
    ctx.diffs.clear();
    ctx.compareOutputs = !clockReading(r.name);
    auto it = table.find(r.name);
    if (it == table.end()) {
      ctx.diffs.push_back("not an operation of this library");
    } else {
      it->second(ctx, r);
    }
    if (!ctx.diffs.empty()) {
      ++differing;
      for (const std::string& d : ctx.diffs) printf("call %lld %s: %s\n", r.id, r.name.c_str(), d.c_str());
    } else if (verbose) {
      printf("call %lld %s: same\n", r.id, r.name.c_str());
    }
  }
  VNTENVptr left = ctx.env();
  if (left) VNTcloseVANTO(&left);
  if (differing == 0) {
    printf("Replayed %zu calls: no differences.\n", calls.size());
    return 0;
  }
  printf("Replayed %zu calls: %lld differ.\n", calls.size(), differing);
  return 1;
}
