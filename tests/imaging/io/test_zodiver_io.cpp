// The I/O component end to end: loading and saving by name through every codec the library
// carries, checked against the peer tools' own reading; the event sequence; every failure
// ending with Aborting, a reason and one finish event; resolution adjustment; stream headers;
// parameter-only reads; attachments to an outside bitmap, a picture control and a view.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/io/ie_format_detection.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/extctrls.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/support/corpus.h"

using namespace ietest;
using namespace iotest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

struct TTempDir {
  std::string Path = testsupport::MakeTempDir("io");
  ~TTempDir() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

std::string ToolFile(const std::string& Name, const std::string& Recipe) { return Fixture("io-" + Name, Recipe); }

std::string PngFile() { return ToolFile("photo.png", "convert " + ShellQuote(SourcePPM()) + " PNG:{out}"); }

TEST(ZodivErIO, EveryBuiltCodecLoadsAndSavesByExtension) {
  const std::string src = ShellQuote(SourcePPM());
  struct TCase {
    std::string Ext;      // of the file we load and the file we write
    std::string Recipe;   // the tool that writes the file we load
    Integer FileType;
    bool NameAtFinish;    // the file name is already set when the finish event fires
    Integer Tolerance;    // between our decoding and the tool's; lossy formats more
  };
  const std::vector<TCase> cases = {
      {"jpg", "convert " + src + " -quality 92 JPEG:{out}", ioJPEG, true, 2},
      {"JPEG", "cjpeg -quality 92 " + src + " > {out}", ioJPEG, true, 2},
      {"png", "pnmtopng " + src + " > {out}", ioPNG, true, 0},
      {"bmp", "ppmtobmp " + src + " > {out}", ioBMP, false, 0},
      {"dib", "convert " + src + " BMP3:{out}", ioBMP, false, 0},
      {"ppm", "cp " + src + " {out}", ioPXM, true, 0},
      {"pgm", "ppmtopgm " + src + " > {out}", ioPXM, true, 0},
      {"pcx", "ppmtopcx -24bit " + src + " > {out}", ioPCX, false, 0},
      {"dcx", "convert " + src + " DCX:{out}", ioDCX, false, 0},
      {"tga", "convert " + src + " -orient TopLeft TGA:{out}", ioTGA, true, 0},
      {"jp2", "opj_compress -i " + src + " -o {out}.jp2 -n 3 >/dev/null && mv {out}.jp2 {out}", ioJP2, true, 0},
      {"j2k", "opj_compress -i " + src + " -o {out}.j2k -n 3 >/dev/null && mv {out}.j2k {out}", ioJ2K, true, 0},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Ext);
    const std::string in = ToolFile("in." + c.Ext, c.Recipe);
    TRecordedIO r;
    r.IO.LoadFromFile(W(in));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    r.ExpectEndedOnce();
    EXPECT_EQ(r.Events.back(), "finish:" + (c.NameAtFinish ? in : std::string()));
    EXPECT_EQ(WideToAnsi(r.IO.IOParams()->FileName), in);
    EXPECT_EQ(r.IO.IOParams()->FileType, c.FileType);
    EXPECT_LE(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("convert " + ShellQuote(in) + " -depth 8 PAM:-")),
              c.Tolerance);

    const std::string out = dir / ("out." + c.Ext);
    r.Clear();
    r.IO.SaveToFile(W(out));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    r.ExpectEndedOnce();
    EXPECT_EQ(WideToAnsi(r.IO.IOParams()->FileName), out);
    EXPECT_EQ(r.IO.IOParams()->FileType, c.FileType);
    // What we wrote, as the tool reads it, is what we hold; a JPEG is what cjpeg makes of the
    // same pixels at the same quality.
    const TPam written = PamFromCommand("convert " + ShellQuote(out) + " -depth 8 PAM:-");
    if (c.FileType == ioJPEG) {
      const std::string held = dir / "held.ppm";
      WriteFileBytes(held, ToPPM(*r.IO.IEBitmap()));
      const TPam peer = PamFromCommand("cjpeg -quality 80 " + ShellQuote(held) + " | convert JPEG:- -depth 8 PAM:-");
      EXPECT_EQ(written.Samples.size(), peer.Samples.size());
      Integer worst = 0;
      for (size_t i = 0; i < std::min(written.Samples.size(), peer.Samples.size()); ++i)
        worst = std::max(worst, std::abs(written.Samples[i] - peer.Samples[i]));
      EXPECT_LE(worst, 1);
    } else {
      EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), written), 0);
    }
  }
}

