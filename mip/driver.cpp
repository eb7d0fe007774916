// The MIP optimize driver: entry checks, silencing of the sub-solver logs,
// the bound pre-check, preparation, the settings report, the search, the
// final report and the status; plus the MIP queries.
#include <algorithm>
#include <cmath>
#include <new>

#include "api/chk_decls.h"
#include "env/limits.h"
#include "mip/cuts.h"
#include "mip/search.h"
#include "mip/pool.h"
#include "mip/starts.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "presolve/presolve.h"
#include "simplex/lpdriver.h"

namespace vnt::mip {

namespace {

enum Param : int {
  kSimDisplay = 1019, kItLim = 1020, kSiftDisplay = 1076, kBarDisplay = 3010, kNetDisplay = 5005,
  kMarkowitz = 1013, kOptimality = 1014, kFeasibility = 1016, kScale = 1034, kSeed = 1124,
  kCliques = 2003, kCovers = 2005, kImplied = 2041, kGubCovers = 2044, kPathCut = 2051, kDisjunctive = 2053,
  kMcfCut = 2134, kPresolveInd = 1030, kOrderInd = 2020, kOptimalityTarget = 1131, kNodeFileInd = 2016,
  kWorkDir = 1064, kWorkMem = 1065, kRepeatPresolve = 2064, kPreReform = 1167, kReduce = 1057,
};

// Root restart: a restart pays when the root fixed at least this share of
// the integer columns (and this many); at most this many restarts per run.
constexpr double kRestartShare = 0.2;
constexpr int kRestartMinFixed = 5;
constexpr int kMaxRestarts = 1;

// Sub-solver displays are silenced for the run and restored on every exit.
class Silence {
 public:
  explicit Silence(Env& env) : env_(env) {
    for (int k = 0; k < 4; ++k) {
      saved_[k] = params::getInt(env, kIds[k]);
      if (saved_[k] != 0) params::setIntParam(env, kIds[k], 0);
    }
  }
  ~Silence() {
    for (int k = 0; k < 4; ++k)
      if (saved_[k] != 0) params::setIntParam(env_, kIds[k], saved_[k]);
  }

