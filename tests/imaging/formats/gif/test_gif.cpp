// The GIF codec against giflib's and netpbm's tools and ImageMagick: their files (interlaced,
// transparent, uncompressed-LZW, black and white, animated) decode as giftopnm decodes them;
// ours are read back by giftopnm and giftext.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/gif/ie_gif.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";
const std::string kCorpus = std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/formats/gif/";

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  TIEMask* Alpha = nullptr;
  Integer Frames = 0;
  ~TRead() { delete Alpha; }
};

void ReadGif(const std::vector<Byte>& Data, TRead& R, Integer Index = 0, bool Native = false) {
  IEInstallLZWCoders();
  TMemoryStream m;
  FillStream(m, Data);
  R.Params.GifImageIndex = Index;
  R.Params.NativePixelFormat = Native;
  ReadGIFStream(&m, &R.Bitmap, R.Frames, R.Params, R.Probe.Progress, false, R.Alpha, false);
}

// The decoded colours against giftopnm's, and the transparency against its alpha output.
void ExpectAsGiftopnm(const std::string& File, TRead& R) {
  EXPECT_EQ(MaxDifference(R.Bitmap, PamFromCommand("giftopnm " + ShellQuote(File))), 0);
  const TPam a = PamFromCommand("giftopnm -alphaout=- " + ShellQuote(File));
  ASSERT_GT(a.Width, 0);
  Integer transparent = 0;
  for (Integer y = 0; y < a.Height; ++y)
    for (Integer x = 0; x < a.Width; ++x) {
      transparent += a.At(x, y, 0) == 0;
      if (R.Alpha) {
        EXPECT_EQ(R.Alpha->GetPixel(x, y) != 0, a.At(x, y, 0) != 0) << x << "," << y;
      }
    }
  EXPECT_EQ(R.Alpha != nullptr, transparent > 0);
}

TEST(GifReader, ToolFilesDecodeAsGiftopnmDecodesThem) {
  // The checked-in files are small enough for every store.
  for (const char* name : {"pal16.gif", "nolzw.gif", "interlaced_transp.gif", "bw9.gif", "anim.gif"}) {
    SCOPED_TRACE(name);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadGif(ReadWholeFile(kCorpus + name), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      ExpectAsGiftopnm(kCorpus + name, r);
    });
  }
  // Larger pictures: full tables, table clears, interlacing, giflib's own writer.
  const std::string src = Fixture("gif-src-300x200.ppm", kMake + "rgb 300 200 255 7 {out}");
  const std::vector<std::pair<std::string, std::string>> made = {
      {"pamtogif-256.gif", "pnmquant 256 " + ShellQuote(src) + " | pamtogif > {out}"},
      {"pamtogif-nolzw.gif", "pnmquant 64 " + ShellQuote(src) + " | pamtogif -nolzw > {out}"},
      {"pamtogif-interlaced.gif", "pnmquant 32 " + ShellQuote(src) + " | pamtogif -interlace > {out}"},
      {"magick-interlaced.gif", "convert " + ShellQuote(src) + " -interlace GIF {out}"},
      {"gifbuild.gif", "pnmquant 16 " + ShellQuote(src) + " | pamtogif > {out}.src && gifbuild -d {out}.src > {out}.txt"
                       " && gifbuild {out}.txt > {out}"},
  };
  for (const auto& [name, recipe] : made) {
    SCOPED_TRACE(name);
    const std::string file = Fixture(name, recipe);
    TRead r;
    ReadGif(ReadWholeFile(file), r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(r.Bitmap.GetWidth(), 300);
    ExpectAsGiftopnm(file, r);
  }
}

