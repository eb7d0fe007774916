// Presolve in MIP mode on small random integer models, checked by
// enumerating every integer point: the reduced model (with the presolve
// offset) has the original optimum, its best point mapped back is feasible
// for the original model with the same objective, and infeasibility found
// by presolve is real.  The models carry knapsack-like rows (coefficient
// tightening), a continuous column fixed to integers by an equation
// (implied integer) or to halves, binaries, general integers and every row
// sense.  Semi-continuous and semi-integer columns (domain {0} u [l, u])
// are checked the same way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include "api/frame.h"
#include "presolve/presolve.h"
#include "vanto/vanto.h"

namespace {

using vnt::model::ModelData;

struct Row {
  char sense;
  double rhs;
  std::vector<std::pair<int, double>> terms;
};

ModelData buildModel(int objsen, const std::vector<double>& obj, const std::vector<double>& lb,
                     const std::vector<double>& ub, const std::vector<char>& ctype, const std::vector<Row>& rows) {
  ModelData md;
  md.objsen = objsen;
  md.obj = obj;
  md.lb = lb;
  md.ub = ub;
  md.ctype = ctype;
  const int n = static_cast<int>(obj.size());
  for (const Row& r : rows) {
    md.sense.push_back(r.sense);
    md.rhs.push_back(r.rhs);
  }
  md.matbeg.assign(1, 0);
  for (int j = 0; j < n; ++j) {
    for (size_t i = 0; i < rows.size(); ++i)
      for (auto [c, v] : rows[i].terms)
        if (c == j) {
          md.matind.push_back(static_cast<int>(i));
          md.matval.push_back(v);
        }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  return md;
}

bool semi(const ModelData& md, int j) { return md.ctype[j] == 'S' || md.ctype[j] == 'N'; }

// Row activities within the row limits (sense and rhs), bounds held (or 0
// for a semi-continuous column).
bool feasible(const ModelData& md, const std::vector<double>& x) {
  const int n = md.numCols(), m = md.numRows();
  for (int j = 0; j < n; ++j)
    if ((x[j] < md.lb[j] - 1e-9 || x[j] > md.ub[j] + 1e-9) && !(semi(md, j) && x[j] == 0.0)) return false;
  std::vector<double> act(m, 0.0);
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) act[md.matind[k]] += md.matval[k] * x[j];
  for (int i = 0; i < m; ++i) {
    const double t = 1e-7 * std::max(1.0, std::fabs(md.rhs[i]));
    const double rng = md.rngval.empty() ? 0.0 : md.rngval[i];
    switch (md.sense[i]) {
      case 'L': if (act[i] > md.rhs[i] + t) return false; break;
      case 'G': if (act[i] < md.rhs[i] - t) return false; break;
      case 'E': if (std::fabs(act[i] - md.rhs[i]) > t) return false; break;
      default: {
        const double lo = rng >= 0 ? md.rhs[i] : md.rhs[i] + rng, up = rng >= 0 ? md.rhs[i] + rng : md.rhs[i];
        if (act[i] < lo - t || act[i] > up + t) return false;
      }
    }
  }
  return true;
}

double objective(const ModelData& md, const std::vector<double>& x) {
  double v = md.objoffset;
  for (int j = 0; j < md.numCols(); ++j) v += md.obj[j] * x[j];
  return v;
}

// Best point by enumeration (integer columns on the integers, continuous
// ones on the halves, within their finite bounds); false when there is none.
bool enumerate(const ModelData& md, std::vector<double>& best, double& bestObj) {
  const int n = md.numCols();
  std::vector<double> x(n);
  bool found = false;
  std::function<void(int)> rec = [&](int j) {
    if (j == n) {
      if (!feasible(md, x)) return;
      const double v = objective(md, x);
      if (!found || md.objsen * v < md.objsen * bestObj - 1e-9) {
        found = true;
        bestObj = v;
        best = x;
      }
      return;
    }
    // Continuous columns on the grid of halves (their equations have
    // integer or half-integer data), integer ones on the integers.
    const double step = md.ctype[j] == 'C' || md.ctype[j] == 'S' ? 0.5 : 1.0;
    const bool zeroApart = semi(md, j) && (md.lb[j] > 0.0 || md.ub[j] < 0.0);
    if (zeroApart) {
      x[j] = 0.0;
      rec(j + 1);
    }
    for (double v = step * std::ceil(md.lb[j] / step - 1e-9); v <= md.ub[j] + 1e-9; v += step) {
      x[j] = v;
      rec(j + 1);
    }
  };
  rec(0);
  return found;
}

// A random integer model: binaries and small general integers, knapsack
// rows over binaries, mixed rows of every sense, and now and then a
// continuous column that an equation with integer data keeps integer.
ModelData randomMip(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99), coef(-5, 5);
  const int nb = 3 + pick(rng) % 3, ng = 1 + pick(rng) % 2;
  std::vector<double> obj, lb, ub;
  std::vector<char> ctype;
  for (int j = 0; j < nb; ++j) {
    obj.push_back(coef(rng));
    lb.push_back(0);
    ub.push_back(1);
    ctype.push_back('B');
  }
  for (int j = 0; j < ng; ++j) {
    obj.push_back(coef(rng));
    lb.push_back(-1.0 + pick(rng) % 2);
    ub.push_back(2.0 + pick(rng) % 2);
    ctype.push_back('I');
  }
  const int n0 = nb + ng;
  std::vector<Row> rows;
  // Knapsack rows: positive and negative weights over the binaries, some
  // weights larger than the capacity leaves room for.
  for (int t = 0; t < 1 + pick(rng) % 2; ++t) {
    Row r;
    double sumPos = 0;
    for (int j = 0; j < nb; ++j)
      if (pick(rng) < 80) {
        const double w = (pick(rng) < 80 ? 1 : -1) * (1.0 + pick(rng) % 9);
        r.terms.push_back({j, w});
        if (w > 0) sumPos += w;
      }
    if (r.terms.size() < 2) continue;
    r.sense = 'L';
    r.rhs = std::floor(sumPos * (0.4 + 0.5 * (pick(rng) % 100) / 100.0));
    if (pick(rng) < 40) {  // the same row from its lower side
      for (auto& tm : r.terms) tm.second = -tm.second;
      r.sense = 'G';
      r.rhs = -r.rhs;
    }
    rows.push_back(r);
  }
  for (int t = 0; t < 1 + pick(rng) % 3; ++t) {
    Row r;
    for (int j = 0; j < n0; ++j)
      if (pick(rng) < 45) {
        const int c = coef(rng);
        if (c) r.terms.push_back({j, static_cast<double>(c)});
      }
    if (r.terms.empty()) continue;
    r.sense = "LGE"[pick(rng) % 3];
    double act = 0;  // around a point of small integers
    for (auto [j, v] : r.terms) act += v * (ctype[j] == 'B' ? pick(rng) % 2 : pick(rng) % 3);
    r.rhs = r.sense == 'E' ? act : act + (r.sense == 'L' ? 1 : -1) * (pick(rng) % 3);
    rows.push_back(r);
  }
  if (pick(rng) < 60) {
    // y = rhs + integer multiples of integer columns, y continuous: integer
    // in every solution when rhs is.
    const int y = static_cast<int>(obj.size());
    obj.push_back(coef(rng));
    // Bounds tighter than the equation implies, so that y stays.
    lb.push_back(0);
    ub.push_back(2 + pick(rng) % 2);
    ctype.push_back('C');
    Row r;
    r.sense = 'E';
    r.rhs = 0.5 * (pick(rng) % 5);  // a half-integer one leaves y fractional
    r.terms.push_back({y, 1.0});
    r.terms.push_back({pick(rng) % n0, 1.0 + pick(rng) % 2});
    const int other = pick(rng) % n0;
    if (other != r.terms.back().first) r.terms.push_back({other, -1.0});
    rows.push_back(r);
    // y in two more rows so that it stays no column singleton.
    for (int t = 0; t < 2; ++t) {
      Row s;
      s.sense = t ? 'G' : 'L';
      s.rhs = t ? -1.0 - pick(rng) % 2 : 2.0 + pick(rng) % 3;
      s.terms = {{y, t ? -1.0 : 1.0}, {pick(rng) % n0, 1.0}, {pick(rng) % n0, -1.0}};
      if (s.terms[1].first == s.terms[2].first) s.terms.pop_back();
      rows.push_back(s);
    }
  }
  return buildModel(pick(rng) < 50 ? 1 : -1, obj, lb, ub, ctype, rows);
}

