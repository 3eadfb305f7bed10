#include "app/clip_run_options.h"

#include <algorithm>
#include <limits>

#include "app/crop_area.h"
#include "app/run_filters.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

const char* const ClipExtensionList =
    "*.AVI;*.MPG;*.MPEG;*.WMV;*.MP4;*.M4V;*.3GP;*.RM;*.FLV;*.SWF;*.MKV;*.WEBM;*.MOV;*.VOB;*.ASF;*.TS;*.MTS;";

namespace {

bool Has(const AnsiString& Info, const char* Name) { return Info.find(Name) != AnsiString::npos; }

AnsiString TargetExt(const AnsiString& Target) { return LowerCase(Trim(ExtractFileExt(Target))); }

AnsiString MadeEven(Integer Value) { return IntToStr(Value % 2 != 0 ? Int64(Value) + 1 : Int64(Value)); }

AnsiString NextMultipleOf4(Integer Value) {
  return IntToStr(Value % 4 != 0 ? Int64(Value) - Value % 4 + 4 : Int64(Value));
}

// " -r " with the frame rate rounded to two decimals, for a rate whose numerator is too large
// for the MPEG-4 encoders' time base.
AnsiString RoundedRate(const TClipSource& Source) {
  if (Source.FrameRateNum <= 65535 || Source.FrameRateDen <= 0) return "";
  const double rate = double(SafeRound<Int64>(double(Source.FrameRateNum) / double(Source.FrameRateDen) * 100)) / 100;
  if (rate > 65535) return "";
  return " -r " + FloatToOptionText(rate);
}

AnsiString Mpeg4OrH264(const TClipSource& Source) {
  if (Has(Source.Info, "264")) return " -c:v libx264";
  return " -c:v mpeg4" + RoundedRate(Source);
}

void SplitSize(const AnsiString& Size, AnsiString& Width, AnsiString& Height) {
  const size_t colon = Size.find(':');
  Width = Size.substr(0, colon);
  Height = colon == AnsiString::npos ? AnsiString() : Size.substr(colon + 1);
}

}  // namespace

AnsiString ClipCropPart(const TClipRunChoices& Choices, const TClipSource& Source) {
  Integer x = Choices.Crop.X1, y = Choices.Crop.Y1;
  Integer w = Integer(std::clamp<Int64>(Int64(Choices.Crop.X2) - Choices.Crop.X1 + 1, 1, std::numeric_limits<Integer>::max()));
  Integer h = Integer(std::clamp<Int64>(Int64(Choices.Crop.Y2) - Choices.Crop.Y1 + 1, 1, std::numeric_limits<Integer>::max()));
  const auto rounded = [&](Integer Width, Integer Height, bool TakeWidth) {
    AnsiString rw, rh;
    SplitSize(ClipFrameSize(IntToStr(Width), IntToStr(Height), Choices.Target, Source.Info), rw, rh);
    return StrToInt(TakeWidth ? rw : rh);
  };
  const Integer h0 = h;
  KeepCropSpanInside(w, x, Source.Width, [&](Integer W) { return rounded(W, h0, true); });
  KeepCropSpanInside(h, y, Source.Height, [&](Integer H) { return rounded(w, H, false); });
  return CropFilterPart(w, h, x, y);
}

TClipSaveTypes ClipSaveTypes(const AnsiString& SourceName, bool AtStart) {
  TClipSaveTypes types;
  const AnsiString ext = ExtractFileExt(SourceName);
  const AnsiString s = UpperCase(ext);
  const AnsiString trimmed = Trim(s);
  auto choose = [&](const AnsiString& Upper, const AnsiString& Default) {
    types.Filter = "*." + Upper + "|*." + LowerCase(Upper) + "|";
    types.DefaultExt = Default;
  };
  if (ExtensionInList(SourceName, ClipExtensionList)) {
    if (AtStart || (trimmed != ".RM" && trimmed != ".AVI")) {
      types.Filter = "*" + s + "|*" + LowerCase(s) + "|";
      types.DefaultExt = ext.substr(1);
    } else {
      choose("MPG", "mpg");
    }
  } else if (trimmed == ".RMVB") {
    if (AtStart) choose("RM", "rm");
    else choose("MPG", "mpg");
  } else if (trimmed == ".H264") {
    choose("MKV", "mkv");
  } else if (AtStart) {
    choose("AVI", "avi");
  } else {
    choose("MPG", "mpg");
  }

  AppendSaveTypes(types.Filter, ClipExtensionList, types.DefaultExt);
  return types;
}

