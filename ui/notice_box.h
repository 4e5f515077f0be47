// The XML library's notices as modal message boxes without an owner window.
#pragma once

namespace pyrrow::ui {

// Shows text under caption with an OK button; returns when it is confirmed.
void ShowNoticeBox(const char16_t* text, const char16_t* caption);

}  // namespace pyrrow::ui
