// MPS writer.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/linereader.h"
#include "io/mps.h"
#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr int kMarkerWrap = 9999;  // marker numbers run 0 .. 9998

// Value text of the writer: long form (15 significant digits, 23 wide) or
// compact form (fits 12 characters, exponent letter "E").
std::string mpsNumber(double v, bool longForm) {
  char buf[64];
  if (longForm) {
    std::snprintf(buf, sizeof buf, "%23s", numberText(v, 15).c_str());
    return buf;
  }
  std::string s;
  for (int d = 12; d >= 1; --d) {
    std::snprintf(buf, sizeof buf, "%.*G", d, v);
    s = buf;
    if (s.size() <= 12) break;
  }
  std::snprintf(buf, sizeof buf, "%12s", s.c_str());
  return buf;
}

// Makes the names of one MPS name space usable: empty names or names with
// blanks are replaced, duplicates get a suffix.  Returns true if anything
// changed.
bool makeUnique(std::vector<std::string*>& names) {
  bool changed = false;
  std::unordered_set<std::string> seen;
  seen.reserve(names.size() * 2);
  for (std::string* n : names) {
    // an empty field cannot be read back; a leading '$' starts a comment
    if (n->empty() || (*n)[0] == '$') {
      n->insert(0, "_");
      changed = true;
    }
    for (char& c : *n)
      if (static_cast<unsigned char>(c) <= 32 || c == 127) {
        c = '_';
        changed = true;
      }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string& n = *names[i];
    if (seen.insert(n).second) continue;
    changed = true;
    for (long long k = static_cast<long long>(i);; ++k) {
      std::string cand = n + "#" + std::to_string(k);
      if (seen.insert(cand).second) {
        n = cand;
        break;
      }
    }
  }
  return changed;
}

// Names of one set for writing: the model's own names, or generated ones
// (letter + 1-based index) when the set has none or in generic mode.
std::vector<std::string> defaultedNames(const std::vector<std::string>& given, int count, bool generic,
                                        const char* kind, char letter, Messages& msg) {
  bool none = given.empty() || std::all_of(given.begin(), given.end(), [](const std::string& x) { return x.empty(); });
  std::vector<std::string> v;
  if (count == 0) return v;
  if (generic || none) {
    msg.warning(format("Default %-6s names %c1, %c2 ... being created.\n", kind, letter, letter));
    v.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) v.push_back(letter + std::to_string(i + 1));
    return v;
  }
  v = given;
  v.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    if (v[i].empty()) v[i] = letter + std::to_string(i + 1);
  return v;
}

}  // namespace

