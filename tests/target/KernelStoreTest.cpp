// Kernel files at run time: which folder supplies which kernel, and every way a file that is
// there can be unusable (reported, never passed over for the next folder or the built-in one).
#include "firmware/Sha256.h"
#include "target/ChipDef.h"
#include "target/KernelResources.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace
{
// A kernel nDelta bytes off the right size: not the stand-in pattern, and distinct per id.
std::string Kernel(uint32_t dwId, int nDelta = 0)
{
    return std::string(static_cast<std::size_t>((dwId == 134 ? 912 : 873) + nDelta), static_cast<char>(dwId));
}

// "134=user 148=builtin": which folder each id's kernel came from.
std::string Sources(const CKernelStore& store)
{
    std::string strOut;
    for (const SKernelInUse& k : store.InUse())
        strOut += (strOut.empty() ? "" : " ") + std::to_string(k.dwId) + "=" +
                  (k.bFromFile ? fs::path(k.strPath).parent_path().filename().string() : "builtin");
    return strOut;
}
} // namespace

TEST(KernelStore, FolderOrderAndEveryUnusableFile)
{
    // A file: folder, id and kind (its size off by a number of bytes, empty, a folder, a dangling link).
    constexpr int EMPTY = -1000, FOLDER = 1000, LINK = 1001;
    using SFile = std::tuple<const char*, uint32_t, int>;
    struct SCase
    {
        std::vector<SFile> files;
        bool bNamed; // only "user" is searched, as a folder named by the user
        EKernelStoreError eError;
        const char* pszSources; // on success; on failure the path's folder and file
    };
    using E = EKernelStoreError;
    const SCase cases[] = {
        {{}, false, E::None, "134=builtin 148=builtin"},
        {{{"user", 134, 0}, {"system", 134, 0}, {"system", 148, 0}}, false, E::None, "134=user 148=system"},
        {{{"user", 148, 0}}, true, E::None, "134=builtin 148=user"},
        {{{"system", 134, 0}}, true, E::FolderEmpty, "user"},
        {{{"user", 134, -1}}, false, E::WrongSize, "user/kernel-134.bin"},
        {{{"user", 148, 1}}, true, E::WrongSize, "user/kernel-148.bin"},
        {{{"user", 134, EMPTY}}, false, E::WrongSize, "user/kernel-134.bin"},
        {{{"user", 148, -1}, {"system", 148, 0}}, false, E::WrongSize, "user/kernel-148.bin"},
        {{{"system", 134, FOLDER}}, false, E::NotAFile, "system/kernel-134.bin"},
        {{{"user", 134, LINK}, {"system", 134, 0}}, false, E::Unreadable, "user/kernel-134.bin"},
    };
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(&test - cases);
        CTempDir dir;
        fs::create_directories(dir.File("user"));
        fs::create_directories(dir.File("system"));
        std::error_code ec; // links need rights that Windows does not always grant
        for (const auto& [pszFolder, dwId, nKind] : test.files)
        {
            const std::string strPath = dir.File(std::string(pszFolder) + "/" + KernelFileName(dwId));
            if (nKind == FOLDER)
                fs::create_directory(strPath);
            else if (nKind == LINK)
                fs::create_symlink(dir.File("nowhere.bin"), strPath, ec);
            else
                WriteFileText(strPath, nKind == EMPTY ? "" : Kernel(dwId, nKind));
        }
        if (ec)
            continue;
        CKernelStore store;
        SKernelStoreError error;
        std::vector<std::string> folders = {dir.File("user")};
        if (!test.bNamed)
            folders.push_back(dir.File("system"));
        ASSERT_EQ(store.Load(folders, test.bNamed, error), test.eError == E::None);
        EXPECT_EQ(error.eKind, test.eError);
        if (test.eError == E::None)
        {
            EXPECT_EQ(Sources(store), test.pszSources);
            continue;
        }
        EXPECT_EQ(fs::path(error.strPath), fs::path(dir.File(test.pszSources)));
        EXPECT_EQ(Sources(store), "134=builtin 148=builtin") << "a failed load takes nothing";
        EXPECT_TRUE(test.eError != E::WrongSize ||
                    (error.dwExpectedSize == Kernel(std::get<1>(test.files[0])).size() &&
                     error.qwSize != error.dwExpectedSize));
        EXPECT_TRUE(test.eError != E::Unreadable || !error.strReason.empty());
    }
}

TEST(KernelStore, NamedFolderMustExistAndAFailedLoadKeepsTheKernelsInUse)
{
    CTempDir dir;
    WriteFileText(dir.File(KernelFileName(148)), Kernel(148));
    CKernelStore& store = ProcessKernelStore();
    SKernelStoreError error;
    ASSERT_TRUE(store.Load({dir.Path()}, true, error));
    SResourceData data;
    ASSERT_TRUE(FindKernelResource(148, "FLASH", data));
    EXPECT_EQ(std::string(data.pData, data.pData + data.dwSize), Kernel(148));
    ASSERT_TRUE(FindKernelResource(134, "FLASH", data));
    EXPECT_EQ(data.dwSize, 912u) << "the other id keeps the built-in kernel";
    const std::vector<SKernelInUse> inUse = store.InUse();
    ASSERT_EQ(inUse.size(), 2u);
    EXPECT_EQ(inUse[1].strSha256,
              CSha256::ToHex(CSha256::Of(reinterpret_cast<const uint8_t*>(Kernel(148).data()), 873)));
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
    const V home = {"/home/u/.local/share/orlix/kernels", "/usr/share/orlix/kernels"};
    EXPECT_EQ(XdgKernelFolders("/x/data", "/home/u"),
              (V{"/x/data/orlix/kernels", "/usr/share/orlix/kernels"}));
    EXPECT_EQ(XdgKernelFolders("relative", "/home/u"), home);
    EXPECT_EQ(XdgKernelFolders("", "/home/u"), home);
    EXPECT_EQ(XdgKernelFolders(nullptr, nullptr), (V{"/usr/share/orlix/kernels"}));
    EXPECT_EQ(KernelFileName(134), "kernel-134.bin");
}

// A failed chip lookup keeps the previous numbers.
TEST(KernelStore, ChipAndKernelLookupsMatchWholeNamesOnly)
{
    SChipDef chip;
    ASSERT_TRUE(chip.SelectChip("MB90F362"));
    EXPECT_EQ(chip.StartAddress, 0xFF0000u);
    for (const std::string& bad : {"MB90F345CA"s, "mb90f345"s, "MB90F345 "s, ""s, "MB90F345\0XY"s})
        EXPECT_TRUE(!chip.SelectChip(bad) && chip.Name.empty() && chip.ResourceId == 148u) << bad;
    SResourceData none;
    EXPECT_FALSE(FindKernelResource(135, "FLASH", none) || FindKernelResource(134, "flash", none) ||
                 FindKernelResource(134, "FLASH2", none) || FindKernelResource(134, nullptr, none));
    EXPECT_EQ(none.pData, nullptr);
}
