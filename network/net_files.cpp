// Network files (native and DIMACS forms) and network basis files, through
// the io/ devices (compression by suffix, file encoding conversion).
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "io/convert.h"
#include "io/device.h"
#include "io/io.h"
#include "io/linereader.h"
#include "io/textutil.h"
#include "network/netsimplex.h"
#include "network/network.h"

namespace vnt::network {

namespace {

using io::Device;
using io::LineReader;
using io::Writer;

inline bool isInfBound(double v) { return std::fabs(v) >= kNetInf; }

enum class NetForm { Native, Dimacs, Unknown };

// The form a file name asks for: ".net" native, ".min" DIMACS (before any
// compression suffix).
NetForm formOfName(const std::string& name) {
  std::string base = name.substr(0, name.size() - io::compressionOf(name).length);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string::npos) return NetForm::Unknown;
  const std::string ext = base.substr(dot + 1);
  if (io::equalsNoCase(ext, "net")) return NetForm::Native;
  if (io::equalsNoCase(ext, "min")) return NetForm::Dimacs;
  return NetForm::Unknown;
}

// Runs fn on the device, or on a converting device over it.
template <class Fn>
int withEncoding(Device& dev, const io::IoSettings& s, char mode, io::Messages& msg, Fn fn) {
  if (io::isPassThroughEncoding(s.fileEncoding)) return fn(dev);
  auto conv = io::makeConvertingDevice(dev, s.fileEncoding, mode);
  if (!conv) return io::reportError(msg, 1235, "Failed to convert string encoding");
  int rc = fn(*conv);
  const bool ok = conv->close();
  if (rc == 0 && !ok) {
    if (conv->errorCode() == 1235) return io::reportError(msg, 1235, "Failed to convert string encoding");
    return io::reportError(msg, 1426, "Low-level file I/O error");
  }
  return rc;
}

// Number text of the LP writer; negative values as "-" and the magnitude,
// infinite ones as "inf" / "-inf".
std::string num(double v) {
  if (v >= kNetInf) return "inf";
  if (v <= -kNetInf) return "-inf";
  if (v < 0) return "-" + io::numberText(-v, 15);
  return io::numberText(v, 15);
}

std::string fmt(const char* f, const std::string& a) {
  char buf[600];
  std::snprintf(buf, sizeof buf, f, a.c_str());
  return buf;
}

int writeNative(Device& dev, NetProblem& net, const io::IoSettings& s) {
  Writer w(dev);
  w.put("\\ENCODING=" + s.fileEncoding + "\n");
  w.put(net.objsen < 0 ? "MAXIMIZE NETWORK" : "MINIMIZE NETWORK");
  if (!net.name.empty()) {
    w.put(' ');
    if (std::isdigit(static_cast<unsigned char>(net.name[0])) || net.name[0] == '.') w.put('_');
    w.put(net.name);
  }
  w.put('\n');
  w.put("SUPPLY\n");
  for (int v = 0; v < net.nodes(); ++v)
    if (net.supply[v] != 0.0) w.put(fmt("%.255s : ", net.nodeName[v]) + num(net.supply[v]) + "\n");
  w.put("ARCS\n");
  for (int a = 0; a < net.arcs(); ++a)
    w.put(fmt("%.255s : ", net.arcName[a]) + fmt("%.255s -> ", net.nodeName[net.tail[a]]) +
          fmt("%.255s\n", net.nodeName[net.head[a]]));
  w.put("OBJECTIVE\n");
  for (int a = 0; a < net.arcs(); ++a)
    if (net.obj[a] != 0.0) w.put(fmt("%.255s : ", net.arcName[a]) + num(net.obj[a]) + "\n");
  w.put("BOUNDS\n");
  for (int a = 0; a < net.arcs(); ++a) {
    const double lo = net.lb[a], up = net.ub[a];
    const std::string& nm = net.arcName[a];
    if (lo == 0.0 && up >= kNetInf) continue;
    if (lo <= -kNetInf && up >= kNetInf) {
      w.put(fmt(" %.255s free\n", nm));
    } else if (lo == up) {
      w.put(fmt(" %.255s = ", nm) + num(lo) + "\n");
    } else {
      w.put(" " + num(lo) + fmt(" <= %.255s", nm));
      if (up < kNetInf) w.put(" <= " + num(up));
      w.put('\n');
    }
  }
  w.put("ENDNETWORK\n");
  return w.flush() ? 0 : 1426;
}

int writeDimacs(Device& dev, NetProblem& net, const io::IoSettings& s) {
  Writer w(dev);
  char buf[512];
  w.put("c ENCODING=" + s.fileEncoding + "\n");
  w.put("c\n");
  if (net.name.empty()) w.put("c network problem\n");
  else w.put(fmt("c network problem %.255s\n", net.name));
  w.put("c\n");
  std::snprintf(buf, sizeof buf, net.objsen < 0 ? "p max %lld %lld\n" : "p min %lld %lld\n",
                static_cast<long long>(net.nodes()), static_cast<long long>(net.arcs()));
  w.put(buf);
  for (int v = 0; v < net.nodes(); ++v) {
    if (net.supply[v] == 0.0) continue;
    std::snprintf(buf, sizeof buf, "n %lld %16g\n", static_cast<long long>(v + 1), net.supply[v]);
    w.put(buf);
  }
  for (int a = 0; a < net.arcs(); ++a) {
    const double c = net.obj[a] * net.objsen + 0.0;  // no "-0"
    std::snprintf(buf, sizeof buf, "a %lld %lld %16g %16g %16g\n", static_cast<long long>(net.tail[a] + 1),
                  static_cast<long long>(net.head[a] + 1), net.lb[a], net.ub[a], c);
    w.put(buf);
  }
  return w.flush() ? 0 : 1426;
}

// ---------------------------------------------------------------------------
// Reading

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool parseNumber(const std::string& t, double* v) {
  std::string s = trim(t);
  if (s.empty()) return false;
  bool neg = false;
  std::string body = s;
  if (body[0] == '+' || body[0] == '-') {
    neg = body[0] == '-';
    body = trim(body.substr(1));
  }
  if (io::equalsNoCase(body, "inf") || io::equalsNoCase(body, "infinity")) {
    *v = neg ? -kNetInf : kNetInf;
    return true;
  }
  char* end = nullptr;
  double x = std::strtod(body.c_str(), &end);
  if (!end || *end != '\0' || body.empty() || std::isnan(x)) return false;
  x = neg ? -x : x;
  if (x >= kNetInf) x = kNetInf;
  if (x <= -kNetInf) x = -kNetInf;
  *v = x;
  return true;
}

class NetReader {
 public:
  NetReader(Env& env, io::Messages& msg, NetProblem& out) : env_(env), msg_(msg), net_(out) {}

