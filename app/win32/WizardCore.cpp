#include "app/win32/WizardCore.h"

#include "app/core/OrlixDlg.h"
#include "app/core/Texts.h"
#include "app/core/Version.h"

SProductTexts ProductTexts()
{
    return SProductTexts{COrlixDlg::GetDialogTitle(), ORLIX_ABOUT_TITLE, ORLIX_ABOUT_TEXT1,
                         ORLIX_ABOUT_TEXT2};
}

void SelectLanguageFromResourceText(const std::string& strResourceText101)
{
    const bool bGerman =
        !strResourceText101.empty() && strResourceText101 == LoadText(101, ETextLanguage::German);
    SelectTextLanguage(bGerman ? ETextLanguage::German : ETextLanguage::English);
}

CWizardCore::CWizardCore(IWizardView& view, const std::string& strCmdLine, const std::string& strAppName)
    : m_pDlg(std::make_unique<COrlixDlg>(view))
{
    m_pDlg->SetAppName(strAppName);
    m_pDlg->ParseCommandLine(strCmdLine);
}

CWizardCore::~CWizardCore() = default;

void CWizardCore::InitDialog()
{
    m_pDlg->OnInitDialog();
}

void CWizardCore::ActionButton()
{
    m_pDlg->OnActionButton();
}

void CWizardCore::YesButton()
{
    m_pDlg->OnYesButton();
}

void CWizardCore::NoButton()
{
    m_pDlg->OnNoButton();
}

bool CWizardCore::Close()
{
    return m_pDlg->OnClose();
}

void CWizardCore::HandleMessage(const SWizardMessage& msg)
{
    m_pDlg->HandleMessage(msg);
}

int CWizardCore::GetExitStatus() const
{
    return m_pDlg->GetExitStatus();
}
