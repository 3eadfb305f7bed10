#include "imaging/formats/raw/ie_raw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_math.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw/ie_ciff.h"
#include "imaging/formats/raw/ie_raw_decoders.h"

void (*IERawMatchHistograms)(TIEBitmap* Reference, TIEBitmap* Bitmap) = nullptr;

namespace {

// The decoders whose codings can stand for many cells in a few bits; the others take at least
// one byte for every two cells of the active area (the diagonal sensors store a diamond in a
// square).
bool EntropyCoded(TIERawLoadProc P) {
  return P == canon_compressed_load_raw || P == lossless_huffman_load_raw || P == nikon_compressed_load_raw ||
         P == sigma_huffman_load_raw || P == kodak_packed_diff_load_raw || P == kodak_ycc_load_raw ||
         P == kodak_dc40_load_raw || P == kodak_dc120_jpeg_load_raw;
}

AnsiString CameraName(const TIERawDecoder& S) {
  return AnsiString(S.make) + " " + AnsiString(S.model) + " " + AnsiString(S.model_extra);
}

// The size of the developed image before a diagonal sensor is turned upright (sizes from the
// file may be anything up to 2^31: the sums are made in 64 bits and the result held below 2^31).
void OutputSize(const TIERawDecoder& S, bool Halve, Integer& Width, Integer& Height) {
  const Integer halve = Halve && S.filters ? 1 : 0;
  const Int64 w = (Int64(S.width) + halve) >> halve, h = (Int64(S.height) + halve) >> halve;
  const Int64 trim = !halve && S.filters ? 1 : 0;
  Width = Integer(std::clamp<Int64>(w - 2 * trim, 0, 0x7FFFFFFF));
  Height = Integer(std::clamp<Int64>((h - 2 * trim) * S.row_repeat, 0, 0x7FFFFFFF));
}

void Report(TIERawDecoder& S, Integer Percent) {
  if (S.progress.OnProgress) S.progress.OnProgress(S.progress.Sender, Percent);
}

// The developed rows: each sample through the output curve indexed by the pixel's luminance.
template <class TSample>
bool WriteOutput(TIERawDecoder& S, TIEBitmap* Bitmap, TIECodecProgress& Progress, const std::vector<double>& Curve,
                 TIEPixelFormat Format) {
  const Integer trim = S.edge_trim;
  const Integer width = S.width - 2 * trim, height = S.height - 2 * trim;
  if (width <= 0 || height <= 0) {
    IEFail(Progress, "the camera raw image has no pixels left after interpolation");
    return false;
  }
  if (IEAllocateImage(Progress, Bitmap, width, Int64(height) * S.row_repeat, Format) == ieNull) return false;
  constexpr double top = sizeof(TSample) == 2 ? 65535.0 : 255.0;
  std::vector<TSample> line = raw_work_buffer<TSample>(Int64(width) * 3, sizeof(TSample) == 2 ? "write_ppm16()" : "write_ppm()");
  Integer out = 0;
  for (Integer row = trim; row < S.height - trim; ++row) {
    for (Integer col = trim; col < S.width - trim; ++col) {
      const Word* p = S.image[size_t(row) * size_t(S.width) + size_t(col)];
      const double f = Curve[p[3]];
      for (Integer c = 0; c < 3; ++c) {
        const double v = p[c] * f;
        line[size_t(col - trim) * 3 + size_t(c)] = TSample(v >= top ? top : v > 0 ? v : 0);
      }
    }
    for (Integer k = 0; k < S.row_repeat; ++k, ++out) {
      void* dest = Bitmap->GetScanline(out);
      if (sizeof(TSample) == 1)
        IECopySwapRB(line.data(), dest, width);
      else
        std::memcpy(dest, line.data(), size_t(width) * 3 * sizeof(TSample));
    }
  }
  return true;
}

}  // namespace

Integer raw_white_point(const TIERawDecoder& S) {
  const Int64 perc = Int64(double(S.width) * S.height * (std::strcmp(S.make, "FUJIFILM") == 0 ? 0.005 : 0.01));
  Integer white = 0;
  Int64 total = 0;
  for (Integer i = kRawHistogramSize - 1; i >= 1; --i) {
    total += S.histogram[i];
    if (total > perc) {
      white = i * 16;
      break;
    }
  }
  if (white == 0) white = 1;
  return white;
}

void ReadRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview) {
  if (IOParams.RawGetExifThumbnail && !Preview) {
    if (IOParams.ExifBitmap) IOParams.ExifBitmap->FreeImage(true);
    IOParams.SetRawGetExifThumbnail(false);
    const Int64 start = Stream->Position();
    ReadRAWStream(Stream, Bitmap, IOParams, Progress, true);
    IOParams.SetRawGetExifThumbnail(true);
    if (IEAborting(Progress)) return;
    if (IOParams.ExifBitmap && !IOParams.ExifBitmap->IsEmpty()) {
      Bitmap->Assign(IOParams.ExifBitmap);
      IOParams.Width = IOParams.OriginalWidth = Bitmap->GetWidth();
      IOParams.Height = IOParams.OriginalHeight = Bitmap->GetHeight();
      return;
    }
    Stream->SetPosition(start);
  }

  TIEBufferedReadStream input(Stream, 8192, IEBufferedReadRelative);
  input.SetPosition(0);
  const Int64 tiff = IEFindTIFFHeader(&input);
  if (tiff >= 0) {
    input.SetPosition(tiff);
    IEReadEXIFFromTIFFStream(&input, &IOParams);
  } else {
    input.SetPosition(0);
    IEReadCIFFMetadata(&input, IOParams);
  }

  auto state = std::make_unique<TIERawDecoder>();
  TIERawDecoder& S = *state;
  input.SetPosition(0);
  reset_bit_reader(S);
  S.opt_gamma = float(IOParams.RawGamma);
  S.opt_brightness = float(IOParams.RawBrightness);
  S.opt_red_factor = float(IOParams.RawRedScale);
  S.opt_blue_factor = float(IOParams.RawBlueScale);
  S.opt_four_color = IOParams.RawFourColorRGB;
  S.opt_quick_interpolate = IOParams.RawQuickInterpolate;
  S.opt_auto_wb = IOParams.RawAutoWB;
  S.opt_camera_wb = IOParams.RawCameraWB;
  const bool match = IOParams.RawMatchExifThumbnail && IOParams.ExifBitmap && !IOParams.ExifBitmap->IsEmpty();
  if (match) S.opt_brightness = 0.5f;
  S.diagonal_sensor = 0;
  S.progress = Progress;
  S.stream = &input;

  try {
    if (identify_raw(S) != 0) {
      IEFail(Progress, "the file is not a camera raw file this reader knows");
      return;
    }
  } catch (const std::exception& E) {
    IEFail(Progress, AnsiString("the camera raw file could not be identified: ") + E.what());
    return;
  }

  IOParams.RawCamera = CameraName(S);
  IOParams.DpiX = IEGlobalDefaultDpiX;
  IOParams.DpiY = IEGlobalDefaultDpiY;
  if (IOParams.ColorMap) {
    std::free(IOParams.ColorMap);
    IOParams.ColorMap = nullptr;
  }
  IOParams.ColorMapCount = 0;
  // The size stated is the size of the image the read gives (or would give): half size,
  // interpolation border and row repetition included.
  OutputSize(S, IOParams.RawHalfSize, IOParams.Width, IOParams.Height);
  OutputSize(S, false, IOParams.OriginalWidth, IOParams.OriginalHeight);
  if (Preview) return;

  S.halve = IOParams.RawHalfSize && S.filters ? 1 : 0;
  S.out_height = Integer((Int64(S.height) + S.halve) >> S.halve);
  S.out_width = Integer((Int64(S.width) + S.halve) >> S.halve);
  const Int64 cells = Int64(S.height) * S.width;
  // Sizes no decoder accepts are refused before anything is allocated or developed.
  if (!raw_sizes_usable(S)) {
    IEFail(Progress, "the camera's sensor size is not valid: " + std::to_string(S.width) + " x " +
                         std::to_string(S.height) + " pixels of a " + std::to_string(S.sensor_width) + " x " +
                         std::to_string(S.sensor_height) + " sensor");
    return;
  }
  if (!IECheckImageSize(Progress, S.out_width, S.out_height, 64)) return;
  // Sensor data said to start past the end of the file has nothing to read, not an unknown amount.
  const Int64 size = input.Size();
  const Int64 available = size < 0 ? -1 : std::max<Int64>(0, size - S.data_offset);
  if (EntropyCoded(S.load_raw) ? !IECheckSparseImage(Progress, "camera raw sensor data", S.width, S.height)
                               : !IECheckInputHolds(Progress, "the camera raw sensor data", S.width, S.height,
                                                    cells / 2, available))
    return;
  // Sigma's coding is dense but not boundless: three bits a sensor cell at the least.
  if (S.load_raw == sigma_huffman_load_raw &&
      !IECheckInputHolds(Progress, "the Sigma sensor data", S.sensor_width, S.sensor_height,
                         (Int64(S.sensor_width) * S.sensor_height * 3 + 7) / 8,
                         size < 0 ? -1 : std::max<Int64>(0, size - kSigmaRowsAt)))
    return;

  std::vector<Word> buffer;
  try {
    buffer = raw_work_buffer<Word>(Int64(S.out_height) * S.out_width * 4, "ReadRAWStream()");
    S.image = reinterpret_cast<Word(*)[4]>(buffer.data());
    // The Canon trees come from the table set the file names.
    if (S.load_raw == canon_compressed_load_raw) canon_huffman_tables(S, S.canon_table);
    raw_seek(S, S.data_offset);
    S.load_raw(S);
  } catch (const std::exception& E) {
    IEFail(Progress, AnsiString("the camera raw sensor data could not be decoded") + E.what());
    return;
  }
  // A decoder that met damaged or missing data has said so through Progress; what it decoded is
  // developed all the same, so the caller keeps it beside the reason.
  S.height = S.out_height;
  S.width = S.out_width;
  S.opt_quick_interpolate = 1;

  try {
    if (S.three_layer_sensor)
      foveon_interpolate(S);
    else
      apply_white_balance(S);
    Report(S, 70);
    if (S.halve) S.filters = 0;
    S.edge_trim = 0;
    if (S.filters && !S.opt_document_mode) {
      S.edge_trim = 1;
      vng_interpolate(S);
    }
    to_output_rgb(S);
    Report(S, 85);
  } catch (const std::exception& E) {
    IEFail(Progress, AnsiString("the camera raw image could not be developed") + E.what());
    return;
  }

  const Integer white = raw_white_point(S);

  std::vector<double> curve(65536);
  const double mul = double(S.opt_brightness) * 442 / white;
  curve[0] = 0;
  for (Integer i = 1; i < 65536; ++i) {
    const double v = mul * double(IEPower(2.0L * i / white, double(S.opt_gamma) - 1.0));
    curve[size_t(i)] = std::isfinite(v) ? v : 0;
  }
  const bool wide = IOParams.NativePixelFormat;
  if (wide)
    for (double& v : curve) v = v / 255 * 65535;

  IOParams.BitsPerSample = wide ? 16 : 8;
  IOParams.SamplesPerPixel = 3;
  try {
    const bool ok = wide ? WriteOutput<Word>(S, Bitmap, Progress, curve, ieRGB48)
                         : WriteOutput<Byte>(S, Bitmap, Progress, curve, ie24RGB);
    if (!ok) return;
    buffer = std::vector<Word>();
    S.image = nullptr;
    Report(S, 90);
    if (S.diagonal_sensor) {
      if (wide)
        rotate_back_diagonal16(Bitmap);
      else
        rotate_back_diagonal8(Bitmap);
    }
  } catch (const std::exception& E) {
    IEFail(Progress, AnsiString("the camera raw image could not be written") + E.what());
    return;
  }
  IOParams.Width = Bitmap->GetWidth();
  IOParams.Height = Bitmap->GetHeight();
  if (match && IERawMatchHistograms) IERawMatchHistograms(IOParams.ExifBitmap, Bitmap);
  Report(S, 100);
}

bool IsRAW(TStream* Stream) {
  if (!Stream) return false;
  TIEStreamPositionKeeper keep(Stream);
  auto state = std::make_unique<TIERawDecoder>();
  state->stream = Stream;
  reset_bit_reader(*state);
  try {
    return identify_raw(*state) == 0;
  } catch (const std::exception&) {
    return false;
  }
}
