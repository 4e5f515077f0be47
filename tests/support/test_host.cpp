#include "support/test_host.h"

namespace pyrrow::test {

using Lock = std::lock_guard<std::mutex>;

void TestHost::EnableControl(int id, bool enable)
{
    Lock lock(m_mutex);
    m_controls[id].enabled = enable;
}

bool TestHost::IsButtonChecked(int id)
{
    Lock lock(m_mutex);
    return m_controls[id].checked;
}

void TestHost::CheckRadioButton(int first, int last, int id)
{
    Lock lock(m_mutex);
    for (int i = first; i <= last; ++i)
        m_controls[i].checked = i == id;
}

void TestHost::SetControlText(int id, const std::u16string& text)
{
    Lock lock(m_mutex);
    m_controls[id].text = text;
}

int TestHost::ListGetCount(int id)
{
    Lock lock(m_mutex);
    return static_cast<int>(m_controls[id].items.size());
}

int TestHost::ListGetSelection(int id)
{
    Lock lock(m_mutex);
    return m_controls[id].selection;
}

std::u16string TestHost::ListGetItemText(int id, int index)
{
    Lock lock(m_mutex);
    const auto& items = m_controls[id].items;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(index)] : u"";
}

void TestHost::ListReset(int id)
{
    Lock lock(m_mutex);
    m_controls[id].items.clear();
    m_controls[id].selection = -1;
}

void TestHost::ListAdd(int id, const std::u16string& text)
{
    Lock lock(m_mutex);
    m_controls[id].items.push_back(text);
}

void TestHost::ListSelect(int id, int index)
{
    Lock lock(m_mutex);
    Control& c = m_controls[id];
    c.selection = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

std::uint32_t TestHost::IpGetAddress(int id)
{
    Lock lock(m_mutex);
    return m_controls[id].address;
}

void TestHost::IpSetAddress(int id, std::uint32_t address)
{
    Lock lock(m_mutex);
    m_controls[id].address = address;
}

void TestHost::ProgressSetRange(int, int low, int high)
{
    Lock lock(m_mutex);
    m_progress.push_back("range " + std::to_string(low) + " " + std::to_string(high));
}

void TestHost::ProgressSetPosition(int, int position)
{
    Lock lock(m_mutex);
    m_progress.push_back("pos " + std::to_string(position));
}

void TestHost::MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style)
{
    Lock lock(m_mutex);
    m_messageBoxes.push_back({text, caption, style});
}

std::optional<std::u16string> TestHost::ChooseFileToOpen(const platform::OpenFileRequest& request)
{
    Lock lock(m_mutex);
    m_fileRequest = request;
    return m_fileAnswer;
}

void TestHost::SetWindowIcon(int) {}
void TestHost::SetButtonBitmap(int, int) {}

void TestHost::EndDialog(int result)
{
    Lock lock(m_mutex);
    m_ended = result;
}

bool TestHost::IsEnabled(int id) const
{
    Lock lock(m_mutex);
    const auto it = m_controls.find(id);
    return it == m_controls.end() || it->second.enabled;
}

std::vector<std::u16string> TestHost::ListItems(int id) const
{
    Lock lock(m_mutex);
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? std::vector<std::u16string>{} : it->second.items;
}

std::u16string TestHost::Text(int id) const
{
    Lock lock(m_mutex);
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? u"" : it->second.text;
}

std::vector<MessageBoxCall> TestHost::MessageBoxes() const
{
    Lock lock(m_mutex);
    return m_messageBoxes;
}

std::vector<std::string> TestHost::ProgressCalls() const
{
    Lock lock(m_mutex);
    return m_progress;
}

std::optional<int> TestHost::EndedWith() const
{
    Lock lock(m_mutex);
    return m_ended;
}

std::optional<platform::OpenFileRequest> TestHost::LastFileRequest() const
{
    Lock lock(m_mutex);
    return m_fileRequest;
}

void TestHost::AnswerFileDialogWith(std::optional<std::u16string> path)
{
    Lock lock(m_mutex);
    m_fileAnswer = std::move(path);
}

void TestHost::SetListItems(int id, const std::vector<std::u16string>& items, int selection)
{
    Lock lock(m_mutex);
    m_controls[id].items = items;
    m_controls[id].selection = selection;
}

void TestHost::SetEnabled(int id, bool enabled)
{
    Lock lock(m_mutex);
    m_controls[id].enabled = enabled;
}

void TestHost::SetChecked(int id, bool checked)
{
    Lock lock(m_mutex);
    m_controls[id].checked = checked;
}

void TestHost::TypeIpAddress(int id, std::uint32_t address)
{
    Lock lock(m_mutex);
    m_controls[id].address = address;
}

}  // namespace pyrrow::test
