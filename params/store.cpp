// Parameter storage of an environment and the operations with the semantics
// of the public interface: cross-type rules, the fixed list, side effects,
// resets and the list of changed parameters.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "env/channel.h"
#include "env/env.h"
#include "params/params.h"
#include "params/store.h"
#include "params/table.h"
#include "params/internal.h"

namespace vnt::params {

namespace {

RecordSwitch gRecordSwitch = nullptr;

Store& store(Env& env) { return *env.params; }
const Store& store(const Env& env) { return *env.params; }

bool isHexMask(const char* s) {
  for (; *s; ++s) {
    char c = *s;
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

// Can a converter be opened for this encoding name?  "no_encoding" passes
// bytes through unconverted and is always accepted.
bool encodingUsable(const char* name) {
  if (strcmp(name, "no_encoding") == 0) return true;
  UConverter* c = nullptr;
  if (openConverter(name, &c) != 0) return false;
  closeConverter(c);
  return true;
}

// Install the API-encoding converter for a name (the environment keeps one).
int installApiEncoding(Env& env, const char* name) {
  if (strcmp(name, "no_encoding") == 0) {
    closeConverter(env.apiConv);
    env.apiConv = nullptr;
    env.apiAscii = true;
    return 0;
  }
  return setApiEncoding(env, name);
}

// The saved value of one parameter (for undoing a set).
struct Saved {
  Values::Slot slot;
  char text[kStrField];
};

void save(const Store& s, const Descriptor& d, Saved* out) {
  out->slot = s.cur.v[indexOf(d)];
  if (d.type() == kTypeStr) memcpy(out->text, s.cur.s[stringSlot(d)], kStrField);
}
void restore(Store& s, const Descriptor& d, const Saved& in) {
  s.cur.v[indexOf(d)] = in.slot;
  if (d.type() == kTypeStr) memcpy(s.cur.s[stringSlot(d)], in.text, kStrField);
}

// Checks that depend on other parameters or on the outside world; run after
// the value has been stored (old holds the previous value).  With apply,
// the API-encoding converter is replaced and the recording switch is called.
int specialChecks(Env& env, const Descriptor& d, const Saved& old, bool apply) {
  Store& s = store(env);
  switch (d.id) {
    case 1112:
    case 1139: {
      const Descriptor* other = lookup(d.id == 1112 ? 1139 : 1112);
      if (s.cur.v[indexOf(d)].d < kBigReal && s.cur.v[indexOf(*other)].d < kBigReal) return 1807;
      return 0;
    }
    case 1129:
    case 1130: {
      const char* now = s.cur.s[stringSlot(d)];
      if (strcmp(now, old.text) == 0) return 0;
      if (d.id == 1130 && apply) return installApiEncoding(env, now) == 0 ? 0 : 1003;
      return encodingUsable(now) ? 0 : 1003;
    }
    case 1144: {
      const char* m = s.cur.s[stringSlot(d)];
      if (strcmp(m, "off") == 0 || strcmp(m, "auto") == 0 || isHexMask(m)) return 0;
      return 1003;
    }
    case 1162:
      if (apply && s.cur.v[indexOf(d)].i != 0 && !env.recording && gRecordSwitch)
        return gRecordSwitch(env);
      return 0;
    default:
      return 0;
  }
}

// Side effects after a successful set.
void sideEffects(Env& env, const Descriptor& d) {
  const Store& s = store(env);
  if (d.id == 1035) setScreenOutput(env, s.cur.v[indexOf(d)].i != 0);
  if (d.id == 1124) {
    uint64_t seed = static_cast<uint64_t>(s.cur.v[indexOf(d)].i);
    env.randomSeed[0] = env.randomSeed[1] = seed;
  }
}

// Effects of a bulk change of values (reset, snapshot restore, copy): screen
// output, random seed, and the API converter when its name changed.
void bulkEffects(Env& env, const char* oldApiEncoding) {
  const Descriptor* scr = lookup(1035);
  sideEffects(env, *scr);
  sideEffects(env, *lookup(1124));
  const char* api = getStr(env, 1130);
  if (oldApiEncoding && strcmp(api, oldApiEncoding) != 0 && installApiEncoding(env, api) != 0) {
    // The previous converter stays; the parameter follows it.
    strcpy(store(env).cur.s[stringSlot(*lookup(1130))], oldApiEncoding);
  }
}

// Resolve an id for an operation: 0 and the descriptor, or 1013.
int resolve(const Env& env, int id, const Descriptor** out) {
  *out = nullptr;
  if (id < kFirstId || id > kLastId) return 1013;
  const Descriptor* d = lookup(id);
  if (!d || isFixed(env, id)) return 1013;
  *out = d;
  return 0;
}

void resetWith(Env& env, bool partial) {
  static constexpr int kKeep[] = {1035, 1039, 1110, 1111, 1112, 1113, 1119, 1124, 1127, 1139};
  Store& s = store(env);
  std::string oldApi = s.cur.s[stringSlot(*lookup(1130))];
  const Descriptor* t = table();
  for (int i = 0; i < kNumParams; ++i) {
    const Descriptor& d = t[i];
    if (isFixed(env, d.id)) continue;
    if (partial && std::find(std::begin(kKeep), std::end(kKeep), d.id) != std::end(kKeep)) continue;
    d.ops->setDefault(s, d);
  }
  bulkEffects(env, oldApi.c_str());
}

}  // namespace

// ---------------------------------------------------------------------------
// Internal interface shared by the parameter subsystem.

int storeValue(Env& env, const Descriptor& d, Value v, bool checkOnly) {
  Store& s = store(env);
  Saved old;
  save(s, d, &old);
  int st = d.ops->set(s, d, v);
  if (st != 0) return st;
  st = specialChecks(env, d, old, !checkOnly);
  if (st != 0 || checkOnly) {
    restore(s, d, old);
    return st;
  }
  sideEffects(env, d);
  return 0;
}

int takeSnapshot(const Env& env, Values** out) {
  *out = static_cast<Values*>(malloc(sizeof(Values)));
  if (!*out) return 1001;
  memcpy(*out, &store(env).cur, sizeof(Values));
  return 0;
}

void restoreSnapshot(Env& env, const Values& snap) {
  std::string oldApi = getStr(env, 1130);
  memcpy(&store(env).cur, &snap, sizeof(Values));
  bulkEffects(env, oldApi.c_str());
}

void freeSnapshot(Values* snap) { free(snap); }

// ---------------------------------------------------------------------------
// Life cycle.

int createStore(Env& env) {
  void* mem = env.alloc->allocatezeroed(env.alloc, 1, sizeof(Store));
  if (!mem) return 1001;
  env.params = new (mem) Store;
  // The environment opened its API converter for the default encoding.
  strcpy(env.params->cur.s[stringSlot(*lookup(1130))], lookup(1130)->defS);
  resetAll(env);
  return 0;
}

void destroyStore(Env& env) {
  Store* s = env.params;
  if (!s) return;
  if (s->fixed) env.alloc->release(env.alloc, s->fixed);
  s->~Store();
  env.alloc->release(env.alloc, s);
  env.params = nullptr;
}

int copyStore(Env& dst, const Env& src) {
  if (!dst.params || !src.params) return 1002;
  restoreSnapshot(dst, src.params->cur);
  return 0;
}

// ---------------------------------------------------------------------------
// Fast reads.

int getInt(const Env& env, int id) {
  const Descriptor* d = lookup(id);
  if (!d || !env.params) return 0;
  const Values::Slot& v = store(env).cur.v[indexOf(*d)];
  if (d->type() == kTypeInt) return v.i;
  if (d->type() == kTypeLong) return v.l > INT_MAX ? INT_MAX : v.l < INT_MIN ? INT_MIN : static_cast<int>(v.l);
  return 0;
}

long long getLong(const Env& env, int id) {
  const Descriptor* d = lookup(id);
  if (!d || !env.params) return 0;
  const Values::Slot& v = store(env).cur.v[indexOf(*d)];
  if (d->type() == kTypeLong) return v.l;
  if (d->type() == kTypeInt) return v.i;
  return 0;
}

double getDbl(const Env& env, int id) {
  const Descriptor* d = lookup(id);
  if (!d || !env.params || d->type() != kTypeDbl) return 0.0;
  return store(env).cur.v[indexOf(*d)].d;
}

const char* getStr(const Env& env, int id) {
  const Descriptor* d = lookup(id);
  if (!d || !env.params || d->type() != kTypeStr) return "";
  return store(env).cur.s[stringSlot(*d)];
}

long long* warningCounts(Env& env) { return env.params ? env.params->warnCounts : nullptr; }

// ---------------------------------------------------------------------------
// Set and get with the rules of the public interface.

int setIntParam(Env& env, int id, int value) {
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  Value v;
  if (d->type() == kTypeLong) {
    v.l = value >= kBigInt ? kBigLong : value < -2099999999 ? -kBigLong : value;
    return storeValue(env, *d, v, false);
  }
  if (d->type() != kTypeInt) return 1013;
  v.i = value;
  return storeValue(env, *d, v, false);
}

int setLongParam(Env& env, int id, long long value) {
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  Value v;
  if (d->type() == kTypeInt) {
    if (value < INT_MIN) return 1014;
    if (value > INT_MAX) return 1015;
    v.i = static_cast<int>(value);
    return storeValue(env, *d, v, false);
  }
  if (d->type() != kTypeLong) return 1013;
  v.l = value;
  return storeValue(env, *d, v, false);
}

int setDblParam(Env& env, int id, double value) {
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeDbl) return 1013;
  Value v;
  v.d = value;
  return storeValue(env, *d, v, false);
}

int setStrParam(Env& env, int id, const char* utf8) {
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeStr) return 1013;
  if (!utf8) return 1004;
  Value v;
  v.s = utf8;
  return storeValue(env, *d, v, false);
}

int getIntParam(const Env& env, int id, int* value) {
  if (!value) return 1004;
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeInt && d->type() != kTypeLong) return 1013;
  *value = getInt(env, id);
  return 0;
}