  int node(const std::string& name) {
    auto it = nodes_.find(name);
    if (it != nodes_.end()) return it->second;
    const int v = net_.nodes();
    nodes_.emplace(name, v);
    net_.supply.push_back(0.0);
    net_.nodeName.push_back(name);
    supplySeen_.push_back(0);
    return v;
  }

  int readNative(LineReader& lr) {
    enum Sec { None, Supply, Arcs, Objective, Bounds } sec = None;
    std::string line;
    bool header = false, ended = false;
    net_.nodeNames = net_.arcNames = true;
    while (lr.next(line)) {
      const long long ln = lr.lineNo();
      std::string t = trim(line);
      if (t.empty() || t[0] == '\\') continue;
      if (!header) {
        std::string u = io::upper(t);
        bool mx = u.rfind("MAXIMIZE NETWORK", 0) == 0, mn = u.rfind("MINIMIZE NETWORK", 0) == 0;
        if (!mx && !mn) return bad(ln);
        net_.objsen = mx ? -1 : 1;
        std::string name = trim(t.substr(16));
        if (name.size() > 1 && name[0] == '_' && (std::isdigit(static_cast<unsigned char>(name[1])) || name[1] == '.'))
          name.erase(0, 1);
        net_.name = name;
        header = true;
        continue;
      }
      std::string u = io::upper(t);
      if (u == "SUPPLY") { sec = Supply; continue; }
      if (u == "ARCS") { sec = Arcs; continue; }
      if (u == "OBJECTIVE") { sec = Objective; continue; }
      if (u == "BOUNDS") { sec = Bounds; continue; }
      if (u == "ENDNETWORK") { ended = true; break; }
      switch (sec) {
        case None: return bad(ln);
        case Supply: {
          size_t c = t.find(" : ");
          double v;
          if (c == std::string::npos || !parseNumber(t.substr(c + 3), &v) || isInfBound(v)) return bad(ln);
          const int k = node(trim(t.substr(0, c)));
          if (supplySeen_[k])
            warn("Supply value for node %.255s overridden near line %lld.\n", net_.nodeName[k], ln);
          supplySeen_[k] = 1;
          net_.supply[k] = v;
          break;
        }
        case Arcs: {
          size_t c = t.find(" : "), arrow = t.find(" -> ");
          if (c == std::string::npos || arrow == std::string::npos || arrow < c) return bad(ln);
          std::string an = trim(t.substr(0, c));
          std::string from = trim(t.substr(c + 3, arrow - c - 3)), to = trim(t.substr(arrow + 4));
          if (an.empty() || from.empty() || to.empty()) return bad(ln);
          const int f = node(from), h = node(to);
          auto it = arcs_.find(an);
          if (it != arcs_.end()) {
            warn("Nodes for arc %.255s overridden near line %lld.\n", an, ln);
            net_.tail[it->second] = f;
            net_.head[it->second] = h;
            break;
          }
          arcs_.emplace(an, net_.arcs());
          net_.tail.push_back(f);
          net_.head.push_back(h);
          net_.lb.push_back(0.0);
          net_.ub.push_back(kNetInf);
          net_.obj.push_back(0.0);
          net_.arcName.push_back(an);
          objSeen_.push_back(0);
          bdSeen_.push_back(0);
          break;
        }
        case Objective: {
          size_t c = t.find(" : ");
          double v;
          if (c == std::string::npos || !parseNumber(t.substr(c + 3), &v) || isInfBound(v)) return bad(ln);
          std::string an = trim(t.substr(0, c));
          auto it = arcs_.find(an);
          if (it == arcs_.end()) {
            warn("Ignoring objective for unknown arc %.255s near line %lld.\n", an, ln);
            break;
          }
          if (objSeen_[it->second]) warn("Objective value for arc %.255s overridden near line %lld.\n", an, ln);
          objSeen_[it->second] = 1;
          net_.obj[it->second] = v;
          break;
        }
        case Bounds:
          if (int st = boundLine(t, ln)) return st;
          break;
      }
    }
    if (lr.failed()) return io::reportError(msg_, lr.errorCode(), "Low-level file I/O error");
    if (!header || !ended) return io::reportError(msg_, 1538, "Unexpected end of network file");
    return 0;
  }

