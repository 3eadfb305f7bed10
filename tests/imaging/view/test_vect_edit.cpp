// Editing vector objects with the mouse in the real view: every kind created by simulated
// presses, moves and releases, selection, moving and resizing by grips, the rubber band,
// polyline point editing, the grips themselves and the measurement hint.
#include <cmath>

#include "platform/gui/application.h"
#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

namespace {

struct VectEditTest : VectTest {
  // Client point of a bitmap point.
  TPoint C(Integer BX, Integer BY) { return {View->BitmapToScreenX(BX), View->BitmapToScreenY(BY)}; }
  void Press(TPoint P, TShiftState S = 0) { SimulateMouse(View, smPress, mbLeft, P.X, P.Y, S); }
  void MoveHeld(TPoint P, TShiftState S = 0) { SimulateMouse(View, smMove, mbLeft, P.X, P.Y, S | ssLeft); }
  void Hover(TPoint P, TShiftState S = 0) { SimulateMouse(View, smMove, mbLeft, P.X, P.Y, S); }
  void Release(TPoint P, TShiftState S = 0) { SimulateMouse(View, smRelease, mbLeft, P.X, P.Y, S); }
  void Drag(TPoint A, TPoint B, TShiftState S = 0) {
    Press(A, S);
    MoveHeld({(A.X + B.X) / 2, (A.Y + B.Y) / 2}, S);
    MoveHeld(B, S);
    Release(B, S);
  }
  void Click(TPoint P, TShiftState S = 0) {
    Press(P, S);
    Release(P, S);
  }
  void DoubleClick(TPoint P) {
    Click(P);
    SimulateMouse(View, smDoubleClick, mbLeft, P.X, P.Y);
    Release(P);
  }
  TIEVObjectRec& Obj(Integer h) { return *View->GetObjectRec(h); }
  TRect Box(Integer h) {
    const TIEVObjectRec& o = Obj(h);
    return TRect{o.X1, o.Y1, o.X2, o.Y2};
  }
};

bool SameRect(const TRect& A, const TRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

}  // namespace

TEST_F(VectEditTest, DraggingInEachPutModeCreatesThatKindSelectedOverTheDraggedBox) {
  struct TCase {
    TIEMouseInteractVt Mode;
    Byte Kind;
  } Cases[] = {{mioPutLine, ievkLine},     {mioPutBox, ievkBox},         {mioPutEllipse, ievkEllipse},
               {mioPutBitmap, ievkBitmap}, {mioPutText, ievkText},       {mioPutRuler, ievkRuler},
               {mioPutMemo, ievkMemo},     {mioPutLineLabel, ievkLineLabel}, {mioPutPlugIn, ievkPlugIn}};
  View->EditNewText = false;
  std::vector<Integer> NewHandles;
  View->OnNewObject = [&](TObject*, Integer h) { NewHandles.push_back(h); };
  Integer Changes = 0;
  View->OnVectorialChanged = [&](TObject*) { ++Changes; };
  for (const TCase& c : Cases) {
    SCOPED_TRACE(int(c.Kind));
    View->SetMouseInteractObj(c.Mode);
    const Integer Before = View->ObjectsCount(), ChangesBefore = Changes;
    // Dragged up and to the left: the box kinds order their corners, the line kinds keep them.
    Drag(C(90, 80), C(30, 40));
    ASSERT_EQ(View->ObjectsCount(), Before + 1);
    const Integer h = View->GetObjectAt(Before);
    EXPECT_EQ(Obj(h).Kind, c.Kind);
    const bool LineKind = c.Kind == ievkLine || c.Kind == ievkRuler || c.Kind == ievkLineLabel;
    EXPECT_TRUE(SameRect(Box(h), LineKind ? TRect{90, 80, 30, 40} : TRect{30, 40, 90, 80}));
    EXPECT_EQ(View->SelectedObjectsCount(), 1);
    EXPECT_EQ(View->SelectedObject(0), h);
    EXPECT_EQ(NewHandles.back(), h);
    EXPECT_EQ(View->CreatingKind(), ievkNone);
    EXPECT_FALSE(View->Dragging());
    EXPECT_GT(Changes, ChangesBefore);
  }
}

TEST_F(VectEditTest, PolylineByClicksEndsAtTheDoubleClickAndAngleAtTheThirdClick) {
  View->SetMouseInteractObj(mioPutPolyline);
  Integer NewH = -1;
  View->OnNewObject = [&](TObject*, Integer h) { NewH = h; };
  Click(C(20, 20));
  Hover(C(60, 25));
  Click(C(60, 25));
  Hover(C(40, 70));
  DoubleClick(C(40, 70));
  ASSERT_EQ(View->ObjectsCount(), 1);
  const TIEVObjectRec& P = Obj(0);
  EXPECT_EQ(P.Kind, ievkPolyline);
  ASSERT_EQ(P.PolyPoints.size(), 3u);
  EXPECT_EQ(P.PolyPoints[1].X, 60);
  EXPECT_EQ(P.PolyPoints[2].Y, 70);
  EXPECT_TRUE(SameRect(Box(0), TRect{20, 20, 60, 70}));
  EXPECT_EQ(NewH, 0);
  EXPECT_TRUE(View->IsObjectSelected(0));
  EXPECT_EQ(View->CreatingKind(), ievkNone);

  // Freehand: a drag with the button held adds every point it passes.
  View->SetMouseInteractObj(mioPutPolyline);
  View->PolylineClosingMode = 2;
  Press(C(100, 100));
  for (Integer i = 1; i <= 5; ++i) MoveHeld(C(100 + 10 * i, 100 + 3 * i));
  Release(C(150, 115));
  ASSERT_EQ(View->ObjectsCount(), 2);
  EXPECT_EQ(Obj(1).PolyPoints.size(), 6u);
  EXPECT_EQ(View->CreatingKind(), ievkNone);

  View->SetMouseInteractObj(mioPutAngle);
  Click(C(30, 150));
  Click(C(10, 120));
  EXPECT_EQ(View->CreatingKind(), ievkAngle);
  Click(C(50, 130));
  ASSERT_EQ(View->ObjectsCount(), 3);
  const TIEVObjectRec& A = Obj(2);
  EXPECT_EQ(A.Kind, ievkAngle);
  EXPECT_EQ(A.AnglePoints[0].X, 30);
  EXPECT_EQ(A.AnglePoints[1].Y, 120);
  EXPECT_EQ(A.AnglePoints[2].X, 50);
  Integer x1, y1, x2, y2;
  TZodivErVect::AngleBoundingBox(A.AnglePoints, x1, y1, x2, y2);
  EXPECT_TRUE(SameRect(Box(2), TRect{x1, y1, x2, y2}));
  EXPECT_EQ(NewH, 2);
  EXPECT_EQ(View->CreatingKind(), ievkNone);
}

TEST_F(VectEditTest, ClickPlacementSquareAndFixedSizeTemplates) {
  View->SetMouseInteractObj(mioPutBox);
  TIEVObjectRec& T = *View->GetObjectRec(IEV_NEXT_OBJECT);
  T.X1 = 0, T.Y1 = 0, T.X2 = 20, T.Y2 = 10;
  Click(C(50, 50));
  ASSERT_EQ(View->ObjectsCount(), 1);
  EXPECT_TRUE(SameRect(Box(0), TRect{50, 50, 70, 60}));

  View->CenterNewObjects = true;
  Click(C(100, 100));
  EXPECT_TRUE(SameRect(Box(1), TRect{90, 95, 110, 105}));
  View->CenterNewObjects = false;

  View->SetMouseInteractObj(mioPutBox | mioNoClickCreate);
  Click(C(120, 120));
  EXPECT_EQ(View->ObjectsCount(), 2);

  // Ctrl makes a square along the larger movement: up and right gives one toward up-right's
  // diagonal through the larger component (dx 40 > |dy| 10).
  View->SetMouseInteractObj(mioPutBox);
  Drag(C(40, 120), C(80, 110), ssCtrl);
  EXPECT_TRUE(SameRect(Box(2), TRect{40, 120, 80, 160}));

  // A template that cannot be sized is placed at the release point with its own size.
  T.X1 = 0, T.Y1 = 0, T.X2 = 30, T.Y2 = 12;
  T.Style = ievsSelectable | ievsMoveable | ievsVisible;
  Drag(C(10, 10), C(60, 70));
  EXPECT_TRUE(SameRect(Box(3), TRect{60, 70, 90, 82}));
}

TEST_F(VectEditTest, SelectMoveResizeAndRubberBand) {
  const Integer A = Add(ievkBox, 20, 20, 60, 50);
  const Integer B = Add(ievkBox, 100, 20, 140, 60);
  View->GetObjectRec(A)->BrushStyle = bsSolid;
  View->GetObjectRec(B)->BrushStyle = bsSolid;
  View->SetMouseInteractObj(mioObjectSelect);
  std::vector<Integer> Clicked, Selected, Deselected;
  View->OnObjectClick = [&](TObject*, Integer h) { Clicked.push_back(h); };
  View->OnUserSelectObject = [&](TObject*, Integer h) { Selected.push_back(h); };
  View->OnUserDeselectObject = [&](TObject*, Integer h) { Deselected.push_back(h); };

  Click(C(40, 35));
  ASSERT_EQ(View->SelectedObjectsCount(), 1);
  EXPECT_EQ(View->SelectedObject(0), A);
  EXPECT_EQ(Clicked, std::vector<Integer>{A});
  Click(C(120, 40), ssShift);
  EXPECT_EQ(View->SelectedObjectsCount(), 2);
  Click(C(120, 40), ssShift);
  EXPECT_EQ(View->SelectedObjectsCount(), 1);
  EXPECT_EQ(Deselected, std::vector<Integer>{B});

  // A body drag moves the object; a corner drag resizes it; the release orders the corners.
  Drag(C(40, 35), C(50, 45));
  EXPECT_TRUE(SameRect(Box(A), TRect{30, 30, 70, 60}));
  Drag(C(70, 60), C(20, 20));
  EXPECT_TRUE(SameRect(Box(A), TRect{20, 20, 30, 30}));
  // An edge grip moves only its edge.
  Drag(C(30, 25), C(45, 40));
  EXPECT_TRUE(SameRect(Box(A), TRect{20, 20, 45, 30}));

  // A move handler that zeroes the offsets keeps the objects where they are.
  View->OnObjectMoveResize = [](TObject*, Integer, Integer, Integer& OX, Integer& OY) { OX = OY = 0; };
  Drag(C(30, 25), C(60, 55));
  EXPECT_TRUE(SameRect(Box(A), TRect{20, 20, 45, 30}));
  View->OnObjectMoveResize = nullptr;

  // Two selected, one not moveable: a body drag moves the other one only.
  View->GetObjectRec(B)->Style &= ~ievsMoveable;
  Obj(A).X1 = 20, Obj(A).Y1 = 20, Obj(A).X2 = 80, Obj(A).Y2 = 60;
  View->ClearSelection();
  View->AddToSelection(A);
  View->AddToSelection(B);
  Drag(C(35, 45), C(40, 55));
  EXPECT_TRUE(SameRect(Box(A), TRect{25, 30, 85, 70}));
  EXPECT_TRUE(SameRect(Box(B), TRect{100, 20, 140, 60}));

  // A rubber band from empty space selects what lies wholly inside it.
  Drag(C(5, 5), C(150, 70));
  EXPECT_EQ(View->SelectedObjectsCount(), 2);
  Drag(C(5, 5), C(90, 75));
  ASSERT_EQ(View->SelectedObjectsCount(), 1);
  EXPECT_EQ(View->SelectedObject(0), A);
  // A click away from every object clears the selection (the nearest one is found at any
  // distance unless a limit is set).
  View->MaxSelectionDistance = 5;
  Click(C(180, 160));
  EXPECT_EQ(View->SelectedObjectsCount(), 0);
}

TEST_F(VectEditTest, LockAspectKeepsTheRatioOnCornersButNotOnEdgesAndMovesStayInside) {
  const Integer h = Add(ievkBox, 20, 20, 60, 40);
  View->GetObjectRec(h)->LockAspect = true;
  View->SetMouseInteractObj(mioObjectSelect);
  View->AddToSelection(h);
  Drag(C(60, 40), C(80, 45));
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 80, 50}));
  Drag(C(80, 35), C(100, 35));
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 100, 50}));

  // Without AllowMoveOutside a move that would leave the image does not happen.
  View->AllowMoveOutside = false;
  Press(C(50, 20));
  MoveHeld(C(199, 20));
  Release(C(199, 20));
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 100, 50}));
  View->AllowMoveOutside = true;
  Press(C(50, 20));
  MoveHeld(C(199, 20));
  Release(C(199, 20));
  EXPECT_TRUE(SameRect(Box(h), TRect{169, 20, 249, 50}));
}

