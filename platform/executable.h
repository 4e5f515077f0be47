// Where the program's own executable is, for the settings file beside it.
#pragma once

#include <string>

namespace pyrrow::platform {

// The running program's module: on Linux always the process's executable.
using ModuleHandle = const void*;
ModuleHandle CurrentModule();

// The full path of the module's file (/proc/self/exe on Linux,
// GetModuleFileNameW on Windows), or an empty text when it cannot be had.
std::u16string ModuleFileName(ModuleHandle module);

// Removes the extension of the last path component in place: its last dot
// and what follows. A name without a dot stays as it is. ('\\' separates
// path components on Windows too.)
void RemovePathExtension(char16_t* path);

}  // namespace pyrrow::platform
