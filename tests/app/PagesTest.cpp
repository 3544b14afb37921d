// What the pages show: texts, icons, sounds, the bottom row, the firmware group and the status
// bar; what an unusable firmware file shows; and the order of page and worker texts.
#include "app/core/TextIds.h"
#include "app/core/UnitGroup.h"
#include "app/core/WizardPages.h"
#include "tests/app/Fakes.h"

#include <filesystem>

namespace
{

using Pages = WizardFixture;

TEST_F(Pages, WelcomeAndFirmwarePagesWithoutFirmware)
{
    Make();
    Start();
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1) + "|" + m_view.Text(IDC_FWSTATUS),
              "Name:\t ---\nVersion:\t ---|There is no firmware selected.");
    EXPECT_EQ(Message() + Detail() + Caption() + m_view.Row(), T(108) + T(109) + "StartA");
    EXPECT_TRUE(m_view.Calls("sound").empty() && m_view.Icon(IDC_MSGICON) == EViewIcon::None);
    Click("A");
    EXPECT_EQ(Message() + Detail() + Caption() + m_view.Row(), T(122) + T(112) + "File openA");
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
    EXPECT_EQ(m_view.Calls("sound"), std::vector<std::string>{"!"});
    EXPECT_TRUE(m_view.Calls("filedialog").empty()) << "the dialog opens only on File open";
    const std::size_t nLogSize = m_view.m_log.size();
    Click("A"); // cancelled
    EXPECT_EQ(m_view.m_log.size(), nLogSize + 1) << "a cancel changes nothing but shows the dialog";
}

TEST_F(Pages, AcceptedFileFillsTheFirmwareGroupAndStatusBarThenTheConnectPageInforms)
{
    Make();
    Start();
    Click("A");
    m_view.m_fileAnswers.push_back(m_strFirmware);
    m_pDlg->OnActionButton(); // only the load; the connect page follows with the posted step
    EXPECT_EQ(Message(), T(122));
    EXPECT_EQ(m_view.Text(IDC_INFOLINE1), "Name:\t Analyzer AX-7\nVersion:\t V2.14.0");
    EXPECT_EQ(m_view.Text(IDC_FWSTATUS),
              "This firmware is exclusively designed for 'Analyzer AX-7' compatible hardware!");
    EXPECT_EQ(m_view.Icon(IDC_FWICON), EViewIcon::FwWarning);
    EXPECT_EQ(m_view.Get("pane", 0) + "|" + m_view.Get("pane", 1) + "|" + m_view.Get("pane", 2),
              m_strFirmware + "|Analyzer AX-7|");
    EXPECT_EQ(m_view.m_nWaitCursor, 0) << "the wait cursor is removed again";
    Pump();
    EXPECT_EQ(Message() + Detail() + Caption(), T(123) + T(124) + T(104));
    EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockInformation);
    EXPECT_EQ(m_view.Get("sound"), "i");
}

TEST_F(Pages, EveryKindOfUnusableFileShowsItsWarningAndChangesNothingElse)
{
    const struct
    {
        const char* pszName;
        std::string strContent; // empty: the file does not exist
        unsigned nText;
    } files[] = {
        {"missing.mhx", "", 143},
        {"corrupt.mhx", "S2 is not a record\nS9030000FC\n", 142},
        {"other-cpu.mhx", FirmwareText("MB90F999", "Other", "V1"), 120},
        {"lowercase-cpu.mhx", FirmwareText("mb90f345", "Other", "V1"), 120},
        {"huge.mhx",
         SRecord(3, 0, {1, 2}) + "\n" + SRecord(3, 0x10000000, {3, 4}) + "\n" + SRecord(7, 0) + "\n", 144},
    };
    Make();
    Start();
    Click("A");
    const std::string strBefore = m_view.Text(IDC_INFOLINE1) + m_view.Text(IDC_FWSTATUS);
    std::string strLast;
    for (const auto& file : files)
    {
        const std::string strPath = m_dir.File(file.pszName);
        if (!file.strContent.empty())
            WriteFileText(strPath, file.strContent);
        const std::size_t nFrom = m_view.m_log.size();
        m_view.m_fileAnswers.push_back(strPath);
        Click("A");
        SCOPED_TRACE(file.pszName);
        EXPECT_EQ(m_view.Calls("filedialog").back(), strLast + "|" + FIRMWARE_FILE_FILTER)
            << "each dialog starts at the file that failed before";
        strLast = strPath;
        EXPECT_EQ(State(), STATE_SELECT_FIRMWARE);
        EXPECT_EQ(Message(), T(file.nText));
        EXPECT_EQ(m_view.Icon(IDC_MSGICON), EViewIcon::StockExclamation);
        EXPECT_EQ(m_view.Calls("sound", nFrom), std::vector<std::string>{"!"});
        EXPECT_EQ(m_view.Get("pane", 0), strPath) << "the failed file's path stays in the status bar";
        EXPECT_EQ(m_view.Text(IDC_INFOLINE1) + m_view.Text(IDC_FWSTATUS), strBefore);
        EXPECT_EQ(m_pDlg->IsFirmwareOk(), 0);
    }
}

