// The controls of the save-parameter dialog, page by page, and the captions they take from the
// word table.
#include "imaging/core/ie_dialog_texts.h"
#include "imaging/io/ie_preview_params_dialog.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/application.h"
#include "platform/gui/graphics_objects.h"
#include "platform/gui/keys.h"
#include "platform/rtl/strings.h"

namespace {

constexpr Integer LabelWidth = 82;
constexpr Integer FieldLeft = 90;

void Place(TControl* C, TWinControl* Parent, const char* Name, Integer L, Integer T, Integer W, Integer H) {
  C->SetName(Name);
  C->SetParent(Parent);
  C->SetBounds(L, T, W, H);
}

TLabel* NewLabel(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption, Integer L, Integer T) {
  auto* Label = new TLabel(Owner);
  Place(Label, Parent, Name, L, T, LabelWidth, 13);
  Label->SetCaption(Caption);
  return Label;
}

TEdit* NewEdit(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Text, Integer L, Integer T,
               Integer W) {
  auto* Edit = new TEdit(Owner);
  Place(Edit, Parent, Name, L, T, W, 21);
  Edit->SetText(Text);
  return Edit;
}

TComboBox* NewList(TComponent* Owner, TWinControl* Parent, const char* Name, std::initializer_list<const char*> Items,
                   Integer L, Integer T, Integer W) {
  auto* List = new TComboBox(Owner);
  Place(List, Parent, Name, L, T, W, 21);
  List->SetStyle(csDropDownList);
  for (const char* Item : Items) List->Items()->Add(Item);
  return List;
}

// The caption sits left of the box, as on every page of this dialog.
TCheckBox* NewCheck(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption, Integer L,
                    Integer T, Integer W) {
  auto* Box = new TCheckBox(Owner);
  Place(Box, Parent, Name, L, T, W, 17);
  Box->SetCaption(Caption);
  Box->SetAlignment(taLeftJustify);
  return Box;
}

TTrackBar* NewTrack(TComponent* Owner, TWinControl* Parent, const char* Name, Integer Max, Integer Frequency,
                    Integer L, Integer T, Integer W) {
  auto* Track = new TTrackBar(Owner);
  Place(Track, Parent, Name, L, T, W, 30);
  Track->SetMax(Max);
  Track->SetFrequency(Frequency);
  Track->SetThumbLength(10);
  return Track;
}

TUpDown* NewUpDown(TComponent* Owner, TWinControl* Parent, const char* Name, TEdit* Associate, Integer Max) {
  auto* Arrows = new TUpDown(Owner);
  Arrows->SetName(Name);
  Arrows->SetParent(Parent);
  Arrows->SetMin(0);
  Arrows->SetMax(Max);
  Arrows->SetThousands(false);
  Arrows->SetAssociate(Associate);
  return Arrows;
}

TGroupBox* NewBox(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption, Integer L, Integer T,
                  Integer W, Integer H) {
  auto* Box = new TGroupBox(Owner);
  Place(Box, Parent, Name, L, T, W, H);
  Box->SetCaption(Caption);
  return Box;
}

// A colour swatch the user opens a picker from, with the mouse or, having tabbed to it, with
// Space or Enter.
TPanel* NewSwatch(TfIOPreviews* Owner, TWinControl* Parent, const char* Name, Integer L, Integer T,
                  void (TfIOPreviews::*Handler)(TObject*)) {
  auto* Panel = new TPanel(Owner);
  Place(Panel, Parent, Name, L, T, 34, 17);
  Panel->SetBevelOuter(bvLowered);
  Panel->SetParentColor(false);
  Panel->SetTabStop(true);
  Panel->OnClick = [Owner, Handler](TObject* Sender) { (Owner->*Handler)(Sender); };
  Panel->OnKeyDown = [Owner, Handler](TObject* Sender, Word& Key, TShiftState) {
    if (Key != VK_SPACE && Key != VK_RETURN) return;
    Key = 0;
    (Owner->*Handler)(Sender);
  };
  return Panel;
}

AnsiString TextOf(TIEDialogTextId Id, TMsgLanguage Language) { return WideToAnsi(IEGetLanguageText(Id, Language)); }

}  // namespace

