// MPS reader.  The whole file is collected into staging arrays; the caller's
// model is replaced only after the read succeeded.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "io/convert.h"
#include "io/linereader.h"
#include "io/mps.h"
#include "io/textutil.h"

namespace vnt::io {

namespace {

constexpr std::size_t kLineLimit = 40039;  // a line of this many bytes overflows the 40040-byte buffer
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kTypeMax = 2;
constexpr std::size_t kNumberMax = 25;
constexpr int kWarnFamilyLimit = 20;   // printed per warning family
constexpr int kRepeatErrorLimit = 20;  // repeated row / column messages printed
constexpr double kBinaryTol = 1e-10;
constexpr double kInf = model::kInfBound;
constexpr int kMaxDim = 2100000000;  // rows and columns are indexed by 32-bit integers

enum CharBit : unsigned char { kField = 1, kComment = 2, kDigit = 4, kExpLetter = 8, kRowType = 16 };

struct CharTable {
  unsigned char bits[256] = {};
  CharTable() {
    for (int c = 0; c < 256; ++c) {
      unsigned char b = 0;
      if ((c >= 33 && c <= 126) || c >= 128) b |= kField;
      if (c == '*' || ((c < 32 || c == 127) && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' &&
                       c != '\v'))
        b |= kComment;
      if (c >= '0' && c <= '9') b |= kDigit;
      if (c == 'e' || c == 'E' || c == 'd' || c == 'D') b |= kExpLetter;
      if (std::strchr("NLGEnlge", c) && c != 0) b |= kRowType;
      bits[c] = b;
    }
  }
  bool is(unsigned char c, CharBit bit) const { return bits[c] & bit; }
};

const CharTable& charTable() {
  static const CharTable t;
  return t;
}

// 0, 1434 (malformed) or 1435 (exponent out of range).
int parseNumber(std::string_view s, double& v) {
  const CharTable& ct = charTable();
  std::size_t i = 0, n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && ct.is(static_cast<unsigned char>(s[i]), kDigit)) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && ct.is(static_cast<unsigned char>(s[i]), kDigit)) ++i, ++digits;
  }
  if (digits == 0) return 1434;
  std::size_t mantEnd = i;
  long expVal = 0;
  if (i < n) {
    if (!ct.is(static_cast<unsigned char>(s[i]), kExpLetter)) return 1434;
    ++i;
    bool neg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    std::size_t ed = 0;
    while (i < n && ct.is(static_cast<unsigned char>(s[i]), kDigit)) {
      if (expVal < 100000) expVal = expVal * 10 + (s[i] - '0');
      ++i, ++ed;
    }
    if (ed == 0 || i != n) return 1434;
    if (expVal > 308) return 1435;
    if (neg) expVal = -expVal;
  }
  char buf[64];
  std::size_t k = 0;
  std::size_t start = (s[0] == '+') ? 1 : 0;
  for (std::size_t j = start; j < mantEnd && k < 40; ++j) buf[k++] = s[j];
  if (mantEnd < n) {
    k += static_cast<std::size_t>(std::snprintf(buf + k, sizeof buf - k, "e%ld", expVal));
  }
  auto res = std::from_chars(buf, buf + k, v);
  if (res.ec == std::errc::result_out_of_range) {
    // underflow reads as zero; overflow as infinity (out of range above)
    v = (expVal < 0) ? 0.0 : (buf[0] == '-' ? -HUGE_VAL : HUGE_VAL);
    return 0;
  }
  if (res.ec != std::errc() || res.ptr != buf + k) return 1434;
  return 0;
}

// 64-bit integer with overflow check; false on failure.
bool parseInt64(std::string_view s, long long& v) {
  auto b = s.data(), e = s.data() + s.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e;
}

enum Section {
  kStart,
  kName,
  kObjSense,
  kObjName,
  kRefRow,
  kRows,
  kUserCuts,
  kLazyCons,
  kColumns,
  kRhs,
  kRanges,
  kBounds,
  kSos,
  kQuadObj,
  kQcMatrix,
  kIndicators,
  kPwlNam,
  kPwlCon,
  kEndata,
  kUnknown
};

struct KeywordDef {
  const char* word;
  Section sec;
};
constexpr KeywordDef kKeywords[] = {
    {"NAME", kName},         {"OBJSENSE", kObjSense},     {"OBJSENCE", kObjSense},
    {"OBJNAME", kObjName},   {"REFROW", kRefRow},         {"ROWS", kRows},
    {"USERCUTS", kUserCuts}, {"LAZYCONS", kLazyCons},     {"COLUMNS", kColumns},
    {"RHS", kRhs},           {"RANGES", kRanges},         {"BOUNDS", kBounds},
    {"SOS", kSos},           {"QUADOBJ", kQuadObj},       {"QMATRIX", kQuadObj},
    {"QCMATRIX", kQcMatrix}, {"INDICATORS", kIndicators}, {"PWLNAM", kPwlNam},
    {"PWLCON", kPwlCon},     {"PWLCONSTRAINTS", kPwlCon}, {"ENDATA", kEndata},
};

// Sections of other dialects whose content this reader skips with a warning.
constexpr const char* kSkippedSections[] = {"CSECTION", "BRANCH", "GENCONS", "BASIS", "SETS", "SCENARIOS"};

Section keywordSection(std::string_view w) {
  for (const auto& k : kKeywords)
    if (equalsNoCase(w, k.word)) return k.sec;
  return kUnknown;
}

struct RowRec {
  std::string name;
  char type = 'N';  // 'N', 'L', 'G', 'E'
  unsigned char kind = 0;  // 0 ordinary, 1 user cut, 2 lazy constraint
  bool hasRange = false;
  double rhs = 0.0;
  double range = 0.0;
  int special = -1;  // index into quadratic or indicator constraints when the row became one
  char specialKind = 0;  // 'Q' quadratic, 'I' indicator
  // Multi-objective attributes of an N row.
  bool hasAttr = false;
  int priority = 0;
  double weight = 1.0, abstol = 0.0, reltol = 0.0;
};

// A piecewise-linear constraint as read: variables by name, resolved after
// the whole file is read.
struct PwlRec {
  std::string name, yname, xname;
  double preslope = 0.0, postslope = 0.0;
  std::vector<double> x, y;
};

enum BoundFlag : unsigned char { kLoGiven = 1, kUpGiven = 2 };

// A counted warning family: the first `limit` messages print, the rest are
// counted and reported once at the end.
struct WarnFamily {
  long long count = 0;
  long long limit = kWarnFamilyLimit;
  bool take() { return ++count <= limit; }
  long long suppressed() const { return count > limit ? count - limit : 0; }
};

// The data fields of the fixed column layout: columns 2-3, 5-12, 15-22,
// 25-36, 40-47 and 50-61 (as 0-based begin and end).
struct FixedField {
  std::size_t begin, end;
};
constexpr FixedField kFixedFields[] = {{1, 3}, {4, 12}, {14, 22}, {24, 36}, {39, 47}, {49, 61}};

bool blankChar(char c) { return c == ' ' || c == '\r'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && blankChar(s.front())) s.remove_prefix(1);
  while (!s.empty() && blankChar(s.back())) s.remove_suffix(1);
  return s;
}

