// Postsolve: the records undone in reverse order, and the presolve entry
// with its report.
#include <algorithm>
#include <cmath>
#include <new>

#include "env/limits.h"
#include "presolve/presolve.h"
#include "presolve/records.h"

namespace vnt::presolve {

void Postsolve::undo(Work& w, bool dual) const {
  for (auto it = recs.rbegin(); it != recs.rend(); ++it) {
    const Record& r = *it;
    switch (r.kind) {
      case RecKind::kEmptyRow:
        w.y[r.i] = 0.0;
        w.rstat[r.i] = kBasic;
        break;

      case RecKind::kFixedCol: {
        w.x[r.j] = r.a;
        if (!dual) break;
        double d = r.c;
        for (int64_t p = r.beg; p < r.end; ++p) d -= pool[p].val * w.y[pool[p].idx];
        w.dj[r.j] = d;
        w.cstat[r.j] = r.side >= 0 ? r.side : (d >= 0 ? kAtLower : kAtUpper);
        break;
      }

      case RecKind::kSingletonRow: {
        w.y[r.i] = 0.0;
        w.rstat[r.i] = kBasic;
        if (!dual) break;
        const int j = r.j;
        const int cs = w.cstat[j];
        if ((cs != kAtLower && cs != kAtUpper) || !(r.flags & (kLbChanged | kUbChanged))) break;
        const int side = (r.flags & kFixedAfter) ? (w.dj[j] >= 0 ? kAtLower : kAtUpper) : cs;
        const bool fromRow = side == kAtLower ? (r.flags & kLbChanged) != 0 : (r.flags & kUbChanged) != 0;
        if (fromRow) {
          // The row's limit is what holds the column: the row becomes
          // nonbasic and carries the column's reduced cost as its dual.
          w.y[r.i] = w.dj[j] / r.a;
          w.dj[j] = 0.0;
          w.cstat[j] = kBasic;
          w.rstat[r.i] = ((side == kAtLower) == (r.a > 0)) ? kAtLower : kAtUpper;
        } else {
          w.cstat[j] = side;
        }
        break;
      }

      case RecKind::kForcingRow: {
        w.y[r.i] = 0.0;
        w.rstat[r.i] = kBasic;
        if (!dual) break;
        // The row's dual: the smallest (upper limit) or largest (lower
        // limit) value that gives every column the reduced-cost sign of its
        // bound; the column that sets it becomes basic.
        double y = 0.0;
        int best = -1;
        for (int64_t p = r.beg; p < r.end; ++p) {
          if (poolFlag[p]) continue;
          const double t = w.dj[pool[p].idx] / pool[p].val;
          if (r.side == kAtUpper ? t < y : t > y) {
            y = t;
            best = pool[p].idx;
          }
        }
        w.y[r.i] = y;
        for (int64_t p = r.beg; p < r.end; ++p) {
          const int j = pool[p].idx;
          w.dj[j] -= pool[p].val * y;
          const bool atLower = (pool[p].val > 0) == (r.side == kAtUpper);
          if (poolFlag[p]) w.cstat[j] = w.dj[j] >= 0 ? kAtLower : kAtUpper;
          else w.cstat[j] = atLower ? kAtLower : kAtUpper;
        }
        if (best >= 0) {
          w.cstat[best] = kBasic;
          w.dj[best] = 0.0;
          w.rstat[r.i] = r.side;
        }
        break;
      }

      case RecKind::kFreeSingleton: {
        double t = 0.0;
        for (int64_t p = r.beg; p < r.end; ++p) t += pool[p].val * w.x[pool[p].idx];
        w.x[r.j] = (r.b - t) / r.a;
        // d_j = 0 over the column's rows: row i and rows added later (beg2..end2).
        double c = r.c;
        for (int64_t p = r.beg2; p < r.end2; ++p) c -= pool[p].val * w.y[pool[p].idx];
        w.y[r.i] = c / r.a;
        w.dj[r.j] = 0.0;
        w.cstat[r.j] = kBasic;
        w.rstat[r.i] = r.side;
        break;
      }

      case RecKind::kDoubleton: {
        // a x_j + b x_k = c; x_k = q - ratio x_j.
        const int j = r.j, k = r.k;
        const double q = r.c / r.b, ratio = r.a / r.b;
        w.x[k] = q - ratio * w.x[j];
        w.rstat[r.i] = kAtLower;
        if (!dual) break;
        double y1 = r.d;
        for (int64_t p = r.beg; p < r.end; ++p) y1 -= pool[p].val * w.y[pool[p].idx];
        y1 /= r.b;
        const int cs = w.cstat[j];
        int side = -1;
        bool fromK = false;
        if (cs == kAtLower || cs == kAtUpper) {
          side = (r.flags & kFixedAfter) ? (w.dj[j] >= 0 ? kAtLower : kAtUpper) : cs;
          fromK = side == kAtLower ? (r.flags & kLbChanged) != 0 : (r.flags & kUbChanged) != 0;
        }
        if (fromK) {
          // x_j sits at a bound of x_k: x_k is nonbasic there, x_j basic.
          const double djj = w.dj[j];
          w.y[r.i] = y1 + djj / r.a;
          w.dj[j] = 0.0;
          w.cstat[j] = kBasic;
          w.dj[k] = -(r.b / r.a) * djj;
          const bool kUpper = (side == kAtLower) == (ratio > 0);
          w.cstat[k] = kUpper ? kAtUpper : kAtLower;
          w.x[k] = q - ratio * w.x[j];
        } else {
          w.y[r.i] = y1;
          w.dj[k] = 0.0;
          w.cstat[k] = kBasic;
          if (side >= 0) w.cstat[j] = side;
        }
        break;
      }

      case RecKind::kSubstitution: {
        // x_j from the equation; y_i from d_j = 0; x_j basic, row i at its limit.
        double t = 0.0;
        for (int64_t p = r.beg; p < r.end; ++p) t += pool[p].val * w.x[pool[p].idx];
        w.x[r.j] = (r.b - t) / r.a;
        w.rstat[r.i] = kAtLower;
        if (!dual) break;
        double y = r.c;
        for (int64_t p = r.beg2; p < r.end2; ++p) y -= pool[p].val * w.y[pool[p].idx];
        w.y[r.i] = y / r.a;
        w.dj[r.j] = 0.0;
        w.cstat[r.j] = kBasic;
        break;
      }

      case RecKind::kSlackSingleton: {
        // x_j = (b - rest) / a; the range row's dual y' gives y_i = y' + c/a
        // and d_j = -a y'.  A basic range row: x_j basic, the equation at
        // its limit; a range row at a limit: x_j at the matching bound.
        double t = 0.0;
        for (int64_t p = r.beg; p < r.end; ++p) t += pool[p].val * w.x[pool[p].idx];
        w.x[r.j] = (r.b - t) / r.a;
        const int rs = w.rstat[r.i];
        w.rstat[r.i] = r.side >= 0 ? r.side : kAtLower;  // the row at the limit b
        if (!dual) break;
        const double yr = w.y[r.i];
        double c = r.c;  // less the share of rows added later (beg2..end2)
        for (int64_t p = r.beg2; p < r.end2; ++p) c -= pool[p].val * w.y[pool[p].idx];
        w.y[r.i] = yr + c / r.a;
        w.dj[r.j] = -r.a * yr;
        if (rs == kAtLower || rs == kAtUpper) {
          // rest at its lower limit means a x_j at its largest value.
          const bool jUpper = (rs == kAtLower) == (r.a > 0);
          w.cstat[r.j] = jUpper ? kAtUpper : kAtLower;
        } else {
          w.cstat[r.j] = kBasic;
          w.dj[r.j] = 0.0;
        }
        break;
      }

      case RecKind::kDuplicateCol: {
        // x' = x_j + lambda x_k split: x_k at a finite bound (or 0) and x_j
        // takes the rest within its bounds; what x_j cannot take goes back
        // to x_k.
        const int j = r.j, k = r.k;
        const double lam = r.a, lbj = r.b, ubj = r.c, lbk = r.d, ubk = r.e;
        const double v = w.x[j];
        const double kref = !isInf(lbk) ? lbk : !isInf(ubk) ? ubk : 0.0;
        const double xj = std::clamp(v - lam * kref, isInf(lbj) ? -tol::kInf : lbj, isInf(ubj) ? tol::kInf : ubj);
        const double xk = std::clamp((v - xj) / lam, isInf(lbk) ? -tol::kInf : lbk, isInf(ubk) ? tol::kInf : ubk);
        w.x[j] = xj;
        w.x[k] = xk;
        if (!dual) break;
        auto place = [](double x, double lo, double hi) { return x == lo ? kAtLower : x == hi ? kAtUpper : kFreeNb; };
        const double d = w.dj[j];
        w.dj[k] = lam * d;
        const int pj = place(xj, lbj, ubj), pk = place(xk, lbk, ubk);
        if (w.cstat[j] == kBasic) {
          // One of the two stays basic: x_j when it is off its bounds.
          if (pj == kFreeNb && !(isInf(lbj) && isInf(ubj) && xj == 0.0)) {
            w.cstat[k] = pk;
          } else if (pk == kFreeNb && !(isInf(lbk) && isInf(ubk) && xk == 0.0)) {
            w.cstat[j] = pj;
            w.cstat[k] = kBasic;
          } else {
            w.cstat[k] = pk;
          }
        } else {
          w.cstat[j] = pj;
          w.cstat[k] = pk;
        }
        break;
      }

      case RecKind::kSubsetRow: {
        // The fixed columns' reduced costs take the sign of their bound by
        // a shift delta <= 0 of y_k against y_i (which leaves every other
        // column of row i, whose entries in both rows are equal, alone).
        if (!dual) break;
        double delta = 0.0;
        int best = -1;
        for (int64_t p = r.beg; p < r.end; ++p) {
          const double q = w.dj[pool[p].idx] / pool[p].val;
          if (q < delta) {
            delta = q;
            best = pool[p].idx;
          }
        }
        if (best < 0) break;
        w.y[r.k] += delta;
        w.y[r.i] -= delta;
        for (int64_t p = r.beg; p < r.end; ++p) w.dj[pool[p].idx] -= pool[p].val * delta;
        w.dj[best] = 0.0;
        // A basic row of the two cannot keep its zero dual: it leaves the
        // basis at its limit (row i at its lower one, row k at its upper
        // one) and the column that set delta enters.
        if (w.rstat[r.k] == kBasic) {
          w.rstat[r.k] = origLo[r.k] == origUp[r.k] ? kAtLower : kAtUpper;
          w.cstat[best] = kBasic;
        } else if (w.rstat[r.i] == kBasic) {
          w.rstat[r.i] = kAtLower;
          w.cstat[best] = kBasic;
        }
        break;
      }

      case RecKind::kParallelRow: {
        const int i = r.i, k = r.k;
        const double lam = r.a;
        w.y[k] = 0.0;
        w.rstat[k] = kBasic;
        if (!dual) break;
        const int rs = w.rstat[i];
        if ((rs != kAtLower && rs != kAtUpper) || !(r.flags & (kLbChanged | kUbChanged))) break;
        const int side = (r.flags & kFixedAfter) ? (w.y[i] >= 0 ? kAtLower : kAtUpper) : rs;
        const bool fromK = side == kAtLower ? (r.flags & kLbChanged) != 0 : (r.flags & kUbChanged) != 0;
        if (fromK) {
          w.y[k] = w.y[i] / lam;
          w.y[i] = 0.0;
          w.rstat[i] = kBasic;
          w.rstat[k] = ((side == kAtLower) == (lam > 0)) ? kAtLower : kAtUpper;
        } else {
          w.rstat[i] = side;
        }
        break;
      }
    }
  }
}

namespace {

// Statuses that name a bound the original model has: a nonbasic column or
// row at an infinite bound moves to its finite one (or to free).
void sanitize(const Postsolve& ps, Postsolve::Work& w) {
  const model::ModelData& md = ps.orig;
  for (int j = 0; j < ps.n0; ++j) {
    int& s = w.cstat[j];
    const bool lo = !isInf(md.lb[j]), up = !isInf(md.ub[j]);
    if (s == kAtLower && !lo) s = up ? kAtUpper : kFreeNb;
    else if (s == kAtUpper && !up) s = lo ? kAtLower : kFreeNb;
    else if (s == kFreeNb && (lo || up)) s = lo ? kAtLower : kAtUpper;
  }
  for (int i = 0; i < ps.m0; ++i) {
    int& s = w.rstat[i];
    const double l = ps.origLo[i], u = ps.origUp[i];
    if (l == u && s == kAtUpper) s = kAtLower;
    const bool lo = !isInf(l), up = !isInf(u);
    if (s == kAtLower && !lo) s = up ? kAtUpper : kFreeNb;
    else if (s == kAtUpper && !up) s = lo ? kAtLower : kFreeNb;
    else if (s == kFreeNb && (lo || up)) s = lo ? kAtLower : kAtUpper;
  }
}

}  // namespace

void rowLimits(const model::ModelData& md, std::vector<double>& lo, std::vector<double>& up) {
  const int m = md.numRows();
  lo.resize(m);
  up.resize(m);
  for (int i = 0; i < m; ++i) {
    const double rhs = md.rhs[i];
    const double rng = md.rngval.empty() ? 0.0 : md.rngval[i];
    switch (md.sense[i]) {
      case 'L': lo[i] = -tol::kInf; up[i] = rhs; break;
      case 'G': lo[i] = rhs; up[i] = tol::kInf; break;
      case 'E': lo[i] = up[i] = rhs; break;
      default:
        if (rng >= 0) { lo[i] = rhs; up[i] = rhs + rng; }
        else { lo[i] = rhs + rng; up[i] = rhs; }
    }
    lo[i] = std::max(lo[i], -tol::kInf);
    up[i] = std::min(up[i], tol::kInf);
  }
}

void Presolved::uncrush(const Solution& red, Solution& orig, bool withDual) const {
  const Postsolve& ps = *post;
  const int sen = ps.objsen;
  Postsolve::Work w;
  w.x.assign(ps.n0, 0.0);
  w.y.assign(ps.m0, 0.0);
  w.dj.assign(ps.n0, 0.0);
  w.cstat.assign(ps.n0, kAtLower);
  w.rstat.assign(ps.m0, kBasic);
  for (size_t jr = 0; jr < colOrig.size(); ++jr) {
    const int j = colOrig[jr];
    if (jr < red.x.size()) w.x[j] = red.x[jr];
    if (withDual) {
      if (jr < red.dj.size()) w.dj[j] = sen * red.dj[jr];
      if (jr < red.cstat.size()) w.cstat[j] = red.cstat[jr];
    }
  }
  if (withDual)
    for (size_t ir = 0; ir < rowOrig.size(); ++ir) {
      const int i = rowOrig[ir];
      if (ir < red.pi.size()) w.y[i] = sen * red.pi[ir];
      if (ir < red.rstat.size()) w.rstat[i] = red.rstat[ir];
    }
  ps.undo(w, withDual);
  const model::ModelData& md = ps.orig;
  orig.x = w.x;
  orig.rowAct.assign(ps.m0, 0.0);
  for (int j = 0; j < ps.n0; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) orig.rowAct[md.matind[k]] += md.matval[k] * w.x[j];
  if (!withDual) {
    orig.pi.clear();
    orig.dj.clear();
    orig.cstat.clear();
    orig.rstat.clear();
    return;
  }
  sanitize(ps, w);
  orig.pi.resize(ps.m0);
  for (int i = 0; i < ps.m0; ++i) orig.pi[i] = sen * w.y[i];
  orig.dj.resize(ps.n0);
  for (int j = 0; j < ps.n0; ++j) {
    double d = md.obj[j];
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) d -= md.matval[k] * orig.pi[md.matind[k]];
    orig.dj[j] = d;
  }
  orig.cstat = w.cstat;
  orig.rstat = w.rstat;
}

