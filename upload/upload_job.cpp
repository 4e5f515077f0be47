// One upload: StartUpload on the dialog's thread, UploadThreadProc on the
// worker, the control locking, and the window's side of the upload engine:
// progress on the bar and the taskbar button, failures in message boxes.
#include <climits>

#include "app/pyrrow_dlg.h"
#include "platform/utf.h"
#include "upload/upload_engine.h"
#include "res/resource.h"

namespace platform = pyrrow::platform;
namespace upload = pyrrow::upload;

void CPyrrowDlg::StartUpload()
{
    // Enter held at the end of an upload arrives once the button is back but
    // before the worker is done: one upload at a time, the rest are ignored.
    if (m_bBusy != 0)
        return;
    m_bBusy = 1;
    EnableUploadControls(0);
    if (!m_startThread([this] { UploadThreadProc(this); })) {
        // Without a worker nothing would ever unlock the dialog.
        m_bBusy = 0;
        EnableUploadControls(1);
        ShowUploadError(u"Nepodařilo se spustit nahrávání!");
    }
}

void CPyrrowDlg::UploadThreadProc(CPyrrowDlg* dialog)
{
    if (dialog->Host().IsButtonChecked(IDC_RADIO_SERIAL))
        dialog->UploadSerial();
    else if (dialog->Host().IsButtonChecked(IDC_RADIO_TCP))
        dialog->UploadTcp();
    else
        dialog->UploadUsb();
    dialog->EnableUploadControls(1);
    // The last touch of the dialog: once idle, it may be closed and destroyed.
    dialog->m_bBusy = 0;
}

void CPyrrowDlg::EnableUploadControls(int state)
{
    const bool on = state != 0;
    for (int id : {IDC_BROWSE, IDOK, IDCANCEL, IDC_RADIO_SERIAL, IDC_RADIO_TCP, IDC_RADIO_USB})
        Host().EnableControl(id, on);
    // Only the checked link's group comes back.
    EnableLinkGroups(on && Host().IsButtonChecked(IDC_RADIO_SERIAL), on && Host().IsButtonChecked(IDC_RADIO_TCP),
                     on && Host().IsButtonChecked(IDC_RADIO_USB));
}

void CPyrrowDlg::ReportProgressStart(std::uint64_t size)
{
    // The bar counts in a signed 32-bit range: a larger file is shown at a
    // coarser scale, so the bar still moves steadily to its end.
    m_nProgressTotal = size;
    m_nProgressShift = 0;
    while ((size >> m_nProgressShift) > static_cast<std::uint64_t>(INT_MAX))
        ++m_nProgressShift;
    Host().ProgressSetRange(IDC_PROGRESS, 0, static_cast<int>(size >> m_nProgressShift));
    Host().ProgressSetPosition(IDC_PROGRESS, 0);
    if (m_pTaskbarList != nullptr) {
        m_pTaskbarList->SetProgressState(platform::TBPF_NORMAL);
        m_pTaskbarList->SetProgressValue(0, size);
    }
}

void CPyrrowDlg::ReportProgressStep(std::uint64_t position)
{
    // The worker does not wait for the window to draw every block.
    Host().ProgressPostPosition(IDC_PROGRESS, static_cast<int>(position >> m_nProgressShift));
    if (m_pTaskbarList != nullptr)
        m_pTaskbarList->SetProgressValue(position, m_nProgressTotal);
}

void CPyrrowDlg::ReportProgressEnd()
{
    Host().ProgressSetPosition(IDC_PROGRESS, 0);
    if (m_pTaskbarList != nullptr)
        m_pTaskbarList->SetProgressState(platform::TBPF_NOPROGRESS);
}

void CPyrrowDlg::ShowUploadError(const std::u16string& text, const char16_t* caption)
{
    Host().MessageBox(text, caption, platform::MB_ICONERROR);
}

// The engine's reports as the window shows them.
class CPyrrowDlg::UploadReporter final : public upload::UploadObserver {
public:
    UploadReporter(CPyrrowDlg& dialog, const LinkMessages& messages) : m_dialog(dialog), m_messages(messages) {}

    void OnProgressStart(std::uint64_t total) override { m_dialog.ReportProgressStart(total); }
    void OnProgress(std::uint64_t done, std::uint64_t) override { m_dialog.ReportProgressStep(done); }
    void OnProgressEnd() override { m_dialog.ReportProgressEnd(); }

    void OnFailure(const upload::UploadFailure& failure) override
    {
        platform::DebugOutput(platform::Utf8ToUtf16Lossy("pyrrow: " + std::string(m_messages.name) + ": " +
                                                         failure.action + ": " + failure.cause));
        using upload::FailureKind;
        const bool header = failure.phase == upload::Phase::Header;
        switch (failure.kind) {
        case FailureKind::Cancelled:
            return;
        case FailureKind::FirmwareOpen:
            return m_dialog.ShowUploadError(u"Nepodařilo se otevřít soubor s firmwarem!");
        case FailureKind::FirmwareRead:
            return m_dialog.ShowUploadError(header ? m_messages.headerFailed
                                                   : u"Chyba při čtení souboru s firmwarem!");
        case FailureKind::NoDevice:
        case FailureKind::AccessDenied:
        case FailureKind::DeviceBusy:
            return m_dialog.ShowUploadError(m_messages.openFailed);
        case FailureKind::LinkSetup:
            return m_dialog.ShowUploadError(failure.phase == upload::Phase::Open ? m_messages.openFailed
                                                                                 : m_messages.headerFailed);
        case FailureKind::FirmwareTooShort:
        case FailureKind::HeaderSend:
        case FailureKind::HeaderNoAnswer:
        case FailureKind::HeaderRejected:
            return m_dialog.ShowUploadError(m_messages.headerFailed);
        case FailureKind::Host:
            // The host failed the step: the step's own message.
            if (failure.phase == upload::Phase::Open)
                return m_dialog.ShowUploadError(m_messages.openFailed);
            [[fallthrough]];
        case FailureKind::LinkLost:
            if (header)
                return m_dialog.ShowUploadError(m_messages.headerFailed);
            return m_dialog.ShowUploadError(m_messages.ackFailed.empty() ? m_messages.sendFailed
                                                                         : m_messages.ackFailed);
        case FailureKind::BlockNoAck:
            return m_dialog.ShowUploadError(m_messages.ackFailed);
        case FailureKind::BlockSend:
            if (m_messages.sendFailed.empty())
                return m_dialog.ShowUploadError(platform::Utf8ToUtf16Lossy(failure.cause), u"hid_write error");
            return m_dialog.ShowUploadError(m_messages.sendFailed);
        }
    }

private:
    CPyrrowDlg& m_dialog;
    const LinkMessages& m_messages;
};

void CPyrrowDlg::RunLinkUpload(upload::Link& link, const LinkMessages& messages)
{
    UploadReporter reporter(*this, messages);
    upload::LinkContext context;
    context.sleep = m_sleep;
    upload::RunUpload(link, m_strFirmwarePath, reporter, context);
}
