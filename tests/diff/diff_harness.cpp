// Differential harness: our optimizers, the independent checks, the peers.
#include "diff/diff_harness.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "vanto/vnt_params.h"

#ifdef VANTO_DIFF_CLP
#include <ClpSimplex.hpp>
#endif

namespace vnt::diff {

using LD = long double;

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::None: return "none";
    case Outcome::Optimal: return "optimal";
    case Outcome::Infeasible: return "infeasible";
    case Outcome::Unbounded: return "unbounded";
    case Outcome::InfOrUnbd: return "inf-or-unbd";
    case Outcome::OptUnscaledInf: return "optimal-unscaled-infeas";
    case Outcome::IterLimit: return "iteration-limit";
    case Outcome::Error: return "error";
    default: return "other";
  }
}

std::string Config::name() const {
  const char* m = method == 1 ? "primal" : method == 2 ? "dual" : method == 6 ? "concurrent" : "auto";
  return std::string(m) + "/scale" + std::to_string(scaling);
}

// ---------------------------------------------------------------------------
// Ours

Ours::Ours() {
  int st = 0;
  env_ = VNTopenVANTO(&st);
  if (env_) VNTsetintparam(env_, VNT_PARAM_SCRIND, 0);
}

Ours::~Ours() {
  if (env_) VNTcloseVANTO(&env_);
}

long long Ours::iterationCap(const Lp& lp) { return 1000 + 30LL * (lp.n + lp.m); }

VNTLPptr Ours::load(const Lp& lp, int& rc) {
  rc = 0;
  VNTLPptr p = VNTcreateprob(env_, &rc, "diff");
  if (!p) return nullptr;
  std::vector<int> beg = lp.beg, cnt = lp.cnt, ind = lp.ind;
  std::vector<double> val = lp.val;
  if (ind.empty()) { ind.push_back(0); val.push_back(0.0); }
  rc = VNTcopylp(env_, p, lp.n, lp.m, lp.objsen, lp.obj.data(), lp.rhs.data(), lp.sense.data(), beg.data(),
                 cnt.data(), ind.data(), val.data(), lp.lb.data(), lp.ub.data(), lp.rng.data());
  if (rc == 0 && lp.offset != 0) rc = VNTchgobjoffset(env_, p, lp.offset);
  if (rc != 0) release(p);
  return p;
}

void Ours::release(VNTLPptr& p) {
  if (p) VNTfreeprob(env_, &p);
  p = nullptr;
}

static Outcome outcomeOf(int rc, int stat) {
  // A presolve that settles the problem returns its outcome code with the
  // matching status.
  if ((rc == 1117 && stat == 3) || (rc == 1118 && stat == 2) || (rc == 1101 && stat == 4)) rc = 0;
  if (rc != 0) return Outcome::Error;
  switch (stat) {
    case 1: return Outcome::Optimal;
    case 2: return Outcome::Unbounded;
    case 3: return Outcome::Infeasible;
    case 4: return Outcome::InfOrUnbd;
    case 5: return Outcome::OptUnscaledInf;
    case 10: return Outcome::IterLimit;
    default: return Outcome::Other;
  }
}

OurResult Ours::solve(VNTLPptr p, const Lp& lp, const Config& c, bool advancedStart) {
  OurResult r;
  VNTsetintparam(env_, VNT_PARAM_SCAIND, c.scaling);
  VNTsetintparam(env_, VNT_PARAM_ADVIND, advancedStart ? 1 : 0);
  VNTsetlongparam(env_, VNT_PARAM_ITLIM, iterationCap(lp));
  VNTsetintparam(env_, VNT_PARAM_THREADS, c.method == 6 ? 2 : 1);
  if (c.method == 1) r.rc = VNTprimopt(env_, p);
  else if (c.method == 2) r.rc = VNTdualopt(env_, p);
  else {
    VNTsetintparam(env_, VNT_PARAM_LPMETHOD, c.method);
    r.rc = VNTlpopt(env_, p);
    VNTsetintparam(env_, VNT_PARAM_LPMETHOD, 0);
  }
  r.stat = VNTgetstat(env_, p);
  r.outcome = outcomeOf(r.rc, r.stat);
  r.iters = VNTgetitcnt(env_, p);
  r.x.assign(lp.n, NAN); r.dj.assign(lp.n, NAN);
  r.pi.assign(lp.m, NAN); r.slack.assign(lp.m, NAN);
  int st = 0;
  if (VNTsolution(env_, p, &st, &r.obj, r.x.data(), r.pi.data(), r.slack.data(), r.dj.data()) != 0) {
    r.obj = NAN;
    if (VNTsolution(env_, p, &st, &r.obj, r.x.data(), nullptr, r.slack.data(), nullptr) != 0) r.obj = NAN;
  }
  r.cstat.assign(lp.n, -1); r.rstat.assign(lp.m, -1);
  r.haveBasis = VNTgetbase(env_, p, r.cstat.data(), r.rstat.data()) == 0;
  if (r.stat == 3 || r.stat == 4) {
    r.farkas.assign(std::max(lp.m, 1), NAN);
    r.farkasRc = VNTdualfarkas(env_, p, r.farkas.data(), &r.proof);
    r.farkas.resize(lp.m);
  }
  if (r.stat == 2 || r.stat == 4) {
    r.ray.assign(std::max(lp.n, 1), NAN);
    r.rayRc = VNTgetray(env_, p, r.ray.data());
    r.ray.resize(lp.n);
  }
  return r;
}

OurResult Ours::solveFresh(const Lp& lp, const Config& c) {
  int rc = 0;
  VNTLPptr p = load(lp, rc);
  if (!p) {
    OurResult r;
    r.rc = rc;
    r.outcome = Outcome::Error;
    return r;
  }
  OurResult r = solve(p, lp, c, false);
  release(p);
  return r;
}

// ---------------------------------------------------------------------------
// Independent checks

namespace {

bool finite(double v) { return std::isfinite(v); }
bool isInf(double b) { return std::fabs(b) >= kInf; }

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, f);
  std::vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  return buf;
}

