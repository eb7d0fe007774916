// The conflict refiner for linear programs: finds a small set of rows and
// bounds that is infeasible on its own.
//
// Search.  Every candidate group (a row, a bound, or a caller's group of
// them) is switched on or off in one simplex engine loaded with the model
// and a zero objective; switching a group off relaxes its rows to free rows
// and its bounds to infinite ones, so each test is a warm dual simplex solve
// from the previous basis.  The search keeps an infeasible set C and a set
// of groups proved to belong to it:
//  1. Start: solve the whole problem; the Farkas certificate of the
//     infeasibility names the rows and bounds its proof uses, and every other
//     group is dropped at once (an elastic-filter start).
//  2. Deletion with bisection: switch off a block of the undecided groups.
//     Still infeasible: the block leaves C for good, as does every undecided
//     group the new certificate does not use.  Feasible: the block goes back;
//     a block of one group is then proved necessary, a larger block is split
//     in halves.
// A group proved necessary for a superset of the final set is necessary for
// the final set too (dropping it from fewer constraints leaves a feasible
// problem), so the final set is irreducible unless a limit or an unclear
// solve cut the search short.
//
// Quadratic constraints have no optimizer here: every candidate problem
// leaves them out, so it is a relaxation of the set it stands for.  An
// infeasible relaxation proves its set infeasible, so a conflict is found
// whenever the linear part alone is infeasible; it is minimal unless one of
// its groups also holds a quadratic constraint.  When the relaxation of the
// whole problem is feasible, its point decides: feasible when it satisfies
// the quadratic constraints too, otherwise the refiner cannot answer (1018).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "env/limits.h"
#include "io/io.h"
#include "model/attachments.h"
#include "model/opsupport.h"
#include "params/params.h"
#include "simplex/lpdriver.h"
#include "tools/tools.h"

namespace vnt::tools {

using simplex::LpEngine;
using simplex::LpStatus;

namespace {

constexpr double kInf = 1e20;
constexpr int kParamAdvance = 1001;
constexpr int kParamConflictDisplay = 1074;
constexpr int kParamBenders = 1501;
// Certificate entries below this share of the largest one are taken as zero.
constexpr double kSupportRel = 1e-9;
// Nodes of one MIP solve of a candidate set (the node limit, when lower,
// caps it instead).
constexpr long long kSubMipNodeCap = 20000;
constexpr int kParamNodeLimit = 2017;
constexpr int kParamLowerObj = 1025, kParamUpperObj = 1026;
constexpr int kParamLowerCutoff = 2006, kParamUpperCutoff = 2007;

// Member kinds.
enum Kind : int { kLower = 1, kUpper = 2, kLinear = 3, kQuadratic = 4, kSos = 5, kIndicator = 6, kPwl = 7 };

// Group statuses as getconflictext reports them.
constexpr int kExcluded = -1;
constexpr int kPossible = 0;
constexpr int kMember = 3;

struct Group {
  double pref = 0.0;
  std::vector<int> kind, index;  // members
};

}  // namespace

// The conflict record kept on a problem.
class ConflictState : public model::SolverState {
 public:
  bool onChange(model::Problem&, const model::ChangeEvent& ev) override { return !model::changesSolution(ev.kind); }
  int status = 0;
  bool ext = false;                // made by the group form
  std::vector<Group> groups;
  std::vector<int> groupStat;
  long long iterations = 0;
  int passes = 0;
  int ncols = 0, nrows = 0;
};

namespace {

ConflictState* conflictOf(model::Problem& p) {
  return static_cast<ConflictState*>(p.state[model::kSlotConflict].get());
}

// The search over groups on one engine.
class Refiner {
 public:
  Refiner(Env& env, const model::ModelData& md, const std::vector<Group>& groups, bool mip)
      : env_(env), md_(md), groups_(groups), mip_(mip), budget_(env) {}

  // Runs the search; fills stat (per group) and returns the conflict
  // status, or a negative status code for an error.
  int run(std::vector<int>& stat, long long* iterations, int* passes);

 private:
  void applyColumn(int j);
  void applyRow(int i);
  void setGroup(int g, bool on);
  // 1 infeasible (certificate in y_), 2 infeasible without a certificate,
  // 0 feasible, -1 unclear, or a limit's conflict status (33 and above).
  int solve();
  // A column whose lower and upper bound, both on, cross: a conflict of two
  // members.  Returns the column or -1.
  int crossedColumn() const;
  // Groups used by the last certificate.
  std::vector<char> usedBy();
  // Groups of `block` whose members the engine's current point violates.
  std::vector<int> violated(const std::vector<int>& block);
  void logLine(long long maxMembers, long long minMembers);
  // One MIP feasibility solve of the members now on.
  int solveMip();
  // The point of the last feasible answer satisfies every quadratic
  // constraint of the model.
  bool quadraticsHold();

