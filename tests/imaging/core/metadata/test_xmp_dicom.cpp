// XMP APP1 payloads and the DICOM tag list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_dicom_tags.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_xmp.h"
#include "metadata_test_util.h"

using namespace metatest;

namespace {

const char kSig[] = "http://ns.adobe.com/xap/1.0/";  // 28 characters and the zero byte

TEST(XMPPackets, FindReadAndWrite) {
  Bytes sig(kSig, kSig + 29);
  EXPECT_EQ(IEFindXMPPacket(sig.data(), 29), nullptr);
  Bytes one = sig;
  one.push_back('<');
  EXPECT_EQ(IEFindXMPPacket(one.data(), 30), one.data() + 29);

  TIOParamsVals p(nullptr);
  p.XMP = "kept";
  const Byte exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                       0,   0,   0,   0,   0, 0, 0,   0,   0,  0, 0};
  EXPECT_FALSE(IEReadXMPFromAPP1(exif, sizeof exif, &p));
  EXPECT_EQ(p.XMP, "kept");

  p.XMP = "<x:xmpmeta>\xC3\xA9t\xC3\xA9</x:xmpmeta>";
  void* buf = nullptr;
  Integer size = 0;
  IEWriteXMPToAPP1(&p, buf, size);
  EXPECT_EQ(size, static_cast<Integer>(p.XMP.size()) + 29);
  EXPECT_EQ(0, std::memcmp(buf, kSig, 29));
  TIOParamsVals q(nullptr);
  EXPECT_TRUE(IEReadXMPFromAPP1(buf, size, &q));
  EXPECT_EQ(q.XMP, p.XMP);
  std::free(buf);

  q.XMP.clear();
  IEWriteXMPToAPP1(&q, buf, size);
  EXPECT_EQ(size, 29);
  std::free(buf);

  // A signature whose namespace text never ends inside the payload has no packet.
  Bytes unterminated(kSig, kSig + 28);
  unterminated.insert(unterminated.end(), 10, 'x');
  EXPECT_EQ(IEFindXMPPacket(unterminated.data(), static_cast<Integer>(unterminated.size())), nullptr);
  for (const Bytes& b : Corruptions(one)) IEReadXMPFromAPP1(b.data(), static_cast<Integer>(b.size()), &q);
}

TEST(DICOMTags, AddAndAssign) {
  TIEDICOMTags tags;
  Byte* data = static_cast<Byte*>(std::malloc(4));
  std::memcpy(data, "Doe", 4);
  EXPECT_EQ(tags.AddTag(0x0010, 0x0010, "PN", data, 3), 0);
  tags.AddTag(0x0008, 0x0060, "XYZ", nullptr, -1);
  Byte* empty = static_cast<Byte*>(std::malloc(1));
  empty[0] = 0;
  tags.AddTag(0x0020, 0x0013, "IS", empty, 0);
  ASSERT_EQ(tags.Count(), 3);
  EXPECT_EQ(tags.GetTag(0).VR[0], 'P');
  EXPECT_EQ(tags.GetTag(1).VR[0], 0);
  EXPECT_EQ(tags.GetTag(1).VR[1], 0);
  EXPECT_EQ(tags.GetTag(1).Data, nullptr);
  EXPECT_EQ(tags.GetTag(1).DataLen, 0);

  TIEDICOMTags copy;
  copy.Assign(&tags);
  tags.Clear();
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_STREQ(reinterpret_cast<const char*>(copy.GetTag(0).Data), "Doe");
  EXPECT_EQ(copy.GetTag(0).Group, 0x0010);
  EXPECT_EQ(copy.GetTag(2).Data, nullptr);
  EXPECT_EQ(copy.GetTag(2).DataLen, 0);
}

}  // namespace
