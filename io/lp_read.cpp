// LP format reader.  Lines are cleaned, section keywords recognised, and the
// objective and constraint text is parsed by a state machine that survives
// line ends.  Everything is collected first and turned into a ModelData at
// the end, so a failed read changes nothing.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "io/linereader.h"
#include "io/lp.h"
#include "io/lpchars.h"
#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr double kInf = model::kInfBound;
constexpr int kNameWarnLimit = 20;
constexpr std::size_t kLabelMax = 255;
constexpr std::size_t kRefMax = 254;
constexpr double kDivisorTol = 1e-10;
constexpr double kBinaryTol = 1e-10;
const char* const kPlaceholder = "***********";

enum Section { kSecNone, kSecObj, kSecCons, kSecBounds, kSecTypes, kSecSos, kSecPwl, kSecEnd };

enum State {
  kStart,    // start of an expression (after a label or at the beginning)
  kSign,     // after a sign
  kCoef,     // after a coefficient
  kTerm,     // after a complete term
  kSense,    // after a sense
  kRhsSign,  // after a sign in the right-hand side
  kDone,     // after a complete constraint
  kQStart,   // inside [ ], expecting a term or ]
  kQSign,
  kQCoef,
  kQName1,   // after the first name of a quadratic term
  kQPow,     // after ^
  kQTimes,   // after *
  kQTerm,    // after a complete quadratic term
  kQClose    // after ] in the objective, expecting / 2
};

struct RowRec {
  std::string name;
  bool named = false;
  char sense = 'E';
  double rhs = 0.0;
  std::vector<std::pair<int, double>> terms;
  std::vector<model::QuadTerm> quad;
  int kind = 0;  // 0 ordinary, 1 user cut, 2 lazy constraint
  bool quadratic = false;  // a bracketed part was given (possibly empty)
  // indicator: condition variable and value, direction of the implication
  bool indicator = false;
  int indvar = -1;
  bool complemented = false;
  int direction = 0;
};

// One objective of a multi-objective section.
struct ObjRec {
  std::string name;
  int priority = 0;
  double weight = 1.0, abstol = 0.0, reltol = 0.0;
  std::vector<std::pair<int, double>> terms;
};

// One piecewise-linear definition; the variables are resolved after the
// read (names kept with the line for the message).
struct PwlRec {
  std::string name;
  bool named = false;
  std::string yname, xname;
  long long line = 0;
  double preslope = 0.0, postslope = 0.0;
  std::vector<double> x, y;
};

enum PwlState { kPwStart, kPwY, kPwEq, kPwX, kPwPre, kPwPoints, kPwPx, kPwComma, kPwPy, kPwClose, kPwDone };

// Where the lines come from: a device read in blocks (files) or a C stream
// read one line at a time (terminals, where reading ahead would block).
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual bool next(std::string& line) = 0;
  virtual long long lineNo() const = 0;
  virtual int errorCode() const = 0;  // 0, 1426 or 1235 after next() returned false
};

class DeviceLines final : public LineSource {
 public:
  explicit DeviceLines(Device& dev) : lr_(dev) {}
  bool next(std::string& line) override { return lr_.next(line); }
  long long lineNo() const override { return lr_.lineNo(); }
  int errorCode() const override { return lr_.failed() ? lr_.errorCode() : 0; }

 private:
  LineReader lr_;
};

class StreamLines final : public LineSource {
 public:
  explicit StreamLines(std::FILE* f) : f_(f) {}
  ~StreamLines() override { std::free(buf_); }
  StreamLines(const StreamLines&) = delete;
  StreamLines& operator=(const StreamLines&) = delete;
  bool next(std::string& line) override {
    if (!f_) return false;
    ssize_t got = getline(&buf_, &cap_, f_);
    if (got < 0) {
      if (std::ferror(f_)) failed_ = true;
      return false;
    }
    std::size_t len = static_cast<std::size_t>(got);
    if (len > 0 && buf_[len - 1] == '\n') --len;
    line.assign(buf_, len);
    ++lineNo_;
    return true;
  }
  long long lineNo() const override { return lineNo_; }
  int errorCode() const override { return failed_ ? 1426 : 0; }

 private:
  std::FILE* f_;
  char* buf_ = nullptr;
  std::size_t cap_ = 0;
  long long lineNo_ = 0;
  bool failed_ = false;
};

struct BoundRec {
  int col;
  char kind;  // 'L', 'U', 'B'
  double value;
};

// 0 or 1434 / 1435 / 1618 with the offending text in `bad`.
int parseLpNumber(std::string_view s, double& v, std::string& why) {
  std::size_t i = 0, n = s.size();
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  std::string_view body = s.substr(i);
  if (equalsNoCase(body, "inf") || equalsNoCase(body, "infinity")) {
    v = neg ? -kInf : kInf;
    return 0;
  }
  std::size_t digits = 0;
  while (i < n && lpIs(s[i], kLpDigit)) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && lpIs(s[i], kLpDigit)) ++i, ++digits;
  }
  if (digits == 0) return 1434;
  std::size_t mantEnd = i;
  long ev = 0;
  if (i < n) {
    if (s[i] != 'e' && s[i] != 'E') return 1434;
    std::size_t es = i;
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= n || !lpIs(s[i], kLpDigit)) {
      why = i >= n ? "ended" : "started";
      return 1618;
    }
    std::size_t dstart = i;
    while (i < n && lpIs(s[i], kLpDigit)) {
      if (ev < 100000) ev = ev * 10 + (s[i] - '0');
      ++i;
    }
    if (i != n) {
      why = "ended";
      return 1618;
    }
    (void)dstart;
    (void)es;
    if (ev > 308) return 1435;
  }
  (void)mantEnd;
  const char* b = s.data() + (s[0] == '+' ? 1 : 0);
  auto r = std::from_chars(b, s.data() + n, v);
  if (r.ec == std::errc::result_out_of_range) {
    v = 0.0;
    return 0;
  }
  if (r.ec != std::errc() || r.ptr != s.data() + n) return 1434;
  return 0;
}

// Everything a read changes.  Interactive entry copies it before each line
// and puts the copy back when the line fails (typed models are small).
struct LpState {
  Section sec_ = kSecNone;
  int consKind_ = 0;
  char typeLetter_ = 'I';
  bool ended_ = false;

  int objsen_ = 1;
  std::string objName_;
  std::vector<std::pair<int, double>> objTerms_;
  std::map<std::pair<int, int>, double> qobj_;
  bool multiObj_ = false;
  std::vector<ObjRec> objectives_;

  std::vector<std::string> colName_;
  NameMap colIdx_;

  std::vector<RowRec> rows_;
  RowRec cur_;
  RowRec cond_;      // first constraint of an indicator pair
  int arrow_ = 0;    // 0 none, 1 "->", 2 "<-", 3 "<->"
  State st_ = kStart;
  double sign_ = 1.0, coef_ = 0.0, qsign_ = 1.0, qcoef_ = 1.0;
  int qname1_ = -1;
  long long signLine_ = 0;
  long long coefLine_ = 0;
  bool labelled_ = false;   // the current constraint has a label
  bool anything_ = false;   // the current constraint has content
  bool quadObjDropped_ = false;

  std::vector<BoundRec> bounds_;
  std::vector<std::pair<int, char>> types_;
  std::vector<model::SosSet> sos_;
  bool sosOpen_ = false;

  std::vector<PwlRec> pwl_;
  PwlState pw_ = kPwStart;

  long long nameWarnings_ = 0;
};

class LpReader : private LpState {
 public:
  LpReader(LineSource& src, const std::string& probName, Messages& msg, const IoSettings& set, bool interactive,
           const model::ModelData* base)
      : lr_(src), msg_(msg), set_(set), probName_(probName), interactive_(interactive), base_(base) {
    if (base_) {
      // add mode: the existing columns are known by name, content starts as
      // constraints
      const int n = base_->numCols();
      for (int j = 0; j < n; ++j)
        columnFor(base_->colname.empty() ? "x" + std::to_string(j + 1) : base_->colname[static_cast<std::size_t>(j)]);
      sec_ = kSecCons;
    }
  }
  int read(model::ModelData& out);

