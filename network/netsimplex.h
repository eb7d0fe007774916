// Primal network simplex for minimum-cost flow.
//
// The engine works on an internal network: nodes 0..n-1 plus an artificial
// root n, arcs 0..m-1 with lower bound 0, a capacity (possibly infinite) and
// a cost, and one artificial arc between every node and the root.  The caller
// (NetSolver in netsolve.cpp) maps a network problem with arbitrary bounds
// onto it.
//
// The basis is a spanning tree rooted at the artificial root, held with the
// parent / predecessor-arc / thread / reverse-thread / subtree-size /
// last-successor indices, so that a pivot touches only the cycle and the
// moved subtree.  The tree is kept strongly feasible (the leaving arc is the
// last blocking arc of the cycle traversed from its apex), which rules out
// cycling on degenerate pivots.  Phase 1 is a big-M composite: artificial
// arcs cost M; an optimum that still carries artificial flow is confirmed by
// a pure infeasibility minimization before the network is declared
// infeasible.  All arrays are sized once per solve; a pivot never allocates.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace vnt::network {

inline constexpr double kNetInf = 1e20;  // data bound magnitude meaning "none"

// Status codes of a solve (the LP solution status values).
enum NetStatus : int {
  kNetOptimal = 1,
  kNetUnbounded = 2,
  kNetInfeasible = 3,
  kNetIterLimit = 10,
  kNetAborted = 13,
};

// Pricing rules.
enum class NetPricing : int {
  Block = 0,      // block search over consecutive arcs (default)
  Dantzig = 1,    // most violated arc over all arcs
  Candidates = 2, // candidate list refreshed by partial scans
};

struct NetSimplexOptions {
  double optimalityTol = 1e-6;
  double feasibilityTol = 1e-6;
  long long iterationLimit = INT64_MAX;
  NetPricing pricing = NetPricing::Block;
  // Without a caller's tree, start from the cheapest-path tree of the
  // transshipment nodes (crashTree) rather than the all-artificial tree.
  bool crashStart = true;
  // Called every logInterval iterations (0: never): phase (1 while
  // artificial flow remains), iterations, infeasibility and objective.
  long long logInterval = 0;
  std::function<void(int phase, long long it, double infeas, double obj)> log;
  // Polled every few hundred iterations: nonzero stops the solve with that
  // status (limits, termination).
  std::function<int()> poll;
};

class NetSimplex {
 public:
  // Internal network: n nodes, arcs given by tail/head/capacity/cost,
  // supplies of the nodes (outflow minus inflow must equal supply).  Arc
  // numbers in every call are the caller's; the engine stores the arcs in
  // its own order.
  // The vectors are taken over (move them in to save copies).
  void reset(int n, std::vector<int> tail, std::vector<int> head, std::vector<double> cap,
             std::vector<double> cost, std::vector<double> supply);

  // Arcs a and b are the two directions of one free arc: a start tree that
  // names one of them may use the other.
  void setTwin(int a, int b);

  // Starting point: initial state of each arc (0 at lower, 1 at upper; an arc
  // with infinite capacity stays at lower).  Optionally a tree: basicArc
  // marks arcs that are basic, basicNode marks nodes whose artificial arc is
  // basic; the tree is used when it spans, is primal feasible and strongly
  // feasible, else the artificial tree is built with the given nonbasic
  // states.
  void setStart(const std::vector<signed char>& atUpper, const std::vector<char>* basicArc,
                const std::vector<char>* basicNode);

  int solve(const NetSimplexOptions& opt);

  // Results in internal terms.
  double flow(int a) const { return flow_[slot_[a]]; }
  double potential(int v) const { return pi_[v] - pi_[root_]; }
  // 1 basic, 0 at lower, 2 at upper.
  int arcStatus(int a) const {
    a = slot_[a];
    return fixed_[a] ? 0 : state_[a] == 0 ? 1 : state_[a] > 0 ? 0 : 2;
  }
  bool nodeBasic(int v) const { return state_[m_ + v] == 0; }
  double artificialFlow(int v) const { return flow_[m_ + v]; }
  long long iterations() const { return iterations_; }
  // Work done so far in elementary steps (arcs priced, nodes updated).
  uint64_t work() const { return work_; }
  long long phase1Iterations() const { return phase1Iterations_; }
  double infeasibility() const;  // sum of artificial flows
  double objective() const;      // cost of the original arcs' flows
  bool usedStartTree() const { return usedStartTree_; }
  // Constant to subtract from the potentials so that a node hanging from the
  // root by an idle artificial arc has potential 0 (feasible solves).
  double potentialShift() const { return phase_ == 2 ? artCost_ : 0.0; }

 private:
  static constexpr signed char kLower = 1, kUpper = -1, kBasic = 0;

  void initArtificialTree();
  bool crashTree();
  bool installTree(const std::vector<char>& basicArc, const std::vector<char>& basicNode);
  void computePotentials();
  int findEntering(double tol);
  // Returns false when the cycle is unbounded.
  bool pivot(int in);
  void updateTree(int in, int uIn, int vIn, int uOut, int join, double sigma);
  double reducedCost(int a) const { return cost_[a] - pi_[tail_[a]] + pi_[head_[a]]; }
  int runPhase(const NetSimplexOptions& opt, bool* unbounded);
  void setArtificialCosts(double orig, double art);
  bool startUpper(int a) const { return !startUpper_.empty() && startUpper_[a] != 0; }
  void recomputeCost();

  int n_ = 0, m_ = 0, mAll_ = 0, root_ = 0;
  std::vector<int> slot_;  // the engine's index of each caller's arc (see reset)
  std::vector<int> tail_, head_;
  std::vector<double> cap_, cost_, flow_, supply_;
  std::vector<double> origCost_;  // the caller's costs (m arcs)
  std::vector<signed char> state_;
  std::vector<int> twin_;  // empty without free arcs
  std::vector<char> fixed_;  // zero capacity: never in the tree, never priced
  std::vector<signed char> startUpper_;  // empty: every arc starts at lower
  std::vector<char> startBasicArc_, startBasicNode_;
  bool haveStartTree_ = false, usedStartTree_ = false;

  // Tree.
  std::vector<int> parent_, pred_, thread_, revThread_, succNum_, lastSucc_;
  std::vector<signed char> predUp_;  // pred arc points from the node to its parent
  std::vector<double> pi_;
  double artCost_ = 1.0;
  double artFlow_ = 0.0;
  double totalCost_ = 0.0;  // cost of all flows at the current costs
  bool pureMode_ = false;   // minimizing the artificial flow alone
  long long lastLogged_ = -1;
  NetPricing opt_pricing_ = NetPricing::Block;

  // Pricing.
  int blockSize_ = 0, nextArc_ = 0;
  std::vector<int> cand_;
  int candCount_ = 0;
  int candMinor_ = 0;

  // Scratch of the tree update (sized n+1).
  std::vector<int> path_, pathLast_, pathSucc_, pathPred_, pieceFirst_, pieceLast_;

  long long iterations_ = 0, phase1Iterations_ = 0;
  uint64_t work_ = 0;
  int phase_ = 1;
};

}  // namespace vnt::network
