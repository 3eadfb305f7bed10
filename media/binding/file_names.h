// How a wide file name is handed to FFmpeg and how a name FFmpeg hands back becomes wide again.
// Names go over in UTF-8, except image names (numbered sequences included), which go over in the
// system code page, or, when that cannot represent them, as "unicode:utf8:" and their UTF-8
// form, which the engine's own I/O layer opens.
#pragma once

#include "platform/rtl/types.h"

// The system code page that image names are converted to. It is UTF-8 on this system; tests
// narrow it to 7-bit ASCII to drive the "unicode:" road.
enum TFileNameCodePage { fcpUTF8, fcpASCII };
void SetFileNameCodePage(TFileNameCodePage CodePage);
TFileNameCodePage FileNameCodePage();

// Conversions to and from the system code page; a character it lacks becomes "?".
AnsiString WideToCodePage(const WideString& Name);
WideString CodePageToWide(const AnsiString& Name);

// Each call returns its own text: nothing is shared between calls or threads, and no length limit
// applies.
AnsiString WideToFFmpegFileName(const WideString& Name);
WideString FFmpegFileNameToWide(const AnsiString& Name);

// The image2 codec of a name by its extension; 0 (AV_CODEC_ID_NONE) for a name that is no image.
int GuessImage2Codec(const AnsiString& Name);

// True when the name carries no protocol prefix and the system code page cannot represent it.
bool NeedsUnicodeProtocol(const WideString& Name);

// The wide name inside "unicode:utf8:<name>".
WideString UnicodeProtocolWideName(const AnsiString& Name);

// Whether the "unicode:" road is available; set when avformat ends loaded.
extern bool UnicodeProtocolRegistered;
void RegisterUnicodeProtocol();