int getLongParam(const Env& env, int id, long long* value) {
  if (!value) return 1004;
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeInt && d->type() != kTypeLong) return 1013;
  *value = getLong(env, id);
  return 0;
}

int getDblParam(const Env& env, int id, double* value) {
  if (!value) return 1004;
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeDbl) return 1013;
  *value = getDbl(env, id);
  return 0;
}

int getStrParam(const Env& env, int id, std::string* utf8) {
  if (!utf8) return 1004;
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  if (d->type() != kTypeStr) return 1013;
  *utf8 = getStr(env, id);
  return 0;
}

int getParamType(const Env& env, int id, int* type) {
  if (!type) return 1004;
  const Descriptor* d;
  if (int st = resolve(env, id, &d)) return st;
  *type = d->type();
  return 0;
}

int paramNumber(const Env& env, const char* name, int* id) {
  if (!name || !id) return 1004;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
    if (*p < 32 || *p == 127) return 1236;
  const Descriptor* d = byName(name);
  if (!d) return 1028;
  if (isFixed(env, d->id)) return 1013;
  *id = d->id;
  return 0;
}

// ---------------------------------------------------------------------------
// Resets, fixed list, changed list.

void resetAll(Env& env) { resetWith(env, false); }
void resetPartial(Env& env) { resetWith(env, true); }

