// The state every stage of the camera raw reader shares, and the input primitives they read
// through: byte-order readers, the address of a sensor cell in the image buffer, the bit reader
// with optional JPEG byte stuffing, the Huffman trees kept in a fixed pool of nodes, and the
// allocation check that names the stage that ran out of memory.
//
// The bytes come from an untrusted file. Reads past the end of the stream give zero bytes and
// are counted, so a decoder can tell a truncated file from a complete one (RawInputEnded) and
// report it instead of handing back a silently black image; the bit reader counts only the
// missing bits a caller actually consumed, since it always reads a little ahead. sensor_cell
// answers nil outside the buffer, and every tree walk and build is bounded by the pool.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "imaging/core/ie_progress.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// What a decoder raises when it cannot go on: a work buffer that could not be had, a Huffman
// pool that overflowed, a JPEG of the wrong size, a table the file does not define.
class EIERawError : public Exception {
 public:
  using Exception::Exception;
};

struct TIERawDecoder;
using TIERawLoadProc = void (*)(TIERawDecoder& State);

constexpr Integer kRawOrderIntel = 0x4949;     // "II", little-endian
constexpr Integer kRawOrderMotorola = 0x4D4D;  // "MM", big-endian
constexpr Integer kRawNamesLength = 64;
constexpr Integer kRawHistogramSize = 8192;
constexpr Integer kRawJpegBufferSize = 4096;
constexpr Integer kRawSonyKeyWords = 128;
constexpr Integer kRawDc40Trees = 18;
constexpr Integer kRawPoolNodes = 2048;

// A node of the Huffman pool. Branches are node indices; node 0 is always a root, never a
// child, so 0 stands for "no branch". A node without branch 0 is a leaf.
struct TIERawHuffNode {
  Integer branch[2];
  Integer leaf;
};

struct TIERawDecoder {
  Word (*image)[4] = nullptr;  // out_height x out_width records, owned by the reader
  TStream* stream = nullptr;   // not owned
  Integer order = kRawOrderIntel;
  char make[kRawNamesLength] = {};
  char model[kRawNamesLength] = {};
  char model_extra[kRawNamesLength] = {};

  Integer timestamp = 0;
  Integer data_offset = 0;
  Integer tone_curve_start = 0;
  Integer tone_curve_length = 0;
  Integer compression = 0;
  Integer photometric = 0;
  Integer sensor_height = 0;
  Integer sensor_width = 0;
  Integer active_top = 0;
  Integer active_left = 0;
  Integer height = 0;
  Integer width = 0;
  Integer colors = 3;
  Integer black = 0;
  Integer saturation_level = 0;
  Integer out_height = 0;
  Integer out_width = 0;
  Integer halve = 0;
  Integer canon_file = 0;
  // The Huffman table set (0..2) a Canon CIFF heap names for its sensor data; identification
  // reads it, the Canon decoder builds its trees from it.
  Integer canon_table = 0;
  Integer cmy_sensor = 0;
  Integer three_layer_sensor = 0;
  Integer use_fixed_matrix = 0;
  Integer edge_trim = 0;
  Integer flip = 0;
  Integer column_repeat = 1;
  Integer row_repeat = 1;
  Integer ff_stuffing = 0;

  Cardinal filters = 0;
  Word white[8][8] = {};

  TIERawLoadProc load_raw = nullptr;

  // Options copied from the caller's parameters.
  float opt_gamma = 0.6f;
  float opt_brightness = 1.0f;
  float opt_red_factor = 1.0f;
  float opt_blue_factor = 1.0f;
  Integer opt_four_color = 0;
  Integer opt_document_mode = 0;
  Integer opt_quick_interpolate = 1;
  Integer opt_auto_wb = 0;
  Integer opt_camera_wb = 0;
  Integer opt_secondary_cells = 0;

  float camera_wb_red = 0;
  float camera_wb_blue = 0;
  float wb_multipliers[4] = {1, 1, 1, 1};
  float fixed_matrix[3][4] = {};

