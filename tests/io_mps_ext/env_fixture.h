// Environment fixture of the MPS extension tests: error and warning
// channels captured, problems freed at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vanto/vanto.h"

namespace vnt::test {

struct Lines {
  std::vector<std::string> lines;
  static void fn(void* h, const char* m) { static_cast<Lines*>(h)->lines.emplace_back(m); }
  std::string all() const {
    std::string s;
    for (auto& l : lines) s += l;
    return s;
  }
};

class EnvFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    VNTCHANNELptr res, warn, err, logc;
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &logc), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Lines::fn), 0);
    ASSERT_EQ(VNTaddfuncdest(env, warn, &warnings, Lines::fn), 0);
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
  Lines errors, warnings;
};

}  // namespace vnt::test
