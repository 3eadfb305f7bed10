#include "imaging/formats/ps/ie_ps.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_encoders.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_pdf_objects.h"
#include "imaging/core/ie_stream_text.h"
#include "imaging/formats/compression/ie_ccitt_image.h"
#include "imaging/formats/ie_mono_or_colour.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr char kPagesLabel[] = "%%Pages: ";
constexpr Integer kPagesLabelLength = 9;
// The count field keeps its width so that rewriting it never moves what follows.
constexpr Integer kPagesFieldLength = 6;
constexpr Integer kMaxPages = 999999;

AnsiString PadRight(const AnsiString& Text, size_t Length) {
  return Text.size() >= Length ? Text : Text + AnsiString(Length - Text.size(), ' ');
}

AnsiString Str(Int64 Value) { return std::to_string(Value); }

// The encoders take 32-bit counts: a longer block goes through them in pieces, whose joins are
// invisible to the decoding filters (a run split in two, a line of ASCII85 cut short).
constexpr Int64 kPiece = 60 * 16384;  // whole ASCII85 lines of 15 groups

void AppendRunLength(std::vector<Byte>& Out, const Byte* Source, Int64 Count) {
  Int64 done = 0;
  do {
    const Integer n = Integer(std::min(kPiece, Count - done));
    const size_t at = Out.size();
    Out.resize(at + size_t(n) * 3 / 2 + 2);
    Integer written = IEEncodeRunLength(Source + done, n, Out.data() + at);
    done += n;
    if (done < Count) --written;  // the end code only once, after the last piece
    Out.resize(at + size_t(written));
  } while (done < Count);
}

void AppendASCII85(AnsiString& Out, const Byte* Source, Int64 Count) {
  Int64 done = 0;
  do {
    const Integer n = Integer(std::min(kPiece, Count - done));
    const Int64 groups = std::max<Int64>(1, (Int64(n) + 3) / 4);
    const size_t at = Out.size();
    Out.resize(at + size_t(groups * 5 + 2 * (groups * 5 / 75 + 1) + 8));
    const Byte* s = Source + done;
    char* d = Out.data() + at;
    Integer len = 0;
    Integer written = IEEncodeASCII85(s, n, d, len);
    done += n;
    if (done < Count) written -= 4;  // "~>" CR LF only once, after the last piece
    Out.resize(at + size_t(written));
  } while (done < Count);
}

// The JPEG stream must have the three components that "colorimage" is told of: a grey or CMYK
// setting left in the record (by loading such a JPEG) would make a page no interpreter can draw.
void WriteColourJPEG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  const Byte Saved = IOParams.JpegColorSpace;
  if (Saved != 0) IOParams.JpegColorSpace = 2;
  try {
    WriteJPEGStream(Stream, Bitmap, IOParams, Progress);
  } catch (...) {
    IOParams.JpegColorSpace = Saved;
    throw;
  }
  IOParams.JpegColorSpace = Saved;
}

}  // namespace

TIEPSDocument* PSCreateDocument(TStream* Stream, TIOParamsVals& IOParams) {
  auto Doc = std::make_unique<TIEPSDocument>();
  IEStreamWriteCRLFLine(Stream, "%!PS-Adobe-3.0");
  IEStreamWriteCRLFLine(Stream, "%%Creator: Clavorne Pro imaging library");
  IEStreamWriteCRLFLine(Stream, "%%Title: " + IOParams.PsTitle);
  IEStreamWriteCRLFLine(Stream, "%%CreationDate: " + FormatDateTime("ddd mmm dd hh:nn:ss yyyy", Now()));
  IEStreamWriteCRLFLine(Stream, "%%DocumentData: Clean7Bit");
  IEStreamWriteCRLFLine(Stream, "%%LanguageLevel: 2");
  Doc->PagesLine = Stream->Position();
  IEStreamWriteCRLFLine(Stream, kPagesLabel + PadRight("0", kPagesFieldLength));
  IEStreamWriteCRLFLine(Stream, "%%BoundingBox: 0 0 " + Str(Int64(IOParams.PsPaperWidth) - 1) + " " +
                                    Str(Int64(IOParams.PsPaperHeight) - 1));
  IEStreamWriteCRLFLine(Stream, "%%EndComments");
  IEStreamWriteCRLFLine(Stream, "%%BeginProlog");
  IEStreamWriteCRLFLine(Stream, "10 dict begin");
  IEStreamWriteCRLFLine(Stream, "%%EndProlog");
  Doc->End = Stream->Position();
  return Doc.release();
}

