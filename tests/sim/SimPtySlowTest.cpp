// The simulator's pty on a real pseudo-terminal: link handling and the shared line settings
// that tell the unit what speed the program has set.
#include "sim/SimPty.h"

#include "RawLine.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

using namespace std::chrono_literals;

namespace
{
std::string LinkTarget(const std::string& strLink)
{
    char buf[256];
    const ssize_t n = readlink(strLink.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
} // namespace

TEST(SimPtySlowTest, LinkIsMadeReplacedAndRemovedOnlyWhenOurs)
{
    CTempDir dir;
    const std::string strLink = dir.File("unit0");
    std::string strError;
    {
        CSimPty pty;
        ASSERT_TRUE(pty.Open(strLink, strError)) << strError;
        EXPECT_EQ(LinkTarget(strLink), pty.SlaveName());
        EXPECT_EQ(pty.SlaveName().rfind("/dev/pts/", 0), 0u);

        // A second pty on the same path takes the link over (a stale link of a killed run).
        CSimPty second;
        ASSERT_TRUE(second.Open(strLink, strError)) << strError;
        EXPECT_EQ(LinkTarget(strLink), second.SlaveName());
        pty.Close(); // not its link any more: left alone
        EXPECT_EQ(LinkTarget(strLink), second.SlaveName());
        second.Close();
        struct stat st
        {
        };
        EXPECT_NE(lstat(strLink.c_str(), &st), 0);
    }
    // A file that is not a symlink is never replaced.
    std::ofstream(dir.File("file")) << "keep";
    CSimPty pty;
    EXPECT_FALSE(pty.Open(dir.File("file"), strError));
    EXPECT_NE(strError.find("not a symlink"), std::string::npos);
    std::ifstream in(dir.File("file"));
    std::string strContent;
    in >> strContent;
    EXPECT_EQ(strContent, "keep");
    EXPECT_FALSE(pty.Open(dir.File("missing/unit0"), strError));
}

TEST(SimPtySlowTest, ProgramsLineSettingsAreSeenOnTheSimulatorsOwnSlave)
{
    CTempDir dir;
    CSimPty pty;
    std::string strError;
    ASSERT_TRUE(pty.Open(dir.File("unit0"), strError)) << strError;

    SPtyLineInfo info;
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_TRUE(info.bRaw) << info.strNotRaw;
    EXPECT_NE(info.line.dwBaud, 4800u); // not preset: the program has to set it

    CRawLine line;
    line.Open(dir.File("unit0"), 4800);
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_EQ(info.line, (SLineState{4800, true}));
    line.SetSpeed(115200);
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_EQ(info.line.dwBaud, 115200u);
    line.SetSpeed(115200, true);
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_FALSE(info.line.bFormatOk);

    termios tio{};
    ASSERT_EQ(tcgetattr(line.Fd(), &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    tio.c_iflag |= IXON;
    ASSERT_EQ(tcsetattr(line.Fd(), TCSANOW, &tio), 0);
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_FALSE(info.bRaw);
    EXPECT_NE(info.strNotRaw.find("ICANON"), std::string::npos);
    EXPECT_NE(info.strNotRaw.find("ECHO"), std::string::npos);
    EXPECT_NE(info.strNotRaw.find("IXON"), std::string::npos);

    // The settings stay with the line when the program closes and reopens its port.
    line.SetSpeed(57600);
    line.Close();
    ASSERT_TRUE(ReadPtyLineInfo(pty.SlaveFd(), info));
    EXPECT_EQ(info.line.dwBaud, 57600u);
}

TEST(SimPtySlowTest, ProgramClosingItsPortDoesNotHangUpTheMaster)
{
    CTempDir dir;
    CSimPty pty;
    std::string strError;
    ASSERT_TRUE(pty.Open(dir.File("unit0"), strError)) << strError;
    {
        CRawLine line;
        line.Open(dir.File("unit0"), 4800);
        line.Write({0x18});
    }
    pollfd pfd{pty.MasterFd(), POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 1000), 1);
    EXPECT_EQ(pfd.revents & POLLHUP, 0);
    uint8_t by = 0;
    EXPECT_EQ(read(pty.MasterFd(), &by, 1), 1);
    EXPECT_EQ(by, 0x18);
    pfd.revents = 0;
    EXPECT_EQ(poll(&pfd, 1, 50), 0); // nothing more, and no hang-up
}
