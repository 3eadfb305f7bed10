// Annotation blocks of TIFF files: the bytes we write, reading them back, and damaged blocks
// (lying point counts and sizes, a missing creation scale, cut-off records).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_bitmap.h"
#include "metadata_test_util.h"

using namespace metatest;

namespace {

void Put32(Bytes& b, Integer v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<Byte>(static_cast<Cardinal>(v) >> (8 * i)));
}
void PutName(Bytes& b, const char* name) {
  Byte n[8] = {};
  std::memcpy(n, name, std::strlen(name));
  b.insert(b.end(), n, n + 8);
}

TIEImagingObject* Mark(Cardinal type) {
  auto* o = new TIEImagingObject;
  for (int i = 0; i < 4; ++i) o->Attributes[i] = static_cast<Byte>(type >> (8 * i));
  o->Attributes[100] = 0x5A;  // carried unchanged
  return o;
}

Bytes Save(const TIEImagingAnnot& a) {
  void* d = nullptr;
  Integer n = -1;
  a.SaveToBuffer(d, n);
  Bytes out = ToBytes(d, n);
  std::free(d);
  return out;
}

TEST(ImagingAnnot, LineMarkBytes) {
  TIEImagingAnnot a;
  EXPECT_TRUE(Save(a).empty());
  TIEImagingObject* line = Mark(3);
  line->Points = {{10, 10}, {20, 30}};
  line->PointCount = 2;
  a.Add(line);
  Bytes b = Save(a);

  Bytes expect;
  Put32(expect, 0);
  Put32(expect, 1);
  Put32(expect, 2), Put32(expect, 12), PutName(expect, "OiGroup"), Put32(expect, 2), expect.insert(expect.end(), {'0', 0});
  Put32(expect, 2), Put32(expect, 12), PutName(expect, "OiIndex"), Put32(expect, 2), expect.insert(expect.end(), {'1', 0});
  Put32(expect, 5), Put32(expect, 164);
  expect.insert(expect.end(), line->Attributes, line->Attributes + 164);
  Put32(expect, 6), Put32(expect, 12), PutName(expect, "OiAnoDat"), Put32(expect, 24);
  for (Integer v : {2, 2, 10, 10, 20, 30}) Put32(expect, v);
  Put32(expect, 6), Put32(expect, 12), PutName(expect, "OiGroup"), Put32(expect, 2), expect.insert(expect.end(), {'0', 0});
  Put32(expect, 6), Put32(expect, 12), PutName(expect, "OiIndex"), Put32(expect, 2), expect.insert(expect.end(), {'0', 0});
  EXPECT_EQ(b, expect);
}