int writeMps(Device& dev, const model::ModelData& m, Messages& msg, bool generic, const IoSettings& settings) {
  const int n = m.numCols();
  const int mr = m.numRows();
  const bool lf = settings.mpsLongNumbers;
  auto num = [&](double v) { return mpsNumber(v, lf); };

  // Names.
  std::vector<std::string> cn = defaultedNames(m.colname, n, generic, "column", 'C', msg);
  std::vector<std::string> rn = defaultedNames(m.rowname, mr, generic, "row", 'R', msg);
  auto namesOf = [](const auto& list) {
    std::vector<std::string> v;
    v.reserve(list.size());
    for (const auto& x : list) v.push_back(x.name);
    return v;
  };
  auto allEmpty = [](const std::vector<std::string>& v) {
    return std::all_of(v.begin(), v.end(), [](const std::string& s) { return s.empty(); });
  };
  auto defaulted = [&](const std::vector<std::string>& given, int count, const char* kind, char letter) {
    if (count == 0) return std::vector<std::string>{};
    if (generic || allEmpty(given)) return defaultedNames({}, count, true, kind, letter, msg);
    std::vector<std::string> v = given;
    for (int i = 0; i < count; ++i)
      if (v[i].empty()) v[i] = std::string(1, letter) + std::to_string(i + 1);
    return v;
  };
  std::vector<std::string> qn = defaulted(namesOf(m.qconstr), static_cast<int>(m.qconstr.size()), "quadratic constraint", 'q');
  std::vector<std::string> in = defaulted(namesOf(m.indconstr), static_cast<int>(m.indconstr.size()), "indicator constraint", 'i');
  std::vector<std::string> un = defaulted(namesOf(m.usercuts), static_cast<int>(m.usercuts.size()), "user cut", 'u');
  std::vector<std::string> ln = defaulted(namesOf(m.lazycons), static_cast<int>(m.lazycons.size()), "lazy constraints", 'l');
  std::vector<std::string> sn = defaulted(namesOf(m.sos), static_cast<int>(m.sos.size()), "SOS", 's');
  std::string objName = m.objname;
  if (generic || objName.empty()) {
    if (!generic) msg.warning(format("Default %-6s names obj1, obj2 ... being created.\n", "objective"));
    objName = "obj1";
  }
  {
    std::vector<std::string*> colSpace, rowSpace, sosSpace;
    for (auto& s : cn) colSpace.push_back(&s);
    rowSpace.push_back(&objName);
    for (auto* v : {&rn, &qn, &in, &un, &ln})
      for (auto& s : *v) rowSpace.push_back(&s);
    for (auto& s : sn) sosSpace.push_back(&s);
    bool changed = makeUnique(colSpace);
    changed = makeUnique(rowSpace) || changed;
    changed = makeUnique(sosSpace) || changed;
    if (changed) msg.warning("Warning:  Output names have been modified due to duplicate names.\n");
  }

  Writer w(dev);
  w.put(format("* ENCODING=%s\n", settings.fileEncoding.c_str()));
  w.put(format("NAME          %.255s\n", generic ? "" : m.probname.c_str()));
  if (m.objsen < 0) w.put("OBJSENSE\n    MAX\n");

  // ROWS: objective, linear rows, then the rows that carry quadratic and
  // indicator constraints.
  w.put("ROWS\n");
  w.put(format(" N  %.255s\n", objName.c_str()));
  for (int i = 0; i < mr; ++i) {
    char s = m.sense[i];
    if (s == 'R') {
      double r = m.rngval.empty() ? 0.0 : m.rngval[i];
      s = r > 0 ? 'G' : r < 0 ? 'L' : 'E';
    }
    w.put(format(" %c  %.255s\n", s, rn[i].c_str()));
  }
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) w.put(format(" %c  %.255s\n", m.qconstr[k].sense, qn[k].c_str()));
  for (std::size_t k = 0; k < m.indconstr.size(); ++k) w.put(format(" %c  %.255s\n", m.indconstr[k].sense, in[k].c_str()));
  if (!m.usercuts.empty()) {
    w.put("USERCUTS\n");
    for (std::size_t k = 0; k < m.usercuts.size(); ++k) w.put(format(" %c  %.255s\n", m.usercuts[k].sense, un[k].c_str()));
  }
  if (!m.lazycons.empty()) {
    w.put("LAZYCONS\n");
    for (std::size_t k = 0; k < m.lazycons.size(); ++k) w.put(format(" %c  %.255s\n", m.lazycons[k].sense, ln[k].c_str()));
  }

  // Column-wise entries of the constraints kept outside the matrix.
  struct Extra {
    const std::string* row;
    double val;
  };
  std::vector<std::vector<Extra>> extra(static_cast<std::size_t>(n));
  auto addExtra = [&](const std::vector<int>& ind, const std::vector<double>& val, const std::string& row) {
    for (std::size_t k = 0; k < ind.size(); ++k) extra[ind[k]].push_back({&row, val[k]});
  };
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) addExtra(m.qconstr[k].linind, m.qconstr[k].linval, qn[k]);
  for (std::size_t k = 0; k < m.indconstr.size(); ++k) addExtra(m.indconstr[k].ind, m.indconstr[k].val, in[k]);
  for (std::size_t k = 0; k < m.usercuts.size(); ++k) addExtra(m.usercuts[k].ind, m.usercuts[k].val, un[k]);
  for (std::size_t k = 0; k < m.lazycons.size(); ++k) addExtra(m.lazycons[k].ind, m.lazycons[k].val, ln[k]);

  w.put("COLUMNS\n");
  long long marker = 0;
  bool inMarker = false;
  auto isIntType = [](char t) { return t == 'I' || t == 'B' || t == 'N'; };
  auto writeMarker = [&](const char* kind) {
    w.put(format("    MARK%04lld  'MARKER'                 '%s'\n", marker, kind));
    marker = (marker + 1) % kMarkerWrap;
  };
  std::vector<std::pair<const std::string*, double>> entries;
  for (int j = 0; j < n; ++j) {
    char t = m.ctype.empty() ? 'C' : m.ctype[j];
    // A binary with bounds 0 and 1 is written with a BV bound outside the
    // markers; other integer kinds go between markers.
    bool marked = isIntType(t) && !(t == 'B' && m.lb[j] == 0.0 && m.ub[j] == 1.0);
    if (marked != inMarker) {
      writeMarker(marked ? "INTORG" : "INTEND");
      inMarker = marked;
    }
    entries.clear();
    if (m.obj[j] != 0.0) entries.emplace_back(&objName, m.obj[j]);
    for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) entries.emplace_back(&rn[m.matind[k]], m.matval[k]);
    for (const auto& e : extra[j]) entries.emplace_back(e.row, e.val);
    if (entries.empty()) {
      w.put(format("    %.255s  %.255s  0\n", cn[j].c_str(), objName.c_str()));
      continue;
    }
    for (std::size_t k = 0; k < entries.size(); k += 2) {
      if (k + 1 < entries.size()) {
        w.put(format("    %.255s  %.255s  %s", cn[j].c_str(), entries[k].first->c_str(), num(entries[k].second).c_str()));
        w.put(format("   %.255s  %s\n", entries[k + 1].first->c_str(), num(entries[k + 1].second).c_str()));
      } else {
        w.put(format("    %.255s  %.255s  %s\n", cn[j].c_str(), entries[k].first->c_str(), num(entries[k].second).c_str()));
      }
    }
  }
  if (inMarker) writeMarker("INTEND");

  // RHS and RANGES.
  w.put("RHS\n");
  auto rhsLine = [&](const std::string& row, double v) {
    if (v != 0.0) w.put(format("    rhs   %.255s  %s\n", row.c_str(), num(v).c_str()));
  };
  for (int i = 0; i < mr; ++i) rhsLine(rn[i], m.rhs[i]);
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) rhsLine(qn[k], m.qconstr[k].rhs);
  for (std::size_t k = 0; k < m.indconstr.size(); ++k) rhsLine(in[k], m.indconstr[k].rhs);
  for (std::size_t k = 0; k < m.usercuts.size(); ++k) rhsLine(un[k], m.usercuts[k].rhs);
  for (std::size_t k = 0; k < m.lazycons.size(); ++k) rhsLine(ln[k], m.lazycons[k].rhs);
  bool anyRange = false;
  for (int i = 0; i < mr && !m.rngval.empty(); ++i) anyRange |= m.sense[i] == 'R' && m.rngval[i] != 0.0;
  if (anyRange) {
    w.put("RANGES\n");
    for (int i = 0; i < mr; ++i)
      if (m.sense[i] == 'R' && m.rngval[i] != 0.0)
        w.put(format("    rng   %.255s  %s\n", rn[i].c_str(), num(std::fabs(m.rngval[i])).c_str()));
  }

  // BOUNDS.
  std::string bounds;
  auto bline = [&](const char* type, int j) { bounds += format(" %s bnd   %.255s\n", type, cn[j].c_str()); };
  auto bvline = [&](const char* type, int j, double v) {
    bounds += format(" %s bnd   %.255s  %s\n", type, cn[j].c_str(), num(v).c_str());
  };
  for (int j = 0; j < n; ++j) {
    char t = m.ctype.empty() ? 'C' : m.ctype[j];
    double l = m.lb[j], u = m.ub[j];
    bool linf = l <= -model::kInfBound, uinf = u >= model::kInfBound;
    if (t == 'B' && l == 0.0 && u == 1.0) {
      bline("BV", j);
      continue;
    }
    if (t == 'S' || t == 'N') {
      if (l != 0.0) {
        if (linf)
          bline("MI", j);
        else
          bvline("LO", j, l);
      }
      bvline("SC", j, uinf ? model::kInfBound : u);
      continue;
    }
    if (t == 'I' && l == 0.0 && u == 1.0) {  // keeps the general-integer type
      bvline("LI", j, 0.0);
      bvline("UP", j, 1.0);
      continue;
    }
    if (!linf && !uinf && l == u) {
      bvline("FX", j, l);
      continue;
    }
    if (linf && uinf) {
      bline("FR", j);
      continue;
    }
    if (linf)
      bline("MI", j);
    else if (l != 0.0 || (!uinf && u < 0.0))
      bvline("LO", j, l);
    if (!uinf) bvline("UP", j, u);
  }
  if (!bounds.empty()) {
    w.put("BOUNDS\n");
    w.put(bounds);
  }

  if (!m.sos.empty()) {
    w.put("SOS\n");
    for (std::size_t k = 0; k < m.sos.size(); ++k) {
      const auto& s = m.sos[k];
      w.put(format(" S%c %s\n", s.type, sn[k].c_str()));
      for (std::size_t i = 0; i < s.ind.size(); ++i)
        w.put(format("    %.255s  %s\n", cn[s.ind[i]].c_str(), num(s.weight[i]).c_str()));
    }
  }
  if (!m.qobj.empty()) {
    w.put("QMATRIX\n");
    // every entry of the symmetric matrix, row by row
    std::vector<model::QuadTerm> full;
    full.reserve(m.qobj.size() * 2);
    for (const auto& t : m.qobj) {
      full.push_back(t);
      if (t.col1 != t.col2) full.push_back({t.col2, t.col1, t.coef});
    }
    std::sort(full.begin(), full.end(),
              [](const auto& a, const auto& b) { return a.col1 != b.col1 ? a.col1 < b.col1 : a.col2 < b.col2; });
    for (const auto& t : full)
      w.put(format("    %.255s  %.255s  %s\n", cn[t.col1].c_str(), cn[t.col2].c_str(), num(t.coef).c_str()));
  }
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) {
    w.put(format("QCMATRIX   %.255s\n", qn[k].c_str()));
    for (const auto& t : m.qconstr[k].quad) {
      if (t.col1 == t.col2) {
        w.put(format("    %.255s  %.255s  %s\n", cn[t.col1].c_str(), cn[t.col2].c_str(), num(t.coef).c_str()));
      } else {
        std::string h = num(t.coef / 2);
        w.put(format("    %.255s  %.255s  %s\n", cn[t.col1].c_str(), cn[t.col2].c_str(), h.c_str()));
        w.put(format("    %.255s  %.255s  %s\n", cn[t.col2].c_str(), cn[t.col1].c_str(), h.c_str()));
      }
    }
  }
  if (!m.indconstr.empty()) {
    w.put("INDICATORS\n");
    for (std::size_t k = 0; k < m.indconstr.size(); ++k) {
      const auto& ic = m.indconstr[k];
      w.put(format(" %s %.255s  %.255s  %s\n", "IF", in[k].c_str(), cn[ic.indvar].c_str(), ic.complemented ? "0" : "1"));
    }
  }
  w.put("ENDATA\n");
  if (!w.flush() || dev.error()) return reportDeviceError(msg, dev);
  return 0;
}

}  // namespace vnt::io
