#pragma once
// The Windows port list, written against a thin layer over the system calls it makes, so that
// the paths one machine cannot show (other Windows generations, odd drivers) can be fed by tests.
#include "serial/EnumPorts.h"

#include <windows.h>

#include <setupapi.h>

#include <string>
#include <vector>

// One member per system call the enumeration makes, with the call's own arguments and result.
class IPortEnumSystem
{
public:
    virtual ~IPortEnumSystem() = default;

    virtual BOOL GetVersionEx(OSVERSIONINFOA& info) = 0;
    virtual DWORD GetLastError() = 0;

    virtual HDEVINFO GetClassDevs(const GUID& guid, DWORD dwFlags) = 0;
    virtual BOOL EnumDeviceInterfaces(HDEVINFO hSet, const GUID& guid, DWORD dwIndex,
                                      SP_DEVICE_INTERFACE_DATA& data) = 0;
    virtual BOOL GetDeviceInterfaceDetail(HDEVINFO hSet, SP_DEVICE_INTERFACE_DATA& data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_A* pDetail, DWORD dwDetailSize,
                                          SP_DEVINFO_DATA& devInfo) = 0;
    virtual BOOL GetDeviceRegistryProperty(HDEVINFO hSet, SP_DEVINFO_DATA& devInfo, DWORD dwProperty,
                                           BYTE* pBuf, DWORD dwSize) = 0;
    virtual void DestroyDeviceInfoList(HDEVINFO hSet) = 0;

    // The registry calls return the system error code, ERROR_SUCCESS (0) on success.
    virtual LONG OpenKey(HKEY hParent, const char* pszName, HKEY& hKey) = 0;
    // pszName receives at most dwSize bytes with the NUL.
    virtual LONG EnumKey(HKEY hKey, DWORD dwIndex, char* pszName, DWORD dwSize) = 0;
    // dwNameSize and dwDataSize: buffer sizes in, lengths out.
    virtual LONG EnumValue(HKEY hKey, DWORD dwIndex, char* pszName, DWORD& dwNameSize, BYTE* pData,
                           DWORD& dwDataSize, DWORD& dwType) = 0;
    virtual LONG QueryValue(HKEY hKey, const char* pszName, BYTE* pData, DWORD& dwSize) = 0;
    virtual void CloseKey(HKEY hKey) = 0;

    // Opens the device as the port does (exclusively) and closes it: 0, or the system error.
    virtual DWORD ProbeOpen(const std::string& strDevicePath) = 0;
};

// The whole enumeration on the given system layer (see EnumerateSerialPorts).
void EnumerateSerialPortsOn(IPortEnumSystem& sys, std::vector<SSerInfo>& list, bool bProbe,
                            std::vector<SPortProbeFailure>* pFailures);

// The errno-style reason a probe failure is recorded with: EBUSY for a port another program
// holds (Windows says "access denied" then), ENOENT for one that is gone, EIO otherwise.
int ProbeErrorToErrno(DWORD dwError);
