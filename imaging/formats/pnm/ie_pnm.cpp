#include "imaging/formats/pnm/ie_pnm.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/formats/ie_color_convert.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"

namespace {

bool IsWordByte(Byte B) { return (B >= 'a' && B <= 'z') || (B >= 'A' && B <= 'Z') || (B >= '0' && B <= '9'); }

// The anymap's bytes through a buffer, with the header's words and comments as tokens.
class TPnmInput : public TIEBufferedInput {
 public:
  explicit TPnmInput(TStream* S) : TIEBufferedInput(S, 65536) {}
  void Token(AnsiString& T) {
    T.clear();
    Byte b;
    while (Get(b)) {
      if (b == '#') {
        AnsiString text;
        while (Get(b) && b != '\n' && b != '\r') text += static_cast<char>(b);
        T = "#" + Trim(text);
        return;
      }
      if (IsWordByte(b)) {
        T += static_cast<char>(b);
        while (Get(b) && IsWordByte(b)) T += static_cast<char>(b);
        return;
      }
    }
  }
};

// A decimal token, -1 when it is not one (or too large to be a size or a sample).
Int64 Number(const AnsiString& T) {
  if (T.empty() || T.size() > 10) return -1;
  Int64 v = 0;
  for (char c : T) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, bool Preview) {
  TPnmInput in(Stream);
  if (P.PxmComments) P.PxmComments->Clear();
  AnsiString t, magic;
  Int64 values[3] = {-1, -1, -1};
  Integer have = 0, need = 3;
  while (true) {
    in.Token(t);
    if (t.empty()) break;
    if (t[0] == '#') {
      if (P.PxmComments) P.PxmComments->Add(t.substr(1));
      continue;
    }
    if (magic.empty()) {
      magic = t;
      if (magic == "P1" || magic == "P4") need = 2;
      if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6')
        return IEFail(Progress, "not a portable anymap: it starts with \"" + magic.substr(0, 8) + "\"");
      continue;
    }
    values[have++] = Number(t);
    if (have == need) break;
  }
  if (magic.empty()) return IEFail(Progress, "not a portable anymap: no header");
  const Int64 width = values[0], height = values[1];
  const Int64 maxval = need == 2 ? 1 : values[2];
  if (width < 1 || height < 1) return IEFail(Progress, "the anymap header gives no usable width and height");
  if (maxval < 1 || maxval > 65535) return IEFail(Progress, "the anymap's maximum value " + std::to_string(maxval) + " is outside 1..65535");

  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  const Integer w = static_cast<Integer>(std::min<Int64>(width, INT_MAX)), h = static_cast<Integer>(std::min<Int64>(height, INT_MAX));
  P.Width = P.OriginalWidth = w;
  P.Height = P.OriginalHeight = h;
  P.SetDpiX(IEGlobalDefaultDpiX);
  P.SetDpiY(IEGlobalDefaultDpiY);
  const char kind = magic[1];
  const bool wide = maxval > 255;
  const bool mono = kind == '1' || kind == '4';
  const bool colour = kind == '3' || kind == '6';
  P.BitsPerSample = mono ? 1 : wide ? 16 : 8;
  P.SamplesPerPixel = colour ? 3 : 1;
  if (Preview) return;

  const bool rgb48 = colour && wide && P.NativePixelFormat;
  const TIEPixelFormat format = mono ? ie1g : rgb48 ? ieRGB48 : ie24RGB;
  if (!IECheckImageSize(Progress, width, height, rgb48 ? 48 : 24)) return;
  const Int64 samplesInAll = width * height * (colour ? 3 : 1);
  // The densest each kind can be: packed bits; one byte or two a sample; a digit a pixel (plain
  // bitmaps need no space between them); a digit a sample and a space between samples.
  Int64 needed = 0;
  switch (kind) {
    case '4': needed = (width + 7) / 8 * height; break;
    case '5':
    case '6': needed = samplesInAll * (wide ? 2 : 1); break;
    case '1': needed = width * height; break;
    default: needed = samplesInAll * 2 - 1; break;
  }
  const Int64 remaining = IEStreamRemaining(Stream);
  if (!IECheckInputHolds(Progress, "the anymap's pixel data", width, height, needed,
                         remaining < 0 ? -1 : remaining + Int64(in.Buffered())))
    return;
  if (IEAllocateImage(Progress, Bitmap, width, height, format) == ieNull) return;
  TIERowStepper step(Progress, h);
  // Samples above the maximum value count as the maximum. One table lookup a sample: a 4000 x
  // 3000 pixmap has 36 million of them.
  std::vector<Byte> table(65536);
  for (Int64 v = 0; v < 65536; ++v) table[v] = static_cast<Byte>(std::min<Int64>(v, maxval) * 255 / maxval);
  auto scale = [&](Int64 v) -> Byte { return table[static_cast<size_t>(std::clamp<Int64>(v, 0, 65535))]; };
  const Integer sampleBytes = wide ? 2 : 1;
  const Integer samples = colour ? 3 : 1;
  std::vector<Byte> line(static_cast<size_t>(w) * samples * sampleBytes);
  auto truncated = [&](Integer y) {
    IEFail(Progress, "the anymap ends after " + std::to_string(y) + " of its " + std::to_string(h) + " rows");
  };

  for (Integer y = 0; y < h; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    TRGB* px = reinterpret_cast<TRGB*>(row);
    switch (kind) {
      case '1': {
        Integer x = 0;
        Byte b;
        while (x < w && in.Get(b)) {
          if (b == '0' || b == '1') IESetBit(row, x++, b == '0');
          else if (b == '#') while (in.Get(b) && b != '\n' && b != '\r') {}
        }
        if (x < w) return truncated(y);
        break;
      }
      case '2':
      case '3':
        for (Integer x = 0; x < w; ++x) {
          Byte c[3];
          for (Integer s = 0; s < samples; ++s) {
            do in.Token(t); while (!t.empty() && t[0] == '#');
            if (t.empty()) return truncated(y);
            const Int64 v = Number(t);
            c[s] = scale(v < 0 ? 0 : v);
          }
          px[x] = colour ? IECreateRGB(c[0], c[1], c[2]) : IECreateRGB(c[0], c[0], c[0]);
        }
        break;
      case '4': {
        const size_t bytes = (static_cast<size_t>(w) + 7) / 8;
        if (!in.Read(row, bytes)) return truncated(y);
        // PBM's 1 is black; the buffer's 1 is white.
        IEInvertBuffer(row, static_cast<Integer>(bytes));
        break;
      }
      default: {  // 5, 6
        if (colour && maxval == 255) {
          // The common pixmap: the samples go straight into the row and are turned round there.
          if (!in.Read(row, line.size())) return truncated(y);
          IECopySwapRB(row, row, w);
          break;
        }
        if (!in.Read(line.data(), line.size())) return truncated(y);
        const Byte* s = line.data();
        auto sample = [&](Integer i) -> Int64 { return wide ? Int64(s[2 * i]) << 8 | s[2 * i + 1] : s[i]; };
        if (rgb48) {
          Word* d = reinterpret_cast<Word*>(row);
          for (Integer i = 0; i < w * 3; ++i)
            d[i] = static_cast<Word>(std::min<Int64>(sample(i), maxval) * 65535 / maxval);
        } else if (colour && !wide) {
          const Byte* t = table.data();
          for (Integer x = 0; x < w; ++x, s += 3) px[x] = TRGB{t[s[2]], t[s[1]], t[s[0]]};
        } else if (colour) {
          for (Integer x = 0; x < w; ++x) px[x] = IECreateRGB(scale(sample(3 * x)), scale(sample(3 * x + 1)), scale(sample(3 * x + 2)));
        } else if (!wide) {
          const Byte* t = table.data();
          for (Integer x = 0; x < w; ++x) {
            const Byte v = t[s[x]];
            px[x] = TRGB{v, v, v};
          }
        } else {
          for (Integer x = 0; x < w; ++x) {
            const Byte v = scale(sample(x));
            px[x] = IECreateRGB(v, v, v);
          }
        }
        break;
      }
    }
    if (!step.Next()) return;
  }
}

}  // namespace

