/* Status codes returned by the VANTO interface (0 is success).  The text
 * of a code is available through VNTgeterrorstring. */
#ifndef VANTO_VNT_ERRORS_H
#define VANTO_VNT_ERRORS_H

#define VNTERR_NO_MEMORY                              1001  /* Out of memory */
#define VNTERR_NO_ENVIRONMENT                         1002  /* No environment */
#define VNTERR_BAD_ARGUMENT                           1003  /* Bad argument to Callable Library routine */
#define VNTERR_NULL_POINTER                           1004  /* Null pointer for required data */
#define VNTERR_CALLBACK                               1006  /* Error during callback */
#define VNTERR_NO_PROBLEM                             1009  /* No problem exists */
#define VNTERR_PROBLEM_TOO_LARGE                      1012  /* Problem size limits too large */
#define VNTERR_BAD_PARAM_NUM                          1013  /* Bad parameter number to VANTO parameter routine */
#define VNTERR_PARAM_TOO_SMALL                        1014  /* Parameter value too small */
#define VNTERR_PARAM_TOO_BIG                          1015  /* Parameter value too big */
#define VNTERR_NOT_FOR_MIP                            1017  /* Not available for mixed-integer problems */
#define VNTERR_NOT_FOR_QP                             1018  /* Not available for quadratic programs */
#define VNTERR_THREAD_LIMIT_EXCEEDED                  1020  /* Thread limit exceeded */
#define VNTERR_BAD_PROB_TYPE                          1022  /* Unknown problem type. Problem not changed */
#define VNTERR_NOT_SINGLE_PROBLEM                     1023  /* Not a single problem */
#define VNTERR_NOT_MILP_CLASS                         1024  /* Not a MILP or fixed MILP */
#define VNTERR_STR_PARAM_TOO_LONG                     1026  /* String parameter is too long */
#define VNTERR_DECOMPRESSION                          1027  /* Decompression of unpresolved problem failed */
#define VNTERR_BAD_PARAM_NAME                         1028  /* Bad parameter name to VANTO parameter routine */
#define VNTERR_NOT_MIQP                               1029  /* Not a MIQP or fixed MIQP */
#define VNTERR_NOT_FOR_QCP                            1031  /* Not available for QCP */
#define VNTERR_NO_CHANNEL                             1051  /* No channel pointer supplied to message routine */
#define VNTERR_NO_FILE_POINTER                        1052  /* No file pointer found for message routine */
#define VNTERR_NO_FUNCTION                            1053  /* No function pointer found for message routine */
#define VNTERR_CALLBACK_INCONSISTENT                  1060  /* Inconsistent callback configuration */
#define VNTERR_NOT_FOR_MULTIOBJ                       1070  /* Not available for multiobjective problems */
#define VNTERR_NOT_DISTMIP                            1071  /* problem not compatible with distributed MIP */
#define VNTERR_PRESLV_INFORUNBD                       1101  /* Presolve determines problem is infeasible or unbounded */
#define VNTERR_PRESOLVE_NOT_CREATED                   1103  /* No presolved problem created */
#define VNTERR_PRESLV_ABORT                           1106  /* Aborted during presolve */
#define VNTERR_PRESLV_BASIS_MEM                       1107  /* Not enough memory to build basis for original LP */
#define VNTERR_PRESLV_COPYSOS                         1108  /* Can't copy SOS info from original MIP */
#define VNTERR_PRESLV_COPYORDER                       1109  /* Can't copy priority order info from original MIP */
#define VNTERR_PRESLV_SOLN_MIP                        1110  /* Not enough memory to recover solution for original MIP */
#define VNTERR_PRESLV_SOLN_QP                         1111  /* Not enough memory to compute solution to original QP */
#define VNTERR_PRESLV_START_LP                        1112  /* Not enough memory to build start for original LP */
#define VNTERR_PRESLV_FAIL_BASIS                      1114  /* Could not load unpresolved basis for original LP */
#define VNTERR_PRESLV_NO_BASIS                        1115  /* Failed to find basis in presolved LP */
#define VNTERR_PRESLV_INF                             1117  /* Presolve determines problem is infeasible */
#define VNTERR_PRESLV_UNBD                            1118  /* Presolve determines problem is unbounded */
#define VNTERR_PRESLV_DUAL_NOT_AVAILABLE              1119  /* The feature is not available for solving dual formulation */
#define VNTERR_PRESLV_UNCRUSHFORM                     1120  /* Can't uncrush solution form */
#define VNTERR_PRESLV_CRUSHFORM                       1121  /* Can't crush solution form */
#define VNTERR_PRESLV_TIME_LIM                        1123  /* Time limit exceeded during presolve */
#define VNTERR_PRESLV_DETTIME_LIM                     1124  /* Deterministic time limit exceeded during presolve */
#define VNTERR_INDEX_RANGE                            1200  /* Index is outside range of valid values */
#define VNTERR_COL_INDEX_RANGE                        1201  /* Column index %lld out of range */
#define VNTERR_ROW_INDEX_RANGE                        1203  /* Row index %lld out of range */
#define VNTERR_INDEX_RANGE_LOW                        1205  /* %s: 'begin' value %lld is less than %lld */
#define VNTERR_INDEX_RANGE_HIGH                       1206  /* %s: 'end' value %lld is greater than %lld */
#define VNTERR_NEGATIVE_SURPLUS                       1207  /* Insufficient array length */
#define VNTERR_ARRAY_TOO_LONG                         1208  /* Array length too long */
#define VNTERR_NO_DEFAULT_NAMES                       1209  /* Unable to create default names */
#define VNTERR_NAME_NOT_FOUND                         1210  /* Name not found */
#define VNTERR_NO_RHS_IN_OBJ                          1211  /* rhs has no coefficient in obj */
#define VNTERR_UNSUPPORTED_CONSTRAINT_TYPE            1212  /* Unsupported constraint type was used */
#define VNTERR_ILL_DEFINED_PWL                        1213  /* ill defined piecewise linear function */
#define VNTERR_BAD_SENSE                              1215  /* Illegal sense entry %lld */
#define VNTERR_BAD_INDTYPE                            1216  /* Illegal indicator type %lld */
#define VNTERR_NO_SOLUTION_EXISTS                     1217  /* No solution exists */
#define VNTERR_NO_NAMES_EXIST                         1219  /* No names exist */
#define VNTERR_BAD_NAME                               1220  /* Missing, duplicate, or invalid name is present in the model */
#define VNTERR_NOT_FIXED                              1221  /* Only fixed variables are pivoted out */
#define VNTERR_DUP_ENTRY                              1222  /* Duplicate entry or entries */
#define VNTERR_NO_BARRIER_SOLUTION_EXISTS             1223  /* No barrier solution exists */
#define VNTERR_NAN                                    1225  /* Numeric entry is not a double precision number (NaN) */
#define VNTERR_ARRAY_NOT_ASCENDING                    1226  /* Array entry %lld not ascending */
#define VNTERR_COUNT_RANGE                            1227  /* Count entry %lld negative or larger than allowed */
#define VNTERR_COUNT_OVERLAP                          1228  /* Count entry %lld specifies overlapping entries */
#define VNTERR_BAD_LUB                                1229  /* Illegal bound change specified by entry %lld */
#define VNTERR_NODE_INDEX_RANGE                       1230  /* Node index %d out of range */
#define VNTERR_ARC_INDEX_RANGE                        1231  /* Arc index %lld out of range */
#define VNTERR_NO_DUAL_SOLN                           1232  /* No dual solution exists */
#define VNTERR_BAD_NUMERIC_ENTRY                      1233  /* Numeric entry is %s */
#define VNTERR_THREAD_FAILED                          1234  /* Creation of parallel thread failed */
#define VNTERR_ENCODING_CONVERSION                    1235  /* Failed to convert string encoding */
#define VNTERR_CONTROL_CHARACTER                      1236  /* Control character in string */
#define VNTERR_INDEX_NOT_BASIC                        1251  /* Index must correspond to a basic variable */
#define VNTERR_NEED_OPT_SOLN                          1252  /* Optimal solution required */
#define VNTERR_BAD_STATUS                             1253  /* invalid basis status entry */
#define VNTERR_NOT_UNBOUNDED                          1254  /* Unbounded solution required */
#define VNTERR_SBASE_INCOMPAT                         1255  /* Incompatible with superbasis */
#define VNTERR_SINGULAR                               1256  /* Basis singular */
#define VNTERR_BAD_PRICING_INDICATOR                  1257  /* Incorrect usage of pricing indicator */
#define VNTERR_NO_LU_FACTOR                           1258  /* No LU factorization exists */
#define VNTERR_NO_SENSIT                              1260  /* Sensitivity analysis not available for current status */
#define VNTERR_NO_BASIC_SOLN                          1261  /* No basic solution exists */
#define VNTERR_NO_BASIS                               1262  /* No basis exists */
#define VNTERR_ABORT_STRONGBRANCH                     1263  /* Strong branching aborted */
#define VNTERR_NO_NORMS                               1264  /* No norms available */
#define VNTERR_NOT_DUAL_UNBOUNDED                     1265  /* Dual unbounded solution required */
#define VNTERR_TILIM_STRONGBRANCH                     1266  /* Time limit reached in strong branching */
#define VNTERR_BAD_PIVOT                              1267  /* Illegal pivot */
#define VNTERR_TILIM_CONDITION_NO                     1268  /* Time limit reached in computing condition number */
#define VNTERR_NO_KAPPASTATS                          1269  /* No kappa statistics are available */
#define VNTERR_DETTILIM_STRONGBRANCH                  1270  /* Deterministic time limit reached in strong branching */
#define VNTERR_BAD_METHOD                             1292  /* Invalid choice of optimization method */
#define VNTERR_MULTIOBJ_SUBPROB_SOLVE                 1300  /* Failure to solve multi-objective subproblem */
#define VNTERR_NO_FILENAME                            1421  /* File name not specified */
#define VNTERR_FAIL_OPEN_WRITE                        1422  /* Could not open file '%s' for writing */
#define VNTERR_FAIL_OPEN_READ                         1423  /* Could not open file '%s' for reading */
#define VNTERR_BAD_FILETYPE                           1424  /* Invalid filetype */
#define VNTERR_XML_PARSE                              1425  /* XML parsing error at line %lld: %s */
#define VNTERR_FILE_IO                                1426  /* Low-level file I/O error */
#define VNTERR_LP_SYNTAX                              1427  /* LP syntax error on line %d near '%s' */
#define VNTERR_TOO_MANY_ROWS                          1431  /* Too many rows */
#define VNTERR_TOO_MANY_COLS                          1432  /* Too many columns */
#define VNTERR_TOO_MANY_COEFFS                        1433  /* Too many coefficients */
#define VNTERR_BAD_NUMBER                             1434  /* Line %lld: Couldn't convert '%s' to a number */
#define VNTERR_BAD_EXPO                               1435  /* Line %lld: Exponent '%s' out of range */
#define VNTERR_NO_OBJ_SENSE                           1436  /* Max or Min missing */
#define VNTERR_QCP_SENSE_FILE                         1437  /* Line %lld: Illegal quadratic constraint sense */
#define VNTERR_BAD_LAZY_UCUT                          1438  /* Line %lld: Illegal lazy constraint or user cut */
#define VNTERR_BAD_INDCONSTR                          1439  /* Line %lld: Illegal indicator constraint */
#define VNTERR_NO_NAME_SECTION                        1441  /* Line %lld: No NAME section */
#define VNTERR_BAD_SOS_TYPE                           1442  /* Line %lld: Unrecognized SOS type: %c%c */
#define VNTERR_COL_ROW_REPEATS                        1443  /* Column '%s' has repeated row '%s' */
#define VNTERR_RIM_ROW_REPEATS                        1444  /* %s '%s' has repeated row '%s' */
#define VNTERR_ROW_REPEATS                            1445  /* Row '%s' repeats */
#define VNTERR_COL_REPEATS                            1446  /* Column '%s' repeats */
#define VNTERR_RIM_REPEATS                            1447  /* Line %lld: %s '%s' repeats */
#define VNTERR_ROW_UNKNOWN                            1448  /* Line %lld: '%s' is not a row name */
#define VNTERR_COL_UNKNOWN                            1449  /* Line %lld: '%s' is not a column name */
#define VNTERR_NO_ROW_SENSE                           1453  /* Line %lld: No row sense */
#define VNTERR_EXTRA_FX_BOUND                         1454  /* Line %lld: 'FX' bound type illegal when prior bound given */
#define VNTERR_EXTRA_FR_BOUND                         1455  /* Line %lld: 'FR' bound type illegal when prior bound given */
#define VNTERR_EXTRA_BV_BOUND                         1456  /* Line %lld: 'BV' bound type illegal when prior bound given */
#define VNTERR_BAD_BOUND_TYPE                         1457  /* Line %lld: Unrecognized bound type '%s' */
#define VNTERR_UP_BOUND_REPEATS                       1458  /* Line %lld: Repeated upper bound */
#define VNTERR_LO_BOUND_REPEATS                       1459  /* Line %lld: Repeated lower bound */
#define VNTERR_NO_BOUND_TYPE                          1460  /* Line %lld: Bound type missing */
#define VNTERR_BAD_SECTION_ENDATA                     1462  /* Line %lld: Unrecognized section marker. Expecting ENDATA */
#define VNTERR_BAD_INTEGER_MAGNITUDE                  1463  /* Line %lld: Magnitude exceeds integer limit %d */
#define VNTERR_NAME_TOO_LONG                          1464  /* Line %lld: Identifier/name too long to process */
#define VNTERR_LINE_TOO_LONG                          1465  /* Line %lld: Line longer than limit of %d bytes */
#define VNTERR_NO_ROWS_SECTION                        1471  /* Line %lld: No ROWS section */
#define VNTERR_NO_COLUMNS_SECTION                     1472  /* Line %lld: No COLUMNS section */
#define VNTERR_BAD_SECTION_BOUNDS                     1473  /* Line %lld: Unrecognized section marker. Expecting RANGES, BOUNDS, QMATRIX, or ENDATA */
#define VNTERR_RANGE_SECTION_ORDER                    1474  /* Line %lld: 'RANGES' section out of order */
#define VNTERR_BAD_SECTION_QMATRIX                    1475  /* Line %lld: Unrecognized section marker. Expecting QMATRIX or ENDATA */
#define VNTERR_NO_OBJECTIVE                           1476  /* Line %lld: No objective row found */
#define VNTERR_ROW_REPEAT_PRINT                       1477  /* %lld Row repeats messages not printed */
#define VNTERR_COL_REPEAT_PRINT                       1478  /* %lld Column repeats messages not printed */
#define VNTERR_RIMNZ_REPEATS                          1479  /* Line %lld: %s %s repeats */
#define VNTERR_EXTRA_INTORG                           1480  /* Line %lld: 'INTORG' found while reading integers */
#define VNTERR_EXTRA_INTEND                           1481  /* Line %lld: 'INTEND' found while not reading integers */
#define VNTERR_EXTRA_SOSORG                           1482  /* Line %lld: 'SOSORG' found while reading a SOS */
#define VNTERR_EXTRA_SOSEND                           1483  /* Line %lld: 'SOSEND' found while not reading a SOS */
#define VNTERR_TOO_MANY_RIMS                          1484  /* Too many rim vectors */
#define VNTERR_TOO_MANY_RIMNZ                         1485  /* Too many rim nonzeros */
#define VNTERR_NO_ROW_NAME                            1486  /* Line %lld: No row name */
#define VNTERR_BAD_OBJ_SENSE                          1487  /* Line %lld: Unrecognized objective sense '%s' */
#define VNTERR_BAD_MULTIOBJ_ATTR                      1488  /* Line %lld: Illegal attribute description for multi-objective: %s */
#define VNTERR_NO_OBJ_NAME                            1489  /* Line %lld: No objective name */
#define VNTERR_NET_DATA                               1530  /* Inconsistent network file */
#define VNTERR_NOT_MIN_COST_FLOW                      1531  /* Not a min-cost flow problem */
#define VNTERR_BAD_ROW_ID                             1532  /* Incorrect row identifier */
#define VNTERR_BAD_CHAR                               1537  /* Illegal character */
#define VNTERR_NET_FILE_SHORT                         1538  /* Unexpected end of network file */
#define VNTERR_BASIS_MISSING_BASICS                   1550  /* Basis missing some basic variables */
#define VNTERR_BAD_BASIS_MARKER                       1551  /* Line %lld: Unrecognized basis marker '%s' */
#define VNTERR_NO_ENDATA                              1552  /* ENDATA missing */
#define VNTERR_WRONG_ENTRY_COUNT                      1553  /* Line %lld: Wrong number of entries */
#define VNTERR_SBASE_ILLEGAL                          1554  /* Superbases are not allowed */
#define VNTERR_BASIS_COUNT                            1555  /* %lld %s basic variable(s) */
#define VNTERR_NO_VECTOR_SOLN                         1556  /* Vector solution does not exist */
#define VNTERR_NOT_SAV_FILE                           1560  /* File '%s' is not a SAV file */
#define VNTERR_SAV_FILE_DATA                          1561  /* Not enough data in SAV file */
#define VNTERR_SAV_FILE_WRITE                         1562  /* Unable to write SAV file to disk */
#define VNTERR_FILE_FORMAT                            1563  /* File '%s' has an incompatible format. Try setting reverse flag */
#define VNTERR_SAV_FILE_UNKNOWN                       1564  /* SAV file data could not be interpreted */
#define VNTERR_ADJ_SIGNS                              1602  /* Lines %lld,%lld: Adjacent signs */
#define VNTERR_RHS_IN_OBJ                             1603  /* Line %lld: RHS sense in objective */
#define VNTERR_ADJ_SIGN_SENSE                         1604  /* Lines %lld,%lld: Adjacent sign and sense */
#define VNTERR_QUAD_IN_ROW                            1605  /* Line %lld: Illegal quadratic term in a constraint */
#define VNTERR_ADJ_SIGN_QUAD                          1606  /* Lines %lld,%lld: Adjacent sign and quadratic character */
#define VNTERR_NO_OPERATOR                            1607  /* Line %lld: Expected '+' or '-', found '%c' */
#define VNTERR_NO_OP_OR_SENSE                         1608  /* Line %lld: Expected '+','-' or sense, found '%c' */
#define VNTERR_NO_ID_FIRST                            1609  /* Line %lld: Expected identifier first */
#define VNTERR_NO_RHS_COEFF                           1610  /* Line %lld: Expected RHS coefficient */
#define VNTERR_NO_NUMBER_FIRST                        1611  /* Line %lld: Expected number first */
#define VNTERR_NO_QUAD_EXP                            1612  /* Line %lld: Expected quadratic exponent */
#define VNTERR_QUAD_EXP_NOT_2                         1613  /* Line %lld: Quadratic exponent must be 2 */
#define VNTERR_NO_QP_OPERATOR                         1614  /* Line %lld: Expected ^ or * */
#define VNTERR_NO_NUMBER                              1615  /* Line %lld: Expected number, found '%c' */
#define VNTERR_NO_ID                                  1616  /* Line %lld: Expected identifier, found '%c' */
#define VNTERR_BAD_ID                                 1617  /* Line %lld: '%s' not valid identifier */
#define VNTERR_BAD_EXPONENT                           1618  /* Line %lld: Exponent '%s' not %s with number */
#define VNTERR_Q_DIVISOR                              1619  /* Line %lld: Missing or incorrect divisor for Q terms */
#define VNTERR_NO_BOUND_SENSE                         1621  /* Line %lld: No bound sense */
#define VNTERR_BAD_BOUND_SENSE                        1622  /* Line %lld: Invalid bound sense */
#define VNTERR_NO_NUMBER_BOUND                        1623  /* Line %lld: Missing bound number */
#define VNTERR_NOT_EXP_REPRESENTABLE                  1650  /* Number not representable in exponential notation */
#define VNTERR_NOT_ENOUGH_ENTRIES                     1660  /* Line %lld:  Not enough entries */
#define VNTERR_NO_CONFLICT                            1719  /* No conflict is available */
#define VNTERR_INFEASIBILITY_NOT_REPRODUCED           1720  /* Infeasibility not reproduced */
#define VNTERR_TUNE_MIXED                             1730  /* Mixed problem sets cannot be tuned */
#define VNTERR_TEMP_FILE_OPEN                         1801  /* Could not open temporary file */
#define VNTERR_TEMP_FILE_READ                         1802  /* Failure on temporary file read */
#define VNTERR_TEMP_FILE_WRITE                        1803  /* Failure on temporary file write */
#define VNTERR_IN_INFOCALLBACK                        1804  /* Calling routines not allowed in informational callback */
#define VNTERR_MIPSEARCH_WITH_CALLBACKS               1805  /* MIP dynamic search incompatible with control callbacks */
#define VNTERR_LP_NOT_IN_ENVIRONMENT                  1806  /* Problem is not member of this environment */
#define VNTERR_PARAM_INCOMPATIBLE                     1807  /* Incompatible parameters */
#define VNTERR_LOCK_CREATE                            1808  /* Creation of lock failed */
#define VNTERR_SYNCHPRIM_CREATE                       1809  /* Creation of synchronization primitive failed */
#define VNTERR_32BIT_OVERFLOW                         1810  /* 32-bit overflow */
#define VNTERR_UNSUPPORTED_OPERATION                  1811  /* Attempt to invoke unsupported operation */
#define VNTERR_OS_ERROR                               1813  /* Unspecified operating system error */
#define VNTERR_DYNLOAD_FAILED                         1814  /* Failed to load dynamic library */
#define VNTERR_DYNLOAD_FUNCTION                       1815  /* Could not find function in dynamically loadable library */
#define VNTERR_BENDERS_NO_DECOMPOSITION               2000  /* No Benders decomposition available */
#define VNTERR_BENDERS_NOT_CONVERGING                 2001  /* Benders not converging */
#define VNTERR_BENDERS_BAD_DECOMPOSITION              2002  /* Invalid Benders decomposition */
#define VNTERR_BENDERS_INCOMPATIBLE                   2004  /* problem not compatible with Benders */
#define VNTERR_BENDERS_SUBPROBLEM_SOLVE               2005  /* Failure to solve MIP subproblem */
#define VNTERR_NOT_MIP                                3003  /* Not a mixed-integer problem */
#define VNTERR_BAD_PRIORITY                           3006  /* Negative priority entry %lld */
#define VNTERR_BAD_DIRECTION                          3007  /* Illegal direction entry %lld */
#define VNTERR_BAD_SOS_ENTRY                          3009  /* Illegal sostype entry %lld */
#define VNTERR_SOS_WEIGHTS_NOT_UNIQUE                 3010  /* Set does not have unique weights */
#define VNTERR_BAD_DIRECTION_FILE                     3012  /* Line %lld: Unrecognized direction '%c%c' */
#define VNTERR_NO_SOS                                 3015  /* No user-defined SOSs exist */
#define VNTERR_NO_ORDER                               3016  /* No priority order exists */
#define VNTERR_INT_TOO_BIG                            3018  /* Magnitude of variable %s: %g exceeds integer limit %d */
#define VNTERR_MIP_SUBPROBLEM_SOLVE                   3019  /* Failure to solve MIP subproblem */
#define VNTERR_NO_MIPSTART                            3020  /* No MIP start exists */
#define VNTERR_BAD_CTYPE                              3021  /* Illegal ctype entry %lld */
#define VNTERR_NO_INT_X                               3023  /* Integer feasible solution values are unavailable */
#define VNTERR_NO_SOLNPOOL                            3024  /* No solution pool exists */
#define VNTERR_CANDIDATE_NOT_POINT                    3025  /* Candidate is not a point */
#define VNTERR_CANDIDATE_NOT_RAY                      3026  /* Candidate is not an unbounded ray */
#define VNTERR_MISS_SOS_TYPE                          3301  /* Line %lld: Missing SOS type */
#define VNTERR_NO_TREE                                3412  /* Current problem has no tree */
#define VNTERR_TREE_MEMORY_LIMIT                      3413  /* Tree memory limit exceeded */
#define VNTERR_FILTER_VARIABLE_TYPE                   3414  /* Diversity filter has non-binary variable(s) */
#define VNTERR_NODE_ON_DISK                           3504  /* No callback info on disk/compressed nodes */
#define VNTERR_CPU_BINDING                            3700  /* Failed to bind threads to the specified cores */
#define VNTERR_BAD_PERMUTATION                        4005  /* Bad permutation vector from external ordering algorithm */
#define VNTERR_NOT_CONVEX                             5002  /* %s is not convex */
#define VNTERR_NOT_QP                                 5004  /* Not a quadratic program */
#define VNTERR_DUP_PAIR                               5011  /* Duplicate entry for pair '%s' and '%s' */
#define VNTERR_Q_NOT_SYMMETRIC                        5012  /* Q is not symmetric */
#define VNTERR_Q_NOT_INDEFINITE                       5014  /* Q is not indefinite */
#define VNTERR_BAD_QCP_SENSE                          6002  /* Illegal quadratic constraint sense */

#endif /* VANTO_VNT_ERRORS_H */
