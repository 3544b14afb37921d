#include "serial/posix/SysfsPorts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
// A sysfs attribute, trimmed, control characters blanked (USB strings come from the device).
std::string ReadAttribute(const fs::path& path)
{
    std::ifstream in(path);
    std::string strText;
    if (!in || !std::getline(in, strText, '\0'))
        return {};
    for (char& ch : strText)
    {
        const auto uch = static_cast<unsigned char>(ch);
        if (uch < 0x20 || uch == 0x7F)
            ch = ' ';
    }
    const size_t nFirst = strText.find_first_not_of(' ');
    if (nFirst == std::string::npos)
        return {};
    const size_t nLast = strText.find_last_not_of(' ');
    return strText.substr(nFirst, nLast - nFirst + 1);
}

bool StartsWithNoCase(const std::string& strText, const std::string& strPrefix)
{
    return strText.size() >= strPrefix.size() &&
           std::equal(strPrefix.begin(), strPrefix.end(), strText.begin(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// The USB device directory (the one holding idVendor) above a tty's device, or empty.
fs::path FindUsbDevice(const fs::path& device, const fs::path& sysRoot)
{
    std::error_code ec;
    for (fs::path dir = device; !dir.empty() && dir != sysRoot && dir != dir.root_path();
         dir = dir.parent_path())
    {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return dir;
    }
    return {};
}

// For a legacy 8250 port without a sysfs type: ask the driver whether a UART answered.
bool UartPresent(const std::string& strDevNode)
{
    const int fd = ::open(strDevNode.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct serial{};
    const bool bPresent = ::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
    ::close(fd);
    return bPresent;
}

std::string UsbLabel(const fs::path& usbDevice)
{
    const std::string strMaker = ReadAttribute(usbDevice / "manufacturer");
    const std::string strProduct = ReadAttribute(usbDevice / "product");
    if (strMaker.empty() && strProduct.empty())
        return "USB-Serial Controller";
    if (strMaker.empty() || StartsWithNoCase(strProduct, strMaker))
        return strProduct;
    if (strProduct.empty())
        return strMaker;
    return strMaker + " " + strProduct;
}
} // namespace

CSysfsPortScanner::CSysfsPortScanner(SSysfsRoots roots) : m_roots(std::move(roots)) {}

void CSysfsPortScanner::Scan(std::vector<SSerInfo>& list) const
{
    const fs::path sysRoot(m_roots.strSysRoot);
    const fs::path classDir = sysRoot / "class" / "tty";
    std::error_code ec;
    fs::directory_iterator it(classDir, ec);
    if (ec)
    {
        char szText[512];
        std::snprintf(szText, sizeof szText, "Could not read %s. (err=%lx)", classDir.c_str(),
                      static_cast<unsigned long>(ec.value()));
        throw std::string(szText);
    }
    std::vector<SSerInfo> found;
    for (; it != fs::directory_iterator(); it.increment(ec))
    {
        if (ec)
            break;
        const std::string strName = it->path().filename().string();
        const fs::path ttyDir = classDir / strName;
        // Virtual consoles, ptys and the like have no device behind them.
        std::error_code linkError;
        const fs::path device = fs::canonical(ttyDir / "device", linkError);
        if (linkError)
            continue;
        const std::string strDevNode = m_roots.strDevRoot + "/" + strName;
        // serial_core reports a port without a UART as type 0 (PORT_UNKNOWN): the 8250 driver
        // registers such phantom ports for every legacy address.
        const fs::path typeAttr = ttyDir / "type";
        if (fs::exists(typeAttr, linkError))
        {
            if (ReadAttribute(typeAttr) == "0")
                continue;
        }
        else if (fs::read_symlink(device / "driver", linkError).filename() == "serial8250" &&
                 !UartPresent(strDevNode))
        {
            continue;
        }

        SSerInfo info;
        info.devicePath = strDevNode;
        info.shortName = strName;
        const fs::path usbDevice = FindUsbDevice(device, sysRoot);
        info.usbDevice = !usbDevice.empty();
        info.usbSerial = info.usbDevice ? ReadAttribute(usbDevice / "serial") : std::string();
        const std::string strLabel = info.usbDevice ? UsbLabel(usbDevice) : "Serial Port";
        info.friendlyName = strLabel + " (" + strName + ")";
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(),
              [](const SSerInfo& a, const SSerInfo& b) { return NaturalLess(a.shortName, b.shortName); });
    list.insert(list.end(), found.begin(), found.end());
}

bool NaturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    const auto isDigit = [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)) != 0; };
    while (i < a.size() && j < b.size())
    {
        if (isDigit(a[i]) && isDigit(b[j]))
        {
            size_t iEnd = i;
            size_t jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd]))
                ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd]))
                ++jEnd;
            // Compare as numbers of any length: without leading zeros, the longer is larger.
            size_t iSig = i;
            size_t jSig = j;
            while (iSig + 1 < iEnd && a[iSig] == '0')
                ++iSig;
            while (jSig + 1 < jEnd && b[jSig] == '0')
                ++jSig;
            if (iEnd - iSig != jEnd - jSig)
                return iEnd - iSig < jEnd - jSig;
            const int nCmp = a.compare(iSig, iEnd - iSig, b, jSig, jEnd - jSig);
            if (nCmp != 0)
                return nCmp < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal by number: "ttyS01" and "ttyS1" still get a fixed order
}