AnsiString ClipCodecOptions(const AnsiString& Target, const TClipSource& Source) {
  const AnsiString tx = TargetExt(Target);
  const AnsiString& info = Source.Info;
  AnsiString codec;
  if (tx == ".avi") {
    if (Has(info, "264")) codec += " -c:v libx264";
    else if (Has(info, "xvid")) codec += " -c:v libxvid";
    else codec += " -c:v mpeg4" + RoundedRate(Source);
  }
  if (tx == ".flv" || tx == ".swf") {
    // The Flash containers take MP3 at these three rates only.
    const Integer rate = Source.HasAudio ? Source.SampleRate : -1;
    if (rate != 11025 && rate != 22050 && rate != 44100) codec += " -ar 44100";
  }
  if (tx == ".flv") {
    // FLV has no place for MPEG-4 part 2 pictures (its muxer refuses them), so such sources
    // get the container's own codec as every other non-H.264 source does.
    codec += Has(info, "264") ? " -c:v libx264" : " -c:v flv1";
  }
  if (tx == ".mp4") {
    codec += Mpeg4OrH264(Source);
    if (Has(info, "mp3")) codec += " -c:a libmp3lame";
  }
  if (tx == ".m4v") codec += Mpeg4OrH264(Source);
  if (tx == ".mkv") codec += " -c:v libx264";
  if (tx == ".3gp") {
    // The container's usual AMR speech encoder is not part of the installed libraries; AAC is
    // the other audio codec every 3GP player reads.
    codec += Mpeg4OrH264(Source) + " -c:a aac -ar 8000 -ac 1";
  }
  if (tx == ".rm") codec += " -c:v rv20";
  if (tx == ".wmv") {
    codec += Has(info, "wmv") ? AnsiString(" -c:v wmv2") : " -c:v mpeg4" + RoundedRate(Source);
    codec += " -c:a wmav2";
  }
  if (tx == ".webm") codec += " -f webm -c:v libvpx -c:a libvorbis";
  if (tx == ".mts") codec += " -c:v libx264";
  if ((tx == ".mpg" || tx == ".mpeg") && Source.FrameRateDen > 0 &&
      double(Source.FrameRateNum) / double(Source.FrameRateDen) < 20)
    codec += " -r 20";
  static const char* const stereoOnly[] = {".avi", ".mpg", ".mpeg", ".wmv", ".m4v",
                                           ".flv", ".swf", ".mkv",  ".vob", ".asf"};
  if (Source.HasAudio && Source.Channels > 2 &&
      std::find(std::begin(stereoOnly), std::end(stereoOnly), tx) != std::end(stereoOnly))
    codec += " -ac 2";
  return codec;
}

AnsiString ClipFrameSize(const AnsiString& Width, const AnsiString& Height, const AnsiString& Target,
                         const AnsiString& Info) {
  const AnsiString e = TargetExt(Target);
  const Integer w = StrToInt(Trim(Width));
  const Integer h = StrToInt(Trim(Height));
  if (e == ".rm") return NextMultipleOf4(w) + ":" + NextMultipleOf4(h);
  if (e == ".wmv" && Has(Info, "wmv")) return MadeEven(w) + ":" + IntToStr(h);
  if (!e.empty() && AnsiString(".avi.mpg.mpeg.flv.webm.vob.asf").find(e) != AnsiString::npos) {
    if (Has(Info, "264")) return MadeEven(w) + ":" + MadeEven(h);
    return IntToStr(w) + ":" + IntToStr(h);
  }
  return MadeEven(w) + ":" + MadeEven(h);
}

