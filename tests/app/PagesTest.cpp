// What each page of the wizard shows: texts, icons, sounds, the bottom row, the firmware
// group and the status bar; and how a firmware file is checked.
#include "tests/app/WizardFixture.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Pages = WizardFixture;

TEST_F(Pages, WelcomePageWithoutFirmware)
{
    Make();
    Start();
    EXPECT_EQ(m_view.Text(IDC_FWGROUP), "Firmware");
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1), "Name:\t ---\nVersion:\t ---");
    EXPECT_EQ(m_view.Text(IDC_FWSTATUS), "There is no firmware selected.");
    EXPECT_EQ(m_view.Icon(IDC_FWICON), EViewIcon::FwInfo);
    EXPECT_EQ(Message(), T(108));
    EXPECT_EQ(Detail(), T(109));
    EXPECT_EQ(Caption(), "Start");
    EXPECT_EQ(m_view.Row(), "action");
    EXPECT_TRUE(m_view.m_bPanesTouched);
    for (const std::string& strPane : m_view.m_panes)
    {
        EXPECT_EQ(strPane, "");
    }
    // The welcome message is set directly: no icon change, no sound.
    EXPECT_TRUE(m_view.m_sounds.empty());
    for (const std::string& strCall : m_view.m_log)
    {
        EXPECT_NE(strCall.rfind("icon " + std::to_string(IDC_MSGICON), 0), 0U) << strCall;
    }
    EXPECT_EQ(m_view.m_log.front(), "text " + std::to_string(IDC_FWGROUP) + " Firmware");
}

TEST_F(Pages, FirmwarePageWarns)
{
    Make();
    Start();
    m_view.m_sounds.clear();
    Action();
    EXPECT_EQ(Message(), T(122));
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
    ASSERT_EQ(m_view.m_sounds.size(), 1U);
    EXPECT_EQ(m_view.m_sounds[0], EViewSound::Exclamation);
    EXPECT_EQ(Detail(), T(112));
    EXPECT_EQ(Caption(), "File open");
    EXPECT_EQ(m_view.Row(), "action");
}

TEST_F(Pages, AcceptedFileFillsTheFirmwareGroupAndStatusBarButLeavesTheMessage)
{
    Make();
    Start();
    Action();
    m_view.m_fileAnswers.push_back(m_strFirmware);
    m_pDlg->OnActionButton(); // only the load; the connect page follows with the posted step
    EXPECT_EQ(Message(), T(122));
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1), "Name:\t Analyzer AX-7\nVersion:\t V2.14.0");
    EXPECT_EQ(m_view.Text(IDC_FWSTATUS),
              "This firmware is exclusively designed for 'Analyzer AX-7' compatible hardware!");
    EXPECT_EQ(m_view.Icon(IDC_FWICON), EViewIcon::FwWarning);
    EXPECT_EQ(m_view.m_panes[0], m_strFirmware);
    EXPECT_EQ(m_view.m_panes[1], "Analyzer AX-7");
    EXPECT_EQ(m_view.m_panes[2], "");
    EXPECT_EQ(m_view.m_nWaitCursor, 0) << "the wait cursor is removed again";
    EXPECT_EQ(m_pDlg->IsFirmwareOk(), 1);
    Pump();
    EXPECT_EQ(Message(), T(123));
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockInformation);
    EXPECT_EQ(m_view.m_sounds.back(), EViewSound::Information);
}

struct SBadFile
{
    const char* pszName;
    std::string strContent; // empty: the file does not exist
    unsigned nExpectedText;
};

