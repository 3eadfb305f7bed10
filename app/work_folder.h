// The working folder where a run that lays its frames out itself keeps them until the sheets
// are written, and the emptying of it afterwards.
#pragma once

#include <functional>
#include <vector>

#include "platform/rtl/types.h"

// The "tmp" folder under ProgramFolder, made with its missing parents; when that cannot be made
// (a read-only installation), "tmp" under CacheFolder. With a trailing "/"; "" when neither can
// be made.
AnsiString MakeTileWorkFolder(const AnsiString& ProgramFolder, const AnsiString& CacheFolder);
// The same for the program's own folder and the user's cache folder.
AnsiString MakeTileWorkFolder();

// A fresh folder of one run inside WorkFolder, so that frames an earlier run left behind can
// never join this run's sheets. With a trailing "/"; "" when it cannot be made.
AnsiString MakeRunFrameFolder(const AnsiString& WorkFolder);

// The names of the frames a run writes: Stem, a number from 1, ".", Ext.
bool IsRunFrameName(const AnsiString& Name, const AnsiString& Stem, const AnsiString& Ext);

// Deletes the run's frame files in its own folder and then the folder, when nothing else is left
// in it. Links and sub-folders are never followed or deleted, and no file of another name is
// touched. Step runs after each entry (the dialog's bar). Returns the entries that could not be
// deleted, folder included; empty when all went.
std::vector<AnsiString> PurgeRunFrameFolder(const AnsiString& Folder, const AnsiString& Stem, const AnsiString& Ext,
                                            const std::function<void()>& Step = {});