TEST(ZodivErIO, FailuresEndWithAbortingAReasonAndOneFinishEvent) {
  TTempDir dir;
  const std::string gif = ToolFile("in.gif", "convert " + ShellQuote(SourcePPM()) + " GIF:{out}");
  const std::string ps = dir / "page.ps", nef = dir / "photo.nef", psd = dir / "layers.psd";
  WriteFileBytes(ps, std::vector<Byte>{'%', '!', 'P', 'S'});
  WriteFileBytes(psd, std::vector<Byte>{'8', 'B', 'P', 'S'});
  WriteFileBytes(nef, ReadWholeFile(PngFile()));
  const std::vector<Byte> png = ReadWholeFile(PngFile());
  const std::string metafile = testsupport::Fixture(
      "mfpic-emf-badobject.emf",
      std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_metafile_picture.py {out} emf-badobject");
  TMemoryStream text;
  FillStream(text, std::vector<Byte>(64, 'x'));
  struct TCase {
    std::string Name;
    std::function<void(TZodivErIO&)> Call;
    std::string Reason;  // part of the reason
  };
  const std::vector<TCase> cases = {
      {"load without a name", [](TZodivErIO& io) { io.LoadFromFile(u""); }, "No file name"},
      {"save without a name", [](TZodivErIO& io) { io.SaveToFile(u""); }, "No file name"},
      {"load of an unknown extension", [&](TZodivErIO& io) { io.LoadFromFile(W(dir / "a.xyz")); }, "\".xyz\""},
      {"save under an unknown extension", [&](TZodivErIO& io) { io.SaveToFile(W(dir / "a.xyz")); }, "\".xyz\""},
      {"load of a write-only format", [&](TZodivErIO& io) { io.LoadFromFile(W(ps)); }, "PostScript Level 2 files cannot be read"},
      {"save of a read-only format", [&](TZodivErIO& io) { io.SaveToFile(W(dir / "a.cur")); }, "Windows Cursor files cannot be written"},
      {"load of a metafile with a damaged record", [&](TZodivErIO& io) { io.LoadFromFile(W(metafile)); }, "object 9"},
      {"load of a cut Photoshop file", [&](TZodivErIO& io) { io.LoadFromFile(W(psd)); }, "too short for its header"},
      {"save as .win", [&](TZodivErIO& io) { io.SaveToFile(W(dir / "a.win")); }, "an empty image cannot be saved as Targa"},
      {"save as .xif", [&](TZodivErIO& io) { io.SaveToFile(W(dir / "a.xif")); }, "an empty image cannot be saved as TIFF"},
      {"save as .lyr", [&](TZodivErIO& io) { io.SaveToFile(W(dir / "a.lyr")); }, "a.lyr\": layers are saved from an attached image view"},
      // A PNG under a raw name: the raw reader runs and does not know it.
      {"load of a camera raw name", [&](TZodivErIO& io) { io.LoadFromFile(W(nef)); }, "not a camera raw file"},
      {"load of a missing AVI file", [&](TZodivErIO& io) { io.LoadFromFile(W(dir / "clip.avi")); }, "clip.avi"},
      {"load from an address without a path", [](TZodivErIO& io) { io.LoadFromFile(u"HTTP://example.com"); }, "no path"},
      {"stream of unknown content", [&](TZodivErIO& io) { text.SetPosition(0); io.LoadFromStream(&text); }, "not recognised"},
      {"stream load by an id without a row", [&](TZodivErIO& io) { io.LoadFromStreamFormat(&text, 77); }, "77"},
      {"file load by an id without a row", [&](TZodivErIO& io) { io.LoadFromFileFormat(W(gif), 77); }, "77"},
      {"stream save by an id without a writer", [&](TZodivErIO& io) { io.SaveToStream(&text, ioCUR); }, "cannot be written"},
      {"PNG bytes read as BMP", [&](TZodivErIO& io) { io.LoadFromBuffer(png.data(), Integer(png.size()), ioBMP); }, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordedIO r;
    r.IO.Aborting = false;
    c.Call(r.IO);
    EXPECT_TRUE(r.IO.Aborting);
    r.ExpectEndedOnce();
    EXPECT_EQ(r.AbortingAtFinish, std::vector<bool>{true});
    EXPECT_FALSE(r.IO.FailureReason().empty());
    EXPECT_NE(r.IO.FailureReason().find(c.Reason), std::string::npos) << r.IO.FailureReason();
  }
  // Nothing was created by the saves that could not write.
  for (const char* name : {"a.xyz", "a.cur", "a.win", "a.xif", "a.lyr"}) EXPECT_FALSE(FileExists(dir / name)) << name;
}

TEST(ZodivErIO, MissingFilesRaiseAfterTheFinishEvent) {
  TTempDir dir;
  for (const char* name : {"gone.bmp", "gone.jpg", "gone.png", "gone.pgm"}) {
    SCOPED_TRACE(name);
    TRecordedIO r;
    r.IO.Aborting = false;
    EXPECT_THROW(r.IO.LoadFromFile(W(dir / name)), EFOpenError);
    EXPECT_TRUE(r.IO.Aborting);
    EXPECT_NE(r.IO.FailureReason().find("Cannot open file"), std::string::npos) << r.IO.FailureReason();
    r.ExpectEndedOnce();
  }
  TRecordedIO r;
  EXPECT_THROW(r.IO.SaveToFile(W(dir / "no-such-folder/out.png")), EFCreateError);
  EXPECT_TRUE(r.IO.Aborting);
  r.ExpectEndedOnce();
}

TEST(ZodivErIO, DamagedFileFailsWithTheCodecsReason) {
  TTempDir dir;
  std::vector<Byte> bmp = ReadWholeFile(ToolFile("in.bmp", "ppmtobmp " + ShellQuote(SourcePPM()) + " > {out}"));
  bmp.resize(bmp.size() / 2);
  WriteFileBytes(dir / "cut.bmp", bmp);
  TRecordedIO r;
  r.IO.LoadFromFile(W(dir / "cut.bmp"));
  EXPECT_TRUE(r.IO.Aborting);
  EXPECT_FALSE(r.IO.FailureReason().empty());
  r.ExpectEndedOnce();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioBMP);  // the per-format method still names the file
}

// A 24-bit BMP of 600 x 200 pixels at 11811 x 5906 pixels per metre (300 x 150 DPI): the top
// half red, the bottom half blue.
std::vector<Byte> NonSquareBmp(DWORD PpmX = 11811, DWORD PpmY = 5906) {
  const Integer w = 600, h = 200, row = w * 3;
  std::vector<Byte> d(54 + size_t(row) * h, 0);
  auto put32 = [&d](size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) d[at + i] = Byte(v >> (8 * i));
  };
  d[0] = 'B';
  d[1] = 'M';
  put32(2, DWORD(d.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  d[26] = 1;
  d[28] = 24;
  put32(34, DWORD(row) * h);
  put32(38, PpmX);
  put32(42, PpmY);
  for (Integer y = 0; y < h; ++y)  // stored bottom row first
    for (Integer x = 0; x < w; ++x) d[54 + size_t(y) * row + size_t(x) * 3 + (y < h / 2 ? 0 : 2)] = 255;
  return d;
}

TEST(ZodivErIO, AutoAdjustDPIMakesSquarePixels) {
  TTempDir dir;
  WriteFileBytes(dir / "wide.bmp", NonSquareBmp());
  for (bool filtered : {false, true}) {
    SCOPED_TRACE(filtered ? "filtered" : "nearest");
    TRecordedIO r;
    r.IO.AutoAdjustDPI = true;
    r.IO.FilteredAdjustDPI = filtered;
    r.IO.LoadFromFile(W(dir / "wide.bmp"));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    TIEBitmap& b = *r.IO.IEBitmap();
    EXPECT_EQ(b.GetWidth(), 600);
    EXPECT_EQ(b.GetHeight(), 400);
    EXPECT_EQ(r.IO.IOParams()->DpiX, 300);
    EXPECT_EQ(r.IO.IOParams()->DpiY, 300);
    EXPECT_EQ(r.IO.IOParams()->Width, 600);
    EXPECT_EQ(r.IO.IOParams()->Height, 400);
    const TRGB top = b.GetPixelAsRGB(10, 10), bottom = b.GetPixelAsRGB(10, 390);
    EXPECT_EQ(top.r, 255);
    EXPECT_EQ(top.b, 0);
    EXPECT_EQ(bottom.b, 255);
    EXPECT_EQ(bottom.r, 0);
    if (!filtered) {
      EXPECT_EQ(b.GetPixelAsRGB(0, 199).r, 255);
      EXPECT_EQ(b.GetPixelAsRGB(0, 200).b, 255);
    }
  }
  TRecordedIO off;
  off.IO.LoadFromFile(W(dir / "wide.bmp"));
  EXPECT_EQ(off.IO.IEBitmap()->GetHeight(), 200);
  EXPECT_EQ(off.IO.IOParams()->DpiY, 150);

  // Resolutions of 65460 x 2 DPI would ask for a 600 x 6.5 million image: the load keeps the
  // image as read instead.
  WriteFileBytes(dir / "absurd.bmp", NonSquareBmp(2577165, 80));
  TRecordedIO absurd;
  absurd.IO.AutoAdjustDPI = true;
  absurd.IO.LoadFromFile(W(dir / "absurd.bmp"));
  EXPECT_FALSE(absurd.IO.Aborting) << absurd.IO.FailureReason();
  EXPECT_EQ(absurd.IO.IEBitmap()->GetHeight(), 200);
  EXPECT_EQ(absurd.IO.IOParams()->Height, 200);
}

TEST(ZodivErIO, HeadedJpegStreamsFollowOneAnother) {
  TRecordedIO writer;
  writer.IO.LoadFromFile(W(SourcePPM()));
  writer.IO.StreamHeaders = true;
  TMemoryStream m;
  writer.IO.SaveToStreamJPEG(&m);
  ASSERT_FALSE(writer.IO.Aborting);
  const Int64 first = m.Position();
  writer.IO.IEBitmap()->Allocate(7, 5, ie24RGB);
  writer.IO.IEBitmap()->Fill(0);
  writer.IO.SaveToStream(&m, ioJPEG);
  const Int64 end = m.Position();
  EXPECT_TRUE(writer.IO.IOParams()->FileName.empty() || WideToAnsi(writer.IO.IOParams()->FileName) == SourcePPM());

  const std::vector<Byte> bytes = StreamBytes(m);
  const Cardinal length = Cardinal(bytes[8]) | Cardinal(bytes[9]) << 8 | Cardinal(bytes[10]) << 16 | Cardinal(bytes[11]) << 24;
  EXPECT_EQ(std::vector<Byte>(bytes.begin(), bytes.begin() + 8), (std::vector<Byte>{'J', 'F', 'I', 'F', 0, 0, 0, 0}));
  EXPECT_EQ(Int64(length) + 12, first);

  TRecordedIO reader;  // headers off: the JPEG loader looks for one all the same
  m.SetPosition(0);
  reader.IO.LoadFromStream(&m);
  ASSERT_FALSE(reader.IO.Aborting) << reader.IO.FailureReason();
  EXPECT_EQ(reader.IO.IEBitmap()->GetWidth(), 23);
  EXPECT_EQ(m.Position(), first);
  EXPECT_TRUE(reader.IO.IOParams()->FileName.empty());
  reader.IO.LoadFromStream(&m);
  EXPECT_EQ(reader.IO.IEBitmap()->GetWidth(), 7);
  EXPECT_EQ(m.Position(), end);

  // A header that promises more than the stream holds leaves the stream at its end.
  std::vector<Byte> overstated = bytes;
  overstated.resize(size_t(first));
  overstated[11] = 0x7F;
  TMemoryStream o;
  FillStream(o, overstated);
  reader.IO.LoadFromStreamJPEG(&o);
  EXPECT_FALSE(reader.IO.Aborting);
  EXPECT_EQ(o.Position(), o.Size());
}

TEST(ZodivErIO, StreamsBuffersAndAutoDetectedFiles) {
  TTempDir dir;
  const std::vector<Byte> png = ReadWholeFile(PngFile());
  TRecordedIO r;
  r.IO.LoadFromBuffer(png.data(), Integer(png.size()), 0);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioPNG);
  r.ExpectEndedOnce();

  // A JPEG under a PNG name: by name the PNG reader refuses it, by content it loads.
  WriteFileBytes(dir / "misnamed.png", ReadWholeFile(ToolFile("misnamed-src.jpg", "convert " + ShellQuote(SourcePPM()) + " JPEG:{out}")));
  r.IO.LoadFromFile(W(dir / "misnamed.png"));
  EXPECT_TRUE(r.IO.Aborting);
  r.IO.LoadFromFileAuto(W(dir / "misnamed.png"));
  EXPECT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioJPEG);

  // Saving by id into a stream and reading it back by id.
  TMemoryStream m;
  r.IO.SaveToStream(&m, ioBMP);
  m.SetPosition(0);
  TRecordedIO back;
  back.IO.LoadFromStreamFormat(&m, ioBMP);
  ASSERT_FALSE(back.IO.Aborting);
  EXPECT_EQ(MaxDifference(*back.IO.IEBitmap(), *r.IO.IEBitmap()), 0);
}

