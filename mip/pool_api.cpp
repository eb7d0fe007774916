// Checked entries of the solution pool: its queries, deletions, filters,
// populate and the pool's solution files.  Solution index -1 names the
// incumbent.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/chk_decls.h"
#include "env/env.h"
#include "io/io.h"
#include "io/startfiles.h"
#include "mip/pool.h"
#include "mip/search.h"
#include "model/attachments.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "tools/tools.h"

namespace vnt::chk {

namespace {

using model::ops::checkRange;

enum : int { kFilterDiversity = 1, kFilterRange = 2 };
enum : int { kParamEpRhs = 1016, kParamEpInt = 2010, kParamWriteLevel = 1114 };

int poolOf(Env& env, model::Problem& lp, mip::SolutionPool** out) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (int st = model::flushCache(env, lp)) return st;
  mip::SolutionPool* p = mip::findPool(lp);
  if (!p) return 3024;
  *out = p;
  return 0;
}

// The values of solution `soln` (-1: the incumbent).
int solutionOf(Env& env, model::Problem& lp, int soln, const std::vector<double>** x, double* obj) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (soln == -1) {
    const mip::Search* s = mip::findSearch(lp);
    if (!s || !s->hasIncumbent()) return 1217;
    *x = &s->incumbentOrig;
    if (obj) *obj = s->sense * s->incumbentObj;
    return 0;
  }
  if (soln < 0 || soln >= static_cast<int>(p->sols.size())) return 1200;
  *x = &p->sols[soln].x;
  if (obj) *obj = p->sols[soln].obj;
  return 0;
}

int copyOut(Env& env, const char* op, const std::vector<double>& v, double* out, int begin, int end) {
  if (end < begin) return 0;
  if (int st = checkRange(env, op, begin, end, static_cast<int>(v.size()))) return st;
  if (!out) return 1004;
  std::copy(v.begin() + begin, v.begin() + end + 1, out);
  return 0;
}

int stringOut(Env& env, const std::string& s, char* buf, long long space, long long* surplus_p) {
  if (!surplus_p) return 1004;
  if (space < 0) return 1003;
  const std::string out = model::ops::nameOut(env, s);
  const long long need = static_cast<long long>(out.size()) + 1;
  *surplus_p = space - need;
  if (need > space) return buf ? 1207 : -1207;
  if (!buf) return 1004;
  std::memcpy(buf, out.c_str(), out.size() + 1);
  return 0;
}

std::vector<double> slacksOf(const model::ModelData& md, const std::vector<double>& x) {
  std::vector<double> ax(md.numRows(), 0.0);
  for (int j = 0; j < md.numCols(); ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) ax[md.matind[k]] += md.matval[k] * x[j];
  for (int i = 0; i < md.numRows(); ++i) ax[i] = md.rhs[i] - ax[i];
  return ax;
}

// Binary: type 'B', or an integer column within [0, 1].
bool binaryColumn(const model::ProblemData& d, int j) {
  const char t = d.ctype.empty() ? 'C' : d.ctype[j];
  return t == 'B' || (t == 'I' && d.lb[j] >= 0.0 && d.ub[j] <= 1.0);
}

int filterArgs(Env& env, model::Problem& lp, int nzcnt, const int* ind, const double* val) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (int st = model::flushCache(env, lp)) return st;
  if (nzcnt < 0) return 1003;
  if (nzcnt > 0 && (!ind || !val)) return 1004;
  for (int k = 0; k < nzcnt; ++k) {
    if (ind[k] < 0 || ind[k] >= lp.data->cols()) return 1201;
    if (std::isnan(val[k])) return 1225;
  }
  return 0;
}

int addFilter(Env& env, model::Problem& lp, model::PoolFilter&& f, const char* lname) {
  model::Attachments* a = model::attachments(lp, true);
  if (!a) return 1001;
  if (lname && *lname)
    if (int st = model::ops::nameIn(env, lname, f.name)) return st;
  a->filters.push_back(std::move(f));
  return 0;
}

// A filter's name: its own, or "f" + its one-based position.
std::string filterName(const std::vector<model::PoolFilter>& filters, size_t k) {
  return filters[k].name.empty() ? "f" + std::to_string(k + 1) : filters[k].name;
}

