// CPyrrowDlg: the program's only window. The operator picks the link (serial
// line, TCP or USB), the port or address and the firmware file, and starts
// uploads; this class holds those choices and runs one upload at a time on
// a worker thread. Its members live in files by concern: the dialog's
// handlers in app/, the upload job and each transport in upload/.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/devices/hid.h"
#include "platform/files/executable.h"
#include "platform/files/named_file.h"
#include "platform/net/tcp_connection.h"
#include "platform/serial/serial.h"
#include "platform/thread.h"
#include "platform/utf.h"
#include "platform/window/dialog.h"
#include "platform/window/taskbar.h"
#include "settings/settings_record.h"
#include "upload/serial_timing.h"
#include "xml/dyn_wstring.h"
#include "xml/xml_file.h"

class CPrikazovyRadek;

namespace pyrrow::upload {
class Link;
}

class CPyrrowDlg : public pyrrow::platform::CDialogBase {
public:
    CPyrrowDlg();
    ~CPyrrowDlg() override;

    bool OnInitDialog() override;

    // Handlers of the message map.
    void StartUpload();
    void OnBnClickedBrowse();
    void OnBnClickedRefresh();
    void OnBnClickedSerial();
    void OnBnClickedTcp();
    void OnBnClickedUsb();
    void OnCbnSelchangeComPort();
    void OnClose() override;
    void OnDestroy();

    void FillComPortList();

    // The upload: the worker's procedure, the control locking and the
    // transports; each runs the upload engine over its link and shows the
    // link's own messages.
    static void UploadThreadProc(CPyrrowDlg* dialog);
    void EnableUploadControls(int state);
    void UploadSerial();
    void UploadTcp();
    void UploadUsb();

    // Settings: where the file is, reading it at start into the record and
    // the window's choices, and writing them back.
    int OpenSettingsFile();
    int LoadSettings();
    int SaveSettings();

    // Members: those of the window and the upload first, then those that
    // serve only the settings file.
    int m_hIcon;  // the application icon's resource id
    std::u16string m_strFirmwarePath;
    pyrrow::platform::SerialHandle m_hComPort = nullptr;
    std::unique_ptr<pyrrow::platform::TcpConnection> m_socket;
    std::unique_ptr<pyrrow::platform::TaskbarProgress> m_pTaskbarList;
    // The only value both threads write: set here before the worker starts,
    // cleared by the worker as its last action.
    std::atomic<int> m_bBusy{0};
    CPrikazovyRadek* m_pCmdLine = nullptr;  // not owned; outlives the dialog
    CMyXMLFile m_settings;
    // What only the settings file keeps: "pc", serial speed and parity,
    // time-out and read delay.
    pyrrow::settings::SettingsRecord m_settingsRecord;
    std::uint8_t m_linkKind = LINK_SERIAL;
    CDynWString m_comPort;
    std::uint32_t m_ipAddress = 0xC0A8DEDE;  // 192.168.222.222
    std::uint32_t m_tcpPort = 1234;
    CDynWString m_configPath;  // no text while the settings are not used
    pyrrow::platform::ModuleHandle m_hModule = nullptr;
    CDynWString m_numText;

    // What the dialog takes from its surroundings; tests put their own in.
    // m_startThread runs the upload's worker (on m_worker unless replaced).
    std::function<bool(std::function<void()>)> m_startThread;
    std::function<void(unsigned)> m_sleep;
    std::function<std::unique_ptr<pyrrow::platform::TaskbarProgress>()> m_createTaskbar;
    std::function<std::vector<std::u16string>()> m_enumeratePorts;
    std::function<bool(const std::u16string&)> m_portExists;
    std::function<bool(const std::u16string&)> m_isConsolePort;
    pyrrow::platform::HidBackend* m_hid;
    std::function<std::u16string(pyrrow::platform::ModuleHandle)> m_moduleFileName;
    // The serial line's time-outs and pauses; only tests shorten them.
    pyrrow::upload::SerialTiming m_serialTiming;
    // Where the settings file may go: whether the program may write at a
    // path (a folder or a file), and the user's own settings folder.
    std::function<bool(const std::u16string&)> m_canWrite = [](const std::u16string& path) {
        return pyrrow::platform::CanWrite(pyrrow::platform::Utf16ToUtf8Lossy(path));
    };
    std::function<std::u16string()> m_userConfigFolder = pyrrow::platform::UserConfigFolder;

protected:
    bool DispatchEvent(pyrrow::platform::DialogEvent event, int id) override;
    void OnCancel() override;

private:
    // The window's messages of one link.
    struct LinkMessages {
        const char* name;  // for standard error: "serial", "tcp", "usb"
        std::u16string openFailed;
        std::u16string headerFailed;
        std::u16string sendFailed;  // empty: the device's own words, under "hid_write error"
        std::u16string ackFailed;   // empty: the link has no acknowledgement
    };
    class UploadReporter;

    // Runs the upload engine over the link: progress on the bar and the
    // taskbar button, failures in message boxes and on standard error.
    void RunLinkUpload(pyrrow::upload::Link& link, const LinkMessages& messages);
    // Progress on the bar and the taskbar button.
    void ReportProgressStart(std::uint64_t size);
    void ReportProgressStep(std::uint64_t position);
    void ReportProgressEnd();
    // A failure of the upload, shown from the worker.
    void ShowUploadError(const std::u16string& text, const char16_t* caption = u"Pyrrow");
    // Sets the enabled state of the three link groups for the checked link.
    void EnableLinkGroups(bool serial, bool tcp, bool usb);
    std::u16string SelectedPortName() const;
    // Selects the port of that whole name (letter case aside); a name the
    // list lacks is added under that name and selected all the same. False
    // when the name is empty (nothing changes) or the system has no such port.
    bool SelectPort(const std::u16string& name);
    void ReportMissingPort(const std::u16string& name, const char16_t* source) const;
    void InitFromCommandLine();
    void InitFromSettings();
    // The window's choices that the settings file keeps, as they stand.
    pyrrow::settings::LinkChoices SettingsChoices() const;

    std::uint64_t m_nProgressTotal = 0;  // the size the current upload reports against
    int m_nProgressShift = 0;            // the bar's 32-bit range holds the size shifted right by this

public:
    // Declared last so that it is destroyed first: the dialog never goes
    // away under a worker that still runs.
    pyrrow::platform::WorkerThread m_worker;
};
