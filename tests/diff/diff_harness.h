// Differential harness: our optimizers through the C interface, the
// independent checks of every answer, the peers (CLP in process, GLPK's exact
// mode as a tie-breaker, HiGHS through python for batches) and the tallies.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "diff/diff_lp.h"
#include "vanto/vanto.h"

namespace vnt::diff {

// Tolerances of the independent checks (relative to the magnitudes involved).
struct Tol {
  double primal = 1e-6;   // bound and row violation
  double dual = 1e-6;     // reduced-cost and row-dual sign violation
  double dj = 1e-7;       // reported d against c - A'pi
  double objective = 1e-6;  // objective against peers and against c'x + offset
  // Margin a Farkas proof must clear, relative to the magnitude of its terms
  // (ten times it is the share of a column's magnitude below which y'a_j
  // counts as zero): far above the rounding of the long double sums, yet
  // within reach of models whose rows conflict by a relative 1e-10, which
  // no proof can beat by more.
  double cert = 1e-13;
  double ray = 1e-9;      // tolerance of the ray checks
  bool requireCertificate = true;  // a missing Farkas certificate (1265) is a failure
};

// Outcome classes shared by us and the peers.
enum class Outcome { None, Optimal, Infeasible, Unbounded, InfOrUnbd, OptUnscaledInf, IterLimit, Error, Other };
const char* outcomeName(Outcome o);

// One solve of ours.
struct Config {
  int method = 2;    // 0 automatic, 1 primal, 2 dual, 6 concurrent
  int scaling = 0;   // -1 off, 0 equilibration, 1 aggressive
  std::string name() const;
};

struct OurResult {
  int rc = 0;     // return code of the optimize call (or of loading the model)
  int stat = 0;   // VNTgetstat
  Outcome outcome = Outcome::None;
  double obj = 0;
  long long iters = 0;
  std::vector<double> x, pi, slack, dj;
  std::vector<int> cstat, rstat;
  bool haveBasis = false;
  int farkasRc = -1, rayRc = -1;
  std::vector<double> farkas, ray;
  double proof = 0;
};

struct PeerResult {
  Outcome outcome = Outcome::None;
  double obj = 0;  // including the offset, in the model's sense
  std::string detail;
};

// A file name base in dir, unique within the process.
std::string tempBase(const std::string& dir, const char* what);

// One glpsol run on an MPS text (free format) with the given options under a
// wall-clock timeout: its "Status:" text, objective and exit code.  written
// is false when the model could not be written.
struct GlpsolRun {
  bool written = false;
  std::string status;
  double obj = 0;
  int rc = -1;
};
GlpsolRun runGlpsol(const std::string& mpsText, const std::string& options, int timeoutSeconds,
                    const std::string& workDir, const char* what);

// A failed independent check: its kind and a readable detail.
struct CheckFailure {
  std::string kind;
  std::string detail;
};

// Environment wrapper of one thread; output channels stay quiet.
class Ours {
 public:
  Ours();
  ~Ours();
  Ours(const Ours&) = delete;
  Ours& operator=(const Ours&) = delete;
  VNTENVptr env() const { return env_; }
  // Loads lp into a fresh problem; returns null (and rc) when the interface refuses it.
  VNTLPptr load(const Lp& lp, int& rc);
  void release(VNTLPptr& p);
  // Optimize with config on a loaded problem and collect everything.
  OurResult solve(VNTLPptr p, const Lp& lp, const Config& c, bool advancedStart);
  OurResult solveFresh(const Lp& lp, const Config& c);
  static long long iterationCap(const Lp& lp);

 private:
  VNTENVptr env_ = nullptr;
};

// Independent checks of an answer against the original data, in long double.
std::vector<CheckFailure> checkAnswer(const Lp& lp, const OurResult& r, const Tol& t);

// Peers.
PeerResult solveClp(const Lp& lp);
bool glpsolAvailable();
// Exact rational solve of the written file (minimization form); objective
// reported in the model's sense including the offset.
PeerResult solveExact(const Lp& lp, const std::string& workDir, int seconds = 60);
// HiGHS through python/scipy for a batch of models; empty when unavailable.
bool highsAvailable();
std::vector<PeerResult> solveHighsBatch(const std::vector<const Lp*>& lps, const std::string& workDir);
// The batch file of highs_batch.py; ctypes (null, or one per model) adds the
// integrality codes of a MIP batch.  Runs the script ("lp" or "milp") from
// model `start` on and reads its lines 'index status objective'.
struct HighsAnswer {
  size_t index;
  int status;
  double obj;
};
void writeHighsBatch(const std::string& path, const std::vector<const Lp*>& lps,
                     const std::vector<const std::vector<char>*>* ctypes);
int runHighsBatch(const char* kind, const std::string& in, const std::string& out, size_t start,
                  std::vector<HighsAnswer>& answers);

// Does our outcome agree with a peer's?  Infeasible-or-unbounded answers of
// either side agree with infeasible and with unbounded.
bool agrees(const OurResult& ours, const PeerResult& peer, const Tol& t);
bool agreesOutcome(Outcome a, double aObj, const PeerResult& peer, const Tol& t);

// Writes the model as a regression/finding file through our own writer (keeps
// sense and offset) and the peer form next to it.
bool writeCaseFiles(Ours& ours, const Lp& lp, const std::string& pathNoExt);
// Reads a model file through our reader into the Lp form.
bool readModel(Ours& ours, const std::string& path, Lp& lp);

// ---------------------------------------------------------------------------
// Running cases: every configuration, the warm path, the classification.

struct RunOptions {
  bool concurrent = false;     // also the concurrent method
  bool scalingVariants = true; // scaling off and aggressive besides the default
  bool warm = true;            // warm re-solve path
  bool warmOffset = true;      // warm path changes the objective offset too
  bool exactTieBreak = true;   // glpsol --exact on disagreements
  bool skipPrimal = false;     // leave out the primal simplex
  int exactSeconds = 60;       // time limit of one exact solve
  std::string workDir = "/tmp";
  Tol tol;
};

struct SolveRecord {
  std::string config;     // e.g. "dual/scale0", "warm-primal"
  OurResult ours;
  PeerResult peer;        // CLP (or ours cold for the warm path)
  bool agree = false;
  bool explained = false;  // disagreement explained by the exact solve / another peer
  bool certified = false;  // ... or only by our own checked certificate (tolerance)
  std::string explanation;
  std::vector<CheckFailure> failures;
};

struct CaseReport {
  Case c;
  PeerResult clp;
  PeerResult exact;  // filled only when a tie-break ran
  Lp changed;         // the model of the warm path after its changes
  PeerResult clpWarm, exactWarm;
  std::vector<SolveRecord> solves;
  bool anyUnexplained() const;
  bool anyFailure() const;
  std::string summary() const;
};

CaseReport runCase(Ours& ours, const Case& c, const RunOptions& o);

// What a failing solve looks like: our outcome, the peer's, the failed checks.
std::string faultPrint(const SolveRecord& s);
// The smallest model (rows and columns removed) on which the configuration
// of `bad` still fails the same way, also after a round trip through the
// written file; the original model when no reduction keeps the fault.
Lp minimizeCase(Ours& ours, const Case& c, const RunOptions& o, const SolveRecord& bad);

// Bad data families: returns failures (empty when every path refused the data
// or ended in a non-optimal status without NaN).
std::vector<CheckFailure> runBadData(Ours& ours, const Case& c, int variant);

}  // namespace vnt::diff