// The random model with some columns made semi-continuous or semi-integer
// with a lower bound above 0, in rows whose limits often leave room for the
// column only at 0 or only away from it.
ModelData randomSemiMip(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  ModelData md = randomMip(rng);
  const int n = md.numCols();
  std::vector<Row> extra;
  for (int j = 0; j < n; ++j) {
    if (md.ctype[j] == 'B' || pick(rng) < 50) continue;
    md.ctype[j] = md.ctype[j] == 'C' || pick(rng) < 40 ? 'S' : 'N';
    md.lb[j] = 1.0 + pick(rng) % 2;
    md.ub[j] = md.lb[j] + 1.0 + pick(rng) % 2;
    // A row on the column alone (3 x <= 1, x >= 2, ...) now and then.
    if (pick(rng) < 40) {
      const double a = 1.0 + pick(rng) % 3;
      if (pick(rng) < 50) extra.push_back({'L', a * (pick(rng) % 4) - 1.0 + pick(rng) % 2, {{j, a}}});
      else extra.push_back({'G', a * (pick(rng) % 3), {{j, a}}});
    }
  }
  // Append the extra rows (column-wise data: rebuild).
  std::vector<Row> rows;
  for (int i = 0; i < md.numRows(); ++i) rows.push_back({md.sense[i], md.rhs[i], {}});
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) rows[md.matind[k]].terms.push_back({j, md.matval[k]});
  rows.insert(rows.end(), extra.begin(), extra.end());
  return buildModel(md.objsen, md.obj, md.lb, md.ub, md.ctype, rows);
}

