// The XMP packet of an image as a JPEG APP1 payload: the XMP namespace signature with its zero
// byte, then the packet text to the end of the payload.
#pragma once

#include "platform/rtl/types.h"

class TIOParamsVals;

// The start of the packet text, or nil when the payload is not an XMP payload.
const Byte* IEFindXMPPacket(const void* Data, Integer Length);
// Stores the packet text in Params' XMP; false (Params unchanged) for another payload.
bool IEReadXMPFromAPP1(const void* Data, Integer Length, TIOParamsVals* Params);
// A std::malloc'd payload of Params' XMP text that the caller frees with std::free.
void IEWriteXMPToAPP1(const TIOParamsVals* Params, void*& Buffer, Integer& Size);
