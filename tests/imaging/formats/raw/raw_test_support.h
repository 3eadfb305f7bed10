// Helpers of the raw decoder tests: a decoder state over a memory stream with an image buffer of
// its own, a bit writer and a canonical Huffman encoder written from the same layouts the
// decoders read, so each decoder is checked by a round trip.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/raw/ie_raw_decoder.h"
#include "platform/rtl/streams.h"

struct TRawFixture {
  std::unique_ptr<TIERawDecoder> S = std::make_unique<TIERawDecoder>();
  TMemoryStream Stream;
  std::vector<Word> Image;  // out_height x out_width x 4
  std::atomic<bool> Aborting{false};
  AnsiString Reason;

  explicit TRawFixture(const std::vector<Byte>& Data) {
    SetData(Data);
    S->stream = &Stream;
    S->progress.Aborting = &Aborting;
    S->progress.FailureReason = &Reason;
  }
  void SetData(const std::vector<Byte>& Data) {
    Stream.Clear();
    if (!Data.empty()) Stream.Write(Data.data(), static_cast<Integer>(Data.size()));
    Stream.Seek(0, soBeginning);
  }
  // Sizes of the sensor and the active area, and an image buffer of the active size.
  void Size(Integer SensorH, Integer SensorW, Integer H, Integer W, Cardinal Filters = 0x94949494) {
    S->sensor_height = SensorH;
    S->sensor_width = SensorW;
    S->height = H;
    S->width = W;
    S->filters = Filters;
    S->out_height = H;
    S->out_width = W;
    Image.assign(static_cast<size_t>(H) * W * 4, 0);
    S->image = reinterpret_cast<Word(*)[4]>(Image.data());
  }
  Word Cell(Integer row, Integer col) { return *sensor_cell(*S, row, col); }
  // Index of the sample sensor_cell(row, col) in Image.
  long CellIndex(Integer row, Integer col) { return sensor_cell(*S, row, col) - Image.data(); }
  Word Sample(Integer row, Integer col, Integer c) { return Image[(static_cast<size_t>(row) * S->out_width + col) * 4 + c]; }
};

// Bits written most significant first, as read_bits takes them.
struct TBitWriter {
  std::vector<Byte> Bytes;
  UInt64 Acc = 0;
  int Count = 0;
  bool Stuff = false;  // write 00 after every FF byte
  void Put(UInt64 Value, int Bits) {
    for (int i = Bits - 1; i >= 0; --i) {
      Acc = (Acc << 1) | ((Value >> i) & 1);
      if (++Count == 8) Emit();
    }
  }
  void Emit() {
    Bytes.push_back(static_cast<Byte>(Acc));
    if (Stuff && static_cast<Byte>(Acc) == 0xFF) Bytes.push_back(0);
    Acc = 0;
    Count = 0;
  }
  std::vector<Byte> Finish() {
    while (Count) Put(0, 1);
    return Bytes;
  }
};

// The canonical code of each symbol of a source table (16 counts, then the symbols).
inline std::map<int, std::pair<Cardinal, int>> HuffmanCodes(const Byte* Source) {
  std::map<int, std::pair<Cardinal, int>> codes;
  Cardinal code = 0;
  int k = 16;
  for (int len = 1; len <= 16; ++len) {
    for (int i = 0; i < Source[len - 1]; ++i) codes.emplace(Source[k++], std::make_pair(code++, len));
    code <<= 1;
  }
  return codes;
}

// The n-bit coding of difference d that raw_sign_extend turns back into d.
inline Cardinal DiffBits(int d, int n) { return d >= 0 ? Cardinal(d) : Cardinal(d + (1 << n) - 1); }
inline int DiffLength(int d) {
  int a = d < 0 ? -d : d, n = 0;
  while (a) { ++n; a >>= 1; }
  return n;
}
