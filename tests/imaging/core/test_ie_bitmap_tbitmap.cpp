// The framework-bitmap store: formats it holds, formats it refuses, and images moved into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"
#include "platform/gui/graphics.h"

using namespace ietest;

namespace {

TEST(BitmapTBitmapStore, AllocateHoldsOnlyRgbFormats) {
  TIEBitmap b;
  b.Location = ieTBitmap;
  ASSERT_TRUE(b.Allocate(10, 10, ie16g));
  EXPECT_EQ(b.GetPixelFormat(), ie8g);
  ASSERT_NE(b.GetVclBitmap(), nullptr);
  EXPECT_EQ(b.GetVclBitmap()->PixelFormat(), pf8bit);
  EXPECT_EQ(b.GetRowLen(), b.GetVclBitmap()->BytesPerScanline());
  for (TIEPixelFormat f : {ieCMYK, ie32f, ieRGB48, ieCIELab}) {
    TIEBitmap c;
    c.Location = ieTBitmap;
    EXPECT_FALSE(c.Allocate(10, 10, f)) << int(f);
    EXPECT_TRUE(c.IsEmpty());
  }
}

// Images whose format the framework bitmap cannot hold arrive converted, never as foreign bytes.
TEST(BitmapTBitmapStore, MovingInConvertsFormatsItCannotHold) {
  struct Row {
    TIEPixelFormat f;
    TIEPixelFormat held;
  } table[] = {{ieCMYK, ie24RGB}, {ieRGB48, ie24RGB}, {ie16g, ie8g}, {ie32f, ie8g}};
  for (const Row& r : table) {
    TIEBitmap b;
    b.Location = ieMemory;
    ASSERT_TRUE(b.Allocate(3, 2, ie24RGB));
    b.Fill(RGB(255, 255, 255));
    b.SetPixelRGB(1, 1, TRGB{0, 0, 0});
    b.ConvertPixelFormat(r.f);
    b.SetAlphaValue(2, 1, 9);
    TCanvas* canvas = b.GetCanvas();
    ASSERT_NE(canvas, nullptr) << int(r.f);
    EXPECT_EQ(b.Location, ieTBitmap);
    EXPECT_EQ(b.GetPixelFormat(), r.held) << int(r.f);
    EXPECT_EQ(b.GetPixelAsRGB(0, 0), (TRGB{255, 255, 255})) << int(r.f);
    EXPECT_EQ(b.GetPixelAsRGB(1, 1), (TRGB{0, 0, 0})) << int(r.f);
    EXPECT_EQ(b.GetAlphaValue(2, 1), 9);
  }
}

TEST(BitmapTBitmapStore, AssignAndConvertInsideTheStoreKeepFieldsTrue) {
  TIEBitmap src(4, 2, ieRGB48);
  src.Fill(RGB(0, 255, 0));
  TIEBitmap b;
  b.Location = ieTBitmap;
  b.Assign(&src);
  EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(b.GetPixelAsRGB(3, 1), (TRGB{0, 255, 0}));

  b.ConvertPixelFormat(ie8g);
  EXPECT_EQ(b.Location, ieTBitmap);
  EXPECT_EQ(b.GetPixelFormat(), ie8g);
  EXPECT_EQ(b.GetPixelByte(3, 1), 181);  // pure green by the grey weights

  const ietest::TCMYKProfileUse formula(false);  // the formula's round trip is exact
  b.ConvertPixelFormat(ieCMYK);  // not held there: the image leaves the store
  EXPECT_EQ(b.Location, ieMemory);
  EXPECT_EQ(b.GetPixelFormat(), ieCMYK);
  EXPECT_EQ(b.GetPixelAsRGB(0, 0), (TRGB{181, 181, 181}));
}

TEST(BitmapTBitmapStore, WrappedBitmapStaysTheCallers) {
  TBitmap* vcl = new TBitmap;
  vcl->SetPixelFormat(pf24bit);
  vcl->SetSize(5, 4);
  static_cast<Byte*>(vcl->ScanLine(3))[0] = 42;
  {
    TIEBitmap b;
    b.EncapsulateTBitmap(vcl, true);
    EXPECT_EQ(b.Location, ieTBitmap);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixelRGB(0, 3).b, 42);
    b.SetPixelRGB(1, 0, TRGB{1, 2, 3});
    ASSERT_TRUE(b.Allocate(6, 6, ie24RGB));  // reuses the caller's bitmap
    EXPECT_EQ(vcl->Width(), 6);
  }
  EXPECT_EQ(vcl->Height(), 6);  // still alive after the wrapper went
  delete vcl;
}

