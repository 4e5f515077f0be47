// Records the notices the XML library shows while an instance is alive.
#pragma once

#include <string>
#include <vector>

#include "xml/notice.h"

namespace pyrrow::test {

struct Notice {
    std::u16string text;
    std::u16string caption;
    bool operator==(const Notice&) const = default;
};

class NoticeCapture {
public:
    NoticeCapture();
    ~NoticeCapture();
    NoticeCapture(const NoticeCapture&) = delete;
    NoticeCapture& operator=(const NoticeCapture&) = delete;

    const std::vector<Notice>& notices() const;

private:
    NoticeHandler m_previous;
};

}  // namespace pyrrow::test
