// Parameter operations through the public C interface: cross-type rules,
// bad input, side effects, the fixed list, the changed list, parameter sets,
// the parameter file (write/read, all-or-nothing, messages) and the override
// variables read at open.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "env/channel.h"
#include "env/env.h"
#include "params/params.h"
#include "vanto/vanto.h"

namespace {

std::string tmpPath(const std::string& name) {
  return "/tmp/vnt_params_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void spit(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

void append(void* h, const char* m) { static_cast<std::string*>(h)->append(m); }

// One parameter-file line: the name padded to 48 characters, a space, the value.
std::string line(const char* name, const std::string& value) {
  char buf[700];
  snprintf(buf, sizeof buf, "%-48s %s\n", name, value.c_str());
  return buf;
}

// Every parameter value as text, to compare whole environments.
std::map<int, std::string> allValues(VNTENVptr env) {
  std::map<int, std::string> out;
  for (int id = 1001; id <= 5999; ++id) {
    int t = 0;
    if (VNTgetparamtype(env, id, &t) != 0) continue;
    char buf[600];
    if (t == VNT_PARAMTYPE_INT || t == VNT_PARAMTYPE_LONG) {
      long long v;
      EXPECT_EQ(VNTgetlongparam(env, id, &v), 0);
      snprintf(buf, sizeof buf, "%lld", v);
    } else if (t == VNT_PARAMTYPE_DOUBLE) {
      double v;
      EXPECT_EQ(VNTgetdblparam(env, id, &v), 0);
      snprintf(buf, sizeof buf, "%a", v);
    } else {
      EXPECT_EQ(VNTgetstrparam(env, id, buf), 0);
    }
    out[id] = buf;
  }
  return out;
}

class Params : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(st, 0);
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, append), 0);
    ASSERT_EQ(VNTaddfuncdest(env, warn, &warnings, append), 0);
    ASSERT_EQ(VNTaddfuncdest(env, log, &logText, append), 0);
  }
  void TearDown() override {
    EXPECT_EQ(VNTcloseVANTO(&env), 0);
    for (const std::string& f : files) unlink(f.c_str());
  }
  std::string file(const std::string& name) {
    files.push_back(tmpPath(name));
    return files.back();
  }
  vnt::Env& internal() { return *reinterpret_cast<vnt::Env*>(env); }

  VNTENVptr env = nullptr;
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, log = nullptr;
  std::string errors, warnings, logText;
  std::vector<std::string> files;
};

// ---------------------------------------------------------------------------

TEST_F(Params, CrossTypeRules) {
  // An int set on a long parameter: at least 2100000000 means "unbounded".
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ITLIM, 2100000000), 0);
  long long lv;
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_ITLIM, &lv), 0);
  EXPECT_EQ(lv, 9223372036800000000LL);
  int iv = 0;
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_ITLIM, &iv), 0);
  EXPECT_EQ(iv, INT_MAX);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ITLIM, 77), 0);
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_ITLIM, &lv), 0);
  EXPECT_EQ(lv, 77);
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_ITLIM, -1), 1014);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_MIPINTERVAL, -2100000000), 0);
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_MIPINTERVAL, &lv), 0);
  EXPECT_EQ(lv, -9223372036800000000LL);
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_MIPINTERVAL, &iv), 0);
  EXPECT_EQ(iv, INT_MIN);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_MIPINTERVAL, -2099999999), 0);
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_MIPINTERVAL, &lv), 0);
  EXPECT_EQ(lv, -2099999999);

  // A long set on an int parameter must fit in 32 bits.
  EXPECT_EQ(VNTsetlongparam(env, VNT_PARAM_THREADS, 2147483648LL), 1015);
  EXPECT_EQ(VNTsetlongparam(env, VNT_PARAM_AGGIND, -2147483649LL), 1014);
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_THREADS, 3), 0);
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_THREADS, &iv), 0);
  EXPECT_EQ(iv, 3);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_AGGIND, -1), 0);
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_AGGIND, &lv), 0);
  EXPECT_EQ(lv, -1);

  // The symbolic maximum of the thread count reads as 2100000000.
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2100000000), 0);
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_THREADS, 2100000001), 1015);
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_THREADS, &iv), 0);
  EXPECT_EQ(iv, 2100000000);

  // No range check on the objective limits.
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJLLIM, -5.0), 0);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, -1e300), 0);

  // Numbers outside the parameter range, or unused in it.
  EXPECT_EQ(VNTsetintparam(env, 1000, 0), 1013);
  EXPECT_EQ(VNTsetintparam(env, 6000, 0), 1013);
  EXPECT_EQ(VNTsetintparam(env, 1011, 0), 1013);
  EXPECT_EQ(VNTsetlongparam(env, 1011, 0), 1013);
  EXPECT_EQ(VNTsetdblparam(env, 1011, 0.0), 1013);
  EXPECT_EQ(VNTsetstrparam(env, 1011, ""), 1013);
  EXPECT_EQ(VNTgetintparam(env, VNT_PARAM_ADVIND, nullptr), 1004);
  EXPECT_EQ(VNTgetdblparam(env, VNT_PARAM_EPRHS, nullptr), 1004);
  EXPECT_EQ(VNTgetstrparam(env, VNT_PARAM_WORKDIR, nullptr), 1004);
  // Each failure printed its error line.
  EXPECT_NE(errors.find("VANTO Error  1015: Parameter value too big.\n"), std::string::npos);
  EXPECT_NE(errors.find("VANTO Error  1013: Bad parameter number to VANTO parameter routine.\n"),
            std::string::npos);
}

