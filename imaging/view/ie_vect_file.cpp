// The objects file: "IEV", a version character, the length, the measurement scale, the table
// of shared images and one zlib stream of object records. The writer writes the newest version;
// the reader takes every older one and fills what a version lacks with defaults.
//
// Every byte comes from a file, so each count, length and index is checked before use, nested
// groups are limited in depth, and the whole file is parsed into a staging area first: a file
// that turns out damaged half-way raises EReadError and leaves the view's objects as they were.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/formats/codec.h"
#include "imaging/formats/compression/ie_deflate_streams.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/view/ie_vect.h"
#include "imaging/view/ie_view_file_fields.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr Byte kVersion = 'Q';
constexpr Byte kOldest = '1';
// Limits a damaged or hostile file cannot push the reader past: far beyond any drawing a
// person makes, well below what would exhaust memory.
constexpr Integer kMaxObjects = 1000000;
constexpr Integer kMaxNesting = 32;
constexpr Integer kMaxString = 16 * 1024 * 1024;
constexpr Integer kMaxPoints = 4 * 1024 * 1024;
constexpr Integer kMaxFormats = 65536;
constexpr Integer kMaxUserData = 256 * 1024 * 1024;

[[noreturn]] void Damaged(const AnsiString& Why) { throw EReadError("Damaged vector objects file: " + Why); }

// ---------- little-endian fields, with the objects file's strings and fonts ----------
struct TWriter : TIEViewFileWriter {
  explicit TWriter(TStream* Stream) : TIEViewFileWriter{Stream} {}
  void Str(const AnsiString& V) {
    I32(static_cast<Integer>(V.size()));
    if (!V.empty()) Bytes(V.data(), static_cast<Integer>(V.size()));
  }
  void Font(const std::optional<TIELogFont>& F) {
    U8(F ? 1 : 0);
    if (F) Bytes(F->Bytes.data(), 60);
  }
};

struct TReader : TIEViewFileReader {
  TReader(TStream* Stream, const char* Part) : TIEViewFileReader{Stream, Part, Damaged} {}
  Integer Count(const char* Name, Integer Max) {
    const Integer n = I32();
    if (n < 0 || n > Max) Damaged(Format("%s %d is out of range", Name, n));
    return n;
  }
  AnsiString Str(const char* Name) {
    const Integer n = Count(Name, kMaxString);
    AnsiString v;
    // Grown as the bytes arrive, so a length the data cannot back allocates nothing large.
    while (static_cast<Integer>(v.size()) < n) {
      const Integer k = std::min<Integer>(n - static_cast<Integer>(v.size()), 65536);
      const size_t at = v.size();
      v.resize(at + size_t(k));
      Bytes(&v[at], k);
    }
    return v;
  }
  std::optional<TIELogFont> Font() {
    const Byte f = U8();
    if (f > 1) Damaged(Format("font flag %d is neither 0 nor 1", Integer(f)));
    if (!f) return std::nullopt;
    TIELogFont L;
    Bytes(L.Bytes.data(), 60);
    return L;
  }
};

}  // namespace

// ---------- staging: what the file holds, before the view is touched ----------
struct TIEVStagedObject {
  TIEVObjectRec Rec;
  std::vector<Byte> UserData;
};

class TIEVObjectsReader {
 public:
  TIEVObjectsReader(TZodivErVect* View, Byte Version) : V(View), Ver(Version) {}

  void ReadRecords(TStream* Z, Integer TableSize) {
    TReader R{Z, "the object block"};
    const Integer M = R.Count("object count", kMaxObjects);
    for (Integer i = 0; i < M; ++i) ReadRecord(R, TableSize, 0);
  }

  std::vector<TIEVStagedObject> Objects;

 private:
  TZodivErVect* V;
  Byte Ver;
  bool From(char C) const { return Ver >= Byte(C); }

  void CheckBitmapIndex(Integer& Index, Integer TableSize) {
    if (Index < 0) {
      Index = -1;
      return;
    }
    if (Index >= TableSize)
      Damaged(Format("an object names image %d of a table of %d", Index, TableSize));
  }

