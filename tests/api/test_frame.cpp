// The exported frame: null handles, missing operations, status reporting and
// message delivery through channels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vanto/vanto.h"

namespace {

struct Capture {
  std::vector<std::string> lines;
  static void fn(void* h, const char* m) { static_cast<Capture*>(h)->lines.emplace_back(m); }
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(st, 0);
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Capture::fn), 0);
  }
  void TearDown() override { EXPECT_EQ(VNTcloseVANTO(&env), 0); }
  VNTENVptr env = nullptr;
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, log = nullptr;
  Capture errors;
};

TEST(FrameNull, NullEnvironmentShapes) {
  EXPECT_EQ(VNTgetnumrows(nullptr, nullptr), 0);
  EXPECT_EQ(VNTfreeprob(nullptr, nullptr), 1002);
  int st = 0;
  EXPECT_EQ(VNTcreateprob(nullptr, &st, "x"), nullptr);
  EXPECT_EQ(st, 1002);
  EXPECT_EQ(VNTcreateprob(nullptr, nullptr, "x"), nullptr);
  EXPECT_EQ(VNTcloseVANTO(nullptr), 0);
  VNTENVptr nullenv = nullptr;
  EXPECT_EQ(VNTcloseVANTO(&nullenv), 0);
  int v = 0;
  EXPECT_EQ(VNTversionnumber(nullptr, &v), 0);
  EXPECT_EQ(v, 22010100);
  EXPECT_EQ(VNTversion(nullptr), nullptr);
}

TEST(FrameNull, ErrorStringWithoutEnvironment) {
  char buf[1024] = "untouched";
  ASSERT_EQ(VNTgeterrorstring(nullptr, 1001, buf), buf);
  EXPECT_STREQ(buf, "VANTO Error  1001: Out of memory.\n");
  EXPECT_EQ(VNTgeterrorstring(nullptr, 99999, buf), nullptr);
  EXPECT_STREQ(buf, "VANTO Error 99999: Unknown error code.\n");
  strcpy(buf, "untouched");
  EXPECT_EQ(VNTgeterrorstring(nullptr, 0, buf), nullptr);
  EXPECT_EQ(VNTgeterrorstring(nullptr, 100000, buf), nullptr);
  EXPECT_STREQ(buf, "untouched");
  EXPECT_EQ(VNTgeterrorstring(nullptr, 1201, buf), buf);
  EXPECT_STREQ(buf, "VANTO Error  1201: Column index %lld out of range.\n");
}

TEST_F(Frame, BadProblemHandleIsReportedOnce) {
  int junk[16] = {};
  EXPECT_EQ(VNTSgetnumrows(env, reinterpret_cast<VNTCLPptr>(junk)), 0);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1009: No problem exists.\n");
}

TEST_F(Frame, ProblemOfAnotherEnvironmentIs1806) {
  int st = 0;
  VNTENVptr other = VNTopenVANTO(&st);
  VNTLPptr lp = VNTcreateprob(other, &st, "p");
  ASSERT_NE(lp, nullptr);
  EXPECT_EQ(VNTgetnumcols(env, lp), 0);
  EXPECT_EQ(errors.lines.back(), "VANTO Error  1806: Problem is not member of this environment.\n");
  EXPECT_EQ(VNTcloseVANTO(&other), 0);  // frees the problem it still owns
}

TEST_F(Frame, LineBufferingJoinsPieces) {
  Capture out;
  ASSERT_EQ(VNTaddfuncdest(env, res, &out, Capture::fn), 0);
  EXPECT_EQ(VNTmsgstr(res, "abc"), 3);
  EXPECT_TRUE(out.lines.empty());
  VNTmsgstr(res, "def\n");
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(out.lines[0], "abcdef\n");
  VNTmsgstr(res, "tail");
  VNTmsgstr(res, "");
  ASSERT_EQ(out.lines.size(), 2u);
  EXPECT_EQ(out.lines[1], "tail");
  std::string big(5000, 'x');
  VNTmsgstr(res, big.c_str());
  VNTflushchannel(env, res);
  size_t total = 0;
  for (size_t i = 2; i < out.lines.size(); ++i) {
    EXPECT_LE(out.lines[i].size(), 4095u);
    total += out.lines[i].size();
  }
  EXPECT_EQ(total, 5000u);
  EXPECT_EQ(VNTdelfuncdest(env, res, &out, Capture::fn), 0);
  EXPECT_EQ(VNTdelfuncdest(env, res, &out, Capture::fn), 1053);
}

TEST_F(Frame, WideFlavoursShareOneEnvironment) {
  int st = 0;
  VNTLPptr lp = VNTLcreateprob(env, &st, "wide");
  ASSERT_NE(lp, nullptr);
  EXPECT_EQ(VNTSgetnumrows(env, lp), 0);
  EXPECT_EQ(VNTLfreeprob(env, &lp), 0);
  EXPECT_EQ(lp, nullptr);
}

}  // namespace
