// The environment, problem and captured channels that the MIP tests share.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/models.h"
#include "vanto/vanto.h"

namespace vnt::test {

// The text a channel receives, in one string.
struct TextCapture {
  std::string text;
  static void fn(void* h, const char* m) { static_cast<TextCapture*>(h)->text += m; }
};

class MipFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = 0;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    VNTCHANNELptr res, warn, err, log;
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
    VNTaddfuncdest(env, res, &results, TextCapture::fn);
    VNTaddfuncdest(env, warn, &warnings, TextCapture::fn);
    VNTaddfuncdest(env, err, &errors, TextCapture::fn);
    lp = VNTcreateprob(env, &st, "mip");
    ASSERT_NE(lp, nullptr);
    // No run may hang.
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    VNTcloseVANTO(&env);
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

  VNTENVptr env = nullptr;
  VNTLPptr lp = nullptr;
  TextCapture results, warnings, errors;
};

}  // namespace vnt::test