 private:
  static constexpr int kIds[4] = {kSimDisplay, kBarDisplay, kNetDisplay, kSiftDisplay};
  Env& env_;
  int saved_[4] = {};
};

std::string colName(const model::ModelData& md, int j) {
  return md.colname.empty() ? "C" + std::to_string(j + 1) : md.colname[j];
}

// Settings that do not fit a linear MIP: warned about, the run goes on.
void settingsChecks(Env& env, const model::Problem& p) {
  // Lazy constraints bind the solutions, not the relaxation: no restart
  // presolve may see the model without them, and presolve (see
  // presolveModel) keeps away from reductions that rely on every row.
  if (!p.data->lazycons.empty()) {
    if (params::getInt(env, kRepeatPresolve) != 0)
      print(env, Chan::Warning, "         Disabling repeat represolve because of lazy constraint/incumbent callback.\n");
    if (params::getInt(env, kPreReform) != 0)
      print(env, Chan::Warning,
            "Lazy constraint(s) or lazy constraint/branch callback is present.\n"
            "    Disabling presolve reductions that prevent crushing forms (VNT_PARAM_PREREFORM).\n");
    const int reduce = params::getInt(env, kReduce);
    if (reduce == 2 || reduce == 3)
      print(env, Chan::Warning,
            "Lazy constraint(s) or lazy constraint/branch callback is present.\n"
            "    Disabling dual reductions (VNT_PARAM_REDUCE) in presolve.\n");
  }

  switch (params::getInt(env, kOptimalityTarget)) {
    case 2:
      print(env, Chan::Warning,
            "Warning: Value VNT_OPTIMALITYTARGET_FIRSTORDER for VNTPARAM_OptimalityTarget is only available for "
            "continuous QP.\n");
      break;
    case 3:
      print(env, Chan::Warning,
            "Warning: Value VNT_OPTIMALITYTARGET_OPTIMALGLOBAL for VNTPARAM_OptimalityTarget is only available for QP "
            "and MIQP.\n");
      break;
    default: break;
  }
}

}  // namespace

int Search::boundPrecheck(Env& env, model::Problem&) {
  const double t = rp.intTol, feas = rp.feasTol;
  const int n = orig.numCols();
  for (int j = 0; j < n; ++j) {
    if (env.counter) env.counter->add(5);
    const char type = orig.ctype.empty() ? 'C' : orig.ctype[j];
    const double lb = orig.lb[j], ub = orig.ub[j];
    bool bad = false;
    if ((type == 'I' || type == 'B') && lb > -1e20 && ub < 1e20 && std::fabs(lb - ub) <= 1e-10) {
      const double f = ub - std::floor(ub);
      if (f > t && f < 1.0 - t) bad = true;
      if (type == 'B' && (ub > 1.0 + t || ub < -t)) bad = true;
    }
    if (!bad && type != 'N' && type != 'S') {
      if (lb > ub + feas) bad = true;
      if (type == 'B' && (lb > 1.0 + t || ub < -t)) bad = true;
    }
    if (bad) {
      if (rp.display != 0)
        print(env, Chan::Warning, "Warning:  Bound infeasibility column '%.255s'.\n", colName(orig, j).c_str());
      return 1;
    }
  }
  return 0;
}

// MIP presolve of the model as given.  Its report lines stay off during a
// MIP run (the diagnostics that settle a model are printed).  Returns 0
// (pre_ set when something was reduced) or the outcome of a presolve that
// settled the run: a stop reason, negated.
int Search::presolveModel(Env& env) {
  pre_.reset();
  if (params::getInt(env, kPresolveInd) == 0) return 0;
  auto pre = std::make_shared<presolve::Presolved>();
  presolve::Options opt = presolve::optionsFromParams(env, /*mip=*/true);
  opt.display = false;
  if (!orig.lazycons.empty()) opt.dualReductions = false;  // announced by settingsChecks
  const int st = presolve::run(env, orig, opt, "MIP", *pre);
  switch (st) {
    case 0: break;
    case 1001:
      print(env, Chan::Results, "Insufficient memory for presolve.\n");
      return 0;
    case presolve::kInfeasible: return -kStopPresolveInfeasible;
    case presolve::kUnbounded:  // unbounded if feasible: the search cannot say which
    case presolve::kInfeasibleOrUnbounded: return -kStopPresolveInfOrUnbd;
    case presolve::kTimeLimit: return -11;
    case presolve::kDetTimeLimit: return -25;
    case presolve::kAborted: return -13;
    default: return -kStopError;
  }
  if (!pre->nothingReduced()) pre_ = std::move(pre);
  return 0;
}

void Search::settingsReport() {
  if (rp.display < 1) return;
  Env& env = *env_;
  if (rp.display > 2 && params::getInt(env, 1009) != 1) print(env, Chan::Results, "Dual steepest-edge pricing selected.\n");
  static const char* const kEmphasis[] = {
      "MIP emphasis: balance optimality and feasibility.\n", "MIP emphasis: integer feasibility.\n",
      "MIP emphasis: optimality.\n", "MIP emphasis: best bound.\n", "MIP emphasis: hidden feasible solutions.\n",
      "MIP emphasis: heuristic.\n"};
  if (!orig.usercuts.empty())
    print(env, Chan::Results, "Problem contains %lld user cuts.\n", static_cast<long long>(orig.usercuts.size()));
  if (!orig.lazycons.empty())
    print(env, Chan::Results, "Problem contains %lld lazy constraints.\n", static_cast<long long>(orig.lazycons.size()));
  if (rp.display > 1 && conflicts_ && conflicts_->members > 0)
    print(env, Chan::Results, "Clique table members: %lld.\n", conflicts_->members);
  print(env, Chan::Results, "%s", kEmphasis[rp.emphasis >= 1 && rp.emphasis <= 5 ? rp.emphasis : 0]);
  print(env, Chan::Results, "%s",
        rp.search == 1 ? "MIP search method: traditional branch-and-cut.\n" : "MIP search method: dynamic search.\n");
  if (bcThreads_ < 2) print(env, Chan::Results, "Parallel mode: none, using 1 thread.\n");
  else
    print(env, Chan::Results, "Parallel mode: %s, using up to %d threads.\n",
          rp.parallel == -1 ? "opportunistic" : "deterministic", bcThreads_);
  if (rp.display > 3 && rp.auxRootThreads > 0)
    print(env, Chan::Results, "Parallel mode: %s, using up to %d threads for parallel tasks at root LP.\n",
          rp.parallel == -1 ? "opportunistic" : "deterministic", rp.auxRootThreads);
}

// The working copy, the LP engine and the per-column state of the search
// for the model the search solves (at the start of a run and after a
// restart).
int Search::prepareSearch(Env& env, model::Problem& p) {
  if (int st = buildWorking(searchModel(), rp, w)) return st;
  if (pre_ && w.n == 0 && repre_.empty()) {
    // Presolve settled every column: its solution is the only candidate.
    std::vector<double> x(static_cast<size_t>(orig.numCols()), 0.0);
    pre_->uncrushX(nullptr, x.data());
    phase = Phase::kSearching;
    if (offerOriginal(x.data(), false, "presolve")) return -kStopTreeEmpty;
    // A mapped-back point that fails the check: search the model as given.
    numericalTrouble = true;
    pre_.reset();
    if (int st = buildWorking(orig, rp, w)) return st;
  }
  if (int st = probeRoot()) return st;
  engine.reset(new (std::nothrow) simplex::LpEngine);
  if (!engine) return 1001;
  simplex::LpOptions& o = engine->options();
  o.feasibilityTol = params::getDbl(env, kFeasibility);
  o.optimalityTol = params::getDbl(env, kOptimality);
  o.markowitzTol = params::getDbl(env, kMarkowitz);
  o.scale = params::getInt(env, kScale) >= 0;
  o.randomSeed = static_cast<uint64_t>(params::getInt(env, kSeed));
  o.display = 0;
  o.log = nullptr;
  o.poll = [this]() { return checkLimits(*env_); };
  o.workCounter = env.realCounter ? &env.realCounter->value : nullptr;
  if (engine->load(w.lp) != 0) return 1003;
  const int N = w.n + w.m;
  // Indicator columns fixed in the model switch their rows on for good.
  std::vector<BoundChange> fixedInd;
  for (int j = 0; j < w.n; ++j)
    if (!w.indOfCol[j].empty() && w.lo[j] == w.up[j]) fixedInd.push_back({j, w.lo[j], w.up[j]});
  curLo = w.lo;
  curUp = w.up;
  addImplied(fixedInd);
  for (const BoundChange& c : fixedInd) {
    w.lo[c.k] = std::max(w.lo[c.k], c.lo);
    w.up[c.k] = std::min(w.up[c.k], c.up);
  }
  for (int i = w.m0; i < w.m; ++i) engine->setRowBounds(i, w.lo[w.n + i], w.up[w.n + i]);
  curLo = w.lo;
  curUp = w.up;
  touched.clear();
  isTouched.assign(N, 0);
  xsave_.assign(w.n, 0.0);
  rowActivity_.assign(w.m, 0.0);
  tLo_.assign(N, 0.0);
  tUp_.assign(N, 0.0);
  weightByVarW_.assign(N, 1.0);
  basicBefore_.assign(N, 0);
  for (int d = 0; d < 2; ++d) {
    pcSum[d].assign(w.n, 0.0);
    pcCnt[d].assign(w.n, 0);
    pcAvgSum_[d] = 0.0;
    pcAvgCnt_[d] = 0;
  }
  store.setRule(rp.nodeSelect);
  store.configureFiles(env, params::getInt(env, kNodeFileInd), params::getDbl(env, kWorkMem),
                       params::getStr(env, kWorkDir), rp.display);
  fileError_ = 0;
  log.nodeFiles = &store.files();
  enginePath = nullptr;
  // The priority order, on the columns the search works on.
  prio_.clear();
  prioDir_.clear();
  if (!p.data->order.empty() && params::getInt(env, kOrderInd) != 0) {
    prio_.assign(w.n, 0);
    prioDir_.assign(w.n, 0);
    for (const model::OrderEntry& e : p.data->order) {
      const int j = searchColumn(e.col);
      if (j < 0 || j >= w.n0) continue;
      prio_[j] = e.priority;
      prioDir_[j] = static_cast<signed char>(e.direction);
    }
  }
  fixedAtRootStart_ = 0;
  for (int j = 0; j < w.n0; ++j) fixedAtRootStart_ += w.kind[j] == kInt && w.lo[j] == w.up[j];
  fixedAtRootStart_ -= static_cast<int>(probeFixed_);  // probing's fixings count toward a restart
  prepareNetwork(env);
  return 0;
}

// The root: an open node without bound changes.
void Search::newRoot() {
  pending = std::make_unique<Node>();
  pending->id = 0;
  pending->parentId = -1;
  pending->seq = nextSeq++;
  pending->path = std::make_shared<Path>();
}

bool Search::restartWanted() const {
  // Automatic (-1) means no restart: over the models whose root fixes
  // enough columns the restart saved nodes but cost time (a second root).
  const int mode = params::getInt(*env_, kRepeatPresolve);
  if (mode <= 0 || restarts_ >= kMaxRestarts || params::getInt(*env_, kPresolveInd) == 0) return false;
  // Only plain integer models: the special restrictions live in records
  // that a second presolve would have to carry along.
  const model::ModelData& md = searchModel();
  if (w.n != w.n0 || !w.sets.empty() || !w.inds.empty() || !md.pwl.empty() || !md.lazycons.empty() ||
      !md.usercuts.empty() || md.hasQuadratic())
    return false;
  int fixed = 0;
  // The root's bounds (reduced-cost fixing, strong-branching fixings) hold
  // for the whole search.
  for (int j = 0; j < w.n0; ++j) fixed += w.kind[j] == kInt && curLo[j] == curUp[j];
  fixed -= fixedAtRootStart_;
  return fixed >= kRestartMinFixed && fixed >= kRestartShare * w.numIntegers;
}

// The restart: the search's model with the root's fixings (global: the
// root's bounds hold for the whole search) and, unless asked otherwise, the
// root cuts as rows, presolved again.  True when the search now works on the
// new model (or the restart's presolve ended the search: restartSettled_);
// false leaves the search as it was.
bool Search::tryRestart() {
  Env& env = *env_;
  const double t0 = envTime(env), k0 = detTicks(env);
  model::ModelData md = searchModel();
  const int n0 = w.n0, m0 = w.m0;
  for (int j = 0; j < n0; ++j)
    if (w.kind[j] == kInt) {
      md.lb[j] = std::max(md.lb[j], curLo[j]);
      md.ub[j] = std::min(md.ub[j], curUp[j]);
    }
  long long kept[30] = {};
  if (params::getInt(env, kRepeatPresolve) != 1 && w.m > m0) {
    // Root cuts become model rows.
    std::vector<int> newRow(static_cast<size_t>(w.m), -1);
    int r = md.numRows();
    for (int i = m0; i < w.m; ++i)
      if (i < static_cast<int>(rowFamily_.size()) && rowFamily_[i] >= 0) {
        newRow[i] = r++;
        ++kept[rowFamily_[i]];
        md.sense.push_back(w.lp.sense[i]);
        md.rhs.push_back(w.lp.rhs[i]);
        if (!md.rngval.empty()) md.rngval.push_back(w.lp.rngval.empty() ? 0.0 : w.lp.rngval[i]);
        if (!md.rowname.empty()) md.rowname.push_back("cut" + std::to_string(r - m0));
      }
    std::vector<int64_t> beg(static_cast<size_t>(n0) + 1, 0);
    std::vector<int> ind;
    std::vector<double> val;
    for (int j = 0; j < n0; ++j) {
      for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
        ind.push_back(md.matind[k]);
        val.push_back(md.matval[k]);
      }
      for (int64_t k = w.lp.matbeg[j]; k < w.lp.matbeg[j + 1]; ++k) {
        const int i = w.lp.matind[k];
        if (i >= m0 && newRow[i] >= 0 && w.lp.matval[k] != 0.0) {
          ind.push_back(newRow[i]);
          val.push_back(w.lp.matval[k]);
        }
      }
      beg[j + 1] = static_cast<int64_t>(ind.size());
    }
    md.matbeg = std::move(beg);
    md.matind = std::move(ind);
    md.matval = std::move(val);
  }
  auto pre = std::make_shared<presolve::Presolved>();
  presolve::Options opt = presolve::optionsFromParams(env, /*mip=*/true);
  opt.display = false;
  if (!orig.lazycons.empty()) opt.dualReductions = false;  // announced by settingsChecks
  const int st = presolve::run(env, md, opt, "MIP", *pre);
  if (st == presolve::kInfeasible) {
    // Nothing better than the cutoff is left: the search is over.
    restartSettled_ = true;
    return true;
  }
  if (st != 0 || pre->nothingReduced()) return false;
  ++restarts_;
  if (rp.display > 0) {
    print(env, Chan::Results, "\nPerforming restart %i\n", restarts_);
    print(env, Chan::Results, "\n");
    print(env, Chan::Results, "Repeating presolve.\n");
  }
  if (pre->reduced.numCols() == 0) {
    // Every column settled: one candidate, then the search is over.
    std::vector<double> xs(static_cast<size_t>(n0), 0.0), xo;
    pre->uncrushX(nullptr, xs.data());
    toOriginal(xs.data(), xo);
    offerOriginal(xo.data(), false, "presolve");
    restartSettled_ = true;
    return true;
  }
  // Pseudo-costs follow their columns.
  std::vector<double> oldSum[2] = {pcSum[0], pcSum[1]};
  std::vector<int> oldCnt[2] = {pcCnt[0], pcCnt[1]};
  repre_.push_back(pre);
  for (int f = 0; f < 30; ++f) cutsKept_[f] += kept[f];
  if (int e = prepareSearch(env, *prob_)) {
    restartError_ = e;
    restartSettled_ = true;
    return true;
  }
  for (int j = 0; j < w.n0; ++j) {
    const int o = pre->colOrig[j];
    if (o < 0 || o >= n0) continue;
    for (int d = 0; d < 2; ++d) {
      pcSum[d][j] = oldSum[d][o];
      pcCnt[d][j] = oldCnt[d][o];
    }
  }
  noteAverages();
  if (hasIncumbent()) {
    incumbentX.assign(static_cast<size_t>(w.n0), 0.0);
    fromOriginal(incumbentOrig.data(), incumbentX.data());
  }
  std::fill(std::begin(cutsApplied), std::end(cutsApplied), 0LL);
  cutRows_.clear();
  nodeProp_.reset();
  rowIntegral_.clear();
  rowFamily_.clear();
  rowAge_.clear();
  rootDj_.clear();
  rootAt_.clear();
  rcCutoff_ = tol::kNone;
  locks_[0].clear();
  locks_[1].clear();
  store.clear();
  pending.reset();
  if (rp.display > 0)
    print(env, Chan::Results, "Represolve time = %.2f sec. (%.2f ticks)\n", envTime(env) - t0, detTicks(env) - k0);
  return true;
}

