// The port scan on a fake sysfs tree laid out like the kernel's: class/tty/<name> links to the
// tty's folder below its device, whose `device` link points back up to the device.
#include "serial/EnumPorts.h"
#include "serial/posix/SysfsPorts.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
// The usual mix: real and phantom legacy UARTs, PCI and platform UARTs, USB adapters with and
// without strings, and the virtual ttys that are no ports.
class CTypicalSysfs
{
public:
    CTypicalSysfs()
    {
        if (::mkdtemp(m_strRoot.data()) == nullptr)
            throw std::runtime_error("no temporary folder");
        m_sys = fs::path(m_strRoot) / "sys";
        fs::create_directories(m_sys / "class" / "tty");
        Device("devices/pnp0/00:01", "serial");
        Tty("ttyS0", "devices/pnp0/00:01", 4);
        Device("devices/pnp0/00:02", "serial");
        Tty("ttyS5", "devices/pnp0/00:02"); // no type, but not the legacy driver: kept
        Device("devices/platform/serial8250", "serial8250");
        for (const char* name : {"ttyS1", "ttyS2", "ttyS3"})
            Tty(name, "devices/platform/serial8250", 0); // phantoms
        Tty("ttyS4", "devices/platform/serial8250");     // no type, no node to ask: a phantom
        Device("devices/pci0000:00/0000:00:16.3", "serial");
        Tty("ttyS10", "devices/pci0000:00/0000:00:16.3", 4);
        Device("devices/platform/fe201000.serial", "uart-pl011");
        Tty("ttyAMA0", "devices/platform/fe201000.serial");
        const std::string strUsb = "devices/pci0000:00/0000:00:14.0/usb1/1-";
        UsbTty("ttyUSB0", strUsb + "2", "1-2:1.0/ttyUSB0", "FTDI\n", "FT232R USB UART\n");
        UsbTty("ttyUSB10", strUsb + "3", "1-3:1.0/ttyUSB10", "", "");
        UsbTty("ttyUSB2", strUsb + "4", "1-4:1.0/ttyUSB2", "Prolific Technology Inc.",
               "Prolific Technology Inc. USB-Serial Controller");
        UsbTty("ttyACM0", strUsb + "5", "1-5:1.0", "", "Pico\tBoard\n");
        for (const char* name : {"tty0", "tty1", "console", "ptmx", "ttyprintk"})
            Tty(name);
    }
    ~CTypicalSysfs()
    {
        std::error_code ec;
        fs::remove_all(m_strRoot, ec);
    }
    std::string DevRoot() const { return m_strRoot + "/dev"; }
    std::vector<SSerInfo> Scan() const
    {
        std::vector<SSerInfo> list;
        CSysfsPortScanner({m_sys.string(), DevRoot()}).Scan(list);
        return list;
    }

private:
    void Device(const std::string& strDevice, const std::string& strDriver = {})
    {
        fs::create_directories(m_sys / strDevice);
        if (strDriver.empty())
            return;
        fs::create_directories(m_sys / "bus" / "drivers" / strDriver);
        fs::create_directory_symlink(fs::relative(m_sys / "bus" / "drivers" / strDriver, m_sys / strDevice),
                                     m_sys / strDevice / "driver");
    }
    // A tty below strDevice (none: a virtual one); nType < 0 leaves the `type` attribute out.
    void Tty(const std::string& strName, const std::string& strDevice = {}, int nType = -1)
    {
        const fs::path ttyDir =
            strDevice.empty() ? m_sys / "devices/virtual/tty" / strName : m_sys / strDevice / "tty" / strName;
        fs::create_directories(ttyDir);
        if (!strDevice.empty())
            fs::create_directory_symlink("../..", ttyDir / "device");
        if (nType >= 0)
            std::ofstream(ttyDir / "type") << nType << "\n";
        fs::create_directory_symlink(fs::relative(ttyDir, m_sys / "class" / "tty"),
                                     m_sys / "class/tty" / strName);
    }
    // A tty below a USB device with the given strings (empty: attribute left out).
    void UsbTty(const std::string& strName, const std::string& strUsb, const std::string& strBelow,
                const std::string& strMaker, const std::string& strProduct)
    {
        Device(strUsb + "/" + strBelow);
        const std::pair<const char*, std::string> attributes[] = {{"idVendor", "0403\n"},
                                                                  {"idProduct", "6001\n"},
                                                                  {"manufacturer", strMaker},
                                                                  {"product", strProduct},
                                                                  {"serial", "A50285BI\n"}};
        for (const auto& [name, strText] : attributes)
            if (!strText.empty())
                std::ofstream(m_sys / strUsb / name) << strText;
        Tty(strName, strUsb + "/" + strBelow);
    }

