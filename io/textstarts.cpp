// Basis and priority-order files: MPS-like text with a NAME line, data lines
// that start with a blank, and ENDATA.
#include <cmath>
#include <cstdlib>

#include "io/io.h"
#include "io/linereader.h"
#include "io/startfiles.h"
#include "io/textutil.h"

namespace vnt::io {

FileNames::FileNames(const model::ModelData& m) {
  const int n = m.numCols(), mr = m.numRows();
  defaultCols = static_cast<int>(m.colname.size()) != n && n > 0;
  defaultRows = static_cast<int>(m.rowname.size()) != mr && mr > 0;
  col.reserve(n);
  row.reserve(mr);
  for (int j = 0; j < n; ++j) col.push_back(defaultCols ? "x" + std::to_string(j + 1) : m.colname[j]);
  for (int i = 0; i < mr; ++i) row.push_back(defaultRows ? "c" + std::to_string(i + 1) : m.rowname[i]);
}

namespace {

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> f;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > b) f.push_back(line.substr(b, i - b));
  }
  return f;
}

bool parseNumber(std::string_view t, double* v) {
  std::string s(t);
  char* end = nullptr;
  *v = std::strtod(s.c_str(), &end);
  return end && *end == '\0' && !s.empty();
}

bool blankOrComment(const std::string& line) {
  if (!line.empty() && line[0] == '*') return true;
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

std::string valueText(double v) { return format("%23.15e", v); }

// Name lookups of the readers.
struct Lookup {
  NameMap cols, rows;
  explicit Lookup(const FileNames& names) {
    cols.reserve(names.col.size());
    rows.reserve(names.row.size());
    for (std::size_t j = 0; j < names.col.size(); ++j) cols.emplace(names.col[j], static_cast<int>(j));
    for (std::size_t i = 0; i < names.row.size(); ++i) rows.emplace(names.row[i], static_cast<int>(i));
  }
};

// The NAME line: false (after printing 1551) when the first data line is
// something else.
bool expectName(const std::string& line, long long lineNo, Messages& msg, int* rc) {
  if (startsWithNoCase(line, "NAME")) return true;
  auto f = fields(line);
  *rc = reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", lineNo,
                    f.empty() ? "" : std::string(f[0]).c_str());
  return false;
}

