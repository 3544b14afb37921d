#pragma once
// A private X server (Xvfb) for tests of the window. Every test process gets its own, so tests
// running in parallel never cover each other's windows, and a desktop's window manager never
// moves or decorates them; only without Xvfb does an existing DISPLAY serve.
#include <sys/types.h>

#include <string>

class CVirtualDisplay
{
public:
    CVirtualDisplay() = default;
    CVirtualDisplay(const CVirtualDisplay&) = delete;
    CVirtualDisplay& operator=(const CVirtualDisplay&) = delete;
    ~CVirtualDisplay();

    // Starts Xvfb on a free display number and sets DISPLAY. Without Xvfb an existing DISPLAY
    // is kept; false with strError when there is neither.
    bool Ensure(std::string& strError);
    void Stop();

private:
    pid_t m_pid = -1;
};