TEST_F(Params, BadInputLeavesValueUnchanged) {
  double d;
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 5.0), 1015);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-10), 1014);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, NAN), 1014);
  ASSERT_EQ(VNTgetdblparam(env, VNT_PARAM_EPRHS, &d), 0);
  EXPECT_EQ(d, 1e-6);

  char buf[512];
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "/tmp/work"), 0);
  std::string s511(511, 'x'), s512(512, 'y');
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, s512.c_str()), 1026);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "a\nb"), 1236);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "tab\there"), 1236);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "del\x7f"), 1236);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, nullptr), 1004);
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_WORKDIR, buf), 0);
  EXPECT_STREQ(buf, "/tmp/work");
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, s511.c_str()), 0);
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_WORKDIR, buf), 0);
  EXPECT_EQ(std::string(buf), s511);

  // An API-encoded (ISO-8859-1) byte is stored as UTF-8 and handed back in the
  // API encoding.
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "caf\xe9"), 0);
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_WORKDIR, buf), 0);
  EXPECT_STREQ(buf, "caf\xe9");
  EXPECT_STREQ(vnt::params::getStr(internal(), VNT_PARAM_WORKDIR), "caf\xc3\xa9");
}

TEST_F(Params, SideEffects) {
  vnt::Env& e = internal();
  // Random seed into the environment's seed words.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RANDOMSEED, 12345), 0);
  EXPECT_EQ(e.randomSeed[0], 12345u);
  EXPECT_EQ(e.randomSeed[1], 12345u);
  // Screen output attaches standard output to results, warning and error
  // but not to the log channel.
  auto screen = [&](vnt::Chan c) {
    return (e.channels[static_cast<int>(c)]->flags & vnt::kChanScreenAttached) != 0;
  };
  EXPECT_FALSE(screen(vnt::Chan::Results));
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);
  EXPECT_TRUE(screen(vnt::Chan::Results));
  EXPECT_TRUE(screen(vnt::Chan::Warning));
  EXPECT_TRUE(screen(vnt::Chan::Error));
  EXPECT_FALSE(screen(vnt::Chan::Log));
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  EXPECT_FALSE(screen(vnt::Chan::Results));

  // Tuning limits: both finite conflict.
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_TUNINGTILIM, 100.0), 0);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_TUNINGDETTILIM, 1000.0), 1807);
  double d;
  ASSERT_EQ(VNTgetdblparam(env, VNT_PARAM_TUNINGDETTILIM, &d), 0);
  EXPECT_EQ(d, 1e75);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_TUNINGTILIM, 1e75), 0);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_TUNINGDETTILIM, 1000.0), 0);
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_TUNINGTILIM, 5.0), 1807);

  // CPU mask syntax.
  char buf[512];
  for (const char* ok : {"off", "auto", "", "0f3A", "FFFFFFFFFFFFFFFFFFFF"})
    EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_CPUMASK, ok), 0) << ok;
  for (const char* bad : {"0x1f", "on", "12 34", "g"})
    EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_CPUMASK, bad), 1003) << bad;
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_CPUMASK, buf), 0);
  EXPECT_STREQ(buf, "FFFFFFFFFFFFFFFFFFFF");

  // Encodings must open a converter.
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_FILEENCODING, "no-such-encoding-42"), 1003);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_FILEENCODING, "UTF-8"), 0);
  EXPECT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "bogus-enc"), 1003);
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_APIENCODING, buf), 0);
  EXPECT_STREQ(buf, "ISO-8859-1");
  // With a UTF-8 API encoding, strings pass unchanged.
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "UTF-8"), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "caf\xc3\xa9"), 0);
  EXPECT_STREQ(vnt::params::getStr(e, VNT_PARAM_WORKDIR), "caf\xc3\xa9");
  // Back to the default encoding by reset: the converter follows.
  ASSERT_EQ(VNTsetdefaults(env), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "caf\xe9"), 0);
  EXPECT_STREQ(vnt::params::getStr(e, VNT_PARAM_WORKDIR), "caf\xc3\xa9");
}

int gSwitchCalls = 0;
int gSwitchStatus = 0;
int countingSwitch(vnt::Env&) {
  ++gSwitchCalls;
  return gSwitchStatus;
}