// Set-partitioning rows over binaries with copies of equal support (equal
// or different costs), a row holding another one, and a general integer column with an integer copy
// and a continuous copy in a knapsack row or equation: the dearer copy goes to its bound
// only where the other one can take its value and stay integer.
ModelData randomPartitionMip(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  std::vector<double> obj, lb, ub;
  std::vector<char> ctype;
  auto col = [&](double c, double lo, double up, char t) {
    obj.push_back(c);
    lb.push_back(lo);
    ub.push_back(up);
    ctype.push_back(t);
    return static_cast<int>(obj.size()) - 1;
  };
  std::vector<Row> rows(2, Row{'E', 1.0, {}});
  for (auto& r : rows) r.terms.push_back({col(5, 0, 1, 'B'), 1.0});
  for (int t = 0; t < 2 + pick(rng) % 2; ++t) {
    const int mask = 1 + pick(rng) % 3;
    const double c = pick(rng) % 5 - 1;
    for (int copy = 0; copy < 2; ++copy) {
      const int j = col(copy && pick(rng) < 60 ? pick(rng) % 5 - 1 : c, 0, 1, 'B');
      for (int i = 0; i < 2; ++i)
        if (mask & (1 << i)) rows[i].terms.push_back({j, 1.0});
    }
  }
  if (pick(rng) < 60) {  // a row holding the first one, with a column of its own
    Row sup = rows[0];
    sup.terms.push_back({col(pick(rng) % 5 - 2, 0, 1, 'B'), 1.0});
    rows.push_back(sup);
  }
  const int g = col(pick(rng) % 5 - 2, 0, 2, 'I');
  const int g2 = col(pick(rng) % 5 - 2, 0, 1, 'I');
  const int gc = col(pick(rng) % 5 - 2, 0, 1, 'C');
  // As an equation with a half-integer side only the continuous copy can
  // make up the half.
  Row k{pick(rng) < 50 ? 'L' : 'E', 1.5 + 0.5 * (pick(rng) % 3), {{g, 1.0}, {g2, 1.0}, {gc, 1.0}, {1, 1.0 + pick(rng) % 2}}};
  rows.push_back(k);
  return buildModel(pick(rng) < 50 ? 1 : -1, obj, lb, ub, ctype, rows);
}

class PresolveMip : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = 0;
    handle = VNTopenVANTO(&st);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(vnt::api::enter(handle, &env, false), 0);
  }
  void TearDown() override { VNTcloseVANTO(&handle); }
  VNTENVptr handle = nullptr;
  vnt::Env* env = nullptr;
};

struct EnumerationCounts {
  int solved = 0, infeasible = 0, settled = 0;
  long long tightened = 0, impliedInts = 0, removed = 0, duplicates = 0, subsetRowCols = 0;
};

