// Solution and MIP-start files in XML.  Written element by element without
// building a tree; read with Expat as a stream of element callbacks.
#include <expat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "io/io.h"
#include "io/linereader.h"
#include "io/startfiles.h"
#include "io/textutil.h"

namespace vnt::io {

std::string xmlNumber(double v) {
  if (v == 0.0) return "0";
  return format("%.17g", v);
}

namespace {

void escapeInto(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '\'': out += "&apos;"; break;
      case '>': out += "&gt;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

// One element being written: "<name", attributes, then "/>" or ">".
class Element {
 public:
  Element(std::string& out, const char* indent, const char* name) : out_(out) {
    out_ += indent;
    out_ += '<';
    out_ += name;
  }
  Element& attr(const char* name, std::string_view text) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    escapeInto(out_, text);
    out_ += '"';
    return *this;
  }
  Element& attr(const char* name, long long v) { return attr(name, std::to_string(v)); }
  Element& num(const char* name, double v) { return attr(name, xmlNumber(v)); }
  void close() { out_ += "/>\n"; }
  void open() { out_ += ">\n"; }

 private:
  std::string& out_;
};

void writeRecord(std::string& out, Writer& w, const FileNames& names, const SolutionRecord& r, const char* indent) {
  const std::string in1 = std::string(indent) + " ";
  const std::string in2 = in1 + " ";
  Element(out, indent, "VANTOSolution").attr("version", "1.2").open();
  {
    Element h(out, in1.c_str(), "header");
    for (const XmlAttr& a : r.header) h.attr(a.name.c_str(), a.text);
    h.close();
  }
  if (!r.quality.empty()) {
    Element q(out, in1.c_str(), "quality");
    for (const XmlAttr& a : r.quality) q.attr(a.name.c_str(), a.text);
    q.close();
  }
  if (r.writeRows) {
    out += in1 + "<linearConstraints>\n";
    for (const SolutionRecord::Entry& e : r.rows) {
      Element c(out, in2.c_str(), "constraint");
      c.attr("name", names.row[e.index]).attr("index", e.index);
      if (!e.status.empty()) c.attr("status", e.status);
      c.num("slack", e.value);
      if (e.hasDual) c.num("dual", e.dual);
      c.close();
      if (out.size() > (1u << 16)) {
        w.put(out);
        out.clear();
      }
    }
    out += in1 + "</linearConstraints>\n";
  }
  out += in1 + "<variables>\n";
  for (const SolutionRecord::Entry& e : r.cols) {
    Element v(out, in2.c_str(), "variable");
    v.attr("name", names.col[e.index]).attr("index", e.index);
    if (!e.status.empty()) v.attr("status", e.status);
    v.num("value", e.value);
    if (e.hasDual) v.num("reducedCost", e.dual);
    v.close();
    if (out.size() > (1u << 16)) {
      w.put(out);
      out.clear();
    }
  }
  out += in1 + "</variables>\n";
  out += indent;
  out += "</VANTOSolution>\n";
}

}  // namespace

int writeSolutionXml(const std::string& filename, const model::ModelData& m, const std::vector<SolutionRecord>& sols,
                     bool several, Messages& msg) {
  const FileNames names(m);
  IoSettings plain;
  return withFile(filename, 'w', plain, false, msg, [&](Device& dev) {
    Writer w(dev);
    std::string out = "<?xml version = \"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    if (several) out += "<VANTOSolutions version=\"1.2\">\n";
    for (const SolutionRecord& r : sols) {
      writeRecord(out, w, names, r, several ? " " : "");
      w.put(out);
      out.clear();
    }
    if (several) out += "</VANTOSolutions>\n";
    w.put(out);
    return w.flush() ? 0 : reportDeviceError(msg, dev);
  });
}

// ---------------------------------------------------------------------------
// Reading.

namespace {

struct Reader {
  XML_Parser parser = nullptr;
  XmlReadMode mode;
  Messages& msg;
  WarningLimiter warn;
  NameMap cols, rows;
  int n = 0, m = 0;
  std::vector<ReadSolution> sols;
  int depth = 0;
  int solutions = 0;      // VANTOSolution elements seen
  bool inSolution = false;
  bool ignoring = false;  // inside a VANTOSolution that is not taken
  bool header = false;
  bool inLinear = false;  // inside "linearConstraints"
  bool warnedExtra = false;
  std::string failure;    // text of a semantic failure (stops the parse)
  std::vector<char> colSeen, rowSeen;

