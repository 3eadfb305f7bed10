// The image buffer of the imaging library: every reader fills one, every writer reads one, the
// processing operations and the view work on them. Rows live in one of four stores chosen by
// size at each allocation: one aligned memory block (rows bottom-up), row fragments (top-down
// inside each fragment), a temporary file (mapped whole), or a framework bitmap. Row 0 is the
// top row in every interface; rows are reached only through the row accessors, and every row
// pointer stays valid until the image is reallocated or freed, in every store.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/geometry.h"

class TBitmap;
class TCanvas;
class TStream;
class TIEDibbitmap;
class TIEMask;
class TIEBitmap;
struct TIETBitmapStoreCalls;

// Abstract root of the image buffers.
class TIEBaseBitmap : public TObject {
 public:
  TIEDataAccess Access = iedRead | iedWrite;

  virtual void* GetScanline(Integer Row) = 0;
  virtual Integer GetBitCount() const = 0;
  virtual Integer GetHeight() const = 0;
  virtual Integer GetWidth() const = 0;
  virtual TIEPixelFormat GetPixelFormat() const = 0;
  virtual Integer GetRowLen() const = 0;
  virtual TRGB GetPaletteEntry(Integer Index) const = 0;
  virtual void SetPaletteEntry(Integer Index, TRGB Value) = 0;
  virtual Integer GetPaletteLength() const = 0;
  virtual bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) = 0;
  virtual void Assign(TObject* Source) = 0;
  virtual void CopyPaletteTo(TObject* Dest) = 0;
};

// Column and row tables of a rendering, kept by a caller that renders the same geometry often.
struct TIERenderTables {
  std::vector<Integer> XTable, YTable;
  bool HasX = false, HasY = false;
};

// A framework bitmap the image holds: its own (deleted with it) or a caller's (never deleted).
struct TIEVclBitmapDeleter {
  bool Owned = true;
  void operator()(TBitmap* Bitmap) const;
};
using TIEVclBitmapPtr = std::unique_ptr<TBitmap, TIEVclBitmapDeleter>;

// Everything that is the image itself rather than a setting: the size and format, the rows in
// whichever store holds them, the palette and the alpha channel. It moves from one bitmap to
// another as a whole (MoveImageTo, SetLocation, format conversion), so a field added here
// travels with the image without anyone having to remember it.
struct TIEBitmapImage {
  TIEBitmapImage();
  ~TIEBitmapImage();
  TIEBitmapImage(TIEBitmapImage&&) noexcept;
  TIEBitmapImage& operator=(TIEBitmapImage&&) noexcept;

  std::unique_ptr<TIEFileBuffer> FileBuffer;  // the temporary-file store, always present
  void* MappedRow = nullptr;                  // the file row last handed out
  std::unique_ptr<TRGB[]> Palette;            // 256 entries (ie8p), else none
  Integer PaletteLength = 0;
  std::unique_ptr<TIEBitmap> AlphaChannel;
  Byte* Rows = nullptr;      // the single block's first row byte (64-byte aligned)
  void* RowBlock = nullptr;  // the single block as allocated, freed by RowBlockKind
  Byte RowBlockKind = 2;
  TIEVclBitmapPtr VclBitmap;
  TNotifyEvent VclSavedOnChange;  // the framework bitmap's own change handler, chained
  std::vector<Byte*> VclRowTable;
  std::vector<void*> LockedRowPointers;
  std::vector<Integer> LockedRowNumbers;
  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  Integer ChannelCount = 0;
  Integer RowLen = 0;
  TIEPixelFormat PixelFormat = ieNull;
  bool IsAlphaChannel = false;
  TIELocation Location = ieFile;
  bool Full = false;
  bool WrapsTBitmap = false;
  Integer FragmentCount = 0;
  Integer FragmentRows = 0;
  std::vector<Byte*> FragmentTable;
};

class TIEBitmap : public TIEBaseBitmap, private TIEBitmapImage {
 public:
  TIEBitmap();
  TIEBitmap(Integer Width, Integer Height, TIEPixelFormat PixelFormat);  // CreateSized
  static TIEBitmap* CreateSized(Integer Width, Integer Height, TIEPixelFormat PixelFormat);
  static TIEBitmap* CreateAsAlphaChannel(Integer Width, Integer Height, TIELocation Location);
  ~TIEBitmap() override;

  AnsiString ClassName() const override { return "TIEBitmap"; }

