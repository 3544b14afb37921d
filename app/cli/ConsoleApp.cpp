#include "app/cli/ConsoleApp.h"

#include "app/cli/ConsoleTexts.h"
#include "app/core/Texts.h"

#include <grp.h>
#include <sys/stat.h>

CConsoleApp::CConsoleApp(std::ostream& out, bool bTerminal)
    : CConsoleApp(out, bTerminal, [](IWizardView& view) { return std::make_unique<COrlixDlg>(view); })
{
}

CConsoleApp::CConsoleApp(std::ostream& out, bool bTerminal, const DialogFactory& makeDialog)
    : m_view(out, bTerminal, *this, [this](SWizardMessage msg) { m_queue.PushWizard(std::move(msg)); }),
      m_pDlg(makeDialog(m_view))
{
}

// The dialog goes first: it joins its worker, which may still post to the queue.
CConsoleApp::~CConsoleApp()
{
    m_pDlg.reset();
}

int CConsoleApp::Run()
{
    COrlixDlg& dlg = *m_pDlg;
    dlg.OnInitDialog();
    while (!m_view.IsEnded())
    {
        m_view.Flush();
        const bool bBusy = dlg.IsBusy();
        // The page waits for the user: no worker runs and the wizard has not posted itself a
        // further step.
        const bool bWaiting = !bBusy && !m_queue.HasWizardMessage();
        if (bWaiting && m_bClosePending)
        {
            dlg.OnClose();
            continue;
        }
        if (bWaiting)
        {
            m_view.ShowPrompt();
        }
        // The end of input is a close request: taken at a waiting page (closes) or while a
        // worker runs (refused with a message, then closes at the next waiting page).
        // Signals are close requests too, taken at once.
        SCliEvent event = m_queue.Take(bWaiting, bWaiting || bBusy);
        switch (event.kind)
        {
        case ECliEvent::Wizard:
            dlg.HandleMessage(event.msg);
            if (event.msg.nMsg == WM_WORKER_DONE && dlg.IsUnitNotFoundPage())
            {
                for (const std::string& strHint :
                     {AccessDeniedHint(dlg.GetAccessDeniedPorts(), &DeviceGroupName),
                      PortsInUseHint(dlg.GetPortsInUse())})
                {
                    if (!strHint.empty())
                    {
                        m_view.AddNote(strHint);
                    }
                }
            }
            break;
        case ECliEvent::Line:
            HandleLine(event.strLine);
            break;
        case ECliEvent::InputEnd:
            RequestClose();
            break;
        case ECliEvent::CloseRequest:
            // A signal: no further transfer may start, so the wizard ends as soon as the
            // running worker has (a script's input, in contrast, may simply end early).
            dlg.OnEndRequest();
            break;
        }
    }
    m_view.Flush();
    return dlg.GetExitStatus();
}

void CConsoleApp::HandleLine(const std::string& strLine)
{
    m_view.EchoInput(strLine);
    COrlixDlg& dlg = *m_pDlg;
    if (m_view.WaitsForYesNo())
    {
        const std::optional<bool> answer = ParseYesNo(strLine);
        if (!answer.has_value())
        {
            m_view.RepeatPrompt(CliText(ECliText::NotAnAnswer));
        }
        else if (*answer)
        {
            dlg.OnYesButton();
        }
        else
        {
            dlg.OnNoButton();
        }
        return;
    }
    if (m_view.WaitsForAction())
    {
        if (strLine.find_first_not_of(" \t") != std::string::npos)
        {
            m_view.RepeatPrompt(FormatText(CliText(ECliText::EnterOnly), {m_view.GetText(IDC_ACTION)}));
            return;
        }
        dlg.OnActionButton();
    }
}

void CConsoleApp::RequestClose()
{
    if (!m_pDlg->OnClose())
    {
        m_bClosePending = true;
    }
}

std::optional<std::string> CConsoleApp::ReadModalLine()
{
    return m_queue.TakeModalLine();
}

std::string CConsoleApp::PortsInUseHint(const std::vector<std::string>& paths)
{
    std::string strPorts;
    for (const std::string& strPath : paths)
    {
        strPorts += (strPorts.empty() ? "" : ", ") + strPath;
    }
    return strPorts.empty() ? std::string() : FormatText(CliText(ECliText::PortsInUse), {strPorts});
}

std::string CConsoleApp::AccessDeniedHint(const std::vector<std::string>& paths,
                                          const std::function<std::string(const std::string&)>& groupOf)
{
    if (paths.empty())
    {
        return {};
    }
    std::string strPorts;
    std::string strGroup;
    for (const std::string& strPath : paths)
    {
        strPorts += (strPorts.empty() ? "" : ", ") + strPath;
        if (strGroup.empty())
        {
            strGroup = groupOf(strPath);
        }
    }
    if (strGroup.empty() || strGroup == "root")
    {
        strGroup = "dialout";
    }
    return FormatText(CliText(ECliText::AccessDenied), {strPorts, strGroup, strGroup});
}

std::string DeviceGroupName(const std::string& strPath)
{
    struct stat info = {};
    if (stat(strPath.c_str(), &info) != 0)
    {
        return {};
    }
    const group* pGroup = getgrgid(info.st_gid);
    return pGroup != nullptr && pGroup->gr_name != nullptr ? std::string(pGroup->gr_name) : std::string();
}
