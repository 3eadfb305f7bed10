#include "imaging/core/ie_language.h"

#include <cstdlib>

WideString IEWordTable[IELanguageCount][IEWordCount];

namespace {

bool ValidLanguage(TMsgLanguage Language) { return static_cast<Integer>(Language) < IELanguageCount; }

// Windows primary language ids of the ISO 639-1 codes the table knows.
struct TLanguageCode {
  const char* Code;
  Integer Primary;
};
constexpr TLanguageCode kCodes[] = {{"zh", 4},  {"cs", 5},  {"da", 6},  {"de", 7},  {"el", 8},  {"en", 9},
                                    {"es", 10}, {"fi", 11}, {"fr", 12}, {"it", 16}, {"ja", 17}, {"ko", 18},
                                    {"nl", 19}, {"pl", 21}, {"pt", 22}, {"ru", 25}, {"sv", 29}, {"tr", 31},
                                    {"fa", 41}};

}  // namespace

void IESetLanguageText(TMsgLanguage Language, Byte Id, const WideString& Text) {
  if (!ValidLanguage(Language) || Id >= IEWordCount) return;
  IEWordTable[Language][Id] = Text;
}

TMsgLanguage IELanguageFromLangId(Integer PrimaryLanguage, Integer SubLanguage) {
  switch (PrimaryLanguage) {
    case 4: return SubLanguage == 1 ? msChineseTraditional : (SubLanguage == 2 ? msChinese : msEnglish);
    case 5: return msCzech;
    case 6: return msDanish;
    case 7: return msGerman;
    case 8: return msGreek;
    case 9: return msEnglish;
    case 10: return msSpanish;
    case 11: return msFinnish;
    case 12: return msFrench;
    case 16: return msItalian;
    case 17: return msJapanese;
    case 18: return msKorean;
    case 19: return msDutch;
    case 21: return msPolish;
    case 22: return msPortuguese;
    case 25: return msRussian;
    case 29: return msSwedish;
    case 31: return msTurkish;
    case 41: return msFarsi;
    default: return msEnglish;
  }
}

TMsgLanguage IELanguageFromLocaleName(const AnsiString& LocaleName) {
  AnsiString code = LocaleName.substr(0, LocaleName.find_first_of("_.@"));
  for (const TLanguageCode& c : kCodes) {
    if (code != c.Code) continue;
    Integer sub = 0;
    if (c.Primary == 4) {
      // Windows sub-languages: 1 Taiwan (traditional), 2 the People's Republic (simplified);
      // Hong Kong, Singapore and Macao have ids of their own that the table does not list.
      AnsiString region = LocaleName.size() >= 5 && LocaleName[2] == '_' ? LocaleName.substr(3, 2) : "";
      sub = region == "TW" ? 1 : (region == "CN" ? 2 : 0);
    }
    return IELanguageFromLangId(c.Primary, sub);
  }
  return msEnglish;
}

AnsiString IESystemLocaleName() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  return "C";
}

WideString IEGetLanguageText(Byte Id, TMsgLanguage Language) {
  if (Id >= IEWordCount || !ValidLanguage(Language)) return WideString();
  if (Language == msSystem) return IEWordTable[IELanguageFromLocaleName(IESystemLocaleName())][Id];
  const WideString& text = IEWordTable[Language][Id];
  return text.empty() ? IEWordTable[msEnglish][Id] : text;
}
