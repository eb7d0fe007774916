NAME t
ROWS
 N obj
 L c
COLUMNS
 x c 1 c 2
ENDATA
