#include "imaging/core/ie_annot.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_text.h"
#include "platform/gui/graphics_objects.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

// The marks are drawn at the screen's resolution.
constexpr Integer kScreenDpi = TFont::PixelsPerInch;

Integer Get32(const Byte* P) { return static_cast<Integer>(P[0] | (P[1] << 8) | (P[2] << 16) | (Cardinal(P[3]) << 24)); }
Word Get16(const Byte* P) { return static_cast<Word>(P[0] | (P[1] << 8)); }

void Put32(std::vector<Byte>& Out, Integer V) {
  Cardinal u = static_cast<Cardinal>(V);
  for (int i = 0; i < 4; ++i) Out.push_back(static_cast<Byte>(u >> (8 * i)));
}
void Put16(std::vector<Byte>& Out, Word V) {
  Out.push_back(static_cast<Byte>(V));
  Out.push_back(static_cast<Byte>(V >> 8));
}

// Named data gathered for the block-wide records or for the current mark.
struct TNamedData {
  std::vector<Byte> AnoDat;
  bool HasAnoDat = false;
  std::vector<Byte> Dib;
  std::vector<Byte> AnText;
  bool HasAnText = false;
  AnsiString FileName, Group, Index;
  void Clear() { *this = TNamedData(); }
};

AnsiString ZeroText(const Byte* P, Int64 Size) {
  const void* zero = std::memchr(P, 0, static_cast<size_t>(Size));
  Int64 n = zero ? static_cast<const Byte*>(zero) - P : Size;
  return AnsiString(reinterpret_cast<const char*>(P), static_cast<size_t>(n));
}

bool IsTextMark(Cardinal Type) { return Type >= 7 && Type <= 10; }

// Writes one named block: the record type, 12, the padded name, the data size, the data.
void PutNamed(std::vector<Byte>& Out, Integer RecordType, const char* Name, const std::vector<Byte>& Data) {
  Put32(Out, RecordType);
  Put32(Out, 12);
  Byte name[8] = {};
  std::memcpy(name, Name, std::strlen(Name) < 8 ? std::strlen(Name) : 8);
  Out.insert(Out.end(), name, name + 8);
  Put32(Out, static_cast<Integer>(Data.size()));
  Out.insert(Out.end(), Data.begin(), Data.end());
}

std::vector<Byte> TextData(const AnsiString& S) {
  std::vector<Byte> d(S.begin(), S.end());
  d.push_back(0);
  return d;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TIEImagingObject::~TIEImagingObject() {
  std::free(Text);
  delete Image;
}

Cardinal TIEImagingObject::MarkType() const { return static_cast<Cardinal>(Get32(Attributes)); }
Integer TIEImagingObject::FontHeight() const { return Get32(Attributes + 48); }
void TIEImagingObject::SetFontHeight(Integer Value) {
  Cardinal u = static_cast<Cardinal>(Value);
  for (int i = 0; i < 4; ++i) Attributes[48 + i] = static_cast<Byte>(u >> (8 * i));
}

TIEImagingAnnot::~TIEImagingAnnot() { Clear(); }

TIEImagingObject* TIEImagingAnnot::Objects(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FObjects[Index];
}

Integer TIEImagingAnnot::Add(TIEImagingObject* Obj) {
  FObjects.push_back(Obj);
  return Count() - 1;
}

void TIEImagingAnnot::Clear() {
  for (TIEImagingObject* o : FObjects) delete o;
  FObjects.clear();
}

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
  if (Source == this) return;
  Clear();
  if (!Source) return;
  for (const TIEImagingObject* s : Source->FObjects) {
    auto o = std::make_unique<TIEImagingObject>();
    std::memcpy(o->Attributes, s->Attributes, sizeof o->Attributes);
    o->Points = s->Points;
    o->PointCount = s->PointCount;
    if (s->Text) o->Text = IEStrDup(s->Text);
    if (s->Image) {
      o->Image = new TIEBitmap;
      o->Image->Assign(s->Image);
    }
    FObjects.push_back(o.release());
  }
}

