// Feasibility repair: the rows, bounds and indicator constraints the caller
// allows to move are relaxed by elastic variables, and a measure of the
// relaxation is minimized; the odd modes then optimize the original objective
// among the points whose measure is least.  The relaxed point becomes the
// problem's solution.
//
// Elastic form: a relaxable row a_i x <= b gets a_i x - e <= b (e >= 0), a >=
// row a_i x + e >= b, an equality or ranged row both; a relaxable lower bound
// l_j becomes the row x_j + e >= l_j with x_j's own lower bound dropped, an
// upper bound likewise; an indicator constraint gets its elastic variable in
// its own linear part.  Relaxations come in groups (one per row or bound for
// the array form); a group's unit cost is the reciprocal of its preference.
//
// Measures (VNTPARAM_Feasopt_Mode 0/1, 2/3, 4/5):
//  - sum: the weighted sum of the elastic variables, an LP (or a MIP when the
//    model has integer columns or special constraints);
//  - count: a binary switch per group, forced on by indicator constraints
//    whenever one of its elastic variables is positive; always a MIP;
//  - squares: the weighted sum of squares, minimized by outer linearization:
//    a variable t_g per group bounded below by tangent cuts of w_g * sum e^2,
//    cuts added at each solution until the cut model's optimum (a lower
//    bound) meets the true value of its point (an upper bound) within the
//    feasopt tolerance.
// Second phase: the original objective with the measure held at most at its
// least value (plus the feasopt tolerance); the least squares relaxation is
// unique, so for squares the elastic variables keep their values.
#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/limits.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

namespace {

constexpr double kInf = 1e20;
constexpr int kParamFeasoptMode = 1084;
constexpr int kParamFeasoptTol = 2073;
// Rounds of tangent cuts before the squares measure gives up on closing its
// gap (the point reached is still a feasible relaxation).
constexpr int kMaxCutRounds = 400;
constexpr int kMaxMipCutRounds = 60;
// Relative gap at which the squares measure counts as least: the measure is
// flat at its optimum, so a gap of g leaves the point within about sqrt(g).
constexpr double kSquaresGap = 1e-12;
constexpr double kSquaresFeasTol = 1e-9;
constexpr double kSquaresNearGap = 1e-7;
// An elastic variable at most this large counts as not relaxed (count
// measure of the final point).
constexpr double kRelaxedZero = 1e-9;

enum MemberKind : int { kLowerBound = 1, kUpperBound = 2, kRow = 3, kIndicator = 6 };
enum Measure : int { kSum = 0, kCount = 1, kSquares = 2 };

struct RelaxGroup {
  double pref = 0.0;
  std::vector<int> kind, index;
};

struct Elastic {
  model::ModelData md;
  int n = 0;                      // original columns
  std::vector<int> groupOfCol;    // for each column from n: its group (-1 for switches and t)
  std::vector<double> w;          // unit cost of each group
  std::vector<std::vector<int>> groupCols;  // elastic columns of each group
  std::vector<int> measureCol;    // count: switch column; squares: t column (per group, -1 none)
  bool mip = false;
};

int addRow(model::ModelData& md, double rhs, char sense, const char* prefix) {
  md.rhs.push_back(rhs);
  md.sense.push_back(sense);
  if (!md.rngval.empty()) md.rngval.push_back(0.0);
  if (!md.rowname.empty()) md.rowname.push_back(prefix + std::to_string(md.rhs.size()));
  return md.numRows() - 1;
}

// Appends a column with the given entries.
int addCol(model::ModelData& md, double obj, double lb, double ub, char type, const std::vector<int>& rows,
           const std::vector<double>& vals) {
  md.obj.push_back(obj);
  md.lb.push_back(lb);
  md.ub.push_back(ub);
  if (!md.ctype.empty()) md.ctype.push_back(type);
  if (!md.colname.empty()) md.colname.push_back("feasopt_c" + std::to_string(md.obj.size()));
  for (size_t k = 0; k < rows.size(); ++k) {
    md.matind.push_back(rows[k]);
    md.matval.push_back(vals[k]);
  }
  md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  return md.numCols() - 1;
}

// Adds the entries (rows[k], vals[k]) to the existing column j (rebuilds the
// matrix once for all of them: entries are collected per column first).
void addEntries(model::ModelData& md, const std::vector<std::vector<std::pair<int, double>>>& extra) {
  std::vector<int64_t> beg{0};
  std::vector<int> ind;
  std::vector<double> val;
  ind.reserve(md.matind.size());
  for (int j = 0; j < md.numCols(); ++j) {
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      ind.push_back(md.matind[k]);
      val.push_back(md.matval[k]);
    }
    if (j < static_cast<int>(extra.size()))
      for (const auto& [r, v] : extra[j]) {
        ind.push_back(r);
        val.push_back(v);
      }
    beg.push_back(static_cast<int64_t>(ind.size()));
  }
  md.matbeg.swap(beg);
  md.matind.swap(ind);
  md.matval.swap(val);
}