int fixParam(Env& env, int id) {
  Store& s = store(env);
  if (s.fixedCount == s.fixedCap) {
    int cap = s.fixedCap == 0 ? 8 : s.fixedCap * 2;
    void* p = env.alloc->reallocate(env.alloc, s.fixed, sizeof(int) * static_cast<size_t>(cap));
    if (!p) return 1001;
    s.fixed = static_cast<int*>(p);
    s.fixedCap = cap;
  }
  s.fixed[s.fixedCount++] = id;
  return 0;
}

bool isFixed(const Env& env, int id) {
  const Store& s = store(env);
  for (int i = 0; i < s.fixedCount; ++i)
    if (s.fixed[i] == id) return true;
  return false;
}

bool atDefault(const Env& env, const Descriptor& d) {
  return d.ops->isDefault(d, d.ops->get(store(env), d));
}

int changedParams(const Env& env, int* ids, int space) {
  int n = 0;
  const Descriptor* t = table();
  for (int i = 0; i < kNumParams; ++i) {
    const Descriptor& d = t[i];
    if (d.hidden() || d.id == 1053 || isFixed(env, d.id) || atDefault(env, d)) continue;
    if (ids && n < space) ids[n] = d.id;
    ++n;
  }
  return n;
}

void setRecordSwitch(RecordSwitch fn) { gRecordSwitch = fn; }

char* recordPath(Env& env) {
  static_assert(sizeof(Store::recordPath) == kRecordPathSize);
  return store(env).recordPath;
}

}  // namespace vnt::params
