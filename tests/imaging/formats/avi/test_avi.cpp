// The AVI frame reader against the ffmpeg tool: AVIs it writes (uncompressed BGR, palette and
// 15-bit DIB frames, Motion JPEG) give its frames and its frame count in every store; cut and
// damaged files fail with a reason; the corpus replays mutated files under time and memory caps.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_stream_classes.h"
#include "imaging/formats/avi/ie_avi.h"
#include "imaging/formats/ie_le_bytes.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/corpus.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

constexpr Integer kFrames = 5;
// The frame size of a test; the fragment store holds only images of a few short rows.
struct TSize {
  Integer W = 32, H = 24;
  std::string Tag() const { return std::to_string(W) + "x" + std::to_string(H); }
};

std::string Video(const std::string& Name, const std::string& Codec, TSize S = {}) {
  return Fixture("avi-" + Name + "-" + S.Tag() + ".avi", "ffmpeg -v error -f lavfi -i testsrc2=size=" + S.Tag() +
                                                             ":rate=25 -frames:v " + std::to_string(kFrames) + " " +
                                                             Codec + " -f avi {out}");
}

// All frames as the tool decodes them, rows of B, G, R; chroma is interpolated as a JPEG decoder
// does, not replicated.
std::string ToolFrames(const std::string& Avi, const std::string& Name, TSize S = {}) {
  return Fixture("avi-" + Name + "-" + S.Tag() + ".bgr", "ffmpeg -v error -i " + ShellQuote(Avi) +
                                             " -sws_flags +accurate_rnd+full_chroma_int -f rawvideo -pix_fmt bgr24 {out}");
}

// The Motion JPEG frames as the tool stores them, each decoded by djpeg: rows of R, G, B.
std::string DjpegFrames(const std::string& Avi, const std::string& Name, TSize S) {
  const std::string FrameBytes = std::to_string(S.W * S.H * 3);
  return Fixture("avi-" + Name + "-" + S.Tag() + ".djpeg.rgb",
                 "d=$(mktemp -d) && ffmpeg -v error -i " + ShellQuote(Avi) + " -c:v copy -f image2 $d/f%03d.jpg && "
                 "for f in $d/f*.jpg; do djpeg -pnm $f | tail -c " + FrameBytes + "; done > {out}; rm -rf $d");
}

Integer ToolFrameCount(const std::string& Avi) {
  return std::stoi(RunOk("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of "
                         "csv=p=0 " + ShellQuote(Avi)));
}

std::vector<Byte> Bytes(const std::string& Path) { return ReadWholeFile(Path); }

// Largest difference of one channel between frame Index of Bitmap and the reference (3 bytes a
// pixel, B G R unless Rgb), both taken to their top Bits bits; with Mean, the mean difference too.
Integer FrameDifference(TIEBitmap& Bitmap, const std::vector<Byte>& Ref, Integer Index, bool Rgb, double* Mean = nullptr,
                        Integer Bits = 8, TSize S = {}) {
  const Integer kW = S.W, kH = S.H;
  EXPECT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Bitmap.GetWidth(), kW);
  EXPECT_EQ(Bitmap.GetHeight(), kH);
  if (Bitmap.GetWidth() != kW || Bitmap.GetHeight() != kH) return 255;
  Integer Max = 0;
  double Sum = 0;
  for (Integer y = 0; y < kH; ++y) {
    const Byte* Row = static_cast<const Byte*>(Bitmap.GetScanline(y));
    const Byte* R = Ref.data() + (size_t(Index) * kH + size_t(y)) * kW * 3;
    for (Integer x = 0; x < kW; ++x)
      for (Integer c = 0; c < 3; ++c) {
        const Integer D = std::abs(Integer(Row[x * 3 + c] >> (8 - Bits)) - Integer(R[x * 3 + (Rgb ? 2 - c : c)] >> (8 - Bits)));
        Max = std::max(Max, D);
        Sum += D;
      }
  }
  if (Mean) *Mean = Sum / (kW * kH * 3);
  return Max;
}

struct TOpened {
  std::vector<Byte> Data;
  TIEMemStream Stream;
  TIEAviReader Reader;
  TProgressProbe Probe;
  bool Opened;
  explicit TOpened(const std::vector<Byte>& Bytes) : Data(Bytes), Stream(Data.data(), Int64(Data.size())) {
    Opened = Reader.Open(&Stream, Probe.Progress);
  }
  // Reads frame Index with a fresh probe; the reason, empty when it was read.
  std::string Read(Integer Index, TIEBitmap& Bitmap, Integer& Bits) {
    TProgressProbe P;
    const bool Ok = Reader.ReadFrame(Index, &Bitmap, P.Progress, Bits);
    EXPECT_EQ(Ok, !P.Failed());
    if (!Ok) {
      EXPECT_FALSE(P.Reason.empty());
    }
    return Ok ? "" : P.Reason;
  }
};

class AviReader : public StoreTest {};

