// The environment, problem and captured channels that the MIP tests share.
#pragma once

#include <gtest/gtest.h>

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

  VNTLPptr lp = nullptr;
};

}  // namespace vnt::test
