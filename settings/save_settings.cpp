// Saving the settings: the dialog's settings members written back into the
// settings document, creating the elements that are missing and keeping
// everything the program does not know, then the document saved beside the
// executable. Nothing is told to the operator.
#include "app/pyrrow_dlg.h"

namespace {

const char16_t* LinkText(std::uint8_t kind)
{
    switch (kind) {
    case LINK_TCP:
        return u"TCP";
    case LINK_USB:
        return u"USB";
    default:
        return u"serialPort";
    }
}

const char16_t* ParityText(std::int32_t parity)
{
    return parity == 0 ? u"none" : parity == 1 ? u"odd" : u"even";
}

}  // namespace

bool CPyrrowDlg::FindOrAddElement(std::uint32_t direction, const char16_t* name)
{
    for (;;) {
        if (direction == XN_ROOT) {
            m_settings.Navigate(XN_ROOT);
        } else if (direction == XN_CHILD) {
            if (!m_settings.Navigate(XN_CHILD))
                return m_settings.AddChildElement(name) != 0;
        } else if (!m_settings.Navigate(XN_NEXT)) {
            return m_settings.FindOrAddSibling(name) != 0;
        }
        CMyTag* current = m_settings.m_pCurrent;
        if (current->GetName() == nullptr)
            return current->SetName(name) != 0;
        if (current->m_strName.Compare(name) == 0)
            return true;
        if (direction == XN_ROOT)
            return false;
        direction = XN_NEXT;
    }
}

int CPyrrowDlg::SetTextAttribute(const char16_t* name, const char16_t* text)
{
    if (text == nullptr || name == nullptr || m_settings.m_pCurrent == nullptr)
        return 0;
    return m_settings.m_pCurrent->SetAttribute(name, text);
}

int CPyrrowDlg::SetNumberAttribute(const char16_t* name, std::int32_t number)
{
    m_numText.Format(u"%d", number);
    return SetTextAttribute(name, m_numText.GetString());
}

int CPyrrowDlg::SaveSettings()
{
    if (m_configPath.GetString() == nullptr || m_configPath.GetCapacity() == 0 || m_configPath.GetLength() == 0)
        return 0;  // a run started with a port on the command line saves nothing

    // Each step that cannot find or make its element skips what belongs
    // under it; the document is saved all the same.
    [&] {
        if (!FindOrAddElement(XN_ROOT, u"DriverSetting") || !FindOrAddElement(XN_CHILD, u"Address"))
            return;
        SetNumberAttribute(u"pc", m_pcAddress);
        if (FindOrAddElement(XN_NEXT, u"File"))
            SetTextAttribute(u"path", m_strFirmwarePath.c_str());
        if (!FindOrAddElement(XN_NEXT, u"Communication"))
            return;
        SetTextAttribute(u"type", LinkText(m_linkKind));
        switch (m_linkKind) {
        case LINK_SERIAL:
            if (!FindOrAddElement(XN_CHILD, u"SerialPort"))
                return;
            SetTextAttribute(u"port", m_comPort.GetString());
            SetNumberAttribute(u"speed", m_baudRate);
            SetTextAttribute(u"parity", ParityText(m_parity));
            break;
        case LINK_TCP: {
            if (!FindOrAddElement(XN_CHILD, u"TCP"))
                return;
            CDynWString ip;
            ip.Format(u"%u.%u.%u.%u", m_ipAddress >> 24, (m_ipAddress >> 16) & 0xFF, (m_ipAddress >> 8) & 0xFF,
                      m_ipAddress & 0xFF);
            SetTextAttribute(u"ip", ip.GetString());
            SetNumberAttribute(u"port", static_cast<std::int32_t>(m_tcpPort));
            break;
        }
        case LINK_USB:
            if (!FindOrAddElement(XN_CHILD, u"USB"))
                return;
            break;
        default:
            return;
        }
        SetNumberAttribute(u"timeout", m_timeout);
        SetNumberAttribute(u"readDelay", m_readDelay);
    }();
    return m_settings.Save(m_configPath.GetString());
}
