// The settings tests' dialog: its program lies in a folder of the test's
// own, so that its settings file is <folder>/pyrrow.config.
#pragma once

#include <filesystem>
#include <string>

#include "support/dialog_fixture.h"
#include "support/notice_capture.h"
#include "support/temp_dir.h"

namespace pyrrow::test {

class Settings : public DialogTest {
protected:
    Settings()
    {
        dlg.m_moduleFileName = [this](platform::ModuleHandle) { return dir.File("pyrrow"); };
    }

    std::filesystem::path File() const { return dir.path() / "pyrrow.config"; }
    void WriteSettings(const std::u16string& text) { WriteBytes(File(), Utf16LeBytes(u"\uFEFF" + text)); }
    std::string Written() const { return ReadBytes(File()); }

    // The close command followed by the window's destruction, as a real close does.
    void Close()
    {
        dlg.OnEvent(platform::DialogEvent::Close, 0);
        dlg.OnEvent(platform::DialogEvent::Destroy, 0);
    }

    TempDir dir;
    NoticeCapture quiet;
};

}  // namespace pyrrow::test
