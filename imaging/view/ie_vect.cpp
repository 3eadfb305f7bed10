// The vector view's object store: records, handles, the template, the selection list, the
// shared-bitmap table, hit testing and measurement units.
#include "imaging/view/ie_vect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "imaging/core/ie_geometry.h"
#include "imaging/proc/ie_bit_rows.h"
#include "imaging/view/ie_text_control.h"
#include "platform/gui/stdctrls.h"

const char* const IEUnitNames[8] = {"pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers"};

// ---------- LOGFONT bytes ----------

static Integer GetI32(const Byte* P) {
  uint32_t v = uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
  return static_cast<Integer>(v);
}
static void PutI32(Byte* P, Integer V) {
  const uint32_t u = static_cast<uint32_t>(V);
  P[0] = Byte(u);
  P[1] = Byte(u >> 8);
  P[2] = Byte(u >> 16);
  P[3] = Byte(u >> 24);
}

Integer TIELogFont::Height() const { return GetI32(&Bytes[0]); }
void TIELogFont::SetHeight(Integer Value) { PutI32(&Bytes[0], Value); }
Integer TIELogFont::Escapement() const { return GetI32(&Bytes[8]); }
Integer TIELogFont::Weight() const { return GetI32(&Bytes[16]); }

AnsiString TIELogFont::FaceName() const {
  // The name may fill all 32 bytes without a terminator in a file; never read past them.
  const Byte* p = &Bytes[28];
  size_t n = 0;
  while (n < 32 && p[n]) ++n;
  return AnsiString(reinterpret_cast<const char*>(p), n);
}

void TIELogFont::SetFaceName(const AnsiString& Value) {
  std::memset(&Bytes[28], 0, 32);
  std::memcpy(&Bytes[28], Value.data(), std::min<size_t>(Value.size(), 31));
}

TIELogFont TIELogFont::FromFont(TFont* Font) {
  TIELogFont L;
  L.SetHeight(Font->Height());
  PutI32(&L.Bytes[8], Font->Orientation());
  PutI32(&L.Bytes[12], Font->Orientation());
  PutI32(&L.Bytes[16], Font->Style().Contains(fsBold) ? 700 : 400);
  L.Bytes[20] = Font->Style().Contains(fsItalic);
  L.Bytes[21] = Font->Style().Contains(fsUnderline);
  L.Bytes[22] = Font->Style().Contains(fsStrikeOut);
  L.Bytes[23] = Byte(Font->Charset());
  L.SetFaceName(Font->Name());
  return L;
}

void TIELogFont::ToFont(TFont* Font, Integer H) const {
  Font->SetName(FaceName().empty() ? AnsiString("Arial") : FaceName());
  Font->SetHeight(H);
  TFontStyles S;
  if (Weight() >= 600) S.Include(fsBold);
  if (Italic()) S.Include(fsItalic);
  if (Underline()) S.Include(fsUnderline);
  if (StrikeOut()) S.Include(fsStrikeOut);
  Font->SetStyle(S);
  Font->SetOrientation(Escapement());
}

AnsiString TIETextCharFormatRec::FontName() const {
  const size_t n = Bytes[4];
  return AnsiString(reinterpret_cast<const char*>(&Bytes[5]), n);
}
Integer TIETextCharFormatRec::FontHeight() const { return GetI32(&Bytes[260]); }
TColor TIETextCharFormatRec::FontColor() const { return static_cast<TColor>(GetI32(&Bytes[268])); }
TColor TIETextCharFormatRec::BackColor() const { return static_cast<TColor>(GetI32(&Bytes[272])); }

// ---------- plug-in classes ----------

namespace {
std::vector<std::pair<AnsiString, TIEVPlugInFactory>>& PlugInClasses() {
  static std::vector<std::pair<AnsiString, TIEVPlugInFactory>> List;
  return List;
}
}  // namespace

void IERegisterPlugInClass(const AnsiString& ClassName, TIEVPlugInFactory Factory) {
  PlugInClasses().emplace_back(ClassName, std::move(Factory));
}

std::unique_ptr<TIEVPlugInObject> IECreatePlugInObject(const AnsiString& ClassName) {
  for (auto& [Name, Make] : PlugInClasses())
    if (Name == ClassName) return Make();
  return nullptr;
}

