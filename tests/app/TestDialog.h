#pragma once
// The wizard dialog with fake workers and a fake port, for state-machine tests: each worker
// runs on the dialog's own thread machinery but only posts the result the script chose.
#include "app/core/OrlixDlg.h"
#include "tests/app/FakeView.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What the fake workers do, call by call; an exhausted list repeats the default.
struct SFakeUnit
{
    std::mutex mutex;
    std::deque<bool> found;                       // per search; default true
    std::deque<bool> downloadOk;                  // per download; default true
    std::deque<int> programResult;                // per programming run; default 0
    std::deque<bool> openOk;                      // per OpenPort from the dialog; default true
    std::vector<SPortProbeFailure> probeFailures; // left by each port-list update
    std::atomic<int> nSearches{0};
    std::atomic<int> nDownloads{0};
    std::atomic<int> nPrograms{0};
    // Called inside a worker before it posts anything (e.g. to throw or to wait).
    std::function<void(IWorkerHost*)> onSearch;
    std::function<void(IWorkerHost*)> onDownload;
    std::function<void(IWorkerHost*)> onProgram;
    // false: that worker ends without WM_WORKER_DONE
    bool bSearchPostsDone = true;
    bool bDownloadPostsDone = true;
    bool bProgramPostsDone = true;

    template <typename T> T Next(std::deque<T>& values, T def)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (values.empty())
        {
            return def;
        }
        T value = values.front();
        values.pop_front();
        return value;
    }
};

SWorkerProcs MakeFakeWorkers(std::shared_ptr<SFakeUnit> pUnit);

class CTestDlg : public COrlixDlg
{
public:
    // pLog: where port calls are logged beside the view's calls (may be null).
    CTestDlg(IWizardView& view, std::shared_ptr<SFakeUnit> pUnit, std::vector<std::string>* pLog);
    CTestDlg(CFakeView& view, std::shared_ptr<SFakeUnit> pUnit);
    ~CTestDlg() override { StopWorker(); }
    CTestDlg(const CTestDlg&) = delete;
    CTestDlg& operator=(const CTestDlg&) = delete;

    bool OpenPort() override;
    void ClosePort() override;
    void UpdatePortList() override;

    bool IsPortOpen() const { return m_bPortOpen; }
    int OpenCount() const { return m_nOpens; }
    int CloseCount() const { return m_nCloses; }

private:
    std::vector<std::string>* m_pLog;
    std::shared_ptr<SFakeUnit> m_pUnit;
    bool m_bPortOpen = false;
    int m_nOpens = 0;
    int m_nCloses = 0;
};