  Reader(XmlReadMode md, Messages& ms, const FileNames& names) : mode(md), msg(ms), warn(ms) {
    n = static_cast<int>(names.col.size());
    m = static_cast<int>(names.row.size());
    cols.reserve(names.col.size());
    rows.reserve(names.row.size());
    for (int j = 0; j < n; ++j) cols.emplace(names.col[j], j);
    for (int i = 0; i < m; ++i) rows.emplace(names.row[i], i);
  }

  long long line() const { return static_cast<long long>(XML_GetCurrentLineNumber(parser)); }

  static const char* find(const char** atts, const char* name) {
    for (int k = 0; atts[k]; k += 2)
      if (std::strcmp(atts[k], name) == 0) return atts[k + 1];
    return nullptr;
  }
  static bool number(const char* s, double* v) {
    if (!s || !*s) return false;
    char* end = nullptr;
    *v = std::strtod(s, &end);
    return end && *end == '\0';
  }

  void stop(const std::string& why) {
    if (failure.empty()) failure = why;
    XML_StopParser(parser, XML_FALSE);
  }

  void startSolution() {
    ++solutions;
    header = false;
    if (solutions > 1 && mode != XmlReadMode::kMipStarts) {
      if (!warnedExtra)
        msg.warning(mode == XmlReadMode::kSolution
                        ? "Warning: more than one VANTOSolution element in file, only first one processed.\n"
                        : "Warning: more than one solution read, only first one processed.\n");
      warnedExtra = true;
      ignoring = true;
      return;
    }
    inSolution = true;
    sols.emplace_back();
    colSeen.assign(n, 0);
    rowSeen.assign(m, 0);
  }

  // The index an entry refers to, or -1 (after a warning).
  int entryIndex(const char** atts, bool column) {
    const char* name = find(atts, "name");
    const char* idx = find(atts, "index");
    std::vector<char>& seen = column ? colSeen : rowSeen;
    int k = -1;
    if (name) {
      k = (column ? cols : rows).find(name);
      if (k < 0) {
        warn.warn(format(column ? "Warning, line %lld: '%.255s' is not a variable.\n"
                                : "Warning, line %lld: '%.255s' is not a constraint.\n",
                         line(), name));
        return -1;
      }
      if (seen[k]) {
        warn.warn(format("Warning, line %lld: repeated entry for '%.255s'.\n", line(), name));
        return -1;
      }
    } else {
      double v = 0.0;
      const long long i = idx && number(idx, &v) ? static_cast<long long>(v) : -1;
      if (i < 0 || i >= (column ? n : m)) {
        warn.warn(format(column ? "Warning, line %lld: Variable index '%lld' out of range.\n"
                                : "Warning, line %lld: Constraint index '%lld' out of range.\n",
                         line(), i));
        return -1;
      }
      k = static_cast<int>(i);
      if (seen[k]) {
        warn.warn(format(column ? "Warning, line %lld: repeated entry for variable index %lld.\n"
                                : "Warning, line %lld: repeated entry for index %lld.\n",
                         line(), i));
        return -1;
      }
    }
    seen[k] = 1;
    return k;
  }

  static int statusCode(const char* s) {
    if (!s) return -1;
    if (std::strcmp(s, "basic") == 0) return 1;
    if (std::strcmp(s, "nonbasic") == 0) return 0;
    return -1;
  }

