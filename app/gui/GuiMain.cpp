// Entry point of bin/orlix. The command line is taken as the bytes the system passed, before
// the toolkit sees it, so a path in any encoding reaches the wizard unchanged.
#include "app/core/CommandLine.h"
#include "app/gui/OrlixApp.h"

#include <wx/init.h>

int main(int argc, char** argv)
{
    const std::string strCmdLine = JoinCommandLine(argc, argv);
    const std::string strAppName = AppNameFromPath(argc > 0 && argv[0] != nullptr ? argv[0] : "orlix");
    wxApp::SetInstance(new COrlixApp(strCmdLine, strAppName));
    return wxEntry(argc, argv);
}
