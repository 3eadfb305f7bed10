// Every reader replays its corpus (tests/imaging/formats/<family>/) and the mutated copies of
// it: each copy is read or refused with a reason, never a crash, a hang, a balloon or a stray
// memory access (the same test runs under `make asan`); the harness itself is tested first.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/png/ie_png.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/corpus.h"
#include "tests/imaging/support/ie_stores.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

void Fill(TMemoryStream& m, const std::vector<Byte>& data) {
  if (!data.empty()) m.WriteBuffer(data.data(), Int64(data.size()));
  m.SetPosition(0);
}

// The framework bitmap's BMP reader: a refused file raises EInvalidGraphic (or the stream's
// read error) and leaves the bitmap as it was.
TEST(Corpus, BmpReaderOfTheFrameworkBitmap) {
  const size_t reads = ReplayCorpus("bmp", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    TMemoryStream m;
    Fill(m, data);
    try {
      b.LoadFromStream(&m);
      // Whatever was accepted is a whole image: every pixel can be read.
      for (Integer y = 0; y < b.Height(); ++y)
        for (Integer x = 0; x < b.Width(); ++x) (void)b.PixelColor(x, y);
      return {true, ""};
    } catch (const Exception& e) {
      EXPECT_EQ(b.Width(), 2) << "a refused file changed the bitmap";
      return {false, e.Message};
    }
  });
  EXPECT_GT(reads, 500u);
}

// The raw image record, read into the memory block and the temporary file by turns: a refused
// record leaves the bitmap as it was (it has no text; the false result is its reason).
TEST(Corpus, RawImageRecord) {
  const size_t reads = ReplayCorpus("record", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    StoreScope scope(index % 2 ? Store::File : Store::Block);
    TIEBitmap b;
    scope.Prepare(b);
    b.Allocate(3, 1, ie8g);
    b.Fill(42);
    TMemoryStream m;
    Fill(m, data);
    if (b.LoadRawFromStream(nullptr, &m)) {
      for (Integer y = 0; y < b.GetHeight(); ++y) (void)b.GetPixelAsRGB(b.GetWidth() - 1, y);
      return {true, ""};
    }
    // Refused before anything was touched, or (for an image that cannot be allocated) empty.
    if (!b.IsEmpty()) {
      EXPECT_EQ(b.GetWidth(), 3);
      EXPECT_EQ(b.GetPixelByte(2, 0), 42);
    }
    return {false, "record refused"};
  });
  EXPECT_GT(reads, 300u);
}

// The copy of Family's File labelled Label, written to a file of its own for a peer tool.
std::string CopyFile(const std::string& Family, const std::string& File, const std::string& Label, const std::string& Dir) {
  const std::string path = std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/formats/" + Family + "/" + File;
  for (const TCorpusCopy& c : CorpusMutations(ReadWholeFile(path), 1, CorpusFormat(Family))) {
    if (c.Label != Label) continue;
    const std::string out = Dir + "/" + File;
    WriteFileBytes(out, c.Data);
    return out;
  }
  ADD_FAILURE() << "no copy \"" << Label << "\" of " << File;
  return "";
}

// Mutated PNG copies keep valid chunk checksums (pngcheck finds no CRC error), so an enlarged
// IHDR reaches the reader's size logic instead of its checksum test; the JPEG frame header,
// beyond the first 64 bytes, is enlarged too (rdjpgcom reads the sizes set).
TEST(CorpusHarness, MutatedCopiesReachTheSizeLogic) {
  const std::string dir = testsupport::MakeTempDir("corpusharness");
  for (const char* label : {"big-endian count at 16 (4 bytes) set to 2147483647", "every size set to 20000",
                            "big-endian count at 20 (4 bytes) set to 65535"}) {
    SCOPED_TRACE(label);
    const std::string png = CopyFile("png", "grey2.png", label, dir);
    ASSERT_FALSE(png.empty());
    std::string out;
    testsupport::Run("pngcheck -v " + testsupport::ShellQuote(png) + " 2>&1", &out);
    EXPECT_EQ(out.find("CRC error"), std::string::npos) << out;
    EXPECT_NE(out.find("chunk IHDR"), std::string::npos) << out;
    // The reader gets past the checksums: it refuses the copy for its size, or goes over the
    // caps trying to allocate it, never for a CRC error.
    const std::vector<Byte> bytes = ReadWholeFile(png);
    const TCorpusReplay r = ReplayOne(bytes, 1, [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
      TIEBitmap b;
      TIOParamsVals params(nullptr);
      TProgressProbe probe;
      TMemoryStream m;
      Fill(m, data);
      ReadPNGStream(&m, &b, params, probe.Progress, false);
      return {!probe.Failed(), probe.Reason};
    }, DefaultCorpusCaps(), label);
    EXPECT_FALSE(r.Result.Read);
    EXPECT_EQ(r.Result.Reason.find("CRC"), std::string::npos) << r.Result.Reason;
  }
  const std::string jpeg = CopyFile("jpeg", "baseline.jpg", "every size set to 46340", dir);
  const std::string out = testsupport::RunOk("rdjpgcom -verbose " + testsupport::ShellQuote(jpeg));
  EXPECT_NE(out.find("46340w * 46340h"), std::string::npos) << out;
  testsupport::RemoveTree(dir);
}

