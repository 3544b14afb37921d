#pragma once
// The wizard with a recording view, scripted workers and a fake port: no unit, no real waits.
#include "app/core/CommandLine.h"
#include "app/core/OrlixDlg.h"
#include "app/core/Texts.h"
#include "tests/support/TestSupport.h"
#include "tests/workers/FakeUnit.h"
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>

// A code record and the identification block (processor, version, name; 16 bytes each).
inline std::string FirmwareText(const std::string& strCpu, const std::string& strName,
                                const std::string& strVer)
{
    std::vector<uint8_t> ident(48, 0), code(32, 0x5A);
    for (std::size_t i = 0; i < 48; ++i)
        if (const std::string& s = i < 16 ? strCpu : (i < 32 ? strVer : strName); i % 16 < s.size())
            ident[i] = static_cast<uint8_t>(s[i % 16]);
    return SRecord(0, 0, {'t'}) + "\n" + SRecordRun(0xF80000, code) + SRecordRun(0xFF8000, ident) +
           SRecord(8, 0xF80000) + "\n";
}

// Records every call as "<kind> <id> <value>" in order.
class CFakeView : public IWizardView
{
public:
    void SetControlText(int nId, const std::string& s) override { Set("text", nId, s); }
    void SetControlIcon(int nId, EViewIcon icon) override { Set("icon", nId, std::to_string(int(icon))); }
    void ShowControl(int nId, bool bShow) override { Set("show", nId, bShow ? "1" : "0"); }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int nPos) override { Set("pos", 0, std::to_string(nPos)); }
    void PlaySound(EViewSound e) override { Set("sound", 0, e == EViewSound::Exclamation ? "!" : "i"); }
    void MessageBox(const std::string& s, const std::string& strCaption, EMsgBoxIcon icon) override
    {
        Set("box", 0, (icon == EMsgBoxIcon::Exclamation ? "(!) " : "(i) ") + strCaption + ": " + s);
    }
    // Answers with the next of m_fileAnswers; none left: cancel.
    bool OpenFileDialog(const std::string& strInitial, const std::string& strFilter,
                        std::string& strPath) override
    {
        Set("filedialog", 0, strInitial + "|" + strFilter);
        if (m_fileAnswers.empty())
            return false;
        strPath = m_fileAnswers.front();
        m_fileAnswers.pop_front();
        return true;
    }
    void BeginWaitCursor() override { ++m_nWaitCursor; }
    void EndWaitCursor() override { --m_nWaitCursor; }
    void SetStatusPane(int nPane, const std::string& s) override { Set("pane", nPane, s); }
    void PostWizardMessage(SWizardMessage msg) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(msg));
        m_cv.notify_all();
    }
    // With the page at that moment: "<ms> <row> <bar position> <message>|<detail>".
    void Pause(uint32_t dwMs) override
    {
        Set("pause", 0,
            std::to_string(dwMs) + " " + Row() + " " + Get("pos") + " " + Text(IDC_INFOLINE2) + "|" +
                Text(IDC_INFOLINE3));
    }
    void EndDialog() override { Set("enddialog", 0, ""); }

    // Hands queued messages to the dialog until none is queued and no worker runs (or until bUntil).
    bool Pump(COrlixDlg& dlg, const std::function<bool()>& bUntil = {})
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;)
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (bUntil ? bUntil() : m_queue.empty() && (!dlg.IsBusy() || dlg.IsClosed()))
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (!m_cv.wait_for(lock, std::chrono::milliseconds(1), [this] { return !m_queue.empty(); }))
                continue;
            SWizardMessage msg = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            dlg.HandleMessage(msg);
        }
    }

    void Set(const std::string& strKind, int nId, const std::string& s)
    {
        m_log.push_back(strKind + " " + std::to_string(nId) + " " + s);
    }
    // The values set by the calls of one kind for one id, from log entry nFrom on.
    std::vector<std::string> Calls(const std::string& strKind, std::size_t nFrom = 0, int nId = 0) const
    {
        const std::string strPrefix = strKind + " " + std::to_string(nId) + " ";
        std::vector<std::string> calls;
        for (std::size_t i = nFrom; i < m_log.size(); ++i)
            if (m_log[i].rfind(strPrefix, 0) == 0)
                calls.push_back(m_log[i].substr(strPrefix.size()));
        return calls;
    }
    std::string Get(const std::string& strKind, int nId = 0) const
    {
        const std::vector<std::string> calls = Calls(strKind, 0, nId);
        return calls.empty() ? "" : calls.back();
    }
    std::string Text(int nId) const { return Get("text", nId); }
    EViewIcon Icon(int nId) const { return EViewIcon(std::stoi("0" + Get("icon", nId))); }
    // The visible bottom controls: "P" progress bar, "A" action button, "YN" yes and no.
    std::string Row() const
    {
        std::string str;
        for (const auto& [nId, psz] :
             {std::pair{IDC_PROGRESS, "P"}, {IDC_ACTION, "A"}, {IDC_YES, "Y"}, {IDC_NO, "N"}})
            str += Get("show", nId) != "0" ? psz : "";
        return str;
    }

    std::deque<std::string> m_fileAnswers;
    std::vector<std::string> m_log;
    int m_nWaitCursor = 0;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<SWizardMessage> m_queue;
};

// What the fake workers report, call by call; an exhausted list gives the default.
struct SFakeUnit
{
    std::mutex mutex;
    std::deque<bool> found, downloadOk, openOk; // default true
    std::deque<int> programResult;              // default 0
    std::vector<SPortProbeFailure> probeFailures;
    std::atomic<int> nSearches{0}, nDownloads{0}, nPrograms{0};
    std::function<void(CUnitSession&, IWorkerHost&)> onSearch, onProgram; // run before the result
    CFakeLine* pLine = nullptr;                                           // of the dialog made last
    template <typename T> T Next(std::deque<T>& values, T def)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (values.empty())
            return def;
        const T value = values.front();
        values.pop_front();
        return value;
    }
};

