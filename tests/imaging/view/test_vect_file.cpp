// The objects file: written and read back, read by an independent python3 reader, old versions
// written by python3 read here, and damaged files refused without touching the view.
#include <zlib.h>

#include <cstring>
#include <fstream>

#include "imaging/formats/compression/ie_deflate_streams.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

namespace {
const std::string kTool = "python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/view/vect_objects.py";

std::string Slurp(TStream& S) {
  std::string B(static_cast<size_t>(S.Size()), '\0');
  S.SetPosition(0);
  S.ReadBuffer(B.data(), static_cast<Int64>(B.size()));
  return B;
}

// Little-endian pieces for crafted files.
struct Bytes {
  std::string B;
  Bytes& I32(int32_t V) {
    for (int i = 0; i < 4; ++i) B += char(uint32_t(V) >> (8 * i));
    return *this;
  }
  Bytes& U8(int V) {
    B += char(V);
    return *this;
  }
  Bytes& F64(double V) {
    char c[8];
    std::memcpy(c, &V, 8);
    B.append(c, 8);
    return *this;
  }
  Bytes& Str(const std::string& S) {
    I32(int32_t(S.size()));
    B += S;
    return *this;
  }
  // The fields every record of version 'Q' starts with, up to and including the user data.
  Bytes& Head(int Kind, const std::string& Name = "x", int32_t UserLen = 0) {
    I32(0).I32(1).I32(2).I32(30).I32(40).U8(Kind).U8(0);
    U8(0).F64(3).I32(0).I32(0).I32(100).U8(0).U8(0).U8(0);
    Str(Name).I32(0);
    I32(0).U8(0).I32(1).I32(0xFFFFFF).U8(1).U8(15);
    I32(255).U8(0).U8(0).I32(UserLen);
    return *this;
  }
};

std::string Compress(const std::string& Raw) {
  uLongf n = compressBound(uLong(Raw.size()));
  std::string Out(n, '\0');
  compress(reinterpret_cast<Bytef*>(Out.data()), &n, reinterpret_cast<const Bytef*>(Raw.data()), uLong(Raw.size()));
  Out.resize(n);
  return Out;
}

// An objects file of version 'Q' with no images and the given object block.
std::string Crafted(const std::string& Block) {
  Bytes H;
  H.B = "IEVQ";
  H.I32(0).F64(1.0).I32(0);
  std::string F = H.B + Compress(Block);
  const int32_t L = int32_t(F.size());
  std::memcpy(&F[4], &L, 4);
  return F;
}
}  // namespace

