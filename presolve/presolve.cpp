// The presolver: reductions on a row- and column-wise working copy of the
// model, each recorded for postsolve.
#include "presolve/presolve.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <queue>
#include <tuple>
#include <unordered_map>

#include "env/limits.h"
#include "params/params.h"
#include "presolve/records.h"

namespace vnt::presolve {

namespace {

enum Param : int {
  kParamAggFill = 1002,
  kParamAggInd = 1003,
  kParamDepInd = 1008,
  kParamFeasibility = 1016,
  kParamPrePass = 1052,
  kParamReduce = 1057,
  kParamLinear = 1058,
  kParamCoeffReduce = 2004,
  kParamBoundStrength = 2029,
};

// Raised inside the presolver to end the run with a code.
struct Stop {
  int code;
};

// Activity limits of a row from the bounds of its columns.
struct Activity {
  double min = 0.0, max = 0.0;  // finite parts
  int ninfMin = 0, ninfMax = 0; // infinite contributions
  double scale = 0.0;           // largest |a * bound| used
};

class Presolver {
 public:
  // `dominated`: whether the dominated-column test may run.
  Presolver(Env& env, const model::ModelData& md, const Options& opt, Presolved& out, bool dominated)
      : env_(env), md_(md), opt_(opt), out_(out), ps_(*out.post), dominated_(dominated) {}

  int run();
  // The diagnostics and notes of the run, printed by the caller once the
  // outcome stands.
  const std::string& messages() const { return msgs_; }
  // A column was fixed by the dominated-column test.  That test holds for
  // the optima of a problem whose dual is feasible; on an unbounded problem
  // it may fix a column that every feasible point needs away from its bound,
  // so an infeasibility found afterwards proves nothing.
  bool dominatedFixed() const { return dominatedFixed_; }

 private:
  Env& env_;
  const model::ModelData& md_;
  const Options& opt_;
  Presolved& out_;
  Postsolve& ps_;
  const bool dominated_;
  bool dominatedFixed_ = false;
  std::string msgs_;

  int n_ = 0, m_ = 0;
  std::vector<std::vector<Entry>> rowE_, colE_;
  std::vector<double> rlo_, rup_, lb_, ub_, c_;
  std::vector<double> cMag_;  // largest cost term that went into c_ (cancellation scale)
  std::vector<char> rowAlive_, colAlive_, isInt_, prot_;
  std::vector<char> semi_;        // MIP: semi-continuous or semi-integer, domain {0} u [lb, ub]
  std::vector<char> impliedInt_;  // MIP: continuous columns found integer
  std::vector<int> rowCnt_, colCnt_;
  double offset_ = 0.0;  // minimization form
  double feasTol_ = 1e-6;
  bool changed_ = false;
  uint64_t work_ = 0;
  double lastProgress_ = 0.0;
  double start_ = 0.0;
  std::vector<uint64_t> rowMask_;  // scratch of substitute(): columns of the equation in each row
  std::vector<int> maskedRows_;
  std::vector<Activity> actCache_;  // activity of a row as of time actTime_
  std::vector<uint64_t> actTime_;
  // Change clock: a row's entry is the time its entries, limits or the
  // bounds of one of its columns last changed; a column's the time its
  // bounds, entries or rows last changed.  A row examined without result
  // is examined again only after a change that can alter the result.
  uint64_t clock_ = 0;
  std::vector<uint64_t> rowMod_, colMod_;
  std::vector<uint64_t> actTried_, substTried_;  // time of the last examination without result
  // Aggregator limits for longer equations.
  static constexpr int kSubstRowLen = 40;
  static constexpr int kSubstColLen = 40;
  static constexpr double kSubstPivot = 0.01;
  // Dual bound propagation of the dominated-column test.
  static constexpr int kDualSweeps = 3;
  static constexpr int kDualColLen = 50;
  // Duplicate columns are merged only for ratios within [this, 1/this].
  static constexpr double kDupLambdaMin = 1e-3;
  // Work limit of the dependency checker: operations per nonzero of the
  // equations, plus a fixed allowance.
  static constexpr long long kDepWorkPerNz = 50;
  static constexpr long long kDepWorkBase = 2000000;

  // --- data access
  // The live entries of a row or column list (dead ones dropped when the
  // list is longer than its count).
  static const std::vector<Entry>& compact(std::vector<Entry>& v, int count, const std::vector<char>& alive) {
    if (static_cast<int>(v.size()) != count) {
      size_t w = 0;
      for (size_t r = 0; r < v.size(); ++r)
        if (alive[v[r].idx]) v[w++] = v[r];
      v.resize(w);
    }
    return v;
  }
  const std::vector<Entry>& rowEntries(int i) { return compact(rowE_[i], rowCnt_[i], colAlive_); }
  const std::vector<Entry>& colEntries(int j) { return compact(colE_[j], colCnt_[j], rowAlive_); }
  void touchCol(int j) {
    const uint64_t t = ++clock_;
    colMod_[j] = t;
    for (const Entry& e : colE_[j]) rowMod_[e.idx] = t;
  }
  void touchRow(int i) { rowMod_[i] = ++clock_; }
  // Can anything that substitute(i) looks at have changed since time t?
  bool substChangedSince(int i, uint64_t t) {
    if (rowMod_[i] > t) return true;
    for (const Entry& e : rowE_[i]) {
      if (!colAlive_[e.idx]) continue;
      if (colMod_[e.idx] > t) return true;
      for (const Entry& g : colE_[e.idx])
        if (rowMod_[g.idx] > t) return true;
      work_ += colE_[e.idx].size();
    }
    return false;
  }
  void removeRow(int i) {
    rowAlive_[i] = 0;
    const uint64_t t = ++clock_;
    rowMod_[i] = t;
    for (const Entry& e : rowE_[i]) colMod_[e.idx] = t;
    for (const Entry& e : rowE_[i])
      if (colAlive_[e.idx]) --colCnt_[e.idx];
    ++out_.counts.rowsRemoved;
    changed_ = true;
  }
  void removeCol(int j) {
    colAlive_[j] = 0;
    touchCol(j);
    for (const Entry& e : colE_[j])
      if (rowAlive_[e.idx]) --rowCnt_[e.idx];
    ++out_.counts.colsRemoved;
    changed_ = true;
  }
  const std::string& rowName(int i) const {
    static const std::string none;
    return i < static_cast<int>(md_.rowname.size()) ? md_.rowname[i] : none;
  }
  std::string colName(int j) const {
    if (j < static_cast<int>(md_.colname.size())) return md_.colname[j];
    return "x" + std::to_string(j + 1);
  }
  std::string rowLabel(int i) const {
    if (i < static_cast<int>(md_.rowname.size())) return md_.rowname[i];
    return "c" + std::to_string(i + 1);
  }
  double infeasTol(double ref) const { return feasTol_ * std::max(1.0, std::fabs(ref)); }
  // Sign of a cost after substitutions: costs within the cancellation
  // noise of the terms that made them count as zero; `proof` asks for the
  // larger margin that a claim of unboundedness needs.
  int costSign(int j, bool proof = false) const {
    const double t = (proof ? tol::kCostProof : tol::kCostZero) * std::max(1.0, cMag_[j]);
    return c_[j] > t ? 1 : c_[j] < -t ? -1 : 0;
  }
  void addCost(int j, double delta) {
    c_[j] += delta;
    cMag_[j] = std::max(cMag_[j], std::fabs(delta));
  }
  // Column j leaves through a row (its entries `row`, j's coefficient a,
  // right-hand side b): x_j = (b - rest) / a puts its cost onto the rest.
  void costThroughRow(int j, const std::vector<Entry>& row, double a, double b) {
    const double cj = c_[j];
    if (cj == 0.0) return;
    for (const Entry& e : row)
      if (e.idx != j) addCost(e.idx, -cj * e.val / a);
    offset_ += cj * b / a;
  }
  // Integer limits: rounded inward within the rounding tolerance.
  static void roundInward(double& lo, double& hi) {
    if (!isInf(lo)) lo = std::ceil(lo - tol::kIntRound);
    if (!isInf(hi)) hi = std::floor(hi + tol::kIntRound);
  }
  // The interval {t : lo <= a t <= up} for a nonzero a.
  static void divideInterval(double lo, double up, double a, double& tlo, double& thi) {
    tlo = -tol::kInf;
    thi = tol::kInf;
    if (a < 0) std::swap(lo, up);
    if (!isInf(lo)) tlo = lo / a;
    if (!isInf(up)) thi = up / a;
  }
  // [lo, hi] tightened against the limits [newLo, newHi]: a limit is taken
  // when it gains more than kBoundGain (relative).  Returns kLbChanged /
  // kUbChanged for the sides taken.  Sides that cross within the
  // feasibility tolerance become the point of the side that moved, with both
  // flags (the new limits hold the value); a larger crossing returns
  // kCrossed and leaves [lo, hi] alone.
  uint8_t tightenInterval(double& lo, double& hi, double newLo, double newHi) const {
    double nlo = lo, nhi = hi;
    uint8_t flags = 0;
    if (!isInf(newLo) && newLo > nlo + tol::kBoundGain * std::max(1.0, std::fabs(nlo))) {
      nlo = newLo;
      flags |= kLbChanged;
    }
    if (!isInf(newHi) && newHi < nhi - tol::kBoundGain * std::max(1.0, std::fabs(nhi))) {
      nhi = newHi;
      flags |= kUbChanged;
    }
    if (nlo > nhi) {
      if (nlo - nhi > infeasTol(std::max(std::fabs(nlo), std::fabs(nhi)))) return kCrossed;
      nlo = nhi = (flags & kLbChanged) ? nlo : nhi;
      flags |= kLbChanged | kUbChanged;
    }
    lo = nlo;
    hi = nhi;
    return flags;
  }

  void say(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    char buf[640];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    msgs_ += buf;
  }
  [[noreturn]] void fail(int code, const char* fmt, const std::string& a, const std::string& b = std::string()) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (b.empty()) say(fmt, a.c_str());
    else say(fmt, a.c_str(), b.c_str());
#pragma GCC diagnostic pop
    throw Stop{code};
  }

  // The smallest interval that holds every value of column j: its bounds,
  // widened to 0 for a semi-continuous column.
  double domLo(int j) const { return semi_[j] ? std::min(0.0, lb_[j]) : lb_[j]; }
  double domUp(int j) const { return semi_[j] ? std::max(0.0, ub_[j]) : ub_[j]; }

