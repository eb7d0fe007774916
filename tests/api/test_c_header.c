/* The public header compiles as C (and, compiled again as C++, as C++) and a
 * program written against the documented names works. */
#include <stdio.h>
#include <string.h>
#include "vanto/vanto.h"

static int lines = 0;
static void VNTAPIENTRY count(void *handle, const char *msg) {
  (void)handle;
  if (strncmp(msg, "VANTO Error  1009: ", 19) == 0) ++lines;
}

int main(void) {
  int status = -1;
  int v = 0;
  char buf[1024];
  VNTCHANNELptr err = NULL;
  VNTENVptr env = VNTopenVANTO(&status);
  VNTLPptr lp;
  if (!env || status != 0) return 1;
  if (strcmp(VNTversion(env), VNT_VERSION) != 0) return 2;
  if (VNTversionnumber(NULL, &v) != 0 || v != VNT_VERSION_NUMBER) return 3;
  lp = VNTcreateprob(env, &status, "p");
  if (!lp || status != 0) return 4;
  if (VNTgetnumrows(env, lp) != 0) return 5;
  if (VNTgetchannels(env, NULL, NULL, &err, NULL) != 0) return 6;
  if (VNTaddfuncdest(env, err, NULL, count) != 0) return 7;
  if (VNTgetnumcols(env, (VNTCLPptr)buf) != 0 || lines != 1) return 8;
  if (VNTfreeprob(env, &lp) != 0 || lp != NULL) return 9;
  if (VNTfreeprob(env, &lp) == 0) return 10; /* already freed */
  if (!VNTgeterrorstring(env, VNTERR_COL_INDEX_RANGE, buf)) return 11;
  if (VNTsetintparam(env, VNT_PARAM_SCRIND, 0) != 0) return 12;
  if (VNT_STAT_OPTIMAL != 1 || VNT_STAT_INFEASIBLE != 3 || VNTMIP_OPTIMAL != 101) return 13;
  if (VNTPROB_MILP != 1 || VNTPROB_FIXEDMIQCP != 13 || VNT_ALG_DUAL != 2) return 14;
  if (VNTcloseVANTO(&env) != 0 || env != NULL) return 15;
  if (VNTcloseVANTO(&env) != 0) return 16;
  return 0;
}
