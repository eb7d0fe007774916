// The node log: one table line per selected search event, on the results
// channel.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "env/limits.h"
#include "mip/search.h"
#include "simplex/lpdriver.h"

namespace vnt::chk {
const char* statText(int code, bool shortText);
}

namespace vnt::mip {

namespace {

const char* const kCutNames[30] = {
    "Covers", "GUBcuts", "Flowcuts", "Cliques", "Fract", "MIRcuts", "Flowpaths", "Disjcuts",
    "Impl Bds", "ZeroHalf", "MCF", "Local Cov", "Tighten", "ObjDisj", "LiftProj", "User",
    "Table", "Pool", "Local Imp", "BQP", "RLT", "Benders", "Discard", "Local Cut",
    "Covers", "EnumCover", "UserPurge1", "UserPurge2", "Cone", "McCormick"};

constexpr double kBoundBlank = 9.999999999999999e35;

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, f);
  vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

std::string num13(double v) { return std::fabs(v) < 1e7 ? fmt("%13.4f", v) : fmt("%13.5e", v); }

}  // namespace

std::string formatLogLine(const LogEntry& e, bool traditional) {
  const bool hasInc = e.bestInteger < tol::kNone;
  // Marks.
  const char mark1 = e.newIncumbent ? '*' : ' ';
  const char mark2 = e.heuristic ? '+' : ' ';
  // Objective field (19).
  std::string obj;
  bool blankBest = false;
  if (e.newIncumbent && e.heuristic) {
    obj = "";
  } else if (e.newIncumbent) {
    obj = fmt("%-13s %5d", "     integral", 0);
  } else if (e.kind == 1) {
    obj = fmt("%-19s", "   infeasible");
  } else if (e.kind == 2) {
    obj = fmt("%-19s", "       cutoff");
  } else if (e.objective >= tol::kNone) {
    obj = hasInc ? "       cutoff" : "   infeasible";
    if (!hasInc) blankBest = true;
  } else if (e.kind == 3) {
    std::string word;
    if (e.lpStatus == 12 || e.lpStatus == 22) word = "cutoff";
    else if (e.lpStatus == 0) word = "no solution";
    else {
      const char* t = chk::statText(e.lpStatus == 10 ? 6 : e.lpStatus, true);
      word = t ? t : "non-optimal";
    }
    obj = word.size() > 13 ? fmt("  %s", word.c_str()) : fmt("%13s", word.c_str());
  } else {
    const std::string ii = e.iinf >= 0 ? fmt("%5lld", e.iinf) : std::string("     ");
    obj = std::fabs(e.objective) < 1e7 ? fmt("%13.4f %5s", e.objective, ii.c_str())
                                       : fmt("%13.5e %5s", e.objective, ii.c_str());
  }
  // Best integer (13).
  std::string best = (!hasInc || blankBest) ? std::string() : num13(e.bestInteger);
  // Bound (13).
  std::string bound;
  if (e.cutKind == -1) bound = fmt("Cuts: %lld", e.cutCount);
  else if (e.cutKind >= 0 && e.cutKind < 30) bound = fmt("%s: %lld", kCutNames[e.cutKind], e.cutCount);
  else if (std::fabs(e.bestBound) >= kBoundBlank) bound = fmt("%13s", " ");
  else bound = num13(e.bestBound);
  // Iterations (8).
  std::string its;
  if (!(e.heuristic && e.newIncumbent)) {
    const double it = static_cast<double>(e.iterations);
    its = it < 1e8 ? fmt("%8.0f", it) : fmt("%8.2e", it);
  }
  // Gap (8).
  std::string gap;
  if (hasInc && !blankBest) {
    if (std::fabs(e.bestBound) < kBoundBlank) {
      const double g = 100.0 * relativeGap(e.bestInteger, e.bestBound, e.sense);
      gap = std::fabs(g) < 999.99 ? fmt("%7.2f%%", g) : fmt("%8s", "--- ");
    } else if (e.kind != 3) {
      gap = fmt("%7.2f%%", 0.0);
    }
  }
  std::string line = fmt("%c%6lld%c%5lld %19s %13s %13s %8s %8s", mark1, e.nodes, mark2, e.left, obj.c_str(),
                         best.c_str(), bound.c_str(), its.c_str(), gap.c_str());
  if (traditional && e.hasBranch) {
    if (e.nodeId == 0) {
      line += fmt("%-16s %c %6lld %6s %6lld", "", ' ', 0LL, "", static_cast<long long>(e.depth));
    } else if (!e.branchName.empty()) {
      std::string name = e.branchName.substr(0, 16);
      line += fmt("%16s %c%6lld %6lld %6lld", name.c_str(), static_cast<char>(toupper(e.dir)), e.nodeId, e.parentId,
                  static_cast<long long>(e.depth));
    } else {
      const char k = e.branchKind == 'C' ? 'C' : e.branchKind == 'A' ? 'A' : 'X';
      line += fmt("%-16s %c %6lld %6lld %6lld", "", k, e.nodeId, e.parentId, static_cast<long long>(e.depth));
    }
  }
  line += "\n";
  return line;
}

