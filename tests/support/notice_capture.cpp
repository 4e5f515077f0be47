#include "support/notice_capture.h"

namespace pyrrow::test {
namespace {

std::vector<Notice>& Captured()
{
    static std::vector<Notice> notices;
    return notices;
}

void Record(const char16_t* text, const char16_t* caption)
{
    Captured().push_back({text, caption});
}

}  // namespace

NoticeCapture::NoticeCapture() : m_previous(SetNoticeHandler(Record))
{
    Captured().clear();
}

NoticeCapture::~NoticeCapture()
{
    SetNoticeHandler(m_previous);
    Captured().clear();
}

const std::vector<Notice>& NoticeCapture::notices() const
{
    return Captured();
}

}  // namespace pyrrow::test
