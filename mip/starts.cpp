// Processing of the MIP starts at the beginning of a run, the sub-MIP that
// completes partial starts and the repair heuristic.
#include "mip/starts.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "env/limits.h"
#include "mip/cuts.h"
#include "mip/search.h"
#include "model/attachments.h"
#include "params/params.h"
#include "presolve/presolve.h"

namespace vnt::mip {

namespace {

enum : int {
  kParamNodeLimit = 2017, kParamRepairTries = 2067, kParamTimeLimit = 1039,
  kParamDetTimeLimit = 1127, kParamLowerCutoff = 2006, kParamUpperCutoff = 2007, kParamRins = 2061,
};

// Repair tries when the parameter says "automatic" (0).
constexpr long long kAutoRepairTries = 3;

// Integer columns of the model as given (the search may work on a presolved
// copy with other columns).
bool isInteger(const Search& s, int j) {
  const char t = s.orig.ctype.empty() ? 'C' : s.orig.ctype[j];
  return t == 'I' || t == 'B' || t == 'N';
}

double userObjective(const model::ModelData& md, const std::vector<double>& x) {
  double v = md.objoffset;
  for (int j = 0; j < md.numCols(); ++j) v += md.obj[j] * x[j];
  return v;
}

void printObjective(Env& env, double v) {
  if (std::fabs(v) < 1e7) print(env, Chan::Results, "%.4f.\n", v);
  else print(env, Chan::Results, "%.4e.\n", v);
}

// One start laid out over all columns.
struct StartValues {
  std::vector<double> x;
  std::vector<char> given;
  bool complete = false;
  bool integersGiven = false;
};

StartValues layOut(const Search& s, const model::MipStart& ms) {
  const int n = s.orig.numCols();
  StartValues v;
  v.x.assign(n, 0.0);
  v.given.assign(n, 0);
  for (size_t t = 0; t < ms.ind.size(); ++t)
    if (ms.ind[t] >= 0 && ms.ind[t] < n) {
      v.x[ms.ind[t]] = ms.val[t];
      v.given[ms.ind[t]] = 1;
    }
  v.complete = std::all_of(v.given.begin(), v.given.end(), [](char g) { return g != 0; });
  v.integersGiven = true;
  for (int j = 0; j < n; ++j)
    if (isInteger(s, j) && !v.given[j]) v.integersGiven = false;
  return v;
}

bool feasible(const Search& s, const std::vector<double>& x) {
  SolutionTolerances t;
  t.feasibility = s.rp.feasTol;
  t.integrality = s.rp.intTol;
  return solutionSatisfies(s.orig, x.data(), t);
}

// Sub-MIP with the marked columns fixed at their start values (integers
// rounded, everything clipped to the bounds).
bool completeBySubMip(Search& s, const StartValues& v, const std::vector<char>& fix, std::vector<double>& x) {
  std::vector<double> lb = s.orig.lb, ub = s.orig.ub;
  for (int j = 0; j < s.orig.numCols(); ++j) {
    if (!fix[j]) continue;
    double val = isInteger(s, j) ? std::round(v.x[j]) : v.x[j];
    val = std::min(std::max(val, lb[j]), ub[j]);
    lb[j] = ub[j] = val;
  }
  return solveSubMip(s, lb, ub, x);
}

// Evaluates one start by its level; true with x when it defines a solution.
bool evaluate(Search& s, int level, const StartValues& v, std::vector<double>& x) {
  const int n = s.orig.numCols();
  const bool check = level == kEffortCheckFeas || level == kEffortRepair || level == kEffortAuto;
  if (check && v.complete && feasible(s, v.x)) {
    x = v.x;
    return true;
  }
  if (level == kEffortCheckFeas || level == kEffortRepair) return false;
  std::vector<char> fix(n, 0);
  if (level == kEffortSolveFixed || (level == kEffortAuto && v.integersGiven)) {
    if (!v.integersGiven) return false;
    for (int j = 0; j < n; ++j) fix[j] = isInteger(s, j) ? 1 : 0;
  } else {  // sub-MIP on the columns without values
    fix = v.given;
  }
  return completeBySubMip(s, v, fix, x);
}

// The rows a start violates (columns without a value count at the bound
// nearest zero) and the column lists of the rows and row lists of the
// columns.
struct StartRows {
  std::vector<std::vector<int>> rowsOf, colsOf;
  std::vector<int> violated;
};

StartRows startRows(const Search& s, const StartValues& v) {
  const model::ModelData& md = s.orig;
  const int n = md.numCols(), m = md.numRows();
  StartRows r;
  r.rowsOf.resize(n);
  r.colsOf.resize(m);
  std::vector<double> ax(m, 0.0);
  for (int j = 0; j < n; ++j) {
    const double at = v.given[j] ? v.x[j] : std::min(std::max(0.0, md.lb[j]), md.ub[j]);
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      r.rowsOf[j].push_back(md.matind[k]);
      r.colsOf[md.matind[k]].push_back(j);
      ax[md.matind[k]] += md.matval[k] * at;
    }
  }
  const double feas = s.rp.feasTol;
  for (int i = 0; i < m; ++i) {
    const double rng = md.rngval.empty() ? 0.0 : md.rngval[i];
    double lo = -1e20, up = 1e20;
    switch (md.sense[i]) {
      case 'L': up = md.rhs[i]; break;
      case 'G': lo = md.rhs[i]; break;
      case 'E': lo = up = md.rhs[i]; break;
      default: lo = std::min(md.rhs[i], md.rhs[i] + rng); up = std::max(md.rhs[i], md.rhs[i] + rng);
    }
    if (ax[i] < lo - feas * (1.0 + std::fabs(lo)) || ax[i] > up + feas * (1.0 + std::fabs(up))) r.violated.push_back(i);
  }
  return r;
}

// Repair of a start that defined no solution: the columns of the rows the
// start violates are freed, and on each further try the columns of the rows
// those touch; the rest stay at the start's values while a sub-MIP solves
// for the freed ones.
bool repair(Search& s, const StartValues& v, long long tries, std::vector<double>& x) {
  const model::ModelData& md = s.orig;
  const int n = md.numCols(), m = md.numRows();
  const StartRows sr = startRows(s, v);
  const std::vector<std::vector<int>>& rowsOf = sr.rowsOf;
  const std::vector<std::vector<int>>& colsOf = sr.colsOf;
  std::vector<char> freed(n, 0), rowOpen(m, 0);
  std::vector<int> frontier = sr.violated;
  for (int i : frontier) rowOpen[i] = 1;
  const double feas = s.rp.feasTol;
  for (int j = 0; j < n; ++j) {
    if (!v.given[j]) freed[j] = 1;
    const double val = v.x[j];
    if (v.given[j] && (val < md.lb[j] - feas || val > md.ub[j] + feas ||
                       (isInteger(s, j) && std::fabs(val - std::round(val)) > s.rp.intTol)))
      freed[j] = 1;
  }
  for (long long t = 0; t < tries; ++t) {
    std::vector<int> next;
    for (int i : frontier)
      for (int j : colsOf[i]) {
        if (freed[j]) continue;
        freed[j] = 1;
        for (int r : rowsOf[j])
          if (!rowOpen[r]) {
            rowOpen[r] = 1;
            next.push_back(r);
          }
      }
    std::vector<char> fix(n);
    for (int j = 0; j < n; ++j) fix[j] = freed[j] ? 0 : 1;
    if (completeBySubMip(s, v, fix, x)) return true;
    if (next.empty()) {
      // Nothing left to free along the rows: the last try frees every column.
      if (t + 1 < tries) {
        std::fill(fix.begin(), fix.end(), 0);
        return completeBySubMip(s, v, fix, x);
      }
      break;
    }
    frontier.swap(next);
  }
  return false;
}

}  // namespace

