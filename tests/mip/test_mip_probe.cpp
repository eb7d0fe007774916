// Probing and the conflict table: a wrong fixing, clique or implied bound
// cuts off solutions, so everything probing derives on small random
// programs is checked against every feasible point (enumerated here, or for
// continuous columns against the LP of every integer slice); clique cuts
// appear where rows only pairwise exclude each other; the switches and the
// report lines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "mip/cuts.h"
#include "mip/search.h"
#include "cut_helpers.h"
#include "mip_fixture.h"

namespace {

using vnt::test::copyDense;
using vnt::test::CutRecorder;
using vnt::test::enumerateFeasible;
using vnt::test::expectEnumeratedAnswer;
using vnt::test::IntegerSlices;

using vnt::mip::Conflicts;
using vnt::mip::Cut;
using vnt::mip::ImpliedBound;

// What probing left: the column bounds and the conflict table.
struct ProbeRecord {
  bool seen = false;
  std::vector<double> lo, up;
  Conflicts table;
  ProbeRecord() {
    vnt::mip::gProbeObserver = [this](const vnt::mip::Working& w, const Conflicts& c) {
      seen = true;
      lo.assign(w.lo.begin(), w.lo.begin() + w.n0);
      up.assign(w.up.begin(), w.up.begin() + w.n0);
      table = c;
    };
  }
  ~ProbeRecord() { vnt::mip::gProbeObserver = nullptr; }
};

bool literalTrue(int lit, const std::vector<double>& x) {
  const double v = x[lit >> 1];
  return (lit & 1) ? v > 0.5 : v < 0.5;
}

class MipProbe : public vnt::test::MipFixture {};

// Pure integer programs with set-packing rows, knapsack rows and a few
// general integers: every feasible point lies within the bounds probing
// left, sets at most one literal of each clique, and meets every implied
// bound whose condition it satisfies.
TEST_F(MipProbe, EverythingProbingDerivesHoldsAtEveryFeasiblePoint) {
  std::mt19937 rng(1207);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  VNTsetintparam(env, VNT_PARAM_MIPDISPLAY, 0);
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);  // probing on the model's own columns
  VNTsetdblparam(env, VNT_PARAM_EPGAP, 0.0);
  VNTsetdblparam(env, VNT_PARAM_EPAGAP, 0.0);
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
  long long cliquesChecked = 0, impliedChecked = 0, tightened = 0, points = 0, cliqueCuts = 0;
  int feasibleModels = 0;
  for (int t = 0; t < 80; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    const int n = uni(6, 10), m = uni(3, 6);
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      const bool bin = j < n - 2 || uni(0, 2) > 0;
      ub[j] = bin ? 1 : uni(2, 3);
      ctype[j] = bin ? 'B' : 'I';
      obj[j] = -uni(1, 10);
    }
    std::vector<std::vector<double>> a(m, std::vector<double>(n, 0.0));
    std::vector<double> rhs(m);
    std::vector<char> sense(m);
    for (int i = 0; i < m; ++i) {
      const int shape = uni(0, 3);
      if (shape <= 1) {
        // Set packing (possibly with a complemented binary): pairs exclude.
        for (int k = uni(2, 4); k > 0; --k) {
          const int j = uni(0, n - 3);
          a[i][j] = 1;
        }
        int neg = 0;
        if (shape == 1) {
          const int j = uni(0, n - 3);
          if (a[i][j] == 0) {
            a[i][j] = -1;
            neg = 1;
          }
        }
        rhs[i] = 1 - neg;
        sense[i] = 'L';
      } else if (shape == 2) {
        // Knapsack with heavy items.
        double s = 0;
        for (int j = 0; j < n; ++j)
          if (uni(0, 2) > 0) {
            a[i][j] = uni(1, 9);
            s += a[i][j] * ub[j];
          }
        rhs[i] = std::floor(s * 0.45);
        sense[i] = 'L';
      } else {
        // Covering with a general integer: forces columns up.
        double s = 0;
        for (int j = 0; j < n; ++j)
          if (uni(0, 3) == 0 || j >= n - 2) {
            a[i][j] = uni(1, 4);
            s += a[i][j] * ub[j];
          }
        rhs[i] = std::floor(s * 0.5);
        sense[i] = 'G';
      }
    }
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    ProbeRecord pr;
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    for (const Cut& c : rec.cuts) cliqueCuts += c.family == vnt::mip::kFamCliques;
    const double best = enumerateFeasible(a, sense, rhs, obj, ub, [&](const std::vector<double>& x, double) {
      ++points;
      ASSERT_TRUE(pr.seen);
      for (int j = 0; j < n; ++j) {
        ASSERT_GE(x[j], pr.lo[j]) << "probing raised the lower bound of column " << j << " past a solution";
        ASSERT_LE(x[j], pr.up[j]) << "probing lowered the upper bound of column " << j << " past a solution";
      }
      for (size_t c = 0; c < pr.table.cliques.size(); ++c) {
        int trueLits = 0;
        for (int l : pr.table.cliques[c]) trueLits += literalTrue(l, x);
        ASSERT_LE(trueLits, 1) << "clique " << c << " excludes a solution";
      }
      for (const ImpliedBound& ib : pr.table.implied) {
        if (std::round(x[ib.bin]) != ib.val) continue;
        if (ib.upper) ASSERT_LE(x[ib.col], ib.bound + 1e-9) << "implied upper bound";
        else ASSERT_GE(x[ib.col], ib.bound - 1e-9) << "implied lower bound";
      }
    });
    if (HasFatalFailure()) return;
    if (!expectEnumeratedAnswer(env, lp, best)) continue;
    ++feasibleModels;
    cliquesChecked += static_cast<long long>(pr.table.cliques.size());
    impliedChecked += static_cast<long long>(pr.table.implied.size());
    for (int j = 0; j < n; ++j) tightened += pr.lo[j] > lb[j] || pr.up[j] < ub[j];
  }
  EXPECT_GT(feasibleModels, 30);
  EXPECT_GT(points, 1000);
  // Probing must have derived something to check.
  EXPECT_GT(cliquesChecked, 200);
  EXPECT_GT(impliedChecked, 5);
  EXPECT_GT(tightened, 5);
  EXPECT_GT(cliqueCuts, 0);
}