TEST(ZodivErIO, ParametersOnlyLeaveTheImageAlone) {
  TRecordedIO r;
  r.IO.IEBitmap()->Allocate(5, 4, ie24RGB);
  TMemoryStream m;
  FillStream(m, ReadWholeFile(PngFile()));
  r.IO.ParamsFromStream(&m);
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(r.IO.IOParams()->Width, 23);
  EXPECT_EQ(r.IO.IOParams()->Height, 13);
  EXPECT_EQ(r.IO.IOParams()->FileType, ioPNG);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 5);
  r.ExpectEndedOnce();

  TTempDir dir;
  r.Clear();
  r.IO.ParamsFromFile(W(dir / "missing.png"));
  EXPECT_EQ(r.IO.IOParams()->FileType, 0);
  EXPECT_EQ(WideToAnsi(r.IO.IOParams()->FileName), dir / "missing.png");
  r.ExpectEndedOnce();
}

// A format added at run time: "TST" and a width and height byte; a width of 0 makes the reader
// raise.
void ReadTst(TStream* S, TIEBitmap* Bitmap, TIOParamsVals& Params, TIECodecProgress&, bool Preview) {
  Byte b[5] = {};
  S->ReadBuffer(b, 5);
  if (b[3] == 0) throw Exception("width 0");
  Params.Width = b[3];
  Params.Height = b[4];
  if (!Preview) Bitmap->Allocate(b[3], b[4], ie24RGB);
}
void WriteTst(TStream* S, TIEBitmap* Bitmap, TIOParamsVals&, TIECodecProgress&) {
  const Byte b[5] = {'T', 'S', 'T', Byte(Bitmap->GetWidth()), Byte(Bitmap->GetHeight())};
  S->WriteBuffer(b, 5);
}

