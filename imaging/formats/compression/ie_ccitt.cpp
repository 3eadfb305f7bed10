#include "imaging/formats/compression/ie_ccitt.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_startup.h"
#include "platform/rtl/sysutils.h"

namespace {

// --- code tables ---------------------------------------------------------------------------

struct TRunCode {
  Byte Length;
  uint32_t Code;  // the code word in the low Length bits
  Integer Run;    // pixels; -1 no run; -3 end of line
};

constexpr Integer kEntries = 128;
constexpr Integer kNoCode = 128;
constexpr Integer kEOLEntry = 104;
constexpr Integer kEndOfDataEntry = 127;
constexpr Integer kMaxRunCode = 2560;

// Terminating codes 0..63, then the make-up codes 64..1728, of each colour; (length, code).
constexpr Byte kWhiteCodes[91][2] = {
    {8, 0x35}, {6, 0x07}, {4, 0x07}, {4, 0x08}, {4, 0x0B}, {4, 0x0C}, {4, 0x0E}, {4, 0x0F},
    {5, 0x13}, {5, 0x14}, {5, 0x07}, {5, 0x08}, {6, 0x08}, {6, 0x03}, {6, 0x34}, {6, 0x35},
    {6, 0x2A}, {6, 0x2B}, {7, 0x27}, {7, 0x0C}, {7, 0x08}, {7, 0x17}, {7, 0x03}, {7, 0x04},
    {7, 0x28}, {7, 0x2B}, {7, 0x13}, {7, 0x24}, {7, 0x18}, {8, 0x02}, {8, 0x03}, {8, 0x1A},
    {8, 0x1B}, {8, 0x12}, {8, 0x13}, {8, 0x14}, {8, 0x15}, {8, 0x16}, {8, 0x17}, {8, 0x28},
    {8, 0x29}, {8, 0x2A}, {8, 0x2B}, {8, 0x2C}, {8, 0x2D}, {8, 0x04}, {8, 0x05}, {8, 0x0A},
    {8, 0x0B}, {8, 0x52}, {8, 0x53}, {8, 0x54}, {8, 0x55}, {8, 0x24}, {8, 0x25}, {8, 0x58},
    {8, 0x59}, {8, 0x5A}, {8, 0x5B}, {8, 0x4A}, {8, 0x4B}, {8, 0x32}, {8, 0x33}, {8, 0x34},
    // 64, 128, ... 1728
    {5, 0x1B}, {5, 0x12}, {6, 0x17}, {7, 0x37}, {8, 0x36}, {8, 0x37}, {8, 0x64}, {8, 0x65},
    {8, 0x68}, {8, 0x67}, {9, 0xCC}, {9, 0xCD}, {9, 0xD2}, {9, 0xD3}, {9, 0xD4}, {9, 0xD5},
    {9, 0xD6}, {9, 0xD7}, {9, 0xD8}, {9, 0xD9}, {9, 0xDA}, {9, 0xDB}, {9, 0x98}, {9, 0x99},
    {9, 0x9A}, {6, 0x18}, {9, 0x9B}};

constexpr uint16_t kBlackCodes[91][2] = {
    {10, 0x37}, {3, 0x02},  {2, 0x03},  {2, 0x02},  {3, 0x03},  {4, 0x03},  {4, 0x02},  {5, 0x03},
    {6, 0x05},  {6, 0x04},  {7, 0x04},  {7, 0x05},  {7, 0x07},  {8, 0x04},  {8, 0x07},  {9, 0x18},
    {10, 0x17}, {10, 0x18}, {10, 0x08}, {11, 0x67}, {11, 0x68}, {11, 0x6C}, {11, 0x37}, {11, 0x28},
    {11, 0x17}, {11, 0x18}, {12, 0xCA}, {12, 0xCB}, {12, 0xCC}, {12, 0xCD}, {12, 0x68}, {12, 0x69},
    {12, 0x6A}, {12, 0x6B}, {12, 0xD2}, {12, 0xD3}, {12, 0xD4}, {12, 0xD5}, {12, 0xD6}, {12, 0xD7},
    {12, 0x6C}, {12, 0x6D}, {12, 0xDA}, {12, 0xDB}, {12, 0x54}, {12, 0x55}, {12, 0x56}, {12, 0x57},
    {12, 0x64}, {12, 0x65}, {12, 0x52}, {12, 0x53}, {12, 0x24}, {12, 0x37}, {12, 0x38}, {12, 0x27},
    {12, 0x28}, {12, 0x58}, {12, 0x59}, {12, 0x2B}, {12, 0x2C}, {12, 0x5A}, {12, 0x66}, {12, 0x67},
    // 64, 128, ... 1728
    {10, 0x0F}, {12, 0xC8}, {12, 0xC9}, {12, 0x5B}, {12, 0x33}, {12, 0x34}, {12, 0x35}, {13, 0x6C},
    {13, 0x6D}, {13, 0x4A}, {13, 0x4B}, {13, 0x4C}, {13, 0x4D}, {13, 0x72}, {13, 0x73}, {13, 0x74},
    {13, 0x75}, {13, 0x76}, {13, 0x77}, {13, 0x52}, {13, 0x53}, {13, 0x54}, {13, 0x55}, {13, 0x5A},
    {13, 0x5B}, {13, 0x64}, {13, 0x65}};

// The extended make-up codes 1792..2560, the same for both colours.
constexpr Byte kExtendedCodes[13][2] = {{11, 0x08}, {11, 0x0C}, {11, 0x0D}, {12, 0x12}, {12, 0x13},
                                        {12, 0x14}, {12, 0x15}, {12, 0x16}, {12, 0x17}, {12, 0x1C},
                                        {12, 0x1D}, {12, 0x1E}, {12, 0x1F}};

struct TRunTable {
  TRunCode E[kEntries];
};

constexpr TRunTable MakeRunTable(bool Black) {
  TRunTable t{};
  for (Integer i = 0; i < 91; ++i) {
    t.E[i].Length = Black ? Byte(kBlackCodes[i][0]) : kWhiteCodes[i][0];
    t.E[i].Code = Black ? kBlackCodes[i][1] : kWhiteCodes[i][1];
    t.E[i].Run = i < 64 ? i : (i - 63) * 64;
  }
  for (Integer i = 0; i < 13; ++i) t.E[91 + i] = {kExtendedCodes[i][0], kExtendedCodes[i][1], 1792 + i * 64};
  t.E[kEOLEntry] = {12, 1, -3};
  // A one after 8, 9 or 10 zeros is no code of either colour; leaves for them keep a stray
  // pattern from sending the walk down a branch that has no end.
  for (Integer i = 0; i < 3; ++i) t.E[105 + i] = {Byte(9 + i), 1, -1};
  // End-of-line codes behind 1 to 20 further zeros: the fill before an aligned EOL.
  for (Integer i = 0; i < 20; ++i) t.E[108 + i] = {Byte(13 + i), 1, -3};
  return t;
}

constexpr TRunTable kRunTables[2] = {MakeRunTable(false), MakeRunTable(true)};

enum TMode { mdNone, mdPass, mdHorizontal, mdVL3, mdVL2, mdVL1, mdV0, mdVR1, mdVR2, mdVR3, mdUncompressed2D,
             mdUncompressed1D, mdEOL };
// Matched in this order, the first match wins; mdNone's twelve zeros come first.
constexpr Byte kModeCodes[13][2] = {{12, 0x000}, {4, 0x1}, {3, 0x1}, {7, 0x02}, {6, 0x02}, {3, 0x2}, {1, 0x1},
                                    {3, 0x3},    {6, 0x03}, {7, 0x03}, {10, 0x0F}, {12, 0x0F}, {12, 0x01}};

// --- decode trees --------------------------------------------------------------------------

struct TNode {
  Byte Value = kNoCode;  // kNoCode: an inner node (or an empty root); else a table entry
  int16_t Child[2] = {-1, -1};
};

// The nodes of both trees; the roots are nodes 0 (white) and 1 (black).
std::vector<TNode> gNodes;
std::atomic<bool> gTreesBuilt{false};
std::mutex gTreeLock;

void BuildTrees() {
  std::vector<TNode> nodes(2);
  for (Integer colour = 0; colour < 2; ++colour) {
    for (Integer entry = 0; entry < kEntries; ++entry) {
      const TRunCode& c = kRunTables[colour].E[entry];
      Integer node = colour;
      for (Integer b = c.Length - 1; b >= 0; --b) {
        const Integer bit = (c.Code >> b) & 1;
        if (nodes[size_t(node)].Child[bit] < 0) {
          nodes[size_t(node)].Child[bit] = int16_t(nodes.size());
          nodes.emplace_back();
        }
        node = nodes[size_t(node)].Child[bit];
      }
      nodes[size_t(node)].Value = Byte(entry);
    }
  }
  gNodes.swap(nodes);
}

void EnsureTrees() {
  if (gTreesBuilt.load(std::memory_order_acquire)) return;
  IEInitCCITT();
}

// --- bit reading ---------------------------------------------------------------------------

constexpr Byte Reversed(Byte B) {
  Byte r = 0;
  for (Integer i = 0; i < 8; ++i)
    if (B & (1 << i)) r = Byte(r | (0x80 >> i));
  return r;
}

struct TReverseTable {
  Byte T[256];
};

constexpr TReverseTable MakeReverseTable() {
  TReverseTable t{};
  for (Integer i = 0; i < 256; ++i) t.T[i] = Reversed(Byte(i));
  return t;
}

constexpr TReverseTable kReverse = MakeReverseTable();

class TBitReader {
 public:
  TBitReader(const Byte* Data, Int64 DataLen, Integer FillOrder)
      : FData(Data), FLen(Data ? std::max<Int64>(DataLen, 0) : 0), FReverse(FillOrder == 2) {}