void PSAddPage(TIEPSDocument* Handle, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
               TIECodecProgress& Progress) {
  if (!Handle) return IEFail(Progress, "no PostScript document is open");
  // The count lives only in the document: a line that does not hold one counts as one page.
  Stream->SetPosition(Handle->PagesLine);
  char line[kPagesLabelLength + kPagesFieldLength] = {};
  Integer Count = 1;
  if (Stream->Read(line, Integer(sizeof line)) == Integer(sizeof line)) {
    AnsiString Field = Trim(AnsiString(line + kPagesLabelLength, kPagesFieldLength));
    Count = StrToIntDef(Field, 1);
  }
  if (Count >= kMaxPages) return IEFail(Progress, "a PostScript document holds at most 999999 pages");
  const Integer Page = std::max(Count, 0) + 1;
  Stream->SetPosition(Handle->PagesLine);
  IEStreamWriteString(Stream, kPagesLabel + PadRight(Str(Page), kPagesFieldLength));
  Stream->SetPosition(Handle->End);
  PSWritePage(Stream, Bitmap, IOParams, Page, IOParams.PsPaperWidth, IOParams.PsPaperHeight, Progress);
  if (Stream->Position() == Handle->End) {
    // A refused page writes nothing (its data is made before its first line): it is not counted.
    Stream->SetPosition(Handle->PagesLine);
    IEStreamWriteString(Stream, kPagesLabel + PadRight(Str(Count), kPagesFieldLength));
    Stream->SetPosition(Handle->End);
    return;
  }
  Handle->End = Stream->Position();
}

void PSCloseDocument(TIEPSDocument* Handle, TStream* Stream) {
  if (!Handle) return;
  std::unique_ptr<TIEPSDocument> Doc(Handle);
  Stream->SetPosition(Doc->End);
  IEStreamWriteCRLFLine(Stream, "%%Trailer");
  IEStreamWriteCRLFLine(Stream, "end");
  IEStreamWriteCRLFLine(Stream, "%%EOF");
}

void WritePSStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  std::unique_ptr<TIEPSDocument> Doc;
  try {
    Doc.reset(PSCreateDocument(Stream, IOParams));
    PSAddPage(Doc.get(), Stream, Bitmap, IOParams, Progress);
    PSCloseDocument(Doc.release(), Stream);
  } catch (const EWriteError&) {
    IEFail(Progress, "the PostScript document could not be written completely");
  }
}

