// The save-parameter dialog, opened the way the library opens it (TZodivErIO::DoPreviews) and
// worked through real key presses and clicks inside its modal loop: which pages it offers, the
// sizes its previews measure against the component's own saves, what OK and Apply write back,
// the words of each language, the keyboard and what screen readers are told.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <unistd.h>
#include <cstdio>

#include "imaging/core/ie_dialog_texts.h"
#include "imaging/core/ie_palette_dialog.h"
#include "imaging/io/ie_preview_params_dialog.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/keys.h"
#include "platform/gui/timers.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/scripted_services.h"

using namespace iotest;

namespace {

std::string Rose() { return testsupport::Fixture("preview-rose.ppm", "convert rose: -depth 8 ppm:{out}"); }
std::string Gradient(Integer W, Integer H) {
  const std::string Size = std::to_string(W) + "x" + std::to_string(H);
  return testsupport::Fixture("preview-gradient-" + Size + ".ppm",
                              "convert -size " + Size + " gradient:red-blue -depth 8 ppm:{out}");
}

std::vector<AnsiString> VisibleTabs(TfIOPreviews* D) {
  std::vector<AnsiString> Tabs;
  for (Integer I = 0; I < D->PageControl1->PageCount(); ++I)
    if (D->PageControl1->Pages(I)->TabVisible()) Tabs.push_back(D->PageControl1->Pages(I)->Caption());
  return Tabs;
}

// A component holding an image read from a file, and the dialog opened on it. The test's steps
// run inside the dialog's modal loop once its set-up has run; they end it with a key or a click.
// Whatever is still open afterwards is closed, so that a fault fails the test instead of holding it.
class PreviewDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureIOUnit();
    // The words are the library's start-up's to fill; a test that fills them empties them again.
    FilledWords = IEGetLanguageText(dtParametersPreview, msEnglish).empty();
    if (FilledWords) IEInitLanguageTexts();
    IO.MsgLanguage = msEnglish;
    IO.SimplifiedParamsDialogs = false;
    IO.PreviewsParams = 1u << ioppApplyButton;
  }

  void TearDown() override {
    if (FilledWords) IEFreeLanguageTexts();
  }

  void Load(const std::string& File, Integer FileType) {
    IO.LoadFromFile(W(File));
    ASSERT_FALSE(IO.Aborting) << IO.FailureReason();
    IO.IOParams()->FileType = FileType;
  }

  // DoPreviews with Steps run inside the open dialog; the answer of DoPreviews.
  bool Open(TPreviewParams Pages, const std::function<void(TfIOPreviews*)>& Steps) {
    TfIOPreviews* Dialog = nullptr;
    bool Ran = false;
    IO.OnIOPreview = [&](TObject*, TForm* Form) {
      Dialog = dynamic_cast<TfIOPreviews*>(Form);
      if (BeforeShow) BeforeShow(Dialog);
    };
    TTimer Script(nullptr);
    Script.SetInterval(10);
    int Idle = 0;
    Script.OnTimer = [&](TObject*) {
      if (!Dialog || !Dialog->Modal() || !Dialog->Activated) return;
      if (!Ran) {
        Ran = true;
        Steps(Dialog);
        return;
      }
      if (++Idle > 100) {
        Script.SetEnabled(false);
        ADD_FAILURE() << "the dialog was still open after the test's steps";
        DismissModalWindows();
      }
    };
    Script.SetEnabled(true);
    const bool Answer = IO.DoPreviews(Pages);
    Script.SetEnabled(false);
    Shown = Dialog != nullptr;
    return Answer;
  }

  testsupport::ScriptedServices Services;
  TZodivErIO IO{nullptr};
  std::function<void(TfIOPreviews*)> BeforeShow;
  bool Shown = false;
  bool FilledWords = false;
};

// --- pages ----------------------------------------------------------------------------------