// Default names follow the position: they are fixed before positions move.
void fixFilterNames(std::vector<model::PoolFilter>& filters) {
  for (size_t k = 0; k < filters.size(); ++k) filters[k].name = filterName(filters, k);
}

const model::PoolFilter* filterAt(model::Problem& lp, int which, int* st) {
  *st = 0;
  if (!model::isMipType(lp.probtype)) {
    *st = 3003;
    return nullptr;
  }
  const model::Attachments* a = model::findAttachments(lp);
  if (!a || which < 0 || which >= static_cast<int>(a->filters.size())) {
    *st = 1200;
    return nullptr;
  }
  return &a->filters[which];
}

int sparseOut(const model::PoolFilter& f, int* nzcnt_p, int* ind, double* val, double* refval, int space,
              int* surplus_p) {
  if (!nzcnt_p || !surplus_p) return 1004;
  const int need = static_cast<int>(f.ind.size());
  *surplus_p = space - need;
  *nzcnt_p = 0;
  if (need > space) return ind ? 1207 : -1207;
  for (int k = 0; k < need; ++k) {
    if (ind) ind[k] = f.ind[k];
    if (val) val[k] = f.val[k];
    if (refval) refval[k] = f.refval[k];
  }
  *nzcnt_p = need;
  return 0;
}

// A pool solution as a file record.
io::SolutionRecord poolRecord(Env& env, model::Problem& lp, const model::ModelData& md, int index,
                              const std::string& name, const std::vector<double>& x, double obj) {
  io::SolutionRecord r;
  int st = 0;
  getstat(env, lp, &st);
  char text[512] = "";
  getstatstring(reinterpret_cast<VNTCENVptr>(&env), st, text);
  int level = params::getInt(env, kParamWriteLevel);
  if (level == 0) level = 1;
  auto a = [](const char* n, std::string t) { return io::XmlAttr{n, std::move(t)}; };
  r.header = {a("problemName", md.probname),
              a("solutionName", name),
              a("solutionIndex", std::to_string(index)),
              a("objectiveValue", io::xmlNumber(obj)),
              a("solutionTypeValue", "3"),
              a("solutionTypeString", "primal"),
              a("solutionStatusValue", std::to_string(st)),
              a("solutionStatusString", text),
              a("solutionMethodString", "mip"),
              a("primalFeasible", "1"),
              a("dualFeasible", "0"),
              a("simplexIterations", "0"),
              a("barrierIterations", "0"),
              a("MIPNodes", "0"),
              a("MIPIterations", "0"),
              a("writeLevel", std::to_string(level))};
  const std::vector<double> slack = slacksOf(md, x);
  tools::Quality q;
  tools::SolutionValues v;
  v.x = x.data();
  v.slack = slack.data();
  tools::measureSolution(md, v, q);
  r.quality = {a("epInt", io::xmlNumber(params::getDbl(env, kParamEpInt))),
               a("epRHS", io::xmlNumber(params::getDbl(env, kParamEpRhs))),
               a("maxIntInfeas", io::xmlNumber(q.intInf.max)), a("maxPrimalInfeas", io::xmlNumber(q.primalInf.max)),
               a("maxX", io::xmlNumber(q.xMax.max)), a("maxSlack", io::xmlNumber(q.slackMax.max))};
  r.writeRows = level == 1 || level == 3;
  if (r.writeRows)
    for (int i = 0; i < md.numRows(); ++i) {
      if (level == 3 && slack[i] == 0.0) continue;
      io::SolutionRecord::Entry e;
      e.index = i;
      e.value = slack[i];
      r.rows.push_back(e);
    }
  for (int j = 0; j < md.numCols(); ++j) {
    const bool discrete = !md.ctype.empty() && md.ctype[j] != 'C';
    if ((level == 2 || level == 4) && !discrete) continue;
    if ((level == 3 || level == 4) && x[j] == 0.0) continue;
    io::SolutionRecord::Entry e;
    e.index = j;
    e.value = x[j];
    r.cols.push_back(e);
  }
  return r;
}

}  // namespace

int getsolnpoolnumsolns(Env& env, model::Problem& lp, int* result_out) {
  *result_out = 0;
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  *result_out = static_cast<int>(p->sols.size());
  return 0;
}

