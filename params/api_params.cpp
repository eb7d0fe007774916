// Checked entries of the parameter operations: set, get, info, names, the
// changed list, resets, the fixed list, parameter sets and parameter files.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/env.h"
#include "params/internal.h"
#include "params/params.h"

namespace vnt::params {
namespace {

// No exception leaves the subsystem: allocation failures become 1001.
template <class F>
int guard(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return 1001;
  }
}

// Caller text (API encoding) -> UTF-8 copy.
int fromApi(Env& env, const char* in, std::string* out) {
  char* conv = nullptr;
  int st = apiToUtf8(env, in, &conv);
  if (st != 0) return st;
  *out = conv;
  if (conv != in) envFree(env, conv);
  return 0;
}

// UTF-8 text -> a caller's 512-byte buffer in the API encoding.
int toApi(Env& env, const char* utf8, char* buf) {
  size_t n = std::min(strlen(utf8), static_cast<size_t>(kStrField - 1));
  memcpy(buf, utf8, n);
  buf[n] = '\0';
  return utf8ToApiInPlace(env, buf, kStrField);
}

int lookupFor(const Env& env, int id, const Descriptor** d) {
  *d = lookup(id);
  if (!*d || isFixed(env, id)) return 1013;
  return 0;
}

// The count/array/surplus convention of list queries.
int listResult(int total, int* cnt_p, int* ids, int space, int* surplus_p) {
  int stored = std::min(total, std::max(space, 0));
  *cnt_p = stored;
  *surplus_p = space - total;
  if (*surplus_p < 0) return ids ? 1207 : -1207;
  return 0;
}

}  // namespace
}  // namespace vnt::params

