// For platform/gui code only: file names between Qt and the file system.
//
// A Linux file name is bytes and need not be UTF-8. Qt 6 turns such bytes into U+FFFD whenever it
// makes a QString of a name (dialogs, drops, its own file calls), and back into "\xEF\xBF\xBD",
// which names another file or none. These helpers keep the bytes: local URLs are built from and
// read back to their percent-encoded bytes, files are opened by us and handed to Qt as open
// handles, and a name Qt has already decoded is matched against the folder it came from.
#pragma once

#include <QFile>
#include <QString>
#include <QUrl>

#include "platform/rtl/types.h"

namespace clvqt {

// "file://" and the name's bytes, percent-encoded; a relative name stays relative.
QUrl LocalFileUrl(const AnsiString& Name);
// The bytes of a local file URL ("//host/path" when it names a host); "" for any other URL.
AnsiString LocalFileOfUrl(const QUrl& Url);

// The name a Qt dialog answered, as the file system spells it: each part Qt could not decode is
// replaced by the one folder entry that decodes to it. A part that matches no entry (a new file)
// or several (Qt cannot tell them apart) stays as Qt gave it, except that a last part Qt shows as
// the name the dialog proposed (Proposed, a bare name or a path) takes the proposed bytes.
AnsiString FileNameFromQt(const QString& Name, const AnsiString& Proposed = AnsiString());
// The deepest folder of Folder that Qt can name without loss: the parts up to the first one that
// is no UTF-8. Empty when even the first part is not.
QString FolderForQt(const AnsiString& Folder);

// Opens Name as the file system spells it and hands the open file to File. Mode is ReadOnly, or
// WriteOnly (created or truncated). False, with errno set, when the file cannot be opened.
bool OpenQtFile(QFile& File, const AnsiString& Name, QIODevice::OpenMode Mode);

}  // namespace clvqt
