// Kernel folders on Linux and other POSIX systems: the user's data folder, then the system's.
#include "target/KernelResources.h"

#include <cstdlib>

std::vector<std::string> DefaultKernelFolders()
{
    return XdgKernelFolders(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}
