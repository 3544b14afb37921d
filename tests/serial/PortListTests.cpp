// The final pass every port source ends with.
#include "serial/EnumPorts.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>

namespace
{
std::vector<std::string> Names(const std::vector<SSerInfo>& list)
{
    std::vector<std::string> names;
    for (const SSerInfo& info : list)
        names.push_back(info.shortName);
    return names;
}
} // namespace

TEST(PortListDescription, CutOnlyATrailingPortName)
{
    EXPECT_EQ(DescriptionFromFriendlyName("USB Serial Port (COM5)"), "USB Serial Port");
    EXPECT_EQ(DescriptionFromFriendlyName("Communications Port (COM1)"), "Communications Port");
    EXPECT_EQ(DescriptionFromFriendlyName("Port (COM5) B"), "Port (COM5) B");     // ")" not last
    EXPECT_EQ(DescriptionFromFriendlyName(" (COM5)"), " (COM5)");                 // " (" at the start
    EXPECT_EQ(DescriptionFromFriendlyName("Port (A) (COM5)"), "Port (A) (COM5)"); // first ")" not last
    EXPECT_EQ(DescriptionFromFriendlyName("COM5"), "COM5");
    EXPECT_EQ(DescriptionFromFriendlyName(""), "");
    EXPECT_EQ(DescriptionFromFriendlyName("A)"), "A)");
    EXPECT_EQ(DescriptionFromFriendlyName("X ()"), "X");
}

TEST(PortListFinalPass, ProbeDropsInPlaceAndKeepsOrder)
{
    std::vector<SSerInfo> list(5);
    for (size_t i = 0; i < list.size(); ++i)
        list[i].devicePath = list[i].shortName = "p" + std::to_string(i);
    // Two neighbours fail: the one that moves up is probed too.
    const std::map<std::string, uint32_t> errors{{"p1", EACCES}, {"p2", ENOENT}, {"p4", EIO}};
    std::vector<SPortProbeFailure> failures{{"stale", 1}};
    std::vector<std::string> probed;
    FinishPortList(list, true, &failures,
                   [&](const std::string& strPath) -> uint32_t
                   {
                       probed.push_back(strPath);
                       const auto it = errors.find(strPath);
                       return it == errors.end() ? 0 : it->second;
                   });
    EXPECT_EQ(probed, (std::vector<std::string>{"p0", "p1", "p2", "p3", "p4"}));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"p0", "p3"}));
    ASSERT_EQ(failures.size(), 4u); // appended; clearing is the enumeration's job
    EXPECT_EQ(failures[1].devicePath, "p1");
    EXPECT_EQ(failures[1].nError, EACCES);
    EXPECT_EQ(failures[3].nError, EIO);
}

TEST(PortListFinalPass, WithoutProbeEveryRecordStaysAndNamesAreFilled)
{
    std::vector<SSerInfo> list(3);
    list[0].shortName = "ttyS0";
    list[1].shortName = "ttyS1";
    list[1].friendlyName = "Modem (ttyS1)";
    list[2].shortName = "ttyS2";
    list[2].friendlyName = "Console (ttyS2)";
    list[2].description = "kept as it is";
    bool bProbed = false;
    FinishPortList(list, false, nullptr,
                   [&](const std::string&) -> uint32_t
                   {
                       bProbed = true;
                       return EIO;
                   });
    EXPECT_FALSE(bProbed);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].friendlyName, "ttyS0");
    EXPECT_EQ(list[0].description, "ttyS0");
    EXPECT_EQ(list[1].description, "Modem");
    EXPECT_EQ(list[2].description, "kept as it is");

    std::vector<SSerInfo> empty;
    FinishPortList(empty, true, nullptr, [](const std::string&) -> uint32_t { return 0; });
    EXPECT_TRUE(empty.empty());
}