Elastic elasticModel(const model::ModelData& orig, const std::vector<RelaxGroup>& groups, Measure measure) {
  Elastic el;
  model::ModelData& md = el.md;
  md = orig;
  md.qobj.clear();
  md.usercuts.clear();
  md.objectives.clear();
  md.objsen = 1;
  md.objoffset = 0.0;
  std::fill(md.obj.begin(), md.obj.end(), 0.0);
  el.n = orig.numCols();
  const int n = el.n;
  el.mip = orig.isMip() || !orig.indconstr.empty() || measure == kCount;
  if (el.mip && md.ctype.empty()) md.ctype.assign(n, 'C');
  const int ng = static_cast<int>(groups.size());
  el.w.assign(ng, 0.0);
  el.groupCols.assign(ng, {});
  el.measureCol.assign(ng, -1);
  // Bound rows, one per relaxed bound whatever the number of groups naming it.
  std::vector<int> lbRow(n, -1), ubRow(n, -1);
  std::vector<std::vector<std::pair<int, double>>> extra(n);
  auto boundRow = [&](int j, bool lower) {
    int& r = lower ? lbRow[j] : ubRow[j];
    if (r >= 0) return r;
    if (lower) {
      r = addRow(md, orig.lb[j], 'G', "feasopt_lb");
      md.lb[j] = -kInf;
    } else {
      r = addRow(md, orig.ub[j], 'L', "feasopt_ub");
      md.ub[j] = kInf;
    }
    // A binary column with a movable bound is an integer one.
    if (!md.ctype.empty() && md.ctype[j] == 'B') md.ctype[j] = 'I';
    extra[j].push_back({r, 1.0});
    return r;
  };
  struct Pending {
    int group, row, ind;
    double coef;
  };
  std::vector<Pending> cols;
  for (int g = 0; g < ng; ++g) {
    const RelaxGroup& gr = groups[g];
    if (!(gr.pref > 0)) continue;
    el.w[g] = 1.0 / gr.pref;
    for (size_t q = 0; q < gr.kind.size(); ++q) {
      const int k = gr.index[q];
      switch (gr.kind[q]) {
        case kRow: {
          const char s = orig.sense[k];
          if (s != 'G') cols.push_back({g, k, -1, -1.0});
          if (s != 'L') cols.push_back({g, k, -1, 1.0});
          break;
        }
        case kLowerBound:
          if (orig.lb[k] > -kInf) cols.push_back({g, boundRow(k, true), -1, 1.0});
          break;
        case kUpperBound:
          if (orig.ub[k] < kInf) cols.push_back({g, boundRow(k, false), -1, -1.0});
          break;
        case kIndicator: {
          const char s = orig.indconstr[k].sense;
          if (s != 'G') cols.push_back({g, -1, k, -1.0});
          if (s != 'L') cols.push_back({g, -1, k, 1.0});
          break;
        }
        default: break;
      }
    }
  }
  addEntries(md, extra);
  for (const Pending& p : cols) {
    std::vector<int> rows;
    std::vector<double> vals;
    if (p.row >= 0) {
      rows.push_back(p.row);
      vals.push_back(p.coef);
    }
    const int c = addCol(md, measure == kSum ? el.w[p.group] : 0.0, 0.0, kInf, 'C', rows, vals);
    if (p.ind >= 0) {
      md.indconstr[p.ind].ind.push_back(c);
      md.indconstr[p.ind].val.push_back(p.coef);
    }
    el.groupOfCol.push_back(p.group);
    el.groupCols[p.group].push_back(c);
  }
  if (measure == kCount) {
    for (int g = 0; g < ng; ++g) {
      if (el.groupCols[g].empty()) continue;
      const int z = addCol(md, el.w[g], 0.0, 1.0, 'B', {}, {});
      el.groupOfCol.push_back(-1);
      el.measureCol[g] = z;
      // Switch off: every elastic variable of the group is zero.
      for (int c : el.groupCols[g]) {
        model::IndicatorConstraint ic;
        ic.name = "feasopt_i" + std::to_string(md.indconstr.size() + 1);
        ic.indvar = z;
        ic.complemented = true;
        ic.sense = 'L';
        ic.rhs = 0.0;
        ic.ind = {c};
        ic.val = {1.0};
        md.indconstr.push_back(std::move(ic));
      }
    }
  } else if (measure == kSquares) {
    for (int g = 0; g < ng; ++g)
      if (!el.groupCols[g].empty()) {
        el.measureCol[g] = addCol(md, 1.0, 0.0, kInf, 'C', {}, {});
        el.groupOfCol.push_back(-1);
      }
  }
  return el;
}