TEST_F(PreviewDialog, OffersThePagesAskedForAndOpensOnTheImagesOwnType) {
  struct Case {
    TPreviewParams Pages;
    Integer FileType;
    bool Simplified;
    std::vector<AnsiString> Tabs;
    const char* Active;
  };
  const std::vector<AnsiString> All = {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"};
  const Case Cases[] = {
      {IEPreviewPage(ppAUTO), ioJPEG, false, {"JPEG"}, "TabSheetJPEG1"},
      {IEPreviewPage(ppAUTO), ioJPEG, true, {"JPEG"}, "TabSheetJPEG2"},
      {IEPreviewPage(ppALL), ioJ2K, false, All, "TabSheetJ20001"},
      {IEPreviewPage(ppALL), ioJP2, false, All, "TabSheetJ20001"},
      {IEPreviewPage(ppALL), ioGIF, true, All, "TabSheetGIF2"},
      {IEPreviewPage(ppALL), ioTIFF, false, All, "TabSheetTIFF1"},
      {IEPreviewPage(ppPNG) | IEPreviewPage(ppTGA), ioBMP, false, {"PNG", "TGA"}, "TabSheetPNG1"},
      // No page of the image's own type: the first tab shown is the page shown, in either variant.
      {IEPreviewPage(ppALL), ioICO, true, All, "TabSheetJPEG2"},
      {IEPreviewPage(ppBMP) | IEPreviewPage(ppPCX), ioICO, false, {"BMP", "PCX"}, "TabSheetBMP1"},
  };
  Load(Gradient(20, 10), ioBMP);
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Active) + " for file type " + std::to_string(C.FileType));
    IO.IOParams()->FileType = C.FileType;
    IO.SimplifiedParamsDialogs = C.Simplified;
    std::vector<AnsiString> Tabs;
    AnsiString Active, Caption, Original;
    EXPECT_FALSE(Open(C.Pages, [&](TfIOPreviews* D) {
      Tabs = VisibleTabs(D);
      Active = D->PageControl1->ActivePage()->Name();
      Caption = D->Caption();
      Original = D->Label1->Caption();
      SimulateKeyToTopWindow(VK_ESCAPE);
    }));
    EXPECT_EQ(Tabs, C.Tabs);
    EXPECT_EQ(Active, C.Active);
    EXPECT_EQ(Caption, "Parameters Preview");
    EXPECT_EQ(Original, "Original:");
  }
}

TEST_F(PreviewDialog, AnImageTypeWithoutAPageShowsNoDialog) {
  Load(Gradient(20, 10), ioICO);
  bool Asked = false;
  EXPECT_FALSE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews*) { Asked = true; }));
  EXPECT_FALSE(Shown);
  EXPECT_FALSE(Asked);
  EXPECT_EQ(OpenModalWindows(), 0);
  // A host that answers for the dialog is asked first and shows its own.
  bool Handled = false;
  IO.OnDoPreviews = [&](TObject*, bool& H) { Handled = H = true; };
  EXPECT_TRUE(IO.DoPreviews(IEPreviewPage(ppALL)));
  EXPECT_TRUE(Handled);
}

// --- previews -------------------------------------------------------------------------------

// The size the component's own save of the same image with the same parameters gives, and
// the file it wrote, which ImageMagick must read as an image of the same size.
Int64 SavedSize(const std::string& Source, Integer FileType, const std::function<void(TIOParamsVals&)>& Set) {
  TZodivErIO Save(nullptr);
  Save.LoadFromFile(W(Source));
  Set(*Save.IOParams());
  TMemoryStream Out;
  Save.SaveToStream(&Out, FileType);
  EXPECT_FALSE(Save.Aborting) << Save.FailureReason();
  return Out.Size();
}

TEST_F(PreviewDialog, EachPagesPreviewEncodesTheImageAndShowsItsSize) {
  const std::string Source = Rose();
  Load(Source, ioBMP);
  IO.IOParams()->JpegQuality = 10;
  struct Case {
    const char* Sheet;
    Integer FileType;
    std::function<void(TIOParamsVals&)> Params;
  };
  const Case Cases[] = {
      {"TabSheetJPEG1", ioJPEG, [](TIOParamsVals& P) { P.JpegQuality = 10; }},
      {"TabSheetTIFF1", ioTIFF, [](TIOParamsVals&) {}},
      {"TabSheetGIF1", ioGIF, [](TIOParamsVals& P) { P.BitsPerSample = 8, P.SamplesPerPixel = 1; }},
      {"TabSheetBMP1", ioBMP, [](TIOParamsVals& P) { P.BitsPerSample = 8, P.SamplesPerPixel = 3; }},
      {"TabSheetPCX1", ioPCX, [](TIOParamsVals&) {}},
      {"TabSheetPNG1", ioPNG, [](TIOParamsVals&) {}},
      {"TabSheetTGA1", ioTGA, [](TIOParamsVals&) {}},
      {"TabSheetJ20001", ioJ2K, [](TIOParamsVals&) {}},
  };
  std::map<std::string, AnsiString> Sizes, Originals;
  std::map<std::string, std::pair<Integer, Integer>> ResultSizes;
  Integer JpegDifference = 0;
  EXPECT_FALSE(Open(IEPreviewPage(ppALL), [&](TfIOPreviews* D) {
    for (Integer Page = 0; Page < D->PageControl1->PageCount(); ++Page) {
      if (!D->PageControl1->Pages(Page)->TabVisible()) continue;
      SimulateTabClick(D->PageControl1, Page);
      TTabSheet* Sheet = D->PageControl1->ActivePage();
      EXPECT_EQ(Sheet, D->PageControl1->Pages(Page));
      SimulateClick(D->Button3);
      Sizes[Sheet->Name()] = D->SizeLabels(Sheet).CompressedValue->Caption();
      Originals[Sheet->Name()] = D->SizeLabels(Sheet).OriginalValue->Caption();
      TIEBitmap* R = D->ZodivEr2->GetIEBitmap();
      ResultSizes[Sheet->Name()] = {R->GetWidth(), R->GetHeight()};
      if (Sheet == D->TabSheetJPEG1) JpegDifference = ietest::MaxDifference(*R, *D->ZodivEr1->GetIEBitmap());
    }
    SimulateClick(D->Button2);
  }));
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sheet);
    EXPECT_EQ(Sizes[C.Sheet], IntToStr(SavedSize(Source, C.FileType, C.Params)) + " bytes");
    // 70 x 46 in 24 bits, rows padded to 212 bytes.
    EXPECT_EQ(Originals[C.Sheet], "9752 bytes");
    EXPECT_EQ(ResultSizes[C.Sheet], (std::pair<Integer, Integer>(70, 46)));
  }
  // What the result shows of a JPEG is the decoded file, artefacts and all.
  EXPECT_GT(JpegDifference, 8);
}

