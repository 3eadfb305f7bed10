#include "imaging/formats/pdf/ie_pdf.h"

#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/ie_encoders.h"
#include "imaging/core/ie_geometry.h"
#include "imaging/formats/compression/ie_ccitt_image.h"
#include "imaging/formats/ie_mono_or_colour.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

AnsiString Str(Int64 Value) { return std::to_string(Value); }

TIEPDFNumericObject* Num(double Value) { return new TIEPDFNumericObject(Value); }
TIEPDFNameObject* Name(const AnsiString& Text) { return new TIEPDFNameObject(Text); }

// Rows of the image, each handed over as it is stored (or with red and blue exchanged for
// colour, giving red, green, blue), with the progress after each.
template <class TRowSink>
bool ForEachRow(TIEBitmap* Image, Integer RowBytes, bool SwapRB, TIECodecProgress& Progress, TRowSink Sink) {
  const Integer H = Image->GetHeight(), W = Image->GetWidth();
  std::vector<Byte> Row(static_cast<size_t>(RowBytes));
  TIERowStepper Step(Progress, H);
  for (Integer y = 0; y < H; ++y) {
    std::memcpy(Row.data(), Image->GetScanline(y), Row.size());
    if (SwapRB)
      for (Integer x = 0; x < W; ++x) std::swap(Row[size_t(x) * 3], Row[size_t(x) * 3 + 2]);
    Sink(Row.data(), RowBytes);
    if (!Step.Next()) return false;
  }
  return true;
}

// The rows through the TIFF LZW coder, whose codes widen one code early as LZWDecode expects
// by default. False when the caller stopped it.
bool LZWRows(TIEBitmap* Image, Integer RowBytes, bool SwapRB, TIETiffLZWCompressProc Coder,
             TIECodecProgress& Progress, std::vector<Byte>& Out) {
  TMemoryStream Coded;
  void* State = nullptr;
  const bool Done = ForEachRow(Image, RowBytes, SwapRB, Progress,
                               [&](const Byte* Row, Integer Count) { Coder(Row, Count, &Coded, State); });
  Coder(nullptr, 0, &Coded, State);  // ends the code stream and frees the coder
  if (!Done) return false;
  const Byte* p = static_cast<const Byte*>(Coded.Memory());
  Out.assign(p, p + Coded.Size());
  return true;
}

}  // namespace

TIEPDFDocument::~TIEPDFDocument() {
  for (TIEPDFObject* Obj : Objects) delete Obj;
}

TIEPDFDocument* PDFCreateDocument() {
  auto Doc = std::make_unique<TIEPDFDocument>();
  Doc->Catalog = IEPDFCreateCatalog(Doc->Objects);
  auto* Resources = new TIEPDFDictionaryObject;
  Resources->Shared = true;
  auto* ProcSet = new TIEPDFArrayObject;
  ProcSet->Add(Name("PDF"));
  ProcSet->Add(Name("ImageB"));
  Resources->AddItem("ProcSet", ProcSet);
  Resources->AddItem("XObject", new TIEPDFDictionaryObject);
  IEPDFAddObject(Doc->Objects, Resources);
  Doc->Resources = Resources;
  return Doc.release();
}