  Env& env_;
  const model::ModelData& md_;
  const std::vector<Group>& groups_;
  std::unique_ptr<LpEngine> e_;
  std::vector<int> rowOn_, lbOn_, ubOn_;  // on-counts of rows and bounds (several groups may hold one)
  std::vector<double> y_;
  int display_ = 1;
  long long solves_ = 0;
  long long simplexIts_ = 0;
  long long itLimit_ = 0;
  bool unclear_ = false;
  bool mip_ = false;
  SubBudget budget_;
  std::vector<int> sosOn_, indOn_, pwlOn_;  // on-counts of the special constraints
  std::vector<double> mipX_;               // the last feasible point of a MIP solve
  long long maxMembers_ = 0, minMembers_ = 0;  // the bounds of the last log line
  // The candidate problems have no objective: an objective limit that 0
  // already passes would stop every solve at once.
  bool objectiveLimitPassed_ = false;
};

void Refiner::applyColumn(int j) {
  if (mip_) return;
  e_->setColBounds(j, lbOn_[j] > 0 ? md_.lb[j] : -kInf, ubOn_[j] > 0 ? md_.ub[j] : kInf);
}

void Refiner::applyRow(int i) {
  double lo = -kInf, up = kInf;
  if (rowOn_[i] > 0) simplex::rowActivityLimits(md_, i, &lo, &up);
  e_->setRowBounds(i, lo, up);
}

void Refiner::setGroup(int g, bool on) {
  const Group& gr = groups_[g];
  const int d = on ? 1 : -1;
  for (size_t q = 0; q < gr.kind.size(); ++q) {
    const int k = gr.index[q];
    switch (gr.kind[q]) {
      case kLower: lbOn_[k] += d; applyColumn(k); break;
      case kUpper: ubOn_[k] += d; applyColumn(k); break;
      case kLinear: rowOn_[k] += d; if (!mip_) applyRow(k); break;
      case kSos: sosOn_[k] += d; break;
      case kIndicator: indOn_[k] += d; break;
      case kPwl: pwlOn_[k] += d; break;
      default: break;
    }
  }
}

int Refiner::solveMip() {
  // The members now on: rows off are left out, bounds off are infinite,
  // special constraints off are left out; a zero objective.
  const int n = md_.numCols(), m = md_.numRows();
  model::ModelData sub;
  sub.objsen = 1;
  sub.obj.assign(n, 0.0);
  sub.ctype = md_.ctype;
  sub.colname = md_.colname;
  sub.lb.resize(n);
  sub.ub.resize(n);
  for (int j = 0; j < n; ++j) {
    sub.lb[j] = lbOn_[j] > 0 ? md_.lb[j] : -kInf;
    sub.ub[j] = ubOn_[j] > 0 ? md_.ub[j] : kInf;
  }
  std::vector<int> rowMap(m, -1);
  for (int i = 0; i < m; ++i) {
    if (rowOn_[i] <= 0) continue;
    rowMap[i] = sub.numRows();
    sub.rhs.push_back(md_.rhs[i]);
    sub.sense.push_back(md_.sense[i]);
    if (!md_.rngval.empty()) sub.rngval.push_back(md_.rngval[i]);
  }
  sub.matbeg.assign(1, 0);
  for (int j = 0; j < n; ++j) {
    for (int64_t k = md_.matbeg[j]; k < md_.matbeg[j + 1]; ++k)
      if (rowMap[md_.matind[k]] >= 0) {
        sub.matind.push_back(rowMap[md_.matind[k]]);
        sub.matval.push_back(md_.matval[k]);
      }
    sub.matbeg.push_back(static_cast<int64_t>(sub.matind.size()));
  }
  for (size_t k = 0; k < md_.sos.size(); ++k)
    if (sosOn_[k] > 0) sub.sos.push_back(md_.sos[k]);
  for (size_t k = 0; k < md_.indconstr.size(); ++k)
    if (indOn_[k] > 0) sub.indconstr.push_back(md_.indconstr[k]);
  for (size_t k = 0; k < md_.pwl.size(); ++k)
    if (pwlOn_[k] > 0) sub.pwl.push_back(md_.pwl[k]);
  sub.lazycons = md_.lazycons;
  SubResult r;
  // A candidate set with integer columns left unbounded may have no finite
  // search tree: each solve is capped.  The node limit reached ends the
  // refinement as a node limit (35); the refiner's own cap reached leaves
  // that candidate set undecided (the search goes on and the conflict ends
  // non-minimal), except on the first solve, which has nothing to go on.
  if (solveSubMip(env_, sub, budget_, r, false, kSubMipNodeCap) != 0) return -1;
  const bool ownCap = kSubMipNodeCap < params::getLong(env_, kParamNodeLimit);
  simplexIts_ += r.iterations;
  if (r.hasX) mipX_ = r.x;
  switch (r.stat) {
    case 101: case 102: case 104: case 105: case 107: case 111: case 113: case 115: case 131: case 203:
      return r.hasX ? 0 : -1;  // a feasible point, whatever stopped the search after it
    case 103: return 2;
    case 106: return ownCap && solves_ > 1 ? -1 : 35;
    case 108: return 33;
    case 132: return 39;
    case 112: return 37;
    case 114: return 38;
    case 204: return 34;
    default: return -1;
  }
}

int Refiner::solve() {
  if (objectiveLimitPassed_) return 36;
  // A limit or an abort seen before the solve, as a conflict status.
  switch (checkLimits(env_)) {
    case 0: break;
    case 10: return 34;
    case 11: return 33;
    case 25: return 39;
    case 13: return 38;
    default: return 38;
  }
  ++solves_;
  if (mip_) {
    const int r = solveMip();
    logLine(maxMembers_, minMembers_);
    return r;
  }
  e_->options().iterationLimit = std::max<long long>(1, itLimit_ - simplexIts_);
  const int64_t before = e_->iterations();
  LpStatus st = e_->solveDual();
  if (st != LpStatus::kOptimal && st != LpStatus::kInfeasible) {
    // A stalled or troubled dual: the primal from the same basis decides.
    if (st != LpStatus::kIterationLimit && st != LpStatus::kTimeLimit && st != LpStatus::kAborted &&
        st != LpStatus::kDetTimeLimit)
      st = e_->solvePrimal();
  }
  simplexIts_ += std::max<int64_t>(0, e_->iterations() - before);
  logLine(maxMembers_, minMembers_);
  switch (st) {
    case LpStatus::kOptimal:
    case LpStatus::kOptimalUnscaledInfeas:
    case LpStatus::kUnbounded:
      return 0;
    case LpStatus::kInfeasible:
      return e_->getFarkas(y_) ? 1 : 2;
    case LpStatus::kIterationLimit: return 34;
    case LpStatus::kTimeLimit: return 33;
    case LpStatus::kDetTimeLimit: return 39;
    case LpStatus::kAborted: return 38;
    default: return -1;
  }
}

std::vector<char> Refiner::usedBy() {
  // The proof: y'(Ax) over the column box against y'r over the row limits.
  // Which side of each row and column it uses follows from which interval
  // lies below the other; a member the proof does not touch is unused.
  const int n = md_.numCols(), m = md_.numRows();
  double ymax = 0.0;
  for (double v : y_) ymax = std::max(ymax, std::fabs(v));
  std::vector<double> y(m, 0.0), g(n, 0.0);
  for (int i = 0; i < m; ++i)
    if (std::fabs(y_[i]) > kSupportRel * ymax && rowOn_[i] > 0) y[i] = y_[i];
  double gmax = 0.0;
  for (int j = 0; j < n; ++j) {
    double t = 0.0;
    for (int64_t k = md_.matbeg[j]; k < md_.matbeg[j + 1]; ++k) t += md_.matval[k] * y[md_.matind[k]];
    g[j] = t;
    gmax = std::max(gmax, std::fabs(t));
  }
  for (double& v : g)
    if (std::fabs(v) <= kSupportRel * std::max(1.0, gmax) * 1e-3) v = 0.0;
  // Intervals: rows [rLo, rHi], columns [cLo, cHi] (infinite parts counted).
  auto ends = [&](double coef, double lo, double up, double* a, double* b) {
    const double p = coef > 0 ? lo : up, q = coef > 0 ? up : lo;
    *a = (p <= -kInf || p >= kInf) ? -INFINITY : coef * p;
    *b = (q <= -kInf || q >= kInf) ? INFINITY : coef * q;
  };
  double rLo = 0, rHi = 0, cLo = 0, cHi = 0;
  for (int i = 0; i < m; ++i) {
    if (y[i] == 0.0) continue;
    double lo, up, a, b;
    simplex::rowActivityLimits(md_, i, &lo, &up);
    ends(y[i], lo, up, &a, &b);
    rLo += a;
    rHi += b;
  }
  for (int j = 0; j < n; ++j) {
    if (g[j] == 0.0) continue;
    double a, b;
    ends(g[j], lbOn_[j] > 0 ? md_.lb[j] : -kInf, ubOn_[j] > 0 ? md_.ub[j] : kInf, &a, &b);
    cLo += a;
    cHi += b;
  }
  // colsBelow: the columns' largest value stays below the rows' smallest.
  const bool colsBelow = cHi < rLo;
  const bool colsAbove = cLo > rHi;
  std::vector<char> used(groups_.size(), 0);
  for (size_t gi = 0; gi < groups_.size(); ++gi) {
    const Group& gr = groups_[gi];
    for (size_t q = 0; q < gr.kind.size() && !used[gi]; ++q) {
      const int k = gr.index[q];
      switch (gr.kind[q]) {
        case kLinear: used[gi] = y[k] != 0.0; break;
        case kLower:
        case kUpper: {
          if (g[k] == 0.0) break;
          if (!colsBelow && !colsAbove) {
            used[gi] = 1;  // the sides are not clear: keep both bounds
            break;
          }
          // Below: the upper ends of g_j x_j count (ub for g > 0, lb for g < 0).
          const bool upperUsed = colsBelow == (g[k] > 0);
          used[gi] = (gr.kind[q] == kUpper) == upperUsed;
          break;
        }
        case kQuadratic: break;  // left out of every candidate problem
        default: used[gi] = 1;
      }
    }
  }
  return used;
}

bool Refiner::quadraticsHold() {
  if (md_.qconstr.empty()) return true;
  const int n = md_.numCols();
  std::vector<double> x(n);
  if (mip_) {
    if (mipX_.size() != static_cast<size_t>(n)) return false;
    x = mipX_;
  } else {
    e_->getX(x.data());
  }
  const double tol = params::getDbl(env_, kParamFeasibilityTol);
  for (const model::QuadConstraint& qc : md_.qconstr) {
    double v = 0.0;
    for (size_t t = 0; t < qc.linind.size(); ++t) v += qc.linval[t] * x[qc.linind[t]];
    for (const model::QuadTerm& q : qc.quad) v += q.coef * x[q.col1] * x[q.col2];
    const double slack = tol * (1.0 + std::fabs(qc.rhs));
    const bool ok = qc.sense == 'L' ? v <= qc.rhs + slack
                    : qc.sense == 'G' ? v >= qc.rhs - slack
                                      : std::fabs(v - qc.rhs) <= slack;
    if (!ok) return false;
  }
  return true;
}

int Refiner::crossedColumn() const {
  const double tol = params::getDbl(env_, kParamFeasibilityTol);
  for (int j = 0, n = md_.numCols(); j < n; ++j)
    if (lbOn_[j] > 0 && ubOn_[j] > 0 && md_.lb[j] > md_.ub[j] + tol) return j;
  return -1;
}

std::vector<int> Refiner::violated(const std::vector<int>& block) {
  const int n = md_.numCols(), m = md_.numRows();
  std::vector<double> x(n), ax(m);
  double tol = 0.0;
  if (mip_) {
    if (mipX_.size() != static_cast<size_t>(n)) return block;
    x = mipX_;
    rowActivities(md_, x.data(), ax.data());
    tol = params::getDbl(env_, kParamFeasibilityTol);
  } else {
    e_->getX(x.data());
    e_->getRowActivity(ax.data());
    tol = e_->options().feasibilityTol;
  }
  auto beyond = [&](double v, double lo, double up) {
    return v < lo - tol * (1 + std::fabs(lo)) || v > up + tol * (1 + std::fabs(up));
  };
  std::vector<int> out;
  for (int g : block) {
    const Group& gr = groups_[g];
    bool hit = false;
    for (size_t q = 0; q < gr.kind.size() && !hit; ++q) {
      const int k = gr.index[q];
      switch (gr.kind[q]) {
        case kLower: hit = md_.lb[k] > -kInf && x[k] < md_.lb[k] - tol * (1 + std::fabs(md_.lb[k])); break;
        case kUpper: hit = md_.ub[k] < kInf && x[k] > md_.ub[k] + tol * (1 + std::fabs(md_.ub[k])); break;
        case kLinear: {
          double lo, up;
          simplex::rowActivityLimits(md_, k, &lo, &up);
          hit = beyond(ax[k], lo, up);
          break;
        }
        // A special constraint counts as violated: the set stays a
        // superset of the violated groups, which is all the step needs.
        default: hit = true; break;
      }
    }
    if (hit) out.push_back(g);
  }
  return out;
}

// One line per solve, with the bounds known when it started.
void Refiner::logLine(long long maxMembers, long long minMembers) {
  if (display_ >= 1) print(env_, Chan::Log, " %9lld %12lld %12lld\n", solves_, maxMembers, minMembers);
}

int Refiner::run(std::vector<int>& stat, long long* iterations, int* passes) {
  const int n = md_.numCols(), m = md_.numRows();
  const int ng = static_cast<int>(groups_.size());
  display_ = params::getInt(env_, kParamConflictDisplay);
  itLimit_ = params::getLong(env_, kParamIterationLimit);
  {
    // In minimization form: the dual simplex's objective limit for LP, the
    // cutoff for MIP (the MIP solves themselves run without one).
    const bool maximize = md_.objsen < 0;
    const double lim = mip_ ? params::getDbl(env_, maximize ? kParamLowerCutoff : kParamUpperCutoff)
                            : params::getDbl(env_, maximize ? kParamLowerObj : kParamUpperObj);
    objectiveLimitPassed_ = std::fabs(lim) < 1e75 && (maximize ? -lim : lim) < 0.0;
  }
  stat.assign(ng, kExcluded);
  *passes = 0;
  // The engine: the model with a zero objective; rows and bounds that no
  // group holds stay on throughout.
  if (!mip_) {
    model::ModelData feas = md_;
    std::fill(feas.obj.begin(), feas.obj.end(), 0.0);
    feas.qobj.clear();
    feas.qconstr.clear();
    e_ = std::make_unique<LpEngine>();
    setEngineOptions(env_, e_->options());
    if (e_->load(feas)) return -1003;
  }
  sosOn_.assign(md_.sos.size(), 0);
  indOn_.assign(md_.indconstr.size(), 0);
  pwlOn_.assign(md_.pwl.size(), 0);
  // A member no group holds stays on throughout; a held one is on while at
  // least one of the groups holding it is.
  rowOn_.assign(m, 0);
  lbOn_.assign(n, 0);
  ubOn_.assign(n, 0);
  for (int g = 0; g < ng; ++g)
    for (size_t q = 0; q < groups_[g].kind.size(); ++q) {
      const int k = groups_[g].index[q];
      switch (groups_[g].kind[q]) {
        case kLower: ++lbOn_[k]; break;
        case kUpper: ++ubOn_[k]; break;
        case kLinear: ++rowOn_[k]; break;
        case kSos: ++sosOn_[k]; break;
        case kIndicator: ++indOn_[k]; break;
        case kPwl: ++pwlOn_[k]; break;
        default: break;
      }
    }
  for (int& v : sosOn_) v = v == 0 ? 1 : v;
  for (int& v : indOn_) v = v == 0 ? 1 : v;
  for (int& v : pwlOn_) v = v == 0 ? 1 : v;
  for (int& v : rowOn_) v = v == 0 ? 1 : v;
  for (int& v : lbOn_) v = v == 0 ? 1 : v;
  for (int& v : ubOn_) v = v == 0 ? 1 : v;
  if (!mip_) {
    for (int i = 0; i < m; ++i) applyRow(i);
    for (int j = 0; j < n; ++j) applyColumn(j);
  }

  if (display_ >= 1) {
    print(env_, Chan::Log, "\nRefine conflict on %lld members...\n\n", static_cast<long long>(ng));
    print(env_, Chan::Log, " Iteration  Max Members  Min Members\n");
  }
  // Groups with a negative preference stay in the problem and are never
  // candidates; they are reported as excluded.
  std::vector<int> undecided;
  for (int g = 0; g < ng; ++g)
    if (groups_[g].pref >= 0) undecided.push_back(g);
  std::stable_sort(undecided.begin(), undecided.end(),
                   [&](int a, int b) { return groups_[a].pref < groups_[b].pref; });
  std::vector<char> inC(ng, 0);
  for (int g : undecided) inC[g] = 1;

  std::vector<int> confirmed;
  *passes = 1;
  // Crossed bounds need no solve: a group holding the lower and one holding
  // the upper bound are the conflict.
  if (const int j = crossedColumn(); j >= 0) {
    int gl = -1, gu = -1;
    for (int g : undecided)
      for (size_t q = 0; q < groups_[g].kind.size(); ++q) {
        if (groups_[g].index[q] != j) continue;
        if (groups_[g].kind[q] == kLower && gl < 0) gl = g;
        if (groups_[g].kind[q] == kUpper && gu < 0) gu = g;
      }
    if ((gl >= 0 || lbOn_[j] > 0) && (gu >= 0 || ubOn_[j] > 0) && (gl >= 0 || gu >= 0)) {
      for (int g = 0; g < ng; ++g) stat[g] = g == gl || g == gu ? kMember : kExcluded;
      logLine(gl >= 0 && gu >= 0 ? 2 : 1, gl >= 0 && gu >= 0 ? 2 : 1);
      *iterations = 0;
      return 31;
    }
  }
  maxMembers_ = static_cast<long long>(undecided.size());
  int r = solve();
  if (r == 0) {
    *iterations = solves_;
    return quadraticsHold() ? 30 : -1018;
  }
  if (r < 0) {
    *iterations = solves_;
    return -1;  // without a first answer there is no conflict
  }
  if (r > 2) {
    // A limit before the first answer: what is known of the conflict is
    // that it lies among the candidates.
    for (int g : undecided) stat[g] = kPossible;
    *iterations = solves_;
    return r;
  }
  // Drops the undecided groups the last certificate does not use, and
  // checks by a solve that the rest is still infeasible (a certificate's
  // tiny weights are cut off, so the smaller set must prove itself); when it
  // is not, the dropped groups come back.  Returns 0 or a limit's status.
  auto dropUnused = [&]() {
    for (int round = 0; round < 3; ++round) {
      std::vector<char> used = usedBy();
      std::vector<int> keep, dropped;
      for (int g : undecided) (used[g] ? keep : dropped).push_back(g);
      if (dropped.empty()) return 0;
      for (int g : dropped) setGroup(g, false);
      const int rr = solve();
      if (rr == 1 || rr == 2) {
        for (int g : dropped) inC[g] = 0;
        undecided.swap(keep);
        if (rr == 2) return 0;
        continue;
      }
      for (int g : dropped) setGroup(g, true);
      if (rr < 0) unclear_ = true;
      return rr > 2 ? rr : 0;
    }
    return 0;
  };
  int limit = 0;
  if (r == 1) limit = dropUnused();
  maxMembers_ = static_cast<long long>(undecided.size() + confirmed.size());
  size_t chunk = std::max<size_t>(1, (undecided.size() + 1) / 2);
  while (!undecided.empty() && !limit) {
    ++*passes;
    const size_t take = std::min(chunk, undecided.size());
    for (size_t q = 0; q < take; ++q) setGroup(undecided[q], false);
    r = solve();
    if (r > 2) {
      for (size_t q = 0; q < take; ++q) setGroup(undecided[q], true);
      limit = r;
      break;
    }
    if (r == 1 || r == 2) {
      for (size_t q = 0; q < take; ++q) inC[undecided[q]] = 0;
      undecided.erase(undecided.begin(), undecided.begin() + static_cast<long>(take));
      if (r == 1) limit = dropUnused();
    } else {
      for (size_t q = 0; q < take; ++q) setGroup(undecided[q], true);
      if (r < 0) unclear_ = true;
      // The feasible point of C without the block violates some of the
      // block's groups, V; C without V is feasible too, so a necessary
      // group lies in V.  One violated group is thus proved necessary by
      // the point itself; several become the front of the next block.
      std::vector<int> v;
      if (r == 0 && take > 1) v = violated(std::vector<int>(undecided.begin(), undecided.begin() + take));
      if (take == 1 || v.size() == 1) {
        const int g = take == 1 ? undecided.front() : v.front();
        confirmed.push_back(g);
        undecided.erase(std::find(undecided.begin(), undecided.end(), g));
        chunk = std::max<size_t>(1, (undecided.size() + 1) / 2);
      } else if (!v.empty() && v.size() < take) {
        std::vector<char> inV(ng, 0);
        for (int g : v) inV[g] = 1;
        std::stable_partition(undecided.begin(), undecided.end(), [&](int g) { return inV[g] != 0; });
        chunk = (v.size() + 1) / 2;
      } else {
        chunk = (take + 1) / 2;
      }
    }
    chunk = std::min(chunk, std::max<size_t>(1, undecided.size()));
    maxMembers_ = static_cast<long long>(undecided.size() + confirmed.size());
    minMembers_ = static_cast<long long>(confirmed.size());
  }
  for (int g : confirmed) inC[g] = 1;
  bool quadraticInSet = false;
  for (int g = 0; g < ng; ++g)
    for (size_t q = 0; q < groups_[g].kind.size() && inC[g]; ++q)
      if (groups_[g].kind[q] == kQuadratic) quadraticInSet = true;
  if (quadraticInSet) unclear_ = true;  // its relaxation proved only the linear part
  for (int g = 0; g < ng; ++g) stat[g] = inC[g] ? (limit == 0 && !unclear_ ? kMember : kPossible) : kExcluded;
  // Proved necessary for the relaxation; with a quadratic constraint in the
  // set the true conflict may be smaller.
  for (int g : confirmed) stat[g] = quadraticInSet ? kPossible : kMember;
  *iterations = solves_;
  if (limit) return limit;
  return unclear_ ? 32 : 31;
}

bool statusProvesFeasible(int s) {
  switch (s) {
    case 1: case 5: case 6: case 23:
    case 101: case 102: case 104: case 105: case 107: case 109: case 111: case 113: case 116:
    case 127: case 131: case 203:
      return true;
    default:
      return false;
  }
}

// Restores a parameter on every path out of the refinement.
struct ParamGuard {
  Env& env;
  int id, saved;
  ParamGuard(Env& e, int i, int v) : env(e), id(i), saved(params::getInt(e, i)) { params::setIntParam(env, id, v); }
  ~ParamGuard() { params::setIntParam(env, id, saved); }
};

int refine(Env& env, model::Problem& lp, std::vector<Group> groups, bool ext, const model::ModelData* fixedStart) {
  // Every model type: a quadratic objective plays no part, quadratic
  // constraints are handled as the search's header says.
  const bool mip = model::isMipType(lp.probtype);
  if (int st = model::flushCache(env, lp)) return st;
  params::displayChanged(env);
  ParamGuard benders(env, kParamBenders, -1);
  lp.state[model::kSlotConflict].reset();
  const simplex::LpState* s = simplex::findLpState(lp);
  const auto t0 = std::chrono::steady_clock::now();
  const double ticks0 = detTicks(env);
  auto state = std::make_unique<ConflictState>();
  state->ext = ext;
  state->ncols = lp.data->numCols();
  state->nrows = lp.data->numRows();
  int st = 0;
  if (!fixedStart && params::getInt(env, kParamAdvance) != 0 && s && statusProvesFeasible(s->stat)) {
    state->status = 30;
    state->groups = std::move(groups);
    state->groupStat.assign(state->groups.size(), kExcluded);
  } else {
    model::ModelData md;
    if (fixedStart) md = *fixedStart;
    else if ((st = model::exportData(lp, md)) != 0) return st;
    if (!md.lazycons.empty()) print(env, Chan::Warning, "Warning:  Lazy constraints ignored during conflict refinement.\n");
    if (!md.usercuts.empty()) print(env, Chan::Warning, "Warning:  User cuts ignored during conflict refinement.\n");
    if (int push = pushLimitFrameFromParams(env)) return push;
    Refiner r(env, md, groups, mip);
    std::vector<int> stat;
    long long its = 0;
    int passes = 0;
    const int res = r.run(stat, &its, &passes);
    popLimitFrame(env);
    if (res < 0) {
      print(env, Chan::Results, "Failed to compute conflict.\n");
      return res == -1 ? 1719 : -res;
    }
    state->status = res;
    state->groups = std::move(groups);
    state->groupStat = std::move(stat);
    state->iterations = its;
    state->passes = passes;
  }
  ConflictState& c = *state;
  lp.state[model::kSlotConflict] = std::move(state);
  // Summary report.
  if (c.status == 30) {
    print(env, Chan::Results, "Problem is feasible; no conflict available.\n");
    return 0;
  }
  long long count[8] = {};
  for (size_t g = 0; g < c.groups.size(); ++g) {
    if (c.groupStat[g] == kExcluded) continue;
    for (int k : c.groups[g].kind)
      if (k >= 1 && k <= 7) ++count[k];
  }
  const bool minimal = c.status == 31;
  const char* pad = minimal ? "                 " : "                     ";
  print(env, Chan::Results, "\n%s %4lld linear constraint(s)\n", minimal ? "Minimal conflict:" : "Non-minimal conflict:",
        count[kLinear]);
  const model::ProblemData& pd = *lp.data;
  if (!pd.qconstr.empty()) print(env, Chan::Results, "%s %4lld quadratic constraint(s)\n", pad, count[kQuadratic]);
  if (!pd.sos.empty()) print(env, Chan::Results, "%s %4lld SOS set(s)\n", pad, count[kSos]);
  if (!pd.indconstr.empty()) print(env, Chan::Results, "%s %4lld indicator constraint(s)\n", pad, count[kIndicator]);
  if (!pd.pwl.empty()) print(env, Chan::Results, "%s %4lld pwl constraint(s)\n", pad, count[kPwl]);
  print(env, Chan::Results, "%s %4lld lower bound(s)\n", pad, count[kLower]);
  print(env, Chan::Results, "%s %4lld upper bound(s)\n", pad, count[kUpper]);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double ticks = detTicks(env) - ticks0;
  print(env, Chan::Results, "Conflict computation time = %7.2f sec.  Iterations = %lld\n", secs, c.iterations);
  print(env, Chan::Results, "Deterministic time = %.2f ticks  (%.2f ticks/sec)\n", ticks,
        secs > 0 ? ticks / secs : 0.0);
  return 0;
}

}  // namespace

// The conflict's members as a model: its rows, and the columns with only
// the bounds in the conflict (others infinite); 1719 without a conflict.
int conflictModel(model::Problem& lp, model::ModelData& out) {
  ConflictState* c = conflictOf(lp);
  if (!c || c->status == 30) return 1719;
  model::ModelData md;
  if (int st = model::exportData(lp, md)) return st;
  const int n = md.numCols(), m = md.numRows();
  std::vector<char> row(m, 0), lb(n, 0), ub(n, 0), qc(md.qconstr.size(), 0);
  for (size_t g = 0; g < c->groups.size(); ++g) {
    if (c->groupStat[g] == kExcluded) continue;
    const Group& gr = c->groups[g];
    for (size_t q = 0; q < gr.kind.size(); ++q) {
      const int k = gr.index[q];
      if (gr.kind[q] == kLinear) row[k] = 1;
      else if (gr.kind[q] == kLower) lb[k] = 1;
      else if (gr.kind[q] == kUpper) ub[k] = 1;
      else if (gr.kind[q] == kQuadratic) qc[k] = 1;
    }
  }
  std::vector<char> inQuad(n, 0);
  for (size_t k = 0; k < qc.size(); ++k) {
    if (!qc[k]) continue;
    for (int j : md.qconstr[k].linind) inQuad[j] = 1;
    for (const model::QuadTerm& t : md.qconstr[k].quad) inQuad[t.col1] = inQuad[t.col2] = 1;
  }
  // Columns in a member row or with a member bound.
  std::vector<int> colMap(n, -1), rowMap(m, -1);
  int nc = 0, nr = 0;
  for (int i = 0; i < m; ++i)
    if (row[i]) rowMap[i] = nr++;
  for (int j = 0; j < n; ++j) {
    bool use = lb[j] || ub[j] || inQuad[j];
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1] && !use; ++k) use = row[md.matind[k]] != 0;
    if (use) colMap[j] = nc++;
  }
  out = model::ModelData{};
  out.probname = md.probname + "_conflict";
  out.objsen = md.objsen;
  for (int j = 0; j < n; ++j) {
    if (colMap[j] < 0) continue;
    out.obj.push_back(0.0);
    out.lb.push_back(lb[j] ? md.lb[j] : -kInf);
    out.ub.push_back(ub[j] ? md.ub[j] : kInf);
    if (!md.colname.empty()) out.colname.push_back(md.colname[j]);
    if (!md.ctype.empty()) out.ctype.push_back(md.ctype[j]);
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k)
      if (row[md.matind[k]]) {
        out.matind.push_back(rowMap[md.matind[k]]);
        out.matval.push_back(md.matval[k]);
      }
    out.matbeg.push_back(static_cast<int64_t>(out.matind.size()));
  }
  for (int i = 0; i < m; ++i) {
    if (!row[i]) continue;
    out.rhs.push_back(md.rhs[i]);
    out.sense.push_back(md.sense[i]);
    if (!md.rngval.empty()) out.rngval.push_back(md.rngval[i]);
    if (!md.rowname.empty()) out.rowname.push_back(md.rowname[i]);
  }
  for (size_t k = 0; k < qc.size(); ++k) {
    if (!qc[k]) continue;
    model::QuadConstraint qcopy = md.qconstr[k];
    for (int& j : qcopy.linind) j = colMap[j];
    for (model::QuadTerm& t : qcopy.quad) {
      t.col1 = colMap[t.col1];
      t.col2 = colMap[t.col2];
      if (t.col1 > t.col2) std::swap(t.col1, t.col2);
    }
    out.qconstr.push_back(std::move(qcopy));
  }
  return 0;
}

}  // namespace vnt::tools

