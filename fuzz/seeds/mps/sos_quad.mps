NAME          sosq
ROWS
 N  obj
 L  c1
 L  qc1
 G  ind1
COLUMNS
    x         obj       1          c1        1
    x         qc1       1          ind1      1
    y         obj       1          c1        1
    y         qc1       2
    z         obj       -1         ind1      1
    b         obj       0          c1        1
RHS
    RHS       c1        4          qc1       9
    RHS       ind1      1
BOUNDS
 BV BND       b
SOS
 S1 SOS       set1      1
    x         1
    y         2
 S2 SOS       set2      2
    y         1
    z         2
QUADOBJ
    x         x         2
    x         y         1
    y         y         4
QCMATRIX      qc1
    x         x         1
    x         y         0.5
    y         x         0.5
    y         y         1
INDICATORS
 IF ind1      b         1
ENDATA