TEST_F(Pages, EveryKindOfUnusableFileShowsItsWarningAndKeepsTheWizardOnTheFirmwarePage)
{
    const SBadFile files[] = {
        {"missing.mhx", std::string(), 143},
        {"corrupt.mhx", "S2 is not a record\nS9030000FC\n", 142},
        {"other-cpu.mhx", FirmwareText("MB90F999", "Other", "V1"), 120},
        {"lowercase-cpu.mhx", FirmwareText("mb90f345", "Other", "V1"), 120},
        // Addresses 256 MiB apart: too large a range to hold.
        {"huge.mhx",
         SRecordLine(3, 0x00000000, {1, 2}) + SRecordLine(3, 0x10000000, {3, 4}) + SRecordLine(7, 0, {}),
         144},
    };
    Make();
    Start();
    Action();
    const std::string strNameBefore = m_view.Text(IDC_INFOLINE1);
    const std::string strStatusBefore = m_view.Text(IDC_FWSTATUS);
    for (const SBadFile& file : files)
    {
        const std::string strPath = m_dir.File(file.pszName);
        if (!file.strContent.empty())
        {
            WriteFileText(strPath, file.strContent);
        }
        m_view.m_sounds.clear();
        m_view.m_fileAnswers.push_back(strPath);
        Action();
        EXPECT_EQ(State(), STATE_SELECT_FIRMWARE) << file.pszName;
        EXPECT_EQ(Message(), T(file.nExpectedText)) << file.pszName;
        EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
        EXPECT_EQ(m_view.m_sounds, std::vector<EViewSound>{EViewSound::Exclamation});
        EXPECT_EQ(m_view.m_panes[0], strPath) << "the failed file's path stays in the status bar";
        EXPECT_EQ(m_view.Text(IDC_INFOLINE1), strNameBefore);
        EXPECT_EQ(m_view.Text(IDC_FWSTATUS), strStatusBefore);
        EXPECT_EQ(m_pDlg->IsFirmwareOk(), 0);
    }
}

TEST_F(Pages, UnreadableFileCannotBeAccessed)
{
    if (geteuid() == 0)
    {
        GTEST_SKIP() << "root reads every file";
    }
    const std::string strPath = m_dir.File("locked.mhx");
    WriteFileText(strPath, FirmwareText("MB90F345", "Locked", "V1"));
    chmod(strPath.c_str(), 0);
    Make();
    Start();
    Action();
    m_view.m_fileAnswers.push_back(strPath);
    Action();
    EXPECT_EQ(Message(), T(143));
}

TEST_F(Pages, CommandLineFileThatCannotBeOpenedShowsTheGermanBoxOnEveryAttempt)
{
    const std::string strMissing = m_dir.File("no such dir/fw.mhx");
    Make("-f:\"" + strMissing + "\"");
    Start();
    ASSERT_EQ(m_view.m_boxes.size(), 1U);
    EXPECT_EQ(m_view.m_boxes[0].strText, "Der angegebene Pfad existiert nicht");
    EXPECT_EQ(m_view.m_boxes[0].strCaption, "orlix-test");
    EXPECT_EQ(m_view.m_boxes[0].icon, EMsgBoxIcon::Exclamation);
    EXPECT_EQ(State(), STATE_WELCOME);
    EXPECT_EQ(m_view.Text(IDC_FWSTATUS), T(118));
    EXPECT_EQ(m_view.m_panes[0], "") << "nothing was loaded";

    Action();
    Action(); // "File open" tests the same path again, without a dialog
    EXPECT_EQ(m_view.m_boxes.size(), 2U);
    EXPECT_TRUE(m_view.m_fileDialogFilters.empty());
    EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);

    // Once the file appears, the next click takes it.
    mkdir(m_dir.File("no such dir").c_str(), 0700);
    WriteFileText(strMissing, FirmwareText("MB90F362", "Controller", "V1.3.2"));
    Action();
    EXPECT_EQ(State(), STATE_SEARCH);
    EXPECT_EQ(m_pDlg->GetFirmwareFile(), strMissing);
}

TEST_F(Pages, AcceptedCommandLineFileIsShownOnTheWelcomePage)
{
    Make("-f:" + m_strFirmware);
    Start();
    EXPECT_EQ(State(), STATE_WELCOME);
    EXPECT_EQ(Message(), T(108));
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1), "Name:\t Analyzer AX-7\nVersion:\t V2.14.0");
    EXPECT_EQ(m_view.m_panes[0], m_strFirmware);
    EXPECT_EQ(m_view.m_panes[1], "Analyzer AX-7");
    EXPECT_TRUE(m_view.m_boxes.empty());
}

} // namespace
