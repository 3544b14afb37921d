// The Windows port list: by device interface on Windows 2000 and later (then the ports only
// the SERIALCOMM map names), sixteen numbered names on older NT, the Enum tree of the registry
// on Windows 95/98/Me; then the common final pass. Errors are raised as their text.
#include "serial/win32/PortEnum.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: defined here because <initguid.h> before <windows.h>
// would redefine the GUIDs of winioctl.h.
constexpr GUID GUID_COMPORT_INTERFACE = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr DWORD DETAIL_BUFFER_SIZE = 261; // the fixed part and a path of up to 256 characters
constexpr DWORD PROPERTY_BUFFER_SIZE = 256;
constexpr DWORD REG_NAME_SIZE = 128;

std::string WithError(const char* pszText, DWORD dwError)
{
    char szBuf[128];
    std::snprintf(szBuf, sizeof szBuf, "%s (err=%lx)", pszText, static_cast<unsigned long>(dwError));
    return szBuf;
}

// A registry value or device property as text: up to the first NUL, and never past what was read.
std::string TextOf(const BYTE* pData, DWORD dwSize)
{
    const char* psz = reinterpret_cast<const char*>(pData);
    return std::string(psz, strnlen(psz, dwSize));
}

void EnumerateByInterface(IPortEnumSystem& sys, std::vector<SSerInfo>& list)
{
    const HDEVINFO hSet = sys.GetClassDevs(GUID_COMPORT_INTERFACE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hSet == INVALID_HANDLE_VALUE)
        throw WithError("SetupDiGetClassDevs failed.", sys.GetLastError());

    std::vector<BYTE> detailBuffer(DETAIL_BUFFER_SIZE);
    auto* pDetail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBuffer.data());
    std::string strError;
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        SP_DEVICE_INTERFACE_DATA ifData{};
        ifData.cbSize = sizeof ifData;
        if (!sys.EnumDeviceInterfaces(hSet, GUID_COMPORT_INTERFACE, dwIndex, ifData))
        {
            if (const DWORD dwError = sys.GetLastError(); dwError != ERROR_NO_MORE_ITEMS)
                strError = WithError("SetupDiEnumDeviceInterfaces failed.", dwError);
            break;
        }
        // The size of the fixed part as this platform lays it out (8 on 64-bit builds).
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA devInfo{};
        devInfo.cbSize = sizeof devInfo;
        if (!sys.GetDeviceInterfaceDetail(hSet, ifData, pDetail, DETAIL_BUFFER_SIZE, devInfo))
        {
            strError = WithError("SetupDiGetDeviceInterfaceDetail failed.", sys.GetLastError());
            break;
        }
        BYTE friendly[PROPERTY_BUFFER_SIZE] = {};
        BYTE desc[PROPERTY_BUFFER_SIZE] = {};
        BYTE location[PROPERTY_BUFFER_SIZE] = {};
        const bool bFriendly = sys.GetDeviceRegistryProperty(hSet, devInfo, SPDRP_FRIENDLYNAME, friendly,
                                                             sizeof friendly) != FALSE;
        const bool bDesc = bFriendly && sys.GetDeviceRegistryProperty(hSet, devInfo, SPDRP_DEVICEDESC, desc,
                                                                      sizeof desc) != FALSE;
        const bool bLocation = sys.GetDeviceRegistryProperty(hSet, devInfo, SPDRP_LOCATION_INFORMATION,
                                                             location, sizeof location) != FALSE;
        if (!bFriendly || !bDesc)
            continue;
        SSerInfo info;
        const size_t nPathMax = DETAIL_BUFFER_SIZE - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        info.devicePath = std::string(pDetail->DevicePath, strnlen(pDetail->DevicePath, nPathMax));
        info.shortName = bLocation ? TextOf(location, sizeof location) : std::string();
        info.friendlyName = TextOf(friendly, sizeof friendly);
        info.usbDevice = bLocation && info.shortName.compare(0, 3, "USB") == 0;
        info.description = TextOf(desc, sizeof desc);
        list.push_back(info);
    }
    sys.DestroyDeviceInfoList(hSet);
    if (!strError.empty())
        throw strError;
}

