// The XML library's one way to tell the user something: a modal notice with
// a text and a caption. The program installs a handler that shows a message
// box; until then notices go to standard error.
#pragma once

namespace pyrrow {

using NoticeHandler = void (*)(const char16_t* text, const char16_t* caption);

// Shows a notice through the installed handler. Null texts show as empty.
void ShowNotice(const char16_t* text, const char16_t* caption);

// Installs a handler (null restores the default) and returns the previous one.
// Called at start-up, before any document is used.
NoticeHandler SetNoticeHandler(NoticeHandler handler);

}  // namespace pyrrow
