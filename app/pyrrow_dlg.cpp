#include "app/pyrrow_dlg.h"

#include "app/prikazovy_radek.h"
#include "platform/serial_ports.h"
#include "platform/thread.h"
#include "res/resource.h"

namespace platform = pyrrow::platform;
using platform::DialogEvent;

namespace {

using Entry = platform::MessageMapEntry<CPyrrowDlg>;

const Entry kMessageMap[] = {
    {DialogEvent::Command, IDC_BROWSE, &CPyrrowDlg::OnBnClickedBrowse},
    {DialogEvent::Command, IDOK, &CPyrrowDlg::StartUpload},
    {DialogEvent::Close, 0, &CPyrrowDlg::OnClose},
    {DialogEvent::Command, IDC_REFRESH, &CPyrrowDlg::OnBnClickedRefresh},
    {DialogEvent::Destroy, 0, &CPyrrowDlg::OnDestroy},
    {DialogEvent::Command, IDC_RADIO_SERIAL, &CPyrrowDlg::OnBnClickedSerial},
    {DialogEvent::Command, IDC_RADIO_TCP, &CPyrrowDlg::OnBnClickedTcp},
    {DialogEvent::Command, IDC_RADIO_USB, &CPyrrowDlg::OnBnClickedUsb},
    {DialogEvent::SelChange, IDC_COM_PORT, &CPyrrowDlg::OnCbnSelchangeComPort},
};

// The port-name buffer of the selection handler holds 127 characters.
constexpr std::size_t kMaxPortName = 127;
// The remembered selection of FillComPortList holds 255 characters.
constexpr std::size_t kMaxRememberedPort = 255;

}  // namespace

CPyrrowDlg::CPyrrowDlg()
    : m_hIcon(IDR_MAINFRAME),
      m_startThread(platform::StartDetachedThread),
      m_sleep(platform::Sleep),
      m_createTaskbar(platform::CreateTaskbarProgress),
      m_enumeratePorts([] { return platform::EnumerateSerialPorts(); }),
      m_hid(&platform::SystemHid()),
      m_moduleFileName(platform::ModuleFileName)
{
    m_comPort.Set(u"COM1");
}

CPyrrowDlg::~CPyrrowDlg() = default;

bool CPyrrowDlg::DispatchEvent(DialogEvent event, int id)
{
    return platform::DispatchFromMap<CPyrrowDlg>(this, kMessageMap, event, id);
}

bool CPyrrowDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    SetIcon(m_hIcon);
    SetButtonBitmap(IDC_REFRESH, IDB_REFRESH);
    FillComPortList();

    if (m_pCmdLine != nullptr && m_pCmdLine->m_szPort[0] != 0) {
        InitFromCommandLine();
    } else {
        InitFromSettings();
    }

    // Without a desktop that shows taskbar progress the object stays null
    // and the upload shows progress on the bar alone.
    m_pTaskbarList = m_createTaskbar();
    return true;
}

void CPyrrowDlg::InitFromCommandLine()
{
    // The port as the list names it: "/dev/ttyUSB0" is the entry "ttyUSB0",
    // "\\.\COM10" the entry "COM10".
    std::u16string port = m_pCmdLine->m_szPort;
    if (port.starts_with(u"/dev/") && port.find(u'/', 5) == std::u16string::npos)
        port.erase(0, 5);
    else if (port.starts_with(u"\\\\.\\") && port.find(u'\\', 4) == std::u16string::npos)
        port.erase(0, 4);
    ListSetCurSel(IDC_COM_PORT, 0);
    ListSelectString(IDC_COM_PORT, port);
    m_strFirmwarePath = m_pCmdLine->m_szFile;
    SetDlgItemText(IDC_FILE_PATH, m_strFirmwarePath);
    CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
    OnBnClickedSerial();
}

void CPyrrowDlg::InitFromSettings()
{
    m_linkKind = LINK_NONE;
    m_hModule = platform::CurrentModule();
    OpenSettingsFile();
    LoadSettings();
    SetDlgItemText(IDC_FILE_PATH, m_strFirmwarePath);
    switch (m_linkKind) {
    case LINK_NONE:
    case LINK_SERIAL:
        m_linkKind = LINK_SERIAL;
        if (m_comPort.GetString() != nullptr)
            ListSelectString(IDC_COM_PORT, m_comPort.GetString());
        CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
        OnBnClickedSerial();
        break;
    case LINK_TCP:
        IpSetAddress(IDC_IP_ADDRESS, m_ipAddress);
        CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
        OnBnClickedTcp();
        break;
    default:
        CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
        OnBnClickedUsb();
        break;
    }
}