TEST(BitmapTBitmapStore, CopyFromTBitmapByFormat) {
  TBitmap vcl;
  vcl.SetPixelFormat(pf16bit);
  vcl.SetSize(2, 1);
  Word v = Word((31 << 11) | (63 << 5) | 0);  // yellow at full 5-6-5 strength
  std::memcpy(vcl.ScanLine(0), &v, 2);
  TIEBitmap b;
  b.Location = ieMemory;
  b.CopyFromTBitmap(&vcl);
  EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{0, 252, 248}));

  TBitmap pal;
  pal.SetPixelFormat(pf8bit);
  pal.SetSize(2, 1);
  std::vector<TColor> table(256, clBlack);
  table[1] = clRed;
  pal.SetColorTable(table);
  static_cast<Byte*>(pal.ScanLine(0))[1] = 1;
  b.CopyFromTBitmap(&pal);
  EXPECT_EQ(b.GetPixelFormat(), ie8p);
  EXPECT_EQ(b.GetPixelAsRGB(1, 0), (TRGB{0, 0, 255}));
}

// A wrapped bitmap changed by its owner is read back when it changes, so the const getters
// tell the truth without looking; the owner's own change handler keeps firing, and gets its
// handler back (and no call into a dead wrapper) once the wrapper is gone.
TEST(BitmapTBitmapStore, WrappedBitmapChangesAreSeenWhereTheyHappen) {
  TBitmap vcl;
  vcl.SetPixelFormat(pf24bit);
  vcl.SetSize(4, 3);
  int ownerNotified = 0;
  vcl.OnChange = [&](TObject*) { ++ownerNotified; };
  {
    TIEBitmap b;
    b.EncapsulateTBitmap(&vcl, true);
    const TIEBitmap& view = b;
    EXPECT_EQ(view.GetWidth(), 4);
    vcl.SetSize(9, 2);
    EXPECT_EQ(view.GetWidth(), 9);
    EXPECT_EQ(view.GetHeight(), 2);
    EXPECT_EQ(view.GetRowLen(), vcl.BytesPerScanline());
    vcl.SetPixelFormat(pf8bit);
    std::vector<TColor> table(256, clBlack);
    table[1] = clRed;
    vcl.SetColorTable(table);
    EXPECT_EQ(view.GetPixelFormat(), ie8p);
    EXPECT_EQ(view.GetPaletteEntry(1), (TRGB{0, 0, 255}));
    static_cast<Byte*>(vcl.ScanLine(1))[8] = 1;
    EXPECT_EQ(b.GetPixelAsRGB(8, 1), (TRGB{0, 0, 255}));
    EXPECT_GE(ownerNotified, 3);

    // Moving the image to another bitmap moves the watch with it.
    TIEBitmap other;
    b.MoveImageTo(&other);
    vcl.SetSize(5, 5);
    EXPECT_EQ(other.GetWidth(), 5);
    EXPECT_EQ(b.GetWidth(), 0);
  }
  const int before = ownerNotified;
  vcl.SetSize(2, 2);  // the wrappers are gone: only the owner hears of it
  EXPECT_EQ(ownerNotified, before + 1);
}