TEST(ZodivErIO, RegisteredFormatsGoThroughTheirRows) {
  EnsureIOUnit();
  auto* row = new TIEFileFormatInfo;
  row->FileType = 93;
  row->FullName = "Test format";
  row->Extensions = "TST";
  row->ReadFunction = ReadTst;
  row->WriteFunction = WriteTst;
  row->TryFunction = [](TStream* S, Integer) {
    char b[3] = {};
    return S->Read(b, 3) == 3 && std::memcmp(b, "TST", 3) == 0;
  };
  IEFileFormatAdd(row);
  TTempDir dir;
  TRecordedIO r;
  r.IO.IEBitmap()->Allocate(9, 4, ie8g);
  r.IO.SaveToFile(W(dir / "a.tst"));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IEBitmap()->GetPixelFormat(), ie24RGB);  // rows without their own method get 24-bit
  EXPECT_EQ(ReadWholeFile(dir / "a.tst"), (std::vector<Byte>{'T', 'S', 'T', 9, 4}));
  r.ExpectEndedOnce();

  for (bool byName : {true, false}) {
    TRecordedIO l;
    if (byName) l.IO.LoadFromFile(W(dir / "a.tst"));
    else l.IO.LoadFromFileAuto(W(dir / "a.tst"));
    ASSERT_FALSE(l.IO.Aborting) << l.IO.FailureReason();
    EXPECT_EQ(l.IO.IEBitmap()->GetWidth(), 9);
    EXPECT_EQ(l.IO.IOParams()->FileType, 93);
    EXPECT_EQ(WideToAnsi(l.IO.IOParams()->FileName), dir / "a.tst");
    l.ExpectEndedOnce();
  }
  TMemoryStream m;
  FillStream(m, {'T', 'S', 'T', 3, 2});
  TRecordedIO s;
  s.IO.LoadFromStream(&m);
  EXPECT_EQ(s.IO.IEBitmap()->GetHeight(), 2);
  EXPECT_EQ(s.IO.IOParams()->FileType, 93);

  // A reader that raises: by name the failure is caught, by id it reaches the caller; both
  // after the finish event.
  WriteFileBytes(dir / "zero.tst", {'T', 'S', 'T', 0, 0});
  TRecordedIO z;
  z.IO.LoadFromFile(W(dir / "zero.tst"));
  EXPECT_TRUE(z.IO.Aborting);
  EXPECT_EQ(z.IO.FailureReason(), "width 0");
  z.ExpectEndedOnce();
  z.Clear();
  EXPECT_THROW(z.IO.LoadFromFileFormat(W(dir / "zero.tst"), 93), Exception);
  EXPECT_TRUE(z.IO.Aborting);
  z.ExpectEndedOnce();
  IEFileFormatRemove(93);
}

