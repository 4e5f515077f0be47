// What the command line needs of the system: the program's arguments as
// UTF-16, the characters that mark an option, and the current directory.
#pragma once

#include <string>
#include <vector>

namespace pyrrow::platform {

// The arguments after the program's name, converted from the encoding of
// the process's locale (bytes that are not text become U+FFFD). Call before
// a toolkit removes its own options from argv. Windows splits the process's
// UTF-16 command line instead and does not look at argc and argv.
std::vector<std::u16string> ProgramArguments(int argc, const char* const* argv);

// True for a character that marks an option. On Linux only "-": a leading
// "/" begins an absolute path. (Windows takes "-" and "/".)
bool IsOptionMark(char16_t c);

// The process's current directory, or an empty text when it cannot be had.
std::u16string CurrentDirectory();

// path made absolute against the current directory, so that it names the
// same file from any folder; an absolute or empty path is returned as it
// is, and so is any path when the current directory cannot be had. Windows
// completes it as the system does (a drive, "..").
std::u16string AbsolutePath(const std::u16string& path);

}  // namespace pyrrow::platform