// A read over a cap is ended and reported as such; a crash, an exception and a failed check
// inside the read reach the test; a read within the caps gives its result.
TEST(CorpusHarness, ReadsOverTheirCapsFail) {
  const std::vector<Byte> data = {1, 2, 3};
  struct TCase {
    const char* Name;
    TCorpusReader Reader;
    const char* Problem;
    double Seconds = 0.5;
  };
  const TCase cases[] = {
      {"hang", [](const std::vector<Byte>&, size_t) -> TCorpusResult { for (;;) ::pause(); }, "took more than 0.5 s"},
      // Killed while it fills its gigabyte (pages come in slowly on a busy machine: time enough).
      {"touched balloon",
       [](const std::vector<Byte>&, size_t) -> TCorpusResult {
         std::vector<Byte> big(size_t(1) << 30, 1);
         return {big[12345] == 1, "never"};
       },
       "more than 64 MB", 60},
      {"reserved balloon",
       [](const std::vector<Byte>&, size_t) -> TCorpusResult {
         volatile Byte* p = static_cast<Byte*>(std::malloc(size_t(1) << 30));
         if (!p) return {false, "no memory"};
         p[0] = 1;
         const bool ok = p[0] == 1;
         std::free(const_cast<Byte*>(p));
         return {ok, ""};
       },
       "more than 64 MB"},
      {"crash", [](const std::vector<Byte>&, size_t) -> TCorpusResult { std::abort(); }, "signal 6"},
      {"exception", [](const std::vector<Byte>&, size_t) -> TCorpusResult { throw Exception("boom"); }, "boom"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TCorpusReplay r = ReplayOne(data, 1, c.Reader, TCorpusCaps{c.Seconds, 64}, c.Name);
    EXPECT_NE(r.Problem.find(c.Problem), std::string::npos) << r.Problem;
  }
  const TCorpusReplay fine = ReplayOne(
      data, 7, [](const std::vector<Byte>& d, size_t i) -> TCorpusResult { return {d.size() == 3 && i == 7, "no"}; },
      TCorpusCaps{5, 64}, "fine");
  EXPECT_EQ(fine.Problem, "");
  EXPECT_TRUE(fine.Result.Read);
}

void ReplayWithAFailedCheck() {
  ReplayOne({1}, 1, [](const std::vector<Byte>&, size_t) -> TCorpusResult {
    EXPECT_EQ(1, 2) << "inside the child";
    return {true, ""};
  }, DefaultCorpusCaps(), "the copy's label");
}

// One copy of the PNM corpus balloons: the failure names the file and the mutation.
void ReplayWithOneBalloon() {
  ReplayCorpus("pnm", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    if (data.size() != 2 || data[1] != '1') return {true, ""};
    volatile Byte* p = static_cast<Byte*>(std::malloc(size_t(3) << 30));
    if (p) p[0] = 1;
    std::free(const_cast<Byte*>(p));
    return {false, "only a signature"};
  });
}

TEST(CorpusHarness, FailuresNameTheFileAndTheMutation) {
  EXPECT_NONFATAL_FAILURE(ReplayWithAFailedCheck(), "the copy's label: ");
  EXPECT_NONFATAL_FAILURE(ReplayWithOneBalloon(), "p1.pbm, truncated to 2 bytes");
}

}  // namespace
