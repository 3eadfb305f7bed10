// The Deflate streams against python3's zlib: what we deflate, zlib inflates; what zlib
// deflates, we inflate; broken, truncated and oversized inputs end in the side's exception.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "imaging/formats/compression/ie_deflate_streams.h"
#include "tests/imaging/support/corpus.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

std::vector<Byte> Sample(size_t n) {
  std::vector<Byte> d(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    d[i] = static_cast<Byte>((i / 7) ^ ((x >> 16) & 3));  // compressible, not trivial
  }
  return d;
}

std::vector<Byte> Bytes(TMemoryStream& m) {
  std::vector<Byte> out(static_cast<size_t>(m.Size()));
  m.SetPosition(0);
  if (!out.empty()) m.ReadBuffer(out.data(), Int64(out.size()));
  return out;
}

void WriteFile(const std::string& path, const std::vector<Byte>& d) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}

TEST(DeflateStreams, RoundTripsWithPythonZlib) {
  const std::string dir = testsupport::MakeTempDir("zlib");
  const std::vector<Byte> data = Sample(300000);  // several 64 KB buffers
  TMemoryStream packed;
  packed.WriteBuffer("HEAD", 4);
  {
    TZCompressionStream z(&packed, zcMax);
    z.WriteBuffer(data.data(), 1000);
    z.WriteBuffer(data.data() + 1000, Int64(data.size()) - 1000);
    EXPECT_EQ(z.Position(), Int64(data.size()));
  }
  std::vector<Byte> ours = Bytes(packed);
  WriteFile(dir + "/ours.z", std::vector<Byte>(ours.begin() + 4, ours.end()));
  WriteFile(dir + "/plain", data);
  testsupport::RunOk("python3 -c \"import zlib,sys; d=zlib.decompress(open(sys.argv[1],'rb').read()); "
                     "assert d==open(sys.argv[2],'rb').read(); open(sys.argv[3],'wb').write(zlib.compress(d, 6)+b'TAIL')\" " +
                     dir + "/ours.z " + dir + "/plain " + dir + "/theirs.z");

  // Theirs, followed by other data: we inflate all of it and leave the source behind the trailer.
  TMemoryStream theirs;
  theirs.LoadFromFile(dir + "/theirs.z");
  theirs.SetPosition(0);
  std::vector<Byte> back(data.size() + 10);
  Int64 got;
  {
    TZDecompressionStream z(&theirs);
    got = z.Read(back.data(), Integer(back.size()));
    EXPECT_EQ(z.Read(back.data(), 10), 0);
    EXPECT_EQ(z.Seek(0, soEnd), Int64(data.size()));
  }
  EXPECT_EQ(got, Int64(data.size()));
  back.resize(data.size());
  EXPECT_EQ(back, data);
  char tail[4];
  theirs.ReadBuffer(tail, 4);
  EXPECT_EQ(std::string(tail, 4), "TAIL");

  // An empty compression stream still makes a complete zlib stream.
  TMemoryStream empty;
  { TZCompressionStream z(&empty); }
  WriteFile(dir + "/empty.z", Bytes(empty));
  testsupport::RunOk("python3 -c \"import zlib,sys; assert zlib.decompress(open(sys.argv[1],'rb').read())==b''\" " + dir + "/empty.z");
  testsupport::RemoveTree(dir);
}