void fail(std::vector<CheckFailure>& out, const std::string& kind, const std::string& detail) {
  // One entry per kind is enough to find the fault; keep the first detail.
  for (auto& f : out)
    if (f.kind == kind) return;
  out.push_back({kind, detail});
}

void checkOptimal(const Lp& lp, const OurResult& r, const Tol& t, std::vector<CheckFailure>& out) {
  const int n = lp.n, m = lp.m;
  for (int j = 0; j < n; ++j)
    if (!finite(r.x[j]) || !finite(r.dj[j])) {
      fail(out, "no-solution", fmt("x or dj of C%d is %g / %g", j, r.x[j], r.dj[j]));
      return;
    }
  for (int i = 0; i < m; ++i)
    if (!finite(r.pi[i]) || !finite(r.slack[i])) {
      fail(out, "no-solution", fmt("pi or slack of R%d is %g / %g", i, r.pi[i], r.slack[i]));
      return;
    }
  if (!finite(r.obj)) { fail(out, "objective", "objective is not finite"); return; }
  const int sen = lp.objsen;
  std::vector<LD> act(m, 0), atpi(n, 0);
  std::vector<double> rowMag(m, 0.0), colMag(n, 0.0);
  LD cx = 0, cxMag = 0;
  double cmax = 0;
  for (int j = 0; j < n; ++j) {
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) {
      const int i = lp.ind[k];
      act[i] += static_cast<LD>(lp.val[k]) * r.x[j];
      atpi[j] += static_cast<LD>(lp.val[k]) * r.pi[i];
      rowMag[i] = std::max(rowMag[i], std::fabs(lp.val[k] * r.x[j]));
      colMag[j] = std::max(colMag[j], std::fabs(lp.val[k] * r.pi[i]));
    }
    cx += static_cast<LD>(lp.obj[j]) * r.x[j];
    cxMag += std::fabs(lp.obj[j] * r.x[j]);
    cmax = std::max(cmax, std::fabs(lp.obj[j]));
  }
  // Primal: bounds and rows.
  for (int j = 0; j < n; ++j) {
    const double lb = lp.lb[j], ub = lp.ub[j], x = r.x[j];
    if (!isInf(lb) && lb - x > t.primal * std::max(1.0, std::fabs(lb)))
      fail(out, "primal-bound", fmt("C%d x=%.17g below lb=%.17g", j, x, lb));
    if (!isInf(ub) && x - ub > t.primal * std::max(1.0, std::fabs(ub)))
      fail(out, "primal-bound", fmt("C%d x=%.17g above ub=%.17g", j, x, ub));
  }
  std::vector<char> atLo(m), atUp(m);
  for (int i = 0; i < m; ++i) {
    double lo, up;
    lp.rowLimits(i, lo, up);
    const double a = static_cast<double>(act[i]);
    const double scale = std::max({1.0, std::fabs(lo) < kInf ? std::fabs(lo) : 0.0,
                                   std::fabs(up) < kInf ? std::fabs(up) : 0.0, rowMag[i]});
    const double tol = t.primal * scale;
    if (lo > -kInf && lo - a > tol) fail(out, "primal-row", fmt("R%d activity %.17g below %.17g", i, a, lo));
    if (up < kInf && a - up > tol) fail(out, "primal-row", fmt("R%d activity %.17g above %.17g", i, a, up));
    atLo[i] = lo > -kInf && std::fabs(a - lo) <= tol;
    atUp[i] = up < kInf && std::fabs(a - up) <= tol;
    if (std::fabs(lp.rhs[i]) < kInf) {
      const double want = static_cast<double>(static_cast<LD>(lp.rhs[i]) - act[i]);
      if (std::fabs(r.slack[i] - want) > t.primal * scale)
        fail(out, "slack", fmt("R%d slack %.17g, rhs - activity %.17g", i, r.slack[i], want));
    }
  }
  // Dual: d = c - A'pi, signs at the bounds, complementary slackness.
  const double dtolBase = t.dual * std::max(1.0, cmax);
  for (int j = 0; j < n; ++j) {
    const LD d = static_cast<LD>(lp.obj[j]) - atpi[j];
    const double dscale = std::max({1.0, std::fabs(lp.obj[j]), colMag[j]});
    if (std::fabs(static_cast<double>(d) - r.dj[j]) > t.dj * dscale)
      fail(out, "dj", fmt("C%d dj %.17g, c - A'pi %.17g", j, r.dj[j], static_cast<double>(d)));
    const double ds = sen * r.dj[j];
    const double lb = lp.lb[j], ub = lp.ub[j], x = r.x[j];
    if (!isInf(lb) && !isInf(ub) && lb == ub) continue;  // a fixed column may price either way
    const double tolD = std::max(dtolBase, t.dual * dscale);
    const bool xAtLo = !isInf(lb) && std::fabs(x - lb) <= t.primal * std::max(1.0, std::fabs(lb));
    const bool xAtUp = !isInf(ub) && std::fabs(x - ub) <= t.primal * std::max(1.0, std::fabs(ub));
    if (!xAtLo && ds > tolD)
      fail(out, "dual-sign", fmt("C%d x=%.17g not at its lower bound but min-form dj=%.3g > 0", j, x, ds));
    if (!xAtUp && ds < -tolD)
      fail(out, "dual-sign", fmt("C%d x=%.17g not at its upper bound but min-form dj=%.3g < 0", j, x, ds));
  }
  for (int i = 0; i < m; ++i) {
    const double ps = sen * r.pi[i];
    if (!atUp[i] && ps < -dtolBase)
      fail(out, "dual-sign", fmt("R%d upper limit not active but min-form pi=%.3g < 0", i, ps));
    if (!atLo[i] && ps > dtolBase)
      fail(out, "dual-sign", fmt("R%d lower limit not active but min-form pi=%.3g > 0", i, ps));
  }
  // Duality gap: with d = c - A'pi, c'x = pi'Ax + d'x, so the primal and dual
  // objectives differ by the duals times the distances of the activities and
  // values from the limits and bounds the duals price.  Small violations
  // priced by large duals show up here even when every sign is right.
  {
    LD gap = 0;
    for (int i = 0; i < m; ++i) {
      double lo, up;
      lp.rowLimits(i, lo, up);
      const double ps = sen * r.pi[i];
      const double lim = ps > 0 ? lo : up;
      if (ps != 0 && std::fabs(lim) < kInf) gap += static_cast<LD>(r.pi[i]) * (act[i] - lim);
    }
    for (int j = 0; j < n; ++j) {
      const LD d = static_cast<LD>(lp.obj[j]) - atpi[j];
      const double ds = sen * static_cast<double>(d);
      const double b = ds > 0 ? lp.lb[j] : lp.ub[j];
      if (ds != 0 && std::fabs(b) < kInf) gap += d * (static_cast<LD>(r.x[j]) - b);
    }
    const double g = std::fabs(static_cast<double>(gap));
    const double objMag = std::max(1.0, std::fabs(static_cast<double>(cx + lp.offset)));
    if (g > t.objective * objMag)
      fail(out, "duality-gap", fmt("primal and dual objectives differ by %.3g (objective %.10g)", g,
                                   static_cast<double>(cx + lp.offset)));
  }
  // Objective.
  const double want = static_cast<double>(cx + lp.offset);
  if (std::fabs(r.obj - want) > 1e-9 * static_cast<double>(cxMag) + 1e-7 * std::max(1.0, std::fabs(want)))
    fail(out, "objective", fmt("reported %.17g, c'x + offset = %.17g", r.obj, want));
  // Basis: m basic variables, nonbasic columns at a bound, nonbasic rows active.
  if (!r.haveBasis) { fail(out, "basis", "no basis returned"); return; }
  int basic = 0;
  for (int j = 0; j < n; ++j) {
    const int s = r.cstat[j];
    const double lb = lp.lb[j], ub = lp.ub[j], x = r.x[j];
    if (s == 1) { ++basic; continue; }
    if (s == 0 && (isInf(lb) || std::fabs(x - lb) > t.primal * std::max(1.0, std::fabs(lb))))
      fail(out, "basis", fmt("C%d at-lower status but x=%.17g, lb=%.17g", j, x, lb));
    if (s == 2 && (isInf(ub) || std::fabs(x - ub) > t.primal * std::max(1.0, std::fabs(ub))))
      fail(out, "basis", fmt("C%d at-upper status but x=%.17g, ub=%.17g", j, x, ub));
    if (s < 0 || s > 3) fail(out, "basis", fmt("C%d status %d", j, s));
  }
  for (int i = 0; i < m; ++i) {
    const int s = r.rstat[i];
    if (s == 1) { ++basic; continue; }
    if (s < 0 || s > 2) { fail(out, "basis", fmt("R%d status %d", i, s)); continue; }
    if (!atLo[i] && !atUp[i])
      fail(out, "basis", fmt("R%d nonbasic (status %d) but its activity is at neither limit", i, s));
  }
  if (basic != m) fail(out, "basis", fmt("%d basic variables for %d rows", basic, m));
}

