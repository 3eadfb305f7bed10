#include "imaging/core/ie_icc.h"

#include <lcms2.h>

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "platform/rtl/streams.h"

namespace {

// Every layout passes through records of four 16-bit words, as the colour engine works on
// 16-bit channels: an 8-bit value v becomes v x 257 and a channel leaves as its high byte.
struct TRecord {
  Word w[4];
};

// The engine's description of one record for a layout; 0 for an unknown layout.
cmsUInt32Number EngineFormat(Integer Code) {
  switch (Code) {
    case ieiccRGB:
    case ieiccBGR:
    case ieiccRGB48:
    case ieiccRGB48BE:
      return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    case ieiccCMYKInv:
    case ieiccCMYK6:
      return COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | BYTES_SH(2);
    case ieiccLab:
      return COLORSPACE_SH(PT_Lab) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    case ieiccGray:
      return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(3);
    case ieiccThreeChannel:
      return COLORSPACE_SH(PT_ANY) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    default:
      return 0;
  }
}

Word Wide(Byte V) { return static_cast<Word>(V * 257); }
Byte High(Word V) { return static_cast<Byte>(V >> 8); }

// TCIELab bytes to and from the engine's 16-bit Lab encoding (L 0..100 over 0..65535, a and b
// with 0 at 0x8080, 257 steps per unit).
void LabToRecord(const Byte* S, TRecord& R) {
  double L = S[0] / 2.5;
  if (L > 100) L = 100;
  R.w[0] = static_cast<Word>(std::lround(L * 655.35));
  R.w[1] = static_cast<Word>((static_cast<std::int8_t>(S[1]) + 128) * 257);
  R.w[2] = static_cast<Word>((static_cast<std::int8_t>(S[2]) + 128) * 257);
  R.w[3] = 0;
}

void RecordToLab(const TRecord& R, Byte* T) {
  double L = R.w[0] / 655.35;
  long l = std::lround(L * 2.5);
  T[0] = static_cast<Byte>(l > 255 ? 255 : l);
  long a = std::lround(R.w[1] / 257.0) - 128;
  long b = std::lround(R.w[2] / 257.0) - 128;
  T[1] = static_cast<Byte>(static_cast<std::int8_t>(a < -128 ? -128 : (a > 127 ? 127 : a)));
  T[2] = static_cast<Byte>(static_cast<std::int8_t>(b < -128 ? -128 : (b > 127 ? 127 : b)));
}

// Bytes one pixel of the layout takes (the step between pixels).
Integer PixelStep(Integer Code, bool Input) {
  switch (Code) {
    case ieiccRGB:
    case ieiccBGR:
    case ieiccLab:
    case ieiccThreeChannel:
      return 3;
    case ieiccCMYKInv:
      return 4;
    case ieiccCMYK6:
      return Input ? 6 : 0;
    case ieiccGray:
      return 1;
    case ieiccRGB48:
    case ieiccRGB48BE:
      return 6;
    default:
      return 0;
  }
}

void ReadPixel(Integer Code, Byte* S, TRecord& R) {
  R = TRecord{{0, 0, 0, 0}};
  switch (Code) {
    case ieiccRGB:
    case ieiccThreeChannel:
      for (int c = 0; c < 3; ++c) R.w[c] = Wide(S[c]);
      break;
    case ieiccBGR:
      // Callers expect their buffer to be left in R, G, B order.
      std::swap(S[0], S[2]);
      for (int c = 0; c < 3; ++c) R.w[c] = Wide(S[c]);
      break;
    case ieiccCMYKInv:
      for (int c = 0; c < 4; ++c) R.w[c] = Wide(static_cast<Byte>(255 - S[c]));
      break;
    case ieiccCMYK6:
      for (int c = 0; c < 4; ++c) R.w[c] = Wide(S[c]);
      break;
    case ieiccLab:
      LabToRecord(S, R);
      break;
    case ieiccGray:
      R.w[0] = Wide(S[0]);
      break;
    case ieiccRGB48: {
      Word w[3];
      std::memcpy(w, S, 6);
      for (int c = 0; c < 3; ++c) R.w[c] = w[c];
      break;
    }
    case ieiccRGB48BE:
      for (int c = 0; c < 3; ++c) R.w[c] = static_cast<Word>((S[2 * c] << 8) | S[2 * c + 1]);
      break;
  }
}

void WritePixel(Integer Code, const TRecord& R, Byte* T) {
  switch (Code) {
    case ieiccRGB:
    case ieiccThreeChannel:
      for (int c = 0; c < 3; ++c) T[c] = High(R.w[c]);
      break;
    case ieiccBGR:
      for (int c = 0; c < 3; ++c) T[2 - c] = High(R.w[c]);
      break;
    case ieiccCMYKInv:
      for (int c = 0; c < 4; ++c) T[c] = static_cast<Byte>(255 - High(R.w[c]));
      break;
    case ieiccLab:
      RecordToLab(R, T);
      break;
    case ieiccGray:
      T[0] = High(R.w[0]);
      break;
    case ieiccRGB48: {
      Word w[3] = {R.w[0], R.w[1], R.w[2]};
      std::memcpy(T, w, 6);
      break;
    }
    case ieiccRGB48BE:
      for (int c = 0; c < 3; ++c) {
        T[2 * c] = High(R.w[c]);
        T[2 * c + 1] = static_cast<Byte>(R.w[c]);
      }
      break;
  }
}

// Layout of a pixel format; -1 for a format colour management does not handle.
Integer LayoutOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie8g:
      return ieiccGray;
    case ie24RGB:
      return ieiccBGR;
    case ieCMYK:
      return ieiccCMYKInv;
    case ieRGB48:
      return ieiccRGB48;
    case ieCIELab:
      return ieiccLab;
    default:
      return -1;
  }
}

