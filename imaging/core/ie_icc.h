// One ICC colour profile: the bytes as stored in an image file, its description and copyright
// texts, the open profile of the colour engine (Little CMS 2) and a cached transform from this
// profile to another. A profile the engine refuses stays closed and reports itself invalid;
// callers then skip colour management.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/rtl/classes.h"

class TIEBitmap;
class TStream;

// Pixel layouts of TIEICC::Transform.
enum : Integer {
  ieiccRGB = 0,        // 3 bytes R, G, B
  ieiccBGR = 1,        // 3 bytes B, G, R (the image buffer's 24-bit layout)
  ieiccCMYKInv = 2,    // 4 bytes C, M, Y, K stored as 255 - value
  ieiccCMYK6 = 3,      // 4 bytes C, M, Y, K, the source advancing 6 bytes per pixel (input only)
  ieiccLab = 4,        // 3 bytes: L* x 2.5 unsigned, a* and b* signed (TCIELab)
  ieiccGray = 5,       // 1 byte
  ieiccRGB48 = 6,      // 3 x 16-bit, machine order
  ieiccRGB48BE = 7,    // 3 x 16-bit, big-endian
  ieiccThreeChannel = 8,  // 3 bytes of any three-channel colour
};

class TIEICC : public TObject {
 public:
  TIEICC() = default;
  ~TIEICC() override;
  TIEICC(const TIEICC&) = delete;
  TIEICC& operator=(const TIEICC&) = delete;
  AnsiString ClassName() const override { return "TIEICC"; }

  // True: the colour engine is there. Little CMS is linked, so always true.
  static bool BindMSCMS();

  // Set when a transform of this profile was used and then freed: the image was converted.
  bool Applied = false;
  AnsiString ProfileCopyright;
  AnsiString ProfileDescription;

  void LoadFromBuffer(const void* Data, Integer Size);
  // The system sRGB profile (the colour engine's built-in one): no raw bytes and no texts.
  void LoadSystemSRGB();
  // A profile without raw bytes (the system sRGB) copies as a closed profile.
  void Assign(const TIEICC* Source);
  void SaveToStream(TStream* Stream, bool RawOnly) const;
  void Clear();
  void OpenProfile();
  void CloseProfile();
  bool IsValid() const { return FProfile != nullptr; }
  bool HasTransform() const { return FTransform != nullptr; }
  void FreeTransform();
  // Converts Count pixels from Source (InputFormat) to Target (OutputFormat). False when no
  // transform can be made for the two profiles and formats, or when a layout cannot be written:
  // a true result always means Target holds the converted pixels. An input in the BGR layout is
  // swapped in place to R, G, B, as callers of this routine expect.
  bool Transform(TIEICC* Dest, Integer InputFormat, Integer OutputFormat, Integer Intent, Integer Flags, void* Source,
                 void* Target, Integer Count);
  // Converts every row of Bitmap to DestFormat through Dest; false (Bitmap unchanged) for a
  // pixel format without a layout, a missing transform or a failed allocation.
  bool TransformBitmap(TIEBitmap* Bitmap, TIEPixelFormat DestFormat, TIEICC* Dest);
  void ReadInfo();

  const Byte* RawData() const { return FRaw.empty() ? nullptr : FRaw.data(); }
  Integer RawLength() const { return static_cast<Integer>(FRaw.size()); }

 private:
  void ReadInfoTag(const char* Signature, Int64 Offset, Int64 Size);
  std::vector<Byte> FRaw;
  void* FProfile = nullptr;    // cmsHPROFILE
  Integer FKey[4] = {-1, -1, -1, -1};
  void* FKeyDest = nullptr;    // the target profile the cached transform was made for
  void* FTransform = nullptr;  // cmsHTRANSFORM
};
