// Cutting planes: a wrong cut gives a wrong MIP answer, so every cut the
// root loop generates is checked against integer solutions found without
// cuts (quick MIPLIB 3 models) and against every feasible point of small
// random integer programs (enumerated here); the root bound after cuts lies
// between the LP bound and the optimum; each family's switch turns it off;
// the node log and the summary report what was applied.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/models.h"
#include "mip/cuts.h"
#include "mip/search.h"
#include "model/problem.h"
#include "vanto/vanto.h"
#include "cut_helpers.h"
#include "mip_fixture.h"

namespace {

using vnt::test::copyDense;
using vnt::test::CutRecorder;
using vnt::test::enumerateFeasible;
using vnt::test::expectEnumeratedAnswer;
using vnt::test::IntegerSlices;

using vnt::mip::Cut;
using vnt::test::modelPath;
using vnt::test::references;

// Largest violation of the recorded cuts at x (columns of the model; the
// working columns of these models are the model's columns).
double worstViolation(const std::vector<Cut>& cuts, const std::vector<double>& x, int* which) {
  double worst = 0;
  *which = -1;
  for (size_t k = 0; k < cuts.size(); ++k) {
    const Cut& c = cuts[k];
    double a = 0;
    for (size_t q = 0; q < c.idx.size(); ++q) a += c.val[q] * x[c.idx[q]];
    const double v = (a - c.rhs) / (1.0 + std::fabs(c.rhs));
    if (v > worst) {
      worst = v;
      *which = static_cast<int>(k);
    }
  }
  return worst;
}


// A separator's view of a small dense model: rows, column kinds, column
// bounds (>= 1e20: none) and row limits from sense and right-hand side;
// at(x) fills the row activities of the point x and returns the input.
struct DenseSepModel {
  std::vector<std::vector<std::pair<int, double>>> rows;
  std::vector<char> kind, rowInt;
  std::vector<double> lo, up, act;
  vnt::mip::SepInput in;  // points into the vectors above: not copyable
  DenseSepModel(const DenseSepModel&) = delete;
  DenseSepModel& operator=(const DenseSepModel&) = delete;
  DenseSepModel(const std::vector<std::vector<double>>& a, const std::vector<char>& sense,
                const std::vector<double>& rhs, const std::vector<double>& lb, const std::vector<double>& ub,
                std::vector<char> kinds, bool integralRows)
      : rows(rhs.size()), kind(std::move(kinds)), rowInt(rhs.size(), integralRows ? 1 : 0) {
    const int n = static_cast<int>(lb.size()), m = static_cast<int>(rhs.size());
    lo.assign(n + m, 0.0);
    up.assign(n + m, 0.0);
    act.assign(m, 0.0);
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < n; ++j)
        if (a[i][j] != 0) rows[i].push_back({j, a[i][j]});
      lo[n + i] = sense[i] == 'L' ? -vnt::mip::tol::kInf : rhs[i];
      up[n + i] = sense[i] == 'G' ? vnt::mip::tol::kInf : rhs[i];
    }
    for (int j = 0; j < n; ++j) {
      lo[j] = lb[j];
      up[j] = ub[j] >= 1e20 ? vnt::mip::tol::kInf : ub[j];
    }
    in.n = n;
    in.m = m;
    in.kind = &kind;
    in.lo = lo.data();
    in.up = up.data();
    in.rows = &rows;
    in.rowIntegral = &rowInt;
    in.act = act.data();
  }
  const vnt::mip::SepInput& at(const std::vector<double>& x) {
    for (size_t i = 0; i < rows.size(); ++i) {
      act[i] = 0;
      for (const auto& [j, v] : rows[i]) act[i] += v * x[j];
    }
    in.x = x.data();
    return in;
  }
};

class MipCuts : public vnt::test::MipFixture {
 protected:
  vnt::mip::Search* search() { return vnt::mip::findSearch(*vnt::model::resolveHandle(lp)); }
  // Cuts that entered the LP at tree nodes in the last run.
  long long nodeCutsAdded() {
    const vnt::mip::Search* s = search();
    return s && s->nodeCuts_ ? s->nodeCuts_->added : 0;
  }
};

