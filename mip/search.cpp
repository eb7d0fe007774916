// Branch and bound: node LPs re-solved by the dual simplex from the parent's
// basis, reliability branching (pseudo-costs initialized by strong
// branching), best-bound selection with depth-first plunging, and branching
// on the special restrictions (semi-continuous columns, sets, indicators).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "env/limits.h"
#include "mip/search.h"
#include "mip/pool.h"
#include "mip/starts.h"
#include "params/params.h"
#include "presolve/presolve.h"

namespace vnt::mip {

using simplex::LpStatus;

namespace {
constexpr long long kNoIterLimit = 9223372036800000000LL;
constexpr int kMaxLocalRounds = 8;   // node re-solves after strong-branching fixings
constexpr int kStrongLookahead = 8;  // candidates without improvement that end strong branching
constexpr double kPlungeShare = 0.3; // plunge while the child is within this share of the gap
enum LpParam : int { kMarkowitz = 1013, kOptimality = 1014, kFeasibility = 1016, kScale = 1034, kSeed = 1124 };

bool definiteOptimal(LpStatus s) { return s == LpStatus::kOptimal || s == LpStatus::kOptimalUnscaledInfeas; }
}  // namespace

bool Search::onChange(model::Problem&, const model::ChangeEvent& ev) { return !model::changesSolution(ev.kind); }

Search* findSearch(const model::Problem& p) { return static_cast<Search*>(p.state[model::kSlotMip].get()); }

double Search::bestBound() const {
  double b = store.bestBound();
  if (pending) b = std::min(b, pending->bound);
  if (inProcess_) b = std::min(b, inProcess_->bound);
  b = std::min(b, roundBound_);  // nodes the workers of a parallel round hold
  if (unboundedModel_) return -tol::kNone;  // a feasible point and an unbounded relaxation
  if (phase == Phase::kDone && store.empty() && !pending) {
    // Search over: the bound is the incumbent (or nothing).
    return hasIncumbent() ? incumbentObj : tol::kNone;
  }
  if (hasIncumbent()) b = std::min(b, incumbentObj);
  return b;
}

// ---------------------------------------------------------------------------
// The incumbent entry.

const model::ModelData& Search::searchModel() const {
  if (!repre_.empty()) return repre_.back()->reduced;
  return pre_ ? pre_->reduced : orig;
}

// Presolve stages between the model as given and the search's columns: the
// first presolve, then one per restart on the previous stage's model.
void Search::toOriginal(const double* xs, std::vector<double>& xo) const {
  if (!pre_ && repre_.empty()) {
    xo.assign(xs, xs + w.n0);
    return;
  }
  std::vector<double> a(xs, xs + w.n0), b;
  for (size_t k = repre_.size(); k-- > 0;) {
    b.assign(static_cast<size_t>(repre_[k]->origCols), 0.0);
    repre_[k]->uncrushX(a.data(), b.data());
    a.swap(b);
  }
  if (pre_) {
    xo.assign(static_cast<size_t>(orig.numCols()), 0.0);
    pre_->uncrushX(a.data(), xo.data());
  } else {
    xo.swap(a);
  }
}

void Search::fromOriginal(const double* xo, double* xs) const {
  if (!pre_ && repre_.empty()) {
    std::copy(xo, xo + w.n0, xs);
    return;
  }
  std::vector<double> a, b;
  if (pre_) {
    a.assign(static_cast<size_t>(pre_->reduced.numCols()), 0.0);
    pre_->crushX(xo, a.data());
  } else {
    a.assign(xo, xo + orig.numCols());
  }
  for (const auto& st : repre_) {
    b.assign(static_cast<size_t>(st->reduced.numCols()), 0.0);
    st->crushX(a.data(), b.data());
    a.swap(b);
  }
  std::copy(a.begin(), a.end(), xs);
}

int Search::searchColumn(int origCol) const {
  int j = pre_ ? pre_->colReduced[origCol] : origCol;
  for (size_t k = 0; k < repre_.size() && j >= 0; ++k) j = repre_[k]->colReduced[j];
  return j;
}

bool Search::offerSolution(const double* x, bool heuristic, const char* source) {
  // Rounding and dives propose candidates they have not checked: a failed check
  // is not news.
  const bool quiet = source && (std::strcmp(source, "rounding") == 0 || std::strcmp(source, "dive") == 0 ||
                                std::strcmp(source, "1-opt") == 0);
  SolutionTolerances t;
  t.feasibility = rp.feasTol;
  t.integrality = rp.intTol;
  // Values of the model as given (presolve's removed columns get the values
  // its records imply).
  std::vector<double>& xo = origX_;
  auto mapBack = [&](const double* xs) { toOriginal(xs, xo); };
  // Integer columns within the tolerance are reported at their integer
  // value when the model still holds with it (no value just beside a jump
  // of a piecewise-linear function).
  std::vector<double>& xr = snapX_;
  xr.assign(x, x + w.n0);
  bool snapped = false, snappedInt = false;
  for (int j = 0; j < w.n0; ++j)
    if ((w.kind[j] == kInt || w.kind[j] == kSemiInt) && xr[j] != std::round(xr[j]) &&
        std::fabs(xr[j] - std::round(xr[j])) <= rp.intTol) {
      xr[j] = std::round(xr[j]);
      snapped = true;
      if (w.kind[j] == kInt) snappedInt = true;
    }
  bool ok = false, snapFailed = false;
  if (snapped) {
    mapBack(xr.data());
    ok = solutionSatisfies(orig, xo.data(), t);
    if (ok) x = xr.data();
    else snapFailed = true;
  }
  if (!ok) {
    mapBack(x);
    ok = solutionSatisfies(orig, xo.data(), t);
  }
  // A point that holds only while integer columns sit off their values by
  // the integrality slack is not a solution: with a big coefficient that
  // slack switches a row off (a binary at 6e-6 times 1e6).
  bool slackOnly = ok && snapFailed && snappedInt && !allowSlack_;
  heldBySlack_ = false;
  polishedObj_ = -tol::kInf;
  // The continuous columns follow the integers' LP values, not their
  // rounded ones: rows and piecewise-linear functions that tie them keep the
  // integrality slack (and the objective is off by it).  When the point holds
  // only by that slack, the node's LP with the integers fixed at their
  // rounded values puts the rest where they belong.
  const bool atNode = source && (std::strcmp(source, "node") == 0 || std::strcmp(source, "rounding") == 0);
  if (ok && atNode) {
    SolutionTolerances tight = t;
    tight.feasibility = 0.1 * t.feasibility;
    if (slackOnly || !solutionSatisfies(orig, xo.data(), tight)) {
      std::vector<double>& xi = polishIn_;
      xi.assign(x, x + w.n0);
      for (int j = 0; j < w.n0; ++j)
        if (w.kind[j] == kInt || w.kind[j] == kSemiInt) xi[j] = std::round(xi[j]);
      if (fixedIntegerLp(xi.data(), polishX_)) {
        std::vector<double>& xp = polishOrig_;
        toOriginal(polishX_.data(), xp);
        if (solutionSatisfies(orig, xp.data(), t)) {
          x = polishX_.data();
          xo.swap(xp);
          ++polishedSolutions_;
          slackOnly = false;
          double obj = orig.objoffset;
          for (int j = 0; j < orig.numCols(); ++j) obj += orig.obj[j] * xo[j];
          polishedObj_ = sense * obj;
        }
      }
    }
  }
  if (slackOnly) {
    // The node branches on such a column instead (processNode); a
    // heuristic's candidate is simply not a solution.
    heldBySlack_ = true;
    return false;
  }
  if (!ok) {
    if (heuristic) {
      if (rp.display > 0 && !quiet)
        print(*env_, Chan::Results, "Integer feasible solution rejected --- infeasible on original model\n");
    } else {
      numericalTrouble = true;
      ++rejectedNodeSolutions_;
    }
    return false;
  }
  if (!acceptIncumbent(x, xo.data(), heuristic)) return false;
  shiftImprove();
  return true;
}

bool Search::fixedIntegerLp(const double* xi, std::vector<double>& x) {
  if (!engine || phase != Phase::kSearching) return false;
  bool anyFree = false;
  for (int j = 0; j < w.n && !anyFree; ++j)
    anyFree = (j >= w.n0 || w.kind[j] == kCont) && curLo[j] < curUp[j];
  if (!anyFree) return false;
  Basis saved;
  snapshotBasis(saved);
  struct Old {
    int j;
    double lo, up;
  };
  std::vector<Old> old;
  bool inside = true;
  for (int j = 0; j < w.n0; ++j) {
    if (w.kind[j] != kInt && w.kind[j] != kSemiInt) continue;
    if (curLo[j] == xi[j] && curUp[j] == xi[j]) continue;
    if (xi[j] < curLo[j] - rp.intTol || xi[j] > curUp[j] + rp.intTol) inside = false;
    old.push_back({j, curLo[j], curUp[j]});
    applyChange(j, xi[j], xi[j]);
  }
  bool ok = false;
  if (inside) {
    const LpStatus st = solveLp(kFixedLpIterations + 2LL * w.m);
    mipIterations += engine->iterations();
    if (definiteOptimal(st)) {
      x.resize(static_cast<size_t>(w.n));
      engine->getX(x.data());
      x.resize(static_cast<size_t>(w.n0));
      for (int j = 0; j < w.n0; ++j)
        if (w.kind[j] == kInt || w.kind[j] == kSemiInt) x[j] = xi[j];
      ok = true;
    }
  }
  for (auto it = old.rbegin(); it != old.rend(); ++it) applyChange(it->j, it->lo, it->up);
  installBasis(saved);
  // Back at the node's basis: solve once more so that its solution, reduced
  // costs and statuses are current again for whoever offered the point.
  const LpStatus back = solveLp();
  mipIterations += engine->iterations();
  if (!definiteOptimal(back)) lpFresh_ = false;
  return ok;
}

bool Search::offerOriginal(const double* x, bool heuristic, const char* source) {
  (void)source;
  SolutionTolerances t;
  t.feasibility = rp.feasTol;
  t.integrality = rp.intTol;
  if (!solutionSatisfies(orig, x, t)) {
    if (heuristic && rp.display > 0)
      print(*env_, Chan::Results, "Integer feasible solution rejected --- infeasible on original model\n");
    return false;
  }
  std::vector<double>& xs = snapX_;
  xs.assign(static_cast<size_t>(w.n0), 0.0);
  fromOriginal(x, xs.data());
  if (!acceptIncumbent(xs.data(), x, heuristic)) return false;
  shiftImprove();
  return true;
}

bool Search::acceptIncumbent(const double* xs, const double* xo, bool heuristic) {
  double obj = orig.objoffset;
  for (int j = 0; j < orig.numCols(); ++j) obj += orig.obj[j] * xo[j];
  obj *= sense;
  if (worker_) return workerAccept(xs, xo, heuristic, obj);
  if (pool) pool->offer(orig, xo, sense * obj);
  if (hasIncumbent() && obj >= incumbentObj - 1e-9 * std::max(1.0, std::fabs(incumbentObj))) return false;
  const double userCut = sense > 0 ? rp.upperCutoff : -rp.lowerCutoff;
  if (std::fabs(userCut) < 1e75 && obj > userCut) return false;
  incumbentObj = obj;
  incumbentX.assign(xs, xs + w.n0);  // the arguments may point into the scratch arrays
  incumbentOrig.assign(xo, xo + orig.numCols());
  ++solutions;
  double c = obj;
  const double slack = tol::kObjStepTol * std::max(1.0, std::fabs(obj));
  if (w.objStep > 2 * slack) c = obj - w.objStep + slack;
  cutoff = std::min(cutoff, c);
  // Node log line of the new incumbent.
  LogEntry e;
  // Heuristic solutions while the root is in process belong to node 0.
  e.nodes = inProcess_ && inProcess_->id == 0 ? 0 : nodeCount;
  e.left = nodesLeft();
  e.newIncumbent = true;
  e.heuristic = heuristic;
  e.nodeEntry = !heuristic && phase == Phase::kSearching && nodeCount > 0;
  e.bestInteger = sense * incumbentObj;
  e.bestBound = sense * std::min(bestBound(), incumbentObj);
  e.iterations = mipIterations;
  e.sense = sense;
  log.entry(e);
  return true;
}

// ---------------------------------------------------------------------------
// Engine bounds and bases.

void Search::applyChange(int k, double lo, double up) {
  if (k < w.n) engine->setColBounds(k, lo, up);
  else engine->setRowBounds(k - w.n, lo, up);
  curLo[k] = lo;
  curUp[k] = up;
}

void Search::moveTo(const Node& nd) {
  std::vector<const Path*>& chain = chain_;
  chain.clear();
  for (const Path* p = nd.path.get(); p; p = p->parent.get()) chain.push_back(p);
  // Target bounds in the scratch arrays: global bounds, then the changes from
  // the root down.
  std::vector<int>& list = list_;
  list.clear();
  std::vector<double>& tLo = tLo_;
  std::vector<double>& tUp = tUp_;
  auto mark = [&](int k) {
    if (isTouched[k] != 2) {
      isTouched[k] = 2;
      list.push_back(k);
      tLo[k] = w.lo[k];
      tUp[k] = w.up[k];
    }
  };
  for (int k : touched) mark(k);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const BoundChange& c : (*it)->changes) {
      mark(c.k);
      // Global bounds tightened after the node was made (reduced-cost
      // fixing) still hold; a node left empty by them keeps one point.
      tLo[c.k] = std::max(c.lo, w.lo[c.k]);
      tUp[c.k] = std::max(tLo[c.k], std::min(c.up, w.up[c.k]));
    }
  touched.clear();
  for (int k : list) {
    if (tLo[k] != curLo[k] || tUp[k] != curUp[k]) applyChange(k, tLo[k], tUp[k]);
    if (tLo[k] != w.lo[k] || tUp[k] != w.up[k]) {
      touched.push_back(k);
      isTouched[k] = 1;
    } else {
      isTouched[k] = 0;
    }
  }
  list.clear();
  // Warm start: a child of the node whose LP the engine holds starts from
  // the engine's basis (with its factors and weights); any other node from
  // the basis stored with it.
  const Path* parent = nd.path ? nd.path->parent.get() : nullptr;
  if (!(parent && parent == enginePath) && nd.basis) installBasis(*nd.basis);
}

