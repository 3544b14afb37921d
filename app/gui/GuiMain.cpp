// Entry point of bin/orlix. The command line is taken as the bytes the system passed, before
// the toolkit sees it, so a path in any encoding reaches the wizard unchanged.
#include "app/core/CommandLine.h"
#include "app/core/KernelInfo.h"
#include "app/gui/OrlixApp.h"

#include <wx/init.h>
#include <wx/log.h>

#include <cstring>
#include <iostream>

int main(int argc, char** argv)
{
    const std::string strCmdLine = JoinCommandLine(argc, argv);
    const std::string strAppName = AppNameFromPath(argc > 0 && argv[0] != nullptr ? argv[0] : "orlix");
    // --version needs no display.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::string strError;
            if (!LoadKernelsForCommandLine(strCmdLine, strError))
            {
                std::cerr << strAppName << ": " << strError << "\n";
                return 1;
            }
            std::cout << VersionText() << "\n";
            return 0;
        }
    }
    // The toolkit's own complaints (no display, for one) go to stderr: a message box is no
    // use before the toolkit runs, and trying one without a display aborts the process.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxApp::SetInstance(new COrlixApp(strCmdLine, strAppName));
    const int nStatus = wxEntry(argc, argv);
    // A toolkit that cannot start (no display) is a failure like any other, not status 255.
    return nStatus < 0 ? 1 : nStatus;
}