TEST_F(MipCuts, RootCutsOnQuickMiplibModelsKeepTheirSolutions) {
  int total = 0;
  long long zeroHalf = 0;
  // The cuts are compared with points of the model as read: the search must
  // work on that model, not on a presolved one.  Zero-half cuts (off at the
  // automatic setting) are switched on.
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetintparam(env, VNT_PARAM_ZEROHALFCUTS, 1);
  for (const char* name : {"p0033", "flugpl", "gt2", "stein27", "enigma", "misc03", "p0201", "lseu"}) {
    SCOPED_TRACE(name);
    read(name);
    // An optimal solution without cuts.
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 9223372036800000000LL);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
    const std::vector<double> xOpt = incumbent();
    const double ref = references().at(name).objective;
    // The root with cuts (one node).
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, 0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 1);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    int which = -1;
    const double worst = worstViolation(rec.cuts, xOpt, &which);
    EXPECT_LE(worst, 1e-6) << "cut " << which << " of family " << (which >= 0 ? rec.cuts[which].family : -1)
                           << " cuts off the optimal solution";
    total += static_cast<int>(rec.cuts.size());
    zeroHalf += rec.count(vnt::mip::kFamZeroHalf);
    // LP bound <= root bound after cuts <= optimum (all minimize).
    const vnt::mip::Search* s = search();
    ASSERT_NE(s, nullptr);
    if (s->rootLpBound > -1e74) {
      EXPECT_GE(s->rootBound, s->rootLpBound - 1e-6 * (1 + std::fabs(s->rootLpBound)));
      EXPECT_LE(s->rootBound, ref + 1e-6 * (1 + std::fabs(ref)));
    }
  }
  // The separators must have had something to say on these models.
  EXPECT_GT(total, 50);
  EXPECT_GT(zeroHalf, 5);
}

// Cuts at every node of the tree: every cut (root and tree) holds at an
// optimal solution found without cuts, and the search still ends at the
// reference optimum.
TEST_F(MipCuts, NodeCutsKeepTheOptimumOfQuickMiplibModels) {
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  long long separated = 0, added = 0;
  for (const char* name : {"p0033", "stein27", "lseu", "mod008"}) {
    SCOPED_TRACE(name);
    read(name);
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
    VNTsetintparam(env, VNT_PARAM_NODECUTS, 0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 200000);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    ASSERT_TRUE(VNTgetstat(env, lp) == VNTMIP_OPTIMAL || VNTgetstat(env, lp) == VNTMIP_OPTIMAL_TOL);
    const std::vector<double> xOpt = incumbent();
    const double ref = references().at(name).objective;
    read(name);
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, 2);
    VNTsetintparam(env, VNT_PARAM_NODECUTS, 3);
    VNTsetintparam(env, VNT_PARAM_ZEROHALFCUTS, 2);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    ASSERT_TRUE(stat == VNTMIP_OPTIMAL || stat == VNTMIP_OPTIMAL_TOL) << stat;
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    EXPECT_NEAR(z, ref, 1e-4 * (1 + std::fabs(ref)));
    int which = -1;
    const double worst = worstViolation(rec.cuts, xOpt, &which);
    EXPECT_LE(worst, 1e-6) << "cut " << which << " of family " << (which >= 0 ? rec.cuts[which].family : -1)
                           << " cuts off the optimal solution";
    const vnt::mip::Search* s = search();
    ASSERT_NE(s, nullptr);
    if (s->nodeCuts_) separated += s->nodeCuts_->nodesSeparated;
    added += nodeCutsAdded();
  }
  EXPECT_GT(separated, 20);
  EXPECT_GT(added, 20);
}

// Small pure integer programs (binaries and small general integers, knapsack
// rows): every cut of the root loop must hold at every feasible point, and
// the optimum with cuts equals the enumerated one.
TEST_F(MipCuts, EveryCutHoldsAtEveryFeasiblePointOfSmallIntegerPrograms) {
  std::mt19937 rng(20261207);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);  // cuts on the columns of the model as given
  int checkedCuts = 0, feasibleModels = 0, nodeCutModels = 0;
  for (int t = 0; t < 60; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    // Every other model with one root round and cuts at every node of the tree.
    VNTsetintparam(env, VNT_PARAM_NODECUTS, t % 2 ? 3 : 0);
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, t % 2 ? 1 : 0);
    const int n = uni(5, 9), m = uni(2, 4);
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      const bool bin = j < n - 2 || uni(0, 1);
      ub[j] = bin ? 1 : uni(2, 3);
      ctype[j] = bin ? 'B' : 'I';
      obj[j] = -uni(1, 12);
    }
    std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
    std::vector<double> rhs(m);
    std::vector<char> sense(m);
    for (int i = 0; i < m; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j)
        if (uni(0, 3) > 0) {
          a[i][j] = uni(-2, 9);
          s += std::max(0.0, a[i][j]) * ub[j];
        }
      rhs[i] = std::floor(s * (0.3 + 0.1 * uni(0, 3)));
      sense[i] = uni(0, 5) == 0 ? 'G' : 'L';
      if (sense[i] == 'G') rhs[i] = std::floor(rhs[i] / 4);
    }
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    nodeCutModels += nodeCutsAdded() > 0;
    // Enumerate every integer point.
    std::vector<std::vector<double>> feasible;
    const double best = enumerateFeasible(a, sense, rhs, obj, ub,
                                          [&](const std::vector<double>& x, double) { feasible.push_back(x); });
    if (!expectEnumeratedAnswer(env, lp, best)) continue;
    ++feasibleModels;
    for (const std::vector<double>& p : feasible) {
      int which = -1;
      const double worst = worstViolation(rec.cuts, p, &which);
      ASSERT_LE(worst, 1e-6) << "cut " << which << " of family " << rec.cuts[which].family
                             << " cuts off a feasible point";
    }
    checkedCuts += static_cast<int>(rec.cuts.size());
  }
  EXPECT_GT(feasibleModels, 20);
  EXPECT_GT(checkedCuts, 20);
  EXPECT_GT(nodeCutModels, 0);
}