TEST_F(VectEditTest, PolylinePointsAreMovedInsertedAndDeleted) {
  TIEVObjectRec R = Rec(ievkPolyline, 20, 20, 100, 100);
  R.PolyPoints = {{20, 20}, {100, 20}, {100, 100}, {20, 100}};
  R.PolyBaseRect = TRect{20, 20, 100, 100};
  const Integer h = View->AppendObject(R);
  View->AddToSelection(h);
  View->Update();
  View->Paint();
  View->SetMouseInteractObj(mioEditPolyline);
  Integer Changes = 0;
  View->OnVectorialChanged = [&](TObject*) { ++Changes; };
  // Each point edit is a change: its undo snapshot is kept.
  View->ObjAutoUndo = true;

  Drag(C(100, 100), C(120, 110));
  EXPECT_EQ(View->ObjectsSnapshotCount(), 1);
  EXPECT_EQ(Obj(h).PolyPoints[2].X, 120);
  EXPECT_EQ(Obj(h).PolyPoints[2].Y, 110);
  EXPECT_TRUE(SameRect(Box(h), TRect{20, 20, 120, 110}));
  View->Paint();
  // A click on the first segment inserts a point there.
  Click(C(60, 20));
  ASSERT_EQ(Obj(h).PolyPoints.size(), 5u);
  EXPECT_EQ(Obj(h).PolyPoints[1].X, 60);
  EXPECT_EQ(Obj(h).PolyPoints[1].Y, 20);
  View->Paint();
  // Ctrl-click on a point deletes it, down to three points.
  Click(C(60, 20), ssCtrl);
  EXPECT_EQ(Obj(h).PolyPoints.size(), 4u);
  View->Paint();
  Click(C(20, 100), ssCtrl);
  EXPECT_EQ(Obj(h).PolyPoints.size(), 3u);
  View->Paint();
  Click(C(20, 20), ssCtrl);
  EXPECT_EQ(Obj(h).PolyPoints.size(), 3u);
  EXPECT_EQ(Changes, 4);
}

