// ASCII85, base64 and run-length encodings, and the text helpers that must read and write the
// same on every locale.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "imaging/core/ie_encoders.h"
#include "imaging/core/ie_text.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "tests/support/fixtures.h"

namespace {

std::vector<Byte> SampleBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<Byte> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = (i % 7 < 2) ? 0 : static_cast<Byte>(gen());
  // a zero group and a run for the special forms
  for (size_t i = 0; i < 8 && i < n; ++i) v[i] = 0;
  return v;
}

// Hands out one byte per read, as pipes and network streams may.
class TrickleStream : public TMemoryStream {
 public:
  Integer Read(void* Buffer, Integer Count) override { return TMemoryStream::Read(Buffer, Count < 1 ? Count : 1); }
};

std::string Hex(const std::vector<Byte>& v) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (Byte b : v) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

std::string Ascii85(const std::vector<Byte>& data, Integer& len) {
  std::string out(data.size() * 2 + 64, '\0');
  const Byte* src = data.data();
  char* dst = out.data();
  Integer written = IEEncodeASCII85(src, static_cast<Integer>(data.size()), dst, len);
  EXPECT_EQ(dst - out.data(), written);
  EXPECT_EQ(src, data.data() + data.size());
  out.resize(static_cast<size_t>(written));
  return out;
}

TEST(IEEncoders, ASCII85MatchesPythonAndBreaksLines) {
  EXPECT_EQ([] {
    Integer len = 0;
    return Ascii85({0, 0, 0, 0}, len);
  }(), "z~>\r\n");
  Integer len = 0;
  EXPECT_EQ(Ascii85({0}, len), "!!~>\r\n");
  EXPECT_EQ(len, 2);
  const size_t sizes[] = {1, 2, 3, 4, 5, 61, 600};
  std::string args;
  for (size_t n : sizes) args += " " + Hex(SampleBytes(n, static_cast<unsigned>(n)));
  std::istringstream reference(testsupport::RunOk(
      "python3 -c \"import base64,sys\nfor h in sys.argv[1:]: print(base64.a85encode(bytes.fromhex(h)).decode())\"" +
      args));
  for (size_t n : sizes) {
    std::vector<Byte> data = SampleBytes(n, static_cast<unsigned>(n));
    len = 0;
    std::string ours = Ascii85(data, len);
    std::string expected;
    std::getline(reference, expected);
    ASSERT_GE(ours.size(), 4u);
    EXPECT_EQ(ours.substr(ours.size() - 4), "~>\r\n");
    std::string body = ours.substr(0, ours.size() - 4), joined;
    size_t breaks = 0;
    for (size_t start = 0; start < body.size();) {
      size_t end = body.find("\r\n", start);
      if (end == std::string::npos) end = body.size();
      std::string line = body.substr(start, end - start);
      if (end < body.size()) {
        EXPECT_GE(line.size(), 75u);
        EXPECT_LE(line.size(), 79u);
        ++breaks;
      }
      joined += line;
      start = end + 2;
    }
    EXPECT_EQ(joined, expected) << n;
    EXPECT_EQ(len, static_cast<Integer>(expected.size())) << n;
    EXPECT_EQ(ours.size(), expected.size() + 2 * breaks + 4);
  }
}

