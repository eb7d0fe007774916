// Fixture of the LP interface tests: an environment with captured output
// channels, one problem, model reading and the model's matrix column-wise.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "common/models.h"
#include "vanto/vanto.h"

namespace vnt::test {

struct Matrix {
  int m = 0, n = 0;
  std::vector<int> beg, ind;  // beg has n + 1 entries
  std::vector<double> val;
};

class LpFixture : public EnvTest<Capture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kErrors | kLog));
    int st = 0;
    lp = VNTcreateprob(env, &st, "test");
    ASSERT_NE(lp, nullptr);
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    EnvTest::TearDown();
  }
  void read(const std::string& set, const std::string& name) {
    ASSERT_EQ(VNTreadcopyprob(env, lp, modelPath(set, name).c_str(), nullptr), 0) << name;
  }
  Matrix matrix() const {
    Matrix a;
    a.n = VNTgetnumcols(env, lp);
    a.m = VNTgetnumrows(env, lp);
    const int nz = VNTgetnumnz(env, lp);
    int got = 0, surplus = 0;
    a.beg.assign(a.n + 1, 0);
    a.ind.assign(std::max(nz, 1), 0);
    a.val.assign(std::max(nz, 1), 0.0);
    if (a.n > 0) {
      EXPECT_EQ(VNTgetcols(env, lp, &got, a.beg.data(), a.ind.data(), a.val.data(), nz, &surplus, 0,
                           a.n - 1),
                0);
    }
    a.beg[a.n] = got;
    return a;
  }

  VNTLPptr lp = nullptr;
};

}  // namespace vnt::test

using LpFixtureTest = vnt::test::LpFixture;
using vnt::test::Matrix;
