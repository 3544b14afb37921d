// The shared test helpers themselves: other test folders rely on them to start programs, so
// their edges (time-outs, large outputs, missing programs) are checked here.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <thread>

using namespace std::chrono_literals;

namespace
{
const std::string SH = "/bin/sh";
bool Exists(const std::string& strPath)
{
    struct stat st = {};
    return stat(strPath.c_str(), &st) == 0;
}
} // namespace

TEST(RunProcessSlowTest, StatusOutputsStdinArgumentsAndEnvironment)
{
    const SProcessResult r = RunProcess(SH, {"-c", "cat; echo err >&2; exit 3"}, "line one\nline two\n", 10s);
    EXPECT_TRUE(r.bStarted && !r.bTimedOut && !r.Succeeded());
    EXPECT_EQ(r.nExitCode, 3);
    EXPECT_EQ(r.strStdout, "line one\nline two\n");
    EXPECT_EQ(r.strStderr, "err\n");
    EXPECT_TRUE(RunProcess(SH, {"-c", "test \"$1\" = 'a b'", "sh", "a b"}, "", 10s).Succeeded());
    SRunOptions opts;
    opts.args = {"-c", "echo \"$ORLIX_TEST_VALUE\"; pwd"};
    opts.extraEnv = {"ORLIX_TEST_VALUE=42"};
    opts.strWorkDir = "/";
    EXPECT_EQ(RunProcess(SH, opts).strStdout, "42\n/\n");
    // More than a pipe holds on both streams must not deadlock; an unread large stdin must not hang.
    const SProcessResult big =
        RunProcess(SH, {"-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2"});
    EXPECT_EQ(big.strStdout.size(), 300000u);
    EXPECT_EQ(big.strStderr.size(), 200000u);
    EXPECT_TRUE(RunProcess(SH, {"-c", "exit 0"}, std::string(1 << 20, 'x'), 20s).Succeeded());
    const SProcessResult missing = RunProcess("/nonexistent/orlix-cli", {}, "", 5s);
    EXPECT_FALSE(missing.bStarted || missing.strError.empty());
}

TEST(RunProcessSlowTest, TimeOutKillsTheWholeProcessGroup)
{
    CTempDir dir;
    const std::string strMarker = dir.File("late"); // a background child would write it after 3 s
    const SProcessResult r =
        RunProcess(SH, {"-c", "(sleep 3; touch " + strMarker + ") & echo started; sleep 30"}, "", 500ms);
    EXPECT_TRUE(r.bTimedOut);
    EXPECT_EQ(r.nSignal, SIGKILL);
    EXPECT_EQ(r.strStdout, "started\n");
    EXPECT_LT(r.elapsed, 5s);
    std::this_thread::sleep_for(3500ms);
    EXPECT_FALSE(Exists(strMarker)) << "the background child survived the time-out";
}

TEST(SimProcessSupportSlowTest, StartFailuresAreReportedWithTheReason)
{
    CTempDir dir;
    CSimProcess sim;
    SSimProcessOptions opts;
    opts.strChip = "NOCHIP";
    EXPECT_FALSE(sim.Start(dir.Path(), opts));
    EXPECT_NE(sim.Error().find("unknown processor"), std::string::npos) << sim.Error();
    EXPECT_FALSE(sim.IsRunning());
    WriteFileText(dir.File("silent.sh"), "#!/bin/sh\nexec sleep 30\n"); // never ready: stopped in time
    ASSERT_EQ(chmod(dir.File("silent.sh").c_str(), 0700), 0);
    CSimProcess silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(silent.Start(dir.Path(), {}, 300ms, dir.File("silent.sh")));
    EXPECT_NE(silent.Error().find("no ready line"), std::string::npos) << silent.Error();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_FALSE(silent.IsRunning());
    CSimProcess ending;
    EXPECT_FALSE(ending.Start(dir.Path(), {}, 5s, "/bin/true"));
    EXPECT_NE(ending.Error().find("ended before it was ready"), std::string::npos) << ending.Error();
}