const char* effortName(int level) {
  switch (level) {
    case kEffortCheckFeas: return "CheckFeas";
    case kEffortSolveFixed: return "SolveFixed";
    case kEffortSubMip: return "SubMIP";
    case kEffortRepair: return "Repair";
    default: return "Auto";
  }
}

namespace {

// Appends the row  sum val[k] x[ind[k]] <= rhs  to a column-wise model.
void addRow(model::ModelData& md, const std::vector<int>& ind, const std::vector<double>& val, double rhs) {
  const int n = md.numCols(), m = md.numRows();
  std::vector<double> coef(n, 0.0);
  for (size_t k = 0; k < ind.size(); ++k) coef[ind[k]] += val[k];
  std::vector<int64_t> beg(n + 1, 0);
  std::vector<int> mi;
  std::vector<double> mv;
  mi.reserve(md.matind.size() + ind.size());
  mv.reserve(md.matind.size() + ind.size());
  for (int j = 0; j < n; ++j) {
    beg[j] = static_cast<int64_t>(mi.size());
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      mi.push_back(md.matind[k]);
      mv.push_back(md.matval[k]);
    }
    if (coef[j] != 0.0) {
      mi.push_back(m);
      mv.push_back(coef[j]);
    }
  }
  beg[n] = static_cast<int64_t>(mi.size());
  md.matbeg = std::move(beg);
  md.matind = std::move(mi);
  md.matval = std::move(mv);
  md.rhs.push_back(rhs);
  md.sense.push_back('L');
  if (!md.rngval.empty()) md.rngval.push_back(0.0);
  if (!md.rowname.empty()) md.rowname.push_back("neighbourhood");
}

}  // namespace

