// The small base of every image view. Components that work on a view's image (the I/O and
// processing components) hold a TIEView and learn through its change callbacks that the view's
// image object was replaced or that the view is going away.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/gui/colors.h"
#include "platform/gui/controls.h"
#include "platform/gui/forms.h"

class TBitmap;
class TIEBitmap;
class TIEMask;
class TIEView;
class TStream;

// Called with the view and True when the view is being destroyed, False when its image changed.
using TIEViewNotifyEvent = std::function<void(TIEView* View, bool Destroying)>;
// What AddNotifyCallback hands out; a negative handle is never valid.
using TIENotifyHandle = Integer;

class TIEView : public TCustomControl {
 public:
  explicit TIEView(TComponent* AOwner);
  ~TIEView() override;

  TIENotifyHandle AddNotifyCallback(TIEViewNotifyEvent Callback);
  void RemoveNotifyCallback(TIENotifyHandle Handle);
  virtual void CallNotifyCallbacks();

  TColor Background() const { return FBackground; }
  void SetBackgroundColor(TColor Value) { SetBackground(Value); }
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value) { FBorderStyle = Value; }
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value) { FCtl3D = Value; }
  Integer DpiX() const { return FDpiX; }
  Integer DpiY() const { return FDpiY; }

  virtual void SetBackground(TColor Value);
  virtual TBitmap* GetBitmap();
  virtual TIEBitmap* GetIEBitmap();
  virtual TIEBitmap* GetAlphaChannel() = 0;
  virtual bool HasAlphaChannel() = 0;
  virtual void RemoveAlphaChannel(bool Merge) = 0;
  virtual void SuspendPaint() = 0;
  virtual Integer ResumePaint() = 0;
  virtual Integer ResumePaintQuiet() = 0;
  virtual void SetDpiX(Integer Value);
  virtual void SetDpiY(Integer Value);
  virtual void SetDpi(Integer X, Integer Y);
  virtual void ImageChange();

  TCanvas* GetCanvas() const { return Canvas(); }

  // What the processing component asks of a view that has a selection and layers. A view
  // without them keeps these answers, so operations cover the whole image and only image
  // snapshots are kept for undo.
  // The selection mask; nil for a view that has no selection at all.
  virtual TIEMask* GetSelectionMask() { return nullptr; }
  virtual bool HasSelection() { return false; }
  virtual const TPoint* GetSelectionPolygon() { return nullptr; }
  virtual Integer GetSelectionPolygonCount() { return 0; }
  virtual Integer GetLayerCount() { return 0; }
  virtual Integer GetCurrentLayerIndex() { return -1; }
  virtual TIEBitmap* GetLayerBitmap(Integer) { return nullptr; }
  // The selection written to or read back from an undo snapshot; False when there is none.
  virtual bool SaveSelectionSnapshot(TStream*) { return false; }
  virtual bool LoadSelectionSnapshot(TStream*) { return false; }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  // The control's own enter and leave notifications, passed on to the view's events.
  void MouseEnter() override;
  void MouseLeave() override;

  // Tells every registered component that the view is going away; the derived view calls it
  // first thing in its destructor, while the image the components hold still exists.
  void NotifyDestroying();

  TColor FBackground = clBtnFace;
  Integer FDpiX = 0;
  Integer FDpiY = 0;

 private:
  struct TNotifyRecord {
    TIENotifyHandle Handle;
    TIEViewNotifyEvent Callback;
  };
  std::vector<TNotifyRecord> FNotifyList;
  TIENotifyHandle FNextHandle = 1;
  bool FNotifiedDestroying = false;
  TFormBorderStyle FBorderStyle = bsSingle;
  bool FCtl3D = true;
};
