// The clip run of the video page: one task of the clip encoder cuts the marked stretch into the
// chosen file, with the codec options and frame size the target's format accepts and the page's
// size, crop, transforms, motion speed, volume and tempo.
#pragma once

#include "app/clip_run_options.h"
#include "app/run.h"

class TFFEncoder;

class TClipRun : public TRun {
 public:
  explicit TClipRun(Tmain* Main);

  // Extract with the video page active: the crop check, the target file, then the set-up timer.
  void Start();
  // The set-up timer: reads the page, starts the task and shows the run dialog.
  void SetUp();

  TClipRunChoices Choices;

 private:
  TClipRunChoices ReadChoices() const;
};

// The loaded source's facts that the codec and size rules read, from the decoder of SourceEncoder.
TClipSource ClipSourceOf(TFFEncoder* SourceEncoder, const AnsiString& FileName);
