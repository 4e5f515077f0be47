// A console that takes virtual-terminal sequences (Windows 10 and later) gets
// the lines redrawn in place; an older console, a pipe or a file gets plain
// lines.
#include <windows.h>

#include "platform/process/terminal.h"

namespace pyrrow::platform {

bool StandardErrorIsTerminal()
{
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == nullptr || err == INVALID_HANDLE_VALUE || !::GetConsoleMode(err, &mode))
        return false;
    // Switched on for the console if it is off; the console keeps it, as the
    // shells that start us do for themselves.
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t StandardErrorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace pyrrow::platform
