// Test and benchmark helper: the constraint matrix of an MPS file (ROWS and
// COLUMNS only; names without blanks) and the basic variables of an MPS
// basis file.  Not a model reader: bounds, ranges and right-hand sides are
// ignored.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vnt::testing {

struct Model {
  std::string name;
  int m = 0, n = 0;
  std::vector<int64_t> start{0};
  std::vector<int> index;
  std::vector<double> value;
  std::map<std::string, int> rowIdx, colIdx;
};

inline bool readLines(const std::string& path, std::vector<std::string>& lines) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[4096];
  while (gzgets(f, buf, sizeof buf)) {
    size_t l = std::strlen(buf);
    while (l > 0 && (buf[l - 1] == '\n' || buf[l - 1] == '\r')) buf[--l] = 0;
    lines.emplace_back(buf);
  }
  gzclose(f);
  return true;
}

// Rows and COLUMNS of an MPS file (names without blanks).
inline bool readMps(const std::string& path, Model& md) {
  std::vector<std::string> lines;
  if (!readLines(path, lines)) return false;
  enum { kNone, kRows, kCols } sec = kNone;
  std::string objName, cur;
  std::vector<std::vector<std::pair<int, double>>> cols;
  for (const std::string& ln : lines) {
    if (ln.empty() || ln[0] == '*') continue;
    std::istringstream is(ln);
    if (ln[0] != ' ' && ln[0] != '\t') {
      std::string w;
      is >> w;
      if (w == "ROWS") sec = kRows;
      else if (w == "COLUMNS") sec = kCols;
      else if (w == "NAME") continue;
      else break;  // RHS, RANGES, BOUNDS, ENDATA
      continue;
    }
    if (sec == kRows) {
      std::string t, nm;
      is >> t >> nm;
      if (t == "N" && objName.empty()) objName = nm;
      else if (t != "N") md.rowIdx[nm] = md.m++;
    } else if (sec == kCols) {
      std::vector<std::string> tok;
      std::string w;
      while (is >> w) tok.push_back(w);
      if (tok.size() >= 3 && tok[1] == "'MARKER'") continue;
      if (tok.empty()) continue;
      if (tok[0] != cur) {
        cur = tok[0];
        md.colIdx[cur] = static_cast<int>(cols.size());
        cols.emplace_back();
      }
      for (size_t k = 1; k + 1 < tok.size(); k += 2) {
        auto it = md.rowIdx.find(tok[k]);
        if (it == md.rowIdx.end()) continue;
        const double v = std::strtod(tok[k + 1].c_str(), nullptr);
        if (v != 0.0) cols.back().push_back({it->second, v});
      }
    }
  }
  md.n = static_cast<int>(cols.size());
  for (auto& c : cols) {
    for (auto [i, v] : c) {
      md.index.push_back(i);
      md.value.push_back(v);
    }
    md.start.push_back(static_cast<int64_t>(md.index.size()));
  }
  return md.m > 0;
}

// Basic variables from an MPS basis file: XU/XL lines make a column basic and
// a row nonbasic; every other row keeps its logical.
inline bool readBasis(const std::string& path, const Model& md, std::vector<int>& basis) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  std::vector<char> rowBasic(md.m, 1);
  std::vector<int> cols;
  char buf[1024];
  while (std::fgets(buf, sizeof buf, f)) {
    std::istringstream is(buf);
    std::string t, a, b;
    is >> t >> a >> b;
    if (t != "XU" && t != "XL") continue;
    auto c = md.colIdx.find(a);
    auto r = md.rowIdx.find(b);
    if (c == md.colIdx.end() || r == md.rowIdx.end()) continue;
    cols.push_back(c->second);
    rowBasic[r->second] = 0;
  }
  std::fclose(f);
  basis = cols;
  for (int i = 0; i < md.m; ++i)
    if (rowBasic[i]) basis.push_back(md.n + i);
  return static_cast<int>(basis.size()) == md.m;
}

}  // namespace vnt::testing
