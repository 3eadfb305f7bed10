// Sensor data stored as plain or bit-packed samples, without entropy coding.
#include <cstdlib>
#include <cstring>

#include "imaging/formats/raw/ie_raw_decoders.h"

namespace {

// Black from the masked columns: Sum of Count samples scaled by Scale, over the rows; 0 samples
// leave black as it was.
void masked_black(TIERawDecoder& S, Int64 Sum, Int64 Count, Integer Scale) {
  if (Count > 0) S.black = static_cast<Integer>(Sum * Scale / Count);
}

Integer be16(const Byte* p) { return (p[0] << 8) | p[1]; }
Integer le16(const Byte* p) { return p[0] | (p[1] << 8); }

// The model number after the leading letter ("E990" -> 990); 0 when there is none.
Integer model_number(const TIERawDecoder& S) { return std::atoi(S.model + 1); }

}  // namespace

void canon_10bit_interleaved_load_raw(TIERawDecoder& S) {
  const char* stage = "canon_10bit_interleaved_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  Byte data[1120];
  Word pixel[896];
  Int64 sum = 0;
  Integer row = 0;
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    read_block(S, data, 1120);
    for (Integer d = 0, p = 0; d < 1120; d += 10, p += 8) {
      const Byte* b = data + d;
      pixel[p + 0] = static_cast<Word>((b[0] << 2) + (b[1] >> 6));
      pixel[p + 1] = static_cast<Word>((b[2] << 2) + ((b[1] >> 4) & 3));
      pixel[p + 2] = static_cast<Word>((b[3] << 2) + ((b[1] >> 2) & 3));
      pixel[p + 3] = static_cast<Word>((b[4] << 2) + (b[1] & 3));
      pixel[p + 4] = static_cast<Word>((b[5] << 2) + (b[9] & 3));
      pixel[p + 5] = static_cast<Word>((b[6] << 2) + ((b[9] >> 2) & 3));
      pixel[p + 6] = static_cast<Word>((b[7] << 2) + ((b[9] >> 4) & 3));
      pixel[p + 7] = static_cast<Word>((b[8] << 2) + (b[9] >> 6));
    }
    for (Integer col = 0; col < S.width && col < 896; ++col) set_cell(S, row, col, pixel[col] << 4);
    for (Integer col = S.width; col < 896; ++col) sum += pixel[col];
    // Even rows, then odd ones; at an even height row == height is already past the end.
    if ((row += 2) >= S.height) row = 1;
    if (RawInputEnded(S)) break;
  }
  if (S.width < 896) masked_black(S, sum, Int64(896 - S.width) * S.height, 16);
  raw_check_truncated(S, stage);
}

void canon_10bit_packed_load_raw(TIERawDecoder& S) {
  const char* stage = "canon_10bit_packed_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  const Integer bytes = S.sensor_width * 10 / 8;
  std::vector<Byte> data = raw_work_buffer<Byte>(bytes + 10, stage);
  std::vector<Word> pixel = raw_work_buffer<Word>(Int64(bytes / 10 + 1) * 8, stage);
  Int64 sum = 0;
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), bytes);
    for (Integer d = 0, p = 0; d + 10 <= bytes; d += 10, p += 8) {
      const Byte* b = data.data() + d;
      pixel[p + 0] = static_cast<Word>(((b[1] << 2) + (b[0] >> 6)) & 0x3FF);
      pixel[p + 1] = static_cast<Word>(((b[0] << 4) + (b[3] >> 4)) & 0x3FF);
      pixel[p + 2] = static_cast<Word>(((b[3] << 6) + (b[2] >> 2)) & 0x3FF);
      pixel[p + 3] = static_cast<Word>(((b[2] << 8) + b[5]) & 0x3FF);
      pixel[p + 4] = static_cast<Word>(((b[4] << 2) + (b[7] >> 6)) & 0x3FF);
      pixel[p + 5] = static_cast<Word>(((b[7] << 4) + (b[6] >> 4)) & 0x3FF);
      pixel[p + 6] = static_cast<Word>(((b[6] << 6) + (b[9] >> 2)) & 0x3FF);
      pixel[p + 7] = static_cast<Word>(((b[9] << 8) + b[8]) & 0x3FF);
    }
    const Integer decoded = bytes / 10 * 8;
    for (Integer col = 0; col < S.width && col < decoded; ++col) set_cell(S, row, col, pixel[col] << 4);
    for (Integer col = S.width; col < S.sensor_width && col < decoded; ++col) sum += pixel[col];
    if (RawInputEnded(S)) break;
  }
  if (S.sensor_width > S.width) masked_black(S, sum, Int64(S.sensor_width - S.width) * S.height, 16);
  raw_check_truncated(S, stage);
}

