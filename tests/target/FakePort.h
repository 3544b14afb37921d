#pragma once
// A fake clock and a scripted port for the protocol's tests.
#include "serial/SerialIo.h"
#include "target/ProtocolClock.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Time moves only by Sleep, by the test (or the fake port), or by m_nTicksPerQuery on every
// reading of the counter (the cost of reading it).
class CFakeClock : public IProtocolClock
{
public:
    explicit CFakeClock(int64_t nFrequency = 1'000'000) : m_nFrequency(nFrequency) {}
    int64_t QueryCounter() override { return std::exchange(m_nNow, m_nNow + m_nTicksPerQuery); }
    int64_t QueryFrequency() override { return m_nFrequency; }
    void Sleep(uint32_t dwMs) override { m_sleeps.push_back(dwMs), AdvanceMs(dwMs); }
    void AdvanceMs(uint32_t dwMs) { m_nNow += int64_t{dwMs} * m_nFrequency / 1000; }
    void AdvanceTicks(int64_t nTicks) { m_nNow += nTicks; }

    std::vector<uint32_t> m_sleeps;
    int64_t m_nTicksPerQuery = 0;

private:
    int64_t m_nNow = 0;
    int64_t m_nFrequency;
};

// Records every operation. QueueRead bytes arrive when the next Read starts, PreloadInput bytes
// are already waiting (stale input). A short Read advances the clock by the read time-out.
class CFakePort : public ISerialIo
{
public:
    enum class EOp
    {
        Purge,
        Write,
        Flush,
        Read,
        SetBaud
    };
    struct SOp
    {
        EOp op;
        uint32_t dwValue; // purge flags, bytes asked of a read, or the baud rate
        Bytes bytes;      // bytes written, or bytes a read returned
    };

    explicit CFakePort(CFakeClock* pClock = nullptr) : m_pClock(pClock) {}
    void QueueRead(Bytes bytes) { m_queued.push_back(std::move(bytes)); }
    void PreloadInput(const Bytes& bytes) { m_input.insert(m_input.end(), bytes.begin(), bytes.end()); }

    bool IsOpen() const override { return m_bOpen; }
    void Purge(uint32_t dwFlags) override
    {
        Record(EOp::Purge, dwFlags);
        if ((dwFlags & PURGE_RXCLEAR) != 0)
            m_input.clear();
    }
    uint32_t Write(const void* pBuf, uint32_t dwCount) override
    {
        const auto* p = static_cast<const uint8_t*>(pBuf);
        Record(EOp::Write, dwCount, Bytes(p, p + dwCount));
        return dwCount;
    }
    void Flush() override { Record(EOp::Flush, 0); }
    uint32_t Read(void* pBuf, uint32_t dwCount) override
    {
        Record(EOp::Read, dwCount);
        if (!m_queued.empty())
            PreloadInput(m_queued.front()), m_queued.pop_front();
        const auto nGot = static_cast<uint32_t>(std::min<std::size_t>(dwCount, m_input.size()));
        std::copy_n(m_input.begin(), nGot, static_cast<uint8_t*>(pBuf));
        m_ops.back().bytes.assign(m_input.begin(), m_input.begin() + nGot);
        m_input.erase(m_input.begin(), m_input.begin() + nGot);
        if (nGot < dwCount && m_pClock != nullptr)
            m_pClock->AdvanceMs(50 * dwCount + 750);
        return nGot;
    }
    void SetBaudRate(uint32_t dwBaud) override
    {
        Record(EOp::SetBaud, dwBaud);
        m_dwBaud = dwBaud;
    }

    std::vector<Bytes> Writes() const
    {
        std::vector<Bytes> writes;
        for (const SOp& op : m_ops)
            if (op.op == EOp::Write)
                writes.push_back(op.bytes);
        return writes;
    }
    std::vector<EOp> Kinds() const
    {
        std::vector<EOp> kinds;
        for (const SOp& op : m_ops)
            kinds.push_back(op.op);
        return kinds;
    }

    bool m_bOpen = true;
    uint32_t m_dwBaud = 4800;
    std::function<void(EOp)> m_onOp; // called before each operation; may throw
    std::vector<SOp> m_ops;

private:
    void Record(EOp kind, uint32_t dwValue, Bytes bytes = {})
    {
        if (m_onOp)
            m_onOp(kind);
        m_ops.push_back({kind, dwValue, std::move(bytes)});
    }

    CFakeClock* m_pClock;
    std::deque<Bytes> m_queued;
    Bytes m_input;
};
