// The solution pool and populate.
#include "mip/pool.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "env/limits.h"
#include "mip/search.h"
#include "params/params.h"
#include "simplex/lpdriver.h"

namespace vnt::mip {

namespace {

enum : int {
  kParamAdvance = 1001, kParamItLim = 1020, kParamTimeLimit = 1039, kParamDetTimeLimit = 1127,
  kParamRelGap = 2009, kParamIntTol = 2010, kParamDisplay = 2012, kParamSolLim = 2015, kParamNodeLim = 2017,
  kParamAbsGap = 2008, kParamCapacity = 2103, kParamReplace = 2104, kParamPoolRelGap = 2105,
  kParamPoolAbsGap = 2106, kParamIntensity = 2107, kParamPopulateLim = 2108, kParamParamDisplay = 1163,
  kParamIntSolPrefix = 2143,
};

// Values this close are the same (continuous columns of two solutions).
constexpr double kSameValue = 1e-6;

bool sameSolution(const std::vector<double>& a, const double* b, double intTol) {
  for (size_t j = 0; j < a.size(); ++j)
    if (std::fabs(a[j] - b[j]) > std::max(intTol, kSameValue * (1.0 + std::fabs(a[j])))) return false;
  return true;
}

// Integer columns whose rounded value is of moderate size enter the key:
// in two feasible solutions that sameSolution calls the same, such a column's
// values lie within the integrality tolerance of an integer and within 0.1
// of each other, so they round alike.
constexpr double kKeyMagnitude = 1e5;

uint64_t solutionKey(const model::ModelData& md, const double* x, int n, double intTol) {
  if (md.ctype.empty() || intTol >= 0.25) return 0;
  uint64_t h = 1469598103934665603ULL;
  for (int j = 0; j < n && j < static_cast<int>(md.ctype.size()); ++j) {
    const char t = md.ctype[j];
    if (t != 'I' && t != 'B') continue;
    const double r = std::round(x[j]);
    if (!(std::fabs(r) < kKeyMagnitude)) continue;
    h = (h ^ (static_cast<uint64_t>(static_cast<int64_t>(r)) + 0x9e3779b97f4a7c15ULL)) * 1099511628211ULL;
    h ^= h >> 29;
  }
  return h | 1;
}

double distance(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0.0;
  for (size_t j = 0; j < a.size(); ++j) d += std::fabs(a[j] - b[j]);
  return d;
}

}  // namespace

void helperRunSettings(params::ScopedParams& scope) {
  scope.setInt(kParamParamDisplay, 0);
  scope.setInt(kParamDisplay, 0);
  scope.setInt(kParamCapacity, 0);
  scope.setStr(kParamIntSolPrefix, "");
}

bool passesFilters(const std::vector<model::PoolFilter>& filters, const double* x) {
  for (const model::PoolFilter& f : filters) {
    double v = 0.0;
    for (size_t t = 0; t < f.ind.size(); ++t)
      v += f.diversity ? f.val[t] * std::fabs(x[f.ind[t]] - f.refval[t]) : f.val[t] * x[f.ind[t]];
    if (v < f.lower - 1e-9 || v > f.upper + 1e-9) return false;
  }
  return true;
}

std::string SolutionPool::nameOf(size_t k) const {
  return sols[k].name.empty() ? "p" + std::to_string(k + 1) : sols[k].name;
}

bool SolutionPool::offer(const model::ModelData& md, const double* x, double obj) {
  if (!passesFilters(filters, x)) {
    ++rejected;
    return false;
  }
  const uint64_t key = solutionKey(md, x, numCols, intTol);
  for (const Solution& s : sols)
    if ((key == 0 || s.key == 0 || s.key == key) && sameSolution(s.x, x, intTol)) {
      ++rejected;
      return false;
    }
  Solution s;
  s.obj = obj;
  s.x.assign(x, x + numCols);
  s.serial = ++serial;
  s.key = key;
  if (static_cast<long long>(sols.size()) >= capacity) {
    if (sols.empty()) return false;
    size_t out = 0;
    if (replace == 1) {  // the worst objective, when the newcomer is better
      for (size_t k = 1; k < sols.size(); ++k)
        if (sense * sols[k].obj > sense * sols[out].obj) out = k;
      if (sense * obj >= sense * sols[out].obj) {
        ++rejected;
        return false;
      }
    } else if (replace == 2) {  // one of the two closest solutions (the worse of them)
      double best = 1e300;
      std::vector<double> nx(x, x + numCols);
      std::vector<const std::vector<double>*> all;
      for (const Solution& t : sols) all.push_back(&t.x);
      all.push_back(&nx);
      size_t a = 0, b = 1;
      for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size(); ++j) {
          const double d = distance(*all[i], *all[j]);
          if (d < best) {
            best = d;
            a = i;
            b = j;
          }
        }
      const auto objOf = [&](size_t i) { return i < sols.size() ? sols[i].obj : obj; };
      const size_t worse = sense * objOf(a) >= sense * objOf(b) ? a : b;
      if (worse == sols.size()) {
        ++rejected;
        return false;
      }
      out = worse;
    } else {  // the oldest
      for (size_t k = 1; k < sols.size(); ++k)
        if (sols[k].serial < sols[out].serial) out = k;
    }
    sols.erase(sols.begin() + static_cast<long>(out));
    ++replaced;
  }
  sols.push_back(std::move(s));
  bestObj = sols.empty() ? 1e75 : sols[0].obj;
  for (const Solution& t : sols)
    if (sense * t.obj < sense * bestObj) bestObj = t.obj;
  return true;
}

