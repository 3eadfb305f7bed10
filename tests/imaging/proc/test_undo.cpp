// Undo and redo of the processing component: limits, captions, which entry an index names,
// where an image snapshot goes back to, and the selection snapshot.
#include <gtest/gtest.h>

#include "imaging/core/ie_bitmap.h"
#include "imaging/proc/ie_proc.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/extctrls.h"
#include "tests/imaging/proc/proc_test_util.h"

namespace {

using proctest::Pixel;
using proctest::TEvents;
using proctest::TLayeredView;

// An image whose every pixel has the colour Shade, Shade, Shade.
void Paint(TIEBitmap& Image, Byte Shade) { Image.Fill(Shade * 0x010101); }
Byte ShadeOf(TIEBitmap& Image) { return Pixel(Image, 1, 1).g; }

struct ProcUndo : ::testing::Test {
  TIEBitmap image{8, 6, ie24RGB};
  TZodivErProc proc{nullptr};
  TEvents events;
  void SetUp() override {
    Paint(image, 10);
    proc.AttachBitmap(&image);
    proc.AutoUndo = true;
    events.Watch(proc);
  }
};

TEST_F(ProcUndo, CaptionsNameTheOperationWithItsArgumentsAsPassed) {
  proc.SetUndoLimit(10);
  proc.Resample(-1, 100, rfNone);
  proc.ImageResize(640, 480);
  proc.Clear();
  ASSERT_EQ(proc.UndoCount(), 3);
  EXPECT_EQ(proc.GetUndoCaption(2), "Resample -1,100");
  EXPECT_EQ(proc.GetUndoCaption(1), "ImageResize 640,480");
  EXPECT_EQ(proc.GetUndoCaption(0), "Clear");
  EXPECT_EQ(proc.GetUndoCaption(3), "");
  // Redo entries never carry a caption, and a plain SaveUndo writes an empty one.
  proc.SaveUndo(ieuImage);
  EXPECT_EQ(proc.GetUndoCaption(0), "");
  EXPECT_EQ(events.Saved, (std::vector<TIEUndoSource>{ieuImage, ieuImage, ieuImage, ieuImage}));
}

TEST_F(ProcUndo, TheLimitBoundsTheListAtTheNextSave) {
  // Limit 1: the second operation's entry replaces the first.
  proc.Clear();
  proc.ImageResize(9, 9);
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaption(0), "ImageResize 9,9");

  proc.SetUndoLimit(5);
  for (Integer i = 0; i < 6; ++i) proc.SaveUndoCaptioned("step " + std::to_string(i), ieuImage);
  EXPECT_EQ(proc.UndoCount(), 5);
  proc.SetUndoLimit(2);
  EXPECT_EQ(proc.UndoCount(), 5);  // kept until the next save
  proc.SaveUndoCaptioned("last", ieuImage);
  EXPECT_EQ(proc.UndoCount(), 2);
  EXPECT_EQ(proc.GetUndoCaption(1), "step 5");
  EXPECT_EQ(proc.GetUndoCaption(0), "last");

  // No limit at all: operations run, nothing is saved and nothing is told.
  for (Integer limit : {0, -3}) {
    proc.ClearAllUndo();
    events.Saved.clear();
    proc.SetUndoLimit(limit);
    proc.Clear();
    proc.SaveUndo(ieuImage);
    proc.SaveRedo(ieuImage);
    EXPECT_EQ(proc.UndoCount(), 0) << limit;
    EXPECT_EQ(proc.RedoCount(), 0) << limit;
    EXPECT_TRUE(events.Saved.empty()) << limit;
  }
}

TEST_F(ProcUndo, IndexesCountFromTheNewestExceptTheSource) {
  proc.SetUndoLimit(3);
  Paint(image, 1);
  proc.SaveUndo(ieuImage);
  Paint(image, 2);
  proc.SaveUndo(ieuImage);
  Paint(image, 3);
  proc.SaveUndo(ieuImage);
  Paint(image, 4);

  // The middle entry is restored; the present state goes to redo first; the list keeps three.
  proc.UndoAt(1, true);
  EXPECT_EQ(ShadeOf(image), 2);
  EXPECT_EQ(proc.UndoCount(), 3);
  EXPECT_EQ(proc.RedoCount(), 1);
  proc.Undo();
  EXPECT_EQ(ShadeOf(image), 3);
  proc.Redo();
  EXPECT_EQ(ShadeOf(image), 4);
  EXPECT_EQ(proc.RedoCount(), 1);  // restoring keeps the entry
  proc.ClearLastRedo();
  proc.ClearLastRedo();
  EXPECT_EQ(proc.RedoCount(), 0);

  proc.UndoAt(3);  // outside the list
  EXPECT_EQ(ShadeOf(image), 4);
  proc.ClearUndoAt(0);
  proc.Undo();
  EXPECT_EQ(ShadeOf(image), 2);
  proc.SaveUndo(ieuSelection);  // a bitmap has no selection: told, not saved
  EXPECT_EQ(proc.UndoCount(), 2);
  EXPECT_EQ(events.Saved.back(), ieuSelection);
  EXPECT_EQ(proc.GetUndoSource(0), ieuImage);
  EXPECT_EQ(proc.GetUndoSource(5), ieuUnknown);
  EXPECT_EQ(events.Finished, 0);  // restoring reports no completion of its own
}