 private:
  long long ln() const { return lr_.lineNo(); }
  int err(int code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void warn(const std::string& s) { msg_.warning(s); }
  void nameWarning(std::string_view w);

  bool cleanLine(std::string& line);
  int keyword(const std::string& line, std::string& rest);
  int line(std::string& text);
  int endSection();
  void endObjective();
  int objectiveHeader(std::string_view s, bool& header);
  int expr(std::string_view s);
  int bound(std::string_view s);
  int types(const std::string& line);
  int sosLine(const std::string& line);
  int pwlLine(std::string_view s);
  int finishPwl();
  int finish(model::ModelData& out);

  int columnFor(std::string_view name);
  std::string_view refName(std::string_view s, std::size_t& p);
  int scanCoef(std::string_view s, std::size_t& p, double& v);
  int scanRhs(std::string_view s, std::size_t& p, double& v);
  int numberError(int rc, std::string_view t, const std::string& why);
  int addTerm(int col, double coef);
  int addQuad(int c1, int c2, double coef);
  void beginRow(std::string name, bool named);
  int finishConstraint();

  LineSource& lr_;
  Messages& msg_;
  const IoSettings& set_;
  std::string probName_;
  bool interactive_ = false;
  const model::ModelData* base_ = nullptr;  // add mode
};

int LpReader::err(int code, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string body = formatv(fmt, ap);
  va_end(ap);
  msg_.error(format("VANTO Error %5d: ", code) + body + ".\n");
  return -code;
}

void LpReader::nameWarning(std::string_view w) {
  ++nameWarnings_;
  if (nameWarnings_ > kNameWarnLimit) return;
  bool invalid = w.empty() || lpIs(w[0], kLpNumber) ||
                 ((w[0] == 'e' || w[0] == 'E') && (w.size() == 1 || lpIs(w[1], kLpDigit)));
  std::string s(w);
  if (invalid)
    warn(format("Warning, line %lld: '%s' not valid identifier.\n", ln(), s.c_str()));
  else
    warn(format("Warning, line %lld: Name '%s' does not exist.\n", ln(), s.c_str()));
}

// Drops invalid characters (with a warning) and cuts the line at its first
// line-end character.  Returns false for an empty result.
bool LpReader::cleanLine(std::string& line) {
  std::size_t w = 0;
  for (std::size_t r = 0; r < line.size(); ++r) {
    unsigned char c = static_cast<unsigned char>(line[r]);
    if (lpIs(c, kLpLineEnd)) break;
    if (!lpIs(c, kLpValid)) {
      warn(format("Warning, line %lld: Unexpected character code %d skipped.\n", ln(), static_cast<int>(c)));
      continue;
    }
    line[w++] = static_cast<char>(c);
  }
  line.resize(w);
  return line.find_first_not_of(" \t") != std::string::npos;
}

std::vector<std::string_view> blankWords(std::string_view s) {
  std::vector<std::string_view> v;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && lpIs(s[i], kLpBlank)) ++i;
    std::size_t b = i;
    while (i < s.size() && !lpIs(s[i], kLpBlank)) ++i;
    if (i > b) v.push_back(s.substr(b, i - b));
  }
  return v;
}

bool isPrefixOf(std::string_view w, std::string_view full, std::size_t minLen) {
  return w.size() >= minLen && w.size() <= full.size() && equalsNoCase(w, full.substr(0, w.size()));
}

// Returns the new section (and fills `rest` with the content after the
// keyword), -1 when the line holds no keyword allowed here, or a negative
// status below -1 on error.
int LpReader::keyword(const std::string& line, std::string& rest) {
  std::string_view s(line);
  std::size_t i = 0;
  while (i < s.size() && lpIs(s[i], kLpBlank)) ++i;
  std::size_t b = i;
  while (i < s.size() && !lpIs(s[i], kLpBlank)) ++i;
  std::string_view w1 = s.substr(b, i - b);
  std::string_view after1 = s.substr(i);
  auto words = blankWords(s);
  const bool alone = words.size() == 1;
  // second word: ends at a blank, the end, or ':'
  std::size_t j = i;
  while (j < s.size() && lpIs(s[j], kLpBlank)) ++j;
  std::size_t b2 = j;
  while (j < s.size() && !lpIs(s[j], kLpBlank) && s[j] != ':') ++j;
  std::string_view w2 = s.substr(b2, j - b2);
  std::string_view after2 = s.substr(j < s.size() && s[j] == ':' ? j + 1 : j);

  const bool early = sec_ == kSecNone || sec_ == kSecObj || sec_ == kSecCons;
  // add mode reads constraints, bounds and End only
  const bool typesOk = !base_ && (early || sec_ == kSecBounds || sec_ == kSecTypes);

  if (equalsNoCase(w1, "end") && alone) return kSecEnd;
  if (sec_ == kSecSos) {
    // the piecewise-linear section is the only one after SOS
    return alone && equalsNoCase(w1, "pwl") ? kSecPwl : -1;
  }
  if (sec_ == kSecPwl) return -1;
  if (sec_ == kSecNone) {
    bool mn = isPrefixOf(w1, "minimize", 3), mx = isPrefixOf(w1, "maximize", 3);
    if (mn || mx) {
      objsen_ = mx ? -1 : 1;
      if (equalsNoCase(w2, "multi-objectives")) {
        multiObj_ = true;
        rest = std::string(after2);
        return kSecObj;
      }
      rest = std::string(after1);
      return kSecObj;
    }
  }
  if (early) {
    if (equalsNoCase(w1, "st") || equalsNoCase(w1, "st.") || equalsNoCase(w1, "s.t") || equalsNoCase(w1, "s.t.")) {
      consKind_ = 0;
      rest = std::string(after1);
      return kSecCons;
    }
    if ((equalsNoCase(w1, "such") && equalsNoCase(w2, "that")) || (equalsNoCase(w1, "subject") && equalsNoCase(w2, "to"))) {
      consKind_ = 0;
      rest = std::string(after2);
      return kSecCons;
    }
    if (equalsNoCase(w1, "user") && equalsNoCase(w2, "cuts")) {
      consKind_ = 1;
      rest = std::string(after2);
      return kSecCons;
    }
    if (equalsNoCase(w1, "lazy") && equalsNoCase(w2, "constraints")) {
      consKind_ = 2;
      rest = std::string(after2);
      return kSecCons;
    }
    if (alone && isPrefixOf(w1, "bounds", 4)) return kSecBounds;
  }
  if (typesOk && alone) {
    for (const char* k : {"int", "ints", "integer", "integers"})
      if (equalsNoCase(w1, k)) {
        typeLetter_ = 'I';
        return kSecTypes;
      }
    for (const char* k : {"bin", "bins", "binary", "binaries"})
      if (equalsNoCase(w1, k)) {
        typeLetter_ = 'B';
        return kSecTypes;
      }
    for (const char* k : {"gen", "gens", "general", "generals"})
      if (equalsNoCase(w1, k)) {
        typeLetter_ = 'G';
        return kSecTypes;
      }
    for (const char* k : {"semi", "semis", "semi-continuous"})
      if (equalsNoCase(w1, k)) {
        typeLetter_ = 'S';
        return kSecTypes;
      }
    if (equalsNoCase(w1, "sos")) return kSecSos;
    if (equalsNoCase(w1, "pwl")) return kSecPwl;
  }
  return -1;
}

int LpReader::columnFor(std::string_view name) {
  int j = findName(colIdx_, name);
  if (j >= 0) return j;
  j = static_cast<int>(colName_.size());
  colName_.emplace_back(name);
  colIdx_.emplace(colName_.back(), j);
  return j;
}

// A name at s[p] (up to the next terminator), cut to the reference limit.
std::string_view LpReader::refName(std::string_view s, std::size_t& p) {
  std::size_t b = p;
  while (p < s.size() && !lpIs(s[p], kLpTerminator)) ++p;
  std::string_view name = s.substr(b, p - b);
  if (name.size() > kRefMax) {
    name = name.substr(0, utf8Cut(name, kRefMax));
    warn(format("Warning, line %lld: '%s' truncated.\n", ln(), std::string(name).c_str()));
  }
  return name;
}

