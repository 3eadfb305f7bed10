// Kodak sensor data: the tone curve, the plain 8-bit layouts, the DC120 (shuffled and JPEG),
// the packed differences and the YCC coding.
#include <strings.h>

#include <cstring>

#include "imaging/formats/jpeg/ie_jpeg_decompressor.h"
#include "imaging/formats/raw/ie_raw_decoders.h"

const char* const kRawDc40NotSupported =
    ": Kodak DC40 and DC50 sensor data is not supported (the decoder's token trees are not known)";

namespace {

constexpr Integer kCurveSize = 4096;

Integer curve_at(const Word* Curve, Integer v) {
  if (v < 0) v = 0;
  if (v >= kCurveSize) v = kCurveSize - 1;
  return Curve[v];
}

// The packed-difference reader of the Kodak codings: code lengths of 4 bits, the bits taken
// from the low end of a 64-bit store that grows by four bytes at a time.
struct TKodakBits {
  UInt64 store = 0;
  Integer held = 0;

  void start(TIERawDecoder& S, Integer blockLength) {
    store = 0;
    held = 0;
    if (blockLength % 8 == 4) {
      store = UInt64(read_byte(S)) << 8;
      store += UInt64(read_byte(S));
      held = 16;
    }
  }
  Integer difference(TIERawDecoder& S, Integer len) {
    if (held < len) {
      for (Integer i = 0; i < 32; i += 8) store += UInt64(read_byte(S)) << (held + (i ^ 8));
      held += 32;
    }
    const Integer d = static_cast<Integer>(store & (0xFFFFu >> (16 - len)));
    store >>= len;
    held -= len;
    return raw_sign_extend(d, len);
  }
};

}  // namespace

void read_tone_curve(TIERawDecoder& S, Word* Curve) {
  for (Integer i = 0; i < kCurveSize; ++i) Curve[i] = static_cast<Word>(i);
  if (strcasecmp(S.make, "KODAK") != 0) return;
  if (!S.tone_curve_start) {
    // The curve's place is kept in a directory at 12 when identification did not find it. The
    // file need not hold one there: running past its end while looking is no truncated sensor data.
    const Int64 shortBefore = S.short_reads;
    raw_seek(S, 12);
    Integer entries = read_u16(S);
    while (entries-- > 0 && S.short_reads == shortBefore) {
      const Integer tag = read_u16(S);
      read_u16(S);
      const Cardinal count = read_u32(S);
      const Cardinal value = read_u32(S);
      if (tag == 0x090D) {
        S.tone_curve_start = static_cast<Integer>(value);
        S.tone_curve_length = static_cast<Integer>(count);
      }
    }
    S.short_reads = shortBefore;
  }
  // An empty curve has no last entry to repeat: the identity stays.
  if (S.tone_curve_start && S.tone_curve_length > 0) {
    raw_seek(S, static_cast<UInt64>(static_cast<Cardinal>(S.tone_curve_start)));
    const Integer n = S.tone_curve_length < kCurveSize ? S.tone_curve_length : kCurveSize;
    for (Integer i = 0; i < n; ++i) Curve[i] = static_cast<Word>(read_u16(S));
    for (Integer i = n; i < kCurveSize; ++i) Curve[i] = Curve[i - 1];
    S.saturation_level = Curve[kCurveSize - 1] << 2;
  }
  raw_seek(S, static_cast<UInt64>(static_cast<Cardinal>(S.data_offset)));
}

void kodak_easy_load_raw(TIERawDecoder& S) {
  const char* stage = "kodak_easy_load_raw()";
  Word curve[kCurveSize];
  read_tone_curve(S, curve);
  if (!raw_begin(S, stage, S.height)) return;
  std::vector<Byte> data = raw_work_buffer<Byte>(S.sensor_width, stage);
  Int64 sum = 0;
  Int64 masked = 0;
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), S.sensor_width);
    for (Integer col = 0; col < S.sensor_width; ++col) {
      const Integer c = col - S.active_left;
      const Integer v = curve[data[col]];
      if (c >= S.width) {
        sum += v;
        ++masked;
      } else if (c >= 0) {
        set_cell(S, row, c, v << 2);
      }
    }
    if (RawInputEnded(S)) break;
  }
  if (masked > 0) S.black = static_cast<Integer>(sum * 4 / masked);
  if (std::strncmp(S.model, "DC2", 3) == 0) S.black = 0;
  raw_check_truncated(S, stage);
}

