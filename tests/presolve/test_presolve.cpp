// Presolve through the public interface: the report lines, each diagnostic
// with its outcome code and status, random LPs of every row and bound kind
// solved with and without presolve, the presolve operations (reduced
// problem, crush and uncrush), and the parameters that switch reductions.
#include <array>
#include <map>
#include <cstdio>
#include <random>

#include "api/frame.h"
#include "presolve/presolve.h"
#include "presolve/presolve_fixture.h"

namespace {

using vnt::test::PresolveTest;
constexpr double kInf = 1e20;

// ---------------------------------------------------------------------------
// Reports.

TEST_F(PresolveTest, ReportLinesComeBeforeTheIterationLog) {
  read("netlib", "sc105");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_SIMDISPLAY, 1), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_TRUE(results.contains("Tried aggregator 1 time.\n"));
  EXPECT_TRUE(results.contains("LP Presolve eliminated "));
  EXPECT_TRUE(results.contains("Aggregator did "));
  EXPECT_TRUE(results.contains("Reduced LP has "));
  const size_t t = results.index("Presolve time = ");
  ASSERT_LT(t, results.lines.size());
  EXPECT_NE(results.lines[t].find(" sec. ("), std::string::npos);
  EXPECT_NE(results.lines[t].find(" ticks)\n"), std::string::npos);
  // The reduced problem's counts are the reduced problem's sizes.
  VNTCLPptr red = nullptr;
  ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
  char want[200];
  std::snprintf(want, sizeof want, "Reduced LP has %d rows, %d columns, and %d nonzeros.\n", VNTgetnumrows(env, red),
                VNTgetnumcols(env, red), VNTgetnumnz(env, red));
  EXPECT_TRUE(results.contains(want)) << want;
  EXPECT_LT(VNTgetnumrows(env, red), VNTgetnumrows(env, lp));
}

TEST_F(PresolveTest, NothingToReduceAndEverythingEliminated) {
  // x + y <= 4, x - y >= -2 with costs that keep both in play: no reduction.
  load(-1, {1, 2}, {0, 0}, {kInf, kInf}, {{'L', 4, {{0, 1}, {1, 1}}}, {'G', -2, {{0, 1}, {1, -1}}}});
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_TRUE(results.contains("No LP presolve or aggregator reductions.\n"));
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  double obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  EXPECT_NEAR(obj, 7.0, 1e-9);

  // min x + 2y, x >= 1 (a singleton row), x + y = 3 (y solved from it).
  clearLines();
  load(1, {1, 2}, {0, 0}, {kInf, kInf}, {{'G', 1, {{0, 1}}}, {'E', 3, {{0, 1}, {1, 1}}}});
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_TRUE(results.contains("All rows and columns eliminated.\n"));
  EXPECT_FALSE(results.contains("Reduced LP has"));
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  EXPECT_NEAR(obj, 3.0, 1e-9);  // x = 3, y = 0
  const vnt::test::Quality q = quality(lp);
  EXPECT_LE(q.primal, 1e-9);
  EXPECT_LE(q.dual, 1e-9);
  EXPECT_LE(q.slackness, 1e-9);
  int prestat = -1;
  ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(prestat, 2);
}

TEST_F(PresolveTest, PresolveOffPrintsNoReport) {
  read("netlib", "afiro");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Presolve"));
  EXPECT_FALSE(results.contains("Tried aggregator"));
  int prestat = -1;
  ASSERT_EQ(VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(prestat, 0);
  VNTCLPptr red = nullptr;
  EXPECT_EQ(VNTgetredlp(env, lp, &red), 1103);
}

TEST_F(PresolveTest, RestrictedReductionsAndAggregatorOff) {
  read("netlib", "sc105");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_REDUCE, 1), 0);  // primal reductions only
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_TRUE(results.contains("Reduced presolve eliminated "));
  EXPECT_FALSE(results.contains("LP Presolve eliminated"));
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  clearLines();
  read("netlib", "sc105");
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_REDUCE, 3), 0);
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_AGGIND, 0), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Tried aggregator"));
  EXPECT_FALSE(results.contains("Aggregator did"));
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  double obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  EXPECT_NEAR(obj, -52.2020612117072, 1e-6);
}

// ---------------------------------------------------------------------------
// Diagnostics: each one from a model that triggers it, with the outcome.

struct Diagnosed {
  int code;
  int stat;
};

class Diagnostics : public PresolveTest {
 protected:
  Diagnosed solve() {
    Diagnosed d;
    d.code = VNTlpopt(env, lp);
    d.stat = VNTgetstat(env, lp);
    return d;
  }
  void names(const std::vector<std::string>& cols, const std::vector<std::string>& rows) {
    for (size_t j = 0; j < cols.size(); ++j) {
      int idx = static_cast<int>(j);
      char* nm = const_cast<char*>(cols[j].c_str());
      ASSERT_EQ(VNTchgcolname(env, lp, 1, &idx, &nm), 0);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      int idx = static_cast<int>(i);
      char* nm = const_cast<char*>(rows[i].c_str());
      ASSERT_EQ(VNTchgrowname(env, lp, 1, &idx, &nm), 0);
    }
  }
};

