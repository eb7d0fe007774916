// The working copy of a MIP: the LP the search solves at every node and the
// restriction records it branches on.
//
// Restrictions and how the search enforces them:
//  - integer and binary columns: branching on bounds;
//  - semi-continuous / semi-integer columns with domain {0} u [l,u]: the LP
//    holds the hull [min(0,l), max(0,u)]; a branch fixes the column to 0 or
//    moves it into [l,u] (then integer branching as usual);
//  - special ordered sets: branched as sets (members on one side fixed at 0);
//  - indicator constraints: branching on the indicator column.  The
//    constraint is a row of the LP that stays free until the indicator is
//    fixed at its active value; the reversed direction ("<-", "<->") gets
//    rows that state the constraint's failure (by a margin of a few
//    feasibility tolerances), enforced when the indicator is fixed at the
//    other value, with a branch between the two sides of an equality;
//  - piecewise-linear constraints y = f(x): a reformulation with one weight
//    column per breakpoint and two ray columns for the end slopes,
//      x = sum l_k x_k - r_pre + r_post,  y = sum l_k y_k - s_pre r_pre + s_post r_post,
//      sum l_k = 1,
//    where (r_pre, l_1, ..., l_K, r_post) is a type-2 set whose adjacent
//    pairs at a jump (x_k = x_k+1) may not be nonzero together.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "mip/search.h"
#include "params/params.h"

