// The small stay-on-top window in which a running task shows its frames. The task calls Update
// from its worker thread; every window access happens on the main thread.
#pragma once

#include <atomic>

#include "media/engine/engine_events.h"
#include "platform/gui/forms.h"

class TBitmap;

// Keeps the last frame it was given and paints it, so a repaint does not blank the window.
// Pressing the left button anywhere in the window starts moving it.
class TPreviewerForm : public TForm {
 public:
  TPreviewerForm();
  ~TPreviewerForm() override;

  void SetFrame(TBitmap* Bitmap);
  TBitmap* Frame() const { return FFrame; }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  TBitmap* FFrame;
};

class TPreviewer : public TObject, public TPreviewSink {
 public:
  TPreviewer();
  // Frees the window on the main thread, from whichever thread the previewer goes.
  ~TPreviewer() override;

  // Shows the frame, waiting until it is drawn. False once the user has closed the window: the
  // caller then sends no more frames.
  bool Update(TBitmap* ABitmap, Integer AFrameNumber, Int64 APTS) override;

  TPreviewerForm* Form = nullptr;
  std::atomic<bool> Closed{false};
  TBitmap* Bitmap = nullptr;  // the task's, valid during Update only
  Integer FrameNumber = 0;
  Int64 PTS = 0;

 private:
  void ShowFrame();
  void CreateForm();
  void FreeForm();
  void FormCloseQuery(TObject* Sender, bool& CanClose);
};