// The measure of a point of the elastic model, per group.
double groupMeasure(const Elastic& el, Measure measure, int g, const std::vector<double>& x) {
  double s = 0.0;
  switch (measure) {
    case kSum:
      for (int c : el.groupCols[g]) s += std::max(0.0, x[c]);
      return el.w[g] * s;
    case kCount:
      for (int c : el.groupCols[g])
        if (x[c] > kRelaxedZero) return el.w[g];
      return 0.0;
    case kSquares:
      for (int c : el.groupCols[g]) s += x[c] * x[c];
      return el.w[g] * s;
  }
  return 0.0;
}

double totalMeasure(const Elastic& el, Measure measure, const std::vector<double>& x) {
  double s = 0.0;
  for (size_t g = 0; g < el.groupCols.size(); ++g) s += groupMeasure(el, measure, static_cast<int>(g), x);
  return s;
}

// Tangent cut of w_g * sum e^2 at the point: t_g - w_g sum 2 a e >= -w_g sum a^2.
void addTangent(model::ModelData& md, const Elastic& el, int g, const std::vector<double>& x) {
  const int r = addRow(md, 0.0, 'G', "feasopt_t");
  double rhs = 0.0;
  std::vector<std::vector<std::pair<int, double>>> extra(md.numCols());
  extra[el.measureCol[g]].push_back({r, 1.0});
  for (int c : el.groupCols[g]) {
    const double a = std::max(0.0, x[c]);
    rhs -= el.w[g] * a * a;
    if (a != 0.0) extra[c].push_back({r, -2.0 * el.w[g] * a});
  }
  md.rhs[r] = rhs;
  addEntries(md, extra);
}

class Repair {
 public:
  Repair(Env& env, const SubBudget& budget, bool mip, double feasTol)
      : env_(env), budget_(budget), mip_(mip), feasTol_(feasTol) {}
  // One solve of md; keeps the LP basis for the next solve of the same model
  // with rows appended.
  int solve(const model::ModelData& md, SubResult& r, bool warm) {
    if (mip_) return solveSubMip(env_, md, budget_, r, true);
    std::vector<int> rstat = rstat_;
    rstat.resize(md.numRows(), simplex::kBasisBasic);
    const bool useBasis = warm && static_cast<int>(cstat_.size()) == md.numCols();
    if (int st = solveSubLp(env_, md, r, useBasis ? &cstat_ : nullptr, useBasis ? &rstat : nullptr, feasTol_))
      return st;
    cstat_ = r.cstat;
    rstat_ = r.rstat;
    return 0;
  }

 private:
  Env& env_;
  const SubBudget& budget_;
  bool mip_;
  double feasTol_;
  std::vector<int> cstat_, rstat_;
};

// The solution status the repair leaves: a relaxed status by measure and
// phase when the first phase reached its optimum; otherwise what the
// optimizer said about the elastic model, in the problem's own table.
int finalStatus(const SubResult& r, bool havePoint, bool second, bool mipProblem, Measure measure) {
  if (havePoint && r.kind == kSubOptimal) return (mipProblem ? 120 : 14) + 2 * static_cast<int>(measure) + (second ? 1 : 0);
  switch (r.kind) {
    case kSubInfeasible: return mipProblem ? 103 : 3;  // the parts that may not move conflict on their own
    case kSubAborted: return mipProblem ? 126 : 13;
    case kSubUnbounded: return mipProblem ? 118 : 2;
    default: break;
  }
  // A limit or a failure: the MIP's own status on a MIP, the matching LP
  // status on an LP (whose count measure ran as a MIP).
  if (mipProblem) return r.stat ? r.stat : 110;
  switch (r.stat) {
    case static_cast<int>(simplex::LpStatus::kIterationLimit): case 203: case 204: return 10;
    case static_cast<int>(simplex::LpStatus::kTimeLimit): case 107: case 108: return 11;
    case static_cast<int>(simplex::LpStatus::kDetTimeLimit): case 131: case 132: return 25;
    default: return 6;
  }
}

