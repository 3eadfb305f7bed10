// The per-image parameter record: its defaults, the setters that keep fields in step, the EXIF
// and information resets, and Assign as an independent copy.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dicom_tags.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_tags_handler.h"

namespace {

// The I/O component as the record sees it: an image and a view that records the DPI it is given.
class FakeOwner : public TIEParamsOwner {
 public:
  TIEBitmap Image;
  Integer ViewDpiX = -1, ViewDpiY = -1;
  TIEBitmap* GetBitmap() override { return Image.IsEmpty() ? nullptr : &Image; }
  void SetViewDpiX(Integer V) override { ViewDpiX = V; }
  void SetViewDpiY(Integer V) override { ViewDpiY = V; }
};

const Byte kExifPayload[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
const char kXmpPayload[] = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";

TEST(IOParamsVals, DefaultsOfANewRecord) {
  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.JpegQuality, 80);
  EXPECT_EQ(p.PngCompression, 5);
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.PsTitle, "No Title");
  EXPECT_EQ(p.PsPaperWidth, 595);
  EXPECT_EQ(p.PsPaperHeight, 842);
  EXPECT_EQ(p.PdfPaperWidth, 595);
  EXPECT_EQ(p.PdfPaperHeight, 842);
  EXPECT_DOUBLE_EQ(p.TgaGamma, 2.2);
  EXPECT_EQ(p.IcoSizes[0][0], 64);
  EXPECT_EQ(p.IcoSizes[0][1], 64);
  for (int i = 1; i < 16; ++i) {
    EXPECT_EQ(p.IcoSizes[i][0], 0) << i;
    EXPECT_EQ(p.IcoSizes[i][1], 0) << i;
  }
  EXPECT_EQ(p.IcoBitCount[0], 8);
  EXPECT_EQ(p.TiffOrientation, 1);
  EXPECT_EQ(p.ExifOrientation, 0);
  // No owner: size and DPI stay 0.
  EXPECT_EQ(p.DpiX, 0);
  EXPECT_EQ(p.DpiY, 0);
  EXPECT_EQ(p.Width, 0);
  EXPECT_EQ(p.Height, 0);
  EXPECT_EQ(p.ExifRating, -1);
  EXPECT_DOUBLE_EQ(p.ExifDigitalZoomRatio, -1.0);
  EXPECT_EQ(p.TiffSubIndex, -1);
  EXPECT_EQ(p.TiffPageNumber, -1);
  EXPECT_EQ(p.GifAction, 2);
  EXPECT_DOUBLE_EQ(p.RawGamma, 0.6);
  EXPECT_TRUE(p.RawQuickInterpolate);
  EXPECT_EQ(p.BmpRawRowAlign, 8);
  EXPECT_TRUE(p.PsdReplaceLayers);
  EXPECT_EQ(p.IcoBackground, (TRGB{255, 255, 255}));
  EXPECT_EQ(p.TgaDate, Date());
  EXPECT_EQ(p.EmbeddedICCProfile, nullptr);
  EXPECT_EQ(p.ImagingAnnot, nullptr);
  EXPECT_EQ(p.ExifBitmap, nullptr);
}

TEST(IOParamsVals, OwnerGivesSizeAndDefaultDpiToRecordAndView) {
  FakeOwner owner;
  ASSERT_TRUE(owner.Image.Allocate(640, 480, ie24RGB));
  TIOParamsVals p(&owner);
  EXPECT_EQ(p.Width, 640);
  EXPECT_EQ(p.Height, 480);
  EXPECT_EQ(p.DpiX, 300);
  EXPECT_EQ(p.DpiY, 300);
  EXPECT_DOUBLE_EQ(p.ExifXResolution, 300.0);
  EXPECT_EQ(owner.ViewDpiX, 300);
  EXPECT_EQ(owner.ViewDpiY, 300);

  p.SetExifXResolution(299.7);
  EXPECT_EQ(p.DpiX, 299);
  EXPECT_DOUBLE_EQ(p.ExifXResolution, 299.7);
  EXPECT_EQ(owner.ViewDpiX, 299);
  // A resolution no integer holds gives no undefined conversion.
  p.SetExifYResolution(1e300);
  EXPECT_EQ(p.DpiY, 0);
}

