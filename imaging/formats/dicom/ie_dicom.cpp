#include "imaging/formats/dicom/ie_dicom.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <sys/mman.h>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_dicom_tags.h"
#include "imaging/core/ie_text.h"
#include "imaging/formats/compression/ie_packbits.h"
#include "imaging/formats/dicom/ie_lossless_jpeg.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

struct TDictionaryRow {
  Word Group, Element;
  char VR[3];
};

constexpr TDictionaryRow DICOMDictionary[] = {
#include "ie_dicom_dictionary.inc"
};

const char* const kExplicitLittle = "1.2.840.10008.1.2.1";
const char* const kImplicitLittle = "1.2.840.10008.1.2";
const char* const kExplicitBig = "1.2.840.10008.1.2.2";
const char* const kDeflated = "1.2.840.10008.1.2.1.99";
const char* const kBaseline = "1.2.840.10008.1.2.4.50";
const char* const kLossless = "1.2.840.10008.1.2.4.70";
const char* const kLosslessAny = "1.2.840.10008.1.2.4.57";
const char* const kRLE = "1.2.840.10008.1.2.5";

// A data set with more elements than this is not an image header but a bomb: each element
// costs a tag in the list.
constexpr Integer kMaxElements = 1 << 20;
// Fragments of the pixel data kept in view to find a frame's own.
constexpr size_t kMaxFragments = 1 << 20;

struct TDICOMContext {
  TIOParamsVals* Params = nullptr;
  TIEBitmap* Bitmap = nullptr;
  TIECodecProgress* Progress = nullptr;
  TStream* Stream = nullptr;
  Int64 StreamSize = 0;
  bool Little = true;
  AnsiString TransferSyntax;
  Integer SamplesPerPixel = 1;
  AnsiString Photometric;
  Integer Planar = 0;
  Integer Frames = 1;
  Integer PixelRepresentation = 0;
  Integer Columns = 0;
  Integer Rows = 0;
  Integer BitsAllocated = 0;
  Integer BitsStored = 0;
  double WindowCentre = -1;
  double WindowWidth = -1;
  double Intercept = 0;
  double Slope = 1;
  Int64 PixelLength = -1;  // the pixel data element's length, -1 when undefined
  Integer Frame = 0;       // the frame being loaded
};

void Fail(TDICOMContext& C, const AnsiString& Reason) { IEFail(*C.Progress, Reason); }

Word Swap16(Word V) { return static_cast<Word>(V >> 8 | V << 8); }
Cardinal Swap32(Cardinal V) { return __builtin_bswap32(V); }

bool Read16(TStream* S, Word& V) {
  Byte b[2];
  if (S->Read(b, 2) != 2) return false;
  V = static_cast<Word>(b[0] | b[1] << 8);
  return true;
}

bool Read32(TStream* S, Cardinal& V) {
  Byte b[4];
  if (S->Read(b, 4) != 4) return false;
  V = Cardinal(b[0]) | Cardinal(b[1]) << 8 | Cardinal(b[2]) << 16 | Cardinal(b[3]) << 24;
  return true;
}

Cardinal LE32(const Byte* P) { return Cardinal(P[0]) | Cardinal(P[1]) << 8 | Cardinal(P[2]) << 16 | Cardinal(P[3]) << 24; }

// The first value of a multi-valued text ("40\400" gives 40).
double FirstNumber(const Byte* Data, Integer Length, double Default) {
  AnsiString text(reinterpret_cast<const char*>(Data), static_cast<size_t>(Length));
  text = text.substr(0, text.find('\0'));
  text = Trim(text.substr(0, text.find('\\')));
  const long double v = IEStrToFloatDef(text, Default);
  // A value the arithmetic cannot carry counts as no value.
  return std::isfinite(static_cast<double>(v)) && std::fabs(static_cast<double>(v)) < 1e12 ? static_cast<double>(v)
                                                                                            : Default;
}

AnsiString Text(const Byte* Data, Integer Length) {
  AnsiString text(reinterpret_cast<const char*>(Data), static_cast<size_t>(Length));
  return text.substr(0, text.find('\0'));
}

Integer ClampedNumber(Cardinal V) { return V > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<Integer>(V); }

// --- rescale, window and stretch ------------------------------------------------------------