  Activity activity(int i) {
    Activity act;
    for (const Entry& e : rowEntries(i)) {
      const int j = e.idx;
      const double a = e.val;
      const double lo = a > 0 ? domLo(j) : domUp(j);
      const double hi = a > 0 ? domUp(j) : domLo(j);
      if (isInf(lo)) ++act.ninfMin;
      else {
        act.min += a * lo;
        act.scale = std::max(act.scale, std::fabs(a * lo));
      }
      if (isInf(hi)) ++act.ninfMax;
      else {
        act.max += a * hi;
        act.scale = std::max(act.scale, std::fabs(a * hi));
      }
    }
    work_ += rowE_[i].size();
    return act;
  }

  // The activity of row i, computed again only after the row changed.
  Activity cachedActivity(int i) {
    if (actCache_.size() != static_cast<size_t>(m_)) {
      actCache_.assign(m_, Activity{});
      actTime_.assign(m_, 0);
    }
    if (actTime_[i] == 0 || rowMod_[i] > actTime_[i]) {
      actCache_[i] = activity(i);
      actTime_[i] = clock_;
    }
    return actCache_[i];
  }

  // --- records
  Record& push(RecKind k) {
    ps_.recs.push_back(Record{k});
    return ps_.recs.back();
  }
  // The last record rests on the objective (see kByCost).
  void markByCost(uint8_t extra = 0) { ps_.recs.back().flags |= static_cast<uint8_t>(kByCost | extra); }
  // Entries of v (but those with index skip) into the pool: [begin, end).
  std::pair<int64_t, int64_t> save(const std::vector<Entry>& v, int skip) {
    const auto beg = static_cast<int64_t>(ps_.pool.size());
    for (const Entry& e : v)
      if (e.idx != skip) {
        ps_.pool.push_back(e);
        ps_.poolFlag.push_back(0);
      }
    return {beg, static_cast<int64_t>(ps_.pool.size())};
  }
  void saveEntries(Record& r, const std::vector<Entry>& v, int skip) { std::tie(r.beg, r.end) = save(v, skip); }
  // A record of column j leaving through row i (coefficient a, row limit b,
  // the row at `side`) with its cost and the row's other entries.
  Record& pushThroughRow(RecKind k, int i, int j, double a, double b, int side, const std::vector<Entry>& row) {
    Record& r = push(k);
    r.i = i;
    r.j = j;
    r.a = a;
    r.b = b;
    r.c = c_[j];
    r.side = static_cast<int8_t>(side);
    saveEntries(r, row, j);
    return r;
  }

