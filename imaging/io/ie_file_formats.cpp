#include "imaging/io/ie_file_formats.h"

#include <memory>
#include <vector>

#include "imaging/core/ie_text.h"

namespace {

using TRowList = std::vector<std::unique_ptr<TIEFileFormatInfo>>;
// Nil before the I/O unit starts and after it stops.
TRowList* gRows = nullptr;

AnsiString Lower(const AnsiString& S) {
  AnsiString R;
  IELowerCase(S, R);
  return R;
}

struct TBuiltinRow {
  Integer FileType;
  const char* FullName;
  const char* Extensions;
  Integer Page;  // -1: no page
  bool Read, Write;
};

// Registration order matters: lookups by extension take the first row that lists it.
constexpr TBuiltinRow kBuiltinRows[] = {
    {ioTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", ppTIFF, true, true},
    {ioGIF, "CompuServe Bitmap", "GIF", ppGIF, true, true},
    {ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", ppJPEG, true, true},
    {ioPCX, "PaintBrush", "PCX", ppPCX, true, true},
    {ioBMP, "Windows Bitmap", "BMP;DIB;RLE", ppBMP, true, true},
    {ioICO, "Windows Icon", "ICO", -1, true, true},
    {ioCUR, "Windows Cursor", "CUR", -1, true, false},
    {ioPNG, "Portable Network Graphics", "PNG", ppPNG, true, true},
    {ioDICOM, "DICOM Bitmap", "DCM;DIC;DICOM", -1, true, false},
    {ioWMF, "Windows Metafile", "WMF", -1, true, false},
    {ioEMF, "Enhanced Windows Metafile", "EMF", -1, true, false},
    {ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", ppTGA, true, true},
    {ioPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", -1, true, true},
    {ioWBMP, "Wireless Bitmap", "WBMP", -1, true, true},
    {ioJP2, "JPEG2000", "JP2", ppJ2000, true, true},
    {ioJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", ppJ2000, true, true},
    {ioPS, "PostScript Level 2", "PS;EPS", -1, false, true},
    {ioPDF, "Adobe PDF", "PDF", -1, false, true},
    {ioDCX, "Multipage PCX", "DCX", -1, true, true},
    {ioRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", -1, true, false},
    {ioPSD, "Photoshop PSD", "PSD", -1, true, true},
    {ioIEV, "Vectorial objects", "IEV", -1, true, true},
    {ioLYR, "Layers", "LYR", -1, true, true},
    {ioALL, "Layers and objects", "ALL", -1, true, true},
};

}  // namespace

void IEFileFormatNoRead(TStream*, TIEBitmap*, TIOParamsVals&, TIECodecProgress&, bool) {}
void IEFileFormatNoWrite(TStream*, TIEBitmap*, TIOParamsVals&, TIECodecProgress&) {}
bool IEFileFormatNoTry(TStream*, Integer) { return false; }

AnsiString IEFileFormatCutExt(AnsiString& Rest) {
  const size_t p = Rest.find(';');
  AnsiString Item;
  if (p != AnsiString::npos) {
    Item = Rest.substr(0, p);
    Rest = Rest.substr(p + 1);
  } else {
    Item = Rest;
    Rest.clear();
  }
  return Item;
}

TIEFileFormatInfo* IEFileFormatGetInfo(Integer FileType) {
  if (!gRows) return nullptr;
  for (auto& Row : *gRows)
    if (Row->FileType == FileType) return Row.get();
  return nullptr;
}

AnsiString IEFileFormatGetExt(Integer FileType, Integer Index) {
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row || Index < 0) return "";
  AnsiString Rest = Row->Extensions, Item;
  for (Integer i = 0; i <= Index; ++i) {
    if (Rest.empty()) return "";
    Item = IEFileFormatCutExt(Rest);
  }
  return Item;
}

Integer IEFileFormatGetExtCount(Integer FileType) {
  Integer Count = 0;
  while (!IEFileFormatGetExt(FileType, Count).empty()) ++Count;
  return Count;
}

TIEFileFormatInfo* IEFileFormatGetInfoByExt(const AnsiString& Ext) {
  if (!gRows) return nullptr;
  AnsiString Wanted = Lower(Ext);
  if (!Wanted.empty() && Wanted[0] == '.') Wanted.erase(0, 1);
  for (auto& Row : *gRows) {
    AnsiString Rest = Row->Extensions;
    while (!Rest.empty())
      if (Lower(IEFileFormatCutExt(Rest)) == Wanted) return Row.get();
  }
  return nullptr;
}

Integer IEFileTypeFromExt(const AnsiString& Ext) {
  TIEFileFormatInfo* Row = IEFileFormatGetInfoByExt(Lower(Ext));
  return Row ? Row->FileType : ioUnknown;
}

void IEFileFormatAdd(TIEFileFormatInfo* Info) {
  if (!Info) return;
  if (!gRows) gRows = new TRowList;
  gRows->emplace_back(Info);
}

void IEFileFormatRemove(Integer FileType) {
  if (!gRows) return;
  for (auto It = gRows->begin(); It != gRows->end(); ++It)
    if ((*It)->FileType == FileType) {
      gRows->erase(It);
      return;
    }
}

void IERegisterBuiltinFormats() {
  IEFreeFileFormats();
  gRows = new TRowList;
  for (const TBuiltinRow& B : kBuiltinRows) {
    auto* Row = new TIEFileFormatInfo;
    Row->FileType = B.FileType;
    Row->FullName = B.FullName;
    Row->Extensions = B.Extensions;
    Row->InternalFormat = true;
    Row->DialogPage = B.Page < 0 ? 0 : IEPreviewPage(TPreviewParam(B.Page));
    Row->ReadFunction = B.Read ? IEFileFormatNoRead : nullptr;
    Row->WriteFunction = B.Write ? IEFileFormatNoWrite : nullptr;
    Row->TryFunction = IEFileFormatNoTry;
    gRows->emplace_back(Row);
  }
}

void IEFreeFileFormats() {
  delete gRows;
  gRows = nullptr;
}

Integer IEFileFormatCount() { return gRows ? Integer(gRows->size()) : 0; }

TIEFileFormatInfo* IEFileFormatAt(Integer Index) {
  if (!gRows || Index < 0 || Index >= Integer(gRows->size())) return nullptr;
  return (*gRows)[size_t(Index)].get();
}
