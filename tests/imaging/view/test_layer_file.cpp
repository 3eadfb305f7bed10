// The layers file and the layers-and-objects file: written and read back, read by an
// independent python3 reader, older versions written by python3 read here, damaged files refused
// without touching the view, the I/O component's loads and content tests; and the layer records
// of undo, whose user data never outlives the layer that owned it.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_layer_file.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "tests/imaging/view/vect_test_fixture.h"

using namespace vecttest;

namespace {
const std::string kTool = "python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/view/layer_file.py";

// The reader's "path=value" lines.
std::map<std::string, std::string> ReadWithPython(const std::string& Path, bool All = false) {
  std::istringstream In(testsupport::RunOk(kTool + " read " + Path + (All ? " --all" : "")));
  std::map<std::string, std::string> M;
  for (std::string Line; std::getline(In, Line);) {
    const size_t Eq = Line.find('=');
    if (Eq != std::string::npos) M[Line.substr(0, Eq)] = Line.substr(Eq + 1);
  }
  return M;
}

long long FileSize(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary | std::ios::ate);
  return static_cast<long long>(In.tellg());
}

std::string Slurp(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

void Spill(const std::string& Path, const std::string& Bytes) { std::ofstream(Path, std::ios::binary) << Bytes; }

void SetI32(std::string& B, size_t At, int32_t V) { std::memcpy(&B[At], &V, 4); }

void* Block(const char* Text) {
  void* B = std::malloc(std::strlen(Text));
  std::memcpy(B, Text, std::strlen(Text));
  return B;
}

struct LayerFileTest : VectTest {
  // A base image with a marked pixel, a translucent layer with a name and user data, and a grey
  // mask layer over it.
  void Compose(TZodivErView* V) {
    V->IEBitmap()->Allocate(20, 15, ie24RGB);
    V->IEBitmap()->Fill(static_cast<double>(0x102030));
    V->IEBitmap()->SetPixelRGB(19, 14, IECreateRGB(1, 2, 3));
    V->AddLayer();
    TIELayer* L = V->CurrentLayer();
    L->Bitmap->Allocate(6, 4, ie24RGB);
    L->Bitmap->Fill(static_cast<double>(0x0000FF));
    L->Bitmap->SetPixelRGB(5, 3, IECreateRGB(9, 8, 7));
    L->Bitmap->GetAlphaChannel()->Fill(255);
    L->Bitmap->GetAlphaChannel()->SetPixelByte(0, 0, 40);
    L->PosX = 7;
    L->PosY = -3;
    L->Opacity = 100;
    L->LayerName = "top";
    L->UserData = Block("\x01\x02\x03");
    L->UserDataSize = 3;
    L->MagnifierSource = 2;
    L->CanSelect = false;
    L->DimOutside = true;
    L->ResampleFilter = rfLanczos3;
    L->UseResampleFilter = true;
    L->WidthOverride = 12;
    L->Operation = 5;
    L->MagnifyFactor = 3.25;
    V->AddLayer();
    TIELayer* M = V->CurrentLayer();
    M->MaskLayer = true;
    M->Bitmap->Allocate(20, 15, ie8g);
    M->Bitmap->Fill(128);
    M->Bitmap->SetPixelByte(2, 2, 200);
  }

  // The state a failed load must leave alone.
  struct TSnapshot {
    Integer Count;
    std::vector<std::string> Names;
    TRGB Pixel;
    Integer Width;
  };
  TSnapshot Snap(TZodivErView* V) {
    TSnapshot S{V->LayerCount(), {}, V->LayerAt(0)->Bitmap->GetPixelRGB(0, 0), V->LayerAt(0)->Bitmap->GetWidth()};
    for (Integer i = 0; i < V->LayerCount(); ++i) S.Names.push_back(V->LayerAt(i)->LayerName);
    return S;
  }
  void ExpectSame(TZodivErView* V, const TSnapshot& S) {
    EXPECT_EQ(V->LayerCount(), S.Count);
    for (Integer i = 0; i < std::min<Integer>(V->LayerCount(), S.Count); ++i)
      EXPECT_EQ(V->LayerAt(i)->LayerName, S.Names[size_t(i)]);
    EXPECT_EQ(V->LayerAt(0)->Bitmap->GetPixelRGB(0, 0), S.Pixel);
    EXPECT_EQ(V->LayerAt(0)->Bitmap->GetWidth(), S.Width);
  }
  // A view that already has layers of its own, for the loads to replace.
  TTestVect* Receiver() {
    TTestVect* R = MakeView(100, 100);
    R->IEBitmap()->Allocate(9, 9, ie24RGB);
    R->IEBitmap()->Fill(static_cast<double>(0x00FF00));
    R->LayerAt(0)->LayerName = "mine";
    R->IO();
    for (int i = 0; i < 3; ++i) {
      R->AddLayer();
      R->CurrentLayer()->LayerName = "old " + std::to_string(i);
    }
    return R;
  }
};

TEST_F(LayerFileTest, LayersRoundTripInEveryCompressionAndAnIndependentReaderAgrees) {
  Compose(View);
  const std::string Dir = testsupport::MakeTempDir("layers");
  // 1 cannot be written: it becomes PNG.
  for (const Integer Compression : {-1, 8, 1}) {
    SCOPED_TRACE(Compression);
    const std::string Path = Dir + "/l" + std::to_string(Compression + 1) + ".lyr";
    View->SetCurrentLayer(2);
    {
      TFileStream F(Path, fmCreate);
      View->SaveLayersToStream(&F, Compression);
    }
    EXPECT_EQ(View->CurrentLayerIndex(), 2);

    auto M = ReadWithPython(Path);
    const std::string Stored = Compression == -1 ? "-1" : "8";
    const std::pair<const char*, std::string> Want[] = {
        {"version", "6"}, {"compression", Stored}, {"count", "3"}, {"layers.1.PosX", "7"},
        {"layers.1.PosY", "-3"}, {"layers.1.Opacity", "100"}, {"layers.1.LayerName", "top"},
        {"layers.1.UserData", "010203"}, {"layers.1.CanSelect", "0"}, {"layers.1.DimOutside", "1"},
        {"layers.1.MagnifyFactor", "3.25"}, {"layers.2.MaskLayer", "1"}, {"layers.0.image.width", "20"},
        {"layers.1.image.width", "6"}, {"layers.1.image.height", "4"},
        {"layers.1.image.kind", Compression == -1 ? "raw" : "png"}};
    for (const auto& [Key, Value] : Want) EXPECT_EQ(M[Key], Value) << Key;
    EXPECT_EQ(M["layers.0.offset"], M["records_end"]);
    if (Compression == -1) {
      EXPECT_EQ(M["end"], std::to_string(FileSize(Path)));
    }
    // The mask is stored grey, the others in colour with their alpha.
    if (Compression != -1) {
      EXPECT_EQ(M["layers.2.image.colortype"], "0");
      EXPECT_EQ(M["layers.1.image.colortype"], "6");
    }

    TTestVect* R = Receiver();
    ASSERT_TRUE(R->LoadLayersFromFile(Path));
    ASSERT_EQ(R->LayerCount(), 3);
    EXPECT_EQ(R->CurrentLayerIndex(), 2);
    TIELayer* B = R->LayerAt(0);
    EXPECT_EQ(B->Bitmap->GetWidth(), 20);
    EXPECT_EQ(B->Bitmap->GetPixelRGB(19, 14), IECreateRGB(1, 2, 3));
    TIELayer* L = R->LayerAt(1);
    EXPECT_EQ(L->PosX, 7);
    EXPECT_EQ(L->PosY, -3);
    EXPECT_EQ(L->Opacity, 100);
    EXPECT_EQ(L->LayerName, "top");
    ASSERT_EQ(L->UserDataSize, 3);
    EXPECT_EQ(std::memcmp(L->UserData, "\x01\x02\x03", 3), 0);
    EXPECT_EQ(L->MagnifierSource, 2);
    EXPECT_FALSE(L->CanSelect);
    EXPECT_TRUE(L->DimOutside);
    EXPECT_EQ(L->ResampleFilter, rfLanczos3);
    EXPECT_TRUE(L->UseResampleFilter);
    EXPECT_EQ(L->WidthOverride, 12);
    EXPECT_EQ(L->Operation, 5);
    EXPECT_EQ(L->MagnifyFactor, 3.25);
    EXPECT_EQ(L->Bitmap->GetPixelRGB(5, 3), IECreateRGB(9, 8, 7));
    ASSERT_TRUE(L->Bitmap->HasAlphaChannel());
    EXPECT_EQ(L->Bitmap->GetAlphaChannel()->GetPixelByte(0, 0), 40);
    TIELayer* Mask = R->LayerAt(2);
    EXPECT_TRUE(Mask->MaskLayer);
    EXPECT_EQ(Mask->Bitmap->GetPixelFormat(), ie8g);
    EXPECT_EQ(Mask->Bitmap->GetPixelByte(2, 2), 200);
    // The view's I/O parameters follow the base layer.
    EXPECT_EQ(R->IO()->IOParams()->Width, 20);
    EXPECT_EQ(R->IO()->IOParams()->OriginalHeight, 15);
  }
  testsupport::RemoveTree(Dir);
}

// Versions 2, 4 and 5, written by python3 around PNG images ImageMagick made: what a version
// lacks keeps the base layer's own values and a new layer's defaults above it.
TEST_F(LayerFileTest, OlderVersionsWrittenByPythonAreRead) {
  const std::string Red = testsupport::Fixture("layer_red_6x4.png", "convert -size 6x4 xc:'#FF0000' PNG24:{out}");
  const std::string Blue = testsupport::Fixture("layer_blue_8x5.png", "convert -size 8x5 xc:'#0000FF' PNG24:{out}");
  const std::string Dir = testsupport::MakeTempDir("oldlayers");
  for (const int Version : {2, 4, 5}) {
    SCOPED_TRACE(Version);
    const std::string Plan = Dir + "/plan.json", Path = Dir + "/old.lyr";
    std::ofstream(Plan) << "{\"version\": " << Version << ", \"compression\": 8, \"layers\": ["
                        << "{\"png\": \"" << Blue << "\", \"Opacity\": 200, \"LayerName\": \"file base\"},"
                        << "{\"png\": \"" << Red << "\", \"PosX\": 3, \"PosY\": 4, \"LayerName\": \"upper\","
                        << " \"MagnifierSource\": 0, \"CanSelect\": false, \"UserData\": \"aabb\"}]}";
    testsupport::RunOk(kTool + " write " + Path + " " + Plan);

    TTestVect* R = Receiver();
    R->LayerAt(0)->MagnifierSource = 0;
    ASSERT_TRUE(R->LoadLayersFromFile(Path));
    ASSERT_EQ(R->LayerCount(), 2);
    TIELayer* B = R->LayerAt(0);
    TIELayer* L = R->LayerAt(1);
    EXPECT_EQ(B->Opacity, 200);
    EXPECT_EQ(B->Bitmap->GetWidth(), 8);
    EXPECT_EQ(B->Bitmap->GetPixelRGB(1, 1), IECreateRGB(0, 0, 255));
    EXPECT_EQ(L->PosX, 3);
    EXPECT_EQ(L->PosY, 4);
    EXPECT_EQ(L->Bitmap->GetWidth(), 6);
    EXPECT_EQ(L->Bitmap->GetPixelRGB(5, 3), IECreateRGB(255, 0, 0));
    if (Version == 2) {
      EXPECT_EQ(B->LayerName, "mine");
      EXPECT_EQ(L->MagnifierSource, 1);
      EXPECT_EQ(L->LayerName, "");
      EXPECT_EQ(L->UserData, nullptr);
      EXPECT_TRUE(L->CanSelect);
    } else {
      EXPECT_EQ(B->LayerName, "file base");
      EXPECT_EQ(L->MagnifierSource, 0);
      EXPECT_EQ(L->LayerName, "upper");
      ASSERT_EQ(L->UserDataSize, 2);
      EXPECT_EQ(std::memcmp(L->UserData, "\xaa\xbb", 2), 0);
      EXPECT_FALSE(L->CanSelect);
    }
    EXPECT_FALSE(L->DimOutside);
  }
  testsupport::RemoveTree(Dir);
}

// A layers file of two layers without names or user data has its fields at known places:
// records of 57 bytes from 25, the offsets at 25 + 49 and 82 + 49, the first image at 139.
TEST_F(LayerFileTest, DamagedFilesAreRefusedAndTheViewKeepsItsLayers) {
  View->IEBitmap()->Allocate(10, 8, ie24RGB);
  View->IEBitmap()->Fill(static_cast<double>(0x445566));
  View->AddLayer();
  View->CurrentLayer()->Bitmap->Allocate(3, 3, ie24RGB);
  TMemoryStream Good;
  View->SaveLayersToStream(&Good, -1);
  const std::string Base(static_cast<const char*>(Good.Memory()), size_t(Good.Size()));
  ASSERT_EQ(Base.size() > 200, true);

  struct TCase {
    const char* What;
    size_t At;
    int32_t Value;
  };
  const TCase Cases[] = {
      {"layer count far beyond the file", 21, 100000},
      {"negative layer count", 21, -1},
      {"images kept as layers (a file inside itself)", 17, ioLYR},
      {"images kept as layers and objects", 17, ioALL},
      {"images kept in an unknown format", 17, 999},
      {"name length beyond the file", 25 + 38, 0x7FFFFFF0},
      {"negative name length", 25 + 38, -5},
      {"user data beyond the file", 25 + 42, 0x7FFFFFF0},
      {"display width below 0", 25 + 28, -4},
      {"image offset inside the records", 25 + 49, 30},
      {"image offset beyond the file", 82 + 49, 0x7FFFFFF0},
      {"image length beyond the file", 139, 0x7FFFFFF0},
      {"negative image length", 139, -1},
      {"an image that is not zlib", 143, 0x01020304},
  };
  TTestVect* R = Receiver();
  const TSnapshot Before = Snap(R);
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    std::string Bad = Base;
    SetI32(Bad, C.At, C.Value);
    TMemoryStream S;
    S.WriteBuffer(Bad.data(), Integer(Bad.size()));
    S.SetPosition(0);
    EXPECT_THROW(R->LoadLayersFromStream(&S), EReadError);
    ExpectSame(R, Before);
  }
  // Cut short anywhere after the magic.
  for (const size_t Cut : {size_t(20), size_t(60), size_t(139), size_t(150), Base.size() - 1}) {
    SCOPED_TRACE(Cut);
    TMemoryStream S;
    S.WriteBuffer(Base.data(), Integer(Cut));
    S.SetPosition(0);
    EXPECT_THROW(R->LoadLayersFromStream(&S), EReadError);
    ExpectSame(R, Before);
  }
  // A raw record that inflates to something else than an image.
  {
    std::string Bad = Base;
    Bad[139 + 4 + 10] ^= 0x55;
    TMemoryStream S;
    S.WriteBuffer(Bad.data(), Integer(Bad.size()));
    S.SetPosition(0);
    EXPECT_THROW(R->LoadLayersFromStream(&S), EReadError);
    ExpectSame(R, Before);
  }
  // The good file still loads into the same view.
  Good.SetPosition(0);
  ASSERT_TRUE(R->LoadLayersFromStream(&Good));
  EXPECT_EQ(R->LayerCount(), 2);
}

