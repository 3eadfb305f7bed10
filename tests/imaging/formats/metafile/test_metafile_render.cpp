// Metafile import through the library's own player: pictures python3 writes record by record
// (tools/make_metafile_picture.py) drawn at their own size and scaled, each shape compared with
// the pixels its record names; the sizes an import comes out at; the alpha channel of the
// untouched background; and damaged files, which fail with a reason instead of crashing.
#include <gtest/gtest.h>

#include <functional>

#include "imaging/formats/metafile/ie_metafile_render.h"
#include "platform/rtl/exceptions.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::Fixture;

namespace {

std::string Picture(const std::string& Kind) {
  const std::string ext = Kind.rfind("wmf", 0) == 0 ? ".wmf" : ".emf";
  return Fixture("mfpic-" + Kind + ext, std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                            "/tests/imaging/formats/tools/make_metafile_picture.py {out} " + Kind);
}

constexpr TRGB kRed{0, 0, 255}, kBlue{255, 0, 0}, kGreen{0, 255, 0}, kBlack{0, 0, 0}, kWhite{255, 255, 255};
constexpr TRGB kYellow{0, 255, 255}, kCyan{255, 255, 0}, kMagenta{255, 0, 255}, kNavy{128, 0, 0};
constexpr TRGB kOrange{0, 128, 255};

std::string Name(TRGB c) { return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b); }

}  // namespace

// The Part's sizes: a 1000 x 500 picture at (-1, 250) and at its own size, a 16000 x 8000 one
// brought down to 8000 x 4000; a zero side asked for does nothing; LoadFromFile keeps the file's
// name and format; a plain WMF takes its size from the window its records set up.
TEST(MetafileImport, SizesOfAnImport) {
  TRecordedIO r;
  r.IO.SetBackground(clWhite);
  r.IO.ImportMetafile(W(Picture("emf-1000")), -1, 250, false);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  TIEBitmap* b = r.IO.IEBitmap();
  EXPECT_EQ(b->GetWidth(), 500);
  EXPECT_EQ(b->GetHeight(), 250);
  EXPECT_EQ(b->GetPixelAsRGB(100, 100), kRed);  // the rectangle over the left half
  EXPECT_EQ(b->GetPixelAsRGB(400, 100), kWhite);
  EXPECT_FALSE(b->HasAlphaChannel());
  EXPECT_EQ(r.IO.IOParams()->FileType, ioEMF);
  EXPECT_EQ(r.IO.IOParams()->Width, 500);
  r.ExpectEndedOnce();

  r.IO.ImportMetafile(W(Picture("emf-16000")), -1, -1, false);
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(b->GetWidth(), 8000);
  EXPECT_EQ(b->GetHeight(), 4000);

  r.IO.LoadFromFile(W(Picture("emf-1000")));
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(b->GetWidth(), 1000);
  EXPECT_EQ(b->GetHeight(), 500);
  EXPECT_EQ(r.IO.IOParams()->FileType, ioEMF);
  EXPECT_EQ(WideToAnsi(r.IO.IOParams()->FileName), Picture("emf-1000"));

  // A zero side: nothing happens, and that is no failure.
  r.IO.ImportMetafile(W(Picture("emf-shapes")), 0, 100, false);
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(b->GetWidth(), 1000);

  r.IO.LoadFromFile(W(Picture("wmf-shapes")));
  EXPECT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioWMF);
  EXPECT_EQ(b->GetWidth(), 96);
  EXPECT_EQ(b->GetHeight(), 48);

  r.IO.ImportMetafile(W(Picture("wmf-plain")), -1, -1, false);
  EXPECT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(b->GetWidth(), 960);
  EXPECT_EQ(b->GetHeight(), 480);
  EXPECT_EQ(b->GetPixelAsRGB(150, 150), kRed);
}

