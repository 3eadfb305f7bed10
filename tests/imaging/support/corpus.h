// The corpus harness of the readers: tests/imaging/formats/<family>/ keeps a few small files
// per reader; ReplayCorpus reads each of them as it is (which must succeed) and a set of
// mutated copies (truncated, bytes changed, counts and sizes enlarged), each of which must
// either be read or be refused with a reason, never crash, hang, balloon or touch memory it
// does not own (run under `make asan`). A reader joins with one line in its family's test.
//
// The reads run in child processes, each read under a time and memory cap, so a reader that
// hangs or asks for gigabytes fails the test (naming the file and the mutation) instead of
// stalling or exhausting the machine. A format whose files carry checksums, or whose size
// fields lie beyond the first bytes, adds a row to the table of formats in corpus.cpp: the
// mutated copies get their checksums mended, so that they reach the size logic behind them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/types.h"

namespace ietest {

struct TCorpusCopy {
  std::string Label;  // e.g. "truncated to 17 bytes", "bytes changed at 5 40"
  std::vector<Byte> Data;
};

// A header field that holds a size (width, height) or a count.
struct TCorpusField {
  size_t Offset = 0;
  int Bytes = 4;  // 2 or 4
  bool BigEndian = false;
};

// What the harness knows of one format family. Both hooks may be empty.
struct TCorpusFormat {
  // Recomputes the checksums of Data after a mutation (nothing beyond what Data can hold).
  std::function<void(std::vector<Byte>& Data)> FixChecksums;
  // The image's width and height fields in Data (wherever the header puts them); the harness
  // enlarges them one by one and together, so that a reader meets huge sizes in few bytes.
  std::function<std::vector<TCorpusField>(const std::vector<Byte>& Data)> SizeFields;
};

// The row of Family in the table of formats (empty hooks for a family without one).
TCorpusFormat CorpusFormat(const std::string& Family);

// Recomputes the CRC of every whole chunk of a PNG datastream.
void FixPngChunkCrcs(std::vector<Byte>& Data);

// The fixture files of a family (sorted), without the README; fails the test when there are none.
std::vector<std::string> CorpusFiles(const std::string& Family);
std::vector<Byte> ReadWholeFile(const std::string& Path);

// The mutated copies of Data, deterministic for a given Seed: truncations (0, 1, 2 bytes, a
// quarter, a half, all but one), 24 copies with one to three bytes changed, for every 16- and
// 32-bit field of the first 64 bytes, read little- and big-endian, copies whose value is
// enlarged (x 16, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF), and from Format's size fields each one
// enlarged and all of them set together to 20000 and to 46340. Format's checksums are mended in
// every copy.
std::vector<TCorpusCopy> CorpusMutations(const std::vector<Byte>& Data, unsigned Seed,
                                         const TCorpusFormat& Format = {});

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

// The caps of one replayed read. The memory is what the read adds to the process, as reserved
// address space and as resident pages; under the sanitizers both caps are wider, for the
// shadow memory and the slower code.
struct TCorpusCaps {
  double Seconds = 5;
  uint64_t MegaBytes = 256;
};
TCorpusCaps DefaultCorpusCaps();

// One read made in a child process under Caps. Problem is empty when the read ended within the
// caps; otherwise it says what went wrong (over time, over memory, a crash, an exception).
// Test failures inside Reader are handed back to the calling test with Label in front.
struct TCorpusReplay {
  TCorpusResult Result;
  std::string Problem;
  double Seconds = 0;
  uint64_t PeakMegaBytes = 0;  // the larger of the address space and resident pages added
};
TCorpusReplay ReplayOne(const std::vector<Byte>& Data, size_t CopyIndex, const TCorpusReader& Reader,
                        const TCorpusCaps& Caps, const std::string& Label);

// Many reads, made in turn by as few child processes as the caps allow (a child that goes over
// one is ended and the next read starts in a fresh one); one answer per job, in order.
struct TCorpusJob {
  const std::vector<Byte>* Data = nullptr;
  size_t CopyIndex = 0;
  std::string Label;  // the file and the mutation, put in front of every failure
};
std::vector<TCorpusReplay> ReplayAll(const std::vector<TCorpusJob>& Jobs, const TCorpusReader& Reader,
                                     const TCorpusCaps& Caps);

// The seed of a fixture's mutated copies: from its file name alone (a CRC, not std::hash), so
// that every checkout and every machine replays the same copies.
unsigned CorpusSeed(const std::string& Path);

// Replays every file of Family and its mutations through Reader, each read under the caps.
// Originals must be read; copies must be read or refused with a non-empty reason. Answers the
// number of reads made.
size_t ReplayCorpus(const std::string& Family, const TCorpusReader& Reader);

// Replays the inputs that once crashed, hung or ballooned a fuzzing target, kept in
// tests/fuzz/regressions/<Target>/: each must now be read or refused with a reason, within the
// caps. Answers the number of reads made.
size_t ReplayFuzzFindings(const std::string& Target, const TCorpusReader& Reader);

}  // namespace ietest