// Grey samples of the work bitmap, Max 255 (bytes) or 65535 (16-bit): rescaled by the slope and
// intercept, put through the window when the file gives one, shifted to non-negative values and
// stretched over the whole range. The result depends only on a sample's value, so it is computed
// once per value that occurs and applied through a table.
void ApplyDICOMWindow(TDICOMContext& C, bool Wide) {
  TIEBitmap* b = C.Bitmap;
  const Integer h = b->GetHeight();
  const Integer n = b->GetWidth() * (b->GetPixelFormat() == ie24RGB ? 3 : 1);
  const bool sign = C.PixelRepresentation == 1;
  const double top = Wide ? 65535.0 : 255.0;
  auto value = [&](uint32_t raw) -> int32_t {
    if (Wide) return sign ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
    return sign ? static_cast<int8_t>(raw) : static_cast<int32_t>(raw);
  };
  int32_t lo = INT32_MAX, hi = INT32_MIN;
  for (Integer y = 0; y < h; ++y) {
    const void* row = b->GetScanline(y);
    for (Integer i = 0; i < n; ++i) {
      const int32_t x = value(Wide ? static_cast<const Word*>(row)[i] : static_cast<const Byte*>(row)[i]);
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
  }
  if (lo > hi) return;
  const bool windowOn = C.WindowCentre != -1 && C.WindowWidth != -1;
  const double centre = C.WindowCentre - 0.5, width = C.WindowWidth - 1;
  const double low = std::trunc(centre - width / 2), high = std::trunc(centre + width / 2);
  auto rescale = [&](int32_t x) {
    double v = x * C.Slope + C.Intercept;
    if (windowOn) {
      if (v <= low) v = 0;
      else if (v >= high) v = top;
      else v = ((v - centre) / width + 0.5) * top;
    }
    return v;
  };
  // The function is monotonic in the sample, so its extremes lie at the extreme samples. The
  // offset lifts the most negative value to 0 for every sample alike.
  const double v1 = rescale(lo), v2 = rescale(hi);
  const double offset = std::max(0.0, -std::min(v1, v2));
  auto stored = [&](double v) { return std::clamp(std::trunc(v + offset), 0.0, top); };
  const double smin = stored(std::min(v1, v2)), smax = stored(std::max(v1, v2));
  std::vector<uint16_t> table(static_cast<size_t>(static_cast<int64_t>(hi) - lo + 1));
  for (int64_t x = lo; x <= hi; ++x) {
    double s = stored(rescale(static_cast<int32_t>(x)));
    // One value all over has no range to stretch over: the samples keep their rescaled value.
    if (smax > smin) s = std::trunc((s - smin) / (smax - smin) * top);
    table[static_cast<size_t>(x - lo)] = static_cast<uint16_t>(std::clamp(s, 0.0, top));
  }
  for (Integer y = 0; y < h; ++y) {
    void* row = b->GetScanline(y);
    if (Wide) {
      Word* p = static_cast<Word*>(row);
      for (Integer i = 0; i < n; ++i) p[i] = table[static_cast<size_t>(value(p[i]) - lo)];
    } else {
      Byte* p = static_cast<Byte*>(row);
      for (Integer i = 0; i < n; ++i) p[i] = static_cast<Byte>(table[static_cast<size_t>(value(p[i]) - lo)]);
    }
  }
}

void DICOMInvertMonochrome(TDICOMContext& C, bool Wide) {
  if (UpperCase(Trim(C.Photometric)) != "MONOCHROME1") return;
  TIEBitmap* b = C.Bitmap;
  const Integer n = b->GetWidth() * (b->GetPixelFormat() == ie24RGB ? 3 : 1);
  for (Integer y = 0; y < b->GetHeight(); ++y) {
    void* row = b->GetScanline(y);
    if (Wide) {
      Word* p = static_cast<Word*>(row);
      for (Integer i = 0; i < n; ++i) p[i] = static_cast<Word>(65535 - p[i]);
    } else {
      Byte* p = static_cast<Byte*>(row);
      for (Integer i = 0; i < n; ++i) p[i] = static_cast<Byte>(255 - p[i]);
    }
  }
}

void ApplyDICOMWindow16(TDICOMContext& C) { ApplyDICOMWindow(C, true); }
void ApplyDICOMWindow8(TDICOMContext& C) { ApplyDICOMWindow(C, false); }
void DICOMInvertMonochrome16(TDICOMContext& C) { DICOMInvertMonochrome(C, true); }
void DICOMInvertMonochrome8(TDICOMContext& C) { DICOMInvertMonochrome(C, false); }

// What every grey decoding ends with.
void Finish(TDICOMContext& C, bool Wide) {
  if (Wide) {
    ApplyDICOMWindow16(C);
    DICOMInvertMonochrome16(C);
  } else {
    ApplyDICOMWindow8(C);
    DICOMInvertMonochrome8(C);
  }
}

// --- pixel data -----------------------------------------------------------------------------

// The coded bytes of one frame. A frame of tens of megabytes is asked for in huge pages where the
// system gives them: in small pages its first touch alone costs as much as decoding it.
class TFrameData {
 public:
  TFrameData() = default;
  TFrameData(const TFrameData&) = delete;
  TFrameData& operator=(const TFrameData&) = delete;
  ~TFrameData() { std::free(FData); }
  void Resize(size_t Size) {
    std::free(FData);
    FData = nullptr;
    FSize = 0;
    constexpr size_t kHuge = size_t(2) << 20;
    void* p = nullptr;
    if (Size >= 4 * kHuge) {
      if (posix_memalign(&p, kHuge, (Size + kHuge - 1) / kHuge * kHuge) == 0)
        madvise(p, (Size + kHuge - 1) / kHuge * kHuge, MADV_HUGEPAGE);
      else
        p = nullptr;
    } else {
      p = std::malloc(Size ? Size : 1);
    }
    if (!p) throw std::bad_alloc();
    FData = static_cast<Byte*>(p);
    FSize = Size;
  }
  Byte* data() { return FData; }
  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }

 private:
  Byte* FData = nullptr;
  size_t FSize = 0;
};