// Small mixed-integer programs with fixed charges (x_k <= U_k y_k), demand
// rows and mixed knapsack rows: for every assignment of the integer columns
// the continuous part is a polytope, so a cut is valid when its largest value
// over each of these polytopes (an LP) stays within its right-hand side; the
// optimum with cuts equals the best over the assignments.
TEST_F(MipCuts, EveryCutHoldsOnEveryIntegerSliceOfSmallMixedPrograms) {
  IntegerSlices slices(env, 7122026);
  auto uni = [&](int a, int b) { return slices.uni(a, b); };
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  VNTLPptr slice = slices.slice;
  ASSERT_NE(slice, nullptr);
  int checkedCuts = 0, mirCuts = 0, flowCuts = 0, feasibleModels = 0;
  for (int t = 0; t < 40; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    VNTsetintparam(env, VNT_PARAM_AGGCUTLIM, t % 2 == 0 ? 3 : 6);
    VNTsetintparam(env, VNT_PARAM_NODECUTS, t % 4 < 2 ? 3 : 0);
    VNTsetlongparam(env, VNT_PARAM_CUTPASS, t % 4 < 2 ? 1 : 0);
    const int nb = uni(2, 3), ni = uni(0, 1), nc = uni(3, 5), n = nb + ni + nc;
    // Columns: binaries, general integers, continuous.
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      if (j < nb) {
        ub[j] = 1;
        ctype[j] = 'B';
        obj[j] = uni(3, 20);
      } else if (j < nb + ni) {
        ub[j] = 2;
        ctype[j] = 'I';
        obj[j] = uni(-4, 6);
      } else {
        ub[j] = uni(2, 10);
        ctype[j] = 'C';
        obj[j] = uni(-3, 5) + 0.5 * uni(0, 1);
      }
    }
    std::vector<std::vector<double>> a;
    std::vector<double> rhs;
    std::vector<char> sense;
    // Fixed charges.
    for (int k = 0; k < nc && k < nb + 1; ++k) {
      std::vector<double> r(n, 0.0);
      r[nb + ni + k] = 1;
      r[k % nb] = -ub[nb + ni + k] + uni(0, 1);
      a.push_back(r);
      rhs.push_back(0);
      sense.push_back('L');
    }
    // Demand rows over the continuous columns (and the general integer).
    for (int d = uni(1, 2); d > 0; --d) {
      std::vector<double> r(n, 0.0);
      double cap = 0;
      for (int j = nb; j < n; ++j)
        if (uni(0, 2) > 0) {
          r[j] = uni(1, 3);
          cap += r[j] * ub[j];
        }
      a.push_back(r);
      rhs.push_back(std::floor(cap * 0.1 * uni(2, 5)) + 0.5 * uni(0, 1));
      sense.push_back(uni(0, 3) == 0 ? 'E' : 'G');
    }
    // A mixed knapsack row.
    {
      std::vector<double> r(n, 0.0);
      double s = 0;
      for (int j = 0; j < n; ++j)
        if (uni(0, 2) > 0) {
          r[j] = uni(-2, 7) + (j >= nb + ni ? 0.25 * uni(0, 3) : 0.0);
          s += std::max(0.0, r[j]) * ub[j];
        }
      a.push_back(r);
      rhs.push_back(std::floor(s * 0.6) + 0.5);
      sense.push_back('L');
    }
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    ASSERT_EQ(copyDense(env, slice, obj, rhs, sense, a, lb, ub), 0);
    // Every assignment of the integer columns: its continuous slice.
    double best = 1e300;
    slices.forEach(nb + ni, ub, [&](const std::vector<double>&) {
      ASSERT_EQ(slices.objective(obj, VNT_MIN), 0);
      ASSERT_EQ(VNTlpopt(env, slice), 0);
      const int ls = VNTgetstat(env, slice);
      if (ls == VNT_STAT_OPTIMAL) {
        double z = 0;
        ASSERT_EQ(VNTgetobjval(env, slice, &z), 0);
        best = std::min(best, z);
        // The largest value of each cut over the slice.
        for (size_t c = 0; c < rec.cuts.size(); ++c) {
          const Cut& cut = rec.cuts[c];
          std::vector<double> co(n, 0.0);
          for (size_t q = 0; q < cut.idx.size(); ++q) co[cut.idx[q]] = cut.val[q];
          ASSERT_EQ(slices.objective(co, VNT_MAX), 0);
          ASSERT_EQ(VNTlpopt(env, slice), 0);
          ASSERT_EQ(VNTgetstat(env, slice), VNT_STAT_OPTIMAL);
          double v = 0;
          ASSERT_EQ(VNTgetobjval(env, slice, &v), 0);
          ASSERT_LE(v, cut.rhs + 1e-6 * (1 + std::fabs(cut.rhs)))
              << "cut " << c << " of family " << cut.family << " cuts off part of an integer slice";
        }
      } else {
        ASSERT_EQ(ls, VNT_STAT_INFEASIBLE);
      }
    });
    if (HasFatalFailure()) return;
    const int stat = VNTgetstat(env, lp);
    if (best == 1e300) {
      EXPECT_EQ(stat, VNTMIP_INFEASIBLE);
      continue;
    }
    ++feasibleModels;
    ASSERT_EQ(stat, VNTMIP_OPTIMAL);
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    // A node solution is integral within the integrality tolerance (1e-5):
    // a binary at 1e-5 lets its fixed-charge column open by as much.
    EXPECT_NEAR(z, best, 1e-5 * (1 + std::fabs(best)));
    checkedCuts += static_cast<int>(rec.cuts.size());
    mirCuts += rec.count(vnt::mip::kFamMir);
    flowCuts += rec.count(vnt::mip::kFamFlow);
  }
  EXPECT_GT(feasibleModels, 15);
  EXPECT_GT(mirCuts, 20);
  EXPECT_GT(flowCuts, 5);
  EXPECT_GT(checkedCuts, mirCuts);
}