TEST_F(PreviewDialog, OriginalSizeCountsPaddedRows) {
  for (auto [Width, Expected] : {std::pair{100, "30000 bytes"}, std::pair{101, "30400 bytes"}}) {
    Load(Gradient(Width, 100), ioPNG);
    AnsiString Original;
    Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
      Original = D->SizeLabels(D->TabSheetPNG1).OriginalValue->Caption();
      SimulateKeyToTopWindow(VK_ESCAPE);
    });
    EXPECT_EQ(Original, Expected);
  }
}

TEST_F(PreviewDialog, AReducedPreviewShowsNoMoreColoursThanChosen) {
  Load(Rose(), ioGIF);
  IO.IOParams()->BitsPerSample = 1;  // "B/W"
  IO.IOParams()->SamplesPerPixel = 1;
  std::set<UInt64> Colours;
  Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    TIEBitmap* R = D->ZodivEr2->GetIEBitmap();
    const std::vector<Byte> Pixels = ietest::ToPPM(*R);
    const size_t Count = size_t(R->GetWidth()) * R->GetHeight() * 3;
    ASSERT_GE(Pixels.size(), Count);
    for (size_t I = Pixels.size() - Count; I < Pixels.size(); I += 3)
      Colours.insert(UInt64(Pixels[I]) << 16 | UInt64(Pixels[I + 1]) << 8 | Pixels[I + 2]);
    SimulateKeyToTopWindow(VK_ESCAPE);
  });
  EXPECT_LE(Colours.size(), 2u);
  EXPECT_GE(Colours.size(), 1u);
}

// An encoder that stops (here: cancelled through its progress, as a failing codec stops) is a
// failed preview: the user is told which format failed and why, and no size is claimed.
TEST_F(PreviewDialog, AFailedEncodingIsReportedNotMeasured) {
  Load(Rose(), ioJPEG);
  BeforeShow = [](TfIOPreviews* D) {
    D->ZodivEr1->SetOnProgress([D](TObject* S, Integer P) {
      D->ZodivEr1Progress(S, P);
      if (P > 0 && P < 100) D->ZodivEr1->IOComponent()->Aborting = true;
    });
  };
  AnsiString Size;
  Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Size = D->SizeLabels(D->TabSheetJPEG1).CompressedValue->Caption();
    SimulateKeyToTopWindow(VK_ESCAPE);
  });
  EXPECT_EQ(Size, "---");
  const auto Boxes = Services.CallsOf("MessageBox");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find("The JPEG preview failed while encoding"), std::string::npos) << Boxes[0].Text;
}

// --- write-back -----------------------------------------------------------------------------

// Replaces the text of an edit as a user does: select all, type.
void Retype(TEdit* Edit, const AnsiString& Text) {
  Edit->SetFocus();
  SimulateKey(Edit, 'A', ssCtrl);
  SimulateTyping(Edit, Text);
}

// Moves a drop-down list to the line Index with the arrow keys.
void Choose(TComboBox* List, Integer Index) {
  List->SetFocus();
  SimulateKey(List, VK_HOME);
  for (Integer I = 0; I < Index; ++I) SimulateKey(List, VK_DOWN);
  ASSERT_EQ(List->ItemIndex(), Index) << List->Name();
}

void Toggle(TCheckBox* Box) { SimulateKey(Box, VK_SPACE); }