void IEFreePlugInClasses() { PlugInClasses().clear(); }

// ---------- records ----------

TIEVObjectRec::~TIEVObjectRec() {
  if (UserDataLength > 0) std::free(UserData);
}

void IEVCopyPlainFields(TIEVObjectRec& D, const TIEVObjectRec& S) {
  D.X1 = S.X1, D.Y1 = S.Y1, D.X2 = S.X2, D.Y2 = S.Y2;
  D.Kind = S.Kind;
  D.Transparency = S.Transparency;
  D.LockAspect = S.LockAspect;
  D.ArrowBegin = S.ArrowBegin, D.ArrowEnd = S.ArrowEnd;
  D.ArrowWidth = S.ArrowWidth, D.ArrowHeight = S.ArrowHeight;
  D.LabelBrushColor = S.LabelBrushColor, D.LabelBrushStyle = S.LabelBrushStyle;
  D.LabelPosition = S.LabelPosition, D.LabelShape = S.LabelShape, D.LabelBox = S.LabelBox;
  D.PenColor = S.PenColor, D.PenStyle = S.PenStyle, D.PenWidth = S.PenWidth;
  D.BrushColor = S.BrushColor, D.BrushStyle = S.BrushStyle, D.Highlight = S.Highlight;
  D.ArcStartAngle = S.ArcStartAngle, D.ArcEndAngle = S.ArcEndAngle;
  D.BitmapBorder = S.BitmapBorder;
  D.TextQuality = S.TextQuality, D.TextAlign = S.TextAlign, D.TextAutoSize = S.TextAutoSize;
  D.UniformFormat = S.UniformFormat, D.CurveCharRotation = S.CurveCharRotation;
  D.EditOnCreate = S.EditOnCreate;
  D.MemoLineSpacing = S.MemoLineSpacing, D.MemoBorderColor = S.MemoBorderColor;
  D.MemoBorderStyle = S.MemoBorderStyle, D.MemoFixedCharHeight = S.MemoFixedCharHeight;
  D.MemoHasBitmap = S.MemoHasBitmap;
  std::copy(std::begin(S.MemoMargins), std::end(S.MemoMargins), D.MemoMargins);
  D.MemoFillStyle = S.MemoFillStyle;
  D.Tag = S.Tag, D.Style = S.Style;
  D.RulerUnit = S.RulerUnit, D.RulerType = S.RulerType;
  D.DragStartRect = S.DragStartRect, D.DrawnBox = S.DrawnBox, D.DrawnPenWidth = S.DrawnPenWidth;
  D.Shadow = S.Shadow;
}

// ---------- the view ----------

TZodivErVect::TZodivErVect(TComponent* AOwner) : TZodivErView(AOwner) {
  TFont F;
  F.SetName("Arial");
  FTemplate.Font = TIELogFont::FromFont(&F);
  FTemplate.PenColor = F.Color();
  FTemplate.RulerUnit = FMUnit;
  ComputeUnitScale();
  GripBrush.SetColor(0xBAFFFF);
  MeasureHintBrush.SetColor(0x60FFFF);
  MeasureHintFont.SetColor(clBlack);
  MeasureHintFont.SetStyle(TFontStyles{fsBold});
}

TZodivErVect::~TZodivErVect() {
  // A running edit gives its text back first; the editor goes with the view.
  FDestroying = true;
  EndTextEdit();
  FEditedObject = -1;
  delete FEditBox;
  FEditBox = nullptr;
  delete FTextControl;
  FTextControl = nullptr;
  ReleaseObjects();
  FreeObjectData(FTemplate);
}

TIEVObjectRec* TZodivErVect::GetObjectRec(Integer hobj) {
  if (hobj == IEV_NEXT_OBJECT) return &FTemplate;
  if (hobj == IEV_LAST_OBJECT) hobj = static_cast<Integer>(FObjects.size()) - 1;
  if (hobj < 0 || static_cast<size_t>(hobj) >= FObjects.size()) return nullptr;
  return &FObjects[static_cast<size_t>(hobj)];
}

