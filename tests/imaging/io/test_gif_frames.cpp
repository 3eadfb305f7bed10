// Animated GIFs through the I/O component: each frame loads composed on the logical screen as
// ImageMagick's -coalesce shows it, every disposal method included; a single frame loads as the
// reader gives it; an animation reports its progress per frame.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/support/corpus.h"

using namespace ietest;
using iotest::W;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kCorpus = std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/formats/gif/";

// An animation through the component, frame by frame, against ImageMagick's -coalesce.
void ExpectLikeCoalesce(const std::string& File, Integer Frames) {
  const std::string dir = testsupport::MakeTempDir("gifco");
  RunOk("convert " + ShellQuote(File) + " -coalesce " + ShellQuote(dir + "/f-%d.pam"));
  for (Integer i = 0; i < Frames; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    iotest::TRecordedIO r;
    r.IO.IOParams()->GifImageIndex = i;
    EXPECT_EQ(r.IO.LoadFromFileGIF(W(File)), Frames);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(r.IO.IOParams()->GifImageIndex, i);
    TIEBitmap* img = r.IO.IEBitmap();
    const TPam want = ReadPamFile(dir + "/f-" + std::to_string(i) + ".pam");
    ASSERT_EQ(img->GetWidth(), want.Width);
    ASSERT_EQ(img->GetHeight(), want.Height);
    for (Integer y = 0; y < want.Height; ++y)
      for (Integer x = 0; x < want.Width; ++x) {
        const bool seen = want.Depth < 4 || want.At(x, y, 3) != 0;
        const Byte a = img->HasAlphaChannel() ? img->GetAlphaValue(x, y) : 255;
        ASSERT_EQ(a != 0, seen) << x << "," << y;
        if (!seen) continue;
        const TRGB c = img->GetPixelAsRGB(x, y);
        ASSERT_EQ(c.r, want.At8(x, y, 0)) << x << "," << y;
        ASSERT_EQ(c.g, want.At8(x, y, 1)) << x << "," << y;
        ASSERT_EQ(c.b, want.At8(x, y, 2)) << x << "," << y;
      }
  }
  testsupport::RemoveTree(dir);
}

TEST(GifFrames, AnimationsLoadComposedAsImageMagickCoalescesThem) {
  ExpectLikeCoalesce(kCorpus + "anim.gif", 3);
  // Every disposal method, over a screen of frames with tables of their own; the third frame
  // is black and white, the composed picture keeps its colours.
  const std::string every = Fixture(
      "gif-disposals.gif",
      "convert -size 20x16 xc:orange -fill navy -draw 'rectangle 2,2 9,9' -dispose none"
      " \\( -size 8x8 xc:lime -repage +4+4 -dispose previous \\)"
      " \\( -size 6x5 xc:white -fill black -draw 'point 1,1' -monochrome -repage +10+8 -dispose background \\)"
      " \\( -size 5x5 xc:magenta -repage +1+9 -dispose previous \\)"
      " \\( -size 4x3 xc:cyan -repage +14+1 -dispose none \\)"
      " {out}");
  ExpectLikeCoalesce(every, 5);
}

TEST(GifFrames, SingleFramesAndProgress) {
  // One frame: as the reader gives it, transparency in the alpha channel.
  iotest::TRecordedIO one;
  EXPECT_EQ(one.IO.LoadFromFileGIF(W(kCorpus + "interlaced_transp.gif")), 1);
  ASSERT_FALSE(one.IO.Aborting) << one.IO.FailureReason();
  ASSERT_TRUE(one.IO.IEBitmap()->HasAlphaChannel());
  EXPECT_EQ(one.IO.IEBitmap()->GetAlphaValue(2, 2), 0);
  EXPECT_EQ(one.IO.IEBitmap()->GetAlphaValue(3, 2), 255);

  // Ten frames, the fourth asked for: a report per frame decoded.
  const std::string ten = Fixture("gif-ten.gif", "convert -delay 10 -size 6x4 xc:red xc:lime xc:blue xc:white xc:black"
                                                 " xc:red xc:lime xc:blue xc:white xc:black {out}");
  iotest::TRecordedIO r;
  r.IO.IOParams()->GifImageIndex = 3;
  EXPECT_EQ(r.IO.LoadFromFileGIF(W(ten)), 10);
  EXPECT_EQ(r.Events, (std::vector<std::string>{"p0", "p10", "p20", "p30", "p100", "finish:"}));
  EXPECT_EQ(r.IO.IOParams()->GifImageIndex, 3);
  EXPECT_EQ(r.IO.IOParams()->GifAction, 2);
  EXPECT_EQ(r.IO.IEBitmap()->GetPixelAsRGB(0, 0), IECreateRGB(255, 255, 255));
}

// The logical screen's size is the header's word alone: a composed frame may grow it to what a
// desktop holds, but a few bytes claiming more blank screen than that are refused with a reason
// instead of filling gigabytes. Each read runs in a child under the corpus caps.
TEST(GifFrames, LogicalScreenClaimsAreBounded) {
  const std::vector<Byte> anim = ReadWholeFile(kCorpus + "anim.gif");
  ASSERT_GT(anim.size(), 10u);
  struct TCase {
    Integer Width, Height;
    bool Read;
  };
  const TCase cases[] = {{2000, 1500, true}, {20000, 20000, false}, {65535, 30000, false}};
  std::vector<std::vector<Byte>> files;
  std::vector<TCorpusJob> jobs;
  for (const TCase& c : cases) {
    std::vector<Byte> d = anim;
    d[6] = Byte(c.Width), d[7] = Byte(c.Width >> 8), d[8] = Byte(c.Height), d[9] = Byte(c.Height >> 8);
    files.push_back(d);
  }
  for (size_t i = 0; i < files.size(); ++i)
    jobs.push_back({&files[i], 1, std::to_string(cases[i].Width) + " x " + std::to_string(cases[i].Height)});
  const std::vector<TCorpusReplay> replays = ReplayAll(
      jobs,
      [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
        iotest::TRecordedIO r;
        r.IO.IOParams()->GifImageIndex = 1;
        r.IO.LoadFromBuffer(data.data(), Integer(data.size()), ioGIF);
        if (r.IO.Aborting) return {false, r.IO.FailureReason()};
        return {true, ""};
      },
      DefaultCorpusCaps());
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(jobs[i].Label);
    EXPECT_EQ(replays[i].Problem, "");
    EXPECT_EQ(replays[i].Result.Read, cases[i].Read) << replays[i].Result.Reason;
    if (!cases[i].Read) {
      EXPECT_NE(replays[i].Result.Reason.find("GIF logical screen"), std::string::npos) << replays[i].Result.Reason;
    }
  }
}

TEST(GifFrames, FuzzFindings) {
  ReplayFuzzFindings("gif", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    iotest::TRecordedIO r;
    r.IO.LoadFromBuffer(data.data(), Integer(data.size()), ioGIF);
    if (r.IO.Aborting) return {false, r.IO.FailureReason()};
    return {true, ""};
  });
}

}  // namespace
