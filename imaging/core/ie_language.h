// The word table of the library's parameter dialogs: one row of texts per language, one column
// per word id, and the lookup that falls back to English or follows the system locale.
#pragma once

#include "platform/rtl/types.h"

enum TMsgLanguage : Byte {
  msSystem = 0,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msDanish,
  msTurkish,
  msKorean,
  msUser,
};

inline constexpr Integer IELanguageCount = 22;
inline constexpr Integer IEWordCount = 146;

extern WideString IEWordTable[IELanguageCount][IEWordCount];

// Ids beyond the table are ignored.
void IESetLanguageText(TMsgLanguage Language, Byte Id, const WideString& Text);
// An explicit language falls back to English for an empty entry; msSystem answers the entry of
// the locale's language as it is. Ids beyond the table give an empty text.
WideString IEGetLanguageText(Byte Id, TMsgLanguage Language);

// Row for a Windows primary language id and sub-language (msEnglish when not in the table).
TMsgLanguage IELanguageFromLangId(Integer PrimaryLanguage, Integer SubLanguage);
// Row for a POSIX locale name such as "de_DE.UTF-8" or "zh_TW".
TMsgLanguage IELanguageFromLocaleName(const AnsiString& LocaleName);
// The locale the user's messages follow (LC_ALL, else LC_MESSAGES, else LANG).
AnsiString IESystemLocaleName();