AnsiString SizeText(const TDICOMContext& C) {
  return std::to_string(C.Columns) + " x " + std::to_string(C.Rows) + " pixels of " + std::to_string(C.SamplesPerPixel) +
         " samples (" + std::to_string(C.BitsStored) + " bits stored in " + std::to_string(C.BitsAllocated) + ")";
}

// The encapsulated bytes of the frame to load: its fragments joined. False after Fail.
bool ReadFrameFragments(TDICOMContext& C, TFrameData& Out) {
  TStream* s = C.Stream;
  Word g = 0, e = 0;
  Cardinal len = 0;
  if (!Read16(s, g) || !Read16(s, e) || g != 0xFFFE || e != 0xE000 || !Read32(s, len)) {
    Fail(C, "the encapsulated pixel data does not start with its offset table item");
    return false;
  }
  Int64 remaining = C.StreamSize - s->Position();
  if (len > remaining) {
    Fail(C, "the offset table of the pixel data claims " + std::to_string(len) + " bytes where " +
                std::to_string(remaining) + " remain");
    return false;
  }
  // Only the offsets of the frames the file has count; a longer table is passed over.
  const Cardinal entries = std::min<Cardinal>(len / 4, static_cast<Cardinal>(C.Frames));
  std::vector<Cardinal> offsets(entries);
  for (Cardinal i = 0; i < entries; ++i)
    if (!Read32(s, offsets[i])) {
      Fail(C, "the offset table of the pixel data is cut short");
      return false;
    }
  s->SetPosition(s->Position() + (len - Int64(entries) * 4));
  const Int64 first = s->Position();

  struct TFragment {
    Int64 Start, Length, Offset;
  };
  std::vector<TFragment> fragments;
  while (true) {
    const Int64 at = s->Position();
    if (!Read16(s, g) || !Read16(s, e) || !Read32(s, len)) break;  // a missing delimiter is tolerated
    if (g == 0xFFFE && e == 0xE0DD) break;
    if (g != 0xFFFE || e != 0xE000) {
      Fail(C, "the pixel data holds an element (" + IntToHex(g, 4) + "," + IntToHex(e, 4) + ") where a fragment must be");
      return false;
    }
    remaining = C.StreamSize - s->Position();
    if (len > remaining) {
      Fail(C, "a fragment of the pixel data claims " + std::to_string(len) + " bytes where " + std::to_string(remaining) +
                  " remain");
      return false;
    }
    if (fragments.size() >= kMaxFragments) {
      Fail(C, "the pixel data has more than " + std::to_string(kMaxFragments) + " fragments");
      return false;
    }
    fragments.push_back({s->Position(), Int64(len), at - first});
    s->SetPosition(s->Position() + len);
  }
  if (fragments.empty()) {
    Fail(C, "the encapsulated pixel data has no fragments");
    return false;
  }
  const Integer index = std::clamp(C.Params->ImageIndex, 0, C.Frames - 1);
  size_t from = 0, to = fragments.size();
  if (entries > 0) {
    const Integer k = std::min<Integer>(index, static_cast<Integer>(entries) - 1);
    C.Frame = k;
    const Int64 start = offsets[static_cast<size_t>(k)];
    const Int64 end = k + 1 < static_cast<Integer>(entries) ? Int64(offsets[static_cast<size_t>(k) + 1]) : INT64_MAX;
    from = fragments.size();
    for (size_t i = 0; i < fragments.size(); ++i)
      if (fragments[i].Offset == start) {
        from = i;
        break;
      }
    if (from == fragments.size()) {
      Fail(C, "the offset table points frame " + std::to_string(k + 1) + " at byte " + std::to_string(start) +
                  ", where no fragment starts");
      return false;
    }
    to = from + 1;
    while (to < fragments.size() && fragments[to].Offset < end) ++to;
  } else if (C.Frames > 1) {
    // Without offsets the frames can be told apart only when each has one fragment.
    if (fragments.size() != static_cast<size_t>(C.Frames)) {
      if (index > 0) {
        Fail(C, "the pixel data has " + std::to_string(fragments.size()) + " fragments for " + std::to_string(C.Frames) +
                    " frames and no offset table to tell where frame " + std::to_string(index + 1) + " starts");
        return false;
      }
      to = 1;
    } else {
      from = static_cast<size_t>(index);
      to = from + 1;
    }
    C.Frame = static_cast<Integer>(from);
  }
  Int64 total = 0;
  for (size_t i = from; i < to; ++i) total += fragments[i].Length;
  Out.Resize(static_cast<size_t>(total));
  Int64 put = 0;
  for (size_t i = from; i < to; ++i) {
    s->SetPosition(fragments[i].Start);
    if (!IEReadFully(s, Out.data() + put, fragments[i].Length)) {
      Fail(C, "the pixel data ends inside a fragment");
      return false;
    }
    put += fragments[i].Length;
  }
  return true;
}

