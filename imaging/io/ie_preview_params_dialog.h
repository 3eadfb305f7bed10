// TfIOPreviews: the modal window in which the user chooses the save parameters of one image for
// JPEG, TIFF, GIF, BMP, PCX, PNG, TGA or JPEG 2000 and sees, beside the image, what a save with
// them gives and how many bytes it takes. It edits a working copy of the I/O component's
// TIOParamsVals and writes it back, with the chosen format's id, only on OK or Apply.
//
// The preview really encodes: JPEG and JPEG 2000 are encoded into memory and decoded back into
// the result view; the other formats are encoded into a stream that only counts bytes, and the
// result view shows the source reduced to the chosen colours.
#pragma once

#include "imaging/core/ie_language.h"
#include "imaging/core/ie_params.h"
#include "imaging/io/ie_file_formats.h"
#include "platform/gui/comctrls.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

class TZodivErIO;
class TZodivErView;

// The parameters as the dialog edits them, under the names of TIOParamsVals, with the image
// geometry held per format.
struct TIEPreviewWorkingCopy {
  Integer JpegQuality = 80;
  Byte JpegColorSpace = 2;
  Byte JpegDCTMethod = 0;
  bool JpegOptimalHuffman = false;
  Integer JpegSmooth = 0;
  bool JpegProgressive = false;
  double J2000Rate = 1.0;
  Byte J2000ColorSpace = 1;
  TIELZWProcedure TiffLZWDecompress = nullptr;
  TIELZWProcedure TiffLZWCompress = nullptr;
  Byte TiffCompression = 0;
  Integer TiffImageIndex = 0;
  Byte TiffPhotometInterpret = 2;
  Integer TiffXPos = 0;
  Integer TiffYPos = 0;
  AnsiString TiffDocumentName;
  AnsiString TiffImageDescription;
  AnsiString TiffPageName;
  Integer TiffPageNumber = -1;
  Integer TiffPageCount = -1;
  Integer TiffBitsPerSample = 8;
  Integer TiffSamplesPerPixel = 3;
  TIELZWProcedure GifLZWDecompress = nullptr;
  TIELZWProcedure GifLZWCompress = nullptr;
  Integer GifImageIndex = 0;
  Integer GifXPos = 0;
  Integer GifYPos = 0;
  Integer GifDelayTime = 0;
  bool GifFlagTranspColor = false;
  TRGB GifTranspColor{0, 0, 0};
  bool GifInterlaced = false;
  TRGB GifBackground{0, 0, 0};
  Integer GifBitsPerSample = 8;
  Byte BmpCompression = 0;
  Integer BmpColors = 0;
  Byte PcxCompression = 1;
  Integer PcxColors = 0;
  bool PngInterlaced = false;
  TRGB PngBackground{0, 0, 0};
  Byte PngFilter = 0;
  Integer PngCompression = 5;
  Integer PngColors = 0;
  TRGB TgaBackground{0, 0, 0};
  bool TgaCompressed = true;
  AnsiString TgaImageName;
  AnsiString TgaDescriptor;
  Integer TgaColors = 0;
};

// The four size labels every page carries.
struct TIEPreviewSizeLabels {
  TLabel* OriginalCaption = nullptr;
  TLabel* OriginalValue = nullptr;
  TLabel* CompressedCaption = nullptr;
  TLabel* CompressedValue = nullptr;
};

class TfIOPreviews : public TForm {
 public:
  explicit TfIOPreviews(TComponent* AOwner);
  ~TfIOPreviews() override;

  // --- state ---
  TPreviewParams Pages = 0;
  WideString PaletteCancelCaption;
  bool ControlsReady = false;
  bool Simplified = false;
  TIOParamsVals* IOParams = nullptr;  // not owned
  bool DefaultLockPreview = false;
  Integer ProgressOffset = 0;
  Integer ProgressDivisor = 1;
  Byte DitherMethod = 1;
  bool Activated = false;
  TIEPreviewWorkingCopy WorkingCopy;

