// Pieces of the FFmpeg option strings that more than one run builds: the transform, frame-size,
// volume, tempo and speed filters, and how a filter chain joins the options.
#pragma once

#include <vector>

#include "platform/rtl/types.h"

// ",hflip", ",vflip", ",transpose=1", ",transpose=2" for the chosen transforms, in that order.
AnsiString TransformFilterText(bool HFlip, bool VFlip, bool RotateCW, bool RotateCCW);

// The scaling (and, with Pad, black-bar) part for a custom frame size. Width and Height enter as
// the decimal texts of the size fields; with Pad each is made even, as the encoders need, and
// the picture is fitted by the side that needs the smaller scale. On return they hold the size
// the output's " -aspect " receives.
AnsiString CustomSizeFilterText(AnsiString& Width, AnsiString& Height, bool Pad, Integer SourceWidth,
                                Integer SourceHeight);

// ",volume=<V/100>" when the volume is changed from 100 %, else "".
AnsiString VolumeFilterText(bool Change, Integer Percent);

// The factors whose product is Percent / 100, each within the 0.5 .. 2 that one tempo filter
// handles well; empty for 100 %.
std::vector<double> TempoFactors(Integer Percent);
// ",atempo=<f1>,atempo=<f2>..." so that the audio plays at exactly Percent / 100 of its speed;
// "" when unchanged.
AnsiString TempoFilterText(bool Change, Integer Percent);
// The playing speed the tempo choice gives (1 when unchanged).
double TempoSpeed(bool Change, Integer Percent);

// ",setpts=<100/M>*PTS" when the motion speed is changed from 100 %, else "".
AnsiString MotionFilterText(bool Change, Integer Percent);
double MotionSpeed(bool Change, Integer Percent);

// Appends Flag + Chain (" -vf " or " -af ") when the trimmed chain is not empty, without the
// chain's leading ",".
void AppendFilterChain(AnsiString& Options, const AnsiString& Flag, const AnsiString& Chain);