Integer TZodivErVect::AppendObject(const TIEVObjectRec& S) {
  // Room for 522 more whenever the count reaches a multiple of 512, so that appends in a row do
  // not re-allocate each time.
  if (FObjects.size() % 512 == 0) {
    FObjects.reserve(FObjects.size() + 522);
    FZOrder.reserve(FObjects.size() + 522);
    // The records moved: plug-ins must follow their own.
    for (TIEVObjectRec& o : FObjects)
      if (o.PlugIn) o.PlugIn->Rec = &o;
  }
  const Integer h = static_cast<Integer>(FObjects.size());
  FObjects.emplace_back();
  FZOrder.push_back(h);
  TIEVObjectRec& D = FObjects.back();
  IEVCopyPlainFields(D, S);
  if (S.Kind == ievkPlugIn && S.PlugIn) {
    D.PlugIn = S.PlugIn->Clone();
    D.PlugIn->Owner = this;
    D.PlugIn->Rec = &D;
    D.PlugIn->Handle = h;
  }
  if (S.Kind == ievkBitmap || (S.Kind == ievkMemo && S.MemoHasBitmap)) ShareObjectBitmap(h, S.BitmapIndex);
  TIEVObjectRec& R = FObjects[static_cast<size_t>(h)];
  switch (S.Kind) {
    case ievkText:
    case ievkLineLabel:
    case ievkPlugIn:
      R.Text = S.Text ? *S.Text : AnsiString();
      R.Font = S.Font;
      R.CurvePoints = S.CurvePoints;
      break;
    case ievkMemo:
      R.Text = S.Text;
      R.Font = S.Font;
      if (S.MemoCharFormats) {
        R.MemoCharFormats = S.MemoCharFormats;
        R.MemoFormats = S.MemoFormats ? *S.MemoFormats : std::vector<TIETextCharFormatRec>();
      }
      break;
    case ievkRuler:
    case ievkAngle: R.Font = S.Font; break;
    default: break;
  }
  R.Name = S.Name;
  if (S.Kind != ievkLine && S.Kind != ievkRuler && S.Kind != ievkPolyline && S.Kind != ievkLineLabel) {
    if (R.X1 > R.X2) std::swap(R.X1, R.X2);
    if (R.Y1 > R.Y2) std::swap(R.Y1, R.Y2);
  }
  if (S.Kind == ievkPolyline) {
    R.PolyPoints = S.PolyPoints;
    R.PolyBaseRect = S.PolyBaseRect;
    R.PolyClosed = S.PolyClosed;
  } else {
    std::copy(std::begin(S.AnglePoints), std::end(S.AnglePoints), R.AnglePoints);
  }
  return h;
}

void TZodivErVect::FreeObjectText(TIEVObjectRec& Rec) {
  Rec.Text.reset();
  Rec.MemoCharFormats.reset();
  Rec.MemoFormats.reset();
}

void TZodivErVect::FreeObjectData(TIEVObjectRec& Rec) {
  const Integer b = Rec.BitmapIndex;
  Rec.BitmapIndex = -1;
  ReleaseSharedBitmap(b);
  Rec.Name.clear();
  Rec.Font.reset();
  FreeObjectText(Rec);
  Rec.CurvePoints.clear();
  Rec.PolyPoints.clear();
  Rec.PolyBaseRect = TRect{0, 0, 0, 0};
  Rec.PolyClosed = false;
  Rec.DrawnPoints.clear();
  Rec.Shadow = TIEVSoftShadow();
  Rec.PlugIn.reset();
  if (Rec.UserDataLength > 0) std::free(Rec.UserData);
  Rec.UserData = nullptr;
  Rec.UserDataLength = 0;
}

void TZodivErVect::ReleaseObjects() {
  for (Integer h : FZOrder) FreeObjectData(FObjects[static_cast<size_t>(h)]);
  FZOrder.clear();
}

void TZodivErVect::ClearObjects() {
  ResetInteraction();
  SaveObjectsUndo();
  ReleaseObjects();
  FSelection.clear();
  FObjects.clear();
  FObjects.shrink_to_fit();
  FZOrder.shrink_to_fit();
  // The template keeps its picture: take it out of the table before the table goes.
  std::unique_ptr<TIEBitmap> Kept;
  if (FTemplate.BitmapIndex >= 0 && static_cast<size_t>(FTemplate.BitmapIndex) < FBitmaps.size())
    Kept = std::move(FBitmaps[static_cast<size_t>(FTemplate.BitmapIndex)].Bitmap);
  FTemplate.BitmapIndex = -1;
  FBitmaps.clear();
  if (Kept) SetObjectBitmap(IEV_NEXT_OBJECT, Kept.get());
  VectorialChanged();
  Update();
}