  int readDimacs(LineReader& lr) {
    std::string line;
    bool problem = false;
    long long nn = 0;
    while (lr.next(line)) {
      const long long ln = lr.lineNo();
      std::string t = trim(line);
      if (t.empty() || t[0] == 'c') continue;
      const char kind = t[0];
      const char* rest = t.c_str() + 1;
      if (kind == 'p') {
        if (problem) {
          msg_.error("Multiple definitions of objective sense\n");
          return io::reportError(msg_, 1530, "Inconsistent network file");
        }
        char sense[16] = {};
        long long a = 0;
        if (std::sscanf(rest, "%15s %lld %lld", sense, &nn, &a) != 3 || nn < 0 || a < 0 || nn > INT32_MAX)
          return bad(ln);
        if (io::equalsNoCase(sense, "max")) net_.objsen = -1;
        else if (io::equalsNoCase(sense, "min")) net_.objsen = 1;
        else return bad(ln);
        problem = true;
        net_.supply.assign(nn, 0.0);
        net_.nodeName.assign(nn, std::string());
        net_.tail.reserve(a), net_.head.reserve(a), net_.lb.reserve(a), net_.ub.reserve(a), net_.obj.reserve(a);
      } else if (kind == 'n') {
        long long id = 0;
        double v = 0;
        if (!problem || std::sscanf(rest, "%lld %lf", &id, &v) != 2 || id < 1 || id > nn || std::isnan(v))
          return bad(ln);
        net_.supply[id - 1] = v;
      } else if (kind == 'a') {
        long long f = 0, h = 0;
        double lo = 0, up = 0, c = 0;
        if (!problem || std::sscanf(rest, "%lld %lld %lf %lf %lf", &f, &h, &lo, &up, &c) != 5 || f < 1 || f > nn ||
            h < 1 || h > nn || std::isnan(lo) || std::isnan(up) || std::isnan(c))
          return bad(ln);
        net_.tail.push_back(static_cast<int>(f - 1));
        net_.head.push_back(static_cast<int>(h - 1));
        net_.lb.push_back(clamp(lo));
        net_.ub.push_back(clamp(up));
        net_.obj.push_back(c * net_.objsen);
      } else {
        return bad(ln);
      }
    }
    if (lr.failed()) return io::reportError(msg_, lr.errorCode(), "Low-level file I/O error");
    if (!problem) return io::reportError(msg_, 1538, "Unexpected end of network file");
    net_.arcName.assign(net_.tail.size(), std::string());
    return 0;
  }