TEST_F(LayerFileTest, OtherStreamsAreRefusedAndTheContentTestKeepsThePosition) {
  View->IEBitmap()->Allocate(4, 4, ie24RGB);
  TMemoryStream Good;
  Good.WriteBuffer("xyz", 3);
  View->SaveLayersToStream(&Good, -1);
  const std::string Base(static_cast<const char*>(Good.Memory()), size_t(Good.Size()));

  struct TCase {
    const char* What;
    std::string Bytes;
    bool Layers;
  };
  std::string Version0 = Base, NoMagic = Base;
  SetI32(Version0, 3 + 13, 0);
  NoMagic[3 + 4] = 'X';
  const TCase Cases[] = {{"a layers file", Base, true},
                         {"version 0", Version0, false},
                         {"another magic", NoMagic, false},
                         {"too short", Base.substr(0, 3 + 20), false},
                         {"nothing", "xyz", false}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TMemoryStream S;
    S.WriteBuffer(C.Bytes.data(), Integer(C.Bytes.size()));
    S.SetPosition(3);
    EXPECT_EQ(IETestLayersStream(&S), C.Layers);
    EXPECT_EQ(S.Position(), 3);
  }

  // Another magic: refused, 25 bytes further, nothing touched. Version 0: refused after the
  // I/O parameters follow the base layer.
  TTestVect* R = Receiver();
  const TSnapshot Before = Snap(R);
  TMemoryStream S;
  S.WriteBuffer(NoMagic.data(), Integer(NoMagic.size()));
  S.SetPosition(3);
  EXPECT_FALSE(R->LoadLayersFromStream(&S));
  EXPECT_EQ(S.Position(), 3 + 25);
  ExpectSame(R, Before);
  TMemoryStream Z;
  Z.WriteBuffer(Version0.data(), Integer(Version0.size()));
  Z.SetPosition(3);
  EXPECT_FALSE(R->LoadLayersFromStream(&Z));
  ExpectSame(R, Before);
  EXPECT_EQ(R->IO()->IOParams()->Width, 9);
  EXPECT_FALSE(R->LoadLayersFromFile(""));
}