TEST(GifReader, FramesFormatsAndParameters) {
  // The second of three frames; its place and the count of all.
  TRead second;
  ReadGif(ReadWholeFile(kCorpus + "anim.gif"), second, 1, true);
  ASSERT_FALSE(second.Probe.Failed()) << second.Probe.Reason;
  EXPECT_EQ(second.Frames, 3);
  EXPECT_EQ(second.Params.GifImageCount, 3);
  EXPECT_EQ(second.Bitmap.GetWidth(), 6);
  EXPECT_EQ(second.Bitmap.GetHeight(), 5);
  EXPECT_EQ(second.Params.GifXPos, 2);
  EXPECT_EQ(second.Params.GifYPos, 3);
  EXPECT_EQ(second.Params.GifWinWidth, 16);
  EXPECT_EQ(second.Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(second.Bitmap.GetPixelAsRGB(0, 0), IECreateRGB(255, 0, 0));

  // Black then white: ie1g, with the ninth pixel of a row of nine.
  TRead bw;
  ReadGif(ReadWholeFile(kCorpus + "bw9.gif"), bw);
  ASSERT_EQ(bw.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(bw.Bitmap.GetPixelAsRGB(8, 4), IECreateRGB(0, 0, 0));
  EXPECT_EQ(bw.Bitmap.GetPixelAsRGB(8, 3), IECreateRGB(255, 255, 255));

  // A transparent index that no pixel uses leaves no alpha channel.
  const std::string unused = Fixture("gif-unused-transparent.gif", "convert -size 5x4 xc:red -transparent-color lime {out}.png"
                                     " && convert {out}.png -define gif:transparent-color=lime -channel A -evaluate set 100% +channel {out}");
  TRead opaque;
  ReadGif(ReadWholeFile(unused), opaque);
  ASSERT_FALSE(opaque.Probe.Failed()) << opaque.Probe.Reason;
  EXPECT_EQ(opaque.Alpha, nullptr);
}

TEST(GifReader, DamagedFilesFailWithAReasonAndKeepWhatWasDecoded) {
  const std::string src = Fixture("gif-src-300x200.ppm", kMake + "rgb 300 200 255 7 {out}");
  const std::vector<Byte> whole = ReadWholeFile(Fixture("pamtogif-256.gif", "pnmquant 256 " + ShellQuote(src) + " | pamtogif > {out}"));
  std::vector<Byte> cut(whole.begin(), whole.begin() + long(whole.size() / 2));
  TRead r;
  ReadGif(cut, r);
  EXPECT_TRUE(r.Probe.Failed());
  EXPECT_NE(r.Probe.Reason.find("ends before its last pixel"), std::string::npos) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetWidth(), 300);  // the top rows are there

  struct TCase {
    const char* Name;
    std::vector<Byte> Data;
  } cases[] = {
      {"no signature", {'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0}},
      {"cut in the colour table", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0, 1, 2, 3}},
      // A 65535 x 65535 frame of a few bytes of data.
      {"bomb", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 2, 0x4C, 1, 0, 0x3B}},
      {"bad code size", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 12, 1, 0, 0, 0x3B}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead d;
    ReadGif(c.Data, d);
    EXPECT_TRUE(d.Probe.Failed());
    EXPECT_FALSE(d.Probe.Reason.empty());
  }
}

void WriteGif(TIEBitmap& B, TIOParamsVals& P, std::vector<Byte>& Out) {
  IEInstallLZWCoders();
  TProgressProbe probe;
  TMemoryStream m;
  WriteGIFStream(&m, &B, P, probe.Progress);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  Out = StreamBytes(m);
}

TEST(GifWriter, GiftopnmAndGiftextReadOurFiles) {
  const std::string dir = testsupport::MakeTempDir("gifw");
  TIEBitmap b;
  b.Allocate(37, 23, ie24RGB);
  for (Integer y = 0; y < 23; ++y)
    for (Integer x = 0; x < 37; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x % 16 * 16), Byte(y % 16 * 16), 77));
  for (Integer bits : {8, 4, 1}) {
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (interlaced ? " interlaced" : ""));
      TIOParamsVals p(nullptr);
      p.BitsPerSample = bits;
      p.GifInterlaced = interlaced;
      std::vector<Byte> bytes;
      WriteGif(b, p, bytes);
      ASSERT_GT(bytes.size(), 13u);
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
      EXPECT_EQ(bytes[10], 0x80 + (bits - 1) * 17);
      const std::string path = dir + "/w" + std::to_string(bits) + (interlaced ? "i" : "") + ".gif";
      WriteFileBytes(path, bytes);
      TRead back;
      ReadGif(bytes, back);
      ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
      EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("giftopnm " + ShellQuote(path))), 0);
      // The picture's 256 colours fit a table of 8 bits exactly.
      if (bits == 8) {
        EXPECT_EQ(MaxDifference(back.Bitmap, b), 0);
      }
    }
  }

  // An alpha channel: 255 colours and index 255 transparent in a table of 256.
  b.GetAlphaChannel()->Fill(255);
  for (Integer x = 0; x < 10; ++x) static_cast<Byte*>(b.GetAlphaChannel()->GetScanline(0))[x] = 0;
  TIOParamsVals p(nullptr);
  p.BitsPerSample = 8;
  std::vector<Byte> bytes;
  WriteGif(b, p, bytes);
  EXPECT_EQ(bytes[10], 0xF7);
  const size_t control = 13 + 768;
  ASSERT_EQ(bytes[control], 0x21);
  ASSERT_EQ(bytes[control + 1], 0xF9);
  EXPECT_EQ(bytes[control + 3] & 1, 1);
  EXPECT_EQ(bytes[control + 6], 255);
  TRead back;
  ReadGif(bytes, back);
  ASSERT_NE(back.Alpha, nullptr);
  EXPECT_EQ(back.Alpha->GetPixel(9, 0), 0);
  EXPECT_NE(back.Alpha->GetPixel(10, 0), 0);
  testsupport::RemoveTree(dir);
}

TEST(GifWriter, CommentsOfEveryLengthAreWrittenWhole) {
  const std::string dir = testsupport::MakeTempDir("gifc");
  TIEBitmap b;
  b.Allocate(3, 2, ie24RGB);
  b.Fill(0);
  // 256 and 512 characters: a length byte of 0 would end the comment and corrupt the file. No
  // comment at all: no comment extension, which giflib refuses empty.
  for (size_t length : {0u, 5u, 255u, 256u, 512u, 700u}) {
    SCOPED_TRACE(length);
    TIOParamsVals p(nullptr);
    std::string text;
    for (size_t i = 0; i < length; ++i) text += char('a' + i % 26);
    if (length) p.GifComments->Add(text);
    std::vector<Byte> bytes;
    WriteGif(b, p, bytes);
    const std::string path = dir + "/c.gif";
    WriteFileBytes(path, bytes);
    // giftext lists the comment's sub-blocks; joined, they are the text.
    std::string listed = RunOk("giftext " + ShellQuote(path));
    EXPECT_EQ(listed.find("GIF89 comment") != std::string::npos, length > 0);
    TRead back;
    ReadGif(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    std::string joined;
    for (Integer i = 0; i < back.Params.GifComments->Count(); ++i) joined += back.Params.GifComments->Strings(i);
    EXPECT_EQ(joined, text);
    EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("giftopnm " + ShellQuote(path))), 0);
  }
  testsupport::RemoveTree(dir);
}

TEST(Corpus, GifReader) {
  const size_t reads = ReplayCorpus("gif", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    ReadGif(data, r, Integer(index % 3), index % 2 == 1);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
