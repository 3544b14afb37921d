#pragma once
// Texts of the console front-end itself (prompts and hints), in the wizard's language.
#include <string>

enum class ECliText
{
    PressEnter,     // "> [%s] Press Enter."
    AnswerYesNo,    // "> [%s] / [%s] Answer y or n."
    NotAnAnswer,    // refused Yes/No input
    EnterOnly,      // refused text at the action prompt; %s: caption
    FileNamePrompt, // %s: filter description, %s: current file or empty
    FileCancelled,  // the file dialog was left without a name
    AccessDenied,   // %s: ports, %s: group, %s: group
    PortsInUse,     // %s: ports
    StandInNotice,  // prefix of the stand-in kernel notice
    Usage,          // --help
};

std::string CliText(ECliText id);
