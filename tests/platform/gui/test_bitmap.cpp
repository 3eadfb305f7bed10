#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/graphics.h"
#include "platform/rtl/streams.h"
#include "tests/platform/exception_text.h"
#include "tests/support/fixtures.h"
#include "tests/support/full_disk.h"

namespace {

std::vector<Byte> RowBytesOf(TBitmap& b, int row, int count) {
  const Byte* p = static_cast<const Byte*>(b.ScanLine(row));
  return std::vector<Byte>(p, p + count);
}

// The bytes of every row (without padding, and without the unused fourth byte of 32-bit pixels).
std::vector<Byte> PixelBytes(TBitmap& b) {
  std::vector<Byte> all;
  const int used = (b.Width() * b.BitsPerPixel() + 7) / 8;
  for (int y = 0; y < b.Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(b.ScanLine(y));
    for (int i = 0; i < used; ++i) {
      if (b.BitsPerPixel() == 32 && i % 4 == 3) continue;
      if (b.PixelFormat() == pf1bit && i == used - 1 && b.Width() % 8) {
        all.push_back(Byte(p[i] & (0xFF << (8 - b.Width() % 8))));
        continue;
      }
      all.push_back(p[i]);
    }
  }
  return all;
}

// Fills a bitmap's rows with a byte pattern that is valid for its format.
void FillPattern(TBitmap& b) {
  const int used = (b.Width() * b.BitsPerPixel() + 7) / 8;
  const int bpp = b.PixelFormat() == pf4bit ? 1 : b.BitsPerPixel();
  for (int y = 0; y < b.Height(); ++y) {
    Byte* p = static_cast<Byte*>(b.ScanLine(y));
    const int bytes = b.PixelFormat() == pf4bit ? b.Width() : used;
    for (int i = 0; i < bytes; ++i) {
      Byte v = Byte(y * 37 + i * 11 + 5);
      if (b.PixelFormat() == pf4bit) v &= 0x0F;
      if (b.PixelFormat() == pf15bit && i % 2 == 1) v &= 0x7F;
      p[i] = v;
    }
    (void)bpp;
  }
}

std::vector<Byte> Saved(TBitmap& b) {
  TMemoryStream m;
  b.SaveToStream(&m);
  const Byte* p = static_cast<const Byte*>(m.Memory());
  return std::vector<Byte>(p, p + m.Size());
}

void LoadBytes(TBitmap& b, const std::vector<Byte>& bytes) {
  TMemoryStream m;
  m.WriteBuffer(bytes.data(), Int64(bytes.size()));
  m.SetPosition(0);
  b.LoadFromStream(&m);
}

}  // namespace