namespace vnt::chk {

using namespace vnt::params;

int setintparam(Env& env, int whichparam, int newvalue) {
  return setIntParam(env, whichparam, newvalue);
}

int setlongparam(Env& env, int whichparam, long long newvalue) {
  return setLongParam(env, whichparam, newvalue);
}

int setdblparam(Env& env, int whichparam, double newvalue) {
  return setDblParam(env, whichparam, newvalue);
}

int setstrparam(Env& env, int whichparam, const char* newvalue_str) {
  return guard([&] {
    const Descriptor* d;
    if (int st = lookupFor(env, whichparam, &d)) return st;
    if (d->type() != kTypeStr) return 1013;
    if (!newvalue_str) return 1004;
    std::string v;
    if (int st = fromApi(env, newvalue_str, &v)) return st;
    return setStrParam(env, whichparam, v.c_str());
  });
}

int getintparam(Env& env, int whichparam, int* value_p) {
  return getIntParam(env, whichparam, value_p);
}

int getlongparam(Env& env, int whichparam, long long* value_p) {
  return getLongParam(env, whichparam, value_p);
}

int getdblparam(Env& env, int whichparam, double* value_p) {
  return getDblParam(env, whichparam, value_p);
}

int getstrparam(Env& env, int whichparam, char* value_str) {
  return guard([&] {
    std::string v;
    if (!value_str) return 1004;
    if (int st = getStrParam(env, whichparam, &v)) return st;
    return toApi(env, v.c_str(), value_str);
  });
}

int infointparam(Env& env, int whichparam, int* def, int* mn, int* mx) {
  const Descriptor* d;
  if (int st = lookupFor(env, whichparam, &d)) return st;
  if (d->type() != kTypeInt) return 1013;
  Value vd, vmin, vmax;
  d->ops->info(*d, &vd, &vmin, &vmax);
  if (def) *def = vd.i;
  if (mn) *mn = vmin.i;
  if (mx) *mx = vmax.i;
  return 0;
}

int infolongparam(Env& env, int whichparam, long long* def, long long* mn, long long* mx) {
  const Descriptor* d;
  if (int st = lookupFor(env, whichparam, &d)) return st;
  if (d->type() != kTypeLong) return 1013;
  Value vd, vmin, vmax;
  d->ops->info(*d, &vd, &vmin, &vmax);
  if (def) *def = vd.l;
  if (mn) *mn = vmin.l;
  if (mx) *mx = vmax.l;
  return 0;
}

int infodblparam(Env& env, int whichparam, double* def, double* mn, double* mx) {
  const Descriptor* d;
  if (int st = lookupFor(env, whichparam, &d)) return st;
  if (d->type() != kTypeDbl) return 1013;
  Value vd, vmin, vmax;
  d->ops->info(*d, &vd, &vmin, &vmax);
  if (def) *def = vd.d;
  if (mn) *mn = vmin.d;
  if (mx) *mx = vmax.d;
  return 0;
}

int infostrparam(Env& env, int whichparam, char* defvalue_str) {
  const Descriptor* d;
  if (int st = lookupFor(env, whichparam, &d)) return st;
  if (d->type() != kTypeStr) return 1013;
  if (!defvalue_str) return 0;
  Value vd;
  d->ops->info(*d, &vd, nullptr, nullptr);
  return toApi(env, vd.s, defvalue_str);
}

int getparamtype(Env& env, int whichparam, int* paramtype) {
  return getParamType(env, whichparam, paramtype);
}

static int paramName(Env& env, int whichparam, char* name_str, bool hier) {
  if (!name_str) return 1004;
  if (whichparam < kFirstId || whichparam > kLastId) {
    name_str[0] = '\0';
    return 1013;
  }
  const Descriptor* d;
  if (int st = lookupFor(env, whichparam, &d)) return st;
  const char* n = hier ? d->hierName : d->oldName;
  return toApi(env, n ? n : "", name_str);
}

int getparamname(Env& env, int whichparam, char* name_str) {
  return paramName(env, whichparam, name_str, false);
}

int getparamhiername(Env& env, int whichparam, char* name_str) {
  return paramName(env, whichparam, name_str, true);
}

int getparamnum(Env& env, const char* name_str, int* whichparam_p) {
  return guard([&] {
    if (!name_str || !whichparam_p) return 1004;
    std::string n;
    if (int st = fromApi(env, name_str, &n)) return st;
    return paramNumber(env, n.c_str(), whichparam_p);
  });
}

int getchgparam(Env& env, int* cnt_p, int* paramnum, int pspace, int* surplus_p) {
  if (!cnt_p || !surplus_p || (pspace > 0 && !paramnum)) return 1004;
  int total = changedParams(env, paramnum, std::max(pspace, 0));
  return listResult(total, cnt_p, paramnum, pspace, surplus_p);
}

int setdefaults(Env& env) {
  resetAll(env);
  return 0;
}

int fixparam(Env& env, int paramnum) { return fixParam(env, paramnum); }

// ---------------------------------------------------------------------------
// Parameter sets.

int paramsetcreate(Env& env, VNTPARAMSETptr* result_out) {
  ParamSet* set = nullptr;
  if (int st = createSet(env, &set)) return st;
  *result_out = reinterpret_cast<VNTPARAMSETptr>(set);
  return 0;
}

int paramsetfree(Env& env, VNTPARAMSETptr* ps_p) {
  if (!ps_p) return 1004;
  if (!*ps_p) return 0;
  ParamSet* set;
  if (int st = checkSet(env, *ps_p, &set)) return st;
  destroySet(env, set);
  *ps_p = nullptr;
  return 0;
}

// Common checks of the add and get operations: the set, and the id must be
// a parameter of the given type that is not fixed.
static int setAndParam(Env& env, const void* ps, int id, int type, ParamSet** set,
                       const Descriptor** d) {
  if (int st = checkSet(env, ps, set)) return st;
  if (int st = lookupFor(env, id, d)) return st;
  return (*d)->type() == type ? 0 : 1013;
}

int paramsetaddint(Env& env, VNTPARAMSETptr ps, int whichparam, int newvalue) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeInt, &set, &d)) return st;
  Value v;
  v.i = newvalue;
  return setPut(env, *set, *d, v);
}

int paramsetaddlong(Env& env, VNTPARAMSETptr ps, int whichparam, long long newvalue) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeLong, &set, &d)) return st;
  Value v;
  v.l = newvalue;
  return setPut(env, *set, *d, v);
}

int paramsetadddbl(Env& env, VNTPARAMSETptr ps, int whichparam, double newvalue) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeDbl, &set, &d)) return st;
  Value v;
  v.d = newvalue;
  return setPut(env, *set, *d, v);
}

int paramsetaddstr(Env& env, VNTPARAMSETptr ps, int whichparam, const char* svalue) {
  return guard([&] {
    ParamSet* set;
    const Descriptor* d;
    if (int st = setAndParam(env, ps, whichparam, kTypeStr, &set, &d)) return st;
    if (!svalue) return 1004;
    std::string text;
    if (int st = fromApi(env, svalue, &text)) return st;
    Value v;
    v.s = text.c_str();
    return setPut(env, *set, *d, v);
  });
}