// A random single-node flow set with fixed charges: inflow and outflow arcs
// whose flow a binary opens (x <= u y), a binary arc, a bounded arc without
// a binary and an unbounded outflow, all in one balance row of random sense.
// Columns: the nb binaries first, then the flows.
struct FlowNode {
  int nb = 0, n = 0;
  std::vector<double> lb, ub, obj;
  std::vector<char> ctype, sense;
  std::vector<std::vector<double>> a;
  std::vector<double> rhs;
};

FlowNode randomFlowNode(IntegerSlices& slices) {
  auto uni = [&](int a, int b) { return slices.uni(a, b); };
  FlowNode f;
  const int nb = f.nb = uni(3, 5), n = f.n = 2 * nb + 2;
  f.lb.assign(n, 0.0);
  f.ub.assign(n, 0.0);
  f.obj.assign(n, 0.0);
  f.ctype.assign(n, 'C');
  std::vector<double> bal(n, 0.0);
  for (int j = 0; j < nb; ++j) {
    f.ctype[j] = 'B';
    f.ub[j] = 1;
    f.obj[j] = uni(2, 12);
    const int x = nb + j;
    f.ub[x] = uni(0, 1) ? uni(2, 6) : uni(8, 24);
    f.obj[x] = uni(-4, 1);
    std::vector<double> r(n, 0.0);  // x <= u y
    r[x] = 1;
    r[j] = -f.ub[x] + uni(0, 2);
    f.a.push_back(r);
    f.rhs.push_back(0);
    f.sense.push_back('L');
    bal[x] = uni(0, 3) ? 1 : -1;
  }
  f.ub[n - 2] = uni(2, 6);
  f.obj[n - 2] = uni(-2, 2);
  bal[n - 2] = uni(0, 1) ? 1 : -1;
  f.ub[n - 1] = 1e20;
  f.obj[n - 1] = uni(1, 4);
  bal[n - 1] = -1;
  bal[uni(0, nb - 1)] = uni(2, 5);  // a binary arc
  double cap = 0;
  for (int j = nb; j < n - 1; ++j) cap += bal[j] > 0 ? f.ub[j] : 0;
  f.a.push_back(bal);
  f.rhs.push_back(std::floor(cap * 0.1 * uni(1, 5)) + 0.5 * uni(0, 1));
  f.sense.push_back("LLEG"[uni(0, 3)]);
  return f;
}

// Every flow cover among `cuts` holds on every integer slice of f (a copy of
// f must be in slices.slice); returns the optimum over the slices (1e300:
// none feasible).
double checkFlowCovers(IntegerSlices& slices, const FlowNode& f, const std::vector<Cut>& cuts) {
  double best = 1e300;
  slices.forEach(f.nb, f.ub, [&](const std::vector<double>&) {
    ASSERT_EQ(slices.objective(f.obj, VNT_MIN), 0);
    ASSERT_EQ(slices.solve(), 0);
    const int ls = slices.status();
    if (ls == VNT_STAT_UNBOUNDED) return;  // the cuts are checked at the slices' bounded points below
    if (ls != VNT_STAT_OPTIMAL) {
      ASSERT_EQ(ls, VNT_STAT_INFEASIBLE);
      return;
    }
    best = std::min(best, slices.objval());
    for (size_t c = 0; c < cuts.size(); ++c) {
      const Cut& cut = cuts[c];
      if (cut.family != vnt::mip::kFamFlow) continue;
      std::vector<double> co(f.n, 0.0);
      for (size_t q = 0; q < cut.idx.size(); ++q) co[cut.idx[q]] = cut.val[q];
      ASSERT_EQ(slices.objective(co, VNT_MAX), 0);
      ASSERT_EQ(slices.solve(), 0);
      ASSERT_EQ(slices.status(), VNT_STAT_OPTIMAL) << "flow cover " << c << " unbounded on a slice";
      ASSERT_LE(slices.objval(), cut.rhs + 1e-6 * (1 + std::fabs(cut.rhs)))
          << "flow cover " << c << " cuts off part of a slice";
    }
  });
  return best;
}