TIEPixelFormat Allocate(TDICOMContext& C, TIEPixelFormat Format) {
  return IEAllocateImage(*C.Progress, C.Bitmap, C.Columns, C.Rows, Format);
}

void DecodeLossless(TDICOMContext& C, TFrameData& Data) {
  const bool grey = C.SamplesPerPixel == 1, rgb = C.SamplesPerPixel == 3 && C.BitsStored <= 8;
  if (!grey && !rgb) return Fail(C, "lossless JPEG pixel data of " + SizeText(C) + " is not supported");
  const bool wide = C.BitsStored > 8;
  const TIEPixelFormat format = rgb ? ie24RGB : wide ? ie16g : ie8g;
  // At least one bit a sample: a smaller datastream cannot hold the image.
  if (!IECheckImageSize(*C.Progress, C.Columns, C.Rows, IEPixelFormatBits[format])) return;
  if (!IECheckInputHolds(*C.Progress, "the lossless JPEG pixel data", C.Columns, C.Rows,
                         (Int64(C.Columns) * C.Rows * C.SamplesPerPixel + 7) / 8, Int64(Data.size())))
    return;
  if (Allocate(C, format) == ieNull) return;
  TIELosslessJPEGFrame frame;
  frame.Width = C.Columns;
  frame.Height = C.Rows;
  frame.Components = C.SamplesPerPixel;
  frame.Wide = wide;
  TIEBitmap* b = C.Bitmap;
  const size_t rowBytes = static_cast<size_t>(C.Columns) * (wide ? 2 : 1) * C.SamplesPerPixel;
  AnsiString reason;
  bool truncated = false;
  const bool ok = DecodeLosslessJPEG(
      Data.data(), Int64(Data.size()), frame,
      [&](Integer y, const Word* Row16, const Byte* Row8) {
        Byte* d = static_cast<Byte*>(b->GetScanline(y));
        if (rgb) {
          for (Integer x = 0; x < C.Columns; ++x, d += 3, Row8 += 3) {
            d[0] = Row8[2];
            d[1] = Row8[1];
            d[2] = Row8[0];
          }
        } else {
          std::memcpy(d, wide ? static_cast<const void*>(Row16) : static_cast<const void*>(Row8), rowBytes);
        }
        return !IEAborting(*C.Progress);
      },
      reason, &truncated);
  if (!ok) {
    b->FreeImage(true);
    return Fail(C, reason);
  }
  if (grey) Finish(C, wide);
  if (truncated) Fail(C, reason);
}

