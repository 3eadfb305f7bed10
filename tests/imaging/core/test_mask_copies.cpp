// Copies between image buffers and masks: depths, the Full flag, the grey scale of 24-bit
// images, and the box of set pixels that the mask's users rely on.
#include <gtest/gtest.h>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_mask.h"

namespace {

TEST(IEMaskCopies, ImagesToMasksByFormat) {
  TIEBitmap white(5, 3, ie24RGB);
  white.Fill(0xFFFFFF);
  TIEMask mask;
  white.CopyToTIEMask(&mask);
  ASSERT_EQ(mask.BitsPerPixel, 8);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) EXPECT_EQ(mask.GetScanline(y)[x], 63);  // grey shifted right by 2

  TIEBitmap grey(6, 4, ie8g);
  grey.Fill(0);
  grey.SetPixelByte(2, 1, 200);
  grey.SetPixelByte(4, 3, 9);
  grey.Full = true;
  grey.CopyToTIEMask(&mask);
  ASSERT_EQ(mask.BitsPerPixel, 8);
  EXPECT_EQ(mask.GetPixel(2, 1), 200);
  EXPECT_EQ(mask.GetPixel(4, 3), 9);
  EXPECT_TRUE(mask.Full);
  // The box holds the set pixels, so that the mask is not taken for an empty one.
  EXPECT_FALSE(mask.IsEmpty());
  EXPECT_EQ(mask.X1, 2);
  EXPECT_EQ(mask.Y1, 1);
  EXPECT_EQ(mask.X2, 4);
  EXPECT_EQ(mask.Y2, 3);

  TIEBitmap bits(11, 2, ie1g);
  bits.Fill(0);
  IESetBit(static_cast<Byte*>(bits.GetScanline(1)), 9, true);
  bits.CopyToTIEMask(&mask);
  ASSERT_EQ(mask.BitsPerPixel, 1);
  EXPECT_EQ(mask.GetPixel(9, 1), 1);
  EXPECT_EQ(mask.GetPixel(8, 1), 0);
  EXPECT_EQ(mask.GetPixel(9, 0), 0);

  TIEBitmap other(4, 4, ie16g);
  other.CopyToTIEMask(&mask);
  EXPECT_EQ(mask.Width, 11);  // left as it was
}

TEST(IEMaskCopies, MasksToImagesByDepth) {
  TIEMask mask;
  mask.AllocateBits(7, 5, 8);
  mask.SetPixel(3, 4, 77);
  mask.Full = true;
  TIEBitmap image;
  image.CopyFromTIEMask(&mask);
  ASSERT_EQ(image.GetPixelFormat(), ie8g);
  EXPECT_EQ(image.GetWidth(), 7);
  EXPECT_EQ(image.GetPixelByte(3, 4), 77);
  EXPECT_EQ(image.GetPixelByte(3, 3), 0);
  EXPECT_TRUE(image.Full);

  TIEMask bits;
  bits.AllocateBits(13, 2, 1);
  bits.SetPixel(12, 0, 1);
  image.CopyFromTIEMask(&bits);
  ASSERT_EQ(image.GetPixelFormat(), ie1g);
  EXPECT_TRUE(IEGetBit(static_cast<Byte*>(image.GetScanline(0)), 12));
  EXPECT_FALSE(IEGetBit(static_cast<Byte*>(image.GetScanline(1)), 12));
  EXPECT_FALSE(image.Full);

  // Round trip: the mask comes back as it went.
  TIEMask again;
  image.CopyToTIEMask(&again);
  EXPECT_EQ(again.GetPixel(12, 0), 1);
  EXPECT_EQ(again.X1, 12);

  TIEBitmap filled(3, 3, ie8g);
  filled.Fill(0);
  filled.CopyFromTIEMask(nullptr);
  EXPECT_EQ(filled.GetPixelByte(1, 1), 255);
}

}  // namespace
