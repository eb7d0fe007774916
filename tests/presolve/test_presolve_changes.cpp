// Changes to a presolved problem (rows added, objective changed) carried to
// the reduced problem, checked against solving the changed original; and
// the basic presolve's implied bounds and redundant rows.
#include <random>

#include "presolve/presolve.h"
#include "presolve/presolve_fixture.h"

namespace {

using vnt::test::PresolveTest;

class PresolveChanges : public PresolveTest {
 protected:
  // Rows the presolve kept on the problem counts as added after it ran.
  long long addedRows() {
    const auto* st = vnt::presolve::findState(*reinterpret_cast<vnt::model::Problem*>(lp));
    return st && st->pre ? st->pre->counts.rowsAdded : -1;
  }
  struct Answer {
    int stat = 0;
    double obj = 0.0;
    std::vector<double> x;
  };

  // Solve a copy of `p` without presolve.
  Answer solveCopy(VNTCLPptr p) {
    Answer a;
    int st = 0;
    VNTLPptr c = VNTcloneprob(env, p, &st);
    EXPECT_EQ(st, 0);
    if (!c) return a;
    EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
    EXPECT_EQ(VNTlpopt(env, c), 0);
    EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 1), 0);
    a.stat = VNTgetstat(env, c);
    if (a.stat == 1) {
      EXPECT_EQ(VNTgetobjval(env, c, &a.obj), 0);
      a.x.resize(VNTgetnumcols(env, c));
      EXPECT_EQ(VNTgetx(env, c, a.x.data(), 0, static_cast<int>(a.x.size()) - 1), 0);
    }
    VNTfreeprob(env, &c);
    return a;
  }

  // Largest violation (relative) of x in the rows and bounds of lp, and its
  // objective value.
  double violation(const std::vector<double>& x, double* objval) {
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> lb(n), ub(n), obj(n), rhs(m), ax(m, 0.0);
    std::vector<char> sense(m);
    EXPECT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    EXPECT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
    double off = 0;
    EXPECT_EQ(VNTgetobjoffset(env, lp, &off), 0);
    double v = 0.0, z = off;
    for (int j = 0; j < n; ++j) {
      const double s = std::max(1.0, std::fabs(x[j]));
      v = std::max({v, (lb[j] - x[j]) / s, (x[j] - ub[j]) / s});
      z += obj[j] * x[j];
      for (int i = 0; i < m; ++i) {
        double a = 0;
        if (VNTgetcoef(env, lp, i, j, &a) == 0) ax[i] += a * x[j];
      }
    }
    for (int i = 0; i < m; ++i) {
      const double s = std::max(1.0, std::fabs(rhs[i]));
      if (sense[i] != 'G') v = std::max(v, (ax[i] - rhs[i]) / s);
      if (sense[i] != 'L') v = std::max(v, (rhs[i] - ax[i]) / s);
    }
    *objval = z;
    return v;
  }

  // The reduced problem solved and mapped back agrees with the changed
  // original solved directly.
  void expectReducedAgrees(const std::string& name) {
    VNTCLPptr red = nullptr;
    ASSERT_EQ(VNTgetredlp(env, lp, &red), 0) << name;
    const Answer direct = solveCopy(lp);
    const Answer viaRed = solveCopy(red);
    ASSERT_EQ(viaRed.stat, direct.stat) << name;
    if (direct.stat != 1) return;
    EXPECT_TRUE(vnt::test::objectiveMatches(viaRed.obj, direct.obj)) << name << ": " << viaRed.obj << " vs " << direct.obj;
    std::vector<double> x(VNTgetnumcols(env, lp));
    ASSERT_EQ(VNTuncrushx(env, lp, x.data(), viaRed.x.data()), 0);
    double z = 0;
    EXPECT_LE(violation(x, &z), 1e-6) << name;
    EXPECT_TRUE(vnt::test::objectiveMatches(z, direct.obj)) << name << ": " << z << " vs " << direct.obj;
  }

  // The basis of the reduced optimum, mapped back, is optimal for the
  // changed original: a solve from it needs (almost) no iterations.
  long long iterationsFromMappedBasis() {
    VNTCLPptr red = nullptr;
    EXPECT_EQ(VNTgetredlp(env, lp, &red), 0);
    int st = 0;
    VNTLPptr c = VNTcloneprob(env, red, &st);
    EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
    EXPECT_EQ(VNTlpopt(env, c), 0);
    EXPECT_EQ(VNTgetstat(env, c), 1);
    const int nr = VNTgetnumcols(env, c), mr = VNTgetnumrows(env, c);
    vnt::presolve::Solution rs, os;
    rs.x.resize(nr);
    rs.dj.resize(nr);
    rs.pi.resize(mr);
    rs.cstat.resize(nr);
    rs.rstat.resize(mr);
    EXPECT_EQ(VNTgetx(env, c, rs.x.data(), 0, nr - 1), 0);
    EXPECT_EQ(VNTgetdj(env, c, rs.dj.data(), 0, nr - 1), 0);
    EXPECT_EQ(VNTgetpi(env, c, rs.pi.data(), 0, mr - 1), 0);
    EXPECT_EQ(VNTgetbase(env, c, rs.cstat.data(), rs.rstat.data()), 0);
    VNTfreeprob(env, &c);
    const auto* s = vnt::presolve::findState(*reinterpret_cast<vnt::model::Problem*>(lp));
    EXPECT_NE(s, nullptr);
    if (!s) return -1;
    s->pre->uncrush(rs, os, true);
    VNTLPptr o = VNTcloneprob(env, lp, &st);
    EXPECT_EQ(VNTcopybase(env, o, os.cstat.data(), os.rstat.data()), 0);
    EXPECT_EQ(VNTlpopt(env, o), 0);
    EXPECT_EQ(VNTgetstat(env, o), 1);
    const long long it = VNTgetitcnt(env, o);
    if (it == 0) {
      // Same basis, so the same duals: those the records rebuilt must be
      // the basis's own.
      const int m = VNTgetnumrows(env, o);
      std::vector<double> pi(m);
      EXPECT_EQ(VNTgetpi(env, o, pi.data(), 0, m - 1), 0);
      double worst = 0.0;
      for (int i = 0; i < m; ++i) worst = std::max(worst, std::fabs(pi[i] - os.pi[i]) / std::max(1.0, std::fabs(pi[i])));
      EXPECT_LE(worst, 1e-7) << "duals mapped back differ from the basis's";
    }
    VNTfreeprob(env, &o);
    EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 1), 0);
    return it;
  }

  // Two random rows over the columns: one through the optimum x* and one
  // that cuts it off a little (the changed model may become infeasible).
  void addRandomRows(std::mt19937& rng, const std::vector<double>& xs, bool viaPre) {
    const int n = static_cast<int>(xs.size());
    std::uniform_int_distribution<int> col(0, n - 1);
    std::uniform_real_distribution<double> coef(-2.0, 2.0);
    std::vector<int> beg, ind;
    std::vector<double> val, rhs;
    std::vector<char> sense;
    for (int r = 0; r < 2; ++r) {
      beg.push_back(static_cast<int>(ind.size()));
      double ax = 0.0;
      std::vector<char> used(n, 0);
      for (int t = 0; t < 6; ++t) {
        const int j = col(rng);
        if (used[j]) continue;
        used[j] = 1;
        const double a = std::round(coef(rng) * 4) / 4;
        if (a == 0) continue;
        ind.push_back(j);
        val.push_back(a);
        ax += a * xs[j];
      }
      sense.push_back(r == 0 ? 'E' : 'L');
      rhs.push_back(r == 0 ? ax : ax - 0.05 * std::max(1.0, std::fabs(ax)));
    }
    const int nz = static_cast<int>(ind.size());
    if (viaPre)
      ASSERT_EQ(VNTpreaddrows(env, lp, 2, nz, rhs.data(), sense.data(), beg.data(), ind.data(), val.data(), nullptr), 0);
    else
      ASSERT_EQ(VNTaddrows(env, lp, 0, 2, nz, rhs.data(), sense.data(), beg.data(), ind.data(), val.data(), nullptr,
                           nullptr),
                0);
  }

  std::vector<double> optimum() {
    EXPECT_EQ(VNTlpopt(env, lp), 0);
    EXPECT_EQ(VNTgetstat(env, lp), 1);
    std::vector<double> x(VNTgetnumcols(env, lp));
    EXPECT_EQ(VNTgetx(env, lp, x.data(), 0, static_cast<int>(x.size()) - 1), 0);
    return x;
  }
};

