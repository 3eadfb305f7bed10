#include "imaging/core/ie_pdf_objects.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/rtl/streams.h"

namespace {

void FreeUnlessShared(TIEPDFObject* Obj) {
  if (Obj && !Obj->Shared) delete Obj;
}

bool IsPDFDelimiter(Byte C) {
  return std::strchr("()<>[]{}/%#", C) != nullptr;
}

}  // namespace

void IEStreamWriteString(TStream* Stream, const AnsiString& Text) {
  if (!Text.empty()) Stream->WriteBuffer(Text.data(), static_cast<Int64>(Text.size()));
}

void IEStreamWriteLFLine(TStream* Stream, const AnsiString& Text) {
  IEStreamWriteString(Stream, Text);
  IEStreamWriteString(Stream, "\n");
}

AnsiString IEPDFNumberText(double Value) {
  if (!std::isfinite(Value) || Value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", Value);
  // buf: [-]d.dddddddddddddde[+-]XX, whatever the decimal separator of the locale.
  const char* s = buf;
  bool negative = *s == '-';
  if (negative) ++s;
  AnsiString digits;
  while (*s && *s != 'e' && *s != 'E') {
    if (*s >= '0' && *s <= '9') digits.push_back(*s);
    ++s;
  }
  int exponent = *s ? std::atoi(s + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  AnsiString out;
  if (exponent >= 0) {
    size_t intLen = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intLen) {
      out = digits + AnsiString(intLen - digits.size(), '0');
    } else {
      out = digits.substr(0, intLen) + "." + digits.substr(intLen);
    }
  } else {
    out = "0." + AnsiString(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  if (out == "0") return out;
  return negative ? "-" + out : out;
}

AnsiString IEPadLeft(const AnsiString& Text, Integer Length, char PadChar) {
  if (Length <= 0 || Text.size() >= static_cast<size_t>(Length)) return Text;
  return AnsiString(static_cast<size_t>(Length) - Text.size(), PadChar) + Text;
}

// ---------------------------------------------------------------------------------------------

void TIEPDFObject::Write(TStream* Stream) { Offset = Stream->Position(); }

void TIEPDFRefObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  IEStreamWriteString(Stream, std::to_string(Number) + " " + std::to_string(Generation) + " R");
}

void TIEPDFNumericObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  IEStreamWriteString(Stream, IEPDFNumberText(Value));
}

void TIEPDFBooleanObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  IEStreamWriteString(Stream, Value ? "true" : "false");
}

void TIEPDFStringObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  AnsiString out = "(";
  for (char c : Value) {
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '(': out += "\\("; break;
      case ')': out += "\\)"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(c);
    }
  }
  out += ")";
  IEStreamWriteString(Stream, out);
}

void TIEPDFNameObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  static const char kHex[] = "0123456789ABCDEF";
  AnsiString out = "/";
  for (char ch : Name) {
    Byte c = static_cast<Byte>(ch);
    // Delimiters would end the name early and "#" would start an escape: both are escaped too.
    if (c < 33 || c > 126 || IsPDFDelimiter(c)) {
      out.push_back('#');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  IEStreamWriteString(Stream, out);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
  for (TIEPDFObject* o : Items) FreeUnlessShared(o);
}

void TIEPDFArrayObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  IEStreamWriteString(Stream, "[");
  for (TIEPDFObject* o : Items) {
    o->Write(Stream);
    IEStreamWriteString(Stream, " ");
  }
  IEStreamWriteString(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
  for (auto& item : Items) FreeUnlessShared(item.second);
}

void TIEPDFDictionaryObject::SetItem(const AnsiString& Key, TIEPDFObject* Value) {
  for (auto& item : Items)
    if (item.first == Key) {
      if (item.second != Value) FreeUnlessShared(item.second);
      item.second = Value;
      return;
    }
  AddItem(Key, Value);
}

TIEPDFObject* TIEPDFDictionaryObject::GetItem(const AnsiString& Key) const {
  for (const auto& item : Items)
    if (item.first == Key) return item.second;
  return nullptr;
}

void TIEPDFDictionaryObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  IEStreamWriteString(Stream, "<< ");
  for (auto& item : Items) {
    // Keys are written as names, escaped the same way.
    TIEPDFNameObject key(item.first);
    key.Write(Stream);
    IEStreamWriteString(Stream, " ");
    item.second->Write(Stream);
    IEStreamWriteString(Stream, "\n");
  }
  IEStreamWriteString(Stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(new TIEPDFDictionaryObject) {
  Dictionary->AddItem("Length", new TIEPDFNumericObject(0));
}

TIEPDFStreamObject::TIEPDFStreamObject(const void* Source, Integer Size) : TIEPDFStreamObject() {
  if (Source && Size > 0) {
    const Byte* p = static_cast<const Byte*>(Source);
    Data.assign(p, p + Size);
  }
}

TIEPDFStreamObject::~TIEPDFStreamObject() { delete Dictionary; }

void TIEPDFStreamObject::Write(TStream* Stream) {
  TIEPDFObject::Write(Stream);
  Dictionary->SetItem("Length", new TIEPDFNumericObject(static_cast<double>(Data.size())));
  Dictionary->Write(Stream);
  IEStreamWriteString(Stream, "\nstream\n");
  if (!Data.empty()) Stream->WriteBuffer(Data.data(), static_cast<Int64>(Data.size()));
  IEStreamWriteString(Stream, "\nendstream");
}

// ---------------------------------------------------------------------------------------------

void IEPDFWriteHeader(TStream* Stream) {
  IEStreamWriteLFLine(Stream, "%PDF-1.4");
  IEStreamWriteLFLine(Stream, "%\xC8\xD2\xF0\xFE");
}

void IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj) {
  Objects.push_back(Obj);
  Obj->ObjectNumber = static_cast<Integer>(Objects.size());
}

void IEPDFWriteObjects(TStream* Stream, const TIEPDFObjectList& Objects) {
  for (size_t i = 0; i < Objects.size(); ++i) {
    Int64 start = Stream->Position();
    IEStreamWriteLFLine(Stream, std::to_string(i + 1) + " 0 obj");
    Objects[i]->Write(Stream);
    IEStreamWriteString(Stream, "\n");
    IEStreamWriteLFLine(Stream, "endobj");
    Objects[i]->Offset = start;
  }
}

TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& Objects) {
  auto* catalog = new TIEPDFDictionaryObject;
  catalog->AddItem("Type", new TIEPDFNameObject("Catalog"));
  IEPDFAddObject(Objects, catalog);
  return catalog;
}

TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& Objects, const std::vector<TIEPDFDictionaryObject*>& Pages) {
  auto* pages = new TIEPDFDictionaryObject;
  IEPDFAddObject(Objects, pages);
  pages->AddItem("Type", new TIEPDFNameObject("Pages"));
  auto* kids = new TIEPDFArrayObject;
  for (TIEPDFDictionaryObject* page : Pages) {
    kids->Add(new TIEPDFRefObject(page->ObjectNumber, 0));
    page->AddItem("Parent", new TIEPDFRefObject(pages->ObjectNumber, 0));
  }
  pages->AddItem("Kids", kids);
  pages->AddItem("Count", new TIEPDFNumericObject(static_cast<double>(Pages.size())));
  if (!Objects.empty())
    if (auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(Objects.front()))
      catalog->AddItem("Pages", new TIEPDFRefObject(pages->ObjectNumber, 0));
  return pages;
}

TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& Objects, std::vector<TIEPDFDictionaryObject*>& Pages,
                                         TIEPDFObject* Resources, TIEPDFArrayObject* MediaBox, Integer ContentsNumber) {
  auto* page = new TIEPDFDictionaryObject;
  page->AddItem("Type", new TIEPDFNameObject("Page"));
  if (Resources) page->AddItem("Resources", new TIEPDFRefObject(Resources->ObjectNumber, 0));
  page->AddItem("MediaBox", MediaBox);
  page->AddItem("Contents", new TIEPDFRefObject(ContentsNumber, 0));
  IEPDFAddObject(Objects, page);
  Pages.push_back(page);
  return page;
}

void IEPDFWriteXRefAndTrailer(TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info) {
  Int64 start = Stream->Position();
  const size_t n = Objects.size();
  IEStreamWriteLFLine(Stream, "xref");
  IEStreamWriteLFLine(Stream, "0 " + std::to_string(n + 1));
  IEStreamWriteLFLine(Stream, "0000000000 65535 f ");
  for (const TIEPDFObject* o : Objects)
    IEStreamWriteLFLine(Stream, IEPadLeft(std::to_string(o->Offset), 10, '0') + " 00000 n ");
  IEStreamWriteLFLine(Stream, "trailer");
  IEStreamWriteLFLine(Stream, "<< /Size " + std::to_string(n + 1));
  IEStreamWriteLFLine(Stream, "/Root 1 0 R");
  if (Info) IEStreamWriteLFLine(Stream, "/Info " + std::to_string(Info->ObjectNumber) + " 0 R");
  IEStreamWriteLFLine(Stream, ">>");
  IEStreamWriteLFLine(Stream, "startxref");
  IEStreamWriteLFLine(Stream, std::to_string(start));
  IEStreamWriteLFLine(Stream, "%%EOF");
}
