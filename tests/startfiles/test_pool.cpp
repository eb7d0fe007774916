// The solution pool and populate through the C interface, checked against a
// full enumeration of small binary models.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/env_fixture.h"
#include "common/models.h"
#include "vanto/vanto.h"

namespace {

// max sum v_j x_j  s.t.  sum w_j x_j <= cap, plus one side row, x binary.
struct Knapsack {
  std::vector<double> v{5, 4, 3, 7, 2, 6, 1};
  std::vector<double> w{2, 3, 1, 4, 2, 3, 1};
  double cap = 8;
  int n() const { return static_cast<int>(v.size()); }
  std::string lp() const {
    std::string t = "Maximize\n obj:";
    for (int j = 0; j < n(); ++j) t += " + " + std::to_string(static_cast<int>(v[j])) + " x" + std::to_string(j);
    t += "\nSubject To\n cap:";
    for (int j = 0; j < n(); ++j) t += " + " + std::to_string(static_cast<int>(w[j])) + " x" + std::to_string(j);
    t += " <= " + std::to_string(static_cast<int>(cap)) + "\n side: x0 + x1 >= 1\nBinaries\n";
    for (int j = 0; j < n(); ++j) t += " x" + std::to_string(j);
    return t + "\nEnd\n";
  }
  // Every feasible assignment with its objective.
  std::vector<std::pair<unsigned, double>> feasible() const {
    std::vector<std::pair<unsigned, double>> out;
    for (unsigned mask = 0; mask < (1u << n()); ++mask) {
      double load = 0, obj = 0;
      for (int j = 0; j < n(); ++j)
        if (mask >> j & 1) {
          load += w[j];
          obj += v[j];
        }
      if (load <= cap && ((mask & 1) || (mask & 2))) out.emplace_back(mask, obj);
    }
    return out;
  }
};

class Pool : public vnt::test::EnvTest<vnt::test::TextCapture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kWarnings | kErrors));
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 100000);
    const std::string f = name("k.lp");
    std::ofstream(f) << k.lp();
    int st = 0;
    lp = VNTcreateprob(env, &st, "knapsack");
    ASSERT_EQ(VNTreadcopyprob(env, lp, f.c_str(), nullptr), 0);
    std::remove(f.c_str());
  }
  void TearDown() override {
    VNTfreeprob(env, &lp);
    EnvTest::TearDown();
  }
  std::string name(const std::string& base) {
    return ::testing::TempDir() + "vnt_pool_" + std::to_string(::getpid()) + "_" + base;
  }
  // The pool's solutions as bit masks (each checked for its objective).
  std::multiset<unsigned> poolMasks() {
    std::multiset<unsigned> s;
    const int cnt = VNTgetsolnpoolnumsolns(env, lp);
    for (int i = 0; i < cnt; ++i) {
      std::vector<double> x(k.n());
      EXPECT_EQ(VNTgetsolnpoolx(env, lp, i, x.data(), 0, k.n() - 1), 0);
      unsigned mask = 0;
      double obj = 0, got = 0;
      for (int j = 0; j < k.n(); ++j)
        if (x[j] > 0.5) {
          mask |= 1u << j;
          obj += k.v[j];
        }
      EXPECT_EQ(VNTgetsolnpoolobjval(env, lp, i, &got), 0);
      EXPECT_NEAR(got, obj, 1e-9);
      s.insert(mask);
    }
    return s;
  }
  std::set<unsigned> withinGap(double gap) {
    auto all = k.feasible();
    double best = 0;
    for (auto& [m, o] : all) best = std::max(best, o);
    std::set<unsigned> s;
    for (auto& [m, o] : all)
      if (o >= best - gap) s.insert(m);
    return s;
  }

  Knapsack k;
  VNTLPptr lp = nullptr;
};

