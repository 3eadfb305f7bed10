// A codec tag given as text: a number (decimal, 0x hexadecimal or 0 octal), or else up to four
// characters read as a little-endian tag.
#pragma once

#include <cstdint>

uint32_t CodecTagFromText(const char* Text);
