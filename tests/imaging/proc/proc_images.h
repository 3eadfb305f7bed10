// Raw pixel files shared by the processing tests and their python3 references: images made by
// ImageMagick, copied into image buffers and back as plain bytes.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "tests/support/fixtures.h"

namespace proctest {

inline std::string ReferenceScript() { return "python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/proc/conversion_reference.py"; }

inline std::vector<Byte> ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<Byte>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& Path, const std::vector<Byte>& Data) {
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Data.data()),
                                              static_cast<std::streamsize>(Data.size()));
}

// An ImageMagick plasma of W x H (fixed seed): raw R, G, B bytes.
inline std::string PlasmaFixture(Integer W, Integer H, Integer Seed) {
  const std::string size = std::to_string(W) + "x" + std::to_string(H);
  return testsupport::Fixture("plasma_" + size + "_" + std::to_string(Seed) + ".rgb",
                              "convert -seed " + std::to_string(Seed) + " -size " + size +
                                  " plasma:fractal -depth 8 rgb:{out}");
}

// The plasma as an ie24RGB image.
inline void LoadPlasma(TIEBitmap& Image, Integer W, Integer H, Integer Seed = 5) {
  const std::string path = PlasmaFixture(W, H, Seed);
  const std::vector<Byte> rgb = ReadFile(path);
  ASSERT_EQ(rgb.size(), size_t(W) * H * 3);
  Image.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    auto* row = static_cast<Byte*>(Image.GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      const Byte* s = rgb.data() + 3 * (size_t(y) * W + x);
      row[3 * x] = s[2];
      row[3 * x + 1] = s[1];
      row[3 * x + 2] = s[0];
    }
  }
}

// Rows of the image packed without padding: B, G, R for ie24RGB, one byte for ie8g, whole
// bytes of bits for ie1g.
inline std::vector<Byte> Packed(TIEBitmap& Image) {
  Integer rowBytes = 0;
  switch (Image.GetPixelFormat()) {
    case ie1g: rowBytes = (Image.GetWidth() + 7) / 8; break;
    case ie8g: rowBytes = Image.GetWidth(); break;
    case ie24RGB: rowBytes = Image.GetWidth() * 3; break;
    default: ADD_FAILURE() << "unexpected format"; return {};
  }
  std::vector<Byte> out;
  for (Integer y = 0; y < Image.GetHeight(); ++y) {
    const auto* row = static_cast<const Byte*>(Image.GetScanline(y));
    out.insert(out.end(), row, row + rowBytes);
  }
  // Bits after the last pixel of a 1-bit row are not pixels.
  if (Image.GetPixelFormat() == ie1g && Image.GetWidth() % 8)
    for (Integer y = 0; y < Image.GetHeight(); ++y)
      out[size_t(y + 1) * rowBytes - 1] &= Byte(0xFF << (8 - Image.GetWidth() % 8));
  return out;
}

inline void Unpack(TIEBitmap& Image, Integer W, Integer H, TIEPixelFormat Format, const std::vector<Byte>& Data) {
  Image.Allocate(W, H, Format);
  const Integer rowBytes = Format == ie24RGB ? W * 3 : W;
  for (Integer y = 0; y < H; ++y)
    std::copy_n(Data.begin() + std::ptrdiff_t(y) * rowBytes, rowBytes, static_cast<Byte*>(Image.GetScanline(y)));
}

}  // namespace proctest
