// LP format writer.  Lines are built from pieces and wrapped at 79
// characters; names are made valid and unique for the reader; ranged rows
// are written as equalities with a range variable.

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/io.h"
#include "io/linereader.h"
#include "io/lp.h"
#include "io/lpchars.h"
#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr std::size_t kLineMax = 79;
constexpr std::size_t kNameOut = 255;
constexpr std::size_t kMaxIndent = 24;
constexpr double kUnitTol = 1e-13;
constexpr std::size_t kAnnotatedMax = 41;

class LineBuilder {
 public:
  explicit LineBuilder(Writer& w) : w_(w) {}
  void start(std::string_view head, std::size_t indent) {
    line_.assign(head);
    indent_ = std::min(indent, kMaxIndent);
  }
  void piece(std::string_view p) {
    if (line_.size() + p.size() > kLineMax && line_.size() > indent_) {
      w_.put(line_);
      w_.put('\n');
      line_.assign(indent_, ' ');
      // a piece that starts with a blank does not need another one
      if (!p.empty() && p[0] == ' ' && indent_ > 0) line_.pop_back();
    }
    line_.append(p);
  }
  void end() {
    w_.put(line_);
    w_.put('\n');
    line_.clear();
  }
  std::size_t size() const { return line_.size(); }

 private:
  Writer& w_;
  std::string line_;
  std::size_t indent_ = 0;
};

// Words that the reader would take for a section keyword when they stand
// alone on a line (as a name may in the type sections), or for a number.
bool keywordLike(std::string_view n) {
  for (const char* k : {"end", "int", "ints", "integer", "integers", "bin", "bins", "binary", "binaries", "gen", "gens",
                        "general", "generals", "semi", "semis", "semi-continuous", "sos", "pwl", "inf", "infinity"})
    if (equalsNoCase(n, k)) return true;
  return n.size() >= 4 && n.size() <= 6 && equalsNoCase(n, std::string_view("bounds").substr(0, n.size()));
}

bool validLpName(std::string_view n) {
  if (n.empty() || keywordLike(n)) return false;
  if (!lpIs(n[0], kLpIdentifier) || n[0] == 'e' || n[0] == 'E') return false;
  for (char c : n)
    if (lpIs(c, kLpBlank) || lpIs(c, kLpTerminator) || lpIs(c, kLpSign) || lpIs(c, kLpLineEnd)) return false;
  return true;
}

char replacement(unsigned char c) {
  if (c < 32 || c == 127 || c == ' ' || c == '\\') return '_';
  switch (c) {
    case '*': return 'a';
    case '|': return 'b';
    case '^': return 'c';
    case '/': return 'd';
    case '=': return 'e';
    case '>': return 'g';
    case '<': return 'l';
    case '-': return 'm';
    case '+': return 'p';
    case ':': return '.';
    case '[': return '(';
    case ']': return ')';
    default: return static_cast<char>(c);
  }
}

// Repairs one name set in place: when any name is invalid every name is
// rewritten and suffixed "#index"; otherwise duplicates get that suffix.
// Returns true when a name changed.
bool repairNames(std::vector<std::string>& names) {
  bool anyInvalid = false;
  for (const auto& n : names) anyInvalid |= !validLpName(n);
  if (anyInvalid) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string& n = names[i];
      std::string r;
      if (n.empty() || !lpIs(n[0], kLpIdentifier) || n[0] == 'e' || n[0] == 'E') r.push_back('_');
      for (unsigned char c : n) r.push_back(c < 128 ? replacement(c) : static_cast<char>(c));
      r += "#" + std::to_string(i);
      n = std::move(r);
    }
    return true;
  }
  std::unordered_set<std::string> seen;
  seen.reserve(names.size() * 2);
  bool changed = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (seen.insert(names[i]).second) continue;
    std::string cand = names[i] + "#" + std::to_string(i);
    while (!seen.insert(cand).second) cand += "#";
    names[i] = std::move(cand);
    changed = true;
  }
  return changed;
}

std::string num(double v) { return numberText(v, 15); }

std::string boundText(double v) {
  if (v >= model::kInfBound) return "inf";
  if (v <= -model::kInfBound) return "-inf";
  return num(v);
}

// Term piece: sign, coefficient (left out when 1), name.
std::string termPiece(double coef, const std::string& name, bool first) {
  std::string p;
  bool neg = coef < 0;
  double a = std::fabs(coef);
  if (!first || neg) p += neg ? " - " : " + ";
  else p += " ";
  if (std::fabs(a - 1.0) > kUnitTol) p += num(a) + " ";
  p += name;
  return p;
}

}  // namespace