// A DNG: TIFF-structured, with a DNG version in its first directory.
std::vector<Byte> TinyDng() {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 3, 0,
          0, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,
          1, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,
          0x12, 0xC6, 1, 0, 4, 0, 0, 0, 1, 1, 0, 0,
          0, 0, 0, 0};
}

TEST(ZodivErIO, DngFilesAreRefusedWithAClearMessage) {
  TTempDir dir;
  WriteFileBytes(dir / "shot.dng", TinyDng());
  TMemoryStream m;
  FillStream(m, TinyDng());
  const std::vector<std::function<void(TZodivErIO&)>> calls = {
      [&](TZodivErIO& io) { io.LoadFromFileRAW(W(dir / "shot.dng")); },
      [&](TZodivErIO& io) { io.LoadFromFileFormat(W(dir / "shot.dng"), ioRAW); },
      [&](TZodivErIO& io) { m.SetPosition(0); io.LoadFromStreamFormat(&m, ioRAW); },
      [&](TZodivErIO& io) { m.SetPosition(0); io.ParamsFromStreamFormat(&m, ioRAW); },
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    TRecordedIO r;
    calls[i](r.IO);
    EXPECT_TRUE(r.IO.Aborting);
    EXPECT_NE(r.IO.FailureReason().find("DNG"), std::string::npos) << r.IO.FailureReason();
    r.ExpectEndedOnce();
  }
}