void TIEImagingAnnot::LoadFromBuffer(const void* Data, Integer Size) {
  if (!Data || Size <= 0) return;
  const Byte* p = static_cast<const Byte*>(Data);
  const Int64 size = Size;
  if (size < 8) return;
  const bool fourByteSizes = Get32(p + 4) != 0;
  Int64 pos = 8;
  TNamedData common, mark;
  Byte attributes[164] = {};

  auto finishMark = [&]() {
    Integer type = Get32(attributes);
    if (type <= 0) return;
    auto o = std::make_unique<TIEImagingObject>();
    std::memcpy(o->Attributes, attributes, sizeof attributes);
    if (type == 1 && !mark.Dib.empty()) {
      o->Image = IEAnnotDIBToBitmap(mark.Dib.data(), static_cast<Int64>(mark.Dib.size()));
    } else if ((type == 3 || type == 4) && mark.HasAnoDat && mark.AnoDat.size() >= 8) {
      // The point count was checked against the block's data size when the block was kept.
      Integer count = Get32(mark.AnoDat.data() + 4);
      o->PointCount = count;
      o->Points.resize(static_cast<size_t>(count));
      for (Integer i = 0; i < count; ++i) {
        o->Points[i].X = Get32(mark.AnoDat.data() + 8 + 8 * static_cast<size_t>(i));
        o->Points[i].Y = Get32(mark.AnoDat.data() + 12 + 8 * static_cast<size_t>(i));
      }
    } else if (IsTextMark(static_cast<Cardinal>(type)) && mark.HasAnText && mark.AnText.size() >= 16) {
      AnsiString text = ZeroText(mark.AnText.data() + 16, static_cast<Int64>(mark.AnText.size()) - 16);
      o->Text = IEStrDup(text.c_str());
      Integer scale = Get32(mark.AnText.data() + 8);
      // A block without a creation scale keeps the height it was stored with.
      if (scale > 0) {
        double h = 72000.0 / scale * o->FontHeight() / kScreenDpi;
        if (std::isfinite(h) && std::fabs(h) < 2147483647.0) o->SetFontHeight(static_cast<Integer>(std::nearbyint(h)));
      }
    }
    FObjects.push_back(o.release());
  };

  // One named block at pos (just after its record header); false when the data cannot hold it.
  auto parseNamed = [&](TNamedData& into) -> bool {
    Int64 header = 8 + 4 + (fourByteSizes ? 0 : 4);
    if (pos + header > size) return false;
    AnsiString name = ZeroText(p + pos, 8);
    Int64 dataSize = Get32(p + pos + 8);
    pos += header;
    if (dataSize < 0 || dataSize > size - pos) return false;
    const Byte* d = p + pos;
    Integer type = Get32(attributes);
    if (name == "OiAnoDat") {
      if ((type == 1 || type == 2 || type == 12) && dataSize >= 56) {
        into.AnoDat.assign(d, d + 56);
        into.HasAnoDat = true;
      } else if ((type == 3 || type == 4) && dataSize >= 8) {
        Int64 count = Get32(d + 4);
        if (count >= 0 && count <= (dataSize - 8) / 8) {
          into.AnoDat.assign(d, d + 8 + count * 8);
          into.HasAnoDat = true;
        }
      }
    } else if (name == "OiFilNam") {
      into.FileName = ZeroText(d, dataSize);
    } else if (name == "OiGroup") {
      into.Group = ZeroText(d, dataSize);
    } else if (name == "OiIndex") {
      into.Index = ZeroText(d, dataSize);
    } else if (name == "OiDIB") {
      into.Dib.assign(d, d + dataSize);
    } else if (name == "OiAnText") {
      into.AnText.assign(d, d + dataSize);
      into.HasAnText = true;
    }
    pos += dataSize;
    return true;
  };

  while (pos + 8 <= size) {
    Integer type = Get32(p + pos);
    pos += 8;
    bool ok = true;
    if (type == 2) {
      ok = parseNamed(common);
    } else if (type == 5) {
      if (pos + 164 > size) break;
      finishMark();
      mark.Clear();
      std::memcpy(attributes, p + pos, 164);
      pos += 164;
    } else if (type == 6) {
      ok = parseNamed(mark);
    }
    if (!ok) break;
  }
  finishMark();
  UserChanged = false;
}

