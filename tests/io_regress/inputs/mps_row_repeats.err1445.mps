NAME t
ROWS
 N obj
 L c
 G c
COLUMNS
 x c 1
ENDATA