TEST_F(PreviewDialog, OKWritesEveryFieldOfTheActivePage) {
  Load(Rose(), ioBMP);
  struct Case {
    Integer FileType;
    std::function<void(TfIOPreviews*)> Edit;
    std::function<void(const TIOParamsVals&)> Check;
  };
  const Case Cases[] = {
      {ioJPEG,
       [](TfIOPreviews* D) {
         Retype(D->Edit22, "33");
         Choose(D->ComboBox1, 2);
         Choose(D->ComboBox13, 1);
         Retype(D->Edit23, "7");
         Toggle(D->CheckBox2);
         Toggle(D->CheckBox3);
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.JpegQuality, 33);
         EXPECT_EQ(P.JpegDCTMethod, 2);
         EXPECT_EQ(P.JpegColorSpace, 1);
         EXPECT_EQ(P.JpegSmooth, 7);
         EXPECT_TRUE(P.JpegOptimalHuffman);
         EXPECT_TRUE(P.JpegProgressive);
       }},
      {ioTIFF,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox2, D->ComboBox2->Items()->IndexOf("PACKBITS"));
         Retype(D->Edit1, "3");
         Choose(D->ComboBox4, 2);  // 256
         Choose(D->ComboBox3, 1);  // BLACKISZERO/Gray, which keeps 256
         Retype(D->Edit4, "Scan");
         Retype(D->Edit5, "A page");
         Retype(D->Edit6, "Front");
         Retype(D->Edit7, "2");
         Retype(D->Edit8, "5");
         Retype(D->Edit2, "11");
         Retype(D->Edit3, "12");
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.TiffCompression, 8);
         EXPECT_EQ(P.TiffImageIndex, 3);
         EXPECT_EQ(P.GifImageIndex, 3);  // the index of every multi-image format
         EXPECT_EQ(P.TiffPhotometInterpret, 1);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.SamplesPerPixel, 1);
         EXPECT_EQ(P.TiffDocumentName, "Scan");
         EXPECT_EQ(P.TiffImageDescription, "A page");
         EXPECT_EQ(P.TiffPageName, "Front");
         EXPECT_EQ(P.TiffPageNumber, 2);
         EXPECT_EQ(P.TiffPageCount, 5);
         EXPECT_EQ(P.TiffXPos, 11);
         EXPECT_EQ(P.TiffYPos, 12);
       }},
      {ioGIF,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox5, 3);  // 16 colours
         Retype(D->Edit9, "1");
         Toggle(D->CheckBox4);
         Toggle(D->CheckBox5);
         Retype(D->Edit10, "4");
         Retype(D->Edit11, "6");
         Retype(D->Edit12, "25");
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.BitsPerSample, 4);
         EXPECT_EQ(P.SamplesPerPixel, 3);  // untouched
         EXPECT_EQ(P.GifImageIndex, 1);
         EXPECT_EQ(P.TiffImageIndex, 1);
         EXPECT_TRUE(P.GifFlagTranspColor);
         EXPECT_TRUE(P.GifInterlaced);
         EXPECT_EQ(P.GifXPos, 4);
         EXPECT_EQ(P.GifYPos, 6);
         EXPECT_EQ(P.GifDelayTime, 25);
       }},
      {ioBMP,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox6, 1);
         Choose(D->ComboBox7, 1);
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.BmpCompression, 1);
         EXPECT_EQ(P.BitsPerSample, 4);
         EXPECT_EQ(P.SamplesPerPixel, 1);
       }},
      {ioPCX,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox8, 0);
         Choose(D->ComboBox9, 2);
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.PcxCompression, 0);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.SamplesPerPixel, 1);
       }},
      {ioPNG,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox10, 0);
         Choose(D->ComboBox11, 2);
         Choose(D->ComboBox12, 9);
         Toggle(D->CheckBox6);
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.BitsPerSample, 1);
         EXPECT_EQ(P.SamplesPerPixel, 1);
         EXPECT_EQ(P.PngFilter, 2);
         EXPECT_EQ(P.PngCompression, 9);
         EXPECT_TRUE(P.PngInterlaced);
       }},
      {ioTGA,
       [](TfIOPreviews* D) {
         Choose(D->ComboBox14, 1);
         Toggle(D->CheckBox1);
         Retype(D->Edit13, "Rose");
         Retype(D->Edit14, "A flower");
       },
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.SamplesPerPixel, 1);
         EXPECT_FALSE(P.TgaCompressed);
         EXPECT_EQ(P.TgaImageName, "Rose");
         EXPECT_EQ(P.TgaDescriptor, "A flower");
       }},
      {ioJ2K,
       [](TfIOPreviews* D) {
         Retype(D->Edit15, "250");
         Choose(D->ComboBox15, 0);
       },
       [](const TIOParamsVals& P) {
         EXPECT_DOUBLE_EQ(P.J2000Rate, 0.25);
         EXPECT_EQ(P.J2000ColorSpace, 0);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.SamplesPerPixel, 1);
       }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE("file type " + std::to_string(C.FileType));
    IO.IOParams()->SetDefaultParams();
    IO.IOParams()->FileType = C.FileType;
    EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
      C.Edit(D);
      SimulateKeyToTopWindow(VK_RETURN);
    }));
    C.Check(*IO.IOParams());
    EXPECT_EQ(IO.IOParams()->FileType, C.FileType == ioJP2 ? ioJ2K : C.FileType);
  }
}

