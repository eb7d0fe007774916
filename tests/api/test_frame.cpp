// The exported frame: null handles, missing operations, status reporting and
// message delivery through channels.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "api/chk_decls.h"
#include "api/frame.h"
#include "api/slots.h"
#include "common/capture.h"
#include "env/env.h"
#include "model/problem.h"
#include "vanto/vanto.h"

// Test workers for two operations whose owners are not linked into this
// binary: the frame around them (prologue, width conversion, reporter) is
// the code under test.
namespace {
std::map<const vnt::model::Problem*, long long> gIterations;
int gLpoptStatus = 0;
}  // namespace
namespace vnt::chk {
int getitcnt(Env&, model::Problem& lp, long long* result_out) {
  *result_out = gIterations[&lp];
  return 0;
}
int lpopt(Env&, model::Problem&) { return gLpoptStatus; }
}  // namespace vnt::chk

namespace {

using vnt::test::Capture;

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

TEST_F(Frame, NullHandlesOfEveryShape) {
  EXPECT_EQ(VNTgetnumrows(nullptr, nullptr), 0);
  EXPECT_EQ(VNTlpopt(nullptr, nullptr), 1002);
  VNTCHANNELptr nullchan = nullptr;
  EXPECT_EQ(VNTmsgstr(nullchan, "x"), 0);
  EXPECT_TRUE(errors.lines.empty());
}

TEST_F(Frame, MissingWorkerAnswers1811Once) {
  // primopt is in the catalogue but its worker is not linked here.
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_NE(lp, nullptr);
  EXPECT_EQ(VNTprimopt(env, lp), 1811);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1811: Attempt to invoke unsupported operation.\n");
  EXPECT_EQ(VNTSprimopt(env, lp), 1811);
  EXPECT_EQ(errors.lines.size(), 2u);
}

TEST_F(Frame, MissingSlotReportsThroughTheEnvironmentsOwnSlots) {
  auto* e = reinterpret_cast<vnt::Env*>(env);
  // A table set whose main tables lack the operation and, in a second
  // variant, also getchannels: the first prints 1811, the second nothing.
  static vnt::api::VntFn mainTable[vnt::api::kComponentSize[vnt::api::kComp_main] + 1];
  const vnt::api::VntFn* direct = vnt::api::kDirectTables.comp[0][vnt::api::kComp_main];
  memcpy(mainTable, direct, sizeof mainTable);
  mainTable[vnt::api::kSlot_main_getnumcores] = nullptr;
  vnt::api::ApiTableSet set = vnt::api::kDirectTables;
  set.comp[0][vnt::api::kComp_main] = mainTable;
  const vnt::api::ApiTableSet* saved = e->tables;
  e->tables = &set;
  int n = -1;
  EXPECT_EQ(VNTgetnumcores(env, &n), 1811);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1811: Attempt to invoke unsupported operation.\n");
  mainTable[vnt::api::kSlot_main_getchannels] = nullptr;
  EXPECT_EQ(VNTgetnumcores(env, &n), 1811);
  EXPECT_EQ(errors.lines.size(), 1u);
  e->tables = saved;
  EXPECT_EQ(VNTgetnumcores(env, &n), 0);
  EXPECT_GE(n, 1);
}

TEST_F(Frame, CountersBeyond32BitsAreClampedInTheNarrowFlavour) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_NE(lp, nullptr);
  const long long big = 3000000000LL;
  gIterations[vnt::model::resolveHandle(lp)] = big;
  EXPECT_EQ(VNTSgetitcnt(env, lp), big);
  EXPECT_EQ(VNTLgetitcnt(env, lp), big);
  EXPECT_TRUE(errors.lines.empty());
  EXPECT_EQ(VNTgetitcnt(env, lp), 2147483647);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1810: 32-bit overflow.\n");
  gIterations[vnt::model::resolveHandle(lp)] = -big;
  EXPECT_EQ(VNTgetitcnt(env, lp), -2147483647 - 1);
  gIterations[vnt::model::resolveHandle(lp)] = 12;
  EXPECT_EQ(VNTgetitcnt(env, lp), 12);
  EXPECT_EQ(errors.lines.size(), 2u);
}