// Flow covers generated by the MIP search on random flow nodes hold on every
// integer slice, and the optimum is the enumerated one.
TEST_F(MipCuts, FlowCoversHoldOnEveryIntegerSliceOfFixedChargeNodes) {
  IntegerSlices slices(env, 8122026);
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  ASSERT_NE(slices.slice, nullptr);
  int flowCuts = 0, feasibleModels = 0;
  for (int t = 0; t < 60; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    // The other families off in half of the runs, so that the flow covers
    // see the LP points they would otherwise leave to them.
    const int others = t % 2 ? 0 : -1;
    VNTsetintparam(env, VNT_PARAM_MIRCUTS, others);
    VNTsetintparam(env, VNT_PARAM_FRACCUTS, others);
    VNTsetintparam(env, VNT_PARAM_COVERS, others);
    VNTsetintparam(env, VNT_PARAM_NODECUTS, t % 4 < 2 ? 3 : 0);
    const FlowNode f = randomFlowNode(slices);
    ASSERT_EQ(copyDense(env, lp, f.obj, f.rhs, f.sense, f.a, f.lb, f.ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, f.ctype.data()), 0);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    ASSERT_EQ(copyDense(env, slices.slice, f.obj, f.rhs, f.sense, f.a, f.lb, f.ub), 0);
    const double best = checkFlowCovers(slices, f, rec.cuts);
    if (HasFatalFailure()) return;
    flowCuts += rec.count(vnt::mip::kFamFlow);
    if (best == 1e300) continue;
    ++feasibleModels;
    ASSERT_EQ(VNTgetstat(env, lp), VNTMIP_OPTIMAL);
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    EXPECT_NEAR(z, best, 1e-5 * (1 + std::fabs(best)));
  }
  VNTsetintparam(env, VNT_PARAM_MIRCUTS, 0);
  VNTsetintparam(env, VNT_PARAM_FRACCUTS, 0);
  VNTsetintparam(env, VNT_PARAM_COVERS, 0);
  EXPECT_GT(feasibleModels, 20);
  EXPECT_GT(flowCuts, 20);
}

// The separator alone at random points of the flow nodes' relaxations (not
// only LP optima): these reach the lifted inequalities far more often.
TEST_F(MipCuts, FlowCoversAtRandomPointsHoldOnEveryIntegerSlice) {
  IntegerSlices slices(env, 9122026);
  ASSERT_NE(slices.slice, nullptr);
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> u01(0.0, 1.0);
  int flowCuts = 0;
  for (int t = 0; t < 150; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    const FlowNode f = randomFlowNode(slices);
    const int n = f.n;
    std::vector<char> kind(n);
    for (int j = 0; j < n; ++j) kind[j] = f.ctype[j] == 'C' ? vnt::mip::kCont : vnt::mip::kInt;
    DenseSepModel dm(f.a, f.sense, f.rhs, f.lb, f.ub, kind, false);
    std::vector<Cut> cuts;
    for (int p = 0; p < 8; ++p) {
      // A point within the bounds and the variable upper bounds.
      std::vector<double> x(n);
      for (int j = 0; j < f.nb; ++j) x[j] = u01(rng) < 0.3 ? std::round(u01(rng)) : u01(rng);
      for (int j = 0; j < f.nb; ++j) x[f.nb + j] = u01(rng) * (-f.a[j][j]) * x[j];
      x[n - 2] = u01(rng) * f.ub[n - 2];
      x[n - 1] = u01(rng) * 10;
      vnt::mip::separateFlowCovers(dm.at(x), cuts, 100);
    }
    flowCuts += static_cast<int>(cuts.size());
    ASSERT_EQ(copyDense(env, slices.slice, f.obj, f.rhs, f.sense, f.a, f.lb, f.ub), 0);
    checkFlowCovers(slices, f, cuts);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(flowCuts, 300);
}

TEST_F(MipCuts, SwitchesTurnFamiliesOff) {
  // A node limit of 1 leaves a search to continue: each run reads the model
  // again so that it starts at the root.
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 1);
  {
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamFract), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamCovers), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamMir), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamFlow), 0);
  }
  // Each switch at -1: its family is gone, another one still cuts.
  struct Switch {
    int param, family, other;
  };
  static constexpr Switch kSwitches[] = {{VNT_PARAM_FLOWCOVERS, vnt::mip::kFamFlow, vnt::mip::kFamMir},
                                         {VNT_PARAM_MIRCUTS, vnt::mip::kFamMir, vnt::mip::kFamFract},
                                         {VNT_PARAM_FRACCUTS, vnt::mip::kFamFract, vnt::mip::kFamCovers},
                                         {VNT_PARAM_COVERS, vnt::mip::kFamCovers, vnt::mip::kFamFract}};
  for (const Switch& sw : kSwitches) {
    SCOPED_TRACE("family " + std::to_string(sw.family));
    VNTsetintparam(env, sw.param, -1);
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_EQ(rec.count(sw.family), 0);
    EXPECT_GT(rec.count(sw.other), 0);
    VNTsetintparam(env, sw.param, 0);
  }
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  {
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_TRUE(rec.cuts.empty());
  }
  // CutsFactor 1: no room for cuts.
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, 0);
  VNTsetdblparam(env, VNT_PARAM_CUTSFACTOR, 1.0);
  {
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_TRUE(rec.cuts.empty());
  }
}

