#include "platform/gui/qt_file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStringList>

#include "platform/rtl/strings.h"

namespace clvqt {

namespace {

const QChar kReplacement(0xFFFD);

bool Exists(const AnsiString& Name) {
  struct stat st {};
  return lstat(Name.c_str(), &st) == 0;
}

AnsiString Bytes(const QString& Text) { return WideToAnsi(Text.toStdU16String()); }

// The entry of Folder (a path ending in "/", or "" for the working folder) that Qt shows as Part;
// "" when none or more than one does.
AnsiString EntryShownAs(const AnsiString& Folder, const QString& Part) {
  DIR* Dir = opendir(Folder.empty() ? "." : Folder.c_str());
  if (!Dir) return AnsiString();
  AnsiString Found;
  int Matches = 0;
  while (const dirent* Entry = readdir(Dir)) {
    const QByteArray Name(Entry->d_name);
    if (QFile::decodeName(Name) == Part) {
      Found = Name.toStdString();
      ++Matches;
    }
  }
  closedir(Dir);
  return Matches == 1 ? Found : AnsiString();
}

}  // namespace

QUrl LocalFileUrl(const AnsiString& Name) {
  const QByteArray Path = QByteArray(Name.data(), qsizetype(Name.size())).toPercentEncoding("/");
  return QUrl::fromEncoded((!Name.empty() && Name[0] == '/' ? QByteArray("file://") : QByteArray("file:")) + Path);
}

AnsiString LocalFileOfUrl(const QUrl& Url) {
  if (!Url.isLocalFile()) return AnsiString();
  // The encoded path still holds every byte; the decoded one would not.
  const QByteArray Path = QByteArray::fromPercentEncoding(Url.path(QUrl::FullyEncoded).toLatin1());
  AnsiString Name;
  if (!Url.host().isEmpty()) Name = "//" + Url.host().toStdString();
  Name.append(Path.constData(), size_t(Path.size()));
  return Name;
}

AnsiString FileNameFromQt(const QString& Name, const AnsiString& Proposed) {
  const AnsiString Plain = Bytes(Name);
  if (!Name.contains(kReplacement) || Exists(Plain)) return Plain;
  const QStringList Parts = Name.split(QLatin1Char('/'));
  const AnsiString ProposedName = Proposed.substr(Proposed.rfind('/') + 1);
  AnsiString Path;
  for (qsizetype I = 0; I < Parts.size(); ++I) {
    if (I > 0) Path += '/';
    AnsiString Part = Bytes(Parts[I]);
    if (I == Parts.size() - 1 && !ProposedName.empty() &&
        Parts[I] == QFile::decodeName(QByteArray::fromStdString(ProposedName))) {
      Part = ProposedName;
    } else if (Parts[I].contains(kReplacement) && !Exists(Path + Part)) {
      const AnsiString Entry = EntryShownAs(Path, Parts[I]);
      if (!Entry.empty()) Part = Entry;
    }
    Path += Part;
  }
  return Path;
}

QString FolderForQt(const AnsiString& Folder) {
  size_t End = 0;
  while (End < Folder.size()) {
    size_t Next = Folder.find('/', End);
    if (Next == AnsiString::npos) Next = Folder.size();
    if (!IsValidUTF8(Folder.substr(End, Next - End))) break;
    End = Next + 1;
  }
  if (End > Folder.size()) End = Folder.size();
  return QString::fromUtf8(Folder.data(), qsizetype(End));
}

bool OpenQtFile(QFile& File, const AnsiString& Name, QIODevice::OpenMode Mode) {
  const bool Writing = Mode & QIODevice::WriteOnly;
  const int Fd = ::open(Name.c_str(), (Writing ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY) | O_CLOEXEC, 0666);
  if (Fd < 0) return false;
  if (!File.open(Fd, Writing ? QIODevice::WriteOnly : QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(Fd);
    return false;
  }
  return true;
}

}  // namespace clvqt