const char* const kModels[] = {"afiro", "sc105", "scagr7", "share2b", "blend", "kb2", "stocfor1", "boeing2",
                               "israel", "e226", "grow7", "capri"};

TEST_F(PresolveChanges, AddedRowsReachTheReducedProblem) {
  std::mt19937 rng(11);
  int kept = 0, tried = 0;
  for (int primalOnly = 1; primalOnly >= 0; --primalOnly) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_REDUCE, primalOnly ? 1 : 3), 0);
    for (const char* name : kModels) {
      read("netlib", name);
      const std::vector<double> xs = optimum();
      ASSERT_EQ(VNTpresolve(env, lp, 0), 0) << name;
      int prestat = 0;
      ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
      if (prestat != 1) continue;
      const int m0 = VNTgetnumrows(env, lp);
      ASSERT_NO_FATAL_FAILURE(addRandomRows(rng, xs, true));
      EXPECT_EQ(VNTgetnumrows(env, lp), m0 + 2);
      ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
      ++tried;
      // Without dual reductions every row can be carried.
      if (primalOnly) {
        ASSERT_EQ(prestat, 1) << name << ": the presolved problem was dropped";
      }
      if (prestat != 1) continue;
      ++kept;
      std::vector<int> orow(VNTgetnumrows(env, lp), -1);
      VNTCLPptr red = nullptr;
      ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
      const int mr = VNTgetnumrows(env, red);
      ASSERT_EQ(VNTEgetorigrowind(env, lp, orow.data(), mr - 2, mr - 1), 0);
      EXPECT_EQ(orow[0], m0);
      EXPECT_EQ(orow[1], m0 + 1);
      // Both directions of the map name the added rows, and the presolve
      // counts them as added.
      std::vector<int> pr(m0 + 2);
      ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, pr.data(), nullptr, nullptr), 0);
      EXPECT_EQ(pr[m0], mr - 2);
      EXPECT_EQ(pr[m0 + 1], mr - 1);
      EXPECT_EQ(addedRows(), 2) << name;
      ASSERT_NO_FATAL_FAILURE(expectReducedAgrees(name));
      if (solveCopy(lp).stat == 1) {
        const long long it = iterationsFromMappedBasis();
        EXPECT_LE(it, 3) << name << ": the mapped basis is not optimal";
      }
    }
  }
  std::printf("[ carried  ] %d of %d presolved problems kept the added rows\n", kept, tried);
  EXPECT_GE(kept, 12);
}