// Whether a data line keeps to the fixed field columns (blanks between the
// fields and after the last, no tabs); `inner` is set when a field holds a
// blank between other characters, where the two layouts read differently.
bool fitsFixedColumns(std::string_view line, bool& inner) {
  std::size_t pos = 0;
  for (const FixedField& f : kFixedFields) {
    for (; pos < f.begin && pos < line.size(); ++pos)
      if (!blankChar(line[pos])) return false;
    if (f.begin >= line.size()) return true;
    std::string_view field = line.substr(f.begin, std::min(f.end, line.size()) - f.begin);
    if (field.find('\t') != std::string_view::npos) return false;
    if (trimBlanks(field).find(' ') != std::string_view::npos) inner = true;
    pos = f.end;
  }
  for (; pos < line.size(); ++pos)
    if (!blankChar(line[pos])) return false;
  return true;
}

class MpsReader {
 public:
  // fixedColumns: data lines are split by the fixed field columns instead
  // of at blanks, so that names may contain blanks.
  MpsReader(Device& dev, Messages& msg, const IoSettings& set, bool fixedColumns = false)
      : lr_(dev), msg_(msg), set_(set), fixed_(fixedColumns) {
    sectionWarn_.limit = set.warningLimit;
  }
  int read(model::ModelData& out);

 private:
  long long ln() const { return lr_.lineNo(); }
  void warn(const std::string& s) { msg_.warning(s); }
  void results(const std::string& s) {
    if (set_.mpsSelectedLines) msg_.results(s);
  }
  // warnings of the RHS, RANGES and BOUNDS sections share the warning limit
  void sectionWarning(const std::string& s) {
    if (sectionWarn_.take()) warn(s);
  }

  bool splitFields();
  bool splitColumns();
  std::string_view nameField(std::string_view f);
  std::string_view typeField(std::string_view f);
  int numberField(std::string_view f, double& v);
  int rowValuePair(std::size_t k, std::string_view& rn, int& r, double& v);

  int header(std::string_view kw);
  int finishRows();
  int dataObjSense();
  int dataRows(unsigned char kind);
  int dataColumns();
  int dataRhsRanges(bool ranges);
  int dataBounds();
  int dataSos();
  int dataQuad(bool qc);
  int dataIndicators();
  int dataPwlNam();
  int dataPwlCon();
  int pwlError(int code, const std::string& text);
  int finish(model::ModelData& out);
  int finishPwl(model::ModelData& m);
  void endColumn();
  int finishQuadObj();

  LineReader lr_;
  Messages& msg_;
  const IoSettings& set_;
  const bool fixed_;
  std::string line_;
  std::vector<std::string_view> f_;

  Section sec_ = kStart;
  bool skipping_ = false;  // data lines of a skipped section
  bool sawRows_ = false, sawColumns_ = false;
  int objsen_ = 1;
  bool senseGiven_ = false;
  std::string probname_, objNameWanted_;

  std::vector<RowRec> rows_;
  NameMap rowIdx_;
  int objRow_ = -1;
  long long rowRepeats_ = 0;

  std::vector<std::string> colName_;
  NameMap colIdx_;
  std::vector<double> obj_, lb_, ub_;
  std::vector<char> ctype_;  // 'C', 'I', 'B', 'S', 'N', or 'M' (from integer markers, unresolved)
  std::vector<unsigned char> bflags_;
  std::vector<int64_t> beg_{0};
  std::vector<int> ind_;
  std::vector<double> val_;
  std::vector<int> rowMark_;  // last column that touched the row (repeat check)
  long long colRepeats_ = 0;
  bool skipColumn_ = false, inColumn_ = false;
  std::string currentCol_;
  bool inInt_ = false, inSos_ = false, anyMip_ = false;
  bool emptyNumWarned_ = false;

  // set names of RHS, RANGES, BOUNDS
  bool rhsSet_ = false, rngSet_ = false, bndSet_ = false;
  std::string rhsName_, rngName_, bndName_;
  bool rhsMultiWarned_ = false, rngMultiWarned_ = false, bndMultiWarned_ = false;
  bool blankRhsWarned_ = false;

  std::vector<model::SosSet> sos_;
  bool sosOpen_ = false;

  // quadratic objective (upper-triangle key -> value), QMATRIX full listing
  bool qmatrix_ = false;
  std::map<std::pair<int, int>, double> qfull_;
  std::map<std::pair<int, int>, double> qobj_;
  bool quadRowNameWarned_ = false;
  WarnFamily quadWarn_;
  std::vector<model::QuadConstraint> qcs_;
  std::vector<int> qcRow_;
  std::map<std::pair<int, int>, double> qcTerms_;
  int qcCurrent_ = -1;
  bool qcIgnoredWarned_ = false;

  std::vector<PwlRec> pwls_;
  NameMap pwlIdx_;
  bool anyObjAttr_ = false;

  std::vector<model::IndicatorConstraint> inds_;
  std::vector<int> indRow_;

  WarnFamily truncWarn_, sectionWarn_;
};

bool MpsReader::splitFields() {
  f_.clear();
  const CharTable& ct = charTable();
  const char* p = line_.data();
  const char* e = p + line_.size();
  while (p < e) {
    while (p < e && !ct.is(static_cast<unsigned char>(*p), kField)) ++p;
    if (p >= e) break;
    const char* s = p;
    while (p < e && ct.is(static_cast<unsigned char>(*p), kField)) ++p;
    if (*s == '$') break;  // comment to the end of the line
    f_.emplace_back(s, static_cast<std::size_t>(p - s));
  }
  return !f_.empty();
}

bool MpsReader::splitColumns() {
  f_.clear();
  const std::string_view line(line_);
  for (const FixedField& f : kFixedFields) {
    if (f.begin >= line.size()) break;
    std::string_view field = trimBlanks(line.substr(f.begin, std::min(f.end, line.size()) - f.begin));
    if (field.empty()) continue;
    if (field[0] == '$') break;  // comment to the end of the line
    f_.push_back(field);
  }
  return !f_.empty();
}

std::string_view MpsReader::nameField(std::string_view f) {
  if (f.size() <= kNameMax) return f;
  std::string_view cut = f.substr(0, utf8Cut(f, kNameMax));
  if (truncWarn_.take()) warn(format("Warning, line %lld:  '%s' truncated.\n", ln(), std::string(cut).c_str()));
  return cut;
}

std::string_view MpsReader::typeField(std::string_view f) {
  if (f.size() <= kTypeMax) return f;
  std::string_view cut = f.substr(0, kTypeMax);
  if (truncWarn_.take()) warn(format("Warning, line %lld:  '%s' truncated.\n", ln(), std::string(cut).c_str()));
  return cut;
}

int MpsReader::numberField(std::string_view f, double& v) {
  if (f.size() > kNumberMax) {
    f = f.substr(0, kNumberMax);
    if (truncWarn_.take()) warn(format("Warning, line %lld:  '%s' truncated.\n", ln(), std::string(f).c_str()));
  }
  int rc = parseNumber(f, v);
  if (rc == 1434) return reportError(msg_, 1434, "Line %lld: Couldn't convert '%s' to a number", ln(), std::string(f).c_str());
  if (rc == 1435) return reportError(msg_, 1435, "Line %lld: Exponent '%s' out of range", ln(), std::string(f).c_str());
  return 0;
}

