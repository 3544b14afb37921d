#include "sim/SimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace
{
bool ParseNumber(const std::string& strText, uint32_t dwMax, uint32_t& dwValue)
{
    if (strText.empty() || strText[0] == '-' || strText[0] == '+' || strText[0] == ' ')
    {
        return false;
    }
    errno = 0;
    char* pEnd = nullptr;
    const unsigned long long qwValue = std::strtoull(strText.c_str(), &pEnd, 0);
    if (errno != 0 || pEnd == nullptr || *pEnd != '\0' || qwValue > dwMax)
    {
        return false;
    }
    dwValue = static_cast<uint32_t>(qwValue);
    return true;
}

constexpr uint32_t MAX_MS = 3'600'000;
constexpr uint32_t MAX_ADDRESS = 0xFFFFFF;

bool CheckFaultBlocks(const std::set<uint32_t>& blocks, const char* pszName, const SChipDef& chip,
                      std::string& strError)
{
    for (const uint32_t dwAddress : blocks)
    {
        const bool bInside = dwAddress >= chip.StartAddress && dwAddress <= chip.EndAddress &&
                             chip.EndAddress - dwAddress >= 511 && (dwAddress - chip.StartAddress) % 512 == 0;
        if (!bInside)
        {
            char buf[160];
            std::snprintf(buf, sizeof buf,
                          "--fault %s=0x%06X: not a 512-byte block of the %s flash (0x%06X..0x%06X)", pszName,
                          dwAddress, chip.Name.c_str(), chip.StartAddress, chip.EndAddress);
            strError = buf;
            return false;
        }
    }
    return true;
}
} // namespace

bool ParseFault(const std::string& strSpec, SSimFaults& faults, std::string& strError)
{
    const auto eq = strSpec.find('=');
    const std::string strName = strSpec.substr(0, eq);
    const bool bHasValue = eq != std::string::npos;
    const std::string strValue = bHasValue ? strSpec.substr(eq + 1) : std::string();

    struct SFlag
    {
        const char* pszName;
        bool SSimFaults::*pFlag;
    };
    static const SFlag flags[] = {
        {"no-sync", &SSimFaults::bNoSync},         {"bad-sync", &SSimFaults::bBadSync},
        {"no-ping", &SSimFaults::bNoPing},         {"erase-hangs", &SSimFaults::bEraseHangs},
        {"blank-fails", &SSimFaults::bBlankFails}, {"blank-hangs", &SSimFaults::bBlankHangs},
    };
    for (const SFlag& flag : flags)
    {
        if (strName == flag.pszName)
        {
            if (bHasValue)
            {
                strError = "--fault " + strName + " takes no value";
                return false;
            }
            faults.*flag.pFlag = true;
            return true;
        }
    }

    struct SBlockSet
    {
        const char* pszName;
        std::set<uint32_t> SSimFaults::*pSet;
    };
    static const SBlockSet sets[] = {
        {"crc-once", &SSimFaults::crcOnce},
        {"crc-always", &SSimFaults::crcAlways},
        {"write-fails", &SSimFaults::writeFails},
    };
    for (const SBlockSet& set : sets)
    {
        if (strName == set.pszName)
        {
            uint32_t dwAddress = 0;
            if (!ParseNumber(strValue, MAX_ADDRESS, dwAddress))
            {
                strError = "--fault " + strName + "=BLOCKADDR needs a 24-bit block address, e.g. 0xF80200";
                return false;
            }
            (faults.*set.pSet).insert(dwAddress);
            return true;
        }
    }

    if (strName == "weak-cell")
    {
        uint32_t dwAddress = 0;
        if (!ParseNumber(strValue, MAX_ADDRESS, dwAddress))
        {
            strError = "--fault weak-cell=ADDR needs a 24-bit byte address, e.g. 0xF80203";
            return false;
        }
        faults.weakCells.insert(dwAddress);
        return true;
    }

    uint32_t dwCount = 0;
    if (strName == "refuse-download" || strName == "vanish-after")
    {
        if (!ParseNumber(strValue, 1'000'000, dwCount) || dwCount == 0)
        {
            strError = "--fault " + strName + "=N needs a count of at least 1";
            return false;
        }
        if (strName == "refuse-download")
        {
            faults.dwRefuseDownloads = dwCount;
        }
        else
        {
            faults.vanishAfter = dwCount;
        }
        return true;
    }
    strError = "unknown fault '" + strSpec + "' (see --help)";
    return false;
}

