// Command lines the fuzz target (fuzz/FuzzCommandLine.cpp) found, kept as fast tests. On POSIX
// the front-ends join argv into one line for the parser; a path must come back from that
// whole or not at all, never as another file and never changing the options around it.
#include "app/core/CommandLine.h"
#include "app/core/OrlixDlg.h"
#include "app/core/WizardView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The parser touches no window.
class CNullView : public IWizardView
{
public:
    void SetControlText(int, const std::string&) override {}
    void SetControlIcon(int, EViewIcon) override {}
    void ShowControl(int, bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void PlaySound(EViewSound) override {}
    void MessageBox(const std::string&, const std::string&, EMsgBoxIcon) override {}
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override { return false; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusPane(int, const std::string&) override {}
    void PostWizardMessage(SWizardMessage) override {}
    void Pause(uint32_t) override {}
    void EndDialog() override {}
};

// Joins {"-r", "-f:<path>", "-a"} as the front-ends do, parses it, and checks that the path
// came back whole or not at all and that -r and -a are still there, with nothing added.
void ExpectPathWholeOrDropped(const std::string& strPath)
{
    const std::string strArg = "-f:" + strPath;
    const char* argv[] = {"orlix-cli", "-r", strArg.c_str(), "-a"};
    const std::string strLine = JoinCommandLine(4, argv);
    CNullView view;
    COrlixDlg dlg(view);
    dlg.ParseCommandLine(strLine);
    if (!dlg.GetCmdLineFile().empty())
    {
        EXPECT_EQ(dlg.GetCmdLineFile(), strPath) << "line: " << strLine;
    }
    EXPECT_EQ(dlg.IsRepeat(), 1) << "line: " << strLine;
    EXPECT_EQ(dlg.IsAuto(), 1) << "line: " << strLine;
    EXPECT_TRUE(dlg.GetExplicitPorts().empty()) << "line: " << strLine;
}
} // namespace

// A '"' inside a value that has to be quoted for its space ended the quoted value early: the
// parser took the text before it as the path and read the rest as further options.
TEST(CommandLineFuzzRegression, PathWithQuoteAndSpaceIsNeverReadAsAnotherPath)
{
    ExpectPathWholeOrDropped("/media/usb/Firmware \"new\" v2.mhx");
    ExpectPathWholeOrDropped("-f:\"/tmp/a b -a"); // the fuzzer's input
    ExpectPathWholeOrDropped("/tmp/dir\" with/fw.mhx");
    ExpectPathWholeOrDropped("/tmp/ends with a quote\"");
}

TEST(CommandLineFuzzRegression, PathWithQuoteAndSpaceAddsNoOptions)
{
    ExpectPathWholeOrDropped("/tmp/x\" -p:/dev/ttyS0 \"y.mhx");
    ExpectPathWholeOrDropped("/tmp/x\" -f:/tmp/other.mhx \"y.mhx");
    // Already in quotes, but with a quote inside: the same.
    ExpectPathWholeOrDropped("\"/tmp/x\" -p:/dev/ttyS0 \"y.mhx\"");
}

// What already works and must stay so: quotes without a space, spaces without a quote.
TEST(CommandLineFuzzRegression, PathsTheLineCanCarryComeBackWhole)
{
    for (const std::string strPath : {"/tmp/a\"b.mhx", "/tmp/a b/c -a d.mhx", "/x:y/ -r.mhx", ""})
    {
        const std::string strArg = "/F:" + strPath;
        const char* argv[] = {"orlix-cli", strArg.c_str(), "-a"};
        CNullView view;
        COrlixDlg dlg(view);
        dlg.ParseCommandLine(JoinCommandLine(3, argv));
        EXPECT_EQ(dlg.GetCmdLineFile(), strPath);
        EXPECT_EQ(dlg.IsAuto(), 1) << strPath;
        EXPECT_EQ(dlg.IsRepeat(), 0) << strPath;
    }
}