void Search::snapshotBasis(Basis& b) {
  b.resize(static_cast<size_t>(w.n + w.m));
  std::vector<int>& cs = cstat_;
  std::vector<int>& rs = rstat_;
  cs.resize(w.n);
  rs.resize(w.m);
  engine->getBasis(cs.data(), rs.data());
  for (int j = 0; j < w.n; ++j) b[j] = static_cast<uint8_t>(cs[j]);
  for (int i = 0; i < w.m; ++i) b[w.n + i] = static_cast<uint8_t>(rs[i]);
}

void Search::rememberWeights() {
  // Dual steepest-edge weights by variable, so that a basis installed next
  // keeps the weights of the rows whose basic variable it shares.
  std::vector<double>& dw = engine->dualWeights();
  const bool valid = engine->dualWeightsValid();
  for (int p = 0; p < w.m; ++p) {
    const int k = engine->basisHead(p);
    basicBefore_[k] = 1;
    weightByVarW_[k] = valid ? dw[p] : 1.0;
  }
}

void Search::installBasis(const Basis& b) {
  // A cut row that left the LP after the basis was stored is free now: with
  // it nonbasic the basis would start the dual simplex dual infeasible, so
  // the engine keeps its own basis (dual feasible at every node).
  for (int i = w.m0; i < w.m && static_cast<size_t>(w.n + i) < b.size(); ++i)
    if (rowFamily_[i] == -2 && b[w.n + i] != simplex::kBasisBasic) return;
  rememberWeights();
  cstat_.resize(w.n);
  rstat_.resize(w.m);
  for (int j = 0; j < w.n; ++j) cstat_[j] = b[j];
  // A basis stored before cuts were added in the tree is shorter: the new
  // rows enter it basic.
  const size_t nb = b.size();
  for (int i = 0; i < w.m; ++i)
    rstat_[i] = static_cast<size_t>(w.n + i) < nb ? b[w.n + i] : simplex::kBasisBasic;
  const int bad = engine->setBasis(cstat_.data(), rstat_.data());
  std::vector<double>& dw = engine->dualWeights();
  for (int p = 0; p < w.m; ++p) {
    const int k = engine->basisHead(p);
    dw[p] = basicBefore_[k] ? weightByVarW_[k] : 1.0;
  }
  std::fill(basicBefore_.begin(), basicBefore_.end(), 0);
  if (!bad) engine->setDualWeightsValid(true);
}

