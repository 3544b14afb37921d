// The console view: what a page prints and when, progress on a terminal and in a log, message
// boxes, the file-name prompt and the answers it understands.
#include "app/cli/ConsoleView.h"
#include "app/core/OrlixDlg.h"
#include "app/core/Texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <sstream>

namespace
{

class CScriptedInput : public IConsoleInput
{
public:
    std::optional<std::string> ReadModalLine() override
    {
        if (m_lines.empty())
        {
            return std::nullopt;
        }
        std::optional<std::string> line = m_lines.front();
        m_lines.pop_front();
        return line;
    }
    std::deque<std::optional<std::string>> m_lines;
};

class ConsoleView : public ::testing::Test
{
protected:
    void SetUp() override { SelectTextLanguage(ETextLanguage::English); }

    CConsoleView& Make(bool bTerminal)
    {
        m_pView = std::make_unique<CConsoleView>(
            m_out, bTerminal, m_input, [this](SWizardMessage msg) { m_posted.push_back(std::move(msg)); });
        return *m_pView;
    }

    // What was printed since the last call.
    std::string Take()
    {
        std::string str = m_out.str();
        m_out.str(std::string());
        return str;
    }

    void ShowRow(CConsoleView& view, int nRow)
    {
        view.ShowControl(IDC_PROGRESS, nRow == ROW_PROGRESS);
        view.ShowControl(IDC_ACTION, nRow == ROW_ACTION);
        view.ShowControl(IDC_YES, nRow == ROW_YES_NO);
        view.ShowControl(IDC_NO, nRow == ROW_YES_NO);
    }

