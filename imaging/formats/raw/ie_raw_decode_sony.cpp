// The Sony F828: sensor data XORed with a keystream that starts from a key kept in the file.
#include "imaging/formats/raw/ie_raw_decoders.h"

namespace {

Cardinal load_le32(const Byte* p) {
  return Cardinal(p[0]) | (Cardinal(p[1]) << 8) | (Cardinal(p[2]) << 16) | (Cardinal(p[3]) << 24);
}

void store_le32(Byte* p, Cardinal v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
  p[2] = static_cast<Byte>(v >> 16);
  p[3] = static_cast<Byte>(v >> 24);
}

Cardinal byte_reversed(Cardinal v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

// The keystream works on the words as the camera's little-endian machine loads them.
void xor_bytes(TIERawDecoder& S, Byte* Data, Integer Words, bool Start, Cardinal Key) {
  std::vector<Cardinal> w(static_cast<size_t>(Words > 0 ? Words : 0));
  for (Integer i = 0; i < Words; ++i) w[i] = load_le32(Data + 4 * i);
  sony_keystream_xor(S, w.data(), Words, Start, Key);
  for (Integer i = 0; i < Words; ++i) store_le32(Data + 4 * i, w[i]);
}

}  // namespace

void sony_keystream_xor(TIERawDecoder& S, Cardinal* Words, Integer Count, bool Start, Cardinal Key) {
  Cardinal* pad = S.sony_key;
  if (Start) {
    for (Integer p = 0; p < 4; ++p) pad[p] = Key = Key * 48828125u + 1;
    pad[3] = (pad[3] << 1) | ((pad[0] ^ pad[2]) >> 31);
    for (Integer p = 4; p < 127; ++p) pad[p] = ((pad[p - 4] ^ pad[p - 2]) << 1) | ((pad[p - 3] ^ pad[p - 1]) >> 31);
    for (Integer p = 0; p < 127; ++p) pad[p] = byte_reversed(pad[p]);
    S.sony_pos = 127;
  }
  for (Integer i = 0; i < Count; ++i) {
    const Cardinal p = static_cast<Cardinal>(S.sony_pos);
    pad[p & 127] = pad[(p + 1) & 127] ^ pad[(p + 65) & 127];
    Words[i] ^= pad[p & 127];
    S.sony_pos = static_cast<Integer>((p + 1) & 0x7FFFFFFF);
  }
}

void sony_f828_load_raw(TIERawDecoder& S) {
  const char* stage = "sony_f828_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  raw_seek(S, 200896);
  raw_skip(S, Int64(read_byte(S)) * 4 - 1);
  S.order = kRawOrderMotorola;
  Cardinal key = read_u32(S);
  Byte head[40];
  raw_seek(S, 164600);
  read_block(S, head, 40);
  xor_bytes(S, head, 10, true, key);
  key = load_le32(head + 22);
  raw_seek(S, 862144);
  const Integer sw = S.sensor_width;
  std::vector<Byte> data = raw_work_buffer<Byte>(Int64(sw) * 2 + 4, stage);
  Int64 sum = 0;
  Int64 others = 0;
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    read_block(S, data.data(), sw * 2);
    xor_bytes(S, data.data(), sw / 2, row == 0, key);
    for (Integer col = 0; col < 3343 && col < sw; ++col) {
      const Integer v = (data[col * 2] << 8) | data[col * 2 + 1];
      const Integer c = col - S.active_left;
      if (c >= 0 && c < S.width) {
        set_cell(S, row, c, v);
      } else {
        sum += v;
        ++others;
      }
    }
    if (RawInputEnded(S)) break;
  }
  if (others > 0) S.black = static_cast<Integer>(sum / others);
  raw_check_truncated(S, stage);
}