int Search::begin(Env& env, model::Problem& p) {
  if (int st = model::exportData(p, orig)) return st;
  sense = orig.objsen < 0 ? -1 : 1;
  store.clear();
  pending.reset();
  incumbentObj = tol::kNone;
  incumbentX.clear();
  incumbentOrig.clear();
  rejectedNodeSolutions_ = 0;
  polishing_ = false;
  nodeCount = mipIterations = solutions = strongIterations = 0;
  nextNodeId = 1;
  nextSeq = 0;
  numericalTrouble = false;
  rootBound = -tol::kNone;
  rootLpBound = -tol::kNone;
  std::fill(std::begin(cutsApplied), std::end(cutsApplied), 0LL);
  cutRows_.clear();
  nodeProp_.reset();
  rowIntegral_.clear();
  rowFamily_.clear();
  rowAge_.clear();
  repre_.clear();
  restarts_ = 0;
  restartSettled_ = false;
  unboundedModel_ = false;
  restartError_ = 0;
  std::fill(std::begin(cutsKept_), std::end(cutsKept_), 0LL);
  rootTime = rootTicks = bcTime = bcTicks = 0.0;
  bcThreads_ = subMip ? 1 : rp.threads;
  syncSeconds_ = waitSeconds_ = 0.0;
  const double uc = sense > 0 ? rp.upperCutoff : -rp.lowerCutoff;
  userCutoff = std::fabs(uc) < 1e75 ? uc : tol::kNone;
  cutoff = userCutoff;
  log = NodeLog();
  log.start(env, rp, &p);
  log.startTime = runStart;
  log.startTicks = runStartTicks;
  log.treeMB = [this]() { return static_cast<double>(store.memory()) / 1048576.0; };
  log.writeIncumbent = [this](const std::string& name) { return writeIncumbentFile(name); };
  if (boundPrecheck(env, p)) return -kStopPrecheck;
  if (int st = presolveModel(env)) return st;
  if (int st = prepareSearch(env, p)) return st;
  settingsReport();
  processMipStarts(*this, p);
  newRoot();
  phase = Phase::kSearching;
  return 0;
}

