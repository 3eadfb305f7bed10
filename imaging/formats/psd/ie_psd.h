// Photoshop documents (version 1): the merged image with its resources (resolution, IPTC, JPEG
// thumbnail, ICC profile, transparent index, XMP) and the layers with their masks. The layers
// travel as TIEPSDLayer records; the I/O component turns them into the view's layers and back.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

struct TIEPSDLayer {
  // The layer's pixels: Owned when the reader made them, else a caller's bitmap lent for a write.
  std::unique_ptr<TIEBitmap> Owned;
  TIEBitmap* Bitmap = nullptr;
  Integer PosX = 0, PosY = 0;
  Integer Opacity = 255;
  bool Visible = true;
  bool Clip = false;
  // The layer is the mask (8-bit grey) of the layer before it.
  bool MaskLayer = false;
  AnsiString LayerName;
};
using TIEPSDLayers = std::vector<std::unique_ptr<TIEPSDLayer>>;

// The 26 header bytes at the position are a Photoshop version 1 header of 1 to 24 channels,
// depth 1 to 16 and colour mode 0 to 9; the position is restored.
bool IsPSD(TStream* Stream);

// Reads the parameters and resources, the merged image into Bitmap (nil: not decoded) and, with
// LoadLayers, the layers into Layers (nil: none). A file of one layer gives that layer even
// without LoadLayers. With LoadLayers and layers read, the merged image is not decoded.
void ReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool LoadLayers, TIEPSDLayers* Layers);

// The colour mode a bitmap of Format is written in: 0 bitmap, 1 grey, 2 indexed, 3 RGB, 4 CMYK,
// 9 Lab; -1 for the formats Photoshop files cannot hold (ieNull, ie32f).
Integer IEPSDColorMode(TIEPixelFormat Format);

// Brings the layers to the pixel format of MergedBitmap's colour mode and depth (of the first
// layer's when MergedBitmap is nil) and gives each an alpha channel; mask layers stay as they
// are. Sizes are the caller's: a layer's bitmap is written at its own size.
void PSDUnifyLayers(TIEBitmap* MergedBitmap, TIEPSDLayers& Layers);

// Writes MergedBitmap and Layers (none: one layer holding the merged image). The layers'
// bitmaps are converted in place by PSDUnifyLayers.
void WritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TIECodecProgress& Progress, TIEBitmap* MergedBitmap,
                    TIEPSDLayers& Layers);