TEST(IEEncoders, Base64GroupsAndStreamMatchPython) {
  const Byte abc[3] = {'a', 'b', 'c'};
  char g[5] = {};
  IEEncodeBase64Group(abc, g, 1);
  EXPECT_STREQ(g, "YQ==");
  IEEncodeBase64Group(abc, g, 2);
  EXPECT_STREQ(g, "YWI=");
  IEEncodeBase64Group(abc, g, 3);
  EXPECT_STREQ(g, "YWJj");

  struct {
    size_t size;
    Integer lineLength;
  } cases[] = {{4, 76}, {100, 76}, {57, 76}, {10, 0}, {31, 10}};
  std::string args;
  for (auto c : cases) {
    int perLine = c.lineLength <= 0 ? 1 : (c.lineLength + 3) / 4;
    args += " " + Hex(SampleBytes(c.size, 3)) + " " + std::to_string(perLine * 4);
  }
  // Python's encoder wraps at the same width: groups per line = ceil(LineLength / 4), at least 1.
  // Lines of one case are joined by "|", cases end with a newline.
  std::istringstream reference(testsupport::RunOk(
      "python3 -c \"import base64,sys\na=sys.argv[1:]\nfor h,w in zip(a[::2],a[1::2]):\n"
      " s=base64.b64encode(bytes.fromhex(h)).decode(); w=int(w)\n"
      " print('|'.join(s[i:i+w] for i in range(0,len(s),w)))\"" +
      args));
  for (auto c : cases) {
    std::vector<Byte> data = SampleBytes(c.size, 3);
    TMemoryStream source;
    source.WriteBuffer("skip", 4);  // encoding starts at the position, not the start
    source.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
    source.SetPosition(4);
    TStringStream out;
    IEEncodeStreamBase64(&source, &out, c.lineLength);
    EXPECT_EQ(source.Position(), source.Size());
    std::string line, expected;
    std::getline(reference, line);
    for (char ch : line) expected += ch == '|' ? std::string("\r\n") : std::string(1, ch);
    expected += "\r\n";
    EXPECT_EQ(out.DataString(), expected) << c.size << "/" << c.lineLength;

    TrickleStream trickle;
    trickle.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
    trickle.SetPosition(0);
    TStringStream trickled;
    IEEncodeStreamBase64(&trickle, &trickled, c.lineLength);
    EXPECT_EQ(trickled.DataString(), expected) << "one byte per read, " << c.size;
  }
}

std::vector<Byte> RunLength(const std::vector<Byte>& in) {
  std::vector<Byte> out(in.size() * 3 / 2 + 2);
  out.resize(static_cast<size_t>(IEEncodeRunLength(in.data(), static_cast<Integer>(in.size()), out.data())));
  return out;
}

// RunLengthDecode as PostScript defines it.
std::vector<Byte> Decode(const std::vector<Byte>& in) {
  std::vector<Byte> out;
  for (size_t i = 0; i < in.size();) {
    Byte n = in[i++];
    if (n == 128) break;
    if (n < 128) {
      out.insert(out.end(), in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + n + 1));
      i += n + 1u;
    } else {
      out.insert(out.end(), size_t(257 - n), in[i++]);
    }
  }
  return out;
}

TEST(IEEncoders, RunLengthBytes) {
  EXPECT_EQ(RunLength({'A', 'A', 'A', 'B'}), (std::vector<Byte>{254, 'A', 0, 'B', 128}));
  EXPECT_EQ(RunLength({'A', 'B', 'C', 'C', 'C'}), (std::vector<Byte>{2, 'A', 'B', 'C', 255, 'C', 128}));
  EXPECT_EQ(RunLength({}), (std::vector<Byte>{128}));
  std::vector<Byte> long_run(300, 7);
  EXPECT_EQ(RunLength(long_run), (std::vector<Byte>{129, 7, 129, 7, 213, 7, 128}));
  // Literals are cut at 128 bytes; random and worst-case patterns decode back and stay inside
  // the room the callers provide.
  std::mt19937 gen(11);
  std::vector<std::vector<Byte>> inputs;
  std::vector<Byte> noise(1000), abb;
  for (Byte& b : noise) b = static_cast<Byte>(gen() % 3);
  for (int i = 0; i < 300; ++i) abb.insert(abb.end(), {Byte(i), Byte(200), Byte(200)});
  std::vector<Byte> ramp(400);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<Byte>(i);
  for (const auto& in : {noise, abb, ramp}) {
    std::vector<Byte> enc = RunLength(in);
    EXPECT_EQ(Decode(enc), in);
    EXPECT_LE(enc.size(), in.size() * 3 / 2 + 2);
  }
}