// A feasible point makes a model with an unbounded relaxation unbounded:
// with rational data the integer hull, when not empty, recedes along every
// ray of the relaxation.  A sub-MIP with the objective dropped looks for one;
// only for models whose constraints all live in that relaxation (no sets,
// semi-continuous columns, indicator, piecewise-linear, quadratic or lazy
// constraints, one objective).  The presolve stop comes before the working
// model exists: it is built from the model as given.
bool Search::findPointOfUnboundedModel(bool workingBuilt) {
  if (subMip || !orig.sos.empty() || !orig.indconstr.empty() || !orig.pwl.empty() || !orig.lazycons.empty() ||
      orig.hasQuadratic() || !orig.objectives.empty())
    return false;
  for (char t : orig.ctype)
    if (t == 'S' || t == 'N') return false;
  if (!workingBuilt && (pre_ || !repre_.empty() || buildWorking(orig, rp, w) != 0)) return false;
  const int n = orig.numCols();
  const std::vector<double> lb(orig.lb.begin(), orig.lb.begin() + n), ub(orig.ub.begin(), orig.ub.begin() + n);
  SubMipLimits lim;
  lim.feasibilityOnly = true;
  std::vector<double> x;
  if (!solveSubMip(*this, lb, ub, x, &lim)) return false;
  unboundedModel_ = true;
  if (offerOriginal(x.data(), true, "feasibility")) return true;
  unboundedModel_ = false;
  return false;
}