  void ReadRecord(TReader& R, Integer TableSize, Integer Depth) {
    if (static_cast<Integer>(Objects.size()) >= kMaxObjects) Damaged("too many objects");
    TIEVStagedObject St;
    TIEVObjectRec& o = St.Rec;
    IEVCopyPlainFields(o, V->FTemplate);
    o.Shadow = TIEVSoftShadow();
    o.Shadow.OffsetX = o.Shadow.OffsetY = 2;
    o.Transparency = 255;
    o.EditOnCreate = true;
    o.UniformFormat = true;
    o.CurveCharRotation = -10;
    o.PolyBaseRect = TRect{0, 0, 0, 0};
    o.PolyClosed = false;
    o.BitmapIndex = -1;
    if (From('<')) R.I32();
    o.X1 = R.I32(), o.Y1 = R.I32(), o.X2 = R.I32(), o.Y2 = R.I32();
    o.Kind = R.U8();
    if (From('M')) o.LockAspect = R.Bool();
    if (From('=')) {
      o.Shadow.Enabled = R.Bool();
      o.Shadow.Radius = R.F64();
      o.Shadow.OffsetX = R.I32();
      o.Shadow.OffsetY = R.I32();
      if (From('O')) {
        o.Shadow.Intensity = R.I32();
        R.Bytes(&o.Shadow.Color, 3);
      }
    }
    o.Name = R.Str("name length");
    R.Bytes(o.Tag.data(), 4);
    o.PenColor = static_cast<TColor>(R.I32());
    o.PenStyle = R.U8();
    o.PenWidth = R.I32();
    o.BrushColor = static_cast<TColor>(R.I32());
    o.BrushStyle = R.U8();
    o.Style = R.U8();
    if (From('=')) o.Transparency = R.I32();
    if (From('@')) o.Highlight = R.Bool();
    if (From('Q')) o.TextQuality = R.U8();
    if (From('I')) {
      const Integer n = R.Count("user data length", kMaxUserData);
      for (Integer done = 0; done < n;) {
        const Integer k = std::min(n - done, 65536);
        St.UserData.resize(size_t(done + k));
        R.Bytes(St.UserData.data() + done, k);
        done += k;
      }
    }
    if (o.Kind == ievkNone) {
      // A group: its members follow as whole records and are added in order.
      const Integer K = R.Count("group size", kMaxObjects);
      if (Depth >= kMaxNesting) Damaged(Format("groups are nested deeper than %d", kMaxNesting));
      for (Integer i = 0; i < K; ++i) ReadRecord(R, TableSize, Depth + 1);
      return;
    }
    if (o.Kind == ievkLineLabel && From('P')) {
      o.LabelBrushColor = static_cast<TColor>(R.I32());
      o.LabelBrushStyle = R.U8();
      o.LabelPosition = R.U8();
      o.LabelShape = R.U8();
    }
    if (o.Kind == ievkLine || o.Kind == ievkLineLabel) {
      o.ArrowBegin = R.U8();
      o.ArrowEnd = R.U8();
      o.ArrowWidth = R.I32();
      o.ArrowHeight = R.I32();
    }
    if (o.Kind == ievkArc) {
      o.ArcStartAngle = R.F64();
      o.ArcEndAngle = R.F64();
    }
    if (o.Kind == ievkBitmap) {
      o.BitmapIndex = R.I32();
      CheckBitmapIndex(o.BitmapIndex, TableSize);
      if (From('B')) o.BitmapBorder = R.Bool();
      if (From('F')) o.Text = R.Str("text length");
    }
    if (o.Kind == ievkText || o.Kind == ievkLineLabel || o.Kind == ievkPlugIn) {
      if (From('4')) o.TextAlign = R.U8();
      if (From('9')) o.TextAutoSize = R.Bool();
      o.Text = R.Str("text length");
      o.Font = R.Font();
      if (From('?')) {
        const Integer n = R.I32();
        if (n < 0 || n > kMaxPoints) Damaged(Format("curve point count %d is out of range", n));
        if (n > 0) {
          for (Integer i = 0; i < n; ++i) {
            TIEDPoint p;
            p.X = R.F64();
            p.Y = R.F64();
            o.CurvePoints.push_back(p);
          }
          o.CurveCharRotation = R.I32();
        }
      }
    }
    if (o.Kind == ievkMemo) ReadMemo(R, o, TableSize);
    if (From('J')) o.EditOnCreate = R.Bool();
    if (o.Kind == ievkRuler) {
      if (From('5')) {
        o.RulerUnit = R.U8();
        if (o.RulerUnit > ieuNANOMETERS) Damaged(Format("ruler unit %d is unknown", Integer(o.RulerUnit)));
        o.RulerType = R.U8();
        if (From('A')) o.Font = R.Font();
      }
      if (!o.Font) o.Font = V->DefaultFont(12);
    }
    if (o.Kind == ievkPolyline && From('8')) {
      const Integer n = R.Count("polyline point count", kMaxPoints);
      for (Integer i = 0; i < n; ++i) {
        TPoint p;
        p.X = R.I32();
        p.Y = R.I32();
        o.PolyPoints.push_back(p);
      }
      o.PolyBaseRect.Left = R.I32(), o.PolyBaseRect.Top = R.I32();
      o.PolyBaseRect.Right = R.I32(), o.PolyBaseRect.Bottom = R.I32();
      if (From(';')) o.PolyClosed = R.Bool();
    }
    if (o.Kind == ievkAngle) {
      if (From(':'))
        for (TPoint& p : o.AnglePoints) p.X = R.I32(), p.Y = R.I32();
      if (From('K')) o.Font = R.Font();
      if (!o.Font) o.Font = V->DefaultFont(10);
    }
    if (o.Kind == ievkPlugIn && From('N')) {
      const Byte f = R.U8();
      if (f == 1) {
        const AnsiString Name = R.Str("plug-in class name length");
        o.PlugIn = IECreatePlugInObject(Name);
        // Its data has no length of its own: without the class nothing after it can be found.
        if (!o.PlugIn) Damaged("the plug-in object class \"" + Name + "\" is not known");
        o.PlugIn->Owner = V;
        o.PlugIn->Initialize();
        o.PlugIn->LoadFromStream(R.S);
      }
    }
    Objects.push_back(std::move(St));
  }

