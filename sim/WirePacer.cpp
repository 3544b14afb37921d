#include "sim/WirePacer.h"

#include <algorithm>

CWirePacer::CWirePacer(bool bEnabled, std::chrono::microseconds cap) : m_bEnabled(bEnabled), m_cap(cap) {}

std::chrono::microseconds CWirePacer::ByteTime(uint32_t dwBaud)
{
    if (dwBaud == 0)
    {
        return std::chrono::microseconds(0);
    }
    // Rounded up, so bytes never travel faster than the line allows.
    return std::chrono::microseconds((10'000'000ull + dwBaud - 1) / dwBaud);
}

SimTime CWirePacer::InboundDelivery(SimTime tHanded, uint32_t dwBaud)
{
    if (!m_bEnabled)
    {
        return tHanded;
    }
    const SimTime tPaced = std::max(m_lastInbound, tHanded) + ByteTime(dwBaud);
    // Never later than the cap after hand-over, and never before the byte ahead of it.
    m_lastInbound = std::max(m_lastInbound, std::min(tPaced, tHanded + m_cap));
    return m_lastInbound;
}

SimTime CWirePacer::OutboundDone(SimTime tReady, uint32_t dwBaud)
{
    if (!m_bEnabled)
    {
        return tReady;
    }
    m_lastOutbound = std::max(m_lastOutbound, tReady) + ByteTime(dwBaud);
    return m_lastOutbound;
}