int Search::statusFor(int stop) const {
  const bool inc = hasIncumbent();
  switch (stop) {
    case kStopTreeEmpty: return inc ? 101 : 103;
    case kStopPrecheck:
    case kStopPresolveInfeasible: return 103;
    case kStopPresolveInfOrUnbd: return 119;
    case kStopGap: return 102;
    case kStopNodes: return inc ? 105 : 106;
    case kStopSolutions: return 104;
    case kStopMemory: return inc ? 111 : 112;
    case kStopUnbounded: return inc ? 118 : 119;
    case 10: return inc ? 203 : 204;
    case 11: return inc ? 107 : 108;
    case 25: return inc ? 131 : 132;
    case 13: return inc ? 113 : 114;
    default: return inc ? 109 : 110;
  }
}

// The polishing test of a stop: true (with the log lines) when polishing
// starts instead of the stop becoming final.
bool Search::polishingStarts(int stop) {
  if (polishing_) return false;
  const char* reason = nullptr;
  switch (statusFor(stop)) {
    case 102:
      if ((rp.polishAbsGap > rp.absGap || rp.polishRelGap > rp.mipGap) &&
          !gapClosed(incumbentObj, bestBound(), rp.absGap, rp.mipGap))
        reason = " (PolishAfterEpGap, PolishAfterEpAGap)";
      break;
    case 104: if (rp.polishSols < rp.solLimit) reason = " (PolishAfterIntSol)"; break;
    case 105:
    case 106: if (rp.polishNodes < rp.nodeLimit) reason = " (PolishAfterNode)"; break;
    case 107:
    case 108: if (rp.polishTime < rp.timeLimit) reason = " (PolishAfterTime)"; break;
    case 131:
    case 132: if (rp.polishDetTime < rp.detTimeLimit) reason = " (PolishAfterDetTime)"; break;
    default: break;
  }
  if (!reason) return false;
  if (rp.display > 0) {
    print(*env_, Chan::Results, "\nStarting condition for polishing reached");
    print(*env_, Chan::Results, "%s", reason);
    print(*env_, Chan::Results, ".\n");
    print(*env_, Chan::Results, "Starting solution polishing.\n\n");
  }
  polishing_ = true;
  enterPolishing();
  return true;
}

