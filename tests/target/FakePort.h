#pragma once
// A scripted serial port for byte-exact protocol tests. It records every operation, and
// serves input like a real line: bytes queued with QueueRead arrive when the next Read
// starts, bytes given to PreloadInput are already waiting (stale input), and Purge drops
// what has arrived. A Read that gets fewer bytes than asked waits out the read time-out on
// the fake clock (50 ms per byte plus 750 ms, unless SetShortReadMs says otherwise).
// Not thread-safe: one test thread drives it.
#include "FakeClock.h"
#include "serial/SerialIo.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

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

    // --- script ---
    void QueueRead(Bytes bytes) { m_queued.push_back(std::move(bytes)); }
    void QueueSilence(int nReads = 1)
    {
        for (int i = 0; i < nReads; ++i)
        {
            m_queued.emplace_back();
        }
    }
    void PreloadInput(const Bytes& bytes) { m_input.insert(m_input.end(), bytes.begin(), bytes.end()); }
    void SetShortReadMs(uint32_t dwMs) { m_shortReadMs = dwMs; }
    bool m_bOpen = true;
    // Called before each operation is carried out; may throw to model a failing line.
    std::function<void(EOp)> m_onOp;

    // --- ISerialIo ---
    bool IsOpen() const override { return m_bOpen; }
    void Purge(uint32_t dwFlags) override
    {
        Record(EOp::Purge, dwFlags, {});
        if ((dwFlags & PURGE_RXCLEAR) != 0)
        {
            m_input.clear();
        }
    }
    uint32_t Write(const void* pBuf, uint32_t dwCount) override
    {
        const auto* p = static_cast<const uint8_t*>(pBuf);
        Record(EOp::Write, dwCount, Bytes(p, p + dwCount));
        return dwCount;
    }
    void Flush() override { Record(EOp::Flush, 0, {}); }
    uint32_t Read(void* pBuf, uint32_t dwCount) override
    {
        if (m_onOp)
        {
            m_onOp(EOp::Read);
        }
        if (!m_queued.empty())
        {
            PreloadInput(m_queued.front());
            m_queued.pop_front();
        }
        const auto nGot = static_cast<uint32_t>(std::min<std::size_t>(dwCount, m_input.size()));
        std::copy_n(m_input.begin(), nGot, static_cast<uint8_t*>(pBuf));
        m_ops.push_back({EOp::Read, dwCount, Bytes(m_input.begin(), m_input.begin() + nGot)});
        m_input.erase(m_input.begin(), m_input.begin() + nGot);
        if (nGot < dwCount && m_pClock != nullptr)
        {
            m_pClock->AdvanceMs(m_shortReadMs.value_or(50 * dwCount + 750));
        }
        return nGot;
    }
    void SetBaudRate(uint32_t dwBaud) override
    {
        Record(EOp::SetBaud, dwBaud, {});
        m_dwBaud = dwBaud;
    }

    // --- inspection ---
    std::vector<SOp> m_ops;
    uint32_t m_dwBaud = 4800;

    std::vector<Bytes> Writes() const
    {
        std::vector<Bytes> writes;
        for (const SOp& op : m_ops)
        {
            if (op.op == EOp::Write)
            {
                writes.push_back(op.bytes);
            }
        }
        return writes;
    }
    std::vector<EOp> Kinds() const
    {
        std::vector<EOp> kinds;
        for (const SOp& op : m_ops)
        {
            kinds.push_back(op.op);
        }
        return kinds;
    }
    std::size_t Count(EOp kind) const
    {
        return static_cast<std::size_t>(
            std::count_if(m_ops.begin(), m_ops.end(), [kind](const SOp& op) { return op.op == kind; }));
    }
    std::size_t PendingInput() const { return m_input.size(); }
    std::size_t UnusedScript() const { return m_queued.size(); }

private:
    void Record(EOp kind, uint32_t dwValue, Bytes bytes)
    {
        if (m_onOp)
        {
            m_onOp(kind);
        }
        m_ops.push_back({kind, dwValue, std::move(bytes)});
    }

    CFakeClock* m_pClock;
    std::deque<Bytes> m_queued;
    Bytes m_input;
    std::optional<uint32_t> m_shortReadMs;
};
