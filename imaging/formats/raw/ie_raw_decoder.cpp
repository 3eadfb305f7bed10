#include "imaging/formats/raw/ie_raw_decoder.h"

#include <cstring>

#include "imaging/core/ie_bits.h"

void reset_bit_reader(TIERawDecoder& S) {
  S.bit_store = 0;
  S.bit_count = 0;
  S.leaf_count = 0;
  S.phantom_bits = 0;
  S.dc40_source = nullptr;
  std::memset(S.dc40_roots, 0, sizeof S.dc40_roots);
  S.dc40_node = 0;
}

namespace {

// One byte, or -1 when the stream has none left.
Integer next_byte(TIERawDecoder& S) {
  Byte b;
  if (!S.stream || S.stream->Read(&b, 1) != 1) return -1;
  return b;
}

}  // namespace

Integer read_byte(TIERawDecoder& S) {
  const Integer c = next_byte(S);
  if (c < 0) {
    ++S.short_reads;
    return 0;
  }
  return c;
}

Integer read_block(TIERawDecoder& S, void* Buffer, Integer Count) {
  if (Count <= 0) return 0;
  Byte* p = static_cast<Byte*>(Buffer);
  Integer got = 0;
  while (got < Count && S.stream) {
    const Integer n = S.stream->Read(p + got, Count - got);
    if (n <= 0) break;
    got += n;
  }
  if (got < Count) {
    std::memset(p + got, 0, static_cast<size_t>(Count - got));
    S.short_reads += Count - got;
  }
  return got;
}

Integer read_u16(TIERawDecoder& S) {
  Byte b[2];
  read_block(S, b, 2);
  if (S.order == kRawOrderIntel) return b[0] | (b[1] << 8);
  return (b[0] << 8) | b[1];
}

Cardinal read_u32(TIERawDecoder& S) {
  Byte b[4];
  read_block(S, b, 4);
  if (S.order == kRawOrderIntel)
    return Cardinal(b[0]) | (Cardinal(b[1]) << 8) | (Cardinal(b[2]) << 16) | (Cardinal(b[3]) << 24);
  return (Cardinal(b[0]) << 24) | (Cardinal(b[1]) << 16) | (Cardinal(b[2]) << 8) | Cardinal(b[3]);
}

void raw_seek(TIERawDecoder& S, Int64 Position) {
  if (S.stream) S.stream->Seek(Position < 0 ? 0 : Position, soBeginning);
}

void raw_skip(TIERawDecoder& S, Int64 Count) {
  if (S.stream) {
    const Int64 target = S.stream->Position() + Count;
    S.stream->Seek(target < 0 ? 0 : target, soBeginning);
  }
}

Int64 raw_tell(TIERawDecoder& S) { return S.stream ? S.stream->Position() : 0; }

Int64 raw_size(TIERawDecoder& S) { return S.stream ? S.stream->Size() : 0; }

Word* image_pixel(TIERawDecoder& S, Integer row, Integer col) {
  if (!S.image || row < 0 || col < 0 || row >= S.out_height || col >= S.out_width) return nullptr;
  return S.image[static_cast<size_t>(row) * static_cast<size_t>(S.out_width) + static_cast<size_t>(col)];
}

Word* sensor_cell(TIERawDecoder& S, Integer row, Integer col) {
  if (row < 0 || col < 0) return nullptr;
  Word* pixel = image_pixel(S, row >> S.halve, col >> S.halve);
  return pixel ? pixel + filter_colour(S, row, col) : nullptr;
}

void check_allocation(const void* Pointer, const char* Stage) {
  if (!Pointer) throw EIERawError(AnsiString(": Out of memory in ") + Stage);
}

namespace {

// Tops the store up to 25 bits or more; bytes past the end count as missing bits.
void refill_bits(TIERawDecoder& S) {
  while (S.bit_count < 25) {
    Integer c = next_byte(S);
    if (c < 0) {
      c = 0;
      S.phantom_bits += 8;
    }
    S.bit_store = (S.bit_store << 8) | Cardinal(c);
    S.bit_count += 8;
    if (c == 0xFF && S.ff_stuffing) next_byte(S);
  }
}

}  // namespace