void CPyrrowDlg::FillComPortList()
{
    const int selected = ListGetCurSel(IDC_COM_PORT);
    std::u16string remembered = selected >= 0 ? ListGetText(IDC_COM_PORT, selected) : u"COM1";
    if (remembered.size() > kMaxRememberedPort)
        remembered.resize(kMaxRememberedPort);

    ListResetContent(IDC_COM_PORT);
    const std::vector<std::u16string> ports = m_enumeratePorts();
    for (const std::u16string& port : ports)
        ListAddString(IDC_COM_PORT, port);
    if (ports.empty()) {
        for (unsigned n = 1; n <= 20; ++n) {
            CDynWString name;
            name.Format(u"COM%u", n);
            ListAddString(IDC_COM_PORT, name.GetString());
        }
    }
    ListSetCurSel(IDC_COM_PORT, 0);
    ListSelectString(IDC_COM_PORT, remembered);
}

std::u16string CPyrrowDlg::SelectedPortName() const
{
    const int selected = ListGetCurSel(IDC_COM_PORT);
    std::u16string name = selected >= 0 ? ListGetText(IDC_COM_PORT, selected) : u"";
    if (name.size() > kMaxPortName)
        name.resize(kMaxPortName);
    return name;
}

void CPyrrowDlg::EnableLinkGroups(bool serial, bool tcp, bool usb)
{
    for (int id : {IDC_PORT_LABEL, IDC_COM_PORT, IDC_REFRESH})
        EnableControl(id, serial);
    for (int id : {IDC_IP_LABEL, IDC_IP_ADDRESS})
        EnableControl(id, tcp);
    for (int id : {IDC_DETECT_LABEL, IDC_DETECT})
        EnableControl(id, usb);
}

void CPyrrowDlg::OnBnClickedSerial()
{
    m_linkKind = LINK_SERIAL;
    m_comPort.Set(SelectedPortName().c_str());
    EnableLinkGroups(true, false, false);
}

void CPyrrowDlg::OnBnClickedTcp()
{
    m_linkKind = LINK_TCP;
    const std::uint32_t typed = IpGetAddress(IDC_IP_ADDRESS);
    if (typed != 0)
        m_ipAddress = typed;
    else
        IpSetAddress(IDC_IP_ADDRESS, m_ipAddress);
    EnableLinkGroups(false, true, false);
}

void CPyrrowDlg::OnBnClickedUsb()
{
    m_linkKind = LINK_USB;
    EnableLinkGroups(false, false, true);
}

void CPyrrowDlg::OnCbnSelchangeComPort()
{
    m_comPort.Set(SelectedPortName().c_str());
}

void CPyrrowDlg::OnBnClickedRefresh()
{
    FillComPortList();
}

void CPyrrowDlg::OnBnClickedBrowse()
{
    platform::OpenFileRequest request;
    if (m_pCmdLine != nullptr)
        request.initialDirectory = m_pCmdLine->m_szDir;
    request.filters = {{u"Pyrrow FW files", u"*.fw"}, {u"All files", u"*"}};
    request.defaultExtension = u"fw";
    if (std::optional<std::u16string> path = ChooseFileToOpen(request)) {
        m_strFirmwarePath = *path;
        SetDlgItemText(IDC_FILE_PATH, m_strFirmwarePath);
    }
}

void CPyrrowDlg::OnClose()
{
    if (m_bBusy != 0) {
        MessageBox(u"Během nahrávání nelze uzavřít dialog!", u"Upgrade FW",
                   platform::MB_ICONEXCLAMATION | platform::MB_OK);
        return;
    }
    SaveSettings();
    CDialogBase::OnClose();
}

void CPyrrowDlg::OnCancel()
{
    // The dialog must never end under a running upload; Esc waits.
    if (m_bBusy != 0)
        return;
    CDialogBase::OnCancel();
}

void CPyrrowDlg::OnDestroy()
{
    SaveSettings();
    m_pTaskbarList.reset();
}
