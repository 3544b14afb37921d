// orlix-cli: the update wizard in a terminal, for service benches without a desktop and for
// scripted use. Same command line as the windowed program (-f, -a, -r, -p).
#include "app/cli/ConsoleApp.h"
#include "app/cli/ConsolePlatform.h"
#include "app/cli/ConsoleTexts.h"
#include "app/cli/InputReader.h"
#include "app/core/CommandLine.h"
#include "app/core/Texts.h"
#include "app/core/Version.h"
#include "target/KernelResources.h"

#include <cstring>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    PrepareConsole();
    const std::string strAppName = AppNameFromPath(argc > 0 && argv[0] != nullptr ? argv[0] : "orlix-cli");
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--help") == 0)
        {
            std::cout << FormatText(CliText(ECliText::Usage), {strAppName}) << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::cout << ORLIX_PRODUCT_NAME << " " << ORLIX_VERSION << "\n";
            return 0;
        }
    }

    CConsoleApp app(std::cout, IsConsoleOutput());
    app.View().SetEchoInput(!IsConsoleInput());

    std::string strBanner = std::string(ORLIX_DIALOG_TITLE) + " - " + ORLIX_ABOUT_TEXT2;
    app.View().PrintLine(strBanner);
    if (KernelsAreStandIns())
    {
        app.View().PrintLine(CliText(ECliText::StandInNotice) + STAND_IN_KERNEL_NOTICE);
    }

    COrlixDlg& dlg = app.Dialog();
    dlg.SetAppName(strAppName);
    dlg.ParseCommandLine(JoinCommandLine(argc, argv));

    CInputReader reader(app.Queue(), STDIN_FILENO);
    if (!reader.Start())
    {
        std::cerr << strAppName << ": cannot read the input\n";
        return 1;
    }
    const int nStatus = app.Run();
    reader.Stop();
    return nStatus;
}