SolutionPool* findPool(const model::Problem& p) {
  const Search* s = findSearch(p);
  return s ? s->poolStore.get() : nullptr;
}

SolutionPool* poolForRun(Env& env, model::Problem& p, Search& search) {
  const long long cap = params::getLong(env, kParamCapacity);
  SolutionPool* pool = search.poolStore.get();
  if (cap < 1) return nullptr;
  if (!pool) {
    search.poolStore = std::make_shared<SolutionPool>();
    pool = search.poolStore.get();
    pool->numCols = p.data->cols();
    pool->sense = p.data->objsen < 0 ? -1 : 1;
    pool->intTol = params::getDbl(env, kParamIntTol);
    pool->relGap = params::getDbl(env, kParamRelGap);
    pool->absGap = params::getDbl(env, kParamAbsGap);
    pool->sols.reserve(static_cast<size_t>(std::min(cap, 1000LL)));
  }
  pool->capacity = cap;
  pool->replace = params::getInt(env, kParamReplace);
  const model::Attachments* a = model::findAttachments(p);
  pool->filters = a ? a->filters : std::vector<model::PoolFilter>();
  return pool;
}

// ---------------------------------------------------------------------------
// Populate.

namespace {

void setStatus(model::Problem& p, int stat) {
  if (simplex::LpState* s = simplex::lpState(p)) s->stat = stat;
  if (Search* s = findSearch(p)) s->status = stat;
}

bool binaryColumn(const model::ModelData& md, int j) {
  if (md.ctype.empty()) return false;
  const char t = md.ctype[j];
  return t == 'B' || (t == 'I' && md.lb[j] >= 0.0 && md.ub[j] <= 1.0);
}

// The no-good row that excludes the binary assignment of x:
// sum_{x_j = 0} x_j - sum_{x_j = 1} x_j >= 1 - |{x_j = 1}|.
void addNoGood(model::ModelData& md, const std::vector<int>& bin, const std::vector<double>& x,
               std::vector<std::vector<std::pair<int, double>>>& rows) {
  std::vector<std::pair<int, double>> row;
  double ones = 0;
  for (int j : bin) {
    const bool one = x[j] > 0.5;
    row.emplace_back(j, one ? -1.0 : 1.0);
    ones += one ? 1.0 : 0.0;
  }
  md.rhs.push_back(1.0 - ones);
  md.sense.push_back('G');
  if (!md.rngval.empty()) md.rngval.push_back(0.0);
  if (!md.rowname.empty()) md.rowname.push_back("nogood" + std::to_string(rows.size()));
  rows.push_back(std::move(row));
}

// Rebuilds the column-wise matrix of md with the extra rows (numbered from
// m0 on) added.
void appendRows(model::ModelData& md, int m0, const std::vector<std::vector<std::pair<int, double>>>& rows) {
  const int n = md.numCols();
  std::vector<std::vector<std::pair<int, double>>> byCol(n);
  for (size_t r = 0; r < rows.size(); ++r)
    for (const auto& [j, v] : rows[r]) byCol[j].emplace_back(m0 + static_cast<int>(r), v);
  std::vector<int64_t> beg(n + 1, 0);
  std::vector<int> ind;
  std::vector<double> val;
  for (int j = 0; j < n; ++j) {
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      ind.push_back(md.matind[k]);
      val.push_back(md.matval[k]);
    }
    for (const auto& [i, v] : byCol[j]) {
      ind.push_back(i);
      val.push_back(v);
    }
    beg[j + 1] = static_cast<int64_t>(ind.size());
  }
  md.matbeg.swap(beg);
  md.matind.swap(ind);
  md.matval.swap(val);
}

