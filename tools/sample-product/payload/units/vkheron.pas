unit vkheron;

{$I orvprod.inc}

interface

implementation

end.
