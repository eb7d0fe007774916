/* VANTO mathematical-programming solver: public C interface.
 *
 * Every table-dispatched operation exists in three flavours that differ only
 * in the width of their count and size arguments: VNTxxx (32-bit), VNTSxxx
 * (64-bit counters and sizes) and VNTLxxx (also 64-bit nonzero counts).
 * Their prototypes are generated into vanto/vnt_ops.h from the library's
 * operation catalogue.
 */
#ifndef VANTO_VANTO_H
#define VANTO_VANTO_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VANTO_BUILDING_LIBRARY)
#define VNTAPI __attribute__((visibility("default")))
#else
#define VNTAPI
#endif
#define VNTAPIENTRY

/* Width types. */
typedef int VNTINT;
typedef long long VNTLONG;
typedef unsigned char VNTBYTE;
/* Widths of the VNT flavour; the VNTS flavour uses VNTLONG for counters and
 * sizes, the VNTL flavour also for nonzero counts. */
typedef int VNTDIM;
typedef int VNTNNZ;
typedef int VNTCNT;
typedef int VNTSIZE;

/* Opaque handles. */
typedef struct vntenv *VNTENVptr;
typedef const struct vntenv *VNTCENVptr;
typedef struct vntlp *VNTLPptr;
typedef const struct vntlp *VNTCLPptr;
typedef struct vntnet *VNTNETptr;
typedef const struct vntnet *VNTCNETptr;
typedef struct vntchannel *VNTCHANNELptr;
typedef struct vntparamset *VNTPARAMSETptr;
typedef const struct vntparamset *VNTCPARAMSETptr;
typedef struct vntfile *VNTFILEptr;
typedef struct vntiodevice *VNTIODEVICEptr;

/* Callback types. */
typedef void(VNTAPIENTRY VNTmsgfn)(void *handle, const char *message);
typedef VNTmsgfn *VNTmsgfnptr;
typedef int(VNTAPIENTRY VNTterminatefn)(void *handle);
typedef VNTterminatefn *VNTterminatefnptr;
typedef int(VNTAPIENTRY VNTpausefn)(void *handle);
typedef VNTpausefn *VNTpausefnptr;

/* Caller-supplied allocator (VNTEopenVANTOallocator): the first member must
 * point at the structure itself. */
typedef struct vntallocator {
  struct vntallocator *self;
  void *(*allocate)(struct vntallocator *a, size_t size);
  void *(*allocatezeroed)(struct vntallocator *a, size_t count, size_t size);
  void *(*allocatealigned)(struct vntallocator *a, size_t alignment, size_t size);
  void *(*reallocate)(struct vntallocator *a, void *ptr, size_t size);
  void (*release)(struct vntallocator *a, void *ptr);
  VNTLONG failures;
} VNTALLOCATOR;

/* Infinity and limits. */
#define VNT_INFBOUND 1.0E+20
#define VNT_MINBOUND (-1.0E+20)
#define VNT_BIGINT 2100000000
#define VNT_BIGLONG 9223372036800000000LL
#define VNT_BIGREAL 1.0E+75

/* Version. */
#define VNT_VERSION "22.1.1.0"
#define VNT_VERSION_NUMBER 22010100

/* Objective sense. */
#define VNT_MIN 1
#define VNT_MAX (-1)

/* Problem types. */
#define VNTPROB_LP 0
#define VNTPROB_MILP 1
#define VNTPROB_FIXEDMILP 3
#define VNTPROB_QP 5
#define VNTPROB_MIQP 7
#define VNTPROB_FIXEDMIQP 8
#define VNTPROB_QCP 10
#define VNTPROB_MIQCP 11
#define VNTPROB_FIXEDMIQCP 13

/* LP methods. */
#define VNT_ALG_AUTOMATIC 0
#define VNT_ALG_PRIMAL 1
#define VNT_ALG_DUAL 2
#define VNT_ALG_NET 3
#define VNT_ALG_BARRIER 4
#define VNT_ALG_SIFTING 5
#define VNT_ALG_CONCURRENT 6

/* Basis status of a variable. */
#define VNT_AT_LOWER 0
#define VNT_BASIC 1
#define VNT_AT_UPPER 2
#define VNT_FREE_SUPER 3

/* Quality measures of VNTgetdblquality and VNTgetintquality.  The double
 * query gives the value; the integer query gives, for a maximum, where it
 * occurs: a column j as j, a row i as (number of columns + i), -1 when no
 * entry contributes.  Even codes up to 26 (except 10) are measured on the
 * optimizer's scaled working form. */