TEST_F(Params, RecordSwitch) {
  vnt::params::setRecordSwitch(countingSwitch);
  gSwitchStatus = 1001;
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 1001);
  EXPECT_EQ(vnt::params::getInt(internal(), VNT_PARAM_RECORD), 0);
  gSwitchStatus = 0;
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 1), 0);
  EXPECT_EQ(vnt::params::getInt(internal(), VNT_PARAM_RECORD), 1);
  EXPECT_EQ(VNTsetintparam(env, VNT_PARAM_RECORD, 0), 0);  // no switch for zero
  EXPECT_EQ(gSwitchCalls, 2);
  vnt::params::setRecordSwitch(nullptr);
}

TEST_F(Params, ChildEnvironmentCopiesValues) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-8), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "UTF-8"), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RANDOMSEED, 99), 0);
  int st = -1;
  vnt::Env* child = vnt::openChildEnv(internal(), &st);
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(st, 0);
  using namespace vnt::params;
  EXPECT_EQ(getInt(*child, VNT_PARAM_ADVIND), 0);
  EXPECT_EQ(getDbl(*child, VNT_PARAM_EPRHS), 1e-8);
  EXPECT_STREQ(getStr(*child, VNT_PARAM_APIENCODING), "UTF-8");
  EXPECT_EQ(child->randomSeed[0], 99u);
  // The child's converter follows its API encoding: UTF-8 passes unchanged.
  ASSERT_EQ(setStrParam(*child, VNT_PARAM_WORKDIR, "x"), 0);
  const char* in = "caf\xc3\xa9";
  char* out = nullptr;
  ASSERT_EQ(vnt::apiToUtf8(*child, in, &out), 0);
  EXPECT_STREQ(out, in);
  if (out != in) vnt::envFree(*child, out);
  vnt::closeChildEnv(child);
}

TEST_F(Params, FixedParametersAndResets) {
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-8), 0);
  ASSERT_EQ(VNTEfixparam(env, VNT_PARAM_EPRHS), 0);
  ASSERT_EQ(VNTEfixparam(env, 424242), 0);  // appended without checking
  double d;
  EXPECT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-7), 1013);
  EXPECT_EQ(VNTgetdblparam(env, VNT_PARAM_EPRHS, &d), 1013);
  EXPECT_EQ(VNTinfodblparam(env, VNT_PARAM_EPRHS, &d, nullptr, nullptr), 1013);
  int t;
  EXPECT_EQ(VNTgetparamtype(env, VNT_PARAM_EPRHS, &t), 1013);
  char name[512];
  EXPECT_EQ(VNTgetparamname(env, VNT_PARAM_EPRHS, name), 1013);
  int id;
  EXPECT_EQ(VNTgetparamnum(env, "VNT_PARAM_EPRHS", &id), 1013);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTsetdefaults(env), 0);
  EXPECT_EQ(vnt::params::getDbl(internal(), VNT_PARAM_EPRHS), 1e-8);
  int v;
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_ADVIND, &v), 0);
  EXPECT_EQ(v, 1);
  // A fixed parameter is not listed as changed.
  int cnt = -1, surplus = -1;
  EXPECT_EQ(VNTgetchgparam(env, &cnt, nullptr, 0, &surplus), 0);
  EXPECT_EQ(surplus, 0);
  // Many fixed ids: the list grows.
  for (int i = 0; i < 40; ++i) ASSERT_EQ(VNTEfixparam(env, 2001 + i), 0);
  EXPECT_EQ(VNTsetintparam(env, 2040, 1), 1013);
}

TEST_F(Params, PartialResetKeepsTuningTrialParameters) {
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_TILIM, 10.0), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_RANDOMSEED, 7), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  vnt::params::resetPartial(internal());
  EXPECT_EQ(vnt::params::getDbl(internal(), VNT_PARAM_TILIM), 10.0);
  EXPECT_EQ(vnt::params::getInt(internal(), VNT_PARAM_RANDOMSEED), 7);
  EXPECT_EQ(vnt::params::getInt(internal(), VNT_PARAM_ADVIND), 1);
}

TEST_F(Params, ChangedParameterList) {
  int cnt = -1, surplus = -1;
  ASSERT_EQ(VNTgetchgparam(env, &cnt, nullptr, 0, &surplus), 0);
  EXPECT_EQ(cnt, 0);
  EXPECT_EQ(surplus, 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_NETDISPLAY, 0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPOPT, 1e-7), 0);
  ASSERT_EQ(VNTsetintparam(env, 1017, 1), 0);  // hidden: never listed
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "/tmp"), 0);
  // Sizing call: no array, no message.
  errors.clear();
  EXPECT_EQ(VNTgetchgparam(env, &cnt, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -3);
  EXPECT_EQ(cnt, 0);
  EXPECT_EQ(errors, "");
  int ids[3];
  EXPECT_EQ(VNTgetchgparam(env, &cnt, ids, 2, &surplus), 1207);
  EXPECT_EQ(cnt, 2);
  EXPECT_EQ(surplus, -1);
  EXPECT_NE(errors.find("1207"), std::string::npos);
  ASSERT_EQ(VNTgetchgparam(env, &cnt, ids, 3, &surplus), 0);
  EXPECT_EQ(cnt, 3);
  EXPECT_EQ(surplus, 0);
  EXPECT_EQ(ids[0], VNT_PARAM_EPOPT);
  EXPECT_EQ(ids[1], VNT_PARAM_WORKDIR);
  EXPECT_EQ(ids[2], VNT_PARAM_NETDISPLAY);
}

