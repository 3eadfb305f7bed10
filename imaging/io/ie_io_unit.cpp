#include "imaging/io/ie_io_unit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "imaging/io/ie_acquire_params.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_url_download.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_channels.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

std::vector<TIEIOPlugin*>* IEPluginList = nullptr;
Integer IEMaxMetafileSize = 8000;
AnsiString IEDebugLogFileName;
bool IEAVIFileInitialized = false;
AnsiString IETWainLogFileName;

void IEInitZodivErIO() {
  IEInstallLZWCoders();
  IERegisterExifTiffWriter();
  IETempFolder.clear();
  IETWainLogFileName.clear();
  IEInitWia();
  // A component made and dropped at once: its construction must not need the registry.
  delete new TZodivErIO(nullptr);
  IERegisterBuiltinFormats();
  IEAVIFileInitialized = false;
  IEInitWinINet();
  IEConvertColorFunction = IEDefaultConvertColorFunction;
  IEEnableCMS = false;
  IERawMatchHistograms = IEMatchHistograms;
  if (!IEPluginList) IEPluginList = new std::vector<TIEIOPlugin*>;
  IEBufferedReadRelative = false;
  IEUseCMYKProfile = true;
  // The profiles themselves are made on first use, not here.
  IEFreeCMYKProfiles();
  IEMaxMetafileSize = 8000;
}

void IEUnloadPlugins() {
  if (!IEPluginList) return;
  for (TIEIOPlugin* Plugin : *IEPluginList) {
    IEFileFormatRemove(Plugin->FileType);
    if (!(Plugin->Flags & 1)) delete Plugin->Lock;
    if (Plugin->LibHandle) FreeLibrary(Plugin->LibHandle);
    delete Plugin;
  }
  IEPluginList->clear();
}

void IEFinalZodivErIO() {
  IEFreeCMYKProfiles();
  IEUnloadPlugins();
  IEFreeFileFormats();
  IEAVIFileInitialized = false;
  IEFreeWinINet();
  delete IEPluginList;
  IEPluginList = nullptr;
  IEFinalWia();
  IEDebugLogFileName.clear();
  IETWainLogFileName.clear();
  IETempFolder.clear();
}

void IERegisterFileIOUnit() { IERegisterStartupStep(iessFileIO, IEInitZodivErIO, IEFinalZodivErIO); }

void IEDebugLog(const AnsiString& Msg) { IEAppendLogLine(IEDebugLogFileName, Msg); }

void IEAppendLogLine(const AnsiString& FileName, const AnsiString& Msg) {
  if (FileName.empty()) return;
  FILE* f = std::fopen(FileName.c_str(), "a");
  if (!f) throw EInOutError(std::strerror(errno), errno);
  const TDateTime When = Now();
  const AnsiString Line = FormatDateTime("yyyy-mm-dd", When) + " " + FormatDateTime("hh:nn:ss", When) + " : " + Msg + "\n";
  const bool Written = std::fwrite(Line.data(), 1, Line.size(), f) == Line.size();
  const bool Closed = std::fclose(f) == 0;
  if (!Written || !Closed) throw EInOutError("I/O error", EIO);
}
