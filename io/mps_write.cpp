// MPS writer.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/convert.h"
#include "io/io.h"
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
  if (int rc = checkRowSenses(m, msg)) return rc;
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
  std::vector<std::string> pn =
      defaulted(namesOf(m.pwl), static_cast<int>(m.pwl.size()), "piecewise linear constraint", 'p');
  // Objectives: one N row each (a multi-objective model writes all of its
  // records, objective 0 first); unnamed ones get obj1, obj2, ...
  const bool multi = !m.objectives.empty();
  std::vector<std::string> on;
  if (multi) {
    for (std::size_t k = 0; k < m.objectives.size(); ++k)
      on.push_back(k == 0 ? m.objname : m.objectives[k].name);
  } else {
    on.push_back(m.objname);
  }
  {
    bool anyEmpty = false;
    for (const auto& s : on) anyEmpty |= s.empty();
    if (anyEmpty && !generic) msg.warning(format("Default %-6s names obj1, obj2 ... being created.\n", "objective"));
    for (std::size_t k = 0; k < on.size(); ++k)
      if (generic || on[k].empty()) on[k] = "obj" + std::to_string(k + 1);
  }
  {
    std::vector<std::string*> colSpace, rowSpace, sosSpace, pwlSpace;
    for (auto& s : cn) colSpace.push_back(&s);
    for (auto& s : on) rowSpace.push_back(&s);
    for (auto* v : {&rn, &qn, &in, &un, &ln})
      for (auto& s : *v) rowSpace.push_back(&s);
    for (auto& s : sn) sosSpace.push_back(&s);
    for (auto& s : pn) pwlSpace.push_back(&s);
    bool changed = makeUnique(colSpace);
    changed = makeUnique(rowSpace) || changed;
    changed = makeUnique(sosSpace) || changed;
    changed = makeUnique(pwlSpace) || changed;
    if (changed) msg.warning("Warning:  Output names have been modified due to duplicate names.\n");
  }
  const std::string& objName = on[0];

  Writer w(dev);
  w.put(format("* ENCODING=%s\n", settings.fileEncoding.c_str()));
  w.put(format("NAME          %.255s\n", generic ? "" : m.probname.c_str()));
  if (m.objsen < 0) w.put("OBJSENSE\n    MAX\n");

  // ROWS: objective, linear rows, then the rows that carry quadratic and
  // indicator constraints.
  w.put("ROWS\n");
  if (multi) {
    for (std::size_t k = 0; k < m.objectives.size(); ++k) {
      const auto& o = m.objectives[k];
      w.put(format(" N  %.255s %s %s %s %s\n", on[k].c_str(), std::to_string(o.priority).c_str(),
                   mpsNumber(o.weight, true).c_str(), mpsNumber(o.abstol, true).c_str(),
                   mpsNumber(o.reltol, true).c_str()));
    }
  } else {
    w.put(format(" N  %.255s\n", objName.c_str()));
  }
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
  for (std::size_t k = 1; k < m.objectives.size(); ++k) addExtra(m.objectives[k].ind, m.objectives[k].val, on[k]);

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
  // Piecewise-linear constraints: PWLNAM lines "name y x preslope
  // postslope", then PWLCON lines "name x y", one per breakpoint in order.
  if (!m.pwl.empty()) {
    w.put("PWLNAM\n");
    for (std::size_t k = 0; k < m.pwl.size(); ++k) {
      const auto& f = m.pwl[k];
      w.put(format(" %.255s %.255s %.255s %s %s\n", pn[k].c_str(), cn[f.ycol].c_str(), cn[f.xcol].c_str(),
                   num(f.preslope).c_str(), num(f.postslope).c_str()));
    }
    w.put("PWLCON\n");
    for (std::size_t k = 0; k < m.pwl.size(); ++k) {
      const auto& f = m.pwl[k];
      for (std::size_t q = 0; q < f.x.size(); ++q)
        w.put(format(" %.255s %s %s\n", pn[k].c_str(), num(f.x[q]).c_str(), num(f.y[q]).c_str()));
    }
  }
  w.put("ENDATA\n");
  if (!w.flush() || dev.error()) return reportDeviceError(msg, dev);
  return 0;
}

}  // namespace vnt::io

// ---------------------------------------------------------------------------
// Dual writer.

