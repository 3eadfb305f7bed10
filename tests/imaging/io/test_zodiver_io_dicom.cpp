// The component's DICOM methods: a file found by its extension and a stream by its content load
// the frame asked for, a parameters-only read fills the size and frame count, and a damaged file
// fails with its cause.
#include <gtest/gtest.h>

#include "imaging/core/ie_dicom_tags.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_dicom.py ";

TEST(ZodivErIODicom, FilesAndStreamsLoadTheAskedFrame) {
  const std::string file = testsupport::Fixture(
      "io-frames.dcm", kMake + "{out}.src 10 4 bits=8 frames=2 && dcmcjpeg +el {out}.src {out} && rm {out}.src");
  TRecordedIO r;
  r.IO.IOParams()->ImageIndex = 1;
  r.IO.LoadFromFile(W(file));
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioDICOM);
  EXPECT_EQ(r.IO.IOParams()->ImageCount, 2);
  EXPECT_EQ(r.IO.IOParams()->ImageIndex, 1);
  EXPECT_EQ(r.IO.IEBitmap()->GetWidth(), 10);
  const TPam pam = PamFromCommand("dcmj2pnm +F 2 " + ShellQuote(file) + " | pamtopnm");
  // The file's 8-bit lossless samples are stretched over 0..255; the fixture's span them already.
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), pam), 0);

  TMemoryStream m;
  const std::vector<Byte> bytes = ReadWholeFile(file);
  m.WriteBuffer(bytes.data(), Int64(bytes.size()));
  m.SetPosition(0);
  r.Clear();
  r.IO.IOParams()->ImageIndex = 0;
  r.IO.LoadFromStream(&m);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(r.IO.IOParams()->FileType, ioDICOM);
  EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), PamFromCommand("dcmj2pnm " + ShellQuote(file) + " | pamtopnm")), 0);

  r.Clear();
  r.IO.ParamsFromFile(W(file));
  EXPECT_FALSE(r.IO.Aborting);
  EXPECT_EQ(r.IO.IOParams()->FileType, ioDICOM);
  EXPECT_EQ(r.IO.IOParams()->Height, 4);
  EXPECT_EQ(r.IO.IOParams()->ImageCount, 2);
  EXPECT_GT(r.IO.IOParams()->DicomTags->Count(), 10);

  const std::string dir = testsupport::MakeTempDir("dicomio");
  const std::string cut = dir + "/cut.dcm";
  WriteFileBytes(cut, std::vector<Byte>(bytes.begin(), bytes.begin() + Int64(bytes.size()) - 100));
  r.Clear();
  r.IO.LoadFromFile(W(cut));
  EXPECT_TRUE(r.IO.Aborting);
  EXPECT_NE(r.IO.FailureReason().find("fragment"), std::string::npos) << r.IO.FailureReason();
  EXPECT_EQ(r.Finishes(), 1);
  testsupport::RemoveTree(dir);
}

}  // namespace
