#pragma once
// The one place where the Win32 window meets the wizard core: the window calls these
// functions and the core reaches the window back only through IWizardView.
#include "app/core/WizardView.h"
#include "target/WorkerHost.h"

#include <memory>
#include <string>

class COrlixDlg;

// Product texts of the window and the About box (UTF-8).
struct SProductTexts
{
    std::string strDialogTitle;
    std::string strAboutTitle;
    std::string strAboutText1;
    std::string strAboutText2;
};
SProductTexts ProductTexts();

// The wizard's language follows the string table the system's resource loader picks for the
// user's interface language: strResourceText101 is text 101 as loaded from the resources.
void SelectLanguageFromResourceText(const std::string& strResourceText101);

class CWizardCore
{
public:
    // strCmdLine: the text after the program name; strAppName: caption of the message boxes.
    CWizardCore(IWizardView& view, const std::string& strCmdLine, const std::string& strAppName);
    // Stops and joins a running worker.
    ~CWizardCore();
    CWizardCore(const CWizardCore&) = delete;
    CWizardCore& operator=(const CWizardCore&) = delete;

    void InitDialog();
    void ActionButton();
    void YesButton();
    void NoButton();
    // False while a worker runs (the core has said so in a message box).
    bool Close();
    void HandleMessage(const SWizardMessage& msg);
    int GetExitStatus() const;

private:
    std::unique_ptr<COrlixDlg> m_pDlg;
};
