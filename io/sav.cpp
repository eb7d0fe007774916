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
// Writing

void writeNames(ber::Writer& w, const std::vector<std::string>& names) {
  w.boolean(!names.empty());
  w.openSequence();
  for (const std::string& s : names) w.bytes(s);
  w.close();
}

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

void writeLinearList(ber::Writer& w, unsigned tag, const std::vector<model::LinearConstraint>& list) {
  w.openApplication(tag);
  for (const auto& c : list) {
    w.openApplication(kItem);
    w.bytes(c.name);
    w.text1(c.sense);
    w.real(c.rhs);
    w.intArray(c.ind);
    w.realArray(c.val);
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

  w.openApplication(kMatrix);
  w.intArray(m.matbeg);
  w.intArray(m.matind);
  w.realArray(m.matval);
  w.close();

  w.openApplication(kQuadObj);
  writeQuad(w, m.qobj);
  w.close();

  w.openApplication(kSos);
  for (const auto& s : m.sos) {
    w.openApplication(kItem);
    w.bytes(s.name);
    w.text1(s.type);
    w.intArray(s.ind);
    w.realArray(s.weight);
    w.close();
  }
  w.close();

  w.openApplication(kQuadConstr);
  for (const auto& q : m.qconstr) {
    w.openApplication(kItem);
    w.bytes(q.name);
    w.text1(q.sense);
    w.real(q.rhs);
    w.intArray(q.linind);
    w.realArray(q.linval);
    writeQuad(w, q.quad);
    w.close();
  }
  w.close();

  w.openApplication(kIndicators);
  for (const auto& c : m.indconstr) {
    w.openApplication(kItem);
    w.bytes(c.name);
    w.integer(c.indvar);
    w.boolean(c.complemented);
    w.integer(c.direction);
    w.text1(c.sense);
    w.real(c.rhs);
    w.intArray(c.ind);
    w.realArray(c.val);
    w.close();
  }
  w.close();

  writeLinearList(w, kUserCuts, m.usercuts);
  writeLinearList(w, kLazy, m.lazycons);

  w.openApplication(kPwl);
  for (const auto& f : m.pwl) {
    w.openApplication(kItem);
    w.bytes(f.name);
    w.integer(f.ycol);
    w.integer(f.xcol);
    w.real(f.preslope);
    w.real(f.postslope);
    w.realArray(f.x);
    w.realArray(f.y);
    w.close();
  }
  w.close();

  w.openApplication(kObjectives);
  for (const auto& o : m.objectives) {
    w.openApplication(kItem);
    w.bytes(o.name);
    w.integer(o.priority);
    w.real(o.weight);
    w.real(o.abstol);
    w.real(o.reltol);
    w.real(o.offset);
    w.intArray(o.ind);
    w.realArray(o.val);
    w.close();
  }
  w.close();

  w.openApplication(kBasis);
  const bool haveBasis = basis && basis->present;
  w.boolean(haveBasis);
  w.intArray(haveBasis ? basis->cstat : std::vector<int>{});
  w.intArray(haveBasis ? basis->rstat : std::vector<int>{});
  w.close();
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

int readQuad(ber::Reader& r, std::vector<model::QuadTerm>& q, int n) {
  std::vector<int> c1, c2;
  std::vector<double> v;
  SAV_TRY(r.intArray(c1));
  SAV_TRY(r.intArray(c2));
  SAV_TRY(r.realArray(v));
  if (c1.size() != c2.size() || c1.size() != v.size()) return ber::kBadData;
  std::set<std::pair<int, int>> seen;
  q.clear();
  for (std::size_t k = 0; k < c1.size(); ++k) {
    if (!colOk(c1[k], n) || !colOk(c2[k], n) || c1[k] > c2[k]) return ber::kBadData;
    if (!seen.insert({c1[k], c2[k]}).second) return ber::kBadData;
    q.push_back({c1[k], c2[k], v[k]});
  }
  return ber::kOk;
}

int readLinearList(ber::Reader& r, unsigned tag, std::vector<model::LinearConstraint>& list, int n) {
  SAV_TRY(r.openApplication(tag));
  while (!r.atEnd()) {
    model::LinearConstraint c;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(c.name));
    SAV_TRY(r.text1(c.sense));
    SAV_TRY(r.real(c.rhs));
    SAV_TRY(r.intArray(c.ind));
    SAV_TRY(r.realArray(c.val));
    SAV_TRY(r.close());
    if (!lge(c.sense)) return ber::kBadData;
    SAV_TRY(checkList(c.ind, c.val.size(), n));
    list.push_back(std::move(c));
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

  SAV_TRY(r.openApplication(kMatrix));
  SAV_TRY(r.intArray(m.matbeg));
  SAV_TRY(r.intArray(m.matind));
  SAV_TRY(r.realArray(m.matval));
  SAV_TRY(r.close());
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

  SAV_TRY(r.openApplication(kQuadObj));
  SAV_TRY(readQuad(r, m.qobj, n));
  SAV_TRY(r.close());

  SAV_TRY(r.openApplication(kSos));
  while (!r.atEnd()) {
    model::SosSet s;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(s.name));
    SAV_TRY(r.text1(s.type));
    SAV_TRY(r.intArray(s.ind));
    SAV_TRY(r.realArray(s.weight));
    SAV_TRY(r.close());
    if (s.type != '1' && s.type != '2') return ber::kBadData;
    SAV_TRY(checkList(s.ind, s.weight.size(), n));
    m.sos.push_back(std::move(s));
  }
  SAV_TRY(r.close());

  SAV_TRY(r.openApplication(kQuadConstr));
  while (!r.atEnd()) {
    model::QuadConstraint q;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(q.name));
    SAV_TRY(r.text1(q.sense));
    SAV_TRY(r.real(q.rhs));
    SAV_TRY(r.intArray(q.linind));
    SAV_TRY(r.realArray(q.linval));
    SAV_TRY(readQuad(r, q.quad, n));
    SAV_TRY(r.close());
    if (!lge(q.sense)) return ber::kBadData;
    SAV_TRY(checkList(q.linind, q.linval.size(), n));
    m.qconstr.push_back(std::move(q));
  }
  SAV_TRY(r.close());

  SAV_TRY(r.openApplication(kIndicators));
  while (!r.atEnd()) {
    model::IndicatorConstraint c;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(c.name));
    SAV_TRY(r.integer(c.indvar));
    SAV_TRY(r.boolean(c.complemented));
    SAV_TRY(r.integer(c.direction));
    SAV_TRY(r.text1(c.sense));
    SAV_TRY(r.real(c.rhs));
    SAV_TRY(r.intArray(c.ind));
    SAV_TRY(r.realArray(c.val));
    SAV_TRY(r.close());
    if (!colOk(c.indvar, n) || c.direction < 0 || c.direction > 2 || !lge(c.sense)) return ber::kBadData;
    SAV_TRY(checkList(c.ind, c.val.size(), n));
    m.indconstr.push_back(std::move(c));
  }
  SAV_TRY(r.close());

  SAV_TRY(readLinearList(r, kUserCuts, m.usercuts, n));
  SAV_TRY(readLinearList(r, kLazy, m.lazycons, n));

  SAV_TRY(r.openApplication(kPwl));
  while (!r.atEnd()) {
    model::PwlConstraint f;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(f.name));
    SAV_TRY(r.integer(f.ycol));
    SAV_TRY(r.integer(f.xcol));
    SAV_TRY(r.real(f.preslope));
    SAV_TRY(r.real(f.postslope));
    SAV_TRY(r.realArray(f.x));
    SAV_TRY(r.realArray(f.y));
    SAV_TRY(r.close());
    if (!colOk(f.xcol, n) || !colOk(f.ycol, n) || f.xcol == f.ycol || f.x.empty() || f.x.size() != f.y.size())
      return ber::kBadData;
    for (std::size_t b = 0; b < f.x.size(); ++b)
      if (std::isnan(f.x[b]) || (b > 0 && f.x[b] < f.x[b - 1])) return ber::kBadData;
    m.pwl.push_back(std::move(f));
  }
  SAV_TRY(r.close());

  SAV_TRY(r.openApplication(kObjectives));
  while (!r.atEnd()) {
    model::ObjectiveRecord o;
    SAV_TRY(r.openApplication(kItem));
    SAV_TRY(r.bytes(o.name));
    SAV_TRY(r.integer(o.priority));
    SAV_TRY(r.real(o.weight));
    SAV_TRY(r.real(o.abstol));
    SAV_TRY(r.real(o.reltol));
    SAV_TRY(r.real(o.offset));
    SAV_TRY(r.intArray(o.ind));
    SAV_TRY(r.realArray(o.val));
    SAV_TRY(r.close());
    SAV_TRY(checkList(o.ind, o.val.size(), n));
    std::set<int> seen(o.ind.begin(), o.ind.end());
    if (seen.size() != o.ind.size()) return ber::kBadData;
    m.objectives.push_back(std::move(o));
  }
  SAV_TRY(r.close());

  SAV_TRY(r.openApplication(kBasis));
  SAV_TRY(r.boolean(basis.present));
  SAV_TRY(r.intArray(basis.cstat));
  SAV_TRY(r.intArray(basis.rstat));
  SAV_TRY(r.close());
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
