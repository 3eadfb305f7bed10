#include "imaging/formats/dicom/ie_lossless_jpeg.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Codes up to this many bits are found with one table access; the rest are searched by length.
constexpr int kLookBits = 10;

struct THuffman {
  bool Defined = false;
  // (length << 8 | symbol) for every kLookBits-bit prefix that starts with a code of at most
  // kLookBits bits; 0 when the code is longer.
  std::array<uint16_t, 1 << kLookBits> Look{};
  // Canonical decoding of the longer codes: the largest code of each length (-1 when none), the
  // first code of each length and where its symbols start.
  std::array<int32_t, 18> MaxCode{};
  std::array<int32_t, 17> FirstCode{};
  std::array<int32_t, 17> FirstIndex{};
  std::array<Byte, 17> Symbols{};
  int Count = 0;
  int Longest = 0;
};

// Builds the canonical codes of one table (counts of codes of each length 1..16, then the symbols).
bool BuildHuffman(THuffman& T, const Byte* Counts, const Byte* Symbols, AnsiString& Reason) {
  int total = 0;
  for (int l = 0; l < 16; ++l) total += Counts[l];
  if (total > 17) {
    Reason = "a Huffman table of the lossless JPEG has " + std::to_string(total) + " codes (at most 17)";
    return false;
  }
  for (int i = 0; i < total; ++i)
    if (Symbols[i] > 16) {
      Reason = "a Huffman table of the lossless JPEG has the difference category " + std::to_string(Symbols[i]) + " (at most 16)";
      return false;
    }
  T = THuffman{};
  T.Defined = true;
  T.Count = total;
  std::memcpy(T.Symbols.data(), Symbols, static_cast<size_t>(total));
  int32_t code = 0, index = 0;
  T.MaxCode.fill(-1);
  for (int len = 1; len <= 16; ++len) {
    const int n = Counts[len - 1];
    T.FirstCode[len] = code;
    T.FirstIndex[len] = index;
    for (int k = 0; k < n; ++k, ++code, ++index) {
      // A code that does not fit its length means the counts overfill the code space.
      if (code >= (1 << len)) {
        Reason = "a Huffman table of the lossless JPEG has more codes than its lengths allow";
        return false;
      }
      if (len <= kLookBits) {
        const int shift = kLookBits - len;
        for (int f = 0; f < (1 << shift); ++f)
          T.Look[static_cast<size_t>((code << shift) | f)] = static_cast<uint16_t>(len << 8 | Symbols[index]);
      }
      T.Longest = len;
    }
    if (n) T.MaxCode[len] = code - 1;
    code <<= 1;
  }
  if (total == 0) {
    Reason = "a Huffman table of the lossless JPEG has no codes";
    return false;
  }
  return true;
}

// The unstuffed entropy-coded data as one bit string, most significant bit first. Past the end it
// gives zero bits and remembers that it did.
class TBits {
 public:
  TBits(const Byte* Data, size_t Size) : FData(Data), FSize(Size) {}
  void Start(size_t Pos) {
    FPos = Pos;
    FAcc = 0;
    FCount = 0;
  }
  // Tops the accumulator up to at least 57 bits (zero bits past the end of the data).
  void Fill() {
    if (FPos + 8 <= FSize) {
      uint64_t v;
      std::memcpy(&v, FData + FPos, 8);
      v = __builtin_bswap64(v);
      const int take = (63 - FCount) >> 3;  // whole bytes that fit, 0 to 7
      if (take) {
        FAcc |= (v & (~uint64_t(0) << (64 - 8 * take))) >> FCount;
        FPos += static_cast<size_t>(take);
        FCount += take * 8;
      }
      return;
    }
    while (FCount <= 56) {
      const uint64_t b = FPos < FSize ? FData[FPos] : 0;
      ++FPos;
      FAcc |= b << (56 - FCount);
      FCount += 8;
    }
  }
  uint32_t Peek(int N) const { return static_cast<uint32_t>(FAcc >> (64 - N)); }
  void Skip(int N) {
    FAcc <<= N;
    FCount -= N;
  }
  int Count() const { return FCount; }
  // True once bits past the end of the data were handed out.
  bool Over() const { return FPos * 8 - static_cast<size_t>(FCount) > FSize * 8; }

 private:
  const Byte* FData;
  size_t FSize;
  size_t FPos = 0;
  uint64_t FAcc = 0;
  int FCount = 0;
};

