"""Solves a batch of MIPs with HiGHS (scipy.optimize.milp) for the
differential tests.  Input: count, then per model 'n m nnz', c, lb, ub, the
integrality codes (0 continuous, 1 integer, 2 semi-continuous, 3
semi-integer), the row limits as pairs and (row col value) triples; +-1e300
mean infinite.  Output: one line per model 'index status objective' with
status 0 optimal, 1 limit, 2 infeasible, 3 unbounded, 4 other."""
import sys

import numpy as np
from scipy.optimize import Bounds, LinearConstraint, milp
from scipy.sparse import csr_matrix


def main(inp, outp):
    tok = open(inp).read().split()
    pos = 0

    def take(k, conv=float):
        nonlocal pos
        v = [conv(t) for t in tok[pos:pos + k]]
        pos += k
        return v

    count = int(take(1, int)[0])
    with open(outp, "w") as out:
        for idx in range(count):
            n, m, nnz = take(3, int)
            c = np.array(take(n))
            lb = np.array([-np.inf if v <= -1e299 else v for v in take(n)])
            ub = np.array([np.inf if v >= 1e299 else v for v in take(n)])
            integ = np.array(take(n, int))
            lim = take(2 * m)
            trip = take(3 * nnz)
            lo = np.array([-np.inf if v <= -1e299 else v for v in lim[0::2]])
            up = np.array([np.inf if v >= 1e299 else v for v in lim[1::2]])
            rows = [int(trip[3 * k]) for k in range(nnz)]
            cols = [int(trip[3 * k + 1]) for k in range(nnz)]
            vals = [trip[3 * k + 2] for k in range(nnz)]
            kw = {}
            if m > 0:
                a = csr_matrix((vals, (rows, cols)), shape=(m, n))
                kw["constraints"] = LinearConstraint(a, lo, up)
            try:
                res = milp(c, integrality=integ, bounds=Bounds(lb, ub),
                           options={"mip_rel_gap": 1e-9, "time_limit": 60.0}, **kw)
                st = res.status
                obj = res.fun if st == 0 and res.fun is not None else 0.0
            except Exception:  # noqa: BLE001 - any failure is an "other" outcome
                st, obj = 4, 0.0
            out.write("%d %d %.17g\n" % (idx, st, obj))
            out.flush()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
