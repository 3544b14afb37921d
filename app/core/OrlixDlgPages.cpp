// Page actions before the unit is contacted: welcome page, choice and check of the firmware
// file, firmware page and connect page.
#include "app/core/OrlixDlg.h"

#include "app/core/Texts.h"

#include <fstream>

namespace
{

constexpr const char* NO_VALUE = "---";

} // namespace

void COrlixDlg::ShowWelcomePage()
{
    for (int nPane = 0; nPane < 3; ++nPane)
    {
        m_view.SetStatusPane(nPane, std::string());
    }
    SetText(IDC_INFOLINE1, FormatText(::LoadText(113), {NO_VALUE, NO_VALUE}));
    SetFirmwareStatus(::LoadText(118), MSG_INFO);
    SetTextId(IDC_INFOLINE2, 108); // set directly: icon and sound stay as they are
    SetTextId(IDC_INFOLINE3, 109);
    SetTextId(IDC_ACTION, 103);
    ShowButtonRow(ROW_ACTION);
}

int COrlixDlg::ChooseFirmwareFile()
{
    if (!m_strCmdLineFile.empty())
    {
        // Only a test that the path can be opened; every attempt tests the same path again.
        std::ifstream file(m_strCmdLineFile, std::ios::binary);
        if (!file.is_open())
        {
            MessageBox(PATH_MISSING_TEXT, EMsgBoxIcon::Exclamation);
            return 0;
        }
        m_strFirmwareFile = m_strCmdLineFile;
        return 1;
    }

    std::string strPath;
    if (!m_view.OpenFileDialog(m_strFirmwareFile, FIRMWARE_FILE_FILTER, strPath))
    {
        return 0;
    }
    m_strFirmwareFile = strPath;
    return 1;
}

int COrlixDlg::LoadFirmware()
{
    if (ChooseFirmwareFile() == 0)
    {
        return 0;
    }
    m_view.SetStatusPane(0, m_strFirmwareFile);

    m_view.BeginWaitCursor();
    const int nCode = m_image.Load(m_strFirmwareFile);
    m_view.EndWaitCursor();

    switch (nCode)
    {
    case LOAD_OK:
        break;
    case LOAD_CANNOT_OPEN:
    case LOAD_CANNOT_SEEK:
        SetMessage(143, MSG_WARNING);
        return 0;
    case LOAD_CORRUPT:
        SetMessage(142, MSG_WARNING);
        return 0;
    default:
        SetMessage(144, MSG_WARNING);
        return 0;
    }

    if (!m_chip.SelectChip(m_image.GetProcessor()))
    {
        SetMessage(120, MSG_WARNING);
        return 0;
    }

    const std::string strName = m_image.GetName();
    m_view.SetStatusPane(1, strName);
    SetText(IDC_INFOLINE1, FormatText(::LoadText(113), {strName, m_image.GetVersion()}));
    SetFirmwareStatus(FormatText(::LoadText(119), {strName}), MSG_WARNING);
    return 1;
}

void COrlixDlg::ShowFirmwarePage()
{
    SetMessage(122, MSG_WARNING);
    SetTextId(IDC_INFOLINE3, 112);
    SetTextId(IDC_ACTION, 111);
    ShowButtonRow(ROW_ACTION);
}

void COrlixDlg::ShowConnectPage()
{
    m_bNotFoundPage = false;
    SetMessage(123, MSG_INFO);
    SetTextId(IDC_INFOLINE3, 124);
    ShowButtonRow(ROW_ACTION);
    SetTextId(IDC_ACTION, 104);
}
