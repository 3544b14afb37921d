#pragma once
// The flash kernels, found like resources: by numeric id and the type name "FLASH". A kernel
// read from a file at start-up (kernel-<id>.bin in a kernel folder) is used before the one built
// into the program, so a service organisation that holds the real kernels need not rebuild.
#include <cstdint>
#include <string>
#include <vector>

struct SResourceData
{
    const uint8_t* pData = nullptr;
    uint32_t dwSize = 0;
};

// True and the bytes when a kernel of that id and type is available: the process kernel
// store's file first, else the built-in image.
bool FindKernelResource(uint32_t dwId, const char* pszType, SResourceData& data);

// True when a kernel in use is a harmless stand-in (judged by content, so a kernel folder that
// holds stand-ins is not taken for real kernels).
bool KernelsAreStandIns();

// Why kernel files could not be taken; the front-ends word it.
enum class EKernelStoreError
{
    None,
    FolderMissing, // the named folder does not exist or is not a folder
    FolderEmpty,   // the named folder holds no kernel file at all
    WrongSize,     // strPath has qwSize bytes instead of dwExpectedSize
    NotAFile,      // strPath is there but is a folder, device or the like
    Unreadable,    // strPath cannot be opened or read; strReason is the system's reason
};

struct SKernelStoreError
{
    EKernelStoreError eKind = EKernelStoreError::None;
    std::string strPath;
    uint64_t qwSize = 0;
    uint32_t dwExpectedSize = 0;
    std::string strReason;
};

// Where the kernel of one id comes from, for banners, About boxes and --version.
struct SKernelInUse
{
    uint32_t dwId = 0;
    bool bFromFile = false;
    std::string strPath;   // the file, when bFromFile
    std::string strSha256; // of the bytes in use, lower-case hex
    bool bStandIn = false;
};

// "kernel-134.bin": the name of that kernel's file in a kernel folder.
std::string KernelFileName(uint32_t dwId);

// The folders searched when none is named, most specific first; chosen by the platform
// backend (the user's and the system's data folders on Linux, "kernels" beside the program on
// Windows). Folders that do not exist are simply skipped by the store.
std::vector<std::string> DefaultKernelFolders();

// The XDG rule for the Linux folders: $XDG_DATA_HOME (when absolute) or $HOME/.local/share,
// then /usr/share, each with "/orlix/kernels". Null or empty values are unset.
std::vector<std::string> XdgKernelFolders(const char* pszXdgDataHome, const char* pszHome);

// Kernel files read from folders. Every built-in kernel id is looked up in the folders in
// order; the first folder that has kernel-<id>.bin supplies it, and an id found in no folder
// keeps the built-in image. A file that is there but unusable (wrong size, unreadable) is an
// error, never skipped: the user put it there to be used.
class CKernelStore
{
public:
    // Replaces what the store holds only on success. bNamedFolder: the folders were named by
    // the user, so each must exist and together they must hold at least one kernel file.
    bool Load(const std::vector<std::string>& folders, bool bNamedFolder, SKernelStoreError& error);
    void Clear();

    // The file's bytes for the id, when one was loaded; they live as long as the store holds them.
    bool Find(uint32_t dwId, SResourceData& data) const;

    // One entry per built-in kernel id, in id order.
    std::vector<SKernelInUse> InUse() const;

private:
    struct SLoadedKernel
    {
        uint32_t dwId = 0;
        std::string strPath;
        std::vector<uint8_t> bytes;
    };
    std::vector<SLoadedKernel> m_kernels;
};

// The program's one store, consulted by FindKernelResource. It is loaded at start-up, before
// any worker runs, and not changed while one does.
CKernelStore& ProcessKernelStore();

// Loads the process store from the named folder, or, when pszNamedFolder is null, from the
// default folders.
bool LoadProcessKernels(const char* pszNamedFolder, SKernelStoreError& error);
