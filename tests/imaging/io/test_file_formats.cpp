// The format registry: its built-in table, lookups by id and by extension, rows added and
// removed at run time; and the I/O unit's start-up, plug-in unloading and debug log.
#include <gtest/gtest.h>

#include <fstream>

#include "imaging/core/ie_streams.h"
#include "platform/rtl/files.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/fixtures.h"

using namespace iotest;

namespace {

TEST(FileFormatRegistry, BuiltinTableInRegistrationOrder) {
  EnsureIOUnit();
  struct TRow {
    Integer FileType;
    const char* Name;
    Integer ExtCount;
    bool Read, Write;
    TPreviewParams Page;
  };
  const TRow rows[] = {
      {1, "TIFF Bitmap", 6, true, true, IEPreviewPage(ppTIFF)},
      {2, "CompuServe Bitmap", 1, true, true, IEPreviewPage(ppGIF)},
      {3, "JPEG Bitmap", 4, true, true, IEPreviewPage(ppJPEG)},
      {4, "PaintBrush", 1, true, true, IEPreviewPage(ppPCX)},
      {5, "Windows Bitmap", 3, true, true, IEPreviewPage(ppBMP)},
      {6, "Windows Icon", 1, true, true, 0},
      {7, "Windows Cursor", 1, true, false, 0},
      {8, "Portable Network Graphics", 1, true, true, IEPreviewPage(ppPNG)},
      {28, "DICOM Bitmap", 3, true, false, 0},
      {9, "Windows Metafile", 1, true, false, 0},
      {10, "Enhanced Windows Metafile", 1, true, false, 0},
      {11, "Targa Bitmap", 6, true, true, IEPreviewPage(ppTGA)},
      {12, "Portable Pixmap, GrayMap, BitMap", 4, true, true, 0},
      {16, "Wireless Bitmap", 1, true, true, 0},
      {13, "JPEG2000", 1, true, true, IEPreviewPage(ppJ2000)},
      {14, "JPEG2000 Code Stream", 3, true, true, IEPreviewPage(ppJ2000)},
      {17, "PostScript Level 2", 2, false, true, 0},
      {18, "Adobe PDF", 1, false, true, 0},
      {19, "Multipage PCX", 1, true, true, 0},
      {20, "Camera RAW", 13, true, false, 0},
      {24, "Photoshop PSD", 1, true, true, 0},
      {25, "Vectorial objects", 1, true, true, 0},
      {26, "Layers", 1, true, true, 0},
      {27, "Layers and objects", 1, true, true, 0},
  };
  ASSERT_EQ(IEFileFormatCount(), 24);
  for (Integer i = 0; i < 24; ++i) {
    SCOPED_TRACE(rows[i].Name);
    TIEFileFormatInfo* row = IEFileFormatAt(i);
    EXPECT_EQ(row->FileType, rows[i].FileType);
    EXPECT_EQ(row->FullName, rows[i].Name);
    EXPECT_EQ(IEFileFormatGetExtCount(row->FileType), rows[i].ExtCount);
    EXPECT_EQ(row->ReadFunction != nullptr, rows[i].Read);
    EXPECT_EQ(row->WriteFunction != nullptr, rows[i].Write);
    EXPECT_EQ(row->DialogPage, rows[i].Page);
    EXPECT_TRUE(row->InternalFormat);
    EXPECT_EQ(row->TryFunction, &IEFileFormatNoTry);
  }
}

TEST(FileFormatRegistry, LookupsByIdAndExtension) {
  EnsureIOUnit();
  EXPECT_EQ(IEFileFormatGetExtCount(1), 6);
  EXPECT_EQ(IEFileFormatGetExt(1, 5), "XIF");
  EXPECT_EQ(IEFileFormatGetExt(1, 6), "");
  EXPECT_EQ(IEFileFormatGetExt(99, 0), "");
  EXPECT_EQ(IEFileFormatGetExtCount(99), 0);
  for (Integer missing : {0, 15, 21, 22, 23}) EXPECT_EQ(IEFileFormatGetInfo(missing), nullptr) << missing;
  const struct {
    const char* Ext;
    Integer FileType;
  } cases[] = {{"PIX", 11}, {"win", 0}, {"raw", 20}, {".JPE", 3}, {"jpe", 3}, {"Dicom", 28},
               {"SR2", 20}, {"pxm", 12}, {"", 0}, {".", 0}, {"tif;", 0}};
  for (const auto& c : cases) EXPECT_EQ(IEFileTypeFromExt(c.Ext), c.FileType) << c.Ext;
  EXPECT_EQ(IEFileFormatGetInfoByExt(".JPE"), IEFileFormatGetInfo(3));
}

TEST(FileFormatRegistry, AddedRowsNeverShadowBuiltinOnesAndCanBeRemoved) {
  EnsureIOUnit();
  auto* row = new TIEFileFormatInfo;
  row->FileType = 90;
  row->FullName = "Test format";
  row->Extensions = "TST;PNG;;ZZZ";  // the empty item ends the list
  IEFileFormatAdd(row);
  EXPECT_EQ(IEFileFormatGetInfo(90), row);
  EXPECT_EQ(IEFileTypeFromExt("tst"), 90);
  EXPECT_EQ(IEFileTypeFromExt("png"), 8);
  EXPECT_EQ(IEFileFormatGetExtCount(90), 2);
  IEFileFormatRemove(90);
  EXPECT_EQ(IEFileFormatGetInfo(90), nullptr);
  EXPECT_EQ(IEFileFormatCount(), 24);
  IEFileFormatRemove(90);  // nothing left to remove
}

TEST(IOUnit, StartUpShutDownAndPlugins) {
  EnsureIOUnit();
  auto* row = new TIEFileFormatInfo;
  row->FileType = 91;
  row->Extensions = "PLG";
  IEFileFormatAdd(row);
  auto* plugin = new TIEIOPlugin;
  plugin->FileType = 91;
  plugin->Lock = new TCriticalSection;
  IEPluginList->push_back(plugin);
  IEUnloadPlugins();  // the plug-in's row goes with it; the lock is freed (sanitizers check)
  EXPECT_EQ(IEFileFormatGetInfo(91), nullptr);
  EXPECT_TRUE(IEPluginList->empty());

  IEFinalZodivErIO();
  EXPECT_EQ(IEFileFormatCount(), 0);
  EXPECT_EQ(IEFileFormatGetInfoByExt("jpg"), nullptr);
  IEInitZodivErIO();
  EXPECT_EQ(IEFileFormatGetInfo(1)->FullName, "TIFF Bitmap");
  EXPECT_EQ(IEFileTypeFromExt("raw"), 20);
  EXPECT_EQ(IEMaxMetafileSize, 8000);
  EXPECT_TRUE(IETempFolder.empty());
}

TEST(IOUnit, DebugLogWritesOnlyWithAFileName) {
  const std::string dir = testsupport::MakeTempDir("iolog");
  const std::string log = dir + "/debug.log";
  IEDebugLogFileName.clear();
  IEDebugLog("nobody reads this");
  EXPECT_FALSE(FileExists(log));
  IEDebugLogFileName = log;
  IEDebugLog("first");
  IEDebugLog("second");
  IEDebugLogFileName.clear();
  std::ifstream in(log);
  std::string a, b;
  std::getline(in, a);
  std::getline(in, b);
  EXPECT_TRUE(a.size() > 8 && a.substr(a.size() - 8) == " : first") << a;
  EXPECT_TRUE(b.size() > 9 && b.substr(b.size() - 9) == " : second") << b;
  IEDebugLogFileName = dir + "/no-such-folder/debug.log";
  EXPECT_THROW(IEDebugLog("x"), EInOutError);
  IEDebugLogFileName.clear();
  testsupport::RemoveTree(dir);
}

}  // namespace
