#pragma once
// The three long operations of an update, each run on a worker thread: find the port on which
// a boot ROM answers, download the flash kernel, and erase, check and program the flash. A
// worker works on its unit's session, reads the image, and reaches the wizard only through
// IWorkerHost: it posts WM_WORKER_STATUS messages (progress, the port tried, the phase),
// writes its result into the session, and posts WM_WORKER_DONE as its last act.
//
// Every worker ends that way whatever happens: a port that throws (adapter unplugged, driver
// failure, a read interrupted by a closing dialog), a failing port enumeration, or a stop
// request all end in a failure result followed by exactly one WM_WORKER_DONE. No exception
// leaves a worker.
#include <cstdint>

class CFirmwareImage;
class CUnitSession;
class IWorkerHost;

// Search: rebuilds the port list and tries each port up to five times in list order.
// Result: the session's current port on the record that answered (lParam 1), or null (0).
unsigned SearchDeviceThread(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host);

// Download, on the port the wizard opened: synchronise once, send the kernel up to five
// times, switch to the kernel's speed. Result: the session's m_bDownloadOk.
unsigned DownloadKernelThread(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host);

// Programming, on the port left open by the download: ping, erase, blank-check, then every
// non-blank block of the image. Result: the session's m_nProgramResult, a KernelResult.
unsigned ProgramFlashThread(CUnitSession& session, const CFirmwareImage& image, IWorkerHost& host);

// Progress of the programming step for the block at dwAddress of the range dwLow..dwHigh:
// (dwAddress - dwLow) * 100 / (dwHigh - dwLow + 1) with integer division. Computed wide, so a
// range spanning the whole 32-bit space (whose size wraps to 0) or one larger than 42 MB
// (whose product would wrap) still gives 0..99; identical to the 32-bit formula otherwise.
uint32_t ProgramProgress(uint32_t dwAddress, uint32_t dwLow, uint32_t dwHigh);

// Search passes over the port list and kernel download attempts.
inline constexpr unsigned SEARCH_PASSES = 5;
inline constexpr unsigned DOWNLOAD_ATTEMPTS = 5;
