#include "platform/dialog.h"

namespace pyrrow::platform {
namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

}  // namespace

char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c + 32);
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7)
        return static_cast<char16_t>(c + 32);
    // Latin Extended-A pairs capital and small letters as even / odd code
    // points, except for a stretch in the middle that pairs odd / even.
    if (c >= 0x0100 && c <= 0x0137 && c % 2 == 0)
        return static_cast<char16_t>(c + 1);
    if (c >= 0x0139 && c <= 0x0148 && c % 2 == 1)
        return static_cast<char16_t>(c + 1);
    if (c >= 0x014A && c <= 0x0177 && c % 2 == 0)
        return static_cast<char16_t>(c + 1);
    if (c == 0x0178)
        return 0x00FF;
    if (c >= 0x0179 && c <= 0x017E && c % 2 == 1)
        return static_cast<char16_t>(c + 1);
    return c;
}

void CDialogBase::OnEvent(DialogEvent event, int id)
{
    if (DispatchEvent(event, id))
        return;
    if (event == DialogEvent::Command && id == kIdOk)
        OnOK();
    else if (event == DialogEvent::Command && id == kIdCancel)
        OnCancel();
    else if (event == DialogEvent::Close)
        OnClose();
}

void CDialogBase::OnOK()
{
    EndDialog(kIdOk);
}

void CDialogBase::OnCancel()
{
    EndDialog(kIdCancel);
}

void CDialogBase::OnClose()
{
    // The close command acts as the cancel command.
    OnCancel();
}

void CDialogBase::EnableControl(int id, bool enable) { m_pHost->EnableControl(id, enable); }
bool CDialogBase::IsDlgButtonChecked(int id) const { return m_pHost->IsButtonChecked(id); }
void CDialogBase::CheckRadioButton(int first, int last, int id) { m_pHost->CheckRadioButton(first, last, id); }
void CDialogBase::SetDlgItemText(int id, const std::u16string& text) { m_pHost->SetControlText(id, text); }
int CDialogBase::ListGetCount(int id) const { return m_pHost->ListGetCount(id); }
int CDialogBase::ListGetCurSel(int id) const { return m_pHost->ListGetSelection(id); }
std::u16string CDialogBase::ListGetText(int id, int index) const { return m_pHost->ListGetItemText(id, index); }
void CDialogBase::ListResetContent(int id) { m_pHost->ListReset(id); }
void CDialogBase::ListAddString(int id, const std::u16string& text) { m_pHost->ListAdd(id, text); }
void CDialogBase::ListSetCurSel(int id, int index) { m_pHost->ListSelect(id, index); }
std::uint32_t CDialogBase::IpGetAddress(int id) const { return m_pHost->IpGetAddress(id); }
void CDialogBase::IpSetAddress(int id, std::uint32_t address) { m_pHost->IpSetAddress(id, address); }
void CDialogBase::ProgressSetRange32(int id, int low, int high) { m_pHost->ProgressSetRange(id, low, high); }
void CDialogBase::ProgressSetPos(int id, int position) { m_pHost->ProgressSetPosition(id, position); }
void CDialogBase::ProgressPostPos(int id, int position) { m_pHost->ProgressPostPosition(id, position); }
void CDialogBase::SetIcon(int iconId) { m_pHost->SetWindowIcon(iconId); }
void CDialogBase::SetButtonBitmap(int id, int bitmapId) { m_pHost->SetButtonBitmap(id, bitmapId); }
void CDialogBase::EndDialog(int result) { m_pHost->EndDialog(result); }

void CDialogBase::MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style)
{
    m_pHost->MessageBox(text, caption, style);
}

std::optional<std::u16string> CDialogBase::ChooseFileToOpen(const OpenFileRequest& request)
{
    return m_pHost->ChooseFileToOpen(request);
}

int CDialogBase::ListSelectExact(int id, const std::u16string& text)
{
    const int count = ListGetCount(id);
    for (int i = 0; i < count; ++i) {
        if (EqualIgnoringCase(ListGetText(id, i), text)) {
            ListSetCurSel(id, i);
            return i;
        }
    }
    return -1;
}

}  // namespace pyrrow::platform