__attribute__((always_inline)) inline int DecodeSymbol(TBits& B, const THuffman& T) {
  if (B.Count() < 32) B.Fill();
  const uint16_t e = T.Look[B.Peek(kLookBits)];
  if (e) {
    B.Skip(e >> 8);
    return e & 0xFF;
  }
  const uint32_t bits = B.Peek(16);
  for (int len = kLookBits + 1; len <= 16; ++len) {
    const int32_t code = static_cast<int32_t>(bits >> (16 - len));
    if (T.MaxCode[len] >= 0 && code <= T.MaxCode[len] && code >= T.FirstCode[len]) {
      B.Skip(len);
      return T.Symbols[static_cast<size_t>(T.FirstIndex[len] + code - T.FirstCode[len])];
    }
  }
  // Damaged data never stops the decoding: the table's last symbol stands for a code it lacks.
  B.Skip(T.Longest);
  return T.Symbols[static_cast<size_t>(T.Count - 1)];
}

__attribute__((always_inline)) inline int32_t DecodeDifference(TBits& B, const THuffman& T) {
  const int s = DecodeSymbol(B, T);
  if (s == 0) return 0;
  if (s >= 16) return 32768;
  // DecodeSymbol left at least 41 bits: enough for the 15 of the largest difference.
  const int32_t v = static_cast<int32_t>(B.Peek(s));
  B.Skip(s);
  return v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;
}

struct TScan {
  int Precision = 0, Width = 0, Height = 0, Components = 0;
  int Predictor = 1, PointTransform = 0;
  int Restart = 0;
  std::array<int, 3> Table{};  // the Huffman table of each component
  size_t DataStart = 0;
};

// One row of samples: Pred is the predictor of the row (0: the row is the first of the image
// or of a restart interval, whose samples after the first are predicted from the left).
template <int Pred, int NC>
void DecodeRow(TBits& B, const THuffman* const* Tables, const uint16_t* Above, uint16_t* Row, int Samples,
               int First, uint32_t Mask) {
  // The first pixel: from above (or First on a first row).
  for (int c = 0; c < NC; ++c) {
    const int32_t p = Pred == 0 ? First : Above[c];
    Row[c] = static_cast<uint16_t>((p + DecodeDifference(B, *Tables[c])) & Mask);
  }
  for (int i = NC; i < Samples; i += NC) {
    for (int c = 0; c < NC; ++c) {
      const int k = i + c;
      const int32_t ra = Row[k - NC];
      int32_t p;
      if constexpr (Pred == 0 || Pred == 1) {
        p = ra;
      } else {
        const int32_t rb = Above[k], rc = Above[k - NC];
        if constexpr (Pred == 2) p = rb;
        else if constexpr (Pred == 3) p = rc;
        else if constexpr (Pred == 4) p = ra + rb - rc;
        else if constexpr (Pred == 5) p = ra + ((rb - rc) >> 1);
        else if constexpr (Pred == 6) p = rb + ((ra - rc) >> 1);
        else p = (ra + rb) >> 1;
      }
      Row[k] = static_cast<uint16_t>((p + DecodeDifference(B, *Tables[c])) & Mask);
    }
  }
}

using TRowDecoder = void (*)(TBits&, const THuffman* const*, const uint16_t*, uint16_t*, int, int, uint32_t);

template <int NC>
TRowDecoder PickRowDecoder(int Pred) {
  switch (Pred) {
    case 0: return DecodeRow<0, NC>;
    case 2: return DecodeRow<2, NC>;
    case 3: return DecodeRow<3, NC>;
    case 4: return DecodeRow<4, NC>;
    case 5: return DecodeRow<5, NC>;
    case 6: return DecodeRow<6, NC>;
    case 7: return DecodeRow<7, NC>;
    default: return DecodeRow<1, NC>;
  }
}