void kodak_dc120_shuffled_load_raw(TIERawDecoder& S) {
  const char* stage = "kodak_dc120_shuffled_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  static const Integer mul[4] = {162, 192, 187, 92};
  static const Integer add[4] = {0, 636, 424, 212};
  Byte data[848];
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data, 848);
    const Integer m = mul[row & 3], a = add[row & 3];
    for (Integer col = 0; col < S.width && col < 848; ++col)
      set_cell(S, row, col, data[(col + Int64(row) * m + a) % 848] << 6);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

namespace {

// The DC120 keeps its JPEG with the bytes of every 16-bit pair exchanged: each block is put
// right before libjpeg sees it. Runs inside libjpeg's frames, so it never throws; the end of the
// data is handed over as an end-of-image marker and counted as a short read.
boolean dc120_fill_input(j_decompress_ptr Info) {
  auto* S = static_cast<TIERawDecoder*>(Info->client_data);
  Integer got = 0;
  try {
    while (got < kRawJpegBufferSize && S->stream) {
      const Integer n = S->stream->Read(S->jpeg_buffer + got, kRawJpegBufferSize - got);
      if (n <= 0) break;
      got += n;
    }
  } catch (...) {
  }
  if (got <= 0) {
    ++S->short_reads;
    S->jpeg_buffer[0] = 0xFF;
    S->jpeg_buffer[1] = JPEG_EOI;
    got = 2;
  } else {
    raw_swap_bytes16(S->jpeg_buffer, got);
  }
  JpegSetSourceData(reinterpret_cast<jpeg_decompress_struct*>(Info), S->jpeg_buffer, got);
  return TRUE;
}

}  // namespace

void kodak_dc120_jpeg_load_raw(TIERawDecoder& S) {
  const char* stage = "kodak_dc120_jpeg_load_raw()";
  if (!raw_begin(S, stage, S.height / 2)) return;
  jpeg_decompress_struct* d = JpegNewDecompressor();
  check_allocation(d, stage);
  TIEJpegErrorManager* err = JpegNewErrorManager(d);
  if (!err) {
    JpegDisposeDecompressor(d);
    check_allocation(nullptr, stage);
  }
  bool created = false;
  auto release = [&] {
    if (created) JpegDestroyDecompressor(d);
    JpegDisposeDecompressor(d);
    JpegDisposeErrorManager(err);
  };
  try {
    JpegCreateDecompressor(d);
    created = true;
    d->client_data = &S;
    JpegStreamSource(d, S.stream);
    JpegSetFillInputBuffer(d, dc120_fill_input);
    JpegReadHeader(d, true);
    JpegStartDecompress(d);
    if (JpegOutputWidth(d) != S.width || JpegOutputHeight(d) != S.height / 2 || JpegOutputComponents(d) != 3)
      throw EIERawError(": incorrect JPEG dimensions");
    JSAMPARRAY buf = JpegAllocSampleArray(d, JPOOL_IMAGE, S.width * 3, 1);
    while (JpegOutputScanline(d) < JpegOutputHeight(d)) {
      const Integer e = JpegOutputScanline(d);
      raw_progress_row(S, e);
      if (JpegReadScanlines(d, buf, 1) != 1) break;
      const JSAMPLE* px = buf[0];
      for (Integer c = 0; c + 1 < S.width; c += 2) {
        const JSAMPLE* p = px + c * 3;
        const JSAMPLE* q = p + 3;
        set_cell(S, 2 * e, c, p[1] << 6);
        set_cell(S, 2 * e + 1, c + 1, q[1] << 6);
        set_cell(S, 2 * e, c + 1, (p[0] + q[0]) << 5);
        set_cell(S, 2 * e + 1, c, (p[2] + q[2]) << 5);
      }
    }
    const bool damaged = err->DamageCode != 0;
    const AnsiString why = err->Damage;
    JpegFinishDecompress(d);
    if (damaged) raw_damaged(S, AnsiString("the JPEG of the raw sensor data is damaged: ") + why);
  } catch (...) {
    release();
    throw;
  }
  release();
  raw_check_truncated(S, stage);
}

