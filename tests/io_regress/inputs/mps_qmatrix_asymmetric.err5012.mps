NAME t
ROWS
 N obj
 L c
COLUMNS
 x c 1
 y c 1
QMATRIX
 x y 1
 y x 2
ENDATA