// A layer's undo record used to keep its user data as a number in one table for the whole
// process: after the layer that owned the block had freed it, undo gave the sharing layer the
// freed block back. Each snapshot now keeps what it refers to.
TEST_F(LayerFileTest, LayerUndoNeverBringsBackAFreedUserDataBlock) {
  View->IEBitmap()->Allocate(30, 20, ie24RGB);
  const Integer Owner = View->AddLayer();
  const Integer Sharer = View->AddLayer();
  View->LayerAt(Owner)->UserData = Block("ABCD");
  View->LayerAt(Owner)->UserDataSize = 4;
  View->LayerAt(Sharer)->Assign(View->LayerAt(Owner));
  ASSERT_EQ(View->LayerAt(Sharer)->UserData, View->LayerAt(Owner)->UserData);
  TZodivErProc* Proc = View->ProcComponent();
  Proc->SetUndoLimit(3);
  Proc->SaveUndo(ieuLayer);

  // The owner goes, and its block with it; the sharer lets go of the reference.
  TIELayer* S = View->LayerAt(Sharer);
  S->UserData = nullptr;
  View->RemoveLayer(Owner);
  Proc->Undo();
  ASSERT_NE(S->UserData, nullptr);
  ASSERT_EQ(S->UserDataSize, 4);
  EXPECT_EQ(std::memcmp(S->UserData, "ABCD", 4), 0);
}