TEST_F(VectEditTest, GripsAreFoundInTheirSquaresAndDrawnOnTheSelection) {
  const Integer h = Add(ievkBox, 40, 40, 100, 80);
  View->AddToSelection(h);
  const TPoint P1 = C(40, 40);
  Integer g = 0;
  struct TCase {
    Integer DX, DY, Grip;
  } Cases[] = {{-5, -5, 1}, {4, 4, 1}, {5, -3, 0}, {-3, 5, 0}, {-6, -6, 0}};
  for (const TCase& c : Cases) {
    View->GripAt(P1.X + c.DX, P1.Y + c.DY, g);
    EXPECT_EQ(g, c.Grip) << c.DX << "," << c.DY;
  }
  const TPoint P2 = C(100, 80), PR = C(100, 60), PT = C(70, 40);
  EXPECT_EQ(View->GripAt(P2.X, P2.Y, g), 0);
  EXPECT_EQ(g, 2);
  View->GripAt(PR.X, PR.Y, g);
  EXPECT_EQ(g, 7);
  View->GripAt(PT.X, PT.Y, g);
  EXPECT_EQ(g, 8);
  View->GetObjectRec(h)->Style &= ~ievsSizeable;
  View->GripAt(P2.X, P2.Y, g);
  EXPECT_EQ(g, 3);
  // With the centre grip a press elsewhere on the body is no grip.
  View->GetObjectRec(h)->Style |= ievsSizeable;
  View->GetObjectRec(h)->BrushStyle = bsSolid;
  View->CenterMoveGrip = true;
  const TPoint Body = C(60, 50), Centre = C(70, 60);
  EXPECT_EQ(View->GripAt(Body.X, Body.Y, g), IEV_NO_OBJECT);
  EXPECT_EQ(g, 0);
  View->GripAt(Centre.X, Centre.Y, g);
  EXPECT_EQ(g, 3);
  View->CenterMoveGrip = false;

  // The grips are painted on the screen over the selected object only.
  View->Update();
  View->Paint();
  Application->ProcessMessages();
  EXPECT_NE(PixelOnScreen(View, P2.X + 3, P2.Y + 3), TColor(0xFFFFFF));
  View->ClearSelectionAndUpdate();
  View->Paint();
  Application->ProcessMessages();
  EXPECT_EQ(PixelOnScreen(View, PR.X + 3, PR.Y), TColor(0xFFFFFF));

  // A grip picture sets the grip size from its larger side.
  TBitmap Pic;
  Pic.SetPixelFormat(pf24bit);
  Pic.SetSize(16, 10);
  View->ObjGripImage()->SetBitmap(&Pic);
  View->AddToSelection(h);
  View->Update();
  View->Paint();
  EXPECT_EQ(View->GripSize, 8);
}