TEST_F(VectTest, EveryKindRoundTripsAndAnIndependentReaderAgrees) {
  auto Img = SmallImage(0x0000FF, 0x00FF00);
  Img->GetAlphaChannel()->Fill(128);
  View->SetObjectBitmap(IEV_NEXT_OBJECT, SmallImage(0x123456, 0).get());
  View->MeasureScale = 2.5;
  const char* Names[] = {"line", "box", "ellipse", "arc", "bitmap", "text", "ruler", "poly", "angle", "memo", "label"};
  const Byte Kinds[] = {ievkLine, ievkBox, ievkEllipse, ievkArc, ievkBitmap, ievkText, ievkRuler, ievkPolyline,
                        ievkAngle, ievkMemo, ievkLineLabel};
  for (int i = 0; i < 11; ++i) {
    TIEVObjectRec R = Rec(Kinds[i], 5 + i, 6 + i, 50 + i, 40 + 2 * i);
    R.Name = Names[i];
    TIELogFont F;
    F.SetHeight(-15 - i);
    F.SetFaceName("DejaVu Serif");
    R.Font = F;
    R.PenColor = TColor(0x010203 * (i + 1));
    R.PenWidth = i + 1;
    R.Transparency = 100 + i;
    R.Shadow.Enabled = i % 2;
    R.Shadow.Color = TRGB{1, 2, Byte(i)};
    R.ArrowBegin = 1, R.ArrowEnd = 2;
    R.ArcStartAngle = 0.5;
    R.Text = std::string("text of ") + Names[i];
    R.CurvePoints = {{0, 0.5}, {1, 0.25}};
    R.CurveCharRotation = 450;
    R.MemoCharFormats = std::vector<Integer>(R.Text->size(), 0);
    R.MemoFormats = std::vector<TIETextCharFormatRec>(1);
    (*R.MemoFormats)[0].Bytes[277] = 2;
    R.MemoMargins[2] = 7.5;
    R.PolyPoints = {{0, 0}, {10, 5}, {3, 9}};
    R.PolyBaseRect = TRect{0, 0, 10, 9};
    R.PolyClosed = true;
    R.AnglePoints[0] = {1, 2}, R.AnglePoints[1] = {3, 4}, R.AnglePoints[2] = {5, 6};
    R.RulerUnit = ieuMILLIMETERS;
    R.RulerType = 0;
    const Integer h = View->AppendObject(R);
    if (Kinds[i] == ievkBitmap) View->SetObjectBitmap(h, Img.get());
  }
  // A second user of the same image, and a user data block.
  View->AppendObject(*View->GetObjectRec(4));
  void* UD = std::malloc(5);
  std::memcpy(UD, "\x01\x02\x00\x04\x05", 5);
  View->SetObjectUserData(0, UD);
  View->SetObjectUserDataLength(0, 5);

  const std::string Dir = testsupport::MakeTempDir("vect");
  const std::string Path = Dir + "/all.iev";
  View->SaveObjectsToFile(Path);

  // The independent reader: structure, counts, the length at offset 4, and what it found.
  const std::string Json = testsupport::RunOk(kTool + " read " + Path);
  for (const char* Want : {"\"version\": \"Q\"", "\"scale\": 2.5", "\"count\": 0", "\"count\": 2", "\"width\": 4",
                           "\"name\": \"memo\"", "\"text\": \"text of label\"", "\"userdata\": \"0102000405\"",
                           "\"closed\": 1", "\"ruler\": [\n    5,\n    0\n   ]", "\"rotation\": 450"})
    EXPECT_NE(Json.find(Want), std::string::npos) << Want << "\n" << Json;
  std::ifstream In(Path, std::ios::binary | std::ios::ate);
  const std::string Size = std::to_string(static_cast<long long>(In.tellg()));
  EXPECT_NE(Json.find("\"length\": " + Size), std::string::npos);
  EXPECT_NE(Json.find("\"end\": " + Size), std::string::npos);

  // Read back into a second view: the same objects, the shared image shared again.
  TTestVect* Other = MakeView(100, 100);
  auto Mine = SmallImage(0x00AA00, 0);
  Other->SetObjectBitmap(IEV_NEXT_OBJECT, Mine.get());
  ASSERT_TRUE(Other->LoadObjectsFromFile(Path));
  ASSERT_EQ(Other->ObjectsCount(), 12);
  EXPECT_EQ(Other->MeasureScale, 2.5);
  for (Integer h = 0; h < 12; ++h) {
    TIEVObjectRec& A = *View->GetObjectRec(h);
    TIEVObjectRec& B = *Other->GetObjectRec(h);
    SCOPED_TRACE(A.Name);
    EXPECT_EQ(B.Name, A.Name);
    EXPECT_EQ(B.Kind, A.Kind);
    EXPECT_EQ(B.X1, A.X1); EXPECT_EQ(B.Y1, A.Y1); EXPECT_EQ(B.X2, A.X2); EXPECT_EQ(B.Y2, A.Y2);
    EXPECT_EQ(B.PenColor, A.PenColor);
    EXPECT_EQ(B.PenWidth, A.PenWidth);
    EXPECT_EQ(B.Transparency, A.Transparency);
    EXPECT_EQ(B.Shadow.Enabled, A.Shadow.Enabled);
    EXPECT_EQ(B.Shadow.Color, A.Shadow.Color);
    EXPECT_EQ(B.Text.has_value(), A.Text.has_value());
    if (A.Text && B.Text) {
      EXPECT_EQ(*B.Text, *A.Text);
    }
    EXPECT_EQ(B.Font.has_value(), A.Font.has_value());
    if (A.Font && B.Font) {
      EXPECT_EQ(B.Font->Bytes, A.Font->Bytes);
    }
    EXPECT_EQ(B.PolyPoints.size(), A.PolyPoints.size());
    EXPECT_EQ(B.CurvePoints.size(), A.CurvePoints.size());
    EXPECT_EQ(B.MemoFormats.has_value(), A.MemoFormats.has_value());
    // Kind-specific fields are stored for their kind only.
    if (A.Kind == ievkAngle) {
      EXPECT_EQ(B.AnglePoints[2], A.AnglePoints[2]);
    }
    if (A.Kind == ievkArc) {
      EXPECT_EQ(B.ArcStartAngle, A.ArcStartAngle);
    }
    if (A.Kind == ievkRuler) {
      EXPECT_EQ(B.RulerUnit, A.RulerUnit);
    }
    EXPECT_EQ(B.UserDataLength, A.UserDataLength);
  }
  ASSERT_EQ(Other->GetObjectRec(0)->UserDataLength, 5);
  EXPECT_EQ(std::memcmp(Other->GetObjectRec(0)->UserData, "\x01\x02\x00\x04\x05", 5), 0);
  const Integer bi = Other->GetObjectRec(4)->BitmapIndex;
  EXPECT_EQ(Other->GetObjectRec(11)->BitmapIndex, bi);
  EXPECT_EQ(Other->SharedBitmapUseCount(bi), 2);
  TIEBitmap* Got = Other->GetSharedBitmap(bi);
  ASSERT_NE(Got, nullptr);
  EXPECT_EQ(Got->GetPixelAsRGB(1, 1), IETColorToTRGB(0x00FF00));
  ASSERT_TRUE(Got->HasAlphaChannel());
  EXPECT_EQ(Got->GetAlphaChannel()->GetPixelByte(2, 2), 128);
  // The loading view keeps its own template picture.
  TIEBitmap* T = Other->GetSharedBitmap(Other->GetObjectRec(IEV_NEXT_OBJECT)->BitmapIndex);
  ASSERT_NE(T, nullptr);
  EXPECT_EQ(T->GetPixelAsRGB(0, 0), IETColorToTRGB(0x00AA00));

  // An empty view whose only image is the template's writes that entry as count 0, no image.
  View->ClearObjects();
  TMemoryStream Empty;
  View->SaveObjectsToStream(&Empty);
  const std::string E = Slurp(Empty);
  ASSERT_GE(E.size(), 24u);
  EXPECT_EQ(E.substr(0, 4), "IEVQ");
  EXPECT_EQ(E.substr(16, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
  int32_t Len;
  std::memcpy(&Len, &E[4], 4);
  EXPECT_EQ(Len, int32_t(E.size()));
  testsupport::RemoveTree(Dir);
}

TEST_F(VectTest, OldVersionsWrittenByPythonAreRead) {
  const std::string Dir = testsupport::MakeTempDir("vectold");
  struct Case {
    char Version;
    bool Group;
  } Cases[] = {{'1', false}, {'2', false}, {'3', true}, {'7', false}, {'<', false}, {'=', false},
               {'B', false}, {'I', true},  {'K', false}, {'P', false}, {'Q', true}};
  std::string Specs;
  for (const Case& c : Cases) Specs += " '" + std::string(1, c.Version) + (c.Group ? "g'" : "'");
  testsupport::RunOk(kTool + " batch " + Dir + Specs);
  for (const Case& c : Cases) {
    SCOPED_TRACE(std::string("version ") + c.Version);
    const std::string Path = Dir + "/v" + std::to_string(int(Byte(c.Version))) + ".iev";
    TTestVect* V = MakeView(50, 50);
    ASSERT_TRUE(V->LoadObjectsFromFile(Path));
    const auto From = [&](char f) { return Byte(c.Version) >= Byte(f); };
    ASSERT_EQ(V->ObjectsCount(), 9);
    EXPECT_EQ(V->MeasureScale, c.Version == '1' ? 3.0 : 2.5);
    const char* Names[] = {"line", "box", "text", "ruler", "poly", "angle", "memo", "label", "bitmap"};
    for (Integer h = 0; h < 9; ++h) EXPECT_EQ(V->GetObjectRec(h)->Name, Names[h]);
    TIEVObjectRec& Line = *V->GetObjectRec(0);
    EXPECT_EQ(Line.ArrowEnd, 2);
    EXPECT_EQ(Line.ArrowHeight, 24);
    EXPECT_EQ(Line.Transparency, From('=') ? 200 : 255);
    EXPECT_EQ(Line.Shadow.OffsetX, From('=') ? 3 : 2);
    EXPECT_EQ(Line.Shadow.Intensity, From('O') ? 70 : 100);
    EXPECT_EQ(Line.EditOnCreate, !From('J'));
    EXPECT_EQ(Line.LockAspect, From('M'));
    TIEVObjectRec& Box = *V->GetObjectRec(1);
    EXPECT_EQ(Box.X1, 60); EXPECT_EQ(Box.X2, 100);
    TIEVObjectRec& Text = *V->GetObjectRec(2);
    EXPECT_EQ(*Text.Text, "Hi there");
    ASSERT_TRUE(Text.Font.has_value());
    EXPECT_EQ(Text.Font->FaceName(), "DejaVu Sans");
    EXPECT_EQ(Text.TextAlign, From('4') ? 2 : 0);
    TIEVObjectRec& Ruler = *V->GetObjectRec(3);
    EXPECT_EQ(Ruler.RulerUnit, From('5') ? ieuCENTIMETERS : ieuPIXELS);
    ASSERT_TRUE(Ruler.Font.has_value());
    EXPECT_EQ(Ruler.Font->Height(), From('A') ? -16 : 12);
    EXPECT_EQ(Ruler.Font->FaceName(), From('A') ? "DejaVu Sans" : "Arial");
    TIEVObjectRec& Poly = *V->GetObjectRec(4);
    EXPECT_EQ(Poly.PolyPoints.size(), From('8') ? 3u : 0u);
    EXPECT_EQ(Poly.PolyClosed, From(';'));
    TIEVObjectRec& Angle = *V->GetObjectRec(5);
    EXPECT_EQ(Angle.AnglePoints[2], From(':') ? (TPoint{170, 70}) : (TPoint{0, 0}));
    EXPECT_EQ(Angle.Font->Height(), From('K') ? -18 : 10);
    TIEVObjectRec& Memo = *V->GetObjectRec(6);
    EXPECT_EQ(*Memo.Text, "Memo text");
    ASSERT_TRUE(Memo.MemoFormats.has_value());
    EXPECT_EQ(Memo.MemoFormats->size(), 2u);
    EXPECT_EQ((*Memo.MemoFormats)[1].FontColor(), TColor(0xFF0000));
    EXPECT_EQ((*Memo.MemoCharFormats)[3], 1);
    EXPECT_EQ(Memo.MemoMargins[3], From('H') ? 4.0 : 0.0);
    EXPECT_EQ(Memo.MemoLineSpacing, 3);
    TIEVObjectRec& Label = *V->GetObjectRec(7);
    EXPECT_EQ(Label.LabelShape, From('P') ? 2 : 1);
    TIEVObjectRec& Bm = *V->GetObjectRec(8);
    EXPECT_EQ(Bm.UserDataLength, From('I') ? 3 : 0);
    EXPECT_EQ(Bm.BitmapBorder, From('B'));
    TIEBitmap* Img = V->GetSharedBitmap(Bm.BitmapIndex);
    ASSERT_NE(Img, nullptr);
    ASSERT_EQ(Img->GetWidth(), 3);
    ASSERT_EQ(Img->GetHeight(), 2);
    EXPECT_EQ(Img->GetPixelAsRGB(0, 0), (TRGB{0, 0, 255}));
    EXPECT_EQ(Img->GetPixelAsRGB(2, 1), (TRGB{128, 128, 128}));
    if (From('7') && !From('=')) {
      ASSERT_TRUE(Img->HasAlphaChannel());
      EXPECT_EQ(Img->GetAlphaChannel()->GetPixelByte(1, 0), 50);
      EXPECT_EQ(Img->GetAlphaChannel()->GetPixelByte(2, 1), 250);
    }
  }
  testsupport::RemoveTree(Dir);
}

TEST_F(VectTest, DamagedFilesAreRefusedAndTheViewKeepsItsObjects) {
  std::string Deep;
  {
    Bytes B;
    B.I32(1);
    for (int i = 0; i < 100; ++i) B.Head(ievkNone).I32(1);
    B.Head(ievkBox).U8(1);
    Deep = B.B;
  }
  // A valid file to cut and bend.
  TTestVect* Src = MakeView(50, 50);
  auto Img = SmallImage(0x0000FF, 0);
  TIEVObjectRec R = Rec(ievkBitmap, 0, 0, 9, 9);
  Src->SetObjectBitmap(Src->AppendObject(R), Img.get());
  TMemoryStream Good;
  Src->SaveObjectsToStream(&Good);
  const std::string G = Slurp(Good);
  auto With = [&](size_t At, const std::string& Put) {
    std::string S = G;
    S.replace(At, Put.size(), Put);
    return S;
  };
  struct Case {
    const char* What;
    std::string File;
    const char* Says;
  } Cases[] = {
      {"image table size beyond the file", With(16, Bytes().I32(0x7FFFFFF0).B), "table size"},
      {"negative image table size", With(16, Bytes().I32(-3).B), "table size"},
      {"file cut inside the image", G.substr(0, 40), "ends early"},
      {"file cut inside the object block", G.substr(0, G.size() - 6), ""},
      {"negative object count", Crafted(Bytes().I32(-1).B), "object count"},
      {"object count the data cannot hold", Crafted(Bytes().I32(999999).Head(ievkBox).U8(1).B), "ends early"},
      {"name longer than any file", Crafted(Bytes().I32(1).I32(0).I32(0).I32(0).I32(1).I32(1).U8(2).B + std::string(25, '\0') + Bytes().I32(0x7FFFFFFF).B), "name length"},
      {"image index beyond the table", Crafted(Bytes().I32(1).Head(ievkBitmap).I32(5).U8(0).Str("").U8(1).B), "image 5"},
      {"memo character with a missing format",
       Crafted(Bytes().I32(1).Head(ievkMemo).Str("ab").U8(0).U8(1).I32(0).I32(7).I32(1).B + std::string(280, '\0') +
               Bytes().U8(1).U8(0).I32(0).I32(0).U8(0).U8(0).I32(0).U8(0).F64(0).F64(0).F64(0).F64(0).U8(0).U8(1).B),
       "format 7"},
      {"polyline point count out of range", Crafted(Bytes().I32(1).Head(ievkPolyline).U8(1).I32(0x40000000).B), "point count"},
      {"groups nested 100 deep", Crafted(Deep), "nested"},
      {"plug-in class that does not exist",
       Crafted(Bytes().I32(1).Head(ievkPlugIn).U8(0).U8(0).Str("").U8(0).I32(0).U8(1).U8(1).Str("NoSuchPlugIn").B),
       "NoSuchPlugIn"},
      {"font flag neither 0 nor 1", Crafted(Bytes().I32(1).Head(ievkText).U8(0).U8(0).Str("t").U8(7).B), "font flag"},
      {"negative user data length", Crafted(Bytes().I32(1).Head(ievkBox, "x", -5).B), "user data"},
  };
  for (Case& c : Cases) {
    SCOPED_TRACE(c.What);
    View->ClearObjects();
    auto Mine = SmallImage(0x00FF00, 0);
    TIEVObjectRec M = Rec(ievkBitmap, 1, 2, 3, 4);
    M.Name = "mine";
    const Integer h = View->AppendObject(M);
    View->SetObjectBitmap(h, Mine.get());
    View->MeasureScale = 4;
    TStringStream S(c.File);
    try {
      View->LoadObjectsFromStream(&S);
      ADD_FAILURE() << "loaded";
    } catch (EReadError& E) {
      EXPECT_NE(E.Message.find(c.Says), std::string::npos) << E.Message;
    } catch (Exception& E) {
      // The zlib stream's own error is also a damaged-file report.
      EXPECT_EQ(std::string(c.Says), "") << E.Message;
    }
    ASSERT_EQ(View->ObjectsCount(), 1);
    EXPECT_EQ(View->GetObjectRec(0)->Name, "mine");
    EXPECT_EQ(View->MeasureScale, 4);
    TIEBitmap* B = View->GetSharedBitmap(View->GetObjectRec(0)->BitmapIndex);
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(B->GetPixelAsRGB(0, 0), IETColorToTRGB(0x00FF00));
  }
  // Another format is not an error: False, and the stream only 4 bytes further.
  for (const char* Head : {"IEVR....", "IEV0....", "XEVQ....", "IEV"}) {
    TStringStream S(Head);
    EXPECT_FALSE(IETestObjectsStream(&S)) << Head;
    EXPECT_EQ(S.Position(), 0);
    EXPECT_FALSE(View->LoadObjectsFromStream(&S)) << Head;
    EXPECT_EQ(View->ObjectsCount(), 1);
  }
  TStringStream Ok(G);
  EXPECT_TRUE(IETestObjectsStream(&Ok));
  EXPECT_FALSE(View->LoadObjectsFromFile(""));
}

TEST_F(VectTest, TheIOComponentLoadsObjectsFilesIntoAVectorViewOrAnImage) {
  const std::string Dir = testsupport::MakeTempDir("vectio");
  TIEVObjectRec R = Rec(ievkBox, 5, 5, 24, 19);
  R.BrushStyle = bsSolid;
  R.BrushColor = 0x0000FF;
  R.PenColor = 0x0000FF;
  View->AppendObject(R);
  const std::string Path = Dir + "/box.iev";
  View->SaveObjectsToFile(Path);
  View->ClearObjects();

  // Into the attached vector view: the objects stay objects, over a clear white picture of
  // their extent.
  TZodivErIO* IO = View->IOComponent();
  IO->LoadFromFile(AnsiToWide(Path));
  EXPECT_FALSE(IO->Aborting) << IO->FailureReason();
  ASSERT_EQ(View->ObjectsCount(), 1);
  EXPECT_EQ(View->IEBitmap()->GetWidth(), 25);
  EXPECT_EQ(View->IEBitmap()->GetHeight(), 20);
  EXPECT_EQ(View->IEBitmap()->GetAlphaChannel()->GetPixelByte(10, 10), 0);
  EXPECT_EQ(IO->IOParams()->FileType, ioIEV);

  // Into a plain image: the objects are drawn into it.
  TIEBitmap Image;
  TZodivErIO Plain(nullptr);
  Plain.SetAttachedIEBitmap(&Image);
  Plain.LoadFromFile(AnsiToWide(Path));
  EXPECT_FALSE(Plain.Aborting) << Plain.FailureReason();
  ASSERT_EQ(Image.GetWidth(), 25);
  EXPECT_EQ(Image.GetPixelAsRGB(15, 12), (TRGB{0, 0, 255}));
  EXPECT_EQ(Image.GetPixelAsRGB(2, 2), (TRGB{255, 255, 255}));

  // A damaged file fails with the file's name and the cause, and the view keeps its objects.
  const std::string Bad = Dir + "/bad.iev";
  std::string Bytes;
  {
    TMemoryStream M;
    View->SaveObjectsToStream(&M);
    Bytes = Slurp(M);
  }
  std::ofstream(Bad, std::ios::binary).write(Bytes.data(), std::streamsize(Bytes.size() - 5));
  IO->LoadFromFile(AnsiToWide(Bad));
  EXPECT_TRUE(IO->Aborting);
  EXPECT_NE(IO->FailureReason().find(Bad), std::string::npos) << IO->FailureReason();
  EXPECT_EQ(View->ObjectsCount(), 1);
  testsupport::RemoveTree(Dir);
}
