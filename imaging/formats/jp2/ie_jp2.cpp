#include "imaging/formats/jp2/ie_jp2.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/formats/jp2/ie_openjpeg_glue.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"

namespace {

// A colour image has three components and may carry opacity; more than that is refused.
constexpr OPJ_UINT32 kMaxComponents = 11;

struct TCodecHandle {
  opj_codec_t* C = nullptr;
  explicit TCodecHandle(opj_codec_t* Codec) : C(Codec) {
    if (!C) throw EOutOfMemory("Out of memory");
  }
  ~TCodecHandle() { opj_destroy_codec(C); }
  TCodecHandle(const TCodecHandle&) = delete;
  TCodecHandle& operator=(const TCodecHandle&) = delete;
};

struct TImageHandle {
  opj_image_t* I = nullptr;
  ~TImageHandle() {
    if (I) opj_image_destroy(I);
  }
};

// The chroma tables of the YCbCr conversion, made once: the offsets each chroma sample adds to
// red, green and blue, so that no pixel needs floating point.
struct TYCbCrTables {
  Integer CrToRed[256], CbToBlue[256], CrToGreen[256], CbToGreen[256];
  TYCbCrTables() {
    const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
    const float crR = 2 - 2 * kr, cbB = 2 - 2 * kb;
    const float crG = kr * crR / kg, cbG = kb * cbB / kg;
    for (Integer s = 0; s < 256; ++s) {
      const float d = static_cast<float>(s - 128);
      CrToRed[s] = static_cast<Integer>(RoundHalfEven(d * crR));
      CbToBlue[s] = static_cast<Integer>(RoundHalfEven(d * cbB));
      CrToGreen[s] = -static_cast<Integer>(RoundHalfEven(d * crG));
      CbToGreen[s] = -static_cast<Integer>(RoundHalfEven(d * cbG));
    }
  }
};

const TYCbCrTables& YCbCr() {
  static const TYCbCrTables tables;
  return tables;
}

enum class TModel { Grey, RGB, YCbCr };

// Where each row and column of the image takes its sample from in one component: the identity
// for full-size components, a repeated index for sub-sampled ones.
struct TPlane {
  const OPJ_INT32* Data = nullptr;
  Integer Width = 0;
  bool Full = false;  // same size and origin as the image: no maps needed
  std::vector<Integer> Rows, Cols;
  Integer Shift = 0;       // right shift (precision above 8) ...
  Integer LeftShift = 0;   // ... or left shift (below 8) to 8 bits
  OPJ_INT32 Offset = 0;    // signed samples are moved to 0 .. 2^precision - 1
  OPJ_INT32 Max = 255;     // the precision's largest value
  Byte At(Integer X, Integer Y) const {
    const OPJ_INT32 s = Full ? Data[static_cast<size_t>(Y) * Width + X]
                             : Data[static_cast<size_t>(Rows[Y]) * Width + Cols[X]];
    const OPJ_INT32 v = std::clamp<OPJ_INT32>(s + Offset, 0, Max);
    return static_cast<Byte>(LeftShift ? v << LeftShift : v >> Shift);
  }
};

bool MakePlane(const opj_image_t& Image, OPJ_UINT32 Index, Integer Width, Integer Height, TPlane& Plane) {
  const opj_image_comp_t& c = Image.comps[Index];
  if (!c.data || c.w == 0 || c.h == 0 || c.dx == 0 || c.dy == 0 || c.prec < 1 || c.prec > 31) return false;
  Plane.Data = c.data;
  Plane.Width = static_cast<Integer>(c.w);
  Plane.Max = static_cast<OPJ_INT32>((Int64(1) << c.prec) - 1);
  Plane.Offset = c.sgnd ? static_cast<OPJ_INT32>(Int64(1) << (c.prec - 1)) : 0;
  Plane.Shift = c.prec > 8 ? static_cast<Integer>(c.prec - 8) : 0;
  Plane.LeftShift = c.prec < 8 ? static_cast<Integer>(8 - c.prec) : 0;
  Plane.Full = c.dx == 1 && c.dy == 1 && c.x0 == Image.x0 && c.y0 == Image.y0 && Int64(c.w) == Width && Int64(c.h) == Height;
  if (Plane.Full) return true;
  // The sample covering image position p lies at p div step on the component's own grid, which
  // starts at the component's origin; positions outside it take the first sample.
  auto map = [](std::vector<Integer>& Map, Integer Count, OPJ_UINT32 Origin, OPJ_UINT32 Step, OPJ_UINT32 CompOrigin,
                OPJ_UINT32 Size) {
    Map.resize(static_cast<size_t>(Count));
    for (Integer i = 0; i < Count; ++i) {
      const Int64 v = (Int64(Origin) + i) / Step - CompOrigin;
      Map[static_cast<size_t>(i)] = v < 0 || v >= Int64(Size) ? 0 : static_cast<Integer>(v);
    }
  };
  map(Plane.Rows, Height, Image.y0, c.dy, c.y0, c.h);
  map(Plane.Cols, Width, Image.x0, c.dx, c.x0, c.w);
  return true;
}

// The components to read: the colour ones in order, and the opacity one (-1 when none).
struct TChoice {
  TModel Model = TModel::RGB;
  OPJ_UINT32 Colour[3] = {0, 1, 2};
  Integer Colours = 3;
  Integer Alpha = -1;
};

// Answers the reason when the image cannot be shown.
AnsiString Choose(const opj_image_t& Image, TChoice& C) {
  const OPJ_UINT32 n = Image.numcomps;
  switch (Image.color_space) {
    case OPJ_CLRSPC_GRAY: C.Model = TModel::Grey; break;
    case OPJ_CLRSPC_SRGB: C.Model = TModel::RGB; break;
    case OPJ_CLRSPC_SYCC: C.Model = TModel::YCbCr; break;
    case OPJ_CLRSPC_UNSPECIFIED:
    case OPJ_CLRSPC_UNKNOWN:
      // A bare code stream names no colour space: one or two components are grey (with
      // opacity), three or more are colour.
      C.Model = n <= 2 ? TModel::Grey : TModel::RGB;
      break;
    default: return "the JPEG 2000 colour space " + std::to_string(int(Image.color_space)) + " is not supported";
  }
  C.Colours = C.Model == TModel::Grey ? 1 : 3;
  if (n < OPJ_UINT32(C.Colours))
    return "the JPEG 2000 colour image has " + std::to_string(n) + " component(s); three are needed";
  for (OPJ_UINT32 i = 0; i < n; ++i)
    if (Image.comps[i].alpha && i >= OPJ_UINT32(C.Colours)) {
      C.Alpha = static_cast<Integer>(i);
      break;
    }
  // Without a channel definition the component after the colours is taken for opacity.
  if (C.Alpha < 0 && n == OPJ_UINT32(C.Colours) + 1 &&
      (Image.color_space == OPJ_CLRSPC_UNSPECIFIED || Image.color_space == OPJ_CLRSPC_UNKNOWN))
    C.Alpha = C.Colours;
  return "";
}

UInt64 BigEndian(const Byte* P, Integer Bytes) {
  UInt64 v = 0;
  for (Integer i = 0; i < Bytes; ++i) v = v << 8 | P[i];
  return v;
}

// The library sets up every tile the image and tile size segment claims before it reads any of
// them (several kilobytes each), so a few bytes claiming tens of thousands of tiles cost it
// hundreds of megabytes. Each tile needs at least one tile-part header of 14 bytes: the claim
// is checked against the code stream's bytes first. Answers False after IEFail; a header too
// damaged to tell is left for the library to refuse.
bool TilesFit(TStream* Stream, bool Jp2, TIECodecProgress& Progress) {
  const Int64 start = Stream->Position();
  const Int64 end = start + IEStreamRemaining(Stream);
  if (end < start) return true;
  Int64 at = start;
  Byte b[42];
  auto peek = [&](Int64 Pos, Integer Count) {
    if (Pos < start || Pos + Count > end) return false;
    Stream->SetPosition(Pos);
    return IEReadFully(Stream, b, Count);
  };
  if (Jp2) {
    // The code stream is the contents of the first contiguous code stream box.
    bool found = false;
    for (Integer boxes = 0; boxes < 4096 && !found; ++boxes) {
      if (!peek(at, 8)) break;
      Int64 length = Int64(BigEndian(b, 4));
      const bool codeStream = b[4] == 'j' && b[5] == 'p' && b[6] == '2' && b[7] == 'c';
      Int64 header = 8;
      if (length == 1) {
        if (!peek(at + 8, 8) || BigEndian(b, 8) > UInt64(end - at)) break;
        length = Int64(BigEndian(b, 8));
        header = 16;
      } else if (length == 0) {
        length = end - at;
      }
      if (codeStream) {
        at += header;
        found = true;
      } else {
        if (length < header) break;
        at += length;
      }
    }
    if (!found) {
      Stream->SetPosition(start);
      return true;
    }
  }
  const bool read = peek(at, 42);
  Stream->SetPosition(start);
  if (!read || b[0] != 0xFF || b[1] != 0x4F || b[2] != 0xFF || b[3] != 0x51) return true;
  const Int64 xsiz = Int64(BigEndian(b + 8, 4)), ysiz = Int64(BigEndian(b + 12, 4));
  const Int64 xtsiz = Int64(BigEndian(b + 24, 4)), ytsiz = Int64(BigEndian(b + 28, 4));
  const Int64 xtosiz = Int64(BigEndian(b + 32, 4)), ytosiz = Int64(BigEndian(b + 36, 4));
  if (xtsiz == 0 || ytsiz == 0 || xtosiz >= xsiz || ytosiz >= ysiz) return true;
  // Each count is below 2^32, so their product fits 64 bits unsigned (signed it could overflow).
  const UInt64 tiles = UInt64((xsiz - xtosiz + xtsiz - 1) / xtsiz) * UInt64((ysiz - ytosiz + ytsiz - 1) / ytsiz);
  const Int64 bytes = end - at;
  if (tiles <= UInt64(std::max<Int64>(bytes, 0) / 14)) return true;
  IEFail(Progress, "the JPEG 2000 code stream holds " + std::to_string(bytes) + " bytes, too few for its " +
                       std::to_string(tiles) + " tiles (at least 14 bytes each)");
  return false;
}

void ReadBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, bool Preview) {
  const bool jp2 = IsJP2(Stream);
  if (!jp2 && !IsJ2K(Stream))
    return IEFail(Progress, "not a JPEG 2000 file: it starts with neither the JP2 signature nor a code stream header");
  if (!TilesFit(Stream, jp2, Progress)) return;
  TCodecHandle codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  TIEOpenJpegMessages msg;
  IEOpenJpegMessagesTo(codec.C, msg);
  opj_dparameters_t dp;
  opj_set_default_decoder_parameters(&dp);
  TIEOpenJpegStream in(Stream, true);
  IEOpenJpegCheck(opj_setup_decoder(codec.C, &dp), msg, in, "the JPEG 2000 decoder could not be set up");
  // A code stream that ends early fails instead of leaving its missing part grey.
  IEOpenJpegCheck(opj_decoder_set_strict_mode(codec.C, OPJ_TRUE), msg, in);
  TImageHandle image;
  IEOpenJpegCheck(opj_read_header(in.Handle(), codec.C, &image.I), msg, in, "the JPEG 2000 header is not valid");
  if (!image.I) return IEFail(Progress, "the JPEG 2000 header is not valid");
  const opj_image_t& im = *image.I;
  const Int64 width = Int64(im.x1) - im.x0, height = Int64(im.y1) - im.y0;
  if (width <= 0 || height <= 0 || im.numcomps == 0)
    return IEFail(Progress, "the JPEG 2000 header gives no usable width, height and components");
  if (im.numcomps > kMaxComponents)
    return IEFail(Progress, "the JPEG 2000 image has " + std::to_string(im.numcomps) + " components; at most " +
                                std::to_string(kMaxComponents) + " are read");
  for (OPJ_UINT32 i = 0; i < im.numcomps; ++i)
    if (im.comps[i].prec < 1 || im.comps[i].prec > 31)
      return IEFail(Progress, "the JPEG 2000 component " + std::to_string(i) + " has " +
                                  std::to_string(im.comps[i].prec) + " bits a sample");
  TChoice choice;
  const AnsiString refusal = Choose(im, choice);
  if (!refusal.empty()) return IEFail(Progress, refusal);

  std::free(P.ColorMap);
  P.ColorMap = nullptr;
  P.ColorMapCount = 0;
  P.BitsPerSample = static_cast<Integer>(im.comps[choice.Colour[0]].prec);
  P.SamplesPerPixel = choice.Colours;
  P.SetDpiX(IEGlobalDefaultDpiX);
  P.SetDpiY(IEGlobalDefaultDpiY);
  const Integer w = static_cast<Integer>(std::min<Int64>(width, 0x7FFFFFFF));
  const Integer h = static_cast<Integer>(std::min<Int64>(height, 0x7FFFFFFF));
  P.Width = P.OriginalWidth = w;
  P.Height = P.OriginalHeight = h;
  if (Preview) return;

  const bool mono = P.BitsPerSample == 1 && P.SamplesPerPixel == 1;
  if (!IECheckImageSize(Progress, width, height, mono ? 1 : 24)) return;
  // A few bytes of code stream may stand for a huge blank image, and the library decodes every
  // component into 32-bit samples before the first row is ours: bound the samples, not the bytes.
  const long double samples = static_cast<long double>(width) * height * im.numcomps;
  if (samples > static_cast<long double>(IESparseImageMaxPixels))
    return IEFail(Progress, "the JPEG 2000 image of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels in " + std::to_string(im.numcomps) + " component(s) is above the limit of " +
                                std::to_string(IESparseImageMaxPixels) + " decoded samples");

  IEOpenJpegCheck(opj_decode(codec.C, in.Handle(), image.I), msg, in, "the JPEG 2000 data cannot be decoded");
  IEOpenJpegCheck(opj_end_decompress(codec.C, in.Handle()), msg, in, "the JPEG 2000 data cannot be decoded");
  // The channel definition is applied by the decode: choose again from what it left.
  const AnsiString after = Choose(*image.I, choice);
  if (!after.empty()) return IEFail(Progress, after);
  TPlane planes[3], alphaPlane;
  for (Integer i = 0; i < choice.Colours; ++i)
    if (!MakePlane(*image.I, choice.Colour[i], w, h, planes[i]))
      return IEFail(Progress, "the JPEG 2000 data left component " + std::to_string(choice.Colour[i]) + " undecoded");
  const bool withAlpha = choice.Alpha >= 0 && MakePlane(*image.I, OPJ_UINT32(choice.Alpha), w, h, alphaPlane);

  if (IEAllocateImage(Progress, Bitmap, width, height, mono ? ie1g : ie24RGB) == ieNull) return;
  TIEBitmap* alpha = nullptr;
  if (withAlpha) {
    alpha = Bitmap->GetAlphaChannel();
    alpha->Full = false;
  }
  const TYCbCrTables& t = YCbCr();
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (mono) {
      for (Integer x = 0; x < w; ++x) IESetBit(row, x, planes[0].At(x, y) != 0);
    } else if (choice.Model == TModel::Grey) {
      TRGB* px = reinterpret_cast<TRGB*>(row);
      for (Integer x = 0; x < w; ++x) {
        const Byte v = planes[0].At(x, y);
        px[x] = TRGB{v, v, v};
      }
    } else if (choice.Model == TModel::RGB) {
      TRGB* px = reinterpret_cast<TRGB*>(row);
      if (planes[0].Full && planes[1].Full && planes[2].Full && planes[0].Max == 255 && planes[1].Max == 255 &&
          planes[2].Max == 255 && !planes[0].Offset && !planes[1].Offset && !planes[2].Offset) {
        // The common photo: three full-size unsigned 8-bit planes.
        const size_t at = static_cast<size_t>(y) * w;
        const OPJ_INT32 *r = planes[0].Data + at, *g = planes[1].Data + at, *b = planes[2].Data + at;
        for (Integer x = 0; x < w; ++x)
          px[x] = TRGB{static_cast<Byte>(std::clamp<OPJ_INT32>(b[x], 0, 255)),
                       static_cast<Byte>(std::clamp<OPJ_INT32>(g[x], 0, 255)),
                       static_cast<Byte>(std::clamp<OPJ_INT32>(r[x], 0, 255))};
      } else {
        for (Integer x = 0; x < w; ++x) px[x] = TRGB{planes[2].At(x, y), planes[1].At(x, y), planes[0].At(x, y)};
      }
    } else {
      TRGB* px = reinterpret_cast<TRGB*>(row);
      for (Integer x = 0; x < w; ++x) {
        const Integer yy = planes[0].At(x, y), cb = planes[1].At(x, y), cr = planes[2].At(x, y);
        px[x] = TRGB{static_cast<Byte>(IEClamp255(yy + t.CbToBlue[cb])),
                     static_cast<Byte>(IEClamp255(yy + t.CbToGreen[cb] + t.CrToGreen[cr])),
                     static_cast<Byte>(IEClamp255(yy + t.CrToRed[cr]))};
      }
    }
    if (alpha) {
      Byte* a = static_cast<Byte*>(alpha->GetScanline(y));
      for (Integer x = 0; x < w; ++x) a[x] = alphaPlane.At(x, y);
    }
    if (!step.Next()) return;
  }
}