#define VNT_QUAL_MAX_PRIMAL_INFEAS 1
#define VNT_QUAL_MAX_SCALED_PRIMAL_INFEAS 2
#define VNT_QUAL_SUM_PRIMAL_INFEAS 3
#define VNT_QUAL_SUM_SCALED_PRIMAL_INFEAS 4
#define VNT_QUAL_MAX_DUAL_INFEAS 5
#define VNT_QUAL_MAX_SCALED_DUAL_INFEAS 6
#define VNT_QUAL_SUM_DUAL_INFEAS 7
#define VNT_QUAL_SUM_SCALED_DUAL_INFEAS 8
#define VNT_QUAL_MAX_INT_INFEAS 9
#define VNT_QUAL_SUM_INT_INFEAS 10
#define VNT_QUAL_MAX_PRIMAL_RESIDUAL 11
#define VNT_QUAL_MAX_SCALED_PRIMAL_RESIDUAL 12
#define VNT_QUAL_SUM_PRIMAL_RESIDUAL 13
#define VNT_QUAL_SUM_SCALED_PRIMAL_RESIDUAL 14
#define VNT_QUAL_MAX_DUAL_RESIDUAL 15
#define VNT_QUAL_MAX_SCALED_DUAL_RESIDUAL 16
#define VNT_QUAL_SUM_DUAL_RESIDUAL 17
#define VNT_QUAL_SUM_SCALED_DUAL_RESIDUAL 18
#define VNT_QUAL_MAX_X 19
#define VNT_QUAL_MAX_SCALED_X 20
#define VNT_QUAL_MAX_SLACK 21
#define VNT_QUAL_MAX_SCALED_SLACK 22
#define VNT_QUAL_MAX_PI 23
#define VNT_QUAL_MAX_SCALED_PI 24
#define VNT_QUAL_MAX_RED_COST 25
#define VNT_QUAL_MAX_SCALED_RED_COST 26
#define VNT_QUAL_KAPPA 27

/* Operations outside the dispatch tables. */
VNTAPI VNTENVptr VNTAPIENTRY VNTopenVANTO(int *status_p);
VNTAPI VNTENVptr VNTAPIENTRY VNTSopenVANTO(int *status_p);
VNTAPI VNTENVptr VNTAPIENTRY VNTLopenVANTO(int *status_p);
VNTAPI VNTENVptr VNTAPIENTRY VNTEopenVANTOallocator(VNTALLOCATOR *allocator, int *status_p);
VNTAPI void VNTAPIENTRY VNTinitialize(void);
VNTAPI void VNTAPIENTRY VNTfinalize(void);
VNTAPI double VNTAPIENTRY VNTEgetbigreal(void);
/* Extension entries of the start-file readers (same as their VNT flavours). */
VNTAPI int VNTAPIENTRY VNTEreadcopybase(VNTCENVptr env, VNTLPptr lp, const char *filename);
VNTAPI int VNTAPIENTRY VNTEreadcopyorder(VNTCENVptr env, VNTLPptr lp, const char *filename);
VNTAPI int VNTAPIENTRY VNTEreadcopysol(VNTCENVptr env, VNTLPptr lp, const char *filename);
VNTAPI int VNTAPIENTRY VNTEreadcopystartinfo(VNTCENVptr env, VNTLPptr lp, const char *filename);
VNTAPI int VNTAPIENTRY VNTEreadcopymipstarts(VNTCENVptr env, VNTLPptr lp, const char *filename);
/* Terminate and pause functions; a handle that is not an open environment is
 * ignored. */
VNTAPI int VNTAPIENTRY VNTEsetterminatefunc(VNTENVptr env, VNTterminatefn *func, void *handle);
VNTAPI int VNTAPIENTRY VNTEsetpausecallbackfunc(VNTENVptr env, VNTpausefn *func, void *handle);
/* Interactive LP entry: the problem is read in LP format from `in` one line
 * at a time, with a prompt on the results channel; a bad line is reported
 * and typed again.  VNTEenterprob replaces the problem, VNTEenteradd adds
 * constraints and bounds to it; VNTEaddfromfile adds those of an LP file. */
VNTAPI int VNTAPIENTRY VNTEenterprob(VNTENVptr env, VNTLPptr lp, FILE *in);
VNTAPI int VNTAPIENTRY VNTEenteradd(VNTENVptr env, VNTLPptr lp, FILE *in);
VNTAPI int VNTAPIENTRY VNTEaddfromfile(VNTENVptr env, VNTLPptr lp, const char *filename);
/* Quality of the LP solution on the problem: maximal bound and reduced-cost
 * infeasibilities, residuals, largest values and the basis condition number,
 * printed on the results channel. */
VNTAPI int VNTAPIENTRY VNTEshowquality(VNTENVptr env, VNTLPptr lp);

#ifdef __cplusplus
}
#endif

#include "vanto/vnt_errors.h"
#include "vanto/vnt_status.h"
#include "vanto/vnt_params.h"
#include "vanto/vnt_ops.h"

#endif /* VANTO_VANTO_H */
