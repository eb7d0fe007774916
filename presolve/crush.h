// Crushing a linear form over the original columns into one over the
// reduced columns (internal to presolve/).
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "presolve/records.h"

namespace vnt::presolve {

// Apply the records, in the order presolve made them, to the form `coef`
// (one entry per original column); the constant part collects in `offset`.
// Before a record takes a column out of the form, `visit(t, col, f)` is
// called with the record's index t, the column and the coefficient the form
// has on it at that moment (for a duplicate pair: the part of the form that
// the merged column does not carry).  A visit that returns false stops the
// crush, which then returns false.
template <class Visit>
bool crushFormVisit(const Postsolve& ps, std::vector<double>& coef, double& offset, Visit&& visit) {
  for (size_t t = 0; t < ps.recs.size(); ++t) {
    const Record& r = ps.recs[t];
    switch (r.kind) {
      case RecKind::kFixedCol:
        if (!visit(t, r.j, coef[r.j])) return false;
        offset += coef[r.j] * r.a;
        coef[r.j] = 0.0;
        break;
      case RecKind::kFreeSingleton:
      case RecKind::kSubstitution:
      case RecKind::kSlackSingleton: {
        // x_j = (b - sum of the saved entries) / a
        const double cj = coef[r.j];
        if (!visit(t, r.j, cj)) return false;
        if (cj == 0.0) break;
        offset += cj * r.b / r.a;
        for (int64_t p = r.beg; p < r.end; ++p) coef[ps.pool[p].idx] -= cj * ps.pool[p].val / r.a;
        coef[r.j] = 0.0;
        break;
      }
      case RecKind::kDuplicateCol: {
        // The merged column x' = x_j + lambda x_k comes back as x_k at its
        // reference bound and x_j = x' - lambda x_k (exact while x_j stays
        // within its bounds): f_j x_j + f_k x_k = f_j x' + (f_k - lambda f_j) x_k.
        const double fk = coef[r.k], fj = coef[r.j];
        double rest = fk - r.a * fj;
        if (std::fabs(rest) <= 1e-12 * std::max(std::fabs(fk), std::fabs(r.a * fj))) rest = 0.0;
        if (!visit(t, r.k, rest)) return false;
        if (fk == 0.0 && fj == 0.0) break;
        const double kref = !isInf(r.d) ? r.d : !isInf(r.e) ? r.e : 0.0;
        offset += rest * kref;
        coef[r.k] = 0.0;
        break;
      }
      case RecKind::kDoubleton: {
        const double ck = coef[r.k];
        if (!visit(t, r.k, ck)) return false;
        if (ck == 0.0) break;
        offset += ck * r.c / r.b;
        coef[r.j] -= ck * r.a / r.b;
        coef[r.k] = 0.0;
        break;
      }
      default:
        break;
    }
  }
  return true;
}

// The crush without a visitor.
inline void crushForm(const Postsolve& ps, std::vector<double>& coef, double& offset) {
  crushFormVisit(ps, coef, offset, [](size_t, int, double) { return true; });
}

}  // namespace vnt::presolve
