#pragma once
// Wire timing of a serial line, which a pseudo-terminal does not have: every byte takes ten
// bit times (start, 8 data, stop) at the line speed, one after the other, in each direction.
//
// On a pty the program's flush returns at once, so its reply time-out starts when a frame is
// handed over rather than when it has left the wire. Received bytes are therefore never held
// back longer than a cap after they were handed over; without the cap the 918-byte kernel frame
// (1.9 s at 4800 bit/s) would always miss the program's 800 ms reply time-out.
#include "sim/SimTypes.h"

#include <chrono>
#include <cstdint>

class CWirePacer
{
public:
    static constexpr std::chrono::milliseconds DEFAULT_CAP{300};

    // Disabled, every byte is delivered and sent at once.
    explicit CWirePacer(bool bEnabled, std::chrono::microseconds cap = DEFAULT_CAP);

    // Time one byte occupies the line at dwBaud (10 bits); zero for speed 0.
    static std::chrono::microseconds ByteTime(uint32_t dwBaud);

    // When the unit has received a byte that the program handed over at tHanded.
    SimTime InboundDelivery(SimTime tHanded, uint32_t dwBaud);
    // When a reply byte the unit produced at tReady has fully left the unit's UART.
    SimTime OutboundDone(SimTime tReady, uint32_t dwBaud);

    bool Enabled() const { return m_bEnabled; }

private:
    bool m_bEnabled;
    std::chrono::microseconds m_cap;
    SimTime m_lastInbound{};
    SimTime m_lastOutbound{};
};
