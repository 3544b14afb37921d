// The console front-end: the answers it understands, the port hints on the not-found page, and
// how the end of input closes the wizard.
#include "app/cli/ConsoleApp.h"
#include "app/cli/ConsoleView.h"
#include "tests/app/Fakes.h"
#include <cerrno>
#include <future>
#include <sstream>

namespace
{

const auto Line = [](const std::string& s) { return SCliEvent{ECliEvent::Line, {}, s}; };
const SCliEvent kEnd{ECliEvent::InputEnd, {}, {}}, kClose{ECliEvent::CloseRequest, {}, {}};

class ConsoleApp : public WizardFixture
{
protected:
    // Runs the wizard with the events queued beforehand; the exit status and all output.
    std::pair<int, std::string> Run(const std::string& strCmdLine, std::vector<SCliEvent> events)
    {
        m_out.str(std::string());
        CConsoleApp app(m_out, false, [this](IWizardView& view) { return MakeTestDlg(view, m_pUnit); });
        app.View().SetSleep([](uint32_t) {});
        app.Dialog().ParseCommandLine(strCmdLine);
        for (SCliEvent& event : events)
            app.Queue().Push(std::move(event));
        auto result = std::async(std::launch::async, [&app] { return app.Run(); });
        if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
            app.Queue().Push(kClose), ADD_FAILURE() << "the wizard did not close";
        m_nState = app.Dialog().GetState();
        EXPECT_TRUE(app.View().IsEnded());
        return {result.get(), m_out.str()};
    }
    std::ostringstream m_out;
    int m_nState = 0;
};

TEST_F(ConsoleApp, EndOfInputWhileAWorkerRunsIsRefusedThenClosesAtTheNextWaitingPage)
{
    m_pUnit->onSearch = [](CUnitSession&, IWorkerHost&)
    { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    const auto [nStatus, strOut] =
        Run("", {Line(""), Line("go"), Line(""), Line(m_strFirmware), Line(""), kEnd});
    EXPECT_EQ(nStatus, 1);
    EXPECT_NE(strOut.find("To press [File open], enter an empty line."), std::string::npos) << "asked again";
    EXPECT_EQ(strOut.find(LoadText(102)), strOut.rfind(LoadText(102))) << "refused once\n" << strOut;
    EXPECT_LT(strOut.find(LoadText(102)), strOut.find(LoadText(126))) << "refused during the search";
    EXPECT_EQ(m_pUnit->nDownloads, 0) << "closing never presses a button";
}

TEST_F(ConsoleApp, EndOfInputOrACloseRequestOnAWaitingPageClosesAtOnce)
{
    const auto [nStatus, strOut] = Run("", {Line(""), Line(""), kEnd});
    EXPECT_EQ(nStatus, 1);
    EXPECT_NE(strOut.find("(no file chosen)"), std::string::npos);
    EXPECT_EQ(m_nState, STATE_SELECT_FIRMWARE);
    EXPECT_EQ(Run("-f:" + m_strFirmware, {kClose, Line("")}).first, 1);
    EXPECT_EQ(m_nState, STATE_WELCOME);
}

TEST_F(ConsoleApp, NotFoundPageNamesTheDeniedAndTheHeldPortsEachInItsHint)
{
    m_pUnit->found = {false};
    m_pUnit->probeFailures = {{"/dev/ttyS0", EACCES}, {"/dev/ttyS1", EBUSY}};
    const auto [nStatus, strOut] = Run("-a -f:" + m_strFirmware, {Line(""), kEnd});
    EXPECT_EQ(nStatus, 1);
    const std::size_t nNotFound = strOut.find(LoadText(129));
    ASSERT_NE(nNotFound, std::string::npos) << strOut;
    EXPECT_LT(nNotFound, strOut.find("Skipped because access was denied: /dev/ttyS0.")) << strOut;
    EXPECT_NE(strOut.find("Skipped because another program is using them: /dev/ttyS1."), std::string::npos);
}

TEST(ParseYesNo, AcceptsEnglishAndGermanWordsOnly)
{
    for (const char* psz : {"y", "YES", " ja ", "j", "Ja\t"})
        EXPECT_EQ(ParseYesNo(psz), std::optional<bool>(true)) << psz;
    for (const char* psz : {"n", "No", "NEIN", " nein"})
        EXPECT_EQ(ParseYesNo(psz), std::optional<bool>(false)) << psz;
    for (const char* psz : {"", " ", "yy", "ye", "nope", "0", "1", "y n", "oui"})
        EXPECT_EQ(ParseYesNo(psz), std::nullopt) << psz;
}

} // namespace
