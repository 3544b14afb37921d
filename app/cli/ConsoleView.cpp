#include "app/cli/ConsoleView.h"

#include "app/cli/ConsoleTexts.h"
#include "app/core/Texts.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

namespace
{

constexpr int PROGRESS_BAR_WIDTH = 20;

const char* IconMarker(EViewIcon icon)
{
    switch (icon)
    {
    case EViewIcon::StockInformation:
    case EViewIcon::FwInfo:
        return "(i) ";
    case EViewIcon::StockExclamation:
    case EViewIcon::FwWarning:
        return "(!) ";
    default:
        return "";
    }
}

std::string ProgressBar(int nPercent)
{
    const int nFilled = nPercent * PROGRESS_BAR_WIDTH / 100;
    std::string strBar = "[";
    strBar.append(static_cast<std::size_t>(nFilled), '#');
    strBar.append(static_cast<std::size_t>(PROGRESS_BAR_WIDTH - nFilled), '.');
    strBar += "] ";
    const std::string strNumber = std::to_string(nPercent);
    strBar.append(3 - std::min<std::size_t>(3, strNumber.size()), ' ');
    strBar += strNumber + " %";
    return strBar;
}

// "Name|*.a; *.b|All Files (*.*)|*.*||" gives "Name".
std::string FirstFilterName(const std::string& strFilter)
{
    return strFilter.substr(0, strFilter.find('|'));
}

std::string Trim(const std::string& str)
{
    const auto isBlank = [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; };
    auto itBegin = std::find_if_not(str.begin(), str.end(), isBlank);
    auto itEnd = std::find_if_not(str.rbegin(), str.rend(), isBlank).base();
    return itBegin < itEnd ? std::string(itBegin, itEnd) : std::string();
}

// A typed or pasted file name as a full path: surrounding quotes (as terminals add them to a
// dropped file) removed, "~/" expanded, relative names resolved against the current folder.
std::string FullPathOf(std::string strName)
{
    if (strName.size() >= 2 && (strName.front() == '\'' || strName.front() == '"') &&
        strName.back() == strName.front())
    {
        strName = strName.substr(1, strName.size() - 2);
    }
    if (strName.rfind("~/", 0) == 0)
    {
        const char* pszHome = std::getenv("HOME");
        if (pszHome != nullptr && pszHome[0] != '\0')
        {
            strName = std::string(pszHome) + strName.substr(1);
        }
    }
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(strName, ec);
    return ec ? strName : full.lexically_normal().string();
}

} // namespace

CConsoleView::CConsoleView(std::ostream& out, bool bTerminal, IConsoleInput& input, PostFn post)
    : m_out(out), m_bTerminal(bTerminal), m_input(input), m_post(std::move(post)),
      m_sleep([](uint32_t dwMs) { std::this_thread::sleep_for(std::chrono::milliseconds(dwMs)); })
{
}

void CConsoleView::SetControlText(int nId, const std::string& strText)
{
    m_texts[nId] = strText;
}

void CConsoleView::SetControlIcon(int nId, EViewIcon icon)
{
    m_icons[nId] = icon;
}

void CConsoleView::ShowControl(int nId, bool bShow)
{
    bool& bShown = m_shown[nId];
    if (bShown != bShow)
    {
        bShown = bShow;
        m_bPromptShown = false;
    }
}

void CConsoleView::SetProgressRange(int nLower, int nUpper)
{
    m_nProgressLower = nLower;
    m_nProgressUpper = nUpper;
}

void CConsoleView::SetProgressPos(int nPos)
{
    m_nProgressPos = nPos;
}

void CConsoleView::PlaySound(EViewSound /*sound*/)
{
    if (m_bTerminal)
    {
        m_out << '\a' << std::flush;
    }
}

void CConsoleView::MessageBox(const std::string& strText, const std::string& strCaption, EMsgBoxIcon icon)
{
    Flush();
    const EViewIcon viewIcon =
        icon == EMsgBoxIcon::Information ? EViewIcon::StockInformation : EViewIcon::StockExclamation;
    Write("\n[" + strCaption + "] " + IconMarker(viewIcon) + strText + "\n");
    m_bPromptShown = false;
    m_out.flush();
}

