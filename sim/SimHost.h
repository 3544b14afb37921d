#pragma once
// The simulator's event loop: the unit's pty and the decoys, wire pacing, the protocol log,
// the flash dump and the signals that end it. Single-threaded and poll-based: it sleeps until
// a byte arrives, a paced byte is due, the unit has timed work, or a signal comes.
#include "sim/FlashDump.h"
#include "sim/ProtocolLog.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "sim/SimPty.h"
#include "sim/WirePacer.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How long the line must be quiet after a change of the flash before the dump is written.
inline constexpr std::chrono::milliseconds SIM_DUMP_QUIET{300};
// How often the line settings are looked at while the kernel runs, to notice a reset.
inline constexpr std::chrono::milliseconds SIM_LINE_POLL{100};

class CSimHost : public ISimEvents
{
public:
    // Messages go to pErr (nullptr or --quiet: none); the ready line goes to pOut.
    CSimHost(SSimOptions opts, std::FILE* pOut, std::FILE* pErr);
    ~CSimHost() override;

    // Opens the ptys and links, prints the ready line and serves until SIGTERM, SIGINT or
    // SIGHUP, or until the reader of a piped stdout is gone. 0 then; 1 when it cannot start
    // (the reason on pErr).
    int Run();

    void OnSimEvent(ESimEvent eKind, const std::string& strText) override;

private:
    struct SInbound
    {
        uint8_t by;
        SLineState line;
        SimTime tDeliver;
        bool bEndOfRead; // the last byte of one read from the pty: the end of a frame, mostly
    };
    struct SOutbound
    {
        uint8_t by;
        uint32_t dwBaud;
        SimTime tDone;
    };

    bool Start(std::string& strError);
    void ReadUnit(SimTime now);
    void DrainDecoy(size_t nIndex, SimTime now);
    void CheckLine(SimTime now);
    void ProcessDue(SimTime now);
    void QueueOutput(SimTime tReady);
    void WriteDue(SimTime now);
    void Vanish(SimTime now);
    void MaybeDump(SimTime now, bool bForce);
    std::optional<SimTime> NextWake(SimTime now) const;
    void Message(const std::string& strText);

    SSimOptions m_opts;
    std::FILE* m_pOut;
    std::FILE* m_pErr;   // events; nullptr with --quiet
    std::FILE* m_pFatal; // why it cannot start, even with --quiet
    CSimPty m_unit;
    std::vector<std::unique_ptr<CSimPty>> m_decoys;
    std::unique_ptr<CSimDevice> m_pDevice;
    CWirePacer m_pacer;
    CProtocolLog m_log;
    SimTime m_now{};

    std::deque<SInbound> m_inbound;
    std::deque<SOutbound> m_outbound;
    bool m_bWriteBlocked = false; // the pty would not take more: wait for POLLOUT
    bool m_bTxLostRun = false;    // reply bytes are being lost: reported once per run

    SPtyLineInfo m_lineInfo;
    bool m_bLineKnown = false;

    uint64_t m_qwDumpedGeneration = 0;
    bool m_bDumpedOnce = false;
    SimTime m_lastActivity{};
    ESimPhase m_eLastPhase = ESimPhase::BootRom;
};
