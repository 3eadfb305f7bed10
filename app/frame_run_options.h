// The option strings, filter chain and file names of a frame run, built from a plain record of
// the images page's choices and the loaded video's facts, so that they can be read without the
// window.
//
// Counts typed into the page's fields are read strictly: a text that is not an integer raises
// EConvertError, which the run turns into its set-up failure.
#pragma once

#include "app/crop_area.h"
#include "platform/rtl/types.h"

enum TFrameSelection { fsAllFrames, fsTotal, fsScene, fsFps, fsEveryFrames, fsEverySeconds, fsExpress };
enum TFrameSizeChoice { fzOriginal, fzCustom, fzCrop };

struct TFrameRunChoices {
  // What to take from the cut range, with the texts of the fields as typed.
  TFrameSelection Selection = fsAllFrames;
  AnsiString ImageAmountText = "10";    // total A images
  Integer ScenePercent = 10;            // scene change P %
  AnsiString FrameRateText;             // the rate list's selected text
  AnsiString EveryFramesText = "50";
  AnsiString EverySecondsText = "1";
  AnsiString ExpressText = "10";

  bool Tile = false;
  Integer Columns = 3;
  Integer Lines = 2;

  TFrameSizeChoice Size = fzOriginal;
  Integer CustomWidth = 2;
  Integer CustomHeight = 2;
  bool Pad = true;
  // Bitmap coordinates with X2 and Y2 inclusive, as the crop view reports them.
  TCropArea Crop;  // the selection on the crop dialog, inclusive corners

  bool HFlip = false;
  bool VFlip = false;
  bool RotateCW = false;   // transpose=1
  bool RotateCCW = false;  // transpose=2

  AnsiString ImageFormat = "*.JPG";  // one of the format list's patterns

  bool NameAsString = false;
  bool MaxLengthChecked = false;
  Integer MaxLength = 5;
  AnsiString NameString;

  // The loaded video and the cut range.
  AnsiString VideoFileName;
  AnsiString ForcedFormatName;
  Integer SourceWidth = 0;
  Integer SourceHeight = 0;
  Integer Begin = 0;
  Integer End = 0;
  Integer BeginMax = 0;  // the begin slider's maximum
  Integer EndMax = 0;    // the end slider's maximum
  Int64 Duration = 0;    // microseconds
  Integer FrameCount = 0;
};

// Tiling together with a selection that FFmpeg's tile filter cannot lay out by itself: the
// frames would have to be gathered and composed by the program.
bool IsCompositeFrameRun(const TFrameRunChoices& C);

// The number of tasks the run builds: the express count, else 1.
Integer FrameTaskCount(const TFrameRunChoices& C);

// The frames a run that lays its frames out itself expects FFmpeg to write: for every N seconds
// and for a frame rate the stretch's length at that pace plus one, for express the count. The
// encoder may write fewer or more.
Integer ExpectedTileFrames(const TFrameRunChoices& C);

// The frames in the cut range, which "total A images" spreads its A images over.
Integer TotalImagesRangeFrames(const TFrameRunChoices& C);

// Why the selection would extract nothing (a count of 0, or more images asked for than the cut
// range holds); empty when it is usable. Texts that are not integers are left to the set-up.
AnsiString FrameSelectionProblem(const TFrameRunChoices& C);

// The input options of task Task (1-based): the forced format and the start time, which for
// express is the centre of the task's share of the cut range.
AnsiString FrameInputOptions(const TFrameRunChoices& C, Integer Task);

// The video filter chain with its leading comma: selection, crop, tiling, transforms, scaling.
AnsiString FrameFilterChain(const TFrameRunChoices& C);

// The output options, the same for every task of the run, ending with the filter chain.
AnsiString FrameOutputOptions(const TFrameRunChoices& C);

// "jpg" for "*.JPG": the pattern from its third character on, lower-cased.
AnsiString FrameImageExtension(const AnsiString& Pattern);

// The name the images share: the video file's name (cut to the maximum length when asked), or
// the typed string.
AnsiString FrameBaseName(const TFrameRunChoices& C);

// Why the typed name string cannot name files inside the chosen folder; empty when it can.
AnsiString FrameNameProblem(const TFrameRunChoices& C);

// The output file of task Task (1-based) in Folder: a "%d" pattern, or the task's own number for
// express. A "%" already in the path is doubled so that FFmpeg's image numbering keeps it.
AnsiString FrameOutputFileName(const TFrameRunChoices& C, const AnsiString& Folder, Integer Task);

// The first Count characters of a UTF-8 text, never splitting a character.
AnsiString FirstCharacters(const AnsiString& Text, Integer Count);
