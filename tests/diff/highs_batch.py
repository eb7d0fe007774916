"""Solves a batch of LPs with HiGHS (scipy.optimize.linprog) for the
differential tests.  Input: count, then per model 'n m nnz', c, lb, ub, the
row limits as pairs and (row col value) triples; +-1e300 mean infinite.
Output: one line per model 'index status objective' with status 0 optimal,
2 infeasible, 3 unbounded, 5 infeasible or unbounded, 4 other, appended and
flushed per model; models before the optional start index are skipped (the
caller restarts after a model that brought the process down)."""
import sys

import numpy as np
from scipy.optimize import linprog
from scipy.sparse import csr_matrix


def main(inp, outp, start):
    tok = open(inp).read().split()
    pos = 0

    def take(k, conv=float):
        nonlocal pos
        v = [conv(t) for t in tok[pos:pos + k]]
        pos += k
        return v

    count = int(take(1, int)[0])
    with open(outp, "a") as out:
        for idx in range(count):
            n, m, nnz = take(3, int)
            c = np.array(take(n))
            lb = take(n)
            ub = take(n)
            lim = take(2 * m)
            trip = take(3 * nnz)
            rows = [int(trip[3 * k]) for k in range(nnz)]
            cols = [int(trip[3 * k + 1]) for k in range(nnz)]
            vals = [trip[3 * k + 2] for k in range(nnz)]
            a = csr_matrix((vals, (rows, cols)), shape=(m, n))
            ub_rows, ub_rhs, eq_rows, eq_rhs = [], [], [], []
            for i in range(m):
                lo, up = lim[2 * i], lim[2 * i + 1]
                if lo == up:
                    eq_rows.append(a[i]); eq_rhs.append(lo)
                    continue
                if up < 1e299:
                    ub_rows.append(a[i]); ub_rhs.append(up)
                if lo > -1e299:
                    ub_rows.append(-a[i]); ub_rhs.append(-lo)
            from scipy.sparse import vstack
            kw = {}
            if ub_rows:
                kw["A_ub"] = vstack(ub_rows).tocsr(); kw["b_ub"] = np.array(ub_rhs)
            if eq_rows:
                kw["A_eq"] = vstack(eq_rows).tocsr(); kw["b_eq"] = np.array(eq_rhs)
            if idx < start:
                continue
            bounds = [(None if lb[j] <= -1e299 else lb[j], None if ub[j] >= 1e299 else ub[j]) for j in range(n)]
            try:
                res = linprog(c, bounds=bounds, method="highs", **kw)
                st = res.status
                if st == 4 and "unbounded or infeasible" in (res.message or "").lower():
                    st = 5
                obj = res.fun if st == 0 else 0.0
            except Exception:  # noqa: BLE001 - any failure is an "other" outcome
                st, obj = 4, 0.0
            out.write("%d %d %.17g\n" % (idx, st, obj))
            out.flush()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 0)
