// The three output pages of the main window: their fields, defaults and limits, and the small
// handlers that keep the fields usable.
#include "app/main_window.h"

#include "app/transform_dialogs.h"
#include "media/components/decoder.h"
#include "platform/rtl/flag_guard.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr char VK_BACKSPACE_CHAR = 8;

struct TPageBuilder {
  TComponent* Owner;

  template <class T>
  T* Make(TWinControl* Parent, const AnsiString& Name, Integer L, Integer T_, Integer W, Integer H) const {
    T* c = new T(Owner);
    c->SetName(Name);
    c->SetParent(Parent);
    c->SetBounds(L, T_, W, H);
    return c;
  }
  TGroupBox* Group(TWinControl* Parent, const AnsiString& Name, const AnsiString& Caption, Integer L, Integer T_,
                   Integer W, Integer H) const {
    TGroupBox* g = Make<TGroupBox>(Parent, Name, L, T_, W, H);
    g->SetCaption(Caption);
    return g;
  }
  TRadioButton* Radio(TWinControl* Parent, const AnsiString& Name, const AnsiString& Caption, Integer L, Integer T_,
                      Integer W, bool Checked = false) const {
    TRadioButton* r = Make<TRadioButton>(Parent, Name, L, T_, W, 20);
    r->SetCaption(Caption);
    r->SetChecked(Checked);
    return r;
  }
  TCheckBox* Check(TWinControl* Parent, const AnsiString& Name, const AnsiString& Caption, Integer L, Integer T_,
                   Integer W, bool Checked, bool Enabled = true) const {
    TCheckBox* c = Make<TCheckBox>(Parent, Name, L, T_, W, 20);
    c->SetCaption(Caption);
    c->SetChecked(Checked);
    c->SetEnabled(Enabled);
    return c;
  }
  TEdit* Edit(TWinControl* Parent, const AnsiString& Name, const AnsiString& Text, Integer L, Integer T_, Integer W,
              Integer MaxLength, bool Enabled = false) const {
    TEdit* e = Make<TEdit>(Parent, Name, L, T_, W, 22);
    e->SetText(Text);
    e->SetMaxLength(MaxLength);
    e->SetEnabled(Enabled);
    return e;
  }
  TSpinEdit* Spin(TWinControl* Parent, const AnsiString& Name, Integer Min, Integer Max, Integer Value, Integer L,
                  Integer T_, Integer W, Integer MaxLength) const {
    TSpinEdit* s = Make<TSpinEdit>(Parent, Name, L, T_, W, 22);
    s->SetMinValue(Min);
    s->SetMaxValue(Max);
    s->SetValue(Value);
    s->SetMaxLength(MaxLength);
    s->SetEnabled(false);
    return s;
  }
  TLabel* Label(TWinControl* Parent, const AnsiString& Caption, Integer L, Integer T_) const {
    TLabel* l = new TLabel(Owner);
    l->SetParent(Parent);
    l->SetBounds(L, T_, 40, 16);
    // The page's own colour shows through beside the text.
    l->SetTransparent(true);
    l->SetCaption(Caption);
    return l;
  }
  TButton* Button(TWinControl* Parent, const AnsiString& Name, const AnsiString& Caption, Integer L, Integer T_,
                  Integer W, bool Enabled = true) const {
    TButton* b = Make<TButton>(Parent, Name, L, T_, W, 26);
    b->SetCaption(Caption);
    b->SetEnabled(Enabled);
    return b;
  }
};

}  // namespace

