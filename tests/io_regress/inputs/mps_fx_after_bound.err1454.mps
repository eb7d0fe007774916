NAME t
ROWS
 N obj
 L c
COLUMNS
 x c 1
BOUNDS
 LO b x 1
 FX b x 2
ENDATA
