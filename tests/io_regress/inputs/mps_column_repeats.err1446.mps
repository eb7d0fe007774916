NAME t
ROWS
 N obj
 L c
COLUMNS
 x c 1
 y c 1
 x obj 1
ENDATA
