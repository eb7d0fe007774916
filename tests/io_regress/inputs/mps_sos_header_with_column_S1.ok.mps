NAME t
ROWS
 N obj
 L c
COLUMNS
 S1 obj 1 c 1
 x obj 1 c 1
SOS
 S1 SOS s1
 S1 1
 x 2
 S2 SOS#1
 S1 1
ENDATA
