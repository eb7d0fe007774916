// Parallel tree search in synchronized rounds.
//
// Each round the main search takes up to one node per worker from the store,
// in selection order.  A worker is a copy of the search with its own LP
// engine, node bounds, store and scratch, on its own child environment (its
// own work counter); it starts the round from the main search's incumbent,
// cutoff, global bounds and pseudo-costs, processes its node and plunges
// below it for a few nodes.  Whatever the main search must see -- node log
// entries, candidate solutions, pseudo-cost observations, the open children
// -- is recorded in the worker's log and merged in worker order after the
// round.  Nothing a worker does depends on another worker's round or on
// timing, so for a fixed thread count the search is the same from run to run.
//
// Workers run no sub-MIP heuristics and separate no cuts at their nodes (the
// cut rows of the root are part of every worker's LP).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "env/limits.h"
#include "mip/search.h"

namespace vnt::mip {

namespace {
// Nodes one worker processes in a round: its node and the plunge below it.
constexpr long long kPlungeNodes = 8;
// Identifiers a worker gives to the nodes it creates in a round start here;
// the merge renumbers them in creation order.
constexpr long long kLocalIds = 1LL << 52;

double seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A team of threads that run one job per round: thread 0 is the caller.
class Team {
 public:
  explicit Team(int n) {
    try {
      for (int i = 1; i < n; ++i) threads_.emplace_back([this, i]() { loop(i); });
    } catch (...) {
      // Fewer threads than asked: the caller runs with those it has.
    }
  }
  ~Team() {
    {
      std::lock_guard<std::mutex> lk(m_);
      quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  int size() const { return static_cast<int>(threads_.size()) + 1; }
  // Runs job(0..k-1), job(0) on the calling thread; returns when all ended.
  void run(int k, const std::function<void(int)>& job) {
    {
      std::lock_guard<std::mutex> lk(m_);
      job_ = &job;
      active_ = k;
      left_ = k - 1;
      ++round_;
    }
    if (k > 1) wake_.notify_all();
    job(0);
    std::unique_lock<std::mutex> lk(m_);
    done_.wait(lk, [this]() { return left_ == 0; });
  }

 private:
  void loop(int i) {
    long long seen = 0;
    for (;;) {
      const std::function<void(int)>* job = nullptr;
      {
        std::unique_lock<std::mutex> lk(m_);
        wake_.wait(lk, [&]() { return quit_ || round_ != seen; });
        if (quit_) return;
        seen = round_;
        if (i >= active_) continue;
        job = job_;
      }
      (*job)(i);
      std::lock_guard<std::mutex> lk(m_);
      if (--left_ == 0) done_.notify_one();
    }
  }
  std::vector<std::thread> threads_;
  std::mutex m_;
  std::condition_variable wake_, done_;
  const std::function<void(int)>* job_ = nullptr;
  long long round_ = 0;
  int active_ = 0, left_ = 0;
  bool quit_ = false;
};
}  // namespace

// What a worker did in a round, in the order it happened.
struct Search::WorkerLog {
  struct Event {
    char type = 'L';      // 'L' node log entry, 'S' candidate solution, 'P' pseudo-cost observation
    long long nodes = 0;  // the worker's node count when it happened
    // 'L'
    long long id = 0, parentId = 0;
    int depth = 0, branchCol = -1;
    char dir = ' ', branchKind = 'X';
    int kind = 0, lpStatus = 0;
    double obj = 0.0;
    long long iinf = 0;
    bool newInc = false, heur = false;
    // 'S'
    std::vector<double> xs, xo;
    // 'P'
    int col = -1;
    char pcDir = 'D';
    double dist = 0.0, gain = 0.0;
  };
  std::vector<Event> events;
  std::vector<Node> open;        // children left open (with the unfinished plunge node)
  std::unique_ptr<Node> stopped; // the node a limit interrupted
  int stop = 0;
  double busy = 0.0;             // seconds the worker's task took
  Env* env = nullptr;            // the worker's child environment
  uint64_t work0 = 0;            // its work counter at the start of the round
  // Main search values at the start of the round.
  long long nodes0 = 0, iterations0 = 0, strong0 = 0;
};

void Search::noteNode(const Node& nd, int kind, double obj, long long iinf, bool newInc, bool heur, int lpst) {
  WorkerLog::Event& e = worker_->events.emplace_back();
  e.type = 'L';
  e.nodes = nodeCount;
  e.id = nd.id;
  e.parentId = nd.parentId;
  e.depth = nd.depth;
  e.branchCol = nd.branchCol;
  e.dir = nd.dir;
  e.branchKind = nd.branchKind;
  e.kind = kind;
  e.lpStatus = lpst;
  e.obj = obj;
  e.iinf = iinf;
  e.newInc = newInc;
  e.heur = heur;
}

void Search::notePseudo(int j, char dir, double dist, double gain) {
  WorkerLog::Event& e = worker_->events.emplace_back();
  e.type = 'P';
  e.nodes = nodeCount;
  e.col = j;
  e.pcDir = dir;
  e.dist = dist;
  e.gain = gain;
}

// A worker's incumbent entry: every checked solution is recorded for the
// main search (its pool sees them all); the worker's own incumbent and
// cutoff follow the improving ones, as the main search's would.
bool Search::workerAccept(const double* xs, const double* xo, bool heuristic, double obj) {
  WorkerLog::Event& e = worker_->events.emplace_back();
  e.type = 'S';
  e.nodes = nodeCount;
  e.heur = heuristic;
  e.xs.assign(xs, xs + w.n0);
  e.xo.assign(xo, xo + orig.numCols());
  if (hasIncumbent() && obj >= incumbentObj - 1e-9 * std::max(1.0, std::fabs(incumbentObj))) return false;
  const double userCut = sense > 0 ? rp.upperCutoff : -rp.lowerCutoff;
  if (std::fabs(userCut) < 1e75 && obj > userCut) return false;
  incumbentObj = obj;
  incumbentX.assign(xs, xs + w.n0);
  ++solutions;
  double c = obj;
  if (w.objStep > 0) c = obj - w.objStep + tol::kObjStepTol * std::max(1.0, std::fabs(obj));
  cutoff = std::min(cutoff, c);
  return true;
}

std::unique_ptr<Search> Search::makeWorker(WorkerLog& out) {
  int st = 0;
  Env* child = openChildEnv(*env_, &st);
  if (!child) return nullptr;
  out.env = child;
  auto s = std::make_unique<Search>();
  Search& k = *s;
  k.env_ = child;
  k.worker_ = &out;
  k.subMip = true;  // no sub-MIP heuristics in a worker
  k.rp = rp;
  k.rp.display = 0;
  k.phase = Phase::kSearching;
  k.prob_ = prob_;
  k.sense = sense;
  k.orig = orig;
  k.pre_ = pre_;
  k.repre_ = repre_;
  k.w = w;
  k.prio_ = prio_;
  k.prioDir_ = prioDir_;
  k.conflicts_ = conflicts_;
  k.cutRows_ = cutRows_;
  k.rowIntegral_ = rowIntegral_;
  k.rowFamily_ = rowFamily_;
  k.rowAge_ = rowAge_;
  k.rootDj_ = rootDj_;
  k.rootAt_ = rootAt_;
  k.rootZ_ = rootZ_;
  k.rootBound = rootBound;
  k.rootLpBound = rootLpBound;
  k.rootLpIterations_ = rootLpIterations_;
  k.rcCutoff_ = rcCutoff_;
  k.userCutoff = userCutoff;
  k.locks_[0] = locks_[0];
  k.locks_[1] = locks_[1];
  k.store.setRule(rp.nodeSelect);
  k.engine.reset(new (std::nothrow) simplex::LpEngine);
  if (!k.engine) return nullptr;
  simplex::LpOptions& o = k.engine->options();
  o = engine->options();
  o.log = nullptr;
  o.poll = [child]() { return checkLimits(*child); };
  o.workCounter = child->realCounter ? &child->realCounter->value : nullptr;
  if (k.engine->load(w.lp) != 0) return nullptr;
  for (int j = 0; j < w.n; ++j)
    if (w.lo[j] != w.lp.lb[j] || w.up[j] != w.lp.ub[j]) k.engine->setColBounds(j, w.lo[j], w.up[j]);
  for (int i = w.m0; i < w.m; ++i) k.engine->setRowBounds(i, w.lo[w.n + i], w.up[w.n + i]);
  const int N = w.n + w.m;
  k.curLo = w.lo;
  k.curUp = w.up;
  k.isTouched.assign(N, 0);
  k.xsave_.assign(w.n, 0.0);
  k.rowActivity_.assign(w.m, 0.0);
  k.tLo_.assign(N, 0.0);
  k.tUp_.assign(N, 0.0);
  k.weightByVarW_.assign(N, 1.0);
  k.basicBefore_.assign(N, 0);
  return s;
}

// The main search's state at the start of a round.
void Search::syncWorker(Search& k, double outside) const {
  WorkerLog& L = *k.worker_;
  L.events.clear();
  L.open.clear();
  L.stopped.reset();
  L.stop = 0;
  L.busy = 0.0;
  L.work0 = L.env->realCounter ? L.env->realCounter->value : 0;
  L.nodes0 = nodeCount;
  L.iterations0 = mipIterations;
  L.strong0 = strongIterations;
  k.nodeCount = nodeCount;
  k.mipIterations = mipIterations;
  k.strongIterations = strongIterations;
  k.nextNodeId = kLocalIds;
  k.nextSeq = kLocalIds;
  k.incumbentObj = incumbentObj;
  k.incumbentX = incumbentX;
  k.solutions = solutions;
  k.cutoff = cutoff;
  k.outerBound_ = outside;
  k.numericalTrouble = false;
  k.slackSplits_ = k.polishedSolutions_ = k.rcFixed_ = k.diveSolutions_ = k.rejectedNodeSolutions_ = 0;
  // Global bounds the main search tightened since (reduced-cost fixing).
  const int N = w.n + w.m;
  for (int q = 0; q < N; ++q)
    if (k.w.lo[q] != w.lo[q] || k.w.up[q] != w.up[q]) {
      k.w.lo[q] = w.lo[q];
      k.w.up[q] = w.up[q];
      if (!k.isTouched[q]) {
        k.isTouched[q] = 1;
        k.touched.push_back(q);
      }
    }
  for (int d = 0; d < 2; ++d) {
    k.pcSum[d] = pcSum[d];
    k.pcCnt[d] = pcCnt[d];
    k.pcAvgSum_[d] = pcAvgSum_[d];
    k.pcAvgCnt_[d] = pcAvgCnt_[d];
  }
}

void Search::workerTask(Node nd, long long maxNodes) {
  WorkerLog& L = *worker_;
  const double t0 = seconds();
  for (long long done = 0;;) {
    if (env_->counter) env_->counter->add(static_cast<uint64_t>(w.n + w.m));
    Node next;
    bool haveNext = false;
    const NodeResult r = processNode(nd, &next, &haveNext);
    if (r == NodeResult::kStopped) {
      L.stopped = std::make_unique<Node>(std::move(nd));
      L.stop = lastStop_;
      break;
    }
    if (!haveNext) break;
    if (++done >= maxNodes || next.bound >= cutoff) {
      if (next.bound < cutoff) L.open.push_back(std::move(next));
      break;
    }
    nd = std::move(next);
  }
  while (!store.empty()) L.open.push_back(store.takeBest());
  L.busy = seconds() - t0;
}

// The worker's round as if the main search had done it: its log entries,
// solutions and pseudo-cost observations in their order, then its open
// nodes (renumbered in creation order after the main search's).
void Search::mergeWorker(Search& k, int* stop) {
  WorkerLog& L = *k.worker_;
  const long long base = nodeCount;
  auto mapId = [&](long long id) { return id >= kLocalIds ? nextNodeId + (id - kLocalIds) : id; };
  auto mapSeq = [&](long long q) { return q >= kLocalIds ? nextSeq + (q - kLocalIds) : q; };
  for (WorkerLog::Event& e : L.events) {
    nodeCount = base + (e.nodes - L.nodes0);
    switch (e.type) {
      case 'P': updatePseudo(e.col, e.pcDir, e.dist, e.gain); break;
      case 'S': acceptIncumbent(e.xs.data(), e.xo.data(), e.heur); break;
      default: {
        Node nd;
        nd.id = mapId(e.id);
        nd.parentId = mapId(e.parentId);
        nd.depth = e.depth;
        nd.branchCol = e.branchCol;
        nd.dir = e.dir;
        nd.branchKind = e.branchKind;
        logNode(nd, e.kind, e.obj, e.iinf, e.newInc, e.heur, e.lpStatus);
        break;
      }
    }
  }
  nodeCount = base + (k.nodeCount - L.nodes0);
  mipIterations += k.mipIterations - L.iterations0;
  strongIterations += k.strongIterations - L.strong0;
  slackSplits_ += k.slackSplits_;
  polishedSolutions_ += k.polishedSolutions_;
  rcFixed_ += k.rcFixed_;
  diveSolutions_ += k.diveSolutions_;
  rejectedNodeSolutions_ += k.rejectedNodeSolutions_;
  numericalTrouble = numericalTrouble || k.numericalTrouble;
  auto keep = [&](Node&& nd) {
    nd.id = mapId(nd.id);
    nd.parentId = mapId(nd.parentId);
    nd.seq = mapSeq(nd.seq);
    if (nd.bound < cutoff) store.insert(std::move(nd));
  };
  for (Node& nd : L.open) keep(std::move(nd));
  if (L.stopped) keep(std::move(*L.stopped));
  if (L.stop && !*stop) *stop = L.stop;
  nextNodeId += k.nextNodeId - kLocalIds;
  nextSeq += k.nextSeq - kLocalIds;
  if (env_->realCounter && L.env->realCounter) env_->realCounter->value += L.env->realCounter->value - L.work0;
}

int Search::parallelBranchAndBound() {
  Team team(bcThreads_);
  const int T = team.size();
  if (T < 2) return kStopSerial;
  std::vector<WorkerLog> logs(static_cast<size_t>(T));
  std::vector<std::unique_ptr<Search>> wk(static_cast<size_t>(T));
  struct Close {
    std::vector<std::unique_ptr<Search>>& wk;
    std::vector<WorkerLog>& logs;
    ~Close() {
      for (auto& k : wk) k.reset();  // before their environments
      for (WorkerLog& L : logs) closeChildEnv(L.env);
    }
  } close{wk, logs};
  for (int i = 0; i < T; ++i)
    if (!(wk[i] = makeWorker(logs[i]))) return kStopSerial;
  if (pending) {
    store.insert(std::move(*pending));
    pending.reset();
  }
  std::vector<Node> take;
  take.reserve(static_cast<size_t>(T));
  long long cap = kPlungeNodes;
  const std::function<void(int)> plunge = [&](int i) {
    try {
      wk[i]->workerTask(std::move(take[i]), cap);
    } catch (...) {
      logs[i].stop = kStopError;
    }
  };
  for (;;) {
    globalReducedCostFixing();
    if (int s = pollStop()) return s;
    const double bb = store.bestBound();
    const bool polishGap = !polishing_ && (rp.polishAbsGap > 0 || rp.polishRelGap > 0);
    if (hasIncumbent() && bb < tol::kNone &&
        (gapClosed(incumbentObj, bb, rp.absGap, rp.mipGap) ||
         (polishGap && gapClosed(incumbentObj, bb, rp.polishAbsGap, rp.polishRelGap))))
      return store.empty() ? kStopTreeEmpty : kStopGap;
    if (store.empty()) return kStopTreeEmpty;
    const double t0 = seconds();
    // The nodes of the round, at most as many as the node limit leaves.
    const long long room = std::max(1LL, rp.nodeLimit - nodeCount);
    take.clear();
    while (static_cast<int>(take.size()) < T && static_cast<long long>(take.size()) < room && !store.empty()) {
      Node nd = store.selectNode(incumbentObj, cutoff, rp.absGap, rp.mipGap, rp.bbInterval);
      if (store.fileError()) {
        fileError_ = store.fileError();
        for (Node& t : take) store.insert(std::move(t));
        return kStopError;
      }
      if (nd.bound >= cutoff) continue;  // pruned by a newer incumbent
      take.push_back(std::move(nd));
    }
    const int k = static_cast<int>(take.size());
    if (k == 0) continue;
    cap = std::max(1LL, std::min(kPlungeNodes, room / k));
    double held = tol::kNone;
    for (const Node& nd : take) held = std::min(held, nd.bound);
    const double outside = std::min(store.bestBound(), held);
    for (int i = 0; i < k; ++i) syncWorker(*wk[i], outside);
    roundBound_ = held;
    const double t1 = seconds();
    team.run(k, plunge);
    const double t2 = seconds();
    int stop = 0;
    for (int i = 0; i < k; ++i) {
      waitSeconds_ += std::max(0.0, (t2 - t1) - logs[i].busy);
      mergeWorker(*wk[i], &stop);
    }
    roundBound_ = tol::kNone;
    noteAverages();
    syncSeconds_ += (t1 - t0) + (seconds() - t2);
    if (stop) return stop;
    if (int e = store.spillIfNeeded()) {
      fileError_ = e;
      return kStopError;
    }
  }
}

}  // namespace vnt::mip