 private:
  static double clamp(double v) { return v >= kNetInf ? kNetInf : v <= -kNetInf ? -kNetInf : v; }

  int bad(long long ln) {
    msg_.log(io::format("Network file: cannot interpret line %lld.\n", ln));
    return io::reportError(msg_, 1530, "Inconsistent network file");
  }

  void warn(const char* f, const std::string& name, long long ln) {
    char buf[512];
    std::snprintf(buf, sizeof buf, f, name.c_str(), ln);
    msg_.warning(buf);
  }

  // Bound forms: "name free", "name = v", "lo <= name [<= up]",
  // "name <= up", "name >= lo".
  int boundLine(const std::string& t, long long ln) {
    std::string name;
    double lo = 0.0, up = kNetInf;
    bool setLo = false, setUp = false;
    const std::string u = io::upper(t);
    size_t p;
    if (u.size() > 5 && u.compare(u.size() - 5, 5, " FREE") == 0) {
      name = trim(t.substr(0, t.size() - 5));
      lo = -kNetInf, up = kNetInf, setLo = setUp = true;
    } else if ((p = t.find(" <= ")) != std::string::npos) {
      std::string a = trim(t.substr(0, p)), rest = t.substr(p + 4);
      size_t q = rest.find(" <= ");
      double v;
      if (q != std::string::npos) {
        name = trim(rest.substr(0, q));
        if (!parseNumber(a, &lo) || !parseNumber(rest.substr(q + 4), &up)) return bad(ln);
        setLo = setUp = true;
      } else if (parseNumber(a, &v)) {
        name = trim(rest), lo = v, setLo = true;
      } else {
        name = a;
        if (!parseNumber(rest, &up)) return bad(ln);
        setUp = true;
      }
    } else if ((p = t.find(" >= ")) != std::string::npos) {
      name = trim(t.substr(0, p));
      if (!parseNumber(t.substr(p + 4), &lo)) return bad(ln);
      setLo = true;
    } else if ((p = t.find(" = ")) != std::string::npos) {
      name = trim(t.substr(0, p));
      if (!parseNumber(t.substr(p + 3), &lo) || isInfBound(lo)) return bad(ln);
      up = lo, setLo = setUp = true;
    } else {
      return bad(ln);
    }
    if (name.empty()) return bad(ln);
    auto it = arcs_.find(name);
    if (it == arcs_.end()) {
      warn("Ignoring bounds for unknown arc %.255s near line %lld.\n", name, ln);
      return 0;
    }
    const int a = it->second;
    if (bdSeen_[a]) warn("Bounds for arc %.255s overridden near line %lld.\n", name, ln);
    bdSeen_[a] = 1;
    if (setLo) net_.lb[a] = lo;
    if (setUp) net_.ub[a] = up;
    if (net_.lb[a] > net_.ub[a]) {
      char buf[600];
      std::snprintf(buf, sizeof buf, "Warning:  Bounds on '%s' contradictory.\n", name.c_str());
      msg_.warning(buf);
    }
    return 0;
  }

  Env& env_;
  io::Messages& msg_;
  NetProblem& net_;
  std::unordered_map<std::string, int> nodes_, arcs_;
  std::vector<char> supplySeen_, objSeen_, bdSeen_;
};

// First significant character: 'c'/'p' DIMACS, '\\' or 'M' native.
NetForm formOfContent(Device& dev) {
  char buf[4096];
  const size_t got = dev.read(buf, sizeof buf);
  for (size_t k = 0; k < got; ++k) {
    const char c = buf[k];
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (c == 'c' || c == 'p') return NetForm::Dimacs;
    if (c == '\\' || c == 'M' || c == 'm') return NetForm::Native;
    return NetForm::Unknown;
  }
  return NetForm::Unknown;
}

}  // namespace

