// The metafile player: pictures python3 writes record by record
// (tools/make_metafile_picture.py) drawn at their own size and scaled, each shape compared with
// the pixels its record names; the picture class's loading and saving; damaged records, which
// stop the drawing with a reason instead of crashing.
#include <gtest/gtest.h>

#include "imaging/formats/metafile/ie_metafile_render.h"
#include "platform/rtl/exceptions.h"
#include "tests/imaging/formats/codec_test_util.h"

using namespace ietest;
using testsupport::Fixture;

namespace {

std::string Picture(const std::string& Kind) {
  const std::string ext = Kind.rfind("wmf", 0) == 0 ? ".wmf" : ".emf";
  return Fixture("mfpic-" + Kind + ext, std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                            "/tests/imaging/formats/tools/make_metafile_picture.py {out} " + Kind);
}

std::unique_ptr<TIEMetafile> Load(const std::string& Kind) {
  auto pic = std::make_unique<TIEMetafile>();
  TMemoryStream m;
  FillStream(m, ReadWholeFile(Picture(Kind)));
  pic->LoadFromStream(&m);
  return pic;
}

// The picture drawn on white into a W x H bitmap (its own size when W is 0).
struct TDrawn {
  TBitmap Surface;
  AnsiString PlayError;
  TDrawn(const std::string& Kind, Integer W = 0, Integer H = 0) {
    auto pic = Load(Kind);
    Surface.SetPixelFormat(pf32bit);
    Surface.SetSize(W ? W : pic->Width(), H ? H : pic->Height());
    TCanvas* c = Surface.Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(TRect{0, 0, Surface.Width(), Surface.Height()});
    c->StretchDraw(TRect{0, 0, Surface.Width(), Surface.Height()}, pic.get());
    PlayError = pic->PlayError();
  }
  TRGB At(Integer X, Integer Y) const {
    const TColor c = Surface.PixelColor(X, Y);
    return TRGB{Byte(c >> 16), Byte(c >> 8), Byte(c)};
  }
};

constexpr TRGB kRed{0, 0, 255}, kBlue{255, 0, 0}, kGreen{0, 255, 0}, kBlack{0, 0, 0}, kWhite{255, 255, 255};
constexpr TRGB kYellow{0, 255, 255}, kCyan{255, 255, 0}, kMagenta{255, 0, 255}, kNavy{128, 0, 0};
constexpr TRGB kOrange{0, 128, 255};

std::string Name(TRGB c) { return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b); }

}  // namespace

