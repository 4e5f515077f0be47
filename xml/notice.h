// The XML library's one way to tell the user something: a modal notice with
// a text and a caption. The program installs a handler that shows a message
// box; until then notices go to standard error.
#pragma once

namespace pyrrow {

using NoticeHandler = void (*)(const char16_t* text, const char16_t* caption);

// An element name as a notice shows it: at most kLength code units (one
// fewer rather than half of a surrogate pair), then "…" when anything was
// cut, so that a huge name in a file cannot flood the screen. Null gives "".
class NoticeName {
public:
    static constexpr int kLength = 64;

    explicit NoticeName(const char16_t* name);
    const char16_t* Text() const { return m_text; }

private:
    char16_t m_text[kLength + 2];
};

// Shows a notice through the installed handler. Null texts show as empty.
// Memory running out in the handler ends the notice, not the caller.
void ShowNotice(const char16_t* text, const char16_t* caption);

// Installs a handler (null restores the default) and returns the previous one.
// Called at start-up, before any document is used.
NoticeHandler SetNoticeHandler(NoticeHandler handler);

}  // namespace pyrrow
