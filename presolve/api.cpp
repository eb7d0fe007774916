// The presolve operations: presolve a problem on request, query and free the
// result, write the reduced problem, and map vectors and linear forms between
// the original and the reduced problem.
#include <algorithm>
#include <cmath>
#include <new>

#include "api/chk_decls.h"
#include "model/opsupport.h"
#include "presolve/presolve.h"
#include "presolve/crush.h"
#include "presolve/records.h"
#include "simplex/lpdriver.h"

namespace vnt::presolve {

const char* typeWord(const model::Problem& p) {
  switch (p.probtype) {
    case model::kMILP:
    case model::kFixedMILP: return "MIP";
    case model::kQP: return "QP";
    case model::kQCP: return "QCP";
    case model::kMIQP:
    case model::kFixedMIQP: return "MIQP";
    case model::kMIQCP:
    case model::kFixedMIQCP: return "MIQCP";
    default: return "LP";
  }
}

}  // namespace vnt::presolve

namespace vnt::chk {

using presolve::findState;
using presolve::PresolveState;

namespace {

// Run presolve on the problem and keep the result; a presolve that settles
// the problem sets the LP status (3, 2 or 4) and returns its outcome code.
int presolveProblem(Env& env, model::Problem& lp) {
  if (int st = model::ops::refuseFixed(lp)) return st;
  if (int st = model::flushCache(env, lp)) return st;
  if (!lp.data->objectives.empty()) return 1070;
  lp.state[model::kSlotPresolve].reset();
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  std::unique_ptr<presolve::Presolved> pre(new (std::nothrow) presolve::Presolved);
  if (!pre) return 1001;
  const bool mip = model::isMipType(lp.probtype);
  const presolve::Options opt = presolve::optionsFromParams(env, mip);
  const int st = presolve::run(env, md, opt, presolve::typeWord(lp), *pre);
  if (st == 1001) {
    print(env, Chan::Results, "Insufficient memory for presolve.\n");
    return 1001;
  }
  if (st == presolve::kInfeasible || st == presolve::kUnbounded || st == presolve::kInfeasibleOrUnbounded) {
    if (simplex::LpState* s = simplex::lpState(lp)) {
      s->clearSolution();
      s->noSolution = true;
      s->stat = st == presolve::kInfeasible ? 3 : st == presolve::kUnbounded ? 2 : 4;
    }
    return st;
  }
  if (st) return st;
  return presolve::storeState(env, lp, std::move(pre));
}

const presolve::Presolved* presolved(const model::Problem& lp) {
  const PresolveState* s = findState(lp);
  return s && s->pre ? s->pre.get() : nullptr;
}

}  // namespace

int presolve(Env& env, model::Problem& lp, int method) {
  if (method < 0 || method > 6) return 1003;
  return presolveProblem(env, lp);
}

int freepresolve(Env&, model::Problem& lp) {
  lp.state[model::kSlotPresolve].reset();
  return 0;
}

int getprestat(Env&, model::Problem& lp, int* prestat_p, int* pcstat, int* prstat, int* ocstat, int* orstat) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) {
    if (prestat_p) *prestat_p = 0;
    if (pcstat || prstat || ocstat || orstat) return presolve::kNoPresolvedProblem;
    return 0;
  }
  if (prestat_p) *prestat_p = pre->allEliminated() ? 2 : 1;
  if (pcstat || prstat) {
    // Removed columns: -1 fixed at the lower bound, -2 at the upper bound,
    // -3 fixed at another value, -4 substituted out.  Removed rows: -1
    // redundant, -2 used for a substitution, -3 turned into bounds.
    std::vector<int> pc(pre->colReduced), pr(pre->rowReduced);
    const presolve::Postsolve& ps = *pre->post;
    const model::ModelData& o = ps.orig;
    for (const presolve::Record& r : ps.recs) {
      switch (r.kind) {
        case presolve::RecKind::kFixedCol:
          pc[r.j] = r.a == o.lb[r.j] ? -1 : r.a == o.ub[r.j] ? -2 : -3;
          break;
        case presolve::RecKind::kFreeSingleton: pc[r.j] = -4; pr[r.i] = -2; break;
        case presolve::RecKind::kDoubleton: pc[r.k] = -4; pr[r.i] = -2; break;
        case presolve::RecKind::kSingletonRow: pr[r.i] = -3; break;
        case presolve::RecKind::kParallelRow: pr[r.k] = -1; break;
        case presolve::RecKind::kSubstitution: pc[r.j] = -4; pr[r.i] = -2; break;
        case presolve::RecKind::kDuplicateCol: pc[r.k] = -4; break;
        case presolve::RecKind::kSlackSingleton: pc[r.j] = -4; break;
        case presolve::RecKind::kSubsetRow: break;  // both rows stay; the fixed columns have their records
        default:
          if (r.i >= 0) pr[r.i] = -1;
          break;
      }
    }
    if (pcstat) std::copy(pc.begin(), pc.end(), pcstat);
    if (prstat) std::copy(pr.begin(), pr.end(), prstat);
  }
  if (ocstat) std::copy(pre->colOrig.begin(), pre->colOrig.end(), ocstat);
  if (orstat) std::copy(pre->rowOrig.begin(), pre->rowOrig.end(), orstat);
  return 0;
}