TEST(BitmapPixels, ScanLineBytesForEachFormat) {
  // One pixel drawn at (1, 0) in a colour each format can hold exactly.
  const TColor c = RGB(0xF8, 0x80, 0x08);
  struct Case { TPixelFormat f; int offset; std::vector<Byte> want; int stride3; } cases[] = {
      {pf24bit, 3, {0x08, 0x80, 0xF8}, 12},
      {pf32bit, 4, {0x08, 0x80, 0xF8, 0xFF}, 12},
      {pf15bit, 2, {0x01, 0x7E}, 8},   // 0 11111 10000 00001
      {pf16bit, 2, {0x01, 0xFC}, 8},   // 11111 100000 00001
  };
  for (const Case& k : cases) {
    TBitmap b;
    b.SetPixelFormat(k.f);
    b.SetSize(3, 2);
    b.Canvas()->SetPixel(1, 0, c);
    const std::vector<Byte> row = RowBytesOf(b, 0, k.offset + int(k.want.size()));
    EXPECT_EQ(std::vector<Byte>(row.begin() + k.offset, row.end()), k.want) << k.f;
    EXPECT_EQ(b.BytesPerScanline(), k.stride3) << k.f;
    EXPECT_EQ(static_cast<Byte*>(b.ScanLine(1)) - static_cast<Byte*>(b.ScanLine(0)), k.stride3);
    if (k.f == pf24bit || k.f == pf32bit) {
      EXPECT_EQ(b.PixelColor(1, 0), c);
    }
  }

  // pf8bit: the byte is the colour-table index.
  TBitmap p8;
  p8.SetPixelFormat(pf8bit);
  p8.SetSize(5, 2);
  p8.SetColorTable({clBlack, clRed, clLime, clBlue});
  p8.Canvas()->SetPixel(2, 1, clLime);
  p8.Canvas()->SetPixel(3, 1, RGB(10, 10, 240));  // nearest: blue
  EXPECT_EQ(RowBytesOf(p8, 1, 4)[2], 2);
  EXPECT_EQ(RowBytesOf(p8, 1, 4)[3], 3);
  EXPECT_EQ(p8.BytesPerScanline(), 8);

  // pf1bit: the leftmost pixel is the most significant bit.
  TBitmap p1;
  p1.SetPixelFormat(pf1bit);
  p1.SetSize(10, 2);
  p1.Canvas()->Brush()->SetColor(clBlack);
  p1.Canvas()->FillRect(Rect(0, 0, 10, 2));
  p1.Canvas()->SetPixel(1, 0, clWhite);
  p1.Canvas()->SetPixel(8, 0, clWhite);
  EXPECT_EQ(RowBytesOf(p1, 0, 2), (std::vector<Byte>{0x40, 0x80}));
  EXPECT_EQ(p1.BytesPerScanline(), 4);

  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { p1.ScanLine(2); }), "Scan line index out of range");
}