TEST(IOParamsVals, SettersKeepRelatedFieldsInStep) {
  TIOParamsVals p(nullptr);
  p.SetImageIndex(3);
  for (Integer v : {p.ImageIndex, p.TiffImageIndex, p.DcxImageIndex, p.GifImageIndex, p.IcoImageIndex, p.CurImageIndex})
    EXPECT_EQ(v, 3);
  p.SetImageCount(5);
  for (Integer v : {p.ImageCount, p.TiffImageCount, p.AviFrameCount, p.GifImageCount}) EXPECT_EQ(v, 5);
  p.SetExifOrientation(6);
  EXPECT_EQ(p.TiffOrientation, 6);
  p.SetTiffOrientation(3);
  EXPECT_EQ(p.ExifOrientation, 3);
  p.SetGetExifThumbnail(true);
  EXPECT_TRUE(p.GetExifThumbnail && p.JpegGetExifThumbnail);

  p.CurXHotSpot = 7;
  p.CurYHotSpot = 9;
  p.SetDefaultParams();
  EXPECT_EQ(p.CurXHotSpot, 0);
  EXPECT_EQ(p.CurYHotSpot, 0);
}

TEST(IOParamsVals, ResetExifRemovesOnlyTheFirstExifMarker) {
  TIOParamsVals p(nullptr);
  p.JpegMarkerList->AddMarker(0xE1, kXmpPayload, sizeof kXmpPayload - 1);
  p.JpegMarkerList->AddMarker(0xE1, kExifPayload, sizeof kExifPayload);
  p.JpegMarkerList->AddMarker(0xE1, kExifPayload, sizeof kExifPayload);
  p.ExifMake = "Canon";
  p.GpsLatitudeRef = "N";
  p.ExifHasEXIFData = true;
  p.SetExifOrientation(6);
  p.SetDpiX(150);
  p.GetExifBitmap()->Allocate(4, 4, ie24RGB);
  p.ExifMakerNote->Stream()->WriteBuffer("\x01\x00" "abcdefghijkl", 14);
  p.ExifMakerNote->ReadDirectory();
  ASSERT_EQ(p.ExifMakerNote->EntryCount(), 1);

  p.ResetEXIF();
  ASSERT_EQ(p.JpegMarkerList->Count(), 2);
  EXPECT_NE(p.JpegMarkerList->MarkerData(0)[0], 'E');  // XMP stays first
  EXPECT_EQ(p.JpegMarkerList->MarkerData(1)[0], 'E');  // the second EXIF marker stays
  EXPECT_EQ(p.ExifMake, "");
  EXPECT_EQ(p.GpsLatitudeRef, "");
  EXPECT_FALSE(p.ExifHasEXIFData);
  EXPECT_EQ(p.ExifOrientation, 0);
  EXPECT_EQ(p.TiffOrientation, 6);
  EXPECT_EQ(p.DpiX, 150);
  EXPECT_EQ(p.ExifBitmap, nullptr);
  EXPECT_EQ(p.ExifMakerNote->EntryCount(), 0);
  EXPECT_EQ(p.ExifSharpness, -1);
}

TEST(IOParamsVals, ResetInfoForgetsFindingsAndKeepsOptions) {
  TIOParamsVals p(nullptr);
  p.JpegQuality = 55;
  p.SetDpiX(72);
  p.SetImageIndex(2);
  p.XMP = "<x/>";
  p.JpegMarkerList->AddMarker(0xFE, "hi", 2);
  p.IptcInfo->AddBufferItem(2, 5, "A", 1);
  p.GetImagingAnnot();
  p.GetEmbeddedICCProfile();
  p.GetFallbackICCProfile();
  p.PngTextKeys->Add("k");
  p.ResetInfo();
  EXPECT_EQ(p.JpegQuality, 55);
  EXPECT_EQ(p.DpiX, 72);
  EXPECT_EQ(p.TiffImageIndex, 2);
  EXPECT_EQ(p.XMP, "");
  EXPECT_EQ(p.JpegMarkerList->Count(), 0);
  EXPECT_EQ(p.IptcInfo->Count(), 0);
  EXPECT_EQ(p.ImagingAnnot, nullptr);
  EXPECT_EQ(p.EmbeddedICCProfile, nullptr);
  EXPECT_NE(p.FallbackICCProfile, nullptr);
  EXPECT_EQ(p.PngTextKeys->Count(), 0);
}

