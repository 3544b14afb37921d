// Main of the window tests: every process starts its own Xvfb (parallel tests never cover each
// other's windows, no window manager moves them), wx is initialised once, texts are English.
#include "app/core/Texts.h"
#include "tests/support/RunProcess.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) // done at build time, without a display
        return RUN_ALL_TESTS();
    // Xvfb writes its display number to stdout once it accepts clients.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 1;
    SSpawnRequest req;
    req.strPath = ORLIX_XVFB_PATH;
    req.args = {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
    req.nStdoutFd = fds[1];
    std::string strError, strNumber;
    const pid_t xvfb = SpawnChild(req, strError);
    close(fds[1]);
    char buf[32];
    pollfd pfd{fds[0], POLLIN, 0};
    for (ssize_t n = 0; xvfb > 0 && strNumber.find('\n') == std::string::npos && poll(&pfd, 1, 20000) > 0 &&
                        (n = read(fds[0], buf, sizeof buf)) > 0;)
        strNumber.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    if (strNumber.find('\n') != std::string::npos)
        setenv("DISPLAY", (":" + strNumber.substr(0, strNumber.find('\n'))).c_str(), 1);
    else if (std::getenv("DISPLAY") == nullptr)
        return std::fprintf(stderr, "no X display for the window tests: %s\n", strError.c_str()), 1;
    setenv("NO_AT_BRIDGE", "1", 1); // also for bin/orlix started by the tests
    SelectTextLanguage(ETextLanguage::English);
    wxApp::SetInstance(new wxApp);
    int nArgc = 1, nResult = 1, nStatus = 0;
    char* argvWx[] = {argv[0], nullptr};
    if (wxEntryStart(nArgc, argvWx) && wxTheApp->CallOnInit())
    {
        wxImage::AddHandler(new wxPNGHandler);
        {
            wxGUIEventLoop loop; // the tests pump it themselves
            wxEventLoopActivator activator(&loop);
            nResult = RUN_ALL_TESTS();
        }
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    else
        std::fprintf(stderr, "cannot initialise wxWidgets on DISPLAY=%s\n", std::getenv("DISPLAY"));
    if (xvfb > 0 && kill(xvfb, SIGTERM) == 0)
        WaitChild(xvfb, 5000, nStatus);
    return nResult;
}