TTabSheet* TfIOPreviews::NewSheet(const char* Name, const char* Caption) {
  auto* Sheet = new TTabSheet(this);
  Sheet->SetName(Name);
  Sheet->SetPageControl(PageControl1);
  Sheet->SetCaption(Caption);
  return Sheet;
}

void TfIOPreviews::NewSizeLabels(TTabSheet* Sheet, const char* OriginalCaption, const char* OriginalValue,
                                 const char* CompressedCaption, const char* CompressedValue, Integer Top) {
  TIEPreviewSizeLabels L;
  L.OriginalCaption = NewLabel(this, Sheet, OriginalCaption, "Original size:", 8, Top);
  L.OriginalValue = NewLabel(this, Sheet, OriginalValue, "---", 8, Top + 16);
  L.CompressedCaption = NewLabel(this, Sheet, CompressedCaption, "Compressed size:", 110, Top);
  L.CompressedValue = NewLabel(this, Sheet, CompressedValue, "---", 110, Top + 16);
  for (TLabel* Value : {L.OriginalValue, L.CompressedValue}) Value->SetWidth(96);
  FSizeLabels.emplace_back(Sheet, L);
}

TIEPreviewSizeLabels TfIOPreviews::SizeLabels(TTabSheet* Sheet) const {
  for (const auto& [S, L] : FSizeLabels)
    if (S == Sheet) return L;
  return {};
}

void TfIOPreviews::BuildControls() {
  SetName("fIOPreviews");
  SetCaption("Parameters preview");
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetClientWidth(527);
  SetClientHeight(425);
  SetPosition(poScreenCenter);
  Font()->SetName("DejaVu Sans");
  Font()->SetHeight(-11);

  Label1 = NewLabel(this, this, "Label1", "Source:", 5, 1);
  Label2 = NewLabel(this, this, "Label2", "Result:", 227, 1);
  Label1->SetTransparent(true);
  Label2->SetTransparent(true);

  ZodivEr1 = new TZodivErView(this);
  Place(ZodivEr1, this, "ZodivEr1", 6, 17, 191, 135);
  ZodivEr1->SetBackground(0xFFFFFF);
  ZodivEr1->SetCursor(1782);
  ZodivEr1->SetMouseInteract(miZoom | miScroll);
  ZodivEr1->SetEnableInteractionHints(true);
  ZodivEr1->SetAccessibleName("Source");
  ZodivEr2 = new TZodivErView(this);
  Place(ZodivEr2, this, "ZodivEr2", 227, 17, 191, 135);
  ZodivEr2->SetBackground(0xFFFFFF);
  ZodivEr2->SetCursor(1780);
  ZodivEr2->SetMouseInteract(0);
  ZodivEr2->SetEnableInteractionHints(true);
  ZodivEr2->SetAccessibleName("Result");
  ZodivEr1->OnViewChange = [this](TObject* S, Integer C) { ZodivEr1ViewChange(S, C); };
  ZodivEr1->SetOnProgress([this](TObject* S, Integer P) { ZodivEr1Progress(S, P); });
  ZodivEr2->SetOnProgress([this](TObject* S, Integer P) { ZodivEr1Progress(S, P); });

  ProgressBar1 = new TProgressBar(this);
  Place(ProgressBar1, this, "ProgressBar1", 6, 157, 412, 10);
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);

  PageControl1 = new TPageControl(this);
  Place(PageControl1, this, "PageControl1", 8, 172, 417, 217);
  PageControl1->SetHotTrack(true);
  PageControl1->OnChange = [this](TObject* S) { PageControl1Change(S); };
  PageControl1->OnChanging = [this](TObject* S, bool& Allow) { PageControl1Changing(S, Allow); };

  BuildJPEGPages();
  BuildTIFFPages();
  BuildGIFPages();
  BuildColorPages();
  BuildJ2000Page();

  chkLockPreview = NewCheck(this, this, "chkLockPreview", "Lock Preview", 12, 398, 365);
  chkLockPreview->SetAlignment(taRightJustify);
  chkLockPreview->SetHint("Automatically updates your preview with the changes you have selected");
  chkLockPreview->SetShowHint(false);
  chkLockPreview->OnClick = [this](TObject* S) { SpeedButton1Click(S); };

  auto NewButton = [this](const char* Name, const char* Caption, Integer Top) {
    auto* B = new TButton(this);
    Place(B, this, Name, 432, Top, 87, 23);
    B->SetCaption(Caption);
    return B;
  };
  Button1 = NewButton("Button1", "OK", 15);
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };
  Button2 = NewButton("Button2", "Cancel", 43);
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  Button3 = NewButton("Button3", "&Preview", 76);
  Button3->OnClick = [this](TObject* S) { Button3Click(S); };
  Button4 = NewButton("Button4", "&Apply", 106);
  Button4->OnClick = [this](TObject* S) { Button4Click(S); };

  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetName("ColorDialog1");
}