// ---------- selection ----------

void TZodivErVect::AddToSelection(Integer hobj) {
  AddToSelectionQuiet(hobj);
  if (OnSelectObject) OnSelectObject(this);
}

void TZodivErVect::AddToSelectionQuiet(Integer hobj) {
  if (hobj == IEV_LAST_OBJECT) hobj = static_cast<Integer>(FObjects.size()) - 1;
  TIEVObjectRec* R = hobj >= 0 ? GetObjectRec(hobj) : nullptr;
  if (R && (R->Style & ievsSelectable)) FSelection.push_back(hobj);
}

bool TZodivErVect::IsObjectSelected(Integer hobj) {
  if (hobj == IEV_LAST_OBJECT) hobj = static_cast<Integer>(FObjects.size()) - 1;
  return std::find(FSelection.begin(), FSelection.end(), hobj) != FSelection.end();
}

void TZodivErVect::RemoveFromSelection(Integer hobj) {
  if (hobj == IEV_LAST_OBJECT) hobj = static_cast<Integer>(FObjects.size()) - 1;
  auto it = std::find(FSelection.begin(), FSelection.end(), hobj);
  if (it == FSelection.end()) return;
  FSelection.erase(it);
  if (OnSelectObject) OnSelectObject(this);
}

void TZodivErVect::ClearSelection() {
  FSelection.clear();
  if (OnSelectObject) OnSelectObject(this);
}

void TZodivErVect::ClearSelectionAndUpdate() {
  ClearSelection();
  Update();
}

TRect TZodivErVect::SelectionExtent() {
  TRect R{ImageWidth(), ImageHeight(), 0, 0};
  for (Integer h : FSelection) {
    const TIEVObjectRec& o = FObjects[static_cast<size_t>(h)];
    R.Left = std::min({R.Left, o.X1, o.X2});
    R.Top = std::min({R.Top, o.Y1, o.Y2});
    R.Right = std::max({R.Right, o.X1, o.X2});
    R.Bottom = std::max({R.Bottom, o.Y1, o.Y2});
  }
  return R;
}

void TZodivErVect::SelectObjectsInRect(Integer hobj, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (hobj == IEV_ALL_OBJECTS) {
    for (Integer h : std::vector<Integer>(FZOrder)) SelectObjectsInRect(h, X1, Y1, X2, Y2);
    return;
  }
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o || o == &FTemplate) return;
  const Integer ox1 = std::min(o->X1, o->X2), ox2 = std::max(o->X1, o->X2);
  const Integer oy1 = std::min(o->Y1, o->Y2), oy2 = std::max(o->Y1, o->Y2);
  if (ox1 >= X1 && ox2 <= X2 && oy1 >= Y1 && oy2 <= Y2 && !IsObjectSelected(hobj)) AddToSelectionQuiet(hobj);
}

// ---------- per-object setters ----------

void TZodivErVect::SetObjectUserData(Integer hobj, void* Data) {
  if (TIEVObjectRec* R = GetObjectRec(hobj)) R->UserData = Data;
  if (hobj != IEV_NEXT_OBJECT) Update();
}

void TZodivErVect::SetObjectUserDataLength(Integer hobj, Integer Length) {
  if (TIEVObjectRec* R = GetObjectRec(hobj)) R->UserDataLength = Length;
  if (hobj != IEV_NEXT_OBJECT) Update();
}

void TZodivErVect::SetObjectFont(Integer hobj, TFont* Font) {
  if (TIEVObjectRec* R = GetObjectRec(hobj)) {
    R->Font = TIELogFont::FromFont(Font);
    R->PenColor = Font->Color();
  }
  if (hobj != IEV_NEXT_OBJECT) Update();
}

void TZodivErVect::SetObjectText(Integer hobj, const AnsiString& Text) {
  if (TIEVObjectRec* R = GetObjectRec(hobj)) {
    FreeObjectText(*R);
    R->Text = Text;
  }
}

