#include "app/crop_dialogs.h"

#include "app/main_window.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/view/ie_view.h"
#include "media/components/decoder.h"
#include "platform/gui/graphics.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

Tsetcrop* setcrop = nullptr;
Tsetcrop2* setcrop2 = nullptr;

namespace {

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const char* Name, Integer Left, Integer Top, Integer Width,
        Integer Height) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}

}  // namespace

TCropDialog::TCropDialog(TComponent* AOwner, const AnsiString& Name, Integer ClientWidth, Integer ClientHeight)
    : TForm(AOwner) {
  SetName(Name);
  SetCaption("");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(ClientWidth);
  SetClientHeight(ClientHeight);

  Label1 = Make<TLabel>(this, this, "Label1", 10, 8, 400, 16);
  Label1->SetCaption("Use Your Mouse to Select the Cropping Area");

  ZodivErView1 = Make<TZodivErView>(this, this, "ZodivErView1", 9, 30, 676, 377);
  ZodivErView1->SetMouseInteract(miSelect);
  ZodivErView1->SetAutoFit(true);
  ZodivErView1->OnSelectionChange = [this](TObject* S) { ZodivErView1SelectionChange(S); };
  ZodivErView1->OnSelectionChanging = [this](TObject* S) { ZodivErView1SelectionChanging(S); };

  group_number = Make<TGroupBox>(this, this, "group_number", 9, 415, 560, 90);
  group_number->SetCaption("Cropping Area ");
  struct Field {
    TLabel*& Label;
    TEdit*& Edit;
    const char* LabelName;
    const char* EditName;
    const char* Caption;
    Integer Left, Top;
  } const fields[] = {
      {label_hp, ed_hp, "label_hp", "ed_hp", "Horizontal position", 12, 22},
      {label_vp, ed_vp, "label_vp", "ed_vp", "Vertical position", 12, 54},
      {label_w, ed_w, "label_w", "ed_w", "Width", 290, 22},
      {label_h, ed_h, "label_h", "ed_h", "Height", 290, 54},
  };
  for (const Field& f : fields) {
    f.Label = Make<TLabel>(this, group_number, f.LabelName, f.Left, f.Top + 3, 130, 16);
    f.Label->SetCaption(f.Caption);
    f.Edit = Make<TEdit>(this, group_number, f.EditName, f.Left + 140, f.Top, 100, 22);
    f.Edit->SetText("");
    f.Label->SetEnabled(false);
    f.Edit->SetEnabled(false);
  }
  ed_hp->OnChange = [this](TObject* S) { ed_hpChange(S); };
  ed_vp->OnChange = [this](TObject* S) { ed_vpChange(S); };
  ed_w->OnChange = [this](TObject* S) { ed_wChange(S); };
  ed_h->OnChange = [this](TObject* S) { ed_hChange(S); };
  ed_hp->OnExit = [this](TObject* S) { ed_hpExit(S); };
  ed_vp->OnExit = [this](TObject* S) { ed_vpExit(S); };
  ed_w->OnExit = [this](TObject* S) { ed_wExit(S); };
  ed_h->OnExit = [this](TObject* S) { ed_hExit(S); };
  ed_hp->OnKeyPress = [this](TObject* S, char& K) { ed_hpKeyPress(S, K); };
  ed_vp->OnKeyPress = [this](TObject* S, char& K) { ed_vpKeyPress(S, K); };
  ed_w->OnKeyPress = [this](TObject* S, char& K) { ed_wKeyPress(S, K); };
  ed_h->OnKeyPress = [this](TObject* S, char& K) { ed_hKeyPress(S, K); };

  Button1 = Make<TButton>(this, this, "Button1", ClientWidth - 100, ClientHeight - 45, 80, 28);
  Button1->SetCaption("OK");
  // Closing the dialog any other way has the same effect as OK, so Escape takes it too.
  Button1->SetCancel(true);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };
}

Tsetcrop::Tsetcrop(TComponent* AOwner) : TCropDialog(AOwner, "setcrop", 695, 520) {}

Tsetcrop2::Tsetcrop2(TComponent* AOwner) : TCropDialog(AOwner, "setcrop2", 693, 518) { FEvenSize = true; }

TCropArea TCropDialog::Selection() {
  return {ZodivErView1->SelectionX1(), ZodivErView1->SelectionY1(), ZodivErView1->SelectionX2(),
          ZodivErView1->SelectionY2()};
}

TCropArea TCropDialog::UsedArea(const TCropArea& Area) {
  if (!FEvenSize) return Area;
  return EvenSizedCropArea(Area, ZodivErView1->ImageWidth(), ZodivErView1->ImageHeight());
}

void TCropDialog::SelectArea(const TCropArea& Area) {
  ZodivErView1->SetSelectionBase(iesbBitmap);
  ZodivErView1->Select(Area.X1, Area.Y1, Area.X2 + 1, Area.Y2 + 1, 0);
}

