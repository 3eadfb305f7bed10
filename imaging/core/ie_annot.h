// Annotation marks (lines, free-hand strokes, texts, stamped images) that some TIFF files carry
// in a private tag as one binary block. The attribute record of a mark is carried byte for byte;
// only the mark type and a text mark's font height are interpreted here.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"

class TIEBitmap;
class TIOParamsVals;

class TIEImagingObject : public TObject {
 public:
  TIEImagingObject() = default;
  ~TIEImagingObject() override;
  AnsiString ClassName() const override { return "TIEImagingObject"; }

  // Bytes 0..3: mark type (unsigned); bytes 48..51: font height of a text mark (signed).
  Byte Attributes[164] = {};
  struct TPoint32 {
    Integer X;
    Integer Y;
  };
  std::vector<TPoint32> Points;  // PointCount entries
  Integer PointCount = 0;
  char* Text = nullptr;          // std::malloc'd, zero-terminated; nil when none
  TIEBitmap* Image = nullptr;    // nil when none

  Cardinal MarkType() const;
  Integer FontHeight() const;
  void SetFontHeight(Integer Value);
};

class TIEImagingAnnot : public TObject {
 public:
  TIEImagingAnnot() = default;
  ~TIEImagingAnnot() override;
  AnsiString ClassName() const override { return "TIEImagingAnnot"; }

  TIOParamsVals* Parent = nullptr;
  bool UserChanged = false;

  Integer Count() const { return static_cast<Integer>(FObjects.size()); }
  TIEImagingObject* Objects(Integer Index) const;
  // Takes over the object.
  Integer Add(TIEImagingObject* Obj);
  void Clear();
  void Assign(const TIEImagingAnnot* Source);
  // Parses a block; the parse ends at the first record or block that the data cannot hold, with
  // the marks read before it.
  void LoadFromBuffer(const void* Data, Integer Size);
  // A std::malloc'd block that the caller frees with std::free; no marks give nil and 0.
  void SaveToBuffer(void*& Data, Integer& Size) const;

 private:
  std::vector<TIEImagingObject*> FObjects;
};

// A packed device-independent bitmap (40-byte header, palette, rows bottom-up) of 1, 4, 8, 24 or
// 32 bits as an ie1g (two-colour) or ie24RGB image; nil for a damaged or unsupported one.
TIEBitmap* IEAnnotDIBToBitmap(const void* Data, Int64 Size);
// An ie1g image as a 1-bit DIB, any other as a 24-bit DIB, at DpiX x DpiY.
std::vector<Byte> IEAnnotBitmapToDIB(TIEBitmap* Bitmap, Integer DpiX, Integer DpiY);
