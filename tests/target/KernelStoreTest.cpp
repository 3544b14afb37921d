// Kernel files at run time: which folder supplies which kernel, and every way a file that is
// there can be unusable (reported, never passed over for the next folder or the built-in one).
#include "firmware/Sha256.h"
#include "target/KernelResources.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// A real-looking kernel of the right size: not the stand-in pattern, and distinct per id.
std::vector<uint8_t> KernelBytes(uint32_t dwId, std::size_t nSize)
{
    return std::vector<uint8_t>(nSize, static_cast<uint8_t>(dwId));
}

void WriteFileBytes(const std::string& strPath, const std::vector<uint8_t>& bytes)
{
    WriteFileText(strPath, std::string(bytes.begin(), bytes.end()));
}

// "134=user 148=builtin": which folder each id's kernel came from.
std::string Sources(const CKernelStore& store)
{
    std::string strOut;
    for (const SKernelInUse& kernel : store.InUse())
    {
        const std::string strFrom =
            kernel.bFromFile ? fs::path(kernel.strPath).parent_path().filename().string() : "builtin";
        strOut += (strOut.empty() ? "" : " ") + std::to_string(kernel.dwId) + "=" + strFrom;
    }
    return strOut;
}

TEST(KernelStore, FolderOrderAndEveryUnusableFile)
{
    enum EKind
    {
        Good,
        Short,
        Long,
        Empty,
        Folder,
        Dangling,
    };
    struct SFile
    {
        const char* pszFolder;
        uint32_t dwId;
        EKind eKind;
    };
    struct SCase
    {
        const char* pszName;
        std::vector<SFile> files;
        bool bNamed; // only "user" is searched, as a folder named by the user
        EKernelStoreError eError;
        const char* pszSources; // on success; on failure the path's folder and file
    };
    using E = EKernelStoreError;
    const SCase cases[] = {
        {"nothing anywhere", {}, false, E::None, "134=builtin 148=builtin"},
        {"user before system, per id",
         {{"user", 134, Good}, {"system", 134, Good}, {"system", 148, Good}},
         false,
         E::None,
         "134=user 148=system"},
        {"named folder with one kernel", {{"user", 148, Good}}, true, E::None, "134=builtin 148=user"},
        {"named folder with neither kernel", {{"system", 134, Good}}, true, E::FolderEmpty, "user"},
        {"one byte short", {{"user", 134, Short}}, false, E::WrongSize, "user/kernel-134.bin"},
        {"one byte long", {{"user", 148, Long}}, true, E::WrongSize, "user/kernel-148.bin"},
        {"empty file", {{"user", 134, Empty}}, false, E::WrongSize, "user/kernel-134.bin"},
        {"bad user file is not passed over for a good system one",
         {{"user", 148, Short}, {"system", 148, Good}},
         false,
         E::WrongSize,
         "user/kernel-148.bin"},
        {"a folder by the file's name",
         {{"system", 134, Folder}},
         false,
         E::NotAFile,
         "system/kernel-134.bin"},
        {"a dangling link",
         {{"user", 134, Dangling}, {"system", 134, Good}},
         false,
         E::Unreadable,
         "user/kernel-134.bin"},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        CTempDir dir;
        fs::create_directories(dir.File("user"));
        fs::create_directories(dir.File("system"));
        std::error_code ec;
        for (const SFile& file : test.files)
        {
            const std::string strPath =
                dir.File(std::string(file.pszFolder) + "/" + KernelFileName(file.dwId));
            const std::size_t nSize = file.dwId == 134 ? 912 : 873;
            switch (file.eKind)
            {
            case Good:
                WriteFileBytes(strPath, KernelBytes(file.dwId, nSize));
                break;
            case Short:
                WriteFileBytes(strPath, KernelBytes(file.dwId, nSize - 1));
                break;
            case Long:
                WriteFileBytes(strPath, KernelBytes(file.dwId, nSize + 1));
                break;
            case Empty:
                WriteFileBytes(strPath, {});
                break;
            case Folder:
                fs::create_directory(strPath);
                break;
            case Dangling:
                // Links need rights that Windows does not always grant.
                fs::create_symlink(dir.File("nowhere.bin"), strPath, ec);
                break;
            }
        }
        if (ec)
        {
            continue;
        }
        CKernelStore store;
        SKernelStoreError error;
        std::vector<std::string> folders = {dir.File("user")};
        if (!test.bNamed)
        {
            folders.push_back(dir.File("system"));
        }
        ASSERT_EQ(store.Load(folders, test.bNamed, error), test.eError == E::None);
        EXPECT_EQ(error.eKind, test.eError);
        if (test.eError == E::None)
        {
            EXPECT_EQ(Sources(store), test.pszSources);
            continue;
        }
        EXPECT_EQ(fs::path(error.strPath), fs::path(dir.File(test.pszSources)));
        EXPECT_EQ(Sources(store), "134=builtin 148=builtin") << "a failed load takes nothing";
        if (test.eError == E::WrongSize)
        {
            EXPECT_EQ(error.dwExpectedSize, test.files[0].dwId == 134 ? 912u : 873u);
            EXPECT_NE(error.qwSize, error.dwExpectedSize);
        }
        if (test.eError == E::Unreadable)
        {
            EXPECT_FALSE(error.strReason.empty());
        }
    }
}