// The parameters of a component we write: the whole bitmap, unsigned, at Bits bits.
opj_image_cmptparm_t ComponentParams(Integer Width, Integer Height, Integer Bits) {
  opj_image_cmptparm_t c{};
  c.dx = c.dy = 1;
  c.w = static_cast<OPJ_UINT32>(Width);
  c.h = static_cast<OPJ_UINT32>(Height);
  c.x0 = c.y0 = 0;
  c.prec = static_cast<OPJ_UINT32>(Bits);
  c.sgnd = 0;
  return c;
}

void WriteBody(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& P, TIECodecProgress& Progress, Integer Format) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return IEFail(Progress, "an empty image cannot be saved as JPEG 2000");
  if (Format != IEJ2000FormatJP2 && Format != IEJ2000FormatJ2K)
    return IEFail(Progress, "no JPEG 2000 format " + std::to_string(Format));
  if (Bitmap->GetPixelFormat() == ie1g) {
    P.BitsPerSample = 1;
    P.J2000ColorSpace = 0;
  }
  const Integer bits = P.BitsPerSample;
  if (bits < 1 || bits > 16)
    return IEFail(Progress, "JPEG 2000 samples of " + std::to_string(bits) + " bits cannot be written (1 to 16 bits)");
  const double rate = P.J2000Rate;
  if (!(rate > 0) || !std::isfinite(rate))
    return IEFail(Progress, "the JPEG 2000 rate " + std::to_string(rate) + " is not above 0");

  // The rows are read as 24-bit colour or as bits; any other pixel format is converted first.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (src->GetPixelFormat() != ie24RGB && src->GetPixelFormat() != ie1g) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(ie24RGB);
    src = copy.get();
  }
  const bool grey = P.J2000ColorSpace == 0;
  TIEBitmap* alpha = !grey && Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
  if (alpha && (alpha->Full || alpha->GetWidth() != w || alpha->GetHeight() != h)) alpha = nullptr;
  const Integer comps = grey ? 1 : alpha ? 4 : 3;

  opj_image_cmptparm_t params[4];
  for (Integer i = 0; i < comps; ++i) params[i] = ComponentParams(w, h, bits);
  TImageHandle image;
  image.I = opj_image_create(static_cast<OPJ_UINT32>(comps), params, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (!image.I) return IEFail(Progress, "not enough memory to write the JPEG 2000 image");
  opj_image_t& im = *image.I;
  im.x0 = im.y0 = 0;
  im.x1 = static_cast<OPJ_UINT32>(w);
  im.y1 = static_cast<OPJ_UINT32>(h);
  if (alpha) im.comps[3].alpha = 1;

  // Trunc(v / 255 x MaxVal) for every byte value, equal to v x MaxVal div 255.
  const Integer maxVal = (1 << bits) - 1;
  OPJ_INT32 scale[256];
  for (Integer v = 0; v < 256; ++v) scale[v] = static_cast<OPJ_INT32>(v * maxVal / 255);
  const bool mono = src->GetPixelFormat() == ie1g;
  TIERowStepper step(Progress, h);
  for (Integer y = 0; y < h; ++y) {
    const Byte* row = static_cast<const Byte*>(src->GetScanline(y));
    const size_t at = static_cast<size_t>(y) * w;
    if (mono) {
      // Set bits are white; the bitmap has made the image grey above.
      OPJ_INT32* d = im.comps[0].data + at;
      for (Integer x = 0; x < w; ++x) d[x] = IEGetBit(row, x) ? maxVal : 0;
    } else if (grey) {
      const TRGB* px = reinterpret_cast<const TRGB*>(row);
      OPJ_INT32* d = im.comps[0].data + at;
      for (Integer x = 0; x < w; ++x) d[x] = scale[std::min(IERGBToGray(px[x]), 255)];
    } else {
      const TRGB* px = reinterpret_cast<const TRGB*>(row);
      OPJ_INT32 *r = im.comps[0].data + at, *g = im.comps[1].data + at, *b = im.comps[2].data + at;
      for (Integer x = 0; x < w; ++x) {
        r[x] = scale[px[x].r];
        g[x] = scale[px[x].g];
        b[x] = scale[px[x].b];
      }
    }
    if (alpha) {
      const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
      OPJ_INT32* d = im.comps[3].data + at;
      for (Integer x = 0; x < w; ++x) d[x] = scale[a[x]];
    }
    // Rows not reached when the caller stops stay zero; the image is written all the same.
    if (!step.Next()) break;
  }

  opj_cparameters_t cp;
  opj_set_default_encoder_parameters(&cp);
  // One quality layer, lossless unless a smaller share of the raw size is asked for.
  cp.tcp_numlayers = 1;
  cp.cp_disto_alloc = 1;
  cp.tcp_rates[0] = rate < 1 ? static_cast<float>(1 / rate) : 0;
  if (P.J2000Progression == 0) cp.prog_order = OPJ_LRCP;
  if (P.J2000Progression == 1) cp.prog_order = OPJ_RLCP;
  cp.tcp_mct = comps >= 3 ? 1 : 0;
  // Each resolution halves the image: small images get fewer of them, down to one.
  const Integer side = std::min(w, h);
  while (cp.numresolution > 1 && (Int64(1) << (cp.numresolution - 1)) > side) --cp.numresolution;

  TCodecHandle codec(opj_create_compress(Format == IEJ2000FormatJP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  TIEOpenJpegMessages msg;
  IEOpenJpegMessagesTo(codec.C, msg);
  TIEOpenJpegStream out(Stream, false);
  IEOpenJpegCheck(opj_setup_encoder(codec.C, &cp, image.I), msg, out, "the JPEG 2000 encoder refused the parameters");
  IEOpenJpegCheck(opj_start_compress(codec.C, image.I, out.Handle()), msg, out, "the JPEG 2000 encoding could not start");
  IEOpenJpegCheck(opj_encode(codec.C, out.Handle()), msg, out, "the JPEG 2000 encoding failed");
  IEOpenJpegCheck(opj_end_compress(codec.C, out.Handle()), msg, out, "the JPEG 2000 encoding could not be finished");
}

}  // namespace

bool IsJP2(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    Byte b[12];
    const bool got = IEReadFully(Stream, b, 12);
    Stream->SetPosition(pos);
    static const Byte kSignature[12] = {0, 0, 0, 12, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    return got && std::equal(b, b + 12, kSignature);
  } catch (...) {
    return false;
  }
}

bool IsJ2K(TStream* Stream) {
  try {
    const Int64 pos = Stream->Position();
    Byte b[4];
    const bool got = IEReadFully(Stream, b, 4);
    Stream->SetPosition(pos);
    return got && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
  } catch (...) {
    return false;
  }
}

void ReadJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                     bool Preview) {
  try {
    ReadBody(Stream, Bitmap, IOParams, Progress, Preview);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to read the JPEG 2000 image");
  } catch (const EIEOpenJpegError& e) {
    IEFail(Progress, "the JPEG 2000 image cannot be read: " + e.Message);
  } catch (const Exception& e) {
    IEFail(Progress, e.Message.empty() ? AnsiString("the JPEG 2000 image cannot be read") : e.Message);
  }
}

void WriteJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                      Integer Format) {
  try {
    WriteBody(Stream, Bitmap, IOParams, Progress, Format);
  } catch (const std::bad_alloc&) {
    IEFail(Progress, "not enough memory to write the JPEG 2000 image");
  } catch (const EIEOpenJpegError& e) {
    IEFail(Progress, "the JPEG 2000 image could not be written: " + e.Message);
  }
}
