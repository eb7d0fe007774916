NAME          hdr
OBJSENSE
    MAX
OBJNAME
    cost
REFROW
    r1
ROWS
 N  other
 N  cost
 L  r1
 G  r2
 E  r3
COLUMNS
    x         cost      1.5        r1        2.0
    x         r2        -1
    y         cost      -2e1       r3        1.0D0
    y         other     3
RHS
    rhs       r1        10         r2        -5
    rhs       r3        4          cost      7
RANGES
    rng       r1        2          r2        3
    rng       r3        -1
BOUNDS
 UP bnd       x         4
 LO bnd       y         -1.5
ENDATA
