// File names that are no UTF-8 between Qt and the file system.
#include <gtest/gtest.h>

#include <QMimeData>

#include <fstream>

#include "platform/gui/qt_file_names.h"
#include "tests/support/fixtures.h"

namespace {

using namespace clvqt;

QString ShownByQt(const std::string& Name) { return QFile::decodeName(QByteArray::fromStdString(Name)); }

TEST(QtFileNames, LocalUrlsCarryEveryByte) {
  const AnsiString names[] = {"/tmp/\xFF\xE9t\xE9 #1 50%.mp4", "/a/\xC3\xA9/b?c", "rel/\x80x.avi", "/"};
  for (const AnsiString& name : names) {
    EXPECT_EQ(LocalFileOfUrl(LocalFileUrl(name)), name);
    QMimeData data;
    data.setUrls({LocalFileUrl(name)});
    ASSERT_EQ(data.urls().size(), 1);
    EXPECT_EQ(LocalFileOfUrl(data.urls()[0]), name);
  }
  // As a file manager sends them: a URI list of percent-encoded bytes.
  QMimeData dropped;
  dropped.setData("text/uri-list", "file:///tmp/d%FF/%E9t%C3%A9.mp4\r\nfile://server/share/x%20y.mkv\r\nhttp://h/x.mp4\r\n");
  const QList<QUrl> urls = dropped.urls();
  ASSERT_EQ(urls.size(), 3);
  EXPECT_EQ(LocalFileOfUrl(urls[0]), "/tmp/d\xFF/\xE9t\xC3\xA9.mp4");
  EXPECT_EQ(LocalFileOfUrl(urls[1]), "//server/share/x y.mkv");
  EXPECT_EQ(LocalFileOfUrl(urls[2]), "");
}

TEST(QtFileNames, DialogAnswersFindTheFilesQtCouldNotName) {
  const std::string root = testsupport::MakeTempDir("qtnames");
  const std::string folder = root + "/d\xFF";
  const std::string twins = root + "/twins";
  testsupport::RunOk("mkdir " + testsupport::ShellQuote(folder) + " " + testsupport::ShellQuote(twins));
  for (const std::string& f : {folder + "/\xE9t\xE9.mp4", twins + "/\xFE.mp4", twins + "/\xFD.mp4"}) std::ofstream(f) << "x";

  struct Case { std::string Shown, Expected; };
  const Case cases[] = {
      {folder + "/\xE9t\xE9.mp4", folder + "/\xE9t\xE9.mp4"},        // an existing file
      {folder, folder},                                              // a folder (folder browser)
      {twins + "/\xFE.mp4", twins + "/\xEF\xBF\xBD.mp4"},            // two entries look alike: not guessed
      {root + "/plain \xC3\xA9.mp4", root + "/plain \xC3\xA9.mp4"},  // UTF-8 as it is
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameFromQt(ShownByQt(c.Shown)), c.Expected) << c.Shown;
  // A new file typed into the dialog: its name is UTF-8 text, its folder comes from the file system.
  EXPECT_EQ(FileNameFromQt(ShownByQt(folder) + QStringLiteral("/new \u00E9.mp3")), folder + "/new \xC3\xA9.mp3");
  // A new name the dialog proposed and the user kept keeps the proposed bytes.
  EXPECT_EQ(FileNameFromQt(ShownByQt(folder + "/out\xFF.mp3"), "/elsewhere/out\xFF.mp3"), folder + "/out\xFF.mp3");
  testsupport::RemoveTree(root);
}

TEST(QtFileNames, DialogsStartInTheDeepestFolderQtCanName) {
  const std::pair<AnsiString, QString> cases[] = {
      {"/tmp/a\xFF/b", QStringLiteral("/tmp/")},
      {"/tmp/\xC3\xA9/b", QStringLiteral("/tmp/\u00E9/b")},
      {"\xFF/b", QString()},
      {"/", QStringLiteral("/")},
  };
  for (const auto& [folder, start] : cases) EXPECT_EQ(FolderForQt(folder), start) << folder;
}

}  // namespace
