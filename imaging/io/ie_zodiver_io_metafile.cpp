// Metafile import: a WMF or EMF drawn by the library's own player onto a bitmap of the asked
// size, with an alpha channel where the drawing left the background untouched.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/formats/metafile/ie_metafile.h"
#include "imaging/formats/metafile/ie_metafile_render.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace {

// The key colour an untouched pixel keeps: red 3, green 2, blue 1.
constexpr TColor kAlphaKey = 0x010203;

void Paint(TBitmap& Surface, TIEMetafile* Picture, TColor Background) {
  TCanvas* c = Surface.Canvas();
  c->Brush()->SetBitmap(nullptr);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Background);
  c->FillRect(TRect{0, 0, Surface.Width(), Surface.Height()});
  c->Draw(0, 0, Picture);
}

}  // namespace

void TZodivErIO::ImportMetafile(const WideString& FileName, Integer Width, Integer Height, bool WithAlpha) {
  if (InThread(&TZodivErIO::ImportMetafile, FileName, Width, Height, WithAlpha)) return;
  FFailureReason.clear();
  Aborting = true;
  Finishing([&] {
    TIEMetafile Picture;
    {
      TIEWideFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
      try {
        Picture.LoadFromStream(&File);
      } catch (EInvalidGraphic& E) {
        throw EInvalidGraphic("\"" + WideToAnsi(FileName) + "\": " + E.Message);
      }
    }
    SyncImportMetafile(&Picture, Width, Height, WithAlpha);
    FParams->FileName = FileName;
  });
}

void TZodivErIO::SyncImportMetafile(TIEMetafile* Picture, Integer Width, Integer Height, bool WithAlpha) {
  Aborting = false;
  if (Width == 0 || Height == 0 || !Picture || !MakeConsistentBitmap(0)) return;
  FParams->ResetInfo();
  // A picture without width or height gives no image and no proportions to follow.
  if (!IEMetafileImportSize(Picture->Width(), Picture->Height(), Width, Height, IEMaxMetafileSize))
    return Fail("The metafile has a size of " + IntToStr(Picture->Width()) + " x " + IntToStr(Picture->Height()) +
                " and gives no image at " + IntToStr(Width) + " x " + IntToStr(Height));
  Picture->SetWidth(Width);
  Picture->SetHeight(Height);
  // The drawing surface is 32-bit, which the canvas draws on directly; the image keeps the
  // 24 bits of it.
  TBitmap Surface;
  Surface.SetPixelFormat(pf32bit);
  Surface.SetSize(Width, Height);
  FParams->FileName.clear();
  FParams->FileType = Picture->Enhanced() ? ioEMF : ioWMF;
  FParams->BitsPerSample = 8;
  FParams->SamplesPerPixel = 3;
  FParams->Width = Width;
  FParams->Height = Height;
  FParams->SetDpiX(IEGlobalDefaultDpiX);
  FParams->SetDpiY(IEGlobalDefaultDpiY);
  std::free(FParams->ColorMap);
  FParams->ColorMap = nullptr;
  FParams->ColorMapCount = 0;
  UpdateViewDPI();
  Paint(Surface, Picture, Background());
  const AnsiString Damaged = Picture->PlayError();
  if (FImage->HasAlphaChannel()) FImage->RemoveAlphaChannel(false, Background());
  if (!FImage->Allocate(Width, Height, ie24RGB)) return Fail("No memory for an image of " + IntToStr(Width) + " x " + IntToStr(Height));
  for (Integer y = 0; y < Height; ++y) {
    const Byte* s = static_cast<const Byte*>(Surface.ScanLine(y));
    Byte* d = static_cast<Byte*>(FImage->GetScanline(y));
    for (Integer x = 0; x < Width; ++x, s += 4, d += 3) std::memcpy(d, s, 3);
  }
  FImage->UnmapAllRows();
  if (WithAlpha) {
    Paint(Surface, Picture, kAlphaKey);
    TIEBitmap* Alpha = FImage->GetAlphaChannel();
    for (Integer y = 0; y < Height; ++y) {
      const Byte* s = static_cast<const Byte*>(Surface.ScanLine(y));
      Byte* a = static_cast<Byte*>(Alpha->GetScanline(y));
      for (Integer x = 0; x < Width; ++x, s += 4) a[x] = s[0] == 1 && s[1] == 2 && s[2] == 3 ? 0 : 255;
    }
    Alpha->UnmapAllRows();
    Alpha->SyncOpaqueFlag();
  }
  // What was drawn before a damaged record stays; the import still failed.
  if (!Damaged.empty()) Fail("The metafile is damaged: " + Damaged);
  Update();
}