// ---------------------------------------------------------------------------
// Parameter sets.

TEST_F(Params, ParameterSets) {
  int st = -1;
  VNTPARAMSETptr ps = VNTparamsetcreate(env, &st);
  ASSERT_NE(ps, nullptr);
  ASSERT_EQ(st, 0);
  ASSERT_EQ(VNTparamsetaddint(env, ps, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTparamsetaddlong(env, ps, VNT_PARAM_ITLIM, 500), 0);
  ASSERT_EQ(VNTparamsetadddbl(env, ps, VNT_PARAM_EPRHS, 1e-7), 0);
  ASSERT_EQ(VNTparamsetaddstr(env, ps, VNT_PARAM_WORKDIR, "/tmp/x y"), 0);
  ASSERT_EQ(VNTparamsetaddint(env, ps, VNT_PARAM_ADVIND, 2), 0);  // replaces
  // Type and number checks; values are not range-checked yet.
  EXPECT_EQ(VNTparamsetaddint(env, ps, VNT_PARAM_EPRHS, 1), 1013);
  EXPECT_EQ(VNTparamsetadddbl(env, ps, VNT_PARAM_ADVIND, 1), 1013);
  EXPECT_EQ(VNTparamsetaddint(env, ps, 1011, 1), 1013);
  EXPECT_EQ(VNTparamsetaddint(env, nullptr, VNT_PARAM_ADVIND, 1), 1004);
  ASSERT_EQ(VNTparamsetaddint(env, ps, VNT_PARAM_SIMDISPLAY, 99), 0);

  int iv;
  long long lv;
  double dv;
  char sv[512];
  ASSERT_EQ(VNTparamsetgetint(env, ps, VNT_PARAM_ADVIND, &iv), 0);
  EXPECT_EQ(iv, 2);
  ASSERT_EQ(VNTparamsetgetlong(env, ps, VNT_PARAM_ITLIM, &lv), 0);
  EXPECT_EQ(lv, 500);
  ASSERT_EQ(VNTparamsetgetdbl(env, ps, VNT_PARAM_EPRHS, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  ASSERT_EQ(VNTparamsetgetstr(env, ps, VNT_PARAM_WORKDIR, sv), 0);
  EXPECT_STREQ(sv, "/tmp/x y");
  EXPECT_EQ(VNTparamsetgetint(env, ps, VNT_PARAM_PREIND, &iv), 1013);

  int cnt = 0, surplus = 0, ids[8];
  EXPECT_EQ(VNTparamsetgetids(env, ps, &cnt, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -5);
  ASSERT_EQ(VNTparamsetgetids(env, ps, &cnt, ids, 8, &surplus), 0);
  ASSERT_EQ(cnt, 5);
  EXPECT_EQ(surplus, 3);
  EXPECT_EQ(std::vector<int>(ids, ids + 5),
            (std::vector<int>{VNT_PARAM_ADVIND, VNT_PARAM_SIMDISPLAY, VNT_PARAM_ITLIM,
                              VNT_PARAM_EPRHS, VNT_PARAM_WORKDIR}));

  // Applying stops at the out-of-range entry; entries before it stay.
  EXPECT_EQ(VNTparamsetapply(env, ps), 1015);
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_ADVIND, &iv), 0);
  EXPECT_EQ(iv, 2);
  ASSERT_EQ(VNTgetlongparam(env, VNT_PARAM_ITLIM, &lv), 0);
  EXPECT_EQ(lv, 9223372036800000000LL);
  ASSERT_EQ(VNTparamsetdel(env, ps, VNT_PARAM_SIMDISPLAY), 0);
  EXPECT_EQ(VNTparamsetdel(env, ps, VNT_PARAM_SIMDISPLAY), 1013);
  ASSERT_EQ(VNTparamsetapply(env, ps), 0);
  ASSERT_EQ(VNTgetdblparam(env, VNT_PARAM_EPRHS, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  ASSERT_EQ(VNTgetstrparam(env, VNT_PARAM_WORKDIR, sv), 0);
  EXPECT_STREQ(sv, "/tmp/x y");

  // Copy, write, read back into another set.
  VNTPARAMSETptr ps2 = VNTparamsetcreate(env, &st);
  ASSERT_NE(ps2, nullptr);
  ASSERT_EQ(VNTparamsetaddint(env, ps2, VNT_PARAM_PREIND, 0), 0);
  ASSERT_EQ(VNTparamsetcopy(env, ps2, ps), 0);
  ASSERT_EQ(VNTparamsetgetids(env, ps2, &cnt, ids, 8, &surplus), 0);
  EXPECT_EQ(cnt, 4);
  ASSERT_EQ(VNTparamsetaddint(env, ps2, 1017, 3), 0);  // hidden: written by number
  std::string path = file("set.prm");
  ASSERT_EQ(VNTparamsetwrite(env, ps2, path.c_str()), 0);
  std::string text = slurp(path);
  EXPECT_EQ(text.rfind("VANTO Parameter File Version 22.1.1.0\n" + line("VNTPARAM_Advance", "2") +
                           line("1017", "3"),
                       0),
            0u)
      << text;
  VNTPARAMSETptr ps3 = VNTparamsetcreate(env, &st);
  ASSERT_EQ(VNTparamsetreadcopy(env, ps3, path.c_str()), 0);
  ASSERT_EQ(VNTparamsetgetids(env, ps3, &cnt, ids, 8, &surplus), 0);
  EXPECT_EQ(cnt, 5);
  ASSERT_EQ(VNTparamsetgetint(env, ps3, 1017, &iv), 0);
  EXPECT_EQ(iv, 3);
  ASSERT_EQ(VNTparamsetgetstr(env, ps3, VNT_PARAM_WORKDIR, sv), 0);
  EXPECT_STREQ(sv, "/tmp/x y");
  ASSERT_EQ(VNTparamsetgetdbl(env, ps3, VNT_PARAM_EPRHS, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  EXPECT_EQ(VNTparamsetreadcopy(env, ps3, nullptr), 1004);
  EXPECT_EQ(VNTparamsetreadcopy(env, nullptr, path.c_str()), 1004);

  // A set of another environment.
  VNTENVptr other = VNTopenVANTO(&st);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(VNTparamsetreadcopy(other, ps3, path.c_str()), 1002);
  EXPECT_EQ(VNTparamsetfree(other, &ps3), 1002);
  EXPECT_EQ(VNTcloseVANTO(&other), 0);

  ASSERT_EQ(VNTparamsetfree(env, &ps), 0);
  EXPECT_EQ(ps, nullptr);
  ASSERT_EQ(VNTparamsetfree(env, &ps2), 0);
  EXPECT_EQ(VNTparamsetfree(env, nullptr), 1004);
  // ps3 is left for the environment's close.
}

// ---------------------------------------------------------------------------
// Parameter file.

TEST_F(Params, FreshEnvironmentWritesOnlyTheVersionLine) {
  std::string path = file("fresh.prm");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);  // never written
  ASSERT_EQ(VNTwriteparam(env, path.c_str()), 0);
  EXPECT_EQ(slurp(path), "VANTO Parameter File Version 22.1.1.0\n");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  EXPECT_EQ(VNTwriteparam(env, nullptr), 1421);
  EXPECT_EQ(VNTwriteparam(env, ""), 1421);
  errors.clear();
  EXPECT_EQ(VNTwriteparam(env, "/nonexistent-dir/x.prm"), 1422);
  EXPECT_EQ(errors, "VANTO Error  1422: Could not open file '/nonexistent-dir/x.prm' for writing.\n");
  errors.clear();
  EXPECT_EQ(VNTreadcopyparam(env, "/nonexistent-dir/x.prm"), 1423);
  EXPECT_EQ(errors, "VANTO Error  1423: Could not open file '/nonexistent-dir/x.prm' for reading.\n");
  EXPECT_EQ(VNTreadcopyparam(env, nullptr), 1004);
}

TEST_F(Params, WriteThenReadEveryType) {
  const double third = 1.0 / 3.0, awkward = 0.1 + 0.2;
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_AGGIND, 5), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 123456789012LL), 0);
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_MIPINTERVAL, -9223372036800000000LL), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-9), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJLLIM, third), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_OBJULIM, awkward), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_CUTLO, DBL_MIN / 3), 0);  // subnormal
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_CUTUP, -DBL_MAX), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "dir with \"quotes\" 100% #x caf\xe9"), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_INTSOLFILEPREFIX, "plain"), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_CPUMASK, "off"), 0);
  ASSERT_EQ(VNTsetintparam(env, 1017, 2), 0);  // hidden: not in the changed list
  std::map<int, std::string> before = allValues(env);

  for (const char* suffix : {".prm", ".prm.gz", ".prm.bz2"}) {
    SCOPED_TRACE(suffix);
    std::string path = file(std::string("all") + suffix);
    ASSERT_EQ(VNTwriteparam(env, path.c_str()), 0);
    if (std::string(suffix) == ".prm") {
      std::string text = slurp(path);
      EXPECT_EQ(text.rfind("VANTO Parameter File Version 22.1.1.0\n", 0), 0u);
      EXPECT_NE(text.find("\n" + line("VNTPARAM_Preprocessing_Aggregator", "5")),
                std::string::npos);
      EXPECT_NE(text.find("\n" + line("VNTPARAM_Simplex_Limits_Iterations", "123456789012")),
                std::string::npos);
      EXPECT_NE(text.find("\n" + line("VNTPARAM_Simplex_Tolerances_Feasibility",
                                      "1.0000000000000001e-09")),
                std::string::npos);
      EXPECT_NE(text.find("\n" + line("VNTPARAM_WorkDir",
                                      "\"dir with %22quotes%22 100%25 #x caf%c3%a9\"")),
                std::string::npos);
      // Groups: ints, then longs, then doubles, then strings.
      EXPECT_LT(text.find("Preprocessing_Aggregator"), text.find("Limits_Iterations"));
      EXPECT_LT(text.find("Limits_Iterations"), text.find("Tolerances_Feasibility"));
      EXPECT_LT(text.find("Tolerances_Feasibility"), text.find("VNTPARAM_WorkDir"));
      EXPECT_EQ(text.find("1017"), std::string::npos);
    }
    ASSERT_EQ(VNTsetdefaults(env), 0);
    ASSERT_NE(allValues(env), before);
    ASSERT_EQ(VNTsetintparam(env, 1017, 2), 0);
    ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
    // 1017 is hidden and not written: the read resets it.
    std::map<int, std::string> after = allValues(env);
    EXPECT_EQ(after[1017], "0");
    after[1017] = "2";
    EXPECT_EQ(after, before);
  }
  EXPECT_EQ(warnings, "");
}

