/* A C program whose library calls are recorded: it switches recording on,
 * builds a small LP through the model-building operations (names, a null
 * range array, a zero-length change), solves it, queries values, names and
 * counts in both the VNT and VNTL flavours, changes a bound and solves again.
 * It prints the name of the database the library created. */
#include <dirent.h>
#include <stdio.h>
#include <string.h>

#include "vanto/vanto.h"

static void quiet(void *handle, const char *msg) {
  (void)handle;
  (void)msg;
}

int main(void) {
  int st = 0;
  VNTENVptr env = VNTopenVANTO(&st);
  if (!env) return 2;
  if (VNTsetintparam(env, VNT_PARAM_RECORD, 1) != 0) return 3;
  VNTCHANNELptr res, warn, err, log;
  VNTgetchannels(env, &res, &warn, &err, &log);
  VNTaddfuncdest(env, res, NULL, quiet);
  VNTaddfuncdest(env, log, NULL, quiet);
  VNTaddfuncdest(env, err, NULL, quiet);
  VNTLPptr lp = VNTcreateprob(env, &st, "recorded");
  /* max 3x + 2y + 4z  s.t.  x + y + 2z <= 4,  2x + z <= 5,  x + 3y >= 1 */
  double obj[3] = {3, 2, 4}, lb[3] = {0, 0, 0}, ub[3] = {VNT_INFBOUND, 3, VNT_INFBOUND};
  double rhs[3] = {4, 5, 1};
  char sense[3] = {'L', 'L', 'G'};
  int matbeg[3] = {0, 3, 5}, matcnt[3] = {3, 2, 2};
  int matind[7] = {0, 1, 2, 0, 2, 0, 1};
  double matval[7] = {1, 2, 1, 1, 3, 2, 1};
  char *colname[3] = {"x", "y", "z"}, *rowname[3] = {"c1", "c2", "c3"};
  if (VNTcopylpwnames(env, lp, 3, 3, VNT_MAX, obj, rhs, sense, matbeg, matcnt, matind, matval, lb, ub, NULL,
                      colname, rowname) != 0)
    return 4;
  VNTchgobj(env, lp, 0, NULL, NULL);
  int idx[1] = {1};
  double val[1] = {2.5};
  VNTchgobj(env, lp, 1, idx, val);
  VNTlpopt(env, lp);
  double x[3], pi[3], objval = 0;
  int cstat[3], rstat[3];
  VNTgetobjval(env, lp, &objval);
  VNTgetx(env, lp, x, 0, 2);
  VNTgetpi(env, lp, pi, 0, 2);
  VNTgetbase(env, lp, cstat, rstat);
  VNTgetx(env, lp, x, 2, 7); /* a range error */
  char *names[3];
  char store[64];
  int surplus = 0;
  VNTgetcolname(env, lp, names, store, sizeof store, &surplus, 0, 2);
  VNTLgetnumnz(env, lp);
  char lu[1] = {'U'};
  double bd[1] = {1.0};
  int j0[1] = {0};
  VNTchgbds(env, lp, 1, j0, lu, bd);
  VNTdualopt(env, lp);
  VNTgetobjval(env, lp, &objval);
  VNTLgetitcnt(env, lp);
  VNTfreeprob(env, &lp);
  VNTcloseVANTO(&env);
  DIR *d = opendir(".");
  struct dirent *e;
  while (d && (e = readdir(d)) != NULL)
    if (strncmp(e->d_name, "vanto.db.", 9) == 0) printf("%s\n", e->d_name);
  if (d) closedir(d);
  return 0;
}