  Int64 BitCount() const { return FLen * 8; }
  bool Inside(Int64 Pos) const { return Pos >= 0 && (Pos >> 3) < FLen; }

  // The 32 bits from Pos, most significant first; bits past the data read as zero.
  uint32_t Peek32(Int64 Pos) const {
    if (Pos < 0) return 0;
    const Int64 first = Pos >> 3;
    uint64_t v = 0;
    for (Int64 i = 0; i < 5; ++i) v = (v << 8) | Get(first + i);
    return uint32_t(v >> (8 - (Pos & 7)));
  }
  Integer Bit(Int64 Pos) const { return Integer(Peek32(Pos) >> 31); }

 private:
  Byte Get(Int64 Index) const {
    if (Index >= FLen) return 0;
    return FReverse ? kReverse.T[FData[Index]] : FData[Index];
  }
  const Byte* FData;
  Int64 FLen;
  bool FReverse;
};

// The run-code table entry at Pos for the colour (0 white, 1 black): kEndOfDataEntry once Pos is
// past the data, kNoCode when the bits match nothing.
Integer ReadRunCode(const TBitReader& In, Int64 Pos, Integer Colour) {
  if (!In.Inside(Pos)) return kEndOfDataEntry;
  const uint32_t w = In.Peek32(Pos);
  Integer node = Colour;
  for (Integer i = 0; i < 32; ++i) {
    node = gNodes[size_t(node)].Child[(w >> (31 - i)) & 1];
    if (node < 0) return kNoCode;
    if (gNodes[size_t(node)].Value != kNoCode) return gNodes[size_t(node)].Value;
  }
  return kNoCode;
}

TMode ReadMode(const TBitReader& In, Int64 Pos) {
  const uint32_t w = In.Peek32(Pos);
  for (Integer i = 0; i < 13; ++i) {
    const Integer len = kModeCodes[i][0];
    if ((w >> (32 - len)) == kModeCodes[i][1]) return TMode(i);
  }
  return mdNone;
}

void NoteFault(AnsiString* Fault, const AnsiString& Reason) {
  if (Fault && Fault->empty()) *Fault = Reason;
}

AnsiString AtBit(Int64 Pos) { return " at bit " + IntToStr(Pos); }

// --- bilevel rows ----------------------------------------------------------------------------

Integer RowBytes(Integer Width) { return Width > 0 ? Integer((Int64(Width) + 7) / 8) : 0; }

inline Integer PixelBit(const Byte* Row, Int64 X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }

// The first pixel at or after From (From >= 0) whose bit is Value; Width when there is none.
// Whole bytes without such a bit are passed over at once.
Int64 FindBit(const Byte* Row, Integer Width, Int64 From, Integer Value) {
  if (From >= Width) return Width;
  const Byte skip = Value ? 0x00 : 0xFF;
  Int64 x = From;
  while (x < Width && (x & 7)) {
    if (PixelBit(Row, x) == Value) return x;
    ++x;
  }
  while (x + 8 <= Width && Row[x >> 3] == skip) x += 8;
  while (x < Width) {
    if (PixelBit(Row, x) == Value) return x;
    ++x;
  }
  return Width;
}

// Clears the pixels [From, To) of Row, cut to [0, Width): the decoders' black.
void PaintBlack(Byte* Row, Integer Width, Int64 From, Int64 To) {
  From = std::max<Int64>(From, 0);
  To = std::min<Int64>(To, Width);
  while (From < To && (From & 7)) {
    Row[From >> 3] &= Byte(~(0x80 >> (From & 7)));
    ++From;
  }
  if (To - From >= 8) {
    std::memset(Row + (From >> 3), 0, size_t((To - From) >> 3));
    From += (To - From) & ~Int64(7);
  }
  while (From < To) {
    Row[From >> 3] &= Byte(~(0x80 >> (From & 7)));
    ++From;
  }
}

// --- decoders --------------------------------------------------------------------------------

Int64 Decode1D(Byte* Row, const TBitReader& In, Integer Width, Int64 StartBit, AnsiString* Fault) {
  const Integer bytes = RowBytes(Width);
  if (bytes > 0) std::memset(Row, 0xFF, size_t(bytes));
  Int64 pos = std::max<Int64>(StartBit, 0);
  Int64 start = pos;  // where the row's own EOL may begin
  Int64 a0 = 0;
  Integer colour = 0;
  bool needTerminating = false;
  bool endedEarly = false;
  while (a0 < Width || needTerminating) {
    const Integer entry = ReadRunCode(In, pos, colour);
    if (entry == kNoCode) {
      // A long run of zero bits before the row's EOL is fill; anything else is damage.
      if (pos != start || (In.Peek32(pos) >> 24) != 0) NoteFault(Fault, "a bit pattern that is no run code" + AtBit(pos));
      if (pos == start) ++start;
      ++pos;
      continue;
    }
    const TRunCode& code = kRunTables[colour].E[entry];
    if (code.Run == -3) {
      if (entry != kEndOfDataEntry && pos == start) {
        pos += code.Length;
        continue;
      }
      // The row ends here; the EOL stays for the next row.
      if (entry == kEndOfDataEntry) NoteFault(Fault, "the data ended inside a row after " + IntToStr(a0) + " of " + IntToStr(Width) + " pixels");
      else NoteFault(Fault, "an end-of-line code after " + IntToStr(a0) + " of " + IntToStr(Width) + " pixels" + AtBit(pos));
      if (colour == 1) PaintBlack(Row, Width, a0, Width);
      endedEarly = true;
      break;
    }
    pos += code.Length;
    if (code.Run == -1) {
      NoteFault(Fault, "a bit pattern that is no run code" + AtBit(pos - code.Length));
      continue;
    }
    if (colour == 1) PaintBlack(Row, Width, a0, a0 + code.Run);
    a0 += code.Run;
    if (entry < 64) {
      colour ^= 1;
      needTerminating = false;
    } else {
      needTerminating = true;
    }
  }
  if (!endedEarly && a0 > Width) NoteFault(Fault, "runs of " + IntToStr(a0) + " pixels in a row of " + IntToStr(Width));
  // A last code completed by the zeros read past the data is a row cut short.
  if (pos > In.BitCount()) NoteFault(Fault, "the data ended inside the row's last code");
  return std::min(pos, In.BitCount());
}

// A horizontal-mode run of the colour: make-up codes and a terminating code. -1 when an EOL or
// the end of the data comes first (Pos is then at it).
Int64 ReadHorizontalRun(const TBitReader& In, Int64& Pos, Integer Colour, AnsiString* Fault) {
  Int64 sum = 0;
  for (;;) {
    const Integer entry = ReadRunCode(In, Pos, Colour);
    if (entry == kNoCode) {
      NoteFault(Fault, "a bit pattern that is no run code" + AtBit(Pos));
      ++Pos;
      continue;
    }
    const TRunCode& code = kRunTables[Colour].E[entry];
    if (code.Run == -3) {
      NoteFault(Fault, entry == kEndOfDataEntry ? AnsiString("the data ended inside a horizontal run")
                                                : "an end-of-line code inside a horizontal run" + AtBit(Pos));
      return -1;
    }
    Pos += code.Length;
    if (code.Run == -1) {
      NoteFault(Fault, "a bit pattern that is no run code" + AtBit(Pos - code.Length));
      continue;
    }
    sum += code.Run;
    if (entry < 64) return sum;
  }
}

// b1 of the T.4 procedure on the decoder's rows (white = 1): the first changing element of Ref
// right of A0 whose colour is opposite to Colour (0 white, 1 black).
Int64 FindB1(const Byte* Ref, Integer Width, Int64 A0, Integer Colour) {
  const Integer own = Colour == 0 ? 1 : 0;  // the bit value of the current colour
  Int64 p;
  if (A0 < 0) p = own == 1 ? -1 : FindBit(Ref, Width, 0, own);  // position -1 is white
  else p = FindBit(Ref, Width, A0, own);
  if (p >= Width) return Width;
  return FindBit(Ref, Width, p + 1, own ^ 1);
}

Int64 Decode2D(Byte* Row, const TBitReader& In, Integer Width, Byte* RefRow, Int64 StartBit, bool FillFlag,
               AnsiString* Fault) {
  const Integer bytes = RowBytes(Width);
  if (bytes > 0) std::memset(Row, 0xFF, size_t(bytes));
  const Int64 bits = In.BitCount();
  Int64 pos = std::max<Int64>(StartBit, 0);
  const Int64 start = pos;
  Int64 a0 = -1;
  Integer colour = 0;
  bool oneDimensional = false;
  auto rowEnds = [&](const AnsiString& Why) {
    NoteFault(Fault, Why + " after " + IntToStr(std::max<Int64>(a0, 0)) + " of " + IntToStr(Width) + " pixels");
    a0 = Width;
  };
  while (a0 < Width && pos < bits) {
    const Int64 codeAt = pos;
    TMode mode = ReadMode(In, pos);
    pos += kModeCodes[mode][0];
    if (mode == mdNone) {
      if ((In.Peek32(codeAt) >> 20) != 0) NoteFault(Fault, "a bit pattern that is no mode code" + AtBit(codeAt));
      if (!FillFlag) {
        NoteFault(Fault, "twelve zero bits where a mode code belongs" + AtBit(codeAt));
        continue;
      }
      // Fill before an EOL: zeros up to its one bit.
      while (pos < bits && In.Bit(pos) == 0) ++pos;
      ++pos;
      mode = mdEOL;
    }
    if (mode == mdEOL) {
      if (codeAt == start) {
        if (In.Bit(pos++) == 1) {
          pos = Decode1D(Row, In, Width, pos, Fault);
          oneDimensional = true;
          break;
        }
        continue;
      }
      if (colour == 1 && a0 >= 0) PaintBlack(Row, Width, a0, Width);
      pos = codeAt;
      rowEnds("an end-of-line code");
      break;
    }
    // b1 only where the mode needs it: each search then starts at a0 and ends near where a0
    // goes next, so a row costs its width once however its codes were damaged.
    switch (mode) {
      case mdPass: {
        const Int64 b1 = FindB1(RefRow, Width, a0, colour);
        const Int64 b2 = b1 >= Width ? Width : FindBit(RefRow, Width, b1 + 1, colour == 0 ? 1 : 0);
        if (colour == 1) PaintBlack(Row, Width, a0, b2);
        a0 = b2;
        break;
      }
      case mdHorizontal: {
        const Int64 first = ReadHorizontalRun(In, pos, colour, Fault);
        const Int64 second = first < 0 ? -1 : ReadHorizontalRun(In, pos, colour ^ 1, Fault);
        if (first < 0 || second < 0) {
          // The row cannot be finished; the next row starts at the EOL (or the data's end).
          a0 = Width;
          break;
        }
        a0 = std::max<Int64>(a0, 0);
        if (colour == 1) PaintBlack(Row, Width, a0, a0 + first);
        else PaintBlack(Row, Width, a0 + first, a0 + first + second);
        a0 += first + second;
        if (a0 > Width) NoteFault(Fault, "horizontal runs past the row's end" + AtBit(codeAt));
        break;
      }
      case mdUncompressed2D:
      case mdUncompressed1D: {
        // Pattern words: n-1 white pixels and a black one (n = 1..5), five white pixels (6);
        // exit words: n-7 white pixels and a tag bit giving the colour that follows.
        a0 = std::max<Int64>(a0, 0);
        while (a0 < Width && pos < bits) {
          Integer n = 1;
          while (n <= 11 && In.Bit(pos + n - 1) == 0) ++n;
          if (n > 11) {
            NoteFault(Fault, "a bit pattern that is no uncompressed-mode code" + AtBit(pos));
            pos += 11;
            break;
          }
          pos += n;
          if (n <= 5) {
            PaintBlack(Row, Width, a0 + n - 1, a0 + n);
            a0 += n;
          } else if (n == 6) {
            a0 += 5;
          } else {
            a0 += n - 7;
            colour = In.Bit(pos++);
            break;
          }
        }
        break;
      }
      default: {  // vertical
        const Int64 a1 = FindB1(RefRow, Width, a0, colour) + (Integer(mode) - Integer(mdV0));
        if (a1 < std::max<Int64>(a0, 0) || a1 > Width)
          NoteFault(Fault, "a vertical code that leaves the row" + AtBit(codeAt));
        if (colour == 1) PaintBlack(Row, Width, a0, a1);
        // Never backwards: a damaged code must not make the row's searches start over.
        a0 = std::max({a1, a0, Int64(0)});
        colour ^= 1;
        break;
      }
    }
  }
  if (!oneDimensional && a0 < Width) rowEnds("the data ended inside a row");
  if (pos > bits) NoteFault(Fault, "the data ended inside the row's last code");
  if (bytes > 0) std::memcpy(RefRow, Row, size_t(bytes));
  return std::min(pos, bits);
}

// --- encoders --------------------------------------------------------------------------------

// Collects a call's bits behind the pending ones. Its store grows as needed, so no row, however
// narrow and busy, can write past it.
class TBitWriter {
 public:
  TBitWriter(Integer Width, Byte Pending, Integer PendingBits) {
    FBytes.reserve(size_t(std::max(Width, 0)) * 12 / 8 + 16);
    PendingBits = std::clamp(PendingBits, 0, 7);
    if (PendingBits > 0) Put(uint32_t(Pending >> (8 - PendingBits)), PendingBits);
  }
  // Length is at most 24, so the accumulator never holds more than 31 bits.
  void Put(uint32_t Code, Integer Length) {
    FAcc = (FAcc << Length) | (Code & ((uint32_t(1) << Length) - 1));
    FAccBits += Length;
    while (FAccBits >= 8) {
      FAccBits -= 8;
      FBytes.push_back(Byte(FAcc >> FAccBits));
    }
  }
  void PadToByte() {
    if (FAccBits > 0) Put(0, 8 - FAccBits);
  }
  // Writes the whole bytes (bit-reversed for fill order 2) and keeps the rest pending.
  void Flush(TStream* Stream, bool& Aborting, Integer FillOrder, Byte& PendingByte, Integer& PendingBits) {
    PendingBits = FAccBits;
    PendingByte = FAccBits ? Byte(FAcc << (8 - FAccBits)) : 0;
    if (FillOrder == 2)
      for (Byte& b : FBytes) b = kReverse.T[b];
    IESafeStreamWrite(Stream, Aborting, FBytes.data(), Integer(FBytes.size()));
  }