void TIEImagingAnnot::SaveToBuffer(void*& Data, Integer& Size) const {
  Data = nullptr;
  Size = 0;
  if (FObjects.empty()) return;
  std::vector<Byte> out;
  Put32(out, 0);
  Put32(out, 1);
  PutNamed(out, 2, "OiGroup", TextData("0"));
  PutNamed(out, 2, "OiIndex", TextData("1"));
  for (size_t i = 0; i < FObjects.size(); ++i) {
    const TIEImagingObject* o = FObjects[i];
    Put32(out, 5);
    Put32(out, 164);
    out.insert(out.end(), o->Attributes, o->Attributes + 164);
    Cardinal type = o->MarkType();
    if (type == 1) {
      std::vector<Byte> ano;
      for (Integer v : {1, 1000, kScreenDpi, kScreenDpi, kScreenDpi, kScreenDpi, 0, 0}) Put32(ano, v);
      ano.resize(56, 0);
      PutNamed(out, 6, "OiAnoDat", ano);
      if (o->Image && !o->Image->IsEmpty()) PutNamed(out, 6, "OiDIB", IEAnnotBitmapToDIB(o->Image, 200, 200));
    } else if (type == 3 || type == 4) {
      std::vector<Byte> ano;
      Integer count = o->PointCount;
      if (count < 0 || static_cast<size_t>(count) > o->Points.size()) count = static_cast<Integer>(o->Points.size());
      Put32(ano, count);
      Put32(ano, count);
      for (Integer k = 0; k < count; ++k) {
        Put32(ano, o->Points[k].X);
        Put32(ano, o->Points[k].Y);
      }
      PutNamed(out, 6, "OiAnoDat", ano);
    } else if (IsTextMark(type)) {
      std::vector<Byte> t;
      AnsiString text = o->Text ? o->Text : "";
      Put32(t, 0);
      Put32(t, 1000);
      Put32(t, 72000 / kScreenDpi);
      Put32(t, static_cast<Integer>(text.size()));
      t.insert(t.end(), text.begin(), text.end());
      t.push_back(0);
      PutNamed(out, 6, "OiAnText", t);
    }
    PutNamed(out, 6, "OiGroup", TextData("0"));
    PutNamed(out, 6, "OiIndex", TextData(std::to_string(i)));
  }
  if (out.size() > 0x7FFFFFFF) throw EOutOfMemory("Annotation block too large");
  Data = std::malloc(out.size());
  if (!Data) throw EOutOfMemory("Out of memory");
  std::memcpy(Data, out.data(), out.size());
  Size = static_cast<Integer>(out.size());
}

// ---------------------------------------------------------------------------------------------
// Packed DIBs of image marks

