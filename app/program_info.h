// The window program's answers that need no window: --help (or -h) and --version,
// asked as the first argument (where no option can take it as its value).
#pragma once

#include <string>
#include <vector>

namespace pyrrow {

enum class InfoRequest { None, Help, Version };

InfoRequest InfoRequestOf(const std::vector<std::u16string>& arguments);

// The options of the window program, for --help.
std::string WindowHelpText();

}  // namespace pyrrow
