#include "tests/serial/posix/PtyPair.h"

#include "serial/EnumPorts.h"
#include "serial/posix/SysfsPorts.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
// A sysfs tree laid out like the kernel's: class/tty/<name> links to the tty's folder below its
// device, whose `device` link points back up to the device.
class CFakeSysfs
{
public:
    CFakeSysfs() : m_sys(fs::path(m_dir.Path()) / "sys"), m_dev(fs::path(m_dir.Path()) / "dev")
    {
        fs::create_directories(m_sys / "class" / "tty");
        fs::create_directories(m_dev);
    }

    SSysfsRoots Roots() const { return {m_sys.string(), m_dev.string()}; }

    // A device folder with its driver link.
    void AddDevice(const std::string& strDevice, const std::string& strDriver = {})
    {
        fs::create_directories(m_sys / strDevice);
        if (!strDriver.empty())
        {
            fs::create_directories(m_sys / "bus" / "drivers" / strDriver);
            fs::create_directory_symlink(
                fs::relative(m_sys / "bus" / "drivers" / strDriver, m_sys / strDevice),
                m_sys / strDevice / "driver");
        }
    }

    // A tty below strDevice; nType < 0 leaves the `type` attribute out.
    void AddTty(const std::string& strName, const std::string& strDevice, int nType = -1)
    {
        const fs::path ttyDir = m_sys / strDevice / "tty" / strName;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink("../..", ttyDir / "device");
        if (nType >= 0)
            Write(ttyDir / "type", std::to_string(nType) + "\n");
        LinkClass(strName, ttyDir);
    }

    // A tty without a device behind it (virtual console, pty master, console).
    void AddVirtualTty(const std::string& strName)
    {
        const fs::path ttyDir = m_sys / "devices" / "virtual" / "tty" / strName;
        fs::create_directories(ttyDir);
        LinkClass(strName, ttyDir);
    }

    // A USB device folder; an empty string leaves the attribute out.
    void AddUsbDevice(const std::string& strDevice, const std::string& strMaker,
                      const std::string& strProduct)
    {
        fs::create_directories(m_sys / strDevice);
        Write(m_sys / strDevice / "idVendor", "0403\n");
        Write(m_sys / strDevice / "idProduct", "6001\n");
        if (!strMaker.empty())
            Write(m_sys / strDevice / "manufacturer", strMaker);
        if (!strProduct.empty())
            Write(m_sys / strDevice / "product", strProduct);
    }

    // A usb-serial port (ttyUSB) or CDC-ACM interface (ttyACM) below a USB device.
    void AddUsbTty(const std::string& strName, const std::string& strUsbDevice, const std::string& strBelow)
    {
        AddDevice(strUsbDevice + "/" + strBelow);
        AddTty(strName, strUsbDevice + "/" + strBelow);
    }

    const fs::path& Sys() const { return m_sys; }

private:
    void LinkClass(const std::string& strName, const fs::path& ttyDir)
    {
        fs::create_directory_symlink(fs::relative(ttyDir, m_sys / "class" / "tty"),
                                     m_sys / "class" / "tty" / strName);
    }
    static void Write(const fs::path& path, const std::string& strText) { std::ofstream(path) << strText; }

    CTempFolder m_dir;
    fs::path m_sys;
    fs::path m_dev;
};

const std::string USB_A = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
const std::string USB_B = "devices/pci0000:00/0000:00:14.0/usb1/1-3";
const std::string USB_C = "devices/pci0000:00/0000:00:14.0/usb1/1-4";
const std::string USB_D = "devices/pci0000:00/0000:00:14.0/usb1/1-5";