int getredlp(Env&, model::Problem& lp, VNTCLPptr* redlp_p) {
  if (!redlp_p) return 1004;
  const PresolveState* s = findState(lp);
  if (!s || !s->reducedProblem) {
    *redlp_p = nullptr;
    return presolve::kNoPresolvedProblem;
  }
  *redlp_p = reinterpret_cast<VNTCLPptr>(s->reducedProblem);
  return 0;
}

int crushx(Env&, model::Problem& lp, const double* x, double* prex) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (!x || !prex) return 1004;
  pre->crushX(x, prex);
  return 0;
}

int uncrushx(Env&, model::Problem& lp, double* x, const double* prex) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (!x || !prex) return 1004;
  pre->uncrushX(prex, x);
  return 0;
}

int crushpi(Env&, model::Problem& lp, const double* pi, double* prepi) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (!pi || !prepi) return 1004;
  pre->crushPi(pi, prepi);
  return 0;
}

int uncrushpi(Env&, model::Problem& lp, double* pi, const double* prepi) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (!pi || !prepi) return 1004;
  if (pre->mip) return 1017;
  // The reduced duals with the reduced costs they imply; every reduced
  // column taken as basic so that the records keep those duals.
  const model::ModelData& r = pre->reduced;
  presolve::Solution red, orig;
  red.pi.assign(prepi, prepi + r.numRows());
  red.x.assign(r.numCols(), 0.0);
  red.dj.resize(r.numCols());
  red.cstat.assign(r.numCols(), presolve::kBasic);
  red.rstat.assign(r.numRows(), presolve::kBasic);
  for (int j = 0; j < r.numCols(); ++j) {
    double d = r.obj[j];
    for (int64_t k = r.matbeg[j]; k < r.matbeg[j + 1]; ++k) d -= r.matval[k] * red.pi[r.matind[k]];
    red.dj[j] = d;
  }
  pre->uncrush(red, orig, true);
  std::copy(orig.pi.begin(), orig.pi.end(), pi);
  return 0;
}

int crushform(Env&, model::Problem& lp, int len, const int* ind, const double* val, int* plen_p,
              double* poffset_p, int* pind, double* pval) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (len < 0) return 1003;
  if ((len > 0 && (!ind || !val)) || !plen_p || !poffset_p || !pind || !pval) return 1004;
  const int n = pre->origCols;
  std::vector<double> coef(n, 0.0);
  for (int t = 0; t < len; ++t) {
    if (ind[t] < 0 || ind[t] >= n) return 1200;
    coef[ind[t]] += val[t];
  }
  double offset = 0.0;
  presolve::crushForm(*pre->post, coef, offset);
  int cnt = 0;
  for (size_t jr = 0; jr < pre->colOrig.size(); ++jr) {
    const double v = coef[pre->colOrig[jr]];
    if (v == 0.0) continue;
    pind[cnt] = static_cast<int>(jr);
    pval[cnt] = v;
    ++cnt;
  }
  *plen_p = cnt;
  *poffset_p = offset;
  return 0;
}

int uncrushform(Env&, model::Problem& lp, int plen, const int* pind, const double* pval, int* len_p,
                double* offset_p, int* ind, double* val) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (plen < 0) return 1003;
  if ((plen > 0 && (!pind || !pval)) || !len_p || !offset_p || !ind || !val) return 1004;
  const int nr = static_cast<int>(pre->colOrig.size());
  for (int t = 0; t < plen; ++t) {
    if (pind[t] < 0 || pind[t] >= nr) return 1200;
    ind[t] = pre->colOrig[pind[t]];
    val[t] = pval[t];
  }
  *len_p = plen;
  *offset_p = 0.0;
  return 0;
}

// Original indices of the reduced problem's columns / rows begin..end.
namespace {
int origIndices(Env& env, const model::Problem& lp, const char* name, bool cols, int* origind, int begin, int end) {
  const presolve::Presolved* pre = presolved(lp);
  if (!pre) return presolve::kNoPresolvedProblem;
  if (!origind) return 1004;
  const std::vector<int>& orig = cols ? pre->colOrig : pre->rowOrig;
  if (int st = model::ops::checkRange(env, name, begin, end, static_cast<int>(orig.size()))) return st;
  if (end >= begin) std::copy(orig.begin() + begin, orig.begin() + end + 1, origind);
  return 0;
}
}  // namespace

int getorigcolind(Env& env, model::Problem& lp, int* origind, int begin, int end) {
  return origIndices(env, lp, "VNTEgetorigcolind", true, origind, begin, end);
}

int getorigrowind(Env& env, model::Problem& lp, int* origind, int begin, int end) {
  return origIndices(env, lp, "VNTEgetorigrowind", false, origind, begin, end);
}

int preslvwrite(Env& env, model::Problem& lp, const char* filename_str, double* objoff_p) {
  if (!filename_str) return 1004;
  if (!presolved(lp))
    if (int st = presolveProblem(env, lp)) return st;
  const PresolveState* s = findState(lp);
  if (!s || !s->reducedProblem) return presolve::kNoPresolvedProblem;
  if (objoff_p) *objoff_p = s->reducedProblem->data->objoffset;
  return writeprob(env, *s->reducedProblem, filename_str, nullptr);
}

}  // namespace vnt::chk