TEST(BitmapPixels, DrawingOnIndexedFormatsGoesThroughTheProxy) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(20, 20);
  b.SetColorTable({clWhite, clBlack, clRed, clGreen});
  b.Canvas()->Brush()->SetColor(clWhite);
  b.Canvas()->FillRect(Rect(0, 0, 20, 20));
  b.Canvas()->Pen()->SetColor(clBlack);
  b.Canvas()->Brush()->SetColor(RGB(250, 5, 5));  // stored as red, the nearest entry
  b.Canvas()->Rectangle(2, 2, 12, 12);
  EXPECT_EQ(RowBytesOf(b, 2, 13), (std::vector<Byte>{0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
  EXPECT_EQ(RowBytesOf(b, 5, 13), (std::vector<Byte>{0, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 1, 0}));
  // Pixels written through ScanLine are what the canvas sees next.
  static_cast<Byte*>(b.ScanLine(15))[15] = 3;
  EXPECT_EQ(b.Canvas()->Pixels(15, 15), clGreen);

  TBitmap m;
  m.SetMonochrome(true);
  m.SetSize(16, 4);
  EXPECT_EQ(RowBytesOf(m, 0, 2), (std::vector<Byte>{0xFF, 0xFF}));  // new pixels are white
  m.Canvas()->Pen()->SetColor(clBlack);
  m.Canvas()->MoveTo(0, 1);
  m.Canvas()->LineTo(12, 1);
  EXPECT_EQ(RowBytesOf(m, 1, 2), (std::vector<Byte>{0x00, 0x0F}));
  EXPECT_EQ(m.Canvas()->Pixels(3, 1), clBlack);
  EXPECT_EQ(m.Canvas()->Pixels(3, 2), clWhite);
}

// Rows held from ScanLine and the canvas take turns: the addresses stay the rows through any
// drawing, each side sees the other's pixels, and drawing never brings back pixels the canvas
// saw before a row was written.
TEST(BitmapPixels, HeldRowsAndCanvasDrawingTakeTurns) {
  for (TPixelFormat f : {pf1bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
    SCOPED_TRACE("format " + std::to_string(int(f)));
    TBitmap b;
    b.SetPixelFormat(f);
    b.SetSize(16, 3);  // white
    Byte* rows[3] = {static_cast<Byte*>(b.ScanLine(0)), static_cast<Byte*>(b.ScanLine(1)),
                     static_cast<Byte*>(b.ScanLine(2))};
    // All-zero bits are black in every format (index 0 of the default tables).
    const auto black = [&](int x, int y) {
      if (f == pf1bit) rows[y][x >> 3] = Byte(rows[y][x >> 3] & ~(0x80 >> (x & 7)));
      else std::memset(rows[y] + x * (b.BitsPerPixel() / 8), 0, size_t(b.BitsPerPixel() / 8));
    };
    TCanvas* c = b.Canvas();
    c->Brush()->SetColor(clBlack);
    black(1, 0);
    EXPECT_EQ(c->Pixels(1, 0), clBlack);
    c->FillRect(Rect(4, 0, 6, 1));
    black(8, 2);
    EXPECT_EQ(c->Pixels(8, 2), clBlack);
    black(10, 2);  // after the canvas last looked
    c->FillRect(Rect(12, 2, 13, 3));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(b.ScanLine(y), rows[y]) << "row " << y;
    for (TPoint p : {TPoint{1, 0}, TPoint{4, 0}, TPoint{5, 0}, TPoint{8, 2}, TPoint{10, 2}, TPoint{12, 2}}) {
      EXPECT_EQ(b.PixelColor(p.X, p.Y), clBlack) << p.X << "," << p.Y;
      EXPECT_EQ(c->Pixels(p.X, p.Y), clBlack) << p.X << "," << p.Y;
    }
    for (TPoint p : {TPoint{0, 0}, TPoint{6, 0}, TPoint{9, 2}, TPoint{11, 2}, TPoint{13, 2}, TPoint{5, 1}})
      EXPECT_EQ(b.PixelColor(p.X, p.Y), clWhite) << p.X << "," << p.Y;
  }

  // Drawing elsewhere leaves an index alone even when its colour also has a lower index.
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetColorTable({clWhite, clBlack, clBlack});
  b.SetSize(4, 1);
  static_cast<Byte*>(b.ScanLine(0))[3] = 2;
  b.Canvas()->Brush()->SetColor(clBlack);
  b.Canvas()->FillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(RowBytesOf(b, 0, 4), (std::vector<Byte>{1, 0, 0, 2}));
}

TEST(BitmapPixels, SetSizeKeepsPixelsAndFormatChangesConvert) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 4);
  b.Canvas()->SetPixel(1, 1, clRed);
  b.SetSize(8, 2);
  EXPECT_EQ(b.PixelColor(1, 1), clRed);
  EXPECT_EQ(b.PixelColor(6, 1), clWhite);
  EXPECT_EQ(b.TransparentColor(), b.PixelColor(0, 1));
  b.SetPixelFormat(pf4bit);
  EXPECT_EQ(b.PixelColor(1, 1), clRed);
  EXPECT_EQ(b.ColorTable().size(), 16u);
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.PixelColor(6, 1), clWhite);
  TBitmap copy;
  copy.Assign(&b);
  EXPECT_EQ(copy.PixelFormat(), pf1bit);
  EXPECT_EQ(PixelBytes(copy), PixelBytes(b));
}

TEST(BitmapFiles, SaveAndLoadRoundTripEachFormat) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap b;
    b.SetPixelFormat(f);
    b.SetSize(5, 3);  // odd width: every row is padded
    FillPattern(b);
    const std::vector<Byte> file = Saved(b);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    TBitmap back;
    LoadBytes(back, file);
    EXPECT_EQ(back.PixelFormat(), f) << f;
    EXPECT_EQ(back.Width(), 5);
    EXPECT_EQ(back.Height(), 3);
    EXPECT_EQ(PixelBytes(back), PixelBytes(b)) << f;
    EXPECT_EQ(back.ColorTable(), b.ColorTable()) << f;
  }
  // An empty bitmap saves a header without rows and reads back empty.
  TBitmap empty, back;
  empty.SetPixelFormat(pf24bit);
  back.SetSize(2, 2);
  LoadBytes(back, Saved(empty));
  EXPECT_TRUE(back.Empty());
  EXPECT_EQ(back.PixelFormat(), pf24bit);
}

