// The library's start-up and shutdown order, their nesting, and the word table lookups.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/ie_dialog_texts.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_language.h"
#include "imaging/core/ie_startup.h"

namespace {

std::vector<std::string> gEvents;

void RecordInit() { gEvents.push_back("init wia"); }
void RecordFinal() { gEvents.push_back("final wia"); }

TEST(IEStartup, StepsRunOnceInOrderAndStopInReverse) {
  ASSERT_FALSE(IELibraryStarted());
  IERegisterStartupStep(iessWia, RecordInit, RecordFinal);
  gEvents.clear();
  IEStartupTrace = [](TIEStartupStep step, bool starting) {
    gEvents.push_back(std::string(starting ? "+" : "-") + IEStartupStepName(step));
  };
  IEGrayWeights = TIEGrayWeights{1, 2, 3};
  IEDialogsBackground = 2;

  IEFinalize();  // not started: nothing happens
  EXPECT_TRUE(gEvents.empty());
  IEInitialize();
  IEInitialize();
  EXPECT_EQ(IEStartupSentinel(), "STATICINIT");
  std::vector<std::string> started = gEvents;
  IEFinalize();
  EXPECT_EQ(gEvents, started) << "the inner shutdown must not stop anything";
  IEFinalize();
  EXPECT_EQ(IEStartupSentinel(), "");
  IEFinalize();

  const std::vector<std::string> order = {"anti-aliased drawing", "definitions", "utilities", "JPEG 2000",
                                          "vector objects", "file I/O", "processing", "view", "CCITT",
                                          "text control", "WIA", "preset images"};
  std::vector<std::string> expected;
  for (const std::string& name : order) {
    expected.push_back("+" + name);
    if (name == "WIA") expected.push_back("init wia");
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    expected.push_back("-" + *it);
    if (*it == "WIA") expected.push_back("final wia");
  }
  EXPECT_EQ(gEvents, expected);
  EXPECT_EQ(IEGrayWeights.Red, 21);
  EXPECT_EQ(IEGrayWeights.Green, 71);
  EXPECT_EQ(IEGrayWeights.Blue, 8);
  EXPECT_EQ(IEDialogsBackground, 0);
  EXPECT_EQ(IECosineTable[0], 0);
  EXPECT_EQ(IECosineTable[255], 128);
  EXPECT_EQ(IECosineTable[128], 64);  // cos(128 pi / 255) is just below 0

  // After a full stop everything starts again.
  gEvents.clear();
  IEInitialize();
  EXPECT_EQ(gEvents.size(), 13u);
  IEFinalize();
  IEStartupTrace = nullptr;
  IERegisterStartupStep(iessWia, nullptr, nullptr);
}

TEST(IELanguage, ExplicitUserAndSystemLookups) {
  IESetLanguageText(msEnglish, 3, u"Quality");
  IESetLanguageText(msEnglish, 4, u"Width");
  IESetLanguageText(msGerman, 3, u"Qualit\u00e4t");
  IESetLanguageText(msChinese, 3, u"\u8d28\u91cf");
  IESetLanguageText(msUser, 4, u"Breite!");
  IESetLanguageText(msUser, 200, u"ignored");  // beyond the table

  EXPECT_EQ(IEGetLanguageText(3, msGerman), u"Qualit\u00e4t");
  EXPECT_EQ(IEGetLanguageText(4, msGerman), u"Width");
  EXPECT_EQ(IEGetLanguageText(3, msUser), u"Quality");
  EXPECT_EQ(IEGetLanguageText(4, msUser), u"Breite!");
  EXPECT_EQ(IEGetLanguageText(200, msUser), u"");
  EXPECT_EQ(IEGetLanguageText(5, msFrench), u"");

  struct {
    const char* locale;
    TMsgLanguage language;
  } locales[] = {{"de_DE.UTF-8", msGerman}, {"zh_TW.UTF-8", msChineseTraditional}, {"zh_CN", msChinese},
                 {"zh_SG.UTF-8", msEnglish}, {"eu_ES.UTF-8", msEnglish}, {"C", msEnglish}, {"fa_IR", msFarsi},
                 {"pt_BR.UTF-8", msPortuguese}, {"sv_SE@euro", msSwedish}};
  for (auto l : locales) EXPECT_EQ(IELanguageFromLocaleName(l.locale), l.language) << l.locale;
  EXPECT_EQ(IELanguageFromLangId(4, 3), msEnglish);
  EXPECT_EQ(IELanguageFromLangId(41, 1), msFarsi);

  const char* saved = std::getenv("LC_ALL");
  std::string keep = saved ? saved : "";
  setenv("LC_ALL", "de_AT.UTF-8", 1);
  EXPECT_EQ(IEGetLanguageText(3, msSystem), u"Qualit\u00e4t");
  EXPECT_EQ(IEGetLanguageText(4, msSystem), u"");  // no English fallback on the system path
  setenv("LC_ALL", "zh_HK.UTF-8", 1);
  EXPECT_EQ(IEGetLanguageText(3, msSystem), u"Quality");
  if (saved) setenv("LC_ALL", keep.c_str(), 1); else unsetenv("LC_ALL");
  IEFreeLanguageTexts();
}

// Sets LC_ALL for one scope and puts the old value back.
class TLocaleScope {
 public:
  explicit TLocaleScope(const char* Locale) {
    const char* old = std::getenv("LC_ALL");
    FHad = old != nullptr;
    if (old) FOld = old;
    setenv("LC_ALL", Locale, 1);
  }
  ~TLocaleScope() {
    if (FHad) setenv("LC_ALL", FOld.c_str(), 1);
    else unsetenv("LC_ALL");
  }

