// Image lists: a row of same-sized pictures with transparency, drawn by index (tab and menu
// pictures).
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"

class TBitmap;
class TCanvas;
class TCustomImageList;

// Tells its owner that an image list it is registered with has changed.
class TChangeLink : public TObject {
 public:
  TChangeLink() = default;
  ~TChangeLink() override;

  TCustomImageList* Sender() const { return FSender; }
  virtual void Change();

  TNotifyEvent OnChange;

 private:
  friend class TCustomImageList;
  TCustomImageList* FSender = nullptr;
};

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  ~TCustomImageList() override;

  // Changing the size of a list that holds images empties it. Sizes must be 1..32768; others
  // raise EInvalidOperation "Invalid image size".
  Integer Width() const { return FWidth; }
  void SetWidth(Integer Value);
  Integer Height() const { return FHeight; }
  void SetHeight(Integer Value);
  Integer Count() const;

  // Cuts Image into pieces of Width x Height from the left and adds them all; the index of the
  // first is returned. Where the monochrome Mask is white the picture is transparent (no mask:
  // fully opaque). An image narrower than Width raises EInvalidOperation "Invalid image size".
  Integer Add(TBitmap* Image, TBitmap* Mask);
  // As Add, transparent wherever the image has MaskColor (clDefault: the bitmap's own
  // transparent colour).
  Integer AddMasked(TBitmap* Image, TColor MaskColor);
  // Raises EInvalidOperation "Invalid ImageList Index" for a bad index.
  void Delete(Integer Index);
  void Clear();

  // Draws picture Index with its top-left corner at X, Y, leaving its transparent pixels alone.
  // Disabled pictures are drawn embossed in the button shadow and highlight colours. A bad index
  // draws nothing.
  void Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled = true);
  // Copies picture Index into Image (pf24bit, transparent pixels in the list's background colour
  // clBtnFace); false for a bad index.
  bool GetBitmap(Integer Index, TBitmap* Image);

  void RegisterChanges(TChangeLink* Value);
  void UnRegisterChanges(TChangeLink* Value);

  TNotifyEvent OnChange;

  struct Impl;
  Impl* Internals() const { return FImpl.get(); }

 protected:
  virtual void Change();

 private:
  Integer AddPieces(TBitmap* Image, TBitmap* Mask, bool UseColor, TColor MaskColor);

  Integer FWidth = 16;
  Integer FHeight = 16;
  std::unique_ptr<Impl> FImpl;
  std::vector<TChangeLink*> FLinks;
};

class TImageList : public TCustomImageList {
 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
};