TIEBitmap* IEAnnotDIBToBitmap(const void* Data, Int64 Size) {
  const Byte* p = static_cast<const Byte*>(Data);
  if (!p || Size < 40) return nullptr;
  Int64 headerSize = static_cast<Cardinal>(Get32(p));
  Int64 width = Get32(p + 4);
  Int64 height = Get32(p + 8);
  Integer bits = Get16(p + 14);
  Integer compression = Get32(p + 16);
  Int64 used = static_cast<Cardinal>(Get32(p + 32));
  if (headerSize < 40 || headerSize > Size || width <= 0 || height == 0 || height == INT32_MIN) return nullptr;
  if (compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) return nullptr;
  bool bottomUp = height > 0;
  if (height < 0) height = -height;
  if (width > 65535 || height > 65535) return nullptr;
  Int64 paletteCount = bits <= 8 ? (used ? used : (Int64(1) << bits)) : 0;
  if (paletteCount > (Int64(1) << (bits <= 8 ? bits : 0)) && bits <= 8) return nullptr;
  Int64 paletteAt = headerSize;
  Int64 rowsAt = paletteAt + paletteCount * 4;
  Int64 stride = ((width * bits + 31) / 32) * 4;
  if (rowsAt > Size || stride * height > Size - rowsAt) return nullptr;
  const Byte* pal = p + paletteAt;
  auto palRGB = [&](Int64 i) {
    if (i >= paletteCount) return TRGB{0, 0, 0};
    return TRGB{pal[i * 4], pal[i * 4 + 1], pal[i * 4 + 2]};
  };
  bool twoColour = bits == 1 && paletteCount == 2 && palRGB(0) == (TRGB{0, 0, 0}) &&
                   palRGB(1) == (TRGB{255, 255, 255});
  auto bmp = std::make_unique<TIEBitmap>();
  bmp->Location = ieMemory;
  if (!bmp->Allocate(static_cast<Integer>(width), static_cast<Integer>(height), twoColour ? ie1g : ie24RGB))
    return nullptr;
  for (Int64 y = 0; y < height; ++y) {
    const Byte* src = p + rowsAt + stride * (bottomUp ? height - 1 - y : y);
    Byte* dst = static_cast<Byte*>(bmp->GetScanline(static_cast<Integer>(y)));
    if (twoColour) {
      std::memcpy(dst, src, static_cast<size_t>((width + 7) / 8));
      continue;
    }
    TRGB* d = reinterpret_cast<TRGB*>(dst);
    for (Int64 x = 0; x < width; ++x) {
      switch (bits) {
        case 1: d[x] = palRGB((src[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: d[x] = palRGB((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        case 8: d[x] = palRGB(src[x]); break;
        case 24: d[x] = TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]}; break;
        case 32: d[x] = TRGB{src[x * 4], src[x * 4 + 1], src[x * 4 + 2]}; break;
      }
    }
  }
  return bmp.release();
}

std::vector<Byte> IEAnnotBitmapToDIB(TIEBitmap* Bitmap, Integer DpiX, Integer DpiY) {
  std::vector<Byte> out;
  if (!Bitmap || Bitmap->IsEmpty()) return out;
  Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  bool mono = Bitmap->GetPixelFormat() == ie1g;
  Integer bits = mono ? 1 : 24;
  Int64 stride = ((Int64(w) * bits + 31) / 32) * 4;
  Put32(out, 40);
  Put32(out, w);
  Put32(out, h);
  Put16(out, 1);
  Put16(out, static_cast<Word>(bits));
  Put32(out, 0);
  Put32(out, static_cast<Integer>(stride * h));
  Put32(out, static_cast<Integer>(std::lround(DpiX / 0.0254)));
  Put32(out, static_cast<Integer>(std::lround(DpiY / 0.0254)));
  Put32(out, mono ? 2 : 0);
  Put32(out, 0);
  if (mono) {
    Put32(out, 0);
    Put32(out, 0x00FFFFFF);
  }
  size_t rows = out.size();
  out.resize(rows + static_cast<size_t>(stride * h), 0);
  for (Integer y = 0; y < h; ++y) {
    Byte* dst = out.data() + rows + static_cast<size_t>(stride) * static_cast<size_t>(h - 1 - y);
    if (mono) {
      std::memcpy(dst, Bitmap->GetScanline(y), static_cast<size_t>((w + 7) / 8));
    } else {
      for (Integer x = 0; x < w; ++x) {
        TRGB c = Bitmap->GetPixelAsRGB(x, y);
        dst[x * 3] = c.b;
        dst[x * 3 + 1] = c.g;
        dst[x * 3 + 2] = c.r;
      }
    }
  }
  return out;
}
