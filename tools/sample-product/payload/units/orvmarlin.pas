unit orvmarlin;

{$I orvprod.inc}

interface

type
  TMarlinGrid = class
  public
    procedure Refresh;
  end;

implementation

procedure TMarlinGrid.Refresh;
begin
end;

end.