TEST(DeflateStreams, BrokenInputsEndInTheirExceptions) {
  const std::vector<Byte> data = Sample(5000);
  TMemoryStream packed;
  { TZCompressionStream z(&packed); z.WriteBuffer(data.data(), Int64(data.size())); }
  const std::vector<Byte> good = Bytes(packed);

  auto inflate = [](std::vector<Byte> in, size_t want) {
    TMemoryStream m;
    m.WriteBuffer(in.data(), Int64(in.size()));
    m.SetPosition(0);
    TZDecompressionStream z(&m);
    std::vector<Byte> out(want);
    return z.Read(out.data(), Integer(want));
  };
  std::vector<Byte> corrupt = good;
  corrupt[0] = 0x00;  // not a zlib header
  try {
    inflate(corrupt, 100);
    ADD_FAILURE();
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message, "data error");
  }
  // Truncated: a short read, no exception, no more than there was.
  EXPECT_LT(inflate(std::vector<Byte>(good.begin(), good.begin() + good.size() / 2), data.size()), Integer(data.size()));

  TMemoryStream m;
  TZCompressionStream writer(&m);
  EXPECT_THROW(writer.Read(nullptr, 1), EZCompressionError);

  // Whole buffers: exact length whatever the estimate; truncated, corrupt and oversized refused.
  for (Integer estimate : {0, 10, 100000}) {
    void* out = nullptr;
    Integer n = 0;
    ZDecompressBuf(good.data(), Integer(good.size()), out, n, estimate);
    ASSERT_EQ(n, Integer(data.size()));
    EXPECT_EQ(std::memcmp(out, data.data(), data.size()), 0);
    std::free(out);
  }
  struct Case { std::vector<Byte> in; Int64 max; const char* message; } cases[] = {
      {std::vector<Byte>(good.begin(), good.end() - 20), Int64(1) << 30, "buffer error"},
      {corrupt, Int64(1) << 30, "data error"},
      {good, 4000, "the inflated data is larger than 4000 bytes"},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    Integer n = -1;
    try {
      ZDecompressBuf(c.in.data(), Integer(c.in.size()), out, n, 0, c.max);
      ADD_FAILURE() << c.message;
    } catch (const EZDecompressionError& e) {
      EXPECT_EQ(e.Message, c.message);
      EXPECT_EQ(out, nullptr);
    }
  }
}

}  // namespace

// Whole blocks: each level makes a zlib stream python's zlib inflates to the input; what zlib
// deflated inflates into a block of exactly its length; corrupt, truncated and longer than the
// room given answer -1.
TEST(DeflateStreams, WholeBlocksAreZlibStreams) {
  const std::string dir = testsupport::MakeTempDir("zwhole");
  const std::vector<Byte> data = Sample(200000);
  WriteFile(dir + "/plain", data);
  for (TZCompressionLevel level : {zcNone, zcFastest, zcDefault, zcMax}) {
    SCOPED_TRACE(int(level));
    size_t n = 0;
    const std::unique_ptr<Byte[]> packed = ZCompressWhole(data.data(), data.size(), n, level);
    ASSERT_GT(n, size_t(6));
    WriteFile(dir + "/packed.z", std::vector<Byte>(packed.get(), packed.get() + n));
    testsupport::RunOk("python3 -c \"import zlib,sys; assert zlib.decompress(open(sys.argv[1],'rb').read())=="
                       "open(sys.argv[2],'rb').read()\" " + dir + "/packed.z " + dir + "/plain");
    if (level == zcNone) continue;
    std::vector<Byte> back(data.size());
    EXPECT_EQ(ZDecompressInto(packed.get(), n, back.data(), back.size()), Int64(data.size()));
    EXPECT_EQ(back, data);
  }
  TMemoryStream zlibs;
  { TZCompressionStream z(&zlibs); z.WriteBuffer(data.data(), Int64(data.size())); }
  std::vector<Byte> good = Bytes(zlibs);
  std::vector<Byte> back(data.size() + 100);
  EXPECT_EQ(ZDecompressInto(good.data(), good.size(), back.data(), back.size()), Int64(data.size()));
  EXPECT_EQ(ZDecompressInto(good.data(), good.size(), back.data(), data.size() - 1), -1);
  EXPECT_EQ(ZDecompressInto(good.data(), good.size() / 2, back.data(), back.size()), -1);
  good[good.size() / 2] ^= 0x55;
  EXPECT_EQ(ZDecompressInto(good.data(), good.size(), back.data(), back.size()), -1);
  testsupport::RemoveTree(dir);
}
