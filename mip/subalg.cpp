// The LP algorithm of the root and node LPs.  Automatic (0) and the dual (2)
// re-solve every node by the dual simplex from the parent's basis.  The
// primal (1) solves a node's first LP by the primal simplex from that basis
// (its cut rounds and strong branching stay with the dual: an interrupted
// dual is still a bound).  Algorithm 3: the network simplex on the network
// part of the working LP gives the starting basis that the dual simplex then
// finishes; the node's bounds shape the network (branching moves arc
// bounds), and the network simplex starts from its last basis.  Barrier (4)
// and sifting (5) are served by the dual simplex, as for a plain LP solve.
#include "mip/search.h"

namespace vnt::network {
// Weak, so that builds without the network subsystem solve every LP by the
// dual simplex.
__attribute__((weak)) NodeNetwork* createNodeNetwork(Env& env, const model::ModelData& lp, int rows);
__attribute__((weak)) void destroyNodeNetwork(NodeNetwork* nn);
__attribute__((weak)) bool nodeNetworkStart(Env& env, NodeNetwork& nn, const double* lo, const double* up, int m,
                                            int* cstat, int* rstat);
}  // namespace vnt::network

namespace vnt::mip {

namespace {
constexpr int kPrimalAlgorithm = 1;
constexpr long long kNoLimit = 9223372036800000000LL;
constexpr int kNetworkAlgorithm = 3;
}

simplex::LpStatus Search::solveNodeLp(bool root) {
  if ((root ? rp.startAlg : rp.subAlg) != kPrimalAlgorithm) return solveLp();
  simplex::LpOptions& o = engine->options();
  o.iterationLimit = kNoLimit;
  o.objectiveLimit = 1e75;
  ++primalNodeLps_;
  return engine->solvePrimal();
}

void Search::prepareNetwork(Env& env) {
  nodeNet_.reset();
  if (rp.startAlg != kNetworkAlgorithm && rp.subAlg != kNetworkAlgorithm) return;
  if (&network::createNodeNetwork == nullptr || !w.lp.qobj.empty()) return;
  // The model's own rows only: rows the search adds later (piecewise-linear
  // and indicator rows, cuts) start basic.
  if (network::NodeNetwork* nn = network::createNodeNetwork(env, w.lp, w.m0))
    nodeNet_.reset(nn, [](network::NodeNetwork* p) { network::destroyNodeNetwork(p); });
}

void Search::networkStart(bool root) {
  if (!nodeNet_ || (root ? rp.startAlg : rp.subAlg) != kNetworkAlgorithm) return;
  cstat_.resize(w.n);
  rstat_.resize(w.m);
  if (!network::nodeNetworkStart(*env_, *nodeNet_, curLo.data(), curUp.data(), w.m, cstat_.data(), rstat_.data()))
    return;
  // The engine's basis goes (the network's replaces it): the next solve
  // starts with fresh dual weights.
  engine->setBasis(cstat_.data(), rstat_.data());
}

}  // namespace vnt::mip
