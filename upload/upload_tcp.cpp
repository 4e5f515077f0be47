// The TCP upload of the window: the address in the IP field and the port
// from the settings.
#include "app/pyrrow_dlg.h"
#include "res/resource.h"
#include "upload/tcp_link.h"

void CPyrrowDlg::UploadTcp()
{
    static const LinkMessages kMessages{
        .name = "tcp",
        // A failed connection would otherwise look like a finished upload.
        .openFailed = u"Nepodařilo se připojit k zařízení!",
        .headerFailed = u"HeaderTCP error",
        .sendFailed = u"send error",
        .ackFailed = u"receive response error",
    };
    pyrrow::upload::TcpLink link(Host().IpGetAddress(IDC_IP_ADDRESS), static_cast<std::uint16_t>(m_tcpPort & 0xFFFF),
                                 m_socket);
    RunLinkUpload(link, kMessages);
}
