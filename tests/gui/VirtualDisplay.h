#pragma once
// A private X server (Xvfb) for tests of the window, started when DISPLAY is not set, so the
// tests run the same under ctest, under xvfb-run and on a desktop.
#include <sys/types.h>

#include <string>

class CVirtualDisplay
{
public:
    CVirtualDisplay() = default;
    CVirtualDisplay(const CVirtualDisplay&) = delete;
    CVirtualDisplay& operator=(const CVirtualDisplay&) = delete;
    ~CVirtualDisplay();

    // Leaves an existing DISPLAY alone; otherwise starts Xvfb on a free display number and
    // sets DISPLAY. False with strError when there is no display and none could be started.
    bool Ensure(std::string& strError);
    void Stop();

private:
    pid_t m_pid = -1;
};
