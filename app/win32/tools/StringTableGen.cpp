// Writes the wizard's text table as two resource-script STRINGTABLEs, German and English,
// so the Windows program's string tables come from the one table the core holds. Built for
// the build machine and run during the Windows build: StringTableGen OUTPUT.rc
#include "app/core/Texts.h"

#include <cstdio>
#include <string>

namespace
{

constexpr unsigned FIRST_TEXT_ID = 101;
constexpr unsigned LAST_TEXT_ID = 145;

// A resource-script string literal: the file is read as UTF-8 (code_page 65001), so only
// quotes, backslashes and control characters need escapes.
std::string Quote(const std::string& strText)
{
    std::string strOut = "\"";
    for (const char ch : strText)
    {
        switch (ch)
        {
        case '"':
            strOut += "\"\"";
            break;
        case '\\':
            strOut += "\\\\";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\t':
            strOut += "\\t";
            break;
        default:
            strOut += ch;
            break;
        }
    }
    return strOut + "\"";
}

void WriteTable(std::FILE* pFile, ETextLanguage language, const char* pszLanguage)
{
    std::fprintf(pFile, "\nLANGUAGE %s\nSTRINGTABLE\nBEGIN\n", pszLanguage);
    for (unsigned nId = FIRST_TEXT_ID; nId <= LAST_TEXT_ID; ++nId)
    {
        const std::string strText = LoadText(nId, language);
        if (!strText.empty())
        {
            std::fprintf(pFile, "    %u, %s\n", nId, Quote(strText).c_str());
        }
    }
    std::fprintf(pFile, "END\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: StringTableGen OUTPUT.rc\n");
        return 2;
    }
    std::FILE* pFile = std::fopen(argv[1], "wb");
    if (pFile == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(pFile, "// Generated from the wizard's text table; do not edit.\n");
    // German for a German interface; English (United States) for every other one, as that is
    // the resource loader's last choice before simply the first table. No neutral table: the
    // loader would take it before the interface language.
    WriteTable(pFile, ETextLanguage::German, "LANG_GERMAN, SUBLANG_GERMAN");
    WriteTable(pFile, ETextLanguage::English, "LANG_ENGLISH, SUBLANG_ENGLISH_US");
    const bool bOk = std::fclose(pFile) == 0;
    return bOk ? 0 : 1;
}