LpStatus Search::solveLp(long long iterLimit) {
  simplex::LpOptions& o = engine->options();
  o.iterationLimit = iterLimit > 0 ? iterLimit : kNoIterLimit;
  o.objectiveLimit = cutoff < tol::kNone ? cutoff - sense * w.offset : 1e75;
  const LpStatus st = engine->solveDual();
  return st;
}

double Search::lpObjective() const { return sense * engine->objective(); }

// ---------------------------------------------------------------------------
// Restrictions on the LP solution.

long long Search::countFractional() {
  long long c = 0;
  for (int j = 0; j < w.n; ++j) {
    if (w.kind[j] == kCont) continue;
    const double v = xsave_[j];
    if (w.kind[j] == kInt) {
      if (std::fabs(v - std::round(v)) > rp.intTol) ++c;
    } else {
      const double l = w.semiLo[j], u = w.semiUp[j];
      const bool off = std::fabs(v) <= rp.feasTol;
      const bool inPart = v >= std::min(l, u) - rp.feasTol && v <= std::max(l, u) + rp.feasTol;
      if (!off && (!inPart || (w.kind[j] == kSemiInt && std::fabs(v - std::round(v)) > rp.intTol))) ++c;
    }
  }
  return c;
}

bool Search::intersect(std::vector<BoundChange>& ch) const {
  for (BoundChange& c : ch) {
    c.lo = std::max(c.lo, curLo[c.k]);
    c.up = std::min(c.up, curUp[c.k]);
    if (c.lo > c.up + 1e-9) return false;
    if (c.lo > c.up) c.lo = c.up;
  }
  return true;
}

