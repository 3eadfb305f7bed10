#include "imaging/formats/jpeg/ie_jpeg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_orientation.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_xmp.h"
#include "imaging/formats/ie_color_convert.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr Integer kBufferSize = 65536;

// The source manager: libjpeg pulls the stream through it. Everything here runs inside
// libjpeg's frames, so nothing may be thrown: a stream that raises counts as one that ended.
struct TJpegSource {
  jpeg_source_mgr Pub{};
  TStream* Stream = nullptr;
  TIECodecProgress* Progress = nullptr;  // nil: no failure is recorded here
  bool StartOfFile = true;
  bool RanDry = false;  // the data ended and an end-of-image marker was made up
  Byte Buffer[kBufferSize];
  Byte Eoi[2] = {0xFF, JPEG_EOI};
};

void InitSource(j_decompress_ptr Info) { reinterpret_cast<TJpegSource*>(Info->src)->StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr Info) {
  auto* src = reinterpret_cast<TJpegSource*>(Info->src);
  Integer got = 0;
  try {
    got = src->Stream->Read(src->Buffer, kBufferSize);
  } catch (...) {
    got = 0;
  }
  if (got <= 0) {
    if (src->StartOfFile && src->Progress) IEFail(*src->Progress, "the JPEG data is empty");
    // An end-of-image marker lets libjpeg finish the image from what it has.
    src->RanDry = true;
    src->Pub.next_input_byte = src->Eoi;
    src->Pub.bytes_in_buffer = 2;
  } else {
    src->Pub.next_input_byte = src->Buffer;
    src->Pub.bytes_in_buffer = static_cast<size_t>(got);
  }
  src->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr Info, long Count) {
  if (Count <= 0) return;
  auto* src = reinterpret_cast<TJpegSource*>(Info->src);
  size_t n = static_cast<size_t>(Count);
  // Through the installed procedure: a caller may have replaced ours with its own.
  while (n > src->Pub.bytes_in_buffer) {
    n -= src->Pub.bytes_in_buffer;
    src->Pub.bytes_in_buffer = 0;
    if (!(*src->Pub.fill_input_buffer)(Info) || src->RanDry) return;
  }
  src->Pub.next_input_byte += n;
  src->Pub.bytes_in_buffer -= n;
}

void TermSource(j_decompress_ptr) {}

void SetSource(jpeg_decompress_struct& Info, TJpegSource& Src, TStream* Stream, TIECodecProgress* Progress) {
  Src.Pub.init_source = InitSource;
  Src.Pub.fill_input_buffer = FillInputBuffer;
  Src.Pub.skip_input_data = SkipInputData;
  Src.Pub.resync_to_restart = jpeg_resync_to_restart;
  Src.Pub.term_source = TermSource;
  Src.Pub.next_input_byte = nullptr;
  Src.Pub.bytes_in_buffer = 0;
  Src.Stream = Stream;
  Src.Progress = Progress;
  Src.RanDry = false;
  Info.src = &Src.Pub;
}

}  // namespace

void SetJPEGStreamSource(jpeg_decompress_struct& Info, TStream* Stream, TIECodecProgress* Progress) {
  void* block = (*Info.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&Info), JPOOL_PERMANENT, sizeof(TJpegSource));
  SetSource(Info, *new (block) TJpegSource(), Stream, Progress);
}