// A machine with the usual mix: real and phantom legacy UARTs, a PCI UART, a platform UART,
// USB adapters with and without strings, and the virtual ttys that are no ports.
void BuildTypicalMachine(CFakeSysfs& sys)
{
    sys.AddDevice("devices/pnp0/00:01", "serial");
    sys.AddTty("ttyS0", "devices/pnp0/00:01", 4);
    sys.AddDevice("devices/platform/serial8250", "serial8250");
    for (const char* name : {"ttyS1", "ttyS2", "ttyS3"})
        sys.AddTty(name, "devices/platform/serial8250", 0);
    sys.AddDevice("devices/pci0000:00/0000:00:16.3", "serial");
    sys.AddTty("ttyS10", "devices/pci0000:00/0000:00:16.3", 4);
    sys.AddDevice("devices/platform/fe201000.serial", "uart-pl011");
    sys.AddTty("ttyAMA0", "devices/platform/fe201000.serial");

    sys.AddUsbDevice(USB_A, "FTDI\n", "FT232R USB UART\n");
    sys.AddUsbTty("ttyUSB0", USB_A, "1-2:1.0/ttyUSB0");
    sys.AddUsbDevice(USB_B, "", "");
    sys.AddUsbTty("ttyUSB10", USB_B, "1-3:1.0/ttyUSB10");
    sys.AddUsbDevice(USB_C, "Prolific Technology Inc.", "Prolific Technology Inc. USB-Serial Controller");
    sys.AddUsbTty("ttyUSB2", USB_C, "1-4:1.0/ttyUSB2");
    sys.AddUsbDevice(USB_D, "", "Pico\tBoard\n");
    sys.AddUsbTty("ttyACM0", USB_D, "1-5:1.0");

    for (const char* name : {"tty0", "tty1", "console", "ptmx", "ttyprintk"})
        sys.AddVirtualTty(name);
}

std::vector<std::string> Names(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> names;
    for (const SSerInfo& info : list)
        names.push_back(info.shortName);
    return names;
}

const SSerInfo& Find(const std::vector<SSerInfo>& list, const std::string& strName)
{
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const SSerInfo& i) { return i.shortName == strName; });
    if (it == list.end())
        throw std::runtime_error("no " + strName);
    return *it;
}
} // namespace

TEST(SysfsPortScan, RealPortsOnlyInNaturalOrder)
{
    CFakeSysfs sys;
    BuildTypicalMachine(sys);
    std::vector<SSerInfo> list;
    CSysfsPortScanner(sys.Roots()).Scan(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS0", "ttyS10", "ttyUSB0",
                                                     "ttyUSB2", "ttyUSB10"}));
}

TEST(SysfsPortScan, NamesATechnicianRecognises)
{
    CFakeSysfs sys;
    BuildTypicalMachine(sys);
    std::vector<SSerInfo> list;
    CSysfsPortScanner(sys.Roots()).Scan(list);

    const SSerInfo& ftdi = Find(list, "ttyUSB0");
    EXPECT_EQ(ftdi.friendlyName, "FTDI FT232R USB UART (ttyUSB0)");
    EXPECT_EQ(ftdi.devicePath, sys.Roots().strDevRoot + "/ttyUSB0");
    EXPECT_TRUE(ftdi.usbDevice);
    EXPECT_EQ(ftdi.description, ""); // left to the final pass

    EXPECT_EQ(Find(list, "ttyUSB10").friendlyName, "USB-Serial Controller (ttyUSB10)");
    // A product that already names its maker is not prefixed twice.
    EXPECT_EQ(Find(list, "ttyUSB2").friendlyName, "Prolific Technology Inc. USB-Serial Controller (ttyUSB2)");
    // Control characters from the device are blanked, the line end trimmed.
    EXPECT_EQ(Find(list, "ttyACM0").friendlyName, "Pico Board (ttyACM0)");
    EXPECT_TRUE(Find(list, "ttyACM0").usbDevice);

    for (const char* name : {"ttyS0", "ttyS10", "ttyAMA0"})
    {
        EXPECT_EQ(Find(list, name).friendlyName, std::string("Serial Port (") + name + ")");
        EXPECT_FALSE(Find(list, name).usbDevice) << name;
    }
}

