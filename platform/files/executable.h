// Where the program's own executable is, for the settings file beside it,
// and the user's own folder for the program's settings, for when the
// program's folder cannot be written.
#pragma once

#include <string>

namespace pyrrow::platform {

// The running program's module: on Linux always the process's executable.
using ModuleHandle = const void*;
ModuleHandle CurrentModule();

// The full path of the module's file (/proc/self/exe on Linux,
// GetModuleFileNameW on Windows), or an empty text when it cannot be had
// (on Linux, a path longer than the system's limit), told on standard error
// with the system's reason.
// On Linux a byte of the path that is not UTF-8 comes as the lone surrogate
// U+DC00 + byte, so that the path is kept, but never names a file that
// opens (see PathUnfitForFiles).
std::u16string ModuleFileName(ModuleHandle module);

// Removes the extension of the last path component in place: its last dot
// and what follows. A name without a dot stays as it is. ('\\' separates
// path components on Windows too.)
void RemovePathExtension(char16_t* path);

// This user's folder for the program's settings: $XDG_CONFIG_HOME/pyrrow,
// or ~/.config/pyrrow when that variable is unset or not an absolute path.
// Empty when no home folder is known. The folder may not exist yet.
std::u16string UserConfigFolder();

}  // namespace pyrrow::platform