  void start(const char* el, const char** atts) {
    ++depth;
    if (std::strcmp(el, "VANTOSolution") == 0) {
      startSolution();
      return;
    }
    if (!inSolution || ignoring) return;
    ReadSolution& s = sols.back();
    double v = 0.0;
    if (std::strcmp(el, "header") == 0) {
      header = true;
      if (const char* nm = find(atts, "solutionName")) s.name = nm;
      if (number(find(atts, "MIPStartEffortLevel"), &v)) s.effort = static_cast<int>(v);
      if (number(find(atts, "objectiveValue"), &v)) {
        s.hasObjective = true;
        s.objective = v;
      }
    } else if (std::strcmp(el, "linearConstraints") == 0) {
      inLinear = true;
    } else if (std::strcmp(el, "constraint") == 0 && inLinear) {
      const int i = entryIndex(atts, false);
      if (i < 0) return;
      if (number(find(atts, "slack"), &v)) s.slack.emplace_back(i, v);
      if (number(find(atts, "dual"), &v)) s.dual.emplace_back(i, v);
      const int st = statusCode(find(atts, "status"));
      if (st >= 0) s.rstatus.emplace_back(i, st);
    } else if (std::strcmp(el, "variable") == 0) {
      const int j = entryIndex(atts, true);
      if (j < 0) return;
      if (number(find(atts, "value"), &v)) s.x.emplace_back(j, v);
      if (number(find(atts, "reducedCost"), &v)) s.dj.emplace_back(j, v);
      const int st = statusCode(find(atts, "status"));
      if (st >= 0) s.cstatus.emplace_back(j, st);
    }
  }

  void end(const char* el) {
    --depth;
    if (std::strcmp(el, "linearConstraints") == 0) inLinear = false;
    if (std::strcmp(el, "VANTOSolution") != 0) return;
    if (ignoring) {
      ignoring = false;
      return;
    }
    inSolution = false;
    if (!header) stop("header section is missing");
  }

  static void onStart(void* u, const char* el, const char** atts) { static_cast<Reader*>(u)->start(el, atts); }
  static void onEnd(void* u, const char* el) { static_cast<Reader*>(u)->end(el); }
};

}  // namespace

int readSolutionXml(const std::string& filename, const model::ModelData& m, XmlReadMode mode,
                    std::vector<ReadSolution>& out, Messages& msg) {
  const FileNames names(m);
  Reader r(mode, msg, names);
  IoSettings plain;
  int rc = withFile(filename, 'r', plain, false, msg, [&](Device& dev) {
    XML_Parser p = XML_ParserCreate(nullptr);
    if (!p) return reportError(msg, 1001, "Out of memory");
    r.parser = p;
    XML_SetUserData(p, &r);
    XML_SetElementHandler(p, &Reader::onStart, &Reader::onEnd);
    std::vector<char> buf(1 << 16);
    int result = 0;
    for (;;) {
      const std::size_t got = dev.read(buf.data(), buf.size());
      if (dev.error()) {
        result = reportDeviceError(msg, dev);
        break;
      }
      const bool last = got == 0;
      if (XML_Parse(p, buf.data(), static_cast<int>(got), last ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR) {
        const long long ln = static_cast<long long>(XML_GetCurrentLineNumber(p));
        const char* why = r.failure.empty() ? XML_ErrorString(XML_GetErrorCode(p)) : r.failure.c_str();
        result = reportError(msg, 1425, "XML parsing error at line %lld: %s", ln, why);
        break;
      }
      if (last) break;
    }
    XML_ParserFree(p);
    return result;
  });
  if (rc != 0) return rc;
  r.warn.finish();
  if (r.solutions == 0)
    return reportError(msg, 1425, "XML parsing error at line %lld: %s", 1LL, "header section is missing");
  bool any = false;
  for (const ReadSolution& s : r.sols) any = any || !s.x.empty() || !s.slack.empty() || !s.dual.empty() || !s.dj.empty();
  if (!any) {
    if (mode == XmlReadMode::kMipStarts) msg.warning("Warning: no MIP start values read, no MIP start loaded.\n");
    else if (mode == XmlReadMode::kStartInfo) msg.warning("Warning: no start vectors read, no start information loaded.\n");
  }
  out = std::move(r.sols);
  return 0;
}

}  // namespace vnt::io