void NodeLog::start(Env& env, const RunParams& rp, const model::Problem*) {
  env_ = &env;
  display_ = rp.display;
  interval_ = rp.display == 5 ? 1 : rp.interval;
  traditional_ = rp.search == 1;
  prefix_ = rp.intSolPrefix;
}

void NodeLog::printHeader() {
  Env& env = *env_;
  if (display_ < 2) {
    print(env, Chan::Results, "\nNode log . . .\n");
  } else {
    print(env, Chan::Results, "\n        Nodes                                         Cuts/\n");
    print(env, Chan::Results, "   Node  Left     Objective  IInf  Best Integer    Best Bound    ItCnt     Gap");
    if (traditional_) print(env, Chan::Results, "         Variable B NodeID Parent  Depth");
    print(env, Chan::Results, "\n\n");
  }
  header_ = true;
}

bool NodeLog::due(const LogEntry& e) {
  if (!e.nodeEntry) return nodeEntries_ == 0 || e.newIncumbent;
  if (e.newIncumbent) return true;
  if (interval_ > 0) return e.nodes % interval_ == 0;
  const double base = interval_ == 0 ? 1000.0 : -static_cast<double>(interval_);
  const double f = nodeLines_ <= 9 ? 0.25 : nodeLines_ <= 99 ? 1.0 : nodeLines_ <= 999 ? 4.0 : nodeLines_ <= 9999 ? 16.0 : 64.0;
  const uint64_t now = env_->counter ? env_->counter->value : 0;
  if (!anyNodeLine_) return true;
  return static_cast<double>(now - lastWork_) >= base * f * 1000000.0;
}

void NodeLog::entry(const LogEntry& e) {
  lines(e);
  // Incumbent files: "<prefix>-00001.sol", "<prefix>-00002.sol", ...; a
  // failed write is reported and the search goes on.
  if (!env_ || !e.newIncumbent || prefix_.empty() || !writeIncumbent) return;
  const std::string name = fmt("%s-%05lld.sol", prefix_.c_str(), ++incumbentFiles_);
  const bool ok = writeIncumbent(name);
  if (ok) print(*env_, Chan::Results, "New incumbent written to file '%s'.\n", name.c_str());
  else print(*env_, Chan::Error, "Unable to write new incumbent to file '%s'.\n", name.c_str());
}

void NodeLog::lines(const LogEntry& e) {
  if (!env_ || display_ <= 0) return;
  Env& env = *env_;
  const bool printLine = display_ >= 2 && due(e);
  if (e.nodeEntry) ++nodeEntries_;
  if (display_ == 1) {
    if (!e.newIncumbent) return;
    if (!header_) printHeader();
    std::string bb;
    const double b = e.bestBound;
    if (e.sense > 0 ? b >= 1e74 : b <= -1e74) bb = e.sense > 0 ? "+inf" : "-inf";
    else bb = fmt("%14.6e", b);
    print(env, Chan::Results, "Best integer = %14.6e  Node = %7lld  Best node = %s\n", e.bestInteger, e.nodes, bb.c_str());
    flushChannel(env, Chan::Results);
    return;
  }
  if (!printLine) return;
  if (!header_ || display_ == 5) printHeader();
  print(env, Chan::Results, "%s", formatLogLine(e, traditional_).c_str());
  flushChannel(env, Chan::Results);
  flushChannel(env, Chan::Log);
  if (e.nodeEntry) {
    ++nodeLines_;
    anyNodeLine_ = true;
    lastWork_ = env.counter ? env.counter->value : 0;
    if (nodeLines_ % 10 == 1) {
      const double t = envTime(env) - startTime, ticks = detTicks(env) - startTicks;
      print(env, Chan::Results, "Elapsed time = %.2f sec. (%.2f ticks, tree = %.2f MB)\n", t, ticks,
            treeMB ? treeMB() : 0.0);
      if (nodeFiles && !nodeFiles->empty()) {
        if (nodeFiles->compressed())
          print(env, Chan::Results, "Nodefile size = %.2f MB (%.2f MB after compression)\n", nodeFiles->sizeMB(),
                nodeFiles->writtenMB());
        else
          print(env, Chan::Results, "Nodefile size = %.2f MB\n", nodeFiles->sizeMB());
      }
    }
  }
  if (e.newIncumbent && display_ >= 3) {
    const double t = envTime(env) - startTime, ticks = detTicks(env) - startTicks;
    if (std::fabs(e.bestInteger) < 1e7)
      print(env, Chan::Results, "Found incumbent of value %.6f after %.2f sec. (%.2f ticks)\n", e.bestInteger, t, ticks);
    else
      print(env, Chan::Results, "Found incumbent of value %.7e after %.2f sec. (%.2f ticks)\n", e.bestInteger, t, ticks);
  }
}

}  // namespace vnt::mip
