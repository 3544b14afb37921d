#include "target/KernelResources.h"

#include "firmware/Sha256.h"
#include "target/kernels/EmbeddedKernels.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
// The stand-ins are a branch to itself followed by zero bytes.
bool IsStandIn(const uint8_t* pData, std::size_t nSize)
{
    if (nSize < 2 || pData[0] != 0x60 || pData[1] != 0xFE)
    {
        return false;
    }
    return std::all_of(pData + 2, pData + nSize, [](uint8_t by) { return by == 0; });
}

const SEmbeddedKernel* FindEmbedded(uint32_t dwId)
{
    const SEmbeddedKernel* pEnd = g_embeddedKernels + g_embeddedKernelCount;
    const SEmbeddedKernel* pFound = std::find_if(
        g_embeddedKernels, pEnd, [dwId](const SEmbeddedKernel& kernel) { return kernel.dwId == dwId; });
    return pFound == pEnd ? nullptr : pFound;
}

enum class EProbe
{
    Absent,
    Loaded,
    Failed,
};

// One candidate file: absent (try the next folder), loaded, or there but unusable.
EProbe ProbeKernelFile(const fs::path& path, uint32_t dwExpectedSize, std::vector<uint8_t>& bytes,
                       SKernelStoreError& error)
{
    error.strPath = path.string();
    std::error_code ec;
    // The link itself counts: a dangling link was meant to be a kernel and is reported.
    const fs::file_status linkStatus = fs::symlink_status(path, ec);
    if (linkStatus.type() == fs::file_type::not_found)
    {
        return EProbe::Absent;
    }
    if (ec)
    {
        error.eKind = EKernelStoreError::Unreadable;
        error.strReason = ec.message();
        return EProbe::Failed;
    }
    const fs::file_status status = fs::status(path, ec);
    if (ec)
    {
        error.eKind = EKernelStoreError::Unreadable;
        error.strReason = ec.message();
        return EProbe::Failed;
    }
    // Checked before opening: opening a FIFO would block start-up.
    if (status.type() != fs::file_type::regular)
    {
        error.eKind = EKernelStoreError::NotAFile;
        return EProbe::Failed;
    }
    const uintmax_t qwSize = fs::file_size(path, ec);
    if (ec)
    {
        error.eKind = EKernelStoreError::Unreadable;
        error.strReason = ec.message();
        return EProbe::Failed;
    }
    if (qwSize != dwExpectedSize)
    {
        error.eKind = EKernelStoreError::WrongSize;
        error.qwSize = qwSize;
        error.dwExpectedSize = dwExpectedSize;
        return EProbe::Failed;
    }

    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        error.eKind = EKernelStoreError::Unreadable;
        error.strReason = std::generic_category().message(errno != 0 ? errno : EIO);
        return EProbe::Failed;
    }
    // One byte more than expected is asked for, so a file that grew since its size was taken
    // is caught as well as one that shrank.
    bytes.assign(dwExpectedSize + 1, 0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.bad())
    {
        error.eKind = EKernelStoreError::Unreadable;
        error.strReason = std::generic_category().message(EIO);
        return EProbe::Failed;
    }
    const auto nRead = static_cast<std::size_t>(file.gcount());
    if (nRead != dwExpectedSize)
    {
        error.eKind = EKernelStoreError::WrongSize;
        error.qwSize = nRead;
        error.dwExpectedSize = dwExpectedSize;
        return EProbe::Failed;
    }
    bytes.resize(nRead);
    return EProbe::Loaded;
}

std::string Sha256Hex(const uint8_t* pData, std::size_t nSize)
{
    return CSha256::ToHex(CSha256::Of(pData, nSize));
}
} // namespace

std::string KernelFileName(uint32_t dwId)
{
    return "kernel-" + std::to_string(dwId) + ".bin";
}

std::vector<std::string> XdgKernelFolders(const char* pszXdgDataHome, const char* pszHome)
{
    std::vector<std::string> folders;
    // A relative XDG_DATA_HOME is invalid by the XDG rules and is ignored, as they say.
    if (pszXdgDataHome != nullptr && pszXdgDataHome[0] == '/')
    {
        folders.push_back(std::string(pszXdgDataHome) + "/orlix/kernels");
    }
    else if (pszHome != nullptr && pszHome[0] != '\0')
    {
        folders.push_back(std::string(pszHome) + "/.local/share/orlix/kernels");
    }
    folders.emplace_back("/usr/share/orlix/kernels");
    return folders;
}