void Tmain::CreateImagesPage() {
  const TPageBuilder b{this};
  TWinControl* page = imagesheet;

  group_imageformat = b.Group(page, "group_imageformat", "Image Format", 710, 150, 174, 54);
  cb_imageformats = b.Make<TComboBox>(group_imageformat, "cb_imageformats", 10, 20, 138, 24);
  cb_imageformats->SetStyle(csDropDownList);
  cb_imageformats->SetDropDownCount(100);

  group_extract = b.Group(page, "group_extract", "Extract", 6, 4, 416, 200);
  TWinControl* g = group_extract;
  auto row = [](int i) { return 18 + 22 * i; };
  radio_allframes = b.Radio(g, "radio_allframes", "All Frames", 10, row(0), 150, true);
  radio_everyseconds = b.Radio(g, "radio_everyseconds", "Every", 10, row(1), 70);
  edit_everyseconds = b.Edit(g, "edit_everyseconds", "1", 84, row(1) - 1, 60, 5);
  b.Label(g, "Seconds", 150, row(1) + 2);
  radio_fps = b.Radio(g, "radio_fps", "Frame Per Second (FPS)", 10, row(2), 190);
  cb_framerate = b.Make<TComboBox>(g, "cb_framerate", 204, row(2) - 1, 70, 22);
  cb_framerate->SetStyle(csDropDownList);
  cb_framerate->SetDropDownCount(40);
  cb_framerate->SetEnabled(false);
  radio_everyframes = b.Radio(g, "radio_everyframes", "Every", 10, row(3), 70);
  edit_everyframes = b.Edit(g, "edit_everyframes", "50", 84, row(3) - 1, 60, 5);
  b.Label(g, "Frames", 150, row(3) + 2);
  // Both rows begin with "Every": the word after the field tells them apart.
  edit_everyseconds->SetAccessibleName("Every Seconds");
  edit_everyframes->SetAccessibleName("Every Frames");
  radio_total = b.Radio(g, "radio_total", "Total", 10, row(4), 70);
  edit_imageamount = b.Edit(g, "edit_imageamount", "10", 84, row(4) - 1, 60, 5);
  b.Label(g, "Frames", 150, row(4) + 2);
  radio_scene = b.Radio(g, "radio_scene", "Frames by Scene Change", 10, row(5), 190);
  se_scenechange = b.Spin(g, "se_scenechange", 1, 100, 10, 204, row(5) - 1, 60, 2);
  b.Label(g, "%", 268, row(5) + 2);
  radio_express = b.Radio(g, "radio_express", "Express Total", 10, row(6), 112);
  edit_express = b.Edit(g, "edit_express", "10", 126, row(6) - 1, 60, 5);
  b.Label(g, "Frames (Special for big video file)", 192, row(6) + 2)->SetWidth(210);
  ck_tile = b.Check(g, "ck_tile", "Multiple Frames Image", 10, row(7), 180, false);
  b.Label(g, "Lines", 196, row(7) + 2);
  se_lines = b.Spin(g, "se_lines", 1, 15, 2, 236, row(7) - 1, 50, 2);
  b.Label(g, "Columns", 296, row(7) + 2)->SetWidth(56);
  se_columns = b.Spin(g, "se_columns", 1, 15, 3, 356, row(7) - 1, 50, 2);

  group_framesize = b.Group(page, "group_framesize", "Frame Size", 428, 4, 276, 142);
  g = group_framesize;
  radio_originalframesize = b.Radio(g, "radio_originalframesize", "Original", 10, 18, 120, true);
  radio_customframesize = b.Radio(g, "radio_customframesize", "Custom", 10, 42, 78);
  EdCustomWidth = b.Spin(g, "EdCustomWidth", 2, 10000, 2, 90, 41, 70, 5);
  b.Label(g, "X", 166, 44)->SetWidth(12);
  EdCustomHeight = b.Spin(g, "EdCustomHeight", 2, 10000, 2, 182, 41, 70, 5);
  // The "X" between the two sizes is no name for either of them.
  EdCustomWidth->SetAccessibleName("Custom width");
  EdCustomHeight->SetAccessibleName("Custom height");
  cb_proportion = b.Check(g, "cb_proportion", "Proportion", 20, 66, 200, true, false);
  cb_pad = b.Check(g, "cb_pad", "Add padding to fit customize frame size", 20, 88, 252, true, false);
  radio_crop = b.Radio(g, "radio_crop", "Crop Frame", 10, 114, 96);
  bt_setcrop = b.Button(g, "bt_setcrop", "Set Cropping Area", 110, 111, 144, false);
  bt_setcrop->OnClick = [this](TObject* S) { bt_setcropClick(S); };

  group_imagetransform = b.Group(page, "group_imagetransform", "Image Transform", 428, 150, 276, 58);
  Button3 = b.Button(group_imagetransform, "Button3", "Set Transform Effects", 10, 22, 180);

  group_imagename = b.Group(page, "group_imagename", "Image Name", 710, 4, 174, 142);
  g = group_imagename;
  radio_asvideoname = b.Radio(g, "radio_asvideoname", "As Same as Video File", 10, 18, 156, true);
  ck_maxlength = b.Check(g, "ck_maxlength", "Maximum Length", 8, 42, 122, false);
  ed_maxlength = b.Spin(g, "ed_maxlength", 2, 100, 5, 130, 41, 40, 3);
  radio_asstring = b.Radio(g, "radio_asstring", "As This String", 10, 66, 150);
  edit_namestring = b.Edit(g, "edit_namestring", "", 26, 90, 140, 50);

  ch_isopenfolder = b.Check(page, "ch_isopenfolder", "Open Output Folder after Extracting", 428, 208, 300, false);

  // Handlers are bound once the defaults are in place, so that setting them ran no handler.
  radio_allframes->OnClick = [this](TObject* S) { radio_allframesClick(S); };
  radio_everyseconds->OnClick = [this](TObject* S) { radio_everysecondsClick(S); };
  radio_fps->OnClick = [this](TObject* S) { radio_fpsClick(S); };
  radio_everyframes->OnClick = [this](TObject* S) { radio_everyframesClick(S); };
  radio_total->OnClick = [this](TObject* S) { radio_totalClick(S); };
  radio_scene->OnClick = [this](TObject* S) { radio_sceneClick(S); };
  radio_express->OnClick = [this](TObject* S) { radio_expressClick(S); };
  ck_tile->OnClick = [this](TObject* S) { ck_tileClick(S); };
  ck_maxlength->OnClick = [this](TObject* S) { ck_maxlengthClick(S); };
  radio_asvideoname->OnClick = [this](TObject* S) { radio_asvideonameClick(S); };
  radio_asstring->OnClick = [this](TObject* S) { radio_asstringClick(S); };
  radio_originalframesize->OnClick = [this](TObject* S) { radio_originalframesizeClick(S); };
  radio_customframesize->OnClick = [this](TObject* S) { radio_customframesizeClick(S); };
  radio_crop->OnClick = [this](TObject* S) { radio_cropClick(S); };
  cb_proportion->OnClick = [this](TObject* S) { cb_proportionClick(S); };
  EdCustomWidth->OnChange = [this](TObject* S) { EdCustomWidthChange(S); };
  EdCustomHeight->OnChange = [this](TObject* S) { EdCustomHeightChange(S); };

  edit_imageamount->OnKeyPress = [this](TObject* S, char& K) { edit_imageamountKyPress(S, K); };
  for (TWinControl* field : std::initializer_list<TWinControl*>{se_scenechange, se_lines, se_columns, edit_everyframes,
                                                                edit_everyseconds, edit_express, EdCustomWidth,
                                                                EdCustomHeight, ed_maxlength}) {
    field->OnKeyPress = [this](TObject* S, char& K) { DigitsOnlyKeyPress(S, K); };
  }
  edit_imageamount->OnExit = [this](TObject* S) { edit_imageamountExit(S); };
  edit_everyframes->OnExit = [this](TObject* S) { edit_everyframesExit(S); };
  edit_everyseconds->OnExit = [this](TObject* S) { edit_everysecondsExit(S); };
  edit_express->OnExit = [this](TObject* S) { edit_expressExit(S); };
  for (TWinControl* spin : std::initializer_list<TWinControl*>{se_scenechange, se_lines, se_columns, EdCustomWidth,
                                                               EdCustomHeight, ed_maxlength}) {
    spin->OnExit = [this](TObject* S) { SpinFieldExit(S); };
  }
}

