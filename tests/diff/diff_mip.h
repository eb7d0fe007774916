// Randomized differential testing of the MIP optimizer: generated models with
// every column and row kind, solved by VNTmipopt in several settings, every
// answer checked from the model data, compared with CBC (its command-line
// program) and HiGHS (scipy's milp), with GLPK's branch and bound as a third
// opinion where we and a peer disagree.
#pragma once

#include <string>
#include <vector>

#include "diff/diff_harness.h"

namespace vnt::diff {

struct SosSet {
  char type = '1';          // '1' or '2'
  std::vector<int> ind;     // members in weight order
  std::vector<double> wt;   // increasing weights
};

// A MIP: the LP data plus column types ('C', 'B', 'I', 'S' semi-continuous,
// 'N' semi-integer: 0 or within [lb, ub]) and special ordered sets.
struct Mip {
  Lp lp;
  std::vector<char> ctype;
  std::vector<SosSet> sos;
  bool hasSemi() const;
};

enum class MipFamily {
  Mix,        // every bound and row kind, binaries, general integers, continuous
  Knapsack,   // multi-row knapsacks, binaries and bounded integers
  SetCover,   // covering rows >= 1 (some >= 2) over binary sets
  SetPart,    // partitioning rows = 1 with a planted partition
  FixCharge,  // facility location: flows switched on by binaries (x <= u y)
  BigM,       // disjunctive scheduling rows with big-M constants up to 1e6
  Scaled,     // the Mix family with rows and continuous columns scaled 1e-3..1e3
  Infeas,     // integer infeasible (parity rows, empty knapsacks) or LP infeasible
  Unbd,       // a feasible integer point and an improving integer ray
  Semi,       // semi-continuous and semi-integer columns
  Sos,        // SOS1 and SOS2 sets over bounded columns
  kCount
};
const char* mipFamilyName(MipFamily f);
bool mipFamilyFromName(const std::string& s, MipFamily& f);

struct MipCase {
  uint64_t id = 0;
  MipFamily family = MipFamily::Mix;
  Intent intent = Intent::Optimal;
  Mip mip;
  std::vector<double> planted;  // a feasible point built into the model (empty when none is known)
  std::string note;
};

MipCase generateMip(uint64_t id, MipFamily family);

// The same model without semi-continuous columns and special ordered sets:
// each becomes binaries and rows (x <= u z, x >= l z; one switch per set
// member or per SOS2 segment, at most one switch on).  Needs finite upper
// bounds on those columns, which the generator gives them.
Mip reformulate(const Mip& m);

// MPS text with integer markers; semi-continuous bounds (SC) and an SOS
// section when the model has them.  Free format, first N row the objective,
// minimization form without the offset; freeTag marks the format on the NAME
// line for readers that guess it otherwise.
std::string toMipMps(const Mip& m, const std::string& name, bool freeTag = false);

// Reads a model file (columns types included; sets are not read back) through
// our reader.
bool readMip(Ours& ours, const std::string& path, Mip& m);

// One MIP solve of ours.
struct MipConfig {
  std::string name;        // default, nopre, plain, deep
  double seconds = 10;     // time limit (wall); a limit a peer did not need is a failure
};
struct MipResult {
  int rc = 0, stat = 0;
  Outcome outcome = Outcome::None;  // Optimal, Infeasible, Unbounded, InfOrUnbd, IterLimit (a limit), Error, Other
  double obj = 0, bound = 0;
  std::vector<double> x;
  long long nodes = 0;
};

struct MipTol {
  double integrality = 1e-5;  // distance of an integer column from an integer
  double primal = 1e-6;       // bound and row violation (relative to the row's magnitudes)
  double objective = 1e-6;    // relative, against peers and against c'x + offset
  // Off: row violations and objective differences up to ten times the
  // tolerance count as tolerance effects (kinds ending in kSoftSuffix, an
  // explained disagreement); on: as failures.
  bool strict = false;
};

// Kinds of check results that are tolerance effects, not failures.
constexpr const char* kSoftSuffix = "~tol";
bool isSoftKind(const std::string& kind);
bool anyHardFailure(const std::vector<CheckFailure>& f);

// Solves with our MIP optimizer (node, time caps; quiet).
MipResult solveOursMip(Ours& ours, const Mip& m, const MipConfig& c, const std::string& workDir);
// Independent checks of our answer on the original model: integrality, bounds,
// semi-continuous domains, sets, rows (also with the integer values rounded),
// the objective recomputed, the best bound on the right side of it.
std::vector<CheckFailure> checkMipAnswer(const Mip& m, const MipResult& r, const MipTol& t);

// Peers, on the reformulated model where they cannot express a restriction.
bool cbcAvailable();
PeerResult solveCbc(const Mip& m, const std::string& workDir, int seconds = 60);
PeerResult solveGlpkMip(const Mip& m, const std::string& workDir, int seconds = 60);
std::vector<PeerResult> solveHighsMipBatch(const std::vector<const Mip*>& ms, const std::string& workDir);

bool agreesMip(const MipResult& ours, const PeerResult& peer, const MipTol& t);

struct MipSolveRecord {
  std::string config;
  MipResult ours;
  bool agree = false, explained = false, limit = false;
  bool tolerance = false;  // explained as a tolerance effect
  std::string explanation;
  std::vector<CheckFailure> failures;
};

struct MipCaseReport {
  MipCase c;
  PeerResult cbc, glpk, highs;  // glpk and highs filled only on a disagreement
  std::vector<MipSolveRecord> solves;
  bool anyUnexplained() const;
  bool anyFailure() const;
  std::string summary() const;
};

struct MipRunOptions {
  bool allConfigs = true;   // nopre, plain (and deep on every fourth case) besides default
  bool tieBreak = true;     // GLPK and HiGHS on a disagreement
  double seconds = 10;      // our time limit per solve
  std::string workDir = "/tmp";
  MipTol tol;
};

MipCaseReport runMipCase(Ours& ours, const MipCase& c, const MipRunOptions& o);

// The smallest model (rows, then columns removed) on which the first failing
// configuration still fails the same way.
Mip minimizeMipCase(Ours& ours, const MipCase& c, const MipRunOptions& o);

}  // namespace vnt::diff