TEST(IOParamsVals, AssignGivesAnIndependentCopy) {
  FakeOwner owner;
  TIOParamsVals src(nullptr);
  src.JpegQuality = 42;
  src.FileName = u"a.jpg";
  src.SetDpiX(96);
  src.SetDpiY(120);
  src.TiffImageIndex = 2;
  src.GifImageIndex = 4;
  src.CurImageIndex = 0;
  src.SetTiffOrientation(6);
  src.ExifOrientation = 0;  // as after a reset of the EXIF part
  src.JpegGetExifThumbnail = true;
  src.GetExifThumbnail = false;
  src.ColorMapCount = 2;
  src.ColorMap = static_cast<TRGB*>(std::malloc(2 * sizeof(TRGB)));
  src.ColorMap[0] = TRGB{1, 2, 3};
  src.ColorMap[1] = TRGB{4, 5, 6};
  src.GifComments->Add("hello");
  src.JpegMarkerList->AddMarker(0xFE, "c", 1);
  src.IptcInfo->AddBufferItem(2, 120, "caption", 7);
  src.DicomTags->AddTag(0x10, 0x10, "PN", nullptr, -1);
  src.ExifMakerNote->Stream()->WriteBuffer("\x00\x00", 2);
  src.GetEmbeddedICCProfile();
  src.XMP = "<x/>";

  TIOParamsVals dst(&owner);
  dst.NativePixelFormat = true;
  dst.GetImagingAnnot()->Add(new TIEImagingObject);
  dst.GetExifBitmap()->Allocate(8, 8, ie24RGB);  // the destination's own thumbnail
  dst.Assign(&src);

  EXPECT_EQ(dst.JpegQuality, 42);
  EXPECT_EQ(dst.FileName, u"a.jpg");
  EXPECT_EQ(dst.DpiX, 96);
  EXPECT_EQ(dst.DpiY, 120);
  EXPECT_EQ(owner.ViewDpiY, 120);
  EXPECT_EQ(dst.IO, &owner);
  // Each page index is copied for itself; none collapses onto the cursor index.
  EXPECT_EQ(dst.TiffImageIndex, 2);
  EXPECT_EQ(dst.GifImageIndex, 4);
  EXPECT_EQ(dst.CurImageIndex, 0);
  EXPECT_EQ(dst.TiffOrientation, 6);
  EXPECT_EQ(dst.ExifOrientation, 0);
  EXPECT_FALSE(dst.GetExifThumbnail);
  EXPECT_TRUE(dst.JpegGetExifThumbnail);
  EXPECT_TRUE(dst.NativePixelFormat);
  // A thumbnail that belonged to the destination's own image does not survive the copy.
  EXPECT_EQ(dst.ExifBitmap, nullptr);
  EXPECT_EQ(dst.ImagingAnnot, nullptr);
  ASSERT_NE(dst.EmbeddedICCProfile, nullptr);
  EXPECT_NE(dst.EmbeddedICCProfile, src.EmbeddedICCProfile);
  EXPECT_EQ(dst.XMP, "<x/>");
  ASSERT_EQ(dst.ColorMapCount, 2);
  ASSERT_NE(dst.ColorMap, src.ColorMap);
  EXPECT_EQ(dst.ColorMap[1], (TRGB{4, 5, 6}));
  EXPECT_EQ(dst.DicomTags->Count(), 1);
  EXPECT_EQ(dst.ExifMakerNote->Stream()->Size(), 2);

  // Independence: changing or freeing the source leaves the copy intact.
  src.GifComments->Clear();
  src.IptcInfo->Clear();
  src.ColorMap[1] = TRGB{9, 9, 9};
  src.JpegMarkerList->Clear();
  EXPECT_EQ(dst.GifComments->Count(), 1);
  EXPECT_EQ(dst.IptcInfo->Count(), 1);
  EXPECT_EQ(dst.JpegMarkerList->Count(), 1);
  EXPECT_EQ(dst.ColorMap[1], (TRGB{4, 5, 6}));

  // A source thumbnail is copied, not shared.
  src.GetExifBitmap()->Allocate(3, 2, ie24RGB);
  src.GetImagingAnnot()->Add(new TIEImagingObject);
  dst.Assign(&src);
  ASSERT_NE(dst.ExifBitmap, nullptr);
  EXPECT_NE(dst.ExifBitmap, src.ExifBitmap);
  EXPECT_EQ(dst.ExifBitmap->GetWidth(), 3);
  ASSERT_NE(dst.ImagingAnnot, nullptr);
  EXPECT_EQ(dst.ImagingAnnot->Count(), 1);
  EXPECT_EQ(dst.ImagingAnnot->Parent, &dst);
}

TEST(IOParamsVals, ProfilesAreMadeOnFirstUseAndTheSystemOneIsSRGB) {
  TIOParamsVals p(nullptr);
  TIEICC* sys = p.GetSystemICCProfile();
  EXPECT_EQ(p.GetSystemICCProfile(), sys);
  EXPECT_TRUE(sys->IsValid());
  EXPECT_FALSE(p.GetEmbeddedICCProfile()->IsValid());
  TIOParamsVals copy(nullptr);
  copy.Assign(&p);
  ASSERT_NE(copy.SystemICCProfile, nullptr);
  EXPECT_TRUE(copy.SystemICCProfile->IsValid());
  p.SetDefaultParams();
  EXPECT_EQ(p.SystemICCProfile, nullptr);
  EXPECT_EQ(p.EmbeddedICCProfile, nullptr);
}

}  // namespace
