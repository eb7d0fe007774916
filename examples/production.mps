* A small production-planning LP: three products share machine time and
* labour; product demand is bounded.  Optimal profit 2150.
NAME          PRODUCTION
OBJSENSE
    MAX
ROWS
 N  PROFIT
 L  MACHINE
 L  LABOUR
 G  MINMIX
 L  STEEL
COLUMNS
    CHAIRS    PROFIT        45.0   MACHINE        2.0
    CHAIRS    LABOUR         3.0   MINMIX         1.0
    CHAIRS    STEEL          1.0
    TABLES    PROFIT        80.0   MACHINE        4.0
    TABLES    LABOUR         5.0   MINMIX         1.0
    TABLES    STEEL          3.0
    DESKS     PROFIT        60.0   MACHINE        3.0
    DESKS     LABOUR         4.0   STEEL          2.0
RHS
    RHS       MACHINE      100.0   LABOUR       140.0
    RHS       MINMIX        10.0   STEEL         60.0
BOUNDS
 UP BND       TABLES        15.0
 UP BND       DESKS         20.0
ENDATA