bool CConsoleView::OpenFileDialog(const std::string& strInitialName, const std::string& strFilter,
                                  std::string& strPath)
{
    Flush();
    const std::string strCurrent = strInitialName.empty() ? std::string() : " [" + strInitialName + "]";
    Write(FormatText(CliText(ECliText::FileNamePrompt), {FirstFilterName(strFilter), strCurrent}));
    m_out.flush();
    const std::optional<std::string> line = m_input.ReadModalLine();
    if (line.has_value() && m_bEchoInput)
    {
        m_out << *line;
    }
    m_out << "\n";
    m_bPromptShown = false;
    const std::string strName = line.has_value() ? Trim(*line) : std::string();
    if (strName.empty())
    {
        Write(CliText(ECliText::FileCancelled) + "\n");
        m_out.flush();
        return false;
    }
    strPath = FullPathOf(strName);
    return true;
}

void CConsoleView::SetStatusPane(int nPane, const std::string& strText)
{
    if (nPane >= 0 && nPane < 3)
    {
        m_panes[nPane] = strText;
    }
}

void CConsoleView::PostWizardMessage(SWizardMessage msg)
{
    m_post(std::move(msg));
}

void CConsoleView::Pause(uint32_t dwMilliseconds)
{
    Flush();
    m_sleep(dwMilliseconds);
}

void CConsoleView::EndDialog()
{
    Flush();
    EndProgressLine();
    m_bEnded = true;
    m_out.flush();
}

CConsoleView::SShown CConsoleView::Current(int nTextId, int nIconId) const
{
    SShown shown;
    shown.strText = GetText(nTextId);
    const auto it = m_icons.find(nIconId);
    shown.icon = it == m_icons.end() ? EViewIcon::None : it->second;
    return shown;
}

void CConsoleView::Flush()
{
    bool bPrinted = false;

    // Firmware group: name/version line and status line with its icon.
    const SShown fwName{GetText(IDC_INFOLINE1), EViewIcon::None};
    const SShown fwStatus = Current(IDC_FWSTATUS, IDC_FWICON);
    if (!(fwName == m_printedFwName) || !(fwStatus == m_printedFwStatus))
    {
        Write("\n[" + GetText(IDC_FWGROUP) + "]\n" + fwName.strText + "\n" + IconMarker(fwStatus.icon) +
              fwStatus.strText + "\n");
        m_printedFwName = fwName;
        m_printedFwStatus = fwStatus;
        bPrinted = true;
    }

    if (!std::equal(std::begin(m_panes), std::end(m_panes), std::begin(m_printedPanes)))
    {
        std::string strLine;
        for (const std::string& strPane : m_panes)
        {
            if (!strPane.empty())
            {
                strLine += (strLine.empty() ? "" : " | ") + strPane;
            }
        }
        strLine = "Status: " + strLine;
        Write(strLine + "\n");
        std::copy(std::begin(m_panes), std::end(m_panes), std::begin(m_printedPanes));
        bPrinted = true;
    }

    // Message line with its icon, then the detail line; a new message shows its page's
    // detail line with it.
    const SShown message = Current(IDC_INFOLINE2, IDC_MSGICON);
    const std::string strDetail = GetText(IDC_INFOLINE3);
    const bool bNewMessage = !(message == m_printedMessage);
    if (bNewMessage)
    {
        Write("\n" + std::string(IconMarker(message.icon)) + message.strText + "\n");
        m_printedMessage = message;
        bPrinted = true;
    }
    if ((bNewMessage || strDetail != m_strPrintedDetail) && !strDetail.empty())
    {
        Write("    " + strDetail + "\n");
        bPrinted = true;
    }
    m_strPrintedDetail = strDetail;

    PrintProgress();

    for (const std::string& strNote : m_notes)
    {
        Write(strNote + "\n");
        bPrinted = true;
    }
    m_notes.clear();

    if (bPrinted)
    {
        m_bPromptShown = false;
    }
    m_out.flush();
}

void CConsoleView::PrintProgress()
{
    if (!IsShown(IDC_PROGRESS))
    {
        EndProgressLine();
        m_nPrintedPercent = -1;
        return;
    }
    const int nSpan = m_nProgressUpper - m_nProgressLower;
    int nPercent = nSpan > 0 ? (m_nProgressPos - m_nProgressLower) * 100 / nSpan : 0;
    nPercent = std::clamp(nPercent, 0, 100);
    if (m_bTerminal)
    {
        // Redrawn when the value changes; a text printed meanwhile does not bring back a
        // stale value (the next phase's first value follows right after its text).
        if (nPercent != m_nPrintedPercent)
        {
            m_out << "\r" << ProgressBar(nPercent);
            m_bProgressLineOpen = true;
            m_nPrintedPercent = nPercent;
        }
        return;
    }
    // One line per 10 % step; a drop (the next phase starts) is shown too.
    const int nStep = nPercent / 10 * 10;
    if (nStep != m_nPrintedPercent)
    {
        m_out << ProgressBar(nStep) << "\n";
        m_nPrintedPercent = nStep;
    }
}

