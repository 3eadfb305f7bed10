#include "imaging/formats/metafile/ie_metafile_render.h"

#include <algorithm>
#include <cmath>

#include "imaging/formats/codec.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/metafile/ie_metafile_player.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr DWORD kPlaceableKey = 0x9AC6CDD7;
constexpr DWORD kEMFSignature = 0x464D4520;
constexpr Integer kScreenDpi = 96;

[[noreturn]] void Invalid(const AnsiString& Why) { throw EInvalidGraphic("Invalid metafile: " + Why); }

Integer Side(Int64 Units, Int64 Per, Int64 Scale) {
  if (Per <= 0) return 0;
  const Int64 v = (std::abs(Units) * Scale + Per / 2) / Per;
  return Integer(std::min<Int64>(v, 0x7FFFFFFF));
}

}  // namespace

TIEMetafile::TIEMetafile() = default;
TIEMetafile::~TIEMetafile() = default;

void TIEMetafile::SetWidth(Integer Value) {
  if (FWidth == Value) return;
  FWidth = Value;
  Changed();
}

void TIEMetafile::SetHeight(Integer Value) {
  if (FHeight == Value) return;
  FHeight = Value;
  Changed();
}

void TIEMetafile::LoadFromStream(TStream* Stream) {
  const Int64 available = Stream->Size() - Stream->Position();
  if (available > MaxBytes) Invalid("larger than " + IntToStr(MaxBytes) + " bytes");
  std::vector<Byte> data(size_t(std::max<Int64>(available, 0)));
  if (!data.empty() && !IEReadFully(Stream, data.data(), Int64(data.size()))) Invalid("the stream could not be read");
  std::swap(FData, data);
  try {
    Parse();
  } catch (...) {
    FData.clear();
    FWidth = FHeight = 0;
    throw;
  }
  Changed();
}

void TIEMetafile::SaveToStream(TStream* Stream) {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), Int64(FData.size()));
}

void TIEMetafile::Parse() {
  const Byte* d = FData.data();
  const size_t n = FData.size();
  FEnhanced = n >= 44 && IEGetLE32(d) == 1 && IEGetLE32(d + 40) == kEMFSignature;
  if (FEnhanced) {
    const DWORD headerSize = IEGetLE32(d + 4);
    if (headerSize < 88 || headerSize > n) Invalid("the header record is cut short");
    // The chain of records, each within the file, closed by the end record.
    size_t at = 0;
    bool closed = false;
    while (at + 8 <= n) {
      const DWORD type = IEGetLE32(d + at), size = IEGetLE32(d + at + 4);
      if (size < 8 || size % 4 || size > n - at)
        Invalid("record " + IntToStr(type) + " at offset " + IntToStr(Int64(at)) + " has a size of " + IntToStr(size) +
                " bytes, past the end of the file or not a whole number of words");
      at += size;
      if (type == 14) {
        closed = true;
        break;
      }
    }
    if (!closed) Invalid("the file ends before its end record");
    const Int64 frameW = Int64(std::int32_t(IEGetLE32(d + 32))) - std::int32_t(IEGetLE32(d + 24));
    const Int64 frameH = Int64(std::int32_t(IEGetLE32(d + 36))) - std::int32_t(IEGetLE32(d + 28));
    // The frame is in hundredths of a millimetre; the picture's size is its extent on the screen.
    FWidth = Side(frameW, 2540, kScreenDpi);
    FHeight = Side(frameH, 2540, kScreenDpi);
    return;
  }
  size_t start = 0;
  bool placeable = n >= 22 && IEGetLE32(d) == kPlaceableKey;
  Int64 inch = 0;
  if (placeable) {
    for (int i = 0; i < 4; ++i) FBox[i] = std::int16_t(IEGetLE16(d + 6 + 2 * i));
    inch = IEGetLE16(d + 14);
    if (inch == 0) Invalid("the placeable header gives 0 units per inch");
    start = 22;
  }
  if (n - start < 18) Invalid("the header is cut short");
  const Byte* h = d + start;
  const Word type = IEGetLE16(h), words = IEGetLE16(h + 2);
  if ((type != 1 && type != 2) || words != 9) Invalid("not a Windows metafile header");
  FObjectCount = IEGetLE16(h + 10);
  FRecordsAt = start + 18;
  size_t at = FRecordsAt;
  bool closed = false, haveOrg = false, haveExt = false;
  double org[2] = {0, 0}, ext[2] = {0, 0};
  while (at + 6 <= n) {
    const UInt64 size = UInt64(IEGetLE32(d + at)) * 2;
    const Word function = IEGetLE16(d + at + 4);
    if (size < 6 || size > n - at)
      Invalid("record " + IntToHex(function, 4) + " at offset " + IntToStr(Int64(at)) + " has a size of " +
              IntToStr(Int64(size)) + " bytes, past the end of the file");
    if (!placeable && size >= 10 && (function == 0x020B || function == 0x020C)) {
      double* into = function == 0x020B ? org : ext;
      if (!(function == 0x020B ? haveOrg : haveExt)) {
        into[1] = std::int16_t(IEGetLE16(d + at + 6));
        into[0] = std::int16_t(IEGetLE16(d + at + 8));
        (function == 0x020B ? haveOrg : haveExt) = true;
      }
    }
    at += size_t(size);
    if (function == 0) {
      closed = true;
      break;
    }
  }
  if (!closed) Invalid("the file ends before its end record");
  if (placeable) {
    FWidth = Side(Int64(FBox[2] - FBox[0]), inch, kScreenDpi);
    FHeight = Side(Int64(FBox[3] - FBox[1]), inch, kScreenDpi);
    return;
  }
  // Without a placeable header the window the records set up is the picture, a unit a pixel.
  if (!haveExt) Invalid("neither a placeable header nor a window extent gives its size");
  FBox[0] = org[0];
  FBox[1] = org[1];
  FBox[2] = org[0] + ext[0];
  FBox[3] = org[1] + ext[1];
  FWidth = Integer(std::fabs(ext[0]));
  FHeight = Integer(std::fabs(ext[1]));
}

void TIEMetafile::Draw(TCanvas* ACanvas, const TRect& R) {
  FPlayError.clear();
  FSkipped = 0;
  if (FData.empty() || !ACanvas) return;
  try {
    if (FEnhanced) iemf::PlayEMF(FData.data(), FData.size(), ACanvas, R, FSkipped);
    else iemf::PlayWMF(FData.data(), FData.size(), FRecordsAt, FObjectCount, FBox, ACanvas, R, FSkipped);
  } catch (iemf::EDamaged& E) {
    FPlayError = E.Reason;
  } catch (EAbort&) {
    throw;
  } catch (Exception& E) {
    FPlayError = E.Message;
  }
}
