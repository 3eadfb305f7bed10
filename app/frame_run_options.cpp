#include "app/frame_run_options.h"

#include "app/crop_area.h"
#include "app/run_filters.h"
#include "app/time_text.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

// A count typed into a plain field; "007" reads as 7, anything but an integer raises.
Integer FieldNumber(const AnsiString& Text) { return StrToInt(Trim(Text)); }

// Position on the cut-range sliders as a share of the video, 0 when the slider has no range.
double SliderShare(double Position, Integer Max) { return Max > 0 ? Position / Max : 0.0; }

AnsiString TimeText(double Microseconds) { return format_time(SafeRound<Int64>(Microseconds)); }

AnsiString TilePart(const TFrameRunChoices& C) {
  if (!C.Tile) return "";
  return ",tile=" + IntToStr(C.Columns) + "x" + IntToStr(C.Lines);
}

// The part of the chain that picks frames; the tile part is added separately because the crop
// has to come between the two.
AnsiString SelectPart(const TFrameRunChoices& C) {
  switch (C.Selection) {
    case fsEveryFrames:
      return ",select=not(mod(n\\," + IntToStr(FieldNumber(C.EveryFramesText)) + "))";
    case fsTotal: {
      // Frame n is taken when n x A / F passes a whole number: exactly A of the F frames, spread
      // evenly, and none past the F counted (the stretch may decode one more).
      const AnsiString amount = IntToStr(FieldNumber(C.ImageAmountText));
      const AnsiString frames = IntToStr(TotalImagesRangeFrames(C));
      return ",select=lt(mod(n*" + amount + "\\," + frames + ")\\," + amount + ")*lt(n\\," + frames + ")";
    }
    case fsScene:
      return ",select=gt(scene\\," + FloatToOptionText(C.ScenePercent / 100.0) + ")";
    default:
      return "";
  }
}

// Selections whose frames FFmpeg's tile filter may lay out (the others are composed later).
bool TilesInFilter(TFrameSelection S) {
  return S == fsAllFrames || S == fsEveryFrames || S == fsTotal || S == fsScene;
}

AnsiString DoublePercent(const AnsiString& Text) { return StringReplace(Text, "%", "%%", rfReplaceAll); }

bool IsContinuationByte(unsigned char B) { return (B & 0xC0) == 0x80; }

// FFmpeg's numbered-image writer guesses JPEG for a ".gif" name; a GIF image is asked for by
// name, each picture with a palette of its own. The GIF encoder writes an animation by default:
// the file header only in its first picture, and later pictures as the changed area of the one
// before, with unchanged pixels transparent. Every file here stands alone, so each picture is
// encoded as a whole image with its own header and no difference to the one before.
bool WritesGif(const TFrameRunChoices& C) { return FrameImageExtension(C.ImageFormat) == "gif"; }
const char* const GifImageOptions = " -c:v gif -gifflags 0 -gifimage 1";
const char* const GifPaletteChain = ",split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1";

}  // namespace

bool IsCompositeFrameRun(const TFrameRunChoices& C) { return C.Tile && !TilesInFilter(C.Selection); }

Integer FrameTaskCount(const TFrameRunChoices& C) {
  return C.Selection == fsExpress ? FieldNumber(C.ExpressText) : 1;
}

Integer ExpectedTileFrames(const TFrameRunChoices& C) {
  const double seconds = SliderShare(C.End - C.Begin, C.BeginMax) * double(C.Duration) / 1000000.0;
  switch (C.Selection) {
    case fsEverySeconds: {
      const Integer every = FieldNumber(C.EverySecondsText);
      return every > 0 ? SafeRound<Integer>(seconds / every) + 1 : 0;
    }
    case fsFps:
      return SafeRound<Integer>(FieldNumber(C.FrameRateText) * seconds) + 1;
    case fsExpress:
      return FieldNumber(C.ExpressText);
    default:
      return 0;
  }
}

Integer TotalImagesRangeFrames(const TFrameRunChoices& C) {
  return SafeRound<Integer>(SliderShare(C.End - C.Begin, C.BeginMax) * C.FrameCount);
}

AnsiString FrameSelectionProblem(const TFrameRunChoices& C) {
  auto positive = [](const AnsiString& Text) {
    Integer value = 0;
    return !TryStrToInt(Trim(Text), value) || value > 0;
  };
  switch (C.Selection) {
    case fsEveryFrames:
      if (!positive(C.EveryFramesText)) return "The number of frames between images must be more than 0";
      break;
    case fsEverySeconds:
      if (!positive(C.EverySecondsText)) return "The number of seconds between images must be more than 0";
      break;
    case fsFps:
      if (!positive(C.FrameRateText)) return "The frame rate must be more than 0";
      break;
    case fsExpress:
      if (!positive(C.ExpressText)) return "The Express Total Frames must be more than 0";
      break;
    case fsTotal: {
      Integer amount = 0;
      if (!TryStrToInt(Trim(C.ImageAmountText), amount)) break;
      if (amount <= 0) return "The Total Frames must be more than 0";
      if (amount > TotalImagesRangeFrames(C)) return "The Total Frames can not be more than the frames in the cut range";
      break;
    }
    default:
      break;
  }
  return "";
}