namespace vnt::io {

// The dual is formed from the primal in minimization form (a maximizing
// primal has its objective negated first):
//
//   min c'x  s.t.  lo_i <= a_i x <= hi_i,  l <= x <= u.
//
// Each column is moved to a sign-constrained or free variable: x = l + x'
// with x' >= 0 when l is finite, x = u - x' with x' >= 0 when only u is
// finite, x' = x when x is free; the shifts change the row limits and add
// a constant c'shift to the objective.  A column with both bounds finite
// keeps x' <= u - l as a constraint of its own.  The dual then has
//
//   one column per finite row limit: y >= 0 for a lower limit (objective
//     coefficient lo), y <= 0 for an upper limit (coefficient hi), one free
//     column for an equality row; a ranged row gives two columns;
//   one column w <= 0 per bounded column (coefficient u - l);
//   one row per primal column:  sum_i a'_ij y_i + w_j <= c'_j for x' >= 0,
//     = c'_j for a free x';
//
// and is maximized.  For a maximizing primal the written dual minimizes the
// negated objective.  Either way the primal optimum equals the written
// dual's optimum plus `objshift` (the constant above, signed for the
// primal's sense, plus the primal's objective offset).
int buildDual(const model::ModelData& p, model::ModelData& d, double& objshift, Messages& msg) {
  if (int rc = checkRowSenses(p, msg)) return rc;
  const int n = p.numCols(), m = p.numRows();
  const double sg = p.objsen < 0 ? -1.0 : 1.0;
  auto finite = [](double v) { return !model::isInfinite(v); };

  // Column transformation: sign of x' in x and the shift.
  std::vector<double> csign(n, 1.0), shift(n, 0.0), cmod(n);
  std::vector<char> freeCol(n, 0);
  std::vector<double> range(n, model::kInfBound);  // u - l where both finite
  double constant = 0.0;
  for (int j = 0; j < n; ++j) {
    const double l = p.lb[j], u = p.ub[j], c = sg * p.obj[j];
    if (finite(l)) {
      shift[j] = l;
      if (finite(u)) range[j] = u - l;
    } else if (finite(u)) {
      shift[j] = u;
      csign[j] = -1.0;
    } else {
      freeCol[j] = 1;
    }
    constant += c * shift[j];
    cmod[j] = csign[j] * c;
  }
  // Row activity of the shift.
  std::vector<double> act(m, 0.0);
  for (int j = 0; j < n; ++j)
    if (shift[j] != 0.0)
      for (int64_t k = p.matbeg[j]; k < p.matbeg[j + 1]; ++k) act[p.matind[k]] += p.matval[k] * shift[j];

  // Names: dual rows after the primal columns, dual columns after the
  // primal rows (defaults x1.. and c1.. when the primal has none).
  std::vector<std::string> cname(p.colname), rname(p.rowname);
  if (cname.empty() && n > 0) {
    msg.warning("Default row names x1, x2 ... being created.\n");
    for (int j = 0; j < n; ++j) cname.push_back("x" + std::to_string(j + 1));
  }
  if (rname.empty() && m > 0) {
    msg.warning("Default variable names c1, c2 ... being created.\n");
    for (int i = 0; i < m; ++i) rname.push_back("c" + std::to_string(i + 1));
  }

  // Dual columns of the rows: (primal row, objective coefficient, lb, ub, name).
  model::ModelData out;
  out.objsen = p.objsen < 0 ? 1 : -1;
  out.objname = "obj";
  out.probname = p.probname;
  const double dsg = p.objsen < 0 ? -1.0 : 1.0;  // written objective = dsg * dual objective
  auto addDualCol = [&](double cost, double lb, double ub, std::string name) {
    out.obj.push_back(dsg * cost);
    out.lb.push_back(lb);
    out.ub.push_back(ub);
    out.colname.push_back(std::move(name));
    return out.numCols() - 1;
  };
  // Row-wise view of the primal for the dual columns.
  std::vector<int64_t> rbeg(m + 1, 0);
  for (int64_t k = 0; k < p.numNz(); ++k) ++rbeg[p.matind[k] + 1];
  for (int i = 0; i < m; ++i) rbeg[i + 1] += rbeg[i];
  std::vector<int> rcol(static_cast<size_t>(p.numNz()));
  std::vector<double> rval(static_cast<size_t>(p.numNz()));
  {
    std::vector<int64_t> pos(rbeg.begin(), rbeg.end() - 1);
    for (int j = 0; j < n; ++j)
      for (int64_t k = p.matbeg[j]; k < p.matbeg[j + 1]; ++k) {
        const int64_t q = pos[p.matind[k]]++;
        rcol[q] = j;
        rval[q] = csign[j] * p.matval[k];
      }
  }
  out.matbeg.assign(1, 0);
  auto emitRow = [&](int i) {  // entries of a dual column that copies primal row i
    for (int64_t q = rbeg[i]; q < rbeg[i + 1]; ++q) {
      if (rval[q] == 0.0) continue;
      out.matind.push_back(rcol[q]);
      out.matval.push_back(rval[q]);
    }
    out.matbeg.push_back(static_cast<int64_t>(out.matind.size()));
  };
  const double inf = model::kInfBound;
  for (int i = 0; i < m; ++i) {
    double lo = -inf, hi = inf;
    const double r = p.rhs[i];
    switch (p.sense[i]) {
      case 'L': hi = r; break;
      case 'G': lo = r; break;
      case 'E': lo = hi = r; break;
      case 'R': {
        const double rg = p.rngval.empty() ? 0.0 : p.rngval[i];
        lo = rg >= 0 ? r : r + rg;
        hi = rg >= 0 ? r + rg : r;
        break;
      }
      default: break;
    }
    const bool hasLo = finite(lo), hasHi = finite(hi);
    if (hasLo && hasHi && lo == hi) {
      addDualCol(lo - act[i], -inf, inf, rname[i]);
      emitRow(i);
      continue;
    }
    if (hasLo) {
      addDualCol(lo - act[i], 0.0, inf, rname[i]);
      emitRow(i);
    }
    if (hasHi) {
      addDualCol(hi - act[i], -inf, 0.0, hasLo ? rname[i] + "_rng" : rname[i]);
      emitRow(i);
    }
  }
  for (int j = 0; j < n; ++j) {
    if (range[j] >= inf) continue;
    addDualCol(range[j], -inf, 0.0, cname[j] + "_ub");
    out.matind.push_back(j);
    out.matval.push_back(1.0);
    out.matbeg.push_back(static_cast<int64_t>(out.matind.size()));
  }
  for (int j = 0; j < n; ++j) {
    out.rhs.push_back(cmod[j]);
    out.sense.push_back(freeCol[j] ? 'E' : 'L');
    out.rowname.push_back(cname[j]);
  }
  objshift = sg * constant + p.objoffset;
  if (objshift != 0.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%18.10e", objshift);
    out.probname += ".dual (objshift = " + std::string(buf) + ")";
  } else {
    out.probname += ".dual";
  }
  d = std::move(out);
  return 0;
}

int writeMpsDual(Device& dev, const model::ModelData& p, Messages& msg, double& objshift,
                 const IoSettings& settings) {
  model::ModelData d;
  if (int rc = buildDual(p, d, objshift, msg)) return rc;
  return writeMps(dev, d, msg, false, settings);
}

int writeMpsDualFile(const std::string& path, const model::ModelData& p, Messages& msg, double& objshift,
                     const IoSettings& settings) {
  if (path.empty()) return reportError(msg, 1421, "File name not specified");
  model::ModelData d;
  if (int rc = buildDual(p, d, objshift, msg)) return rc;
  auto dev = openFileDevice(path, 'w');
  if (!dev) return reportError(msg, 1422, "Could not open file '%s' for writing", path.c_str());
  int rc;
  if (isPassThroughEncoding(settings.fileEncoding)) {
    rc = writeMps(*dev, d, msg, false, settings);
  } else {
    auto conv = makeConvertingDevice(*dev, settings.fileEncoding, 'w');
    if (!conv) {
      dev->close();
      return reportError(msg, 1235, "Failed to convert string encoding");
    }
    rc = writeMps(*conv, d, msg, false, settings);
    const bool ok = conv->close();
    if (rc == 0 && !ok)
      rc = conv->errorCode() == 1235 ? reportError(msg, 1235, "Failed to convert string encoding")
                                     : reportError(msg, 1426, "Low-level file I/O error");
  }
  const bool closed = dev->close();
  if (rc == 0 && !closed) return reportError(msg, 1426, "Low-level file I/O error");
  return rc;
}

}  // namespace vnt::io