// ---------------------------------------------------------------------------
// Checked entries.

namespace vnt::chk {

using tools::ConflictState;

namespace {

// Every row, finite bound and special constraint as a group of its own.
std::vector<tools::Group> everyMember(const model::ModelData& md) {
  std::vector<tools::Group> groups;
  for (int i = 0; i < md.numRows(); ++i) groups.push_back({0.0, {tools::kLinear}, {i}});
  for (int j = 0; j < md.numCols(); ++j) {
    if (md.lb[j] > -tools::kInf) groups.push_back({0.0, {tools::kLower}, {j}});
    if (md.ub[j] < tools::kInf) groups.push_back({0.0, {tools::kUpper}, {j}});
  }
  for (int k = 0; k < static_cast<int>(md.sos.size()); ++k) groups.push_back({0.0, {tools::kSos}, {k}});
  for (int k = 0; k < static_cast<int>(md.indconstr.size()); ++k) groups.push_back({0.0, {tools::kIndicator}, {k}});
  for (int k = 0; k < static_cast<int>(md.pwl.size()); ++k) groups.push_back({0.0, {tools::kPwl}, {k}});
  for (int k = 0; k < static_cast<int>(md.qconstr.size()); ++k) groups.push_back({0.0, {tools::kQuadratic}, {k}});
  return groups;
}

// The caller's groups, checked against the model.
int readGroups(Env& env, const model::ProblemData& pd, int grpcnt, long long concnt, const double* grppref,
               const long long* grpbeg, const int* grpind, const char* grptype, std::vector<tools::Group>& groups) {
  if (grpcnt < 0 || concnt < 0) return 1003;
  if (grpcnt > 0 && (!grpbeg || !grppref)) return 1004;
  if (concnt > 0 && (!grpind || !grptype)) return 1004;
  const int n = pd.numCols(), m = pd.numRows();
  groups.assign(grpcnt, {});
  for (int g = 0; g < grpcnt; ++g) {
    const long long b = grpbeg[g], e = g + 1 < grpcnt ? grpbeg[g + 1] : concnt;
    if (b < 0 || e < b || e > concnt) return 1003;
    if (std::isnan(grppref[g])) return 1003;
    groups[g].pref = grppref[g];
    for (long long q = b; q < e; ++q) {
      const int kind = static_cast<unsigned char>(grptype[q]);
      const int k = grpind[q];
      switch (kind) {
        case tools::kLinear:
          if (k < 0 || k >= m) return reportError(env, 1203, static_cast<long long>(k));
          break;
        case tools::kLower:
        case tools::kUpper:
          if (k < 0 || k >= n) return reportError(env, 1201, static_cast<long long>(k));
          break;
        case tools::kSos:
          if (k < 0 || k >= static_cast<int>(pd.sos.size())) return 1200;
          break;
        case tools::kIndicator:
          if (k < 0 || k >= static_cast<int>(pd.indconstr.size())) return 1200;
          break;
        case tools::kPwl:
          if (k < 0 || k >= static_cast<int>(pd.pwl.size())) return 1200;
          break;
        case tools::kQuadratic:
          if (k < 0 || k >= static_cast<int>(pd.qconstr.size())) return 1200;
          break;
        default: return 1003;
      }
      groups[g].kind.push_back(kind);
      groups[g].index.push_back(k);
    }
  }
  return 0;
}

// The counts of rows and columns in the conflict.
void conflictCounts(const ConflictState& c, int ncols, int* rows_p, int* cols_p) {
  int rows = 0;
  std::vector<char> col(ncols, 0);
  for (size_t g = 0; g < c.groups.size(); ++g) {
    if (c.groupStat[g] == tools::kExcluded) continue;
    for (size_t q = 0; q < c.groups[g].kind.size(); ++q) {
      const int kind = c.groups[g].kind[q];
      if (kind == tools::kLinear) ++rows;
      else if (kind == tools::kLower || kind == tools::kUpper) col[c.groups[g].index[q]] = 1;
    }
  }
  if (rows_p) *rows_p = rows;
  if (cols_p) *cols_p = static_cast<int>(std::count(col.begin(), col.end(), 1));
}

// The model with the columns of a MIP start fixed at its values (their
// bounds members then stand for the start's values); 1217 without such a
// start.
int modelWithStart(const model::Problem& lp, int index, model::ModelData& md) {
  const model::Attachments* a = model::findAttachments(lp);
  if (!a || index < 0 || index >= static_cast<int>(a->starts.size())) return 1200;
  if (int st = model::exportData(lp, md)) return st;
  const model::MipStart& ms = a->starts[index];
  for (size_t q = 0; q < ms.ind.size(); ++q) {
    const int j = ms.ind[q];
    if (j < 0 || j >= md.numCols()) continue;
    md.lb[j] = md.ub[j] = ms.val[q];
  }
  return 0;
}

}  // namespace

int refineconflict(Env& env, model::Problem& lp, int* confnumrows_p, int* confnumcols_p) {
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = model::exportData(lp, md)) return st;
    if (int st = tools::refine(env, lp, everyMember(md), false, nullptr)) return st;
    conflictCounts(*tools::conflictOf(lp), md.numCols(), confnumrows_p, confnumcols_p);
    return 0;
  });
}