void TfIOPreviews::BuildJPEGPages() {
  TabSheetJPEG1 = NewSheet("TabSheetJPEG1", "JPEG");
  TTabSheet* P = TabSheetJPEG1;
  Label23 = NewLabel(this, P, "Label23", "&Quality:", 8, 8);
  Edit22 = NewEdit(this, P, "Edit22", "0", 8, 24, 40);
  TrackBar13 = NewTrack(this, P, "TrackBar13", 100, 5, 52, 20, 150);
  GroupBox5 = NewBox(this, P, "GroupBox5", " Advanced ", 208, 2, 196, 134);
  Label26 = NewLabel(this, GroupBox5, "Label26", "&DCT method:", 8, 20);
  ComboBox1 = NewList(this, GroupBox5, "ComboBox1", {"ISLOW", "IFAST", "FLOAT"}, 116, 16, 72);
  Label27 = NewLabel(this, GroupBox5, "Label27", "&Smoothing factor:", 8, 46);
  Label27->SetWidth(106);
  Edit23 = NewEdit(this, GroupBox5, "Edit23", "0", 116, 42, 56);
  UpDown11 = NewUpDown(this, GroupBox5, "UpDown11", Edit23, 100);
  Label57 = NewLabel(this, GroupBox5, "Label57", "P&hotometric:", 8, 72);
  ComboBox13 = NewList(this, GroupBox5, "ComboBox13", {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"}, 116, 68, 72);
  CheckBox2 = NewCheck(this, GroupBox5, "CheckBox2", "&Optimal Huffman", 8, 94, 180);
  CheckBox3 = NewCheck(this, GroupBox5, "CheckBox3", "P&rogressive", 8, 114, 180);
  NewSizeLabels(P, "Label3", "Label4", "Label24", "Label25", 140);
  Edit22->OnChange = [this](TObject* S) { Edit22Change(S); };
  Edit23->OnChange = [this](TObject* S) { Edit22Change(S); };
  for (TComboBox* C : {ComboBox1, ComboBox13}) C->OnChange = [this](TObject* S) { TrackBar13Change(S); };
  TrackBar13->OnChange = [this](TObject* S) { TrackBar13Change(S); };
  for (TCheckBox* C : {CheckBox2, CheckBox3}) C->OnClick = [this](TObject* S) { TrackBar13Change(S); };

  TabSheetJPEG2 = NewSheet("TabSheetJPEG2", "JPEG");
  P = TabSheetJPEG2;
  Label72 = NewLabel(this, P, "Label72", "&Quality:", 8, 8);
  Edit16 = NewEdit(this, P, "Edit16", "0", 8, 24, 40);
  TrackBar2 = NewTrack(this, P, "TrackBar2", 100, 5, 52, 20, 200);
  NewSizeLabels(P, "Label73", "Label74", "Label75", "Label76", 61);
  Edit16->OnChange = [this](TObject* S) { Edit16Change(S); };
  TrackBar2->OnChange = [this](TObject* S) { TrackBar2Change(S); };
}

void TfIOPreviews::BuildTIFFPages() {
  const std::initializer_list<const char*> Compressions = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX",
                                                           "LZW",          "JPEG",    "PACKBITS", "ZIP"};
  TabSheetTIFF1 = NewSheet("TabSheetTIFF1", "TIFF");
  TTabSheet* P = TabSheetTIFF1;
  Label5 = NewLabel(this, P, "Label5", "&Compression:", 8, 8);
  ComboBox2 = NewList(this, P, "ComboBox2", Compressions, 88, 4, 120);
  Label6 = NewLabel(this, P, "Label6", "&Image index:", 8, 34);
  Edit1 = NewEdit(this, P, "Edit1", "0", 88, 30, 60);
  UpDown1 = NewUpDown(this, P, "UpDown1", Edit1, 1000);
  Label7 = NewLabel(this, P, "Label7", "P&hotometric:", 8, 60);
  ComboBox3 = NewList(this, P, "ComboBox3",
                      {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR",
                       "CIELAB"},
                      88, 56, 120);
  Label19 = NewLabel(this, P, "Label19", "C&olors:", 8, 86);
  ComboBox4 = NewList(this, P, "ComboBox4", {"B/W", "16", "256", "65536", "16M"}, 88, 82, 120);
  GroupBox1 = NewBox(this, P, "GroupBox1", " Scanned document info ", 212, 2, 192, 166);
  TWinControl* G = GroupBox1;
  Label12 = NewLabel(this, G, "Label12", "&Name:", 6, 20);
  Edit4 = NewEdit(this, G, "Edit4", "", 124, 16, 62);
  Label13 = NewLabel(this, G, "Label13", "&Description:", 6, 44);
  Edit5 = NewEdit(this, G, "Edit5", "", 124, 40, 62);
  Label14 = NewLabel(this, G, "Label14", "P&age name:", 6, 68);
  Edit6 = NewEdit(this, G, "Edit6", "", 124, 64, 62);
  Label15 = NewLabel(this, G, "Label15", "Page N&umber:", 6, 92);
  Edit7 = NewEdit(this, G, "Edit7", "", 124, 88, 24);
  Label16 = NewLabel(this, G, "Label16", "o&f", 151, 92);
  Label16->SetWidth(14);
  Edit8 = NewEdit(this, G, "Edit8", "", 166, 88, 20);
  Label8 = NewLabel(this, G, "Label8", "H&oriz. Position (inch):", 6, 116);
  Label8->SetWidth(116);
  Edit2 = NewEdit(this, G, "Edit2", "", 124, 112, 62);
  Label10 = NewLabel(this, G, "Label10", "&Vert. Position (inch):", 6, 140);
  Label10->SetWidth(116);
  Edit3 = NewEdit(this, G, "Edit3", "", 124, 136, 62);
  NewSizeLabels(P, "Label9", "Label11", "Label17", "Label18", 140);
  for (TComboBox* C : {ComboBox2, ComboBox3, ComboBox4}) C->OnChange = [this](TObject* S) { ComboBox2Click(S); };
  for (TEdit* E : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8})
    E->OnChange = [this](TObject* S) { ComboBox2Click(S); };

  TabSheetTIFF2 = NewSheet("TabSheetTIFF2", "TIFF");
  P = TabSheetTIFF2;
  Label81 = NewLabel(this, P, "Label81", "&Compression:", 8, 8);
  ComboBox16 = NewList(this, P, "ComboBox16", Compressions, 88, 4, 120);
  Label82 = NewLabel(this, P, "Label82", "C&olors:", 8, 34);
  ComboBox17 = NewList(this, P, "ComboBox17", {"2", "16", "256", "16777216"}, 88, 30, 120);
  NewSizeLabels(P, "Label77", "Label78", "Label79", "Label80", 61);
  for (TComboBox* C : {ComboBox16, ComboBox17}) C->OnChange = [this](TObject* S) { ComboBox16Change(S); };
}

