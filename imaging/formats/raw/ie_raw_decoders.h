// The sensor data decoders of the camera raw reader, one load procedure per camera family, and
// the two stages that follow some of them: the colour reconstruction of three-layer (Foveon)
// sensors and the turn of diagonal sensors back upright.
//
// A load procedure reads from data_offset (where identification left the stream) and stores
// every sample through sensor_cell. It never writes outside the image buffer. A truncated or
// damaged stream is reported through the state's progress record (reason and abort flag) and
// what was decoded stays; a coding the procedure cannot decode at all (a table the file does
// not define, a JPEG of the wrong size, a coding whose tables this program does not have)
// raises EIERawError.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/raw/ie_raw_decoder.h"

// Packed and plain layouts.
void canon_10bit_interleaved_load_raw(TIERawDecoder& S);
void canon_10bit_packed_load_raw(TIERawDecoder& S);
void nikon_12bit_load_raw(TIERawDecoder& S);
void swapped_12bit_load_raw(TIERawDecoder& S);
void coolpix_10bit_load_raw(TIERawDecoder& S);
void rollei_10bit_load_raw(TIERawDecoder& S);
void phase_one_masked_load_raw(TIERawDecoder& S);
void imacon_reversed_load_raw(TIERawDecoder& S);
void packed_12bit_load_raw(TIERawDecoder& S);
void olympus_interlaced_load_raw(TIERawDecoder& S);
void eight_bit_load_raw(TIERawDecoder& S);
void casio_10bit_load_raw(TIERawDecoder& S);
void nucore_load_raw(TIERawDecoder& S);

// Rows of sensor_width 16-bit samples, big-endian when BigEndian, stored (s shl 8) shr
// (Shift + 8) (a negative Shift shifts left). The camera table names the combinations below.
void unpacked_load_raw(TIERawDecoder& S, bool BigEndian, Integer Shift);
void unpacked_mm_left2_load_raw(TIERawDecoder& S);   // MM -2
void unpacked_mm_left4_load_raw(TIERawDecoder& S);   // MM -4
void unpacked_mm_load_raw(TIERawDecoder& S);         // MM 0
void unpacked_mm_right2_load_raw(TIERawDecoder& S);  // MM 2
void unpacked_ii_right2_load_raw(TIERawDecoder& S);  // II 2

// Diagonal (45-degree) sensors: these set diagonal_sensor.
void fuji_s2_diagonal_load_raw(TIERawDecoder& S);
void fuji_diagonal_rows(TIERawDecoder& S, Integer n, Integer k, Integer m);
void fuji_s5000_diagonal_load_raw(TIERawDecoder& S);
void fuji_s7000_diagonal_load_raw(TIERawDecoder& S);
void fuji_f700_diagonal_load_raw(TIERawDecoder& S);

// Entropy-coded data.
// Decodes with the trees canon_huffman_tables left in the pool; raises kRawCanonNotSupported
// when the second tree is not there (always for camera files, see canon_huffman_tables).
void canon_compressed_load_raw(TIERawDecoder& S);
void lossless_huffman_load_raw(TIERawDecoder& S);
void nikon_compressed_load_raw(TIERawDecoder& S);
// Sigma's sensor data: 1024 differences (16-bit) and 1024 code words (32-bit) at a fixed place,
// then the rows. Every sample takes at least one bit, as the tree's root is never a leaf.
constexpr Int64 kSigmaTablesAt = 260;
constexpr Int64 kSigmaRowsAt = kSigmaTablesAt + 1024 * 2 + 1024 * 4;
void sigma_huffman_load_raw(TIERawDecoder& S);
void sony_f828_load_raw(TIERawDecoder& S);
void sony_keystream_xor(TIERawDecoder& S, Cardinal* Words, Integer Count, bool Start, Cardinal Key);

// Kodak.
// The camera's tone curve (4096 entries) for the Kodak decoders; identity for other makes.
void read_tone_curve(TIERawDecoder& S, Word* Curve);
void kodak_easy_load_raw(TIERawDecoder& S);
void kodak_dc120_shuffled_load_raw(TIERawDecoder& S);
void kodak_dc120_jpeg_load_raw(TIERawDecoder& S);
void kodak_dc40_load_raw(TIERawDecoder& S);
void kodak_packed_diff_load_raw(TIERawDecoder& S);
void kodak_ycc_load_raw(TIERawDecoder& S);
// Text of the DC40 refusal: the trees of that coding are not known to this program.
extern const char* const kRawDc40NotSupported;

// Three-layer sensors: replaces white balance and interpolation (height x width pixels).
void foveon_interpolate(TIERawDecoder& S);
// Foveon curve lookup (exposed for tests): Curve holds its length first, then the values.
Integer foveon_apply_curve(Integer i, const short* Curve);

// Diagonal sensors: Bitmap (ie24RGB or ieRGB48) is replaced by the upright image.
void rotate_back_diagonal8(TIEBitmap* Bitmap);
void rotate_back_diagonal16(TIEBitmap* Bitmap);