void PDFAddPage(TIEPDFDocument* Handle, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  if (!Handle) return IEFail(Progress, "no PDF document is open");
  const Integer W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return IEFail(Progress, "an empty image cannot be written as a PDF page");
  std::unique_ptr<TIEBitmap> Converted;
  TIEBitmap* Image = IEMonoOrColourImage(Bitmap, Converted);
  const bool Mono = Image->GetPixelFormat() == ie1g;
  IOParams.BitsPerSample = Mono ? 1 : 8;
  IOParams.SamplesPerPixel = Mono ? 1 : 3;
  Integer Compression = IOParams.PdfCompression;
  if (Compression > 5) Compression = 0;
  TIETiffLZWCompressProc LZW = IETiffLZWCompressOf(IOParams);
  if (Compression == 5 && !LZW) Compression = 0;

  auto Image_ = std::make_unique<TIEPDFStreamObject>();
  TIEPDFDictionaryObject* Dict = Image_->Dictionary;
  std::vector<Byte>& Data = Image_->Data;
  const Integer RowBytes = Mono ? (W + 7) / 8 : W * 3;
  auto Gather = [&](bool SwapRB) {
    Data.reserve(size_t(RowBytes) * size_t(H));
    return ForEachRow(Image, RowBytes, SwapRB, Progress,
                      [&](const Byte* Row, Integer Count) { Data.insert(Data.end(), Row, Row + Count); });
  };
  if (Mono) {
    if (Compression == 4) Compression = 3;
    switch (Compression) {
      case 1: {
        if (!Gather(false)) return;
        std::vector<Byte> Rows;
        Rows.swap(Data);
        // The encoder takes a 32-bit count (and its output may be half as long again).
        if (Rows.size() > size_t(0x7FFFFFFF) / 3) return IEFail(Progress, "the image is too large for run-length PDF pages");
        Data.resize(Rows.size() * 3 / 2 + 2);
        Data.resize(size_t(IEEncodeRunLength(Rows.data(), Integer(Rows.size()), Data.data())));
        auto* Filter = new TIEPDFArrayObject;
        Filter->Add(Name("RunLengthDecode"));
        Dict->AddItem("Filter", Filter);
        break;
      }
      case 2:
      case 3: {
        const Integer K = Compression == 2 ? -1 : 1;
        if (!IEEncodeCCITTImage(Image, K, Data, Progress)) return;
        Dict->AddItem("Filter", Name("CCITTFaxDecode"));
        auto* Parms = new TIEPDFDictionaryObject;
        Parms->AddItem("K", Num(K));
        Parms->AddItem("BlackIs1", new TIEPDFBooleanObject(true));
        Parms->AddItem("Columns", Num(W));
        Parms->AddItem("Rows", Num(H));
        Parms->AddItem("EndOfLine", new TIEPDFBooleanObject(false));
        Parms->AddItem("Uncompressed", new TIEPDFBooleanObject(true));
        Parms->AddItem("EncodedByteAlign", new TIEPDFBooleanObject(false));
        Parms->AddItem("EndOfBlock", new TIEPDFBooleanObject(false));
        Dict->AddItem("DecodeParms", Parms);
        break;
      }
      case 5:
        if (!LZWRows(Image, RowBytes, false, LZW, Progress, Data)) return;
        Dict->AddItem("Filter", Name("LZWDecode"));
        break;
      default:
        if (!Gather(false)) return;
        break;
    }
    Dict->AddItem("ColorSpace", Name("DeviceGray"));
    Dict->AddItem("BitsPerComponent", Num(1));
  } else {
    AnsiString Space = "DeviceRGB";
    if (Compression == 5) {
      if (!LZWRows(Image, RowBytes, true, LZW, Progress, Data)) return;
      Dict->AddItem("Filter", Name("LZWDecode"));
    } else if (Compression == 4) {
      // The colour space named must match the components the JPEG stream has: a CMYK setting
      // left in the record (by loading a CMYK JPEG) is written as a colour JPEG instead.
      const Byte Saved = IOParams.JpegColorSpace;
      if (Saved > 2) IOParams.JpegColorSpace = 2;
      if (IOParams.JpegColorSpace == 1) Space = "DeviceGray";
      TMemoryStream Jpeg;
      try {
        WriteJPEGStream(&Jpeg, Image, IOParams, Progress);
      } catch (...) {
        IOParams.JpegColorSpace = Saved;
        throw;
      }
      IOParams.JpegColorSpace = Saved;
      if (IEAborting(Progress)) return;
      const Byte* p = static_cast<const Byte*>(Jpeg.Memory());
      Data.assign(p, p + Jpeg.Size());
      Dict->AddItem("Filter", Name("DCTDecode"));
    } else {
      if (!Gather(true)) return;
    }
    Dict->AddItem("ColorSpace", Name(Space));
    Dict->AddItem("BitsPerComponent", Num(8));
  }
  Dict->Items.insert(Dict->Items.begin(), {{"Type", Name("XObject")}, {"Subtype", Name("Image")}});
  Dict->AddItem("Width", Num(W));
  Dict->AddItem("Height", Num(H));

  TIEPDFStreamObject* ImageObj = Image_.release();
  IEPDFAddObject(Handle->Objects, ImageObj);
  Handle->Images.push_back(ImageObj);
  const size_t n = Handle->Images.size();

  const Integer PaperW = IOParams.PdfPaperWidth, PaperH = IOParams.PdfPaperHeight;
  Integer FitW = 1, FitH = 1;
  IEFitSizeInBox(W, H, PaperW, PaperH, FitW, FitH);
  const AnsiString Text = "q\n" + Str(FitW) + " 0 0 " + Str(FitH) + " 0 " + Str(Int64(PaperH) - FitH) + " cm\n/lm" +
                          Str(Int64(n)) + " Do\nQ";
  auto* Content = new TIEPDFStreamObject(Text.data(), Integer(Text.size()));
  IEPDFAddObject(Handle->Objects, Content);
  Handle->Contents.push_back(Content);

  auto* XObject = static_cast<TIEPDFDictionaryObject*>(Handle->Resources->GetItem("XObject"));
  XObject->AddItem("lm" + Str(Int64(n)), new TIEPDFRefObject(ImageObj->ObjectNumber, 0));

  auto* MediaBox = new TIEPDFArrayObject;
  for (Integer v : {0, 0, PaperW, PaperH}) MediaBox->Add(Num(v));
  IEPDFCreatePage(Handle->Objects, Handle->Pages, Handle->Resources, MediaBox, Content->ObjectNumber);
}

void PDFSaveDocument(TIEPDFDocument* Handle, TStream* Stream, TIOParamsVals& IOParams) {
  if (!Handle) return;
  std::unique_ptr<TIEPDFDocument> Doc(Handle);
  IEPDFCreatePages(Doc->Objects, Doc->Pages);
  auto* Info = new TIEPDFDictionaryObject;
  const std::pair<const char*, const AnsiString*> Texts[] = {
      {"Title", &IOParams.PdfTitle},     {"Author", &IOParams.PdfAuthor},   {"Subject", &IOParams.PdfSubject},
      {"Keywords", &IOParams.PdfKeywords}, {"Creator", &IOParams.PdfCreator}, {"Producer", &IOParams.PdfProducer}};
  for (const auto& [Key, Value] : Texts)
    if (!Value->empty()) Info->AddItem(Key, new TIEPDFStringObject(*Value));
  Info->AddItem("CreationDate", new TIEPDFStringObject("D:" + FormatDateTime("yyyymmddhhnnss", Now())));
  IEPDFAddObject(Doc->Objects, Info);
  IEPDFWriteHeader(Stream);
  IEPDFWriteObjects(Stream, Doc->Objects);
  IEPDFWriteXRefAndTrailer(Stream, Doc->Objects, Info);
}

void WritePDFStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  std::unique_ptr<TIEPDFDocument> Doc(PDFCreateDocument());
  PDFAddPage(Doc.get(), Bitmap, IOParams, Progress);
  if (IEAborting(Progress)) return;
  try {
    PDFSaveDocument(Doc.release(), Stream, IOParams);
  } catch (const EWriteError&) {
    IEFail(Progress, "the PDF document could not be written completely");
  }
}