void TZodivErVect::ShareObjectBitmap(Integer hobj, Integer Index) {
  TIEVObjectRec* R = GetObjectRec(hobj);
  if (!R) return;
  const Integer Old = R->BitmapIndex;
  R->BitmapIndex = -1;
  ReleaseSharedBitmap(Old);
  if (Index < 0 || static_cast<size_t>(Index) >= FBitmaps.size() || !FBitmaps[static_cast<size_t>(Index)].Bitmap) {
    R->BitmapIndex = Index < 0 ? Index : -1;
    return;
  }
  if (ShareBitmaps) {
    ++FBitmaps[static_cast<size_t>(Index)].UseCount;
    R->BitmapIndex = Index;
  } else {
    const Integer n = NewSharedBitmapSlot();
    auto B = std::make_unique<TIEBitmap>();
    B->Assign(FBitmaps[static_cast<size_t>(Index)].Bitmap.get());
    FBitmaps[static_cast<size_t>(n)] = {std::move(B), 1};
    GetObjectRec(hobj)->BitmapIndex = n;
  }
}

void TZodivErVect::SetObjectBitmap(Integer hobj, TIEBitmap* Bitmap) {
  TIEVObjectRec* R = GetObjectRec(hobj);
  if (!R) return;
  const Integer Old = R->BitmapIndex;
  R->BitmapIndex = -1;
  ReleaseSharedBitmap(Old);
  if (!Bitmap) return;
  Integer i = ShareBitmaps ? FindSharedBitmap(Bitmap) : -1;
  if (i >= 0) {
    ++FBitmaps[static_cast<size_t>(i)].UseCount;
  } else {
    i = NewSharedBitmapSlot();
    auto B = std::make_unique<TIEBitmap>();
    B->Assign(Bitmap);
    FBitmaps[static_cast<size_t>(i)] = {std::move(B), 1};
  }
  GetObjectRec(hobj)->BitmapIndex = i;
}

void TZodivErVect::ReleaseSharedBitmap(Integer Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FBitmaps.size()) return;
  TIEVSharedBitmap& E = FBitmaps[static_cast<size_t>(Index)];
  if (E.UseCount <= 1) {
    E.Bitmap.reset();
    E.UseCount = 0;
  } else {
    --E.UseCount;
  }
}

Integer TZodivErVect::NewSharedBitmapSlot() {
  for (size_t i = 0; i < FBitmaps.size(); ++i)
    if (!FBitmaps[i].Bitmap) return static_cast<Integer>(i);
  FBitmaps.emplace_back();
  return static_cast<Integer>(FBitmaps.size()) - 1;
}

TIEBitmap* TZodivErVect::GetSharedBitmap(Integer Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FBitmaps.size()) return nullptr;
  return FBitmaps[static_cast<size_t>(Index)].Bitmap.get();
}

Integer TZodivErVect::SharedBitmapUseCount(Integer Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FBitmaps.size()) return 0;
  return FBitmaps[static_cast<size_t>(Index)].UseCount;
}

Integer TZodivErVect::FindSharedBitmap(TIEBitmap* Bitmap) {
  for (Integer i = static_cast<Integer>(FBitmaps.size()) - 1; i >= 0; --i) {
    TIEBitmap* B = FBitmaps[static_cast<size_t>(i)].Bitmap.get();
    if (B && IEBitmapsEqual(B, Bitmap)) return i;
  }
  return -1;
}

void TZodivErVect::CompactSharedBitmaps() {
  std::vector<TIEVSharedBitmap> Table;
  std::map<Integer, Integer> NewIndex;
  for (size_t i = 0; i < FBitmaps.size(); ++i)
    if (FBitmaps[i].Bitmap) {
      NewIndex[static_cast<Integer>(i)] = static_cast<Integer>(Table.size());
      Table.push_back(std::move(FBitmaps[i]));
    }
  auto Map = [&](TIEVObjectRec& R) {
    if (R.BitmapIndex < 0) return;
    auto it = NewIndex.find(R.BitmapIndex);
    R.BitmapIndex = it == NewIndex.end() ? -1 : it->second;
  };
  Map(FTemplate);
  for (Integer h : FZOrder) Map(FObjects[static_cast<size_t>(h)]);
  FBitmaps = std::move(Table);
}

// ---------- geometry ----------

