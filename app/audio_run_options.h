// The texts the audio run builds: the save dialog's file types, and the option strings of its one
// encoder task. The clip run shares the stretch arithmetic and the extension-list helpers.
#pragma once

#include "platform/rtl/types.h"

// The audio types the save dialog offers, in the dialog's order, each as "*.EXT" and a ";".
extern const char* const AudioExtensionList;

// True when the name's upper-cased extension (dot included) is one of the list's "*.EXT;" items.
// A name without an extension is in no list.
bool ExtensionInList(const AnsiString& FileName, const AnsiString& List);

// Appends each item of List as a save dialog type ("*.EXT|*.ext|"), in the list's order, but for
// the one that equals SkipExt (compared without regard to case), which the dialog shows first.
void AppendSaveTypes(AnsiString& Filter, const AnsiString& List, const AnsiString& SkipExt);

// True when the two names reach the same file, however they are spelt (relative paths, links,
// "." and ".." steps): writing one would destroy the other.
bool NamesSameFile(const AnsiString& A, const AnsiString& B);

// The marked stretch of the loaded video, in microseconds.
struct TStretch {
  Int64 Start = 0;
  Int64 Length = 0;
  // False when the video's length is unknown: the run then takes the whole file.
  bool Known = true;
};

// The stretch from the two sliders: Begin of BeginMax and End of EndMax, over a video of
// Duration microseconds. A slider without a range (no frames) counts as position 0.
TStretch StretchOfRange(Integer Begin, Integer BeginMax, Integer End, Integer EndMax, Int64 Duration);

// "*.WAV|*.wav|*.MP3|*.mp3|...|": the fifteen audio types, WAV first.
AnsiString AudioSaveFilter();
inline const char* const AudioDefaultExt = "wav";

// What the audio page and the chosen target ask of the run.
struct TAudioRunChoices {
  TStretch Stretch;
  bool ChangeVolume = false;
  Integer Volume = 100;
  bool ChangeTempo = false;
  Integer Tempo = 100;
  AnsiString Target;
};

// " -ss <start>" of the input.
AnsiString StretchInputOptions(const TStretch& Stretch);
// " -t <length>" so that the output holds the whole stretch played at Speed; "" for an unknown
// length.
AnsiString StretchLengthOption(const TStretch& Stretch, double Speed);

// " -y", the length, " -vn" for an audio target, " -q:a 0", then " -af " with the volume and
// tempo filters when either is changed.
AnsiString AudioOutputOptions(const TAudioRunChoices& Choices);