// "COM5" from the name a record carries for it: its short name, the end of its device path,
// or the "(COM5)" that ends a port's friendly name.
bool NamesPort(const SSerInfo& info, const std::string& strPort)
{
    const auto equalNoCase = [](const std::string& a, const std::string& b)
    { return a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0; };
    if (equalNoCase(info.shortName, strPort))
        return true;
    const size_t nSlash = info.devicePath.find_last_of('\\');
    if (nSlash != std::string::npos && equalNoCase(info.devicePath.substr(nSlash + 1), strPort))
        return true;
    const std::string strTail = "(" + strPort + ")";
    return info.friendlyName.size() >= strTail.size() &&
           equalNoCase(info.friendlyName.substr(info.friendlyName.size() - strTail.size()), strTail);
}

// Virtual ports, some adapters (and Wine) register no COM-port interface; the SERIALCOMM map
// still names them. Appends those not yet listed, in the map's order.
void AppendSerialCommPorts(IPortEnumSystem& sys, std::vector<SSerInfo>& list)
{
    HKEY hMap = nullptr;
    if (sys.OpenKey(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", hMap) != ERROR_SUCCESS)
        return; // no serial driver has started: nothing to add
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szName[256] = {};
        BYTE data[REG_NAME_SIZE] = {};
        DWORD dwNameSize = sizeof szName;
        DWORD dwDataSize = sizeof data;
        DWORD dwType = 0;
        const LONG nResult = sys.EnumValue(hMap, dwIndex, szName, dwNameSize, data, dwDataSize, dwType);
        if (nResult == ERROR_MORE_DATA)
            continue; // not a port name of a sensible length
        if (nResult != ERROR_SUCCESS)
            break;
        if (dwType != REG_SZ)
            continue;
        const std::string strPort = TextOf(data, dwDataSize);
        if (strPort.empty())
            continue;
        bool bListed = false;
        for (const SSerInfo& info : list)
            bListed = bListed || NamesPort(info, strPort);
        if (bListed)
            continue;
        SSerInfo info;
        info.devicePath = "\\\\.\\" + strPort;
        info.shortName = strPort;
        info.friendlyName = strPort;
        list.push_back(info);
    }
    sys.CloseKey(hMap);
}

void EnumerateByNumber(std::vector<SSerInfo>& list)
{
    for (int n = 1; n <= 16; ++n)
    {
        char szName[16];
        std::snprintf(szName, sizeof szName, "COM%d", n);
        SSerInfo info;
        info.shortName = szName;
        info.devicePath = std::string("\\\\.\\") + szName;
        list.push_back(info);
    }
}

// Closes a registry key when it goes out of scope, so that every error path closes what it opened.
class CKey
{
public:
    explicit CKey(IPortEnumSystem& sys) : m_sys(sys) {}
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    ~CKey()
    {
        if (m_hKey != nullptr)
            m_sys.CloseKey(m_hKey);
    }
    bool Open(HKEY hParent, const char* pszName)
    {
        return m_sys.OpenKey(hParent, pszName, m_hKey) == ERROR_SUCCESS;
    }
    HKEY Get() const { return m_hKey; }

private:
    IPortEnumSystem& m_sys;
    HKEY m_hKey = nullptr;
};

// Calls f(name) for each subkey, index 0, 1, ... until the first index the system refuses.
template <typename F> void ForEachSubkey(IPortEnumSystem& sys, HKEY hKey, F&& f)
{
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szName[REG_NAME_SIZE] = {};
        if (sys.EnumKey(hKey, dwIndex, szName, sizeof szName) != ERROR_SUCCESS)
            return;
        f(std::string(szName, strnlen(szName, sizeof szName)));
    }
}