void DecodeBaseline(TDICOMContext& C, TFrameData& Data) {
  TMemoryStream m;
  if (!Data.empty()) m.WriteBuffer(Data.data(), Int64(Data.size()));
  m.SetPosition(0);
  TIOParamsVals params(nullptr);
  TIECodecProgress progress;
  progress.Aborting = C.Progress->Aborting;
  progress.FailureReason = C.Progress->FailureReason;
  ReadJPEGStream(&m, nullptr, C.Bitmap, params, progress, false, false, false, false, true, true, -1, true);
  if (IEAborting(*C.Progress) || C.Bitmap->GetWidth() == 0) {
    if (!IEAborting(*C.Progress)) Fail(C, "the JPEG pixel data holds no image");
    return;
  }
  if (C.SamplesPerPixel == 1 && C.Bitmap->GetPixelFormat() == ie8g) Finish(C, false);
}

}  // namespace

namespace {

void DecodeRLE(TDICOMContext& C, TFrameData& Data) {
  const bool grey8 = C.SamplesPerPixel == 1 && C.BitsAllocated <= 8;
  const bool grey16 = C.SamplesPerPixel == 1 && C.BitsAllocated == 16;
  const bool rgb = C.SamplesPerPixel == 3 && C.BitsAllocated <= 8;
  if (!grey8 && !grey16 && !rgb) return Fail(C, "RLE pixel data of " + SizeText(C) + " is not supported");
  const Integer segments = grey8 ? 1 : grey16 ? 2 : 3;
  const Int64 size = Int64(Data.size());
  if (size < 64) return Fail(C, "the RLE pixel data is shorter than its header");
  const Cardinal count = LE32(Data.data());
  if (count < Cardinal(segments) || count > 15)
    return Fail(C, "the RLE pixel data has " + std::to_string(count) + " segments where " + std::to_string(segments) +
                       " are needed");
  Int64 starts[16];
  for (Cardinal i = 0; i < count; ++i) {
    starts[i] = LE32(Data.data() + 4 + 4 * i);
    if (starts[i] < 64 || starts[i] > size) return Fail(C, "an RLE segment starts outside the pixel data");
  }
  starts[count] = size;
  const Int64 plane = Int64(C.Columns) * C.Rows;
  const TIEPixelFormat format = rgb ? ie24RGB : grey16 ? ie16g : ie8g;
  if (!IECheckImageSize(*C.Progress, C.Columns, C.Rows, IEPixelFormatBits[format])) return;
  // A run of 128 bytes takes two: the densest the coding gets.
  if (!IECheckInputHolds(*C.Progress, "the RLE pixel data", C.Columns, C.Rows, (plane + 127) / 128 * 2 * segments, size))
    return;
  if (Allocate(C, format) == ieNull) return;
  std::vector<Byte> planes(static_cast<size_t>(plane * segments));
  for (Integer k = 0; k < segments; ++k) {
    const Int64 end = std::max(starts[k], std::min(starts[k + 1] > starts[k] ? starts[k + 1] : size, size));
    const Int64 got = Int64(
        IEPackBitsDecode(Data.data() + starts[k], size_t(end - starts[k]), planes.data() + plane * k, size_t(plane))
            .Written);
    if (got < plane)
      Fail(C, "RLE segment " + std::to_string(k + 1) + " ends after " + std::to_string(got) + " of its " +
                  std::to_string(plane) + " bytes");
  }
  const Byte* p0 = planes.data();
  for (Integer y = 0; y < C.Rows; ++y) {
    Byte* d = static_cast<Byte*>(C.Bitmap->GetScanline(y));
    const Int64 at = Int64(y) * C.Columns;
    if (grey8) {
      std::memcpy(d, p0 + at, static_cast<size_t>(C.Columns));
    } else if (grey16) {
      Word* w = reinterpret_cast<Word*>(d);
      for (Integer x = 0; x < C.Columns; ++x) w[x] = static_cast<Word>(p0[at + x] << 8 | p0[plane + at + x]);
    } else {
      for (Integer x = 0; x < C.Columns; ++x, d += 3) {
        d[2] = p0[at + x];
        d[1] = p0[plane + at + x];
        d[0] = p0[2 * plane + at + x];
      }
    }
  }
  Finish(C, grey16);
}

void DecodeNative(TDICOMContext& C) {
  TStream* s = C.Stream;
  const bool grey = C.SamplesPerPixel == 1, rgb = C.SamplesPerPixel == 3;
  const Integer bytes = C.BitsAllocated == 16 ? 2 : C.BitsAllocated == 8 ? 1 : 0;
  if (!(grey && bytes) && !(rgb && bytes == 1)) return Fail(C, "native pixel data of " + SizeText(C) + " is not supported");
  const bool wide = bytes == 2;
  const TIEPixelFormat format = rgb ? ie24RGB : wide ? ie16g : ie8g;
  if (!IECheckImageSize(*C.Progress, C.Columns, C.Rows, IEPixelFormatBits[format])) return;
  const Int64 frameBytes = Int64(C.Columns) * C.Rows * C.SamplesPerPixel * bytes;
  const Integer index = std::clamp(C.Params->ImageIndex, 0, C.Frames - 1);
  C.Frame = index;
  Int64 available = C.StreamSize - s->Position();
  if (C.PixelLength >= 0) available = std::min(available, C.PixelLength);
  // The frames before the one asked for must be there too (a count of billions of frames is a
  // claim like any other, and must not overflow the offset).
  const Int64 before = index > 0 && frameBytes > available / index ? available : frameBytes * index;
  if (!IECheckInputHolds(*C.Progress, "the pixel data of frame " + std::to_string(index + 1), C.Columns, C.Rows,
                         frameBytes, available - before < 0 ? 0 : available - before))
    return;
  const Int64 skip = before;
  if (Allocate(C, format) == ieNull) return;
  s->SetPosition(s->Position() + skip);
  const Integer shift = wide ? 0 : 8 - std::clamp(C.BitsStored, 1, 8);
  const size_t rowBytes = static_cast<size_t>(C.Columns) * C.SamplesPerPixel * bytes;
  std::vector<Byte> line(rgb && C.Planar == 1 ? 0 : rowBytes);
  if (rgb && C.Planar == 1) {
    // Three planes, one after the other: each goes into its channel of every row.
    std::vector<Byte> plane(static_cast<size_t>(C.Columns));
    for (Integer c = 0; c < 3; ++c)
      for (Integer y = 0; y < C.Rows; ++y) {
        if (!IEReadFully(s, plane.data(), C.Columns)) return Fail(C, "the pixel data ends early");
        Byte* d = static_cast<Byte*>(C.Bitmap->GetScanline(y));
        for (Integer x = 0; x < C.Columns; ++x) d[3 * x + 2 - c] = static_cast<Byte>(plane[static_cast<size_t>(x)] << shift);
      }
    return;
  }
  for (Integer y = 0; y < C.Rows; ++y) {
    if (!IEReadFully(s, line.data(), Int64(rowBytes))) return Fail(C, "the pixel data ends early");
    Byte* d = static_cast<Byte*>(C.Bitmap->GetScanline(y));
    if (wide) {
      Word* w = reinterpret_cast<Word*>(d);
      for (Integer x = 0; x < C.Columns; ++x) {
        const Word v = static_cast<Word>(line[2 * x] | line[2 * x + 1] << 8);
        w[x] = C.Little ? v : Swap16(v);
      }
    } else if (rgb) {
      for (Integer x = 0; x < C.Columns; ++x, d += 3) {
        d[2] = static_cast<Byte>(line[3 * x] << shift);
        d[1] = static_cast<Byte>(line[3 * x + 1] << shift);
        d[0] = static_cast<Byte>(line[3 * x + 2] << shift);
      }
    } else {
      for (Integer x = 0; x < C.Columns; ++x) d[x] = static_cast<Byte>(line[static_cast<size_t>(x)] << shift);
    }
  }
  if (wide) Finish(C, true);
  else if (grey) DICOMInvertMonochrome8(C);
}

void DecodeDICOMPixels(TDICOMContext& C) {
  if (C.Columns < 1 || C.Rows < 1) return Fail(C, "the DICOM image has no size: " + SizeText(C));
  if (C.BitsStored > C.BitsAllocated && C.BitsAllocated > 0)
    return Fail(C, "the DICOM image stores " + std::to_string(C.BitsStored) + " bits in " +
                       std::to_string(C.BitsAllocated));
  const AnsiString& ts = C.TransferSyntax;
  const bool encapsulated = ts == kBaseline || ts == kLossless || ts == kLosslessAny || ts == kRLE;
  if (!encapsulated) {
    if (!ts.empty() && ts != kExplicitLittle && ts != kImplicitLittle && ts != kExplicitBig)
      return Fail(C, "the DICOM transfer syntax " + ts + " is not supported");
    return DecodeNative(C);
  }
  if (C.PixelLength >= 0) return Fail(C, "the compressed pixel data of the DICOM file is not encapsulated");
  TFrameData data;
  if (!ReadFrameFragments(C, data)) return;
  if (ts == kRLE) return DecodeRLE(C, data);
  if (ts == kBaseline) return DecodeBaseline(C, data);
  DecodeLossless(C, data);
}

void ReadBody(TDICOMContext& C, bool Preview) {
  TStream* s = C.Stream;
  TIOParamsVals& P = *C.Params;
  const Int64 start = s->Position();
  Byte magic[4] = {0, 0, 0, 0};
  s->SetPosition(start + 128);
  if (s->Read(magic, 4) != 4 || std::memcmp(magic, "DICM", 4) != 0) s->SetPosition(start);
  Integer elements = 0;
  while (s->Position() < C.StreamSize) {
    Word group = 0, element = 0;
    if (!Read16(s, group) || !Read16(s, element)) break;
    if (group != 2 && !C.Little) {
      group = Swap16(group);
      element = Swap16(element);
    }
    if (++elements > kMaxElements)
      return Fail(C, "the DICOM data set has more than " + std::to_string(kMaxElements) + " elements");
    const bool swap = group != 2 && !C.Little;
    AnsiString vr = DICOMDictionaryVR(group, element);
    Byte e[2];
    if (s->Read(e, 2) != 2) break;
    Cardinal length = 0;
    const bool explicitVR = group == 2 || (e[0] >= 'A' && e[0] <= 'Z' && e[1] >= 'A' && e[1] <= 'Z');
    bool ok = true;
    if (explicitVR) {
      const AnsiString given(reinterpret_cast<const char*>(e), 2);
      if (vr == "xs") vr = given;
      if (vr == "!!") {
        s->SetPosition(s->Position() - 2);
        ok = Read32(s, length);
        if (swap) length = Swap32(length);
      } else if (given == "OB" || given == "UN" || given == "OW" || given == "SQ" || given == "OF" ||
                 given == "UT" || given == "OD" || given == "OL" || given == "UC" || given == "UR" ||
                 given == "OV" || given == "SV" || given == "UV") {
        Word reserved;
        ok = Read16(s, reserved) && Read32(s, length);
        if (swap) length = Swap32(length);
      } else {
        Word l16 = 0;
        ok = Read16(s, l16);
        if (swap) l16 = Swap16(l16);
        length = l16;
      }
    } else {
      s->SetPosition(s->Position() - 2);
      ok = Read32(s, length);
      if (swap) length = Swap32(length);
    }
    if (!ok) break;
    const bool undefined = length == 0xFFFFFFFF;
    Integer size = 1;
    if (vr == "SS" || vr == "US") size = 2;
    else if (vr == "UL" || vr == "SL" || vr == "FL") size = 4;
    else if (vr == "FD") size = 8;
    const Integer count = undefined ? 0 : length == 0 ? 1 : static_cast<Integer>(length / Cardinal(size));

    if (group == 0x7FE0 && element == 0x0010) {
      P.BitsPerSample = C.BitsStored;
      P.SamplesPerPixel = C.SamplesPerPixel;
      P.Width = P.OriginalWidth = C.Columns;
      P.Height = P.OriginalHeight = C.Rows;
      P.SetImageCount(C.Frames);
      C.PixelLength = undefined ? -1 : Int64(length);
      if (!Preview) {
        DecodeDICOMPixels(C);
        if (!IEAborting(*C.Progress) || C.Bitmap->GetWidth() > 0) P.SetImageIndex(C.Frame);
      }
      return;
    }

    const Int64 remaining = C.StreamSize - s->Position();
    Byte* buffer = nullptr;
    Cardinal number = 0;
    if (!undefined && length > 0 && Int64(length) <= remaining) {
      buffer = static_cast<Byte*>(std::malloc(size_t(length) + 1));
      if (!buffer) throw std::bad_alloc();
      if (!IEReadFully(s, buffer, length)) {
        std::free(buffer);
        break;
      }
      buffer[length] = 0;
      if (size_t(size) * size_t(count) <= length) buffer[size_t(size) * size_t(count)] = 0;
      if (count == 1 && size == 1) number = buffer[0];
      if (count == 1 && size == 2) {
        const Word w = static_cast<Word>(buffer[0] | buffer[1] << 8);
        number = swap ? Swap16(w) : w;
      }
      if (count == 1 && size == 4) number = swap ? Swap32(LE32(buffer)) : LE32(buffer);
    }
    const Integer dataLength = buffer ? static_cast<Integer>(length) : undefined ? -1 : 0;
    P.DicomTags->AddTag(group, element, vr, buffer, dataLength);
    if (!buffer) continue;
    const Integer n = ClampedNumber(number);
    if (group == 2 && element == 0x0010) {
      C.TransferSyntax = Trim(Text(buffer, dataLength));
      if (C.TransferSyntax == kExplicitBig) C.Little = false;
      // The data set after a deflated meta group is one zlib stream: no element can be read from it.
      if (C.TransferSyntax == kDeflated) return Fail(C, "the DICOM transfer syntax " + C.TransferSyntax + " (deflated) is not supported");
    } else if (group == 0x0028) {
      switch (element) {
        case 0x0002: C.SamplesPerPixel = n; break;
        case 0x0004: C.Photometric = Text(buffer, dataLength); break;
        case 0x0006: C.Planar = n; break;
        case 0x0008: {
          const Integer f = StrToIntDef(Trim(Text(buffer, dataLength)), 1);
          C.Frames = f < 1 ? 1 : f;
          break;
        }
        case 0x0010: C.Rows = n; break;
        case 0x0011: C.Columns = n; break;
        case 0x0100:
          C.BitsAllocated = n;
          if (C.BitsStored == 0) C.BitsStored = n;
          break;
        case 0x0101:
          C.BitsStored = n;
          if (C.BitsAllocated == 0) C.BitsAllocated = n;
          break;
        case 0x0103: C.PixelRepresentation = n; break;
        case 0x1050:
          C.WindowCentre = FirstNumber(buffer, dataLength, -1);
          if (C.WindowCentre == 0) C.WindowCentre = -1;
          break;
        case 0x1051: C.WindowWidth = FirstNumber(buffer, dataLength, -1); break;
        case 0x1052: C.Intercept = FirstNumber(buffer, dataLength, -1); break;
        // A slope the text does not give leaves the samples as they are, not mirrored.
        case 0x1053: C.Slope = FirstNumber(buffer, dataLength, 1); break;
        default: break;
      }
    }
  }
  Fail(C, "the DICOM file has no pixel data");
}

}  // namespace