// Every shape of the EMF and WMF pictures where its record puts it, at the picture's own size
// and at twice that: the filled rectangle covers exactly its pixels (right and bottom edges
// excluded), the bitmap's four pixels land in their quarters, the clipped fill stays inside the
// clip, which the restored state takes away again, and the text starts at its reference point.
TEST(MetafileRender, ShapesWhereTheirRecordsPutThem) {
  for (const char* kind : {"emf-shapes", "wmf-shapes"}) {
    const bool emf = kind[0] == 'e';
    for (Integer s : {1, 2}) {
      SCOPED_TRACE(std::string(kind) + " x" + std::to_string(s));
      TRecordedIO r;
      r.IO.SetBackground(clWhite);
      r.IO.ImportMetafile(W(Picture(kind)), 96 * s, 48 * s, false);
      ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
      TIEBitmap* b = r.IO.IEBitmap();
      ASSERT_EQ(b->GetWidth(), 96 * s);
      auto at = [&](Integer x, Integer y) { return b->GetPixelAsRGB(x * s, y * s); };
      // The red rectangle (10,10)-(30,20), pixel for pixel in the area around it.
      for (Integer y = 5 * s; y < 25 * s; ++y)
        for (Integer x = 5 * s; x < 36 * s; ++x) {
          const bool inside = x >= 10 * s && x < 30 * s && y >= 10 * s && y < 20 * s;
          if ((b->GetPixelAsRGB(x, y) == kRed) != inside) {
            ADD_FAILURE() << "pixel " << x << "," << y << " is " << Name(b->GetPixelAsRGB(x, y));
            return;
          }
        }
      EXPECT_EQ(at(24, 30), kBlue);  // inside the triangle
      EXPECT_NE(at(36, 44), kBlue);  // beyond its slanted side
      const std::pair<TPoint, TRGB> bitmap[] = {
          {{75, 7}, kYellow}, {{85, 7}, kCyan}, {{75, 17}, kMagenta}, {{85, 17}, kBlack}};
      for (const auto& [p, c] : bitmap) EXPECT_EQ(at(p.X, p.Y), c) << p.X << "," << p.Y;
      EXPECT_EQ(at(69, 10), kWhite);
      EXPECT_EQ(at(91, 10), kWhite);
      if (emf) {
        EXPECT_EQ(at(50, 15), kGreen);  // the ellipse's centre
        EXPECT_EQ(at(41, 6), kWhite);   // inside its box, outside the ellipse
        EXPECT_EQ(at(60, 40), kBlack);  // the line
        EXPECT_EQ(at(5, 35), kNavy);    // the fill inside the clip
        EXPECT_EQ(at(5, 25), kWhite);   // and outside it
        EXPECT_EQ(at(31, 45), kOrange); // drawn after the clip was restored
      }
      // The text "Hi" hangs from its reference point (62, 26): dark pixels below it, none above.
      Integer below = 0, above = 0;
      for (Integer y = 10 * s; y < 44 * s; ++y)
        for (Integer x = 62 * s; x < 96 * s; ++x) {
          const TRGB c = b->GetPixelAsRGB(x, y);
          if (c.r < 100 && c.g < 100 && c.b < 100 && !(y >= 2 * s && y < 22 * s && x >= 70 * s && x < 90 * s))
            (y < 26 * s ? above : below)++;
        }
      EXPECT_GT(below, 10 * s);
      if (emf) {
        EXPECT_EQ(above, 0);  // the line at y = 40 and the bitmap are left out above
      }
    }
  }
}

// The window and viewport mapping and the world transform: a rectangle of half the window
// covers exactly the top-left quarter; a transform moving by 50 moves a rectangle by 50 pixels.
TEST(MetafileRender, MappingAndWorldTransform) {
  TRecordedIO r;
  r.IO.SetBackground(clWhite);
  r.IO.ImportMetafile(W(Picture("emf-mapped")), -1, -1, false);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  TIEBitmap* b = r.IO.IEBitmap();
  ASSERT_EQ(b->GetWidth(), 96);
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 96; ++x) {
      const TRGB c = b->GetPixelAsRGB(x, y);
      const TRGB want = x < 48 && y < 24 ? kRed : (x >= 50 && x < 60 && y >= 30 && y < 40 ? kBlue : kWhite);
      if (!(c == want)) {
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << Name(c) << ", not " << Name(want);
        return;
      }
    }
}

