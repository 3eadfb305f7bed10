// Sensor data coded as Huffman-coded differences: Canon CRW, lossless JPEG, Nikon and Sigma.
#include <strings.h>

#include <cstring>

#include "imaging/formats/raw/ie_raw_decoders.h"

void canon_compressed_load_raw(TIERawDecoder& S) {
  const char* stage = "canon_compressed_load_raw()";
  if (S.tree_root[0] < 0) throw EIERawError(": Huffman table not defined");
  if (S.tree_root[1] < 0) throw EIERawError(kRawCanonNotSupported);
  if (!raw_begin(S, stage, S.sensor_height > 0 ? (S.sensor_height + 7) / 8 : 0)) return;
  const Integer sw = S.sensor_width;
  std::vector<Word> outbuf = raw_work_buffer<Word>(Int64(sw) * 8, stage);
  const Integer low = canon_low_bits_present(S) ? 1 : 0;
  const Integer shift = 4 - 2 * low;
  raw_seek(S, 540 + Int64(low) * S.sensor_height * sw / 4);
  S.ff_stuffing = 1;
  read_bits(S, -1);
  Integer base[2] = {512, 512};
  Integer carry = 0;
  Int64 pnum = 0;
  Int64 black_sum = 0;
  Int64 black_count = 0;
  for (Integer row = 0; row < S.sensor_height; row += 8) {
    raw_progress_row(S, row / 8);
    for (Integer block = 0; block < sw / 8; ++block) {
      Integer diff[64] = {};
      Integer root = S.tree_root[0];
      for (Integer i = 0; i < 64; ++i) {
        const Integer leaf = decode_symbol(S, root);
        root = S.tree_root[1];
        if (leaf == 0 && i) break;
        if (leaf == 0xFF) continue;
        i += leaf >> 4;
        const Integer n = leaf & 15;
        if (n == 0) continue;
        const Integer d = raw_sign_extend(read_bits(S, n), n);
        if (i < 64) diff[i] = d;
      }
      diff[0] += carry;
      carry = diff[0];
      for (Integer i = 0; i < 64; ++i) {
        if (pnum++ % sw == 0) base[0] = base[1] = 512;
        base[i & 1] += diff[i];
        outbuf[block * 64 + i] = static_cast<Word>(base[i & 1]);
      }
    }
    if (low) {
      const Int64 save = raw_tell(S);
      raw_seek(S, 26 + Int64(row) * sw / 4);
      Word* p = outbuf.data();
      for (Integer i = 0; i < sw * 2; ++i) {
        const Integer c = read_byte(S);
        for (Integer k = 0; k < 8; k += 2, ++p) {
          Integer v = (*p << 2) + ((c >> k) & 3);
          if (sw == 2672 && v < 512) v += 2;
          *p = static_cast<Word>(v);
        }
      }
      raw_seek(S, save);
    }
    for (Integer r = 0; r < 8; ++r) {
      const Integer i = row + r - S.active_top;
      if (i < 0 || i >= S.height) continue;
      for (Integer col = 0; col < sw; ++col) {
        const Integer j = col - S.active_left;
        const Integer v = outbuf[r * sw + col];
        if (j >= 0 && j < S.width) {
          set_cell(S, i, j, v << shift);
        } else {
          black_sum += v;
          ++black_count;
        }
      }
    }
    if (RawInputEnded(S)) break;
  }
  if (sw > S.width && black_count > 0) S.black = static_cast<Integer>((black_sum << shift) / (Int64(sw - S.width) * S.height));
  raw_check_truncated(S, stage);
}

