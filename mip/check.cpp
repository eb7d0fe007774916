// The incumbent check against the model as the caller gave it.
#include <algorithm>
#include <cmath>
#include <string>

#include "mip/mip.h"

namespace vnt::mip {

namespace {

bool within(double v, double lo, double up, double t) { return v >= lo - t && v <= up + t; }

double rowActivity(const std::vector<int>& ind, const std::vector<double>& val, const double* x) {
  double s = 0.0;
  for (size_t k = 0; k < ind.size(); ++k) s += val[k] * x[ind[k]];
  return s;
}

bool senseHolds(char sense, double act, double rhs, double t) {
  switch (sense) {
    case 'L': return act <= rhs + t;
    case 'G': return act >= rhs - t;
    default: return std::fabs(act - rhs) <= t;
  }
}

// Tolerance of a row check: absolute, widened on rows with large terms.
double rowTol(double t, double scale) { return t * std::max(1.0, scale * 1e-6); }

// Values of the piecewise-linear function at x that the definition allows
// (several at a jump).  Returns true when y matches one of them.
bool pwlMatches(const model::PwlConstraint& c, double x, double y, double t) {
  const size_t k = c.x.size();
  if (k == 0) return true;
  auto near = [&](double f, double slope) { return std::fabs(y - f) <= t * (1.0 + std::fabs(slope)) * (1.0 + 1e-6 * std::fabs(f)); };
  if (x <= c.x[0] + t && near(c.y[0] + c.preslope * (x - c.x[0]), c.preslope)) return true;
  if (x >= c.x[k - 1] - t && near(c.y[k - 1] + c.postslope * (x - c.x[k - 1]), c.postslope)) return true;
  for (size_t i = 0; i + 1 < k; ++i) {
    const double a = c.x[i], b = c.x[i + 1];
    if (x < a - t || x > b + t) continue;
    if (b > a) {
      const double slope = (c.y[i + 1] - c.y[i]) / (b - a);
      double xc = std::clamp(x, a, b);
      if (near(c.y[i] + slope * (xc - a) + slope * (x - xc), slope)) return true;
    } else {
      if (near(c.y[i], 0.0) || near(c.y[i + 1], 0.0)) return true;
    }
  }
  for (size_t i = 0; i < k; ++i)
    if (std::fabs(x - c.x[i]) <= t && near(c.y[i], 0.0)) return true;
  return false;
}

}  // namespace

bool solutionSatisfies(const model::ModelData& md, const double* x, const SolutionTolerances& tl,
                       std::string* why) {
  const int n = md.numCols(), m = md.numRows();
  const double ft = tl.feasibility * 10.0, it = tl.integrality;
  auto fail = [&](std::string s) {
    if (why) *why = std::move(s);
    return false;
  };
  for (int j = 0; j < n; ++j) {
    const double v = x[j];
    if (!std::isfinite(v)) return fail("column " + std::to_string(j) + " not finite");
    const char t = md.ctype.empty() ? 'C' : md.ctype[j];
    double lb = md.lb[j], ub = md.ub[j];
    if (t == 'B') {
      lb = std::max(lb, 0.0);
      ub = std::min(ub, 1.0);
    }
    if (t == 'S' || t == 'N') {
      if (std::fabs(v) <= ft) continue;  // off
      if (!within(v, lb, ub, ft)) return fail("semi-continuous column " + std::to_string(j) + " outside its range");
    } else if (!within(v, lb, ub, ft)) {
      return fail("column " + std::to_string(j) + " outside its bounds");
    }
    if ((t == 'B' || t == 'I' || t == 'N') && std::fabs(v - std::round(v)) > it)
      return fail("column " + std::to_string(j) + " not integral");
  }
  std::vector<double> act(m, 0.0), scale(m, 0.0);
  for (int j = 0; j < n; ++j)
    for (int64_t k = md.matbeg[j]; k < md.matbeg[j + 1]; ++k) {
      act[md.matind[k]] += md.matval[k] * x[j];
      scale[md.matind[k]] = std::max(scale[md.matind[k]], std::fabs(md.matval[k] * x[j]));
    }
  for (int i = 0; i < m; ++i) {
    const double rhs = md.rhs[i], rng = md.rngval.empty() ? 0.0 : md.rngval[i];
    const double t = rowTol(ft, scale[i]);
    double lo = -1e300, up = 1e300;
    switch (md.sense[i]) {
      case 'L': up = rhs; break;
      case 'G': lo = rhs; break;
      case 'E': lo = up = rhs; break;
      default:
        if (rng >= 0) { lo = rhs; up = rhs + rng; }
        else { lo = rhs + rng; up = rhs; }
    }
    if (!within(act[i], lo, up, t)) return fail("row " + std::to_string(i) + " violated");
  }
  for (size_t s = 0; s < md.sos.size(); ++s) {
    const model::SosSet& set = md.sos[s];
    std::vector<std::pair<double, int>> mem;
    for (size_t k = 0; k < set.ind.size(); ++k) mem.emplace_back(set.weight[k], set.ind[k]);
    std::stable_sort(mem.begin(), mem.end());
    int first = -1, last = -1, count = 0;
    for (int k = 0; k < static_cast<int>(mem.size()); ++k)
      if (std::fabs(x[mem[k].second]) > ft) {
        if (first < 0) first = k;
        last = k;
        ++count;
      }
    if (set.type == '1' ? count > 1 : (count > 2 || (count == 2 && last != first + 1)))
      return fail("SOS " + std::to_string(s) + " violated");
  }
  for (size_t r = 0; r < md.indconstr.size(); ++r) {
    const model::IndicatorConstraint& c = md.indconstr[r];
    const double z = x[c.indvar];
    const double activeVal = c.complemented ? 0.0 : 1.0;
    const bool active = std::fabs(z - activeVal) <= it;
    const double a = rowActivity(c.ind, c.val, x);
    double sc = 0.0;
    for (size_t k = 0; k < c.ind.size(); ++k) sc = std::max(sc, std::fabs(c.val[k] * x[c.ind[k]]));
    const bool holds = senseHolds(c.sense, a, c.rhs, rowTol(ft, sc));
    if (c.direction != 1 && active && !holds) return fail("indicator " + std::to_string(r) + " violated");
    // Reversed direction: the constraint holding forces the active value.
    if (c.direction != 0 && !active && senseHolds(c.sense, a, c.rhs, tl.feasibility))
      return fail("indicator " + std::to_string(r) + " (reversed) violated");
  }
  // Lazy constraints are constraints of the model like any row.
  for (size_t r = 0; r < md.lazycons.size(); ++r) {
    const model::LinearConstraint& c = md.lazycons[r];
    double sc = 0.0;
    for (size_t k = 0; k < c.ind.size(); ++k) sc = std::max(sc, std::fabs(c.val[k] * x[c.ind[k]]));
    if (!senseHolds(c.sense, rowActivity(c.ind, c.val, x), c.rhs, rowTol(ft, sc)))
      return fail("lazy constraint " + std::to_string(r) + " violated");
  }
  for (size_t r = 0; r < md.pwl.size(); ++r) {
    const model::PwlConstraint& c = md.pwl[r];
    if (!pwlMatches(c, x[c.xcol], x[c.ycol], ft)) return fail("piecewise-linear constraint " + std::to_string(r) + " violated");
  }
  return true;
}

}  // namespace vnt::mip