int refineconflictext(Env& env, model::Problem& lp, int grpcnt, long long concnt, const double* grppref,
                      const long long* grpbeg, const int* grpind, const char* grptype) {
  return model::ops::guarded([&] {
    std::vector<tools::Group> groups;
    if (int st = readGroups(env, *lp.data, grpcnt, concnt, grppref, grpbeg, grpind, grptype, groups)) return st;
    return tools::refine(env, lp, std::move(groups), true, nullptr);
  });
}

int refinemipstartconflict(Env& env, model::Problem& lp, int mipstartindex, int* confnumrows_p, int* confnumcols_p) {
  if (!model::isMipType(lp.probtype)) return 3003;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = modelWithStart(lp, mipstartindex, md)) return st;
    if (int st = tools::refine(env, lp, everyMember(md), false, &md)) return st;
    conflictCounts(*tools::conflictOf(lp), md.numCols(), confnumrows_p, confnumcols_p);
    return 0;
  });
}

int refinemipstartconflictext(Env& env, model::Problem& lp, int mipstartindex, int grpcnt, long long concnt,
                              const double* grppref, const long long* grpbeg, const int* grpind,
                              const char* grptype) {
  if (!model::isMipType(lp.probtype)) return 3003;
  return model::ops::guarded([&] {
    model::ModelData md;
    if (int st = modelWithStart(lp, mipstartindex, md)) return st;
    std::vector<tools::Group> groups;
    if (int st = readGroups(env, *lp.data, grpcnt, concnt, grppref, grpbeg, grpind, grptype, groups)) return st;
    return tools::refine(env, lp, std::move(groups), true, &md);
  });
}

