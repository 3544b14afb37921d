// The console's event loop: which queued event is taken when, the input thread, and how the
// end of input closes the wizard.
#include "app/cli/ConsoleApp.h"
#include "app/cli/InputReader.h"
#include "app/core/Texts.h"
#include "tests/app/SRecordFiles.h"
#include "tests/app/TestDialog.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace
{

SCliEvent Line(const std::string& strLine)
{
    return SCliEvent{ECliEvent::Line, {}, strLine};
}
SCliEvent End()
{
    return SCliEvent{ECliEvent::InputEnd, {}, {}};
}
SCliEvent Close()
{
    return SCliEvent{ECliEvent::CloseRequest, {}, {}};
}
SCliEvent Next()
{
    return SCliEvent{ECliEvent::Wizard, SWizardMessage{WM_WIZARD_NEXT, 0, 0, {}}, {}};
}

TEST(EventQueue, InputWaitsBehindWhileWizardMessagesAndCloseRequestsPass)
{
    CEventQueue queue;
    queue.Push(Line("a"));
    queue.Push(End());
    queue.Push(Next());
    queue.Push(Close());
    EXPECT_TRUE(queue.HasWizardMessage());

    // Busy: no line may be taken, and the end waits behind the earlier line.
    EXPECT_EQ(queue.Take(false, true).kind, ECliEvent::Wizard);
    EXPECT_FALSE(queue.HasWizardMessage());
    EXPECT_EQ(queue.Take(false, true).kind, ECliEvent::CloseRequest);
    // Waiting for the user: input in its order.
    SCliEvent event = queue.Take(true, true);
    EXPECT_EQ(event.kind, ECliEvent::Line);
    EXPECT_EQ(event.strLine, "a");
    EXPECT_EQ(queue.Take(false, true).kind, ECliEvent::InputEnd);
    EXPECT_TRUE(queue.Empty());
}

TEST(EventQueue, ModalLineTakesLinesAndLeavesTheEndForTheLoop)
{
    CEventQueue queue;
    queue.Push(Next());
    queue.Push(Line("/tmp/fw.mhx"));
    queue.Push(End());
    EXPECT_EQ(queue.TakeModalLine(), std::optional<std::string>("/tmp/fw.mhx"));
    EXPECT_EQ(queue.TakeModalLine(), std::nullopt);
    EXPECT_EQ(queue.TakeModalLine(), std::nullopt) << "the end stays queued";
    EXPECT_EQ(queue.Take(true, true).kind, ECliEvent::Wizard);
    EXPECT_EQ(queue.Take(true, true).kind, ECliEvent::InputEnd);

    queue.Push(Close());
    queue.Push(Line("late"));
    EXPECT_EQ(queue.TakeModalLine(), std::nullopt) << "a close request cancels the dialog";
}

TEST(InputReader, SplitsLinesDropsCarriageReturnsAndEndsWithTheEnd)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CEventQueue queue;
    CInputReader reader(queue, fds[0]);
    ASSERT_TRUE(reader.Start());
    const std::string strInput = "first\r\n\nsec";
    ASSERT_EQ(write(fds[1], strInput.data(), strInput.size()), static_cast<ssize_t>(strInput.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(write(fds[1], "ond\nlast", 8), 8);
    close(fds[1]);

    std::vector<std::string> lines;
    for (;;)
    {
        const SCliEvent event = queue.Take(true, true);
        if (event.kind == ECliEvent::InputEnd)
        {
            break;
        }
        ASSERT_EQ(event.kind, ECliEvent::Line);
        lines.push_back(event.strLine);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "", "second", "last"}));
    reader.Stop();
    close(fds[0]);
}

TEST(InputReader, StopsWhileInputIsStillOpen)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CEventQueue queue;
    {
        CInputReader reader(queue, fds[0]);
        ASSERT_TRUE(reader.Start());
    } // must not hang on the open pipe
    EXPECT_TRUE(queue.Empty());
    close(fds[0]);
    close(fds[1]);
}