 private:
  std::vector<Byte> FBytes;
  uint64_t FAcc = 0;
  Integer FAccBits = 0;
};

void PutEOL(TBitWriter& W) { W.Put(1, 12); }

void PutRun(TBitWriter& W, Integer Colour, Int64 Run) {
  const TRunTable& t = kRunTables[Colour];
  while (Run > 63) {
    const Integer entry = Run > kMaxRunCode ? 63 + kMaxRunCode / 64 : Integer(63 + Run / 64);
    W.Put(t.E[entry].Code, t.E[entry].Length);
    Run -= t.E[entry].Run;
  }
  W.Put(t.E[Run].Code, t.E[Run].Length);
}

void Encode1D(TBitWriter& W, const Byte* Row, Integer Width) {
  Int64 x = 0;
  Integer colour = 0;
  while (x < Width) {
    const Int64 next = FindBit(Row, Width, x, colour ^ 1);
    PutRun(W, colour, next - x);
    x = next;
    colour ^= 1;
  }
}

// The first changing element of Ref right of A0 whose pixel is Value (1 black), in the encoder's
// sense.
Int64 NextChangeTo(const Byte* Ref, Integer Width, Int64 A0, Integer Value) {
  const Int64 p = FindBit(Ref, Width, A0, Value ^ 1);
  if (p >= Width) return Width;
  return FindBit(Ref, Width, p + 1, Value);
}

void Encode2D(TBitWriter& W, const Byte* Cur, const Byte* Ref, Integer Width) {
  Int64 a0 = 0;
  Integer a0colour = 0;
  Int64 a1 = FindBit(Cur, Width, 0, 1);
  Int64 b1 = FindBit(Ref, Width, 0, 1);
  for (;;) {
    const Int64 b2 = b1 >= Width ? Width : FindBit(Ref, Width, b1 + 1, PixelBit(Ref, b1) ^ 1);
    if (b2 < a1) {
      W.Put(kModeCodes[mdPass][1], kModeCodes[mdPass][0]);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      const Integer m = Integer(mdV0) + Integer(a1 - b1);
      W.Put(kModeCodes[m][1], kModeCodes[m][0]);
      a0 = a1;
      a0colour ^= 1;
    } else {
      const Int64 a2 = a1 >= Width ? Width : FindBit(Cur, Width, a1 + 1, PixelBit(Cur, a1) ^ 1);
      W.Put(kModeCodes[mdHorizontal][1], kModeCodes[mdHorizontal][0]);
      PutRun(W, a0colour, a1 - a0);
      PutRun(W, a0colour ^ 1, a2 - a1);
      a0 = a2;
    }
    if (a0 >= Width) break;
    a1 = FindBit(Cur, Width, a0 + 1, a0colour ^ 1);
    b1 = NextChangeTo(Ref, Width, a0, a0colour ^ 1);
  }
}

void CopyRow(std::vector<Byte>& To, const Byte* Row, Integer Width) {
  To.assign(Row, Row + RowBytes(Width));
}

// A row against RefRow (an all-white row when there is none yet), which then takes the row.
void Encode2DRow(TBitWriter& W, const Byte* Row, Integer Width, std::vector<Byte>& RefRow) {
  RefRow.resize(size_t(RowBytes(Width)), 0);
  Encode2D(W, Row, RefRow.data(), Width);
  CopyRow(RefRow, Row, Width);
}

void CloseStrip(TBitWriter& W, std::vector<Byte>& RefRow) {
  W.PadToByte();
  std::vector<Byte>().swap(RefRow);
}

}  // namespace