TEST_F(VectEditTest, MeasuringDragShowsTheLengthAndReportsIt) {
  View->SetMouseInteractObj(mioDragLen);
  double Reported = -1;
  View->OnDragLenEnd = [&](TObject*, double V) { Reported = V; };
  Drag(C(10, 10), C(70, 50));
  EXPECT_EQ(View->ObjectsCount(), 0);
  EXPECT_NEAR(Reported, std::hypot(61.0, 41.0), 1e-9);
  EXPECT_FALSE(View->MeasureHintVisible());

  // While dragging the hint shows the length in the unit; the handler may reword it.
  View->SetMUnit(ieuINCHES);
  View->SetDpiX(100), View->SetDpiY(100);
  AnsiString Seen;
  View->OnMeasureHint = [&](TObject*, AnsiString& Text, double) {
    Seen = Text;
    Text = "<" + Text + ">";
  };
  Press(C(10, 10));
  MoveHeld(C(40, 10));
  MoveHeld(C(109, 10));
  EXPECT_TRUE(View->MeasureHintVisible());
  EXPECT_EQ(Seen, AnsiString("1.00 inches"));
  EXPECT_EQ(View->MeasureHintText(), AnsiString("<1.00 inches>"));
  // The digits setter redraws the hint in place.
  View->SetFloatDigits(3);
  EXPECT_EQ(Seen, AnsiString("1.000 inches"));
  // A length of exactly 0 (one pixel up and left of the start) shows the last one instead.
  MoveHeld(C(9, 9));
  EXPECT_EQ(Seen, AnsiString("1.000 inches"));
  Release(C(9, 9));
  EXPECT_NEAR(Reported, 1.0, 1e-3);
}

