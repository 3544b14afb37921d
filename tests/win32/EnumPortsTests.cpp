// The Windows port list through a fake system layer: the generations and paths a single Wine
// prefix cannot show, their error texts, and that nothing stays open after an error.
#include "serial/win32/PortEnum.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace
{
struct SFakeDevice
{
    std::string strPath;
    std::optional<std::string> friendly, desc, location; // nullopt: the property cannot be read
};

struct SFakeKey
{
    std::vector<std::string> subkeys; // in registry order
    std::vector<std::pair<std::string, std::string>> values;
    bool bOpenFails = false;
};

// Behaves as the system calls do, as far as the enumeration can tell; counts what is open.
class CFakeSystem : public IPortEnumSystem
{
public:
    OSVERSIONINFOA m_version{sizeof(OSVERSIONINFOA), 10, 0, 19045, VER_PLATFORM_WIN32_NT, {}};
    bool m_bVersionFails = false;
    bool m_bClassDevsFails = false;
    DWORD m_dwEnumError = ERROR_NO_MORE_ITEMS; // after the last device
    std::vector<SFakeDevice> m_devices;
    std::map<std::string, SFakeKey> m_keys; // "" is HKLM
    std::map<std::string, DWORD> m_probe;   // device path -> error (missing: ERROR_FILE_NOT_FOUND)
    int m_nOpen = 0;

    // Adds the key and its parents, each appended to its parent's subkeys once.
    SFakeKey& Key(const std::string& strPath)
    {
        const size_t nSlash = strPath.rfind('\\');
        const std::string strParent = nSlash == std::string::npos ? "" : strPath.substr(0, nSlash);
        if (!m_keys.count(strPath))
        {
            SFakeKey& parent = strParent.empty() ? m_keys[""] : Key(strParent);
            parent.subkeys.push_back(strPath.substr(nSlash == std::string::npos ? 0 : nSlash + 1));
        }
        return m_keys[strPath];
    }

    BOOL GetVersionEx(OSVERSIONINFOA& info) override
    {
        m_dwLastError = ERROR_INVALID_PARAMETER;
        if (m_bVersionFails)
            return FALSE;
        info = m_version;
        return TRUE;
    }
    DWORD GetLastError() override { return m_dwLastError; }

    HDEVINFO GetClassDevs(const GUID&, DWORD) override
    {
        m_dwLastError = ERROR_ACCESS_DENIED;
        if (m_bClassDevsFails)
            return INVALID_HANDLE_VALUE;
        ++m_nOpen;
        return reinterpret_cast<HDEVINFO>(0x1234);
    }
    BOOL EnumDeviceInterfaces(HDEVINFO, const GUID&, DWORD dwIndex, SP_DEVICE_INTERFACE_DATA& data) override
    {
        m_dwLastError = m_dwEnumError;
        if (dwIndex >= m_devices.size())
            return FALSE;
        data.Reserved = dwIndex;
        return TRUE;
    }
    BOOL GetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA& data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* pDetail, DWORD dwSize,
                                  SP_DEVINFO_DATA& devInfo) override
    {
        const std::string& strPath = m_devices[data.Reserved].strPath;
        // The system checks the fixed part's size against its own layout.
        m_dwLastError = ERROR_INVALID_USER_BUFFER;
        if (pDetail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            return FALSE;
        m_dwLastError = ERROR_INSUFFICIENT_BUFFER;
        if (offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + strPath.size() + 1 > dwSize)
            return FALSE;
        memcpy(pDetail->DevicePath, strPath.c_str(), strPath.size() + 1);
        devInfo.DevInst = static_cast<DWORD>(data.Reserved);
        return TRUE;
    }
    BOOL GetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA& devInfo, DWORD dwProperty, BYTE* pBuf,
                                   DWORD dwSize) override
    {
        const SFakeDevice& device = m_devices[devInfo.DevInst];
        const std::optional<std::string>& value = dwProperty == SPDRP_FRIENDLYNAME ? device.friendly
                                                  : dwProperty == SPDRP_DEVICEDESC ? device.desc
                                                                                   : device.location;
        if (!value || value->size() + 1 > dwSize)
            return FALSE;
        memcpy(pBuf, value->c_str(), value->size() + 1);
        return TRUE;
    }
    void DestroyDeviceInfoList(HDEVINFO) override { --m_nOpen; }

    LONG OpenKey(HKEY hParent, const char* pszName, HKEY& hKey) override
    {
        const std::string strParent = PathOf(hParent);
        const std::string strPath = strParent.empty() ? pszName : strParent + "\\" + pszName;
        const auto it = m_keys.find(strPath);
        if (it == m_keys.end() || it->second.bOpenFails)
            return ERROR_FILE_NOT_FOUND;
        m_handles.push_back(strPath);
        hKey = reinterpret_cast<HKEY>(m_handles.size());
        ++m_nOpen;
        return ERROR_SUCCESS;
    }
    LONG EnumKey(HKEY hKey, DWORD dwIndex, char* pszName, DWORD dwSize) override
    {
        const SFakeKey& key = m_keys.at(PathOf(hKey));
        if (dwIndex >= key.subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        if (key.subkeys[dwIndex].size() + 1 > dwSize)
            return ERROR_MORE_DATA;
        strcpy(pszName, key.subkeys[dwIndex].c_str());
        return ERROR_SUCCESS;
    }
    LONG EnumValue(HKEY hKey, DWORD dwIndex, char* pszName, DWORD& dwNameSize, BYTE* pData, DWORD& dwDataSize,
                   DWORD& dwType) override
    {
        const SFakeKey& key = m_keys.at(PathOf(hKey));
        if (dwIndex >= key.values.size())
            return ERROR_NO_MORE_ITEMS;
        const auto& [strName, strData] = key.values[dwIndex];
        if (strName.size() + 1 > dwNameSize || strData.size() + 1 > dwDataSize)
            return ERROR_MORE_DATA;
        strcpy(pszName, strName.c_str());
        memcpy(pData, strData.c_str(), strData.size() + 1);
        dwNameSize = static_cast<DWORD>(strName.size());
        dwDataSize = static_cast<DWORD>(strData.size() + 1);
        dwType = REG_SZ;
        return ERROR_SUCCESS;
    }
    LONG QueryValue(HKEY hKey, const char* pszName, BYTE* pData, DWORD& dwSize) override
    {
        for (const auto& [strName, strData] : m_keys.at(PathOf(hKey)).values)
        {
            if (strName != pszName)
                continue;
            if (strData.size() + 1 > dwSize)
                return ERROR_MORE_DATA;
            memcpy(pData, strData.c_str(), strData.size() + 1);
            dwSize = static_cast<DWORD>(strData.size() + 1);
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_NOT_FOUND;
    }
    void CloseKey(HKEY) override { --m_nOpen; }

    DWORD ProbeOpen(const std::string& strDevicePath) override
    {
        const auto it = m_probe.find(strDevicePath);
        return it == m_probe.end() ? ERROR_FILE_NOT_FOUND : it->second;
    }

private:
    std::string PathOf(HKEY hKey) const
    {
        if (hKey == HKEY_LOCAL_MACHINE)
            return "";
        return m_handles.at(reinterpret_cast<size_t>(hKey) - 1);
    }

    std::vector<std::string> m_handles;
    DWORD m_dwLastError = 0;
};

// "path|short|friendly|usb|description" per record, for compact expectations.
std::vector<std::string> Rows(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> rows;
    for (const SSerInfo& info : list)
        rows.push_back(info.devicePath + "|" + info.shortName + "|" + info.friendlyName + "|" +
                       (info.usbDevice ? "usb" : "-") + "|" + info.description);
    return rows;
}

// Runs the enumeration; returns the error text, empty when there was none.
std::string Enumerate(CFakeSystem& sys, std::vector<SSerInfo>& list, bool bProbe = false,
                      std::vector<SPortProbeFailure>* pFailures = nullptr)
{
    try
    {
        EnumerateSerialPortsOn(sys, list, bProbe, pFailures);
    }
    catch (const std::string& strError)
    {
        EXPECT_EQ(sys.m_nOpen, 0) << "a key or device set stayed open";
        return strError;
    }
    EXPECT_EQ(sys.m_nOpen, 0) << "a key or device set stayed open";
    return "";
}
} // namespace

TEST(EnumPortsByInterface, RecordsFollowTheSystemOrderThenSerialCommPortsNotYetListedAndAreProbed)
{
    CFakeSystem sys;
    sys.m_devices = {
        {"\\\\?\\a", "USB Serial Port (COM5)", "", "USB\\VID_0403"},
        {"\\\\?\\b", "Port B", "Desc B", "usb lower case"},
        {"\\\\?\\c", std::nullopt, "only a description", "USB"},
        {"\\\\?\\d", "no description", std::nullopt, std::nullopt},
        {"\\\\?\\e", "Port E (COM6) x", "", std::nullopt},
    };
    sys.Key("HARDWARE\\DEVICEMAP\\SERIALCOMM").values = {{"\\Device\\Serial0", "COM5"},
                                                         {"\\Device\\VCom9", "COM9"},
                                                         {"\\Device\\Serial1", "COM1"},
                                                         {"\\Device\\Busy", "COM8"}};
    sys.m_probe = {{"\\\\?\\a", 0},    {"\\\\?\\b", 0},    {"\\\\?\\e", ERROR_PATH_NOT_FOUND},
                   {"\\\\.\\COM9", 0}, {"\\\\.\\COM1", 0}, {"\\\\.\\COM8", ERROR_ACCESS_DENIED}};
    std::vector<SSerInfo> list;
    std::vector<SPortProbeFailure> failures;
    EXPECT_EQ(Enumerate(sys, list, true, &failures), "");
    EXPECT_EQ(Rows(list), (std::vector<std::string>{
                              "\\\\?\\a|USB\\VID_0403|USB Serial Port (COM5)|usb|USB Serial Port",
                              "\\\\?\\b|usb lower case|Port B|-|Desc B",
                              "\\\\.\\COM9|COM9|COM9|-|COM9",
                              "\\\\.\\COM1|COM1|COM1|-|COM1",
                          }));
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].nError, ENOENT);
    EXPECT_EQ(failures[1].devicePath, "\\\\.\\COM8");
    EXPECT_EQ(failures[1].nError, EBUSY) << "Windows reports a port held elsewhere as access denied";
}