AnsiString ClipOutputOptions(const TClipRunChoices& Choices, const TClipSource& Source) {
  const AnsiString& target = Choices.Target;
  const bool targetInList = ExtensionInList(target, ClipExtensionList);
  AnsiString options = " -y";
  AnsiString videoChain, audioChain;

  const double motion = MotionSpeed(Choices.ChangeMotion, Choices.Motion);
  const double tempo = TempoSpeed(Choices.ChangeTempo, Choices.Tempo);
  const bool speedChanged = motion != 1.0 || tempo != 1.0;
  AnsiString audioLimit;
  if (speedChanged && Choices.Stretch.Known) {
    // The file lasts the stretch played at the motion speed. Each half is also cut to the
    // stretch itself, so that no sound from beyond it fills a slower picture: the picture before
    // its speed changes, the sound after, measured in played time, because the tempo filter
    // holds back its last samples until more input arrives and a cut before it would lose them.
    const double seconds = double(Choices.Stretch.Length) / 1000000.0;
    videoChain += ",trim=duration=" + FloatToOptionText(seconds);
    audioLimit = ",atrim=duration=" + FloatToOptionText(seconds / tempo);
    options += StretchLengthOption(Choices.Stretch, motion);
  } else {
    options += StretchLengthOption(Choices.Stretch, 1.0);
  }

  audioChain += VolumeFilterText(Choices.ChangeVolume, Choices.Volume) +
                TempoFilterText(Choices.ChangeTempo, Choices.Tempo) + audioLimit;

  AnsiString sizeChain, aspect;
  if (targetInList) {
    if (Choices.FrameSize == cfsOriginal) {
      const AnsiString w0 = IntToStr(Source.Width), h0 = IntToStr(Source.Height);
      const AnsiString size = ClipFrameSize(w0, h0, target, Source.Info);
      if (size != w0 + ":" + h0) {
        AnsiString w, h;
        SplitSize(size, w, h);
        sizeChain = ",scale=" + w + ":" + h;
        aspect = " -aspect " + w + ":" + h;
      }
    } else if (Choices.FrameSize == cfsCustom) {
      AnsiString w, h;
      SplitSize(ClipFrameSize(IntToStr(Choices.CustomWidth), IntToStr(Choices.CustomHeight), target, Source.Info), w, h);
      sizeChain = CustomSizeFilterText(w, h, Choices.Pad, Source.Width, Source.Height);
      aspect = " -aspect " + w + ":" + h;
    } else {
      // The rectangle was chosen on the untransformed picture, so it is cut before any flip or
      // turn moves that area elsewhere.
      videoChain += ClipCropPart(Choices, Source);
    }
  }
  videoChain += TransformFilterText(Choices.HFlip, Choices.VFlip, Choices.RotateCW, Choices.RotateCCW);
  videoChain += MotionFilterText(Choices.ChangeMotion, Choices.Motion);
  videoChain += sizeChain;

  options += ClipCodecOptions(target, Source);

  const AnsiString sourceExt = LowerCase(ExtractFileExt(Source.FileName));
  if (sourceExt != LowerCase(ExtractFileExt(target))) {
    if (targetInList) options += " -q:v 0";
  } else if (targetInList) {
    if (Source.VideoBitRate <= 0 || Source.VideoBitRate > Source.FileBitRate) options += " -q:v 0";
    else options += " -b:v " + IntToStr(Source.VideoBitRate);
  }
  options += " -q:a 0";

  options += aspect;
  AppendFilterChain(options, " -vf ", videoChain);
  AppendFilterChain(options, " -af ", audioChain);
  return options;
}