const char* DICOMDictionaryVR(Word Group, Word Element) {
  const Cardinal key = Cardinal(Group) << 16 | Element;
  const auto* end = std::end(DICOMDictionary);
  const auto* it = std::lower_bound(std::begin(DICOMDictionary), end, key, [](const TDictionaryRow& R, Cardinal K) {
    return (Cardinal(R.Group) << 16 | R.Element) < K;
  });
  return it != end && it->Group == Group && it->Element == Element ? it->VR : "xs";
}

bool IsDICOM(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    Byte magic[4] = {0, 0, 0, 0};
    bool found = false;
    if (Stream->Size() - pos >= 132) {
      Stream->SetPosition(pos + 128);
      found = Stream->Read(magic, 4) == 4 && std::memcmp(magic, "DICM", 4) == 0;
    }
    Stream->SetPosition(pos);
    return found;
  } catch (...) {
    return false;
  }
}

void ReadDICOMStream(TStream* Stream, TIOParamsVals& IOParams, TIEBitmap* Bitmap, TIECodecProgress& Progress,
                     bool Preview) {
  // The framework bitmap holds no 16-bit grey: decode beside it and hand it the result in colour.
  std::unique_ptr<TIEBitmap> work;
  if (Bitmap->Location == ieTBitmap) {
    work = std::make_unique<TIEBitmap>();
    work->Location = ieMemory;
  }
  try {
    TIEBufferedReadStream buffered(Stream, 8192, IEBufferedReadRelative);
    TDICOMContext c;
    c.Params = &IOParams;
    c.Bitmap = work ? work.get() : Bitmap;
    c.Progress = &Progress;
    c.Stream = &buffered;
    c.StreamSize = buffered.Size();
    ReadBody(c, Preview);
    IOParams.SetImageCount(c.Frames);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the DICOM file");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the DICOM file cannot be read") : e.Message);
  }
  if (work && work->GetWidth() > 0) {
    if (work->GetPixelFormat() != ie1g) work->SetPixelFormat(ie24RGB);
    Bitmap->Assign(work.get());
  }
}
