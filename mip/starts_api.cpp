// Checked entries of the MIP-start operations: starts are stored on the
// problem (model/attachments.h) in order of addition, each with a name, an
// effort level and a sparse list of column values.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/chk_decls.h"
#include "env/env.h"
#include "mip/starts.h"
#include "model/attachments.h"
#include "model/opsupport.h"

namespace vnt::chk {

namespace {

using model::ops::checkRange;
using model::ops::guarded;

int mipProblem(Env& env, model::Problem& lp) {
  if (!model::isMipType(lp.probtype)) return 3003;
  return model::flushCache(env, lp);
}

int startCount(const model::Problem& lp) {
  const model::Attachments* a = model::findAttachments(lp);
  return a ? static_cast<int>(a->starts.size()) : 0;
}

// Sparse start data: begin offsets, column indices and values.
int checkStartData(Env& env, model::Problem& lp, int mcnt, long long nzcnt, const long long* beg, const int* ind,
                   const double* val, const int* effort) {
  if (mcnt < 0 || nzcnt < 0) return 1003;
  if (mcnt > 0 && !beg) return 1004;
  if (nzcnt > 0 && (!ind || !val)) return 1004;
  const int n = lp.data->cols();
  for (int k = 0; k < mcnt; ++k) {
    const long long b = beg[k], e = k + 1 < mcnt ? beg[k + 1] : nzcnt;
    if (b < 0 || b > e || e > nzcnt) return 1003;
    if (effort && (effort[k] < mip::kEffortMin || effort[k] > mip::kEffortMax)) return 1003;
  }
  for (long long t = 0; t < nzcnt; ++t) {
    if (ind[t] < 0 || ind[t] >= n) return reportError(env, 1201, static_cast<long long>(ind[t]));
    if (std::isnan(val[t])) return 1225;
  }
  return 0;
}

// Entries of one start: later entries for a column replace earlier ones.
void setEntries(model::MipStart& s, const int* ind, const double* val, long long b, long long e) {
  for (long long t = b; t < e; ++t) {
    auto it = std::find(s.ind.begin(), s.ind.end(), ind[t]);
    if (it != s.ind.end()) {
      s.val[it - s.ind.begin()] = val[t];
    } else {
      s.ind.push_back(ind[t]);
      s.val.push_back(val[t]);
    }
  }
}

}  // namespace

int addmipstarts(Env& env, model::Problem& lp, int mcnt, long long nzcnt, const long long* beg, const int* varindices,
                 const double* values, const int* effortlevel, char** mipstartname) {
  if (int st = mipProblem(env, lp)) return st;
  if (int st = checkStartData(env, lp, mcnt, nzcnt, beg, varindices, values, effortlevel)) return st;
  if (mcnt == 0) return 0;
  std::vector<std::string> names;
  if (mipstartname)
    if (int st = model::ops::namesIn(env, mipstartname, mcnt, names)) return st;
  return guarded([&] {
    model::Attachments* a = model::attachments(lp, true);
    if (!a) return 1001;
    std::vector<model::MipStart> add(mcnt);
    for (int k = 0; k < mcnt; ++k) {
      model::MipStart& s = add[k];
      const size_t pos = a->starts.size() + k;
      s.name = mipstartname && mipstartname[k] && !names[k].empty() ? names[k] : model::defaultStartName(pos);
      s.effort = effortlevel ? effortlevel[k] : 0;
      setEntries(s, varindices, values, beg[k], k + 1 < mcnt ? beg[k + 1] : nzcnt);
    }
    for (auto& s : add) a->starts.push_back(std::move(s));
    return 0;
  });
}

int chgmipstarts(Env& env, model::Problem& lp, int mcnt, const int* mipstartindices, long long nzcnt,
                 const long long* beg, const int* varindices, const double* values, const int* effortlevel) {
  if (int st = mipProblem(env, lp)) return st;
  if (int st = checkStartData(env, lp, mcnt, nzcnt, beg, varindices, values, effortlevel)) return st;
  if (mcnt == 0) return 0;
  if (!mipstartindices) return 1004;
  const int have = startCount(lp);
  if (have == 0) return 3020;
  for (int k = 0; k < mcnt; ++k)
    if (mipstartindices[k] < 0 || mipstartindices[k] >= have) return 1200;
  return guarded([&] {
    model::Attachments* a = model::attachments(lp, false);
    std::vector<model::MipStart> changed(a->starts);
    for (int k = 0; k < mcnt; ++k) {
      model::MipStart& s = changed[mipstartindices[k]];
      if (effortlevel) s.effort = effortlevel[k];
      setEntries(s, varindices, values, beg[k], k + 1 < mcnt ? beg[k + 1] : nzcnt);
    }
    a->starts.swap(changed);
    return 0;
  });
}

int getmipstarts(Env& env, model::Problem& lp, long long* nzcnt_p, long long* beg, int* varindices, double* values,
                 int* effortlevel, long long startspace, long long* surplus_p, int begin, int end) {
  if (int st = mipProblem(env, lp)) return st;
  if (!nzcnt_p || !surplus_p) return 1004;
  *nzcnt_p = 0;
  *surplus_p = startspace;
  const int have = startCount(lp);
  if (have == 0) return 3020;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTgetmipstarts", begin, end, have)) return st;
  const model::Attachments* a = model::findAttachments(lp);
  long long need = 0;
  for (int k = begin; k <= end; ++k) need += static_cast<long long>(a->starts[k].ind.size());
  *surplus_p = startspace - need;
  if (need > startspace) return (varindices || values) ? 1207 : -1207;
  if (need > 0 && (!varindices || !values)) return 1004;
  long long pos = 0;
  for (int k = begin; k <= end; ++k) {
    const model::MipStart& s = a->starts[k];
    if (beg) beg[k - begin] = pos;
    if (effortlevel) effortlevel[k - begin] = s.effort;
    for (size_t t = 0; t < s.ind.size(); ++t, ++pos) {
      varindices[pos] = s.ind[t];
      values[pos] = s.val[t];
    }
  }
  *nzcnt_p = pos;
  return 0;
}

int delmipstarts(Env& env, model::Problem& lp, int begin, int end) {
  if (int st = mipProblem(env, lp)) return st;
  const int have = startCount(lp);
  if (end < begin) return 0;
  if (have == 0) return 3020;
  if (int st = checkRange(env, "VNTdelmipstarts", begin, end, have)) return st;
  model::Attachments* a = model::attachments(lp, false);
  a->starts.erase(a->starts.begin() + begin, a->starts.begin() + end + 1);
  return 0;
}

int delsetmipstarts(Env& env, model::Problem& lp, int* delstat) {
  if (int st = mipProblem(env, lp)) return st;
  const int have = startCount(lp);
  if (have == 0) return 3020;
  if (!delstat) return 1004;
  model::Attachments* a = model::attachments(lp, false);
  std::vector<model::MipStart> kept;
  int next = 0;
  for (int k = 0; k < have; ++k) {
    if (delstat[k] == 1) {
      delstat[k] = -1;
      continue;
    }
    delstat[k] = next++;
    kept.push_back(std::move(a->starts[k]));
  }
  a->starts.swap(kept);
  return 0;
}

int getnummipstarts(Env&, model::Problem& lp, int* result_out) {
  *result_out = model::isMipType(lp.probtype) ? startCount(lp) : 0;
  return 0;
}

int getmipstartname(Env& env, model::Problem& lp, char** name, char* namestore, long long storespace,
                    long long* surplus_p, int begin, int end) {
  if (int st = mipProblem(env, lp)) return st;
  if (!surplus_p) return 1004;
  *surplus_p = 0;
  const int have = startCount(lp);
  if (have == 0) return 3020;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTgetmipstartname", begin, end, have)) return st;
  if (storespace < 0) return 1003;
  if (storespace > 0 && (!name || !namestore)) return 1004;
  const model::Attachments* a = model::findAttachments(lp);
  // The start names as an indexable table of strings.
  struct StartNames {
    const std::vector<model::MipStart>& s;
    const std::string& operator[](int k) const { return s[k].name; }
  };
  return guarded([&] {
    return model::ops::copyNamesOut(env, StartNames{a->starts}, begin, end, name, namestore, storespace, surplus_p);
  });
}

int getmipstartindex(Env& env, model::Problem& lp, const char* lname, int* index_p) {
  if (int st = mipProblem(env, lp)) return st;
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = model::ops::nameIn(env, lname, s)) return st;
  const model::Attachments* a = model::findAttachments(lp);
  if (a)
    for (size_t k = 0; k < a->starts.size(); ++k)
      if (a->starts[k].name == s) {
        *index_p = static_cast<int>(k);
        return 0;
      }
  return 1210;
}

}  // namespace vnt::chk
