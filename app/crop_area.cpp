#include "app/crop_area.h"

#include <algorithm>
#include <limits>

#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// Keeps V within Low .. High when the picture gives an upper bound (High >= Low).
Int64 Clamp(Int64 V, Int64 Low, Int64 High) { return High >= Low ? std::clamp(V, Low, High) : std::max(V, Low); }

}  // namespace

TCropFields CropFieldsOf(const TCropArea& Area) {
  if (Area.Empty()) return {};
  return {Area.X1, Area.Y1, Area.Width(), Area.Height()};
}

TRect CropSelectionAfterEdit(const TCropArea& Current, TCropField Field, Integer Value, Integer PictureWidth,
                             Integer PictureHeight) {
  // Inclusive edges in 64 bits, so that a typed value near the integer limit cannot wrap.
  Int64 x1 = Current.X1, y1 = Current.Y1, x2 = Current.X2, y2 = Current.Y2;
  const Int64 lastColumn = Int64(PictureWidth) - 1, lastLine = Int64(PictureHeight) - 1;
  switch (Field) {
    case cfLeft:
      x1 = Clamp(Value, 0, lastColumn);
      x2 = std::max(x2, x1);
      break;
    case cfTop:
      y1 = Clamp(Value, 0, lastLine);
      y2 = std::max(y2, y1);
      break;
    case cfWidth:
      x2 = x1 + Clamp(Value, 1, lastColumn - x1 + 1) - 1;
      break;
    case cfHeight:
      y2 = y1 + Clamp(Value, 1, lastLine - y1 + 1) - 1;
      break;
  }
  return Rect(Integer(x1), Integer(y1), Integer(x2 + 1), Integer(y2 + 1));
}

AnsiString CropFieldTextOnExit(TCropField Field, const AnsiString& Text) {
  const Integer least = Field == cfLeft || Field == cfTop ? 0 : 1;
  Integer value = 0;
  if (!TryStrToInt(Trim(Text), value) || value < least) return IntToStr(least);
  return Text;
}

AnsiString CropFilterPart(Integer Width, Integer Height, Integer X, Integer Y) {
  return ",crop=" + IntToStr(Width) + ":" + IntToStr(Height) + ":" + IntToStr(X) + ":" + IntToStr(Y) + ":exact=1";
}

void KeepCropSpanInside(Integer& Size, Integer& Start, Integer Limit, const std::function<Integer(Integer)>& Round) {
  Integer rounded = Round(Size);
  if (Limit > 0) {
    for (Integer wanted = Size; rounded > Limit && wanted > 1;) rounded = Round(--wanted);
    Start = std::clamp<Integer>(Start, 0, std::max<Integer>(0, Limit - rounded));
  }
  Size = rounded;
}

TCropArea EvenSizedCropArea(const TCropArea& Area, Integer PictureWidth, Integer PictureHeight) {
  if (Area.Empty()) return Area;
  const auto even = [](Integer Size) { return Size % 2 != 0 && Size < std::numeric_limits<Integer>::max() ? Size + 1 : Size; };
  Integer x = Area.X1, y = Area.Y1, w = std::max<Integer>(Area.Width(), 1), h = std::max<Integer>(Area.Height(), 1);
  KeepCropSpanInside(w, x, PictureWidth, even);
  KeepCropSpanInside(h, y, PictureHeight, even);
  return {x, y, x + w - 1, y + h - 1};
}