// Farkas: max over the column box of (y'A)x must lie below min over the row
// limits of y'r, by more than the rounding of the sums.
bool farkasHolds(const Lp& lp, const std::vector<double>& y, double sign, const Tol& t, std::string& why) {
  const int n = lp.n, m = lp.m;
  std::vector<LD> z(n, 0);
  std::vector<double> mag(n, 0.0);
  double ymax = 0;
  for (int i = 0; i < m; ++i) {
    if (!finite(y[i])) { why = fmt("y[%d] is %g", i, y[i]); return false; }
    ymax = std::max(ymax, std::fabs(y[i]));
  }
  if (ymax == 0) { why = "y is zero"; return false; }
  for (int j = 0; j < n; ++j)
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) {
      z[j] += sign * static_cast<LD>(y[lp.ind[k]]) * lp.val[k];
      mag[j] += std::fabs(y[lp.ind[k]] * lp.val[k]);
    }
  LD axUp = 0, rowLo = 0;
  double scale = 0;
  for (int j = 0; j < n; ++j) {
    const double zj = static_cast<double>(z[j]);
    if (std::fabs(zj) <= 10 * t.cert * mag[j]) continue;  // cancellation noise of a zero
    const double b = zj > 0 ? lp.ub[j] : lp.lb[j];
    if (isInf(b)) { why = fmt("C%d: y'A = %.3g needs an infinite bound", j, zj); return false; }
    axUp += z[j] * b;
    scale += std::fabs(zj * b);
  }
  for (int i = 0; i < m; ++i) {
    const double yi = sign * y[i];
    if (std::fabs(yi) <= 1e-13 * ymax) continue;
    double lo, up;
    lp.rowLimits(i, lo, up);
    const double b = yi > 0 ? lo : up;
    if (isInf(b)) { why = fmt("R%d: y=%.3g needs an infinite row limit", i, yi); return false; }
    rowLo += static_cast<LD>(yi) * b;
    scale += std::fabs(yi * b);
  }
  const double gap = static_cast<double>(rowLo - axUp);
  if (gap > t.cert * (1.0 + scale)) return true;
  why = fmt("gap %.3g not above margin %.3g", gap, t.cert * (1.0 + scale));
  return false;
}

void checkFarkas(const Lp& lp, const OurResult& r, const Tol& t, std::vector<CheckFailure>& out) {
  if (r.farkasRc == 1265 && !t.requireCertificate) return;  // open fault: not every path keeps one
  if (r.farkasRc != 0) {
    fail(out, "farkas-missing", fmt("VNTdualfarkas returned %d", r.farkasRc));
    return;
  }
  std::string why, why2;
  if (farkasHolds(lp, r.farkas, 1.0, t, why)) return;
  if (farkasHolds(lp, r.farkas, -1.0, t, why2)) {
    fail(out, "farkas-sign", "the certificate proves infeasibility only with its sign flipped");
    return;
  }
  fail(out, "farkas-invalid", why);
}

