// The port list on the real system: IPortEnumSystem as plain calls into the setup library,
// the registry and the file system.
#include "serial/win32/PortEnum.h"

#include "serial/SerialPort.h"

namespace
{
class CPortEnumSystem : public IPortEnumSystem
{
public:
    BOOL GetVersionEx(OSVERSIONINFOA& info) override { return ::GetVersionExA(&info); }
    DWORD GetLastError() override { return ::GetLastError(); }

    HDEVINFO GetClassDevs(const GUID& guid, DWORD dwFlags) override
    {
        return ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, dwFlags);
    }
    BOOL EnumDeviceInterfaces(HDEVINFO hSet, const GUID& guid, DWORD dwIndex,
                              SP_DEVICE_INTERFACE_DATA& data) override
    {
        return ::SetupDiEnumDeviceInterfaces(hSet, nullptr, &guid, dwIndex, &data);
    }
    BOOL GetDeviceInterfaceDetail(HDEVINFO hSet, SP_DEVICE_INTERFACE_DATA& data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* pDetail, DWORD dwDetailSize,
                                  SP_DEVINFO_DATA& devInfo) override
    {
        return ::SetupDiGetDeviceInterfaceDetailA(hSet, &data, pDetail, dwDetailSize, nullptr, &devInfo);
    }
    BOOL GetDeviceRegistryProperty(HDEVINFO hSet, SP_DEVINFO_DATA& devInfo, DWORD dwProperty, BYTE* pBuf,
                                   DWORD dwSize) override
    {
        return ::SetupDiGetDeviceRegistryPropertyA(hSet, &devInfo, dwProperty, nullptr, pBuf, dwSize,
                                                   nullptr);
    }
    void DestroyDeviceInfoList(HDEVINFO hSet) override { ::SetupDiDestroyDeviceInfoList(hSet); }

    LONG OpenKey(HKEY hParent, const char* pszName, HKEY& hKey) override
    {
        return ::RegOpenKeyExA(hParent, pszName, 0, KEY_READ, &hKey);
    }
    LONG EnumKey(HKEY hKey, DWORD dwIndex, char* pszName, DWORD dwSize) override
    {
        return ::RegEnumKeyExA(hKey, dwIndex, pszName, &dwSize, nullptr, nullptr, nullptr, nullptr);
    }
    LONG EnumValue(HKEY hKey, DWORD dwIndex, char* pszName, DWORD& dwNameSize, BYTE* pData, DWORD& dwDataSize,
                   DWORD& dwType) override
    {
        return ::RegEnumValueA(hKey, dwIndex, pszName, &dwNameSize, nullptr, &dwType, pData, &dwDataSize);
    }
    LONG QueryValue(HKEY hKey, const char* pszName, BYTE* pData, DWORD& dwSize) override
    {
        return ::RegQueryValueExA(hKey, pszName, nullptr, nullptr, pData, &dwSize);
    }
    void CloseKey(HKEY hKey) override { ::RegCloseKey(hKey); }

    DWORD ProbeOpen(const std::string& strDevicePath) override { return CSerialPort::TryOpen(strDevicePath); }
};
} // namespace

void EnumerateSerialPorts(std::vector<SSerInfo>& list, bool bProbe, std::vector<SPortProbeFailure>* pFailures)
{
    CPortEnumSystem sys;
    EnumerateSerialPortsOn(sys, list, bProbe, pFailures);
}

uint32_t ProbeListedPort(const std::string& strDevicePath)
{
    return static_cast<uint32_t>(ProbeErrorToErrno(CSerialPort::TryOpen(strDevicePath)));
}
