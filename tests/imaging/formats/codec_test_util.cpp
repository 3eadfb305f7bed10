#include "tests/imaging/formats/codec_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace ietest {

namespace {

struct TCursor {
  const std::vector<Byte>& D;
  size_t P = 0;
  void SkipSpace() {
    while (P < D.size()) {
      if (D[P] == '#') {
        while (P < D.size() && D[P] != '\n') ++P;
      } else if (D[P] == ' ' || D[P] == '\n' || D[P] == '\r' || D[P] == '\t') {
        ++P;
      } else {
        break;
      }
    }
  }
  std::string Word() {
    SkipSpace();
    std::string w;
    while (P < D.size() && !std::isspace(D[P])) w += static_cast<char>(D[P++]);
    return w;
  }
  Integer Number() { return std::atoi(Word().c_str()); }
};

}  // namespace

TPam ParsePam(const std::vector<Byte>& Data) {
  TPam pam;
  TCursor c{Data};
  const std::string magic = c.Word();
  if (magic == "P7") {
    for (std::string key = c.Word(); !key.empty() && key != "ENDHDR"; key = c.Word()) {
      if (key == "WIDTH") pam.Width = c.Number();
      else if (key == "HEIGHT") pam.Height = c.Number();
      else if (key == "DEPTH") pam.Depth = c.Number();
      else if (key == "MAXVAL") pam.MaxVal = c.Number();
      else if (key == "TUPLTYPE") c.Word();
    }
  } else if (magic == "P5" || magic == "P6" || magic == "P4") {
    pam.Width = c.Number();
    pam.Height = c.Number();
    pam.MaxVal = magic == "P4" ? 1 : c.Number();
    pam.Depth = magic == "P6" ? 3 : 1;
    if (magic == "P4") {
      ++c.P;
      const size_t rowBytes = (static_cast<size_t>(pam.Width) + 7) / 8;
      for (Integer y = 0; y < pam.Height; ++y)
        for (Integer x = 0; x < pam.Width; ++x) {
          const size_t at = c.P + y * rowBytes + x / 8;
          pam.Samples.push_back(at < Data.size() && (Data[at] >> (7 - x % 8)) & 1 ? 0 : 1);
        }
      return pam;
    }
  } else {
    ADD_FAILURE() << "not a netpbm image: " << magic;
    return pam;
  }
  ++c.P;  // the single blank after the header
  const bool wide = pam.MaxVal > 255;
  const size_t n = static_cast<size_t>(pam.Width) * pam.Height * pam.Depth;
  EXPECT_GE(Data.size(), c.P + n * (wide ? 2 : 1)) << "short netpbm image";
  pam.Samples.resize(n);
  for (size_t i = 0; i < n && c.P + (wide ? 2 : 1) <= Data.size(); ++i) {
    pam.Samples[i] = wide ? (Data[c.P] << 8 | Data[c.P + 1]) : Data[c.P];
    c.P += wide ? 2 : 1;
  }
  return pam;
}

TPam PamFromCommand(const std::string& Command) {
  const std::string dir = testsupport::MakeTempDir("pam");
  const std::string out = dir + "/out.pam";
  testsupport::RunOk(Command + " > " + testsupport::ShellQuote(out));
  TPam pam = ReadPamFile(out);
  testsupport::RemoveTree(dir);
  return pam;
}

Integer MaxDifference(TIEBitmap& Bitmap, const TPam& Pam, bool Alpha) {
  EXPECT_EQ(Bitmap.GetWidth(), Pam.Width);
  EXPECT_EQ(Bitmap.GetHeight(), Pam.Height);
  if (Bitmap.GetWidth() != Pam.Width || Bitmap.GetHeight() != Pam.Height) return 9999;
  Integer worst = 0;
  const bool grey = Pam.Depth <= 2;
  for (Integer y = 0; y < Pam.Height; ++y)
    for (Integer x = 0; x < Pam.Width; ++x) {
      const TRGB c = Bitmap.GetPixelAsRGB(x, y);
      const Integer ours[3] = {c.r, c.g, c.b};
      for (Integer k = 0; k < 3; ++k) worst = std::max(worst, std::abs(ours[k] - Pam.At8(x, y, grey ? 0 : k)));
      if (Alpha) {
        const Integer theirs = (Pam.Depth == 2 || Pam.Depth == 4) ? Pam.At8(x, y, Pam.Depth - 1) : 255;
        const Integer a = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaValue(x, y) : 255;
        worst = std::max(worst, std::abs(a - theirs));
      }
    }
  return worst;
}

Integer MaxDifference(TIEBitmap& A, TIEBitmap& B) {
  EXPECT_EQ(A.GetWidth(), B.GetWidth());
  EXPECT_EQ(A.GetHeight(), B.GetHeight());
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight()) return 9999;
  Integer worst = 0;
  for (Integer y = 0; y < A.GetHeight(); ++y)
    for (Integer x = 0; x < A.GetWidth(); ++x) {
      const TRGB a = A.GetPixelAsRGB(x, y), b = B.GetPixelAsRGB(x, y);
      worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
    }
  return worst;
}

std::vector<Byte> ToPPM(TIEBitmap& Bitmap) {
  std::ostringstream h;
  h << "P6\n" << Bitmap.GetWidth() << " " << Bitmap.GetHeight() << "\n255\n";
  const std::string head = h.str();
  std::vector<Byte> out(head.begin(), head.end());
  for (Integer y = 0; y < Bitmap.GetHeight(); ++y)
    for (Integer x = 0; x < Bitmap.GetWidth(); ++x) {
      const TRGB c = Bitmap.GetPixelAsRGB(x, y);
      out.push_back(c.r);
      out.push_back(c.g);
      out.push_back(c.b);
    }
  return out;
}

}  // namespace ietest