bool solveSubMip(Search& s, const std::vector<double>& lb, const std::vector<double>& ub, std::vector<double>& x,
                 const SubMipLimits* lim) {
  Env& env = *s.env_;
  for (size_t j = 0; j < lb.size(); ++j)
    if (lb[j] > ub[j]) return false;
  model::ModelData md = s.orig;
  md.lb = lb;
  md.ub = ub;
  if (lim && !lim->rowInd.empty()) addRow(md, lim->rowInd, lim->rowVal, lim->rowRhs);
  if (lim && lim->feasibilityOnly) {
    std::fill(md.obj.begin(), md.obj.end(), 0.0);
    md.objoffset = 0.0;
    md.qobj.clear();
  }
  int st = 0;
  model::Problem* q = model::newProblem(env, "submip", &st);
  if (!q) return false;
  bool found = false;
  // The test hooks watch the caller's search, not its sub-MIPs.
  std::function<void(const Cut&)> cutHook = std::move(gCutObserver);
  std::function<void(const Working&, const Conflicts&)> probeHook = std::move(gProbeObserver);
  gCutObserver = nullptr;
  gProbeObserver = nullptr;
  try {
    if (model::replaceData(env, *q, std::move(md)) == 0) {
      q->probtype = model::kMILP;
      params::ScopedParams scope(env);
      helperRunSettings(scope);
      scope.setInt(kParamNodeLimit, std::max(1LL, s.rp.subMipNodes));
      // The sub-run's limits replace the caller's: it gets the time left.
      double ticks = lim ? lim->ticks : 1e75;
      if (const LimitFrame* f = env.limits) {
        if (f->deadline < kNoTimeLimit)
          scope.setDbl(kParamTimeLimit, std::max(0.0, f->deadline - readClock(f->clockKind)));
        const uint64_t now = env.counter ? env.counter->value : 0;
        if (f->detLimit != kNoDetLimit)
          ticks = std::min(ticks, f->detLimit > now ? static_cast<double>(f->detLimit - now) / kUnitsPerTick : 0.0);
      }
      if (ticks < 1e75) scope.setDbl(kParamDetTimeLimit, std::max(1e-3, ticks));
      if (lim) {
        scope.setInt(kParamRins, -1);
        if (lim->hasCutoff) scope.setDbl(s.sense > 0 ? kParamUpperCutoff : kParamLowerCutoff, lim->cutoff);
      }
      std::unique_ptr<Search> sub(new (std::nothrow) Search);
      if (sub) sub->subMip = true;
      if (sub && sub->run(env, *q) == 0 && sub->hasIncumbent()) {
        x = sub->incumbentOrig;
        found = true;
      }
    }
  } catch (const std::bad_alloc&) {
    found = false;
  }
  gCutObserver = std::move(cutHook);
  gProbeObserver = std::move(probeHook);
  model::destroyProblem(env, q);
  return found;
}

