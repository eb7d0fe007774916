// Column types survive every way of adding columns: random sequences of
// VNTnewcols, VNTaddcols and the cached additions, with and without type
// arrays, read back through VNTgetctype and the type counts, and through an
// LP and an MPS file written and read again.
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model_fixture.h"

namespace vnt::test {
namespace {

using ColumnTypes = ModelTest;

struct Expected {
  std::vector<char> type;  // 'C' for columns added without a type
  std::vector<double> lb, ub;
  bool mip = false;
};

// Bounds that every file format carries exactly for the type: binaries
// 0..1, semi-continuous and semi-integer with a finite upper bound.
void boundsFor(char t, std::mt19937& rng, double& lb, double& ub) {
  std::uniform_int_distribution<int> small(0, 5);
  switch (t) {
    case 'B': lb = 0; ub = 1; break;
    case 'S': case 'N': lb = 1 + small(rng); ub = lb + 1 + small(rng); break;
    case 'I': lb = -small(rng); ub = 3 + small(rng); break;
    default: lb = 0; ub = 10 + small(rng); break;
  }
}

void checkTypes(VNTENVptr env, VNTLPptr lp, const Expected& e, const std::string& where) {
  const int n = static_cast<int>(e.type.size());
  ASSERT_EQ(VNTgetnumcols(env, lp), n) << where;
  if (!e.mip) {
    EXPECT_EQ(VNTgetprobtype(env, lp), 0) << where;
    return;
  }
  ASSERT_EQ(VNTgetprobtype(env, lp), 1) << where;
  std::vector<char> got(n, '?');
  if (n > 0) {
    ASSERT_EQ(VNTgetctype(env, lp, got.data(), 0, n - 1), 0) << where;
  }
  EXPECT_EQ(std::string(got.begin(), got.end()), std::string(e.type.begin(), e.type.end())) << where;
  auto count = [&](char t) {
    int c = 0;
    for (char x : e.type) c += x == t;
    return c;
  };
  EXPECT_EQ(VNTgetnumint(env, lp), count('I')) << where;
  EXPECT_EQ(VNTgetnumbin(env, lp), count('B')) << where;
  EXPECT_EQ(VNTgetnumsemicont(env, lp), count('S')) << where;
  EXPECT_EQ(VNTgetnumsemiint(env, lp), count('N')) << where;
  std::vector<double> lb(n), ub(n);
  if (n > 0) {
    ASSERT_EQ(VNTgetlb(env, lp, lb.data(), 0, n - 1), 0);
    ASSERT_EQ(VNTgetub(env, lp, ub.data(), 0, n - 1), 0);
  }
  EXPECT_EQ(lb, e.lb) << where;
  EXPECT_EQ(ub, e.ub) << where;
}

// Types and bounds by column name after writing `lp` to a file and reading
// it back.
void checkFileRoundTrip(VNTENVptr env, VNTLPptr lp, const Expected& e, const std::string& ext,
                        const std::string& where) {
  const std::string path = ::testing::TempDir() + "vanto_ctype_prop." + ext;
  ASSERT_EQ(VNTwriteprob(env, lp, path.c_str(), nullptr), 0) << where;
  int st = 0;
  VNTLPptr back = VNTcreateprob(env, &st, "back");
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(VNTreadcopyprob(env, back, path.c_str(), nullptr), 0) << where << " " << ext;
  const int n = static_cast<int>(e.type.size());
  ASSERT_EQ(VNTgetnumcols(env, back), n) << where << " " << ext;
  ASSERT_EQ(VNTgetprobtype(env, back), e.mip ? 1 : 0) << where << " " << ext;
  for (int j = 0; j < n; ++j) {
    const std::string name = "v" + std::to_string(j);
    int k = -1;
    ASSERT_EQ(VNTgetcolindex(env, back, name.c_str(), &k), 0) << where << " " << ext << " " << name;
    double lb = 0, ub = 0;
    ASSERT_EQ(VNTgetlb(env, back, &lb, k, k), 0);
    ASSERT_EQ(VNTgetub(env, back, &ub, k, k), 0);
    EXPECT_EQ(lb, e.lb[j]) << where << " " << ext << " " << name;
    EXPECT_EQ(ub, e.ub[j]) << where << " " << ext << " " << name;
    if (e.mip) {
      char t = '?';
      ASSERT_EQ(VNTgetctype(env, back, &t, k, k), 0);
      EXPECT_EQ(t, e.type[j]) << where << " " << ext << " " << name;
    }
  }
  EXPECT_EQ(VNTfreeprob(env, &back), 0);
  std::remove(path.c_str());
}

TEST_F(ColumnTypes, RandomAdditionsKeepTypes) {
  // One row so that the files have a constraint to hold the columns.
  double rhs = 100;
  char sense = 'L';
  char* rn[] = {(char*)"r"};
  ASSERT_EQ(VNTnewrows(env, lp, 1, &rhs, &sense, nullptr, rn), 0);

  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    ASSERT_EQ(VNTdelcols(env, lp, 0, VNTgetnumcols(env, lp) - 1), 0);
    ASSERT_EQ(VNTchgprobtype(env, lp, 0), 0);
    Expected e;
    const int steps = 3 + static_cast<int>(rng() % 6);
    std::string where = "seed " + std::to_string(seed) + ":";
    for (int s = 0; s < steps; ++s) {
      const int op = static_cast<int>(rng() % 4);  // newcols, addcols, cached, chgctype
      const int cnt = 1 + static_cast<int>(rng() % 4);
      const bool typed = op != 1 && rng() % 2 == 0;
      const int n0 = static_cast<int>(e.type.size());
      if (op == 3) {
        if (n0 == 0 || !e.mip) continue;
        int j = static_cast<int>(rng() % n0);
        char t = "CI"[rng() % 2];
        // Only types whose bounds stay valid for the file formats.
        if (e.type[j] == 'B' || e.type[j] == 'S' || e.type[j] == 'N') continue;
        ASSERT_EQ(VNTchgctype(env, lp, 1, &j, &t), 0);
        e.type[j] = t;
        where += " chgctype";
        continue;
      }
      std::vector<char> types(cnt, 'C');
      std::vector<double> obj(cnt), lb(cnt), ub(cnt);
      std::vector<std::string> names(cnt);
      std::vector<char*> np(cnt);
      for (int k = 0; k < cnt; ++k) {
        if (typed) types[k] = "CIBSN"[rng() % 5];
        boundsFor(types[k], rng, lb[k], ub[k]);
        obj[k] = static_cast<double>(k + 1);
        names[k] = "v" + std::to_string(n0 + k);
        np[k] = names[k].data();
      }
      if (op == 0) {
        ASSERT_EQ(VNTnewcols(env, lp, cnt, obj.data(), lb.data(), ub.data(), typed ? types.data() : nullptr,
                             np.data()),
                  0);
        where += typed ? " newcols+types" : " newcols";
      } else if (op == 1) {
        std::vector<int> beg(cnt), ind(cnt, 0);
        std::vector<double> val(cnt, 1.0);
        for (int k = 0; k < cnt; ++k) beg[k] = k;
        ASSERT_EQ(VNTaddcols(env, lp, cnt, cnt, obj.data(), beg.data(), ind.data(), val.data(), lb.data(),
                             ub.data(), np.data()),
                  0);
        where += " addcols";
      } else {
        ASSERT_EQ(VNTEcacheNewCols(env, lp, cnt, obj.data(), lb.data(), ub.data(),
                                   typed ? types.data() : nullptr, np.data()),
                  0);
        where += typed ? " cached+types" : " cached";
      }
      e.mip |= typed;
      for (int k = 0; k < cnt; ++k) {
        e.type.push_back(types[k]);
        e.lb.push_back(lb[k]);
        e.ub.push_back(ub[k]);
      }
      checkTypes(env, lp, e, where);
      if (HasFatalFailure() || HasFailure()) return;
    }
    // Every column in the row, so that no writer has a reason to drop one.
    for (int j = 0; j < static_cast<int>(e.type.size()); ++j) ASSERT_EQ(VNTchgcoef(env, lp, 0, j, 1.0), 0);
    checkFileRoundTrip(env, lp, e, "lp", where);
    checkFileRoundTrip(env, lp, e, "mps", where);
    if (HasFatalFailure() || HasFailure()) return;
  }
}

// The reported case: types given when the problem has none yet.
TEST_F(ColumnTypes, TypesGivenAtCreationAreKept) {
  double lb[] = {0, 0, 0}, ub[] = {5, 1, 7};
  char t[] = {'I', 'B', 'C'};
  char* cn[] = {(char*)"a", (char*)"b", (char*)"c"};
  ASSERT_EQ(VNTnewcols(env, lp, 3, nullptr, lb, ub, t, cn), 0);
  char got[3] = {};
  ASSERT_EQ(VNTgetctype(env, lp, got, 0, 2), 0);
  EXPECT_EQ(std::string(got, 3), "IBC");
  EXPECT_EQ(VNTgetnumint(env, lp), 1);
  EXPECT_EQ(VNTgetnumbin(env, lp), 1);
  // A later untyped addition lands after them as continuous.
  ASSERT_EQ(VNTnewcols(env, lp, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  char t2[] = {'I'};
  ASSERT_EQ(VNTnewcols(env, lp, 1, nullptr, nullptr, nullptr, t2, nullptr), 0);
  char all[5] = {};
  ASSERT_EQ(VNTgetctype(env, lp, all, 0, 4), 0);
  EXPECT_EQ(std::string(all, 5), "IBCCI");
  EXPECT_EQ(VNTgetnumint(env, lp), 2);
}

}  // namespace
}  // namespace vnt::test