TEST(ZodivErIO, SavesConvertOnlyForWritersThatNeedIt) {
  TTempDir dir;
  for (const auto& [ext, converted] : std::vector<std::pair<std::string, bool>>{{"jpg", true}, {"png", false}, {"bmp", false}}) {
    TRecordedIO r;
    r.IO.IEBitmap()->Allocate(8, 8, ie8g);
    r.IO.IEBitmap()->Fill(90);
    r.IO.SaveToFile(W(dir / ("grey." + ext)));
    EXPECT_FALSE(r.IO.Aborting) << ext << ": " << r.IO.FailureReason();
    EXPECT_EQ(r.IO.IEBitmap()->GetPixelFormat(), converted ? ie24RGB : ie8g) << ext;
  }
}

TEST(ZodivErIO, AbortingSetFromAnotherThreadStopsTheLoad) {
  const std::string big = ToolFile("big.bmp", "convert -size 300x2000 gradient:red-blue BMP3:{out}");
  TZodivErIO io(nullptr);
  iotest::EnsureIOUnit();
  Integer reports = 0;
  io.OnProgress = [&](TObject*, Integer) {
    if (++reports == 3) std::thread([&io] { io.Aborting = true; }).join();
  };
  Integer finishes = 0;
  io.OnFinishWork = [&](TObject*) { ++finishes; };
  io.LoadFromFile(W(big));
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(finishes, 1);
  EXPECT_LT(reports, 50);  // the reader stopped soon after, it did not go on to the last row
}