TEST(AccessDeniedHint, NamesThePortsAndTheGroupThatOwnsThem)
{
    SelectTextLanguage(ETextLanguage::English);
    EXPECT_EQ(CConsoleApp::AccessDeniedHint({}, [](const std::string&) { return std::string("x"); }), "");
    const std::string strHint = CConsoleApp::AccessDeniedHint(
        {"/dev/ttyUSB0", "/dev/ttyS4"}, [](const std::string&) { return std::string("uucp"); });
    EXPECT_NE(strHint.find("/dev/ttyUSB0, /dev/ttyS4"), std::string::npos);
    EXPECT_NE(strHint.find("sudo usermod -aG uucp $USER"), std::string::npos);
    EXPECT_NE(strHint.find("log out and in again"), std::string::npos);
    // Unknown or root-owned: the usual serial group.
    const std::string strDefault = CConsoleApp::AccessDeniedHint({"/dev/ttyUSB0"}, [](const std::string&)
                                                                 { return std::string("root"); });
    EXPECT_NE(strDefault.find("sudo usermod -aG dialout $USER"), std::string::npos);
}

TEST(PortsInUseHint, NamesEveryHeldPortOrSaysNothing)
{
    SelectTextLanguage(ETextLanguage::English);
    EXPECT_EQ(CConsoleApp::PortsInUseHint({}), "");
    const std::string strHint = CConsoleApp::PortsInUseHint({"/dev/ttyUSB0", "/dev/ttyACM1"});
    EXPECT_NE(strHint.find("another program is using them: /dev/ttyUSB0, /dev/ttyACM1."), std::string::npos);
}

class ConsoleApp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectTextLanguage(ETextLanguage::English);
        m_pUnit = std::make_shared<SFakeUnit>();
        m_strFirmware = m_dir.File("fw.mhx");
        WriteFileText(m_strFirmware, FirmwareText("MB90F345", "Analyzer AX-7", "V2.14.0"));
        m_pApp = std::make_unique<CConsoleApp>(
            m_out, false,
            [this](IWizardView& view) { return std::make_unique<CTestDlg>(view, m_pUnit, nullptr); });
        m_pApp->View().SetSleep([](uint32_t) {});
        m_pApp->Dialog().SetAppName("orlix-cli");
        m_pDlg = dynamic_cast<CTestDlg*>(&m_pApp->Dialog());
    }

    // Runs the wizard with the events queued beforehand; the exit status.
    int Run(const std::string& strCmdLine, std::vector<SCliEvent> events)
    {
        m_pApp->Dialog().ParseCommandLine(strCmdLine);
        for (SCliEvent& event : events)
        {
            m_pApp->Queue().Push(std::move(event));
        }
        auto result = std::async(std::launch::async, [this] { return m_pApp->Run(); });
        if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
        {
            ADD_FAILURE() << "the wizard did not close";
            m_pApp->Queue().Push(Close());
            m_pUnit->onSearch = nullptr;
            return -1;
        }
        return result.get();
    }

    static std::size_t Count(const std::string& strText, const std::string& strPart)
    {
        std::size_t nCount = 0;
        for (std::size_t nPos = strText.find(strPart); nPos != std::string::npos;
             nPos = strText.find(strPart, nPos + 1))
        {
            ++nCount;
        }
        return nCount;
    }

    CTempDir m_dir;
    std::string m_strFirmware;
    std::ostringstream m_out;
    std::shared_ptr<SFakeUnit> m_pUnit;
    std::unique_ptr<CConsoleApp> m_pApp;
    CTestDlg* m_pDlg = nullptr;
};