TEST_F(LayerFileTest, LayersAndObjectsRoundTripAndAnIndependentReaderAgrees) {
  Compose(View);
  Add(ievkBox, 2, 3, 40, 30, "box");
  Add(ievkLine, 5, 5, 60, 50, "line");
  const std::string Dir = testsupport::MakeTempDir("all");
  const std::string Path = Dir + "/both.all";
  {
    TFileStream F(Path, fmCreate);
    View->SaveLayersAndObjectsToStream(&F, -1);
  }
  auto M = ReadWithPython(Path, true);
  EXPECT_EQ(M["count"], "3");
  EXPECT_EQ(M["objects_head"], "IEVQ");
  EXPECT_EQ(M["objects_offset"], M["end"]);
  EXPECT_EQ(std::stoll(M["objects_offset"]) + std::stoll(M["objects_length"]), FileSize(Path));

  TTestVect* R = Receiver();
  ASSERT_TRUE(R->LoadLayersAndObjectsFromFile(Path));
  EXPECT_EQ(R->LayerCount(), 3);
  EXPECT_EQ(R->LayerAt(1)->LayerName, "top");
  ASSERT_EQ(R->ObjectsCount(), 2);
  EXPECT_EQ(R->GetObjectRec(0)->Name, "box");
  EXPECT_EQ(R->GetObjectRec(1)->X2, 60);

  // The content tests: the file, and the file whose objects offset lies beyond its end.
  {
    TFileStream F(Path, fmOpenRead);
    EXPECT_TRUE(IETestLayersObjectsStream(&F));
    EXPECT_EQ(F.Position(), 0);
  }
  std::string Bytes = Slurp(Path);
  std::string Far = Bytes;
  SetI32(Far, 0, int32_t(Bytes.size() + 1));
  TMemoryStream FS;
  FS.WriteBuffer(Far.data(), Integer(Far.size()));
  FS.SetPosition(0);
  EXPECT_FALSE(IETestLayersObjectsStream(&FS));

  // A damaged objects part leaves both the layers and the objects as they were.
  const Integer P = std::stoi(M["objects_offset"]);
  TTestVect* Q = Receiver();
  Q->AppendObject(Rec(ievkEllipse, 1, 1, 5, 5));
  const Integer QObjects = Q->ObjectsCount();
  const TSnapshot Before = Snap(Q);
  std::string Bad = Bytes;
  for (size_t i = size_t(P) + 24; i < Bad.size(); ++i) Bad[i] = char(0x5A);
  TMemoryStream BS;
  BS.WriteBuffer(Bad.data(), Integer(Bad.size()));
  BS.SetPosition(0);
  EXPECT_THROW(Q->LoadLayersAndObjectsFromStream(&BS), EReadError);
  ExpectSame(Q, Before);
  EXPECT_EQ(Q->ObjectsCount(), QObjects);
  // Objects that are not there: refused, nothing changed.
  std::string NoObjects = Bytes;
  NoObjects[size_t(P)] = 'X';
  TMemoryStream NS;
  NS.WriteBuffer(NoObjects.data(), Integer(NoObjects.size()));
  NS.SetPosition(0);
  EXPECT_FALSE(Q->LoadLayersAndObjectsFromStream(&NS));
  ExpectSame(Q, Before);
  testsupport::RemoveTree(Dir);
}