  Integer histogram[kRawHistogramSize] = {};
  Byte jpeg_buffer[kRawJpegBufferSize] = {};

  Cardinal sony_key[kRawSonyKeyWords] = {};
  Integer sony_pos = 0;

  // Bit reader.
  Cardinal bit_store = 0;
  Integer bit_count = 0;
  Integer leaf_count = 0;

  // Kodak DC40 token trees.
  const Byte* dc40_source = nullptr;
  Integer dc40_roots[kRawDc40Trees] = {};
  Integer dc40_node = 0;

  // Huffman pool. tree_root[0] and [1] are the roots of the two tables of a decoder (the
  // second-tree root of the Canon decoder is tree_root[1]); -1: the file defined no such table.
  TIERawHuffNode pool[kRawPoolNodes] = {};
  Integer tree_root[2] = {-1, -1};
  Integer pool_free = 0;

  Byte diagonal_sensor = 0;
  TIECodecProgress progress;

  // Input accounting: bytes the stream did not give (read as 0) outside the bit reader, and
  // whether the bit reader handed out bits that were never in the file.
  Int64 short_reads = 0;
  Integer phantom_bits = 0;
  bool bits_ran_out = false;
};

// The colour channel (0..3) of the sensor cell at row, col.
inline Integer filter_colour(const TIERawDecoder& S, Integer row, Integer col) {
  return static_cast<Integer>((S.filters >> ((((row << 1) & 14) + (col & 1)) << 1)) & 3);
}

// Clears the bit store, its count, the leaf counter and the DC40 tree state.
void reset_bit_reader(TIERawDecoder& S);

// Stream access through the state. Missing bytes read as 0 and are counted in short_reads.
Integer read_byte(TIERawDecoder& S);
Integer read_u16(TIERawDecoder& S);  // by order
Cardinal read_u32(TIERawDecoder& S);  // by order
// Reads Count bytes into Buffer, zero-filling and counting what the stream did not give;
// answers the bytes really read.
Integer read_block(TIERawDecoder& S, void* Buffer, Integer Count);
void raw_seek(TIERawDecoder& S, Int64 Position);
void raw_skip(TIERawDecoder& S, Int64 Count);
Int64 raw_tell(TIERawDecoder& S);
Int64 raw_size(TIERawDecoder& S);

// Address of the sample filter_colour(row, col) of the pixel that holds sensor cell (row, col),
// or nil when the cell lies outside the image buffer (then nothing is stored).
Word* sensor_cell(TIERawDecoder& S, Integer row, Integer col);
// Stores Value through sensor_cell when the cell is inside the buffer.
inline void set_cell(TIERawDecoder& S, Integer row, Integer col, Integer Value) {
  if (Word* p = sensor_cell(S, row, col)) *p = static_cast<Word>(Value);
}
// The pixel record (row, col) of the image buffer, nil outside it.
Word* image_pixel(TIERawDecoder& S, Integer row, Integer col);

// Raises EIERawError ": Out of memory in " + Stage when Pointer is nil.
void check_allocation(const void* Pointer, const char* Stage);
// A zero-filled work buffer of Count elements; a failed allocation (or a count that does not
// fit) raises the allocation check's error for Stage.
template <class T>
std::vector<T> raw_work_buffer(Int64 Count, const char* Stage) {
  std::vector<T> buffer;
  const void* ok = nullptr;
  if (Count >= 0 && static_cast<UInt64>(Count) <= (static_cast<UInt64>(1) << 40) / sizeof(T)) {
    try {
      buffer.assign(static_cast<size_t>(Count), T{});
      ok = &buffer;
    } catch (const std::bad_alloc&) {
    }
  }
  check_allocation(ok, Stage);
  return buffer;
}

// n = 0: 0. n = -1: clears the store and answers 0. Otherwise the next n bits (n <= 25). After
// every call but n = 0 the store holds at least 25 bits; with ff_stuffing a byte after 0xFF is
// dropped.
Integer read_bits(TIERawDecoder& S, Integer n);