int MpsReader::read(model::ModelData& out) {
  const CharTable& ct = charTable();
  bool ended = false;
  while (lr_.next(line_)) {
    if (line_.size() >= kLineLimit)
      return reportError(msg_, 1465, "Line %lld: Line longer than limit of %d bytes", ln(),
                         static_cast<int>(kLineLimit - 1));
    if (line_.empty()) continue;
    unsigned char c0 = static_cast<unsigned char>(line_[0]);
    if (ct.is(c0, kComment)) continue;
    const bool isHeader = ct.is(c0, kField);
    if (!(fixed_ && !isHeader ? splitColumns() : splitFields())) continue;  // blank line
    if (sec_ == kStart) {
      if (!startsWithNoCase(line_, "NAME"))
        return reportError(msg_, 1441, "Line %lld: No NAME section", ln());
      std::string_view rest = std::string_view(line_).substr(std::min<std::size_t>(5, line_.size()));
      std::size_t b = rest.find_first_not_of(" \t\r");
      if (b != std::string_view::npos) {
        rest = rest.substr(b);
        std::size_t e = rest.find_last_not_of(" \t\r\n");
        probname_ = std::string(nameField(rest.substr(0, e + 1)));
      }
      sec_ = kName;
      continue;
    }
    int rc = 0;
    if (isHeader) {
      rc = header(f_[0]);
      if (rc < 0) return rc;
      if (sec_ == kEndata) {
        ended = true;
        break;
      }
      continue;
    }
    if (skipping_) continue;
    switch (sec_) {
      case kObjSense: rc = dataObjSense(); break;
      case kObjName: objNameWanted_ = std::string(nameField(f_[0])); break;
      case kRefRow: break;
      case kRows: rc = dataRows(0); break;
      case kUserCuts: rc = dataRows(1); break;
      case kLazyCons: rc = dataRows(2); break;
      case kColumns: rc = dataColumns(); break;
      case kRhs: rc = dataRhsRanges(false); break;
      case kRanges: rc = dataRhsRanges(true); break;
      case kBounds: rc = dataBounds(); break;
      case kSos: rc = dataSos(); break;
      case kQuadObj: rc = dataQuad(false); break;
      case kQcMatrix: rc = dataQuad(true); break;
      case kIndicators: rc = dataIndicators(); break;
      case kPwlNam: rc = dataPwlNam(); break;
      case kPwlCon: rc = dataPwlCon(); break;
      default: break;  // NAME data: nothing to take
    }
    if (rc < 0) return rc;
  }
  if (lr_.failed()) {
    if (lr_.errorCode() == 1235) return reportError(msg_, 1235, "Failed to convert string encoding");
    return reportError(msg_, 1426, "Low-level file I/O error");
  }
  if (sec_ == kStart) return reportError(msg_, 1441, "Line %lld: No NAME section", ln());
  if (!sawRows_) return reportError(msg_, 1471, "Line %lld: No ROWS section", ln());
  if (!sawColumns_) {
    if (sec_ < kColumns && !rowRepeats_) {
      int rc = finishRows();
      if (rc < 0) return rc;
    }
    return reportError(msg_, 1472, "Line %lld: No COLUMNS section", ln());
  }
  if (!ended) warn(format("Warning, line %lld:  'ENDATA' missing.\n", ln()));
  return finish(out);
}

int MpsReader::header(std::string_view kw) {
  Section s = keywordSection(kw);
  // Leaving sections: checks that belong to their end.
  if (sec_ == kColumns || sec_ == kUserCuts || sec_ == kLazyCons || sec_ == kRows) {
    if (sec_ == kColumns) endColumn();
  }
  if (sec_ == kQuadObj && s != kQuadObj) {
    int rc = finishQuadObj();
    if (rc < 0) return rc;
  }
  if (sec_ == kSos) sosOpen_ = false;
  skipping_ = false;

  auto outOfOrder = [&]() {
    warn(format("Warning, line %lld:  %s section missing or ", ln(), std::string(kw).c_str()) + "out of order.\n");
    skipping_ = true;
    return 0;
  };

  if (sec_ < kRows) {  // header part
    if (s == kRows) {
      if (!senseGiven_) results("Selected objective sense:  MINIMIZE\n");
      sec_ = kRows;
      sawRows_ = true;
      return 0;
    }
    if ((s == kObjSense || s == kObjName || s == kRefRow) && s > sec_) {
      sec_ = s;
      return 0;
    }
    if (s == kEndata || (s >= kUserCuts && s < kUnknown))
      return reportError(msg_, 1471, "Line %lld: No ROWS section", ln());
    warn(format("Warning, line %lld:  %s section illegal or out of order.\n", ln(), std::string(kw).c_str()));
    skipping_ = true;
    return 0;
  }

  if (sec_ == kRows || sec_ == kUserCuts || sec_ == kLazyCons) {
    if (rowRepeats_ > kRepeatErrorLimit)
      return reportError(msg_, 1477, "%lld Row repeats messages not printed", rowRepeats_ - kRepeatErrorLimit);
    if (rowRepeats_ > 0) return -1445;
    if ((s == kUserCuts || s == kLazyCons) && s > sec_) {
      sec_ = s;
      return 0;
    }
    if (s == kColumns) {
      int rc = finishRows();
      if (rc < 0) return rc;
      sec_ = kColumns;
      sawColumns_ = true;
      rowMark_.assign(rows_.size(), -1);
      return 0;
    }
    if (s == kEndata || (s > kColumns && s < kUnknown))
      return reportError(msg_, 1472, "Line %lld: No COLUMNS section", ln());
    return outOfOrder();
  }

  // After COLUMNS.
  if (sec_ == kColumns) {
    if (colRepeats_ > kRepeatErrorLimit)
      return reportError(msg_, 1478, "%lld Column repeats messages not printed", colRepeats_ - kRepeatErrorLimit);
    if (colRepeats_ > 0) return -1446;
    if (inSos_) {
      inSos_ = false;  // an unterminated marker SOS ends with the section
    }
  }
  if (s == kEndata) {
    sec_ = kEndata;
    return 0;
  }
  if (s == kRanges && sec_ > kRanges) return reportError(msg_, 1474, "Line %lld: 'RANGES' section out of order", ln());
  if (s != kUnknown && s > kColumns && (s > sec_ || (s == kQcMatrix && sec_ == kQcMatrix))) {
    sec_ = s;
    if (s == kQuadObj) qmatrix_ = equalsNoCase(kw, "QMATRIX");
    if (s == kQcMatrix) {
      if (!set_.readQuadConstraints) {
        if (!qcIgnoredWarned_) warn("Warning:  Quadratic constraints ignored.\n");
        qcIgnoredWarned_ = true;
        skipping_ = true;
        return 0;
      }
      if (f_.size() < 2) return reportError(msg_, 1448, "Line %lld: '%s' is not a row name", ln(), "");
      std::string_view rn = nameField(f_[1]);
      int r = findName(rowIdx_, rn);
      if (r < 0 || rows_[r].type == 'N')
        return reportError(msg_, 1448, "Line %lld: '%s' is not a row name", ln(), std::string(rn).c_str());
      if (rows_[r].specialKind == 'Q') {
        qcCurrent_ = rows_[r].special;
      } else {
        rows_[r].specialKind = 'Q';
        rows_[r].special = static_cast<int>(qcs_.size());
        qcCurrent_ = rows_[r].special;
        qcs_.emplace_back();
        qcRow_.push_back(r);
      }
      return 0;
    }
    return 0;
  }
  if (s == kUnknown) {
    for (const char* w : kSkippedSections)
      if (equalsNoCase(kw, w)) return outOfOrder();
    if (sec_ <= kBounds)
      return reportError(msg_, 1473, "Line %lld: Unrecognized section marker. Expecting RANGES, BOUNDS, QMATRIX, or ENDATA", ln());
    if (sec_ == kQuadObj)
      return reportError(msg_, 1475, "Line %lld: Unrecognized section marker. Expecting QMATRIX or ENDATA", ln());
    return reportError(msg_, 1462, "Line %lld: Unrecognized section marker. Expecting ENDATA", ln());
  }
  return outOfOrder();
}