int getsolnpoolnumreplaced(Env& env, model::Problem& lp, int* result_out) {
  *result_out = 0;
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  *result_out = static_cast<int>(std::min<long long>(p->replaced, 2100000000));
  return 0;
}

int getsolnpoolmeanobjval(Env& env, model::Problem& lp, double* meanobjval_p) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (!meanobjval_p) return 1004;
  if (p->sols.empty()) return 1217;
  double sum = 0.0;
  for (const auto& s : p->sols) sum += s.obj;
  *meanobjval_p = sum / static_cast<double>(p->sols.size());
  return 0;
}

int getsolnpoolobjval(Env& env, model::Problem& lp, int soln, double* objval_p) {
  if (!objval_p) return 1004;
  const std::vector<double>* x = nullptr;
  return solutionOf(env, lp, soln, &x, objval_p);
}

int getsolnpoolx(Env& env, model::Problem& lp, int soln, double* x, int begin, int end) {
  const std::vector<double>* v = nullptr;
  if (int st = solutionOf(env, lp, soln, &v, nullptr)) return st;
  return copyOut(env, "VNTgetsolnpoolx", *v, x, begin, end);
}

int getsolnpoolslack(Env& env, model::Problem& lp, int soln, double* slack, int begin, int end) {
  const std::vector<double>* v = nullptr;
  if (int st = solutionOf(env, lp, soln, &v, nullptr)) return st;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  return copyOut(env, "VNTgetsolnpoolslack", slacksOf(md, *v), slack, begin, end);
}

namespace {

// Quality of a pool solution (-1: the incumbent) on the model as given:
// the unscaled measures of the quality queries; a pool solution has no
// duals, no scaled form and no basis (1003 for those codes).
int poolQuality(Env& env, model::Problem& lp, int soln, int what, double* value, int* where) {
  const std::vector<double>* x = nullptr;
  if (int st = solutionOf(env, lp, soln, &x, nullptr)) return st;
  const bool scaled = what % 2 == 0 && what != tools::kQualSumIntInfeas;
  if (what < tools::kQualMaxPrimalInfeas || what > tools::kQualMaxScaledRedCost || scaled) return 1003;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  const std::vector<double> slack = slacksOf(md, *x);
  tools::SolutionValues v;
  v.x = x->data();
  v.slack = slack.data();
  tools::Quality q;
  tools::measureSolution(md, v, q);
  model::ops::countWork(env, md.numNz() + md.numCols() + md.numRows(), 3);
  return tools::pickMeasure(q, what, true, value, where);
}

}  // namespace

int getsolnpoolsolnname(Env& env, model::Problem& lp, char* store, long long storesz, long long* surplus_p,
                        int which) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (which == -1) {
    const mip::Search* s = mip::findSearch(lp);
    if (!s || !s->hasIncumbent()) return 1217;
    return stringOut(env, "incumbent", store, storesz, surplus_p);
  }
  if (which < 0 || which >= static_cast<int>(p->sols.size())) return 1200;
  return stringOut(env, p->nameOf(which), store, storesz, surplus_p);
}

int getsolnpoolsolnindex(Env& env, model::Problem& lp, const char* lname, int* index_p) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = model::ops::nameIn(env, lname, s)) return st;
  if (s == "incumbent") {
    *index_p = -1;
    return 0;
  }
  for (size_t k = 0; k < p->sols.size(); ++k)
    if (p->nameOf(k) == s) {
      *index_p = static_cast<int>(k);
      return 0;
    }
  return 1210;
}

int getsolnpooldblquality(Env& env, model::Problem& lp, int soln, double* quality_p, int what) {
  if (!quality_p) return 1004;
  return model::ops::guarded([&] { return poolQuality(env, lp, soln, what, quality_p, nullptr); });
}

int getsolnpoolintquality(Env& env, model::Problem& lp, int soln, int* quality_p, int what) {
  if (!quality_p) return 1004;
  double unused = 0.0;
  return model::ops::guarded([&] { return poolQuality(env, lp, soln, what, &unused, quality_p); });
}

int delsolnpoolsolns(Env& env, model::Problem& lp, int begin, int end) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (end < begin) return 0;
  if (int st = checkRange(env, "VNTdelsolnpoolsolns", begin, end, static_cast<int>(p->sols.size()))) return st;
  // Default names follow the position: fix them before the positions move.
  for (size_t k = 0; k < p->sols.size(); ++k) p->sols[k].name = p->nameOf(k);
  p->sols.erase(p->sols.begin() + begin, p->sols.begin() + end + 1);
  return 0;
}