int feasoptRun(Env& env, model::Problem& lp, std::vector<RelaxGroup> groups) {
  const bool mipProblem = model::isMipType(lp.probtype);
  if (lp.probtype != model::kLP && lp.probtype != model::kMILP) return mipProblem ? 1017 : 1018;
  const int mode = params::getInt(env, kParamFeasoptMode);
  const Measure measure = static_cast<Measure>(mode / 2);
  const bool phase2 = mode % 2 == 1;
  const double relTol = params::getDbl(env, kParamFeasoptTol);
  model::ModelData orig;
  if (int st = model::exportData(lp, orig)) return st;
  if (!mipProblem) {
    orig.ctype.clear();
    orig.sos.clear();
    orig.pwl.clear();
    orig.indconstr.clear();
  }
  const int n = orig.numCols(), m = orig.numRows();
  Elastic el = elasticModel(orig, groups, measure);
  if (int push = pushLimitFrameFromParams(env)) return push;
  SubBudget budget(env);
  // The cut model of the squares is solved to a tight feasibility tolerance:
  // its cuts bound the gap it can close.
  const double feasTol = measure == kSquares ? kSquaresFeasTol : 0.0;
  Repair rep(env, budget, el.mip, feasTol);
  SubResult r;
  int err = 0;
  // Phase 1.
  model::ModelData md = el.md;
  double least = 0.0;
  if ((err = rep.solve(md, r, false)) == 0 && measure == kSquares) {
    double prevLower = -kInf;
    int stalled = 0;
    for (int round = 0; r.kind == kSubOptimal; ++round) {
      const double upper = totalMeasure(el, measure, r.x);
      const double lower = r.obj;
      // Near the optimum the cut model's value stops rising when the
      // solver's tolerances are reached: stop there too.
      const bool near = upper - lower <= kSquaresNearGap * (1.0 + std::fabs(upper));
      stalled = near && lower <= prevLower + kSquaresGap * (1.0 + std::fabs(lower)) ? stalled + 1 : 0;
      prevLower = std::max(prevLower, lower);
      if (stalled >= 3) break;
      if (upper - lower <= kSquaresGap * (1.0 + std::fabs(upper))) break;
      if (round == (el.mip ? kMaxMipCutRounds : kMaxCutRounds)) break;
      for (size_t g = 0; g < el.groupCols.size(); ++g) {
        if (el.measureCol[g] < 0) continue;
        const double f = groupMeasure(el, measure, static_cast<int>(g), r.x);
        if (f > r.x[el.measureCol[g]] + 0.5 * kSquaresGap * (1.0 + f)) addTangent(md, el, static_cast<int>(g), r.x);
      }
      SubResult next;
      if ((err = rep.solve(md, next, true)) != 0) break;
      // A limit inside the refinement: the last point is still a relaxation.
      if (next.kind != kSubOptimal) break;
      r = std::move(next);
    }
  }
  std::vector<double> x;
  bool havePoint = false;
  bool second = false;
  if (!err && r.hasX) {
    x = r.x;
    havePoint = true;
    least = totalMeasure(el, measure, x);
    if (phase2 && r.kind == kSubOptimal) {
      // Phase 2: the original objective over the least measure.
      model::ModelData p2 = el.md;
      p2.objsen = orig.objsen;
      p2.objoffset = orig.objoffset;
      std::fill(p2.obj.begin(), p2.obj.end(), 0.0);
      for (int j = 0; j < n; ++j) p2.obj[j] = orig.obj[j];
      if (measure == kSquares) {
        // The least squares relaxation is unique (the measure is strictly
        // convex in the elastic variables): it stays as the first phase
        // found it.
        for (int c = n; c < p2.numCols(); ++c)
          if (el.groupOfCol[c - n] >= 0) p2.lb[c] = p2.ub[c] = std::max(0.0, x[c]);
      } else {
        const double cap = least + relTol * (1.0 + std::fabs(least));
        const int br = addRow(p2, cap, 'L', "feasopt_budget");
        std::vector<std::vector<std::pair<int, double>>> extra(p2.numCols());
        for (size_t g = 0; g < el.groupCols.size(); ++g) {
          if (measure == kSum) {
            for (int c : el.groupCols[g]) extra[c].push_back({br, el.w[g]});
          } else if (el.measureCol[g] >= 0) {
            extra[el.measureCol[g]].push_back({br, el.w[g]});
          }
        }
        addEntries(p2, extra);
      }
      Repair rep2(env, budget, el.mip, 0.0);
      SubResult r2;
      // Without an optimum of the second phase (unbounded objective, a
      // limit) the first phase's point stands.
      if (rep2.solve(p2, r2, false) == 0 && r2.kind == kSubOptimal) {
        x = r2.x;
        second = true;
      }
    }
  }
  popLimitFrame(env);
  if (err) return err;
  const int stat = finalStatus(r, havePoint, second, mipProblem, measure);
  simplex::LpState* s = simplex::lpState(lp);
  if (!s) return 1001;
  s->clearSolution();
  s->stat = stat;
  if (havePoint) {
    s->x.assign(x.begin(), x.begin() + n);
    std::vector<double> ax(m);
    rowActivities(orig, s->x.data(), ax.data());
    s->slack.resize(m);
    for (int i = 0; i < m; ++i) s->slack[i] = orig.rhs[i] - ax[i];
    double cx = orig.objoffset;
    for (int j = 0; j < n; ++j) cx += orig.obj[j] * s->x[j];
    // Without the second phase the objective value is the measure of the
    // relaxation; with it, the original objective at the relaxed point.
    s->objval = second ? cx : totalMeasure(el, measure, x);
    s->method = el.mip ? 0 : simplex::kMethodDual;
    s->primalFeasible = false;
  } else {
    s->noSolution = true;
  }
  return 0;
}