int MpsReader::dataObjSense() {
  std::string_view v = f_[0];
  if (startsWithNoCase(v, "MAX")) {
    objsen_ = -1;
    senseGiven_ = true;
    results("Specified objective sense: MAXIMIZE\n");
  } else if (startsWithNoCase(v, "MIN")) {
    objsen_ = 1;
    senseGiven_ = true;
    results("Specified objective sense: MINIMIZE\n");
  } else {
    return reportError(msg_, 1487, "Line %lld: Unrecognized objective sense '%s'", ln(), std::string(v).c_str());
  }
  return 0;
}

int MpsReader::dataRows(unsigned char kind) {
  const CharTable& ct = charTable();
  std::string_view tf = typeField(f_[0]);
  char t = static_cast<char>(std::toupper(static_cast<unsigned char>(tf[0])));
  if (kind != 0 && (t == 'N' || t == 'R')) return reportError(msg_, 1438, "Line %lld: Illegal lazy constraint or user cut", ln());
  if (!ct.is(static_cast<unsigned char>(t), kRowType)) return reportError(msg_, 1453, "Line %lld: No row sense", ln());
  if (f_.size() < 2) return reportError(msg_, 1486, "Line %lld: No row name", ln());
  std::string_view name = nameField(f_[1]);
  RowRec r;
  if (t == 'N' && f_.size() > 2 && f_[2][0] != '$') {
    // multi-objective attributes: priority, weight, absolute and relative tolerance
    if (f_.size() < 6)
      return reportError(msg_, 1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(), "missing number");
    long long prio = 0;
    if (!parseInt64(f_[2], prio) || prio < INT32_MIN || prio > INT32_MAX)
      return reportError(msg_, 1434, "Line %lld: Couldn't convert '%s' to a number", ln(), std::string(f_[2]).c_str());
    double w = 0, abstol = 0, reltol = 0;
    int rc = numberField(f_[3], w);
    if (rc == 0) rc = numberField(f_[4], abstol);
    if (rc == 0) rc = numberField(f_[5], reltol);
    if (rc < 0) return rc;
    if (!(abstol >= 0.0 && abstol <= set_.absGapMax))
      return reportError(msg_, 1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(), "invalid AbsTol value");
    if (!(reltol >= 0.0 && reltol <= set_.relGapMax))
      return reportError(msg_, 1488, "Line %lld: Illegal attribute description for multi-objective: %s", ln(), "invalid RelTol value");
    r.hasAttr = true;
    r.priority = static_cast<int>(prio);
    r.weight = w;
    r.abstol = abstol;
    r.reltol = reltol;
  }
  if (findName(rowIdx_, name) >= 0) {
    ++rowRepeats_;
    if (rowRepeats_ <= kRepeatErrorLimit) reportError(msg_, 1445, "Row '%s' repeats", std::string(name).c_str());
    return 0;
  }
  r.name = std::string(name);
  r.type = t;
  anyObjAttr_ |= r.hasAttr;
  r.kind = kind;
  if (rows_.size() >= static_cast<std::size_t>(kMaxDim)) return reportError(msg_, 1431, "Too many rows");
  rowIdx_.emplace(r.name, static_cast<int>(rows_.size()));
  rows_.push_back(std::move(r));
  return 0;
}

int MpsReader::finishRows() {
  int firstN = -1;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].type == 'N') {
      firstN = static_cast<int>(i);
      break;
    }
  if (firstN < 0) return reportError(msg_, 1476, "Line %lld: No objective row found", ln());
  objRow_ = firstN;
  if (!objNameWanted_.empty()) {
    int r = findName(rowIdx_, objNameWanted_);
    if (r >= 0 && rows_[r].type == 'N')
      objRow_ = r;
    else
      warn(format("Warning:  Specified objective '%.255s' not found.\n", objNameWanted_.c_str()));
  }
  results(format("Selected objective  name:  %.255s\n", rows_[objRow_].name.c_str()));
  return 0;
}

void MpsReader::endColumn() {
  if (!colName_.empty() && static_cast<int64_t>(beg_.size()) == static_cast<int64_t>(colName_.size()))
    beg_.push_back(static_cast<int64_t>(ind_.size()));
}

int MpsReader::dataColumns() {
  // marker lines
  std::size_t mk = 0;
  if (f_.size() >= 3 && equalsNoCase(f_[1], "'MARKER'"))
    mk = 2;
  else if (f_.size() >= 4 && equalsNoCase(f_[2], "'MARKER'"))
    mk = 3;
  if (mk) {
    std::string_view m = f_[mk];
    if (equalsNoCase(m, "'INTORG'")) {
      if (inInt_) return reportError(msg_, 1480, "Line %lld: 'INTORG' found while reading integers", ln());
      inInt_ = true;
    } else if (equalsNoCase(m, "'INTEND'")) {
      if (!inInt_) return reportError(msg_, 1481, "Line %lld: 'INTEND' found while not reading integers", ln());
      inInt_ = false;
    } else if (equalsNoCase(m, "'SOSORG'")) {
      if (inSos_) return reportError(msg_, 1482, "Line %lld: 'SOSORG' found while reading a SOS", ln());
      char type = '1';
      std::string_view tf;
      if (mk == 3)
        tf = f_[0];
      else if (f_.size() > mk + 1)
        tf = f_[mk + 1];
      if (!tf.empty()) {
        if (tf.size() == 2 && (tf[0] == 'S' || tf[0] == 's') && (tf[1] == '1' || tf[1] == '2'))
          type = tf[1];
        else
          return reportError(msg_, 1442, "Line %lld: Unrecognized SOS type: %c%c", ln(), tf[0], tf.size() > 1 ? tf[1] : ' ');
      }
      inSos_ = true;
      model::SosSet s;
      s.name = std::string(nameField(f_[mk - 2]));
      s.type = type;
      sos_.push_back(std::move(s));
      anyMip_ = true;
    } else if (equalsNoCase(m, "'SOSEND'")) {
      if (!inSos_) return reportError(msg_, 1483, "Line %lld: 'SOSEND' found while not reading a SOS", ln());
      inSos_ = false;
    } else {
      warn(format("Line %lld:  Unidentified MARKER found. Ignored.\n", ln()));
    }
    return 0;
  }

  std::string_view cn = nameField(f_[0]);
  if (!inColumn_ || cn != currentCol_) {  // a new run of lines
    inColumn_ = true;
    currentCol_ = std::string(cn);
    if (findName(colIdx_, cn) >= 0) {
      ++colRepeats_;
      if (colRepeats_ <= kRepeatErrorLimit) reportError(msg_, 1446, "Column '%s' repeats", currentCol_.c_str());
      skipColumn_ = true;
      return 0;
    }
    skipColumn_ = false;
    if (colName_.size() >= static_cast<std::size_t>(kMaxDim)) return reportError(msg_, 1432, "Too many columns");
    endColumn();
    int j = static_cast<int>(colName_.size());
    colName_.emplace_back(cn);
    colIdx_.emplace(colName_.back(), j);
    obj_.push_back(0.0);
    lb_.push_back(0.0);
    ub_.push_back(kInf);
    ctype_.push_back(inInt_ ? 'M' : 'C');
    if (inInt_) anyMip_ = true;
    bflags_.push_back(0);
    if (inSos_) {
      auto& s = sos_.back();
      s.ind.push_back(j);
      s.weight.push_back(static_cast<double>(s.ind.size()));
    }
  } else if (skipColumn_) {
    return 0;
  }
  const int j = static_cast<int>(colName_.size()) - 1;
  for (std::size_t k = 1; k < f_.size(); k += 2) {
    std::string_view rn;
    int r = -1;
    double v = 0.0;
    if (const int rc = rowValuePair(k, rn, r, v)) return rc;
    if (rowMark_[r] == j)
      return reportError(msg_, 1443, "Column '%s' has repeated row '%s'", colName_[j].c_str(), std::string(rn).c_str());
    rowMark_[r] = j;
    if (r == objRow_) {
      obj_[j] = v;
    } else if ((rows_[r].type != 'N' || rows_[r].hasAttr) && v != 0.0) {
      ind_.push_back(r);
      val_.push_back(v);
    }
  }
  return 0;
}

