#include "app/audio_run_options.h"

#include <filesystem>
#include <system_error>

#include "app/run_filters.h"
#include "app/time_text.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

const char* const AudioExtensionList =
    "*.WAV;*.MP3;*.WMA;*.AAC;*.AC3;*.FLAC;*.M4A;*.MKA;*.MP2;*.OGG;*.RA;*.AIF;*.AIFF;*.AIFC;*.AU;";

bool ExtensionInList(const AnsiString& FileName, const AnsiString& List) {
  const AnsiString ext = UpperCase(Trim(ExtractFileExt(FileName)));
  // Whole items only: ".M" must not match inside "*.MP3;".
  if (ext.size() < 2) return false;
  return List.find("*" + ext + ";") != AnsiString::npos;
}

void AppendSaveTypes(AnsiString& Filter, const AnsiString& List, const AnsiString& SkipExt) {
  const AnsiString skip = UpperCase(Trim(SkipExt));
  size_t from = 0;
  while (from < List.size()) {
    size_t end = List.find(';', from);
    if (end == AnsiString::npos) end = List.size();
    // Each item is "*.EXT": the extension starts at its third character.
    if (end > from + 2) {
      const AnsiString ext = List.substr(from + 2, end - from - 2);
      if (UpperCase(Trim(ext)) != skip) Filter += "*." + UpperCase(ext) + "|*." + LowerCase(ext) + "|";
    }
    from = end + 1;
  }
}

bool NamesSameFile(const AnsiString& A, const AnsiString& B) {
  if (A == B) return true;
  std::error_code error;
  // Device and inode; a name that reaches no file cannot be the other.
  const bool same = std::filesystem::equivalent(std::filesystem::path(A), std::filesystem::path(B), error);
  return !error && same;
}

TStretch StretchOfRange(Integer Begin, Integer BeginMax, Integer End, Integer EndMax, Int64 Duration) {
  TStretch stretch;
  const double d = double(Duration);
  const double beginPart = BeginMax > 0 ? double(Begin) / BeginMax : 0.0;
  const double endPart = EndMax > 0 ? double(End) / EndMax : 0.0;
  stretch.Start = SafeRound<Int64>(beginPart * d);
  stretch.Length = SafeRound<Int64>((endPart - beginPart) * d);
  if (stretch.Length < 0) stretch.Length = 0;
  stretch.Known = Duration > 0;
  return stretch;
}

AnsiString AudioSaveFilter() {
  AnsiString filter = "*.WAV|*.wav|";
  AppendSaveTypes(filter, AudioExtensionList, AudioDefaultExt);
  return filter;
}

AnsiString StretchInputOptions(const TStretch& Stretch) { return " -ss " + format_time(Stretch.Start); }

AnsiString StretchLengthOption(const TStretch& Stretch, double Speed) {
  if (!Stretch.Known) return "";
  if (!(Speed > 0)) Speed = 1.0;
  return " -t " + format_time(SafeRound<Int64>(double(Stretch.Length) / Speed));
}

AnsiString AudioOutputOptions(const TAudioRunChoices& Choices) {
  AnsiString options = " -y";
  const AnsiString chain =
      VolumeFilterText(Choices.ChangeVolume, Choices.Volume) + TempoFilterText(Choices.ChangeTempo, Choices.Tempo);
  // The tempo filters change how long the stretch plays; the limit follows, so that the output
  // holds exactly the marked stretch.
  options += StretchLengthOption(Choices.Stretch, TempoSpeed(Choices.ChangeTempo, Choices.Tempo));
  if (ExtensionInList(Choices.Target, AudioExtensionList)) options += " -vn";
  options += " -q:a 0";
  AppendFilterChain(options, " -af ", chain);
  return options;
}
