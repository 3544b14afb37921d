// The Windows port list through a fake system layer: the generations and paths a single Wine
// prefix cannot show, their error texts, and that nothing stays open after an error.
#include "serial/win32/PortEnum.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <tuple>

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

// Copies str and its terminator when they fit.
bool Copy(const std::string& str, void* pBuf, DWORD nSize)
{
    if (str.size() >= nSize)
        return false;
    memcpy(pBuf, str.c_str(), str.size() + 1);
    return true;
}

// Behaves as the system calls do, as far as the enumeration can tell; counts what is open.
class CFakeSystem : public IPortEnumSystem
{
public:
    OSVERSIONINFOA m_version{sizeof(OSVERSIONINFOA), 10, 0, 19045, VER_PLATFORM_WIN32_NT, {}};
    bool m_bVersionFails = false, m_bClassDevsFails = false;
    DWORD m_dwEnumError = ERROR_NO_MORE_ITEMS; // after the last device
    std::vector<SFakeDevice> m_devices;
    std::map<std::string, SFakeKey> m_keys; // "" is HKLM
    std::map<std::string, DWORD> m_probe;   // device path -> error (missing: ERROR_FILE_NOT_FOUND)
    int m_nOpen = 0;

    // Adds the key and its parents, each appended to its parent's subkeys once.
    SFakeKey& Key(const std::string& strPath)
    {
        const size_t nSlash = strPath.rfind('\\');
        if (!m_keys.count(strPath))
            (nSlash == std::string::npos ? m_keys[""] : Key(strPath.substr(0, nSlash)))
                .subkeys.push_back(strPath.substr(nSlash + 1));
        return m_keys[strPath];
    }

    BOOL GetVersionEx(OSVERSIONINFOA& info) override
    {
        m_dwLastError = ERROR_INVALID_PARAMETER;
        return !m_bVersionFails && (info = m_version, true);
    }
    DWORD GetLastError() override { return m_dwLastError; }
    HDEVINFO GetClassDevs(const GUID&, DWORD) override
    {
        m_dwLastError = ERROR_ACCESS_DENIED;
        return m_bClassDevsFails ? INVALID_HANDLE_VALUE : (++m_nOpen, reinterpret_cast<HDEVINFO>(0x1234));
    }
    BOOL EnumDeviceInterfaces(HDEVINFO, const GUID&, DWORD dwIndex, SP_DEVICE_INTERFACE_DATA& data) override
    {
        m_dwLastError = m_dwEnumError;
        data.Reserved = dwIndex;
        return dwIndex < m_devices.size();
    }
    BOOL GetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA& data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* pDetail, DWORD dwSize,
                                  SP_DEVINFO_DATA& devInfo) override
    {
        // The system checks the fixed part's size against its own layout.
        m_dwLastError = ERROR_INVALID_USER_BUFFER;
        if (pDetail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            return FALSE;
        m_dwLastError = ERROR_INSUFFICIENT_BUFFER;
        devInfo.DevInst = static_cast<DWORD>(data.Reserved);
        const DWORD nFixed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        return Copy(m_devices[data.Reserved].strPath, pDetail->DevicePath, dwSize - nFixed);
    }
    BOOL GetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA& devInfo, DWORD dwProperty, BYTE* pBuf,
                                   DWORD dwSize) override
    {
        const SFakeDevice& device = m_devices[devInfo.DevInst];
        const std::optional<std::string>& value = dwProperty == SPDRP_FRIENDLYNAME ? device.friendly
                                                  : dwProperty == SPDRP_DEVICEDESC ? device.desc
                                                                                   : device.location;
        return value && Copy(*value, pBuf, dwSize);
    }
    void DestroyDeviceInfoList(HDEVINFO) override { --m_nOpen; }

    LONG OpenKey(HKEY hParent, const char* pszName, HKEY& hKey) override
    {
        const std::string strPath =
            hParent == HKEY_LOCAL_MACHINE ? pszName : Of(hParent).first + "\\" + pszName;
        const auto it = m_keys.find(strPath);
        if (it == m_keys.end() || it->second.bOpenFails)
            return ERROR_FILE_NOT_FOUND;
        hKey = reinterpret_cast<HKEY>(&*it);
        ++m_nOpen;
        return ERROR_SUCCESS;
    }
    LONG EnumKey(HKEY hKey, DWORD dwIndex, char* pszName, DWORD dwSize) override
    {
        const std::vector<std::string>& subkeys = Of(hKey).second.subkeys;
        return dwIndex >= subkeys.size()                 ? ERROR_NO_MORE_ITEMS
               : Copy(subkeys[dwIndex], pszName, dwSize) ? ERROR_SUCCESS
                                                         : ERROR_MORE_DATA;
    }
    LONG EnumValue(HKEY hKey, DWORD dwIndex, char* pszName, DWORD& dwNameSize, BYTE* pData, DWORD& dwDataSize,
                   DWORD& dwType) override
    {
        const auto& values = Of(hKey).second.values;
        if (dwIndex >= values.size())
            return ERROR_NO_MORE_ITEMS;
        const auto& [strName, strData] = values[dwIndex];
        if (strName.size() >= dwNameSize || !Copy(strData, pData, dwDataSize))
            return ERROR_MORE_DATA;
        Copy(strName, pszName, dwNameSize);
        dwNameSize = static_cast<DWORD>(strName.size());
        dwDataSize = static_cast<DWORD>(strData.size() + 1);
        dwType = REG_SZ;
        return ERROR_SUCCESS;
    }
    LONG QueryValue(HKEY hKey, const char* pszName, BYTE* pData, DWORD& dwSize) override
    {
        for (const auto& [strName, strData] : Of(hKey).second.values)
            if (strName == pszName)
                return Copy(strData, pData, dwSize)
                           ? (dwSize = static_cast<DWORD>(strData.size() + 1), ERROR_SUCCESS)
                           : ERROR_MORE_DATA;
        return ERROR_FILE_NOT_FOUND;
    }
    void CloseKey(HKEY) override { --m_nOpen; }
    DWORD ProbeOpen(const std::string& strDevicePath) override
    {
        const auto it = m_probe.find(strDevicePath);
        return it == m_probe.end() ? ERROR_FILE_NOT_FOUND : it->second;
    }

