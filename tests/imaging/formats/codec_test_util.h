// What the codec tests share: running a codec on bytes or a file with a fresh progress record,
// and reading the PAM, PGM and PPM files that the peer tools (netpbm, djpeg, ImageMagick) write,
// so that our decoded pixels can be compared with theirs.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/support/corpus.h"
#include "tests/support/fixtures.h"

namespace ietest {

// A progress record with its own abort flag and reason, and the reports it received.
struct TProgressProbe {
  std::atomic<bool> Aborting{false};
  AnsiString Reason;
  std::vector<Integer> Reports;
  TIECodecProgress Progress;
  explicit TProgressProbe(bool Report = false) {
    Progress.Aborting = &Aborting;
    Progress.FailureReason = &Reason;
    if (Report) Progress.OnProgress = [this](TObject*, Integer per) { Reports.push_back(per); };
  }
  bool Failed() const { return Aborting.load(); }
};

inline void FillStream(TMemoryStream& M, const std::vector<Byte>& Data) {
  M.SetSize(0);
  if (!Data.empty()) M.WriteBuffer(Data.data(), Int64(Data.size()));
  M.SetPosition(0);
}

inline std::vector<Byte> StreamBytes(TMemoryStream& M) {
  std::vector<Byte> out(static_cast<size_t>(M.Size()));
  M.SetPosition(0);
  if (!out.empty()) M.ReadBuffer(out.data(), Int64(out.size()));
  return out;
}

inline void WriteFileBytes(const std::string& Path, const std::vector<Byte>& Data) {
  FILE* f = std::fopen(Path.c_str(), "wb");
  ASSERT_TRUE(f) << Path;
  if (!Data.empty()) std::fwrite(Data.data(), 1, Data.size(), f);
  std::fclose(f);
}

// A netpbm image as the tools write it: P5/P6 (maxval up to 65535) or P7 with DEPTH and TUPLTYPE.
struct TPam {
  Integer Width = 0, Height = 0, Depth = 0, MaxVal = 0;
  std::vector<Integer> Samples;  // row by row, Depth samples a pixel
  Integer At(Integer X, Integer Y, Integer C) const { return Samples[(static_cast<size_t>(Y) * Width + X) * Depth + C]; }
  // The sample scaled to 0..255 as the readers scale it (truncating).
  Integer At8(Integer X, Integer Y, Integer C) const { return At(X, Y, C) * 255 / MaxVal; }
};

TPam ParsePam(const std::vector<Byte>& Data);
inline TPam ReadPamFile(const std::string& Path) { return ParsePam(ReadWholeFile(Path)); }
// Runs Command (which writes a netpbm image to standard output) and parses what it wrote.
TPam PamFromCommand(const std::string& Command);

// Largest difference between the colour (and alpha, when Alpha) of Bitmap and Pam, read as
// 8-bit values; a grey Pam is compared with each channel.
Integer MaxDifference(TIEBitmap& Bitmap, const TPam& Pam, bool Alpha = false);

// Largest channel difference between two images of the same size.
Integer MaxDifference(TIEBitmap& A, TIEBitmap& B);

// The decoded image as a binary PPM (P6), for tools to compare with.
std::vector<Byte> ToPPM(TIEBitmap& Bitmap);

}  // namespace ietest