void checkRay(const Lp& lp, const OurResult& r, const Tol& t, std::vector<CheckFailure>& out) {
  if (r.rayRc != 0) {
    fail(out, "ray-missing", fmt("VNTgetray returned %d", r.rayRc));
    return;
  }
  const auto& d = r.ray;
  double dmax = 0;
  for (double v : d) {
    if (!finite(v)) { fail(out, "ray-invalid", "ray has a non-finite entry"); return; }
    dmax = std::max(dmax, std::fabs(v));
  }
  if (dmax == 0) { fail(out, "ray-invalid", "ray is zero"); return; }
  const double tol = t.ray * 10 * dmax;
  LD cd = 0;
  double cdMag = 0;
  for (int j = 0; j < lp.n; ++j) {
    if (!isInf(lp.lb[j]) && d[j] < -tol) fail(out, "ray-invalid", fmt("C%d falls below a finite lower bound", j));
    if (!isInf(lp.ub[j]) && d[j] > tol) fail(out, "ray-invalid", fmt("C%d rises above a finite upper bound", j));
    cd += static_cast<LD>(lp.obj[j]) * d[j];
    cdMag += std::fabs(lp.obj[j] * d[j]);
  }
  std::vector<LD> ad(lp.m, 0);
  std::vector<double> mag(lp.m, 0.0);
  for (int j = 0; j < lp.n; ++j)
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) {
      ad[lp.ind[k]] += static_cast<LD>(lp.val[k]) * d[j];
      mag[lp.ind[k]] += std::fabs(lp.val[k] * d[j]);
    }
  for (int i = 0; i < lp.m; ++i) {
    double lo, up;
    lp.rowLimits(i, lo, up);
    const double a = static_cast<double>(ad[i]), rt = 1e-8 * mag[i] + 1e-12 * dmax;
    if (up < kInf && a > rt) fail(out, "ray-invalid", fmt("R%d: A d = %.3g leaves the upper limit", i, a));
    if (lo > -kInf && a < -rt) fail(out, "ray-invalid", fmt("R%d: A d = %.3g leaves the lower limit", i, a));
  }
  const double improve = lp.objsen * static_cast<double>(cd);
  if (!(improve < -1e-9 * std::max(cdMag, dmax)))
    fail(out, "ray-invalid", fmt("c'd = %.3g does not improve the objective", improve));
  // Unbounded claims a feasible model: the returned point must be feasible.
  bool havePoint = true;
  for (double v : r.x) havePoint = havePoint && finite(v);
  if (!havePoint) { fail(out, "unbounded-point", "no finite primal point with the unbounded status"); return; }
  for (int j = 0; j < lp.n; ++j) {
    const double lb = lp.lb[j], ub = lp.ub[j], x = r.x[j];
    if ((!isInf(lb) && lb - x > t.primal * std::max(1.0, std::fabs(lb))) ||
        (!isInf(ub) && x - ub > t.primal * std::max(1.0, std::fabs(ub))))
      fail(out, "unbounded-point", fmt("C%d x=%.17g outside [%.17g, %.17g]", j, x, lb, ub));
  }
  std::vector<LD> act(lp.m, 0);
  std::vector<double> rowMag(lp.m, 0.0);
  for (int j = 0; j < lp.n; ++j)
    for (int k = lp.beg[j]; k < lp.beg[j] + lp.cnt[j]; ++k) {
      act[lp.ind[k]] += static_cast<LD>(lp.val[k]) * r.x[j];
      rowMag[lp.ind[k]] = std::max(rowMag[lp.ind[k]], std::fabs(lp.val[k] * r.x[j]));
    }
  for (int i = 0; i < lp.m; ++i) {
    double lo, up;
    lp.rowLimits(i, lo, up);
    const double a = static_cast<double>(act[i]);
    const double rowTol = t.primal * std::max({1.0, std::fabs(lo) < kInf ? std::fabs(lo) : 0.0,
                                            std::fabs(up) < kInf ? std::fabs(up) : 0.0, rowMag[i]});
    if ((lo > -kInf && lo - a > rowTol) || (up < kInf && a - up > rowTol))
      fail(out, "unbounded-point", fmt("R%d activity %.17g outside [%.17g, %.17g]", i, a, lo, up));
  }
}

}  // namespace

std::vector<CheckFailure> checkAnswer(const Lp& lp, const OurResult& r, const Tol& t) {
  std::vector<CheckFailure> out;
  switch (r.outcome) {
    case Outcome::Optimal:
    case Outcome::OptUnscaledInf: checkOptimal(lp, r, t, out); break;
    case Outcome::Infeasible: checkFarkas(lp, r, t, out); break;
    case Outcome::Unbounded: checkRay(lp, r, t, out); break;
    case Outcome::InfOrUnbd: break;  // neither certificate is promised
    default: break;
  }
  if (r.outcome == Outcome::OptUnscaledInf) fail(out, "status5", "optimal with unscaled infeasibilities");
  if (r.outcome == Outcome::IterLimit) fail(out, "iteration-limit", fmt("stopped after %lld iterations", r.iters));
  if (r.outcome == Outcome::Error) fail(out, "error", fmt("optimize returned %d", r.rc));
  if (r.outcome == Outcome::Other) fail(out, "other-status", fmt("status %d", r.stat));
  return out;
}

// ---------------------------------------------------------------------------
// Peers