private:
    // A key's handle is its entry's address.
    std::pair<const std::string, SFakeKey>& Of(HKEY hKey)
    {
        return hKey == HKEY_LOCAL_MACHINE ? *m_keys.try_emplace("").first
                                          : *reinterpret_cast<std::pair<const std::string, SFakeKey>*>(hKey);
    }

    DWORD m_dwLastError = 0;
};

// "path|short|friendly|usb|description" per record, for compact expectations.
std::vector<std::string> Rows(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> rows;
    for (const SSerInfo& i : list)
        rows.push_back(i.devicePath + "|" + i.shortName + "|" + i.friendlyName +
                       (i.usbDevice ? "|usb|" : "|-|") + i.description);
    return rows;
}

// Runs the enumeration; returns the error text, empty when there was none.
std::string Enumerate(CFakeSystem& sys, std::vector<SSerInfo>& list, bool bProbe = false,
                      std::vector<SPortProbeFailure>* pFailures = nullptr)
{
    std::string strError;
    try
    {
        EnumerateSerialPortsOn(sys, list, bProbe, pFailures);
    }
    catch (const std::string& str)
    {
        strError = str;
    }
    EXPECT_EQ(sys.m_nOpen, 0) << "a key or device set stayed open";
    return strError;
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
    // The failing call (v: version, c: device set, e: enumeration), the second device's path length.
    const std::tuple<char, size_t, const char*, size_t> rows[] = {
        {0, 256, "", 2},
        {0, 257, "SetupDiGetDeviceInterfaceDetail failed. (err=7a)", 1},
        {'e', 10, "SetupDiEnumDeviceInterfaces failed. (err=d)", 2},
        {'c', 10, "SetupDiGetClassDevs failed. (err=5)", 0},
        {'v', 10, "Could not get OS version. (err=57)", 0},
    };
    for (const auto& [cFault, nPath, pszError, nRecords] : rows)
    {
        SCOPED_TRACE(pszError);
        CFakeSystem sys;
        sys.m_bVersionFails = cFault == 'v';
        sys.m_bClassDevsFails = cFault == 'c';
        sys.m_dwEnumError = cFault == 'e' ? ERROR_INVALID_DATA : ERROR_NO_MORE_ITEMS;
        sys.m_devices = {{"\\\\?\\first", "First (COM1)", "", std::nullopt},
                         {std::string(nPath, 'p'), "Second", "Second", std::nullopt}};
        std::vector<SSerInfo> list;
        EXPECT_EQ(Enumerate(sys, list), pszError);
        ASSERT_EQ(list.size(), nRecords);
        EXPECT_TRUE(*pszError == '\0' || nRecords == 0 || list[0].description.empty())
            << "the final pass must not run after an error";
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