// The image moves as one record: rows, palette, alpha, store and the settings that describe
// the rows; the source keeps only its location request.
TEST(BitmapTBitmapStore, MoveImageToTakesTheWholeImageInEveryStore) {
  ForEachStore([](Store, StoreScope& scope) {
    TIEBitmap a, b;
    scope.Prepare(a);
    a.DitherMethod = 0;
    ASSERT_TRUE(a.Allocate(3, 2, ie8p));
    a.SetPaletteEntry(5, TRGB{1, 2, 3});
    a.SetPixelByte(2, 1, 5);
    a.SetAlphaValue(0, 0, 77);
    void* row = a.GetScanline(1);
    const TIELocation where = a.Location;
    a.MoveImageTo(&b);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetPixelFormat(), ieNull);
    EXPECT_EQ(a.GetPaletteLength(), 0);
    EXPECT_FALSE(a.HasAlphaChannel());
    EXPECT_EQ(a.Location, where);
    EXPECT_EQ(b.Location, where);
    EXPECT_TRUE(scope.InStore(b));
    EXPECT_EQ(b.GetScanline(1), row);
    EXPECT_EQ(b.GetPixelAsRGB(2, 1), (TRGB{1, 2, 3}));
    EXPECT_EQ(b.GetAlphaValue(0, 0), 77);
    EXPECT_EQ(b.DitherMethod, 0);
    // The emptied source is a working bitmap again.
    ASSERT_TRUE(a.Allocate(2, 2, ie24RGB));
    a.SetPixelRGB(1, 1, TRGB{9, 9, 9});
    EXPECT_EQ(a.GetPixelRGB(1, 1), (TRGB{9, 9, 9}));
  });
}

// Rows written directly and drawing through the canvas take turns on one image: each side sees
// the other's changes, and a row address handed out before the drawing stays the row.
TEST(BitmapTBitmapStore, RowsAndCanvasTakeTurnsOnOneImage) {
  const TIEPixelFormat formats[] = {ie24RGB, ie32RGB, ie8g};
  for (TIEPixelFormat f : formats) {
    ForEachStore([f](Store, StoreScope& scope) {
      SCOPED_TRACE("format " + std::to_string(int(f)));
      const Integer w = 6, h = 4;
      TIEBitmap b;
      scope.Prepare(b);
      ASSERT_TRUE(b.Allocate(w, h, f));
      // Grey levels written straight into the rows, so the 8-bit grey image holds every
      // colour exactly.
      auto grey = [](Byte v) { return TRGB{v, v, v}; };
      auto put = [&b](Integer x, Integer y, Byte v) {
        const Integer bytes = b.GetBitCount() / 8;
        Byte* row = static_cast<Byte*>(b.GetScanline(y));
        for (Integer k = 0; k < std::min(bytes, 3); ++k) row[x * bytes + k] = v;
      };
      for (Integer y = 0; y < h; ++y)
        for (Integer x = 0; x < w; ++x) put(x, y, Byte(10 * (y * w + x)));
      TCanvas* c = b.GetCanvas();
      ASSERT_NE(c, nullptr);
      ASSERT_EQ(b.Location, ieTBitmap);
      ASSERT_EQ(b.GetPixelFormat(), f);
      const void* row1 = b.GetScanline(1);

      c->Brush()->SetColor(RGB(200, 200, 200));
      c->FillRect(TRect{0, 0, 2, 2});
      EXPECT_EQ(b.GetScanline(1), row1);
      put(1, 1, 7);  // inside what the canvas just drew
      put(4, 2, 9);
      EXPECT_EQ(c->Pixels(1, 1), RGB(7, 7, 7));
      EXPECT_EQ(c->Pixels(4, 2), RGB(9, 9, 9));
      put(2, 3, 11);  // after the canvas last looked at the pixels

      // Drawing again must not bring back what the canvas held before the direct writes.
      c->FillRect(TRect{5, 3, 6, 4});
      EXPECT_EQ(b.GetScanline(1), row1);
      const struct {
        Integer x, y;
        Byte v;
      } want[] = {{0, 0, 200}, {1, 0, 200}, {0, 1, 200}, {1, 1, 7}, {4, 2, 9}, {5, 3, 200}, {2, 3, 11}, {2, 0, 20}, {3, 3, 210}};
      for (const auto& p : want) {
        EXPECT_EQ(b.GetPixelAsRGB(p.x, p.y), grey(p.v)) << p.x << "," << p.y;
        EXPECT_EQ(c->Pixels(p.x, p.y), RGB(p.v, p.v, p.v)) << p.x << "," << p.y;
      }
    });
  }
}

}  // namespace
