// Comparisons of models in the exchange form shared by the file tests: the
// interval of a row, and two models matched by row and column names.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/row_interval.h"
#include "model/modeldata.h"

namespace vnt::test {

// Row interval [lo, hi] of row i (1e20 stands for infinity).
inline std::pair<double, double> rowInterval(const model::ModelData& m, int i) {
  return rowInterval(m.sense[i], m.rhs[i], m.rngval.empty() ? 0.0 : m.rngval[i]);
}

struct ByNameOptions {
  // Values agree: by default within a relative 1e-12 (infinite values of
  // the same sign agree).
  std::function<bool(double, double)> near;
  bool integrality = true;       // compare integer and binary against continuous
  bool fixedMayLoseType = false;  // a fixed integer column may come back continuous
  bool emptyColumnsMayGo = false;  // b may lack columns with no entries and no objective
};

// Same model up to the order of rows and columns, matched by name: sense,
// objective, bounds, integrality, row intervals and every matrix entry.
inline void expectSameByName(const model::ModelData& a, const model::ModelData& b, const ByNameOptions& opt = {}) {
  auto near = opt.near ? opt.near : [](double x, double y) {
    if (x == y) return true;
    if (std::fabs(x) >= 1e20 || std::fabs(y) >= 1e20) return (x >= 1e20 && y >= 1e20) || (x <= -1e20 && y <= -1e20);
    return std::fabs(x - y) <= 1e-12 * std::max({1.0, std::fabs(x), std::fabs(y)});
  };
  auto empty = [](const model::ModelData& m, int j) { return m.matbeg[j] == m.matbeg[j + 1] && m.obj[j] == 0.0; };
  auto isInt = [](const model::ModelData& m, int j) {
    return !m.ctype.empty() && (m.ctype[j] == 'I' || m.ctype[j] == 'B');
  };
  if (opt.emptyColumnsMayGo) {
    int emptyA = 0;
    for (int j = 0; j < a.numCols(); ++j) emptyA += empty(a, j) ? 1 : 0;
    ASSERT_LE(b.numCols(), a.numCols());
    ASSERT_GE(b.numCols(), a.numCols() - emptyA);
  } else {
    ASSERT_EQ(a.numCols(), b.numCols());
  }
  ASSERT_EQ(a.numRows(), b.numRows());
  EXPECT_EQ(a.objsen, b.objsen);
  std::map<std::string, int> bc, br;
  for (int j = 0; j < b.numCols(); ++j) bc[b.colname[j]] = j;
  for (int i = 0; i < b.numRows(); ++i) br[b.rowname[i]] = i;
  std::vector<int> rowMap(static_cast<std::size_t>(a.numRows()));
  for (int i = 0; i < a.numRows(); ++i) {
    auto it = br.find(a.rowname[i]);
    ASSERT_NE(it, br.end()) << "row " << a.rowname[i];
    rowMap[i] = it->second;
    auto ia = rowInterval(a, i), ib = rowInterval(b, it->second);
    EXPECT_TRUE(near(ia.first, ib.first) && near(ia.second, ib.second))
        << "row " << a.rowname[i] << " [" << ia.first << ", " << ia.second << "] vs [" << ib.first << ", "
        << ib.second << "]";
  }
  long long entries = 0, nonzeros = 0;
  for (int j = 0; j < a.numCols(); ++j) {
    for (int64_t p = a.matbeg[j]; p < a.matbeg[j + 1]; ++p) nonzeros += a.matval[p] != 0.0;
    auto it = bc.find(a.colname[j]);
    if (it == bc.end() && opt.emptyColumnsMayGo && empty(a, j)) continue;
    ASSERT_NE(it, bc.end()) << "column " << a.colname[j];
    const int k = it->second;
    EXPECT_TRUE(near(a.obj[j], b.obj[k])) << a.colname[j] << " obj " << a.obj[j] << " " << b.obj[k];
    EXPECT_TRUE(near(a.lb[j], b.lb[k])) << a.colname[j] << " lb " << a.lb[j] << " " << b.lb[k];
    EXPECT_TRUE(near(a.ub[j], b.ub[k])) << a.colname[j] << " ub " << a.ub[j] << " " << b.ub[k];
    if (opt.integrality && !(opt.fixedMayLoseType && a.lb[j] == a.ub[j])) {
      EXPECT_EQ(isInt(a, j), isInt(b, k)) << a.colname[j];
    }
    std::map<int, double> ca, cb;
    for (int64_t p = a.matbeg[j]; p < a.matbeg[j + 1]; ++p)
      if (a.matval[p] != 0.0) ca[rowMap[a.matind[p]]] = a.matval[p];
    for (int64_t p = b.matbeg[k]; p < b.matbeg[k + 1]; ++p)
      if (b.matval[p] != 0.0) cb[b.matind[p]] = b.matval[p];
    ASSERT_EQ(ca.size(), cb.size()) << a.colname[j];
    for (const auto& [r, v] : ca) {
      auto f = cb.find(r);
      ASSERT_NE(f, cb.end()) << a.colname[j];
      EXPECT_TRUE(near(v, f->second)) << a.colname[j] << " " << v << " " << f->second;
      ++entries;
    }
  }
  EXPECT_EQ(entries, nonzeros);
}

}  // namespace vnt::test
