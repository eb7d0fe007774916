// Shared fixture of the problem-object tests: an environment whose error and
// warning channels are captured, a problem, and a snapshot of the whole model
// (through the exchange form) to check that failing calls change nothing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/capture.h"
#include "model/problem.h"
#include "vanto/vanto.h"
#include "vanto/vnt_params.h"

namespace vnt::test {

struct Snapshot {
  model::ModelData m;
  int type = 0;
  int rows = 0, cols = 0;
  long long nz = 0;
};

inline bool samePwl(const model::ModelData& a, const model::ModelData& b) {
  if (a.pwl.size() != b.pwl.size()) return false;
  for (size_t k = 0; k < a.pwl.size(); ++k) {
    const auto &p = a.pwl[k], &q = b.pwl[k];
    if (p.name != q.name || p.xcol != q.xcol || p.ycol != q.ycol || p.preslope != q.preslope ||
        p.postslope != q.postslope || p.x != q.x || p.y != q.y)
      return false;
  }
  return true;
}

inline bool sameObjectives(const model::ModelData& a, const model::ModelData& b) {
  if (a.objectives.size() != b.objectives.size()) return false;
  for (size_t k = 0; k < a.objectives.size(); ++k) {
    const auto &p = a.objectives[k], &q = b.objectives[k];
    if (p.name != q.name || p.priority != q.priority || p.weight != q.weight || p.abstol != q.abstol ||
        p.reltol != q.reltol || p.offset != q.offset || p.ind != q.ind || p.val != q.val)
      return false;
  }
  return true;
}

inline bool sameModel(const model::ModelData& a, const model::ModelData& b) {
  return samePwl(a, b) && sameObjectives(a, b) && a.probname == b.probname && a.objname == b.objname && a.objsen == b.objsen &&
         a.objoffset == b.objoffset && a.obj == b.obj && a.lb == b.lb && a.ub == b.ub &&
         a.ctype == b.ctype && a.colname == b.colname && a.rhs == b.rhs && a.rngval == b.rngval &&
         a.sense == b.sense && a.rowname == b.rowname && a.matbeg == b.matbeg &&
         a.matind == b.matind && a.matval == b.matval;
}

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(st, 0);
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &logc), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, Capture::fn), 0);
    ASSERT_EQ(VNTaddfuncdest(env, warn, &warnings, Capture::fn), 0);
    lp = VNTcreateprob(env, &st, "test");
    ASSERT_NE(lp, nullptr);
    ASSERT_EQ(st, 0);
  }
  void TearDown() override {
    if (lp) {
      EXPECT_EQ(VNTfreeprob(env, &lp), 0);
    }
    EXPECT_EQ(VNTcloseVANTO(&env), 0);
  }

  void dataCheck(int v) { ASSERT_EQ(VNTsetintparam(env, VNT_PARAM_DATACHECK, v), 0); }

  Snapshot snap(VNTLPptr p = nullptr) {
    Snapshot s;
    model::Problem* pr = model::resolveHandle(p ? p : lp);
    EXPECT_NE(pr, nullptr);
    if (!pr) return s;
    EXPECT_EQ(model::exportData(*pr, s.m), 0);
    s.type = pr->probtype;
    s.rows = VNTgetnumrows(env, p ? p : lp);
    s.cols = VNTgetnumcols(env, p ? p : lp);
    s.nz = VNTLgetnumnz(env, p ? p : lp);
    return s;
  }
  static bool same(const Snapshot& a, const Snapshot& b) {
    return sameModel(a.m, b.m) && a.type == b.type && a.rows == b.rows && a.cols == b.cols &&
           a.nz == b.nz;
  }

  // A 3x4 model with names:
  //   r1:  x1 + 2 x2            <= 4
  //   r2:       3 x2 + 4 x3     >= 1
  //   r3:  5 x1         + 6 x4  =  2
  void buildSmall() {
    char* cn[] = {(char*)"x1", (char*)"x2", (char*)"x3", (char*)"x4"};
    double obj[] = {1, -1, 2, 0};
    double lb[] = {0, -1, 0, 0};
    double ub[] = {10, 5, 1e20, 1};
    ASSERT_EQ(VNTnewcols(env, lp, 4, obj, lb, ub, nullptr, cn), 0);
    char* rn[] = {(char*)"r1", (char*)"r2", (char*)"r3"};
    double rhs[] = {4, 1, 2};
    char sense[] = {'L', 'G', 'E'};
    int beg[] = {0, 2, 4};
    int ind[] = {0, 1, 1, 2, 0, 3};
    double val[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(VNTaddrows(env, lp, 0, 3, 6, rhs, sense, beg, ind, val, nullptr, rn), 0);
  }

  VNTENVptr env = nullptr;
  VNTLPptr lp = nullptr;
  VNTCHANNELptr res = nullptr, warn = nullptr, err = nullptr, logc = nullptr;
  Capture errors, warnings;
};

}  // namespace vnt::test
