// The environment, problem and captured channels that the MIP tests share.
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

class MipFixture : public EnvTest<TextCapture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kWarnings | kErrors));
    int st = 0;
    lp = VNTcreateprob(env, &st, "mip");
    ASSERT_NE(lp, nullptr);
    // No run may hang.
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    EnvTest::TearDown();
  }
  void read(const std::string& name) {
    ASSERT_EQ(VNTreadcopyprob(env, lp, modelPath("miplib3", name).c_str(), nullptr), 0) << name;
  }
  // The incumbent (or the solution the problem holds), one value per column.
  std::vector<double> incumbent() {
    const int n = VNTgetnumcols(env, lp);
    std::vector<double> x(n);
    EXPECT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
    return x;
  }

  // The incumbent against the model, computed here: bounds, integrality and
  // row activities.
  void expectFeasible(const std::vector<double>& x) {
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<double> lb(n), ub(n), rhs(m), rng(m, 0.0);
    std::vector<char> ctype(n), sense(m);
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetctype(env, lp, ctype.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
    VNTgetrngval(env, lp, rng.data(), 0, m - 1);
    for (int j = 0; j < n; ++j) {
      EXPECT_GE(x[j], lb[j] - 1e-6) << j;
      EXPECT_LE(x[j], ub[j] + 1e-6) << j;
      if (ctype[j] == 'I' || ctype[j] == 'B') {
        EXPECT_NEAR(x[j], std::round(x[j]), 1e-5) << j;
      }
    }
    std::vector<double> slack(m);
    ASSERT_EQ(VNTgetslack(env, lp, slack.data(), 0, m - 1), 0);
    for (int i = 0; i < m; ++i) {
      int nz = 0, beg = 0, surplus = 0;
      std::vector<int> ind(n);
      std::vector<double> val(n);
      ASSERT_EQ(VNTgetrows(env, lp, &nz, &beg, ind.data(), val.data(), n, &surplus, i, i), 0);
      double a = 0;
      for (int k = 0; k < nz; ++k) a += val[k] * x[ind[k]];
      const double t = 1e-5 * std::max(1.0, std::fabs(rhs[i]));
      EXPECT_NEAR(slack[i], rhs[i] - a, t) << "row " << i;
      if (sense[i] == 'L') {
        EXPECT_LE(a, rhs[i] + t) << "row " << i;
      } else if (sense[i] == 'G') {
        EXPECT_GE(a, rhs[i] - t) << "row " << i;
      } else if (sense[i] == 'E') {
        EXPECT_NEAR(a, rhs[i], t) << "row " << i;
      }
    }
  }

  VNTLPptr lp = nullptr;
};

}  // namespace vnt::test
