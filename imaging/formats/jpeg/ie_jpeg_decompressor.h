// A thin set of entry points into libjpeg's decompressor for codecs that decode a JPEG row by row
// with an input procedure of their own (the camera raw reader). The caller keeps the order:
// JpegNewDecompressor, JpegNewErrorManager, JpegCreateDecompressor, JpegStreamSource, optionally
// JpegSetFillInputBuffer, JpegReadHeader, JpegStartDecompress, JpegAllocSampleArray,
// JpegReadScanlines while JpegOutputScanline is below JpegOutputHeight, JpegFinishDecompress,
// JpegDestroyDecompressor, JpegDisposeDecompressor, JpegDisposeErrorManager.
//
// Every library error raises EIEJpegError from the entry point that met it; the decompressor may
// then only be destroyed and disposed of. An input procedure runs inside libjpeg's frames and
// must not throw; it finds its own state through the decompressor's client_data.
#pragma once

#include "imaging/formats/jpeg/ie_jpeg_glue.h"
#include "platform/rtl/streams.h"

using TIEJpegFillInputBuffer = boolean (*)(j_decompress_ptr);

// A zeroed decompressor record; nil when memory is short.
jpeg_decompress_struct* JpegNewDecompressor();
// An error manager that raises, made the decompressor's; nil when memory is short.
TIEJpegErrorManager* JpegNewErrorManager(jpeg_decompress_struct* D);
void JpegCreateDecompressor(jpeg_decompress_struct* D);
void JpegStreamSource(jpeg_decompress_struct* D, TStream* Stream);
void JpegSetFillInputBuffer(jpeg_decompress_struct* D, TIEJpegFillInputBuffer Proc);
// For an input procedure: the next Count bytes are at Data.
void JpegSetSourceData(jpeg_decompress_struct* D, const void* Data, Integer Count);
Integer JpegReadHeader(jpeg_decompress_struct* D, bool RequireImage);
bool JpegStartDecompress(jpeg_decompress_struct* D);
Integer JpegOutputWidth(jpeg_decompress_struct* D);
Integer JpegOutputHeight(jpeg_decompress_struct* D);
Integer JpegOutputComponents(jpeg_decompress_struct* D);
// Rows x SamplesPerRow samples from the library's pool (JPOOL_IMAGE = 1: freed with the image).
JSAMPARRAY JpegAllocSampleArray(jpeg_decompress_struct* D, Integer Pool, Integer SamplesPerRow, Integer Rows);
Integer JpegOutputScanline(jpeg_decompress_struct* D);
Integer JpegReadScanlines(jpeg_decompress_struct* D, JSAMPARRAY Rows, Integer MaxLines);
bool JpegFinishDecompress(jpeg_decompress_struct* D);
void JpegDestroyDecompressor(jpeg_decompress_struct* D);
void JpegDisposeDecompressor(jpeg_decompress_struct* D);
void JpegDisposeErrorManager(TIEJpegErrorManager* Err);
