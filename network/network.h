// The network problem object (struct vntnet behind VNTNETptr) and the
// network subsystem's entry points used by other subsystems: solving a
// network, reading and writing network and basis files, and extracting a
// network from the rows of an LP.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "env/env.h"
#include "vanto/vanto.h"

namespace vnt::model {
struct Problem;
struct ModelData;
}

namespace vnt::network {

inline constexpr uint32_t kNetMagic = 0x4E65744E;  // "NetN"

// Basis statuses of arcs (as for columns) and nodes (as for rows).
inline constexpr int kAtLower = 0;
inline constexpr int kBasic = 1;
inline constexpr int kAtUpper = 2;
inline constexpr int kFreeNonbasic = 3;

struct NetSolution {
  int stat = 0;  // 0: none
  double objval = 0.0;
  std::vector<double> x, pi, dj, slack;
  std::vector<int> astat, nstat;
  bool primalFeasible = false, dualFeasible = false;
  long long itcnt = 0, phase1cnt = 0;
};

struct NetProblem {
  uint32_t magic = kNetMagic;
  Env* env = nullptr;  // the environment that created it
  NetProblem* self = nullptr;
  std::string name;    // UTF-8
  int objsen = 1;
  std::vector<double> supply;
  std::vector<std::string> nodeName;  // "" means no name yet
  std::vector<int> tail, head;
  std::vector<double> lb, ub, obj;
  std::vector<std::string> arcName;
  bool nodeNames = false, arcNames = false;  // names present
  NetSolution sol;
  // Start basis (empty: none): set by the last solve or by copybase.
  std::vector<int> startArc, startNode;
  // Name lookup, rebuilt on demand.
  std::unordered_map<std::string, int> nodeIndex, arcIndex;
  bool nodeIndexValid = false, arcIndexValid = false;

  int nodes() const { return static_cast<int>(supply.size()); }
  int arcs() const { return static_cast<int>(tail.size()); }
  // Any change of the data: the solution goes, the start basis stays.
  void changed() { sol = NetSolution(); }
};

// Creation and release through the environment's registry.
int createNet(Env& env, const std::string& name, NetProblem** out);
void destroyNet(Env& env, NetProblem* net);
// Handle check: 1009 when not a network problem of this environment.
int checkNet(const Env& env, const void* handle, NetProblem** out);

// Replace the whole content (used by the file reader and the extraction).
void assignNet(NetProblem& net, NetProblem&& staged);

// Default names for nodes / arcs without one, announced once per call.
void ensureNodeNames(Env& env, NetProblem& net);
void ensureArcNames(Env& env, NetProblem& net);

// Solve by the network simplex with the environment's network parameters;
// the solution is stored on the problem.  With `summary` the closing summary
// lines are printed (display on).  With `ownLimits` the solve runs under the
// time limits of the parameters, else under the caller's.  Returns a status
// code.
int solveNet(Env& env, NetProblem& net, bool summary, bool ownLimits = true);

// Files.
int writeNetFile(Env& env, NetProblem& net, const char* filename, const char* format);
int readNetFile(Env& env, NetProblem& net, const char* filename);
int writeNetBasis(Env& env, NetProblem& net, const char* filename);
int readNetBasis(Env& env, NetProblem& net, const char* filename);

// LP method 3: extract the largest network the network-finding setting
// allows, solve it by the network simplex and finish the LP by the given
// simplex method (1 primal, 2 dual) from the network's basis.
int hybridOptimize(Env& env, model::Problem& p, int lpMethod);
// Extract the network of an LP into `net`; colmap / rowmap (optional) get
// the arc of each column and the node of each row (-1 when none).
int extractInto(Env& env, model::Problem& p, NetProblem& net, int* colmap, int* rowmap);

// Node LPs of a MIP by the network simplex (sub-problem algorithm 3).  The
// network of the LP's first `rows` rows is extracted once.  nodeNetworkStart
// solves it under the node's bounds (lo/up: columns 0..n-1, then the
// activity limits of the rows), warm from the last network basis, and writes
// a starting basis of the whole LP (m rows, rows from `rows` on basic) for
// the simplex to finish.  False, with nothing written, when there is no
// network, a network row's limits moved since the extraction, or the basis
// does not come out square.
struct NodeNetwork;
NodeNetwork* createNodeNetwork(Env& env, const model::ModelData& lp, int rows);
void destroyNodeNetwork(NodeNetwork* nn);
bool nodeNetworkStart(Env& env, NodeNetwork& nn, const double* lo, const double* up, int m, int* cstat,
                      int* rstat);
// Network solves made by nodeNetworkStart in this process.
long long nodeNetworkSolves();

}  // namespace vnt::network
