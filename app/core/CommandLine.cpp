#include "app/core/CommandLine.h"

#include <string_view>

std::vector<SCommandLineOption> SplitCommandLine(const std::string& strCmdLine)
{
    // Byte-wise: the prefixes, separators and quote are ASCII, and in UTF-8 an ASCII byte is
    // never part of a longer character.
    std::vector<SCommandLineOption> options;
    const std::string_view line(strCmdLine);
    std::size_t nPos = 0;
    while (nPos < line.size())
    {
        const std::size_t nPrefix = line.find_first_of("-/", nPos);
        if (nPrefix == std::string_view::npos || nPrefix + 1 >= line.size())
        {
            break;
        }
        const std::size_t nNameStart = nPrefix + 1;
        const std::size_t nSep = line.find_first_of(" :", nNameStart);
        SCommandLineOption option;
        if (nSep == std::string_view::npos)
        {
            option.strName = line.substr(nNameStart);
            options.push_back(std::move(option));
            break;
        }
        option.strName = line.substr(nNameStart, nSep - nNameStart);
        if (line[nSep] == ' ' || nSep + 1 == line.size())
        {
            options.push_back(std::move(option));
            nPos = nSep + 1;
            continue;
        }

        option.bHasValue = true;
        const std::size_t nValue = nSep + 1;
        bool bLast = false;
        if (line[nValue] == '"')
        {
            const std::size_t nClose = line.find('"', nValue + 1);
            if (nClose == std::string_view::npos)
            {
                option.strValue = line.substr(nValue + 1);
                bLast = true;
            }
            else
            {
                option.strValue = line.substr(nValue + 1, nClose - nValue - 1);
                nPos = nClose + 1;
            }
        }
        else
        {
            const std::size_t nSpace = line.find(' ', nValue);
            if (nSpace == std::string_view::npos)
            {
                option.strValue = line.substr(nValue);
                bLast = true;
            }
            else
            {
                option.strValue = line.substr(nValue, nSpace - nValue);
                nPos = nSpace + 1;
            }
        }
        options.push_back(std::move(option));
        if (bLast)
        {
            break;
        }
    }
    return options;
}

namespace
{

std::string QuoteArgument(const std::string& strArg)
{
    if (strArg.find(' ') == std::string::npos)
    {
        return strArg;
    }
    // "-name:value" or "/name:value": quote the value, which the parser then reads whole.
    if (!strArg.empty() && (strArg[0] == '-' || strArg[0] == '/'))
    {
        const std::size_t nColon = strArg.find(':');
        const std::size_t nSpace = strArg.find(' ');
        if (nColon != std::string::npos && nColon < nSpace && nColon + 1 < strArg.size())
        {
            const std::string strName = strArg.substr(0, nColon + 1);
            const std::string strValue = strArg.substr(nColon + 1);
            const std::size_t nQuote = strValue.find('"', 1);
            if (strValue.front() == '"' && nQuote == strValue.size() - 1)
            {
                return strArg; // quoted already
            }
            // A quoted value ends at the next '"'. Cut short there, the value would name
            // another file and its rest would read as further options (another port, another
            // file), so a value the line cannot carry whole is dropped: the wizard then asks.
            if (strValue.find('"') != std::string::npos)
            {
                return strName;
            }
            return strName + '"' + strValue + '"';
        }
    }
    return '"' + strArg + '"';
}

} // namespace

std::string JoinCommandLine(int argc, const char* const* argv)
{
    std::string strLine;
    for (int i = 1; i < argc; ++i)
    {
        if (argv[i] == nullptr)
        {
            break;
        }
        if (i > 1)
        {
            strLine += ' ';
        }
        strLine += QuoteArgument(argv[i]);
    }
    return strLine;
}

std::string JoinCommandLine(int argc, char** argv)
{
    return JoinCommandLine(argc, const_cast<const char* const*>(argv));
}

std::string AppNameFromPath(const std::string& strPath)
{
    const std::size_t nSlash = strPath.find_last_of("/\\");
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    // A leading dot belongs to the name: ".orlix" has no extension.
    const std::size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos && nDot > 0)
    {
        strName.erase(nDot);
    }
    return strName;
}

bool FindKernelFolderOption(const std::string& strCmdLine, std::string& strFolder)
{
    bool bFound = false;
    for (const SCommandLineOption& option : SplitCommandLine(strCmdLine))
    {
        if (option.strName == "k" || option.strName == "K")
        {
            bFound = true;
            strFolder = option.strValue;
        }
    }
    return bFound;
}
