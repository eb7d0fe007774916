// The conflict refiner: on every infeasible model of the test set the
// conflict written by VNTclpwrite reads back infeasible, and when the
// status says minimal, dropping any one member makes it feasible.  Plus the
// feasibility short-cut, the report, the group form and parameter restore.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "lp_api/lp_fixture.h"

namespace {

constexpr long long kItCap = 200000;

class Conflict : public LpFixtureTest {
 protected:
  void SetUp() override {
    LpFixtureTest::SetUp();
    VNTsetlongparam(env, VNT_PARAM_ITLIM, kItCap);
    VNTsetintparam(env, VNT_PARAM_PREIND, 0);
  }
  // Solve status of a problem (LP optimizer, capped).
  int solveStatus(VNTLPptr p) {
    EXPECT_EQ(VNTlpopt(env, p), 0);
    return VNTgetstat(env, p);
  }
};

std::vector<std::string> infeasibleModels() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(vnt::test::dataDir() + "/infeas")) {
    std::string f = e.path().filename().string();
    const std::string suffix = ".mps.gz";
    if (f.size() > suffix.size() && f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0)
      names.push_back(f.substr(0, f.size() - suffix.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every infeasible model: the conflict is infeasible on its own and, when
// minimal, irreducible.
TEST_F(Conflict, EveryInfeasibleModelGivesAnIrreducibleConflict) {
  const std::vector<std::string> names = infeasibleModels();
  ASSERT_FALSE(names.empty());
  int minimal = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    read("infeas", name);
    int nr = -1, nc = -1;
    ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
    int cstat = 0, rows = 0, cols = 0;
    const int m = VNTgetnumrows(env, lp), n = VNTgetnumcols(env, lp);
    std::vector<int> rowind(m), rowbd(m), colind(n), colbd(n);
    ASSERT_EQ(VNTgetconflict(env, lp, &cstat, rowind.data(), rowbd.data(), &rows, colind.data(), colbd.data(), &cols),
              0);
    ASSERT_TRUE(cstat == VNT_STAT_CONFLICT_MINIMAL || cstat == VNT_STAT_CONFLICT_ABORT_CONTRADICTION) << cstat;
    EXPECT_EQ(rows, nr);
    EXPECT_EQ(cols, nc);
    EXPECT_GT(rows + cols, 0);
    EXPECT_TRUE(results.contains(cstat == VNT_STAT_CONFLICT_MINIMAL ? "Minimal conflict:" : "Non-minimal conflict:"));
    // The conflict as an LP file, read back: infeasible.
    const std::string file = ::testing::TempDir() + "vnt_conflict_" + name + ".lp";
    ASSERT_EQ(VNTclpwrite(env, lp, file.c_str()), 0);
    int st = 0;
    VNTLPptr sub = VNTcreateprob(env, &st, "sub");
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(VNTreadcopyprob(env, sub, file.c_str(), nullptr), 0);
    EXPECT_EQ(VNTgetnumrows(env, sub), rows);
    EXPECT_EQ(solveStatus(sub), 3);
    if (cstat == VNT_STAT_CONFLICT_MINIMAL) {
      ++minimal;
      // Drop each member in turn: the rest must be feasible.  The file
      // holds the member rows in their order and the columns of the member
      // rows and bounds in theirs.
      const Matrix a = matrix();
      std::vector<char> inRow(m, 0), used(n, 0);
      for (int r = 0; r < rows; ++r) inRow[rowind[r]] = 1;
      for (int c = 0; c < cols; ++c) used[colind[c]] = 1;
      for (int j = 0; j < n; ++j)
        for (int k = a.beg[j]; k < a.beg[j + 1]; ++k)
          if (inRow[a.ind[k]]) used[j] = 1;
      std::vector<int> subCol(n, -1);
      int nsub = 0;
      for (int j = 0; j < n; ++j)
        if (used[j]) subCol[j] = nsub++;
      ASSERT_EQ(VNTgetnumcols(env, sub), nsub);
      for (int r = 0; r < rows; ++r) {
        VNTLPptr drop = VNTcloneprob(env, sub, &st);
        ASSERT_NE(drop, nullptr);
        ASSERT_EQ(VNTdelrows(env, drop, r, r), 0);
        EXPECT_NE(solveStatus(drop), 3) << "row " << rowind[r] << " is not needed";
        VNTfreeprob(env, &drop);
      }
      for (int c = 0; c < cols; ++c) {
        const int k = subCol[colind[c]];
        // Column statuses: 3 both bounds, 4 lower, 5 upper.
        ASSERT_GE(colbd[c], 3);
        for (char which : {'L', 'U'}) {
          if (which == 'L' && colbd[c] == 5) continue;
          if (which == 'U' && colbd[c] == 4) continue;
          VNTLPptr drop = VNTcloneprob(env, sub, &st);
          ASSERT_NE(drop, nullptr);
          const double inf = which == 'L' ? -1e20 : 1e20;
          ASSERT_EQ(VNTchgbds(env, drop, 1, &k, &which, &inf), 0);
          EXPECT_NE(solveStatus(drop), 3) << which << " bound of column " << colind[c] << " is not needed";
          VNTfreeprob(env, &drop);
        }
      }
    }
    VNTfreeprob(env, &sub);
    std::remove(file.c_str());
  }
  // The status must claim minimality on most models for the check to mean
  // something.
  EXPECT_GE(minimal * 4, static_cast<int>(names.size()) * 3);
}

// Two contradictory bounds on one column: one lower and one upper bound,
// no rows; the report prints no line for absent constraint families.
TEST_F(Conflict, CrossedBoundsAreTheConflict) {
  const double obj[] = {1, 1}, rhs[] = {10}, lb[] = {0, 5}, ub[] = {4, 2};
  const char sen[] = {'L'};
  const int beg[] = {0, 1}, cnt[] = {1, 1}, ind[] = {0, 0};
  const double val[] = {1, 1};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 1, VNT_MIN, obj, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
  int nr = -1, nc = -1;
  ASSERT_EQ(VNTrefineconflict(env, lp, &nr, &nc), 0);
  EXPECT_EQ(nr, 0);
  EXPECT_EQ(nc, 1);
  int cstat = 0, rows = -1, cols = -1, colind[2], colbd[2], rowind[1], rowbd[1];
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, rowind, rowbd, &rows, colind, colbd, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_MINIMAL);
  ASSERT_EQ(cols, 1);
  EXPECT_EQ(colind[0], 1);
  EXPECT_EQ(colbd[0], 3);  // both bounds
  const std::string out = results.all();
  EXPECT_NE(out.find("Minimal conflict:    0 linear constraint(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("                     1 lower bound(s)"), std::string::npos) << out;
  EXPECT_NE(out.find("                     1 upper bound(s)"), std::string::npos) << out;
  EXPECT_EQ(out.find("SOS set(s)"), std::string::npos);
}

TEST_F(Conflict, FeasibleProblemShortCutAndParameterRestore) {
  read("netlib", "afiro");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_BENDERSSTRATEGY, 1), 0);
  ASSERT_EQ(solveStatus(lp), 1);
  logLines.lines.clear();
  ASSERT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
  EXPECT_TRUE(results.contains("Problem is feasible; no conflict available.\n"));
  EXPECT_FALSE(logLines.contains("Refine conflict"));  // no search
  int cstat = 0, rows = 0, cols = 0;
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_FEASIBLE);
  EXPECT_EQ(VNTclpwrite(env, lp, (::testing::TempDir() + "vnt_none.lp").c_str()), 1719);
  int v = 0;
  ASSERT_EQ(VNTgetintparam(env, VNT_PARAM_BENDERSSTRATEGY, &v), 0);
  EXPECT_EQ(v, 1);
  // Without the short-cut the search runs and finds the model feasible.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_ADVIND, 0), 0);
  ASSERT_EQ(VNTrefineconflict(env, lp, nullptr, nullptr), 0);
  EXPECT_TRUE(logLines.contains("Refine conflict on"));
  ASSERT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 0);
  EXPECT_EQ(cstat, VNT_STAT_CONFLICT_FEASIBLE);
  // A change to the problem discards the conflict record.
  ASSERT_EQ(VNTchgobjsen(env, lp, VNT_MAX), 0);
  EXPECT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 1719);
}

