#include "media/binding/file_names.h"

#include <atomic>
#include <cstring>

#include "media/binding/entry_points.h"
#include "platform/rtl/strings.h"

bool UnicodeProtocolRegistered = false;

namespace {

std::atomic<TFileNameCodePage> CurrentCodePage{fcpUTF8};

const char UnicodePrefix[] = "unicode:utf8:";
const char ProtocolPrefixes[] = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";

struct TImageExtension {
  AVCodecID Codec;
  const char* Extension;
};

// The extensions of FFmpeg's image2 format and their codecs.
const TImageExtension ImageExtensions[] = {
    {AV_CODEC_ID_MJPEG, "jpeg"},      {AV_CODEC_ID_MJPEG, "jpg"},          {AV_CODEC_ID_MJPEG, "jps"},
    {AV_CODEC_ID_LJPEG, "ljpg"},      {AV_CODEC_ID_JPEGLS, "jls"},         {AV_CODEC_ID_PNG, "png"},
    {AV_CODEC_ID_PNG, "pns"},         {AV_CODEC_ID_APNG, "mng"},           {AV_CODEC_ID_PPM, "ppm"},
    {AV_CODEC_ID_PGM, "pnm"},         {AV_CODEC_ID_PGM, "pgm"},            {AV_CODEC_ID_PGMYUV, "pgmyuv"},
    {AV_CODEC_ID_PBM, "pbm"},         {AV_CODEC_ID_PAM, "pam"},            {AV_CODEC_ID_MPEG1VIDEO, "mpg1-img"},
    {AV_CODEC_ID_MPEG2VIDEO, "mpg2-img"}, {AV_CODEC_ID_MPEG4, "mpg4-img"}, {AV_CODEC_ID_FFV1, "ffv1-img"},
    {AV_CODEC_ID_RAWVIDEO, "y"},      {AV_CODEC_ID_RAWVIDEO, "raw"},       {AV_CODEC_ID_BMP, "bmp"},
    {AV_CODEC_ID_GIF, "gif"},         {AV_CODEC_ID_TARGA, "tga"},          {AV_CODEC_ID_TIFF, "tiff"},
    {AV_CODEC_ID_TIFF, "tif"},        {AV_CODEC_ID_SGI, "sgi"},            {AV_CODEC_ID_PTX, "ptx"},
    {AV_CODEC_ID_PCX, "pcx"},         {AV_CODEC_ID_BRENDER_PIX, "pix"},    {AV_CODEC_ID_SUNRAST, "sun"},
    {AV_CODEC_ID_SUNRAST, "ras"},     {AV_CODEC_ID_SUNRAST, "rs"},         {AV_CODEC_ID_SUNRAST, "im1"},
    {AV_CODEC_ID_SUNRAST, "im8"},     {AV_CODEC_ID_SUNRAST, "im24"},       {AV_CODEC_ID_SUNRAST, "im32"},
    {AV_CODEC_ID_SUNRAST, "sunras"},  {AV_CODEC_ID_JPEG2000, "j2c"},       {AV_CODEC_ID_JPEG2000, "j2k"},
    {AV_CODEC_ID_JPEG2000, "jp2"},    {AV_CODEC_ID_JPEG2000, "jpc"},       {AV_CODEC_ID_DPX, "dpx"},
    {AV_CODEC_ID_EXR, "exr"},         {AV_CODEC_ID_PICTOR, "pic"},         {AV_CODEC_ID_V210X, "yuv10"},
    {AV_CODEC_ID_XBM, "xbm"},         {AV_CODEC_ID_XFACE, "xface"},        {AV_CODEC_ID_XWD, "xwd"},
};

bool SameAsciiText(const AnsiString& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void SetFileNameCodePage(TFileNameCodePage CodePage) { CurrentCodePage = CodePage; }
TFileNameCodePage FileNameCodePage() { return CurrentCodePage; }

AnsiString WideToCodePage(const WideString& Name) {
  if (CurrentCodePage == fcpUTF8) return WideToAnsi(Name);
  AnsiString result;
  result.reserve(Name.size());
  for (size_t i = 0; i < Name.size(); ++i) {
    const char16_t c = Name[i];
    if (c < 0x80) {
      result += static_cast<char>(c);
    } else {
      // A surrogate pair is one character and gets one replacement.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < Name.size() && Name[i + 1] >= 0xDC00 && Name[i + 1] <= 0xDFFF) ++i;
      result += '?';
    }
  }
  return result;
}

WideString CodePageToWide(const AnsiString& Name) {
  if (CurrentCodePage == fcpUTF8) return AnsiToWide(Name);
  WideString result;
  result.reserve(Name.size());
  for (unsigned char c : Name) result += c < 0x80 ? static_cast<char16_t>(c) : u'?';
  return result;
}

int GuessImage2Codec(const AnsiString& Name) {
  const size_t dot = Name.rfind('.');
  if (dot == AnsiString::npos) return AV_CODEC_ID_NONE;
  const AnsiString extension = Name.substr(dot + 1);
  for (const TImageExtension& row : ImageExtensions) {
    if (SameAsciiText(extension, row.Extension)) return row.Codec;
  }
  return AV_CODEC_ID_NONE;
}

bool NeedsUnicodeProtocol(const WideString& Name) {
  const size_t colon = Name.find(u':');
  if (colon != WideString::npos && colon > 0) {
    const AnsiString candidate = ":" + WideToAnsi(Name.substr(0, colon)) + ":";
    if (AnsiString(ProtocolPrefixes).find(candidate) != AnsiString::npos) return false;
  }
  return CodePageToWide(WideToCodePage(Name)) != Name;
}

WideString UnicodeProtocolWideName(const AnsiString& Name) {
  WideString wide = AnsiToWide(Name);
  for (int i = 0; i < 2; ++i) {
    const size_t colon = wide.find(u':');
    if (colon != WideString::npos) wide.erase(0, colon + 1);
  }
  return wide;
}

AnsiString WideToFFmpegFileName(const WideString& Name) {
  const AnsiString utf8 = WideToAnsi(Name);
  if (GuessImage2Codec(utf8) == AV_CODEC_ID_NONE) return utf8;
  if (UnicodeProtocolRegistered && NeedsUnicodeProtocol(Name)) return UnicodePrefix + utf8;
  return WideToCodePage(Name);
}

WideString FFmpegFileNameToWide(const AnsiString& Name) {
  if (GuessImage2Codec(Name) == AV_CODEC_ID_NONE) return AnsiToWide(Name);
  if (UnicodeProtocolRegistered && Name.size() >= 14 && Name.compare(0, std::strlen(UnicodePrefix), UnicodePrefix) == 0) {
    return UnicodeProtocolWideName(Name);
  }
  return CodePageToWide(Name);
}

// The road is the engine's own I/O context; it needs only avformat's custom-I/O calls.
void RegisterUnicodeProtocol() {
  UnicodeProtocolRegistered = ff::avio_alloc_context && ff::avio_context_free;
}
