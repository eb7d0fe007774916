/* Solution status values (VNTgetstat), problem types and LP methods.  The
 * long text of a status is available through VNTgetstatstring. */
#ifndef VANTO_VNT_STATUS_H
#define VANTO_VNT_STATUS_H

/* LP and general solution status. */
#define VNT_STAT_OPTIMAL                 1   /* optimal */
#define VNT_STAT_UNBOUNDED               2   /* unbounded */
#define VNT_STAT_INFEASIBLE              3   /* infeasible */
#define VNT_STAT_INForUNBD               4   /* unbounded or infeasible */
#define VNT_STAT_OPTIMAL_INFEAS          5   /* optimal with unscaled infeasibilities */
#define VNT_STAT_NUM_BEST                6   /* non-optimal */
#define VNT_STAT_ABORT_IT_LIM            10  /* iteration limit exceeded */
#define VNT_STAT_ABORT_TIME_LIM          11  /* time limit exceeded */
#define VNT_STAT_ABORT_OBJ_LIM           12  /* objective limit exceeded */
#define VNT_STAT_ABORT_USER              13  /* user aborted */
#define VNT_STAT_FEASIBLE_RELAXED_SUM    14
#define VNT_STAT_OPTIMAL_RELAXED_SUM     15
#define VNT_STAT_FEASIBLE_RELAXED_INF    16
#define VNT_STAT_OPTIMAL_RELAXED_INF     17
#define VNT_STAT_FEASIBLE_RELAXED_QUAD   18
#define VNT_STAT_OPTIMAL_RELAXED_QUAD    19
#define VNT_STAT_OPTIMAL_FACE_UNBOUNDED  20
#define VNT_STAT_ABORT_PRIM_OBJ_LIM      21
#define VNT_STAT_ABORT_DUAL_OBJ_LIM      22
#define VNT_STAT_FEASIBLE                23  /* feasible solution */
#define VNT_STAT_FIRSTORDER              24  /* satisfies first-order optimality conditions */
#define VNT_STAT_ABORT_DETTIME_LIM       25  /* deterministic time limit exceeded */

/* Conflict refiner. */
#define VNT_STAT_CONFLICT_FEASIBLE               30
#define VNT_STAT_CONFLICT_MINIMAL                31
#define VNT_STAT_CONFLICT_ABORT_CONTRADICTION    32  /* non-minimal conflict */
#define VNT_STAT_CONFLICT_ABORT_TIME_LIM         33
#define VNT_STAT_CONFLICT_ABORT_IT_LIM           34
#define VNT_STAT_CONFLICT_ABORT_NODE_LIM         35
#define VNT_STAT_CONFLICT_ABORT_OBJ_LIM          36
#define VNT_STAT_CONFLICT_ABORT_MEM_LIM          37
#define VNT_STAT_CONFLICT_ABORT_USER             38
#define VNT_STAT_CONFLICT_ABORT_DETTIME_LIM      39

#define VNT_STAT_BENDERS_NUM_BEST                41  /* master did not converge */

/* MIP solution status. */
#define VNTMIP_OPTIMAL                   101  /* integer optimal solution */
#define VNTMIP_OPTIMAL_TOL               102  /* integer optimal, tolerance */
#define VNTMIP_INFEASIBLE                103  /* integer infeasible */
#define VNTMIP_SOL_LIM                   104  /* solution limit exceeded */
#define VNTMIP_NODE_LIM_FEAS             105
#define VNTMIP_NODE_LIM_INFEAS           106
#define VNTMIP_TIME_LIM_FEAS             107
#define VNTMIP_TIME_LIM_INFEAS           108
#define VNTMIP_FAIL_FEAS                 109
#define VNTMIP_FAIL_INFEAS               110
#define VNTMIP_MEM_LIM_FEAS              111
#define VNTMIP_MEM_LIM_INFEAS            112
#define VNTMIP_ABORT_FEAS                113
#define VNTMIP_ABORT_INFEAS              114
#define VNTMIP_OPTIMAL_INFEAS            115  /* integer optimal with unscaled infeasibilities */
#define VNTMIP_FAIL_FEAS_NO_TREE         116
#define VNTMIP_FAIL_INFEAS_NO_TREE       117
#define VNTMIP_UNBOUNDED                 118
#define VNTMIP_INForUNBD                 119
#define VNTMIP_FEASIBLE_RELAXED_SUM      120
#define VNTMIP_OPTIMAL_RELAXED_SUM       121
#define VNTMIP_FEASIBLE_RELAXED_INF      122
#define VNTMIP_OPTIMAL_RELAXED_INF       123
#define VNTMIP_FEASIBLE_RELAXED_QUAD     124
#define VNTMIP_OPTIMAL_RELAXED_QUAD      125
#define VNTMIP_ABORT_RELAXED             126  /* feasopt aborted */
#define VNTMIP_FEASIBLE                  127  /* integer feasible solution */
#define VNTMIP_POPULATESOL_LIM           128
#define VNTMIP_OPTIMAL_POPULATED         129
#define VNTMIP_OPTIMAL_POPULATED_TOL     130
#define VNTMIP_DETTIME_LIM_FEAS          131
#define VNTMIP_DETTIME_LIM_INFEAS        132
#define VNTMIP_ABORT_RELAXATION_UNBOUNDED 133
#define VNTMIP_ITLIM_FEAS                203  /* iteration limit exceeded */
#define VNTMIP_ITLIM_INFEAS              204

/* Multi-objective status. */
#define VNT_STAT_MULTIOBJ_OPTIMAL        301
#define VNT_STAT_MULTIOBJ_INFEASIBLE     302
#define VNT_STAT_MULTIOBJ_INForUNBD      303
#define VNT_STAT_MULTIOBJ_UNBOUNDED      304
#define VNT_STAT_MULTIOBJ_NON_OPTIMAL    305
#define VNT_STAT_MULTIOBJ_STOPPED        306

#endif /* VANTO_VNT_STATUS_H */