// Groups: a row-pair group with a high preference and single bounds; the
// group statuses, counts and the groups read back.
TEST_F(Conflict, GroupsWithPreferences) {
  // x + y >= 4 (row 0), x + y <= 2 (row 1), x - y = 0 (row 2); x, y in [0, 10].
  const double obj[] = {0, 0}, rhs[] = {4, 2, 0}, lb[] = {0, 0}, ub[] = {10, 10};
  const char sen[] = {'G', 'L', 'E'};
  const int beg[] = {0, 3}, cnt[] = {3, 3}, ind[] = {0, 1, 2, 0, 1, 2};
  const double val[] = {1, 1, 1, 1, 1, -1};
  ASSERT_EQ(VNTcopylp(env, lp, 2, 3, VNT_MIN, obj, rhs, sen, beg, cnt, ind, val, lb, ub, nullptr), 0);
  // Group 0: rows 0 and 1 together; group 1: row 2; group 2: the lower
  // bound of x (not needed).
  const double pref[] = {2.0, 1.0, 1.0};
  const int gbeg[] = {0, 2, 3};
  const int gind[] = {0, 1, 2, 0};
  const char gtype[] = {3, 3, 3, 1};
  ASSERT_EQ(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, gind, gtype), 0);
  EXPECT_EQ(VNTgetconflictnumgroups(env, lp), 3);
  int gstat[3];
  ASSERT_EQ(VNTgetconflictext(env, lp, gstat, 0, 2), 0);
  EXPECT_EQ(gstat[0], 3);  // member
  EXPECT_EQ(gstat[1], -1);
  EXPECT_EQ(gstat[2], -1);
  EXPECT_GE(VNTgetconflictnumpasses(env, lp), 1);
  int concnt = 0, surplus = 0;
  double gp[3];
  int gb[3], gi[4];
  char gt[4];
  ASSERT_EQ(VNTgetconflictgroups(env, lp, &concnt, gp, gb, gi, gt, 4, &surplus, 0, 2), 0);
  EXPECT_EQ(concnt, 4);
  EXPECT_EQ(surplus, 0);
  EXPECT_EQ(gb[1], 2);
  EXPECT_EQ(gi[3], 0);
  EXPECT_EQ(gt[3], 1);
  EXPECT_EQ(gp[0], 2.0);
  EXPECT_EQ(VNTgetconflictgroups(env, lp, &concnt, gp, gb, gi, gt, 3, &surplus, 0, 2), 1207);
  EXPECT_EQ(surplus, -1);
  // The non-group query does not answer for a group refinement.
  int cstat = 0, rows = 0, cols = 0;
  EXPECT_EQ(VNTgetconflict(env, lp, &cstat, nullptr, nullptr, &rows, nullptr, nullptr, &cols), 1719);
  // Bad group data.
  const char badType[] = {9, 3, 3, 1};
  EXPECT_EQ(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, gind, badType), 1003);
  const int badInd[] = {0, 7, 2, 0};
  EXPECT_NE(VNTrefineconflictext(env, lp, 3, 4, pref, gbeg, badInd, gtype), 0);
}

}  // namespace