TEST_F(VectEditTest, TheCursorFollowsTheGripOrPolylinePointUnderTheMouse) {
  const Integer h = Add(ievkBox, 40, 40, 100, 80);
  View->GetObjectRec(h)->BrushStyle = bsSolid;
  View->AddToSelection(h);
  View->SetMouseInteractObj(mioObjectSelect);
  const auto CursorAt = [&](TPoint P, TShiftState S = 0) {
    Hover(P, S);
    return static_cast<TControl*>(View)->Cursor();
  };
  EXPECT_EQ(CursorAt(C(40, 40)), crIEMoveDiag1);
  EXPECT_EQ(CursorAt(C(100, 40)), crIEMoveDiag2);
  EXPECT_EQ(CursorAt(C(70, 60)), crIEMove);
  EXPECT_EQ(CursorAt(C(40, 60)), crIEMoveHorz);
  EXPECT_EQ(CursorAt(C(70, 80)), crIEMoveVert);
  EXPECT_EQ(CursorAt(C(150, 150)), View->Cursor());

  TIEVObjectRec R = Rec(ievkPolyline, 20, 100, 100, 160);
  R.PolyPoints = {{20, 100}, {100, 100}, {60, 160}};
  R.PolyBaseRect = TRect{20, 100, 100, 160};
  const Integer p = View->AppendObject(R);
  View->ClearSelection();
  View->AddToSelection(p);
  View->Update();
  View->Paint();
  View->SetMouseInteractObj(mioEditPolyline);
  EXPECT_EQ(CursorAt(C(100, 100)), crIEMove);
  EXPECT_EQ(CursorAt(C(100, 100), ssCtrl), crIECross3Minus);
  EXPECT_EQ(CursorAt(C(60, 100)), crIECross3Plus);
  EXPECT_EQ(CursorAt(C(150, 30)), View->Cursor());
}

