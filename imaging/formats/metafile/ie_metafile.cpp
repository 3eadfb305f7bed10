#include "imaging/formats/metafile/ie_metafile.h"

#include <algorithm>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/ie_le_bytes.h"

namespace {

constexpr DWORD kPlaceableKey = 0x9AC6CDD7;
constexpr Integer kPlaceableHeaderSize = 22;
constexpr DWORD kEMFSignature = 0x464D4520;  // " EMF"

Integer ClampSide(Int64 Value) { return Integer(std::clamp<Int64>(Value, 0, 0x7FFFFFFF)); }

}  // namespace

bool IsWMF(TStream* Stream) {
  TIEStreamPositionKeeper Keep(Stream);
  const Int64 Start = Keep.Position();
  Byte b[20];
  if (!IEReadFully(Stream, b, sizeof b)) return false;
  Stream->SetPosition(IEGetLE32(b) == kPlaceableKey ? Start + kPlaceableHeaderSize : Start);
  Byte h[18];
  if (!IEReadFully(Stream, h, sizeof h)) return false;
  return IEGetLE16(h) == 1 && IEGetLE16(h + 2) == 9 && IEGetLE16(h + 16) == 0;
}

bool IsEMF(TStream* Stream) {
  TIEStreamPositionKeeper Keep(Stream);
  Byte b[100];
  if (!IEReadFully(Stream, b, sizeof b)) return false;
  return IEGetLE32(b) == 1 && IEGetLE32(b + 40) == kEMFSignature;
}

bool IEMetafileImportSize(Integer PictureWidth, Integer PictureHeight, Integer& Width, Integer& Height,
                          Integer MaxSide) {
  const Int64 PW = std::max(PictureWidth, 0), PH = std::max(PictureHeight, 0);
  Int64 W = Width, H = Height;
  if (W < 0 && H < 0) {
    W = PW;
    H = PH;
  } else if (W < 0) {
    // A picture without height gives no proportion to follow.
    W = PH > 0 ? H * PW / PH : 0;
  } else if (H < 0) {
    H = PW > 0 ? W * PH / PW : 0;
  }
  if (W <= 0 || H <= 0) {
    Width = ClampSide(W);
    Height = ClampSide(H);
    return false;
  }
  if (MaxSide > 0 && (W > MaxSide || H > MaxSide)) {
    if (W < H) {
      W = std::max<Int64>(1, W * MaxSide / H);
      H = MaxSide;
    } else {
      H = std::max<Int64>(1, H * MaxSide / W);
      W = MaxSide;
    }
  }
  Width = ClampSide(W);
  Height = ClampSide(H);
  return true;
}