PeerResult solveClp(const Lp& lp) {
  PeerResult p;
#ifdef VANTO_DIFF_CLP
  auto build = [&](ClpSimplex& s) {
    std::vector<CoinBigIndex> starts(lp.n + 1);
    for (int j = 0; j < lp.n; ++j) starts[j] = lp.beg[j];
    starts[lp.n] = lp.nnz();
    std::vector<double> lb(lp.n), ub(lp.n), c(lp.n), rlo(lp.m), rup(lp.m);
    for (int j = 0; j < lp.n; ++j) {
      lb[j] = lp.lb[j] <= -kInf ? -COIN_DBL_MAX : lp.lb[j];
      ub[j] = lp.ub[j] >= kInf ? COIN_DBL_MAX : lp.ub[j];
      c[j] = lp.obj[j] * lp.objsen;
    }
    for (int i = 0; i < lp.m; ++i) {
      double lo, up;
      lp.rowLimits(i, lo, up);
      rlo[i] = lo <= -kInf ? -COIN_DBL_MAX : lo;
      rup[i] = up >= kInf ? COIN_DBL_MAX : up;
    }
    std::vector<int> ind = lp.ind;
    std::vector<double> val = lp.val;
    if (ind.empty()) { ind.push_back(0); val.push_back(0.0); }
    s.setLogLevel(0);
    s.loadProblem(lp.n, lp.m, starts.data(), ind.data(), val.data(), lb.data(), ub.data(), c.data(), rlo.data(),
                  rup.data());
    s.setMaximumIterations(static_cast<int>(Ours::iterationCap(lp) * 4));
  };
  ClpSimplex s;
  build(s);
  s.dual();
  int st = s.status();
  if (st == 2) {
    // Dual infeasible: the primal decides whether a feasible point exists.
    ClpSimplex s2;
    build(s2);
    s2.primal();
    const int st2 = s2.status();
    if (st2 == 2) p.outcome = Outcome::Unbounded;
    else if (st2 == 1) p.outcome = Outcome::Infeasible;
    else p.outcome = Outcome::InfOrUnbd;
    p.detail = "clp dual: dual infeasible; primal status " + std::to_string(st2);
    return p;
  }
  if (st == 0) {
    p.outcome = Outcome::Optimal;
    p.obj = s.objectiveValue() * lp.objsen + lp.offset;
  } else if (st == 1) {
    p.outcome = Outcome::Infeasible;
  } else {
    p.outcome = Outcome::Error;
    p.detail = "clp status " + std::to_string(st);
  }
#else
  (void)lp;
  p.outcome = Outcome::None;
  p.detail = "no clp";
#endif
  return p;
}

bool glpsolAvailable() { return access("/usr/bin/glpsol", X_OK) == 0; }

std::string tempBase(const std::string& dir, const char* what) {
  static int counter = 0;
  return dir + "/vnt_diff_" + std::to_string(getpid()) + "_" + what + std::to_string(counter++);
}

GlpsolRun runGlpsol(const std::string& mpsText, const std::string& options, int timeoutSeconds,
                    const std::string& workDir, const char* what) {
  GlpsolRun r;
  const std::string base = tempBase(workDir, what);
  const std::string mps = base + ".mps", out = base + ".out", log = base + ".log";
  if (!writeFile(mps, mpsText)) return r;
  r.written = true;
  const std::string cmd = "timeout " + std::to_string(timeoutSeconds) + " /usr/bin/glpsol --freemps '" + mps + "' " +
                          options + " -o '" + out + "' > '" + log + "' 2>&1";
  r.rc = std::system(cmd.c_str());
  r.obj = NAN;
  std::ifstream f(out);
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("Status:", 0) == 0) r.status = line.substr(7);
    if (line.rfind("Objective:", 0) == 0) {
      const auto eq = line.find('=');
      if (eq != std::string::npos) r.obj = std::strtod(line.c_str() + eq + 1, nullptr);
    }
  }
  std::remove(mps.c_str());
  std::remove(out.c_str());
  std::remove(log.c_str());
  return r;
}

PeerResult solveExact(const Lp& lp, const std::string& workDir, int seconds) {
  PeerResult p;
  if (!glpsolAvailable()) { p.detail = "no glpsol"; return p; }
  const GlpsolRun g = runGlpsol(toMps(lp, "diff"), "--exact", seconds, workDir, "exact");
  if (!g.written) { p.outcome = Outcome::Error; p.detail = "cannot write"; return p; }
  const std::string& status = g.status;
  const double obj = g.obj;
  const int rc = g.rc;
  if (status.find("OPTIMAL") != std::string::npos) {
    p.outcome = Outcome::Optimal;
    p.obj = obj * lp.objsen + lp.offset;
  } else if (status.find("INFEASIBLE") != std::string::npos) {
    p.outcome = Outcome::Infeasible;
  } else if (status.find("UNBOUNDED") != std::string::npos) {
    p.outcome = Outcome::Unbounded;
  } else {
    p.outcome = Outcome::Other;
  }
  p.detail = "glpsol --exact:" + status + " (rc " + std::to_string(rc) + ")";
  return p;
}

bool highsAvailable() {
  static const int ok = std::system("/usr/bin/python3 -c 'import scipy.optimize' > /dev/null 2>&1") == 0;
  return ok;
}

void writeHighsBatch(const std::string& path, const std::vector<const Lp*>& lps,
                     const std::vector<const std::vector<char>*>* ctypes) {
  std::ofstream f(path);
  f.precision(17);
  f << lps.size() << "\n";
  auto lim = [](double v) { return v <= -kInf ? -1e300 : v >= kInf ? 1e300 : v; };
  for (size_t t = 0; t < lps.size(); ++t) {
    const Lp* lp = lps[t];
    f << lp->n << " " << lp->m << " " << lp->nnz() << "\n";
    for (int j = 0; j < lp->n; ++j) f << lp->obj[j] * lp->objsen << " ";
    f << "\n";
    for (int j = 0; j < lp->n; ++j) f << lim(lp->lb[j]) << " ";
    f << "\n";
    for (int j = 0; j < lp->n; ++j) f << lim(lp->ub[j]) << " ";
    f << "\n";
    if (ctypes) {
      const std::vector<char>& ct = *(*ctypes)[t];
      for (int j = 0; j < lp->n; ++j) {
        const char c = ct[j];
        f << (c == 'B' || c == 'I' ? 1 : c == 'S' ? 2 : c == 'N' ? 3 : 0) << " ";
      }
      f << "\n";
    }
    for (int i = 0; i < lp->m; ++i) {
      double lo, up;
      lp->rowLimits(i, lo, up);
      f << lim(lo) << " " << lim(up) << " ";
    }
    f << "\n";
    for (int j = 0; j < lp->n; ++j)
      for (int k = lp->beg[j]; k < lp->beg[j] + lp->cnt[j]; ++k) f << lp->ind[k] << " " << j << " " << lp->val[k] << " ";
    f << "\n";
  }
}