TEST(BitmapFiles, ImageMagickReadsWhatWeWrite) {
  const std::string dir = testsupport::MakeTempDir("bmp");
  struct Case { TPixelFormat f; std::string depth; } cases[] = {
      {pf1bit, "1"}, {pf4bit, "4"}, {pf8bit, "8"}, {pf15bit, "8"}, {pf16bit, "8"}, {pf24bit, "8"}, {pf32bit, "8"}};
  for (const Case& c : cases) {
    TBitmap b;
    b.SetPixelFormat(c.f);
    b.SetSize(7, 3);
    b.Canvas()->SetPixel(2, 1, clBlack);
    const std::string name = dir + "/f" + std::to_string(int(c.f)) + ".bmp";
    b.SaveToFile(name);
    const std::string out = testsupport::RunOk("identify -format '%w %h %z' " + testsupport::ShellQuote(name));
    EXPECT_EQ(out, "7 3 " + c.depth) << c.f;
    // The black pixel lands at the same place for ImageMagick.
    const std::string px = testsupport::RunOk("convert " + testsupport::ShellQuote(name) +
                                              " -format '%[fx:int(255*p{2,1}.r)] %[fx:int(255*p{3,1}.r)]' info:");
    EXPECT_EQ(px, "0 255") << c.f;
  }
  testsupport::RemoveTree(dir);
}

// A save that fails half-way (here: the disk fills up) names the file and the cause, and
// leaves the file it was to replace as it was.
TEST(BitmapFiles, AFailedSaveKeepsTheFileItWasToReplace) {
  testsupport::TFullDisk Disk;
  const std::string Target = Disk / "snapshot.bmp";
  { std::ofstream(Target, std::ios::binary) << "the user's picture"; }
  Disk.Fill(4096);
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(200, 100);
  try {
    B.SaveToFile(Target);
    ADD_FAILURE() << "a bitmap too big for the disk was saved";
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message, "Cannot create file \"" + Target + "\". " + Disk.Cause());
  }
  std::ifstream In(Target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(In), {}), "the user's picture");
  EXPECT_EQ(Disk.Entries(), std::vector<std::string>{"snapshot.bmp"});
}

TEST(BitmapFiles, ReadsBmpsWrittenByImageMagick) {
  struct Case { std::string name, recipe; TPixelFormat f; } cases[] = {
      {"im24.bmp", "convert -size 6x4 xc:white -fill red -draw 'point 1,2' bmp3:{out}", pf24bit},
      {"imrle8.bmp", "convert -size 6x4 xc:white -fill red -draw 'point 1,2' -type palette -compress RLE bmp3:{out}",
       pf8bit},
      {"im1.bmp", "convert -size 6x4 xc:white -fill black -draw 'point 1,2' -type bilevel bmp3:{out}", pf1bit},
  };
  for (const Case& c : cases) {
    const std::string path = testsupport::Fixture(c.name, c.recipe);
    TBitmap b;
    b.LoadFromFile(path);
    EXPECT_EQ(b.PixelFormat(), c.f) << c.name;
    EXPECT_EQ(b.Width(), 6);
    EXPECT_EQ(b.Height(), 4);
    EXPECT_EQ(b.PixelColor(1, 2), c.f == pf1bit ? clBlack : clRed) << c.name;
    EXPECT_EQ(b.PixelColor(0, 0), clWhite) << c.name;
  }
}