// Rows that a fixed indicator column switches on.
void Search::addImplied(std::vector<BoundChange>& ch) const {
  const size_t n0 = ch.size();
  for (size_t q = 0; q < n0; ++q) {
    const BoundChange c = ch[q];
    if (c.k >= w.n || w.indOfCol[c.k].empty() || c.lo != c.up) continue;
    for (int r : w.indOfCol[c.k]) {
      const IndicatorRecord& ir = w.inds[r];
      if (std::fabs(c.lo - ir.active) < 0.5) {
        if (ir.row >= 0) ch.push_back({w.n + ir.row, ir.lo, ir.up});
      } else if (ir.revA >= 0 && ir.revB < 0) {
        ch.push_back({w.n + ir.revA, ir.revAlo, ir.revAup});
      }
    }
  }
}

void Search::updatePseudo(int j, char dir, double dist, double gain) {
  if (worker_) notePseudo(j, dir, dist, gain);
  if (dist <= 1e-9 || !(gain >= 0)) return;
  const int d = dir == 'U' ? 1 : 0;
  pcSum[d][j] += gain / dist;
  pcCnt[d][j] += 1;
}

double Search::pseudoScore(int j, double f) const {
  double avg[2];
  for (int d = 0; d < 2; ++d) avg[d] = pcAvgCnt_[d] > 0 ? pcAvgSum_[d] / pcAvgCnt_[d] : 1.0;
  const double pd = pcCnt[0][j] > 0 ? pcSum[0][j] / pcCnt[0][j] : avg[0];
  const double pu = pcCnt[1][j] > 0 ? pcSum[1][j] / pcCnt[1][j] : avg[1];
  return std::max(pd * f, tol::kPseudoEps) * std::max(pu * (1.0 - f), tol::kPseudoEps);
}

// Strong branching on column j from the node's optimal basis: both children
// for a limited number of dual iterations.  The node's basis and weights are
// restored afterwards.
bool Search::strongBranch(int j, double z, double* downObj, double* upObj, int* downSt, int* upSt, bool* stopped) {
  const double v = xsave_[j];
  long long lim = rp.strongIt > 0 ? rp.strongIt
                                  : std::clamp<long long>(2 * (nodeCount > 0 ? mipIterations / std::max(1LL, nodeCount) : 50), 20, 500);
  Basis& b = sbBasis_;
  snapshotBasis(b);
  for (int d = 0; d < 2; ++d) {
    const double lo = curLo[j], up = curUp[j];
    if (d == 0) engine->setColBounds(j, lo, std::floor(v));
    else engine->setColBounds(j, std::ceil(v), up);
    const LpStatus st = solveLp(lim);
    const long long it = engine->iterations();
    strongIterations += it;
    mipIterations += it;
    double obj = lpObjective();
    int s = static_cast<int>(st);
    if (st == LpStatus::kTimeLimit || st == LpStatus::kAborted || st == LpStatus::kDetTimeLimit) *stopped = true;
    if (st == LpStatus::kInfeasible || st == LpStatus::kObjectiveLimit) obj = tol::kNone;
    else if (!definiteOptimal(st)) obj = std::max(z, std::min(obj, tol::kNone));
    (d == 0 ? *downObj : *upObj) = obj;
    (d == 0 ? *downSt : *upSt) = s;
    engine->setColBounds(j, lo, up);
    installBasis(b);
    if (*stopped) return false;
  }
  return true;
}

