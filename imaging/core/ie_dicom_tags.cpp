#include "imaging/core/ie_dicom_tags.h"

#include <cstdlib>
#include <cstring>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

TIEDICOMTags::~TIEDICOMTags() { Clear(); }

const TIEDICOMTags::TTag& TIEDICOMTags::GetTag(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FTags[Index];
}

void TIEDICOMTags::Clear() {
  for (TTag& t : FTags) std::free(t.Data);
  FTags.clear();
}

Integer TIEDICOMTags::AddTag(Word Group, Word Element, const AnsiString& VR, Byte* Data, Integer DataLen) {
  TTag t;
  t.Group = Group;
  t.Element = Element;
  if (VR.size() == 2) {
    t.VR[0] = VR[0];
    t.VR[1] = VR[1];
  }
  if (DataLen >= 0) {
    t.Data = Data;
    // A length without a block would send readers of the tag past nothing.
    t.DataLen = Data ? DataLen : 0;
  } else {
    std::free(Data);
  }
  FTags.push_back(t);
  return Count() - 1;
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
  if (Source == this) return;
  Clear();
  if (!Source) return;
  for (const TTag& s : Source->FTags) {
    TTag t = s;
    t.Data = nullptr;
    if (s.DataLen > 0 && s.Data) {
      t.Data = static_cast<Byte*>(std::malloc(static_cast<size_t>(s.DataLen) + 1));
      if (!t.Data) throw EOutOfMemory("Out of memory");
      std::memcpy(t.Data, s.Data, static_cast<size_t>(s.DataLen) + 1);
    } else {
      t.DataLen = 0;
    }
    FTags.push_back(t);
  }
}
