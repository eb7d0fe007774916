// Starts, pricing weights and certificates through the C interface: a solve
// restarted from a saved optimal basis with its weights needs no iteration and
// keeps the weights it was given; starts derived from solution values lead
// back to the optimum; rays of unbounded LPs are feasible improving
// directions; Farkas certificates of infeasible models prove infeasibility
// when checked against the model data alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/models.h"
#include "common/row_interval.h"
#include "lp_api/lp_fixture.h"

namespace {

using vnt::test::objectiveMatches;

constexpr int kParamDisplay = 1019;

class Solved : public vnt::test::LpFixture {
 protected:
  double optimum() const {
    double v = NAN;
    EXPECT_EQ(VNTgetobjval(env, lp, &v), 0);
    return v;
  }
};

class Restart : public Solved, public ::testing::WithParamInterface<std::string> {};

TEST_P(Restart, OptimalBasisWithWeightsRestartsWithoutIterations) {
  read("netlib", GetParam());
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  const double obj = optimum();
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<int> cstat(n), rstat(m);
  std::vector<double> dnorm(m);
  ASSERT_EQ(VNTgetbasednorms(env, lp, cstat.data(), rstat.data(), dnorm.data()), 0);
  for (double w : dnorm) ASSERT_GT(w, 0.0);

  // A fresh problem with the same model: basis and weights copied in.
  VNTLPptr lp2 = VNTcreateprob(env, nullptr, "copy");
  ASSERT_NE(lp2, nullptr);
  ASSERT_EQ(VNTreadcopyprob(env, lp2, vnt::test::modelPath("netlib", GetParam()).c_str(), nullptr), 0);
  ASSERT_EQ(VNTcopybasednorms(env, lp2, cstat.data(), rstat.data(), dnorm.data()), 0);
  ASSERT_EQ(VNTsetintparam(env, kParamDisplay, 1), 0);
  logLines.lines.clear();
  ASSERT_EQ(VNTdualopt(env, lp2), 0);
  EXPECT_EQ(VNTgetstat(env, lp2), 1);
  EXPECT_EQ(VNTgetitcnt(env, lp2), 0);
  EXPECT_FALSE(logLines.contains("Initializing dual steep norms")) << "weights were recomputed";
  double obj2 = NAN;
  ASSERT_EQ(VNTgetobjval(env, lp2, &obj2), 0);
  EXPECT_TRUE(objectiveMatches(obj2, obj, 1e-9));
  // The weights came through unchanged (no iteration updated them).
  std::vector<int> c2(n), r2(m);
  std::vector<double> d2(m);
  ASSERT_EQ(VNTgetbasednorms(env, lp2, c2.data(), r2.data(), d2.data()), 0);
  EXPECT_EQ(c2, cstat);
  EXPECT_EQ(r2, rstat);
  for (int i = 0; i < m; ++i) EXPECT_DOUBLE_EQ(d2[i], dnorm[i]);
  VNTfreeprob(env, &lp2);
}

TEST_P(Restart, GivenWeightsAreUsedUntilKilled) {
  read("netlib", GetParam());
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<int> cstat(n), rstat(m);
  ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  // Weights that no computation would produce.
  std::vector<double> seven(m, 7.0);
  ASSERT_EQ(VNTcopybasednorms(env, lp, cstat.data(), rstat.data(), seven.data()), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
  std::vector<double> norm(m);
  std::vector<int> head(m);
  int len = 0;
  ASSERT_EQ(VNTgetdnorms(env, lp, norm.data(), head.data(), &len), 0);
  ASSERT_EQ(len, m);
  for (double w : norm) EXPECT_EQ(w, 7.0);

  // Per-position weights with their head: change one, hand them back.
  norm[0] = 3.5;
  ASSERT_EQ(VNTcopydnorms(env, lp, norm.data(), head.data(), m), 0);
  std::vector<double> back(m);
  std::vector<int> head2(m);
  ASSERT_EQ(VNTgetdnorms(env, lp, back.data(), head2.data(), &len), 0);
  EXPECT_EQ(head2, head);
  EXPECT_EQ(back, norm);
  // A head entry that is not basic is refused.
  std::vector<int> bad(head);
  int nonbasic = -1;
  for (int j = 0; j < n && nonbasic < 0; ++j)
    if (cstat[j] != 1) nonbasic = j;
  ASSERT_GE(nonbasic, 0);
  bad[0] = nonbasic;
  EXPECT_EQ(VNTcopydnorms(env, lp, norm.data(), bad.data(), m), 1251);

  // Killed weights are recomputed by the next solve from the same basis.
  ASSERT_EQ(VNTkilldnorms(env, lp), 0);
  EXPECT_EQ(VNTgetdnorms(env, lp, back.data(), head2.data(), &len), 1264);
  ASSERT_EQ(VNTcopybase(env, lp, cstat.data(), rstat.data()), 0);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetdnorms(env, lp, back.data(), head2.data(), &len), 0);
  int sevens = 0;
  for (double w : back) sevens += w == 7.0;
  EXPECT_LT(sevens, m);
}

TEST_P(Restart, PrimalWeightsRoundTrip) {
  read("netlib", GetParam());
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<double> c(n), r(m);
  int len = 0;
  ASSERT_EQ(VNTgetpnorms(env, lp, c.data(), r.data(), &len), 0);
  EXPECT_EQ(len, n);
  for (int j = 0; j < n; ++j) c[j] = 1.0 + j % 5;
  for (int i = 0; i < m; ++i) r[i] = 2.0 + i % 3;
  ASSERT_EQ(VNTcopypnorms(env, lp, c.data(), r.data(), n), 0);
  std::vector<double> c2(n), r2(m);
  ASSERT_EQ(VNTgetpnorms(env, lp, c2.data(), r2.data(), &len), 0);
  EXPECT_EQ(c2, c);
  EXPECT_EQ(r2, r);
  EXPECT_EQ(VNTcopypnorms(env, lp, c.data(), r.data(), n - 1), 1207);
  ASSERT_EQ(VNTkillpnorms(env, lp), 0);
  ASSERT_EQ(VNTgetpnorms(env, lp, c2.data(), r2.data(), &len), 0);
  for (double w : c2) EXPECT_EQ(w, 1.0);
  // The solve from the optimal basis with the given weights stays optimal.
  ASSERT_EQ(VNTcopypnorms(env, lp, c.data(), r.data(), n), 0);
  ASSERT_EQ(VNTprimopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
}

// Starts from solution values: the basis derived from the optimal primal and
// dual values leads back to the optimum in at most a third of the iterations
// of a cold solve.  Also on the same model stated as a maximization (negated
// objective), where the signs of the duals read the other way.
class StartFromValues : public Solved, public ::testing::WithParamInterface<std::tuple<std::string, bool>> {
 protected:
  void load(VNTLPptr p) {
    const auto& [name, maximize] = GetParam();
    ASSERT_EQ(VNTreadcopyprob(env, p, vnt::test::modelPath("netlib", name).c_str(), nullptr), 0);
    if (!maximize) return;
    const int n = VNTgetnumcols(env, p);
    std::vector<double> c(n);
    std::vector<int> idx(n);
    ASSERT_EQ(VNTgetobj(env, p, c.data(), 0, n - 1), 0);
    for (int j = 0; j < n; ++j) c[j] = -c[j], idx[j] = j;
    ASSERT_EQ(VNTchgobj(env, p, n, idx.data(), c.data()), 0);
    ASSERT_EQ(VNTchgobjsen(env, p, -1), 0);
  }
};

TEST_P(StartFromValues, LeadBackToTheOptimum) {
  load(lp);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  const double obj = optimum();
  const long long cold = VNTgetitcnt(env, lp);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<double> x(n), pi(m), slack(m), dj(n);
  ASSERT_EQ(VNTsolution(env, lp, nullptr, nullptr, x.data(), pi.data(), slack.data(), dj.data()), 0);
  std::vector<int> cstat(n), rstat(m);
  ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);

  struct Case {
    const char* what;
    bool basis, primal, dual;
  } cases[] = {{"basis", true, false, false}, {"primal and dual", false, true, true},
               {"primal", false, true, false}, {"dual", false, false, true}};
  for (const Case& c : cases) {
    VNTLPptr q = VNTcreateprob(env, nullptr, "start");
    ASSERT_NE(q, nullptr);
    load(q);
    ASSERT_EQ(VNTcopystart(env, q, c.basis ? cstat.data() : nullptr, c.basis ? rstat.data() : nullptr,
                           c.primal ? x.data() : nullptr, c.primal ? slack.data() : nullptr,
                           c.dual ? dj.data() : nullptr, c.dual ? pi.data() : nullptr),
              0)
        << c.what;
    ASSERT_EQ(VNTdualopt(env, q), 0);
    EXPECT_EQ(VNTgetstat(env, q), 1) << c.what;
    double v = NAN;
    ASSERT_EQ(VNTgetobjval(env, q, &v), 0);
    EXPECT_TRUE(objectiveMatches(v, obj, 1e-7)) << c.what << " " << v << " vs " << obj;
    const long long it = VNTgetitcnt(env, q);
    if (c.basis) {
      EXPECT_EQ(it, 0) << c.what;
    }
    if (c.primal && c.dual) {
      EXPECT_LE(it, std::max(5LL, cold / 3)) << c.what << " cold " << cold;
    }
    VNTfreeprob(env, &q);
  }
  EXPECT_EQ(VNTcopystart(env, lp, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1004);
}

// A NaN in a start value or a weight is refused with the data error (1225)
// and leaves the saved basis and weights as they were.
TEST_F(LpFixtureTest, StartsAndWeightsRefuseNaN) {
  read("netlib", "afiro");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<int> cstat(n), rstat(m), head(m);
  std::vector<double> x(n), pi(m), slack(m), dj(n), dnorm(m);
  ASSERT_EQ(VNTsolution(env, lp, nullptr, nullptr, x.data(), pi.data(), slack.data(), dj.data()), 0);
  ASSERT_EQ(VNTgetbasednorms(env, lp, cstat.data(), rstat.data(), dnorm.data()), 0);
  const double nan = std::nan("");
  for (int which = 0; which < 4; ++which) {
    std::vector<double> cp(x), rp(slack), cd(dj), rd(pi);
    (which == 0 ? cp[n / 2] : which == 1 ? rp[m / 2] : which == 2 ? cd[0] : rd[m - 1]) = nan;
    EXPECT_EQ(VNTcopystart(env, lp, nullptr, nullptr, cp.data(), rp.data(), cd.data(), rd.data()), 1225) << which;
    EXPECT_EQ(VNTcopystart(env, lp, cstat.data(), rstat.data(), cp.data(), rp.data(), cd.data(), rd.data()), 1225)
        << which;
  }
  std::vector<double> badNorm(dnorm);
  badNorm[m / 3] = nan;
  EXPECT_EQ(VNTcopybasednorms(env, lp, cstat.data(), rstat.data(), badNorm.data()), 1225);
  std::vector<double> norm(m);
  int len = 0;
  ASSERT_EQ(VNTgetdnorms(env, lp, norm.data(), head.data(), &len), 0);
  std::vector<double> saved(norm);
  norm[m - 1] = nan;
  EXPECT_EQ(VNTcopydnorms(env, lp, norm.data(), head.data(), m), 1225);
  norm[m - 1] = -1.0;  // not a weight, but a number: a bad argument
  EXPECT_EQ(VNTcopydnorms(env, lp, norm.data(), head.data(), m), 1003);
  std::vector<double> c(n, 1.0), r(m, 1.0);
  c[1] = nan;
  EXPECT_EQ(VNTcopypnorms(env, lp, c.data(), r.data(), n), 1225);
  c[1] = 1.0;
  r[0] = nan;
  EXPECT_EQ(VNTcopypnorms(env, lp, c.data(), r.data(), n), 1225);
  // Nothing was installed: the weights are those of the solve, and a
  // re-solve from the kept basis needs no iteration.
  ASSERT_EQ(VNTgetdnorms(env, lp, norm.data(), head.data(), &len), 0);
  EXPECT_EQ(norm, saved);
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_EQ(VNTgetitcnt(env, lp), 0);
}

INSTANTIATE_TEST_SUITE_P(Netlib, Restart, ::testing::Values("afiro", "sc50a", "share2b", "israel", "boeing1"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
INSTANTIATE_TEST_SUITE_P(Netlib, StartFromValues,
                         ::testing::Combine(::testing::Values("afiro", "sc50a", "share2b", "israel", "boeing1"),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<std::string, bool>>& i) {
                           return std::get<0>(i.param) + (std::get<1>(i.param) ? "_max" : "_min");
                         });

// Certificates need the matching status.
TEST_F(LpFixtureTest, CertificatesNeedTheirStatus) {
  double y[64], proof = 0;
  EXPECT_EQ(VNTgetray(env, lp, y), 1217);
  read("netlib", "afiro");
  ASSERT_EQ(VNTdualopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  std::vector<double> buf(VNTgetnumcols(env, lp) + VNTgetnumrows(env, lp));
  EXPECT_EQ(VNTgetray(env, lp, buf.data()), 1254);
  EXPECT_EQ(VNTdualfarkas(env, lp, buf.data(), &proof), 1265);
}

// ---------------------------------------------------------------------------
// Unbounded LPs: the ray keeps every bound and row limit that binds along it
// and improves the objective.

struct SmallLp {
  int n = 0, m = 0, sense = 1;
  std::vector<double> obj, lb, ub, rhs, rng;
  std::vector<char> sen;
  std::vector<int> beg, cnt, ind;
  std::vector<double> val;
};

// Checks d against the recession cone of the feasible set and the objective.
void expectImprovingRay(const SmallLp& p, const std::vector<double>& d, const std::string& what) {
  double dmax = 0;
  for (double v : d) dmax = std::max(dmax, std::fabs(v));
  ASSERT_GT(dmax, 0.0) << what;
  const double tol = 1e-9 * dmax;
  double cd = 0;
  for (int j = 0; j < p.n; ++j) {
    if (p.lb[j] > -1e20) {
      EXPECT_GE(d[j], -tol) << what << " column " << j;
    }
    if (p.ub[j] < 1e20) {
      EXPECT_LE(d[j], tol) << what << " column " << j;
    }
    cd += p.obj[j] * d[j];
  }
  std::vector<double> ad(p.m, 0.0);
  for (int j = 0; j < p.n; ++j)
    for (int k = p.beg[j]; k < p.beg[j] + p.cnt[j]; ++k) ad[p.ind[k]] += p.val[k] * d[j];
  for (int i = 0; i < p.m; ++i) {
    const char s = p.sen[i];
    if (s == 'L' || s == 'E' || s == 'R') {
      EXPECT_LE(ad[i], tol * 10) << what << " row " << i;
    }
    if (s == 'G' || s == 'E' || s == 'R') {
      EXPECT_GE(ad[i], -tol * 10) << what << " row " << i;
    }
  }
  EXPECT_LT(p.sense * cd, -1e-9 * dmax) << what;
}

TEST_F(LpFixtureTest, RaysOfUnboundedLps) {
  // Rays come from the simplex on the model itself: presolve would settle
  // some of these models without one.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> coef(-3, 3);
  int unbounded = 0;
  for (int trial = 0; trial < 60; ++trial) {
    SmallLp p;
    p.n = 4 + trial % 5;
    p.m = 3 + trial % 4;
    p.sense = trial % 2 ? -1 : 1;
    for (int j = 0; j < p.n; ++j) {
      p.obj.push_back(coef(rng));
      const int kind = trial % 3 == 2 ? rng() % 3 : 0;  // some free and upper-bounded columns
      p.lb.push_back(kind == 1 ? -1e20 : 0.0);
      p.ub.push_back(kind == 2 ? 5.0 : 1e20);
      p.beg.push_back(static_cast<int>(p.ind.size()));
      int c = 0;
      for (int i = 0; i < p.m; ++i) {
        int a = coef(rng);
        if (a == 0) continue;
        p.ind.push_back(i);
        p.val.push_back(a);
        ++c;
      }
      p.cnt.push_back(c);
    }
    for (int i = 0; i < p.m; ++i) {
      p.rhs.push_back(1 + rng() % 5);
      p.sen.push_back("LGLE"[rng() % 4]);
      p.rng.push_back(0.0);
    }
    ASSERT_EQ(VNTcopylp(env, lp, p.n, p.m, p.sense, p.obj.data(), p.rhs.data(), p.sen.data(), p.beg.data(),
                        p.cnt.data(), p.ind.data(), p.val.data(), p.lb.data(), p.ub.data(), p.rng.data()),
              0);
    for (int method : {1, 2}) {
      ASSERT_EQ(method == 1 ? VNTprimopt(env, lp) : VNTdualopt(env, lp), 0);
      if (VNTgetstat(env, lp) != 2) continue;
      std::vector<double> d(p.n);
      ASSERT_EQ(VNTgetray(env, lp, d.data()), 0) << trial;
      expectImprovingRay(p, d, "trial " + std::to_string(trial) + " method " + std::to_string(method));
      ++unbounded;
    }
  }
  EXPECT_GE(unbounded, 10);
}

// ---------------------------------------------------------------------------
// Infeasible models: every certificate the dual simplex returns separates the
// interval of y^T A x over the column bounds from the interval of y^T r over
// the row limits, computed here from the model data alone.

std::vector<std::string> infeasibleModels() {
  std::vector<std::string> out;
  for (const auto& [name, ref] : vnt::test::referenceRows())
    if (ref.set == "infeas") out.push_back(name);
  return out;
}

class Farkas : public vnt::test::LpFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(Farkas, CertificateProvesInfeasibility) {
  for (int method : {2, 1}) {
    SCOPED_TRACE(method == 1 ? "primal" : "dual");
    // Every infeasible answer comes with a certificate, whichever simplex
    // found the infeasibility: the dual's ray, or the primal's phase 1 duals.
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
    read("infeas", GetParam());
    ASSERT_EQ(method == 1 ? VNTprimopt(env, lp) : VNTdualopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 3) << GetParam();
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> y(m);
    double proof = NAN;
    const int st = VNTdualfarkas(env, lp, y.data(), &proof);
    ASSERT_EQ(st, 0) << GetParam();
    const Matrix a = matrix();
    std::vector<double> lb(n), ub(n), rhs(m), rng(m);
    std::vector<char> sense(m);
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetrngval(env, lp, rng.data(), 0, m - 1), 0);
    long double axUp = 0, rowLo = 0, scale = 0;
    bool infinite = false;
    std::vector<long double> zs(n, 0);
    std::vector<double> mag(n, 0.0);
    double ymax = 0;
    for (int j = 0; j < n; ++j)
      for (int k = a.beg[j]; k < a.beg[j + 1]; ++k) {
        zs[j] += static_cast<long double>(y[a.ind[k]]) * a.val[k];
        mag[j] += std::fabs(y[a.ind[k]] * a.val[k]);
      }
    for (double t : y) ymax = std::max(ymax, std::fabs(t));
    for (int j = 0; j < n; ++j) {
      const long double z = zs[j];
      // An entry far below the terms it sums is cancellation noise of a zero.
      if (std::fabs(static_cast<double>(z)) <= 1e-10 * mag[j]) continue;
      const double b = z > 0 ? ub[j] : lb[j];
      if (std::fabs(b) >= 1e20) infinite = true;
      else axUp += z * b, scale += std::fabs(static_cast<double>(z * b));
    }
    for (int i = 0; i < m; ++i) {
      if (std::fabs(y[i]) <= 1e-10 * ymax) continue;
      const auto [lo, up] = vnt::test::rowInterval(sense[i], rhs[i], rng[i]);
      const double b = y[i] > 0 ? lo : up;
      if (std::fabs(b) >= 1e20) infinite = true;
      else rowLo += y[i] * b, scale += std::fabs(y[i] * b);
    }
    // max over the box of y^T A x lies below min over the row limits of y^T r.
    ASSERT_FALSE(infinite) << GetParam();
    const double gap = static_cast<double>(rowLo - axUp);
    EXPECT_GT(gap, 1e-9 * (1.0 + static_cast<double>(scale))) << GetParam();
    EXPECT_NEAR(proof, gap, 1e-6 * (1.0 + std::fabs(gap) + static_cast<double>(scale))) << GetParam();
  }
}

INSTANTIATE_TEST_SUITE_P(Infeas, Farkas, ::testing::ValuesIn(infeasibleModels()),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           std::string s = i.param;
                           for (char& c : s)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return s;
                         });

}  // namespace