TEST_F(MipCuts, NodeLogAndSummaryReportTheCuts) {
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);  // the families that the model as read gets
  read("p0033");
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  const vnt::mip::Search* s = search();
  ASSERT_NE(s, nullptr);
  const long long fract = s->cutsApplied[vnt::mip::kFamFract], covers = s->cutsApplied[vnt::mip::kFamCovers];
  ASSERT_GT(fract + covers, 0);
  // A cut round line in the bound column: the total or one family.
  EXPECT_TRUE(results.text.find("Cuts: ") != std::string::npos || results.text.find("Fract: ") != std::string::npos ||
              results.text.find("Covers: ") != std::string::npos)
      << results.text;
  if (fract > 0) {
    EXPECT_NE(results.text.find("Gomory fractional cuts applied:  " + std::to_string(fract) + "\n"),
              std::string::npos)
        << results.text;
  }
  if (covers > 0) {
    EXPECT_NE(results.text.find("Cover cuts applied:  " + std::to_string(covers) + "\n"), std::string::npos);
  }
  // Families with a zero count: printed only when their switch asks for them.
  EXPECT_EQ(results.text.find("Clique cuts applied:"), std::string::npos);
  results.text.clear();
  VNTsetintparam(env, VNT_PARAM_CLIQUES, 2);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_NE(results.text.find("Clique cuts applied:  0\n"), std::string::npos);
  // No cuts: no summary line of a generated family.
  results.text.clear();
  VNTsetintparam(env, VNT_PARAM_CLIQUES, 0);
  VNTsetlongparam(env, VNT_PARAM_CUTPASS, -1);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(results.text.find("Gomory fractional cuts applied:"), std::string::npos);
  EXPECT_EQ(results.text.find("Cuts: "), std::string::npos);
}

// The caller's user cuts: each family's switch off, a user cut that the root
// LP violates (the objective row held at the optimum, valid for every
// feasible point) enters the LP and lifts the root bound to the optimum;
// random valid user cuts (tight at some feasible point, found by
// enumeration) never change the optimum of small integer programs.
class UserCuts : public MipCuts {
 protected:
  int add(const std::vector<std::vector<double>>& a, const std::vector<double>& rhs, const std::vector<char>& sense) {
    std::vector<long long> beg;
    std::vector<int> ind;
    std::vector<double> val;
    for (const auto& row : a) {
      beg.push_back(static_cast<long long>(ind.size()));
      for (size_t j = 0; j < row.size(); ++j)
        if (row[j] != 0) {
          ind.push_back(static_cast<int>(j));
          val.push_back(row[j]);
        }
    }
    return VNTLaddusercuts(env, lp, static_cast<int>(rhs.size()), static_cast<long long>(ind.size()), rhs.data(),
                           sense.data(), beg.data(), ind.data(), val.data(), nullptr);
  }
  void familiesOff() {
    for (int p : {VNT_PARAM_FRACCUTS, VNT_PARAM_COVERS, VNT_PARAM_MIRCUTS, VNT_PARAM_FLOWCOVERS, VNT_PARAM_CLIQUES,
                  VNT_PARAM_IMPLBD})
      VNTsetintparam(env, p, -1);
  }
};