inline void Post(IWorkerHost& h, unsigned nMsg, uintptr_t w, intptr_t l, std::string s = {})
{
    h.PostWorkerMessage(SWizardMessage{nMsg, w, l, std::move(s)});
}

inline SWorkerProcs MakeFakeWorkers(std::shared_ptr<SFakeUnit> p)
{
    SWorkerProcs procs;
    procs.search = [p](CUnitSession& s, const CFirmwareImage&, IWorkerHost& h) -> unsigned
    {
        if (++p->nSearches; p->onSearch)
            p->onSearch(s, h);
        s.UpdatePortList();
        Post(h, WM_WORKER_STATUS, STATUS_PROGRESS, 20);
        Post(h, WM_WORKER_STATUS, STATUS_INFOLINE3, 0, s.Ports().at(0).friendlyName);
        const bool bFound = p->Next(p->found, true);
        s.SetCurrentPort(bFound ? &s.Ports()[0] : nullptr);
        Post(h, WM_WORKER_DONE, 0, bFound);
        return 0;
    };
    procs.download = [p](CUnitSession& s, const CFirmwareImage&, IWorkerHost& h) -> unsigned
    {
        ++p->nDownloads;
        Post(h, WM_WORKER_STATUS, STATUS_PROGRESS, 20);
        s.m_bDownloadOk = p->Next(p->downloadOk, true);
        Post(h, WM_WORKER_DONE, 0, 0);
        return 0;
    };
    procs.program = [p](CUnitSession& s, const CFirmwareImage& image, IWorkerHost& h) -> unsigned
    {
        if (++p->nPrograms; p->onProgram)
            p->onProgram(s, h);
        EXPECT_TRUE(image.IsLoaded()) << "the wizard hands over its image";
        for (int nPhase : {PHASE_ERASE, PHASE_BLANK_CHECK, PHASE_PROGRAM})
            Post(h, WM_WORKER_STATUS, STATUS_PHASE, nPhase), Post(h, WM_WORKER_STATUS, STATUS_PROGRESS, 50);
        s.m_nProgramResult = p->Next(p->programResult, 0);
        Post(h, WM_WORKER_DONE, 0, 0);
        return 0;
    };
    return procs;
}

// The wizard with the fake workers on a fake line of one port, "/dev/ttyFAKE0".
inline std::unique_ptr<COrlixDlg> MakeTestDlg(IWizardView& view, const std::shared_ptr<SFakeUnit>& pUnit)
{
    auto pLine = std::make_unique<CFakeLine>();
    pLine->AddPort("ttyFAKE0");
    pLine->m_openOk = pUnit->openOk;
    pLine->m_failures = pUnit->probeFailures;
    pUnit->pLine = pLine.get();
    auto pDlg = std::make_unique<COrlixDlg>(view, MakeFakeWorkers(pUnit), std::move(pLine));
    pDlg->SetAppName("orlix-test");
    return pDlg;
}

class WizardFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectTextLanguage(ETextLanguage::English);
        WriteFileText(m_strFirmware, FirmwareText("MB90F345", "Analyzer AX-7", "V2.14.0"));
    }
    void Make(const std::string& strCmdLine = {})
    {
        m_pDlg.reset(); // the worker ends before the fakes it uses are replaced
        m_pDlg = MakeTestDlg(m_view, m_pUnit);
        m_pDlg->ParseCommandLine(strCmdLine);
    }
    void Start()
    {
        m_pDlg->OnInitDialog();
        Pump();
    }
    void Pump() { ASSERT_TRUE(m_view.Pump(*m_pDlg)) << "a worker did not end"; }
    // Clicks A(ction), Y(es), N(o), C(lose request) or E(nd request) in order; keeps the row each
    // one waited with.
    void Click(const char* psz)
    {
        for (; *psz != '\0'; ++psz)
        {
            m_strRowBefore = m_view.Row();
            EXPECT_TRUE(*psz != 'C' || m_pDlg->OnClose()) << "closing was refused";
            EXPECT_TRUE(*psz != 'E' || !m_pDlg->OnEndRequest()) << "no worker ran";
            *psz == 'A'   ? m_pDlg->OnActionButton()
            : *psz == 'Y' ? m_pDlg->OnYesButton()
            : *psz == 'N' ? m_pDlg->OnNoButton()
                          : void();
            if (psz[1] != 'E') // an end request comes while the worker just started runs
                Pump();
        }
    }
    // Firmware from the command line; welcome page, "Start": the connect page.
    void ToConnectPage(const std::string& strOptions = {})
    {
        Make("-f:" + m_strFirmware + " " + strOptions);
        Start();
        Click(State() == STATE_WELCOME ? "A" : "");
        ASSERT_EQ(State(), STATE_SEARCH);
    }
    int State() const { return m_pDlg->GetState(); }
    std::string Message() const { return m_view.Text(IDC_INFOLINE2); }
    std::string Detail() const { return m_view.Text(IDC_INFOLINE3); }
    std::string Caption() const { return m_view.Text(IDC_ACTION); }
    static std::string T(unsigned nId) { return LoadText(nId, ETextLanguage::English); }

    CTempDir m_dir;
    std::string m_strFirmware = m_dir.File("fw.mhx");
    CFakeView m_view; // outlives the dialog
    std::shared_ptr<SFakeUnit> m_pUnit = std::make_shared<SFakeUnit>();
    std::unique_ptr<COrlixDlg> m_pDlg;
    std::string m_strRowBefore;
};
