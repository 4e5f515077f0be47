// QtDialogHost: the real window of a dialog. It builds the controls from the
// dialog template (dialog units converted with the font's metrics), routes
// clicks, selection changes, Enter, Esc and the close command to the
// dialog's logic and carries out the logic's operations on the controls.
// Operations called from another thread run on the window's thread and
// return when done; the window's thread never waits for another.
#pragma once

#include <QDialog>

#include <atomic>
#include <map>
#include <type_traits>

#include "platform/window/dialog.h"
#include "res/dialog_template.h"

namespace pyrrow::ui {

class QtDialogHost : public QDialog, public platform::DialogHost {
    Q_OBJECT
public:
    QtDialogHost(platform::CDialogBase* dialog, const res::DialogTemplate& dialogTemplate);
    ~QtDialogHost() override;

    // Initialises the dialog, shows the window modally and returns the
    // result of EndDialog; the dialog's destruction handling has run.
    int RunModal();

    // The control of an id, for tests and tools.
    QWidget* Control(int id) const;

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

    // Esc: the cancel command, which the dialog's logic may refuse.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls(const res::DialogTemplate& dialogTemplate);
    template <class T>
    T* ControlAs(int id) const;

    // Runs f on the window's thread and returns its result.
    template <class F>
    auto OnGuiThread(F f) -> std::invoke_result_t<F>;

    platform::CDialogBase* m_dialog;
    std::map<int, QWidget*> m_controls;
    bool m_destroyed = false;
    // The newest position posted by the worker, whether a call that shows
    // it is on its way to the window's thread, and a count of the bar's
    // synchronous changes, after which such a call shows nothing.
    static constexpr int kPostedProgressDelayMs = 40;
    std::atomic<int> m_postedBar{0};
    std::atomic<int> m_postedPosition{0};
    std::atomic<bool> m_positionPending{false};
    std::atomic<unsigned> m_progressGeneration{0};
};

}  // namespace pyrrow::ui