TEST_F(Pool, PopulateEnumeratesEverySolutionWithinTheGap) {
  VNTsetdblparam(env, VNT_PARAM_SOLNPOOLAGAP, 3.0);
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 1000);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  EXPECT_NE(results.text.find("\nPopulate: phase I \n"), std::string::npos);
  EXPECT_NE(results.text.find("\nPopulate: phase II \n"), std::string::npos);
  EXPECT_EQ(VNTgetstat(env, lp), 130);
  const std::multiset<unsigned> got = poolMasks();
  const std::set<unsigned> want = withinGap(3.0);
  EXPECT_EQ(std::set<unsigned>(got.begin(), got.end()), want);
  EXPECT_EQ(got.size(), want.size());  // no duplicates
}

TEST_F(Pool, PopulateWithoutGapsFindsAllFeasibleAssignments) {
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 1000);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 129);
  const std::multiset<unsigned> got = poolMasks();
  EXPECT_EQ(got.size(), k.feasible().size());
  double mean = 0, want = 0;
  for (auto& [m, o] : k.feasible()) want += o / static_cast<double>(k.feasible().size());
  ASSERT_EQ(VNTgetsolnpoolmeanobjval(env, lp, &mean), 0);
  EXPECT_NEAR(mean, want, 1e-9);
}

TEST_F(Pool, PopulateLimitCountsNewSolutions) {
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 4);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  EXPECT_EQ(VNTgetstat(env, lp), 128);
  const int first = VNTgetsolnpoolnumsolns(env, lp);
  EXPECT_GE(first, 4);
  // A second call generates up to 4 more.
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  const int second = VNTgetsolnpoolnumsolns(env, lp);
  EXPECT_GE(second, first + 1);
  EXPECT_LE(second, first + 4 + 1);
  const std::multiset<unsigned> got = poolMasks();
  EXPECT_EQ(std::set<unsigned>(got.begin(), got.end()).size(), got.size());
}

TEST_F(Pool, FiltersExcludeWhatTheyShould) {
  // At most two items, and x3 different from 1 in at least... a distance of
  // at least 1 from the assignment x3 = 1.
  int ind[7] = {0, 1, 2, 3, 4, 5, 6};
  double ones[7] = {1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(VNTaddsolnpoolrngfilter(env, lp, 0.0, 2.0, 7, ind, ones, "few"), 0);
  int d3 = 3;
  double w = 1.0, ref = 1.0;
  ASSERT_EQ(VNTaddsolnpooldivfilter(env, lp, 1.0, 1.0, 1, &d3, &w, &ref, nullptr), 0);
  EXPECT_EQ(VNTgetsolnpoolnumfilters(env, lp), 2);
  char buf[16];
  long long surplus = 0;
  ASSERT_EQ(VNTLgetsolnpoolfiltername(env, lp, buf, sizeof buf, &surplus, 1), 0);
  EXPECT_STREQ(buf, "f2");
  int type = 0;
  ASSERT_EQ(VNTgetsolnpoolfiltertype(env, lp, &type, 0), 0);
  EXPECT_EQ(type, 2);
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 1000);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  std::set<unsigned> want;
  for (auto& [m, o] : k.feasible())
    if (__builtin_popcount(m) <= 2 && !(m & 8)) want.insert(m);
  const std::multiset<unsigned> got = poolMasks();
  EXPECT_EQ(std::set<unsigned>(got.begin(), got.end()), want);
  // A diversity filter must name binary columns only.
  int st = 0;
  VNTLPptr q = VNTcreateprob(env, &st, "c");
  double lb = 0, ub = 5, obj = 1;
  ASSERT_EQ(VNTnewcols(env, q, 1, &obj, &lb, &ub, "I", nullptr), 0);
  int zero = 0;
  EXPECT_EQ(VNTaddsolnpooldivfilter(env, q, 0, 1, 1, &zero, &w, &ref, nullptr), 3414);
  VNTfreeprob(env, &q);
}