TEST(ZodivErIO, PhotoshopResolutionBlockFollowsTheParameters) {
  auto marker = [](Cardinal Size, size_t Tail) {
    std::vector<Byte> d = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                           '8', 'B', 'I', 'M', 0x03, 0xED, 0, 0,
                           Byte(Size >> 24), Byte(Size >> 16), Byte(Size >> 8), Byte(Size)};
    d.resize(d.size() + Tail, 0xAA);
    return d;
  };
  const std::vector<Byte> expected = {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0x00, 0x96, 0, 0, 0, 1, 0, 1};
  struct TCase {
    const char* Name;
    std::vector<Byte> Data;
    bool Rewritten;
  };
  const TCase cases[] = {
      {"well formed", marker(16, 16), true},
      {"resource below 16 bytes", marker(15, 16), false},
      {"block cut short", marker(16, 15), false},
      {"no resolution resource", std::vector<Byte>(40, 0), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZodivErIO io(nullptr);
    io.IOParams()->JpegMarkerList->AddMarker(237, c.Data.data(), Word(c.Data.size()));
    io.IOParams()->DpiX = 300;
    io.IOParams()->DpiY = 150;
    io.SyncPhotoshopResolution();
    const Byte* d = io.IOParams()->JpegMarkerList->MarkerData(0);
    std::vector<Byte> after(d, d + c.Data.size());
    if (c.Rewritten) {
      EXPECT_EQ(std::vector<Byte>(after.begin() + 26, after.end()), expected);
      EXPECT_EQ(std::vector<Byte>(after.begin(), after.begin() + 26), std::vector<Byte>(c.Data.begin(), c.Data.begin() + 26));
    } else {
      EXPECT_EQ(after, c.Data);
    }
  }
}

TEST(ZodivErIO, MetadataTravelsThroughAJpegSave) {
  TTempDir dir;
  TRecordedIO w;
  w.IO.LoadFromFile(W(SourcePPM()));
  w.IO.IOParams()->XMP = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">kept</x:xmpmeta>";
  const std::string caption = "Harbour at dawn";
  w.IO.IOParams()->IptcInfo->AddBufferItem(2, 120, caption.data(), Integer(caption.size()));
  w.IO.SaveToFile(W(dir / "tagged.jpg"));
  ASSERT_FALSE(w.IO.Aborting) << w.IO.FailureReason();
  EXPECT_EQ(testsupport::RunOk("exiftool -s3 -IPTC:Caption-Abstract " + ShellQuote(dir / "tagged.jpg")), caption + "\n");

  TRecordedIO r;
  r.IO.LoadFromFile(W(dir / "tagged.jpg"));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->XMP, w.IO.IOParams()->XMP);
  ASSERT_EQ(r.IO.IOParams()->IptcInfo->Count(), 1);
  EXPECT_EQ(r.IO.IOParams()->IptcInfo->GetDataLength(0), Integer(caption.size()));
}