TEST_P(AviReader, FramesAndCountEqualTheTools) {
  struct TCase {
    std::string Name, Codec;
    Integer Bits;
    Integer Significant;  // bits of each channel the stored pixels hold
  };
  const std::vector<TCase> Cases = {
      {"bgr24", "-c:v rawvideo -pix_fmt bgr24", 24, 8},
      {"pal8", "-c:v rawvideo -pix_fmt pal8", 8, 8},
      // The tool widens 5 bits by repeating their top bits, a device-independent bitmap by
      // shifting them: the same 5 bits either way.
      {"rgb555", "-c:v rawvideo -pix_fmt rgb555le", 16, 5},
      {"mjpeg", "-c:v mjpeg -q:v 3", 24, 8},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TSize S = GetParam() == Store::Fragments ? TSize{16, 4} : TSize{};
    const std::string Avi = Video(C.Name, C.Codec, S);
    const std::vector<Byte> Ref = Bytes(ToolFrames(Avi, C.Name, S));
    ASSERT_EQ(Ref.size(), size_t(S.W) * S.H * 3 * kFrames);
    const bool Jpeg = C.Name == "mjpeg";
    const std::vector<Byte> Djpeg = Jpeg ? Bytes(DjpegFrames(Avi, C.Name, S)) : std::vector<Byte>();
    TOpened A(Bytes(Avi));
    ASSERT_TRUE(A.Opened) << A.Probe.Reason;
    EXPECT_EQ(A.Reader.FrameCount(), ToolFrameCount(Avi));
    EXPECT_EQ(A.Reader.FrameCount(), kFrames);
    EXPECT_EQ(A.Reader.FrameDelay(), 40);  // 25 frames a second
    // Backwards, so that each frame is found by its own index, not by reading on.
    for (Integer i = kFrames - 1; i >= 0; --i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      TIEBitmap Frame;
      Prepare(Frame);
      Integer Bits = 0;
      ASSERT_EQ(A.Read(i, Frame, Bits), "");
      EXPECT_TRUE(InStore(Frame));
      EXPECT_EQ(Bits, C.Bits);
      if (!Jpeg) {
        EXPECT_EQ(FrameDifference(Frame, Ref, i, false, nullptr, C.Significant, S), 0);
        continue;
      }
      // The frames are the tool's own JPEG pictures: djpeg decodes them exactly as we do, and the
      // tool's decoder within the rounding of another IDCT and chroma upsampling (which, on a
      // picture of 4 rows, is mostly edge).
      EXPECT_EQ(FrameDifference(Frame, Djpeg, i, true, nullptr, 8, S), 0);
      if (S.H < 24) continue;
      double Mean = 0;
      EXPECT_LE(FrameDifference(Frame, Ref, i, false, &Mean, 8, S), 48);
      EXPECT_LT(Mean, 6.0);
    }
  }
}

IE_INSTANTIATE_ALL_STORES(AviReader);

// Offset of the first Id at or after From, 0 when none.
size_t Find(const std::vector<Byte>& D, const char* Id, size_t From = 12) {
  for (size_t i = From; i + 4 <= D.size(); ++i)
    if (std::memcmp(&D[i], Id, 4) == 0) return i;
  return 0;
}