    std::string m_strRoot = (fs::temp_directory_path() / "orlix-sysfs-XXXXXX").string();
    fs::path m_sys;
};

std::vector<std::string> Names(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> names;
    for (const SSerInfo& info : list)
        names.push_back(info.shortName);
    return names;
}
} // namespace

TEST(SysfsPortScan, RealPortsOnlyInNaturalOrderWithUsbDetectionAndNames)
{
    CTypicalSysfs sys;
    const std::vector<SSerInfo> list = sys.Scan();
    const std::tuple<std::string, std::string, bool> expected[] = {
        {"ttyACM0", "Pico Board (ttyACM0)", true}, // control characters blanked, line end trimmed
        {"ttyAMA0", "Serial Port (ttyAMA0)", false},
        {"ttyS0", "Serial Port (ttyS0)", false},
        {"ttyS5", "Serial Port (ttyS5)", false},
        {"ttyS10", "Serial Port (ttyS10)", false},
        {"ttyUSB0", "FTDI FT232R USB UART (ttyUSB0)", true},
        {"ttyUSB2", "Prolific Technology Inc. USB-Serial Controller (ttyUSB2)", true}, // maker not doubled
        {"ttyUSB10", "USB-Serial Controller (ttyUSB10)", true},                        // no strings at all
    };
    ASSERT_EQ(Names(list).size(), std::size(expected)) << ::testing::PrintToString(Names(list));
    for (size_t i = 0; i < list.size(); ++i)
    {
        const auto& [strName, strFriendly, bUsb] = expected[i];
        EXPECT_EQ(list[i].shortName, strName);
        EXPECT_EQ(list[i].friendlyName, strFriendly);
        EXPECT_EQ(list[i].usbDevice, bUsb) << strName;
        EXPECT_EQ(list[i].usbSerial, bUsb ? "A50285BI" : "") << strName;
        EXPECT_EQ(list[i].devicePath, sys.DevRoot() + "/" + strName);
        EXPECT_EQ(list[i].description, ""); // left to the final pass
    }
}

TEST(SysfsPortScan, FinalPassCutsNamesAndDropsAndRecordsPortsWhoseProbeFails)
{
    CTypicalSysfs sys;
    std::vector<SSerInfo> list = sys.Scan();
    const std::string strDev = sys.DevRoot();
    std::vector<SPortProbeFailure> failures;
    FinishPortList(list, true, &failures,
                   [&](const std::string& strPath) -> uint32_t
                   {
                       // Neighbours fail: the one that moves up is probed too.
                       if (strPath == strDev + "/ttyS0" || strPath == strDev + "/ttyS5")
                           return EBUSY;
                       return strPath == strDev + "/ttyUSB10" ? EACCES : 0;
                   });
    EXPECT_EQ(Names(list), (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS10", "ttyUSB0", "ttyUSB2"}));
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[1].devicePath, strDev + "/ttyS5");
    EXPECT_EQ(failures[1].nError, EBUSY);
    EXPECT_EQ(failures[2].devicePath, strDev + "/ttyUSB10");
    EXPECT_EQ(failures[2].nError, EACCES);
    EXPECT_EQ(list[2].description, "Serial Port");
    EXPECT_EQ(list[3].description, "FTDI FT232R USB UART");
}