bool ParseMarkers(const Byte* D, size_t N, TScan& S, std::array<THuffman, 4>& Tables, AnsiString& Reason) {
  size_t p = 2;
  bool lossless = false, frame = false, scan = false;
  int frameMarker = -1;
  std::array<int, 4> componentIds{};
  while (p < N) {
    if (D[p] != 0xFF) {
      Reason = "the lossless JPEG has no marker at byte " + std::to_string(p);
      return false;
    }
    if (p + 1 >= N) break;
    const Byte code = D[p + 1];
    p += 2;
    if (code == 0x00 || code == 0x01 || code == 0xFF || (code >= 0xD0 && code <= 0xD7)) {
      if (code == 0xFF) --p;  // fill bytes before a marker
      continue;
    }
    if (p + 2 > N) break;
    const size_t len = static_cast<size_t>(D[p]) << 8 | D[p + 1];
    if (len < 2 || p + len > N) {
      Reason = "a segment of the lossless JPEG runs past its data";
      return false;
    }
    const Byte* seg = D + p + 2;
    const size_t segLen = len - 2;
    p += len;
    if ((code >= 0xC0 && code <= 0xCF) && code != 0xC4 && code != 0xC8 && code != 0xCC) {
      if (frame) {
        Reason = "the lossless JPEG has a second frame header";
        return false;
      }
      frame = true;
      frameMarker = code;
      lossless = code == 0xC3;
      if (segLen < 6) {
        Reason = "the frame header of the lossless JPEG is cut short";
        return false;
      }
      S.Precision = seg[0];
      S.Height = seg[1] << 8 | seg[2];
      S.Width = seg[3] << 8 | seg[4];
      S.Components = seg[5];
      if (S.Components < 1 || S.Components > 3 || segLen < 6 + 3 * static_cast<size_t>(S.Components)) {
        Reason = "the lossless JPEG's frame header gives " + std::to_string(S.Components) + " components";
        return false;
      }
      for (int c = 0; c < S.Components; ++c) {
        componentIds[c] = seg[6 + 3 * c];
        // Subsampled components would not interleave one sample each in a row.
        if (seg[7 + 3 * c] != 0x11) {
          Reason = "the lossless JPEG has subsampled components";
          return false;
        }
      }
    } else if (code == 0xC4) {
      size_t q = 0;
      while (segLen - q > 17) {
        const int id = seg[q] & 0x0F;
        const Byte* counts = seg + q + 1;
        int total = 0;
        for (int l = 0; l < 16; ++l) total += counts[l];
        if (q + 17 + static_cast<size_t>(total) > segLen) {
          Reason = "a Huffman table of the lossless JPEG runs past its segment";
          return false;
        }
        if (id > 3) {
          Reason = "the lossless JPEG names Huffman table " + std::to_string(id) + " (at most 3)";
          return false;
        }
        if (!BuildHuffman(Tables[static_cast<size_t>(id)], counts, counts + 16, Reason)) return false;
        q += 17 + static_cast<size_t>(total);
      }
    } else if (code == 0xDA) {
      if (!frame) {
        Reason = "the lossless JPEG has a scan before its frame header";
        return false;
      }
      if (segLen < 1) {
        Reason = "the scan header of the lossless JPEG is cut short";
        return false;
      }
      const int n = seg[0];
      if (n != S.Components || segLen < 1 + 2 * static_cast<size_t>(n) + 3) {
        Reason = "the lossless JPEG's scan holds " + std::to_string(n) + " of its " + std::to_string(S.Components) +
                 " components (only one interleaved scan is read)";
        return false;
      }
      for (int c = 0; c < n; ++c) {
        if (seg[1 + 2 * c] != componentIds[c]) {
          Reason = "the lossless JPEG's scan lists its components out of order";
          return false;
        }
        S.Table[c] = seg[2 + 2 * c] >> 4;
        if (S.Table[c] > 3 || !Tables[static_cast<size_t>(S.Table[c])].Defined) {
          Reason = "the lossless JPEG uses Huffman table " + std::to_string(S.Table[c]) + ", which it does not define";
          return false;
        }
      }
      S.Predictor = seg[1 + 2 * n];
      if (S.Predictor < 1 || S.Predictor > 7) S.Predictor = 1;
      S.PointTransform = seg[3 + 2 * n] & 0x0F;
      S.DataStart = p;
      scan = true;
      break;
    } else if (code == 0xDD) {
      if (segLen >= 2) S.Restart = seg[0] << 8 | seg[1];
    } else if (code == 0xD9) {
      break;
    }
  }
  if (!frame) {
    Reason = "the lossless JPEG has no frame header";
    return false;
  }
  if (!lossless) {
    Reason = "the JPEG data is not lossless (frame marker FF" + std::string(1, "0123456789ABCDEF"[frameMarker >> 4]) +
             std::string(1, "0123456789ABCDEF"[frameMarker & 15]) + ")";
    return false;
  }
  if (!scan) {
    Reason = "the lossless JPEG has no scan";
    return false;
  }
  if (S.Precision < 2 || S.Precision > 16 || S.PointTransform >= S.Precision) {
    Reason = "the lossless JPEG has a precision of " + std::to_string(S.Precision) + " bits and a point transform of " +
             std::to_string(S.PointTransform);
    return false;
  }
  return true;
}

}  // namespace

