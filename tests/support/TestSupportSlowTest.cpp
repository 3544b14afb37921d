// The shared test helpers themselves: other test folders rely on them to start programs,
// so their edges (time-outs, large outputs, missing programs) are checked here.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace
{
const std::string SH = "/bin/sh";
}

TEST(RunProcessSlowTest, ExitStatusOutputsAndStdin)
{
    const SProcessResult r = RunProcess(SH, {"-c", "cat; echo err >&2; exit 3"}, "line one\nline two\n", 10s);
    EXPECT_TRUE(r.bStarted);
    EXPECT_FALSE(r.bTimedOut);
    EXPECT_EQ(r.nExitCode, 3);
    EXPECT_EQ(r.nSignal, 0);
    EXPECT_FALSE(r.Succeeded());
    EXPECT_EQ(r.strStdout, "line one\nline two\n");
    EXPECT_EQ(r.strStderr, "err\n");

    const SProcessResult ok = RunProcess(SH, {"-c", "test \"$1\" = 'a b'", "sh", "a b"}, "", 10s);
    EXPECT_TRUE(ok.Succeeded()); // arguments pass unsplit

    SRunOptions opts;
    opts.args = {"-c", "echo \"$ORLIX_TEST_VALUE\"; pwd"};
    opts.extraEnv = {"ORLIX_TEST_VALUE=42"};
    opts.strWorkDir = "/";
    const SProcessResult env = RunProcess(SH, opts);
    EXPECT_EQ(env.strStdout, "42\n/\n");
}

TEST(RunProcessSlowTest, LargeOutputsOnBothStreamsAndUnreadStdin)
{
    // More than a pipe holds on each stream at once: must not deadlock.
    const SProcessResult r =
        RunProcess(SH, {"-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2"}, "", 20s);
    EXPECT_TRUE(r.Succeeded());
    EXPECT_EQ(r.strStdout.size(), 300000u);
    EXPECT_EQ(r.strStderr.size(), 200000u);

    // A child that never reads a large stdin and exits: no hang, no SIGPIPE in the test.
    const SProcessResult ignoring = RunProcess(SH, {"-c", "exit 0"}, std::string(1 << 20, 'x'), 20s);
    EXPECT_TRUE(ignoring.Succeeded());
}

TEST(RunProcessSlowTest, TimeOutKillsTheWholeProcessGroup)
{
    CTempDir dir;
    // The shell starts a background child that would write a file after 3 s.
    const std::string strMarker = dir.File("late");
    const SProcessResult r =
        RunProcess(SH, {"-c", "(sleep 3; touch " + strMarker + ") & echo started; sleep 30"}, "", 500ms);
    EXPECT_TRUE(r.bTimedOut);
    EXPECT_EQ(r.nSignal, SIGKILL);
    EXPECT_EQ(r.strStdout, "started\n");
    EXPECT_LT(r.elapsed, 5s);
    std::this_thread::sleep_for(3500ms);
    struct stat st
    {
    };
    EXPECT_NE(stat(strMarker.c_str(), &st), 0) << "the background child survived the time-out";
}

TEST(RunProcessSlowTest, MissingProgramIsReportedNotThrown)
{
    const SProcessResult r = RunProcess("/nonexistent/orlix-cli", {}, "", 5s);
    EXPECT_FALSE(r.bStarted);
    EXPECT_FALSE(r.strError.empty());
    EXPECT_FALSE(r.Succeeded());
}

TEST(SimProcessSupportSlowTest, StartFailuresAreReportedWithTheSimulatorsReason)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = "NOCHIP";
    EXPECT_FALSE(sim.Start(dir.Path(), opts));
    EXPECT_NE(sim.Error().find("unknown processor"), std::string::npos) << sim.Error();
    EXPECT_FALSE(sim.IsRunning());

    // A program that never prints the ready line is stopped after the time-out.
    const std::string strScript = dir.File("silent.sh");
    WriteFileText(strScript, "#!/bin/sh\nexec sleep 30\n");
    ASSERT_EQ(chmod(strScript.c_str(), 0700), 0);
    CSimProcess silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(silent.Start(dir.Path(), {}, 300ms, strScript));
    EXPECT_NE(silent.Error().find("no ready line"), std::string::npos) << silent.Error();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_FALSE(silent.IsRunning());

    // A program that ends without it.
    CSimProcess ending;
    EXPECT_FALSE(ending.Start(dir.Path(), {}, 5s, "/bin/true"));
    EXPECT_NE(ending.Error().find("ended before it was ready"), std::string::npos) << ending.Error();
}

TEST(TempDirSlowTest, FolderIsPrivateAndRemovedWithItsContents)
{
    std::string strPath;
    {
        CTempDir dir;
        strPath = dir.Path();
        struct stat st
        {
        };
        ASSERT_EQ(stat(strPath.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        WriteFileText(dir.File("a.txt"), "x");
        ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0700), 0);
        WriteFileBytes(dir.File("sub/b.bin"), {1, 2, 3});
        EXPECT_EQ(ReadFileBytes(dir.File("sub/b.bin")), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_TRUE(ReadFileBytes(dir.File("missing")).empty());
        CTempDir other;
        EXPECT_NE(other.Path(), strPath);
    }
    struct stat st
    {
    };
    EXPECT_NE(stat(strPath.c_str(), &st), 0);
}
