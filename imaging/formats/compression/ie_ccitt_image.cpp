#include "imaging/formats/compression/ie_ccitt_image.h"

#include "imaging/formats/compression/ie_ccitt.h"
#include "platform/rtl/streams.h"

bool IEEncodeCCITTImage(TIEBitmap* Bitmap, Integer K, std::vector<Byte>& Out, TIECodecProgress& Progress) {
  Out.clear();
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g) {
    IEFail(Progress, "CCITT compression needs a black-and-white image");
    return false;
  }
  const Integer Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  TMemoryStream Block;
  Byte Pending = 0;
  Integer PendingBits = 0;
  bool Aborting = false;
  std::vector<Byte> Reference;
  TIERowStepper Step(Progress, Height, true);
  for (Integer y = 0; y < Height; ++y) {
    const Byte* Row = static_cast<const Byte*>(Bitmap->GetScanline(y));
    if (K < 0) {
      IECCITTEncodeG4Row(Row, Width, &Block, Pending, PendingBits, Reference, Aborting, 1);
    } else {
      // K 1 allows no two-dimensional row: every row starts afresh, one-dimensional with its tag.
      Reference.clear();
      IECCITTEncodeG3Row(Row, Width, &Block, Pending, PendingBits, Reference, Aborting, 1);
    }
    if (Aborting) break;
    if (!Step.Next()) return false;
  }
  if (!Aborting) {
    if (K < 0)
      IECCITTEncodeG4Row(nullptr, Width, &Block, Pending, PendingBits, Reference, Aborting, 1);
    else
      IECCITTEncodeG3Row(nullptr, Width, &Block, Pending, PendingBits, Reference, Aborting, 1);
  }
  if (Aborting) {
    IEFail(Progress, "the CCITT block could not be written (out of memory)");
    return false;
  }
  const Byte* Data = static_cast<const Byte*>(Block.Memory());
  Out.assign(Data, Data + Block.Size());
  Out.resize((Out.size() + 3) / 4 * 4, 0);
  return true;
}