// The I/O component finds both formats by content, loads them into an attached view, renders
// them into its own image without one, and names the file and the cause when a load fails.
// Saved through the component by extension and by id, each file is the view's own save; what
// it reads back into another view saves again to the same bytes. Without a view of the right
// class nothing is written, and the reason names the file.
TEST_F(LayerFileTest, TheIOComponentSavesObjectsAndLayersFromItsView) {
  Compose(View);
  Add(ievkBox, 0, 0, 19, 14, "frame");
  Add(ievkEllipse, 3, 4, 12, 9, "ring");
  const std::string Dir = testsupport::MakeTempDir("iosave");
  TZodivErIO* IO = View->IO();
  struct TCase {
    const char* Ext;
    Integer FileType;
    std::function<void(TStream*)> ViewsOwn;
  };
  const TCase Cases[] = {
      {".iev", ioIEV, [&](TStream* S) { View->SaveObjectsToStream(S); }},
      {".lyr", ioLYR, [&](TStream* S) { View->SaveLayersToStream(S, -1); }},
      {".all", ioALL, [&](TStream* S) { View->SaveLayersAndObjectsToStream(S, -1); }},
  };
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Ext);
    const std::string Path = Dir + "/saved" + c.Ext;
    Integer Finished = 0;
    IO->OnFinishWork = [&](TObject*) { ++Finished; };
    IO->SaveToFile(AnsiToWide(Path));
    ASSERT_FALSE(IO->Aborting) << IO->FailureReason();
    EXPECT_EQ(Finished, 1);
    EXPECT_EQ(IO->IOParams()->FileType, c.FileType);
    EXPECT_EQ(FindFileFormat(AnsiToWide(Path), false), c.FileType);
    TMemoryStream Own, ById;
    c.ViewsOwn(&Own);
    const std::string Saved = Slurp(Path);
    EXPECT_EQ(Saved, std::string(static_cast<const char*>(Own.Memory()), size_t(Own.Size())));
    IO->SaveToStream(&ById, c.FileType);
    ASSERT_FALSE(IO->Aborting) << IO->FailureReason();
    EXPECT_EQ(Saved, std::string(static_cast<const char*>(ById.Memory()), size_t(ById.Size())));

    TTestVect* R = Receiver();
    R->IO()->LoadFromFile(AnsiToWide(Path));
    ASSERT_FALSE(R->IO()->Aborting) << R->IO()->FailureReason();
    const std::string Again = Dir + "/again" + c.Ext;
    R->IO()->SaveToFile(AnsiToWide(Again));
    ASSERT_FALSE(R->IO()->Aborting) << R->IO()->FailureReason();
    EXPECT_EQ(Slurp(Again), Saved);
    EXPECT_EQ(R->ObjectsCount(), c.FileType == ioLYR ? 0 : 2);
    if (c.FileType != ioIEV) EXPECT_EQ(R->LayerCount(), 3);
    delete R;
  }

  // A plain image view holds layers but no objects; a component of its own holds neither. A
  // file already there stays as it was.
  auto* Plain = new TZodivErView(Form);
  Plain->SetParent(Form);
  Compose(Plain);
  TZodivErIO Alone(nullptr);
  const std::string Kept = Dir + "/kept.all";
  Spill(Kept, "old");
  struct TRefusal {
    TZodivErIO* IO;
    std::string Name;
    const char* Cause;
  };
  const TRefusal Refusals[] = {
      {Plain->IO(), Dir + "/p.iev", "vector objects are saved from an attached vector view"},
      {Plain->IO(), Kept, "layers and vector objects are saved from an attached vector view"},
      {&Alone, Dir + "/a.lyr", "layers are saved from an attached image view"},
      {&Alone, Dir + "/a.iev", "vector objects are saved from an attached vector view"},
  };
  for (const TRefusal& r : Refusals) {
    SCOPED_TRACE(r.Name);
    Integer Finished = 0;
    r.IO->OnFinishWork = [&](TObject*) { ++Finished; };
    r.IO->Aborting = false;
    r.IO->SaveToFile(AnsiToWide(r.Name));
    EXPECT_TRUE(r.IO->Aborting);
    EXPECT_EQ(Finished, 1);
    EXPECT_NE(r.IO->FailureReason().find(r.Name), std::string::npos) << r.IO->FailureReason();
    EXPECT_NE(r.IO->FailureReason().find(r.Cause), std::string::npos) << r.IO->FailureReason();
  }
  EXPECT_FALSE(FileExists(Dir + "/p.iev"));
  EXPECT_FALSE(FileExists(Dir + "/a.lyr"));
  EXPECT_EQ(Slurp(Kept), "old");
  TMemoryStream None;
  Alone.SaveToStream(&None, ioALL);
  EXPECT_TRUE(Alone.Aborting);
  EXPECT_NE(Alone.FailureReason().find("none is attached"), std::string::npos) << Alone.FailureReason();
  EXPECT_EQ(None.Size(), 0);
  Plain->IO()->SaveToFile(AnsiToWide(Dir + "/p.lyr"));
  EXPECT_FALSE(Plain->IO()->Aborting) << Plain->IO()->FailureReason();
  testsupport::RemoveTree(Dir);
}

