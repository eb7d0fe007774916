// Fixture of the presolve tests: an environment with captured channels, a
// problem, small models built in code, and an independent check of a
// solution against the problem's own data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "common/models.h"
#include "vanto/vanto.h"

namespace vnt::test {

using Lines = Capture;

// Worst violations of a solution, in the model's own terms.
struct Quality {
  double primal = 0.0;  // bounds and row limits (row limits relative to max(1,|rhs|))
  double dual = 0.0;    // reduced-cost and dual signs at the basis statuses
  double slackness = 0.0;  // nonbasic variables off their bound, basic ones with nonzero reduced cost
};

class PresolveTest : public EnvTest<Capture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kErrors | kLog));
    int st = 0;
    lp = VNTcreateprob(env, &st, "test");
    ASSERT_NE(lp, nullptr);
    // Engine-level runs stop in seconds should a solve cycle.
    ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 200000), 0);
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    EnvTest::TearDown();
  }
  void read(const std::string& set, const std::string& name) {
    ASSERT_EQ(VNTreadcopyprob(env, lp, modelPath(set, name).c_str(), nullptr), 0) << name;
  }
  void clearLines() {
    results.lines.clear();
    errors.lines.clear();
    logLines.lines.clear();
  }

  // Check the problem's LP solution record: primal feasibility, dual
  // feasibility for the basis statuses, and complementary slackness of the
  // returned basis, all from the model data.
  Quality quality(VNTLPptr p) {
    Quality q;
    const int n = VNTgetnumcols(env, p), m = VNTgetnumrows(env, p);
    std::vector<double> x(n), dj(n), pi(m), slack(m), lb(n), ub(n), obj(n), rhs(m), rng(m);
    std::vector<char> sense(m);
    std::vector<int> cstat(n), rstat(m);
    EXPECT_EQ(VNTgetx(env, p, x.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetdj(env, p, dj.data(), 0, n - 1), 0);
    if (m > 0) {
      EXPECT_EQ(VNTgetpi(env, p, pi.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetslack(env, p, slack.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetrhs(env, p, rhs.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetsense(env, p, sense.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetrngval(env, p, rng.data(), 0, m - 1), 0);
    }
    EXPECT_EQ(VNTgetlb(env, p, lb.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetub(env, p, ub.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetobj(env, p, obj.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetbase(env, p, cstat.data(), rstat.data()), 0);
    const int sen = VNTgetobjsen(env, p);
    const int nz = VNTgetnumnz(env, p);
    int got = 0, surplus = 0;
    std::vector<int> beg(n + 1), ind(std::max(nz, 1));
    std::vector<double> val(std::max(nz, 1));
    if (n > 0) {
      EXPECT_EQ(VNTgetcols(env, p, &got, beg.data(), ind.data(), val.data(), nz, &surplus, 0, n - 1), 0);
    }
    beg[n] = got;
    std::vector<double> ax(m, 0.0), atpi(n, 0.0);
    for (int j = 0; j < n; ++j)
      for (int k = beg[j]; k < beg[j + 1]; ++k) {
        ax[ind[k]] += val[k] * x[j];
        atpi[j] += val[k] * pi[ind[k]];
      }
    int basics = 0;
    for (int j = 0; j < n; ++j) {
      const double scale = std::max(1.0, std::fabs(x[j]));
      q.primal = std::max({q.primal, (lb[j] - x[j]) / scale, (x[j] - ub[j]) / scale});
      const double d = sen * (obj[j] - atpi[j]);  // minimization sign
      EXPECT_NEAR(obj[j] - atpi[j], dj[j], 1e-6 * std::max(1.0, std::fabs(obj[j])));
      if (cstat[j] == 1) {
        ++basics;
        q.slackness = std::max(q.slackness, std::fabs(d));
      } else if (cstat[j] == 0) {
        q.slackness = std::max(q.slackness, std::fabs(x[j] - lb[j]) / scale);
        if (lb[j] != ub[j]) q.dual = std::max(q.dual, -d);
      } else if (cstat[j] == 2) {
        q.slackness = std::max(q.slackness, std::fabs(x[j] - ub[j]) / scale);
        if (lb[j] != ub[j]) q.dual = std::max(q.dual, d);
      } else {
        q.dual = std::max(q.dual, std::fabs(d));
      }
    }
    for (int i = 0; i < m; ++i) {
      double lo, up;
      switch (sense[i]) {
        case 'L': lo = -1e30; up = rhs[i]; break;
        case 'G': lo = rhs[i]; up = 1e30; break;
        case 'E': lo = up = rhs[i]; break;
        default:
          lo = rng[i] >= 0 ? rhs[i] : rhs[i] + rng[i];
          up = rng[i] >= 0 ? rhs[i] + rng[i] : rhs[i];
      }
      const double scale = std::max(1.0, std::fabs(rhs[i]));
      q.primal = std::max({q.primal, (lo - ax[i]) / scale, (ax[i] - up) / scale});
      const double ps = sen * pi[i];
      if (rstat[i] == 1) {
        ++basics;
        q.slackness = std::max(q.slackness, std::fabs(ps));
      } else {
        // Nonbasic: the row sits at a limit and its dual has that limit's sign.
        const bool atLo = ax[i] <= lo + 1e-6 * scale, atUp = ax[i] >= up - 1e-6 * scale;
        if (!atLo && !atUp) q.slackness = std::max(q.slackness, std::min(std::fabs(ax[i] - lo), std::fabs(ax[i] - up)) / scale);
        if (!atUp) q.dual = std::max(q.dual, -ps);
        if (!atLo) q.dual = std::max(q.dual, ps);
      }
    }
    EXPECT_EQ(basics, m) << "basis size";
    return q;
  }

  // An unbounded answer: a finite point within the bounds and row limits,
  // and a ray d with A d within the rows' recession cone, d within the
  // bounds' recession cone and a cost that improves along it.
  void expectPointAndRay() {
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> x(n), ray(n), lb(n), ub(n), obj(n), rhs(m), rng(m);
    std::vector<char> sense(m);
    ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0) << "no point with the unbounded status";
    ASSERT_EQ(VNTgetray(env, lp, ray.data()), 0) << "no ray with the unbounded status";
    EXPECT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    EXPECT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    if (m > 0) {
      EXPECT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
      EXPECT_EQ(VNTgetrngval(env, lp, rng.data(), 0, m - 1), 0);
    }
    const int nz = VNTgetnumnz(env, lp);
    int got = 0, surplus = 0;
    std::vector<int> beg(n + 1), ind(std::max(nz, 1));
    std::vector<double> val(std::max(nz, 1));
    if (n > 0) {
      EXPECT_EQ(VNTgetcols(env, lp, &got, beg.data(), ind.data(), val.data(), nz, &surplus, 0, n - 1), 0);
    }
    beg[n] = got;
    std::vector<double> ax(m, 0.0), ad(m, 0.0), mag(m, 0.0);
    double dmax = 0.0, cd = 0.0, cmag = 0.0;
    for (int j = 0; j < n; ++j) {
      ASSERT_TRUE(std::isfinite(x[j]) && std::isfinite(ray[j])) << "column " << j;
      const double scale = std::max(1.0, std::fabs(x[j]));
      EXPECT_GE(x[j], lb[j] - 1e-6 * scale) << "column " << j;
      EXPECT_LE(x[j], ub[j] + 1e-6 * scale) << "column " << j;
      dmax = std::max(dmax, std::fabs(ray[j]));
      cd += obj[j] * ray[j];
      cmag = std::max(cmag, std::fabs(obj[j] * ray[j]));
      for (int k = beg[j]; k < beg[j + 1]; ++k) {
        ax[ind[k]] += val[k] * x[j];
        ad[ind[k]] += val[k] * ray[j];
        mag[ind[k]] = std::max(mag[ind[k]], std::fabs(val[k] * ray[j]));
      }
    }
    ASSERT_GT(dmax, 0.0) << "zero ray";
    for (int j = 0; j < n; ++j) {
      if (lb[j] > -1e20) {
        EXPECT_GE(ray[j], -1e-9 * dmax) << "ray leaves the lower bound of column " << j;
      }
      if (ub[j] < 1e20) {
        EXPECT_LE(ray[j], 1e-9 * dmax) << "ray leaves the upper bound of column " << j;
      }
    }
    for (int i = 0; i < m; ++i) {
      const double lo = sense[i] == 'L' ? -1e30 : sense[i] == 'R' ? std::min(rhs[i], rhs[i] + rng[i]) : rhs[i];
      const double up = sense[i] == 'G' ? 1e30 : sense[i] == 'R' ? std::max(rhs[i], rhs[i] + rng[i]) : rhs[i];
      const double scale = std::max(1.0, std::fabs(rhs[i]));
      EXPECT_GE(ax[i], lo - 1e-6 * scale) << "row " << i;
      EXPECT_LE(ax[i], up + 1e-6 * scale) << "row " << i;
      const double rt = 1e-8 * mag[i] + 1e-12 * dmax;
      if (up < 1e20) {
        EXPECT_LE(ad[i], rt) << "ray leaves the upper limit of row " << i;
      }
      if (lo > -1e20) {
        EXPECT_GE(ad[i], -rt) << "ray leaves the lower limit of row " << i;
      }
    }
    EXPECT_LT(VNTgetobjsen(env, lp) * cd, -1e-9 * std::max(cmag, dmax)) << "the ray does not improve the objective";
  }


 public:
  // A row of a model given row-wise: (column, value) pairs.
  struct Row {
    char sense;
    double rhs;
    std::vector<std::pair<int, double>> terms;
    double rng = 0.0;
  };

 protected:
  void load(int objsen, const std::vector<double>& obj, const std::vector<double>& lb,
            const std::vector<double>& ub, const std::vector<Row>& rows) {
    const int n = static_cast<int>(obj.size()), m = static_cast<int>(rows.size());
    std::vector<std::vector<std::pair<int, double>>> cols(n);
    std::vector<double> rhs, rng;
    std::vector<char> sense;
    for (int i = 0; i < m; ++i) {
      for (auto [j, v] : rows[i].terms) cols[j].push_back({i, v});
      rhs.push_back(rows[i].rhs);
      sense.push_back(rows[i].sense);
      rng.push_back(rows[i].rng);
    }
    std::vector<int> beg, cnt, ind;
    std::vector<double> val;
    for (int j = 0; j < n; ++j) {
      beg.push_back(static_cast<int>(ind.size()));
      cnt.push_back(static_cast<int>(cols[j].size()));
      for (auto [i, v] : cols[j]) {
        ind.push_back(i);
        val.push_back(v);
      }
    }
    ind.push_back(0);
    val.push_back(0.0);
    ASSERT_EQ(VNTcopylp(env, lp, n, m, objsen, obj.data(), rhs.data(), sense.data(), beg.data(), cnt.data(),
                        ind.data(), val.data(), lb.data(), ub.data(), rng.data()),
              0);
  }

  VNTLPptr lp = nullptr;
};

}  // namespace vnt::test