TEST_F(Diagnostics, CrossedColumnBounds) {
  load(1, {1, 1}, {0, 3}, {1, 2}, {{'L', 4, {{0, 1}, {1, 1}}}});
  names({"x", "y"}, {"r"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Bound infeasibility column 'y'.\n"));
  EXPECT_EQ(d.code, 1117);
  EXPECT_EQ(d.stat, 3);
  EXPECT_TRUE(errors.contains("Presolve determines problem is infeasible"));
}

TEST_F(Diagnostics, EmptyRowThatCannotHold) {
  load(1, {1}, {0}, {1}, {{'L', 3, {{0, 1}}}, {'G', 1, {}}});
  names({"x"}, {"r", "empty"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Infeasibility row 'empty':  0 >= 1.\n"));
  EXPECT_EQ(d.code, 1117);
  EXPECT_EQ(d.stat, 3);
}

TEST_F(Diagnostics, RowOfFixedColumns) {
  load(1, {1, 1}, {1, 2}, {1, 2}, {{'L', 2, {{0, 1}, {1, 1}}}});
  names({"x", "y"}, {"sum"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Row 'sum' infeasible, all entries at implied bounds.\n"));
  EXPECT_EQ(d.code, 1117);
}

TEST_F(Diagnostics, ImpliedBoundsMakeARowInfeasible) {
  load(1, {1, 1, 1}, {0, 0, 0}, {1, 1, 1}, {{'G', 5, {{0, 1}, {1, 1}, {2, 2}}}});
  names({"x", "y", "z"}, {"cover"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Implied bounds make row 'cover' infeasible.\n"));
  EXPECT_EQ(d.code, 1117);
  EXPECT_EQ(d.stat, 3);
}

TEST_F(Diagnostics, SingletonRowCrossesTheBounds) {
  load(1, {1, 1}, {0, 0}, {2, 5}, {{'G', 3, {{0, 1}}}, {'L', 4, {{0, 1}, {1, 1}}}});
  names({"x", "y"}, {"low", "sum"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Infeasible column 'x'.\n"));
  EXPECT_EQ(d.code, 1117);
}

TEST_F(Diagnostics, InconsistentParallelRows) {
  // x + y <= 1 and 2x + 2y >= 5 over free columns.
  load(1, {0, 0, 1}, {-kInf, -kInf, 0}, {kInf, kInf, kInf},
       {{'L', 1, {{0, 1}, {1, 1}}}, {'G', 5, {{0, 2}, {1, 2}}}, {'G', 0, {{0, 1}, {1, -1}, {2, 1}}},
        {'L', 7, {{0, 1}, {1, -1}, {2, 1}}}});
  names({"x", "y", "z"}, {"a", "b", "c", "d"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Constraints 'a' and 'b' are inconsistent.\n"));
  EXPECT_EQ(d.code, 1117);
}

// A column that improves the objective without limit proves the problem
// unbounded once the simplex has found a feasible point: the outcome is
// 1118 with the status unbounded, a point and a ray.
TEST_F(Diagnostics, UnboundedThroughDualBounds) {
  // max x: no row keeps x from growing.
  load(-1, {1, 1}, {0, 0}, {kInf, 4}, {{'G', 1, {{0, 1}, {1, 1}}}, {'G', -3, {{0, 1}, {1, -1}}}});
  names({"x", "y"}, {"r", "s"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Primal unbounded due to dual bounds, variable 'x'.\n"));
  EXPECT_EQ(d.code, 1118);
  EXPECT_EQ(d.stat, 2);
  EXPECT_TRUE(errors.contains("Presolve determines problem is unbounded"));
  expectPointAndRay();
}

TEST_F(Diagnostics, ColumnOfOneRowNamesTheRow) {
  // min x + y with y free and only in y - x <= 4: the row's activity runs
  // off downwards.
  load(1, {1, 1}, {0, -kInf}, {10, kInf}, {{'L', 4, {{0, -1}, {1, 1}}}, {'G', 0, {{0, 1}}}});
  names({"x", "y"}, {"r", "s"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Infeasibility or unboundedness row 'r':  ax <= 4.\n"));
  EXPECT_EQ(d.code, 1118);
  EXPECT_EQ(d.stat, 2);
  expectPointAndRay();
}

TEST_F(Diagnostics, UnboundedDirectionOfAnInfeasibleModel) {
  // u grows without limit, but the cycle x - y >= 1, y - z >= 1,
  // z - x >= 1 cannot hold: the simplex finds the model infeasible.
  load(1, {0, 0, 0, -1}, {-kInf, -kInf, -kInf, 0}, {kInf, kInf, kInf, kInf},
       {{'G', 1, {{0, 1}, {1, -1}}}, {'G', 1, {{1, 1}, {2, -1}}}, {'G', 1, {{2, 1}, {0, -1}}},
        {'G', 0, {{3, 1}, {0, 1}}}});
  names({"x", "y", "z", "u"}, {"a", "b", "c", "q"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Infeasibility or unboundedness row 'q':  ax >= 0.\n"));
  EXPECT_EQ(d.code, 0);
  EXPECT_EQ(d.stat, 3);
}

TEST_F(Diagnostics, EmptyColumnWithAnUnboundedCost) {
  load(1, {1, -1}, {0, 0}, {4, kInf}, {{'G', 1, {{0, 1}}}});
  names({"x", "free"}, {"r"});
  const Diagnosed d = solve();
  EXPECT_TRUE(results.contains("Dual infeasible due to empty column 'free'.\n"));
  EXPECT_EQ(d.code, 1118);
  EXPECT_EQ(d.stat, 2);
  expectPointAndRay();
  // VNTpresolve alone cannot tell: infeasible or unbounded.
  ASSERT_EQ(VNTpresolve(env, lp, 0), 1101);
  EXPECT_EQ(VNTgetstat(env, lp), 4);
}

// An unbounded model (x4 up, x5 down by the same amount) whose duplicate
// column pair has different costs: the dominated-column test fixes x3 from
// dual bounds that no feasible dual satisfies, which leaves a row that cannot
// hold.  Presolve must not call the model infeasible; the answer is unbounded
// (or infeasible-or-unbounded), and an unbounded answer comes with a feasible
// point and a ray.
TEST_F(Diagnostics, UnboundedModelIsNeverCalledInfeasible) {
  load(1, {-3, 22, -4, 0, 7, 8}, {-kInf, -4, 4, 0, 0, -kInf}, {-2, -4, 4, kInf, kInf, 0},
       {{'G', -12, {{1, 3}, {4, 1}, {5, 1}}}, {'E', -8, {{3, -4}, {4, 2}, {5, 2}}}});
  names({"C0", "C1", "C2", "C3", "C4", "C5"}, {"R0", "R1"});
  const Diagnosed d = solve();
  EXPECT_FALSE(results.contains("Infeasibility row"));
  EXPECT_NE(d.code, 1117);
  EXPECT_TRUE((d.code == 1101 && d.stat == 4) || ((d.code == 0 || d.code == 1118) && d.stat == 2))
      << d.code << " " << d.stat;
  // Presolve off: the simplex proves unboundedness with a point and a ray.
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  EXPECT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 2);
  expectPointAndRay();
}

TEST_F(Diagnostics, AbortDuringPresolve) {
  read("netlib", "sc105");
  int flag = 1;
  ASSERT_EQ(VNTsetterminate(env, &flag), 0);
  EXPECT_EQ(VNTlpopt(env, lp), 1106);
  EXPECT_EQ(VNTgetstat(env, lp), 13);
  VNTsetterminate(env, nullptr);
}

// ---------------------------------------------------------------------------
// Random LPs of every row and bound kind, with structures presolve reduces
// (singleton rows, doubleton equations, fixed and free columns, parallel
// rows, column singletons), solved with presolve on and off.

struct RandomLp {
  int objsen = 1;
  std::vector<double> obj, lb, ub;
  std::vector<PresolveTest::Row> rows;
};

RandomLp randomLp(std::mt19937& rng, int n, int m) {
  RandomLp p;
  std::uniform_int_distribution<int> coef(-4, 4), pick(0, 99);
  p.objsen = pick(rng) < 50 ? 1 : -1;
  // Most models are made feasible around a point x0 inside the bounds.
  const bool feasible = pick(rng) < 85;
  std::vector<double> x0(n);
  for (int j = 0; j < n; ++j) {
    p.obj.push_back(pick(rng) < 15 ? 0.0 : coef(rng));
    double lo = 0, up = kInf;
    switch (pick(rng) % 6) {
      case 0: lo = 0; up = kInf; break;
      case 1: lo = -kInf; up = kInf; break;               // free
      case 2: lo = -kInf; up = 3 + pick(rng) % 5; break;  // upper only
      case 3: lo = -2; up = 2 + pick(rng) % 6; break;     // boxed
      case 4: lo = up = 1 + pick(rng) % 3; break;         // fixed
      default: lo = 1; up = 10; break;
    }
    p.lb.push_back(lo);
    p.ub.push_back(up);
    x0[j] = lo == up ? lo : std::max(lo, std::min(up, static_cast<double>(pick(rng) % 7 - 2)));
  }
  // Every column gets a box row of its own so that the LP stays bounded:
  // -20 <= x_j <= 20 as a singleton row (presolve turns them into bounds).
  for (int j = 0; j < n; ++j)
    if (pick(rng) < 70) p.rows.push_back({'R', -20, {{j, 1.0}}, 40});
    else p.rows.push_back({'L', 20, {{j, 1.0}}});
  for (int i = 0; i < m; ++i) {
    PresolveTest::Row r;
    const int shape = pick(rng) % 10;
    if (shape == 0) {
      // A doubleton equation.
      const int a = pick(rng) % n, b = (a + 1 + pick(rng) % (n - 1)) % n;
      r.terms = {{a, 1.0 + pick(rng) % 3}, {b, -1.0 - pick(rng) % 2}};
      r.sense = 'E';
    } else {
      for (int j = 0; j < n; ++j)
        if (pick(rng) < 35) {
          const int c = coef(rng);
          if (c != 0) r.terms.push_back({j, static_cast<double>(c)});
        }
      r.sense = "LGER"[pick(rng) % 4];
    }
    double act = 0;
    for (auto [j, v] : r.terms) act += v * x0[j];
    if (!feasible) act += pick(rng) % 7 - 3;
    const double s1 = pick(rng) % 4, s2 = 1 + pick(rng) % 4;
    switch (r.sense) {
      case 'L': r.rhs = act + s1; break;
      case 'G': r.rhs = act - s1; break;
      case 'E': r.rhs = act; break;
      default:
        r.rhs = act - s1;
        r.rng = s1 + s2;
        if (pick(rng) % 2) {  // the same range given from its upper end
          r.rhs = act + s2;
          r.rng = -(s1 + s2);
        }
    }
    p.rows.push_back(r);
    if (shape == 1 && !r.terms.empty()) {
      // A parallel copy (scaled, maybe flipped, a little looser or tighter).
      PresolveTest::Row c = r;
      const double f = pick(rng) % 2 ? 2.0 : -0.5;
      for (auto& t : c.terms) t.second *= f;
      c.rhs *= f;
      c.rng *= f;
      if (f < 0 && c.sense == 'L') c.sense = 'G';
      else if (f < 0 && c.sense == 'G') c.sense = 'L';
      if (c.sense == 'L' || c.sense == 'G') c.rhs += (pick(rng) % 3 - 1) * 0.5;
      p.rows.push_back(c);
    }
  }
  // An empty row now and then.
  if (pick(rng) < 30) p.rows.push_back({'L', 1.0, {}});
  return p;
}

// Column structures on top of a random LP: scaled copies of columns (with a
// proportional or a different cost, so that they merge or one dominates),
// slack-like column singletons with one infinite bound (their costs bound
// the row duals), and columns that appear only in equations of three or
// more entries (substituted out when their bounds are implied).
void addColumnStructures(std::mt19937& rng, RandomLp& p) {
  std::uniform_int_distribution<int> pick(0, 99), coef(-3, 3);
  const int n0 = static_cast<int>(p.obj.size());
  auto newColumn = [&](double c, double lo, double up) {
    p.obj.push_back(c);
    p.lb.push_back(lo);
    p.ub.push_back(up);
    return static_cast<int>(p.obj.size()) - 1;
  };
  const int copies = 1 + pick(rng) % 3;
  for (int t = 0; t < copies; ++t) {
    const int j = pick(rng) % n0;
    const double lam = std::array<double, 4>{1.0, 2.0, -1.0, -0.5}[pick(rng) % 4];
    const double c = pick(rng) < 60 ? lam * p.obj[j] : static_cast<double>(coef(rng));
    const double lo = pick(rng) < 70 ? -1.0 - pick(rng) % 3 : -kInf;
    const double up = pick(rng) < 70 ? 1.0 + pick(rng) % 4 : kInf;
    const int k = newColumn(c, lo, up);
    // Rows of j other than its own box row get lambda times its entry.
    for (auto& r : p.rows) {
      if (r.terms.size() < 2) continue;
      for (size_t q = 0; q < r.terms.size(); ++q)
        if (r.terms[q].first == j) {
          r.terms.push_back({k, lam * r.terms[q].second});
          break;
        }
    }
  }
  const int slacks = pick(rng) % 3;
  for (int t = 0; t < slacks && !p.rows.empty(); ++t) {
    auto& r = p.rows[pick(rng) % p.rows.size()];
    if (r.terms.size() < 2) continue;
    const bool upOnly = pick(rng) < 50;
    const int k = newColumn(coef(rng), upOnly ? -kInf : 0.0, upOnly ? 0.0 : kInf);
    r.terms.push_back({k, pick(rng) < 50 ? 1.0 : -1.0});
  }
  // An equation that is a combination of two others (dependent).
  std::vector<size_t> eqs;
  for (size_t i = 0; i < p.rows.size(); ++i)
    if (p.rows[i].sense == 'E' && p.rows[i].terms.size() >= 2) eqs.push_back(i);
  if (eqs.size() >= 2 && pick(rng) < 70) {
    const PresolveTest::Row a = p.rows[eqs[0]], b = p.rows[eqs[1]];
    PresolveTest::Row r;
    r.sense = 'E';
    r.rhs = a.rhs + 2.0 * b.rhs;
    std::map<int, double> sum;
    for (auto [j, v] : a.terms) sum[j] += v;
    for (auto [j, v] : b.terms) sum[j] += 2.0 * v;
    for (auto [j, v] : sum)
      if (v != 0.0) r.terms.push_back({j, v});
    p.rows.push_back(r);
  }
  // An equation of three or four columns with a column of its own.
  if (pick(rng) < 60) {
    const int k = newColumn(coef(rng), -kInf, kInf);
    PresolveTest::Row r;
    r.sense = 'E';
    r.rhs = 0.0;
    r.terms.push_back({k, 1.0});
    for (int t = 0; t < 2 + pick(rng) % 2; ++t) {
      const int j = pick(rng) % n0;
      bool dup = false;
      for (auto [jj, v] : r.terms) dup = dup || jj == j;
      if (!dup) r.terms.push_back({j, static_cast<double>(1 + pick(rng) % 3)});
    }
    p.rows.push_back(r);
    // k also appears in one other row, so that it is no column singleton.
    for (auto& o : p.rows)
      if (o.terms.size() >= 2 && &o != &p.rows.back()) {
        o.terms.push_back({k, 0.5});
        break;
      }
  }
}

// Set-partitioning rows (sum = 1 over columns in [0, 1]) with columns of
// equal support and different or equal costs, a row holding another one,
// and fixed-charge pairs
// x <= u y where y in [0, 1] appears in that row only and its cost pushes it
// down: the dearer copy leaves through the row sum, y through its row.
void addPartitionsAndFixedCharges(std::mt19937& rng, RandomLp& p) {
  std::uniform_int_distribution<int> pick(0, 99);
  const int sign = p.objsen;  // costs in the minimization sense
  auto newColumn = [&](double c, double lo, double up) {
    p.obj.push_back(sign * c);
    p.lb.push_back(lo);
    p.ub.push_back(up);
    return static_cast<int>(p.obj.size()) - 1;
  };
  const int r0 = static_cast<int>(p.rows.size()), nr = 2 + pick(rng) % 3;
  for (int i = 0; i < nr; ++i) p.rows.push_back({'E', 1.0, {}});
  for (int i = 0; i < nr; ++i) p.rows[r0 + i].terms.push_back({newColumn(9, 0, 1), 1.0});  // keeps them feasible
  for (int t = 0; t < 3 + pick(rng) % 4; ++t) {
    std::vector<int> rows;
    for (int i = 0; i < nr; ++i)
      if (pick(rng) < 50) rows.push_back(r0 + i);
    if (rows.empty()) rows.push_back(r0 + pick(rng) % nr);
    const double c = 1 + pick(rng) % 6;
    for (int copy = 0; copy < 1 + pick(rng) % 3; ++copy) {
      const int j = newColumn(pick(rng) < 30 ? c : 1 + pick(rng) % 6, 0, 1);
      for (int i : rows) p.rows[i].terms.push_back({j, 1.0});
    }
  }
  // A partition row holding another one (and columns of its own, which
  // must then stay at 0).
  if (pick(rng) < 70) {
    PresolveTest::Row sup = p.rows[r0 + pick(rng) % nr];
    for (int t = 0; t < 1 + pick(rng) % 3; ++t) sup.terms.push_back({newColumn(pick(rng) % 5 - 2, 0, 1), 1.0});
    p.rows.push_back(sup);
  }
  for (int t = 0; t < 1 + pick(rng) % 3; ++t) {
    // x (in a partition row too) <= u y; y's lower bound above 0 now and then
    // (then the row does not hold it and y stays).
    const double u = 1 + pick(rng) % 3;
    const int x = newColumn(-(1 + pick(rng) % 4), 0, pick(rng) < 50 ? kInf : u + pick(rng) % 2);
    const int y = newColumn(1 + pick(rng) % 3, pick(rng) < 20 ? 0.5 : 0.0, 1);
    p.rows[r0 + pick(rng) % nr].terms.push_back({x, 1.0});
    if (pick(rng) < 50) p.rows.push_back({'L', 0.0, {{x, 1.0}, {y, -u}}});
    else p.rows.push_back({'G', 0.0, {{x, -2.0}, {y, 2.0 * u}}});
  }
}

// An unbounded LP: a base with an optimum (a point x0 and duals y that
// price it, costs c = A'y + d with d complementary to x0) plus a pair of
// columns with the same entries, one >= 0 and one <= 0, whose costs differ:
// raising the first and lowering the second by the same amount keeps every
// row and lowers the cost without limit.  Both their dual constraints cannot
// hold at once, so every bound that presolve derives from the duals is
// vacuous here.
RandomLp randomUnboundedLp(std::mt19937& rng, int n, int m) {
  RandomLp p;
  std::uniform_int_distribution<int> coef(-4, 4), pick(0, 99);
  std::vector<double> x0(n), y(m);
  for (int j = 0; j < n; ++j) {
    const int kind = pick(rng) % 4;
    p.lb.push_back(kind == 3 ? -kInf : 0.0);
    p.ub.push_back(kind == 2 ? 4.0 : kInf);
    x0[j] = pick(rng) < 50 ? (kind == 3 ? -1.0 : 0.0) : 1.0 + pick(rng) % 3;
    if (kind == 3 && x0[j] == -1.0) x0[j] = 2.0;
  }
  std::vector<std::vector<std::pair<int, double>>> rows(m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j)
      if (pick(rng) < 45)
        if (const int c = coef(rng)) rows[i].push_back({j, static_cast<double>(c)});
    double act = 0;
    for (auto [j, v] : rows[i]) act += v * x0[j];
    PresolveTest::Row r;
    r.terms = rows[i];
    r.sense = "GLEG"[pick(rng) % 4];
    const bool tight = r.sense == 'E' || pick(rng) < 70;
    r.rhs = tight ? act : act + (r.sense == 'L' ? 2.0 : -2.0);
    y[i] = !tight ? 0.0 : r.sense == 'G' ? pick(rng) % 4 : r.sense == 'L' ? -(pick(rng) % 4) : coef(rng);
    p.rows.push_back(r);
  }
  for (int j = 0; j < n; ++j) {
    double aty = 0;
    for (int i = 0; i < m; ++i)
      for (auto [jj, v] : rows[i])
        if (jj == j) aty += v * y[i];
    // Reduced cost: >= 0 at a lower bound, <= 0 at an upper one, 0 between.
    double d = 0;
    if (x0[j] == p.lb[j]) d = pick(rng) % 3;
    else if (x0[j] == p.ub[j]) d = -(pick(rng) % 3);
    p.obj.push_back(aty + d);
  }
  const double t = coef(rng), u = 1 + pick(rng) % 4;
  p.obj.push_back(t);
  p.lb.push_back(0.0);
  p.ub.push_back(kInf);
  p.obj.push_back(t + u);
  p.lb.push_back(-kInf);
  p.ub.push_back(0.0);
  // The pair in at least two rows (one row alone makes the conflict of its
  // dual constraints plain at once).
  int in = 0;
  for (size_t i = 0; i < p.rows.size(); ++i)
    if (pick(rng) < 50 || p.rows.size() - i <= static_cast<size_t>(std::max(0, 2 - in))) {
      const double v = pick(rng) < 50 ? 1.0 + pick(rng) % 3 : -1.0 - pick(rng) % 3;
      p.rows[i].terms.push_back({n, v});
      p.rows[i].terms.push_back({n + 1, v});
      ++in;
    }
  return p;
}

// Outcomes of random models with presolve off and on.
struct OnOffCounts {
  int optimal = 0, reduced = 0, settled = 0;
  int mappedBack = 0, cleanup = 0;  // optimal through a reduced problem; of those, needing iterations after it
  int unbounded = 0;  // unbounded with presolve off
};

class RandomPresolve : public PresolveTest {
 protected:
  void compareOnOff(const RandomLp& p, int trial, OnOffCounts& counts);
  // Add the per-reduction counts of the presolve kept on the problem.
  void addReductionCounts(vnt::presolve::Counts& sum) {
    vnt::Env* e = nullptr;
    vnt::model::Problem* prob = nullptr;
    ASSERT_EQ(vnt::api::enter(env, lp, &e, &prob, false), 0);
    const vnt::presolve::PresolveState* st = vnt::presolve::findState(*prob);
    if (!st || !st->pre) return;
    const vnt::presolve::Counts& c = st->pre->counts;
    // The status arrays name every original row and column: kept ones by
    // their reduced index, removed ones by a negative code.
    const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
    std::vector<int> pc(n), pr(m);
    int prestat = 0;
    ASSERT_EQ(VNTgetprestat(env, lp, &prestat, pc.data(), pr.data(), nullptr, nullptr), 0);
    for (int j = 0; j < n; ++j) {
      EXPECT_EQ(pc[j] >= 0 ? pc[j] : -1, st->pre->colReduced[j]) << "column " << j;
      EXPECT_GE(pc[j], -4);
    }
    for (int i = 0; i < m; ++i) {
      EXPECT_EQ(pr[i] >= 0 ? pr[i] : -1, st->pre->rowReduced[i]) << "row " << i;
      EXPECT_GE(pr[i], -3);
    }
    sum.duplicateCols += c.duplicateCols;
    sum.dominatedCols += c.dominatedCols;
    sum.impliedFreeSubst += c.impliedFreeSubst;
    sum.slackSingletons += c.slackSingletons;
    sum.dependentRows += c.dependentRows;
    sum.subsetRowCols += c.subsetRowCols;
  }
};

void RandomPresolve::compareOnOff(const RandomLp& p, int trial, OnOffCounts& counts) {
  double objOff = 0, objOn = 0;
  int statOff = 0, statOn = 0;
  bool presolveInfeasible = false;
  for (int on : {0, 1}) {
    ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, on), 0);
    clearLines();
    load(p.objsen, p.obj, p.lb, p.ub, p.rows);
    const int st = VNTlpopt(env, lp);
    const int stat = VNTgetstat(env, lp);
    if (stat == 2) expectPointAndRay();
    if (on) {
      // Presolve's verdict, also when the simplex re-solved the model after it.
      presolveInfeasible = st == 1117;
      for (const char* diag : {"Bound infeasibility column", "Infeasible column", "Implied bounds make row",
                               "infeasible, all entries at implied bounds", "are inconsistent", "Infeasibility row"})
        presolveInfeasible = presolveInfeasible || results.contains(diag);
      ASSERT_TRUE(st == 0 || st == 1117 || st == 1101 || st == 1118) << "trial " << trial << " code " << st;
      if (st != 0) ++counts.settled;
      if (results.contains("Presolve eliminated")) ++counts.reduced;
    } else {
      ASSERT_EQ(st, 0) << "trial " << trial;
    }
    double obj = 0;
    if (stat == 1 && on) {
      // The basis mapped back from the reduced problem should be optimal
      // for the original one: iterations after postsolve are counted.
      int prestat = 0;
      VNTCLPptr red = nullptr;
      if (VNTgetprestat(env, lp, &prestat, nullptr, nullptr, nullptr, nullptr) == 0 && prestat == 1 &&
          VNTgetredlp(env, lp, &red) == 0 && red) {
        ++counts.mappedBack;
        if (VNTgetitcnt(env, lp) > VNTgetitcnt(env, red)) ++counts.cleanup;
      }
    }
    if (stat == 1) {
      ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
      const vnt::test::Quality q = quality(lp);
      EXPECT_LE(q.primal, 1e-7) << "trial " << trial << " presolve " << on;
      EXPECT_LE(q.dual, 1e-7) << "trial " << trial << " presolve " << on;
      EXPECT_LE(q.slackness, 1e-7) << "trial " << trial << " presolve " << on;
    }
    (on ? objOn : objOff) = obj;
    (on ? statOn : statOff) = stat;
  }
  if (statOff == 1) {
    ++counts.optimal;
    ASSERT_EQ(statOn, 1) << "trial " << trial;
    EXPECT_NEAR(objOn, objOff, 1e-7 * std::max(1.0, std::fabs(objOff))) << "trial " << trial;
  } else if (statOff == 3) {
    EXPECT_TRUE(statOn == 3 || statOn == 4) << "trial " << trial << " status " << statOn;
  } else if (statOff == 2) {
    ++counts.unbounded;
    EXPECT_TRUE(statOn == 2 || statOn == 4) << "trial " << trial << " status " << statOn;
  }
  // Presolve's own verdict: infeasible only for an infeasible model.
  if (presolveInfeasible) {
    EXPECT_EQ(statOff, 3) << "trial " << trial;
  }
}

TEST_F(RandomPresolve, RandomLpsSameOptimumWithAndWithoutPresolve) {
  std::mt19937 rng(20261207);
  OnOffCounts counts;
  for (int trial = 0; trial < 150; ++trial) {
    const int n = 4 + trial % 9, m = 2 + trial % 7;
    compareOnOff(randomLp(rng, n, m), trial, counts);
    if (HasFatalFailure()) return;
  }
  EXPECT_GE(counts.optimal, 50);
  EXPECT_GE(counts.reduced, 100);
  EXPECT_LE(counts.cleanup * 20, counts.mappedBack);
  std::printf("[ random   ] %d optimal, %d reduced, %d settled by presolve; %d of %d needed iterations after postsolve\n",
              counts.optimal, counts.reduced, counts.settled, counts.cleanup, counts.mappedBack);
}

// The same with duplicate columns, slack-like singletons and longer
// equations through free columns: the duplicate-column, dominated-column and
// substitution reductions must fire and keep the optimum.
TEST_F(RandomPresolve, RandomLpsWithColumnStructures) {
  std::mt19937 rng(771);
  OnOffCounts counts;
  vnt::presolve::Counts fired;
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 4 + trial % 8, m = 2 + trial % 6;
    RandomLp p = randomLp(rng, n, m);
    addColumnStructures(rng, p);
    compareOnOff(p, trial, counts);
    if (HasFatalFailure()) return;
    addReductionCounts(fired);
  }
  EXPECT_GE(counts.optimal, 60);
  EXPECT_GE(counts.mappedBack, 50);
  EXPECT_LE(counts.cleanup * 20, counts.mappedBack);
  EXPECT_GT(fired.duplicateCols, 20);
  EXPECT_GT(fired.dominatedCols, 5);
  EXPECT_GT(fired.impliedFreeSubst, 20);
  EXPECT_GT(fired.slackSingletons, 5);
  EXPECT_GT(fired.dependentRows, 5);
  std::printf("[ random   ] %d optimal, %d settled; %lld duplicate, %lld dominated, %lld substituted, %lld slack "
              "singletons, %lld dependent rows; %d of %d needed iterations after postsolve\n",
              counts.optimal, counts.settled, fired.duplicateCols, fired.dominatedCols, fired.impliedFreeSubst,
              fired.slackSingletons, fired.dependentRows, counts.cleanup, counts.mappedBack);
}

TEST_F(RandomPresolve, PartitionCopiesAndFixedChargeSingletons) {
  std::mt19937 rng(90210);
  OnOffCounts counts;
  vnt::presolve::Counts fired;
  for (int trial = 0; trial < 150; ++trial) {
    RandomLp p = randomLp(rng, 3 + trial % 5, 1 + trial % 4);
    addPartitionsAndFixedCharges(rng, p);
    compareOnOff(p, trial, counts);
    if (HasFatalFailure()) return;
    addReductionCounts(fired);
  }
  EXPECT_GE(counts.optimal, 80);
  EXPECT_GE(counts.mappedBack, 20);
  EXPECT_LE(counts.cleanup * 20, counts.mappedBack);
  EXPECT_GT(fired.duplicateCols, 150);
  EXPECT_GT(fired.slackSingletons, 80);
  EXPECT_GT(fired.subsetRowCols, 15);
  std::printf("[ random   ] %d optimal, %d settled; %lld duplicate, %lld slack singletons, %lld fixed by a row they "
              "hold; %d of %d needed iterations after postsolve\n",
              counts.optimal, counts.settled, fired.duplicateCols, fired.slackSingletons, fired.subsetRowCols,
              counts.cleanup, counts.mappedBack);
}

// Unbounded models: presolve never calls one infeasible, and an unbounded
// answer has its point and ray.
TEST_F(RandomPresolve, RandomUnboundedLpsKeepTheirVerdict) {
  std::mt19937 rng(4242);
  OnOffCounts counts;
  for (int trial = 0; trial < 300; ++trial) {
    compareOnOff(randomUnboundedLp(rng, 1 + trial % 4, 2 + trial % 3), trial, counts);
    if (HasFatalFailure()) return;
  }
  EXPECT_GE(counts.unbounded, 200);
  std::printf("[ random   ] %d unbounded (presolve off), %d settled by presolve\n", counts.unbounded, counts.settled);
}

// Tall models (many more rows than columns after presolve): the automatic
// setting of VNTPARAM_Preprocessing_Dual solves their dual formulation.  The
// answer must be the one the primal formulation gives, optimal for the
// original model, also when the model is infeasible or unbounded (the
// primal formulation takes over when the dual ends without an optimum).
TEST_F(RandomPresolve, TallLpsSolveThroughTheirDualAtTheAutomaticSetting) {
  ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 20000), 0);
  std::mt19937 rng(9127);
  std::uniform_int_distribution<int> pick(0, 99), coef(-4, 4);
  int formed = 0, optimal = 0, other = 0;
  for (int trial = 0; trial < 6; ++trial) {
    const int n = 60 + 10 * trial, m = 1000 + 40 * trial;
    RandomLp p;
    p.objsen = trial % 2 ? -1 : 1;
    std::vector<double> x0(n);
    for (int j = 0; j < n; ++j) {
      p.obj.push_back(coef(rng));
      p.lb.push_back(-5.0 - pick(rng) % 3);
      p.ub.push_back(5.0 + pick(rng) % 3);
      x0[j] = pick(rng) % 7 - 3;
    }
    // Trials 4 and 5 move the right-hand sides off the point: such a model
    // may be infeasible.
    const bool shifted = trial >= 4;
    for (int i = 0; i < m; ++i) {
      PresolveTest::Row r;
      for (int k = 0; k < 8; ++k) {
        const int c = coef(rng);
        const int j = pick(rng) % n;
        if (c != 0 && std::none_of(r.terms.begin(), r.terms.end(), [j](const auto& t) { return t.first == j; }))
          r.terms.push_back({j, static_cast<double>(c)});
      }
      double act = 0;
      for (auto [j, v] : r.terms) act += v * x0[j];
      if (shifted) act += pick(rng) % 9 - 4;
      r.sense = "LGER"[pick(rng) % 4];
      if (r.sense == 'E' && pick(rng) < 80) r.sense = 'L';  // few equations: the model keeps its freedom
      const double s1 = pick(rng) % 3;
      r.rhs = r.sense == 'L' ? act + s1 : r.sense == 'G' ? act - s1 : act - (r.sense == 'R' ? s1 : 0.0);
      if (r.sense == 'R') r.rng = s1 + 1 + pick(rng) % 3;
      p.rows.push_back(r);
    }
    double objs[2] = {0, 0};
    int stats[2] = {0, 0};
    for (int setting : {-1, 0}) {
      ASSERT_EQ(VNTsetintparam(env, VNTPARAM_Preprocessing_Dual, setting), 0);
      clearLines();
      load(p.objsen, p.obj, p.lb, p.ub, p.rows);
      const int st = VNTlpopt(env, lp);
      ASSERT_TRUE(st == 0 || st == 1117 || st == 1101 || st == 1118) << "trial " << trial << " code " << st;
      const bool viaDual = results.contains("DUAL formed by presolve\n");
      if (setting < 0) EXPECT_FALSE(viaDual) << "trial " << trial;
      else formed += viaDual;
      const int stat = VNTgetstat(env, lp);
      stats[setting + 1] = stat;
      if (stat == 2) expectPointAndRay();
      if (stat != 1) continue;
      ASSERT_EQ(VNTgetobjval(env, lp, &objs[setting + 1]), 0);
      const vnt::test::Quality q = quality(lp);
      EXPECT_LE(q.primal, 1e-7) << "trial " << trial << " setting " << setting;
      EXPECT_LE(q.dual, 1e-7) << "trial " << trial << " setting " << setting;
      EXPECT_LE(q.slackness, 1e-7) << "trial " << trial << " setting " << setting;
    }
    EXPECT_EQ(stats[1], stats[0]) << "trial " << trial;
    if (stats[0] == 1 && stats[1] == 1) {
      ++optimal;
      EXPECT_NEAR(objs[1], objs[0], 1e-7 * std::max(1.0, std::fabs(objs[0]))) << "trial " << trial;
    } else {
      ++other;
    }
  }
  EXPECT_GE(formed, 4);
  EXPECT_GE(optimal, 3);
  std::printf("[ tall     ] dual formed on %d of 6; %d optimal, %d infeasible or unbounded\n", formed, optimal, other);
}

// ---------------------------------------------------------------------------
// Operations on the presolved problem.

TEST_F(PresolveTest, CrushAndUncrushVectors) {
  read("netlib", "scagr7");
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetstat(env, lp), 1);
  VNTCLPptr red = nullptr;
  ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  const int nr = VNTgetnumcols(env, red), mr = VNTgetnumrows(env, red);
  ASSERT_LT(nr, n);
  std::vector<double> x(n), pre(n), back(n), pi(m), prepi(m), pib(m);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetpi(env, lp, pi.data(), 0, m - 1), 0);
  ASSERT_EQ(VNTcrushx(env, lp, x.data(), pre.data()), 0);
  ASSERT_EQ(VNTuncrushx(env, lp, back.data(), pre.data()), 0);
  std::vector<int> pc(n), pr(m), oc(n), orow(m);
  int prestat = 0;
  ASSERT_EQ(VNTgetprestat(env, lp, &prestat, pc.data(), pr.data(), oc.data(), orow.data()), 0);
  EXPECT_EQ(prestat, 1);
  int kept = 0;
  for (int j = 0; j < n; ++j) {
    if (pc[j] >= 0) {
      ++kept;
      EXPECT_EQ(oc[pc[j]], j);
      EXPECT_EQ(back[j], x[j]) << "kept column " << j;
    } else {
      EXPECT_GE(pc[j], -4);
      // Removed columns come back from the records: the optimum's values.
      EXPECT_NEAR(back[j], x[j], 1e-6 * std::max(1.0, std::fabs(x[j]))) << "removed column " << j;
    }
  }
  EXPECT_EQ(kept, nr);
  int keptRows = 0;
  for (int i = 0; i < m; ++i)
    if (pr[i] >= 0) {
      ++keptRows;
      EXPECT_EQ(orow[pr[i]], i);
    }
  EXPECT_EQ(keptRows, mr);
  // Duals: uncrushing the crushed duals of the optimum gives duals that
  // price the original problem like the optimum's (same objective bound).
  ASSERT_EQ(VNTcrushpi(env, lp, pi.data(), prepi.data()), 0);
  ASSERT_EQ(VNTuncrushpi(env, lp, pib.data(), prepi.data()), 0);
  for (int i = 0; i < m; ++i)
    if (pr[i] >= 0) {
      EXPECT_NEAR(pib[i], pi[i], 1e-9 * std::max(1.0, std::fabs(pi[i])));
    }
}

TEST_F(PresolveTest, CrushedObjectiveFormGivesTheSameValue) {
  read("netlib", "sc50a");
  ASSERT_EQ(VNTpresolve(env, lp, 0), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> obj(n), x(n);
  ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  std::vector<int> ind;
  std::vector<double> val;
  double value = 0;
  for (int j = 0; j < n; ++j)
    if (obj[j] != 0) {
      ind.push_back(j);
      val.push_back(obj[j]);
      value += obj[j] * x[j];
    }
  std::vector<int> pind(n);
  std::vector<double> pval(n), prex(n);
  int plen = 0;
  double off = 0;
  ASSERT_EQ(VNTcrushform(env, lp, static_cast<int>(ind.size()), ind.data(), val.data(), &plen, &off, pind.data(),
                         pval.data()),
            0);
  ASSERT_EQ(VNTcrushx(env, lp, x.data(), prex.data()), 0);
  double crushed = off;
  for (int t = 0; t < plen; ++t) crushed += pval[t] * prex[pind[t]];
  EXPECT_NEAR(crushed, value, 1e-7 * std::max(1.0, std::fabs(value)));
  // Back to the original columns: same coefficients on the kept columns.
  std::vector<int> oind(n);
  std::vector<double> oval(n);
  int olen = 0;
  double ooff = 1;
  ASSERT_EQ(VNTuncrushform(env, lp, plen, pind.data(), pval.data(), &olen, &ooff, oind.data(), oval.data()), 0);
  EXPECT_EQ(olen, plen);
  EXPECT_EQ(ooff, 0.0);
}

// A linear form crushed onto the reduced columns gives, at any reduced
// point, the value the original form takes at that point mapped back: every
// kind of removal (fixed, substituted, merged duplicate) carries its part of
// the form into the reduced coefficients or the constant.  Checked with the
// objective and with a random form over all columns, at the optimum.
TEST_F(PresolveTest, CrushedFormsAgreeWithUncrushedPointsOnNetlib) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coef(-2.0, 2.0);
  for (const char* name : {"sc50a", "scagr7", "ship04s", "stocfor1", "share1b", "scfxm1", "vtpbase", "gfrd-pnc",
                           "capri", "recipe", "boeing2", "agg"}) {
    SCOPED_TRACE(name);
    read("netlib", name);
    ASSERT_EQ(VNTsetlongparam(env, VNT_PARAM_ITLIM, 100000), 0);
    ASSERT_EQ(VNTlpopt(env, lp), 0);
    ASSERT_EQ(VNTgetstat(env, lp), 1);
    VNTCLPptr red = nullptr;
    ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
    const int n = VNTgetnumcols(env, lp), nr = VNTgetnumcols(env, red), mr = VNTgetnumrows(env, red);
    std::vector<double> x(n), prex(n), back(n), obj(n);
    ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTcrushx(env, lp, x.data(), prex.data()), 0);
    ASSERT_EQ(VNTuncrushx(env, lp, back.data(), prex.data()), 0);
    std::vector<double> random(n);
    for (double& v : random) v = coef(rng);
    for (const std::vector<double>* form : {&obj, &random}) {
      std::vector<int> ind;
      std::vector<double> val;
      double want = 0;
      for (int j = 0; j < n; ++j)
        if ((*form)[j] != 0) {
          ind.push_back(j);
          val.push_back((*form)[j]);
          want += (*form)[j] * back[j];
        }
      std::vector<int> pind(n);
      std::vector<double> pval(n);
      int plen = 0;
      double off = 0;
      ASSERT_EQ(VNTcrushform(env, lp, static_cast<int>(ind.size()), ind.data(), val.data(), &plen, &off, pind.data(),
                             pval.data()),
                0);
      ASSERT_LE(plen, nr);
      double got = off, scale = 1.0;
      for (int t = 0; t < plen; ++t) {
        got += pval[t] * prex[pind[t]];
        scale += std::fabs(pval[t] * prex[pind[t]]);
      }
      EXPECT_NEAR(got, want, 1e-9 * std::max(scale, std::fabs(want))) << (form == &obj ? "objective" : "random form");
    }
    // The original index of every reduced column and row.
    std::vector<int> pc(n), pr(VNTgetnumrows(env, lp)), oc(nr + 1, -7), orow(mr + 1, -7);
    int prestat = 0;
    ASSERT_EQ(VNTgetprestat(env, lp, &prestat, pc.data(), pr.data(), nullptr, nullptr), 0);
    if (nr > 0) {
      ASSERT_EQ(VNTEgetorigcolind(env, lp, oc.data(), 0, nr - 1), 0);
    }
    if (mr > 0) {
      ASSERT_EQ(VNTEgetorigrowind(env, lp, orow.data(), 0, mr - 1), 0);
    }
    for (int j = 0; j < n; ++j) {
      if (pc[j] >= 0) {
        EXPECT_EQ(oc[pc[j]], j);
      }
    }
    for (size_t i = 0; i < pr.size(); ++i) {
      if (pr[i] >= 0) {
        EXPECT_EQ(orow[pr[i]], static_cast<int>(i));
      }
    }
    EXPECT_EQ(oc[nr], -7);
    EXPECT_EQ(VNTEgetorigcolind(env, lp, oc.data(), 0, nr), 1200);
    EXPECT_EQ(VNTEgetorigrowind(env, lp, nullptr, 0, 0), 1004);
  }
  ASSERT_EQ(VNTfreepresolve(env, lp), 0);
  int one = 0;
  EXPECT_EQ(VNTEgetorigcolind(env, lp, &one, 0, 0), 1103);
}

TEST_F(PresolveTest, PresolveOperationsAndTheirErrors) {
  read("netlib", "afiro");
  std::vector<double> v(64), w(64);
  EXPECT_EQ(VNTcrushx(env, lp, v.data(), w.data()), 1103);
  EXPECT_EQ(VNTuncrushpi(env, lp, v.data(), w.data()), 1103);
  EXPECT_EQ(VNTpresolve(env, lp, 0), 0);
  EXPECT_TRUE(results.contains("Reduced LP has"));
  VNTCLPptr red = nullptr;
  ASSERT_EQ(VNTgetredlp(env, lp, &red), 0);
  ASSERT_NE(red, nullptr);
  EXPECT_LT(VNTgetnumcols(env, red), VNTgetnumcols(env, lp));
  // Writing the reduced problem and reading it back gives its sizes.
  const std::string file = testing::TempDir() + "/presolved_afiro.lp";
  double off = 0;
  ASSERT_EQ(VNTpreslvwrite(env, lp, file.c_str(), &off), 0);
  int st = 0;
  VNTLPptr back = VNTcreateprob(env, &st, "back");
  ASSERT_EQ(VNTreadcopyprob(env, back, file.c_str(), nullptr), 0);
  EXPECT_EQ(VNTgetnumrows(env, back), VNTgetnumrows(env, red));
  EXPECT_EQ(VNTgetnumcols(env, back), VNTgetnumcols(env, red));
  ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_PREIND, 0), 0);
  ASSERT_EQ(VNTlpopt(env, back), 0);
  double objRed = 0, objOrig = 0;
  ASSERT_EQ(VNTgetobjval(env, back, &objRed), 0);
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_EQ(VNTgetobjval(env, lp, &objOrig), 0);
  // The objective constant of the reduced problem comes back through the
  // call (the file may not carry it).
  double fileOff = 0;
  ASSERT_EQ(VNTgetobjoffset(env, back, &fileOff), 0);
  EXPECT_NEAR(objRed - fileOff + off, objOrig, 1e-6 * std::fabs(objOrig));
  VNTfreeprob(env, &back);
  // A change to the model discards the presolved problem.
  int idx = 0;
  double nv = 2.0;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &idx, &nv), 0);
  EXPECT_EQ(VNTgetredlp(env, lp, &red), 1103);
  EXPECT_EQ(VNTpresolve(env, lp, 0), 0);
  EXPECT_EQ(VNTfreepresolve(env, lp), 0);
  EXPECT_EQ(VNTgetredlp(env, lp, &red), 1103);
}

TEST_F(PresolveTest, WarmStartAfterABoundChangeSkipsPresolve) {
  read("netlib", "scfxm1");
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  ASSERT_TRUE(results.contains("Reduced LP has"));
  const int n = VNTgetnumcols(env, lp);
  std::vector<double> x(n);
  ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
  // Tighten a bound at the optimum: the re-solve starts from the last basis.
  int j = -1;
  for (int k = 0; k < n && j < 0; ++k)
    if (x[k] > 1.0) j = k;
  ASSERT_GE(j, 0);
  char lu = 'U';
  double bd = 0.5 * x[j];
  ASSERT_EQ(VNTchgbds(env, lp, 1, &j, &lu, &bd), 0);
  clearLines();
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  EXPECT_FALSE(results.contains("Presolve time"));
  EXPECT_EQ(VNTgetstat(env, lp), 1);
  EXPECT_LT(VNTgetitcnt(env, lp), 100);
  const vnt::test::Quality q = quality(lp);
  EXPECT_LE(q.primal, 1e-6);
  EXPECT_LE(q.dual, 1e-6);
}

TEST_F(PresolveTest, PresolvedBasisLoadedBackNeedsNoIterations) {
  read("netlib", "share2b");
  ASSERT_EQ(VNTlpopt(env, lp), 0);
  const int n = VNTgetnumcols(env, lp), m = VNTgetnumrows(env, lp);
  std::vector<int> cstat(n), rstat(m);
  ASSERT_EQ(VNTgetbase(env, lp, cstat.data(), rstat.data()), 0);
  double obj = 0;
  ASSERT_EQ(VNTgetobjval(env, lp, &obj), 0);
  int st = 0;
  VNTLPptr other = VNTcreateprob(env, &st, "other");
  ASSERT_EQ(VNTreadcopyprob(env, other, vnt::test::modelPath("netlib", "share2b").c_str(), nullptr), 0);
  ASSERT_EQ(VNTcopybase(env, other, cstat.data(), rstat.data()), 0);
  ASSERT_EQ(VNTlpopt(env, other), 0);
  double obj2 = 0;
  ASSERT_EQ(VNTgetobjval(env, other, &obj2), 0);
  EXPECT_NEAR(obj2, obj, 1e-9 * std::fabs(obj));
  EXPECT_EQ(VNTgetitcnt(env, other), 0);
  VNTfreeprob(env, &other);
}

}  // namespace
