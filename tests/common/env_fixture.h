// Base of the test fixtures that work on one environment: opens it, sends the
// chosen output channels to captured sinks, and closes it at the end (after
// the derived fixture has freed its own problems).
#pragma once

#include <gtest/gtest.h>

#include "common/capture.h"
#include "vanto/vanto.h"

namespace vnt::test {

template <class Sink = Capture>
class EnvTest : public ::testing::Test {
 protected:
  enum Channels : unsigned { kResults = 1, kWarnings = 2, kErrors = 4, kLog = 8 };

  // Opens the environment; `channels` (a set of Channels) chooses the
  // channels captured in results, warnings, errors and logLines.
  void openEnv(unsigned channels) {
    int st = 0;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr) << "status " << st;
    VNTCHANNELptr ch[4] = {};
    ASSERT_EQ(VNTgetchannels(env, &ch[0], &ch[1], &ch[2], &ch[3]), 0);
    Sink* sinks[4] = {&results, &warnings, &errors, &logLines};
    for (unsigned k = 0; k < 4; ++k) {
      if (channels >> k & 1u) {
        ASSERT_EQ(VNTaddfuncdest(env, ch[k], sinks[k], Sink::fn), 0);
      }
    }
  }
  void TearDown() override { VNTcloseVANTO(&env); }

  VNTENVptr env = nullptr;
  Sink results, warnings, errors, logLines;
};

}  // namespace vnt::test