// Polishing works around the incumbent: depth-first search with a dive at
// every node, guided by the incumbent once there is one.
void Search::enterPolishing() {
  rp.nodeSelect = 0;
  store.setRule(0);
  rp.heurFreq = 1;
  rp.diveType = hasIncumbent() ? 3 : 0;
}

void Search::finalReport() {
  if (rp.display < 1) return;
  Env& env = *env_;
  // Cut summary: families in this order; a zero count is printed only for
  // the families whose switch asks for them.
  struct CutLine {
    int family;
    int param;  // 0: none
    const char* text;
  };
  static const CutLine kLines[] = {
      {21, 0, "Benders cuts applied:  %lld\n"},
      {1, kGubCovers, "GUB cover cuts applied:  %lld\n"},
      {3, kCliques, "Clique cuts applied:  %lld\n"},
      {0, kCovers, "Cover cuts applied:  %lld\n"},
      {8, kImplied, "Implied bound cuts applied:  %lld\n"},
      {2, 0, "Flow cuts applied:  %lld\n"},
      {5, 0, "Mixed integer rounding cuts applied:  %lld\n"},
      {6, kPathCut, "Flow path cuts applied:  %lld\n"},
      {9, 0, "Zero-half cuts applied:  %lld\n"},
      {10, kMcfCut, "Multi commodity flow cuts applied:  %lld\n"},
      {14, 0, "Lift and project cuts applied:  %lld\n"},
      {4, 0, "Gomory fractional cuts applied:  %lld\n"},
      {7, kDisjunctive, "Disjunctive cuts applied:  %lld\n"},
      {28, 0, "Cone linearizations applied:  %lld\n"},
      {12, 0, "Tightening cuts applied:  %lld\n"},
      {13, 0, "Objective disjunction cuts applied:  %lld\n"},
      {17, 0, "Solution pool cuts applied:  %lld\n"},
      {15, 0, "User cuts applied:  %lld\n"}};
  bool first = true;
  for (const CutLine& l : kLines) {
    const long long cnt = cutsApplied[l.family] + cutsKept_[l.family];
    if (cnt == 0 && !(l.param != 0 && params::getInt(env, l.param) > 0)) continue;
    if (first) print(env, Chan::Results, "\n");
    first = false;
    print(env, Chan::Results, l.text, cnt);
  }
  if (numericalTrouble) print(env, Chan::Results, "Warning: Solution could be affected by numerical instability.\n");
  const double total = envTime(env) - runStart, totalTicks = detTicks(env) - runStartTicks;
  const double rt = std::max(0.0, total - bcTime), rk = std::max(0.0, totalTicks - bcTicks);
  print(env, Chan::Results, "\nRoot node processing (before b&c):\n");
  print(env, Chan::Results, "  Real time             = %7.2f sec. (%.2f ticks)\n", rt, rk);
  if (bcThreads_ < 2) {
    print(env, Chan::Results, "Sequential b&c:\n");
    print(env, Chan::Results, "  Real time             = %7.2f sec. (%.2f ticks)\n", bcTime, bcTicks);
  } else {
    print(env, Chan::Results, "Parallel b&c, %d threads:\n", bcThreads_);
    print(env, Chan::Results, "  Real time             = %7.2f sec. (%.2f ticks)\n", bcTime, bcTicks);
    print(env, Chan::Results, "  Sync time (average)   = %7.2f sec.\n", syncSeconds_);
    print(env, Chan::Results, "  Wait time (average)   = %7.2f sec.\n", waitSeconds_ / bcThreads_);
  }
  print(env, Chan::Results, "                          ------------\n");
  print(env, Chan::Results, "Total (root+branch&cut) = %7.2f sec. (%.2f ticks)\n", rt + bcTime, rk + bcTicks);
  flushChannel(env, Chan::Results);
}