// Variable choice among the fractional integer columns.  Returns the column,
// -1 when none is fractional, -2 when strong branching proved the node
// infeasible, -3 when it fixed a column (the node is solved again).
int Search::chooseVariable(const Node& nd, double z, bool* stopped, double* downBound, double* upBound) {
  std::vector<Cand>& cands = cands_;
  cands.clear();
  chosenScore_ = 0.0;
  for (int j = 0; j < w.n; ++j) {
    if (w.kind[j] == kCont || w.kind[j] == kSemiCont) continue;
    if (w.kind[j] == kSemiInt) {
      // Semi-integer column switched on: integer branching within [l,u].
      const double l = w.semiLo[j];
      const bool on = l > 0 ? curLo[j] >= l : curUp[j] <= w.semiUp[j];
      if (!on) continue;
    }
    const double v = xsave_[j];
    const double f = v - std::floor(v);
    if (f > rp.intTol && f < 1.0 - rp.intTol) cands.push_back({j, f, 0.0});
  }
  if (cands.empty()) return -1;
  if (!prio_.empty()) {
    // Only the candidates of the highest priority compete.
    int top = 0;
    for (const Cand& c : cands) top = std::max(top, prio_[c.j]);
    if (top > 0)
      cands.erase(std::remove_if(cands.begin(), cands.end(), [&](const Cand& c) { return prio_[c.j] < top; }),
                  cands.end());
  }
  *downBound = *upBound = z;
  int best = -1;
  const int vs = rp.varSelect;
  if (vs == -1 || vs == 1) {
    double bs = -1;
    for (const Cand& c : cands) {
      const double inf = std::min(c.f, 1.0 - c.f);
      const double s = vs == 1 ? inf : 1.0 - inf;
      if (s > bs) {
        bs = s;
        best = c.j;
      }
    }
    return best;
  }
  for (Cand& c : cands) c.score = pseudoScore(c.j, c.f);
  std::sort(cands.begin(), cands.end(), [](const Cand& a, const Cand& b) { return a.score > b.score; });
  const bool useStrong = vs == 3 || (vs == 0 && strongIterations <= mipIterations / 2 + tol::kStrongBudgetFloor);
  double bestScore = -1;
  int sinceBest = 0, tried = 0;
  for (const Cand& c : cands) {
    double score = c.score;
    const bool unreliable = vs == 3 || std::min(pcCnt[0][c.j], pcCnt[1][c.j]) < tol::kReliability;
    if (useStrong && unreliable && tried < rp.strongCand && sinceBest < kStrongLookahead) {
      ++tried;
      double dObj, uObj;
      int dSt, uSt;
      if (!strongBranch(c.j, z, &dObj, &uObj, &dSt, &uSt, stopped)) return -1;
      const bool dInf = dObj >= tol::kNone || dObj >= cutoff, uInf = uObj >= tol::kNone || uObj >= cutoff;
      if (dInf && uInf) return -2;
      if (dInf || uInf) {
        // One side is empty: fix the column to the other side and solve again.
        const double v = xsave_[c.j];
        localFix_.clear();
        if (dInf) localFix_.push_back({c.j, std::ceil(v), curUp[c.j]});
        else localFix_.push_back({c.j, curLo[c.j], std::floor(v)});
        addImplied(localFix_);
        return -3;
      }
      if (dSt == 1) updatePseudo(c.j, 'D', c.f, dObj - z);
      if (uSt == 1) updatePseudo(c.j, 'U', 1.0 - c.f, uObj - z);
      if (dSt == 1 || uSt == 1) noteAverages();
      score = std::max(dObj - z, tol::kPseudoEps) * std::max(uObj - z, tol::kPseudoEps);
      if (score > bestScore) {
        bestScore = score;
        best = c.j;
        *downBound = dSt == 1 ? std::max(z, dObj) : z;
        *upBound = uSt == 1 ? std::max(z, uObj) : z;
        sinceBest = 0;
      } else {
        ++sinceBest;
      }
      continue;
    }
    if (score > bestScore) {
      bestScore = score;
      best = c.j;
      *downBound = *upBound = z;
    }
  }
  (void)nd;
  chosenScore_ = bestScore;
  return best;
}

void Search::noteAverages() {
  for (int d = 0; d < 2; ++d) {
    double s = 0;
    long long c = 0;
    for (int j = 0; j < w.n; ++j)
      if (pcCnt[d][j] > 0) {
        s += pcSum[d][j] / pcCnt[d][j];
        ++c;
      }
    pcAvgSum_[d] = s;
    pcAvgCnt_[d] = c;
  }
}

// The branching of a node whose LP solution violates a restriction: the two
// children's bound changes.  Integer columns first, then semi-continuous
// columns, sets and indicators.  Returns false when nothing is violated.
bool Search::pickBranch(const Node& nd, double z, std::vector<BoundChange>& down, std::vector<BoundChange>& up,
                        int* col, double* frac, char* kind, bool* stopped) {
  down.clear();
  up.clear();
  *col = -1;
  *frac = 0;
  *kind = 'X';
  double db = z, ub = z;
  const int j = chooseVariable(nd, z, stopped, &db, &ub);
  if (*stopped) return false;
  if (j == -2 || j == -3) {
    *kind = j == -2 ? 'I' : 'F';
    return true;
  }
  if (j >= 0) {
    // A violated set, semi-continuous column or indicator competes with the
    // column by its strong-branching score (a free integer column along a
    // zero-cost lattice direction would otherwise be split forever).
    if (restrictionBeatsColumn(z, down, up, col, kind, stopped)) {
      downBound_ = upBound_ = z;
      return true;
    }
    if (*stopped) return false;
    const double v = xsave_[j];
    down.push_back({j, curLo[j], std::floor(v)});
    up.push_back({j, std::ceil(v), curUp[j]});
    *col = j;
    *frac = v - std::floor(v);
    *kind = 'V';
    downBound_ = db;
    upBound_ = ub;
    return true;
  }
  downBound_ = upBound_ = z;
  return pickRestrictionBranch(down, up, col, kind);
}

// ---------------------------------------------------------------------------
// Hooks for the heuristic families (the root cut loop is in cutloop.cpp).

// Heuristics, called at the root and at nodes after the node LP: whatever
// they find goes through offerSolution.  Built in: rounding of the LP
// solution (cheap; tried when few integer columns are fractional).
void Search::runHeuristics(bool root) { heuristics(root); }

bool Search::tryRounding() {
  std::vector<double>& x = roundX_;
  x.assign(xsave_.begin(), xsave_.begin() + w.n0);
  for (int j = 0; j < w.n0; ++j) {
    if (w.kind[j] == kInt || w.kind[j] == kSemiInt) x[j] = std::round(x[j]);
    if ((w.kind[j] == kSemiCont || w.kind[j] == kSemiInt) && std::fabs(x[j]) > 0) {
      const double l = w.semiLo[j];
      if (l > 0 && x[j] < l) x[j] = x[j] < 0.5 * l ? 0.0 : l;
    }
  }
  return offerSolution(x.data(), true, "rounding");
}

