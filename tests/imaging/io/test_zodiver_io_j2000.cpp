// JPEG 2000 through the I/O component: the file and stream methods, the container told by
// content whatever the name says, parameters-only reads, and a damaged file ending with its
// reason after one finish event.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/io/ie_format_detection.h"
#include "platform/rtl/files.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;

namespace {

TEST(ZodivErIOJ2000, SavesAndLoadsByNameStreamAndContent) {
  const std::string dir = testsupport::MakeTempDir("iojp2");
  TRecordedIO src;
  src.IO.LoadFromFile(W(SourcePPM()));
  ASSERT_FALSE(src.IO.Aborting) << src.IO.FailureReason();
  TIEBitmap* picture = src.IO.IEBitmap();

  struct TCase {
    std::string Name;
    Integer FileType;
    bool Jp2;  // the container the name asks for
  };
  for (const TCase& c : {TCase{"a.jp2", ioJP2, true}, {"a.j2c", ioJ2K, false}, {"a.jpc", ioJ2K, false}}) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir + "/" + c.Name;
    src.Clear();
    src.IO.SaveToFile(W(path));
    ASSERT_FALSE(src.IO.Aborting) << src.IO.FailureReason();
    src.ExpectEndedOnce();
    const std::vector<Byte> bytes = ReadWholeFile(path);
    TMemoryStream m;
    FillStream(m, bytes);
    EXPECT_EQ(IsJP2(&m), c.Jp2);
    EXPECT_EQ(IsJ2K(&m), !c.Jp2);
    EXPECT_EQ(FindStreamFormat(&m), c.FileType);

    TRecordedIO byName;
    byName.IO.LoadFromFile(W(path));
    ASSERT_FALSE(byName.IO.Aborting) << byName.IO.FailureReason();
    byName.ExpectEndedOnce();
    EXPECT_EQ(byName.IO.IOParams()->FileType, c.FileType);
    EXPECT_EQ(MaxDifference(*byName.IO.IEBitmap(), *picture), 0);

    TRecordedIO byContent;
    m.SetPosition(0);
    byContent.IO.LoadFromStream(&m);
    ASSERT_FALSE(byContent.IO.Aborting) << byContent.IO.FailureReason();
    EXPECT_EQ(MaxDifference(*byContent.IO.IEBitmap(), *picture), 0);

    TRecordedIO params;
    params.IO.ParamsFromFile(W(path));
    EXPECT_EQ(params.IO.IOParams()->FileType, c.FileType);
    EXPECT_EQ(params.IO.IOParams()->Width, 23);
    EXPECT_EQ(params.IO.IOParams()->Height, 13);
    EXPECT_EQ(params.IO.IOParams()->SamplesPerPixel, 3);
  }

  // A code stream under a JP2 name is read all the same: the reader goes by content.
  std::filesystem::copy_file(dir + "/a.j2c", dir + "/b.jp2");
  TRecordedIO misnamed;
  misnamed.IO.LoadFromFile(W(dir + "/b.jp2"));
  ASSERT_FALSE(misnamed.IO.Aborting) << misnamed.IO.FailureReason();
  EXPECT_EQ(MaxDifference(*misnamed.IO.IEBitmap(), *picture), 0);

  // Half a file: the load ends once, aborted, with the library's reason.
  const std::vector<Byte> whole = ReadWholeFile(dir + "/a.jp2");
  WriteFileBytes(dir + "/half.jp2", std::vector<Byte>(whole.begin(), whole.begin() + whole.size() / 2));
  TRecordedIO damaged;
  damaged.IO.LoadFromFile(W(dir + "/half.jp2"));
  EXPECT_TRUE(damaged.IO.Aborting);
  damaged.ExpectEndedOnce();
  EXPECT_NE(damaged.IO.FailureReason().find("JPEG 2000"), std::string::npos) << damaged.IO.FailureReason();
  testsupport::RemoveTree(dir);
}

}  // namespace