// An incumbent file: the incumbent stored on the problem as an integer
// feasible solution (the run's end stores its final status over it) and
// written as a solution file.
bool Search::writeIncumbentFile(const std::string& name) {
  if (!prob_ || !hasIncumbent()) return false;
  const int keep = status;
  status = 127;
  storeResult(*prob_);
  status = keep;
  return chk::solwrite(*env_, *prob_, name.c_str()) == 0;
}

void Search::storeResult(model::Problem& p) {
  simplex::LpState* s = simplex::lpState(p);
  if (!s) return;
  s->clearSolution();
  s->stat = status;
  s->method = 0;
  s->itcnt = mipIterations;
  if (!hasIncumbent()) {
    s->noSolution = true;
    return;
  }
  s->objval = sense * incumbentObj;
  s->x = incumbentOrig;
  const int m = orig.numRows();
  std::vector<double> ax(m, 0.0);
  for (int j = 0; j < orig.numCols(); ++j)
    for (int64_t k = orig.matbeg[j]; k < orig.matbeg[j + 1]; ++k) ax[orig.matind[k]] += orig.matval[k] * incumbentOrig[j];
  s->slack.resize(m);
  for (int i = 0; i < m; ++i) s->slack[i] = orig.rhs[i] - ax[i];
  s->primalFeasible = true;
}

int Search::run(Env& env, model::Problem& p) {
  env_ = &env;
  prob_ = &p;
  readRunParams(env, rp);
  pool = poolForRun(env, p, *this);
  runStart = envTime(env);
  runStartTicks = detTicks(env);
  const bool resume = phase == Phase::kSearching && (pending || !store.empty()) && engine;
  int stop = 0;
  if (!resume) {
    phase = Phase::kFresh;
    const int st = begin(env, p);
    if (st < 0) {
      // Settled before the search: the bound pre-check, presolve, or a
      // limit inside presolve.
      stop = -st;
      phase = Phase::kDone;
    } else if (st != 0) {
      phase = Phase::kFresh;
      return st;
    }
  } else {
    // A continued search: the settings of this call apply to the tree.
    log.start(env, rp, &p);
    log.startTime = runStart;
    log.startTicks = runStartTicks;
    if (polishing_) enterPolishing();
    store.setRule(rp.nodeSelect);
    store.configureFiles(env, params::getInt(env, kNodeFileInd), params::getDbl(env, kWorkMem),
                         params::getStr(env, kWorkDir), rp.display);
    fileError_ = 0;
    log.nodeFiles = &store.files();
    const double uc = sense > 0 ? rp.upperCutoff : -rp.lowerCutoff;
    userCutoff = std::fabs(uc) < 1e75 ? uc : tol::kNone;
    cutoff = std::min(cutoff, userCutoff);
  }
  if (stop == 0) {
    const long long itLimit = params::getLong(env, kItLim);
    // Branch and bound from the root (node 0) or from where the last call stopped.
    double bc0 = 0, bk0 = 0;
    bool bcStarted = false;
    for (;;) {
      if (!bcStarted && !(pending && pending->id == 0)) {
        bcStarted = true;
        bc0 = envTime(env);
        bk0 = detTicks(env);
      }
      if (mipIterations >= itLimit) {
        stop = 10;
        break;
      }
      // Process the root on its own first, so that the root time is known.
      if (pending && pending->id == 0) {
        Node root = std::move(*pending);
        pending.reset();
        Node next;
        bool haveNext = false;
        if (int s = pollStop()) {
          pending = std::make_unique<Node>(std::move(root));
          stop = s;
          break;
        }
        const NodeResult r = processNode(root, &next, &haveNext);
        if (r == NodeResult::kStopped) {
          pending = std::make_unique<Node>(std::move(root));
          stop = lastStop_;
          break;
        }
        if (r == NodeResult::kUnbounded) {
          stop = kStopUnbounded;
          break;
        }
        if (r == NodeResult::kRestart) {
          if (restartSettled_) {
            stop = restartError_ ? kStopError : kStopTreeEmpty;
            break;
          }
          newRoot();
          continue;
        }
        if (haveNext) pending = std::make_unique<Node>(std::move(next));
        continue;
      }
      stop = branchAndBound();
      break;
    }
    // A limit or gap stop may start polishing instead of ending the run.
    while (stop != 0 && polishingStarts(stop)) {
      if (!bcStarted) {
        bcStarted = true;
        bc0 = envTime(env);
        bk0 = detTicks(env);
      }
      stop = branchAndBound();
    }
    if (bcStarted) {
      bcTime += envTime(env) - bc0;
      bcTicks += detTicks(env) - bk0;
    }
  }
  if ((stop == kStopUnbounded || stop == kStopPresolveInfOrUnbd) && !hasIncumbent() &&
      findPointOfUnboundedModel(stop == kStopUnbounded))
    stop = kStopUnbounded;
  status = statusFor(stop);
  const bool limit = stop == 10 || stop == 11 || stop == 13 || stop == 25 || stop == kStopNodes ||
                     stop == kStopSolutions || stop == kStopMemory;
  phase = limit ? Phase::kSearching : Phase::kDone;
  if (phase == Phase::kDone && status != 102) {
    store.clear();
    pending.reset();
  } else if (phase == Phase::kDone) {
    store.releaseFiles();
  }
  finalReport();
  storeResult(p);
  // A node-file failure ends the run with an error status and its code
  // (1422 is printed where it happened).
  return fileError_ ? fileError_ : restartError_;
}