void Tmain::CreateAudioPage() {
  const TPageBuilder b{this};
  TWinControl* page = audiosheet;
  TGroupBox* volume = b.Group(page, "group_volume", "Sound Volume", 6, 4, 300, 80);
  radio_originalvolume = b.Radio(volume, "radio_originalvolume", "Original", 10, 20, 120, true);
  radio_changevolume = b.Radio(volume, "radio_changevolume", "Change To", 10, 46, 92);
  spin_volume = b.Spin(volume, "spin_volume", 20, 800, 100, 104, 45, 64, 3);
  b.Label(volume, "%", 172, 48);
  TGroupBox* tempo = b.Group(page, "group_tempo", "Sound Tempo", 314, 4, 300, 80);
  radio_originaltempo = b.Radio(tempo, "radio_originaltempo", "Original", 10, 20, 120, true);
  radio_changetempo = b.Radio(tempo, "radio_changetempo", "Change To", 10, 46, 92);
  spin_tempo = b.Spin(tempo, "spin_tempo", 20, 800, 100, 104, 45, 64, 3);
  b.Label(tempo, "%", 172, 48);

  radio_originalvolume->OnClick = [this](TObject* S) { radio_originalvolumeClick(S); };
  radio_changevolume->OnClick = [this](TObject* S) { radio_changevolumeClick(S); };
  radio_originaltempo->OnClick = [this](TObject* S) { radio_originaltempoClick(S); };
  radio_changetempo->OnClick = [this](TObject* S) { radio_changetempoClick(S); };
  for (TSpinEdit* spin : {spin_volume, spin_tempo}) {
    spin->OnKeyPress = [this](TObject* S, char& K) { DigitsOnlyKeyPress(S, K); };
    spin->OnExit = [this](TObject* S) { SpinFieldExit(S); };
  }
}