void TfIOPreviews::BuildGIFPages() {
  const std::initializer_list<const char*> Colors = {"B/W", "4", "8", "16", "32", "64", "128", "256"};
  TabSheetGIF1 = NewSheet("TabSheetGIF1", "GIF");
  TTabSheet* P = TabSheetGIF1;
  Label21 = NewLabel(this, P, "Label21", "&Colors:", 8, 8);
  ComboBox5 = NewList(this, P, "ComboBox5", Colors, 118, 4, 70);
  Label20 = NewLabel(this, P, "Label20", "&Image index:", 8, 34);
  Edit9 = NewEdit(this, P, "Edit9", "0", 118, 30, 50);
  UpDown2 = NewUpDown(this, P, "UpDown2", Edit9, 1000);
  CheckBox4 = NewCheck(this, P, "CheckBox4", "&Transparent:", 8, 56, 124);
  Label34 = NewLabel(this, P, "Label34", "T&ransparent color:", 8, 80);
  Label34->SetWidth(108);
  Panel3 = NewSwatch(this, P, "Panel3", 118, 78, &TfIOPreviews::Panel3Click);
  CheckBox5 = NewCheck(this, P, "CheckBox5", "I&nterlaced:", 8, 100, 124);
  Label35 = NewLabel(this, P, "Label35", "&Background:", 8, 122);
  Panel4 = NewSwatch(this, P, "Panel4", 118, 120, &TfIOPreviews::Panel4Click);
  GroupBox2 = NewBox(this, P, "GroupBox2", " Advanced ", 208, 2, 196, 94);
  TWinControl* G = GroupBox2;
  Label31 = NewLabel(this, G, "Label31", "&Horiz. Position:", 8, 20);
  Edit10 = NewEdit(this, G, "Edit10", "", 104, 16, 60);
  Label32 = NewLabel(this, G, "Label32", "&Vert. Position:", 8, 44);
  Edit11 = NewEdit(this, G, "Edit11", "", 104, 40, 60);
  Label33 = NewLabel(this, G, "Label33", "&Delay time:", 8, 68);
  Edit12 = NewEdit(this, G, "Edit12", "", 104, 64, 40);
  Label36 = NewLabel(this, G, "Label36", "1/100 s", 148, 68);
  Label36->SetWidth(44);
  NewSizeLabels(P, "Label22", "Label28", "Label29", "Label30", 140);
  ComboBox5->OnChange = [this](TObject* S) { ComboBox5Click(S); };
  for (TEdit* E : {Edit9, Edit10, Edit11, Edit12}) E->OnChange = [this](TObject* S) { ComboBox5Click(S); };
  for (TCheckBox* C : {CheckBox4, CheckBox5}) C->OnClick = [this](TObject* S) { ComboBox5Click(S); };

  TabSheetGIF2 = NewSheet("TabSheetGIF2", "GIF");
  P = TabSheetGIF2;
  Label87 = NewLabel(this, P, "Label87", "&Colors:", 8, 8);
  ComboBox18 = NewList(this, P, "ComboBox18", Colors, FieldLeft, 4, 70);
  NewSizeLabels(P, "Label83", "Label84", "Label85", "Label86", 61);
  ComboBox18->OnChange = [this](TObject* S) { ComboBox18Change(S); };
}

