// A CPyrrowDlg on the test host with its surroundings replaced: pauses are
// recorded instead of slept, the test joins the dialog's worker, the
// taskbar records its calls and the port list is given by the test.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/pyrrow_dlg.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace pyrrow::test {

// A firmware image of size bytes in which neighbouring bytes differ.
std::string Firmware(std::size_t size);
// The message box of a failed upload.
MessageBoxCall UploadError(const std::u16string& text, const std::u16string& caption = u"Pyrrow");

class RecordingTaskbar : public platform::TaskbarProgress {
public:
    explicit RecordingTaskbar(std::vector<std::string>* calls) : m_calls(calls) {}
    void SetProgressState(int state) override { m_calls->push_back("state " + std::to_string(state)); }
    void SetProgressValue(std::uint64_t completed, std::uint64_t total) override
    {
        m_calls->push_back("value " + std::to_string(completed) + " " + std::to_string(total));
    }

private:
    std::vector<std::string>* m_calls;
};

class DialogTest : public testing::Test {
protected:
    DialogTest();
    ~DialogTest() override;

    // OnInitDialog with the given ports (none: the fallback list).
    void Init(std::vector<std::u16string> ports = {});
    // Presses "Nahrát" and waits for the worker to end.
    void Upload();
    std::vector<MessageBoxCall> Messages() const { return host.MessageBoxes(); }

    TestHost host;
    CPyrrowDlg dlg;
    std::vector<unsigned> sleeps;
    std::vector<std::string> taskbar;
    std::vector<std::u16string> ports;
    std::vector<std::u16string> devices;  // ports that exist beyond the list
    std::vector<std::u16string> consoles;  // ports that carry the console
    bool threadsFail = false;
};

// An upload from the window, its firmware file in a folder of the test's own.
class UploadTest : public DialogTest {
protected:
    // Writes file as unit.fw and names it as the firmware to upload.
    void UseFirmware(const std::string& file);
    // The protocol's pauses, still recorded, slept twenty times shorter.
    void ShortenPauses();
    // Chooses the TCP link to address and port (only its low 16 bits count).
    void ChooseTcp(std::uint32_t address, std::uint32_t port);

    TempDir dir;
};

}  // namespace pyrrow::test
