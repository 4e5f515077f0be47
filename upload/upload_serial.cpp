// The serial upload of the window: the port selected in the list.
#include "app/pyrrow_dlg.h"
#include "platform/utf.h"
#include "upload/serial_link.h"

void CPyrrowDlg::UploadSerial()
{
    static const LinkMessages kMessages{
        .name = "serial",
        .openFailed = u"Nepodařilo se připojit ke zvolenému portu!",
        .headerFailed = u"HeaderCOM error",
        .sendFailed = u"Write error",
        .ackFailed = u"",
    };
    pyrrow::upload::SerialLink link(pyrrow::platform::SystemName(SelectedPortName()), m_hComPort, m_serialTiming);
    RunLinkUpload(link, kMessages);
}
