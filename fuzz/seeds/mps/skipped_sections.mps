NAME skip
ROWS
 N obj
 L c1
COLUMNS
 x obj 1 c1 1 $ comment
 y obj 1 c1 1
RHS
 rhs c1 1
BOUNDS
 UP b x 3
CSECTION c1 0.0 QUAD
 x
 y
BRANCH
 x 1
GENCONS
 g1
BASIS
 XU x c1
SETS
SCENARIOS
ENDATA
