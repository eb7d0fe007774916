// Every descriptor of the parameter table through the public C interface:
// types, defaults, bounds, round trips of default/minimum/maximum, and name
// lookups both ways; the public macros agree with the table.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vanto/vanto.h"

// Compile-time check: each named row's two macros exist in the public header
// and carry the row's number (the macros expand inside the row macro).
#define PINT(id, o, h, ...) static_assert((o) == (id) && (h) == (id));
#define PLONG(id, o, h, ...) static_assert((o) == (id) && (h) == (id));
#define PDBL(id, o, h, ...) static_assert((o) == (id) && (h) == (id));
#define PSTR(id, o, h, ...) static_assert((o) == (id) && (h) == (id));
#define HINT(...)
#define HLONG(...)
#define HDBL(...)
#define HSTR(...)
#define PT_SYMBOLIC(k) 0
#include "params/param_table.def"
#undef PINT
#undef PLONG
#undef PDBL
#undef PSTR

namespace {

struct Row {
  int id;
  const char* oldName;
  const char* hierName;
};
const Row kNamed[] = {
#define PINT(id, o, h, ...) {id, #o, #h},
#define PLONG(id, o, h, ...) {id, #o, #h},
#define PDBL(id, o, h, ...) {id, #o, #h},
#define PSTR(id, o, h, ...) {id, #o, #h},
#include "params/param_table.def"
};

// Parameters whose setting has checks beyond the range (tested elsewhere).
bool special(int id) {
  return id == 1112 || id == 1139 || id == 1129 || id == 1130 || id == 1144 || id == 1162;
}

class Table : public ::testing::Test {
 protected:
  void SetUp() override {
    int st = -1;
    env = VNTopenVANTO(&st);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(st, 0);
    VNTCHANNELptr res, warn, err, log;
    ASSERT_EQ(VNTgetchannels(env, &res, &warn, &err, &log), 0);
    ASSERT_EQ(VNTaddfuncdest(env, err, &errors, [](void* h, const char* m) {
      static_cast<std::string*>(h)->append(m);
    }), 0);
  }
  void TearDown() override { EXPECT_EQ(VNTcloseVANTO(&env), 0); }

  // All ids that answer VNTgetparamtype, with their types.
  std::map<int, int> allParams() {
    std::map<int, int> out;
    for (int id = 900; id <= 6100; ++id) {
      int t = -1;
      if (VNTgetparamtype(env, id, &t) == 0) out[id] = t;
    }
    return out;
  }

