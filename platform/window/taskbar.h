// Progress on the window's taskbar button, in the manner of ITaskbarList3.
// On Linux it is announced over the session D-Bus as the launcher-entry
// progress that KDE Plasma's task manager and the common docks show; on
// Windows it is ITaskbarList3 on the window of the calling thread that has
// a taskbar button of its own, so it is created on the dialog's thread once
// the window exists.
#pragma once

#include <cstdint>
#include <memory>

namespace pyrrow::platform {

// Progress states, with the values of the Windows taskbar.
constexpr int TBPF_NOPROGRESS = 0;
constexpr int TBPF_NORMAL = 2;

// The desktop entry the window belongs to; the launcher entry is named by it.
inline constexpr const char* kDesktopEntryId = "pyrrow.desktop";

// Neither call waits for the desktop: what it cannot take at once waits in a
// bounded queue, and values it has not yet taken are dropped for newer ones.
class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    virtual void SetProgressState(int state) = 0;
    virtual void SetProgressValue(std::uint64_t completed, std::uint64_t total) = 0;
};

// The taskbar progress of this program, or null when the desktop offers
// none (no session bus). May be used from any thread.
std::unique_ptr<TaskbarProgress> CreateTaskbarProgress();

}  // namespace pyrrow::platform