TEST(EnumPortsByInterface, ErrorsEndTheWalkWithTheirTextAndKeepEarlierRecordsUnprobed)
{
    struct SRow
    {
        const char* pszName;
        size_t nPathLength; // of the second device
        bool bClassDevsFails;
        DWORD dwEnumError;
        bool bVersionFails;
        std::string strError;
        size_t nRecords;
    };
    const SRow rows[] = {
        {"path of 256 fits", 256, false, ERROR_NO_MORE_ITEMS, false, "", 2},
        {"path of 257 does not", 257, false, ERROR_NO_MORE_ITEMS, false,
         "SetupDiGetDeviceInterfaceDetail failed. (err=7a)", 1},
        {"enumeration error", 10, false, ERROR_INVALID_DATA, false,
         "SetupDiEnumDeviceInterfaces failed. (err=d)", 2},
        {"no device set", 10, true, ERROR_NO_MORE_ITEMS, false, "SetupDiGetClassDevs failed. (err=5)", 0},
        {"no version", 10, false, ERROR_NO_MORE_ITEMS, true, "Could not get OS version. (err=57)", 0},
    };
    for (const SRow& row : rows)
    {
        SCOPED_TRACE(row.pszName);
        CFakeSystem sys;
        sys.m_bClassDevsFails = row.bClassDevsFails;
        sys.m_bVersionFails = row.bVersionFails;
        sys.m_dwEnumError = row.dwEnumError;
        sys.m_devices = {{"\\\\?\\first", "First (COM1)", "", std::nullopt},
                         {std::string(row.nPathLength, 'p'), "Second", "Second", std::nullopt}};
        std::vector<SSerInfo> list;
        EXPECT_EQ(Enumerate(sys, list), row.strError);
        ASSERT_EQ(list.size(), row.nRecords);
        if (!row.strError.empty() && row.nRecords > 0)
        {
            EXPECT_EQ(list[0].description, "") << "the final pass must not run after an error";
        }
    }
}

