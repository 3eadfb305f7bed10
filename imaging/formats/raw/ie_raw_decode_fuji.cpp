// Fuji sensors whose cells lie on a grid turned by 45 degrees: each stored row runs along a
// diagonal of the image buffer, which the reader turns upright after development.
#include "imaging/formats/raw/ie_raw_decoders.h"

void fuji_s2_diagonal_load_raw(TIERawDecoder& S) {
  const char* stage = "fuji_s2_diagonal_load_raw()";
  if (!raw_begin(S, stage, 2144)) return;
  S.diagonal_sensor = 1;
  raw_skip(S, 141376);
  std::vector<Byte> data = raw_work_buffer<Byte>(2944 * 2, stage);
  for (Integer i = 0; i < 2144; ++i) {
    raw_progress_row(S, i);
    read_block(S, data.data(), 2944 * 2);
    for (Integer j = 0; j < 2880; ++j)
      set_cell(S, (j + 1) / 2 + i, j / 2 - i + 2143, ((data[j * 2] << 8) | data[j * 2 + 1]) << 2);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void fuji_diagonal_rows(TIERawDecoder& S, Integer n, Integer k, Integer m) {
  const char* stage = "fuji_diagonal_load_raw()";
  if (!raw_begin(S, stage, m)) return;
  S.diagonal_sensor = 1;
  if (k >= n) k = n - 1;
  std::vector<Byte> data = raw_work_buffer<Byte>(Int64(n) * 2, stage);
  for (Integer r = 0; r < m; ++r) {
    raw_progress_row(S, r);
    read_block(S, data.data(), n * 2);
    for (Integer c = 0; c <= k; ++c)
      set_cell(S, k - c + r / 2, c + (r + 1) / 2, (data[c * 2] | (data[c * 2 + 1] << 8)) << 2);
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}

void fuji_s5000_diagonal_load_raw(TIERawDecoder& S) {
  raw_skip(S, 11824);
  fuji_diagonal_rows(S, 1472, 1423, 2152);
}

void fuji_s7000_diagonal_load_raw(TIERawDecoder& S) { fuji_diagonal_rows(S, 2048, 2047, 3080); }

void fuji_f700_diagonal_load_raw(TIERawDecoder& S) {
  const char* stage = "fuji_f700_diagonal_load_raw()";
  if (!raw_begin(S, stage, 2168)) return;
  S.diagonal_sensor = 1;
  const Integer first = 16 + (S.opt_secondary_cells ? 1472 : 0);
  std::vector<Byte> data = raw_work_buffer<Byte>(2944 * 2, stage);
  for (Integer i = 0; i < 2168; ++i) {
    raw_progress_row(S, i);
    read_block(S, data.data(), 2944 * 2);
    for (Integer j = 0; j < 1440; ++j) {
      const Integer at = (first + j) * 2;
      set_cell(S, i / 2 - j + 1439, j + (i + 1) / 2, data[at] | (data[at + 1] << 8));
    }
    if (RawInputEnded(S)) break;
  }
  raw_check_truncated(S, stage);
}