TEST(SysfsPortScan, LegacyPortWithoutTypeIsKeptOnlyWhenAUartAnswers)
{
    CFakeSysfs sys;
    sys.AddDevice("devices/platform/serial8250", "serial8250");
    sys.AddTty("ttyS4", "devices/platform/serial8250"); // no type attribute, no device node to ask
    sys.AddDevice("devices/pnp0/00:02", "serial");
    sys.AddTty("ttyS5", "devices/pnp0/00:02"); // another driver: a real device, kept
    std::vector<SSerInfo> list;
    CSysfsPortScanner(sys.Roots()).Scan(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"ttyS5"}));
}

TEST(SysfsPortScan, AppendsAndRaisesUnreadableClassAsText)
{
    CFakeSysfs sys;
    sys.AddDevice("devices/pnp0/00:01", "serial");
    sys.AddTty("ttyS0", "devices/pnp0/00:01", 4);
    std::vector<SSerInfo> list(1);
    list[0].shortName = "kept";
    CSysfsPortScanner(sys.Roots()).Scan(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"kept", "ttyS0"}));

    SSysfsRoots roots = sys.Roots();
    roots.strSysRoot += "/missing";
    try
    {
        CSysfsPortScanner(roots).Scan(list);
        FAIL() << "no error";
    }
    catch (const std::string& strError)
    {
        EXPECT_EQ(strError, "Could not read " + roots.strSysRoot + "/class/tty. (err=2)");
    }
    EXPECT_EQ(list.size(), 2u);
}

TEST(SysfsPortScan, FinalPassCutsNamesAndRecordsDeniedPorts)
{
    CFakeSysfs sys;
    BuildTypicalMachine(sys);
    std::vector<SSerInfo> list;
    CSysfsPortScanner(sys.Roots()).Scan(list);
    const std::string strDev = sys.Roots().strDevRoot;
    std::vector<SPortProbeFailure> failures;
    FinishPortList(list, true, &failures,
                   [&](const std::string& strPath) -> uint32_t
                   {
                       if (strPath == strDev + "/ttyUSB0")
                           return EACCES;
                       if (strPath == strDev + "/ttyS0")
                           return EBUSY;
                       return 0;
                   });
    EXPECT_EQ(Names(list), (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS10", "ttyUSB2", "ttyUSB10"}));
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].devicePath, strDev + "/ttyS0");
    EXPECT_EQ(failures[0].nError, EBUSY);
    EXPECT_EQ(failures[1].devicePath, strDev + "/ttyUSB0");
    EXPECT_EQ(failures[1].nError, EACCES);
    EXPECT_EQ(Find(list, "ttyUSB10").description, "USB-Serial Controller");
    EXPECT_EQ(Find(list, "ttyS10").description, "Serial Port");
}

TEST(PortListExplicitPaths, PathsNameThemselvesAndUnopenableOnesAreRecorded)
{
    CTempFolder dir;
    const std::string strFile = dir.Path() + "/not-a-tty";
    std::ofstream(strFile) << "x";
    const std::string strMissing = dir.Path() + "/ttyUSB9";

    std::vector<SSerInfo> list(2);
    std::vector<SPortProbeFailure> failures(1);
    EnumerateSerialPorts(list, {strMissing, strFile}, false, &failures);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(list[0].devicePath, strMissing);
    EXPECT_EQ(list[0].shortName, strMissing);
    EXPECT_EQ(list[0].friendlyName, strMissing);
    EXPECT_EQ(list[0].description, strMissing);
    EXPECT_FALSE(list[0].usbDevice);

    EnumerateSerialPorts(list, {strMissing, strFile}, true, &failures);
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].nError, ENOENT);
    EXPECT_EQ(failures[1].nError, ENOTTY); // a plain file is no serial device
}

TEST(PortListNaturalOrder, DigitRunsCompareAsNumbers)
{
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyS10", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyS9", "ttyS10"));
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
    EXPECT_TRUE(NaturalLess("ttyS007", "ttyS8"));
    EXPECT_NE(NaturalLess("ttyS01", "ttyS1"), NaturalLess("ttyS1", "ttyS01")); // still a strict order
    EXPECT_TRUE(NaturalLess("ttyUSB99999999999999999999", "ttyUSB100000000000000000000"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyAMA0"));
}
