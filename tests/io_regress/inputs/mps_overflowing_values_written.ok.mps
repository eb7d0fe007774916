NAME inf
ROWS
 N obj
 L c
COLUMNS
 x obj 99e308 c -99e308
RHS
 rhs c 99e308
ENDATA
