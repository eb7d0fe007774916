NAME cutsmodel
OBJSENCE MINIMIZE
ROWS
 N  obj
 L  c1
USERCUTS
 L  cut1
 G  cut2
LAZYCONS
 E  lazy1
COLUMNS
    x         obj       1          c1        1
    x         cut1      1          lazy1     2
    y         obj       1          cut2      1
    y         lazy1     1
RHS
    RHS       c1        5          cut1      3
    RHS       cut2      1          lazy1     4
ENDATA
