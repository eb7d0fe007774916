// Environment fixture of the MPS extension tests: error and warning
// channels captured, problems freed at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/capture.h"
#include "vanto/vanto.h"

namespace vnt::test {

class EnvFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    VNTCHANNELptr res, warn, err, logc;
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &logc), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Capture::fn), 0);
    ASSERT_EQ(VNTaddfuncdest(env, warn, &warnings, Capture::fn), 0);
  }
  void TearDown() override { EXPECT_EQ(VNTcloseVANTO(&env), 0); }

  VNTLPptr newProb(const char* name) {
    int st = -1;
    VNTLPptr p = VNTcreateprob(env, &st, name);
    EXPECT_EQ(st, 0);
    return p;
  }
  void freeProb(VNTLPptr p) { EXPECT_EQ(VNTfreeprob(env, &p), 0); }

  VNTENVptr env = nullptr;
  Capture errors, warnings;
};

}  // namespace vnt::test