namespace vnt::mip {

namespace {
enum Param : int {
  kFeas = 1016, kTimeLimit = 1039, kThreads = 1067, kParallel = 1109,
  kBrDir = 2001, kBtTol = 2002, kCutLo = 2006, kCutUp = 2007, kAbsGap = 2008, kRelGap = 2009,
  kIntTol = 2010, kDisplay = 2012, kInterval = 2013, kSolLim = 2015, kNodeLim = 2017,
  kNodeSel = 2018, kStartAlg = 2025, kSubAlg = 2026, kTreLim = 2027, kVarSel = 2028, kHeurFreq = 2031,
  kBBInterval = 2039, kStrongCand = 2045, kStrongIt = 2046, kEmphasis = 2058, kSearch = 2109,
  kAuxRoot = 2139, kIntSolPrefix = 2143, kDetTimeLimit = 1127, kPolishAbsGap = 2126, kPolishRelGap = 2127,
  kPolishNodes = 2128, kPolishSols = 2129, kPolishTime = 2130, kPolishDetTime = 2151,
};
}  // namespace

void readRunParams(Env& env, RunParams& rp) {
  rp.mipGap = params::getDbl(env, kRelGap);
  rp.absGap = params::getDbl(env, kAbsGap);
  rp.intTol = params::getDbl(env, kIntTol);
  rp.feasTol = params::getDbl(env, kFeas);
  rp.upperCutoff = params::getDbl(env, kCutUp);
  rp.lowerCutoff = params::getDbl(env, kCutLo);
  rp.nodeLimit = params::getLong(env, kNodeLim);
  rp.solLimit = params::getLong(env, kSolLim);
  rp.treeMemLimit = params::getDbl(env, kTreLim);
  rp.display = params::getInt(env, kDisplay);
  rp.interval = params::getLong(env, kInterval);
  if (rp.display == 5) rp.interval = 1;
  rp.nodeSelect = params::getInt(env, kNodeSel);
  rp.varSelect = params::getInt(env, kVarSel);
  rp.branchDir = params::getInt(env, kBrDir);
  rp.strongCand = params::getInt(env, kStrongCand);
  rp.strongIt = params::getLong(env, kStrongIt);
  rp.backtrack = params::getDbl(env, kBtTol);
  rp.search = params::getInt(env, kSearch);
  // Branch and cut runs on the threads asked for (automatic: one).
  rp.threads = std::clamp(params::getInt(env, kThreads), 1, tol::kMaxTreeThreads);
  rp.parallel = params::getInt(env, kParallel);
  rp.emphasis = params::getInt(env, kEmphasis);
  rp.auxRootThreads = params::getInt(env, kAuxRoot);
  rp.bbInterval = params::getLong(env, kBBInterval);
  rp.heurFreq = params::getLong(env, kHeurFreq);
  rp.intSolPrefix = params::getStr(env, kIntSolPrefix);
  rp.startAlg = params::getInt(env, kStartAlg);
  rp.subAlg = params::getInt(env, kSubAlg);
  rp.polishAbsGap = params::getDbl(env, kPolishAbsGap);
  rp.polishRelGap = params::getDbl(env, kPolishRelGap);
  rp.polishNodes = params::getLong(env, kPolishNodes);
  rp.polishSols = params::getLong(env, kPolishSols);
  rp.polishTime = params::getDbl(env, kPolishTime);
  rp.polishDetTime = params::getDbl(env, kPolishDetTime);
  rp.timeLimit = params::getDbl(env, kTimeLimit);
  rp.detTimeLimit = params::getDbl(env, kDetTimeLimit);
  readHeuristicParams(env, rp);
  (void)kThreads;
}

bool gapClosed(double inc, double bound, double absGap, double relGap) {
  if (inc >= tol::kNone) return false;
  const double d = std::fabs(inc - bound);
  return d < absGap * tol::kGapAbsFactor || d < (std::fabs(inc) + 1e-10) * relGap;
}

double relativeGap(double inc, double bound, int sense) {
  const double g = sense * (inc - bound) / (std::fabs(inc) + 1e-10);
  if (std::fabs(g) <= 1e-10 || std::fabs(inc - bound) <= 1e-8) return 0.0;
  return g;
}

namespace {

void rowLimits(const model::ModelData& md, int i, double* lo, double* up) {
  const double rhs = md.rhs[i], rng = md.rngval.empty() ? 0.0 : md.rngval[i];
  switch (md.sense[i]) {
    case 'L': *lo = -tol::kInf; *up = rhs; break;
    case 'G': *lo = rhs; *up = tol::kInf; break;
    case 'E': *lo = *up = rhs; break;
    default:
      if (rng >= 0) { *lo = rhs; *up = rhs + rng; }
      else { *lo = rhs + rng; *up = rhs; }
  }
}

// Appends a free row (activity limits in w.lo/w.up are set by the caller)
// with the given terms to the working LP (row-wise staging, merged later).
struct RowStage {
  std::vector<std::vector<std::pair<int, double>>> rows;
};

}  // namespace

namespace {

constexpr long long kMaxDenominator = 1000;  // largest denominator of a cost looked for
constexpr double kMaxCommonDenominator = 1e6;
constexpr double kStepRelTol = 1e-9;         // a cost times its denominator is this close to an integer

bool nearInteger(double v) { return std::fabs(v - std::round(v)) <= kStepRelTol * std::max(1.0, std::fabs(v)); }

// The least q <= kMaxDenominator that makes v * q integral (0: none).
long long denominator(double v) {
  for (long long q = 1; q <= kMaxDenominator; ++q)
    if (nearInteger(v * static_cast<double>(q))) return q;
  return 0;
}

// Objective step: when every column with a cost is an integer column (or
// fixed) and the costs are rational with small denominators (0.25, 0.5,
// 1.25), every objective value is a multiple of gcd(c * L) / L, L the common
// denominator; an incumbent then cuts off everything not one step better.
double objectiveStep(const double* obj, const Working& w) {
  long long common = 1;
  for (int j = 0; j < w.n; ++j) {
    const double c = obj[j];
    if (c == 0.0 || w.lo[j] == w.up[j]) continue;
    if (w.kind[j] != kInt) return 0.0;
    const double scaled = c * static_cast<double>(common);
    if (nearInteger(scaled)) continue;
    const long long q = denominator(scaled);
    if (q == 0 || static_cast<double>(common) * static_cast<double>(q) > kMaxCommonDenominator) return 0.0;
    common *= q;
  }
  long long g = 0;
  for (int j = 0; j < w.n; ++j) {
    const double c = obj[j];
    if (c == 0.0 || w.lo[j] == w.up[j]) continue;
    const double scaled = std::fabs(c) * static_cast<double>(common);
    if (scaled >= 1e15) return 0.0;
    g = std::gcd(g, std::llround(scaled));
  }
  return g > 0 ? static_cast<double>(g) / static_cast<double>(common) : 0.0;
}

}  // namespace

int buildWorking(const model::ModelData& md, const RunParams& rp, Working& w) {
  w = Working();
  w.n0 = md.numCols();
  w.m0 = md.numRows();
  w.sense = md.objsen;
  w.offset = md.objoffset;
  const int n0 = w.n0, m0 = w.m0;

  // Column kinds and LP bounds.
  std::vector<double> clo(md.lb), cup(md.ub);
  w.kind.assign(n0, kCont);
  w.semiLo.assign(n0, 0.0);
  w.semiUp.assign(n0, 0.0);
  for (int j = 0; j < n0; ++j) {
    const char t = md.ctype.empty() ? 'C' : md.ctype[j];
    if (t == 'B') {
      w.kind[j] = kInt;
      clo[j] = std::max(clo[j], 0.0);
      cup[j] = std::min(cup[j], 1.0);
    } else if (t == 'I') {
      w.kind[j] = kInt;
    } else if (t == 'S' || t == 'N') {
      const double l = md.lb[j], u = md.ub[j];
      if (l <= 0.0 && u >= 0.0) {
        w.kind[j] = t == 'N' ? kInt : kCont;  // 0 lies in [l,u]: nothing to choose
      } else {
        w.kind[j] = t == 'S' ? kSemiCont : kSemiInt;
        w.semiLo[j] = l;
        w.semiUp[j] = u;
        clo[j] = std::min(l, 0.0);
        cup[j] = std::max(u, 0.0);
      }
    }
    if (w.kind[j] == kInt || w.kind[j] == kSemiInt) {
      // Integral bounds of integer columns.
      if (w.kind[j] == kInt) {
        if (clo[j] > -tol::kInf) clo[j] = std::ceil(clo[j] - rp.intTol);
        if (cup[j] < tol::kInf) cup[j] = std::floor(cup[j] + rp.intTol);
      }
      ++w.numIntegers;
    }
  }

  // Extra rows and columns.
  RowStage extra;
  std::vector<double> extraLo, extraUp;
  struct NewCol { double lb, ub; };
  std::vector<NewCol> newCols;
  // Column-wise entries of the new columns in original and new rows.
  std::vector<std::vector<std::pair<int, double>>> newColEntries;

  auto addRow = [&](std::vector<std::pair<int, double>> terms, double lo, double up) {
    extra.rows.push_back(std::move(terms));
    extraLo.push_back(lo);
    extraUp.push_back(up);
    return m0 + static_cast<int>(extra.rows.size()) - 1;
  };
  auto addCol = [&](double lb, double ub) {
    newCols.push_back({lb, ub});
    newColEntries.emplace_back();
    return n0 + static_cast<int>(newCols.size()) - 1;
  };

  // Indicator constraints.
  w.indOfCol.assign(n0, {});
  for (const model::IndicatorConstraint& c : md.indconstr) {
    IndicatorRecord r;
    r.z = c.indvar;
    r.active = c.complemented ? 0.0 : 1.0;
    std::vector<std::pair<int, double>> terms;
    for (size_t k = 0; k < c.ind.size(); ++k) terms.emplace_back(c.ind[k], c.val[k]);
    switch (c.sense) {
      case 'L': r.up = c.rhs; break;
      case 'G': r.lo = c.rhs; break;
      default: r.lo = r.up = c.rhs;
    }
    // The failure of a constraint over integer columns with integral data
    // is a violation by 1; otherwise by a margin of a few tolerances.
    bool integralRow = std::fabs(c.rhs - std::round(c.rhs)) == 0.0;
    for (size_t k = 0; k < c.ind.size() && integralRow; ++k) {
      const char t = md.ctype.empty() ? 'C' : md.ctype[c.ind[k]];
      integralRow = (t == 'I' || t == 'B' || t == 'N') && c.val[k] == std::round(c.val[k]);
    }
    const double margin = integralRow ? 1.0 : tol::kIndicatorMargin * rp.feasTol;
    if (c.direction != 1) r.row = addRow(terms, -tol::kInf, tol::kInf);
    if (c.direction != 0) {
      switch (c.sense) {
        case 'L': r.revA = addRow(terms, -tol::kInf, tol::kInf); r.revAlo = c.rhs + margin; break;
        case 'G': r.revA = addRow(terms, -tol::kInf, tol::kInf); r.revAup = c.rhs - margin; break;
        default:
          r.revA = addRow(terms, -tol::kInf, tol::kInf);
          r.revAlo = c.rhs + margin;
          r.revB = addRow(terms, -tol::kInf, tol::kInf);
          r.revBup = c.rhs - margin;
      }
    }
    w.indOfCol[r.z].push_back(static_cast<int>(w.inds.size()));
    w.inds.push_back(r);
  }

  // Special ordered sets.
  for (const model::SosSet& s : md.sos) {
    SetRecord r;
    r.type = s.type == '2' ? '2' : '1';
    std::vector<int> order(s.ind.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return s.weight[a] < s.weight[b]; });
    for (int k : order) {
      r.cols.push_back(s.ind[k]);
      r.weight.push_back(s.weight[k]);
    }
    r.pairOk.assign(r.cols.size(), 1);
    if (r.cols.size() > 1) w.sets.push_back(std::move(r));
  }