// Coefficient: digits with decimal point and an exponent only when the
// exponent letter is followed by digits (otherwise the letter starts the name).
int LpReader::scanCoef(std::string_view s, std::size_t& p, double& v) {
  std::size_t b = p, n = s.size();
  while (p < n && (lpIs(s[p], kLpDigit) || s[p] == '.')) ++p;
  if (p < n && (s[p] == 'e' || s[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < n && (s[q] == '+' || s[q] == '-')) ++q;
    if (q < n && lpIs(s[q], kLpDigit)) {
      while (q < n && lpIs(s[q], kLpDigit)) ++q;
      p = q;
    }
  }
  std::string why;
  std::string_view t = s.substr(b, p - b);
  const int rc = parseLpNumber(t, v, why);
  return rc ? numberError(rc, t, why) : 0;
}

// Right-hand side number (sign already taken): digits or INF/INFINITY.
int LpReader::scanRhs(std::string_view s, std::size_t& p, double& v) {
  std::size_t b = p, n = s.size();
  if (lpIs(s[p], kLpIdentifier)) {
    while (p < n && !lpIs(s[p], kLpTerminator)) ++p;
  } else {
    while (p < n && (lpIs(s[p], kLpDigit) || s[p] == '.')) ++p;
    if (p < n && (s[p] == 'e' || s[p] == 'E')) {
      ++p;
      if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
      while (p < n && lpIs(s[p], kLpDigit)) ++p;
    }
  }
  std::string why;
  std::string_view t = s.substr(b, p - b);
  const int rc = parseLpNumber(t, v, why);
  return rc ? numberError(rc, t, why) : 0;
}

int LpReader::numberError(int rc, std::string_view t, const std::string& why) {
  const std::string text(t);
  if (rc == 1435) return err(1435, "Line %lld: Exponent '%s' out of range", ln(), text.c_str());
  if (rc == 1618) return err(1618, "Line %lld: Exponent '%s' not %s with number", ln(), text.c_str(), why.c_str());
  return err(1434, "Line %lld: Couldn't convert '%s' to a number", ln(), text.c_str());
}

int LpReader::addTerm(int col, double coef) {
  anything_ = true;
  if (coef == 0.0) return 0;
  if (sec_ == kSecObj && multiObj_)
    objectives_.back().terms.emplace_back(col, coef);
  else if (sec_ == kSecObj)
    objTerms_.emplace_back(col, coef);
  else
    cur_.terms.emplace_back(col, coef);
  return 0;
}

int LpReader::addQuad(int c1, int c2, double coef) {
  anything_ = true;
  if (coef == 0.0) return 0;
  int a = std::min(c1, c2), b = std::max(c1, c2);
  if (sec_ == kSecObj) {
    if (!set_.readQuadObjective) {
      if (!quadObjDropped_)
        warn(format("Problem %s contains quadratic objective coefficients, ignored.\n", probName_.c_str()));
      quadObjDropped_ = true;
      return 0;
    }
    // [ ... ] / 2 holds the coefficients whose half is the quadratic part:
    // a square term a x^2 is Q_ii = a, a product a x y is Q_xy = Q_yx = a/2.
    qobj_[{a, b}] += (a == b) ? coef : coef / 2;
  } else {
    cur_.quad.push_back({a, b, coef});
  }
  return 0;
}

void LpReader::beginRow(std::string name, bool named) {
  cur_ = RowRec{};
  cur_.name = std::move(name);
  cur_.named = named;
  cur_.kind = consKind_;
  labelled_ = named;
  anything_ = false;
  arrow_ = 0;
}

// Stores the completed constraint (state kDone).
int LpReader::finishConstraint() {
  if (arrow_ == 0) {
    rows_.push_back(std::move(cur_));
  } else {
    // One side is the condition "var = 0" or "var = 1"; the writer puts it
    // first, so the first side wins when both could be one.
    auto condition = [](const RowRec& r, int& var) {
      std::map<int, double> sum;
      for (auto& t : r.terms) sum[t.first] += t.second;
      if (sum.size() != 1 || sum.begin()->second != 1.0 || r.sense != 'E' || (r.rhs != 0.0 && r.rhs != 1.0) ||
          r.quadratic || r.indicator)
        return false;
      var = sum.begin()->first;
      return true;
    };
    int var = -1;
    bool condFirst = condition(cond_, var);
    if (!condFirst && !condition(cur_, var)) return err(1439, "Line %lld: Illegal indicator constraint", ln());
    RowRec& cond = condFirst ? cond_ : cur_;
    RowRec& lin = condFirst ? cur_ : cond_;
    if (lin.quadratic) return err(1439, "Line %lld: Illegal indicator constraint", ln());
    // "->": the first implies the second, "<-": the second the first.
    int dir = 2;
    if (arrow_ == 1) dir = condFirst ? 0 : 1;
    if (arrow_ == 2) dir = condFirst ? 1 : 0;
    const bool complemented = cond.rhs == 0.0;
    std::string name = cond_.name;  // the label stands before the first part
    const bool named = cond_.named;
    RowRec r = std::move(lin);
    r.indicator = true;
    r.indvar = var;
    r.complemented = complemented;
    r.direction = dir;
    r.name = std::move(name);
    r.named = named;
    rows_.push_back(std::move(r));
  }
  cur_ = RowRec{};
  arrow_ = 0;
  labelled_ = anything_ = false;
  st_ = kStart;
  return 0;
}

// Checks the expression state where an objective ends (at a section
// keyword, or at the next header of a multi-objective section).
void LpReader::endObjective() {
  if (st_ == kQClose) {
    warn(format("Warning, line %lld: Deprecated format, expecting '] / 2'.\n", ln()));
  } else if (!(st_ == kStart || st_ == kTerm || st_ == kCoef)) {
    warn(format("Warning, line %lld: Objective ended unexpectedly.\n", ln()));
  }
  st_ = kStart;
  sign_ = 1.0;
  labelled_ = anything_ = false;
}

// Called when a section keyword ends the objective or a constraint section.
int LpReader::endSection() {
  if (sec_ == kSecObj) {
    endObjective();
  } else if (sec_ == kSecPwl) {
    int rc = finishPwl();
    if (rc < 0) return rc;
  } else if (sec_ == kSecCons) {
    if (st_ == kDone) {
      int rc = finishConstraint();
      if (rc < 0) return rc;
    } else if (st_ != kStart || labelled_ || anything_ || arrow_) {
      warn(format("Warning, line %lld: Unfinished constraint is discarded.\n", ln()));
    }
  }
  st_ = kStart;
  cur_ = RowRec{};
  arrow_ = 0;
  labelled_ = anything_ = false;
  sign_ = 1.0;
  return 0;
}

int LpReader::expr(std::string_view s) {
  const bool inObj = sec_ == kSecObj;
  const std::size_t n = s.size();
  std::size_t p = 0;
  if (n == 0) return 0;
  // label at the start of a line that starts an objective or constraint
  if ((st_ == kStart && !anything_ && !labelled_) || st_ == kDone) {
    if (lpIs(s[0], kLpIdentifier)) {
      std::size_t q = 0;
      while (q < n && !lpIs(s[q], kLpTerminator)) ++q;
      if (q < n && s[q] == ':' && !(q + 1 < n && s[q + 1] == ':')) {
        if (st_ == kDone) {
          int rc = finishConstraint();
          if (rc < 0) return rc;
        }
        std::string_view label = s.substr(0, q);
        if (label.size() > kLabelMax) {
          label = label.substr(0, utf8Cut(label, kLabelMax));
          warn(format("Warning, line %lld: '%s' truncated.\n", ln(), std::string(label).c_str()));
        }
        if (inObj) {
          objName_ = std::string(label);
          labelled_ = true;
        } else {
          beginRow(std::string(label), true);
        }
        st_ = kStart;
        sign_ = 1.0;
        p = q + 1;
      }
    }
  }
  // a coefficient that ended the previous line must be followed by a name
  if (st_ == kCoef && p < n && coefLine_ != ln() && !lpIs(s[p], kLpIdentifier))
    return err(1609, "Line %lld: Expected identifier first", ln());
  if (st_ == kRhsSign && p < n && signLine_ != ln() && !lpIs(s[p], kLpNumber) && !lpIs(s[p], kLpIdentifier))
    return err(1611, "Line %lld: Expected number first", ln());

  while (p < n) {
    const char c = s[p];
    const bool isSign = c == '+' || c == '-';
    switch (st_) {
      case kDone: {
        int ar = 0;
        std::size_t len = 0;
        if (s.compare(p, 3, "<->") == 0)
          ar = 3, len = 3;
        else if (s.compare(p, 2, "->") == 0)
          ar = 1, len = 2;
        else if (s.compare(p, 2, "<-") == 0)
          ar = 2, len = 2;
        if (ar) {
          if (arrow_ != 0) return err(1439, "Line %lld: Illegal indicator constraint", ln());
          cond_ = std::move(cur_);
          cur_ = RowRec{};
          cur_.kind = consKind_;
          arrow_ = ar;
          st_ = kStart;
          sign_ = 1.0;
          anything_ = true;
          p += len;
          continue;
        }
        int rc = finishConstraint();
        if (rc < 0) return rc;
        beginRow(kPlaceholder, false);
        continue;
      }
      case kStart:
      case kSign:
        if (st_ == kStart && !inObj && !anything_ && !labelled_ && cur_.name.empty()) beginRow(kPlaceholder, false);
        if (isSign) {
          if (st_ == kSign) return err(1602, "Lines %lld,%lld: Adjacent signs", signLine_, ln());
          sign_ = c == '-' ? -1.0 : 1.0;
          signLine_ = ln();
          st_ = kSign;
          anything_ = true;
          ++p;
        } else if (c == '[') {
          if (!inObj && !set_.readQuadConstraints) return err(1605, "Line %lld: Illegal quadratic term in a constraint", ln());
          if (!inObj) cur_.quadratic = true;
          qsign_ = sign_;
          sign_ = 1.0;
          st_ = kQStart;
          anything_ = true;
          ++p;
        } else if (lpIs(c, kLpDigit) || c == '.') {
          double v = 0;
          int rc = scanCoef(s, p, v);
          if (rc < 0) return rc;
          coef_ = sign_ * v;
          coefLine_ = ln();
          st_ = kCoef;
          anything_ = true;
        } else if (lpIs(c, kLpIdentifier)) {
          std::string_view nm = refName(s, p);
          int rc = addTerm(columnFor(nm), sign_);
          if (rc < 0) return rc;
          sign_ = 1.0;
          st_ = kTerm;
        } else if (lpIs(c, kLpSense)) {
          if (inObj) return err(1603, "Line %lld: RHS sense in objective", ln());
          if (st_ == kSign) return err(1604, "Lines %lld,%lld: Adjacent sign and sense", signLine_, ln());
          // "name: <= 5" is a row without terms (what the writer produces for
          // a model without columns); without a label it stays an error
          if (!labelled_ || anything_) return err(1615, "Line %lld: Expected number, found '%c'", ln(), c);
          anything_ = true;
          st_ = kTerm;
        } else if (lpIs(c, kLpQuadOp) && st_ == kSign) {
          return err(1606, "Lines %lld,%lld: Adjacent sign and quadratic character", signLine_, ln());
        } else {
          return err(1615, "Line %lld: Expected number, found '%c'", ln(), c);
        }
        break;
      case kCoef:
        if (lpIs(c, kLpIdentifier)) {
          std::string_view nm = refName(s, p);
          int rc = addTerm(columnFor(nm), coef_);
          if (rc < 0) return rc;
          sign_ = 1.0;
          st_ = kTerm;
        } else {
          return err(1616, "Line %lld: Expected identifier, found '%c'", ln(), c);
        }
        break;
      case kTerm:
        if (isSign) {
          sign_ = c == '-' ? -1.0 : 1.0;
          signLine_ = ln();
          st_ = kSign;
          ++p;
        } else if (lpIs(c, kLpSense)) {
          if (inObj) return err(1603, "Line %lld: RHS sense in objective", ln());
          char sense;
          if (c == '<') {
            sense = 'L';
            p += (p + 1 < n && s[p + 1] == '=') ? 2 : 1;
          } else if (c == '>') {
            sense = 'G';
            p += (p + 1 < n && s[p + 1] == '=') ? 2 : 1;
          } else if (p + 1 < n && s[p + 1] == '<') {
            sense = 'L';
            p += 2;
          } else if (p + 1 < n && s[p + 1] == '>') {
            sense = 'G';
            p += 2;
          } else {
            sense = 'E';
            p += 1;
          }
          cur_.sense = sense;
          sign_ = 1.0;
          st_ = kSense;
        } else if (inObj) {
          return err(1607, "Line %lld: Expected '+' or '-', found '%c'", ln(), c);
        } else {
          return err(1608, "Line %lld: Expected '+','-' or sense, found '%c'", ln(), c);
        }
        break;
      case kSense:
      case kRhsSign:
        if (isSign) {
          if (st_ == kRhsSign) return err(1602, "Lines %lld,%lld: Adjacent signs", signLine_, ln());
          sign_ = c == '-' ? -1.0 : 1.0;
          signLine_ = ln();
          st_ = kRhsSign;
          ++p;
        } else if (lpIs(c, kLpDigit) || c == '.' || c == 'i' || c == 'I') {
          double v = 0;
          int rc = scanRhs(s, p, v);
          if (rc < 0) return rc;
          cur_.rhs = sign_ * v;
          sign_ = 1.0;
          st_ = kDone;
          // text after the number: an indicator arrow, or ignored
          if (p < n && !(s.compare(p, 2, "->") == 0 || s.compare(p, 2, "<-") == 0)) {
            warn(format("Warning, line %lld: Characters after %s value are ignored.\n", ln(), "RHS"));
            p = n;
          }
        } else if (st_ == kRhsSign) {
          return err(1615, "Line %lld: Expected number, found '%c'", ln(), c);
        } else {
          return err(1610, "Line %lld: Expected RHS coefficient", ln());
        }
        break;
      case kQStart:
      case kQSign:
      case kQTerm:
        if (c == ']' && st_ != kQSign) {
          ++p;
          st_ = inObj ? kQClose : kTerm;
          sign_ = 1.0;
          if (!inObj && set_.readQuadConstraints) {
            // the constraint is quadratic
          }
        } else if (isSign) {
          if (st_ == kQSign) return err(1602, "Lines %lld,%lld: Adjacent signs", signLine_, ln());
          sign_ = c == '-' ? -1.0 : 1.0;
          signLine_ = ln();
          st_ = kQSign;
          ++p;
        } else if (st_ == kQTerm) {
          return inObj ? err(1607, "Line %lld: Expected '+' or '-', found '%c'", ln(), c)
                       : err(1608, "Line %lld: Expected '+','-' or sense, found '%c'", ln(), c);
        } else if (lpIs(c, kLpDigit) || c == '.') {
          double v = 0;
          int rc = scanCoef(s, p, v);
          if (rc < 0) return rc;
          qcoef_ = sign_ * v;
          st_ = kQCoef;
        } else if (lpIs(c, kLpIdentifier)) {
          qcoef_ = sign_;
          qname1_ = columnFor(refName(s, p));
          st_ = kQName1;
        } else if (lpIs(c, kLpQuadOp) || lpIs(c, kLpSense)) {
          return err(1606, "Lines %lld,%lld: Adjacent sign and quadratic character", signLine_, ln());
        } else {
          return err(1615, "Line %lld: Expected number, found '%c'", ln(), c);
        }
        break;
      case kQCoef:
        if (!lpIs(c, kLpIdentifier)) return err(1616, "Line %lld: Expected identifier, found '%c'", ln(), c);
        qname1_ = columnFor(refName(s, p));
        st_ = kQName1;
        break;
      case kQName1:
        if (c == '^')
          st_ = kQPow;
        else if (c == '*')
          st_ = kQTimes;
        else
          return err(1614, "Line %lld: Expected ^ or *", ln());
        ++p;
        break;
      case kQPow: {
        if (!lpIs(c, kLpDigit)) return err(1612, "Line %lld: Expected quadratic exponent", ln());
        std::size_t b = p;
        while (p < n && (lpIs(s[p], kLpDigit) || s[p] == '.')) ++p;
        double e = 0;
        std::string why;
        if (parseLpNumber(s.substr(b, p - b), e, why) != 0 || e != 2.0)
          return err(1613, "Line %lld: Quadratic exponent must be 2", ln());
        addQuad(qname1_, qname1_, qsign_ * qcoef_);
        sign_ = 1.0;
        st_ = kQTerm;
        break;
      }
      case kQTimes:
        if (!lpIs(c, kLpIdentifier)) return err(1616, "Line %lld: Expected identifier, found '%c'", ln(), c);
        addQuad(qname1_, columnFor(refName(s, p)), qsign_ * qcoef_);
        sign_ = 1.0;
        st_ = kQTerm;
        break;
      case kQClose:
        if (c == '/') {
          ++p;
          std::size_t b = p;
          while (p < n && (lpIs(s[p], kLpDigit) || s[p] == '.' || s[p] == 'e' || s[p] == 'E')) ++p;
          double d = 0;
          std::string why;
          if (p == b || parseLpNumber(s.substr(b, p - b), d, why) != 0 || std::fabs(d - 2.0) > kDivisorTol)
            return err(1619, "Line %lld: Missing or incorrect divisor for Q terms", ln());
        } else {
          warn(format("Warning, line %lld: Deprecated format, expecting '] / 2'.\n", ln()));
        }
        st_ = kTerm;
        break;
    }
  }
  return 0;
}

int LpReader::bound(std::string_view s) {
  const std::size_t n = s.size();
  if (n == 0) return 0;
  auto senseAt = [&](std::size_t& p, char& sense) -> int {
    std::size_t b = p;
    while (p < n && lpIs(s[p], kLpSense)) ++p;
    std::string_view t = s.substr(b, p - b);
    if (t.empty()) return 1621;
    if (t == "<=" || t == "=<" || t == "<")
      sense = 'L';
    else if (t == ">=" || t == "=>" || t == ">")
      sense = 'G';
    else if (t == "=")
      sense = 'E';
    else
      return 1622;
    return 0;
  };
  auto numberAt = [&](std::size_t& p, double& v, bool toSense) -> int {
    std::size_t b = p;
    if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
    while (p < n && !(toSense && lpIs(s[p], kLpSense))) {
      if (!toSense) {
        ++p;
        continue;
      }
      // a number runs up to the sense; exponent signs belong to it
      ++p;
    }
    std::string_view t = s.substr(b, p - b);
    if (t.empty() || t == "+" || t == "-") return err(1623, "Line %lld: Missing bound number", ln());
    std::string why;
    int rc = parseLpNumber(t, v, why);
    if (rc == 1434) return err(1434, "Line %lld: Couldn't convert '%s' to a number", ln(), std::string(t).c_str());
    if (rc == 1435) return err(1435, "Line %lld: Exponent '%s' out of range", ln(), std::string(t).c_str());
    if (rc == 1618)
      return err(1618, "Line %lld: Exponent '%s' not %s with number", ln(), std::string(t).c_str(), why.c_str());
    return 0;
  };
  auto senseErr = [&](int code) {
    return code == 1621 ? err(1621, "Line %lld: No bound sense", ln()) : err(1622, "Line %lld: Invalid bound sense", ln());
  };
  auto record = [&](int col, char sense, double v, bool mirrored) {
    // name sense v: 'L' upper, 'G' lower; mirrored (v sense name): the reverse
    char kind = sense == 'E' ? 'B' : ((sense == 'L') != mirrored ? 'U' : 'L');
    bounds_.push_back({col, kind, v});
  };

  // name free
  if (n > 4 && equalsNoCase(s.substr(n - 4), "free") && lpIs(s[0], kLpIdentifier)) {
    std::string_view head = s.substr(0, n - 4);
    std::size_t p = 0;
    std::string_view nm = refName(head, p);
    if (p == head.size()) {
      int j = findName(colIdx_, nm);
      if (j < 0) {
        nameWarning(nm);
        return 0;
      }
      bounds_.push_back({j, 'L', -kInf});
      bounds_.push_back({j, 'U', kInf});
      return 0;
    }
  }
  std::size_t p = 0;
  bool startsNumber = lpIs(s[0], kLpNumber);
  if (!startsNumber && lpIs(s[0], kLpIdentifier)) {
    // "inf <= x" starts with a number too
    std::size_t q = 0;
    while (q < n && !lpIs(s[q], kLpTerminator)) ++q;
    std::string_view w = s.substr(0, q);
    if ((equalsNoCase(w, "inf") || equalsNoCase(w, "infinity")) && q < n && lpIs(s[q], kLpSense)) startsNumber = true;
  }
  if (startsNumber) {
    // a word such as "2x" before the sense is a (badly formed) name
    std::size_t q = 0;
    while (q < n && !lpIs(s[q], kLpSense)) ++q;
    std::string_view first = s.substr(0, q);
    double probe = 0;
    std::string why;
    bool letters = std::any_of(first.begin(), first.end(), [](char ch) { return lpIs(ch, kLpIdentifier); });
    if (letters && parseLpNumber(first, probe, why) != 0) startsNumber = false;
  }
  if (startsNumber) {
    double v1 = 0;
    int rc = numberAt(p, v1, true);
    if (rc < 0) return rc;
    char s1 = 0;
    int sc = senseAt(p, s1);
    if (sc) return senseErr(sc);
    if (p >= n || !lpIs(s[p], kLpIdentifier)) return err(1623, "Line %lld: Missing bound number", ln());
    std::string_view nm = refName(s, p);
    int j = findName(colIdx_, nm);
    if (p >= n) {
      if (j < 0) {
        nameWarning(nm);
        return 0;
      }
      record(j, s1, v1, true);
      return 0;
    }
    char s2 = 0;
    sc = senseAt(p, s2);
    if (sc) return senseErr(sc);
    double v2 = 0;
    rc = numberAt(p, v2, false);
    if (rc < 0) return rc;
    if (j < 0) {
      nameWarning(nm);
      return 0;
    }
    if (s1 != s2 || s1 == 'E' || s2 == 'E') warn(format("Warning, line %lld: Possible sense conflict.\n", ln()));
    record(j, s1, v1, true);
    record(j, s2, v2, false);
    return 0;
  }
  if (!lpIs(s[0], kLpIdentifier) && !lpIs(s[0], kLpNumber)) return err(1623, "Line %lld: Missing bound number", ln());
  std::string_view nm;
  if (lpIs(s[0], kLpIdentifier)) {
    nm = refName(s, p);
  } else {
    while (p < n && !lpIs(s[p], kLpSense)) ++p;
    nm = s.substr(0, p);
  }
  if (p >= n) return err(1621, "Line %lld: No bound sense", ln());
  char s1 = 0;
  int sc = senseAt(p, s1);
  if (sc) return senseErr(sc);
  double v = 0;
  int rc = numberAt(p, v, false);
  if (rc < 0) return rc;
  int j = findName(colIdx_, nm);
  if (j < 0) {
    nameWarning(nm);
    return 0;
  }
  record(j, s1, v, false);
  return 0;
}

int LpReader::types(const std::string& line) {
  for (std::string_view w : blankWords(line)) {
    if (w.size() > kRefMax) w = w.substr(0, utf8Cut(w, kRefMax));
    int j = findName(colIdx_, w);
    if (j < 0) {
      nameWarning(w);
      continue;
    }
    types_.emplace_back(j, typeLetter_);
  }
  return 0;
}

int LpReader::sosLine(const std::string& line) {
  // words at blanks; ':' and '::' are words of their own
  std::vector<std::string_view> tok;
  for (std::string_view w : blankWords(line)) {
    std::size_t i = 0;
    while (i < w.size()) {
      std::size_t b = i;
      if (w[i] == ':') {
        while (i < w.size() && w[i] == ':') ++i;
      } else {
        while (i < w.size() && w[i] != ':') ++i;
      }
      tok.push_back(w.substr(b, i - b));
    }
  }
  auto isType = [](std::string_view t) { return t.size() == 2 && (t[0] == 'S' || t[0] == 's') && (t[1] == '1' || t[1] == '2'); };
  std::size_t i = 0;
  while (i < tok.size()) {
    if (isType(tok[i]) && i + 1 < tok.size() && tok[i + 1] == "::") {
      model::SosSet s;
      s.name = kPlaceholder;
      s.type = tok[i][1];
      sos_.push_back(std::move(s));
      sosOpen_ = true;
      i += 2;
      continue;
    }
    if (i + 3 < tok.size() && tok[i + 1] == ":" && isType(tok[i + 2]) && tok[i + 3] == "::") {
      model::SosSet s;
      std::string_view nm = tok[i];
      if (nm.size() > kLabelMax) nm = nm.substr(0, utf8Cut(nm, kLabelMax));
      s.name = std::string(nm);
      s.type = tok[i + 2][1];
      sos_.push_back(std::move(s));
      sosOpen_ = true;
      i += 4;
      continue;
    }
    // member name : weight
    std::string_view nm = tok[i];
    if (!lpIs(nm[0], kLpIdentifier)) return err(1616, "Line %lld: Expected identifier, found '%c'", ln(), nm[0]);
    if (i + 2 >= tok.size() || tok[i + 1] != ":")
      return err(1434, "Line %lld: Couldn't convert '%s' to a number", ln(), "");
    std::string_view wt = tok[i + 2];
    double w = 0;
    std::string why;
    if (parseLpNumber(wt, w, why) != 0)
      return err(1434, "Line %lld: Couldn't convert '%s' to a number", ln(), std::string(wt).c_str());
    i += 3;
    if (!sosOpen_) return err(1434, "Line %lld: Couldn't convert '%s' to a number", ln(), std::string(nm).c_str());
    int j = findName(colIdx_, nm);
    if (j < 0) {
      nameWarning(nm);
      continue;
    }
    sos_.back().ind.push_back(j);
    sos_.back().weight.push_back(w);
  }
  return 0;
}

// Multi-objective section: a line "name:" with optional attributes starts
// the next objective.  Sets `header` when the line was a header.
int LpReader::objectiveHeader(std::string_view s, bool& header) {
  header = false;
  const std::size_t n = s.size();
  std::size_t q = 0;
  while (q < n && !lpIs(s[q], kLpTerminator)) ++q;
  const bool labelled = q > 0 && q < n && s[q] == ':' && lpIs(s[0], kLpIdentifier);
  if (!labelled) {
    std::string lower;
    for (char c : s) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    const bool attrs = lower.find("priority=") != std::string::npos || lower.find("weight=") != std::string::npos ||
                       lower.find("abstol=") != std::string::npos || lower.find("reltol=") != std::string::npos;
    if (objectives_.empty() || attrs || (n > 0 && s[0] == ':')) return err(1489, "Line %lld: No objective name", ln());
    return 0;
  }
  header = true;
  endObjective();
  ObjRec o;
  std::string_view label = s.substr(0, q);
  if (label.size() > kLabelMax) {
    label = label.substr(0, utf8Cut(label, kLabelMax));
    warn(format("Warning, line %lld: '%s' truncated.\n", ln(), std::string(label).c_str()));
  }
  o.name = std::string(label);
  std::size_t p = q + 1;
  auto startsWith = [&](std::string_view key) {
    return n - p >= key.size() && equalsNoCase(s.substr(p, key.size()), key);
  };
  // a number: sign, digits and point, an exponent only when digits follow
  auto numberEnd = [&](std::size_t b) {
    std::size_t e = b;
    if (e < n && (s[e] == '+' || s[e] == '-')) ++e;
    while (e < n && (lpIs(s[e], kLpDigit) || s[e] == '.')) ++e;
    if (e < n && (s[e] == 'e' || s[e] == 'E')) {
      std::size_t f = e + 1;
      if (f < n && (s[f] == '+' || s[f] == '-')) ++f;
      if (f < n && lpIs(s[f], kLpDigit)) {
        while (f < n && lpIs(s[f], kLpDigit)) ++f;
        e = f;
      }
    }
    return e;
  };
  while (p < n) {
    if (startsWith("priority=")) {
      p += 9;
      bool neg = false;
      if (p < n && (s[p] == '+' || s[p] == '-')) neg = s[p++] == '-';
      if (p >= n || !lpIs(s[p], kLpDigit))
        return err(1615, "Line %lld: Expected number, found '%c'", ln(), p < n ? s[p] : ' ');
      long long v = 0;
      while (p < n && lpIs(s[p], kLpDigit)) {
        v = v * 10 + (s[p++] - '0');
        if (v > 2147483647LL) return err(1810, "32-bit overflow");
      }
      o.priority = static_cast<int>(neg ? -v : v);
      continue;
    }
    double* target = nullptr;
    int which = 0;
    if (startsWith("weight=")) {
      p += 7;
      target = &o.weight;
    } else if (startsWith("abstol=")) {
      p += 7;
      target = &o.abstol;
      which = 1;
    } else if (startsWith("reltol=")) {
      p += 7;
      target = &o.reltol;
      which = 2;
    } else {
      return err(1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(),
                 std::string(s.substr(p)).c_str());
    }
    std::size_t e = numberEnd(p);
    std::string why;
    std::string_view t = s.substr(p, e - p);
    int rc = parseLpNumber(t, *target, why);
    if (rc) return numberError(rc, t, why);
    p = e;
    if (which == 1 && !(*target >= 0.0 && *target <= set_.absGapMax))
      return err(1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(), "invalid AbsTol value");
    if (which == 2 && !(*target >= 0.0 && *target <= set_.relGapMax))
      return err(1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(), "invalid RelTol value");
  }
  objectives_.push_back(std::move(o));
  labelled_ = true;
  return 0;
}

// Piecewise-linear section: "[name:] y = x preslope (x1, y1) ... postslope",
// blanks kept, a definition may run over several lines.
int LpReader::pwlLine(std::string_view s) {
  const std::size_t n = s.size();
  std::size_t p = 0;
  auto skip = [&] {
    while (p < n && lpIs(s[p], kLpBlank)) ++p;
  };
  auto ill = [&] { return err(1213, "ill defined piecewise linear function"); };
  // labels are cut to 255 bytes, variable references to 254
  auto name = [&](std::size_t max) {
    std::size_t b = p;
    while (p < n && !lpIs(s[p], kLpTerminator)) ++p;
    std::string_view nm = s.substr(b, p - b);
    if (nm.size() > max) {
      nm = nm.substr(0, utf8Cut(nm, max));
      warn(format("Warning, line %lld: '%s' truncated.\n", ln(), std::string(nm).c_str()));
    }
    return std::string(nm);
  };
  auto number = [&](double& v) -> int {
    std::size_t b = p;
    if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
    // a part that is not a number at all means the parts are out of order
    if (p >= n || !(lpIs(s[p], kLpDigit) || s[p] == '.' || s[p] == 'i' || s[p] == 'I')) return ill();
    if (s[p] == 'i' || s[p] == 'I') {  // inf, infinity
      while (p < n && !lpIs(s[p], kLpTerminator) && s[p] != ',' && s[p] != ')') ++p;
    } else {
      while (p < n && lpIs(s[p], kLpNumber) && !(lpIs(s[p], kLpSign) && p > b && s[p - 1] != 'e' && s[p - 1] != 'E'))
        ++p;
    }
    std::string_view t = s.substr(b, p - b);
    if (t.empty()) return ill();
    std::string why;
    int rc = parseLpNumber(t, v, why);
    return rc ? numberError(rc, t, why) : 0;
  };
  skip();
  if (p < n && pw_ == kPwDone) {
    int rc = finishPwl();
    if (rc < 0) return rc;
  }
  while (true) {
    skip();
    if (p >= n) return 0;
    const char c = s[p];
    switch (pw_) {
      case kPwStart: {
        if (!lpIs(c, kLpIdentifier)) return ill();
        PwlRec r;
        r.line = ln();
        // "name:" labels the definition; otherwise the word is y
        std::size_t save = p;
        while (p < n && !lpIs(s[p], kLpTerminator)) ++p;
        skip();
        if (p < n && s[p] == ':') {
          p = save;
          r.name = name(kLabelMax);
          skip();
          r.named = true;
          ++p;
        } else {
          p = save;
          r.name = kPlaceholder;
        }
        pwl_.push_back(std::move(r));
        pw_ = kPwY;
        break;
      }
      case kPwY:
        if (!lpIs(c, kLpIdentifier)) return ill();
        pwl_.back().yname = name(kRefMax);
        pw_ = kPwEq;
        break;
      case kPwEq:
        if (c != '=') return ill();
        ++p;
        pw_ = kPwX;
        break;
      case kPwX:
        if (!lpIs(c, kLpIdentifier)) return ill();
        pwl_.back().xname = name(kRefMax);
        pw_ = kPwPre;
        break;
      case kPwPre: {
        int rc = number(pwl_.back().preslope);
        if (rc < 0) return rc;
        pw_ = kPwPoints;
        break;
      }
      case kPwPoints:
        if (c == '(') {
          ++p;
          pw_ = kPwPx;
        } else {
          if (pwl_.back().x.empty()) return ill();
          int rc = number(pwl_.back().postslope);
          if (rc < 0) return rc;
          pw_ = kPwDone;
          skip();
          if (p < n) {
            int code = err(1537, "Illegal character");
            msg_.error(format("      line %lld: Unexpected character after the definition\n"
                              "                 of a piecewise linear constraint.\n",
                              ln()));
            return code;
          }
        }
        break;
      case kPwPx: {
        double v = 0;
        int rc = number(v);
        if (rc < 0) return rc;
        auto& xs = pwl_.back().x;
        if (!xs.empty() && v < xs.back()) return ill();  // abscissae never decrease
        xs.push_back(v);
        pw_ = kPwComma;
        break;
      }
      case kPwComma:
        if (c != ',') return ill();
        ++p;
        pw_ = kPwPy;
        break;
      case kPwPy: {
        double v = 0;
        int rc = number(v);
        if (rc < 0) return rc;
        pwl_.back().y.push_back(v);
        pw_ = kPwClose;
        break;
      }
      case kPwClose:
        if (c != ')') return ill();
        ++p;
        pw_ = kPwPoints;
        break;
      case kPwDone: return ill();  // not reached: a finished definition is closed above
    }
  }
}

// A definition is complete only after its final slope.
int LpReader::finishPwl() {
  if (pw_ == kPwStart) return 0;
  if (pw_ != kPwDone) return err(1213, "ill defined piecewise linear function");
  pw_ = kPwStart;
  return 0;
}

// One physical line.  Returns 1 at "End", 0 to go on, or a negative status.
int LpReader::line(std::string& text) {
  if (!cleanLine(text)) return 0;
  std::string rest;
  int ns = keyword(text, rest);
  if (ns < -1) return ns;
  if (ns >= 0) {
    if (sec_ == kSecNone && ns != kSecObj) return err(1436, "Max or Min missing");
    int rc = endSection();
    if (rc < 0) return rc;
    sec_ = static_cast<Section>(ns);
    if (sec_ == kSecEnd) {
      ended_ = true;
      return 1;
    }
    if (sec_ != kSecObj && sec_ != kSecCons) return 0;
    text = rest;
  }
  auto noBlanks = [](const std::string& in) {
    std::string t;
    t.reserve(in.size());
    for (char c : in)
      if (!lpIs(c, kLpBlank)) t.push_back(c);
    return t;
  };
  switch (sec_) {
    case kSecNone: return 0;  // lines before the first keyword are skipped
    case kSecObj: {
      std::string t = noBlanks(text);
      if (t.empty()) return 0;
      if (multiObj_) {
        bool header = false;
        int rc = objectiveHeader(t, header);
        if (rc < 0 || header) return rc;
      }
      return expr(t);
    }
    case kSecCons: return expr(noBlanks(text));
    case kSecBounds: return bound(noBlanks(text));
    case kSecTypes: return types(text);
    case kSecSos: return sosLine(text);
    case kSecPwl: return pwlLine(text);
    case kSecEnd: return 0;
  }
  return 0;
}

int LpReader::read(model::ModelData& out) {
  if (interactive_)
    msg_.results(base_ ? "Enter new constraints and bounds ['end' terminates]:\n"
                       : "Enter new problem ['end' on a separate line terminates]:\n");
  std::string text;
  while (lr_.next(text)) {
    if (!interactive_) {
      int rc = line(text);
      if (rc < 0) return rc;
      if (rc == 1) break;
      continue;
    }
    // A failing line is taken back and typed again.
    LpState saved = static_cast<const LpState&>(*this);
    int rc = line(text);
    if (rc == 1) break;
    if (rc < 0) {
      if (rc == -1001) return rc;
      static_cast<LpState&>(*this) = std::move(saved);
      msg_.results("Please reenter last line:\n");
    }
  }
  if (!ended_ && lr_.errorCode() != 0) {
    if (lr_.errorCode() == 1235) return err(1235, "Failed to convert string encoding");
    return err(1426, "Low-level file I/O error");
  }
  if (sec_ == kSecNone) return err(1436, "Max or Min missing");
  if (!ended_) {
    int rc = endSection();
    if (rc < 0) return rc;
    warn("Warning: 'End' missing.\n");
  }
  return finish(out);
}

namespace {
// Sums repeated columns and drops zero sums, in column order.
void mergeTerms(std::vector<std::pair<int, double>>& t) {
  std::sort(t.begin(), t.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::size_t w = 0;
  for (std::size_t r = 0; r < t.size();) {
    int j = t[r].first;
    double s = 0;
    while (r < t.size() && t[r].first == j) s += t[r++].second;
    if (s != 0.0) t[w++] = {j, s};
  }
  t.resize(w);
}
}  // namespace

int LpReader::finish(model::ModelData& out) {
  const int n = static_cast<int>(colName_.size());
  const int n0 = base_ ? base_->numCols() : 0;  // columns that exist already
  std::vector<double> obj(static_cast<std::size_t>(n), 0.0), lb(static_cast<std::size_t>(n), 0.0),
      ub(static_cast<std::size_t>(n), kInf);
  std::vector<char> ctype(static_cast<std::size_t>(n), 'C');
  for (int j = 0; j < n0; ++j) {
    obj[j] = base_->obj[j];
    lb[j] = base_->lb[j];
    ub[j] = base_->ub[j];
    if (!base_->ctype.empty()) ctype[j] = base_->ctype[j];
  }
  std::vector<char> explicitB(static_cast<std::size_t>(n), 0);
  for (auto& [j, v] : objTerms_) obj[j] += v;
  for (const auto& b : bounds_) {
    if (b.kind == 'L' || b.kind == 'B') lb[b.col] = b.value;
    if (b.kind == 'U' || b.kind == 'B') ub[b.col] = b.value;
    explicitB[b.col] = 1;
  }
  bool anyType = !sos_.empty() || (base_ && !base_->ctype.empty());
  bool binWarn = false;
  if (!types_.empty() && !set_.readIntegers) {
    warn(format("Problem %s contains integer variable declarations, ignored.\n", probName_.c_str()));
  } else {
    for (const auto& [j, letter] : types_) {
      anyType = true;
      char& t = ctype[j];
      switch (letter) {
        case 'I':
          if (!explicitB[j]) {
            ub[j] = 1.0;
            t = 'B';
          } else {
            t = (lb[j] == 0.0 && ub[j] == 1.0) ? 'B' : 'I';
          }
          break;
        case 'G': t = (t == 'S' || t == 'N') ? 'N' : 'I'; break;
        case 'S': t = (t == 'I' || t == 'B' || t == 'N') ? 'N' : 'S'; break;
        case 'B':
          t = 'B';
          if (!explicitB[j]) {
            if (std::fabs(lb[j] - 0.0) >= kBinaryTol || std::fabs(ub[j] - 1.0) >= kBinaryTol) {
              lb[j] = 0.0;
              ub[j] = 1.0;
            }
          } else if (!(lb[j] == 0.0 && ub[j] == 1.0) && !(lb[j] == ub[j] && (lb[j] == 0.0 || lb[j] == 1.0))) {
            binWarn = true;
          }
          break;
      }
    }
  }
  if (binWarn) warn("Warning:  Binary variables declared with bounds other than 0 and 1.\n");
  if (nameWarnings_ > kNameWarnLimit)
    warn(format("%d name warnings not printed.\n", static_cast<int>(nameWarnings_ - kNameWarnLimit)));

  // Piecewise-linear variables must name columns.
  std::vector<model::PwlConstraint> pwl;
  {
    int missing = 0;
    for (const auto& r : pwl_) {
      int y = findName(colIdx_, r.yname), x = findName(colIdx_, r.xname);
      for (const auto& [col, nm] : {std::pair<int, const std::string*>{y, &r.yname}, {x, &r.xname}})
        if (col < 0) {
          msg_.error(format("Error %i: Line %lld: '%s' not found\n", 1210, r.line, nm->c_str()));
          ++missing;
        }
      if (y < 0 || x < 0) continue;
      model::PwlConstraint c;
      c.name = r.named ? r.name : "";
      c.ycol = y;
      c.xcol = x;
      c.preslope = r.preslope;
      c.postslope = r.postslope;
      c.x = r.x;
      c.y = r.y;
      pwl.push_back(std::move(c));
    }
    // the lines above, then the status line of the code
    if (missing) return err(1210, "Name not found");
  }

  for (auto& r : rows_) mergeTerms(r.terms);
  for (auto& o : objectives_) mergeTerms(o.terms);

  // Range variables written for ranged rows ("Rg" + row name) go back into
  // the row's range.
  std::vector<int> useCount(static_cast<std::size_t>(n), 0);
  for (const auto& r : rows_) {
    for (const auto& t : r.terms) ++useCount[t.first];
    for (const auto& q : r.quad) ++useCount[q.col1], ++useCount[q.col2];
    if (r.indicator) useCount[r.indvar] += 2;
  }
  for (const auto& [key, v] : qobj_) useCount[key.first] += 2, useCount[key.second] += 2;
  for (const auto& s : sos_)
    for (int j : s.ind) useCount[j] += 2;
  for (const auto& o : objectives_)
    for (const auto& t : o.terms) useCount[t.first] += 2;
  for (const auto& c : pwl) useCount[c.xcol] += 2, useCount[c.ycol] += 2;
  std::vector<char> removed(static_cast<std::size_t>(n), 0);
  std::vector<double> rowRange(rows_.size(), 0.0);
  std::vector<char> rowRanged(rows_.size(), 0);
  for (std::size_t i = 0; i < rows_.size() && !base_; ++i) {
    RowRec& r = rows_[i];
    if (!r.named || r.indicator || r.quadratic || r.kind != 0 || r.sense != 'E') continue;
    for (std::size_t k = 0; k < r.terms.size(); ++k) {
      int j = r.terms[k].first;
      const std::string& cn = colName_[j];
      if (cn.size() != r.name.size() + 2 || cn.compare(0, 2, "Rg") != 0 || cn.compare(2, std::string::npos, r.name) != 0)
        continue;
      if (useCount[j] != 1 || r.terms[k].second != -1.0 || obj[j] != 0.0 || ctype[j] != 'C') continue;
      if (model::isInfinite(lb[j]) || model::isInfinite(ub[j]) || !(lb[j] <= 0.0 && ub[j] >= 0.0)) continue;
      if (lb[j] != 0.0 && ub[j] != 0.0) continue;
      removed[j] = 1;
      rowRanged[i] = 1;
      rowRange[i] = lb[j] < 0.0 ? lb[j] : ub[j];
      r.terms.erase(r.terms.begin() + static_cast<std::ptrdiff_t>(k));
      break;
    }
  }
  std::vector<int> newCol(static_cast<std::size_t>(n), -1);
  int nn = 0;
  for (int j = 0; j < n; ++j)
    if (!removed[j]) newCol[j] = nn++;

  model::ModelData m;
  const int m0 = base_ ? base_->numRows() : 0;
  if (base_) {
    m = *base_;
  } else {
    m.probname = probName_;
    m.objname = objName_;
    m.objsen = objsen_;
  }
  // Columns: rebuilt whole (new ones appended in add mode).
  m.obj.clear(), m.lb.clear(), m.ub.clear(), m.ctype.clear();
  const bool colNames = !base_ || !base_->colname.empty() || n > n0;
  m.colname.clear();
  for (int j = 0; j < n; ++j) {
    if (removed[j]) continue;
    m.obj.push_back(obj[j]);
    m.lb.push_back(lb[j]);
    m.ub.push_back(ub[j]);
    if (colNames) m.colname.push_back(colName_[j]);
    if (anyType) m.ctype.push_back(ctype[j]);
  }
  // Rows: ordinary rows into the matrix (built column-wise, after the rows of
  // the base model), the rest into their lists.
  std::vector<std::vector<std::pair<int, double>>> cols(static_cast<std::size_t>(nn));
  for (int j = 0; j < n0; ++j)
    for (int64_t k = base_->matbeg[j]; k < base_->matbeg[j + 1]; ++k)
      cols[j].emplace_back(base_->matind[k], base_->matval[k]);
  bool anyNamed = base_ && !base_->rowname.empty(), anyRange = base_ && !base_->rngval.empty();
  for (const auto& r : rows_) anyNamed |= r.named && r.kind == 0 && !r.indicator && !r.quadratic;
  if (anyNamed && base_ && m.rowname.empty())
    for (int i = 0; i < m0; ++i) m.rowname.push_back("c" + std::to_string(i + 1));
  // Default names of unnamed rows: "c<row number>", moved on past any name
  // the model already uses, so that names stay unique.
  std::unordered_set<std::string> usedNames;
  if (anyNamed) {
    usedNames.insert(m.rowname.begin(), m.rowname.end());
    for (const auto& r : rows_)
      if (r.named && r.kind == 0 && !r.indicator && !r.quadratic) usedNames.insert(r.name);
  }
  auto freshRowName = [&usedNames](int row) {
    for (long long k = row + 1;; ++k) {
      std::string name = "c" + std::to_string(k);
      if (usedNames.insert(name).second) return name;
    }
  };
  if (m.rngval.empty()) m.rngval.assign(static_cast<std::size_t>(m0), 0.0);
  int rowCounter = m0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    RowRec& r = rows_[i];
    std::vector<int> ind;
    std::vector<double> val;
    for (const auto& t : r.terms) {
      ind.push_back(newCol[t.first]);
      val.push_back(t.second);
    }
    if (r.indicator) {
      model::IndicatorConstraint ic;
      ic.name = r.named ? r.name : "";
      ic.indvar = newCol[r.indvar];
      ic.complemented = r.complemented;
      ic.direction = r.direction;
      ic.sense = r.sense;
      ic.rhs = r.rhs;
      ic.ind = std::move(ind);
      ic.val = std::move(val);
      m.indconstr.push_back(std::move(ic));
      continue;
    }
    if (r.quadratic) {
      model::QuadConstraint q;
      q.name = r.named ? r.name : "";
      q.sense = r.sense;
      q.rhs = r.rhs;
      q.linind = std::move(ind);
      q.linval = std::move(val);
      std::map<std::pair<int, int>, double> acc;
      for (const auto& t : r.quad) acc[{newCol[t.col1], newCol[t.col2]}] += t.coef;
      for (const auto& [key, v] : acc)
        if (v != 0.0) q.quad.push_back({key.first, key.second, v});
      m.qconstr.push_back(std::move(q));
      continue;
    }
    if (r.kind != 0) {
      model::LinearConstraint lc;
      lc.name = r.named ? r.name : "";
      lc.sense = r.sense;
      lc.rhs = r.rhs;
      lc.ind = std::move(ind);
      lc.val = std::move(val);
      (r.kind == 1 ? m.usercuts : m.lazycons).push_back(std::move(lc));
      continue;
    }
    int row = rowCounter++;
    for (std::size_t k = 0; k < ind.size(); ++k) cols[ind[k]].emplace_back(row, val[k]);
    if (anyNamed) m.rowname.push_back(r.named ? r.name : freshRowName(row));
    m.rhs.push_back(r.rhs);
    m.sense.push_back(rowRanged[i] ? 'R' : r.sense);
    m.rngval.push_back(rowRanged[i] ? rowRange[i] : 0.0);
    anyRange |= rowRanged[i] != 0;
  }
  if (!anyRange) m.rngval.clear();
  if (!anyNamed) m.rowname.clear();
  m.matbeg.assign(1, 0);
  m.matind.clear();
  m.matval.clear();
  for (int j = 0; j < nn; ++j) {
    for (const auto& [row, v] : cols[j]) {
      m.matind.push_back(row);
      m.matval.push_back(v);
    }
    m.matbeg.push_back(static_cast<int64_t>(m.matind.size()));
  }
  if (!qobj_.empty() && set_.readQuadObjective) {
    for (const auto& [key, v] : qobj_)
      if (v != 0.0) m.qobj.push_back({newCol[key.first], newCol[key.second], v});
  }
  for (auto& s : sos_) {
    if (s.name == kPlaceholder) s.name.clear();
    for (int& j : s.ind) j = newCol[j];
  }
  if (!base_) m.sos = std::move(sos_);
  for (auto& c : pwl) {
    c.xcol = newCol[c.xcol];
    c.ycol = newCol[c.ycol];
  }
  if (!base_) m.pwl = std::move(pwl);
  // Objective 0 of a multi-objective model is also the ordinary objective.
  if (!objectives_.empty()) {
    std::fill(m.obj.begin(), m.obj.end(), 0.0);
    for (const auto& [j, v] : objectives_[0].terms) m.obj[static_cast<std::size_t>(newCol[j])] = v;
    m.objname = objectives_[0].name;
  }
  for (auto& o : objectives_) {
    model::ObjectiveRecord r;
    r.name = o.name;
    r.priority = o.priority;
    r.weight = o.weight;
    r.abstol = o.abstol;
    r.reltol = o.reltol;
    for (const auto& [j, v] : o.terms) {
      r.ind.push_back(newCol[j]);
      r.val.push_back(v);
    }
    m.objectives.push_back(std::move(r));
  }
  out = std::move(m);
  return 0;
}

}  // namespace