TEST_F(Pool, QueriesNamesDeletionAndReplacement) {
  int cnt = 0;
  EXPECT_EQ(VNTgetsolnpoolnumsolns(env, lp), 0);  // no pool yet: 3024
  EXPECT_NE(errors.text.find("VANTO Error  3024: No solution pool exists."), std::string::npos) << errors.text;
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 1000);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  cnt = VNTgetsolnpoolnumsolns(env, lp);
  ASSERT_GE(cnt, 3);
  char buf[32];
  long long surplus = 0;
  ASSERT_EQ(VNTLgetsolnpoolsolnname(env, lp, buf, sizeof buf, &surplus, 1), 0);
  EXPECT_STREQ(buf, "p2");
  ASSERT_EQ(VNTLgetsolnpoolsolnname(env, lp, buf, sizeof buf, &surplus, -1), 0);
  EXPECT_STREQ(buf, "incumbent");
  int idx = 0;
  ASSERT_EQ(VNTgetsolnpoolsolnindex(env, lp, "p3", &idx), 0);
  EXPECT_EQ(idx, 2);
  // Slacks follow from the values.
  std::vector<double> x(k.n()), slack(2);
  ASSERT_EQ(VNTgetsolnpoolx(env, lp, 0, x.data(), 0, k.n() - 1), 0);
  ASSERT_EQ(VNTgetsolnpoolslack(env, lp, 0, slack.data(), 0, 1), 0);
  double load = 0;
  for (int j = 0; j < k.n(); ++j) load += k.w[j] * x[j];
  EXPECT_NEAR(slack[0], k.cap - load, 1e-9);
  // Deleting keeps the names of the others.
  ASSERT_EQ(VNTdelsolnpoolsolns(env, lp, 0, 0), 0);
  EXPECT_EQ(VNTgetsolnpoolnumsolns(env, lp), cnt - 1);
  ASSERT_EQ(VNTLgetsolnpoolsolnname(env, lp, buf, sizeof buf, &surplus, 0), 0);
  EXPECT_STREQ(buf, "p2");
  // Writing the whole pool, then reading it as MIP starts.
  const std::string f = name("pool.sol");
  ASSERT_EQ(VNTsolwritesolnpoolall(env, lp, f.c_str()), 0);
  ASSERT_EQ(VNTreadcopymipstarts(env, lp, f.c_str()), 0);
  EXPECT_EQ(VNTgetnummipstarts(env, lp), cnt - 1);
  std::remove(f.c_str());
  // A pool of two: oldest out first, then best kept.
  int six = 6;
  double two = 2.0;
  k.v[6] = 2.0;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &six, &two), 0);  // a data change drops the pool
  EXPECT_EQ(VNTgetsolnpoolnumsolns(env, lp), 0);
  VNTsetintparam(env, VNT_PARAM_SOLNPOOLCAPACITY, 2);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  ASSERT_EQ(VNTgetsolnpoolnumsolns(env, lp), 2);
  EXPECT_GE(VNTgetsolnpoolnumreplaced(env, lp), static_cast<int>(k.feasible().size()) - 2);
  double three = 3.0;
  k.v[6] = 3.0;
  ASSERT_EQ(VNTchgobj(env, lp, 1, &six, &three), 0);
  VNTsetintparam(env, VNT_PARAM_SOLNPOOLREPLACE, 1);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  ASSERT_EQ(VNTgetsolnpoolnumsolns(env, lp), 2);
  std::vector<double> objs;
  for (auto& [m, o] : k.feasible()) objs.push_back(o);
  std::sort(objs.rbegin(), objs.rend());
  double a = 0, b = 0;
  VNTgetsolnpoolobjval(env, lp, 0, &a);
  VNTgetsolnpoolobjval(env, lp, 1, &b);
  EXPECT_EQ(std::max(a, b), objs[0]);
  EXPECT_EQ(std::min(a, b), objs[1]);
}

TEST_F(Pool, ZeroCapacityPopulatesNothing) {
  VNTsetintparam(env, VNT_PARAM_SOLNPOOLCAPACITY, 0);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  EXPECT_NE(warnings.text.find("Warning: the solution pool needs a positive capacity in order to be populated.\n"),
            std::string::npos);
  EXPECT_EQ(VNTgetsolnpoolnumsolns(env, lp), 0);
  EXPECT_NE(errors.text.find("3024"), std::string::npos);
}

