#pragma once
// The command line of orlix-sim.
#include "sim/SimTypes.h"

#include <cstdint>
#include <string>
#include <vector>

struct SSimOptions
{
    std::string strLink;             // --link: path of the symlink to the unit's pty (required)
    SChipDef chip;                   // --chip, default MB90F345
    uint32_t dwEraseMs = 1500;       // --erase-ms
    uint32_t dwBlankMs = 300;        // --blank-ms
    bool bPace = true;               // --pace / --no-pace
    uint32_t dwPaceCapMs = 300;      // --pace-cap-ms: longest hold-back of a received byte
    SSimFaults faults;               // --fault, repeatable
    std::string strDump;             // --dump FILE
    std::string strLog;              // --log FILE
    std::vector<std::string> decoys; // --decoy PATH, repeatable
    std::string strKernels;          // --kernels DIR: kernel-<id>.bin files, as the programs' -k
    bool bQuiet = false;             // --quiet
    bool bHelp = false;              // --help
};

// Parses the arguments after the program name. False with a one-line reason on a bad command
// line (unknown option, missing or malformed value, unknown processor, a fault's block address
// that is not a block of the chosen processor's flash, no --link).
bool ParseSimOptions(const std::vector<std::string>& args, SSimOptions& opts, std::string& strError);

// One --fault value, e.g. "no-sync", "refuse-download=2", "crc-once=0xF80200".
bool ParseFault(const std::string& strSpec, SSimFaults& faults, std::string& strError);

// The text of --help.
std::string SimUsageText();
