#include "app/video_extensions.h"

#include "platform/rtl/files.h"
#include "platform/rtl/sysutils.h"

const char* const VideoExtensionList =
    "*.AVI;*.MPG;*.MPEG;*.WMV;*.MP4;*.M4V;*.3GP;*.RMVB;*.RM;*.FLV;*.SWF;*.MKV;*.H264;*.WEBM;*.MOV;"
    "*.VOB;*.IFO;*.YUV;*.AVM;*.ASF;*.AVS;*.DAT;*.OGM;*.TS;*.TP;*.NSV;*.AMV;*.ASV;*.FFV;*.MTS;";

bool IsVideoFileName(const AnsiString& FileName) {
  const AnsiString ext = UpperCase(ExtractFileExt(FileName));
  if (ext.size() < 2) return false;
  // Whole patterns only: a part of one (".M" inside ".MPG") is no video extension.
  const AnsiString pattern = "*" + ext + ";";
  const AnsiString list = AnsiString(";") + VideoExtensionList;
  return list.find(";" + pattern) != AnsiString::npos;
}
