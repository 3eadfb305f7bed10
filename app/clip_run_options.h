// The texts the clip run builds: the save dialog's file types, the codec options and frame size a
// target gets from the loaded source, and the option strings of the one encoder task.
#pragma once

#include "app/audio_run_options.h"
#include "app/crop_area.h"
#include "platform/rtl/types.h"

// The clip types the save dialog offers after the first one, each as "*.EXT" and a ";".
extern const char* const ClipExtensionList;

// The facts of the loaded source that the codec and size rules read.
struct TClipSource {
  AnsiString FileName;
  AnsiString Info;  // the decoder's media information text, lower-cased
  Integer Width = 0;
  Integer Height = 0;
  Integer VideoBitRate = -1;
  Int64 FrameRateNum = 0;
  Int64 FrameRateDen = 1;
  bool HasAudio = false;
  Integer SampleRate = -1;
  Integer Channels = -1;
  Integer FileBitRate = -1;
};

// The save dialog's filter and default extension for a clip of SourceName; AtStart tells that the
// marked stretch begins at the video's beginning.
struct TClipSaveTypes {
  AnsiString Filter;
  AnsiString DefaultExt;
};
TClipSaveTypes ClipSaveTypes(const AnsiString& SourceName, bool AtStart);

// The codec options for a target name, from the source's codecs and streams.
AnsiString ClipCodecOptions(const AnsiString& Target, const TClipSource& Source);
// "W:H": the frame size the target's format accepts for a wanted Width x Height (decimal texts).
AnsiString ClipFrameSize(const AnsiString& Width, const AnsiString& Height, const AnsiString& Target,
                         const AnsiString& Info);

enum TClipFrameSize { cfsOriginal, cfsCustom, cfsCrop };

// What the video page and the chosen target ask of the run.
struct TClipRunChoices {
  TStretch Stretch;
  AnsiString Target;
  TClipFrameSize FrameSize = cfsOriginal;
  Integer CustomWidth = 0;   // the size fields' values
  Integer CustomHeight = 0;
  bool Pad = true;
  // Picture pixels with X2 and Y2 inclusive, as the crop view reports them.
  TCropArea Crop;  // the selection on the crop dialog, inclusive corners
  bool ChangeVolume = false;
  Integer Volume = 100;
  bool ChangeTempo = false;
  Integer Tempo = 100;
  bool ChangeMotion = false;
  Integer Motion = 100;
  bool HFlip = false, VFlip = false, RotateCW = false, RotateCCW = false;
};

// ",crop=w:h:x:y" for the chosen rectangle: its size rounded as the target's format needs it,
// kept inside the source picture (moved back from the right or bottom edge, or rounded smaller
// when the picture is too narrow for the rounded size).
AnsiString ClipCropPart(const TClipRunChoices& Choices, const TClipSource& Source);

// " -y", the length, the codec options, the quality, " -aspect ", " -vf " and " -af ".
AnsiString ClipOutputOptions(const TClipRunChoices& Choices, const TClipSource& Source);