  // --- reductions
  void fixColumn(int j, double v, int statusHint);
  void emptyRow(int i);
  bool singletonRow(int i);
  void rowActivities();
  void columns();
  void dualFixing();
  [[noreturn]] void unboundedColumn(int j);
  void dominatedColumns();
  bool freeSingleton(int j);
  bool slackSingleton(int j);
  bool inequalitySlack(int j, int i, double a, double b, int side, bool lbImplied);
  bool doubleton(int i);
  void impliedByRow(int r, int j, double a, const Activity& act, double& lo, double& hi) const;
  bool impliedFree(int j);
  bool substitute(int i);
  bool substituteRow(int i);
  void aggregator();
  template <class Alive, class Entries, class OnPair>
  void parallelPairs(int count, Alive alive, Entries entries, OnPair onPair);
  void parallelRows();
  void subsetRows();
  void duplicateColumns();
  void strengthenBounds();
  void dependentRows();
  void tightenCoefficients();
  void impliedIntegers();
  void addToCoef(int r, int j, double delta);
  void setColBounds(int j, double lo, double hi, bool fromOriginal);
  void progress();
  void build();
  void extract();
};

void Presolver::build() {
  n_ = md_.numCols();
  m_ = md_.numRows();
  rowE_.assign(m_, {});
  colE_.assign(n_, {});
  rlo_.resize(m_);
  rup_.resize(m_);
  lb_ = md_.lb;
  ub_ = md_.ub;
  c_.resize(n_);
  const int sen = md_.objsen >= 0 ? 1 : -1;
  for (int j = 0; j < n_; ++j) c_[j] = sen * md_.obj[j];
  cMag_.resize(n_);
  for (int j = 0; j < n_; ++j) cMag_[j] = std::fabs(c_[j]);
  offset_ = sen * md_.objoffset;
  rowAlive_.assign(m_, 1);
  colAlive_.assign(n_, 1);
  isInt_.assign(n_, 0);
  prot_.assign(n_, 0);
  semi_.assign(n_, 0);
  impliedInt_.assign(n_, 0);
  rowLimits(md_, rlo_, rup_);
  std::vector<int> rowLen(m_, 0);
  for (int64_t k = 0; k < md_.numNz(); ++k) ++rowLen[md_.matind[k]];
  for (int i = 0; i < m_; ++i) rowE_[i].reserve(rowLen[i]);
  for (int j = 0; j < n_; ++j) {
    colE_[j].reserve(md_.matbeg[j + 1] - md_.matbeg[j]);
    for (int64_t k = md_.matbeg[j]; k < md_.matbeg[j + 1]; ++k) {
      const double v = md_.matval[k];
      if (v == 0.0) continue;
      const int i = md_.matind[k];
      colE_[j].push_back({i, v});
      rowE_[i].push_back({j, v});
    }
  }
  rowCnt_.resize(m_);
  colCnt_.resize(n_);
  clock_ = 1;
  rowMod_.assign(m_, 0);
  colMod_.assign(n_, 0);
  actTried_.assign(m_, 0);
  substTried_.assign(m_, 0);
  for (int i = 0; i < m_; ++i) rowCnt_[i] = static_cast<int>(rowE_[i].size());
  for (int j = 0; j < n_; ++j) colCnt_[j] = static_cast<int>(colE_[j].size());
  for (int j = 0; j < n_; ++j) {
    if (lb_[j] <= -tol::kInf) lb_[j] = -tol::kInf;
    if (ub_[j] >= tol::kInf) ub_[j] = tol::kInf;
  }
  if (opt_.mip) {
    for (int j = 0; j < n_ && j < static_cast<int>(md_.ctype.size()); ++j) {
      const char t = md_.ctype[j];
      if (t == 'B' || t == 'I' || t == 'N') isInt_[j] = 1;
      if (t == 'S' || t == 'N') prot_[j] = semi_[j] = 1;  // semi-continuous / semi-integer
      if (t == 'B') {
        lb_[j] = std::max(lb_[j], 0.0);
        ub_[j] = std::min(ub_[j], 1.0);
      }
    }
    auto protect = [&](int j) {
      if (j >= 0 && j < n_) prot_[j] = 1;
    };
    for (const auto& s : md_.sos)
      for (int j : s.ind) protect(j);
    for (const auto& ic : md_.indconstr) {
      protect(ic.indvar);
      for (int j : ic.ind) protect(j);
    }
    for (const auto& p : md_.pwl) {
      protect(p.xcol);
      protect(p.ycol);
    }
  }
  // Columns that appear outside the matrix are never removed or substituted.
  for (const auto& q : md_.qobj) {
    prot_[q.col1] = 1;
    prot_[q.col2] = 1;
  }
  for (const auto& qc : md_.qconstr) {
    for (int j : qc.linind) prot_[j] = 1;
    for (const auto& t : qc.quad) {
      prot_[t.col1] = 1;
      prot_[t.col2] = 1;
    }
  }
  for (const auto* lst : {&md_.lazycons, &md_.usercuts})
    for (const auto& lc : *lst)
      for (int j : lc.ind)
        if (j >= 0 && j < n_) prot_[j] = 1;
  work_ += static_cast<uint64_t>(md_.numNz()) * 2;
}

// Column j leaves the model at value v; its rows absorb the constant.
void Presolver::fixColumn(int j, double v, int statusHint) {
  Record& r = push(RecKind::kFixedCol);
  r.j = j;
  r.a = v;
  r.c = c_[j];
  r.side = static_cast<int8_t>(statusHint);
  const auto& col = colEntries(j);
  saveEntries(r, col, -1);
  for (const Entry& e : col) {
    const double s = e.val * v;
    if (!isInf(rlo_[e.idx])) rlo_[e.idx] -= s;
    if (!isInf(rup_[e.idx])) rup_[e.idx] -= s;
  }
  offset_ += c_[j] * v;
  removeCol(j);
}

void Presolver::emptyRow(int i) {
  const double lo = rlo_[i], up = rup_[i];
  if (lo > infeasTol(lo) || up < -infeasTol(up)) {
    if (!rowE_[i].empty())  // its columns were all fixed on the way
      fail(kInfeasible, "Row '%.255s' infeasible, all entries at implied bounds.\n", rowLabel(i));
    const bool low = lo > infeasTol(lo);
    const char sc = lo == up ? '=' : (low ? '>' : '<');
    say("Infeasibility row '%.255s':  0 %c= %g.\n", rowLabel(i).c_str(), sc,
          low ? lo : up);
    throw Stop{kInfeasible};
  }
  Record& r = push(RecKind::kEmptyRow);
  r.i = i;
  removeRow(i);
}

// Bounds of column j become [lo, hi] (tightening only); integer bounds are
// rounded.  Crossing bounds prove infeasibility.
void Presolver::setColBounds(int j, double lo, double hi, bool) {
  if (lo > hi) {
    const double gap = lo - hi;
    if (gap > infeasTol(std::max(std::fabs(lo), std::fabs(hi))))
      fail(kInfeasible, "Infeasible column '%.255s'.\n", colName(j));
    const double mid = isInt_[j] ? std::round(0.5 * (lo + hi)) : 0.5 * (lo + hi);
    lo = hi = mid;
  }
  lb_[j] = lo;
  ub_[j] = hi;
  touchCol(j);
}

bool Presolver::singletonRow(int i) {
  const auto& row = rowEntries(i);
  const int j = row[0].idx;
  const double a = row[0].val;
  double lo, hi;
  divideInterval(rlo_[i], rup_[i], a, lo, hi);
  if (isInt_[j]) roundInward(lo, hi);
  // A semi-continuous column keeps its domain {0} u [l, u] only when the row
  // allows 0 and part of [l, u]; otherwise the row stays.
  if (semi_[j] && (lo > infeasTol(lo) || hi < -infeasTol(hi) || std::max(lo, lb_[j]) > std::min(hi, ub_[j])))
    return false;
  Record& r = push(RecKind::kSingletonRow);
  r.i = i;
  r.j = j;
  r.a = a;
  double nlo = lb_[j], nhi = ub_[j];
  // Crossing: the row's limits and the column's bounds cannot both hold.
  r.flags = tightenInterval(nlo, nhi, lo, hi);
  if (r.flags & kCrossed) fail(kInfeasible, "Infeasible column '%.255s'.\n", colName(j));
  if (r.flags & (kLbChanged | kUbChanged)) ++out_.counts.boundsImproved;
  setColBounds(j, nlo, nhi, false);
  if (lb_[j] == ub_[j]) r.flags |= kFixedAfter;
  removeRow(i);
  return true;
}

void Presolver::rowActivities() {
  for (int i = 0; i < m_; ++i) {
    if (!rowAlive_[i] || rowCnt_[i] < 2) continue;
    if (actTried_[i] != 0 && rowMod_[i] <= actTried_[i]) continue;  // nothing new since the last look
    const Activity act = activity(i);
    const double lo = rlo_[i], up = rup_[i];
    if (isInf(lo) && isInf(up)) {
      Record& r = push(RecKind::kEmptyRow);  // a free row constrains nothing
      r.i = i;
      removeRow(i);
      continue;
    }
    const double eps = tol::kActivityEps * std::max({1.0, act.scale * 1e-3});
    // Infeasibility.
    if (act.ninfMin == 0 && !isInf(up) && act.min > up + infeasTol(up) + eps) {
      if (act.ninfMax == 0 && act.max - act.min <= eps)
        fail(kInfeasible, "Row '%.255s' infeasible, all entries at implied bounds.\n", rowLabel(i));
      fail(kInfeasible, "Implied bounds make row '%.255s' infeasible.\n", rowLabel(i));
    }
    if (act.ninfMax == 0 && !isInf(lo) && act.max < lo - infeasTol(lo) - eps) {
      if (act.ninfMin == 0 && act.max - act.min <= eps)
        fail(kInfeasible, "Row '%.255s' infeasible, all entries at implied bounds.\n", rowLabel(i));
      fail(kInfeasible, "Implied bounds make row '%.255s' infeasible.\n", rowLabel(i));
    }
    if (!opt_.primalReductions) {
      actTried_[i] = clock_;
      continue;
    }
    // Forcing rows: the activity can only sit at one limit.
    const bool forceUp = act.ninfMin == 0 && !isInf(up) && act.min >= up - eps * std::max(1.0, std::fabs(up));
    const bool forceLo = act.ninfMax == 0 && !isInf(lo) && act.max <= lo + eps * std::max(1.0, std::fabs(lo));
    if (forceUp || forceLo) {
      const auto& row = rowEntries(i);
      bool ok = true;
      for (const Entry& e : row)
        if (prot_[e.idx]) ok = false;
      if (ok) {
        Record& r = push(RecKind::kForcingRow);
        r.i = i;
        r.side = forceUp ? kAtUpper : kAtLower;
        const std::vector<Entry> cols(row.begin(), row.end());
        saveEntries(r, cols, -1);
        for (int64_t k = r.beg; k < r.end; ++k) {
          const int j = ps_.pool[k].idx;
          ps_.poolFlag[k] = lb_[j] == ub_[j] ? 1 : 0;
        }
        removeRow(i);
        for (const Entry& e : cols) {
          // Up-forcing puts every column where it contributes least.
          const bool atLower = (e.val > 0) == forceUp;
          fixColumn(e.idx, atLower ? lb_[e.idx] : ub_[e.idx], atLower ? kAtLower : kAtUpper);
        }
        continue;
      }
    }
    // Redundant sides.
    const bool loRed = isInf(lo) || (act.ninfMin == 0 && act.min >= lo - eps * 1e-3);
    const bool upRed = isInf(up) || (act.ninfMax == 0 && act.max <= up + eps * 1e-3);
    if (loRed && upRed) {
      Record& r = push(RecKind::kEmptyRow);
      r.i = i;
      removeRow(i);
      continue;
    }
    if (loRed && !isInf(lo) && lo != up) {
      rlo_[i] = -tol::kInf;
      changed_ = true;
      touchRow(i);
    } else if (upRed && !isInf(up) && lo != up) {
      rup_[i] = tol::kInf;
      changed_ = true;
      touchRow(i);
    } else {
      actTried_[i] = clock_;
    }
  }
}

// Empty and fixed columns.
void Presolver::columns() {
  for (int j = 0; j < n_; ++j) {
    if (!colAlive_[j] || prot_[j]) continue;
    if (lb_[j] == ub_[j] || (ub_[j] - lb_[j] <= 1e-12 * std::max(1.0, std::fabs(lb_[j])))) {
      fixColumn(j, lb_[j], -1);
      continue;
    }
    if (colCnt_[j] == 0) {
      const int sc = costSign(j);
      if (sc > 0 && (!isInf(lb_[j]) || costSign(j, true) > 0)) {
        if (!opt_.dualReductions) continue;
        if (isInf(lb_[j])) fail(kInfeasibleOrUnbounded, "Dual infeasible due to empty column '%.255s'.\n", colName(j));
        fixColumn(j, lb_[j], kAtLower);
        markByCost();
      } else if (sc < 0 && (!isInf(ub_[j]) || costSign(j, true) < 0)) {
        if (!opt_.dualReductions) continue;
        if (isInf(ub_[j])) fail(kInfeasibleOrUnbounded, "Dual infeasible due to empty column '%.255s'.\n", colName(j));
        fixColumn(j, ub_[j], kAtUpper);
        markByCost();
      } else if (!isInf(lb_[j])) {
        fixColumn(j, lb_[j], kAtLower);
        markByCost();
      } else if (!isInf(ub_[j])) {
        fixColumn(j, ub_[j], kAtUpper);
        markByCost();
      } else {
        fixColumn(j, 0.0, kFreeNb);
        markByCost();
      }
    }
  }
}

// Dominated columns (LP): bounds on the row duals y, from the rows' senses
// and from the dual constraints of the columns with an infinite bound
// (c_j - a_j'y >= 0 when x_j has no upper bound, <= 0 when it has no lower
// bound), propagated over a few sweeps; a column whose reduced cost
// c_j - a_j'y is strictly positive (negative) for every such y sits at its
// lower (upper) bound in every optimum.
void Presolver::dominatedColumns() {
  std::vector<double> ylo(m_), yhi(m_);
  for (int i = 0; i < m_; ++i) {
    // A row with no upper limit has y >= 0, one with no lower limit y <= 0.
    ylo[i] = isInf(rup_[i]) ? 0.0 : -tol::kInf;
    yhi[i] = isInf(rlo_[i]) ? 0.0 : tol::kInf;
  }
  // Limits of a_j'y: finite parts and counts of infinite terms.
  auto dualActivity = [&](int j) {
    Activity act;
    for (const Entry& e : colEntries(j)) {
      const double lo = e.val > 0 ? ylo[e.idx] : yhi[e.idx];
      const double hi = e.val > 0 ? yhi[e.idx] : ylo[e.idx];
      if (isInf(lo)) ++act.ninfMin;
      else { act.min += e.val * lo; act.scale = std::max(act.scale, std::fabs(e.val * lo)); }
      if (isInf(hi)) ++act.ninfMax;
      else { act.max += e.val * hi; act.scale = std::max(act.scale, std::fabs(e.val * hi)); }
    }
    work_ += colE_[j].size();
    return act;
  };
  for (int sweep = 0; sweep < kDualSweeps; ++sweep) {
    bool moved = false;
    for (int j = 0; j < n_; ++j) {
      if (!colAlive_[j] || prot_[j] || colCnt_[j] == 0 || colCnt_[j] > kDualColLen) continue;
      const bool noUp = isInf(ub_[j]), noLo = isInf(lb_[j]);
      if (!noUp && !noLo) continue;
      // a_j'y within [sLo, sHi].
      const double sLo = noLo ? c_[j] : -tol::kInf, sHi = noUp ? c_[j] : tol::kInf;
      const Activity act = dualActivity(j);
      for (const Entry& e : colEntries(j)) {
        const int i = e.idx;
        const double a = e.val;
        const double cl = a > 0 ? ylo[i] : yhi[i], ch = a > 0 ? yhi[i] : ylo[i];
        double rmin = -tol::kInf, rmax = tol::kInf;
        if (act.ninfMin == 0) rmin = act.min - a * cl;
        else if (act.ninfMin == 1 && isInf(cl)) rmin = act.min;
        if (act.ninfMax == 0) rmax = act.max - a * ch;
        else if (act.ninfMax == 1 && isInf(ch)) rmax = act.max;
        double lo, hi;
        divideInterval(isInf(sLo) || isInf(rmax) ? -tol::kInf : sLo - rmax,
                       isInf(sHi) || isInf(rmin) ? tol::kInf : sHi - rmin, a, lo, hi);
        if (!isInf(lo) && std::fabs(lo) < tol::kHugeBound && lo > ylo[i] + tol::kStrengthGain * std::max(1.0, std::fabs(lo))) {
          ylo[i] = lo;
          moved = true;
        }
        if (!isInf(hi) && std::fabs(hi) < tol::kHugeBound && hi < yhi[i] - tol::kStrengthGain * std::max(1.0, std::fabs(hi))) {
          yhi[i] = hi;
          moved = true;
        }
      }
    }
    if (!moved) break;
  }
  for (int i = 0; i < m_; ++i)
    if (rowAlive_[i] && ylo[i] > yhi[i] + tol::kCostProof * std::max({1.0, std::fabs(ylo[i]), std::fabs(yhi[i])}))
      fail(kInfeasibleOrUnbounded, "Dual infeasible due to dual bounds, row '%.255s'.\n", rowLabel(i));
  for (int j = 0; j < n_; ++j) {
    if (!colAlive_[j] || prot_[j] || colCnt_[j] == 0) continue;
    const Activity act = dualActivity(j);
    const double margin = tol::kCostProof * std::max({1.0, std::fabs(c_[j]), cMag_[j], act.scale});
    // Reduced cost limits: c_j - max a_j'y and c_j - min a_j'y.
    if (act.ninfMax == 0 && c_[j] - act.max > margin) {
      if (isInf(lb_[j])) fail(kInfeasibleOrUnbounded, "Primal unbounded due to dual bounds, variable '%.255s'.\n", colName(j));
      fixColumn(j, lb_[j], kAtLower);
      markByCost(kByOtherCosts);
      ++out_.counts.dominatedCols;
      dominatedFixed_ = true;
    } else if (act.ninfMin == 0 && c_[j] - act.min < -margin) {
      if (isInf(ub_[j])) fail(kInfeasibleOrUnbounded, "Primal unbounded due to dual bounds, variable '%.255s'.\n", colName(j));
      fixColumn(j, ub_[j], kAtUpper);
      markByCost(kByOtherCosts);
      ++out_.counts.dominatedCols;
      dominatedFixed_ = true;
    }
  }
}

// Column j improves the objective without limit in a direction that no
// row and no bound stops: the problem is unbounded if it is feasible.  A
// column of one row names that row (its activity runs off on its open side).
void Presolver::unboundedColumn(int j) {
  const auto& col = colEntries(j);
  if (col.size() == 1) {
    const int i = col[0].idx;
    const bool upOnly = isInf(rlo_[i]);
    say("Infeasibility or unboundedness row '%.255s':  ax %c= %g.\n", rowLabel(i).c_str(), upOnly ? '<' : '>',
        upOnly ? rup_[i] : rlo_[i]);
    throw Stop{kInfeasibleOrUnbounded};
  }
  fail(kInfeasibleOrUnbounded, "Primal unbounded due to dual bounds, variable '%.255s'.\n", colName(j));
}

// Columns whose cost and locks let them sit at one bound in some optimum.
void Presolver::dualFixing() {
  for (int j = 0; j < n_; ++j) {
    if (!colAlive_[j] || prot_[j] || colCnt_[j] == 0) continue;
    bool downLocked = false, upLocked = false;
    for (const Entry& e : colEntries(j)) {
      const int i = e.idx;
      if (e.val > 0) {
        if (!isInf(rlo_[i])) downLocked = true;
        if (!isInf(rup_[i])) upLocked = true;
      } else {
        if (!isInf(rup_[i])) downLocked = true;
        if (!isInf(rlo_[i])) upLocked = true;
      }
      if (downLocked && upLocked) break;
    }
    work_ += colE_[j].size();
    const int sc = costSign(j);
    if (sc > 0 && !downLocked && (!isInf(lb_[j]) || costSign(j, true) > 0)) {
      if (isInf(lb_[j])) unboundedColumn(j);
      fixColumn(j, lb_[j], kAtLower);
      markByCost();
    } else if (sc < 0 && !upLocked && (!isInf(ub_[j]) || costSign(j, true) < 0)) {
      if (isInf(ub_[j])) unboundedColumn(j);
      fixColumn(j, ub_[j], kAtUpper);
      markByCost();
    } else if (c_[j] >= 0 && !downLocked && !isInf(lb_[j])) {
      fixColumn(j, lb_[j], kAtLower);
      markByCost();
    } else if (c_[j] <= 0 && !upLocked && !isInf(ub_[j])) {
      fixColumn(j, ub_[j], kAtUpper);
      markByCost();
    }
  }
}

// A column in one row only, free or kept within its bounds by that row:
// it is solved from the row, which leaves with it.  Returns true when done.
bool Presolver::freeSingleton(int j) {
  if (prot_[j] || isInt_[j]) return false;
  const auto& col = colEntries(j);
  const int i = col[0].idx;
  const double a = col[0].val;
  if (std::fabs(a) < 1e-3) return false;
  double lo = rlo_[i], up = rup_[i];
  int side = kAtLower;
  if (lo != up) {
    // The cost decides which limit the row sits at.
    if (!opt_.dualReductions) return false;
    const double y = c_[j] / a;
    if (y > 0) {
      if (isInf(lo)) return false;
      up = lo;
    } else if (y < 0) {
      if (isInf(up)) return false;
      lo = up;
      side = kAtUpper;
    } else {
      if (!isInf(lo)) up = lo;
      else if (!isInf(up)) { lo = up; side = kAtUpper; }
      else return false;
    }
  }
  // The rest of the row keeps x_j = (b - t)/a within its bounds?
  const auto& row = rowEntries(i);
  if (row.size() > 5000) return false;
  double tmin = 0, tmax = 0;
  int imin = 0, imax = 0;
  double scale = 0;
  for (const Entry& e : row) {
    if (e.idx == j) continue;
    const double l = e.val > 0 ? domLo(e.idx) : domUp(e.idx);
    const double h = e.val > 0 ? domUp(e.idx) : domLo(e.idx);
    if (isInf(l) || std::fabs(l) > tol::kHugeBound) ++imin;
    else { tmin += e.val * l; scale = std::max(scale, std::fabs(e.val * l)); }
    if (isInf(h) || std::fabs(h) > tol::kHugeBound) ++imax;
    else { tmax += e.val * h; scale = std::max(scale, std::fabs(e.val * h)); }
  }
  const double b = lo;
  // x_j >= lb needs (b - t)/a >= lb for every t; x_j <= ub likewise.
  const bool lbOk = isInf(lb_[j]) ||
                    (a > 0 ? imax == 0 && (b - tmax) / a >= lb_[j] - 1e-9 * std::max(1.0, scale / std::fabs(a))
                           : imin == 0 && (b - tmin) / a >= lb_[j] - 1e-9 * std::max(1.0, scale / std::fabs(a)));
  const bool ubOk = isInf(ub_[j]) ||
                    (a > 0 ? imin == 0 && (b - tmin) / a <= ub_[j] + 1e-9 * std::max(1.0, scale / std::fabs(a))
                           : imax == 0 && (b - tmax) / a <= ub_[j] + 1e-9 * std::max(1.0, scale / std::fabs(a)));
  if (!lbOk || !ubOk) {
    // An inequality whose cost side is held by the row: the bound that the
    // cost moves x_j towards is implied, so the row sits at that side in some
    // optimum; x_j = (b - t)/a and its other bound limits the rest of the row.
    if (lo == rlo_[i] && up == rup_[i]) return false;
    const bool needLb = (side == kAtLower) == (a > 0);
    if (needLb ? !lbOk : !ubOk) return false;
    return inequalitySlack(j, i, a, b, side, needLb);
  }
  const std::vector<Entry> saved(row.begin(), row.end());
  Record& r = pushThroughRow(RecKind::kFreeSingleton, i, j, a, b, side, saved);
  if (rlo_[i] != rup_[i]) r.flags |= kByCost;
  costThroughRow(j, saved, a, b);
  removeCol(j);
  removeRow(i);
  ++out_.counts.substitutions;
  return true;
}

// A column in one equation only, with bounds the row does not imply: the
// column acts as the row's slack.  It leaves, the equation becomes a range
// of the rest of the row (b - a x_j over x_j's bounds), and its cost moves
// onto the row's other columns through x_j = (b - rest) / a.
bool Presolver::slackSingleton(int j) {
  if (prot_[j] || isInt_[j]) return false;
  const auto& col = colEntries(j);
  const int i = col[0].idx;
  const double a = col[0].val;
  if (rlo_[i] != rup_[i] || (isInf(lb_[j]) && isInf(ub_[j])) || rowCnt_[i] < 2) return false;
  const double b = rlo_[i];
  const auto& row = rowEntries(i);
  double amax = 0.0;
  for (const Entry& e : row) amax = std::max(amax, std::fabs(e.val));
  if (std::fabs(a) < tol::kAggPivot * amax) return false;
  // rest = b - a x_j over [lb_j, ub_j].
  const double atLb = isInf(lb_[j]) ? (a > 0 ? tol::kInf : -tol::kInf) : b - a * lb_[j];
  const double atUb = isInf(ub_[j]) ? (a > 0 ? -tol::kInf : tol::kInf) : b - a * ub_[j];
  const double lo = std::min(atLb, atUb), hi = std::max(atLb, atUb);
  const std::vector<Entry> saved(row.begin(), row.end());
  pushThroughRow(RecKind::kSlackSingleton, i, j, a, b, kAtLower, saved);
  costThroughRow(j, saved, a, b);
  removeCol(j);
  rlo_[i] = lo;
  rup_[i] = hi;
  ++out_.counts.slackSingletons;
  return true;
}

// Column j (only in inequality i, cost pushing the row to side `side` with
// limit b) whose bound on the cost's side the row implies: x_j = (b - t)/a
// over the rest t of the row, and the bound on the other side becomes the
// one finite limit of the rest (the implied one is dropped, so the reduced
// row never sits at a limit where the original row's dual would take the
// wrong sign).  Recorded as a slack singleton of a row at `side`.
bool Presolver::inequalitySlack(int j, int i, double a, double b, int side, bool lbImplied) {
  const double other = lbImplied ? ub_[j] : lb_[j];
  if (isInf(other)) return false;
  const double lim = b - a * other;
  // t = b - a x_j: x_j <= ub gives t >= lim for a > 0; x_j >= lb gives t <= lim for a > 0.
  const bool tLower = lbImplied == (a > 0);
  const auto& row = rowEntries(i);
  const std::vector<Entry> saved(row.begin(), row.end());
  pushThroughRow(RecKind::kSlackSingleton, i, j, a, b, side, saved).flags |= kByCost;
  costThroughRow(j, saved, a, b);
  removeCol(j);
  rlo_[i] = tLower ? lim : -tol::kInf;
  rup_[i] = tLower ? tol::kInf : lim;
  touchRow(i);
  ++out_.counts.slackSingletons;
  return true;
}

void Presolver::addToCoef(int r, int j, double delta) {
  auto& row = rowE_[r];
  auto& col = colE_[j];
  ++out_.counts.coefsModified;
  rowMod_[r] = colMod_[j] = ++clock_;
  for (size_t p = 0; p < row.size(); ++p) {
    if (row[p].idx != j) continue;
    const double old = row[p].val;
    const double nv = old + delta;
    const bool drop = std::fabs(nv) <= tol::kZeroCoef * std::max(std::fabs(old), std::fabs(delta));
    row[p].val = nv;
    if (drop) {
      row[p] = row.back();
      row.pop_back();
      --rowCnt_[r];
      --colCnt_[j];
    }
    for (size_t q = 0; q < col.size(); ++q)
      if (col[q].idx == r) {
        if (drop) {
          col[q] = col.back();
          col.pop_back();
        } else {
          col[q].val = nv;
        }
        break;
      }
    return;
  }
  row.push_back({j, delta});
  col.push_back({r, delta});
  ++rowCnt_[r];
  ++colCnt_[j];
}

// Row i reads a_ij x_j + a_ik x_k = b: x_k is substituted out.
bool Presolver::doubleton(int i) {
  const auto& row = rowEntries(i);
  int j = row[0].idx, k = row[1].idx;
  double aj = row[0].val, ak = row[1].val;
  auto eligible = [&](int col) { return !prot_[col] && !isInt_[col]; };
  auto fill = [&](int elim, int keep) {
    // New entries: rows of `elim` that do not hold `keep`.
    long long f = 0;
    const auto& ce = colEntries(elim);
    if (static_cast<long long>(ce.size()) > 2 + 4 * opt_.fill + 50) return 1LL << 40;
    auto& mark = colE_[keep];
    for (const Entry& e : ce) {
      if (e.idx == i) continue;
      bool found = false;
      for (const Entry& g : mark)
        if (g.idx == e.idx) { found = true; break; }
      if (!found) ++f;
    }
    return f;
  };
  // Eliminate the column with the larger coefficient (a stable pivot) and
  // the smaller fill.
  const bool okK = eligible(k) && std::fabs(ak) >= tol::kAggPivot * std::fabs(aj);
  const bool okJ = eligible(j) && std::fabs(aj) >= tol::kAggPivot * std::fabs(ak);
  if (!okK && !okJ) return false;
  long long fk = okK ? fill(k, j) : (1LL << 40);
  long long fj = okJ ? fill(j, k) : (1LL << 40);
  if (fj < fk || (fj == fk && colCnt_[j] < colCnt_[k])) {
    std::swap(j, k);
    std::swap(aj, ak);
    std::swap(fj, fk);
  }
  // A kept semi-continuous column would take bounds that ignore its 0.
  if (fk > opt_.fill || semi_[j]) return false;
  // x_k = q - ratio * x_j
  const double b = rlo_[i];
  const double q = b / ak, ratio = aj / ak;
  // Bounds of x_k move onto x_j: ratio x_j = q - x_k in [q - uk, q - lk].
  double lo, hi;
  divideInterval(isInf(ub_[k]) ? -tol::kInf : q - ub_[k], isInf(lb_[k]) ? tol::kInf : q - lb_[k], ratio, lo, hi);
  if (isInt_[j]) roundInward(lo, hi);
  Record& r = push(RecKind::kDoubleton);
  r.i = i;
  r.j = j;
  r.k = k;
  r.a = aj;
  r.b = ak;
  r.c = b;
  r.d = c_[k];
  double nlo = lb_[j], nhi = ub_[j];
  r.flags = tightenInterval(nlo, nhi, lo, hi);
  if (r.flags & kCrossed) fail(kInfeasible, "Infeasible column '%.255s'.\n", colName(j));
  const std::vector<Entry> colk(colEntries(k).begin(), colEntries(k).end());
  saveEntries(r, colk, i);
  Record& rec = ps_.recs.back();
  lb_[j] = nlo;
  ub_[j] = nhi;
  touchCol(j);
  if (nlo == nhi) rec.flags |= kFixedAfter;
  // Remove row i and column k, then move k's entries onto j.
  removeRow(i);
  removeCol(k);
  for (const Entry& e : colk) {
    if (e.idx == i) continue;
    const int rr = e.idx;
    const double shift = e.val * q;
    if (!isInf(rlo_[rr])) rlo_[rr] -= shift;
    if (!isInf(rup_[rr])) rup_[rr] -= shift;
    rowEntries(rr);  // drop dead entries before editing
    addToCoef(rr, j, -e.val * ratio);
  }
  addCost(j, -c_[k] * ratio);
  offset_ += c_[k] * q;
  ++out_.counts.substitutions;
  return true;
}

void Presolver::aggregator() {
  // Column singletons first (no fill), then doubleton equations, then
  // longer equations through an implied-free column.
  for (int j = 0; j < n_; ++j)
    if (colAlive_[j] && colCnt_[j] == 1) freeSingleton(j);
  for (int i = 0; i < m_; ++i) {
    if (!rowAlive_[i] || rowCnt_[i] != 2 || rlo_[i] != rup_[i]) continue;
    doubleton(i);
  }
  for (int i = 0; i < m_; ++i) {
    if (!rowAlive_[i] || rowCnt_[i] < 2 || rowCnt_[i] > kSubstRowLen || rlo_[i] != rup_[i]) continue;
    substitute(i);
  }
  // Column singletons left in equations of three or more entries act as slacks.
  for (int j = 0; j < n_; ++j)
    if (colAlive_[j] && colCnt_[j] == 1 && rowCnt_[colEntries(j)[0].idx] > 2) slackSingleton(j);
}

// Limits of x_j implied by row r (coefficient a) and the bounds of the
// row's other columns; act holds the row's activity limits.
void Presolver::impliedByRow(int r, int j, double a, const Activity& act, double& lo, double& hi) const {
  double rmin = -tol::kInf, rmax = tol::kInf;
  const double cl = a > 0 ? domLo(j) : domUp(j);
  const double ch = a > 0 ? domUp(j) : domLo(j);
  if (act.ninfMin == 0) rmin = act.min - a * cl;
  else if (act.ninfMin == 1 && isInf(cl)) rmin = act.min;
  if (act.ninfMax == 0) rmax = act.max - a * ch;
  else if (act.ninfMax == 1 && isInf(ch)) rmax = act.max;
  divideInterval(isInf(rlo_[r]) || isInf(rmax) ? -tol::kInf : rlo_[r] - rmax,
                 isInf(rup_[r]) || isInf(rmin) ? tol::kInf : rup_[r] - rmin, a, lo, hi);
}

// Is column j kept within its bounds by its rows alone (so that its bounds
// can be dropped)?
bool Presolver::impliedFree(int j) {
  bool loOk = isInf(lb_[j]), hiOk = isInf(ub_[j]);
  for (const Entry& e : colEntries(j)) {
    if (loOk && hiOk) break;
    const Activity act = cachedActivity(e.idx);
    if (act.scale > tol::kHugeBound) continue;
    double lo, hi;
    impliedByRow(e.idx, j, e.val, act, lo, hi);
    const double slack = tol::kActivityEps * std::max(1.0, act.scale / std::fabs(e.val));
    if (!loOk && !isInf(lo) && lo >= lb_[j] - slack) loOk = true;
    if (!hiOk && !isInf(hi) && hi <= ub_[j] + slack) hiOk = true;
  }
  return loOk && hiOk;
}

// Equation i: a column k that it (with its other rows) keeps within bounds
// is solved from it and substituted out of its other rows and the cost:
// x_k = (b - sum_l a_il x_l) / a_ik.  The column with the least fill among
// the stable pivots is chosen.
bool Presolver::substitute(int i) {
  if (substTried_[i] != 0 && !substChangedSince(i, substTried_[i])) return false;
  const bool done = substituteRow(i);
  if (!done) substTried_[i] = clock_;
  return done;
}

bool Presolver::substituteRow(int i) {
  const std::vector<Entry> row(rowEntries(i).begin(), rowEntries(i).end());
  double amax = 0.0;
  for (const Entry& e : row) amax = std::max(amax, std::fabs(e.val));
  // Bit t of rowMask_[g]: the row's t-th column is in row g.
  static_assert(kSubstRowLen < 64);
  if (rowMask_.size() != static_cast<size_t>(m_)) rowMask_.assign(m_, 0);
  maskedRows_.clear();
  for (size_t t = 0; t < row.size(); ++t)
    for (const Entry& g : colEntries(row[t].idx)) {
      if (!rowMask_[g.idx]) maskedRows_.push_back(g.idx);
      rowMask_[g.idx] |= uint64_t{1} << t;
      ++work_;
    }
  int best = -1;
  long long bestFill = opt_.fill + 1;
  const long long others = static_cast<long long>(row.size()) - 1;
  for (size_t t = 0; t < row.size(); ++t) {
    const Entry& e = row[t];
    const int k = e.idx;
    if (prot_[k] || isInt_[k] || std::fabs(e.val) < kSubstPivot * amax) continue;
    const auto& col = colEntries(k);
    if (static_cast<int>(col.size()) > kSubstColLen) continue;
    double cmax = 0.0;
    for (const Entry& g : col) cmax = std::max(cmax, std::fabs(g.val));
    if (std::fabs(e.val) < kSubstPivot * cmax) continue;
    // Fill: entries of row i that each other row of k lacks, less what
    // leaves (row i and column k).
    long long fill = -static_cast<long long>(row.size() + col.size() - 1);
    for (const Entry& g : col)
      if (g.idx != i) fill += others - std::popcount(rowMask_[g.idx] & ~(uint64_t{1} << t));
    work_ += col.size();
    if (fill >= bestFill) continue;
    if (!impliedFree(k)) continue;
    best = k;
    bestFill = fill;
  }
  for (int g : maskedRows_) rowMask_[g] = 0;
  if (best < 0) return false;
  const int k = best;
  double aik = 0.0;
  for (const Entry& e : row)
    if (e.idx == k) aik = e.val;
  const double b = rlo_[i];
  const std::vector<Entry> colk(colEntries(k).begin(), colEntries(k).end());
  Record& r = push(RecKind::kSubstitution);
  r.i = i;
  r.j = k;
  r.a = aik;
  r.b = b;
  r.c = c_[k];
  saveEntries(r, row, k);
  std::tie(r.beg2, r.end2) = save(colk, i);
  removeRow(i);
  removeCol(k);
  for (const Entry& g : colk) {
    if (g.idx == i) continue;
    const int rr = g.idx;
    const double f = g.val / aik;
    if (!isInf(rlo_[rr])) rlo_[rr] -= f * b;
    if (!isInf(rup_[rr])) rup_[rr] -= f * b;
    rowEntries(rr);
    for (const Entry& h : row)
      if (h.idx != k) addToCoef(rr, h.idx, -f * h.val);
  }
  costThroughRow(k, row, aik, b);
  ++out_.counts.substitutions;
  ++out_.counts.impliedFreeSubst;
  return true;
}

// Pairs of parallel lists (rows, or columns) among `count`: each list's
// pattern is hashed with its values normalized by its first entry, and
// lists with equal keys are compared exactly; onPair(i1, i2, lambda) gets
// list i2 = lambda * list i1 while both are alive.
template <class Alive, class Entries, class OnPair>
void Presolver::parallelPairs(int count, Alive alive, Entries entries, OnPair onPair) {
  std::vector<std::pair<uint64_t, int>> keys;
  std::vector<std::vector<Entry>> sorted(count);
  for (int i = 0; i < count; ++i) {
    if (!alive(i)) continue;
    auto& v = sorted[i];
    v = entries(i);
    if (v.empty()) continue;
    std::sort(v.begin(), v.end(), [](const Entry& x, const Entry& y) { return x.idx < y.idx; });
    const double s = 1.0 / v[0].val;
    uint64_t h = 1469598103934665603ull ^ v.size();
    for (const Entry& e : v) {
      const double r = e.val * s;
      // Rounded to about 9 significant digits so that equal ratios hash alike.
      int ex = 0;
      const double mant = std::frexp(r, &ex);
      const long long q = std::llround(mant * 1e9);
      h = (h ^ static_cast<uint64_t>(e.idx)) * 1099511628211ull;
      h = (h ^ static_cast<uint64_t>(q) ^ (static_cast<uint64_t>(ex) << 40)) * 1099511628211ull;
    }
    keys.push_back({h, i});
    work_ += v.size() * 4;
  }
  std::sort(keys.begin(), keys.end());
  for (size_t s = 0; s < keys.size();) {
    size_t e = s + 1;
    while (e < keys.size() && keys[e].first == keys[s].first) ++e;
    for (size_t p = s; p < e; ++p) {
      const int i1 = keys[p].second;
      if (!alive(i1)) continue;
      for (size_t q = p + 1; q < e; ++q) {
        const int i2 = keys[q].second;
        if (!alive(i2)) continue;
        const auto& v1 = sorted[i1];
        const auto& v2 = sorted[i2];
        if (v1.size() != v2.size()) continue;
        const double lam = v2[0].val / v1[0].val;
        bool same = true;
        for (size_t t = 0; t < v1.size() && same; ++t)
          same = v1[t].idx == v2[t].idx &&
                 std::fabs(v2[t].val - lam * v1[t].val) <= tol::kParallelRel * 1e3 * std::fabs(v2[t].val);
        if (same) onPair(i1, i2, lam);
        if (!alive(i1)) break;
      }
    }
    s = e;
  }
}

void Presolver::parallelRows() {
  parallelPairs(
      m_, [&](int i) { return rowAlive_[i] && rowCnt_[i] >= 2; }, [&](int i) { return rowEntries(i); },
      [&](int i1, int i2, double lam) {
        // Row i2 in terms of row i1's activity.
        double lo2, up2;
        divideInterval(rlo_[i2], rup_[i2], lam, lo2, up2);
        Record& r = push(RecKind::kParallelRow);
        r.i = i1;
        r.k = i2;
        r.a = lam;
        double nlo = rlo_[i1], nup = rup_[i1];
        r.flags = tightenInterval(nlo, nup, lo2, up2);
        if (r.flags & kCrossed)
          fail(kInfeasible, "Constraints '%.255s' and '%.255s' are inconsistent.\n", rowLabel(i1), rowLabel(i2));
        rlo_[i1] = nlo;
        rup_[i1] = nup;
        touchRow(i1);
        if (nlo == nup) r.flags |= kFixedAfter;
        removeRow(i2);
      });
}

// Rows that contain another row: row s = row r + e with e >= 0 over the
// bounds of its columns (entries equal on r's columns) and s's upper limit
// at most r's lower one force e = 0, so e's columns are fixed where their
// terms vanish; rows r and s are then parallel.  In set-partitioning models
// (sum = 1 rows of binaries) a row whose columns all cover another row
// removes the columns of the larger row that the smaller one does not hold.
void Presolver::subsetRows() {
  std::vector<double> mark(n_, 0.0);
  std::vector<Entry> extra;
  const uint64_t budget = work_ + 20 * static_cast<uint64_t>(md_.numNz()) + 1000000;
  for (int r = 0; r < m_ && work_ < budget; ++r) {
    if (!rowAlive_[r] || rowCnt_[r] < 2 || isInf(rlo_[r])) continue;
    const auto& row = rowEntries(r);
    // The column of r in the fewest rows names the candidates s.
    int c0 = -1;
    for (const Entry& e : row)
      if (c0 < 0 || colCnt_[e.idx] < colCnt_[c0]) c0 = e.idx;
    if (colCnt_[c0] > 200) continue;
    for (const Entry& e : row) mark[e.idx] = e.val;
    work_ += row.size();
    const std::vector<Entry> cands(colEntries(c0).begin(), colEntries(c0).end());
    for (const Entry& ce : cands) {
      const int s = ce.idx;
      if (s == r || !rowAlive_[s] || !rowAlive_[r] || rowCnt_[s] <= rowCnt_[r] || isInf(rup_[s])) continue;
      if (rup_[s] > rlo_[r] + infeasTol(rlo_[r])) continue;
      extra.clear();
      int common = 0;
      bool ok = true;
      for (const Entry& e : rowEntries(s)) {
        const double a = mark[e.idx];
        if (a != 0.0) {
          if (std::fabs(a - e.val) > tol::kParallelRel * 1e3 * std::fabs(a)) { ok = false; break; }
          ++common;
        } else {
          // The term must be >= 0 over the bounds and vanish at one of them.
          const int j = e.idx;
          if (prot_[j] || (e.val > 0 ? lb_[j] != 0.0 : ub_[j] != 0.0)) { ok = false; break; }
          extra.push_back(e);
        }
      }
      work_ += rowE_[s].size();
      if (!ok || common != rowCnt_[r] || extra.empty()) continue;
      Record& rec = push(RecKind::kSubsetRow);
      rec.i = r;
      rec.k = s;
      saveEntries(rec, extra, -1);
      for (const Entry& e : extra) {
        fixColumn(e.idx, 0.0, e.val > 0 ? kAtLower : kAtUpper);
        ++out_.counts.subsetRowCols;
      }
    }
    for (const Entry& e : rowE_[r]) mark[e.idx] = 0.0;
  }
}

// Duplicate columns: a_k = lambda a_j.  With c_k = lambda c_j the two act
// as one column x_j + lambda x_k (merged into j, k leaves); otherwise moving
// along x_k + t, x_j - lambda t changes only the cost, so when x_j can
// absorb the move x_k goes to the bound that the cost favours (or the
// problem is unbounded if it has none).  x_j can absorb it when its bound on
// that side is infinite or implied for z = x_j + lambda x_k by the rows
// (set-partitioning columns with equal support: the row sum caps z at 1, so
// the dearer column goes to 0).  An implied bound of x_j that this rests on
// is dropped from the reduced LP, so that x_j never sits at it and the
// removed column's reduced cost keeps its sign.
void Presolver::duplicateColumns() {
  // Row activities at the start (later fixings only tighten them; dropped
  // bounds are taken out).
  std::vector<Activity> act(m_);
  for (int i = 0; i < m_; ++i)
    if (rowAlive_[i] && rowCnt_[i] > 0) act[i] = activity(i);
  // Contribution of x_c (coefficient v) to a row's activity limits.
  auto contrib = [&](int c, double v, double& mn, double& mx, int& infMn, int& infMx) {
    const double lo = v > 0 ? domLo(c) : domUp(c), hi = v > 0 ? domUp(c) : domLo(c);
    if (isInf(lo)) ++infMn; else mn += v * lo;
    if (isInf(hi)) ++infMx; else mx += v * hi;
  };
  // Range of z = x_j + lam x_k that the rows of j imply.
  auto zRange = [&](int j, double lam, int k, double& zlo, double& zhi) {
    zlo = -tol::kInf;
    zhi = tol::kInf;
    for (const Entry& e : colEntries(j)) {
      const int i = e.idx;
      double mn = 0, mx = 0;
      int infMn = 0, infMx = 0;
      contrib(j, e.val, mn, mx, infMn, infMx);
      contrib(k, lam * e.val, mn, mx, infMn, infMx);
      const Activity& a = act[i];
      const double rmin = a.ninfMin - infMn == 0 ? a.min - mn : -tol::kInf;
      const double rmax = a.ninfMax - infMx == 0 ? a.max - mx : tol::kInf;
      double lo, hi;
      divideInterval(isInf(rlo_[i]) || isInf(rmax) ? -tol::kInf : rlo_[i] - rmax,
                     isInf(rup_[i]) || isInf(rmin) ? tol::kInf : rup_[i] - rmin, e.val, lo, hi);
      zlo = std::max(zlo, lo);
      zhi = std::min(zhi, hi);
    }
    work_ += colE_[j].size();
  };
  // Take x_c's contribution out of (sign -1) or into (+1) its rows' activities.
  auto account = [&](int c, int sign) {
    for (const Entry& e : colEntries(c)) {
      Activity& a = act[e.idx];
      double mn = 0, mx = 0;
      int infMn = 0, infMx = 0;
      contrib(c, e.val, mn, mx, infMn, infMx);
      a.min += sign * mn;
      a.max += sign * mx;
      a.ninfMin += sign * infMn;
      a.ninfMax += sign * infMx;
    }
  };
  // Drop the bound of x_j on one side (implied by its rows).
  auto dropBound = [&](int j, bool upper) {
    account(j, -1);
    (upper ? ub_[j] : lb_[j]) = upper ? tol::kInf : -tol::kInf;
    account(j, 1);
    touchCol(j);
  };
  // Fix x_k (= lam x_j in every row) where the cost sends it, x_j absorbing
  // the move.  Returns true when k left.
  auto fixDearer = [&](int j, int k, double lam, int d) {
    double t = d > 0 ? lb_[k] : d < 0 ? ub_[k] : (!isInf(lb_[k]) ? lb_[k] : ub_[k]);
    // Moving x_k to t moves x_j by lam (x_k - t): up or down?
    const bool atLb = t == lb_[k];
    const bool jUp = atLb == (lam > 0);
    const double jb = jUp ? ub_[j] : lb_[j];
    if (isInf(t)) {
      // x_j absorbs any move: the cost runs off without limit.
      if (d != 0 && isInf(jb))
        fail(kInfeasibleOrUnbounded, "Duplicate columns %.255s and %.255s make problem unbounded.\n", colName(j),
             colName(k));
      return false;
    }
    // An integer x_j must stay integer: x_k integer and lam integer.
    if (isInt_[j] && (!isInt_[k] || lam != std::round(lam))) return false;
    if (isInt_[k] && t != std::round(t)) return false;
    bool implied = false;
    if (!isInf(jb)) {
      double zlo, zhi;
      zRange(j, lam, k, zlo, zhi);
      // Within the activity tolerance (x_j may then pass jb by that much).
      const double lim = jb + lam * t, eps = tol::kActivityEps * std::max(1.0, std::fabs(lim));
      implied = jUp ? zhi <= lim + eps : zlo >= lim - eps;
      if (!implied) return false;
    }
    if (implied && !opt_.mip) dropBound(j, jUp);
    account(k, -1);
    fixColumn(k, t, atLb ? kAtLower : kAtUpper);
    markByCost(kByOtherCosts);
    ++out_.counts.duplicateCols;
    return true;
  };
  auto movable = [&](int j) { return !prot_[j] && (opt_.mip || !isInt_[j]); };
  parallelPairs(
      n_, [&](int j) { return colAlive_[j] && colCnt_[j] >= 1 && movable(j); }, [&](int j) { return colEntries(j); },
      [&](int j, int k, double lam) {
        const double delta = c_[k] - lam * c_[j];
        const double scale = std::max({1.0, std::fabs(c_[k]), std::fabs(lam * c_[j]), cMag_[j], cMag_[k]});
        const int d = delta > tol::kCostProof * scale ? 1 : delta < -tol::kCostProof * scale ? -1 : 0;
        const bool merge = d == 0 && !isInt_[j] && !isInt_[k];
        if (d == 0 && opt_.dualReductions && fixDearer(j, k, lam, 0)) return;
        if (!merge) {
          if (!opt_.dualReductions) return;
          // The dearer one goes (per unit of the other, delta / lam has the
          // sign of c_j - c_k / lam with the roles swapped).
          if (fixDearer(j, k, lam, d)) return;
          const int dj = lam > 0 ? -d : d;
          fixDearer(k, j, 1.0 / lam, dj);
          return;
        }
        if (!opt_.primalReductions || std::fabs(lam) < kDupLambdaMin || std::fabs(lam) > 1.0 / kDupLambdaMin) return;
        // x' = x_j + lambda x_k within [lo, hi].
        const double kl = lam > 0 ? lb_[k] : ub_[k], kh = lam > 0 ? ub_[k] : lb_[k];
        const double lo = isInf(lb_[j]) || isInf(kl) ? -tol::kInf : lb_[j] + lam * kl;
        const double hi = isInf(ub_[j]) || isInf(kh) ? tol::kInf : ub_[j] + lam * kh;
        Record& r = push(RecKind::kDuplicateCol);
        r.j = j;
        r.k = k;
        r.a = lam;
        r.b = lb_[j];
        r.c = ub_[j];
        r.d = lb_[k];
        r.e = ub_[k];
        r.flags |= kByCost | kByOtherCosts;
        account(j, -1);
        account(k, -1);
        lb_[j] = lo;
        ub_[j] = hi;
        account(j, 1);
        touchCol(j);
        removeCol(k);
        ++out_.counts.duplicateCols;
      });
}

// MIP: coefficients of binary columns in rows with one finite side are
// reduced where the row is redundant for one value of the column (the
// integer points stay the same, the relaxation gets tighter).  In the form
// s a'x <= s b (s = 1 for an upper side, -1 for a lower one), with M the
// largest activity: a coefficient a > 0 with M - a < b becomes a - d and b
// becomes b - d (d = b - M + a); a < 0 with M + a < b becomes a + d
// (d = b - M - a).
void Presolver::tightenCoefficients() {
  for (int i = 0; i < m_; ++i) {
    if (!rowAlive_[i] || rowCnt_[i] < 2 || (isInf(rlo_[i]) == isInf(rup_[i]))) continue;
    const double s = isInf(rlo_[i]) ? 1.0 : -1.0;
    Activity act = activity(i);
    if ((s > 0 ? act.ninfMax : act.ninfMin) != 0 || act.scale > tol::kHugeBound) continue;
    double b = s > 0 ? rup_[i] : -rlo_[i];
    double maxAct = s > 0 ? act.max : -act.min;
    const double eps = tol::kCoefTighten * std::max({1.0, std::fabs(b), act.scale});
    if (maxAct <= b + eps) continue;  // redundant: the activity tests remove it
    const std::vector<Entry> row(rowEntries(i).begin(), rowEntries(i).end());
    for (const Entry& e : row) {
      const int j = e.idx;
      if (!isInt_[j] || prot_[j] || lb_[j] != 0.0 || ub_[j] != 1.0) continue;
      const double a = s * e.val;
      double d = 0.0;
      if (a > 0 && maxAct - a < b - eps) {
        d = b - (maxAct - a);
        b -= d;
        maxAct -= d;
        if (s > 0) rup_[i] = b;
        else rlo_[i] = -b;
        touchRow(i);
        addToCoef(i, j, -s * d);
      } else if (a < 0 && maxAct + a < b - eps) {
        d = b - maxAct - a;
        addToCoef(i, j, s * d);
      } else {
        continue;
      }
      ++out_.counts.tightenedCoefs;
      changed_ = true;
    }
  }
}

// MIP: a continuous column in an equation whose other columns are integer,
// with integer ratios of their coefficients and of the right-hand side to
// its own coefficient, is integer in every solution.
void Presolver::impliedIntegers() {
  auto integral = [](double v) { return std::fabs(v - std::round(v)) <= tol::kIntRound * std::max(1.0, std::fabs(v)); };
  for (int j = 0; j < n_; ++j) {
    if (!colAlive_[j] || isInt_[j] || prot_[j]) continue;
    for (const Entry& e : colEntries(j)) {
      const int i = e.idx;
      if (rlo_[i] != rup_[i] || !integral(rlo_[i] / e.val)) continue;
      bool ok = true;
      for (const Entry& g : rowEntries(i))
        if (g.idx != j && (!isInt_[g.idx] || !integral(g.val / e.val))) {
          ok = false;
          break;
        }
      work_ += rowE_[i].size();
      if (!ok) continue;
      isInt_[j] = 1;
      impliedInt_[j] = 1;
      roundInward(lb_[j], ub_[j]);
      touchCol(j);
      if (lb_[j] > ub_[j]) fail(kInfeasible, "Infeasible column '%.255s'.\n", colName(j));
      ++out_.counts.impliedInts;
      break;
    }
  }
}

// Linearly dependent equations: Gaussian elimination over the equality
// rows, shortest first.  Each row is reduced by the pivot rows found so far
// (in the order they were found, so that no pivot column comes back); what
// is left is either a new pivot row (largest entry as pivot) or nothing, and
// then the row is a combination of earlier ones.  With a consistent
// right-hand side it is dropped (dual 0, basic); an inconsistent one stays
// for the optimizer to prove.  The elimination stops at its work limit.
void Presolver::dependentRows() {
  std::vector<int> eq;
  for (int i = 0; i < m_; ++i)
    if (rowAlive_[i] && rowCnt_[i] > 0 && rlo_[i] == rup_[i]) eq.push_back(i);
  if (eq.size() < 2) return;
  std::stable_sort(eq.begin(), eq.end(), [&](int a, int b) { return rowCnt_[a] < rowCnt_[b]; });
  long long nz = 0;
  for (int i : eq) nz += rowCnt_[i];
  const long long limit = kDepWorkPerNz * nz + kDepWorkBase;
  long long work = 0;
  std::vector<int> pivCol;                 // pivot k: its column
  std::vector<std::vector<Entry>> pivRow;  // pivot k: its row scaled to a unit pivot
  std::vector<double> pivRhs;
  std::vector<int> pivOf(n_, -1);          // column -> pivot, or -1
  std::vector<double> acc(n_, 0.0);
  std::vector<char> inAcc(n_, 0);
  std::vector<int> list;
  std::vector<char> queued;
  std::priority_queue<int, std::vector<int>, std::greater<int>> heap;
  for (int i : eq) {
    list.clear();
    double scale = 0.0;
    for (const Entry& e : rowEntries(i)) {
      acc[e.idx] = e.val;
      inAcc[e.idx] = 1;
      list.push_back(e.idx);
      scale = std::max(scale, std::fabs(e.val));
    }
    double rhs = rlo_[i], rhsScale = std::fabs(rhs);
    queued.assign(pivCol.size(), 0);
    for (int c : list)
      if (pivOf[c] >= 0) {
        heap.push(pivOf[c]);
        queued[pivOf[c]] = 1;
      }
    while (!heap.empty()) {
      const int k = heap.top();
      heap.pop();
      const double f = acc[pivCol[k]];
      if (f == 0.0) continue;
      for (const Entry& e : pivRow[k]) {
        if (!inAcc[e.idx]) {
          inAcc[e.idx] = 1;
          list.push_back(e.idx);
        }
        acc[e.idx] -= f * e.val;
        const int q = pivOf[e.idx];
        if (q > k && !queued[q]) {
          heap.push(q);
          queued[q] = 1;
        }
      }
      acc[pivCol[k]] = 0.0;
      rhs -= f * pivRhs[k];
      rhsScale = std::max(rhsScale, std::fabs(f * pivRhs[k]));
      work += static_cast<long long>(pivRow[k].size());
    }
    int best = -1;
    double amax = 0.0;
    for (int c : list)
      if (std::fabs(acc[c]) > amax) {
        amax = std::fabs(acc[c]);
        best = c;
      }
    if (amax <= tol::kDependent * scale) {
      if (std::fabs(rhs) <= tol::kDependent * std::max(1.0, rhsScale)) {
        Record& r = push(RecKind::kEmptyRow);
        r.i = i;
        removeRow(i);
        ++out_.counts.dependentRows;
      }
    } else {
      const double p = acc[best];
      std::vector<Entry> row;
      for (int c : list)
        if (c != best && std::fabs(acc[c]) > tol::kDependent * 1e-3 * amax) row.push_back({c, acc[c] / p});
      pivOf[best] = static_cast<int>(pivCol.size());
      pivCol.push_back(best);
      pivRow.push_back(std::move(row));
      pivRhs.push_back(rhs / p);
    }
    for (int c : list) {
      acc[c] = 0.0;
      inAcc[c] = 0;
    }
    work += static_cast<long long>(list.size());
    if (work > limit) {
      if (opt_.display) say("Linear dependency checker was stopped due to maximum work limit.\n");
      break;
    }
  }
  work_ += static_cast<uint64_t>(work);
}

// MIP: bounds implied by the rows' activity limits (integer ones rounded).
// One sweep over the rows; a row's activity limits are recomputed after a
// bound of one of its columns moved, later rows see the new bounds.
void Presolver::strengthenBounds() {
  for (int i = 0; i < m_; ++i) {
    if (!rowAlive_[i] || rowCnt_[i] < 2) continue;
    Activity act = activity(i);
    if (act.scale > tol::kHugeBound) continue;
    const auto& row = rowEntries(i);
    for (const Entry& e : row) {
      const int j = e.idx;
      if (prot_[j]) continue;
      const double a = e.val;
      double lo, hi;
      impliedByRow(i, j, a, act, lo, hi);
      double nlo = lb_[j], nhi = ub_[j];
      if (isInt_[j]) {
        roundInward(lo, hi);
        if (!isInf(lo) && lo > nlo) nlo = lo;
        if (!isInf(hi) && hi < nhi) nhi = hi;
      } else {
        const double range = isInf(nlo) || isInf(nhi) ? tol::kInf : nhi - nlo;
        const double gain = tol::kStrengthGain * std::max(1.0, std::min(range, 1e6));
        if (!isInf(lo) && std::fabs(lo) < tol::kHugeBound && lo > nlo + gain) nlo = lo;
        if (!isInf(hi) && std::fabs(hi) < tol::kHugeBound && hi < nhi - gain) nhi = hi;
      }
      if (nlo != lb_[j] || nhi != ub_[j]) {
        setColBounds(j, nlo, nhi, false);
        ++out_.counts.boundsImproved;
        changed_ = true;
        act = activity(i);
      }
    }
  }
}

void Presolver::progress() {
  if (env_.realCounter) env_.realCounter->value += work_;
  work_ = 0;
  if (int st = checkLimits(env_)) {
    if (st == 11) throw Stop{kTimeLimit};
    if (st == 25) throw Stop{kDetTimeLimit};
    throw Stop{kAborted};
  }
  const double now = wallSeconds();
  if (opt_.display && now - lastProgress_ >= 10.0) {
    lastProgress_ = now;
    if (out_.counts.substitutions > 0)
      print(env_, Chan::Results, "Aggregator has done %lld substitutions...\n", out_.counts.substitutions);
    else {
      print(env_, Chan::Results, "Presolve has eliminated %lld rows and %lld columns...\n",
            out_.counts.rowsRemoved, out_.counts.colsRemoved);
      if (out_.counts.boundsImproved > 0)
        print(env_, Chan::Results, "Presolve has improved bounds %lld times...\n", out_.counts.boundsImproved);
    }
  }
}

void Presolver::extract() {
  model::ModelData& r = out_.reduced;
  const int sen = md_.objsen >= 0 ? 1 : -1;
  r.probname = md_.probname;
  r.objname = md_.objname;
  r.objsen = md_.objsen;
  r.objoffset = sen * offset_;
  out_.colReduced.assign(n_, -1);
  out_.rowReduced.assign(m_, -1);
  out_.colOrig.clear();
  out_.rowOrig.clear();
  for (int i = 0; i < m_; ++i)
    if (rowAlive_[i]) {
      out_.rowReduced[i] = static_cast<int>(out_.rowOrig.size());
      out_.rowOrig.push_back(i);
    }
  for (int j = 0; j < n_; ++j)
    if (colAlive_[j]) {
      out_.colReduced[j] = static_cast<int>(out_.colOrig.size());
      out_.colOrig.push_back(j);
    }
  const bool names = !md_.colname.empty();
  const bool rnames = !md_.rowname.empty();
  bool ranged = false;
  for (int i : out_.rowOrig) {
    const double lo = rlo_[i], up = rup_[i];
    double rhs, rng = 0.0;
    char s;
    if (lo == up) { s = 'E'; rhs = lo; }
    else if (isInf(lo)) { s = 'L'; rhs = up; }
    else if (isInf(up)) { s = 'G'; rhs = lo; }
    else { s = 'R'; rhs = lo; rng = up - lo; ranged = true; }
    r.sense.push_back(s);
    r.rhs.push_back(rhs);
    r.rngval.push_back(rng);
    if (rnames) r.rowname.push_back(md_.rowname[i]);
  }
  if (!ranged) r.rngval.clear();
  const bool typed = !md_.ctype.empty();
  r.matbeg.assign(1, 0);
  for (int j : out_.colOrig) {
    r.obj.push_back(sen * c_[j]);
    r.lb.push_back(lb_[j]);
    r.ub.push_back(ub_[j]);
    if (typed) r.ctype.push_back(impliedInt_[j] ? 'I' : md_.ctype[j]);
    if (names) r.colname.push_back(md_.colname[j]);
    for (const Entry& e : colEntries(j)) {
      r.matind.push_back(out_.rowReduced[e.idx]);
      r.matval.push_back(e.val);
    }
    r.matbeg.push_back(static_cast<int64_t>(r.matind.size()));
  }
  auto mapCols = [&](std::vector<int>& v) {
    for (int& j : v) j = out_.colReduced[j];
  };
  // The extensions keep their (protected, never removed) columns.
  r.qobj = md_.qobj;
  for (auto& t : r.qobj) {
    t.col1 = out_.colReduced[t.col1];
    t.col2 = out_.colReduced[t.col2];
  }
  r.sos = md_.sos;
  for (auto& s : r.sos) mapCols(s.ind);
  r.qconstr = md_.qconstr;
  for (auto& q : r.qconstr) {
    mapCols(q.linind);
    for (auto& t : q.quad) {
      t.col1 = out_.colReduced[t.col1];
      t.col2 = out_.colReduced[t.col2];
    }
  }
  r.indconstr = md_.indconstr;
  for (auto& ic : r.indconstr) {
    ic.indvar = out_.colReduced[ic.indvar];
    mapCols(ic.ind);
  }
  r.lazycons = md_.lazycons;
  for (auto& c : r.lazycons) mapCols(c.ind);
  r.usercuts = md_.usercuts;
  for (auto& c : r.usercuts) mapCols(c.ind);
  r.pwl = md_.pwl;
  for (auto& p : r.pwl) {
    p.xcol = out_.colReduced[p.xcol];
    p.ycol = out_.colReduced[p.ycol];
  }
}

int Presolver::run() {
  start_ = wallSeconds();
  lastProgress_ = start_;
  feasTol_ = opt_.feasTol;
  build();
  // Crossed bounds of the model itself.
  for (int j = 0; j < n_; ++j)
    if (lb_[j] > ub_[j]) {
      say("Bound infeasibility column '%.255s'.\n", colName(j).c_str());
      throw Stop{kInfeasible};
    }
  if (opt_.mip)
    for (int j = 0; j < n_; ++j)
      if (isInt_[j]) {
        roundInward(lb_[j], ub_[j]);
        if (lb_[j] > ub_[j]) fail(kInfeasible, "Infeasible column '%.255s'.\n", colName(j));
      }
  const int maxPass = opt_.passes < 0 ? 100 : opt_.passes;
  const int maxAgg = opt_.aggregatorPasses < 0 ? 100 : opt_.aggregatorPasses;
  const bool boundStrength = opt_.mip && opt_.primalReductions && opt_.boundStrength != 0;
  // Dependency checker: 1 at the start, 2 at the end, 3 and automatic both.
  const bool depFirst = opt_.primalReductions && (opt_.dependency == 1 || opt_.dependency == 3 || opt_.dependency < 0);
  const bool depLast = opt_.primalReductions && (opt_.dependency >= 2 || opt_.dependency < 0);
  if (depFirst) dependentRows();
  for (int pass = 0; pass < maxPass; ++pass) {
    changed_ = false;
    const long long before = out_.counts.rowsRemoved + out_.counts.colsRemoved;
    // Cheap reductions until they stop.
    for (;;) {
      const long long b0 = out_.counts.rowsRemoved + out_.counts.colsRemoved;
      for (int i = 0; i < m_; ++i) {
        if (!rowAlive_[i]) continue;
        if (rowCnt_[i] == 0) emptyRow(i);
        else if (rowCnt_[i] == 1) {
          if (prot_[rowEntries(i)[0].idx] && !opt_.mip) continue;
          singletonRow(i);
        }
      }
      columns();
      if (out_.counts.rowsRemoved + out_.counts.colsRemoved == b0) break;
    }
    rowActivities();
    if (opt_.dualReductions) dualFixing();
    if (dominated_ && opt_.dualReductions && !opt_.mip) dominatedColumns();
    if (maxAgg > 0 && out_.counts.aggregatorPasses < maxAgg) {
      const long long s0 = out_.counts.substitutions;
      aggregator();
      if (out_.counts.substitutions > s0 || out_.counts.aggregatorPasses == 0) ++out_.counts.aggregatorPasses;
    }
    if (opt_.primalReductions && pass % 2 == 0) {
      subsetRows();
      parallelRows();
    }
    if (pass % 2 == 0) duplicateColumns();
    if (boundStrength) strengthenBounds();
    if (opt_.mip && opt_.coeffReduce != 0) tightenCoefficients();
    progress();
    const long long gained = out_.counts.rowsRemoved + out_.counts.colsRemoved - before;
    if (!changed_) break;
    // Stop when a pass gains little.
    if (opt_.passes < 0 && gained * 1000 < static_cast<long long>(m_ + n_) && pass >= 3 && gained == 0) break;
  }
  if (depLast) dependentRows();
  if (opt_.mip) impliedIntegers();
  // A last sweep so that no empty or singleton row is left behind.
  for (int i = 0; i < m_; ++i)
    if (rowAlive_[i] && rowCnt_[i] == 0) emptyRow(i);
  extract();
  if (env_.realCounter) env_.realCounter->value += work_;
  return 0;
}

}  // namespace