  // Piecewise-linear constraints.
  for (const model::PwlConstraint& c : md.pwl) {
    const int K = static_cast<int>(c.x.size());
    if (K == 0) continue;
    SetRecord set;
    set.type = '2';
    const int rx = addRow({{c.xcol, 1.0}}, 0.0, 0.0);
    const int ry = addRow({{c.ycol, 1.0}}, 0.0, 0.0);
    const int rs = addRow({}, 1.0, 1.0);
    const int pre = addCol(0.0, tol::kInf);
    newColEntries.back() = {{rx, 1.0}, {ry, c.preslope}};
    set.cols.push_back(pre);
    for (int k = 0; k < K; ++k) {
      const int l = addCol(0.0, 1.0);
      newColEntries.back() = {{rx, -c.x[k]}, {ry, -c.y[k]}, {rs, 1.0}};
      set.cols.push_back(l);
    }
    const int post = addCol(0.0, tol::kInf);
    newColEntries.back() = {{rx, -1.0}, {ry, -c.postslope}};
    set.cols.push_back(post);
    set.weight.resize(set.cols.size());
    std::iota(set.weight.begin(), set.weight.end(), 0.0);
    set.pairOk.assign(set.cols.size(), 1);
    for (int k = 0; k + 1 < K; ++k) set.pairOk[1 + k] = c.x[k] < c.x[k + 1];
    w.sets.push_back(std::move(set));
  }