int runHighsBatch(const char* kind, const std::string& in, const std::string& out, size_t start,
                  std::vector<HighsAnswer>& answers) {
  // Memory capped: the peer has been seen to allocate gigabytes on a small
  // model; it then fails that model instead of pressing the shared machine.
  const std::string cmd = std::string("ulimit -v 1500000; /usr/bin/python3 '") + VANTO_DIFF_SCRIPT_DIR +
                          "/highs_batch.py' " + kind + " '" + in + "' '" + out + "' " + std::to_string(start) +
                          " > /dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  answers.clear();
  std::ifstream f(out);
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream ls(line);
    HighsAnswer a;
    if (ls >> a.index >> a.status >> a.obj) answers.push_back(a);
  }
  return rc;
}

std::vector<PeerResult> solveHighsBatch(const std::vector<const Lp*>& lps, const std::string& workDir) {
  std::vector<PeerResult> res(lps.size());
  if (!highsAvailable()) return {};
  const std::string base = tempBase(workDir, "highs");
  const std::string in = base + ".txt", out = base + ".res";
  writeHighsBatch(in, lps, nullptr);
  // A model that brings the solver process down is marked and skipped.
  std::vector<char> done(lps.size(), 0);
  size_t startAt = 0;
  std::vector<HighsAnswer> answers;
  for (int attempt = 0; attempt < 20 && startAt < lps.size(); ++attempt) {
    const int rc = runHighsBatch("lp", in, out, startAt, answers);
    for (const HighsAnswer& a : answers) {
      if (a.index >= res.size()) continue;
      const size_t k = a.index;
      done[k] = 1;
      PeerResult& p = res[k];
      switch (a.status) {
        case 0: p.outcome = Outcome::Optimal; p.obj = a.obj * lps[k]->objsen + lps[k]->offset; break;
        case 2: p.outcome = Outcome::Infeasible; break;
        case 3: p.outcome = Outcome::Unbounded; break;
        case 5: p.outcome = Outcome::InfOrUnbd; break;
        default: p.outcome = Outcome::Error; break;
      }
      p.detail = "highs status " + std::to_string(a.status);
    }
    if (rc == 0) break;
    while (startAt < lps.size() && done[startAt]) ++startAt;
    if (startAt < lps.size()) {
      res[startAt].outcome = Outcome::Error;
      res[startAt].detail = "highs process crashed";
      done[startAt] = 1;
      ++startAt;
    }
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  return res;
}

bool agreesOutcome(Outcome a, double aObj, const PeerResult& peer, const Tol& t) {
  const Outcome b = peer.outcome;
  if (a == Outcome::Optimal || a == Outcome::OptUnscaledInf) {
    if (b != Outcome::Optimal) return false;
    return std::fabs(aObj - peer.obj) <= t.objective * std::max(1.0, std::fabs(peer.obj));
  }
  if (a == Outcome::Infeasible) return b == Outcome::Infeasible || b == Outcome::InfOrUnbd;
  if (a == Outcome::Unbounded) return b == Outcome::Unbounded || b == Outcome::InfOrUnbd;
  if (a == Outcome::InfOrUnbd)
    return b == Outcome::Infeasible || b == Outcome::Unbounded || b == Outcome::InfOrUnbd;
  return false;
}

bool agrees(const OurResult& ours, const PeerResult& peer, const Tol& t) {
  return agreesOutcome(ours.outcome, ours.obj, peer, t);
}

bool writeCaseFiles(Ours& ours, const Lp& lp, const std::string& pathNoExt) {
  int rc = 0;
  VNTLPptr p = ours.load(lp, rc);
  bool ok = false;
  if (p) {
    ok = VNTwriteprob(ours.env(), p, (pathNoExt + ".mps").c_str(), "MPS") == 0;
    ours.release(p);
  }
  ok = writeFile(pathNoExt + ".peer.mps", toMps(lp, "diff")) && ok;
  return ok;
}

bool readModel(Ours& ours, const std::string& path, Lp& lp) {
  int rc = 0;
  VNTENVptr env = ours.env();
  VNTLPptr p = VNTcreateprob(env, &rc, "case");
  if (!p) return false;
  bool ok = VNTreadcopyprob(env, p, path.c_str(), nullptr) == 0;
  if (ok) {
    lp = Lp();
    lp.n = VNTgetnumcols(env, p);
    lp.m = VNTgetnumrows(env, p);
    lp.objsen = VNTgetobjsen(env, p);
    VNTgetobjoffset(env, p, &lp.offset);
    lp.obj.resize(lp.n); lp.lb.resize(lp.n); lp.ub.resize(lp.n);
    lp.rhs.resize(lp.m); lp.rng.resize(lp.m); lp.sense.resize(lp.m);
    if (lp.n > 0) {
      ok = ok && VNTgetobj(env, p, lp.obj.data(), 0, lp.n - 1) == 0;
      ok = ok && VNTgetlb(env, p, lp.lb.data(), 0, lp.n - 1) == 0;
      ok = ok && VNTgetub(env, p, lp.ub.data(), 0, lp.n - 1) == 0;
      const int nz = VNTgetnumnz(env, p);
      int got = 0, surplus = 0;
      lp.beg.assign(lp.n, 0);
      lp.ind.assign(std::max(nz, 1), 0);
      lp.val.assign(std::max(nz, 1), 0.0);
      ok = ok && VNTgetcols(env, p, &got, lp.beg.data(), lp.ind.data(), lp.val.data(), nz, &surplus, 0,
                            lp.n - 1) == 0;
      lp.ind.resize(got);
      lp.val.resize(got);
      lp.cnt.resize(lp.n);
      for (int j = 0; j < lp.n; ++j) lp.cnt[j] = (j + 1 < lp.n ? lp.beg[j + 1] : got) - lp.beg[j];
    }
    if (lp.m > 0) {
      ok = ok && VNTgetrhs(env, p, lp.rhs.data(), 0, lp.m - 1) == 0;
      ok = ok && VNTgetsense(env, p, lp.sense.data(), 0, lp.m - 1) == 0;
      ok = ok && VNTgetrngval(env, p, lp.rng.data(), 0, lp.m - 1) == 0;
    }
  }
  VNTfreeprob(env, &p);
  return ok;
}

// ---------------------------------------------------------------------------
// Cases

bool CaseReport::anyUnexplained() const {
  for (const auto& s : solves)
    if (!s.agree && !s.explained) return true;
  return false;
}

bool CaseReport::anyFailure() const {
  for (const auto& s : solves)
    if (!s.failures.empty()) return true;
  return false;
}

std::string CaseReport::summary() const {
  std::ostringstream o;
  o << "case " << c.id << " " << familyName(c.family) << " (" << c.note << ", " << c.lp.m << "x" << c.lp.n
    << "): clp " << outcomeName(clp.outcome);
  if (clp.outcome == Outcome::Optimal) o << " " << clp.obj;
  if (exact.outcome != Outcome::None) {
    o << "; exact " << outcomeName(exact.outcome);
    if (exact.outcome == Outcome::Optimal) o << " " << exact.obj;
  }
  if (clpWarm.outcome != Outcome::None) {
    o << "; changed model: clp " << outcomeName(clpWarm.outcome);
    if (clpWarm.outcome == Outcome::Optimal) o << " " << clpWarm.obj;
    if (exactWarm.outcome != Outcome::None) {
      o << ", exact " << outcomeName(exactWarm.outcome);
      if (exactWarm.outcome == Outcome::Optimal) o << " " << exactWarm.obj;
    }
  }
  for (const auto& s : solves) {
    if (s.agree && s.failures.empty()) continue;
    o << "\n  " << s.config << ": " << outcomeName(s.ours.outcome) << " (status " << s.ours.stat << ", rc "
      << s.ours.rc << ", obj " << s.ours.obj << ", " << s.ours.iters << " it)";
    if (!s.agree) o << " vs peer " << outcomeName(s.peer.outcome) << " " << s.peer.obj
                    << (s.explained ? " [explained: " + s.explanation + "]" : " [UNEXPLAINED]");
    for (const auto& f : s.failures) o << "\n    check " << f.kind << ": " << f.detail;
  }
  return o.str();
}

namespace {

void settle(SolveRecord& rec, const Lp& lp, const PeerResult& peer, PeerResult& exact, bool& exactDone,
            const RunOptions& o) {
  rec.peer = peer;
  rec.failures = checkAnswer(lp, rec.ours, o.tol);
  rec.agree = agrees(rec.ours, peer, o.tol);
  if (rec.agree) {
    // "Infeasible or unbounded" (a presolve outcome) agrees with either
    // answer of the peer; the exact solve still says which the model is.
    if (rec.ours.outcome == Outcome::InfOrUnbd && o.exactTieBreak && !exactDone) {
      exact = solveExact(lp, o.workDir, o.exactSeconds);
      exactDone = true;
    }
    return;
  }
  if (o.exactTieBreak && !exactDone) {
    exact = solveExact(lp, o.workDir, o.exactSeconds);
    exactDone = true;
  }
  if (exact.outcome != Outcome::None && agrees(rec.ours, exact, o.tol)) {
    rec.explained = true;
    rec.explanation = "exact solve agrees with us (" + exact.detail + ")";
    return;
  }
  // Our own answer, checked from the data, is a certificate too: an optimal
  // primal-dual pair within the tolerances, a valid Farkas proof, or a
  // feasible point with an improving ray.  Such a
  // disagreement is a matter of tolerance on an ill-posed model.
  const bool certified =
      rec.failures.empty() && (rec.ours.outcome == Outcome::Optimal || rec.ours.outcome == Outcome::Unbounded ||
                               (rec.ours.outcome == Outcome::Infeasible && rec.ours.farkasRc == 0));
  if (certified) {
    rec.explained = true;
    rec.certified = true;
    rec.explanation = std::string("our answer is certified by the checks; exact says ") + outcomeName(exact.outcome);
  }
}

}  // namespace

CaseReport runCase(Ours& ours, const Case& c, const RunOptions& o) {
  CaseReport rep;
  rep.c = c;
  rep.clp = solveClp(c.lp);
  if (c.family == Family::Crossed) {
    // An empty bound interval is infeasible by definition; the peers'
    // readers and loaders treat it in their own ways.
    rep.clp.outcome = Outcome::Infeasible;
    rep.clp.detail = "empty bound interval";
  }
  bool exactDone = false;
  std::vector<Config> configs;
  if (!o.skipPrimal) configs.push_back({1, 0});
  configs.push_back({2, 0});
  configs.push_back({0, 0});
  if (o.scalingVariants) {
    configs.push_back({2, -1});
    if (!o.skipPrimal) configs.push_back({1, c.id % 2 ? 1 : -1});
    else configs.push_back({2, 1});
  }
  if (o.concurrent) configs.push_back({6, 0});
  for (const Config& cfg : configs) {
    SolveRecord rec;
    rec.config = cfg.name();
    rec.ours = ours.solveFresh(c.lp, cfg);
    settle(rec, c.lp, rep.clp, rep.exact, exactDone, o);
    rep.solves.push_back(std::move(rec));
  }
  // Warm path: solve, change a few data, re-solve from the old basis; the
  // answer must match a cold solve of the changed model.
  if (o.warm && rep.clp.outcome == Outcome::Optimal && c.family != Family::Crossed) {
    const Change ch = randomChange(c.lp, c.id, o.warmOffset);
    Lp changed = c.lp;
    ch.applyTo(changed);
    rep.changed = changed;
    const PeerResult clp2 = solveClp(changed);
    PeerResult& exact2 = rep.exactWarm;
    rep.clpWarm = clp2;
    bool exact2Done = false;
    for (int method : {2, 1}) {
      if (method == 1 && o.skipPrimal) continue;
      int rc = 0;
      VNTLPptr p = ours.load(c.lp, rc);
      SolveRecord rec;
      rec.config = std::string("warm-") + (method == 1 ? "primal" : "dual") + ch.describe();
      if (!p) {
        rec.ours.rc = rc;
        rec.ours.outcome = Outcome::Error;
      } else {
        ours.solve(p, c.lp, {2, 0}, true);
        VNTENVptr env = ours.env();
        int st = 0;
        if (!ch.bdIdx.empty())
          st = VNTchgbds(env, p, static_cast<int>(ch.bdIdx.size()), ch.bdIdx.data(), ch.bdLu.data(), ch.bdVal.data());
        if (st == 0 && !ch.objIdx.empty())
          st = VNTchgobj(env, p, static_cast<int>(ch.objIdx.size()), ch.objIdx.data(), ch.objVal.data());
        if (st == 0 && !ch.rhsIdx.empty())
          st = VNTchgrhs(env, p, static_cast<int>(ch.rhsIdx.size()), ch.rhsIdx.data(), ch.rhsVal.data());
        if (st == 0 && ch.offsetChanged) st = VNTchgobjoffset(env, p, ch.offset);
        if (st != 0) {
          rec.ours.rc = st;
          rec.ours.outcome = Outcome::Error;
        } else {
          rec.ours = ours.solve(p, changed, {method, 0}, true);
        }
        ours.release(p);
      }
      settle(rec, changed, clp2, exact2, exact2Done, o);
      if (!rec.agree && !rec.explained) {
        // A cold solve of ours on the changed model tells a warm-start fault
        // from a fault of the model itself.
        const OurResult cold = ours.solveFresh(changed, {method, 0});
        rec.explanation = std::string("cold ") + outcomeName(cold.outcome) + " " + std::to_string(cold.obj);
      }
      rep.solves.push_back(std::move(rec));
    }
  }
  return rep;
}

std::string faultPrint(const SolveRecord& s) {
  std::string p = std::string(outcomeName(s.ours.outcome)) + "|" + outcomeName(s.peer.outcome) + "|" +
                  (s.agree ? "agree" : s.explained ? "explained" : "unexplained");
  std::vector<std::string> kinds;
  for (const auto& f : s.failures) kinds.push_back(f.kind);
  std::sort(kinds.begin(), kinds.end());
  for (const auto& k : kinds) p += "|" + k;
  return p;
}

Lp minimizeCase(Ours& ours, const Case& c, const RunOptions& o, const SolveRecord& bad) {
  const std::string want = faultPrint(bad);
  RunOptions mo = o;
  mo.warm = false;
  mo.concurrent = bad.config.rfind("concurrent", 0) == 0;
  auto fails = [&](const Lp& cand) {
    Case cc = c;
    cc.lp = cand;
    const CaseReport r = runCase(ours, cc, mo);
    for (const auto& s : r.solves)
      if (s.config == bad.config) return faultPrint(s) == want;
    return false;
  };
  const Lp small = minimize(c.lp, fails);
  // The written file must show it too (the reader may round differently).
  const std::string path = tempBase(o.workDir, "min") + ".mps";
  Lp back;
  const bool ok = writeFile(path, toMps(small, "diff")) && readModel(ours, path, back) && fails(back);
  std::remove(path.c_str());
  return ok ? small : c.lp;
}

// ---------------------------------------------------------------------------
// Bad data

std::vector<CheckFailure> runBadData(Ours& ours, const Case& c, int variant) {
  std::vector<CheckFailure> out;
  const Lp& lp = c.lp;
  Lp bad = lp;
  VNTENVptr env = ours.env();
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  const int j = static_cast<int>(c.id % lp.n), i = lp.m > 0 ? static_cast<int>(c.id % lp.m) : 0;
  std::string what;
  int dataCheck = 0;
  enum { kLoad, kChgObj, kChgCoef, kNewCols } path = kLoad;
  double value = nan;
  switch (variant % 11) {
    case 0: bad.obj[j] = nan; what = "NaN objective in copylp"; break;
    case 1:
      if (bad.nnz() == 0) return out;
      bad.val[c.id % bad.nnz()] = nan; what = "NaN coefficient in copylp"; break;
    case 2: if (lp.m == 0) return out; bad.rhs[i] = nan; what = "NaN rhs in copylp"; break;
    case 3: bad.lb[j] = nan; what = "NaN lower bound in copylp"; break;
    case 4: path = kChgObj; value = inf; dataCheck = 1; what = "+inf objective by chgobj, data check on"; break;
    case 5: path = kChgObj; value = inf; dataCheck = 0; what = "+inf objective by chgobj, data check off"; break;
    case 6: path = kChgObj; value = 1e21; dataCheck = 1; what = "1e21 objective by chgobj, data check on"; break;
    case 7: path = kChgCoef; value = -inf; dataCheck = 1; what = "-inf coefficient by chgcoef, data check on"; break;
    case 8: path = kChgCoef; value = nan; dataCheck = 0; what = "NaN coefficient by chgcoef, data check off"; break;
    case 9: if (lp.m == 0) return out; bad.sense[i] = 'X'; what = "row sense 'X' in copylp"; break;
    default: path = kNewCols; value = inf; dataCheck = 1; what = "+inf objective by newcols, data check on"; break;
  }
  VNTsetintparam(env, VNT_PARAM_DATACHECK, dataCheck);
  int rc = 0;
  VNTLPptr p = ours.load(path == kLoad ? bad : lp, rc);
  int entryRc = rc;
  if (p) {
    if (path == kChgObj) entryRc = VNTchgobj(env, p, 1, &j, &value);
    else if (path == kChgCoef) entryRc = VNTchgcoef(env, p, i, j, value);
    else if (path == kNewCols) {
      const double lb0 = 0, ub0 = 1;
      entryRc = VNTnewcols(env, p, 1, &value, &lb0, &ub0, nullptr, nullptr);
    }
  }
  if (entryRc == 0 && p) {
    Lp shape = path == kLoad ? bad : lp;  // the solve reads values sized by the problem
    if (path == kNewCols) {
      ++shape.n;
      shape.obj.push_back(value); shape.lb.push_back(0); shape.ub.push_back(1);
      shape.beg.push_back(shape.nnz()); shape.cnt.push_back(0);
    }
    OurResult r = ours.solve(p, shape, {2, 0}, false);
    if (r.rc == 0) {
      fail(out, "baddata-accepted",
           what + ": accepted, optimize returned 0 with status " + std::to_string(r.stat) + " objective " +
               std::to_string(r.obj));
    }
  }
  if (p) ours.release(p);
  VNTsetintparam(env, VNT_PARAM_DATACHECK, 0);
  return out;
}

}  // namespace vnt::diff