void Tmain::CreateVideoPage() {
  const TPageBuilder b{this};
  TWinControl* page = videosheet;
  TGroupBox* g = b.Group(page, "group_framesize2", "Frame Size", 6, 4, 276, 142);
  radio_originalframesize2 = b.Radio(g, "radio_originalframesize2", "Original", 10, 18, 120, true);
  radio_customframesize2 = b.Radio(g, "radio_customframesize2", "Custom", 10, 42, 78);
  EdCustomWidth2 = b.Spin(g, "EdCustomWidth2", 2, 10000, 2, 90, 41, 70, 5);
  b.Label(g, "X", 166, 44)->SetWidth(12);
  EdCustomHeight2 = b.Spin(g, "EdCustomHeight2", 2, 10000, 2, 182, 41, 70, 5);
  EdCustomWidth2->SetAccessibleName("Custom width");
  EdCustomHeight2->SetAccessibleName("Custom height");
  cb_proportion2 = b.Check(g, "cb_proportion2", "Proportion", 20, 66, 200, true, false);
  cb_pad2 = b.Check(g, "cb_pad2", "Add padding to fit customize frame size", 20, 88, 252, true, false);
  radio_crop2 = b.Radio(g, "radio_crop2", "Crop Frame", 10, 114, 96);
  bt_setcrop2 = b.Button(g, "bt_setcrop2", "Set Cropping Area", 110, 111, 144, false);
  bt_setcrop2->OnClick = [this](TObject* S) { bt_setcrop2Click(S); };

  auto percentRow = [&](const AnsiString& GroupName, const AnsiString& Caption, Integer L, Integer T_,
                        const AnsiString& Stem, TRadioButton*& Original, TRadioButton*& Change, TSpinEdit*& Spin) {
    TGroupBox* box = b.Group(page, GroupName, Caption, L, T_, 210, 74);
    Original = b.Radio(box, "radio_original" + Stem, "Original", 10, 18, 120, true);
    Change = b.Radio(box, "radio_change" + Stem, "Change To", 10, 44, 92);
    Spin = b.Spin(box, "spin_" + Stem, 20, 800, 100, 104, 43, 64, 3);
    b.Label(box, "%", 172, 46);
  };
  percentRow("group_volume2", "Sound Volume", 288, 4, "volume2", radio_originalvolume2, radio_changevolume2, spin_volume2);
  percentRow("group_tempo2", "Sound Tempo", 288, 82, "tempo2", radio_originaltempo2, radio_changetempo2, spin_tempo2);
  percentRow("group_motion", "Image Motion", 504, 4, "motion", radio_originalmotion, radio_changemotion, spin_motion);
  TGroupBox* transform = b.Group(page, "group_imagetransform2", "Image Transform", 504, 82, 210, 58);
  Button1 = b.Button(transform, "Button1", "Set Transform Effects", 10, 22, 180);

  radio_originalframesize2->OnClick = [this](TObject* S) { radio_originalframesize2Click(S); };
  radio_customframesize2->OnClick = [this](TObject* S) { radio_customframesize2Click(S); };
  radio_crop2->OnClick = [this](TObject* S) { radio_crop2Click(S); };
  cb_proportion2->OnClick = [this](TObject* S) { cb_proportion2Click(S); };
  EdCustomWidth2->OnChange = [this](TObject* S) { EdCustomWidth2Change(S); };
  EdCustomHeight2->OnChange = [this](TObject* S) { EdCustomHeight2Change(S); };
  radio_originalvolume2->OnClick = [this](TObject* S) { radio_originalvolume2Click(S); };
  radio_changevolume2->OnClick = [this](TObject* S) { radio_changevolume2Click(S); };
  radio_originaltempo2->OnClick = [this](TObject* S) { radio_originaltempo2Click(S); };
  radio_changetempo2->OnClick = [this](TObject* S) { radio_changetempo2Click(S); };
  radio_originalmotion->OnClick = [this](TObject* S) { radio_originalmotionClick(S); };
  radio_changemotion->OnClick = [this](TObject* S) { radio_changemotionClick(S); };
  for (TSpinEdit* spin : {EdCustomWidth2, EdCustomHeight2, spin_volume2, spin_tempo2, spin_motion}) {
    spin->OnKeyPress = [this](TObject* S, char& K) { DigitsOnlyKeyPress(S, K); };
    spin->OnExit = [this](TObject* S) { SpinFieldExit(S); };
  }
}

