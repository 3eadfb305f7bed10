// The crop dialogs driven from the pages: the picture they show, and their edits against the
// view's selection.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/crop_dialogs.h"
#include "platform/gui/input_simulation.h"
#include "platform/rtl/files.h"
#include "tests/app/app_windows_fixture.h"

namespace {

namespace fs = std::filesystem;

class CropDialogs : public apptest::AppWindows {};

// Opens Dialog from its page and runs Action inside it; false when it did not open.
bool WhileOpen(Tmain* Main, TCropDialog* Dialog, const std::function<void()>& Action) {
  bool opened = false;
  TTimer act(nullptr);
  act.SetInterval(5);
  act.OnTimer = [&](TObject*) {
    if (!Dialog->Modal() || opened) return;
    opened = true;
    Action();
    Dialog->Button1->Click();
  };
  act.SetEnabled(true);
  if (Dialog == setcrop)
    Main->bt_setcropClick(Main->bt_setcrop);
  else
    Main->bt_setcrop2Click(Main->bt_setcrop2);
  return opened;
}

TEST_F(CropDialogs, TheSnapshotIsTheFrameAtTheMiddleOfTheVideo) {
  EXPECT_EQ(setcrop->ClientWidth(), 695);
  EXPECT_EQ(setcrop->ClientHeight(), 520);
  EXPECT_EQ(setcrop2->ClientWidth(), 693);
  EXPECT_EQ(setcrop2->ClientHeight(), 518);
  EXPECT_EQ(setcrop->Label1->Caption(), "Use Your Mouse to Select the Cropping Area");

  // Nothing loaded: no dialog.
  EXPECT_FALSE(WhileOpen(main, setcrop, [] {}));
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{"The source video file is NOT loaded!"});
  services.Calls.clear();

  const std::string clip = apptest::Clip(2);
  main->load_videofile(clip);
  bool editsDisabled = false;
  Integer width = 0, height = 0;
  ASSERT_TRUE(WhileOpen(main, setcrop, [&] {
    editsDisabled = !setcrop->ed_w->Enabled() && !setcrop->ed_hp->Enabled();
    width = setcrop->ZodivErView1->ImageWidth();
    height = setcrop->ZodivErView1->ImageHeight();
  }));
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_TRUE(editsDisabled) << "nothing selected yet";
  EXPECT_EQ(width, 160);
  EXPECT_EQ(height, 90);

  const std::string dir = testsupport::MakeTempDir("snapshot");
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -ss 1 -i " + testsupport::ShellQuote(clip) +
                     " -vframes 1 " + testsupport::ShellQuote(dir + "/middle.png"));
  std::string out;
  testsupport::Run("compare -metric RMSE " + testsupport::ShellQuote(AppWorkFolder() + "test.bmp") + " " +
                       testsupport::ShellQuote(dir + "/middle.png") + " null: 2>&1",
                   &out);
  const size_t open = out.find('(');
  ASSERT_NE(open, std::string::npos) << out;
  EXPECT_LT(std::stod(out.substr(open + 1)), 0.01) << out;
  // Not the frame a second away: the snapshot is told apart from its neighbours.
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -ss 0 -i " + testsupport::ShellQuote(clip) +
                     " -vframes 1 " + testsupport::ShellQuote(dir + "/first.png"));
  out.clear();
  testsupport::Run("compare -metric RMSE " + testsupport::ShellQuote(AppWorkFolder() + "test.bmp") + " " +
                       testsupport::ShellQuote(dir + "/first.png") + " null: 2>&1",
                   &out);
  EXPECT_GT(std::stod(out.substr(out.find('(') + 1)), 0.02) << out;
  testsupport::RemoveTree(dir);
}

