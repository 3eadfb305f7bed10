// The extra controls: the panel with its bevels and the picture control.
#pragma once

#include <memory>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TCanvas;
class TPicture;
class TGraphic;

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// Draws a 3-D frame of Width lines into R: the top and left edges in TopColor, the bottom and
// right edges (with the top-right and bottom-left corners) in BottomColor. R comes back inset by
// Width on every side.
void Frame3D(TCanvas* Canvas, TRect& R, TColor TopColor, TColor BottomColor, Integer Width);

// A container with an outer and an inner bevel, a border of Color between them, and its caption
// centred in what is left.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);

  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut Value);
  Integer BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(Integer Value);
  Integer BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(Integer Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

 protected:
  void Paint() override;
  void TextChanged() override;

 private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  Integer FBevelWidth = 1;
  Integer FBorderWidth = 0;
  TAlignment FAlignment = taCenter;
};

// Shows a picture. Canvas draws on the picture's bitmap (made at the control's size when the
// picture is empty), and what is drawn shows at the next paint.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(TPicture* Value);
  // Raises EInvalidOperation "Can only modify an image if it contains a bitmap" when the picture
  // holds another kind of graphic.
  TCanvas* Canvas();

  // The control takes the picture's size whenever the picture changes.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  // Scales the picture to the control (keeping its proportions when Proportional is set).
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  // Shrinks a picture larger than the control to fit, keeping its proportions.
  bool Proportional() const { return FProportional; }
  void SetProportional(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  // Leaves the picture's transparent colour out, showing what is behind.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);

  // Where the picture is drawn, in client coordinates.
  TRect DestRect() const;

  TAccessibleRole AccessibleKind() const override { return arPicture; }

 protected:
  void Paint() override;

 private:
  void PictureChanged();

  std::unique_ptr<TPicture> FPicture;
  bool FAutoSize = false;
  bool FStretch = false;
  bool FProportional = false;
  bool FCenter = false;
  bool FTransparent = false;
  bool FInPictureChange = false;
};
