// The port scan on a fake sysfs tree laid out like the kernel's: class/tty/<name> links to the
// tty's folder below its device, whose `device` link points back up to the device.
#include "serial/EnumPorts.h"
#include "serial/posix/SysfsPorts.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
// The usual mix: real and phantom legacy UARTs, PCI and platform UARTs, USB adapters with and
// without strings, and the virtual ttys that are no ports.
void MakeTypicalSysfs(const fs::path& sys)
{
    const auto Device = [&](const std::string& strDevice, const std::string& strDriver = {})
    {
        fs::create_directories(sys / strDevice);
        if (strDriver.empty())
            return;
        fs::create_directories(sys / "bus/drivers" / strDriver);
        fs::create_directory_symlink(fs::relative(sys / "bus/drivers" / strDriver, sys / strDevice),
                                     sys / strDevice / "driver");
    };
    // A tty below strDevice (none: a virtual one); nType < 0 leaves the `type` attribute out.
    const auto Tty = [&](const std::string& strName, const std::string& strDevice = {}, int nType = -1)
    {
        const fs::path dir =
            strDevice.empty() ? sys / "devices/virtual/tty" / strName : sys / strDevice / "tty" / strName;
        fs::create_directories(dir);
        if (!strDevice.empty())
            fs::create_directory_symlink("../..", dir / "device");
        if (nType >= 0)
            std::ofstream(dir / "type") << nType << "\n";
        fs::create_directories(sys / "class/tty");
        fs::create_directory_symlink(fs::relative(dir, sys / "class/tty"), sys / "class/tty" / strName);
    };
    // A tty below a USB device with the given strings (empty: attribute left out).
    const auto UsbTty = [&](const std::string& strName, const std::string& strUsb,
                            const std::string& strBelow, const std::string& strMaker,
                            const std::string& strProduct)
    {
        Device(strUsb + "/" + strBelow);
        const std::pair<const char*, std::string> attributes[] = {{"idVendor", "0403\n"},
                                                                  {"idProduct", "6001\n"},
                                                                  {"manufacturer", strMaker},
                                                                  {"product", strProduct},
                                                                  {"serial", "A50285BI\n"}};
        for (const auto& [name, strText] : attributes)
            if (!strText.empty())
                std::ofstream(sys / strUsb / name) << strText;
        Tty(strName, strUsb + "/" + strBelow);
    };
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
} // namespace

TEST(SysfsPortScan, RealPortsOnlyInNaturalOrderThenTheFinalPassDropsAndRecordsPortsWhoseProbeFails)
{
    CTempDir root;
    MakeTypicalSysfs(root.File("sys"));
    const std::string strDev = root.File("dev");
    std::vector<SSerInfo> list;
    CSysfsPortScanner({root.File("sys"), strDev}).Scan(list);
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
    ASSERT_EQ(list.size(), std::size(expected));
    for (size_t i = 0; i < list.size(); ++i)
    {
        const auto& [strName, strFriendly, bUsb] = expected[i];
        EXPECT_EQ(std::make_tuple(list[i].shortName, list[i].friendlyName, list[i].usbDevice,
                                  list[i].usbSerial, list[i].devicePath),
                  std::make_tuple(strName, strFriendly, bUsb, std::string(bUsb ? "A50285BI" : ""),
                                  strDev + "/" + strName));
        EXPECT_EQ(list[i].description, ""); // left to the final pass
    }
    std::vector<SPortProbeFailure> failures;
    FinishPortList(list, true, &failures,
                   [&](const std::string& strPath) -> uint32_t
                   {
                       // Neighbours fail: the one that moves up is probed too.
                       if (strPath == strDev + "/ttyS0" || strPath == strDev + "/ttyS5")
                           return EBUSY;
                       return strPath == strDev + "/ttyUSB10" ? EACCES : 0;
                   });
    std::vector<std::string> names;
    for (const SSerInfo& info : list)
        names.push_back(info.shortName);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS10", "ttyUSB0", "ttyUSB2"}));
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[1].devicePath, strDev + "/ttyS5");
    EXPECT_EQ(failures[1].nError, EBUSY);
    EXPECT_EQ(failures[2].devicePath, strDev + "/ttyUSB10");
    EXPECT_EQ(failures[2].nError, EACCES);
    EXPECT_EQ(list[2].description, "Serial Port");
    EXPECT_EQ(list[3].description, "FTDI FT232R USB UART");
}
