#include "ui/notice_box.h"

#include <windows.h>

#include <string>

#include "platform/windows_text.h"

namespace pyrrow::ui {

void ShowNoticeBox(const char16_t* text, const char16_t* caption)
{
    const std::wstring t = platform::ToWide(text != nullptr ? text : u"");
    const std::wstring c = platform::ToWide(caption != nullptr ? caption : u"");
    ::MessageBoxW(nullptr, t.c_str(), c.c_str(), MB_OK);
}

}  // namespace pyrrow::ui
