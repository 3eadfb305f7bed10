// One layer of an image view: an image placed over the base layer, with its own display size,
// opacity, rotation, blend operation and display options. The view keeps them in a list whose
// first entry is the base layer; the current layer's image is the view's image.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_types.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/geometry.h"
#include "platform/rtl/streams.h"

class TStream;
class TZodivErView;
class TIELayer;

// The user-data references of the layer records written into one stream. A record keeps only a
// number; the table that came with the stream turns it back into data, so a record read with
// another table, or none, never reaches a block it does not know. A block a layer owns is kept
// as a copy: the layer may free it before the record is read back.
class TIELayerIdTable {
 public:
  // 0 when the layer has no user data.
  Integer Add(const TIELayer& Layer);
  // Gives Layer the data numbered Id (an owned copy, or the shared reference); an unknown
  // number leaves it without user data.
  void Restore(Integer Id, TIELayer& Layer) const;
  Integer Count() const { return static_cast<Integer>(FEntries.size()); }

 private:
  struct TEntry {
    void* Reference = nullptr;
    std::vector<Byte> Copy;
    bool Owned = false;
  };
  std::vector<TEntry> FEntries;
};

// Layer records together with the id table that decodes them.
class TIELayerRecordStream : public TMemoryStream {
 public:
  AnsiString ClassName() const override { return "TIELayerRecordStream"; }
  TIELayerIdTable Ids;
};

class TIELayer : public TObject {
 public:
  // With ShareBitmap the layer uses Bitmap itself; otherwise it makes its own empty image
  // shaped like Bitmap (size and format, not the pixels).
  TIELayer(TZodivErView* Owner, TIEBitmap* Bitmap, bool ShareBitmap);
  ~TIELayer() override;

  AnsiString ClassName() const override { return "TIELayer"; }

  void Reset();
  void Assign(TIELayer* Source);
  // The display size: the override when set, else the bitmap's own size.
  Integer GetWidth() const;
  Integer GetHeight() const;
  double RotationAngle() const { return FRotationAngle; }
  // Whole turns are kept as 0.
  void SetRotationAngle(double Angle);
  // Client point -> pixel of the layer bitmap, and back.
  Integer ScreenToLayerX(Integer X);
  Integer ScreenToLayerY(Integer Y);
  Integer LayerToScreenX(Integer X);
  Integer LayerToScreenY(Integer Y);
  // The layer record, with the image when WithBitmap. The user-data reference is numbered in
  // Ids; without a table the record carries none.
  void SaveToStream(TStream* Stream, bool WithBitmap = true, TIELayerIdTable* Ids = nullptr);
  void LoadFromStream(TStream* Stream, const TIELayerIdTable* Ids = nullptr);

  Integer WidthOverride = 0;
  Integer HeightOverride = 0;
  // Alpha of the layer combined with the mask layer above it, kept until the view's next Update.
  TIEBitmap* MaskedAlpha = nullptr;
  TZodivErView* Owner = nullptr;
  TIEBitmap* Bitmap = nullptr;
  bool Visible = true;
  bool ShowFrame = true;
  Integer Opacity = 255;
  Integer PosX = 0;
  Integer PosY = 0;
  // Client rectangle covered at the last render; right and bottom inclusive for hit tests.
  TRect ClientRect;
  bool ClipToBase = false;
  bool NoResize = false;
  bool CanSelect = true;
  bool Magnifier = false;
  double MagnifyFactor = 2.0;
  Byte MagnifierShape = 0;
  Byte MagnifierSource = 1;
  Byte Operation = 0;
  void* UserData = nullptr;
  Integer UserDataSize = 0;
  bool OwnsBitmap = true;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  AnsiString LayerName;
  bool MaskLayer = false;
  // Last render: destination x, y, width, height in the back buffer, then source x, y, width,
  // height in the layer bitmap.
  Integer DrawnMapping[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  TPoint RotatedCorners[4];
  bool DimOutside = false;
  Byte LayerGuid[16] = {};
  double RotationCenterX = 0.5;
  double RotationCenterY = 0.5;

 private:
  double FRotationAngle = 0;
};
