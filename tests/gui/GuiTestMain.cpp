// Main of the window tests: a virtual display when there is none, wx initialised once for the
// whole run, the English texts.
#include "app/core/Texts.h"
#include "tests/gui/VirtualDisplay.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
class CTestApp : public wxApp
{
public:
    // The test runner's options are not wx's.
    bool OnInit() override
    {
        wxImage::AddHandler(new wxPNGHandler);
        return true;
    }
};

bool IsListingOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
        {
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (done at build time) needs no display.
    if (IsListingOnly(argc, argv))
    {
        return RUN_ALL_TESTS();
    }
    CVirtualDisplay display;
    std::string strError;
    if (!display.Ensure(strError))
    {
        std::fprintf(stderr, "no X display for the window tests: %s\n", strError.c_str());
        return 1;
    }
    setenv("NO_AT_BRIDGE", "1", 1);
    SelectTextLanguage(ETextLanguage::English);

    wxApp::SetInstance(new CTestApp);
    int nArgc = 1;
    char* argvWx[] = {argv[0], nullptr};
    if (!wxEntryStart(nArgc, argvWx) || !wxTheApp->CallOnInit())
    {
        std::fprintf(stderr, "cannot initialise wxWidgets on DISPLAY=%s\n", std::getenv("DISPLAY"));
        return 1;
    }
    int nResult = 0;
    {
        // The tests pump this loop themselves.
        wxGUIEventLoop loop;
        wxEventLoopActivator activator(&loop);
        nResult = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nResult;
}
