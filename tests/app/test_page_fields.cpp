#include <gtest/gtest.h>

#include "platform/gui/input_simulation.h"
#include "tests/app/app_windows_fixture.h"

namespace {

using apptest::AppWindows;
using apptest::Clip;

TEST_F(AppWindows, FieldsStartWithTheirDefaultsAndLimits) {
  struct Spin {
    TSpinEdit* field;
    Integer min, max, value, maxLength;
  };
  const Spin spins[] = {
      {main->se_scenechange, 1, 100, 10, 2},  {main->se_lines, 1, 15, 2, 2},
      {main->se_columns, 1, 15, 3, 2},        {main->EdCustomWidth, 2, 10000, 2, 5},
      {main->EdCustomHeight, 2, 10000, 2, 5}, {main->ed_maxlength, 2, 100, 5, 3},
      {main->spin_volume, 20, 800, 100, 3},   {main->spin_tempo, 20, 800, 100, 3},
      {main->EdCustomWidth2, 2, 10000, 2, 5}, {main->spin_motion, 20, 800, 100, 3},
  };
  for (const Spin& s : spins) {
    SCOPED_TRACE(s.field->Name());
    EXPECT_EQ(s.field->MinValue(), s.min);
    EXPECT_EQ(s.field->MaxValue(), s.max);
    EXPECT_EQ(s.field->Value(), s.value);
    EXPECT_EQ(s.field->MaxLength(), s.maxLength);
    EXPECT_FALSE(s.field->Enabled());
  }
  const std::pair<TEdit*, const char*> edits[] = {{main->edit_everyseconds, "1"}, {main->edit_everyframes, "50"},
                                                  {main->edit_imageamount, "10"}, {main->edit_express, "10"},
                                                  {main->edit_namestring, ""}};
  for (const auto& [edit, text] : edits) {
    EXPECT_EQ(edit->Text(), text) << edit->Name();
    EXPECT_FALSE(edit->Enabled()) << edit->Name();
  }
  EXPECT_EQ(main->edit_namestring->MaxLength(), 50);
  for (TWinControl* checked : std::initializer_list<TWinControl*>{main->radio_allframes, main->radio_originalframesize,
                                                                  main->radio_asvideoname, main->radio_originalvolume,
                                                                  main->radio_originalmotion}) {
    EXPECT_TRUE(dynamic_cast<TRadioButton*>(checked)->Checked()) << checked->Name();
  }
  EXPECT_TRUE(main->cb_proportion->Checked());
  EXPECT_TRUE(main->cb_pad2->Checked());
  EXPECT_FALSE(main->ck_tile->Checked());
  EXPECT_FALSE(main->ch_isopenfolder->Checked());
  EXPECT_FALSE(main->bt_setcrop->Enabled());
  EXPECT_TRUE(main->Button3->Enabled());
  EXPECT_EQ(main->pageto->ActivePage(), main->imagesheet);
  EXPECT_EQ(main->pageto->PageTotal(), 3);
}

TEST_F(AppWindows, RadiosEnableTheirOwnFieldsOnly) {
  const std::pair<TRadioButton*, TWinControl*> modes[] = {
      {main->radio_everyseconds, main->edit_everyseconds}, {main->radio_fps, main->cb_framerate},
      {main->radio_everyframes, main->edit_everyframes},   {main->radio_total, main->edit_imageamount},
      {main->radio_scene, main->se_scenechange},           {main->radio_express, main->edit_express},
      {main->radio_allframes, nullptr}};
  const TWinControl* fields[] = {main->edit_everyseconds, main->cb_framerate, main->edit_everyframes,
                                 main->edit_imageamount, main->se_scenechange, main->edit_express};
  for (const auto& [radio, own] : modes) {
    radio->SetChecked(true);
    for (const TWinControl* f : fields) EXPECT_EQ(f->Enabled(), f == own) << radio->Name() << " " << f->Name();
  }
  main->radio_crop->SetChecked(true);
  EXPECT_TRUE(main->bt_setcrop->Enabled());
  EXPECT_FALSE(main->EdCustomWidth->Enabled());
  main->radio_customframesize->SetChecked(true);
  EXPECT_FALSE(main->bt_setcrop->Enabled());
  EXPECT_TRUE(main->EdCustomHeight->Enabled());
  EXPECT_TRUE(main->cb_pad->Enabled());
  main->ck_tile->SetChecked(true);
  EXPECT_TRUE(main->se_columns->Enabled());
  main->ck_maxlength->SetChecked(true);
  EXPECT_TRUE(main->ed_maxlength->Enabled());
  main->radio_asstring->SetChecked(true);
  EXPECT_FALSE(main->ed_maxlength->Enabled());
  EXPECT_FALSE(main->ck_maxlength->Enabled());
  EXPECT_TRUE(main->edit_namestring->Enabled());
  main->radio_asvideoname->SetChecked(true);
  EXPECT_TRUE(main->ed_maxlength->Enabled());
  main->radio_changetempo->SetChecked(true);
  EXPECT_TRUE(main->spin_tempo->Enabled());
  main->radio_originaltempo->SetChecked(true);
  EXPECT_FALSE(main->spin_tempo->Enabled());
}

TEST_F(AppWindows, NumericFieldsTakeDigitsAndBackspaceOnly) {
  for (TWinControl* field : std::initializer_list<TWinControl*>{main->edit_imageamount, main->EdCustomWidth2, main->spin_motion}) {
    for (char key : {'a', '-', '.', ' ', '5', '\b'}) {
      char k = key;
      ASSERT_TRUE(field->OnKeyPress) << field->Name();
      field->OnKeyPress(field, k);
      EXPECT_EQ(k, (key == '5' || key == '\b') ? key : 0) << field->Name() << " " << int(key);
    }
  }
}

TEST_F(AppWindows, LeavingAFieldPutsAUsableValueBack) {
  const struct {
    TCustomEdit* field;
    const char* typed;
    const char* left;
  } cases[] = {
      {main->edit_express, "", "10"},     {main->edit_express, "0", "10"},     {main->edit_express, "00", "10"},
      {main->edit_express, "007", "007"}, {main->edit_imageamount, "x", "10"}, {main->edit_everyframes, "0", "50"},
      {main->edit_everyseconds, "", "1"}, {main->spin_tempo, "900", "800"},    {main->spin_tempo, "", "20"},
      {main->se_lines, "0", "1"},         {main->spin_volume2, "250", "250"},
  };
  for (const auto& c : cases) {
    c.field->SetText(c.typed);
    ASSERT_TRUE(c.field->OnExit) << c.field->Name();
    c.field->OnExit(c.field);
    EXPECT_EQ(c.field->Text(), c.left) << c.field->Name() << " typed \"" << c.typed << "\"";
  }
}

TEST_F(AppWindows, ProportionLockFollowsTheVideoSize) {
  const std::string wide = testsupport::Fixture(
      "app_1920x1080.mp4",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=gray:size=1920x1080:rate=5 -t 1 -c:v mpeg4 {out}");
  main->load_videofile(wide);
  EXPECT_EQ(main->EdCustomWidth->Value(), 1920);
  EXPECT_EQ(main->EdCustomHeight->Value(), 1080);
  main->radio_customframesize->SetChecked(true);
  main->EdCustomWidth->SetText("1280");
  EXPECT_EQ(main->EdCustomHeight->Text(), "720");
  main->EdCustomHeight2->SetText("540");
  EXPECT_EQ(main->EdCustomWidth2->Text(), "960");
  main->EdCustomWidth->SetText("");  // typing: nothing follows
  EXPECT_EQ(main->EdCustomHeight->Text(), "720");
  main->EdCustomWidth->SetText("1000");
  // "Original" puts the video's size back on the images page only.
  main->radio_originalframesize->SetChecked(true);
  main->radio_originalframesize2->SetChecked(true);
  EXPECT_EQ(main->EdCustomWidth->Value(), 1920);
  EXPECT_EQ(main->EdCustomHeight->Value(), 1080);
  EXPECT_EQ(main->EdCustomWidth2->Value(), 960);
}

TEST_F(AppWindows, ProportionLockGivesUpAboveTheLimit) {
  // 108 x 192 has the proportions of 1080 x 1920: width 6000 would need height 10667.
  const std::string tall = testsupport::Fixture(
      "app_108x192.mp4",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=gray:size=108x192:rate=5 -t 1 -c:v mpeg4 {out}");
  main->load_videofile(tall);
  main->EdCustomWidth->SetText("6000");
  EXPECT_EQ(main->EdCustomHeight->Value(), 10000);
  EXPECT_FALSE(main->cb_proportion->Checked());
  main->EdCustomWidth->SetText("540");  // the lock is off now
  EXPECT_EQ(main->EdCustomHeight->Value(), 10000);
}

TEST_F(AppWindows, ProportionLockDoesNothingBeforeAVideoIsLoaded) {
  main->EdCustomWidth->SetText("640");
  EXPECT_EQ(main->EdCustomHeight->Text(), "2");
  main->cb_proportion->SetChecked(false);
  main->cb_proportion->SetChecked(true);
  EXPECT_EQ(main->EdCustomHeight->Text(), "2");
  EXPECT_TRUE(services.Calls.empty());
}

}  // namespace
