// AVI frames through the I/O component: by name (frame ImageIndex) and through an AVI file kept
// open, on AVIs the ffmpeg tool writes; a file that does not open as a video, a frame the
// video does not have and a load with no file open each fail with a reason naming the file.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/io/ie_io_unit.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/support/corpus.h"
#include "tests/imaging/support/ie_stores.h"

using namespace iotest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

constexpr Integer kW = 32, kH = 24;

std::string Video(const std::string& Name, const std::string& Input, const std::string& Codec) {
  return Fixture("io-avi-" + Name + ".avi", "ffmpeg -v error -f lavfi -i " + Input + " " + Codec + " -f avi {out}");
}
std::string Bgr24(Integer Frames = 5, Integer Rate = 25) {
  return Video("bgr24-" + std::to_string(Frames) + "-" + std::to_string(Rate),
               "testsrc2=size=32x24:rate=" + std::to_string(Rate),
               "-frames:v " + std::to_string(Frames) + " -c:v rawvideo -pix_fmt bgr24");
}
std::vector<Byte> ToolFrames(const std::string& Avi) {
  return ietest::ReadWholeFile(Fixture("io-avi-" + Avi.substr(Avi.rfind('/') + 1) + ".bgr",
                                       "ffmpeg -v error -i " + ShellQuote(Avi) + " -f rawvideo -pix_fmt bgr24 {out}"));
}

bool SameFrame(TIEBitmap* B, const std::vector<Byte>& Ref, Integer Index) {
  if (B->GetWidth() != kW || B->GetHeight() != kH || B->GetPixelFormat() != ie24RGB) return false;
  for (Integer y = 0; y < kH; ++y)
    if (std::memcmp(B->GetScanline(y), Ref.data() + (size_t(Index) * kH + size_t(y)) * kW * 3, size_t(kW) * 3) != 0)
      return false;
  return true;
}

// A small picture that no frame equals, to see that a failed load leaves it alone.
void Mark(TIEBitmap* B) {
  B->Allocate(3, 2, ie24RGB);
  B->Fill(0);
  static_cast<Byte*>(B->GetScanline(1))[8] = 0x12;
}
bool Marked(TIEBitmap* B) {
  return B->GetWidth() == 3 && B->GetHeight() == 2 && B->GetPixelFormat() == ie24RGB &&
         static_cast<Byte*>(B->GetScanline(1))[8] == 0x12;
}

bool Has(const AnsiString& Text, const std::string& Part) { return Text.find(Part) != AnsiString::npos; }

TEST(ZodivErIOAvi, LoadFromFileLoadsFrameImageIndexInEveryStore) {
  const std::string Avi = Bgr24();
  const std::vector<Byte> Ref = ToolFrames(Avi);
  ietest::ForEachStore([&](ietest::Store S, ietest::StoreScope& Scope) {
    if (S == ietest::Store::Fragments) return;  // 24 rows of 96 bytes: more than the fragment store's test blocks
    TRecordedIO R;
    Scope.Prepare(*R.IO.IEBitmap());
    R.IO.IOParams()->ImageIndex = 2;
    R.IO.LoadFromFile(W(Avi));
    EXPECT_FALSE(R.IO.Aborting) << R.IO.FailureReason();
    R.ExpectEndedOnce();
    EXPECT_TRUE(SameFrame(R.IO.IEBitmap(), Ref, 2));
    EXPECT_TRUE(Scope.InStore(*R.IO.IEBitmap()));
    TIOParamsVals* P = R.IO.IOParams();
    EXPECT_EQ(P->FileType, ioAVI);
    EXPECT_EQ(WideToAnsi(P->FileName), Avi);
    EXPECT_EQ(P->AviFrameCount, 5);
    EXPECT_EQ(P->AviFrameDelayTime, 40);
    EXPECT_EQ(P->BitsPerSample, 8);
    EXPECT_EQ(P->SamplesPerPixel, 3);
    EXPECT_EQ(P->Width, kW);
    EXPECT_EQ(P->OriginalHeight, kH);
    EXPECT_EQ(P->DpiX, IEGlobalDefaultDpiX);
    EXPECT_TRUE(IEAVIFileInitialized);
  });
}