void CConsoleView::ShowPrompt()
{
    if (m_bPromptShown || m_bEnded)
    {
        return;
    }
    if (WaitsForYesNo())
    {
        Write(FormatText(CliText(ECliText::AnswerYesNo), {GetText(IDC_YES), GetText(IDC_NO)}) + "\n");
    }
    else if (WaitsForAction())
    {
        Write(FormatText(CliText(ECliText::PressEnter), {GetText(IDC_ACTION)}) + "\n");
    }
    else
    {
        return;
    }
    m_bPromptShown = true;
    m_out.flush();
}

void CConsoleView::RepeatPrompt(const std::string& strHint)
{
    Write(strHint + "\n");
    m_bPromptShown = false;
    ShowPrompt();
}

void CConsoleView::EchoInput(const std::string& strLine)
{
    if (m_bEchoInput)
    {
        Write("< " + strLine + "\n");
        m_out.flush();
    }
}

void CConsoleView::AddNote(const std::string& strNote)
{
    m_notes.push_back(strNote);
}

void CConsoleView::PrintLine(const std::string& strLine)
{
    Write(strLine + "\n");
    m_out.flush();
}

bool CConsoleView::IsShown(int nId) const
{
    const auto it = m_shown.find(nId);
    // Controls are created visible; the first page hides what it does not use.
    return it == m_shown.end() ? true : it->second;
}

std::string CConsoleView::GetText(int nId) const
{
    const auto it = m_texts.find(nId);
    return it == m_texts.end() ? std::string() : it->second;
}

void CConsoleView::EndProgressLine()
{
    if (m_bProgressLineOpen)
    {
        m_out << "\n";
        m_bProgressLineOpen = false;
    }
}

void CConsoleView::Write(const std::string& strText)
{
    EndProgressLine();
    m_out << strText;
    m_nUnitLinesShown = 0; // the unit block is no longer right above: draw it anew below
}

void CConsoleView::ShowUnitStatus(const std::string& strPort, const std::string& strPhase, int nPercent)
{
    auto it = std::find_if(m_units.begin(), m_units.end(),
                           [&strPort](const SUnitLine& line) { return line.strPort == strPort; });
    if (it == m_units.end())
    {
        it = m_units.insert(m_units.end(), SUnitLine{strPort, {}, {}, -2});
    }
    std::string strPercent;
    if (nPercent >= 0)
    {
        strPercent = std::to_string(std::clamp(nPercent, 0, 100));
        strPercent = "  " + std::string(3 - strPercent.size(), ' ') + strPercent + " %";
    }
    if (m_bTerminal)
    {
        const std::string strText = nPercent < 0 ? strPhase : strPort + "  " + strPhase + strPercent;
        if (strText == it->strText && m_nUnitLinesShown == m_units.size())
        {
            return;
        }
        it->strText = strText;
        EndProgressLine();
        if (m_nUnitLinesShown > 0)
        {
            m_out << "\x1b[" << m_nUnitLinesShown << "F"; // back to the block's first line
        }
        for (const SUnitLine& line : m_units)
        {
            m_out << "\x1b[2K" << line.strText << "\n";
        }
        m_nUnitLinesShown = m_units.size();
        m_out.flush();
        return;
    }
    const int nStep = nPercent < 0 ? -1 : nPercent / 10 * 10;
    if (strPhase == it->strPhase && nStep == it->nStep)
    {
        return;
    }
    it->strPhase = strPhase;
    it->nStep = nStep;
    Write((nPercent < 0 ? strPhase : strPort + ": " + strPhase + "  " + std::to_string(nStep) + " %") + "\n");
    m_out.flush();
}

std::optional<bool> ParseYesNo(const std::string& strLine)
{
    std::string strWord = Trim(strLine);
    std::transform(strWord.begin(), strWord.end(), strWord.begin(),
                   [](char ch) { return static_cast<char>(std::tolower(static_cast<unsigned char>(ch))); });
    if (strWord == "y" || strWord == "yes" || strWord == "j" || strWord == "ja")
    {
        return true;
    }
    if (strWord == "n" || strWord == "no" || strWord == "nein")
    {
        return false;
    }
    return std::nullopt;
}