TEST_F(PreviewDialog, CancelWritesNothingButWhatApplyWrote) {
  Load(Rose(), ioJPEG);
  IO.IOParams()->JpegQuality = 80;
  IO.IOParams()->JpegProgressive = false;
  bool ApplyEnabledAfterEdit = false, ApplyEnabledAfterClick = true;
  EXPECT_FALSE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Retype(D->Edit22, "40");
    ApplyEnabledAfterEdit = D->Button4->Enabled();
    SimulateClick(D->Button4);
    ApplyEnabledAfterClick = D->Button4->Enabled();
    Toggle(D->CheckBox3);
    SimulateKeyToTopWindow(VK_ESCAPE);
  }));
  EXPECT_TRUE(ApplyEnabledAfterEdit);
  EXPECT_FALSE(ApplyEnabledAfterClick);
  EXPECT_EQ(IO.IOParams()->JpegQuality, 40);
  EXPECT_FALSE(IO.IOParams()->JpegProgressive);
}

TEST_F(PreviewDialog, NumbersThatAreNoNumbersReadAsTheirDefaults) {
  Load(Rose(), ioJPEG);
  IO.IOParams()->JpegQuality = 80;
  AnsiString Shown;
  Integer Track = -1;
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    D->Edit22->SelectAll();
    D->Edit22->SetSelText("abc");  // pasted
    Track = D->TrackBar13->Position();
    Shown = D->Edit22->Text();
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  EXPECT_EQ(Track, 50);
  EXPECT_EQ(Shown, "50");
  EXPECT_EQ(IO.IOParams()->JpegQuality, 50);

  IO.IOParams()->FileType = ioJ2K;
  IO.IOParams()->J2000Rate = 0.5;
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    D->Edit15->SelectAll();
    D->Edit15->SetSelText("1500");
    Track = D->TrackBar1->Position();
    Shown = D->Edit15->Text();
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  EXPECT_EQ(Track, 1000);
  EXPECT_EQ(Shown, "1000");
  EXPECT_DOUBLE_EQ(IO.IOParams()->J2000Rate, 1.0);
}

TEST_F(PreviewDialog, SimplifiedTiffKeepsCompressionAndColoursConsistent) {
  Load(Rose(), ioTIFF);
  IO.SimplifiedParamsDialogs = true;
  IO.IOParams()->TiffCompression = 0;
  std::vector<std::string> Seen;
  auto Look = [&](TfIOPreviews* D) {
    Seen.push_back(D->ComboBox16->Text() + "/" + D->ComboBox17->Text() + "/" +
                   std::to_string(D->WorkingCopy.TiffPhotometInterpret));
  };
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Choose(D->ComboBox16, D->ComboBox16->Items()->IndexOf("G4FAX"));
    Look(D);
    Choose(D->ComboBox17, 2);  // 256
    Look(D);
    Choose(D->ComboBox16, D->ComboBox16->Items()->IndexOf("JPEG"));
    Look(D);
    Choose(D->ComboBox17, 1);  // 16
    Look(D);
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  EXPECT_EQ(Seen, (std::vector<std::string>{"G4FAX/2/1", "UNCOMPRESSED/256/1", "JPEG/16777216/6",
                                            "UNCOMPRESSED/16/6"}));
  EXPECT_EQ(IO.IOParams()->TiffCompression, 0);
  EXPECT_EQ(IO.IOParams()->BitsPerSample, 4);
}

TEST_F(PreviewDialog, TiffCompressionsTheListCannotShow) {
  Load(Rose(), ioTIFF);
  for (auto [Stored, Shown] : {std::pair<Byte, const char*>{10, "UNCOMPRESSED"}, {6, "UNCOMPRESSED"},
                               {11, "UNCOMPRESSED"}, {9, "ZIP"}, {8, "PACKBITS"}}) {
    IO.IOParams()->TiffCompression = Stored;
    AnsiString Text;
    Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
      Text = D->ComboBox2->Text();
      SimulateKeyToTopWindow(VK_ESCAPE);
    });
    EXPECT_EQ(Text, Shown) << int(Stored);
  }
}

