// The I/O unit's library-wide state: what its start-up installs (the LZW coders, the format
// registry, the colour converter and the switches the codecs read) and its shut-down releases,
// the list of loaded I/O plug-ins, the debug log, and the print placement record every I/O
// component owns.
#pragma once

#include <vector>

#include "imaging/core/ie_cmyk_profile.h"
#include "platform/rtl/dynlib.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/types.h"

// One loaded I/O plug-in: the library, the file type id whose registry row it added, and its lock.
struct TIEIOPlugin {
  HMODULE LibHandle = nullptr;
  Integer FileType = 0;
  TCriticalSection* Lock = nullptr;
  Byte Flags = 0;  // bit 0: the lock was never made
};

extern std::vector<TIEIOPlugin*>* IEPluginList;
// Largest width and height of an imported metafile.
extern Integer IEMaxMetafileSize;
// True once an AVI file has been opened since start-up.
extern bool IEAVIFileInitialized;
// Where IEDebugLog appends; empty: no log.
extern AnsiString IEDebugLogFileName;
// Where the acquisition holders log (IETWainLog); empty: no log.
extern AnsiString IETWainLogFileName;

void IEInitZodivErIO();
void IEFinalZodivErIO();
// Gives the library's start-up its file I/O step; the program calls it before IEInitialize.
void IERegisterFileIOUnit();

// Removes every plug-in's registry row, releases it and empties the list.
void IEUnloadPlugins();
// Appends "date time : Msg" to the debug log; nothing without a log file name. A file that
// cannot be written raises EInOutError.
void IEDebugLog(const AnsiString& Msg);
// Appends "date time : Msg" to FileName; nothing for an empty name. Raises EInOutError as
// IEDebugLog does.
void IEAppendLogLine(const AnsiString& FileName, const AnsiString& Msg);

// Print placement settings; nothing in the library reads them yet.
class TIOPrintPreviewParams {
 public:
  double MarginTop = 1.0, MarginLeft = 1.0, MarginRight = 1.0, MarginBottom = 1.0;
  Byte Position = 4;
  Byte Size = 1;
  double Width = -1.0, Height = -1.0;
  double Gamma = 1.0;
};