TEST_F(Params, DoublesRoundTripBitForBit) {
  // Random bit patterns within the objective-limit parameter (no range).
  uint64_t x = 0x9E3779B97F4A7C15ull;
  int id = VNT_PARAM_OBJLLIM;
  std::string path = file("dbl.prm");
  for (int i = 0; i < 300; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    double d;
    memcpy(&d, &x, sizeof d);
    if (!std::isfinite(d)) continue;
    ASSERT_EQ(VNTsetdblparam(env, id, d), 0);
    ASSERT_EQ(VNTwriteparam(env, path.c_str()), 0);
    ASSERT_EQ(VNTsetdblparam(env, id, 0.0), 0);
    ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
    double back;
    ASSERT_EQ(VNTgetdblparam(env, id, &back), 0);
    ASSERT_EQ(memcmp(&back, &d, sizeof d), 0) << d;
  }
}

TEST_F(Params, ReaderSyntax) {
  std::string path = file("syntax.prm");
  spit(path,
       "# a comment line\n"
       "\n"
       "   \t  \n"
       "VANTO Parameter File Version 22.1.1.0\n"
       "VNT_PARAM_ADVIND 0   # trailing comment\n"
       "  1016\t2e-7\n"
       "VNTPARAM_WorkDir \"a # b\"\n"
       "VNT_PARAM_CPUMASK ff\n"
       "VNTPARAM_Output_IntSolFilePrefix \"\"\n"
       "VNT_PARAM_ITLIM 99\n"
       "VNT_PARAM_FILEENCODING %55TF-8\n"
       "1017 3\n");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);  // not in the file: reset
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);  // kept
  ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
  vnt::Env& e = internal();
  using namespace vnt::params;
  EXPECT_EQ(getInt(e, VNT_PARAM_ADVIND), 0);
  EXPECT_EQ(getDbl(e, VNT_PARAM_EPRHS), 2e-7);
  EXPECT_STREQ(getStr(e, VNT_PARAM_WORKDIR), "a # b");
  EXPECT_STREQ(getStr(e, VNT_PARAM_CPUMASK), "ff");
  EXPECT_STREQ(getStr(e, VNT_PARAM_INTSOLFILEPREFIX), "");
  EXPECT_STREQ(getStr(e, VNT_PARAM_FILEENCODING), "UTF-8");
  EXPECT_EQ(getLong(e, VNT_PARAM_ITLIM), 99);
  EXPECT_EQ(getInt(e, 1017), 3);
  EXPECT_EQ(getInt(e, VNT_PARAM_PREIND), 1);
  EXPECT_EQ(getInt(e, VNT_PARAM_SCRIND), 1);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  EXPECT_EQ(warnings, "");

  // Non-integral integers: truncated with a warning; "-1" is fine.
  spit(path, "VNT_PARAM_SIMDISPLAY 1.5\nVNT_PARAM_AGGIND -1\nVNT_PARAM_AGGFILL 7.9\n");
  ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
  EXPECT_EQ(getInt(e, VNT_PARAM_SIMDISPLAY), 1);
  EXPECT_EQ(getInt(e, VNT_PARAM_AGGIND), -1);
  EXPECT_EQ(getLong(e, VNT_PARAM_AGGFILL), 7);
  EXPECT_EQ(warnings,
            "Warning, line 1: non-integral value specified for integer parameter.\n"
            "Warning, line 3: non-integral value specified for integer parameter.\n");
  warnings.clear();

  // A different version: warning, still applied.  No version line: the same.
  spit(path, "VANTO Parameter File Version 12.3.4.5\nVNT_PARAM_ADVIND 2\n");
  ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
  EXPECT_EQ(getInt(e, VNT_PARAM_ADVIND), 2);
  EXPECT_EQ(warnings, "Warning:  VANTO version found in file " + path +
                          " (12.3.4.5) does not match\n          this VANTO version (22.1.1.0).\n");
  spit(path, "VNT_PARAM_ADVIND 0\n");
  ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
  EXPECT_EQ(getInt(e, VNT_PARAM_ADVIND), 0);

  // Only comments: everything back to its default except screen output.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);
  spit(path, "# nothing\n\n");
  ASSERT_EQ(VNTreadcopyparam(env, path.c_str()), 0);
  int cnt, surplus;
  ASSERT_EQ(VNTgetchgparam(env, &cnt, nullptr, 0, &surplus), 1207);
  EXPECT_EQ(surplus, -1);
  EXPECT_EQ(getInt(e, VNT_PARAM_SCRIND), 1);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
}

