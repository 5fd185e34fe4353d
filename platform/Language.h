// The language the program speaks: the Japanese texts under a Japanese or C locale, English elsewhere.
#pragma once

#include <QString>

enum class Language { Japanese, English };

// LYSTREL2_LANG ("ja" or "en") when set; else the locale of messages (LC_ALL, LC_MESSAGES, LANG, the
// first one set, then LANGUAGE's first entry unless the locale is C): Japanese for "ja..", "C",
// "POSIX" or nothing, English for anything else.
Language chosenLanguage();
// Makes `language` the one that tr() answers in from now on; widgets made before keep their texts.
// Call with a QCoreApplication in existence, on its thread.
void useLanguage(Language language);
// The language last chosen with useLanguage (Japanese before any).
Language currentLanguage();
// The help page's file name in the current language.
QString helpPageName();