int paramsetgetint(Env& env, VNTCPARAMSETptr ps, int whichparam, int* ival) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeInt, &set, &d)) return st;
  if (!ival) return 1004;
  Value v;
  if (int st = setGet(*set, *d, &v)) return st;
  *ival = v.i;
  return 0;
}

int paramsetgetlong(Env& env, VNTCPARAMSETptr ps, int whichparam, long long* ival) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeLong, &set, &d)) return st;
  if (!ival) return 1004;
  Value v;
  if (int st = setGet(*set, *d, &v)) return st;
  *ival = v.l;
  return 0;
}

int paramsetgetdbl(Env& env, VNTCPARAMSETptr ps, int whichparam, double* dval) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeDbl, &set, &d)) return st;
  if (!dval) return 1004;
  Value v;
  if (int st = setGet(*set, *d, &v)) return st;
  *dval = v.d;
  return 0;
}

int paramsetgetstr(Env& env, VNTCPARAMSETptr ps, int whichparam, char* sval) {
  ParamSet* set;
  const Descriptor* d;
  if (int st = setAndParam(env, ps, whichparam, kTypeStr, &set, &d)) return st;
  if (!sval) return 1004;
  Value v;
  if (int st = setGet(*set, *d, &v)) return st;
  return toApi(env, v.s, sval);
}

int paramsetgetids(Env& env, VNTCPARAMSETptr ps, int* cnt_p, int* whichparams, int pspace,
                   int* surplus_p) {
  ParamSet* set;
  if (int st = checkSet(env, ps, &set)) return st;
  if (!cnt_p || !surplus_p || (pspace > 0 && !whichparams)) return 1004;
  int total = setIds(*set, whichparams, std::max(pspace, 0));
  return listResult(total, cnt_p, whichparams, pspace, surplus_p);
}

int paramsetdel(Env& env, VNTPARAMSETptr ps, int whichparam) {
  ParamSet* set;
  if (int st = checkSet(env, ps, &set)) return st;
  return setDel(env, *set, whichparam);
}

int paramsetcopy(Env& env, VNTPARAMSETptr targetps, VNTCPARAMSETptr sourceps) {
  ParamSet *dst, *src;
  if (int st = checkSet(env, targetps, &dst)) return st;
  if (int st = checkSet(env, sourceps, &src)) return st;
  return setCopy(env, *dst, *src);
}

int paramsetapply(Env& env, VNTPARAMSETptr ps) {
  ParamSet* set;
  if (int st = checkSet(env, ps, &set)) return st;
  return guard([&] { return setApply(env, *set); });
}

int paramsetreadcopy(Env& env, VNTPARAMSETptr ps, const char* filename_str) {
  return guard([&] {
    ParamSet* set;
    if (int st = checkSet(env, ps, &set)) return st;
    if (!filename_str) return 1004;
    std::string text;
    if (int st = readWholeFile(env, filename_str, &text)) return st;
    return parseText(env, filename_str, text.data(), text.size(), *set);
  });
}

int paramsetwrite(Env& env, VNTCPARAMSETptr ps, const char* filename_str) {
  return guard([&] {
    ParamSet* set;
    if (int st = checkSet(env, ps, &set)) return st;
    return writeSetFile(env, *set, filename_str);
  });
}

// ---------------------------------------------------------------------------
// Parameter files.

int writeparam(Env& env, const char* filename_str) {
  return guard([&] { return writeParamFile(env, filename_str); });
}

int readcopyparam(Env& env, const char* filename_str) {
  return guard([&] { return readParamFile(env, filename_str); });
}

}  // namespace vnt::chk

// Reading parameter-file text held in memory.  Exported outside the dispatch
// tables (its extension name coincides with the file operation's).
extern "C" VNTAPI int VNTAPIENTRY VNTEreadcopyparam(VNTENVptr env, const char* name,
                                                     const char* buffer, VNTLONG length) {
  vnt::Env* e = nullptr;
  int st = vnt::api::enter(env, &e, false);
  if (st == 0) {
    try {
      st = vnt::params::readParamText(*e, name, buffer, length);
    } catch (const std::bad_alloc&) {
      st = 1001;
    }
  }
  vnt::api::report(e, &st);
  return st;
}
