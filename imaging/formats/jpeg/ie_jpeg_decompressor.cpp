#include "imaging/formats/jpeg/ie_jpeg_decompressor.h"

#include <new>

#include "imaging/formats/jpeg/ie_jpeg.h"

namespace {

TIEJpegErrorManager& ErrorOf(jpeg_decompress_struct* D) {
  // The manager's libjpeg part is its first member, so the err pointer is the manager.
  return *reinterpret_cast<TIEJpegErrorManager*>(D->err);
}

}  // namespace

jpeg_decompress_struct* JpegNewDecompressor() { return new (std::nothrow) jpeg_decompress_struct{}; }

TIEJpegErrorManager* JpegNewErrorManager(jpeg_decompress_struct* D) {
  auto* err = new (std::nothrow) TIEJpegErrorManager();
  if (err) D->err = IEJpegErrorManager(*err);
  return err;
}

void JpegCreateDecompressor(jpeg_decompress_struct* D) {
  IEJpegCall(ErrorOf(D), [&] { jpeg_CreateDecompress(D, 62, sizeof(jpeg_decompress_struct)); });
}

void JpegStreamSource(jpeg_decompress_struct* D, TStream* Stream) {
  IEJpegCall(ErrorOf(D), [&] { SetJPEGStreamSource(*D, Stream, nullptr); });
}

void JpegSetFillInputBuffer(jpeg_decompress_struct* D, TIEJpegFillInputBuffer Proc) {
  if (D->src) D->src->fill_input_buffer = Proc;
}

void JpegSetSourceData(jpeg_decompress_struct* D, const void* Data, Integer Count) {
  if (!D->src) return;
  D->src->next_input_byte = static_cast<const JOCTET*>(Data);
  D->src->bytes_in_buffer = Count > 0 ? static_cast<size_t>(Count) : 0;
}

Integer JpegReadHeader(jpeg_decompress_struct* D, bool RequireImage) {
  Integer result = 0;
  IEJpegCall(ErrorOf(D), [&] { result = jpeg_read_header(D, RequireImage ? TRUE : FALSE); });
  return result;
}

bool JpegStartDecompress(jpeg_decompress_struct* D) {
  boolean result = FALSE;
  IEJpegCall(ErrorOf(D), [&] { result = jpeg_start_decompress(D); });
  return result != FALSE;
}

Integer JpegOutputWidth(jpeg_decompress_struct* D) { return static_cast<Integer>(D->output_width); }
Integer JpegOutputHeight(jpeg_decompress_struct* D) { return static_cast<Integer>(D->output_height); }
Integer JpegOutputComponents(jpeg_decompress_struct* D) { return D->output_components; }

JSAMPARRAY JpegAllocSampleArray(jpeg_decompress_struct* D, Integer Pool, Integer SamplesPerRow, Integer Rows) {
  JSAMPARRAY result = nullptr;
  if (SamplesPerRow <= 0 || Rows <= 0) throw EIEJpegError("Bogus sample array size", 0);
  IEJpegCall(ErrorOf(D), [&] {
    result = (*D->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(D), Pool, static_cast<JDIMENSION>(SamplesPerRow),
                                     static_cast<JDIMENSION>(Rows));
  });
  return result;
}

Integer JpegOutputScanline(jpeg_decompress_struct* D) { return static_cast<Integer>(D->output_scanline); }

Integer JpegReadScanlines(jpeg_decompress_struct* D, JSAMPARRAY Rows, Integer MaxLines) {
  JDIMENSION result = 0;
  if (MaxLines <= 0) return 0;
  IEJpegCall(ErrorOf(D), [&] { result = jpeg_read_scanlines(D, Rows, static_cast<JDIMENSION>(MaxLines)); });
  return static_cast<Integer>(result);
}

bool JpegFinishDecompress(jpeg_decompress_struct* D) {
  boolean result = FALSE;
  IEJpegCall(ErrorOf(D), [&] { result = jpeg_finish_decompress(D); });
  return result != FALSE;
}

void JpegDestroyDecompressor(jpeg_decompress_struct* D) { jpeg_destroy_decompress(D); }

void JpegDisposeDecompressor(jpeg_decompress_struct* D) { delete D; }

void JpegDisposeErrorManager(TIEJpegErrorManager* Err) { delete Err; }
