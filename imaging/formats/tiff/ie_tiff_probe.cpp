#include <memory>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"

namespace {

// The header's byte order at the stream's position: 1 "II", 2 "MM", 0 neither.
Integer ByteOrder(const Byte* Head) {
  if (Head[0] == 'I' && Head[1] == 'I') return 1;
  if (Head[0] == 'M' && Head[1] == 'M') return 2;
  return 0;
}

}  // namespace

bool IsTIFF(TStream* Stream) {
  const Int64 start = Stream->Position();
  bool result = false;
  try {
    TIEBufferedReadStream buffered(Stream, 1024, true);
    const Int64 size = Stream->Size() - start;
    Byte head[9] = {};
    if (size > 8 && buffered.Read(head, 9) == 9) {
      const Integer order = ByteOrder(head);
      if (order != 0) {
        TTIFFDirectory dir(&buffered, order == 1, 0);
        const Int64 first = dir.U32(head + 4);
        result = first < size && (order == 1 || head[8] != 0xBA);
        Integer count = 0;
        if (result) result = dir.LoadIFD(0, first, count) && dir.Entry(256) && dir.Entry(257);
      }
    }
  } catch (...) {
    result = false;
  }
  Stream->SetPosition(start);
  return result;
}

bool IsCameraRawTIFF(TStream* Stream) {
  const Int64 start = Stream->Position();
  bool result = false;
  try {
    Byte head[8] = {};
    if (Stream->Read(head, 8) == 8 && ByteOrder(head) != 0) {
      TTIFFDirectory dir(Stream, ByteOrder(head) == 1, start);
      Integer count = 0;
      if (dir.LoadIFD(0, dir.U32(head + 4), count)) {
        const TTIFFEntry* dng = dir.Entry(50706);
        const TTIFFEntry* photometric = dir.Entry(262);
        if (dng && dng->Type == 1 && dng->Count == 4) {
          result = true;
        } else if (photometric && photometric->Type == 3 && photometric->Count == 1 &&
                   (dir.GetTagValue(262) == 32803 || dir.GetTagValue(262) == 34892)) {
          result = true;
        } else {
          // A TIFF/EP raw shows a small preview as its main image.
          result = dir.Entry(330) && dir.Entry(37398) && dir.GetTagValue(256) < 200 && dir.GetTagValue(257) < 200;
        }
      }
    }
  } catch (...) {
    result = false;
  }
  Stream->SetPosition(start);
  return result;
}