void lossless_huffman_load_raw(TIERawDecoder& S) {
  const char* stage = "lossless_huffman_load_raw()";
  Word curve[4096];
  read_tone_curve(S, curve);
  if (!raw_begin(S, stage, 0)) return;
  S.order = kRawOrderMotorola;
  if (read_u16(S) != 0xFFD8) {
    raw_damaged(S, "the raw sensor data is not a lossless JPEG stream (lossless_huffman_load_raw())");
    return;
  }
  Integer rows = 0;
  Integer per_row = 0;
  // One pool for all table segments: a file may define its two tables in two segments.
  reset_tree_pool(S);
  Byte seg[256];
  for (;;) {
    const Integer marker = read_u16(S);
    const Integer length = read_u16(S) - 2;
    if (marker < 0xFF01 || length < 0 || length >= 256 || RawInputEnded(S)) {
      raw_damaged(S, "the lossless JPEG stream of the raw sensor data has a malformed marker (lossless_huffman_load_raw())");
      return;
    }
    read_block(S, seg, length);
    if (marker == 0xFFC3 && length >= 5) {
      rows = (seg[1] << 8) | seg[2];
      per_row = ((seg[3] << 8) | seg[4]) * 2;
    } else if (marker == 0xFFC4) {
      Integer at = 0;
      while (at < length && seg[at] <= 1) {
        const Integer table = seg[at];
        Integer used = 0;
        S.tree_root[table] = build_huffman_tree(S, seg + at + 1, length - at - 1, &used);
        at += 1 + used;
      }
    }
    if (marker == 0xFFDA) break;
  }
  if (rows <= 0 || per_row <= 0 || S.sensor_width <= 0) {
    raw_damaged(S, "the lossless JPEG stream of the raw sensor data has no frame size (lossless_huffman_load_raw())");
    return;
  }
  if (S.tree_root[0] < 0 || (per_row > 1 && S.tree_root[1] < 0))
    throw EIERawError(": Huffman table not defined");
  raw_progress_start(S, rows);
  S.ff_stuffing = 1;
  read_bits(S, -1);
  Integer vpred[2] = {2048, 2048};
  Integer hpred[2] = {0, 0};
  Int64 black_sum = 0;
  Int64 black_count = 0;
  Integer smallest = 0x7FFFFFFF;
  const bool slices = S.sensor_width == 5108;
  for (Integer row = 0; row < rows; ++row) {
    raw_progress_row(S, row);
    for (Integer j = 0; j < per_row; ++j) {
      const Integer n = decode_symbol(S, S.tree_root[j & 1]);
      if (n > 16) {
        raw_damaged(S, "the lossless JPEG stream of the raw sensor data has an invalid code length (lossless_huffman_load_raw())");
        return;
      }
      const Integer diff = raw_sign_extend(read_bits(S, n), n);
      if (j < 2) {
        vpred[j] += diff;
        hpred[j] = vpred[j];
      } else {
        hpred[j & 1] += diff;
      }
      Integer v = hpred[j & 1];
      if (v < 0) v = 0;
      if (v > 4095) v = 4095;
      v = curve[v];
      const Int64 k = j + Int64(row) * per_row;
      Int64 r, c;
      if (slices) {
        const Int64 slice = k / (1680 * Int64(rows));
        if (slice < 2) {
          r = k / 1680 % rows;
          c = k % 1680 + slice * 1680;
        } else {
          r = (k - Int64(rows) * 3360) / 1748;
          c = (k - Int64(rows) * 3360) % 1748 + 3360;
        }
      } else {
        r = k / S.sensor_width;
        c = k % S.sensor_width;
      }
      r -= S.active_top;
      c -= S.active_left;
      if (r < 0 || r >= S.height) continue;
      if (c >= 0 && c < S.width) {
        set_cell(S, static_cast<Integer>(r), static_cast<Integer>(c), v << 2);
        if (v < smallest) smallest = v;
      } else if (c >= S.width) {
        black_sum += v;
        ++black_count;
      }
    }
    if (RawInputEnded(S)) break;
  }
  if (black_count > 0) S.black = static_cast<Integer>((black_sum << 2) / black_count);
  if (strcasecmp(S.make, "KODAK") == 0) S.black = smallest == 0x7FFFFFFF ? 0 : smallest << 2;
  raw_check_truncated(S, stage);
}

