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
#include <vector>

#include "common/models.h"
#include "mip/cuts.h"
#include "mip/search.h"
#include "model/problem.h"
#include "vanto/vanto.h"
#include "mip_fixture.h"

namespace {

using vnt::mip::Cut;
using vnt::test::modelPath;
using vnt::test::references;

// Every cut seen by the observer during the scope.
struct CutRecorder {
  std::vector<Cut> cuts;
  CutRecorder() {
    vnt::mip::gCutObserver = [this](const Cut& c) { cuts.push_back(c); };
  }
  ~CutRecorder() { vnt::mip::gCutObserver = nullptr; }
  int count(int family) const {
    int k = 0;
    for (const Cut& c : cuts) k += c.family == family;
    return k;
  }
};

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

class MipCuts : public vnt::test::MipFixture {
 protected:
  vnt::mip::Search* search() { return vnt::mip::findSearch(*vnt::model::resolveHandle(lp)); }
};

TEST_F(MipCuts, RootCutsOnQuickMiplibModelsKeepTheirSolutions) {
  int total = 0;
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
  int checkedCuts = 0, feasibleModels = 0;
  for (int t = 0; t < 60; ++t) {
    SCOPED_TRACE("model " + std::to_string(t));
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
    std::vector<int> beg(n), cnt(n), ind;
    std::vector<double> val;
    for (int j = 0; j < n; ++j) {
      beg[j] = static_cast<int>(ind.size());
      for (int i = 0; i < m; ++i)
        if (a[i][j] != 0) {
          ind.push_back(i);
          val.push_back(a[i][j]);
        }
      cnt[j] = static_cast<int>(ind.size()) - beg[j];
    }
    ASSERT_EQ(VNTcopylp(env, lp, n, m, 1, obj.data(), rhs.data(), sense.data(), beg.data(), cnt.data(), ind.data(),
                        val.data(), lb.data(), ub.data(), nullptr),
              0);
    ASSERT_EQ(VNTcopyctype(env, lp, ctype.data()), 0);
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    // Enumerate every integer point.
    std::vector<double> x(n, 0.0);
    double best = 1e300;
    bool any = false;
    std::vector<std::vector<double>> feasible;
    for (;;) {
      bool ok = true;
      for (int i = 0; i < m && ok; ++i) {
        double s = 0;
        for (int j = 0; j < n; ++j) s += a[i][j] * x[j];
        ok = sense[i] == 'L' ? s <= rhs[i] + 1e-9 : s >= rhs[i] - 1e-9;
      }
      if (ok) {
        any = true;
        feasible.push_back(x);
        double z = 0;
        for (int j = 0; j < n; ++j) z += obj[j] * x[j];
        best = std::min(best, z);
      }
      int j = 0;
      while (j < n && x[j] == ub[j]) x[j++] = 0;
      if (j == n) break;
      x[j] += 1;
    }
    const int stat = VNTgetstat(env, lp);
    if (!any) {
      EXPECT_EQ(stat, VNTMIP_INFEASIBLE);
      continue;
    }
    ++feasibleModels;
    ASSERT_EQ(stat, VNTMIP_OPTIMAL);
    double z = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &z), 0);
    EXPECT_NEAR(z, best, 1e-6 * (1 + std::fabs(best)));
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
  }
  VNTsetintparam(env, VNT_PARAM_FRACCUTS, -1);
  {
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_EQ(rec.count(vnt::mip::kFamFract), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamCovers), 0);
  }
  VNTsetintparam(env, VNT_PARAM_FRACCUTS, 0);
  VNTsetintparam(env, VNT_PARAM_COVERS, -1);
  {
    read("p0033");
    CutRecorder rec;
    ASSERT_EQ(VNTmipopt(env, lp), 0);
    EXPECT_GT(rec.count(vnt::mip::kFamFract), 0);
    EXPECT_EQ(rec.count(vnt::mip::kFamCovers), 0);
  }
  VNTsetintparam(env, VNT_PARAM_COVERS, 0);
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

}  // namespace