// A failing line anywhere leaves every parameter as it was before the call.
TEST_F(Params, AllOrNothing) {
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 2), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPOPT, 1e-8), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_APIENCODING, "UTF-8"), 0);
  std::map<int, std::string> before = allValues(env);
  struct Case {
    const char* bad;
    int status;
    const char* message;
  } cases[] = {
      {"VNT_PARAM_EPRHS 5", 1015, "VANTO Error  1015: Parameter value too big.\n"},
      {"VNT_PARAM_EPRHS 0", 1014, nullptr},
      {"VNT_PARAM_NOSUCH 1", 1028, nullptr},
      {"1011 1", 1013, nullptr},
      {"VNT_PARAM_ADVIND x1", 1434, "VANTO Error  1434: Line 3: Couldn't convert 'x1' to a number.\n"},
      {"VNT_PARAM_EPRHS abc", 1434, nullptr},
      {"VNT_PARAM_ADVIND", 1660, "VANTO Error  1660: Line 3:  Not enough entries.\n"},
      {"VNTPARAM_WorkDir \"unterminated", 1660, nullptr},
      {"VNTPARAM_WorkDir bad%zzescape", 1660, nullptr},
      {"VNTPARAM_WorkDir a%0ab", 1236, nullptr},
      {"VNT_PARAM_CPUMASK notamask", 1003, nullptr},
      {"VNT_PARAM_APIENCODING no-such-enc", 1003, nullptr},
      {"VNT_PARAM_TUNINGTILIM 5", 1807, nullptr},  // with the line below the header
  };
  std::string path = file("bad.prm");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad);
    std::string text = "VNT_PARAM_TUNINGDETTILIM 100\nVNT_PARAM_NETDISPLAY 0\n";
    text += c.bad;
    text += "\nVNT_PARAM_SIMDISPLAY 0\nVNTPARAM_WorkDir \"changed\"\n";
    spit(path, text);
    errors.clear();
    EXPECT_EQ(VNTreadcopyparam(env, path.c_str()), c.status);
    if (c.message) {
      EXPECT_EQ(errors, c.message);
    }
    EXPECT_EQ(allValues(env), before);
    // The same through the in-memory reader.
    EXPECT_EQ(VNTEreadcopyparam(env, "mem", text.c_str(), static_cast<VNTLONG>(text.size())),
              c.status);
    EXPECT_EQ(allValues(env), before);
  }
  // The API converter was restored too: UTF-8 text still passes unchanged.
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_WORKDIR, "caf\xc3\xa9"), 0);
  EXPECT_STREQ(vnt::params::getStr(internal(), VNT_PARAM_WORKDIR), "caf\xc3\xa9");
  // A fixed parameter named in a file.
  ASSERT_EQ(VNTEfixparam(env, VNT_PARAM_NETDISPLAY), 0);
  spit(path, "VNT_PARAM_NETDISPLAY 1\n");
  EXPECT_EQ(VNTreadcopyparam(env, path.c_str()), 1013);
  EXPECT_EQ(VNTEreadcopyparam(env, nullptr, "", 0), 1004);
  EXPECT_EQ(VNTEreadcopyparam(nullptr, "x", "", 0), 1002);
}