TEST_F(Pages, CommandLineFileThatCannotBeOpenedShowsTheGermanBoxOnEveryAttempt)
{
    const std::string strMissing = m_dir.File("no such dir/fw.mhx");
    Make("-f:\"" + strMissing + "\"");
    Start();
    EXPECT_EQ(m_view.Calls("box"),
              std::vector<std::string>{"(!) orlix-test: Der angegebene Pfad existiert nicht"});
    EXPECT_EQ(State(), STATE_WELCOME);
    EXPECT_EQ(m_view.Text(IDC_FWSTATUS), T(118));
    EXPECT_EQ(m_view.Get("pane", 0), "") << "nothing was loaded";
    Click("AA"); // "File open" tests the same path again, without a dialog
    EXPECT_EQ(m_view.Calls("box").size(), 2U);
    EXPECT_TRUE(m_view.Calls("filedialog").empty());
    std::filesystem::create_directory(m_dir.File("no such dir"));
    WriteFileText(strMissing, FirmwareText("MB90F362", "Controller", "V1.3.2"));
    Click("A");
    EXPECT_EQ(State(), STATE_SEARCH) << "once the file appears, the next click takes it";
}

TEST_F(Pages, PagesAndWorkerTextsFollowEachOtherInOrder)
{
    ToConnectPage();
    Click("AA");
    EXPECT_EQ(m_view.Calls("text", 0, IDC_INFOLINE2),
              (std::vector<std::string>{T(108), T(123), T(125), T(126), T(131), T(133), T(131), T(136)}));
    EXPECT_EQ(m_view.Calls("text", 0, IDC_INFOLINE3),
              (std::vector<std::string>{T(109), T(124), "", "Port ttyFAKE0", T(127), T(132), "", "", T(138),
                                        T(139), T(140), T(137)}));
}

} // namespace

// Several units' transfer as the windows show it: one bar through the stage the slowest unit
// is in, a unit past it or ended counting as through.
TEST(GroupProgress, TheSlowestRunningUnitSetsTheStageAndEndedUnitsCountAsThrough)
{
    struct SRow
    {
        std::vector<SUnitProgress> units;
        int nStage, nPercent; // -1: no bar
    };
    const std::vector<SRow> rows = {
        {{}, -1, 0},
        {{{false, PHASE_PROGRAM, 40}, {false, 0, 0}}, -1, 0},
        {{{true, 0, 20}, {true, 0, 41}}, 0, 30},
        {{{true, PHASE_PROGRAM, 50}, {false, 0, 10}}, PHASE_PROGRAM, 75},      // the other failed early
        {{{true, PHASE_VERIFY, 90}, {true, PHASE_ERASE, 0}}, PHASE_ERASE, 50}, // a later phase is through
        {{{true, PHASE_PROGRAM, 150}, {true, PHASE_PROGRAM, -5}}, PHASE_PROGRAM, 50},
    };
    for (const SRow& row : rows)
    {
        int nStage = -1;
        int nPercent = 0;
        EXPECT_EQ(CombineTransferProgress(row.units, nStage, nPercent), row.nStage >= 0);
        EXPECT_EQ(nStage, row.nStage);
        EXPECT_EQ(nPercent, row.nPercent) << "stage " << row.nStage;
    }
    SelectTextLanguage(ETextLanguage::English);
    CFakeView view;
    CWizardPages(view).ShowGroupProgress(PHASE_PROGRAM, 75);
    CWizardPages(view).ShowGroupProgress(0, 30);
    EXPECT_EQ(view.Calls("pos"), std::vector<std::string>({"75", "30"}));
    EXPECT_EQ(view.Calls("text", 0, IDC_INFOLINE3),
              std::vector<std::string>({LoadText(IDS_PHASE_PROGRAM), LoadText(IDS_DOWNLOADING)}));
}