int delsetsolnpoolsolns(Env& env, model::Problem& lp, int* delstat) {
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (!delstat) return 1004;
  for (size_t k = 0; k < p->sols.size(); ++k) p->sols[k].name = p->nameOf(k);
  std::vector<mip::SolutionPool::Solution> kept;
  int next = 0;
  for (size_t k = 0; k < p->sols.size(); ++k) {
    if (delstat[k] == 1) {
      delstat[k] = -1;
      continue;
    }
    delstat[k] = next++;
    kept.push_back(std::move(p->sols[k]));
  }
  p->sols.swap(kept);
  return 0;
}

// ---------------------------------------------------------------------------
// Filters.

int addsolnpooldivfilter(Env& env, model::Problem& lp, double lower_bound, double upper_bound, int nzcnt,
                         const int* ind, const double* weight, const double* refval, const char* lname) {
  if (int st = filterArgs(env, lp, nzcnt, ind, weight)) return st;
  if (nzcnt > 0 && !refval) return 1004;
  for (int k = 0; k < nzcnt; ++k)
    if (!binaryColumn(*lp.data, ind[k])) return 3414;
  model::PoolFilter f;
  f.diversity = true;
  f.lower = lower_bound;
  f.upper = upper_bound;
  f.ind.assign(ind, ind + nzcnt);
  f.val.assign(weight, weight + nzcnt);
  f.refval.assign(refval, refval + nzcnt);
  return addFilter(env, lp, std::move(f), lname);
}

int addsolnpoolrngfilter(Env& env, model::Problem& lp, double lb, double ub, int nzcnt, const int* ind,
                         const double* val, const char* lname) {
  if (int st = filterArgs(env, lp, nzcnt, ind, val)) return st;
  model::PoolFilter f;
  f.lower = lb;
  f.upper = ub;
  f.ind.assign(ind, ind + nzcnt);
  f.val.assign(val, val + nzcnt);
  return addFilter(env, lp, std::move(f), lname);
}

int getsolnpoolnumfilters(Env&, model::Problem& lp, int* result_out) {
  const model::Attachments* a = model::findAttachments(lp);
  *result_out = model::isMipType(lp.probtype) && a ? static_cast<int>(a->filters.size()) : 0;
  return 0;
}

int getsolnpoolfiltertype(Env&, model::Problem& lp, int* ftype_p, int which) {
  if (!ftype_p) return 1004;
  int st = 0;
  const model::PoolFilter* f = filterAt(lp, which, &st);
  if (!f) return st;
  *ftype_p = f->diversity ? kFilterDiversity : kFilterRange;
  return 0;
}

int getsolnpooldivfilter(Env&, model::Problem& lp, double* lower_cutoff_p, double* upper_cutoff_p, int* nzcnt_p,
                         int* ind, double* val, double* refval, int space, int* surplus_p, int which) {
  int st = 0;
  const model::PoolFilter* f = filterAt(lp, which, &st);
  if (!f) return st;
  if (!f->diversity) return 1003;
  if (lower_cutoff_p) *lower_cutoff_p = f->lower;
  if (upper_cutoff_p) *upper_cutoff_p = f->upper;
  return sparseOut(*f, nzcnt_p, ind, val, refval, space, surplus_p);
}

int getsolnpoolrngfilter(Env&, model::Problem& lp, double* lb_p, double* ub_p, int* nzcnt_p, int* ind, double* val,
                         int space, int* surplus_p, int which) {
  int st = 0;
  const model::PoolFilter* f = filterAt(lp, which, &st);
  if (!f) return st;
  if (f->diversity) return 1003;
  if (lb_p) *lb_p = f->lower;
  if (ub_p) *ub_p = f->upper;
  return sparseOut(*f, nzcnt_p, ind, val, nullptr, space, surplus_p);
}

int getsolnpoolfiltername(Env& env, model::Problem& lp, char* buf_str, long long bufspace, long long* surplus_p,
                          int which) {
  int st = 0;
  if (!filterAt(lp, which, &st)) return st;
  return stringOut(env, filterName(model::findAttachments(lp)->filters, which), buf_str, bufspace, surplus_p);
}