void kodak_dc40_load_raw(TIERawDecoder&) { throw EIERawError(kRawDc40NotSupported); }

void kodak_packed_diff_load_raw(TIERawDecoder& S) {
  const char* stage = "kodak_packed_diff_load_raw()";
  Word curve[kCurveSize];
  read_tone_curve(S, curve);
  if (!raw_begin(S, stage, S.height)) return;
  Byte blen[256] = {};
  bool uncompressed = false;
  TKodakBits bits;
  Integer pred[2] = {0, 0};
  Integer raw[6] = {};
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    for (Integer col = 0; col < S.width; ++col) {
      if ((col & 255) == 0) {
        const Integer len = S.width - col > 256 ? 256 : S.width - col;
        const Int64 save = raw_tell(S);
        uncompressed = false;
        for (Integer i = 0; i < len; i += 2) {
          const Integer c = read_byte(S);
          blen[i] = static_cast<Byte>(c & 15);
          if (i + 1 < 256) blen[i + 1] = static_cast<Byte>(c >> 4);
          if ((c & 15) > 12 || (c >> 4) > 12) uncompressed = true;
        }
        pred[0] = pred[1] = 0;
        bits.start(S, len);
        if (uncompressed) raw_seek(S, save);
      }
      Integer v;
      if (uncompressed) {
        switch (col & 7) {
          case 0:
            for (Integer& w : raw) {
              const Integer hi = read_byte(S);
              w = (hi << 8) | read_byte(S);
            }
            v = ((raw[0] >> 12) << 8) | ((raw[2] >> 12) << 4) | (raw[4] >> 12);
            break;
          case 1:
            v = ((raw[1] >> 12) << 8) | ((raw[3] >> 12) << 4) | (raw[5] >> 12);
            break;
          default:
            v = raw[(col & 7) - 2] & 0xFFF;
        }
      } else {
        pred[col & 1] += bits.difference(S, blen[col & 255]);
        v = pred[col & 1];
      }
      set_cell(S, row, col, curve_at(curve, v) << 2);
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void kodak_ycc_load_raw(TIERawDecoder& S) {
  const char* stage = "kodak_ycc_load_raw()";
  Word curve[kCurveSize];
  read_tone_curve(S, curve);
  if (!raw_begin(S, stage, (S.height + 1) / 2)) return;
  Byte blen[384] = {};
  Integer li = 0;
  TKodakBits bits;
  Integer y[4] = {}, cb = 0, cr = 0;
  for (Integer row = 0; row < S.height; row += 2) {
    raw_progress_row(S, row / 2);
    for (Integer col = 0; col < S.width; col += 2) {
      if ((col & 127) == 0) {
        Integer len = ((S.width - col) * 3 + 3) & ~3;
        if (len > 384) len = 384;
        for (Integer i = 0; i < len; i += 2) {
          const Integer c = read_byte(S);
          blen[i] = static_cast<Byte>(c & 15);
          blen[i + 1] = static_cast<Byte>(c >> 4);
        }
        li = 0;
        y[1] = y[3] = cb = cr = 0;
        bits.start(S, len);
      }
      Integer six[6];
      for (Integer& d : six) d = bits.difference(S, blen[li < 384 ? li++ : 383]);
      y[0] = six[0] + y[1];
      y[1] = six[1] + y[0];
      y[2] = six[2] + y[3];
      y[3] = six[3] + y[2];
      cb += six[4];
      cr += six[5];
      for (Integer i = 0; i < 4; ++i) {
        Word* px = image_pixel(S, row + (i >> 1), col + (i & 1));
        if (!px) continue;
        const Integer rgb[3] = {y[i] + cr, y[i], y[i] + cb};
        for (Integer c = 0; c < 3; ++c)
          if (rgb[c] > 0) px[c] = static_cast<Word>(curve_at(curve, rgb[c]) << 2);
      }
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}
