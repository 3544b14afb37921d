// Kernel folders on Windows: "kernels" beside the program, where an installer or a zip puts it.
#include "target/KernelResources.h"

#include <windows.h>

std::vector<std::string> DefaultKernelFolders()
{
    std::string strPath(MAX_PATH, '\0');
    for (;;)
    {
        const DWORD dwLength =
            GetModuleFileNameA(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (dwLength == 0)
        {
            return {};
        }
        if (dwLength < strPath.size())
        {
            strPath.resize(dwLength);
            break;
        }
        // Truncated: a longer path than MAX_PATH; try again with room for it.
        strPath.assign(strPath.size() * 2, '\0');
    }
    const std::size_t nSlash = strPath.find_last_of("\\/");
    if (nSlash == std::string::npos)
    {
        return {};
    }
    return {strPath.substr(0, nSlash + 1) + "kernels"};
}
