NAME          markers
ROWS
 N  obj
 L  c1
 G  c2
COLUMNS
    MARKER                 'MARKER'                 'INTORG'
    i1        obj       1          c1        1
    i2        obj       2          c2        1
    MARKER                 'MARKER'                 'INTEND'
    S1        SOS       'MARKER'                 'SOSORG'
    s1        obj       1          c1        1
    s2        obj       1          c2        1
    SOS       'MARKER'                 'SOSEND'
    a         obj       1          c1        1
    b         obj       1          c2        1
    c         obj       1          c1        1
    d         obj       1          c2        1
    e         obj       1          c1        1
    f         obj       1          c2        1
    g         obj       1          c1        1
    h         obj       1          c2        1
    k         obj       1          c1        1
    odd       'MARKER'                 'UNKNOWN'
RHS
    RHS       c1        4          c2        1
BOUNDS
 UP BND       i1        4
 LO BND       i1        1
 FX BND       a         2.5
 FR BND       b
 MI BND       c
 PL BND       d
 BV BND       e
 LI BND       f         2
 UI BND       f         8
 SC BND       g         5
 SC BND       h
 UP BND       k         -3
 MI BND       s1
 UP BND       s2        0
ENDATA