TEST(AviReader, DamagedFilesFailWithAReason) {
  const std::vector<Byte> Good = Bytes(Video("bgr24", "-c:v rawvideo -pix_fmt bgr24"));
  const size_t Strh = Find(Good, "strh"), Strf = Find(Good, "strf"), Hdrl = Find(Good, "hdrl");
  const size_t Movi = Find(Good, "movi", Hdrl), Frame0 = Find(Good, "00dc", Movi);
  ASSERT_TRUE(Strh && Strf && Hdrl && Movi && Frame0);
  const size_t FrameBytes = 32 * 24 * 3;
  struct TCase {
    std::string Name;
    std::function<void(std::vector<Byte>&)> Damage;
    std::string Reason;
  };
  const std::vector<TCase> Cases = {
      {"not RIFF", [](auto& D) { D[0] = 'X'; }, "not an AVI file"},
      {"cut in the headers", [&](auto& D) { D.resize(Strf + 20); }, "cut short"},
      {"cut before the frames", [&](auto& D) { D.resize(Movi - 8); }, "no \"movi\" list"},
      {"header list past the file", [&](auto& D) { IEPutLE32(&D[Hdrl - 4], DWORD(D.size())); }, "cut short"},
      {"a billion frames", [&](auto& D) { IEPutLE32(&D[Strh + 8 + 32], 0x7FFFFFFF); }, "claims 2147483647 frames"},
      {"frames a million pixels wide", [&](auto& D) { IEPutLE32(&D[Strf + 8 + 4], 3000000); }, "3000000"},
      {"no bitmap header", [&](auto& D) { IEPutLE32(&D[Strf + 8], 400); }, "format is damaged"},
      {"coded as H.264",
       [&](auto& D) {
         std::memcpy(&D[Strh + 8 + 4], "H264", 4);
         std::memcpy(&D[Strf + 8 + 16], "H264", 4);
       },
       "coded as \"H264\""},
      {"no video stream", [&](auto& D) { std::memcpy(&D[Strh + 8], "auds", 4); }, "no video stream"},
      {"lists nested six deep",
       [&](auto& D) {
         for (size_t k = 0; k < 6; ++k) {
           const size_t At = Frame0 + 12 * k;
           std::memcpy(&D[At], "LIST", 4);
           IEPutLE32(&D[At + 4], DWORD(FrameBytes - 12 * k));
           std::memcpy(&D[At + 8], "rec ", 4);
         }
       },
       "nests lists"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<Byte> D = Good;
    C.Damage(D);
    TOpened A(D);
    EXPECT_FALSE(A.Opened);
    EXPECT_TRUE(A.Probe.Failed());
    EXPECT_NE(A.Probe.Reason.find(C.Reason), std::string::npos) << A.Probe.Reason;
  }
}

TEST(AviReader, FileCutInsideItsFramesKeepsTheFramesBefore) {
  const std::string Avi = Video("bgr24", "-c:v rawvideo -pix_fmt bgr24");
  const std::vector<Byte> Ref = Bytes(ToolFrames(Avi, "bgr24"));
  std::vector<Byte> D = Bytes(Avi);
  const size_t Frame2 = Find(D, "00dc", Find(D, "00dc", Find(D, "00dc", Find(D, "movi")) + 8) + 8);
  ASSERT_GT(Frame2, 0u);
  D.resize(Frame2 + 8 + 100);
  TOpened A(D);
  ASSERT_TRUE(A.Opened) << A.Probe.Reason;
  EXPECT_EQ(A.Reader.FrameCount(), kFrames);  // as the header says
  TIEBitmap Frame;
  Integer Bits = 0;
  for (Integer i : {1, 0}) {
    ASSERT_EQ(A.Read(i, Frame, Bits), "");
    EXPECT_EQ(FrameDifference(Frame, Ref, i, false), 0);
  }
  EXPECT_NE(A.Read(2, Frame, Bits).find("frame 2 is cut short: the file ends 100 bytes into its 2304 bytes"),
            std::string::npos);
  EXPECT_NE(A.Read(4, Frame, Bits).find("frame 4 is missing: the file ends after 3 of its 5 frames"), std::string::npos);
  EXPECT_NE(A.Read(5, Frame, Bits).find("out of range"), std::string::npos);
  EXPECT_NE(A.Read(-1, Frame, Bits).find("out of range"), std::string::npos);
  // What was read before stays as it was.
  EXPECT_EQ(FrameDifference(Frame, Ref, 0, false), 0);
}

TEST(AviReader, EmptyFrameRepeatsTheOneBefore) {
  const std::string Avi = Video("bgr24", "-c:v rawvideo -pix_fmt bgr24");
  const std::vector<Byte> Ref = Bytes(ToolFrames(Avi, "bgr24"));
  const std::vector<Byte> Good = Bytes(Avi);
  const size_t Frame0 = Find(Good, "00dc", Find(Good, "movi")), Frame1 = Find(Good, "00dc", Frame0 + 8);
  ASSERT_GT(Frame1, Frame0);
  // An empty frame chunk followed by padding where frame 1's pixels were: the layout stays.
  auto Empty = [](std::vector<Byte>& D, size_t At) {
    IEPutLE32(&D[At + 4], 0);
    std::memcpy(&D[At + 8], "JUNK", 4);
    IEPutLE32(&D[At + 12], 32 * 24 * 3 - 8);
  };
  std::vector<Byte> D = Good;
  Empty(D, Frame1);
  TOpened A(D);
  ASSERT_TRUE(A.Opened) << A.Probe.Reason;
  TIEBitmap Frame;
  Integer Bits = 0;
  ASSERT_EQ(A.Read(1, Frame, Bits), "");
  EXPECT_EQ(FrameDifference(Frame, Ref, 0, false), 0);
  ASSERT_EQ(A.Read(2, Frame, Bits), "");
  EXPECT_EQ(FrameDifference(Frame, Ref, 2, false), 0);

  D = Good;
  Empty(D, Frame0);
  TOpened B(D);
  ASSERT_TRUE(B.Opened) << B.Probe.Reason;
  EXPECT_NE(B.Read(0, Frame, Bits).find("frame 0 holds no picture"), std::string::npos);
}

TEST(Corpus, AviReader) {
  const size_t Reads = ReplayCorpus("avi", [](const std::vector<Byte>& Data, size_t) -> TCorpusResult {
    TOpened A(Data);
    if (!A.Opened) return {false, A.Probe.Reason};
    for (Integer i = 0; i < A.Reader.FrameCount(); ++i) {
      TIEBitmap Frame;
      Integer Bits = 0;
      const std::string Reason = A.Read(i, Frame, Bits);
      if (!Reason.empty()) return {false, Reason};
      for (Integer y = 0; y < Frame.GetHeight(); ++y) (void)Frame.GetPixelAsRGB(Frame.GetWidth() - 1, y);
    }
    return {true, ""};
  });
  EXPECT_GT(Reads, 100u);
}

}  // namespace
