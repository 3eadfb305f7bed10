#include <gtest/gtest.h>

#include <vector>

#include "imaging/view/ie_view_base.h"

namespace {

// The smallest view: the abstract image operations are not needed to test the callback list.
class TPlainView : public TIEView {
 public:
  using TIEView::TIEView;
  ~TPlainView() override { NotifyDestroying(); }
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool HasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void SuspendPaint() override {}
  Integer ResumePaint() override { return 0; }
  Integer ResumePaintQuiet() override { return 0; }
};

TEST(ViewBase, CallbacksRunInOrderAndSurviveRemovalWhileRunning) {
  std::vector<std::pair<int, bool>> Calls;
  auto* View = new TPlainView(nullptr);
  TIENotifyHandle Second = -1;
  TIENotifyHandle First = View->AddNotifyCallback([&](TIEView*, bool D) {
    Calls.push_back({1, D});
    View->RemoveNotifyCallback(Second);  // a component detaching another one mid-walk
  });
  Second = View->AddNotifyCallback([&](TIEView*, bool D) { Calls.push_back({2, D}); });
  View->AddNotifyCallback([&](TIEView*, bool D) { Calls.push_back({3, D}); });
  EXPECT_NE(First, Second);

  View->RemoveNotifyCallback(-5);      // never valid
  View->RemoveNotifyCallback(123456);  // not in the list
  View->CallNotifyCallbacks();
  EXPECT_EQ(Calls, (std::vector<std::pair<int, bool>>{{1, false}, {3, false}}));

  Calls.clear();
  delete View;  // the remaining components learn once that the view is going away
  EXPECT_EQ(Calls, (std::vector<std::pair<int, bool>>{{1, true}, {3, true}}));
}

TEST(ViewBase, ResolutionIgnoresZero) {
  TPlainView View(nullptr);
  View.SetDpi(300, 150);
  View.SetDpi(0, 0);
  EXPECT_EQ(View.DpiX(), 300);
  EXPECT_EQ(View.DpiY(), 150);
  EXPECT_EQ(View.Background(), clBtnFace);
}

}  // namespace
