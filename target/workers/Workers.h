#pragma once
// The three long operations of an update, each run on a worker thread that the dialog owns:
// find the port on which a boot ROM answers, download the flash kernel, and erase, check and
// program the flash. A worker reaches the dialog only through IWorkerHost: it posts
// WM_WORKER_STATUS messages, writes its result, and posts WM_WORKER_DONE as its last act.
//
// Every worker ends that way whatever happens: a port that throws (adapter unplugged, driver
// failure, a read interrupted by a closing dialog), a failing port enumeration, or a stop
// request all end in a failure result followed by exactly one WM_WORKER_DONE. No exception
// leaves a worker.
#include <cstdint>

class IWorkerHost;

// Search: rebuilds the port list and tries each port up to five times in list order.
// Result: the current port on the record that answered (lParam 1), or null (lParam 0).
unsigned SearchDeviceThread(IWorkerHost* pHost);

// Download, on the port the dialog opened: synchronise once, send the kernel up to five
// times, switch to the kernel's speed. Result: SetDownloadOk(1) or SetDownloadOk(0).
unsigned DownloadKernelThread(IWorkerHost* pHost);

// Programming, on the port left open by the download: ping, erase, blank-check, then every
// non-blank 512-byte block of the image. Result: SetProgramResult with a KernelResult.
unsigned ProgramFlashThread(IWorkerHost* pHost);

// Progress of the programming step for the block at dwAddress of the range dwLow..dwHigh:
// (dwAddress - dwLow) * 100 / (dwHigh - dwLow + 1) with integer division. Computed wide, so a
// range spanning the whole 32-bit space (whose size wraps to 0) or one larger than 42 MB
// (whose product would wrap) still gives 0..99; identical to the 32-bit formula otherwise.
uint32_t ProgramProgress(uint32_t dwAddress, uint32_t dwLow, uint32_t dwHigh);

// Search passes over the port list and kernel download attempts.
inline constexpr unsigned SEARCH_PASSES = 5;
inline constexpr unsigned DOWNLOAD_ATTEMPTS = 5;
// Block size of the programming step.
inline constexpr uint32_t PROGRAM_BLOCK_SIZE = 512;
// Text ids of the programming phases.
inline constexpr unsigned IDS_PHASE_ERASE = 138;
inline constexpr unsigned IDS_PHASE_BLANK_CHECK = 139;
inline constexpr unsigned IDS_PHASE_PROGRAM = 140;