namespace {

struct TJpegDest {
  jpeg_destination_mgr Pub{};
  TStream* Stream = nullptr;
  TIECodecProgress* Progress = nullptr;
  Byte Buffer[kBufferSize];
};

void PutBytes(TJpegDest* Dest, Integer Count) {
  if (Count <= 0 || IEAborting(*Dest->Progress)) return;
  Integer put = 0;
  try {
    put = Dest->Stream->Write(Dest->Buffer, Count);
  } catch (...) {
    put = 0;
  }
  if (put < Count) IEFail(*Dest->Progress, "the destination accepted fewer bytes than written (disk full?)");
}

void InitDestination(j_compress_ptr Info) {
  auto* dest = reinterpret_cast<TJpegDest*>(Info->dest);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr Info) {
  auto* dest = reinterpret_cast<TJpegDest*>(Info->dest);
  PutBytes(dest, kBufferSize);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr Info) {
  auto* dest = reinterpret_cast<TJpegDest*>(Info->dest);
  PutBytes(dest, kBufferSize - static_cast<Integer>(dest->Pub.free_in_buffer));
}

// Sets the Orientation entry (tag 274) of the first directory of an EXIF APP1 payload to 1,
// once the pixels have been turned upright, so that a later save is not turned again.
void ClearExifOrientation(Byte* Payload, Integer Length) {
  if (Length < 6 + 8) return;
  const Byte* tiff = Payload + 6;
  const Integer size = Length - 6;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return;
  auto u16 = [&](Integer at) -> DWORD {
    return little ? DWORD(tiff[at]) | DWORD(tiff[at + 1]) << 8 : DWORD(tiff[at]) << 8 | DWORD(tiff[at + 1]);
  };
  auto u32 = [&](Integer at) -> DWORD { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
  const DWORD ifd = u32(4);
  if (ifd > DWORD(size) - 2 || size < 2) return;
  const DWORD count = u16(static_cast<Integer>(ifd));
  for (DWORD i = 0; i < count; ++i) {
    const DWORD at = ifd + 2 + i * 12;
    if (at + 12 > DWORD(size)) return;
    if (u16(static_cast<Integer>(at)) == 274 && u16(static_cast<Integer>(at + 2)) == 3) {
      Byte* value = const_cast<Byte*>(tiff) + at + 8;
      value[0] = little ? 1 : 0;
      value[1] = little ? 0 : 1;
      return;
    }
  }
}

TIEPixelFormat OutputFormat(J_COLOR_SPACE Out, bool Native) {
  if (!Native) return ie24RGB;
  switch (Out) {
    case JCS_GRAYSCALE: return ie8g;
    case JCS_CMYK: return ieCMYK;
    case JCS_UNKNOWN: return ieNull;
    default: return ie24RGB;
  }
}

}  // namespace

Int64 FindJPEGStart(TStream* Stream) {
  const Int64 pos = Stream->Position();
  Byte buf[152];
  Integer got = 0;
  try {
    got = Stream->Read(buf, sizeof buf);
  } catch (...) {
    got = 0;
  }
  Stream->SetPosition(pos);
  for (Integer k = 0; k + 2 < got && k < 150; ++k)
    if (buf[k] == 0xFF && buf[k + 1] == 0xD8 && buf[k + 2] == 0xFF) return pos + k;
  return -1;
}

void ReadJPEGICCProfile(TStream* Stream, TIOParamsVals& IOParams) {
  const Int64 pos = Stream->Position();
  std::vector<std::vector<Byte>> chunks;
  Integer found = 0;
  size_t total = 0;
  {
    TIEBufferedReadStream in(Stream, 8192, false);
    auto byte = [&](Byte& b) { return in.Read(&b, 1) == 1; };
    auto word = [&](DWORD& w) {
      Byte hi, lo;
      if (!byte(hi) || !byte(lo)) return false;
      w = DWORD(hi) << 8 | lo;
      return true;
    };
    Byte b, m;
    DWORD len;
    while (byte(b)) {
      if (b != 0xFF) continue;
      if (!byte(m)) break;
      const bool frame = (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) || m == 0xD9;
      if (frame) break;
      if (m == 0xC4 || m == 0xC8 || m == 0xCC || (m >= 0xDA && m <= 0xFE)) {
        if (!word(len) || len < 2) break;
        if (m != 0xE2) {
          in.Seek(len - 2, soCurrent);
          continue;
        }
        std::vector<Byte> payload(len - 2);
        if (!payload.empty() && in.Read(payload.data(), static_cast<Integer>(payload.size())) != Integer(payload.size())) break;
        if (payload.size() < 14 || std::memcmp(payload.data(), "ICC_PROFILE", 12) != 0) continue;
        const Integer n = payload[12], count = payload[13];
        if (n < 1) continue;
        if (Integer(chunks.size()) < n) chunks.resize(static_cast<size_t>(n));
        total += payload.size() - 14;
        payload.erase(payload.begin(), payload.begin() + 14);
        chunks[static_cast<size_t>(n) - 1] = std::move(payload);
        if (++found == count) break;
      }
    }
  }
  Stream->SetPosition(pos);
  if (total == 0) return;
  std::vector<Byte> profile;
  profile.reserve(total);
  for (const auto& c : chunks) profile.insert(profile.end(), c.begin(), c.end());
  IOParams.GetEmbeddedICCProfile()->LoadFromBuffer(profile.data(), static_cast<Integer>(profile.size()));
}

Integer GetJPEGStreamLength(TStream* Stream) {
  const Int64 pos = Stream->Position();
  Int64 end = pos;
  {
    TIEBufferedReadStream in(Stream, 8192, false);
    Byte b, m;
    while (in.Read(&b, 1) == 1) {
      if (b != 0xFF) continue;
      if (in.Read(&m, 1) != 1) break;
      if (m == 0xD9) break;
      if ((m >= 0xC0 && m <= 0xCF) || (m >= 0xDA && m <= 0xFE)) {
        Byte l[2];
        if (in.Read(l, 2) != 2) break;
        const Int64 len = Int64(l[0]) << 8 | l[1];
        const Int64 target = std::min(in.Position() + std::max<Int64>(len - 2, 0), in.Size());
        in.Seek(target, soBeginning);
      }
    }
    end = in.Position();
  }
  Stream->SetPosition(pos);
  return static_cast<Integer>(std::min<Int64>(end - pos, 0x7FFFFFFF));
}

namespace {

// The least scan data a JPEG of this header can have. A Huffman-coded sequential scan spends at
// least a bit on each block's DC difference and one on its end of block, and the first scan
// codes at least one component whole; a progressive file's DC scan needs a bit a block.
// Arithmetic coding, and a progressive file that leaves its DC scan out, can be far denser:
// such an image, when its data are shorter than that, is held to the sparse-image limit.
// A caller that takes only the first Rows rows (a strip of a TIFF) needs only their share of it.
bool ScanDataCanHold(jpeg_decompress_struct& info, TIECodecProgress& Progress, Int64 Available, Integer Rows) {
  Int64 fewest = -1;
  for (int c = 0; c < info.num_components; ++c) {
    const Int64 blocks = Int64(info.comp_info[c].width_in_blocks) * Int64(info.comp_info[c].height_in_blocks);
    if (fewest < 0 || blocks < fewest) fewest = blocks;
  }
  if (fewest < 0) return true;
  const bool sequential = !info.progressive_mode && !info.arith_code;
  Int64 needed = ((sequential ? 2 : 1) * fewest + 7) / 8;
  if (Rows >= 0 && info.output_height > 0 && JDIMENSION(Rows) < info.output_height)
    needed = needed * Rows / Int64(info.output_height);
  if (sequential)
    return IECheckInputHolds(Progress, "the JPEG data", info.image_width, info.image_height, needed, Available);
  if (Available < 0 || needed <= Available) return true;
  return IECheckSparseImage(Progress, info.arith_code ? "arithmetic-coded JPEG data" : "progressive JPEG data",
                            info.image_width, info.image_height);
}

}  // namespace

Integer ReadJPEGStream(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                       TIECodecProgress& Progress, bool Preview, bool RawColorSpace, bool ReadMetadata,
                       bool InvertCMYK, bool ApplyICC, bool ReadICC, Integer MaxRows, bool NativePixelFormat) {
  if (IOParams.JpegGetExifThumbnail) {
    if (IOParams.ExifBitmap) IOParams.ExifBitmap->FreeImage(true);
    IOParams.SetGetExifThumbnail(false);
    const Integer w = IOParams.Width, h = IOParams.Height;
    const Int64 start = Stream->Position();
    ReadJPEGStream(Stream, TablesStream, Bitmap, IOParams, Progress, true, RawColorSpace, true, InvertCMYK, ApplyICC,
                   false, -1, IOParams.NativePixelFormat);
    Stream->SetPosition(start);
    IOParams.SetGetExifThumbnail(true);
    if (IOParams.ExifBitmap && !IOParams.ExifBitmap->IsEmpty()) {
      Bitmap->Assign(IOParams.ExifBitmap);
      return 0;
    }
    IOParams.Width = w;
    IOParams.Height = h;
  }

  IOParams.JpegWarningCount = 0;
  IOParams.JpegLastWarning = 0;
  const Int64 start = FindJPEGStart(Stream);
  if (start < 0) {
    IEFail(Progress, "no JPEG data (FF D8 FF) near the start of the stream");
    return 0;
  }
  Stream->SetPosition(start);
  const Int64 available = IEStreamRemaining(Stream);
  if (ReadICC) ReadJPEGICCProfile(Stream, IOParams);
  const bool iccOn = IOParams.EmbeddedICCProfile && IEEnableCMS;

  // Everything with a destructor lives out here: a libjpeg error longjmps out of the guarded
  // calls below and skips the destructors of whatever lives inside them.
  TIEJpegErrorManager err;
  jpeg_decompress_struct info{};
  info.err = IEJpegErrorManager(err);
  auto source = std::make_unique<TJpegSource>();
  std::vector<Byte> work;
  Integer rows = 0;
  bool started = false;
  std::exception_ptr tablesError;
  try {
    IEJpegCall(err, [&] { jpeg_create_decompress(&info); });
  } catch (const EIEJpegError& e) {
    IEFail(Progress, AnsiString("the JPEG library cannot start: ") + e.Message);
    return 0;
  }

  if (TablesStream && TablesStream != Stream && !IEAborting(Progress)) {
    SetSource(info, *source, TablesStream, &Progress);
    try {
      IEJpegCall(err, [&] { jpeg_read_header(&info, FALSE); });
    } catch (const EIEJpegError& e) {
      IEFail(Progress, AnsiString("damaged JPEG tables: ") + e.Message);
      tablesError = std::current_exception();
    }
  }

  J_COLOR_SPACE fileSpace = JCS_UNKNOWN;
  if (!tablesError && !IEAborting(Progress)) {
    SetSource(info, *source, Stream, &Progress);
    try {
      IEJpegCall(err, [&] {
        jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
        for (int m = 0; m < 16; ++m) jpeg_save_markers(&info, JPEG_APP0 + m, 0xFFFF);
        jpeg_read_header(&info, TRUE);
      });
      fileSpace = info.jpeg_color_space;
      IOParams.BitsPerSample = 8;
      J_COLOR_SPACE out = fileSpace;
      switch (fileSpace) {
        case JCS_GRAYSCALE: IOParams.JpegColorSpace = 1; IOParams.SamplesPerPixel = 1; break;
        case JCS_RGB: IOParams.JpegColorSpace = 0; IOParams.SamplesPerPixel = 3; break;
        case JCS_YCbCr: IOParams.JpegColorSpace = 2; IOParams.SamplesPerPixel = 3; out = JCS_RGB; break;
        case JCS_CMYK: IOParams.JpegColorSpace = 3; IOParams.SamplesPerPixel = 4; break;
        case JCS_YCCK: IOParams.JpegColorSpace = 4; IOParams.SamplesPerPixel = 4; out = JCS_CMYK; break;
        default: break;
      }
      const bool rawYCbCr = RawColorSpace && fileSpace == JCS_YCbCr;
      if (rawYCbCr) out = JCS_YCbCr;
      switch (IOParams.JpegDCTMethod) {
        case 0: info.dct_method = JDCT_ISLOW; break;
        case 1: info.dct_method = JDCT_IFAST; break;
        case 2: info.dct_method = JDCT_FLOAT; break;
        default: break;
      }
      if (info.density_unit == 0 || info.density_unit == 1) {
        IOParams.SetDpiX(info.X_density);
        IOParams.SetDpiY(info.Y_density);
      } else if (info.density_unit == 2) {
        IOParams.SetDpiX(static_cast<Integer>(info.X_density * 2.54));
        IOParams.SetDpiY(static_cast<Integer>(info.Y_density * 2.54));
      }
      std::free(IOParams.ColorMap);
      IOParams.ColorMap = nullptr;
      IOParams.ColorMapCount = 0;
      IOParams.JpegProgressive = jpeg_has_multiple_scans(&info);
      IOParams.OriginalWidth = static_cast<Integer>(info.image_width);
      IOParams.OriginalHeight = static_cast<Integer>(info.image_height);

      Integer denom = 1;
      switch (IOParams.JpegScale) {
        case 1: denom = 1; break;
        case 2: denom = 2; break;
        case 3: denom = 4; break;
        case 4: denom = 8; break;
        case 0:
          if (IOParams.Width > 0 && IOParams.Height > 0) {
            for (Integer d : {8, 4, 2, 1}) {
              denom = d;
              if (Integer(info.image_width) / d >= IOParams.Width && Integer(info.image_height) / d >= IOParams.Height)
                break;
            }
          }
          break;
        default: break;
      }
      info.scale_num = 1;
      info.scale_denom = static_cast<unsigned>(denom);
      IOParams.JpegScaleUsed = denom;

      if (Preview) {
        IOParams.Width = static_cast<Integer>(info.image_width);
        IOParams.Height = static_cast<Integer>(info.image_height);
      } else {
        // The buffer-friendly layouts: libjpeg-turbo writes B, G, R itself.
        const bool viaWork = (out == JCS_RGB && iccOn) || (out == JCS_CMYK && !NativePixelFormat) ||
                             (out == JCS_GRAYSCALE && NativePixelFormat);
        if (out == JCS_GRAYSCALE && !NativePixelFormat) out = JCS_EXT_BGR;
        if (out == JCS_RGB && !iccOn) out = JCS_EXT_BGR;
        info.out_color_space = out;
        IEJpegCall(err, [&] { jpeg_calc_output_dimensions(&info); });
        const TIEPixelFormat format = OutputFormat(info.out_color_space, NativePixelFormat);
        // Everything that may refuse comes before jpeg_start_decompress: for a progressive file
        // it reads the whole input into coefficient buffers of the whole image.
        bool allocated = false;
        if (IECheckImageSize(Progress, info.output_width, info.output_height, 32) &&
            ScanDataCanHold(info, Progress, available, MaxRows) &&
            (format == ieNull ||
             (allocated = IEAllocateImage(Progress, Bitmap, info.output_width, info.output_height, format) != ieNull))) {
          IEJpegCall(err, [&] { jpeg_start_decompress(&info); });
          started = true;
          IOParams.Width = static_cast<Integer>(info.output_width);
          IOParams.Height = static_cast<Integer>(info.output_height);
          work.resize(static_cast<size_t>(info.output_width) * std::max(4, info.output_components));
          const bool unknown = fileSpace != JCS_GRAYSCALE && fileSpace != JCS_RGB && fileSpace != JCS_YCbCr &&
                               fileSpace != JCS_CMYK && fileSpace != JCS_YCCK;
          if (unknown)
            IEFail(Progress, "JPEG colour space with " + std::to_string(info.num_components) + " components is not supported");
          if (MaxRows < 0) MaxRows = format == ieNull ? IOParams.Height : Bitmap->GetHeight();
          TIERowStepper step(Progress, info.output_height, true);
          const Integer width = static_cast<Integer>(info.output_width);
          const J_COLOR_SPACE outSpace = info.out_color_space;
          bool stop = IEAborting(Progress) || unknown || !allocated;
          IEJpegCall(err, [&] {
            while (!stop && info.output_scanline < info.output_height && rows < MaxRows) {
              Byte* row = static_cast<Byte*>(Bitmap->GetScanline(rows));
              JSAMPROW target = viaWork ? work.data() : row;
              const JDIMENSION got = jpeg_read_scanlines(&info, &target, 1);
              if (got == 0) break;
              if (outSpace == JCS_RGB)
                IEConvertColorFunction(work.data(), iecRGB, row, iecBGR, width, &IOParams);
              else if (outSpace == JCS_CMYK && !NativePixelFormat) {
                if (InvertCMYK)
                  for (Integer i = 0; i < width * 4; ++i) work[i] = static_cast<Byte>(255 - work[i]);
                IEConvertColorFunction(work.data(), iecCMYK, row, iecBGR, width, &IOParams);
              } else if (outSpace == JCS_GRAYSCALE && NativePixelFormat) {
                std::memcpy(row, work.data(), static_cast<size_t>(width));
              }
              rows += static_cast<Integer>(got);
              stop = !step.Next();
            }
          });
          if (rows < MaxRows) IEFail(Progress, "the JPEG image ends after " + std::to_string(rows) + " rows");
          // The data ran out before the image was complete: libjpeg filled the rest grey.
          if (source->RanDry) IEFail(Progress, "the JPEG data ends before the image does");
          // A scan cut short or garbled inside the file (its end marker still in place) is
          // filled in the same way: the rows stay for the caller to show, but the load failed.
          if (err.DamageCode != 0) IEFail(Progress, AnsiString("damaged JPEG data: ") + err.Damage);
        }
      }
    } catch (const EIEJpegError& e) {
      IEFail(Progress, AnsiString("damaged JPEG data: ") + e.Message);
    } catch (const std::bad_alloc&) {
      IEFail(Progress, "not enough memory to read the JPEG image");
    }
  }

  // Closing steps, on every path from here.
  if (IOParams.JpegMarkerList) {
    IOParams.JpegMarkerList->Clear();
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 && firstApp0) {
        firstApp0 = false;
        continue;
      }
      IOParams.JpegMarkerList->AddMarker(static_cast<Byte>(m->marker), m->data, static_cast<Word>(m->data_length));
    }
  }
  if (ApplyICC && iccOn && IOParams.EmbeddedICCProfile->HasTransform()) {
    IOParams.EmbeddedICCProfile->FreeTransform();
    if (IOParams.JpegMarkerList)
      for (Integer i = IOParams.JpegMarkerList->Count() - 1; i >= 0; --i)
        if (IOParams.JpegMarkerList->MarkerType(i) == 0xE2) IOParams.JpegMarkerList->DeleteMarker(i);
  }
  if (started && !IEAborting(Progress) && info.output_scanline >= info.output_height) {
    try {
      IEJpegCall(err, [&] { jpeg_finish_decompress(&info); });
    } catch (const EIEJpegError&) {
      // The image is complete; what follows it does not matter.
    }
  }
  jpeg_destroy_decompress(&info);
  if (err.Pub.num_warnings > 0) {
    IOParams.JpegWarningCount = static_cast<Integer>(err.Pub.num_warnings);
    IOParams.JpegLastWarning = err.Pub.msg_code;
  }

  if (ReadMetadata && IOParams.JpegMarkerList) {
    TIEMarkerList* list = IOParams.JpegMarkerList;
    if (IOParams.IptcInfo)
      for (Integer i = 0; i < list->Count(); ++i)
        if (list->MarkerType(i) == 0xED && IOParams.IptcInfo->LoadFromBuffer(list->MarkerData(i), list->MarkerLength(i)))
          break;
    // The JFIF resolution as the header gave it: reading the EXIF block sets the DPI from the
    // EXIF resolution, and the choice between the two must be made on the JFIF values.
    const Integer jfifDpiX = IOParams.DpiX, jfifDpiY = IOParams.DpiY;
    for (Integer i = 0; i < list->Count(); ++i) {
      if (list->MarkerType(i) != 0xE1 || !IELoadEXIFFromBuffer(list->MarkerData(i), list->MarkerLength(i), &IOParams))
        continue;
      if (jfifDpiX == 1 && jfifDpiY == 1) {
        const double f = IOParams.ExifResolutionUnit == 3 ? 2.54 : 1.0;
        IOParams.SetDpiX(SafeTrunc<Integer>(IOParams.ExifXResolution * f));
        IOParams.SetDpiY(SafeTrunc<Integer>(IOParams.ExifYResolution * f));
      } else {
        IOParams.SetDpiX(jfifDpiX);
        IOParams.SetDpiY(jfifDpiY);
      }
      if (IOParams.JpegEnableAdjustOrientation && !Preview && rows > 0 && IOParams.ExifOrientation > 1) {
        IEApplyExifOrientation(Bitmap, IOParams.ExifOrientation);
        // The pixels are upright now: the next save must not say they are still turned.
        IOParams.SetExifOrientation(1);
        std::vector<Byte> patched(list->MarkerData(i), list->MarkerData(i) + list->MarkerLength(i));
        ClearExifOrientation(patched.data(), static_cast<Integer>(patched.size()));
        list->SetMarker(i, 0xE1, patched.data(), list->MarkerLength(i));
      }
      break;
    }
    for (Integer i = 0; i < list->Count(); ++i)
      if (list->MarkerType(i) == 0xE1 && IEFindXMPPacket(list->MarkerData(i), list->MarkerLength(i))) {
        IEReadXMPFromAPP1(list->MarkerData(i), list->MarkerLength(i), &IOParams);
        break;
      }
  }
  if (tablesError) std::rethrow_exception(tablesError);
  return rows;
}

void WriteJPEGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress) {
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(ie24RGB);
    src = copy.get();
  }
  const Integer width = src->GetWidth(), height = src->GetHeight();
  if (width <= 0 || height <= 0) {
    IEFail(Progress, "an empty image cannot be saved as JPEG");
    return;
  }
  if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
    IEFail(Progress, "JPEG holds at most 65500 pixels a side");
    return;
  }

  TIEJpegErrorManager err;
  jpeg_compress_struct info{};
  info.err = IEJpegErrorManager(err);
  auto dest = std::make_unique<TJpegDest>();
  dest->Stream = Stream;
  dest->Progress = &Progress;
  dest->Pub.init_destination = InitDestination;
  dest->Pub.empty_output_buffer = EmptyOutputBuffer;
  dest->Pub.term_destination = TermDestination;
  std::vector<Byte> work;
  bool created = false;
  if (IOParams.JpegMarkerList) IOParams.JpegMarkerList->Sort();
  TIEMarkerList* markers = IOParams.JpegMarkerList;

  try {
    IEJpegCall(err, [&] { jpeg_create_compress(&info); });
    created = true;
    info.dest = &dest->Pub;
    J_COLOR_SPACE stored = JCS_RGB;
    bool cmykInput = false;
    switch (IOParams.JpegColorSpace) {
      case 1: stored = JCS_GRAYSCALE; break;
      case 2: stored = JCS_YCbCr; break;
      case 3: stored = JCS_CMYK; cmykInput = true; break;
      case 4: stored = JCS_YCCK; cmykInput = true; break;
      default: stored = JCS_RGB; break;
    }
    if (cmykInput) work.resize(static_cast<size_t>(width) * 4);
    TIERowStepper step(Progress, height, true);
    bool stop = IEAborting(Progress);
    IEJpegCall(err, [&] {
      info.image_width = static_cast<JDIMENSION>(width);
      info.image_height = static_cast<JDIMENSION>(height);
      info.input_components = cmykInput ? 4 : 3;
      info.in_color_space = cmykInput ? JCS_CMYK : JCS_EXT_BGR;
      jpeg_set_defaults(&info);
      jpeg_set_colorspace(&info, stored);
      info.density_unit = 1;
      info.X_density = static_cast<UINT16>(IOParams.DpiX ? IOParams.DpiX : IEGlobalDefaultDpiX);
      info.Y_density = static_cast<UINT16>(IOParams.DpiY ? IOParams.DpiY : IEGlobalDefaultDpiY);
      switch (IOParams.JpegDCTMethod) {
        case 0: info.dct_method = JDCT_ISLOW; break;
        case 1: info.dct_method = JDCT_IFAST; break;
        case 2: info.dct_method = JDCT_FLOAT; break;
        default: break;
      }
      info.optimize_coding = IOParams.JpegOptimalHuffman ? TRUE : FALSE;
      info.smoothing_factor = std::clamp<Integer>(IOParams.JpegSmooth, 0, 100);
      jpeg_set_quality(&info, std::clamp<Integer>(IOParams.JpegQuality, 1, 100), TRUE);
      if (stored == JCS_YCbCr) {
        switch (IOParams.JpegChromaSubsampling) {
          case 0: info.comp_info[0].h_samp_factor = 2; info.comp_info[0].v_samp_factor = 1; break;
          case 1: info.comp_info[0].h_samp_factor = 2; info.comp_info[0].v_samp_factor = 2; break;
          case 2: info.comp_info[0].h_samp_factor = 1; info.comp_info[0].v_samp_factor = 1; break;
          default: break;
        }
        for (int c = 1; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
      }
      if (stored == JCS_CMYK) info.write_JFIF_header = TRUE;
      if (IOParams.JpegProgressive) jpeg_simple_progression(&info);
      jpeg_start_compress(&info, TRUE);
      if (markers)
        for (Integer i = 0; i < markers->Count(); ++i)
          if (markers->MarkerType(i) != 0xEE)
            jpeg_write_marker(&info, markers->MarkerType(i), markers->MarkerData(i), markers->MarkerLength(i));
      while (!stop && info.next_scanline < info.image_height) {
        Byte* row = static_cast<Byte*>(src->GetScanline(static_cast<Integer>(info.next_scanline)));
        JSAMPROW rowPtr = row;
        if (cmykInput) {
          IEConvertColorFunction(row, iecBGR, work.data(), iecCMYK, width, nullptr);
          rowPtr = work.data();
        }
        jpeg_write_scanlines(&info, &rowPtr, 1);
        stop = !step.Next();
      }
      if (!stop) jpeg_finish_compress(&info);
    });
  } catch (const EIEJpegError& e) {
    IEFail(Progress, AnsiString("the JPEG image cannot be written: ") + e.Message);
    if (created) jpeg_destroy_compress(&info);
    throw;
  } catch (...) {
    // Raised by our own code between the library's calls (a progress handler): the
    // compressor's memory is the library's to free all the same.
    if (created) jpeg_destroy_compress(&info);
    throw;
  }
  jpeg_destroy_compress(&info);
}
