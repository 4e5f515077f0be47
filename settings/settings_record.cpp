#include "settings/settings_record.h"

#include <string_view>

#include "xml/wide_numbers.h"

namespace pyrrow::settings {

namespace {

// Four numbers with one separator character between them, as "%u.%u.%u.%u"
// writes them. Bits of a number above 255 overlap the octet to its left. A
// text with fewer numbers is never read past its end: the missing numbers
// count as 0.
std::uint32_t ParseIp(const char16_t* text)
{
    const char16_t* end = text;
    std::uint32_t address = ReadUnsignedLong(text, &end);
    for (int i = 0; i < 3; ++i) {
        std::uint32_t number = 0;
        if (*end != 0)
            number = ReadUnsignedLong(end + 1, &end);
        address = (address << 8) | number;
    }
    return address;
}

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

bool FindElement(CMyXMLFile& document, std::uint32_t direction, const char16_t* name)
{
    bool descended = false;
    for (;;) {
        if (!document.Navigate(direction)) {
            // Back to where a walk over the children began.
            if (descended)
                document.Navigate(XN_PARENT);
            return false;
        }
        descended = descended || direction == XN_CHILD;
        const char16_t* found = document.m_pCurrent->GetName();
        if (found == nullptr)
            return false;
        if (std::u16string_view(found) == name)
            return true;
        if (direction == XN_ROOT || direction == XN_PARENT)
            return false;
        direction = XN_NEXT;
    }
}

int ReadSettings(CMyXMLFile& document, SettingsRecord& record, LinkChoices& choices)
{
    if (!FindElement(document, XN_ROOT, u"DriverSetting") || !FindElement(document, XN_CHILD, u"Address"))
        return 1;
    if (const char16_t* pc = document.m_pCurrent->GetAttribute(u"pc"))
        record.m_pcAddress = static_cast<std::uint8_t>(ReadUnsignedLong(pc) & 0xFF);

    if (FindElement(document, XN_NEXT, u"File")) {
        const char16_t* path = document.m_pCurrent->GetAttribute(u"path");
        choices.firmwarePath = path != nullptr ? path : u"";
    }
    if (!FindElement(document, XN_NEXT, u"Communication"))
        return 1;

    const char16_t* type = document.m_pCurrent->GetAttribute(u"type");
    const std::u16string_view kind = type != nullptr ? type : u"serialPort";
    if (kind == u"serialPort")
        choices.linkKind = LINK_SERIAL;
    else if (kind == u"TCP")
        choices.linkKind = LINK_TCP;
    else if (kind == u"USB")
        choices.linkKind = LINK_USB;
    else
        choices.linkKind = LINK_UNKNOWN;

    CMyTag* link = nullptr;
    switch (choices.linkKind) {
    case LINK_SERIAL:
        if (!FindElement(document, XN_CHILD, u"SerialPort"))
            return 1;
        link = document.m_pCurrent;
        if (const char16_t* port = link->GetAttribute(u"port"))
            choices.comPort = port;
        if (const char16_t* speed = link->GetAttribute(u"speed"))
            record.m_baudRate = static_cast<std::int32_t>(ReadUnsignedLong(speed));
        if (const char16_t* parity = link->GetAttribute(u"parity")) {
            const std::u16string_view name(parity);
            record.m_parity = name == u"none" ? 0 : name == u"odd" ? 1 : 2;
        }
        break;
    case LINK_TCP: {
        if (!FindElement(document, XN_CHILD, u"TCP"))
            return 1;
        link = document.m_pCurrent;
        const char16_t* ip = link->GetAttribute(u"ip");
        const std::uint32_t address = ip != nullptr ? ParseIp(ip) : 0;
        choices.ipAddress = address != 0 ? address : kDefaultTcpAddress;
        choices.tcpPort = kDefaultTcpPort;
        if (const char16_t* port = link->GetAttribute(u"port"))
            choices.tcpPort = ReadUnsignedLong(port);
        break;
    }
    case LINK_USB:
        if (!FindElement(document, XN_CHILD, u"USB"))
            return 1;
        link = document.m_pCurrent;
        break;
    default:
        return 1;
    }

    if (const char16_t* timeout = link->GetAttribute(u"timeout"))
        record.m_timeout = static_cast<std::int32_t>(ReadUnsignedLong(timeout));
    if (const char16_t* readDelay = link->GetAttribute(u"readDelay"))
        record.m_readDelay = static_cast<std::int32_t>(ReadUnsignedLong(readDelay));
    return 1;
}

bool FindOrAddElement(CMyXMLFile& document, std::uint32_t direction, const char16_t* name)
{
    for (;;) {
        if (direction == XN_ROOT) {
            document.Navigate(XN_ROOT);
        } else if (direction == XN_CHILD) {
            if (!document.Navigate(XN_CHILD))
                return document.AddChildElement(name) != 0;
        } else if (!document.Navigate(XN_NEXT)) {
            return document.FindOrAddSibling(name) != 0;
        }
        CMyTag* current = document.m_pCurrent;
        if (current->GetName() == nullptr)
            return current->SetName(name) != 0;
        if (current->m_strName.Compare(name) == 0)
            return true;
        if (direction == XN_ROOT)
            return false;
        direction = XN_NEXT;
    }
}

int SetTextAttribute(CMyXMLFile& document, const char16_t* name, const char16_t* text)
{
    if (text == nullptr || name == nullptr || document.m_pCurrent == nullptr)
        return 0;
    return document.m_pCurrent->SetAttribute(name, text);
}

int SetNumberAttribute(CMyXMLFile& document, CDynWString& numText, const char16_t* name, std::int32_t number)
{
    numText.Format(u"%d", number);
    return SetTextAttribute(document, name, numText.GetString());
}

void WriteSettings(CMyXMLFile& document, const SettingsRecord& record, const LinkChoices& choices,
                   CDynWString& numText)
{
    // Each step that cannot find or make its element skips what belongs
    // under it.
    if (!FindOrAddElement(document, XN_ROOT, u"DriverSetting") || !FindOrAddElement(document, XN_CHILD, u"Address"))
        return;
    SetNumberAttribute(document, numText, u"pc", record.m_pcAddress);
    if (FindOrAddElement(document, XN_NEXT, u"File"))
        SetTextAttribute(document, u"path", choices.firmwarePath.c_str());
    if (!FindOrAddElement(document, XN_NEXT, u"Communication"))
        return;
    SetTextAttribute(document, u"type", LinkText(choices.linkKind));
    switch (choices.linkKind) {
    case LINK_SERIAL:
        if (!FindOrAddElement(document, XN_CHILD, u"SerialPort"))
            return;
        SetTextAttribute(document, u"port", choices.comPort ? choices.comPort->c_str() : nullptr);
        SetNumberAttribute(document, numText, u"speed", record.m_baudRate);
        SetTextAttribute(document, u"parity", ParityText(record.m_parity));
        break;
    case LINK_TCP: {
        if (!FindOrAddElement(document, XN_CHILD, u"TCP"))
            return;
        const std::uint32_t ip = choices.ipAddress;
        CDynWString text;
        text.Format(u"%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
        SetTextAttribute(document, u"ip", text.GetString());
        SetNumberAttribute(document, numText, u"port", static_cast<std::int32_t>(choices.tcpPort));
        break;
    }
    case LINK_USB:
        if (!FindOrAddElement(document, XN_CHILD, u"USB"))
            return;
        break;
    default:
        return;
    }
    SetNumberAttribute(document, numText, u"timeout", record.m_timeout);
    SetNumberAttribute(document, numText, u"readDelay", record.m_readDelay);
}

}  // namespace pyrrow::settings
