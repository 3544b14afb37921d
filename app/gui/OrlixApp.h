#pragma once
// The application object: reads the command line, runs the wizard window modally, and ends
// the process with the wizard's exit status when the window closes.
#include <wx/app.h>

#include <string>

class COrlixApp : public wxApp
{
public:
    // strCmdLine: the options after the program name as one line; strAppName: the executable's
    // file name without extension (caption of the message boxes).
    COrlixApp(std::string strCmdLine, std::string strAppName);

    // No wx command-line parsing: the wizard has its own options.
    bool OnInit() override;
    // The wizard, modally; its exit status (0 after a successful update, 2 after a port
    // error, 1 otherwise) becomes the process's.
    int OnRun() override;

private:
    std::string m_strCmdLine;
    std::string m_strAppName;
};