TEST(EnumPortsByNumber, OldNtKeepsTheOpenableOfCom1ToCom16InOrder)
{
    CFakeSystem sys;
    sys.m_version.dwMajorVersion = 4;
    sys.m_probe = {{"\\\\.\\COM3", 0}, {"\\\\.\\COM1", 0}, {"\\\\.\\COM17", 0}};
    std::vector<SSerInfo> list;
    EXPECT_EQ(Enumerate(sys, list, true), "");
    EXPECT_EQ(Rows(list),
              (std::vector<std::string>{"\\\\.\\COM1|COM1|COM1|-|COM1", "\\\\.\\COM3|COM3|COM3|-|COM3"}));
    EXPECT_EQ(Enumerate(sys, list, false), "");
    EXPECT_EQ(list.size(), 16u) << "without the probe every numbered name stays";
}

TEST(EnumPortsFromRegistry, Windows9xReadsPnpAndUsbPortInstancesAndMergesDuplicates)
{
    CFakeSystem sys;
    sys.m_version = OSVERSIONINFOA{sizeof(OSVERSIONINFOA), 4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, {}};
    sys.Key("Enum\\ROOT\\*PNP0501\\0000").values = {{"PORTNAME", "COM1"},
                                                    {"FRIENDLYNAME", "Communications Port (COM1)"}};
    sys.Key("Enum\\ROOT\\*PNP0500\\0000").values = {{"PORTNAME", "COM2"}};
    sys.Key("Enum\\ROOT\\*PNP0500\\0001").values = {{"FRIENDLYNAME", "no port name"}};
    sys.Key("Enum\\ROOT\\*PNP0500\\0002").values = {{"PORTNAME", std::string(128, 'C')}};
    sys.Key("Enum\\ROOT\\*pnp0501\\0000").values = {{"PORTNAME", "COM3"}};
    sys.Key("Enum\\usbports\\ANY\\0000").values = {{"PORTNAME", "COM4"}};
    sys.Key("Enum\\USBPORTS\\ANY\\0000").values = {{"PORTNAME", "COM1"},
                                                   {"FRIENDLYNAME", "USB adapter (COM1)"}};
    std::vector<SSerInfo> list;
    EXPECT_EQ(Enumerate(sys, list), "");
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"\\\\.\\COM1|COM1|USB adapter (COM1)|usb|USB adapter",
                                                    "\\\\.\\COM2|COM2|COM2|-|COM2"}));
}

TEST(EnumPortsFromRegistry, AKeyThatCannotBeOpenedEndsTheWalkWithItsNameAndClosesTheRest)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Enum", "Could not read from HKLM\\Enum"},
        {"Enum\\ROOT", "Could not read from HKLM\\Enum\\ROOT"},
        {"Enum\\ROOT\\*PNP0501", "Could not read from HKLM\\Enum\\ROOT\\*PNP0501"},
        {"Enum\\ROOT\\*PNP0501\\0001", "Could not read from HKLM\\Enum\\...\\0001"},
    };
    for (const auto& [pszKey, pszError] : rows)
    {
        SCOPED_TRACE(pszKey);
        CFakeSystem sys;
        sys.m_version = OSVERSIONINFOA{sizeof(OSVERSIONINFOA), 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, {}};
        sys.Key("Enum\\ROOT\\*PNP0501\\0000").values = {{"PORTNAME", "COM1"}};
        sys.Key("Enum\\ROOT\\*PNP0501\\0001").values = {{"PORTNAME", "COM2"}};
        sys.Key(pszKey).bOpenFails = true;
        std::vector<SSerInfo> list;
        EXPECT_EQ(Enumerate(sys, list), pszError);
    }
}
