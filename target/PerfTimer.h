#pragma once
// Stopwatch on a high-resolution counter, reporting milliseconds as a double.
// The cost of an empty Start/Stop pair is measured on the timer's own clock when the timer is
// made and taken off every measurement: the program runs on a clock of its own (one whose
// waits can be cancelled), so a cost measured on some other clock would not apply.
#include "target/ProtocolClock.h"

#include <cstdint>

class CPerfTimer
{
public:
    explicit CPerfTimer(bool bStartNow = false, IProtocolClock* pClock = &SystemClock());
    CPerfTimer(const CPerfTimer& other);
    CPerfTimer& operator=(const CPerfTimer& other);
    virtual ~CPerfTimer() = default;

    // bReset true: a new measurement from zero. bReset false: a stopped timer resumes with the
    // time it accumulated; a running one starts anew.
    void Start(bool bReset = false);
    // Stops a running timer, keeping the time accumulated; a stopped timer stays as it is.
    void Stop();
    // Time accumulated, never negative; a running timer goes on running.
    double ElapsedMilliseconds() const;

    bool IsRunning() const;

    // The counter frequency in use (never 0) and the start/stop cost taken off, in ticks.
    int64_t Frequency() const { return m_nFrequency; }
    int64_t Overhead() const { return m_nOverhead; }

protected:
    // Called around every read or change of the count; derived classes may lock here.
    virtual void BeginAccess() const {}
    virtual void EndAccess() const {}

private:
    int64_t MeasureOverhead();

    IProtocolClock* m_pClock;
    int64_t m_nFrequency;
    int64_t m_nOverhead;
    // Running: the counter at the start less the ticks accumulated before a resume.
    // Stopped: minus the ticks accumulated (0: nothing).
    int64_t m_nCount = 0;
    bool m_bRunning = false;
};
