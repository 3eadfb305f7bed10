// The counting stream, the memory view, the buffered read view, the wide-name file stream and
// the length-prefixed strings, fed with short and lying sources.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_stream_text.h"
#include "imaging/core/ie_wide_file_stream.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/support/fixtures.h"

namespace {

// A source that claims more bytes than it delivers (a file truncated while being read).
class ShortSource : public TMemoryStream {
 public:
  Int64 Size() override { return TMemoryStream::Size() + 1000; }
};

TEST(IEStreamClasses, NulStreamCountsAndMemStreamOnlyReads) {
  TNulStream nul;
  Byte buf[100] = {};
  EXPECT_EQ(nul.Write(buf, 100), 100);
  EXPECT_EQ(nul.Seek(10, soBeginning), 10);
  nul.Write(buf, 5);
  EXPECT_EQ(nul.Position(), 15);
  EXPECT_EQ(nul.Size(), 100);
  EXPECT_EQ(nul.Seek(10, soEnd), 90);
  EXPECT_EQ(nul.Seek(20, soCurrent), 110);
  EXPECT_EQ(nul.Size(), 110);

  const char data[] = "hello";
  TIEMemStream mem(data, 5);
  mem.SetSize(1);
  EXPECT_EQ(mem.Size(), 5);
  EXPECT_EQ(mem.Write("x", 1), 0);
  char out[8] = {};
  EXPECT_EQ(mem.Read(out, 8), 5);
  EXPECT_STREQ(out, "hello");
}

TEST(IEStreamClasses, BufferedReadsSeeksAndShortSources) {
  TMemoryStream source;
  std::vector<Byte> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<Byte>(i * 7);
  source.WriteBuffer(bytes.data(), 1000);

  source.SetPosition(990);
  {
    TIEBufferedReadStream view(&source, 4, false);
    Byte out[20];
    EXPECT_EQ(view.Read(out, 20), 10);  // only what the source holds
    EXPECT_EQ(0, std::memcmp(out, bytes.data() + 990, 10));
    EXPECT_EQ(view.Read(out, 20), 0);
    EXPECT_EQ(view.Seek(3, soEnd), 997);  // counts back from the end
    EXPECT_EQ(view.Read(out, 1), 1);
    EXPECT_EQ(out[0], bytes[997]);
    EXPECT_EQ(view.Seek(5000, soBeginning), 5000);  // accepted; reads give nothing
    EXPECT_EQ(view.Read(out, 4), 0);
    EXPECT_EQ(view.Seek(-50, soBeginning), -50);
    EXPECT_EQ(view.Read(out, 4), 0);
    EXPECT_THROW(
        {
          try {
            view.Write(out, 1);
          } catch (const Exception& e) {
            EXPECT_EQ(e.Message, "TIEBufferedReadStream cannot write!");
            throw;
          }
        },
        Exception);
  }
  source.SetPosition(100);
  {
    TIEBufferedReadStream view(&source, 7, true);
    EXPECT_EQ(view.Position(), 0);
    EXPECT_EQ(view.Size(), 900);
    EXPECT_EQ(view.Seek(5, soBeginning), 5);
    std::vector<Byte> out(300);
    EXPECT_EQ(view.Read(out.data(), 300), 300);  // spans many refills of the 7-byte buffer
    EXPECT_EQ(0, std::memcmp(out.data(), bytes.data() + 105, 300));
    EXPECT_EQ(view.Position(), 305);
  }
  ShortSource liar;
  liar.WriteBuffer(bytes.data(), 50);
  liar.SetPosition(0);
  TIEBufferedReadStream view(&liar, 16, false);
  std::vector<Byte> out(200);
  EXPECT_EQ(view.Read(out.data(), 200), 50);
  EXPECT_EQ(view.Read(out.data(), 200), 0);
}

TEST(IEStreamClasses, WideFileStreamOpensCreatesAndReports) {
  std::string dir = testsupport::MakeTempDir("wide");
  WideString name = AnsiToWide(dir + "/\u00e9t\u00e9.bin");
  {
    TIEWideFileStream out(name, ieFileCreateMode);
    out.WriteBuffer("abc", 3);
  }
  {
    TIEWideFileStream in(name, fmOpenRead | fmShareDenyWrite);
    char buf[4] = {};
    EXPECT_EQ(in.Read(buf, 4), 3);
    EXPECT_STREQ(buf, "abc");
  }
  EXPECT_EQ(IEFileOpenW(name, 3), -1);
  EXPECT_EQ(IEFileOpenW(name, 0x50), -1);
  try {
    TIEWideFileStream missing(AnsiToWide(dir + "/missing.bin"), fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message, "Cannot open file \"" + dir + "/missing.bin\". No such file or directory");
  }
  EXPECT_THROW(TIEWideFileStream(AnsiToWide(dir + "/no/such/dir.bin"), ieFileCreateMode), EFCreateError);
  EXPECT_THROW(TIEWideFileStream(AnsiToWide(dir), fmOpenRead), EFOpenError);
  testsupport::RemoveTree(dir);
}

TEST(IEStreamClasses, StringsRoundTripAndRefuseLyingLengths) {
  TMemoryStream stream;
  IESaveStringToStream(&stream, "caf\xc3\xa9");
  IESaveStringToStream(&stream, "");
  IEStreamWriteCRLFLine(&stream, "end");
  EXPECT_EQ(stream.Size(), 4 + 5 + 4 + 5);
  EXPECT_EQ(static_cast<Byte*>(stream.Memory())[0], 5);
  stream.SetPosition(0);
  AnsiString s = "x";
  IELoadStringFromStream(&stream, s);
  EXPECT_EQ(s, "caf\xc3\xa9");
  IELoadStringFromStream(&stream, s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(0, std::memcmp(static_cast<Byte*>(stream.Memory()) + 13, "end\r\n", 5));

  const Byte headers[3][4] = {{0xFF, 0xFF, 0xFF, 0x7F}, {0xFF, 0xFF, 0xFF, 0xFF}, {10, 0, 0, 0}};
  for (const auto& header : headers) {
    TMemoryStream bad;
    bad.WriteBuffer(header, 4);
    bad.WriteBuffer("abc", 3);
    bad.SetPosition(0);
    AnsiString kept = "kept";
    EXPECT_THROW(IELoadStringFromStream(&bad, kept), EReadError);
    EXPECT_EQ(kept, "kept");
  }
}

}  // namespace