// The smallest view: its image is a bitmap of its own; it counts what the component asks of it.
class TTestView : public TIEView {
 public:
  using TIEView::TIEView;
  ~TTestView() override { NotifyDestroying(); }
  TIEBitmap* GetIEBitmap() override { return &Image; }
  TIEBitmap* GetAlphaChannel() override { return Image.GetAlphaChannel(); }
  bool HasAlphaChannel() override { return Image.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool) override {}
  void SuspendPaint() override { ++Suspends; }
  Integer ResumePaint() override { return 0; }
  Integer ResumePaintQuiet() override { return --Suspends; }
  void Update() override { ++Updates; }
  void ImageChange() override { ++Changes; }
  TIEBitmap Image;
  Integer Suspends = 0, Updates = 0, Changes = 0;
};

TEST(ZodivErIO, AttachedOutsideBitmapAndPictureControl) {
  TIEBitmap outside;
  TRecordedIO r;
  r.IO.SetAttachedIEBitmap(&outside);
  r.IO.LoadFromFile(W(PngFile()));
  EXPECT_EQ(outside.GetWidth(), 23);
  r.IO.SetAttachedIEBitmap(nullptr);
  EXPECT_NE(r.IO.IEBitmap(), &outside);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 0);
  EXPECT_EQ(outside.GetWidth(), 23);

  auto* picture = new TImage(nullptr);
  r.IO.SetAttachedTImage(picture);
  r.IO.LoadFromFile(W(PngFile()));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  TBitmap* shown = picture->Picture()->Bitmap();
  EXPECT_EQ(shown->Width(), 23);
  EXPECT_EQ(shown->Height(), 13);
  EXPECT_EQ(r.IO.GetBitmap(), shown);
  EXPECT_LE(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("convert " + ShellQuote(PngFile()) + " -depth 8 PAM:-")), 0);
  delete picture;  // the component lets go of the control's bitmap without touching it
  EXPECT_EQ(r.IO.AttachedTImage(), nullptr);
  r.IO.LoadFromFile(W(SourcePPM()));
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 23);
}

TEST(ZodivErIO, AttachedViewGetsItsImageResolutionAndRefresh) {
  auto* view = new TTestView(nullptr);
  TRecordedIO r;
  r.IO.SetAttachedZodivEr(view);
  EXPECT_EQ(r.IO.IEBitmap(), &view->Image);
  r.IO.LoadFromFile(W(SourcePPM()));
  ASSERT_FALSE(r.IO.Aborting);
  EXPECT_EQ(view->Image.GetWidth(), 23);
  EXPECT_EQ(view->Updates, 1);
  EXPECT_EQ(view->Changes, 1);
  EXPECT_EQ(view->Suspends, 0);
  EXPECT_EQ(view->DpiX(), r.IO.IOParams()->DpiX);

  // Letting go of the view leaves its image as it is and gives the component its own.
  r.IO.SetAttachedZodivEr(nullptr);
  EXPECT_EQ(view->Image.GetWidth(), 23);
  EXPECT_NE(r.IO.IEBitmap(), &view->Image);

  r.IO.SetAttachedZodivEr(view);
  delete view;  // the component learns it and takes an empty image of its own
  EXPECT_EQ(r.IO.AttachedZodivEr(), nullptr);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 0);
  r.IO.LoadFromFile(W(SourcePPM()));
  EXPECT_FALSE(r.IO.Aborting);
}

// Inputs that once ballooned a reader reached through the format detection, as a user's open
// reaches it: each is read or refused with the component's reason, within the corpus caps.
TEST(ZodivErIO, DetectionFuzzFindings) {
  ietest::ReplayFuzzFindings("detect", [](const std::vector<Byte>& data, size_t) -> ietest::TCorpusResult {
    TRecordedIO r;
    r.IO.LoadFromBuffer(data.data(), Integer(data.size()), ioUnknown);
    if (r.IO.Aborting) return {false, r.IO.FailureReason()};
    return {true, ""};
  });
}

}  // namespace