// The engine reports through a global handler; its messages mean a refused profile or
// transform, which the callers see as a closed profile or a false result.
void SilentErrorHandler(cmsContext, cmsUInt32Number, const char*) {}

struct TEngineSetup {
  TEngineSetup() { cmsSetLogErrorHandler(SilentErrorHandler); }
};

}  // namespace

bool TIEICC::BindMSCMS() {
  static TEngineSetup setup;
  return true;
}

TIEICC::~TIEICC() { Clear(); }

void TIEICC::LoadFromBuffer(const void* Data, Integer Size) {
  Clear();
  if (Data && Size > 0) {
    const Byte* p = static_cast<const Byte*>(Data);
    FRaw.assign(p, p + Size);
  }
  OpenProfile();
}

void TIEICC::LoadSystemSRGB() {
  Clear();
  if (BindMSCMS()) FProfile = cmsCreate_sRGBProfile();
}

void TIEICC::Assign(const TIEICC* Source) {
  if (Source == this) return;
  Clear();
  if (Source) FRaw = Source->FRaw;
  OpenProfile();
}

void TIEICC::SaveToStream(TStream* Stream, bool RawOnly) const {
  if (!RawOnly) {
    Cardinal n = static_cast<Cardinal>(FRaw.size());
    Byte len[4] = {static_cast<Byte>(n), static_cast<Byte>(n >> 8), static_cast<Byte>(n >> 16),
                   static_cast<Byte>(n >> 24)};
    Stream->WriteBuffer(len, 4);
  }
  if (!FRaw.empty()) Stream->WriteBuffer(FRaw.data(), static_cast<Int64>(FRaw.size()));
}

void TIEICC::Clear() {
  CloseProfile();
  FRaw.clear();
  FRaw.shrink_to_fit();
  Applied = false;
  ProfileCopyright.clear();
  ProfileDescription.clear();
}

void TIEICC::OpenProfile() {
  if (BindMSCMS() && !FRaw.empty() && !FProfile)
    FProfile = cmsOpenProfileFromMem(FRaw.data(), static_cast<cmsUInt32Number>(FRaw.size()));
  ReadInfo();
}

