#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/streams.h"
#include "tests/platform/exception_text.h"
#include "tests/support/fixtures.h"

namespace {

class StreamsTest : public testing::Test {
 protected:
  void SetUp() override { Dir = testsupport::MakeTempDir("streams"); }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

}  // namespace

TEST_F(StreamsTest, FileStreamWritesSeeksResizesAndReadsBack) {
  const AnsiString Name = Dir + "/data.bin";
  {
    TFileStream F(Name, fmCreate);
    EXPECT_EQ(F.FileName(), Name);
    F.WriteBuffer("0123456789", 10);
    EXPECT_EQ(F.Size(), 10);
    EXPECT_EQ(F.Position(), 10);
  }
  TFileStream F(Name, fmOpenReadWrite | fmShareExclusive);
  char Buf[8] = {};
  struct Case { Int64 Offset; TSeekOrigin Origin; Int64 Expected; char At; };
  const Case Cases[] = {{3, soBeginning, 3, '3'}, {2, soCurrent, 6, '6'}, {-2, soEnd, 8, '8'},
                        {-7, soCurrent, 2, '2'}, {4, soFromBeginning, 4, '4'}};
  for (const auto& C : Cases) {
    EXPECT_EQ(F.Seek(C.Offset, C.Origin), C.Expected);
    F.ReadBuffer(Buf, 1);
    EXPECT_EQ(Buf[0], C.At);
  }
  F.SetSize(4);  // shrink
  EXPECT_EQ(F.Size(), 4);
  F.SetSize(7);  // grow: the new bytes read as zero
  F.SetPosition(0);
  F.ReadBuffer(Buf, 7);
  EXPECT_EQ(std::string(Buf, 7), std::string("0123\0\0\0", 7));
  EXPECT_EQ(F.Read(Buf, 8), 0);  // at the end
  F.SetPosition(5);
  EXPECT_EQ(MessageOf<EReadError>([&] { F.ReadBuffer(Buf, 3); }), "Stream read error");

  // The descriptor must not leak into programs the application starts.
  EXPECT_TRUE(fcntl(F.Handle(), F_GETFD) & FD_CLOEXEC);
}

TEST_F(StreamsTest, SizesBeyondFourGigabytes) {
  const AnsiString Name = Dir + "/big.bin";
  TFileStream F(Name, fmCreate);
  const Int64 Big = (Int64{5} << 30) + 3;
  F.SetSize(Big);  // sparse: costs no disk space
  EXPECT_EQ(F.Size(), Big);
  F.Seek(-1, soEnd);
  F.WriteBuffer("z", 1);
  EXPECT_EQ(F.Position(), Big);
  EXPECT_EQ(std::filesystem::file_size(Name), static_cast<std::uintmax_t>(Big));
}

TEST_F(StreamsTest, OpenAndCreateFailuresNameTheAbsolutePath) {
  const std::string Cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(Dir);
  const std::string Open =
      MessageOf<EFOpenError>([] { TFileStream F(AnsiString("sub/../missing.bin"), fmOpenRead); });
  const std::string Create =
      MessageOf<EFCreateError>([] { TFileStream F(AnsiString("nofolder/new.bin"), fmCreate); });
  std::filesystem::create_directory("folder");
  const std::string Folder =
      MessageOf<EFOpenError>([] { TFileStream F(AnsiString("folder"), fmOpenRead); });
  std::filesystem::current_path(Cwd);
  EXPECT_EQ(Open, "Cannot open file \"" + Dir + "/missing.bin\". No such file or directory");
  EXPECT_EQ(Create, "Cannot create file \"" + Dir + "/nofolder/new.bin\". No such file or directory");
  EXPECT_EQ(Folder, "Cannot open file \"" + Dir + "/folder\". Is a directory");
}

TEST_F(StreamsTest, WideFileNamesReachTheSameFile) {
  const AnsiString Name = Dir + "/\xC3\xA9t\xC3\xA9.bin";  // été
  {
    TFileStream F(Name, fmCreate);
    F.WriteBuffer("ok", 2);
  }
  WideString Wide;
  for (unsigned char C : std::string(Dir + "/")) Wide += static_cast<char16_t>(C);
  Wide += u"\u00E9t\u00E9.bin";
  TFileStream F(Wide, fmOpenRead);
  EXPECT_EQ(F.Size(), 2);
}

TEST(Streams, CopyFromWholeSourceOrCount) {
  TStringStream Source("abcdefgh");
  Source.SetPosition(5);
  TMemoryStream Dest;
  // Count 0: all of the source, from its start, whatever its position.
  EXPECT_EQ(Dest.CopyFrom(&Source, 0), 8);
  // A count: from where the source stands.
  Source.SetPosition(2);
  EXPECT_EQ(Dest.CopyFrom(&Source, 3), 3);
  EXPECT_EQ(Source.Position(), 5);
  ASSERT_EQ(Dest.Size(), 11);
  EXPECT_EQ(std::string(static_cast<const char*>(Dest.Memory()), 11), "abcdefghcde");
  // More than the source holds.
  EXPECT_EQ(MessageOf<EReadError>([&] { Dest.CopyFrom(&Source, 4); }), "Stream read error");

  // Larger than the copy buffer, through a file.
  std::vector<Byte> Data(3 * 1024 * 1024 + 17);
  for (std::size_t I = 0; I < Data.size(); ++I) Data[I] = static_cast<Byte>(I * 7 + I / 251);
  TMemoryStream Big;
  Big.WriteBuffer(Data.data(), static_cast<Int64>(Data.size()));
  const std::string Dir = testsupport::MakeTempDir("copy");
  {
    TFileStream F(Dir + "/copy.bin", fmCreate);
    EXPECT_EQ(F.CopyFrom(&Big, 0), static_cast<Int64>(Data.size()));
  }
  TMemoryStream Back;
  Back.LoadFromFile(Dir + "/copy.bin");
  ASSERT_EQ(Back.Size(), static_cast<Int64>(Data.size()));
  EXPECT_EQ(std::memcmp(Back.Memory(), Data.data(), Data.size()), 0);
  testsupport::RemoveTree(Dir);
}

TEST(Streams, MemoryStreamGrowsGeometrically) {
  TMemoryStream M;
  const int N = 1 << 20;
  int Reallocations = 0;
  Int64 Capacity = M.Capacity();
  for (int I = 0; I < N; ++I) {
    const Byte B = static_cast<Byte>(I);
    M.WriteBuffer(&B, 1);
    if (M.Capacity() != Capacity) {
      ++Reallocations;
      Capacity = M.Capacity();
    }
  }
  EXPECT_EQ(M.Size(), N);
  EXPECT_LT(Reallocations, 40);  // a fixed growth step would need thousands
  const auto* P = static_cast<const Byte*>(M.Memory());
  EXPECT_EQ(P[N - 1], static_cast<Byte>(N - 1));
  EXPECT_EQ(P[12345], static_cast<Byte>(12345));
}

TEST(Streams, MemoryStreamGapsAndSizeChanges) {
  TMemoryStream M;
  M.WriteBuffer("ab", 2);
  M.SetPosition(5);
  M.WriteBuffer("z", 1);  // the gap reads as zeros, not as old heap contents
  ASSERT_EQ(M.Size(), 6);
  EXPECT_EQ(std::string(static_cast<const char*>(M.Memory()), 6), std::string("ab\0\0\0z", 6));
  M.SetSize(3);
  EXPECT_EQ(M.Position(), 3);  // pulled back to the new end
  M.SetSize(5);
  EXPECT_EQ(std::string(static_cast<const char*>(M.Memory()), 5), std::string("ab\0\0\0", 5));
  M.SetCapacity(1);  // never below the size
  EXPECT_GE(M.Capacity(), 5);
  char Buf[4];
  M.Seek(-10, soEnd);
  EXPECT_EQ(M.Read(Buf, 4), 0);
  M.Clear();
  EXPECT_EQ(M.Size(), 0);
  EXPECT_EQ(M.Position(), 0);
  EXPECT_EQ(M.Memory(), nullptr);

  // Sizes no process can hold are refused, not attempted.
  EXPECT_THROW(M.SetSize(LLONG_MAX), EOutOfMemory);
  EXPECT_THROW(M.SetSize(-1), EOutOfMemory);
  M.Seek(LLONG_MAX - 2, soBeginning);
  EXPECT_THROW(M.WriteBuffer("abcd", 4), EOutOfMemory);
  EXPECT_EQ(M.Size(), 0);
}

TEST(Streams, StringStreamOverwritesInPlace) {
  TStringStream S("hello world");
  S.SetPosition(6);
  S.WriteString("W");
  EXPECT_EQ(S.DataString(), "hello World");  // the rest stays
  S.Seek(0, soEnd);
  S.WriteString("!!");
  EXPECT_EQ(S.DataString(), "hello World!!");
  S.SetPosition(0);
  EXPECT_EQ(S.ReadString(5), "hello");
  EXPECT_EQ(S.ReadString(100), " World!!");
  EXPECT_EQ(S.ReadString(1), "");
}

TEST(Streams, HandleStreamGathersPartialPipeReads) {
  int Fds[2];
  ASSERT_EQ(pipe(Fds), 0);
  ASSERT_EQ(write(Fds[1], "ab", 2), 2);
  // The rest arrives later: one read call sees only "ab", which is not the end of the data.
  std::thread Late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(write(Fds[1], "cd", 2), 2);
    close(Fds[1]);
  });
  THandleStream Reader(Fds[0]);
  char Buf[3];
  Reader.ReadBuffer(Buf, 3);
  EXPECT_EQ(std::string(Buf, 3), "abc");
  Late.join();
  EXPECT_EQ(MessageOf<EReadError>([&] { Reader.ReadBuffer(Buf, 2); }), "Stream read error");
  close(Fds[0]);  // the stream does not own the descriptor
}