// A geometry the colours list has no line for (16 bits in 3 samples) keeps that geometry when
// another field of the page is edited and confirmed.
TEST_F(PreviewDialog, AGeometryTheListCannotShowIsKept) {
  Load(Rose(), ioTIFF);
  IO.IOParams()->BitsPerSample = 16;
  IO.IOParams()->SamplesPerPixel = 3;
  IO.IOParams()->TiffPhotometInterpret = 2;
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Retype(D->Edit4, "Kept");
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  EXPECT_EQ(IO.IOParams()->TiffDocumentName, "Kept");
  EXPECT_EQ(IO.IOParams()->BitsPerSample, 16);
  EXPECT_EQ(IO.IOParams()->SamplesPerPixel, 3);
}

// A GIF holds at most 8 bits: a deeper record is shown as "256", never as no choice that a
// later edit would turn into 0 bits.
TEST_F(PreviewDialog, ADeeperImageIsOfferedTheRichestGifPalette) {
  Load(Rose(), ioGIF);
  IO.IOParams()->BitsPerSample = 16;
  IO.IOParams()->SamplesPerPixel = 1;
  AnsiString Shown;
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Shown = D->ComboBox5->Text();
    Toggle(D->CheckBox5);
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  EXPECT_EQ(Shown, "256");
  EXPECT_EQ(IO.IOParams()->BitsPerSample, 8);
  EXPECT_TRUE(IO.IOParams()->GifInterlaced);
}

// Coming back to the dialog from another window keeps what was typed.
TEST_F(PreviewDialog, ReturningToTheDialogKeepsItsEdits) {
  Load(Rose(), ioTIFF);
  TForm Other(nullptr);
  Other.SetCaption("Another window");
  EXPECT_TRUE(Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Retype(D->Edit4, "Typed");
    ShowActive(&Other);
    ShowActive(D);
    SimulateKeyToTopWindow(VK_RETURN);
  }));
  Other.Hide();
  EXPECT_EQ(IO.IOParams()->TiffDocumentName, "Typed");
}

// The palette a colour is picked from is never longer than the colour map behind it: the map
// left by an earlier preview of another page may hold fewer colours than its bits stand for.
TEST_F(PreviewDialog, ThePaletteOfferedIsNoLongerThanTheColourMap) {
  Load(Rose(), ioGIF);
  IO.IOParams()->BitsPerSample = 1;
  IO.IOParams()->SamplesPerPixel = 1;
  Integer Held = -1, Highlighted = -2;
  EXPECT_FALSE(Open(IEPreviewPage(ppALL), [&](TfIOPreviews* D) {
    // A 16-colour BMP preview leaves its 16-colour map in the source's parameters; a preview in
    // 16M colours then copies it unchanged beside its 24 bits.
    SimulateTabClick(D->PageControl1, D->TabSheetBMP1->PageIndex());
    Choose(D->ComboBox7, 1);
    SimulateClick(D->Button3);
    Choose(D->ComboBox7, 3);
    SimulateClick(D->Button3);
    SimulateTabClick(D->PageControl1, D->TabSheetPNG1->PageIndex());
    TIOParamsVals* R = D->ZodivEr2->IOComponent()->IOParams();
    Held = R->ColorMapCount;
    TTimer Inside(nullptr);
    Inside.SetInterval(20);
    Inside.OnTimer = [&](TObject*) {
      for (Integer I = 0; I < D->ComponentCount(); ++I)
        if (auto* P = dynamic_cast<TZodivErPaletteDialog*>(D->Components(I)); P && P->Modal()) {
          Inside.SetEnabled(false);
          // The pointer over the fourth row of cells: a colour only in a 256-colour palette.
          SimulateMouse(P, smMove, mbLeft, 40, 3 * 16 + 8);
          Highlighted = P->HighlightedCell();
          P->Close();
        }
    };
    Inside.SetEnabled(true);
    D->Panel1->SetFocus();
    SimulateKey(D->Panel1, VK_SPACE);
    Inside.SetEnabled(false);
    SimulateKeyToTopWindow(VK_ESCAPE);
  }));
  ASSERT_GT(Held, 0);
  ASSERT_LT(Held, 96);
  EXPECT_EQ(Highlighted, -1);
}

// --- words ----------------------------------------------------------------------------------