// The tree pool: cleared, its free index at the first node, no table defined.
void reset_tree_pool(TIERawDecoder& S);
// Builds a canonical tree from Source (16 counts of the code lengths 1..16, then the symbols) of
// SourceLength bytes into the pool; answers the node index of its root and, in Used, the bytes
// of Source it took (16 + the symbols used). Raises ": decoder table overflow" when the pool runs
// out and a table error when the counts ask for more symbols than Source holds.
Integer build_huffman_tree(TIERawDecoder& S, const Byte* Source, Integer SourceLength, Integer* Used = nullptr);
// Walks the tree from Root with read_bits(1); answers the leaf value.
Integer decode_symbol(TIERawDecoder& S, Integer Root);
// 1024 code words (length in the top 5 bits, code in the low 27): answers the root.
Integer build_sigma_tree(TIERawDecoder& S, const Cardinal* Codes);
// Pairs (length, value) of Count pairs: answers the root.
Integer build_radc_tree(TIERawDecoder& S, const Byte* Pairs, Integer Count);
// Resets the pool, builds the Canon first tree of Table (limited to 2) into tree_root[0] and,
// when SecondTree is given (16 counts, then the symbols; SecondLength bytes), the second tree
// into tree_root[1]. The symbols of the cameras' second trees are not known to this program, so
// without SecondTree tree_root[1] stays undefined and canon_compressed_load_raw refuses the file.
void canon_huffman_tables(TIERawDecoder& S, Integer Table, const Byte* SecondTree = nullptr, Integer SecondLength = 0);
// Text of that refusal.
extern const char* const kRawCanonNotSupported;
// The Canon first-tree source of Table (0..2), 29 bytes; the Nikon tree source, 30 bytes.
const Byte* canon_first_tree_source(Integer Table);
const Byte* nikon_tree_source();

// Whether a Canon CRW carries the block of low bits (reads the first 16384 bytes).
bool canon_low_bits_present(TIERawDecoder& S);

// Sign extension of an n-bit difference as the raw codings use it.
inline Integer raw_sign_extend(Integer d, Integer n) {
  if (n <= 0) return 0;
  if ((d & (1 << (n - 1))) == 0) d -= (1 << n) - 1;
  return d;
}

// True when a decoder has consumed input the file did not hold.
inline bool RawInputEnded(const TIERawDecoder& S) { return S.short_reads > 0 || S.bits_ran_out; }
// Reports a damaged or truncated sensor stream through the progress record's reason and abort
// flag (what was decoded stays in the buffer); the first reason is kept.
void raw_damaged(TIERawDecoder& S, const AnsiString& Reason);
// At the end of a decoder: when the input ran out, reports "the sensor data ends early" for
// Stage. Answers true when it did.
bool raw_check_truncated(TIERawDecoder& S, const char* Stage);

// The largest sensor side a decoder accepts; no camera comes near it, and it keeps every
// product of two sides inside 32 bits.
constexpr Integer kRawMaxSide = 32768;
// Whether the sizes a decoder reads are usable: active area inside 1..kRawMaxSide, sensor
// sizes 0..kRawMaxSide, offsets of the active area 0..kRawMaxSide.
bool raw_sizes_usable(const TIERawDecoder& S);
// At the start of a decoder: checks that the sizes the decoder reads are usable (active area
// inside 1..kRawMaxSide, sensor sizes 0..kRawMaxSide, an image buffer) and starts the progress
// over Rows rows. Otherwise reports the damage for Stage and answers false: nothing is decoded.
bool raw_begin(TIERawDecoder& S, const char* Stage, Integer Rows);

// Progress of a decoder: percent-per-row is 100 / Rows / 2; Report(row) sends Trunc(row x it)
// when a handler is assigned.
void raw_progress_start(TIERawDecoder& S, Integer Rows);
void raw_progress_row(TIERawDecoder& S, Integer Row);

// Exchanges the two bytes of each 16-bit word of Count bytes (an odd last byte stays).
void raw_swap_bytes16(Byte* Data, Integer Count);