void PSWritePage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, Integer PageNumber, Integer PaperWidth,
                 Integer PaperHeight, TIECodecProgress& Progress) {
  const Integer W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return IEFail(Progress, "an empty image cannot be written as a PostScript page");
  std::unique_ptr<TIEBitmap> Converted;
  TIEBitmap* Image = IEMonoOrColourImage(Bitmap, Converted);
  const bool Mono = Image->GetPixelFormat() == ie1g;
  IOParams.BitsPerSample = Mono ? 1 : 8;
  IOParams.SamplesPerPixel = Mono ? 1 : 3;
  const Integer Compression = IOParams.PsCompression;

  // The page's data is encoded first: the data line announces its size.
  AnsiString Data;
  AnsiString Operator;
  std::vector<AnsiString> Lines;
  if (Mono) {
    const Int64 RowBytes = (Int64(W) + 7) / 8;
    if (Compression == 1 || Compression == 2) {
      const Integer K = Compression == 1 ? -1 : 1;
      std::vector<Byte> Fax;
      if (!IEEncodeCCITTImage(Image, K, Fax, Progress)) return;
      AppendASCII85(Data, Fax.data(), Int64(Fax.size()));
      Lines.push_back("currentfile /ASCII85Decode filter << /K " + Str(K) + " /BlackIs1 true /Columns " + Str(W) +
                      " /Rows " + Str(H) +
                      " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
                      "/CCITTFaxDecode filter");
    } else {
      // Run length also serves the JPEG setting, which has no black-and-white form.
      std::vector<Byte> Rows;
      Rows.reserve(size_t(RowBytes * H));
      TIERowStepper Step(Progress, H);
      for (Integer y = 0; y < H; ++y) {
        const Byte* Row = static_cast<const Byte*>(Image->GetScanline(y));
        Rows.insert(Rows.end(), Row, Row + RowBytes);
        if (!Step.Next()) return;
      }
      std::vector<Byte> Packed;
      AppendRunLength(Packed, Rows.data(), Int64(Rows.size()));
      AppendASCII85(Data, Packed.data(), Int64(Packed.size()));
      Lines.push_back("currentfile /ASCII85Decode filter /RunLengthDecode filter");
    }
    Operator = "image";
  } else if (Compression == 3) {
    TMemoryStream Jpeg;
    WriteColourJPEG(&Jpeg, Image, IOParams, Progress);
    if (IEAborting(Progress)) return;
    AppendASCII85(Data, static_cast<const Byte*>(Jpeg.Memory()), Jpeg.Size());
    Lines.push_back("currentfile /ASCII85Decode filter << >> /DCTDecode filter");
    Lines.push_back("false 3");
    Operator = "colorimage";
  } else {
    // Each row's channel is a block of its own: the reading procedures open fresh filters for
    // every row and channel.
    std::vector<Byte> Channel(static_cast<size_t>(W));
    std::vector<Byte> Packed;
    TIERowStepper Step(Progress, H);
    for (Integer y = 0; y < H; ++y) {
      const Byte* Row = static_cast<const Byte*>(Image->GetScanline(y));
      for (Integer c = 2; c >= 0; --c) {  // red, green, blue from B, G, R pixels
        for (Integer x = 0; x < W; ++x) Channel[size_t(x)] = Row[size_t(x) * 3 + size_t(c)];
        Packed.clear();
        AppendRunLength(Packed, Channel.data(), W);
        AppendASCII85(Data, Packed.data(), Int64(Packed.size()));
      }
      if (!Step.Next()) return;
    }
    for (const char* Name : {"rstr", "gstr", "bstr"}) Lines.push_back("/" + AnsiString(Name) + " " + Str(W) + " string def");
    for (const char* Name : {"rstr", "gstr", "bstr"})
      Lines.push_back("{currentfile /ASCII85Decode filter /RunLengthDecode filter " + AnsiString(Name) +
                      " readstring pop}");
    Lines.push_back("true 3");
    Operator = "colorimage";
  }

  Integer FitW = 1, FitH = 1;
  IEFitSizeInBox(W, H, PaperWidth, PaperHeight, FitW, FitH);
  IEStreamWriteCRLFLine(Stream, "%%Page: " + Str(PageNumber) + " " + Str(PageNumber));
  IEStreamWriteCRLFLine(Stream, "0 " + Str(PaperHeight) + " translate");
  IEStreamWriteCRLFLine(Stream, Str(FitW) + " -" + Str(FitH) + " scale");
  IEStreamWriteCRLFLine(Stream, Str(W) + " " + Str(H) + " " + (Mono ? "1" : "8"));
  IEStreamWriteCRLFLine(Stream, "[ " + Str(W) + " 0 0 " + Str(H) + " 0 0 ]");
  for (const AnsiString& Line : Lines) IEStreamWriteCRLFLine(Stream, Line);
  // The count covers every byte between this line and "%%EndData" (the operator line, the line
  // breaks and the end codes included), so that a reader that skips the data by it lands on
  // "%%EndData".
  const Int64 Count = Int64(Operator.size()) + 2 + Int64(Data.size());
  IEStreamWriteCRLFLine(Stream, "%%BeginData:      " + Str(Count) + " ASCII Bytes");
  IEStreamWriteCRLFLine(Stream, Operator);
  IEStreamWriteString(Stream, Data);
  IEStreamWriteCRLFLine(Stream, "%%EndData");
  IEStreamWriteCRLFLine(Stream, "showpage");
}