void TIEICC::CloseProfile() {
  FreeTransform();
  if (FProfile) cmsCloseProfile(static_cast<cmsHPROFILE>(FProfile));
  FProfile = nullptr;
  for (Integer& k : FKey) k = -1;
  FKeyDest = nullptr;
}

void TIEICC::FreeTransform() {
  if (!FTransform) return;
  cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
  FTransform = nullptr;
  Applied = true;
}

bool TIEICC::Transform(TIEICC* Dest, Integer InputFormat, Integer OutputFormat, Integer Intent, Integer Flags,
                       void* Source, void* Target, Integer Count) {
  cmsUInt32Number inFormat = EngineFormat(InputFormat);
  cmsUInt32Number outFormat = EngineFormat(OutputFormat);
  Integer inStep = PixelStep(InputFormat, true);
  Integer outStep = PixelStep(OutputFormat, false);
  // A layout that cannot be read or written gives no result rather than an untouched target.
  if (!inFormat || !outFormat || inStep == 0 || outStep == 0 || Count < 0) return false;
  // The target profile is part of the key: a transform made for one profile never converts
  // pixels meant for another.
  void* destProfile = Dest ? Dest->FProfile : nullptr;
  if (!(FTransform && FKey[0] == InputFormat && FKey[1] == OutputFormat && FKey[2] == Intent && FKey[3] == Flags &&
        FKeyDest == destProfile)) {
    FreeTransform();
    for (Integer& k : FKey) k = -1;
    FKeyDest = nullptr;
    if (FProfile && Dest && Dest->FProfile) {
      FTransform = cmsCreateTransform(static_cast<cmsHPROFILE>(FProfile), inFormat,
                                      static_cast<cmsHPROFILE>(Dest->FProfile), outFormat, INTENT_PERCEPTUAL,
                                      cmsFLAGS_HIGHRESPRECALC);
      if (FTransform) {
        FKey[0] = InputFormat;
        FKey[1] = OutputFormat;
        FKey[2] = Intent;
        FKey[3] = Flags;
        FKeyDest = destProfile;
      }
    }
  }
  if (!FTransform) return false;
  if (Count == 0) return true;
  if (!Source || !Target) return false;
  std::vector<TRecord> in(static_cast<size_t>(Count)), out(static_cast<size_t>(Count));
  Byte* s = static_cast<Byte*>(Source);
  for (Integer i = 0; i < Count; ++i, s += inStep) ReadPixel(InputFormat, s, in[i]);
  cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), in.data(), out.data(), static_cast<cmsUInt32Number>(Count));
  Byte* t = static_cast<Byte*>(Target);
  for (Integer i = 0; i < Count; ++i, t += outStep) WritePixel(OutputFormat, out[i], t);
  return true;
}

bool TIEICC::TransformBitmap(TIEBitmap* Bitmap, TIEPixelFormat DestFormat, TIEICC* Dest) {
  if (!Bitmap) return false;
  Integer inCode = LayoutOf(Bitmap->GetPixelFormat());
  Integer outCode = LayoutOf(DestFormat);
  if (inCode < 0 || outCode < 0) return false;
  Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TIEBitmap target;
  if (!target.Allocate(w, h, DestFormat)) return false;
  std::vector<Byte> row(static_cast<size_t>(Bitmap->GetRowLen()));
  const bool wasApplied = Applied;
  for (Integer y = 0; y < h; ++y) {
    // The source row is copied because a BGR row is swapped in place by Transform.
    std::memcpy(row.data(), Bitmap->GetScanline(y), row.size());
    if (!Transform(Dest, inCode, outCode, 0, 0, row.data(), target.GetScanline(y), w)) {
      // Nothing was converted: the profile is not marked applied by this attempt.
      FreeTransform();
      Applied = wasApplied;
      return false;
    }
  }
  FreeTransform();
  Bitmap->AssignImage(&target);
  return true;
}

