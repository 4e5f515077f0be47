// Win32DialogHost: the native window of a dialog. It builds a dialog
// template in memory from the program's template table and runs it with
// DialogBoxIndirectParamW; clicks, selection changes, Enter, Esc, the close
// command and destruction go to the dialog's logic. An operation called
// from another thread is sent to the dialog as a message and runs on the
// window's thread; the caller waits until it is done.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <vector>

#include "platform/window/dialog.h"
#include "res/dialog_template.h"

struct HWND__;

namespace pyrrow::ui {

class Win32DialogHost : public platform::DialogHost {
public:
    Win32DialogHost(platform::CDialogBase* dialog, const res::DialogTemplate& dialogTemplate);
    ~Win32DialogHost() override;
    Win32DialogHost(const Win32DialogHost&) = delete;
    Win32DialogHost& operator=(const Win32DialogHost&) = delete;

    // Creates the window, runs it modally and returns the result of
    // EndDialog (-1 when the window could not be created); the dialog's
    // destruction handling has run.
    int RunModal();

    // DialogHost
    void EnableControl(int id, bool enable) override;
    bool IsButtonChecked(int id) override;
    void CheckRadioButton(int first, int last, int id) override;
    void SetControlText(int id, const std::u16string& text) override;
    int ListGetCount(int id) override;
    int ListGetSelection(int id) override;
    std::u16string ListGetItemText(int id, int index) override;
    void ListReset(int id) override;
    void ListAdd(int id, const std::u16string& text) override;
    void ListSelect(int id, int index) override;
    std::uint32_t IpGetAddress(int id) override;
    void IpSetAddress(int id, std::uint32_t address) override;
    void ProgressSetRange(int id, int low, int high) override;
    void ProgressSetPosition(int id, int position) override;
    void ProgressPostPosition(int id, int position) override;
    void MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style) override;
    std::optional<std::u16string> ChooseFileToOpen(const platform::OpenFileRequest& request) override;
    void SetWindowIcon(int iconId) override;
    void SetButtonBitmap(int id, int bitmapId) override;
    void EndDialog(int result) override;

    // The dialog procedure's work for one message of window (WPARAM and
    // LPARAM as 64-bit values); true when handled.
    bool HandleMessage(HWND__* window, unsigned message, unsigned long long wParam, long long lParam);

private:
    // Runs f on the window's thread and returns when it is done.
    void OnWindowThread(const std::function<void()>& f);

    platform::CDialogBase* m_dialog;
    std::vector<unsigned char> m_template;  // DLGTEMPLATEEX and its items
    std::map<int, res::ControlKind> m_kinds;
    HWND__* m_window = nullptr;
    // The worker's newest posted position, whether a message showing it is
    // on its way, and a count of the bar's synchronous changes.
    std::atomic<int> m_postedPosition{0};
    std::atomic<bool> m_positionPending{false};
    std::atomic<unsigned> m_postedGeneration{0};
    std::atomic<unsigned> m_progressGeneration{0};
    unsigned long m_thread = 0;
};

}  // namespace pyrrow::ui
