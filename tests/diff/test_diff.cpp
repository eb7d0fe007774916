// Randomized differential test of the LP optimizer: every family of the
// generator, every method and scaling setting, the warm re-solve path, each
// answer checked from the model data and compared with CLP (and with GLPK's
// exact simplex where the two disagree).  VANTO_DIFF_CASES scales the number
// of cases; VANTO_DIFF_OPEN switches on the parts that expose open faults.
#include <gtest/gtest.h>

#include <fstream>

#include "diff/diff_harness.h"
#include "diff/diff_options.h"

namespace {

using namespace vnt::diff;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4;  // fewer cases under the sanitizers
#else
constexpr int kScale = 1;
#endif

struct FamilyRun {
  Family family;
  int cases;            // default cases in a release build
  const char* openSwitch;  // non-null: the whole family waits for that fault's fix
};

const FamilyRun kRuns[] = {
    {Family::Mixed, 100, nullptr},   {Family::Degen, 60, nullptr},   {Family::NearDep, 30, nullptr},
    {Family::NearPar, 20, nullptr}, {Family::Scaled, 50, nullptr}, {Family::Large, 8, nullptr},
    {Family::Infeas, 40, nullptr},  {Family::Unbd, 40, nullptr},    {Family::InfUnbd, 30, nullptr},
    {Family::Crossed, 20, nullptr}, {Family::Cycle, 40, nullptr},
};

std::string familyTestName(const ::testing::TestParamInfo<FamilyRun>& i) { return familyName(i.param.family); }

class Diff : public ::testing::TestWithParam<FamilyRun> {};

TEST_P(Diff, EveryMethodAgreesWithPeersAndPassesChecks) {
  const FamilyRun run = GetParam();
  if (run.openSwitch && !openEnabled(run.openSwitch))
    GTEST_SKIP() << "open fault: set VANTO_DIFF_OPEN=" << run.openSwitch;
  const int n = std::max(1, run.cases * envInt("VANTO_DIFF_CASES", 100) / 100 / kScale);
  RunOptions o;
  o.concurrent = true;
  o.warmOffset = true;
  o.workDir = ::testing::TempDir();
  o.tol.requireCertificate = openEnabled("certificate");
  o.exactSeconds = 20;
  GenOptions g;
  g.maxRows = kScale > 1 ? 80 : 150;
  Ours ours;
  ASSERT_NE(ours.env(), nullptr);
  int optimal = 0, infeasible = 0, unbounded = 0, solves = 0, bad = 0;
  for (int k = 0; k < n; ++k) {
    o.concurrent = k % 8 == 0;
    const Case c = generate(static_cast<uint64_t>(k), run.family, g);
    const CaseReport rep = runCase(ours, c, o);
    solves += static_cast<int>(rep.solves.size());
    // The exact solve, where one ran, settles what the model is.
    const Outcome truth = rep.exact.outcome != Outcome::None ? rep.exact.outcome : rep.clp.outcome;
    optimal += truth == Outcome::Optimal;
    infeasible += truth == Outcome::Infeasible;
    unbounded += truth == Outcome::Unbounded;
    const bool off = (run.family == Family::Infeas && truth != Outcome::Infeasible) ||
                     (run.family == Family::Unbd && truth != Outcome::Unbounded) ||
                     ((run.family == Family::Mixed || run.family == Family::Degen || run.family == Family::Large) &&
                      truth != Outcome::Optimal);
    if (off) std::printf("not what the generator built: %s\n", rep.summary().c_str());
    if (rep.anyUnexplained() || rep.anyFailure()) {
      ++bad;
      ADD_FAILURE() << rep.summary();
      if (const char* dir = std::getenv("VANTO_DIFF_DUMP"))
        writeFile(std::string(dir) + "/" + familyName(c.family) + "_" + std::to_string(c.id) + ".mps",
                  toMps(c.lp, "diff"));
    }
  }
  std::printf("%s: %d cases, %d solves; peer (or exact) says %d optimal, %d infeasible, %d unbounded; %d bad\n",
              familyName(run.family), n, solves, optimal, infeasible, unbounded, bad);
  // The family must produce what it was built for, or the test tests nothing.
  if (run.family == Family::Infeas) {
    EXPECT_EQ(infeasible, n);
  }
  if (run.family == Family::Unbd) {
    EXPECT_EQ(unbounded, n);
  }
  if (run.family == Family::Mixed || run.family == Family::Degen || run.family == Family::Large) {
    EXPECT_EQ(optimal, n);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, Diff, ::testing::ValuesIn(kRuns), familyTestName);

// NaN and infinite data must be refused by the entry or by the optimizer.
TEST(DiffBadData, NanAndInfiniteDataAreRefused) {
  Ours ours;
  GenOptions g;
  for (int k = 0; k < 44; ++k) {
    const Case c = generate(static_cast<uint64_t>(k), Family::BadData, g);
    for (const auto& f : runBadData(ours, c, k)) ADD_FAILURE() << "case " << k << ": " << f.kind << ": " << f.detail;
  }
}

}  // namespace
