// Parameter sets: lists of (id, value) entries by type, registered in the
// environment that created them.
#include <cstring>
#include <new>

#include "params/internal.h"
#include "params/params.h"

namespace vnt::params {

namespace {

template <class T>
int grow(Env& env, SetList<T>& l) {
  if (l.count < l.cap) return 0;
  int cap = (l.cap + 5) * 2;
  void* ids = env.alloc->reallocate(env.alloc, l.ids, sizeof(int) * static_cast<size_t>(cap));
  if (!ids) return 1001;
  l.ids = static_cast<int*>(ids);
  void* vals = env.alloc->reallocate(env.alloc, l.vals, sizeof(T) * static_cast<size_t>(cap));
  if (!vals) return 1001;
  l.vals = static_cast<T*>(vals);
  l.cap = cap;
  return 0;
}

template <class T>
int find(const SetList<T>& l, int id) {
  for (int i = 0; i < l.count; ++i)
    if (l.ids[i] == id) return i;
  return -1;
}

template <class T>
int put(Env& env, SetList<T>& l, int id, T v) {
  int k = find(l, id);
  if (k < 0) {
    if (int st = grow(env, l)) return st;
    k = l.count++;
    l.ids[k] = id;
  }
  l.vals[k] = v;
  return 0;
}

template <class T>
void release(Env& env, SetList<T>& l) {
  if (l.ids) env.alloc->release(env.alloc, l.ids);
  if (l.vals) env.alloc->release(env.alloc, l.vals);
  l = SetList<T>{};
}

template <class T>
bool erase(SetList<T>& l, int id, T* removed) {
  int k = find(l, id);
  if (k < 0) return false;
  *removed = l.vals[k];
  for (int i = k + 1; i < l.count; ++i) {
    l.ids[i - 1] = l.ids[i];
    l.vals[i - 1] = l.vals[i];
  }
  --l.count;
  return true;
}

char* copyText(Env& env, const char* s) {
  size_t n = strlen(s) + 1;
  char* p = static_cast<char*>(env.alloc->allocate(env.alloc, n));
  if (p) memcpy(p, s, n);
  return p;
}

void releaseStrings(Env& env, ParamSet& set) {
  for (int i = 0; i < set.strs.count; ++i) env.alloc->release(env.alloc, set.strs.vals[i]);
  set.strs.count = 0;
}

void releaseSet(Env& env, void* obj) {
  ParamSet* set = static_cast<ParamSet*>(obj);
  setClear(env, *set);
  release(env, set->ints);
  release(env, set->longs);
  release(env, set->dbls);
  release(env, set->strs);
  set->magic = 0;
  set->~ParamSet();
  env.alloc->release(env.alloc, set);
}

}  // namespace

int newScratchSet(Env& env, ParamSet** out) {
  *out = nullptr;
  void* mem = env.alloc->allocatezeroed(env.alloc, 1, sizeof(ParamSet));
  if (!mem) return 1001;
  ParamSet* set = new (mem) ParamSet;
  set->owner = &env;
  *out = set;
  return 0;
}

void freeScratchSet(Env& env, ParamSet* set) {
  if (set) releaseSet(env, set);
}

int createSet(Env& env, ParamSet** out) {
  if (int st = newScratchSet(env, out)) return st;
  if (int st = registerObject(env, *out, ObjKind::ParamSet, releaseSet)) {
    releaseSet(env, *out);
    *out = nullptr;
    return st;
  }
  return 0;
}

void destroySet(Env& env, ParamSet* set) {
  unregisterObject(env, set);
  releaseSet(env, set);
}

void releaseParamSet(Env& env, void* set) {
  unregisterObject(env, set);
  releaseSet(env, set);
}

int checkSet(const Env& env, const void* handle, ParamSet** out) {
  *out = nullptr;
  if (!handle) return 1004;
  ParamSet* set = static_cast<ParamSet*>(const_cast<void*>(handle));
  if (set->magic != kSetMagic || set->owner != &env) return 1002;
  *out = set;
  return 0;
}

int setPut(Env& env, ParamSet& set, const Descriptor& d, Value v) {
  switch (d.type()) {
    case kTypeInt:
      return put(env, set.ints, d.id, v.i);
    case kTypeLong:
      return put(env, set.longs, d.id, v.l);
    case kTypeDbl:
      return put(env, set.dbls, d.id, v.d);
    default: {
      char* copy = copyText(env, v.s);
      if (!copy) return 1001;
      int k = find(set.strs, d.id);
      if (k >= 0) {
        env.alloc->release(env.alloc, set.strs.vals[k]);
        set.strs.vals[k] = copy;
        return 0;
      }
      int st = put(env, set.strs, d.id, copy);
      if (st) env.alloc->release(env.alloc, copy);
      return st;
    }
  }
}

int setGet(const ParamSet& set, const Descriptor& d, Value* v) {
  int k;
  switch (d.type()) {
    case kTypeInt:
      if ((k = find(set.ints, d.id)) < 0) return 1013;
      v->i = set.ints.vals[k];
      return 0;
    case kTypeLong:
      if ((k = find(set.longs, d.id)) < 0) return 1013;
      v->l = set.longs.vals[k];
      return 0;
    case kTypeDbl:
      if ((k = find(set.dbls, d.id)) < 0) return 1013;
      v->d = set.dbls.vals[k];
      return 0;
    default:
      if ((k = find(set.strs, d.id)) < 0) return 1013;
      v->s = set.strs.vals[k];
      return 0;
  }
}

int setDel(Env& env, ParamSet& set, int id) {
  int i;
  long long l;
  double x;
  char* s;
  if (erase(set.ints, id, &i) || erase(set.longs, id, &l) || erase(set.dbls, id, &x)) return 0;
  if (erase(set.strs, id, &s)) {
    env.alloc->release(env.alloc, s);
    return 0;
  }
  return 1013;
}

void setClear(Env& env, ParamSet& set) {
  releaseStrings(env, set);
  set.ints.count = set.longs.count = set.dbls.count = 0;
}

int setCopy(Env& env, ParamSet& dst, const ParamSet& src) {
  if (&dst == &src) return 0;
  setClear(env, dst);
  auto each = [&](const auto& list) -> int {
    for (int i = 0; i < list.count; ++i) {
      const Descriptor* d = lookup(list.ids[i]);
      Value v;
      setGet(src, *d, &v);
      if (int st = setPut(env, dst, *d, v)) return st;
    }
    return 0;
  };
  if (int st = each(src.ints)) return st;
  if (int st = each(src.longs)) return st;
  if (int st = each(src.dbls)) return st;
  return each(src.strs);
}

int setApply(Env& env, const ParamSet& set) {
  for (int i = 0; i < set.ints.count; ++i)
    if (set.ints.ids[i] != 1053)
      if (int st = setIntParam(env, set.ints.ids[i], set.ints.vals[i])) return st;
  for (int i = 0; i < set.longs.count; ++i)
    if (set.longs.ids[i] != 1053)
      if (int st = setLongParam(env, set.longs.ids[i], set.longs.vals[i])) return st;
  for (int i = 0; i < set.dbls.count; ++i)
    if (set.dbls.ids[i] != 1053)
      if (int st = setDblParam(env, set.dbls.ids[i], set.dbls.vals[i])) return st;
  for (int i = 0; i < set.strs.count; ++i)
    if (set.strs.ids[i] != 1053)
      if (int st = setStrParam(env, set.strs.ids[i], set.strs.vals[i])) return st;
  return 0;
}

int setIds(const ParamSet& set, int* ids, int space) {
  int n = 0;
  auto each = [&](const auto& list) {
    for (int i = 0; i < list.count; ++i, ++n)
      if (ids && n < space) ids[n] = list.ids[i];
  };
  each(set.ints);
  each(set.longs);
  each(set.dbls);
  each(set.strs);
  return n;
}

}  // namespace vnt::params