double TZodivErVect::ObjectDistance(TIEVObjectRec& o, Integer X, Integer Y) {
  const bool Filled = o.BrushStyle != bsClear;
  switch (o.Kind) {
    case ievkLine: {
      double d = IEDistPointSegment(X, Y, o.X1, o.Y1, o.X2, o.Y2);
      if (o.PenWidth > 1) d = std::max(0.0, d - o.PenWidth / 2.0);
      return d;
    }
    case ievkBox:
      return IEDistanceToRect(X, Y, o.X1, o.Y1, o.X2, o.Y2, Filled || SelectUnfilledBoxInside, o.PenWidth);
    case ievkEllipse: return IEDistanceToEllipse(X, Y, o.X1, o.Y1, o.X2, o.Y2, Filled, o.PenWidth);
    case ievkArc: return IEDistanceToEllipse(X, Y, o.X1, o.Y1, o.X2, o.Y2, false, o.PenWidth);
    case ievkBitmap:
    case ievkText:
    case ievkMemo:
    case ievkPlugIn: return IEDistanceToRect(X, Y, o.X1, o.Y1, o.X2, o.Y2, true, 1);
    case ievkRuler: return IEDistPointSegment(X, Y, o.X1, o.Y1, o.X2, o.Y2);
    case ievkPolyline: {
      if (o.PolyPoints.empty()) return -1;
      double sx, sy;
      PolylineScale(o, sx, sy);
      TIEPointMapping M;
      M.OriginX = o.PolyBaseRect.Left, M.OriginY = o.PolyBaseRect.Top;
      M.ScaleX = sx, M.ScaleY = sy;
      M.DestX = o.X1, M.DestY = o.Y1;
      const Integer n = static_cast<Integer>(o.PolyPoints.size());
      if (o.PolyClosed && Filled && IEPointInScaledPolygon(X, Y, o.PolyPoints.data(), n, M)) return 0;
      return IEDistPointPolyline(X, Y, o.PolyPoints.data(), n, o.PolyClosed, M, o.PenWidth);
    }
    case ievkAngle: {
      std::vector<TPoint> P;
      for (const TPoint& a : o.AnglePoints) {
        if (a.X == IEV_UNPLACED) break;
        P.push_back(a);
      }
      if (P.empty()) return -1;
      if (P.size() == 1) return IEDistance(X, Y, P[0].X, P[0].Y);
      return IEDistPointPolyline(X, Y, P.data(), static_cast<Integer>(P.size()), false, TIEPointMapping(), 1);
    }
    case ievkLineLabel: {
      double d = IEDistPointSegment(X, Y, o.X1, o.Y1, o.X2, o.Y2);
      if (o.PenWidth > 1) d = std::max(0.0, d - o.PenWidth / 2.0);
      return std::min(d, IEDistanceToRect(X, Y, o.LabelBox.Left, o.LabelBox.Top, o.LabelBox.Right,
                                          o.LabelBox.Bottom, true, 1));
    }
    default: return -1;
  }
}

Integer TZodivErVect::FindObjectAt(Integer X, Integer Y, bool SelectableOnly, double& Distance) {
  const TRect& V = VisibleBitmapRect();
  Integer VR = V.Left + V.Right, VB = V.Top + V.Bottom;  // x, y, width, height
  if (VR == 0) VR = 2147483647;
  if (VB == 0) VB = 2147483647;
  Distance = 2147483647.0;
  Integer Result = IEV_ALL_OBJECTS;
  for (auto it = FZOrder.rbegin(); it != FZOrder.rend(); ++it) {
    TIEVObjectRec& o = FObjects[static_cast<size_t>(*it)];
    if (!(o.Style & ievsVisible)) continue;
    if (SelectableOnly && !(o.Style & ievsSelectable)) continue;
    if (!IERectsIntersect(o.X1, o.Y1, o.X2, o.Y2, V.Left, V.Top, VR, VB)) continue;
    const double d = ObjectDistance(o, X, Y);
    if (d >= 0 && d < Distance) {
      Distance = d;
      Result = *it;
    }
  }
  if (MaxSelectionDistance >= 0 && Result != IEV_ALL_OBJECTS) {
    const double f = ZoomX() > 0 ? 100.0 / ZoomX() : 1.0;
    if (Distance > MaxSelectionDistance * f) Result = IEV_ALL_OBJECTS;
  }
  return Result;
}