Options optionsFromParams(Env& env, bool mip) {
  Options o;
  o.mip = mip;
  o.passes = params::getInt(env, kParamPrePass);
  o.aggregatorPasses = params::getInt(env, kParamAggInd);
  o.fill = params::getLong(env, kParamAggFill);
  const int reduce = params::getInt(env, kParamReduce);
  o.primalReductions = reduce == 1 || reduce == 3;
  o.dualReductions = reduce == 2 || reduce == 3;
  o.linear = params::getInt(env, kParamLinear) != 0;
  o.dependency = params::getInt(env, kParamDepInd);
  o.boundStrength = params::getInt(env, kParamBoundStrength);
  o.coeffReduce = params::getInt(env, kParamCoeffReduce);
  o.feasTol = params::getDbl(env, kParamFeasibility);
  return o;
}

Presolved::Presolved() = default;
Presolved::~Presolved() = default;

bool Presolved::nothingReduced() const {
  return counts.rowsRemoved == 0 && counts.colsRemoved == 0 && counts.substitutions == 0 &&
         counts.coefsModified == 0 && counts.boundsImproved == 0;
}

namespace {

// One run of the reductions; the messages of the run go to `msgs`.
int presolveOnce(Env& env, const model::ModelData& in, const Options& opt, Presolved& out, bool dominated,
                 std::string& msgs, bool& dominatedFixed) {
  out.counts = Counts{};
  out.post.reset(new Postsolve);
  out.mip = opt.mip;
  out.origCols = in.numCols();
  out.origRows = in.numRows();
  out.post->n0 = in.numCols();
  out.post->m0 = in.numRows();
  out.post->objsen = in.objsen >= 0 ? 1 : -1;
  Presolver p(env, in, opt, out, dominated);
  int st = 0;
  try {
    st = p.run();
  } catch (const Stop& s) {
    st = s.code;
  }
  msgs = p.messages();
  dominatedFixed = p.dominatedFixed();
  return st;
}

}  // namespace

int presolveModel(Env& env, const model::ModelData& in, const Options& opt, Presolved& out) {
  try {
    std::string msgs;
    bool dominatedFixed = false;
    int st = presolveOnce(env, in, opt, out, true, msgs, dominatedFixed);
    // Infeasibility found after the dominated-column test fixed a column
    // may come from an unbounded problem: the run is repeated without that
    // test, whose other reductions all keep a feasible problem feasible.
    if (st == kInfeasible && dominatedFixed) st = presolveOnce(env, in, opt, out, false, msgs, dominatedFixed);
    if (!msgs.empty()) print(env, Chan::Results, "%s", msgs.c_str());
    return st;
  } catch (const std::bad_alloc&) {
    return 1001;
  }
}

}  // namespace vnt::presolve