TEST_F(Frame, ReporterSignConventionAndSilentCodes) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_NE(lp, nullptr);
  gLpoptStatus = -1217;  // already printed by the worker
  EXPECT_EQ(VNTlpopt(env, lp), 1217);
  EXPECT_TRUE(errors.lines.empty());
  gLpoptStatus = 1217;
  EXPECT_EQ(VNTlpopt(env, lp), 1217);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0], "VANTO Error  1217: No solution exists.\n");
  gLpoptStatus = 9034;  // internal stop code: never printed
  EXPECT_EQ(VNTlpopt(env, lp), 9034);
  EXPECT_EQ(errors.lines.size(), 1u);
  gLpoptStatus = 1117;  // presolve codes follow hidden parameter 1043
  EXPECT_EQ(VNTlpopt(env, lp), 1117);
  ASSERT_EQ(errors.lines.size(), 2u);
  EXPECT_EQ(errors.lines[1], "VANTO Error  1117: Presolve determines problem is infeasible.\n");
  ASSERT_EQ(VNTsetintparam(env, 1043, 0), 0);
  for (int code : {1101, 1106, 1117, 1118, 1123, 1124}) {
    gLpoptStatus = code;
    EXPECT_EQ(VNTlpopt(env, lp), code);
  }
  EXPECT_EQ(errors.lines.size(), 2u);
  gLpoptStatus = 1103;  // not a presolve status of that list
  EXPECT_EQ(VNTlpopt(env, lp), 1103);
  EXPECT_EQ(errors.lines.size(), 3u);
  gLpoptStatus = 77777;
  EXPECT_EQ(VNTlpopt(env, lp), 77777);
  ASSERT_EQ(errors.lines.size(), 4u);
  EXPECT_EQ(errors.lines[3], "VANTO Error 77777:  Unknown error code.\n");
  gLpoptStatus = 0;
}

TEST_F(Frame, InformationalCallbackFlagBlocksAllButAcceptingOperations) {
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "p");
  ASSERT_NE(lp, nullptr);
  auto* e = reinterpret_cast<vnt::Env*>(env);
  e->infoCallback = 1;
  EXPECT_EQ(VNTgetnumrows(env, lp), 0);  // accepts 1804
  EXPECT_TRUE(errors.lines.empty());
  EXPECT_EQ(VNTlpopt(env, lp), 1804);
  ASSERT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(errors.lines[0],
            "VANTO Error  1804: Calling routines not allowed in informational callback.\n");
  e->infoCallback = 0;
  EXPECT_EQ(VNTlpopt(env, lp), 0);
}

TEST_F(Frame, ClosedOrForeignHandlesAre1002) {
  // A block with the magic word but no parameters / a wrong self pointer.
  vnt::Env* fake = static_cast<vnt::Env*>(calloc(1, sizeof(vnt::Env)));
  fake->magic = vnt::kEnvMagic;
  fake->working = fake;
  auto h = reinterpret_cast<VNTENVptr>(fake);
  EXPECT_EQ(VNTgetnumrows(h, nullptr), 0);
  EXPECT_EQ(VNTlpopt(h, nullptr), 1002);
  int v = 0;
  EXPECT_EQ(VNTgetnumcores(h, &v), 1002);
  VNTENVptr hp = h;
  EXPECT_EQ(VNTcloseVANTO(&hp), 1002);
  EXPECT_EQ(hp, h);  // nothing closed
  free(fake);
}

TEST_F(Frame, RecordingParameterSwitchesTheTableSet) {
  // The recorder's database goes into the current directory: a private one.
  char dir[] = "/tmp/vnt_frame_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  struct Back {
    std::filesystem::path old, dir;
    ~Back() {
      std::filesystem::current_path(old);
      std::filesystem::remove_all(dir);
    }
  } back{old, dir};
  auto* e = reinterpret_cast<vnt::Env*>(env);
  EXPECT_EQ(e->tables, &vnt::api::kDirectTables);
  EXPECT_EQ(e->recording, nullptr);
  ASSERT_EQ(VNTsetintparam(env, 1162, 1), 0);
  EXPECT_EQ(e->tables, &vnt::api::kRecordingTables);
  EXPECT_NE(e->recording, nullptr);
  // Calls behave the same through the recording wrappers.
  int st = 0;
  VNTLPptr lp = VNTcreateprob(env, &st, "rec");
  ASSERT_NE(lp, nullptr);
  EXPECT_EQ(VNTgetnumrows(env, lp), 0);
  EXPECT_EQ(VNTprimopt(env, lp), 1811);
  EXPECT_EQ(errors.lines.size(), 1u);
  EXPECT_EQ(vnt::api::recordingState().nesting, 0);
  ASSERT_EQ(VNTsetintparam(env, 1162, 0), 0);
  EXPECT_EQ(e->tables, &vnt::api::kRecordingTables);  // stays on
  VNTfreeprob(env, &lp);
  EXPECT_EQ(VNTcloseVANTO(&env), 0);  // while the database still exists
}

TEST_F(Frame, ErrorStringIsConvertedToTheApiEncoding) {
  char buf[1024];
  ASSERT_EQ(VNTgeterrorstring(env, 1201, buf), buf);
  EXPECT_STREQ(buf, "VANTO Error  1201: Column index %lld out of range.\n");
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "UTF-16BE"), 0);
  ASSERT_EQ(VNTgeterrorstring(env, 1001, buf), buf);
  // "V" in UTF-16BE is 0x00 0x56.
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 'V');
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(buf[3], 'A');
}

}  // namespace
