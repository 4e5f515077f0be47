#include "app/pyrrow_dlg.h"

#include "app/prikazovy_radek.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"
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

// What the IP field shows is what the operator chose, also when it was typed
// after the TCP button: with TCP chosen, a close keeps it for the settings.
void TakeAddressFromField(CPyrrowDlg& dialog)
{
    if (!dialog.Host().IsButtonChecked(IDC_RADIO_TCP))
        return;
    if (const std::uint32_t shown = dialog.Host().IpGetAddress(IDC_IP_ADDRESS); shown != 0)
        dialog.m_ipAddress = shown;
}

}  // namespace

CPyrrowDlg::CPyrrowDlg()
    : m_hIcon(IDR_MAINFRAME),
      m_startThread([this](std::function<void()> body) { return m_worker.Start(std::move(body)); }),
      m_sleep(platform::Sleep),
      m_createTaskbar(platform::CreateTaskbarProgress),
      m_enumeratePorts([] { return platform::EnumerateSerialPorts(); }),
      m_portExists([](const std::u16string& name) { return platform::SerialPortExists(platform::SystemName(name)); }),
      m_isConsolePort([](const std::u16string& name) { return platform::IsConsolePort(name); }),
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
    Host().SetWindowIcon(m_hIcon);
    Host().SetButtonBitmap(IDC_REFRESH, IDB_REFRESH);
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
    const std::u16string port = m_pCmdLine->m_szPort;
    Host().ListSelect(IDC_COM_PORT, 0);
    if (!SelectPort(port))
        ReportMissingPort(port, u"the command line");
    m_strFirmwarePath = m_pCmdLine->m_szFile;
    Host().SetControlText(IDC_FILE_PATH, m_strFirmwarePath);
    Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
    OnBnClickedSerial();
}

void CPyrrowDlg::InitFromSettings()
{
    m_linkKind = LINK_NONE;
    m_hModule = platform::CurrentModule();
    OpenSettingsFile();
    // Whether the file names a port: only a named port is looked for
    // beyond the list, not the default.
    const std::u16string defaultPort = m_comPort.GetString() != nullptr ? m_comPort.GetString() : u"";
    m_comPort.Free();
    LoadSettings();
    const bool portNamed = m_comPort.GetString() != nullptr;
    if (!portNamed)
        m_comPort.Set(defaultPort.c_str());
    // A file named on the command line wins over the saved one, and is what
    // the close then saves.
    if (m_pCmdLine != nullptr && m_pCmdLine->m_szFile[0] != 0)
        m_strFirmwarePath = m_pCmdLine->m_szFile;
    Host().SetControlText(IDC_FILE_PATH, m_strFirmwarePath);
    switch (m_linkKind) {
    case LINK_NONE:
    case LINK_SERIAL: {
        m_linkKind = LINK_SERIAL;
        const std::u16string saved = m_comPort.GetString() != nullptr ? m_comPort.GetString() : u"";
        // An unplugged port stays the saved choice until the operator picks
        // another one.
        if (portNamed && !SelectPort(saved) && !saved.empty())
            ReportMissingPort(saved, u"the settings");
        else if (!portNamed)
            ListSelectExact(IDC_COM_PORT, saved);
        Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
        OnBnClickedSerial();
        break;
    }
    case LINK_TCP:
        Host().IpSetAddress(IDC_IP_ADDRESS, m_ipAddress);
        Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
        OnBnClickedTcp();
        break;
    default:
        Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
        OnBnClickedUsb();
        break;
    }
}