// --- which field each choice enables ---

void Tmain::SelectExtractMode(TWinControl* Field) {
  for (TWinControl* f : std::initializer_list<TWinControl*>{edit_everyseconds, cb_framerate, edit_everyframes,
                                                            edit_imageamount, se_scenechange, edit_express}) {
    f->SetEnabled(f == Field);
  }
}

void Tmain::radio_allframesClick(TObject*) { SelectExtractMode(nullptr); }
void Tmain::radio_everysecondsClick(TObject*) { SelectExtractMode(edit_everyseconds); }
void Tmain::radio_fpsClick(TObject*) { SelectExtractMode(cb_framerate); }
void Tmain::radio_everyframesClick(TObject*) { SelectExtractMode(edit_everyframes); }
void Tmain::radio_totalClick(TObject*) { SelectExtractMode(edit_imageamount); }
void Tmain::radio_sceneClick(TObject*) { SelectExtractMode(se_scenechange); }
void Tmain::radio_expressClick(TObject*) { SelectExtractMode(edit_express); }

void Tmain::ck_tileClick(TObject*) {
  se_lines->SetEnabled(ck_tile->Checked());
  se_columns->SetEnabled(ck_tile->Checked());
}

void Tmain::ck_maxlengthClick(TObject*) { ed_maxlength->SetEnabled(ck_maxlength->Checked()); }