int readLp(Device& dev, const std::string& probName, model::ModelData& out, Messages& msg, const IoSettings& settings) {
  try {
    DeviceLines src(dev);
    LpReader rd(src, probName, msg, settings, false, nullptr);
    return rd.read(out);
  } catch (const std::bad_alloc&) {
    return reportError(msg, 1001, "Out of memory");
  }
}

int enterLp(std::FILE* in, const std::string& probName, model::ModelData& out, Messages& msg,
            const IoSettings& settings) {
  try {
    StreamLines src(in);
    LpReader rd(src, probName, msg, settings, true, nullptr);
    return rd.read(out);
  } catch (const std::bad_alloc&) {
    return reportError(msg, 1001, "Out of memory");
  }
}

int addLp(Device& dev, const std::string& probName, const model::ModelData& base, model::ModelData& out,
          Messages& msg, const IoSettings& settings) {
  try {
    DeviceLines src(dev);
    LpReader rd(src, probName, msg, settings, false, &base);
    return rd.read(out);
  } catch (const std::bad_alloc&) {
    return reportError(msg, 1001, "Out of memory");
  }
}

int enterAddLp(std::FILE* in, const std::string& probName, const model::ModelData& base, model::ModelData& out,
               Messages& msg, const IoSettings& settings) {
  try {
    StreamLines src(in);
    LpReader rd(src, probName, msg, settings, true, &base);
    return rd.read(out);
  } catch (const std::bad_alloc&) {
    return reportError(msg, 1001, "Out of memory");
  }
}

}  // namespace vnt::io
