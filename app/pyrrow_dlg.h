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

#include "platform/dialog.h"
#include "platform/executable.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/serial.h"
#include "platform/socket.h"
#include "platform/taskbar.h"
#include "xml/dyn_wstring.h"
#include "xml/xml_file.h"

class CPrikazovyRadek;

// The link chosen, as the settings file records it.
enum LinkKind : std::uint8_t {
    LINK_NONE = 0,
    LINK_SERIAL = 1,
    LINK_TCP = 2,
    LINK_USB = 3,
    LINK_UNKNOWN = 4,
};

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
    // transports; each transport reports its own failures.
    static void UploadThreadProc(CPyrrowDlg* dialog);
    void EnableUploadControls(int state);
    void UploadSerial();
    int SendHeaderSerial(pyrrow::platform::FileHandle file);
    void UploadTcp();
    int ConnectTcp(std::uint32_t address);
    int SendHeaderTcp(pyrrow::platform::FileHandle file);
    void UploadUsb();
    int SendHeaderUsb(pyrrow::platform::FileHandle file, pyrrow::platform::HidDevice device);

    // Settings: where the file is, reading it at start and writing it back.
    int OpenSettingsFile();
    int LoadSettings();
    int SaveSettings();
    bool FindElement(std::uint32_t direction, const char16_t* name);
    bool FindOrAddElement(std::uint32_t direction, const char16_t* name);
    int SetTextAttribute(const char16_t* name, const char16_t* text);
    int SetNumberAttribute(const char16_t* name, std::int32_t number);

    // Members, in the order of the design.
    int m_hIcon;  // the application icon's resource id
    std::u16string m_strFirmwarePath;
    pyrrow::platform::SerialHandle m_hComPort = nullptr;
    pyrrow::platform::SocketHandle m_socket = nullptr;
    std::unique_ptr<pyrrow::platform::TaskbarProgress> m_pTaskbarList;
    // The only value both threads write: set here before the worker starts,
    // cleared by the worker as its last action.
    std::atomic<int> m_bBusy{0};
    CPrikazovyRadek* m_pCmdLine = nullptr;  // not owned; outlives the dialog
    CMyXMLFile m_settings;
    std::uint8_t m_pcAddress = 1;
    std::uint8_t m_linkKind = LINK_SERIAL;
    CDynWString m_comPort;
    std::int32_t m_baudRate = 38400;
    std::int32_t m_parity = 2;  // 0 none, 1 odd, 2 even
    std::int32_t m_timeout = 5000;
    std::int32_t m_readDelay = 300;
    std::uint32_t m_ipAddress = 0xC0A8DEDE;  // 192.168.222.222
    std::uint32_t m_tcpPort = 1234;
    CDynWString m_configPath;  // no text while the settings are not used
    pyrrow::platform::ModuleHandle m_hModule = nullptr;
    CDynWString m_numText;

    // What the dialog takes from its surroundings; tests put their own in.
    std::function<bool(std::function<void()>)> m_startThread;
    std::function<void(unsigned)> m_sleep;
    std::function<std::unique_ptr<pyrrow::platform::TaskbarProgress>()> m_createTaskbar;
    std::function<std::vector<std::u16string>()> m_enumeratePorts;
    pyrrow::platform::HidBackend* m_hid;
    std::function<std::u16string(pyrrow::platform::ModuleHandle)> m_moduleFileName;
    // Where the settings file may go: whether the program may write at a
    // path (a folder or a file), and the user's own settings folder.
    std::function<bool(const std::u16string&)> m_canWrite = [](const std::u16string& path) {
        return pyrrow::platform::CanWrite(path.c_str());
    };
    std::function<std::u16string()> m_userConfigFolder = pyrrow::platform::UserConfigFolder;

protected:
    bool DispatchEvent(pyrrow::platform::DialogEvent event, int id) override;
    void OnCancel() override;

private:
    // Progress on the bar and the taskbar button.
    void ReportProgressStart(std::uint32_t size);
    void ReportProgressStep(std::uint32_t position);
    void ReportProgressEnd();
    // The firmware file, opened for us alone, and its 32-bit size; a
    // failure is told to the operator.
    pyrrow::platform::FileHandle OpenFirmware(std::uint32_t* size);
    // The next block of the firmware; a failed read is told to the operator.
    bool ReadFirmwareBlock(pyrrow::platform::FileHandle file, void* buffer, std::size_t size, std::size_t* read);
    // A failure of the upload, shown from the worker.
    void ShowUploadError(const std::u16string& text, const char16_t* caption = u"Pyrrow");
    // Sets the enabled state of the three link groups for the checked link.
    void EnableLinkGroups(bool serial, bool tcp, bool usb);
    std::u16string SelectedPortName() const;
    void InitFromCommandLine();
    void InitFromSettings();

    std::uint32_t m_nProgressTotal = 0;  // the size the current upload reports against
};