TEST_F(PresolveChanges, ChangedObjectiveReachesTheReducedProblem) {
  std::mt19937 rng(5);
  int kept = 0;
  for (int primalOnly = 1; primalOnly >= 0; --primalOnly) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_REDUCE, primalOnly ? 1 : 3), 0);
    for (const char* name : kModels) {
      read("netlib", name);
      ASSERT_EQ(VNTpresolve(env, lp, 0), 0) << name;
      const int n = VNTgetnumcols(env, lp);
      std::vector<double> obj(n);
      ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
      // Scale a few costs: the model stays bounded where it was (a cost
      // keeps its sign).
      std::uniform_int_distribution<int> col(0, n - 1);
      std::uniform_real_distribution<double> f(0.5, 1.5);
      std::vector<int> ind;
      std::vector<double> val;
      for (int t = 0; t < 5; ++t) {
        const int j = col(rng);
        if (std::find(ind.begin(), ind.end(), j) != ind.end()) continue;
        ind.push_back(j);
        val.push_back(obj[j] * f(rng));
      }
      const int cnt = static_cast<int>(ind.size());
      ASSERT_EQ(VNTprechgobj(env, lp, cnt, ind.data(), val.data()), 0);
      for (int t = 0; t < cnt; ++t) {
        double v = 0;
        ASSERT_EQ(VNTgetobj(env, lp, &v, ind[t], ind[t]), 0);
        EXPECT_EQ(v, val[t]);
      }
      int prestat = 0;
      ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
      if (prestat != 1) continue;
      ++kept;
      ASSERT_NO_FATAL_FAILURE(expectReducedAgrees(name));
      if (solveCopy(lp).stat == 1) {
        EXPECT_LE(iterationsFromMappedBasis(), 3) << name;
      }
    }
  }
  std::printf("[ carried  ] %d presolved problems kept the objective change\n", kept);
  EXPECT_GE(kept, 12);
  // Without a presolved problem the call is an ordinary objective change.
  ASSERT_EQ(VNTfreepresolve(env, lp), 0);
  int j = 0;
  double v = 7.0;
  ASSERT_EQ(VNTprechgobj(env, lp, 1, &j, &v), 0);
  double got = 0;
  ASSERT_EQ(VNTgetobj(env, lp, &got, 0, 0), 0);
  EXPECT_EQ(got, 7.0);
  j = 1 << 20;
  EXPECT_EQ(VNTprechgobj(env, lp, 1, &j, &v), VNTchgobj(env, lp, 1, &j, &v));
}

