// DialogHost: what a dialog's logic needs of a window system, one call per
// operation on a control. The Qt host draws the real window; the test host
// keeps controls in memory. Every call is synchronous and may come from any
// thread: a host runs it on its user-interface thread and returns when done.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pyrrow::platform {

// Message box styles, with the values of the Windows message box.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONMASK = 0xF0;

struct FileFilter {
    std::u16string name;     // "Pyrrow FW files"
    std::u16string pattern;  // "*.fw"
};

struct OpenFileRequest {
    std::u16string initialDirectory;
    std::vector<FileFilter> filters;  // the first is in force when the dialog opens
    std::u16string defaultExtension;  // added to a typed name without one
};

class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsButtonChecked(int id) = 0;
    // Checks id and clears the other radio buttons from first to last.
    virtual void CheckRadioButton(int first, int last, int id) = 0;
    virtual void SetControlText(int id, const std::u16string& text) = 0;

    // Drop-down lists. Indexes count from 0; -1 means no selection.
    virtual int ListGetCount(int id) = 0;
    virtual int ListGetSelection(int id) = 0;
    virtual std::u16string ListGetItemText(int id, int index) = 0;
    virtual void ListReset(int id) = 0;
    virtual void ListAdd(int id, const std::u16string& text) = 0;
    virtual void ListSelect(int id, int index) = 0;

    // IP-address fields: first octet in the most significant byte; blank is 0.
    virtual std::uint32_t IpGetAddress(int id) = 0;
    virtual void IpSetAddress(int id, std::uint32_t address) = 0;

    virtual void ProgressSetRange(int id, int low, int high) = 0;
    virtual void ProgressSetPosition(int id, int position) = 0;
    // The same without waiting for the window: a value the window has not
    // shown yet when the next one comes is replaced by it, and a later
    // synchronous setting of the bar wins over every value posted before it.
    virtual void ProgressPostPosition(int id, int position) = 0;

    // A modal message owned by the dialog; returns when it is confirmed.
    virtual void MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style) = 0;
    // The platform's file-open dialog: the chosen full path, or nothing.
    virtual std::optional<std::u16string> ChooseFileToOpen(const OpenFileRequest& request) = 0;

    // Window icon and a button's picture, by resource id.
    virtual void SetWindowIcon(int iconId) = 0;
    virtual void SetButtonBitmap(int id, int bitmapId) = 0;

    // Ends the modal dialog with result.
    virtual void EndDialog(int result) = 0;
};

}  // namespace pyrrow::platform
