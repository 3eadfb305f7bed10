// The I/O component's camera raw loads: by name (the extension's row, or the content for a
// TIFF-structured file with a raw extension), by detected content from a stream (the raw probe
// runs last), by id, and the parameters alone.
#include <gtest/gtest.h>

#include <functional>

#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/io/ie_zodiver_io.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using iotest::TRecordedIO;
using iotest::W;

namespace {

struct TTempDir {
  std::string Path = testsupport::MakeTempDir("rawio");
  ~TTempDir() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

std::string RawFile(const std::string& Name, const std::string& Kind, const std::string& Args) {
  return testsupport::Fixture("raw-" + Name, std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                                 "/tests/imaging/formats/tools/make_camera_raw.py " + Kind + " {out} " + Args);
}

// Raw files load by name (the extension's row, or the content for a TIFF-structured file with a
// raw extension), by detected content from a stream (the raw probe runs last) and by id; their
// parameters read without decoding.
TEST(CameraRawIO, LoadsByNameContentStreamAndId) {
  iotest::EnsureIOUnit();
  TTempDir dir;
  const std::vector<Byte> dc20(62464, 128), orf = ReadWholeFile(RawFile("e1.orf", "olympus", "12 8 100 200 300"));
  WriteFileBytes(dir / "x.raw", dc20);
  WriteFileBytes(dir / "shot.orf", orf);
  EXPECT_EQ(FindFileFormat(W(dir / "shot.orf"), false), ioRAW);
  TMemoryStream m;
  FillStream(m, dc20);
  EXPECT_EQ(FindStreamFormat(&m), ioRAW);

  const std::vector<std::pair<const char*, std::function<void(TZodivErIO&)>>> calls = {
      {"by name", [&](TZodivErIO& io) { io.LoadFromFile(W(dir / "x.raw")); }},
      {"by name, TIFF structure", [&](TZodivErIO& io) { io.LoadFromFile(W(dir / "shot.orf")); }},
      {"stream, detected", [&](TZodivErIO& io) { m.SetPosition(0); io.LoadFromStream(&m); }},
      {"stream, by id", [&](TZodivErIO& io) { m.SetPosition(0); io.LoadFromStreamFormat(&m, ioRAW); }},
      {"file, by id", [&](TZodivErIO& io) { io.LoadFromFileFormat(W(dir / "x.raw"), ioRAW); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    TRecordedIO r;
    call(r.IO);
    EXPECT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(r.IO.IOParams()->FileType, ioRAW);
    EXPECT_GT(r.IO.IEBitmap()->GetWidth(), 0);
    EXPECT_EQ(r.IO.IOParams()->Width, r.IO.IEBitmap()->GetWidth());
    r.ExpectEndedOnce();
  }
  TRecordedIO params;
  params.IO.ParamsFromFile(W(dir / "shot.orf"));
  EXPECT_FALSE(params.IO.Aborting) << params.IO.FailureReason();
  EXPECT_EQ(params.IO.IOParams()->RawCamera, "OLYMPUS E-1 ");
  EXPECT_EQ(params.IO.IOParams()->Width, 10);

  // A file no camera row knows fails with the reason.
  WriteFileBytes(dir / "odd.raw", std::vector<Byte>(1000, 7));
  TRecordedIO odd;
  odd.IO.LoadFromFile(W(dir / "odd.raw"));
  EXPECT_TRUE(odd.IO.Aborting);
  EXPECT_NE(odd.IO.FailureReason().find("not a camera raw file"), std::string::npos) << odd.IO.FailureReason();
  odd.ExpectEndedOnce();
}

}  // namespace
