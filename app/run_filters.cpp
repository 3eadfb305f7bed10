#include "app/run_filters.h"

#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

AnsiString TransformFilterText(bool HFlip, bool VFlip, bool RotateCW, bool RotateCCW) {
  AnsiString chain;
  if (HFlip) chain += ",hflip";
  if (VFlip) chain += ",vflip";
  if (RotateCW) chain += ",transpose=1";
  if (RotateCCW) chain += ",transpose=2";
  return chain;
}

namespace {
AnsiString MadeEven(const AnsiString& Number) {
  const Integer value = StrToInt(Number);
  return IntToStr(value % 2 != 0 ? value + 1 : value);
}
}  // namespace

AnsiString CustomSizeFilterText(AnsiString& Width, AnsiString& Height, bool Pad, Integer SourceWidth,
                                Integer SourceHeight) {
  if (!Pad) return ",scale=" + Width + ":" + Height;
  // Without a known source size both ratios count as equal: a plain scale.
  const double rw = SourceWidth > 0 ? StrToInt(Trim(Width)) / static_cast<double>(SourceWidth) : 1.0;
  const double rh = SourceHeight > 0 ? StrToInt(Trim(Height)) / static_cast<double>(SourceHeight) : 1.0;
  Width = MadeEven(Width);
  Height = MadeEven(Height);
  if (SourceWidth > 0 && SourceHeight > 0 && rw < rh)
    return ",scale=" + Width + ":" + Width + "/(iw/ih)" + ",pad=" + Width + ":" + Height +
           ":0:(oh-ow/(iw/ih))/2:black";
  if (SourceWidth > 0 && SourceHeight > 0 && rw > rh)
    return ",scale=" + Height + "*(iw/ih)" + ":" + Height + ",pad=" + Width + ":" + Height +
           ":(ow-oh*(iw/ih))/2:0:black";
  return ",scale=" + Width + ":" + Height;
}

AnsiString VolumeFilterText(bool Change, Integer Percent) {
  if (!Change || Percent == 100) return "";
  return ",volume=" + FloatToOptionText(Percent / 100.0);
}

std::vector<double> TempoFactors(Integer Percent) {
  std::vector<double> factors;
  if (Percent <= 0 || Percent == 100) return factors;
  // Halving and doubling are exact in binary, so the last factor prints as the plain decimal.
  double rest = Percent / 100.0;
  while (rest > 2.0) {
    factors.push_back(2.0);
    rest /= 2.0;
  }
  while (rest < 0.5) {
    factors.push_back(0.5);
    rest /= 0.5;
  }
  factors.push_back(rest);
  return factors;
}

AnsiString TempoFilterText(bool Change, Integer Percent) {
  if (!Change) return "";
  AnsiString chain;
  for (double factor : TempoFactors(Percent)) chain += ",atempo=" + FloatToOptionText(factor);
  return chain;
}

double TempoSpeed(bool Change, Integer Percent) {
  return Change && Percent > 0 ? Percent / 100.0 : 1.0;
}

AnsiString MotionFilterText(bool Change, Integer Percent) {
  if (!Change || Percent == 100 || Percent <= 0) return "";
  return ",setpts=" + FloatToOptionText(100.0 / Percent) + "*PTS";
}

double MotionSpeed(bool Change, Integer Percent) {
  return Change && Percent > 0 ? Percent / 100.0 : 1.0;
}

void AppendFilterChain(AnsiString& Options, const AnsiString& Flag, const AnsiString& Chain) {
  AnsiString chain = Trim(Chain);
  if (chain.empty()) return;
  if (chain[0] == ',') chain.erase(0, 1);
  Options += Flag + chain;
}
