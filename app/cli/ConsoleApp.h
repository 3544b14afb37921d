#pragma once
// The console wizard's event loop on the dialog's thread: one FIFO queue carries the wizard's
// and the workers' messages and the user's input; a line is taken only when the page waits
// for one, so typed-ahead answers keep their order.
#include "app/cli/ConsoleView.h"
#include "app/cli/EventQueue.h"
#include "app/core/OrlixDlg.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>

class CConsoleApp : public IConsoleInput
{
public:
    // Makes the wizard dialog for the view (tests put a dialog with fake workers here).
    using DialogFactory = std::function<std::unique_ptr<COrlixDlg>(IWizardView&)>;

    CConsoleApp(std::ostream& out, bool bTerminal);
    CConsoleApp(std::ostream& out, bool bTerminal, const DialogFactory& makeDialog);
    ~CConsoleApp() override;
    CConsoleApp(const CConsoleApp&) = delete;
    CConsoleApp& operator=(const CConsoleApp&) = delete;

    CEventQueue& Queue() { return m_queue; }
    CConsoleView& View() { return m_view; }
    COrlixDlg& Dialog() { return *m_pDlg; }

    // Runs the wizard until it closes; returns the exit status.
    int Run();

    // IConsoleInput
    std::optional<std::string> ReadModalLine() override;

    // The hint for ports dropped because access was denied, or empty. groupOf names the group
    // that owns a device (empty when unknown).
    // The hint for ports dropped because another program held them, or empty.
    static std::string PortsInUseHint(const std::vector<std::string>& paths);
    static std::string AccessDeniedHint(const std::vector<std::string>& paths,
                                        const std::function<std::string(const std::string&)>& groupOf);

private:
    void HandleLine(const std::string& strLine);
    void RequestClose();

    CEventQueue m_queue;
    CConsoleView m_view;
    std::unique_ptr<COrlixDlg> m_pDlg;
    bool m_bClosePending = false;
};

// Name of the group that owns the file, or empty (platform code, posix/ and win32/).
std::string DeviceGroupName(const std::string& strPath);
