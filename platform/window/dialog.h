// CDialogBase: the base of a dialog's logic, in the manner of the Windows
// dialog framework. It holds the DialogHost that owns the controls and
// routes the host's events to handlers through the derived class's message
// map. The framework's default behaviour (OK, Cancel and close end the
// dialog) lives here.
#pragma once

#include <span>
#include <string>

#include "platform/window/dialog_host.h"

namespace pyrrow::platform {

enum class DialogEvent {
    Command,    // a button was clicked (or Enter / Esc gave IDOK / IDCANCEL)
    SelChange,  // a drop-down list's selection changed
    Close,      // the window's close command
    Destroy,    // the window is being destroyed
};

class CDialogBase {
public:
    CDialogBase() = default;
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // The host attaches itself before it creates the window and detaches
    // after the dialog's destruction handling.
    void AttachHost(DialogHost* host) { m_pHost = host; }
    // The controls are the host's: the dialog's code calls it by its own names.
    DialogHost& Host() const { return *m_pHost; }

    // Called by the host once the controls exist; the result is the
    // framework's: true puts the focus on the first control.
    virtual bool OnInitDialog() { return true; }
    // Routes an event to the message map, else to the default handling.
    void OnEvent(DialogEvent event, int id);

    // Selects the first entry whose whole text is text, letter case aside;
    // leaves the selection when none is. The index or -1.
    int ListSelectExact(int id, const std::u16string& text);

protected:
    // The derived class's message map: true when it handled the event.
    virtual bool DispatchEvent(DialogEvent event, int id) = 0;

    // The framework's defaults: OK, Cancel and the close command end the dialog.
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnClose();

private:
    DialogHost* m_pHost = nullptr;
};

// One entry of a message map: an event of a control and its handler.
template <class Dialog>
struct MessageMapEntry {
    DialogEvent event;
    int id;  // ignored for Close and Destroy
    void (Dialog::*handler)();
};

// Finds the entry for the event and runs it; true when there was one.
template <class Dialog>
bool DispatchFromMap(Dialog* dialog, std::span<const MessageMapEntry<Dialog>> map, DialogEvent event, int id)
{
    for (const auto& entry : map) {
        const bool anyId = event == DialogEvent::Close || event == DialogEvent::Destroy;
        if (entry.event == event && (anyId || entry.id == id)) {
            (dialog->*entry.handler)();
            return true;
        }
    }
    return false;
}

}  // namespace pyrrow::platform