bool ParseSimOptions(const std::vector<std::string>& args, SSimOptions& opts, std::string& strError)
{
    std::string strChip = "MB90F345";
    for (size_t i = 0; i < args.size(); ++i)
    {
        std::string strOpt = args[i];
        std::string strValue;
        bool bInlineValue = false;
        if (strOpt.rfind("--", 0) == 0)
        {
            const auto eq = strOpt.find('=');
            if (eq != std::string::npos)
            {
                strValue = strOpt.substr(eq + 1);
                strOpt.resize(eq);
                bInlineValue = true;
            }
        }
        auto takeValue = [&]() -> bool
        {
            if (bInlineValue)
            {
                return true;
            }
            if (i + 1 >= args.size())
            {
                strError = strOpt + " needs a value";
                return false;
            }
            strValue = args[++i];
            return true;
        };
        auto noValue = [&]() -> bool
        {
            if (bInlineValue)
            {
                strError = strOpt + " takes no value";
                return false;
            }
            return true;
        };
        auto takeMs = [&](uint32_t& dwMs) -> bool
        {
            if (!takeValue())
            {
                return false;
            }
            if (!ParseNumber(strValue, MAX_MS, dwMs))
            {
                strError = strOpt + " needs milliseconds (0 to " + std::to_string(MAX_MS) + "), not '" +
                           strValue + "'";
                return false;
            }
            return true;
        };

        if (strOpt == "--help" || strOpt == "-h")
        {
            opts.bHelp = true;
            return true;
        }
        bool bOk = true;
        if (strOpt == "--link")
        {
            bOk = takeValue();
            opts.strLink = strValue;
        }
        else if (strOpt == "--chip")
        {
            bOk = takeValue();
            strChip = strValue;
        }
        else if (strOpt == "--erase-ms")
        {
            bOk = takeMs(opts.dwEraseMs);
        }
        else if (strOpt == "--blank-ms")
        {
            bOk = takeMs(opts.dwBlankMs);
        }
        else if (strOpt == "--pace-cap-ms")
        {
            bOk = takeMs(opts.dwPaceCapMs);
        }
        else if (strOpt == "--pace" || strOpt == "--no-pace")
        {
            bOk = noValue();
            opts.bPace = strOpt == "--pace";
        }
        else if (strOpt == "--quiet")
        {
            bOk = noValue();
            opts.bQuiet = true;
        }
        else if (strOpt == "--fault")
        {
            bOk = takeValue() && ParseFault(strValue, opts.faults, strError);
        }
        else if (strOpt == "--dump")
        {
            bOk = takeValue();
            opts.strDump = strValue;
        }
        else if (strOpt == "--log")
        {
            bOk = takeValue();
            opts.strLog = strValue;
        }
        else if (strOpt == "--decoy")
        {
            bOk = takeValue();
            opts.decoys.push_back(strValue);
        }
        else if (strOpt == "--kernels")
        {
            bOk = takeValue();
            opts.strKernels = strValue;
        }
        else
        {
            strError = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
        if (!bOk)
        {
            return false;
        }
        if (strValue.empty() && (strOpt == "--link" || strOpt == "--chip" || strOpt == "--dump" ||
                                 strOpt == "--log" || strOpt == "--decoy" || strOpt == "--kernels"))
        {
            strError = strOpt + " needs a non-empty value";
            return false;
        }
    }
    if (opts.strLink.empty())
    {
        strError = "--link PATH is required";
        return false;
    }
    if (!opts.chip.SelectChip(strChip))
    {
        strError = "unknown processor '" + strChip + "'; known:";
        for (size_t i = 0; i < ChipTableSize(); ++i)
        {
            strError += std::string(" ") + ChipTable()[i].Name;
        }
        return false;
    }
    for (const uint32_t dwAddress : opts.faults.weakCells)
    {
        if (dwAddress < opts.chip.StartAddress || dwAddress > opts.chip.EndAddress)
        {
            char buf[160];
            std::snprintf(buf, sizeof buf, "--fault weak-cell=0x%06X: not in the %s flash (0x%06X..0x%06X)",
                          dwAddress, opts.chip.Name.c_str(), opts.chip.StartAddress, opts.chip.EndAddress);
            strError = buf;
            return false;
        }
    }
    return CheckFaultBlocks(opts.faults.crcOnce, "crc-once", opts.chip, strError) &&
           CheckFaultBlocks(opts.faults.crcAlways, "crc-always", opts.chip, strError) &&
           CheckFaultBlocks(opts.faults.writeFails, "write-fails", opts.chip, strError);
}

std::string SimUsageText()
{
    return R"(Usage: orlix-sim --link PATH [options]

Plays a field unit on a pseudo-terminal: the processor's boot ROM at 4800 bit/s, then the
downloaded flash kernel at 115200 bit/s with the processor's flash behind it. Prints one line
"orlix-sim ready: LINK -> PTY PROCESSOR" on stdout when the link exists, and runs until
SIGTERM, SIGINT or SIGHUP, or, when stdout is a pipe, until its reader closes it; then it
writes the last dump, removes its links and exits with 0.
Events and protocol errors of the program go to stderr.

The unit listens at the speed it expects, read from the line settings the program set on the
pty: bytes at another speed (or not 8N1) are garbage to it and dropped. Setting the line back
to 4800 bit/s while the kernel runs resets the unit to its boot ROM; the flash is kept.

Options:
  --link PATH          symlink to the unit's pty (required; a stale symlink is replaced)
  --chip NAME          MB90F345 (default), MB90F345CAS or MB90F362
  --erase-ms N         time the erase takes, milliseconds (default 1500)
  --blank-ms N         time the blank check takes, milliseconds (default 300)
  --pace               bytes take their wire time, 10 bits each, in both directions (default)
  --no-pace            bytes pass at once
  --pace-cap-ms N      a received byte is held back at most this long after the program
                       handed it over (default 300), because a pty's flush returns at once
  --dump FILE          flash dump: the whole flash, raw, first byte at the flash's start.
                       Written at start, whenever the flash has changed and the line has
                       then been quiet for 300 ms, when the kernel is left (reset), before
                       the unit vanishes, and at exit; each time to FILE.tmp, then renamed.
  --log FILE           protocol log: every byte with time, direction and line speed,
                       and the unit's events
  --decoy PATH         one more pty linked at PATH that never answers (repeatable)
  --kernels DIR        expect the flash kernel from DIR/kernel-134.bin or kernel-148.bin,
                       as orlix and orlix-cli take it with -k:DIR; without it, from the
                       same default kernel folders as they (the user's data folder, then
                       /usr/share/orlix/kernels), else the built-in one. A kernel file of
                       the wrong size or that cannot be read is an error (status 1)
  --quiet              nothing on stderr
  --fault FAULT        inject a fault (repeatable):
      no-sync            no answer to the sync byte 0x18
      bad-sync           answer 0x18 with 0x10 instead of 0x11
      refuse-download=N  refuse the first N correct download frames (reply 0x00)
      no-ping            the kernel does not answer its ping
      erase-hangs        the erase never completes
      blank-fails        the blank check answers '2' (not blank)
      blank-hangs        the blank check never completes
      crc-once=ADDR      the first write of block ADDR is answered '5' (CRC error)
      crc-always=ADDR    every write of block ADDR is answered '5'
      write-fails=ADDR   the write of block ADDR is answered "04"
      vanish-after=N     after N programmed blocks the pty and its link go away
      weak-cell=ADDR     a weak flash cell: whenever the block holding byte ADDR is
                         written, that byte is stored with bit 0 flipped while the
                         write is answered "01"; only reading the block back shows it
  --help               this text

Boot ROM replies: 0x11 to 0x18; 0x01 to a download frame with the right checksum and load
address 0x190, 0x00 otherwise; 0x01 to the switch frame 0x40 0x00 0x00 0x00 0x00. A switch
without a downloaded kernel, or with the kernel of another processor, hangs the unit.
Kernel replies: ping '1'; erase and blank check '0', then '1' when done (blank check '2' when
not blank); write block '0' '1', then "01" after the data, '5' on a CRC error, "04" when the
block is not erased; read block '0' '1', 512 bytes, CRC, '1'. Unknown commands and addresses
outside the flash or off a 512-byte block are answered '4'.
)";
}