bool DecodeLosslessJPEG(Byte* Data, Int64 Size, const TIELosslessJPEGFrame& Frame,
                        const TIELosslessJPEGRowSink& Sink, AnsiString& Reason, bool* Truncated) {
  if (Truncated) *Truncated = false;
  if (!Data || Size < 32) {
    Reason = "the lossless JPEG holds " + std::to_string(Size < 0 ? 0 : Size) + " bytes, too few for an image";
    return false;
  }
  const size_t n = static_cast<size_t>(Size);
  if (Data[0] != 0xFF || Data[1] != 0xD8) {
    Reason = "the lossless JPEG does not start with its start-of-image marker";
    return false;
  }
  TScan s;
  std::array<THuffman, 4> tables;
  if (!ParseMarkers(Data, n, s, tables, Reason)) return false;
  if (s.Width != Frame.Width || s.Height != Frame.Height || s.Components != Frame.Components) {
    Reason = "the lossless JPEG holds " + std::to_string(s.Width) + " x " + std::to_string(s.Height) + " pixels of " +
             std::to_string(s.Components) + " components where the file describes " + std::to_string(Frame.Width) +
             " x " + std::to_string(Frame.Height) + " pixels of " + std::to_string(Frame.Components);
    return false;
  }
  if ((s.Precision > 8) != Frame.Wide) {
    Reason = "the lossless JPEG's precision of " + std::to_string(s.Precision) + " bits does not match the " +
             (Frame.Wide ? "16" : "8") + "-bit samples the file describes";
    return false;
  }

  // Unstuff in place: the zero after each FF goes; a restart marker starts a new interval at a
  // whole byte. The data between FF bytes moves as a block.
  Byte* bits = Data + s.DataStart;
  const size_t avail = n - s.DataStart;
  size_t put = 0, at = 0;
  std::vector<size_t> intervals{0};
  while (at < avail) {
    const Byte* ff = static_cast<const Byte*>(std::memchr(bits + at, 0xFF, avail - at));
    const size_t run = (ff ? static_cast<size_t>(ff - bits) : avail) - at;
    if (put != at) std::memmove(bits + put, bits + at, run);
    put += run;
    at += run;
    if (!ff || at + 1 >= avail) break;
    const Byte next = bits[at + 1];
    if (next == 0x00) {
      bits[put++] = 0xFF;
      at += 2;
    } else if (next >= 0xD0 && next <= 0xD7) {
      intervals.push_back(put);
      at += 2;
    } else if (next == 0xFF) {
      ++at;  // fill byte
    } else {
      break;  // end of image or another marker
    }
  }
  const size_t bitsSize = put;

  const int nc = s.Components;
  const int samples = s.Width * nc;
  const uint32_t mask = Frame.Wide ? 0xFFFF : 0xFF;
  const int first = 1 << (s.Precision - s.PointTransform - 1);
  const int pt = s.PointTransform;
  const THuffman* comp[3];
  for (int c = 0; c < 3; ++c) comp[c] = &tables[static_cast<size_t>(s.Table[c < nc ? c : 0])];
  std::vector<uint16_t> rowA(static_cast<size_t>(samples)), rowB(static_cast<size_t>(samples));
  std::vector<uint16_t> out16(Frame.Wide ? static_cast<size_t>(samples) : 0);
  std::vector<Byte> out8(Frame.Wide ? 0 : static_cast<size_t>(samples));
  uint16_t* above = rowA.data();
  uint16_t* row = rowB.data();

  TBits reader(bits, bitsSize);
  reader.Start(0);
  // Restart intervals count whole rows: the first row of each is predicted as the image's first.
  if (s.Restart % s.Width != 0) {
    Reason = "the lossless JPEG's restart interval of " + std::to_string(s.Restart) + " pixels is not a whole number of its " +
             std::to_string(s.Width) + "-pixel rows";
    return false;
  }
  const Int64 perInterval = s.Restart;
  size_t interval = 0;
  Int64 pixelsLeft = perInterval;  // in the current interval
  bool firstLine = true;
  for (int y = 0; y < s.Height; ++y) {
    if (perInterval && pixelsLeft == 0) {
      ++interval;
      reader.Start(interval < intervals.size() ? intervals[interval] : bitsSize);
      pixelsLeft = perInterval;
      firstLine = true;
    }
    const TRowDecoder decode = nc == 1 ? PickRowDecoder<1>(firstLine ? 0 : s.Predictor)
                                        : nc == 2 ? PickRowDecoder<2>(firstLine ? 0 : s.Predictor)
                                                  : PickRowDecoder<3>(firstLine ? 0 : s.Predictor);
    decode(reader, comp, above, row, samples, firstLine ? first : 0, mask);
    if (perInterval) pixelsLeft -= s.Width;
    firstLine = false;
    bool go;
    if (Frame.Wide) {
      if (pt) {
        for (int i = 0; i < samples; ++i) out16[static_cast<size_t>(i)] = static_cast<uint16_t>(row[i] << pt);
        go = Sink(y, out16.data(), nullptr);
      } else {
        go = Sink(y, row, nullptr);
      }
    } else {
      for (int i = 0; i < samples; ++i) out8[static_cast<size_t>(i)] = static_cast<Byte>(row[i] << pt);
      go = Sink(y, nullptr, out8.data());
    }
    if (!go) return true;
    std::swap(above, row);
  }
  if (reader.Over()) {
    if (Truncated) *Truncated = true;
    Reason = "the lossless JPEG's coded data ends before its last row";
  }
  return true;
}
