* comment
NAME  free  model
ROWS
 N obj 1 1.0 0 0
 N obj2 2 0.5 0.1 0.01 $ attrs
 L c1
COLUMNS
 x obj -1 c1 1
 x obj2 1
RHS
 c1 1
BOUNDS
 UP x 1e300
 LO x -1E+5
ENDATA