int checkPrefs(const double* p, int count) {
  if (p)
    for (int k = 0; k < count; ++k)
      if (std::isnan(p[k])) return 1003;
  return 0;
}

}  // namespace

}  // namespace vnt::tools

namespace vnt::chk {

int feasopt(Env& env, model::Problem& lp, const double* rhs, const double* rng, const double* lb, const double* ub) {
  return model::ops::guarded([&] {
    if (int st = model::flushCache(env, lp)) return st;
    const int n = lp.data->numCols(), m = lp.data->numRows();
    if (int st = tools::checkPrefs(rhs, m)) return st;
    if (int st = tools::checkPrefs(rng, m)) return st;
    if (int st = tools::checkPrefs(lb, n)) return st;
    if (int st = tools::checkPrefs(ub, n)) return st;
    auto pref = [](const double* p, int k) { return p && p[k] > 0 ? p[k] : 0.0; };
    std::vector<tools::RelaxGroup> groups;
    for (int i = 0; i < m; ++i) {
      double p = pref(rhs, i);
      if (lp.data->sense[i] == 'R') p = std::max(p, pref(rng, i));
      if (p > 0) groups.push_back({p, {tools::kRow}, {i}});
    }
    for (int j = 0; j < n; ++j) {
      if (pref(lb, j) > 0) groups.push_back({pref(lb, j), {tools::kLowerBound}, {j}});
      if (pref(ub, j) > 0) groups.push_back({pref(ub, j), {tools::kUpperBound}, {j}});
    }
    return tools::feasoptRun(env, lp, std::move(groups));
  });
}

int feasoptext(Env& env, model::Problem& lp, int grpcnt, long long concnt, const double* grppref,
               const long long* grpbeg, const int* grpind, const char* grptype) {
  if (grpcnt < 0 || concnt < 0) return 1003;
  if (grpcnt > 0 && (!grpbeg || !grppref)) return 1004;
  if (concnt > 0 && (!grpind || !grptype)) return 1004;
  return model::ops::guarded([&] {
    if (int st = model::flushCache(env, lp)) return st;
    const int n = lp.data->numCols(), m = lp.data->numRows();
    const int nind = static_cast<int>(lp.data->indconstr.size());
    std::vector<tools::RelaxGroup> groups(grpcnt);
    for (int g = 0; g < grpcnt; ++g) {
      const long long b = grpbeg[g], e = g + 1 < grpcnt ? grpbeg[g + 1] : concnt;
      if (b < 0 || e < b || e > concnt || std::isnan(grppref[g])) return 1003;
      groups[g].pref = grppref[g];
      for (long long q = b; q < e; ++q) {
        const int kind = static_cast<unsigned char>(grptype[q]);
        const int k = grpind[q];
        switch (kind) {
          case tools::kRow:
            if (k < 0 || k >= m) return reportError(env, 1203, static_cast<long long>(k));
            break;
          case tools::kLowerBound:
          case tools::kUpperBound:
            if (k < 0 || k >= n) return reportError(env, 1201, static_cast<long long>(k));
            break;
          case tools::kIndicator:
            if (k < 0 || k >= nind) return 1200;
            break;
          default:
            // Quadratic, special-ordered-set and piecewise-linear
            // constraints have no elastic form here.
            return 1003;
        }
        groups[g].kind.push_back(kind);
        groups[g].index.push_back(k);
      }
    }
    return tools::feasoptRun(env, lp, std::move(groups));
  });
}

}  // namespace vnt::chk
