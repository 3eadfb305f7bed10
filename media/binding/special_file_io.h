// Reading FIFOs and character devices for every input the engine opens. FFmpeg's own file road blocks in the
// kernel on such a file while nothing arrives, where no interrupt callback can reach it; this one
// waits in short slices and asks the callback between them, so the read time-out ends the wait.
#pragma once

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

// True for an existing local file that is neither a regular file nor a folder.
bool IsSpecialFile(const AnsiString& Path);

// Opens Path for reading; 0 or a negative FFmpeg error code. Close with CloseSpecialFileIO.
int OpenSpecialFileIO(AVIOContext** Pb, const AnsiString& Path, AVIOInterruptCB Interrupt);
void CloseSpecialFileIO(AVIOContext** Pb);
// True for a context that OpenSpecialFileIO made.
bool IsSpecialFileIOContext(const AVIOContext* Pb);
