// Netpbm files in and out of the processing tests, so that netpbm's own tools (pamflip,
// pnmrotate) and the converters of ImageMagick and ffmpeg can be the judges.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rtl/types.h"

namespace ietest {

struct TNetpbm {
  std::string Magic;  // P4, P5, P6 or P7
  Integer Width = 0, Height = 0, Depth = 0;
  std::vector<Byte> Data;  // the raster as stored (P4 rows padded to whole bytes)
};

inline std::vector<Byte> ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<Byte>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& Path, const std::string& Header, const std::vector<Byte>& Data) {
  std::ofstream out(Path, std::ios::binary);
  out << Header;
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

// Reads P4, P5 and P6 (maxval 255) and P7 files.
inline TNetpbm ReadNetpbm(const std::string& Path) {
  const std::vector<Byte> all = ReadBytes(Path);
  TNetpbm r;
  size_t pos = 0;
  const auto token = [&]() {
    std::string t;
    while (pos < all.size()) {
      if (all[pos] == '#') {
        while (pos < all.size() && all[pos] != '\n') ++pos;
      } else if (std::isspace(all[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    while (pos < all.size() && !std::isspace(all[pos])) t += char(all[pos++]);
    return t;
  };
  r.Magic = token();
  if (r.Magic == "P7") {
    for (std::string t = token(); t != "ENDHDR" && !t.empty(); t = token()) {
      if (t == "WIDTH") r.Width = std::stoi(token());
      else if (t == "HEIGHT") r.Height = std::stoi(token());
      else if (t == "DEPTH") r.Depth = std::stoi(token());
      else if (t == "MAXVAL" || t == "TUPLTYPE") token();
    }
  } else {
    r.Width = std::stoi(token());
    r.Height = std::stoi(token());
    r.Depth = r.Magic == "P6" ? 3 : 1;
    if (r.Magic != "P4") token();
  }
  ++pos;  // the single white-space character before the raster
  if (pos <= all.size()) r.Data.assign(all.begin() + static_cast<std::ptrdiff_t>(pos), all.end());
  return r;
}

// Tuples of Depth bytes each (maxval 255); P4 for Depth 0 with rows of whole bytes.
inline void WriteNetpbm(const std::string& Path, Integer Width, Integer Height, Integer Depth,
                        const std::vector<Byte>& Data) {
  std::ostringstream h;
  if (Depth == 0) h << "P4\n" << Width << " " << Height << "\n";
  else
    h << "P7\nWIDTH " << Width << "\nHEIGHT " << Height << "\nDEPTH " << Depth << "\nMAXVAL 255\nENDHDR\n";
  WriteBytes(Path, h.str(), Data);
}

}  // namespace ietest
