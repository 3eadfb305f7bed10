#include "imaging/io/ie_preview_params_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <span>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_palette_dialog.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/application.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// The TIFF compression list without its LZW line, and the value of each line.
constexpr Integer kCompressionValues[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};

// Bits and samples per colour choice, as (bits, samples); index by the list position.
struct TGeometry {
  Integer Bits, Samples;
};
constexpr TGeometry kTiffColors[] = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
constexpr TGeometry kTiffSimpleColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TGeometry kBmpColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}, {8, 3}};
constexpr TGeometry kPcxColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TGeometry kThreeColors[] = {{1, 1}, {8, 1}, {8, 3}};
constexpr TGeometry kJ2000Colors[] = {{8, 1}, {8, 3}, {8, 3}};

template <size_t N>
TGeometry GeometryOf(const TGeometry (&Table)[N], Integer Choice) {
  return Table[std::clamp<Integer>(Choice, 0, Integer(N) - 1)];
}

// TIFF photometric list positions.
enum : Integer { phWhiteIsZero, phBlackIsZero, phRGB, phPalette, phMask, phCMYK, phYCbCr, phCIELab };

TColor ColorOf(const TRGB& C) { return TColor(C.r) | TColor(C.g) << 8 | TColor(C.b) << 16; }

AnsiString Bytes(Int64 Size) { return IntToStr(Size) + " bytes"; }

// The list's position, or Keep when nothing is selected: a list that shows no choice leaves
// the value it stands for as it was.
Integer ChoiceOr(TComboBox* List, Integer Keep) {
  const Integer I = List->ItemIndex();
  return I < 0 ? Keep : I;
}

Integer ListIndex(Integer Value, Integer Count) { return Value >= 0 && Value < Count ? Value : -1; }

void DropColorMap(TIOParamsVals& P) {
  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
}

}  // namespace

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  BuildControls();
  OnActivate = [this](TObject* S) { FormActivate(S); };
  FormCreate(this);
}

TfIOPreviews::~TfIOPreviews() = default;

void TfIOPreviews::FormCreate(TObject*) {
  Activated = false;
  DitherMethod = 1;
  for (TZodivErView* View : {ZodivEr1, ZodivEr2}) {
    TFont* F = View->IOComponent()->PreviewFont();
    F->SetName("DejaVu Sans");
    F->SetHeight(-11);
  }
  PaletteCancelCaption = AnsiToWide("&Cancel");
  Button4->SetEnabled(false);
}

bool TfIOPreviews::LZWAvailable() { return IEGlobalTiffLZWCompress != nullptr; }

Integer TfIOPreviews::CompressionToIndex(Integer Compression) const {
  const bool LZW = LZWAvailable();
  // Lines after LZW move up by one when it is missing.
  const Integer Shift = LZW ? 0 : 1;
  switch (Compression) {
    case 0: case 1: case 2: case 3: case 4: return Compression;
    case 5: return LZW ? 5 : 7 - Shift;
    case 7: return 6 - Shift;
    case 8: return 7 - Shift;
    case 9: return 8 - Shift;
    default: return 0;
  }
}

Integer TfIOPreviews::IndexToCompression(Integer Index) const {
  if (Index < 0) return 0;
  if (!LZWAvailable() && Index >= 5) ++Index;
  return Index < Integer(std::size(kCompressionValues)) ? kCompressionValues[Index] : 0;
}

bool TfIOPreviews::SetPages(TPreviewParams APages) {
  Pages = APages;
  if (Pages & IEPreviewPage(ppAUTO)) {
    switch (IOParams ? IOParams->FileType : 0) {
      case ioTIFF: Pages |= IEPreviewPage(ppTIFF); break;
      case ioGIF: Pages |= IEPreviewPage(ppGIF); break;
      case ioJPEG: Pages |= IEPreviewPage(ppJPEG); break;
      case ioPCX: Pages |= IEPreviewPage(ppPCX); break;
      case ioBMP: Pages |= IEPreviewPage(ppBMP); break;
      case ioPNG: Pages |= IEPreviewPage(ppPNG); break;
      case ioTGA: Pages |= IEPreviewPage(ppTGA); break;
      case ioJP2: case ioJ2K: Pages |= IEPreviewPage(ppJ2000); break;
      default: break;
    }
  }
  return Pages != IEPreviewPage(ppAUTO);
}

TfIOPreviews::TPageKind TfIOPreviews::KindOf(TTabSheet* Sheet) const {
  if (Sheet == TabSheetJPEG1 || Sheet == TabSheetJPEG2) return TPageKind::JPEG;
  if (Sheet == TabSheetTIFF1 || Sheet == TabSheetTIFF2) return TPageKind::TIFF;
  if (Sheet == TabSheetGIF1 || Sheet == TabSheetGIF2) return TPageKind::GIF;
  if (Sheet == TabSheetBMP1) return TPageKind::BMP;
  if (Sheet == TabSheetPCX1) return TPageKind::PCX;
  if (Sheet == TabSheetPNG1) return TPageKind::PNG;
  if (Sheet == TabSheetTGA1) return TPageKind::TGA;
  if (Sheet == TabSheetJ20001) return TPageKind::J2000;
  return TPageKind::None;
}

TfIOPreviews::TPageKind TfIOPreviews::ActiveKind() const { return KindOf(PageControl1->ActivePage()); }

