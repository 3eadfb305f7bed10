#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/view/ie_layer.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

namespace {

TEST(Layer, RotationStoresWholeTurnsAsNone) {
  TIELayer l(nullptr, nullptr, false);
  for (const double a : {720.0, 360.0, -720.0, 0.0}) {
    l.SetRotationAngle(a);
    EXPECT_EQ(l.RotationAngle(), 0) << a;
  }
  for (const double a : {360.5, 90.0, -45.0}) {
    l.SetRotationAngle(a);
    EXPECT_EQ(l.RotationAngle(), a);
  }
}

// The record brings back every setting and the image; a record cut short or with an impossible
// name length is refused with the stream's read error.
TEST(Layer, RecordRoundTripsAndRefusesDamage) {
  TIELayer a(nullptr, nullptr, false);
  a.Bitmap->Allocate(7, 5, ie24RGB);
  a.Bitmap->Fill(0x336699);
  a.Bitmap->SetPixelRGB(6, 4, IECreateRGB(1, 2, 3));
  a.WidthOverride = 14;
  a.Opacity = 77;
  a.PosX = -3;
  a.PosY = 9;
  a.ClientRect = TRect{1, 2, 3, 4};
  a.ClipToBase = a.MaskLayer = a.DimOutside = a.Magnifier = true;
  a.MagnifyFactor = 3.5;
  a.Operation = 12;
  a.ResampleFilter = rfLanczos3;
  a.LayerName = "frame 7";
  a.SetRotationAngle(30);
  a.RotationCenterX = 0.25;
  int marker = 0;
  a.UserData = &marker;

  TMemoryStream m;
  TIELayerIdTable ids;
  a.SaveToStream(&m, true, &ids);
  Integer length = 0;
  std::memcpy(&length, m.Memory(), 4);
  EXPECT_EQ(length, m.Size());

  TIELayer b(nullptr, nullptr, false);
  m.SetPosition(0);
  b.LoadFromStream(&m, &ids);
  EXPECT_EQ(m.Position(), m.Size());
  EXPECT_EQ(std::memcmp(a.LayerGuid, b.LayerGuid, 16), 0);
  EXPECT_EQ(b.WidthOverride, 14);
  EXPECT_EQ(b.Opacity, 77);
  EXPECT_EQ(b.PosX, -3);
  EXPECT_EQ(b.ClientRect, (TRect{1, 2, 3, 4}));
  EXPECT_TRUE(b.ClipToBase && b.MaskLayer && b.DimOutside && b.Magnifier);
  EXPECT_EQ(b.MagnifyFactor, 3.5);
  EXPECT_EQ(b.Operation, 12);
  EXPECT_EQ(b.ResampleFilter, rfLanczos3);
  EXPECT_EQ(b.LayerName, "frame 7");
  EXPECT_EQ(b.RotationAngle(), 30);
  EXPECT_EQ(b.RotationCenterX, 0.25);
  EXPECT_EQ(b.UserData, &marker);
  // Another stream's table, or none, knows no reference of this one.
  TIELayerIdTable other;
  m.SetPosition(0);
  b.LoadFromStream(&m, &other);
  EXPECT_EQ(b.UserData, nullptr);
  EXPECT_EQ(b.Bitmap->GetWidth(), 7);
  EXPECT_EQ(b.Bitmap->GetPixelRGB(6, 4), IECreateRGB(1, 2, 3));

  // Without the image the record stops after its flag.
  TMemoryStream bare;
  a.SaveToStream(&bare, false);
  EXPECT_LT(bare.Size(), m.Size());

  TMemoryStream cut;
  cut.WriteBuffer(m.Memory(), 60);
  cut.SetPosition(0);
  TIELayer c(nullptr, nullptr, false);
  EXPECT_THROW(c.LoadFromStream(&cut), EReadError);

  // The name length sits after 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1 + 4 + 2 bytes.
  TMemoryStream bad;
  bad.WriteBuffer(m.Memory(), Integer(m.Size()));
  const Integer huge = 0x7FFFFFF0;
  std::memcpy(static_cast<Byte*>(bad.Memory()) + 92, &huge, 4);
  bad.SetPosition(0);
  EXPECT_THROW(c.LoadFromStream(&bad), EReadError);
}

}  // namespace
