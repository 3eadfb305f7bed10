// The library-wide list of image file formats: for each one its id, name, extensions, the page
// of the save-parameter dialog that serves it and the procedures that read, write and recognise
// it. Loading and saving by name look formats up here by extension, the id-based entry points by
// id, and detection asks every row's content test. The built-in rows are made at the I/O unit's
// start-up; further formats may be added and removed while the program runs.
#pragma once

#include <cstdint>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// File type ids.
enum : Integer {
  ioUnknown = 0,
  ioTIFF = 1,
  ioGIF = 2,
  ioJPEG = 3,
  ioPCX = 4,
  ioBMP = 5,
  ioICO = 6,
  ioCUR = 7,
  ioPNG = 8,
  ioWMF = 9,
  ioEMF = 10,
  ioTGA = 11,
  ioPXM = 12,
  ioJP2 = 13,
  ioJ2K = 14,
  ioAVI = 15,
  ioWBMP = 16,
  ioPS = 17,
  ioPDF = 18,
  ioDCX = 19,
  ioRAW = 20,
  ioBMPRAW = 21,
  ioPSD = 24,
  ioIEV = 25,
  ioLYR = 26,
  ioALL = 27,
  ioDICOM = 28,
};

// Pages of the save-parameter dialog, as bits of a 16-bit set.
enum TPreviewParam : Byte { ppALL = 0, ppAUTO, ppJPEG, ppTIFF, ppGIF, ppBMP, ppPCX, ppPNG, ppTGA, ppJ2000 };
using TPreviewParams = std::uint16_t;
constexpr TPreviewParams IEPreviewPage(TPreviewParam Page) { return TPreviewParams(1u << Page); }

using TIECodecReadProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                                  TIECodecProgress& Progress, bool Preview);
using TIECodecWriteProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                                   TIECodecProgress& Progress);
using TIETryImageStream = bool (*)(TStream* Stream, Integer FileType);

class TIEFileFormatInfo : public TObject {
 public:
  AnsiString ClassName() const override { return "TIEFileFormatInfo"; }

  Integer FileType = ioUnknown;
  AnsiString FullName;
  // Without dots, separated by ";", compared without regard to case.
  AnsiString Extensions;
  // Built-in rows are served by the I/O component's own per-format methods, not by the
  // procedures below.
  bool InternalFormat = false;
  TPreviewParams DialogPage = 0;
  TIECodecReadProc ReadFunction = nullptr;    // nil: cannot be read
  TIECodecWriteProc WriteFunction = nullptr;  // nil: cannot be written
  TIETryImageStream TryFunction = nullptr;
};

// What built-in rows hold where the row can be read or written: the work is done elsewhere.
void IEFileFormatNoRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                        bool Preview);
void IEFileFormatNoWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
bool IEFileFormatNoTry(TStream* Stream, Integer FileType);

// The first row with that id in registration order, or nil.
TIEFileFormatInfo* IEFileFormatGetInfo(Integer FileType);
Integer IEFileFormatGetExtCount(Integer FileType);
// The Index-th extension (from 0) as stored: upper case, no dot; empty past the end or without
// a row. An empty item ends the list.
AnsiString IEFileFormatGetExt(Integer FileType, Integer Index);
// Ext with or without its dot, any case; the first registered row wins.
TIEFileFormatInfo* IEFileFormatGetInfoByExt(const AnsiString& Ext);
Integer IEFileTypeFromExt(const AnsiString& Ext);
// The registry owns the row from then on.
void IEFileFormatAdd(TIEFileFormatInfo* Info);
void IEFileFormatRemove(Integer FileType);
// Starts the list afresh with the 24 built-in rows.
void IERegisterBuiltinFormats();
void IEFreeFileFormats();
// Rows in registration order (0 when the list does not exist).
Integer IEFileFormatCount();
TIEFileFormatInfo* IEFileFormatAt(Integer Index);

// Cuts the next item off a ";"-separated list.
AnsiString IEFileFormatCutExt(AnsiString& Rest);