// Filter files: written, read back into a problem without filters, they
// give the same filters; a failed read changes nothing.
TEST_F(Pool, FilterFilesRoundTripAndRejectWhatTheyShould) {
  int ind[3] = {0, 3, 5};
  double w[3] = {1, 2, 0.5}, ref[3] = {1, 0, 1}, coef[3] = {2, -1, 3};
  ASSERT_EQ(VNTaddsolnpooldivfilter(env, lp, 1.0, 3.5, 3, ind, w, ref, "near"), 0);
  ASSERT_EQ(VNTaddsolnpoolrngfilter(env, lp, -1.0, 4.0, 3, ind, coef, nullptr), 0);
  const std::string f = name("pool.flt");
  ASSERT_EQ(VNTfltwrite(env, lp, f.c_str()), 0);
  EXPECT_NE(warnings.text.find("Default filter names f1, f2 ... to be created.\n"), std::string::npos);
  std::ifstream in(f);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("* ENCODING=", 0), 0u) << text;
  EXPECT_NE(text.find("\nNAME          "), std::string::npos) << text;
  EXPECT_NE(text.find("   Filters\nDIVFILTER"), std::string::npos) << text;
  EXPECT_NE(text.find("DIVFILTER  near  1  3.5\n x0  1  1\n x3  2  0\n x5  0.5  1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("RNGFILTER  f2  -1  4\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ENDATA\n"), std::string::npos);
  ASSERT_EQ(VNTdelsolnpoolfilters(env, lp, 0, 1), 0);
  ASSERT_EQ(VNTgetsolnpoolnumfilters(env, lp), 0);
  ASSERT_EQ(VNTreadcopysolnpoolfilters(env, lp, f.c_str()), 0);
  ASSERT_EQ(VNTgetsolnpoolnumfilters(env, lp), 2);
  double lo = 0, up = 0, gv[3], gr[3];
  int nz = 0, gi[3], surplus = 0, type = 0;
  ASSERT_EQ(VNTgetsolnpooldivfilter(env, lp, &lo, &up, &nz, gi, gv, gr, 3, &surplus, 0), 0);
  EXPECT_EQ(lo, 1.0);
  EXPECT_EQ(up, 3.5);
  ASSERT_EQ(nz, 3);
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(gi[t], ind[t]);
    EXPECT_EQ(gv[t], w[t]);
    EXPECT_EQ(gr[t], ref[t]);
  }
  ASSERT_EQ(VNTgetsolnpoolfiltertype(env, lp, &type, 1), 0);
  EXPECT_EQ(type, 2);
  ASSERT_EQ(VNTgetsolnpoolrngfilter(env, lp, &lo, &up, &nz, gi, gv, 3, &surplus, 1), 0);
  EXPECT_EQ(lo, -1.0);
  EXPECT_EQ(up, 4.0);
  ASSERT_EQ(nz, 3);
  for (int t = 0; t < 3; ++t) EXPECT_EQ(gv[t], coef[t]);
  int idx = -1;
  ASSERT_EQ(VNTgetsolnpoolfilterindex(env, lp, "f2", &idx), 0);
  EXPECT_EQ(idx, 1);
  // Broken files: the code, and the filters as they were.
  struct Bad {
    const char* body;
    int code;
  };
  const Bad bad[] = {
      {"NAME x Filters\nDIVFILTER  a  0  1\n x0  1\nENDATA\n", 1553},      // an entry short of its reference
      {"NAME x Filters\nRNGFILTER  a  0\n x0  1\nENDATA\n", 1553},          // header without its upper limit
      {"NAME x Filters\n x0  1\nENDATA\n", 1553},                           // an entry before any filter
      {"NAME x Filters\nSETFILTER  a  0  1\nENDATA\n", 1551},               // unknown keyword
      {"DIVFILTER  a  0  1\n x0  1  0\nENDATA\n", 1551},                    // no NAME line
  };
  for (const Bad& b : bad) {
    std::ofstream(f) << b.body;
    EXPECT_EQ(VNTreadcopysolnpoolfilters(env, lp, f.c_str()), b.code) << b.body;
    EXPECT_EQ(VNTgetsolnpoolnumfilters(env, lp), 2) << b.body;
  }
  // Warnings do not stop a read: unknown and repeated columns are skipped,
  // a missing ENDATA is reported.
  warnings.text.clear();
  std::ofstream(f) << "NAME x Filters\nRNGFILTER  r  0  2\n x0  1\n nope  1\n x0  2\n x6  1\n";
  ASSERT_EQ(VNTreadcopysolnpoolfilters(env, lp, f.c_str()), 0);
  EXPECT_NE(warnings.text.find("Warning, line 4: 'nope' is not a variable.\n"), std::string::npos) << warnings.text;
  EXPECT_NE(warnings.text.find("Warning, line 5: repeated entry for 'x0'.\n"), std::string::npos) << warnings.text;
  EXPECT_NE(warnings.text.find("Warning: 'ENDATA' missing.\n"), std::string::npos) << warnings.text;
  ASSERT_EQ(VNTgetsolnpoolnumfilters(env, lp), 1);
  ASSERT_EQ(VNTgetsolnpoolrngfilter(env, lp, &lo, &up, &nz, gi, gv, 3, &surplus, 0), 0);
  ASSERT_EQ(nz, 2);
  EXPECT_EQ(gi[0], 0);
  EXPECT_EQ(gi[1], 6);
  // The filter read (x0 + x6 within [0, 2]) holds for every assignment:
  // populate keeps every feasible one.
  VNTsetintparam(env, VNT_PARAM_POPULATELIM, 1000);
  ASSERT_EQ(VNTpopulate(env, lp), 0);
  EXPECT_EQ(poolMasks().size(), k.feasible().size());
  // A diversity filter on a column that is not binary is refused whole.
  int st = 0;
  VNTLPptr q = VNTcreateprob(env, &st, "c");
  double lb = 0, ub = 5, obj = 1;
  ASSERT_EQ(VNTnewcols(env, q, 1, &obj, &lb, &ub, "I", nullptr), 0);
  std::ofstream(f) << "NAME c Filters\nDIVFILTER  d  0  1\n x1  1  0\nENDATA\n";
  EXPECT_EQ(VNTreadcopysolnpoolfilters(env, q, f.c_str()), 3414);
  EXPECT_EQ(VNTgetsolnpoolnumfilters(env, q), 0);
  VNTfreeprob(env, &q);
  std::remove(f.c_str());
}

