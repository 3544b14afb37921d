#include "app/cli/ConsolePlatform.h"
#include "app/cli/ConsoleApp.h"

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

void PrepareConsole()
{
    // A closed output must not end an update half-way; writes then simply fail.
    std::signal(SIGPIPE, SIG_IGN);
}

bool IsConsoleOutput()
{
    return isatty(STDOUT_FILENO) != 0;
}

bool IsConsoleInput()
{
    return isatty(STDIN_FILENO) != 0;
}

std::string DeviceGroupName(const std::string& strPath)
{
    struct stat info = {};
    if (stat(strPath.c_str(), &info) != 0)
    {
        return {};
    }
    const group* pGroup = getgrgid(info.st_gid);
    return pGroup != nullptr && pGroup->gr_name != nullptr ? std::string(pGroup->gr_name) : std::string();
}
