// Structural checks of a model produced by a file reader, and of the error
// message printed when a read fails.  Shared by the fuzz harnesses and the
// reader regression tests; every function returns an empty string when the
// check passes and a description of the first violation otherwise.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/messages.h"
#include "model/modeldata.h"

namespace vnt::fuzz {

namespace detail {

inline bool inRange(int v, int n) { return v >= 0 && v < n; }
inline bool isNan(double v) { return std::isnan(v); }

inline std::string checkIndexList(const char* what, std::size_t k, const std::vector<int>& ind,
                                  std::size_t valCount, int n) {
  if (ind.size() != valCount)
    return std::string(what) + " " + std::to_string(k) + ": " + std::to_string(ind.size()) + " indices but " +
           std::to_string(valCount) + " values";
  for (int j : ind)
    if (!inRange(j, n)) return std::string(what) + " " + std::to_string(k) + ": column " + std::to_string(j) + " out of range";
  return {};
}

inline std::string checkQuadTerms(const char* what, const std::vector<model::QuadTerm>& q, int n,
                                  bool allowNan = false) {
  std::set<std::pair<int, int>> seen;
  for (const auto& t : q) {
    if (!inRange(t.col1, n) || !inRange(t.col2, n)) return std::string(what) + ": column out of range";
    if (t.col1 > t.col2) return std::string(what) + ": term below the diagonal";
    if (!allowNan && isNan(t.coef)) return std::string(what) + ": NaN coefficient";
    if (!seen.insert({t.col1, t.col2}).second) return std::string(what) + ": pair listed twice";
  }
  return {};
}

inline bool isSense(char s, bool ranged) { return s == 'L' || s == 'G' || s == 'E' || (ranged && s == 'R'); }

}  // namespace detail

// Sizes, index ranges and codes of a model a reader returned with status 0.
// Binary files carry numbers bit for bit, NaN included (allowNan).
inline std::string checkModel(const model::ModelData& m, bool allowNan = false) {
  using detail::inRange;
  auto isNan = [allowNan](double v) { return !allowNan && std::isnan(v); };
  const int n = m.numCols(), rows = m.numRows();
  const std::size_t un = static_cast<std::size_t>(n), um = static_cast<std::size_t>(rows);
  if (m.objsen != 1 && m.objsen != -1) return "objsen " + std::to_string(m.objsen);
  if (isNan(m.objoffset)) return "NaN objective offset";
  if (m.lb.size() != un || m.ub.size() != un) return "bound arrays do not have n entries";
  if (!m.ctype.empty() && m.ctype.size() != un) return "ctype neither empty nor n entries";
  if (!m.colname.empty() && m.colname.size() != un) return "colname neither empty nor n entries";
  for (int j = 0; j < n; ++j) {
    if (isNan(m.obj[j]) || isNan(m.lb[j]) || isNan(m.ub[j])) return "NaN in column " + std::to_string(j);
    if (!m.ctype.empty()) {
      char t = m.ctype[j];
      if (t != 'C' && t != 'I' && t != 'B' && t != 'S' && t != 'N')
        return "column " + std::to_string(j) + " has type code " + std::to_string(static_cast<int>(t));
    }
  }
  if (m.sense.size() != um) return "sense does not have m entries";
  if (!m.rngval.empty() && m.rngval.size() != um) return "rngval neither empty nor m entries";
  if (!m.rowname.empty() && m.rowname.size() != um) return "rowname neither empty nor m entries";
  for (int i = 0; i < rows; ++i) {
    if (!detail::isSense(m.sense[i], true))
      return "row " + std::to_string(i) + " has sense code " + std::to_string(static_cast<int>(m.sense[i]));
    if (isNan(m.rhs[i]) || (!m.rngval.empty() && isNan(m.rngval[i]))) return "NaN in row " + std::to_string(i);
  }
  if (m.matbeg.size() != un + 1) return "matbeg has " + std::to_string(m.matbeg.size()) + " entries for n = " + std::to_string(n);
  if (m.matbeg[0] != 0) return "matbeg[0] != 0";
  if (m.matind.size() != m.matval.size()) return "matind and matval differ in size";
  if (m.matbeg[un] != static_cast<int64_t>(m.matind.size())) return "matbeg[n] != number of entries";
  std::vector<int> mark(um, -1);
  for (int j = 0; j < n; ++j) {
    if (m.matbeg[j + 1] < m.matbeg[j]) return "matbeg decreases at column " + std::to_string(j);
    for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) {
      int i = m.matind[static_cast<std::size_t>(k)];
      if (!inRange(i, rows)) return "column " + std::to_string(j) + ": row index " + std::to_string(i) + " out of range";
      if (mark[static_cast<std::size_t>(i)] == j) return "column " + std::to_string(j) + ": row " + std::to_string(i) + " twice";
      mark[static_cast<std::size_t>(i)] = j;
      if (isNan(m.matval[static_cast<std::size_t>(k)])) return "NaN matrix value in column " + std::to_string(j);
    }
  }
  if (auto e = detail::checkQuadTerms("qobj", m.qobj, n, allowNan); !e.empty()) return e;
  for (std::size_t k = 0; k < m.sos.size(); ++k) {
    const auto& s = m.sos[k];
    if (s.type != '1' && s.type != '2') return "sos " + std::to_string(k) + " type code " + std::to_string(static_cast<int>(s.type));
    if (auto e = detail::checkIndexList("sos", k, s.ind, s.weight.size(), n); !e.empty()) return e;
  }
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) {
    const auto& q = m.qconstr[k];
    if (!detail::isSense(q.sense, false)) return "quadratic constraint " + std::to_string(k) + " sense";
    if (auto e = detail::checkIndexList("quadratic constraint", k, q.linind, q.linval.size(), n); !e.empty()) return e;
    if (auto e = detail::checkQuadTerms("quadratic constraint terms", q.quad, n, allowNan); !e.empty()) return e;
  }
  for (std::size_t k = 0; k < m.indconstr.size(); ++k) {
    const auto& c = m.indconstr[k];
    if (!inRange(c.indvar, n)) return "indicator " + std::to_string(k) + " variable out of range";
    if (c.direction < 0 || c.direction > 2)
      return "indicator " + std::to_string(k) + " direction " + std::to_string(c.direction);
    if (!detail::isSense(c.sense, false)) return "indicator " + std::to_string(k) + " sense";
    if (auto e = detail::checkIndexList("indicator", k, c.ind, c.val.size(), n); !e.empty()) return e;
  }
  for (std::size_t k = 0; k < m.pwl.size(); ++k) {
    const auto& f = m.pwl[k];
    const std::string what = "piecewise-linear constraint " + std::to_string(k);
    if (!inRange(f.xcol, n) || !inRange(f.ycol, n)) return what + ": variable out of range";
    if (f.xcol == f.ycol) return what + ": x and y are one column";
    if (f.x.empty() || f.x.size() != f.y.size()) return what + ": breakpoint lists of unequal or no length";
    if (isNan(f.preslope) || isNan(f.postslope)) return what + ": NaN slope";
    for (std::size_t b = 0; b < f.x.size(); ++b) {
      if (isNan(f.x[b]) || isNan(f.y[b])) return what + ": NaN breakpoint";
      if (b > 0 && f.x[b] < f.x[b - 1]) return what + ": breakpoints not in order";
    }
  }
  for (std::size_t k = 0; k < m.objectives.size(); ++k) {
    const auto& o = m.objectives[k];
    const std::string what = "objective " + std::to_string(k);
    if (isNan(o.weight) || isNan(o.abstol) || isNan(o.reltol) || isNan(o.offset)) return what + ": NaN attribute";
    if (auto e = detail::checkIndexList("objective", k, o.ind, o.val.size(), n); !e.empty()) return e;
    std::set<int> seen;
    for (std::size_t t = 0; t < o.ind.size(); ++t) {
      if (!seen.insert(o.ind[t]).second) return what + ": column listed twice";
      if (isNan(o.val[t])) return what + ": NaN coefficient";
    }
  }
  for (const auto* list : {&m.usercuts, &m.lazycons})
    for (std::size_t k = 0; k < list->size(); ++k) {
      const auto& c = (*list)[k];
      if (!detail::isSense(c.sense, false)) return "cut or lazy constraint " + std::to_string(k) + " sense";
      if (auto e = detail::checkIndexList("cut or lazy constraint", k, c.ind, c.val.size(), n); !e.empty()) return e;
    }
  return {};
}