void Tmain::radio_asvideonameClick(TObject*) {
  ck_maxlength->SetEnabled(true);
  ed_maxlength->SetEnabled(ck_maxlength->Checked());
  edit_namestring->SetEnabled(false);
}

void Tmain::radio_asstringClick(TObject*) {
  ck_maxlength->SetEnabled(false);
  ed_maxlength->SetEnabled(false);
  edit_namestring->SetEnabled(true);
}

namespace {
void EnableFrameSizeFields(TSpinEdit* W, TSpinEdit* H, TCheckBox* Proportion, TCheckBox* Pad, TButton* Crop,
                           bool Custom, bool Cropping) {
  W->SetEnabled(Custom);
  H->SetEnabled(Custom);
  Proportion->SetEnabled(Custom);
  Pad->SetEnabled(Custom);
  Crop->SetEnabled(Cropping);
}
}  // namespace

void Tmain::radio_originalframesizeClick(TObject*) {
  EnableFrameSizeFields(EdCustomWidth, EdCustomHeight, cb_proportion, cb_pad, bt_setcrop, false, false);
  Integer w = 0, h = 0;
  if (LoadedVideoSize(w, h)) {
    EdCustomWidth->SetValue(w);
    EdCustomHeight->SetValue(h);
  }
}
void Tmain::radio_customframesizeClick(TObject*) {
  EnableFrameSizeFields(EdCustomWidth, EdCustomHeight, cb_proportion, cb_pad, bt_setcrop, true, false);
}
void Tmain::radio_cropClick(TObject*) {
  EnableFrameSizeFields(EdCustomWidth, EdCustomHeight, cb_proportion, cb_pad, bt_setcrop, false, true);
}
void Tmain::radio_originalframesize2Click(TObject*) {
  EnableFrameSizeFields(EdCustomWidth2, EdCustomHeight2, cb_proportion2, cb_pad2, bt_setcrop2, false, false);
}
void Tmain::radio_customframesize2Click(TObject*) {
  EnableFrameSizeFields(EdCustomWidth2, EdCustomHeight2, cb_proportion2, cb_pad2, bt_setcrop2, true, false);
}
void Tmain::radio_crop2Click(TObject*) {
  EnableFrameSizeFields(EdCustomWidth2, EdCustomHeight2, cb_proportion2, cb_pad2, bt_setcrop2, false, true);
}

void Tmain::radio_originalvolumeClick(TObject*) { spin_volume->SetEnabled(false); }
void Tmain::radio_changevolumeClick(TObject*) { spin_volume->SetEnabled(true); }
void Tmain::radio_originaltempoClick(TObject*) { spin_tempo->SetEnabled(false); }
void Tmain::radio_changetempoClick(TObject*) { spin_tempo->SetEnabled(true); }
void Tmain::radio_originalvolume2Click(TObject*) { spin_volume2->SetEnabled(false); }
void Tmain::radio_changevolume2Click(TObject*) { spin_volume2->SetEnabled(true); }
void Tmain::radio_originaltempo2Click(TObject*) { spin_tempo2->SetEnabled(false); }
void Tmain::radio_changetempo2Click(TObject*) { spin_tempo2->SetEnabled(true); }
void Tmain::radio_originalmotionClick(TObject*) { spin_motion->SetEnabled(false); }
void Tmain::radio_changemotionClick(TObject*) { spin_motion->SetEnabled(true); }

// --- the proportion lock of the custom frame size ---

bool Tmain::LoadedVideoSize(Integer& Width, Integer& Height) const {
  TFFDecoder* decoder = FFtoimageDecoder();
  if (!decoder || !decoder->FormatContext || decoder->FirstVideoStreamIndex < 0) return false;
  TVideoStreamInfo info;
  decoder->GetFirstVideoStreamInfo(info);
  if (info.Width <= 0 || info.Height <= 0) return false;
  Width = info.Width;
  Height = info.Height;
  return true;
}

