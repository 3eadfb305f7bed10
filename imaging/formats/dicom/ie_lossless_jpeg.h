// Lossless JPEG (the predictive process with frame marker SOF3), which the JPEG library does not
// decode: one datastream held in memory, decoded into the caller's rows.
#pragma once

#include <functional>

#include "platform/rtl/types.h"

// The image the caller has room for. A datastream whose frame header claims another size or
// another number of components is refused: its samples would not fit the rows given.
struct TIELosslessJPEGFrame {
  Integer Width = 0;
  Integer Height = 0;
  Integer Components = 1;  // 1 or 3
  bool Wide = false;       // 16-bit samples (precision 9 to 16) rather than bytes (up to 8)
};

// Receives row Y of the image: Width x Components samples, components interleaved; Row16 for a
// wide frame, Row8 otherwise (the other is nil). Answers False to stop the decoding.
using TIELosslessJPEGRowSink = std::function<bool(Integer Y, const Word* Row16, const Byte* Row8)>;

// Decodes the datastream Data[0, Size), whose entropy-coded data it unstuffs in place. Answers False with Reason for every structural fault:
// too little data, a missing marker, a segment past the data, a bad or missing Huffman table, a
// frame that is not lossless or not the size of Frame, a second scan. Samples are written as
// reconstructed; entropy-coded data that ends early decodes as zero bits and is reported in Reason
// with True still answered when every row was delivered (Truncated is then set).
bool DecodeLosslessJPEG(Byte* Data, Int64 Size, const TIELosslessJPEGFrame& Frame,
                        const TIELosslessJPEGRowSink& Sink, AnsiString& Reason, bool* Truncated = nullptr);
