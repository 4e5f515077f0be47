// Whether the window can open at all, asked before Qt is started: Qt ends a
// program whose platform plugin finds no display with an abort.
#pragma once

#include <optional>
#include <string>

namespace pyrrow::ui {

// The one line to print when there is plainly no display: no DISPLAY and no
// WAYLAND_DISPLAY, and no other platform chosen (QT_QPA_PLATFORM or
// -platform on the command line). Nothing when Qt should try.
std::optional<std::string> MissingDisplay(int argc, const char* const* argv);

// From here until the guard ends, a fatal message of Qt (its platform plugin
// failed after all) ends the program with exit code 1 and one line saying
// so, Qt's text included, instead of an abort.
class PlatformFailureGuard {
public:
    PlatformFailureGuard();
    ~PlatformFailureGuard();
    PlatformFailureGuard(const PlatformFailureGuard&) = delete;
    PlatformFailureGuard& operator=(const PlatformFailureGuard&) = delete;
};

}  // namespace pyrrow::ui