// ---------------------------------------------------------------------------
// Real models, read as given and solved with presolve on: every pool
// solution is checked on the model as given through the public queries.

class PoolOnModels : public vnt::test::EnvTest<vnt::test::TextCapture> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openEnv(kResults | kErrors));
    VNTsetdblparam(env, VNT_PARAM_TILIM, 60.0);
    VNTsetlongparam(env, VNT_PARAM_NODELIM, 20000);
  }
  void TearDown() override {
    if (lp) VNTfreeprob(env, &lp);
    EnvTest::TearDown();
  }
  void load(const std::string& name) {
    int st = 0;
    lp = VNTcreateprob(env, &st, name.c_str());
    ASSERT_EQ(VNTreadcopyprob(env, lp, vnt::test::modelPath("miplib3", name).c_str(), nullptr), 0);
    n = VNTgetnumcols(env, lp);
    m = VNTgetnumrows(env, lp);
    lb.resize(n);
    ub.resize(n);
    obj.resize(n);
    ctype.resize(n);
    rhs.resize(m);
    rng.resize(m);
    sense.resize(m);
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetobj(env, lp, obj.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetctype(env, lp, ctype.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetobjoffset(env, lp, &offset), 0);
    ASSERT_EQ(VNTgetrhs(env, lp, rhs.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetrngval(env, lp, rng.data(), 0, m - 1), 0);
    ASSERT_EQ(VNTgetsense(env, lp, sense.data(), 0, m - 1), 0);
    int nz = 0, surplus = 0;
    beg.resize(n);
    ASSERT_EQ(VNTgetcols(env, lp, &nz, beg.data(), nullptr, nullptr, 0, &surplus, 0, n - 1), 1207);
    ASSERT_LT(surplus, 0);
    ind.resize(-surplus);
    val.resize(-surplus);
    ASSERT_EQ(VNTgetcols(env, lp, &nz, beg.data(), ind.data(), val.data(), -surplus, &surplus, 0, n - 1), 0);
    beg.push_back(nz);
  }
  // Largest violation of bounds, rows and integrality of x on the model.
  double violation(const std::vector<double>& x, std::vector<double>* slack = nullptr) const {
    double worst = 0;
    std::vector<double> ax(m, 0.0);
    for (int j = 0; j < n; ++j) {
      worst = std::max({worst, lb[j] - x[j], x[j] - ub[j]});
      if (ctype[j] != 'C') worst = std::max(worst, std::fabs(x[j] - std::round(x[j])));
      for (int k = beg[j]; k < beg[j + 1]; ++k) ax[ind[k]] += val[k] * x[j];
    }
    for (int i = 0; i < m; ++i) {
      const double scale = 1.0 + std::fabs(rhs[i]);
      double v = 0;
      if (sense[i] == 'L') v = ax[i] - rhs[i];
      else if (sense[i] == 'G') v = rhs[i] - ax[i];
      else if (sense[i] == 'E') v = std::fabs(ax[i] - rhs[i]);
      else v = std::max(std::min(rhs[i], rhs[i] + rng[i]) - ax[i], ax[i] - std::max(rhs[i], rhs[i] + rng[i]));
      worst = std::max(worst, v / scale);
    }
    if (slack) {
      slack->resize(m);
      for (int i = 0; i < m; ++i) (*slack)[i] = rhs[i] - ax[i];
    }
    return worst;
  }
  double objective(const std::vector<double>& x) const {
    double v = offset;
    for (int j = 0; j < n; ++j) v += obj[j] * x[j];
    return v;
  }
  // Checks every pool solution on the model; returns their objectives.
  std::vector<double> checkPool() {
    std::vector<double> objs;
    std::vector<std::vector<double>> seen;
    const int cnt = VNTgetsolnpoolnumsolns(env, lp);
    for (int s = 0; s < cnt; ++s) {
      std::vector<double> x(n), slack(m), mine;
      double got = 0;
      EXPECT_EQ(VNTgetsolnpoolx(env, lp, s, x.data(), 0, n - 1), 0);
      EXPECT_EQ(VNTgetsolnpoolobjval(env, lp, s, &got), 0);
      EXPECT_EQ(VNTgetsolnpoolslack(env, lp, s, slack.data(), 0, m - 1), 0);
      EXPECT_LE(violation(x, &mine), 1e-6) << "pool solution " << s;
      EXPECT_NEAR(got, objective(x), 1e-6 * (1.0 + std::fabs(got))) << "pool solution " << s;
      for (int i = 0; i < m; ++i) EXPECT_NEAR(slack[i], mine[i], 1e-6 * (1.0 + std::fabs(rhs[i])));
      for (const auto& y : seen) {
        double d = 0;
        for (int j = 0; j < n; ++j) d = std::max(d, std::fabs(x[j] - y[j]));
        EXPECT_GT(d, 1e-6) << "pool solution " << s << " repeats an earlier one";
      }
      seen.push_back(x);
      objs.push_back(got);
    }
    return objs;
  }

  VNTLPptr lp = nullptr;
  int n = 0, m = 0;
  double offset = 0;
  std::vector<double> lb, ub, obj, rhs, rng, val;
  std::vector<char> ctype, sense;
  std::vector<int> beg, ind;
};

TEST_F(PoolOnModels, PopulateOnPresolvedModelsKeepsSolutionsOfTheModelAsGiven) {
  for (const char* name : {"p0033", "lseu"}) {
    SCOPED_TRACE(name);
    load(name);
    if (HasFatalFailure()) return;
    const double best = vnt::test::reference("miplib3", name).objective;
    VNTsetdblparam(env, VNT_PARAM_SOLNPOOLGAP, 0.02);
    VNTsetintparam(env, VNT_PARAM_POPULATELIM, 15);
    ASSERT_EQ(VNTpopulate(env, lp), 0);
    const int stat = VNTgetstat(env, lp);
    EXPECT_TRUE(stat == 128 || stat == 130) << stat;
    const std::vector<double> objs = checkPool();
    ASSERT_GE(objs.size(), 2u);
    // The incumbent is the optimum and every kept solution lies within 2% of it.
    double inc = 0;
    ASSERT_EQ(VNTgetsolnpoolobjval(env, lp, -1, &inc), 0);
    EXPECT_NEAR(inc, best, 1e-6 * best);
    for (double o : objs) {
      EXPECT_GE(o, best - 1e-6 * best);
      EXPECT_LE(o, best * 1.02 + 1e-6 * best);
    }
    // Quality queries of each pool solution agree with its values.
    for (int s = 0; s < static_cast<int>(objs.size()); ++s) {
      std::vector<double> x(n);
      ASSERT_EQ(VNTgetsolnpoolx(env, lp, s, x.data(), 0, n - 1), 0);
      int at = -1;
      for (int j = 0; j < n; ++j)
        if (at < 0 || std::fabs(x[j]) > std::fabs(x[at])) at = j;
      double v = -1;
      int where = -2;
      ASSERT_EQ(VNTgetsolnpooldblquality(env, lp, s, &v, VNT_QUAL_MAX_X), 0);
      EXPECT_EQ(v, std::fabs(x[at]));
      ASSERT_EQ(VNTgetsolnpoolintquality(env, lp, s, &where, VNT_QUAL_MAX_X), 0);
      EXPECT_EQ(std::fabs(x[where]), std::fabs(x[at]));
      ASSERT_EQ(VNTgetsolnpooldblquality(env, lp, s, &v, VNT_QUAL_MAX_PRIMAL_INFEAS), 0);
      EXPECT_LE(v, 1e-6);
      ASSERT_EQ(VNTgetsolnpooldblquality(env, lp, s, &v, VNT_QUAL_SUM_INT_INFEAS), 0);
      EXPECT_LE(v, 1e-6);
      EXPECT_EQ(VNTgetsolnpooldblquality(env, lp, s, &v, VNT_QUAL_MAX_DUAL_INFEAS), 1017);
      EXPECT_EQ(VNTgetsolnpooldblquality(env, lp, s, &v, VNT_QUAL_MAX_SCALED_X), 1003);
    }
    // The incumbent's measures are those of the stored MIP solution.
    double qi = -1, qs = -2;
    ASSERT_EQ(VNTgetsolnpooldblquality(env, lp, -1, &qi, VNT_QUAL_MAX_SLACK), 0);
    ASSERT_EQ(VNTgetdblquality(env, lp, &qs, VNT_QUAL_MAX_SLACK), 0);
    EXPECT_EQ(qi, qs);
    EXPECT_EQ(VNTgetsolnpooldblquality(env, lp, static_cast<int>(objs.size()), &qi, VNT_QUAL_MAX_X), 1200);
    std::vector<double> xi(n), x(n);
    ASSERT_EQ(VNTgetsolnpoolx(env, lp, -1, xi.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetx(env, lp, x.data(), 0, n - 1), 0);
    EXPECT_EQ(xi, x);
    // Populate again: the limit counts new solutions only.
    const int before = VNTgetsolnpoolnumsolns(env, lp);
    VNTsetintparam(env, VNT_PARAM_POPULATELIM, 3);
    ASSERT_EQ(VNTpopulate(env, lp), 0);
    const int after = VNTgetsolnpoolnumsolns(env, lp);
    EXPECT_GE(after, before);
    EXPECT_LE(after, before + 3);
    checkPool();
    VNTfreeprob(env, &lp);
  }
}

}  // namespace
