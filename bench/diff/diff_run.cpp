// Long differential run: generated LPs of every family solved by all our
// methods, checked from the model data, compared with CLP in process, with
// HiGHS (python scipy) in batches, and with GLPK's exact simplex where a peer
// and we disagree; generated MIPs (the mip* families and the structured
// ones) solved in several settings, checked from the model data, compared
// with CBC and HiGHS, with GLPK's branch and bound as a third opinion.
// Prints the totals per family.
//
//   diff_run [--cases N] [--start S] [--families a,b,...] [--open all|list]
//            [--highs K] [--out DIR] [--minimize] [--quiet] [--dump] [--minutes M]
//   diff_run --file MODEL [--minimize]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "diff/diff_harness.h"
#include "diff/diff_mip.h"
#include "diff/diff_options.h"

using namespace vnt::diff;

namespace {

struct Tally {
  long cases = 0, solves = 0, agree = 0, explained = 0, certified = 0, unexplained = 0, failedCases = 0;
  long highsFailed = 0, highsCompared = 0, highsAgree = 0, highsExplained = 0, highsUnexplained = 0;
  std::map<std::string, long> failures;  // kind -> solves
  std::map<std::string, long> clp;       // peer outcome -> cases
};

struct MipTally {
  long cases = 0, solves = 0, agree = 0, explained = 0, tolerance = 0, unexplained = 0, limit = 0, failedCases = 0;
  long highsFailed = 0, highsCompared = 0, highsAgree = 0, highsExplained = 0, highsUnexplained = 0;
  std::map<std::string, long> failures;  // kind -> solves
  std::map<std::string, long> cbc;       // peer outcome -> cases
};

// One entry of the rotation: an LP family or a MIP family.
struct Slot {
  bool mip = false;
  Family lp = Family::Mixed;
  MipFamily mf = MipFamily::Mix;
  std::string name() const { return mip ? mipFamilyName(mf) : familyName(lp); }
};

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  size_t p = 0;
  while (p <= s.size()) {
    size_t q = s.find(',', p);
    if (q == std::string::npos) q = s.size();
    if (q > p) out.push_back(s.substr(p, q - p));
    p = q + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  long cases = 20000, start = 1000000;
  int highsBatch = 200;
  std::string out = "/tmp/diff_run", famArg;
  bool doMinimize = false, quiet = false, dump = false;
  double minutes = 0;  // stop after this wall time (0: no limit)
  for (int a = 1; a < argc; ++a) {
    const std::string s = argv[a];
    auto next = [&]() { return a + 1 < argc ? std::string(argv[++a]) : std::string(); };
    if (s == "--cases") cases = std::stol(next());
    else if (s == "--start") start = std::stol(next());
    else if (s == "--families") famArg = next();
    else if (s == "--open") setenv("VANTO_DIFF_OPEN", next().c_str(), 1);
    else if (s == "--highs") highsBatch = std::stoi(next());
    else if (s == "--out") out = next();
    else if (s == "--minimize") doMinimize = true;
    else if (s == "--quiet") quiet = true;
    else if (s == "--dump") dump = true;
    else if (s == "--minutes") minutes = std::stod(next());
    else if (s == "--file" && a + 1 < argc) {
      for (int b = a + 2; b < argc; ++b) doMinimize = doMinimize || std::string(argv[b]) == "--minimize";
      // One model file: every configuration, each result printed.
      Ours ours;
      Case c;
      c.note = next();
      if (!readModel(ours, c.note, c.lp)) { std::fprintf(stderr, "cannot read %s\n", c.note.c_str()); return 2; }
      RunOptions o;
      o.concurrent = true;
      o.tol.requireCertificate = openEnabled("certificate");
      o.warmOffset = true;
      const CaseReport rep = runCase(ours, c, o);
      std::printf("%s\n", rep.summary().c_str());
      for (const auto& r : rep.solves)
        std::printf("  %-40s %-12s status %d obj %.12g it %lld\n", r.config.c_str(), outcomeName(r.ours.outcome),
                    r.ours.stat, r.ours.obj, r.ours.iters);
      for (const auto& r : rep.solves) {
        if (!doMinimize || r.config.rfind("warm", 0) == 0 || (r.failures.empty() && (r.agree || r.explained)))
          continue;
        const Lp small = minimizeCase(ours, c, o, r);
        writeFile(c.note + ".min.mps", toMps(small, "diff"));
        std::printf("minimized (%s) to %dx%d: %s.min.mps\n", r.config.c_str(), small.m, small.n, c.note.c_str());
        break;
      }
      return rep.anyUnexplained() || rep.anyFailure() ? 1 : 0;
    }
    else { std::fprintf(stderr, "unknown argument %s\n", s.c_str()); return 2; }
  }
  std::vector<Slot> fams;
  if (famArg.empty()) {
    for (int k = 0; k < static_cast<int>(Family::kCount); ++k) {
      const Family f = static_cast<Family>(k);
      fams.push_back({false, f, MipFamily::Mix});
    }
    for (int k = 0; k < static_cast<int>(MipFamily::kCount); ++k)
      fams.push_back({true, Family::Mixed, static_cast<MipFamily>(k)});
  } else {
    for (const auto& name : split(famArg)) {
      Slot sl;
      if (name == "mip") {  // every MIP family
        for (int k = 0; k < static_cast<int>(MipFamily::kCount); ++k)
          fams.push_back({true, Family::Mixed, static_cast<MipFamily>(k)});
        continue;
      }
      if (name == "lp") {  // every LP family
        for (int k = 0; k < static_cast<int>(Family::kCount); ++k)
          fams.push_back({false, static_cast<Family>(k), MipFamily::Mix});
        continue;
      }
      if (mipFamilyFromName(name, sl.mf)) sl.mip = true;
      else if (!familyFromName(name, sl.lp)) { std::fprintf(stderr, "unknown family %s\n", name.c_str()); return 2; }
      fams.push_back(sl);
    }
  }
  std::system(("mkdir -p '" + out + "'").c_str());
  std::printf("open-fault switches on:");
  for (const auto& s : openFaultSwitches())
    if (openEnabled(s)) std::printf(" %s", s.c_str());
  std::printf("\nHiGHS peer: %s; exact tie-break: %s; CBC (MIP peer): %s\n",
              highsBatch > 0 && highsAvailable() ? "yes" : "no", glpsolAvailable() ? "yes" : "no",
              cbcAvailable() ? "yes" : "no");
  Ours ours;
  GenOptions g;
  std::map<Family, Tally> tally;
  std::vector<Case> batch;
  std::vector<OurResult> batchOurs;
  std::map<MipFamily, MipTally> mipTally;
  std::vector<MipCase> mipBatch;
  std::vector<MipResult> mipBatchOurs;
  const auto t0 = std::chrono::steady_clock::now();
  FILE* log = std::fopen((out + "/failures.txt").c_str(), "w");

  auto flushHighs = [&]() {
    if (batch.empty()) return;
    std::vector<const Lp*> lps;
    for (const auto& c : batch) lps.push_back(&c.lp);
    const auto res = solveHighsBatch(lps, out);
    RunOptions o;
    for (size_t k = 0; k < res.size(); ++k) {
      Tally& t = tally[batch[k].family];
      if (res[k].outcome == Outcome::Error || res[k].outcome == Outcome::None) {
        ++t.highsFailed;  // the peer gave no answer (error status or crash)
        continue;
      }
      ++t.highsCompared;
      if (agrees(batchOurs[k], res[k], o.tol)) { ++t.highsAgree; continue; }
      const PeerResult ex = solveExact(batch[k].lp, out);
      if (agrees(batchOurs[k], ex, o.tol)) { ++t.highsExplained; continue; }
      ++t.highsUnexplained;
      std::fprintf(log, "HIGHS case %llu %s: ours %s %.10g, highs %s %.10g, exact %s %.10g\n",
                   static_cast<unsigned long long>(batch[k].id), familyName(batch[k].family),
                   outcomeName(batchOurs[k].outcome), batchOurs[k].obj, outcomeName(res[k].outcome), res[k].obj,
                   outcomeName(ex.outcome), ex.obj);
      writeFile(out + "/highs_" + familyName(batch[k].family) + "_" + std::to_string(batch[k].id) + ".mps",
                toMps(batch[k].lp, "diff"));
    }
    batch.clear();
    batchOurs.clear();
  };

  // HiGHS on a batch of MIPs against our default solve; GLPK's branch and
  // bound decides where the two differ.
  auto flushMipHighs = [&]() {
    if (mipBatch.empty()) return;
    std::vector<const Mip*> ms;
    for (const auto& c : mipBatch) ms.push_back(&c.mip);
    const auto res = solveHighsMipBatch(ms, out);
    const MipTol tol;
    for (size_t k = 0; k < res.size(); ++k) {
      MipTally& t = mipTally[mipBatch[k].family];
      const MipResult& our = mipBatchOurs[k];
      if (res[k].outcome == Outcome::Error || res[k].outcome == Outcome::None ||
          res[k].outcome == Outcome::IterLimit || our.outcome == Outcome::IterLimit) {
        ++t.highsFailed;
        continue;
      }
      ++t.highsCompared;
      if (agreesMip(our, res[k], tol)) { ++t.highsAgree; continue; }
      // Unbounded with a point that passes the checks, on a model built
      // with an improving integer ray.
      if (our.outcome == Outcome::Unbounded && mipBatch[k].intent == Intent::Unbounded &&
          !anyHardFailure(checkMipAnswer(mipBatch[k].mip, our, tol))) {
        ++t.highsExplained;
        continue;
      }
      const PeerResult gl = solveGlpkMip(mipBatch[k].mip, out);
      if (agreesMip(our, gl, tol)) { ++t.highsExplained; continue; }
      ++t.highsUnexplained;
      std::fprintf(log, "HIGHS mip case %llu %s: ours %s %.10g, highs %s %.10g, glpk %s %.10g\n",
                   static_cast<unsigned long long>(mipBatch[k].id), mipFamilyName(mipBatch[k].family),
                   outcomeName(our.outcome), our.obj, outcomeName(res[k].outcome), res[k].obj,
                   outcomeName(gl.outcome), gl.obj);
      writeFile(out + "/highs_" + mipFamilyName(mipBatch[k].family) + "_" + std::to_string(mipBatch[k].id) + ".mps",
                toMipMps(mipBatch[k].mip, "diff"));
    }
    mipBatch.clear();
    mipBatchOurs.clear();
  };

  for (long k = 0; k < cases; ++k) {
    if (minutes > 0 && k % fams.size() == 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() > minutes * 60) {
      std::printf("stopped at the time limit after %ld cases\n", k);
      break;
    }
    const Slot slot = fams[k % fams.size()];
    const uint64_t id = static_cast<uint64_t>(start + k / static_cast<long>(fams.size()));
    if (slot.mip) {
      const MipCase mc = generateMip(id, slot.mf);
      const std::string base = out + "/" + mipFamilyName(slot.mf) + "_" + std::to_string(id);
      if (dump) {
        writeFile(base + ".all.mps", toMipMps(mc.mip, "diff"));
        writeFile(base + ".peer.mps", toMipMps(reformulate(mc.mip), "diff"));
      }
      MipTally& t = mipTally[slot.mf];
      ++t.cases;
      MipRunOptions mo;
      mo.workDir = out;
      mo.tol.strict = openEnabled("miptol");
      const MipCaseReport rep = runMipCase(ours, mc, mo);
      ++t.cbc[outcomeName(rep.cbc.outcome)];
      bool caseFailed = false;
      for (const auto& s : rep.solves) {
        ++t.solves;
        if (s.agree) ++t.agree;
        else if (s.limit) ++t.limit;
        else if (s.explained) ++t.explained;
        else ++t.unexplained;
        for (const auto& f : s.failures) ++t.failures[f.kind];
        if (s.tolerance) ++t.tolerance;
        caseFailed = caseFailed || anyHardFailure(s.failures) || (!s.agree && !s.explained && !s.limit);
      }
      if (caseFailed) {
        ++t.failedCases;
        std::fprintf(log, "%s\n", rep.summary().c_str());
        writeFile(base + ".mps", toMipMps(mc.mip, "diff"));
        if (doMinimize) {
          const Mip small = minimizeMipCase(ours, mc, mo);
          writeFile(base + ".min.mps", toMipMps(small, "diff"));
          std::fprintf(log, "  minimized to %dx%d: %s.min.mps\n", small.lp.m, small.lp.n, base.c_str());
        }
      }
      if (highsBatch > 0) {
        mipBatch.push_back(mc);
        mipBatchOurs.push_back(rep.solves.front().ours);
        if (static_cast<int>(mipBatch.size()) >= highsBatch / 4) flushMipHighs();
      }
      std::fflush(log);
      continue;
    }
    const Family fam = slot.lp;
    const Case c = generate(id, fam, g);
    if (dump) writeFile(out + "/" + familyName(fam) + "_" + std::to_string(id) + ".all.mps", toMps(c.lp, "diff"));
    Tally& t = tally[fam];
    ++t.cases;
    if (fam == Family::BadData) {
      const auto f = runBadData(ours, c, static_cast<int>(id));
      ++t.solves;
      if (f.empty()) ++t.agree;
      else {
        ++t.failedCases;
        for (const auto& x : f) ++t.failures[x.kind];
        std::fprintf(log, "case %llu baddata: %s\n", static_cast<unsigned long long>(id), f[0].detail.c_str());
      }
      continue;
    }
    RunOptions o;
    o.tol.requireCertificate = openEnabled("certificate");
    o.concurrent = k % 10 == 0;
    o.warmOffset = true;
    o.workDir = out;
    const CaseReport rep = runCase(ours, c, o);
    ++t.clp[outcomeName(rep.clp.outcome)];
    bool caseFailed = false;
    for (const auto& s : rep.solves) {
      ++t.solves;
      if (s.agree) ++t.agree;
      else if (s.certified) ++t.certified;
      else if (s.explained) ++t.explained;
      else ++t.unexplained;
      for (const auto& f : s.failures) ++t.failures[f.kind];
      caseFailed = caseFailed || !s.failures.empty() || (!s.agree && !s.explained);
    }
    if (caseFailed) {
      ++t.failedCases;
      std::fprintf(log, "%s\n", rep.summary().c_str());
      const std::string base = out + "/" + familyName(fam) + "_" + std::to_string(id);
      writeFile(base + ".mps", toMps(c.lp, "diff"));
      if (rep.changed.n > 0) writeFile(base + ".changed.mps", toMps(rep.changed, "diff"));
      if (doMinimize) {
        // The smallest model on which the first failing configuration still fails.
        const SolveRecord* bad = nullptr;
        for (const auto& s : rep.solves)
          if (!s.failures.empty() || (!s.agree && !s.explained)) { bad = &s; break; }
        if (bad && bad->config.rfind("warm", 0) != 0) {
          const Lp small = minimizeCase(ours, c, o, *bad);
          writeFile(base + ".min.mps", toMps(small, "diff"));
          std::fprintf(log, "  minimized to %dx%d: %s.min.mps\n", small.m, small.n, base.c_str());
        }
      }
    }
    if (highsBatch > 0) {
      batch.push_back(c);
      for (const auto& sr : rep.solves)
        if (sr.config == "dual/scale0") batchOurs.push_back(sr.ours);
      if (static_cast<int>(batch.size()) >= highsBatch) flushHighs();
    }
    if (!quiet && (k + 1) % 1000 == 0) {
      const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      std::fprintf(stderr, "%ld cases, %.0f s\n", k + 1, sec);
    }
    std::fflush(log);
  }
  flushHighs();
  flushMipHighs();
  std::fclose(log);
  const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  Tally all;
  std::printf("\n%-9s %7s %7s %8s %9s %9s %11s %7s | %6s %6s %6s %6s | %s\n", "family", "cases", "solves", "agree",
              "expl-peer", "expl-cert", "unexplained", "failed", "highs", "agree", "expl", "unexpl", "check failures (solves)");
  for (const auto& [fam, t] : tally) {
    std::string fails;
    for (const auto& [kind, n] : t.failures) fails += kind + "=" + std::to_string(n) + " ";
    std::printf("%-9s %7ld %7ld %8ld %9ld %9ld %11ld %7ld | %6ld %6ld %6ld %6ld | %s\n", familyName(fam), t.cases,
                t.solves, t.agree, t.explained, t.certified, t.unexplained, t.failedCases, t.highsCompared, t.highsAgree, t.highsExplained,
                t.highsUnexplained, fails.empty() ? "-" : fails.c_str());
    all.cases += t.cases; all.solves += t.solves; all.agree += t.agree; all.explained += t.explained; all.certified += t.certified;
    all.unexplained += t.unexplained; all.failedCases += t.failedCases;
    all.highsCompared += t.highsCompared; all.highsFailed += t.highsFailed; all.highsAgree += t.highsAgree;
    all.highsExplained += t.highsExplained; all.highsUnexplained += t.highsUnexplained;
    for (const auto& [kind, n] : t.failures) all.failures[kind] += n;
  }
  std::string fails;
  for (const auto& [kind, n] : all.failures) fails += kind + "=" + std::to_string(n) + " ";
  std::printf("%-9s %7ld %7ld %8ld %9ld %9ld %11ld %7ld | %6ld %6ld %6ld %6ld | %s\n", "TOTAL", all.cases,
              all.solves, all.agree, all.explained, all.certified, all.unexplained, all.failedCases, all.highsCompared, all.highsAgree,
              all.highsExplained, all.highsUnexplained, fails.empty() ? "-" : fails.c_str());
  std::printf("HiGHS gave no answer on %ld models (error status or crash; not compared)\n", all.highsFailed);
  std::printf("peer (CLP) outcomes:");
  std::map<std::string, long> clpAll;
  for (const auto& [fam, t] : tally)
    for (const auto& [k, n] : t.clp) clpAll[k] += n;
  for (const auto& [k, n] : clpAll) std::printf(" %s=%ld", k.c_str(), n);
  MipTally mall;
  if (!mipTally.empty()) {
    std::printf("\nMIP families (peer CBC; GLPK and HiGHS on a disagreement; HiGHS batch against the default setting)\n");
    std::printf("%-10s %6s %6s %6s %5s %6s %5s %6s | %6s %6s %5s %6s %5s | %s\n", "family", "cases", "solves",
                "agree", "expl", "unexpl", "limit", "failed", "highs", "agree", "expl", "unexpl", "none",
                "check failures (solves)");
    auto row = [](const char* name, const MipTally& t) {
      std::string kinds;
      for (const auto& [kind, n] : t.failures) kinds += kind + "=" + std::to_string(n) + " ";
      std::printf("%-10s %6ld %6ld %6ld %5ld %6ld %5ld %6ld | %6ld %6ld %5ld %6ld %5ld | %s\n", name, t.cases,
                  t.solves, t.agree, t.explained, t.unexplained, t.limit, t.failedCases, t.highsCompared,
                  t.highsAgree, t.highsExplained, t.highsUnexplained, t.highsFailed, kinds.empty() ? "-" : kinds.c_str());
    };
    for (const auto& [fam, t] : mipTally) {
      row(mipFamilyName(fam), t);
      mall.cases += t.cases; mall.solves += t.solves; mall.agree += t.agree; mall.explained += t.explained;
      mall.tolerance += t.tolerance;
      mall.unexplained += t.unexplained; mall.limit += t.limit; mall.failedCases += t.failedCases;
      mall.highsCompared += t.highsCompared; mall.highsAgree += t.highsAgree; mall.highsExplained += t.highsExplained;
      mall.highsUnexplained += t.highsUnexplained; mall.highsFailed += t.highsFailed;
      for (const auto& [kind, n] : t.failures) mall.failures[kind] += n;
      for (const auto& [kind, n] : t.cbc) mall.cbc[kind] += n;
    }
    row("TOTAL", mall);
    std::printf("explained as tolerance effects (objective within 1e-5 relative, answer passes the checks): %ld solves;\n"
                "kinds ending in ~tol: violations up to ten times the tolerance (not failures)\n", mall.tolerance);
    std::printf("peer (CBC) outcomes:");
    for (const auto& [k, n] : mall.cbc) std::printf(" %s=%ld", k.c_str(), n);
    std::printf("\n");
  }
  std::printf("\n%.0f s wall; failing cases in %s/failures.txt\n", sec, out.c_str());
  long mipHard = 0;
  for (const auto& [kind, n] : mall.failures)
    if (!isSoftKind(kind)) mipHard += n;
  return all.unexplained == 0 && all.failures.empty() && mall.unexplained == 0 && mipHard == 0 ? 0 : 1;
}
