// The corpus harness of the readers: tests/imaging/formats/<family>/ keeps a few small files
// per reader; ReplayCorpus reads each of them as it is (which must succeed) and a set of
// mutated copies (truncated, bytes flipped, counts enlarged), each of which must either be read
// or be refused with a reason, never crash, hang or touch memory it does not own (run under
// `make asan`). A reader joins with one line in test_corpus.cpp.
#pragma once

#include <string>
#include <vector>
#include <functional>

#include "platform/rtl/types.h"

namespace ietest {

struct TCorpusCopy {
  std::string Label;  // e.g. "truncated to 17 bytes", "bytes flipped at 5, 40"
  std::vector<Byte> Data;
};

// The fixture files of a family (sorted), without the README; fails the test when there are none.
std::vector<std::string> CorpusFiles(const std::string& Family);
std::vector<Byte> ReadWholeFile(const std::string& Path);

// The mutated copies of Data, deterministic for a given Seed: truncations (0, 1, 2 bytes, a
// quarter, a half, all but one), 24 copies with one to three bytes changed, and, for every
// 16- and 32-bit little-endian field of the first 64 bytes, copies whose value is enlarged
// (x 16, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF).
std::vector<TCorpusCopy> CorpusMutations(const std::vector<Byte>& Data, unsigned Seed);

struct TCorpusResult {
  bool Read = false;
  std::string Reason;  // why it was refused; must not be empty when Read is false
};
// Reads Data (CopyIndex 0 is the fixture itself) and says how that went.
using TCorpusReader = std::function<TCorpusResult(const std::vector<Byte>& Data, size_t CopyIndex)>;

// The outcome of one codec read: a read image has every row touched to its last pixel (so a
// short row shows under the sanitizers); a refused one gives its reason.
template <class TReadResult>
TCorpusResult CorpusOutcome(TReadResult& R) {
  if (R.Probe.Failed()) return {false, R.Probe.Reason};
  for (Integer y = 0; y < R.Bitmap.GetHeight(); ++y) (void)R.Bitmap.GetPixelAsRGB(R.Bitmap.GetWidth() - 1, y);
  return {true, ""};
}

// Replays every file of Family and its mutations through Reader. Originals must be read;
// copies must be read or refused with a non-empty reason. Answers the number of reads made.
size_t ReplayCorpus(const std::string& Family, const TCorpusReader& Reader);

}  // namespace ietest