TEST_F(PreviewDialog, CaptionsComeFromTheWordTableInTheChosenLanguage) {
  EXPECT_EQ(WideToAnsi(IEGetLanguageText(37, msGerman)), "Parameter-Vorschau");
  EXPECT_EQ(WideToAnsi(IEGetLanguageText(0, msChinese)), "预览");
  Load(Gradient(20, 10), ioJPEG);
  struct Case {
    TMsgLanguage Language;
    const char* Locale;
    const char *Caption, *Cancel, *Preview, *Quality;
  };
  const Case Cases[] = {
      {msGerman, nullptr, "Parameter-Vorschau", "Abbrechen", "Vorschau", nullptr},
      {msChinese, nullptr, "参数预览", "取消", "预览", nullptr},
      {msSystem, "de_DE.UTF-8", "Parameter-Vorschau", "Abbrechen", "Vorschau", nullptr},
      {msSystem, "zh_TW.UTF-8", "參數預覽", "取消", "預覽", nullptr},
      {msSystem, "hu_HU.UTF-8", "Parameters Preview", "Cancel", "Preview", "Quality:"},
  };
  const char* Saved = std::getenv("LC_ALL");
  const std::optional<std::string> Keep = Saved ? std::optional<std::string>(Saved) : std::nullopt;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Caption);
    if (C.Locale) setenv("LC_ALL", C.Locale, 1);
    IO.MsgLanguage = C.Language;
    AnsiString Caption, Cancel, Preview, Quality, PaletteCancel;
    Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
      Caption = D->Caption();
      Cancel = D->Button2->Caption();
      Preview = D->Button3->Caption();
      Quality = D->Label23->Caption();
      PaletteCancel = WideToAnsi(D->PaletteCancelCaption);
      SimulateKeyToTopWindow(VK_ESCAPE);
    });
    if (Keep)
      setenv("LC_ALL", Keep->c_str(), 1);
    else
      unsetenv("LC_ALL");
    EXPECT_EQ(Caption, C.Caption);
    EXPECT_EQ(Cancel, C.Cancel);
    EXPECT_EQ(Preview, C.Preview);
    EXPECT_EQ(PaletteCancel, "&" + Cancel);
    if (C.Quality) {
      EXPECT_EQ(Quality, C.Quality);
    }
  }
}

// --- keyboard and screen readers ------------------------------------------------------------

// Every field of each page is reached with Tab alone; Esc leaves without writing, Enter writes.
TEST_F(PreviewDialog, EveryFieldIsReachedByTab) {
  Load(Rose(), ioJPEG);
  IO.SimplifiedParamsDialogs = false;
  std::map<std::string, std::vector<std::string>> Missed;
  EXPECT_FALSE(Open(IEPreviewPage(ppALL), [&](TfIOPreviews* D) {
    for (Integer Page = 0; Page < D->PageControl1->PageCount(); ++Page) {
      if (!D->PageControl1->Pages(Page)->TabVisible()) continue;
      SimulateTabClick(D->PageControl1, Page);
      TTabSheet* Sheet = D->PageControl1->ActivePage();
      std::vector<TWinControl*> Fields;
      std::function<void(TWinControl*)> Collect = [&](TWinControl* Parent) {
        for (Integer I = 0; I < Parent->ControlCount(); ++I) {
          auto* C = dynamic_cast<TWinControl*>(Parent->Controls(I));
          if (!C || !C->Showing() || !C->Enabled()) continue;
          if (dynamic_cast<TEdit*>(C) || dynamic_cast<TComboBox*>(C) || dynamic_cast<TCheckBox*>(C) ||
              dynamic_cast<TTrackBar*>(C) || dynamic_cast<TPanel*>(C))
            Fields.push_back(C);
          Collect(C);
        }
      };
      Collect(Sheet);
      for (TWinControl* Extra : std::initializer_list<TWinControl*>{D->Button1, D->Button2, D->Button3, D->Button4,
                                                                    D->chkLockPreview})
        if (Extra->Enabled() && Extra->Showing()) Fields.push_back(Extra);
      std::set<TWinControl*> Reached;
      D->Button1->SetFocus();
      for (Integer Press = 0; Press < 60; ++Press) {
        SimulateKeyToTopWindow(VK_TAB);
        Application->ProcessMessages();
        Reached.insert(D->ActiveControl());
      }
      for (TWinControl* F : Fields)
        if (!Reached.count(F)) Missed[Sheet->Name()].push_back(F->Name());
    }
    SimulateKeyToTopWindow(VK_ESCAPE);
  }));
  EXPECT_TRUE(Missed.empty()) << [&] {
    std::string S;
    for (auto& [Sheet, Names] : Missed) {
      S += Sheet + ":";
      for (auto& N : Names) S += " " + N;
      S += "\n";
    }
    return S;
  }();
}