TEST_F(UserCuts, AViolatedUserCutEntersTheRootLp) {
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 1);
  familiesOff();
  for (const char* name : {"p0033", "lseu", "stein27"}) {
    SCOPED_TRACE(name);
    read(name);
    const int n = VNTgetnumcols(env, lp);
    std::vector<double> c(n);
    ASSERT_EQ(VNTgetobj(env, lp, c.data(), 0, n - 1), 0);
    const double ref = references().at(name).objective;
    // Without the user cut: the root bound is the LP bound, below the optimum.
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const double lpBound = search()->rootBound;
    ASSERT_LT(lpBound, ref - 1e-3 * (1 + std::fabs(ref)));
    EXPECT_EQ(VNTgetnumusercuts(env, lp), 0);
    // c x >= optimum holds at every feasible point; the root LP violates it.
    read(name);
    ASSERT_EQ(add({c}, {ref - 1e-7 * (1 + std::fabs(ref))}, {'G'}), 0);
    EXPECT_EQ(VNTgetnumusercuts(env, lp), 1);
    results.text.clear();
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    const vnt::mip::Search* s = search();
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(s->rootLpBound, lpBound, 1e-6 * (1 + std::fabs(lpBound)));
    EXPECT_GE(s->rootBound, ref - 1e-5 * (1 + std::fabs(ref)));
    EXPECT_EQ(s->cutsApplied[vnt::mip::kFamUser], 1);
    EXPECT_NE(results.text.find("User cuts applied:  1\n"), std::string::npos) << results.text;
    EXPECT_NE(results.text.find("Problem contains 1 user cuts.\n"), std::string::npos);
    // Freed, the cuts are gone from the next run.
    ASSERT_EQ(VNTfreeusercuts(env, lp), 0);
    EXPECT_EQ(VNTgetnumusercuts(env, lp), 0);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_LT(search()->rootBound, ref - 1e-3 * (1 + std::fabs(ref)));
  }
  // Bad input: a ranged sense, a column out of range.
  read("p0033");
  const std::vector<double> one(VNTgetnumcols(env, lp), 1.0);
  EXPECT_EQ(add({one}, {1.0}, {'R'}), 1215);
  std::vector<double> wide(one);
  wide.push_back(1.0);
  EXPECT_EQ(add({wide}, {1.0}, {'L'}), 1201);
  EXPECT_EQ(VNTgetnumusercuts(env, lp), 0);
}

TEST_F(UserCuts, ValidUserCutsNeverChangeTheOptimum) {
  std::mt19937 rng(71);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  // No root heuristics: an early incumbent at the optimum would end the
  // root before the cuts could enter.
  VNTsetlongparam(env, VNT_PARAM_HEURFREQ, -1);
  long long applied = 0;
  int models = 0;
  for (int t = 0; t < 40; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    // Presolve on and off; every third model with the families off.
    VNTsetintparam(env, VNT_PARAM_PREIND, t % 2);
    if (t % 3 == 0) familiesOff();
    else
      for (int p : {VNT_PARAM_FRACCUTS, VNT_PARAM_COVERS, VNT_PARAM_MIRCUTS, VNT_PARAM_FLOWCOVERS,
                    VNT_PARAM_CLIQUES, VNT_PARAM_IMPLBD})
        VNTsetintparam(env, p, 0);
    const int n = uni(5, 8), m = uni(2, 3);
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      ub[j] = j < n - 2 ? 1 : uni(1, 3);
      ctype[j] = ub[j] == 1 ? 'B' : 'I';
      obj[j] = -uni(1, 12);
    }
    std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
    std::vector<double> rhs(m);
    std::vector<char> sense(m, 'L');
    for (int i = 0; i < m; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) {
        a[i][j] = uni(0, 9);
        s += a[i][j] * ub[j];
      }
      rhs[i] = std::floor(s * 0.45);
    }
    std::vector<std::vector<double>> feasible;
    const double best = enumerateFeasible(a, sense, rhs, obj, ub,
                                          [&](const std::vector<double>& x, double) { feasible.push_back(x); });
    ASSERT_FALSE(feasible.empty());  // x = 0 is feasible
    // User cuts tight at a feasible point: random directions g, g x <= max g x
    // ('L') or its negation ('G').
    std::vector<std::vector<double>> cuts;
    std::vector<double> cr;
    std::vector<char> cs;
    for (int k = 0; k < 6; ++k) {
      std::vector<double> g(n);
      for (double& v : g) v = uni(-3, 4);
      double mx = -1e300;
      for (const auto& p : feasible) mx = std::max(mx, std::inner_product(g.begin(), g.end(), p.begin(), 0.0));
      if (k % 2) {
        for (double& v : g) v = -v;
        cuts.push_back(g);
        cr.push_back(-mx);
        cs.push_back('G');
      } else {
        cuts.push_back(g);
        cr.push_back(mx);
        cs.push_back('L');
      }
    }
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    ASSERT_EQ(add(cuts, cr, cs), 0);
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    expectEnumeratedAnswer(env, lp, best);
    const vnt::mip::Search* s = search();
    ASSERT_NE(s, nullptr);
    applied += s->cutsApplied[vnt::mip::kFamUser];
    ++models;
  }
  EXPECT_EQ(models, 40);
  EXPECT_GT(applied, 5);
}

