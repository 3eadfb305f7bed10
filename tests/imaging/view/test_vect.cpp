// The vector view's object store: handles and growth, shared images and their use counts, hit
// testing, the selection list, the box of an angle and the measurement units.
#include <cmath>

#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

TEST_F(VectTest, StoreGrowsInBlocksAndKeepsHandlesAndOrdersBoxes) {
  EXPECT_EQ(View->ObjectsCapacity(), 0);
  for (Integer i = 0; i < 513; ++i) {
    const Integer h = Add(ievkBox, 50 - i % 7, 40, 10, 5, "b" + std::to_string(i));
    ASSERT_EQ(h, i);
    if (i == 0) {
      EXPECT_EQ(View->ObjectsCapacity(), 522);
    }
  }
  EXPECT_EQ(View->ObjectsCapacity(), 1034);
  // Boxes are kept ordered; lines keep their direction.
  TIEVObjectRec* B = View->GetObjectRec(6);
  EXPECT_EQ(B->X1, 10); EXPECT_EQ(B->X2, 44); EXPECT_EQ(B->Y1, 5); EXPECT_EQ(B->Y2, 40);
  const Integer L = Add(ievkLine, 90, 80, 10, 5);
  EXPECT_EQ(View->GetObjectRec(L)->X1, 90);
  EXPECT_EQ(View->GetObjectRec(IEV_LAST_OBJECT), View->GetObjectRec(L));
  EXPECT_EQ(View->GetObjectRec(IEV_ALL_OBJECTS), nullptr);
  EXPECT_EQ(View->GetObjectRec(IEV_NO_OBJECT), nullptr);
  EXPECT_EQ(View->GetObjectRec(7)->Name, "b7");
  // Owned parts are copies: changing the source afterwards changes nothing in the store.
  TIEVObjectRec T = Rec(ievkText, 0, 0, 30, 10);
  T.Text = "abc";
  const Integer h = View->AppendObject(T);
  T.Text = "xyz";
  EXPECT_EQ(*View->GetObjectRec(h)->Text, "abc");
  View->ClearObjects();
  EXPECT_EQ(View->ObjectsCount(), 0);
  EXPECT_EQ(View->GetObjectRec(0), nullptr);
}

TEST_F(VectTest, SharedImagesAreCountedFreedAndReused) {
  auto Red = SmallImage(0x0000FF, 0x00FF00);
  auto Blue = SmallImage(0xFF0000, 0x00FF00);
  const Integer a = Add(ievkBitmap, 0, 0, 20, 20);
  View->SetObjectBitmap(a, Red.get());
  EXPECT_EQ(View->GetObjectRec(a)->BitmapIndex, 0);
  // A copy of the object shares the entry.
  const Integer b = View->AppendObject(*View->GetObjectRec(a));
  EXPECT_EQ(View->GetObjectRec(b)->BitmapIndex, 0);
  EXPECT_EQ(View->SharedBitmapUseCount(0), 2);
  // Equal content is stored once; without sharing it gets an entry of its own.
  const Integer c = Add(ievkBitmap, 0, 0, 20, 20);
  auto Red2 = SmallImage(0x0000FF, 0x00FF00);
  View->SetObjectBitmap(c, Red2.get());
  EXPECT_EQ(View->GetObjectRec(c)->BitmapIndex, 0);
  EXPECT_EQ(View->SharedBitmapUseCount(0), 3);
  View->ShareBitmaps = false;
  View->SetObjectBitmap(c, Red2.get());
  EXPECT_EQ(View->GetObjectRec(c)->BitmapIndex, 1);
  EXPECT_EQ(View->SharedBitmapUseCount(0), 2);
  View->ShareBitmaps = true;
  // Freeing one user keeps the image; freeing the last empties the slot, which is reused.
  View->FreeObjectData(*View->GetObjectRec(a));
  EXPECT_NE(View->GetSharedBitmap(0), nullptr);
  View->FreeObjectData(*View->GetObjectRec(b));
  EXPECT_EQ(View->GetSharedBitmap(0), nullptr);
  const Integer d = Add(ievkBitmap, 0, 0, 20, 20);
  View->SetObjectBitmap(d, Blue.get());
  EXPECT_EQ(View->GetObjectRec(d)->BitmapIndex, 0);
  // The template's picture survives a clear as entry 0.
  View->SetObjectBitmap(IEV_NEXT_OBJECT, Red.get());
  View->ClearObjects();
  EXPECT_EQ(View->SharedBitmapsCount(), 1);
  EXPECT_EQ(View->GetObjectRec(IEV_NEXT_OBJECT)->BitmapIndex, 0);
  EXPECT_EQ(View->SharedBitmapUseCount(0), 1);
}

