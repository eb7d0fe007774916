// The command-line program, driven end to end through its binary.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/models.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;  // standard output and standard error together
};

Outcome run(const std::string& args) {
  Outcome r;
  std::string cmd = std::string(VANTO_CLI) + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

const std::string kExample = std::string(VANTO_SOURCE_DIR) + "/examples/production.mps";

double objectiveOf(const std::string& out) {
  auto k = out.find("Objective value:");
  if (k == std::string::npos) return NAN;
  return std::strtod(out.c_str() + k + 16, nullptr);
}

TEST(Cli, SolvesTheShippedExample) {
  Outcome r = run("--print-solution " + kExample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: optimal"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), 2150.0, 1e-6) << r.out;
  EXPECT_NE(r.out.find("TABLES"), std::string::npos) << r.out;
}

TEST(Cli, MethodsAgreeOnANetlibModel) {
  std::string model = vnt::test::modelPath("netlib", "sc105");
  double want = vnt::test::references().at("sc105").objective;
  for (const char* m : {"primal", "dual", "auto"}) {
    Outcome r = run(std::string("--method ") + m + " " + model);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(r.out), want)) << m << "\n" << r.out;
  }
}

TEST(Cli, ErrorsAndUsage) {
  Outcome missing = run("/nonexistent/model.mps");
  EXPECT_EQ(missing.status, 2) << missing.out;
  EXPECT_NE(missing.out.find("VANTO Error"), std::string::npos) << missing.out;

  Outcome unknown = run("--param NO_SUCH_PARAMETER=1 " + kExample);
  EXPECT_EQ(unknown.status, 2) << unknown.out;
  EXPECT_NE(unknown.out.find("VANTO Error  1028"), std::string::npos) << unknown.out;

  Outcome range = run("--param VNT_PARAM_EPRHS=5 " + kExample);
  EXPECT_EQ(range.status, 2) << range.out;
  EXPECT_NE(range.out.find("VANTO Error  1015"), std::string::npos) << range.out;

  EXPECT_EQ(run("").status, 1);
  EXPECT_EQ(run("--method simplex " + kExample).status, 1);
  EXPECT_EQ(run("--bogus " + kExample).status, 1);
  Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage"), std::string::npos);
  Outcome version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("22.1.1.0"), std::string::npos) << version.out;
}

TEST(Cli, ParametersByBothNamesAndByNumber) {
  Outcome r = run("--param VNTPARAM_Simplex_Display=0 --param 1016=1e-7 " + kExample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Iteration log"), std::string::npos) << r.out;
  EXPECT_NEAR(objectiveOf(r.out), 2150.0, 1e-6);
}

TEST(Cli, IterationLimitStillPrintsTheSummary) {
  Outcome r = run("--param VNT_PARAM_ITLIM=3 " + vnt::test::modelPath("netlib", "bandm"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Solution status: iteration limit exceeded"), std::string::npos) << r.out;
}

TEST(Cli, ConversionBetweenFormatsKeepsTheOptimum) {
  std::string dir = ::testing::TempDir();
  std::string lpFile = dir + "/converted.lp", mpsFile = dir + "/converted.mps.gz";
  std::string model = vnt::test::modelPath("netlib", "afiro");
  double want = vnt::test::references().at("afiro").objective;
  Outcome a = run("--no-optimize --write " + lpFile + " " + model);
  ASSERT_EQ(a.status, 0) << a.out;
  Outcome b = run("--write " + mpsFile + " " + lpFile);
  ASSERT_EQ(b.status, 0) << b.out;
  EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(b.out), want)) << b.out;
  Outcome c = run(mpsFile);
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_TRUE(vnt::test::objectiveMatches(objectiveOf(c.out), want)) << c.out;
}

}  // namespace
