// Camera raw files: the reader that develops a camera's undecoded sensor data into an RGB image,
// the probe that recognises such files, and the stages the reader runs between them:
// identification of the container and the camera, the camera table, white balance,
// interpolation and the conversion to RGB.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/raw/ie_raw_decoder.h"
#include "platform/rtl/streams.h"

// The reader of camera raw files (read only). With Preview it identifies the file and fills
// IOParams without decoding and leaves Bitmap alone. An unrecognised file fails through
// Progress and leaves Bitmap as it was; a decoder that cannot go on fails with its reason.
void ReadRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview);

// True when the stream is a camera raw file the reader recognises; the position is kept.
bool IsRAW(TStream* Stream);

// The histogram matching the reader runs against the embedded thumbnail when asked to
// (TIOParamsVals.RawMatchExifThumbnail). It belongs to the processing layer, which installs it
// at the I/O unit's start-up; while it is nil the colours are left as developed.
extern void (*IERawMatchHistograms)(TIEBitmap* Reference, TIEBitmap* Bitmap);

// --- stages, in the order the reader runs them ---------------------------------------------

// Recognises the container and the camera and fills the state for the decoders: 0 when the
// file is one the reader can decode (the stream then at data_offset), 1 otherwise.
Integer identify_raw(TIERawDecoder& S);
// The rows of the camera table, tried in order after identification has settled the names and
// the defaults: 0 to go on with the final step of identification, 1 when the file is refused.
Integer apply_camera_table(TIERawDecoder& S);

// The 3 x 4 matrix of four-colour (cyan, magenta, yellow, green) sensors without one of their own.
void cmyg_to_rgb_coefficients(TIERawDecoder& S);
void apply_white_balance(TIERawDecoder& S);
// The bilinear pass: every missing colour of the inner pixels from the neighbours that see it.
void vng_interpolate(TIERawDecoder& S);
// R, G, B into samples 0..2, the luminance into sample 3, and the luminance histogram.
void to_output_rgb(TIERawDecoder& S);
// The white point from the luminance histogram: the level above which the brightest 1 % of the
// height x width pixels lie (0.5 % for "FUJIFILM"), never below 1.
Integer raw_white_point(const TIERawDecoder& S);