TEST_F(VectTest, HitTestingFindsTheTopmostNearestObject) {
  TIEVObjectRec F = Rec(ievkBox, 10, 10, 60, 60);
  F.BrushStyle = bsSolid;
  const Integer Lower = View->AppendObject(F);
  F.X1 = 30, F.Y1 = 30, F.X2 = 90, F.Y2 = 90;
  const Integer Upper = View->AppendObject(F);
  const Integer Hollow = Add(ievkBox, 120, 10, 180, 70);
  const Integer Line = Add(ievkLine, 10, 150, 150, 150);
  struct Case {
    Integer X, Y;
    Integer Want;
    double MaxDistance;
  } Cases[] = {
      {40, 40, Upper, 0},       // both filled boxes: the one drawn last
      {15, 15, Lower, 0},       // only the lower one
      {150, 40, IEV_ALL_OBJECTS, 0},  // inside the unfilled box, 30 pixels from each edge
      {121, 40, Hollow, 1.01},  // on its edge
      {80, 152, Line, 2.01},    // near the line
  };
  for (const Case& c : Cases) {
    double D = -1;
    const Integer Got = View->FindObjectAt(c.X, c.Y, true, D);
    if (c.Want == IEV_ALL_OBJECTS) {
      // An unfilled inside is not a hit: only the edges are, far away.
      EXPECT_GT(D, 20) << c.X << "," << c.Y;
      continue;
    }
    EXPECT_EQ(Got, c.Want) << c.X << "," << c.Y;
    EXPECT_LE(D, c.MaxDistance) << c.X << "," << c.Y;
  }
  View->SelectUnfilledBoxInside = true;
  double D;
  EXPECT_EQ(View->FindObjectAt(150, 40, true, D), Hollow);
  EXPECT_EQ(D, 0);
  // A limit on the distance turns a far best into no object.
  View->MaxSelectionDistance = 3;
  EXPECT_EQ(View->FindObjectAt(80, 170, true, D), IEV_ALL_OBJECTS);
  EXPECT_EQ(View->FindObjectAt(80, 152, true, D), Line);
  // Hidden and unselectable objects.
  View->GetObjectRec(Line)->Style &= ~ievsSelectable;
  EXPECT_NE(View->FindObjectAt(80, 152, true, D), Line);
  EXPECT_EQ(View->FindObjectAt(80, 152, false, D), Line);
  View->GetObjectRec(Line)->Style &= ~ievsVisible;
  EXPECT_NE(View->FindObjectAt(80, 152, false, D), Line);
}

TEST_F(VectTest, SelectionListEventsAndRectangleSelection) {
  Integer Events = 0;
  View->OnSelectObject = [&](TObject*) { ++Events; };
  const Integer a = Add(ievkBox, 10, 10, 30, 30);
  const Integer b = Add(ievkLine, 80, 80, 40, 40);
  const Integer c = Add(ievkBox, 100, 100, 150, 150);
  View->GetObjectRec(c)->Style &= ~ievsSelectable;
  View->RemoveFromSelection(a);
  EXPECT_EQ(Events, 0);
  View->AddToSelection(a);
  EXPECT_EQ(Events, 1);
  EXPECT_TRUE(View->IsObjectSelected(a));
  View->AddToSelectionQuiet(c);
  EXPECT_FALSE(View->IsObjectSelected(c));
  // The reversed line lies inside once its corners are ordered; the box is already selected
  // and is not added twice.
  View->SelectObjectsInRect(IEV_ALL_OBJECTS, 0, 0, 90, 90);
  EXPECT_TRUE(View->IsObjectSelected(b));
  EXPECT_EQ(View->SelectedObjectsCount(), 2);
  EXPECT_EQ(Events, 1);
  const TRect E = View->SelectionExtent();
  EXPECT_EQ(E.Left, 10); EXPECT_EQ(E.Top, 10); EXPECT_EQ(E.Right, 80); EXPECT_EQ(E.Bottom, 80);
  View->RemoveFromSelection(IEV_LAST_OBJECT);
  EXPECT_EQ(Events, 1);
  View->ClearSelection();
  EXPECT_EQ(Events, 2);
  EXPECT_EQ(View->SelectedObjectsCount(), 0);
}