// The row and the value of the pair of fields from k (an absent value reads
// as zero, with one warning a file): 0 or the error's code.
int MpsReader::rowValuePair(std::size_t k, std::string_view& rn, int& r, double& v) {
  rn = nameField(f_[k]);
  v = 0.0;
  if (k + 1 < f_.size()) {
    const int rc = numberField(f_[k + 1], v);
    if (rc < 0) return rc;
  } else if (!emptyNumWarned_) {
    warn("Warning:  Empty numeric fields read as zeros.\n");
    emptyNumWarned_ = true;
  }
  r = findName(rowIdx_, rn);
  if (r < 0) return reportError(msg_, 1448, "Line %lld: '%s' is not a row name", ln(), std::string(rn).c_str());
  return 0;
}

int MpsReader::dataRhsRanges(bool ranges) {
  // set name present when the field count is odd
  std::size_t k = 0;
  std::string setName;
  if (f_.size() % 2 == 1) {
    setName = std::string(nameField(f_[0]));
    k = 1;
  } else if (!ranges) {
    if (findName(colIdx_, "rhs") >= 0) {
      if (!blankRhsWarned_)
        warn(std::string("Warning:  Blank RHS name unchanged.  Column with ") + "name 'rhs' already exists.\n");
    } else {
      setName = "rhs";
      if (!blankRhsWarned_) warn("Warning:  Blank RHS name changed to 'rhs'.\n");
    }
    blankRhsWarned_ = true;
  }
  bool& have = ranges ? rngSet_ : rhsSet_;
  std::string& chosen = ranges ? rngName_ : rhsName_;
  bool& multi = ranges ? rngMultiWarned_ : rhsMultiWarned_;
  if (!have) {
    have = true;
    chosen = setName;
    results(format("Selected %-10s name:  %.255s\n", ranges ? "range" : "RHS", chosen.c_str()));
  } else if (setName != chosen) {
    if (!multi)
      sectionWarning(std::string(ranges ? "Warning:  More than one range set specified. "
                                        : "Warning:  More than one RHS set specified. ") +
                     "Only the first set is used.\n");
    multi = true;
    return 0;
  }
  const char* secName = ranges ? "RANGES" : "RHS";
  for (; k < f_.size(); k += 2) {
    std::string_view rn;
    int r = -1;
    double v = 0.0;
    if (const int rc = rowValuePair(k, rn, r, v)) return rc;
    RowRec& row = rows_[r];
    if (row.type == 'N') {
      if (r == objRow_ && !ranges)
        sectionWarning(format("Warning:  Objective coefficient in %s section ignored.\n", secName));
      else
        sectionWarning(format("Warning:  %s '%.255s' value for free/objective row '%.255s' ignored.\n", secName,
                              chosen.c_str(), row.name.c_str()));
      continue;
    }
    if (!ranges) {
      row.rhs = v;
    } else {
      row.hasRange = true;
      row.range = row.type == 'G' ? std::fabs(v) : row.type == 'L' ? -std::fabs(v) : v;
    }
  }
  return 0;
}

int MpsReader::dataBounds() {
  if (f_.size() < 2) return reportError(msg_, 1460, "Line %lld: Bound type missing", ln());
  std::string bt = upper(typeField(f_[0]));
  enum { kUP, kLO, kFX, kFR, kMI, kPL, kBV, kLI, kUI, kSC } type;
  if (bt == "UP") type = kUP;
  else if (bt == "LO") type = kLO;
  else if (bt == "FX") type = kFX;
  else if (bt == "FR") type = kFR;
  else if (bt == "MI") type = kMI;
  else if (bt == "PL") type = kPL;
  else if (bt == "BV") type = kBV;
  else if (bt == "LI") type = kLI;
  else if (bt == "UI") type = kUI;
  else if (bt == "SC") type = kSC;
  else return reportError(msg_, 1457, "Line %lld: Unrecognized bound type '%s'", ln(), std::string(f_[0]).c_str());

  const bool needsValue = type == kUP || type == kLO || type == kFX || type == kLI || type == kUI;
  // Decide whether the set name is present (fixed files may leave it blank).
  std::size_t colPos = 2;
  if (needsValue) {
    colPos = f_.size() >= 4 ? 2 : 1;
  } else if (type == kSC) {
    if (f_.size() >= 4)
      colPos = 2;
    else if (f_.size() == 3) {
      double tmp;
      bool secondIsCol = findName(colIdx_, f_[1]) >= 0;
      bool thirdIsCol = findName(colIdx_, f_[2]) >= 0;
      colPos = (secondIsCol && !thirdIsCol && parseNumber(f_[2], tmp) == 0) ? 1 : 2;
    } else
      colPos = 1;
  } else {
    colPos = f_.size() >= 3 ? 2 : 1;
  }
  std::string setName = colPos == 2 ? std::string(nameField(f_[1])) : std::string();
  if (!bndSet_) {
    bndSet_ = true;
    bndName_ = setName;
    results(format("Selected %-10s name:  %.255s\n", "bound", bndName_.c_str()));
  } else if (setName != bndName_) {
    if (!bndMultiWarned_)
      sectionWarning(std::string("Warning:  More than one bound set specified. ") + "Only the first set is used.\n");
    bndMultiWarned_ = true;
    return 0;
  }
  if (colPos >= f_.size()) return reportError(msg_, 1449, "Line %lld: '%s' is not a column name", ln(), "");
  std::string_view cn = nameField(f_[colPos]);
  int j = findName(colIdx_, cn);
  if (j < 0) return reportError(msg_, 1449, "Line %lld: '%s' is not a column name", ln(), std::string(cn).c_str());
  double v = 0.0;
  bool hasValue = colPos + 1 < f_.size();
  if (needsValue && !hasValue)
    return reportError(msg_, 1434, "Line %lld: Couldn't convert '%s' to a number", ln(), "");
  if (hasValue && (needsValue || type == kSC)) {
    int rc = numberField(f_[colPos + 1], v);
    if (rc < 0) return rc;
  }
  unsigned char& fl = bflags_[j];
  auto repeatedUp = [&] { return reportError(msg_, 1458, "Line %lld: Repeated upper bound", ln()); };
  auto repeatedLo = [&] { return reportError(msg_, 1459, "Line %lld: Repeated lower bound", ln()); };
  char& ct = ctype_[j];
  switch (type) {
    case kUP:
      if (fl & kUpGiven) return repeatedUp();
      ub_[j] = v;
      fl |= kUpGiven;
      break;
    case kLO:
      if (fl & kLoGiven) return repeatedLo();
      lb_[j] = v;
      fl |= kLoGiven;
      break;
    case kFX:
      if (fl) return reportError(msg_, 1454, "Line %lld: 'FX' bound type illegal when prior bound given", ln());
      lb_[j] = ub_[j] = v;
      fl = kLoGiven | kUpGiven;
      break;
    case kFR:
      if (fl) return reportError(msg_, 1455, "Line %lld: 'FR' bound type illegal when prior bound given", ln());
      lb_[j] = -kInf;
      ub_[j] = kInf;
      fl = kLoGiven | kUpGiven;
      break;
    case kMI:
      if (fl & kLoGiven) return repeatedLo();
      lb_[j] = -kInf;
      fl |= kLoGiven;
      break;
    case kPL:
      if (fl & kUpGiven) return repeatedUp();
      ub_[j] = kInf;
      fl |= kUpGiven;
      break;
    case kBV:
      if (fl) return reportError(msg_, 1456, "Line %lld: 'BV' bound type illegal when prior bound given", ln());
      lb_[j] = 0.0;
      ub_[j] = 1.0;
      fl = kLoGiven | kUpGiven;
      ct = 'B';
      anyMip_ = true;
      break;
    case kLI:
      if (fl & kLoGiven) return repeatedLo();
      lb_[j] = v;
      fl |= kLoGiven;
      ct = (ct == 'S' || ct == 'N') ? 'N' : 'I';
      anyMip_ = true;
      break;
    case kUI:
      if (fl & kUpGiven) return repeatedUp();
      ub_[j] = v;
      fl |= kUpGiven;
      ct = (ct == 'S' || ct == 'N') ? 'N' : 'I';
      anyMip_ = true;
      break;
    case kSC:
      if (fl & kUpGiven) return repeatedUp();
      ub_[j] = hasValue ? v : kInf;
      fl |= kUpGiven;
      ct = (ct == 'I' || ct == 'M' || ct == 'N') ? 'N' : 'S';
      anyMip_ = true;
      break;
  }
  return 0;
}

