#include "io/sav.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "io/ber.h"
#include "io/io.h"

namespace vnt::io {

namespace {

using model::ModelData;

// Application tags of the header and the body sections.
enum : unsigned {
  kHeader = 2,
  kProblem = 3,
  kColumns = 4,
  kRows = 5,
  kMatrix = 6,
  kQuadObj = 7,
  kSos = 8,
  kQuadConstr = 9,
  kIndicators = 10,
  kUserCuts = 11,
  kLazy = 12,
  kPwl = 13,
  kObjectives = 14,
  kBasis = 15,
  kItem = 20,
};

// ---------------------------------------------------------------------------
// The fields of the body, in file order.  Each list below is walked by the
// writer (Put) and by the reader (Get), so the two cannot drift apart; the
// reader checks the values afterwards.

void writeQuad(ber::Writer& w, const std::vector<model::QuadTerm>& q) {
  std::vector<int> c1, c2;
  std::vector<double> v;
  for (const auto& t : q) {
    c1.push_back(t.col1);
    c2.push_back(t.col2);
    v.push_back(t.coef);
  }
  w.intArray(c1);
  w.intArray(c2);
  w.realArray(v);
}

int readQuad(ber::Reader& r, std::vector<model::QuadTerm>& q) {
  std::vector<int> c1, c2;
  std::vector<double> v;
  if (int st = r.intArray(c1)) return st;
  if (int st = r.intArray(c2)) return st;
  if (int st = r.realArray(v)) return st;
  if (c1.size() != c2.size() || c1.size() != v.size()) return ber::kBadData;
  q.clear();
  for (std::size_t k = 0; k < c1.size(); ++k) q.push_back({c1[k], c2[k], v[k]});
  return ber::kOk;
}

struct Put {
  ber::Writer& w;
  void field(const std::string& s) { w.bytes(s); }
  void field(char c) { w.text1(c); }
  void field(bool b) { w.boolean(b); }
  void field(int v) { w.integer(v); }
  void field(int64_t v) { w.integer(v); }
  void field(double v) { w.real(v); }
  void field(const std::vector<int>& v) { w.intArray(v); }
  void field(const std::vector<int64_t>& v) { w.intArray(v); }
  void field(const std::vector<double>& v) { w.realArray(v); }
  void field(const std::vector<model::QuadTerm>& q) { writeQuad(w, q); }
  template <class... F>
  int operator()(const F&... f) {
    (field(f), ...);
    return ber::kOk;
  }
};

struct Get {
  ber::Reader& r;
  int field(std::string& s) { return r.bytes(s); }
  int field(char& c) { return r.text1(c); }
  int field(bool& b) { return r.boolean(b); }
  int field(int& v) { return r.integer(v); }
  int field(int64_t& v) { return r.integer(v); }
  int field(double& v) { return r.real(v); }
  int field(std::vector<int>& v) { return r.intArray(v); }
  int field(std::vector<int64_t>& v) { return r.intArray(v); }
  int field(std::vector<double>& v) { return r.realArray(v); }
  int field(std::vector<model::QuadTerm>& q) { return readQuad(r, q); }
  // the first failure ends the list
  template <class... F>
  int operator()(F&... f) {
    int st = ber::kOk;
    ((st = st != ber::kOk ? st : field(f)), ...);
    return st;
  }
};

// The items of the list sections.
constexpr auto kSosFields = [](auto& io, auto& s) { return io(s.name, s.type, s.ind, s.weight); };
constexpr auto kQuadConstrFields = [](auto& io, auto& q) {
  return io(q.name, q.sense, q.rhs, q.linind, q.linval, q.quad);
};
constexpr auto kIndicatorFields = [](auto& io, auto& c) {
  return io(c.name, c.indvar, c.complemented, c.direction, c.sense, c.rhs, c.ind, c.val);
};
constexpr auto kLinearFields = [](auto& io, auto& c) { return io(c.name, c.sense, c.rhs, c.ind, c.val); };
constexpr auto kPwlFields = [](auto& io, auto& f) {
  return io(f.name, f.ycol, f.xcol, f.preslope, f.postslope, f.x, f.y);
};
constexpr auto kObjectiveFields = [](auto& io, auto& o) {
  return io(o.name, o.priority, o.weight, o.abstol, o.reltol, o.offset, o.ind, o.val);
};

// ---------------------------------------------------------------------------
// Writing

void writeNames(ber::Writer& w, const std::vector<std::string>& names) {
  w.boolean(!names.empty());
  w.openSequence();
  for (const std::string& s : names) w.bytes(s);
  w.close();
}

// A section of its own fields.
template <class... F>
void writeSection(ber::Writer& w, unsigned tag, const F&... f) {
  w.openApplication(tag);
  Put{w}(f...);
  w.close();
}

// A list section: one item element per entry.
template <class T, class Fields>
void writeList(ber::Writer& w, unsigned tag, const std::vector<T>& list, Fields fields) {
  w.openApplication(tag);
  Put put{w};
  for (const T& x : list) {
    w.openApplication(kItem);
    fields(put, x);
    w.close();
  }
  w.close();
}

void writeBody(ber::Writer& w, const ModelData& m, const SavBasis* basis) {
  w.openApplication(kProblem);
  w.bytes(m.probname);
  w.bytes(m.objname);
  w.integer(m.objsen);
  w.real(m.objoffset);
  w.integer(m.numCols());
  w.integer(m.numRows());
  w.integer(m.numNz());
  w.close();

  w.openApplication(kColumns);
  w.realArray(m.obj);
  w.realArray(m.lb);
  w.realArray(m.ub);
  const std::string ctype(m.ctype.begin(), m.ctype.end());
  w.bytes(m.ctype.empty() ? nullptr : &ctype);
  writeNames(w, m.colname);
  w.close();

  w.openApplication(kRows);
  w.realArray(m.rhs);
  const std::string sense(m.sense.begin(), m.sense.end());
  w.bytes(sense);
  w.boolean(!m.rngval.empty());
  w.realArray(m.rngval);
  writeNames(w, m.rowname);
  w.close();

  writeSection(w, kMatrix, m.matbeg, m.matind, m.matval);
  writeSection(w, kQuadObj, m.qobj);
  writeList(w, kSos, m.sos, kSosFields);
  writeList(w, kQuadConstr, m.qconstr, kQuadConstrFields);
  writeList(w, kIndicators, m.indconstr, kIndicatorFields);
  writeList(w, kUserCuts, m.usercuts, kLinearFields);
  writeList(w, kLazy, m.lazycons, kLinearFields);
  writeList(w, kPwl, m.pwl, kPwlFields);
  writeList(w, kObjectives, m.objectives, kObjectiveFields);
  const bool haveBasis = basis && basis->present;
  const std::vector<int> none;
  writeSection(w, kBasis, haveBasis, haveBasis ? basis->cstat : none, haveBasis ? basis->rstat : none);
}

// ---------------------------------------------------------------------------
// Reading: every step returns a ber condition; the first failure ends the read.

#define SAV_TRY(expr)            \
  do {                           \
    if (int st_ = (expr)) return st_; \
  } while (0)

int readNames(ber::Reader& r, std::vector<std::string>& names, std::size_t count) {
  bool present = false;
  SAV_TRY(r.boolean(present));
  SAV_TRY(r.openSequence());
  names.clear();
  while (!r.atEnd()) {
    std::string s;
    SAV_TRY(r.bytes(s));
    names.push_back(std::move(s));
  }
  SAV_TRY(r.close());
  if (present ? names.size() != count : !names.empty()) return ber::kBadData;
  return ber::kOk;
}

bool colOk(int j, int n) { return j >= 0 && j < n; }

int checkList(const std::vector<int>& ind, std::size_t nval, int n) {
  if (ind.size() != nval) return ber::kBadData;
  for (int j : ind)
    if (!colOk(j, n)) return ber::kBadData;
  return ber::kOk;
}

bool lge(char s) { return s == 'L' || s == 'G' || s == 'E'; }

int quadOk(const std::vector<model::QuadTerm>& q, int n) {
  std::set<std::pair<int, int>> seen;
  for (const auto& t : q) {
    if (!colOk(t.col1, n) || !colOk(t.col2, n) || t.col1 > t.col2) return ber::kBadData;
    if (!seen.insert({t.col1, t.col2}).second) return ber::kBadData;
  }
  return ber::kOk;
}

template <class... F>
int readSection(ber::Reader& r, unsigned tag, F&... f) {
  SAV_TRY(r.openApplication(tag));
  SAV_TRY(Get{r}(f...));
  return r.close();
}

// A list section; `check` judges each item read (a ber condition).
template <class T, class Fields, class Check>
int readList(ber::Reader& r, unsigned tag, std::vector<T>& list, Fields fields, Check check) {
  SAV_TRY(r.openApplication(tag));
  Get get{r};
  while (!r.atEnd()) {
    T x;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(fields(get, x));
    SAV_TRY(r.close());
    SAV_TRY(check(x));
    list.push_back(std::move(x));
  }
  return r.close();
}

int readBody(ber::Reader& r, ModelData& m, SavBasis& basis) {
  int64_t n64 = 0, m64 = 0, nz = 0;
  SAV_TRY(r.openApplication(kProblem));
  SAV_TRY(r.bytes(m.probname));
  SAV_TRY(r.bytes(m.objname));
  SAV_TRY(r.integer(m.objsen));
  SAV_TRY(r.real(m.objoffset));
  SAV_TRY(r.integer(n64));
  SAV_TRY(r.integer(m64));
  SAV_TRY(r.integer(nz));
  SAV_TRY(r.close());
  if ((m.objsen != 1 && m.objsen != -1) || n64 < 0 || m64 < 0 || nz < 0 || n64 > 2147483647 ||
      m64 > 2147483647)
    return ber::kBadData;
  const int n = static_cast<int>(n64), rows = static_cast<int>(m64);
  const std::size_t un = static_cast<std::size_t>(n), um = static_cast<std::size_t>(rows);

  SAV_TRY(r.openApplication(kColumns));
  SAV_TRY(r.realArray(m.obj));
  SAV_TRY(r.realArray(m.lb));
  SAV_TRY(r.realArray(m.ub));
  std::string ctype;
  bool haveTypes = false;
  SAV_TRY(r.bytes(ctype, haveTypes));
  SAV_TRY(readNames(r, m.colname, un));
  SAV_TRY(r.close());
  if (m.obj.size() != un || m.lb.size() != un || m.ub.size() != un) return ber::kBadData;
  if (haveTypes) {
    if (ctype.size() != un) return ber::kBadData;
    for (char t : ctype)
      if (t != 'C' && t != 'I' && t != 'B' && t != 'S' && t != 'N') return ber::kBadData;
    m.ctype.assign(ctype.begin(), ctype.end());
  }

  SAV_TRY(r.openApplication(kRows));
  SAV_TRY(r.realArray(m.rhs));
  std::string sense;
  SAV_TRY(r.bytes(sense));
  bool haveRanges = false;
  SAV_TRY(r.boolean(haveRanges));
  SAV_TRY(r.realArray(m.rngval));
  SAV_TRY(readNames(r, m.rowname, um));
  SAV_TRY(r.close());
  if (m.rhs.size() != um || sense.size() != um) return ber::kBadData;
  if (haveRanges ? m.rngval.size() != um : !m.rngval.empty()) return ber::kBadData;
  for (char s : sense)
    if (!lge(s) && s != 'R') return ber::kBadData;
  m.sense.assign(sense.begin(), sense.end());

  SAV_TRY(readSection(r, kMatrix, m.matbeg, m.matind, m.matval));
  if (m.matbeg.size() != un + 1 || m.matbeg[0] != 0 || m.matbeg[un] != nz ||
      m.matind.size() != static_cast<std::size_t>(nz) || m.matval.size() != m.matind.size())
    return ber::kBadData;
  // Column starts first, all of them: a start beyond the entries must not
  // be walked to.
  for (int j = 0; j < n; ++j)
    if (m.matbeg[j + 1] < m.matbeg[j] || m.matbeg[j + 1] > nz || m.matbeg[j + 1] - m.matbeg[j] > 2147483647)
      return ber::kBadData;
  {
    std::vector<int> mark(um, -1);
    for (int j = 0; j < n; ++j) {
      for (int64_t k = m.matbeg[j]; k < m.matbeg[j + 1]; ++k) {
        const int i = m.matind[static_cast<std::size_t>(k)];
        if (i < 0 || i >= rows || mark[static_cast<std::size_t>(i)] == j) return ber::kBadData;
        mark[static_cast<std::size_t>(i)] = j;
      }
    }
  }

  SAV_TRY(readSection(r, kQuadObj, m.qobj));
  SAV_TRY(quadOk(m.qobj, n));

  SAV_TRY(readList(r, kSos, m.sos, kSosFields, [&](const model::SosSet& s) {
    return s.type != '1' && s.type != '2' ? ber::kBadData : checkList(s.ind, s.weight.size(), n);
  }));
  SAV_TRY(readList(r, kQuadConstr, m.qconstr, kQuadConstrFields, [&](const model::QuadConstraint& q) {
    if (!lge(q.sense) || quadOk(q.quad, n) != ber::kOk) return static_cast<int>(ber::kBadData);
    return checkList(q.linind, q.linval.size(), n);
  }));
  SAV_TRY(readList(r, kIndicators, m.indconstr, kIndicatorFields, [&](const model::IndicatorConstraint& c) {
    if (!colOk(c.indvar, n) || c.direction < 0 || c.direction > 2 || !lge(c.sense))
      return static_cast<int>(ber::kBadData);
    return checkList(c.ind, c.val.size(), n);
  }));
  auto linearOk = [&](const model::LinearConstraint& c) {
    return !lge(c.sense) ? static_cast<int>(ber::kBadData) : checkList(c.ind, c.val.size(), n);
  };
  SAV_TRY(readList(r, kUserCuts, m.usercuts, kLinearFields, linearOk));
  SAV_TRY(readList(r, kLazy, m.lazycons, kLinearFields, linearOk));
  SAV_TRY(readList(r, kPwl, m.pwl, kPwlFields, [&](const model::PwlConstraint& f) {
    if (!colOk(f.xcol, n) || !colOk(f.ycol, n) || f.xcol == f.ycol || f.x.empty() || f.x.size() != f.y.size())
      return static_cast<int>(ber::kBadData);
    for (std::size_t b = 0; b < f.x.size(); ++b)
      if (std::isnan(f.x[b]) || (b > 0 && f.x[b] < f.x[b - 1])) return static_cast<int>(ber::kBadData);
    return static_cast<int>(ber::kOk);
  }));
  SAV_TRY(readList(r, kObjectives, m.objectives, kObjectiveFields, [&](const model::ObjectiveRecord& o) {
    if (checkList(o.ind, o.val.size(), n) != ber::kOk) return static_cast<int>(ber::kBadData);
    const std::set<int> seen(o.ind.begin(), o.ind.end());
    return seen.size() != o.ind.size() ? static_cast<int>(ber::kBadData) : static_cast<int>(ber::kOk);
  }));

  SAV_TRY(readSection(r, kBasis, basis.present, basis.cstat, basis.rstat));
  if (basis.present) {
    if (basis.cstat.size() != un || basis.rstat.size() != um) return ber::kBadData;
    for (int s : basis.cstat)
      if (s < 0 || s > 3) return ber::kBadData;
    for (int s : basis.rstat)
      if (s < 0 || s > 3) return ber::kBadData;
  } else if (!basis.cstat.empty() || !basis.rstat.empty()) {
    return ber::kBadData;
  }
  return ber::kOk;
}

#undef SAV_TRY

bool readAll(Device& dev, std::string& out) {
  char buf[65536];
  for (;;) {
    const std::size_t got = dev.read(buf, sizeof buf);
    if (got == 0) return !dev.error();
    out.append(buf, got);
  }
}

}  // namespace

int savFileVersion() {
  const char* v = std::getenv("VANTO_SAVFILE_VERSION");
  if (!v || !*v) return 1;
  long long x = 0;
  for (const char* p = v; *p; ++p) {
    if (*p < '0' || *p > '9') return 1;
    x = x * 10 + (*p - '0');
    if (x > 2147483647) return 1;
  }
  return static_cast<int>(x);
}

bool looksLikeSav(std::string_view head) {
  // The header element's identifier, its length, then the version INTEGER.
  if (head.size() < 3 || static_cast<unsigned char>(head[0]) != 0x62) return false;
  const unsigned char l = static_cast<unsigned char>(head[1]);
  const std::size_t at = l <= 0x80 ? 2 : 2 + (l & 0x7F);
  return at < head.size() && head[at] == ber::kTagInteger;
}

int writeSav(Device& dev, const model::ModelData& m, const SavBasis* basis, const std::string& banner,
             Messages& msg, std::size_t flushAt) {
  if (int st = checkRowSenses(m, msg)) return st;
  ber::Writer w(dev, flushAt);
  w.openApplication(kHeader);
  w.integer(savFileVersion());
  w.bytes(std::string(kSavSignature));
  w.bytes(banner);
  w.close();
  writeBody(w, m, basis);
  if (w.finish() != ber::kOk) return reportError(msg, 1562, "Unable to write SAV file to disk");
  return 0;
}

int readSav(Device& dev, const std::string& name, model::ModelData& out, SavBasis& basis, Messages& msg) {
  std::string data;
  if (!readAll(dev, data)) return reportError(msg, 1426, "Low-level file I/O error");
  ber::Reader r(data);
  auto fail = [&](int cond) {
    switch (cond) {
      case ber::kNotSav: return reportError(msg, 1560, "File '%s' is not a SAV file", name.c_str());
      case ber::kTruncated: return reportError(msg, 1561, "Not enough data in SAV file");
      case ber::kByteOrder:
        return reportError(msg, 1563, "File '%s' has an incompatible format. Try setting reverse flag",
                           name.c_str());
      default: return reportError(msg, 1564, "SAV file data could not be interpreted");
    }
  };

  // Header: anything that does not open as the header element is no SAV
  // file; the start of one that ends early is a file cut short.
  if (data.empty()) return fail(ber::kNotSav);
  if (int st = r.openApplication(kHeader))
    return fail(st == ber::kTruncated && static_cast<unsigned char>(data[0]) == 0x62 ? st : ber::kNotSav);
  int64_t version = 0;
  std::string signature, banner;
  if (int st = r.integer(version)) return fail(st == ber::kTruncated ? st : ber::kNotSav);
  // A version that does not fit 32 bits is a word read in the wrong order.
  if (version > 2147483647) return fail(ber::kByteOrder);
  if (version < 1) return fail(ber::kNotSav);
  if (int st = r.bytes(signature)) return fail(st == ber::kTruncated ? st : ber::kNotSav);
  if (signature != kSavSignature) return fail(ber::kNotSav);
  if (int st = r.bytes(banner)) return fail(st);
  bool extra = false;
  if (int st = r.close(true, &extra)) return fail(st);

  model::ModelData m;
  SavBasis b;
  if (int st = readBody(r, m, b)) return fail(st);
  if (!r.atStreamEnd()) return fail(ber::kBadData);
  out = std::move(m);
  basis = std::move(b);
  if (extra) msg.warning("Warning: Additional data in SAV file ignored.\n");
  return 0;
}

}  // namespace vnt::io