TEST_F(LayerFileTest, TheIOComponentLoadsLayersFiles) {
  Compose(View);
  Add(ievkBox, 0, 0, 19, 14, "frame");
  const std::string Dir = testsupport::MakeTempDir("iolayers");
  const std::string Lyr = Dir + "/a.lyr", All = Dir + "/a.all", Bad = Dir + "/bad.lyr";
  {
    TFileStream F(Lyr, fmCreate);
    View->SaveLayersToStream(&F, 8);
  }
  {
    TFileStream F(All, fmCreate);
    View->SaveLayersAndObjectsToStream(&F, -1);
  }
  std::string Broken = Slurp(Lyr);
  SetI32(Broken, 21, 5000);
  Spill(Bad, Broken);
  EXPECT_EQ(FindFileFormat(AnsiToWide(Lyr), false), ioLYR);
  EXPECT_EQ(FindFileFormat(AnsiToWide(All), false), ioALL);

  // Without a view: the flattened picture, grown to the upper layer that reaches 3 rows above.
  for (const std::string& Path : {Lyr, All}) {
    SCOPED_TRACE(Path);
    TZodivErIO IO(nullptr);
    IO.LoadFromFile(AnsiToWide(Path));
    ASSERT_FALSE(IO.Aborting) << IO.FailureReason();
    EXPECT_EQ(IO.IOParams()->FileType, Path == Lyr ? ioLYR : ioALL);
    EXPECT_EQ(IO.IEBitmap()->GetWidth(), 20);
    EXPECT_EQ(IO.IEBitmap()->GetHeight(), 18);
    // The upper layer (shown 12 x 4) lies over what would be background.
    EXPECT_NE(IO.IEBitmap()->GetPixelRGB(10, 0), IO.IEBitmap()->GetPixelRGB(3, 10));
  }

  // Attached: the view takes the layers.
  TTestVect* R = Receiver();
  TZodivErIO* IO = R->IO();
  IO->LoadFromFile(AnsiToWide(Lyr));
  ASSERT_FALSE(IO->Aborting) << IO->FailureReason();
  EXPECT_EQ(R->LayerCount(), 3);
  IO->LoadFromFile(AnsiToWide(All));
  ASSERT_FALSE(IO->Aborting) << IO->FailureReason();
  EXPECT_EQ(R->ObjectsCount(), 1);

  const TSnapshot Before = Snap(R);
  IO->LoadFromFileFormat(AnsiToWide(Bad), ioLYR);
  EXPECT_TRUE(IO->Aborting);
  EXPECT_NE(IO->FailureReason().find(Bad), std::string::npos) << IO->FailureReason();
  EXPECT_NE(IO->FailureReason().find("layer count 5000"), std::string::npos) << IO->FailureReason();
  ExpectSame(R, Before);
  testsupport::RemoveTree(Dir);
}

}  // namespace