TEST_F(Params, ParameterDisplay) {
  vnt::params::displayChanged(internal());
  EXPECT_EQ(logText, "Version identifier: 22.1.1.0 | 2023-06-15 | d64d5bd77\n");
  logText.clear();
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 1), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SCRIND, 0), 0);
  ASSERT_EQ(VNTsetdblparam(env, VNT_PARAM_EPRHS, 1e-7), 0);
  ASSERT_EQ(VNTsetstrparam(env, VNT_PARAM_CPUMASK, "badmask"), 1003);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  vnt::params::displayChanged(internal());
  EXPECT_EQ(logText,
            "Version identifier: 22.1.1.0 | 2023-06-15 | d64d5bd77\n" +
                line("VNTPARAM_Advance", "0") +
                line("VNTPARAM_Simplex_Tolerances_Feasibility", "9.9999999999999995e-08"));
  logText.clear();
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PARAMDISPLAY, 0), 0);
  vnt::params::displayChanged(internal());
  EXPECT_EQ(logText, "");
}

// ---------------------------------------------------------------------------
// Override variables, in a child process each.

struct ChildResult {
  int exitCode = -1;
  std::string stderrText;
};

// Runs `body` in a forked child with the variables set and standard error
// redirected to a file; the child's exit code is the body's result.
template <class F>
ChildResult inChild(const std::map<std::string, std::string>& vars, F body) {
  std::string errPath = tmpPath("child_stderr");
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    FILE* f = freopen(errPath.c_str(), "w", stderr);
    if (!f) _exit(90);
    for (auto& [k, v] : vars) setenv(k.c_str(), v.c_str(), 1);
    int rc = body();
    fflush(stderr);
    _exit(rc);
  }
  ChildResult r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  r.stderrText = slurp(errPath);
  unlink(errPath.c_str());
  return r;
}