TEST_F(VectEditTest, EveryKindIsResizedByItsGripsAndAnglesByTheirPoints) {
  const Byte Kinds[] = {ievkLine, ievkBox,  ievkEllipse, ievkArc,       ievkBitmap,  ievkText,
                        ievkRuler, ievkMemo, ievkPolyline, ievkLineLabel, ievkPlugIn};
  View->SetMouseInteractObj(mioObjectSelect);
  for (Byte K : Kinds) {
    SCOPED_TRACE(int(K));
    View->ClearObjects();
    TIEVObjectRec R = Rec(K, 40, 40, 100, 80);
    if (K == ievkPolyline) {
      R.PolyPoints = {{0, 0}, {60, 40}, {0, 40}};
      R.PolyBaseRect = TRect{0, 0, 60, 40};
    }
    if (K == ievkText || K == ievkMemo || K == ievkLineLabel) R.Text = "x";
    const Integer h = View->AppendObject(R);
    View->AddToSelection(h);
    View->Update();
    View->Paint();
    Drag(C(100, 80), C(120, 90));
    Drag(C(40, 40), C(30, 35));
    EXPECT_TRUE(SameRect(Box(h), TRect{30, 35, 120, 90}));
    if (K == ievkPolyline) {
      // The points follow the box they are mapped into.
      View->Paint();
      EXPECT_EQ(Obj(h).DrawnPoints[1].X, View->BitmapToScreenX(120));
      EXPECT_EQ(Obj(h).DrawnPoints[1].Y, View->BitmapToScreenY(90));
    }
  }

  View->ClearObjects();
  TIEVObjectRec A = Rec(ievkAngle, 0, 0, 0, 0);
  A.AnglePoints[0] = {40, 40}, A.AnglePoints[1] = {70, 80}, A.AnglePoints[2] = {100, 50};
  const Integer h = View->AppendObject(A);
  View->AddToSelection(h);
  Drag(C(40, 40), C(45, 30));
  EXPECT_EQ(Obj(h).AnglePoints[0].X, 45);
  EXPECT_EQ(Obj(h).AnglePoints[0].Y, 30);
  Integer x1, y1, x2, y2;
  TZodivErVect::AngleBoundingBox(Obj(h).AnglePoints, x1, y1, x2, y2);
  EXPECT_TRUE(SameRect(Box(h), TRect{x1, y1, x2, y2}));
  // A press on a ray moves the whole angle.
  Drag(C(85, 65), C(95, 65));
  EXPECT_EQ(Obj(h).AnglePoints[0].X, 55);
  EXPECT_EQ(Obj(h).AnglePoints[1].X, 80);
  EXPECT_EQ(Obj(h).AnglePoints[2].X, 110);
  EXPECT_EQ(Obj(h).AnglePoints[2].Y, 50);
}