int getconflict(Env& env, model::Problem& lp, int* confstat_p, int* rowind, int* rowbdstat, int* confnumrows_p,
                int* colind, int* colbdstat, int* confnumcols_p) {
  const ConflictState* c = tools::conflictOf(lp);
  if (!c) return 1719;
  if (c->ext) return 1719;
  if (confstat_p) *confstat_p = c->status;
  const int n = c->ncols, m = c->nrows;
  std::vector<int> rs(m, tools::kExcluded), lbs(n, tools::kExcluded), ubs(n, tools::kExcluded);
  for (size_t g = 0; g < c->groups.size(); ++g) {
    const int k = c->groups[g].index[0];
    const int st = c->groupStat[g];
    switch (c->groups[g].kind[0]) {
      case tools::kLinear: rs[k] = st; break;
      case tools::kLower: lbs[k] = st; break;
      case tools::kUpper: ubs[k] = st; break;
      default: break;
    }
  }
  int nr = 0, nc = 0;
  for (int i = 0; i < m; ++i) {
    if (rs[i] == tools::kExcluded) continue;
    if (rowind) rowind[nr] = i;
    // Row statuses: 3 member, 0 possible member.
    if (rowbdstat) rowbdstat[nr] = rs[i];
    ++nr;
  }
  for (int j = 0; j < n; ++j) {
    if (lbs[j] == tools::kExcluded && ubs[j] == tools::kExcluded) continue;
    if (colind) colind[nc] = j;
    // Column statuses: 3 both bounds, 4 lower, 5 upper (members); 0, 1, 2
    // the same as possible members.
    if (colbdstat) {
      const int sure = std::max(lbs[j], ubs[j]) == tools::kMember ? 3 : 0;
      const int which = lbs[j] != tools::kExcluded && ubs[j] != tools::kExcluded ? 0
                        : lbs[j] != tools::kExcluded                                ? 1
                                                                                    : 2;
      colbdstat[nc] = sure + which;
    }
    ++nc;
  }
  if (confnumrows_p) *confnumrows_p = nr;
  if (confnumcols_p) *confnumcols_p = nc;
  model::ops::countWork(env, n + m);
  return 0;
}

