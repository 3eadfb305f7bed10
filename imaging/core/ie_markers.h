// The metadata that travels between JPEG files as raw marker payloads, and the IPTC-IIM items
// that JPEG (APP13), Photoshop and TIFF files carry. Blocks handed out are allocated with
// std::malloc and freed by the caller with std::free; blocks handed in are copied.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"

// The APPn and comment markers of a JPEG file, kept as their payloads (the bytes after the
// marker's two length bytes) so that a JPEG written later carries them again.
class TIEMarkerList : public TObject {
 public:
  TIEMarkerList() = default;
  ~TIEMarkerList() override;
  AnsiString ClassName() const override { return "TIEMarkerList"; }

  Integer Count() const { return static_cast<Integer>(FTypes.size()); }
  // Bad indexes raise EListError "List index out of bounds (%d)".
  const Byte* MarkerData(Integer Index) const;
  Byte MarkerType(Integer Index) const;
  Word MarkerLength(Integer Index) const;
  Integer IndexOf(Byte MarkerType) const;
  Integer AddMarker(Byte MarkerType, const void* Data, Word Length);
  void SetMarker(Integer Index, Byte MarkerType, const void* Data, Word Length);
  void DeleteMarker(Integer Index);
  void Clear();
  void Assign(const TIEMarkerList* Source);
  // Marker type difference; ICC chunks split over APP2 markers compare by sequence number.
  Integer CompareMarkers(Integer I, Integer J) const;
  void SwapMarkers(Integer I, Integer J);
  // Ascending marker type, ICC chunks in chunk order, and the EXIF APP1 ahead of other APP1s.
  void Sort();

 private:
  void CheckIndex(Integer Index) const;
  std::vector<std::vector<Byte>> FData;
  std::vector<Byte> FTypes;
};

// IPTC-IIM items: record number, dataset number and data, convertible to and from the binary
// block, with or without the Photoshop image-resource wrapper.
class TIEIPTCInfoList : public TObject {
 public:
  TIEIPTCInfoList() = default;
  ~TIEIPTCInfoList() override = default;
  AnsiString ClassName() const override { return "TIEIPTCInfoList"; }

  // Set by every change made through the list; cleared by LoadFromBuffer.
  bool UserChanged = false;

  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  // Bad indexes raise EListError "List index out of bounds (%d)".
  Integer GetRecord(Integer Index) const;
  Integer GetDataSet(Integer Index) const;
  const Byte* GetData(Integer Index) const;
  Integer GetDataLength(Integer Index) const;
  Integer AddBufferItem(Integer Record, Integer DataSet, const void* Data, Integer Length);
  void Clear();
  void Assign(const TIEIPTCInfoList* Source);
  // An empty list gives nil and 0.
  void SaveToBuffer(void*& Buffer, Integer& Length, bool PhotoshopHeader) const;
  // True when at least one item was read; a damaged block keeps the items read before the damage.
  bool LoadFromBuffer(const void* Buffer, Integer Length);

 private:
  struct TItem {
    Integer Record;
    Integer DataSet;
    std::vector<Byte> Data;
  };
  void CheckIndex(Integer Index) const;
  std::vector<TItem> FItems;
};