  void ReadMemo(TReader& R, TIEVObjectRec& o, Integer TableSize) {
    o.Text = R.Str("text length");
    o.Font = R.Font();
    const bool HasIndexes = From('C') ? R.Bool() : true;
    if (HasIndexes) {
      std::vector<Integer> Idx;
      for (size_t i = 0; i < o.Text->size(); ++i) Idx.push_back(R.I32());
      o.MemoCharFormats = std::move(Idx);
    }
    const Integer F = R.Count("memo format count", kMaxFormats);
    std::vector<TIETextCharFormatRec> Formats;
    for (Integer i = 0; i < F; ++i) {
      TIETextCharFormatRec f;
      R.Bytes(f.Bytes.data(), 280);
      Formats.push_back(f);
    }
    if (o.MemoCharFormats)
      for (Integer x : *o.MemoCharFormats)
        if (x < 0 || x >= F) Damaged(Format("a memo character uses format %d of %d", x, F));
    o.MemoFormats = std::move(Formats);
    o.UniformFormat = R.Bool();
    o.TextAutoSize = R.Bool();
    o.MemoLineSpacing = R.I32();
    o.MemoBorderColor = static_cast<TColor>(R.I32());
    o.MemoBorderStyle = R.U8();
    o.TextAlign = R.U8();
    o.MemoFixedCharHeight = R.I32();
    if (From('I')) {
      o.MemoHasBitmap = R.Bool();
      if (o.MemoHasBitmap) {
        o.BitmapIndex = R.I32();
        CheckBitmapIndex(o.BitmapIndex, TableSize);
        if (From('B')) o.BitmapBorder = R.Bool();
      }
    }
    if (From('H'))
      for (double& m : o.MemoMargins) m = R.F64();
    if (From('L')) o.MemoFillStyle = R.U8();
  }
};

