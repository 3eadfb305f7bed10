// A stand-in for the TIFF codec of the EXIF routines, built from tools nobody here wrote:
// libtiff's ppm2tiff, tiffset and tiffcp write the TIFF structures, exiftool reads their tags and
// ImageMagick decodes their pages. It is installed for the lifetime of the object.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_exif.h"
#include "metadata_test_util.h"
#include "platform/rtl/streams.h"

namespace metatest {

// An ie24RGB image as a binary PPM.
inline Bytes ToPPM(TIEBitmap* b) {
  std::string head = "P6\n" + std::to_string(b->GetWidth()) + " " + std::to_string(b->GetHeight()) + "\n255\n";
  Bytes out(head.begin(), head.end());
  for (Integer y = 0; y < b->GetHeight(); ++y)
    for (Integer x = 0; x < b->GetWidth(); ++x) {
      TRGB c = b->GetPixelAsRGB(x, y);
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

// A binary PPM into an ie24RGB image; false for anything else.
inline bool FromPPM(const Bytes& ppm, TIEBitmap* b) {
  std::string text(ppm.begin(), ppm.end());
  std::istringstream in(text);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  if (magic != "P6" || w <= 0 || h <= 0 || max != 255) return false;
  size_t at = static_cast<size_t>(in.tellg()) + 1;
  if (ppm.size() < at + static_cast<size_t>(w) * h * 3) return false;
  if (!b->Allocate(w, h, ie24RGB)) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, at += 3) b->SetPixelRGB(x, y, TRGB{ppm[at + 2], ppm[at + 1], ppm[at]});
  return true;
}

class ToolTiffCodec {
 public:
  ToolTiffCodec() : FDir(testsupport::MakeTempDir("tifftool")) {
    IEExifTiffCodec.Read = [this](TIEBitmap* B, TStream* S, TIOParamsVals* P, bool TagsOnly, bool Thumb) {
      return Read(B, S, P, TagsOnly, Thumb);
    };
    IEExifTiffCodec.Write = [this](TStream* S, bool Append, TIEBitmap* B, TIOParamsVals* P) {
      return Write(S, Append, B, P);
    };
  }
  ~ToolTiffCodec() {
    IEExifTiffCodec = TIEExifTiffCodec();
    testsupport::RemoveTree(FDir);
  }
  const std::string& Dir() const { return FDir; }

 private:
  static std::string Q(const std::string& s) { return testsupport::ShellQuote(s); }

  bool Write(TStream* S, bool Append, TIEBitmap* B, TIOParamsVals* P) {
    std::string page = FDir + "/page.tif";
    TIEBitmap one;
    if (!B) {
      one.Allocate(1, 1, ie24RGB);
      one.SetPixelRGB(0, 0, TRGB{0, 0, 0});
      B = &one;
    }
    WriteFileBytes(FDir + "/page.ppm", ToPPM(B));
    if (testsupport::Run("ppm2tiff -c none " + Q(FDir + "/page.ppm") + " " + Q(page) + " 2>&1") != 0) return false;
    if (!Append) {
      std::string set = "tiffset -s 271 " + Q(P->ExifMake) + " " + Q(page) + " && tiffset -s 272 " + Q(P->ExifModel) +
                        " " + Q(page) + " && tiffset -s 282 " + std::to_string(P->ExifXResolution) + " " + Q(page) +
                        " && tiffset -s 283 " + std::to_string(P->ExifYResolution) + " " + Q(page);
      if (P->ExifOrientation > 0) set += " && tiffset -s 274 " + std::to_string(P->ExifOrientation) + " " + Q(page);
      if (testsupport::Run("(" + set + ") 2>&1") != 0) return false;
      Bytes b = ReadFileBytes(page);
      S->WriteBuffer(b.data(), static_cast<Int64>(b.size()));
      return true;
    }
    std::string base = FDir + "/base.tif", joined = FDir + "/joined.tif";
    Int64 n = S->Size();
    Bytes old(static_cast<size_t>(n));
    S->SetPosition(0);
    S->ReadBuffer(old.data(), n);
    WriteFileBytes(base, old);
    if (testsupport::Run("tiffcp " + Q(base) + " " + Q(page) + " " + Q(joined) + " 2>&1") != 0) return false;
    Bytes b = ReadFileBytes(joined);
    S->SetSize(0);
    S->SetPosition(0);
    S->WriteBuffer(b.data(), static_cast<Int64>(b.size()));
    return true;
  }

  bool Read(TIEBitmap* B, TStream* S, TIOParamsVals* P, bool TagsOnly, bool Thumb) {
    Int64 n = S->Size() - S->Position();
    if (n <= 0) return false;
    Bytes data(static_cast<size_t>(n));
    S->ReadBuffer(data.data(), n);
    std::string file = FDir + "/in.tif";
    WriteFileBytes(file, data);
    Integer page = P->TiffImageIndex;
    if (TagsOnly) {
      std::string ifd = "-IFD" + std::to_string(page) + ":";
      std::string out;
      if (testsupport::Run("exiftool -q -q -T -n -FileType " + ifd + "Make " + ifd + "Model " + ifd + "Orientation " +
                               ifd + "XResolution " + ifd + "YResolution " + Q(file) + " 2>/dev/null",
                           &out) != 0)
        return false;
      std::vector<std::string> f;
      std::istringstream in(out.substr(0, out.find('\n')));
      for (std::string v; std::getline(in, v, '\t');) f.push_back(v);
      if (f.size() != 6 || f[0] != "TIFF") return false;
      auto text = [](const std::string& v) { return v == "-" ? std::string() : v; };
      P->ExifMake = text(f[1]);
      P->ExifModel = text(f[2]);
      if (f[3] != "-") P->SetExifOrientation(std::stoi(f[3]));
      if (f[4] != "-") P->SetExifXResolution(std::stod(f[4]));
      if (f[5] != "-") P->SetExifYResolution(std::stod(f[5]));
      return true;
    }
    std::string ppm = FDir + "/out.ppm";
    std::remove(ppm.c_str());
    if (testsupport::Run("convert " + Q(file + "[" + std::to_string(page) + "]") + " " + Q(ppm) + " 2>/dev/null") != 0)
      return false;
    TIEBitmap img;
    if (!FromPPM(ReadFileBytes(ppm), &img)) return false;
    if (Thumb && (img.GetWidth() > 400 || img.GetHeight() > 400)) return true;
    B->Assign(&img);
    return true;
  }

  std::string FDir;
};

}  // namespace metatest
