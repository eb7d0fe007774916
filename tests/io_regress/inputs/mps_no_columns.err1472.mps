NAME t
ROWS
 N obj
 L c
RHS
 rhs c 1
ENDATA
