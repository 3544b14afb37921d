#pragma once
// Several units updated at once (-g): one unit session and one worker runner per port. The
// search runs on every port at the same time, each with the usual five passes over that port
// alone; each unit found then goes its own way through download and programming on its own
// worker and port, so one unit failing, vanishing or refusing never holds up another. The
// group is driven by COrlixDlg on the dialog's thread; units' messages carry their session's
// index (1..N).
#include "app/core/WorkerRunner.h"
#include "serial/SerInfo.h"
#include "target/workers/UnitSession.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CFirmwareImage;
struct SChipDef;

// The session index of the WM_WORKER_DONE that the wizard posts itself when a group step ends
// with no worker to wait for (no port to search, no port that opened).
inline constexpr unsigned GROUP_DONE_SESSION = 0xFFFFFFFFu;

// How a unit of the group ended.
enum class EUnitOutcome
{
    Running,
    Updated,
    PortError,      // its port could not be opened for the transfer
    DownloadFailed, // the kernel could not be downloaded
    ProgramFailed,  // erase, blank check, programming or the read-back failed
};

// Where one unit is in the transfer: its stage (0 download, else an EWorkerPhase) and how far
// through it (0..100).
struct SUnitProgress
{
    bool bRunning = false;
    int nStage = 0;
    int nPercent = 0;
};
// The transfer as one bar: the earliest stage a running unit is in, and the units' mean
// progress through it; a unit past that stage, or ended, counts as through. False when no unit
// runs.
bool CombineTransferProgress(const std::vector<SUnitProgress>& units, int& nStage, int& nPercent);

struct SGroupUnit
{
    SSerInfo port; // as the port list names it
    std::unique_ptr<CUnitSession> pSession;
    std::unique_ptr<CWorkerRunner> pRunner; // declared after the session: joined before it goes
    bool bBusy = false;                     // a worker of this unit runs
    EUnitOutcome outcome = EUnitOutcome::Running;
    // Seconds of the search and the download; the programming run's phases are the session's.
    std::vector<std::pair<std::string, double>> phases;
    std::chrono::steady_clock::time_point stepStart;
    int nPhase = 0;   // the EWorkerPhase shown last, 0 during download
    int nPercent = 0; // progress of that phase
};

class CUnitGroup
{
public:
    using PostFn = std::function<void(SWizardMessage)>;

    explicit CUnitGroup(PostFn post) : m_post(std::move(post)) {}
    ~CUnitGroup() { Stop(); }
    CUnitGroup(const CUnitGroup&) = delete;
    CUnitGroup& operator=(const CUnitGroup&) = delete;

    // Starts one search per port (sessions 1..N); false when there is no port to search.
    bool StartSearch(const std::vector<SSerInfo>& ports, const SChipDef& chip, const WorkerProc& search,
                     const CFirmwareImage& image);
    // After the search: keeps the units that answered, in list order; false when none did.
    bool KeepFound();
    // Opens each unit's port and starts its download; a unit whose port cannot be opened ends
    // with EUnitOutcome::PortError. The number of units started.
    std::size_t StartTransfer(const WorkerProc& download, const CFirmwareImage& image, bool bVerify);
    // A unit's WM_WORKER_DONE: a downloaded unit goes on to programming, any other ends. True
    // when, after it, no unit's worker runs any more.
    bool OnWorkerDone(unsigned nSession, const WorkerProc& program, const CFirmwareImage& image);
    // A unit's WM_WORKER_STATUS noted (phase and progress); the unit, or nullptr.
    const SGroupUnit* OnWorkerStatus(const SWizardMessage& msg);
    // Mean progress of the units' searches, 0..100.
    int SearchProgress() const;
    // The transfer as one bar (CombineTransferProgress over the units).
    bool TransferProgress(int& nStage, int& nPercent) const;

    // Tells every worker to stop and joins them (the program is ending).
    void Stop();
    bool IsBusy() const;
    bool OwnsSession(unsigned nSession) const
    {
        return nSession >= FIRST_SESSION && Find(nSession) != nullptr;
    }
    const std::vector<SGroupUnit>& Units() const { return m_units; }
    const SGroupUnit* Unit(unsigned nSession) const { return Find(nSession); }
    std::size_t CountUpdated() const;

    static constexpr unsigned FIRST_SESSION = 1;

private:
    SGroupUnit* Find(unsigned nSession);
    const SGroupUnit* Find(unsigned nSession) const;
    void Start(SGroupUnit& unit, EUnitStep step, const WorkerProc& proc, const CFirmwareImage& image);
    void EndStep(SGroupUnit& unit, const char* pszPhase);

    PostFn m_post;
    std::vector<SGroupUnit> m_units;
};