  // --- settings other parts set directly ---
  // Requested store before Allocate; the store actually used after it.
  using TIEBitmapImage::Location;
  // Every pixel is known to be at its maximum (an opaque alpha channel); cleared by allocation.
  using TIEBitmapImage::Full;
  // Row data above this many bytes goes to the temporary file; 0 sends every image there.
  Int64 FileThreshold = 0;
  // Conversion to ie1g: 0 ordered 8 x 8 dither, 1 threshold at the grey of the mean colour.
  Byte DitherMethod = 1;
  // Colours the quantizer may use when converting to ie8p.
  Integer PaletteColors = 256;
  double BlackLevel = 0;
  double WhiteLevel = 0;
  Integer ChannelOffsets[4] = {0, 0, 0, 0};
  bool UseChannelOffsets = false;
  Integer Contrast = 0;
  // Allocator of the single block: 0 heap, 1 zero-filled memory, 2 IEAllocMem.
  Byte Allocator = 2;
  // The next Allocate reallocates even when size and format are unchanged.
  bool ForceReallocation = true;

  // --- the twelve base operations ---
  void* GetScanline(Integer Row) override;
  Integer GetBitCount() const override;
  Integer GetHeight() const override;
  Integer GetWidth() const override;
  TIEPixelFormat GetPixelFormat() const override;
  Integer GetRowLen() const override;
  TRGB GetPaletteEntry(Integer Index) const override;
  void SetPaletteEntry(Integer Index, TRGB Value) override;
  Integer GetPaletteLength() const override;
  bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) override;
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TObject* Dest) override;

  Integer GetChannelCount() const;
  Integer GetBitAlignment() const { return BitAlignment; }
  bool GetIsAlphaChannel() const { return IsAlphaChannel; }
  bool GetWrapsTBitmap() const { return WrapsTBitmap; }
  Integer GetFragmentCount() const { return FragmentCount; }
  // The temporary-file store (allocated only while the rows live in a file).
  const TIEFileBuffer& GetFileBuffer() const { return *FileBuffer; }

  // --- storage (data model and allocation) ---
  bool AllocateImage();
  bool IsEmpty() const;
  void FreeImage(bool FreeAlpha);
  void MoveImageTo(TIEBitmap* Dest);
  void SetLocation(TIELocation Value);
  void SetBitAlignment(Integer Bits);
  TBitmap* GetVclBitmap();
  TCanvas* GetCanvas();
  void EncapsulateTBitmap(TBitmap* Bitmap, bool FreeOld);
  // The caller's framework bitmap that this image wraps is already gone: drop it without
  // touching it, and become empty.
  void AbandonTBitmap();
  void SyncFromTBitmap();
  void BuildTBitmapScanlines();
  void FreeTBitmapScanlines();

  // --- rows and pixels ---
  void* LockScanline(Integer Row);
  void UnlockScanline(Integer Row);
  void UnmapAllRows();

  Byte GetPixelByte(Integer X, Integer Y);
  void SetPixelByte(Integer X, Integer Y, Byte Value);
  Word GetPixelWord(Integer X, Integer Y);
  void SetPixelWord(Integer X, Integer Y, Word Value);
  float GetPixelSingle(Integer X, Integer Y);
  void SetPixelSingle(Integer X, Integer Y, float Value);
  DWORD GetPixelDWord(Integer X, Integer Y);
  void SetPixelDWord(Integer X, Integer Y, DWORD Value);
  TRGB GetPixelRGB(Integer X, Integer Y);
  void SetPixelRGB(Integer X, Integer Y, TRGB Value);
  TRGB* GetPixelRGBAddress(Integer X, Integer Y);
  TRGB48 GetPixelRGB48(Integer X, Integer Y);
  void SetPixelRGB48(Integer X, Integer Y, TRGB48 Value);
  Byte GetAlphaValue(Integer X, Integer Y);
  void SetAlphaValue(Integer X, Integer Y, Byte Value);
  TRGB GetPixelAsRGB(Integer X, Integer Y);

  // --- pixel-format conversion ---
  void SetPixelFormat(TIEPixelFormat Value);
  void ConvertPixelFormat(TIEPixelFormat Value);
  void CopyAndConvertFormat(TIEBitmap* Source);
  bool IsGrayScale();
  bool IsAllZero();
  void SyncOpaqueFlag();

  // --- copying, filling, geometry, alpha channel, palette ---
  void AssignImage(TIEBitmap* Source);
  void CopyFromTBitmap(TBitmap* Bitmap);
  void CopyFromTIEDibbitmap(TIEDibbitmap* Dib);
  // The mask's pixels as ie1g or ie8g (by its depth) and its Full flag; nil fills with 255.
  void CopyFromTIEMask(TIEMask* Mask);
  // This ie1g or ie8g image into a mask of its depth, keeping Full; an ie24RGB image into an
  // 8-bit mask of grey levels shifted right by 2 (0..63). Other formats leave the mask alone.
  void CopyToTIEMask(TIEMask* Mask);
  void CopyRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DestX, Integer DestY, Integer Width,
                  Integer Height);
  void MergeAlphaRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DestX, Integer DestY, Integer Width,
                        Integer Height);
  void Fill(double Value);
  void FillRect(Integer X1, Integer Y1, Integer X2, Integer Y2, double Value);
  void SetWidth(Integer Value);
  void SetHeight(Integer Value);
  void Resize(Integer NewWidth, Integer NewHeight, double Fill, Integer AlphaFill, Byte HAlign, Byte VAlign);
  void AlignBeforeShrink(Integer NewWidth, Integer NewHeight, double Fill, Byte HAlign, Byte VAlign);
  void AlignAfterGrow(Integer OldWidth, Integer OldHeight, double Fill, Byte HAlign, Byte VAlign);
  void MoveRegion(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DestX, Integer DestY, double Fill);
  TIEBitmap* GetAlphaChannel();
  bool HasAlphaChannel() const { return AlphaChannel != nullptr; }
  void AttachAlphaChannel(TIEBitmap* Alpha);
  void RemoveAlphaChannel(bool Merge, TColor Background);
  void UpdateTBitmapPalette();

  // --- rendering into 24-bit rows (ie24RGB or a pf24bit framework bitmap) ---
  // Scales the source rectangle onto the destination rectangle, with levels, contrast, channel
  // offsets, a blend operation, a transparency and the alpha channel. Tables, when given, keep
  // the column and row tables between calls (FreeTables false) or take cached ones.
  void RenderToTIEBitmap(TIEBitmap* Dest, TIERenderTables* Tables, const TRect* Clip, Integer DestX, Integer DestY,
                         Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY, Integer SrcWidth,
                         Integer SrcHeight, bool UseAlpha, bool RepeatRows, Integer Transparency,
                         TResampleFilter Filter, bool FreeTables, TIEBlendOp Operation);
  void RenderToTBitmap(TBitmap* Bitmap, TIERenderTables* Tables, const TRect* Clip, Integer DestX, Integer DestY,
                       Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY, Integer SrcWidth,
                       Integer SrcHeight, bool UseAlpha, bool RepeatRows, Integer Transparency, TResampleFilter Filter,
                       bool FreeTables, TIEBlendOp Operation);
  void DrawToTIEBitmap(TIEBitmap* Dest, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                       Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                       TResampleFilter Filter, TIEBlendOp Operation);
  void DrawToTBitmap(TBitmap* Bitmap, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                     Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                     TResampleFilter Filter, TIEBlendOp Operation);
  // Copies a stretched rectangle of an ie1g or ie24RGB image into an ie24RGB image, and the
  // alpha (limited by Transparency) into its alpha channel.
  void StretchRectTo(TIEBitmap* Dest, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                     Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, TResampleFilter Filter,
                     Integer Transparency);

  // --- raw record ---
  // Writes the record to Buffer when it is not nil (the caller provides room), else to Stream.
  void SaveRawToStream(void* Buffer, TStream* Stream);
  // Reads a record; False for a foreign, damaged or truncated record, which leaves the bitmap
  // untouched, and for an image that cannot be allocated, which leaves it empty.
  bool LoadRawFromStream(void* Buffer, TStream* Stream);
  // Exact size of the record SaveRawToStream writes, so callers can size a buffer.
  Int64 RawRecordSize();

 protected:
  bool AllocateMemoryBlock(Int64 Size, void*& RealBlock, void*& AlignedBlock);
  bool AllocateFragments();
  void FreeFragments();

 private:
  friend class TIEBitmapTBitmapStore;

  Integer BitAlignment = 32;
  bool FVclSyncing = false;  // our own changes of the framework bitmap are not news to us

  void SetFormatFields(TIEPixelFormat Format);
  void* FileRow(Integer Row) const;
  // The framework-bitmap store when the rows are kept there (or asked to be) and the program
  // links it; nil otherwise, and the other stores' code applies.
  const TIETBitmapStoreCalls* TBitmapStore() const;
  bool AllocateVclImage();
  void FreeVclImage();
  // Our handler on the framework bitmap's change event: a size or format changed by anyone
  // (the caller of a wrapped bitmap, a canvas user) is read back at once, so the getters never
  // have to look.
  void WatchVclBitmap();
  void AdoptNewVclBitmap();
  void ReleaseVclBitmap();
  void CopyRowsFrom(TIEBitmap* Source);
  void ConvertVclPixelFormat(TIEPixelFormat Value);
  bool CopyFromTIEBitmapIntoVcl(TIEBitmap* Source);
  void SetVclWidthHeight(Integer NewWidth, Integer NewHeight);
  void ResizeStore(Integer NewWidth, Integer NewHeight);
  void FillRow(Byte* Row, double Value, bool WholeRow, Integer X1, Integer X2);
};