    std::ostringstream m_out;
    CScriptedInput m_input;
    std::vector<SWizardMessage> m_posted;
    std::unique_ptr<CConsoleView> m_pView;
};

TEST_F(ConsoleView, PagePrintsTextsExactlyOnceWhenFlushed)
{
    CConsoleView& view = Make(false);
    view.SetControlText(IDC_FWGROUP, "Firmware");
    view.SetControlText(IDC_INFOLINE1, "Name:\t ---\nVersion:\t ---");
    view.SetControlText(IDC_FWSTATUS, "There is no firmware selected.");
    view.SetControlIcon(IDC_FWICON, EViewIcon::FwInfo);
    view.SetControlText(IDC_INFOLINE2, "Line one\nLine two");
    view.SetControlText(IDC_INFOLINE3, "Click the button.");
    view.SetControlText(IDC_ACTION, "Start");
    ShowRow(view, ROW_ACTION);
    EXPECT_EQ(Take(), "") << "nothing before the page is complete";

    view.Flush();
    EXPECT_EQ(Take(), "\n[Firmware]\nName:\t ---\nVersion:\t ---\n(i) There is no firmware selected.\n"
                      "\nLine one\nLine two\n    Click the button.\n");
    view.ShowPrompt();
    view.ShowPrompt();
    EXPECT_EQ(Take(), "> [Start] Press Enter.\n") << "one prompt per wait";

    // Unchanged texts are not printed again; a changed detail line alone is.
    view.SetControlText(IDC_INFOLINE2, "Line one\nLine two");
    view.Flush();
    EXPECT_EQ(Take(), "");
    view.SetControlText(IDC_INFOLINE3, "/dev/ttyUSB0");
    view.Flush();
    EXPECT_EQ(Take(), "    /dev/ttyUSB0\n");

    // A new message brings its page's detail line with it; an empty detail prints nothing.
    view.SetControlIcon(IDC_MSGICON, EViewIcon::StockExclamation);
    view.Flush();
    EXPECT_EQ(Take(), "\n(!) Line one\nLine two\n    /dev/ttyUSB0\n") << "the icon is part of the message";
    view.SetControlText(IDC_INFOLINE2, "Next");
    view.SetControlText(IDC_INFOLINE3, "");
    view.SetControlIcon(IDC_MSGICON, EViewIcon::None);
    view.Flush();
    EXPECT_EQ(Take(), "\nNext\n");
}

TEST_F(ConsoleView, StatusBarIsPrintedWhenItChanges)
{
    CConsoleView& view = Make(false);
    ShowRow(view, ROW_ACTION);
    for (int nPane = 0; nPane < 3; ++nPane)
    {
        view.SetStatusPane(nPane, "");
    }
    view.Flush();
    EXPECT_EQ(Take(), "") << "empty panes at the start are not news";
    view.SetStatusPane(0, "/tmp/fw.mhx");
    view.Flush();
    EXPECT_EQ(Take(), "Status: /tmp/fw.mhx\n");
    view.SetStatusPane(1, "Analyzer");
    view.Flush();
    EXPECT_EQ(Take(), "Status: /tmp/fw.mhx | Analyzer\n");
}

TEST_F(ConsoleView, ProgressInALogIsOneLinePerTenPercentStepAndShowsANewPhase)
{
    CConsoleView& view = Make(false);
    ShowRow(view, ROW_PROGRESS);
    std::string strAll;
    for (int nPos : {0, 3, 9, 10, 19, 55, 100, 100})
    {
        view.SetProgressRange(0, 100);
        view.SetProgressPos(nPos);
        view.Flush();
        strAll += Take();
    }
    EXPECT_EQ(strAll, "[....................]   0 %\n[##..................]  10 %\n"
                      "[##########..........]  50 %\n[####################] 100 %\n");
    view.SetProgressPos(4); // the next phase starts again from 0
    view.Flush();
    EXPECT_EQ(Take(), "[....................]   0 %\n");

    // Hidden, the bar prints nothing; shown again it starts afresh.
    ShowRow(view, ROW_ACTION);
    view.SetProgressPos(70);
    view.Flush();
    EXPECT_EQ(Take(), "");
    ShowRow(view, ROW_PROGRESS);
    view.Flush();
    EXPECT_EQ(Take(), "[##############......]  70 %\n");
}

TEST_F(ConsoleView, ProgressOnATerminalIsOneLiveLineThatOtherOutputEnds)
{
    CConsoleView& view = Make(true);
    ShowRow(view, ROW_PROGRESS);
    view.SetProgressPos(0);
    view.Flush();
    view.SetProgressPos(1);
    view.Flush();
    view.SetProgressPos(1);
    view.Flush();
    EXPECT_EQ(Take(), "\r[....................]   0 %\r[....................]   1 %");
    view.SetControlText(IDC_INFOLINE3, "Erasing");
    view.Flush();
    EXPECT_EQ(Take(), "\n    Erasing\n");
    view.SetProgressPos(0);
    view.Flush();
    EXPECT_EQ(Take(), "\r[....................]   0 %") << "the bar goes on below the text";
    view.PlaySound(EViewSound::Exclamation);
    EXPECT_EQ(Take(), "\a");
    ShowRow(view, ROW_ACTION);
    view.Flush();
    EXPECT_EQ(Take(), "\n");
}

TEST_F(ConsoleView, MessageBoxesAreCaptionedAndFollowThePendingPage)
{
    CConsoleView& view = Make(false);
    ShowRow(view, ROW_ACTION);
    view.SetControlText(IDC_INFOLINE2, "Page");
    view.MessageBox("Der angegebene Pfad existiert nicht", "orlix-cli", EMsgBoxIcon::Exclamation);
    view.MessageBox("Line 1\nLine 2", "orlix-cli", EMsgBoxIcon::Information);
    EXPECT_EQ(
        Take(),
        "\nPage\n\n[orlix-cli] (!) Der angegebene Pfad existiert nicht\n\n[orlix-cli] (i) Line 1\nLine 2\n");
    view.PlaySound(EViewSound::Information);
    EXPECT_EQ(Take(), "") << "no bell in a log";
}

TEST_F(ConsoleView, FileDialogTakesAFullPathAndCancelsOnAnEmptyLineOrTheEnd)
{
    CConsoleView& view = Make(false);
    const std::string strCwd = std::filesystem::current_path().string();
    const char* pszHome = std::getenv("HOME");
    m_input.m_lines = {"fw.mhx", "  '/tmp/a b/fw.mhx'  ", "\"/x/../y/fw.mhx\"", "~/fw.mhx", "", "   "};
    std::string strPath;
    ASSERT_TRUE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath));
    EXPECT_EQ(strPath, strCwd + "/fw.mhx");
    EXPECT_NE(Take().find("> File name (S format files (*.mhx, *.cnv, *.ahx); an empty line cancels): "),
              std::string::npos);
    ASSERT_TRUE(view.OpenFileDialog(strPath, FIRMWARE_FILE_FILTER, strPath));
    EXPECT_EQ(strPath, "/tmp/a b/fw.mhx");
    EXPECT_NE(Take().find("[" + strCwd + "/fw.mhx]: "), std::string::npos) << "the current file is offered";
    ASSERT_TRUE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath));
    EXPECT_EQ(strPath, "/y/fw.mhx");
    ASSERT_TRUE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath));
    if (pszHome != nullptr && pszHome[0] != '\0')
    {
        EXPECT_EQ(strPath,
                  std::filesystem::path(std::string(pszHome) + "/fw.mhx").lexically_normal().string());
    }
    strPath = "unchanged";
    EXPECT_FALSE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath));
    EXPECT_FALSE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath));
    EXPECT_FALSE(view.OpenFileDialog("", FIRMWARE_FILE_FILTER, strPath)) << "end of input";
    EXPECT_EQ(strPath, "unchanged");
}

TEST(ParseYesNo, AcceptsEnglishAndGermanWordsOnly)
{
    for (const char* pszYes : {"y", "Y", "yes", "YES", " ja ", "j", "Ja\t"})
    {
        EXPECT_EQ(ParseYesNo(pszYes), std::optional<bool>(true)) << pszYes;
    }
    for (const char* pszNo : {"n", "No", "NEIN", " nein"})
    {
        EXPECT_EQ(ParseYesNo(pszNo), std::optional<bool>(false)) << pszNo;
    }
    for (const char* pszOther : {"", " ", "yy", "ye", "nope", "0", "1", "y n", "oui"})
    {
        EXPECT_EQ(ParseYesNo(pszOther), std::nullopt) << pszOther;
    }
}

} // namespace