// Presolve each model of `gen` and compare the reduced model with the
// original by enumeration.
void checkByEnumeration(vnt::Env& env, std::mt19937& rng, int trials, ModelData (*gen)(std::mt19937&),
                        EnumerationCounts& cnt) {
  vnt::presolve::Options opt;
  opt.mip = true;
  opt.display = false;
  int& solved = cnt.solved;
  int& infeasible = cnt.infeasible;
  int& settled = cnt.settled;
  long long& tightened = cnt.tightened;
  long long& impliedInts = cnt.impliedInts;
  long long& removed = cnt.removed;
  for (int trial = 0; trial < trials; ++trial) {
    const ModelData md = gen(rng);
    std::vector<double> xo;
    double oo = 0;
    const bool origFeasible = enumerate(md, xo, oo);
    vnt::presolve::Presolved pre;
    const int st = vnt::presolve::run(env, md, opt, "MIP", pre);
    if (st != 0) {
      // Presolve may only settle a model without integer points.
      ASSERT_TRUE(st == vnt::presolve::kInfeasible || st == vnt::presolve::kInfeasibleOrUnbounded)
          << "trial " << trial << " code " << st;
      EXPECT_FALSE(origFeasible) << "trial " << trial;
      ++settled;
      continue;
    }
    tightened += pre.counts.tightenedCoefs;
    impliedInts += pre.counts.impliedInts;
    cnt.duplicates += pre.counts.duplicateCols;
    cnt.subsetRowCols += pre.counts.subsetRowCols;
    removed += pre.counts.rowsRemoved + pre.counts.colsRemoved;
    const ModelData& red = pre.reduced;
    for (int j = 0; j < red.numCols(); ++j) {
      // Integer columns keep integer bounds, and only the implied integer
      // column may have become integer.
      const char t = red.ctype[j], t0 = md.ctype[pre.colOrig[j]];
      EXPECT_TRUE(t == t0 || (t0 == 'C' && t == 'I')) << "trial " << trial;
      if (t != 'C' && t != 'S') {
        EXPECT_EQ(red.lb[j], std::round(red.lb[j])) << "trial " << trial;
        EXPECT_EQ(red.ub[j], std::round(red.ub[j])) << "trial " << trial;
      }
    }
    std::vector<double> xr;
    double orr = 0;
    const bool redFeasible = enumerate(red, xr, orr);
    ASSERT_EQ(redFeasible, origFeasible) << "trial " << trial;
    if (!origFeasible) {
      ++infeasible;
      continue;
    }
    ++solved;
    EXPECT_NEAR(orr, oo, 1e-7 * std::max(1.0, std::fabs(oo))) << "trial " << trial;
    std::vector<double> x(md.numCols());
    pre.uncrushX(xr.data(), x.data());
    EXPECT_TRUE(feasible(md, x)) << "trial " << trial;
    for (int j = 0; j < md.numCols(); ++j)
      if (md.ctype[j] != 'C' && md.ctype[j] != 'S') {
        EXPECT_EQ(x[j], std::round(x[j])) << "trial " << trial << " column " << j;
      }
    EXPECT_NEAR(objective(md, x), oo, 1e-7 * std::max(1.0, std::fabs(oo))) << "trial " << trial;
    if (::testing::Test::HasFailure()) return;
  }
}

TEST_F(PresolveMip, ReducedModelKeepsTheIntegerOptimum) {
  std::mt19937 rng(4242);
  EnumerationCounts c;
  checkByEnumeration(*env, rng, 400, randomMip, c);
  const int solved = c.solved, infeasible = c.infeasible, settled = c.settled;
  const long long tightened = c.tightened, impliedInts = c.impliedInts, removed = c.removed;
  EXPECT_GE(solved, 150);
  EXPECT_GT(tightened, 30);
  EXPECT_GT(impliedInts, 10);
  EXPECT_GT(removed, 200);
  std::printf("[ mip      ] %d solved, %d infeasible, %d settled by presolve; %lld coefficients tightened, %lld implied "
              "integers\n",
              solved, infeasible, settled, tightened, impliedInts);
}