void Presolved::uncrushX(const double* xr, double* x) const {
  Solution red, orig;
  red.x.assign(xr, xr + colOrig.size());
  uncrush(red, orig, false);
  std::copy(orig.x.begin(), orig.x.end(), x);
}

void Presolved::crushX(const double* x, double* xr) const {
  for (size_t jr = 0; jr < colOrig.size(); ++jr) xr[jr] = x[colOrig[jr]];
}

void Presolved::crushPi(const double* pi, double* pir) const {
  for (size_t ir = 0; ir < rowOrig.size(); ++ir) pir[ir] = pi[rowOrig[ir]];
  // A row that lost a slack column carries that column's cost share.
  for (const Record& r : post->recs)
    if (r.kind == RecKind::kSlackSingleton && rowReduced[r.i] >= 0) {
      double c = post->objsen * r.c;
      for (int64_t p = r.beg2; p < r.end2; ++p) c -= post->pool[p].val * pi[post->pool[p].idx];
      pir[rowReduced[r.i]] -= c / r.a;
    }
}

// ---------------------------------------------------------------------------

int run(Env& env, const model::ModelData& in, const Options& opt, const char* word, Presolved& out) {
  const double t0 = wallSeconds();
  const uint64_t w0 = env.realCounter ? env.realCounter->value : 0;
  int st = 0;
  try {
    st = presolveModel(env, in, opt, out);
    if (st == 0) {
      out.post->orig = in;
      rowLimits(in, out.post->origLo, out.post->origUp);
    }
  } catch (const std::bad_alloc&) {
    st = 1001;
  }
  out.seconds = wallSeconds() - t0;
  out.ticks = env.realCounter ? static_cast<double>(env.realCounter->value - w0) / kUnitsPerTick : 0.0;
  if (st != 0 || !opt.display) return st;
  const Counts& c = out.counts;
  if (opt.aggregatorPasses != 0) {
    if (c.aggregatorPasses <= 1) print(env, Chan::Results, "Tried aggregator 1 time.\n");
    else print(env, Chan::Results, "Tried aggregator %d times.\n", c.aggregatorPasses);
  }
  const bool restricted = !opt.primalReductions || !opt.dualReductions;
  if (out.nothingReduced()) {
    print(env, Chan::Results, "No %s presolve or aggregator reductions.\n", word);
  } else {
    if (c.rowsRemoved > 0 || c.colsRemoved > 0) {
      if (restricted)
        print(env, Chan::Results, "Reduced presolve eliminated %lld rows and %lld columns.\n", c.rowsRemoved,
              c.colsRemoved);
      else
        print(env, Chan::Results, "%s Presolve eliminated %lld rows and %lld columns.\n", word, c.rowsRemoved,
              c.colsRemoved);
    }
    if (c.rowsAdded > 0 || c.colsAdded > 0) {
      if (restricted)
        print(env, Chan::Results, "Reduced presolve added %lld rows and %lld columns.\n", c.rowsAdded, c.colsAdded);
      else
        print(env, Chan::Results, "%s Presolve added %lld rows and %lld columns.\n", word, c.rowsAdded, c.colsAdded);
    }
    if (!restricted && c.coefsModified > 0)
      print(env, Chan::Results, "%s Presolve modified %lld coefficients.\n", word, c.coefsModified);
    if (opt.aggregatorPasses != 0 && c.substitutions > 0)
      print(env, Chan::Results, "Aggregator did %lld substitutions.\n", c.substitutions);
    if (c.dependentRows > 0) print(env, Chan::Results, "Disabled %lld dependent constraints.\n", c.dependentRows);
    if (out.allEliminated()) {
      print(env, Chan::Results, "All rows and columns eliminated.\n");
    } else {
      const model::ModelData& r = out.reduced;
      print(env, Chan::Results, "Reduced %s has %lld rows, %lld columns, and %lld nonzeros.\n", word,
            static_cast<long long>(r.numRows()), static_cast<long long>(r.numCols()),
            static_cast<long long>(r.numNz()));
      if (opt.mip) {
        long long bin = 0, gen = 0;
        for (char t : r.ctype) {
          if (t == 'B') ++bin;
          else if (t == 'I' || t == 'N') ++gen;
        }
        print(env, Chan::Results, "Reduced %s has %lld binaries, %lld generals, %lld SOSs, and %lld indicators.\n",
              word, bin, gen, static_cast<long long>(r.sos.size()), static_cast<long long>(r.indconstr.size()));
      }
      if (!r.qobj.empty())
        print(env, Chan::Results, "Reduced %s objective Q matrix has %lld nonzeros.\n", word,
              static_cast<long long>(r.qobj.size()));
      if (!r.qconstr.empty())
        print(env, Chan::Results, "Reduced %s has %lld quadratic constraints.\n", word,
              static_cast<long long>(r.qconstr.size()));
    }
  }
  print(env, Chan::Results, "%s%.2f sec. (%.2f ticks)\n", "Presolve time = ", out.seconds, out.ticks);
  return 0;
}

}  // namespace vnt::presolve