int MpsReader::dataSos() {
  std::string_view f0 = f_[0];
  bool isCol = findName(colIdx_, f0) >= 0;
  bool looksType = f0.size() == 2 && (f0[0] == 'S' || f0[0] == 's') && std::isdigit(static_cast<unsigned char>(f0[1]));
  // A column may be named like a set type ("S1"): its line is a member line
  // only inside an open set and in the member form `column [weight]`.
  double weightProbe = 0.0;
  bool memberForm = isCol && sosOpen_ && (f_.size() == 1 || (f_.size() == 2 && parseNumber(f_[1], weightProbe) == 0));
  if (looksType && !memberForm) {
    if (f0[1] != '1' && f0[1] != '2') return reportError(msg_, 1442, "Line %lld: Unrecognized SOS type: %c%c", ln(), f0[0], f0[1]);
    model::SosSet s;
    s.type = f0[1];
    if (f_.size() >= 3 && equalsNoCase(f_[1], "SOS"))
      s.name = std::string(nameField(f_[2]));
    else if (f_.size() >= 2)
      s.name = std::string(nameField(f_[1]));
    sos_.push_back(std::move(s));
    sosOpen_ = true;
    anyMip_ = true;
    return 0;
  }
  if (!sosOpen_) return reportError(msg_, 3301, "Line %lld: Missing SOS type", ln());
  if (!isCol) return reportError(msg_, 1449, "Line %lld: '%s' is not a column name", ln(), std::string(nameField(f0)).c_str());
  auto& s = sos_.back();
  double w = static_cast<double>(s.ind.size() + 1);
  if (f_.size() >= 2) {
    int rc = numberField(f_[1], w);
    if (rc < 0) return rc;
  }
  s.ind.push_back(findName(colIdx_, f0));
  s.weight.push_back(w);
  return 0;
}

int MpsReader::dataQuad(bool qc) {
  std::size_t k = 0;
  if (f_.size() >= 4) {
    if (!quadRowNameWarned_) warn(format("Warning:  Line %lld row name ignored\n", ln()));
    quadRowNameWarned_ = true;
    k = 1;
  }
  if (f_.size() < k + 2) return reportError(msg_, 1434, "Line %lld: Couldn't convert '%s' to a number", ln(), "");
  std::string_view a = nameField(f_[k]), b = nameField(f_[k + 1]);
  double v = 0.0;
  if (f_.size() > k + 2) {
    int rc = numberField(f_[k + 2], v);
    if (rc < 0) return rc;
  }
  int i = findName(colIdx_, a), j = findName(colIdx_, b);
  if (i < 0 || j < 0) {
    if (quadWarn_.take())
      warn(format("Warning, line %lld:  '%s' is not a variable.\n", ln(), std::string(i < 0 ? a : b).c_str()));
    return 0;
  }
  if (qc) {
    auto key = std::make_pair(std::min(i, j), std::max(i, j));
    auto& q = qcs_[qcCurrent_];
    // x'Qx with the full matrix listed: the product term collects both
    // triangles.
    q.quad.push_back({key.first, key.second, v});
    return 0;
  }
  if (qmatrix_) {
    qfull_[{i, j}] += v;
  } else {
    qobj_[{std::min(i, j), std::max(i, j)}] += v;
  }
  return 0;
}

int MpsReader::finishQuadObj() {
  if (!qmatrix_) return 0;
  for (const auto& [key, v] : qfull_) {
    auto it = qfull_.find({key.second, key.first});
    double w = it == qfull_.end() ? 0.0 : it->second;
    if (std::fabs(v - w) > 1e-10 * std::max(1.0, std::fabs(v)))
      return reportError(msg_, 5012, "Q is not symmetric");
    if (key.first <= key.second) qobj_[key] = v;
  }
  qfull_.clear();
  return 0;
}

int MpsReader::dataIndicators() {
  if (f_.size() != 4 || !equalsNoCase(f_[0], "IF"))
    return reportError(msg_, 1439, "Line %lld: Illegal indicator constraint", ln());
  std::string_view rn = nameField(f_[1]), cn = nameField(f_[2]);
  int r = findName(rowIdx_, rn);
  if (r < 0 || rows_[r].type == 'N') return reportError(msg_, 1448, "Line %lld: '%s' is not a row name", ln(), std::string(rn).c_str());
  int j = findName(colIdx_, cn);
  if (j < 0) return reportError(msg_, 1449, "Line %lld: '%s' is not a column name", ln(), std::string(cn).c_str());
  double v = 0;
  int rc = numberField(f_[3], v);
  if (rc < 0) return rc;
  if (v != 0.0 && v != 1.0) return reportError(msg_, 1439, "Line %lld: Illegal indicator constraint", ln());
  if (rows_[r].specialKind != 0) return reportError(msg_, 1445, "Row '%s' repeats", rows_[r].name.c_str());
  rows_[r].specialKind = 'I';
  rows_[r].special = static_cast<int>(inds_.size());
  model::IndicatorConstraint ic;
  ic.indvar = j;
  ic.complemented = v == 0.0;
  inds_.push_back(std::move(ic));
  indRow_.push_back(r);
  anyMip_ = true;
  return 0;
}

// Errors of the piecewise-linear sections: their own line, then the
// status line of the code (1213 ill-defined function, 1210 name not found).
int MpsReader::pwlError(int code, const std::string& text) {
  msg_.error(text);
  return code == 1213 ? reportError(msg_, 1213, "ill defined piecewise linear function")
                      : reportError(msg_, 1210, "Name not found");
}

// PWLNAM:  name  y-variable  x-variable  preslope  postslope
int MpsReader::dataPwlNam() {
  if (f_.size() < 5) {
    return pwlError(1213, format("Error: missing field in piecewise linear expression definition on line %lld.\n", ln()));
  }
  PwlRec p;
  p.name = std::string(nameField(f_[0]));
  if (findName(pwlIdx_, p.name) >= 0) {
    return pwlError(1213, format("Error: duplicate piecewise liner expression name %s.\n", p.name.c_str()));
  }
  p.yname = std::string(nameField(f_[1]));
  p.xname = std::string(nameField(f_[2]));
  int rc = numberField(f_[3], p.preslope);
  if (rc == 0) rc = numberField(f_[4], p.postslope);
  if (rc < 0) return rc;
  pwlIdx_.emplace(p.name, static_cast<int>(pwls_.size()));
  pwls_.push_back(std::move(p));
  return 0;
}