TEST_F(ProcUndo, SnapshotsKeepFormatPaletteAndAlpha) {
  TIEBitmap indexed(5, 5, ie8p);
  indexed.Fill(3);
  indexed.SetPaletteEntry(3, TRGB{1, 2, 3});
  indexed.GetAlphaChannel()->Fill(77);
  proc.AttachBitmap(&indexed);
  proc.SaveUndo(ieuImage);
  indexed.Allocate(2, 2, ie24RGB);
  proc.Undo();
  EXPECT_EQ(indexed.GetPixelFormat(), ie8p);
  EXPECT_EQ(indexed.GetWidth(), 5);
  EXPECT_EQ(indexed.GetPixelByte(4, 4), 3);
  EXPECT_EQ(indexed.GetPaletteEntry(3), (TRGB{1, 2, 3}));
  ASSERT_TRUE(indexed.HasAlphaChannel());
  EXPECT_EQ(indexed.GetAlphaChannel()->GetPixelByte(2, 2), 77);
}

TEST_F(ProcUndo, ImagesSmallerThanTwoByTwoAreNotSaved) {
  TIEBitmap thin(1, 5, ie24RGB);
  proc.AttachBitmap(&thin);
  proc.Clear();
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_TRUE(events.Saved.empty());
  proc.SaveUndo(ieuImage);  // the direct call saves nothing either but does tell
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Saved, (std::vector<TIEUndoSource>{ieuImage}));
}

TEST(ProcUndoView, AnImageEntryGoesBackToItsLayerOrTheNearestOneLeft) {
  TLayeredView view(4);
  TZodivErProc proc(nullptr);
  proc.SetAttachedZodivEr(&view);
  proc.SetUndoLimit(3);
  view.SetCurrent(3);
  Paint(*view.Layers[3], 33);
  proc.SaveUndo(ieuImage);
  view.SetCurrent(0);
  proc.Undo();
  EXPECT_EQ(ShadeOf(*view.Layers[3]), 33);
  EXPECT_EQ(ShadeOf(*view.Layers[0]), 0);

  view.RemoveLastLayer();
  view.RemoveLastLayer();
  proc.Undo();  // layer 3 is gone: the last layer left takes it
  EXPECT_EQ(ShadeOf(*view.Layers[1]), 33);
  EXPECT_EQ(view.Updates, 2);

  // The selection travels through the view's own stream.
  view.SelectionTag = 5;
  proc.SaveUndo(ieuSelection);
  view.SelectionTag = 9;
  proc.Undo();
  EXPECT_EQ(view.SelectionTag, 5);
  EXPECT_EQ(proc.GetUndoSource(proc.UndoCount() - 1), ieuSelection);

  // A view without layers or selection: the entry goes to the component's image.
  TLayeredView plain(1);
  plain.WithSelection = false;
  proc.SetAttachedZodivEr(&plain);
  Paint(*plain.Layers[0], 44);
  proc.SaveUndo(ieuImage);
  proc.SaveUndo(ieuSelection);
  EXPECT_EQ(proc.GetUndoSource(proc.UndoCount() - 1), ieuImage);
  Paint(*plain.Layers[0], 1);
  proc.Undo();
  EXPECT_EQ(ShadeOf(*plain.Layers[0]), 44);
}

TEST(ProcUndoView, AnEntrySavedOnAPictureRestoresIntoThePicture) {
  TImage picture(nullptr);
  TBitmap* bitmap = picture.Picture()->Bitmap();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(6, 5);
  TZodivErProc proc(nullptr);
  proc.SetAttachedTImage(&picture);
  proc.GetImage()->Fill(0x0A0A0A);
  proc.SaveUndo(ieuImage);
  proc.GetImage()->Fill(0x141414);
  bitmap->SetSize(3, 3);
  proc.Undo();
  EXPECT_EQ(bitmap->Width(), 6);
  EXPECT_EQ(bitmap->PixelColor(5, 4), 0x0A0A0A);
}

}  // namespace