void IEInitCCITT() {
  std::lock_guard<std::mutex> guard(gTreeLock);
  if (gTreesBuilt.load(std::memory_order_relaxed)) return;
  BuildTrees();
  gTreesBuilt.store(true, std::memory_order_release);
}

void IEFinalCCITT() {
  std::lock_guard<std::mutex> guard(gTreeLock);
  gTreesBuilt.store(false, std::memory_order_release);
  std::vector<TNode>().swap(gNodes);
}

void IERegisterCCITTUnit() { IERegisterStartupStep(iessCCITT, IEInitCCITT, IEFinalCCITT); }

Int64 IECCITTDecode1DRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Int64 StartBit,
                         Integer FillOrder, AnsiString* Fault) {
  EnsureTrees();
  return Decode1D(Row, TBitReader(Data, DataLen, FillOrder), Width, StartBit, Fault);
}

Int64 IECCITTDecodeMHRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Integer FillOrder,
                         AnsiString* Fault) {
  EnsureTrees();
  const TBitReader in(Data, DataLen, FillOrder);
  return (Decode1D(Row, in, Width, 0, Fault) + 7) / 8;
}

Int64 IECCITTDecode2DRow(Byte* Row, const Byte* Data, Int64 DataLen, Integer Width, Byte* RefRow, Int64 StartBit,
                         Integer FillOrder, bool FillFlag, AnsiString* Fault) {
  EnsureTrees();
  return Decode2D(Row, TBitReader(Data, DataLen, FillOrder), Width, RefRow, StartBit, FillFlag, Fault);
}

