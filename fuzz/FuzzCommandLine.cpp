// Feeds arbitrary bytes to COrlixDlg::ParseCommandLine as the command line and compares the
// options it sets with a plain character-by-character reading of the parsing rules. The same
// bytes, split at NUL into arguments, also check that a path joined into a command line by
// JoinCommandLine is read back whole, whatever characters it holds.
#include "app/core/CommandLine.h"
#include "app/core/OrlixDlg.h"
#include "app/core/WizardView.h"
#include "fuzz/SRecordModel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
[[noreturn]] void Fail(const char* pWhat)
{
    std::fprintf(stderr, "fuzz_command_line: %s\n", pWhat);
    std::abort();
}

// A path with a '"' that the parser takes for the end or start of a value is tolerated when
// ORLIX_FUZZ_KNOWN names "quoted-path" (see fuzz/SRecordModel.h); the hits are counted.
bool g_bQuotedPathKnown = false;
unsigned long g_nQuotedPathHits = 0;

void ReportKnown()
{
    std::fprintf(stderr, "fuzz_command_line: known finding quoted-path hit %lu times\n", g_nQuotedPathHits);
}

// ParseCommandLine touches no window; every operation here is a no-op.
class CNullView : public IWizardView
{
public:
    void SetControlText(int, const std::string&) override {}
    void SetControlIcon(int, EViewIcon) override {}
    void ShowControl(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void PlaySound(EViewSound) override {}
    void MessageBox(const std::string&, const std::string&, EMsgBoxIcon) override {}
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusPane(int, const std::string&) override {}
    void PostWizardMessage(SWizardMessage) override {}
    void Pause(uint32_t) override {}
    void EndDialog() override {}
};

struct SOptions
{
    std::string strFile;
    int bAuto = 0;
    int bRepeat = 0;
    std::vector<std::string> ports;

    bool operator==(const SOptions&) const = default;
};

void Apply(const std::string& strName, const std::string& strValue, SOptions& options)
{
    if (strName == "f" || strName == "F")
    {
        options.strFile = strValue;
    }
    else if (strName == "a" || strName == "A")
    {
        options.bAuto = 1;
    }
    else if (strName == "r" || strName == "R")
    {
        options.bRepeat = 1;
    }
    else if ((strName == "p" || strName == "P") && !strValue.empty())
    {
        options.ports.push_back(strValue);
    }
}

// The rules, one character at a time.
SOptions ReferenceParse(const std::string& strLine)
{
    SOptions options;
    const std::size_t n = strLine.size();
    std::size_t i = 0;
    while (i < n)
    {
        while (i < n && strLine[i] != '-' && strLine[i] != '/')
        {
            ++i;
        }
        if (i + 1 >= n)
        {
            break;
        }
        const std::size_t nName = ++i;
        while (i < n && strLine[i] != ' ' && strLine[i] != ':')
        {
            ++i;
        }
        const std::string strName = strLine.substr(nName, i - nName);
        if (i == n)
        {
            Apply(strName, "", options);
            break;
        }
        if (strLine[i] == ' ' || i + 1 == n)
        {
            Apply(strName, "", options);
            ++i;
            continue;
        }
        ++i; // past the ':'
        const bool bQuoted = strLine[i] == '"';
        const char cEnd = bQuoted ? '"' : ' ';
        if (bQuoted)
        {
            ++i;
        }
        const std::size_t nValue = i;
        while (i < n && strLine[i] != cEnd)
        {
            ++i;
        }
        Apply(strName, strLine.substr(nValue, i - nValue), options);
        if (i == n)
        {
            break;
        }
        ++i; // past the closing quote or the space
    }
    return options;
}

SOptions Parse(const std::string& strLine)
{
    CNullView view;
    COrlixDlg dlg(view);
    dlg.ParseCommandLine(strLine);
    if ((dlg.IsAuto() != 0 && dlg.IsAuto() != 1) || (dlg.IsRepeat() != 0 && dlg.IsRepeat() != 1))
    {
        Fail("a flag is neither 0 nor 1");
    }
    SOptions options;
    options.strFile = dlg.GetCmdLineFile();
    options.bAuto = dlg.IsAuto();
    options.bRepeat = dlg.IsRepeat();
    options.ports = dlg.GetExplicitPorts();
    return options;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_bQuotedPathKnown = IsKnownFinding("quoted-path");
    if (g_bQuotedPathKnown)
    {
        std::atexit(ReportKnown);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, std::size_t nSize)
{
    const std::string strLine(reinterpret_cast<const char*>(pData), nSize);
    if (!(Parse(strLine) == ReferenceParse(strLine)))
    {
        Fail("ParseCommandLine differs from the reference reading");
    }

    // A path handed over as one argument must come back whole, or, where the line cannot
    // carry it, not at all: never as a different file, and the options around it stay as they
    // are. NUL cannot be in an argument. A value that starts with '"' is taken as quoted by
    // the user and passed on as it is, so such paths are not checked.
    std::string strPath;
    for (const char c : strLine)
    {
        if (c != '\0')
        {
            strPath += c;
        }
    }
    if (!strPath.empty() && strPath[0] == '"')
    {
        return 0;
    }
    const std::string strFileArg = ((nSize & 1) != 0 ? "/F:" : "-f:") + strPath;
    const char* argv[] = {"orlix", "-r", strFileArg.c_str(), "-a"};
    const SOptions joined = Parse(JoinCommandLine(4, argv));
    const bool bOptionsKept = joined.bAuto == 1 && joined.bRepeat == 1 && joined.ports.empty();
    const bool bPathKept = joined.strFile == strPath || joined.strFile.empty();
    if (!bOptionsKept || !bPathKept)
    {
        ++g_nQuotedPathHits;
        if (!g_bQuotedPathKnown || strPath.find('"') == std::string::npos)
        {
            Fail(bPathKept ? "a path joined into the command line changes the options around it"
                           : "a path joined into the command line is read back as a different path");
        }
    }
    return 0;
}
