// A save never destroys the file it was to replace. Every writer the library carries, made to
// fail in each way a save can fail (a full disk, an abort from the progress event, an exception,
// the codec's own refusal), leaves an existing target byte for byte as it was and nothing else
// in its folder, and its reason names the file and the cause; a save that works replaces the
// target and keeps its permissions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "imaging/formats/codec.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/full_disk.h"

using namespace ietest;
using namespace iotest;
using testsupport::ShellQuote;

namespace {

constexpr Integer kTestRowType = 94;

// A registered format whose writer is ours to break: it refuses an empty image and writes
// 3 bytes a pixel, one row at a time, reporting progress after each.
void WriteTestRow(TStream* S, TIEBitmap* B, TIOParamsVals&, TIECodecProgress& P) {
  if (B->GetWidth() == 0 || B->GetHeight() == 0) return IEFail(P, "an empty image cannot be saved in the test format");
  TIERowStepper Step(P, B->GetHeight());
  for (Integer y = 0; y < B->GetHeight(); ++y) {
    const Integer Len = B->GetWidth() * 3;
    if (S->Write(B->GetScanline(y), Len) != Len) return IEFail(P, "the test format could not be written");
    if (!Step.Next()) return;
  }
}

struct TTestRow {
  TTestRow() {
    EnsureIOUnit();
    auto* Row = new TIEFileFormatInfo;
    Row->FileType = kTestRowType;
    Row->FullName = "Save test format";
    Row->Extensions = "SVT";
    Row->WriteFunction = WriteTestRow;
    IEFileFormatAdd(Row);
  }
  ~TTestRow() { IEFileFormatRemove(kTestRowType); }
};

// Noise compresses badly, so no writer's file of it fits in the room a full disk has left.
void Noise(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie24RGB);
  UInt64 Seed = 88172645463325252ull;
  for (Integer y = 0; y < H; ++y) {
    Byte* Row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer i = 0; i < W * 3; ++i) {
      Seed ^= Seed << 13, Seed ^= Seed >> 7, Seed ^= Seed << 17;
      Row[i] = Byte(Seed);
    }
  }
}

// Each writer, by the extension that chooses it and the parameters that choose its kind.
struct TWriter {
  std::string Ext;
  Integer Bits, Samples;
};
const std::vector<TWriter>& Writers() {
  static const std::vector<TWriter> W = {{"png", 8, 3}, {"jpg", 8, 3}, {"bmp", 8, 3}, {"ppm", 8, 3},
                                         {"pgm", 8, 1}, {"pbm", 1, 1}, {"svt", 8, 3},
                                         {"pcx", 8, 3}, {"tga", 8, 3},
                                         {"jp2", 8, 3}, {"j2k", 8, 1}};
  return W;
}

const std::vector<Byte> kOldBytes = [] {
  std::vector<Byte> D;
  for (int i = 0; i < 900; ++i) D.push_back(Byte("the user's picture "[i % 19]));
  return D;
}();

mode_t ModeOf(const std::string& Path) {
  struct stat St {};
  EXPECT_EQ(::stat(Path.c_str(), &St), 0) << Path;
  return St.st_mode & 07777;
}

std::vector<std::string> Entries(const std::string& Folder) {
  std::vector<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(Folder)) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

enum TFault { fFullDisk, fAbort, fException, fRefusal };

TEST(ZodivErIOSaves, AFailedSaveLeavesTheTargetAsItWas) {
  TTestRow Row;
  const struct {
    TFault Fault;
    const char* Name;
  } Faults[] = {{fFullDisk, "full disk"}, {fAbort, "abort from the progress event"},
                {fException, "exception"}, {fRefusal, "codec refusal"}};
  for (const auto& F : Faults)
    for (const TWriter& Writer : Writers()) {
      SCOPED_TRACE(std::string(F.Name) + ", " + Writer.Ext);
      // Only the full disk is a small one: the other faults must be the only cause of failure.
      std::unique_ptr<testsupport::TFullDisk> Disk;
      if (F.Fault == fFullDisk) Disk = std::make_unique<testsupport::TFullDisk>();
      const std::string Dir = Disk ? Disk->Path() : testsupport::MakeTempDir("saves");
      const std::string Target = Dir + "/picture." + Writer.Ext;
      WriteFileBytes(Target, kOldBytes);
      ASSERT_EQ(::chmod(Target.c_str(), 0640), 0);
      TRecordedIO r;
      r.IO.IOParams()->BitsPerSample = Writer.Bits;
      r.IO.IOParams()->SamplesPerPixel = Writer.Samples;
      if (F.Fault == fRefusal) r.IO.IEBitmap()->Allocate(0, 0, ie24RGB);
      else Noise(*r.IO.IEBitmap(), 400, 300);
      bool Reported = false;
      r.IO.OnProgress = [&](TObject*, Integer Percent) {
        if (Percent >= 100 || Reported) return;
        Reported = true;
        if (F.Fault == fAbort) r.IO.Aborting = true;
        if (F.Fault == fException) throw Exception("injected fault");
      };
      std::string Cause;
      switch (F.Fault) {
        case fFullDisk:
          Disk->Fill(4096);
          Cause = Disk->Cause();
          break;
        case fAbort: Cause = "stopped"; break;
        case fException: Cause = "injected fault"; break;
        case fRefusal: Cause = "empty image"; break;
      }
      if (F.Fault == fException) EXPECT_THROW(r.IO.SaveToFile(W(Target)), Exception);
      else r.IO.SaveToFile(W(Target));
      EXPECT_TRUE(r.IO.Aborting);
      EXPECT_EQ(r.AbortingAtFinish, std::vector<bool>{true});
      EXPECT_EQ(ReadWholeFile(Target), kOldBytes);
      EXPECT_EQ(ModeOf(Target), mode_t(0640));
      EXPECT_EQ(Disk ? Disk->Entries() : Entries(Dir), std::vector<std::string>{"picture." + Writer.Ext});
      const std::string Reason = r.IO.FailureReason();
      EXPECT_NE(Reason.find("\"" + Target + "\""), std::string::npos) << Reason;
      EXPECT_NE(Reason.find(Cause), std::string::npos) << Reason;
      if (!Disk) testsupport::RemoveTree(Dir);
    }
}