int optimizeMip(Env& env, model::Problem& p) {
  if (!p.data->objectives.empty()) return 1070;
  if (p.probtype == model::kLP || p.probtype == model::kFixedMILP) return simplex::optimizeLp(env, p, simplex::kMethodAuto);
  if (p.probtype == model::kQP || p.probtype == model::kMIQP || p.probtype == model::kFixedMIQP) return 1018;
  if (p.probtype == model::kQCP || p.probtype == model::kMIQCP || p.probtype == model::kFixedMIQCP) return 1031;
  if (int st = model::flushCache(env, p)) return st;
  if (int st = model::checkSolveData(env, p)) return st;
  params::displayChanged(env);
  settingsChecks(env, p);
  Silence quiet(env);
  Search* s = findSearch(p);
  if (!s) {
    s = new (std::nothrow) Search;
    if (!s) return 1001;
    p.state[model::kSlotMip].reset(s);
  }
  if (int st = pushLimitFrameFromParams(env)) return st;
  int st = 0;
  try {
    st = s->run(env, p);
  } catch (const std::bad_alloc&) {
    st = 1001;
  }
  popLimitFrame(env);
  flushChannel(env, Chan::Results);
  return st;
}

}  // namespace vnt::mip

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

namespace {

// Shared rules of the MIP queries: a MIP problem (3003) with a search record
// (1217).
int mipRecord(const model::Problem& p, const mip::Search** out) {
  if (!model::isMipType(p.probtype)) return 3003;
  const mip::Search* s = mip::findSearch(p);
  if (!s || s->phase == mip::Phase::kFresh) return 1217;
  *out = s;
  return 0;
}

}  // namespace

int mipopt(Env& env, model::Problem& lp) { return mip::optimizeMip(env, lp); }

int getbestobjval(Env&, model::Problem& lp, double* objval_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!objval_p) return 1004;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  const double b = s->bestBound();
  *objval_p = b >= mip::tol::kNone ? s->sense * 1e75 : s->sense * b;
  return 0;
}

int getmiprelgap(Env&, model::Problem& lp, double* gap_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!gap_p) return 1004;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  if (!s->hasIncumbent()) return 1217;
  const double inc = s->sense * s->incumbentObj;
  const double b = s->bestBound();
  const double bu = b >= mip::tol::kNone ? s->sense * 1e75 : s->sense * b;
  *gap_p = mip::relativeGap(inc, bu, s->sense);
  return 0;
}

int getcutoff(Env&, model::Problem& lp, double* cutoff_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  if (!cutoff_p) return 1004;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  *cutoff_p = s->cutoff >= mip::tol::kNone ? s->sense * 1e75 : s->sense * s->cutoff;
  return 0;
}

int getnodecnt(Env&, model::Problem& lp, long long* result_out) {
  *result_out = 0;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  *result_out = s->nodeCount;
  return 0;
}

int getnodeleftcnt(Env&, model::Problem& lp, long long* result_out) {
  *result_out = 0;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  *result_out = s->nodesLeft();
  return 0;
}

int getmipitcnt(Env&, model::Problem& lp, long long* result_out) {
  *result_out = 0;
  const mip::Search* s = nullptr;
  if (int st = mipRecord(lp, &s)) return st;
  *result_out = s->mipIterations;
  return 0;
}

}  // namespace vnt::chk
