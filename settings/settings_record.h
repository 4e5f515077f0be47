// The settings record: the values that only the settings file keeps (no
// upload uses them), a value of its own that the window holds; and reading
// and writing a settings document, which carries the record together with
// the window's choices that the file keeps too. pyrrow-cli reads a file
// through it without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "xml/dyn_wstring.h"
#include "xml/xml_file.h"

// The link chosen, as the settings file records it.
enum LinkKind : std::uint8_t {
    LINK_NONE = 0,
    LINK_SERIAL = 1,
    LINK_TCP = 2,
    LINK_USB = 3,
    LINK_UNKNOWN = 4,
};

namespace pyrrow::settings {

// Read from the file, held, and written back; nothing else uses them.
struct SettingsRecord {
    std::uint8_t m_pcAddress = 1;  // the "pc" value
    std::int32_t m_baudRate = 38400;
    std::int32_t m_parity = 2;  // 0 none, 1 odd, 2 even
    std::int32_t m_timeout = 5000;
    std::int32_t m_readDelay = 300;
};

// What a TCP element without a usable "ip" or without a port means.
constexpr std::uint32_t kDefaultTcpAddress = 0xC0A8DE21;  // 192.168.222.33
constexpr std::uint32_t kDefaultTcpPort = 1998;

// The window's choices that the settings file keeps besides the record, as
// the window holds them.
struct LinkChoices {
    std::u16string firmwarePath;
    std::uint8_t linkKind = LINK_SERIAL;
    std::optional<std::u16string> comPort;  // none: the window's port text has no buffer
    std::uint32_t ipAddress = 0xC0A8DEDE;   // 192.168.222.222, first octet in the top byte
    std::uint32_t tcpPort = 1234;
};

// Reads the document into record and choices: the elements in their order
// (Address, then File, then Communication and the chosen link's element),
// each value only where the document gives it; reading stops at the first
// element that is missing. Never changes the document; the cursor is left
// on the link element read, or where reading stopped. Always 1.
int ReadSettings(CMyXMLFile& document, SettingsRecord& record, LinkChoices& choices);

// Writes record and choices into the document, finding each element where
// it stands or adding it, and keeping every element and attribute it does
// not know. numText is the scratch text numbers are formatted in. The
// document is not saved.
void WriteSettings(CMyXMLFile& document, const SettingsRecord& record, const LinkChoices& choices,
                   CDynWString& numText);

// The steps of both. FindElement moves the document's cursor onto the
// element of that name in the direction (XN_ROOT, XN_CHILD and then its
// siblings, XN_NEXT, XN_PARENT) and tells whether it found one;
// FindOrAddElement names or adds the element where it is missing.
bool FindElement(CMyXMLFile& document, std::uint32_t direction, const char16_t* name);
bool FindOrAddElement(CMyXMLFile& document, std::uint32_t direction, const char16_t* name);
// An attribute of the element under the cursor, set or added after the
// others; 0, doing nothing, when the text, the name or the cursor is missing.
int SetTextAttribute(CMyXMLFile& document, const char16_t* name, const char16_t* text);
// The number as "%d" text, formatted in numText.
int SetNumberAttribute(CMyXMLFile& document, CDynWString& numText, const char16_t* name, std::int32_t number);

}  // namespace pyrrow::settings
