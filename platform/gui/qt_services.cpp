#include "platform/gui/qt_services.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include "platform/gui/application.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/graphics.h"
#include "platform/gui/qt_file_names.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/rtl/files.h"

namespace clvqt {

namespace {

QString Q(const AnsiString& S) { return QString::fromStdString(S); }

QWidget* OwnerWidget(TWinControl* Owner) {
  if (Owner && Owner->Widget()) return Owner->Widget()->window();
  return QApplication::activeWindow();
}

const char* const kPrivateMime = "application/x-clavorne-clip-";

struct ButtonMap {
  QMessageBox::StandardButton Button;
  Integer Id;
};

class QtServices : public TPlatformServices {
 public:
  Integer MessageBox(TWinControl* Owner, const AnsiString& Text, const AnsiString& Caption,
                     Cardinal Flags) override {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    switch (Flags & MB_ICONMASK) {
      case MB_ICONHAND: Icon = QMessageBox::Critical; break;
      case MB_ICONQUESTION: Icon = QMessageBox::Question; break;
      case MB_ICONEXCLAMATION: Icon = QMessageBox::Warning; break;
      case MB_ICONASTERISK: Icon = QMessageBox::Information; break;
      default: break;
    }
    std::vector<ButtonMap> Buttons;
    switch (Flags & MB_TYPEMASK) {
      case MB_OKCANCEL: Buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
      case MB_ABORTRETRYIGNORE:
        Buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        break;
      case MB_YESNOCANCEL:
        Buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
      case MB_YESNO: Buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
      case MB_RETRYCANCEL: Buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
      default: Buttons = {{QMessageBox::Ok, IDOK}}; break;
    }
    return Run(OwnerWidget(Owner), Icon, Caption, Text, Buttons, Buttons.front().Id);
  }

  Integer MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    switch (Type) {
      case mtWarning: Icon = QMessageBox::Warning; break;
      case mtError: Icon = QMessageBox::Critical; break;
      case mtInformation: Icon = QMessageBox::Information; break;
      case mtConfirmation: Icon = QMessageBox::Question; break;
      default: break;
    }
    static const std::pair<TMsgDlgBtn, ButtonMap> kAll[] = {
        {mbYes, {QMessageBox::Yes, mrYes}},          {mbNo, {QMessageBox::No, mrNo}},
        {mbOK, {QMessageBox::Ok, mrOk}},             {mbCancel, {QMessageBox::Cancel, mrCancel}},
        {mbAbort, {QMessageBox::Abort, mrAbort}},    {mbRetry, {QMessageBox::Retry, mrRetry}},
        {mbIgnore, {QMessageBox::Ignore, mrIgnore}}, {mbAll, {QMessageBox::YesToAll, mrAll}},
        {mbNoToAll, {QMessageBox::NoToAll, mrNoToAll}}, {mbYesToAll, {QMessageBox::YesToAll, mrYesToAll}},
        {mbHelp, {QMessageBox::Help, 0}},
    };
    std::vector<ButtonMap> Map;
    for (const auto& [Btn, M] : kAll)
      if (Buttons & MsgDlgButton(Btn)) Map.push_back(M);
    if (Map.empty()) Map.push_back({QMessageBox::Ok, mrOk});
    Integer Escape = mrCancel;
    return Run(QApplication::activeWindow(), Icon, MsgDlgCaption(Type), Text, Map, Escape);
  }

