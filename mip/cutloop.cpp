// The root cut loop: rounds of separation on the root LP; the cuts of a
// round pass the safety filter, an efficacy ranking and a parallelism
// filter, enter the working LP as rows, and the root is re-solved warm by the
// dual simplex.  Cuts that stay slack for a few rounds are purged; the loop
// ends on the round limit, when a round finds nothing, or when the bound
// stalls.
#include <algorithm>
#include <cmath>

#include "env/limits.h"
#include "mip/cuts.h"
#include "params/params.h"

namespace vnt::mip {

using simplex::LpStatus;

namespace {
enum CutParam : int {
  kPCovers = 2005, kPCutsFactor = 2033, kPGomoryCand = 2048, kPGomory = 2049, kPGomoryPass = 2050,
  kPCutPasses = 2056, kPEachCutLimit = 2102, kPMir = 2052, kPAggForCut = 2054, kPCliques = 2003, kPImplied = 2041,
  kPFlow = 2040, kPNodecuts = 2157, kPZeroHalf = 2111,
};
// Rows the flow cover separator relaxes per root round, by its switch (0..2).
constexpr int kFlowRows[3] = {300, 1000, 4000};
bool optimal(LpStatus s) { return s == LpStatus::kOptimal || s == LpStatus::kOptimalUnscaledInfeas; }

// Squared Euclidean norm of a cut.
double norm2(const Cut& c) {
  double s = 0;
  for (double v : c.val) s += v * v;
  return s;
}
}  // namespace

void NodeCutState::keep(Cut c) {
  if (pool.size() >= cuttol::kPoolCap) {
    // Full: the entry that went longest without a violation leaves.
    const size_t k = static_cast<size_t>(std::max_element(poolAge.begin(), poolAge.end()) - poolAge.begin());
    pool[k] = std::move(pool.back());
    poolAge[k] = poolAge.back();
    pool.pop_back();
    poolAge.pop_back();
  }
  c.fromPool = true;
  pool.push_back(std::move(c));
  poolAge.push_back(0);
}

void violatedUserCuts(const NodeCutState& nc, const double* x, std::vector<Cut>& out) {
  for (const Cut& c : nc.user) {
    if (cutViolation(c, x) <= cuttol::kUserViolation * std::max(1.0, std::fabs(c.rhs))) continue;
    const double eff = cutEfficacy(c, x);
    if (eff <= cuttol::kMinEfficacy) continue;
    out.push_back(c);
    out.back().efficacy = eff;
  }
}

// The user cuts of the search's model as cuts  a x <= b  over the working
// columns (which start with the model's columns).
void Search::loadUserCuts(const model::ModelData& md, NodeCutState& nc) {
  nc.user.clear();
  for (const model::LinearConstraint& uc : md.usercuts) {
    Cut c;
    c.family = kFamUser;
    bool ok = true;
    std::vector<std::pair<int, double>> t;
    for (size_t k = 0; k < uc.ind.size(); ++k) {
      if (uc.ind[k] < 0 || uc.ind[k] >= w.n0) ok = false;
      t.emplace_back(uc.ind[k], uc.val[k]);
    }
    // A column given twice: one coefficient, the sum.
    std::sort(t.begin(), t.end());
    for (size_t k = 0; k < t.size(); ++k) {
      if (!c.idx.empty() && c.idx.back() == t[k].first) c.val.back() += t[k].second;
      else {
        c.idx.push_back(t[k].first);
        c.val.push_back(t[k].second);
      }
    }
    for (size_t k = c.idx.size(); k-- > 0;)
      if (c.val[k] == 0.0) {
        c.idx.erase(c.idx.begin() + static_cast<long>(k));
        c.val.erase(c.val.begin() + static_cast<long>(k));
      }
    if (!ok || c.idx.empty()) continue;
    // 'L' and 'E': a x <= b; 'G' and 'E': -a x <= -b.
    for (int neg = 0; neg < 2; ++neg) {
      if (neg == 0 ? uc.sense == 'G' : uc.sense == 'L') continue;
      Cut s = c;
      s.rhs = neg ? -uc.rhs : uc.rhs;
      if (neg)
        for (double& v : s.val) v = -v;
      s.user = static_cast<int>(nc.user.size());
      nc.user.push_back(std::move(s));
    }
  }
  nc.userApplied.assign(nc.user.size(), 0);
}

void pickCuts(std::vector<Cut>& cand, std::vector<Cut>& take, size_t limit, std::vector<double>& scratch,
              const std::function<bool(const Cut&)>& allow) {
  std::stable_sort(cand.begin(), cand.end(), [](const Cut& a, const Cut& b) { return a.efficacy > b.efficacy; });
  take.clear();
  std::vector<double> takeNorm;
  double work = 0.0;
  for (Cut& c : cand) {
    if (take.size() >= limit || work > cuttol::kParallelWork) break;
    // Parallelism: the cosine with every cut taken, the candidate scattered once.
    const double nc = norm2(c);
    for (size_t k = 0; k < c.idx.size(); ++k) scratch[c.idx[k]] = c.val[k];
    bool parallel = false;
    for (size_t q = 0; q < take.size() && !parallel; ++q) {
      const Cut& t = take[q];
      double dot = 0.0;
      for (size_t k = 0; k < t.idx.size(); ++k) dot += scratch[t.idx[k]] * t.val[k];
      work += static_cast<double>(t.idx.size());
      parallel = dot > cuttol::kMaxParallel * std::sqrt(nc * takeNorm[q]);
    }
    for (int j : c.idx) scratch[j] = 0.0;
    if (parallel || !allow(c)) continue;
    takeNorm.push_back(nc);
    take.push_back(std::move(c));
  }
}

void Search::fillSepInput(SepInput& in) {
  in.n = w.n;
  in.m = w.m;
  in.kind = &w.kind;
  in.lo = w.lo.data();
  in.up = w.up.data();
  in.rows = &cutRows_;
  in.rowIntegral = &rowIntegral_;
  in.x = xsave_.data();
  in.act = rowActivity_.data();
  in.intTol = rp.intTol;
  in.conflicts = conflicts_.get();
  Env* env = env_;
  in.stop = [env]() { return checkLimits(*env) != 0; };
}

// Row-wise copy of the working LP and the integrality of each row's activity.
void Search::buildCutRows() {
  const model::ModelData& lp = w.lp;
  cutRows_.assign(w.m, {});
  for (int j = 0; j < w.n; ++j)
    for (int64_t k = lp.matbeg[j]; k < lp.matbeg[j + 1]; ++k)
      if (lp.matval[k] != 0.0) cutRows_[lp.matind[k]].push_back({j, lp.matval[k]});
  rowIntegral_.assign(w.m, 0);
  for (int i = 0; i < w.m; ++i) {
    bool in = !cutRows_[i].empty();
    for (const auto& [j, a] : cutRows_[i])
      if (w.kind[j] != kInt || a != std::round(a)) in = false;
    rowIntegral_[i] = in;
  }
  rowFamily_.assign(w.m, -1);
  rowAge_.assign(w.m, 0);
}

// Rebuilds the working LP with the rows marked in `drop` removed (only cut
// rows whose logical is basic) and the cuts `add` appended, reloads the
// engine and installs the old basis (new rows basic), so that the next dual
// simplex solve starts warm.
void Search::rebuildLp(const std::vector<Cut>& add, const std::vector<char>& drop) {
  const int n = w.n, mOld = w.m;
  // Old basis and dual weights by variable.
  std::vector<int> cs(n), rs(mOld);
  engine->getBasis(cs.data(), rs.data());
  std::vector<double> wByVar(n + mOld, 1.0);
  {
    const std::vector<double>& dw = engine->dualWeights();
    const bool valid = engine->dualWeightsValid();
    for (int p = 0; p < mOld; ++p) wByVar[engine->basisHead(p)] = valid ? dw[p] : 1.0;
  }
  std::vector<int> newIndex(mOld, -1);
  int m = 0;
  for (int i = 0; i < mOld; ++i)
    if (!drop[i]) newIndex[i] = m++;
  const int mNew = m + static_cast<int>(add.size());
  model::ModelData& lp = w.lp;
  std::vector<std::vector<std::pair<int, double>>> rows(mNew);
  std::vector<char> integ(mNew, 0);
  std::vector<int> fam(mNew, -1), age(mNew, 0);
  std::vector<char> sense(mNew);
  std::vector<double> rhs(mNew), rng(lp.rngval.empty() ? 0 : mNew, 0.0);
  std::vector<std::string> names(lp.rowname.empty() ? 0 : mNew);
  std::vector<double> lo(n + mNew), up(n + mNew), clo(n + mNew), cup(n + mNew);
  std::vector<int> rstat(mNew, simplex::kBasisBasic);
  std::vector<double> wNew(n + mNew, 1.0);
  for (int j = 0; j < n; ++j) {
    lo[j] = w.lo[j];
    up[j] = w.up[j];
    clo[j] = curLo[j];
    cup[j] = curUp[j];
    wNew[j] = wByVar[j];
  }
  for (int i = 0; i < mOld; ++i) {
    const int r = newIndex[i];
    if (r < 0) continue;
    rows[r] = std::move(cutRows_[i]);
    integ[r] = rowIntegral_[i];
    fam[r] = rowFamily_[i];
    age[r] = rowAge_[i];
    sense[r] = lp.sense[i];
    rhs[r] = lp.rhs[i];
    if (!rng.empty()) rng[r] = lp.rngval[i];
    if (!names.empty()) names[r] = lp.rowname[i];
    lo[n + r] = w.lo[n + i];
    up[n + r] = w.up[n + i];
    clo[n + r] = curLo[n + i];
    cup[n + r] = curUp[n + i];
    rstat[r] = rs[i];
    wNew[n + r] = wByVar[n + i];
  }
  for (size_t c = 0; c < add.size(); ++c) {
    const int r = m + static_cast<int>(c);
    const Cut& ct = add[c];
    for (size_t k = 0; k < ct.idx.size(); ++k) rows[r].push_back({ct.idx[k], ct.val[k]});
    fam[r] = ct.family;
    sense[r] = 'L';
    rhs[r] = ct.rhs;
    if (!names.empty()) names[r] = "cut" + std::to_string(++cutNames_);
    lo[n + r] = clo[n + r] = -tol::kInf;
    up[n + r] = cup[n + r] = ct.rhs;
  }
  // Column-wise matrix from the rows.
  std::vector<int64_t> beg(n + 1, 0);
  for (int r = 0; r < mNew; ++r)
    for (const auto& e : rows[r]) ++beg[e.first + 1];
  for (int j = 0; j < n; ++j) beg[j + 1] += beg[j];
  std::vector<int> ind(beg[n]);
  std::vector<double> val(beg[n]);
  {
    std::vector<int64_t> fill(beg.begin(), beg.end() - 1);
    for (int r = 0; r < mNew; ++r)
      for (const auto& [j, a] : rows[r]) {
        ind[fill[j]] = r;
        val[fill[j]++] = a;
      }
  }
  lp.matbeg = std::move(beg);
  lp.matind = std::move(ind);
  lp.matval = std::move(val);
  lp.sense = std::move(sense);
  lp.rhs = std::move(rhs);
  lp.rngval = std::move(rng);
  lp.rowname = std::move(names);
  cutRows_ = std::move(rows);
  rowIntegral_ = std::move(integ);
  rowFamily_ = std::move(fam);
  rowAge_ = std::move(age);
  w.m = mNew;
  w.lo = std::move(lo);
  w.up = std::move(up);
  curLo = std::move(clo);
  curUp = std::move(cup);
  // Engine: reload, node bounds, the old basis and its weights.
  engine->load(lp);
  for (int j = 0; j < n; ++j) engine->setColBounds(j, curLo[j], curUp[j]);
  for (int i = w.m0; i < w.m; ++i) engine->setRowBounds(i, curLo[n + i], curUp[n + i]);
  if (engine->setBasis(cs.data(), rstat.data()) == 0) {
    std::vector<double>& dw = engine->dualWeights();
    for (int p = 0; p < w.m; ++p) dw[p] = wNew[engine->basisHead(p)];
    engine->setDualWeightsValid(true);
  }
  enginePath = nullptr;
  const int N = w.n + w.m;
  isTouched.assign(N, 0);
  for (int k : touched) isTouched[k] = 1;
  tLo_.assign(N, 0.0);
  tUp_.assign(N, 0.0);
  weightByVarW_.assign(N, 1.0);
  basicBefore_.assign(N, 0);
  rowActivity_.assign(w.m, 0.0);
}

// Solves the LP again after cuts entered it (the primal simplex when the
// dual fails): 0 optimal, 1 infeasible, 2 cut off, 3 stopped (lastStop_);
// on numerical trouble `takeOut` removes the round's cuts and the LP is
// solved once more: kResolvedWithout when that is optimal.  The LP point is
// refreshed whenever the answer is optimal.
int Search::resolveAfterCuts(const std::function<void()>& takeOut) {
  auto stopped = [](LpStatus s) {
    return s == LpStatus::kTimeLimit || s == LpStatus::kAborted || s == LpStatus::kDetTimeLimit;
  };
  LpStatus st = solveLp();
  mipIterations += engine->iterations();
  if (!optimal(st) && st != LpStatus::kInfeasible && st != LpStatus::kObjectiveLimit && !stopped(st)) {
    numericalTrouble = true;
    st = engine->solvePrimal();
    mipIterations += engine->iterations();
  }
  int res = 0;
  if (!optimal(st) && st != LpStatus::kInfeasible && st != LpStatus::kObjectiveLimit && !stopped(st)) {
    takeOut();
    st = solveLp();
    mipIterations += engine->iterations();
    res = kResolvedWithout;
  }
  if (st == LpStatus::kInfeasible) return 1;
  if (st == LpStatus::kObjectiveLimit) return 2;
  if (!optimal(st)) {
    lastStop_ = stopped(st) ? static_cast<int>(st) : kStopError;
    return 3;
  }
  engine->getX(xsave_.data());
  engine->getRowActivity(rowActivity_.data());
  return res;
}

int Search::rootCutLoop() {
  Env& env = *env_;
  const long long passes = params::getLong(env, kPCutPasses);
  const double factor = params::getDbl(env, kPCutsFactor);
  const int swGomory = params::getInt(env, kPGomory), swCovers = params::getInt(env, kPCovers);
  const int swMir = params::getInt(env, kPMir), aggLimit = params::getInt(env, kPAggForCut);
  const int swCliques = params::getInt(env, kPCliques), swImplied = params::getInt(env, kPImplied);
  const int swFlow = params::getInt(env, kPFlow), swZeroHalf = params::getInt(env, kPZeroHalf);
  if (passes < 0 || (factor >= 0 && factor <= 1.0)) return 0;
  nodeCuts_.reset();
  const model::ModelData& md = searchModel();
  const bool families = swGomory >= 0 || swCovers >= 0 || swMir >= 0 || swCliques >= 0 || swImplied >= 0 || swFlow >= 0 ||
                        swZeroHalf >= 1;
  if (!families && md.usercuts.empty()) return 0;
  const int level = params::getInt(env, kPNodecuts);
  if (level >= 0 || !md.usercuts.empty()) {
    nodeCuts_ = std::make_shared<NodeCutState>();
    loadUserCuts(md, *nodeCuts_);
  }
  if (level >= 0 && families) {
    // Node cuts: the separators at shallow nodes, deeper and with more
    // rounds at higher levels (automatic: the top of the tree, one round);
    // from level 1 on, the cuts the root loop purged wait in the pool too.
    NodeCutState& nc = *nodeCuts_;
    static constexpr int kDepth[4] = {2, 4, 8, 1000000};
    static constexpr int kEvery[4] = {0, 0, 8, 0};
    static constexpr int kRounds[4] = {1, 2, 3, 5};
    nc.sepDepth = kDepth[level];
    nc.sepEvery = kEvery[level];
    nc.rounds = kRounds[level];
    nc.gomory = swGomory >= 0 && level >= 2;
    nc.rootPool = level >= 1;
  } else if (nodeCuts_) {
    nodeCuts_->sepDepth = -1;  // user cuts only
  }
  // A cut row leaving the LP at the root waits in the pool for the tree.
  auto poolRow = [this](int i) {
    if (!nodeCuts_ || !nodeCuts_->rootPool || rowFamily_[i] < 0 || rowFamily_[i] == kFamUser) return;
    Cut c;
    for (const auto& [j, a] : cutRows_[i]) {
      c.idx.push_back(j);
      c.val.push_back(a);
    }
    c.rhs = w.up[w.n + i];
    c.family = rowFamily_[i];
    nodeCuts_->keep(std::move(c));
  };
  const long long maxRounds = passes == 0 ? cuttol::kAutoRounds : passes;
  const long long gomoryPass = params::getLong(env, kPGomoryPass);
  const int gomoryCand = params::getInt(env, kPGomoryCand);
  const long long eachLimit = params::getInt(env, kPEachCutLimit);
  const long long maxTotal =
      factor > 1.0 ? static_cast<long long>((factor - 1.0) * w.m0) : std::max<long long>(2LL * w.m0, 100);
  const int perRound = std::clamp(w.m0, 50, 500);
  if (cutRows_.size() != static_cast<size_t>(w.m)) buildCutRows();
  // Dense cuts slow every LP after them: the cuts in the LP share a
  // nonzero budget relative to the model's rows.
  double modelNnz = 0.0;
  for (int i = 0; i < w.m0; ++i) modelNnz += static_cast<double>(cutRows_[i].size());
  const double nnzBudget = std::max(cuttol::kCutNnzFloor, cuttol::kCutNnzShare * modelNnz);
  double z = lpObjective();
  rootLpBound = z;
  double lastGood = z;
  int stall = 0;
  std::vector<Cut> cand, take;
  std::vector<double> roundBound{z};
  std::vector<double> scratch(w.n, 0.0);
  std::vector<char> drop;
  long long familyAdded[kNumFamilies] = {};
  for (int i = 0; i < w.m; ++i)
    if (rowFamily_[i] >= 0) ++familyAdded[rowFamily_[i]];
  for (long long round = 0; round < maxRounds; ++round) {
    if (checkLimits(env)) break;
    long long inLp = 0;
    for (int i = 0; i < w.m; ++i) inLp += rowFamily_[i] >= 0;
    if (inLp >= maxTotal) break;
    SepInput in;
    fillSepInput(in);
    cand.clear();
    if (nodeCuts_) violatedUserCuts(*nodeCuts_, xsave_.data(), cand);
    if (swGomory >= 0 && (gomoryPass == 0 || round < gomoryPass) && familyAdded[kFamFract] < eachLimit)
      separateGomory(in, *engine, gomoryCand, cand);
    if (swCovers >= 0 && familyAdded[kFamCovers] < eachLimit) separateCovers(in, cand);
    if (swCliques >= 0 && familyAdded[kFamCliques] < eachLimit) separateCliques(in, cand);
    if (swImplied >= 0 && familyAdded[kFamImplied] < eachLimit) separateImplied(in, cand);
    if (swFlow >= 0 && familyAdded[kFamFlow] < eachLimit) separateFlowCovers(in, cand, kFlowRows[swFlow]);
    if (swZeroHalf >= 1 && familyAdded[kFamZeroHalf] < eachLimit) separateZeroHalf(in, swZeroHalf, false, cand);
    if (swMir >= 0 && familyAdded[kFamMir] < eachLimit) separateMir(in, aggLimit, cand);
    long long roundFam[kNumFamilies] = {};
    double nnzInLp = 0.0;
    for (int i = w.m0; i < w.m; ++i)
      if (rowFamily_[i] >= 0) nnzInLp += static_cast<double>(cutRows_[i].size());
    const size_t room = static_cast<size_t>(std::max<long long>(0, std::min<long long>(perRound, maxTotal - inLp)));
    pickCuts(cand, take, room, scratch, [&](const Cut& c) {
      if (c.user < 0 && familyAdded[c.family] + roundFam[c.family] >= eachLimit) return false;
      if (nnzInLp + static_cast<double>(c.idx.size()) > nnzBudget) return false;
      ++roundFam[c.family];
      nnzInLp += static_cast<double>(c.idx.size());
      return true;
    });
    if (take.empty()) break;
    for (const Cut& c : take)
      if (c.user >= 0) nodeCuts_->userApplied[c.user] = 1;
    // Purge cuts slack for too long, add the new ones, solve again.
    drop.assign(w.m, 0);
    for (int i = 0; i < w.m; ++i)
      if (rowFamily_[i] >= 0 && rowAge_[i] >= cuttol::kSlackAge && engine->variableBasic(w.n + i)) {
        drop[i] = 1;
        poolRow(i);
      }
    rebuildLp(take, drop);
    const int res = resolveAfterCuts([&] {
      // Numerical trouble with the cuts of this round: take them out again.
      drop.assign(w.m, 0);
      for (int i = w.m - static_cast<int>(take.size()); i < w.m; ++i) drop[i] = 1;
      rebuildLp({}, drop);
    });
    if (res != 0) {
      if (res == kResolvedWithout) break;
      return res;
    }
    for (int f = 0; f < kNumFamilies; ++f) familyAdded[f] += roundFam[f];
    // Ages: a cut whose row is not tight ages.
    for (int i = 0; i < w.m; ++i) {
      if (rowFamily_[i] < 0) continue;
      const double slack = w.up[w.n + i] - rowActivity_[i];
      rowAge_[i] = slack > rp.feasTol * std::max(1.0, std::fabs(w.up[w.n + i])) ? rowAge_[i] + 1 : 0;
    }
    z = lpObjective();
    // Node-log line of the round: one family's name when the round took
    // cuts of one family only, else the total.
    int onlyFam = -1, nFam = 0;
    for (int f = 0; f < kNumFamilies; ++f)
      if (roundFam[f] > 0) {
        onlyFam = f;
        ++nFam;
      }
    long long total = 0;
    for (int i = 0; i < w.m; ++i) total += rowFamily_[i] >= 0;
    LogEntry e;
    e.nodes = 0;
    e.left = 0;
    e.objective = sense * z;
    e.iinf = countFractional();
    e.bestInteger = hasIncumbent() ? sense * incumbentObj : tol::kNone;
    e.bestBound = sense * z;
    e.iterations = mipIterations;
    e.sense = sense;
    if (nFam == 1) {
      e.cutKind = onlyFam;
      long long c = 0;
      for (int i = 0; i < w.m; ++i) c += rowFamily_[i] == onlyFam;
      e.cutCount = c;
    } else {
      e.cutKind = -1;
      e.cutCount = total;
    }
    log.entry(e);
    // Payoff: the last few rounds together must still add a fair share of
    // what the cuts have gained so far.
    roundBound.push_back(z);
    if (roundBound.size() > static_cast<size_t>(cuttol::kTailRounds)) {
      const double recent = z - roundBound[roundBound.size() - 1 - cuttol::kTailRounds];
      if (recent < cuttol::kTailShare * (z - rootLpBound)) break;
    }
    // Stall test: the bound must move by a share of its size within a few rounds.
    if (z - lastGood > cuttol::kStallRel * std::max(1.0, std::fabs(z))) {
      lastGood = z;
      stall = 0;
    } else if (++stall >= cuttol::kStallRounds) {
      break;
    }
    if (z >= cutoff) return 2;
  }
  // Slack cuts leave the LP before the tree search (the basis stays optimal).
  drop.assign(w.m, 0);
  bool any = false;
  for (int i = 0; i < w.m; ++i)
    if (rowFamily_[i] >= 0 && engine->variableBasic(w.n + i) &&
        w.up[w.n + i] - rowActivity_[i] > rp.feasTol * std::max(1.0, std::fabs(w.up[w.n + i]))) {
      drop[i] = 1;
      poolRow(i);
      any = true;
    }
  if (any) {
    rebuildLp({}, drop);
    LpStatus st = solveLp();
    mipIterations += engine->iterations();
    if (st == LpStatus::kInfeasible) return 1;
    if (st == LpStatus::kObjectiveLimit) return 2;
    if (!optimal(st)) {
      if (st == LpStatus::kTimeLimit || st == LpStatus::kAborted || st == LpStatus::kDetTimeLimit) {
        lastStop_ = static_cast<int>(st);
        return 3;
      }
      numericalTrouble = true;
      st = engine->solvePrimal();
      mipIterations += engine->iterations();
      if (st == LpStatus::kInfeasible) return 1;
      if (!optimal(st)) {
        lastStop_ = kStopError;
        return 3;
      }
    }
    engine->getX(xsave_.data());
    engine->getRowActivity(rowActivity_.data());
  }
  for (int f = 0; f < kNumFamilies; ++f) cutsApplied[f] = 0;
  for (int i = 0; i < w.m; ++i)
    if (rowFamily_[i] >= 0) ++cutsApplied[rowFamily_[i]];
  if (nodeCuts_) {
    // A user cut counts once, when it first entered the LP.
    cutsApplied[kFamUser] = std::count(nodeCuts_->userApplied.begin(), nodeCuts_->userApplied.end(), 1);
    nodeCuts_->firstTreeRow = w.m;
    nodeCuts_->colLo.assign(w.lo.begin(), w.lo.begin() + w.n);
    nodeCuts_->colUp.assign(w.up.begin(), w.up.begin() + w.n);
  }
  return 0;
}

// A cut row leaves the LP in the tree: its cut goes to the pool and the row
// stays as an empty free row (row numbers and the bases stored with open
// nodes keep their meaning); the next cut added takes its place.
void Search::retireCutRow(int i) {
  const int k = w.n + i;
  Cut c;
  for (const auto& [j, a] : cutRows_[i]) {
    c.idx.push_back(j);
    c.val.push_back(a);
  }
  c.rhs = w.up[k];
  c.family = rowFamily_[i];
  if (c.family != kFamUser) nodeCuts_->keep(std::move(c));  // user cuts wait in their own pool
  ++nodeCuts_->retired;
  cutRows_[i].clear();
  rowFamily_[i] = -2;
  rowAge_[i] = 0;
  rowIntegral_[i] = 0;
  w.lo[k] = curLo[k] = -tol::kInf;
  w.up[k] = curUp[k] = tol::kInf;
  engine->setRowBounds(i, -tol::kInf, tol::kInf);
}

int Search::nodeCutLoop(Node& nd) {
  if (!nodeCuts_ || w.n == 0) return 0;
  NodeCutState& nc = *nodeCuts_;
  // Ages, at every node: a cut row added in the tree that is slack at the
  // node ages; one slack at many nodes in a row leaves the LP (only when its slack is basic, so that
  // the basis stays as it is).
  for (int i = std::max(w.m0, nc.firstTreeRow); i < w.m; ++i) {
    if (rowFamily_[i] < 0) continue;
    const double slack = w.up[w.n + i] - rowActivity_[i];
    if (slack <= rp.feasTol * std::max(1.0, std::fabs(w.up[w.n + i]))) rowAge_[i] = 0;
    else if (++rowAge_[i] >= cuttol::kNodeSlackAge && engine->variableBasic(w.n + i)) retireCutRow(i);
  }
  const bool separate = nd.depth <= nc.sepDepth || (nc.sepEvery > 0 && nd.depth % nc.sepEvery == 0);
  if (!separate && nc.user.empty()) return 0;
  const bool usePool = separate && !nc.pool.empty();
  Env& env = *env_;
  const int swCovers = params::getInt(env, kPCovers), swMir = params::getInt(env, kPMir);
  const int aggLimit = params::getInt(env, kPAggForCut);
  const int swCliques = params::getInt(env, kPCliques), swImplied = params::getInt(env, kPImplied);
  const int swFlow = params::getInt(env, kPFlow), swZeroHalf = params::getInt(env, kPZeroHalf);
  const double factor = params::getDbl(env, kPCutsFactor);
  const long long maxTotal =
      factor > 1.0 ? static_cast<long long>((factor - 1.0) * w.m0) : std::max<long long>(2LL * w.m0, 100);
  const size_t perRound = static_cast<size_t>(std::clamp(w.m0 / 10, 10, 100));
  if (separate) ++nc.nodesSeparated;
  double modelNnz = 0.0;
  for (int i = 0; i < w.m0; ++i) modelNnz += static_cast<double>(cutRows_[i].size());
  const double nnzBudget = std::max(cuttol::kCutNnzFloor, cuttol::kCutNnzShare * modelNnz);
  std::vector<Cut> cand, take;
  std::vector<double> scratch(w.n, 0.0);
  double z = lpObjective();
  for (int round = 0; round < nc.rounds; ++round) {
    if (checkLimits(env)) break;
    long long inLp = 0;
    double nnzInLp = 0.0;
    for (int i = w.m0; i < w.m; ++i)
      if (rowFamily_[i] >= 0) {
        ++inLp;
        nnzInLp += static_cast<double>(cutRows_[i].size());
      }
    if (inLp >= maxTotal) break;
    cand.clear();
    // The pool: cuts violated at this node come back (and leave the pool).
    if (usePool) {
      for (size_t k = 0; k < nc.pool.size();) {
        Cut& c = nc.pool[k];
        const double eff = cutEfficacy(c, xsave_.data());
        if (eff > cuttol::kMinEfficacy &&
            cutViolation(c, xsave_.data()) > cuttol::kMinViolation * std::max(1.0, std::fabs(c.rhs))) {
          c.efficacy = eff;
          cand.push_back(std::move(c));
          nc.pool[k] = std::move(nc.pool.back());
          nc.poolAge[k] = nc.poolAge.back();
          nc.pool.pop_back();
          nc.poolAge.pop_back();
          continue;
        }
        if (round == 0 && ++nc.poolAge[k] > cuttol::kPoolMaxAge) {
          nc.pool[k] = std::move(nc.pool.back());
          nc.poolAge[k] = nc.poolAge.back();
          nc.pool.pop_back();
          nc.poolAge.pop_back();
          continue;
        }
        ++k;
      }
    }
    violatedUserCuts(nc, xsave_.data(), cand);
    if (separate) {
      SepInput in;
      fillSepInput(in);
      nc.sepLo.assign(w.lo.begin(), w.lo.end());
      nc.sepUp.assign(w.up.begin(), w.up.end());
      if (nc.colLo.size() == static_cast<size_t>(w.n)) {
        std::copy(nc.colLo.begin(), nc.colLo.end(), nc.sepLo.begin());
        std::copy(nc.colUp.begin(), nc.colUp.end(), nc.sepUp.begin());
      }
      in.lo = nc.sepLo.data();
      in.up = nc.sepUp.data();
      if (nc.gomory) separateGomory(in, *engine, cuttol::kNodeGomoryCand, cand);
      if (swCovers >= 0) separateCovers(in, cand);
      if (swCliques >= 0) separateCliques(in, cand);
      if (swImplied >= 0) separateImplied(in, cand);
      if (swFlow >= 0) separateFlowCovers(in, cand, cuttol::kNodeFlowRows);
      if (swZeroHalf >= 2) separateZeroHalf(in, swZeroHalf, true, cand);
      if (swMir >= 0) separateMir(in, std::min(aggLimit, cuttol::kNodeMirAgg), cand, cuttol::kNodeMirStarts);
    }
    const size_t room = static_cast<size_t>(std::max<long long>(0, std::min<long long>(perRound, maxTotal - inLp)));
    pickCuts(cand, take, room, scratch, [&](const Cut& c) {
      if (nnzInLp + static_cast<double>(c.idx.size()) > nnzBudget) return false;
      nnzInLp += static_cast<double>(c.idx.size());
      return true;
    });
    // Cuts not taken from the pool go back to it.
    for (Cut& c : cand)
      if (c.fromPool && c.user < 0 && !c.idx.empty()) nc.keep(std::move(c));
    if (take.empty()) break;
    ++nc.roundsRun;
    // Free slots whose (empty) row is basic take new cuts in place; the rest
    // are appended.
    std::vector<Cut> append;
    size_t t = 0;
    for (int i = w.m0; i < w.m && t < take.size(); ++i) {
      if (rowFamily_[i] != -2 || !engine->variableBasic(w.n + i)) continue;
      Cut& c = take[t++];
      const int k = w.n + i;
      cutRows_[i].clear();
      for (size_t q = 0; q < c.idx.size(); ++q) cutRows_[i].push_back({c.idx[q], c.val[q]});
      rowFamily_[i] = c.family;
      rowAge_[i] = 0;
      w.lp.sense[i] = 'L';
      w.lp.rhs[i] = c.rhs;
      if (!w.lp.rngval.empty()) w.lp.rngval[i] = 0.0;
      w.lo[k] = curLo[k] = -tol::kInf;
      w.up[k] = curUp[k] = c.rhs;
    }
    for (size_t q = 0; q < take.size(); ++q) {
      Cut& c = take[q];
      if (c.user >= 0) {
        if (!nc.userApplied[c.user]) ++cutsApplied[kFamUser];
        nc.userApplied[c.user] = 1;
      } else if (c.fromPool) {
        ++nc.fromPool;
      } else {
        ++cutsApplied[c.family];
      }
      ++nc.added;
      if (q >= t) append.push_back(std::move(c));
    }
    rebuildLp(append, std::vector<char>(w.m, 0));
    const int res = resolveAfterCuts([&] {
      // Numerical trouble with this round's cuts: they leave the LP again.
      for (int i = std::max(w.m0, nc.firstTreeRow); i < w.m; ++i)
        if (rowFamily_[i] >= 0 && rowAge_[i] == 0 && engine->variableBasic(w.n + i)) retireCutRow(i);
    });
    enginePath = nd.path.get();
    if (res != 0) {
      if (res == kResolvedWithout) break;
      return res;
    }
    const double z2 = lpObjective();
    if (z2 >= cutoff) return 2;
    const bool gained = z2 - z > cuttol::kNodeGain * std::max(1.0, std::fabs(z2));
    z = z2;
    if (!gained) break;
  }
  return 0;
}

}  // namespace vnt::mip
