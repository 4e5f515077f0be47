#include "ui/win32/in_memory_template.h"

// Before <windows.h>, whose IDOK and IDCANCEL are macros of the same values.
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

namespace pyrrow::ui {
namespace {

using res::ControlKind;

// Appends in the template's little-endian layout.
class Writer {
public:
    void Align()
    {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
    }
    void Word(WORD w) { Raw(&w, sizeof w); }
    void Dword(DWORD d) { Raw(&d, sizeof d); }
    void Short(short s) { Raw(&s, sizeof s); }
    void Byte(BYTE b) { m_bytes.push_back(b); }
    // A zero-terminated UTF-16 text.
    void Text(const char16_t* text)
    {
        for (const char16_t* p = text; *p != 0; ++p)
            Word(static_cast<WORD>(*p));
        Word(0);
    }
    // A predefined window class by its ordinal.
    void Ordinal(WORD atom)
    {
        Word(0xFFFF);
        Word(atom);
    }
    std::vector<unsigned char> Take() { return std::move(m_bytes); }

private:
    void Raw(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const unsigned char*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
    }
    std::vector<unsigned char> m_bytes;
};

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;
constexpr WORD kComboBox = 0x0085;

struct Styles {
    DWORD style;
    DWORD exStyle;
};

Styles StylesOf(const res::ControlTemplate& c)
{
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (c.kind) {
    case ControlKind::PushButton:
        style |= c.id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        break;
    case ControlKind::BitmapButton:
        style |= BS_PUSHBUTTON | BS_BITMAP;
        break;
    case ControlKind::RadioButton:
        style |= BS_AUTORADIOBUTTON | BS_FLAT;
        break;
    case ControlKind::Label:
        style |= SS_LEFT;
        break;
    case ControlKind::ReadOnlyEdit:
        style |= ES_LEFT | ES_AUTOHSCROLL | ES_READONLY;
        exStyle |= WS_EX_STATICEDGE;
        break;
    case ControlKind::DropDownList:
        style |= CBS_DROPDOWNLIST | WS_VSCROLL;
        break;
    case ControlKind::IpAddress:
        break;
    case ControlKind::ProgressBar:
        style |= PBS_SMOOTH;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
    }
    if (!c.enabled)
        style |= WS_DISABLED;
    if (c.tabStop)
        style |= WS_TABSTOP;
    if (c.startsGroup)
        style |= WS_GROUP;
    return {style, exStyle};
}

void WriteClass(Writer& w, ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::BitmapButton:
    case ControlKind::RadioButton:
        w.Ordinal(kButton);
        break;
    case ControlKind::Label:
        w.Ordinal(kStatic);
        break;
    case ControlKind::ReadOnlyEdit:
        w.Ordinal(kEdit);
        break;
    case ControlKind::DropDownList:
        w.Ordinal(kComboBox);
        break;
    case ControlKind::IpAddress:
        w.Text(u"SysIPAddress32");
        break;
    case ControlKind::ProgressBar:
        w.Text(u"msctls_progress32");
        break;
    }
}

}  // namespace

std::vector<unsigned char> BuildDialogTemplate(const res::DialogTemplate& t)
{
    Writer w;
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: the extended form
    w.Dword(0);      // helpID
    w.Dword(WS_EX_APPWINDOW);  // its own taskbar button
    w.Dword(DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    w.Word(static_cast<WORD>(t.controls.size()));
    w.Short(0);
    w.Short(0);
    w.Short(static_cast<short>(t.width));
    w.Short(static_cast<short>(t.height));
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(t.caption);
    w.Word(static_cast<WORD>(t.fontPoints));
    w.Word(FW_NORMAL);
    w.Byte(FALSE);  // not italic
    w.Byte(DEFAULT_CHARSET);
    w.Text(t.fontName);

    for (const res::ControlTemplate& c : t.controls) {
        w.Align();
        const Styles styles = StylesOf(c);
        w.Dword(0);  // helpID
        w.Dword(styles.exStyle);
        w.Dword(styles.style);
        w.Short(static_cast<short>(c.x));
        w.Short(static_cast<short>(c.y));
        w.Short(static_cast<short>(c.width));
        w.Short(static_cast<short>(c.height));
        w.Dword(static_cast<DWORD>(c.id));
        WriteClass(w, c.kind);
        w.Text(c.caption);
        w.Word(0);  // no creation data
    }
    return w.Take();
}

}  // namespace pyrrow::ui