TEST(ZodivErIOAvi, FramesOfAnOpenFile) {
  const std::string Five = Bgr24(), Three = Bgr24(3, 10);
  const std::vector<Byte> Ref = ToolFrames(Five), RefThree = ToolFrames(Three);
  TRecordedIO R;
  ASSERT_EQ(R.IO.OpenAVIFile(W(Five)), 5);
  EXPECT_FALSE(R.IO.Aborting);
  for (Integer i : {4, 0, 3}) {
    R.IO.LoadFromAVI(i);
    EXPECT_FALSE(R.IO.Aborting) << R.IO.FailureReason();
    EXPECT_TRUE(SameFrame(R.IO.IEBitmap(), Ref, i)) << i;
  }
  // Opening another file closes the first.
  ASSERT_EQ(R.IO.OpenAVIFile(W(Three)), 3);
  R.IO.LoadFromAVI(1);
  EXPECT_TRUE(SameFrame(R.IO.IEBitmap(), RefThree, 1));
  EXPECT_EQ(R.IO.IOParams()->AviFrameDelayTime, 100);  // 10 frames a second

  // A frame the video does not have fails and leaves the image as it was.
  Mark(R.IO.IEBitmap());
  R.Clear();
  R.IO.LoadFromAVI(3);
  EXPECT_TRUE(R.IO.Aborting);
  EXPECT_TRUE(Has(R.IO.FailureReason(), "Cannot load frame 3 of \"" + Three + "\": the video has 3 frames"))
      << R.IO.FailureReason();
  R.ExpectEndedOnce();
  EXPECT_TRUE(Marked(R.IO.IEBitmap()));

  R.IO.CloseAVIFile();
  R.Clear();
  R.IO.LoadFromAVI(0);
  EXPECT_TRUE(R.IO.Aborting);
  EXPECT_EQ(R.IO.FailureReason(), "No AVI file is open");
  R.ExpectEndedOnce();
  EXPECT_TRUE(Marked(R.IO.IEBitmap()));

  // By name, a frame past the end fails the same way.
  R.IO.IOParams()->ImageIndex = 5;
  R.IO.LoadFromFile(W(Five));
  EXPECT_TRUE(R.IO.Aborting);
  EXPECT_TRUE(Has(R.IO.FailureReason(), "the video has 5 frames")) << R.IO.FailureReason();
  EXPECT_TRUE(Marked(R.IO.IEBitmap()));
}

TEST(ZodivErIOAvi, FileThatDoesNotOpenAsAVideoFails) {
  const std::string Dir = testsupport::MakeTempDir("avi");
  const std::string Png = Dir + "/picture.avi";
  testsupport::RunOk("convert -size 8x8 xc:red PNG:" + ShellQuote(Png));
  const std::string Whole = Bgr24();
  const std::string Cut = Dir + "/cut.avi";
  testsupport::RunOk("head -c 300 " + ShellQuote(Whole) + " > " + ShellQuote(Cut));
  struct TCase {
    std::string File, Cause;
  };
  const std::vector<TCase> Cases = {
      {Dir + "/missing.avi", "Cannot open file"},
      {Png, "not an AVI file"},
      {Cut, "cut short"},
      {Video("sound", "sine=duration=0.2", "-c:a pcm_s16le"), "no video stream"},
      {Video("mpeg4", "testsrc2=size=32x24:rate=25", "-frames:v 2 -c:v mpeg4"), "coded as \"FMP4\""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.File);
    TRecordedIO R;
    Mark(R.IO.IEBitmap());
    EXPECT_EQ(R.IO.OpenAVIFile(W(C.File)), 0);
    EXPECT_TRUE(R.IO.Aborting);
    EXPECT_TRUE(Has(R.IO.FailureReason(), C.File)) << R.IO.FailureReason();
    EXPECT_TRUE(Has(R.IO.FailureReason(), C.Cause)) << R.IO.FailureReason();
    EXPECT_EQ(R.IO.IOParams()->AviFrameCount, 0);

    // By name: the open's failure stands through the frame load, which is not tried.
    R.Clear();
    R.IO.LoadFromFile(W(C.File));
    EXPECT_TRUE(R.IO.Aborting);
    ASSERT_EQ(R.AbortingAtFinish.size(), 1u);
    EXPECT_TRUE(R.AbortingAtFinish[0]);
    R.ExpectEndedOnce();
    EXPECT_TRUE(Has(R.IO.FailureReason(), C.Cause)) << R.IO.FailureReason();
    EXPECT_TRUE(Marked(R.IO.IEBitmap()));
    EXPECT_EQ(R.IO.IOParams()->FileType, ioAVI);
    EXPECT_EQ(WideToAnsi(R.IO.IOParams()->FileName), C.File);
  }
  testsupport::RemoveTree(Dir);
}

}  // namespace