// Fixed-charge programs (x_k <= U_k y_k, demands, a mixed knapsack): an
// implied bound on a continuous column holds over the whole slice of every
// integer assignment that meets its condition (the slice's LP optimum of
// that column).
TEST_F(MipProbe, ImpliedBoundsOfContinuousColumnsHoldOnEveryIntegerSlice) {
  IntegerSlices slices(env, 31207);
  auto uni = [&](int a, int b) { return slices.uni(a, b); };
  VNTsetlongparam(env, VNT_PARAM_NODELIM, 1);
  VNTLPptr slice = slices.slice;
  ASSERT_NE(slice, nullptr);
  long long checked = 0;
  for (int t = 0; t < 40; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
    const int nb = uni(2, 4), nc = uni(3, 5), n = nb + nc;
    std::vector<double> lb(n, 0.0), ub(n), obj(n);
    std::vector<char> ctype(n);
    for (int j = 0; j < n; ++j) {
      ub[j] = j < nb ? 1 : uni(3, 12);
      ctype[j] = j < nb ? 'B' : 'C';
      obj[j] = j < nb ? uni(2, 9) : uni(-2, 4);
    }
    std::vector<std::vector<double>> a;
    std::vector<double> rhs;
    std::vector<char> sense;
    for (int k = 0; k < nc; ++k) {
      std::vector<double> r(n, 0.0);
      r[nb + k] = 1;
      r[k % nb] = -uni(1, static_cast<int>(ub[nb + k]));
      a.push_back(r);
      rhs.push_back(uni(0, 1));
      sense.push_back('L');
    }
    {
      std::vector<double> r(n, 0.0);
      for (int j = nb; j < n; ++j) r[j] = uni(1, 2);
      a.push_back(r);
      rhs.push_back(uni(2, 6));
      sense.push_back('G');
    }
    {
      std::vector<double> r(n, 0.0);
      for (int j = 0; j < n; ++j) r[j] = uni(0, 3);
      a.push_back(r);
      rhs.push_back(uni(8, 20));
      sense.push_back('L');
    }
    ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    ProbeRecord pr;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    if (!pr.seen) continue;  // infeasible before probing
    ASSERT_EQ(copyDense(env, slice, obj, rhs, sense, a, lb, ub), 0);
    slices.forEach(nb, ub, [&](const std::vector<double>& y) {
      for (const ImpliedBound& ib : pr.table.implied) {
        if (y[ib.bin] != ib.val) continue;
        std::vector<double> co(n, 0.0);
        co[ib.col] = 1.0;
        ASSERT_EQ(slices.objective(co, ib.upper ? VNT_MAX : VNT_MIN), 0);
        ASSERT_EQ(VNTlpopt(env, slice), 0);
        const int ls = VNTgetstat(env, slice);
        if (ls != VNT_STAT_OPTIMAL) {
          ASSERT_EQ(ls, VNT_STAT_INFEASIBLE);
          break;  // an empty slice: nothing to cut off
        }
        double v = 0;
        ASSERT_EQ(VNTgetobjval(env, slice, &v), 0);
        if (ib.upper) ASSERT_LE(v, ib.bound + 1e-7 * (1 + std::fabs(ib.bound)));
        else ASSERT_GE(v, ib.bound - 1e-7 * (1 + std::fabs(ib.bound)));
        ++checked;
      }
    });
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(checked, 50);
}

// Three binaries that exclude each other pairwise (three rows): the LP
// takes 1/2 each, the clique cut x1 + x2 + x3 <= 1 settles it at the root.
TEST_F(MipProbe, PairwiseExclusionsGiveACliqueCutAndTheReportLines) {
  const std::vector<double> obj{-1, -1, -1, -1}, lb(4, 0.0), ub(4, 1.0);
  const std::vector<std::vector<double>> a{{1, 1, 0, 0}, {0, 1, 1, 0}, {1, 0, 1, 0}, {0, 0, 0, 1}};
  const std::vector<double> rhs{1, 1, 1, 0};
  const std::vector<char> sense{'L', 'L', 'L', 'L'}, ctype(4, 'B');
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  VNTsetintparam(env, VNT_PARAM_FRACCUTS, -1);
  VNTsetintparam(env, VNT_PARAM_MIRCUTS, -1);
  VNTsetintparam(env, VNT_PARAM_COVERS, -1);
  VNTsetlongparam(env, VNT_PARAM_HEURFREQ, -1);  // no incumbent before the cut loop
  ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
  ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
  {
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), VNTMIP_OPTIMAL);
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    EXPECT_NEAR(z, -1.0, 1e-9);
    ASSERT_EQ(rec.cuts.size(), 1u);
    const Cut& c = rec.cuts[0];
    EXPECT_EQ(c.family, vnt::mip::kFamCliques);
    EXPECT_EQ(c.idx.size(), 3u);
    EXPECT_NEAR(c.rhs, c.val[0], 1e-6);
    long long nodes = VNTgetnodecnt(env, lp);
    EXPECT_LE(nodes, 1);
  }
  // x4 <= 0 makes probing fix it; the table has the three rows' pairs.
  EXPECT_NE(results.text.find("Probing fixed 1 vars, tightened 0 bounds.\n"), std::string::npos) << results.text;
  EXPECT_NE(results.text.find("Probing time = "), std::string::npos);
  EXPECT_NE(results.text.find("Clique table members: "), std::string::npos);
  EXPECT_NE(results.text.find("Clique cuts applied:  1\n"), std::string::npos) << results.text;
  // Switched off: no clique cut; no probing lines.
  results.text.clear();
  VNTsetintparam(env, VNT_PARAM_CLIQUES, -1);
  VNTsetintparam(env, VNT_PARAM_PROBE, -1);
  {
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    for (const Cut& c : rec.cuts) EXPECT_NE(c.family, vnt::mip::kFamCliques);
  }
  EXPECT_EQ(results.text.find("Probing time = "), std::string::npos);
  EXPECT_EQ(results.text.find("Clique cuts applied:"), std::string::npos);
}

// Probing proves infeasibility: every value of x1 empties a row.
TEST_F(MipProbe, ProbingProvesInfeasibility) {
  const std::vector<double> obj{1, 1, 1}, lb(3, 0.0), ub(3, 1.0);
  // x1 + x2 >= 1, x1 + x3 >= 1 and x2 + x3 <= 0 ... with x1 <= 0 by a row.
  const std::vector<std::vector<double>> a{{1, 1, 0}, {-1, 0, 1}, {0, 1, 1}, {1, 0, -1}};
  const std::vector<double> rhs{2, 0, 1, 0};
  const std::vector<char> sense{'E', 'G', 'L', 'G'}, ctype(3, 'B');
  VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  ASSERT_EQ(copyDense(env, lp, obj, rhs, sense, a, lb, ub), 0);
  ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
  ASSERT_EQ(VNTmipopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), VNTMIP_INFEASIBLE);
  EXPECT_EQ(VNTgetnodecnt(env, lp), 0);
}

}  // namespace
