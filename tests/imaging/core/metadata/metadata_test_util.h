// Helpers of the metadata tests: whole files as bytes, and JPEG marker splicing and listing, so
// that blocks we build can be put into real JPEG files for exiftool, and blocks exiftool wrote
// can be handed to our readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/types.h"
#include "tests/support/fixtures.h"

namespace metatest {

using Bytes = std::vector<Byte>;

inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ToBytes(const void* p, Integer n) {
  const Byte* b = static_cast<const Byte*>(p);
  return n > 0 ? Bytes(b, b + n) : Bytes();
}

// A small JPEG written by ImageMagick.
inline std::string PlainJpeg() {
  return testsupport::Fixture("meta-plain.jpg", "convert -size 16x16 xc:'#336699' -strip {out}");
}

// The JPEG with each (marker code, payload) inserted right after its start-of-image marker.
inline Bytes SpliceMarkers(const Bytes& jpeg, const std::vector<std::pair<Byte, Bytes>>& markers) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  for (const auto& [code, payload] : markers) {
    size_t len = payload.size() + 2;
    out.insert(out.end(), {0xFF, code, static_cast<Byte>(len >> 8), static_cast<Byte>(len)});
    out.insert(out.end(), payload.begin(), payload.end());
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// The APPn and comment markers before the first scan, as (code, payload).
inline std::vector<std::pair<Byte, Bytes>> ListMarkers(const Bytes& jpeg) {
  std::vector<std::pair<Byte, Bytes>> out;
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    Byte code = jpeg[pos + 1];
    if (code == 0xDA || code == 0xD9) break;
    size_t len = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
    if (len < 2 || pos + 2 + len > jpeg.size()) break;
    if ((code >= 0xE0 && code <= 0xEF) || code == 0xFE)
      out.emplace_back(code, Bytes(jpeg.begin() + pos + 4, jpeg.begin() + pos + 2 + len));
    pos += 2 + len;
  }
  return out;
}

// The JPEG with its APPn and comment markers replaced by the given ones (after start-of-image).
inline Bytes ReplaceMarkers(const Bytes& jpeg, const std::vector<std::pair<Byte, Bytes>>& markers) {
  Bytes rest(jpeg.begin(), jpeg.begin() + 2);
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    Byte code = jpeg[pos + 1];
    if (code == 0xDA) break;
    size_t len = (size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
    if (len < 2 || pos + 2 + len > jpeg.size()) break;
    if (!((code >= 0xE0 && code <= 0xEF) || code == 0xFE)) rest.insert(rest.end(), jpeg.begin() + pos, jpeg.begin() + pos + 2 + len);
    pos += 2 + len;
  }
  rest.insert(rest.end(), jpeg.begin() + pos, jpeg.end());
  return SpliceMarkers(rest, markers);
}

// exiftool's value of one tag (printed without conversion when Numeric), trailing newline cut.
inline std::string ExifTool(const std::string& file, const std::string& tag, bool Numeric = false) {
  std::string out = testsupport::RunOk("exiftool -s -s -s " + std::string(Numeric ? "-n " : "") + "-" + tag + " " +
                                       testsupport::ShellQuote(file));
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// Prefixes of a block, and the block with single bytes set to 0xFF, 0x00 and 0x80: the
// corruptions a reader must survive. Lengths, counts and offsets sit in the first bytes of the
// blocks these tests build, so every byte of the first 160 is changed and every prefix up to
// there is taken; further on, a sample.
inline std::vector<Bytes> Corruptions(const Bytes& block) {
  std::vector<Bytes> out;
  const size_t head = 160;
  for (size_t n = 0; n < block.size(); n += (n < head ? 1 : 1 + block.size() / 64))
    out.emplace_back(block.begin(), block.begin() + n);
  for (size_t i = 0; i < block.size(); i += (i < head ? 1 : 1 + block.size() / 64))
    for (Byte v : {Byte(0xFF), Byte(0x00), Byte(0x80)}) {
      Bytes b = block;
      b[i] = v;
      out.push_back(b);
    }
  return out;
}

}  // namespace metatest