TEST(VectGeometry, AngleBoxHoldsTheWholeAngle) {
  const TPoint Cases[][3] = {
      {{0, 0}, {10, 10}, {15, 30}},    // first ray end up-left of the vertex, second down-right
      {{50, 50}, {0, 0}, {-20, 70}},   // rays to both sides
      {{-5, -5}, {10, 10}, {-30, -1}}, // both ends up-left
      {{10, 10}, {10, 10}, {10, 10}},  // a point
  };
  for (const auto& P : Cases) {
    Integer X1, Y1, X2, Y2;
    TZodivErVect::AngleBoundingBox(P, X1, Y1, X2, Y2);
    for (const TPoint& p : P) {
      EXPECT_TRUE(p.X >= X1 && p.X <= X2 && p.Y >= Y1 && p.Y <= Y2)
          << p.X << "," << p.Y << " outside " << X1 << "," << Y1 << "-" << X2 << "," << Y2;
    }
    // Centred on the vertex, where the arc is drawn.
    EXPECT_EQ(X1 + X2, 2 * P[1].X);
    EXPECT_EQ(Y1 + Y2, 2 * P[1].Y);
  }
}

TEST_F(VectTest, UnitFactorsFollowUnitDpiAndScale) {
  View->SetDpiX(100);
  View->SetDpiY(200);
  struct Case {
    TIEUnits Unit;
    double X, Y;
  } Cases[] = {
      {ieuPIXELS, 1, 1},
      {ieuINCHES, 0.01, 0.005},
      {ieuCENTIMETERS, 0.0254, 0.0127},
      {ieuMILLIMETERS, 0.254, 0.127},
      {ieuKM, 2.54e-7, 1.27e-7},
  };
  for (const Case& c : Cases) {
    View->SetMUnit(c.Unit);
    EXPECT_NEAR(View->UnitFactorX(), c.X, c.X * 1e-9) << IEUnitNames[c.Unit];
    EXPECT_NEAR(View->UnitFactorY(), c.Y, c.Y * 1e-9) << IEUnitNames[c.Unit];
    EXPECT_EQ(View->GetObjectRec(IEV_NEXT_OBJECT)->RulerUnit, c.Unit);
  }
  View->MeasureScale = 3;
  View->SetMUnit(ieuCENTIMETERS);
  EXPECT_NEAR(View->UnitFactorX(), 0.0762, 1e-12);
}

TEST_F(VectTest, PolylinePointsGrowTheBox) {
  TIEVObjectRec P = Rec(ievkPolyline, 0, 0, 0, 0);
  const Integer h = View->AppendObject(P);
  for (TPoint p : {TPoint{40, 50}, TPoint{40, 50}, TPoint{10, 70}, TPoint{90, 20}}) View->AddPolylinePoint(h, p.X, p.Y);
  const TIEVObjectRec* o = View->GetObjectRec(h);
  ASSERT_EQ(o->PolyPoints.size(), 3u);
  EXPECT_EQ(o->X1, 10); EXPECT_EQ(o->Y1, 20); EXPECT_EQ(o->X2, 90); EXPECT_EQ(o->Y2, 70);
  EXPECT_EQ(o->PolyBaseRect.Left, 10); EXPECT_EQ(o->PolyBaseRect.Bottom, 70);
}