int writeLp(Device& dev, const model::ModelData& m, Messages& msg, LpNames mode, const IoSettings& settings) {
  const int n = m.numCols(), mr = m.numRows();
  if (int rc = checkRowSenses(m, msg)) return rc;
  for (double v : m.obj)
    if (std::isnan(v) || std::isinf(v)) return reportError(msg, 1650, "Number not representable in exponential notation");
  for (double v : m.matval)
    if (std::isnan(v) || std::isinf(v)) return reportError(msg, 1650, "Number not representable in exponential notation");

  // Names of every set.
  const bool own = mode == LpNames::Normal;
  auto setNames = [&](const std::vector<std::string>& given, std::size_t count, const char* notice, const char* prefix) {
    std::vector<std::string> v;
    bool none = given.empty() || std::all_of(given.begin(), given.end(), [](const std::string& s) { return s.empty(); });
    if (count == 0) return v;
    if (!own || none) {
      if (own || mode == LpNames::Generic || mode == LpNames::Annotated) msg.warning(notice);
      for (std::size_t i = 0; i < count; ++i) v.push_back(prefix + std::to_string(i + 1));
      return v;
    }
    v = given;
    v.resize(count);
    for (std::size_t i = 0; i < count; ++i)
      if (v[i].empty()) v[i] = prefix + std::to_string(i + 1);
    return v;
  };
  auto listNames = [](const auto& list) {
    std::vector<std::string> v;
    for (const auto& x : list) v.push_back(x.name);
    return v;
  };
  std::vector<std::string> cn, rn, sn, qn, in, un, ln, pn, on;
  if (mode == LpNames::Annotated) {
    for (int j = 0; j < n; ++j) {
      char t = m.ctype.empty() ? 'C' : m.ctype[j];
      std::string s = format("%c%lld(%s,%s)", t, static_cast<long long>(j + 1), boundText(m.lb[j]).c_str(),
                             boundText(m.ub[j]).c_str());
      if (s.size() > kAnnotatedMax) s.resize(kAnnotatedMax);
      cn.push_back(std::move(s));
    }
  } else {
    cn = setNames(m.colname, static_cast<std::size_t>(n), "Default variable names x1, x2 ... being created.\n", "x");
  }
  rn = setNames(m.rowname, static_cast<std::size_t>(mr), "Default row names c1, c2 ... being created.\n", "c");
  sn = setNames(listNames(m.sos), m.sos.size(), "Default sos names s1, s2 ... being created.\n", "s");
  qn = setNames(listNames(m.qconstr), m.qconstr.size(), "Default quadratic constraint names q1, q2 ... being created.\n", "q");
  in = setNames(listNames(m.indconstr), m.indconstr.size(), "Default indicator names i1, i2 ... being created.\n", "i");
  un = setNames(listNames(m.usercuts), m.usercuts.size(), "Default user cut names u1, u2 ... being created.\n", "u");
  ln = setNames(listNames(m.lazycons), m.lazycons.size(), "Default lazy constraint names l1, l2 ... being created.\n", "l");
  pn = setNames(listNames(m.pwl), m.pwl.size(), "Default piecewise linear names p1, p2 ... being created.\n", "p");
  // objectives of a multi-objective model always need a name to be read
  // (objective 0 is also the ordinary objective and may carry its name there)
  for (std::size_t k = 0; k < m.objectives.size(); ++k) {
    std::string nm = k == 0 && !m.objname.empty() ? m.objname : m.objectives[k].name;
    on.push_back(own && !nm.empty() ? nm : "obj" + std::to_string(k + 1));
  }
  std::string objName = (own && !m.objname.empty()) ? m.objname : "obj1";
  if (own && settings.lpRepairNames) {
    bool changed = false;
    for (auto* v : {&cn, &rn, &sn, &qn, &in, &un, &ln, &pn, &on}) changed = repairNames(*v) || changed;
    std::vector<std::string> o{objName};
    if (!validLpName(objName)) {
      changed = repairNames(o) || changed;
      objName = o[0];
    }
    if (changed)
      msg.warning("Warning:  Output names have been modified due to duplicate names or characters invalid in LP format.\n");
  }
  for (auto* v : {&cn, &rn, &sn, &qn, &in, &un, &ln, &pn, &on})
    for (auto& s : *v)
      if (s.size() > kNameOut) s.resize(utf8Cut(s, kNameOut));

  // Row-wise copy of the matrix.
  std::vector<int64_t> rbeg(static_cast<std::size_t>(mr) + 1, 0);
  for (int64_t k = 0; k < m.numNz(); ++k) ++rbeg[m.matind[k] + 1];
  for (int i = 0; i < mr; ++i) rbeg[i + 1] += rbeg[i];
  std::vector<int> rind(static_cast<std::size_t>(m.numNz()));
  std::vector<double> rval(static_cast<std::size_t>(m.numNz()));
  {
    std::vector<int64_t> pos(rbeg.begin(), rbeg.end() - 1);
    for (int j = 0; j < n; ++j)
      for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) {
        int64_t p = pos[m.matind[k]]++;
        rind[p] = j;
        rval[p] = m.matval[k];
      }
  }

  // The reader creates columns in the order of their first appearance; when
  // that order would differ from ours (or a column appears nowhere), every
  // column is listed in the objective, with coefficient 0 where it has none.
  bool padObjective = false;
  {
    std::vector<char> seen(static_cast<std::size_t>(n), 0);
    int next = 0;
    auto see = [&](int j) {
      if (seen[j]) return;
      seen[j] = 1;
      if (j != next) padObjective = true;
      ++next;
    };
    // objective 0 of a multi-objective model is the ordinary objective
    for (int j = 0; j < n && !padObjective; ++j)
      if (m.obj[j] != 0.0) see(j);
    for (std::size_t r = 1; r < m.objectives.size(); ++r) {
      const auto& o = m.objectives[r];
      for (std::size_t k = 0; k < o.ind.size(); ++k)
        if (o.val[k] != 0.0) see(o.ind[k]);
    }
    for (const auto& t : m.qobj) see(t.col1), see(t.col2);
    for (int i = 0; i < mr && !padObjective; ++i)
      for (int64_t k = rbeg[i]; k < rbeg[i + 1]; ++k) see(rind[k]);
    for (std::size_t k = 0; k < m.qconstr.size() && !padObjective; ++k) {
      for (int j : m.qconstr[k].linind) see(j);
      for (const auto& t : m.qconstr[k].quad) see(t.col1), see(t.col2);
    }
    for (std::size_t k = 0; k < m.indconstr.size() && !padObjective; ++k) {
      see(m.indconstr[k].indvar);
      for (int j : m.indconstr[k].ind) see(j);
    }
    for (const auto* list : {&m.usercuts, &m.lazycons})
      for (const auto& c : *list)
        for (int j : c.ind) see(j);
    if (next != n) padObjective = true;
  }

  Writer w(dev);
  LineBuilder lb(w);
  w.put(format("\\ENCODING=%s\n", settings.fileEncoding.c_str()));
  w.put(format("\\Problem name: %.255s\n\n", mode == LpNames::Normal ? m.probname.c_str() : ""));
  w.put(m.objsen < 0 ? "Maximize" : "Minimize");
  w.put(m.objectives.empty() ? "\n" : " multi-objectives\n");
  auto quadObjective = [&] {
    if (m.qobj.empty()) return;
    lb.piece(" +");
    lb.piece(" [");
    bool qfirst = true;
    for (const auto& t : m.qobj) {
      double c = t.col1 == t.col2 ? t.coef : 2 * t.coef;
      std::string p = termPiece(c, cn[t.col1], qfirst);
      p += t.col1 == t.col2 ? " ^2" : " * " + cn[t.col2];
      lb.piece(p);
      qfirst = false;
    }
    lb.piece(" ] / 2");
  };
  if (m.objectives.empty()) {
    std::string head = " " + objName + ":";
    lb.start(head, head.size() + 1);
    bool first = true;
    for (int j = 0; j < n; ++j) {
      if (m.obj[j] == 0.0 && !padObjective) continue;
      if (m.obj[j] == 0.0) {
        lb.piece((first ? " 0 " : " + 0 ") + cn[j]);
      } else {
        lb.piece(termPiece(m.obj[j], cn[j], first));
      }
      first = false;
    }
    quadObjective();
    lb.end();
  } else {
    // Header line with the attributes, terms on the lines below; every term
    // carries its sign so that no term line can start like a keyword.
    for (std::size_t k = 0; k < m.objectives.size(); ++k) {
      const auto& o = m.objectives[k];
      for (double v : {o.weight, o.abstol, o.reltol})
        if (std::isnan(v) || std::isinf(v))
          return reportError(msg, 1650, "Number not representable in exponential notation");
      w.put(" " + on[k] + ": Priority=" + std::to_string(o.priority) + " Weight=" + num(o.weight) +
            " AbsTol=" + num(o.abstol) + " RelTol=" + num(o.reltol) + "\n");
      lb.start("   ", 3);
      bool any = false;
      if (k == 0) {
        // the coefficients of objective 0 are those of the ordinary objective
        for (int j = 0; j < n; ++j) {
          if (m.obj[j] == 0.0 && !padObjective) continue;
          lb.piece(m.obj[j] == 0.0 ? " + 0 " + cn[j] : termPiece(m.obj[j], cn[j], false));
          any = true;
        }
      } else {
        for (std::size_t t = 0; t < o.ind.size(); ++t) {
          if (o.val[t] == 0.0) continue;
          if (std::isnan(o.val[t]) || std::isinf(o.val[t]))
            return reportError(msg, 1650, "Number not representable in exponential notation");
          lb.piece(termPiece(o.val[t], cn[o.ind[t]], false));
          any = true;
        }
      }
      if (k == 0 && !m.qobj.empty()) {
        quadObjective();
        any = true;
      }
      if (any) lb.end();
    }
  }

  auto senseText = [](char s) { return s == 'L' ? " <= " : s == 'G' ? " >= " : "  = "; };
  auto writeRow = [&](const std::string& name, const int* ind, const double* val, std::size_t cnt, char sense, double rhs,
                      const std::vector<model::QuadTerm>* quad, const std::string* rangeVar, const std::string* prefix) {
    std::string head = " " + name + ":";
    lb.start(head, head.size() + 1);
    if (prefix) lb.piece(*prefix);
    bool first = true;
    for (std::size_t k = 0; k < cnt; ++k) {
      lb.piece(termPiece(val[k], cn[ind[k]], first));
      first = false;
    }
    if (rangeVar) {
      lb.piece(" - " + *rangeVar);
      first = false;
    }
    if (quad) {
      // a quadratic constraint keeps its bracket even when it is empty
      if (!first) lb.piece(" +");
      lb.piece(" [");
      bool qfirst = true;
      for (const auto& t : *quad) {
        std::string p = termPiece(t.coef, cn[t.col1], qfirst);
        p += t.col1 == t.col2 ? " ^2" : " * " + cn[t.col2];
        lb.piece(p);
        qfirst = false;
      }
      lb.piece(" ]");
      first = false;
    }
    if (first) {
      // an empty left-hand side still needs a term
      if (n > 0) lb.piece(" 0 " + cn[0]);
    }
    lb.piece(std::string(senseText(sense)) + num(rhs));
    lb.end();
  };

  // Range variables of ranged rows.
  std::vector<std::string> rangeName(static_cast<std::size_t>(mr));
  std::vector<int> rangedRows;
  for (int i = 0; i < mr; ++i)
    if (m.sense[i] == 'R') {
      rangeName[i] = "Rg" + rn[i];
      rangedRows.push_back(i);
    }

  w.put("Subject To\n");
  for (int i = 0; i < mr; ++i) {
    const std::size_t cnt = static_cast<std::size_t>(rbeg[i + 1] - rbeg[i]);
    char s = m.sense[i];
    writeRow(rn[i], rind.data() + rbeg[i], rval.data() + rbeg[i], cnt, s == 'R' ? 'E' : s, m.rhs[i], nullptr,
             s == 'R' ? &rangeName[i] : nullptr, nullptr);
  }
  for (std::size_t k = 0; k < m.qconstr.size(); ++k) {
    const auto& q = m.qconstr[k];
    writeRow(qn[k], q.linind.data(), q.linval.data(), q.linind.size(), q.sense, q.rhs, &q.quad, nullptr, nullptr);
  }
  for (std::size_t k = 0; k < m.indconstr.size(); ++k) {
    const auto& ic = m.indconstr[k];
    const char* arrow = ic.direction == 1 ? " <-" : ic.direction == 2 ? " <->" : " ->";
    std::string cond = " " + cn[ic.indvar] + " = " + (ic.complemented ? "0" : "1") + arrow;
    writeRow(in[k], ic.ind.data(), ic.val.data(), ic.ind.size(), ic.sense, ic.rhs, nullptr, nullptr, &cond);
  }
  if (!m.usercuts.empty()) {
    w.put("User Cuts\n");
    for (std::size_t k = 0; k < m.usercuts.size(); ++k) {
      const auto& c = m.usercuts[k];
      writeRow(un[k], c.ind.data(), c.val.data(), c.ind.size(), c.sense, c.rhs, nullptr, nullptr, nullptr);
    }
  }
  if (!m.lazycons.empty()) {
    w.put("Lazy Constraints\n");
    for (std::size_t k = 0; k < m.lazycons.size(); ++k) {
      const auto& c = m.lazycons[k];
      writeRow(ln[k], c.ind.data(), c.val.data(), c.ind.size(), c.sense, c.rhs, nullptr, nullptr, nullptr);
    }
  }

  // Bounds.
  w.put("Bounds\n");
  auto isInf = [](double v) { return v >= model::kInfBound; };
  auto isMInf = [](double v) { return v <= -model::kInfBound; };
  for (int j = 0; j < n; ++j) {
    char t = m.ctype.empty() ? 'C' : m.ctype[j];
    double l = m.lb[j], u = m.ub[j];
    bool intType = t == 'B' || t == 'I' || t == 'N';
    if (l == 0.0 && isInf(u) && !intType) continue;
    const std::string& nm = cn[j];
    if (isMInf(l) && isInf(u))
      w.put("      " + nm + " Free\n");
    else if (!isMInf(l) && isInf(u) && t == 'B')
      w.put(" " + num(l) + " <= " + nm + " <= Inf\n");
    else if (!isMInf(l) && isInf(u))
      w.put("      " + nm + " >= " + num(l) + "\n");
    else if (isMInf(l))
      w.put(" -Inf <= " + nm + " <= " + num(u) + "\n");
    else if (l == u)
      w.put("      " + nm + " = " + num(l) + "\n");
    else
      w.put(" " + num(l) + " <= " + nm + " <= " + num(u) + "\n");
  }
  for (int i : rangedRows) {
    double r = m.rngval.empty() ? 0.0 : m.rngval[i];
    if (r == 0.0)
      w.put("      " + rangeName[i] + " = 0\n");
    else if (r > 0)
      w.put(" 0 <= " + rangeName[i] + " <= " + num(r) + "\n");
    else
      w.put(" " + num(r) + " <= " + rangeName[i] + " <= 0\n");
  }

  // Type sections.
  auto typeSection = [&](const char* title, auto pred) {
    bool any = false;
    for (int j = 0; j < n && !any; ++j) any = pred(m.ctype[j]);
    if (!any) return;
    w.put(title);
    w.put("\n");
    lb.start("", 0);
    for (int j = 0; j < n; ++j)
      if (pred(m.ctype[j])) lb.piece(" " + cn[j]);
    lb.end();
  };
  if (!m.ctype.empty()) {
    typeSection("Binaries", [](char c) { return c == 'B'; });
    typeSection("Generals", [](char c) { return c == 'I' || c == 'N'; });
    typeSection("Semi-Continuous", [](char c) { return c == 'S' || c == 'N'; });
  }
  if (!m.sos.empty()) {
    w.put("SOS\n");
    for (std::size_t k = 0; k < m.sos.size(); ++k) {
      const auto& s = m.sos[k];
      std::string head = " " + sn[k] + ":";
      lb.start(head, 2);
      lb.piece(format(" S%c ::", s.type));
      for (std::size_t i = 0; i < s.ind.size(); ++i) lb.piece(" " + cn[s.ind[i]] + " : " + num(s.weight[i]));
      lb.end();
    }
  }
  if (!m.pwl.empty()) {
    w.put("Pwl\n");
    for (std::size_t k = 0; k < m.pwl.size(); ++k) {
      const auto& c = m.pwl[k];
      for (double v : {c.preslope, c.postslope})
        if (std::isnan(v) || std::isinf(v))
          return reportError(msg, 1650, "Number not representable in exponential notation");
      std::string head = " " + pn[k] + ":";
      lb.start(head, head.size() + 1);
      lb.piece(" " + cn[c.ycol] + " = " + cn[c.xcol]);
      lb.piece(" " + num(c.preslope));
      for (std::size_t t = 0; t < c.x.size() && t < c.y.size(); ++t) {
        if (!std::isfinite(c.x[t]) || !std::isfinite(c.y[t]))
          return reportError(msg, 1650, "Number not representable in exponential notation");
        lb.piece(" (" + num(c.x[t]) + ", " + num(c.y[t]) + ")");
      }
      lb.piece(" " + num(c.postslope));
      lb.end();
    }
  }
  w.put("End\n");
  if (!w.flush() || dev.error()) return reportDeviceError(msg, dev);
  return 0;
}

}  // namespace vnt::io
