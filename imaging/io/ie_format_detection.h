// Telling an image's format from its first bytes: the fixed signatures checked here, then the
// codecs' own content tests in a fixed order (the first that answers wins, and the costly camera
// raw identification runs last), then the tests of formats registered at run time.
#pragma once

#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// The file type id of the image at the stream's position, 0 when nothing recognises it. The
// position is the same afterwards; nothing is raised (a test that raises ends detection with 0).
Integer FindStreamFormat(TStream* Stream);
// The content of the file reconciled with its extension; 0 for an empty name, a missing file or
// one that cannot be read. With VerifyWithExtension, content that the extension contradicts gives
// 0 (icons and cursors excepted: their extension decides).
Integer FindFileFormat(const WideString& FileName, bool VerifyWithExtension);
// "RIFF", four bytes of size, "AVI ". The position is kept.
bool IsAVI(TStream* Stream);
// A TIFF-structured file whose first directory carries a DNG version; the position is kept.
// Bounded by the stream's size: a damaged directory answers False.
bool IEIsDNG(TStream* Stream);
