// The engine's own I/O over a file for names of the form "unicode:utf8:<name>": FFmpeg opens
// such a name through the hooks of a format context, for its input and for every file a muxer
// opens itself (numbered image files).
#pragma once

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

// Makes a context open "unicode:" names with the engine's I/O; other names keep FFmpeg's own
// road. Call after the context is allocated and before it opens anything.
void InstallUnicodeIOHooks(AVFormatContext* Context);

// Opens an input file; a "unicode:" name is read through the engine's I/O, and a FIFO or device
// through the special-file reader (see special_file_io.h). Context may hold a context allocated
// by the caller or nothing; on failure it is freed and cleared, as avformat_open_input does.
// Inputs opened here must be closed with CloseInputFile, since avformat_close_input alone cannot
// close the engine's I/O.
int OpenInputFile(AVFormatContext** Context, const char* Url, const AVInputFormat* Format, AVDictionary** Options);
void CloseInputFile(AVFormatContext** Context);
// The local file an input or output name reaches ("unicode:" and "file:" names and plain paths),
// or an empty text for a URL of another protocol.
AnsiString LocalPathOf(const char* Url);
// Opens and closes a muxer's own output file (nothing for formats that open their files
// themselves, whose opens go through the hooks).
int OpenOutputIO(AVFormatContext* Context, const char* Url, AVDictionary** Options);
void CloseOutputIO(AVFormatContext* Context);

// Opens a "unicode:" name (AVIO_FLAG_READ, AVIO_FLAG_WRITE or both): 0, or -2 when the file
// cannot be opened ("No such file or directory"), -12 without memory.
int UnicodeIOOpen(AVIOContext** Pb, const char* Name, int Flags);
// Flushes and closes a context that UnicodeIOOpen made; 0, or -1 when closing failed.
int UnicodeIOClose(AVIOContext* Pb);
// True for a context that UnicodeIOOpen made and that is still open.
bool IsUnicodeIOContext(const AVIOContext* Pb);

// The operations of one open file, as FFmpeg calls them: bytes moved, 0 at the end of a file
// being read, -1 on failure; the seek gives the new position or, for AVSEEK_SIZE, the size.
extern "C" int UnicodeProtocolRead(void* Opaque, uint8_t* Buffer, int Size);
extern "C" int UnicodeProtocolWrite(void* Opaque, uint8_t* Buffer, int Size);
extern "C" int64_t UnicodeProtocolSeek(void* Opaque, int64_t Position, int Whence);
