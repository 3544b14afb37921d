// The log reader that the fault matrix counts attempts with: frames cut where the protocol
// cuts them, however the log happened to break its lines.
#include "tests/faults/ProtocolTrace.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

// Writes log lines the way the simulator does: time, direction, speed, at most 16 bytes.
class CLogText
{
public:
    CLogText& Bytes(const char* pszDirection, uint32_t dwBaud, const std::vector<uint8_t>& data)
    {
        for (size_t i = 0; i < data.size(); i += 16)
        {
            char head[64];
            std::snprintf(head, sizeof head, "%11.6f %-7s %6u ", m_dSeconds, pszDirection, dwBaud);
            m_strText += head;
            for (size_t j = i; j < data.size() && j < i + 16; ++j)
            {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", data[j]);
                m_strText += hex;
            }
            m_strText += "\n";
        }
        m_dSeconds += 0.001;
        return *this;
    }
    CLogText& Note(const std::string& strText)
    {
        char head[32];
        std::snprintf(head, sizeof head, "%11.6f --      ", m_dSeconds);
        m_strText += head + strText + "\n";
        return *this;
    }
    const std::string& Text() const { return m_strText; }

private:
    std::string m_strText;
    double m_dSeconds = 0.0;
};

std::vector<uint8_t> DownloadFrame(size_t nImage, uint8_t byFill)
{
    std::vector<uint8_t> frame = {0x00, 0x01, 0x90, static_cast<uint8_t>(nImage >> 8),
                                  static_cast<uint8_t>(nImage)};
    frame.insert(frame.end(), nImage, byFill);
    frame.push_back(0x5A); // checksum: the reader does not judge it
    return frame;
}

std::vector<uint8_t> Concat(std::vector<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
    {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

SProtocolTrace Parse(const CLogText& log)
{
    SProtocolTrace trace;
    std::string strError;
    EXPECT_TRUE(ParseProtocolTrace(log.Text(), trace, strError)) << strError;
    return trace;
}

TEST(ProtocolTrace, BootRomFramesAreCutByTheirLengthsAcrossLines)
{
    // Image bytes equal to the sync, the switch code and a frame start must not count: the
    // length in the header says where the frame ends. The second download and the switch
    // frame arrive in one read, split at an odd place.
    const std::vector<uint8_t> first = DownloadFrame(40, 0x18);
    const std::vector<uint8_t> rest = Concat({DownloadFrame(33, 0x40), {0x40, 0, 0, 0, 0}});
    CLogText log;
    log.Bytes("rx", 4800, {0x18}).Bytes("tx", 4800, {0x11});
    log.Bytes("rx", 4800, std::vector<uint8_t>(first.begin(), first.begin() + 7));
    log.Bytes("rx", 4800, std::vector<uint8_t>(first.begin() + 7, first.end()));
    log.Bytes("tx", 4800, {0x00}).Note("fault: download refused (--fault refuse-download, 0 left)");
    log.Bytes("rx", 4800, rest).Bytes("tx", 4800, {0x01});
    const SProtocolTrace trace = Parse(log);
    EXPECT_EQ(trace.nSyncs, 1);
    EXPECT_EQ(trace.nDownloads, 2);
    EXPECT_EQ(trace.nSwitches, 1);
    EXPECT_EQ(trace.nStrayBytes, 0);
    EXPECT_EQ(trace.NotesStartingWith("fault: ").size(), 1U);
    EXPECT_FALSE(trace.Silent());
}

TEST(ProtocolTrace, WriteDataFollowsOnlyAnAcceptedWriteCommand)
{
    // Block data that starts with 0x08 and contains 0x38 and 0xE8 is data, not commands.
    std::vector<uint8_t> block(514, 0xE8);
    block[0] = 0x08;
    block[100] = 0x38;
    CLogText log;
    log.Bytes("rx", 115200, {0xE8}).Bytes("tx", 115200, {'1'});
    log.Bytes("rx", 115200, {0x38, 0x00, 0x00, 0xF8}).Bytes("tx", 115200, {'0'}).Bytes("tx", 115200, {'1'});
    log.Bytes("rx", 115200, {0x08, 0x00, 0x02, 0xF8}).Bytes("tx", 115200, {'0', '1'});
    log.Bytes("rx", 115200, block).Bytes("tx", 115200, {'5'});
    log.Bytes("rx", 115200, {0x08, 0x00, 0x02, 0xF8}).Bytes("tx", 115200, {'0', '1'});
    log.Bytes("rx", 115200, block).Bytes("tx", 115200, {'0', '1'});
    // Refused with '4': the program sends no data, and its next bytes are a new command.
    log.Bytes("rx", 115200, {0x08, 0x00, 0x00, 0xF7}).Bytes("tx", 115200, {'4'});
    log.Bytes("rx", 115200, {0x48, 0x00, 0x00, 0xF8}).Bytes("tx", 115200, {'0'});
    const SProtocolTrace trace = Parse(log);
    EXPECT_EQ(trace.nPings, 1);
    ASSERT_EQ(trace.commands.size(), 5U);
    EXPECT_EQ(trace.Commands(CMD_ERASE).size(), 1U);
    EXPECT_EQ(trace.Commands(CMD_ERASE)[0].dwAddress, 0xF80000U);
    EXPECT_EQ(trace.Commands(CMD_BLANK).size(), 1U);
    EXPECT_EQ(trace.WriteAddresses(), (std::vector<uint32_t>{0xF80200, 0xF80200, 0xF70000}));
    const auto writes = trace.Commands(CMD_WRITE);
    EXPECT_TRUE(writes[0].bData && writes[1].bData);
    EXPECT_FALSE(writes[2].bData);
    EXPECT_EQ(trace.nStrayBytes, 0);
}

TEST(ProtocolTrace, DecoysNotesAndStrayBytesAreKeptApart)
{
    CLogText log;
    log.Note("unit MB90F345 on /dev/pts/9 (/tmp/x/unit0)");
    log.Bytes("decoy0", 4800, {0x18}).Bytes("decoy1", 4800, {0x18}).Bytes("decoy0", 4800, {0x18, 0x55});
    log.Bytes("rx", 9600, {0x18}).Bytes("tx-lost", 4800, {0x11});
    log.Note("protocol error: byte 18 sent at 9600 bit/s is garbage to the unit");
    const SProtocolTrace trace = Parse(log);
    EXPECT_EQ(trace.decoySyncs.at("decoy0"), 2);
    EXPECT_EQ(trace.decoySyncs.at("decoy1"), 1);
    EXPECT_EQ(trace.nSyncs, 0);
    EXPECT_EQ(trace.nStrayBytes, 1);
    EXPECT_EQ(trace.notes.front(), "unit MB90F345 on /dev/pts/9 (/tmp/x/unit0)");
    EXPECT_EQ(trace.NotesStartingWith("protocol error: ").size(), 1U);
}

TEST(ProtocolTrace, AnEmptyLogIsSilentAndMalformedLinesAreRejected)
{
    SProtocolTrace trace;
    std::string strError;
    EXPECT_TRUE(ParseProtocolTrace("", trace, strError));
    EXPECT_TRUE(trace.Silent());
    for (const char* pszBad : {"garbage\n", "   0.100000 rx\n", "   0.100000 rx        4800  1G\n",
                               "   0.100000 rx        4800  180\n"})
    {
        EXPECT_FALSE(ParseProtocolTrace(pszBad, trace, strError)) << pszBad;
        EXPECT_NE(strError.find("line 1"), std::string::npos) << strError;
    }
}

} // namespace