// PWLCON:  name  x  y   (one breakpoint per line, in order)
int MpsReader::dataPwlCon() {
  if (f_.size() < 3) {
    return pwlError(1213, format("Error: missing field in piecewise linear expression definition on line %lld.\n", ln()));
  }
  std::string_view name = nameField(f_[0]);
  int k = findName(pwlIdx_, name);
  if (k < 0) {
    return pwlError(1210, format("Error: piecewise linear expression name %s is not found in the PWLNAM section.\n",
                                 std::string(name).c_str()));
  }
  double x = 0.0, y = 0.0;
  int rc = numberField(f_[1], x);
  if (rc == 0) rc = numberField(f_[2], y);
  if (rc < 0) return rc;
  pwls_[k].x.push_back(x);
  pwls_[k].y.push_back(y);
  return 0;
}

// Resolves the variables of the piecewise-linear constraints (the columns
// are all known once the file has been read) and checks their breakpoints.
int MpsReader::finishPwl(model::ModelData& m) {
  for (auto& p : pwls_) {
    model::PwlConstraint f;
    f.ycol = findName(colIdx_, p.yname);
    f.xcol = findName(colIdx_, p.xname);
    if (f.ycol < 0 || f.xcol < 0) {
      return pwlError(1210, format("Error: variable name %s in piecewise linear expression %s is not found.\n",
                                   (f.ycol < 0 ? p.yname : p.xname).c_str(), p.name.c_str()));
    }
    bool ok = !p.x.empty() && f.xcol != f.ycol;
    for (std::size_t k = 1; ok && k < p.x.size(); ++k)
      ok = p.x[k] >= p.x[k - 1] && !(k >= 2 && p.x[k] == p.x[k - 1] && p.x[k - 1] == p.x[k - 2]);
    if (!ok) return reportError(msg_, 1213, "ill defined piecewise linear function");
    f.name = std::move(p.name);
    f.preslope = p.preslope;
    f.postslope = p.postslope;
    f.x = std::move(p.x);
    f.y = std::move(p.y);
    m.pwl.push_back(std::move(f));
  }
  return 0;
}

int MpsReader::finish(model::ModelData& out) {
  int rc = finishQuadObj();
  if (rc < 0) return rc;
  endColumn();
  const int n = static_cast<int>(colName_.size());
  if (static_cast<int>(beg_.size()) != n + 1) beg_.resize(static_cast<std::size_t>(n) + 1, static_cast<int64_t>(ind_.size()));

  // Per-column bound checks and the resolution of marker integers.
  WarnFamily freeW, minusW, fixedW, intW;
  const std::string& bnd = bndName_;
  for (int j = 0; j < n; ++j) {
    unsigned char fl = bflags_[j];
    if ((fl & kLoGiven) && lb_[j] <= -kInf && !(fl & kUpGiven)) {
      if (freeW.take()) warn(format("Warning:  Column '%s' in bound '%s' is Free.\n", colName_[j].c_str(), bnd.c_str()));
    }
    if ((fl & kUpGiven) && !(fl & kLoGiven) && ub_[j] <= 0.0 && ctype_[j] != 'S') {
      if (ub_[j] == 0.0) {
        if (fixedW.take()) warn(format("Warning:  Column '%s' in bound '%s' is Fixed.\n", colName_[j].c_str(), bnd.c_str()));
      } else {
        lb_[j] = -kInf;
        if (minusW.take())
          warn(format("Warning:  Lower bound on column '%s' in bound '%s'\n", colName_[j].c_str(), bnd.c_str()) +
               "          changed to minus infinity.\n");
      }
    }
    char& t = ctype_[j];
    if (t == 'M') t = (std::fabs(lb_[j]) <= kBinaryTol && std::fabs(ub_[j] - 1.0) <= kBinaryTol) ? 'B' : 'I';
    if (t == 'I' || t == 'N' || t == 'B') {
      for (double b : {lb_[j], ub_[j]}) {
        if (!model::isInfinite(b) && b != std::floor(b)) {
          if (intW.take())
            warn(format("Warning:  Non-integral bound value %g for integer column '%.255s'.\n", b, colName_[j].c_str()));
          break;
        }
      }
    }
  }
  if (freeW.suppressed()) warn(format("%lld Column-free warnings not printed.\n", freeW.suppressed()));
  if (minusW.suppressed()) warn(format("%lld Minus-infinity warnings not printed.\n", minusW.suppressed()));
  if (fixedW.suppressed()) warn(format("%lld Column-fixed warnings not printed.\n", fixedW.suppressed()));
  if (intW.suppressed()) warn(format("%lld Bound-integrality warnings not printed.\n", intW.suppressed()));
  if (sectionWarn_.suppressed()) warn(format("%lld warnings not printed.\n", sectionWarn_.suppressed()));
  if (quadWarn_.suppressed()) warn(format("%lld quadratic matrix warnings not printed.\n", quadWarn_.suppressed()));

  // Indicator variables.
  WarnFamily indW;
  for (const auto& ic : inds_) {
    int j = ic.indvar;
    const char* nm = colName_[j].c_str();
    if (lb_[j] == ub_[j] && lb_[j] != 0.0 && lb_[j] != 1.0) {
      if (indW.take()) warn(format("Warning: indicator variable '%.255s' is fixed to other than 0.0 or 1.0.\n", nm));
    } else {
      if (lb_[j] != 0.0 && indW.take()) warn(format("Warning: indicator variable '%.255s' has lower bound other than 0.0.\n", nm));
      if (ub_[j] != 1.0 && indW.take()) warn(format("Warning: indicator variable '%.255s' has upper bound other than 1.0.\n", nm));
    }
  }
  if (indW.suppressed()) warn(format("%lld indicator variable warnings not printed.\n", indW.suppressed()));
  if (truncWarn_.suppressed()) warn(format("%lld truncation warning messages not printed.\n", truncWarn_.suppressed()));

  // Row mapping: linear rows keep their order; free rows are dropped;
  // quadratic, indicator, user-cut and lazy rows move to their own lists.
  const int mAll = static_cast<int>(rows_.size());
  std::vector<int> newIdx(static_cast<std::size_t>(mAll), -1);
  model::ModelData m;
  long long freeRows = 0;
  std::vector<int> cutIdx(static_cast<std::size_t>(mAll), -1);
  // Objective rows with attributes make a multi-objective model: the
  // selected objective first, then the others in file order.
  std::vector<int> objIdx(static_cast<std::size_t>(mAll), -1);
  if (anyObjAttr_) {
    auto record = [&](const RowRec& row) {
      model::ObjectiveRecord o;
      o.name = row.name;
      if (row.hasAttr) {
        o.priority = row.priority;
        o.weight = row.weight;
        o.abstol = row.abstol;
        o.reltol = row.reltol;
      }
      m.objectives.push_back(std::move(o));
    };
    record(rows_[objRow_]);
    for (int r = 0; r < mAll; ++r)
      if (r != objRow_ && rows_[r].type == 'N' && rows_[r].hasAttr) {
        objIdx[r] = static_cast<int>(m.objectives.size());
        record(rows_[r]);
      }
  }
  for (int r = 0; r < mAll; ++r) {
    const RowRec& row = rows_[r];
    if (row.type == 'N') {
      if (r != objRow_ && objIdx[r] < 0) ++freeRows;
      continue;
    }
    if (row.specialKind == 'Q') {
      auto& q = qcs_[row.special];
      q.name = row.name;
      q.sense = row.type;
      q.rhs = row.rhs;
      continue;
    }
    if (row.specialKind == 'I') {
      auto& ic = inds_[row.special];
      ic.name = row.name;
      ic.sense = row.type;
      ic.rhs = row.rhs;
      continue;
    }
    if (row.kind != 0) {
      auto& list = row.kind == 1 ? m.usercuts : m.lazycons;
      cutIdx[r] = static_cast<int>(list.size());
      model::LinearConstraint lc;
      lc.name = row.name;
      lc.sense = row.type;
      lc.rhs = row.rhs;
      list.push_back(std::move(lc));
      continue;
    }
    newIdx[r] = m.numRows();
    m.rowname.push_back(row.name);
    m.rhs.push_back(row.rhs);
    m.sense.push_back(row.hasRange ? 'R' : row.type);
    m.rngval.push_back(row.hasRange ? row.range : 0.0);
  }
  bool anyRange = false;
  for (char s : m.sense) anyRange |= s == 'R';
  if (!anyRange) m.rngval.clear();

  m.probname = probname_;
  m.objname = rows_[objRow_].name;
  m.objsen = objsen_;
  m.obj = std::move(obj_);
  m.lb = std::move(lb_);
  m.ub = std::move(ub_);
  m.colname = std::move(colName_);
  if (anyMip_) {
    m.ctype = std::move(ctype_);
  }
  m.matbeg.assign(1, 0);
  m.matbeg.reserve(static_cast<std::size_t>(n) + 1);
  m.matind.reserve(ind_.size());
  m.matval.reserve(val_.size());
  for (int j = 0; j < n; ++j) {
    for (int64_t k = beg_[j]; k < beg_[j + 1]; ++k) {
      int r = ind_[k];
      double v = val_[k];
      if (newIdx[r] >= 0) {
        m.matind.push_back(newIdx[r]);
        m.matval.push_back(v);
        continue;
      }
      const RowRec& row = rows_[r];
      if (objIdx[r] >= 0) {
        auto& o = m.objectives[objIdx[r]];
        o.ind.push_back(j);
        o.val.push_back(v);
      } else if (row.specialKind == 'Q') {
        qcs_[row.special].linind.push_back(j);
        qcs_[row.special].linval.push_back(v);
      } else if (row.specialKind == 'I') {
        inds_[row.special].ind.push_back(j);
        inds_[row.special].val.push_back(v);
      } else if (row.kind != 0) {
        auto& lc = (row.kind == 1 ? m.usercuts : m.lazycons)[cutIdx[r]];
        lc.ind.push_back(j);
        lc.val.push_back(v);
      }
    }
    m.matbeg.push_back(static_cast<int64_t>(m.matind.size()));
  }
  for (const auto& [key, v] : qobj_)
    if (v != 0.0) m.qobj.push_back({key.first, key.second, v});
  for (auto& q : qcs_) {
    // merge repeated pairs
    std::map<std::pair<int, int>, double> acc;
    for (const auto& t : q.quad) acc[{t.col1, t.col2}] += t.coef;
    q.quad.clear();
    for (const auto& [key, v] : acc)
      if (v != 0.0) q.quad.push_back({key.first, key.second, v});
  }
  m.qconstr = std::move(qcs_);
  m.indconstr = std::move(inds_);
  m.sos = std::move(sos_);
  if (!m.objectives.empty()) {
    auto& o0 = m.objectives[0];
    for (int j = 0; j < n; ++j)
      if (m.obj[j] != 0.0) {
        o0.ind.push_back(j);
        o0.val.push_back(m.obj[j]);
      }
  }
  rc = finishPwl(m);
  if (rc < 0) return rc;
  if (freeRows == 1)
    results("  [1 free row deleted]\n");
  else if (freeRows > 1)
    results(format("  [%lld free rows deleted]\n", freeRows));
  out = std::move(m);
  return 0;
}