TEST(ZodivErIOSaves, ASaveThatWorksReplacesTheTargetAndKeepsItsMode) {
  TTestRow Row;
  for (const TWriter& Writer : Writers()) {
    SCOPED_TRACE(Writer.Ext);
    const std::string Dir = testsupport::MakeTempDir("saves");
    const std::string Target = Dir + "/picture." + Writer.Ext, Fresh = Dir + "/fresh." + Writer.Ext;
    WriteFileBytes(Target, kOldBytes);
    ASSERT_EQ(::chmod(Target.c_str(), 0604), 0);
    TRecordedIO r;
    r.IO.IOParams()->BitsPerSample = Writer.Bits;
    r.IO.IOParams()->SamplesPerPixel = Writer.Samples;
    Noise(*r.IO.IEBitmap(), 40, 30);
    r.IO.SaveToFile(W(Target));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    r.ExpectEndedOnce();
    const mode_t OldMask = ::umask(027);
    r.IO.SaveToFile(W(Fresh));
    ::umask(OldMask);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    // The same image written anew and over the old file: the same bytes, in place of the old.
    EXPECT_EQ(ReadWholeFile(Target), ReadWholeFile(Fresh));
    EXPECT_EQ(ModeOf(Target), mode_t(0604));
    EXPECT_EQ(ModeOf(Fresh), mode_t(0640));
    EXPECT_EQ(Entries(Dir), (std::vector<std::string>{"fresh." + Writer.Ext, "picture." + Writer.Ext}));
    if (Writer.Ext != "svt") {
      EXPECT_EQ(testsupport::RunOk("identify -format '%w %h' " + ShellQuote(Target)), "40 30");
    }
    testsupport::RemoveTree(Dir);
  }
}

// The save behind the reported loss: a 16-bit grey PNG loaded, one pixel painted red, and saved
// over an existing PNG. Parameters saying 16-bit single sample are no PNG palette for colours.
TEST(ZodivErIOSaves, SixteenBitGreyParametersWithColourPixelsGiveAValidPng) {
  const std::string Grey16 = testsupport::Fixture(
      "saves-grey16.png", "convert -size 12x8 gradient:black-white -depth 16 -define png:color-type=0 PNG:{out}");
  const std::string Dir = testsupport::MakeTempDir("saves");
  for (bool Native : {false, true}) {
    SCOPED_TRACE(Native ? "loaded natively" : "loaded as RGB");
    const std::string Target = Dir + "/painted.png";
    WriteFileBytes(Target, ReadWholeFile(Grey16));
    TRecordedIO r;
    r.IO.SetNativePixelFormat(Native);
    r.IO.LoadFromFile(W(Target));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    ASSERT_EQ(r.IO.IOParams()->BitsPerSample, 16);
    ASSERT_EQ(r.IO.IOParams()->SamplesPerPixel, 1);
    TIEBitmap* B = r.IO.IEBitmap();
    if (B->GetPixelFormat() != ie24RGB) B->ConvertPixelFormat(ie24RGB);
    static_cast<TRGB*>(B->GetScanline(3))[5] = TRGB{0, 0, 255};  // blue, green, red
    r.IO.SaveToFile(W(Target));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    testsupport::RunOk("pngcheck -q " + ShellQuote(Target));
    EXPECT_EQ(MaxDifference(*B, PamFromCommand("convert " + ShellQuote(Target) + " -depth 8 PAM:-")), 0);
  }
  // An 8-bit palette image under the same parameters keeps its palette, at 8 bits.
  TRecordedIO r;
  TIEBitmap* B = r.IO.IEBitmap();
  B->Allocate(6, 4, ie8p);
  for (Integer i = 0; i < 4; ++i) B->SetPaletteEntry(i, TRGB{Byte(60 * i), Byte(255 - 60 * i), Byte(i & 1 ? 200 : 10)});
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) static_cast<Byte*>(B->GetScanline(y))[x] = Byte((x + y) % 4);
  r.IO.IOParams()->BitsPerSample = 16;
  r.IO.IOParams()->SamplesPerPixel = 1;
  const std::string Target = Dir + "/palette.png";
  r.IO.SaveToFile(W(Target));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  testsupport::RunOk("pngcheck -q " + ShellQuote(Target));
  EXPECT_EQ(testsupport::RunOk("identify -format '%[png:IHDR.bit-depth-orig] %[png:IHDR.color-type-orig]' " +
                               ShellQuote(Target)),
            "8 3");
  EXPECT_EQ(MaxDifference(*B, PamFromCommand("convert " + ShellQuote(Target) + " -depth 8 PAM:-")), 0);
  testsupport::RemoveTree(Dir);
}

}  // namespace