void nikon_12bit_load_raw(TIERawDecoder& S) {
  const char* stage = "nikon_12bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  const bool fields = S.model[0] == 'E';
  const Integer half = S.height / 2;
  read_bits(S, -1);
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    Integer row = irow;
    if (fields && half > 0) {
      row = irow / half + (2 * irow) % S.height;
      if (row == 1 && model_number(S) < 5000) {
        raw_seek(S, raw_size(S) / 2);
        read_bits(S, -1);
      }
    }
    for (Integer col = 0; col < S.sensor_width; ++col) {
      const Integer v = read_bits(S, 12);
      const Integer c = col - S.active_left;
      if (c >= 0 && c < S.width) set_cell(S, row, c, v << 2);
      if (S.compression == 34713 && col % 10 == 9) read_bits(S, 8);
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void swapped_12bit_load_raw(TIERawDecoder& S) {
  const char* stage = "swapped_12bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  const Integer bytes = S.width * 3 / 2;
  std::vector<Byte> data = raw_work_buffer<Byte>(bytes + 12, stage);
  std::vector<Word> pixel = raw_work_buffer<Word>(Int64(bytes / 12 + 1) * 8, stage);
  const Integer even_rows = (S.height + 1) / 2;
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    if (irow == even_rows) raw_skip(S, S.width == 1616 ? 8792 : 424);
    const Integer row = irow < even_rows ? irow * 2 : (irow - even_rows) * 2 + 1;
    read_block(S, data.data(), bytes);
    for (Integer d = 0, p = 0; d + 12 <= bytes; d += 12, p += 8) {
      const Byte* b = data.data() + d;
      pixel[p + 0] = static_cast<Word>(((b[2] >> 4) + (b[3] << 4)) & 0xFFF);
      pixel[p + 1] = static_cast<Word>(((b[2] << 8) + b[1]) & 0xFFF);
      pixel[p + 2] = static_cast<Word>(((b[7] >> 4) + (b[0] << 4)) & 0xFFF);
      pixel[p + 3] = static_cast<Word>(((b[7] << 8) + b[6]) & 0xFFF);
      pixel[p + 4] = static_cast<Word>(((b[4] >> 4) + (b[5] << 4)) & 0xFFF);
      pixel[p + 5] = static_cast<Word>(((b[4] << 8) + b[11]) & 0xFFF);
      pixel[p + 6] = static_cast<Word>(((b[9] >> 4) + (b[10] << 4)) & 0xFFF);
      pixel[p + 7] = static_cast<Word>(((b[9] << 8) + b[8]) & 0xFFF);
    }
    const Integer decoded = bytes / 12 * 8;
    for (Integer col = 0; col < S.width && col < decoded; ++col) set_cell(S, row, col, pixel[col] << 2);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void coolpix_10bit_load_raw(TIERawDecoder& S) {
  const char* stage = "coolpix_10bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  read_bits(S, -1);
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    // Even rows first, then the odd ones: the second field must not land on the first.
    Integer row = irow * 2;
    if (row >= S.height) row = row - S.height + 1;
    for (Integer col = 0; col < S.width; ++col) set_cell(S, row, col, read_bits(S, 10) << 4);
    for (Integer i = 0; i < 28; ++i) read_bits(S, 8);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void rollei_10bit_load_raw(TIERawDecoder& S) {
  const char* stage = "rollei_10bit_load_raw()";
  if (!raw_begin(S, stage, 0)) return;
  if (S.sensor_width <= 0) {
    raw_damaged(S, AnsiString("the camera's sensor size is not valid (") + stage + ")");
    return;
  }
  Byte pixel[10];
  Int64 iten = 0;
  Int64 isix = Int64(S.sensor_width) * S.sensor_height * 5 / 8;
  Cardinal store = 0;
  auto put = [&](Int64 index, Integer value) {
    const Int64 row = index / S.sensor_width - S.active_top;
    const Int64 col = index % S.sensor_width - S.active_left;
    if (row >= 0 && col >= 0 && row < S.height && col < S.width)
      set_cell(S, static_cast<Integer>(row), static_cast<Integer>(col), (value & 0x3FF) << 4);
  };
  // Runs to the end of the stream: the data have no other end.
  while (S.stream && S.stream->Read(pixel, 10) == 10) {
    for (Integer i = 0; i < 10; i += 2) {
      put(iten++, be16(pixel + i));
      store = (store << 6) | (pixel[i] >> 2);
    }
    // Five words of 6 bits make 30 bits: three 10-bit samples.
    put(isix++, static_cast<Integer>(store >> 20));
    put(isix++, static_cast<Integer>(store >> 10));
    put(isix++, static_cast<Integer>(store));
  }
}

void phase_one_masked_load_raw(TIERawDecoder& S) {
  const char* stage = "phase_one_masked_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  raw_skip(S, 8);
  raw_skip(S, Int64(read_u32(S)) + 296);
  const Integer akey = read_u16(S);
  const Integer bkey = read_u16(S);
  raw_seek(S, Int64(S.data_offset) + Int64(S.active_top) * S.sensor_width * 2 + 12);
  std::vector<Byte> data = raw_work_buffer<Byte>(Int64(S.sensor_width) * 2 + 4, stage);
  std::vector<Word> pixel = raw_work_buffer<Word>(Int64(S.sensor_width) + 2, stage);
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), S.sensor_width * 2);
    for (Integer col = 0; col + 1 < S.sensor_width; col += 2) {
      const Integer a = be16(&data[col * 2]) ^ akey;
      const Integer b = be16(&data[col * 2 + 2]) ^ bkey;
      pixel[col] = static_cast<Word>((b & 0xAAAA) | (a & 0x5555));
      pixel[col + 1] = static_cast<Word>((a & 0xAAAA) | (b & 0x5555));
    }
    for (Integer col = 0; col < S.width && col + S.active_left < S.sensor_width; ++col)
      set_cell(S, row, col, pixel[col + S.active_left]);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void imacon_reversed_load_raw(TIERawDecoder& S) {
  const char* stage = "imacon_reversed_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  raw_seek(S, 49384);
  Byte data[8180];
  for (Integer i = 0; i < S.height; ++i) {
    raw_progress_row(S, i);
    const Integer row = S.height - 1 - i;
    read_block(S, data, 8180);
    for (Integer col = 0; col < S.width; ++col) {
      const Integer k = S.width - 1 - col;
      if (k < 4090) set_cell(S, row, col, le16(data + k * 2));
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void packed_12bit_load_raw(TIERawDecoder& S) {
  const char* stage = "packed_12bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  read_bits(S, -1);
  // sensor_width counts bytes here; a row longer than that skips nothing.
  const Integer skip = S.sensor_width - S.width * 3 / 2;
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    for (Integer col = 0; col < S.width; ++col) set_cell(S, row, col, read_bits(S, 12) << 2);
    for (Integer i = 0; i < skip; ++i) read_bits(S, 8);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void unpacked_load_raw(TIERawDecoder& S, bool BigEndian, Integer Shift) {
  const char* stage = "unpacked_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  if (Shift < -8) Shift = -8;
  if (Shift > 16) Shift = 16;
  std::vector<Byte> data = raw_work_buffer<Byte>(Int64(S.sensor_width) * 2, stage);
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), S.sensor_width * 2);
    for (Integer col = 0; col < S.width && col < S.sensor_width; ++col) {
      const Integer s = BigEndian ? be16(&data[col * 2]) : le16(&data[col * 2]);
      set_cell(S, row, col, (s << 8) >> (Shift + 8));
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void unpacked_mm_left2_load_raw(TIERawDecoder& S) { unpacked_load_raw(S, true, -2); }
void unpacked_mm_left4_load_raw(TIERawDecoder& S) { unpacked_load_raw(S, true, -4); }
void unpacked_mm_load_raw(TIERawDecoder& S) { unpacked_load_raw(S, true, 0); }
void unpacked_mm_right2_load_raw(TIERawDecoder& S) { unpacked_load_raw(S, true, 2); }
void unpacked_ii_right2_load_raw(TIERawDecoder& S) { unpacked_load_raw(S, false, 2); }

void olympus_interlaced_load_raw(TIERawDecoder& S) {
  const char* stage = "olympus_interlaced_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  const Integer half = S.height / 2;
  const Int64 field_bytes = (Int64(S.height) * S.width * 3 / 4 + 2047) / 2048 * 2048;
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    const Integer row = half > 0 ? (irow * 2) % S.height + irow / half : irow;
    if (irow == 0 || (half > 0 && row == 1)) {
      raw_seek(S, S.data_offset + (irow == 0 ? 0 : field_bytes));
      read_bits(S, -1);
    }
    for (Integer col = 0; col < S.width; ++col) set_cell(S, row, col, read_bits(S, 12) << 2);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void eight_bit_load_raw(TIERawDecoder& S) {
  const char* stage = "eight_bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  std::vector<Byte> data = raw_work_buffer<Byte>(S.sensor_width, stage);
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), S.sensor_width);
    for (Integer col = 0; col < S.width && col < S.sensor_width; ++col) set_cell(S, row, col, data[col] << 6);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void casio_10bit_load_raw(TIERawDecoder& S) {
  const char* stage = "casio_10bit_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  Byte data[3232];
  Word pixel[2588];
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data, 3232);
    for (Integer d = 0, p = 0; d + 5 <= 3232; d += 5, p += 4) {
      const Byte* b = data + d;
      pixel[p + 0] = static_cast<Word>(((b[0] << 2) + (b[1] >> 6)) & 0x3FF);
      pixel[p + 1] = static_cast<Word>(((b[1] << 4) + (b[2] >> 4)) & 0x3FF);
      pixel[p + 2] = static_cast<Word>(((b[2] << 6) + (b[3] >> 2)) & 0x3FF);
      pixel[p + 3] = static_cast<Word>(((b[3] << 8) + b[4]) & 0x3FF);
    }
    for (Integer col = 0; col < S.width && col < 2584; ++col) set_cell(S, row, col, pixel[col] << 4);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void nucore_load_raw(TIERawDecoder& S) {
  const char* stage = "nucore_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  std::vector<Byte> data = raw_work_buffer<Byte>(Int64(S.width) * 2, stage);
  const bool reordered = S.model[0] == 'B' && S.width == 2598;
  for (Integer irow = 0; irow < S.height; ++irow) {
    raw_progress_row(S, irow);
    read_block(S, data.data(), S.width * 2);
    const Integer row = reordered ? S.height - 1 - irow / 2 - ((irow & 1) ? S.height / 2 : 0) : irow;
    for (Integer col = 0; col < S.width; ++col) set_cell(S, row, col, le16(&data[col * 2]) << 2);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}