TEST_F(CropDialogs, EditsAndSelectionAgree) {
  main->load_videofile(apptest::Clip(2));
  TCropDialog* d = setcrop;
  TCropArea afterWidth, afterLeft, afterOversize;
  AnsiString shownWidth, shownLeft, keptHeight, keptWidth;
  bool enabled = false;
  ASSERT_TRUE(WhileOpen(main, d, [&] {
    TZodivErView* view = d->ZodivErView1;
    view->SetSelectionBase(iesbBitmap);
    view->Select(20, 10, 60, 50, 0);
    d->ZodivErView1SelectionChange(view);
    d->ZodivErView1SelectionChanging(view);
    enabled = d->ed_w->Enabled();
    shownWidth = d->ed_w->Text();
    // Width 100 from X1 = 20: up to 120, one past the last column.
    d->ed_w->SetText("100");
    afterWidth = d->Selection();
    // Position 0 is a position like any other.
    d->ed_hp->SetText("0");
    d->ed_hpExit(d->ed_hp);
    shownLeft = d->ed_hp->Text();
    afterLeft = d->Selection();
    // A size of 0 becomes 1; a size past the picture stops at its edge, and the edit says so.
    d->ed_h->SetText("0");
    d->ed_hExit(d->ed_h);
    keptHeight = d->ed_h->Text();
    d->ed_w->SetText("5000");
    d->ed_wExit(d->ed_w);
    keptWidth = d->ed_w->Text();
    afterOversize = d->Selection();
  }));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(shownWidth, "40");
  EXPECT_EQ(afterWidth, (TCropArea{20, 10, 119, 49}));
  EXPECT_EQ(afterWidth.Width(), 100);
  EXPECT_EQ(shownLeft, "0");
  EXPECT_EQ(afterLeft, (TCropArea{0, 10, 119, 49}));
  EXPECT_EQ(keptHeight, "1");
  EXPECT_EQ(keptWidth, "160");
  EXPECT_EQ(afterOversize, (TCropArea{0, 10, 159, 10}));
  // The selection stays for the run; the clip run's dialog keeps its own.
  EXPECT_EQ(setcrop->Selection(), afterOversize);
  EXPECT_TRUE(setcrop2->Selection().Empty());

  // Only digits and backspace reach an edit.
  for (char key : {'a', '-', ' ', '7', '\b'}) {
    char k = key;
    d->ed_hpKeyPress(d->ed_hp, k);
    EXPECT_EQ(k, (key >= '0' && key <= '9') || key == '\b' ? key : 0) << int(key);
  }
}

// Typed as the user types it, the edits end showing the area the run will cut: the frame run's
// exactly as typed, the clip run's with an even size (its encoders need one), kept inside the
// picture, and the rectangle on the picture is that area.
TEST_F(CropDialogs, TheEditsShowTheAreaTheRunCuts) {
  main->load_videofile(apptest::Clip(2));  // 160 x 90
  const struct {
    bool Clip;
    TCropFields Typed, Shown;
  } cases[] = {
      {false, {39, 27, 101, 51}, {39, 27, 101, 51}},
      {true, {39, 27, 101, 51}, {39, 27, 102, 52}},
      {true, {40, 20, 100, 50}, {40, 20, 100, 50}},
      // One more line would pass the bottom edge: the area moves up by one.
      {true, {150, 81, 9, 9}, {150, 80, 10, 10}},
      // The whole width of a picture is even already.
      {true, {0, 0, 160, 89}, {0, 0, 160, 90}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Clip ? "clip " : "frames ") << c.Typed.Left << "," << c.Typed.Top << " "
                                    << c.Typed.Width << " x " << c.Typed.Height);
    TCropFields shown;
    ASSERT_TRUE(apptest::TypeCrop(main, c.Clip, c.Typed.Left, c.Typed.Top, c.Typed.Width, c.Typed.Height, &shown));
    EXPECT_EQ(shown, c.Shown);
    const TCropArea selected = (c.Clip ? static_cast<TCropDialog*>(setcrop2) : setcrop)->Selection();
    EXPECT_EQ(CropFieldsOf(selected), c.Shown);
  }
  EXPECT_TRUE(MessageTexts().empty());
}

}  // namespace
