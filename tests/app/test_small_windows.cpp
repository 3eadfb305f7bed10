#include <gtest/gtest.h>

#include "app/about_box.h"
#include "app/hint_windows.h"
#include "platform/gui/application.h"
#include "platform/gui/timers.h"
#include "platform/rtl/sysutils.h"
#include "tests/app/app_windows_fixture.h"

namespace {

using apptest::AppWindows;
using apptest::Clip;

TEST_F(AppWindows, DragHintShowsOverEitherPreviewOnlyWhileNoVideoIsLoaded) {
  main->SetLeft(100);
  main->SetTop(50);
  main->Image_start->OnMouseMove(main->Image_start, 0, 10, 10);
  EXPECT_TRUE(showdragvideo->Visible());
  EXPECT_EQ(showdragvideo->Left(), main->Left() + 120);
  EXPECT_EQ(showdragvideo->Top(), main->Top() + 160);
  main->image_end->OnMouseMove(main->image_end, 0, 10, 10);
  EXPECT_EQ(showdragvideo->Left(), main->Left() + 580);

  // A resize of the main window hides every hint.
  Integer w = 944, h = 686;
  bool allow = false;
  main->OnCanResize(main, w, h, allow);
  EXPECT_TRUE(allow);
  EXPECT_FALSE(showdragvideo->Visible());

  main->load_videofile(Clip(2));
  main->Image_start->OnMouseMove(main->Image_start, 0, 10, 10);
  main->image_end->OnMouseMove(main->image_end, 0, 10, 10);
  EXPECT_FALSE(showdragvideo->Visible());
  for (TForm* hint : std::initializer_list<TForm*>{showdragimage, showdragvideos, showdragimages, showdragaudios}) {
    EXPECT_FALSE(hint->Visible()) << hint->Name();
  }
  EXPECT_EQ(showdragaudios->ClientWidth(), 236);
  EXPECT_EQ(showdragaudios->ClientHeight(), 40);
}

TEST_F(AppWindows, AboutBoxOpensWithTheYearAndClosesWithItsButton) {
  bool wasShowing = false;
  AnsiString notice;
  TTimer closer(nullptr);
  closer.SetInterval(20);
  closer.OnTimer = [&](TObject*) {
    if (!about->Modal()) return;
    wasShowing = about->Visible();
    notice = about->Label2->Caption();
    about->Label5Click(about->Label5);
    about->Button1->Click();
  };
  closer.SetEnabled(true);
  main->Help1->Click();  // returns once the box has closed
  closer.SetEnabled(false);
  EXPECT_TRUE(wasShowing);
  EXPECT_FALSE(about->Visible());
  Word year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  EXPECT_NE(notice.find(IntToStr(Integer(year))), AnsiString::npos) << notice;

  main->help->Click();
  const auto opened = services.CallsOf("ShellOpen");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].Folder.rfind("https://", 0), 0u);
  EXPECT_EQ(opened[1].Folder.rfind("https://", 0), 0u);
}

// Closing the main window ends the application's loop for good, so it runs in a process of its own.
void ExitThroughTheMenu() {
  testsupport::ScriptedServices services;
  InitializeProgram();
  CreateProgramWindows();
  MainWindow->Show();
  MainWindow->mnuExit->Click();
  std::_Exit(!MainWindow->Visible() && Application->Terminated() ? 3 : 4);
}

TEST(MainWindowExit, ExitMenuClosesTheWindowAndEndsTheLoop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitThroughTheMenu(), ::testing::ExitedWithCode(3), "");
}

}  // namespace