 private:
  bool FHad = false;
  std::string FOld;
};

TEST(IELanguage, StartUpFillsTheBuiltInWordsAndShutdownEmptiesThem) {
  IEInitialize();
  EXPECT_EQ(IEGetLanguageText(dtParametersPreview, msEnglish), u"Parameters Preview");
  EXPECT_EQ(IEGetLanguageText(dtLockPreviewHint, msEnglish),
            u"Automatically updates your preview with the changes you have selected");
  EXPECT_EQ(IEGetLanguageText(dtFit, msEnglish), u"Fit");
  EXPECT_EQ(IEGetLanguageText(dtParametersPreview, msGerman), u"Parameter-Vorschau");
  EXPECT_EQ(IEGetLanguageText(dtPreview, msChinese), u"\u9884\u89c8");
  EXPECT_EQ(IEGetLanguageText(dtOK, msChineseTraditional), u"\u78ba\u5b9a");
  EXPECT_EQ(IEGetLanguageText(dtRate, msSwedish), u"Proportion");
  EXPECT_EQ(IEGetLanguageText(dtApply, msDutch), u"Toepassen");

  // Every built-in row is whole, except the Polish row's rate; the host's row starts empty.
  for (Integer language = msEnglish; language <= msKorean; ++language)
    for (Integer id = 0; id < IEWordCount; ++id)
      EXPECT_EQ(IEWordTable[language][id].empty(), language == msPolish && id == dtRate) << language << " " << id;
  for (Integer id = 0; id < IEWordCount; ++id) EXPECT_TRUE(IEWordTable[msUser][id].empty());

  // An explicit language falls back to English; the system path does not.
  EXPECT_EQ(IEGetLanguageText(dtRate, msPolish), u"Rate");
  {
    TLocaleScope polish("pl_PL.UTF-8");
    EXPECT_EQ(IEGetLanguageText(dtRate, msSystem), u"");
    EXPECT_EQ(IEGetLanguageText(dtCancel, msSystem), u"Cancel");
  }
  {
    TLocaleScope german("de_DE.UTF-8");
    EXPECT_EQ(IEGetLanguageText(dtCancel, msSystem), u"Abbrechen");
    EXPECT_EQ(IEGetLanguageText(dtQuality, msSystem), u"Quality") << "rows without a word keep English";
  }
  for (const char* english : {"hu_HU.UTF-8", "zh_HK.UTF-8"}) {
    TLocaleScope scope(english);
    EXPECT_EQ(IEGetLanguageText(dtPreview, msSystem), u"Preview") << english;
  }

  EXPECT_EQ(IEGetLanguageText(dtParametersPreview, msUser), u"Parameters Preview");
  IESetLanguageText(msUser, dtParametersPreview, u"Vorschau der Parameter");
  EXPECT_EQ(IEGetLanguageText(dtParametersPreview, msUser), u"Vorschau der Parameter");

  IEFinalize();
  EXPECT_EQ(IEGetLanguageText(dtParametersPreview, msUser), u"");
  EXPECT_EQ(IEGetLanguageText(dtPreview, msEnglish), u"");
}

}  // namespace