TEST_F(PreviewDialog, ScreenReadersHearEachFieldsRoleAndName) {
  Load(Rose(), ioGIF);
  struct Heard {
    AnsiString Role, Name;
  };
  std::map<std::string, Heard> H;
  auto Listen = [&](std::initializer_list<TControl*> Controls) {
    for (TControl* C : Controls) H[C->Name()] = {AccessibleRole(C), AccessibleName(C)};
  };
  Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Listen({D->ComboBox5, D->Edit9, D->CheckBox4, D->CheckBox5, D->Edit10, D->Edit12, D->Panel4, D->Button1,
            D->Button2, D->Button3, D->chkLockPreview});
    SimulateKeyToTopWindow(VK_ESCAPE);
  });
  IO.IOParams()->FileType = ioJPEG;
  Open(IEPreviewPage(ppAUTO), [&](TfIOPreviews* D) {
    Listen({D->Edit22, D->TrackBar13, D->ComboBox1, D->Edit23, D->ComboBox13, D->CheckBox2});
    SimulateKeyToTopWindow(VK_ESCAPE);
  });
  const std::map<std::string, Heard> Expected = {
      {"ComboBox5", {"combo box", "Colors:"}},
      {"Edit9", {"editable text", "Image index:"}},
      {"CheckBox4", {"check box", "Transparent:"}},
      {"CheckBox5", {"check box", "Interlaced:"}},
      {"Edit10", {"editable text", "Horiz. Position:"}},
      {"Edit12", {"editable text", "Delay time:"}},
      {"Panel4", {"", "Background"}},
      {"Button1", {"push button", "OK"}},
      {"Button2", {"push button", "Cancel"}},
      {"Button3", {"push button", "Preview"}},
      {"chkLockPreview", {"check box", "Lock preview"}},
      {"Edit22", {"editable text", "Quality:"}},
      {"TrackBar13", {"slider", "Quality"}},
      {"ComboBox1", {"combo box", "DCT method:"}},
      {"Edit23", {"editable text", "Smoothing factor:"}},
      {"ComboBox13", {"combo box", "Photometric:"}},
      {"CheckBox2", {"check box", "Optimal Huffman"}},
  };
  for (const auto& [Name, E] : Expected) {
    SCOPED_TRACE(Name);
    if (!E.Role.empty()) {
      EXPECT_EQ(H[Name].Role, E.Role);
    }
    EXPECT_EQ(H[Name].Name, E.Name);
  }
}

// The dialog as it shows on a real X server (Xvfb), saved as a PNG for a person to look at:
// the test runs itself again under xvfb-run with the xcb platform and checks the picture.
TEST_F(PreviewDialog, ScreenshotOnAnXServer) {
  if (const char* Out = std::getenv("CLV_PREVIEW_DIALOG_SHOT")) {
    Load(Rose(), ioJPEG);
    for (bool Simplified : {false, true}) {
      IO.SimplifiedParamsDialogs = Simplified;
      Open(IEPreviewPage(ppALL), [&](TfIOPreviews* D) {
        for (Integer Page = 0; Page < D->PageControl1->PageCount(); ++Page) {
          if (!D->PageControl1->Pages(Page)->TabVisible()) continue;
          SimulateTabClick(D->PageControl1, Page);
          SimulateClick(D->Button3);
          const AnsiString Name = (Simplified ? "simplified-" : "") + D->PageControl1->ActivePage()->Caption();
          EXPECT_TRUE(SaveFormImage(D, std::string(Out) + "/" + Name + ".png")) << Name;
        }
        SimulateKeyToTopWindow(VK_ESCAPE);
      });
    }
    return;
  }
  const std::string Dir = testsupport::MakeTempDir("previewshot");
  const std::string Command = "CLV_PREVIEW_DIALOG_SHOT=" + testsupport::ShellQuote(Dir) +
                              " QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1024x768x24' /proc/" +
                              std::to_string(getpid()) +
                              "/exe --gtest_filter=PreviewDialog.ScreenshotOnAnXServer >" +
                              testsupport::ShellQuote(Dir + "/log") + " 2>&1";
  EXPECT_EQ(testsupport::Run(Command), 0) << testsupport::RunOk("cat " + testsupport::ShellQuote(Dir + "/log"));
  for (const char* Page : {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"}) {
    const std::string Shot = Dir + "/" + Page + ".png";
    std::string Size;
    ASSERT_EQ(testsupport::Run("identify -format '%w %h' " + testsupport::ShellQuote(Shot), &Size), 0) << Page;
    int Width = 0, Height = 0;
    ASSERT_EQ(std::sscanf(Size.c_str(), "%d %d", &Width, &Height), 2) << Size;
    EXPECT_GE(Width, 527) << Page;
    EXPECT_GE(Height, 425) << Page;
  }
  // Kept for a look when asked for.
  if (const char* Keep = std::getenv("CLV_KEEP_PREVIEW_SHOTS"))
    testsupport::RunOk("cp " + testsupport::ShellQuote(Dir) + "/*.png " + testsupport::ShellQuote(Keep));
  testsupport::RemoveTree(Dir);
}

}  // namespace