void processMipStarts(Search& s, model::Problem& p) {
  s.delayedStarts.clear();
  const model::Attachments* a = model::findAttachments(p);
  if (!a || a->starts.empty()) return;
  Env& env = *s.env_;
  const int display = s.rp.display;
  const int count = static_cast<int>(a->starts.size());
  if (display > 2) print(env, Chan::Results, "Processing %d MIP starts.\n", count);
  const bool lazy = !s.orig.lazycons.empty();
  bool warned = false;
  // Solutions found, offered to the incumbent entry after the summary so
  // that the node log follows the start messages.
  struct Found {
    int start;
    double obj;  // user sense
    std::vector<double> x;
  };
  std::vector<Found> found;
  std::vector<int> retained;
  for (int k = 0; k < count; ++k) {
    const model::MipStart& ms = a->starts[k];
    int level = ms.effort < 0 ? kEffortAuto : ms.effort;
    if (lazy && level == kEffortCheckFeas) {
      level = kEffortSolveFixed;
      if (!warned)
        print(env, Chan::Warning,
              "Warning: Effort level 'CheckFeas' is incompatible with lazy constraint/incumbent callback.\n"
              "         Effort level increased to 'SolveFixed'.\n");
      warned = true;
    }
    const StartValues v = layOut(s, ms);
    std::vector<double> x;
    if (evaluate(s, level, v, x)) {
      const double obj = userObjective(s.orig, x);
      if (display > 2) {
        print(env, Chan::Results, "MIP start '%s' defined solution with objective ", ms.name.c_str());
        printObjective(env, obj);
      }
      found.push_back({k, obj, std::move(x)});
    } else {
      if (display > 2) print(env, Chan::Results, "MIP start '%s' defined no solution.\n", ms.name.c_str());
      if (!ms.ind.empty() && level != kEffortCheckFeas) retained.push_back(k);
    }
  }
  if (display >= 1) {
    if (!found.empty()) {
      print(env, Chan::Results, "%d of %d MIP starts provided solutions.\n", static_cast<int>(found.size()), count);
      const Found* best = &found[0];
      for (const Found& f : found)
        if (s.sense * f.obj < s.sense * best->obj) best = &f;
      print(env, Chan::Results, "MIP start '%s' defined initial solution with objective ",
            a->starts[best->start].name.c_str());
      printObjective(env, best->obj);
    } else {
      print(env, Chan::Warning, "Warning:  No solution found from %d MIP starts.\n", count);
    }
  }
  for (const Found& f : found) s.offerOriginal(f.x.data(), true, "start");
  // What is not turned into a solution below waits for the root LP.
  for (int k : retained) s.delayedStarts.push_back(a->starts[k]);
  long long tries = params::getLong(env, kParamRepairTries);
  if (tries < 0 || retained.empty()) return;
  if (display >= 1) {
    if (retained.size() == 1) print(env, Chan::Results, "Retaining values of one MIP start for possible repair.\n");
    else print(env, Chan::Results, "Retaining values of %d MIP starts for possible repair.\n", static_cast<int>(retained.size()));
  }
  if (tries == 0) tries = kAutoRepairTries;
  bool repaired = false;
  s.delayedStarts.clear();
  for (int k : retained) {
    std::vector<double> x;
    if (repair(s, layOut(s, a->starts[k]), tries, x) && feasible(s, x)) {
      s.offerOriginal(x.data(), true, "start");
      repaired = true;
    } else {
      s.delayedStarts.push_back(a->starts[k]);
    }
  }
  if (display >= 1) print(env, Chan::Results, repaired ? "Repair heuristic succeeded.\n" : "Repair heuristic found nothing.\n");
}

void processDelayedStarts(Search& s, const double* rootX) {
  std::vector<model::MipStart> starts;
  starts.swap(s.delayedStarts);
  if (starts.empty()) return;
  Env& env = *s.env_;
  const model::ModelData& md = s.orig;
  const int n = md.numCols();
  // The root point on the columns as given (presolve's removed columns get
  // the values its records imply).
  std::vector<double> root;
  s.toOriginal(rootX, root);
  bool found = false;
  for (const model::MipStart& ms : starts) {
    const StartValues v = layOut(s, ms);
    // Integer columns of the start that agree with the root point stay,
    // unless they sit in a row the start violates.
    std::vector<char> fix(n, 0);
    for (int j = 0; j < n; ++j)
      fix[j] = v.given[j] && isInteger(s, j) && std::fabs(root[j] - std::round(v.x[j])) <= s.rp.intTol;
    const StartRows sr = startRows(s, v);
    for (int i : sr.violated)
      for (int j : sr.colsOf[i]) fix[j] = 0;
    int fixed = 0;
    for (int j = 0; j < n; ++j) fixed += fix[j];
    std::vector<double> x;
    // With nothing in common with the root point the sub-MIP would be the
    // whole problem again.
    if (fixed > 0 && completeBySubMip(s, v, fix, x) && feasible(s, x)) {
      s.offerOriginal(x.data(), true, "start");
      found = true;
    }
  }
  if (s.rp.display >= 1)
    print(env, Chan::Results, found ? "Delayed MIP starts produced solution.\n" : "Delayed MIP starts found nothing.\n");
}

}  // namespace vnt::mip