// With the alpha channel: what no record touched is transparent, drawn pixels are opaque, and a
// drawn pixel of exactly the key colour red 3, green 2, blue 1 is transparent as well.
TEST(MetafileImport, AlphaFromTheUntouchedBackground) {
  TRecordedIO r;
  r.IO.ImportMetafile(W(Picture("emf-shapes")), -1, -1, true);
  ASSERT_FALSE(r.IO.Aborting);
  TIEBitmap* b = r.IO.IEBitmap();
  ASSERT_TRUE(b->HasAlphaChannel());
  TIEBitmap* a = b->GetAlphaChannel();
  EXPECT_EQ(static_cast<Byte*>(a->GetScanline(15))[15], 255);  // the red rectangle
  EXPECT_EQ(static_cast<Byte*>(a->GetScanline(2))[2], 0);      // nothing drawn there
  EXPECT_FALSE(a->Full);

  r.IO.ImportMetafile(W(Picture("emf-key")), -1, -1, true);
  ASSERT_FALSE(r.IO.Aborting);
  a = b->GetAlphaChannel();
  EXPECT_EQ(b->GetPixelAsRGB(15, 15), (TRGB{1, 2, 3}));
  EXPECT_EQ(static_cast<Byte*>(a->GetScanline(15))[15], 0);
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 96; ++x) ASSERT_EQ(static_cast<Byte*>(a->GetScanline(y))[x], 0) << x << "," << y;

  // Without it the image has none, also after an import that had one.
  r.IO.ImportMetafile(W(Picture("emf-key")), -1, -1, false);
  EXPECT_FALSE(b->HasAlphaChannel());
}

// Damaged files: a broken chain of records raises EInvalidGraphic naming the file, after the
// finish event; a damaged record inside a sound chain stops the drawing, keeps what was drawn
// and fails with its reason; a picture without width has no image to give.
TEST(MetafileImport, DamagedFilesFailWithTheirReason) {
  struct TCase {
    const char* Kind;
    bool Raises;
    const char* Reason;
  };
  const TCase cases[] = {
      {"emf-cut", true, "past the end of the file"},
      {"wmf-noeof", true, "ends before its end record"},
      {"emf-badobject", false, "object 9 outside the table of 2"},
      {"emf-badcount", false, "too short"},
      {"emf-deepsave", false, "levels deep"},
      {"emf-bigdib", false, "bitmap too large"},
      {"emf-badblock", false, "names bytes"},
      {"wmf-badobject", false, "object 5 beyond the table of 2"},
      {"wmf-badcount", false, "parameter words"},
      {"wmf-full", false, "more objects than the table of 2"},
      {"emf-zero", false, "size of 0 x 500"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Kind);
    TRecordedIO r;
    const std::string file = Picture(c.Kind);
    if (c.Raises) {
      try {
        r.IO.LoadFromFile(W(file));
        ADD_FAILURE() << "no exception";
      } catch (EInvalidGraphic& E) {
        EXPECT_NE(E.Message.find(file), std::string::npos) << E.Message;
        EXPECT_NE(E.Message.find(c.Reason), std::string::npos) << E.Message;
      }
    } else {
      r.IO.LoadFromFile(W(file));
    }
    EXPECT_TRUE(r.IO.Aborting);
    EXPECT_NE(r.IO.FailureReason().find(c.Reason), std::string::npos) << r.IO.FailureReason();
    r.ExpectEndedOnce();
    EXPECT_EQ(r.AbortingAtFinish, std::vector<bool>{true});
  }
}

// The picture class on its own: it keeps its bytes, reports its size, and an empty or foreign
// stream is refused with a reason.
TEST(MetafileRender, PictureLoadsSavesAndRefuses) {
  TIEMetafile pic;
  TMemoryStream in;
  FillStream(in, ReadWholeFile(Picture("emf-shapes")));
  pic.LoadFromStream(&in);
  EXPECT_TRUE(pic.Enhanced());
  EXPECT_EQ(pic.Width(), 96);
  EXPECT_EQ(pic.Height(), 48);
  TMemoryStream out;
  pic.SaveToStream(&out);
  EXPECT_EQ(StreamBytes(out), ReadWholeFile(Picture("emf-shapes")));
  for (const std::vector<Byte>& junk : {std::vector<Byte>{}, std::vector<Byte>(64, 'x')}) {
    TMemoryStream m;
    FillStream(m, junk);
    EXPECT_THROW(pic.LoadFromStream(&m), EInvalidGraphic);
    EXPECT_TRUE(pic.Empty());
  }
}