TEST_F(PresolveMip, DearerCopiesOfIntegerColumnsLeave) {
  std::mt19937 rng(1207);
  EnumerationCounts c;
  checkByEnumeration(*env, rng, 150, randomPartitionMip, c);
  EXPECT_GE(c.solved, 100);
  EXPECT_GT(c.duplicates, 300);
  EXPECT_GT(c.subsetRowCols, 30);
  std::printf("[ mip      ] %d solved, %d settled by presolve; %lld duplicate columns fixed, %lld by a row they hold\n",
              c.solved, c.settled, c.duplicates, c.subsetRowCols);
}

// Semi-continuous and semi-integer columns: presolve works with their whole
// domain {0} u [l, u] (activity limits over [min(0, l), max(0, u)], bounds
// kept), so that the reduced model has the same optimum.
TEST_F(PresolveMip, SemiContinuousColumnsKeepTheirDomain) {
  std::mt19937 rng(9090);
  EnumerationCounts c;
  checkByEnumeration(*env, rng, 400, randomSemiMip, c);
  EXPECT_GE(c.solved, 150);
  EXPECT_GT(c.removed, 200);
  std::printf("[ mip      ] semi-continuous: %d solved, %d infeasible, %d settled by presolve\n", c.solved,
              c.infeasible, c.settled);
}

// The smallest shape: max 3x, 3x <= 1, x semi-integer in {0} u [1, 3].  The
// row allows only x = 0, which is feasible.
TEST_F(PresolveMip, SemiIntegerColumnAtZero) {
  vnt::presolve::Options opt;
  opt.mip = true;
  opt.display = false;
  for (char type : {'N', 'S'}) {
    const ModelData md = buildModel(-1, {3, 1}, {1, 0}, {3, 1}, {type, 'B'}, {{'L', 1, {{0, 3}}}, {'L', 1, {{0, 1}, {1, 1}}}});
    vnt::presolve::Presolved pre;
    ASSERT_EQ(vnt::presolve::run(*env, md, opt, "MIP", pre), 0) << type;
    std::vector<double> xr, x(2);
    double obj = 0;
    ASSERT_TRUE(enumerate(pre.reduced, xr, obj)) << type;
    pre.uncrushX(xr.data(), x.data());
    EXPECT_EQ(x[0], 0.0) << type;
    EXPECT_NEAR(objective(md, x), 1.0, 1e-9) << type;
  }
}

// Coefficient tightening on one knapsack row: 5x + 3y + 2z <= 6 over
// binaries has maximal activity 10; x's coefficient exceeds what the row
// leaves for it when x = 0 (10 - 5 < 6), so x's coefficient and the
// right-hand side drop by 1: 4x + 3y + 2z <= 5 holds the same integer
// points and cuts the relaxation's point (0.2, 1, 1).
TEST_F(PresolveMip, KnapsackCoefficientTightened) {
  vnt::presolve::Options opt;
  opt.mip = true;
  opt.display = false;
  ModelData md = buildModel(-1, {5, 4, 3}, {0, 0, 0}, {1, 1, 1}, {'B', 'B', 'B'},
                            {{'L', 6, {{0, 5}, {1, 3}, {2, 2}}}, {'L', 2, {{0, 1}, {1, 1}, {2, 1}}}});
  vnt::presolve::Presolved pre;
  ASSERT_EQ(vnt::presolve::run(*env, md, opt, "MIP", pre), 0);
  EXPECT_GE(pre.counts.tightenedCoefs, 1);
  const ModelData& r = pre.reduced;
  ASSERT_EQ(r.numCols(), 3);
  // The knapsack row: the point (0.2, 1, 1) of the original relaxation is cut.
  int row = -1;
  for (int i = 0; i < r.numRows(); ++i)
    if (r.sense[i] == 'L' && r.rhs[i] < 6 && r.rhs[i] > 2) row = i;
  ASSERT_GE(row, 0);
  double act = 0;
  const double pt[3] = {0.2, 1, 1};
  for (int j = 0; j < 3; ++j)
    for (int64_t k = r.matbeg[j]; k < r.matbeg[j + 1]; ++k)
      if (r.matind[k] == row) act += r.matval[k] * pt[pre.colOrig[j]];
  EXPECT_GT(act, r.rhs[row] + 1e-9);
  // Integer points unchanged.
  std::vector<double> xb;
  double ob = 0, orr = 0;
  std::vector<double> xr;
  ASSERT_TRUE(enumerate(md, xb, ob));
  ASSERT_TRUE(enumerate(r, xr, orr));
  EXPECT_NEAR(ob, orr, 1e-9);
}

}  // namespace
