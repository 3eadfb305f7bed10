// Where an output's bytes end up, watched while a task writes. A folder removed under a running
// task leaves the open file handle writable: the bytes go on into a file no name leads to, and
// nothing fails until the input ends. So what is watched is the name: whether it still leads to
// the very file (or, for muxers that make one file per picture, the very folder) it led to when
// the output was opened.
#pragma once

#include <sys/types.h>

#include "platform/rtl/types.h"

class TOutputWatch {
 public:
  TOutputWatch() = default;
  TOutputWatch(const TOutputWatch&) = delete;
  TOutputWatch& operator=(const TOutputWatch&) = delete;
  ~TOutputWatch();

  // Starts watching Path, a regular file or a folder; anything else (a device, a pipe, a name
  // that leads nowhere) is not watched and the result is False.
  bool Watch(const AnsiString& Path);
  bool Watching() const { return FHandle >= 0; }
  // True once the name no longer leads to what it led to, or that was unlinked.
  bool Gone() const;

 private:
  // Held open so the file's number cannot pass to a newcomer under the same name, and so its
  // link count can be read after the name is gone.
  int FHandle = -1;
  AnsiString FPath;
  dev_t FDevice = 0;
  ino_t FInode = 0;
};

// The folder an output file is made in: "." for a bare name, "/" for one at the root.
AnsiString FolderOfPath(const AnsiString& Path);
// True when Folder is not there to make files in: nothing by that name, or no folder.
bool FolderMissing(const AnsiString& Folder);