TEST(IETextHelpers, NumbersNamesAndAddresses) {
  EXPECT_EQ(IEStrToFloatDef("abc", 7), 7);
  EXPECT_EQ(IEStrToFloatDef("2.5", 0), 2.5);
  EXPECT_EQ(IEStrToFloatDef("1,5", 0), 1.5);
  EXPECT_EQ(IEStrToFloatDef("1,234.5", -1), -1);
  AnsiString s;
  IEFloatToStrDot(s, 1.5);
  EXPECT_EQ(s, "1.5");
  IEFloatToStrDotDirect(s, 1.0 / 3);
  EXPECT_EQ(s, "0.333333333333333");
  IEIntToHex(255, 4, s);
  EXPECT_EQ(s, "00FF");
  EXPECT_EQ(IEStrToIntDef("x1", 9), 9);
  IECopy("abcdef", 2, 3, s);
  EXPECT_EQ(s, "bcd");
  IECopy("abc", 5, 3, s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(IEPos("cd", "abcdef"), 3);
  EXPECT_EQ(IEPos("x", "abc"), 0);
  char* dup = IEStrDup("hi");
  EXPECT_STREQ(dup, "hi");
  std::free(dup);
  EXPECT_EQ(IEStrDup(nullptr), nullptr);

  struct {
    const char* name;
    bool dot;
    const char* ext;
  } exts[] = {{"/a/photo.JPG", false, "jpg"}, {"/a/photo.JPG", true, ".jpg"}, {"/a.b/photo", true, ""},
              {"noext", false, ""}, {"x.tar.gz", true, ".gz"}};
  for (auto e : exts) {
    AnsiString ext = e.name;
    IEExtractFileExt(ext, e.dot, ext);  // the result may land in the argument's own variable
    EXPECT_EQ(ext, e.ext) << e.name;
  }
  WideString wext;
  IEExtractFileExtW(u"/t/\u00e9t\u00e9.PNG", true, wext);
  EXPECT_EQ(wext, u".png");
  EXPECT_EQ(IEGetURLType("HTTPS://host/x"), 2);
  EXPECT_EQ(IEGetURLType("http://host"), 1);
  EXPECT_EQ(IEGetURLTypeW(u"Ftp://h"), 3);
  EXPECT_EQ(IEGetURLType("file:///x"), 0);

  TLogFontA lf{};
  EXPECT_TRUE(IELogFontToFontStyles(nullptr) == TFontStyles());
  lf.lfWeight = 700;
  lf.lfUnderline = 1;
  EXPECT_TRUE(IELogFontToFontStyles(&lf) == (TFontStyles{fsBold, fsUnderline}));
  Byte g1[16] = {1, 2, 3}, g2[16] = {1, 2, 3};
  EXPECT_TRUE(IECompareGUID(g1, g2));
  g2[15] = 1;
  EXPECT_FALSE(IECompareGUID(g1, g2));
}

TEST(IETextHelpers, ForceDirectoriesCreatesParentsFirst) {
  std::string root = testsupport::MakeTempDir("force");
  IEForceDirectories(root + "/one/two/");
  EXPECT_TRUE(IEDirectoryExists(root + "/one"));
  EXPECT_TRUE(IEDirectoryExists(root + "/one/two"));
  IEForceDirectories("/");  // the root exists: nothing to do
  EXPECT_THROW(
      {
        try {
          IEForceDirectories("");
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message, "Cannot Create Directory");
          throw;
        }
      },
      Exception);
  // A folder that cannot be made is not reported here.
  IEForceDirectories("/proc/forbidden/x");
  EXPECT_FALSE(IEDirectoryExists("/proc/forbidden"));
  testsupport::RemoveTree(root);
}

}  // namespace
