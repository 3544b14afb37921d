#include "tests/gui/GuiTestUtil.h"

#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <set>

bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        if (wxEventLoopBase* pLoop = wxEventLoopBase::GetActive())
        {
            pLoop->YieldFor(wxEVT_CATEGORY_ALL);
        }
        if (pred())
        {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
        {
            return pred();
        }
        wxMilliSleep(5);
    }
}

void PumpFor(std::chrono::milliseconds duration)
{
    PumpUntil([] { return false; }, duration);
}

namespace
{
wxImage CaptureNow(wxWindow* pWnd)
{
    // From the window itself: a screen DC on GTK 3 keeps serving its first snapshot.
    const wxSize size = pWnd->GetClientSize();
    wxBitmap bitmap(size);
    {
        wxClientDC window(pWnd);
        wxMemoryDC memory(bitmap);
        memory.Blit(0, 0, size.x, size.y, &window, 0, 0);
    }
    return bitmap.ConvertToImage();
}
} // namespace

wxImage CaptureClientArea(wxWindow* pWnd, bool bRepaint)
{
    if (!bRepaint)
    {
        return CaptureNow(pWnd);
    }
    pWnd->Refresh();
    pWnd->Update();
    PumpFor(150ms);
    // A busy machine may take a while to map and paint a new window.
    wxImage image = CaptureNow(pWnd);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (CountColours(image) < 32 && std::chrono::steady_clock::now() < deadline)
    {
        PumpFor(100ms);
        image = CaptureNow(pWnd);
    }
    return image;
}

std::string CheckAndSaveShot(wxWindow* pWnd, const wxImage& image, const std::string& strName)
{
    if (!image.IsOk())
    {
        return strName + ": no image";
    }
    const wxSize client = pWnd->GetClientSize();
    if (image.GetWidth() != client.x || image.GetHeight() != client.y)
    {
        return strName + ": " + std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) +
               " instead of the client area " + std::to_string(client.x) + "x" + std::to_string(client.y);
    }
    // Banner gradient, texts, buttons: a drawn page has dozens of colours.
    const int nColours = CountColours(image);
    if (nColours < 32)
    {
        return strName + ": looks blank (" + std::to_string(nColours) + " colours)";
    }
    const std::string strPath = ScreenshotDir() + "/" + strName + ".png";
    if (!image.SaveFile(strPath, wxBITMAP_TYPE_PNG))
    {
        return strName + ": cannot save " + strPath;
    }
    return {};
}

CPtyPort::CPtyPort()
{
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster >= 0 && grantpt(m_nMaster) == 0 && unlockpt(m_nMaster) == 0)
    {
        char buf[128];
        if (ptsname_r(m_nMaster, buf, sizeof buf) == 0)
        {
            m_strSlave = buf;
        }
    }
}

CPtyPort::~CPtyPort()
{
    if (m_nMaster >= 0)
    {
        close(m_nMaster);
    }
}

int CountColours(const wxImage& image, int nLimit)
{
    if (!image.IsOk())
    {
        return 0;
    }
    std::set<uint32_t> colours;
    const unsigned char* pData = image.GetData();
    const size_t nPixels = static_cast<size_t>(image.GetWidth()) * static_cast<size_t>(image.GetHeight());
    for (size_t i = 0; i < nPixels && colours.size() < static_cast<size_t>(nLimit); ++i)
    {
        colours.insert((static_cast<uint32_t>(pData[3 * i]) << 16) |
                       (static_cast<uint32_t>(pData[3 * i + 1]) << 8) | pData[3 * i + 2]);
    }
    return static_cast<int>(colours.size());
}

std::string ScreenshotDir()
{
    const std::string strDir = ORLIX_SCREENSHOT_DIR;
    std::filesystem::create_directories(strDir);
    return strDir;
}

void CGate::Open()
{
    {
        std::lock_guard lock(m_mutex);
        m_bOpen = true;
    }
    m_cv.notify_all();
}

void CGate::Wait(IWorkerHost* pHost)
{
    std::unique_lock lock(m_mutex);
    while (!m_bOpen && !pHost->StopRequested())
    {
        m_cv.wait_for(lock, 20ms);
    }
}