TEST(Overrides, ParameterString) {
  auto check = [] {
    int st = 0;
    VNTENVptr env = VNTopenVANTO(&st);
    if (!env || st) return 1;
    int adv = -1;
    double eprhs = 0;
    char dir[512];
    VNTgetintparam(env, VNT_PARAM_ADVIND, &adv);
    VNTgetdblparam(env, VNT_PARAM_EPRHS, &eprhs);
    VNTgetstrparam(env, VNT_PARAM_WORKDIR, dir);
    bool ok = adv == 0 && eprhs == 1e-7 && strcmp(dir, "/tmp/over ride") == 0;
    VNTcloseVANTO(&env);
    return ok ? 0 : 2;
  };
  ChildResult r = inChild({{"KORA_VANTO_PARAMETER_STRING",
                            "VNT_PARAM_ADVIND 0;VNTPARAM_Simplex_Tolerances_Feasibility 1e-7;"
                            "VNTPARAM_WorkDir \"/tmp/over ride\""}},
                          check);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stderrText,
            "Reading override parameter settings from $KORA_VANTO_PARAMETER_STRING succeeded.\n");

  // A failing setting: the open still succeeds with defaults, the message
  // carries the status.
  r = inChild({{"KORA_VANTO_PARAMETER_STRING", "VNT_PARAM_ADVIND 0;VNT_PARAM_EPRHS 5"}}, [] {
    int st = 0;
    VNTENVptr env = VNTopenVANTO(&st);
    if (!env || st) return 1;
    int adv = -1;
    VNTgetintparam(env, VNT_PARAM_ADVIND, &adv);
    VNTcloseVANTO(&env);
    return adv == 1 ? 0 : 2;
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stderrText,
            "Reading override parameter settings from $KORA_VANTO_PARAMETER_STRING failed (1015).\n");

  // Empty: nothing read, nothing written.
  r = inChild({{"KORA_VANTO_PARAMETER_STRING", ""}}, [] {
    int st = 0;
    VNTENVptr env = VNTopenVANTO(&st);
    VNTcloseVANTO(&env);
    return st;
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stderrText, "");
}

TEST(Overrides, ParameterFile) {
  std::string path = tmpPath("override.prm");
  spit(path, "VANTO Parameter File Version 22.1.1.0\nVNT_PARAM_NETDISPLAY 1\nVNT_PARAM_ITLIM 5\n");
  ChildResult r = inChild({{"KORA_VANTO_PARAMETER_FILE", path}}, [] {
    int st = 0;
    VNTENVptr env = VNTopenVANTO(&st);
    if (!env || st) return 1;
    int fromFile = -1, later = -1;
    long long it = -1;
    VNTgetintparam(env, VNT_PARAM_NETDISPLAY, &fromFile);
    VNTgetlongparam(env, VNT_PARAM_ITLIM, &it);
    // Parameters set later through the interface override the file.
    VNTsetintparam(env, VNT_PARAM_NETDISPLAY, 2);
    VNTgetintparam(env, VNT_PARAM_NETDISPLAY, &later);
    VNTcloseVANTO(&env);
    if (fromFile != 1) return 3;
    if (it != 5) return 4;
    return later == 2 ? 0 : 5;
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stderrText, "Reading override parameter file '" + path + "' succeeded.\n");

  std::string missing = tmpPath("missing.prm");
  r = inChild({{"KORA_VANTO_PARAMETER_FILE", missing}}, [] {
    int st = 0;
    VNTENVptr env = VNTopenVANTO(&st);
    VNTcloseVANTO(&env);
    return st;
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.stderrText, "Reading override parameter file '" + missing + "' failed (1423).\n");
  unlink(path.c_str());
}

}  // namespace