// Zero-half cuts: the separator alone at random points (halves are common)
// and inside the solver with every other family off, on small integer
// programs with odd cycles of packing rows, knapsack rows and covering rows;
// every cut must hold at every enumerated feasible point.  The odd-cycle
// inequality of a triangle must be found.
TEST_F(MipCuts, ZeroHalfCutsHoldAtEveryFeasiblePoint) {
  using vnt::mip::kFamZeroHalf;
  auto sepInput = [](int n, const std::vector<std::vector<double>>& a, const std::vector<char>& sense,
                     const std::vector<double>& rhs, const std::vector<double>& ub, const std::vector<double>& x,
                     std::vector<Cut>& cuts) {
    DenseSepModel dm(a, sense, rhs, std::vector<double>(n, 0.0), ub, std::vector<char>(n, vnt::mip::kInt), true);
    vnt::mip::separateZeroHalf(dm.at(x), 2, false, cuts);
  };
  {
    // Triangle: x1 + x2 + x3 <= 1 cuts (1/2, 1/2, 1/2) off by 1/2.
    const std::vector<std::vector<double>> a = {{1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    std::vector<Cut> cuts;
    sepInput(3, a, {'L', 'L', 'L'}, {1, 1, 1}, {1, 1, 1}, {0.5, 0.5, 0.5}, cuts);
    ASSERT_FALSE(cuts.empty());
    ASSERT_EQ(cuts[0].idx.size(), 3u);
    const double v = cuts[0].val[0];
    for (double c : cuts[0].val) EXPECT_NEAR(c, v, 1e-12);
    EXPECT_NEAR(cuts[0].rhs / v, 1.0, 1e-6);
  }
  std::mt19937 rng(5150);
  auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::uniform_real_distribution<double> u01(0.0, 1.0);
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  for (int p : {VNT_PARAM_FRACCUTS, VNT_PARAM_COVERS, VNT_PARAM_MIRCUTS, VNT_PARAM_FLOWCOVERS, VNT_PARAM_CLIQUES,
                VNT_PARAM_IMPLBD})
    VNTsetintparam(env, p, -1);
  VNTsetintparam(env, VNT_PARAM_ZEROHALFCUTS, 2);  // root rounds and nodes
  long long atPoints = 0, inSolver = 0;
  for (int t = 0; t < 60; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    const int n = uni(6, 9);
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      ub[j] = j < n - 2 ? 1 : uni(2, 3);
      ctype[j] = ub[j] == 1 ? 'B' : 'I';
      obj[j] = -uni(1, 9);
    }
    std::vector<std::vector<double>> a;
    std::vector<double> rhs;
    std::vector<char> sense;
    // An odd cycle of packing rows over binaries.
    const int len = uni(0, 1) ? 3 : 5;
    for (int k = 0; k < len && len <= n - 2; ++k) {
      std::vector<double> r(n, 0.0);
      r[k] = 1;
      r[(k + 1) % len] = 1;
      a.push_back(r);
      rhs.push_back(1);
      sense.push_back('L');
    }
    // Knapsack and covering rows with small coefficients (some right-hand
    // sides fractional: the separator must round them inward).
    for (int k = uni(1, 3); k > 0; --k) {
      std::vector<double> r(n, 0.0);
      double s = 0;
      for (int j = 0; j < n; ++j)
        if (uni(0, 2) > 0) {
          r[j] = uni(-1, 3);
          s += std::max(0.0, r[j]) * ub[j];
        }
      const bool cover = uni(0, 4) == 0;
      a.push_back(r);
      rhs.push_back(cover ? 1.0 : std::floor(s * 0.5) + (uni(0, 3) == 0 ? 0.5 : 0.0));
      sense.push_back(cover ? 'G' : 'L');
    }
    std::vector<std::vector<double>> feasible;
    const double best = enumerateFeasible(a, sense, rhs, obj, ub,
                                          [&](const std::vector<double>& x, double) { feasible.push_back(x); });
    auto holds = [&](const std::vector<Cut>& cuts) {
      for (const std::vector<double>& p : feasible) {
        int which = -1;
        const double worst = worstViolation(cuts, p, &which);
        ASSERT_LE(worst, 1e-6) << "zero-half cut " << which << " cuts off a feasible point";
      }
    };
    // The separator at random points, many of them halves.
    std::vector<Cut> cuts;
    for (int q = 0; q < 10; ++q) {
      std::vector<double> x(n);
      for (int j = 0; j < n; ++j) {
        const double r = u01(rng);
        x[j] = r < 0.4 ? 0.5 * uni(0, static_cast<int>(2 * ub[j])) : r < 0.6 ? ub[j] * u01(rng) : uni(0, 1) * ub[j];
      }
      sepInput(n, a, sense, rhs, ub, x, cuts);
    }
    for (const Cut& c : cuts) ASSERT_EQ(c.family, kFamZeroHalf);
    ASSERT_NO_FATAL_FAILURE(holds(cuts));
    atPoints += static_cast<long long>(cuts.size());
    // The solver with zero-half cuts alone.
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    expectEnumeratedAnswer(env, lp, best);
    ASSERT_NO_FATAL_FAILURE(holds(rec.cuts));
    inSolver += rec.count(kFamZeroHalf);
  }
  EXPECT_GT(atPoints, 30);
  EXPECT_GT(inSolver, 20);
}

}  // namespace