AnsiString FrameInputOptions(const TFrameRunChoices& C, Integer Task) {
  AnsiString options;
  if (!C.ForcedFormatName.empty()) options += " -f " + C.ForcedFormatName;
  double start = C.Begin;
  if (C.Selection == fsExpress) {
    // The centre of the task's equal share of the range, so that N frames spread evenly.
    const Integer count = FrameTaskCount(C);
    if (count > 0) start = (Task - 0.5) / count * (C.End - C.Begin) + C.Begin;
  }
  options += " -ss " + TimeText(SliderShare(start, C.BeginMax) * double(C.Duration));
  return options;
}

AnsiString FrameFilterChain(const TFrameRunChoices& C) {
  AnsiString chain = SelectPart(C);
  // The crop rectangle is drawn on the untouched frame, so it is cut before anything turns,
  // mirrors or tiles the picture.
  if (C.Size == fzCrop)
    chain += CropFilterPart(C.Crop.Width(), C.Crop.Height(), C.Crop.X1, C.Crop.Y1);
  if (TilesInFilter(C.Selection)) chain += TilePart(C);
  chain += TransformFilterText(C.HFlip, C.VFlip, C.RotateCW, C.RotateCCW);
  if (C.Size == fzCustom) {
    AnsiString width = IntToStr(C.CustomWidth), height = IntToStr(C.CustomHeight);
    chain += CustomSizeFilterText(width, height, C.Pad, C.SourceWidth, C.SourceHeight);
  }
  if (WritesGif(C)) chain += GifPaletteChain;
  return chain;
}

AnsiString FrameOutputOptions(const TFrameRunChoices& C) {
  AnsiString options = " -y -q:v 0 -f image2";
  if (C.Selection != fsExpress) {
    const double share = SliderShare(C.End, C.EndMax) - SliderShare(C.Begin, C.BeginMax);
    options += " -t " + TimeText(share * double(C.Duration));
  }
  switch (C.Selection) {
    case fsEverySeconds:
      options += " -r " + FloatToOptionText(1.0 / FieldNumber(C.EverySecondsText));
      break;
    case fsFps:
      options += " -r " + IntToStr(FieldNumber(C.FrameRateText));
      break;
    case fsEveryFrames:
    case fsTotal:
    case fsScene:
      options += " -vsync vfr";
      break;
    case fsExpress:
      options += " -vframes 1";
      break;
    default:
      break;
  }
  if (C.Size == fzCustom) {
    AnsiString width = IntToStr(C.CustomWidth), height = IntToStr(C.CustomHeight);
    CustomSizeFilterText(width, height, C.Pad, C.SourceWidth, C.SourceHeight);
    options += " -aspect " + width + ":" + height;
  }
  if (WritesGif(C)) options += GifImageOptions;
  AppendFilterChain(options, " -vf ", FrameFilterChain(C));
  return options;
}

AnsiString FrameImageExtension(const AnsiString& Pattern) {
  return Pattern.size() > 2 ? LowerCase(Pattern.substr(2)) : AnsiString();
}

AnsiString FirstCharacters(const AnsiString& Text, Integer Count) {
  if (Count <= 0) return "";
  size_t at = 0;
  for (Integer seen = 0; at < Text.size(); ++seen) {
    if (seen == Count) break;
    ++at;
    while (at < Text.size() && IsContinuationByte(static_cast<unsigned char>(Text[at]))) ++at;
  }
  return Text.substr(0, at);
}

AnsiString FrameBaseName(const TFrameRunChoices& C) {
  if (C.NameAsString) return C.NameString;
  const AnsiString name = ExtractFileName(C.VideoFileName);
  if (C.MaxLengthChecked) return FirstCharacters(name, C.MaxLength);
  return name;
}

AnsiString FrameNameProblem(const TFrameRunChoices& C) {
  if (C.NameAsString && C.NameString.find('/') != AnsiString::npos)
    return "The image name string can not contain \"/\"";
  return "";
}

AnsiString FrameOutputFileName(const TFrameRunChoices& C, const AnsiString& Folder, Integer Task) {
  const AnsiString stem = DoublePercent(IncludeTrailingPathDelimiter(Folder) + FrameBaseName(C)) + "-";
  const AnsiString ext = "." + FrameImageExtension(C.ImageFormat);
  if (C.Selection == fsExpress) return stem + IntToStr(Task) + ext;
  return stem + "%d" + ext;
}
