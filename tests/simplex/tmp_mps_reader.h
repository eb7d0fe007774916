// TEMPORARY test-only MPS reader for the simplex tests and benchmark, until the
// library's own MPS reader is available to them.  Handles what the shared
// Netlib files use: NAME, ROWS, COLUMNS, RHS, RANGES, BOUNDS (all types),
// OBJSENSE, fixed or free layout without blanks in names, gzip via zlib.
// A value given for the objective row in RHS is ignored.
#pragma once

#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/modeldata.h"

namespace vnt::testing {

inline bool readMpsTemporary(const std::string& path, model::ModelData& md, std::string* err) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) {
    if (err) *err = "cannot open " + path;
    return false;
  }
  md = model::ModelData{};
  std::unordered_map<std::string, int> rowOf, colOf;
  std::string objRow;
  std::string section;
  std::vector<std::vector<std::pair<int, double>>> cols;
  std::vector<bool> hasRange;
  char buf[4096];
  std::string lastCol;
  bool objsenNext = false;
  auto fail = [&](const std::string& m) {
    if (err) *err = m;
    gzclose(f);
    return false;
  };
  while (gzgets(f, buf, sizeof buf)) {
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty() || line[0] == '*') continue;
    std::istringstream is(line);
    std::vector<std::string> tok;
    for (std::string t; is >> t;) tok.push_back(t);
    if (tok.empty()) continue;
    if (line[0] != ' ' && line[0] != '\t') {
      section = tok[0];
      if (section == "NAME" && tok.size() > 1) md.probname = tok[1];
      if (section == "OBJSENSE") {
        if (tok.size() > 1) md.objsen = (tok[1] == "MAX" || tok[1] == "MAXIMIZE") ? -1 : 1;
        else objsenNext = true;
      }
      if (section == "ENDATA") break;
      continue;
    }
    if (objsenNext) {
      md.objsen = (tok[0] == "MAX" || tok[0] == "MAXIMIZE") ? -1 : 1;
      objsenNext = false;
      continue;
    }
    if (section == "ROWS") {
      if (tok.size() < 2) return fail("bad ROWS line");
      char s = static_cast<char>(std::toupper(tok[0][0]));
      if (s == 'N') {
        if (objRow.empty()) objRow = tok[1];
        continue;
      }
      rowOf[tok[1]] = md.numRows();
      md.rowname.push_back(tok[1]);
      md.sense.push_back(s);
      md.rhs.push_back(0.0);
      hasRange.push_back(false);
    } else if (section == "COLUMNS") {
      if (tok.size() >= 3 && tok[1] == "'MARKER'") continue;
      if (tok.size() < 3) return fail("bad COLUMNS line");
      auto it = colOf.find(tok[0]);
      int j;
      if (it == colOf.end()) {
        j = md.numCols();
        colOf[tok[0]] = j;
        md.colname.push_back(tok[0]);
        md.obj.push_back(0.0);
        md.lb.push_back(0.0);
        md.ub.push_back(model::kInfBound);
        cols.emplace_back();
      } else {
        j = it->second;
      }
      for (size_t k = 1; k + 1 < tok.size(); k += 2) {
        double v = std::strtod(tok[k + 1].c_str(), nullptr);
        if (tok[k] == objRow) {
          md.obj[j] += v;
          continue;
        }
        auto r = rowOf.find(tok[k]);
        if (r == rowOf.end()) continue;  // free row other than the objective
        cols[j].push_back({r->second, v});
      }
    } else if (section == "RHS" || section == "RANGES") {
      size_t k0 = tok.size() % 2 == 1 ? 1 : 0;
      for (size_t k = k0; k + 1 < tok.size(); k += 2) {
        double v = std::strtod(tok[k + 1].c_str(), nullptr);
        auto r = rowOf.find(tok[k]);
        if (r == rowOf.end()) continue;  // objective row or unknown
        int i = r->second;
        if (section == "RHS") {
          md.rhs[i] = v;
        } else {
          if (md.rngval.empty()) md.rngval.assign(md.numRows(), 0.0);
          md.rngval[i] = v;
          hasRange[i] = true;
        }
      }
    } else if (section == "BOUNDS") {
      if (tok.size() < 3) return fail("bad BOUNDS line");
      std::string type = tok[0];
      std::string cname;
      double v = 0.0;
      bool noValue = type == "FR" || type == "MI" || type == "PL" || type == "BV";
      if (tok.size() >= 4) {
        cname = tok[2];
        v = std::strtod(tok[3].c_str(), nullptr);
      } else if (noValue) {
        cname = tok.size() == 3 ? tok[2] : tok[1];
      } else {
        cname = tok[1];
        v = std::strtod(tok[2].c_str(), nullptr);
      }
      auto it = colOf.find(cname);
      if (it == colOf.end()) continue;
      int j = it->second;
      if (type == "UP") {
        md.ub[j] = v;
        if (v < 0 && md.lb[j] == 0.0) md.lb[j] = -model::kInfBound;
      } else if (type == "LO") {
        md.lb[j] = v;
      } else if (type == "FX") {
        md.lb[j] = md.ub[j] = v;
      } else if (type == "FR") {
        md.lb[j] = -model::kInfBound;
        md.ub[j] = model::kInfBound;
      } else if (type == "MI") {
        md.lb[j] = -model::kInfBound;
      } else if (type == "PL") {
        md.ub[j] = model::kInfBound;
      } else if (type == "BV") {
        md.lb[j] = 0.0;
        md.ub[j] = 1.0;
      } else if (type == "LI") {
        md.lb[j] = v;
      } else if (type == "UI") {
        md.ub[j] = v;
      }
    }
  }
  gzclose(f);
  // Ranges into the (rhs, rngval) form with sense 'R'.
  for (int i = 0; i < md.numRows(); ++i) {
    if (!hasRange[i]) continue;
    double r = md.rngval[i];
    char& s = md.sense[i];
    if (s == 'L') {
      md.rhs[i] -= std::fabs(r);
      md.rngval[i] = std::fabs(r);
    } else if (s == 'G') {
      md.rngval[i] = std::fabs(r);
    }
    s = 'R';
  }
  if (!md.rngval.empty())
    for (int i = 0; i < md.numRows(); ++i)
      if (md.sense[i] != 'R') md.rngval[i] = 0.0;
  md.matbeg.assign(1, 0);
  for (auto& c : cols) {
    for (auto& [i, v] : c) {
      md.matind.push_back(i);
      md.matval.push_back(v);
    }
    md.matbeg.push_back(static_cast<int64_t>(md.matind.size()));
  }
  return true;
}

}  // namespace vnt::testing
