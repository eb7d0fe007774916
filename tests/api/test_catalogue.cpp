// The catalogue against the interface's component lists: every operation in
// its component, slot numbers in case-insensitive name order, one empty slot
// after each table, flavour gaps only where the interface has them.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "api/catalogue_index.h"
#include "api/frame.h"
#include "api/slots.h"
#include "env/env.h"

namespace {

#include "catalogue_expected.inc"

struct Expected {
  const char* const* names;
  size_t count;
};
template <size_t N>
Expected ex(const char* const (&a)[N]) {
  return {a, N};
}
const Expected kExpected[] = {ex(kExpected_ext),       ex(kExpected_barrier), ex(kExpected_main),
                              ex(kExpected_indicator), ex(kExpected_mip),     ex(kExpected_network),
                              ex(kExpected_qp),        ex(kExpected_qcp)};
constexpr int kSizes[] = {39, 2, 283, 1, 134, 47, 9, 11};

std::vector<const vnt::api::CatalogueEntry*> entriesOf(int comp) {
  std::vector<const vnt::api::CatalogueEntry*> v;
  for (const auto& e : vnt::api::kCatalogue)
    if (e.component == comp) v.push_back(&e);
  return v;
}

TEST(Catalogue, EveryOperationIsInItsComponent) {
  for (int c = 0; c < vnt::api::kNumComponents; ++c) {
    SCOPED_TRACE(c);
    std::set<std::string> want, noV, have;
    for (size_t i = 0; i < kExpected[c].count; ++i) {
      std::string n = kExpected[c].names[i];
      if (n.back() == '*') {
        n.pop_back();
        noV.insert(n);
      }
      want.insert(n);
    }
    for (const auto* e : entriesOf(c)) {
      have.insert(e->name);
      EXPECT_EQ(e->hasV, noV.count(e->name) == 0) << e->name;
    }
    EXPECT_EQ(have, want);
    EXPECT_EQ(static_cast<int>(have.size()), kSizes[c]);
    EXPECT_EQ(vnt::api::kComponentSize[c], kSizes[c]);
  }
}

TEST(Catalogue, SlotsFollowCaseInsensitiveOrder) {
  for (int c = 0; c < vnt::api::kNumComponents; ++c) {
    auto v = entriesOf(c);
    for (size_t i = 0; i < v.size(); ++i) {
      EXPECT_EQ(v[i]->slot, static_cast<int>(i)) << v[i]->name;
      if (i > 0) {
        EXPECT_LT(strcasecmp(v[i - 1]->name, v[i]->name), 0) << v[i]->name;
      }
    }
  }
  // Examples of the ordering rule.
  EXPECT_LT(vnt::api::kSlot_main_multiobjsetobj, vnt::api::kSlot_main_NETextract);
  EXPECT_LT(vnt::api::kSlot_main_NETextract, vnt::api::kSlot_main_newcols);
  EXPECT_LT(vnt::api::kSlot_ext_cacheNewCols, vnt::api::kSlot_ext_cangetbase);
}

TEST(Catalogue, TablesMatchTheCatalogue) {
  for (const vnt::api::ApiTableSet* set : {&vnt::api::kDirectTables, &vnt::api::kRecordingTables}) {
    for (int f = 0; f < 3; ++f) {
      for (int c = 0; c < vnt::api::kNumComponents; ++c) {
        const vnt::api::VntFn* t = set->comp[f][c];
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t[kSizes[c]], nullptr);  // the empty slot after the table
        for (const auto* e : entriesOf(c)) {
          bool present = e->built && (f != 0 || e->hasV);
          EXPECT_EQ(t[e->slot] != nullptr, present) << e->exported << " flavour " << f;
        }
      }
    }
  }
  // Built operations exist in every table set at the same slots.
  EXPECT_NE(vnt::api::kDirectTables.comp[0][vnt::api::kComp_main][vnt::api::kSlot_main_msgstr],
            vnt::api::kRecordingTables.comp[0][vnt::api::kComp_main][vnt::api::kSlot_main_msgstr]);
}

TEST(Catalogue, ExportedNamesCarryTheirPrefixes) {
  for (const auto& e : vnt::api::kCatalogue) {
    std::string x = e.exported, n = e.name;
    std::string pre = e.hasV ? "VNT" : "VNTS";
    if (e.component == vnt::api::kComp_ext) pre += "E";
    EXPECT_EQ(x, pre + n);
    if (e.component == vnt::api::kComp_network) {
      EXPECT_EQ(n.rfind("NET", 0), 0u) << n;
    } else if (n != "NETextract") {
      EXPECT_NE(n.rfind("NET", 0), 0u) << n;
    }
  }
}

TEST(Catalogue, OnlyTheListedOperationsAcceptTheInformationalCallback) {
  const std::set<std::string> accepting = {
      "getnumgconstrs", "getnumprios", "getnumrownz", "ismultiobj",  // extension
      "getcolindex", "getconflictnumgroups", "getdettime", "getnumcols", "getnumcores",
      "getnumdblannotations", "getnumlongannotations", "getnumnz", "getnumobjs", "getnumpwl",
      "getnumrows", "getrowindex", "gettime", "multiobjgetindex", "setnumobjs",
      "slackfromx",  // main
      "getcallbackincumbent", "getindconstrindex", "getnumbin", "getnumindconstrs", "getnumint",
      "getnumlazyconstraints", "getnumsemicont", "getnumsemiint", "getnumsos", "getnumusercuts",
      "indconstrslackfromx", "refinemipstartconflict", "refinemipstartconflictext"};  // MIP
  for (const auto& e : vnt::api::kCatalogue) {
    if (!e.built) continue;
    EXPECT_EQ(e.accept1804, accepting.count(e.name) == 1) << e.exported;
  }
}

// vanto/vnt_errors.h names every code of the error table exactly once.
TEST(PublicHeaders, ErrorMacrosCoverTheErrorTable) {
  std::ifstream f(std::string(VANTO_SOURCE_DIR) + "/include/vanto/vnt_errors.h");
  ASSERT_TRUE(f.good());
  std::map<int, std::string> byCode;
  std::set<std::string> names;
  std::regex def(R"(^#define (VNTERR_[A-Z0-9_]+) +([0-9]+))");
  for (std::string line; std::getline(f, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, def)) continue;
    int code = std::stoi(m[2]);
    EXPECT_TRUE(names.insert(m[1]).second) << m[1];
    EXPECT_TRUE(byCode.emplace(code, m[1]).second) << code;
    EXPECT_NE(vnt::errorTemplate(code), nullptr) << m[1];
  }
  int tableCodes = 0;
  for (int code = 1; code <= 99999; ++code) {
    if (!vnt::errorTemplate(code)) continue;
    ++tableCodes;
    EXPECT_EQ(byCode.count(code), 1u) << code;
  }
  EXPECT_EQ(tableCodes, 245);
  EXPECT_EQ(byCode.size(), 245u);
  EXPECT_EQ(byCode[1001], "VNTERR_NO_MEMORY");
  EXPECT_EQ(byCode[1201], "VNTERR_COL_INDEX_RANGE");
}

}  // namespace