void IECCITTEncodeMHRow(const Byte* Row, Integer Width, TStream* Stream, bool& Aborting, Integer FillOrder) {
  if (!Row) {
    // libtiff looks up to thirteen bits ahead of each code and drops a last row whose final
    // code has fewer bits behind it; zero bytes after the last row are read as nothing.
    static const Byte kTail[2] = {0, 0};
    IESafeStreamWrite(Stream, Aborting, kTail, 2);
    return;
  }
  TBitWriter w(Width, 0, 0);
  Encode1D(w, Row, Width);
  w.PadToByte();
  Byte pending = 0;
  Integer pendingBits = 0;
  w.Flush(Stream, Aborting, FillOrder, pending, pendingBits);
}

void IECCITTEncode1DRow(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        bool& Aborting, Integer FillOrder) {
  TBitWriter w(Width, PendingByte, PendingBits);
  if (Row) {
    PutEOL(w);
    Encode1D(w, Row, Width);
  } else {
    w.PadToByte();
  }
  w.Flush(Stream, Aborting, FillOrder, PendingByte, PendingBits);
}

void IECCITTEncodeG3Row(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        std::vector<Byte>& RefRow, bool& Aborting, Integer FillOrder) {
  TBitWriter w(Width, PendingByte, PendingBits);
  PutEOL(w);
  if (!Row) {
    CloseStrip(w, RefRow);
  } else if (RefRow.empty()) {
    w.Put(1, 1);
    Encode1D(w, Row, Width);
    CopyRow(RefRow, Row, Width);
  } else {
    w.Put(0, 1);
    Encode2DRow(w, Row, Width, RefRow);
  }
  w.Flush(Stream, Aborting, FillOrder, PendingByte, PendingBits);
}

void IECCITTEncodeG4Row(const Byte* Row, Integer Width, TStream* Stream, Byte& PendingByte, Integer& PendingBits,
                        std::vector<Byte>& RefRow, bool& Aborting, Integer FillOrder) {
  TBitWriter w(Width, PendingByte, PendingBits);
  if (!Row) {
    PutEOL(w);
    PutEOL(w);
    CloseStrip(w, RefRow);
  } else {
    Encode2DRow(w, Row, Width, RefRow);
  }
  w.Flush(Stream, Aborting, FillOrder, PendingByte, PendingBits);
}