Integer read_bits(TIERawDecoder& S, Integer n) {
  if (n == 0) return 0;
  Integer result = 0;
  if (n == -1) {
    S.bit_store = 0;
    S.bit_count = 0;
    S.phantom_bits = 0;
  } else {
    // Codes are at most 25 bits; a larger request comes from a damaged table and must not
    // shift past the store.
    if (n < 0 || n > 25) n = 25;
    // Only a caller that skipped read_bits(-1) finds the store short; fill it as the reset would.
    if (S.bit_count < n) refill_bits(S);
    result = static_cast<Integer>((static_cast<UInt64>(S.bit_store) << (32 - S.bit_count) & 0xFFFFFFFFu) >> (32 - n));
    S.bit_count -= n;
    if (S.phantom_bits > S.bit_count) {
      S.bits_ran_out = true;
      S.phantom_bits = S.bit_count;
    }
  }
  refill_bits(S);
  return result;
}

void reset_tree_pool(TIERawDecoder& S) {
  std::memset(S.pool, 0, sizeof S.pool);
  S.pool_free = 0;
  S.tree_root[0] = S.tree_root[1] = -1;
}

namespace {

Integer take_node(TIERawDecoder& S) {
  if (S.pool_free >= kRawPoolNodes) throw EIERawError(": decoder table overflow");
  const Integer node = S.pool_free++;
  S.pool[node] = TIERawHuffNode{{0, 0}, 0};
  return node;
}

void build_huffman_node(TIERawDecoder& S, const Byte* Source, Integer SourceLength, Integer level) {
  const Integer node = take_node(S);
  Integer sum = 0;
  Integer length = 0;
  for (Integer i = 1; i <= 16; ++i) {
    sum += Source[i - 1];
    if (sum > S.leaf_count) {
      length = i;
      break;
    }
  }
  if (length == 0) return;  // every symbol is placed: the node stays empty
  if (level < length) {
    S.pool[node].branch[0] = S.pool_free;
    build_huffman_node(S, Source, SourceLength, level + 1);
    S.pool[node].branch[1] = S.pool_free;
    build_huffman_node(S, Source, SourceLength, level + 1);
  } else {
    if (16 + S.leaf_count >= SourceLength) throw EIERawError(": Huffman table holds fewer symbols than its counts");
    S.pool[node].leaf = Source[16 + S.leaf_count];
    ++S.leaf_count;
  }
}

}  // namespace

Integer build_huffman_tree(TIERawDecoder& S, const Byte* Source, Integer SourceLength, Integer* Used) {
  if (SourceLength < 16) throw EIERawError(": Huffman table is shorter than its counts");
  S.leaf_count = 0;
  const Integer root = S.pool_free;
  build_huffman_node(S, Source, SourceLength, 0);
  if (Used) *Used = 16 + S.leaf_count;
  return root;
}

Integer decode_symbol(TIERawDecoder& S, Integer Root) {
  if (Root < 0 || Root >= kRawPoolNodes) throw EIERawError(": Huffman table not defined");
  Integer node = Root;
  // Every branch points to a later node of the pool, so the walk ends within the pool.
  while (S.pool[node].branch[0] != 0) {
    const Integer next = S.pool[node].branch[read_bits(S, 1)];
    if (next <= node || next >= kRawPoolNodes) break;
    node = next;
  }
  return S.pool[node].leaf;
}

namespace {

void build_sigma_node(TIERawDecoder& S, const Cardinal* Codes, Cardinal code) {
  const Integer node = take_node(S);
  if (code != 0) {
    for (Integer i = 0; i < 1024; ++i) {
      if (Codes[i] == code) {
        S.pool[node].leaf = i;
        return;
      }
    }
  }
  if (code > 0xD7FFFFFFu) return;  // longer than any code of the table: an empty node
  const Cardinal next = ((((code >> 27) + 1) << 27) | ((code << 1) & 0x7FFFFFF));
  S.pool[node].branch[0] = S.pool_free;
  build_sigma_node(S, Codes, next);
  S.pool[node].branch[1] = S.pool_free;
  build_sigma_node(S, Codes, next + 1);
}

void build_radc_node(TIERawDecoder& S, const Byte*& Pairs, const Byte* End, Integer level) {
  const Integer node = take_node(S);
  if (Pairs + 2 > End) return;  // the list ended: an empty node
  if (level < Pairs[0]) {
    S.pool[node].branch[0] = S.pool_free;
    build_radc_node(S, Pairs, End, level + 1);
    S.pool[node].branch[1] = S.pool_free;
    build_radc_node(S, Pairs, End, level + 1);
  } else {
    S.pool[node].leaf = static_cast<signed char>(Pairs[1]);
    Pairs += 2;
  }
}

}  // namespace

