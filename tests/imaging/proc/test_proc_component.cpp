// The processing component's frame: the format gate, the three attachments and what becomes of
// them when the other side goes away, the selection's work area, and Clear.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/proc/ie_proc.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/extctrls.h"
#include "tests/imaging/proc/proc_test_util.h"

namespace {

using proctest::Pixel;
using proctest::TEvents;
using proctest::TLayeredView;

TEST(ProcFormatGate, ConvertsToTheFirstAllowedFormatOfItsRowOrRefuses) {
  struct TCase {
    TIEPixelFormat Current;
    TIEPixelFormatSet Allowed;
    bool AutoConvert;
    bool Result;
    TIEPixelFormat After;
  } cases[] = {
      {ie24RGB, IEFormatSet(ie24RGB), true, true, ie24RGB},
      {ie8p, IEFormatSet(ie24RGB), true, true, ie24RGB},
      // 8-bit grey, 16-bit grey and float come first in the 1-bit row but are not allowed.
      {ie1g, IEFormatSet(ie24RGB), true, true, ie24RGB},
      {ie8g, IEFormatSet(ie24RGB) | IEFormatSet(ieCMYK) | IEFormatSet(ie16g), true, true, ie16g},
      // No entry of the 24-bit row matches: the descending search finds 32-bit RGB.
      {ie24RGB, IEFormatSet(ie32RGB), true, true, ie32RGB},
      {ie8p, IEFormatSet(ie24RGB), false, false, ie8p},
      {ieCMYK, IEAnyFormat, false, true, ieCMYK},
  };
  for (const TCase& c : cases) {
    TIEBitmap image(4, 3, c.Current);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.AutoConvertFormat = c.AutoConvert;
    EXPECT_EQ(proc.BeginOperation(c.Allowed), c.Result) << int(c.Current);
    EXPECT_EQ(image.GetPixelFormat(), c.After) << int(c.Current);
    EXPECT_EQ(image.GetWidth(), 4);
  }
}

TEST(ProcComponent, CreationDefaultsDependOnTheOwner) {
  TZodivErProc loose(nullptr);
  EXPECT_FALSE(loose.AutoUndo);
  EXPECT_TRUE(loose.AutoConvertFormat);
  EXPECT_EQ(loose.UndoLimit(), 1);
  EXPECT_EQ(loose.Background(), 0);
  EXPECT_EQ(loose.PreviewsParams(), IEPreviewsParam(prppShowResetButton) | IEPreviewsParam(prppHardReset));
  ASSERT_NE(loose.GetImage(), nullptr);
  EXPECT_TRUE(loose.GetImage()->IsEmpty());
  TComponent owner(nullptr);
  auto* owned = new TZodivErProc(&owner);
  EXPECT_TRUE(owned->AutoUndo);

  TIPDialogParams* params = loose.DialogParams();
  EXPECT_EQ(params->Setting1(), -1);
  EXPECT_EQ(params->Matrix[1][1], 1);
  EXPECT_EQ(params->Matrix[0][0], 0);
  EXPECT_DOUBLE_EQ(params->Amount, 1.7);
  EXPECT_EQ(params->Values5[1], 10);
  EXPECT_TRUE(params->Flag);
  params->DialogState()->WriteBuffer("abc", 3);
  params->SetSetting3(7);
  EXPECT_EQ(params->Setting3(), 7);
  EXPECT_EQ(params->DialogState()->Size(), 0);
}

TEST(ProcComponent, FollowsTheViewsImageUntilTheViewGoesAway) {
  auto* view = new TLayeredView(2);
  view->SetBackgroundColor(0x123456);
  TZodivErProc proc(nullptr);
  proc.SetBackground(0x00FF00);  // the detached colour is not the view's
  proc.SetAttachedZodivEr(view);
  EXPECT_EQ(proc.GetImage(), view->Layers[0].get());
  EXPECT_EQ(proc.Background(), 0x123456);

  view->SetCurrent(1);
  EXPECT_EQ(proc.GetImage(), view->Layers[1].get());

  // Nil while a view is attached keeps the attachment, callback included: the component must
  // still follow the view when it replaces its image.
  proc.AttachBitmap(nullptr);
  EXPECT_EQ(proc.AttachedZodivEr(), view);
  view->SetCurrent(0);
  EXPECT_EQ(proc.GetImage(), view->Layers[0].get());
  view->Layers.pop_back();  // the old current image is gone; the component never held it

  proc.Clear();
  EXPECT_EQ(view->Updates, 1);
  EXPECT_EQ(view->ImageChanges, 1);
  EXPECT_EQ(Pixel(*view->Layers[0], 2, 2), (TRGB{0x12, 0x34, 0x56}));

  delete view;
  EXPECT_EQ(proc.AttachedZodivEr(), nullptr);
  ASSERT_NE(proc.GetImage(), nullptr);
  EXPECT_TRUE(proc.GetImage()->IsEmpty());
  EXPECT_EQ(proc.Background(), 0x00FF00);
  proc.Resample(4, 4, rfTriangle);  // nothing to work on, and nothing freed is touched
}

TEST(ProcComponent, WorksOnAPictureAndDropsItWhenThePictureGoes) {
  auto* picture = new TImage(nullptr);
  TBitmap* bitmap = picture->Picture()->Bitmap();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(10, 8);
  TZodivErProc proc(nullptr);
  proc.SetAttachedTImage(picture);
  ASSERT_EQ(proc.GetImage()->GetWidth(), 10);

  // The picture cannot hold the alpha channel that a transparent margin would give.
  proc.ImageResize(12, 8, 0, 0, 0);
  EXPECT_EQ(bitmap->Width(), 12);
  EXPECT_FALSE(proc.GetImage()->HasAlphaChannel());
  EXPECT_TRUE(bitmap->Modified());

  proc.Resample(5, 4, rfFastLinear);
  EXPECT_EQ(bitmap->Width(), 5);
  EXPECT_EQ(bitmap->Height(), 4);

  // A picture resized from outside is read again before the next operation.
  bitmap->SetSize(20, 2);
  proc.Resample(10, -1, rfNone);
  EXPECT_EQ(bitmap->Width(), 10);
  EXPECT_EQ(bitmap->Height(), 1);

  delete picture;
  EXPECT_EQ(proc.AttachedTImage(), nullptr);
  EXPECT_TRUE(proc.GetImage()->IsEmpty());
}

TEST(ProcComponent, ALegacyViewIsWorkedOnThroughItsFrameworkBitmap) {
  TBitmap legacy;
  legacy.SetPixelFormat(pf24bit);
  legacy.SetSize(6, 4);
  TLayeredView view(0);
  view.Legacy = &legacy;
  TZodivErProc proc(nullptr);
  proc.SetAttachedZodivEr(&view);
  ASSERT_NE(proc.GetImage(), nullptr);
  proc.ImageResize(9, 4, 0, 0, 0);
  EXPECT_EQ(legacy.Width(), 9);
  EXPECT_FALSE(proc.GetImage()->HasAlphaChannel());
  proc.SetAttachedZodivEr(nullptr);
  EXPECT_EQ(legacy.Width(), 9);  // the view's bitmap outlives the component's wrapper
}

TEST(ProcComponent, AnAreaOperationChangesOnlyTheSelectedPixels) {
  TLayeredView view(1, 40, 40);
  view.Layers[0]->Fill(0x000000);
  view.Mask.AllocateBits(40, 40, 1);
  // An ellipse inside the box (10, 20)-(19, 29).
  for (Integer y = 20; y <= 29; ++y)
    for (Integer x = 10; x <= 19; ++x)
      if (std::hypot(x - 14.5, y - 24.5) <= 5.0) view.Mask.SetPixel(x, y, 1);
  view.Mask.SetPixel(10, 24, 1);
  view.Mask.SetPixel(19, 24, 1);
  view.Mask.SetPixel(14, 20, 1);
  view.Mask.SetPixel(14, 29, 1);
  view.Selected = true;
  TZodivErProc proc(nullptr);
  proc.SetAttachedZodivEr(&view);

  Integer x1, y1, x2, y2;
  TIEBitmap* work = nullptr;
  TIEMask* mask = nullptr;
  ASSERT_TRUE(proc.BeginAreaOperation(IEAnyFormat, x1, y1, x2, y2, "Paint", work, mask));
  ASSERT_NE(work, view.Layers[0].get());
  EXPECT_EQ(work->GetWidth(), 10);
  EXPECT_EQ(work->GetHeight(), 10);
  EXPECT_EQ(x2, 10);
  work->Fill(0xFFFFFF);
  proc.EndAreaOperation(work, mask);

  TIEBitmap& image = *view.Layers[0];
  EXPECT_EQ(Pixel(image, 14, 24), (TRGB{255, 255, 255}));
  EXPECT_EQ(Pixel(image, 10, 20), (TRGB{0, 0, 0}));  // in the box, outside the ellipse
  EXPECT_EQ(Pixel(image, 9, 24), (TRGB{0, 0, 0}));
  EXPECT_EQ(Pixel(image, 19, 24), (TRGB{255, 255, 255}));

  // Without a selection the operation gets the image itself and its whole rectangle.
  view.Selected = false;
  view.Mask.Clear();
  ASSERT_TRUE(proc.BeginAreaOperation(IEAnyFormat, x1, y1, x2, y2, "Paint", work, mask));
  EXPECT_EQ(work, view.Layers[0].get());
  EXPECT_EQ(x2, 40);
  EXPECT_EQ(y2, 40);
  proc.EndAreaOperation(work, mask);
}

TEST(ProcComponent, ClearFillsWithTheBackgroundAndReportsOnce) {
  TIEBitmap image(5, 4, ie24RGB);
  image.Fill(0);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.AutoUndo = true;
  proc.SetBackground(0x0000FF);  // red
  TEvents events;
  events.Watch(proc);
  proc.Clear();
  proc.Clear();
  EXPECT_EQ(Pixel(image, 4, 3), (TRGB{0, 0, 255}));
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaption(0), "Clear");
  EXPECT_EQ(events.Finished, 2);
  EXPECT_EQ(events.Progress, (std::vector<Integer>{100, 100}));

  // No image at all: nothing happens and nothing is reported.
  TZodivErProc none(nullptr);
  none.AttachBitmap(nullptr);
  TEvents quiet;
  quiet.Watch(none);
  none.Clear();
  none.Resample(3, 3, rfNone);
  none.ImageResize(3, 3);
  none.Undo();
  EXPECT_EQ(quiet.Finished, 0);
  EXPECT_TRUE(quiet.Progress.empty());
}

}  // namespace
