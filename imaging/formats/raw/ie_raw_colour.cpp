// From one sample per sensor cell to R, G, B per pixel: black level and channel multipliers,
// the bilinear fill of the colours a cell's filter does not see, and the camera-to-RGB step with
// the luminance histogram the reader takes its white point from.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/formats/raw/ie_raw.h"

namespace {

Word* Pixel(TIERawDecoder& S, Integer Row, Integer Col) { return S.image[size_t(Row) * size_t(S.width) + size_t(Col)]; }

Integer Clamp(double V, Integer Low, Integer High) {
  if (!(V >= Low)) return Low;  // NaN included
  if (V > High) return High;
  return Integer(V);
}

}  // namespace

void cmyg_to_rgb_coefficients(TIERawDecoder& S) {
  static const double kResponse[4][3] = {{0.11, 0.86, 0.08}, {0.5, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};
  double matrix[3][4] = {};
  for (Integer left = 0; left < 4; ++left) {
    Integer channel[3], n = 0;
    for (Integer c = 0; c < 4; ++c)
      if (c != left) channel[n++] = c;
    // Gauss-Jordan on [A | I] with A's rows the responses of the three channels kept.
    double work[3][6] = {};
    for (Integer r = 0; r < 3; ++r) {
      for (Integer k = 0; k < 3; ++k) work[r][k] = kResponse[channel[r]][k];
      work[r][3 + r] = 1;
    }
    for (Integer p = 0; p < 3; ++p) {
      const double pivot = work[p][p];
      for (Integer k = 0; k < 6; ++k) work[p][k] /= pivot;
      for (Integer r = 0; r < 3; ++r) {
        if (r == p) continue;
        const double f = work[r][p];
        for (Integer k = 0; k < 6; ++k) work[r][k] -= f * work[p][k];
      }
    }
    // work's right half is the inverse of A: its entry (r, k) takes colour r from the value of
    // the channel of A's row k.
    for (Integer r = 0; r < 3; ++r)
      for (Integer k = 0; k < 3; ++k) matrix[r][channel[k]] += work[r][3 + k];
  }
  for (Integer r = 0; r < 3; ++r) {
    double sum = 0;
    for (Integer c = 0; c < 4; ++c) sum += matrix[r][c];
    for (Integer c = 0; c < 4; ++c) S.fixed_matrix[r][c] = float(matrix[r][c] / sum);
  }
  S.use_fixed_matrix = 1;
}

void apply_white_balance(TIERawDecoder& S) {
  S.saturation_level -= S.black;
  const Integer colors = std::clamp(S.colors, 1, 4);
  const size_t pixels = size_t(S.height) * size_t(S.width);
  if (S.opt_auto_wb || (S.opt_camera_wb && S.camera_wb_red == -1)) {
    double sum[4] = {}, count[4] = {};
    for (size_t i = 0; i < pixels; ++i)
      for (Integer c = 0; c < colors; ++c) {
        Integer v = S.image[i][c];
        if (!v) continue;
        v = std::max(v - S.black, 0);
        if (v > S.saturation_level - 100) continue;
        sum[c] += v;
        count[c] += 1;
      }
    // A channel without a usable sample (all clipped, or none at all) keeps its multiplier:
    // its mean would be a division by zero.
    double mean[4] = {}, largest = 0;
    bool usable = true;
    for (Integer c = 0; c < colors; ++c) {
      mean[c] = count[c] > 0 ? sum[c] / count[c] : 0;
      if (mean[c] <= 0) usable = false;
      largest = std::max(largest, mean[c]);
    }
    if (usable)
      for (Integer c = 0; c < colors; ++c) S.wb_multipliers[c] = float(largest / mean[c]);
  }
  if (S.opt_camera_wb && S.camera_wb_red != -1) {
    double sum[4] = {}, count[4] = {};
    for (Integer row = 0; row < 8; ++row)
      for (Integer col = 0; col < 8; ++col) {
        const Integer c = filter_colour(S, row, col);
        const Integer v = Integer(S.white[row][col]) - S.black;
        if (v > 0) sum[c] += v;
        count[c] += 1;
      }
    double smallest = 0, largest = 0, mean[4] = {};
    for (Integer c = 0; c < colors; ++c) {
      mean[c] = count[c] > 0 ? sum[c] / count[c] : 0;
      smallest = c == 0 ? mean[c] : std::min(smallest, mean[c]);
      largest = std::max(largest, mean[c]);
    }
    if (smallest > 0) {
      for (Integer c = 0; c < colors; ++c) S.wb_multipliers[c] = float(largest / mean[c]);
    } else if (S.camera_wb_red != 0 && S.camera_wb_blue != 0) {
      S.wb_multipliers[0] = S.camera_wb_red;
      S.wb_multipliers[1] = 1;
      S.wb_multipliers[2] = S.camera_wb_blue;
      S.wb_multipliers[3] = 1;
    }
  }
  if (!S.use_fixed_matrix) {
    S.wb_multipliers[0] *= S.opt_red_factor;
    S.wb_multipliers[2] *= S.opt_blue_factor;
  }
  const Integer top = std::max(S.saturation_level, 0);
  for (size_t i = 0; i < pixels; ++i)
    for (Integer c = 0; c < colors; ++c) {
      const Integer v = S.image[i][c];
      if (!v) continue;
      S.image[i][c] = Word(Clamp(double(v - S.black) * S.wb_multipliers[c], 0, std::min(top, 65535)));
    }
}

void vng_interpolate(TIERawDecoder& S) {
  struct TCode {
    Integer Offset, Weight, Colour;
  };
  struct TList {
    TCode Neighbour[8];
    Integer Missing[4][2];  // colour, weight sum
    Integer MissingCount;
  };
  TList lists[8][2];
  const Integer colors = std::clamp(S.colors, 1, 4);
  for (Integer row = 0; row < 8; ++row)
    for (Integer col = 0; col < 2; ++col) {
      TList& l = lists[row][col];
      Integer weights[4] = {}, n = 0;
      for (Integer dy = -1; dy <= 1; ++dy)
        for (Integer dx = -1; dx <= 1; ++dx) {
          if (!dy && !dx) continue;
          const Integer w = 1 + ((dy == 0) != (dx == 0));
          const Integer c = filter_colour(S, row + 8 + dy, col + 2 + dx);
          l.Neighbour[n++] = {(dy * S.width + dx) * 4 + c, w, c};
          weights[c] += w;
        }
      const Integer own = filter_colour(S, row, col);
      l.MissingCount = 0;
      for (Integer c = 0; c < colors; ++c)
        if (c != own) {
          l.Missing[l.MissingCount][0] = c;
          l.Missing[l.MissingCount][1] = weights[c];
          ++l.MissingCount;
        }
    }
  for (Integer row = 1; row < S.height - 1; ++row)
    for (Integer col = 1; col < S.width - 1; ++col) {
      Word* pix = Pixel(S, row, col);
      const TList& l = lists[row & 7][col & 1];
      Integer sum[4] = {};
      for (const TCode& n : l.Neighbour) sum[n.Colour] += pix[n.Offset] * n.Weight;
      for (Integer m = 0; m < l.MissingCount; ++m) {
        const Integer c = l.Missing[m][0], w = l.Missing[m][1];
        if (w > 0) pix[c] = Word(sum[c] / w);
      }
    }
}

void to_output_rgb(TIERawDecoder& S) {
  std::memset(S.histogram, 0, sizeof S.histogram);
  const Integer colors = std::clamp(S.colors, 1, 4);
  const Integer top = std::clamp(S.saturation_level, 0, 65535);
  for (Integer row = S.edge_trim; row < S.height - S.edge_trim; ++row)
    for (Integer col = S.edge_trim; col < S.width - S.edge_trim; ++col) {
      Word* p = Pixel(S, row, col);
      double rgb[3] = {double(p[0]), double(p[1]), double(p[2])};
      bool computed = true;
      if (colors == 4 && !S.use_fixed_matrix) {
        p[1] = Word((p[1] + p[3]) >> 1);
        rgb[1] = p[1];
        computed = false;
      } else if (colors == 1) {
        rgb[0] = rgb[1] = rgb[2] = p[0];
      } else if (S.use_fixed_matrix) {
        for (Integer r = 0; r < 3; ++r) {
          double v = 0;
          for (Integer c = 0; c < colors; ++c) v += double(p[c]) * S.fixed_matrix[r][c];
          rgb[r] = v;
        }
      } else if (S.cmy_sensor) {
        rgb[0] = double(p[0]) + p[1] - p[2];
        rgb[1] = double(p[1]) + p[2] - p[0];
        rgb[2] = double(p[2]) + p[0] - p[1];
      } else {
        computed = false;
      }
      if (computed)
        for (Integer c = 0; c < 3; ++c) p[c] = Word(Clamp(rgb[c], 0, top));
      const double r = p[0], g = p[1], b = p[2];
      const Integer lum = Clamp(std::sqrt(r * r + g * g + b * b) / 2, 0, 65535);
      p[3] = Word(lum);
      ++S.histogram[lum >> 3];
    }
}
