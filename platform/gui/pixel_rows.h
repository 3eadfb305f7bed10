// Rows of 24-bit pixels (B,G,R bytes) to 32-bit ones (B,G,R,X: opaque 0xFFRRGGBB words) and
// back: the conversions a 24-bit bitmap goes through on its way to a drawing surface.
#pragma once

#include <cstdint>

// N pixels of B,G,R bytes into N opaque 32-bit pixels.
void BgrRowToRgb32(const uint8_t* From, uint32_t* To, int N);
// N pixels of B,G,R bytes over N 32-bit pixels, each keeping its fourth byte.
void BgrRowOverRgb32(const uint8_t* From, uint32_t* To, int N);
// N 32-bit pixels into N pixels of B,G,R bytes (the fourth byte dropped).
void Rgb32RowToBgr(const uint32_t* From, uint8_t* To, int N);
