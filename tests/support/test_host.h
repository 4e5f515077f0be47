// A DialogHost with controls in memory, for testing a dialog's logic without
// a window system. It records every call as a line of text, keeps the state
// a real window would (enabled, checked, texts, list, address, progress) and
// answers the file dialog from a script. Safe to call from a worker thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/dialog_host.h"

namespace pyrrow::test {

struct MessageBoxCall {
    std::u16string text;
    std::u16string caption;
    unsigned style;
    bool operator==(const MessageBoxCall&) const = default;
};

class TestHost : public platform::DialogHost {
public:
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
    void ProgressPostPosition(int id, int position) override { ProgressSetPosition(id, position); }
    void MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style) override;
    std::optional<std::u16string> ChooseFileToOpen(const platform::OpenFileRequest& request) override;
    void SetWindowIcon(int iconId) override;
    void SetButtonBitmap(int id, int bitmapId) override;
    void EndDialog(int result) override;

    // Inspection and scripting; all thread-safe.
    bool IsEnabled(int id) const;
    std::vector<std::u16string> ListItems(int id) const;
    std::u16string Text(int id) const;
    std::vector<MessageBoxCall> MessageBoxes() const;
    // Progress calls as "range 0 289", "pos 288" in order.
    std::vector<std::string> ProgressCalls() const;
    std::optional<int> EndedWith() const;
    std::optional<platform::OpenFileRequest> LastFileRequest() const;
    void AnswerFileDialogWith(std::optional<std::u16string> path);
    void SetListItems(int id, const std::vector<std::u16string>& items, int selection);
    void SetEnabled(int id, bool enabled);
    void SetChecked(int id, bool checked);
    void TypeIpAddress(int id, std::uint32_t address);

private:
    struct Control {
        bool enabled = true;
        bool checked = false;
        std::u16string text;
        std::vector<std::u16string> items;
        int selection = -1;
        std::uint32_t address = 0;
    };

    mutable std::mutex m_mutex;
    std::map<int, Control> m_controls;
    std::vector<MessageBoxCall> m_messageBoxes;
    std::vector<std::string> m_progress;
    std::optional<int> m_ended;
    std::optional<std::u16string> m_fileAnswer;
    std::optional<platform::OpenFileRequest> m_fileRequest;
};

}  // namespace pyrrow::test