void PXMReadToken(TStream* Stream, AnsiString& Token) {
  Token.clear();
  Byte b;
  auto get = [&] { return Stream->Read(&b, 1) == 1; };
  while (get()) {
    if (b == '#') {
      AnsiString text;
      while (get() && b != '\n' && b != '\r') text += static_cast<char>(b);
      Token = "#" + Trim(text);
      return;
    }
    if (IsWordByte(b)) {
      Token += static_cast<char>(b);
      while (get() && IsWordByte(b)) Token += static_cast<char>(b);
      return;
    }
  }
}

bool IsPXM(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    AnsiString t, magic;
    Int64 width = -1, height = -1;
    Integer stage = 0;
    for (Integer n = 0; n < 501; ++n) {
      PXMReadToken(Stream, t);
      if (t.empty()) break;
      if (t[0] == '#') continue;
      if (stage == 0) {
        magic = t;
        if (magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') break;
        stage = 1;
      } else if (stage == 1) {
        width = Number(t);
        if (width != 0) stage = 2;
      } else if (stage == 2) {
        height = Number(t);
        break;
      }
    }
    Stream->SetPosition(pos);
    return width > 0 && height > 0;
  } catch (...) {
    return false;
  }
}

void ReadPXMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview) {
  try {
    ReadBody(Stream, Bitmap, IOParams, Progress, Preview);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the anymap");
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the anymap cannot be read") : e.Message);
  }
}

void WritePXMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as an anymap");
  AnsiString comments;
  if (IOParams.PxmComments)
    for (Integer i = 0; i < IOParams.PxmComments->Count(); ++i) comments += "\n# " + IOParams.PxmComments->Strings(i) + "\n";
  const TIEPixelFormat f = Bitmap->GetPixelFormat();
  enum { kP4, kP5, kP6x16, kP6rgb48, kP6 } kind;
  if ((IOParams.BitsPerSample == 1 && IOParams.SamplesPerPixel == 1) || f == ie1g) kind = kP4;
  else if (IOParams.BitsPerSample == 8 && IOParams.SamplesPerPixel == 1) kind = kP5;
  else if (f == ieRGB48) kind = kP6rgb48;
  else if (IOParams.BitsPerSample == 16 && IOParams.SamplesPerPixel == 3) kind = kP6x16;
  else kind = kP6;

  // Each kind reads one row layout: other formats are converted first.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  const TIEPixelFormat wanted = kind == kP4 ? ie1g : kind == kP6rgb48 ? ieRGB48 : (kind == kP5 && f == ie8g) ? ie8g : ie24RGB;
  if (f != wanted) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(wanted);
    src = copy.get();
  }
  const char* magic = kind == kP4 ? "P4 " : kind == kP5 ? "P5 " : "P6 ";
  AnsiString header = magic + comments + std::to_string(w) + " " + std::to_string(h);
  if (kind == kP5 || kind == kP6) header += " 255";
  if (kind == kP6x16 || kind == kP6rgb48) header += " 65535";
  header += "\n";
  bool aborting = IEAborting(Progress);
  IESafeStreamWrite(Stream, aborting, header.data(), static_cast<Integer>(header.size()));
  TIERowStepper step(Progress, h);
  const size_t rowBytes = kind == kP4 ? (size_t(w) + 7) / 8 : kind == kP5 ? size_t(w) : kind == kP6 ? size_t(w) * 3 : size_t(w) * 6;
  // Rows go out a quarter of a megabyte or so at a time: a write call per row of a large image
  // costs more than converting the row, and a larger buffer only adds fresh pages to fault in
  // and falls out of the cache before it is written.
  const size_t rowsPerWrite = std::max<size_t>(1, (size_t(256) << 10) / std::max<size_t>(rowBytes, 1));
  std::vector<Byte> chunk(rowBytes * std::min<size_t>(rowsPerWrite, size_t(h)));
  size_t held = 0;
  auto flush = [&] {
    IESafeStreamWrite(Stream, aborting, chunk.data(), static_cast<Integer>(held));
    held = 0;
  };
  for (Integer y = 0; y < h && !aborting; ++y) {
    const Byte* row = static_cast<const Byte*>(src->GetScanline(y));
    const TRGB* px = reinterpret_cast<const TRGB*>(row);
    Byte* const out = chunk.data() + held;
    switch (kind) {
      case kP4:
        for (size_t k = 0; k < rowBytes; ++k) out[k] = static_cast<Byte>(~row[k]);
        if (w % 8) out[rowBytes - 1] &= static_cast<Byte>(0xFF << (8 - w % 8));
        break;
      case kP5:
        if (src->GetPixelFormat() == ie8g) std::memcpy(out, row, rowBytes);
        else IEConvertColorFunction(const_cast<Byte*>(row), iecBGR, out, iecGray, w, &IOParams);
        break;
      case kP6x16:
        for (Integer x = 0; x < w; ++x) {
          const Byte c[3] = {px[x].r, px[x].g, px[x].b};
          for (Integer s = 0; s < 3; ++s) out[6 * x + 2 * s] = out[6 * x + 2 * s + 1] = c[s];
        }
        break;
      case kP6rgb48: {
        const Word* s = reinterpret_cast<const Word*>(row);
        for (Integer i = 0; i < w * 3; ++i) {
          out[2 * i] = static_cast<Byte>(s[i] >> 8);
          out[2 * i + 1] = static_cast<Byte>(s[i]);
        }
        break;
      }
      case kP6:
        IECopySwapRB(row, out, w);
        break;
    }
    held += rowBytes;
    if (held + rowBytes > chunk.size() || y == h - 1) flush();
    if (!step.Next()) {
      flush();
      break;
    }
  }
  if (aborting && !IEAborting(Progress)) IEFail(Progress, "the anymap could not be written completely (disk full?)");
}