// Walks the lines of a file of this family: blank and comment lines are
// passed over, the NAME line comes first, and body(line, lineNo) takes each
// line after it up to ENDATA (a nonzero result ends the walk with that
// code).  Then a failed device or a missing NAME line is reported, the
// warnings are flushed and a missing ENDATA is warned about.
template <class Body>
int walkLines(Device& dev, Messages& msg, WarningLimiter& warn, Body body) {
  LineReader lr(dev);
  std::string line;
  bool named = false, ended = false;
  while (lr.next(line)) {
    if (blankOrComment(line)) continue;
    if (!named) {
      int e = 0;
      if (!expectName(line, lr.lineNo(), msg, &e)) return e;
      named = true;
      continue;
    }
    if (startsWithNoCase(line, "ENDATA")) {
      ended = true;
      break;
    }
    if (const int rc = body(line, lr.lineNo())) return rc;
  }
  if (lr.failed()) return reportDeviceError(msg, dev);
  if (!named) return reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", lr.lineNo(), "");
  warn.finish();
  if (!ended) msg.warning("Warning: 'ENDATA' missing.\n");
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Basis files.

int writeBasisFile(const std::string& filename, const model::ModelData& m, const BasisRecord& b, Messages& msg,
                   const IoSettings& settings) {
  const int n = m.numCols(), mr = m.numRows();
  if (static_cast<int>(b.cstat.size()) != n || static_cast<int>(b.rstat.size()) != mr)
    return reportError(msg, 1262, "No basis exists");
  const FileNames names(m);
  const bool values = static_cast<int>(b.colValue.size()) == n && static_cast<int>(b.rowValue.size()) == mr;
  return withFile(filename, 'w', settings, true, msg, [&](Device& dev) {
    Writer w(dev);
    w.put(format("* ENCODING=%s\n", settings.fileEncoding.c_str()));
    w.put(format("NAME          %.255s  Iterations %lld  Rows %lld  Cols %lld\n", m.probname.c_str(), b.iterations,
                 static_cast<long long>(mr), static_cast<long long>(n)));
    // Basic columns pair with nonbasic rows in index order.
    int r = 0;
    auto nextNonbasicRow = [&]() {
      while (r < mr && b.rstat[r] == 1) ++r;
      return r < mr ? r++ : -1;
    };
    for (int j = 0; j < n; ++j) {
      if (b.cstat[j] != 1) continue;
      const int i = nextNonbasicRow();
      if (i < 0) {  // more basic columns than nonbasic rows
        w.put(format(" BS %.255s", names.col[j].c_str()));
        w.put(values ? "  " + valueText(b.colValue[j]) + "\n" : std::string("\n"));
        continue;
      }
      const char ul = b.rstat[i] == 2 || m.sense[i] == 'G' ? 'U' : 'L';
      w.put(format(" X%c %.255s  %.255s", ul, names.col[j].c_str(), names.row[i].c_str()));
      w.put(values ? "  " + valueText(b.colValue[j]) + "\n" : std::string("\n"));
    }
    // Nonbasic rows left over (fewer basic columns than nonbasic rows).
    for (int i = nextNonbasicRow(); i >= 0; i = nextNonbasicRow())
      w.put(format(" %s %.255s\n", b.rstat[i] == 2 || m.sense[i] == 'G' ? "UL" : "LL", names.row[i].c_str()));
    for (int j = 0; j < n; ++j)
      if (b.cstat[j] == 2) w.put(format(" UL %.255s\n", names.col[j].c_str()));
    if (values) {
      for (int i = 0; i < mr; ++i)
        if (b.rstat[i] == 1) w.put(format(" BR %.255s  ", names.row[i].c_str()) + valueText(b.rowValue[i]) + "\n");
      for (int j = 0; j < n; ++j)
        if (b.cstat[j] == 3) w.put(format(" SC %.255s  ", names.col[j].c_str()) + valueText(b.colValue[j]) + "\n");
    } else {
      // A free column nonbasic away from zero has no plain form; a free
      // column at zero is the default.
      for (int j = 0; j < n; ++j)
        if (b.cstat[j] == 0 && m.lb[j] <= -model::kInfBound) w.put(format(" LL %.255s\n", names.col[j].c_str()));
    }
    w.put("ENDATA\n");
    return w.flush() ? 0 : reportDeviceError(msg, dev);
  });
}

int readBasisFile(const std::string& filename, const model::ModelData& m, bool restart, BasisRecord& out,
                  Messages& msg, const IoSettings& settings) {
  const int n = m.numCols(), mr = m.numRows();
  const FileNames names(m);
  const Lookup look(names);
  BasisRecord b;
  // Default: columns nonbasic at a bound (the lower one when finite), rows
  // basic.
  b.cstat.resize(n);
  for (int j = 0; j < n; ++j)
    b.cstat[j] = m.lb[j] > -model::kInfBound ? 0 : (m.ub[j] < model::kInfBound ? 2 : 3);
  b.rstat.assign(mr, 1);
  if (restart) {
    b.colValue.assign(n, 0.0);
    b.rowValue.assign(mr, 0.0);
  }
  WarningLimiter warn(msg);
  int rc = withFile(filename, 'r', settings, true, msg, [&](Device& dev) {
    const int walked = walkLines(dev, msg, warn, [&](const std::string& line, long long lineNo) {
      auto notVar = [&](std::string_view s) {
        warn.warn(format("Warning, line %lld: '%.255s' is not a variable.\n", lineNo, std::string(s).c_str()));
      };
      auto notRow = [&](std::string_view s) {
        warn.warn(format("Warning, line %lld: '%.255s' is not a row.\n", lineNo, std::string(s).c_str()));
      };
      auto f = fields(line);
      const std::string code = upper(f[0]);
      if (line[0] != ' ' && line[0] != '\t')
        return reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", lineNo, std::string(f[0]).c_str());
      const bool pair = code == "XU" || code == "XL";
      const bool single = code == "BS" || code == "UL" || code == "LL";
      const bool super = code == "SC" || code == "BR" || code == "SR";
      if (!pair && !single && !super)
        return reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", lineNo, code.c_str());
      if (super && !restart) return reportError(msg, 1554, "Superbases are not allowed");
      const std::size_t nameCount = pair ? 2 : 1;
      const bool valueAllowed = restart && (pair || super || code == "BS");
      if (f.size() < 1 + nameCount || f.size() > 1 + nameCount + (valueAllowed ? 1 : 0)) {
        if (super && f.size() == 1 + nameCount) {
          msg.error(format("Line %lld: Missing basic value.\n", lineNo));
          return -1553;
        }
        return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
      }
      double value = 0.0;
      const bool hasValue = f.size() == 2 + nameCount;
      if (hasValue && !parseNumber(f.back(), &value))
        return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
      if (pair) {
        const int j = look.cols.find(f[1]);
        const int i = look.rows.find(f[2]);
        if (j < 0) notVar(f[1]);
        if (i < 0) notRow(f[2]);
        if (j >= 0) {
          b.cstat[j] = 1;
          if (hasValue) b.colValue[j] = value;
        }
        if (i >= 0) b.rstat[i] = code == "XU" && !m.sense.empty() && m.sense[i] == 'R' ? 2 : 0;
      } else if (code == "BS") {
        const int j = look.cols.find(f[1]);
        const int i = j < 0 ? look.rows.find(f[1]) : -1;
        if (j >= 0) {
          b.cstat[j] = 1;
          if (hasValue) b.colValue[j] = value;
        } else if (i >= 0) {
          b.rstat[i] = 1;
          if (hasValue) b.rowValue[i] = value;
        } else {
          notVar(f[1]);
        }
      } else if (code == "UL" || code == "LL") {
        const int j = look.cols.find(f[1]);
        const int i = j < 0 ? look.rows.find(f[1]) : -1;
        if (j >= 0) b.cstat[j] = code == "UL" ? 2 : 0;
        else if (i >= 0) b.rstat[i] = code == "UL" && m.sense[i] == 'R' ? 2 : 0;
        else notVar(f[1]);
      } else if (code == "SC") {
        const int j = look.cols.find(f[1]);
        if (j < 0) notVar(f[1]);
        else {
          b.cstat[j] = 3;
          b.colValue[j] = value;
        }
      } else {  // BR, SR
        const int i = look.rows.find(f[1]);
        if (i < 0) notRow(f[1]);
        else {
          b.rstat[i] = code == "BR" ? 1 : 0;
          b.rowValue[i] = value;
        }
      }
      return 0;
    });
    if (walked != 0) return walked;
    long long basic = 0;
    for (int s : b.cstat) basic += s == 1;
    for (int s : b.rstat) basic += s == 1;
    if (basic != mr)
      return reportError(msg, 1555, "%lld %s basic variable(s)", std::llabs(basic - mr), basic < mr ? "too few" : "extra");
    return 0;
  });
  if (restart) msg.results(rc == 0 ? "Load of restart from file succeeded.\n" : "Load of restart from file failed.\n");
  if (rc == 0) out = std::move(b);
  return rc;
}

// ---------------------------------------------------------------------------
// Priority-order files.

int writeOrderFile(const std::string& filename, const model::ModelData& m, const std::vector<OrderEntry>& order,
                   Messages& msg, const IoSettings& settings) {
  const FileNames names(m);
  if (names.defaultCols) msg.warning("Default variable names x1, x2 ... to be created.\n");
  return withFile(filename, 'w', settings, true, msg, [&](Device& dev) {
    Writer w(dev);
    w.put(format("* ENCODING=%s\n", settings.fileEncoding.c_str()));
    w.put(format("NAME          %.255s   Priority Order\n", m.probname.c_str()));
    for (const OrderEntry& e : order) {
      const char* dir = e.direction == 1 ? "UP" : (e.direction == -1 ? "DN" : (e.direction == 0 ? "  " : "??"));
      w.put(format(" %s %.255s %12lld\n", dir, names.col[e.col].c_str(), e.priority));
    }
    w.put("ENDATA\n");
    return w.flush() ? 0 : reportDeviceError(msg, dev);
  });
}

int readOrderFile(const std::string& filename, const model::ModelData& m, std::vector<OrderEntry>& out,
                  Messages& msg, const IoSettings& settings) {
  const FileNames names(m);
  const Lookup look(names);
  std::vector<OrderEntry> order;
  std::vector<char> seen(names.col.size(), 0);
  WarningLimiter warn(msg);
  int rc = withFile(filename, 'r', settings, true, msg, [&](Device& dev) {
    const int walked = walkLines(dev, msg, warn, [&](const std::string& line, long long lineNo) {
      // " DD name priority": the direction sits in columns 2-3 (blank for
      // the default).
      if (line.size() < 4 || (line[0] != ' ' && line[0] != '\t'))
        return reportError(msg, 3012, "Line %lld: Unrecognized direction '%c%c'", lineNo,
                           line.size() > 1 ? line[1] : ' ', line.size() > 2 ? line[2] : ' ');
      const char d1 = line[1], d2 = line[2];
      int dir = 0;
      if ((d1 == 'U' || d1 == 'u') && (d2 == 'P' || d2 == 'p')) dir = 1;
      else if ((d1 == 'D' || d1 == 'd') && (d2 == 'N' || d2 == 'n')) dir = -1;
      else if (d1 != ' ' || d2 != ' ')
        return reportError(msg, 3012, "Line %lld: Unrecognized direction '%c%c'", lineNo, d1, d2);
      auto f = fields(std::string_view(line).substr(3));
      double pr = 0.0;
      if (f.size() != 2 || !parseNumber(f[1], &pr) || pr != std::floor(pr))
        return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
      const int j = look.cols.find(f[0]);
      if (j < 0) {
        warn.warn(format("Warning, line %lld: '%.255s' is not a variable.\n", lineNo, std::string(f[0]).c_str()));
        return 0;
      }
      if (seen[j]) {
        warn.warn(format("Warning, line %lld: repeated entry for '%.255s'.\n", lineNo, std::string(f[0]).c_str()));
        return 0;
      }
      seen[j] = 1;
      order.push_back({j, static_cast<long long>(pr), dir});
      return 0;
    });
    if (walked != 0) return walked;
    if (order.empty()) msg.warning("Warning:  No priority order values read or loaded.\n");
    return 0;
  });
  if (rc == 0) out = std::move(order);
  return rc;
}

// ---------------------------------------------------------------------------
// Solution-pool filter files.

int writeFilterFile(const std::string& filename, const model::ModelData& m,
                    const std::vector<model::PoolFilter>& filters, Messages& msg, const IoSettings& settings) {
  const FileNames names(m);
  if (names.defaultCols) msg.warning("Default variable names x1, x2 ... to be created.\n");
  bool defaultNames = false;
  for (const model::PoolFilter& f : filters) defaultNames = defaultNames || f.name.empty();
  if (defaultNames) msg.warning("Default filter names f1, f2 ... to be created.\n");
  return withFile(filename, 'w', settings, true, msg, [&](Device& dev) {
    Writer w(dev);
    w.put(format("* ENCODING=%s\n", settings.fileEncoding.c_str()));
    w.put(format("NAME          %.255s   Filters\n", m.probname.c_str()));
    for (std::size_t k = 0; k < filters.size(); ++k) {
      const model::PoolFilter& f = filters[k];
      const std::string name = f.name.empty() ? "f" + std::to_string(k + 1) : f.name;
      w.put(format(f.diversity ? "DIVFILTER  %s  %s  %s\n" : "RNGFILTER  %s  %s  %s\n", name.c_str(),
                   format("%.17g", f.lower).c_str(), format("%.17g", f.upper).c_str()));
      for (std::size_t t = 0; t < f.ind.size(); ++t) {
        if (f.diversity)
          w.put(format(" %.255s  %.17g  %.17g\n", names.col[f.ind[t]].c_str(), f.val[t], f.refval[t]));
        else
          w.put(format(" %.255s  %.17g\n", names.col[f.ind[t]].c_str(), f.val[t]));
      }
    }
    w.put("ENDATA\n");
    return w.flush() ? 0 : reportDeviceError(msg, dev);
  });
}

int readFilterFile(const std::string& filename, const model::ModelData& m, std::vector<model::PoolFilter>& out,
                   Messages& msg, const IoSettings& settings) {
  const FileNames names(m);
  const Lookup look(names);
  std::vector<model::PoolFilter> filters;
  std::vector<std::size_t> seenIn(names.col.size(), 0);  // 1 + index of the last filter naming the column
  WarningLimiter warn(msg);
  int rc = withFile(filename, 'r', settings, true, msg, [&](Device& dev) {
    return walkLines(dev, msg, warn, [&](const std::string& line, long long lineNo) {
      auto f = fields(line);
      if (line[0] != ' ' && line[0] != '\t') {
        // A filter's header line.
        const bool div = startsWithNoCase(line, "DIVFILTER"), rng = startsWithNoCase(line, "RNGFILTER");
        if ((!div && !rng) || f[0].size() != 9)
          return reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", lineNo,
                             std::string(f[0]).c_str());
        model::PoolFilter flt;
        flt.diversity = div;
        if (f.size() != 4 || !parseNumber(f[2], &flt.lower) || !parseNumber(f[3], &flt.upper))
          return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
        flt.name = std::string(f[1]);
        filters.push_back(std::move(flt));
        return 0;
      }
      // An entry of the last filter.
      if (filters.empty()) return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
      model::PoolFilter& flt = filters.back();
      double v = 0.0, ref = 0.0;
      if (f.size() != (flt.diversity ? 3u : 2u) || !parseNumber(f[1], &v) ||
          (flt.diversity && !parseNumber(f[2], &ref)))
        return reportError(msg, 1553, "Line %lld: Wrong number of entries", lineNo);
      const int j = look.cols.find(f[0]);
      if (j < 0) {
        warn.warn(format("Warning, line %lld: '%.255s' is not a variable.\n", lineNo, std::string(f[0]).c_str()));
        return 0;
      }
      if (seenIn[j] == filters.size()) {
        warn.warn(format("Warning, line %lld: repeated entry for '%.255s'.\n", lineNo, std::string(f[0]).c_str()));
        return 0;
      }
      seenIn[j] = filters.size();
      flt.ind.push_back(j);
      flt.val.push_back(v);
      if (flt.diversity) flt.refval.push_back(ref);
      return 0;
    });
  });
  if (rc == 0) out = std::move(filters);
  return rc;
}

}  // namespace vnt::io
