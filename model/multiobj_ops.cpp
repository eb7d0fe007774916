// Objectives of a multi-objective problem: count, coefficients, attributes
// and names.
//
// An ordinary problem has one objective (number 0: the linear objective,
// its offset and its name) and no objective records.  A problem becomes
// multi-objective when it is given records: by VNTsetnumobjs (any count of
// at least 1), by setting an objective or its attributes through
// VNTmultiobjsetobj / VNTmultiobjchgattribs, or by reading a file whose
// objective rows carry attributes.  Objective 0 stays the problem's linear
// objective (VNTchgobj and VNTgetobj see it); the others hold sparse
// coefficients.  New objectives start with no coefficients, offset 0,
// priority 0, weight 1, tolerances 0 and no name.
//
// VNTmultiobjsetobj changes the listed coefficients (the others keep their
// values) and sets every attribute to the value given; a null name keeps
// the name.  VNTmultiobjchgattribs sets the attributes alone, in the same
// way.  Tolerances must be non-negative, the relative one at most 1 (1003).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "model/problem.h"

namespace vnt::chk {

using namespace vnt::model;
using namespace vnt::model::ops;

namespace {


int numObjs(const ProblemData& d) {
  return d.objectives.empty() ? 1 : static_cast<int>(d.objectives.size());
}

// Attribute checks shared by the setters (before any change).
int checkAttribs(Env& env, double offset, double weight, double abstol, double reltol) {
  if (std::isnan(offset) || std::isnan(weight) || std::isnan(abstol) || std::isnan(reltol)) return 1225;
  const bool dc = dataCheck(env);
  if (int st = checkNumber(env, offset, Num::Finite, dc)) return st;
  if (int st = checkNumber(env, weight, Num::Coef, dc)) return st;
  if (!(abstol >= 0.0) || !(reltol >= 0.0 && reltol <= 1.0)) return 1003;
  return 0;
}

void ensureRecords(ProblemData& d) {
  if (d.objectives.empty()) d.objectives.resize(1);
}

void setAttribs(ProblemData& d, int k, double offset, double weight, int priority, double abstol,
                double reltol, std::string* name) {
  ObjectiveRecord& o = d.objectives[k];
  o.weight = weight;
  o.priority = priority;
  o.abstol = abstol;
  o.reltol = reltol;
  if (k == 0) {
    d.objoffset = offset;
    if (name) d.objname.swap(*name);
  } else {
    o.offset = offset;
    if (name) o.name.swap(*name);
  }
}

// Sets the listed coefficients of a sparse objective (kept sorted by column,
// zeros removed).
void mergeTerms(ObjectiveRecord& o, int cnt, const int* ind, const double* val) {
  // Appended entries come later, so they win over the old ones.
  o.ind.insert(o.ind.end(), ind, ind + cnt);
  o.val.insert(o.val.end(), val, val + cnt);
  normalizeTerms(o);
}

}  // namespace

int getnumobjs(Env&, Problem& lp, int* result_out) {
  *result_out = numObjs(*lp.data);
  return 0;
}

int ismultiobj(Env&, Problem& lp, int* result_out) {
  *result_out = lp.data->objectives.empty() ? 0 : 1;
  return 0;
}

int setnumobjs(Env&, Problem& lp, int n) {
  if (int st = refuseFixed(lp)) return st;
  if (n < 1) return 1003;
  ProblemData& d = *lp.data;
  if (!d.objectives.empty() && static_cast<int>(d.objectives.size()) == n) return 0;
  return guarded([&] {
    std::vector<ObjectiveRecord> recs = d.objectives;
    recs.resize(n);
    notifyChange(lp, ChangeKind::Objectives);
    d.objectives.swap(recs);
    return 0;
  });
}

int multiobjsetobj(Env& env, Problem& lp, int objind, int objnz, const int* varind,
                   const double* values, double offset, double weight, int priority,
                   double abstol, double reltol, const char* objname) {
  if (int st = refuseFixed(lp)) return st;
  if (objnz < 0) return 1003;
  if (int st = flushCache(env, lp)) return st;
  ProblemData& d = *lp.data;
  if (objind < 0 || objind >= numObjs(d)) return 1200;
  if (objnz > 0 && (!varind || !values)) return 1004;
  std::string name;
  if (objname)
    if (int st = nameIn(env, objname, name)) return st;
  if (int st = checkIndices(env, varind, objnz, d.cols(), 1201)) return st;
  if (int st = checkNumbers(env, values, objnz, Num::Coef, dataCheck(env))) return st;
  if (int st = checkAttribs(env, offset, weight, abstol, reltol)) return st;
  return guarded([&] {
    ensureRecords(d);  // may throw before anything changed
    if (objind > 0) d.objectives[objind].ind.reserve(d.objectives[objind].ind.size() + objnz);
    notifyChange(lp, ChangeKind::Objectives);
    if (objind == 0) {
      if (objnz > 0) {
        ChangeEvent ev{ChangeKind::Objective};
        ev.cnt = objnz;
        ev.ind = varind;
        ev.val = values;
        notifyChange(lp, ev);
      }
      for (int q = 0; q < objnz; ++q) d.obj[varind[q]] = values[q];
    } else {
      mergeTerms(d.objectives[objind], objnz, varind, values);
    }
    setAttribs(d, objind, offset, weight, priority, abstol, reltol, objname ? &name : nullptr);
    return 0;
  });
}

int multiobjchgattribs(Env& env, Problem& lp, int objind, double offset, double weight,
                       int priority, double abstol, double reltol, const char* objname) {
  if (int st = refuseFixed(lp)) return st;
  ProblemData& d = *lp.data;
  if (objind < 0 || objind >= numObjs(d)) return 1200;
  std::string name;
  if (objname)
    if (int st = nameIn(env, objname, name)) return st;
  if (int st = checkAttribs(env, offset, weight, abstol, reltol)) return st;
  return guarded([&] {
    ensureRecords(d);
    notifyChange(lp, ChangeKind::Objectives);
    setAttribs(d, objind, offset, weight, priority, abstol, reltol, objname ? &name : nullptr);
    return 0;
  });
}

int multiobjgetobj(Env& env, Problem& lp, int objind, double* coeffs, int begin, int end,
                   double* offset_p, double* weight_p, int* priority_p, double* abstol_p,
                   double* reltol_p) {
  if (int st = flushCache(env, lp)) return st;
  const ProblemData& d = *lp.data;
  if (objind < 0 || objind >= numObjs(d)) return 1200;
  if (int st = checkRange(env, "VNTmultiobjgetobj", begin, end, d.cols())) return st;
  if (end >= begin && !coeffs) return 1004;
  const ObjectiveRecord defaults;
  const ObjectiveRecord& o = d.objectives.empty() ? defaults : d.objectives[objind];
  if (end >= begin) {
    if (objind == 0) {
      std::copy(d.obj.begin() + begin, d.obj.begin() + end + 1, coeffs);
    } else {
      std::fill(coeffs, coeffs + (end - begin + 1), 0.0);
      auto it = std::lower_bound(o.ind.begin(), o.ind.end(), begin);
      for (; it != o.ind.end() && *it <= end; ++it) coeffs[*it - begin] = o.val[it - o.ind.begin()];
    }
    countWork(env, end - begin + 1);
  }
  if (offset_p) *offset_p = objind == 0 ? d.objoffset : o.offset;
  if (weight_p) *weight_p = o.weight;
  if (priority_p) *priority_p = o.priority;
  if (abstol_p) *abstol_p = o.abstol;
  if (reltol_p) *reltol_p = o.reltol;
  return 0;
}

int multiobjgetname(Env& env, Problem& lp, int objind, char* buf_str, long long bufspace,
                    long long* surplus_p) {
  const ProblemData& d = *lp.data;
  if (objind < 0 || objind >= numObjs(d)) return 1200;
  if (!surplus_p) return 1004;
  if (bufspace < 0) return 1003;
  return guarded([&] {
    const std::string out = nameOut(env, objind == 0 ? d.objname : d.objectives[objind].name);
    const long long need = static_cast<long long>(out.size()) + 1;
    *surplus_p = bufspace - need;
    if (need > bufspace) return buf_str ? 1207 : -1207;
    std::memcpy(buf_str, out.c_str(), out.size() + 1);
    return 0;
  });
}

int multiobjgetindex(Env& env, Problem& lp, const char* lname, int* index_p) {
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = nameIn(env, lname, s)) return st;
  const ProblemData& d = *lp.data;
  if (s.empty()) return 1210;
  if (d.objname == s) {
    *index_p = 0;
    return 0;
  }
  for (size_t k = 1; k < d.objectives.size(); ++k)
    if (d.objectives[k].name == s) {
      *index_p = static_cast<int>(k);
      return 0;
    }
  return 1210;
}

}  // namespace vnt::chk
