// The step after a frame run that tiles frames taken by time, by rate or by Express Total: the
// frames FFmpeg wrote into the run's working folder are laid out as sheets of columns x lines on
// the main window's hidden layer view, and each sheet is saved under the run's names. The step
// ends by emptying its working folder, which also closes the run dialog.
#pragma once

#include "app/run.h"

class TCompositeRun : public TRun {
 public:
  explicit TCompositeRun(Tmain* Main);

  struct TSource {
    AnsiString FrameFolder;   // the run's own working folder
    AnsiString FrameStem;     // base name + "-": frame q is FrameStem + q + "." + Ext
    AnsiString SheetPrefix;   // output folder + base name + "-"
    AnsiString Ext;           // "jpg"
    Integer Columns = 3, Lines = 2;
    Integer Expected = 0;     // the frames FFmpeg was expected to write
  };

  // The frames and names of the frame run that hands over.
  void Take(const TSource& Source);
  // Takes over from the frame run whose tasks have all ended: the composite timer then works.
  void Start();
  // The composite timer.
  void Step();
  // Cancel in the run dialog: the step stops at its next frame.
  void Cancel() override;
  // Empties the working folder of frames under the dialog's "Gather Images Information" and
  // closes the dialog; files that could not be deleted are told. True when all went.
  bool Purge();

  Integer SheetsWritten() const { return FSheetsWritten; }
  const TSource& Source() const { return FSource; }

 private:
  // Lays out every frame; raises with the reason when a frame cannot be read or a sheet written.
  void LayOut();

  TSource FSource;
  Integer FSheetsWritten = 0;
};
