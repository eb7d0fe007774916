// LP algorithm 3 for the root and node LPs: the network simplex on the
// network part of the working LP gives the starting basis that the dual
// simplex then finishes.  The node's bounds shape the network (branching
// moves arc bounds), and the network simplex starts from its last basis.
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
constexpr int kNetworkAlgorithm = 3;
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
