#include "tests/faults/ProtocolTrace.h"

#include <sstream>

namespace
{

constexpr uint32_t BOOT_BAUD = 4800;
constexpr uint32_t KERNEL_BAUD = 115200;
constexpr size_t BLOCK_FRAME = 512 + 2; // a write block's data and its CRC

// Cuts the program's bytes into frames; fed with every byte of the log in order.
class CFrameCutter
{
public:
    explicit CFrameCutter(SProtocolTrace& trace) : m_trace(trace) {}

    void FromProgram(uint8_t by, uint32_t dwBaud)
    {
        if (dwBaud == BOOT_BAUD)
        {
            m_eKernel = EKernel::Idle;
            Boot(by);
        }
        else if (dwBaud == KERNEL_BAUD)
        {
            m_eBoot = EBoot::Idle;
            Kernel(by);
        }
        else
        {
            ++m_trace.nStrayBytes;
        }
    }

    // A reply matters only where it decides what the program sends next: the two good status
    // bytes after a write command open the data phase.
    void FromUnit(uint8_t by, uint32_t dwBaud)
    {
        if (dwBaud != KERNEL_BAUD || m_eKernel != EKernel::AwaitReady)
        {
            return;
        }
        m_bReadyGood = m_bReadyGood && (by == '0' || by == '1');
        if (++m_nReplies == 2)
        {
            m_eKernel = m_bReadyGood ? EKernel::Data : EKernel::Idle;
            m_nNeed = BLOCK_FRAME;
        }
    }

private:
    enum class EBoot
    {
        Idle,
        Header, // load address and length
        Body,   // image and checksum
        Switch, // the four zero bytes after 0x40
    };
    enum class EKernel
    {
        Idle,
        Address,    // three address bytes, low byte first
        AwaitReady, // a write command waits for its two status bytes
        Data,       // a write block's data phase
    };

    void Boot(uint8_t by)
    {
        switch (m_eBoot)
        {
        case EBoot::Idle:
            if (by == 0x18)
            {
                ++m_trace.nSyncs;
            }
            else if (by == 0x00)
            {
                m_eBoot = EBoot::Header;
                m_frame.clear();
                m_nNeed = 4;
            }
            else if (by == 0x40)
            {
                m_eBoot = EBoot::Switch;
                m_nNeed = 4;
            }
            else
            {
                ++m_trace.nStrayBytes;
            }
            return;
        case EBoot::Header:
            m_frame.push_back(by);
            if (--m_nNeed == 0)
            {
                m_nNeed = ((size_t{m_frame[2]} << 8) | m_frame[3]) + 1;
                m_eBoot = EBoot::Body;
            }
            return;
        case EBoot::Body:
            if (--m_nNeed == 0)
            {
                ++m_trace.nDownloads;
                m_eBoot = EBoot::Idle;
            }
            return;
        case EBoot::Switch:
            if (by != 0x00)
            {
                ++m_trace.nStrayBytes;
                m_eBoot = EBoot::Idle;
            }
            else if (--m_nNeed == 0)
            {
                ++m_trace.nSwitches;
                m_eBoot = EBoot::Idle;
            }
            return;
        }
    }

    void Kernel(uint8_t by)
    {
        switch (m_eKernel)
        {
        case EKernel::AwaitReady:
            // The program sent again before the unit declared itself ready: a new frame.
            m_eKernel = EKernel::Idle;
            [[fallthrough]];
        case EKernel::Idle:
            if (by == CMD_PING)
            {
                ++m_trace.nPings;
            }
            else if (by == CMD_WRITE || by == CMD_READ || by == CMD_ERASE || by == CMD_BLANK)
            {
                m_command = SKernelCommand{by, 0, false};
                m_eKernel = EKernel::Address;
                m_nNeed = 3;
            }
            else
            {
                ++m_trace.nStrayBytes;
            }
            return;
        case EKernel::Address:
            m_command.dwAddress |= uint32_t{by} << (8 * (3 - m_nNeed));
            if (--m_nNeed == 0)
            {
                m_trace.commands.push_back(m_command);
                m_eKernel = EKernel::Idle;
                if (m_command.byCode == CMD_WRITE)
                {
                    m_eKernel = EKernel::AwaitReady;
                    m_nReplies = 0;
                    m_bReadyGood = true;
                }
            }
            return;
        case EKernel::Data:
            if (--m_nNeed == 0)
            {
                m_trace.commands.back().bData = true;
                m_eKernel = EKernel::Idle;
            }
            return;
        }
    }