SWorkerProcs ScriptedProcs(SScriptedUnit& unit)
{
    SWorkerProcs procs;
    procs.search = [&unit](IWorkerHost* pHost) -> unsigned
    {
        ++unit.nSearches;
        pHost->Ports().clear();
        SSerInfo info;
        info.devicePath = unit.strPortPath;
        info.shortName = "test0";
        info.friendlyName = unit.strPortName;
        pHost->Ports().push_back(info);
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, unit.strPortName});
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, unit.nSearchProgress, {}});
        unit.searchGate.Wait(pHost);
        pHost->SetCurrentPort(unit.bFound ? &pHost->Ports().front() : nullptr);
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, unit.bFound ? 1 : 0, {}});
        return 0;
    };
    procs.download = [](IWorkerHost* pHost) -> unsigned
    {
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, 100, {}});
        pHost->SetDownloadOk(1);
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
        return 0;
    };
    procs.program = [&unit](IWorkerHost* pHost) -> unsigned
    {
        ++unit.nProgramRuns;
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_STATUS, STATUS_INFOLINE3, 0, pHost->LoadText(140)});
        pHost->PostWorkerMessage(
            SWizardMessage{WM_WORKER_STATUS, STATUS_PROGRESS, unit.nProgramProgress, {}});
        unit.programGate.Wait(pHost);
        pHost->SetProgramResult(unit.nProgramResult);
        pHost->PostWorkerMessage(SWizardMessage{WM_WORKER_DONE, 0, 0, {}});
        return 0;
    };
    return procs;
}

CTestWizardDialog::CTestWizardDialog(const std::string& strCmdLine, std::optional<SWorkerProcs> procs)
    : CWizardDialog(strCmdLine, "orlix", std::move(procs))
{
}

void CTestWizardDialog::DoMessageBox(const wxString& strText, const wxString&, long nStyle)
{
    m_messageBoxes.push_back(strText);
    m_messageBoxStyles.push_back(nStyle);
    if (m_onMessageBox)
    {
        m_onMessageBox();
    }
}

bool CTestWizardDialog::DoOpenFileDialog(const wxString& strInitialPath, const wxString& strWildcard,
                                         wxString& strPath)
{
    ++m_nFileDialogs;
    m_strFileDialogInitial = strInitialPath;
    m_strFileDialogWildcard = strWildcard;
    if (m_strNextFile.empty())
    {
        return false;
    }
    strPath = m_strNextFile;
    return true;
}

void CTestWizardDialog::SetControlText(int nId, const std::string& strText)
{
    m_textLog.emplace_back(nId, strText);
    CWizardDialog::SetControlText(nId, strText);
}

void CTestWizardDialog::Pause(uint32_t dwMilliseconds)
{
    if (m_onPause)
    {
        m_onPause(dwMilliseconds);
    }
    else
    {
        CWizardDialog::Pause(dwMilliseconds);
    }
}

namespace
{
std::string S2Line(uint32_t dwAddress, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size() + 4),
                                  static_cast<uint8_t>(dwAddress >> 16), static_cast<uint8_t>(dwAddress >> 8),
                                  static_cast<uint8_t>(dwAddress)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned nSum = 0;
    for (const uint8_t b : bytes)
    {
        nSum += b;
    }
    bytes.push_back(static_cast<uint8_t>(~nSum));
    static const char HEX[] = "0123456789ABCDEF";
    std::string strLine = "S2";
    for (const uint8_t b : bytes)
    {
        strLine += HEX[b >> 4];
        strLine += HEX[b & 15];
    }
    return strLine + "\n";
}
} // namespace

std::string FirmwareText(const std::string& strProcessor, const std::string& strName,
                         const std::string& strVersion)
{
    std::vector<uint8_t> ident(48, 0);
    auto put = [&ident](size_t nOffset, const std::string& str)
    {
        for (size_t i = 0; i < str.size() && i < 16; ++i)
        {
            ident[nOffset + i] = static_cast<uint8_t>(str[i]);
        }
    };
    put(0, strProcessor);
    put(16, strVersion);
    put(32, strName);
    std::string strText = "S0030000FC\n";
    strText += S2Line(0xF80000, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0});
    for (uint32_t i = 0; i < 48; i += 16)
    {
        strText += S2Line(0xFF8000 + i, std::vector<uint8_t>(ident.begin() + i, ident.begin() + i + 16));
    }
    return strText + "S804000000FB\n";
}

std::string LabelOf(CWizardDialog& dlg, int nId)
{
    wxWindow* pWnd = dlg.GetControl(nId);
    if (pWnd == nullptr)
    {
        return "<no control>";
    }
    if (auto* pText = dynamic_cast<wxStaticText*>(pWnd))
    {
        return pText->GetLabelText().utf8_string();
    }
    return pWnd->GetLabel().utf8_string();
}

bool IsShownCtl(CWizardDialog& dlg, int nId)
{
    wxWindow* pWnd = dlg.GetControl(nId);
    return pWnd != nullptr && pWnd->IsShown();
}