TEST(ImagingAnnot, MarksComeBackFromTheirBlock) {
  TIEImagingAnnot a;
  TIEImagingObject* line = Mark(4);
  line->Points = {{1, 2}, {3, 4}, {-5, 6}};
  line->PointCount = 3;
  a.Add(line);
  TIEImagingObject* text = Mark(8);
  text->Text = static_cast<char*>(std::malloc(12));
  std::strcpy(text->Text, "Note \xC3\xA0 moi");
  text->SetFontHeight(-17);
  a.Add(text);
  TIEImagingObject* colour = Mark(1);
  colour->Image = new TIEBitmap;
  ASSERT_TRUE(colour->Image->Allocate(5, 3, ie24RGB));
  colour->Image->Fill(0);
  colour->Image->SetPixelRGB(4, 0, TRGB{1, 2, 3});
  a.Add(colour);
  TIEImagingObject* mono = Mark(1);
  mono->Image = new TIEBitmap;
  ASSERT_TRUE(mono->Image->Allocate(9, 2, ie1g));
  mono->Image->Fill(0);
  static_cast<Byte*>(mono->Image->GetScanline(1))[1] = 0x80;  // pixel (8, 1) white
  a.Add(mono);
  a.Add(Mark(12));

  TIEImagingAnnot back;
  Bytes b = Save(a);
  back.UserChanged = true;
  back.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
  EXPECT_FALSE(back.UserChanged);
  ASSERT_EQ(back.Count(), 5);
  for (Integer i = 0; i < 5; ++i) EXPECT_EQ(0, std::memcmp(back.Objects(i)->Attributes, a.Objects(i)->Attributes, 164)) << i;
  ASSERT_EQ(back.Objects(0)->PointCount, 3);
  EXPECT_EQ(back.Objects(0)->Points[2].X, -5);
  EXPECT_STREQ(back.Objects(1)->Text, "Note \xC3\xA0 moi");
  EXPECT_EQ(back.Objects(1)->FontHeight(), -17);
  ASSERT_NE(back.Objects(2)->Image, nullptr);
  EXPECT_EQ(back.Objects(2)->Image->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(back.Objects(2)->Image->GetPixelRGB(4, 0), (TRGB{1, 2, 3}));
  ASSERT_NE(back.Objects(3)->Image, nullptr);
  EXPECT_EQ(back.Objects(3)->Image->GetPixelFormat(), ie1g);
  EXPECT_EQ(back.Objects(3)->Image->GetWidth(), 9);
  EXPECT_EQ(static_cast<Byte*>(back.Objects(3)->Image->GetScanline(1))[1] & 0x80, 0x80);

  TIEImagingAnnot copy;
  copy.Assign(&back);
  back.Clear();
  ASSERT_EQ(copy.Count(), 5);
  EXPECT_STREQ(copy.Objects(1)->Text, "Note \xC3\xA0 moi");
  EXPECT_EQ(copy.Objects(2)->Image->GetWidth(), 5);

  for (const Bytes& c : Corruptions(b)) {
    TIEImagingAnnot l;
    l.LoadFromBuffer(c.data(), static_cast<Integer>(c.size()));
    ASSERT_LE(l.Count(), 5);
  }
}

// A text mark whose block is written by hand: header flag, creation scale and point counts vary.
Bytes TextBlock(Integer sizeFlag, Integer scale, Integer height) {
  Bytes b;
  Put32(b, 0);
  Put32(b, sizeFlag);
  Put32(b, 5), Put32(b, 164);
  Byte attr[164] = {};
  attr[0] = 7;
  std::memcpy(attr + 48, &height, 4);
  b.insert(b.end(), attr, attr + 164);
  Put32(b, 6), Put32(b, 12), PutName(b, "OiAnText"), Put32(b, 19);
  if (sizeFlag == 0) Put32(b, 0);
  Put32(b, 0), Put32(b, 1000), Put32(b, scale), Put32(b, 2);
  b.insert(b.end(), {'h', 'i', 0});
  return b;
}

TEST(ImagingAnnot, CreationScaleAndSizeFlag) {
  struct Case {
    Integer flag, scale, height, expect;
  } cases[] = {
      {1, 750, 20, 20},    // written at 96 DPI: the height stays
      {1, 1500, 20, 10},   // written at 48 DPI
      {0, 750, 20, 20},    // eight-byte size fields
      {1, 0, 20, 20},      // no creation scale: the stored height is kept, no division by zero
      {1, -750, 20, 20},
  };
  for (const Case& c : cases) {
    Bytes b = TextBlock(c.flag, c.scale, c.height);
    TIEImagingAnnot a;
    a.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
    ASSERT_EQ(a.Count(), 1) << c.scale;
    EXPECT_STREQ(a.Objects(0)->Text, "hi");
    EXPECT_EQ(a.Objects(0)->FontHeight(), c.expect) << c.scale;
  }
}

TEST(ImagingAnnot, LyingCountsAndSizesAreRefused) {
  auto lineBlock = [](Integer count, Integer dataSize, Integer points) {
    Bytes b;
    Put32(b, 0), Put32(b, 1);
    Put32(b, 5), Put32(b, 164);
    Byte attr[164] = {3};
    b.insert(b.end(), attr, attr + 164);
    Put32(b, 6), Put32(b, 12), PutName(b, "OiAnoDat"), Put32(b, dataSize);
    Put32(b, count), Put32(b, count);
    for (Integer i = 0; i < points; ++i) Put32(b, i), Put32(b, i);
    return b;
  };
  struct Case {
    const char* what;
    Bytes block;
    Integer marks, points;
  } cases[] = {
      {"honest", lineBlock(2, 24, 2), 1, 2},
      {"count beyond the data", lineBlock(1000000, 24, 2), 1, 0},
      {"negative count", lineBlock(-1, 24, 2), 1, 0},
      {"count overflowing a size", lineBlock(0x20000001, 24, 2), 1, 0},
      {"data size beyond the block", lineBlock(2, 0x7FFFFFF0, 2), 1, 0},
      {"negative data size", lineBlock(2, -8, 2), 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIEImagingAnnot a;
    a.LoadFromBuffer(c.block.data(), static_cast<Integer>(c.block.size()));
    ASSERT_EQ(a.Count(), c.marks);
    EXPECT_EQ(a.Objects(0)->PointCount, c.points);
  }
  // Only block-wide records: no marks.
  Bytes groups;
  Put32(groups, 0), Put32(groups, 1);
  Put32(groups, 2), Put32(groups, 12), PutName(groups, "OiGroup"), Put32(groups, 2);
  groups.insert(groups.end(), {'0', 0});
  TIEImagingAnnot a;
  a.LoadFromBuffer(groups.data(), static_cast<Integer>(groups.size()));
  EXPECT_EQ(a.Count(), 0);
  // A damaged picture of an image mark gives a mark without an image.
  Bytes dib = IEAnnotBitmapToDIB(nullptr, 200, 200);
  EXPECT_TRUE(dib.empty());
  TIEBitmap small;
  ASSERT_TRUE(small.Allocate(3, 3, ie24RGB));
  dib = IEAnnotBitmapToDIB(&small, 200, 200);
  for (const Bytes& c : Corruptions(dib)) delete IEAnnotDIBToBitmap(c.data(), static_cast<Int64>(c.size()));
}

}  // namespace