Integer build_sigma_tree(TIERawDecoder& S, const Cardinal* Codes) {
  const Integer root = S.pool_free;
  build_sigma_node(S, Codes, 0);
  return root;
}

Integer build_radc_tree(TIERawDecoder& S, const Byte* Pairs, Integer Count) {
  const Integer root = S.pool_free;
  const Byte* p = Pairs;
  build_radc_node(S, p, Pairs + 2 * static_cast<Int64>(Count), 0);
  return root;
}

namespace {

const Byte kCanonFirstTrees[3][29] = {
    {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 3, 5, 6, 2, 7, 1, 8, 9, 0, 10, 11, 255},
    {0, 2, 2, 3, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 3, 2, 4, 1, 5, 0, 6, 7, 9, 8, 10, 11, 255},
    {0, 0, 6, 3, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 5, 7, 4, 8, 3, 9, 2, 0, 10, 1, 11, 255},
};

// The counts give 14 codes for 13 lengths; the last code (ten 1 bits) never occurs in a camera's
// data, and is given length 0 here so that the tree can be built without reading past the table.
const Byte kNikonTree[30] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0,
                             5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12, 0};

}  // namespace

const Byte* canon_first_tree_source(Integer Table) {
  if (Table < 0) Table = 0;
  if (Table > 2) Table = 2;
  return kCanonFirstTrees[Table];
}

const Byte* nikon_tree_source() { return kNikonTree; }

const char* const kRawCanonNotSupported =
    ": Canon compressed sensor data is not supported (its second Huffman tables are not known)";

void canon_huffman_tables(TIERawDecoder& S, Integer Table, const Byte* SecondTree, Integer SecondLength) {
  if (Table < 0) Table = 0;
  if (Table > 2) Table = 2;
  reset_tree_pool(S);
  S.tree_root[0] = build_huffman_tree(S, kCanonFirstTrees[Table], 29);
  if (SecondTree) S.tree_root[1] = build_huffman_tree(S, SecondTree, SecondLength);
}

bool canon_low_bits_present(TIERawDecoder& S) {
  std::vector<Byte> head(16384, 0);
  raw_seek(S, 0);
  Integer got = 0;
  while (got < 16384 && S.stream) {
    const Integer n = S.stream->Read(head.data() + got, 16384 - got);
    if (n <= 0) break;
    got += n;
  }
  bool saw_ff = false;
  for (Integer i = 540; i < 16383; ++i) {
    if (head[i] == 0xFF) {
      if (head[i + 1] != 0) return true;
      saw_ff = true;
    }
  }
  return !saw_ff;
}

void raw_damaged(TIERawDecoder& S, const AnsiString& Reason) { IEFail(S.progress, Reason); }

bool raw_check_truncated(TIERawDecoder& S, const char* Stage) {
  if (!RawInputEnded(S)) return false;
  raw_damaged(S, AnsiString("the raw sensor data ends early (") + Stage + ")");
  return true;
}

bool raw_sizes_usable(const TIERawDecoder& S) {
  return S.height > 0 && S.width > 0 && S.height <= kRawMaxSide && S.width <= kRawMaxSide && S.sensor_height >= 0 &&
         S.sensor_width >= 0 && S.sensor_height <= kRawMaxSide && S.sensor_width <= kRawMaxSide &&
         S.active_top >= 0 && S.active_left >= 0 && S.active_top <= kRawMaxSide && S.active_left <= kRawMaxSide;
}

bool raw_begin(TIERawDecoder& S, const char* Stage, Integer Rows) {
  if (!S.image || S.out_height <= 0 || S.out_width <= 0 || !raw_sizes_usable(S)) {
    raw_damaged(S, AnsiString("the camera's sensor size is not valid (") + Stage + ")");
    return false;
  }
  raw_progress_start(S, Rows);
  return true;
}

void raw_progress_start(TIERawDecoder& S, Integer Rows) {
  S.progress.Per = Rows > 0 ? 100.0 / Rows / 2 : 0;
}

void raw_progress_row(TIERawDecoder& S, Integer Row) {
  if (S.progress.OnProgress) S.progress.OnProgress(S.progress.Sender, static_cast<Integer>(Row * S.progress.Per));
}

void raw_swap_bytes16(Byte* Data, Integer Count) {
  for (Integer i = 0; i + 1 < Count; i += 2) {
    const Byte t = Data[i];
    Data[i] = Data[i + 1];
    Data[i + 1] = t;
  }
}
