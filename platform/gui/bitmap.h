// Pictures: the abstract graphic, the bitmap and the picture holder.
//
// A TBitmap keeps its pixels in memory in the layout of its PixelFormat, one row after another
// from the top. ScanLine(Row) points at row Row; rows are padded to a multiple of 4 bytes (as in
// a device-independent bitmap), so the distance between rows is BytesPerScanline(), which is
// RowBytes(Width, bits per pixel) -- with 8 bits for pf4bit, whose pixels are kept a byte each
// (there is no packed 4-bit layout underneath).
//   pf1bit   1 bit per pixel, leftmost pixel in the most significant bit; bit values index the
//            two-entry colour table (0 black, 1 white unless changed)
//   pf4bit   stored one byte per pixel (an index below 16) with a 16-entry colour table
//   pf8bit   one byte per pixel, an index into a colour table of up to 256 entries
//   pf15bit  16-bit little-endian words 0RRRRRGGGGGBBBBB (red in the high bits)
//   pf16bit  16-bit little-endian words RRRRRGGGGGGBBBBB
//   pf24bit  bytes B, G, R
//   pf32bit  bytes B, G, R, X (X written as 255); pfDevice means pf32bit
// The canvas of a pf32bit bitmap draws on its pixels; for every other format it draws on a
// 32-bit copy that is written back (to the nearest colour-table entry for indexed formats) as
// each drawing call ends. An address from ScanLine stays the row's address, through any drawing
// on the canvas, until the size or the pixel format changes or other pixels are loaded or
// assigned; rows written through it are seen by the next drawing call.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/canvas.h"

class QImage;
class TStream;

// A picture that can draw itself, load and save.
class TGraphic : public TPersistent {
 public:
  virtual Integer Width() const = 0;
  virtual Integer Height() const = 0;
  virtual void SetWidth(Integer Value) = 0;
  virtual void SetHeight(Integer Value) = 0;
  virtual bool Empty() const = 0;
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  bool Modified() const { return FModified; }
  void SetModified(bool Value);

  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  // Open or create errors raise EFOpenError / EFCreateError with the file's absolute path. A
  // save that fails (a full disk included) leaves a file it was to replace as it was.
  virtual void LoadFromFile(const AnsiString& FileName);
  virtual void SaveToFile(const AnsiString& FileName);

  TNotifyEvent OnChange;

  // Paints the graphic scaled into R of the canvas; called by TCanvas::Draw/StretchDraw.
  virtual void Draw(TCanvas* ACanvas, const TRect& R) = 0;

 protected:
  virtual void Changed();

 private:
  bool FTransparent = false;
  bool FModified = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };
enum TBitmapHandleType { bmDIB, bmDDB };

// Bytes in one row of Width pixels of Bits bits, rounded up to whole 32-bit words.
Integer RowBytes(Integer Width, Integer Bits);

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  Integer Width() const override;
  Integer Height() const override;
  void SetWidth(Integer Value) override;
  void SetHeight(Integer Value) override;
  // Keeps the pixels that still fit (top-left anchored); new pixels are white (the nearest
  // colour-table entry for indexed formats). Negative sizes count as 0; a size whose pixels
  // cannot be held raises EOutOfMemory.
  void SetSize(Integer AWidth, Integer AHeight);
  bool Empty() const override;

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels (to the nearest colour-table entry for indexed formats).
  void SetPixelFormat(TPixelFormat Value);
  // The number of bits per pixel of PixelFormat (4 for pf4bit, though stored a byte each).
  Integer BitsPerPixel() const;
  Integer BytesPerScanline() const;
  // The address of row Row (0 = top). Out-of-range rows raise EInvalidGraphicOperation
  // "Scan line index out of range".
  void* ScanLine(Integer Row);

  TCanvas* Canvas();

  // The colour table of indexed formats (0x00BBGGRR entries); empty for the others.
  std::vector<TColor> ColorTable() const;
  // Replaces the colour table of an indexed bitmap (at most 2, 16 or 256 entries by format;
  // a shorter table is completed with black so every index a pixel can hold has a colour);
  // pixel indices are kept. New pf8bit bitmaps start with the 16 VGA colours, a 6 x 6 x 6 cube
  // and 24 greys; pf4bit with the 16 VGA colours; pf1bit with black and white.
  void SetColorTable(const std::vector<TColor>& Colors);

  bool Monochrome() const { return FPixelFormat == pf1bit; }
  // True converts to pf1bit; false from pf1bit to pf24bit.
  void SetMonochrome(bool Value);
  TBitmapHandleType HandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value) { FHandleType = Value; }

  // The colour left out by Draw when Transparent is set. tmAuto answers the bottom-left pixel
  // (clDefault when the bitmap is empty); setting a colour switches to tmFixed.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  // A pixel as 0x00BBGGRR whatever the format; CLR_INVALID for points outside.
  TColor PixelColor(Integer X, Integer Y) const;

  void Assign(TPersistent* Source) override;
  // Reads a BMP (BITMAPFILEHEADER + BITMAPINFOHEADER or a later header, 1/4/8/16/24/32 bits,
  // uncompressed, RLE8, RLE4 or bit fields, bottom-up or top-down). Damaged or unsupported data
  // raises EInvalidGraphic and leaves the bitmap unchanged.
  void LoadFromStream(TStream* Stream) override;
  // Writes a BMP: BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, the colour table for indexed
  // formats, bit fields for pf16bit, rows bottom-up.
  void SaveToStream(TStream* Stream) override;
  void Draw(TCanvas* ACanvas, const TRect& R) override;

  AnsiString ClassName() const override { return "TBitmap"; }

  struct Impl;
  Impl* Internals() const { return FImpl.get(); }

 protected:
  void Changed() override;

 private:
  friend void AssignImageToBitmap(TBitmap* Bitmap, const QImage& Image);
  TPixelFormat FPixelFormat = pfDevice;
  TTransparentMode FTransparentMode = tmAuto;
  TColor FTransparentColor = clDefault;
  TBitmapHandleType FHandleType = bmDIB;
  std::unique_ptr<Impl> FImpl;
};

// Holds one graphic of whatever class a file needs.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  TGraphic* Graphic() const { return FGraphic.get(); }
  // Keeps a copy of Value (nullptr empties the picture).
  void SetGraphic(TGraphic* Value);
  // The graphic as a bitmap; a picture holding another class (or nothing) is replaced by an
  // empty bitmap first.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value) { SetGraphic(Value); }
  Integer Width() const;
  Integer Height() const;

  // Picks the class by extension: ".bmp" reads BMP; ".png", ".jpg", ".jpeg", ".gif" are read
  // into a pf24bit bitmap (pf32bit when the file has alpha). Anything else raises EInvalidGraphic
  // "Unknown picture file extension (.ext)".
  void LoadFromFile(const AnsiString& FileName);
  void SaveToFile(const AnsiString& FileName);
  void Assign(TPersistent* Source) override;

  TNotifyEvent OnChange;
  AnsiString ClassName() const override { return "TPicture"; }

 private:
  void GraphicChanged();
  std::unique_ptr<TGraphic> FGraphic;
};
