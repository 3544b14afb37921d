#include "app/gui/FileFilter.h"

#include <vector>

namespace
{
std::string_view Trim(std::string_view str)
{
    const auto nFirst = str.find_first_not_of(" \t");
    if (nFirst == std::string_view::npos)
    {
        return {};
    }
    const auto nLast = str.find_last_not_of(" \t");
    return str.substr(nFirst, nLast - nFirst + 1);
}

std::vector<std::string_view> Split(std::string_view str, char chSep)
{
    std::vector<std::string_view> parts;
    size_t nStart = 0;
    for (;;)
    {
        const auto nPos = str.find(chSep, nStart);
        if (nPos == std::string_view::npos)
        {
            parts.push_back(str.substr(nStart));
            return parts;
        }
        parts.push_back(str.substr(nStart, nPos - nStart));
        nStart = nPos + 1;
    }
}
} // namespace

std::string ConvertFileFilter(std::string_view strFilter)
{
    const auto nEnd = strFilter.find("||");
    if (nEnd != std::string_view::npos)
    {
        strFilter = strFilter.substr(0, nEnd);
    }
    if (strFilter.empty())
    {
        return {};
    }
    const auto fields = Split(strFilter, '|');
    std::string strOut;
    for (size_t i = 0; i + 1 < fields.size(); i += 2)
    {
        std::string strPatterns;
        for (const auto pattern : Split(fields[i + 1], ';'))
        {
            const auto trimmed = Trim(pattern);
            if (trimmed.empty())
            {
                continue;
            }
            if (!strPatterns.empty())
            {
                strPatterns += ';';
            }
            strPatterns += trimmed;
        }
        if (strPatterns.empty())
        {
            continue;
        }
        if (!strOut.empty())
        {
            strOut += '|';
        }
        strOut += fields[i];
        strOut += '|';
        strOut += strPatterns;
    }
    return strOut;
}