void nikon_compressed_load_raw(TIERawDecoder& S) {
  const char* stage = "nikon_compressed_load_raw()";
  if (!raw_begin(S, stage, S.height)) return;
  reset_tree_pool(S);
  const Integer root = build_huffman_tree(S, nikon_tree_source(), 30);
  raw_seek(S, S.tone_curve_start);
  Integer vpred[4];
  for (Integer& v : vpred) v = read_u16(S);
  Integer n = read_u16(S);
  std::vector<Word> curve;
  if (n == 0) {
    // A curve of no entries cannot map any value; the samples keep their linear values.
    raw_damaged(S, "the raw file's tone curve is empty (nikon_compressed_load_raw())");
    n = 4096;
    curve = raw_work_buffer<Word>(n, stage);
    for (Integer i = 0; i < n; ++i) curve[i] = static_cast<Word>(i);
  } else {
    curve = raw_work_buffer<Word>(n, stage);
    for (Integer i = 0; i < n; ++i) curve[i] = static_cast<Word>(read_u16(S));
  }
  raw_seek(S, S.data_offset);
  read_bits(S, -1);
  for (Integer row = 0; row < S.height; ++row) {
    raw_progress_row(S, row);
    Integer hpred[2] = {0, 0};
    for (Integer col = 0; col < S.sensor_width; ++col) {
      const Integer len = decode_symbol(S, root);
      const Integer diff = raw_sign_extend(read_bits(S, len), len);
      if (col < 2) {
        Integer& v = vpred[2 * (row & 1) + col];
        v += diff;
        hpred[col] = v;
      } else {
        hpred[col & 1] += diff;
      }
      const Integer c = col - S.active_left;
      if (c < 0 || c >= S.width) continue;
      Integer v = hpred[col & 1];
      if (v < 0) v = 0;
      if (v > n - 1) v = n - 1;
      set_cell(S, row, c, curve[v] << 2);
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void sigma_huffman_load_raw(TIERawDecoder& S) {
  const char* stage = "sigma_huffman_load_raw()";
  if (!raw_begin(S, stage, S.sensor_height)) return;
  raw_seek(S, kSigmaTablesAt);
  std::vector<SmallInt> diff(1024);
  std::vector<Cardinal> code(1024);
  for (auto& d : diff) d = static_cast<SmallInt>(read_u16(S));
  for (auto& c : code) c = read_u32(S);
  reset_tree_pool(S);
  const Integer root = build_sigma_tree(S, code.data());
  Cardinal store = 0;
  Integer bit = -1;  // no row before the first
  for (Integer row = 0; row < S.sensor_height; ++row) {
    raw_progress_row(S, row);
    SmallInt pred[3] = {0, 0, 0};
    if (bit == 0) read_u32(S);  // a row that ended on a word boundary is followed by a spare word
    bit = 0;
    for (Integer col = 0; col < S.sensor_width; ++col) {
      for (Integer c = 0; c < 3; ++c) {
        Integer node = root;
        while (S.pool[node].branch[0] != 0) {
          bit = (bit - 1) & 31;
          if (bit == 31) {
            for (Integer i = 0; i < 4; ++i) store = (store << 8) | Cardinal(read_byte(S));
          }
          const Integer next = S.pool[node].branch[(store >> bit) & 1];
          if (next <= node) break;
          node = next;
        }
        pred[c] = static_cast<SmallInt>(pred[c] + diff[S.pool[node].leaf & 1023]);
      }
      const Integer r = row - S.active_top;
      const Integer cc = col - S.active_left;
      if (Word* px = (r >= 0 && cc >= 0 && r < S.height && cc < S.width) ? image_pixel(S, r, cc) : nullptr) {
        for (Integer c = 0; c < 3; ++c)
          if (pred[c] > 0) px[c] = static_cast<Word>(pred[c]);
      }
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}