int writeNetFile(Env& env, NetProblem& net, const char* filename, const char* format) {
  io::ChannelMessages msg(env);
  const std::string name(filename);
  if (name.empty()) return io::reportError(msg, 1421, "File name not specified");
  NetForm form = NetForm::Unknown;
  if (format && *format) {
    if (io::equalsNoCase(format, "NET")) form = NetForm::Native;
    else if (io::equalsNoCase(format, "MIN")) form = NetForm::Dimacs;
  } else {
    form = formOfName(name);
  }
  if (form == NetForm::Unknown) return io::reportError(msg, 1424, "Invalid filetype");
  if (form == NetForm::Native) {
    ensureNodeNames(env, net);
    ensureArcNames(env, net);
  }
  const io::IoSettings s = io::settingsFromEnv(env);
  auto dev = io::openFileDevice(name, 'w');
  if (!dev) return io::reportError(msg, 1422, "Could not open file '%s' for writing", name.c_str());
  int rc = withEncoding(*dev, s, 'w', msg, [&](Device& d) {
    int r = form == NetForm::Native ? writeNative(d, net, s) : writeDimacs(d, net, s);
    return r > 0 ? io::reportError(msg, r, "Low-level file I/O error") : r;
  });
  const bool closed = dev->close();
  if (rc == 0 && !closed) return io::reportError(msg, 1426, "Low-level file I/O error");
  return rc;
}

int readNetFile(Env& env, NetProblem& net, const char* filename) {
  io::ChannelMessages msg(env);
  const std::string name(filename);
  if (name.empty()) return io::reportError(msg, 1421, "File name not specified");
  auto dev = io::openFileDevice(name, 'r');
  if (!dev) return io::reportError(msg, 1423, "Could not open file '%s' for reading", name.c_str());
  const NetForm form = formOfContent(*dev);
  if (!dev->rewind()) {
    dev = io::openFileDevice(name, 'r');
    if (!dev) return io::reportError(msg, 1423, "Could not open file '%s' for reading", name.c_str());
  }
  if (form == NetForm::Unknown) {
    dev->close();
    return io::reportError(msg, 1530, "Inconsistent network file");
  }
  const io::IoSettings s = io::settingsFromEnv(env);
  NetProblem staged;
  int rc = withEncoding(*dev, s, 'r', msg, [&](Device& d) {
    LineReader lr(d);
    NetReader r(env, msg, staged);
    return form == NetForm::Native ? r.readNative(lr) : r.readDimacs(lr);
  });
  dev->close();
  if (rc) return rc;
  assignNet(net, std::move(staged));
  print(env, Chan::Results, "Nodes %lld  Arcs %lld\n", static_cast<long long>(net.nodes()),
        static_cast<long long>(net.arcs()));
  return 0;
}

// ---------------------------------------------------------------------------
// Basis files: arcs play the columns, nodes the rows.

int writeNetBasis(Env& env, NetProblem& net, const char* filename) {
  io::ChannelMessages msg(env);
  const std::string name(filename);
  if (name.empty()) return io::reportError(msg, 1421, "File name not specified");
  const NetSolution& sol = net.sol;
  if (sol.stat == 0 || static_cast<int>(sol.astat.size()) != net.arcs()) return 1262;
  ensureNodeNames(env, net);
  ensureArcNames(env, net);
  const io::IoSettings s = io::settingsFromEnv(env);
  auto dev = io::openFileDevice(name, 'w');
  if (!dev) return io::reportError(msg, 1422, "Could not open file '%s' for writing", name.c_str());
  int rc = withEncoding(*dev, s, 'w', msg, [&](Device& d) {
    Writer w(d);
    char buf[1200];
    w.put("* ENCODING=" + s.fileEncoding + "\n");
    std::snprintf(buf, sizeof buf, "NAME          %s  Iterations %lld  Rows %lld  Cols %lld\n",
                  net.name.empty() ? "netbasis" : net.name.c_str(), sol.itcnt, static_cast<long long>(net.nodes()),
                  static_cast<long long>(net.arcs()));
    w.put(buf);
    int v = 0;
    for (int a = 0; a < net.arcs(); ++a) {
      if (sol.astat[a] != kBasic) continue;
      while (v < net.nodes() && sol.nstat[v] == kBasic) ++v;
      if (v >= net.nodes()) break;
      std::snprintf(buf, sizeof buf, " XL %-8s  %-8s\n", net.arcName[a].c_str(), net.nodeName[v].c_str());
      w.put(buf);
      ++v;
    }
    for (int a = 0; a < net.arcs(); ++a) {
      if (sol.astat[a] != kAtUpper) continue;
      std::snprintf(buf, sizeof buf, " UL %-8s\n", net.arcName[a].c_str());
      w.put(buf);
    }
    w.put("ENDATA\n");
    return w.flush() ? 0 : io::reportError(msg, 1426, "Low-level file I/O error");
  });
  const bool closed = dev->close();
  if (rc == 0 && !closed) return io::reportError(msg, 1426, "Low-level file I/O error");
  return rc;
}