  // --- operations ---
  // False when the pages come down to none (only ppAUTO for a type without a page).
  bool SetPages(TPreviewParams APages);
  void SetLanguage(TMsgLanguage Language);
  static bool LZWAvailable();
  Integer CompressionToIndex(Integer Compression) const;
  Integer IndexToCompression(Integer Index) const;
  void LoadWorkingCopy();
  void ShowWorkingCopy();
  void UpdatePreview();

  // --- handlers ---
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void PageControl1Changing(TObject* Sender, bool& AllowChange);
  void PageControl1Change(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void ZodivEr1ViewChange(TObject* Sender, Integer Change);
  void ZodivEr1Progress(TObject* Sender, Integer Percent);
  void TrackBar13Change(TObject* Sender);
  void Edit22Change(TObject* Sender);
  void TrackBar2Change(TObject* Sender);
  void Edit16Change(TObject* Sender);
  void ComboBox2Click(TObject* Sender);
  void ComboBox16Change(TObject* Sender);
  void ComboBox5Click(TObject* Sender);
  void ComboBox18Change(TObject* Sender);
  void Panel3Click(TObject* Sender);
  void Panel4Click(TObject* Sender);
  void ComboBox6Change(TObject* Sender);
  void ComboBox8Change(TObject* Sender);
  void ComboBox10Change(TObject* Sender);
  void Panel1Click(TObject* Sender);
  void ComboBox14Click(TObject* Sender);
  void Panel5Click(TObject* Sender);
  void TrackBar1Change(TObject* Sender);
  void Edit15Change(TObject* Sender);

  // --- controls outside the pages ---
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TZodivErView* ZodivEr1 = nullptr;
  TZodivErView* ZodivEr2 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TPageControl* PageControl1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  TButton* Button3 = nullptr;
  TButton* Button4 = nullptr;
  TCheckBox* chkLockPreview = nullptr;
  TColorDialog* ColorDialog1 = nullptr;

  // --- JPEG, full ---
  TTabSheet* TabSheetJPEG1 = nullptr;
  TLabel *Label23 = nullptr, *Label26 = nullptr, *Label27 = nullptr, *Label57 = nullptr;
  TEdit *Edit22 = nullptr, *Edit23 = nullptr;
  TTrackBar* TrackBar13 = nullptr;
  TGroupBox* GroupBox5 = nullptr;
  TComboBox *ComboBox1 = nullptr, *ComboBox13 = nullptr;
  TUpDown* UpDown11 = nullptr;
  TCheckBox *CheckBox2 = nullptr, *CheckBox3 = nullptr;
  // --- JPEG, simplified ---
  TTabSheet* TabSheetJPEG2 = nullptr;
  TLabel* Label72 = nullptr;
  TEdit* Edit16 = nullptr;
  TTrackBar* TrackBar2 = nullptr;
  // --- TIFF, full ---
  TTabSheet* TabSheetTIFF1 = nullptr;
  TLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label19 = nullptr;
  TComboBox *ComboBox2 = nullptr, *ComboBox3 = nullptr, *ComboBox4 = nullptr;
  TEdit* Edit1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TGroupBox* GroupBox1 = nullptr;
  TLabel *Label12 = nullptr, *Label13 = nullptr, *Label14 = nullptr, *Label15 = nullptr, *Label16 = nullptr,
         *Label8 = nullptr, *Label10 = nullptr;
  TEdit *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr, *Edit6 = nullptr, *Edit7 = nullptr,
        *Edit8 = nullptr;
  // --- TIFF, simplified ---
  TTabSheet* TabSheetTIFF2 = nullptr;
  TLabel *Label81 = nullptr, *Label82 = nullptr;
  TComboBox *ComboBox16 = nullptr, *ComboBox17 = nullptr;
  // --- GIF, full ---
  TTabSheet* TabSheetGIF1 = nullptr;
  TLabel *Label21 = nullptr, *Label20 = nullptr, *Label34 = nullptr, *Label35 = nullptr;
  TComboBox* ComboBox5 = nullptr;
  TEdit* Edit9 = nullptr;
  TUpDown* UpDown2 = nullptr;
  TCheckBox *CheckBox4 = nullptr, *CheckBox5 = nullptr;
  TPanel *Panel3 = nullptr, *Panel4 = nullptr;
  TGroupBox* GroupBox2 = nullptr;
  TLabel *Label31 = nullptr, *Label32 = nullptr, *Label33 = nullptr, *Label36 = nullptr;
  TEdit *Edit10 = nullptr, *Edit11 = nullptr, *Edit12 = nullptr;
  // --- GIF, simplified ---
  TTabSheet* TabSheetGIF2 = nullptr;
  TLabel* Label87 = nullptr;
  TComboBox* ComboBox18 = nullptr;
  // --- BMP ---
  TTabSheet* TabSheetBMP1 = nullptr;
  TLabel *Label37 = nullptr, *Label38 = nullptr;
  TComboBox *ComboBox6 = nullptr, *ComboBox7 = nullptr;
  // --- PCX ---
  TTabSheet* TabSheetPCX1 = nullptr;
  TLabel *Label43 = nullptr, *Label44 = nullptr;
  TComboBox *ComboBox8 = nullptr, *ComboBox9 = nullptr;
  // --- PNG ---
  TTabSheet* TabSheetPNG1 = nullptr;
  TLabel *Label49 = nullptr, *Label54 = nullptr, *Label55 = nullptr, *Label56 = nullptr;
  TComboBox *ComboBox10 = nullptr, *ComboBox11 = nullptr, *ComboBox12 = nullptr;
  TPanel* Panel1 = nullptr;
  TGroupBox* GroupBox3 = nullptr;
  TCheckBox* CheckBox6 = nullptr;
  // --- TGA ---
  TTabSheet* TabSheetTGA1 = nullptr;
  TLabel *Label62 = nullptr, *Label63 = nullptr, *Label64 = nullptr, *Label65 = nullptr;
  TComboBox* ComboBox14 = nullptr;
  TPanel* Panel5 = nullptr;
  TCheckBox* CheckBox1 = nullptr;
  TEdit *Edit13 = nullptr, *Edit14 = nullptr;
  // --- JPEG 2000 ---
  TTabSheet* TabSheetJ20001 = nullptr;
  TLabel *Label66 = nullptr, *Label71 = nullptr;
  TEdit* Edit15 = nullptr;
  TTrackBar* TrackBar1 = nullptr;
  TComboBox* ComboBox15 = nullptr;

  // The size labels of a page (all empty for a sheet that is not one of the dialog's).
  TIEPreviewSizeLabels SizeLabels(TTabSheet* Sheet) const;

 private:
  enum class TPageKind { None, JPEG, TIFF, GIF, BMP, PCX, PNG, TGA, J2000 };

  void BuildControls();
  void BuildJPEGPages();
  void BuildTIFFPages();
  void BuildGIFPages();
  void BuildColorPages();
  void BuildJ2000Page();
  TTabSheet* NewSheet(const char* Name, const char* Caption);
  void NewSizeLabels(TTabSheet* Sheet, const char* OriginalCaption, const char* OriginalValue,
                     const char* CompressedCaption, const char* CompressedValue, Integer Top);
  TPageKind KindOf(TTabSheet* Sheet) const;
  TPageKind ActiveKind() const;
  // Both sheets of a format that has a full and a simplified page.
  void SetCompressedSize(TPageKind Kind, Int64 Bytes);
  void ShowSimplifiedLayout();
  void PickPanelColor(TPanel* Panel, bool FromPaletteOnly, TRGB& Target);
  // Raises with the format's name and the I/O component's reason when the last save or load of
  // IO failed.
  void CheckPreviewStep(TZodivErIO* IO, const char* Format, const char* Step);
  void CopySourceToResult();
  void ApplyPaletteRule();
  void FollowSourceView();
  void EnableApply() { Button4->SetEnabled(true); }

  std::vector<std::pair<TTabSheet*, TIEPreviewSizeLabels>> FSizeLabels;
};

// Shows the dialog for IO's image and parameter record, as TZodivErIO::DoPreviews does after
// asking OnDoPreviews: True when the user closed it with OK. False without showing it when IO
// has no image or the pages come down to none.
bool IEExecutePreviewsDialog(TZodivErIO* IO, TPreviewParams Pages);