void TfIOPreviews::FormActivate(TObject*) {
  // Activation comes again whenever the window is returned to (after a colour picker, or from
  // another window); setting up again would reload the working copy and throw away what the
  // user has entered since.
  if (Activated) return;
  ControlsReady = true;
  chkLockPreview->SetChecked(DefaultLockPreview);
  Button3->SetEnabled(!chkLockPreview->Checked());
  PageControl1->SetVisible(false);
  for (Integer I = 0; I < PageControl1->PageCount(); ++I) PageControl1->Pages(I)->SetTabVisible(false);
  TIEFileFormatInfo* Row = IOParams ? IEFileFormatGetInfo(IOParams->FileType) : nullptr;
  struct TOrdered {
    TTabSheet* Sheet;
    TPreviewParam Bit;
  };
  const std::vector<TOrdered> Order =
      Simplified ? std::vector<TOrdered>{{TabSheetJPEG2, ppJPEG}, {TabSheetTIFF2, ppTIFF}, {TabSheetGIF2, ppGIF},
                                         {TabSheetBMP1, ppBMP},   {TabSheetPCX1, ppPCX},   {TabSheetPNG1, ppPNG},
                                         {TabSheetTGA1, ppTGA},   {TabSheetJ20001, ppJ2000}}
                 : std::vector<TOrdered>{{TabSheetJPEG1, ppJPEG}, {TabSheetTIFF1, ppTIFF}, {TabSheetGIF1, ppGIF},
                                         {TabSheetBMP1, ppBMP},   {TabSheetPCX1, ppPCX},   {TabSheetPNG1, ppPNG},
                                         {TabSheetTGA1, ppTGA},   {TabSheetJ20001, ppJ2000}};
  if (Simplified) ShowSimplifiedLayout();
  for (const TOrdered& O : Order) {
    const TPreviewParams Bit = IEPreviewPage(O.Bit);
    O.Sheet->SetTabVisible((Pages & IEPreviewPage(ppALL)) || (Pages & Bit));
    if (Row && (Row->DialogPage & Bit) && O.Sheet->TabVisible()) PageControl1->SetActivePage(O.Sheet);
  }
  // A page whose tab is hidden (the other variant's, or one the pages leave out) is never the
  // one shown: without a page of the image's own type, the first tab is.
  if (!PageControl1->ActivePage() || !PageControl1->ActivePage()->TabVisible()) {
    for (const TOrdered& O : Order)
      if (O.Sheet->TabVisible()) {
        PageControl1->SetActivePage(O.Sheet);
        break;
      }
  }
  for (TComboBox* List : {ComboBox2, ComboBox16}) {
    List->Clear();
    for (const char* Item : {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"}) List->Items()->Add(Item);
    if (LZWAvailable()) List->Items()->Add("LZW");
    for (const char* Item : {"JPEG", "PACKBITS", "ZIP"}) List->Items()->Add(Item);
  }
  for (TZodivErView* View : {ZodivEr1, ZodivEr2}) View->SetChessboardLook(12, bsSolid);
  PageControl1->SetVisible(true);
  LoadWorkingCopy();
  ShowWorkingCopy();
  ZodivEr1->ZoomToFit();
  Application->ProcessMessages();
  PageControl1Change(PageControl1);
  Activated = true;
  UpdatePreview();
}

void TfIOPreviews::LoadWorkingCopy() {
  if (!IOParams) return;
  const TIOParamsVals& P = *IOParams;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  W.JpegQuality = P.JpegQuality;
  W.JpegColorSpace = P.JpegColorSpace;
  if (P.JpegDCTMethod <= 2) W.JpegDCTMethod = P.JpegDCTMethod;
  W.JpegOptimalHuffman = P.JpegOptimalHuffman;
  W.JpegSmooth = P.JpegSmooth;
  W.JpegProgressive = P.JpegProgressive;
  W.J2000Rate = P.J2000Rate;
  W.J2000ColorSpace = P.J2000ColorSpace;
  W.TiffLZWDecompress = P.TiffLZWDecompress;
  W.TiffLZWCompress = P.TiffLZWCompress;
  W.TiffCompression = P.TiffCompression;
  W.TiffImageIndex = P.TiffImageIndex;
  W.TiffPhotometInterpret = P.TiffPhotometInterpret;
  W.TiffXPos = P.TiffXPos;
  W.TiffYPos = P.TiffYPos;
  W.TiffDocumentName = P.TiffDocumentName;
  W.TiffImageDescription = P.TiffImageDescription;
  W.TiffPageName = P.TiffPageName;
  W.TiffPageNumber = P.TiffPageNumber;
  W.TiffPageCount = P.TiffPageCount;
  W.TiffBitsPerSample = P.BitsPerSample;
  W.TiffSamplesPerPixel = P.SamplesPerPixel;
  W.GifLZWDecompress = P.GifLZWDecompress;
  W.GifLZWCompress = P.GifLZWCompress;
  W.GifImageIndex = P.GifImageIndex;
  W.GifXPos = P.GifXPos;
  W.GifYPos = P.GifYPos;
  W.GifDelayTime = P.GifDelayTime;
  W.GifFlagTranspColor = P.GifFlagTranspColor;
  W.GifTranspColor = P.GifTranspColor;
  W.GifInterlaced = P.GifInterlaced;
  W.GifBackground = P.GifBackground;
  // A GIF holds 1 to 8 bits; a deeper image is offered the richest palette.
  W.GifBitsPerSample = std::clamp<Integer>(P.BitsPerSample, 1, 8);
  W.BmpCompression = P.BmpCompression;
  W.PcxCompression = P.PcxCompression;
  W.PngInterlaced = P.PngInterlaced;
  W.PngBackground = P.PngBackground;
  W.PngFilter = P.PngFilter;
  W.PngCompression = P.PngCompression;
  W.TgaBackground = P.TgaBackground;
  W.TgaCompressed = P.TgaCompressed;
  W.TgaImageName = P.TgaImageName;
  W.TgaDescriptor = P.TgaDescriptor;
  const Integer Bits = P.BitsPerSample, Samples = P.SamplesPerPixel;
  if (Samples == 1) {
    if (Bits == 1) W.BmpColors = 0, W.PcxColors = 0;
    if (Bits == 4) W.BmpColors = 1, W.PcxColors = 1;
    if (Bits == 8) W.BmpColors = 2, W.PcxColors = 2;
  } else if (Samples == 3) {
    if (Bits == 5 || Bits == 8) W.BmpColors = 3;
    W.PcxColors = 3;
  }
  W.PngColors = W.TgaColors = Samples == 1 ? (Bits == 1 ? 0 : 1) : 2;
}

void TfIOPreviews::ShowWorkingCopy() {
  ControlsReady = false;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  TIEBitmap* Source = ZodivEr1->GetIEBitmap();
  const Int64 OriginalSize = Source ? Int64(Source->GetRowLen()) * Source->GetHeight() : 0;
  TTabSheet* Page = PageControl1->ActivePage();
  if (Page == TabSheetJPEG1) {
    Edit22->SetText(IntToStr(W.JpegQuality));
    TrackBar13->SetPosition(W.JpegQuality);
    ComboBox13->SetItemIndex(ListIndex(W.JpegColorSpace, 5));
    ComboBox1->SetItemIndex(ListIndex(W.JpegDCTMethod, 3));
    CheckBox2->SetChecked(W.JpegOptimalHuffman);
    CheckBox3->SetChecked(W.JpegProgressive);
    Edit23->SetText(IntToStr(W.JpegSmooth));
  } else if (Page == TabSheetJPEG2) {
    Edit16->SetText(IntToStr(W.JpegQuality));
    TrackBar2->SetPosition(W.JpegQuality);
  } else if (Page == TabSheetJ20001) {
    const Integer Rate = SafeRound<Integer>(W.J2000Rate * 1000);
    Edit15->SetText(IntToStr(Rate));
    TrackBar1->SetPosition(Rate);
    ComboBox15->SetItemIndex(ListIndex(W.J2000ColorSpace, 3));
  } else if (Page == TabSheetTIFF1) {
    const Integer Bits = W.TiffBitsPerSample, Samples = W.TiffSamplesPerPixel;
    if (Samples == 1) {
      if (Bits == 1) ComboBox4->SetItemIndex(0);
      if (Bits >= 2 && Bits <= 4) ComboBox4->SetItemIndex(1);
      if (Bits >= 5 && Bits <= 8) ComboBox4->SetItemIndex(2);
      if (Bits == 16) ComboBox4->SetItemIndex(3);
    } else if (Samples == 3 && Bits == 8) {
      ComboBox4->SetItemIndex(4);
    }
    ComboBox2->SetItemIndex(CompressionToIndex(W.TiffCompression));
    Edit1->SetText(IntToStr(W.TiffImageIndex));
    ComboBox3->SetItemIndex(ListIndex(W.TiffPhotometInterpret, 8));
    switch (ComboBox3->ItemIndex()) {
      case phCMYK: case phYCbCr: case phCIELab: ComboBox4->SetItemIndex(4); break;
      case phWhiteIsZero: case phBlackIsZero: ComboBox4->SetItemIndex(W.TiffBitsPerSample == 1 ? 0 : 2); break;
      default:
        if (ComboBox4->ItemIndex() == 0) ComboBox4->SetItemIndex(4);
        break;
    }
    Edit4->SetText(W.TiffDocumentName);
    Edit5->SetText(W.TiffImageDescription);
    Edit6->SetText(W.TiffPageName);
    Edit7->SetText(IntToStr(W.TiffPageNumber));
    Edit8->SetText(IntToStr(W.TiffPageCount));
    Edit2->SetText(IntToStr(W.TiffXPos));
    Edit3->SetText(IntToStr(W.TiffYPos));
  } else if (Page == TabSheetTIFF2) {
    ComboBox16->SetItemIndex(CompressionToIndex(W.TiffCompression));
    if (W.TiffCompression >= 1 && W.TiffCompression <= 4) W.TiffBitsPerSample = 1, W.TiffSamplesPerPixel = 1;
    if (W.TiffCompression == 7) W.TiffBitsPerSample = 8, W.TiffSamplesPerPixel = 3;
    const Integer Bits = W.TiffBitsPerSample, Samples = W.TiffSamplesPerPixel;
    if (Samples == 1) {
      if (Bits == 1) ComboBox17->SetItemIndex(0);
      if (Bits >= 2 && Bits <= 4) ComboBox17->SetItemIndex(1);
      if (Bits >= 5 && Bits <= 8) ComboBox17->SetItemIndex(2);
    } else if (Samples == 3 && Bits == 8) {
      ComboBox17->SetItemIndex(3);
    }
  } else if (Page == TabSheetGIF1) {
    ComboBox5->SetItemIndex(W.GifBitsPerSample - 1);
    Edit9->SetText(IntToStr(W.GifImageIndex));
    CheckBox4->SetChecked(W.GifFlagTranspColor);
    Label34->SetEnabled(W.GifFlagTranspColor);
    Panel3->SetEnabled(W.GifFlagTranspColor);
    Panel3->SetColor(ColorOf(W.GifTranspColor));
    CheckBox5->SetChecked(W.GifInterlaced);
    Edit10->SetText(IntToStr(W.GifXPos));
    Edit11->SetText(IntToStr(W.GifYPos));
    Edit12->SetText(IntToStr(W.GifDelayTime));
    Panel4->SetColor(ColorOf(W.GifBackground));
  } else if (Page == TabSheetGIF2) {
    ComboBox18->SetItemIndex(W.GifBitsPerSample - 1);
  } else if (Page == TabSheetBMP1) {
    ComboBox6->SetItemIndex(ListIndex(W.BmpCompression, 2));
    ComboBox7->SetItemIndex(W.BmpColors);
  } else if (Page == TabSheetPCX1) {
    ComboBox8->SetItemIndex(ListIndex(W.PcxCompression, 2));
    ComboBox9->SetItemIndex(W.PcxColors);
  } else if (Page == TabSheetPNG1) {
    ComboBox10->SetItemIndex(W.PngColors);
    CheckBox6->SetChecked(W.PngInterlaced);
    Panel1->SetColor(ColorOf(W.PngBackground));
    ComboBox11->SetItemIndex(ListIndex(W.PngFilter, 3));
    ComboBox12->SetItemIndex(ListIndex(W.PngCompression, 10));
  } else if (Page == TabSheetTGA1) {
    ComboBox14->SetItemIndex(W.TgaColors);
    Panel5->SetColor(ColorOf(W.TgaBackground));
    CheckBox1->SetChecked(W.TgaCompressed);
    Edit13->SetText(W.TgaImageName);
    Edit14->SetText(W.TgaDescriptor);
  }
  if (Page) {
    if (TLabel* Value = SizeLabels(Page).OriginalValue) Value->SetCaption(Bytes(OriginalSize));
  }
  ControlsReady = true;
}

// --- page handlers ---------------------------------------------------------------------------

void TfIOPreviews::TrackBar13Change(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Smooth = StrToIntDef(Edit23->Text(), 0);
  const Integer Quality = TrackBar13->Position();
  const Byte Space = Byte(ChoiceOr(ComboBox13, W.JpegColorSpace));
  const Byte Method = Byte(ChoiceOr(ComboBox1, W.JpegDCTMethod));
  if (Quality == W.JpegQuality && Space == W.JpegColorSpace && Method == W.JpegDCTMethod &&
      CheckBox2->Checked() == W.JpegOptimalHuffman && Smooth == W.JpegSmooth &&
      CheckBox3->Checked() == W.JpegProgressive)
    return;
  W.JpegQuality = Quality;
  ControlsReady = false;
  Edit22->SetText(IntToStr(Quality));
  ControlsReady = true;
  W.JpegColorSpace = Space;
  W.JpegDCTMethod = Method;
  W.JpegOptimalHuffman = CheckBox2->Checked();
  W.JpegSmooth = Smooth;
  W.JpegProgressive = CheckBox3->Checked();
  if (chkLockPreview->Checked()) UpdatePreview();
  EnableApply();
}

void TfIOPreviews::Edit22Change(TObject*) {
  if (!ControlsReady) return;
  const Integer Quality = StrToIntDef(Edit22->Text(), 50);
  const Integer Smooth = StrToIntDef(Edit23->Text(), 0);
  if (Quality != WorkingCopy.JpegQuality || Smooth != WorkingCopy.JpegSmooth) {
    TrackBar13->SetPosition(Quality);
    TrackBar13Change(TrackBar13);
  }
  EnableApply();
}

void TfIOPreviews::TrackBar2Change(TObject*) {
  if (!ControlsReady) return;
  const Integer Quality = TrackBar2->Position();
  if (Quality == WorkingCopy.JpegQuality) return;
  WorkingCopy.JpegQuality = Quality;
  ControlsReady = false;
  Edit16->SetText(IntToStr(Quality));
  ControlsReady = true;
  if (chkLockPreview->Checked()) UpdatePreview();
  EnableApply();
}

void TfIOPreviews::Edit16Change(TObject*) {
  if (!ControlsReady) return;
  const Integer Quality = StrToIntDef(Edit16->Text(), 50);
  if (Quality != WorkingCopy.JpegQuality) {
    TrackBar2->SetPosition(Quality);
    TrackBar2Change(TrackBar2);
  }
  EnableApply();
}

void TfIOPreviews::TrackBar1Change(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Byte Space = Byte(ChoiceOr(ComboBox15, W.J2000ColorSpace));
  if (SafeRound<Integer>(W.J2000Rate * 1000) == TrackBar1->Position() && Space == W.J2000ColorSpace) return;
  W.J2000Rate = TrackBar1->Position() / 1000.0;
  W.J2000ColorSpace = Space;
  ControlsReady = false;
  Edit15->SetText(IntToStr(SafeRound<Integer>(W.J2000Rate * 1000)));
  ControlsReady = true;
  if (chkLockPreview->Checked()) UpdatePreview();
  EnableApply();
}

void TfIOPreviews::Edit15Change(TObject*) {
  if (!ControlsReady) return;
  const double Rate = StrToIntDef(Edit15->Text(), 1000) / 1000.0;
  if (Rate != WorkingCopy.J2000Rate) {
    TrackBar1->SetPosition(SafeTrunc<Integer>(Rate * 1000));
    TrackBar1Change(TrackBar1);
  }
  EnableApply();
}

void TfIOPreviews::ComboBox2Click(TObject* Sender) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  ControlsReady = false;
  const Integer Photometric = ComboBox3->ItemIndex();
  if (Sender == ComboBox3) {
    switch (Photometric) {
      case phWhiteIsZero: case phBlackIsZero:
        if (ComboBox4->ItemIndex() != 0) ComboBox4->SetItemIndex(2);
        break;
      case phRGB: case phCMYK: case phYCbCr: case phCIELab: ComboBox4->SetItemIndex(4); break;
      case phPalette: ComboBox4->SetItemIndex(2); break;
      default: break;
    }
  } else if (Sender == ComboBox4) {
    switch (ComboBox4->ItemIndex()) {
      case 0:
        if (Photometric != phWhiteIsZero && Photometric != phBlackIsZero && Photometric >= 0)
          ComboBox3->SetItemIndex(phBlackIsZero);
        break;
      case 1: ComboBox3->SetItemIndex(phPalette); break;
      case 2:
        if (Photometric == phRGB || Photometric == phMask || Photometric >= phCMYK) ComboBox3->SetItemIndex(phPalette);
        break;
      default: break;
    }
  }
  ControlsReady = true;
  const Byte Compression = Byte(ComboBox2->ItemIndex() < 0 ? W.TiffCompression
                                                           : IndexToCompression(ComboBox2->ItemIndex()));
  const Byte NewPhotometric = Byte(ChoiceOr(ComboBox3, W.TiffPhotometInterpret));
  // A colours list without a choice (a geometry it cannot show) keeps the geometry.
  TGeometry G{W.TiffBitsPerSample, W.TiffSamplesPerPixel};
  if (ComboBox3->ItemIndex() == phCMYK)
    G = {8, 4};
  else if (ComboBox4->ItemIndex() >= 0)
    G = GeometryOf(kTiffColors, ComboBox4->ItemIndex());
  if (Compression != W.TiffCompression || NewPhotometric != W.TiffPhotometInterpret ||
      G.Bits != W.TiffBitsPerSample || G.Samples != W.TiffSamplesPerPixel) {
    W.TiffCompression = Compression;
    W.TiffPhotometInterpret = NewPhotometric;
    W.TiffBitsPerSample = G.Bits;
    W.TiffSamplesPerPixel = G.Samples;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  W.TiffImageIndex = StrToIntDef(Edit1->Text(), 0);
  W.TiffXPos = StrToIntDef(Edit2->Text(), 0);
  W.TiffYPos = StrToIntDef(Edit3->Text(), 0);
  W.TiffDocumentName = Edit4->Text();
  W.TiffImageDescription = Edit5->Text();
  W.TiffPageName = Edit6->Text();
  W.TiffPageNumber = StrToIntDef(Edit7->Text(), 0);
  W.TiffPageCount = StrToIntDef(Edit8->Text(), 0);
  EnableApply();
}

void TfIOPreviews::ComboBox16Change(TObject* Sender) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  Integer Compression = W.TiffCompression, Photometric = W.TiffPhotometInterpret;
  TGeometry G{W.TiffBitsPerSample, W.TiffSamplesPerPixel};
  ControlsReady = false;
  if (Sender == ComboBox16) {
    if (ComboBox16->ItemIndex() >= 0) Compression = IndexToCompression(ComboBox16->ItemIndex());
    if (Compression >= 1 && Compression <= 4) {
      Photometric = phBlackIsZero;
      G = {1, 1};
      ComboBox17->SetItemIndex(0);
    } else if (Compression == 7) {
      Photometric = phYCbCr;
      G = {8, 3};
      ComboBox17->SetItemIndex(3);
    }
  } else {
    if (ComboBox17->ItemIndex() >= 0) G = GeometryOf(kTiffSimpleColors, ComboBox17->ItemIndex());
    if ((G.Bits > 1 && Compression <= 4) || (G.Bits != 8 && G.Samples != 3 && Compression == 7)) {
      Compression = 0;
      ComboBox16->SetItemIndex(0);
    }
    if (G.Bits == 16 && G.Samples == 1) Photometric = phBlackIsZero;
  }
  ControlsReady = true;
  if (Compression != W.TiffCompression || Photometric != W.TiffPhotometInterpret || G.Bits != W.TiffBitsPerSample ||
      G.Samples != W.TiffSamplesPerPixel) {
    W.TiffCompression = Byte(Compression);
    W.TiffPhotometInterpret = Byte(Photometric);
    W.TiffBitsPerSample = G.Bits;
    W.TiffSamplesPerPixel = G.Samples;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox5Click(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Bits = ChoiceOr(ComboBox5, W.GifBitsPerSample - 1) + 1;
  if (Bits != W.GifBitsPerSample || CheckBox5->Checked() != W.GifInterlaced) {
    W.GifBitsPerSample = Bits;
    W.GifInterlaced = CheckBox5->Checked();
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  W.GifImageIndex = StrToIntDef(Edit9->Text(), 0);
  W.GifXPos = StrToIntDef(Edit10->Text(), 0);
  W.GifYPos = StrToIntDef(Edit11->Text(), 0);
  W.GifDelayTime = StrToIntDef(Edit12->Text(), 0);
  W.GifFlagTranspColor = CheckBox4->Checked();
  Label34->SetEnabled(W.GifFlagTranspColor);
  Panel3->SetEnabled(W.GifFlagTranspColor);
  W.GifInterlaced = CheckBox5->Checked();
  EnableApply();
}

void TfIOPreviews::ComboBox18Change(TObject*) {
  if (!ControlsReady) return;
  const Integer Bits = ChoiceOr(ComboBox18, WorkingCopy.GifBitsPerSample - 1) + 1;
  if (Bits != WorkingCopy.GifBitsPerSample) {
    WorkingCopy.GifBitsPerSample = Bits;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox6Change(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Colors = ChoiceOr(ComboBox7, W.BmpColors);
  const Byte Compression = ComboBox6->ItemIndex() < 0 ? W.BmpCompression : Byte(ComboBox6->ItemIndex() != 0);
  if (Colors != W.BmpColors || Compression != W.BmpCompression) {
    W.BmpColors = Colors;
    W.BmpCompression = Compression;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox8Change(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Colors = ChoiceOr(ComboBox9, W.PcxColors);
  const Byte Compression = ComboBox8->ItemIndex() < 0 ? W.PcxCompression : Byte(ComboBox8->ItemIndex() != 0);
  if (Colors != W.PcxColors || Compression != W.PcxCompression) {
    W.PcxColors = Colors;
    W.PcxCompression = Compression;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox10Change(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Colors = ChoiceOr(ComboBox10, W.PngColors);
  const Byte Filter = Byte(ChoiceOr(ComboBox11, W.PngFilter));
  const Integer Compression = ChoiceOr(ComboBox12, W.PngCompression);
  if (Colors != W.PngColors || CheckBox6->Checked() != W.PngInterlaced || Filter != W.PngFilter ||
      Compression != W.PngCompression) {
    W.PngColors = Colors;
    W.PngInterlaced = CheckBox6->Checked();
    W.PngFilter = Filter;
    W.PngCompression = Compression;
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox14Click(TObject*) {
  if (!ControlsReady) return;
  TIEPreviewWorkingCopy& W = WorkingCopy;
  const Integer Colors = ChoiceOr(ComboBox14, W.TgaColors);
  if (Colors != W.TgaColors || CheckBox1->Checked() != W.TgaCompressed) {
    W.TgaColors = Colors;
    W.TgaCompressed = CheckBox1->Checked();
    if (chkLockPreview->Checked()) UpdatePreview();
  }
  W.TgaImageName = Edit13->Text();
  W.TgaDescriptor = Edit14->Text();
  EnableApply();
}

// --- colour pickers --------------------------------------------------------------------------

void TfIOPreviews::PickPanelColor(TPanel* Panel, bool FromPaletteOnly, TRGB& Target) {
  TIOParamsVals* Result = ZodivEr2->IOComponent()->IOParams();
  if (FromPaletteOnly && !Result->ColorMap) UpdatePreview();
  const Integer Held = Result->ColorMap ? std::max<Integer>(Result->ColorMapCount, 0) : 0;
  if (Held > 0) {
    // Never more entries than the colour map holds: the result's map may come from an earlier
    // preview of another page, with fewer colours than its bits stand for.
    const Int64 Wanted = FromPaletteOnly ? Int64(1) << std::clamp<Integer>(WorkingCopy.GifBitsPerSample, 1, 8)
                                         : Int64(IEColorCount(Result->BitsPerSample, Result->SamplesPerPixel));
    const Integer Count = Integer(std::clamp<Int64>(Wanted <= 0 ? Held : Wanted, 0, Held));
    auto Palette = std::make_unique<TZodivErPaletteDialog>(this);
    Palette->SetPalette(Result->ColorMap, Count);
    Palette->CancelButton()->SetCaption(WideToAnsi(PaletteCancelCaption));
    if (Palette->Execute()) Panel->SetColor(Palette->ChosenColor);
  } else if (!FromPaletteOnly) {
    if (ColorDialog1->Execute()) Panel->SetColor(ColorDialog1->Color());
  } else {
    return;
  }
  Target = IETColorToTRGB(Panel->Color());
  EnableApply();
}

void TfIOPreviews::Panel3Click(TObject*) {
  if (Panel3->Enabled()) PickPanelColor(Panel3, true, WorkingCopy.GifTranspColor);
}
void TfIOPreviews::Panel4Click(TObject*) { PickPanelColor(Panel4, true, WorkingCopy.GifBackground); }
void TfIOPreviews::Panel1Click(TObject*) { PickPanelColor(Panel1, false, WorkingCopy.PngBackground); }
void TfIOPreviews::Panel5Click(TObject*) { PickPanelColor(Panel5, false, WorkingCopy.TgaBackground); }

// --- the preview -----------------------------------------------------------------------------

void TfIOPreviews::CheckPreviewStep(TZodivErIO* IO, const char* Format, const char* Step) {
  if (!IO->Aborting) return;
  AnsiString Reason = IO->FailureReason();
  if (Reason.empty()) Reason = "the codec stopped before it finished";
  throw Exception(AnsiString("The ") + Format + " preview failed while " + Step + ": " + Reason);
}

void TfIOPreviews::SetCompressedSize(TPageKind Kind, Int64 Bytes_) {
  for (const auto& [Sheet, L] : FSizeLabels)
    if (KindOf(Sheet) == Kind) L.CompressedValue->SetCaption(Bytes_ < 0 ? AnsiString("---") : Bytes(Bytes_));
}

void TfIOPreviews::CopySourceToResult() {
  try {
    ZodivEr2->Assign(ZodivEr1);
  } catch (const std::exception&) {
    SetCaption("Result can not be shown but parameters may be entered");
  }
  ZodivEr2->IOComponent()->IOParams()->Assign(ZodivEr1->IOComponent()->IOParams());
}

void TfIOPreviews::ApplyPaletteRule() {
  TIOParamsVals* Result = ZodivEr2->IOComponent()->IOParams();
  // Counted wide: 16 bits in 3 samples would wrap a 32-bit count to 0.
  const Integer Bits = Result->BitsPerSample, Samples = Result->SamplesPerPixel;
  const bool Small = Bits >= 0 && Samples >= 0 && Int64(Bits) * Samples <= 8;
  DropColorMap(*Result);
  if (!Small) return;
  const Integer N = IEColorCount(Bits, Samples);
  Result->ColorMap = static_cast<TRGB*>(std::calloc(size_t(N), sizeof(TRGB)));
  if (!Result->ColorMap) throw EOutOfMemory("Out of memory");
  Result->ColorMapCount = N;
  ZodivEr2->ProcComponent()->ConvertToPalette(N, std::span<TRGB>(Result->ColorMap, size_t(N)), DitherMethod);
}

void TfIOPreviews::FollowSourceView() {
  ZodivEr2->SuspendPaint();
  ZodivEr2->SetZoom(ZodivEr1->Zoom());
  ZodivEr2->ScrollTo(ZodivEr1->ViewX(), ZodivEr1->ViewY());
  ZodivEr2->ResumePaint();
}

void TfIOPreviews::UpdatePreview() {
  if (!Activated) return;
  const TCursor OldCursor = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  TMemoryStream Memory;
  TNulStream Counter;
  TZodivErIO* SourceIO = ZodivEr1->IOComponent();
  TZodivErIO* ResultIO = ZodivEr2->IOComponent();
  TIOParamsVals& S = *SourceIO->IOParams();
  TIOParamsVals& R = *ResultIO->IOParams();
  const TIEPreviewWorkingCopy& W = WorkingCopy;
  try {
    SourceIO->SetDefaultDitherMethod(DitherMethod);
    ProgressOffset = 0;
    const TPageKind Kind = ActiveKind();
    // Until a step has measured it, no page claims a size.
    if (Kind != TPageKind::None) SetCompressedSize(Kind, -1);
    auto Reduce = [&](TGeometry G) {
      S.BitsPerSample = G.Bits;
      S.SamplesPerPixel = G.Samples;
    };
    switch (Kind) {
      case TPageKind::None: break;
      case TPageKind::JPEG:
        ProgressDivisor = 2;
        S.JpegQuality = W.JpegQuality;
        S.JpegColorSpace = W.JpegColorSpace;
        if (W.JpegDCTMethod <= 2) S.JpegDCTMethod = W.JpegDCTMethod;
        S.JpegOptimalHuffman = W.JpegOptimalHuffman;
        S.JpegSmooth = W.JpegSmooth;
        S.JpegProgressive = W.JpegProgressive;
        SourceIO->SaveToStreamJPEG(&Memory);
        CheckPreviewStep(SourceIO, "JPEG", "encoding");
        SetCompressedSize(Kind, Memory.Size());
        Memory.SetPosition(0);
        ProgressOffset = 50;
        ResultIO->LoadFromStreamJPEG(&Memory);
        CheckPreviewStep(ResultIO, "JPEG", "decoding");
        break;
      case TPageKind::J2000:
        ProgressDivisor = 2;
        S.J2000Rate = W.J2000Rate;
        S.J2000ColorSpace = Byte(ChoiceOr(ComboBox15, W.J2000ColorSpace));
        S.BitsPerSample = 8;
        S.SamplesPerPixel = 3;
        SourceIO->SaveToStreamJ2K(&Memory);
        CheckPreviewStep(SourceIO, "JPEG 2000", "encoding");
        SetCompressedSize(Kind, Memory.Size());
        Memory.SetPosition(0);
        ProgressOffset = 50;
        ResultIO->LoadFromStreamJ2K(&Memory);
        CheckPreviewStep(ResultIO, "JPEG 2000", "decoding");
        break;
      case TPageKind::TIFF: {
        ProgressDivisor = 1;
        S.TiffLZWDecompress = W.TiffLZWDecompress;
        S.TiffLZWCompress = W.TiffLZWCompress;
        S.TiffCompression = W.TiffCompression;
        S.TiffPhotometInterpret = W.TiffPhotometInterpret;
        Reduce({W.TiffBitsPerSample, W.TiffSamplesPerPixel});
        SourceIO->SaveToStreamTIFF(&Counter);
        CheckPreviewStep(SourceIO, "TIFF", "encoding");
        SetCompressedSize(Kind, Counter.Size());
        CopySourceToResult();
        const Integer Photometric = W.TiffPhotometInterpret;
        if ((Photometric == phWhiteIsZero || Photometric == phBlackIsZero) && R.BitsPerSample == 8 &&
            R.SamplesPerPixel == 1) {
          ZodivEr2->ProcComponent()->ConvertToGray();
          DropColorMap(R);
        } else if (Photometric <= phMask) {
          ApplyPaletteRule();
        }
        break;
      }
      case TPageKind::GIF:
        ProgressDivisor = 1;
        Reduce({W.GifBitsPerSample, 1});
        S.GifInterlaced = W.GifInterlaced;
        SourceIO->SaveToStreamGIF(&Counter);
        CheckPreviewStep(SourceIO, "GIF", "encoding");
        SetCompressedSize(Kind, Counter.Size());
        CopySourceToResult();
        ApplyPaletteRule();
        break;
      case TPageKind::BMP:
      case TPageKind::PCX: {
        ProgressDivisor = 1;
        const bool Bmp = Kind == TPageKind::BMP;
        if (Bmp) {
          S.BmpCompression = W.BmpCompression;
          Reduce(GeometryOf(kBmpColors, W.BmpColors));
          SourceIO->SaveToStreamBMP(&Counter);
        } else {
          S.PcxCompression = W.PcxCompression;
          Reduce(GeometryOf(kPcxColors, W.PcxColors));
          SourceIO->SaveToStreamPCX(&Counter);
        }
        CheckPreviewStep(SourceIO, Bmp ? "BMP" : "PCX", "encoding");
        SetCompressedSize(Kind, Counter.Size());
        CopySourceToResult();
        if (Int64(R.BitsPerSample) * R.SamplesPerPixel <= 8)
          ZodivEr2->ProcComponent()->ConvertTo(IEColorCount(R.BitsPerSample, R.SamplesPerPixel), DitherMethod);
        break;
      }
      case TPageKind::PNG:
        ProgressDivisor = 1;
        Reduce(GeometryOf(kThreeColors, W.PngColors));
        S.PngInterlaced = W.PngInterlaced;
        S.PngFilter = W.PngFilter;
        S.PngCompression = W.PngCompression;
        SourceIO->SaveToStreamPNG(&Counter);
        CheckPreviewStep(SourceIO, "PNG", "encoding");
        SetCompressedSize(Kind, Counter.Size());
        CopySourceToResult();
        ApplyPaletteRule();
        break;
      case TPageKind::TGA:
        ProgressDivisor = 1;
        Reduce(GeometryOf(kThreeColors, W.TgaColors));
        S.TgaCompressed = W.TgaCompressed;
        SourceIO->SaveToStreamTGA(&Counter);
        CheckPreviewStep(SourceIO, "TGA", "encoding");
        SetCompressedSize(Kind, Counter.Size());
        CopySourceToResult();
        ApplyPaletteRule();
        break;
    }
  } catch (...) {
    ProgressBar1->SetPosition(0);
    Screen->SetCursor(OldCursor);
    throw;
  }
  ProgressBar1->SetPosition(0);
  Screen->SetCursor(OldCursor);
  FollowSourceView();
}

void TfIOPreviews::ZodivEr1ViewChange(TObject*, Integer) { FollowSourceView(); }

void TfIOPreviews::ZodivEr1Progress(TObject*, Integer Percent) {
  ProgressBar1->SetPosition(Percent / std::max<Integer>(ProgressDivisor, 1) + ProgressOffset);
}

// --- page switch, buttons --------------------------------------------------------------------

void TfIOPreviews::PageControl1Changing(TObject*, bool&) { ControlsReady = false; }

void TfIOPreviews::PageControl1Change(TObject*) {
  ControlsReady = true;
  LoadWorkingCopy();
  ShowWorkingCopy();
  if (chkLockPreview->Checked()) UpdatePreview();
  Button4->SetEnabled(false);
}

void TfIOPreviews::SpeedButton1Click(TObject*) {
  if (chkLockPreview->Checked()) UpdatePreview();
  Button3->SetEnabled(!chkLockPreview->Checked());
}

void TfIOPreviews::Button3Click(TObject*) { UpdatePreview(); }

void TfIOPreviews::Button4Click(TObject* Sender) {
  Button1Click(Sender);
  Button4->SetEnabled(false);
}

void TfIOPreviews::Button1Click(TObject*) {
  if (!IOParams) return;
  TIOParamsVals& P = *IOParams;
  const TIEPreviewWorkingCopy& W = WorkingCopy;
  auto Geometry = [&P](TGeometry G) {
    P.BitsPerSample = G.Bits;
    P.SamplesPerPixel = G.Samples;
  };
  switch (ActiveKind()) {
    case TPageKind::None: return;
    case TPageKind::JPEG:
      P.JpegQuality = W.JpegQuality;
      P.JpegColorSpace = W.JpegColorSpace;
      if (W.JpegDCTMethod <= 2) P.JpegDCTMethod = W.JpegDCTMethod;
      P.JpegOptimalHuffman = W.JpegOptimalHuffman;
      P.JpegSmooth = W.JpegSmooth;
      P.JpegProgressive = W.JpegProgressive;
      P.FileType = ioJPEG;
      break;
    case TPageKind::TIFF:
      P.TiffCompression = W.TiffCompression;
      P.SetImageIndex(W.TiffImageIndex);
      P.TiffPhotometInterpret = W.TiffPhotometInterpret;
      P.TiffXPos = W.TiffXPos;
      P.TiffYPos = W.TiffYPos;
      P.TiffDocumentName = W.TiffDocumentName;
      P.TiffImageDescription = W.TiffImageDescription;
      P.TiffPageName = W.TiffPageName;
      P.TiffPageNumber = W.TiffPageNumber;
      P.TiffPageCount = W.TiffPageCount;
      Geometry({W.TiffBitsPerSample, W.TiffSamplesPerPixel});
      P.FileType = ioTIFF;
      break;
    case TPageKind::GIF:
      P.SetImageIndex(W.GifImageIndex);
      P.GifXPos = W.GifXPos;
      P.GifYPos = W.GifYPos;
      P.GifDelayTime = W.GifDelayTime;
      P.GifFlagTranspColor = W.GifFlagTranspColor;
      P.GifTranspColor = W.GifTranspColor;
      P.GifInterlaced = W.GifInterlaced;
      P.GifBackground = W.GifBackground;
      P.BitsPerSample = W.GifBitsPerSample;
      P.FileType = ioGIF;
      break;
    case TPageKind::BMP:
      P.BmpCompression = W.BmpCompression;
      Geometry(GeometryOf(kBmpColors, W.BmpColors));
      P.FileType = ioBMP;
      break;
    case TPageKind::PCX:
      P.PcxCompression = W.PcxCompression;
      Geometry(GeometryOf(kPcxColors, W.PcxColors));
      P.FileType = ioPCX;
      break;
    case TPageKind::PNG:
      Geometry(GeometryOf(kThreeColors, W.PngColors));
      P.PngBackground = W.PngBackground;
      P.PngInterlaced = W.PngInterlaced;
      P.PngFilter = W.PngFilter;
      P.PngCompression = W.PngCompression;
      P.FileType = ioPNG;
      break;
    case TPageKind::TGA:
      Geometry(GeometryOf(kThreeColors, W.TgaColors));
      P.TgaBackground = W.TgaBackground;
      P.TgaCompressed = W.TgaCompressed;
      P.TgaImageName = W.TgaImageName;
      P.TgaDescriptor = W.TgaDescriptor;
      P.FileType = ioTGA;
      break;
    case TPageKind::J2000: {
      const Integer Choice = ChoiceOr(ComboBox15, W.J2000ColorSpace);
      Geometry(GeometryOf(kJ2000Colors, Choice));
      P.J2000ColorSpace = Byte(std::clamp<Integer>(Choice, 0, 2));
      P.J2000Rate = W.J2000Rate;
      P.FileType = ioJ2K;
      break;
    }
  }
}

// --- opening ---------------------------------------------------------------------------------

bool IEExecutePreviewsDialog(TZodivErIO* IO, TPreviewParams Pages) {
  if (!IO->MakeConsistentBitmap(0)) return false;
  TIEBitmap* Image = IO->IEBitmap();
  if (Image->GetPixelFormat() != ie24RGB && Image->GetPixelFormat() != ie1g) Image->SetPixelFormat(ie24RGB);
  auto Dialog = std::make_unique<TfIOPreviews>(IO);
  Dialog->DefaultLockPreview = IO->PreviewsParams & (1u << ioppDefaultLockPreview);
  Dialog->Button4->SetVisible(IO->PreviewsParams & (1u << ioppApplyButton));
  Dialog->IOParams = IO->IOParams();
  Dialog->Simplified = IO->SimplifiedParamsDialogs;
  if (Dialog->Simplified) {
    Dialog->PageControl1->SetHeight(Integer(Screen->PixelsPerInch() * 1.2708333333333333));
    Dialog->SetHeight(Integer(Screen->PixelsPerInch() * 3.75));
  }
  Dialog->DitherMethod = IO->DefaultDitherMethod();
  Dialog->SetLanguage(IO->MsgLanguage);
  Dialog->Font()->Assign(IO->PreviewFont());
  Dialog->ZodivEr1->AttachBitmap(Image);
  Dialog->ZodivEr1->Update();
  Dialog->ZodivEr2->ClearImage();
  bool Answer = false;
  try {
    if (Dialog->SetPages(Pages)) {
      if (IO->OnIOPreview) IO->OnIOPreview(IO, Dialog.get());
      Answer = Dialog->ShowModal() == mrOk;
    }
  } catch (...) {
    Dialog->ZodivEr1->AttachBitmap(nullptr);
    throw;
  }
  Dialog->ZodivEr1->AttachBitmap(nullptr);
  Dialog.reset();
  IO->Update();
  return Answer;
}
