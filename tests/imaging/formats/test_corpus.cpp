// Every reader replays its corpus (tests/imaging/formats/<family>/) and the mutated copies of
// it: each copy is read or refused with a reason, never a crash or a stray memory access (the
// same test runs under `make asan`). One line per reader below.
#include <gtest/gtest.h>

#include "imaging/core/ie_bitmap.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/support/corpus.h"
#include "tests/imaging/support/ie_stores.h"

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

}  // namespace
