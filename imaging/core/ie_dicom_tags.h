// The data elements a DICOM reader found, kept so that they travel with the image.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"

class TIEDICOMTags : public TObject {
 public:
  struct TTag {
    Word Group = 0;
    Word Element = 0;
    char VR[2] = {0, 0};  // both zero when not given as exactly two characters
    Byte* Data = nullptr;  // DataLen bytes and a zero byte, or nil
    Integer DataLen = 0;
  };

  TIEDICOMTags() = default;
  ~TIEDICOMTags() override;
  AnsiString ClassName() const override { return "TIEDICOMTags"; }

  Integer Count() const { return static_cast<Integer>(FTags.size()); }
  // Raises EListError for a bad index.
  const TTag& GetTag(Integer Index) const;
  void Clear();
  // The list takes over Data: a std::malloc'd block of DataLen + 1 bytes whose last byte is 0.
  // With DataLen < 0 the tag has no data (and Data, when given, is freed at once).
  Integer AddTag(Word Group, Word Element, const AnsiString& VR, Byte* Data, Integer DataLen);
  void Assign(const TIEDICOMTags* Source);

 private:
  std::vector<TTag> FTags;
};