namespace {
void WriteRecord(TWriter& W, const TIEVObjectRec& o, Integer Handle) {
  W.I32(Handle);
  W.I32(o.X1), W.I32(o.Y1), W.I32(o.X2), W.I32(o.Y2);
  W.U8(o.Kind);
  W.U8(o.LockAspect);
  W.U8(o.Shadow.Enabled);
  W.F64(o.Shadow.Radius);
  W.I32(o.Shadow.OffsetX), W.I32(o.Shadow.OffsetY);
  W.I32(o.Shadow.Intensity);
  W.Bytes(&o.Shadow.Color, 3);
  W.Str(o.Name);
  W.Bytes(o.Tag.data(), 4);
  W.I32(static_cast<Integer>(o.PenColor)), W.U8(o.PenStyle), W.I32(o.PenWidth);
  W.I32(static_cast<Integer>(o.BrushColor)), W.U8(o.BrushStyle), W.U8(o.Style);
  W.I32(o.Transparency);
  W.U8(o.Highlight);
  W.U8(o.TextQuality);
  // The block itself goes into the file, never its address.
  const Integer UL = o.UserData ? std::max(o.UserDataLength, 0) : 0;
  W.I32(UL);
  if (UL > 0) W.Bytes(o.UserData, UL);
  if (o.Kind == ievkNone) W.I32(0);
  if (o.Kind == ievkLineLabel) {
    W.I32(static_cast<Integer>(o.LabelBrushColor));
    W.U8(o.LabelBrushStyle), W.U8(o.LabelPosition), W.U8(o.LabelShape);
  }
  if (o.Kind == ievkLine || o.Kind == ievkLineLabel) {
    W.U8(o.ArrowBegin), W.U8(o.ArrowEnd), W.I32(o.ArrowWidth), W.I32(o.ArrowHeight);
  }
  if (o.Kind == ievkArc) W.F64(o.ArcStartAngle), W.F64(o.ArcEndAngle);
  if (o.Kind == ievkBitmap) {
    W.I32(o.BitmapIndex);
    W.U8(o.BitmapBorder);
    W.Str(o.Text ? *o.Text : AnsiString());
  }
  if (o.Kind == ievkText || o.Kind == ievkLineLabel || o.Kind == ievkPlugIn) {
    W.U8(o.TextAlign), W.U8(o.TextAutoSize);
    W.Str(o.Text ? *o.Text : AnsiString());
    W.Font(o.Font);
    W.I32(static_cast<Integer>(o.CurvePoints.size()));
    if (!o.CurvePoints.empty()) {
      for (const TIEDPoint& p : o.CurvePoints) W.F64(p.X), W.F64(p.Y);
      W.I32(o.CurveCharRotation);
    }
  }
  if (o.Kind == ievkMemo) {
    const AnsiString Text = o.Text ? *o.Text : AnsiString();
    W.Str(Text);
    W.Font(o.Font);
    W.U8(o.MemoCharFormats ? 1 : 0);
    if (o.MemoCharFormats)
      for (size_t i = 0; i < Text.size(); ++i)
        W.I32(i < o.MemoCharFormats->size() ? (*o.MemoCharFormats)[i] : 0);
    const size_t F = o.MemoFormats ? o.MemoFormats->size() : 0;
    W.I32(static_cast<Integer>(F));
    for (size_t i = 0; i < F; ++i) W.Bytes((*o.MemoFormats)[i].Bytes.data(), 280);
    W.U8(o.UniformFormat), W.U8(o.TextAutoSize);
    W.I32(o.MemoLineSpacing), W.I32(static_cast<Integer>(o.MemoBorderColor));
    W.U8(o.MemoBorderStyle), W.U8(o.TextAlign), W.I32(o.MemoFixedCharHeight);
    W.U8(o.MemoHasBitmap);
    if (o.MemoHasBitmap) W.I32(o.BitmapIndex), W.U8(o.BitmapBorder);
    for (double m : o.MemoMargins) W.F64(m);
    W.U8(o.MemoFillStyle);
  }
  W.U8(o.EditOnCreate);
  if (o.Kind == ievkRuler) {
    W.U8(o.RulerUnit), W.U8(o.RulerType);
    W.Font(o.Font);
  }
  if (o.Kind == ievkPolyline) {
    W.I32(static_cast<Integer>(o.PolyPoints.size()));
    for (const TPoint& p : o.PolyPoints) W.I32(p.X), W.I32(p.Y);
    W.I32(o.PolyBaseRect.Left), W.I32(o.PolyBaseRect.Top), W.I32(o.PolyBaseRect.Right), W.I32(o.PolyBaseRect.Bottom);
    W.U8(o.PolyClosed);
  }
  if (o.Kind == ievkAngle) {
    for (const TPoint& p : o.AnglePoints) W.I32(p.X), W.I32(p.Y);
    W.Font(o.Font);
  }
  if (o.Kind == ievkPlugIn) {
    const AnsiString Name = o.PlugIn ? o.PlugIn->PlugInClassName() : AnsiString();
    W.U8(!Name.empty());
    if (!Name.empty()) {
      W.Str(Name);
      o.PlugIn->SaveToStream(W.S);
    }
  }
}

// The bytes of one PNG datastream at the stream's position, found by walking its chunks up to
// IEND; the image reader then gets exactly those and cannot run into what follows.
void ReadPNGBytes(TStream* S, TMemoryStream& Out) {
  TReader R{S, "an image of the table"};
  Byte Sig[8];
  R.Bytes(Sig, 8);
  static const Byte Want[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  if (std::memcmp(Sig, Want, 8) != 0) Damaged("an image of the table is not a PNG image");
  Out.WriteBuffer(Sig, 8);
  for (;;) {
    Byte H[8];
    R.Bytes(H, 8);
    const uint32_t Len = uint32_t(H[0]) << 24 | uint32_t(H[1]) << 16 | uint32_t(H[2]) << 8 | uint32_t(H[3]);
    if (Len > 0x7FFFFFFFu) Damaged("a PNG chunk length is out of range");
    const Int64 Left = IEStreamRemaining(S);
    if (Left >= 0 && Int64(Len) + 4 > Left) Damaged("an image of the table ends early");
    Out.WriteBuffer(H, 8);
    // Copied in pieces, so that a length the stream cannot back never allocates all of it.
    std::vector<Byte> Piece(65536);
    for (Int64 Rest = Int64(Len) + 4; Rest > 0;) {
      const Int64 k = std::min<Int64>(Rest, Int64(Piece.size()));
      R.Bytes(Piece.data(), k);
      Out.WriteBuffer(Piece.data(), k);
      Rest -= k;
    }
    if (std::memcmp(H + 4, "IEND", 4) == 0) break;
  }
  Out.SetPosition(0);
}
}  // namespace

bool IETestObjectsStream(TStream* Stream) {
  const Int64 Pos = Stream->Position();
  Byte H[4];
  const bool Ok = Stream->Read(H, 4) == 4 && H[0] == 'I' && H[1] == 'E' && H[2] == 'V' && H[3] >= kOldest &&
                  H[3] <= kVersion;
  Stream->SetPosition(Pos);
  return Ok;
}

void TZodivErVect::SaveObjectsToStream(TStream* Stream) {
  CompactSharedBitmaps();
  const Int64 Start = Stream->Position();
  TWriter W{Stream};
  W.Bytes("IEV", 3);
  W.U8(kVersion);
  W.I32(0);
  W.F64(MeasureScale);
  W.I32(static_cast<Integer>(FBitmaps.size()));
  for (size_t i = 0; i < FBitmaps.size(); ++i) {
    Integer Count = FBitmaps[i].UseCount;
    if (static_cast<Integer>(i) == FTemplate.BitmapIndex) --Count;
    W.I32(std::max(Count, 0));
    if (Count > 0) {
      TZodivErIO IO(nullptr);
      IO.SetAttachedIEBitmap(FBitmaps[i].Bitmap.get());
      IO.SaveToStream(Stream, ioPNG);
      if (IO.Aborting)
        throw EWriteError("Cannot write an image of the vector objects: " + IO.FailureReason());
    }
  }
  {
    TZCompressionStream Z(Stream, zcDefault);
    TWriter ZW{&Z};
    ZW.I32(static_cast<Integer>(FZOrder.size()));
    for (Integer h : FZOrder) WriteRecord(ZW, FObjects[static_cast<size_t>(h)], h);
  }
  const Int64 End = Stream->Position();
  Stream->SetPosition(Start + 4);
  W.I32(static_cast<Integer>(End - Start));
  Stream->SetPosition(End);
}

bool TZodivErVect::LoadObjectsFromStream(TStream* Stream) {
  Byte H[4];
  if (Stream->Read(H, 4) != 4 || H[0] != 'I' || H[1] != 'E' || H[2] != 'V' || H[3] < kOldest || H[3] > kVersion)
    return false;
  const Byte Ver = H[3];
  TReader R{Stream, "the vector objects file"};
  const Integer Length = R.I32();
  if (Length < 0) Damaged(Format("length %d is out of range", Length));
  // The first version kept the scale as a whole number.
  const double NewScale = Ver == '1' ? double(R.I32()) : R.F64();
  const Int64 Left = IEStreamRemaining(Stream);
  const Integer N = R.I32();
  // Each entry takes at least its 4-byte count.
  if (N < 0 || (Left >= 0 && Int64(N) * 4 > Left - 4))
    Damaged(Format("image table size %d is out of range", N));
  std::vector<TIEVSharedBitmap> Table(static_cast<size_t>(N));
  for (Integer i = 0; i < N; ++i) {
    const Integer Saved = R.I32();
    if (Saved <= 0) continue;
    auto B = std::make_unique<TIEBitmap>();
    TMemoryStream Img;
    if (Ver >= '3') {
      ReadPNGBytes(Stream, Img);
    } else {
      // A BMP file carries its own size at byte 2.
      Byte BH[6];
      R.Bytes(BH, 6);
      const uint32_t Size = uint32_t(BH[2]) | uint32_t(BH[3]) << 8 | uint32_t(BH[4]) << 16 | uint32_t(BH[5]) << 24;
      const Int64 Rest = IEStreamRemaining(Stream);
      if (BH[0] != 'B' || BH[1] != 'M' || Size < 6 || Size > 0x7FFFFFFFu || (Rest >= 0 && Int64(Size) - 6 > Rest))
        Damaged("an image of the table is not a whole BMP file");
      Img.WriteBuffer(BH, 6);
      std::vector<Byte> Data(Size - 6);
      R.Bytes(Data.data(), Int64(Data.size()));
      Img.WriteBuffer(Data.data(), Int64(Data.size()));
      Img.SetPosition(0);
    }
    TZodivErIO IO(nullptr);
    IO.SetAttachedIEBitmap(B.get());
    IO.LoadFromStreamFormat(&Img, Ver >= '3' ? ioPNG : ioBMP);
    if (IO.Aborting || B->GetWidth() <= 0 || B->GetHeight() <= 0)
      Damaged(Format("image %d of the table cannot be read", i) +
              (IO.FailureReason().empty() ? AnsiString() : ": " + IO.FailureReason()));
    if (Ver >= '7' && Ver <= '<') {
      const Integer L = R.I32();
      const Int64 Rest = IEStreamRemaining(Stream);
      if (L < 0 || (Rest >= 0 && L > Rest)) Damaged(Format("alpha block length %d is out of range", L));
      std::vector<Byte> Zip(static_cast<size_t>(L));
      R.Bytes(Zip.data(), L);
      const Integer W = B->GetWidth(), Hh = B->GetHeight();
      const Int64 Padded = Int64((W + 3) & ~3) * Hh;
      void* Out = nullptr;
      Integer OutBytes = 0;
      try {
        ZDecompressBuf(Zip.data(), L, Out, OutBytes, 0, Padded);
      } catch (Exception& E) {
        std::free(Out);
        Damaged(Format("the alpha block of image %d: ", i) + E.Message);
      }
      // Rows as long as the alpha channel's, bottom row first; the rows' padding to 4 bytes is
      // as the desktop bitmap stored them, and unpadded rows are taken too.
      Integer RowLen = 0;
      if (OutBytes == Padded) RowLen = (W + 3) & ~3;
      else if (Int64(OutBytes) == Int64(W) * Hh) RowLen = W;
      if (!RowLen) {
        std::free(Out);
        Damaged(Format("the alpha block of image %d has %d bytes for %d x %d pixels", i, OutBytes, W, Hh));
      }
      TIEBitmap* A = B->GetAlphaChannel();
      for (Integer y = 0; y < Hh; ++y) {
        const Byte* row = static_cast<const Byte*>(Out) + size_t(Hh - 1 - y) * size_t(RowLen);
        for (Integer x = 0; x < W; ++x) A->SetPixelByte(x, y, row[x]);
      }
      std::free(Out);
    }
    Table[static_cast<size_t>(i)].Bitmap = std::move(B);
  }
  TIEVObjectsReader Reader(this, Ver);
  {
    TZDecompressionStream Z(Stream);
    try {
      Reader.ReadRecords(&Z, N);
    } catch (EReadError&) {
      throw;
    } catch (Exception& E) {
      Damaged("the object block: " + E.Message);
    }
  }
  // Everything read: now the view's objects are replaced.
  const bool SavedShare = ShareBitmaps;
  ShareBitmaps = true;
  std::unique_ptr<TIEBitmap> TemplateImage;
  if (TIEBitmap* T = GetSharedBitmap(FTemplate.BitmapIndex)) {
    TemplateImage = std::make_unique<TIEBitmap>();
    TemplateImage->Assign(T);
    SetObjectBitmap(IEV_NEXT_OBJECT, nullptr);
  }
  const bool SavedUndo = ObjAutoUndo;
  ObjAutoUndo = false;
  SuspendUpdate();
  ClearObjects();
  ObjAutoUndo = SavedUndo;
  FBitmaps = std::move(Table);
  MeasureScale = NewScale;
  for (TIEVStagedObject& St : Reader.Objects) {
    const Integer h = AppendObject(St.Rec);
    if (St.Rec.PlugIn) {
      // The reader's instance holds what the file said; the object gets that one itself.
      TIEVObjectRec& o = FObjects[static_cast<size_t>(h)];
      o.PlugIn = std::move(St.Rec.PlugIn);
      o.PlugIn->Rec = &o;
      o.PlugIn->Handle = h;
    }
    if (!St.UserData.empty()) {
      void* Block = std::malloc(St.UserData.size());
      if (!Block) throw EOutOfMemory("Out of memory");
      std::memcpy(Block, St.UserData.data(), St.UserData.size());
      TIEVObjectRec& o = FObjects[static_cast<size_t>(h)];
      o.UserData = Block;
      o.UserDataLength = static_cast<Integer>(St.UserData.size());
    }
  }
  // Entries no object took stay empty slots, free for new images.
  for (TIEVSharedBitmap& E : FBitmaps)
    if (E.UseCount == 0) E.Bitmap.reset();
  ShareBitmaps = true;
  if (TemplateImage) SetObjectBitmap(IEV_NEXT_OBJECT, TemplateImage.get());
  ShareBitmaps = SavedShare;
  ComputeUnitScale();
  ResumeUpdate();
  Update();
  return true;
}

bool TZodivErVect::LoadObjectsFromFile(const AnsiString& FileName) {
  if (FileName.empty()) return false;
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadObjectsFromStream(&F);
}

void TZodivErVect::SaveObjectsToFile(const AnsiString& FileName) {
  TFileStream F(FileName, fmCreate);
  SaveObjectsToStream(&F);
}

void TZodivErVect::CopyObjectsTo(TZodivErVect* Dest) {
  for (Integer h : std::vector<Integer>(FZOrder)) CopyObjectTo(h, Dest);
  Dest->Update();
}

Integer TZodivErVect::CopyObjectTo(Integer Handle, TZodivErVect* Dest) {
  TIEVObjectRec* o = GetObjectRec(Handle);
  if (!o || !Dest) return IEV_NO_OBJECT;
  Integer Slot = -1;
  if (o->Kind == ievkBitmap || (o->Kind == ievkMemo && o->MemoHasBitmap))
    if (TIEBitmap* B = GetSharedBitmap(o->BitmapIndex)) {
      Slot = Dest->NewSharedBitmapSlot();
      auto Copy = std::make_unique<TIEBitmap>();
      Copy->Assign(B);
      Dest->FBitmaps[static_cast<size_t>(Slot)] = {std::move(Copy), 1};
    }
  // The record is appended without its image; the copy then owns the new entry alone.
  TIEVObjectRec Src;
  IEVCopyPlainFields(Src, *o);
  Src.Text = o->Text;
  Src.Font = o->Font;
  Src.CurvePoints = o->CurvePoints;
  Src.MemoCharFormats = o->MemoCharFormats;
  Src.MemoFormats = o->MemoFormats;
  Src.Name = o->Name;
  Src.PolyPoints = o->PolyPoints;
  Src.PolyBaseRect = o->PolyBaseRect;
  Src.PolyClosed = o->PolyClosed;
  std::copy(std::begin(o->AnglePoints), std::end(o->AnglePoints), Src.AnglePoints);
  if (o->PlugIn) Src.PlugIn = o->PlugIn->Clone();
  Src.BitmapIndex = -1;
  const Integer h = Dest->AppendObject(Src);
  if (Slot >= 0) Dest->GetObjectRec(h)->BitmapIndex = Slot;
  Dest->Update();
  return h;
}
