// The frame run of the images page: the page's choices, read once when Extract is clicked, become
// one encoder task (or one per express frame) whose images land in the chosen folder.
#pragma once

#include "app/frame_run_options.h"
#include "app/run.h"

class TFrameRun : public TRun {
 public:
  explicit TFrameRun(Tmain* Main);

  // Extract with the images page active, after the checks common to every page.
  void Start();
  // The set-up timer: builds and starts the tasks inside the run dialog.
  void SetUp();
  void Progress(PProgressInfo AProgressInfo) override;
  void EndTimer() override;

 protected:
  void ListEnded() override;
  void ListFailed() override;

 public:

  TFrameRunChoices Choices;
  // The folder and the name the run's images share, and for a run that lays its frames out
  // itself, where the frames are and where the sheets go.
  AnsiString RunFolder;
  AnsiString BaseName;
  AnsiString TileSourcePrefix;
  AnsiString TileOutputPrefix;

 private:
  TFrameRunChoices ReadChoices() const;
  void StartTasks();
  void LeaveSetUp();
  bool WroteNothing() const;
  bool Composite() const { return IsCompositeFrameRun(Choices); }
  // Hands the frames of a composite run over to the composite step, or empties their folder.
  void HandOverFrames(bool Discard);

  // The first image each task writes, and when the run started: a run that wrote none of them
  // extracted nothing.
  std::vector<AnsiString> FFirstFiles;
  Int64 FStartedMs = 0;
  // Where a composite run keeps its frames: the working folder and this run's own folder in it.
  AnsiString FWorkFolder;
  AnsiString FFrameFolder;
};
