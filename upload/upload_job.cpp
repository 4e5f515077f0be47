// One upload: StartUpload on the dialog's thread, UploadThreadProc on the
// worker, the control locking and the progress reports all transports make.
#include <algorithm>
#include <climits>

#include "app/pyrrow_dlg.h"
#include "res/resource.h"

namespace platform = pyrrow::platform;

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
    if (dialog->IsDlgButtonChecked(IDC_RADIO_SERIAL))
        dialog->UploadSerial();
    else if (dialog->IsDlgButtonChecked(IDC_RADIO_TCP))
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
        EnableControl(id, on);
    // Only the checked link's group comes back.
    EnableLinkGroups(on && IsDlgButtonChecked(IDC_RADIO_SERIAL), on && IsDlgButtonChecked(IDC_RADIO_TCP),
                     on && IsDlgButtonChecked(IDC_RADIO_USB));
}

namespace {

// The bar counts in a signed 32-bit range; larger files stop at its end.
int BarValue(std::uint32_t value)
{
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

}  // namespace

void CPyrrowDlg::ReportProgressStart(std::uint32_t size)
{
    m_nProgressTotal = size;
    ProgressSetRange32(IDC_PROGRESS, 0, BarValue(size));
    ProgressSetPos(IDC_PROGRESS, 0);
    if (m_pTaskbarList != nullptr) {
        m_pTaskbarList->SetProgressState(platform::TBPF_NORMAL);
        m_pTaskbarList->SetProgressValue(0, size);
    }
}

void CPyrrowDlg::ReportProgressStep(std::uint32_t position)
{
    ProgressSetPos(IDC_PROGRESS, BarValue(position));
    if (m_pTaskbarList != nullptr)
        m_pTaskbarList->SetProgressValue(position, m_nProgressTotal);
}

void CPyrrowDlg::ReportProgressEnd()
{
    ProgressSetPos(IDC_PROGRESS, 0);
    if (m_pTaskbarList != nullptr)
        m_pTaskbarList->SetProgressState(platform::TBPF_NOPROGRESS);
}

void CPyrrowDlg::ShowUploadError(const std::u16string& text, const char16_t* caption)
{
    MessageBox(text, caption, platform::MB_ICONERROR);
}

platform::FileHandle CPyrrowDlg::OpenFirmware(std::uint32_t* size)
{
    platform::FileHandle file = platform::OpenExclusiveForReading(m_strFirmwarePath.c_str());
    std::uint64_t bytes = 0;
    if (file != nullptr && !platform::GetFileSize(file, &bytes)) {
        platform::CloseFile(file);
        file = nullptr;
    }
    if (file == nullptr) {
        ShowUploadError(u"Nepodařilo se otevřít soubor s firmwarem!");
        return nullptr;
    }
    // The size counts in 32 bits, as the progress reports do.
    *size = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    return file;
}

bool CPyrrowDlg::ReadFirmwareBlock(platform::FileHandle file, void* buffer, std::size_t size, std::size_t* read)
{
    if (platform::ReadNext(file, buffer, size, read))
        return true;
    // A failed read is not the end of the file: the upload would look complete.
    ShowUploadError(u"Chyba při čtení souboru s firmwarem!");
    return false;
}