// ---------------------------------------------------------------------------
// Node processing.

void Search::logNode(const Node& nd, int kind, double obj, long long iinf, bool newInc, bool heur, int lpst) {
  if (worker_) {
    noteNode(nd, kind, obj, iinf, newInc, heur, lpst);
    return;
  }
  LogEntry e;
  e.nodes = nd.id == 0 ? 0 : nodeCount;
  e.left = nodesLeft();
  e.kind = kind;
  e.lpStatus = lpst;
  e.objective = obj < tol::kNone ? sense * obj : tol::kNone;
  e.iinf = iinf;
  e.bestInteger = hasIncumbent() ? sense * incumbentObj : tol::kNone;
  const double bb = bestBound();
  e.bestBound = bb < tol::kNone ? sense * bb : sense * 1e75;
  e.iterations = mipIterations;
  e.newIncumbent = newInc;
  e.heuristic = heur;
  e.nodeEntry = true;
  e.sense = sense;
  e.hasBranch = true;
  e.nodeId = nd.id;
  e.parentId = nd.parentId;
  e.depth = nd.depth;
  if (nd.branchCol >= 0 && nd.branchCol < w.n0) {
    const model::ModelData& md = searchModel();
    e.branchName = md.colname.empty() ? "C" + std::to_string(nd.branchCol + 1) : md.colname[nd.branchCol];
  }
  e.branchKind = nd.branchKind;
  e.dir = nd.dir;
  log.entry(e);
}

