#pragma once
// A wizard with a fake view, fake workers and a firmware file in a temporary folder.
#include "app/core/OrlixDlg.h"
#include "app/core/Texts.h"
#include "tests/app/FakeView.h"
#include "tests/app/SRecordFiles.h"
#include "tests/app/TestDialog.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class WizardFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectTextLanguage(ETextLanguage::English);
        m_pUnit = std::make_shared<SFakeUnit>();
        m_strFirmware = m_dir.File("fw.mhx");
        WriteFileText(m_strFirmware, FirmwareText("MB90F345", "Analyzer AX-7", "V2.14.0"));
    }

    CTestDlg& Make(const std::string& strCmdLine = {})
    {
        m_pDlg = std::make_unique<CTestDlg>(m_view, m_pUnit);
        m_pDlg->ParseCommandLine(strCmdLine);
        return *m_pDlg;
    }

    // OnInitDialog and everything it posts.
    void Start()
    {
        m_pDlg->OnInitDialog();
        Pump();
    }

    void Pump() { ASSERT_TRUE(m_view.Pump(*m_pDlg)) << "a worker did not end"; }
    void Action()
    {
        m_pDlg->OnActionButton();
        Pump();
    }
    void Yes()
    {
        m_pDlg->OnYesButton();
        Pump();
    }
    void No()
    {
        m_pDlg->OnNoButton();
        Pump();
    }

    // With the firmware on the command line: welcome page, "Start", connect page.
    void ToConnectPage(const std::string& strOptions = {})
    {
        Make("-f:" + m_strFirmware + (strOptions.empty() ? "" : " " + strOptions));
        Start();
        if (m_pDlg->GetState() == STATE_WELCOME)
        {
            Action();
        }
        ASSERT_EQ(m_pDlg->GetState(), STATE_SEARCH);
    }

    int State() const { return m_pDlg->GetState(); }
    std::string Message() const { return m_view.Text(IDC_INFOLINE2); }
    std::string Detail() const { return m_view.Text(IDC_INFOLINE3); }
    std::string Caption() const { return m_view.Text(IDC_ACTION); }
    static std::string T(unsigned nId) { return LoadText(nId, ETextLanguage::English); }

    CTempDir m_dir;
    std::string m_strFirmware;
    CFakeView m_view; // outlives the dialog
    std::shared_ptr<SFakeUnit> m_pUnit;
    std::unique_ptr<CTestDlg> m_pDlg;
};
