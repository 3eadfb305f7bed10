#include "media/components/previewer.h"

#include "media/binding/media_text.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/mainthread.h"

TPreviewerForm::TPreviewerForm() : TForm(nullptr), FFrame(new TBitmap()) {}

TPreviewerForm::~TPreviewerForm() { delete FFrame; }

void TPreviewerForm::SetFrame(TBitmap* Bitmap) {
  // A copy: the task reuses its bitmap for the next frame while this one may still be repainted.
  FFrame->Assign(Bitmap);
  Invalidate();
}

void TPreviewerForm::Paint() {
  TForm::Paint();
  if (FFrame->Width() > 0 && FFrame->Height() > 0) Canvas()->Draw(0, 0, FFrame);
}

void TPreviewerForm::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TForm::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) BeginWindowDrag();
}

TPreviewer::TPreviewer() = default;

TPreviewer::~TPreviewer() {
  try {
    RunInMainThread([this] { FreeForm(); });
  } catch (...) {
    // The main thread no longer serves calls: the process is ending and takes the window along.
  }
}

bool TPreviewer::Update(TBitmap* ABitmap, Integer AFrameNumber, Int64 APTS) {
  if (!Closed) {
    Bitmap = ABitmap;
    FrameNumber = AFrameNumber;
    PTS = APTS;
    RunInMainThread([this] { ShowFrame(); });
    Bitmap = nullptr;
  }
  return !Closed;
}

void TPreviewer::ShowFrame() {
  if (Closed || !Bitmap) return;
  if (!Form) {
    CreateForm();
    Form->SetClientWidth(Bitmap->Width());
    Form->SetClientHeight(Bitmap->Height());
    Form->Show();
  }
  Form->SetCaption(FormatTimeUs(PTS));
  Form->SetFrame(Bitmap);
}

void TPreviewer::CreateForm() {
  Form = new TPreviewerForm();
  Form->SetFormStyle(fsStayOnTop);
  Form->SetBorderStyle(bsToolWindow);
  Form->SetBorderIcons(biSystemMenu);
  Form->SetPosition(poScreenCenter);
  Form->OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
}

void TPreviewer::FormCloseQuery(TObject*, bool& CanClose) {
  Closed = true;
  CanClose = true;
}

void TPreviewer::FreeForm() {
  delete Form;
  Form = nullptr;
}
