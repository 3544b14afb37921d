#include "app/core/KernelInfo.h"

#include "app/core/CommandLine.h"
#include "app/core/TextIds.h"
#include "app/core/Texts.h"
#include "app/core/Version.h"
#include "target/ChipDef.h"

#include <algorithm>

namespace
{
// "134 (MB90F345, MB90F345CAS)": the id and the processors that get it.
std::string KernelName(uint32_t dwId)
{
    std::string strChips;
    for (std::size_t i = 0; i < ChipTableSize(); ++i)
    {
        if (ChipTable()[i].ResourceId == dwId)
        {
            strChips += (strChips.empty() ? "" : ", ") + ChipTable()[i].Name;
        }
    }
    return std::to_string(dwId) + (strChips.empty() ? "" : " (" + strChips + ")");
}
} // namespace

bool LoadKernelsForCommandLine(const std::string& strCmdLine, std::string& strError)
{
    std::string strFolder;
    const bool bNamed = FindKernelFolderOption(strCmdLine, strFolder);
    if (bNamed && strFolder.empty())
    {
        strError = LoadText(IDS_KERNEL_NO_FOLDER);
        return false;
    }
    SKernelStoreError error;
    if (!LoadProcessKernels(bNamed ? strFolder.c_str() : nullptr, error))
    {
        strError = KernelErrorText(error);
        return false;
    }
    return true;
}

std::string KernelErrorText(const SKernelStoreError& error)
{
    switch (error.eKind)
    {
    case EKernelStoreError::None:
        return {};
    case EKernelStoreError::FolderMissing:
        return FormatText(LoadText(IDS_KERNEL_FOLDER_MISSING), {error.strPath});
    case EKernelStoreError::FolderEmpty:
        return FormatText(LoadText(IDS_KERNEL_FOLDER_EMPTY), {error.strPath});
    case EKernelStoreError::WrongSize:
        return FormatText(LoadText(IDS_KERNEL_WRONG_SIZE), {error.strPath, std::to_string(error.qwSize),
                                                            std::to_string(error.dwExpectedSize)});
    case EKernelStoreError::NotAFile:
        return FormatText(LoadText(IDS_KERNEL_NOT_A_FILE), {error.strPath});
    case EKernelStoreError::Unreadable:
        return FormatText(LoadText(IDS_KERNEL_UNREADABLE), {error.strPath, error.strReason});
    }
    return {};
}

bool OnlyBuiltInStandIns()
{
    const std::vector<SKernelInUse> inUse = ProcessKernelStore().InUse();
    return std::all_of(inUse.begin(), inUse.end(),
                       [](const SKernelInUse& kernel) { return kernel.bStandIn && !kernel.bFromFile; });
}

std::vector<std::string> KernelsInUseLines(bool bShort)
{
    if (bShort && OnlyBuiltInStandIns())
    {
        return {LoadText(IDS_KERNEL_STAND_IN_NOTICE)};
    }
    std::vector<std::string> lines;
    for (const SKernelInUse& kernel : ProcessKernelStore().InUse())
    {
        const std::string strName = KernelName(kernel.dwId);
        if (kernel.bFromFile)
        {
            lines.push_back(
                FormatText(LoadText(IDS_KERNEL_FILE), {strName, kernel.strPath, kernel.strSha256}));
        }
        else if (kernel.bStandIn)
        {
            lines.push_back(FormatText(LoadText(IDS_KERNEL_STAND_IN), {strName}));
        }
        else
        {
            lines.push_back(FormatText(LoadText(IDS_KERNEL_BUILT_IN), {strName, kernel.strSha256}));
        }
    }
    return lines;
}

std::string VersionText()
{
    std::string strText = std::string(ORLIX_PRODUCT_NAME) + " " + ORLIX_VERSION;
    for (const std::string& strLine : KernelsInUseLines(false))
    {
        strText += "\n" + strLine;
    }
    return strText;
}
