#include "imaging/core/ie_quantizer.h"

#include <algorithm>
#include <unordered_map>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_box_quantizer.h"
#include "imaging/core/ie_neuquant.h"
#include "platform/rtl/numerics.h"

Integer IEQuantizerMethod = -1;
Integer IENeuQuantQuality = -1;

namespace {
DWORD Key(TRGB c) { return DWORD(c.r) << 16 | DWORD(c.g) << 8 | c.b; }

// A key with this bit set marks a used slot: colour keys use the low 24 bits only.
constexpr DWORD kUsed = 0x80000000u;

size_t SlotOf(const TIEExactPalette& T, DWORD K) {
  const size_t mask = T.SlotKeys.size() - 1;
  size_t i = (K * 0x9E3779B1u) >> 8 & mask;
  while (T.SlotKeys[i] != 0 && T.SlotKeys[i] != (K | kUsed)) i = (i + 1) & mask;
  return i;
}
}  // namespace

TIEExactPalette* IEExactPaletteCreate(TIEBitmap* Bitmap, Integer N, TRGB* Palette, Byte* Indexes) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || N < 1) return nullptr;
  if (Indexes && N > 256) return nullptr;
  auto* table = new TIEExactPalette;
  table->Colors.reserve(static_cast<size_t>(N));
  // The hash only speeds up the membership test; the table keeps the order of first appearance.
  // It stays at most a quarter full, and neighbouring pixels mostly repeat a colour.
  // Beyond 16384 colours (not a palette any more) a general map does the test.
  if (N <= 16384) {
    size_t slots = 64;
    while (slots < size_t(N) * 4) slots *= 2;
    table->SlotKeys.assign(slots, 0);
    table->SlotIndexes.assign(slots, 0);
  }
  const bool hashed = !table->SlotKeys.empty();
  Integer width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  DWORD last = 0xFFFFFFFFu;
  Integer lastIndex = 0;
  std::unordered_map<DWORD, Integer> seen;
  for (Integer y = 0; y < height; ++y) {
    const TRGB* row = static_cast<const TRGB*>(Bitmap->GetScanline(y));
    Byte* out = Indexes ? Indexes + size_t(y) * size_t(width) : nullptr;
    for (Integer x = 0; x < width; ++x) {
      const DWORD key = Key(row[x]);
      if (key != last) {
        last = key;
        size_t slot = 0;
        bool known = false;
        if (hashed) {
          slot = SlotOf(*table, key);
          known = table->SlotKeys[slot] != 0;
          if (known) lastIndex = table->SlotIndexes[slot];
        } else if (auto it = seen.find(key); it != seen.end()) {
          known = true;
          lastIndex = it->second;
        }
        if (!known) {
          if (static_cast<Integer>(table->Colors.size()) == N) {
            delete table;
            return nullptr;
          }
          lastIndex = static_cast<Integer>(table->Colors.size());
          if (hashed) {
            table->SlotKeys[slot] = key | kUsed;
            table->SlotIndexes[slot] = static_cast<Word>(lastIndex);
          } else {
            seen.emplace(key, lastIndex);
          }
          table->Colors.push_back(row[x]);
        }
      }
      if (out) out[x] = static_cast<Byte>(lastIndex);
    }
  }
  for (size_t i = 0; i < table->Colors.size(); ++i) Palette[i] = table->Colors[i];
  return table;
}

Integer IEExactPaletteIndex(const TIEExactPalette* Table, Integer Count, TRGB Color) {
  Integer n = IEMin(Count, static_cast<Integer>(Table->Colors.size()));
  if (!Table->SlotKeys.empty()) {
    const size_t slot = SlotOf(*Table, Key(Color));
    if (Table->SlotKeys[slot] == 0) return -1;
    const Integer i = Table->SlotIndexes[slot];
    return i < n ? i : -1;
  }
  for (Integer i = 0; i < n; ++i)
    if (Table->Colors[static_cast<size_t>(i)] == Color) return i;
  return -1;
}

void IEExactPaletteFree(TIEExactPalette*& Table) {
  delete Table;
  Table = nullptr;
}

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, Integer N)
    : FBitmap(Bitmap), FColors(N < 1 ? 1 : (N > 256 ? 256 : N)) {
  FGray = Bitmap->IsGrayScale();
  TIEPixelFormat format = Bitmap->GetPixelFormat();
  if (!FGray && format == ie24RGB) {
    FExact = IEExactPaletteCreate(Bitmap, FColors, Palette);
    if (FExact) return;
    FMethod = IEQuantizerMethod == -1 ? (FColors < 128 ? 1 : 0) : IEQuantizerMethod;
    // Any other selector value builds the neural net, so it must also be the net that answers
    // the lookups (an unknown method would map every colour to entry 0).
    if (FMethod != 1) FMethod = 0;
    if (FMethod == 1)
      FBox = IEBoxQuantizerCreate(Bitmap, Palette, FColors);
    else
      FNet = IENeuQuantCreate(Bitmap, Palette, FColors, IENeuQuantQuality);
  } else if (format == ie8p) {
    Integer n = IEMin(FColors, Bitmap->GetPaletteLength());
    for (Integer i = 0; i < n; ++i) Palette[i] = Bitmap->GetPaletteEntry(i);
  } else if (FGray) {
    for (Integer i = 0; i < FColors; ++i) {
      Byte v = static_cast<Byte>(SafeTrunc<Integer>(256.0 / FColors * i));
      Palette[i] = IECreateRGB(v, v, v);
    }
  }
}

TIEQuantizer::~TIEQuantizer() {
  IEExactPaletteFree(FExact);
  IEBoxQuantizerFree(FBox);
  IENeuQuantFree(FNet);
}

Integer TIEQuantizer::RGBIndex(TRGB Color) const {
  if (FExact) return IEExactPaletteIndex(FExact, FColors, Color);
  if (FGray) return (Color.r * FColors) / 256;
  if (FBox) return IEBoxQuantizerIndex(FBox, Color);
  if (FNet) return IENeuQuantIndex(FNet, Color);
  if (FBitmap->GetPixelFormat() == ie8p) {
    Integer length = FBitmap->GetPaletteLength();
    for (Integer i = 0; i < length; ++i)
      if (FBitmap->GetPaletteEntry(i) == Color) return i;
    return length;
  }
  return 0;
}
