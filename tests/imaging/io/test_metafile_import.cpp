// Metafile import by the I/O component: the sizes an import comes out at, the alpha channel of
// the untouched background, and damaged files, which fail with a reason and one finish event.
#include <gtest/gtest.h>

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

constexpr TRGB kRed{0, 0, 255}, kWhite{255, 255, 255};

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
      {"wmf-badcount", false, "parameter words"},
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

