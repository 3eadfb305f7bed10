// JPEG marker list and IPTC blocks: the exact bytes we write, what exiftool reads from JPEGs
// carrying our blocks, what we read from blocks exiftool wrote, and damaged blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_xmp.h"
#include "metadata_test_util.h"
#include "platform/rtl/exceptions.h"

using namespace metatest;

namespace {

Bytes Save(const TIEIPTCInfoList& list, bool header) {
  void* buf = nullptr;
  Integer len = -1;
  list.SaveToBuffer(buf, len, header);
  Bytes out = ToBytes(buf, len);
  std::free(buf);
  return out;
}

TEST(IPTCInfoList, WritesTheBlockBytes) {
  TIEIPTCInfoList list;
  list.AddBufferItem(2, 5, "ABCDE", 5);
  EXPECT_EQ(Save(list, false), (Bytes{0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x1C, 0x02, 0x05, 0x00, 0x05, 'A', 'B',
                                      'C', 'D', 'E', 0x00}));
  Bytes withHeader = Save(list, true);
  ASSERT_EQ(withHeader.size(), 36u);
  EXPECT_EQ(std::string(withHeader.begin(), withHeader.begin() + 13), "Photoshop 3.0");
  EXPECT_EQ(Bytes(withHeader.begin() + 13, withHeader.begin() + 26),
            (Bytes{0, '8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 0x0A}));

  // The version item and empty items are not written; an empty list gives nothing.
  TIEIPTCInfoList skipped;
  skipped.AddBufferItem(2, 0, "\x00\x04", 2);
  skipped.AddBufferItem(2, 25, "", 0);
  EXPECT_EQ(Save(skipped, false), (Bytes{0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00}));
  void* buf = reinterpret_cast<void*>(1);
  Integer len = 7;
  TIEIPTCInfoList().SaveToBuffer(buf, len, true);
  EXPECT_EQ(buf, nullptr);
  EXPECT_EQ(len, 0);
}

TEST(IPTCInfoList, LengthsAtTheExtendedFormBoundaryRoundTrip) {
  for (Integer n : {32767, 32768, 70000}) {
    SCOPED_TRACE(n);
    Bytes data(static_cast<size_t>(n));
    for (Integer i = 0; i < n; ++i) data[i] = static_cast<Byte>(i * 7);
    TIEIPTCInfoList list;
    list.AddBufferItem(2, 202, data.data(), n);
    Bytes block = Save(list, false);
    if (n < 32768) {
      EXPECT_EQ(block[10], static_cast<Byte>(n >> 8));
    } else {
      EXPECT_EQ(block[10], 0x80);
      EXPECT_EQ(block[11], 0x04);
      EXPECT_EQ(block[15], static_cast<Byte>(n));
    }
    TIEIPTCInfoList back;
    ASSERT_TRUE(back.LoadFromBuffer(block.data(), static_cast<Integer>(block.size())));
    EXPECT_FALSE(back.UserChanged);
    // Without the header the version item comes back as an ordinary item.
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.GetDataSet(0), 0);
    EXPECT_EQ(back.GetDataLength(1), n);
    EXPECT_EQ(0, std::memcmp(back.GetData(1), data.data(), static_cast<size_t>(n)));
  }
}

TEST(IPTCInfoList, DamagedBlocksEndTheParseWithoutReadingPastThem) {
  TIEIPTCInfoList list;
  EXPECT_FALSE(list.LoadFromBuffer("no iptc here", 12));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.LoadFromBuffer("x", 0));

  struct Case {
    const char* what;
    Bytes block;
    Integer items;
  } cases[] = {
      {"length beyond the block", {0x1C, 2, 5, 0x00, 0x09, 'A', 'B'}, 0},
      {"extended length beyond the block", {0x1C, 2, 5, 0x80, 0x04, 0x7F, 0xFF, 0xFF, 0xFF, 'A'}, 0},
      {"extended length with top bit set", {0x1C, 2, 5, 0x80, 0x04, 0x80, 0x00, 0x00, 0x05, 'A', 'B'}, 0},
      {"extended length field cut short", {0x1C, 2, 5, 0x80, 0x04, 0x00}, 0},
      {"extended length field of 0 bytes", {0x1C, 2, 5, 0x80, 0x00, 'A', 'B'}, 0},
      {"second item damaged", {0x1C, 2, 5, 0x00, 0x01, 'A', 0x1C, 2, 6, 0xFF, 0xFF, 'B'}, 1},
      {"only marker bytes", {0x1C, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C, 0x1C}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    list.LoadFromBuffer(c.block.data(), static_cast<Integer>(c.block.size()));
    EXPECT_EQ(list.Count(), c.items);
  }

  TIEIPTCInfoList good;
  good.AddBufferItem(2, 5, "ABCDE", 5);
  good.AddBufferItem(2, 120, Bytes(33000, 'x').data(), 33000);
  for (bool header : {false, true})
    for (const Bytes& b : Corruptions(Save(good, header))) {
      TIEIPTCInfoList l;
      l.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
      ASSERT_LE(l.Count(), 3);
    }
}

const char kXmpPacket[] =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
    "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour at dusk</rdf:li></rdf:Alt></dc:title>"
    "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

TEST(JpegMetadataBlocks, ExifToolReadsOurIptcAndXmpFromAJpeg) {
  TIEIPTCInfoList iptc;
  iptc.AddBufferItem(2, 5, "ABCDE", 5);
  iptc.AddBufferItem(2, 120, "A caption (with brackets)", 25);
  iptc.AddBufferItem(2, 25, "alpha", 5);
  iptc.AddBufferItem(2, 25, "beta", 4);
  TIOParamsVals params(nullptr);
  params.XMP = kXmpPacket;
  void* xmp = nullptr;
  Integer xmpLen = 0;
  IEWriteXMPToAPP1(&params, xmp, xmpLen);
  Bytes jpeg = SpliceMarkers(ReadFileBytes(PlainJpeg()), {{0xE1, ToBytes(xmp, xmpLen)}, {0xED, Save(iptc, true)}});
  std::free(xmp);
  std::string dir = testsupport::MakeTempDir("iptc");
  std::string file = dir + "/ours.jpg";
  WriteFileBytes(file, jpeg);
  EXPECT_EQ(ExifTool(file, "IPTC:ObjectName"), "ABCDE");
  EXPECT_EQ(ExifTool(file, "IPTC:Caption-Abstract"), "A caption (with brackets)");
  EXPECT_EQ(ExifTool(file, "IPTC:Keywords"), "alpha, beta");
  EXPECT_EQ(ExifTool(file, "XMP:Title"), "Harbour at dusk");
  testsupport::RemoveTree(dir);
}

TEST(JpegMetadataBlocks, WeReadIptcAndXmpThatExifToolWrote) {
  std::string dir = testsupport::MakeTempDir("iptc");
  std::string file = dir + "/theirs.jpg";
  testsupport::RunOk("cp " + PlainJpeg() + " " + file + " && exiftool -q -overwrite_original -IPTC:ObjectName=Pier "
                     "-IPTC:Keywords=one -IPTC:Keywords=two -XMP:Title='Low tide' " + file);
  TIEIPTCInfoList iptc;
  TIOParamsVals params(nullptr);
  bool sawIptc = false, sawXmp = false;
  for (const auto& [code, payload] : ListMarkers(ReadFileBytes(file))) {
    if (code == 0xED) sawIptc = iptc.LoadFromBuffer(payload.data(), static_cast<Integer>(payload.size()));
    if (code == 0xE1) sawXmp = IEReadXMPFromAPP1(payload.data(), static_cast<Integer>(payload.size()), &params) || sawXmp;
  }
  ASSERT_TRUE(sawIptc);
  ASSERT_TRUE(sawXmp);
  std::vector<std::string> keywords;
  std::string name;
  for (Integer i = 0; i < iptc.Count(); ++i) {
    std::string v(reinterpret_cast<const char*>(iptc.GetData(i)), static_cast<size_t>(iptc.GetDataLength(i)));
    if (iptc.GetRecord(i) == 2 && iptc.GetDataSet(i) == 5) name = v;
    if (iptc.GetRecord(i) == 2 && iptc.GetDataSet(i) == 25) keywords.push_back(v);
  }
  EXPECT_EQ(name, "Pier");
  EXPECT_EQ(keywords, (std::vector<std::string>{"one", "two"}));
  EXPECT_NE(params.XMP.find("Low tide"), std::string::npos);
  testsupport::RemoveTree(dir);
}

TEST(JpegMetadataBlocks, RecordCarriesARealFilesMarkersAndDropsItsExif) {
  // A JPEG with EXIF, XMP, IPTC and an ICC profile, all written by exiftool.
  std::string dir = testsupport::MakeTempDir("markers");
  std::string file = dir + "/full.jpg";
  testsupport::RunOk("cp " + PlainJpeg() + " " + file + " && exiftool -q -overwrite_original -Make=Olympus "
                     "-XMP:Title=Breakwater -IPTC:ObjectName=Quay '-ICC_Profile<=/usr/share/color/icc/ghostscript/"
                     "srgb.icc' " + file);
  ASSERT_EQ(ExifTool(file, "EXIF:Make"), "Olympus");
  Bytes jpeg = ReadFileBytes(file);
  TIOParamsVals params(nullptr);
  // The markers in reverse order, so that sorting has work to do.
  auto found = ListMarkers(jpeg);
  for (auto it = found.rbegin(); it != found.rend(); ++it)
    params.JpegMarkerList->AddMarker(it->first, it->second.data(), static_cast<Word>(it->second.size()));

  // The ICC profile travels in an APP2 marker after a 14-byte chunk header.
  Integer app2 = params.JpegMarkerList->IndexOf(0xE2);
  ASSERT_GE(app2, 0);
  TIEICC* icc = params.GetEmbeddedICCProfile();
  icc->LoadFromBuffer(params.JpegMarkerList->MarkerData(app2) + 14, params.JpegMarkerList->MarkerLength(app2) - 14);
  EXPECT_TRUE(icc->IsValid());
  EXPECT_EQ(icc->ProfileDescription, ExifTool(file, "ICC_Profile:ProfileDescription"));

  params.ResetEXIF();
  params.JpegMarkerList->Sort();
  std::vector<std::pair<Byte, Bytes>> kept;
  for (Integer i = 0; i < params.JpegMarkerList->Count(); ++i) {
    EXPECT_TRUE(i == 0 || params.JpegMarkerList->MarkerType(i - 1) <= params.JpegMarkerList->MarkerType(i));
    kept.emplace_back(params.JpegMarkerList->MarkerType(i),
                      ToBytes(params.JpegMarkerList->MarkerData(i), params.JpegMarkerList->MarkerLength(i)));
  }
  std::string out = dir + "/rewritten.jpg";
  WriteFileBytes(out, ReplaceMarkers(jpeg, kept));
  EXPECT_EQ(ExifTool(out, "EXIF:Make"), "");
  EXPECT_EQ(ExifTool(out, "XMP:Title"), "Breakwater");
  EXPECT_EQ(ExifTool(out, "IPTC:ObjectName"), "Quay");
  EXPECT_EQ(ExifTool(out, "ICC_Profile:ProfileDescription"), icc->ProfileDescription);
  testsupport::RemoveTree(dir);
}

TEST(MarkerList, SortPutsTypesInOrderIccChunksInSequenceAndExifFirst) {
  const char xmp[] = "http://ns.adobe.com/xap/1.0/\0<x/>";
  const Byte exif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'};
  Byte icc2[20] = "ICC_PROFILE";
  Byte icc1[20] = "ICC_PROFILE";
  icc2[12] = 2;
  icc1[12] = 1;
  TIEMarkerList list;
  EXPECT_EQ(list.IndexOf(0xE1), -1);
  list.AddMarker(0xE1, xmp, sizeof xmp);
  list.AddMarker(0xE0, "JFIF", 5);
  list.AddMarker(0xE1, exif, sizeof exif);
  list.AddMarker(0xE2, icc2, sizeof icc2);
  list.AddMarker(0xE2, icc1, sizeof icc1);
  list.Sort();
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.MarkerType(0), 0xE0);
  EXPECT_EQ(list.MarkerData(1)[0], 'E');
  EXPECT_EQ(list.MarkerData(2)[0], 'h');
  EXPECT_EQ(list.MarkerData(3)[12], 1);
  EXPECT_EQ(list.MarkerData(4)[12], 2);

  TIEMarkerList copy;
  copy.Assign(&list);
  list.Clear();
  EXPECT_EQ(copy.Count(), 5);
  EXPECT_EQ(copy.MarkerLength(0), 5);
  EXPECT_THROW(copy.MarkerData(5), EListError);
}

}  // namespace