    SProtocolTrace& m_trace;
    EBoot m_eBoot = EBoot::Idle;
    EKernel m_eKernel = EKernel::Idle;
    std::vector<uint8_t> m_frame;
    size_t m_nNeed = 0;
    SKernelCommand m_command;
    int m_nReplies = 0;
    bool m_bReadyGood = true;
};

bool ParseHexByte(const std::string& strToken, uint8_t& by)
{
    if (strToken.size() != 2)
    {
        return false;
    }
    unsigned nValue = 0;
    for (const char ch : strToken)
    {
        unsigned nDigit = 0;
        if (ch >= '0' && ch <= '9')
        {
            nDigit = static_cast<unsigned>(ch - '0');
        }
        else if (ch >= 'A' && ch <= 'F')
        {
            nDigit = static_cast<unsigned>(ch - 'A' + 10);
        }
        else
        {
            return false;
        }
        nValue = nValue * 16 + nDigit;
    }
    by = static_cast<uint8_t>(nValue);
    return true;
}

} // namespace

std::vector<SKernelCommand> SProtocolTrace::Commands(uint8_t byCode) const
{
    std::vector<SKernelCommand> found;
    for (const SKernelCommand& command : commands)
    {
        if (command.byCode == byCode)
        {
            found.push_back(command);
        }
    }
    return found;
}

std::vector<uint32_t> SProtocolTrace::WriteAddresses() const
{
    std::vector<uint32_t> addresses;
    for (const SKernelCommand& command : Commands(CMD_WRITE))
    {
        addresses.push_back(command.dwAddress);
    }
    return addresses;
}

std::vector<std::string> SProtocolTrace::NotesStartingWith(const std::string& strPrefix) const
{
    std::vector<std::string> found;
    for (const std::string& strNote : notes)
    {
        if (strNote.rfind(strPrefix, 0) == 0)
        {
            found.push_back(strNote);
        }
    }
    return found;
}

bool SProtocolTrace::Silent() const
{
    return nSyncs == 0 && nDownloads == 0 && nSwitches == 0 && nPings == 0 && commands.empty() &&
           nStrayBytes == 0;
}

bool ParseProtocolTrace(const std::string& strLog, SProtocolTrace& trace, std::string& strError)
{
    trace = SProtocolTrace();
    CFrameCutter cutter(trace);
    std::istringstream lines(strLog);
    std::string strLine;
    int nLine = 0;
    while (std::getline(lines, strLine))
    {
        ++nLine;
        std::istringstream fields(strLine);
        double dSeconds = 0;
        std::string strDirection;
        if (!(fields >> dSeconds >> strDirection))
        {
            strError = "line " + std::to_string(nLine) + ": no time and direction: " + strLine;
            return false;
        }
        if (strDirection == "--")
        {
            std::string strNote;
            std::getline(fields >> std::ws, strNote);
            trace.notes.push_back(strNote);
            continue;
        }
        uint32_t dwBaud = 0;
        if (!(fields >> dwBaud))
        {
            strError = "line " + std::to_string(nLine) + ": no line speed: " + strLine;
            return false;
        }
        std::string strToken;
        while (fields >> strToken)
        {
            uint8_t by = 0;
            if (!ParseHexByte(strToken, by))
            {
                strError = "line " + std::to_string(nLine) + ": not a byte '" + strToken + "': " + strLine;
                return false;
            }
            if (strDirection == "rx")
            {
                cutter.FromProgram(by, dwBaud);
            }
            else if (strDirection == "tx")
            {
                cutter.FromUnit(by, dwBaud);
            }
            else if (strDirection.rfind("decoy", 0) == 0)
            {
                trace.decoySyncs[strDirection] += by == 0x18 ? 1 : 0;
            }
            // tx-lost: a reply the program could not read; it changes nothing it sends.
        }
    }
    return true;
}