int getconflictext(Env& env, model::Problem& lp, int* grpstat, int begin, int end) {
  if (!grpstat) return 1004;
  const ConflictState* c = tools::conflictOf(lp);
  if (!c) return 1719;
  if (int st = model::ops::checkRange(env, "VNTgetconflictext", begin, end, static_cast<int>(c->groups.size())))
    return st;
  for (int g = begin; g <= end; ++g) grpstat[g - begin] = c->groupStat[g];
  return 0;
}

int getconflictnumgroups(Env&, model::Problem& lp, int* result_out) {
  const ConflictState* c = tools::conflictOf(lp);
  *result_out = c ? static_cast<int>(c->groups.size()) : 0;
  return 0;
}

int getconflictnumpasses(Env&, model::Problem& lp, int* result_out) {
  const ConflictState* c = tools::conflictOf(lp);
  *result_out = c ? c->passes : 0;
  return 0;
}

int getconflictgroups(Env& env, model::Problem& lp, long long* concnt_p, double* grppref, long long* grpbeg,
                      int* grpind, char* grptype, long long grpspace, long long* surplus_p, int begin, int end) {
  if (!concnt_p || !surplus_p) return 1004;
  const ConflictState* c = tools::conflictOf(lp);
  if (!c) return 1719;
  if (int st = model::ops::checkRange(env, "VNTgetconflictgroups", begin, end, static_cast<int>(c->groups.size())))
    return st;
  long long need = 0;
  for (int g = begin; g <= end; ++g) need += static_cast<long long>(c->groups[g].kind.size());
  *surplus_p = grpspace - need;
  if (need > grpspace) {
    *concnt_p = 0;
    return 1207;
  }
  long long at = 0;
  for (int g = begin; g <= end; ++g) {
    if (grppref) grppref[g - begin] = c->groups[g].pref;
    if (grpbeg) grpbeg[g - begin] = at;
    for (size_t q = 0; q < c->groups[g].kind.size(); ++q, ++at) {
      if (grpind) grpind[at] = c->groups[g].index[q];
      if (grptype) grptype[at] = static_cast<char>(c->groups[g].kind[q]);
    }
  }
  *concnt_p = need;
  return 0;
}

int clpwrite(Env& env, model::Problem& lp, const char* filename) {
  if (!filename) return 1421;
  return model::ops::guarded([&] {
    model::ModelData out;
    if (int st = tools::conflictModel(lp, out)) return st;
    io::ChannelMessages msg(env);
    return io::writeProblemFile(filename, "LP", out, msg, io::settingsFromEnv(env));
  });
}

}  // namespace vnt::chk
