// The static parameter table: one read-only descriptor per parameter, sorted
// by id, with per-type operation tables and the two name indexes.
#pragma once

#include <cstdint>

namespace vnt::params {

enum Type : int { kTypeInt = 1, kTypeDbl = 2, kTypeStr = 3, kTypeLong = 4 };

// Bits of the type word above the 4-bit type.
inline constexpr int kFlagHidden = 0x10;
inline constexpr int kFlagSymMin = 0x20;
inline constexpr int kFlagSymMax = 0x40;
inline constexpr int kFlagSymDef = 0x80;

inline constexpr int kNumParams = 426;
inline constexpr int kNumNamed = 191;
inline constexpr int kNumStrParams = 10;
inline constexpr int kStrField = 512;  // a string value holds at most 511 bytes
inline constexpr int kFirstId = 1001;
inline constexpr int kLastId = 5999;

inline constexpr int kBigInt = 2100000000;
inline constexpr long long kBigLong = 9223372036800000000LL;
inline constexpr double kBigReal = 1e75;

// The six symbolic int markers; each reads as kBigInt.
inline constexpr long long kSymbolicFirst = 2147483547LL;
inline constexpr long long kSymbolicLast = 2147483552LL;

// Which parameter block of the environment a parameter belongs to.
enum class Block : uint8_t { General, Benders, Mip, Barrier, Qp, Network };

struct Store;
struct Descriptor;

// A value of any parameter type (strings: UTF-8, NUL-terminated).
union Value {
  int i;
  long long l;
  double d;
  const char* s;
};

// The eight operations of one parameter type.  `set` range-checks (and for
// strings checks control characters and length) and returns 0, 1014, 1015,
// 1026 or 1236; the others cannot fail.
struct TypeOps {
  void (*info)(const Descriptor& d, Value* def, Value* min, Value* max);
  Value (*get)(const Store& s, const Descriptor& d);
  int (*set)(Store& s, const Descriptor& d, Value v);
  void (*setDefault)(Store& s, const Descriptor& d);
  void (*setMin)(Store& s, const Descriptor& d);
  void (*setMax)(Store& s, const Descriptor& d);
  bool (*isDefault)(const Descriptor& d, Value v);
  // Sets v only when the current value is the default; *wasSet tells.
  int (*setIfDefault)(Store& s, const Descriptor& d, Value v, bool* wasSet);
};

struct Descriptor {
  int id;
  int typeWord;
  Block block;
  const char* oldName;   // null for hidden parameters
  const char* hierName;  // null for hidden parameters
  const TypeOps* ops;
  long long minI, maxI, defI;  // int and long parameters (markers unresolved)
  double minD, maxD, defD;     // double parameters
  const char* defS;            // string parameters

  constexpr int type() const { return typeWord & 0xF; }
  constexpr bool hidden() const { return (typeWord & kFlagHidden) != 0; }
};

// The whole table (kNumParams descriptors in ascending id order).
const Descriptor* table();
// Position of a descriptor in the table (its storage slot).
int indexOf(const Descriptor& d);
// Storage slot of a string parameter (0 .. kNumStrParams-1), -1 otherwise.
int stringSlot(const Descriptor& d);

// Binary search by id; null when the id is not a parameter.
const Descriptor* lookup(int id);
// Exact (case-sensitive, byte order) lookups of named parameters; null when
// missing.
const Descriptor* byOldName(const char* name);
const Descriptor* byHierName(const char* name);
// Either kind of name: hierarchical when it begins with "VNTPARAM_".
const Descriptor* byName(const char* name);

// Resolved int/long bounds and default (markers read as kBigInt for int
// parameters and as 0 for long parameters).
long long resolvedMin(const Descriptor& d);
long long resolvedMax(const Descriptor& d);
long long resolvedDef(const Descriptor& d);

}  // namespace vnt::params
