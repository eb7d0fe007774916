// The parameter descriptors, built at compile time from params/param_table.def,
// the per-type operation tables and the name indexes.
#include "params/table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "params/store.h"

namespace vnt::params {
namespace {

constexpr bool isMarker(long long v) { return v >= kSymbolicFirst && v <= kSymbolicLast; }

constexpr int intTypeWord(long long mn, long long mx, long long df, bool hidden) {
  return kTypeInt | (hidden ? kFlagHidden : 0) | (isMarker(mn) ? kFlagSymMin : 0) |
         (isMarker(mx) ? kFlagSymMax : 0) | (isMarker(df) ? kFlagSymDef : 0);
}

constexpr Block blockOf(int id) {
  if (id >= 1500 && id < 1600) return Block::Benders;
  if (id >= 2000 && id < 3000) return Block::Mip;
  if (id >= 3000 && id < 4000) return Block::Barrier;
  if (id >= 4000 && id < 5000) return Block::Qp;
  if (id >= 5000) return Block::Network;
  return Block::General;
}

// ---------------------------------------------------------------------------
// Per-type operations.

Values::Slot& slot(Store& s, const Descriptor& d) { return s.cur.v[indexOf(d)]; }
const Values::Slot& slot(const Store& s, const Descriptor& d) { return s.cur.v[indexOf(d)]; }

// int
void intInfo(const Descriptor& d, Value* def, Value* mn, Value* mx) {
  if (def) def->i = static_cast<int>(resolvedDef(d));
  if (mn) mn->i = static_cast<int>(resolvedMin(d));
  if (mx) mx->i = static_cast<int>(resolvedMax(d));
}
Value intGet(const Store& s, const Descriptor& d) {
  Value v;
  v.i = slot(s, d).i;
  return v;
}
int intSet(Store& s, const Descriptor& d, Value v) {
  if (v.i < resolvedMin(d)) return 1014;
  if (v.i > resolvedMax(d)) return 1015;
  slot(s, d).i = v.i;
  return 0;
}
void intSetDefault(Store& s, const Descriptor& d) { slot(s, d).i = static_cast<int>(resolvedDef(d)); }
void intSetMin(Store& s, const Descriptor& d) { slot(s, d).i = static_cast<int>(resolvedMin(d)); }
void intSetMax(Store& s, const Descriptor& d) { slot(s, d).i = static_cast<int>(resolvedMax(d)); }
bool intIsDefault(const Descriptor& d, Value v) { return v.i == resolvedDef(d); }
int intSetIfDefault(Store& s, const Descriptor& d, Value v, bool* wasSet) {
  *wasSet = false;
  if (!intIsDefault(d, intGet(s, d))) return 0;
  int st = intSet(s, d, v);
  *wasSet = st == 0;
  return st;
}

// long
void longInfo(const Descriptor& d, Value* def, Value* mn, Value* mx) {
  if (def) def->l = resolvedDef(d);
  if (mn) mn->l = resolvedMin(d);
  if (mx) mx->l = resolvedMax(d);
}
Value longGet(const Store& s, const Descriptor& d) {
  Value v;
  v.l = slot(s, d).l;
  return v;
}
int longSet(Store& s, const Descriptor& d, Value v) {
  if (v.l < resolvedMin(d)) return 1014;
  if (v.l > resolvedMax(d)) return 1015;
  slot(s, d).l = v.l;
  return 0;
}
void longSetDefault(Store& s, const Descriptor& d) { slot(s, d).l = resolvedDef(d); }
void longSetMin(Store& s, const Descriptor& d) { slot(s, d).l = resolvedMin(d); }
void longSetMax(Store& s, const Descriptor& d) { slot(s, d).l = resolvedMax(d); }
bool longIsDefault(const Descriptor& d, Value v) { return v.l == resolvedDef(d); }
int longSetIfDefault(Store& s, const Descriptor& d, Value v, bool* wasSet) {
  *wasSet = false;
  if (!longIsDefault(d, longGet(s, d))) return 0;
  int st = longSet(s, d, v);
  *wasSet = st == 0;
  return st;
}

// double: a minimum equal to the maximum means "no range check".
void dblInfo(const Descriptor& d, Value* def, Value* mn, Value* mx) {
  if (def) def->d = d.defD;
  if (mn) mn->d = d.minD;
  if (mx) mx->d = d.maxD;
}
Value dblGet(const Store& s, const Descriptor& d) {
  Value v;
  v.d = slot(s, d).d;
  return v;
}
int dblSet(Store& s, const Descriptor& d, Value v) {
  if (d.minD != d.maxD) {
    if (!(v.d >= d.minD)) return 1014;  // also rejects NaN
    if (v.d > d.maxD) return 1015;
  }
  slot(s, d).d = v.d;
  return 0;
}
void dblSetDefault(Store& s, const Descriptor& d) { slot(s, d).d = d.defD; }
void dblSetMin(Store& s, const Descriptor& d) { slot(s, d).d = d.minD; }
void dblSetMax(Store& s, const Descriptor& d) { slot(s, d).d = d.maxD; }
bool dblIsDefault(const Descriptor& d, Value v) { return v.d == d.defD; }
int dblSetIfDefault(Store& s, const Descriptor& d, Value v, bool* wasSet) {
  *wasSet = false;
  if (!dblIsDefault(d, dblGet(s, d))) return 0;
  int st = dblSet(s, d, v);
  *wasSet = st == 0;
  return st;
}

// string: no range; the value must be free of control characters and fit
// the 512-byte field.
char* text(Store& s, const Descriptor& d) { return s.cur.s[stringSlot(d)]; }
void strInfo(const Descriptor& d, Value* def, Value*, Value*) {
  if (def) def->s = d.defS;
}
Value strGet(const Store& s, const Descriptor& d) {
  Value v;
  v.s = s.cur.s[stringSlot(d)];
  return v;
}
int strSet(Store& s, const Descriptor& d, Value v) {
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(v.s); *p; ++p, ++n)
    if (*p < 32 || *p == 127) return 1236;
  if (n >= static_cast<size_t>(kStrField)) return 1026;
  memmove(text(s, d), v.s, n + 1);
  return 0;
}
void strSetDefault(Store& s, const Descriptor& d) { strcpy(text(s, d), d.defS); }
void strSetNothing(Store&, const Descriptor&) {}
bool strIsDefault(const Descriptor& d, Value v) { return strcmp(v.s, d.defS) == 0; }
int strSetIfDefault(Store& s, const Descriptor& d, Value v, bool* wasSet) {
  *wasSet = false;
  if (!strIsDefault(d, strGet(s, d))) return 0;
  int st = strSet(s, d, v);
  *wasSet = st == 0;
  return st;
}

constexpr TypeOps kIntOps = {intInfo,       intGet,    intSet,       intSetDefault,
                             intSetMin,     intSetMax, intIsDefault, intSetIfDefault};
constexpr TypeOps kLongOps = {longInfo,      longGet,    longSet,       longSetDefault,
                              longSetMin,    longSetMax, longIsDefault, longSetIfDefault};
constexpr TypeOps kDblOps = {dblInfo,       dblGet,    dblSet,       dblSetDefault,
                             dblSetMin,     dblSetMax, dblIsDefault, dblSetIfDefault};
// Strings have no range: set-to-minimum and set-to-maximum do nothing.
constexpr TypeOps kStrOps = {strInfo,       strGet,        strSet,       strSetDefault,
                             strSetNothing, strSetNothing, strIsDefault, strSetIfDefault};

// ---------------------------------------------------------------------------
// The table.

#define PT_SYMBOLIC(k) (kSymbolicFirst + (k))
#define PT_INT(id, o, h, mn, mx, df, hid)                                                  \
  Descriptor{id, intTypeWord(mn, mx, df, hid), blockOf(id), o, h, &kIntOps, mn, mx, df, \
             0.0, 0.0, 0.0, nullptr},
#define PT_LONG(id, o, h, mn, mx, df, hid)                                                   \
  Descriptor{id, kTypeLong | ((hid) ? kFlagHidden : 0), blockOf(id), o, h, &kLongOps, mn, mx, \
             df, 0.0, 0.0, 0.0, nullptr},
#define PT_DBL(id, o, h, mn, mx, df, hid)                                                  \
  Descriptor{id, kTypeDbl | ((hid) ? kFlagHidden : 0), blockOf(id), o, h, &kDblOps, 0, 0, 0, \
             mn, mx, df, nullptr},
#define PT_STR(id, o, h, df, hid)                                                           \
  Descriptor{id, kTypeStr | ((hid) ? kFlagHidden : 0), blockOf(id), o, h, &kStrOps, 0, 0, 0, \
             0.0, 0.0, 0.0, df},
#define PINT(id, o, h, mn, mx, df) PT_INT(id, #o, #h, mn, mx, df, false)
#define PLONG(id, o, h, mn, mx, df) PT_LONG(id, #o, #h, mn, mx, df, false)
#define PDBL(id, o, h, mn, mx, df) PT_DBL(id, #o, #h, mn, mx, df, false)
#define PSTR(id, o, h, df) PT_STR(id, #o, #h, df, false)
#define HINT(id, mn, mx, df) PT_INT(id, nullptr, nullptr, mn, mx, df, true)
#define HLONG(id, mn, mx, df) PT_LONG(id, nullptr, nullptr, mn, mx, df, true)
#define HDBL(id, mn, mx, df) PT_DBL(id, nullptr, nullptr, mn, mx, df, true)
#define HSTR(id, df) PT_STR(id, nullptr, nullptr, df, true)

constexpr Descriptor kTable[] = {
#include "params/param_table.def"
};

#undef PINT
#undef PLONG
#undef PDBL
#undef PSTR
#undef HINT
#undef HLONG
#undef HDBL
#undef HSTR

static_assert(std::size(kTable) == kNumParams);

constexpr bool sortedById() {
  for (size_t i = 1; i < std::size(kTable); ++i)
    if (kTable[i - 1].id >= kTable[i].id) return false;
  return kTable[0].id >= kFirstId && kTable[std::size(kTable) - 1].id <= kLastId;
}
static_assert(sortedById(), "the parameter table must be sorted by id");

constexpr int countNamed() {
  int n = 0;
  for (const Descriptor& d : kTable) n += d.hidden() ? 0 : 1;
  return n;
}
static_assert(countNamed() == kNumNamed);

constexpr auto kStringSlots = [] {
  std::array<int16_t, kNumParams> a{};
  int k = 0;
  for (size_t i = 0; i < std::size(kTable); ++i) a[i] = kTable[i].type() == kTypeStr ? k++ : -1;
  return a;
}();
static_assert([] {
  int k = 0;
  for (const Descriptor& d : kTable) k += d.type() == kTypeStr;
  return k;
}() == kNumStrParams);

// Name indexes: positions of the named parameters sorted by name (byte order:
// char_traits<char> compares as unsigned char).
template <class Key>
constexpr std::array<int16_t, kNumNamed> nameIndex(Key key) {
  std::array<int16_t, kNumNamed> a{};
  int k = 0;
  for (size_t i = 0; i < std::size(kTable); ++i)
    if (!kTable[i].hidden()) a[k++] = static_cast<int16_t>(i);
  std::sort(a.begin(), a.end(), [&](int16_t x, int16_t y) {
    return std::string_view(key(kTable[x])) < std::string_view(key(kTable[y]));
  });
  return a;
}
constexpr auto kByOld = nameIndex([](const Descriptor& d) { return d.oldName; });
constexpr auto kByHier = nameIndex([](const Descriptor& d) { return d.hierName; });

const Descriptor* searchNames(const std::array<int16_t, kNumNamed>& index, bool hier,
                              const char* name) {
  std::string_view key(name);
  size_t lo = 0, hi = index.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    const Descriptor& d = kTable[index[mid]];
    std::string_view n(hier ? d.hierName : d.oldName);
    if (n < key) lo = mid + 1;
    else hi = mid;
  }
  if (lo == index.size()) return nullptr;
  const Descriptor& d = kTable[index[lo]];
  return std::string_view(hier ? d.hierName : d.oldName) == key ? &d : nullptr;
}

}  // namespace