  TFileDialogAnswer FileDialog(const TFileDialogRequest& R) override {
    TFileDialogAnswer A;
    QFileDialog D(QApplication::activeWindow(), Q(R.Title));
    D.setAcceptMode(R.Kind == fdSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (R.Kind == fdOpen)
      D.setFileMode((R.Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                     : (R.Options & ofFileMustExist) ? QFileDialog::ExistingFile
                                                                                     : QFileDialog::AnyFile);
    else
      D.setFileMode(QFileDialog::AnyFile);
    if (!(R.Options & ofOverwritePrompt)) D.setOption(QFileDialog::DontConfirmOverwrite, true);
    // Patterns match without regard to case, as on the desktop the filters come from.
    D.setFilter(D.filter() & ~QDir::CaseSensitive);
    QStringList Filters = QtNameFilters(R.Filter);
    if (!Filters.isEmpty()) {
      D.setNameFilters(Filters);
      int Index = std::clamp<int>(R.FilterIndex, 1, int(Filters.size())) - 1;
      D.selectNameFilter(Filters[Index]);
    }
    if (!R.InitialDir.empty()) D.setDirectory(FolderForQt(R.InitialDir));
    if (!R.FileName.empty()) D.selectFile(Q(R.FileName));
    if (D.exec() != QDialog::Accepted) return A;
    A.Accepted = true;
    for (const QString& F : D.selectedFiles()) A.FileNames.push_back(FileNameFromQt(F, R.FileName));
    A.FilterIndex = int(Filters.indexOf(D.selectedNameFilter())) + 1;
    if (A.FilterIndex < 1) A.FilterIndex = R.FilterIndex;
    return A;
  }

  bool BrowseForFolder(const AnsiString& Caption, const AnsiString& Root, AnsiString& Folder) override {
    QString Start = !Folder.empty() ? FolderForQt(Folder) : !Root.empty() ? FolderForQt(Root) : QString();
    if (Start.isEmpty()) Start = QDir::homePath();
    QString Chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), Q(Caption), Start);
    if (Chosen.isEmpty()) return false;
    Folder = FileNameFromQt(Chosen);
    return true;
  }

  bool ChooseColor(TColor& Color) override {
    QColor C = QColorDialog::getColor(ToQColor(Color), QApplication::activeWindow());
    if (!C.isValid()) return false;
    Color = FromQColor(C);
    return true;
  }

  bool ChooseFont(TFontChoice& Choice) override {
    TFont F;
    F.SetName(Choice.Name);
    if (Choice.Size > 0) F.SetSize(Choice.Size);
    bool Ok = false;
    QFont Picked = QFontDialog::getFont(&Ok, ToQFont(F), QApplication::activeWindow());
    if (!Ok) return false;
    Choice.Name = Picked.family().toStdString();
    if (Picked.pointSize() > 0) Choice.Size = Picked.pointSize();
    TFontStyles S;
    if (Picked.bold()) S.Include(fsBold);
    if (Picked.italic()) S.Include(fsItalic);
    if (Picked.underline()) S.Include(fsUnderline);
    if (Picked.strikeOut()) S.Include(fsStrikeOut);
    Choice.StyleBits = S.Bits();
    return true;
  }

  bool ShellOpen(const AnsiString& Target) override {
    // A file or folder goes by its bytes; Qt's own guess would decode the name first.
    QUrl U = FileExists(Target) || DirectoryExists(Target)
                 ? LocalFileUrl(ExpandFileName(Target))
                 : QUrl::fromUserInput(Q(Target), QDir::currentPath(), QUrl::AssumeLocalFile);
    return U.isValid() && QDesktopServices::openUrl(U);
  }

  void SetClipboard(const TClipboardData& Data) override {
    auto* M = new QMimeData();
    for (const auto& [Format, Bytes] : Data) {
      QByteArray B(reinterpret_cast<const char*>(Bytes.data()), qsizetype(Bytes.size()));
      if (Format == CF_TEXT) {
        M->setText(QString::fromUtf8(B));
      } else if (Format == CF_UNICODETEXT) {
        M->setText(QString::fromUtf16(reinterpret_cast<const char16_t*>(B.constData()), B.size() / 2));
      } else if (Format == CF_DIB) {
        QImage Img;
        if (Img.loadFromData(DibToBmpFile(B), "BMP")) M->setImageData(Img);
        M->setData(MimeFor(Format), B);
      } else {
        M->setData(MimeFor(Format), B);
      }
    }
    QGuiApplication::clipboard()->setMimeData(M);
  }

