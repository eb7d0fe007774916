/* A program written against the installed headers and library only. */
#include <stdio.h>
#include <string.h>
#include <vanto/vanto.h>

int main(void) {
  int status = -1;
  VNTENVptr env = VNTopenVANTO(&status);
  if (!env || status != 0) return 1;
  if (strcmp(VNTversion(env), VNT_VERSION) != 0) return 2;
  char buf[1024];
  if (!VNTgeterrorstring(env, VNTERR_NO_MEMORY, buf)) return 3;
  if (strcmp(buf, "VANTO Error  1001: Out of memory.\n") != 0) return 4;
  if (VNTcloseVANTO(&env) != 0 || env != NULL) return 5;
  if (VNT_STAT_OPTIMAL != 1 || VNTMIP_OPTIMAL != 101) return 6;
  puts("consumer ok");
  return 0;
}
