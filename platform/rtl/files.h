// Files, folders and path names. The separator is "/"; ":" is an ordinary character.
// Names are UTF-8 (AnsiString); convert wide names with WideToAnsi first.
#pragma once

#include <memory>

#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

inline constexpr char PathDelim = '/';

// ---------------------------------------------------------------------------------------------
// Path names (pure text, no file-system access except ExpandFileName's current folder)

// Up to and including the last "/" ("/a/b.txt" -> "/a/").
AnsiString ExtractFilePath(const AnsiString& name);
// Up to the last "/", without it, except for the root ("/a/b.txt" -> "/a", "/b" -> "/").
AnsiString ExtractFileDir(const AnsiString& name);
// After the last "/".
AnsiString ExtractFileName(const AnsiString& name);
// From the last "." of the file-name part on, dot included; "" when the name has no dot.
AnsiString ExtractFileExt(const AnsiString& name);
// Replaces (or appends) the extension; ext carries its dot, "" removes the extension.
AnsiString ChangeFileExt(const AnsiString& name, const AnsiString& ext);
AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);
// Removes one trailing "/", but the root "/" stays as it is.
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);
inline AnsiString IncludeTrailingBackslash(const AnsiString& p) { return IncludeTrailingPathDelimiter(p); }
inline AnsiString ExcludeTrailingBackslash(const AnsiString& p) { return ExcludeTrailingPathDelimiter(p); }
// Absolute name: relative to the current folder, "." and ".." and repeated "/" resolved as
// text (links are not followed). A trailing "/" is kept. "" gives "".
AnsiString ExpandFileName(const AnsiString& name);

// ---------------------------------------------------------------------------------------------
// Files and folders. The Boolean routines return false on failure; errno tells why.

bool FileExists(const AnsiString& name);       // a file that is not a folder
bool DirectoryExists(const AnsiString& name);
bool CreateDir(const AnsiString& dir);
// Creates dir and every missing folder above it; true when dir exists at the end.
bool ForceDirectories(const AnsiString& dir);
bool RemoveDir(const AnsiString& dir);         // an empty folder only
bool DeleteFile(const AnsiString& name);       // never a folder
// As the framework's: fails when newName already exists (nothing is overwritten).
bool RenameFile(const AnsiString& oldName, const AnsiString& newName);
// Size in bytes, -1 when the file cannot be examined.
Int64 FileSize(const AnsiString& name);
// Modification time as a local TDateTime; false when the file cannot be examined.
bool FileAge(const AnsiString& name, TDateTime& age);
bool FileSetDate(const AnsiString& name, TDateTime age);

AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);

// ---------------------------------------------------------------------------------------------
// Folder listing

inline constexpr Integer faReadOnly = 0x01;
inline constexpr Integer faHidden = 0x02;   // names beginning with "."
inline constexpr Integer faSysFile = 0x04;  // sockets, pipes and devices
inline constexpr Integer faVolumeID = 0x08;
inline constexpr Integer faDirectory = 0x10;
inline constexpr Integer faArchive = 0x20;  // every ordinary file
inline constexpr Integer faAnyFile = 0x3F;

struct TSearchState;

struct TSearchRec {
  Integer Time = 0;  // modification time, packed as a DOS local date and time (FileDateToDateTime)
  Int64 Size = 0;
  Integer Attr = 0;
  AnsiString Name;   // the name within the folder
  Integer ExcludeAttr = 0;
  std::shared_ptr<TSearchState> FindHandle;
};

// Lists the folder part of `path` and returns entries whose name matches its last part, a mask of
// "*" and "?" compared without regard to case ("*.*" and "*" match every name). Ordinary files
// always qualify; hidden entries, system entries and folders only when their attribute is in attr.
// "." and ".." are never returned (so a walk over a tree cannot climb out of it); entries come
// sorted by name without regard to case. 0 means an entry was found; otherwise an errno value
// (ENOENT when nothing (more) matches). FindClose ends the search; so does the record's end.
int FindFirst(const AnsiString& path, Integer attr, TSearchRec& rec);
int FindNext(TSearchRec& rec);
void FindClose(TSearchRec& rec);
// Whether name matches mask the way FindFirst matches it.
bool MatchesMask(const AnsiString& name, const AnsiString& mask);

TDateTime FileDateToDateTime(Integer fileDate);
Integer DateTimeToFileDate(TDateTime value);

// ---------------------------------------------------------------------------------------------
// Program, temporary and working folders

// The executable's folder with a trailing "/".
AnsiString ProgramFolder();
// ParamStr(0) is the executable's full name, ParamStr(i) the i-th command-line argument ("" when
// there is none). ParamCount is the number of arguments after the program name.
AnsiString ParamStr(int index);
int ParamCount();
// $TMPDIR when set and a folder, else "/tmp"; with a trailing "/".
AnsiString GetTempFolder();
// Creates a new empty file folder/prefixXXXXXX.tmp with a unique name and returns its name
// ("" on failure). The file is left for the caller to use and delete.
AnsiString CreateTempFile(const AnsiString& folder, const AnsiString& prefix);
// Bytes available to this user on the file system holding folder; -1 when it cannot be asked.
Int64 DiskFree(const AnsiString& folder);
Int64 DiskSize(const AnsiString& folder);
// The folder for working files ("tmp", "test.bmp"): the program's folder when it is writable,
// else $XDG_CACHE_HOME/clavorne-pro (default ~/.cache/clavorne-pro), created on demand.
// With a trailing "/".
AnsiString AppWorkFolder();
// The same rule for a given program folder.
AnsiString WorkFolderFor(const AnsiString& programFolder);