  TClipboardData GetClipboard() override {
    TClipboardData Out;
    const QMimeData* M = QGuiApplication::clipboard()->mimeData();
    if (!M) return Out;
    if (M->hasText()) {
      QByteArray U = M->text().toUtf8();
      Out[CF_TEXT].assign(U.begin(), U.end());
    }
    for (const QString& Type : M->formats()) {
      if (!Type.startsWith(QLatin1String(kPrivateMime))) continue;
      QString Name = Type.mid(int(qstrlen(kPrivateMime)));
      TClipFormat F = Name.startsWith(QLatin1String("cf")) ? TClipFormat(Name.mid(2).toUInt())
                                                          : RegisterClipboardFormat(Name.toStdString());
      if (F == 0) continue;
      QByteArray B = M->data(Type);
      Out[F].assign(B.begin(), B.end());
    }
    if (!Out.count(CF_DIB) && M->hasImage()) {
      QImage Img = qvariant_cast<QImage>(M->imageData());
      QByteArray File;
      QBuffer Buf(&File);
      Buf.open(QIODevice::WriteOnly);
      // A BMP file is a 14-byte file header followed by the DIB the desktop keeps as CF_DIB.
      if (!Img.isNull() && Img.save(&Buf, "BMP") && File.size() > 14) Out[CF_DIB].assign(File.begin() + 14, File.end());
    }
    return Out;
  }

 private:
  static QString MimeFor(TClipFormat Format) {
    AnsiString Name = ClipboardFormatName(Format);
    if (Name.empty()) return QString::fromLatin1(kPrivateMime) + QStringLiteral("cf") + QString::number(Format);
    return QString::fromLatin1(kPrivateMime) + Q(Name);
  }

  // Prefixes the BMP file header to a DIB (header size and colour table taken from the DIB).
  static QByteArray DibToBmpFile(const QByteArray& Dib) {
    if (Dib.size() < 40) return QByteArray();
    auto U32 = [&](int At) {
      return quint32(quint8(Dib[At])) | quint32(quint8(Dib[At + 1])) << 8 | quint32(quint8(Dib[At + 2])) << 16 |
             quint32(quint8(Dib[At + 3])) << 24;
    };
    auto U16 = [&](int At) { return quint32(quint8(Dib[At])) | quint32(quint8(Dib[At + 1])) << 8; };
    quint32 HeaderSize = U32(0);
    if (HeaderSize < 40 || HeaderSize > quint32(Dib.size())) return QByteArray();
    quint32 Bits = U16(14);
    quint32 Compression = U32(16);
    quint32 Used = U32(32);
    quint64 Colours = Used ? Used : (Bits <= 8 ? (1u << Bits) : 0);
    if (Colours > 256) return QByteArray();
    quint64 Masks = (Compression == 3 && HeaderSize == 40) ? 12 : 0;
    quint64 Offset = 14 + HeaderSize + Masks + Colours * 4;
    quint64 Total = 14 + quint64(Dib.size());
    if (Offset > Total || Total > 0xFFFFFFFFu) return QByteArray();
    QByteArray F;
    F.reserve(int(Total));
    auto Put32 = [&](quint32 V) {
      for (int I = 0; I < 4; ++I) F.append(char((V >> (8 * I)) & 0xFF));
    };
    F.append("BM", 2);
    Put32(quint32(Total));
    Put32(0);
    Put32(quint32(Offset));
    F.append(Dib);
    return F;
  }

  Integer Run(QWidget* Parent, QMessageBox::Icon Icon, const AnsiString& Caption, const AnsiString& Text,
              const std::vector<ButtonMap>& Buttons, Integer EscapeId) {
    QMessageBox Box(Icon, Q(Caption), Q(Text), QMessageBox::NoButton, Parent);
    for (const ButtonMap& B : Buttons) Box.addButton(B.Button);
    Box.setDefaultButton(Buttons.front().Button);
    for (const ButtonMap& B : Buttons)
      if (B.Id == EscapeId || Buttons.size() == 1) Box.setEscapeButton(B.Button);
    int Pressed = Box.exec();
    for (const ButtonMap& B : Buttons)
      if (Pressed == B.Button) return B.Id;
    return EscapeId;
  }
};

}  // namespace

TPlatformServices* DefaultServices() {
  static QtServices Services;
  return &Services;
}

QStringList QtNameFilters(const AnsiString& Filter) {
  QStringList Out;
  for (const TFilterEntry& E : ParseDialogFilter(Filter)) {
    QStringList Patterns;
    for (const AnsiString& P : E.Patterns) Patterns << (P == "*.*" ? QStringLiteral("*") : Q(P));
    Out << Q(E.Description) + QStringLiteral(" (") + Patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
  }
  return Out;
}

}  // namespace clvqt