Search::NodeResult Search::processNode(Node& nd, Node* next, bool* haveNext) {
  *haveNext = false;
  moveTo(nd);
  const bool root = nd.id == 0;
  // The node's bound counts in the best bound while it is processed (it is
  // in neither the store nor pending).
  struct InProcess {
    const Node*& slot;
    ~InProcess() { slot = nullptr; }
  } inProcess{inProcess_ = &nd};
  double t0 = envTime(*env_), k0 = detTicks(*env_);
  int rounds = 0;
  // Bounds the branch implies through the rows; an empty node needs no LP.
  if (!root && nd.path && !nd.path->changes.empty() && !propagateNode(nd, nd.path->changes)) {
    ++nodeCount;
    logNode(nd, 1, tol::kNone, -1, false, false);
    return NodeResult::kInfeasible;
  }
  for (;;) {
    if (rounds == 0) networkStart(root);
    LpStatus st = rounds == 0 ? solveNodeLp(root) : solveLp();
    mipIterations += engine->iterations();
    if (!definiteOptimal(st) && st != LpStatus::kInfeasible && st != LpStatus::kObjectiveLimit &&
        st != LpStatus::kUnbounded && st != LpStatus::kTimeLimit && st != LpStatus::kAborted &&
        st != LpStatus::kDetTimeLimit) {
      // Numerical trouble: once more with the primal simplex.
      numericalTrouble = true;
      st = engine->solvePrimal();
      mipIterations += engine->iterations();
    }
    enginePath = nd.path.get();
    if (root && rounds == 0 && rp.display >= 1)
      print(*env_, Chan::Results, "Root relaxation solution time = %.2f sec. (%.2f ticks)\n", envTime(*env_) - t0,
            detTicks(*env_) - k0);
    if (st == LpStatus::kTimeLimit || st == LpStatus::kAborted || st == LpStatus::kDetTimeLimit) {
      lastStop_ = static_cast<int>(st);
      return NodeResult::kStopped;
    }
    if (rounds == 0) ++nodeCount;
    if (st == LpStatus::kInfeasible) {
      logNode(nd, 1, tol::kNone, -1, false, false);
      return NodeResult::kInfeasible;
    }
    if (st == LpStatus::kObjectiveLimit) {
      logNode(nd, 2, tol::kNone, -1, false, false);
      return NodeResult::kPruned;
    }
    if (st == LpStatus::kUnbounded) {
      if (root) return NodeResult::kUnbounded;
      numericalTrouble = true;
      logNode(nd, 3, tol::kNone, -1, false, false, static_cast<int>(st));
      return NodeResult::kFailed;
    }
    if (!definiteOptimal(st)) {
      logNode(nd, 3, tol::kNone, -1, false, false, static_cast<int>(st));
      return NodeResult::kFailed;
    }
    double z = lpObjective();
    if (root) rootBound = z;
    nd.bound = std::max(nd.bound, z);
    if (z >= cutoff) {
      logNode(nd, 2, tol::kNone, -1, false, false);
      return NodeResult::kPruned;
    }
    engine->getX(xsave_.data());
    engine->getRowActivity(rowActivity_.data());
    if (nd.pcCol >= 0 && rounds == 0) {
      updatePseudo(nd.pcCol, nd.dir, nd.pcDist, z - nd.parentObj);
      if ((nodeCount & 15) == 0) noteAverages();
    }
    long long iinf = countFractional();
    lastIinf_ = iinf;
    if (root && rounds == 0 && !delayedStarts.empty()) processDelayedStarts(*this, xsave_.data());
    if (root && rounds == 0) {
      earlyHeuristics();
      if (lpObjective() >= cutoff) {
        logNode(nd, 2, tol::kNone, -1, false, false);
        return NodeResult::kPruned;
      }
      switch (rootCutLoop()) {
        case 1: logNode(nd, 1, tol::kNone, -1, false, false); return NodeResult::kInfeasible;
        case 2: logNode(nd, 2, tol::kNone, -1, false, false); return NodeResult::kPruned;
        case 3: return NodeResult::kStopped;
        default: break;
      }
      z = lpObjective();
      rootBound = z;
      nd.bound = std::max(nd.bound, z);
      lastIinf_ = iinf = countFractional();
    }
    if (!root && rounds == 0 && iinf > 0 && nodeCuts_) {
      switch (nodeCutLoop(nd)) {
        case 1: logNode(nd, 1, tol::kNone, -1, false, false); return NodeResult::kInfeasible;
        case 2: logNode(nd, 2, tol::kNone, -1, false, false); return NodeResult::kPruned;
        case 3: return NodeResult::kStopped;
        default: break;
      }
      z = lpObjective();
      nd.bound = std::max(nd.bound, z);
      lastIinf_ = iinf = countFractional();
    }
    // Heuristics see the node's LP solution; the node continues whatever
    // they find (its LP bound may still beat the new incumbent).
    runHeuristics(root && rounds == 0);
    if (z >= cutoff) {
      logNode(nd, 2, tol::kNone, -1, false, false);
      return NodeResult::kPruned;
    }
    reducedCostFixing(nd, root);
    if (root && restartWanted() && tryRestart()) return NodeResult::kRestart;
    std::vector<BoundChange>& dn = chDown_;
    std::vector<BoundChange>& upc = chUp_;
    int col;
    double frac;
    char kind;
    bool stopped = false;
    bool singleChild = false;
    const bool branch = pickBranch(nd, z, dn, upc, &col, &frac, &kind, &stopped);
    if (stopped) {
      lastStop_ = checkLimits(*env_);
      if (!lastStop_) lastStop_ = 13;
      return NodeResult::kStopped;
    }
    if (!branch) {
      // Every restriction holds: a candidate incumbent.
      const bool acc = offerSolution(xsave_.data(), false, "node");
      // A point that holds only by the integrality slack of some integer
      // columns (and whose continuous part cannot follow their rounded
      // values) is split on the column furthest from its value: both
      // children exclude the point.
      int split = -1;
      bool acc2 = acc;
      // The same when the continuous part had to move and the point is worse
      // than the node's LP: the node's bound is not reached yet.
      // (A difference the gap tolerances close is no reason to go on.)
      const bool worse = polishedObj_ > -tol::kInf && !gapClosed(polishedObj_, z, rp.absGap, rp.mipGap);
      if ((!acc && heldBySlack_) || worse) {
        double worst = 0.0;
        for (int j = 0; j < w.n0; ++j) {
          if (w.kind[j] != kInt) continue;
          const double v = xsave_[j];
          const double off = std::fabs(v - std::round(v));
          // Both children must be strictly smaller than the node.
          if (off > worst && std::floor(v) >= curLo[j] && std::ceil(v) <= curUp[j]) {
            worst = off;
            split = j;
          }
        }
        if (split < 0 && !acc) {
          // Nothing to split on (the columns sit beside a bound): the point
          // is taken as before, within the tolerances.
          allowSlack_ = true;
          acc2 = offerSolution(xsave_.data(), false, "node");
          allowSlack_ = false;
        }
      }
      if (split < 0) {
        if (!acc2) logNode(nd, 2, tol::kNone, -1, false, false);
        return NodeResult::kIntegral;
      }
      ++slackSplits_;
      const double v = xsave_[split];
      dn.clear();
      upc.clear();
      dn.push_back({split, curLo[split], std::floor(v)});
      upc.push_back({split, std::ceil(v), curUp[split]});
      col = split;
      frac = v - std::floor(v);
      kind = 'X';
    }
    if (kind == 'I') {
      logNode(nd, 1, tol::kNone, -1, false, false);
      return NodeResult::kInfeasible;
    }
    if (kind == 'F') {
      // Strong branching fixed a column: add it to the node and solve again.
      bool onlyChild = false;
      if (++rounds > kMaxLocalRounds) {
        // Past the round limit the fixing becomes the node's one child (the
        // other side of that strong branch is empty).
        dn.clear();
        upc = localFix_;
        col = !upc.empty() && upc[0].k < w.n0 ? upc[0].k : -1;
        kind = 'X';
        onlyChild = true;
      } else {
        std::shared_ptr<Path> p = std::make_shared<Path>();
        p->parent = nd.path;
        p->changes = localFix_;
        if (!intersect(p->changes)) {
          logNode(nd, 1, tol::kNone, -1, false, false);
          return NodeResult::kInfeasible;
        }
        for (const BoundChange& c : p->changes) {
          applyChange(c.k, c.lo, c.up);
          if (!isTouched[c.k]) {
            isTouched[c.k] = 1;
            touched.push_back(c.k);
          }
        }
        // The node's own path now holds the fix (its children inherit it);
        // the engine keeps the node's basis.
        nd.path = p;
        enginePath = nullptr;
        if (!propagateNode(nd, nd.path->changes)) {
          logNode(nd, 1, tol::kNone, -1, false, false);
          return NodeResult::kInfeasible;
        }
        continue;
      }
      singleChild = onlyChild;
    }
    // Children.
    // Fixed indicator columns switch their rows on, whatever fixed them.
    addImplied(dn);
    addImplied(upc);
    const bool okDown = !singleChild && intersect(dn), okUp = intersect(upc);
    if (singleChild && !okUp) {
      logNode(nd, 1, tol::kNone, -1, false, false);
      return NodeResult::kInfeasible;
    }
    auto basis = std::make_shared<Basis>();
    snapshotBasis(*basis);
    Node kids[2];
    bool ok[2] = {okDown, okUp};
    for (int d = 0; d < 2; ++d) {
      if (!ok[d]) continue;
      Node& c = kids[d];
      auto p = std::make_shared<Path>();
      p->parent = nd.path;
      p->changes = d == 0 ? dn : upc;
      c.path = std::move(p);
      c.basis = basis;
      // The node's bound holds for its children (a node LP may be weaker
      // than its parent's when cut rows left the LP on the way).
      c.bound = std::max(nd.bound, d == 0 ? std::max(z, downBound_) : std::max(z, upBound_));
      c.depth = nd.depth + 1;
      c.id = nextNodeId++;
      c.parentId = nd.id;
      c.seq = nextSeq++;
      c.branchCol = col >= 0 && col < w.n0 ? col : -1;
      c.dir = d == 0 ? 'D' : 'U';
      c.branchKind = kind == 'V' || kind == 'S' ? 'V' : 'X';
      if (kind == 'V' && col >= 0) {  // past the local-round limit a fixing branches with no column
        c.pcCol = col;
        c.pcDist = d == 0 ? frac : 1.0 - frac;
        c.parentObj = z;
        const double pcd = pcCnt[0][col] > 0 ? pcSum[0][col] / pcCnt[0][col] : 1.0;
        const double pcu = pcCnt[1][col] > 0 ? pcSum[1][col] / pcCnt[1][col] : 1.0;
        c.estimate = d == 0 ? pcd * frac : pcu * (1.0 - frac);
      }
    }
    // Which child to process next.
    int first = 1;
    if (kind == 'V' && col >= 0 && !prioDir_.empty() && prioDir_[col] != 0) {
      first = prioDir_[col] > 0 ? 1 : 0;  // the direction of the priority order
    } else if (kind == 'V') {
      if (rp.branchDir < 0) first = 0;
      else if (rp.branchDir > 0) first = 1;
      else first = kids[0].estimate < kids[1].estimate ? 0 : 1;
    }
    if (!ok[first]) first = 1 - first;
    const int second = 1 - first;
    if (ok[second] && kids[second].bound < cutoff) store.insert(std::move(kids[second]));
    if (ok[first] && kids[first].bound < cutoff) {
      // Plunge: keep diving while the child is not much worse than the best
      // open node.
      const double best = std::min({store.bestBound(), kids[first].bound, outerBound_});
      const bool dive = rp.nodeSelect == 0 || !hasIncumbent() ||
                        kids[first].bound <= best + kPlungeShare * (incumbentObj - best);
      if (dive) {
        *next = std::move(kids[first]);
        *haveNext = true;
      } else {
        store.insert(std::move(kids[first]));
      }
    }
    // The node is done; the child processed next holds its part of the bound.
    inProcess_ = *haveNext ? next : nullptr;
    logNode(nd, 0, z, iinf, false, false);
    return NodeResult::kBranched;
  }
}