TEST_F(ConsoleApp, EndOfInputWhileAWorkerRunsIsRefusedThenClosesAtTheNextWaitingPage)
{
    m_pUnit->onSearch = [](IWorkerHost*) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    const int nStatus = Run("", {Line(""), Line(""), Line(m_strFirmware), Line(""), End()});
    const std::string strOut = m_out.str();
    EXPECT_EQ(nStatus, 1);
    EXPECT_EQ(Count(strOut, LoadText(102)), 1U) << strOut;
    EXPECT_LT(strOut.find(LoadText(102)), strOut.find(LoadText(126))) << "refused during the search";
    EXPECT_NE(strOut.find(LoadText(127)), std::string::npos) << "the found page was reached and shown";
    EXPECT_EQ(m_pUnit->nDownloads, 0) << "closing never presses a button";
    EXPECT_TRUE(m_pApp->View().IsEnded());
}

TEST_F(ConsoleApp, TypedAheadLinesWaitForTheirPagesAndWrongInputIsAskedAgain)
{
    // "Start", a stray word at "File open", then the file, then an empty line at the
    // connect page: each line is used by the page that waits when it is its turn.
    const int nStatus = Run("", {Line(""), Line("go"), Line(""), Line(m_strFirmware), Line(""), End()});
    const std::string strOut = m_out.str();
    EXPECT_EQ(nStatus, 1);
    EXPECT_EQ(m_pUnit->nSearches, 1);
    EXPECT_NE(strOut.find("To press [File open], enter an empty line."), std::string::npos) << strOut;
    EXPECT_NE(strOut.find("Status: " + m_strFirmware + " | Analyzer AX-7"), std::string::npos);
}

TEST_F(ConsoleApp, RepeatModeAnswersInEitherLanguageAndAsksAgainOnAnythingElse)
{
    const int nStatus = Run("-r -f:" + m_strFirmware, {Line(""), Line(""), Line(""), Line("maybe"), Line("J"),
                                                       Line(""), Line(""), Line("nein")});
    const std::string strOut = m_out.str();
    EXPECT_EQ(nStatus, 0) << strOut;
    EXPECT_EQ(m_pUnit->nPrograms, 2);
    EXPECT_EQ(m_pDlg->OpenCount(), 2);
    EXPECT_EQ(Count(strOut, "Please answer y (yes) or n (no)."), 1U);
    EXPECT_EQ(Count(strOut, "> [Yes] / [No] Answer y or n."), 3U)
        << "asked, asked again, and for the second unit";
    EXPECT_EQ(Count(strOut, LoadText(136)), 2U);
}

TEST_F(ConsoleApp, CloseRequestOnAWaitingPageClosesAtOnce)
{
    const int nStatus = Run("-f:" + m_strFirmware, {Close(), Line("")});
    EXPECT_EQ(nStatus, 1);
    EXPECT_EQ(m_pUnit->nSearches, 0);
    EXPECT_EQ(m_pApp->Dialog().GetState(), STATE_WELCOME);
}

TEST_F(ConsoleApp, EndOfInputCancelsTheFileNameAndCloses)
{
    const int nStatus = Run("", {Line(""), Line(""), End()});
    EXPECT_EQ(nStatus, 1);
    EXPECT_NE(m_out.str().find("(no file chosen)"), std::string::npos);
    EXPECT_EQ(m_pApp->Dialog().GetState(), STATE_SELECT_FIRMWARE);
}

TEST_F(ConsoleApp, NotFoundPageNamesPortsWhoseAccessWasDenied)
{
    m_pUnit->found = {false};
    m_pUnit->probeFailures = {{"/dev/ttyS0", EACCES}, {"/dev/ttyS1", EBUSY}};
    const int nStatus = Run("-a -f:" + m_strFirmware, {Line(""), End()});
    const std::string strOut = m_out.str();
    EXPECT_EQ(nStatus, 1);
    const std::size_t nNotFound = strOut.find(LoadText(129));
    const std::size_t nHint = strOut.find("Skipped because access was denied: /dev/ttyS0.");
    ASSERT_NE(nNotFound, std::string::npos) << strOut;
    ASSERT_NE(nHint, std::string::npos) << strOut;
    EXPECT_LT(nNotFound, nHint);
    EXPECT_EQ(strOut.find("/dev/ttyS1"), std::string::npos) << "only denied ports are named";
}

} // namespace