TEST(KernelStore, NamedFolderMustExistAndAFailedLoadKeepsTheKernelsInUse)
{
    CTempDir dir;
    WriteFileBytes(dir.File(KernelFileName(148)), KernelBytes(148, 873));
    CKernelStore& store = ProcessKernelStore();
    SKernelStoreError error;
    ASSERT_TRUE(store.Load({dir.Path()}, true, error));

    SResourceData data;
    ASSERT_TRUE(FindKernelResource(148, "FLASH", data));
    EXPECT_EQ(std::vector<uint8_t>(data.pData, data.pData + data.dwSize), KernelBytes(148, 873));
    ASSERT_TRUE(FindKernelResource(134, "FLASH", data));
    EXPECT_EQ(data.dwSize, 912u) << "the other id keeps the built-in kernel";
    const std::vector<SKernelInUse> inUse = store.InUse();
    ASSERT_EQ(inUse.size(), 2u);
    EXPECT_EQ(inUse[1].strSha256, CSha256::ToHex(CSha256::Of(KernelBytes(148, 873).data(), 873)));
    EXPECT_FALSE(inUse[1].bStandIn);

    for (const std::string& strFolder : {dir.File("missing"), dir.File(KernelFileName(148)), std::string()})
    {
        EXPECT_FALSE(store.Load({strFolder}, true, error));
        EXPECT_EQ(error.eKind, EKernelStoreError::FolderMissing);
        EXPECT_EQ(error.strPath, strFolder);
    }
    EXPECT_TRUE(store.InUse()[1].bFromFile) << "a failed load keeps the kernels in use";
    EXPECT_TRUE(store.Load({dir.File("missing")}, false, error)) << "default folders may be absent";
    EXPECT_FALSE(store.InUse()[1].bFromFile);
    store.Clear();
}

TEST(KernelStore, XdgFolders)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(XdgKernelFolders("/x/data", "/home/u"),
              (V{"/x/data/orlix/kernels", "/usr/share/orlix/kernels"}));
    EXPECT_EQ(XdgKernelFolders("relative", "/home/u"),
              (V{"/home/u/.local/share/orlix/kernels", "/usr/share/orlix/kernels"}));
    EXPECT_EQ(XdgKernelFolders("", "/home/u"),
              (V{"/home/u/.local/share/orlix/kernels", "/usr/share/orlix/kernels"}));
    EXPECT_EQ(XdgKernelFolders(nullptr, nullptr), (V{"/usr/share/orlix/kernels"}));
    EXPECT_EQ(KernelFileName(134), "kernel-134.bin");
}

} // namespace