TEST_F(PresolveChanges, WithoutAPresolvedProblemRowsAreAddedAsUsual) {
  load(1, {1, 1, 1, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, {{'L', 3, {{0, 1}, {1, 1}, {2, 1}}}});
  int st = 0;
  VNTLPptr twin = VNTcloneprob(env, lp, &st);
  ASSERT_EQ(st, 0);
  double rhs[] = {-1, 2};
  char sense[] = {'G', 'E'};
  int beg[] = {0, 2};
  int ind[] = {0, 3, 1};
  double val[] = {1.5, -2, 4};
  char* rn[] = {(char*)"p1", (char*)"p2"};
  ASSERT_EQ(VNTpreaddrows(env, lp, 2, 3, rhs, sense, beg, ind, val, rn), 0);
  ASSERT_EQ(VNTaddrows(env, twin, 0, 2, 3, rhs, sense, beg, ind, val, nullptr, rn), 0);
  ASSERT_EQ(VNTgetnumrows(env, lp), 3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      double a = 0, b = 0;
      ASSERT_EQ(VNTgetcoef(env, lp, i, j, &a), 0);
      ASSERT_EQ(VNTgetcoef(env, twin, i, j, &b), 0);
      EXPECT_EQ(a, b);
    }
  char store[16];
  char* name[1] = {nullptr};
  int surplus = 0;
  ASSERT_EQ(VNTgetrowname(env, lp, name, store, sizeof store, &surplus, 2, 2), 0);
  EXPECT_STREQ(name[0], "p2");
  // Bad input changes nothing.
  EXPECT_EQ(VNTpreaddrows(env, lp, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VNTpreaddrows(env, lp, -1, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1003);
  EXPECT_EQ(VNTpreaddrows(env, lp, 1, 1, rhs, sense, nullptr, ind, val, nullptr), 1004);
  int badInd[] = {7};
  EXPECT_EQ(VNTpreaddrows(env, lp, 1, 1, rhs, sense, beg, badInd, val, nullptr), 1201);
  EXPECT_EQ(VNTgetnumrows(env, lp), 3);
  // A failing call on a presolved problem keeps the presolved problem.
  ASSERT_EQ(VNTpresolve(env, lp, 0), 0);
  EXPECT_EQ(VNTpreaddrows(env, lp, 1, 1, rhs, sense, beg, badInd, val, nullptr), 1201);
  VNTCLPptr red = nullptr;
  EXPECT_EQ(VNTgetredlp(env, lp, &red), 0);
  EXPECT_EQ(VNTfreeprob(env, &twin), 0);
}

TEST_F(PresolveTest, BasicPresolveGivesImpliedBoundsAndRedundantRows) {
  // x + y <= 4 and x - y >= -1 with x, y >= 0: x <= 4, y <= 4 (then y <= 5
  // from the second row is no news); x + 2y >= -3 can never bind.
  load(1, {1, 1}, {0, 0}, {1e20, 1e20},
       {{'L', 4, {{0, 1}, {1, 1}}}, {'G', -1, {{0, 1}, {1, -1}}}, {'G', -3, {{0, 1}, {1, 2}}}});
  std::vector<double> lb(2), ub(2);
  std::vector<int> rstat(3, 7);
  ASSERT_EQ(VNTbasicpresolve(env, lp, lb.data(), ub.data(), rstat.data()), 0);
  EXPECT_EQ(lb[0], 0.0);
  EXPECT_EQ(lb[1], 0.0);
  EXPECT_NEAR(ub[0], 4.0, 1e-12);
  EXPECT_NEAR(ub[1], 4.0, 1e-12);
  EXPECT_EQ(rstat[0], 0);
  EXPECT_EQ(rstat[1], 0);
  EXPECT_EQ(rstat[2], -1);
  // The problem itself is unchanged.
  double u = 0;
  ASSERT_EQ(VNTgetub(env, lp, &u, 0, 0), 0);
  EXPECT_GE(u, 1e20);
  // Null outputs are allowed.
  EXPECT_EQ(VNTbasicpresolve(env, lp, nullptr, nullptr, nullptr), 0);
  // Implied bounds that cannot hold.
  load(1, {1, 1}, {0, 0}, {1, 1}, {{'G', 3, {{0, 1}, {1, 1}}}});
  EXPECT_EQ(VNTbasicpresolve(env, lp, lb.data(), ub.data(), nullptr), 1117);
  EXPECT_TRUE(results.contains("Implied bounds make row 'c1' infeasible."));
}

TEST_F(PresolveTest, BasicPresolveBoundsKeepTheOptimum) {
  // The implied bounds hold at the optimum, and with them (and without the
  // rows called redundant) the optimum stays the same.
  for (const char* name : {"afiro", "sc105", "scagr7", "share2b", "blend", "kb2", "boeing2", "israel"}) {
    read("netlib", name);
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    double ref = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &ref), 0);
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> lb(n), ub(n), x(n), lb0(n), ub0(n);
    std::vector<int> rstat(m);
    ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetlb(env, lp, lb0.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub0.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTbasicpresolve(env, lp, lb.data(), ub.data(), rstat.data()), 0) << name;
    int tighter = 0, redundant = 0;
    std::vector<int> idx(n);
    for (int j = 0; j < n; ++j) {
      idx[j] = j;
      EXPECT_GE(lb[j], lb0[j]);
      EXPECT_LE(ub[j], ub0[j]);
      tighter += lb[j] > lb0[j] || ub[j] < ub0[j];
    }
    std::vector<int> red;
    for (int i = 0; i < m; ++i)
      if (rstat[i] == -1) red.push_back(i);
    redundant = static_cast<int>(red.size());
    std::vector<char> L(n, 'L'), U(n, 'U');
    ASSERT_EQ(VNTchgbds(env, lp, n, idx.data(), L.data(), lb.data()), 0);
    ASSERT_EQ(VNTchgbds(env, lp, n, idx.data(), U.data(), ub.data()), 0);
    std::vector<int> del(m, 0);
    for (int i : red) del[i] = 1;
    if (!red.empty()) {
      ASSERT_EQ(VNTdelsetrows(env, lp, del.data()), 0);
    }
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 1), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1) << name;
    double obj = 0;
    ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
    EXPECT_TRUE(vnt::test::objectiveMatches(obj, ref)) << name << ": " << obj << " vs " << ref;
    std::printf("[ basic    ] %s: %d columns with tighter bounds, %d redundant rows\n", name, tighter, redundant);
  }
}

}  // namespace