int readNetBasis(Env& env, NetProblem& net, const char* filename) {
  io::ChannelMessages msg(env);
  const std::string name(filename);
  if (name.empty()) return io::reportError(msg, 1421, "File name not specified");
  auto dev = io::openFileDevice(name, 'r');
  if (!dev) return io::reportError(msg, 1423, "Could not open file '%s' for reading", name.c_str());
  ensureNodeNames(env, net);
  ensureArcNames(env, net);
  std::unordered_map<std::string, int> nodes, arcs;
  for (int v = net.nodes() - 1; v >= 0; --v) nodes[net.nodeName[v]] = v;
  for (int a = net.arcs() - 1; a >= 0; --a) arcs[net.arcName[a]] = a;
  std::vector<int> astat(net.arcs(), kAtLower), nstat(net.nodes(), kBasic);
  const io::IoSettings s = io::settingsFromEnv(env);
  int rc = withEncoding(*dev, s, 'r', msg, [&](Device& d) {
    LineReader lr(d);
    std::string line;
    bool first = true, ended = false;
    long long warnings = 0;
    auto warnName = [&](long long ln, const std::string& n, bool isArc) {
      if (++warnings > 20) return;
      char buf[600];
      std::snprintf(buf, sizeof buf, isArc ? "Warning, line %lld: '%.255s' is not a variable.\n"
                                           : "Warning, line %lld: '%.255s' is not a row.\n",
                    ln, n.c_str());
      msg.warning(buf);
    };
    while (lr.next(line)) {
      const long long ln = lr.lineNo();
      if (line.empty() || line[0] == '*') continue;
      if (first) {
        if (line.compare(0, 4, "NAME") != 0) return io::reportError(msg, 1552, "ENDATA missing");
        first = false;
        continue;
      }
      if (line.compare(0, 6, "ENDATA") == 0) {
        ended = true;
        break;
      }
      std::vector<std::string> f;
      for (size_t p = 0; p < line.size();) {
        while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p]))) ++p;
        size_t q = p;
        while (q < line.size() && !std::isspace(static_cast<unsigned char>(line[q]))) ++q;
        if (q > p) f.push_back(line.substr(p, q - p));
        p = q;
      }
      if (f.empty()) continue;
      const std::string code = f[0];
      if (code == "XU" || code == "XL") {
        if (f.size() != 3) return io::reportError(msg, 1553, "Line %lld: Wrong number of entries", ln);
        auto ia = arcs.find(f[1]);
        auto in = nodes.find(f[2]);
        if (ia == arcs.end()) warnName(ln, f[1], true);
        if (in == nodes.end()) warnName(ln, f[2], false);
        if (ia != arcs.end() && in != nodes.end()) {
          astat[ia->second] = kBasic;
          nstat[in->second] = kAtLower;
        }
      } else if (code == "BS") {
        if (f.size() != 2) return io::reportError(msg, 1553, "Line %lld: Wrong number of entries", ln);
        auto ia = arcs.find(f[1]);
        if (ia != arcs.end()) astat[ia->second] = kBasic;
        else if (nodes.count(f[1])) nstat[nodes[f[1]]] = kBasic;
        else warnName(ln, f[1], true);
      } else if (code == "UL" || code == "LL") {
        if (f.size() != 2) return io::reportError(msg, 1553, "Line %lld: Wrong number of entries", ln);
        auto ia = arcs.find(f[1]);
        if (ia == arcs.end()) warnName(ln, f[1], true);
        else astat[ia->second] = code == "UL" ? kAtUpper : kAtLower;
      } else if (code == "SC" || code == "BR" || code == "SR") {
        return io::reportError(msg, 1554, "Superbases are not allowed");
      } else {
        return io::reportError(msg, 1551, "Line %lld: Unrecognized basis marker '%s'", ln, code.c_str());
      }
    }
    if (warnings > 20) msg.warning(io::format("%lld warnings not printed.\n", warnings - 20));
    if (lr.failed()) return io::reportError(msg, lr.errorCode(), "Low-level file I/O error");
    if (first || !ended) return io::reportError(msg, 1552, "ENDATA missing");
    return 0;
  });
  dev->close();
  if (rc) return rc;
  net.startArc.swap(astat);
  net.startNode.swap(nstat);
  net.changed();
  return 0;
}

}  // namespace vnt::network
