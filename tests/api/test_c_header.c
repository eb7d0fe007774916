/* The public header compiles as C and a C program can open and close an
 * environment. */
#include <stdio.h>
#include <string.h>
#include "vanto/vanto.h"

int main(void) {
  int status = -1;
  VNTENVptr env = VNTopenVANTO(&status);
  if (!env || status != 0) return 1;
  if (strcmp(VNTversion(env), "22.1.1.0") != 0) return 2;
  VNTLPptr lp = VNTcreateprob(env, &status, "p");
  if (!lp || status != 0) return 3;
  if (VNTgetnumrows(env, lp) != 0) return 4;
  if (VNTfreeprob(env, &lp) != 0 || lp != NULL) return 5;
  if (VNTcloseVANTO(&env) != 0 || env != NULL) return 6;
  return 0;
}
