// A new version of a file, written beside the old one and put in its place only once complete.
// A save that stops half-way (the disk fills up, the writer gives up or raises, the user cancels)
// must leave the file the user had exactly as it was, so nothing touches the target before
// Commit: the bytes go to a temporary file in the target's folder (the same file system, so the
// final rename is atomic), which is removed again when the stream is destroyed uncommitted.
#pragma once

#include "platform/rtl/streams.h"

class TReplacingFileStream : public THandleStream {
 public:
  // Makes the temporary file. A target that exists keeps its permissions (and, where allowed,
  // its owner); a new file gets the usual mode under the process's umask. A target that is not
  // a regular file (a FIFO, a device) cannot be replaced and is written directly, as before.
  // Raises EFCreateError "Cannot create file \"%s\". %s" (the expanded target name and the
  // system's text) when the file cannot be made.
  explicit TReplacingFileStream(const AnsiString& FileName);
  // Uncommitted: the temporary file is removed and the target stays untouched.
  ~TReplacingFileStream() override;

  // Remembers the system's reason of a write the file system refused (a full disk, a file
  // size limit), so that Commit cannot succeed after it even when the writer looked away.
  Integer Write(const void* Buffer, Integer Count) override;

  // Puts the bytes written in place of the target: flushed to the disk first, then renamed over
  // it. Raises EFCreateError "Cannot create file \"%s\". %s" naming the target and the cause
  // (a refused write, a failed flush or rename); the temporary file is gone then and the target
  // untouched.
  void Commit();
  // Drops what was written; the target stays as it was. Safe to call more than once.
  void Discard();

  const AnsiString& FileName() const { return FFileName; }
  // The system's text for the first write that was refused; empty when none was.
  AnsiString WriteError() const;

 private:
  [[noreturn]] void FailCommit(int Error);

  AnsiString FFileName;    // as the caller named it
  AnsiString FTarget;      // the file that is replaced (symbolic links followed)
  AnsiString FTempName;    // empty when the target is written directly
  int FWriteErrno = 0;
  bool FDone = false;
};