void TfIOPreviews::BuildColorPages() {
  TabSheetBMP1 = NewSheet("TabSheetBMP1", "BMP");
  TTabSheet* P = TabSheetBMP1;
  Label37 = NewLabel(this, P, "Label37", "&Compression:", 8, 8);
  ComboBox6 = NewList(this, P, "ComboBox6", {"UNCOMPRESSED", "RLE"}, FieldLeft, 4, 112);
  Label38 = NewLabel(this, P, "Label38", "C&olors:", 8, 34);
  ComboBox7 = NewList(this, P, "ComboBox7", {"B/W", "16", "256", "16M", "16M (32bit)"}, FieldLeft, 30, 112);
  NewSizeLabels(P, "Label39", "Label40", "Label41", "Label42", 140);
  for (TComboBox* C : {ComboBox6, ComboBox7}) C->OnChange = [this](TObject* S) { ComboBox6Change(S); };

  TabSheetPCX1 = NewSheet("TabSheetPCX1", "PCX");
  P = TabSheetPCX1;
  Label43 = NewLabel(this, P, "Label43", "&Compression:", 8, 8);
  ComboBox8 = NewList(this, P, "ComboBox8", {"UNCOMPRESSED", "RLE"}, FieldLeft, 4, 112);
  Label44 = NewLabel(this, P, "Label44", "C&olors:", 8, 34);
  ComboBox9 = NewList(this, P, "ComboBox9", {"B/W", "16", "256", "16M"}, FieldLeft, 30, 112);
  NewSizeLabels(P, "Label45", "Label46", "Label47", "Label48", 140);
  for (TComboBox* C : {ComboBox8, ComboBox9}) C->OnChange = [this](TObject* S) { ComboBox8Change(S); };

  TabSheetPNG1 = NewSheet("TabSheetPNG1", "PNG");
  P = TabSheetPNG1;
  Label49 = NewLabel(this, P, "Label49", "C&olors:", 8, 8);
  ComboBox10 = NewList(this, P, "ComboBox10", {"B/W", "256", "16M"}, FieldLeft, 4, 80);
  Label54 = NewLabel(this, P, "Label54", "&Background:", 8, 36);
  Panel1 = NewSwatch(this, P, "Panel1", FieldLeft, 34, &TfIOPreviews::Panel1Click);
  GroupBox3 = NewBox(this, P, "GroupBox3", " Advanced ", 208, 2, 196, 94);
  TWinControl* G = GroupBox3;
  Label55 = NewLabel(this, G, "Label55", "&Filter", 8, 20);
  ComboBox11 = NewList(this, G, "ComboBox11", {"None", "Sub", "Paeth"}, 100, 16, 84);
  Label56 = NewLabel(this, G, "Label56", "Co&mpression", 8, 46);
  ComboBox12 = NewList(this, G, "ComboBox12", {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"}, 100, 42, 84);
  CheckBox6 = NewCheck(this, G, "CheckBox6", "I&nterlaced:", 8, 68, 106);
  NewSizeLabels(P, "Label50", "Label51", "Label52", "Label53", 140);
  for (TComboBox* C : {ComboBox10, ComboBox11, ComboBox12}) C->OnChange = [this](TObject* S) { ComboBox10Change(S); };
  CheckBox6->OnClick = [this](TObject* S) { ComboBox10Change(S); };

  TabSheetTGA1 = NewSheet("TabSheetTGA1", "TGA");
  P = TabSheetTGA1;
  Label62 = NewLabel(this, P, "Label62", "C&olors:", 8, 8);
  ComboBox14 = NewList(this, P, "ComboBox14", {"B/W", "256", "16M"}, FieldLeft, 4, 80);
  Label63 = NewLabel(this, P, "Label63", "&Background:", 8, 36);
  Panel5 = NewSwatch(this, P, "Panel5", FieldLeft, 34, &TfIOPreviews::Panel5Click);
  CheckBox1 = NewCheck(this, P, "CheckBox1", "Compression:", 180, 6, 102);
  Label64 = NewLabel(this, P, "Label64", "&Name:", 180, 36);
  Edit13 = NewEdit(this, P, "Edit13", "", 270, 32, 130);
  Label65 = NewLabel(this, P, "Label65", "&Description:", 180, 62);
  Edit14 = NewEdit(this, P, "Edit14", "", 270, 58, 130);
  NewSizeLabels(P, "Label58", "Label59", "Label60", "Label61", 140);
  ComboBox14->OnChange = [this](TObject* S) { ComboBox14Click(S); };
  CheckBox1->OnClick = [this](TObject* S) { ComboBox14Click(S); };
  for (TEdit* E : {Edit13, Edit14}) E->OnChange = [this](TObject* S) { ComboBox14Click(S); };
}

void TfIOPreviews::BuildJ2000Page() {
  TabSheetJ20001 = NewSheet("TabSheetJ20001", "JPEG2000");
  TTabSheet* P = TabSheetJ20001;
  Label66 = NewLabel(this, P, "Label66", "&Rate:", 8, 8);
  Edit15 = NewEdit(this, P, "Edit15", "0", 8, 24, 44);
  TrackBar1 = NewTrack(this, P, "TrackBar1", 1000, 20, 56, 20, 200);
  Label71 = NewLabel(this, P, "Label71", "P&hotometric:", 270, 8);
  ComboBox15 = NewList(this, P, "ComboBox15", {"GrayScale", "RGB", "YCbCr"}, 270, 24, 100);
  NewSizeLabels(P, "Label67", "Label68", "Label69", "Label70", 140);
  Edit15->OnChange = [this](TObject* S) { Edit15Change(S); };
  TrackBar1->OnChange = [this](TObject* S) { TrackBar1Change(S); };
  ComboBox15->OnChange = [this](TObject* S) { TrackBar1Change(S); };
}

void TfIOPreviews::ShowSimplifiedLayout() {
  for (TTabSheet* Sheet : {TabSheetBMP1, TabSheetPCX1, TabSheetPNG1, TabSheetTGA1, TabSheetJ20001}) {
    const TIEPreviewSizeLabels L = SizeLabels(Sheet);
    L.OriginalCaption->SetTop(61);
    L.CompressedCaption->SetTop(61);
    L.OriginalValue->SetTop(77);
    L.CompressedValue->SetTop(77);
  }
  chkLockPreview->SetTop(Integer(Screen->PixelsPerInch() * 3.1458333333333333));
  for (TControl* C : std::initializer_list<TControl*>{Label54, Panel1, GroupBox3, Label63, Panel5, Label64, Edit13,
                                                      Label65, Edit14, Label71, ComboBox15})
    C->SetVisible(false);
}

void TfIOPreviews::SetLanguage(TMsgLanguage Language) {
  auto W = [Language](TIEDialogTextId Id) { return TextOf(Id, Language); };
  auto Colon = [&](TIEDialogTextId Id, std::initializer_list<TControl*> Controls) {
    for (TControl* C : Controls) C->SetCaption(W(Id) + ":");
  };
  auto Spaced = [&](TIEDialogTextId Id, std::initializer_list<TControl*> Controls) {
    for (TControl* C : Controls) C->SetCaption(" " + W(Id) + " ");
  };
  SetCaption(W(dtParametersPreview));
  Colon(dtOriginal, {Label1});
  Colon(dtResult, {Label2});
  Button2->SetCaption(W(dtCancel));
  PaletteCancelCaption = AnsiToWide("&") + IEGetLanguageText(dtCancel, Language);
  Button1->SetCaption(W(dtOK));
  Button3->SetCaption(W(dtPreview));
  chkLockPreview->SetCaption(W(dtLockPreview));
  Button4->SetCaption(W(dtApply));
  Colon(dtQuality, {Label23, Label72});
  Colon(dtDCTMethod, {Label26});
  Colon(dtSmoothingFactor, {Label27});
  Colon(dtPhotometric, {Label57, Label71, Label7});
  CheckBox2->SetCaption(W(dtOptimalHuffman));
  CheckBox3->SetCaption(W(dtProgressive));
  for (const auto& [Sheet, L] : FSizeLabels) {
    L.OriginalCaption->SetCaption(W(dtOriginalSize) + ":");
    L.CompressedCaption->SetCaption(W(dtCompressedSize) + ":");
  }
  Spaced(dtAdvanced, {GroupBox5, GroupBox2, GroupBox3});
  Colon(dtRate, {Label66});
  Colon(dtCompression, {Label5, Label81, Label37, Label43, Label56, CheckBox1});
  Colon(dtImageIndex, {Label6, Label20});
  Spaced(dtScannedDocumentInfo, {GroupBox1});
  Colon(dtName, {Label12, Label64});
  Colon(dtDescription, {Label13, Label65});
  Colon(dtPageName, {Label14});
  Colon(dtPageNumber, {Label15});
  Label16->SetCaption(W(dtOf));
  Colon(dtHorizPositionInch, {Label8});
  Colon(dtVertPositionInch, {Label10});
  Colon(dtColors, {Label19, Label82, Label21, Label87, Label38, Label44, Label49, Label62});
  Colon(dtTransparent, {CheckBox4});
  Colon(dtTransparentColor, {Label34});
  Colon(dtInterlaced, {CheckBox5});
  CheckBox6->SetCaption(W(dtInterlaced));
  Colon(dtBackground, {Label35, Label54, Label63});
  Colon(dtHorizPosition, {Label31});
  Colon(dtVertPosition, {Label32});
  Colon(dtDelayTime, {Label33});
  Colon(dtFilter, {Label55});
  // Controls that show no words of their own are named for screen readers by the caption that
  // stands for them.
  for (TTrackBar* T : {TrackBar13, TrackBar2}) T->SetAccessibleName(W(dtQuality));
  TrackBar1->SetAccessibleName(W(dtRate));
  Panel3->SetAccessibleName(W(dtTransparentColor));
  for (TPanel* Panel : {Panel4, Panel1, Panel5}) Panel->SetAccessibleName(W(dtBackground));
  ZodivEr1->SetAccessibleName(W(dtOriginal));
  ZodivEr2->SetAccessibleName(W(dtResult));
}
