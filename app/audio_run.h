// The audio run of the audio page: one task of the audio encoder writes the marked stretch's
// sound into the chosen file, with the page's volume and tempo.
#pragma once

#include "app/audio_run_options.h"
#include "app/run.h"

class TAudioRun : public TRun {
 public:
  explicit TAudioRun(Tmain* Main);

  // Extract with the audio page active: the target file, then the set-up timer.
  void Start();
  // The set-up timer: reads the page, starts the task and shows the run dialog.
  void SetUp();

  TAudioRunChoices Choices;

 private:
  TAudioRunChoices ReadChoices() const;
};