void CPyrrowDlg::FillComPortList()
{
    // The whole name: a cut one could name another port.
    const int selected = Host().ListGetSelection(IDC_COM_PORT);
    const std::u16string remembered = selected >= 0 ? Host().ListGetItemText(IDC_COM_PORT, selected) : u"COM1";

    Host().ListReset(IDC_COM_PORT);
    const std::vector<std::u16string> ports = m_enumeratePorts();
    for (const std::u16string& port : ports)
        Host().ListAdd(IDC_COM_PORT, port);
    if (ports.empty()) {
        for (unsigned n = 1; n <= 20; ++n) {
            CDynWString name;
            name.Format(u"COM%u", n);
            // COM1 is ttyS0 on Linux, which may carry the machine's console.
            if (m_isConsolePort(name.GetString()))
                continue;
            Host().ListAdd(IDC_COM_PORT, name.GetString());
        }
    }
    Host().ListSelect(IDC_COM_PORT, 0);
    // The selected port stays selected, under its own name when the list
    // no longer has it, until the operator picks another entry.
    if (selected < 0)
        ListSelectExact(IDC_COM_PORT, remembered);
    else if (!SelectPort(remembered))
        ReportMissingPort(remembered, u"the selection");
}

bool CPyrrowDlg::SelectPort(const std::u16string& name)
{
    if (name.empty())
        return false;
    if (ListSelectExact(IDC_COM_PORT, name) >= 0)
        return true;
    // "/dev/ttyUSB0" is the entry "ttyUSB0", "\\.\COM10" the entry "COM10".
    for (const std::u16string_view prefix : {std::u16string_view(u"/dev/"), std::u16string_view(u"\\\\.\\")}) {
        if (name.starts_with(prefix) && name.find(prefix.back(), prefix.size()) == std::u16string::npos &&
            ListSelectExact(IDC_COM_PORT, name.substr(prefix.size())) >= 0)
            return true;
    }
    // A pseudo-terminal, a /dev/serial/by-id link, a port the system does
    // not list or one that is not there (unplugged): the list shows what was
    // named and an upload tries that port, never another one.
    Host().ListAdd(IDC_COM_PORT, name);
    Host().ListSelect(IDC_COM_PORT, Host().ListGetCount(IDC_COM_PORT) - 1);
    return m_portExists(name);
}

void CPyrrowDlg::ReportMissingPort(const std::u16string& name, const char16_t* source) const
{
    std::u16string text = u"pyrrow: serial port \"" + name + u"\" from " + source + u" (" +
                          platform::Utf8ToUtf16Lossy(platform::SerialDevicePath(platform::SystemName(name))) +
                          u") does not exist; it stays selected under its own name, and an upload to it fails";
    platform::DebugOutput(text);
}

std::u16string CPyrrowDlg::SelectedPortName() const
{
    const int selected = Host().ListGetSelection(IDC_COM_PORT);
    std::u16string name = selected >= 0 ? Host().ListGetItemText(IDC_COM_PORT, selected) : u"";
    if (name.size() > kMaxPortName)
        name.resize(kMaxPortName);
    return name;
}

void CPyrrowDlg::EnableLinkGroups(bool serial, bool tcp, bool usb)
{
    for (int id : {IDC_PORT_LABEL, IDC_COM_PORT, IDC_REFRESH})
        Host().EnableControl(id, serial);
    for (int id : {IDC_IP_LABEL, IDC_IP_ADDRESS})
        Host().EnableControl(id, tcp);
    for (int id : {IDC_DETECT_LABEL, IDC_DETECT})
        Host().EnableControl(id, usb);
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
    const std::uint32_t typed = Host().IpGetAddress(IDC_IP_ADDRESS);
    if (typed != 0)
        m_ipAddress = typed;
    else
        Host().IpSetAddress(IDC_IP_ADDRESS, m_ipAddress);
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
    if (std::optional<std::u16string> path = Host().ChooseFileToOpen(request)) {
        m_strFirmwarePath = *path;
        Host().SetControlText(IDC_FILE_PATH, m_strFirmwarePath);
    }
}

void CPyrrowDlg::OnClose()
{
    if (m_bBusy != 0) {
        Host().MessageBox(u"Během nahrávání nelze uzavřít dialog!", u"Upgrade FW",
                   platform::MB_ICONEXCLAMATION | platform::MB_OK);
        return;
    }
    TakeAddressFromField(*this);
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
    TakeAddressFromField(*this);
    SaveSettings();
    m_pTaskbarList.reset();
}
