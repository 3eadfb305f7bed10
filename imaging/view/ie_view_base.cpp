#include "imaging/view/ie_view_base.h"

#include <algorithm>

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {}

TIEView::~TIEView() { NotifyDestroying(); }

TIENotifyHandle TIEView::AddNotifyCallback(TIEViewNotifyEvent Callback) {
  TIENotifyHandle Handle = FNextHandle++;
  FNotifyList.push_back({Handle, std::move(Callback)});
  return Handle;
}

void TIEView::RemoveNotifyCallback(TIENotifyHandle Handle) {
  if (Handle < 0) return;
  auto It = std::find_if(FNotifyList.begin(), FNotifyList.end(),
                         [Handle](const TNotifyRecord& R) { return R.Handle == Handle; });
  if (It != FNotifyList.end()) FNotifyList.erase(It);
}

void TIEView::CallNotifyCallbacks() {
  // A callback may remove itself or others; walk a copy of the handles and look each one up.
  std::vector<TIENotifyHandle> Handles;
  for (const auto& R : FNotifyList) Handles.push_back(R.Handle);
  for (TIENotifyHandle H : Handles) {
    auto It = std::find_if(FNotifyList.begin(), FNotifyList.end(),
                           [H](const TNotifyRecord& R) { return R.Handle == H; });
    if (It != FNotifyList.end() && It->Callback) {
      auto Callback = It->Callback;
      Callback(this, false);
    }
  }
}

void TIEView::NotifyDestroying() {
  if (FNotifiedDestroying) return;
  FNotifiedDestroying = true;
  auto List = std::move(FNotifyList);
  FNotifyList.clear();
  for (auto& R : List)
    if (R.Callback) R.Callback(this, true);
}

void TIEView::SetBackground(TColor Value) { FBackground = Value; }
TBitmap* TIEView::GetBitmap() { return nullptr; }
TIEBitmap* TIEView::GetIEBitmap() { return nullptr; }

void TIEView::SetDpiX(Integer Value) {
  if (Value != 0) FDpiX = Value;
}

void TIEView::SetDpiY(Integer Value) {
  if (Value != 0) FDpiY = Value;
}

void TIEView::SetDpi(Integer X, Integer Y) {
  SetDpiX(X);
  SetDpiY(Y);
}

void TIEView::ImageChange() {}

void TIEView::MouseEnter() {
  TCustomControl::MouseEnter();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TIEView::MouseLeave() {
  TCustomControl::MouseLeave();
  if (OnMouseLeave) OnMouseLeave(this);
}