  // Lazy constraints bind every solution the search accepts: the working LP
  // carries them as rows from the root on.
  for (const model::LinearConstraint& c : md.lazycons) {
    std::vector<std::pair<int, double>> terms;
    for (size_t k = 0; k < c.ind.size(); ++k) terms.emplace_back(c.ind[k], c.val[k]);
    const double lo = c.sense == 'L' ? -tol::kInf : c.rhs, up = c.sense == 'G' ? tol::kInf : c.rhs;
    addRow(std::move(terms), lo, up);
  }

  // Assemble the working LP (column-wise).
  const int nNew = static_cast<int>(newCols.size()), mNew = static_cast<int>(extra.rows.size());
  w.n = n0 + nNew;
  w.m = m0 + mNew;
  w.kind.resize(w.n, kCont);
  w.semiLo.resize(w.n, 0.0);
  w.semiUp.resize(w.n, 0.0);
  w.indOfCol.resize(w.n);
  model::ModelData& lp = w.lp;
  lp.objsen = md.objsen;
  lp.objoffset = md.objoffset;
  lp.obj = md.obj;
  lp.obj.resize(w.n, 0.0);
  lp.lb = clo;
  lp.ub = cup;
  for (const NewCol& c : newCols) {
    lp.lb.push_back(c.lb);
    lp.ub.push_back(c.ub);
  }
  lp.rhs = md.rhs;
  lp.sense = md.sense;
  lp.rngval = md.rngval;
  if (!lp.rngval.empty()) lp.rngval.resize(w.m, 0.0);
  for (int i = 0; i < mNew; ++i) {
    // Extra rows enter as ranged rows; their limits are set in the engine.
    lp.rhs.push_back(0.0);
    lp.sense.push_back('E');
    if (!lp.rngval.empty()) lp.rngval.push_back(0.0);
  }
  std::vector<std::vector<std::pair<int, double>>> extraByCol(w.n);
  for (int i = 0; i < mNew; ++i)
    for (const auto& [j, v] : extra.rows[i]) extraByCol[j].emplace_back(m0 + i, v);
  for (int k = 0; k < nNew; ++k)
    for (const auto& e : newColEntries[k]) extraByCol[n0 + k].push_back(e);
  lp.matbeg.assign(1, 0);
  for (int j = 0; j < w.n; ++j) {
    if (j < n0)
      for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
        lp.matind.push_back(md.matind[k]);
        lp.matval.push_back(md.matval[k]);
      }
    // Merge duplicates (a column may appear twice in one extra row).
    std::sort(extraByCol[j].begin(), extraByCol[j].end());
    for (size_t k = 0; k < extraByCol[j].size(); ++k) {
      if (k > 0 && extraByCol[j][k].first == extraByCol[j][k - 1].first) {
        lp.matval.back() += extraByCol[j][k].second;
        continue;
      }
      lp.matind.push_back(extraByCol[j][k].first);
      lp.matval.push_back(extraByCol[j][k].second);
    }
    lp.matbeg.push_back(static_cast<int64_t>(lp.matind.size()));
  }

  // Global bounds of all variables.
  w.lo.assign(w.n + w.m, 0.0);
  w.up.assign(w.n + w.m, 0.0);
  for (int j = 0; j < w.n; ++j) {
    w.lo[j] = lp.lb[j] <= -tol::kInf ? -tol::kInf : lp.lb[j];
    w.up[j] = lp.ub[j] >= tol::kInf ? tol::kInf : lp.ub[j];
  }
  for (int i = 0; i < m0; ++i) rowLimits(md, i, &w.lo[w.n + i], &w.up[w.n + i]);
  for (int i = 0; i < mNew; ++i) {
    w.lo[w.n + m0 + i] = extraLo[i];
    w.up[w.n + m0 + i] = extraUp[i];
  }

  w.objStep = objectiveStep(lp.obj.data(), w);
  return 0;
}

}  // namespace vnt::mip
