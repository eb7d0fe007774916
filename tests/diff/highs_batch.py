"""Solves a batch of LPs (scipy.optimize.linprog) or MIPs (scipy.optimize.milp)
with HiGHS for the differential tests.

    highs_batch.py lp|milp IN OUT [START]

Input: count, then per model 'n m nnz', c, lb, ub, for MIPs the integrality
codes (0 continuous, 1 integer, 2 semi-continuous, 3 semi-integer), the row
limits as pairs and (row col value) triples; +-1e300 mean infinite.  Output:
one line per model 'index status objective', appended and flushed per model.
LP status: 0 optimal, 2 infeasible, 3 unbounded, 5 infeasible or unbounded,
4 other; MIP status: 0 optimal, 1 limit, 2 infeasible, 3 unbounded, 4 other.
Models before the optional start index are skipped (the caller restarts
after a model that brought the process down)."""
import sys

import numpy as np
from scipy.optimize import Bounds, LinearConstraint, linprog, milp
from scipy.sparse import csr_matrix, vstack


def inf_or(v):
    return -np.inf if v <= -1e299 else np.inf if v >= 1e299 else v


def read_models(path, mip):
    tok = open(path).read().split()
    pos = 0

    def take(k, conv=float):
        nonlocal pos
        v = [conv(t) for t in tok[pos:pos + k]]
        pos += k
        return v

    for _ in range(int(take(1, int)[0])):
        n, m, nnz = take(3, int)
        c = np.array(take(n))
        lb = np.array([inf_or(v) for v in take(n)])
        ub = np.array([inf_or(v) for v in take(n)])
        integ = np.array(take(n, int)) if mip else None
        lim = [inf_or(v) for v in take(2 * m)]
        trip = take(3 * nnz)
        a = csr_matrix(([trip[3 * k + 2] for k in range(nnz)],
                        ([int(trip[3 * k]) for k in range(nnz)], [int(trip[3 * k + 1]) for k in range(nnz)])),
                       shape=(m, n))
        yield c, lb, ub, integ, np.array(lim[0::2]), np.array(lim[1::2]), a


def solve_lp(c, lb, ub, lo, up, a):
    ub_rows, ub_rhs, eq_rows, eq_rhs = [], [], [], []
    for i in range(a.shape[0]):
        if lo[i] == up[i]:
            eq_rows.append(a[i]); eq_rhs.append(lo[i])
            continue
        if up[i] < np.inf:
            ub_rows.append(a[i]); ub_rhs.append(up[i])
        if lo[i] > -np.inf:
            ub_rows.append(-a[i]); ub_rhs.append(-lo[i])
    kw = {}
    if ub_rows:
        kw["A_ub"] = vstack(ub_rows).tocsr(); kw["b_ub"] = np.array(ub_rhs)
    if eq_rows:
        kw["A_eq"] = vstack(eq_rows).tocsr(); kw["b_eq"] = np.array(eq_rhs)
    bounds = [(None if lb[j] == -np.inf else lb[j], None if ub[j] == np.inf else ub[j]) for j in range(len(c))]
    res = linprog(c, bounds=bounds, method="highs", **kw)
    st = res.status
    if st == 4 and "unbounded or infeasible" in (res.message or "").lower():
        st = 5
    return st, res.fun if st == 0 else 0.0


def solve_milp(c, lb, ub, integ, lo, up, a):
    kw = {"constraints": LinearConstraint(a, lo, up)} if a.shape[0] > 0 else {}
    opts = {"mip_rel_gap": 1e-9, "time_limit": 60.0}
    res = milp(c, integrality=integ, bounds=Bounds(lb, ub), options=opts, **kw)
    if res.status == 2:
        # This peer's presolve has called feasible models with semi-integer
        # columns infeasible; a point found without it settles the question.
        again = milp(c, integrality=integ, bounds=Bounds(lb, ub), options=dict(opts, presolve=False), **kw)
        if again.status == 0:
            res = again
    st = res.status
    return st, res.fun if st == 0 and res.fun is not None else 0.0


def main(kind, inp, outp, start):
    mip = kind == "milp"
    with open(outp, "a") as out:
        for idx, (c, lb, ub, integ, lo, up, a) in enumerate(read_models(inp, mip)):
            if idx < start:
                continue
            try:
                st, obj = solve_milp(c, lb, ub, integ, lo, up, a) if mip else solve_lp(c, lb, ub, lo, up, a)
            except Exception:  # noqa: BLE001 - any failure is an "other" outcome
                st, obj = 4, 0.0
            out.write("%d %d %.17g\n" % (idx, st, obj))
            out.flush()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) > 4 else 0)
