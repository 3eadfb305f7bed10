// What each row store of the image buffer can hold: readers ask it to name the real reason when
// an allocation in a store is refused. And how the buffer reaches its framework-bitmap store.
#pragma once

#include "imaging/core/ie_types.h"

class TBitmap;
class TIEBitmap;
class TObject;

// Empty when rows kept in Location can be allocated in Format (the framework bitmap takes
// ie16g, turning it into ie8g); otherwise the text of the store's refusal, naming the format.
AnsiString IEStoreRefusal(TIELocation Location, TIEPixelFormat Format);

// True for the formats whose rows a framework bitmap holds as they are.
bool IETBitmapStoreHolds(TIEPixelFormat Format);

// The framework-bitmap store (Location ieTBitmap) is drawing code: its rows live in a TBitmap
// so that a canvas can draw on them. The rest of the buffer reaches it only through these
// calls, which the store's unit installs when a program links it, and any program that asks a
// bitmap for its canvas or framework bitmap, or hands it one, does. A program that only reads,
// converts and writes images then links nothing of the framework's drawing; there a bitmap
// asked for this store keeps its rows in memory.
struct TIETBitmapStoreCalls {
  bool (*Allocate)(TIEBitmap& Bitmap);
  // Gives up the framework bitmap: its own is freed, a caller's gets its change handler back.
  void (*Release)(TIEBitmap& Bitmap);
  void (*Watch)(TIEBitmap& Bitmap);
  void (*UpdatePalette)(TIEBitmap& Bitmap);
  void (*ConvertPixelFormat)(TIEBitmap& Bitmap, TIEPixelFormat Format);
  bool (*CopyImageFrom)(TIEBitmap& Bitmap, TIEBitmap* Source);
  void (*SetSize)(TIEBitmap& Bitmap, Integer Width, Integer Height);
  // Copies Source when it is a framework bitmap; false for any other kind of object.
  bool (*AssignFrom)(TIEBitmap& Bitmap, TObject* Source);
  void (*DeleteBitmap)(TBitmap* Bitmap);
};

// Nil until the store's unit is part of the program.
const TIETBitmapStoreCalls* IETBitmapStore();
void IEInstallTBitmapStore(const TIETBitmapStoreCalls* Calls);
