// The object model of the PDF writer: each object writes its own PDF syntax, and the document
// routines write the header, the numbered objects, the catalog, the page tree, the
// cross-reference table and the trailer. Every line ends with a single line feed.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"

class TStream;

class TIEPDFObject : public TObject {
 public:
  TIEPDFObject() = default;
  AnsiString ClassName() const override { return "TIEPDFObject"; }
  Integer ObjectNumber = 0;  // 0 until added to a document's object list
  Int64 Offset = 0;          // where the object was last written
  bool Shared = false;       // a shared object is not freed by the array or dictionary holding it
  // Sets Offset to the stream's position, then writes the object's syntax.
  virtual void Write(TStream* Stream);
};

class TIEPDFRefObject : public TIEPDFObject {
 public:
  TIEPDFRefObject(Integer ObjectNumber, Integer Generation) : Number(ObjectNumber), Generation(Generation) {}
  AnsiString ClassName() const override { return "TIEPDFRefObject"; }
  Integer Number;
  Integer Generation;
  void Write(TStream* Stream) override;
};

class TIEPDFNumericObject : public TIEPDFObject {
 public:
  explicit TIEPDFNumericObject(double Value) : Value(Value) {}
  AnsiString ClassName() const override { return "TIEPDFNumericObject"; }
  double Value;
  void Write(TStream* Stream) override;
};

class TIEPDFBooleanObject : public TIEPDFObject {
 public:
  explicit TIEPDFBooleanObject(bool Value) : Value(Value) {}
  AnsiString ClassName() const override { return "TIEPDFBooleanObject"; }
  bool Value;
  void Write(TStream* Stream) override;
};

class TIEPDFStringObject : public TIEPDFObject {
 public:
  explicit TIEPDFStringObject(const AnsiString& Value) : Value(Value) {}
  AnsiString ClassName() const override { return "TIEPDFStringObject"; }
  AnsiString Value;
  void Write(TStream* Stream) override;
};

class TIEPDFNameObject : public TIEPDFObject {
 public:
  explicit TIEPDFNameObject(const AnsiString& Name) : Name(Name) {}
  AnsiString ClassName() const override { return "TIEPDFNameObject"; }
  AnsiString Name;  // without the slash
  void Write(TStream* Stream) override;
};

class TIEPDFArrayObject : public TIEPDFObject {
 public:
  TIEPDFArrayObject() = default;
  ~TIEPDFArrayObject() override;
  AnsiString ClassName() const override { return "TIEPDFArrayObject"; }
  // The array owns each item that is not Shared.
  std::vector<TIEPDFObject*> Items;
  void Add(TIEPDFObject* Item) { Items.push_back(Item); }
  void Write(TStream* Stream) override;
};

class TIEPDFDictionaryObject : public TIEPDFObject {
 public:
  TIEPDFDictionaryObject() = default;
  ~TIEPDFDictionaryObject() override;
  AnsiString ClassName() const override { return "TIEPDFDictionaryObject"; }
  // Keys without the slash, in insertion order; the dictionary owns each value that is not Shared.
  std::vector<std::pair<AnsiString, TIEPDFObject*>> Items;
  void AddItem(const AnsiString& Key, TIEPDFObject* Value) { Items.emplace_back(Key, Value); }
  // Replaces the value of Key (freeing the old one unless Shared), or adds it.
  void SetItem(const AnsiString& Key, TIEPDFObject* Value);
  TIEPDFObject* GetItem(const AnsiString& Key) const;
  void Write(TStream* Stream) override;
};

class TIEPDFStreamObject : public TIEPDFObject {
 public:
  TIEPDFStreamObject();
  TIEPDFStreamObject(const void* Data, Integer Size);  // CreateFromData
  ~TIEPDFStreamObject() override;
  AnsiString ClassName() const override { return "TIEPDFStreamObject"; }
  std::vector<Byte> Data;
  TIEPDFDictionaryObject* Dictionary;  // always holds "Length"
  void Write(TStream* Stream) override;
};

// A document under construction: the indirect objects, numbered from 1 by position. The list
// owns nothing; the writer frees the objects.
using TIEPDFObjectList = std::vector<TIEPDFObject*>;

void IEStreamWriteString(TStream* Stream, const AnsiString& Text);
void IEStreamWriteLFLine(TStream* Stream, const AnsiString& Text);
// Plain decimal, at most 15 significant digits, "." whatever the locale and never an exponent
// (PDF has no exponent form); NaN and infinities, which PDF cannot express, give 0.
AnsiString IEPDFNumberText(double Value);
void IEPDFWriteHeader(TStream* Stream);
void IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj);
void IEPDFWriteObjects(TStream* Stream, const TIEPDFObjectList& Objects);
// The catalog must be the document's first object: the trailer names object 1 as the root.
TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& Objects);
TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& Objects, const std::vector<TIEPDFDictionaryObject*>& Pages);
// MediaBox becomes the page's.
TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& Objects, std::vector<TIEPDFDictionaryObject*>& Pages,
                                         TIEPDFObject* Resources, TIEPDFArrayObject* MediaBox, Integer ContentsNumber);
void IEPDFWriteXRefAndTrailer(TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info);
AnsiString IEPadLeft(const AnsiString& Text, Integer Length, char PadChar);