bool CKernelStore::Load(const std::vector<std::string>& folders, bool bNamedFolder, SKernelStoreError& error)
{
    error = SKernelStoreError();
    if (bNamedFolder)
    {
        for (const std::string& strFolder : folders)
        {
            std::error_code ec;
            if (!fs::is_directory(fs::path(strFolder), ec))
            {
                error.eKind = EKernelStoreError::FolderMissing;
                error.strPath = strFolder;
                return false;
            }
        }
    }

    std::vector<SLoadedKernel> loaded;
    for (std::size_t i = 0; i < g_embeddedKernelCount; ++i)
    {
        const SEmbeddedKernel& builtIn = g_embeddedKernels[i];
        for (const std::string& strFolder : folders)
        {
            SLoadedKernel kernel;
            kernel.dwId = builtIn.dwId;
            const fs::path path = fs::path(strFolder) / KernelFileName(builtIn.dwId);
            const EProbe probe = ProbeKernelFile(path, builtIn.dwSize, kernel.bytes, error);
            if (probe == EProbe::Failed)
            {
                return false;
            }
            if (probe == EProbe::Loaded)
            {
                kernel.strPath = path.string();
                loaded.push_back(std::move(kernel));
                break;
            }
        }
    }
    error = SKernelStoreError();
    if (bNamedFolder && loaded.empty())
    {
        error.eKind = EKernelStoreError::FolderEmpty;
        error.strPath = folders.empty() ? std::string() : folders.front();
        return false;
    }
    m_kernels = std::move(loaded);
    return true;
}

void CKernelStore::Clear()
{
    m_kernels.clear();
}

bool CKernelStore::Find(uint32_t dwId, SResourceData& data) const
{
    for (const SLoadedKernel& kernel : m_kernels)
    {
        if (kernel.dwId == dwId)
        {
            data.pData = kernel.bytes.data();
            data.dwSize = static_cast<uint32_t>(kernel.bytes.size());
            return true;
        }
    }
    return false;
}

std::vector<SKernelInUse> CKernelStore::InUse() const
{
    std::vector<SKernelInUse> inUse;
    for (std::size_t i = 0; i < g_embeddedKernelCount; ++i)
    {
        const SEmbeddedKernel& builtIn = g_embeddedKernels[i];
        SKernelInUse entry;
        entry.dwId = builtIn.dwId;
        SResourceData data{builtIn.pData, builtIn.dwSize};
        for (const SLoadedKernel& kernel : m_kernels)
        {
            if (kernel.dwId == builtIn.dwId)
            {
                entry.bFromFile = true;
                entry.strPath = kernel.strPath;
                data = {kernel.bytes.data(), static_cast<uint32_t>(kernel.bytes.size())};
            }
        }
        entry.strSha256 = Sha256Hex(data.pData, data.dwSize);
        entry.bStandIn = IsStandIn(data.pData, data.dwSize);
        inUse.push_back(std::move(entry));
    }
    std::sort(inUse.begin(), inUse.end(),
              [](const SKernelInUse& a, const SKernelInUse& b) { return a.dwId < b.dwId; });
    return inUse;
}

CKernelStore& ProcessKernelStore()
{
    static CKernelStore s_store;
    return s_store;
}

bool LoadProcessKernels(const char* pszNamedFolder, SKernelStoreError& error)
{
    if (pszNamedFolder != nullptr)
    {
        return ProcessKernelStore().Load({pszNamedFolder}, true, error);
    }
    return ProcessKernelStore().Load(DefaultKernelFolders(), false, error);
}

bool FindKernelResource(uint32_t dwId, const char* pszType, SResourceData& data)
{
    if (pszType == nullptr || std::strcmp(pszType, "FLASH") != 0)
    {
        return false;
    }
    if (ProcessKernelStore().Find(dwId, data))
    {
        return true;
    }
    const SEmbeddedKernel* pKernel = FindEmbedded(dwId);
    if (pKernel == nullptr)
    {
        return false;
    }
    data.pData = pKernel->pData;
    data.dwSize = pKernel->dwSize;
    return true;
}

bool KernelsAreStandIns()
{
    const std::vector<SKernelInUse> inUse = ProcessKernelStore().InUse();
    return std::any_of(inUse.begin(), inUse.end(),
                       [](const SKernelInUse& kernel) { return kernel.bStandIn; });
}