// Every shape of the EMF and WMF pictures where its record puts it, at the picture's own size
// and at twice that: the filled rectangle covers exactly its pixels (right and bottom edges
// excluded), the bitmap's four pixels land in their quarters, the clipped fill stays inside the
// clip, which the restored state takes away again, and the text starts at its reference point.
TEST(MetafileRender, ShapesWhereTheirRecordsPutThem) {
  for (const char* kind : {"emf-shapes", "wmf-shapes"}) {
    const bool emf = kind[0] == 'e';
    for (Integer s : {1, 2}) {
      SCOPED_TRACE(std::string(kind) + " x" + std::to_string(s));
      const TDrawn d(kind, 96 * s, 48 * s);
      ASSERT_EQ(d.PlayError, "");
      auto at = [&](Integer x, Integer y) { return d.At(x * s, y * s); };
      // The red rectangle (10,10)-(30,20), pixel for pixel in the area around it.
      for (Integer y = 5 * s; y < 25 * s; ++y)
        for (Integer x = 5 * s; x < 36 * s; ++x) {
          const bool inside = x >= 10 * s && x < 30 * s && y >= 10 * s && y < 20 * s;
          if ((d.At(x, y) == kRed) != inside) {
            ADD_FAILURE() << "pixel " << x << "," << y << " is " << Name(d.At(x, y));
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
          const TRGB c = d.At(x, y);
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
  const TDrawn d("emf-mapped");
  ASSERT_EQ(d.PlayError, "");
  ASSERT_EQ(d.Surface.Width(), 96);
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 96; ++x) {
      const TRGB c = d.At(x, y);
      const TRGB want = x < 48 && y < 24 ? kRed : (x >= 50 && x < 60 && y >= 30 && y < 40 ? kBlue : kWhite);
      if (!(c == want)) {
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << Name(c) << ", not " << Name(want);
        return;
      }
    }
}

// A damaged record inside a sound chain of records stops the drawing with its reason; what came
// before it stays drawn.
TEST(MetafileRender, DamagedRecordsStopWithTheirReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"emf-badobject", "object 9 outside the table of 2"}, {"emf-badcount", "too short"},
      {"emf-deepsave", "levels deep"},                      {"emf-bigdib", "bitmap too large"},
      {"emf-badblock", "names bytes"},                      {"wmf-badobject", "object 5 beyond the table of 2"},
      {"wmf-badcount", "parameter words"},                  {"wmf-full", "more objects than the table of 2"},
  };
  for (const auto& [kind, reason] : cases) {
    SCOPED_TRACE(kind);
    const TDrawn d(kind);
    EXPECT_NE(d.PlayError.find(reason), std::string::npos) << d.PlayError;
  }
  // Chains that do not hold are refused when loading.
  for (const char* kind : {"emf-cut", "wmf-noeof"}) {
    SCOPED_TRACE(kind);
    EXPECT_THROW(Load(kind), EInvalidGraphic);
  }
}

// Each shape costs the canvas passes over its box, so a small file of many shapes over a large
// picture could keep the player busy for minutes: the work is bounded by the picture's size,
// and past the bound the drawing stops with a reason, keeping what was drawn. The same file drawn
// small stays within the bound and plays to its end.
TEST(MetafileRender, WorkBeyondThePictureSizeStopsWithAReason) {
  const TDrawn large("emf-busy", 1000, 1000);
  EXPECT_NE(large.PlayError.find("more work than a picture of 1000 x 1000"), std::string::npos) << large.PlayError;
  EXPECT_EQ(Name(large.At(500, 500)), Name(kGreen));
  const TDrawn small("emf-busy", 100, 100);
  EXPECT_EQ(small.PlayError, "");
  EXPECT_EQ(Name(small.At(50, 50)), Name(kGreen));
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

// A player nobody here wrote: libwmf's wmf2gd draws the same WMF at the same size. Outside the
// text (their fonts differ) and the bitmap (libwmf smooths it) every pixel of ours has its colour
// in the same place of theirs or next to it: the players round shape edges half a pixel apart.
TEST(MetafileRender, WmfAsLibwmfDrawsIt) {
  const std::string png = Fixture("mfpic-wmf-shapes-libwmf.png", "wmf2gd --maxwidth=96 --maxheight=48 --maxsize -o {out} " +
                                                                     testsupport::ShellQuote(Picture("wmf-shapes")));
  const TPam theirs = PamFromCommand("convert " + testsupport::ShellQuote(png) + " -depth 8 PPM:-");
  const TDrawn d("wmf-shapes");
  ASSERT_EQ(theirs.Width, d.Surface.Width());
  ASSERT_EQ(theirs.Height, d.Surface.Height());
  auto near = [&](TRGB c, Integer x, Integer y) {
    for (Integer v = std::max(0, y - 1); v <= std::min(47, y + 1); ++v)
      for (Integer u = std::max(0, x - 1); u <= std::min(95, x + 1); ++u)
        if (std::abs(c.r - theirs.At(u, v, 0)) <= 40 && std::abs(c.g - theirs.At(u, v, 1)) <= 40 &&
            std::abs(c.b - theirs.At(u, v, 2)) <= 40)
          return true;
    return false;
  };
  Integer compared = 0, red = 0;
  std::string far;
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 96; ++x) {
      if ((x >= 60 && y >= 24) || (x >= 68 && x < 92 && y < 24)) continue;
      const TRGB c = d.At(x, y);
      ++compared;
      red += c == kRed;
      if (!near(c, x, y) && far.size() < 200) far += " " + std::to_string(x) + "," + std::to_string(y);
    }
  EXPECT_EQ(far, "");
  EXPECT_EQ(red, 200);  // the whole rectangle was compared
  EXPECT_GT(compared, 3000);
}

// Loads a metafile and draws it into a bitmap of a fixed size.
static TCorpusResult LoadAndDraw(const std::vector<Byte>& data, size_t) {
  TIEMetafile pic;
  TMemoryStream m;
  FillStream(m, data);
  try {
    pic.LoadFromStream(&m);
  } catch (EInvalidGraphic& E) {
    return {false, E.Message};
  }
  TBitmap surface;
  surface.SetPixelFormat(pf32bit);
  surface.SetSize(192, 96);
  surface.Canvas()->StretchDraw(TRect{0, 0, 192, 96}, &pic);
  if (!pic.PlayError().empty()) return {false, pic.PlayError()};
  return {true, ""};
}

// The player on its corpus and mutated copies of it: each copy is loaded and drawn into a
// bitmap of a fixed size, or refused with a reason, never crashing, hanging or ballooning.
TEST(Corpus, MetafilePlayer) {
  EXPECT_GT(ReplayCorpus("metafile", LoadAndDraw), 100u);
}

// The inputs that once hung or ballooned the metafile fuzzing targets.
TEST(Corpus, MetafileFuzzFindings) {
  for (const char* target : {"emf", "wmf"}) ReplayFuzzFindings(target, LoadAndDraw);
}