  VNTENVptr env = nullptr;
  std::string errors;
};

TEST_F(Table, CountsTypesAndNames) {
  std::map<int, int> all = allParams();
  EXPECT_EQ(all.size(), 426u);
  std::map<int, int> byType;
  int named = 0;
  for (auto [id, t] : all) {
    ++byType[t];
    char old[512], hier[512];
    ASSERT_EQ(VNTgetparamname(env, id, old), 0) << id;
    ASSERT_EQ(VNTgetparamhiername(env, id, hier), 0) << id;
    EXPECT_EQ(old[0] == '\0', hier[0] == '\0') << id;
    if (old[0]) ++named;
  }
  EXPECT_EQ(named, 191);
  EXPECT_EQ(std::size(kNamed), 191u);
  EXPECT_EQ(byType[VNT_PARAMTYPE_STRING], 10);
  // Unknown numbers.
  int t = 0;
  EXPECT_EQ(VNTgetparamtype(env, 1011, &t), 1013);
  EXPECT_EQ(VNTgetparamtype(env, 999, &t), 1013);
  EXPECT_EQ(VNTgetparamtype(env, 1016, nullptr), 1004);
}

TEST_F(Table, NameLookupsBothWays) {
  std::set<std::string> seen;
  for (const Row& r : kNamed) {
    char name[512];
    ASSERT_EQ(VNTgetparamname(env, r.id, name), 0);
    EXPECT_STREQ(name, r.oldName);
    ASSERT_EQ(VNTgetparamhiername(env, r.id, name), 0);
    EXPECT_STREQ(name, r.hierName);
    int id = 0;
    ASSERT_EQ(VNTgetparamnum(env, r.oldName, &id), 0) << r.oldName;
    EXPECT_EQ(id, r.id);
    id = 0;
    ASSERT_EQ(VNTgetparamnum(env, r.hierName, &id), 0) << r.hierName;
    EXPECT_EQ(id, r.id);
    EXPECT_TRUE(seen.insert(r.oldName).second);
    EXPECT_TRUE(seen.insert(r.hierName).second);
    // Case matters.
    std::string lower = r.hierName;
    for (char& c : lower) c = static_cast<char>(tolower(c));
    EXPECT_EQ(VNTgetparamnum(env, lower.c_str(), &id), 1028);
  }
  int id = 0;
  EXPECT_EQ(VNTgetparamnum(env, "VNTPARAM_Simplex_Tolerances_Feasibility", &id), 0);
  EXPECT_EQ(id, 1016);
  EXPECT_EQ(VNTgetparamnum(env, "vntparam_simplex_tolerances_feasibility", &id), 1028);
  // An old name does not resolve through the hierarchical index and vice versa.
  EXPECT_EQ(VNTgetparamnum(env, "VNTPARAM_EPRHS", &id), 1028);
  EXPECT_EQ(VNTgetparamnum(env, "VNT_PARAM_Simplex_Tolerances_Feasibility", &id), 1028);
  EXPECT_EQ(VNTgetparamnum(env, "", &id), 1028);
  EXPECT_EQ(VNTgetparamnum(env, "VNT_PARAM_EP\tRHS", &id), 1236);
  EXPECT_EQ(VNTgetparamnum(env, nullptr, &id), 1004);
  // Hidden parameters have empty names; numbers outside 1001..5999 give 1013
  // and an empty name.
  char name[512] = "junk";
  EXPECT_EQ(VNTgetparamname(env, 1004, name), 0);
  EXPECT_STREQ(name, "");
  strcpy(name, "junk");
  EXPECT_EQ(VNTgetparamhiername(env, 6000, name), 1013);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(VNTgetparamname(env, 1011, name), 1013);
  EXPECT_EQ(VNTgetparamname(env, 1016, nullptr), 1004);
}

// Default, minimum and maximum of every parameter through info, get and set;
// out-of-range values give 1014/1015 and leave the value unchanged.
TEST_F(Table, EveryDescriptorRoundTrips) {
  std::map<int, int> all = allParams();
  int checked = 0;
  for (auto [id, t] : all) {
    SCOPED_TRACE(id);
    if (t == VNT_PARAMTYPE_INT) {
      int def, mn, mx, v;
      ASSERT_EQ(VNTinfointparam(env, id, &def, &mn, &mx), 0);
      ASSERT_EQ(VNTgetintparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      EXPECT_LE(mn, def);
      EXPECT_GE(mx, def);
      if (special(id)) continue;
      for (int x : {mn, mx, def}) {
        ASSERT_EQ(VNTsetintparam(env, id, x), 0);
        ASSERT_EQ(VNTgetintparam(env, id, &v), 0);
        EXPECT_EQ(v, x);
        long long lv;
        ASSERT_EQ(VNTgetlongparam(env, id, &lv), 0);
        EXPECT_EQ(lv, x);
      }
      if (mn > INT_MIN) {
        EXPECT_EQ(VNTsetintparam(env, id, mn - 1), 1014);
        EXPECT_EQ(VNTsetlongparam(env, id, static_cast<long long>(mn) - 1), 1014);
      }
      if (mx < INT_MAX) {
        EXPECT_EQ(VNTsetintparam(env, id, mx + 1), 1015);
        EXPECT_EQ(VNTsetlongparam(env, id, static_cast<long long>(mx) + 1), 1015);
      }
      ASSERT_EQ(VNTgetintparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      double d;
      EXPECT_EQ(VNTgetdblparam(env, id, &d), 1013);
      EXPECT_EQ(VNTsetdblparam(env, id, 1.0), 1013);
      EXPECT_EQ(VNTsetstrparam(env, id, "1"), 1013);
    } else if (t == VNT_PARAMTYPE_LONG) {
      long long def, mn, mx, v;
      ASSERT_EQ(VNTinfolongparam(env, id, &def, &mn, &mx), 0);
      ASSERT_EQ(VNTgetlongparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      EXPECT_LE(mn, def);
      EXPECT_GE(mx, def);
      for (long long x : {mn, mx, def}) {
        ASSERT_EQ(VNTsetlongparam(env, id, x), 0);
        ASSERT_EQ(VNTgetlongparam(env, id, &v), 0);
        EXPECT_EQ(v, x);
        int iv;
        ASSERT_EQ(VNTgetintparam(env, id, &iv), 0);
        EXPECT_EQ(iv, x > INT_MAX ? INT_MAX : x < INT_MIN ? INT_MIN : static_cast<int>(x));
      }
      if (mn > LLONG_MIN) {
        EXPECT_EQ(VNTsetlongparam(env, id, mn - 1), 1014);
      }
      if (mx < LLONG_MAX) {
        EXPECT_EQ(VNTsetlongparam(env, id, mx + 1), 1015);
      }
      ASSERT_EQ(VNTgetlongparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      EXPECT_EQ(VNTsetdblparam(env, id, 1.0), 1013);
    } else if (t == VNT_PARAMTYPE_DOUBLE) {
      double def, mn, mx, v;
      ASSERT_EQ(VNTinfodblparam(env, id, &def, &mn, &mx), 0);
      ASSERT_EQ(VNTgetdblparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      if (mn != mx) {
        EXPECT_LE(mn, def);
        EXPECT_GE(mx, def);
      }
      if (special(id)) continue;
      for (double x : {mn, mx, def}) {
        ASSERT_EQ(VNTsetdblparam(env, id, x), 0);
        ASSERT_EQ(VNTgetdblparam(env, id, &v), 0);
        EXPECT_EQ(v, x);
      }
      if (mn != mx) {
        EXPECT_EQ(VNTsetdblparam(env, id, mn - (mn == 0 ? 1e-300 : std::abs(mn) * 1e-9)), 1014);
        EXPECT_EQ(VNTsetdblparam(env, id, mx + std::abs(mx) * 1e-9), 1015);
      } else {
        EXPECT_EQ(VNTsetdblparam(env, id, -1e300), 0);
        EXPECT_EQ(VNTsetdblparam(env, id, def), 0);
      }
      ASSERT_EQ(VNTgetdblparam(env, id, &v), 0);
      EXPECT_EQ(v, def);
      int iv;
      EXPECT_EQ(VNTgetintparam(env, id, &iv), 1013);
      EXPECT_EQ(VNTsetintparam(env, id, 1), 1013);
      EXPECT_EQ(VNTsetlongparam(env, id, 1), 1013);
    } else {
      ASSERT_EQ(t, VNT_PARAMTYPE_STRING);
      char def[512], v[512];
      ASSERT_EQ(VNTinfostrparam(env, id, def), 0);
      ASSERT_EQ(VNTgetstrparam(env, id, v), 0);
      EXPECT_STREQ(v, def);
      if (!special(id)) {
        ASSERT_EQ(VNTsetstrparam(env, id, "some value"), 0);
        ASSERT_EQ(VNTgetstrparam(env, id, v), 0);
        EXPECT_STREQ(v, "some value");
        EXPECT_EQ(VNTsetstrparam(env, id, def), 0);
      }
      int iv;
      EXPECT_EQ(VNTgetintparam(env, id, &iv), 1013);
      EXPECT_EQ(VNTsetintparam(env, id, 1), 1013);
      EXPECT_EQ(VNTinfointparam(env, id, nullptr, nullptr, nullptr), 1013);
    }
    ++checked;
  }
  EXPECT_GT(checked, 400);
  // Nothing is left changed.
  int cnt = -1, surplus = 0;
  EXPECT_EQ(VNTgetchgparam(env, &cnt, nullptr, 0, &surplus), 0);
  EXPECT_EQ(surplus, 0);
}

// A few rows checked against values written out here, so that a damaged
// table row is caught and not just reproduced.
TEST_F(Table, SampleRows) {
  int idef, imin, imax;
  ASSERT_EQ(VNTinfointparam(env, VNT_PARAM_THREADS, &idef, &imin, &imax), 0);
  EXPECT_EQ(idef, 0);
  EXPECT_EQ(imin, 0);
  EXPECT_EQ(imax, 2100000000);
  ASSERT_EQ(VNTinfointparam(env, VNT_PARAM_RANDOMSEED, &idef, nullptr, nullptr), 0);
  EXPECT_EQ(idef, 202009243);
  ASSERT_EQ(VNTinfointparam(env, 2201, &idef, &imin, &imax), 0);
  EXPECT_EQ(idef, 124);
  EXPECT_EQ(imin, -1);
  EXPECT_EQ(imax, 2147483647);
  long long ldef, lmin, lmax;
  ASSERT_EQ(VNTinfolongparam(env, VNT_PARAM_ITLIM, &ldef, &lmin, &lmax), 0);
  EXPECT_EQ(ldef, 9223372036800000000LL);
  ASSERT_EQ(VNTinfolongparam(env, 1505, &ldef, &lmin, &lmax), 0);
  EXPECT_EQ(ldef, 562949953421312LL);
  EXPECT_EQ(lmin, LLONG_MIN);
  EXPECT_EQ(lmax, LLONG_MAX);
  double ddef, dmin, dmax;
  ASSERT_EQ(VNTinfodblparam(env, VNTPARAM_Simplex_Tolerances_Feasibility, &ddef, &dmin, &dmax), 0);
  EXPECT_EQ(ddef, 1e-6);
  EXPECT_EQ(dmin, 1e-9);
  EXPECT_EQ(dmax, 0.1);
  ASSERT_EQ(VNTinfodblparam(env, 2222, &ddef, &dmin, &dmax), 0);
  EXPECT_EQ(dmax, 9.2233720368e18);
  ASSERT_EQ(VNTinfodblparam(env, VNT_PARAM_OBJLLIM, &ddef, &dmin, &dmax), 0);
  EXPECT_EQ(ddef, -1e75);
  EXPECT_EQ(dmin, dmax);
  char s[512];
  ASSERT_EQ(VNTinfostrparam(env, VNT_PARAM_APIENCODING, s), 0);
  EXPECT_STREQ(s, "ISO-8859-1");
  ASSERT_EQ(VNTinfostrparam(env, 1106, s), 0);
  EXPECT_STREQ(s, ".lp");
  ASSERT_EQ(VNTinfostrparam(env, VNT_PARAM_CPUMASK, s), 0);
  EXPECT_STREQ(s, "auto");
  EXPECT_EQ(VNT_PARAM_EPRHS, 1016);
  EXPECT_EQ(VNTPARAM_ParamDisplay, 1163);
}

}  // namespace