// Solutions outside the pool gaps around the best one (user sense) are not
// of interest once populate has run.
void dropOutsideGaps(Env& env, SolutionPool& pool, double best) {
  const double poolRel = params::getDbl(env, kParamPoolRelGap), poolAbs = params::getDbl(env, kParamPoolAbsGap);
  double allow = 1e75;
  if (poolAbs < 1e75) allow = poolAbs;
  if (poolRel < 1e75) allow = std::min(allow, poolRel * std::fabs(best));
  if (allow >= 1e75) return;
  const int sense = pool.sense;
  double top = best;
  for (const SolutionPool::Solution& t : pool.sols) top = sense > 0 ? std::min(top, t.obj) : std::max(top, t.obj);
  std::vector<SolutionPool::Solution> kept;
  for (SolutionPool::Solution& t : pool.sols)
    if (sense * (t.obj - top) <= allow + 1e-9 * (1.0 + std::fabs(top))) kept.push_back(std::move(t));
  pool.sols.swap(kept);
}

}  // namespace

int populate(Env& env, model::Problem& p) {
  if (!model::isMipType(p.probtype)) return 3003;
  const int display = params::getInt(env, kParamDisplay);
  if (params::getLong(env, kParamCapacity) == 0) {
    print(env, Chan::Warning, "Warning: the solution pool needs a positive capacity in order to be populated.\n");
    return 0;
  }
  // Automatic intensity: 1 after a populate at intensity 1 with an advanced
  // start allowed and no search record to continue, else 2.
  int intensity = params::getInt(env, kParamIntensity);
  if (intensity == 0) {
    const Search* prev = findSearch(p);
    const bool reusable = prev && prev->phase == Phase::kSearching;
    const SolutionPool* old = findPool(p);
    intensity = old && old->lastIntensity == 1 && params::getInt(env, kParamAdvance) != 0 && !reusable ? 1 : 2;
  }
  const SolutionPool* before = findPool(p);
  const long long target = (before ? before->handled() : 0) + params::getLong(env, kParamPopulateLim);
  const double t0 = envTime(env), k0 = detTicks(env);

  if (display != 0) print(env, Chan::Results, "\nPopulate: phase I \n");
  // A search that already ended with its optimum (by an earlier run or
  // populate on the same data) and a pool stands as phase I.
  const Search* prev = findSearch(p);
  bool solved = prev && before && prev->hasIncumbent();
  if (solved) {
    solved = false;
    for (int done : {101, 102, 129, 130, 128})
      if (prev->status == done) solved = true;
  }
  if (!solved)
    if (int st = optimizeMip(env, p)) return st;
  Search* s = findSearch(p);
  SolutionPool* pool = findPool(p);
  if (!s || !pool) return 0;
  pool->lastIntensity = intensity;
  const int phase1 = s->status;
  for (int end : {103, 110, 112, 117, 118, 119, 133, 204, 113, 114})
    if (phase1 == end) return 0;
  const bool inc = s->hasIncumbent();
  // Limits charged with what phase I used.
  const long long nodeLim = params::getLong(env, kParamNodeLim), itLim = params::getLong(env, kParamItLim);
  const double tiLim = params::getDbl(env, kParamTimeLimit), detLim = params::getDbl(env, kParamDetTimeLimit);
  const double usedT = envTime(env) - t0, usedK = detTicks(env) - k0;
  int limitStat = 0;
  if (s->nodeCount >= nodeLim) limitStat = inc ? 105 : 106;
  else if (s->mipIterations >= itLim) limitStat = inc ? 203 : 204;
  else if (tiLim < 1e75 && usedT >= tiLim) limitStat = inc ? 107 : 108;
  else if (detLim < 1e75 && usedK >= detLim) limitStat = inc ? 131 : 132;
  if (limitStat) {
    setStatus(p, limitStat);
    return 0;
  }
  if (pool->handled() >= target) {
    dropOutsideGaps(env, *pool, s->sense * s->incumbentObj);
    setStatus(p, 128);
    return 0;
  }
  if (!inc) return 0;
  // Phase II enumerates integer assignments by sub-MIPs that exclude every
  // assignment seen so far and keep the objective within the pool gaps.
  const model::ModelData& orig = s->orig;
  const int n = orig.numCols();
  std::vector<int> bin;
  for (int j = 0; j < n; ++j) {
    const char t = orig.ctype.empty() ? 'C' : orig.ctype[j];
    if (binaryColumn(orig, j)) bin.push_back(j);
    else if (t != 'C') return 0;  // general integers: no exclusion rows, phase I stands
  }
  if (bin.empty()) return 0;
  if (display != 0) print(env, Chan::Results, "\nPopulate: phase II \n");
  const double poolRel = params::getDbl(env, kParamPoolRelGap), poolAbs = params::getDbl(env, kParamPoolAbsGap);
  const int sense = orig.objsen < 0 ? -1 : 1;
  const double best = sense * s->incumbentObj;  // user sense
  double allow = 1e75;
  if (poolAbs < 1e75) allow = poolAbs;
  if (poolRel < 1e75) allow = std::min(allow, poolRel * std::fabs(best));
  model::ModelData md = orig;
  const int m0 = md.numRows();
  std::vector<std::vector<std::pair<int, double>>> rows;
  if (allow < 1e75) {
    std::vector<std::pair<int, double>> r;
    for (int j = 0; j < n; ++j)
      if (orig.obj[j] != 0.0) r.emplace_back(j, orig.obj[j]);
    md.rhs.push_back(sense > 0 ? best + allow - orig.objoffset : best - allow - orig.objoffset);
    md.sense.push_back(sense > 0 ? 'L' : 'G');
    if (!md.rngval.empty()) md.rngval.push_back(0.0);
    if (!md.rowname.empty()) md.rowname.push_back("poolgap");
    rows.push_back(std::move(r));
  }
  // Range filters hold in every kept solution: they become rows; diversity
  // filters are linear over binary columns.
  for (const model::PoolFilter& f : pool->filters) {
    std::vector<std::pair<int, double>> r;
    double shift = 0.0;
    for (size_t t = 0; t < f.ind.size(); ++t) {
      if (!f.diversity) {
        r.emplace_back(f.ind[t], f.val[t]);
      } else if (f.refval[t] > 0.5) {  // w (1 - x)
        r.emplace_back(f.ind[t], -f.val[t]);
        shift += f.val[t];
      } else {
        r.emplace_back(f.ind[t], f.val[t]);
      }
    }
    md.rhs.push_back(f.lower - shift);
    md.sense.push_back('R');
    md.rngval.resize(md.rhs.size() - 1, 0.0);
    md.rngval.push_back(f.upper - f.lower);
    if (!md.rowname.empty()) md.rowname.push_back(f.name);
    rows.push_back(std::move(r));
  }
  addNoGood(md, bin, s->incumbentOrig, rows);
  for (const SolutionPool::Solution& sol : pool->sols) addNoGood(md, bin, sol.x, rows);
  SolutionTolerances tol;
  tol.feasibility = s->rp.feasTol;
  tol.integrality = s->rp.intTol;
  if (int st = pushLimitFrame(env, tiLim < 1e75 ? std::max(0.0, tiLim - usedT) : 1e75,
                              detLim < 1e75 ? std::max(0.0, detLim - usedK) : 1e75))
    return st;
  int result = 0;
  long long nodesLeft = nodeLim - s->nodeCount;
  for (;;) {
    if (pool->handled() >= target) {
      result = 128;
      break;
    }
    if (int stop = checkLimits(env)) {
      result = stop == 11 ? 107 : (stop == 25 ? 131 : 113);
      break;
    }
    if (nodesLeft <= 0) {
      result = 105;
      break;
    }
    model::ModelData sub = md;
    appendRows(sub, m0, rows);
    int st = 0;
    model::Problem* q = model::newProblem(env, "populate", &st);
    if (!q) {
      result = -1;
      break;
    }
    std::vector<double> x;
    int subStatus = 0;
    long long subNodes = 0;
    try {
      if (model::replaceData(env, *q, std::move(sub)) == 0) {
        q->probtype = model::kMILP;
        params::ScopedParams scope(env);
        helperRunSettings(scope);
        scope.setInt(kParamSolLim, 1);
        scope.setInt(kParamNodeLim, nodesLeft);
        Search search;
        if (search.run(env, *q) == 0) {
          subStatus = search.status;
          subNodes = search.nodeCount;
          if (search.hasIncumbent()) x = search.incumbentOrig;
        }
      }
    } catch (const std::bad_alloc&) {
      subStatus = 0;
    }
    model::destroyProblem(env, q);
    nodesLeft -= subNodes;
    if (x.empty()) {
      // Infeasible: every assignment within reach has been seen.
      if (subStatus == 103) result = poolRel >= 1e75 && poolAbs >= 1e75 ? 129 : 130;
      else result = subStatus == 106 ? 105 : (subStatus == 108 ? 107 : (subStatus == 132 ? 131 : 113));
      break;
    }
    if (solutionSatisfies(orig, x.data(), tol)) {
      double obj = orig.objoffset;
      for (int j = 0; j < n; ++j) obj += orig.obj[j] * x[j];
      pool->offer(orig, x.data(), obj);
    }
    addNoGood(md, bin, x, rows);
  }
  popLimitFrame(env);
  dropOutsideGaps(env, *pool, best);
  if (result > 0) setStatus(p, result);
  return 0;
}

}  // namespace vnt::mip
