NAME t
ROWS
 N obj
 L c
 L d
COLUMNS
 x c 1
 b d 1
BOUNDS
 BV b b
INDICATORS
 IF d b 2
ENDATA
