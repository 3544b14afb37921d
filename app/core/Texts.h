#pragma once
// The wizard's text table: every text the wizard shows, by numeric id (101..145; 146..155 on
// the flash kernels in use; 160..168 on several units, verification and the update record), in
// English and German. Texts are UTF-8; \n is a line break, \t a tab, %s a place for FormatText.
#include <initializer_list>
#include <string>

enum class ETextLanguage
{
    English,
    German,
};

// The language chosen once per process: German when the first non-empty of LC_ALL,
// LC_MESSAGES and LANG begins with "de", English otherwise.
ETextLanguage GetTextLanguage();
// Forces the language (tests; a front-end's explicit choice).
void SelectTextLanguage(ETextLanguage language);
// The rule above applied to given values of LC_ALL, LC_MESSAGES and LANG (null: unset).
ETextLanguage TextLanguageFromLocale(const char* pszLcAll, const char* pszLcMessages, const char* pszLang);

// The text of the id in the current language; empty for an id the table does not have.
std::string LoadText(unsigned nId);
std::string LoadText(unsigned nId, ETextLanguage language);

// Replaces each "%s" of strFormat, left to right, with the next argument taken literally
// (a "%s" inside an argument stays as it is); "%%" becomes "%". Missing arguments leave
// "%s" empty.
std::string FormatText(const std::string& strFormat, std::initializer_list<std::string> args);
