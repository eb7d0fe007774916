// Helpers of the file-format tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/model_compare.h"
#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::io::test {

// Collects every message with its channel.
class CollectMessages final : public Messages {
 public:
  void error(std::string_view t) override { errors += t; }
  void warning(std::string_view t) override { warnings += t; }
  void results(std::string_view t) override { resultsText += t; }
  void log(std::string_view t) override { logText += t; }
  std::string errors, warnings, resultsText, logText;
};

inline std::string dataDir() { return VANTO_DATA_DIR; }

// Round trips skip the largest models unless VANTO_IO_FULL is set, so that
// the default run stays short under the sanitizers.
inline bool skipLarge(const model::ModelData& m) {
  static const bool full = std::getenv("VANTO_IO_FULL") != nullptr;
  return !full && m.numNz() > 100000;
}

inline std::vector<std::string> sharedModels(const std::string& sub) {
  std::vector<std::string> v;
  std::filesystem::path d = std::filesystem::path(dataDir()) / sub;
  if (!std::filesystem::exists(d)) return v;
  for (const auto& e : std::filesystem::directory_iterator(d))
    if (e.path().extension() == ".gz" || e.path().extension() == ".mps") v.push_back(e.path().string());
  std::sort(v.begin(), v.end());
  return v;
}

// A private scratch directory removed at destruction.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vnt_io_XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

inline bool close(double a, double b, double rel = 1e-13) {
  if (a == b) return true;
  if (model::isInfinite(a) || model::isInfinite(b)) return (a >= 1e20 && b >= 1e20) || (a <= -1e20 && b <= -1e20);
  return std::fabs(a - b) <= rel * std::max({1.0, std::fabs(a), std::fabs(b)});
}

using vnt::test::rowInterval;

inline char colType(const model::ModelData& m, int j) { return m.ctype.empty() ? 'C' : m.ctype[j]; }

// Compares two models entry by entry (names optional).  Matrix columns are
// compared as sets of (row, value).
inline void expectSameModel(const model::ModelData& a, const model::ModelData& b, bool names = true,
                            double rel = 1e-13) {
  ASSERT_EQ(a.numCols(), b.numCols());
  ASSERT_EQ(a.numRows(), b.numRows());
  ASSERT_EQ(a.numNz(), b.numNz());
  EXPECT_EQ(a.objsen, b.objsen);
  EXPECT_TRUE(close(a.objoffset, b.objoffset, rel));
  for (int j = 0; j < a.numCols(); ++j) {
    if (names) {
      EXPECT_EQ(a.colname[j], b.colname[j]) << "column " << j;
    }
    EXPECT_TRUE(close(a.obj[j], b.obj[j], rel)) << "obj " << j << ": " << a.obj[j] << " vs " << b.obj[j];
    EXPECT_TRUE(close(a.lb[j], b.lb[j], rel)) << "lb " << j << ": " << a.lb[j] << " vs " << b.lb[j];
    EXPECT_TRUE(close(a.ub[j], b.ub[j], rel)) << "ub " << j << ": " << a.ub[j] << " vs " << b.ub[j];
    EXPECT_EQ(colType(a, j), colType(b, j)) << "type " << j;
    std::vector<std::pair<int, double>> ca, cb;
    for (int64_t k = a.matbeg[j]; k < a.matbeg[j + 1]; ++k) ca.emplace_back(a.matind[k], a.matval[k]);
    for (int64_t k = b.matbeg[j]; k < b.matbeg[j + 1]; ++k) cb.emplace_back(b.matind[k], b.matval[k]);
    std::sort(ca.begin(), ca.end());
    std::sort(cb.begin(), cb.end());
    ASSERT_EQ(ca.size(), cb.size()) << "column " << j;
    for (std::size_t k = 0; k < ca.size(); ++k) {
      EXPECT_EQ(ca[k].first, cb[k].first) << "column " << j;
      EXPECT_TRUE(close(ca[k].second, cb[k].second, rel)) << "column " << j << ": " << ca[k].second << " vs " << cb[k].second;
    }
  }
  for (int i = 0; i < a.numRows(); ++i) {
    if (names) {
      EXPECT_EQ(a.rowname[i], b.rowname[i]) << "row " << i;
    }
    auto ia = rowInterval(a, i), ib = rowInterval(b, i);
    EXPECT_TRUE(close(ia.first, ib.first, rel) && close(ia.second, ib.second, rel))
        << "row " << i << " [" << ia.first << "," << ia.second << "] vs [" << ib.first << "," << ib.second << "]";
    bool ra = a.sense[i] == 'R' && !a.rngval.empty() && a.rngval[i] != 0.0;
    bool rb = b.sense[i] == 'R' && !b.rngval.empty() && b.rngval[i] != 0.0;
    EXPECT_EQ(ra, rb) << "ranged row " << i;
  }
  ASSERT_EQ(a.qobj.size(), b.qobj.size());
  for (std::size_t k = 0; k < a.qobj.size(); ++k) {
    EXPECT_EQ(a.qobj[k].col1, b.qobj[k].col1);
    EXPECT_EQ(a.qobj[k].col2, b.qobj[k].col2);
    EXPECT_TRUE(close(a.qobj[k].coef, b.qobj[k].coef, rel));
  }
  ASSERT_EQ(a.sos.size(), b.sos.size());
  for (std::size_t k = 0; k < a.sos.size(); ++k) {
    if (names) {
      EXPECT_EQ(a.sos[k].name, b.sos[k].name);
    }
    EXPECT_EQ(a.sos[k].type, b.sos[k].type);
    EXPECT_EQ(a.sos[k].ind, b.sos[k].ind);
    EXPECT_EQ(a.sos[k].weight, b.sos[k].weight);
  }
  ASSERT_EQ(a.qconstr.size(), b.qconstr.size());
  for (std::size_t k = 0; k < a.qconstr.size(); ++k) {
    const auto &qa = a.qconstr[k], &qb = b.qconstr[k];
    if (names) {
      EXPECT_EQ(qa.name, qb.name);
    }
    EXPECT_EQ(qa.sense, qb.sense);
    EXPECT_TRUE(close(qa.rhs, qb.rhs, rel));
    EXPECT_EQ(qa.linind, qb.linind);
    ASSERT_EQ(qa.quad.size(), qb.quad.size());
    for (std::size_t t = 0; t < qa.quad.size(); ++t) {
      EXPECT_EQ(qa.quad[t].col1, qb.quad[t].col1);
      EXPECT_EQ(qa.quad[t].col2, qb.quad[t].col2);
      EXPECT_TRUE(close(qa.quad[t].coef, qb.quad[t].coef, rel));
    }
  }
  ASSERT_EQ(a.indconstr.size(), b.indconstr.size());
  for (std::size_t k = 0; k < a.indconstr.size(); ++k) {
    const auto &ia = a.indconstr[k], &ib = b.indconstr[k];
    if (names) {
      EXPECT_EQ(ia.name, ib.name);
    }
    EXPECT_EQ(ia.indvar, ib.indvar);
    EXPECT_EQ(ia.complemented, ib.complemented);
    EXPECT_EQ(ia.sense, ib.sense);
    EXPECT_TRUE(close(ia.rhs, ib.rhs, rel));
    EXPECT_EQ(ia.ind, ib.ind);
  }
  EXPECT_EQ(a.usercuts.size(), b.usercuts.size());
  EXPECT_EQ(a.lazycons.size(), b.lazycons.size());
}

}  // namespace vnt::io::test