// Codes whose message carries no line number (the condition is found after
// the line that caused it, or belongs to the whole file).
inline bool codeWithoutLine(int code) {
  switch (code) {
    case 1001:  // out of memory
    case 1235:  // encoding conversion
    case 1426:  // input/output failure
    case 1436:  // Max or Min missing
    case 1443:  // column has repeated row
    case 1444:  // ... has repeated row
    case 1445:  // row repeats
    case 1446:  // column repeats
    case 1477:  // row repeats messages not printed
    case 1478:  // column repeats messages not printed
    case 1210:  // a name of a piecewise-linear section not found (after its own line)
    case 1213:  // ill defined piecewise linear function
    case 1810:  // 32-bit overflow
    case 5012:  // Q is not symmetric
    case 1560: case 1561: case 1562: case 1563: case 1564:  // binary SAV files have no lines
      return true;
    default: return false;
  }
}

// A failed read: negative status, at least one "VANTO Error" message, the
// last one naming the returned code and, where the reader knows the line, a
// line number.
inline std::string checkFailure(int rc, const std::string& errors) {
  if (rc >= 0) return "failure status " + std::to_string(rc) + " is not negative";
  if (errors.empty()) return "status " + std::to_string(rc) + " without an error message";
  const int code = -rc;
  // the last message
  std::size_t end = errors.size();
  while (end > 0 && errors[end - 1] == '\n') --end;
  std::size_t start = errors.rfind("VANTO Error", end == 0 ? 0 : end - 1);
  if (start == std::string::npos) return "error text without 'VANTO Error': " + errors;
  std::string_view last(errors.data() + start, end - start);
  // "VANTO Error %5d: "
  std::size_t colon = last.find(':');
  if (colon == std::string_view::npos) return "error message without code: " + std::string(last);
  int printed = std::atoi(std::string(last.substr(11, colon - 11)).c_str());
  if (printed != code)
    return "status " + std::to_string(rc) + " but last message " + std::string(last);
  if (!codeWithoutLine(code) && last.find("Line ") == std::string_view::npos &&
      last.find("Lines ") == std::string_view::npos)
    return "message without line number: " + std::string(last);
  return {};
}

// Reader settings of one fuzz input, chosen by an FNV-1a hash of its bytes so
// that every input reproduces with the same settings: one input in four reads
// with the non-default switches and a small warning limit.
inline io::IoSettings settingsFor(std::string_view data) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : data) h = (h ^ c) * 1099511628211ull;
  io::IoSettings s;
  if ((h & 3) == 3) {
    s.readQuadConstraints = false;
    s.readIntegers = false;
    s.readQuadObjective = false;
    s.mpsSelectedLines = false;
    s.warningLimit = static_cast<int64_t>((h >> 2) % 3);
  }
  return s;
}

}  // namespace vnt::fuzz