void Tmain::ProportionFollow(TSpinEdit* Source, TSpinEdit* Target, TCheckBox* Lock, bool WidthChanged) {
  if (!Lock->Checked()) return;
  Integer sw = 0, sh = 0;
  // Before a video is loaded there are no proportions to keep.
  if (!LoadedVideoSize(sw, sh)) return;
  Integer typed = 0;
  if (!TryStrToInt(Source->Text(), typed)) return;
  const double ratio = WidthChanged ? double(sh) / sw : double(sw) / sh;
  const Int64 other = SafeRound<Int64>(typed * ratio);
  Target->SetText(IntToStr(other));
  if (other > Target->MaxValue()) {
    Target->SetValue(Target->MaxValue());
    Lock->SetChecked(false);
  }
}

void Tmain::EdCustomWidthChange(TObject*) {
  if (FSuspendWidthChange) return;
  FlagGuard hold(FSuspendHeightChange);
  ProportionFollow(EdCustomWidth, EdCustomHeight, cb_proportion, true);
}

void Tmain::EdCustomHeightChange(TObject*) {
  if (FSuspendHeightChange) return;
  FlagGuard hold(FSuspendWidthChange);
  ProportionFollow(EdCustomHeight, EdCustomWidth, cb_proportion, false);
}

void Tmain::EdCustomWidth2Change(TObject*) {
  if (FSuspendWidth2Change) return;
  FlagGuard hold(FSuspendHeight2Change);
  ProportionFollow(EdCustomWidth2, EdCustomHeight2, cb_proportion2, true);
}

void Tmain::EdCustomHeight2Change(TObject*) {
  if (FSuspendHeight2Change) return;
  FlagGuard hold(FSuspendWidth2Change);
  ProportionFollow(EdCustomHeight2, EdCustomWidth2, cb_proportion2, false);
}

void Tmain::ProportionChecked(TSpinEdit* Width, TSpinEdit* Height, TCheckBox* Lock) {
  Integer sw = 0, sh = 0;
  if (Lock->Checked() && LoadedVideoSize(sw, sh)) {
    // A width that is not a number is reported by the application's handler.
    const Integer w = StrToInt(Width->Text());
    Height->SetText(IntToStr(SafeRound<Int64>(double(w) * sh / sw)));
  }
  if (Height->Value() > Height->MaxValue()) Height->SetValue(Height->MaxValue());
}

void Tmain::cb_proportionClick(TObject*) { ProportionChecked(EdCustomWidth, EdCustomHeight, cb_proportion); }
void Tmain::cb_proportion2Click(TObject*) { ProportionChecked(EdCustomWidth2, EdCustomHeight2, cb_proportion2); }

// --- key filters and the values put back on leaving a field ---

void Tmain::DigitsOnlyKeyPress(TObject*, char& Key) {
  if ((Key < '0' || Key > '9') && Key != VK_BACKSPACE_CHAR) Key = 0;
}

void Tmain::RestoreCountDefault(TEdit* Field, const char* Default) {
  double value = 0;
  if (!TryStrToFloat(Field->Text(), value) || value == 0) Field->SetText(Default);
}

void Tmain::edit_imageamountExit(TObject*) { RestoreCountDefault(edit_imageamount, "10"); }
void Tmain::edit_everyframesExit(TObject*) { RestoreCountDefault(edit_everyframes, "50"); }
void Tmain::edit_everysecondsExit(TObject*) { RestoreCountDefault(edit_everyseconds, "1"); }
void Tmain::edit_expressExit(TObject*) { RestoreCountDefault(edit_express, "10"); }

void Tmain::SpinFieldExit(TObject* Sender) {
  auto* spin = dynamic_cast<TSpinEdit*>(Sender);
  if (!spin) return;
  spin->SetText(IntToStr(spin->Value()));
  spin->SetValue(spin->Value());
}

void Tmain::Button3Click(TObject*) { effects->ShowModal(); }
void Tmain::Button1Click(TObject*) { effects2->ShowModal(); }
