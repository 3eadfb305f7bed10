// The raw image record: byte layout, round trips and refusal of damaged records.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imaging/core/ie_bitmap.h"
#include "platform/rtl/streams.h"

namespace {

std::vector<Byte> Bytes(TMemoryStream& s) {
  const Byte* p = static_cast<const Byte*>(s.Memory());
  return std::vector<Byte>(p, p + s.Size());
}

template <class T>
void Put(std::vector<Byte>& rec, size_t at, T v) {
  std::memcpy(rec.data() + at, &v, sizeof v);
}

TEST(BitmapRaw, RecordOfA3x2ImageIsLaidOutByteForByte) {
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(RGB(1, 2, 3));
  b.Contrast = -7;
  b.ChannelOffsets[2] = 5;
  TMemoryStream s;
  b.SaveRawToStream(nullptr, &s);
  std::vector<Byte> rec = Bytes(s);
  ASSERT_EQ(rec.size(), 100u);
  EXPECT_EQ(b.RawRecordSize(), 100);
  EXPECT_EQ(std::string(rec.begin(), rec.begin() + 12), "TIEBITMAPRAW");
  auto i32 = [&](size_t at) { Integer v; std::memcpy(&v, &rec[at], 4); return v; };
  EXPECT_EQ(i32(12), 0);    // version
  EXPECT_EQ(i32(16), 0);    // no palette
  EXPECT_EQ(i32(20), 3);    // width
  EXPECT_EQ(i32(24), 2);    // height
  EXPECT_EQ(rec[28], ie24RGB);
  EXPECT_EQ(i32(30), 256);  // palette colours
  EXPECT_EQ(i32(58), 5);       // third channel offset
  EXPECT_EQ(i32(71 - 4), -7);  // contrast follows the use-offsets byte
  EXPECT_EQ(i32(71), 32);      // bit alignment
  EXPECT_EQ(rec[75], 3);       // first pixel: blue, green, red
  EXPECT_EQ(rec[76], 2);
  EXPECT_EQ(rec[77], 1);
  EXPECT_EQ(rec[99], 0);       // no alpha

  std::vector<Byte> mem(100);
  b.SaveRawToStream(mem.data(), nullptr);
  EXPECT_EQ(mem, rec);
}

TEST(BitmapRaw, RoundTripKeepsPaletteAlphaAlignmentAndSettings) {
  TIEBitmap b;
  b.Location = ieMemory;
  b.SetBitAlignment(8);
  ASSERT_TRUE(b.Allocate(5, 3, ie8p));
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) b.SetPixelByte(x, y, Byte(x + 5 * y));
  b.SetPaletteEntry(7, TRGB{7, 8, 9});
  b.SetAlphaValue(4, 2, 33);
  b.BlackLevel = 0.25;
  b.UseChannelOffsets = true;
  TMemoryStream s;
  b.SaveRawToStream(nullptr, &s);
  EXPECT_EQ(s.Size(), b.RawRecordSize());

  for (TIELocation where : {ieMemory, ieFile}) {
    TIEBitmap r;
    r.Location = where;
    r.FileThreshold = where == ieFile ? 0 : 1 << 20;
    s.SetPosition(0);
    ASSERT_TRUE(r.LoadRawFromStream(nullptr, &s));
    EXPECT_EQ(r.GetBitAlignment(), 8);
    EXPECT_EQ(r.GetRowLen(), 5);
    EXPECT_EQ(r.GetPixelFormat(), ie8p);
    EXPECT_EQ(r.GetPixelByte(3, 2), 13);
    EXPECT_EQ(r.GetPaletteEntry(7), (TRGB{7, 8, 9}));
    ASSERT_TRUE(r.HasAlphaChannel());
    EXPECT_EQ(r.GetAlphaValue(4, 2), 33);
    EXPECT_FALSE(r.GetAlphaChannel()->Full);
    EXPECT_EQ(r.BlackLevel, 0.25);
    EXPECT_TRUE(r.UseChannelOffsets);
    EXPECT_EQ(s.Position(), s.Size());
  }
}

TEST(BitmapRaw, DamagedRecordsAreRefusedAndLeaveTheBitmapAlone) {
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(clRed);
  TMemoryStream s;
  b.SaveRawToStream(nullptr, &s);
  const std::vector<Byte> good = Bytes(s);

  struct Row {
    const char* name;
    std::function<void(std::vector<Byte>&)> damage;
  } table[] = {
      {"signature", [](std::vector<Byte>& r) { r[0] = 'X'; }},
      {"negative version", [](std::vector<Byte>& r) { Put<Integer>(r, 12, -1); }},
      {"pixel format byte", [](std::vector<Byte>& r) { r[28] = 11; }},
      {"palette length", [](std::vector<Byte>& r) { Put<Integer>(r, 16, 100000); }},
      {"huge size", [](std::vector<Byte>& r) { Put<Integer>(r, 20, 2000000000); Put<Integer>(r, 24, 2000000000); }},
      {"negative width", [](std::vector<Byte>& r) { Put<Integer>(r, 20, -3); }},
      {"bit alignment", [](std::vector<Byte>& r) { Put<Integer>(r, 71, 0); }},
      {"short rows", [](std::vector<Byte>& r) { r.resize(90); }},
      {"short header", [](std::vector<Byte>& r) { r.resize(40); }},
      {"alpha announced but missing", [](std::vector<Byte>& r) { r[99] = 1; }},
  };
  for (const Row& row : table) {
    std::vector<Byte> rec = good;
    row.damage(rec);
    TMemoryStream in;
    in.WriteBuffer(rec.data(), Int64(rec.size()));
    in.SetPosition(0);
    TIEBitmap target(4, 4, ie8g);
    target.Fill(77);
    EXPECT_FALSE(target.LoadRawFromStream(nullptr, &in)) << row.name;
    EXPECT_EQ(target.GetWidth(), 4) << row.name;
    EXPECT_EQ(target.GetPixelFormat(), ie8g) << row.name;
    EXPECT_EQ(target.GetPixelByte(3, 3), 77) << row.name;
  }
  // A version above 0 is read with the same layout.
  std::vector<Byte> v5 = good;
  Put<Integer>(v5, 12, 5);
  TMemoryStream in;
  in.WriteBuffer(v5.data(), Int64(v5.size()));
  in.SetPosition(0);
  TIEBitmap target;
  EXPECT_TRUE(target.LoadRawFromStream(nullptr, &in));
  EXPECT_EQ(target.GetPixelRGB(2, 1), (TRGB{0, 0, 255}));
}

// A bitmap that wraps a framework bitmap reads the record through a memory copy: the copy must
// start at the record, not after the header the checks have already read.
TEST(BitmapRaw, AFrameworkBitmapReadsARecordFromAStream) {
  TIEBitmap source(5, 3, ie24RGB);
  source.Fill(0);
  source.SetPixelRGB(4, 2, TRGB{1, 2, 3});
  TMemoryStream stream;
  stream.WriteBuffer("xy", 2);  // the record need not start at the stream's beginning
  source.SaveRawToStream(nullptr, &stream);
  TIEBitmap target;
  target.Location = ieTBitmap;
  target.Allocate(2, 2, ie24RGB);
  stream.SetPosition(2);
  ASSERT_TRUE(target.LoadRawFromStream(nullptr, &stream));
  EXPECT_EQ(target.GetWidth(), 5);
  EXPECT_EQ(target.GetPixelRGB(4, 2), (TRGB{1, 2, 3}));
  EXPECT_EQ(stream.Position(), stream.Size());
}

}  // namespace

