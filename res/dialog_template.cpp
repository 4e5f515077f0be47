#include "res/dialog_template.h"

#include "res/resource.h"

namespace pyrrow::res {
namespace {

using K = ControlKind;

constexpr ControlTemplate kMainControls[] = {
    // id, kind, caption, x, y, width, height, enabled, tab stop, starts a group, right-aligned
    {IDOK, K::PushButton, u"Nahrát", 134, 128, 50, 14, true, true, false, false},
    {IDCANCEL, K::PushButton, u"Zavrít okno", 188, 128, 50, 14, true, true, false, false},
    {IDC_COM_PORT, K::DropDownList, u"", 141, 10, 49, 113, false, true, false, false},
    {IDC_PORT_LABEL, K::Label, u"Komunikacní port:", 78, 12, 58, 8, false, false, false, true},
    {IDC_STATIC, K::Label, u"Soubor:", 37, 97, 26, 8, true, false, false, true},
    {IDC_FILE_PATH, K::ReadOnlyEdit, u"", 66, 96, 153, 12, true, true, false, false},
    {IDC_BROWSE, K::PushButton, u"...", 221, 96, 17, 12, true, true, false, false},
    {IDC_PROGRESS, K::ProgressBar, u"", 6, 117, 232, 8, true, false, false, false},
    {IDC_REFRESH, K::BitmapButton, u"", 191, 9, 18, 14, false, true, false, false},
    {IDC_RADIO_SERIAL, K::RadioButton, u"Sériová linka", 18, 12, 56, 10, true, false, true, false},
    {IDC_RADIO_TCP, K::RadioButton, u"ETH / TCP", 18, 36, 48, 10, true, false, false, false},
    {IDC_RADIO_USB, K::RadioButton, u"USB", 18, 60, 29, 10, true, false, false, false},
    {IDC_IP_ADDRESS, K::IpAddress, u"", 138, 34, 100, 12, false, true, false, false},
    {IDC_IP_LABEL, K::Label, u"IP:", 123, 36, 10, 8, false, false, true, true},
    {IDC_DETECT, K::PushButton, u"Detekovat", 138, 57, 50, 14, false, true, false, false},
    {IDC_DETECT_LABEL, K::Label, u"Detekovat:", 96, 60, 37, 8, false, false, false, true},
};

constexpr DialogTemplate kMainDialog{
    IDD_MAIN, u"Pyrrow", u"MS Shell Dlg", 8, 246, 153, kMainControls,
};

}  // namespace

const DialogTemplate& MainDialogTemplate()
{
    return kMainDialog;
}

}  // namespace pyrrow::res