// A value of at most REG_NAME_SIZE bytes as text; false when it is missing or does not fit.
bool ReadTextValue(IPortEnumSystem& sys, HKEY hKey, const char* pszName, std::string& strValue)
{
    BYTE data[REG_NAME_SIZE] = {};
    DWORD dwSize = sizeof data;
    if (sys.QueryValue(hKey, pszName, data, dwSize) != ERROR_SUCCESS)
        return false;
    strValue = TextOf(data, std::min<DWORD>(dwSize, sizeof data));
    return true;
}

void ReadPortInstances(IPortEnumSystem& sys, HKEY hDevice, bool bUsb, std::vector<SSerInfo>& list)
{
    ForEachSubkey(sys, hDevice,
                  [&](const std::string& strInstance)
                  {
                      CKey instance(sys);
                      if (!instance.Open(hDevice, strInstance.c_str()))
                          throw "Could not read from HKLM\\Enum\\...\\" + strInstance;
                      std::string strPort;
                      if (!ReadTextValue(sys, instance.Get(), "PORTNAME", strPort))
                          return;
                      SSerInfo info;
                      info.devicePath = "\\\\.\\" + strPort;
                      info.shortName = strPort;
                      ReadTextValue(sys, instance.Get(), "FRIENDLYNAME", info.friendlyName);
                      info.usbDevice = bUsb;
                      for (SSerInfo& listed : list)
                      {
                          if (listed.shortName == strPort)
                          {
                              listed = info;
                              return;
                          }
                      }
                      list.push_back(info);
                  });
}

void EnumerateFromRegistry(IPortEnumSystem& sys, std::vector<SSerInfo>& list)
{
    CKey enumKey(sys);
    if (!enumKey.Open(HKEY_LOCAL_MACHINE, "Enum"))
        throw std::string("Could not read from HKLM\\Enum");
    ForEachSubkey(sys, enumKey.Get(),
                  [&](const std::string& strEnumerator)
                  {
                      CKey enumerator(sys);
                      if (!enumerator.Open(enumKey.Get(), strEnumerator.c_str()))
                          throw "Could not read from HKLM\\Enum\\" + strEnumerator;
                      const bool bUsb = strEnumerator == "USBPORTS";
                      ForEachSubkey(sys, enumerator.Get(),
                                    [&](const std::string& strDevice)
                                    {
                                        if (!bUsb && strDevice != "*PNP0500" && strDevice != "*PNP0501")
                                            return;
                                        CKey device(sys);
                                        if (!device.Open(enumerator.Get(), strDevice.c_str()))
                                            throw "Could not read from HKLM\\Enum\\" + strEnumerator + "\\" +
                                                strDevice;
                                        ReadPortInstances(sys, device.Get(), bUsb, list);
                                    });
                  });
}
} // namespace

int ProbeErrorToErrno(DWORD dwError)
{
    switch (dwError)
    {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EBUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    default:
        return EIO;
    }
}

void EnumerateSerialPortsOn(IPortEnumSystem& sys, std::vector<SSerInfo>& list, bool bProbe,
                            std::vector<SPortProbeFailure>* pFailures)
{
    list.clear();
    if (pFailures != nullptr)
        pFailures->clear();
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!sys.GetVersionEx(version))
        throw WithError("Could not get OS version.", sys.GetLastError());
    if (version.dwMajorVersion >= 5)
    {
        EnumerateByInterface(sys, list);
        AppendSerialCommPorts(sys, list);
    }
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        EnumerateByNumber(list);
    else
        EnumerateFromRegistry(sys, list);
    FinishPortList(list, bProbe, pFailures,
                   [&sys](const std::string& strPath)
                   { return static_cast<uint32_t>(ProbeErrorToErrno(sys.ProbeOpen(strPath))); });
}
