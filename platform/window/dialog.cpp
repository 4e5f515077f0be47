#include "platform/window/dialog.h"

namespace pyrrow::platform {
namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Case folding for matching names: ASCII and the Latin-1 / Latin
// Extended-A letters, never the process locale.
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
    m_pHost->EndDialog(kIdOk);
}

void CDialogBase::OnCancel()
{
    m_pHost->EndDialog(kIdCancel);
}

void CDialogBase::OnClose()
{
    // The close command acts as the cancel command.
    OnCancel();
}

int CDialogBase::ListSelectExact(int id, const std::u16string& text)
{
    const int count = m_pHost->ListGetCount(id);
    for (int i = 0; i < count; ++i) {
        if (EqualIgnoringCase(m_pHost->ListGetItemText(id, i), text)) {
            m_pHost->ListSelect(id, i);
            return i;
        }
    }
    return -1;
}

}  // namespace pyrrow::platform