int getsolnpoolfilterindex(Env& env, model::Problem& lp, const char* lname, int* index_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!lname || !index_p) return 1004;
  std::string s;
  if (int st = model::ops::nameIn(env, lname, s)) return st;
  const model::Attachments* a = model::findAttachments(lp);
  if (a)
    for (size_t k = 0; k < a->filters.size(); ++k)
      if (filterName(a->filters, k) == s) {
        *index_p = static_cast<int>(k);
        return 0;
      }
  return 1210;
}

int delsolnpoolfilters(Env& env, model::Problem& lp, int begin, int end) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (end < begin) return 0;
  model::Attachments* a = model::attachments(lp, false);
  const int have = a ? static_cast<int>(a->filters.size()) : 0;
  if (int st = checkRange(env, "VNTdelsolnpoolfilters", begin, end, have)) return st;
  fixFilterNames(a->filters);
  a->filters.erase(a->filters.begin() + begin, a->filters.begin() + end + 1);
  return 0;
}

int delsetsolnpoolfilters(Env&, model::Problem& lp, int* delstat) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!delstat) return 1004;
  model::Attachments* a = model::attachments(lp, false);
  if (!a) return 0;
  fixFilterNames(a->filters);
  std::vector<model::PoolFilter> kept;
  int next = 0;
  for (size_t k = 0; k < a->filters.size(); ++k) {
    if (delstat[k] == 1) {
      delstat[k] = -1;
      continue;
    }
    delstat[k] = next++;
    kept.push_back(std::move(a->filters[k]));
  }
  a->filters.swap(kept);
  return 0;
}

// ---------------------------------------------------------------------------

int populate(Env& env, model::Problem& lp) { return mip::populate(env, lp); }

int fltwrite(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  if (int st = model::flushCache(env, lp)) return st;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  const model::Attachments* a = model::findAttachments(lp);
  const std::vector<model::PoolFilter> none;
  io::ChannelMessages msg(env);
  return io::writeFilterFile(filename_str, md, a ? a->filters : none, msg, io::settingsFromEnv(env));
}

// The filters of the file replace the problem's, only when the whole file
// is read and every diversity filter names binary columns only.
int readcopysolnpoolfilters(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  if (!model::isMipType(lp.probtype)) return 3003;
  if (int st = model::flushCache(env, lp)) return st;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  io::ChannelMessages msg(env);
  std::vector<model::PoolFilter> filters;
  if (int st = io::readFilterFile(filename_str, md, filters, msg, io::settingsFromEnv(env))) return st;
  for (const model::PoolFilter& f : filters)
    if (f.diversity)
      for (int j : f.ind)
        if (!binaryColumn(*lp.data, j)) return 3414;
  model::Attachments* a = model::attachments(lp, true);
  if (!a) return 1001;
  a->filters.swap(filters);
  return 0;
}

int solwritesolnpool(Env& env, model::Problem& lp, int soln, const char* filename_str) {
  if (!filename_str) return 1421;
  const std::vector<double>* x = nullptr;
  double obj = 0.0;
  if (int st = solutionOf(env, lp, soln, &x, &obj)) return st;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  const mip::SolutionPool* p = mip::findPool(lp);
  const std::string name = soln == -1 ? "incumbent" : p->nameOf(soln);
  std::vector<io::SolutionRecord> recs{poolRecord(env, lp, md, soln, name, *x, obj)};
  io::ChannelMessages msg(env);
  return io::writeSolutionXml(filename_str, md, recs, false, msg);
}

int solwritesolnpoolall(Env& env, model::Problem& lp, const char* filename_str) {
  if (!filename_str) return 1421;
  mip::SolutionPool* p = nullptr;
  if (int st = poolOf(env, lp, &p)) return st;
  if (p->sols.empty()) return 1217;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  std::vector<io::SolutionRecord> recs;
  for (size_t k = 0; k < p->sols.size(); ++k)
    recs.push_back(poolRecord(env, lp, md, static_cast<int>(k), p->nameOf(k), p->sols[k].x, p->sols[k].obj));
  io::ChannelMessages msg(env);
  return io::writeSolutionXml(filename_str, md, recs, true, msg);
}

}  // namespace vnt::chk
