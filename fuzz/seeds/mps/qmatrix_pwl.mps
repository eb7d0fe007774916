NAME qm
ROWS
 N obj
 L c1
COLUMNS
 x obj 1 c1 1
 y obj 1 c1 1
RHS
 rhs c1 1
QMATRIX
 x x 2
 x y 1
 y x 1
 y y 2
PWLNAM
 p1 x y 0 1
PWLCON
 p1 0 0
 p1 1 1
ENDATA