TEST(BitmapFiles, DamagedFilesAreRefusedAndLeaveTheBitmapAlone) {
  TBitmap good;
  good.SetPixelFormat(pf8bit);
  good.SetSize(4, 4);
  const std::vector<Byte> file = Saved(good);
  auto patched = [&](size_t at, std::vector<Byte> bytes) {
    std::vector<Byte> f = file;
    std::memcpy(&f[at], bytes.data(), bytes.size());
    return f;
  };
  // Sizes refused by the size gate say which limit they broke after the framework's text.
  struct Case { const char* what; std::vector<Byte> bytes; const char* reason = ""; } cases[] = {
      {"not a bmp", patched(0, {'X', 'M'})},
      {"truncated pixels", std::vector<Byte>(file.begin(), file.end() - 10)},
      {"huge width", patched(18, {0xFF, 0xFF, 0xFF, 0x7F}), ": width 2147483647 is above the limit of 65536 pixels"},
      {"negative width", patched(18, {0xFF, 0xFF, 0xFF, 0xFF}), ": the size -1 x 4 is negative"},
      {"huge area", patched(18, {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00}),
       ": 65536 x 65536 pixels is above the limit of 268435456 pixels"},
      {"bit count 7", patched(28, {7, 0})},
      {"colours beyond 256", patched(46, {0x01, 0x01, 0, 0})},
      {"pixel offset past the end", patched(10, {0xFF, 0xFF, 0, 0})},
      {"unknown header size", patched(14, {41, 0, 0, 0})},
      {"RLE4 on 8 bits", patched(30, {2, 0, 0, 0})},
      {"header only", std::vector<Byte>(file.begin(), file.begin() + 20)},
  };
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3, 2);
  b.Canvas()->SetPixel(0, 0, clRed);
  for (const Case& c : cases) {
    EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { LoadBytes(b, c.bytes); }), std::string("Bitmap image is not valid") + c.reason)
        << c.what;
    EXPECT_EQ(b.Width(), 3) << c.what;
    EXPECT_EQ(b.PixelFormat(), pf24bit) << c.what;
    EXPECT_EQ(b.PixelColor(0, 0), clRed) << c.what;
  }

  // RLE: a literal run needing more bytes than the file has is damage; runs past the right edge
  // (row padding some writers encode) are cut off.
  std::vector<Byte> rle = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54 + 8, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0,
                           1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  for (Byte v : {0, 0, 0, 0, 255, 255, 255, 0}) rle.push_back(v);
  for (Byte v : {0, 200, 1, 1}) rle.push_back(v);
  EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { LoadBytes(b, rle); }), "Bitmap image is not valid");
  rle.resize(rle.size() - 4);
  for (Byte v : {200, 1, 0, 0, 0, 1}) rle.push_back(v);
  LoadBytes(b, rle);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.PixelColor(1, 1), clWhite);
  EXPECT_EQ(b.PixelColor(0, 0), clBlack);
}

TEST(BitmapFiles, PictureChoosesTheReaderByExtension) {
  const std::string png = testsupport::Fixture("pic.png", "convert -size 5x3 xc:blue {out}");
  TPicture p;
  p.LoadFromFile(png);
  EXPECT_EQ(p.Width(), 5);
  EXPECT_EQ(p.Bitmap()->PixelColor(2, 2), clBlue);
  EXPECT_EQ(MessageOf<EInvalidGraphic>([&] { p.LoadFromFile("/tmp/whatever.xyz"); }),
            "Unknown picture file extension (.xyz)");
  EXPECT_EQ(p.Width(), 5);
  EXPECT_NE(MessageOf<EFOpenError>([&] { p.LoadFromFile("/nonexistent/x.bmp"); }), "(no exception)");

  // A name that is no UTF-8 reaches the same file.
  const std::string dir = testsupport::MakeTempDir("pic") + "/\xFF";
  const std::string latin1 = dir + "/bl\xE9u.png";
  testsupport::RunOk("mkdir " + testsupport::ShellQuote(dir) + " && cp " + png + " " + testsupport::ShellQuote(latin1));
  TPicture q;
  q.LoadFromFile(latin1);
  EXPECT_EQ(q.Bitmap()->PixelColor(4, 0), clBlue);
  testsupport::RemoveTree(dir.substr(0, dir.rfind('/')));
}
