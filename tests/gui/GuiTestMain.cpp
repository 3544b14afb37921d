// Main of the window tests: every process starts its own Xvfb (parallel tests never cover each
// other's windows, no window manager moves them), wx is initialised once, texts are English.
#include "app/core/Texts.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace
{
pid_t StartXvfb()
{
    int fds[2];
    if (pipe(fds) != 0)
    {
        return -1;
    }
    std::string strFd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",         "-displayfd", strFd.c_str(), "-screen", "0",
                          "1280x1024x24", "-nolisten",  "tcp",         nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int nRc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string strNumber;
    char buf[32];
    // Xvfb writes its display number to the pipe once it accepts clients.
    pollfd pfd{fds[0], POLLIN, 0};
    while (nRc == 0 && strNumber.find('\n') == std::string::npos && poll(&pfd, 1, 20000) > 0)
    {
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
        {
            break;
        }
        strNumber.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (strNumber.find('\n') == std::string::npos)
    {
        if (nRc == 0)
        {
            kill(pid, SIGKILL);
        }
        return -1;
    }
    setenv("DISPLAY", (":" + strNumber.substr(0, strNumber.find('\n'))).c_str(), 1);
    return pid;
}
} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (done at build time) needs no display.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
        {
            return RUN_ALL_TESTS();
        }
    }
    const pid_t xvfb = StartXvfb();
    if (xvfb < 0 && std::getenv("DISPLAY") == nullptr)
    {
        std::fprintf(stderr, "no X display for the window tests (install the xvfb package)\n");
        return 1;
    }
    setenv("NO_AT_BRIDGE", "1", 1);
    SelectTextLanguage(ETextLanguage::English);
    wxApp::SetInstance(new wxApp);
    int nArgc = 1;
    char* argvWx[] = {argv[0], nullptr};
    int nResult = 1;
    if (wxEntryStart(nArgc, argvWx) && wxTheApp->CallOnInit())
    {
        wxImage::AddHandler(new wxPNGHandler);
        {
            // The tests pump this loop themselves.
            wxGUIEventLoop loop;
            wxEventLoopActivator activator(&loop);
            nResult = RUN_ALL_TESTS();
        }
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    else
    {
        std::fprintf(stderr, "cannot initialise wxWidgets on DISPLAY=%s\n", std::getenv("DISPLAY"));
    }
    if (xvfb > 0)
    {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    return nResult;
}