// ---------------------------------------------------------------------------
// The loop.

int Search::pollStop() {
  if (int s = checkLimits(*env_)) return s;
  // Before polishing, its start conditions stop the search early; the
  // polishing test then decides whether the stop is final.
  const bool early = !polishing_;
  if (nodeCount >= rp.nodeLimit || (early && nodeCount >= rp.polishNodes)) return kStopNodes;
  if (solutions >= rp.solLimit || (early && solutions >= rp.polishSols)) return kStopSolutions;
  if (early && rp.polishTime < 1e75 && envTime(*env_) - runStart >= rp.polishTime) return 11;
  if (early && rp.polishDetTime < 1e75 && detTicks(*env_) - runStartTicks >= rp.polishDetTime) return 25;
  if (rp.treeMemLimit < 1e75 && static_cast<double>(store.memory()) > rp.treeMemLimit * 1048576.0) return kStopMemory;
  return 0;
}

int Search::branchAndBound() {
  bcThreads_ = subMip ? 1 : rp.threads;
  if (bcThreads_ > 1) {
    const int r = parallelBranchAndBound();
    if (r != kStopSerial) return r;
    bcThreads_ = 1;
  }
  Node cur;
  bool haveCur = false;
  if (pending) {
    cur = std::move(*pending);
    pending.reset();
    haveCur = true;
  }
  for (;;) {
    globalReducedCostFixing();
    if (int s = pollStop()) {
      if (haveCur) pending = std::make_unique<Node>(std::move(cur));
      return s;
    }
    const double bb = std::min(store.bestBound(), haveCur ? cur.bound : tol::kNone);
    const bool polishGap = !polishing_ && (rp.polishAbsGap > 0 || rp.polishRelGap > 0);
    if (hasIncumbent() && bb < tol::kNone &&
        (gapClosed(incumbentObj, bb, rp.absGap, rp.mipGap) ||
         (polishGap && gapClosed(incumbentObj, bb, rp.polishAbsGap, rp.polishRelGap)))) {
      if (haveCur) pending = std::make_unique<Node>(std::move(cur));
      return store.empty() && !pending ? kStopTreeEmpty : kStopGap;
    }
    if (!haveCur) {
      if (store.empty()) return kStopTreeEmpty;
      cur = store.selectNode(incumbentObj, cutoff, rp.absGap, rp.mipGap, rp.bbInterval);
      if (store.fileError()) {
        fileError_ = store.fileError();
        return kStopError;
      }
    }
    haveCur = false;
    if (cur.bound >= cutoff) continue;  // pruned by a newer incumbent
    if (env_->counter) env_->counter->add(static_cast<uint64_t>(w.n + w.m));
    Node next;
    bool haveNext = false;
    const NodeResult r = processNode(cur, &next, &haveNext);
    if (r == NodeResult::kStopped) {
      pending = std::make_unique<Node>(std::move(cur));
      return lastStop_;
    }
    if (r == NodeResult::kUnbounded) return kStopUnbounded;
    if (int e = store.spillIfNeeded()) {
      fileError_ = e;
      if (haveNext) pending = std::make_unique<Node>(std::move(next));
      return kStopError;
    }
    if (haveNext) {
      cur = std::move(next);
      haveCur = true;
    }
  }
}

}  // namespace vnt::mip