TEdit* TCropDialog::EditOf(TCropField Field) const {
  switch (Field) {
    case cfLeft: return ed_hp;
    case cfTop: return ed_vp;
    case cfWidth: return ed_w;
    case cfHeight: return ed_h;
  }
  return ed_hp;
}

void TCropDialog::ZodivErView1SelectionChange(TObject*) {
  const TCropArea drawn = Selection();
  const bool selected = !drawn.Empty();
  if (selected && UsedArea(drawn) != drawn) {
    // The rectangle the user let go of becomes the one the clip will cut.
    SelectArea(UsedArea(drawn));
    ShowSelection();
  }
  for (TLabel* label : {label_hp, label_vp, label_w, label_h}) label->SetEnabled(selected);
  for (TEdit* edit : {ed_hp, ed_vp, ed_w, ed_h}) edit->SetEnabled(selected);
}

void TCropDialog::ZodivErView1SelectionChanging(TObject*) { ShowSelection(); }

void TCropDialog::ShowSelection() {
  const TCropFields fields = CropFieldsOf(UsedArea(Selection()));
  FlagGuard showing(FShowing);
  ed_hp->SetText(IntToStr(fields.Left));
  ed_vp->SetText(IntToStr(fields.Top));
  ed_w->SetText(IntToStr(fields.Width));
  ed_h->SetText(IntToStr(fields.Height));
}

void TCropDialog::EditChanged(TCropField Field) {
  TEdit* edit = EditOf(Field);
  if (FShowing || !edit->Enabled()) return;
  Integer value = 0;
  if (!TryStrToInt(Trim(edit->Text()), value)) return;
  const TRect r = CropSelectionAfterEdit(Selection(), Field, value, ZodivErView1->ImageWidth(),
                                         ZodivErView1->ImageHeight());
  SelectArea(UsedArea({r.Left, r.Top, r.Right - 1, r.Bottom - 1}));
}

void TCropDialog::EditLeft(TCropField Field) {
  TEdit* edit = EditOf(Field);
  if (!edit->Enabled()) return;
  const AnsiString kept = CropFieldTextOnExit(Field, edit->Text());
  if (kept != edit->Text()) edit->SetText(kept);
  // What was typed may have been kept inside the picture: the edits show what is selected.
  ShowSelection();
}

void TCropDialog::ed_hpKeyPress(TObject*, char& Key) {
  if ((Key < '0' || Key > '9') && Key != '\b') Key = 0;
}

void TCropDialog::Button1Click(TObject*) { Close(); }

namespace {

constexpr Cardinal PreviewWaitMs = 30000;

void OpenCropDialog(Tmain* Main, TCropDialog* Dialog) {
  TFFDecoder* decoder = Main->FFtoimageDecoder();
  if (decoder == nullptr || decoder->VideoStreamCount <= 0) {
    MessageBox(Main, "The source video file is NOT loaded!", "Error", MB_ICONHAND);
    return;
  }
  const bool wholeVideo = Main->split_begin->Value() <= Main->split_begin->MinValue() &&
                          Main->split_end->Value() >= Main->split_end->MaxValue();
  if (wholeVideo) {
    // The picture at the middle of the video, as a run starting there would take it.
    const Int64 middle = SafeRound<Int64>(double(Main->Duration) / 2.0);
    if (!(decoder->Seek(middle, {sfBackward}) && decoder->DecodeTo(middle)) && decoder->Seek(middle, {}))
      decoder->Decode(-1);
  }
  const AnsiString snapshot = AppWorkFolder() + "test.bmp";
  TBitmap picture;
  bool previewed = false;
  if (!wholeVideo) {
    // The preview of whichever end was refreshed last; the previews have a decoder of their own,
    // so the picture is the window's, once the one asked for last has arrived.
    Main->WaitForPreviews(PreviewWaitMs);
    TBitmap* preview = Main->PreviewBitmap;
    if (preview && preview->Width() > 0 && preview->Height() > 0) {
      picture.Assign(preview);
      previewed = true;
    }
  }
  try {
    if (!previewed && !decoder->CopyToBitmap(&picture))
      throw Exception("Read frame failed: " + decoder->LastErrorMessage);
    picture.SaveToFile(snapshot);
    TZodivErIO* io = Dialog->ZodivErView1->IOComponent();
    io->Aborting = false;
    io->LoadFromFile(AnsiToWide(snapshot));
    if (io->Aborting) throw Exception("\"" + snapshot + "\" could not be read: " + io->FailureReason());
  } catch (const EAbort&) {
    return;
  } catch (const Exception& E) {
    Application->MessageBox(E.Message, "Error", MB_ICONHAND);
    return;
  }
  Dialog->ZodivErView1SelectionChange(Dialog->ZodivErView1);
  Dialog->ShowModal();
}

}  // namespace

void Tmain::bt_setcropClick(TObject*) { OpenCropDialog(this, setcrop); }

void Tmain::bt_setcrop2Click(TObject*) { OpenCropDialog(this, setcrop2); }
