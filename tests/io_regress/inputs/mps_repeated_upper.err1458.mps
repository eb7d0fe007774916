NAME t
ROWS
 N obj
 L c
COLUMNS
 x c 1
BOUNDS
 UP b x 1
 UP b x 2
ENDATA
