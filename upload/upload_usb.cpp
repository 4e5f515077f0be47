// The USB upload of the window: the first device with the product's ids.
#include "app/pyrrow_dlg.h"
#include "upload/usb_link.h"

void CPyrrowDlg::UploadUsb()
{
    static const LinkMessages kMessages{
        .name = "usb",
        .openFailed = u"hid_open(0x0483, 0xA151) error",
        .headerFailed = u"HeaderUSB error",
        .sendFailed = u"",
        .ackFailed = u"",
    };
    pyrrow::upload::UsbLink link(*m_hid);
    RunLinkUpload(link, kMessages);
}