void TIEICC::ReadInfo() {
  ProfileCopyright.clear();
  ProfileDescription.clear();
  const Int64 size = static_cast<Int64>(FRaw.size());
  if (size <= 132) return;
  const Byte* p = FRaw.data();
  auto be32 = [p](Int64 at) -> Int64 {
    return (Int64(p[at]) << 24) | (Int64(p[at + 1]) << 16) | (Int64(p[at + 2]) << 8) | Int64(p[at + 3]);
  };
  Int64 count = be32(128);
  if (count > 1000) return;
  for (Int64 i = 0; i < count; ++i) {
    Int64 entry = 132 + i * 12;
    if (entry + 12 > size) return;
    Int64 offset = be32(entry + 4);
    Int64 tagSize = be32(entry + 8);
    if (offset > size || tagSize > size - offset) return;
    char sig[5] = {static_cast<char>(p[entry]), static_cast<char>(p[entry + 1]), static_cast<char>(p[entry + 2]),
                   static_cast<char>(p[entry + 3]), 0};
    ReadInfoTag(sig, offset, tagSize);
  }
}

namespace {

// A zero-terminated text of fewer than 1000 characters inside [From, End); false otherwise.
bool TextAt(const Byte* P, Int64 From, Int64 End, AnsiString& Text) {
  if (From >= End) return false;
  const void* zero = std::memchr(P + From, 0, static_cast<size_t>(End - From));
  Int64 len = zero ? static_cast<const Byte*>(zero) - (P + From) : End - From;
  if (len >= 1000) return false;
  // Fixed-size text fields are padded with blanks, which are not part of the text.
  while (len > 0 && P[From + len - 1] == ' ') --len;
  Text.assign(reinterpret_cast<const char*>(P + From), static_cast<size_t>(len));
  return true;
}

// The first record of a multi-localised text (version 4 profiles), UTF-16 big-endian, as UTF-8.
bool LocalisedTextAt(const Byte* P, Int64 Tag, Int64 End, AnsiString& Text) {
  auto be32 = [P](Int64 at) -> Int64 {
    return (Int64(P[at]) << 24) | (Int64(P[at + 1]) << 16) | (Int64(P[at + 2]) << 8) | Int64(P[at + 3]);
  };
  if (Tag + 28 > End) return false;
  Int64 records = be32(Tag + 8);
  Int64 recordSize = be32(Tag + 12);
  if (records < 1 || recordSize < 12) return false;
  Int64 len = be32(Tag + 20);
  Int64 off = be32(Tag + 24);
  if (off > End - Tag || len > End - Tag - off || len / 2 >= 1000) return false;
  std::u16string wide;
  for (Int64 i = 0; i + 1 < len; i += 2) {
    char16_t c = static_cast<char16_t>((P[Tag + off + i] << 8) | P[Tag + off + i + 1]);
    if (c == 0) break;
    wide.push_back(c);
  }
  Text.clear();
  for (size_t i = 0; i < wide.size(); ++i) {
    UInt64 cp = wide[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      Text.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      Text.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      Text.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      Text.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      Text.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      Text.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      Text.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      Text.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      Text.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      Text.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

}  // namespace

void TIEICC::ReadInfoTag(const char* Signature, Int64 Offset, Int64 Size) {
  const Byte* p = FRaw.data();
  const Int64 end = Offset + Size;
  bool copyright = std::strcmp(Signature, "cprt") == 0;
  bool description = std::strcmp(Signature, "desc") == 0;
  if (!copyright && !description) return;
  AnsiString text;
  bool found;
  // Version 4 profiles keep both texts as multi-localised records. Only the first record is read
  // (and it must be short), so a tag that is large because it holds many languages still gives
  // its text; a plain text tag of 1000 bytes or more is skipped.
  if (Size >= 4 && std::memcmp(p + Offset, "mluc", 4) == 0)
    found = LocalisedTextAt(p, Offset, end, text);
  else
    found = Size < 1000 && TextAt(p, Offset + (copyright ? 8 : 12), end, text);
  if (!found) return;
  (copyright ? ProfileCopyright : ProfileDescription) = text;
}
