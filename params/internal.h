// Internals shared by the files of the parameter subsystem.
#pragma once

#include <cstdint>
#include <string>

#include "env/env.h"
#include "params/store.h"
#include "params/table.h"

namespace vnt::params {

// Store a value with the range checks, the checks that depend on other
// parameters (tuning limits, encodings, CPU mask, recording) and the side
// effects.  With checkOnly the value is validated and the previous value
// kept (no side effects).  0 or a status code; a failure leaves the value.
int storeValue(Env& env, const Descriptor& d, Value v, bool checkOnly);
bool atDefault(const Env& env, const Descriptor& d);

// Snapshot of all values (allocated; 1001 on failure).
int takeSnapshot(const Env& env, Values** out);
// Restore a snapshot and re-apply screen output, random seed and the API
// converter.
void restoreSnapshot(Env& env, const Values& snap);
void freeSnapshot(Values* snap);

// ---------------------------------------------------------------------------
// Parameter sets: four lists (int, long, double, string entries), each a
// pair of growable arrays with count and capacity; when full the capacity
// becomes (capacity + 5) * 2.

inline constexpr uint32_t kSetMagic = 0x50536574;  // "PSet"

template <class T>
struct SetList {
  int* ids = nullptr;
  T* vals = nullptr;
  int count = 0;
  int cap = 0;
};

struct ParamSet {
  uint32_t magic = kSetMagic;
  Env* owner = nullptr;
  SetList<int> ints;
  SetList<long long> longs;
  SetList<double> dbls;
  SetList<char*> strs;  // UTF-8 copies owned by the set
};

// Create a set registered in the environment (0 or 1001).
int createSet(Env& env, ParamSet** out);
// Unregister and release a set.
void destroySet(Env& env, ParamSet* set);
// Unregistered scratch sets (reader, collector).
int newScratchSet(Env& env, ParamSet** out);
void freeScratchSet(Env& env, ParamSet* set);
// The set behind a caller's handle: 0, 1004 (null) or 1002 (not a set of
// this environment).
int checkSet(const Env& env, const void* handle, ParamSet** out);

// Add or replace the entry of a parameter (type from the descriptor; no range
// check).  0 or 1001.
int setPut(Env& env, ParamSet& set, const Descriptor& d, Value v);
// Read an entry: 0, or 1013 when the set holds no such entry.
int setGet(const ParamSet& set, const Descriptor& d, Value* v);
int setDel(Env& env, ParamSet& set, int id);
void setClear(Env& env, ParamSet& set);
int setCopy(Env& env, ParamSet& dst, const ParamSet& src);
// Set every entry on the environment (int, long, double, string entries in
// insertion order; 1053 skipped); stops at the first failure.
int setApply(Env& env, const ParamSet& set);
// Ids in list order (int, long, double, string); stores at most space ids and
// returns the number of entries.
int setIds(const ParamSet& set, int* ids, int space);

// ---------------------------------------------------------------------------
// Parameter-file text.

// Collect the changed parameters into a set, leaving out screen output, the
// CPU mask when it reads "badmask" and the ids of `exclude`.
int collectChanged(Env& env, ParamSet& set, const int* exclude, int nexclude);
// One line per entry in parameter-file format (no version line).
int formatSet(const ParamSet& set, std::string* out);
// Parse parameter-file text into a set, validating every value on the
// environment.  Negative statuses have been printed already.
int parseText(Env& env, const char* name, const char* text, size_t length, ParamSet& set);
// Snapshot, full reset (keeping screen output), parse, apply; restores the
// snapshot on any failure.
int readAndApply(Env& env, const char* name, const char* text, size_t length);
// Write set lines (with the version line) to a file through the I/O layer.
int writeSetFile(Env& env, const ParamSet& set, const char* filename);
// Read a whole file through the I/O layer: 0, 1421, -1423 (printed) or 1426.
int readWholeFile(Env& env, const char* filename, std::string* text);

inline constexpr const char* kBuildIdentifier = "22.1.1.0 | 2023-06-15 | d64d5bd77";

}  // namespace vnt::params