// Messages held back until it is known which read counts.
class HeldMessages final : public Messages {
 public:
  void error(std::string_view t) override { held_.push_back({0, std::string(t)}); }
  void warning(std::string_view t) override { held_.push_back({1, std::string(t)}); }
  void results(std::string_view t) override { held_.push_back({2, std::string(t)}); }
  void log(std::string_view t) override { held_.push_back({3, std::string(t)}); }
  void replay(Messages& to) const {
    for (const auto& [kind, text] : held_) {
      switch (kind) {
        case 0: to.error(text); break;
        case 1: to.warning(text); break;
        case 2: to.results(text); break;
        default: to.log(text); break;
      }
    }
  }

 private:
  std::vector<std::pair<int, std::string>> held_;
};

int readOnce(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings, bool fixedColumns) {
  try {
    MpsReader rd(dev, msg, settings, fixedColumns);
    return rd.read(out);
  } catch (const std::bad_alloc&) {
    return reportError(msg, 1001, "Out of memory");
  }
}

// Whether every data line of the stream keeps to the fixed field columns
// and at least one has a name with a blank in it.
bool wantsFixedColumns(Device& dev) {
  const CharTable& ct = charTable();
  LineReader lr(dev);
  std::string line;
  bool inner = false;
  bool first = true;
  while (lr.next(line)) {
    if (line.empty()) continue;
    const unsigned char c0 = static_cast<unsigned char>(line[0]);
    if (ct.is(c0, kComment)) continue;
    if (first && startsWithNoCase(line, "NAME")) {
      first = false;
      continue;
    }
    first = false;
    if (ct.is(c0, kField)) continue;  // section header
    if (!fitsFixedColumns(line, inner)) return false;
  }
  return !lr.failed() && inner;
}

}  // namespace

// The blank-separated reading is the rule.  Only a file it cannot read
// whose data lines all keep to the fixed field columns, with blanks inside
// some name, is read again by columns; every file that reads by blanks
// reads as before.
int readMps(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings) {
  HeldMessages byBlanks;
  const int rc = readOnce(dev, out, byBlanks, settings, false);
  if (rc == 0 || rc == -1001 || rc == -1426 || rc == -1235 || !dev.rewind() || !wantsFixedColumns(dev) ||
      !dev.rewind()) {
    byBlanks.replay(msg);
    return rc;
  }
  HeldMessages byColumns;
  if (readOnce(dev, out, byColumns, settings, true) != 0) {
    byBlanks.replay(msg);
    return rc;
  }
  msg.log("Names with blanks: MPS file read by fixed columns.\n");
  byColumns.replay(msg);
  return 0;
}

int readMpsFixedColumns(Device& dev, model::ModelData& out, Messages& msg, const IoSettings& settings) {
  return readOnce(dev, out, msg, settings, true);
}

int readMpsFile(const std::string& path, model::ModelData& out, Messages& msg, const IoSettings& settings) {
  auto dev = openFileDevice(path, 'r');
  if (!dev) return reportError(msg, 1423, "Could not open file '%s' for reading", path.c_str());
  int rc;
  if (isPassThroughEncoding(settings.fileEncoding)) {
    rc = readMps(*dev, out, msg, settings);
  } else {
    auto conv = makeConvertingDevice(*dev, settings.fileEncoding, 'r');
    if (!conv) return reportError(msg, 1235, "Failed to convert string encoding");
    rc = readMps(*conv, out, msg, settings);
  }
  dev->close();
  return rc;
}

}  // namespace vnt::io