void TZodivErVect::AddPolylinePoint(Integer hobj, Integer X, Integer Y) {
  TIEVObjectRec* o = GetObjectRec(hobj);
  if (!o) return;
  if (!o->PolyPoints.empty() && o->PolyPoints.back().X == X && o->PolyPoints.back().Y == Y) return;
  if (o->PolyPoints.empty()) {
    o->X1 = o->Y1 = 1000000;
    o->X2 = o->Y2 = -1000000;
  }
  o->PolyPoints.push_back({X, Y});
  o->X1 = std::min(o->X1, X), o->Y1 = std::min(o->Y1, Y);
  o->X2 = std::max(o->X2, X), o->Y2 = std::max(o->Y2, Y);
  o->PolyBaseRect = TRect{o->X1, o->Y1, o->X2, o->Y2};
}

void TZodivErVect::AngleBoundingBox(const TPoint P[3], Integer& X1, Integer& Y1, Integer& X2, Integer& Y2) {
  // Centred on the vertex, as the arc is drawn about it, and reaching far enough on each axis
  // to hold both ray ends, whichever side of the vertex they lie on.
  const Integer dx = std::max(std::abs(P[1].X - P[0].X), std::abs(P[1].X - P[2].X));
  const Integer dy = std::max(std::abs(P[1].Y - P[0].Y), std::abs(P[1].Y - P[2].Y));
  X1 = P[1].X - dx, Y1 = P[1].Y - dy, X2 = P[1].X + dx, Y2 = P[1].Y + dy;
}

void TZodivErVect::ComputeUnitScale(TIEUnits Unit, double& FX, double& FY) {
  if (Unit == ieuPIXELS) {
    FX = FY = 1.0;
  } else {
    const double dx = DpiX() > 0 ? DpiX() : 96, dy = DpiY() > 0 ? DpiY() : 96;
    double m = 1;
    switch (Unit) {
      case ieuKM: m = 2.54 / 100000; break;
      case ieuMETERS: m = 2.54 / 100; break;
      case ieuCENTIMETERS: m = 2.54; break;
      case ieuMILLIMETERS: m = 2.54 * 10; break;
      case ieuMICRONS: m = 2.54 * 10000; break;
      case ieuNANOMETERS: m = 2.54 * 10000000; break;
      default: break;
    }
    FX = m / dx;
    FY = m / dy;
  }
  FX *= MeasureScale;
  FY *= MeasureScale;
}

void TZodivErVect::ComputeUnitScale() { ComputeUnitScale(FMUnit, FUnitX, FUnitY); }

void TZodivErVect::SetMUnit(TIEUnits Value) {
  FMUnit = Value;
  FTemplate.RulerUnit = Value;
  ComputeUnitScale();
  RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
}

void TZodivErVect::SetDpiX(Integer Value) {
  TZodivErView::SetDpiX(Value);
  ComputeUnitScale();
  RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
  Update();
}

void TZodivErVect::SetDpiY(Integer Value) {
  TZodivErView::SetDpiY(Value);
  ComputeUnitScale();
  RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
  Update();
}

void TZodivErVect::SetMouseInteract(TIEMouseInteract Value) {
  TZodivErView::SetMouseInteract(Value);
  if (Value != 0) {
    FMouseInteractObj &= mioArea | mioLength | mioNoClickCreate;
    ResetInteraction();
  }
}

void TZodivErVect::Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op) {
  TZodivErView::Select(X1, Y1, X2, Y2, Op);
}

void TZodivErVect::AddSelectionPoint(Integer X, Integer Y) { TZodivErView::AddSelectionPoint(X, Y); }

double TZodivErVect::SelectionPolygonLength() {
  const TPoint* P = SelectionPolygon();
  const Integer n = SelectionPolygonCount();
  if (!P || n < 2) return 0;
  double L = 0;
  auto Seg = [&](const TPoint& a, const TPoint& b) {
    return std::hypot((b.X - a.X) * FUnitX, (b.Y - a.Y) * FUnitY);
  };
  Integer First = 0;
  for (Integer i = 0; i + 1 < n; ++i) {
    if (P[i].X == 0xFFFFF) continue;
    if (P[i + 1].X == 0xFFFFF) {
      L += Seg(P[i], P[First]);
      First = i + 2;
      ++i;
    } else {
      L += Seg(P[i], P[i + 1]);
    }
  }
  if (n > 2 && First < n && P[n - 1].X != 0xFFFFF) L += Seg(P[First], P[n - 1]);
  return L;
}