const Descriptor* table() { return kTable; }
int indexOf(const Descriptor& d) { return static_cast<int>(&d - kTable); }
int stringSlot(const Descriptor& d) { return kStringSlots[indexOf(d)]; }

const Descriptor* lookup(int id) {
  size_t lo = 0, hi = std::size(kTable);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kTable[mid].id < id) lo = mid + 1;
    else hi = mid;
  }
  return lo < std::size(kTable) && kTable[lo].id == id ? &kTable[lo] : nullptr;
}

const Descriptor* byOldName(const char* name) { return name ? searchNames(kByOld, false, name) : nullptr; }
const Descriptor* byHierName(const char* name) { return name ? searchNames(kByHier, true, name) : nullptr; }
const Descriptor* byName(const char* name) {
  if (!name) return nullptr;
  return strncmp(name, "VNTPARAM_", 9) == 0 ? byHierName(name) : byOldName(name);
}

static long long resolveBound(const Descriptor& d, long long v, int flag) {
  if (!(d.typeWord & flag)) return v;
  return d.type() == kTypeInt ? kBigInt : 0;
}
long long resolvedMin(const Descriptor& d) { return resolveBound(d, d.minI, kFlagSymMin); }
long long resolvedMax(const Descriptor& d) { return resolveBound(d, d.maxI, kFlagSymMax); }
long long resolvedDef(const Descriptor& d) { return resolveBound(d, d.defI, kFlagSymDef); }

}  // namespace vnt::params
